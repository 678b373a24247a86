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
void CTessalyDlg::OnDropFiles(HDROP) {}
void CTessalyDlg::OpenRecordingFiles() {}
void CTessalyDlg::SaveRecordingAs() {}

// ---- Memory card, launcher, settings program, registry (TessalyDlg_Card.cpp) ----------------
void CTessalyDlg::SendLauncherInfo() {}
void CTessalyDlg::RunSettingsProgram() {}


