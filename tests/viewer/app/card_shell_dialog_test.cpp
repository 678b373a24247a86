// The dialog's outward duties on a card: the launcher notice at start, card-out, card-in and
// close (the exact 36 bytes, through the launcher stand-in in another process), the camera's
// settings program started only from inside the card, dropped and opened files, and save-as
// with its dialog and its failure shown.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../../support/launcher/LauncherProcess.h"
#include "DialogFixture.h"
#include "app/DeviceData.h"
#include "card_support.h"
#include "platform/shell.h"

namespace {

namespace fs = std::filesystem;
namespace pt = platform::testing;
using launchertest::LauncherProcess;

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

// The notice's bytes as the stand-in prints them.
std::string NoticeHex(const std::string& line)
{
    std::istringstream in(line);
    std::string word, id, size, hex;
    in >> word >> id >> size >> hex;
    return word == "notice" && id == "2014" && size == "36" ? hex : "bad: " + line;
}

class CardShellDialog : public apptest::DialogFixture {
protected:
    fs::path Card() const { return fs::path(TempDir()) / "card"; }
    std::vector<std::pair<std::wstring, int>> Rows()
    {
        std::vector<std::pair<std::wstring, int>> rows;
        OnUi([&] {
            for (int i = 0; i < dlg().m_listPlay.GetItemCount(); ++i)
                rows.emplace_back(dlg().m_listPlay.GetItem(i).title, dlg().m_listPlay.GetItem(i).pairType);
        });
        return rows;
    }
};

TEST_F(CardShellDialog, LauncherHearsTheCardAtStartCardOutAndClose)
{
    LauncherProcess launcher;
    ASSERT_EQ(launcher.ReadLine(), "ready");
    std::wstring root = UseCard("card");
    StartDialog();
    std::string record = cardtest::ReadFile(Card() / "setting" / "setup.cfg");
    ASSERT_EQ(record.size(), 764u);
    std::string drive = platform::WideToAnsi(root);
    std::string expected = record.substr(40, 10) + record.substr(8, 16) + drive +
                           std::string(10 - drive.size(), '\0');
    EXPECT_EQ(NoticeHex(launcher.ReadLine()), Hex(expected));
    // The card taken out through the layer: the card check closes it once the drive settles.
    RemoveCard();
    EXPECT_EQ(NoticeHex(launcher.ReadLine()), Hex(std::string(36, '\0')));
    OnUi([&] { EXPECT_TRUE(g_strCardDrive.empty()); });
    // Put in again while the viewer runs: the launcher hears of it as at start.
    std::wstring again = pt::AddRemovableDrive(Card().string());
    drive = platform::WideToAnsi(again);
    expected = record.substr(40, 10) + record.substr(8, 16) + drive + std::string(10 - drive.size(), '\0');
    EXPECT_EQ(NoticeHex(launcher.ReadLine()), Hex(expected));
    OnUi([&] { EXPECT_EQ(g_strCardDrive, again); });
    CloseDialog();
    EXPECT_EQ(NoticeHex(launcher.ReadLine()), Hex(std::string(36, '\0')));
    EXPECT_EQ(launcher.Finish(), 0);
    pt::RemoveRemovableDrive(again);
}

TEST_F(CardShellDialog, OlderCardSendsNoNoticeAndRunsItsFixedProgram)
{
    LauncherProcess launcher;
    ASSERT_EQ(launcher.ReadLine(), "ready");
    std::wstring root = UseCard("card-blackbox");
    fs::path program = fs::path(TempDir()) / "card-blackbox" / "setting" / "R208_Setting.exe";
    cardtest::WriteFile(program, "#!/bin/sh\necho ran > ran.txt\n");
    fs::permissions(program, fs::perms::owner_all);
    StartDialog();
    pt::ClearShownMessageBoxes();
    OnUi([&] { dlg().RunSettingsProgram(); });
    EXPECT_TRUE(Eventually([&] { return fs::exists(program.parent_path() / "ran.txt"); }, 20000));
    EXPECT_TRUE(pt::ShownMessageBoxes().empty());
    // No notice for this kind of card.
    OnUi([&] { EXPECT_TRUE(dlg().FindSDCard()); });
    CloseDialog();
    EXPECT_EQ(launcher.Finish(), 0);
    // Only the close's zero notice reached it.
    EXPECT_EQ(NoticeHex(launcher.ReadLine()), Hex(std::string(36, '\0')));
    EXPECT_EQ(launcher.ReadLine(), "");
}

TEST_F(CardShellDialog, SettingsProgramOutsideTheCardIsNotRun)
{
    std::wstring root = UseCard("card");
    // The record names a program beside the card, not on it.
    std::string record = cardtest::ReadFile(Card() / "setting" / "setup.cfg");
    std::string escape = "../outside.sh";
    record.replace(228, 128, std::string(128, '\0'));
    record.replace(228, escape.size(), escape);
    cardtest::WriteFile(Card() / "setting" / "setup.cfg", record);
    fs::path outside = fs::path(TempDir()) / "outside.sh";
    cardtest::WriteFile(outside, "#!/bin/sh\necho ran > ran_outside.txt\n");
    fs::permissions(outside, fs::perms::owner_all);
    StartDialog();
    pt::ClearShownMessageBoxes();
    pt::AnswerMessageBoxes({IDOK});
    OnUi([&] { dlg().RunSettingsProgram(); });
    Sleep(200);
    EXPECT_FALSE(fs::exists(fs::path(TempDir()) / "ran_outside.txt"));
    ASSERT_EQ(pt::ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(pt::ShownMessageBoxes()[0].text, L"Cannot find setting files on the memory card.");
    EXPECT_EQ(pt::ShownMessageBoxes()[0].caption, L"Tessaly");

    // Without a card: the same message.
    OnUi([&] { dlg().OnSDCardOut(); });
    pt::AnswerMessageBoxes({IDOK});
    OnUi([&] { dlg().RunSettingsProgram(); });
    EXPECT_EQ(pt::ShownMessageBoxes().size(), 2u);
    CloseDialog();
}

TEST_F(CardShellDialog, DroppedAndOpenedFilesWithoutACard)
{
    // Recordings outside any card.
    fs::path files = fs::path(TempDir()) / "files";
    std::string fixtures = apptest::FixturesDir();
    fs::create_directories(files / "evt_rec");
    for (const char* name : {"REC_2026_05_14_08_30_00_F.mp4", "REC_2026_05_14_08_30_00_R.mp4"})
        fs::copy(fs::path(fixtures) / "single" / "pair" / name, files / "evt_rec" / name);
    fs::copy(fs::path(fixtures) / "avi" / "Rec_0001.avi", files / "Rec_0001.avi");
    auto win = [](const fs::path& p) { return platform::ToWindowsPath(p.string()); };
    StartDialog();

    // Opening only AVI files leaves the play type locked.
    pt::AnswerFileDialogs({{true, {win(files / "Rec_0001.avi")}}});
    OnUi([&] { dlg().OpenRecordingFiles(); });
    std::vector<pt::ShownFileDialog> shown = pt::ShownFileDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].save);
    EXPECT_EQ(shown[0].fileName, L"*.avi;*.mp4");
    ASSERT_EQ(shown[0].filters.size(), 3u);
    EXPECT_EQ(shown[0].filters[0].second, L"*.avi;*.mp4");
    EXPECT_TRUE(shown[0].flags & OFN_ALLOWMULTISELECT);
    OnUi([&] {
        EXPECT_EQ(dlg().m_RecMaps[CATEGORY_CONTINUOUS].size(), 1u);
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_bMP4Mode, 0);
        EXPECT_EQ(dlg().m_bPlayTypeLocked, 1);
    });
    // A cancelled dialog changes nothing.
    pt::AnswerFileDialogs({{false, {}}});
    OnUi([&] { dlg().OpenRecordingFiles(); });

    // Dropping the front file of a pair from "evt_rec", with a file of another kind beside it.
    RECT rect;
    GetWindowRect(hwnd(), &rect);
    pt::InjectFileDrop(rect.left + 200, rect.top + 200,
                       {win(files / "evt_rec" / "REC_2026_05_14_08_30_00_F.mp4"), win(files / "notes.txt")});
    // The drop reaches the dialog through its input queue.
    WaitUntil([&] { return dlg().m_RecMaps[CATEGORY_EVENT].size() == 2; });
    using R = std::vector<std::pair<std::wstring, int>>;
    // Another list than the one shown: it fills, the shown one stays.
    EXPECT_EQ(Rows(), (R{{L"REC_0001", 0}}));
    OnUi([&] {
        EXPECT_EQ(dlg().m_RecMaps[CATEGORY_EVENT].size(), 2u);
        EXPECT_EQ(dlg().m_RecMaps[CATEGORY_CONTINUOUS].size(), 1u);
        EXPECT_TRUE(dlg().m_btnListNorShock.IsWindowEnabled());
        dlg().SendMessage(WM_COMMAND, ID_BTN_LIST_NORSHOCK, 0);
    });
    EXPECT_EQ(Rows(), (R{{L"REC_2026_05_14_08_30_00_F", 1}, {L"REC_2026_05_14_08_30_00_R", 2}}));
    CloseDialog();
}

// The parsing thread walks the lists without a lock: a file dropped while it reads the card is
// added only once the run has stopped, and the run starts again over the changed lists.
TEST_F(CardShellDialog, AFileDroppedWhileTheCardIsReadWaitsForTheRunAndTheRunGoesOnAfter)
{
    fs::path files = fs::path(TempDir()) / "files" / "evt_rec";
    fs::create_directories(files);
    // The fixture pair under a time the card does not hold.
    for (std::string channel : {"F", "R"})
        fs::copy(fs::path(apptest::FixturesDir()) / "single" / "pair" /
                     ("REC_2026_05_14_08_30_00_" + channel + ".mp4"),
                 files / ("REC_2026_05_14_09_30_00_" + channel + ".mp4"));
    UseCard("card");
    StartDialog();
    // Every listed recording read, and no run going on.
    auto allRead = [&] {
        if (dlg().m_bParseDone == 0)
            return false;
        for (const RecFileMap& map : dlg().m_RecMaps)
            for (const auto& [key, entry] : map)
                if (!entry.m_bTextParsed)
                    return false;
        return true;
    };
    ASSERT_TRUE(WaitUntil(allRead, 60000));
    // A run over the card again, held on the extraction lock so that it cannot get through.
    EnterCriticalSection(&g_csExtractText);
    OnUi([&] { dlg().StartFileParsing(); });
    RECT rect;
    GetWindowRect(hwnd(), &rect);
    pt::InjectFileDrop(rect.left + 200, rect.top + 200,
                       {platform::ToWindowsPath((files / "REC_2026_05_14_09_30_00_F.mp4").string())});
    // The drop asks the held run to stop and waits for its end before it changes the lists.
    const bool asked = Eventually([&] { return dlg().m_bParseDone.load() == 1; }, 20000);
    LeaveCriticalSection(&g_csExtractText);
    EXPECT_TRUE(asked) << "the drop changed the lists under a running parse";
    // The pair is listed with its telemetry, and the run started again reads every recording.
    EXPECT_TRUE(WaitUntil([&] { return dlg().m_RecMaps[CATEGORY_EVENT].size() == 7; }, 10000));
    EXPECT_TRUE(WaitUntil(allRead, 30000));
    OnUi([&] {
        const RecFileInfo& dropped = dlg().m_RecMaps[CATEGORY_EVENT].at(L"REC_2026_05_14_09_30_00_F");
        EXPECT_EQ(dropped.m_nChannel, 1);
        EXPECT_FALSE(dropped.m_TextData.m_GSensorList.empty());
    });
    CloseDialog();
}

TEST_F(CardShellDialog, SaveAsCopiesTheRecordingsOwnFileAndReportsAFailure)
{
    std::wstring root = UseCard("card");
    StartDialog();
    // The recording in the player is from the event list, while the continuous list is shown.
    const std::wstring title = L"REC_2026_05_14_08_33_00_F";
    OnUi([&] {
        dlg().m_strPlayingTitle = title;
        EXPECT_EQ(dlg().m_nShownCategory, 0);
    });
    fs::path target = fs::path(TempDir()) / "saved.mp4";
    pt::ClearShownFileDialogs();
    pt::AnswerFileDialogs({{true, {platform::ToWindowsPath(target.string())}}});
    OnUi([&] { dlg().SaveRecordingAs(); });
    std::vector<pt::ShownFileDialog> shown = pt::ShownFileDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].save);
    EXPECT_EQ(shown[0].fileName, title);
    EXPECT_EQ(shown[0].defaultExtension, L"mp4");
    EXPECT_TRUE(shown[0].flags & OFN_OVERWRITEPROMPT);
    ASSERT_TRUE(fs::exists(target));
    EXPECT_EQ(cardtest::ReadFile(target),
              cardtest::ReadFile(Card() / "evt_rec" / "REC_2026_05_14_08_33_00_F.mp4"));

    // Into a folder that does not exist: the user is told.
    pt::ClearShownMessageBoxes();
    pt::AnswerMessageBoxes({IDOK});
    pt::AnswerFileDialogs({{true, {platform::ToWindowsPath((fs::path(TempDir()) / "none" / "x.mp4").string())}}});
    OnUi([&] { dlg().SaveRecordingAs(); });
    ASSERT_EQ(pt::ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(pt::ShownMessageBoxes()[0].caption, L"Save As");

    // Onto its own file: nothing is copied and the recording stays whole.
    std::string before = cardtest::ReadFile(Card() / "evt_rec" / "REC_2026_05_14_08_33_00_F.mp4");
    pt::AnswerMessageBoxes({IDYES});
    pt::AnswerFileDialogs({{true, {root + L"evt_rec\\REC_2026_05_14_08_33_00_F.mp4"}}});
    OnUi([&] { dlg().SaveRecordingAs(); });
    EXPECT_EQ(cardtest::ReadFile(Card() / "evt_rec" / "REC_2026_05_14_08_33_00_F.mp4"), before);

    // Nothing in the player: no dialog.
    pt::ClearShownFileDialogs();
    OnUi([&] {
        dlg().m_strPlayingTitle.clear();
        dlg().SaveRecordingAs();
    });
    EXPECT_TRUE(pt::ShownFileDialogs().empty());
    CloseDialog();
}

// The card pulled while the save dialog is up (zenity, here a stand-in on PATH that takes the
// card away and waits until the viewer has seen it go): the copy finds no recording, the user
// is told, and the viewer is left without a card, its lists empty and its registry intact.
TEST_F(CardShellDialog, TheCardPulledWhileSavingAsLeavesNoCardAndSaysTheCopyFailed)
{
    UseCard("card");
    const fs::path bin = fs::path(TempDir()) / "bin";
    const fs::path target = fs::path(TempDir()) / "saved.mp4";
    cardtest::WriteFile(bin / "zenity", "#!/bin/sh\nrm -rf '" + Card().string() +
                                            "'\nsleep 6\necho '" + target.string() + "'\n");
    fs::permissions(bin / "zenity", fs::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    StartDialog();
    OnUi([&] { dlg().m_strPlayingTitle = L"REC_2026_05_14_08_33_00_F"; });
    pt::ClearShownMessageBoxes();
    pt::AnswerMessageBoxes({IDOK});
    OnUi([&] {
        dlg().SaveRecordingAs();
        // The card check ran while zenity was up.
        EXPECT_TRUE(g_strCardDrive.empty());
        EXPECT_EQ(g_pBlackBoxData, nullptr);
        for (const RecFileMap& map : dlg().m_RecMaps)
            EXPECT_TRUE(map.empty());
        EXPECT_TRUE(dlg().m_listPlay.GetLock());
    });
    setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(fs::exists(target));
    ASSERT_EQ(pt::ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(pt::ShownMessageBoxes()[0].caption, L"Save As");
    WCHAR language[64] = {};
    CTessalyDlg::RegReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KESTROVAN\\", L"LANGUAGE", language,
                               sizeof language);
    EXPECT_STREQ(language, L"english");
    CloseDialog();
}

TEST_F(CardShellDialog, ADroppedPairStartsTheNormalModeWithoutACard)
{
    fs::path files = fs::path(TempDir()) / "files" / "evt_rec";
    fs::create_directories(files);
    for (const char* name : {"REC_2026_05_14_08_30_00_F.mp4", "REC_2026_05_14_08_30_00_R.mp4"})
        fs::copy(fs::path(apptest::FixturesDir()) / "single" / "pair" / name, files / name);
    StartDialog();
    OnUi([&] { EXPECT_TRUE(dlg().m_listPlay.GetLock()); });
    RECT rect;
    GetWindowRect(hwnd(), &rect);
    pt::InjectFileDrop(rect.left + 200, rect.top + 200,
                       {platform::ToWindowsPath((files / "REC_2026_05_14_08_30_00_F.mp4").string())});
    // The drop reaches the dialog through its input queue.
    WaitUntil([&] { return dlg().m_listPlay.GetItemCount() == 2; });
    using R = std::vector<std::pair<std::wstring, int>>;
    EXPECT_EQ(Rows(), (R{{L"REC_2026_05_14_08_30_00_F", 1}, {L"REC_2026_05_14_08_30_00_R", 2}}));
    OnUi([&] {
        EXPECT_FALSE(dlg().m_listPlay.GetLock());
        EXPECT_EQ(dlg().m_nShownCategory, int(CATEGORY_EVENT));
        EXPECT_EQ(dlg().m_bMP4Mode, 1);
        EXPECT_EQ(dlg().m_bPlayTypeLocked, 0);
        EXPECT_TRUE(dlg().m_btnListNormal.GetCheck());
    });
    SaveShot("card_lists_dropped_pair.png");
    CloseDialog();
}

}  // namespace
