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
