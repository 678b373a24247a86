#include "playback/FullScrCaption.h"

#include "ui/DPIScale.h"
#include "ui/LayeredWindow.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

constexpr COLORREF kTitleColor = RGB(182, 199, 215);
constexpr int kTitleWidth = 207;  // design units
constexpr int kTitleHeight = 25;
constexpr int kTitleTop = 12;

CRButtonText TitleRecord(const std::wstring& text)
{
    CRButtonText record;
    record.strText = text;
    record.clrNormal = kTitleColor;
    record.clrOver = RGB(255, 255, 255);
    record.clrPress = RGB(255, 255, 255);
    record.nFontSize = 13;
    record.nAlign = 0;
    return record;
}

}  // namespace

CFullScrCaption::CFullScrCaption() = default;

CFullScrCaption::~CFullScrCaption()
{
    if (GetSafeHwnd())
        DestroyWindow();
    if (m_hTitleFont)
        DeleteObject(m_hTitleFont);
}

CRButton& CFullScrCaption::GetButton(int id)
{
    switch (id) {
    case ID_BTN_CAP_CLOSE:
        return m_btnClose;
    case ID_BTN_CAP_MIN:
        return m_btnMinimize;
    default:
        return m_btnRestore;
    }
}

void CFullScrCaption::DrawBackground(CDC* dc, const CRect& client)
{
    if (m_dcBackground.Create(dc, client.Width(), client.Height()))
        GetNinePatch()->Draw(m_dcBackground, L"full_title_bg.9.png");
}

int CFullScrCaption::OnCreate(LPCREATESTRUCTW create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    GetClientRect(&m_rcClient);
    m_rcAnchor = m_rcClient;
    if (CDC* dc = GetDC()) {
        DrawBackground(dc, m_rcClient);
        LoadSkinImage(dc, m_dcBrand, L"bi_brand.png");
        ReleaseDC(dc);
    }

    const int width = g_DPIScale.Unscale(m_rcClient.Width());
    struct Button {
        CRButton* button;
        int id;
        int left;  // design units from the right edge
        const wchar_t* picture;
    };
    const Button buttons[] = {
        {&m_btnRestore, ID_BTN_CAP_RESTORE, 103, L"btn_reduction"},
        {&m_btnClose, ID_BTN_CAP_CLOSE, 45, L"btn_close"},
        {&m_btnMinimize, ID_BTN_CAP_MIN, 74, L"btn_minimum"},
    };
    for (const Button& b : buttons) {
        const RECT place = {width - b.left, 0, width - b.left + 29, 26};
        b.button->DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, place, this,
                            UINT(b.id));
        const std::wstring name = b.picture;
        b.button->SetImages(name + L"_nor.png", name + L"_over.png", name + L"_press.png",
                            m_dcBackground.GetDC());
    }
    m_btnRestore.SetTooltipOffset(0, -25);
    m_btnRestore.SetTooltip(GetLangText(L"IDS_STRING_K_085"));

    LOGFONTW description = {};
    description.lfHeight = GetFontValue(L"TEXTSIZE_TESSALY_3");
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_MODERN;
    GetUIFaceName().copy(description.lfFaceName, LF_FACESIZE - 1);
    m_hTitleFont = DPICreateFontIndirect(&description);

    m_nTitleX = g_DPIScale.Unscale(m_rcClient.Width() / 2) - kTitleWidth / 2;
    const RECT title = {m_nTitleX, kTitleTop, m_nTitleX + kTitleWidth, kTitleTop + 19};
    m_stcTitle.DPICreate(nullptr, L"", WS_CHILD | WS_VISIBLE | SS_CENTER, title, this,
                         IDC_CAP_TITLE);
    const CRButtonText record = TitleRecord(L"");
    m_stcTitle.SetBackground(L"full_title_bg.9.png", m_hTitleFont, m_dcBackground.GetDC(),
                             &record);
    m_stcTitle.DPIMoveWindow(m_nTitleX, kTitleTop, kTitleWidth, kTitleHeight);
    m_bCreated = 1;
    return 0;
}

void CFullScrCaption::SetTitle(const std::wstring& title)
{
    if (!m_stcTitle.GetSafeHwnd())
        return;
    CRect client;
    GetClientRect(&client);
    m_nTitleX = g_DPIScale.Unscale(client.Width() / 2) - kTitleWidth / 2;
    // Placed first, so the label copies the background under its new place.
    m_stcTitle.DPIMoveWindow(m_nTitleX, kTitleTop, kTitleWidth, kTitleHeight);
    const CRButtonText record = TitleRecord(title);
    m_stcTitle.SetBackground(L"full_title_bg.9.png", m_hTitleFont, m_dcBackground.GetDC(),
                             &record);
}

void CFullScrCaption::ReloadTexts()
{
    if (m_btnRestore.GetSafeHwnd())
        m_btnRestore.SetTooltip(GetLangText(L"IDS_STRING_K_085"));
}

void CFullScrCaption::Redraw()
{
    m_bDirty = 1;
    if (CDC* dc = GetDC()) {
        Compose(dc);
        ReleaseDC(dc);
    }
}

void CFullScrCaption::OnPaint()
{
    CPaintDC dc(this);
    Compose(&dc);
}

BOOL CFullScrCaption::OnEraseBkgnd(CDC* /*dc*/)
{
    return TRUE;
}

BOOL CFullScrCaption::OnCommand(WPARAM wParam, LPARAM /*lParam*/)
{
    const int id = LOWORD(wParam);
    if (id < ID_BTN_CAP_CLOSE || id > ID_BTN_CAP_RESTORE)
        return FALSE;
    if (m_hNotifyWnd)
        ::SendMessageW(m_hNotifyWnd, WM_COMMAND, WPARAM(id), 0);
    return TRUE;
}

void CFullScrCaption::AnchorButtons(const CRect& client)
{
    const int dx = client.Width() - m_rcAnchor.Width();
    m_rcAnchor = client;
    if (dx == 0)
        return;
    for (CRButton* button : {&m_btnRestore, &m_btnMinimize, &m_btnClose}) {
        if (!button->GetSafeHwnd())
            continue;
        CRect place;
        button->GetWindowRect(&place);
        ScreenToClient(&place);
        button->MoveWindow(place.left + dx, place.top, place.Width(), place.Height(), TRUE);
    }
}

void CFullScrCaption::Compose(CDC* target)
{
    GetClientRect(&m_rcClient);
    if (!m_bCreated)
        return;
    AnchorButtons(m_rcClient);
    const int width = m_rcClient.Width();
    const int height = m_rcClient.Height();
    if (m_dcComposite.GetWidth() != width || m_dcComposite.GetHeight() != height)
        m_bDirty = 1;
    if (m_bDirty) {
        m_bDirty = 0;
        if (!m_dcComposite.Create(target, width, height))
            return;
        if (m_dcBackground.GetWidth() != width || m_dcBackground.GetHeight() != height)
            DrawBackground(target, m_rcClient);
        CDC* dc = m_dcComposite.GetDC();
        if (m_dcBackground.IsCreated())
            dc->StretchBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0,
                           m_dcBackground.GetWidth(), m_dcBackground.GetHeight(), SRCCOPY);
        if (m_fnHasDeviceRecord && m_fnHasDeviceRecord())
            BlendSurface(m_dcComposite, 10, 6, m_dcBrand.GetWidth(), m_dcBrand.GetHeight(),
                         m_dcBrand);
    }
    if (m_dcComposite.IsCreated())
        target->BitBlt(0, 0, width, height, m_dcComposite.GetDC(), 0, 0, SRCCOPY);
}
