// The brightness filter: copies UYVY pictures from its input to its output and adds the
// library's brightness offset to every luma byte.
//
// Threads. Transform runs on the upstream pin's streaming thread; connections and state
// changes on the graph's thread under the state lock. The picture geometry both use is guarded
// by m_csGeometry, which is held only to read or write it, never while copying.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/dshow/streams.h"

// {A7F8E31D-1F9E-462A-9DF0-D1057F82AEA1}
DEFINE_GUID(CLSID_KVBrightnessFilter, 0xA7F8E31D, 0x1F9E, 0x462A, 0x9D, 0xF0, 0xD1, 0x05, 0x7F,
            0x82, 0xAE, 0xA1);

// The library's brightness offset, added to every luma byte by every instance of the filter in
// the process. Written by whichever thread calls setbrightness and read by the streaming threads
// once per row, so a change may take effect in the middle of a picture.
extern std::atomic<int32_t> g_brightness;

// Copies `rows` rows of a UYVY picture from `in` to `out` with `offset` added to each luma byte
// (clamped to 0..255); chroma bytes are copied as they are. With offset 0 each row is copied
// whole over `inStride` bytes, also the bytes past the picture's width; otherwise the row's
// pixels, `width` rounded up to even, are written. The offset is read from `brightness` once per
// row.
void CopyWithBrightness(const BYTE* in, LONG inStride, BYTE* out, LONG outStride, int width,
                        int rows, const std::atomic<int32_t>& brightness);

class Ckv_transform : public CTransformFilter {
public:
    // The class factory's creation function: a new filter without references, or null with
    // E_OUTOFMEMORY.
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    // The registration data of the filter: "KV Brightness Filter", MERIT_DO_NOT_USE.
    static const AMOVIESETUP_FILTER g_FilterSetup;
    const AMOVIESETUP_FILTER* GetSetupData() override { return &g_FilterSetup; }

    // True for UYVY video with a VIDEOINFOHEADER whose biSizeImage holds the picture and whose
    // rcTarget, when not empty, lies inside the picture. The type is only read.
    static bool CheckUYVYType(const AM_MEDIA_TYPE* type);

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    HRESULT CheckInputType(const CMediaType* input) override;
    // A UYVY output at least as wide as the input and as high.
    HRESULT CheckTransform(const CMediaType* input, const CMediaType* output) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Position 0: the input pin's connection type.
    HRESULT GetMediaType(int position, CMediaType* mediaType) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* mediaType) override;

private:
    Ckv_transform(LPUNKNOWN outer, HRESULT* phr);

    // Picture width (pixels) and height (rows), and both strides (bytes), from the two copies;
    // computed again after every type change.
    struct Geometry {
        int width = 0;
        int height = 0;
        LONG inStride = 0;
        LONG outStride = 0;
    };
    bool CurrentGeometry(Geometry* geometry, DWORD* outputSize);

    CCritSec m_csGeometry;
    // Guarded by m_csGeometry.
    VIDEOINFOHEADER m_inputInfo = {};   // the input type's format, as a UYVY picture
    VIDEOINFOHEADER m_outputInfo = {};  // the output type's format, as a UYVY picture
    Geometry m_geometry;                // all 0 until the next sample computes it
};
