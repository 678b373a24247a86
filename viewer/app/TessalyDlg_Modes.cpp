// The main dialog's title-bar and tool buttons, window modes, full screen and map search.
#include "app/TessalyDlg.h"
