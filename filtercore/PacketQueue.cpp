#include "filtercore/PacketQueue.h"

#include <chrono>
#include <climits>

namespace FilterCore {

namespace {

// What one queued packet costs besides its payload: the packet structure and its buffer's
// bookkeeping.
constexpr size_t kPacketOverhead = sizeof(AVPacket) + 64;

LONGLONG SteadyNow()
{
    using namespace std::chrono;
    return duration_cast<duration<LONGLONG, std::ratio<1, 10000000>>>(
               steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

PacketQueue::PacketQueue(HANDLE roomEvent, const std::atomic<bool>* producerWaiting,
                         const PacketQueueLimits& limits)
    : m_limits(limits), m_hRoomEvent(roomEvent), m_producerWaiting(producerWaiting)
{
}

PacketQueue::~PacketQueue()
{
    for (Entry& entry : m_entries)
        av_packet_free(&entry.packet);
    for (AVPacket*& packet : m_spent)
        av_packet_free(&packet);
    av_packet_free(&m_consumed);
}

bool PacketQueue::Push(AVPacket* packet, LONGLONG time)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!packet && !m_entries.empty() && !m_entries.back().packet)
        return IsFullLocked();
    size_t bytes = packet ? kPacketOverhead + static_cast<size_t>(packet->size) : 0;
    m_entries.push_back(Entry{packet, time, bytes});
    m_bytes += bytes;
    const bool full = IsFullLocked();
    // A consumer that finds the queue empty counts itself waiting under the lock, so without
    // one nobody needs waking.
    bool wake = false;
    if (m_waiting > 0) {
        if (m_entries.size() == 1)
            m_batchStart = SteadyNow();
        wake = !packet || full || m_entries.size() >= m_limits.wakeBatch || BatchOverdueLocked();
    }
    lock.unlock();
    if (wake)
        m_dataReady.notify_all();
    return full;
}

void PacketQueue::Deliver()
{
    std::unique_lock<std::mutex> lock(m_lock);
    const bool wake = m_waiting > 0 && !m_entries.empty();
    lock.unlock();
    if (wake)
        m_dataReady.notify_all();
}

void PacketQueue::DeliverOverdue()
{
    std::unique_lock<std::mutex> lock(m_lock);
    const bool wake = m_waiting > 0 && !m_entries.empty() && BatchOverdueLocked();
    lock.unlock();
    if (wake)
        m_dataReady.notify_all();
}

bool PacketQueue::BatchOverdueLocked() const
{
    return m_limits.wakeDelay <= 0 || SteadyNow() - m_batchStart >= m_limits.wakeDelay;
}

void PacketQueue::TakeSpares(std::vector<AVPacket*>* spares)
{
    std::lock_guard<std::mutex> lock(m_lock);
    spares->insert(spares->end(), m_spent.begin(), m_spent.end());
    m_spent.clear();
}

bool PacketQueue::Consume(const std::function<bool(AVPacket* packet)>& consume)
{
    std::lock_guard<std::mutex> serve(m_consumerLock);
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_released && m_entries.empty()) {
        ++m_waiting;
        lock.unlock();
        // The producer may be holding back because another queue is full; a starving consumer
        // lets it read on.
        SignalRoom();
        lock.lock();
        m_dataReady.wait(lock, [this] { return m_released || !m_entries.empty(); });
        --m_waiting;
    }
    if (m_released)
        return false;
    if (m_consumed) {
        m_spent.push_back(m_consumed);
        m_consumed = nullptr;
    }
    const bool wasAbove = AboveResumeLocked();
    const bool wasOverCap = m_bytes >= m_limits.overfillBytes;
    Entry entry = m_entries.front();
    m_entries.pop_front();
    m_bytes -= entry.bytes;
    // Only a take that changes what the producer may do wakes it.
    const bool freed =
        (wasAbove && !AboveResumeLocked()) || (wasOverCap && m_bytes < m_limits.overfillBytes);
    lock.unlock();
    if (freed)
        SignalRoom();
    // The producer goes on pushing while the entry is handed over (a decode takes a while).
    const bool result = consume(entry.packet);
    m_consumed = entry.packet;
    return result;
}

void PacketQueue::Flush()
{
    std::deque<Entry> dropped;
    std::vector<AVPacket*> spent;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        dropped.swap(m_entries);
        spent.swap(m_spent);
        m_bytes = 0;
    }
    for (Entry& entry : dropped)
        av_packet_free(&entry.packet);
    for (AVPacket*& packet : spent)
        av_packet_free(&packet);
    SignalRoom();
}

void PacketQueue::SignalRoom()
{
    // The state change that may free the producer was made under m_lock before this; a producer
    // that set its flag later checks the queue under m_lock after setting it and sees the change.
    if (m_hRoomEvent && (!m_producerWaiting || m_producerWaiting->load()))
        SetEvent(m_hRoomEvent);
}

void PacketQueue::SetReleased(bool released)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_released = released;
    }
    if (released)
        m_dataReady.notify_all();
}

bool PacketQueue::IsFullLocked() const
{
    return ExceedsLocked(m_limits.aheadTime, m_limits.aheadBytes);
}

bool PacketQueue::AboveResumeLocked() const
{
    // Three quarters of the limits: a producer that waited for a full queue reads on only once
    // its consumer has made room for a run of packets, not for every packet taken.
    return ExceedsLocked(m_limits.aheadTime / 4 * 3, m_limits.aheadBytes / 4 * 3);
}

bool PacketQueue::ExceedsLocked(LONGLONG aheadTime, size_t aheadBytes) const
{
    if (m_entries.empty())
        return false;
    if (m_bytes >= aheadBytes)
        return true;
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
    if (first == LLONG_MIN || last == LLONG_MIN)
        return false;
    // The difference is formed unsigned: corrupt times may lie further apart than int64 spans.
    return last >= first && static_cast<ULONGLONG>(last) - static_cast<ULONGLONG>(first) >=
                                static_cast<ULONGLONG>(aheadTime);
}

PacketQueue::Fill PacketQueue::GetFill()
{
    Fill fill;
    std::lock_guard<std::mutex> lock(m_lock);
    fill.full = IsFullLocked();
    fill.overCap = m_bytes >= m_limits.overfillBytes;
    // A waiting consumer starves until it is woken, even once packets of its batch are queued:
    // the producer reads on for it in runs, not a packet per wake-up.
    fill.starving = m_waiting > 0 && !m_released;
    return fill;
}

bool PacketQueue::ReaderMayRead(const Fill& a, const Fill& b)
{
    if (!a.full && !b.full)
        return true;
    if (a.overCap || b.overCap)
        return false;
    return a.starving || b.starving;
}

size_t PacketQueue::Count()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_entries.size();
}

size_t PacketQueue::Bytes()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bytes;
}

}  // namespace FilterCore
