// The bounded packet queue between a reading thread and a pin: the ways a consumer's wait ends,
// the end marker, packets handed back to the producer, and the fill state and room signals the
// reading thread goes by.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "filtercore/PacketQueue.h"

using FilterCore::PacketQueue;
using FilterCore::PacketQueueLimits;

namespace {

AVPacket* MakePacket(int size, int marker)
{
    AVPacket* packet = av_packet_alloc();
    if (av_new_packet(packet, size) == 0 && size > 0)
        packet->data[0] = static_cast<uint8_t>(marker);
    return packet;
}

// An auto-reset event standing in for a core's reader wake-up; the queue signals it when a
// consumer begins to wait, which lets a test know that the consumer is blocked.
struct RoomEvent {
    RoomEvent() : handle(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~RoomEvent() { CloseHandle(handle); }
    HANDLE handle;
};

}  // namespace

// Everything that must end a consumer's wait on the empty queue: a batch of packets, packets
// that waited long enough, the end marker, a push that fills the queue, a producer that pauses
// with fewer packets than a batch, and a release (which hands out nothing).
TEST(PacketQueue, WaitingConsumerIsWokenByEveryWayDataCanComeOrStop)
{
    enum Wake { kBatch, kDelay, kEndMarker, kFull, kDeliver, kRelease };
    struct {
        Wake wake;
        bool result;  // what Consume returns
        int taken;    // the marker of the packet handed over; 0 for the end marker, -1 for none
    } cases[] = {
        {kBatch, true, 1}, {kDelay, true, 1},   {kEndMarker, false, 0},
        {kFull, true, 1},  {kDeliver, true, 1}, {kRelease, false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wake);
        PacketQueueLimits limits;
        limits.wakeBatch = 3;
        // No delay: the first packet is overdue at once; otherwise longer than any test.
        limits.wakeDelay = c.wake == kDelay ? 0 : LLONG_MAX;
        limits.aheadTime = 1000;
        RoomEvent room;
        PacketQueue queue(room.handle, nullptr, limits);
        int taken = -1;
        bool result = !c.result;
        ResetEvent(room.handle);
        std::thread consumer([&] {
            result = queue.Consume([&](AVPacket* packet) {
                taken = packet ? packet->data[0] : 0;
                return packet != nullptr;
            });
        });
        // The consumer signals the room event once it waits on the empty queue.
        ASSERT_EQ(WaitForSingleObject(room.handle, INFINITE), WAIT_OBJECT_0);
        switch (c.wake) {
            case kBatch:
                for (int i = 1; i <= 3; ++i)
                    queue.Push(MakePacket(8, i), i);
                break;
            case kDelay:
                queue.Push(MakePacket(8, 1), 1);
                break;
            case kEndMarker:
                queue.Push(nullptr, LLONG_MIN);
                break;
            case kFull:
                queue.Push(MakePacket(8, 1), 0);
                EXPECT_TRUE(queue.Push(MakePacket(8, 2), 1000))
                    << "the push reports the full queue";
                break;
            case kDeliver:
                queue.Push(MakePacket(8, 1), 0);
                queue.Deliver();
                break;
            case kRelease:
                queue.SetReleased(true);
                break;
        }
        consumer.join();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(taken, c.taken);
    }
}

// Packets go back to the producer with their data once consumed, every one of them, and a
// flush frees those not taken back; the sanitizers see any packet lost or freed twice.
TEST(PacketQueue, ConsumedPacketsReturnToTheProducer)
{
    PacketQueue queue(nullptr);
    for (int i = 1; i <= 4; ++i)
        queue.Push(MakePacket(16, i), i);
    queue.Push(nullptr, LLONG_MIN);
    std::vector<AVPacket*> spares;
    for (int i = 1; i <= 4; ++i) {
        EXPECT_TRUE(queue.Consume([&](AVPacket* packet) { return packet->data[0] == i; }));
    }
    EXPECT_FALSE(queue.Consume([](AVPacket* packet) { return packet != nullptr; }));
    queue.TakeSpares(&spares);
    ASSERT_EQ(spares.size(), 4u);
    std::vector<int> markers;
    for (AVPacket* packet : spares)
        markers.push_back(packet->data[0]);
    std::sort(markers.begin(), markers.end());
    EXPECT_EQ(markers, (std::vector<int>{1, 2, 3, 4}));
    queue.TakeSpares(&spares);
    EXPECT_EQ(spares.size(), 4u) << "a packet is handed back once";
    for (AVPacket*& packet : spares)
        av_packet_free(&packet);

    queue.Push(MakePacket(16, 5), 5);
    queue.Push(MakePacket(16, 6), 6);
    EXPECT_TRUE(queue.Consume([](AVPacket*) { return true; }));
    queue.Flush();
}

// A producer waiting for room is signalled when its consumer has taken enough of a full queue
// to let a run of packets in, and not for every packet taken before that.
TEST(PacketQueue, ProducerIsSignalledOnceAFullQueueHasRoomForARun)
{
    PacketQueueLimits limits;
    limits.aheadTime = 1000;
    RoomEvent room;
    std::atomic<bool> producerWaiting{true};
    PacketQueue queue(room.handle, &producerWaiting, limits);
    for (int i = 0; i <= 4; ++i)
        queue.Push(MakePacket(8, i), i * 250);
    ASSERT_TRUE(queue.GetFill().full);
    ResetEvent(room.handle);
    // Left: 250 to 1000, three quarters of the span; the producer could add a packet or two.
    EXPECT_TRUE(queue.Consume([](AVPacket*) { return true; }));
    EXPECT_EQ(WaitForSingleObject(room.handle, 0), WAIT_TIMEOUT);
    // Left: 500 to 1000.
    EXPECT_TRUE(queue.Consume([](AVPacket*) { return true; }));
    EXPECT_EQ(WaitForSingleObject(room.handle, 0), WAIT_OBJECT_0);
}

TEST(PacketQueue, ReleasedQueueKeepsItsPacketsForLater)
{
    PacketQueue queue(nullptr);
    queue.Push(MakePacket(4, 1), 0);
    queue.Push(MakePacket(4, 2), 10);
    queue.SetReleased(true);
    EXPECT_FALSE(queue.Consume([](AVPacket*) { return true; }));
    EXPECT_EQ(queue.Count(), 2u);

    queue.SetReleased(false);
    int first = 0;
    EXPECT_TRUE(queue.Consume([&](AVPacket* packet) {
        first = packet->data[0];
        return true;
    }));
    EXPECT_EQ(first, 1);
    EXPECT_EQ(queue.Count(), 1u);
}

TEST(PacketQueue, EndMarkerIsNotRepeatedAndHandsOverNull)
{
    PacketQueue queue(nullptr);
    queue.Push(nullptr, LLONG_MIN);
    queue.Push(nullptr, LLONG_MIN);
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Bytes(), 0u);
    bool sawNull = false;
    // Consume returns what the consumer returns: false for the end marker here.
    EXPECT_FALSE(queue.Consume([&](AVPacket* packet) {
        sawNull = packet == nullptr;
        return packet != nullptr;
    }));
    EXPECT_TRUE(sawNull);

    // After a packet, and once the earlier marker was taken, a marker is queued again.
    queue.Push(MakePacket(4, 1), 0);
    queue.Push(nullptr, LLONG_MIN);
    EXPECT_EQ(queue.Count(), 2u);
    queue.Flush();
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.Bytes(), 0u);
}

TEST(PacketQueue, FillFollowsTimeSpanBytesAndStarvation)
{
    PacketQueueLimits limits;
    limits.aheadTime = 1000;
    limits.aheadBytes = 4096;
    limits.overfillBytes = 16384;
    RoomEvent room;
    PacketQueue queue(room.handle, nullptr, limits);

    EXPECT_FALSE(queue.GetFill().full);
    queue.Push(MakePacket(10, 0), 0);
    queue.Push(MakePacket(10, 0), 999);
    EXPECT_FALSE(queue.GetFill().full);
    // Packets without a known time do not count towards the span.
    queue.Push(MakePacket(10, 0), LLONG_MIN);
    EXPECT_FALSE(queue.GetFill().full);
    EXPECT_TRUE(queue.Push(MakePacket(10, 0), 1000));
    EXPECT_TRUE(queue.GetFill().full);
    EXPECT_FALSE(queue.GetFill().overCap);
    queue.Flush();

    // Corrupt times far apart neither overflow nor hide a full queue.
    queue.Push(MakePacket(10, 0), LLONG_MIN + 1);
    queue.Push(MakePacket(10, 0), LLONG_MAX);
    EXPECT_TRUE(queue.GetFill().full);
    queue.Flush();

    queue.Push(MakePacket(5000, 0), 0);
    EXPECT_TRUE(queue.GetFill().full);
    queue.Push(MakePacket(12000, 0), 0);
    EXPECT_TRUE(queue.GetFill().overCap);
    queue.Flush();

    // Empty is not starving until a consumer waits.
    EXPECT_FALSE(queue.GetFill().starving);
    ResetEvent(room.handle);
    std::thread consumer([&] { queue.Consume([](AVPacket*) { return true; }); });
    ASSERT_EQ(WaitForSingleObject(room.handle, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(queue.GetFill().starving);
    queue.Push(MakePacket(1, 0), 0);
    queue.Deliver();
    consumer.join();
    EXPECT_FALSE(queue.GetFill().starving);
}

TEST(PacketQueue, ReaderReadsOnUnlessFullWithoutStarvingPeer)
{
    struct {
        PacketQueue::Fill a;
        PacketQueue::Fill b;
        bool mayRead;
    } cases[] = {
        {{false, false, false}, {false, false, false}, true},
        {{true, false, false}, {false, false, false}, false},  // a full, b has data
        {{true, false, false}, {false, false, true}, true},    // b starves: a may overfill
        {{false, false, true}, {true, false, false}, true},
        {{true, true, false}, {false, false, true}, false},  // a at its overfill cap
        {{true, false, false}, {true, false, false}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PacketQueue::ReaderMayRead(c.a, c.b), c.mayRead)
            << c.a.full << c.a.overCap << c.a.starving << " / " << c.b.full << c.b.overCap
            << c.b.starving;
    }
}
