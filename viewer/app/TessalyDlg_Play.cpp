// Playback commands, sliders, popups, play progress and the telemetry display.
#include "app/TessalyDlg.h"
