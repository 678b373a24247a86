#include "filters/brightness/kv_transform.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif


std::atomic<int32_t> g_brightness{0};

namespace {

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {{&MEDIATYPE_Video, &GUID_NULL}};
const AMOVIESETUP_PIN kPins[] = {
    {L"Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes},
    {L"Output", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes},
};

bool IsEmpty(const RECT& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

LONG AbsoluteHeight(const BITMAPINFOHEADER& header)
{
    return header.biHeight < 0 ? -header.biHeight : header.biHeight;
}

// A row's bytes by the video-information rule: whole 32-bit words of biBitCount-bit pixels, or
// biWidth bytes for a bit count that is not a whole number of bytes.
LONG StrideOf(const BITMAPINFOHEADER& header)
{
    if (header.biBitCount != 0 && header.biBitCount % 8 == 0) {
        return LONG((LONGLONG(header.biBitCount) / 8 * header.biWidth + 3) & ~LONGLONG(3));
    }
    return header.biWidth;
}

bool ReadVideoInfo(const AM_MEDIA_TYPE* type, VIDEOINFOHEADER* info)
{
    if (!type || !IsEqualGUID(type->formattype, FORMAT_VideoInfo) || !type->pbFormat ||
        type->cbFormat < sizeof(VIDEOINFOHEADER)) {
        return false;
    }
    std::memcpy(info, type->pbFormat, sizeof *info);
    return true;
}

// Adds `offset` (not 0) to the odd bytes of `bytes` bytes: the two luma bytes of each UYVY pair.
void AddToLuma(const BYTE* in, BYTE* out, size_t bytes, int offset)
{
    const int amount = std::min(offset < 0 ? -offset : offset, 255);
    size_t i = 0;
#if defined(__SSE2__)
    // Each 16-bit lane holds (chroma, luma): the amount goes into the high byte only, and the
    // unsigned saturating add or subtract clamps to 0..255.
    const __m128i lanes = _mm_set1_epi16(short(amount << 8));
    if (offset > 0) {
        for (; i + 16 <= bytes; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_adds_epu8(v, lanes));
        }
    } else {
        for (; i + 16 <= bytes; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_subs_epu8(v, lanes));
        }
    }
#endif
    for (; i < bytes; ++i) {
        if (i & 1) {
            out[i] = BYTE(std::clamp(int(in[i]) + offset, 0, 255));
        } else {
            out[i] = in[i];
        }
    }
}

}  // namespace

void CopyWithBrightness(const BYTE* in, LONG inStride, BYTE* out, LONG outStride, int width,
                        int rows, const std::atomic<int32_t>& brightness)
{
    const size_t pairBytes = size_t((width + 1) / 2) * 4;
    for (int row = 0; row < rows; ++row) {
        const int32_t offset = brightness.load(std::memory_order_relaxed);
        if (offset == 0) {
            std::memcpy(out, in, size_t(inStride));
        } else {
            AddToLuma(in, out, pairBytes, offset);
        }
        in += inStride;
        out += outStride;
    }
}

const AMOVIESETUP_FILTER Ckv_transform::g_FilterSetup = {
    &CLSID_KVBrightnessFilter, L"KV Brightness Filter", MERIT_DO_NOT_USE, 2, kPins};

Ckv_transform::Ckv_transform(LPUNKNOWN outer, HRESULT* phr)
    : CTransformFilter(nullptr, outer, CLSID_KVBrightnessFilter)
{
}

CUnknown* CALLBACK Ckv_transform::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    Ckv_transform* filter = new (std::nothrow) Ckv_transform(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

bool Ckv_transform::CheckUYVYType(const AM_MEDIA_TYPE* type)
{
    VIDEOINFOHEADER info;
    if (!type || !IsEqualGUID(type->majortype, MEDIATYPE_Video) ||
        !IsEqualGUID(type->subtype, MEDIASUBTYPE_UYVY) || !ReadVideoInfo(type, &info)) {
        return false;
    }
    const BITMAPINFOHEADER& header = info.bmiHeader;
    const LONG height = AbsoluteHeight(header);
    if (header.biWidth <= 0 || height <= 0)
        return false;
    // The picture's size at 16 bits per pixel, whatever bit count the type gives: a UYVY
    // picture has no other.
    const LONGLONG rowBytes = ((LONGLONG(header.biWidth) * 16 + 31) / 8) & ~LONGLONG(3);
    if (LONGLONG(header.biSizeImage) < rowBytes * height)
        return false;
    const RECT& target = info.rcTarget;
    if (!IsEmpty(target) && (target.left < 0 || target.top < 0 || target.right > header.biWidth ||
                             target.bottom > height)) {
        return false;
    }
    return true;
}

HRESULT Ckv_transform::CheckInputType(const CMediaType* input)
{
    return CheckUYVYType(input) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT Ckv_transform::CheckTransform(const CMediaType* input, const CMediaType* output)
{
    VIDEOINFOHEADER in;
    VIDEOINFOHEADER out;
    if (!CheckUYVYType(output) || !ReadVideoInfo(input, &in) || !ReadVideoInfo(output, &out)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (in.bmiHeader.biWidth > out.bmiHeader.biWidth ||
        in.bmiHeader.biHeight != AbsoluteHeight(out.bmiHeader)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

HRESULT Ckv_transform::GetMediaType(int position, CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    if (!m_pInput || !m_pInput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    CAutoLock lock(&m_csFilter);
    return mediaType->Set(m_pInput->CurrentMediaType());
}

HRESULT Ckv_transform::SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType)
{
    if (!mediaType)
        return E_POINTER;
    VIDEOINFOHEADER info = {};
    ReadVideoInfo(mediaType, &info);
    // The copy is what the filter computes with; the type itself stays as the caller made it.
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = MAKEFOURCC('U', 'Y', 'V', 'Y');
    CAutoLock lock(&m_csGeometry);
    if (direction == PINDIR_OUTPUT) {
        m_outputInfo = info;
    } else {
        m_inputInfo = info;
    }
    // Strides kept from the old type would shear the picture or write past the buffer.
    m_geometry = Geometry();
    return S_OK;
}

bool Ckv_transform::CurrentGeometry(Geometry* geometry, DWORD* outputSize)
{
    CAutoLock lock(&m_csGeometry);
    if (m_geometry.inStride == 0 || m_geometry.outStride == 0) {
        const BITMAPINFOHEADER& in = m_inputInfo.bmiHeader;
        Geometry made;
        made.inStride = StrideOf(in);
        made.outStride = StrideOf(m_outputInfo.bmiHeader);
        if (!IsEmpty(m_inputInfo.rcTarget)) {
            made.width = m_inputInfo.rcTarget.right - m_inputInfo.rcTarget.left;
            made.height = m_inputInfo.rcTarget.bottom - m_inputInfo.rcTarget.top;
        } else {
            made.width = in.biWidth;
            made.height = AbsoluteHeight(in);
        }
        if (made.inStride <= 0 || made.outStride <= 0 || made.width <= 0 || made.height <= 0) {
            return false;
        }
        m_geometry = made;
    }
    *geometry = m_geometry;
    *outputSize = m_outputInfo.bmiHeader.biSizeImage;
    return true;
}

HRESULT Ckv_transform::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    if (!m_pInput || !m_pInput->IsConnected())
        return E_UNEXPECTED;
    if (!allocator || !request)
        return E_POINTER;
    ALLOCATOR_PROPERTIES input = {};
    {
        IMemAllocator* inputAllocator = nullptr;
        HRESULT hr = m_pInput->GetAllocator(&inputAllocator);
        if (FAILED(hr))
            return hr;
        hr = inputAllocator->GetProperties(&input);
        inputAllocator->Release();
        if (FAILED(hr))
            return hr;
    }
    LONG outputPicture;
    {
        CAutoLock lock(&m_csGeometry);
        outputPicture = LONG(std::min<DWORD>(m_outputInfo.bmiHeader.biSizeImage, 0x7FFFFFFF));
    }
    if (request->cbAlign == 0)
        request->cbAlign = 1;
    if (request->cBuffers <= 0)
        request->cBuffers = 1;
    // The output's own picture may be wider than the input's buffer.
    request->cbBuffer = std::max({request->cbBuffer, input.cbBuffer, outputPicture});
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(request, &actual);
    if (FAILED(hr))
        return hr;
    if (actual.cbBuffer < input.cbBuffer)
        return E_FAIL;
    return S_OK;
}

HRESULT Ckv_transform::Transform(IMediaSample* in, IMediaSample* out)
{
    AM_MEDIA_TYPE* carried = nullptr;
    if (out->GetMediaType(&carried) == S_OK && carried) {
        CMediaType type(*carried);
        DeleteMediaType(carried);
        // A type the filter cannot write drops the picture and leaves the old type in place.
        if (CheckTransform(&m_pInput->CurrentMediaType(), &type) != S_OK)
            return S_FALSE;
        m_pOutput->SetMediaType(&type);
    }

    BYTE* source = nullptr;
    BYTE* target = nullptr;
    Geometry geometry;
    DWORD pictureSize = 0;
    if (FAILED(in->GetPointer(&source)) || FAILED(out->GetPointer(&target)) || !source || !target ||
        !CurrentGeometry(&geometry, &pictureSize)) {
        return S_FALSE;
    }
    // Every row is read and written whole, whatever the offset does in the middle of the
    // picture; a picture that does not fit either buffer is dropped.
    const LONGLONG rows = geometry.height;
    const LONGLONG pairBytes = LONGLONG((geometry.width + 1) / 2) * 4;
    const LONGLONG readRow = std::max<LONGLONG>(geometry.inStride, pairBytes);
    const LONGLONG writeRow = readRow;
    if (geometry.outStride < readRow ||
        (rows - 1) * geometry.inStride + readRow > in->GetActualDataLength() ||
        (rows - 1) * geometry.outStride + writeRow > out->GetSize()) {
        return S_FALSE;
    }
    CopyWithBrightness(source, geometry.inStride, target, geometry.outStride, geometry.width,
                       geometry.height, g_brightness);
    out->SetActualDataLength(LONG(std::min<LONGLONG>(pictureSize, out->GetSize())));
    return S_OK;
}
