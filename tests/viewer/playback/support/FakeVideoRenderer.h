// Test support: a stand-in for the windowless video mixing renderer, registered under its class
// identifier for the engine tests. It is the recording null renderer of the DirectShow test
// support (it takes every picture at once, without a clock) with the renderer's configuration
// and windowless-control interfaces, which remember what they were told: the rendering mode,
// the clipping window, the aspect mode, the destination rectangle and each repaint.
#pragma once

#include <mutex>
#include <vector>

#include "NullRenderer.h"

namespace enginetest {

class CFakeVideoRenderer : public dshowtest::CNullRenderer,
                           public IVMRFilterConfig9,
                           public IVMRWindowlessControl9 {
public:
    CFakeVideoRenderer() = default;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IVMRFilterConfig9
    HRESULT STDMETHODCALLTYPE SetImageCompositor(IVMRImageCompositor9*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNumberOfStreams(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNumberOfStreams(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRenderingPrefs(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRenderingPrefs(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRenderingMode(DWORD mode) override;
    HRESULT STDMETHODCALLTYPE GetRenderingMode(DWORD* mode) override;

    // IVMRWindowlessControl9
    HRESULT STDMETHODCALLTYPE GetNativeVideoSize(LONG*, LONG*, LONG*, LONG*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMinIdealVideoSize(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMaxIdealVideoSize(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVideoPosition(const RECT* source, const RECT* destination) override;
    HRESULT STDMETHODCALLTYPE GetVideoPosition(RECT* source, RECT* destination) override;
    HRESULT STDMETHODCALLTYPE GetAspectRatioMode(DWORD* mode) override;
    HRESULT STDMETHODCALLTYPE SetAspectRatioMode(DWORD mode) override;
    HRESULT STDMETHODCALLTYPE SetVideoClippingWindow(HWND window) override;
    HRESULT STDMETHODCALLTYPE RepaintVideo(HWND window, HDC dc) override;
    HRESULT STDMETHODCALLTYPE DisplayModeChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurrentImage(BYTE**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBorderColor(COLORREF) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBorderColor(COLORREF*) override { return E_NOTIMPL; }

    // The start positions (media time) the graph's seeks asked this renderer for, in order.
    std::vector<LONGLONG> SeekTargets();

    HWND ClippingWindow();
    // The windows RepaintVideo was called for, in order, since the last ClearRepaints.
    std::vector<HWND> Repaints();
    void ClearRepaints();

    // Registers the class (once per process); false when a real renderer holds the class
    // identifier already.
    static bool RegisterClass();

private:
    // The renderer's IMediaSeeking: every call goes to the null renderer's pass-through, and
    // the start positions of seeks are recorded on the way.
    class CRecordingSeeking : public IMediaSeeking {
    public:
        explicit CRecordingSeeking(CFakeVideoRenderer* owner) : m_owner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
        {
            return m_owner->GetOwner()->QueryInterface(iid, object);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_owner->GetOwner()->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_owner->GetOwner()->Release(); }
#define KV_FORWARD(call) \
    ComPtr<IMediaSeeking> inner = m_owner->InnerSeeking(); \
    return inner ? inner->call : E_NOTIMPL;
        HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* c) override { KV_FORWARD(GetCapabilities(c)) }
        HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* c) override { KV_FORWARD(CheckCapabilities(c)) }
        HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* f) override { KV_FORWARD(IsFormatSupported(f)) }
        HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* f) override { KV_FORWARD(QueryPreferredFormat(f)) }
        HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* f) override { KV_FORWARD(GetTimeFormat(f)) }
        HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* f) override { KV_FORWARD(IsUsingTimeFormat(f)) }
        HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* f) override { KV_FORWARD(SetTimeFormat(f)) }
        HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* d) override { KV_FORWARD(GetDuration(d)) }
        HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* s) override { KV_FORWARD(GetStopPosition(s)) }
        HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* c) override { KV_FORWARD(GetCurrentPosition(c)) }
        HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* t, const GUID* tf, LONGLONG s,
                                                    const GUID* sf) override
        {
            KV_FORWARD(ConvertTimeFormat(t, tf, s, sf))
        }
        HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags,
                                               LONGLONG* stop, DWORD stopFlags) override
        {
            if (current && (currentFlags & AM_SEEKING_PositioningBitsMask))
                m_owner->RecordSeek(*current);
            KV_FORWARD(SetPositions(current, currentFlags, stop, stopFlags))
        }
        HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* c, LONGLONG* s) override { KV_FORWARD(GetPositions(c, s)) }
        HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* e, LONGLONG* l) override { KV_FORWARD(GetAvailable(e, l)) }
        HRESULT STDMETHODCALLTYPE SetRate(double r) override { KV_FORWARD(SetRate(r)) }
        HRESULT STDMETHODCALLTYPE GetRate(double* r) override { KV_FORWARD(GetRate(r)) }
        HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* p) override { KV_FORWARD(GetPreroll(p)) }
#undef KV_FORWARD

    private:
        CFakeVideoRenderer* m_owner;
    };

    ComPtr<IMediaSeeking> InnerSeeking();
    void RecordSeek(LONGLONG position);

    CRecordingSeeking m_seeking{this};
    std::mutex m_viewLock;
    // Guarded by m_viewLock:
    DWORD m_mode = 0;
    HWND m_clip = nullptr;
    DWORD m_aspect = 0;
    RECT m_source = {};
    RECT m_dest = {};
    std::vector<HWND> m_repaints;
    std::vector<LONGLONG> m_seeks;
};

}  // namespace enginetest
