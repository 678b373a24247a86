// The memory card and its device record, the launcher notice, the camera's settings program and the registry values.
#include "app/TessalyDlg.h"
