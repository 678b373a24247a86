// The viewer's application object: single instance, common controls, GDI+, skin module,
// language, display scale, then the main dialog run modally.
#include "app/TessalyApp.h"

#include "app/TessalyDlg.h"
#include "platform/gdiplus.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

// The built-in languages, in the order a settings value is compared with them.
const WCHAR* const kLanguages[] = {
    L"chinesesimplified", L"chinesetraditional", L"korean",  L"english",
    L"spanish",           L"portuguese",         L"french",  L"russian",
    L"italian",           L"japanese",           L"german",
};

}  // namespace

CTessalyApp::CTessalyApp() : CWinAppEx(TRUE) {}

BOOL CTessalyApp::InitInstance()
{
    // One viewer at a time: a second one ends at once, without any window.
    try {
        m_pMutex = new CMutex(FALSE, L"MUTEX_TESSALY");
    } catch (CException* e) {
        e->Delete();
        m_pMutex = nullptr;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return TRUE;

    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);

    Gdiplus::GdiplusStartupInput gdiplus(nullptr, FALSE, FALSE);
    if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &gdiplus, nullptr) != Gdiplus::Ok)
        m_gdiplusToken = 0;

    CWinAppEx::InitInstance();
    LogOpen();
    SetRegistryKey(L"Kestrovan");

    g_hSkinModule = GetModuleHandleW(L"KvImageDll.dll");
    if (!g_hSkinModule)
        g_hSkinModule = LoadLibraryW(L"KvImageDll.dll");
    if (!g_hSkinModule)
        return FALSE;

    // The settings live in the program's folder, where they are also written back.
    bool loaded = false;
    if (LoadSettingIni()) {
        const std::wstring language = GetInstallValue(L"language");
        for (const WCHAR* name : kLanguages) {
            if (language == name) {
                loaded = LoadLanguage(name) || LoadLanguage(L"english");
                break;
            }
        }
    }
    if (!loaded)
        LoadLanguage(L"english");

    // The layout is designed at 96 dots per inch; the screen's resolution is not consulted.
    g_DPIScale.SetDPI(96);

    {
        CTessalyDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        // The dialog is gone with this block: nothing may find it as the main window.
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

int CTessalyApp::ExitInstance()
{
    delete m_pMutex;
    m_pMutex = nullptr;
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
    LogClose();
    return CWinAppEx::ExitInstance();
}
