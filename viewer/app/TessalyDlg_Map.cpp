// The map page's track, position and area.
#include "app/TessalyDlg.h"
