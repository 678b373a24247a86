// The sound renderer (CLSID_DSoundRender): plays 16-bit PCM through the audio output (SDL2, or
// the null device) and is the graph's reference clock.
//
// Sound. Each received sample is copied into a queue of blocks with its stream times (up to
// about a second of stream time is queued; then the streaming thread waits). The device's
// thread fills each of its buffers from the queue by time: the output frame at stream time t
// plays the input at t within the block that covers it, so gaps become silence and late sound
// is passed over, and at rates other than 1 the sound is resampled (linear interpolation: it
// plays faster or slower, with its pitch). Above kMuteAbove times normal speed it is muted,
// the clock and the queue running on as before. Volume (hundredths of a decibel, -10000 to 0)
// and balance (-10000 left only to 10000 right only) become gains on the channels.
//
// Clock (IReferenceClock). Reference time is the monotonic clock plus an offset that follows
// the sound actually played: while the graph runs, every buffer the device takes moves the
// stream position by the buffer's length, and the offset is drawn towards the position that
// gives, so the pictures, timed on this clock, follow the sound. Paused, stopped or without a
// device the clock runs on with the offset it has; it never goes back. One-shot advise
// requests are served by a thread of the clock ("kv-audio-clock"); periodic ones answer
// E_NOTIMPL, as the system clock's do.
//
// Locks: m_audioLock guards the queue, the gains and the clock's offset; it is taken by the
// device thread, the streaming thread and the application's calls, and never held while
// calling out of the renderer.
#pragma once

#include <condition_variable>
#include <deque>
#include <thread>
#include <vector>

#include "AudioOutput.h"
#include "Renderer.h"

namespace sysfilters {

class CAudioRenderer final : public CRendererBase, public IBasicAudio, public IReferenceClock {
public:
    // Rates above this play silence.
    static constexpr double kMuteAbove = 2.0;

    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    CAudioRenderer(LPUNKNOWN outer, HRESULT* phr);
    ~CAudioRenderer() override;

    DECLARE_IUNKNOWN
    // IBasicAudio, IReferenceClock, then the renderer's.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // IDispatch: no type information, no names, nothing to invoke.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // IBasicAudio: E_INVALIDARG outside -10000..0 and -10000..10000.
    HRESULT STDMETHODCALLTYPE put_Volume(LONG volume) override;
    HRESULT STDMETHODCALLTYPE get_Volume(LONG* volume) override;
    HRESULT STDMETHODCALLTYPE put_Balance(LONG balance) override;
    HRESULT STDMETHODCALLTYPE get_Balance(LONG* balance) override;

    // IReferenceClock
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override;
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                         HEVENT event, DWORD_PTR* adviseCookie) override;
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                             HSEMAPHORE semaphore,
                                             DWORD_PTR* adviseCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR adviseCookie) override;

    HRESULT CheckMediaType(const CMediaType* mediaType) override;
    HRESULT SetMediaType(const CMediaType* mediaType) override;
    void BreakConnect() override;
    HRESULT Render(IMediaSample* sample) override;
    // IKvRendererStats: also forgets the peaks.
    HRESULT STDMETHODCALLTYPE Reset() override;

    // The gain of a volume or balance attenuation in hundredths of a decibel: 0 for -10000,
    // 1 for 0.
    static double GainOf(LONG hundredthsOfDecibel);

protected:
    void OnBeginFlush() override;
    void OnStop() override;
    void OnPause() override;
    void OnRun() override;
    bool IsRenderedOut() override;
    void FillCounts(KvRendererCounts* counts) override;

private:
    struct Block {
        REFERENCE_TIME start;  // stream time, 100 ns
        REFERENCE_TIME stop;
        double rate;           // the segment's rate: the block's frames cover (stop-start)*rate
        std::vector<int16_t> frames;  // interleaved
        bool played;                  // the device has taken its first frame
    };
    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        HEVENT event;
    };

    void Pull(int16_t* out, int count);
    REFERENCE_TIME ClockLocked(REFERENCE_TIME systemNow);
    REFERENCE_TIME QueuedLocked() const;
    void UpdateGains();
    void AdviseLoop();

    CAudioOutput m_output;  // opened at the pause from stopped, closed at the stop

    std::mutex m_audioLock;
    std::condition_variable m_audioChanged;
    int m_sampleRate = 0;               // of the connection; m_audioLock
    int m_channels = 0;                 // m_audioLock
    std::deque<Block> m_blocks;         // m_audioLock
    bool m_running = false;             // the device plays; m_audioLock
    bool m_anchored = false;            // m_position is set for this run; m_audioLock
    REFERENCE_TIME m_runStartRef = 0;   // reference time of stream time 0; m_audioLock
    REFERENCE_TIME m_position = 0;      // stream time of the next frame the device takes
    double m_rate = 1.0;                // m_audioLock
    LONG m_volume = 0;                  // m_audioLock
    LONG m_balance = 0;                 // m_audioLock
    double m_gainLeft = 1.0;            // m_audioLock
    double m_gainRight = 1.0;           // m_audioLock
    LONGLONG m_framesPlayed = 0;        // m_audioLock
    LONGLONG m_framesSinceAnchor = 0;   // m_audioLock
    REFERENCE_TIME m_offset = 0;        // reference time minus the monotonic clock; m_audioLock
    REFERENCE_TIME m_lastTime = 0;      // the clock never goes back; m_audioLock
    bool m_receivedAny = false;         // since the last flush or stop; m_audioLock
    LONG m_peakLeft = 0;                // m_audioLock
    LONG m_peakRight = 0;               // m_audioLock

    std::vector<Advise> m_advises;      // m_audioLock
    DWORD_PTR m_nextCookie = 1;         // m_audioLock
    bool m_adviseExit = false;          // m_audioLock
    std::thread m_adviseThread;         // started at the first advise, joined at the end
};

}  // namespace sysfilters
