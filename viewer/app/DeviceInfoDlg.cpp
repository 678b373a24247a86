// The device-information dialog.
#include "app/DeviceInfoDlg.h"
