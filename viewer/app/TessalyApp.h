// CTessalyApp: the viewer's application object. Its start-up makes sure that only one viewer
// runs, starts GDI+, loads the skin-image module, chooses the language, fixes the display scale
// and runs the main dialog modally; the viewer's window lives exactly as long as that call.
#pragma once

#include "platform/mfc.h"

class CTessalyApp : public CWinAppEx {
public:
    CTessalyApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    CMutex* m_pMutex = nullptr;     // the single-instance mutex "MUTEX_TESSALY", owned
    ULONG_PTR m_gdiplusToken = 0;   // 0 until GDI+ is started
};

extern CTessalyApp theApp;
