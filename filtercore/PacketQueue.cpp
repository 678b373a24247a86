#include "filtercore/PacketQueue.h"

#include <climits>
#include <thread>

namespace FilterCore {

namespace {

// What one queued packet costs besides its payload: the packet structure and its buffer's
// bookkeeping.
constexpr size_t kPacketOverhead = sizeof(AVPacket) + 64;
// Pause instructions a consumer spins for an entry before it sleeps: some tens of
// microseconds.
constexpr int kSpins = 512;

}  // namespace

PacketQueue::PacketQueue(HANDLE roomEvent, const std::atomic<bool>* producerWaiting,
                         const PacketQueueLimits& limits)
    : m_limits(limits), m_hRoomEvent(roomEvent), m_producerWaiting(producerWaiting)
{
    m_hDataEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InitializeCriticalSection(&m_lock);
    InitializeCriticalSection(&m_consumerLock);
}

PacketQueue::~PacketQueue()
{
    for (Entry& entry : m_entries) av_packet_free(&entry.packet);
    DeleteCriticalSection(&m_consumerLock);
    DeleteCriticalSection(&m_lock);
    if (m_hDataEvent) CloseHandle(m_hDataEvent);
}

void PacketQueue::Push(AVPacket* packet, LONGLONG time)
{
    EnterCriticalSection(&m_lock);
    if (!packet && !m_entries.empty() && !m_entries.back().packet) {
        LeaveCriticalSection(&m_lock);
        return;
    }
    size_t bytes = packet ? kPacketOverhead + static_cast<size_t>(packet->size) : 0;
    m_entries.push_back(Entry{packet, time, bytes});
    m_bytes += bytes;
    m_count.store(m_entries.size(), std::memory_order_release);
    // A consumer that finds the queue empty counts itself waiting under the lock, so without
    // one nobody needs waking.
    if (m_waiting > 0) SetEvent(m_hDataEvent);
    LeaveCriticalSection(&m_lock);
}

void PacketQueue::SpinForEntry()
{
    // A consumer that drains the queue usually finds the next packet moments later; a short spin
    // spares it a sleep and a wake-up per packet. Beyond this it blocks on the data event.
    for (int i = 0; i < kSpins; ++i) {
        if (m_count.load(std::memory_order_acquire) > 0) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#else
        std::this_thread::yield();
#endif
    }
}

bool PacketQueue::Consume(const std::function<bool(AVPacket* packet)>& consume)
{
    EnterCriticalSection(&m_consumerLock);
    EnterCriticalSection(&m_lock);
    if (!m_released && m_entries.empty()) {
        LeaveCriticalSection(&m_lock);
        SpinForEntry();
        EnterCriticalSection(&m_lock);
    }
    while (!m_released && m_entries.empty()) {
        ResetEvent(m_hDataEvent);
        ++m_waiting;
        LeaveCriticalSection(&m_lock);
        // The producer may be holding back because another queue is full; a starving consumer
        // lets it read on.
        SignalRoom();
        WaitForSingleObject(m_hDataEvent, INFINITE);
        EnterCriticalSection(&m_lock);
        --m_waiting;
    }
    if (m_released) {
        LeaveCriticalSection(&m_lock);
        LeaveCriticalSection(&m_consumerLock);
        return false;
    }
    Entry entry = m_entries.front();
    m_entries.pop_front();
    m_bytes -= entry.bytes;
    m_count.store(m_entries.size(), std::memory_order_release);
    LeaveCriticalSection(&m_lock);
    SignalRoom();
    // The producer goes on pushing while the entry is handed over (a decode takes a while).
    bool result = consume(entry.packet);
    LeaveCriticalSection(&m_consumerLock);
    av_packet_free(&entry.packet);
    return result;
}

void PacketQueue::Flush()
{
    std::deque<Entry> dropped;
    EnterCriticalSection(&m_lock);
    dropped.swap(m_entries);
    m_bytes = 0;
    m_count.store(0, std::memory_order_release);
    LeaveCriticalSection(&m_lock);
    for (Entry& entry : dropped) av_packet_free(&entry.packet);
    SignalRoom();
}

void PacketQueue::SignalRoom()
{
    // The state change that may free the producer was made under m_lock before this; a producer
    // that set its flag later checks the queue under m_lock after setting it and sees the change.
    if (m_hRoomEvent && (!m_producerWaiting || m_producerWaiting->load())) SetEvent(m_hRoomEvent);
}

void PacketQueue::SetReleased(bool released)
{
    EnterCriticalSection(&m_lock);
    m_released = released;
    if (released) SetEvent(m_hDataEvent);
    LeaveCriticalSection(&m_lock);
}

bool PacketQueue::IsFullLocked() const
{
    if (m_entries.empty()) return false;
    if (m_bytes >= m_limits.aheadBytes) return true;
    // Decode times rise through a queue; the span is measured between the first and the last
    // entry whose time is known.
    LONGLONG first = LLONG_MIN;
    for (const Entry& entry : m_entries) {
        if (entry.packet && entry.time != LLONG_MIN) {
            first = entry.time;
            break;
        }
    }
    LONGLONG last = LLONG_MIN;
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        if (it->packet && it->time != LLONG_MIN) {
            last = it->time;
            break;
        }
    }
    if (first == LLONG_MIN || last == LLONG_MIN) return false;
    // The difference is formed unsigned: corrupt times may lie further apart than int64 spans.
    return last >= first && static_cast<ULONGLONG>(last) - static_cast<ULONGLONG>(first) >=
                                static_cast<ULONGLONG>(m_limits.aheadTime);
}

PacketQueue::Fill PacketQueue::GetFill()
{
    Fill fill;
    EnterCriticalSection(&m_lock);
    fill.full = IsFullLocked();
    fill.overCap = m_bytes >= m_limits.overfillBytes;
    fill.starving = m_entries.empty() && m_waiting > 0 && !m_released;
    LeaveCriticalSection(&m_lock);
    return fill;
}

bool PacketQueue::ReaderMayRead(const Fill& a, const Fill& b)
{
    if (!a.full && !b.full) return true;
    if (a.overCap || b.overCap) return false;
    return a.starving || b.starving;
}

size_t PacketQueue::Count()
{
    EnterCriticalSection(&m_lock);
    size_t count = m_entries.size();
    LeaveCriticalSection(&m_lock);
    return count;
}

size_t PacketQueue::Bytes()
{
    EnterCriticalSection(&m_lock);
    size_t bytes = m_bytes;
    LeaveCriticalSection(&m_lock);
    return bytes;
}

}  // namespace FilterCore
