#include "filters/h264decode/KVH264.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>


namespace {

constexpr REFERENCE_TIME kDefaultFrameDuration = 400000;  // 25 frames per second
constexpr REFERENCE_TIME kSkipUnit = 330000;              // lateness worth one dropped picture

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {{&MEDIATYPE_Video, &GUID_NULL}};
const AMOVIESETUP_PIN kPins[] = {
    {L"", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes},
    {L"", TRUE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes},
};

struct OutputChoice {
    const GUID* subtype;
    DWORD fourcc;
};
const OutputChoice kOutputs[] = {
    {&MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2')},
    {&MEDIASUBTYPE_YVYU, MAKEFOURCC('Y', 'V', 'Y', 'U')},
    {&MEDIASUBTYPE_UYVY, MAKEFOURCC('U', 'Y', 'V', 'Y')},
};

// The bitmap header of a VIDEOINFOHEADER or VIDEOINFOHEADER2 block, when the block is long
// enough for its structure.
bool ReadVideoInfo(const GUID& formatType, const BYTE* format, ULONG length,
                   BITMAPINFOHEADER* header, REFERENCE_TIME* frameDuration)
{
    if (!format)
        return false;
    if (IsEqualGUID(formatType, FORMAT_VideoInfo)) {
        if (length < sizeof(VIDEOINFOHEADER))
            return false;
        VIDEOINFOHEADER info;
        std::memcpy(&info, format, sizeof info);
        *header = info.bmiHeader;
        if (frameDuration)
            *frameDuration = info.AvgTimePerFrame;
        return true;
    }
    if (IsEqualGUID(formatType, FORMAT_VideoInfo2)) {
        if (length < sizeof(VIDEOINFOHEADER2))
            return false;
        VIDEOINFOHEADER2 info;
        std::memcpy(&info, format, sizeof info);
        *header = info.bmiHeader;
        if (frameDuration)
            *frameDuration = info.AvgTimePerFrame;
        return true;
    }
    return false;
}

}  // namespace

const AMOVIESETUP_FILTER KVH264::g_FilterSetup = {
    &CLSID_KVH264DecodeFilter, L"KESTROVAN H264 Decoding Filter", MERIT_DO_NOT_USE, 2, kPins};

KVH264::KVH264(LPUNKNOWN outer, HRESULT* phr)
    : CTransformFilter(nullptr, outer, CLSID_KVH264DecodeFilter)
{
}

KVH264::~KVH264() = default;

CUnknown* CALLBACK KVH264::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    KVH264* filter = new (std::nothrow) KVH264(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

AVPixelFormat KVH264::PixelFormatOf(const GUID& subtype)
{
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YUY2))
        return AV_PIX_FMT_YUYV422;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YVYU))
        return AV_PIX_FMT_YVYU422;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_UYVY))
        return AV_PIX_FMT_UYVY422;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YV12))
        return AV_PIX_FMT_YUV420P;
    return AV_PIX_FMT_NONE;
}

// ---------------------------------------------------------------------------------------------
// Input types

bool KVH264::ReadInputFormat(const AM_MEDIA_TYPE& type, InputFormat* format)
{
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !type.pbFormat)
        return false;
    BITMAPINFOHEADER header;
    REFERENCE_TIME frameDuration = 0;
    if (IsEqualGUID(type.formattype, FORMAT_MPEG2Video)) {
        if (type.cbFormat < SIZE_MPEG2VIDEOINFO_HEADER)
            return false;
        MPEG2VIDEOINFO info = {};
        std::memcpy(&info, type.pbFormat, SIZE_MPEG2VIDEOINFO_HEADER);
        header = info.hdr.bmiHeader;
        frameDuration = info.hdr.AvgTimePerFrame;
        if (info.cbSequenceHeader > 0) {
            format->hasConfig = true;
            format->config = BuildAvcConfig(type.pbFormat, type.cbFormat);
        }
    } else if (!ReadVideoInfo(type.formattype, type.pbFormat, type.cbFormat, &header,
                              &frameDuration)) {
        return false;
    }

    const LONGLONG width = header.biWidth;
    const LONGLONG height = header.biHeight < 0 ? -LONGLONG(header.biHeight) : header.biHeight;
    // The output buffer of width x height x 4 bytes must be countable in a LONG.
    if (width <= 0 || height <= 0 || width * height * 4 > 0x7FFFFFFF)
        return false;
    format->width = int(width);
    format->height = int(height);
    // The input's own frame duration is kept as it is (29.97 frames per second stay 333,667),
    // and a missing one means 25 frames per second.
    format->frameDuration = frameDuration > 0 ? frameDuration : kDefaultFrameDuration;
    format->fourcc = header.biCompression;
    return true;
}

HRESULT KVH264::CheckInputType(const CMediaType* input)
{
    if (!input)
        return E_POINTER;
    InputFormat format;
    if (!ReadInputFormat(*input, &format))
        return VFW_E_TYPE_NOT_ACCEPTED;
    CAutoLock lock(&m_csFormat);
    // The first type must name H.264; once a type was taken, later ones are not asked again.
    if (m_codecId == AV_CODEC_ID_NONE && format.fourcc != MAKEFOURCC('A', 'V', 'C', '1') &&
        format.fourcc != MAKEFOURCC('H', '2', '6', '4')) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

void KVH264::ApplyInputType(const AM_MEDIA_TYPE& type)
{
    InputFormat format;
    if (!ReadInputFormat(type, &format))
        return;
    CAutoLock lock(&m_csFormat);
    m_codecId = AV_CODEC_ID_H264;
    m_width = format.width;
    m_height = format.height;
    m_frameDuration = format.frameDuration;
    // An open decoder keeps its own copy of the record it was opened with.
    if (format.hasConfig)
        m_config = std::move(format.config);
    m_outputTypeError = false;
}

// ---------------------------------------------------------------------------------------------
// Output types

HRESULT KVH264::SelectOutputFormat(const GUID& subtype, const GUID& formatType, const BYTE* format,
                                   ULONG formatLength)
{
    const AVPixelFormat pixelFormat = PixelFormatOf(subtype);
    if (pixelFormat == AV_PIX_FMT_NONE && !IsEqualGUID(subtype, GUID_NULL)) {
        m_outputPixelFormat = AV_PIX_FMT_NONE;
        return S_FALSE;
    }
    m_outputPixelFormat = pixelFormat;
    if (format) {
        BITMAPINFOHEADER header;
        if (!ReadVideoInfo(formatType, format, formatLength, &header, nullptr) ||
            header.biWidth <= 0) {
            return S_FALSE;
        }
        m_outputStride = header.biWidth;
    }
    return S_OK;
}

HRESULT KVH264::CheckTransform(const CMediaType* input, const CMediaType* output)
{
    if (!output)
        return E_POINTER;
    if (!IsEqualGUID(output->majortype, MEDIATYPE_Video) ||
        PixelFormatOf(output->subtype) == AV_PIX_FMT_NONE) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    BITMAPINFOHEADER header;
    if (!ReadVideoInfo(output->formattype, output->pbFormat, output->cbFormat, &header, nullptr)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    int width = 0;
    InputFormat format;
    if (input && ReadInputFormat(*input, &format)) {
        width = format.width;
    } else {
        CAutoLock lock(&m_csFormat);
        width = m_width;
    }
    return header.biWidth >= width ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT KVH264::GetMediaType(int position, CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    if (!m_pInput || !m_pInput->IsConnected())
        return E_UNEXPECTED;
    if (position < 0)
        return E_INVALIDARG;
    if (position >= int(sizeof kOutputs / sizeof kOutputs[0]))
        return VFW_S_NO_MORE_ITEMS;

    LONG width;
    LONG height;
    REFERENCE_TIME frameDuration;
    {
        CAutoLock lock(&m_csFormat);
        width = m_width;
        height = m_height;
        frameDuration = m_frameDuration;
    }
    auto* info =
        reinterpret_cast<VIDEOINFOHEADER*>(mediaType->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!info)
        return E_OUTOFMEMORY;
    std::memset(info, 0, sizeof *info);
    info->rcSource = RECT{0, 0, width, height};
    info->rcTarget = RECT{0, 0, width, height};
    info->AvgTimePerFrame = frameDuration;
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 16;
    header.biCompression = kOutputs[position].fourcc;
    // A DirectShow bitmap's size: rows rounded up to whole 32-bit words.
    header.biSizeImage = DWORD((LONGLONG(width) * 16 + 31) / 32 * 4 * height);

    mediaType->SetType(&MEDIATYPE_Video);
    mediaType->SetSubtype(kOutputs[position].subtype);
    mediaType->SetFormatType(&FORMAT_VideoInfo);
    mediaType->SetTemporalCompression(FALSE);
    mediaType->SetSampleSize(header.biSizeImage);
    return S_OK;
}

HRESULT KVH264::SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    if (direction == PINDIR_INPUT) {
        ApplyInputType(*mediaType);
        return S_OK;
    }
    CAutoLock lock(&m_csFormat);
    return SelectOutputFormat(mediaType->subtype, mediaType->formattype, mediaType->pbFormat,
                              mediaType->cbFormat);
}

HRESULT KVH264::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!m_pInput || !m_pInput->IsConnected())
        return E_UNEXPECTED;
    if (!allocator || !request)
        return E_POINTER;
    {
        CAutoLock lock(&m_csFormat);
        request->cBuffers = 1;
        request->cbBuffer = LONG(LONGLONG(m_width) * m_height * 4);
    }
    request->cbPrefix = 0;
    if (request->cbAlign <= 0)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cbBuffer < request->cbBuffer)
        return E_FAIL;
    return hr;
}

// ---------------------------------------------------------------------------------------------
// Quality

HRESULT KVH264::AlterQuality(Quality quality)
{
    if (quality.Late > kSkipUnit) {
        m_framesToSkip = int(std::min<REFERENCE_TIME>(quality.Late / kSkipUnit, INT_MAX));
    }
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Streaming

HRESULT KVH264::StartStreaming()
{
    m_discontinuity = true;
    return NOERROR;
}

void KVH264::NoteSkipped()
{
    m_bSampleSkipped = TRUE;
    if (!m_bQualityChanged.exchange(TRUE))
        NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
}

void KVH264::ForgetPending()
{
    for (SampleInfo& slot : m_pending)
        slot.key = -1;
}

bool KVH264::EnsureDecoder()
{
    if (m_decoder && m_decoder->IsOpen())
        return true;
    AVCodecID codec;
    int width;
    int height;
    std::vector<BYTE> config;
    {
        CAutoLock lock(&m_csFormat);
        codec = m_codecId;
        width = m_width;
        height = m_height;
        config = m_config.bytes;
    }
    std::unique_ptr<VideoDecoder> decoder(new (std::nothrow) VideoDecoder());
    if (!decoder || !decoder->Open(codec, width, height, config.data(), int(config.size()))) {
        return false;
    }
    m_decoder = std::move(decoder);
    return true;
}

HRESULT KVH264::Receive(IMediaSample* sample)
{
    const AM_SAMPLE2_PROPERTIES* props = m_pInput->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA)
        return m_pOutput->Deliver(sample);
    if ((props->dwSampleFlags & AM_SAMPLE_TYPECHANGED) && props->pMediaType) {
        ApplyInputType(*props->pMediaType);
    }

    const bool sync = props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT;
    if (m_waitForKeyFrame) {
        if (!sync) {
            NoteSkipped();
            return NOERROR;
        }
        m_waitForKeyFrame = false;
        m_framesToSkip = 0;
    }
    if (!props->pbBuffer || props->lActual < 10 || props->lActual > props->cbBuffer ||
        !EnsureDecoder()) {
        NoteSkipped();
        return NOERROR;
    }

    // The key travels with the packet through the decoder's threads and its reordering, and
    // brings the picture back to the times of the sample it was decoded from.
    const int64_t key = m_nextKey++;
    SampleInfo& slot = m_pending[key % kPendingSamples];
    slot.key = key;
    slot.start = props->tStart;
    slot.stop = props->tStop;
    slot.flags = props->dwSampleFlags;

    int error = m_decoder->Send(props->pbBuffer, props->lActual, key);
    if (error == AVERROR(EAGAIN)) {
        HRESULT hr = DeliverPictures();
        if (hr != S_OK)
            return hr;
        error = m_decoder->Send(props->pbBuffer, props->lActual, key);
    }
    // A decoding error of an earlier packet may come back here: the packet itself was still
    // taken, so its slot stays.
    if (error < 0)
        NoteSkipped();
    return DeliverPictures();
}

HRESULT KVH264::DeliverPictures()
{
    int failures = 0;
    for (;;) {
        const VideoDecoder::Result result = m_decoder->Receive();
        if (result == VideoDecoder::Result::NeedInput)
            return S_OK;
        if (result == VideoDecoder::Result::Failed) {
            NoteSkipped();
            // The decoder reports each broken picture once; this only bounds the loop.
            if (++failures > kPendingSamples)
                return S_OK;
            continue;
        }
        // A picture whose sample is not known (it had no key, or a flush forgot it) goes out
        // without times rather than with another sample's.
        SampleInfo info;
        info.flags = 0;
        const int64_t key = m_decoder->CurrentKey();
        if (key >= 0 && m_pending[key % kPendingSamples].key == key) {
            info = m_pending[key % kPendingSamples];
        }
        // Preroll pictures are decoded, so that the pictures after them have their references,
        // but never shown.
        if (info.flags & AM_SAMPLE_PREROLL)
            continue;
        int skip = m_framesToSkip.load();
        while (skip > 0 && !m_framesToSkip.compare_exchange_weak(skip, skip - 1)) {
        }
        if (skip > 0) {
            NoteSkipped();
            continue;
        }
        HRESULT hr = DeliverPicture(info);
        if (hr != S_OK)
            return hr;
    }
}

HRESULT KVH264::DeliverPicture(const SampleInfo& info)
{
    REFERENCE_TIME start = info.start;
    REFERENCE_TIME stop = info.stop;
    const bool timed = info.flags & AM_SAMPLE_TIMEVALID;
    const bool stopValid = timed && (info.flags & AM_SAMPLE_STOPVALID);
    DWORD bufferFlags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(info.flags & AM_SAMPLE_SPLICEPOINT))
        bufferFlags |= AM_GBF_NOTASYNCPOINT;

    IMediaSample* out = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&out, timed ? &start : nullptr,
                                              stopValid ? &stop : nullptr, bufferFlags);
    if (FAILED(hr))
        return hr;

    AVPixelFormat pixelFormat;
    int stride;
    bool usable = true;
    {
        // A type the renderer put on the sample asks for another layout from now on.
        AM_MEDIA_TYPE* carried = nullptr;
        const bool changed = out->GetMediaType(&carried) == S_OK && carried;
        CAutoLock lock(&m_csFormat);
        if (changed && !m_outputTypeError &&
            SelectOutputFormat(carried->subtype, carried->formattype, carried->pbFormat,
                               carried->cbFormat) != S_OK) {
            m_outputTypeError = true;
            usable = false;
        }
        if (carried)
            DeleteMediaType(carried);
        pixelFormat = m_outputPixelFormat;
        stride = m_outputStride;
    }

    BYTE* buffer = nullptr;
    int length = -1;
    if (usable && SUCCEEDED(out->GetPointer(&buffer))) {
        length = m_decoder->Convert(pixelFormat, stride, buffer, out->GetSize());
    }
    if (length < 0) {
        out->Release();
        NoteSkipped();
        return S_OK;
    }
    out->SetActualDataLength(length);
    out->SetTime(timed ? &start : nullptr, stopValid ? &stop : nullptr);
    out->SetSyncPoint((info.flags & AM_SAMPLE_SPLICEPOINT) ? TRUE : FALSE);
    out->SetPreroll(FALSE);
    out->SetDiscontinuity(
        m_discontinuity || m_bSampleSkipped || (info.flags & AM_SAMPLE_DATADISCONTINUITY) ? TRUE
                                                                                          : FALSE);
    hr = m_pOutput->Deliver(out);
    out->Release();
    m_discontinuity = false;
    m_bSampleSkipped = FALSE;
    return hr;
}

HRESULT KVH264::EndOfStream()
{
    if (m_decoder && m_decoder->IsOpen()) {
        m_decoder->SendEndOfStream();
        DeliverPictures();
        // A drained decoder takes packets again only after a flush.
        m_decoder->Flush();
        ForgetPending();
    }
    return CTransformFilter::EndOfStream();
}

HRESULT KVH264::EndFlush()
{
    {
        CAutoLock receiving(&m_csReceive);
        if (m_decoder)
            m_decoder->Flush();
        ForgetPending();
        m_waitForKeyFrame = true;
        m_discontinuity = true;
        m_framesToSkip = 0;
    }
    return CTransformFilter::EndFlush();
}
