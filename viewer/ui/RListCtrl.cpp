#include "ui/RListCtrl.h"

#include <algorithm>
#include <cwchar>

#include "ui/ControlMessages.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"

namespace {

int S(int design)
{
    return g_DPIScale.Scale(design);
}

constexpr COLORREF kTextNormal = RGB(163, 183, 203);
constexpr COLORREF kTextPlaying = RGB(63, 168, 235);
constexpr COLORREF kTextSelected = RGB(255, 255, 255);
constexpr COLORREF kTextHint = RGB(182, 199, 215);

// The row pictures of one column: even stripe, odd stripe, selected, pressed.
const wchar_t* const kRowPictures[4] = {L"bg_list01.9.png", L"bg_list02.9.png",
                                        L"bg_list_over.9.png", L"bg_list_press.9.png"};

void BlendIcon(CDC* target, int x, int y, int w, int h, const COffscreenDC& icon)
{
    if (!icon.IsCreated() || icon.GetWidth() <= 0 || icon.GetHeight() <= 0)
        return;
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    target->AlphaBlend(x, y, w, h, icon.GetDC(), 0, 0, icon.GetWidth(), icon.GetHeight(), blend);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Rows

CRListRow::CRListRow(CDC* dc, const RECT& rect, int even) : m_rect(rect), m_bEven(even)
{
    m_rcTitle = {0, 0, 0, 0};
    m_rcSize = {0, 0, 0, 0};
    CNinePatch* painter = GetNinePatch();
    for (int i = 0; i < 4; ++i) {
        // The even stripe's content area gives the text rectangles, in the pixels the surface
        // was drawn at.
        if (m_dcTitle[i].CreateScaled(dc, 224, 20))
            painter->Draw(m_dcTitle[i], kRowPictures[i], i == 0 ? &m_rcTitle : nullptr);
        if (m_dcSize[i].CreateScaled(dc, 83, 20))
            painter->Draw(m_dcSize[i], kRowPictures[i], i == 0 ? &m_rcSize : nullptr);
    }
    m_rcSize.left += S(224);
    m_rcSize.right += S(224);
    if (m_dcNowPlaying.CreateScaled(dc, 4, 7))
        painter->Draw(m_dcNowPlaying, L"ic_nowplaying.png");
    if (m_dcFrontLink.Create(dc, 7, 20))
        painter->Draw(m_dcFrontLink, L"ic_front_link.png");
    if (m_dcRearLink.Create(dc, 7, 20))
        painter->Draw(m_dcRearLink, L"ic_rear_link.png");
}

void CRListRow::Paint(CDC* target, HFONT font)
{
    if (!m_dcRow.IsCreated() && !m_dcRow.CreateScaled(target, 307, 20))
        return;
    CDC* dc = m_dcRow.GetDC();
    int look;
    if (m_item.selected && m_nState != 2)
        look = 2;
    else if (m_nState == 0)
        look = m_bEven ? 0 : 1;
    else
        look = 3;
    const COffscreenDC& title = m_dcTitle[look];
    dc->BitBlt(0, 0, title.GetWidth(), title.GetHeight(), title.GetDC(), 0, 0, SRCCOPY);
    dc->BitBlt(title.GetWidth(), 0, m_dcSize[look].GetWidth(), m_dcSize[look].GetHeight(),
               m_dcSize[look].GetDC(), 0, 0, SRCCOPY);

    if (!m_item.title.empty() || m_nItem != -1) {
        HGDIOBJ oldFont = dc->SelectObject(font);
        dc->SetBkMode(TRANSPARENT);
        bool mark = false;
        if (m_item.selected) {
            m_clrText = kTextSelected;
            mark = m_item.playing != 0;
        } else if (m_item.playing) {
            m_clrText = kTextPlaying;
            mark = true;
        } else {
            m_clrText = m_nState == 2 ? kTextSelected : kTextNormal;
        }
        dc->SetTextColor(m_clrText);
        if (mark)
            BlendIcon(dc, S(6), S(8), S(4), S(7), m_dcNowPlaying);
        if (m_item.pairType == 1 || m_item.pairType == 2)
            BlendIcon(dc, S(11), 0, S(7), S(20),
                      m_item.pairType == 1 ? m_dcFrontLink : m_dcRearLink);
        const UINT format = DT_SINGLELINE | DT_VCENTER | DT_LEFT;
        RECT titleRect = m_rcTitle;
        dc->DrawText(m_item.title, &titleRect, format);
        RECT sizeRect = m_rcSize;
        dc->DrawText(m_item.sizeText, &sizeRect, format);
        dc->SelectObject(oldFont);
    }
    target->BitBlt(m_rect.left, m_rect.top, S(307), S(20), dc, 0, 0, SRCCOPY);
}

// ---------------------------------------------------------------------------------------------
// The list

CRListCtrl::CRListCtrl() : CDPIWnd(this), m_nRowHeight(S(20))
{
    InitializeCriticalSection(&m_csItems);
}

CRListCtrl::~CRListCtrl()
{
    m_rows.clear();
    if (m_menuContext.GetSafeHwnd())
        m_menuContext.DestroyWindow();
    if (GetSafeHwnd())
        DestroyWindow();
    DeleteCriticalSection(&m_csItems);
}

int CRListCtrl::OnCreate(LPCREATESTRUCTW create)
{
    GetClientRect(&m_rcClient);
    m_scrollBar.Create(
        nullptr, nullptr, WS_CHILD,
        CRect(m_rcClient.right - S(15), m_rcClient.top, m_rcClient.right, m_rcClient.bottom), this,
        0);
    m_scrollBar.SetNotifyWnd(m_hWnd);
    CreateRows();
    if (CDC* dc = GetDC()) {
        if (m_dcHintBack.Create(dc, m_rcClient.Width() - S(15), m_rcClient.Height()))
            GetNinePatch()->Draw(m_dcHintBack, L"bg_list02.9.png");
        ReleaseDC(dc);
    }
    m_menuContext.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupWindowClass(), L"ListContext",
                              WS_POPUP, 0, 100, 256, 55, m_hWnd, nullptr);
    m_menuContext.SetBackImages(L"bg_rightclick.9.png", L"list_bg_over.9.png",
                                L"list_bg_press.9.png");
    m_menuContext.SetTextColors(RGB(0, 0, 0), RGB(255, 255, 255));
    m_menuContext.AddItem(GetLangText(L"IDS_STRING_K_076"), L"Enter", 1064);
    m_menuContext.AddItem(GetLangText(L"IDS_STRING_K_077"), L"Delete", 1065);
    m_menuContext.ShowWindow(SW_HIDE);
    return CWnd::OnCreate(create);
}

void CRListCtrl::CreateRows()
{
    m_rows.clear();
    CDC* dc = GetDC();
    if (!dc)
        return;
    const int n = m_nRowHeight > 0 ? m_rcClient.bottom / m_nRowHeight : 0;
    for (int i = 0; i < n; ++i) {
        RECT rect = {0, i * m_nRowHeight, m_rcClient.right, (i + 1) * m_nRowHeight};
        m_rows.push_back(std::make_unique<CRListRow>(dc, rect, i % 2 == 0));
    }
    ReleaseDC(dc);
}

void CRListCtrl::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    Lock lock(m_csItems);
    m_rows.clear();
    GetClientRect(&m_rcClient);
    wchar_t line[64];
    std::swprintf(line, 64, L"Tessaly : CRListCtrl::OnSize[%d]", m_rcClient.Height());
    LogWrite(line);
    if (m_scrollBar.GetSafeHwnd())
        m_scrollBar.MoveWindow(m_rcClient.right - S(15), 0, S(15), m_rcClient.Height(), TRUE);
    m_nRowHeight = S(20);
    CreateRows();
    if (GetItemCount() - m_nTopIndex < GetRowCount())
        m_nTopIndex = GetItemCount() - GetRowCount();
    RefreshRows();
}

RECT CRListCtrl::RowsArea() const
{
    return {m_rcClient.left, m_rcClient.top, m_rcClient.right - S(15), m_rcClient.bottom};
}

void CRListCtrl::InvalidateRows()
{
    if (!GetSafeHwnd())
        return;
    RECT area = RowsArea();
    InvalidateRect(&area, FALSE);
}

void CRListCtrl::SendToParent(UINT message, WPARAM wParam)
{
    if (CWnd* parent = GetParent())
        ::SendMessageW(parent->GetSafeHwnd(), message, wParam, 0);
}

// ---------------------------------------------------------------------------------------------
// Items

void CRListCtrl::AddItem(const std::wstring& title, int number, const std::wstring& path,
                         ULONGLONG bytes, int pairType)
{
    CRListItem item;
    item.number = number;
    item.title = title;
    item.path = path;
    // Single precision throughout, so very large sizes show the nearest float.
    const float megabytes = float(bytes) * (1.0f / 1048576.0f);
    wchar_t text[48];
    std::swprintf(text, 48, L"%0.2fmb", double(megabytes));
    item.sizeText = text;
    item.pairType = pairType;
    m_items.push_back(std::move(item));
}

void CRListCtrl::DeleteAllItems()
{
    m_items.clear();
    m_nTopIndex = 0 - GetRowCount();
    RefreshRows();
    m_nPlayingItem = -1;
    m_nSelectedItem = -1;
}

void CRListCtrl::UpdateScroll()
{
    if (GetItemCount() - m_nTopIndex < GetRowCount())
        m_nTopIndex = GetItemCount() - GetRowCount();
    RefreshRows();
}

int CRListCtrl::FindItem(const std::wstring& title) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].title == title)
            return int(i);
    return -1;
}

std::wstring CRListCtrl::GetSelectedTitle() const
{
    return Valid(m_nSelectedItem) ? m_items[size_t(m_nSelectedItem)].title : std::wstring();
}

std::wstring CRListCtrl::GetPlayingTitle() const
{
    return Valid(m_nPlayingItem) ? m_items[size_t(m_nPlayingItem)].title : std::wstring();
}

std::wstring CRListCtrl::GetPartnerTitle() const
{
    const int p = m_nPlayingItem;
    if (!Valid(p))
        return GetPlayingTitle();
    const auto& items = m_items;
    if (items[size_t(p)].pairType == 2)
        return p > 0 && items[size_t(p - 1)].pairType == 1 ? items[size_t(p - 1)].title
                                                           : GetPlayingTitle();
    if (Valid(p + 1) && items[size_t(p)].pairType == 1 && items[size_t(p + 1)].pairType == 2)
        return items[size_t(p + 1)].title;
    return GetPlayingTitle();
}

BOOL CRListCtrl::IsPlayingRear() const
{
    return Valid(m_nPlayingItem) && m_items[size_t(m_nPlayingItem)].pairType == 2;
}

BOOL CRListCtrl::IsPlayingSingle() const
{
    return Valid(m_nPlayingItem) && m_items[size_t(m_nPlayingItem)].pairType == 0;
}

void CRListCtrl::SyncRows()
{
    for (auto& row : m_rows) {
        if (Valid(row->m_nItem)) {
            const CRListItem& item = m_items[size_t(row->m_nItem)];
            row->m_item.selected = item.selected;
            row->m_item.playing = item.playing;
        } else {
            row->m_item.selected = 0;
            row->m_item.playing = 0;
        }
    }
}

void CRListCtrl::MarkByTitle(const std::wstring& title, int CRListItem::*flag, int& index)
{
    Lock lock(m_csItems);
    if (m_items.empty())
        return;
    // The whole list is searched, not only the rows on screen; an empty title names no item.
    const int found = title.empty() ? -1 : FindItem(title);
    if (title.empty() || found >= 0) {
        for (CRListItem& item : m_items)
            item.*flag = 0;
        if (found >= 0)
            m_items[size_t(found)].*flag = 1;
        index = found;
        SyncRows();
    }
}

void CRListCtrl::SetSelectedItem(const std::wstring& title)
{
    MarkByTitle(title, &CRListItem::selected, m_nSelectedItem);
}

void CRListCtrl::SetPlayingItem(const std::wstring& title)
{
    MarkByTitle(title, &CRListItem::playing, m_nPlayingItem);
}

void CRListCtrl::PlaySelectedItem()
{
    Lock lock(m_csItems);
    // Without a selection (a right click on an empty area, say) whatever plays keeps its mark.
    if (!Valid(m_nSelectedItem))
        return;
    if (Valid(m_nPlayingItem))
        m_items[size_t(m_nPlayingItem)].playing = 0;
    m_nPlayingItem = m_nSelectedItem;
    m_items[size_t(m_nPlayingItem)].playing = 1;
    SyncRows();
    InvalidateRows();
    SendToParent(WM_COMMAND, ID_BTN_PLAY_FORCE);
}

// ---------------------------------------------------------------------------------------------
// Navigation

void CRListCtrl::EnsureVisible(int index, int lead)
{
    const int rows = GetRowCount();
    if (!Valid(index) || rows <= 0)
        return;
    if (index < m_nTopIndex)
        ScrollTo(index);
    else if (index >= m_nTopIndex + rows)
        ScrollTo(index - rows + 1 + lead);
}

BOOL CRListCtrl::SelectNext()
{
    Lock lock(m_csItems);
    const int count = GetItemCount();
    if (count < 2)
        return FALSE;
    if (Valid(m_nSelectedItem))
        m_items[size_t(m_nSelectedItem)].selected = 0;
    if (m_nSelectedItem >= count - 1) {
        ScrollTo(0);
        m_nSelectedItem = 0;
    } else {
        m_nSelectedItem = std::max(m_nSelectedItem + 1, 0);
        // Coming in from below, one more row is brought into view, as the arrow key expects.
        EnsureVisible(m_nSelectedItem, 1);
    }
    m_items[size_t(m_nSelectedItem)].selected = 1;
    SyncRows();
    InvalidateRows();
    return TRUE;
}

BOOL CRListCtrl::SelectPrev()
{
    Lock lock(m_csItems);
    const int count = GetItemCount();
    if (count < 2 || !Valid(m_nSelectedItem))
        return FALSE;
    m_items[size_t(m_nSelectedItem)].selected = 0;
    if (m_nSelectedItem == 0) {
        ScrollTo(count - 1);
        m_nSelectedItem = count - 1;
    } else {
        m_nSelectedItem -= 1;
        if (m_nSelectedItem < m_nTopIndex)
            ScrollTo(m_nSelectedItem - 1);
        else
            EnsureVisible(m_nSelectedItem);
    }
    m_items[size_t(m_nSelectedItem)].selected = 1;
    SyncRows();
    InvalidateRows();
    return TRUE;
}

BOOL CRListCtrl::SelectNextItem(BOOL singleMode)
{
    Lock lock(m_csItems);
    const int count = GetItemCount();
    if (count < 2)
        return FALSE;
    int i = m_nPlayingItem;
    if (!Valid(i)) {
        if (!Valid(m_nSelectedItem)) {
            LogWrite(L"Select Next Item() m_nSelectedItem = -1\n");
            return FALSE;
        }
        LogWrite(L"Select Next Item() lose focus. re-set select item no.\n");
        i = m_nSelectedItem;
    }
    m_items[size_t(i)].playing = 0;

    int step = 0;  // 0 wraps to the first item
    if (i < count - 1) {
        if (singleMode)
            step = 1;
        else {
            const int here = m_items[size_t(i)].pairType;
            const int next = m_items[size_t(i + 1)].pairType;
            if (next == 0 || next == here)
                step = 1;
            else if (i + 2 < count)
                step = 2;
        }
    }
    if (step) {
        m_nPlayingItem = i + step;
        EnsureVisible(m_nPlayingItem, singleMode ? 0 : 1);
    } else {
        if (Valid(m_nSelectedItem) && m_nSelectedItem != 0)
            m_items[size_t(m_nSelectedItem)].selected = 0;
        ScrollTo(0);
        m_nPlayingItem = 0;
        m_nSelectedItem = 0;
    }
    m_items[size_t(m_nPlayingItem)].playing = 1;
    SyncRows();
    InvalidateRows();
    SendToParent(WM_COMMAND, ID_BTN_PLAY);
    return TRUE;
}

BOOL CRListCtrl::SelectPrevItem(BOOL singleMode)
{
    Lock lock(m_csItems);
    const int count = GetItemCount();
    if (count < 2)
        return FALSE;
    const int i = Valid(m_nPlayingItem) ? m_nPlayingItem : -1;
    if (i >= 0)
        m_items[size_t(i)].playing = 0;

    int step = 0;  // 0 wraps to the last item
    if (i > 0) {
        if (singleMode) {
            step = 1;
        } else {
            const int here = m_items[size_t(i)].pairType;
            const int before = m_items[size_t(i - 1)].pairType;
            // A rear row whose own front stands before it skips that front like any other
            // partner row, also at the end of the list.
            const bool ownFront = here == 2 && before == 1;
            if (before == 0)
                step = 1;
            else if (i == count - 1 && !ownFront)
                step = 1;
            else if (i < count - 1 && here == m_items[size_t(i + 1)].pairType)
                step = 1;
            else if (i - 2 >= 0)
                step = 2;
        }
    }
    if (step) {
        m_nPlayingItem = i - step;
        EnsureVisible(m_nPlayingItem);
    } else {
        m_nPlayingItem = count - 1;
        ScrollTo(m_nPlayingItem);
    }
    m_items[size_t(m_nPlayingItem)].playing = 1;
    SyncRows();
    InvalidateRows();
    SendToParent(WM_COMMAND, ID_BTN_PLAY);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Scrolling

void CRListCtrl::ScrollTo(int index)
{
    m_nTopIndex = std::min(GetItemCount() - GetRowCount(), std::max(index, 0));
    RefreshRows();
}

void CRListCtrl::RefreshRows()
{
    Lock lock(m_csItems);
    FillRows();
    InvalidateRows();
    if (GetSafeHwnd()) {
        RECT track = {m_rcClient.right - S(15), m_rcClient.top + S(13), m_rcClient.right,
                      m_rcClient.bottom - S(13)};
        InvalidateRect(&track, FALSE);
    }
}

void CRListCtrl::FillRows()
{
    const int count = GetItemCount();
    const int rows = GetRowCount();
    if (m_nTopIndex < 0 || rows > count)
        m_nTopIndex = 0;
    const int total = count * m_nRowHeight;
    for (int b = 0; b < rows; ++b) {
        CRListRow& row = *m_rows[size_t(b)];
        const int index = m_nTopIndex + b;
        if (index < count) {
            row.m_bEven = index % 2 == 0;
            row.m_item = m_items[size_t(index)];
            row.m_nItem = index;
        } else {
            row.m_item = CRListItem();
            row.m_nItem = -1;
        }
        row.m_rect = {0, b * m_nRowHeight, m_rcClient.right - S(15), (b + 1) * m_nRowHeight};
    }
    if (!m_bDragging && m_scrollBar.GetSafeHwnd()) {
        if (total > m_rcClient.Height())
            m_scrollBar.SetThumbInfo(total, m_rcClient.Height(),
                                     count > rows ? m_nTopIndex * 100 / (count - rows) : 0);
        else
            m_scrollBar.SetThumbInfo(1, 1, 0);
    }
    if (m_scrollBar.GetSafeHwnd())
        m_scrollBar.ShowWindow(SW_SHOW);
    m_bDragging = 0;
}

void CRListCtrl::OnParentMouseWheel(UINT, short delta, POINT)
{
    if (!m_scrollBar.GetSafeHwnd() || !m_scrollBar.IsWindowVisible())
        return;
    if (delta == 120)
        ScrollTo(m_nTopIndex - 2);
    else if (delta == -120)
        ScrollTo(m_nTopIndex + 2);
}

LRESULT CRListCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_RSCROLL_UP:
            ScrollTo(m_nTopIndex - (wParam ? 1 : 2));
            return 1;
        case WM_RSCROLL_DOWN:
            ScrollTo(m_nTopIndex + (wParam ? 1 : 2));
            return 1;
        case WM_RSCROLL_POS: {
            m_bDragging = 1;
            const int span = std::max(GetItemCount() - GetRowCount() + 1, 0);
            ScrollTo(int(unsigned(span) * unsigned(std::min<WPARAM>(wParam, 100)) / 100u));
            return 1;
        }
        default:
            return CWnd::WindowProc(message, wParam, lParam);
    }
}

// ---------------------------------------------------------------------------------------------
// Mouse

bool CRListCtrl::SelectAt(POINT point, bool press)
{
    // Every flag goes first, so that a click that hits no item leaves no item selected.
    for (CRListItem& item : m_items)
        item.selected = 0;
    m_nSelectedItem = -1;
    bool hit = false;
    for (auto& row : m_rows) {
        const bool here = PtInRect(&row->m_rect, point) && Valid(row->m_nItem);
        if (here) {
            m_items[size_t(row->m_nItem)].selected = 1;
            m_nSelectedItem = row->m_nItem;
            hit = true;
            if (press)
                row->m_nState = 2;
        } else {
            row->m_nState = 0;
        }
    }
    SyncRows();
    return hit;
}

void CRListCtrl::OnLButtonDown(UINT flags, CPoint point)
{
    if (!m_bLock && !m_items.empty()) {
        SelectAt(point, true);
        InvalidateRows();
    }
    CWnd::OnLButtonDown(flags, point);
}

void CRListCtrl::OnLButtonUp(UINT flags, CPoint point)
{
    if (!m_bLock && !m_items.empty()) {
        for (auto& row : m_rows)
            row->m_nState = 0;
        InvalidateRows();
    }
    CWnd::OnLButtonUp(flags, point);
}

void CRListCtrl::OnLButtonDblClk(UINT flags, CPoint point)
{
    if (!m_bLock && !m_items.empty()) {
        Lock lock(m_csItems);
        int hit = -1;
        for (auto& row : m_rows)
            if (PtInRect(&row->m_rect, point) && Valid(row->m_nItem))
                hit = row->m_nItem;
        // A double click beside every item plays nothing and leaves the playing mark.
        if (hit >= 0) {
            for (CRListItem& item : m_items)
                item.playing = 0;
            m_items[size_t(hit)].playing = 1;
            m_nPlayingItem = hit;
            SyncRows();
            InvalidateRows();
            SendToParent(WM_COMMAND, ID_BTN_PLAY_FORCE);
        }
    }
    CWnd::OnLButtonDblClk(flags, point);
}

void CRListCtrl::OnRButtonUp(UINT flags, CPoint point)
{
    LogWrite(L"Tessaly : CRListCtrl::OnRButtonUp");
    if (!m_items.empty()) {
        SelectAt(point, false);
        InvalidateRows();
        SendToParent(WM_LIST_RBUTTONUP, 0);
        if (m_menuContext.GetSafeHwnd()) {
            POINT at = point;
            ClientToScreen(&at);
            m_menuContext.ResetHover();
            m_menuContext.SetWindowPos(&CWnd::wndTopMost, at.x, at.y, 0, 0, SWP_NOSIZE);
            m_menuContext.ShowWindow(SW_SHOW);
        }
    }
    CWnd::OnRButtonUp(flags, point);
}

// ---------------------------------------------------------------------------------------------
// Painting

void CRListCtrl::SetLock(BOOL lock)
{
    m_bLock = lock;
    InvalidateRows();
}

BOOL CRListCtrl::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

void CRListCtrl::OnPaint()
{
    CPaintDC dc(this);
    if (m_bLock) {
        PaintLocked(&dc);
        return;
    }
    LOGFONTW description = {};
    description.lfHeight = S(12);
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    description.lfPitchAndFamily = FF_MODERN;
    GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    for (auto& row : m_rows)
        row->Paint(&dc, font);
    // The strip below the last whole row shows the odd stripe's ground.
    const int below = GetRowCount() * m_nRowHeight;
    if (below < m_rcClient.Height() && m_dcHintBack.IsCreated())
        dc.StretchBlt(0, below, S(307), m_rcClient.Height() - below, m_dcHintBack.GetDC(), 0, 0,
                      m_dcHintBack.GetWidth(), std::min(m_dcHintBack.GetHeight(), S(20)), SRCCOPY);
    if (font)
        DeleteObject(font);
}

void CRListCtrl::PaintLocked(CDC* dc)
{
    const int width = m_rcClient.Width() - S(15), height = m_rcClient.Height();
    m_dcHint.Release();
    if (!m_dcHint.Create(dc, width, height))
        return;
    CDC* hint = m_dcHint.GetDC();
    if (m_dcHintBack.IsCreated())
        hint->StretchBlt(0, 0, width, height, m_dcHintBack.GetDC(), 0, 0, m_dcHintBack.GetWidth(),
                         m_dcHintBack.GetHeight(), SRCCOPY);
    const std::wstring language = GetLanguageName();
    const int lineHeight = S(18);
    const bool tall = language == L"french" || language == L"japanese" || language == L"italian" ||
                      language == L"spanish" || language == L"russian" || language == L"german";
    const int extra = tall ? S(18) : 0;
    LOGFONTW description = {};
    description.lfHeight = language == L"japanese" ? S(11) : S(13);
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    description.lfPitchAndFamily = 0x30;
    GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    HGDIOBJ oldFont = hint->SelectObject(font);
    hint->SetBkMode(TRANSPARENT);
    hint->SetTextColor(kTextHint);
    const LPCWSTR keys[4] = {L"IDS_STRING_K_046", L"IDS_STRING_K_047", L"IDS_STRING_K_048",
                             L"IDS_STRING_K_049"};
    int top = (height - 4 * lineHeight) / 2;
    for (int i = 0; i < 4; ++i) {
        const int h = i == 0 ? lineHeight : extra + lineHeight;
        RECT line = {0, top, width, top + h};
        hint->DrawText(GetLangText(keys[i]), &line,
                       DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_EXPANDTABS);
        top += h;
    }
    hint->SelectObject(oldFont);
    if (font)
        DeleteObject(font);
    dc->BitBlt(0, 0, width, height - 3, hint, 0, 0, SRCCOPY);
}

void CRListCtrl::ReloadTexts()
{
    m_menuContext.SetItemText(1064, GetLangText(L"IDS_STRING_K_076"), L"Enter");
    m_menuContext.SetItemText(1065, GetLangText(L"IDS_STRING_K_077"), L"Delete");
    m_menuContext.ResetFont();
    if (m_menuContext.GetSafeHwnd())
        m_menuContext.Invalidate(TRUE);
}
