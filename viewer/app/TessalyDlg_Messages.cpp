// The main dialog's message protocol: WindowProc, command routing, accelerators, the card
// check after device and media notifications, colours and the mouse.
#include "app/TessalyDlg.h"

BOOL CTessalyDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    // Buttons and menus give code 0, accelerators 1; other codes are notifications.
    if (HIWORD(wParam) <= 1) {
        const UINT id = LOWORD(wParam);
        if (id >= ID_BTN_TITLE_FIRST && id <= ID_BTN_TITLE_LAST) {
            OnTitleBtnClicked(id);
            return TRUE;
        }
        if (id >= ID_BOX_FIRST && id <= ID_BOX_LAST) {
            OnPopupBoxClicked(id);
            return TRUE;
        }
        if (id >= ID_BTN_CONTROL_FIRST && id <= ID_BTN_CONTROL_LAST) {
            OnControlBoxBtnClicked(id);
            return TRUE;
        }
        if (id >= ID_LIST_FIRST && id <= ID_LIST_LAST) {
            OnListTabClicked(id);
            return TRUE;
        }
        if (id >= ID_BTN_TOOL_FIRST && id <= ID_BTN_TOOL_LAST) {
            OnToolBtnClicked(id);
            return TRUE;
        }
        if (id == ID_ACCEL_FULLSCR) {
            OnFullscr();
            return TRUE;
        }
        if (id == ID_ACCEL_FULLWND) {
            OnFullwnd();
            return TRUE;
        }
        if (id >= ID_ACCEL_OPEN && id <= ID_ACCEL_SHIFTENTER) {
            OnAccelerator(id);
            return TRUE;
        }
    }
    return CDialog::OnCommand(wParam, lParam);
}
