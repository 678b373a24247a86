// CFullScrControlBox: the translucent playback bar at the bottom of the screen while the main
// video window plays full screen: the playback buttons, a progress slider and the playing and
// total times. Every button command, progress move and slider release goes to the notify
// window (the main video window); hiding the bar tells its parent, so the dialog's popups close.
#pragma once

#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/TButton.h"
#include "ui/TSliderCtrl.h"

// Command ids of the bar's buttons (the main dialog's playback commands).
#define ID_BTN_PAUSE 1101
#define ID_BTN_STOP 1102
#define ID_BTN_PRE 1103
#define ID_BTN_NEXT 1104
#define ID_BTN_SEC 1105
#define ID_BTN_SEC2 1106
#define ID_BTN_SIZE 1107
#define ID_BTN_SETTING 1108
#define ID_BTN_SAVE 1109
#define ID_BTN_VOLUME 1110
#define ID_BTN_VIDEO_CONNECT 1111
#define ID_BTN_CHANGE 1303

// A per-pixel-alpha layered pop-up, created by the main video window through DPICreateEx at
// 695 x 159 design units and hidden. A layered window is never sent WM_PAINT, so every change
// that shows (a time, a resize, showing the bar) pushes the composed picture at once with
// UpdateLayeredWindow. The buttons and the slider are layered pop-ups of their own, owned by
// the bar and placed over it whenever it is shown or moved. User-interface thread only.
class CFullScrControlBox : public CWnd, public CDPIWnd {
public:
    CFullScrControlBox();
    ~CFullScrControlBox() override;

    void SetNotifyWnd(HWND notify) { m_hNotifyWnd = notify; }
    // Seconds; shown at once while the bar is visible, else kept for the next picture.
    void SetPlayTime(int seconds);
    void SetTotalTime(int seconds);
    // The slider at 0 and both times 00:00:00.
    void ResetProgress();
    // Which of play and pause is shown: at once while visible, else at the next showing.
    void SetPlayState(BOOL playing);
    // Takes effect at the next showing.
    void EnableChangeBtn(BOOL enable) { m_bChangeEnabled = enable ? TRUE : FALSE; }
    void EnableSizeBtn(BOOL enable);
    // The setting button is never shown; only its enabled state is kept.
    void EnableSettingBtn(BOOL enable);
    void SetContinuePlay(BOOL on);
    void ReloadTexts();

    // The controls, for the owner and tests: the progress slider and the button of a command.
    CTSliderCtrl& GetProgress() { return m_sldProgress; }
    CTButton* GetButton(int id);
    BOOL IsPlaying() const { return m_bPlaying; }

    // "%02d:%02d:%02d" of whole seconds; the hours are not cut to two digits.
    static std::wstring FormatTime(int seconds);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnShowWindow(BOOL show, UINT status) override;
    void OnMove(int x, int y) override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    struct Control;
    // The buttons in the order in which they are laid out.
    static const Control* Controls(size_t* count);
    // Sets the dirty flag and pushes the picture through a window device context.
    void Recompose();
    void Compose(CDC* target);
    // Every control moved to its place over the bar and shown, in the bar's order.
    void LayOut();

    CTSliderCtrl m_sldProgress;  // "ScrVideo", notify id 1204
    CTButton m_btnVolume, m_btnPlay, m_btnPause;
    COffscreenDC m_dcComposite;   // the composed picture, rebuilt when dirty or resized
    int m_bDirty = 1;
    int m_bCreated = 0;           // nothing is composed before WM_CREATE has built the bar
    COffscreenDC m_dcBackground;  // "full_bg.9.png" at the client size
    CTButton m_btnStop, m_btnNext, m_btnPre, m_btnSec, m_btnSec2, m_btnSize, m_btnSetting,
        m_btnSave, m_btnConnect, m_btnChange;
    HWND m_hNotifyWnd = nullptr;
    BOOL m_bPlaying = FALSE;
    HFONT m_hTimeFont = nullptr;  // owned
    int m_nPlayTime = 0;          // seconds
    int m_nTotalTime = 0;         // seconds
    BOOL m_bChangeEnabled = FALSE;
};
