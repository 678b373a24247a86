// A bounded queue of demultiplexed packets between a core's reading thread (the producer) and
// the output pin that pulls samples (the consumer). Both sides wait on the queue itself: the
// consumer until a packet arrives or the queue is released (the core halts), the producer
// until the queue has room or a consumer starves. Nothing polls.
//
// A consumer that drains the queue faster than the producer fills it is woken once a batch of
// packets is waiting rather than for every packet, and the producer hands over what it has
// whenever it pauses, so a wait never outlasts the producer's activity. Packets the consumer is
// done with go back to the producer, which reads the next ones into them: every packet buffer
// is allocated and freed on the reading thread, and the threads never meet in the allocator.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "filtercore/FFmpegOwners.h"
#include "platform/kernel.h"

namespace FilterCore {

// How far ahead of its consumer a queue reads.
struct PacketQueueLimits {
    // The queue is full once its packets span this much media time (100 ns) ...
    LONGLONG aheadTime = 20000000;
    // ... or hold this many bytes, whichever comes first.
    size_t aheadBytes = 8u << 20;
    // A full queue may grow past its limits while another queue's consumer starves (a file
    // whose tracks are interleaved coarsely), but never past this many bytes.
    size_t overfillBytes = 32u << 20;
    // A consumer waiting on the empty queue is woken once this many packets are queued, or
    // once the first of them has been queued this long (100 ns, as far as the producer's
    // pushes tell), whichever comes first; the end marker, a full queue and a producer that
    // pauses or stops (see Deliver) wake it at once. A wake-up costs the producer more than a
    // packet, and a consumer that has run dry is ahead of the producer: it loses nothing by
    // taking a run of packets at once.
    size_t wakeBatch = 16;
    LONGLONG wakeDelay = 20000;
};

class PacketQueue {
public:
    // What the producer needs to know to decide whether it may read on.
    struct Fill {
        bool full = false;      // at or beyond the limits
        bool overCap = false;   // at or beyond the overfill cap
        bool starving = false;  // a consumer waits for it (for its first packet or its batch)
    };

    // `roomEvent` (not owned) is signalled whenever the producer may have become free to read
    // on: a take brought the queue below three quarters of its limits or below the overfill
    // cap (takes that leave it above do not, so a producer waiting for a full queue wakes once
    // per run of packets), the queue was flushed, or a consumer began to wait. When
    // `producerWaiting` is given, it is signalled only while that flag is set: the producer
    // sets it before it checks the queues a last time and waits.
    explicit PacketQueue(HANDLE roomEvent, const std::atomic<bool>* producerWaiting = nullptr,
                         const PacketQueueLimits& limits = PacketQueueLimits());
    ~PacketQueue();  // frees every packet still queued or kept for reuse
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Producer. Appends a packet and takes ownership of it; `time` is its decode time in
    // 100 ns (INT64_MIN when unknown), used only to measure how far ahead the queue is. A null
    // packet is the end marker; one already at the back is not repeated. A waiting consumer is
    // woken by the end marker, by a full batch, by a push that finds the batch overdue and by
    // a push that fills the queue. Returns whether the queue is full now: only a push makes a
    // queue full, so a producer that saw no full queue since its last look may read on
    // without looking again.
    bool Push(AVPacket* packet, LONGLONG time);

    // Producer. Wakes a consumer that waits while packets are queued: the producer calls this
    // before it pauses (to wait for room, or because it stops), so that a batch being gathered
    // is handed over instead of waiting for packets that may not come.
    void Deliver();
    // Producer. Wakes a waiting consumer whose first packet has been queued for the wake delay
    // or longer, as a push to this queue would.
    void DeliverOverdue();

    // Producer. Moves the packets that consumers are done with to the back of `spares`; the
    // caller owns them and unreferences each before reading into it, so that their buffers are
    // freed on the thread that allocated them.
    void TakeSpares(std::vector<AVPacket*>* spares);

    // Consumer. Waits until an entry is at the front or the queue is released. An entry is
    // taken off and handed to `consume` (null for the end marker); consumers are served one at
    // a time, and the producer may push meanwhile. The packet goes back to the producer
    // afterwards. Returns what `consume` returned, or false, taking nothing, when the queue is
    // released.
    bool Consume(const std::function<bool(AVPacket* packet)>& consume);

    // Frees every queued packet, end markers included, and the spare ones.
    void Flush();

    // A released queue hands out nothing: every wait in Consume returns false at once, and the
    // queued packets stay for when the queue is taken back (SetReleased(false)).
    void SetReleased(bool released);

    Fill GetFill();

    // The producer may read another packet unless some queue is full and no other queue starves,
    // or unless a starving queue would make a queue grow past its overfill cap.
    static bool ReaderMayRead(const Fill& a, const Fill& b);

    // Queued entries and their bytes, for diagnostics and benchmarks.
    size_t Count();
    size_t Bytes();

private:
    struct Entry {
        AVPacket* packet;  // owned; null for the end marker
        LONGLONG time;
        size_t bytes;
    };

    bool IsFullLocked() const;
    // Whether the batch gathered for a waiting consumer is due: the first of its packets has
    // waited the wake delay (the clock is read only when needed).
    bool BatchOverdueLocked() const;
    // Whether the queue is at or beyond the mark below which a producer that waits for room
    // is signalled again.
    bool AboveResumeLocked() const;
    bool ExceedsLocked(LONGLONG aheadTime, size_t aheadBytes) const;
    void SignalRoom();

    const PacketQueueLimits m_limits;
    HANDLE m_hRoomEvent;                         // not owned
    const std::atomic<bool>* m_producerWaiting;  // not owned; may be null
    // Guards the fields below but m_consumerLock and m_consumed. A consumer waits on
    // m_dataReady, which the producer notifies under the rules of Push and Deliver, and
    // SetReleased always.
    std::mutex m_lock;
    std::condition_variable m_dataReady;
    // Held by a consumer from its wait to the end of its `consume` call, so that consumers take
    // entries and use the state they share (a decoder) one at a time. Taken before m_lock.
    std::mutex m_consumerLock;
    std::deque<Entry> m_entries;
    size_t m_bytes = 0;
    // Consumers waiting for an entry.
    int m_waiting = 0;
    // When the first packet since the queue ran dry was pushed while a consumer waited
    // (steady clock, 100 ns).
    LONGLONG m_batchStart = 0;
    bool m_released = false;
    // Packets consumed since the producer last took the spares; they still hold their buffers.
    std::vector<AVPacket*> m_spent;
    // The packet the last consumer handed over, guarded by m_consumerLock; it joins m_spent
    // when the next entry is taken, under the same hold of m_lock.
    AVPacket* m_consumed = nullptr;
};

}  // namespace FilterCore
