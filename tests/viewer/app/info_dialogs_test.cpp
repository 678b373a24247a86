// The device-information and update dialogs as the user sees them: their rows, texts and
// colours for records of every kind (garbage among them), and the update button's notice.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "DialogFixture.h"
#include "app/DeviceData.h"
#include "app/DeviceInfoDlg.h"
#include "app/UpdateDlg.h"
#include "card_support.h"

namespace {

namespace pt = platform::testing;

// Runs a dialog modally on a thread of its own, as the main dialog's thread would. The test
// thread reaches the dialog only through its window (found by its title), never the object.
class ModalRun {
public:
    ModalRun(CDialog& dialog, const wchar_t* title) : m_dialog(dialog), m_title(title)
    {
        m_hThread = CreateThread(nullptr, 0, &ModalRun::Thread, this, 0, &m_threadId);
    }
    ~ModalRun()
    {
        if (m_hWindow && IsWindow(m_hWindow))
            PostMessageW(m_hWindow, WM_COMMAND, IDOK, 0);
        WaitForSingleObject(m_hThread, 20000);
        CloseHandle(m_hThread);
    }
    // The dialog's window once its thread waits for input.
    HWND Wait()
    {
        for (int i = 0; i < 2000 && !m_hWindow; ++i) {
            HWND found = FindWindowW(nullptr, m_title);
            if (found && GetWindowThreadProcessId(found, nullptr) == m_threadId)
                m_hWindow = found;
            else
                Sleep(5);
        }
        pt::WaitForThreadIdle(m_threadId);
        return m_hWindow;
    }
    DWORD ThreadId() const { return m_threadId; }

private:
    static DWORD WINAPI Thread(LPVOID self)
    {
        static_cast<ModalRun*>(self)->m_dialog.DoModal();
        return 0;
    }
    CDialog& m_dialog;
    const wchar_t* m_title;
    HWND m_hWindow = nullptr;
    HANDLE m_hThread = nullptr;
    DWORD m_threadId = 0;
};

std::wstring TextOf(HWND dialog, int id)
{
    WCHAR text[256] = {};
    GetWindowTextW(GetDlgItem(dialog, id), text, 256);
    return text;
}

// A control's place in the dialog's client area (pixels); empty for a control of zero size.
RECT PlaceOf(HWND dialog, int id)
{
    RECT r = {};
    HWND control = GetDlgItem(dialog, id);
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool Shows(HWND dialog, int id)
{
    RECT r = PlaceOf(dialog, id);
    return IsWindowVisible(GetDlgItem(dialog, id)) && r.right > r.left && r.bottom > r.top;
}

class InfoDialogs : public apptest::DialogFixture {
protected:
    void TearDown() override
    {
        delete g_pBlackBoxData;
        g_pBlackBoxData = nullptr;
        g_fCardCapacityGB = 0;
        DialogFixture::TearDown();
    }
    void UseRecord(const std::string& bytes)
    {
        delete g_pBlackBoxData;
        g_pBlackBoxData = DeviceRecordFromBytes(bytes.data(), bytes.size()).release();
    }
};

TEST_F(InfoDialogs, DeviceInformationRowsForEachKindOfRecord)
{
    std::string blank = cardtest::DeviceRecord("R208 (B)");
    std::memset(&blank[224], 0, 4);   // no safety-camera version
    std::memset(&blank[356], 0, 104); // no MICOM version
    std::string partial = cardtest::DeviceRecord("Q914");
    std::memset(&partial[224], 0, 4);
    partial.replace(224, 4, std::string("\x01\x02\x03\x04", 4));
    struct Row {
        int caption;
        std::wstring captionText;
        int value;
        std::wstring valueText;
    };
    struct {
        const char* what;
        bool record;
        std::string bytes;
        float capacity;
        std::vector<Row> rows;   // the rows shown, top to bottom
        std::vector<int> hidden;  // captions not shown
    } cases[] = {
        {"full record", true, cardtest::DeviceRecord("Q914", 45), 29.72f,
         {{1009, L"Model Name", 1015, L"Q914"}, {1010, L"Firmware Ver.", 1016, L"1.05.002"},
          {1012, L"Memory Size", 1017, L"29.72 GB"}, {1013, L"Safety Camera Version", 1018, L"02.01.03.07"},
          {1014, L"MICOM Ver.", 1019, L"MC1.20"}, {1021, L"Local ID", 1020, L"45"}},
         {}},
        {"no safety camera, no MICOM", true, blank, 7.5f,
         {{1009, L"Model Name", 1015, L"R208 "}, {1010, L"Firmware Ver.", 1016, L"1.05.002"},
          {1012, L"Memory Size", 1017, L"7.50 GB"}, {1021, L"Local ID", 1020, L"0"}},
         {1013, 1014}},
        {"version bytes in order", true, partial, 0.5f,
         {{1009, L"Model Name", 1015, L"Q914"}, {1010, L"Firmware Ver.", 1016, L"1.05.002"},
          {1012, L"Memory Size", 1017, L"0.50 GB"}, {1013, L"Safety Camera Version", 1018, L"04.03.02.01"},
          {1014, L"MICOM Ver.", 1019, L"MC1.20"}, {1021, L"Local ID", 1020, L"0"}},
         {}},
        // A record without a zero byte anywhere: each text stops at the end of its field.
        {"garbage", true, std::string(764, 'A'), 1.0f,
         {{1009, L"Model Name", 1015, std::wstring(32, L'A')},
          {1010, L"Firmware Ver.", 1016, std::wstring(184, L'A')},
          {1012, L"Memory Size", 1017, L"1.00 GB"}, {1013, L"Safety Camera Version", 1018, L"65.65.65.65"},
          {1014, L"MICOM Ver.", 1019, std::wstring(104, L'A')}, {1021, L"Local ID", 1020, L"1094795585"}},
         {}},
        {"no record", false, "", 0.0f,
         {{1009, L"Model Name", 1015, L""}, {1010, L"Firmware Ver.", 1016, L""},
          {1012, L"Memory Size", 1017, L""}},
         {1013, 1014, 1021}},
    };
    CBbInfoDlg dialog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.record)
            UseRecord(c.bytes);
        else {
            delete g_pBlackBoxData;
            g_pBlackBoxData = nullptr;
        }
        g_fCardCapacityGB = c.capacity;
        ModalRun run(dialog, L"Dash Cam Info");
        HWND window = run.Wait();
        ASSERT_NE(window, nullptr);
        WCHAR title[64] = {};
        GetWindowTextW(window, title, 64);
        EXPECT_STREQ(title, L"Dash Cam Info");
        for (size_t r = 0; r < c.rows.size(); ++r) {
            const Row& row = c.rows[r];
            EXPECT_EQ(TextOf(window, row.caption), row.captionText);
            EXPECT_TRUE(Shows(window, row.caption)) << row.caption;
            EXPECT_EQ(PlaceOf(window, row.caption).top, LONG(26 + 33 * r)) << row.caption;
            EXPECT_EQ(PlaceOf(window, row.caption).left, 15);
            if (c.record) {
                EXPECT_EQ(TextOf(window, row.value), row.valueText);
                EXPECT_TRUE(Shows(window, row.value)) << row.value;
                EXPECT_EQ(PlaceOf(window, row.value).top, LONG(26 + 33 * r));
            } else {
                EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, row.value)));
            }
        }
        for (int id : c.hidden)
            EXPECT_FALSE(Shows(window, id)) << id;
        RECT client;
        GetClientRect(window, &client);
        RECT ok = PlaceOf(window, IDOK);
        EXPECT_EQ(ok.left, client.right - 85);
        EXPECT_EQ(ok.top, client.bottom - 35);

        apptest::Pixels pixels = apptest::ReadWindow(window);
        // One line between every two rows, none below the last.
        for (size_t r = 0; r + 1 < c.rows.size(); ++r)
            EXPECT_EQ(pixels.At(200, int(46 + 33 * r)), 0xA3B5C6u) << r;
        EXPECT_EQ(pixels.At(200, int(46 + 33 * (c.rows.size() - 1))), 0xFFFFFFu);
        if (c.record) {
            // The values are orange on white.
            EXPECT_GT(pixels.CountDiffering(PlaceOf(window, 1016), 0xFFFFFF), 0);
            RECT value = PlaceOf(window, 1017);
            int orange = 0;
            for (int y = value.top; y < value.bottom; ++y)
                for (int x = value.left; x < value.right; ++x) {
                    uint32_t p = pixels.At(x, y);
                    orange += (p >> 16) > 0xC0 && ((p >> 8) & 0xFF) > 0x60 && (p & 0xFF) < 0x80;
                }
            EXPECT_GT(orange, 10);
        }
        std::string shot = std::string("bbinfo_") + (c.record ? "" : "none_") +
                           std::to_string(c.rows.size()) + ".png";
        pt::SaveWindowPng(window, apptest::BuildDir() + "/" + shot);
    }
}

TEST_F(InfoDialogs, UpdateDialogTextsAndItsNotice)
{
    g_strAppVersion = L"1.0.0.02";
    CUpdateDlg dialog;
    ModalRun run(dialog, L"Update");
    HWND window = run.Wait();
    ASSERT_NE(window, nullptr);
    WCHAR title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Update");
    EXPECT_EQ(TextOf(window, 1004), L"Viewer Ver.");
    EXPECT_EQ(TextOf(window, 1005), L"Update to the latest version");
    EXPECT_EQ(TextOf(window, 1006), L"1.0.0.02");
    EXPECT_EQ(TextOf(window, 1007), L"Update");
    EXPECT_EQ(TextOf(window, IDOK), L"Ok");
    pt::SaveWindowPng(window, apptest::BuildDir() + "/update_dialog.png");

    // The installed version is orange.
    apptest::Pixels pixels = apptest::ReadWindow(window);
    RECT version = PlaceOf(window, 1006);
    int orange = 0;
    for (int y = version.top; y < version.bottom; ++y)
        for (int x = version.left; x < version.right; ++x) {
            uint32_t p = pixels.At(x, y);
            orange += (p >> 16) > 0xC0 && ((p >> 8) & 0xFF) > 0x60 && (p & 0xFF) < 0x80;
        }
    EXPECT_GT(orange, 10);

    // The update button only shows the notice; the dialog stays.
    pt::ClearShownMessageBoxes();
    pt::AnswerMessageBoxes({IDOK});
    RECT button;
    GetWindowRect(GetDlgItem(window, 1007), &button);
    pt::InjectClick((button.left + button.right) / 2, (button.top + button.bottom) / 2);
    Eventually([&] {
        pt::WaitForThreadIdle(run.ThreadId());
        return !pt::ShownMessageBoxes().empty();
    }, 20000);
    std::vector<pt::ShownMessageBox> boxes = pt::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"작업 중.");
    EXPECT_EQ(boxes[0].caption, L"알림");
    EXPECT_EQ(boxes[0].type & 0xF, UINT(MB_OK));
    EXPECT_EQ(boxes[0].owner, window);
    pt::WaitForThreadIdle(run.ThreadId());
    EXPECT_TRUE(IsWindow(window));
}

}  // namespace
