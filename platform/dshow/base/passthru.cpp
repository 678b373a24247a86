// CPosPassThru: seeking calls of a filter passed to the output pin upstream of its input pin.
#include <cmath>

#include "platform/dshow/streams.h"

namespace {

constexpr double kUnitsPerSecond = 10000000.0;

LONGLONG ToMediaTime(REFTIME seconds)
{
    return LONGLONG(std::llround(seconds * kUnitsPerSecond));
}

REFTIME ToSeconds(LONGLONG units)
{
    return double(units) / kUnitsPerSecond;
}

}  // namespace

CPosPassThru::CPosPassThru(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr, IPin* pin)
    : CUnknown(name, outer), m_pPin(pin)
{
    if (!pin && phr)
        *phr = E_POINTER;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IMediaSeeking)) {
        return GetInterface(static_cast<IMediaSeeking*>(this), object);
    }
    if (IsEqualIID(iid, IID_IMediaPosition)) {
        return GetInterface(static_cast<IMediaPosition*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CPosPassThru::GetPeer(IMediaPosition** position)
{
    *position = nullptr;
    ComPtr<IPin> connected;
    if (!m_pPin || FAILED(m_pPin->ConnectedTo(&connected)) || !connected)
        return E_NOTIMPL;
    HRESULT hr = connected->QueryInterface(IID_PPV_ARGS(position));
    return SUCCEEDED(hr) && *position ? S_OK : E_NOTIMPL;
}

HRESULT CPosPassThru::GetPeerSeeking(IMediaSeeking** seeking)
{
    *seeking = nullptr;
    ComPtr<IPin> connected;
    if (!m_pPin || FAILED(m_pPin->ConnectedTo(&connected)) || !connected)
        return E_NOTIMPL;
    HRESULT hr = connected->QueryInterface(IID_PPV_ARGS(seeking));
    return SUCCEEDED(hr) && *seeking ? S_OK : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetCapabilities(DWORD* capabilities)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetCapabilities(capabilities);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::CheckCapabilities(DWORD* capabilities)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->CheckCapabilities(capabilities);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::IsFormatSupported(const GUID* format)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->IsFormatSupported(format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::QueryPreferredFormat(GUID* format)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->QueryPreferredFormat(format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetTimeFormat(GUID* format)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetTimeFormat(format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::IsUsingTimeFormat(const GUID* format)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->IsUsingTimeFormat(format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::SetTimeFormat(const GUID* format)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->SetTimeFormat(format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetDuration(LONGLONG* duration)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetDuration(duration);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetStopPosition(LONGLONG* stop)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetStopPosition(stop);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetCurrentPosition(LONGLONG* current)
{
    if (!current)
        return E_POINTER;
    LONGLONG start = 0;
    LONGLONG end = 0;
    if (SUCCEEDED(GetMediaTime(&start, &end))) {
        *current = start;
        return S_OK;
    }
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetCurrentPosition(current);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::ConvertTimeFormat(LONGLONG* target,
                                                          const GUID* targetFormat, LONGLONG source,
                                                          const GUID* sourceFormat)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->ConvertTimeFormat(target, targetFormat, source, sourceFormat);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                     LONGLONG* stop, DWORD stopFlags)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->SetPositions(current, currentFlags, stop, stopFlags);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetPositions(current, stop);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetAvailable(earliest, latest);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::SetRate(double rate)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->SetRate(rate);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetRate(double* rate)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetRate(rate);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetPreroll(LONGLONG* preroll)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = GetPeerSeeking(&peer);
    return FAILED(hr) ? hr : peer->GetPreroll(preroll);
}

// ---------------------------------------------------------------------------------------------
// IDispatch

HRESULT STDMETHODCALLTYPE CPosPassThru::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetTypeInfo(UINT index, LCID locale, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                      LCID locale, DISPID* ids)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                               DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* exception, UINT* argumentError)
{
    return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// IMediaPosition: the upstream pin's own, else its IMediaSeeking in media time.

HRESULT CPosPassThru::MediaTimeSeeking(IMediaSeeking** seeking)
{
    HRESULT hr = GetPeerSeeking(seeking);
    if (FAILED(hr))
        return hr;
    if ((*seeking)->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) != S_OK) {
        (*seeking)->Release();
        *seeking = nullptr;
        return VFW_E_NO_TIME_FORMAT;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_Duration(REFTIME* length)
{
    if (!length)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->get_Duration(length);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimeSeeking(&seeking);
    LONGLONG duration = 0;
    if (SUCCEEDED(hr))
        hr = seeking->GetDuration(&duration);
    if (SUCCEEDED(hr))
        *length = ToSeconds(duration);
    return hr;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::put_CurrentPosition(REFTIME time)
{
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->put_CurrentPosition(time);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimeSeeking(&seeking);
    if (FAILED(hr))
        return hr;
    LONGLONG current = ToMediaTime(time);
    return seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                 AM_SEEKING_NoPositioning);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_CurrentPosition(REFTIME* time)
{
    if (!time)
        return E_POINTER;
    LONGLONG start = 0;
    LONGLONG end = 0;
    if (SUCCEEDED(GetMediaTime(&start, &end))) {
        *time = ToSeconds(start);
        return S_OK;
    }
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->get_CurrentPosition(time);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimeSeeking(&seeking);
    LONGLONG current = 0;
    if (SUCCEEDED(hr))
        hr = seeking->GetCurrentPosition(&current);
    if (SUCCEEDED(hr))
        *time = ToSeconds(current);
    return hr;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_StopTime(REFTIME* time)
{
    if (!time)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->get_StopTime(time);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimeSeeking(&seeking);
    LONGLONG stop = 0;
    if (SUCCEEDED(hr))
        hr = seeking->GetStopPosition(&stop);
    if (SUCCEEDED(hr))
        *time = ToSeconds(stop);
    return hr;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::put_StopTime(REFTIME time)
{
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->put_StopTime(time);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimeSeeking(&seeking);
    if (FAILED(hr))
        return hr;
    LONGLONG stop = ToMediaTime(time);
    return seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop,
                                 AM_SEEKING_AbsolutePositioning);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_PrerollTime(REFTIME* time)
{
    if (!time)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->get_PrerollTime(time);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimeSeeking(&seeking);
    LONGLONG preroll = 0;
    if (SUCCEEDED(hr))
        hr = seeking->GetPreroll(&preroll);
    if (SUCCEEDED(hr))
        *time = ToSeconds(preroll);
    return hr;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::put_PrerollTime(REFTIME time)
{
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->put_PrerollTime(time);
    // IMediaSeeking has no way to set the preroll.
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::put_Rate(double rate)
{
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->put_Rate(rate);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = GetPeerSeeking(&seeking);
    return FAILED(hr) ? hr : seeking->SetRate(rate);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_Rate(double* rate)
{
    if (!rate)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->get_Rate(rate);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = GetPeerSeeking(&seeking);
    return FAILED(hr) ? hr : seeking->GetRate(rate);
}

HRESULT CPosPassThru::CanSeek(DWORD capability, LONG* canSeek)
{
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = GetPeerSeeking(&seeking);
    if (FAILED(hr))
        return hr;
    hr = seeking->CheckCapabilities(&capability);
    if (FAILED(hr))
        return hr;
    *canSeek = hr == S_OK ? OATRUE : OAFALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::CanSeekForward(LONG* canSeek)
{
    if (!canSeek)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->CanSeekForward(canSeek);
    return CanSeek(AM_SEEKING_CanSeekForwards, canSeek);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::CanSeekBackward(LONG* canSeek)
{
    if (!canSeek)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->CanSeekBackward(canSeek);
    return CanSeek(AM_SEEKING_CanSeekBackwards, canSeek);
}
