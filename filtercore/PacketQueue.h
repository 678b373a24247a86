// A bounded queue of demultiplexed packets between a core's reading thread (the producer) and
// the output pin that pulls samples (the consumer). Both sides wait on the queue itself: the
// consumer until a packet arrives or the queue is released (the core halts), the producer
// until the queue has room or a consumer starves. Nothing polls with sleeps: a consumer that
// finds the queue empty spins some microseconds for the next packet, then blocks on an event.
#pragma once

#include <atomic>
#include <deque>
#include <functional>

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
};

class PacketQueue {
public:
    // What the producer needs to know to decide whether it may read on.
    struct Fill {
        bool full = false;      // at or beyond the limits
        bool overCap = false;   // at or beyond the overfill cap
        bool starving = false;  // empty while a consumer waits for it
    };

    // `roomEvent` (not owned) is signalled whenever the producer may have become free to read
    // on: a packet was taken, the queue was flushed, or a consumer began to wait. When
    // `producerWaiting` is given, it is signalled only while that flag is set: the producer
    // sets it before it checks the queues a last time and waits.
    explicit PacketQueue(HANDLE roomEvent, const std::atomic<bool>* producerWaiting = nullptr,
                         const PacketQueueLimits& limits = PacketQueueLimits());
    ~PacketQueue();  // frees every packet still queued
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    // Appends a packet and takes ownership of it; `time` is its decode time in 100 ns
    // (INT64_MIN when unknown), used only to measure how far ahead the queue is. A null packet is
    // the end marker; one already at the back is not repeated.
    void Push(AVPacket* packet, LONGLONG time);

    // Waits until an entry is at the front or the queue is released. An entry is taken off and
    // handed to `consume` (null for the end marker); consumers are served one at a time, and the
    // producer may push meanwhile. The queue frees the packet afterwards. Returns what `consume`
    // returned, or false, taking nothing, when the queue is released.
    bool Consume(const std::function<bool(AVPacket* packet)>& consume);

    // Frees every queued packet, end markers included.
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
    void SignalRoom();
    void SpinForEntry();

    const PacketQueueLimits m_limits;
    HANDLE m_hRoomEvent;  // not owned
    const std::atomic<bool>* m_producerWaiting;  // not owned; may be null
    // Manual reset; set when an entry arrives for a waiting consumer or the queue is released,
    // reset by a consumer that finds nothing to take (all under m_lock, so no wake-up is lost).
    HANDLE m_hDataEvent;
    CRITICAL_SECTION m_lock;
    // Held by a consumer from its wait to the end of its `consume` call, so that consumers take
    // entries and use the state they share (a decoder) one at a time. Taken before m_lock.
    CRITICAL_SECTION m_consumerLock;
    // The entry count, written under m_lock, read without it by a spinning consumer.
    std::atomic<size_t> m_count{0};
    // Guarded by m_lock.
    std::deque<Entry> m_entries;
    size_t m_bytes = 0;
    int m_waiting = 0;
    bool m_released = false;
};

}  // namespace FilterCore
