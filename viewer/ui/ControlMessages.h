// Window messages and command ids that the skinned controls send to their owners. The values
// are fixed: the owners' handlers and the other controls use the same numbers.
#pragma once

// Scroll bars (sent to the notify window). The arrow messages carry wParam 0 and lParam 0; a
// receiver may give a non-zero wParam a meaning of its own. The position messages carry the
// thumb's position in percent (0 at the first arrow, 100 at the second) in wParam.
#define WM_RSCROLL_UP 0x402
#define WM_RSCROLL_DOWN 0x403
#define WM_RSCROLL_POS 0x404
#define WM_RSCROLL_LEFT 0x40A
#define WM_RSCROLL_RIGHT 0x40B
#define WM_RSCROLL_HPOS 0x40C

// Sliders: wParam the notify id, lParam the value (changed) or 0 (released).
#ifndef WM_SLIDER_CHANGED
#define WM_SLIDER_CHANGED 0x590
#define WM_SLIDER_RELEASED 0x591
#endif
// The playlist's right click, after it has selected the row (wParam and lParam 0).
#define WM_LIST_RBUTTONUP 0x5F5

// The arrow buttons of the scroll bars, as control ids of their CRButton children.
#define ID_BTN_SCROLL_UP 1261
#define ID_BTN_SCROLL_DOWN 1262
#define ID_BTN_SCROLL_LEFT 1263
#define ID_BTN_SCROLL_RIGHT 1264

// Commands.
#define ID_BTN_PLAY 1100
#define ID_BTN_PLAY_FORCE 1112
#define ID_BOX_SCRSETTING_INIT 1056

// Slider notify ids.
#define ID_SLIDER_SEEK 1200
#define ID_SLIDER_BRIGHTNESS 1201
#define ID_SLIDER_SPEED 1202
#define ID_SLIDER_VOLUME 1203
#define ID_SLIDER_FULLSCREEN_SEEK 1204
#define ID_SLIDER_SPEED_GAUGE 1205
#define ID_SLIDER_HIDE_POPUPS 1206
