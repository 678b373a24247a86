// The viewer's application object: single instance, GDI+, skin module, language, display
// scale, then the main dialog run modally.
#include "app/TessalyApp.h"

#include "app/TessalyDlg.h"

CTessalyApp::CTessalyApp() : CWinAppEx(TRUE) {}

BOOL CTessalyApp::InitInstance()
{
    CWinAppEx::InitInstance();
    CTessalyDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

int CTessalyApp::ExitInstance()
{
    delete m_pMutex;
    m_pMutex = nullptr;
    return CWinAppEx::ExitInstance();
}
