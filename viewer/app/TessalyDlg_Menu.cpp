// The main dialog's popup-menu commands.
#include "app/TessalyDlg.h"
