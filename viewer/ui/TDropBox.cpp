#include "ui/TDropBox.h"

#include <iterator>

#include "ui/ControlPaint.h"
#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"
#include "ui/TextBitmap.h"

namespace {

constexpr int kRowHeight = 20;  // design units
constexpr int kMarkSize = 16;

int S(int design)
{
    return g_DPIScale.Scale(design);
}

RECT Scaled(RECT design)
{
    g_DPIScale.ScaleRect(&design);
    return design;
}

void LoadMark(CDC* dc, COffscreenDC& surface, const std::wstring& name)
{
    surface.Release();
    surface.CreateScaled(dc, kMarkSize, kMarkSize);
    DrawSkinImage(surface, name);
}

}  // namespace

CTDropBox::CTDropBox() : CDPIWnd(this) {}

CTDropBox::~CTDropBox()
{
    if (m_hFont)
        DeleteObject(m_hFont);
    if (GetSafeHwnd())
        DestroyWindow();
}

void CTDropBox::SetBackImages(const std::wstring& background9, const std::wstring& held9,
                              const std::wstring& hover9)
{
    CDC* dc = GetDC();
    if (!dc)
        return;
    CRect client;
    GetClientRect(&client);
    RECT content = {0, 0, 0, 0};
    if (m_dcBack.Create(dc, client.Width(), client.Height()))
        GetNinePatch()->Draw(m_dcBack, background9, &content);
    // The painter answers pixels; the rows area is kept in design units.
    g_DPIScale.UnscaleRect(&content);
    m_rcRows = content;
    m_rcRows.right -= 3;
    int width = m_rcRows.right - m_rcRows.left;
    for (auto [surface, name] : {std::pair{&m_dcRowHeld, &held9}, {&m_dcRowHover, &hover9}}) {
        surface->Release();
        if (width > 0 && surface->CreateScaled(dc, width, kRowHeight))
            GetNinePatch()->Draw(*surface, *name);
    }
    ReleaseDC(dc);
    Recompose();
}

void CTDropBox::SetCheckImages(const std::wstring& normal, const std::wstring& hover)
{
    if (CDC* dc = GetDC()) {
        LoadMark(dc, m_dcCheck, normal);
        LoadMark(dc, m_dcCheckHover, hover);
        ReleaseDC(dc);
    }
    Recompose();
}

void CTDropBox::SetSubMenuImages(const std::wstring& normal, const std::wstring& hover)
{
    if (CDC* dc = GetDC()) {
        LoadMark(dc, m_dcArrow, normal);
        LoadMark(dc, m_dcArrowHover, hover);
        ReleaseDC(dc);
    }
    Recompose();
}

void CTDropBox::SetTextColors(COLORREF normal, COLORREF hover)
{
    m_clrNormal = normal;
    m_clrHover = hover;
}

void CTDropBox::AddSeparator(const std::wstring& picture9, int width, int height, int x, int y,
                             int row)
{
    if (!m_dcSeparator.IsCreated()) {
        if (CDC* dc = GetDC()) {
            if (m_dcSeparator.CreateScaled(dc, width, height))
                GetNinePatch()->Draw(m_dcSeparator, picture9);
            ReleaseDC(dc);
        }
    }
    m_separators.push_back({x, y, row});
}

void CTDropBox::AddItem(const std::wstring& text, const std::wstring& rightText, UINT id,
                        CTDropBox* subMenu)
{
    const int index = int(m_items.size());
    int extra = 0;
    for (const CTDropBoxSeparator& separator : m_separators)
        if (separator.row == index)
            extra = g_DPIScale.Unscale(m_dcSeparator.GetHeight());
    CTDropBoxItem item;
    item.text = text;
    item.rightText = rightText;
    item.id = id;
    item.subMenu = subMenu;
    if (m_items.empty()) {
        item.rect = {m_rcRows.left, m_rcRows.top, m_rcRows.right,
                     m_rcRows.top + extra + kRowHeight};
    } else {
        const RECT& last = m_items.back().rect;
        item.rect = {last.left, last.bottom + 1, last.right, last.bottom + extra + kRowHeight + 1};
    }
    m_items.push_back(item);
    Recompose();
}

CTDropBoxItem* CTDropBox::ItemAt(int index)
{
    if (index < 0 || index >= int(m_items.size()))
        return nullptr;
    return &*std::next(m_items.begin(), index);
}

CTDropBoxItem* CTDropBox::FirstItem(UINT id)
{
    for (CTDropBoxItem& item : m_items)
        if (item.id == id)
            return &item;
    return nullptr;
}

void CTDropBox::SetItemText(UINT id, const std::wstring& text, const std::wstring& rightText)
{
    for (CTDropBoxItem& item : m_items)
        if (item.id == id) {
            item.text = text;
            item.rightText = rightText;
        }
}

void CTDropBox::SetItemCheck(UINT id, int check)
{
    CTDropBoxItem* item = FirstItem(id);
    if (item && item->check != check) {
        item->check = check;
        Recompose();
    }
}

void CTDropBox::SetItemDisable(UINT id, int disabled)
{
    CTDropBoxItem* item = FirstItem(id);
    if (item && item->disabled != disabled) {
        item->disabled = disabled;
        Recompose();
    }
}

void CTDropBox::SetWidth(int width)
{
    m_rcRows.right = m_rcRows.left + width - 13 - 3;
}

void CTDropBox::CalcHeight()
{
    const RECT* previous = nullptr;
    for (CTDropBoxItem& item : m_items) {
        if (!previous)
            item.rect = {m_rcRows.left, m_rcRows.top, m_rcRows.right, m_rcRows.top + kRowHeight};
        else
            item.rect = {previous->left, previous->bottom + 1, previous->right,
                         previous->bottom + 1 + kRowHeight};
        previous = &item.rect;
    }
}

void CTDropBox::ResetHover()
{
    m_nHover = -1;
    m_bPressed = FALSE;
    m_dcComposite.Release();
    Recompose();
}

void CTDropBox::ResetFont()
{
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = nullptr;
    Recompose();
}

void CTDropBox::Redraw()
{
    Recompose();
}

BOOL CTDropBox::PreTranslateMessage(MSG* msg)
{
    if (msg->hwnd == m_hWnd && msg->message == WM_COMMAND && HIWORD(msg->wParam) == 0) {
        if (CWnd* parent = GetParent())
            ::PostMessageW(parent->GetSafeHwnd(), WM_COMMAND, msg->wParam, msg->lParam);
        return TRUE;
    }
    return CWnd::PreTranslateMessage(msg);
}

void CTDropBox::Recompose()
{
    m_bDirty = 1;
    PaintNow(*this, [this](CDC* dc) { Compose(dc); });
}

void CTDropBox::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

void CTDropBox::Compose(CDC* target)
{
    CRect client;
    GetClientRect(&client);
    // A fresh, transparent picture: the background, the separators, then the rows.
    if (RenewFace(*this, target, m_dcComposite, m_bDirty)) {
        if (m_dcBack.IsCreated()) {
            CDC* dc = m_dcComposite.GetDC();
            if (m_dcBack.GetWidth() == client.Width())
                dc->BitBlt(0, 0, client.Width(), client.Height(), m_dcBack.GetDC(), 0, 0, SRCCOPY);
            else
                dc->StretchBlt(0, 0, client.Width(), client.Height(), m_dcBack.GetDC(), 0, 0,
                               m_dcBack.GetWidth(), m_dcBack.GetHeight(), SRCCOPY);
        }
        for (const CTDropBoxSeparator& separator : m_separators)
            if (m_dcSeparator.IsCreated())
                m_dcComposite.GetDC()->BitBlt(S(separator.x), S(separator.y),
                                              m_dcSeparator.GetWidth(), m_dcSeparator.GetHeight(),
                                              m_dcSeparator.GetDC(), 0, 0, SRCCOPY);
        DrawRows(target);
    }
    PushLayeredPicture(*this, m_dcComposite);
}

void CTDropBox::DrawRows(CDC* /*target*/)
{
    if (m_items.empty())
        return;
    const int checkColumn = m_bCheckStyle ? 20 : 0;
    const int rightMargin = m_bSubMenuStyle ? 26 : 10;
    LOGFONTW description = {};
    description.lfHeight = GetFontValue(L"TEXTSIZE_TDROPBOX");
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    std::wstring face = GetUIFaceName();
    face.copy(description.lfFaceName, LF_FACESIZE - 1);
    if (m_hFont)
        DeleteObject(m_hFont);
    m_hFont = DPICreateFontIndirect(&description);

    int index = 0;
    for (const CTDropBoxItem& item : m_items) {
        const bool hovered = index++ == m_nHover;
        const RECT row = Scaled(item.rect);
        COLORREF color = item.disabled ? m_clrDisabled : m_clrNormal;
        if (hovered && !item.disabled) {
            color = m_clrHover;
            BlendSurface(m_dcComposite, row.left, row.top, row.right - row.left,
                         row.bottom - row.top, m_bPressed ? m_dcRowHeld : m_dcRowHover);
        }
        if (m_bCheckStyle && item.check == 1) {
            const COffscreenDC& mark = hovered ? m_dcCheckHover : m_dcCheck;
            BlendSurface(m_dcComposite, S(item.rect.left + 5), S(item.rect.top + 2),
                         mark.GetWidth(), mark.GetHeight(), mark);
        }
        SIZE size = {0, 0};
        if (HBITMAP text = CreateTextBitmap(item.text, m_hFont, color, &size)) {
            BlendTextBitmap(m_dcComposite, text, size, S(item.rect.left + 5 + checkColumn),
                            S(item.rect.top + 5));
            DeleteObject(text);
        }
        if (HBITMAP text = CreateTextBitmap(item.rightText, m_hFont, color, &size)) {
            BlendTextBitmap(m_dcComposite, text, size,
                            S(item.rect.right - 5 - rightMargin) - size.cx, S(item.rect.top + 5));
            DeleteObject(text);
        }
        if (m_bSubMenuStyle && item.subMenu) {
            const COffscreenDC& arrow = hovered ? m_dcArrowHover : m_dcArrow;
            BlendSurface(m_dcComposite, S(item.rect.right - 5 - 20), S(item.rect.top + 7),
                         arrow.GetWidth(), arrow.GetHeight(), arrow);
        }
    }
}

int CTDropBox::RowAt(POINT design) const
{
    int index = 0;
    for (const CTDropBoxItem& item : m_items) {
        if (PtInRect(&item.rect, design))
            return index;
        ++index;
    }
    return -1;
}

void CTDropBox::ShowSubMenu(const CTDropBoxItem& item, bool activate)
{
    CTDropBox* sub = item.subMenu;
    if (!sub || !sub->GetSafeHwnd() || sub->IsWindowVisible())
        return;
    POINT corner = {S(item.rect.right), S(item.rect.top)};
    ClientToScreen(&corner);
    sub->ResetHover();
    UINT flags = SWP_NOSIZE | SWP_SHOWWINDOW | (activate ? 0 : SWP_NOACTIVATE);
    sub->SetWindowPos(this, corner.x, corner.y - S(3), 0, 0, flags);
}

void CTDropBox::OnMouseMove(UINT flags, CPoint point)
{
    // A leave notice is asked for whenever none is pending, so that every visit of the pointer
    // is followed by one.
    if (!m_bTracking) {
        TRACKMOUSEEVENT track = {sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
        m_bTracking = TrackMouseEvent(&track);
    }
    g_DPIScale.UnscalePoint(&point);
    const int row = RowAt(point);
    if (row >= 0 && row != m_nHover) {
        const CTDropBoxItem* previous = ItemAt(m_nHover);
        m_nHover = row;
        if (const CTDropBoxItem* item = ItemAt(row); item->subMenu)
            ShowSubMenu(*item, false);
        if (previous && previous->subMenu && previous->subMenu->GetSafeHwnd() &&
            previous->subMenu != ItemAt(row)->subMenu && previous->subMenu->IsWindowVisible())
            previous->subMenu->ShowWindow(SW_HIDE);
        Recompose();
    }
    CWnd::OnMouseMove(flags, point);
}

void CTDropBox::OnLButtonDown(UINT flags, CPoint point)
{
    m_bPressed = TRUE;
    CPoint design = point;
    g_DPIScale.UnscalePoint(&design);
    if (const CTDropBoxItem* item = ItemAt(RowAt(design))) {
        if (item->subMenu) {
            ShowSubMenu(*item, true);
        } else if (!item->disabled) {
            // A disabled row is grey and offers nothing: only enabled rows post.
            if (CWnd* parent = GetParent())
                ::PostMessageW(parent->GetSafeHwnd(), WM_COMMAND, LOWORD(item->id), 0);
        }
    }
    Recompose();
    CWnd::OnLButtonDown(flags, point);
}

void CTDropBox::OnLButtonUp(UINT flags, CPoint point)
{
    m_bPressed = FALSE;
    Recompose();
    CWnd::OnLButtonUp(flags, point);
}

void CTDropBox::OnMouseLeave()
{
    m_bTracking = FALSE;
    Recompose();
    CWnd::OnMouseLeave();
}

bool CTDropBox::HasSubMenu(HWND window) const
{
    if (!window)
        return false;
    for (const CTDropBoxItem& item : m_items)
        if (item.subMenu && item.subMenu != this &&
            (item.subMenu->GetSafeHwnd() == window || item.subMenu->HasSubMenu(window)))
            return true;
    return false;
}

CTDropBox* CTDropBox::UpperPopup() const
{
    CWnd* parent = GetParent();
    return parent ? dynamic_cast<CTDropBox*>(CWnd::FromHandlePermanent(parent->GetSafeHwnd()))
                  : nullptr;
}

void CTDropBox::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CWnd::OnActivate(state, other, minimized);
    if (state != WA_INACTIVE)
        return;
    HWND gaining = other ? other->GetSafeHwnd() : nullptr;
    // Activation that moves into one of this popup's own sub-menus keeps the chain open.
    if (HasSubMenu(gaining))
        return;
    ShowWindow(SW_HIDE);
    // An activated sub-menu losing activation to a window outside the chain closes the popups
    // above it as well: they lost activation to it before and will not hear of this one.
    for (CTDropBox* upper = UpperPopup(); upper; upper = upper->UpperPopup()) {
        if (upper->GetSafeHwnd() == gaining || upper->HasSubMenu(gaining))
            break;
        if (upper->IsWindowVisible())
            upper->ShowWindow(SW_HIDE);
    }
}

void CTDropBox::OnShowWindow(BOOL show, UINT status)
{
    CWnd::OnShowWindow(show, status);
    if (show)
        return;
    m_bTracking = FALSE;
    for (const CTDropBoxItem& item : m_items)
        if (item.subMenu && item.subMenu->GetSafeHwnd() && item.subMenu->IsWindowVisible())
            item.subMenu->ShowWindow(SW_HIDE);
}
