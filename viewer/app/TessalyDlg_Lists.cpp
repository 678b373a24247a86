// The main dialog's six recording lists, their tabs, opened and dropped files, deletion.
#include "app/TessalyDlg.h"
