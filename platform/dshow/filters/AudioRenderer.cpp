#include "AudioRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "MediaTypes.h"

namespace sysfilters {

namespace {

constexpr LONGLONG kUnits = 10000000;
// Stream time of sound the renderer queues before the streaming thread waits: 100 ns.
constexpr REFERENCE_TIME kQueueLimit = 10000000;
// How much of the gap between the clock and the sound played one device buffer closes.
constexpr double kClockPull = 1.0 / 16.0;

REFERENCE_TIME MonotonicNow()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

int16_t Scale(double value)
{
    return int16_t(std::lrint(std::clamp(value, -32768.0, 32767.0)));
}

}  // namespace

CUnknown* CALLBACK CAudioRenderer::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    auto* filter = new (std::nothrow) CAudioRenderer(outer, phr);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

CAudioRenderer::CAudioRenderer(LPUNKNOWN outer, HRESULT* phr)
    : CRendererBase(NAME("Sound renderer"), outer, CLSID_DSoundRender, phr)
{
}

CAudioRenderer::~CAudioRenderer()
{
    m_output.Close();
    {
        std::lock_guard<std::mutex> guard(m_audioLock);
        m_adviseExit = true;
        m_audioChanged.notify_all();
    }
    if (m_adviseThread.joinable())
        m_adviseThread.join();
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IBasicAudio))
        return GetInterface(static_cast<IBasicAudio*>(this), object);
    if (IsEqualIID(iid, IID_IDispatch))
        return GetInterface(static_cast<IDispatch*>(static_cast<IBasicAudio*>(this)), object);
    if (IsEqualIID(iid, IID_IReferenceClock))
        return GetInterface(static_cast<IReferenceClock*>(this), object);
    return CRendererBase::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*,
                                                 VARIANT*, EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// Volume and balance

double CAudioRenderer::GainOf(LONG hundredthsOfDecibel)
{
    if (hundredthsOfDecibel <= -10000)
        return 0.0;
    if (hundredthsOfDecibel >= 0)
        return 1.0;
    return std::pow(10.0, double(hundredthsOfDecibel) / 2000.0);
}

void CAudioRenderer::UpdateGains()
{
    const double volume = GainOf(m_volume);
    m_gainLeft = volume * (m_balance > 0 ? GainOf(-m_balance) : 1.0);
    m_gainRight = volume * (m_balance < 0 ? GainOf(m_balance) : 1.0);
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::put_Volume(LONG volume)
{
    if (volume < -10000 || volume > 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_audioLock);
    m_volume = volume;
    UpdateGains();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::get_Volume(LONG* volume)
{
    if (!volume)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_audioLock);
    *volume = m_volume;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::put_Balance(LONG balance)
{
    if (balance < -10000 || balance > 10000)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_audioLock);
    m_balance = balance;
    UpdateGains();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::get_Balance(LONG* balance)
{
    if (!balance)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_audioLock);
    *balance = m_balance;
    return S_OK;
}

// ---------------------------------------------------------------------------------------------
// The clock

REFERENCE_TIME CAudioRenderer::ClockLocked(REFERENCE_TIME systemNow)
{
    const REFERENCE_TIME time = std::max(systemNow + m_offset, m_lastTime);
    m_lastTime = time;
    return time;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::GetTime(REFERENCE_TIME* time)
{
    if (!time)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_audioLock);
    *time = ClockLocked(MonotonicNow());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::AdviseTime(REFERENCE_TIME baseTime,
                                                     REFERENCE_TIME streamTime, HEVENT event,
                                                     DWORD_PTR* adviseCookie)
{
    if (!adviseCookie)
        return E_POINTER;
    *adviseCookie = 0;
    if (!event || baseTime + streamTime <= 0 || baseTime + streamTime >= MAX_TIME)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_audioLock);
    const DWORD_PTR cookie = m_nextCookie++;
    m_advises.push_back({cookie, baseTime + streamTime, event});
    if (!m_adviseThread.joinable())
        m_adviseThread = std::thread([this] { AdviseLoop(); });
    m_audioChanged.notify_all();
    *adviseCookie = cookie;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME,
                                                         HSEMAPHORE, DWORD_PTR* adviseCookie)
{
    if (adviseCookie)
        *adviseCookie = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::Unadvise(DWORD_PTR adviseCookie)
{
    std::lock_guard<std::mutex> guard(m_audioLock);
    auto it = std::find_if(m_advises.begin(), m_advises.end(),
                           [&](const Advise& a) { return a.cookie == adviseCookie; });
    if (it == m_advises.end())
        return S_FALSE;
    m_advises.erase(it);
    return S_OK;
}

void CAudioRenderer::AdviseLoop()
{
    pthread_setname_np(pthread_self(), "kv-audio-clock");
    std::unique_lock<std::mutex> lock(m_audioLock);
    while (!m_adviseExit) {
        const REFERENCE_TIME now = ClockLocked(MonotonicNow());
        REFERENCE_TIME next = MAX_TIME;
        std::vector<HEVENT> due;
        for (auto it = m_advises.begin(); it != m_advises.end();) {
            if (it->due <= now) {
                due.push_back(it->event);
                it = m_advises.erase(it);
            } else {
                next = std::min(next, it->due);
                ++it;
            }
        }
        if (!due.empty()) {
            lock.unlock();
            for (HEVENT event : due)
                SetEvent(reinterpret_cast<HANDLE>(event));
            lock.lock();
            continue;
        }
        // The clock may move faster or slower than the monotonic one: look again soon.
        const REFERENCE_TIME wait = next == MAX_TIME ? 1000000 : std::min<REFERENCE_TIME>(next - now, 100000);
        m_audioChanged.wait_for(lock, std::chrono::microseconds(wait / 10));
    }
}

// ---------------------------------------------------------------------------------------------
// Connection and state

HRESULT CAudioRenderer::CheckMediaType(const CMediaType* mediaType)
{
    if (!IsEqualGUID(*mediaType->Type(), MEDIATYPE_Audio) ||
        !IsEqualGUID(*mediaType->Subtype(), MEDIASUBTYPE_PCM))
        return S_FALSE;
    const WAVEFORMATEX* wfx = WaveFormat(*mediaType);
    if (!wfx || wfx->wFormatTag != WAVE_FORMAT_PCM || wfx->wBitsPerSample != 16 ||
        wfx->nChannels == 0 || wfx->nChannels > 8 || wfx->nSamplesPerSec < 1000 ||
        wfx->nSamplesPerSec > 384000 || wfx->nBlockAlign != wfx->nChannels * 2)
        return S_FALSE;
    return S_OK;
}

HRESULT CAudioRenderer::SetMediaType(const CMediaType* mediaType)
{
    const WAVEFORMATEX* wfx = WaveFormat(*mediaType);
    if (!wfx)
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard<std::mutex> guard(m_audioLock);
    m_sampleRate = int(wfx->nSamplesPerSec);
    m_channels = wfx->nChannels;
    return S_OK;
}

void CAudioRenderer::BreakConnect()
{
    m_output.Close();
}

void CAudioRenderer::OnPause()
{
    int rate = 0;
    int channels = 0;
    {
        std::lock_guard<std::mutex> guard(m_audioLock);
        m_running = false;
        rate = m_sampleRate;
        channels = m_channels;
    }
    if (!m_output.IsOpen() && rate > 0 && m_pin.IsConnected())
        m_output.Open(rate, channels, [this](int16_t* out, int count) { Pull(out, count); });
}

void CAudioRenderer::OnRun()
{
    REFERENCE_TIME start = 0;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        start = m_runStart;
    }
    std::lock_guard<std::mutex> guard(m_audioLock);
    m_runStartRef = start;
    m_running = true;
    m_anchored = false;
}

void CAudioRenderer::OnStop()
{
    {
        std::lock_guard<std::mutex> guard(m_audioLock);
        m_running = false;
        m_blocks.clear();
        m_receivedAny = false;
        m_audioChanged.notify_all();
    }
    m_output.Close();
}

void CAudioRenderer::OnBeginFlush()
{
    std::lock_guard<std::mutex> guard(m_audioLock);
    m_blocks.clear();
    m_receivedAny = false;
    m_audioChanged.notify_all();
}

bool CAudioRenderer::IsRenderedOut()
{
    std::lock_guard<std::mutex> guard(m_audioLock);
    return m_blocks.empty();
}

void CAudioRenderer::FillCounts(KvRendererCounts* counts)
{
    std::lock_guard<std::mutex> guard(m_audioLock);
    counts->framesPlayed = m_framesPlayed;
    counts->gainLeft = m_gainLeft;
    counts->gainRight = m_gainRight;
    counts->deviceIsReal = m_output.IsReal() ? 1 : 0;
    counts->peakLeft = m_peakLeft;
    counts->peakRight = m_peakRight;
}

HRESULT STDMETHODCALLTYPE CAudioRenderer::Reset()
{
    {
        std::lock_guard<std::mutex> guard(m_audioLock);
        m_peakLeft = m_peakRight = 0;
    }
    return CRendererBase::Reset();
}

REFERENCE_TIME CAudioRenderer::QueuedLocked() const
{
    if (m_blocks.empty())
        return 0;
    return m_blocks.back().stop - m_blocks.front().start;
}

// ---------------------------------------------------------------------------------------------
// Streaming

HRESULT CAudioRenderer::Render(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)))
        return S_OK;
    double rate = 1.0;
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        rate = m_segmentRate;
    }
    bool first = false;
    {
        std::unique_lock<std::mutex> lock(m_audioLock);
        if (m_channels <= 0 || m_sampleRate <= 0)
            return S_OK;
        const LONG frameBytes = m_channels * 2;
        const LONG frames = sample->GetActualDataLength() / frameBytes;
        if (frames <= 0)
            return S_OK;
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        const HRESULT timed = sample->GetTime(&start, &stop);
        const REFERENCE_TIME length = REFERENCE_TIME(double(frames) * kUnits / (m_sampleRate * rate));
        if (FAILED(timed))
            start = m_blocks.empty() ? 0 : m_blocks.back().stop;
        if (timed != S_OK || stop <= start)
            stop = start + std::max<REFERENCE_TIME>(length, 1);
        if (stop <= 0)
            return S_OK;  // before the segment's start
        Block block{start, stop, rate, {}, false};
        block.frames.resize(size_t(frames) * size_t(m_channels));
        std::memcpy(block.frames.data(), data, size_t(frames) * size_t(frameBytes));
        m_audioChanged.wait(lock, [this] {
            return QueuedLocked() < kQueueLimit || Flushing() || WaitState() == State_Stopped;
        });
        if (Flushing() || WaitState() == State_Stopped)
            return S_FALSE;
        m_blocks.push_back(std::move(block));
        first = !m_receivedAny;
        m_receivedAny = true;
    }
    if (first)
        SetCued();
    return S_OK;
}

void CAudioRenderer::Pull(int16_t* out, int count)
{
    const int channels = std::max(1, m_channels);
    std::fill(out, out + size_t(count) * size_t(channels), int16_t(0));
    bool ended = false;
    bool consumed = false;  // room for the streaming thread's next samples
    std::vector<KvPresentation> started;
    {
        std::lock_guard<std::mutex> guard(m_audioLock);
        const REFERENCE_TIME system = MonotonicNow();
        if (!m_running || m_sampleRate <= 0)
            return;
        if (!m_anchored) {
            m_position = ClockLocked(system) - m_runStartRef;
            m_anchored = true;
            m_framesSinceAnchor = 0;
        }
        const REFERENCE_TIME anchor = m_position - REFERENCE_TIME(double(m_framesSinceAnchor) * kUnits / m_sampleRate);
        // The clock follows the position of the sound the device takes now.
        const REFERENCE_TIME target = m_runStartRef + m_position - system;
        m_offset += REFERENCE_TIME(double(target - m_offset) * kClockPull);
        for (int k = 0; k < count; ++k) {
            const REFERENCE_TIME t =
                anchor + REFERENCE_TIME(double(m_framesSinceAnchor + k) * kUnits / m_sampleRate);
            while (!m_blocks.empty() && m_blocks.front().stop <= t) {
                m_blocks.pop_front();
                consumed = true;
            }
            if (m_blocks.empty())
                break;
            Block& block = m_blocks.front();
            if (t < block.start)
                continue;  // a gap: silence
            const size_t n = block.frames.size() / size_t(channels);
            const double position =
                double(t - block.start) / double(block.stop - block.start) * double(n);
            size_t i0 = size_t(position);
            if (i0 >= n)
                continue;
            if (block.rate > kMuteAbove)
                continue;  // muted, the time running on
            if (!block.played) {
                block.played = true;
                started.push_back({block.start, t});
            }
            const size_t i1 = std::min(i0 + 1, n - 1);
            const double fraction = position - double(i0);
            for (int c = 0; c < channels; ++c) {
                const double a = block.frames[i0 * size_t(channels) + size_t(c)];
                const double b = block.frames[i1 * size_t(channels) + size_t(c)];
                const double gain = channels == 1 ? GainOf(m_volume)
                                    : c == 0      ? m_gainLeft
                                    : c == 1      ? m_gainRight
                                                  : GainOf(m_volume);
                const int16_t value = Scale((a + (b - a) * fraction) * gain);
                out[size_t(k) * size_t(channels) + size_t(c)] = value;
                const LONG magnitude = std::abs(LONG(value));
                if (c == 0 || channels == 1)
                    m_peakLeft = std::max(m_peakLeft, magnitude);
                if (c == 1 || channels == 1)
                    m_peakRight = std::max(m_peakRight, magnitude);
            }
        }
        m_framesSinceAnchor += count;
        m_position = anchor + REFERENCE_TIME(double(m_framesSinceAnchor) * kUnits / m_sampleRate);
        m_framesPlayed += count;
        ended = m_blocks.empty();
        if (consumed)
            m_audioChanged.notify_all();
    }
    for (const KvPresentation& p : started)
        CountPresented(p.sampleStart, p.clockTime);
    if (ended)
        CheckComplete();
}

}  // namespace sysfilters
