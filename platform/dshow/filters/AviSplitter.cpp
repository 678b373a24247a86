#include "AviSplitter.h"

#include <algorithm>
#include <cstring>
#include <new>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

#include "MediaTypes.h"

namespace sysfilters {

namespace {

constexpr LONGLONG kUnits = 10000000;  // 100 ns per second
constexpr int kIoBufferBytes = 64 * 1024;
// Chunks a pin's queue holds before the demultiplexer waits: a few seconds of pictures, so
// that a renderer holding its pause picture does not keep the other streams from cueing.
constexpr size_t kQueueDepth = 240;

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketOwner = std::unique_ptr<AVPacket, PacketFree>;

int ReadCallback(void* opaque, uint8_t* buffer, int size)
{
    return static_cast<CAviSplitter*>(opaque)->ReadBytes(buffer, size);
}

int64_t SeekCallback(void* opaque, int64_t offset, int whence)
{
    return static_cast<CAviSplitter*>(opaque)->SeekBytes(offset, whence);
}

LONGLONG ToMediaTime(int64_t value, LONGLONG num, LONGLONG den)
{
    // Truncated towards earlier times, as frame durations are (333,333 for 30 frames a second).
    return av_rescale_rnd(value, num * kUnits, den, AV_ROUND_DOWN);
}

// The output pin's stream description from libavformat's, or false for a stream no pin is
// made for.
bool DescribeStream(const AVStream* st, CAviOutputPin::Stream* out)
{
    const AVCodecParameters* par = st->codecpar;
    out->index = st->index;
    out->timeBaseNum = st->time_base.num > 0 ? st->time_base.num : 1;
    out->timeBaseDen = st->time_base.den > 0 ? st->time_base.den : 1;
    out->duration = st->duration != AV_NOPTS_VALUE && st->duration > 0
                        ? ToMediaTime(st->duration, out->timeBaseNum, out->timeBaseDen)
                        : 0;
    CMediaType& type = out->type;
    type.InitMediaType();
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        VIDEOINFOHEADER vih{};
        vih.rcSource = vih.rcTarget = RECT{0, 0, par->width, par->height};
        vih.dwBitRate = DWORD(std::max<int64_t>(0, std::min<int64_t>(par->bit_rate, 0xFFFFFFFF)));
        AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
        vih.AvgTimePerFrame =
            rate.num > 0 ? av_rescale_rnd(kUnits, rate.den, rate.num, AV_ROUND_DOWN) : 0;
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = par->width;
        vih.bmiHeader.biHeight = par->height;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = WORD(par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : 24);
        vih.bmiHeader.biCompression = par->codec_tag;
        vih.bmiHeader.biSizeImage = DWORD(par->width) * DWORD(par->height) * 3;
        const GUID subtype = FourCCGuid(par->codec_tag);
        type.SetType(&MEDIATYPE_Video);
        type.SetSubtype(&subtype);
        type.SetFormatType(&FORMAT_VideoInfo);
        type.SetTemporalCompression(TRUE);
        type.SetVariableSize();
        if (!type.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof vih))
            return false;
        const LONG picture = LONG(std::min<int64_t>(int64_t(par->width) * par->height * 2, 64 << 20));
        out->bufferSize = std::max<LONG>(picture, 256 * 1024);
        return true;
    }
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        std::vector<BYTE> format(sizeof(WAVEFORMATEX) + size_t(std::max(0, par->extradata_size)));
        WAVEFORMATEX wfx{};
        wfx.wFormatTag = WORD(par->codec_tag);
        wfx.nChannels = WORD(par->ch_layout.nb_channels);
        wfx.nSamplesPerSec = DWORD(par->sample_rate);
        wfx.nBlockAlign = WORD(par->block_align);
        wfx.wBitsPerSample = WORD(par->bits_per_coded_sample);
        wfx.nAvgBytesPerSec =
            wfx.wFormatTag == WAVE_FORMAT_PCM ? wfx.nBlockAlign * wfx.nSamplesPerSec
                                              : DWORD(std::max<int64_t>(0, par->bit_rate / 8));
        wfx.cbSize = WORD(std::max(0, par->extradata_size));
        std::memcpy(format.data(), &wfx, sizeof wfx);
        if (par->extradata_size > 0)
            std::memcpy(format.data() + sizeof wfx, par->extradata, size_t(par->extradata_size));
        const GUID subtype = FourCCGuid(wfx.wFormatTag);
        type.SetType(&MEDIATYPE_Audio);
        type.SetSubtype(&subtype);
        type.SetFormatType(&FORMAT_WaveFormatEx);
        if (wfx.wFormatTag == WAVE_FORMAT_PCM && wfx.nBlockAlign > 0)
            type.SetSampleSize(wfx.nBlockAlign);
        else
            type.SetVariableSize();
        if (!type.SetFormat(format.data(), ULONG(format.size())))
            return false;
        out->bytesPerSecond = LONG(wfx.nAvgBytesPerSec);
        out->blockAlign = wfx.nBlockAlign;
        out->bufferSize = std::clamp<LONG>(LONG(wfx.nAvgBytesPerSec), 64 * 1024, 4 << 20);
        return true;
    }
    // Text and data chunks (telemetry): bytes as they stand.
    type.SetType(&MEDIATYPE_Text);
    type.SetSubtype(&GUID_NULL);
    type.SetFormatType(&FORMAT_None);
    type.SetVariableSize();
    out->bufferSize = 64 * 1024;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Input pin

CAviInputPin::CAviInputPin(CAviSplitter* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin(NAME("AVI input"), filter, lock, phr, L"input pin"), m_pSplitter(filter)
{
}

HRESULT CAviInputPin::CheckMediaType(const CMediaType* mediaType)
{
    if (!IsEqualGUID(*mediaType->Type(), MEDIATYPE_Stream))
        return S_FALSE;
    if (!IsEqualGUID(*mediaType->Subtype(), MEDIASUBTYPE_Avi) &&
        !IsEqualGUID(*mediaType->Subtype(), GUID_NULL))
        return S_FALSE;
    return S_OK;
}

HRESULT CAviInputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = CBaseInputPin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    ComPtr<IAsyncReader> reader;
    if (FAILED(pin->QueryInterface(IID_PPV_ARGS(&reader))))
        return E_NOINTERFACE;
    return S_OK;
}

HRESULT CAviInputPin::CompleteConnect(IPin* receivePin)
{
    ComPtr<IAsyncReader> reader;
    HRESULT hr = receivePin->QueryInterface(IID_PPV_ARGS(&reader));
    if (FAILED(hr))
        return hr;
    hr = m_pSplitter->OpenFile(reader.Get());
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CAviInputPin::BreakConnect()
{
    m_pSplitter->CloseFile();
    return CBaseInputPin::BreakConnect();
}

// ---------------------------------------------------------------------------------------------
// Output pins

CAviOutputPin::CAviOutputPin(CAviSplitter* filter, CCritSec* lock, HRESULT* phr, LPCWSTR name,
                             Stream stream)
    : CBaseOutputPin(NAME("AVI output"), filter, lock, phr, name),
      CMediaTimeSeeking(AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                        AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                        AM_SEEKING_CanGetDuration),
      m_pSplitter(filter),
      m_stream(std::move(stream))
{
}

CAviOutputPin::~CAviOutputPin()
{
    RequestStop();
    JoinDelivery();
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IMediaSeeking))
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    return CBaseOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CAviOutputPin::CheckMediaType(const CMediaType* mediaType)
{
    return *mediaType == m_stream.type ? S_OK : S_FALSE;
}

HRESULT CAviOutputPin::GetMediaType(int position, CMediaType* mediaType)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    return mediaType->Set(m_stream.type);
}

HRESULT CAviOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = std::max<LONG>(request->cBuffers, 8);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, m_stream.bufferSize);
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < m_stream.bufferSize ? E_FAIL : S_OK;
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::Notify(IBaseFilter*, Quality)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    *duration = m_pSplitter->Duration();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::GetCurrentPosition(LONGLONG*)
{
    return E_NOTIMPL;  // the graph keeps the position from stream time
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::GetStopPosition(LONGLONG* stop)
{
    if (!stop)
        return E_POINTER;
    *stop = m_pSplitter->StopPosition();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                      LONGLONG* stop, DWORD stopFlags)
{
    return m_pSplitter->Seek(this, current, currentFlags, stop, stopFlags);
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::SetRate(double rate)
{
    return m_pSplitter->ChangeRate(this, rate);
}

HRESULT STDMETHODCALLTYPE CAviOutputPin::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    *rate = m_pSplitter->Rate();
    return S_OK;
}

bool CAviOutputPin::Queue(AVPacket* packet)
{
    std::unique_lock<std::mutex> lock(m_queueLock);
    m_queueChanged.wait(lock, [this] { return m_stopping || m_queue.size() < kQueueDepth; });
    if (m_stopping) {
        av_packet_free(&packet);
        return false;
    }
    m_queue.push_back(packet);
    m_queueChanged.notify_all();
    return true;
}

void CAviOutputPin::StartDelivery(LONGLONG segmentStart, double rate)
{
    {
        std::lock_guard<std::mutex> guard(m_queueLock);
        m_stopping = false;
    }
    m_segmentStart = segmentStart;
    m_rate = rate;
    DeliverNewSegment(segmentStart, m_pSplitter->StopPosition(), rate);
    m_delivery = std::thread([this] { DeliveryLoop(); });
}

void CAviOutputPin::RequestStop()
{
    std::lock_guard<std::mutex> guard(m_queueLock);
    m_stopping = true;
    m_queueChanged.notify_all();
}

void CAviOutputPin::JoinDelivery()
{
    if (m_delivery.joinable())
        m_delivery.join();
    std::lock_guard<std::mutex> guard(m_queueLock);
    for (AVPacket* packet : m_queue)
        av_packet_free(&packet);
    m_queue.clear();
}

HRESULT CAviOutputPin::DeliverPacket(AVPacket* packet, bool* discontinuity)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    if (packet->size > sample->GetSize()) {
        sample->Release();
        return S_OK;  // a chunk larger than any the header announced: passed over
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, packet->data, size_t(packet->size));
    sample->SetActualDataLength(packet->size);
    const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (pts != AV_NOPTS_VALUE) {
        const LONGLONG media = ToMediaTime(pts, m_stream.timeBaseNum, m_stream.timeBaseDen);
        LONGLONG length = packet->duration > 0
                              ? ToMediaTime(packet->duration, m_stream.timeBaseNum,
                                            m_stream.timeBaseDen)
                              : 0;
        if (length == 0 && m_stream.bytesPerSecond > 0)
            length = LONGLONG(packet->size) * kUnits / m_stream.bytesPerSecond;
        if (length <= 0)
            length = 1;
        REFERENCE_TIME start = REFERENCE_TIME(double(media - m_segmentStart) / m_rate);
        REFERENCE_TIME stop = start + std::max<REFERENCE_TIME>(1, REFERENCE_TIME(double(length) / m_rate));
        sample->SetTime(&start, &stop);
        LONGLONG mediaStop = media + length;
        LONGLONG mediaStart = media;
        sample->SetMediaTime(&mediaStart, &mediaStop);
    }
    const bool video = IsEqualGUID(*m_stream.type.Type(), MEDIATYPE_Video);
    sample->SetSyncPoint(!video || (packet->flags & AV_PKT_FLAG_KEY) ? TRUE : FALSE);
    sample->SetDiscontinuity(*discontinuity ? TRUE : FALSE);
    sample->SetPreroll(FALSE);
    *discontinuity = false;
    hr = Deliver(sample);
    sample->Release();
    return hr;
}

void CAviOutputPin::DeliveryLoop()
{
    pthread_setname_np(pthread_self(), "kv-avi-pin");
    bool discontinuity = true;
    bool delivering = true;
    for (;;) {
        AVPacket* packet = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_queueLock);
            m_queueChanged.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            packet = m_queue.front();
            m_queue.pop_front();
            m_queueChanged.notify_all();
        }
        if (!packet) {
            if (delivering)
                DeliverEndOfStream();
            delivering = false;
            continue;
        }
        PacketOwner owner(packet);
        if (delivering && DeliverPacket(packet, &discontinuity) != S_OK)
            delivering = false;  // downstream refused: it flushes, stops or failed
    }
}

// ---------------------------------------------------------------------------------------------
// The filter

void CAviSplitter::FormatCloser::operator()(AVFormatContext* context) const
{
    avformat_close_input(&context);
}

void CAviSplitter::IoCloser::operator()(AVIOContext* io) const
{
    av_freep(&io->buffer);
    avio_context_free(&io);
}

CUnknown* CALLBACK CAviSplitter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    auto* filter = new (std::nothrow) CAviSplitter(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CAviSplitter::CAviSplitter(LPUNKNOWN outer, HRESULT* phr)
    : CBaseFilter(NAME("AVI splitter"), outer, &m_lock, CLSID_AviSplitter)
{
    m_pInput = new (std::nothrow) CAviInputPin(this, &m_lock, phr);
    if (!m_pInput && phr)
        *phr = E_OUTOFMEMORY;
}

CAviSplitter::~CAviSplitter()
{
    {
        CAutoLock lock(&m_lock);
        StopStreaming();
    }
    for (CAviOutputPin* pin : m_outputs)
        delete pin;
    for (CAviOutputPin* pin : m_retired)
        delete pin;
    m_format.reset();
    m_io.reset();
    delete m_pInput;
}

int CAviSplitter::GetPinCount()
{
    CAutoLock lock(&m_lock);
    return 1 + int(m_outputs.size());
}

CBasePin* CAviSplitter::GetPin(int index)
{
    CAutoLock lock(&m_lock);
    if (index == 0)
        return m_pInput;
    if (index > 0 && size_t(index) <= m_outputs.size())
        return m_outputs[size_t(index) - 1];
    return nullptr;
}

int CAviSplitter::ReadBytes(unsigned char* buffer, int size)
{
    const LONGLONG left = m_fileLength - m_ioPosition;
    if (left <= 0)
        return AVERROR_EOF;
    const LONG length = LONG(std::min<LONGLONG>(left, size));
    const HRESULT hr = m_reader->SyncRead(m_ioPosition, length, buffer);
    if (hr != S_OK)
        return FAILED(hr) ? AVERROR(EIO) : AVERROR_EOF;
    m_ioPosition += length;
    return length;
}

int64_t CAviSplitter::SeekBytes(int64_t offset, int whence)
{
    LONGLONG target = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return m_fileLength;
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = m_ioPosition + offset;
        break;
    case SEEK_END:
        target = m_fileLength + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (target < 0)
        return AVERROR(EINVAL);
    m_ioPosition = target;
    return target;
}

HRESULT CAviSplitter::OpenFile(IAsyncReader* reader)
{
    CAutoLock lock(&m_lock);
    CloseFile();
    LONGLONG total = 0;
    LONGLONG available = 0;
    if (FAILED(reader->Length(&total, &available)) || total <= 0)
        return VFW_E_INVALID_FILE_FORMAT;
    m_reader = ComPtr<IAsyncReader>(reader);
    m_fileLength = total;
    m_ioPosition = 0;

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return E_OUTOFMEMORY;
    AVIOContext* io =
        avio_alloc_context(buffer, kIoBufferBytes, 0, this, &ReadCallback, nullptr, &SeekCallback);
    if (!io) {
        av_free(buffer);
        return E_OUTOFMEMORY;
    }
    m_io.reset(io);
    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        CloseFile();
        return E_OUTOFMEMORY;
    }
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    const AVInputFormat* avi = av_find_input_format("avi");
    if (avformat_open_input(&context, nullptr, avi, nullptr) < 0) {  // frees context on failure
        CloseFile();
        return VFW_E_INVALID_FILE_FORMAT;
    }
    m_format.reset(context);
    if (context->nb_streams == 0) {
        CloseFile();
        return VFW_E_INVALID_FILE_FORMAT;
    }
    m_duration = context->duration != AV_NOPTS_VALUE && context->duration > 0
                     ? av_rescale(context->duration, kUnits, AV_TIME_BASE)
                     : 0;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        CAviOutputPin::Stream stream;
        if (!DescribeStream(context->streams[i], &stream))
            continue;
        m_duration = std::max(m_duration, stream.duration);
        wchar_t name[16];
        swprintf(name, 16, L"Stream %02u", i);
        HRESULT hr = S_OK;
        auto* pin = new (std::nothrow) CAviOutputPin(this, &m_lock, &hr, name, std::move(stream));
        if (!pin || FAILED(hr)) {
            delete pin;
            CloseFile();
            return E_OUTOFMEMORY;
        }
        m_outputs.push_back(pin);
    }
    m_segmentStart = 0;
    m_segmentStop = m_duration;
    m_rate = 1.0;
    IncrementPinVersion();
    return S_OK;
}

void CAviSplitter::CloseFile()
{
    CAutoLock lock(&m_lock);
    StopStreaming();
    for (CAviOutputPin* pin : m_outputs) {
        if (IPin* peer = pin->GetConnected()) {
            peer->Disconnect();
            pin->Disconnect();
        }
        m_retired.push_back(pin);
    }
    if (!m_outputs.empty())
        IncrementPinVersion();
    m_outputs.clear();
    m_format.reset();
    m_io.reset();
    m_reader = nullptr;
    m_fileLength = 0;
    m_duration = 0;
}

HRESULT STDMETHODCALLTYPE CAviSplitter::Pause()
{
    CAutoLock lock(&m_lock);
    const bool wasStopped = IsStopped();
    HRESULT hr = CBaseFilter::Pause();
    if (SUCCEEDED(hr) && wasStopped && m_format)
        StartStreaming();
    return hr;
}

HRESULT STDMETHODCALLTYPE CAviSplitter::Stop()
{
    CAutoLock lock(&m_lock);
    m_stopDemux = true;
    for (CAviOutputPin* pin : m_outputs)
        pin->RequestStop();
    // Decommitting the allocators wakes a delivery thread waiting for a buffer.
    HRESULT hr = CBaseFilter::Stop();
    StopStreaming();
    return hr;
}

void CAviSplitter::StartStreaming()
{
    if (m_streaming)
        return;
    bool any = false;
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        m_format->streams[i]->discard = AVDISCARD_ALL;
    for (CAviOutputPin* pin : m_outputs) {
        if (!pin->IsConnected())
            continue;
        m_format->streams[pin->StreamInfo().index]->discard = AVDISCARD_DEFAULT;
        pin->StartDelivery(m_segmentStart, m_rate);
        any = true;
    }
    if (!any)
        return;
    m_streaming = true;
    m_stopDemux = false;
    m_demux = std::thread([this] { DemuxLoop(); });
}

void CAviSplitter::StopStreaming()
{
    m_stopDemux = true;
    for (CAviOutputPin* pin : m_outputs)
        pin->RequestStop();
    if (m_demux.joinable())
        m_demux.join();
    for (CAviOutputPin* pin : m_outputs)
        pin->JoinDelivery();
    m_streaming = false;
}

void CAviSplitter::DemuxLoop()
{
    pthread_setname_np(pthread_self(), "kv-avi-demux");
    std::vector<CAviOutputPin*> byStream(m_format->nb_streams, nullptr);
    for (CAviOutputPin* pin : m_outputs)
        if (pin->IsConnected())
            byStream[size_t(pin->StreamInfo().index)] = pin;
    const LONGLONG stopAt = m_segmentStop;
    // A damaged index can make libavformat read chunks again that it gave already: a stream's
    // chunks only go forward in time here, and a long run of repeated ones ends the streams.
    std::vector<int64_t> lastPts(m_format->nb_streams, INT64_MIN);
    int repeated = 0;
    constexpr int kMostRepeated = 10000;
    PacketOwner packet(av_packet_alloc());
    while (packet && !m_stopDemux) {
        const int rc = av_read_frame(m_format.get(), packet.get());
        if (rc == AVERROR(EAGAIN))
            continue;
        if (rc < 0)
            break;  // the end of the file, or a damaged one: the end of every stream
        const int index = packet->stream_index;
        CAviOutputPin* pin =
            index >= 0 && size_t(index) < byStream.size() ? byStream[size_t(index)] : nullptr;
        if (!pin) {
            av_packet_unref(packet.get());
            continue;
        }
        const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (pts != AV_NOPTS_VALUE) {
            if (pts <= lastPts[size_t(index)]) {
                av_packet_unref(packet.get());
                if (++repeated > kMostRepeated)
                    break;
                continue;
            }
            lastPts[size_t(index)] = pts;
            repeated = 0;
        }
        if (stopAt > 0 && pts != AV_NOPTS_VALUE &&
            ToMediaTime(pts, pin->StreamInfo().timeBaseNum, pin->StreamInfo().timeBaseDen) >
                stopAt)
            break;
        AVPacket* handed = av_packet_alloc();
        if (!handed)
            break;
        av_packet_move_ref(handed, packet.get());
        if (!pin->Queue(handed))
            return;  // stopping
    }
    if (m_stopDemux)
        return;
    for (CAviOutputPin* pin : byStream)
        if (pin)
            pin->Queue(nullptr);
}

bool CAviSplitter::IsSeekingPin(CAviOutputPin* pin)
{
    for (CAviOutputPin* candidate : m_outputs)
        if (candidate->IsConnected())
            return candidate == pin;
    return false;
}

HRESULT CAviSplitter::Seek(CAviOutputPin* pin, const LONGLONG* current, DWORD currentFlags,
                           const LONGLONG* stop, DWORD stopFlags)
{
    LONGLONG target = 0;
    const HRESULT asked = CMediaTimeSeeking::AbsoluteTarget(current, currentFlags, &target);
    if (FAILED(asked))
        return asked;
    LONGLONG stopTarget = 0;
    const HRESULT stopAsked = CMediaTimeSeeking::AbsoluteTarget(stop, stopFlags, &stopTarget);
    if (FAILED(stopAsked))
        return stopAsked;
    CAutoLock lock(&m_lock);
    if (!m_format)
        return E_UNEXPECTED;
    if (!IsSeekingPin(pin))
        return S_OK;
    if (stopAsked == S_OK)
        m_segmentStop = std::min(stopTarget, m_duration);
    if (asked != S_OK)
        return S_OK;
    const bool restart = m_streaming;
    if (restart) {
        for (CAviOutputPin* output : m_outputs)
            if (output->IsConnected())
                output->DeliverBeginFlush();
        StopStreaming();
    }
    m_segmentStart = std::min(target, m_duration);
    int index = -1;
    for (CAviOutputPin* output : m_outputs)
        if (IsEqualGUID(*output->StreamInfo().type.Type(), MEDIATYPE_Video)) {
            index = output->StreamInfo().index;
            break;
        }
    if (index >= 0) {
        const AVStream* st = m_format->streams[index];
        const int64_t ts = av_rescale(m_segmentStart, st->time_base.den,
                                      int64_t(st->time_base.num) * kUnits);
        if (av_seek_frame(m_format.get(), index, ts, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(m_format.get(), index, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    } else {
        av_seek_frame(m_format.get(), -1, av_rescale(m_segmentStart, AV_TIME_BASE, kUnits),
                      AVSEEK_FLAG_BACKWARD);
    }
    if (restart) {
        for (CAviOutputPin* output : m_outputs)
            if (output->IsConnected())
                output->DeliverEndFlush();
        if (IsActive())
            StartStreaming();
    }
    return S_OK;
}

HRESULT CAviSplitter::ChangeRate(CAviOutputPin* pin, double rate)
{
    if (!(rate >= 0.1) || rate > 16.0)
        return E_INVALIDARG;
    CAutoLock lock(&m_lock);
    if (IsSeekingPin(pin))
        m_rate = rate;
    return S_OK;
}

double CAviSplitter::Rate()
{
    CAutoLock lock(&m_lock);
    return m_rate;
}

LONGLONG CAviSplitter::Duration()
{
    CAutoLock lock(&m_lock);
    return m_duration;
}

LONGLONG CAviSplitter::StopPosition()
{
    CAutoLock lock(&m_lock);
    return m_segmentStop;
}

}  // namespace sysfilters
