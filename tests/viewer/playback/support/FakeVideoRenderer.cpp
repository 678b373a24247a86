#include "FakeVideoRenderer.h"

#include "com/classes.h"

namespace enginetest {

HRESULT CFakeVideoRenderer::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IVMRFilterConfig9)
        return GetInterface(static_cast<IVMRFilterConfig9*>(this), object);
    if (iid == IID_IVMRWindowlessControl9)
        return GetInterface(static_cast<IVMRWindowlessControl9*>(this), object);
    if (iid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(&m_seeking), object);
    return CNullRenderer::NonDelegatingQueryInterface(iid, object);
}

ComPtr<IMediaSeeking> CFakeVideoRenderer::InnerSeeking()
{
    ComPtr<IMediaSeeking> inner;
    CNullRenderer::NonDelegatingQueryInterface(IID_IMediaSeeking,
                                               reinterpret_cast<void**>(&inner));
    return inner;
}

void CFakeVideoRenderer::RecordSeek(LONGLONG position)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    m_seeks.push_back(position);
}

std::vector<LONGLONG> CFakeVideoRenderer::SeekTargets()
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    return m_seeks;
}

HRESULT CFakeVideoRenderer::SetRenderingMode(DWORD mode)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    m_mode = mode;
    return S_OK;
}

HRESULT CFakeVideoRenderer::GetRenderingMode(DWORD* mode)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    *mode = m_mode;
    return S_OK;
}

HRESULT CFakeVideoRenderer::SetVideoPosition(const RECT* source, const RECT* destination)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    if (source)
        m_source = *source;
    if (destination)
        m_dest = *destination;
    return S_OK;
}

HRESULT CFakeVideoRenderer::GetVideoPosition(RECT* source, RECT* destination)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    if (source)
        *source = m_source;
    if (destination)
        *destination = m_dest;
    return S_OK;
}

HRESULT CFakeVideoRenderer::GetAspectRatioMode(DWORD* mode)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    *mode = m_aspect;
    return S_OK;
}

HRESULT CFakeVideoRenderer::SetAspectRatioMode(DWORD mode)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    m_aspect = mode;
    return S_OK;
}

HRESULT CFakeVideoRenderer::SetVideoClippingWindow(HWND window)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    m_clip = window;
    return S_OK;
}

HRESULT CFakeVideoRenderer::RepaintVideo(HWND window, HDC)
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    m_repaints.push_back(window);
    return S_OK;
}

HWND CFakeVideoRenderer::ClippingWindow()
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    return m_clip;
}

std::vector<HWND> CFakeVideoRenderer::Repaints()
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    return m_repaints;
}

void CFakeVideoRenderer::ClearRepaints()
{
    std::lock_guard<std::mutex> hold(m_viewLock);
    m_repaints.clear();
}

bool CFakeVideoRenderer::RegisterClass()
{
    static const bool registered = platform::RegisterSystemClass(
        CLSID_VideoMixingRenderer9, [](IUnknown*, REFIID iid, void** object) -> HRESULT {
            auto* renderer = new CFakeVideoRenderer();
            renderer->NonDelegatingAddRef();
            HRESULT hr = renderer->NonDelegatingQueryInterface(iid, object);
            renderer->NonDelegatingRelease();
            return hr;
        });
    return registered;
}

}  // namespace enginetest
