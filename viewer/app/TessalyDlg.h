// CTessalyDlg: the viewer's main dialog, its only top-level window. A borderless dialog that
// paints its own title bar and holds every control, both video windows, the G-sensor graph, the
// map page, the playlist and the playback engine.
//
// The class is written in several files, one per area (see the sections below):
//   TessalyDlg.cpp           construction, start-up (OnInitDialog), splash thread, close, version
//   TessalyDlg_Layout.cpp    controls, background, painting, relayout, the right-column switch
//   TessalyDlg_Language.cpp  the live language switch
//   TessalyDlg_Messages.cpp  WindowProc, commands, accelerators, the card check, mouse handlers
//   TessalyDlg_Modes.cpp     title-bar and tool buttons, window modes, full screen, map search
//   TessalyDlg_Lists.cpp     the six recording lists, tabs, dropped and opened files, delete
//   TessalyDlg_Card.cpp      memory card, device record, launcher notice, settings program,
//                            registry
//   TessalyDlg_Play.cpp      playback commands, sliders, popups, play progress, telemetry
//   TessalyDlg_Menu.cpp      popup-menu commands
//   TessalyDlg_Map.cpp       map track, position and area
//   TessalyDlg_Parsing.cpp   the file-parsing thread
// Everything runs on the user-interface thread, except the splash thread (the splash dialog
// lives there) and the file-parsing thread.
#pragma once

#include <atomic>
#include <string>

#include "app/AppGlobals.h"
#include "app/DeviceInfoDlg.h"
#include "app/SplashDlg.h"
#include "app/UpdateDlg.h"
#include "platform/mfc.h"
#include "playback/GPSViewer.h"
#include "playback/RecFileInfo.h"
#include "playback/TextData.h"
#include "playback/VideoMainWnd.h"
#include "playback/VideoMgr.h"
#include "playback/VideoSubWnd.h"
#include "playback/VideoWndHost.h"
#include "res/resource.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/RButton.h"
#include "ui/RImageNum.h"
#include "ui/RListCtrl.h"
#include "ui/RSliderCtrl.h"
#include "ui/RStatic.h"
#include "ui/RStaticText.h"
#include "ui/TDropBox.h"
#include "ui/TDropBriSpd.h"
#include "ui/TDropVol.h"

// Dropped files: the shell's handle (platform/shell.h once the layer has it).
#if __has_include("platform/shell.h")
#include "platform/shell.h"
#else
struct HDROP__;
typedef HDROP__* HDROP;
#endif

class WebForm;

// Posted by the file-parsing thread to the dialog: wParam one of the requests below, which the
// dialog carries out on its own thread (OnParsingUi).
#define WM_PARSING_UI (WM_APP + 0x43)
enum {
    PARSING_UI_KILL_TIMER = 0,    // a new run: the hiding timer of the last one is cancelled
    PARSING_UI_SHOW_PERCENT = 1,  // the percent label is shown
    PARSING_UI_SHOW_MESSAGE = 2,  // the message label is shown
    PARSING_UI_ABORTED = 3,       // both labels are hidden
    PARSING_UI_COMPLETED = 4,     // the percent label is hidden; the hiding timer starts
};

// The recording categories: indexes of the dialog's six recording maps.
enum RecordingCategory {
    CATEGORY_CONTINUOUS = 0,  // "cont_rec"
    CATEGORY_EVENT = 1,       // "evt_rec" ("DUALSAVE" for the model Q914)
    CATEGORY_MANUAL = 2,      // "manual_rec"
    CATEGORY_MOTION = 3,      // "motion_rec", "motion_timelapse_rec"
    CATEGORY_PARKING = 4,     // "parking_rec"
    CATEGORY_AREA = 5,        // the recordings whose GPS track enters the visible map area
    CATEGORY_COUNT = 6,
};

// Window modes.
enum {
    WINDOW_MODE_NORMAL = 0,
    WINDOW_MODE_MAXIMISED = 1,
    WINDOW_MODE_FULLSCREEN = 2,
};

// The dialog's design size.
#define DIALOG_DESIGN_WIDTH 965
#define DIALOG_DESIGN_HEIGHT 711

// A place in design units: x, y, width, height.
struct DesignRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A size in design units.
struct DesignSize {
    int width = 0;
    int height = 0;
};

// The click guard: the last command remembered and when (GetTickCount).
struct ClickGuard {
    int id = 0;
    DWORD tick = 0;
    void Remember(int command)
    {
        id = command;
        tick = GetTickCount();
    }
};

class CTessalyDlg : public CDialog, public CVideoWndHost {
public:
    explicit CTessalyDlg(CWnd* parent = nullptr);
    ~CTessalyDlg() override;

    // =========================================================================================
    // Lifecycle (TessalyDlg.cpp)
    BOOL OnInitDialog() override;
    // The splash thread: runs the splash dialog modally, then sets g_hShowMainDlgEvent.
    static DWORD WINAPI SplashThread(LPVOID dialog);
    // Fills g_strAppVersion from the program's version block; TRUE on success.
    BOOL LoadAppVersion();
    // Sends the record to the launcher window "Tessaly_Launcher" when it exists (WM_COPYDATA,
    // dwData 2014, the dialog as sender), waiting a bounded time for it to take the notice.
    void SendLauncherNotice(const LauncherInfo& info);

    // The video windows' questions (CVideoWndHost). GetVideoTrackCount and IsMovieOpen belong
    // to the lists (TessalyDlg_Lists.cpp), the others to TessalyDlg.cpp.
    int GetVideoTrackCount() override;
    BOOL IsMovieOpen() override;
    BOOL IsPlayingMP4() override;
    BOOL IsSingleView() override;
    BOOL HasDeviceRecord() override;

    // =========================================================================================
    // Controls (TessalyDlg_Layout.cpp)
    void CreateControls();
    void CreateVideoWnds();
    void CreateSlider();
    void CreateBtns();
    void CreateDropBoxs();
    void CreateStatics();
    void CreateListCtrl();
    // Width in pixels of text in a new font of that face, size (design units) and weight.
    int GetTextWidth(const std::wstring& text, const std::wstring& face, int size, int weight);
    int GetTextWidthWithFont(const std::wstring& text, HFONT font);

    // =========================================================================================
    // Layout and painting (TessalyDlg_Layout.cpp)
    void LoadImages();
    void BuildBackground();
    void DrawVideoFrames();
    void DrawClientArea(CDC* paintDC);
    void DrawBackground(CDC* dc);
    void DrawSizeGrip(CDC* dc);
    void ArrangeControls();
    void ArrangeVideoWnds();
    // Screen position (pixels) at which the popup of that id opens.
    void GetPopupPos(int id, POINT* pt);
    // The right-column switch: TRUE the rear view, FALSE the map.
    void ShowRearView(BOOL show);
    // TRUE puts the rear picture into the main window.
    void SetReverseView(BOOL reverse);
    void UpdateChannelLabels();
    void ClearRearView();

    // Helpers of the controls and the layout.
    int DesignWidth() const;   // the client size in design units
    int DesignHeight() const;
    void MakeButton(CRButton& button, UINT id, RECT place, LPCWSTR normal, LPCWSTR over,
                    LPCWSTR pressed, LPCWSTR disabled, LPCWSTR tooltipKey);
    void MakeButton9(CRButton& button, UINT id, RECT place, const std::wstring& base,
                     const CRButtonText& text);
    void SetButtonImages9(CRButton& button, const std::wstring& base, const CRButtonText& text);
    void MakePopup(CTDropBox& box, LPCWSTR title, int x, int y, int width, int height,
                   CWnd* owner);
    void MakeStatic(CRStatic& label, UINT id, RECT place, const std::wstring& text, HFONT font,
                    DWORD style);
    void MakeStaticText(CRStaticText& label, UINT id, RECT place, const std::wstring& ninePatch,
                        HFONT font, const CRButtonText& text);
    // Invalidates a child and the dialog's area under it.
    void InvalidateChild(CWnd& child);
    // The label fonts of the current language.
    static HFONT MakeFont1();
    static HFONT MakeFont2();
    static HFONT MakeFont3();
    static HFONT MakeFont4();
    // The model text of the card's device record, "None" without one.
    static std::wstring GetModelText();
    // The language menu's item of a language name (English for any other name).
    static UINT LanguageItemId(const std::wstring& name);
    // The first item of the "ScrSize02" menu, at creation and after a language change alike.
    static constexpr const WCHAR* kOriginalSizeKey = L"IDS_STRING_K_065";
    // The sub view's channel label while it says that there is no second picture: as wide as
    // the column beside the sub view, where the hidden second title label would be.
    static constexpr int kChannelLabelWideWidth = 280;

    // =========================================================================================
    // Language switch (TessalyDlg_Language.cpp; ReloadAllTexts in TessalyDlg_Modes.cpp)
    void ReloadButtonTexts();
    void ReloadMenuTexts();
    void ReloadLabelTexts();
    void ReloadAllTexts();

    // =========================================================================================
    // Message protocol (TessalyDlg_Messages.cpp)
    BOOL PreTranslateMessage(MSG* msg) override;
    void OnFullscr();
    void OnFullwnd();
    // The other accelerator handlers: each sends one command to the dialog.
    void OnAccelerator(UINT command);
    LRESULT OnVideoSizeChaged(WPARAM wParam, LPARAM lParam);
    // The card check after a device or media notification (run by timer IDT_CARD_CHECK).
    void ScheduleCardCheck(UINT message, WPARAM wParam);
    void RunCardCheck();
    // Hides the six popup panels (File, Setting, "ScrSize", "ScrSize02", brightness and speed,
    // volume).
    void HidePopups();
    // After the video windows repainted or a slider was released: the map page collapsed, its
    // placeholder shown where the map would be.
    void Relayout();
    // The point (client pixels) lies in the size grip, the bottom-right 18 x 18 units.
    BOOL InSizeGrip(CPoint point) const;

    // =========================================================================================
    // Title-bar and tool buttons, window modes (TessalyDlg_Modes.cpp)
    void OnTitleBtnClicked(UINT id);
    void OnToolBtnClicked(UINT id);
    void ToggleFullScreen();
    // The map search over the visible map area (button 1304).
    void SearchMapArea();
    // Empties the area results (category 5), letting the player go of a recording among them.
    void EmptyAreaResults();

    // =========================================================================================
    // Recording lists (TessalyDlg_Lists.cpp)
    BOOL InitMovieList(BOOL checkCard);
    int UpdateListTabs();
    void ShowMovieList(int category);
    void OnListTabClicked(UINT id);
    void AddRecordingFile(const std::wstring& path);
    void OnDropFiles(HDROP drop);
    void OpenRecordingFiles();
    void SaveRecordingAs();
    void SetCardMode(BOOL present, BOOL isMP4);
    BOOL IsPlayingRearFile();
    void SwapTitleLabels();
    void DeleteSelectedRecording();
    // Adds one opened or dropped recording (the caller keeps the parsing thread stopped).
    void AddRecording(const std::wstring& path, BOOL isMP4);
    // Marks the main tab of the category and shows its sub-tabs or column buttons; nothing for
    // -1.
    void ArrangeListTabs(int category);
    // Keeps the file-parsing thread stopped while the lists change (TessalyDlg_Lists.cpp).
    class ListChange;

    // =========================================================================================
    // Memory card, launcher, settings program, registry (TessalyDlg_Card.cpp)
    BOOL FindSDCard();
    void OnSDCardIn();
    void OnSDCardOut();
    void GetAppFolder();
    void SendLauncherInfo();
    void RunSettingsProgram();
    void WriteRegistrySettings();
    BOOL LoadPlayType();
    void SavePlayType();
    static BOOL RegReadString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPWSTR buffer,
                              DWORD bufferBytes);
    static BOOL RegWriteString(HKEY root, LPCWSTR subKey, LPCWSTR valueName, LPCWSTR text);

    // =========================================================================================
    // Popup-menu commands (TessalyDlg_Menu.cpp)
    void OnPopupBoxClicked(UINT id);
    // The language item `id` chose the language `name`.
    void SwitchLanguage(UINT id, const std::wstring& name);
    // The speed unit: miles per hour (TRUE) or kilometres per hour.
    void SwitchSpeedUnit(BOOL mph);
    // The play type between single and dual.
    void SwitchPlayType();
    // The window-size command (1063, Alt+Enter).
    void ToggleWindowSize();

    // =========================================================================================
    // Map track, position and area (TessalyDlg_Map.cpp)
    void ResetMapPage();
    void DrawMapTrack(const std::wstring& title);
    void UpdateMapArea(BOOL newRecording);
    // Runs one map-page call, a wide script text sent in the ANSI code page.
    void RunMapScript(const std::wstring& script);
    // Places the map page on m_rcMap (TRUE) or collapses it to an empty rectangle (FALSE).
    void MoveMapPage(BOOL onMap);

    // =========================================================================================
    // Playback commands, play progress and telemetry (TessalyDlg_Play.cpp)
    BOOL VideoPlay(BOOL force);
    BOOL VideoPause();
    BOOL VideoSTOP();
    void OnControlBoxBtnClicked(UINT id);
    LRESULT OnSliderChanged(WPARAM notifyId, LPARAM value);
    void OnSeekReleased(UINT notifyId);
    void ShowPopupBox(int id);
    BOOL IsRepeatedClick(int id, DWORD interval);
    void UpdatePlayProgress();
    BOOL SetGSensor();
    // The play-time and total-time texts.
    void ShowPlayTime();
    void ShowTotalTime();
    // The full-screen bar's times and progress for the open recording.
    void ShowBarProgress();
    // The entry of the shown map under title; null without a shown map or such an entry.
    RecFileInfo* FindShownEntry(const std::wstring& title);
    // m_pPlayingText when it still is the telemetry of a listed entry, else null (and
    // m_pPlayingText is cleared): a card's removal empties the maps under a recording that
    // may still be in the player.
    const CTextData* PlayingText();
    // Sets m_pPlayingText and m_strTextKey under g_csExtractText, where the parsing thread
    // reads them.
    void SetPlayingText(CTextData* text, const std::wstring& key);

    // =========================================================================================
    // File-parsing thread (TessalyDlg_Parsing.cpp)
    static DWORD WINAPI FileParsingThread(LPVOID dialog);
    void StartFileParsing();
    void StopFileParsing();
    // The thread's work (on the thread) and its requests to the user-interface thread.
    void ParseFiles();
    void PostParsingUi(WPARAM request);
    LRESULT OnParsingUi(WPARAM request);

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;  // Messages
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;                   // Messages

    // Lifecycle (TessalyDlg.cpp)
    void OnClose() override;
    // Layout and painting (TessalyDlg_Layout.cpp)
    void OnPaint() override;
    HCURSOR OnQueryDragIcon() override;
    void OnSize(UINT type, int cx, int cy) override;
    // Message protocol (TessalyDlg_Messages.cpp)
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    void OnRButtonUp(UINT flags, CPoint point) override;
    // Play progress (TessalyDlg_Play.cpp); timer 104 is the parsing thread's
    void OnTimer(UINT_PTR id) override;

public:
    // =========================================================================================
    // Members, in declaration order. Public so that the helpers of each area and the tests
    // can reach them; only the dialog's own code changes them.

    CDPIWnd m_dpiWnd;            // places the dialog in design units
    HICON m_hIcon = nullptr;     // icon resource 134
    WebForm* m_pWebForm = nullptr;   // the map-page host, owned
    HANDLE m_hSplashThread = nullptr;
    HACCEL m_hAccel = nullptr;   // accelerator table 140
    HANDLE m_hParseThread = nullptr;
    std::atomic<int> m_bParseDone{1};  // 0 while the parsing thread runs; 1 ended or told to stop
    int m_bInitDone = 0;         // 1 from the end of OnInitDialog
    int m_bMapCentred = 0;
    int m_bFirstGpsInvalid = 1;
    int m_bTrackDrawn = 0;
    ClickGuard m_ClickGuard;

    // Painting
    COffscreenDC m_dcCompose;
    CBitmap* m_pComposeBitmap = nullptr;
    int m_bBackgroundDirty = 1;
    RECT m_rcClient = {0, 0, DIALOG_DESIGN_WIDTH, DIALOG_DESIGN_HEIGHT};
    RECT m_rcPrevClient = {0, 0, DIALOG_DESIGN_WIDTH, DIALOG_DESIGN_HEIGHT};
    std::wstring m_strAppFolder;  // the program's folder with its final backslash
    COffscreenDC m_dcBackground;  // also every skinned control's parent background
    COffscreenDC m_dcGrip;
    COffscreenDC m_dcTitleLeft;
    COffscreenDC m_dcTitleRight;
    COffscreenDC m_dcGpsPanel;

    // The 35 buttons
    CRButton m_btnClose;          // 1001
    CRButton m_btnMax;            // 1003
    CRButton m_btnMin;            // 1002
    CRButton m_btnFolUp;          // 1300
    CRButton m_btnFolDn;          // 1301
    CRButton m_btnMapSearch;      // 1304
    CRButton m_btnChange;         // 1303
    CRButton m_btnExpand;         // 1302
    CRButton m_btnPre;            // 1103
    CRButton m_btnSec;            // 1105
    CRButton m_btnPlay;           // 1100
    CRButton m_btnPause;          // 1101
    CRButton m_btnStop;           // 1102
    CRButton m_btnSec2;           // 1106
    CRButton m_btnNext;           // 1104
    CRButton m_btnSize;           // 1107
    CRButton m_btnScrSetting;     // 1108
    CRButton m_btnSave;           // 1109
    CRButton m_btnVolume;         // 1110
    CRButton m_btnVideoConnect;   // 1111
    CRButton m_btnBrand;          // 1306
    CRButton m_btnSpeedUnit;      // 1307
    CRButton m_btnMapEmpty;       // 1308
    CRButton m_btnFile;           // 1004
    CRButton m_btnSetting;        // 1006
    CRButton m_btnListNormal;     // 1251
    CRButton m_btnListParking;    // 1252
    CRButton m_btnListManual;     // 1253
    CRButton m_btnListPosition;   // 1254
    CRButton m_btnListRecNormal;  // 1255
    CRButton m_btnListNorShock;   // 1256
    CRButton m_btnListParkMotion; // 1257
    CRButton m_btnListParkShock;  // 1258
    CRButton m_btnListFileSize;   // 1259
    CRButton m_btnListFileName;   // 1260

    // Popup menus and panels
    CTDropBox m_boxFile;          // "File"
    CTDropBox m_boxSetting;       // "Setting"
    CTDropBox m_boxLang;          // "Lang", owned by the Setting menu
    CTDropBox m_boxUnit;          // "Unit", owned by the Setting menu
    CTDropBox m_boxScrSize;       // "ScrSize"
    CTDropBox m_boxScrSize02;     // "ScrSize02"
    CTDropBriSpd m_boxBriSpd;     // "BriSpd"
    CTDropVol m_boxVol;           // "Vol"

    CGPSViewer m_GPSViewer;       // 1163

    // Label fonts
    HFONT m_hFont1 = nullptr;     // TEXTSIZE_TESSALY_1, the UI face
    HFONT m_hFont3 = nullptr;     // TEXTSIZE_TESSALY_3, the UI face
    HFONT m_hFont2 = nullptr;     // TEXTSIZE_TESSALY_2, "tahoma"
    HFONT m_hFont4 = nullptr;     // TEXTSIZE_TESSALY_4, "tahoma"

    // Labels
    CRStaticText m_lblTitle1;     // 1164, first title label
    CRStaticText m_lblTitle2;     // 1154, second title label
    CRStatic m_lblFront;          // 1150
    CRStatic m_lblRear;           // 1151
    CRStatic m_lblMap;            // 1152
    CRStatic m_lblPlaylist;       // 1153
    CRStatic m_lblPlayTime;       // 1155
    CRStatic m_lblTotalTime;      // 1156
    CRStatic m_lblVersion;        // 1165
    CRStaticText m_lblModel;      // 1168
    CRStaticText m_lblGX;         // 1158
    CRStaticText m_lblGY;         // 1159
    CRStaticText m_lblGZ;         // 1160
    CRStaticText m_lblParsing;    // 1166
    CRStaticText m_lblParsePercent;  // 1167

    std::atomic<int> m_nParsePercent{0};  // written by the parsing thread

    CVideoMgr m_VideoMgr;         // the playback engine

    RECT m_rcVideo = {2, 109, 642, 469};       // scaled by the constructor
    RECT m_rcSubVideo = {643, 109, 963, 349};  // scaled by the constructor
    RECT m_rcMap = {643, 146, 963, 386};       // scaled by the constructor
    RECT m_rcTitleStrip = {121, 6, 286, 32};   // pixels, never scaled or moved

    CRSliderCtrl m_sliderSeek;    // 1200
    CRSliderCtrl m_sliderSpeed;   // 1205, the speed gauge
    CRImageNum m_numSpeed;        // 1157

    int m_bSpeedMph = 0;
    int m_bRearViewShown = 1;
    CTextData* m_pPlayingText = nullptr;  // written under g_csExtractText (parsing thread reads)
    std::wstring m_strTextKey;            // the key whose entry m_pPlayingText belongs to
    std::wstring m_strRootPath;
    RecFileMap* m_pShownMap = nullptr;
    RecFileMap m_RecMaps[CATEGORY_COUNT];
    // Counts every rebuilding or emptying of the six lists (a card read, a card gone), so that
    // an entry found before a modal wait can tell whether its lists still stand after it.
    unsigned m_nListsBuilt = 0;
    int m_nShownPosition = 0;

    CRListCtrl m_listPlay;        // 1250
    int m_nShownCategory = 0;

    CVideoMainWnd m_wndVideoMain; // 2000
    CVideoSubWnd m_wndVideoSub;   // 2001

    int m_nWindowMode = WINDOW_MODE_NORMAL;
    int m_nSavedWindowMode = WINDOW_MODE_NORMAL;

    CUpdateDlg m_dlgUpdate;
    CBbInfoDlg m_dlgBbInfo;
    CSplashDlg m_dlgSplash;

    std::wstring m_strPlayingTitle;
    int m_bResumeAfterSeek = 1;
    int m_bAutoContinue = 1;
    int m_nSavedDragFullWindows = 0;
    ULONG m_nNotifyId = 0;

    DesignRect m_rcFileBtn;
    DesignRect m_rcSettingBtn;
    DesignRect m_rcFileBox;
    DesignRect m_rcSettingBox;
    DesignSize m_szLangBox;
    DesignSize m_szUnitBox;

    int m_bSinglePlay = 1;
    int m_bMP4Mode = 0;
    int m_bPlayTypeLocked = 0;

    // The transport buttons' share of the width changes (TessalyDlg_Layout.cpp): the whole
    // change since creation, and what they have moved; they move by half the whole, so that
    // halving odd changes one by one does not make them drift.
    int m_nTransportShiftTotal = 0;
    int m_nTransportShiftDone = 0;

    // The pending card check (TessalyDlg_Messages.cpp): the notifications seen since the timer
    // was set, and the card known when the first of them arrived.
    BOOL m_bCardCheckPending = FALSE;
    BOOL m_bCardCheckDevice = FALSE;  // a WM_DEVICECHANGE arrived
    BOOL m_bCardCheckMedia = FALSE;   // a shell media notification arrived
    BOOL m_bCardCheckRemoval = FALSE; // a device left (DBT_DEVICEREMOVECOMPLETE)
    std::wstring m_strCardCheckDrive; // the card drive known at the first notification
    BlackBoxData m_CardCheckRecord{}; // and its device record (zero without one)
};
