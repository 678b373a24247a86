// The update dialog.
#include "app/UpdateDlg.h"
