// The MP4 text index read from the moov box by hand: where it answers, its answer is FFmpeg's
// own index of the first text track, entry for entry; where it is not sure, it declines (and the
// reader asks FFmpeg). Checked on the recordings mkcard writes and on rewritten and damaged
// copies of one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Recordings.h"
#include "filtercore/Mp4TextIndex.h"
#include "filtercore/TextTrackReader.h"

using FilterCore::TextSampleSpan;

namespace {

std::string ReadBytes(const std::string& native)
{
    std::ifstream in(native, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool HandIndex(const std::string& bytes, std::vector<TextSampleSpan>* spans)
{
    const auto readAt = [&bytes](int64_t offset, size_t size, std::string* out) {
        out->clear();
        if (offset < 0)
            return false;
        if (static_cast<uint64_t>(offset) < bytes.size())
            *out = bytes.substr(static_cast<size_t>(offset), size);
        return true;
    };
    return FilterCore::ReadMp4TextIndex(readAt, static_cast<int64_t>(bytes.size()), spans);
}

// FFmpeg's index of the first text-type stream; false when the file does not open or has none.
bool FFmpegIndex(const std::string& native, std::vector<TextSampleSpan>* spans)
{
    spans->clear();
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, ("file:" + native).c_str(), nullptr, nullptr) < 0)
        return false;
    bool found = false;
    for (unsigned i = 0; i < format->nb_streams && !found; ++i) {
        AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_SUBTITLE)
            continue;
        found = true;
        for (int e = 0; e < avformat_index_get_entries_count(stream); ++e) {
            const AVIndexEntry* entry = avformat_index_get_entry(stream, e);
            spans->push_back(TextSampleSpan{entry->pos, entry->size});
        }
    }
    avformat_close_input(&format);
    return found;
}

// Where the hand index answers, FFmpeg answers the same; `mustAnswer` asks that it answers.
void ExpectSameAsFFmpeg(const std::string& native, bool mustAnswer)
{
    std::vector<TextSampleSpan> hand, ffmpeg;
    const bool answered = HandIndex(ReadBytes(native), &hand);
    if (mustAnswer)
        EXPECT_TRUE(answered);
    if (!answered) {
        EXPECT_TRUE(hand.empty());
        return;
    }
    ASSERT_TRUE(FFmpegIndex(native, &ffmpeg)) << "answered where FFmpeg finds no text track";
    ASSERT_EQ(hand.size(), ffmpeg.size());
    for (size_t i = 0; i < hand.size(); ++i) {
        EXPECT_EQ(hand[i].pos, ffmpeg[i].pos) << "sample " << i;
        EXPECT_EQ(hand[i].size, ffmpeg[i].size) << "sample " << i;
    }
}

// A box tree over a file's bytes, for rewriting: containers hold children, the rest bytes.
struct Node {
    std::string type;
    std::string payload;  // for leaves
    std::vector<Node> children;
    bool container = false;
    bool largeSize = false;
};

bool IsContainer(const std::string& type)
{
    return type == "moov" || type == "trak" || type == "mdia" || type == "minf" ||
           type == "stbl" || type == "edts";
}

uint64_t Be(const std::string& s, size_t at, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | uint8_t(s[at + size_t(i)]);
    return v;
}

std::string PutBe(uint64_t v, int bytes)
{
    std::string s(size_t(bytes), '\0');
    for (int i = bytes - 1; i >= 0; --i, v >>= 8)
        s[size_t(i)] = char(v & 0xFF);
    return s;
}

std::vector<Node> Parse(const std::string& s)
{
    std::vector<Node> nodes;
    size_t at = 0;
    while (s.size() - at >= 8) {
        uint64_t size = Be(s, at, 4);
        size_t header = 8;
        if (size == 1) {
            size = Be(s, at + 8, 8);
            header = 16;
        }
        Node node;
        node.type = s.substr(at + 4, 4);
        const std::string payload = s.substr(at + header, size_t(size) - header);
        node.container = IsContainer(node.type);
        if (node.container)
            node.children = Parse(payload);
        else
            node.payload = payload;
        nodes.push_back(node);
        at += size_t(size);
    }
    return nodes;
}

std::string Write(const std::vector<Node>& nodes)
{
    std::string out;
    for (const Node& node : nodes) {
        const std::string payload = node.container ? Write(node.children) : node.payload;
        if (node.largeSize)
            out += PutBe(1, 4) + node.type + PutBe(payload.size() + 16, 8);
        else
            out += PutBe(payload.size() + 8, 4) + node.type;
        out += payload;
    }
    return out;
}

Node* Find(std::vector<Node>& nodes, const std::string& type)
{
    for (Node& node : nodes)
        if (node.type == type)
            return &node;
    return nullptr;
}

// The text track (the one whose handler is "sbtl") of a parsed moov.
Node* TextTrack(Node& moov)
{
    for (Node& trak : moov.children) {
        if (trak.type != "trak")
            continue;
        Node* mdia = Find(trak.children, "mdia");
        Node* hdlr = mdia ? Find(mdia->children, "hdlr") : nullptr;
        if (hdlr && hdlr->payload.substr(8, 4) == "sbtl")
            return &trak;
    }
    return nullptr;
}

Node* TextTable(Node& moov, const std::string& type)
{
    Node* trak = TextTrack(moov);
    Node* mdia = trak ? Find(trak->children, "mdia") : nullptr;
    Node* minf = mdia ? Find(mdia->children, "minf") : nullptr;
    Node* stbl = minf ? Find(minf->children, "stbl") : nullptr;
    return stbl ? Find(stbl->children, type) : nullptr;
}

class ScratchFile {
public:
    explicit ScratchFile(const std::string& bytes)
        : m_path((std::filesystem::temp_directory_path() /
                  ("kv-textindex-" + std::to_string(getpid()) + ".mp4"))
                     .string())
    {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc)
            .write(bytes.data(), std::streamsize(bytes.size()));
    }
    ~ScratchFile() { std::filesystem::remove(m_path); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

TEST(Mp4TextIndex, RecordingsGiveFFmpegsIndex)
{
    for (const char* fixture :
         {"single/normal.mp4", "single/bframes.mp4", "single/oneframe.mp4", "single/noaudio.mp4", "card/cont_rec/REC_2026_05_14_08_30_00_F.mp4",
          "card/cont_rec/REC_2026_05_14_08_30_00_R.mp4"}) {
        SCOPED_TRACE(fixture);
        ExpectSameAsFFmpeg(recordings::Native(fixture), true);
    }
    // One size claimed for every text sample (FFmpeg's reading of such a table has rules of its
    // own): answered as FFmpeg does, or left to it.
    ExpectSameAsFFmpeg(recordings::Native("single/hugetext.mp4"), false);
    // No text track, no index or no MP4 at all: not answered here.
    for (const char* fixture : {"single/notext.mp4", "single/empty.mp4", "single/truncated.mp4"}) {
        SCOPED_TRACE(fixture);
        std::vector<TextSampleSpan> spans;
        EXPECT_FALSE(HandIndex(ReadBytes(recordings::Native(fixture)), &spans));
    }
}

// Rewritten and damaged copies of a recording (its moov box is the last box of the file, so
// rewriting it moves no sample data). The hand index answers exactly FFmpeg's index, or
// declines; and the reader's packets stay the demultiplexer's.
TEST(Mp4TextIndex, RewrittenAndDamagedIndexes)
{
    const std::string original = ReadBytes(recordings::Native("single/normal.mp4"));
    struct Case {
        const char* what;
        bool answered;  // the hand index must answer
        std::function<void(std::vector<Node>& top, Node& moov, std::string& tail)> change;
    };
    const Case cases[] = {
        {"unchanged", true, [](auto&, auto&, auto&) {}},
        {"moov with a 64-bit size", true, [](auto&, Node& moov, auto&) { moov.largeSize = true; }},
        {"a track with a 64-bit size", true,
         [](auto&, Node& moov, auto&) { TextTrack(moov)->largeSize = true; }},
        {"chunk offsets in 64 bits", true,
         [](auto&, Node& moov, auto&) {
             Node* stco = TextTable(moov, "stco");
             std::string co64 = stco->payload.substr(0, 8);
             const uint64_t count = Be(stco->payload, 4, 4);
             for (uint64_t i = 0; i < count; ++i)
                 co64 += PutBe(Be(stco->payload, 8 + 4 * size_t(i), 4), 8);
             stco->type = "co64";
             stco->payload = co64;
         }},
        {"chunk offsets past the end of the file", true,
         [](auto&, Node& moov, auto&) {
             Node* stco = TextTable(moov, "stco");
             stco->payload.replace(12, 4, PutBe(0xFFFFFF00u, 4));
         }},
        {"a sample size over FFmpeg's limit", false,
         [](auto&, Node& moov, auto&) {
             TextTable(moov, "stsz")->payload.replace(16, 4, PutBe(0x40000000u, 4));
         }},
        {"more samples counted than sizes stored", false,
         [](auto&, Node& moov, auto&) {
             TextTable(moov, "stsz")->payload.replace(8, 4, PutBe(100000, 4));
         }},
        {"more chunks counted than offsets stored", false,
         [](auto&, Node& moov, auto&) {
             TextTable(moov, "stco")->payload.replace(4, 4, PutBe(100000, 4));
         }},
        {"fewer samples counted than the chunks hold", true,
         [](auto&, Node& moov, auto&) {
             TextTable(moov, "stsz")->payload.replace(8, 4, PutBe(5, 4));
         }},
        {"an edit list that cuts the track", false,
         [](auto&, Node& moov, auto&) {
             Node* edts = Find(TextTrack(moov)->children, "edts");
             edts->children[0].payload.replace(8, 4, PutBe(100, 4));
         }},
        {"a second sample description", false,
         [](auto&, Node& moov, auto&) {
             Node* stsd = TextTable(moov, "stsd");
             stsd->payload.replace(4, 4, PutBe(2, 4));
             stsd->payload += stsd->payload.substr(8);
         }},
        {"the moov box cut short", false,
         [](auto&, auto&, std::string& tail) { tail = "cut"; }},
        {"a box larger than its parent", false,
         [](auto&, Node& moov, std::string& tail) { tail = "grow"; }},
        {"a large box between the sample data and the moov box", true,
         [](std::vector<Node>& top, auto&, auto&) {
             // The file's first boxes lie outside its last megabyte, the moov box inside it.
             Node free;
             free.type = "free";
             free.payload = std::string(2 << 20, '\0');
             top.insert(top.end() - 1, free);
         }},
        {"a fragment after the moov box", false,
         [](std::vector<Node>& top, auto&, auto&) {
             Node moof;
             moof.type = "moof";
             moof.payload = std::string(8, '\0');
             top.push_back(moof);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Node> top = Parse(original);
        Node* moov = Find(top, "moov");
        ASSERT_NE(moov, nullptr);
        ASSERT_EQ(&top.back(), moov) << "the moov box ends the file";
        std::string tail;
        c.change(top, *moov, tail);
        std::string bytes = Write(top);
        if (tail == "cut")
            bytes.resize(bytes.size() - 100);
        if (tail == "grow") {
            // The first track's header claims ten bytes more than the moov box holds.
            const size_t trak = bytes.find("trak", bytes.rfind("moov"));
            const uint64_t size = Be(bytes, trak - 4, 4);
            bytes.replace(trak - 4, 4, PutBe(size + 10, 4));
        }
        ScratchFile file(bytes);
        ExpectSameAsFFmpeg(file.Path(), c.answered);

        FilterCore::TextTrackReader reader;
        FilterCore::TextTrackList list;
        const int count = reader.Read(platform::ToWindowsPath(file.Path()), &list);
        std::vector<TextSampleSpan> ffmpeg;
        if (!FFmpegIndex(file.Path(), &ffmpeg)) {
            EXPECT_EQ(count, 0);
            continue;
        }
        recordings::Stream reference =
            recordings::ReadStream(file.Path(), AVMEDIA_TYPE_SUBTITLE);
        ASSERT_EQ(list.size(), reference.packets.size());
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(list[i], reference.packets[i].data) << "packet " << i;
    }
}
