#include "VideoRenderer.h"

#include <algorithm>
#include <cstring>
#include <new>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "MediaTypes.h"

namespace sysfilters {

namespace {

// The largest side of a picture on the screen: zooms beyond it are clipped to it.
constexpr LONG kLargestSide = 16384;

bool IsEmpty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (IsEmpty(r))
        r = RECT{0, 0, 0, 0};
    return r;
}

const BITMAPINFOHEADER* BitmapHeader(const CMediaType& type)
{
    if (IsEqualGUID(*type.FormatType(), FORMAT_VideoInfo) &&
        type.FormatLength() >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<const VIDEOINFOHEADER*>(type.Format())->bmiHeader;
    if (IsEqualGUID(*type.FormatType(), FORMAT_VideoInfo2) &&
        type.FormatLength() >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(type.Format())->bmiHeader;
    return nullptr;
}

// The picture layout of a media type; pixelFormat -1 for one the renderer cannot show.
int PixelFormatOf(const GUID& subtype, const BITMAPINFOHEADER& bih)
{
    if (IsEqualGUID(subtype, MEDIASUBTYPE_UYVY))
        return AV_PIX_FMT_UYVY422;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YUY2))
        return AV_PIX_FMT_YUYV422;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YVYU))
        return AV_PIX_FMT_YVYU422;
    if (IsEqualGUID(subtype, MEDIASUBTYPE_YV12))
        return AV_PIX_FMT_YUV420P;
    if (bih.biCompression == BI_RGB && bih.biBitCount == 32)
        return AV_PIX_FMT_BGRA;
    return -1;
}

}  // namespace

CUnknown* CALLBACK CVideoRenderer::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    auto* filter = new (std::nothrow) CVideoRenderer(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CVideoRenderer::CVideoRenderer(LPUNKNOWN outer, HRESULT* phr)
    : CRendererBase(NAME("Video mixing renderer"), outer, CLSID_VideoMixingRenderer9, phr)
{
    m_black = CreateSolidBrush(RGB(0, 0, 0));
}

CVideoRenderer::~CVideoRenderer()
{
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_exit = true;
        m_waitChanged.notify_all();
    }
    if (m_presenter.joinable())
        m_presenter.join();
    ReleaseQueue();
    sws_freeContext(m_scaler);
    if (m_memoryDc) {
        SelectObject(m_memoryDc, m_oldBitmap);
        DeleteDC(m_memoryDc);
    }
    if (m_bitmap)
        DeleteObject(m_bitmap);
    if (m_black)
        DeleteObject(m_black);
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IVMRFilterConfig9))
        return GetInterface(static_cast<IVMRFilterConfig9*>(this), object);
    if (IsEqualIID(iid, IID_IVMRWindowlessControl9))
        return GetInterface(static_cast<IVMRWindowlessControl9*>(this), object);
    return CRendererBase::NonDelegatingQueryInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// Configuration

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetImageCompositor(IVMRImageCompositor9*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetNumberOfStreams(DWORD streams)
{
    return streams == 1 ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetNumberOfStreams(DWORD* streams)
{
    if (!streams)
        return E_POINTER;
    *streams = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetRenderingPrefs(DWORD prefs)
{
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_prefs = prefs;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetRenderingPrefs(DWORD* prefs)
{
    if (!prefs)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_paintLock);
    *prefs = m_prefs;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetRenderingMode(DWORD mode)
{
    if (mode != VMR9Mode_Windowless)
        return mode == VMR9Mode_Windowed || mode == VMR9Mode_Renderless ? E_NOTIMPL : E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_mode = mode;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetRenderingMode(DWORD* mode)
{
    if (!mode)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_paintLock);
    *mode = m_mode ? m_mode : VMR9Mode_Windowed;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Windowless control

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetNativeVideoSize(LONG* width, LONG* height,
                                                             LONG* aspectWidth,
                                                             LONG* aspectHeight)
{
    if (!width && !height && !aspectWidth && !aspectHeight)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_paintLock);
    const Format& f = m_pictureFormat.pixelFormat >= 0 ? m_pictureFormat : m_format;
    if (f.pixelFormat < 0)
        return VFW_E_NOT_CONNECTED;
    if (width)
        *width = f.width;
    if (height)
        *height = f.height;
    if (aspectWidth)
        *aspectWidth = f.width;
    if (aspectHeight)
        *aspectHeight = f.height;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetMinIdealVideoSize(LONG* width, LONG* height)
{
    if (!width || !height)
        return E_POINTER;
    *width = *height = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetMaxIdealVideoSize(LONG* width, LONG* height)
{
    if (!width || !height)
        return E_POINTER;
    *width = *height = kLargestSide;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetVideoPosition(const RECT* source,
                                                           const RECT* destination)
{
    if (!source && !destination)
        return E_POINTER;
    if (destination &&
        (destination->right < destination->left || destination->bottom < destination->top))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_paintLock);
    if (source) {
        if (source->left < 0 || source->top < 0 || IsEmpty(*source) ||
            (m_format.pixelFormat >= 0 &&
             (source->right > m_format.width || source->bottom > m_format.height)))
            return E_INVALIDARG;
        m_source = *source;
    }
    if (destination)
        m_destination = *destination;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetVideoPosition(RECT* source, RECT* destination)
{
    if (!source && !destination)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_paintLock);
    if (source)
        *source = IsEmpty(m_source) ? RECT{0, 0, m_format.width, m_format.height} : m_source;
    if (destination)
        *destination = m_destination;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetAspectRatioMode(DWORD* mode)
{
    if (!mode)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_paintLock);
    *mode = m_aspectMode;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetAspectRatioMode(DWORD mode)
{
    if (mode != VMR_ARMODE_NONE && mode != VMR_ARMODE_LETTER_BOX)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_aspectMode = mode;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetVideoClippingWindow(HWND window)
{
    if (window && !IsWindow(window))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_window = window;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::RepaintVideo(HWND window, HDC)
{
    std::lock_guard<std::mutex> guard(m_paintLock);
    HWND target = window ? window : m_window;
    if (!target || !IsWindow(target))
        return E_INVALIDARG;
    PaintLocked(target);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::DisplayModeChanged()
{
    return S_OK;  // one virtual screen whose format never changes
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetCurrentImage(BYTE** dib)
{
    if (!dib)
        return E_POINTER;
    *dib = nullptr;
    std::lock_guard<std::mutex> guard(m_paintLock);
    const Format& f = m_pictureFormat;
    if (m_picture.empty() || f.pixelFormat < 0)
        return E_FAIL;
    const size_t rowBytes = size_t(f.width) * 4;
    const size_t bytes = sizeof(BITMAPINFOHEADER) + rowBytes * size_t(f.height);
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(bytes));
    if (!block)
        return E_OUTOFMEMORY;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = f.width;
    header.biHeight = f.height;  // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(rowBytes * size_t(f.height));
    std::memcpy(block, &header, sizeof header);
    SwsContext* scaler = sws_getContext(f.width, f.height, AVPixelFormat(f.pixelFormat), f.width,
                                        f.height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr,
                                        nullptr);
    if (!scaler) {
        CoTaskMemFree(block);
        return E_OUTOFMEMORY;
    }
    uint8_t* planes[4] = {};
    int strides[4] = {};
    av_image_fill_arrays(planes, strides, m_picture.data(), AVPixelFormat(f.pixelFormat),
                         f.width, f.height, 1);
    if (f.pixelFormat == AV_PIX_FMT_YUV420P)
        std::swap(planes[1], planes[2]);  // kept as YV12: V before U
    // Bottom-up: the last row first.
    BYTE* pixels = block + sizeof header;
    uint8_t* target[4] = {pixels + rowBytes * size_t(f.height - 1), nullptr, nullptr, nullptr};
    int targetStride[4] = {-int(rowBytes), 0, 0, 0};
    sws_scale(scaler, planes, strides, 0, f.height, target, targetStride);
    sws_freeContext(scaler);
    *dib = block;  // the caller frees it with CoTaskMemFree
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::SetBorderColor(COLORREF color)
{
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_border = color;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CVideoRenderer::GetBorderColor(COLORREF* color)
{
    if (!color)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_paintLock);
    *color = m_border;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Connection

HRESULT CVideoRenderer::CheckMediaType(const CMediaType* mediaType)
{
    if (!IsEqualGUID(*mediaType->Type(), MEDIATYPE_Video))
        return S_FALSE;
    const BITMAPINFOHEADER* bih = BitmapHeader(*mediaType);
    if (!bih || bih->biWidth <= 0 || bih->biHeight == 0 || bih->biWidth > kLargestSide ||
        std::abs(bih->biHeight) > kLargestSide)
        return S_FALSE;
    return PixelFormatOf(*mediaType->Subtype(), *bih) >= 0 ? S_OK : S_FALSE;
}

HRESULT CVideoRenderer::SetMediaType(const CMediaType* mediaType)
{
    const BITMAPINFOHEADER* bih = BitmapHeader(*mediaType);
    if (!bih)
        return VFW_E_TYPE_NOT_ACCEPTED;
    Format f;
    f.pixelFormat = PixelFormatOf(*mediaType->Subtype(), *bih);
    f.width = bih->biWidth;
    f.height = std::abs(bih->biHeight);
    f.bottomUp = f.pixelFormat == AV_PIX_FMT_BGRA && bih->biHeight > 0;
    f.stride = f.pixelFormat == AV_PIX_FMT_YUV420P ? f.width
               : f.pixelFormat == AV_PIX_FMT_BGRA  ? f.width * 4
                                                   : f.width * 2;
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_format = f;
    return S_OK;
}

void CVideoRenderer::BreakConnect()
{
    std::lock_guard<std::mutex> guard(m_paintLock);
    m_picture.clear();  // its storage stays for the next connection's pictures
    m_pictureFormat = Format();
}

// ---------------------------------------------------------------------------------------------
// Streaming

HRESULT CVideoRenderer::Render(IMediaSample* sample)
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const HRESULT timed = sample->GetTime(&start, &stop);
    if (SUCCEEDED(timed) && stop <= 0 && start < 0)
        return S_OK;  // before the segment's start: decoded for the pictures after it only
    std::unique_lock<std::mutex> lock(m_waitLock);
    if (!m_presenter.joinable() && !m_exit)
        m_presenter = std::thread([this] { PresentLoop(); });
    m_waitChanged.wait(lock, [this] {
        return m_flushing || m_waitState == State_Stopped || m_queue.size() < 2;
    });
    if (m_flushing || m_waitState == State_Stopped)
        return S_FALSE;
    sample->AddRef();  // released when shown or thrown away
    m_queue.push_back({sample, m_generation});
    m_waitChanged.notify_all();
    return S_OK;
}

void CVideoRenderer::ReleaseQueue()
{
    std::deque<Queued> queued;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        queued.swap(m_queue);
        ++m_generation;
        m_waitChanged.notify_all();
    }
    for (Queued& q : queued)
        q.sample->Release();
}

void CVideoRenderer::OnBeginFlush()
{
    ReleaseQueue();
}

void CVideoRenderer::OnStop()
{
    ReleaseQueue();
}

void CVideoRenderer::OnPause()
{
    std::lock_guard<std::mutex> guard(m_waitLock);
    if (!m_presenter.joinable() && !m_exit)
        m_presenter = std::thread([this] { PresentLoop(); });
}

bool CVideoRenderer::IsRenderedOut()
{
    std::lock_guard<std::mutex> guard(m_waitLock);
    return m_queue.empty() && !m_presenting;
}

void CVideoRenderer::SendQuality(REFERENCE_TIME lateness, REFERENCE_TIME start,
                                 REFERENCE_TIME frame)
{
    if (m_qualityHoldoff > 0) {
        --m_qualityHoldoff;
        return;
    }
    Quality q{Famine, 1000, lateness, start};
    if (m_pin.PassNotify(q) == S_OK)
        CountQualityMessage();
    // The pictures this lateness makes the decoder skip are not reported again.
    m_qualityHoldoff = LONG(frame > 0 ? lateness / frame : 0) + 1;
}

void CVideoRenderer::PresentLoop()
{
    pthread_setname_np(pthread_self(), "kv-vmr-present");
    std::unique_lock<std::mutex> lock(m_waitLock);
    for (;;) {
        m_waitChanged.wait(lock, [this] { return m_exit || !m_queue.empty(); });
        if (m_exit)
            return;
        Queued q = m_queue.front();
        m_queue.pop_front();
        m_presenting = true;
        m_waitChanged.notify_all();  // room in the queue
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        const bool timed = SUCCEEDED(q.sample->GetTime(&start, &stop));
        bool show = false;
        REFERENCE_TIME lateness = 0;
        for (;;) {
            if (q.generation != m_generation || m_flushing || m_waitState == State_Stopped)
                break;
            if (m_waitState == State_Paused && !m_cued) {
                // The pause picture: shown at once, it completes the pause.
                lock.unlock();
                Present(q.sample);
                m_shownGeneration = q.generation;
                lock.lock();
                if (q.generation == m_generation) {
                    m_cued = true;
                    m_waitChanged.notify_all();
                }
                // Then it waits for the run like any other picture, but is not shown again.
                lock.unlock();
                Wake woke = WaitWhilePaused();
                lock.lock();
                if (woke != Wake::Due || q.generation != m_generation)
                    break;
                show = false;
                break;
            }
            if (!timed) {
                show = true;
                break;
            }
            lock.unlock();
            Wake woke = WaitForStreamTime(start, false, &lateness);
            lock.lock();
            show = woke == Wake::Due && q.generation == m_generation;
            break;
        }
        lock.unlock();
        if (show) {
            // The first picture since a stop or a flush (a start, a seek, a rate change) is
            // shown however late it comes, so that the window shows the new position at once
            // instead of keeping the old picture until the stream has caught up; its lateness
            // still goes upstream.
            const bool first = q.generation != m_shownGeneration;
            if (lateness > kLateDrop && !first) {
                CountDropped();
                SendQuality(lateness, start, std::max<REFERENCE_TIME>(stop - start, 1));
            } else {
                Present(q.sample);
                m_shownGeneration = q.generation;
                if (lateness > kLateDrop / 2)
                    SendQuality(lateness, start, std::max<REFERENCE_TIME>(stop - start, 1));
                else if (m_qualityHoldoff > 0)
                    --m_qualityHoldoff;
            }
        }
        q.sample->Release();
        lock.lock();
        m_presenting = false;
        m_waitChanged.notify_all();
        lock.unlock();
        CheckComplete();
        lock.lock();
    }
}

void CVideoRenderer::Present(IMediaSample* sample)
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)))
        return;
    {
        std::lock_guard<std::mutex> guard(m_paintLock);
        AM_MEDIA_TYPE* carried = nullptr;
        if (sample->GetMediaType(&carried) == S_OK && carried) {
            CMediaType type(*carried);
            DeleteMediaType(carried);
            const BITMAPINFOHEADER* bih = BitmapHeader(type);
            if (bih && PixelFormatOf(*type.Subtype(), *bih) >= 0) {
                m_format.pixelFormat = PixelFormatOf(*type.Subtype(), *bih);
                m_format.width = bih->biWidth;
                m_format.height = std::abs(bih->biHeight);
                m_format.stride = m_format.pixelFormat == AV_PIX_FMT_YUV420P ? m_format.width
                                  : m_format.pixelFormat == AV_PIX_FMT_BGRA ? m_format.width * 4
                                                                            : m_format.width * 2;
            }
        }
        const Format& f = m_format;
        if (f.pixelFormat < 0)
            return;
        const int needed = av_image_get_buffer_size(AVPixelFormat(f.pixelFormat), f.width,
                                                    f.height, 1);
        if (needed <= 0 || sample->GetActualDataLength() < needed)
            return;  // a short picture is not shown
        m_picture.assign(data, data + needed);
        m_pictureFormat = f;
        if (m_window && IsWindow(m_window))
            PaintLocked(m_window);
    }
    REFERENCE_TIME now = 0;
    if (!StreamTimeNow(&now))
        now = timed ? start : 0;
    CountPresented(timed ? start : 0, now);
}

void CVideoRenderer::PaintLocked(HWND window)
{
    RECT client{};
    if (!GetClientRect(window, &client) || IsEmpty(client))
        return;
    HDC dc = GetDC(window);
    if (!dc)
        return;
    const Format& f = m_pictureFormat;
    RECT picture{0, 0, 0, 0};
    bool painted = false;
    if (!m_picture.empty() && f.pixelFormat >= 0) {
        RECT source = IsEmpty(m_source) ? RECT{0, 0, f.width, f.height} : m_source;
        source.right = std::min<LONG>(source.right, f.width);
        source.bottom = std::min<LONG>(source.bottom, f.height);
        // Packed 4:2:2 and 4:2:0 pictures start at even columns (and rows).
        source.left &= ~1;
        source.top &= f.pixelFormat == AV_PIX_FMT_YUV420P ? ~1 : ~0;
        const RECT destination = IsEmpty(m_destination) ? client : m_destination;
        picture = destination;
        const LONG sw = source.right - source.left;
        const LONG sh = source.bottom - source.top;
        if (m_aspectMode == VMR_ARMODE_LETTER_BOX && sw > 0 && sh > 0) {
            const LONG dw = destination.right - destination.left;
            const LONG dh = destination.bottom - destination.top;
            LONG pw = dw;
            LONG ph = LONG(LONGLONG(dw) * sh / sw);
            if (ph > dh) {
                ph = dh;
                pw = LONG(LONGLONG(dh) * sw / sh);
            }
            picture.left = destination.left + (dw - pw) / 2;
            picture.top = destination.top + (dh - ph) / 2;
            picture.right = picture.left + pw;
            picture.bottom = picture.top + ph;
        }
        const LONG pw = std::min(picture.right - picture.left, kLargestSide);
        const LONG ph = std::min(picture.bottom - picture.top, kLargestSide);
        const RECT visible = Intersect(picture, client);
        if (sw > 0 && sh > 0 && pw > 0 && ph > 0 && !IsEmpty(visible)) {
            if (!m_bitmap || m_bitmapWidth != pw || m_bitmapHeight != ph) {
                if (m_memoryDc) {
                    SelectObject(m_memoryDc, m_oldBitmap);
                } else {
                    m_memoryDc = CreateCompatibleDC(dc);
                }
                if (m_bitmap)
                    DeleteObject(m_bitmap);
                BITMAPINFO info{};
                info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
                info.bmiHeader.biWidth = pw;
                info.bmiHeader.biHeight = -ph;  // top-down, as the scaler writes
                info.bmiHeader.biPlanes = 1;
                info.bmiHeader.biBitCount = 32;
                info.bmiHeader.biCompression = BI_RGB;
                m_bits = nullptr;
                m_bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
                m_bitmapWidth = m_bitmap ? pw : 0;
                m_bitmapHeight = m_bitmap ? ph : 0;
                if (m_bitmap && m_memoryDc)
                    m_oldBitmap = SelectObject(m_memoryDc, m_bitmap);
            }
            m_scaler = sws_getCachedContext(m_scaler, sw, sh, AVPixelFormat(f.pixelFormat), pw,
                                            ph, AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr,
                                            nullptr, nullptr);
            if (m_bitmap && m_bits && m_memoryDc && m_scaler) {
                uint8_t* planes[4] = {};
                int strides[4] = {};
                av_image_fill_arrays(planes, strides, m_picture.data(),
                                     AVPixelFormat(f.pixelFormat), f.width, f.height, 1);
                if (f.pixelFormat == AV_PIX_FMT_YUV420P)
                    std::swap(planes[1], planes[2]);  // YV12 keeps V before U
                const uint8_t* from[4] = {};
                if (f.pixelFormat == AV_PIX_FMT_YUV420P) {
                    from[0] = planes[0] + source.top * strides[0] + source.left;
                    from[1] = planes[1] + source.top / 2 * strides[1] + source.left / 2;
                    from[2] = planes[2] + source.top / 2 * strides[2] + source.left / 2;
                } else {
                    const int bytes = f.pixelFormat == AV_PIX_FMT_BGRA ? 4 : 2;
                    int row = source.top;
                    if (f.bottomUp) {
                        // The first row in memory is the bottom one: read upwards.
                        row = f.height - 1 - source.top;
                        strides[0] = -strides[0];
                        from[0] = planes[0] + LONGLONG(row) * -strides[0] + source.left * bytes;
                    } else {
                        from[0] = planes[0] + LONGLONG(row) * strides[0] + source.left * bytes;
                    }
                }
                uint8_t* to[4] = {static_cast<uint8_t*>(m_bits), nullptr, nullptr, nullptr};
                int toStride[4] = {int(pw * 4), 0, 0, 0};
                sws_scale(m_scaler, from, strides, 0, sh, to, toStride);
                BitBlt(dc, visible.left, visible.top, visible.right - visible.left,
                       visible.bottom - visible.top, m_memoryDc, visible.left - picture.left,
                       visible.top - picture.top, SRCCOPY);
                painted = true;
            }
        }
    }
    // Black around the picture (or everywhere without one).
    if (!painted)
        picture = RECT{0, 0, 0, 0};
    const RECT shown = Intersect(picture, client);
    if (IsEmpty(shown)) {
        FillRect(dc, &client, m_black);
    } else {
        const RECT bars[4] = {{client.left, client.top, client.right, shown.top},
                              {client.left, shown.bottom, client.right, client.bottom},
                              {client.left, shown.top, shown.left, shown.bottom},
                              {shown.right, shown.top, client.right, shown.bottom}};
        for (const RECT& bar : bars)
            if (!IsEmpty(bar))
                FillRect(dc, &bar, m_black);
    }
    ReleaseDC(window, dc);
}

}  // namespace sysfilters
