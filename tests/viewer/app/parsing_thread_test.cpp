// The dialog's file-parsing thread over a card's recordings: a whole run, and a stop that
// waits for the thread's end even after an abort request that did not wait.
#include "DialogFixture.h"

#include "app/FileParsing.h"
#include "playback/FileAnalysis.h"

namespace {

const wchar_t* const kFolders[] = {L"cont_rec", L"evt_rec", L"manual_rec", L"motion_rec",
                                   L"parking_rec"};

class ParsingThreadTest : public apptest::DialogFixture {
protected:
    // On the dialog's thread: no run goes on, then the maps hold the card's recordings, none
    // parsed.
    void FillMaps(const std::wstring& root)
    {
        CTessalyDlg& d = dlg();
        d.StopFileParsing();
        if (!g_hFileParsingEvent)
            g_hFileParsingEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        CFileAnalysis* analysis = CFileAnalysis::GetInstance();
        for (int i = 0; i < 5; ++i) {
            d.m_RecMaps[i].clear();
            analysis->ScanFolder(root + kFolders[i], d.m_RecMaps[i]);
        }
        CFileAnalysis::ReleaseInstance();
    }

    static int Parsed(const CTessalyDlg& d)
    {
        int n = 0;
        for (const RecFileMap& map : d.m_RecMaps)
            for (const auto& [key, entry] : map)
                n += entry.m_bTextParsed ? 1 : 0;
        return n;
    }
};

TEST_F(ParsingThreadTest, RunReadsEveryRecordingAndEndsSignalled)
{
    const std::wstring root = UseCard("card");
    StartDialog();
    size_t total = 0;
    OnUi([&] {
        FillMaps(root);
        total = CountRecordings(dlg().m_RecMaps, CATEGORY_COUNT);
        ResetEvent(g_hFileParsingEvent);
        dlg().StartFileParsing();
    });
    ASSERT_GE(total, 10u);
    ASSERT_EQ(WaitForSingleObject(g_hFileParsingEvent, 30000), WAIT_OBJECT_0);
    OnUi([&] {
        dlg().StopFileParsing();
        EXPECT_EQ(dlg().m_hParseThread, nullptr);
        EXPECT_EQ(dlg().m_bParseDone.load(), 1);
        EXPECT_EQ(dlg().m_nParsePercent.load(), 100);
        EXPECT_EQ(size_t(Parsed(dlg())), total);
    });
    CloseDialog();
}

TEST_F(ParsingThreadTest, StopAfterAnAbortRequestWaitsForTheThread)
{
    const std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] {
        FillMaps(root);
        SetEvent(g_hFileParsingEvent);  // a stale signal from an earlier run
        dlg().StartFileParsing();
        // The abort request of WM_PARSING_ABORT sets the flag without waiting; the stop that
        // follows (the card's removal) must still wait until the thread has let go of the maps.
        dlg().m_bParseDone = 1;
        dlg().StopFileParsing();
        EXPECT_EQ(dlg().m_hParseThread, nullptr);
        EXPECT_LT(Parsed(dlg()), int(CountRecordings(dlg().m_RecMaps, CATEGORY_COUNT)));
        // What the card's removal does next: the maps are emptied under no running thread.
        for (RecFileMap& map : dlg().m_RecMaps)
            map.clear();
    });
    // A stop while nothing runs returns at once, and a new run over empty maps ends at once.
    OnUi([&] {
        dlg().StopFileParsing();
        dlg().StartFileParsing();
        dlg().StopFileParsing();
        EXPECT_EQ(dlg().m_bParseDone.load(), 1);
    });
    CloseDialog();
}

TEST_F(ParsingThreadTest, LabelsShowTheRunAndGoThreeSecondsAfterItsEnd)
{
    const std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] {
        ASSERT_TRUE(dlg().m_lblParsing.m_hWnd);
        ASSERT_TRUE(dlg().m_lblParsePercent.m_hWnd);
        FillMaps(root);
        ResetEvent(g_hFileParsingEvent);
        dlg().StartFileParsing();
    });
    ASSERT_EQ(WaitForSingleObject(g_hFileParsingEvent, 30000), WAIT_OBJECT_0);
    // The thread's last request reaches the dialog: the percentage goes, the message stays.
    // (The thread's requests are posted in order, the message's showing after the percentage's.)
    ASSERT_TRUE(WaitUntil([&] {
        return dlg().m_lblParsing.IsWindowVisible() && !dlg().m_lblParsePercent.IsWindowVisible();
    }));
    const DWORD completed = GetTickCount();
    OnUi([&] {
        EXPECT_EQ(dlg().m_nParsePercent.load(), 100);
        EXPECT_EQ(dlg().m_lblParsePercent.GetText(), L"100%");
        EXPECT_EQ(dlg().m_lblParsing.GetText(), L"Loading GPS coordinates complete.");
    });
    // Three seconds later the message goes too, and the percentage stays hidden.
    ASSERT_TRUE(WaitUntil([&] { return !dlg().m_lblParsing.IsWindowVisible(); }));
    EXPECT_GE(GetTickCount() - completed, 2900u);
    OnUi([&] { EXPECT_FALSE(dlg().m_lblParsePercent.IsWindowVisible()); });
    CloseDialog();
}

TEST_F(ParsingThreadTest, StopRightAfterTheStartNeverBlocksEitherThread)
{
    // The thread shows its labels at once; the stopper waits without handling messages. Many
    // rounds, so that the stop falls on every moment of the start.
    const std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] {
        for (int round = 0; round < 20; ++round) {
            FillMaps(root);
            dlg().StartFileParsing();
            dlg().StopFileParsing();
            EXPECT_EQ(dlg().m_hParseThread, nullptr);
        }
    });
    Pump(200);
    // An aborted run leaves both labels hidden and starts no hiding timer.
    OnUi([&] {
        EXPECT_FALSE(dlg().m_lblParsing.IsWindowVisible());
        EXPECT_FALSE(dlg().m_lblParsePercent.IsWindowVisible());
    });
    CloseDialog();
}

TEST_F(ParsingThreadTest, ClosingDuringARunStopsItFirst)
{
    const std::wstring root = UseCard("card");
    StartDialog();
    OnUi([&] {
        FillMaps(root);
        dlg().StartFileParsing();
    });
    CloseDialog();  // the thread must not outlive the dialog's windows and maps
    EXPECT_FALSE(DialogRunning());
}

}  // namespace
