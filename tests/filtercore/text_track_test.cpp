// The text-track reader: every telemetry packet, raw and in order, appended to the caller's list.
#include <gtest/gtest.h>

#include <thread>

#include "Recordings.h"
#include "filtercore/TextTrackReader.h"

using FilterCore::TextTrackList;
using FilterCore::TextTrackReader;

TEST(TextTrackReader, ReadsEveryTextPacketInOrder)
{
    for (const char* fixture : {"single/normal.mp4", "single/audioonly.mp4",
                                "card/cont_rec/REC_2026_05_14_08_30_00_R.mp4"}) {
        SCOPED_TRACE(fixture);
        recordings::Stream reference =
            recordings::ReadStream(recordings::Native(fixture), AVMEDIA_TYPE_SUBTITLE);
        ASSERT_FALSE(reference.packets.empty());

        TextTrackReader reader;
        TextTrackList list = {"kept"};
        int count = reader.Read(recordings::Windows(fixture), &list);
        ASSERT_EQ(count, static_cast<int>(reference.packets.size()));
        ASSERT_EQ(list.size(), reference.packets.size() + 1) << "appended, not replaced";
        EXPECT_EQ(list[0], "kept");
        for (size_t i = 0; i < reference.packets.size(); ++i) {
            const std::string& entry = list[i + 1];
            EXPECT_EQ(entry, reference.packets[i].data) << "packet " << i;
            // A 2-byte big-endian length, then the telemetry line.
            ASSERT_GE(entry.size(), 2u);
            size_t length = (static_cast<unsigned char>(entry[0]) << 8) |
                            static_cast<unsigned char>(entry[1]);
            EXPECT_EQ(length, entry.size() - 2);
        }
        // Reading again appends the same packets again.
        EXPECT_EQ(reader.Read(recordings::Windows(fixture), &list), count);
        EXPECT_EQ(list.size(), 2 * reference.packets.size() + 1);
    }
}

TEST(TextTrackReader, NothingForFilesWithoutTextOrUnreadable)
{
    for (const char* fixture : {"single/notext.mp4", "single/empty.mp4", "single/truncated.mp4",
                                "single/missing.mp4"}) {
        SCOPED_TRACE(fixture);
        TextTrackReader reader;
        TextTrackList list = {"kept"};
        EXPECT_EQ(reader.Read(recordings::Windows(fixture), &list), 0);
        EXPECT_EQ(list, TextTrackList{"kept"});
    }
    TextTrackReader reader;
    EXPECT_EQ(reader.Read(recordings::Windows("single/normal.mp4"), nullptr), 0);
}

TEST(TextTrackReader, CancelEndsTheReadAfterThePacketInHand)
{
    recordings::Stream reference = recordings::ReadStream(recordings::Native("single/normal.mp4"),
                                                          AVMEDIA_TYPE_SUBTITLE);
    TextTrackReader reader;
    reader.m_cancel = true;
    TextTrackList list;
    EXPECT_EQ(reader.Read(recordings::Windows("single/normal.mp4"), &list), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], reference.packets[0].data);
    EXPECT_TRUE(reader.m_cancel.load()) << "the reader does not reset the flag";

    // Another thread may cancel a running read; the read ends early or complete, never torn.
    TextTrackReader shared;
    TextTrackList partial;
    int count = 0;
    std::thread reading([&] { count = shared.Read(recordings::Windows("single/normal.mp4"), &partial); });
    shared.m_cancel = true;
    reading.join();
    EXPECT_GE(count, 0);
    EXPECT_EQ(partial.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(partial[i], reference.packets[i].data);
}
