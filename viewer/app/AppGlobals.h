// Process-wide objects of the viewer program: the extraction lock and the start-up events that
// the main dialog governs, the map page's script objects, the program's version, and the
// device state of the camera's memory card with the records it is read into and sent as.
#pragma once

#include <string>

#include "platform/kernel.h"

class JSObject;
class WebformDispatchImpl;

// The camera's device record, as the card's "setting\setup.cfg" holds it (764 bytes; integers
// little-endian, texts single-byte in the system code page, each ending at its first zero).
#pragma pack(push, 1)
struct BlackBoxData {
    BYTE reserved0[8];
    char szModel[32];             // model name, cut at its first "(" when read from the card
    char szFirmware[184];         // firmware version
    BYTE safetyCamVersion[4];     // shown as bytes 3, 2, 1, 0
    char szSettingProgram[128];   // the camera's settings program, relative to the card root
    char szMicomVersion[104];
    INT nLocalId;                 // 45 selects the China map page
    BYTE reserved1[300];
};
#pragma pack(pop)
static_assert(sizeof(BlackBoxData) == 764, "BlackBoxData is the 764-byte device record");

// The notice sent to the launcher window by WM_COPYDATA (dwData 2014); all zero: no camera.
#pragma pack(push, 1)
struct LauncherInfo {
    char szFirmware[10];  // bytes 40-49 of the device record
    char szModel[16];     // bytes 8-23 of the device record
    char szDrive[10];     // the card's drive root in the system code page
};
#pragma pack(pop)
static_assert(sizeof(LauncherInfo) == 36, "LauncherInfo is the 36-byte launcher record");

#define LAUNCHER_WINDOW_TITLE L"Tessaly_Launcher"
#define LAUNCHER_COPYDATA_ID 2014

// The extraction lock (declared for the analysis code in playback/FileAnalysis.h): initialised
// by the main dialog's start-up and deleted by its close.
extern CRITICAL_SECTION g_csExtractText;
// "EVENT_SHOW_MAINDLG": the splash has ended (set by the splash thread).
extern HANDLE g_hShowMainDlgEvent;
// "EVENT_FILE_PARSING": a file-parsing run has finished.
extern HANDLE g_hFileParsingEvent;
// The map page's object "Dashcam" and the bridge that publishes it, created by the main
// dialog's start-up and released by its destructor.
extern JSObject* g_pJSObject;
extern WebformDispatchImpl* g_pWebformDispatch;
// The program's version "%d.%d.%d.%02d", "NOT" when the version block cannot be read.
extern std::wstring g_strAppVersion;

// Device state, touched only by the user-interface thread: the record of the card last read
// (null without one), whether the last search found a card, the card's size in gigabytes and
// its drive ("E:\"; empty while no card is known).
extern BlackBoxData* g_pBlackBoxData;
extern BOOL g_bCardFound;
extern float g_fCardCapacityGB;
extern std::wstring g_strCardDrive;
