// An output pin of the dual source filter: one track of one opened recording. Its streaming
// thread takes one sample at a time from its reading core, stamps it with times counted from
// the last seek position and divided by the playback rate, and delivers it downstream. The pin
// also answers IMediaSeeking in media time (100 ns); seeks and rate changes are carried out by
// the filter for all its pins at once (KVMP4DualSourceFilter::SeekFrom, ChangeRate).
//
// Threads: the graph's thread (connection, state changes, seeking, the getters) and the pin's
// streaming thread (FillBuffer, OnThreadStartPlay, everything downstream).
//
// Lock order: the filter's state lock, then the pin's state lock (m_csState), then its sample
// lock (m_csSample), then the core's own locks. The streaming thread never takes the filter's
// state lock, and nobody holds m_csState while waiting for the core or calling downstream, so a
// stop or a seek that waits for the streaming thread cannot wait on a lock that thread holds.
#pragma once

#include "filtercore/CoreSample.h"
#include "filtercore/KVMP4SourceCore.h"
#include "platform/dshow/streams.h"

namespace FilterCore {

class KVMP4DualSourceFilter;

class KVOutStream : public CSourceStream, public CMediaTimeSeeking {
public:
    // AM_SEEKING_CanSeekAbsolute, CanSeekForwards, CanSeekBackwards, CanGetStopPos and
    // CanGetDuration.
    static constexpr DWORD kSeekingCapabilities = 55;

    // `portIndex` is the pin's port among its core's output ports, or -1 when the core gave
    // the track no port (the pin then offers no media type).
    KVOutStream(int coreIndex, KVMP4DualSourceFilter* filter, LPCWSTR name, int portIndex,
                HRESULT* phr);
    ~KVOutStream() override;

    DECLARE_IUNKNOWN
    // IMediaSeeking, then the base pin's interfaces.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IMediaSeeking (the capabilities and formats are CMediaTimeSeeking's). Every time is media
    // time in 100 ns.
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    // The track's end: no call moves it.
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    // E_NOTIMPL: the graph tells the position from its stream time.
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    // Moves the start: absolute or relative (to the pin's current position) current flags;
    // stop flags are checked but the stop position stays the track's end, so a call with only
    // stop flags changes nothing. On success *current receives the absolute position sought.
    // E_FAIL when a core could not seek there.
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    // The start of the last sample delivered (or the last position sought) and the stop
    // position, each when asked for.
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    // E_INVALIDARG below 0.1 (and for values that are not numbers or not finite).
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

    int CoreIndex() const { return m_coreIndex; }
    int PortIndex() const { return m_portIndex; }

    // For the filter, under its state lock, while the streaming thread is stopped or absent.
    // Both restart the times: samples count from `position` at the pin's (new) rate.
    void SetSeekPosition(LONGLONG position);
    void SetRateFrom(double rate, LONGLONG position);
    LONGLONG CurrentPosition();
    double Rate();
    // Connected and running a streaming thread; under the filter's state lock.
    bool IsStreaming() { return IsConnected() && ThreadExists(); }

    // Whether the pin has taken part in the filter's current seek; guarded by the filter's
    // state lock.
    bool m_bSeekTaken = false;

protected:
    // Sets the discontinuity flag for the first sample, lets the core read again (its reading
    // thread starts when none runs) and announces a new segment from the current position.
    HRESULT OnThreadStartPlay() override;
    // The port's major type, first subtype and format type, completed by the core adapter.
    // E_FAIL without a port; VFW_S_NO_MORE_ITEMS when the port has no subtype.
    HRESULT GetMediaType(CMediaType* mediaType) override;
    // Completes the connection, then lets the core read the pin's track.
    HRESULT CompleteConnect(IPin* receivePin) override;
    // The pin's track is no longer read once the pin lets go of its connection.
    HRESULT BreakConnect() override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // The FFmpeg stream number of the pin's track, or -1 when the core has no such track.
    virtual int TrackStream() = 0;
    // One sample from the core into `sample`; false at the end marker or when the core is
    // halted. Runs under the sample lock.
    virtual bool ReadCore(CoreSample* sample) = 0;

    // The common part of FillBuffer: lends the media sample's buffer to the core and takes one
    // sample. S_OK with *sample filled; S_FALSE at the end of the stream (no buffer, the seek
    // start at or past the stop position, or the core's end marker), and also when the core was
    // halted, once the stop that follows a halt is pending: the base class's loop then ends
    // without an end of stream.
    HRESULT TakeSample(IMediaSample* mediaSample, CoreSample* sample);

    KVMP4SourceCore* Core();

    // value / rate in double precision, truncated toward zero and kept within the 64-bit range.
    static LONGLONG ScaleTime(LONGLONG value, double rate);
    // A sample's start in stream time: (start - seekStart) / rate; and its stop, start plus a
    // duration already divided by the rate. Both saturate instead of wrapping, as a damaged
    // file can put any time on a packet.
    static LONGLONG SampleStart(LONGLONG start, LONGLONG seekStart, double rate);
    static LONGLONG SampleStop(LONGLONG start, LONGLONG duration);

    const int m_coreIndex;  // 0 front, 1 rear
    const int m_portIndex;
    KVMP4DualSourceFilter* const m_pOwner;

    // Guarded by m_csState.
    LONGLONG m_rtDuration = 0;  // the track's duration
    LONGLONG m_rtCurrent = 0;   // start of the last sample delivered, or the last seek position
    LONGLONG m_rtStop = 0;      // the track's duration
    double m_dRate = 1.0;
    BOOL m_bDiscontinuity = FALSE;  // the next sample starts a new run of samples
    LONGLONG m_rtSeekStart = 0;     // sample times count from here

    CCritSec m_csState;   // the fields above
    CCritSec m_csSample;  // the call into the core
};

}  // namespace FilterCore
