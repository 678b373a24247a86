// SCAFFOLDING: minimal placeholder bodies for the dialog's methods that are not written yet, so
// that the program builds and runs while its areas are filled in. Each area's author deletes
// the placeholders of the methods they write (in the same commit that writes them), and the
// file goes once it is empty. A placeholder does the least that keeps the dialog alive: the
// framework's default, or nothing. Nothing here is the real behaviour.
#include "app/DeviceInfoDlg.h"
#include "app/SplashDlg.h"
#include "app/TessalyDlg.h"
#include "app/UpdateDlg.h"

// ---- Lifecycle (TessalyDlg.cpp) --------------------------------------------------------------

// ---- Recording lists (TessalyDlg_Lists.cpp) --------------------------------------------------
BOOL CTessalyDlg::InitMovieList(BOOL) { return FALSE; }
int CTessalyDlg::UpdateListTabs() { return -1; }
void CTessalyDlg::ShowMovieList(int) {}
void CTessalyDlg::OnListTabClicked(UINT) {}
void CTessalyDlg::AddRecordingFile(const std::wstring&) {}
void CTessalyDlg::OnDropFiles(HDROP) {}
void CTessalyDlg::OpenRecordingFiles() {}
void CTessalyDlg::SaveRecordingAs() {}
void CTessalyDlg::SetCardMode(BOOL, BOOL) {}
BOOL CTessalyDlg::IsPlayingRearFile() { return FALSE; }
void CTessalyDlg::SwapTitleLabels() {}
void CTessalyDlg::DeleteSelectedRecording() {}
int CTessalyDlg::GetVideoTrackCount() { return m_VideoMgr.GetVideoTrackCount(); }
BOOL CTessalyDlg::IsMovieOpen()
{
    return m_VideoMgr.GetState() == STATE_PLAY || m_VideoMgr.GetState() == STATE_PAUSE;
}

// ---- Memory card, launcher, settings program, registry (TessalyDlg_Card.cpp) ----------------
BOOL CTessalyDlg::FindSDCard() { return FALSE; }
void CTessalyDlg::OnSDCardIn() {}
void CTessalyDlg::OnSDCardOut() {}
void CTessalyDlg::GetAppFolder() {}
void CTessalyDlg::SendLauncherInfo() {}
void CTessalyDlg::RunSettingsProgram() {}
void CTessalyDlg::WriteRegistrySettings() {}
BOOL CTessalyDlg::LoadPlayType() { return FALSE; }
void CTessalyDlg::SavePlayType() {}
BOOL CTessalyDlg::RegReadString(HKEY, LPCWSTR, LPCWSTR, LPWSTR, DWORD) { return FALSE; }
BOOL CTessalyDlg::RegWriteString(HKEY, LPCWSTR, LPCWSTR, LPCWSTR) { return FALSE; }


// ---- Device-information dialog (DeviceInfoDlg.cpp) -------------------------------------------
CBbInfoDlg::CBbInfoDlg(CWnd* parent) : CDialog(IDD_BBINFO, parent), CDPIWnd(this) {}
CBbInfoDlg::~CBbInfoDlg() {}
BOOL CBbInfoDlg::OnInitDialog() { return CDialog::OnInitDialog(); }
void CBbInfoDlg::DoDataExchange(CDataExchange* exchange) { CDialog::DoDataExchange(exchange); }

// ---- Update dialog (UpdateDlg.cpp) -----------------------------------------------------------
CUpdateDlg::CUpdateDlg(CWnd* parent) : CDialog(IDD_UPDATE, parent) {}
CUpdateDlg::~CUpdateDlg() {}
BOOL CUpdateDlg::OnInitDialog() { return CDialog::OnInitDialog(); }
void CUpdateDlg::DoDataExchange(CDataExchange* exchange) { CDialog::DoDataExchange(exchange); }
