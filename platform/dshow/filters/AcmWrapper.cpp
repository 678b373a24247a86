#include "AcmWrapper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "MediaTypes.h"

namespace sysfilters {

namespace {

constexpr LONGLONG kUnits = 10000000;

// The decoder for a sound format tag, or AV_CODEC_ID_NONE.
AVCodecID CodecOfTag(const WAVEFORMATEX& wfx)
{
    if (wfx.wFormatTag == WAVE_FORMAT_PCM) {
        switch (wfx.wBitsPerSample) {
        case 8:
            return AV_CODEC_ID_PCM_U8;
        case 16:
            return AV_CODEC_ID_PCM_S16LE;
        case 24:
            return AV_CODEC_ID_PCM_S24LE;
        case 32:
            return AV_CODEC_ID_PCM_S32LE;
        default:
            return AV_CODEC_ID_NONE;
        }
    }
    const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_id(tables, wfx.wFormatTag);
}

// One sound value of a decoded frame as 16 bits.
int16_t Sample16(const AVFrame* frame, int channel, int index)
{
    const auto format = AVSampleFormat(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(format);
    const uint8_t* plane = frame->extended_data[planar ? channel : 0];
    const int at = planar ? index : index * channels + channel;
    auto clampFloat = [](double value) {
        return int16_t(std::lrint(std::clamp(value, -1.0, 1.0) * 32767.0));
    };
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return int16_t((int(plane[at]) - 128) << 8);
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const int16_t*>(plane)[at];
    case AV_SAMPLE_FMT_S32:
        return int16_t(reinterpret_cast<const int32_t*>(plane)[at] >> 16);
    case AV_SAMPLE_FMT_S64:
        return int16_t(reinterpret_cast<const int64_t*>(plane)[at] >> 48);
    case AV_SAMPLE_FMT_FLT:
        return clampFloat(reinterpret_cast<const float*>(plane)[at]);
    case AV_SAMPLE_FMT_DBL:
        return clampFloat(reinterpret_cast<const double*>(plane)[at]);
    default:
        return 0;
    }
}

}  // namespace

void SetPcm16Type(CMediaType* type, DWORD sampleRate, WORD channels)
{
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = sampleRate;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = WORD(channels * 2);
    wfx.nAvgBytesPerSec = sampleRate * wfx.nBlockAlign;
    type->InitMediaType();
    type->SetType(&MEDIATYPE_Audio);
    type->SetSubtype(&MEDIASUBTYPE_PCM);
    type->SetFormatType(&FORMAT_WaveFormatEx);
    type->SetSampleSize(wfx.nBlockAlign);
    type->SetFormat(reinterpret_cast<const BYTE*>(&wfx), sizeof wfx);
}

void CAcmWrapper::CodecCloser::operator()(AVCodecContext* context) const
{
    avcodec_free_context(&context);
}

void CAcmWrapper::FrameFree::operator()(AVFrame* frame) const
{
    av_frame_free(&frame);
}

CUnknown* CALLBACK CAcmWrapper::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    auto* filter = new (std::nothrow) CAcmWrapper(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CAcmWrapper::CAcmWrapper(LPUNKNOWN outer, HRESULT*)
    : CTransformFilter(NAME("ACM wrapper"), outer, CLSID_ACMWrapper)
{
}

CAcmWrapper::~CAcmWrapper() = default;

HRESULT CAcmWrapper::CheckInputType(const CMediaType* input)
{
    if (!IsEqualGUID(*input->Type(), MEDIATYPE_Audio))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const WAVEFORMATEX* wfx = WaveFormat(*input);
    if (!wfx || wfx->nChannels == 0 || wfx->nChannels > 8 || wfx->nSamplesPerSec == 0 ||
        wfx->nSamplesPerSec > 384000)
        return VFW_E_TYPE_NOT_ACCEPTED;
    const AVCodecID codec = CodecOfTag(*wfx);
    if (codec == AV_CODEC_ID_NONE || !avcodec_find_decoder(codec))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CAcmWrapper::CheckTransform(const CMediaType* input, const CMediaType* output)
{
    const WAVEFORMATEX* in = WaveFormat(*input);
    const WAVEFORMATEX* out = WaveFormat(*output);
    if (!in || !out || !IsEqualGUID(*output->Subtype(), MEDIASUBTYPE_PCM) ||
        out->wFormatTag != WAVE_FORMAT_PCM || out->wBitsPerSample != 16 ||
        out->nChannels != in->nChannels || out->nSamplesPerSec != in->nSamplesPerSec)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CAcmWrapper::GetMediaType(int position, CMediaType* mediaType)
{
    if (!m_pInput || !m_pInput->IsConnected())
        return E_UNEXPECTED;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    const WAVEFORMATEX* in = WaveFormat(m_pInput->CurrentMediaType());
    if (!in)
        return E_UNEXPECTED;
    SetPcm16Type(mediaType, in->nSamplesPerSec, in->nChannels);
    return mediaType->Format() ? S_OK : E_OUTOFMEMORY;
}

HRESULT CAcmWrapper::SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    const WAVEFORMATEX* wfx = WaveFormat(*mediaType);
    if (!wfx)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_codecId = CodecOfTag(*wfx);
    m_passThrough = wfx->wFormatTag == WAVE_FORMAT_PCM && wfx->wBitsPerSample == 16;
    m_sampleRate = wfx->nSamplesPerSec;
    m_channels = wfx->nChannels;
    return S_OK;
}

HRESULT CAcmWrapper::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!m_pInput || !m_pInput->IsConnected())
        return E_UNEXPECTED;
    // A second of sound per buffer holds any one decoded frame and any PCM chunk the splitter
    // passes on.
    const LONG second = LONG(m_sampleRate) * m_channels * 2;
    request->cBuffers = std::max<LONG>(request->cBuffers, 4);
    request->cbBuffer = std::max<LONG>(request->cbBuffer, std::max<LONG>(second, 64 * 1024));
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CAcmWrapper::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)))
        return S_FALSE;
    const LONG length = in->GetActualDataLength();
    if (length > out->GetSize())
        return S_FALSE;
    std::memcpy(target, source, size_t(length));
    out->SetActualDataLength(length);
    return S_OK;
}

HRESULT CAcmWrapper::StartStreaming()
{
    m_nextTimeValid = false;
    m_discontinuity = true;
    if (m_passThrough)
        return S_OK;
    const AVCodec* codec = avcodec_find_decoder(AVCodecID(m_codecId));
    if (!codec)
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::unique_ptr<AVCodecContext, CodecCloser> context(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!context || !frame)
        return E_OUTOFMEMORY;
    const WAVEFORMATEX* wfx = WaveFormat(m_pInput->CurrentMediaType());
    if (!wfx)
        return E_UNEXPECTED;
    context->sample_rate = int(wfx->nSamplesPerSec);
    av_channel_layout_default(&context->ch_layout, wfx->nChannels);
    context->block_align = wfx->nBlockAlign;
    context->bit_rate = int64_t(wfx->nAvgBytesPerSec) * 8;
    context->bits_per_coded_sample = wfx->wBitsPerSample;
    if (wfx->cbSize > 0) {
        context->extradata =
            static_cast<uint8_t*>(av_mallocz(size_t(wfx->cbSize) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata)
            return E_OUTOFMEMORY;
        std::memcpy(context->extradata, reinterpret_cast<const BYTE*>(wfx) + sizeof *wfx,
                    wfx->cbSize);
        context->extradata_size = wfx->cbSize;
    }
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return VFW_E_TYPE_NOT_ACCEPTED;
    CAutoLock lock(&m_csReceive);
    m_decoder = std::move(context);
    m_frame = std::move(frame);
    return S_OK;
}

HRESULT CAcmWrapper::StopStreaming()
{
    m_decoder.reset();
    m_frame.reset();
    return S_OK;
}

HRESULT CAcmWrapper::EndFlush()
{
    {
        CAutoLock lock(&m_csReceive);
        if (m_decoder)
            avcodec_flush_buffers(m_decoder.get());
        m_nextTimeValid = false;
        m_discontinuity = true;
    }
    return CTransformFilter::EndFlush();
}

HRESULT CAcmWrapper::Receive(IMediaSample* sample)
{
    if (m_passThrough || m_pInput->SampleProps()->dwStreamId != AM_STREAM_MEDIA)
        return CTransformFilter::Receive(sample);
    return Decode(sample);
}

HRESULT CAcmWrapper::Decode(IMediaSample* sample)
{
    if (!m_decoder)
        return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)))
        return S_OK;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    if (SUCCEEDED(sample->GetTime(&start, &stop))) {
        m_nextTime = start;
        m_nextTimeValid = true;
    }
    if (sample->IsDiscontinuity() == S_OK)
        m_discontinuity = true;
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return E_OUTOFMEMORY;
    std::vector<uint8_t> padded(size_t(sample->GetActualDataLength()) +
                                AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded.data(), data, size_t(sample->GetActualDataLength()));
    packet->data = padded.data();
    packet->size = sample->GetActualDataLength();
    HRESULT result = S_OK;
    if (avcodec_send_packet(m_decoder.get(), packet) >= 0) {
        while (avcodec_receive_frame(m_decoder.get(), m_frame.get()) >= 0) {
            result = DeliverFrame(m_frame.get(), m_nextTime);
            const double rate = m_pInput->CurrentRate() > 0 ? m_pInput->CurrentRate() : 1.0;
            m_nextTime += REFERENCE_TIME(double(m_frame->nb_samples) * kUnits /
                                         (double(m_sampleRate) * rate));
            av_frame_unref(m_frame.get());
            if (result != S_OK)
                break;
        }
    }
    // A packet the decoder refuses (damaged sound) is passed over; the stream goes on.
    packet->data = nullptr;
    packet->size = 0;
    av_packet_free(&packet);
    return result;
}

HRESULT CAcmWrapper::DeliverFrame(const AVFrame* frame, REFERENCE_TIME start)
{
    const int channels = frame->ch_layout.nb_channels;
    if (channels != m_channels || frame->nb_samples <= 0)
        return S_OK;  // a frame of another layout than the connection's is passed over
    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    BYTE* target = nullptr;
    out->GetPointer(&target);
    const LONG bytes = LONG(frame->nb_samples) * channels * 2;
    if (bytes > out->GetSize()) {
        out->Release();
        return S_OK;
    }
    auto* values = reinterpret_cast<int16_t*>(target);
    for (int i = 0; i < frame->nb_samples; ++i)
        for (int c = 0; c < channels; ++c)
            *values++ = Sample16(frame, c, i);
    out->SetActualDataLength(bytes);
    if (m_nextTimeValid) {
        const double rate = m_pInput->CurrentRate() > 0 ? m_pInput->CurrentRate() : 1.0;
        REFERENCE_TIME stop =
            start + REFERENCE_TIME(double(frame->nb_samples) * kUnits / (double(m_sampleRate) * rate));
        out->SetTime(&start, &stop);
    }
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(m_discontinuity ? TRUE : FALSE);
    m_discontinuity = false;
    hr = m_pOutput->Deliver(out);
    out->Release();
    return hr;
}

}  // namespace sysfilters
