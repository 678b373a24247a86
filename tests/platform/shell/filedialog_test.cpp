// The file dialogs as the viewer opens recordings and saves one elsewhere, answered through
// testing.h.
#include "platform/mfc.h"
#include <fstream>

#include "shell_harness.h"

using namespace shelltest;
using platform::testing::FileDialogAnswer;

namespace {

constexpr const wchar_t* kOpenFilter =
    L"All (*.avi, *.mp4)|*.avi;*.mp4|AVI (*.avi)|*.avi|MP4 (*.mp4)|*.mp4||";

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::testing::ClearShownFileDialogs();
        platform::testing::ClearShownMessageBoxes();
        m_owner = MakeWindow(L"Owner", 0, 0, 100, 100);
        m_folder = MakeTempFolder("dialog");
        m_root = platform::ToWindowsPath(m_folder.string());
    }
    void TearDown() override
    {
        DestroyWindow(m_owner);
        fs::remove_all(m_folder);
    }
    HWND m_owner = nullptr;
    fs::path m_folder;
    std::wstring m_root;
};

TEST_F(FileDialogs, OpenTakesSeveralFilesAndShowsTheFilters)
{
    CWnd parent;
    parent.m_hWnd = m_owner;
    const std::vector<std::wstring> chosen = {m_root + L"\\evt_rec\\REC_1_F.mp4",
                                              m_root + L"\\evt_rec\\REC_1_R.mp4",
                                              m_root + L"\\cont_rec\\REC_2_F.avi"};
    platform::testing::AnswerFileDialogs({FileDialogAnswer{true, chosen}});
    CFileDialog dialog(TRUE, nullptr, L"*.avi;*.mp4", OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                       kOpenFilter, &parent);
    ASSERT_EQ(dialog.DoModal(), IDOK);
    std::vector<std::wstring> got;
    for (POSITION pos = dialog.GetStartPosition(); pos;)
        got.push_back(dialog.GetNextPathName(pos));
    EXPECT_EQ(got, chosen);
    EXPECT_EQ(dialog.GetPathName(), chosen[0]);
    EXPECT_EQ(dialog.GetFileTitle(), L"REC_1_F");
    EXPECT_EQ(dialog.GetFileExt(), L"mp4");
    parent.m_hWnd = nullptr;

    auto shown = platform::testing::ShownFileDialogs();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].save);
    EXPECT_EQ(shown[0].owner, m_owner);
    using Pair = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(shown[0].filters, (std::vector<Pair>{{L"All (*.avi, *.mp4)", L"*.avi;*.mp4"},
                                                   {L"AVI (*.avi)", L"*.avi"},
                                                   {L"MP4 (*.mp4)", L"*.mp4"}}));
    EXPECT_EQ(shown[0].filterIndex, 1u);
    EXPECT_EQ(shown[0].fileName, L"*.avi;*.mp4");
    EXPECT_TRUE(shown[0].flags & OFN_ALLOWMULTISELECT);

    // One file chosen in a dialog that allows several.
    platform::testing::AnswerFileDialogs({FileDialogAnswer{true, {chosen[2]}}});
    CFileDialog single(TRUE, nullptr, L"*.avi;*.mp4", OFN_ALLOWMULTISELECT, kOpenFilter);
    ASSERT_EQ(single.DoModal(), IDOK);
    POSITION pos = single.GetStartPosition();
    EXPECT_EQ(single.GetNextPathName(pos), chosen[2]);
    EXPECT_EQ(pos, nullptr);
}

TEST_F(FileDialogs, CancelledOrUnansweredDialogsChooseNothing)
{
    platform::testing::AnswerFileDialogs({FileDialogAnswer{false, {m_root + L"\\x.mp4"}}});
    CFileDialog first(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT, kOpenFilter);
    EXPECT_EQ(first.DoModal(), IDCANCEL);
    EXPECT_EQ(first.GetStartPosition(), nullptr);
    CFileDialog second(FALSE, L"avi", L"REC_1_F", OFN_OVERWRITEPROMPT, L"avi (*.avi)|*.avi||");
    EXPECT_EQ(second.DoModal(), IDCANCEL);  // the answers ran out
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    EXPECT_EQ(platform::testing::ShownFileDialogs().size(), 2u);
}

TEST_F(FileDialogs, SaveAddsTheExtensionAndAsksBeforeReplacing)
{
    std::ofstream(m_folder / "taken.mp4") << "old";
    platform::testing::AnswerFileDialogs({FileDialogAnswer{true, {m_root + L"\\taken"}},
                                          FileDialogAnswer{true, {m_root + L"\\taken"}},
                                          FileDialogAnswer{true, {m_root + L"\\fresh.MP4"}}});
    platform::testing::AnswerMessageBoxes({IDNO, IDYES});
    CFileDialog dialog(FALSE, L"mp4", L"REC_2018_09_10_12_30_45_F",
                       OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, L"mp4 (*.mp4)|*.mp4||");
    // Refused once, accepted the second time.
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), m_root + L"\\taken.mp4");
    auto boxes = platform::testing::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, L"taken.mp4 already exists.\nDo you want to replace it?");
    EXPECT_EQ(boxes[0].type & 0xF, UINT(MB_YESNO));

    auto shown = platform::testing::ShownFileDialogs();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[0].save);
    EXPECT_EQ(shown[0].fileName, L"REC_2018_09_10_12_30_45_F");
    EXPECT_EQ(shown[0].defaultExtension, L"mp4");

    // A name with its own extension keeps it; a new file asks nothing.
    platform::testing::ClearShownMessageBoxes();
    CFileDialog fresh(FALSE, L"mp4", L"x", OFN_OVERWRITEPROMPT, L"mp4 (*.mp4)|*.mp4||");
    ASSERT_EQ(fresh.DoModal(), IDOK);
    EXPECT_EQ(fresh.GetPathName(), m_root + L"\\fresh.MP4");
    EXPECT_TRUE(platform::testing::ShownMessageBoxes().empty());
}

TEST_F(FileDialogs, ResultsAreBoundedByTheCallersBuffer)
{
    std::wstring path = m_root + L"\\evt_rec\\REC_3_F.mp4";
    platform::testing::AnswerFileDialogs({FileDialogAnswer{true, {path}},
                                          FileDialogAnswer{true, {path}}});
    std::vector<wchar_t> small(10, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFile = small.data();
    ofn.nMaxFile = DWORD(small.size());
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(FNERR_BUFFERTOOSMALL));
    EXPECT_EQ(DWORD(small[0]), DWORD(path.size() + 1));

    std::vector<wchar_t> room(MAX_PATH, L'\0');
    wchar_t title[MAX_PATH];
    ofn.lpstrFile = room.data();
    ofn.nMaxFile = DWORD(room.size());
    ofn.lpstrFileTitle = title;
    ofn.nMaxFileTitle = MAX_PATH;
    ASSERT_TRUE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(std::wstring(room.data()), path);
    EXPECT_EQ(std::wstring(room.data() + ofn.nFileOffset), L"REC_3_F.mp4");
    EXPECT_EQ(std::wstring(room.data() + ofn.nFileExtension), L"mp4");
    EXPECT_EQ(std::wstring(title), L"REC_3_F.mp4");

    ofn.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameW(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
}

}  // namespace
