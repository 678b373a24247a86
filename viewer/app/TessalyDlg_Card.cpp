// The memory card and its device record, the launcher notice, the camera's settings program and
// the registry values.
#include <cstring>

#include "app/DeviceData.h"
#include "app/TessalyDlg.h"
#include "platform/shell.h"
#include "playback/WebForm.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

constexpr const wchar_t* kRegistryKey = L"SOFTWARE\\KESTROVAN\\";

// The program's folder with its final backslash.
std::wstring ProgramFolder()
{
    WCHAR path[260] = {};
    GetModuleFileNameW(nullptr, path, 260);
    std::wstring folder(path);
    size_t slash = folder.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

}  // namespace

BOOL CTessalyDlg::FindSDCard()
{
    g_bCardFound = FALSE;
    CameraCard card = SearchCameraCard();
    if (card.kind == CardKind::None)
        return FALSE;
    delete g_pBlackBoxData;
    g_pBlackBoxData = card.record.release();
    m_strRootPath = card.drive;
    g_strCardDrive = card.drive;
    // The card's own size, however small: a card of 1000 MB or less is not left with the size
    // of the card before it.
    g_fCardCapacityGB = CapacityGB(CardCapacityMB(card.drive));
    g_bCardFound = TRUE;
    if (card.kind == CardKind::SetupCfg)
        SendLauncherInfo();
    return TRUE;
}

void CTessalyDlg::OnSDCardIn()
{
    if (m_VideoMgr.GetState() != STATE_STOP)
        VideoSTOP();
    SetCardMode(FALSE, FALSE);
    StopFileParsing();
    InitMovieList(FALSE);
    SetCardMode(TRUE, FALSE);
    StartFileParsing();
    if (m_pWebForm) {
        BOOL china = g_pBlackBoxData && g_pBlackBoxData->nLocalId == kLocalIdChina;
        m_pWebForm->Navigate((m_strAppFolder + (china ? L"mapView_baidu.htm" : L"mapView.htm")).c_str());
    }
}

void CTessalyDlg::OnSDCardOut()
{
    SetCardMode(FALSE, FALSE);
    StopFileParsing();
    // Nothing may keep pointing into the lists that go now.
    m_pPlayingText = nullptr;
    if (m_GPSViewer.GetSafeHwnd())
        m_GPSViewer.ResetData();
    for (RecFileMap& map : m_RecMaps)
        map.clear();
    m_pShownMap = nullptr;
    ++m_nListsBuilt;
    g_strCardDrive.clear();
    g_fCardCapacityGB = 0;
    m_strRootPath.clear();
    delete g_pBlackBoxData;
    g_pBlackBoxData = nullptr;
    // The launcher learns that no camera is attached any more.
    SendLauncherInfo();
    if (m_pWebForm)
        m_pWebForm->Navigate((m_strAppFolder + L"mapView.htm").c_str());
}

void CTessalyDlg::SendLauncherInfo()
{
    // The record of the card now known; all zero once the card is gone.
    SendLauncherNotice(MakeLauncherInfo(g_pBlackBoxData, g_strCardDrive));
}

void CTessalyDlg::RunSettingsProgram()
{
    // The path comes from the card: it is run only when it names a file inside the card.
    std::wstring path;
    if (!g_strCardDrive.empty() && g_pBlackBoxData)
        path = ResolveSettingsProgram(g_strCardDrive, *g_pBlackBoxData);
    if (path.empty()) {
        MessageBoxW(nullptr, GetLangText(L"IDS_STRING_K_082").c_str(), L"Tessaly", MB_OK);
        return;
    }
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
}

void CTessalyDlg::GetAppFolder()
{
    m_strAppFolder = ProgramFolder();
    g_strLogFolder = m_strAppFolder;
}

void CTessalyDlg::WriteRegistrySettings()
{
    RegWriteString(HKEY_LOCAL_MACHINE, kRegistryKey, L"DASHCAMPATH", ProgramFolder().c_str());
    RegWriteString(HKEY_LOCAL_MACHINE, kRegistryKey, L"LANGUAGE", GetLanguageName().c_str());
}

BOOL CTessalyDlg::LoadPlayType()
{
    WCHAR buffer[130] = {};
    RegReadString(HKEY_LOCAL_MACHINE, kRegistryKey, L"PLAYTYPE", buffer, sizeof buffer);
    if (std::wcscmp(buffer, L"1") == 0)
        return TRUE;
    if (buffer[0] == 0) {
        m_bSinglePlay = 0;
        SavePlayType();
    }
    return FALSE;
}

void CTessalyDlg::SavePlayType()
{
    RegWriteString(HKEY_LOCAL_MACHINE, kRegistryKey, L"PLAYTYPE", m_bSinglePlay ? L"1" : L"0");
}

BOOL CTessalyDlg::RegReadString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPWSTR buffer,
                                DWORD bufferBytes)
{
    DWORD capacity = bufferBytes / sizeof(WCHAR);
    if (!buffer || capacity == 0)
        return FALSE;
    buffer[0] = 0;
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return FALSE;
    DWORD type = REG_NONE;
    DWORD size = capacity * sizeof(WCHAR);
    LSTATUS status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                      &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        buffer[0] = 0;
        return FALSE;
    }
    // The stored data need not end with a zero: one is added when there is room, and a text
    // that fills the whole buffer without one does not fit.
    DWORD count = size / sizeof(WCHAR);
    if (count > 0 && buffer[count - 1] == 0)
        return TRUE;
    if (count >= capacity) {
        buffer[0] = 0;
        return FALSE;
    }
    buffer[count] = 0;
    return TRUE;
}

BOOL CTessalyDlg::RegWriteString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPCWSTR text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    LSTATUS status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    DWORD((std::wcslen(text) + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
