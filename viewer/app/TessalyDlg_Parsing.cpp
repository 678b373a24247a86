// The file-parsing thread: the telemetry of every listed recording, read ahead.
#include "app/TessalyDlg.h"
