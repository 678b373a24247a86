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

// The `I` interface of the pin that `pin` is connected to: S_OK with a reference the caller
// releases, or E_NOTIMPL (and null) when `pin` is null or unconnected or its peer lacks `I`.
template <class I>
HRESULT PeerInterface(IPin* pin, I** peer)
{
    *peer = nullptr;
    ComPtr<IPin> connected;
    if (!pin || FAILED(pin->ConnectedTo(&connected)) || !connected)
        return E_NOTIMPL;
    HRESULT hr = connected->QueryInterface(IID_PPV_ARGS(peer));
    return SUCCEEDED(hr) && *peer ? S_OK : E_NOTIMPL;
}

// Passes one IMediaSeeking call to the peer of `pin`, or returns why there is no peer to take it.
template <class Method, class... Args>
HRESULT ForwardSeeking(IPin* pin, Method method, Args... args)
{
    ComPtr<IMediaSeeking> peer;
    HRESULT hr = PeerInterface(pin, &peer);
    return FAILED(hr) ? hr : (peer.Get()->*method)(args...);
}

// The peer's IMediaSeeking when it counts in media time (100 ns units), which is what
// IMediaPosition's seconds convert to; VFW_E_NO_TIME_FORMAT when it counts in something else.
HRESULT MediaTimePeer(IPin* pin, IMediaSeeking** seeking)
{
    HRESULT hr = PeerInterface(pin, seeking);
    if (FAILED(hr))
        return hr;
    if ((*seeking)->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) != S_OK) {
        (*seeking)->Release();
        *seeking = nullptr;
        return VFW_E_NO_TIME_FORMAT;
    }
    return S_OK;
}

// Reads a time in seconds from the peer of `pin`: its IMediaPosition's when it has one, else its
// IMediaSeeking's in media time, converted. `*seconds` is left alone on failure.
HRESULT ReadSeconds(IPin* pin, REFTIME* seconds, HRESULT (IMediaPosition::*fromPosition)(REFTIME*),
                    HRESULT (IMediaSeeking::*fromSeeking)(LONGLONG*))
{
    if (!seconds)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(PeerInterface(pin, &position)))
        return (position.Get()->*fromPosition)(seconds);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimePeer(pin, &seeking);
    LONGLONG units = 0;
    if (SUCCEEDED(hr))
        hr = (seeking.Get()->*fromSeeking)(&units);
    if (SUCCEEDED(hr))
        *seconds = ToSeconds(units);
    return hr;
}

enum class Which { Current, Stop };

// Sets the current or the stop position, in seconds, on the peer of `pin`: through its
// IMediaPosition when it has one, else as an absolute position through its IMediaSeeking in
// media time, the other position left as it is.
HRESULT WriteSeconds(IPin* pin, REFTIME seconds, HRESULT (IMediaPosition::*toPosition)(REFTIME),
                     Which which)
{
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(PeerInterface(pin, &position)))
        return (position.Get()->*toPosition)(seconds);
    ComPtr<IMediaSeeking> seeking;
    HRESULT hr = MediaTimePeer(pin, &seeking);
    if (FAILED(hr))
        return hr;
    LONGLONG units = ToMediaTime(seconds);
    if (which == Which::Current)
        return seeking->SetPositions(&units, AM_SEEKING_AbsolutePositioning, nullptr,
                                     AM_SEEKING_NoPositioning);
    return seeking->SetPositions(nullptr, AM_SEEKING_NoPositioning, &units,
                                 AM_SEEKING_AbsolutePositioning);
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
    return PeerInterface(m_pPin, position);
}

HRESULT CPosPassThru::GetPeerSeeking(IMediaSeeking** seeking)
{
    return PeerInterface(m_pPin, seeking);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetCapabilities(DWORD* capabilities)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetCapabilities, capabilities);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::CheckCapabilities(DWORD* capabilities)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::CheckCapabilities, capabilities);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::IsFormatSupported(const GUID* format)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::IsFormatSupported, format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::QueryPreferredFormat(GUID* format)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::QueryPreferredFormat, format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetTimeFormat(GUID* format)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetTimeFormat, format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::IsUsingTimeFormat(const GUID* format)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::IsUsingTimeFormat, format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::SetTimeFormat(const GUID* format)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::SetTimeFormat, format);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetDuration(LONGLONG* duration)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetDuration, duration);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetStopPosition(LONGLONG* stop)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetStopPosition, stop);
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
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetCurrentPosition, current);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::ConvertTimeFormat(LONGLONG* target,
                                                          const GUID* targetFormat, LONGLONG source,
                                                          const GUID* sourceFormat)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::ConvertTimeFormat,
                          target, targetFormat, source, sourceFormat);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                     LONGLONG* stop, DWORD stopFlags)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::SetPositions,
                          current, currentFlags, stop, stopFlags);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetPositions, current, stop);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetAvailable, earliest, latest);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::SetRate(double rate)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::SetRate, rate);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetRate(double* rate)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetRate, rate);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::GetPreroll(LONGLONG* preroll)
{
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetPreroll, preroll);
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

HRESULT STDMETHODCALLTYPE CPosPassThru::get_Duration(REFTIME* length)
{
    return ReadSeconds(m_pPin, length, &IMediaPosition::get_Duration, &IMediaSeeking::GetDuration);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::put_CurrentPosition(REFTIME time)
{
    return WriteSeconds(m_pPin, time, &IMediaPosition::put_CurrentPosition, Which::Current);
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
    return ReadSeconds(m_pPin, time, &IMediaPosition::get_CurrentPosition,
                       &IMediaSeeking::GetCurrentPosition);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_StopTime(REFTIME* time)
{
    return ReadSeconds(m_pPin, time, &IMediaPosition::get_StopTime,
                       &IMediaSeeking::GetStopPosition);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::put_StopTime(REFTIME time)
{
    return WriteSeconds(m_pPin, time, &IMediaPosition::put_StopTime, Which::Stop);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_PrerollTime(REFTIME* time)
{
    return ReadSeconds(m_pPin, time, &IMediaPosition::get_PrerollTime,
                       &IMediaSeeking::GetPreroll);
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
    return ForwardSeeking(m_pPin, &IMediaSeeking::SetRate, rate);
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_Rate(double* rate)
{
    if (!rate)
        return E_POINTER;
    ComPtr<IMediaPosition> position;
    if (SUCCEEDED(GetPeer(&position)))
        return position->get_Rate(rate);
    return ForwardSeeking(m_pPin, &IMediaSeeking::GetRate, rate);
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
