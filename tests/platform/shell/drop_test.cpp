// Files dropped on a window: which window gets them and what DragQueryFileW reads.
#include "shell_harness.h"

using namespace shelltest;

namespace {

class DroppedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_received.clear();
        g_inspect = [](Received& got) {
            if (got.message != WM_DROPFILES)
                return;
            HDROP drop = reinterpret_cast<HDROP>(got.wParam);
            UINT count = DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                wchar_t path[MAX_PATH];
                UINT length = DragQueryFileW(drop, i, path, MAX_PATH);
                EXPECT_EQ(length, DragQueryFileW(drop, i, nullptr, 0));
                got.files.push_back(path);
            }
            DragQueryPoint(drop, &got.point);
        };
        m_top = MakeWindow(L"Drop target", 100, 100, 300, 200);
        m_child = MakeWindow(L"", 50, 40, 100, 60, m_top);
        m_other = MakeWindow(L"No files", 500, 100, 100, 100);
        ASSERT_TRUE(m_top && m_child && m_other);
    }
    void TearDown() override
    {
        DestroyWindow(m_top);
        DestroyWindow(m_other);
        platform::testing::PumpMessages();
        g_inspect = nullptr;
    }
    HWND m_top = nullptr, m_child = nullptr, m_other = nullptr;
};

TEST_F(DroppedFiles, ReachTheAcceptingAncestorWithPathsAndPoint)
{
    DragAcceptFiles(m_top, TRUE);
    const std::vector<std::wstring> files = {L"E:\\evt_rec\\REC_2018_09_12_10_30_00_F.mp4",
                                             L"E:\\evt_rec\\REC_2018_09_12_10_30_00_R.mp4"};
    platform::testing::InjectFileDrop(170, 150, files);  // over the child
    platform::testing::InjectFileDrop(520, 120, {L"C:\\ignored.mp4"});  // accepts no files
    platform::testing::PumpMessages();

    auto drops = ReceivedOf(WM_DROPFILES);
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].window, m_top);
    EXPECT_EQ(drops[0].files, files);
    EXPECT_EQ(drops[0].point.x, 70);  // the top window's client coordinates
    EXPECT_EQ(drops[0].point.y, 50);

    // Reading is bounded by the buffer; a finished drop reads nothing.
    HDROP drop = reinterpret_cast<HDROP>(drops[0].wParam);
    wchar_t small[8];
    EXPECT_EQ(DragQueryFileW(drop, 0, small, 8), 7u);
    EXPECT_EQ(std::wstring(small), L"E:\\evt_");
    EXPECT_EQ(DragQueryFileW(drop, 2, small, 8), 0u);
    DragFinish(drop);
    EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0), 0u);
    DragFinish(drop);  // twice is harmless

    // Taken back: the same drop reaches nobody.
    g_received.clear();
    DragAcceptFiles(m_top, FALSE);
    platform::testing::InjectFileDrop(170, 150, files);
    platform::testing::PumpMessages();
    EXPECT_TRUE(ReceivedOf(WM_DROPFILES).empty());
}

TEST_F(DroppedFiles, TheChildThatAcceptsGetsThemItself)
{
    DragAcceptFiles(m_top, TRUE);
    DragAcceptFiles(m_child, TRUE);
    platform::testing::InjectFileDrop(160, 145, {L"C:\\a.avi"});
    platform::testing::InjectFileDrop(110, 110, {L"C:\\b.avi"});  // the top window, beside the child
    platform::testing::PumpMessages();
    auto drops = ReceivedOf(WM_DROPFILES);
    ASSERT_EQ(drops.size(), 2u);
    EXPECT_EQ(drops[0].window, m_child);
    EXPECT_EQ(drops[0].point.x, 10);
    EXPECT_EQ(drops[0].point.y, 5);
    EXPECT_EQ(drops[1].window, m_top);
    EXPECT_EQ(drops[1].files, std::vector<std::wstring>{L"C:\\b.avi"});
    for (const Received& got : drops)
        DragFinish(reinterpret_cast<HDROP>(got.wParam));
}

}  // namespace
