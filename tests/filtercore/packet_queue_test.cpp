// The bounded packet queue between a reading thread and a pin: waits that data, release and
// flushes end, the end marker, and the fill state the reading thread decides by.
#include <gtest/gtest.h>

#include <climits>
#include <thread>

#include "filtercore/PacketQueue.h"

using FilterCore::PacketQueue;
using FilterCore::PacketQueueLimits;

namespace {

AVPacket* MakePacket(int size, int marker)
{
    AVPacket* packet = av_packet_alloc();
    if (av_new_packet(packet, size) == 0 && size > 0) packet->data[0] = static_cast<uint8_t>(marker);
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

TEST(PacketQueue, WaitingConsumerIsWokenByDataAndByRelease)
{
    RoomEvent room;
    PacketQueue queue(room.handle);

    int taken = -1;
    ResetEvent(room.handle);
    std::thread consumer([&] {
        queue.Consume([&](AVPacket* packet) {
            taken = packet ? packet->data[0] : 0;
            return true;
        });
    });
    // The consumer signals the room event once it waits on the empty queue.
    ASSERT_EQ(WaitForSingleObject(room.handle, INFINITE), WAIT_OBJECT_0);
    queue.Push(MakePacket(8, 42), 0);
    consumer.join();
    EXPECT_EQ(taken, 42);

    bool result = true;
    bool called = false;
    ResetEvent(room.handle);
    std::thread blocked([&] {
        result = queue.Consume([&](AVPacket*) {
            called = true;
            return true;
        });
    });
    ASSERT_EQ(WaitForSingleObject(room.handle, INFINITE), WAIT_OBJECT_0);
    queue.SetReleased(true);
    blocked.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(called);
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
    queue.Push(MakePacket(10, 0), 1000);
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
        {{true, true, false}, {false, false, true}, false},    // a at its overfill cap
        {{true, false, false}, {true, false, false}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PacketQueue::ReaderMayRead(c.a, c.b), c.mayRead)
            << c.a.full << c.a.overCap << c.a.starving << " / " << c.b.full << c.b.overCap
            << c.b.starving;
    }
}
