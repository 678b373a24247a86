// The dual MP4 source filter: given one recording, it opens that file and, unless told to read
// one file only, the other channel's recording of the same moment, each in a reading core of
// its own (index 0 the front, 1 the rear), and offers one output pin per track, in the order
// front video, front audio, rear video, rear audio, leaving out the missing ones.
//
// Threads: the caller's thread (Load, the info getters), the graph's thread (state changes,
// seeks and rate changes through the pins), the pins' streaming threads and the cores' reading
// threads.
//
// Locks, in the order they are taken: the filter's state lock (CSource's m_cStateLock: Load,
// the pins and their media types, state changes, the seek counter and every seek or rate
// change, which stop and restart the streaming threads while holding it); then a pin's own
// locks (see KVOutStream); then a core's. Code on a streaming thread never takes the state
// lock.
#pragma once

#include <string>
#include <vector>

#include "CoreDShowHelper.h"
#include "KVMP4DualSourceInfo.h"
#include "filtercore/KVMP4SourceCore.h"
#include "platform/dshow/streams.h"

namespace FilterCore {

class KVOutStream;

class KVMP4DualSourceFilter : public CSource,
                              public IFileSourceFilter,
                              public IAMFilterMiscFlags,
                              public IKVMP4DualSourceInfo,
                              public IKVFilterInfo,
                              public IKVTrackInfo {
public:
    // The class factory's creation function: a new filter without a reference, or null with
    // *phr set to E_OUTOFMEMORY.
    static CUnknown* CALLBACK CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    // Stops streaming when the filter is released while running, deletes the pins (joining
    // their threads) and only then the cores the pins read from.
    ~KVMP4DualSourceFilter() override;

    DECLARE_IUNKNOWN
    // IFileSourceFilter, IKVTrackInfo, IKVMP4DualSourceInfo and IKVFilterInfo; everything
    // else is CSource's. IAMFilterMiscFlags is implemented but not handed out.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

    // Resets the seek counter, halts the open cores (which releases a streaming thread that
    // waits for data), then stops the pins, which joins their streaming threads.
    HRESULT STDMETHODCALLTYPE Stop() override;
    // From stopped, the cores that feed a connected pin start reading together, before the
    // pins' streaming threads come up one after the other; then CSource's pause.
    HRESULT STDMETHODCALLTYPE Pause() override;

    // IFileSourceFilter. Load succeeds once per filter: E_FAIL once a file was loaded, when
    // the file does not open, or when its partner exists but does not open; E_POINTER for a
    // null path. The media type is ignored. GetCurFile gives a copy of the path Load was given
    // (null before), leaving the media type untouched.
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, const AM_MEDIA_TYPE* mediaType) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* mediaType) override;

    // IAMFilterMiscFlags: AM_FILTER_MISC_FLAGS_IS_SOURCE.
    ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

    // IKVMP4DualSourceInfo
    HRESULT STDMETHODCALLTYPE GetChannelInfo(int* front, int* rear) override;
    HRESULT STDMETHODCALLTYPE SetPairTolerance(int seconds) override;
    HRESULT STDMETHODCALLTYPE SetSingleFileMode(BOOL single) override;

    // IKVFilterInfo
    HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetVersion(LPWSTR* version) override;

    // IKVTrackInfo
    HRESULT STDMETHODCALLTYPE GetAudioTrackCount(short* count) override;
    HRESULT STDMETHODCALLTYPE GetVideoTrackCount(short* count) override;
    HRESULT STDMETHODCALLTYPE GetAudioInfo(LPWSTR* codec, int* duration, int* sampleRate,
                                           int* channels, int* bitsPerSample,
                                           int* reserved) override;
    HRESULT STDMETHODCALLTYPE GetVideoInfo(LPWSTR* codec, int* duration, float* frameRate,
                                           int* bitRate, int* width, int* height,
                                           int* reserved) override;

    // For the pins.
    CoreDShowHelperT<KVMP4SourceCore>* Helper(int core) const { return m_pHelpers[core]; }

    // One pin's part of a seek (positioning AM_SEEKING_AbsolutePositioning or
    // AM_SEEKING_RelativePositioning, *current the position or the offset). The graph sends a
    // seek to every connected pin once; the first pin's call carries it out for all pins and
    // both cores, and the calls of the other pins with the same request only take part. A
    // call starts a new seek when no seek is under way, when its pin took part in the current
    // one already, or when it asks for something else; so a pin that misses a seek delays
    // nothing beyond it. On success *current receives the absolute position.
    HRESULT SeekFrom(KVOutStream* pin, LONGLONG* current, DWORD positioning);
    // A pin's rate change (already checked). The first pin that asks for a new rate gives it to
    // every pin, re-anchoring their times at the earliest current position of the connected
    // pins so that no time jumps; the same rate again changes nothing.
    HRESULT ChangeRate(KVOutStream* pin, double rate);

private:
    KVMP4DualSourceFilter(LPUNKNOWN outer, HRESULT* phr);

    // Both under the state lock.
    HRESULT CreatePins();
    void DeletePins();

    KVOutStream* Pin(int index);
    int ConnectedPinCount();
    void EndSeek();
    // Halts the open cores (which releases a streaming thread waiting for data), flushes
    // downstream of each pin and stops the pins' streaming loops; then Restart ends the flushes
    // and starts the loops again. Nothing happens for an empty list (the filter is stopped).
    void Interrupt(const std::vector<KVOutStream*>& streaming);
    void Restart(const std::vector<KVOutStream*>& streaming);
    std::vector<KVOutStream*> StreamingPins();
    HRESULT MoveTo(LONGLONG position);

    KVMP4SourceCore* Core(int index) const { return m_pHelpers[index]->Core(); }

    // All guarded by the state lock.
    // For each core: {port index of its audio pin, port index of its video pin}, -1 where the
    // pin does not exist.
    int m_pinIndex[2][2] = {{-1, -1}, {-1, -1}};
    LONG m_openCores = 0;     // cores holding an open file: 0, 1 or 2
    std::wstring m_fileName;  // the path the successful Load was given
    CoreDShowHelperT<KVMP4SourceCore>* m_pHelpers[2] = {nullptr, nullptr};  // owned
    LONG m_seekCount = 0;     // pins that have taken part in the current seek
    int m_pairTolerance = 0;  // seconds
    BOOL m_singleFile = FALSE;
    // The current seek: what was asked for, where it went and how it ended.
    LONGLONG m_seekRequest = 0;
    DWORD m_seekPositioning = 0;
    LONGLONG m_seekTarget = 0;
    HRESULT m_seekResult = S_OK;
};

}  // namespace FilterCore
