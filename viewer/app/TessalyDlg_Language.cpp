// The main dialog's live language switch: captions, menus, labels and their fonts.
#include "app/TessalyDlg.h"
