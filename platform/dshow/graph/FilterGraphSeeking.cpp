// The filter graph manager: positions, seeking and rate (IMediaSeeking, IMediaPosition), and the
// volume of the sound renderers (IBasicAudio).
#include <algorithm>
#include <cmath>
#include <functional>

#include "FilterGraph.h"

namespace platform::dshow {
namespace {

constexpr double kUnitsPerSecond = 10000000.0;

// Seconds to media time, rounded to the nearest 100 ns.
LONGLONG ToMediaTime(REFTIME seconds)
{
    return LONGLONG(std::llround(seconds * kUnitsPerSecond));
}

REFTIME ToSeconds(LONGLONG units)
{
    return double(units) / kUnitsPerSecond;
}

// Combines the answers of the filters a call was distributed to: the first error, except that
// E_NOTIMPL counts only when every filter gave it (or there was none to ask).
class Distributed {
public:
    void Add(HRESULT hr)
    {
        if (hr == E_NOTIMPL)
            return;
        m_answered = true;
        if (FAILED(hr) && SUCCEEDED(m_result))
            m_result = hr;
    }
    bool Answered() const { return m_answered; }
    HRESULT Result() const { return m_answered ? m_result : E_NOTIMPL; }

private:
    bool m_answered = false;
    HRESULT m_result = S_OK;
};

bool IsMediaTime(const GUID* format)
{
    return !format || *format == TIME_FORMAT_MEDIA_TIME;
}

// Asks every renderer's IMediaSeeking one question; `ask` answers an HRESULT and, on success,
// leaves its value where the caller combines it.
HRESULT AskRenderers(const std::vector<IBaseFilter*>& renderers,
                     const std::function<HRESULT(IMediaSeeking*)>& ask)
{
    Distributed answers;
    for (IBaseFilter* renderer : renderers) {
        ComPtr<IMediaSeeking> seeking;
        if (FAILED(renderer->QueryInterface(IID_PPV_ARGS(&seeking))) || !seeking)
            continue;
        answers.Add(ask(seeking.Get()));
    }
    return answers.Result();
}

// The longest of the times (`get`, media time) that the renderers answer, at least 0; *longest
// is set only on success.
HRESULT LongestAnswer(const std::vector<IBaseFilter*>& renderers,
                      HRESULT (IMediaSeeking::*get)(LONGLONG*), LONGLONG* longest)
{
    LONGLONG result = 0;
    HRESULT hr = AskRenderers(renderers, [&](IMediaSeeking* seeking) {
        LONGLONG value = 0;
        HRESULT answer = (seeking->*get)(&value);
        if (SUCCEEDED(answer))
            result = std::max(result, value);
        return answer;
    });
    if (SUCCEEDED(hr))
        *longest = result;
    return hr;
}

// One of the graph's IMediaSeeking times (`get`, media time) in seconds; *seconds is set only
// on success.
HRESULT SecondsOf(CFilterGraph* graph, HRESULT (CFilterGraph::*get)(LONGLONG*), REFTIME* seconds)
{
    if (!seconds)
        return E_POINTER;
    LONGLONG units = 0;
    HRESULT hr = (graph->*get)(&units);
    if (SUCCEEDED(hr))
        *seconds = ToSeconds(units);
    return hr;
}

// OATRUE when every renderer can seek with `capability`, else OAFALSE; a graph that cannot say
// answers OAFALSE.
HRESULT CanSeekWith(CFilterGraph* graph, DWORD capability, LONG* canSeek)
{
    if (!canSeek)
        return E_POINTER;
    DWORD capabilities = 0;
    HRESULT hr = graph->GetCapabilities(&capabilities);
    *canSeek = SUCCEEDED(hr) && (capabilities & capability) ? OATRUE : OAFALSE;
    return S_OK;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Positions

HRESULT CFilterGraph::StopPosition(LONGLONG* stop)
{
    return LongestAnswer(Renderers(), &IMediaSeeking::GetStopPosition, stop);
}

LONGLONG CFilterGraph::CurrentPosition()
{
    const double played = double(StreamTime()) * m_rate;
    LONGLONG position = m_positionBase + LONGLONG(played);
    LONGLONG stop = 0;
    if (SUCCEEDED(StopPosition(&stop)))
        position = std::min(position, stop);
    return std::max<LONGLONG>(position, 0);
}

HRESULT CFilterGraph::SeekRenderers(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                    DWORD stopFlags)
{
    // Each renderer gets its own copies: a filter may write positions back.
    const DWORD modifiers = ~DWORD(AM_SEEKING_PositioningBitsMask | AM_SEEKING_ReturnTime);
    Distributed answers;
    for (IBaseFilter* renderer : Renderers()) {
        ReachRenderer(renderer);
        ComPtr<IMediaSeeking> seeking;
        if (FAILED(renderer->QueryInterface(IID_PPV_ARGS(&seeking))) || !seeking)
            continue;
        LONGLONG currentCopy = current ? *current : 0;
        LONGLONG stopCopy = stop ? *stop : 0;
        answers.Add(seeking->SetPositions(
            current ? &currentCopy : nullptr,
            (currentFlags & modifiers) | (current ? AM_SEEKING_AbsolutePositioning : 0),
            stop ? &stopCopy : nullptr,
            (stopFlags & modifiers) | (stop ? AM_SEEKING_AbsolutePositioning : 0)));
    }
    return answers.Result();
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                     LONGLONG* stop, DWORD stopFlags)
{
    const DWORD currentPositioning = currentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopPositioning = stopFlags & AM_SEEKING_PositioningBitsMask;
    if ((currentPositioning && !current) || (stopPositioning && !stop))
        return E_POINTER;
    if (currentPositioning == AM_SEEKING_IncrementalPositioning)
        return E_INVALIDARG;
    if (!currentPositioning && !stopPositioning)
        return S_OK;

    std::lock_guard<std::recursive_mutex> guard(m_lock);
    const LONGLONG now = CurrentPosition();
    LONGLONG newCurrent = now;
    if (currentPositioning == AM_SEEKING_AbsolutePositioning)
        newCurrent = *current;
    if (currentPositioning == AM_SEEKING_RelativePositioning)
        newCurrent = now + *current;
    LONGLONG newStop = 0;
    if (stopPositioning == AM_SEEKING_AbsolutePositioning)
        newStop = *stop;
    if (stopPositioning == AM_SEEKING_IncrementalPositioning)
        newStop = newCurrent + *stop;
    if (stopPositioning == AM_SEEKING_RelativePositioning) {
        LONGLONG oldStop = 0;
        HRESULT hr = StopPosition(&oldStop);
        if (FAILED(hr))
            return hr;
        newStop = oldStop + *stop;
    }

    const bool wasRunning = m_state == State_Running;
    if (wasRunning) {
        m_pausedStreamTime = StreamTime();
        PauseFilters(nullptr);
    }
    const bool counting = m_state != State_Stopped && currentPositioning;
    Completion saved;
    if (counting) {
        saved = SaveCompletion();
        StartCounting(true);
    }
    HRESULT result = SeekRenderers(currentPositioning ? &newCurrent : nullptr, currentFlags,
                                   stopPositioning ? &newStop : nullptr, stopFlags);
    if (SUCCEEDED(result) && currentPositioning) {
        // After a seek, stream time starts again at 0 from the new position.
        m_positionBase = newCurrent;
        m_pausedStreamTime = 0;
        m_seekAtStart = false;
    } else if (counting) {
        RestoreCompletion(std::move(saved));
    }
    if (wasRunning)
        RunFiltersAt(0);
    if (SUCCEEDED(result)) {
        if (currentPositioning && (currentFlags & AM_SEEKING_ReturnTime))
            *current = newCurrent;
        if (stopPositioning && (stopFlags & AM_SEEKING_ReturnTime))
            *stop = newStop;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetCurrentPosition(LONGLONG* current)
{
    if (!current)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    *current = CurrentPosition();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetStopPosition(LONGLONG* stop)
{
    if (!stop)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return StopPosition(stop);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (stop) {
        HRESULT hr = StopPosition(stop);
        if (FAILED(hr))
            return hr;
    }
    if (current)
        *current = CurrentPosition();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return LongestAnswer(Renderers(), &IMediaSeeking::GetDuration, duration);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    LONGLONG first = 0;
    LONGLONG last = 0;
    bool any = false;
    HRESULT hr = AskRenderers(Renderers(), [&](IMediaSeeking* seeking) {
        LONGLONG a = 0;
        LONGLONG b = 0;
        HRESULT answer = seeking->GetAvailable(&a, &b);
        if (SUCCEEDED(answer)) {
            first = any ? std::min(first, a) : a;
            last = any ? std::max(last, b) : b;
            any = true;
        }
        return answer;
    });
    if (FAILED(hr))
        return hr;
    if (earliest)
        *earliest = first;
    if (latest)
        *latest = last;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return LongestAnswer(Renderers(), &IMediaSeeking::GetPreroll, preroll);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    DWORD common = ~DWORD(0);
    HRESULT hr = AskRenderers(Renderers(), [&](IMediaSeeking* seeking) {
        DWORD value = 0;
        HRESULT answer = seeking->GetCapabilities(&value);
        if (SUCCEEDED(answer))
            common &= value;
        return answer;
    });
    if (FAILED(hr))
        return hr;
    // The graph answers the current position itself, from stream time.
    *capabilities = common | AM_SEEKING_CanGetCurrentPos;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    DWORD supported = 0;
    HRESULT hr = GetCapabilities(&supported);
    if (FAILED(hr))
        return hr;
    const DWORD asked = *capabilities;
    *capabilities = asked & supported;
    if (*capabilities == asked)
        return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::IsFormatSupported(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::QueryPreferredFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetTimeFormat(GUID* format)
{
    return QueryPreferredFormat(format);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::IsUsingTimeFormat(const GUID* format)
{
    return IsFormatSupported(format);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::SetTimeFormat(const GUID* format)
{
    if (!format)
        return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::ConvertTimeFormat(LONGLONG* target,
                                                          const GUID* targetFormat, LONGLONG source,
                                                          const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    if (!IsMediaTime(targetFormat) || !IsMediaTime(sourceFormat))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Rate

HRESULT STDMETHODCALLTYPE CFilterGraph::SetRate(double rate)
{
    if (!(rate > 0.0))
        return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    const bool active = m_state != State_Stopped;
    const bool wasRunning = m_state == State_Running;
    const LONGLONG position = CurrentPosition();
    if (wasRunning) {
        m_pausedStreamTime = StreamTime();
        PauseFilters(nullptr);
    }
    HRESULT result =
        AskRenderers(Renderers(), [&](IMediaSeeking* seeking) { return seeking->SetRate(rate); });
    if (SUCCEEDED(result)) {
        m_rate = rate;
        if (active) {
            // Every stream starts counting its times again from the position shown now, at the
            // new rate, and so does the graph.
            StartCounting(true);
            LONGLONG anchor = position;
            SeekRenderers(&anchor, AM_SEEKING_AbsolutePositioning, nullptr,
                          AM_SEEKING_NoPositioning);
            m_positionBase = position;
            m_pausedStreamTime = 0;
        }
    }
    if (wasRunning)
        RunFiltersAt(0);
    return result;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    *rate = m_rate;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// IMediaPosition

HRESULT STDMETHODCALLTYPE CFilterGraph::get_Duration(REFTIME* length)
{
    return SecondsOf(this, &CFilterGraph::GetDuration, length);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::put_CurrentPosition(REFTIME time)
{
    LONGLONG position = ToMediaTime(time);
    return SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                        AM_SEEKING_NoPositioning);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_CurrentPosition(REFTIME* time)
{
    return SecondsOf(this, &CFilterGraph::GetCurrentPosition, time);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_StopTime(REFTIME* time)
{
    return SecondsOf(this, &CFilterGraph::GetStopPosition, time);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::put_StopTime(REFTIME time)
{
    LONGLONG stop = ToMediaTime(time);
    return SetPositions(nullptr, AM_SEEKING_NoPositioning, &stop, AM_SEEKING_AbsolutePositioning);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_PrerollTime(REFTIME* time)
{
    return SecondsOf(this, &CFilterGraph::GetPreroll, time);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::put_PrerollTime(REFTIME)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CFilterGraph::put_Rate(double rate)
{
    return SetRate(rate);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_Rate(double* rate)
{
    return GetRate(rate);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::CanSeekForward(LONG* canSeek)
{
    return CanSeekWith(this, AM_SEEKING_CanSeekForwards, canSeek);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::CanSeekBackward(LONG* canSeek)
{
    return CanSeekWith(this, AM_SEEKING_CanSeekBackwards, canSeek);
}

// ---------------------------------------------------------------------------------------------
// IBasicAudio

namespace {

HRESULT ForEachAudio(const std::vector<IBaseFilter*>& filters,
                     const std::function<HRESULT(IBasicAudio*)>& call, bool firstOnly)
{
    Distributed answers;
    for (IBaseFilter* filter : filters) {
        ComPtr<IBasicAudio> audio;
        if (FAILED(filter->QueryInterface(IID_PPV_ARGS(&audio))) || !audio)
            continue;
        HRESULT hr = call(audio.Get());
        if (firstOnly)
            return hr;
        answers.Add(hr);
    }
    return answers.Result();
}

}  // namespace

HRESULT STDMETHODCALLTYPE CFilterGraph::put_Volume(LONG volume)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return ForEachAudio(
        DownstreamFirst(), [&](IBasicAudio* audio) { return audio->put_Volume(volume); }, false);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_Volume(LONG* volume)
{
    if (!volume)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return ForEachAudio(
        DownstreamFirst(), [&](IBasicAudio* audio) { return audio->get_Volume(volume); }, true);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::put_Balance(LONG balance)
{
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return ForEachAudio(
        DownstreamFirst(), [&](IBasicAudio* audio) { return audio->put_Balance(balance); }, false);
}

HRESULT STDMETHODCALLTYPE CFilterGraph::get_Balance(LONG* balance)
{
    if (!balance)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return ForEachAudio(
        DownstreamFirst(), [&](IBasicAudio* audio) { return audio->get_Balance(balance); }, true);
}

}  // namespace platform::dshow
