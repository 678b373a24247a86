// The parsing walk over a real card's recording maps: progress, stop between recordings, the
// recording in the player left alone, and no recording extracted twice when the play command
// extracts at the same time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/FileParsing.h"
#include "platform/kernel.h"
#include "playback/FileAnalysis.h"

namespace fs = std::filesystem;

namespace {

const char* const kFolders[6] = {"cont_rec", "evt_rec", "manual_rec", "motion_rec", "parking_rec",
                                 nullptr};

class FileParsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* fixtures = std::getenv("KV_FIXTURES");
        ASSERT_TRUE(fixtures && *fixtures) << "run the test through ctest";
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        for (int i = 0; i < 6; ++i)
            if (kFolders[i])
                analysis->ScanFolder(
                    platform::ToWindowsPath((fs::path(fixtures) / "card" / kFolders[i]).string()),
                    m_maps[i]);
        CFileAnalysis::ReleaseInstance();
        ASSERT_GE(CountRecordings(m_maps, 6), 10u);
    }

    // One recording's telemetry read on its own, for comparison.
    static size_t GSensorCount(const std::wstring& path)
    {
        RecFileInfo entry;
        entry.m_strPath = path;
        EnterCriticalSection(&g_csExtractText);
        CFileAnalysis::GetInstance()->ExtractEntryText(entry);
        CFileAnalysis::ReleaseInstance();
        LeaveCriticalSection(&g_csExtractText);
        return entry.m_TextData.m_GSensorList.size();
    }

    RecFileMap m_maps[6];
};

}  // namespace

TEST_F(FileParsing, ReadsEveryRecordingOnceWithClimbingProgress)
{
    std::atomic<int> stop{0};
    std::vector<int> percents;
    ASSERT_TRUE(ParseRecordingMaps(m_maps, 6, stop, nullptr,
                                   [&](int percent) { percents.push_back(percent); }));
    const size_t n = CountRecordings(m_maps, 6);
    ASSERT_EQ(percents.size(), n);
    for (size_t k = 0; k < n; ++k)
        EXPECT_EQ(percents[k], int(float(k + 1) / float(n) * 100.0f));
    EXPECT_EQ(percents.back(), 100);
    for (const RecFileMap& map : m_maps)
        for (const auto& [key, entry] : map) {
            EXPECT_TRUE(entry.m_bTextParsed) << key;
            EXPECT_FALSE(entry.m_TextData.m_GSensorList.empty()) << key;
        }
    // A second run finds everything read: the percent still climbs, nothing is added.
    const RecFileInfo first = m_maps[0].begin()->second;
    percents.clear();
    ASSERT_TRUE(ParseRecordingMaps(m_maps, 6, stop, nullptr,
                                   [&](int percent) { percents.push_back(percent); }));
    EXPECT_EQ(percents.size(), n);
    EXPECT_EQ(m_maps[0].begin()->second.m_TextData.m_GSensorList.size(),
              first.m_TextData.m_GSensorList.size());
}

TEST_F(FileParsing, StopsBetweenRecordingsAndSkipsTheOneInThePlayer)
{
    std::atomic<int> stop{0};
    const CTextData* inPlayer = &m_maps[0].begin()->second.m_TextData;
    int calls = 0;
    EXPECT_FALSE(ParseRecordingMaps(m_maps, 6, stop, &inPlayer, [&](int) {
        if (++calls == 3)
            stop = 1;
    }));
    EXPECT_EQ(calls, 3);
    int parsed = 0;
    for (const RecFileMap& map : m_maps)
        for (const auto& [key, entry] : map)
            parsed += entry.m_bTextParsed ? 1 : 0;
    EXPECT_EQ(parsed, 2);  // the first entry is the player's
    EXPECT_FALSE(m_maps[0].begin()->second.m_bTextParsed);
    EXPECT_TRUE(m_maps[0].begin()->second.m_TextData.m_GSensorList.empty());

    // A stop asked before the walk starts reads nothing.
    RecFileMap fresh[6];
    fresh[0] = m_maps[1];
    std::atomic<int> stopped{1};
    EXPECT_FALSE(ParseRecordingMaps(fresh, 6, stopped, nullptr, nullptr));
    for (const auto& [key, entry] : fresh[0])
        EXPECT_FALSE(entry.m_bTextParsed) << key;
}

TEST_F(FileParsing, PlayCommandExtractingMeanwhileNeverDoublesATrack)
{
    // The user-interface thread's play command extracts recordings too, under the same lock and
    // the same test; each recording's samples must be those of one reading.
    std::vector<RecFileInfo*> entries;
    for (RecFileMap& map : m_maps)
        for (auto& [key, entry] : map)
            entries.push_back(&entry);
    std::atomic<int> stop{0};
    std::thread player([&] {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            EnterCriticalSection(&g_csExtractText);
            if (!(*it)->m_bTextParsed)
                CFileAnalysis::GetInstance()->ExtractEntryText(**it), CFileAnalysis::ReleaseInstance();
            LeaveCriticalSection(&g_csExtractText);
        }
    });
    EXPECT_TRUE(ParseRecordingMaps(m_maps, 6, stop, nullptr, nullptr));
    player.join();
    for (RecFileInfo* entry : entries)
        EXPECT_EQ(entry->m_TextData.m_GSensorList.size(), GSensorCount(entry->m_strPath))
            << std::string(entry->m_strPath.begin(), entry->m_strPath.end());
}

TEST(FileParsingEmpty, NoRecordingsEndsAtOnce)
{
    RecFileMap maps[6];
    std::atomic<int> stop{0};
    int calls = 0;
    EXPECT_TRUE(ParseRecordingMaps(maps, 6, stop, nullptr, [&](int) { ++calls; }));
    EXPECT_EQ(calls, 0);
}
