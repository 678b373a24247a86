// The main dialog's controls, background, painting, relayout and right-column switch.
#include "app/TessalyDlg.h"
