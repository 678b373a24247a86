// CRListCtrl: the playlist of the main dialog, a skinned owner-drawn list of recordings (title
// and file size, front and rear rows of one moment marked with a link icon), with the selected
// and the now-playing row, its own scroll bar and a row context menu. A fixed pool of rows,
// sized to the client height, is refilled from the items as the view scrolls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "platform/mfc.h"
#include "ui/DPIWnd.h"
#include "ui/OffscreenDC.h"
#include "ui/RScrollBar.h"
#include "ui/TDropBox.h"

// One recording of the list.
struct CRListItem {
    int number = 0;         // given by the caller, stored and copied, never shown
    std::wstring title;     // the identity every lookup uses
    std::wstring path;      // stored and copied, never shown
    std::wstring sizeText;  // "%0.2fmb"
    int pairType = 0;       // 0 without partner, 1 front of a pair, 2 rear of a pair
    int playing = 0;        // 1 on the now-playing item
    int selected = 0;       // 1 on the selected item
};

// One visible row: a copy of the item it shows (an empty item below the last one), its place
// and the pictures it composes itself from, drawn once when it is made.
class CRListRow {
public:
    CRListRow(CDC* dc, const RECT& rect, int even);
    // Composes the row in its own surface and copies it to `target` at the row's place.
    void Paint(CDC* target, HFONT font);

    COLORREF m_clrText = 0;  // the colour last used for the text
    CRListItem m_item;
    RECT m_rect;           // client pixels
    RECT m_rcTitle;        // row pixels
    RECT m_rcSize;         // row pixels
    COffscreenDC m_dcRow;  // 307 x 20 units
    // Title column (224 x 20 units) and size column (83 x 20 units): even stripe, odd stripe,
    // selected, pressed.
    COffscreenDC m_dcTitle[4];
    COffscreenDC m_dcSize[4];
    COffscreenDC m_dcNowPlaying;  // 4 x 7 units
    COffscreenDC m_dcFrontLink;   // 7 x 20 pixels
    COffscreenDC m_dcRearLink;
    int m_nItem = -1;  // the shown item's index, -1 for a row without one
    int m_bEven;       // the stripe; a row without item keeps the one it had
    int m_nState = 0;  // 0 normal, 2 pressed
};

// The main dialog owns it by value, creates it through CDPIWnd (a child window whose class has
// double clicks), fills it and drives it, all on the user-interface thread. Notifications go to
// the parent with SendMessage: WM_COMMAND ID_BTN_PLAY_FORCE for a double click on an item and
// for PlaySelectedItem, ID_BTN_PLAY when SelectNextItem or SelectPrevItem moved, and
// WM_LIST_RBUTTONUP when a right click selected a row; the context menu's commands 1064 (play)
// and 1065 (delete) go to the dialog, which owns the top-level window above the list. While
// locked (no memory card) the list shows a hint and ignores left clicks and double clicks.
class CRListCtrl : public CWnd, public CDPIWnd {
public:
    CRListCtrl();
    ~CRListCtrl() override;

    // Appends an item without flags (no repaint). The size text is the byte count in single
    // precision times 2^-20 with "%0.2fmb": 1048576 bytes give "1.00mb".
    void AddItem(const std::wstring& title, int number, const std::wstring& path, ULONGLONG bytes,
                 int pairType);
    // Empties the list, with no selection and nothing playing.
    void DeleteAllItems();
    void OnItemsChanged() {}
    // Pulls the view back so that the last page is full, and refills.
    void UpdateScroll();
    // Index of the first item with exactly this title; -1 for none.
    int FindItem(const std::wstring& title) const;
    std::wstring GetSelectedTitle() const;
    std::wstring GetPlayingTitle() const;
    // The other channel of the now-playing pair, else the playing title.
    std::wstring GetPartnerTitle() const;
    BOOL IsPlayingRear() const;
    BOOL IsPlayingSingle() const;
    // The item with this title becomes the selected (playing) one, wherever it is in the list;
    // an empty title clears the selection (nothing plays); an unknown one changes nothing. No
    // repaint.
    void SetSelectedItem(const std::wstring& title);
    void SetPlayingItem(const std::wstring& title);
    // The selected item becomes the now-playing one and ID_BTN_PLAY_FORCE is sent; without a
    // selection nothing changes and nothing is sent.
    void PlaySelectedItem();
    // Moves the selection one row down or up, wrapping, keeping it in view; FALSE (nothing
    // changed) with fewer than two items, and for SelectPrev without a selection.
    BOOL SelectNext();
    BOOL SelectPrev();
    // Advances the now-playing item to the next or previous recording (in pair mode, FALSE
    // singleMode, the partner row of the other channel is skipped), keeps it in view and sends
    // ID_BTN_PLAY. FALSE with fewer than two items, and for SelectNextItem with neither a
    // playing item nor a selection.
    BOOL SelectNextItem(BOOL singleMode);
    BOOL SelectPrevItem(BOOL singleMode);
    void SetLock(BOOL lock);
    BOOL GetLock() const { return m_bLock; }
    // The dialog's wheel: exactly +120 scrolls up two rows, -120 down two rows.
    void OnParentMouseWheel(UINT flags, short delta, POINT point);
    void ReloadTexts();

    // What the list holds and shows, for the dialog and tests.
    int GetItemCount() const { return int(m_items.size()); }
    const CRListItem& GetItem(int index) const { return m_items[size_t(index)]; }
    int GetTopIndex() const { return m_nTopIndex; }
    int GetRowCount() const { return int(m_rows.size()); }
    int GetRowHeight() const { return m_nRowHeight; }
    int GetPlayingIndex() const { return m_nPlayingItem; }
    int m_nSelectedItem = -1;
    CTDropBox& GetContextMenu() { return m_menuContext; }
    CRScrollBar& GetScrollBar() { return m_scrollBar; }

protected:
    int OnCreate(LPCREATESTRUCTW create) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonUp(UINT flags, CPoint point) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Guards the items, the rows and the indices against re-entry; the parent's handlers of
    // the notifications run inside it on the same thread.
    class Lock {
    public:
        explicit Lock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
        ~Lock() { LeaveCriticalSection(&m_cs); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& m_cs;
    };

    void CreateRows();
    void ScrollTo(int index);
    void RefreshRows();
    void FillRows();
    // Gives the flag to the item with the title (taking it from every other) and its index to
    // `index`; an empty title clears them, an unknown one changes nothing.
    void MarkByTitle(const std::wstring& title, int CRListItem::*flag, int& index);
    // Copies the items' flags into the rows that show them.
    void SyncRows();
    // Scrolls as little as needed to show the item; `lead` rows stay below it when it comes in
    // from below.
    void EnsureVisible(int index, int lead = 0);
    RECT RowsArea() const;
    void InvalidateRows();
    // Selects the item shown under the point (none for a point outside every item row) and
    // marks the hit row pressed; FALSE when no item was hit.
    bool SelectAt(POINT point, bool press);
    bool Valid(int index) const { return index >= 0 && index < int(m_items.size()); }
    void PaintLocked(CDC* dc);
    void SendToParent(UINT message, WPARAM wParam);

    std::vector<CRListItem> m_items;
    CRITICAL_SECTION m_csItems;
    int m_nRowHeight;
    int m_nTopIndex = 0;
    std::vector<std::unique_ptr<CRListRow>> m_rows;
    CRScrollBar m_scrollBar;
    CRect m_rcClient;
    int m_bDragging = 0;
    BOOL m_bLock = FALSE;
    COffscreenDC m_dcHintBack;
    COffscreenDC m_dcHint;
    int m_nPlayingItem = -1;
    CTDropBox m_menuContext;
};
