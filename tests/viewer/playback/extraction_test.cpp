// Telemetry extraction from real recordings: mkcard's MP4 and AVI recordings give exactly the
// records of the lines and chunks mkcard wrote; small hand-built files show the rules of the
// walk one at a time; damaged files give what precedes their damage; the AVI codec check; an
// entry's extraction replaces, never adds to, what an earlier pass found.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "AviChunks.h"
#include "Telemetry.h"
#include "platform/kernel.h"
#include "playback/AviTelemetry.h"
#include "playback/FileAnalysis.h"

namespace fs = std::filesystem;

namespace {

fs::path Fixtures()
{
    const char* v = std::getenv("KV_FIXTURES");
    if (!v || !*v) {
        ADD_FAILURE() << "KV_FIXTURES is not set; run the test through ctest";
        return {};
    }
    return v;
}

std::wstring Win(const fs::path& native)
{
    return platform::ToWindowsPath(native.string());
}

// Local time is the camera's zone here (UTC + 9), so the records' times match the file names.
class Extraction : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* tz = std::getenv("TZ"))
            m_oldZone = tz, m_hadZone = true;
        setenv("TZ", "KST-9", 1);
        tzset();
        m_analysis = CFileAnalysis::GetInstance();
        EnterCriticalSection(&g_csExtractText);
        m_temp = fs::temp_directory_path() / ("extraction-" + std::to_string(getpid()));
        fs::create_directories(m_temp);
    }
    void TearDown() override
    {
        fs::remove_all(m_temp);
        LeaveCriticalSection(&g_csExtractText);
        CFileAnalysis::ReleaseInstance();
        if (m_hadZone)
            setenv("TZ", m_oldZone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    CTextData Extract(const fs::path& native)
    {
        CTextData text;
        m_analysis->ExtractText(Win(native), text);
        return text;
    }

    fs::path Write(const std::string& name, const std::string& bytes)
    {
        const fs::path p = m_temp / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

    CFileAnalysis* m_analysis = nullptr;
    fs::path m_temp;
    std::string m_oldZone;
    bool m_hadZone = false;
};

// Field-by-field comparison of two telemetry records lists.
void ExpectSame(const CTextData& got, const CTextData& want)
{
    ASSERT_EQ(got.m_GSensorList.size(), want.m_GSensorList.size());
    ASSERT_EQ(got.m_GPSList.size(), want.m_GPSList.size());
    ASSERT_EQ(got.m_CarInfoList.size(), want.m_CarInfoList.size());
    auto g = got.m_GSensorList.begin();
    for (const CGSensorData& w : want.m_GSensorList) {
        EXPECT_EQ(g->m_nX, w.m_nX);
        EXPECT_EQ(g->m_nY, w.m_nY);
        EXPECT_EQ(g->m_nZ, w.m_nZ);
        ++g;
    }
    auto f = got.m_GPSList.begin();
    for (const CGPSData& w : want.m_GPSList) {
        EXPECT_EQ(f->m_nYear, w.m_nYear);
        EXPECT_EQ(f->m_nMonth, w.m_nMonth);
        EXPECT_EQ(f->m_nDay, w.m_nDay);
        EXPECT_EQ(f->m_nHour, w.m_nHour);
        EXPECT_EQ(f->m_nMinute, w.m_nMinute);
        EXPECT_EQ(f->m_nSecond, w.m_nSecond);
        EXPECT_EQ(f->m_bValid, w.m_bValid);
        EXPECT_EQ(f->m_dLatitude, w.m_dLatitude);
        EXPECT_EQ(f->m_dLongitude, w.m_dLongitude);
        EXPECT_EQ(f->m_dSpeed, w.m_dSpeed);
        EXPECT_EQ(f->m_dCourse, w.m_dCourse);
        ++f;
    }
    auto c = got.m_CarInfoList.begin();
    for (const CCarInfoData& w : want.m_CarInfoList) {
        EXPECT_EQ(c->m_nToken1, w.m_nToken1);
        EXPECT_EQ(c->m_nToken2, w.m_nToken2);
        EXPECT_EQ(c->m_fToken4, w.m_fToken4);
        EXPECT_EQ(c->m_cToken11, w.m_cToken11);
        EXPECT_EQ(c->m_fToken12, w.m_fToken12);
        ++c;
    }
}

// The card's recordings start a minute apart from 08:30:00 on 2026-05-14, the drive with
// them; this is the plan of the one at `minute`.
mkcard::TelemetryPlan PlanAt(int minute, double seconds, mkcard::LineStyle style)
{
    mkcard::TelemetryPlan plan;
    plan.localStart = mkcard::AddSeconds(mkcard::kDriveStart, int64_t(minute) * 60);
    plan.driveOffsetSeconds = int64_t(minute) * 60;
    plan.lengthSeconds = seconds;
    plan.style = style;
    return plan;
}

// What the parser makes of the chunks mkcard wrote into an AVI recording.
CTextData FromChunks(const std::vector<mkcard::AviTelemetryChunk>& chunks, bool newStyle)
{
    CTextData want;
    for (const mkcard::AviTelemetryChunk& c : chunks) {
        if (c.pair)
            want.AddGPSPair(platform::AnsiToWide(c.sentence), platform::AnsiToWide(c.values));
        else if (newStyle)
            want.ParseNewLine(platform::AnsiToWide(c.line));
        else
            want.ParseLine(platform::AnsiToWide(c.line));
    }
    return want;
}

TEST_F(Extraction, Mp4RecordingsGiveTheRecordsOfTheLinesMkcardWrote)
{
    struct Case {
        const char* file;
        int minute;
        mkcard::LineStyle style;
        size_t samples, cars;
    };
    const Case cases[] = {
        {"card/cont_rec/REC_2026_05_14_08_30_00_F.mp4", 0, mkcard::LineStyle::Integrated, 30, 3},
        {"card/cont_rec/REC_2026_05_14_08_30_00_R.mp4", 0, mkcard::LineStyle::Plain, 27, 0},
        {"card/parking_rec/REC_2026_05_14_08_39_00_F.mp4", 9, mkcard::LineStyle::Integrated, 30, 3},
        {"card/evt_rec/REC_2026_05_14_08_34_00_R.mp4", 4, mkcard::LineStyle::Plain, 27, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(m_analysis->IsMP4Recording(Win(Fixtures() / c.file)));
        const CTextData got = Extract(Fixtures() / c.file);
        CTextData want;
        for (const std::string& line : mkcard::TelemetryLines(PlanAt(c.minute, 3.0, c.style)))
            want.ParseLine(platform::AnsiToWide(line));
        ExpectSame(got, want);
        // One valid fix a second, the first at the recording's start in UTC (23:30 on the 13th
        // for 08:30 local), hours of the sentence as they stand.
        EXPECT_EQ(got.m_GSensorList.size(), c.samples);
        EXPECT_EQ(got.m_CarInfoList.size(), c.cars);
        ASSERT_EQ(got.m_GPSList.size(), 3u);
        const CGPSData& first = got.m_GPSList.front();
        EXPECT_TRUE(first.m_bValid);
        EXPECT_EQ(first.m_nDay, 13);
        EXPECT_EQ(first.m_nHour, 23);
        EXPECT_EQ(first.m_nMinute, 30 + c.minute);
        // The drive starts at 37 33.07' N 126 59.29' E and covers about a kilometre a minute.
        EXPECT_NEAR(first.m_dLatitude, 3733.07, 10.0);
        EXPECT_NEAR(first.m_dLongitude, 12659.29, 60.0);
    }
}

TEST_F(Extraction, AviTextChunksGiveTheRecordsOfTheChunksMkcardWrote)
{
    struct Case {
        const char* file;
        mkcard::AviTelemetryStyle style;
        bool newStyle;
        size_t samples;
    };
    const Case cases[] = {
        {"avi/lines.avi", mkcard::AviTelemetryStyle::Lines, false, 29},
        {"avi/hugeindex.avi", mkcard::AviTelemetryStyle::Lines, false, 29},
        {"avi/Rec_0001.avi", mkcard::AviTelemetryStyle::NewLines, true, 29},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(m_analysis->IsNewNameFile(Win(Fixtures() / c.file)), c.newStyle);
        EXPECT_FALSE(m_analysis->IsMP4Recording(Win(Fixtures() / c.file)));
        const CTextData got = Extract(Fixtures() / c.file);
        const auto chunks =
            mkcard::AviTelemetryChunks(PlanAt(0, 3.0, mkcard::LineStyle::Plain), c.style);
        ExpectSame(got, FromChunks(chunks, c.newStyle));
        EXPECT_EQ(got.m_GSensorList.size(), c.samples) << "pairs on even seconds only";
        ASSERT_EQ(got.m_GPSList.size(), 3u);
        for (const CGPSData& fix : got.m_GPSList)
            EXPECT_TRUE(fix.m_bValid);
        EXPECT_EQ(got.m_GPSList.back().m_nSecond, 2);
    }
}

TEST_F(Extraction, AviSampleRecordsGiveAFixASecondAndEveryNewReading)
{
    const CTextData got = Extract(Fixtures() / "avi" / "samples.avi");
    const auto points = mkcard::TelemetryPoints(PlanAt(0, 3.0, mkcard::LineStyle::Plain));
    ASSERT_EQ(points.size(), 30u);

    // A fix from the first record of each second, in local time (the names' 08:30:00).
    ASSERT_EQ(got.m_GPSList.size(), 3u);
    int second = 0;
    for (const CGPSData& fix : got.m_GPSList) {
        const mkcard::TelemetryPoint& p = points[size_t(second) * 10];
        EXPECT_EQ(fix.m_nYear, 26);
        EXPECT_EQ(fix.m_nMonth, 5);
        EXPECT_EQ(fix.m_nDay, 14);
        EXPECT_EQ(fix.m_nHour, 8);
        EXPECT_EQ(fix.m_nMinute, 30);
        EXPECT_EQ(fix.m_nSecond, second);
        EXPECT_EQ(fix.m_dLatitude, double(float(mkcard::NmeaCoordinate(p.latDeg))));
        EXPECT_EQ(fix.m_dLongitude, double(float(mkcard::NmeaCoordinate(p.lonDeg))));
        EXPECT_EQ(fix.m_dSpeed, double(float(p.speedKmh / 1.852)) * 1.852);
        EXPECT_TRUE(fix.m_bValid);
        ++second;
    }
    // Every record's reading, the first of each second included, except the flagged record
    // and the one that repeats its predecessor's tick.
    std::vector<size_t> lines;
    for (size_t j = 0; j < points.size(); ++j)
        if (int(j) != mkcard::kFlaggedSampleLine && int(j) != mkcard::kRepeatedTickLine)
            lines.push_back(j);
    ASSERT_EQ(got.m_GSensorList.size(), lines.size());
    auto s = got.m_GSensorList.begin();
    for (size_t j : lines) {
        EXPECT_EQ(s->m_nX, int(float(points[j].gx) * 128.0f)) << j;
        EXPECT_EQ(s->m_nY, int(float(points[j].gy) * 128.0f)) << j;
        EXPECT_EQ(s->m_nZ, int(float(points[j].gz) * 128.0f)) << j;
        ++s;
    }
}

TEST_F(Extraction, DamagedAvisGiveWhatPrecedesOrSurroundsTheDamage)
{
    const auto chunks = mkcard::AviTelemetryChunks(PlanAt(0, 3.0, mkcard::LineStyle::Plain),
                                                   mkcard::AviTelemetryStyle::Lines);
    const CTextData whole = FromChunks(chunks, false);

    // Cut in the index: the chunks whose entries remain, which are a prefix.
    const CTextData cut = Extract(Fixtures() / "avi" / "short.avi");
    EXPECT_GT(cut.m_GSensorList.size(), 0u);
    EXPECT_LT(cut.m_GSensorList.size(), whole.m_GSensorList.size());
    {
        std::vector<mkcard::AviTelemetryChunk> prefix;
        CTextData expected;
        for (const auto& c : chunks) {
            prefix.push_back(c);
            expected = FromChunks(prefix, false);
            if (expected.m_GSensorList.size() == cut.m_GSensorList.size() &&
                expected.m_GPSList.size() == cut.m_GPSList.size())
                break;
        }
        ExpectSame(cut, expected);
    }

    // Entries past the end: every 7th chunk is missing, the others are read.
    std::vector<mkcard::AviTelemetryChunk> kept;
    for (size_t i = 0; i < chunks.size(); ++i)
        if ((i + 1) % 7 != 0)
            kept.push_back(chunks[i]);
    ExpectSame(Extract(Fixtures() / "avi" / "pastend.avi"), FromChunks(kept, false));

    // Chunks of 113 to 120 bytes give their first 112 bytes; the one of 121 is skipped.
    std::vector<mkcard::AviTelemetryChunk> sized = chunks;
    for (int line = 1; line <= 9; ++line) {
        std::string text = "gsensor," + std::to_string(112 + line) + "," + std::to_string(line) +
                           ",-" + std::to_string(line) + ",";
        text.resize(112, 'x');
        sized[size_t(line)].line = line == 9 ? "" : text;
    }
    const CTextData sizes = Extract(Fixtures() / "avi" / "sizes.avi");
    ExpectSame(sizes, FromChunks(sized, false));
    ASSERT_GE(sizes.m_GSensorList.size(), 9u);
    auto second = std::next(sizes.m_GSensorList.begin());
    EXPECT_EQ(second->m_nX, 113);
    EXPECT_EQ(std::next(second, 7)->m_nX, 120);
    EXPECT_EQ(std::next(second, 7)->m_nZ, -8);

    // Files without an index where the walk expects one give nothing.
    for (const char* file : {"single/truncated.mp4", "single/empty.mp4"}) {
        SCOPED_TRACE(file);
        const CTextData none = Extract(Fixtures() / file);
        EXPECT_TRUE(none.m_GSensorList.empty());
        EXPECT_TRUE(none.m_GPSList.empty());
    }
    const CTextData missing = Extract(m_temp / "missing.avi");
    EXPECT_TRUE(missing.m_GPSList.empty());
}

TEST_F(Extraction, CodecCheckReadsTheFirstStreamHandler)
{
    struct Case {
        fs::path file;
        BOOL h264;
    };
    const Case cases[] = {
        {Fixtures() / "avi" / "lines.avi", TRUE},
        {Fixtures() / "avi" / "samples.avi", TRUE},
        {Fixtures() / "avi" / "lowercase.avi", FALSE},
        {Fixtures() / "single" / "normal.mp4", FALSE},
        {Fixtures() / "single" / "empty.mp4", FALSE},
        {m_temp / "missing.avi", FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CFileAnalysis::CheckH264(Win(c.file)), c.h264) << c.file;

    // "AVC1" names the codec too; the handler is compared exactly.
    std::string bytes;
    {
        std::ifstream in(Fixtures() / "avi" / "lines.avi", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        bytes = s.str().substr(0, 200);
    }
    bytes.replace(112, 4, "AVC1");
    EXPECT_TRUE(CFileAnalysis::CheckH264(Win(Write("avc1.avi", bytes))));
    bytes.replace(112, 4, "X264");
    EXPECT_FALSE(CFileAnalysis::CheckH264(Win(Write("x264.avi", bytes))));
    EXPECT_FALSE(CFileAnalysis::CheckH264(Win(Write("short.avi", bytes.substr(0, 115)))));
}

// ---------------------------------------------------------------------------------------------
// Small AVI files built chunk by chunk: a header list with only a main header, an optional
// JUNK chunk, the movi list and the index. Entries are text chunks of stream 02.

void PutLe32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

class MiniAvi {
public:
    // A text chunk whose size field says `size` (the data is written as given).
    void Text(const std::string& data, uint32_t size) { m_chunks.push_back({data, size, false}); }
    void Text(const std::string& data) { Text(data, uint32_t(data.size())); }
    // A sample record; its index entry gives the position from the start of the file.
    void Sample(const TelemetrySample& record)
    {
        m_chunks.push_back({std::string(reinterpret_cast<const char*>(&record), sizeof record),
                            uint32_t(sizeof record), true});
    }

    std::string Build(bool junk = false) const
    {
        std::string hdrl = "hdrl";
        hdrl += "avih";
        PutLe32(hdrl, 56);
        hdrl.append(56, '\0');
        std::string movi = "movi";
        std::vector<size_t> positions;
        for (const Chunk& c : m_chunks) {
            positions.push_back(movi.size());
            movi += "02tx";
            PutLe32(movi, c.size);
            movi += c.data;
            if (movi.size() % 2)
                movi += '\0';
        }
        std::string file = "RIFF";
        PutLe32(file, 0);
        file += "AVI LIST";
        PutLe32(file, uint32_t(hdrl.size()));
        file += hdrl;
        if (junk) {
            file += "JUNK";
            PutLe32(file, 6);
            file.append(6, '\0');
        }
        file += "LIST";
        PutLe32(file, uint32_t(movi.size()));
        const size_t moviType = file.size();
        file += movi;
        file += "idx1";
        PutLe32(file, uint32_t(m_chunks.size() * 16));
        for (size_t i = 0; i < m_chunks.size(); ++i) {
            file += "02tx";
            PutLe32(file, 0x10);
            PutLe32(file, uint32_t(m_chunks[i].absolute ? moviType + positions[i] : positions[i]));
            PutLe32(file, m_chunks[i].size);
        }
        return file;
    }

private:
    struct Chunk {
        std::string data;
        uint32_t size;
        bool absolute;
    };
    std::vector<Chunk> m_chunks;
};

TelemetrySample Record(DWORD seconds, DWORD tick, float x)
{
    TelemetrySample s{};
    s.dwMagic = TelemetrySample::kMagic;
    s.dwFormat = TelemetrySample::kFormat | 0x77000000;
    s.dwSeconds = seconds;
    s.dwSubSecond = tick * TelemetrySample::kTicksPerUnit;
    s.fGSensorX = x;
    s.fLatitude = 3733.0f;
    return s;
}

std::vector<int> XOf(const CTextData& text)
{
    std::vector<int> x;
    for (const CGSensorData& s : text.m_GSensorList)
        x.push_back(s.m_nX);
    return x;
}

TEST_F(Extraction, SampleRecordsByTheSecondAndTheTick)
{
    struct Case {
        const char* what;
        std::vector<TelemetrySample> records;
        std::vector<int> readings;  // x of the readings taken, in 1/128
        size_t fixes;
    };
    TelemetrySample flagged = Record(1000, 3, 9.0f);
    flagged.dwFlags = 0x4;
    TelemetrySample notSample = Record(1000, 4, 9.0f);
    notSample.dwFormat = 0x3260B;
    const Case cases[] = {
        {"one record a second",
         {Record(1000, 0, 1), Record(1001, 0, 2), Record(1002, 0, 3)},
         {128, 256, 384},
         3},
        {"ticks advance within a second",
         {Record(1000, 0, 1), Record(1000, 1, 2), Record(1000, 1, 3), Record(1000, 0, 4),
          Record(1000, 5, 5)},
         {128, 256, 640},
         1},
        {"the tick starts again with each second",
         {Record(1000, 7, 1), Record(1000, 8, 2), Record(1001, 0, 3), Record(1001, 1, 4)},
         {128, 256, 384, 512},
         2},
        {"an older second adds a reading only",
         {Record(1000, 2, 1), Record(999, 3, 2), Record(999, 3, 3)},
         {128, 256},
         1},
        {"flags skip a record", {Record(1000, 0, 1), flagged, Record(1000, 3, 2)}, {128, 256}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MiniAvi avi;
        for (const TelemetrySample& r : c.records)
            avi.Sample(r);
        const CTextData got = Extract(Write("samples.avi", avi.Build()));
        EXPECT_EQ(XOf(got), c.readings);
        EXPECT_EQ(got.m_GPSList.size(), c.fixes);
    }
    // A record whose format does not match is read as a text chunk, which holds no line here.
    MiniAvi avi;
    avi.Sample(notSample);
    const CTextData got = Extract(Write("notsample.avi", avi.Build()));
    EXPECT_TRUE(got.m_GSensorList.empty());
    EXPECT_TRUE(got.m_GPSList.empty());
}

TEST_F(Extraction, TextChunksPairsLinesAndSizes)
{
    std::string pair(112, '\0');
    const std::string sentence = "$GPRMC,233000.00,A,3733.0700,N,12659.2900,E,10.0,70.0,130526";
    pair.replace(0, sentence.size(), sentence);
    pair.replace(92, 8, "128,-3,7");
    std::string flatPair = pair;  // byte 93 zero: a line, not a pair
    flatPair[93] = '\0';
    flatPair.replace(0, 13, "gsensor,5,6,7");

    MiniAvi avi;
    avi.Text(pair);
    avi.Text(flatPair);
    avi.Text("gsensor,1,2,3");
    avi.Text("gsensor,9,9,9", 200);                // oversized: skipped
    avi.Text("gsensor,4,4,4,tail", 13);            // only the first 13 bytes are the line
    avi.Text(std::string("gsensor,8\0,8,8", 14));  // a zero ends the line
    avi.Text(std::string(112, ','), 120);          // no terminator anywhere
    const CTextData got = Extract(Write("text.avi", avi.Build(true)));
    EXPECT_EQ(XOf(got), (std::vector<int>{7, 5, 1, 4, 8}));
    ASSERT_EQ(got.m_GPSList.size(), 1u);
    EXPECT_EQ(got.m_GPSList.front().m_nHour, 23);
    EXPECT_EQ(got.m_GSensorList.front().m_nZ, 128);
    EXPECT_EQ(got.m_GSensorList.back().m_nY, 0);
}

TEST_F(Extraction, ShortReadsNeverReuseEarlierBytes)
{
    // The last chunk's header is cut off by the end of the file: its 120-byte read comes up
    // short and must not parse the chunk read before it again.
    MiniAvi avi;
    avi.Text("gsensor,1,2,3");
    std::string file = avi.Build();
    // An index entry that points at the last 6 bytes of the file.
    const size_t moviType = file.find("movi");
    std::string entry = "02tx";
    PutLe32(entry, 0x10);
    PutLe32(entry, uint32_t(file.size() + 16 - 6 - moviType));
    PutLe32(entry, 13);
    file += entry;
    const size_t idx1 = file.find("idx1");
    file[idx1 + 4] = 32;  // two entries
    const CTextData got = Extract(Write("shortread.avi", file));
    EXPECT_EQ(XOf(got), std::vector<int>{1});
}

// ---------------------------------------------------------------------------------------------
// MP4 files with a text track only, built packet by packet.

fs::path WriteTextMp4(const fs::path& path, const std::vector<std::string>& packets)
{
    AVFormatContext* out = nullptr;
    EXPECT_GE(avformat_alloc_output_context2(&out, nullptr, "mp4", path.c_str()), 0);
    AVStream* st = avformat_new_stream(out, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    st->codecpar->codec_id = AV_CODEC_ID_MOV_TEXT;
    st->time_base = AVRational{1, 1000};
    EXPECT_GE(avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    EXPECT_GE(avformat_write_header(out, nullptr), 0);
    AVPacket* pkt = av_packet_alloc();
    for (size_t i = 0; i < packets.size(); ++i) {
        av_new_packet(pkt, int(packets[i].size()));
        std::memcpy(pkt->data, packets[i].data(), packets[i].size());
        pkt->pts = pkt->dts = int64_t(i) * 100;
        pkt->duration = 100;
        pkt->stream_index = 0;
        EXPECT_GE(av_write_frame(out, pkt), 0);
        av_packet_unref(pkt);
    }
    av_packet_free(&pkt);
    av_write_trailer(out);
    avio_closep(&out->pb);
    avformat_free_context(out);
    return path;
}

std::string Packet(const std::string& text)
{
    std::string p;
    p += char(text.size() >> 8);
    p += char(text.size() & 0xFF);
    return p + text;
}

TEST_F(Extraction, TextTrackPacketsOfThreeTo150Bytes)
{
    std::string longest = "gsensor,2,2,2,";
    longest.resize(148, 'x');
    const std::vector<std::string> packets = {
        Packet("gsensor,1,1,1"),
        std::string("\0\0", 2),                      // 2 bytes: skipped
        Packet("A"),                                 // 3 bytes: a one-character line
        Packet(longest),                             // 150 bytes: read
        Packet(longest + "x"),                       // 151 bytes: skipped
        Packet(std::string("gsensor,3,3\0,3", 14)),  // a zero ends the line
        std::string("\0\x40gsensor,4,4,4", 15),      // the length field is not consulted
    };
    const fs::path file = WriteTextMp4(m_temp / "text.mp4", packets);
    ASSERT_TRUE(m_analysis->IsMP4Recording(Win(file)));
    const CTextData got = Extract(file);
    EXPECT_EQ(XOf(got), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(got.m_GSensorList.begin()->m_nZ, 1);
}

// ---------------------------------------------------------------------------------------------

TEST_F(Extraction, AnEntrysExtractionReplacesTheEarlierOne)
{
    // A recording with fixes but no G-sensor samples: once parsed it stays parsed, and a second
    // extraction does not add its fixes again.
    MiniAvi avi;
    avi.Text("GPRMC,233000.00,A,3733.0700,N,12659.2900,E,10.0,70.0,130526");
    RecFileInfo entry;
    entry.m_strPath = Win(Write("fixes.avi", avi.Build()));
    EXPECT_TRUE(m_analysis->ExtractEntryText(entry));
    EXPECT_TRUE(entry.m_bTextParsed);
    EXPECT_TRUE(entry.m_TextData.m_GSensorList.empty());
    EXPECT_EQ(entry.m_TextData.m_GPSList.size(), 1u);
    EXPECT_TRUE(m_analysis->ExtractEntryText(entry));
    EXPECT_EQ(entry.m_TextData.m_GPSList.size(), 1u);
}

TEST_F(Extraction, AnalysingWithExtractionFillsAndMarksBothFilesOfAPair)
{
    LeaveCriticalSection(&g_csExtractText);  // AnalysisFile takes it itself
    RecFileMap map;
    const fs::path front = Fixtures() / "single" / "pair" / "REC_2026_05_14_08_30_00_F.mp4";
    EXPECT_TRUE(
        m_analysis->AnalysisFile(Win(front), L"REC_2026_05_14_08_30_00_F.mp4", map, TRUE, 0));
    EnterCriticalSection(&g_csExtractText);
    ASSERT_EQ(map.size(), 2u);
    for (const auto& [key, entry] : map) {
        SCOPED_TRACE(platform::WideToAnsi(key));
        EXPECT_TRUE(entry.m_bTextParsed);
        EXPECT_EQ(entry.m_TextData.m_GPSList.size(), 2u) << "2 s, one fix a second";
        EXPECT_FALSE(entry.m_TextData.m_GSensorList.empty());
    }
    EXPECT_EQ(map.begin()->second.m_nChannel, CHANNEL_FRONT);
    EXPECT_EQ(map.rbegin()->second.m_nChannel, CHANNEL_REAR);
}

}  // namespace
