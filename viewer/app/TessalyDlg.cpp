// The main dialog's construction, start-up, splash thread, close and destruction.
#include "app/TessalyDlg.h"
#include "platform/shell.h"

#include <cwctype>
#include <vector>

#include "platform/crt.h"
#include "playback/JSObject.h"
#include "playback/WebForm.h"
#include "playback/WebformDispatchImpl.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/NinePatch.h"

CRITICAL_SECTION g_csExtractText;
HANDLE g_hShowMainDlgEvent = nullptr;
HANDLE g_hFileParsingEvent = nullptr;
JSObject* g_pJSObject = nullptr;
WebformDispatchImpl* g_pWebformDispatch = nullptr;
std::wstring g_strAppVersion = L"NOT";

BlackBoxData* g_pBlackBoxData = nullptr;
BOOL g_bCardFound = FALSE;
float g_fCardCapacityGB = 0;
std::wstring g_strCardDrive;


CTessalyDlg::CTessalyDlg(CWnd* parent)
    : CDialog(IDD_TESSALY_DIALOG, parent),
      m_dlgUpdate(nullptr),
      m_dlgBbInfo(nullptr),
      m_dlgSplash(nullptr)
{
    m_hIcon = LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    g_DPIScale.ScaleRect(&m_rcVideo);
    g_DPIScale.ScaleRect(&m_rcSubVideo);
    g_DPIScale.ScaleRect(&m_rcMap);
    delete g_pBlackBoxData;
    g_pBlackBoxData = nullptr;
    g_bCardFound = FALSE;
    g_fCardCapacityGB = 0;
    g_strCardDrive.clear();
    g_strAppVersion = L"NOT";
}

CTessalyDlg::~CTessalyDlg()
{
    // The host's window went with the dialog's; the page object ends with its last reference
    // (the page may still hold one), so it is released, never deleted.
    delete m_pWebForm;
    m_pWebForm = nullptr;
    delete g_pWebformDispatch;
    g_pWebformDispatch = nullptr;
    if (g_pJSObject) {
        g_pJSObject->Release();
        g_pJSObject = nullptr;
    }
    if (m_hSplashThread) {
        WaitForSingleObject(m_hSplashThread, INFINITE);
        CloseHandle(m_hSplashThread);
        m_hSplashThread = nullptr;
    }
    if (m_hIcon)
        DestroyIcon(m_hIcon);
    // OnClose frees it too; a modal run ended by WM_QUIT never reaches OnClose.
    delete m_pComposeBitmap;
    m_pComposeBitmap = nullptr;
}

void CTessalyDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialog::DoDataExchange(exchange);
}

BOOL CTessalyDlg::IsPlayingMP4()
{
    return m_bMP4Mode;
}

BOOL CTessalyDlg::IsSingleView()
{
    return m_bSinglePlay;
}

BOOL CTessalyDlg::HasDeviceRecord()
{
    return g_pBlackBoxData != nullptr;
}

BOOL CTessalyDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_dpiWnd.SetWnd(this);

    // Dropped files and the launcher's copy-data reach the viewer from other programs.
    if (HMODULE user32 = LoadLibraryW(L"USER32.DLL")) {
        typedef BOOL(WINAPI * ChangeFilter)(UINT, DWORD);
        if (auto change = reinterpret_cast<ChangeFilter>(
                GetProcAddress(user32, "ChangeWindowMessageFilter"))) {
            change(WM_DROPFILES, MSGFLT_ADD);
            change(WM_COPYDATA, MSGFLT_ADD);
            change(0x49, MSGFLT_ADD);  // WM_COPYGLOBALDATA, the dropped files' data
        }
        FreeLibrary(user32);
    }

    DragAcceptFiles(m_hWnd, TRUE);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    WriteRegistrySettings();
    m_hAccel = LoadAcceleratorsW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(IDR_ACCELERATOR));
    SetWindowText(L"KESTROVAN DASHCAM TESSALY");
    InitializeCriticalSection(&g_csExtractText);

    g_hShowMainDlgEvent = CreateEventW(nullptr, FALSE, FALSE, L"EVENT_SHOW_MAINDLG");
    ResetEvent(g_hShowMainDlgEvent);
    m_hSplashThread = CreateThread(nullptr, 0, SplashThread, this, 0, nullptr);

    m_dpiWnd.DPISetWindowPos(nullptr, 0, 0, DIALOG_DESIGN_WIDTH, DIALOG_DESIGN_HEIGHT,
                             SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(&m_rcClient);
    m_rcPrevClient = m_rcClient;

    GetAppFolder();
    LoadAppVersion();
    LogWrite(L"Tessaly---->Load App Version" + g_strAppVersion);

    g_hFileParsingEvent = CreateEventW(nullptr, FALSE, FALSE, L"EVENT_FILE_PARSING");
    ResetEvent(g_hFileParsingEvent);

    if (!FindSDCard()) {
        LauncherInfo none = {};
        SendLauncherNotice(none);
    }

    g_pJSObject = new JSObject();
    g_pJSObject->AddRef();
    g_pWebformDispatch = new WebformDispatchImpl(g_pJSObject);

    LogWrite(L"Tessaly---->Load Images");
    LoadImages();
    LogWrite(L"Tessaly---->Create Controls");
    CreateControls();
    LogWrite(L"Tessaly---->Create Map");

    m_pWebForm = new WebForm(g_pWebformDispatch);
    m_pWebForm->create(m_hWnd, AfxGetInstanceHandle(), 0, 320, 0, 200,
                       reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ID_WEBFORM)), TRUE);
    const bool china = g_pBlackBoxData && g_pBlackBoxData->nLocalId == 45;
    m_pWebForm->Navigate((m_strAppFolder + (china ? L"mapView_baidu.htm" : L"mapView.htm")).c_str());
    LogWrite(L"Tessaly---->Resource Loading compleate.");

    InitMovieList(TRUE);
    LogWrite(L"Tessaly----->Movie list initialized,");

    // The dialog shows only once the splash has gone, however that ended. Without a splash
    // thread there is nothing to wait for.
    if (m_hSplashThread)
        WaitForSingleObject(g_hShowMainDlgEvent, INFINITE);
    LogWrite(L"Tessaly----->Splash disappeard event received,");
    CloseHandle(g_hShowMainDlgEvent);
    g_hShowMainDlgEvent = nullptr;

    PIDLIST_ABSOLUTE desktop = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(m_hWnd, CSIDL_DESKTOP, &desktop))) {
        SHChangeNotifyEntry entry = {desktop, TRUE};
        m_nNotifyId = SHChangeNotifyRegister(m_hWnd, 0x2381F,
                                             SHCNE_MEDIAINSERTED | SHCNE_MEDIAREMOVED,
                                             WM_USER_MEDIACHANGED, 1, &entry);
        // The registration keeps its own copy; the list is ours to free.
        ILFree(desktop);
        LogWrite(L"Tessaly----->SHChangeNotifyRegister");
    }

    LogWrite(g_pBlackBoxData ? L"Tessaly----->BlackBoxData Found"
                             : L"Tessaly----->BlackBoxData not Found");

    m_bInitDone = 1;
    LogWrite(L"Tessaly---->Init compleate.");
    StartFileParsing();

    SetForegroundWindow();
    return TRUE;
}

DWORD WINAPI CTessalyDlg::SplashThread(LPVOID param)
{
    CTessalyDlg* dialog = static_cast<CTessalyDlg*>(param);
    dialog->m_dlgSplash.DoModal();
    // Whichever way the splash ended, the start-up waiting for it goes on.
    SetEvent(g_hShowMainDlgEvent);
    LogWrite(L"Tessaly----->Splash disappeard event set");
    return 1;
}

BOOL CTessalyDlg::LoadAppVersion()
{
    WCHAR path[520] = {};
    if (!GetModuleFileNameW(AfxGetInstanceHandle(), path, 520))
        return FALSE;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return FALSE;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path, handle, size, block.data()))
        return FALSE;
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<LPVOID*>(&translation), &length) ||
        !translation || length < sizeof(Translation))
        return FALSE;
    const std::wstring query = FormatText(L"\\StringFileInfo\\%04x%04x\\FileVersion",
                                          translation->language, translation->codePage);
    WCHAR* text = nullptr;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<LPVOID*>(&text), &length) ||
        !text)
        return FALSE;

    int numbers[4] = {0, 0, 0, 0};
    std::wstring version(text);
    size_t start = 0;
    for (int i = 0; i < 4 && start <= version.size(); ++i) {
        size_t dot = version.find(L'.', start);
        std::wstring part = version.substr(start, dot == std::wstring::npos ? std::wstring::npos
                                                                            : dot - start);
        while (!part.empty() && std::iswspace(part.front()))
            part.erase(part.begin());
        while (!part.empty() && std::iswspace(part.back()))
            part.pop_back();
        if (part.empty())
            break;
        numbers[i] = _wtoi(part.c_str());
        if (dot == std::wstring::npos)
            break;
        start = dot + 1;
    }
    g_strAppVersion =
        FormatText(L"%d.%d.%d.%02d", numbers[0], numbers[1], numbers[2], numbers[3]);
    return TRUE;
}

void CTessalyDlg::SendLauncherNotice(const LauncherInfo& info)
{
    HWND launcher = FindWindowW(nullptr, LAUNCHER_WINDOW_TITLE);
    if (!launcher)
        return;
    COPYDATASTRUCT data = {};
    data.dwData = LAUNCHER_COPYDATA_ID;
    data.cbData = sizeof(LauncherInfo);
    data.lpData = const_cast<LauncherInfo*>(&info);
    // The launcher is another program: the layer gives up on it after a bounded wait (0 and
    // ERROR_TIMEOUT), and the notice is optional, so a launcher that hangs costs the viewer
    // that wait and nothing else.
    ::SendMessageW(launcher, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
                   reinterpret_cast<LPARAM>(&data));
}

void CTessalyDlg::OnClose()
{
    LogWrite(L"Tessaly :: <<<<<<<<<<<<<<<<OnClose>>>>>>>>>>>>>>>");
    KillTimer(IDT_PLAY_PROGRESS);
    KillTimer(IDT_PARSING_HIDE);
    KillTimer(IDT_CARD_CHECK);
    m_bCardCheckPending = FALSE;

    LauncherInfo none = {};
    SendLauncherNotice(none);

    // The parsing thread reads the maps and sets labels: it ends before anything goes.
    StopFileParsing();
    if (m_hParseThread) {
        WaitForSingleObject(m_hParseThread, INFINITE);
        CloseHandle(m_hParseThread);
        m_hParseThread = nullptr;
    }
    m_bParseDone = 1;

    // The graph's renderers paint into the video windows: it is closed while they exist.
    if (m_VideoMgr.GetState() != STATE_STOP)
        m_VideoMgr.Stop();
    m_VideoMgr.Close();

    m_dcBackground.Release();
    m_dcTitleLeft.Release();
    m_dcTitleRight.Release();
    m_dcGrip.Release();
    m_dcGpsPanel.Release();
    m_dcCompose.Release();
    delete m_pComposeBitmap;
    m_pComposeBitmap = nullptr;

    delete g_pBlackBoxData;
    g_pBlackBoxData = nullptr;

    delete g_pNinePatch;
    g_pNinePatch = nullptr;

    if (m_nNotifyId) {
        SHChangeNotifyDeregister(m_nNotifyId);
        m_nNotifyId = 0;
    }

    DeleteCriticalSection(&g_csExtractText);

    for (HFONT* font : {&m_hFont1, &m_hFont2, &m_hFont3, &m_hFont4}) {
        if (*font)
            DeleteObject(*font);
        *font = nullptr;
    }

    CDialog::OnClose();
}
