#include "filtercore/PacketQueue.h"

#include <climits>
#include <vector>

namespace FilterCore {

namespace {

// What one queued packet costs besides its payload: the packet structure and its buffer's
// bookkeeping.
constexpr size_t kPacketOverhead = sizeof(AVPacket) + 64;

}  // namespace

PacketQueue::PacketQueue(HANDLE roomEvent, const PacketQueueLimits& limits)
    : m_limits(limits), m_hRoomEvent(roomEvent)
{
    m_hDataEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InitializeCriticalSection(&m_lock);
}

PacketQueue::~PacketQueue()
{
    for (Entry& entry : m_entries) av_packet_free(&entry.packet);
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
    SetEvent(m_hDataEvent);
    LeaveCriticalSection(&m_lock);
}

bool PacketQueue::Consume(const std::function<bool(AVPacket* packet)>& consume)
{
    EnterCriticalSection(&m_lock);
    while (!m_released && m_entries.empty()) {
        ResetEvent(m_hDataEvent);
        ++m_waiting;
        LeaveCriticalSection(&m_lock);
        // The producer may be holding back because another queue is full; a starving consumer
        // lets it read on.
        if (m_hRoomEvent) SetEvent(m_hRoomEvent);
        WaitForSingleObject(m_hDataEvent, INFINITE);
        EnterCriticalSection(&m_lock);
        --m_waiting;
    }
    if (m_released) {
        LeaveCriticalSection(&m_lock);
        return false;
    }
    Entry entry = m_entries.front();
    m_entries.pop_front();
    m_bytes -= entry.bytes;
    bool result = consume(entry.packet);
    LeaveCriticalSection(&m_lock);
    av_packet_free(&entry.packet);
    if (m_hRoomEvent) SetEvent(m_hRoomEvent);
    return result;
}

void PacketQueue::Flush()
{
    std::deque<Entry> dropped;
    EnterCriticalSection(&m_lock);
    dropped.swap(m_entries);
    m_bytes = 0;
    LeaveCriticalSection(&m_lock);
    for (Entry& entry : dropped) av_packet_free(&entry.packet);
    if (m_hRoomEvent) SetEvent(m_hRoomEvent);
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
