// The map search's area from the real map page: a recording's track drawn with the dialog's
// call, the page's answer to the extent query read and searched over a card's recordings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "WebFormFixture.h"
#include "app/MapScript.h"
#include "playback/FileAnalysis.h"

namespace fs = std::filesystem;

namespace {

class MapArea : public WebFormFixture {};

TEST_F(MapArea, TheShownTrackFindsItsRecordingsAndNoOthers)
{
    const char* fixtures = std::getenv("KV_FIXTURES");
    const char* build = std::getenv("KV_BUILD_DIR");
    ASSERT_TRUE(fixtures && build) << "run the test through ctest";
    RecFileMap map;
    CFileAnalysis* analysis = CFileAnalysis::GetInstance();
    analysis->ScanFolder(platform::ToWindowsPath((fs::path(fixtures) / "card" / "cont_rec").string()),
                         map);
    EnterCriticalSection(&g_csExtractText);
    for (auto& [key, entry] : map)
        analysis->ExtractEntryText(entry);
    LeaveCriticalSection(&g_csExtractText);
    CFileAnalysis::ReleaseInstance();
    const std::wstring drawn = L"REC_2026_05_14_08_30_00_F";
    ASSERT_EQ(map.count(drawn), 1u);
    ASSERT_EQ(map.count(L"REC_2026_05_14_08_32_00_F"), 1u);

    m_form->Navigate(platform::ToWindowsPath((fs::path(build) / "bin" / "mapView.htm").string()).c_str());
    for (const wchar_t* call : {kMapInitialize, kMapRemovePolyLine, kMapRemovePoint, kMapMoveToOrigin})
        m_form->ExecScript(MapScriptBytes(call));
    const std::wstring track = MapTrackText(map.at(drawn).m_TextData.m_GPSList);
    ASSERT_FALSE(track.empty());
    m_form->ExecScript(MapScriptBytes(AddPolyLineScript(track)));

    MapExtent extent;
    const std::wstring answer = m_form->RunScriptAndReadValue(kMapGetExtent);
    ASSERT_TRUE(ParseMapExtent(answer, extent)) << std::string(answer.begin(), answer.end());
    EXPECT_LT(extent.west, extent.east);
    EXPECT_GT(extent.north, extent.south);
    RecFileMap found;
    FindRecordsInExtent(extent, map, found);
    EXPECT_EQ(found.count(drawn), 1u);
    EXPECT_EQ(found.count(L"REC_2026_05_14_08_30_00_R"), 1u);  // its partner, same place and time
    EXPECT_EQ(found.count(L"REC_2026_05_14_08_32_00_F"), 0u);  // two minutes further on
}

}  // namespace
