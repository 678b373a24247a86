// The common-controls entry and the window-message filter.
#include "platform/user.h"
#include "platform/kernel.h"

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL ChangeWindowMessageFilter(UINT, DWORD flag)
{
    if (flag != MSGFLT_ADD && flag != MSGFLT_REMOVE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
