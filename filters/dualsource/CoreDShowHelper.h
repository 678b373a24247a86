// The source filter's adapter over one reading core: it owns the core and turns the core's
// output ports into what DirectShow pins need (the parts of a media type a port does not carry,
// and the allocator's properties).
#pragma once

#include "filtercore/CorePortProperties.h"
#include "filtercore/CoreProperties.h"
#include "platform/dshow/streams.h"

namespace FilterCore {

template <class CoreT>
class CoreDShowHelperT {
public:
    // Takes ownership of `core`.
    explicit CoreDShowHelperT(CoreT* core) : m_pCore(core) {}
    // Destroys the core, which stops its reading thread and closes its file.
    virtual ~CoreDShowHelperT() { delete m_pCore; }
    CoreDShowHelperT(const CoreDShowHelperT&) = delete;
    CoreDShowHelperT& operator=(const CoreDShowHelperT&) = delete;

    CoreT* Core() const { return m_pCore; }

    // The core's output port `port`, or null.
    CorePortProperties* Port(int port) const
    {
        CoreProperties* properties = m_pCore->GetProperties();
        return properties ? properties->GetOutputPort(port) : nullptr;
    }

    // Fills what a port's major type, subtype and format type do not say: the sample size (and,
    // for MPEG-2 style video, variable-size samples with temporal compression) and the format
    // block. A port holds one format, so only position 0 exists (VFW_S_NO_MORE_ITEMS beyond
    // it). E_FAIL when the port does not exist or its block is too short for its format type;
    // E_OUTOFMEMORY when the block cannot be copied.
    virtual HRESULT GetMediaType(int port, int position, CMediaType* mediaType)
    {
        if (!mediaType)
            return E_POINTER;
        if (position < 0)
            return E_INVALIDARG;
        if (position > 0)
            return VFW_S_NO_MORE_ITEMS;
        CorePortProperties* out = Port(port);
        if (!out)
            return E_FAIL;
        int length = 0;
        const BYTE* block = static_cast<const BYTE*>(out->GetFormat(&length));
        const GUID& formatType = *out->GetFormatType();
        auto fits = [&](size_t bytes) { return block && length >= 0 && size_t(length) >= bytes; };

        if (formatType == FORMAT_VideoInfo) {
            if (!fits(sizeof(VIDEOINFOHEADER)))
                return E_FAIL;
            mediaType->lSampleSize =
                reinterpret_cast<const VIDEOINFOHEADER*>(block)->bmiHeader.biSizeImage;
        } else if (formatType == FORMAT_VideoInfo2) {
            if (!fits(sizeof(VIDEOINFOHEADER2)))
                return E_FAIL;
            mediaType->lSampleSize =
                reinterpret_cast<const VIDEOINFOHEADER2*>(block)->bmiHeader.biSizeImage;
        } else if (formatType == FORMAT_MPEG2Video) {
            if (!fits(SIZE_MPEG2VIDEOINFO_HEADER))
                return E_FAIL;
            mediaType->lSampleSize =
                reinterpret_cast<const MPEG2VIDEOINFO*>(block)->hdr.bmiHeader.biSizeImage;
            mediaType->bFixedSizeSamples = FALSE;
            mediaType->bTemporalCompression = TRUE;
        } else if (formatType == FORMAT_WaveFormatEx) {
            if (!fits(sizeof(WAVEFORMATEX)))
                return E_FAIL;
            mediaType->lSampleSize = reinterpret_cast<const WAVEFORMATEX*>(block)->nAvgBytesPerSec;
        } else {
            int reserved = 0, count = 0, size = 0;
            out->GetAllocator(&reserved, &count, &size);
            mediaType->lSampleSize = ULONG(size > 0 ? size : 0);
        }
        if (block && length > 0 && !mediaType->SetFormat(block, ULONG(length))) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // Sets the allocator's properties for the port `port`: the port's buffer count when the
    // request asks for none, and `size` bytes per buffer when it is nonzero, else the port's
    // buffer size. SetProperties' failure is passed back; E_FAIL when the allocator gives fewer
    // or smaller buffers than asked; E_NOTIMPL when the port does not exist.
    HRESULT DecideBufferSize(int port, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request,
                             int size)
    {
        if (!allocator || !request)
            return E_POINTER;
        CorePortProperties* out = Port(port);
        if (!out)
            return E_NOTIMPL;
        int reserved = 0, count = 0, portSize = 0;
        out->GetAllocator(&reserved, &count, &portSize);
        if (request->cBuffers == 0)
            request->cBuffers = count;
        request->cbBuffer = size != 0 ? size : portSize;
        ALLOCATOR_PROPERTIES actual = {};
        HRESULT hr = allocator->SetProperties(request, &actual);
        if (FAILED(hr))
            return hr;
        if (actual.cBuffers < request->cBuffers || actual.cbBuffer < request->cbBuffer) {
            return E_FAIL;
        }
        return S_OK;
    }

private:
    CoreT* m_pCore;  // owned
};

}  // namespace FilterCore
