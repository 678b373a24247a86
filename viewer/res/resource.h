// Resource, command and control ids of the viewer program. The values are fixed: the full-screen
// control bar, the main video window and the playlist send the same command ids, and the
// launcher and the skin rely on none of them.
#pragma once

// ---------------------------------------------------------------------------------------------
// Resources of the program module
#define IDD_TESSALY_DIALOG 102   // the main dialog's template
#define IDR_MAINFRAME 134        // the program's icon
#define IDD_SPLASH 139           // the splash dialog's template
#define IDR_ACCELERATOR 140      // the main dialog's accelerators
#define IDD_UPDATE 132           // the update dialog's template
#define IDD_BBINFO 135           // the device-information dialog's template

// ---------------------------------------------------------------------------------------------
// Private window messages of the main dialog (beside those of ui/ControlMessages.h and
// playback/VideoMgr.h, playback/VideoWndHost.h)
#define WM_SPLASH_PROGRESS 0x414    // splash: wParam the step 0..100
#define WM_USER_MEDIACHANGED 0x458  // the shell's media-inserted / media-removed notification
#define WM_PARSING_ABORT 0x463      // asks a running file-parsing thread to stop

// ---------------------------------------------------------------------------------------------
// Timers
#define IDT_PLAY_PROGRESS 101  // every 100 ms while playing (main dialog)
#define IDT_SPLASH_STEP 103    // every 10 ms (splash dialog)
#define IDT_PARSING_HIDE 104   // once, 3000 ms after parsing ended (main dialog)
#define IDT_CARD_CHECK 105     // once, 3000 ms after a device or media notification (main dialog)

// ---------------------------------------------------------------------------------------------
// Title-bar buttons
#define ID_BTN_CLOSE 1001
#define ID_BTN_MIN 1002
#define ID_BTN_MAX 1003
#define ID_BTN_FILE 1004
#define ID_BTN_SETTING_MENU 1006  // the title bar's Setting menu button (1108 is ID_BTN_SETTING)
#define ID_BTN_TITLE_FIRST 1001
#define ID_BTN_TITLE_LAST 1007

// Popup-menu items (1020-1070)
#define ID_BOX_FIRST 1020
#define ID_BOX_FILE 1020           // the File menu as a popup
#define ID_BTN_FILE_OPEN 1021
#define ID_BTN_FILE_OTHER_SAVE 1023
#define ID_BTN_FILE_CLOSE 1024    // Exit
#define ID_BOX_SETTING 1029        // the Setting menu as a popup
#define ID_BOX_SETTING_DASHCAM 1030
#define ID_BOX_SETTING_VIEW 1031   // Dash Cam Info
#define ID_BOX_SETTING_LANG 1032
#define ID_BOX_LANG_ENGLISH 1033
#define ID_BOX_LANG_KOREAN 1034
#define ID_BOX_LANG_SPANISH 1035
#define ID_BOX_LANG_CHINESESIMPLIFIED 1036
#define ID_BOX_LANG_PORTUGUESE 1037
#define ID_BOX_LANG_FRENCH 1038
#define ID_BOX_LANG_RUSSIAN 1039
#define ID_BOX_LANG_GERMAN 1040
#define ID_BOX_LANG_ITALIAN 1041
#define ID_BOX_LANG_JAPANESE 1042
#define ID_BOX_LANG_CHINESETRADITIONAL 1043
#define ID_BOX_SETTING_UNIT 1044
#define ID_BOX_UNIT_KMH 1045
#define ID_BOX_UNIT_MPH 1046
#define ID_BOX_SETTING_PLAY 1047   // Play Front and Rear Views
#define ID_BOX_SCRSIZE 1048        // the "ScrSize" panel as a popup
#define ID_BOX_SCRSIZE02 1049      // the "ScrSize02" panel as a popup
#define ID_BOX_SCRSIZE_ORIGINAL 1050
#define ID_BOX_SCRSIZE_05 1051
#define ID_BOX_SCRSIZE_10 1052
#define ID_BOX_SCRSIZE_15 1053
#define ID_BOX_SCRSIZE_20 1054
#define ID_BOX_BRISPD 1055         // the brightness and speed panel as a popup
#define ID_BOX_SCRSETTING_INIT 1056
#define ID_BOX_VOL 1057            // the volume panel as a popup
#define ID_BOX_CONTEXT_PLAY 1059
#define ID_BOX_CONTEXT_FULLSCR 1062
#define ID_BOX_CONTEXT_FULLWIN 1063
#define ID_BOX_LIST_PLAY 1064
#define ID_BOX_LIST_DELETE 1065
#define ID_BOX_LIST_HELP 1066
#define ID_BOX_LIST_UP 1067
#define ID_BOX_LIST_DOWN 1068
#define ID_BOX_LAST 1070

// Transport and tool buttons under the video (1100-1113)
#define ID_BTN_PLAY 1100
#define ID_BTN_PAUSE 1101
#define ID_BTN_STOP 1102
#define ID_BTN_PRE 1103
#define ID_BTN_NEXT 1104
#define ID_BTN_SEC 1105
#define ID_BTN_SEC2 1106
#define ID_BTN_SIZE 1107
#define ID_BTN_SETTING 1108        // the screen-settings button (also the full-screen bar's)
#define ID_BTN_SAVE 1109
#define ID_BTN_VOLUME 1110
#define ID_BTN_VIDEO_CONNECT 1111
#define ID_BTN_PLAY_FORCE 1112
#define ID_BTN_CONTROL_FIRST 1100
#define ID_BTN_CONTROL_LAST 1113

// Labels
#define ID_STATIC_FRONT 1150
#define ID_STATIC_REAR 1151
#define ID_STATIC_MAP 1152
#define ID_STATIC_PLAYLIST 1153
#define ID_STATIC_TITLE2 1154
#define ID_STATIC_PLAYTIME 1155
#define ID_STATIC_TOTALTIME 1156
#define ID_NUM_SPEED 1157
#define ID_STATIC_GX 1158
#define ID_STATIC_GY 1159
#define ID_STATIC_GZ 1160
#define ID_GPSVIEWER 1163
#define ID_STATIC_TITLE1 1164
#define ID_STATIC_VERSION 1165
#define ID_STATIC_PARSING 1166
#define ID_STATIC_PARSE_PERCENT 1167
#define ID_STATIC_MODEL 1168

// Sliders
#define ID_SLIDER_SEEK 1200
#define ID_SLIDER_BRIGHTNESS 1201
#define ID_SLIDER_SPEED 1202
#define ID_SLIDER_VOLUME 1203
#define ID_SLIDER_FULLSCREEN_SEEK 1204
#define ID_SLIDER_SPEED_GAUGE 1205
#define ID_SLIDER_HIDE_POPUPS 1206

// Playlist and its tabs (1250-1265)
#define ID_LIST_PLAY 1250
#define ID_BTN_LIST_NORMAL 1251
#define ID_BTN_LIST_PARKING 1252
#define ID_BTN_LIST_MANUAL 1253
#define ID_BTN_LIST_POSITION 1254
#define ID_BTN_LIST_RECNORMAL 1255
#define ID_BTN_LIST_NORSHOCK 1256
#define ID_BTN_LIST_PARKMOTION 1257
#define ID_BTN_LIST_PARKSHOCK 1258
#define ID_BTN_LIST_FILESIZE 1259
#define ID_BTN_LIST_FILENAME 1260
#define ID_LIST_FIRST 1250
#define ID_LIST_LAST 1265

// Tool buttons beside the video and the map (1300-1308)
#define ID_BTN_FOLUP 1300
#define ID_BTN_FOLDN 1301
#define ID_BTN_EXPAND 1302
#define ID_BTN_CHANGE 1303
#define ID_BTN_MAPSEARCH 1304
#define ID_BTN_FITAREA 1305
#define ID_BTN_BRAND 1306
#define ID_BTN_SPEED_UNIT 1307
#define ID_BTN_MAP_EMPTY 1308
#define ID_BTN_TOOL_FIRST 1300
#define ID_BTN_TOOL_LAST 1306

// Child windows
#define ID_WEBFORM 103
#define ID_VIDEO_MAIN 2000
#define ID_VIDEO_SUB 2001

// Accelerator commands
#define ID_ACCEL_OPEN 32771
#define ID_ACCEL_SAVEAS 32772
#define ID_ACCEL_EXIT 32773
#define ID_ACCEL_PLAYPAUSE 32774
#define ID_ACCEL_FULLSCR 32775
#define ID_ACCEL_FULLWND 32776
#define ID_ACCEL_DELETE 32777
#define ID_ACCEL_HELP 32778
#define ID_ACCEL_PLAYSEL 32779
#define ID_ACCEL_UP 32780
#define ID_ACCEL_DOWN 32781
#define ID_ACCEL_SHIFTENTER 32782
