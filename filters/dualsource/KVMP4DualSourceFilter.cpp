#include "KVMP4DualSourceFilter.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <new>

#include "CodecNameTable.h"
#include "KVAudioOutStream.h"
#include "KVVideoOutStream.h"
#include "filtercore/FindPartnerRecording.h"
#include "filtercore/RecordingName.h"

namespace FilterCore {
namespace {

// A CoTaskMemAlloc'd copy of `text` for the caller to free; null when out of memory.
LPWSTR CopyForCaller(const std::wstring& text)
{
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
    if (copy)
        wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// The index of the core's first output port of the major type, or -1.
int FindPort(CoreDShowHelperT<KVMP4SourceCore>* helper, const GUID& majorType)
{
    for (int i = 0;; ++i) {
        CorePortProperties* port = helper->Port(i);
        if (!port)
            return -1;
        if (IsEqualGUID(*port->GetMajorType(), majorType))
            return i;
    }
}

}  // namespace

KVMP4DualSourceFilter::KVMP4DualSourceFilter(LPUNKNOWN outer, HRESULT* phr)
    : CSource(nullptr, outer, CLSID_KVMP4DualSourceFilter, phr)
{
    for (CoreDShowHelperT<KVMP4SourceCore>*& helper : m_pHelpers) {
        helper = new CoreDShowHelperT<KVMP4SourceCore>(new KVMP4SourceCore());
    }
}

CUnknown* CALLBACK KVMP4DualSourceFilter::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    KVMP4DualSourceFilter* filter = nullptr;
    try {
        filter = new KVMP4DualSourceFilter(outer, phr);
    } catch (const std::bad_alloc&) {
        filter = nullptr;
    }
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

KVMP4DualSourceFilter::~KVMP4DualSourceFilter()
{
    // A filter released while it still streams: its threads read the cores, so they end first,
    // then the pins go, and the cores last.
    Stop();
    {
        CAutoLock lock(&m_cStateLock);
        // A pin still connected lets go of the downstream pin, its memory pin and allocator.
        for (int i = 0; i < m_iPins; ++i)
            Pin(i)->Disconnect();
        DeletePins();
    }
    for (CoreDShowHelperT<KVMP4SourceCore>*& helper : m_pHelpers) {
        delete helper;
        helper = nullptr;
    }
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::NonDelegatingQueryInterface(REFIID iid,
                                                                             void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IFileSourceFilter)) {
        return GetInterface(static_cast<IFileSourceFilter*>(this), object);
    }
    if (IsEqualIID(iid, IID_IKVTrackInfo)) {
        return GetInterface(static_cast<IKVTrackInfo*>(this), object);
    }
    if (IsEqualIID(iid, IID_IKVMP4DualSourceInfo)) {
        return GetInterface(static_cast<IKVMP4DualSourceInfo*>(this), object);
    }
    if (IsEqualIID(iid, IID_IKVFilterInfo)) {
        return GetInterface(static_cast<IKVFilterInfo*>(this), object);
    }
    return CSource::NonDelegatingQueryInterface(iid, object);
}

// ---------------------------------------------------------------------------------------------
// Loading

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::Load(LPCOLESTR fileName,
                                                      const AM_MEDIA_TYPE* mediaType)
{
    CAutoLock lock(&m_cStateLock);
    if (!m_fileName.empty())
        return E_FAIL;
    if (!fileName)
        return E_POINTER;
    try {
        const std::wstring path(fileName);
        m_openCores = 0;
        if (m_singleFile) {
            if (!Core(0)->Open(path))
                return E_FAIL;
            m_openCores = 1;
        } else {
            RecordingName name;
            const bool parsed = name.Parse(path);
            // A rear file whose front partner exists: the front goes to core 0.
            std::wstring first = path;
            if (parsed && name.channel == RECORDING_REAR) {
                RecordingName front = name;
                front.channel = RECORDING_FRONT;
                std::wstring frontPath;
                front.Compose(frontPath);
                if (PathFileExistsW(frontPath.c_str()))
                    first = frontPath;
            }
            if (!Core(0)->Open(first))
                return E_FAIL;
            m_openCores = 1;
            std::wstring partner;
            int firstIsRear = 0;
            if (parsed && FindPartnerRecording(first, &partner, &firstIsRear, m_pairTolerance)) {
                if (firstIsRear) {
                    // Only a tolerant search finds the front of a rear file whose exact front
                    // does not exist; the channels still go to their own cores.
                    if (!Core(0)->Open(partner)) {
                        m_openCores = 0;
                        return E_FAIL;
                    }
                    if (!Core(1)->Open(first))
                        return E_FAIL;
                } else if (!Core(1)->Open(partner)) {
                    return E_FAIL;
                }
                m_openCores = 2;
            }
        }
        m_fileName = path;
        HRESULT hr = CreatePins();
        if (FAILED(hr)) {
            DeletePins();
            m_fileName.clear();
        }
        return hr;
    } catch (const std::bad_alloc&) {
        DeletePins();
        m_fileName.clear();
        return E_OUTOFMEMORY;
    }
}

HRESULT KVMP4DualSourceFilter::CreatePins()
{
    for (auto& entry : m_pinIndex)
        entry[0] = entry[1] = -1;
    for (int i = 0; i < m_openCores; ++i) {
        KVMP4SourceCore* core = Core(i);
        // The ports, not the tracks, decide the port indexes: a video track whose decoder
        // record gave no port still gets its pin (keeping the pin order), but that pin offers
        // no type rather than the audio port's.
        if (core->TrackCount(CORE_TRACK_VIDEO) > 0) {
            m_pinIndex[i][1] = FindPort(m_pHelpers[i], MEDIATYPE_Video);
            HRESULT hr = S_OK;
            auto* pin = new (std::nothrow) KVVideoOutStream(i, this, m_pinIndex[i][1], &hr);
            if (!pin)
                return E_OUTOFMEMORY;
            if (FAILED(hr))
                return hr;
        }
        if (core->TrackCount(CORE_TRACK_AUDIO) > 0) {
            m_pinIndex[i][0] = FindPort(m_pHelpers[i], MEDIATYPE_Audio);
            HRESULT hr = S_OK;
            auto* pin = new (std::nothrow) KVAudioOutStream(i, this, m_pinIndex[i][0], &hr);
            if (!pin)
                return E_OUTOFMEMORY;
            if (FAILED(hr))
                return hr;
        }
    }
    return S_OK;
}

void KVMP4DualSourceFilter::DeletePins()
{
    // Each pin takes itself out of the array as it goes.
    while (m_iPins > 0)
        delete m_paStreams[m_iPins - 1];
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetCurFile(LPOLESTR* fileName,
                                                            AM_MEDIA_TYPE* mediaType)
{
    if (!fileName)
        return E_POINTER;
    *fileName = nullptr;
    CAutoLock lock(&m_cStateLock);
    if (m_fileName.empty())
        return S_OK;
    *fileName = CopyForCaller(m_fileName);
    return *fileName ? S_OK : E_OUTOFMEMORY;
}

// ---------------------------------------------------------------------------------------------
// State

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::Stop()
{
    CAutoLock lock(&m_cStateLock);
    EndSeek();
    for (int i = 0; i < m_openCores; ++i)
        Core(i)->HaltReading();
    HRESULT hr = CSource::Stop();
    // A pin that started playing while the filter stopped may have let its core read again.
    for (int i = 0; i < m_openCores; ++i)
        Core(i)->HaltReading();
    return hr;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::Pause()
{
    CAutoLock lock(&m_cStateLock);
    if (m_State == State_Stopped) {
        for (int i = 0; i < m_iPins; ++i) {
            if (Pin(i)->IsConnected())
                Core(Pin(i)->CoreIndex())->ResumeReading();
        }
    }
    HRESULT hr = CSource::Pause();
    if (FAILED(hr)) {
        for (int i = 0; i < m_openCores; ++i)
            Core(i)->HaltReading();
    }
    return hr;
}

// ---------------------------------------------------------------------------------------------
// Seeking and rate

KVOutStream* KVMP4DualSourceFilter::Pin(int index)
{
    return static_cast<KVOutStream*>(m_paStreams[index]);
}

int KVMP4DualSourceFilter::ConnectedPinCount()
{
    int connected = 0;
    for (int i = 0; i < m_iPins; ++i) {
        if (Pin(i)->IsConnected())
            ++connected;
    }
    return connected;
}

std::vector<KVOutStream*> KVMP4DualSourceFilter::StreamingPins()
{
    std::vector<KVOutStream*> streaming;
    for (int i = 0; i < m_iPins; ++i) {
        if (Pin(i)->IsStreaming())
            streaming.push_back(Pin(i));
    }
    return streaming;
}

void KVMP4DualSourceFilter::EndSeek()
{
    m_seekCount = 0;
    for (int i = 0; i < m_iPins; ++i)
        Pin(i)->m_bSeekTaken = false;
}

void KVMP4DualSourceFilter::Interrupt(const std::vector<KVOutStream*>& streaming)
{
    if (streaming.empty())
        return;
    // The halt comes first: it releases a streaming thread waiting for the core's next packet,
    // and a thread that the flush frees from Deliver or from waiting for a buffer then takes no
    // packet that the flushing downstream would drop. The flush makes downstream let go of what
    // it holds and stop blocking, so that every thread reaches its next request.
    for (int i = 0; i < m_openCores; ++i)
        Core(i)->HaltReading();
    for (KVOutStream* pin : streaming)
        pin->DeliverBeginFlush();
    for (KVOutStream* pin : streaming)
        pin->Stop();
}

void KVMP4DualSourceFilter::Restart(const std::vector<KVOutStream*>& streaming)
{
    for (KVOutStream* pin : streaming)
        pin->DeliverEndFlush();
    // Each loop starts with OnThreadStartPlay: a discontinuity, the core reading again and a
    // new segment from the pin's position.
    for (KVOutStream* pin : streaming)
        pin->Pause();
}

HRESULT KVMP4DualSourceFilter::MoveTo(LONGLONG position)
{
    // The pins stop before the cores move, so the first packets of the new position (its key
    // frame) reach a downstream that no longer flushes.
    const std::vector<KVOutStream*> streaming = StreamingPins();
    Interrupt(streaming);
    bool moved[2] = {true, true};
    for (int i = 0; i < m_openCores; ++i) {
        KVMP4SourceCore* core = Core(i);
        // A halted core refuses to seek: it reads again for the seek, and a stopped filter's
        // core is halted again afterwards, its packets kept for the next run.
        const bool halted = core->IsHalted();
        if (halted)
            core->ResumeReading();
        moved[i] = core->Seek(position, nullptr, nullptr);
        if (halted && streaming.empty())
            core->HaltReading();
    }
    // The pins of a core that could not move keep their positions.
    for (int i = 0; i < m_iPins; ++i) {
        if (moved[Pin(i)->CoreIndex()])
            Pin(i)->SetSeekPosition(position);
    }
    Restart(streaming);
    return moved[0] && moved[1] ? S_OK : E_FAIL;
}

HRESULT KVMP4DualSourceFilter::SeekFrom(KVOutStream* pin, LONGLONG* current, DWORD positioning)
{
    CAutoLock lock(&m_cStateLock);
    const LONGLONG requested = *current;
    if (m_seekCount == 0 || pin->m_bSeekTaken || requested != m_seekRequest ||
        positioning != m_seekPositioning) {
        EndSeek();
        LONGLONG target = requested;
        if (positioning == AM_SEEKING_RelativePositioning) {
            if (__builtin_add_overflow(pin->CurrentPosition(), requested, &target)) {
                target = requested < 0 ? 0 : LLONG_MAX;
            }
        }
        if (target < 0)
            target = 0;
        m_seekRequest = requested;
        m_seekPositioning = positioning;
        m_seekTarget = target;
        m_seekResult = MoveTo(target);
    }
    pin->m_bSeekTaken = true;
    if (++m_seekCount >= ConnectedPinCount())
        EndSeek();
    if (FAILED(m_seekResult))
        return m_seekResult;
    *current = m_seekTarget;
    return S_OK;
}

HRESULT KVMP4DualSourceFilter::ChangeRate(KVOutStream* pin, double rate)
{
    CAutoLock lock(&m_cStateLock);
    if (pin->Rate() == rate)
        return S_OK;
    const std::vector<KVOutStream*> streaming = StreamingPins();
    Interrupt(streaming);
    // Times count from the earliest position any connected pin has reached, so that the pins
    // stay in step with one another and with what was already shown.
    LONGLONG anchor = LLONG_MAX;
    for (int i = 0; i < m_iPins; ++i) {
        if (Pin(i)->IsConnected())
            anchor = std::min(anchor, Pin(i)->CurrentPosition());
    }
    if (anchor == LLONG_MAX)
        anchor = pin->CurrentPosition();
    for (int i = 0; i < m_iPins; ++i)
        Pin(i)->SetRateFrom(rate, anchor);
    Restart(streaming);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// IKVMP4DualSourceInfo

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetChannelInfo(int* front, int* rear)
{
    if (!front || !rear)
        return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    *front = 1;
    *rear = m_openCores > 1 && Core(1)->IsOpen() ? 1 : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::SetPairTolerance(int seconds)
{
    CAutoLock lock(&m_cStateLock);
    m_pairTolerance = seconds;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::SetSingleFileMode(BOOL single)
{
    CAutoLock lock(&m_cStateLock);
    m_singleFile = single;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// IKVFilterInfo

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetName(LPWSTR* name)
{
    if (!name)
        return E_POINTER;
    std::wstring text;
    Core(0)->GetName(text);
    *name = CopyForCaller(text);
    return *name ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetVersion(LPWSTR* version)
{
    if (!version)
        return E_POINTER;
    std::wstring text;
    Core(0)->GetVersion(text);
    *version = CopyForCaller(text);
    return *version ? S_OK : E_OUTOFMEMORY;
}

// ---------------------------------------------------------------------------------------------
// IKVTrackInfo

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetAudioTrackCount(short* count)
{
    if (!count)
        return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    int tracks = 0;
    for (int i = 0; i < m_openCores; ++i)
        tracks += Core(i)->TrackCount(CORE_TRACK_AUDIO);
    *count = short(tracks);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetVideoTrackCount(short* count)
{
    if (!count)
        return E_POINTER;
    CAutoLock lock(&m_cStateLock);
    int tracks = 0;
    for (int i = 0; i < m_openCores; ++i)
        tracks += Core(i)->TrackCount(CORE_TRACK_VIDEO);
    *count = short(tracks);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetAudioInfo(LPWSTR*, int*, int*, int*, int*, int*)
{
    CAutoLock lock(&m_cStateLock);
    return m_openCores > 0 && Core(0)->TrackCount(CORE_TRACK_AUDIO) > 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE KVMP4DualSourceFilter::GetVideoInfo(LPWSTR* codec, int* duration,
                                                              float* frameRate, int* bitRate,
                                                              int* width, int* height,
                                                              int* reserved)
{
    CAutoLock lock(&m_cStateLock);
    if (m_openCores < 1 || Core(0)->TrackCount(CORE_TRACK_VIDEO) < 1)
        return S_FALSE;
    if (!codec || !duration || !frameRate || !bitRate || !width || !height || !reserved) {
        return E_POINTER;
    }
    const CoreVideoTrack& track = Core(0)->GetVideoTrack();
    *codec = nullptr;
    const WCHAR* name = CodecNameOf(track.codec);
    if (!name)
        return E_FAIL;
    *codec = CopyForCaller(name);
    if (!*codec)
        return E_OUTOFMEMORY;
    *duration = track.duration > INT_MAX ? INT_MAX : track.duration < 0 ? 0 : int(track.duration);
    *frameRate = float(track.frameRate);
    *bitRate = int(track.bitRate);
    *width = track.width;
    *height = track.height;
    *reserved = 0;
    return S_OK;
}

}  // namespace FilterCore
