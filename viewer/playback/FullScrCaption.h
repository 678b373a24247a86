// CFullScrCaption: the title bar across the top of the screen while the main video window
// plays full screen: a nine-patch strip with the maker's brand picture at the left (while a
// camera's device record exists), the recording's title in the middle and the restore,
// minimise and close buttons at the right, whose commands go to the notify window.
#pragma once

#include <functional>
#include <string>

#include "platform/mfc.h"
#include "ui/OffscreenDC.h"
#include "ui/RButton.h"
#include "ui/RStaticText.h"

// Command ids of the caption's buttons, sent to the notify window as WM_COMMAND (lParam 0).
#define ID_BTN_CAP_CLOSE 1300
#define ID_BTN_CAP_MIN 1301
#define ID_BTN_CAP_RESTORE 1302
#define IDC_CAP_TITLE 1169

// Created by the main video window as a hidden top-most tool pop-up; shown, moved and hidden
// by it. User-interface thread only.
class CFullScrCaption : public CWnd {
public:
    CFullScrCaption();
    ~CFullScrCaption() override;

    void SetNotifyWnd(HWND notify) { m_hNotifyWnd = notify; }
    // Shows the title and centres the label on the current width again.
    void SetTitle(const std::wstring& title);
    // Rebuilds the picture and paints it at once; the video window calls it after every move
    // or resize.
    void Redraw();
    // The restore button's tooltip in the current language.
    void ReloadTexts();
    // Asked at every rebuild whether a camera's device record exists (the brand picture is
    // drawn only then); without a query no brand is drawn.
    void SetDeviceRecordQuery(std::function<bool()> query) { m_fnHasDeviceRecord = std::move(query); }

    // For tests and the owner: the label and the three buttons.
    CRStaticText& GetTitleLabel() { return m_stcTitle; }
    CRButton& GetButton(int id);

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void Compose(CDC* target);
    // Moves the three buttons by the change of the client width since they were last placed,
    // so that they keep their distance from the right edge.
    void AnchorButtons(const CRect& client);
    void PlaceTitle();
    void DrawBackground(CDC* dc, const CRect& client);

    COffscreenDC m_dcComposite;  // the composed bar, rebuilt when dirty or resized
    int m_bDirty = 1;
    int m_bCreated = 0;  // nothing is composed before WM_CREATE has built the bar
    COffscreenDC m_dcBackground;  // "full_title_bg.9.png" at the client size
    COffscreenDC m_dcBrand;       // "bi_brand.png" at its own size
    CRect m_rcClient;
    // The client rectangle the buttons were last placed for; compared on every composition,
    // so a resize that is painted before any Redraw still moves them.
    CRect m_rcAnchor;
    CRButton m_btnRestore;
    CRButton m_btnClose;
    CRButton m_btnMinimize;
    CRStaticText m_stcTitle;
    HFONT m_hTitleFont = nullptr;  // owned
    int m_nTitleX = 0;             // design units: the title label's left edge
    HWND m_hNotifyWnd = nullptr;
    std::function<bool()> m_fnHasDeviceRecord;
};
