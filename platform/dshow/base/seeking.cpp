// IMediaSeeking's capabilities and time formats for pins that seek in media time only.
#include "platform/dshow/streams.h"

namespace {

bool IsMediaTime(const GUID* format)
{
    return !format || IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME);
}

}  // namespace

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    *capabilities = m_dwSeekingCaps;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    return (*capabilities & ~m_dwSeekingCaps) == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return IsMediaTime(format) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::IsUsingTimeFormat(const GUID* format)
{
    return IsFormatSupported(format);
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::QueryPreferredFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::GetTimeFormat(GUID* format)
{
    return QueryPreferredFormat(format);
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return IsMediaTime(format) ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::ConvertTimeFormat(LONGLONG* target,
                                                               const GUID* targetFormat,
                                                               LONGLONG source,
                                                               const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    if (!IsMediaTime(targetFormat) || !IsMediaTime(sourceFormat))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::GetStopPosition(LONGLONG* stop)
{
    return GetDuration(stop);
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    HRESULT result = S_OK;
    if (current)
        result = GetCurrentPosition(current);
    if (stop) {
        HRESULT stopResult = GetStopPosition(stop);
        if (SUCCEEDED(result))
            result = FAILED(stopResult) ? stopResult : S_OK;
    }
    return FAILED(result) ? result : S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (earliest)
        *earliest = 0;
    if (latest)
        return GetDuration(latest);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMediaTimeSeeking::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    *preroll = 0;
    return S_OK;
}

HRESULT CMediaTimeSeeking::AbsoluteTarget(const LONGLONG* current, DWORD currentFlags,
                                          LONGLONG* target)
{
    const DWORD positioning = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (positioning == AM_SEEKING_NoPositioning)
        return S_FALSE;
    if (!current || !target)
        return E_POINTER;
    if (positioning != AM_SEEKING_AbsolutePositioning)
        return E_INVALIDARG;
    *target = *current < 0 ? 0 : *current;
    return S_OK;
}
