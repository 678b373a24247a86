// The splash dialog.
#include "app/SplashDlg.h"
