// Recording analysis on a card folder of small stand-in files: pairing, keys and channels, the
// folder scan and its order, name rules, the area search's strict bounds, and the shared
// instance used from two threads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel.h"
#include "platform/testing.h"
#include "playback/FileAnalysis.h"

namespace fs = std::filesystem;

namespace {

// A card folder as a removable drive. Files are stand-ins (a few bytes each): nothing here
// extracts telemetry, so nothing reads them.
class Card : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        fs::path base = build ? fs::path(build) / "tmp" : fs::temp_directory_path();
        fs::create_directories(base);
        std::string pattern = (base / "analysis-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_card = fs::canonical(pattern);
        m_root = platform::testing::AddRemovableDrive(m_card.string());
        m_analysis = CFileAnalysis::GetInstance();
    }
    void TearDown() override
    {
        CFileAnalysis::ReleaseInstance();
        platform::testing::RemoveRemovableDrive(m_root);
        fs::remove_all(m_card);
    }

    // Writes a file under the card (size bytes) and returns its Windows path.
    std::wstring Put(const std::string& relative, size_t size = 16)
    {
        fs::path p = m_card / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(size, 'x');
        return Win(relative);
    }
    std::wstring Win(const std::string& relative) const
    {
        std::wstring w = m_root + platform::AnsiToWide(relative);
        for (WCHAR& c : w)
            if (c == L'/')
                c = L'\\';
        return w;
    }
    static std::wstring NameOf(const std::wstring& path)
    {
        return path.substr(path.rfind(L'\\') + 1);
    }

    BOOL Analyse(const std::wstring& path, RecFileMap& map)
    {
        return m_analysis->AnalysisFile(path, NameOf(path), map, FALSE, 0);
    }

    // key -> channel, in map order.
    static std::vector<std::pair<std::wstring, int>> Channels(const RecFileMap& map)
    {
        std::vector<std::pair<std::wstring, int>> out;
        for (const auto& [key, entry] : map)
            out.emplace_back(key, entry.m_nChannel);
        return out;
    }

    fs::path m_card;
    std::wstring m_root;
    CFileAnalysis* m_analysis = nullptr;
};

using KeyChannels = std::vector<std::pair<std::wstring, int>>;

TEST_F(Card, EitherFileOfAPairInsertsBothWithTheirChannels)
{
    const std::wstring front = Put("cont_rec/REC_2018_09_12_10_30_00_F.mp4", 100);
    const std::wstring rear = Put("cont_rec/REC_2018_09_12_10_30_00_R.mp4", 200);
    const KeyChannels pair = {{L"REC_2018_09_12_10_30_00_F", CHANNEL_FRONT},
                              {L"REC_2018_09_12_10_30_00_R", CHANNEL_REAR}};
    for (const std::wstring& first : {front, rear}) {
        SCOPED_TRACE(platform::WideToAnsi(first));
        RecFileMap map;
        EXPECT_TRUE(Analyse(first, map));
        EXPECT_EQ(Channels(map), pair);
        EXPECT_EQ(map.at(L"REC_2018_09_12_10_30_00_F").m_nSize, 100u);
        EXPECT_EQ(map.at(L"REC_2018_09_12_10_30_00_R").m_nSize, 200u);
        EXPECT_EQ(map.at(L"REC_2018_09_12_10_30_00_F").m_nCodecState, CODEC_UNTESTED);
        EXPECT_FALSE(map.at(L"REC_2018_09_12_10_30_00_F").m_bTextParsed);
        // The other file of the pair changes nothing.
        EXPECT_TRUE(Analyse(first == front ? rear : front, map));
        EXPECT_EQ(Channels(map), pair);
    }
}

TEST_F(Card, ChannelsOfFilesWithoutPartners)
{
    struct Case {
        std::vector<std::string> files;
        std::string given;
        KeyChannels expected;
    };
    const Case cases[] = {
        {{"a/REC_2018_09_12_10_30_00_F.mp4"},
         "a/REC_2018_09_12_10_30_00_F.mp4",
         {{L"REC_2018_09_12_10_30_00_F", CHANNEL_SINGLE}}},
        {{"b/REC_2018_09_12_10_30_00_F.MP4", "b/REC_2018_09_12_10_30_00_R.mp4"},
         "b/REC_2018_09_12_10_30_00_F.MP4",
         {{L"REC_2018_09_12_10_30_00_F", CHANNEL_FRONT},
          {L"REC_2018_09_12_10_30_00_R", CHANNEL_REAR}}},
        // An AVI file is never paired.
        {{"c/REC_2018_09_12_10_30_00_F.avi", "c/REC_2018_09_12_10_30_00_R.avi"},
         "c/REC_2018_09_12_10_30_00_F.avi",
         {{L"REC_2018_09_12_10_30_00_F", CHANNEL_SINGLE}}},
        // A name that is no recording name has no partner.
        {{"d/holiday.mp4"}, "d/holiday.mp4", {{L"HOLIDAY", CHANNEL_SINGLE}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        for (const std::string& f : c.files)
            Put(f);
        RecFileMap map;
        EXPECT_TRUE(Analyse(Win(c.given), map));
        EXPECT_EQ(Channels(map), c.expected);
        EXPECT_EQ(map.begin()->second.m_strPath, Win(c.given));
    }
}

TEST_F(Card, FilesThatCannotBeReadAreNotInserted)
{
    RecFileMap map;
    EXPECT_FALSE(Analyse(Win("cont_rec/REC_2018_09_12_10_30_00_F.mp4"), map));
    EXPECT_TRUE(map.empty());
}

TEST_F(Card, KeysAreNamesWithoutExtensionInUpperCase)
{
    struct Case {
        const wchar_t* name;
        const wchar_t* key;
    };
    const Case cases[] = {
        {L"REC_2018_09_12_10_30_00_F.mp4", L"REC_2018_09_12_10_30_00_F"},
        {L"rec_a.Mp4", L"REC_A"},
        {L"Event_0001.AVI", L"EVENT_0001"},
        {L"\u00e9t\u00e9.avi", L"\u00e9T\u00e9"},  // only ASCII letters change
        {L".mp4", L""},
        {L"ab", L"AB"},  // shorter than an extension: the whole name
        {L"x", L"X"},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RecFileKey(c.name), c.key) << platform::WideToAnsi(c.name);
}

TEST_F(Card, ASecondFileWithTheSameKeyIsNotInserted)
{
    Put("cont_rec/clip.avi", 10);
    Put("cont_rec/CLIP.mp4", 20);
    RecFileMap map;
    EXPECT_TRUE(Analyse(Win("cont_rec/clip.avi"), map));
    EXPECT_TRUE(Analyse(Win("cont_rec/CLIP.mp4"), map));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at(L"CLIP").m_nSize, 10u);
}

TEST_F(Card, ScanListsRecordingsOfTheTreeFolderBeforeSubFolders)
{
    Put("cont_rec/REC_2018_09_12_10_30_00_R.mp4");
    Put("cont_rec/REC_2018_09_12_10_30_00_F.mp4");
    Put("cont_rec/REC_2018_09_12_10_31_00_F.MP4");
    Put("cont_rec/REC_2018_09_12_10_32_00_F.avi");
    Put("cont_rec/REC_2018_09_12_10_33_00_F.mp4", 0);  // empty: not listed
    Put("cont_rec/notes.txt");
    Put("cont_rec/mp4");
    Put("cont_rec/old/REC_2018_09_12_10_30_00_F.mp4", 99);  // same name below: ignored
    Put("cont_rec/old/deeper/REC_2018_09_12_09_00_00_F.avi");
    fs::create_directories(m_card / "cont_rec" / "empty.mp4");  // a folder, size 0

    RecFileMap map;
    m_analysis->ScanFolder(Win("cont_rec"), map);
    const KeyChannels expected = {
        {L"REC_2018_09_12_09_00_00_F", CHANNEL_SINGLE},
        {L"REC_2018_09_12_10_30_00_F", CHANNEL_FRONT},
        {L"REC_2018_09_12_10_30_00_R", CHANNEL_REAR},
        {L"REC_2018_09_12_10_31_00_F", CHANNEL_SINGLE},
        {L"REC_2018_09_12_10_32_00_F", CHANNEL_SINGLE},
    };
    EXPECT_EQ(Channels(map), expected);
    EXPECT_EQ(map.at(L"REC_2018_09_12_10_30_00_F").m_nSize, 16u);
    EXPECT_EQ(map.at(L"REC_2018_09_12_09_00_00_F").m_strPath,
              Win("cont_rec/old/deeper/REC_2018_09_12_09_00_00_F.avi"));
    for (const auto& [key, entry] : map)
        EXPECT_TRUE(entry.m_TextData.m_GPSList.empty()) << "a scan extracts nothing";

    RecFileMap none;
    m_analysis->ScanFolder(Win("missing"), none);
    EXPECT_TRUE(none.empty());
}

TEST_F(Card, ScanEndsInAFolderTreeWithLinkLoops)
{
    Put("cont_rec/REC_2018_09_12_10_30_00_F.mp4");
    Put("cont_rec/sub/REC_2018_09_12_10_40_00_F.avi");
    fs::create_directory_symlink("..", m_card / "cont_rec" / "sub" / "up");
    fs::create_directory_symlink(".", m_card / "cont_rec" / "sub" / "here");
    fs::create_directory_symlink(m_card / "cont_rec", m_card / "cont_rec" / "again");
    RecFileMap map;
    m_analysis->ScanFolder(Win("cont_rec"), map);
    EXPECT_EQ(map.size(), 2u);
}

TEST(RecordingNames, NewStyleNamesAreAviFilesWithTheirPrefix)
{
    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    struct Case {
        const wchar_t* path;
        BOOL newStyle;
    };
    const Case cases[] = {
        {L"E:\\cont_rec\\Rec_0001.avi", TRUE},
        {L"E:\\evt_rec\\Event_0001.AVI", TRUE},
        {L"Park_0001.avi", TRUE},
        {L"E:\\manual_rec\\Manual_0002.aVi", TRUE},
        {L"E:\\cont_rec\\Rec_0001.mp4", FALSE},
        {L"E:\\cont_rec\\rec_0001.avi", FALSE},
        {L"E:\\cont_rec\\REC_2018_09_12_10_30_00_F.avi", FALSE},
        {L"E:\\Rec_dir\\clip.avi", FALSE},
        {L"E:\\cont_rec\\Record.avi", FALSE},
        {L"E:\\cont_rec\\Rec_0001.avi.bak", FALSE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(analysis->IsNewNameFile(c.path), c.newStyle) << platform::WideToAnsi(c.path);
    EXPECT_FALSE(analysis->IsMP4Recording(L"E:\\cont_rec\\REC_2018_09_12_10_30_00_F.AVI"));
    CFileAnalysis::ReleaseInstance();
}

RecFileInfo WithFixes(std::vector<std::pair<double, double>> fixes)
{
    RecFileInfo entry;
    for (auto [latitude, longitude] : fixes) {
        CGPSData fix;
        fix.m_dLatitude = latitude;
        fix.m_dLongitude = longitude;
        entry.m_TextData.m_GPSList.push_back(fix);
    }
    return entry;
}

TEST(AreaSearch, OnlyFixesStrictlyInsideTheBoxCount)
{
    RecFileMap from;
    from[L"A_INSIDE"] = WithFixes({{100, 100}, {3733.5, 12659.5}});
    from[L"B_ON_BORDERS"] = WithFixes(
        {{3733, 12659.5}, {3734, 12659.5}, {3733.5, 12659}, {3733.5, 12700}, {3733, 12659}});
    from[L"C_SOUTH_WEST"] = WithFixes({{-3733.5, -12659.5}});
    from[L"D_NOT_PARSED"] = RecFileInfo();
    from[L"E_OUTSIDE"] = WithFixes({{3800, 12659.5}});
    from[L"F_KEPT"] = WithFixes({{3733.5, 12659.5}});

    RecFileMap to;
    to[L"F_KEPT"] = WithFixes({});
    to[L"F_KEPT"].m_nSize = 7;
    CFileAnalysis::FindRecordsInArea(3733, 3734, 12659, 12700, from, to);
    std::vector<std::wstring> keys;
    for (const auto& [key, entry] : to)
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"A_INSIDE", L"F_KEPT"}));
    EXPECT_EQ(to.at(L"A_INSIDE").m_TextData.m_GPSList.size(), 2u) << "a copy of the entry";
    EXPECT_EQ(to.at(L"F_KEPT").m_nSize, 7u) << "a key already there stays";

    RecFileMap south;
    CFileAnalysis::FindRecordsInArea(-3734, -3733, -12700, -12659, from, south);
    EXPECT_EQ(south.size(), 1u);
    EXPECT_TRUE(south.count(L"C_SOUTH_WEST"));
}

TEST(RecFileKeyOrder, KeysCompareAsUtf16CodeUnits)
{
    RecFileMap map;
    map[L"\U0001F600"] = RecFileInfo();  // a surrogate pair in UTF-16: D83D DE00
    map[L"\uFF21"] = RecFileInfo();      // FULLWIDTH A, one unit above the surrogates
    map[L"REC_B"] = RecFileInfo();
    map[L"REC_A"] = RecFileInfo();
    map[L"REC"] = RecFileInfo();
    std::vector<std::wstring> keys;
    for (const auto& [key, entry] : map)
        keys.push_back(key);
    EXPECT_EQ(keys,
              (std::vector<std::wstring>{L"REC", L"REC_A", L"REC_B", L"\U0001F600", L"\uFF21"}));
}

// The file-parsing thread and the user-interface thread get and release the instance at once;
// one side's release never ends the other's use (AddressSanitizer sees a use after a delete,
// ThreadSanitizer a race on the instance).
TEST(AnalysisInstance, SharedByThreadsUntilTheLastRelease)
{
    CFileAnalysis* held = CFileAnalysis::GetInstance();
    auto worker = [] {
        for (int i = 0; i < 2000; ++i) {
            CFileAnalysis* a = CFileAnalysis::GetInstance();
            EXPECT_FALSE(a->IsNewNameFile(L"x.mp4"));
            CFileAnalysis::ReleaseInstance();
        }
    };
    std::thread one(worker), two(worker);
    one.join();
    two.join();
    EXPECT_EQ(CFileAnalysis::GetInstance(), held);
    CFileAnalysis::ReleaseInstance();
    EXPECT_TRUE(held->IsNewNameFile(L"Rec_1.avi"));
    CFileAnalysis::ReleaseInstance();
    CFileAnalysis::ReleaseInstance();  // none left: nothing happens
}

}  // namespace
