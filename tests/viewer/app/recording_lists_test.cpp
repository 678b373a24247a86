// The six categories built from mkcard's cards of each kind and from damaged cards, where
// opened and dropped files belong, and taking one recording out of a list.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "app/RecordingLists.h"
#include "app/TessalyDlg.h"
#include "card_support.h"

using namespace cardtest;

namespace {

// Key and channel of every entry of a map, in its order.
std::vector<std::pair<std::wstring, int>> Entries(const RecFileMap& map)
{
    std::vector<std::pair<std::wstring, int>> entries;
    for (const auto& [key, info] : map)
        entries.emplace_back(key, info.m_nChannel);
    return entries;
}

std::wstring Key(int minute, char channel)
{
    wchar_t text[64];
    swprintf(text, 64, L"REC_2026_05_14_08_%02d_00_%c", minute, channel);
    return text;
}

class CardLists : public ::testing::Test {
protected:
    void SetUp() override { m_analysis = CFileAnalysis::GetInstance(); }
    void TearDown() override { CFileAnalysis::ReleaseInstance(); }

    CFileAnalysis* m_analysis = nullptr;
    RecFileMap m_maps[CATEGORY_COUNT];
};

TEST_F(CardLists, SixCategoriesOfAQ914Card)
{
    Drive drive("q914");
    drive.CopyCard("card");
    m_maps[CATEGORY_AREA][L"STALE"] = RecFileInfo();
    ScanCardFolders(*m_analysis, drive.Root(), "Q914", m_maps);
    using E = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(Entries(m_maps[CATEGORY_CONTINUOUS]),
              (E{{Key(30, 'F'), 1}, {Key(30, 'R'), 2}, {Key(31, 'F'), 1}, {Key(31, 'R'), 2},
                 {Key(32, 'F'), 0}}));
    EXPECT_EQ(Entries(m_maps[CATEGORY_EVENT]),
              (E{{Key(33, 'F'), 1}, {Key(33, 'R'), 2}, {Key(34, 'R'), 0}, {Key(40, 'F'), 1},
                 {Key(40, 'R'), 2}}));
    EXPECT_EQ(Entries(m_maps[CATEGORY_MANUAL]), (E{{Key(35, 'F'), 1}, {Key(35, 'R'), 2}}));
    EXPECT_EQ(Entries(m_maps[CATEGORY_MOTION]),
              (E{{Key(36, 'F'), 1}, {Key(36, 'R'), 2}, {Key(37, 'F'), 0}, {Key(38, 'F'), 1},
                 {Key(38, 'R'), 2}}));
    EXPECT_EQ(Entries(m_maps[CATEGORY_PARKING]), (E{{Key(39, 'F'), 1}, {Key(39, 'R'), 2}}));
    EXPECT_TRUE(m_maps[CATEGORY_AREA].empty());
    // The entries carry their files, not yet parsed.
    const RecFileInfo& entry = m_maps[CATEGORY_EVENT].at(Key(40, 'F'));
    EXPECT_EQ(entry.m_strPath, drive.Root() + L"DUALSAVE\\REC_2026_05_14_08_40_00_F.mp4");
    EXPECT_GT(entry.m_nSize, 0u);
    EXPECT_TRUE(entry.m_TextData.m_GSensorList.empty());

    // Any other model: the "DUALSAVE" folder is not the camera's.
    ScanCardFolders(*m_analysis, drive.Root(), "Q914 ", m_maps);
    EXPECT_EQ(m_maps[CATEGORY_EVENT].size(), 3u);
    EXPECT_EQ(m_maps[CATEGORY_EVENT].count(Key(40, 'F')), 0u);
}

TEST_F(CardLists, OlderAndAviCards)
{
    Drive old("oldcard");
    old.CopyCard("card-blackbox");
    ScanCardFolders(*m_analysis, old.Root(), "0", m_maps);
    EXPECT_EQ(m_maps[CATEGORY_CONTINUOUS].size(), 5u);
    for (int category = 1; category < CATEGORY_COUNT; ++category)
        EXPECT_TRUE(m_maps[category].empty()) << category;

    Drive avi("avicard");
    avi.CopyCard("avi/card");
    ScanCardFolders(*m_analysis, avi.Root(), "Q914", m_maps);
    using E = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(Entries(m_maps[CATEGORY_CONTINUOUS]), (E{{L"REC_0001", 0}, {L"REC_0002", 0}, {L"REC_0003", 0}}));
    // 08:34 has only a rear camera's recording, which an AVI camera does not write.
    EXPECT_EQ(Entries(m_maps[CATEGORY_EVENT]), (E{{L"EVENT_0004", 0}, {L"EVENT_0011", 0}}));
    EXPECT_EQ(m_maps[CATEGORY_MOTION].size(), 3u);
}

TEST_F(CardLists, DamagedCards)
{
    Drive drive("damaged");
    // Folders that are files, a folder in other letters, a zero-size and a foreign file, and
    // thousands of recordings in one folder.
    WriteFile(drive.Folder() / "cont_rec", "not a folder");
    WriteFile(drive.Folder() / "EVT_REC" / "REC_2026_05_14_09_00_00_F.MP4", "x");
    WriteFile(drive.Folder() / "EVT_REC" / "REC_2026_05_14_09_00_00_R.Mp4", "x");
    WriteFile(drive.Folder() / "EVT_REC" / "empty.mp4", "");
    WriteFile(drive.Folder() / "EVT_REC" / "notes.txt", "x");
    for (int i = 0; i < 5000; ++i) {
        char name[64];
        snprintf(name, sizeof name, "Park_%04d.avi", i);
        WriteFile(drive.Folder() / "parking_rec" / name, "x");
    }
    ScanCardFolders(*m_analysis, drive.Root(), "Q914", m_maps);
    EXPECT_TRUE(m_maps[CATEGORY_CONTINUOUS].empty());
    using E = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(Entries(m_maps[CATEGORY_EVENT]), (E{{L"REC_2026_05_14_09_00_00_F", 1}, {L"REC_2026_05_14_09_00_00_R", 2}}));
    EXPECT_EQ(m_maps[CATEGORY_PARKING].size(), 5000u);

    // A pulled card lists nothing.
    drive.Eject();
    ScanCardFolders(*m_analysis, L"E:\\", "Q914", m_maps);
    for (const RecFileMap& map : m_maps)
        EXPECT_TRUE(map.empty());
}

TEST(RecordingFiles, CategoryAndExtensionRules)
{
    struct {
        const wchar_t* path;
        bool recording, mp4;
        int category;
    } cases[] = {
        {L"E:\\cont_rec\\REC_2026_05_14_08_30_00_F.mp4", true, true, CATEGORY_CONTINUOUS},
        {L"E:\\evt_rec\\REC_2026_05_14_08_33_00_F.MP4", true, true, CATEGORY_EVENT},
        {L"E:\\DUALSAVE\\REC_2026_05_14_08_40_00_R.Mp4", true, true, CATEGORY_EVENT},
        {L"E:\\manual_rec\\Manual_0006.avi", true, false, CATEGORY_MANUAL},
        {L"E:\\motion_rec\\Park_0007.AVI", true, false, CATEGORY_MOTION},
        {L"E:\\motion_timelapse_rec\\REC_2026_05_14_08_38_00_F.mP4", true, true, CATEGORY_MOTION},
        {L"E:\\parking_rec\\REC_2026_05_14_08_39_00_F.mp4", true, true, CATEGORY_PARKING},
        {L"C:\\home\\me\\Videos\\trip.mp4", true, true, CATEGORY_CONTINUOUS},
        {L"E:\\Evt_Rec\\REC_2026_05_14_08_33_00_F.mp4", true, true, CATEGORY_CONTINUOUS},  // names are exact
        {L"trip.avi", true, false, CATEGORY_CONTINUOUS},
        {L"E:\\cont_rec\\notes.txt", false, false, CATEGORY_CONTINUOUS},
        {L"E:\\cont_rec\\mp4", false, false, CATEGORY_CONTINUOUS},
        {L"E:\\cont_rec\\x.mp4.bak", false, false, CATEGORY_CONTINUOUS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::WideToAnsi(c.path));
        EXPECT_EQ(IsRecordingPath(c.path), c.recording);
        EXPECT_EQ(IsMP4Path(c.path), c.mp4);
        std::wstring folder, file;
        SplitRecordingPath(c.path, &folder, &file);
        EXPECT_EQ(CategoryOfFolder(folder), c.category);
    }
    std::wstring folder, file;
    SplitRecordingPath(L"E:\\evt_rec\\REC_1.mp4", &folder, &file);
    EXPECT_EQ(folder, L"evt_rec");
    EXPECT_EQ(file, L"REC_1.mp4");
}

TEST(RecordingFiles, RemovingKeepsPairsConsistent)
{
    auto make = [](std::initializer_list<std::pair<const wchar_t*, int>> entries) {
        RecFileMap map;
        for (const auto& [key, channel] : entries) {
            RecFileInfo info;
            info.m_strPath = std::wstring(L"E:\\cont_rec\\") + key + L".mp4";
            info.m_nChannel = channel;
            map[key] = info;
        }
        return map;
    };
    using E = std::vector<std::pair<std::wstring, int>>;
    struct {
        const char* what;
        RecFileMap map;
        const wchar_t* key;
        E expected;
    } cases[] = {
        {"front of a pair", make({{L"A_F", 1}, {L"A_R", 2}, {L"B_F", 0}}), L"A_F", E{{L"A_R", 0}, {L"B_F", 0}}},
        {"rear of a pair", make({{L"A_F", 1}, {L"A_R", 2}, {L"B_F", 0}}), L"A_R", E{{L"A_F", 0}, {L"B_F", 0}}},
        // A front whose partner is not in this list (the map search copies entries one by
        // one), at the end of the map: nothing else changes.
        {"front at the end", make({{L"A_F", 1}, {L"A_R", 2}, {L"B_F", 1}}), L"B_F", E{{L"A_F", 1}, {L"A_R", 2}}},
        {"rear at the start", make({{L"A_R", 2}, {L"B_F", 1}, {L"B_R", 2}}), L"A_R", E{{L"B_F", 1}, {L"B_R", 2}}},
        {"neighbour of another pair", make({{L"A_F", 1}, {L"B_F", 1}, {L"B_R", 2}}), L"A_F",
         E{{L"B_F", 1}, {L"B_R", 2}}},
        {"single", make({{L"A_F", 0}, {L"A_R", 2}}), L"A_F", E{{L"A_R", 2}}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path;
        EXPECT_TRUE(RemoveRecording(c.map, c.key, &path));
        EXPECT_EQ(path, std::wstring(L"E:\\cont_rec\\") + c.key + L".mp4");
        EXPECT_EQ(Entries(c.map), c.expected);
    }
    RecFileMap empty;
    std::wstring path = L"unchanged";
    EXPECT_FALSE(RemoveRecording(empty, L"A_F", &path));
    EXPECT_EQ(path, L"unchanged");
}

}  // namespace
