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

// ---- Language switch (TessalyDlg_Language.cpp) -----------------------------------------------
void CTessalyDlg::ReloadButtonTexts() {}
void CTessalyDlg::ReloadMenuTexts() {}
void CTessalyDlg::ReloadLabelTexts() {}

// ---- Message protocol (TessalyDlg_Messages.cpp) ----------------------------------------------
LRESULT CTessalyDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CDialog::WindowProc(message, wParam, lParam);
}
BOOL CTessalyDlg::PreTranslateMessage(MSG* msg) { return CDialog::PreTranslateMessage(msg); }
void CTessalyDlg::OnFullscr() {}
void CTessalyDlg::OnFullwnd() {}
void CTessalyDlg::OnAccelerator(UINT) {}
LRESULT CTessalyDlg::OnVideoSizeChaged(WPARAM, LPARAM) { return 0; }
void CTessalyDlg::ScheduleCardCheck(UINT) {}
void CTessalyDlg::RunCardCheck() {}
void CTessalyDlg::HidePopups() {}
void CTessalyDlg::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CDialog::OnActivate(state, other, minimized);
}
HBRUSH CTessalyDlg::OnCtlColor(CDC* dc, CWnd* control, UINT type)
{
    return CDialog::OnCtlColor(dc, control, type);
}
BOOL CTessalyDlg::OnEraseBkgnd(CDC* dc) { return CDialog::OnEraseBkgnd(dc); }
void CTessalyDlg::OnGetMinMaxInfo(MINMAXINFO* info) { CDialog::OnGetMinMaxInfo(info); }
void CTessalyDlg::OnLButtonDown(UINT flags, CPoint point) { CDialog::OnLButtonDown(flags, point); }
void CTessalyDlg::OnLButtonUp(UINT flags, CPoint point) { CDialog::OnLButtonUp(flags, point); }
void CTessalyDlg::OnMouseMove(UINT flags, CPoint point) { CDialog::OnMouseMove(flags, point); }
BOOL CTessalyDlg::OnMouseWheel(UINT flags, short delta, CPoint point)
{
    return CDialog::OnMouseWheel(flags, delta, point);
}
void CTessalyDlg::OnRButtonUp(UINT flags, CPoint point) { CDialog::OnRButtonUp(flags, point); }

// ---- Title-bar and tool buttons, window modes (TessalyDlg_Modes.cpp) -------------------------
void CTessalyDlg::OnTitleBtnClicked(UINT) {}
void CTessalyDlg::OnToolBtnClicked(UINT) {}
void CTessalyDlg::ToggleFullScreen() {}
void CTessalyDlg::SearchMapArea() {}
void CTessalyDlg::ReloadAllTexts() {}

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
