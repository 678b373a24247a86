// CWinApp, CWinAppEx and the entry flow.
#include <atomic>

#include "WndState.h"

namespace {

// The one application object; set by its constructor on the thread that builds the program's
// globals, read from any thread.
std::atomic<CWinApp*> g_app{nullptr};
std::atomic<DWORD> g_appThread{0};

std::wstring ProgramName()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name;
}

}  // namespace

namespace platform::mfc {

DWORD ApplicationThread()
{
    return g_app.load() ? g_appThread.load() : 0;
}

}  // namespace platform::mfc

CWinApp::CWinApp(LPCWSTR appName)
    : m_pszAppName(nullptr),
      m_pszRegistryKey(nullptr),
      m_pszProfileName(nullptr),
      m_hInstance(GetModuleHandleW(nullptr)),
      m_pMainWnd(nullptr),
      m_nExitCode(0)
{
    m_strAppName = appName ? appName : ProgramName();
    m_pszAppName = m_strAppName.c_str();
    CWinApp* none = nullptr;
    if (g_app.compare_exchange_strong(none, this))
        g_appThread = GetCurrentThreadId();
}

CWinApp::~CWinApp()
{
    CWinApp* self = this;
    g_app.compare_exchange_strong(self, nullptr);
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    // Without a main window nothing could ever end the loop.
    if (!m_pMainWnd)
        PostQuitMessage(0);
    for (;;) {
        int quitCode = 0;
        if (!platform::mfc::PumpMessage(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr, &quitCode)) {
            m_nExitCode = quitCode;
            break;
        }
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

void CWinApp::SetRegistryKey(LPCWSTR key)
{
    m_strRegistryKey = key ? key : L"";
    m_pszRegistryKey = m_strRegistryKey.c_str();
    m_strProfileName = m_strAppName;
    m_pszProfileName = m_strProfileName.c_str();
}

CWinAppEx::CWinAppEx(BOOL resourceSmartUpdate) : m_bResourceSmartUpdate(resourceSmartUpdate) {}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    CWinApp* app = g_app.load();
    if (!app)
        return -1;
    g_appThread = GetCurrentThreadId();
    app->m_hInstance = instance ? instance : GetModuleHandleW(nullptr);
    if (!app->InitInstance()) {
        if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd)
            app->m_pMainWnd->DestroyWindow();
        return app->ExitInstance();
    }
    return app->Run();
}

CWinApp* AfxGetApp()
{
    return g_app.load();
}

CWnd* AfxGetMainWnd()
{
    CWinApp* app = g_app.load();
    if (!app || GetCurrentThreadId() != g_appThread.load())
        return nullptr;
    return app->m_pMainWnd;
}

HINSTANCE AfxGetInstanceHandle()
{
    CWinApp* app = g_app.load();
    return app ? app->m_hInstance : GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}
