// The text-track reader: every telemetry packet, raw and in order, appended to the caller's list.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "Recordings.h"
#include "filtercore/TextTrackReader.h"

using FilterCore::TextTrackList;
using FilterCore::TextTrackReader;

TEST(TextTrackReader, ReadsEveryTextPacketInOrder)
{
    for (const char* fixture : {"single/normal.mp4", "single/audioonly.mp4", "single/pcm_s16le.mov",
                                "single/oneframe.mp4", "single/bframes.mp4",
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
            size_t length =
                (static_cast<unsigned char>(entry[0]) << 8) | static_cast<unsigned char>(entry[1]);
            EXPECT_EQ(length, entry.size() - 2);
        }
        // Reading again appends the same packets again.
        EXPECT_EQ(reader.Read(recordings::Windows(fixture), &list), count);
        EXPECT_EQ(list.size(), 2 * reference.packets.size() + 1);
    }
}

TEST(TextTrackReader, NothingForFilesWithoutTextOrUnreadable)
{
    for (const char* fixture :
         {"single/notext.mp4", "single/empty.mp4", "single/truncated.mp4", "single/missing.mp4"}) {
        SCOPED_TRACE(fixture);
        TextTrackReader reader;
        TextTrackList list = {"kept"};
        EXPECT_EQ(reader.Read(recordings::Windows(fixture), &list), 0);
        EXPECT_EQ(list, TextTrackList{"kept"});
    }
    TextTrackReader reader;
    EXPECT_EQ(reader.Read(recordings::Windows("single/normal.mp4"), nullptr), 0);
}

// A hostile index whose text samples each claim a million bytes is no telemetry: its samples
// are skipped without being read, so the read holds next to nothing however many there are.
TEST(TextTrackReader, OversizedSamplesAreSkippedUnread)
{
    TextTrackReader reader;
    TextTrackList list = {"kept"};
    EXPECT_EQ(reader.Read(recordings::Windows("single/hugetext.mp4"), &list), 0);
    EXPECT_EQ(list, TextTrackList{"kept"});
    EXPECT_LE(reader.PeakHeldBytes(), 4096u);

    // The same reader then reads a real recording whole, holding what it returns.
    EXPECT_GT(reader.Read(recordings::Windows("single/normal.mp4"), &list), 10);
    EXPECT_GT(reader.PeakHeldBytes(), 0u);
    EXPECT_LT(reader.PeakHeldBytes(), 64u * 1024);
}

TEST(TextTrackReader, CancelEndsTheReadAfterThePacketInHand)
{
    recordings::Stream reference =
        recordings::ReadStream(recordings::Native("single/normal.mp4"), AVMEDIA_TYPE_SUBTITLE);
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
    std::thread reading(
        [&] { count = shared.Read(recordings::Windows("single/normal.mp4"), &partial); });
    shared.m_cancel = true;
    reading.join();
    EXPECT_GE(count, 0);
    EXPECT_EQ(partial.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(partial[i], reference.packets[i].data);
}

namespace {

namespace fs = std::filesystem;

// A folder of its own under the temporary directory, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "filtercore-text-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            fs::remove_all(m_path, ignored);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Copies every stream of a recording into a new MP4 file with its index ahead of the sample
// data, so that a cut anywhere after the index leaves a file that opens with samples missing.
bool WriteIndexFirstCopy(const std::string& from, const std::string& to)
{
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, ("file:" + from).c_str(), nullptr, nullptr) < 0)
        return false;
    AVFormatContext* output = nullptr;
    bool ok = avformat_find_stream_info(input, nullptr) >= 0 &&
              avformat_alloc_output_context2(&output, nullptr, "mp4", to.c_str()) >= 0;
    for (unsigned i = 0; ok && i < input->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        ok = stream && avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) >= 0;
        if (ok) {
            stream->codecpar->codec_tag = 0;
            stream->time_base = input->streams[i]->time_base;
        }
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    ok = ok && avio_open(&output->pb, ("file:" + to).c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(output, &options) >= 0;
    av_dict_free(&options);
    AVPacket* packet = av_packet_alloc();
    while (ok && av_read_frame(input, packet) >= 0) {
        av_packet_rescale_ts(packet, input->streams[packet->stream_index]->time_base,
                             output->streams[packet->stream_index]->time_base);
        ok = av_interleaved_write_frame(output, packet) >= 0;
    }
    av_packet_free(&packet);
    ok = ok && av_write_trailer(output) >= 0;
    if (output)
        avio_closep(&output->pb);
    avformat_free_context(output);
    avformat_close_input(&input);
    return ok;
}

// Byte offsets of the text samples of a recording, in file order.
std::vector<int64_t> TextSampleOffsets(const std::string& native)
{
    std::vector<int64_t> offsets;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0) {
        return offsets;
    }
    int text = av_find_best_stream(format, AVMEDIA_TYPE_SUBTITLE, -1, -1, nullptr, 0);
    AVPacket* packet = av_packet_alloc();
    while (text >= 0 && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == text)
            offsets.push_back(packet->pos);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return offsets;
}

}  // namespace

// A recording cut short (a card pulled while the camera wrote) gives the text packets whose
// bytes are still there, and of the sample the cut passes through the part that is left,
// exactly as a plain FFmpeg read of the same file does.
TEST(TextTrackReader, FileCutShortGivesThePacketsStillThere)
{
    ScratchFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const std::string whole = (folder.Path() / "whole.mp4").string();
    ASSERT_TRUE(WriteIndexFirstCopy(recordings::Native("single/normal.mp4"), whole));
    std::ifstream in(whole, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<int64_t> offsets = TextSampleOffsets(whole);
    ASSERT_GE(offsets.size(), 10u);
    const size_t data = bytes.find("mdat");
    ASSERT_NE(data, std::string::npos);
    ASSERT_LT(static_cast<int64_t>(data), offsets[0]) << "the index lies ahead of the samples";

    struct Cut {
        const char* what;
        size_t length;
        bool opens;  // the index is whole, so the file still opens
    };
    const Cut cuts[] = {
        {"inside the index", data / 2, false},
        {"right after the index", data + 4, true},
        {"inside the first text sample", static_cast<size_t>(offsets[0]) + 3, true},
        {"inside a later text sample", static_cast<size_t>(offsets[7]) + 1, true},
        {"right where a text sample begins", static_cast<size_t>(offsets[5]), true},
        {"one byte short of the end", bytes.size() - 1, true},
        {"not cut", bytes.size(), true},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.what);
        const std::string native = (folder.Path() / "cut.mp4").string();
        std::ofstream(native, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(cut.length));
        TextTrackReader reader;
        TextTrackList list = {"kept"};
        int count = reader.Read(platform::ToWindowsPath(native), &list);
        if (!cut.opens) {
            EXPECT_EQ(count, 0);
            EXPECT_EQ(list, TextTrackList{"kept"});
            continue;
        }
        recordings::Stream reference = recordings::ReadStream(native, AVMEDIA_TYPE_SUBTITLE);
        ASSERT_EQ(count, static_cast<int>(reference.packets.size()));
        ASSERT_EQ(list.size(), reference.packets.size() + 1);
        for (size_t i = 0; i < reference.packets.size(); ++i) {
            EXPECT_EQ(list[i + 1], reference.packets[i].data) << "packet " << i;
        }
    }

    // The cut through a text sample leaves its first bytes as the last packet.
    const std::string native = (folder.Path() / "cut.mp4").string();
    std::ofstream(native, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(offsets[7] + 1));
    TextTrackReader reader;
    TextTrackList list;
    ASSERT_EQ(reader.Read(platform::ToWindowsPath(native), &list), 8);
    EXPECT_EQ(list.back(), bytes.substr(static_cast<size_t>(offsets[7]), 1));
}

// A path that names no regular file reads nothing and returns at once: a FIFO without a writer
// would otherwise block the reading thread for ever.
TEST(TextTrackReader, PathsThatAreNoRegularFileGiveNothing)
{
    ScratchFolder folder;
    ASSERT_FALSE(folder.Path().empty());
    const fs::path fifo = folder.Path() / "REC_2026_05_14_08_30_00_F.mp4";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& path : {folder.Path(), fifo}) {
        SCOPED_TRACE(path.string());
        TextTrackReader reader;
        TextTrackList list = {"kept"};
        EXPECT_EQ(reader.Read(platform::ToWindowsPath(path.string()), &list), 0);
        EXPECT_EQ(list, TextTrackList{"kept"});
    }
}
