// The video mixing renderer (CLSID_VideoMixingRenderer9) in windowless mode: one input stream
// of packed or planar YUV pictures (UYVY, YUY2, YVYU, YV12) or 32-bit RGB, painted into the
// client area of its clipping window at the destination rectangle.
//
// Each picture is converted by libswscale from the source rectangle straight to the size it
// takes on the screen and copied into the window's pixels: stretched over the destination
// rectangle, or, in letter-box mode, as large as fits inside it with its shape kept and
// centred; the rest of the window's client area is painted black. What lies outside the
// client area is clipped. The last picture is kept for RepaintVideo and GetCurrentImage.
//
// Timing. The streaming thread queues each picture (up to two, then it waits); a presenter
// thread of the renderer ("kv-vmr-present") shows each at its start time on the graph's clock.
// A picture that ends before stream time 0 (the pictures between a key frame and the position
// a seek asked for) is not shown. While paused, the first picture after a pause from stopped,
// a flush or a seek is shown at once (the pause picture) and completes the pause; the next
// waits for the run. A picture more than kLateDrop late is not painted (unless it is the first
// since a stop or a flush, which is shown however late), and the lateness goes upstream as a
// quality message (Famine, Late, the picture's start), so that the decoder can skip pictures;
// after a report the renderer waits for as many pictures as that lateness covers before it
// reports again.
//
// Locks: m_paintLock guards the geometry, the kept picture and the conversion; the queue is
// guarded by the base's m_waitLock, so that the presenter waits for pictures and states at
// once.
#pragma once

#include <deque>
#include <thread>
#include <vector>

#include "Renderer.h"

struct SwsContext;

namespace sysfilters {

class CVideoRenderer final : public CRendererBase,
                             public IVMRFilterConfig9,
                             public IVMRWindowlessControl9 {
public:
    // Pictures later than this are not painted: 100 ns.
    static constexpr REFERENCE_TIME kLateDrop = 300000;

    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CVideoRenderer(LPUNKNOWN outer, HRESULT* phr);
    ~CVideoRenderer() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IVMRFilterConfig9. Only windowless rendering (VMR9Mode_Windowless) and one stream are
    // offered: other modes answer E_NOTIMPL, more streams E_INVALIDARG; the compositor cannot be
    // replaced (E_NOTIMPL).
    HRESULT STDMETHODCALLTYPE SetImageCompositor(IVMRImageCompositor9* compositor) override;
    HRESULT STDMETHODCALLTYPE SetNumberOfStreams(DWORD streams) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfStreams(DWORD* streams) override;
    HRESULT STDMETHODCALLTYPE SetRenderingPrefs(DWORD prefs) override;
    HRESULT STDMETHODCALLTYPE GetRenderingPrefs(DWORD* prefs) override;
    HRESULT STDMETHODCALLTYPE SetRenderingMode(DWORD mode) override;
    HRESULT STDMETHODCALLTYPE GetRenderingMode(DWORD* mode) override;

    // IVMRWindowlessControl9. A null clipping window detaches the renderer (it paints
    // nothing). SetVideoPosition with a null rectangle keeps that one; E_INVALIDARG for a
    // rectangle with negative size or a source outside the picture. RepaintVideo paints the
    // kept picture into the given window (the clipping window when null), or black when there
    // is none. The ideal sizes are the native size and any size: the conversion scales freely.
    HRESULT STDMETHODCALLTYPE GetNativeVideoSize(LONG* width, LONG* height, LONG* aspectWidth,
                                                 LONG* aspectHeight) override;
    HRESULT STDMETHODCALLTYPE GetMinIdealVideoSize(LONG* width, LONG* height) override;
    HRESULT STDMETHODCALLTYPE GetMaxIdealVideoSize(LONG* width, LONG* height) override;
    HRESULT STDMETHODCALLTYPE SetVideoPosition(const RECT* source, const RECT* destination) override;
    HRESULT STDMETHODCALLTYPE GetVideoPosition(RECT* source, RECT* destination) override;
    HRESULT STDMETHODCALLTYPE GetAspectRatioMode(DWORD* mode) override;
    HRESULT STDMETHODCALLTYPE SetAspectRatioMode(DWORD mode) override;
    HRESULT STDMETHODCALLTYPE SetVideoClippingWindow(HWND window) override;
    HRESULT STDMETHODCALLTYPE RepaintVideo(HWND window, HDC dc) override;
    HRESULT STDMETHODCALLTYPE DisplayModeChanged() override;
    HRESULT STDMETHODCALLTYPE GetCurrentImage(BYTE** dib) override;
    HRESULT STDMETHODCALLTYPE SetBorderColor(COLORREF color) override;
    HRESULT STDMETHODCALLTYPE GetBorderColor(COLORREF* color) override;

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT SetMediaType(const CMediaType* mediaType) override;
    // The kept picture belongs to the connection: once the input is disconnected, a repaint
    // shows black, not a picture of the stream that is gone.
    void BreakConnect() override;
    LONG MinimumBuffers() override { return 4; }
    HRESULT Render(IMediaSample* sample) override;

protected:
    void OnBeginFlush() override;
    void OnStop() override;
    void OnPause() override;
    bool IsRenderedOut() override;

private:
    struct Queued {
        IMediaSample* sample;  // one reference
        unsigned generation;   // the flush generation it arrived in
    };

    // The picture's layout, from the connection's type.
    struct Format {
        int pixelFormat = -1;  // AVPixelFormat
        LONG width = 0;
        LONG height = 0;       // rows, top-down
        bool bottomUp = false; // RGB pictures with a positive height
        LONG stride = 0;       // bytes of a row of the first plane
    };

    void PresentLoop();
    // Paints one picture (and keeps it); m_paintLock taken here.
    void Present(IMediaSample* sample);
    // Paints the kept picture into `window` (or black); m_paintLock held.
    void PaintLocked(HWND window);
    void ReleaseQueue();
    void SendQuality(REFERENCE_TIME lateness, REFERENCE_TIME start, REFERENCE_TIME frame);

    std::deque<Queued> m_queue;  // m_waitLock
    bool m_presenting = false;   // the presenter holds a picture; m_waitLock
    unsigned m_generation = 0;   // counts flushes and stops; m_waitLock
    bool m_exit = false;         // m_waitLock
    std::thread m_presenter;     // started at the first pause, joined at the end
    LONG m_qualityHoldoff = 0;   // presenter thread only
    unsigned m_shownGeneration = ~0u;  // the generation last shown; presenter thread only

    std::mutex m_paintLock;
    Format m_format;                   // m_paintLock (written by SetMediaType while stopped)
    HWND m_window = nullptr;           // m_paintLock
    RECT m_source{};                   // m_paintLock; empty: the whole picture
    RECT m_destination{};              // m_paintLock; empty: the whole client area
    DWORD m_aspectMode = VMR_ARMODE_NONE;  // m_paintLock
    DWORD m_mode = 0;                  // rendering mode; 0 until set; m_paintLock
    DWORD m_prefs = 0;                 // m_paintLock
    COLORREF m_border = 0;             // m_paintLock
    std::vector<BYTE> m_picture;       // the kept picture's bytes; m_paintLock
    Format m_pictureFormat;            // its layout; m_paintLock
    SwsContext* m_scaler = nullptr;    // owned; m_paintLock
    HDC m_memoryDc = nullptr;          // owned; m_paintLock
    HBITMAP m_bitmap = nullptr;        // selected into m_memoryDc; m_paintLock
    HBRUSH m_black = nullptr;          // owned
    HGDIOBJ m_oldBitmap = nullptr;
    void* m_bits = nullptr;            // the bitmap's pixels
    LONG m_bitmapWidth = 0;
    LONG m_bitmapHeight = 0;
};

}  // namespace sysfilters
