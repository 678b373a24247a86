// The filter graph manager (CLSID_FilterGraph): membership and direct connections of filters,
// state changes, the reference clock, seeking and rate, volume, and the event queue.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dshow.h"
#include "platform/user.h"

namespace platform::dshow {

// How far ahead of the clock a run that the graph starts itself begins: each filter's Run gets
// the clock's time at the call plus this, less the stream time already played. 100 ns.
inline constexpr REFERENCE_TIME kRunLatency = 100000;

// Longest time the pause waiter lets one filter's GetState block before it looks again whether
// the pause it waits for is still wanted, in milliseconds.
inline constexpr DWORD kCuePollMilliseconds = 50;

// The graph.
//
// Threads and locks. The application's calls (every interface except IMediaEventSink) are
// serialised by m_lock, which is recursive because filters call back into the graph from inside
// a call the graph makes (a pin reconnecting while it connects). m_lock is held while the
// filters' Stop joins their streaming threads, so nothing that runs on a streaming thread takes
// it: IMediaEventSink::Notify, which filters call from any thread, takes only m_eventLock.
// The pause waiter thread ("kv-graph-cue") reports completed pauses; it takes m_pauseLock and,
// inside it, m_eventLock, never m_lock. Lock order: m_lock, m_pauseLock, m_eventLock.
//
// Filters are ordered downstream first (renderers, then the filters that feed them, up to the
// sources) for every state change, so that a renderer is ready before data reaches it and stops
// taking data before its feeders stop.
//
// Renderers are the filters that say so through IAMFilterMiscFlags, and filters with input pins
// but no output pins. Seeks, rates and durations go to the renderers' IMediaSeeking, which passes
// them upstream pin by pin to the sources; a graph of N renderer chains therefore reaches each
// connected source pin once per call. The graph keeps the current position itself, from stream
// time: the media position at the last seek plus the stream time played since, times the rate.
class CFilterGraph final : public IGraphBuilder,
                           public IMediaControl,
                           public IMediaSeeking,
                           public IMediaPosition,
                           public IMediaEventEx,
                           public IMediaEventSink,
                           public IBasicAudio,
                           public IMediaFilter {
public:
    // The class creator for the system class table: a new stopped, empty graph.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    CFilterGraph() = default;
    CFilterGraph(const CFilterGraph&) = delete;
    CFilterGraph& operator=(const CFilterGraph&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IFilterGraph. AddFilter keeps one reference on the filter until RemoveFilter or the
    // graph's end; a null name becomes "Filter", and a name in use gets " 0001" (and so on)
    // appended, with VFW_S_DUPLICATE_NAME. RemoveFilter: E_POINTER for null,
    // VFW_E_NOT_IN_GRAPH for a filter of no graph or another one, VFW_E_NOT_STOPPED unless
    // stopped; it disconnects both ends of the filter's connections. ConnectDirect and Connect
    // connect the two pins directly (the output pin's Connect), nothing between them:
    // VFW_E_NOT_IN_GRAPH when a pin's filter is not a member, VFW_E_INVALID_DIRECTION when
    // the pins are given the wrong way round. Disconnect breaks one end (S_FALSE when not
    // connected). Reconnect breaks both ends of a pin's connection and connects them again,
    // synchronously.
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override;
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** enumFilters) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* output, IPin* input,
                                            const AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin* pin) override;
    HRESULT STDMETHODCALLTYPE Disconnect(IPin* pin) override;
    // Lets the graph choose its clock again at the next start (VFW_E_NOT_STOPPED unless
    // stopped).
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override;

    // IGraphBuilder. Only direct connections exist: Render, RenderFile and AddSourceFilter
    // answer E_NOTIMPL, and so does SetLogFile. No operation of the graph runs long enough to be
    // aborted: Abort and ShouldOperationContinue answer S_OK.
    HRESULT STDMETHODCALLTYPE Connect(IPin* output, IPin* input) override;
    HRESULT STDMETHODCALLTYPE Render(IPin* output) override;
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR playList) override;
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR fileName, LPCWSTR filterName,
                                              IBaseFilter** filter) override;
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR file) override;
    HRESULT STDMETHODCALLTYPE Abort() override;
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override;

    // IDispatch, for IMediaControl, IMediaPosition, IMediaEventEx and IBasicAudio: no type
    // information (count 0, DISP_E_BADINDEX), no names (DISP_E_UNKNOWNNAME), no members to
    // invoke (DISP_E_MEMBERNOTFOUND).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // IMediaControl (Stop and Pause are IMediaFilter's too). Pause and Run from stopped choose
    // and hand out the clock first; Run from stopped pauses first. Pause answers S_FALSE while a
    // filter is still cueing, and EC_PAUSED follows once every filter has completed the pause
    // (at once when none cues). Stop pauses a running graph first, then stops every filter;
    // each filter's Stop ends its streaming threads before it returns, so no streaming thread
    // runs when Stop returns. Playback resumes where it stopped. The failure of one filter is
    // returned after the others have changed state too. RenderFile, AddSourceFilter, the two
    // collections and StopWhenReady answer E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    // VFW_S_STATE_INTERMEDIATE when a filter has not completed the change within the time
    // (milliseconds; negative: no limit). The graph lock is not held while waiting.
    HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState* state) override;
    HRESULT STDMETHODCALLTYPE RenderFile(BSTR fileName) override;
    HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR fileName, IDispatch** unknown) override;
    HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch** unknown) override;
    HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch** unknown) override;
    HRESULT STDMETHODCALLTYPE StopWhenReady() override;

    // IMediaSeeking, in media time only. A call goes to every renderer; the first error any of
    // them returns is the result, and E_NOTIMPL only when every one returned it. A seek or a
    // rate change while running pauses the graph, changes it and runs it again; stream time
    // starts again at 0. Relative positions are taken from the graph's own current position.
    // A rate change while paused or running also seeks every renderer to the current position,
    // so that all streams count their times from the same place. The duration and stop
    // position are the longest any renderer reports; the capabilities are those every
    // renderer has, plus AM_SEEKING_CanGetCurrentPos. GetCurrentPosition never goes below 0 or
    // past the stop position.
    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                LONGLONG source, const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    // E_INVALIDARG for a rate that is not above 0.
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    // IMediaPosition: IMediaSeeking in seconds. Preroll cannot be set (E_NOTIMPL).
    HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* length) override;
    HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* time) override;
    HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME time) override;
    HRESULT STDMETHODCALLTYPE put_Rate(double rate) override;
    HRESULT STDMETHODCALLTYPE get_Rate(double* rate) override;
    HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* canSeek) override;
    HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* canSeek) override;

    // IMediaEvent, IMediaEventEx. Events wait in a queue, oldest first. EC_COMPLETE from the
    // renderers is counted, not queued: once every renderer has finished (an unconnected one
    // counts as finished from the start) the graph queues one EC_COMPLETE of its own, with the
    // first failure a renderer reported (else S_OK) and 0. The count starts again when the
    // graph leaves Stopped and at every seek; an EC_COMPLETE that a renderer sends while the
    // graph is stopped, or that belongs to the data before a seek, is dropped. With a notify
    // window set, every queued event posts the window's message (wParam 0, lParam the instance
    // data); setting the window while events wait posts one message for them. The event handle,
    // WaitForCompletion, the default-handling switches and the notify flags are not offered
    // (E_NOTIMPL).
    HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT* event) override;
    HRESULT STDMETHODCALLTYPE GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2,
                                       LONG msTimeout) override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* eventCode) override;
    HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG eventCode) override;
    HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG eventCode) override;
    HRESULT STDMETHODCALLTYPE FreeEventParams(LONG eventCode, LONG_PTR param1,
                                              LONG_PTR param2) override;
    HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND window, LONG message,
                                              LONG_PTR instanceData) override;
    HRESULT STDMETHODCALLTYPE SetNotifyFlags(LONG noNotifyFlags) override;
    HRESULT STDMETHODCALLTYPE GetNotifyFlags(LONG* noNotifyFlags) override;

    // IMediaEventSink: where filters post their events, from any thread.
    HRESULT STDMETHODCALLTYPE Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) override;

    // IBasicAudio: the calls go to every filter that has IBasicAudio (E_NOTIMPL when none
    // has); the getters answer the first such filter's value.
    HRESULT STDMETHODCALLTYPE put_Volume(LONG volume) override;
    HRESULT STDMETHODCALLTYPE get_Volume(LONG* volume) override;
    HRESULT STDMETHODCALLTYPE put_Balance(LONG balance) override;
    HRESULT STDMETHODCALLTYPE get_Balance(LONG* balance) override;

    // IPersist, IMediaFilter. Run(start) runs with that reference time as stream time 0
    // (0: as soon as possible, as Run()). SetSyncSource fixes the clock the graph hands its
    // filters (null: none, the filters run as fast as they can) until SetDefaultSyncSource;
    // VFW_E_NOT_STOPPED unless stopped. Without a fixed clock the graph takes, at each start
    // from stopped, the clock of the first connected filter that offers IReferenceClock
    // (renderers first), else the system clock.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classID) override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD milliSecsTimeout, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;

    // The graph's version of its membership: enumerators made before a change fail with
    // VFW_E_ENUM_OUT_OF_SYNC.
    LONG MembershipVersion() const { return m_version.load(std::memory_order_acquire); }
    // The members in order of addition, one reference each.
    std::vector<ComPtr<IBaseFilter>> MemberSnapshot();

private:
    struct Member {
        ComPtr<IBaseFilter> filter;
        IUnknown* identity;  // the filter's IUnknown, not counted: the filter lives while a member
        std::wstring name;
    };

    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    struct RendererEntry {
        IBaseFilter* filter;  // not counted: compared with EC_COMPLETE's second parameter only
        bool finished;        // sent EC_COMPLETE since the count began, or has no connection
        bool seekPending;     // a seek is under way and has not reached this renderer yet
    };

    struct Completion {
        std::vector<RendererEntry> renderers;
        bool counting = false;  // the graph is paused or running
        bool sent = false;      // the graph's own EC_COMPLETE is queued already
        HRESULT status = S_OK;  // the first failure a renderer reported
    };

    ~CFilterGraph();

    IFilterGraph* AsFilterGraph() { return static_cast<IGraphBuilder*>(this); }

    // Graph helpers; m_lock held by the caller.
    Member* FindMember(IUnknown* identity);
    bool IsMemberFilter(IBaseFilter* filter);
    bool IsMemberPin(IPin* pin);
    IBaseFilter* FilterOfPin(IPin* pin);  // a member, not counted, or null
    std::vector<IBaseFilter*> DownstreamFirst();
    std::vector<IBaseFilter*> Renderers();
    void DisconnectAll(IBaseFilter* filter);

    // State changes; m_lock held by the caller.
    void PrepareStart();
    HRESULT PauseFilters(std::vector<ComPtr<IBaseFilter>>* cueing);
    HRESULT RunFilters(REFERENCE_TIME start);
    // RunFilters from `start` (reference time; 0: the clock's now plus kRunLatency, less the
    // stream time already played, or 0 without a clock), which becomes m_runStart.
    HRESULT RunFiltersAt(REFERENCE_TIME start);
    HRESULT PauseGraph(bool announce);
    HRESULT RunGraph(REFERENCE_TIME start);
    void ChooseClock();
    bool ClockTime(REFERENCE_TIME* now);
    REFERENCE_TIME StreamTime();
    LONGLONG CurrentPosition();
    HRESULT StopPosition(LONGLONG* stop);
    HRESULT SeekRenderers(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags);
    HRESULT WaitForState(DWORD milliseconds, FILTER_STATE* state);

    // Completion counting; take m_eventLock themselves.
    void StartCounting(bool seeking);
    Completion SaveCompletion();
    void RestoreCompletion(Completion saved);
    void ReachRenderer(IBaseFilter* renderer);
    void StopCounting();
    void CompleteIfFinished();
    void ForgetRenderer(IBaseFilter* renderer);

    // The event queue; QueueLocked needs m_eventLock held.
    void QueueEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
    void QueueLocked(LONG code, LONG_PTR param1, LONG_PTR param2);

    // The pause waiter.
    void AnnouncePause(HRESULT result, std::vector<ComPtr<IBaseFilter>> cueing);
    void CancelPendingPause();
    void CueLoop();

    platform::RefCount m_references;

    std::recursive_mutex m_lock;
    std::vector<Member> m_members;          // guarded by m_lock, in order of addition
    std::atomic<LONG> m_version{1};         // written under m_lock
    FILTER_STATE m_state = State_Stopped;   // guarded by m_lock
    ComPtr<IReferenceClock> m_clock;        // the clock handed to the filters; guarded by m_lock
    bool m_clockFixed = false;              // SetSyncSource chose m_clock; guarded by m_lock
    ComPtr<IReferenceClock> m_systemClock;  // made at its first use; guarded by m_lock
    REFERENCE_TIME m_runStart = 0;          // reference time of stream time 0; guarded by m_lock
    REFERENCE_TIME m_pausedStreamTime = 0;  // stream time when paused, 100 ns; guarded by m_lock
    LONGLONG m_positionBase = 0;            // media time at stream time 0; guarded by m_lock
    double m_rate = 1.0;                    // guarded by m_lock
    bool m_seekAtStart = false;  // sources go to m_positionBase at the next start; m_lock

    std::mutex m_eventLock;
    std::condition_variable m_eventQueued;
    std::deque<Event> m_events;     // guarded by m_eventLock
    HWND m_notifyWindow = nullptr;  // guarded by m_eventLock
    UINT m_notifyMessage = 0;       // guarded by m_eventLock
    LONG_PTR m_notifyData = 0;      // guarded by m_eventLock
    Completion m_completion;        // guarded by m_eventLock

    std::mutex m_pauseLock;
    std::condition_variable m_pauseChanged;
    std::vector<ComPtr<IBaseFilter>> m_cueing;  // filters still completing the pause; m_pauseLock
    unsigned m_pauseGeneration = 0;  // a new pause or a stop supersedes the one waited for
    bool m_pauseWaiterExit = false;  // guarded by m_pauseLock
    std::thread m_pauseWaiter;       // started under m_pauseLock, joined by the destructor
};

}  // namespace platform::dshow
