#include "DialogFixture.h"

#include <cstdlib>
#include <filesystem>

#include "platform/gdiplus.h"
#include "ui/DPIScale.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace fs = std::filesystem;

namespace apptest {

int Pixels::CountDiffering(RECT r, uint32_t ground, int tolerance) const
{
    int n = 0;
    for (int y = std::max(0, int(r.top)); y < std::min(int(size.cy), int(r.bottom)); ++y)
        for (int x = std::max(0, int(r.left)); x < std::min(int(size.cx), int(r.right)); ++x)
            for (int shift = 0; shift < 24; shift += 8)
                if (std::abs(int(At(x, y) >> shift & 0xFF) - int(ground >> shift & 0xFF)) >
                    tolerance) {
                    ++n;
                    break;
                }
    return n;
}

Pixels ReadWindow(HWND window)
{
    Pixels pixels;
    EXPECT_TRUE(pt::ReadWindowPixels(window, &pixels.data, &pixels.size));
    return pixels;
}

Pixels ReadScreen(const RECT* area)
{
    Pixels pixels;
    EXPECT_TRUE(pt::ReadScreenPixels(&pixels.data, &pixels.size, area));
    return pixels;
}

std::string BuildDir()
{
    const char* build = std::getenv("KV_BUILD_DIR");
    return build ? build : "/tmp";
}

std::string FixturesDir()
{
    const char* fixtures = std::getenv("KV_FIXTURES");
    return fixtures ? fixtures : BuildDir() + "/fixtures";
}

std::string ProgramDir()
{
    return fs::canonical("/proc/self/exe").parent_path().string();
}

void CopyFolder(const std::string& from, const std::string& to)
{
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

namespace {

// The window on the dialog's thread that runs the code OnUi sends it.
class CRunner : public CWnd {
protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP + 1) {
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

}  // namespace

void DialogFixture::SetUp()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/')
            c = '_';
    m_temp = (fs::temp_directory_path() / ("tessaly-app-" + name + "-" +
                                            std::to_string(::getpid())))
                 .string();
    fs::remove_all(m_temp);
    fs::create_directories(m_temp + "/home");
    pt::SetHomeFolder(m_temp + "/home");
    // Sound goes to the layer's null device, which still runs the clock.
    setenv("PLATFORM_AUDIO", "null", 1);

    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr), Gdiplus::Ok);
    pt::PinFontFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    g_DPIScale.SetDPI(96);
    g_hSkinModule = GetModuleHandleW(L"KvImageDll.dll");
    if (!g_hSkinModule)
        g_hSkinModule = LoadLibraryW(L"KvImageDll.dll");
    ASSERT_NE(g_hSkinModule, nullptr) << "the skin module beside the test program";
    ASSERT_TRUE(LoadLanguage(L"english"));
}

void DialogFixture::TearDown()
{
    if (m_hThread)
        CloseDialog();
    RemoveCard();
    delete g_pNinePatch;
    g_pNinePatch = nullptr;
    pt::PinFontFile("");
    if (m_gdiplusToken)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
    std::error_code ignored;
    fs::remove_all(m_temp, ignored);
}

std::wstring DialogFixture::UseCard(const std::string& name)
{
    const fs::path given(name);
    const std::string from = given.is_absolute() ? name : FixturesDir() + "/" + name;
    EXPECT_TRUE(fs::is_directory(from)) << from << " (mkcard fixtures)";
    const std::string to = m_temp + "/" + (given.is_absolute() ? given.filename().string() : name);
    CopyFolder(from, to);
    m_cardRoot = pt::AddRemovableDrive(to);
    return m_cardRoot;
}

void DialogFixture::RemoveCard()
{
    if (!m_cardRoot.empty())
        pt::RemoveRemovableDrive(m_cardRoot);
    m_cardRoot.clear();
}

DWORD WINAPI DialogFixture::UiThread(LPVOID param)
{
    DialogFixture* self = static_cast<DialogFixture*>(param);
    CRunner runner;
    runner.CreateEx(0, AfxRegisterWndClass(0), L"runner", WS_POPUP, 0, 0, 0, 0, nullptr,
                    nullptr);
    self->m_pDialog = new CTessalyDlg();
    self->m_uiThreadId = GetCurrentThreadId();
    self->m_hRunner = runner.m_hWnd;
    self->m_nResult = self->m_pDialog->DoModal();
    self->m_hRunner = nullptr;
    runner.DestroyWindow();
    // As the application object does: the dialog lives exactly as long as its modal run.
    CTessalyDlg* dialog = self->m_pDialog;
    self->m_pDialog = nullptr;
    delete dialog;
    return 0;
}

void DialogFixture::StartDialog()
{
    BeginDialog();
    WaitDialogStarted();
}

void DialogFixture::BeginDialog()
{
    ASSERT_EQ(m_hThread, nullptr) << "one dialog at a time";
    m_hThread = CreateThread(nullptr, 0, UiThread, this, 0, nullptr);
    ASSERT_NE(m_hThread, nullptr);
}

void DialogFixture::WaitDialogStarted()
{
    ASSERT_NE(m_hThread, nullptr);
    // The runner answers once the dialog's thread pumps messages again, that is in the modal
    // loop after OnInitDialog has returned.
    for (int waited = 0; waited < 20000; waited += 10) {
        if (WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0)
            FAIL() << "the dialog ended during its start-up";
        if (m_hRunner.load()) {
            bool started = false;
            HWND window = nullptr;
            OnUi([&] {
                if (m_pDialog && m_pDialog->m_hWnd && m_pDialog->m_bInitDone &&
                    IsWindowVisible(m_pDialog->m_hWnd)) {
                    started = true;
                    window = m_pDialog->m_hWnd;
                }
            });
            if (started) {
                m_hDialogWnd = window;
                return;
            }
        }
        Sleep(10);
    }
    FAIL() << "the dialog did not finish its start-up within 20 s";
}

void DialogFixture::OnUi(const std::function<void()>& fn)
{
    HWND runner = m_hRunner.load();
    ASSERT_NE(runner, nullptr) << "no dialog thread";
    SendMessageW(runner, WM_APP + 1, 0, reinterpret_cast<LPARAM>(&fn));
}

void DialogFixture::Pump(DWORD milliseconds)
{
    Sleep(milliseconds);
}

bool DialogFixture::WaitUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    return Eventually(
        [&] {
            bool held = false;
            OnUi([&] { held = done(); });
            return held;
        },
        milliseconds);
}

bool DialogFixture::Eventually(const std::function<bool()>& held, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (held())
            return true;
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(10);
    }
}

INT_PTR DialogFixture::CloseDialog()
{
    if (!m_hThread)
        return -1;
    if (HWND window = m_hDialogWnd.load())
        PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD waited = WaitForSingleObject(m_hThread, 20000);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the dialog did not close within 20 s";
    if (waited != WAIT_OBJECT_0)
        return -1;
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_hDialogWnd = nullptr;
    return m_nResult;
}

std::string DialogFixture::SaveShot(const std::string& name)
{
    const std::string path = BuildDir() + "/" + name;
    EXPECT_TRUE(pt::SaveScreenPng(path));
    return path;
}

}  // namespace apptest
