// CTDropBox: the viewer's drop-down and context menu, a translucent layered pop-up with a
// column of text rows over a nine-patch background, check marks, right-hand texts, separators
// and sub-menus. A row's command goes to the popup's parent as a posted WM_COMMAND; a sub-menu
// is a CTDropBox whose parent is the upper popup, which passes the command on, so every command
// ends at the window that owns the top popup.
#pragma once

#include <list>
#include <string>

#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"

class CTDropBox;

// One row. Rectangles are design units of the popup's client area.
struct CTDropBoxItem {
    std::wstring text;       // drawn at the left
    std::wstring rightText;  // drawn right-aligned (a key name, say); empty for none
    RECT rect = {0, 0, 0, 0};
    UINT id = 0;                   // only the low 16 bits are posted
    int check = 0;                 // the check mark is drawn only for exactly 1
    int disabled = 0;              // non-zero: grey text, and the row posts nothing
    CTDropBox* subMenu = nullptr;  // not owned; null for a command row
};

// A separator line drawn at (x, y) design units; the row `row` (its index when it was appended)
// is made taller by the separator picture's height.
struct CTDropBoxSeparator {
    int x = 0;
    int y = 0;
    int row = 0;
};

// Created, changed and painted on the user-interface thread only. The owner creates the window
// (a WS_POPUP with WS_EX_TOPMOST | WS_EX_TOOLWINDOW, the owner window or the upper popup as
// parent) at its final size, then calls SetBackImages first, the optional styles and pictures,
// the separators and the rows, and hides it. To show it the owner calls ResetHover, places it and
// shows it activated; it hides itself when it loses activation to anything outside its chain of
// sub-menus, and hiding a popup hides its open sub-menus. Operations that draw need the window.
class CTDropBox : public CWnd, public CDPIWnd {
public:
    CTDropBox();
    ~CTDropBox() override;

    // The background nine-patch drawn at the client size, whose content area becomes the rows
    // area (its right edge 3 units in), and the row pictures for a held and a hovered row, drawn
    // as nine-patches of the rows area's width x 20 units; recomposes.
    void SetBackImages(const std::wstring& background9, const std::wstring& held9,
                       const std::wstring& hover9);
    // Check-mark and sub-menu arrow pictures, each stretched onto 16 x 16 units; recompose.
    void SetCheckImages(const std::wstring& normal, const std::wstring& hover);
    void SetSubMenuImages(const std::wstring& normal, const std::wstring& hover);
    // Rows keep a 20-unit check column; rows keep room for a sub-menu arrow. No repaint.
    void SetCheckStyle(BOOL on) { m_bCheckStyle = on; }
    void SetSubMenuStyle(BOOL on) { m_bSubMenuStyle = on; }
    void SetTextColors(COLORREF normal, COLORREF hover);
    // The first call makes the separator picture (width x height units); later calls reuse it
    // whatever they pass. Every call appends a separator. No repaint.
    void AddSeparator(const std::wstring& picture9, int width, int height, int x, int y, int row);
    // Appends a row below the last one (20 units high plus one between rows, taller by a
    // separator that names its index); check and disabled 0; recomposes.
    void AddItem(const std::wstring& text, const std::wstring& rightText, UINT id,
                 CTDropBox* subMenu = nullptr);
    // Every row with the id; no repaint. Unknown ids do nothing.
    void SetItemText(UINT id, const std::wstring& text, const std::wstring& rightText);
    // The first row with the id; recomposes when the value changes.
    void SetItemCheck(UINT id, int check);
    void SetItemDisable(UINT id, int disabled);
    // The rows area becomes `width` units wide less the 13-unit frame and the 3-unit inset; the
    // rows keep their rectangles until CalcHeight re-stacks them from the rows area.
    void SetWidth(int width);
    void CalcHeight();
    // No row hovered or held, the composite surface made again at the current size; recompose.
    void ResetHover();
    // Drops the font (the next composition makes it again from the language); recompose.
    void ResetFont();
    void Redraw();

    // A WM_COMMAND for this popup with notification code 0 (from a sub-menu) is posted on to the
    // parent unchanged and consumed.
    BOOL PreTranslateMessage(MSG* msg) override;

    // What the popup shows now, for its owner and tests.
    int GetHoverRow() const { return m_nHover; }
    const std::list<CTDropBoxItem>& GetItems() const { return m_items; }
    const RECT& GetRowsArea() const { return m_rcRows; }

protected:
    void OnPaint() override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    void OnShowWindow(BOOL show, UINT status) override;

private:
    // Sets the dirty flag and composes through a window device context.
    void Recompose();
    void Compose(CDC* target);
    void DrawRows(CDC* target);
    // The row under a point in design units; -1 for none (gaps, margins, separators).
    int RowAt(POINT design) const;
    CTDropBoxItem* ItemAt(int index);
    CTDropBoxItem* FirstItem(UINT id);
    // Shows the row's sub-menu with its top-left at the row's top-right corner, 3 units up.
    void ShowSubMenu(const CTDropBoxItem& item, bool activate);
    // True when the window is one of this popup's sub-menus, at any depth.
    bool HasSubMenu(HWND window) const;
    // The upper popup of a sub-menu, null for a top popup.
    CTDropBox* UpperPopup() const;

    COffscreenDC m_dcComposite;  // the composed picture, rebuilt when dirty
    COffscreenDC m_dcCheck;
    COffscreenDC m_dcCheckHover;
    COffscreenDC m_dcArrow;
    COffscreenDC m_dcArrowHover;
    COffscreenDC m_dcBack;     // the background at the client size of SetBackImages
    COffscreenDC m_dcRowHeld;  // rows area width x 20 units
    COffscreenDC m_dcRowHover;
    COffscreenDC m_dcSeparator;
    int m_bDirty = 1;
    BOOL m_bCheckStyle = FALSE;
    BOOL m_bSubMenuStyle = FALSE;
    std::list<CTDropBoxItem> m_items;
    std::list<CTDropBoxSeparator> m_separators;
    RECT m_rcRows = {0, 0, 0, 0};  // design units
    int m_nHover = -1;
    BOOL m_bPressed = FALSE;
    BOOL m_bTracking = FALSE;  // a WM_MOUSELEAVE is requested and has not come yet
    HFONT m_hFont = nullptr;   // owned
    COLORREF m_clrNormal = RGB(0, 0, 0);
    COLORREF m_clrHover = RGB(255, 255, 255);
    COLORREF m_clrDisabled = RGB(131, 137, 145);
};
