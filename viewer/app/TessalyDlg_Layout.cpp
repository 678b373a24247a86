// The main dialog's controls, background, painting, relayout and right-column switch.
#include "app/TessalyDlg.h"

#include <cstring>

#include "playback/WebForm.h"
#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/NinePatch.h"
#include "ui/Settings.h"
#include "ui/SkinImage.h"

namespace {

// Caption colours (0x00BBGGRR): normal, disabled, over, pressed.
CRButtonText MenuButtonText(const std::wstring& caption)
{
    return {caption, 0xBCA98C, 0x474440, 0xFFFFFF, 0xFFFFFF, GetFontValue(L"TEXTSIZE_TESSALY_BTN"),
            1};
}

CRButtonText ListTabText(const std::wstring& caption)
{
    return {caption, 0xB19477, 0x474440, 0xDAB692, 0xFFFFFF,
            GetFontValue(L"TEXTSIZE_TESSALY_LIST_BTN"), 1};
}

CRButtonText ListSubTabText(const std::wstring& caption)
{
    return {caption, 0xB19477, 0x474440, 0xDAB692, 0xCBB7A3,
            GetFontValue(L"TEXTSIZE_TESSALY_LIST_BTN"), 1};
}

CRButtonText LabelText(const std::wstring& text, COLORREF colour, int size = 13)
{
    return {text, colour, colour, 0xFFFFFF, 0xFFFFFF, size, 0};
}

RECT Design(int left, int top, int right, int bottom)
{
    return {left, top, right, bottom};
}

const DWORD kSkinnedStyle = 0x5000000B;  // WS_CHILD | WS_VISIBLE and the skinned bits
const DWORD kPlainChildStyle = 0x50000000;

// The popups' window class: redrawn on resizing, no cursor, the window colour, no icon.
LPCWSTR PopupClass()
{
    return AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr,
                               reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(6)), nullptr);
}

HFONT MakeLabelFont(LPCWSTR sizeKey, const std::wstring& face, BYTE charSet)
{
    LOGFONTW font = {};
    font.lfHeight = GetFontValue(sizeKey);
    font.lfWeight = 400;
    font.lfQuality = 4;
    font.lfPitchAndFamily = 0x32;
    font.lfCharSet = charSet;
    wcsncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return DPICreateFontIndirect(&font);
}

std::wstring ModelText()
{
    if (!g_pBlackBoxData)
        return L"None";
    std::string model(g_pBlackBoxData->szModel,
                      strnlen(g_pBlackBoxData->szModel, sizeof(g_pBlackBoxData->szModel)));
    if (model.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, model.data(), int(model.size()), nullptr, 0);
    std::wstring text(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, model.data(), int(model.size()), text.data(), n);
    return text;
}

}  // namespace

// Label fonts of the current language.
HFONT CTessalyDlg::MakeFont1()
{
    return MakeLabelFont(L"TEXTSIZE_TESSALY_1", GetUIFaceName(),
                         BYTE(GetFontValue(L"DEFAULT_UI_CHARSET")));
}

HFONT CTessalyDlg::MakeFont2()
{
    return MakeLabelFont(L"TEXTSIZE_TESSALY_2", L"tahoma", 0);
}

HFONT CTessalyDlg::MakeFont3()
{
    return MakeLabelFont(L"TEXTSIZE_TESSALY_3", GetUIFaceName(),
                         BYTE(GetFontValue(L"DEFAULT_UI_CHARSET")));
}

HFONT CTessalyDlg::MakeFont4()
{
    return MakeLabelFont(L"TEXTSIZE_TESSALY_4", L"tahoma", 0);
}

std::wstring CTessalyDlg::GetModelText()
{
    return ModelText();
}

int CTessalyDlg::DesignWidth() const
{
    return g_DPIScale.Unscale(m_rcClient.right);
}

int CTessalyDlg::DesignHeight() const
{
    return g_DPIScale.Unscale(m_rcClient.bottom);
}

// ---------------------------------------------------------------------------------------------
// Controls

void CTessalyDlg::CreateControls()
{
    LogWrite(L"CreateControls CreateVideoWnds");
    CreateVideoWnds();
    LogWrite(L"CreateControls CreateSlider");
    CreateSlider();
    LogWrite(L"CreateControls CreateBtns");
    CreateBtns();
    LogWrite(L"CreateControls CreateDropBoxs");
    CreateDropBoxs();
    LogWrite(L"CreateControls CreateStatics");
    CreateStatics();
    LogWrite(L"CreateControls CreateListCtrl");
    CreateListCtrl();
    // With a card the play type just read decides whether the views can be exchanged.
    if (m_btnChange.m_hWnd)
        m_btnChange.EnableWindow(!(m_bMP4Mode && m_bSinglePlay));
}

void CTessalyDlg::CreateVideoWnds()
{
    const int W = DesignWidth();
    if (m_wndVideoMain.m_hWnd) {
        m_rcVideo = {2, 109, 642, 469};
        g_DPIScale.ScaleRect(&m_rcVideo);
        m_wndVideoMain.MoveWindow(&m_rcVideo, TRUE);
        m_wndVideoMain.GetWindowRect(&m_rcVideo);
        ScreenToClient(&m_rcVideo);
    } else {
        m_wndVideoMain.SetParentHwnd(m_hWnd);
        m_wndVideoMain.Create(nullptr, nullptr, kPlainChildStyle, m_rcVideo, this, ID_VIDEO_MAIN);
    }
    if (m_wndVideoSub.m_hWnd) {
        m_rcSubVideo = {W - 322, 109, W - 2, 349};
        g_DPIScale.ScaleRect(&m_rcSubVideo);
        m_wndVideoSub.MoveWindow(&m_rcSubVideo, TRUE);
        m_wndVideoSub.GetWindowRect(&m_rcSubVideo);
        ScreenToClient(&m_rcSubVideo);
    } else {
        m_wndVideoSub.Create(nullptr, nullptr, kPlainChildStyle, m_rcSubVideo, this, ID_VIDEO_SUB);
    }
}

void CTessalyDlg::CreateSlider()
{
    const int H = DesignHeight();
    CDC* background = m_dcBackground.GetDC();
    m_sliderSeek.DPICreate(nullptr, L"", kSkinnedStyle, Design(0, H - 242, 643, H - 235), this,
                           ID_SLIDER_SEEK);
    m_sliderSeek.SetNotifyId(ID_SLIDER_SEEK);
    m_sliderSeek.SetStyle(0);
    m_sliderSeek.SetImages9(L"progress_bar.9.png", L"progress_bg.9.png", L"progress_point.png",
                            L"progress_point.png", L"progress_point.png", 643, 7);
    m_sliderSeek.EnableWindow(FALSE);

    m_sliderSpeed.DPICreate(nullptr, L"", kSkinnedStyle, Design(14, H - 42, 149, H - 34), this,
                            ID_SLIDER_SPEED_GAUGE);
    m_sliderSpeed.SetNotifyId(ID_SLIDER_SPEED_GAUGE);
    m_sliderSpeed.SetStyle(2);
    m_sliderSpeed.SetImages(L"speed_gauge_full.png", L"speed_gauge_no.png", L"", L"", L"",
                            background, g_DPIScale.Scale(135), g_DPIScale.Scale(8));
    m_sliderSpeed.EnableWindow(FALSE);
}

void CTessalyDlg::MakeButton(CRButton& button, UINT id, RECT place, LPCWSTR normal, LPCWSTR over,
                             LPCWSTR pressed, LPCWSTR disabled, LPCWSTR tooltipKey)
{
    button.DPICreate(nullptr, L"", kSkinnedStyle, place, this, id);
    button.SetImages(normal, over, pressed, m_dcBackground.GetDC(), disabled ? disabled : L"", 0);
    if (tooltipKey)
        button.SetTooltip(GetLangText(tooltipKey));
}

void CTessalyDlg::MakeButton9(CRButton& button, UINT id, RECT place, const std::wstring& base,
                              const CRButtonText& text)
{
    button.DPICreate(nullptr, L"", kSkinnedStyle, place, this, id);
    SetButtonImages9(button, base, text);
}

void CTessalyDlg::SetButtonImages9(CRButton& button, const std::wstring& base,
                                   const CRButtonText& text)
{
    // "btn_menu" pictures are named _nor/_dis, the list tabs' _normal/_dis.9.
    if (base == L"btn_menu")
        button.SetImages9(L"btn_menu_nor.png", L"btn_menu_over.png", L"btn_menu_press.png",
                          m_dcBackground.GetDC(), &text, L"btn_menu_dis.png");
    else
        button.SetImages9(base + L"_normal.9.png", base + L"_over.9.png", base + L"_press.9.png",
                          m_dcBackground.GetDC(), &text, base + L"_dis.9.png");
}

void CTessalyDlg::CreateBtns()
{
    const int W = DesignWidth();
    const int H = DesignHeight();
    // The play type saved for a card is restored when a card's device record was read.
    m_bSinglePlay = (m_bMP4Mode || g_pBlackBoxData) ? LoadPlayType() : 0;
    GetNinePatch();

    MakeButton(m_btnClose, ID_BTN_CLOSE, Design(W - 45, 0, W - 16, 26), L"btn_close_nor.png",
               L"btn_close_over.png", L"btn_close_press.png", nullptr, nullptr);
    MakeButton(m_btnMax, ID_BTN_MAX, Design(W - 74, 0, W - 45, 26), L"btn_full_nor.png",
               L"btn_full_over.png", L"btn_full_press.png", nullptr, nullptr);
    MakeButton(m_btnMin, ID_BTN_MIN, Design(W - 103, 0, W - 74, 26), L"btn_minimum_nor.png",
               L"btn_minimum_over.png", L"btn_minimum_press.png", nullptr, nullptr);
    MakeButton(m_btnFolUp, ID_BTN_FOLUP, Design(W - 317, 77, W - 290, 104),
               L"btn_folding_up_nor.png", L"btn_folding_up_over.png", L"btn_folding_up_press.png",
               L"btn_folding_up_dis.png", L"IDS_STRING_K_058");
    m_btnFolUp.SetMouseActivate(FALSE);
    MakeButton(m_btnFolDn, ID_BTN_FOLDN, Design(W - 317, 355, W - 290, 382),
               L"btn_folding_down_nor.png", L"btn_folding_down_over.png",
               L"btn_folding_down_press.png", L"btn_folding_down_dis.png", L"IDS_STRING_K_064");
    m_btnFolDn.SetMouseActivate(FALSE);
    MakeButton(m_btnMapSearch, ID_BTN_MAPSEARCH, Design(W - 39, 77, W - 12, 104),
               L"btn_map_movie_nor.png", L"btn_map_movie_over.png", L"btn_map_movie_press.png",
               nullptr, L"IDS_STRING_K_060");
    m_btnMapSearch.DPIMoveWindow(W - 39, 114, 27, 27);
    m_btnMapSearch.ShowWindow(SW_HIDE);
    MakeButton(m_btnChange, ID_BTN_CHANGE, Design(W - 356, 77, W - 329, 104),
               L"btn_change_normal.png", L"btn_change_over.png", L"btn_change_press.png",
               L"btn_change_dis.png", L"IDS_STRING_K_052");
    m_btnChange.EnableWindow(!(m_bMP4Mode && m_bSinglePlay));
    if (m_wndVideoSub.m_hWnd)
        m_wndVideoSub.Invalidate();
    MakeButton(m_btnExpand, ID_BTN_EXPAND, Design(W - 386, 77, W - 359, 104),
               L"btn_expand_normal.png", L"btn_expand_over.png", L"btn_expand_press.png",
               L"btn_expand_dis.png", L"IDS_STRING_K_051");

    MakeButton(m_btnPre, ID_BTN_PRE, Design(90, H - 201, 150, H - 141), L"btn_pre_normal.png",
               L"btn_pre_over.png", L"btn_pre_press.png", L"btn_pre_dim.png", nullptr);
    MakeButton(m_btnSec, ID_BTN_SEC, Design(161, H - 201, 221, H - 141), L"btn_sec1_normal.png",
               L"btn_sec1_over.png", L"btn_sec1_press.png", L"btn_sec1_dim.png", nullptr);
    MakeButton(m_btnPlay, ID_BTN_PLAY, Design(232, H - 214, 318, H - 128),
               L"btn_play_normal.png", L"btn_play_over.png", L"btn_play_press.png",
               L"btn_play_dim.png", nullptr);
    MakeButton(m_btnPause, ID_BTN_PAUSE, Design(232, H - 214, 318, H - 128),
               L"btn_pause_normal.png", L"btn_pause_over.png", L"btn_pause_press.png",
               L"btn_pause_dim.png", nullptr);
    if (m_VideoMgr.GetState() != STATE_PLAY)
        m_btnPause.ShowWindow(SW_HIDE);
    MakeButton(m_btnStop, ID_BTN_STOP, Design(329, H - 214, 415, H - 128),
               L"btn_stop_normal.png", L"btn_stop_over.png", L"btn_stop_press.png",
               L"btn_stop_dim.png", nullptr);
    MakeButton(m_btnSec2, ID_BTN_SEC2, Design(426, H - 201, 486, H - 141),
               L"btn_sec2_normal.png", L"btn_sec2_over.png", L"btn_sec2_press.png",
               L"btn_sec2_dim.png", nullptr);
    MakeButton(m_btnNext, ID_BTN_NEXT, Design(497, H - 201, 557, H - 141),
               L"btn_next_normal.png", L"btn_next_over.png", L"btn_next_press.png",
               L"btn_next_dim.png", nullptr);
    MakeButton(m_btnSize, ID_BTN_SIZE, Design(531, H - 230, 567, H - 206),
               L"btn_size_normal.png", L"btn_size_over.png", L"btn_size_press.png",
               L"btn_size_dis.png", L"IDS_STRING_K_053");
    m_btnSize.SetMouseActivate(FALSE);
    m_btnSize.EnableWindow(FALSE);
    MakeButton(m_btnScrSetting, ID_BTN_SETTING, Design(531, H - 230, 567, H - 206),
               L"btn_setting_normal.png", L"btn_setting_over.png", L"btn_setting_press.png",
               L"btn_setting_dis.png", L"IDS_STRING_K_054");
    m_btnScrSetting.SetMouseActivate(FALSE);
    m_btnScrSetting.ShowWindow(SW_HIDE);
    m_btnScrSetting.EnableWindow(FALSE);
    MakeButton(m_btnSave, ID_BTN_SAVE, Design(567, H - 230, 603, H - 206),
               L"btn_save_normal.png", L"btn_save_over.png", L"btn_save_press.png",
               L"btn_save_dis.png", L"IDS_STRING_K_055");
    MakeButton(m_btnVolume, ID_BTN_VOLUME, Design(603, H - 230, 639, H - 206),
               L"btn_volume_normal.png", L"btn_volume_over.png", L"btn_volume_press.png",
               L"btn_volume_dis.png", L"IDS_STRING_K_057");
    m_btnVolume.SetMouseActivate(FALSE);
    m_btnVolume.SetLevelImages(L"ic_volume_mute.png", L"ic_volume_01.png", L"ic_volume_02.png",
                               L"ic_volume_03.png", L"ic_volume_04.png", L"ic_volume_05.png",
                               L"ic_volume_dis.png", 18, 4);
    m_btnVolume.SetLevel(3);
    MakeButton(m_btnVideoConnect, ID_BTN_VIDEO_CONNECT, Design(495, H - 230, 531, H - 206),
               L"btn_connect_off_normal.png", L"btn_connect_over.png", L"btn_connect_press.png",
               L"btn_connect_dis.png", L"IDS_STRING_K_081");
    m_btnVideoConnect.SetCheckImage(L"btn_connect_on_normal.png");
    m_btnVideoConnect.SetCheck(TRUE);
    m_bAutoContinue = 1;

    RECT brand = {0, 0, 0, 0};
    GetSkinImageSize(L"bi_brand.png", &brand);
    MakeButton(m_btnBrand, ID_BTN_BRAND,
               Design(10, 6, 10 + (brand.right - brand.left), 6 + (brand.bottom - brand.top)),
               L"bi_brand.png", L"bi_brand_over.png", L"bi_brand_press.png", nullptr, nullptr);

    if (GetInstallValue(L"unit") == L"mph")
        MakeButton(m_btnSpeedUnit, ID_BTN_SPEED_UNIT, Design(104, H - 74, 143, H - 57),
                   L"speed_mile.png", L"speed_mile.png", L"speed_mile.png",
                   L"speed_mile_dis.png", nullptr);
    else
        MakeButton(m_btnSpeedUnit, ID_BTN_SPEED_UNIT, Design(104, H - 74, 143, H - 57),
                   L"speed_km.png", L"speed_km.png", L"speed_km.png", L"speed_km_dis.png",
                   nullptr);
    MakeButton(m_btnMapEmpty, ID_BTN_MAP_EMPTY, Design(104, H - 74, 143, H - 57),
               L"map_empty.png", L"map_empty.png", L"map_empty.png", nullptr, nullptr);
    m_btnMapEmpty.ShowWindow(SW_HIDE);

    // The menu buttons are as wide as their captions.
    const std::wstring file = GetLangText(L"IDS_STRING_K_001");
    m_rcFileBtn.x = GetMenuValue(L"PO_BTN_FILE_X");
    m_rcFileBtn.y = GetMenuValue(L"PO_BTN_FILE_Y");
    m_rcFileBtn.width = g_DPIScale.Unscale(GetTextWidth(
                            file, GetUIFaceName(), GetFontValue(L"TEXTSIZE_TESSALY_BTN"), 400)) +
                        35;
    m_rcFileBtn.height = GetMenuValue(L"SIZE_BTN_FILE_HEIGHT");
    const CRButtonText fileText = MenuButtonText(file);
    MakeButton9(m_btnFile, ID_BTN_FILE,
                Design(m_rcFileBtn.x, m_rcFileBtn.y, m_rcFileBtn.x + m_rcFileBtn.width,
                       m_rcFileBtn.y + m_rcFileBtn.height),
                L"btn_menu", fileText);
    m_btnFile.SetCaption(file);
    m_btnFile.SetMouseActivate(FALSE);

    const std::wstring setting = GetLangText(L"IDS_STRING_K_003");
    m_rcSettingBtn.x = m_rcFileBtn.x + m_rcFileBtn.width + GetMenuValue(L"PO_BTN_SETTING_X");
    m_rcSettingBtn.y = GetMenuValue(L"PO_BTN_SETTING_Y");
    m_rcSettingBtn.width = g_DPIScale.Unscale(GetTextWidth(setting, GetUIFaceName(),
                                                           GetFontValue(L"TEXTSIZE_TESSALY_BTN"),
                                                           400)) +
                           35;
    m_rcSettingBtn.height = GetMenuValue(L"SIZE_BTN_SETTING_HEIGHT");
    const CRButtonText settingText = MenuButtonText(setting);
    MakeButton9(m_btnSetting, ID_BTN_SETTING_MENU,
                Design(m_rcSettingBtn.x, m_rcSettingBtn.y,
                       m_rcSettingBtn.x + m_rcSettingBtn.width,
                       m_rcSettingBtn.y + m_rcSettingBtn.height),
                L"btn_menu", settingText);
    m_btnSetting.SetCaption(setting);
    m_btnSetting.SetMouseActivate(FALSE);

    // The list tabs and the sub-tabs.
    struct Tab {
        CRButton* button;
        UINT id;
        RECT place;
        const WCHAR* base;
        const WCHAR* key;
        bool sub;
        const WCHAR* checkImage;
        bool hidden;
    };
    const Tab tabs[] = {
        {&m_btnListNormal, ID_BTN_LIST_NORMAL, Design(W - 323, 423, W - 242, 450),
         L"list_menu01", L"IDS_STRING_K_038", false, L"list_menu01_selected.9.png", false},
        {&m_btnListParking, ID_BTN_LIST_PARKING, Design(W - 242, 423, W - 162, 450),
         L"list_menu02", L"IDS_STRING_K_039", false, L"list_menu02_selected.9.png", false},
        {&m_btnListManual, ID_BTN_LIST_MANUAL, Design(W - 162, 423, W - 81, 450),
         L"list_menu02", L"IDS_STRING_K_040", false, L"list_menu02_selected.9.png", false},
        {&m_btnListPosition, ID_BTN_LIST_POSITION, Design(W - 82, 423, W - 1, 450),
         L"list_menu01", L"IDS_STRING_K_041", false, L"list_menu01_selected.9.png", false},
        {&m_btnListRecNormal, ID_BTN_LIST_RECNORMAL, Design(W - 323, 450, W - 162, 470),
         L"list_sub_menu01", L"IDS_STRING_K_042", true, nullptr, false},
        {&m_btnListNorShock, ID_BTN_LIST_NORSHOCK, Design(W - 162, 450, W - 1, 470),
         L"list_sub_menu02", L"IDS_STRING_K_043", true, nullptr, false},
        {&m_btnListParkMotion, ID_BTN_LIST_PARKMOTION, Design(W - 323, 450, W - 162, 470),
         L"list_sub_menu01", L"IDS_STRING_K_044", true, nullptr, true},
        {&m_btnListParkShock, ID_BTN_LIST_PARKSHOCK, Design(W - 162, 450, W - 1, 470),
         L"list_sub_menu02", L"IDS_STRING_K_045", true, nullptr, true},
        {&m_btnListFileSize, ID_BTN_LIST_FILESIZE, Design(W - 99, 450, W - 1, 470),
         L"list_sub_menu02", L"IDS_STRING_K_103", true, nullptr, true},
        {&m_btnListFileName, ID_BTN_LIST_FILENAME, Design(W - 323, 450, W - 99, 470),
         L"list_sub_menu01", L"IDS_STRING_K_102", true, nullptr, true},
    };
    for (const Tab& tab : tabs) {
        const std::wstring caption = GetLangText(tab.key);
        const CRButtonText text = tab.sub ? ListSubTabText(caption) : ListTabText(caption);
        MakeButton9(*tab.button, tab.id, tab.place, tab.base, text);
        if (tab.checkImage)
            tab.button->SetCheckImage9(tab.checkImage);
        if (tab.id != ID_BTN_LIST_FILESIZE && tab.id != ID_BTN_LIST_FILENAME)
            tab.button->SetCaption(caption);
        if (tab.hidden)
            tab.button->ShowWindow(SW_HIDE);
    }
    m_btnListNormal.SetCheck(TRUE);
}

void CTessalyDlg::MakePopup(CTDropBox& box, LPCWSTR title, int x, int y, int width, int height,
                            CWnd* owner)
{
    box.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupClass(), title, WS_POPUP, x, y, width,
                    height, owner->m_hWnd, nullptr);
}

void CTessalyDlg::CreateDropBoxs()
{
    const int W = DesignWidth();
    const int H = DesignHeight();
    (void)W;

    // File menu.
    m_rcFileBox = {m_rcFileBtn.x - 4, m_rcFileBtn.y + m_rcFileBtn.height + 4,
                   GetMenuValue(L"SIZE_BOX_FILE_WIDTH"), GetMenuValue(L"SIZE_BOX_FILE_HEIGHT")};
    MakePopup(m_boxFile, L"File", m_rcFileBox.x, m_rcFileBox.y, m_rcFileBox.width,
              m_rcFileBox.height, this);
    m_boxFile.SetBackImages(L"bg_rightclick.9.png", L"list_bg_over.9.png",
                            L"list_bg_press.9.png");
    if (m_boxFile.m_hWnd) {
        m_boxFile.AddItem(GetLangText(L"IDS_STRING_K_004"), GetLangText(L"IDS_STRING_K_005"),
                          ID_BTN_FILE_OPEN);
        m_boxFile.AddItem(GetLangText(L"IDS_STRING_K_008"), GetLangText(L"IDS_STRING_K_009"),
                          ID_BTN_FILE_OTHER_SAVE);
        m_boxFile.AddItem(GetLangText(L"IDS_STRING_K_010"), GetLangText(L"IDS_STRING_K_011"),
                          ID_BTN_FILE_CLOSE);
    } else {
        m_boxFile.CalcHeight();
    }

    // Setting menu.
    m_rcSettingBox = {m_rcSettingBtn.x - 4, m_rcSettingBtn.y + m_rcSettingBtn.height + 4,
                      GetMenuValue(L"SIZE_BOX_SETTING_WIDTH"),
                      GetMenuValue(L"SIZE_BOX_SETTING_HEIGHT")};
    MakePopup(m_boxSetting, L"Setting", m_rcSettingBox.x, m_rcSettingBox.y, m_rcSettingBox.width,
              m_rcSettingBox.height, this);
    m_boxSetting.SetBackImages(L"bg_rightclick.9.png", L"list_bg_over.9.png",
                               L"list_bg_press.9.png");
    m_boxSetting.SetSubMenuStyle(TRUE);
    m_boxSetting.SetSubMenuImages(L"ic_tri_right_normal.png", L"ic_tri_right_over.png");
    m_boxSetting.SetCheckStyle(TRUE);
    m_boxSetting.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");

    // Language menu, owned by the Setting menu.
    m_szLangBox = {GetMenuValue(L"SIZE_BOX_SETTING_LANG_WIDTH"),
                   GetMenuValue(L"SIZE_BOX_SETTING_LANG_HEIGHT")};
    MakePopup(m_boxLang, L"Lang", 0, 0, m_szLangBox.width, m_szLangBox.height, &m_boxSetting);
    m_boxLang.SetBackImages(L"bg_rightclick.9.png", L"list_bg_over.9.png",
                            L"list_bg_press.9.png");
    if (m_boxLang.m_hWnd) {
        static const struct {
            const WCHAR* key;
            UINT id;
        } languages[] = {
            {L"IDS_STRING_K_091", ID_BOX_LANG_ENGLISH},
            {L"IDS_STRING_K_092", ID_BOX_LANG_KOREAN},
            {L"IDS_STRING_K_093", ID_BOX_LANG_SPANISH},
            {L"IDS_STRING_K_094", ID_BOX_LANG_CHINESESIMPLIFIED},
            {L"IDS_STRING_K_098", ID_BOX_LANG_PORTUGUESE},
            {L"IDS_STRING_K_099", ID_BOX_LANG_FRENCH},
            {L"IDS_STRING_K_100", ID_BOX_LANG_RUSSIAN},
            {L"IDS_STRING_K_108", ID_BOX_LANG_GERMAN},
            {L"IDS_STRING_K_109", ID_BOX_LANG_ITALIAN},
            {L"IDS_STRING_K_110", ID_BOX_LANG_JAPANESE},
            {L"IDS_STRING_K_111", ID_BOX_LANG_CHINESETRADITIONAL},
        };
        for (const auto& language : languages)
            m_boxLang.AddItem(GetLangText(language.key), L"", language.id);
    }
    m_boxLang.CalcHeight();
    m_boxLang.SetCheckStyle(TRUE);
    m_boxLang.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");
    m_boxLang.SetItemCheck(LanguageItemId(GetLanguageName()), 1);

    // Unit menu, owned by the Setting menu.
    m_szUnitBox = {GetMenuValue(L"SIZE_BOX_SETTING_UNIT_WIDTH"),
                   GetMenuValue(L"SIZE_BOX_SETTING_UNIT_HEIGHT")};
    MakePopup(m_boxUnit, L"Unit", 0, 0, m_szUnitBox.width, m_szUnitBox.height, &m_boxSetting);
    m_boxUnit.SetBackImages(L"bg_rightclick.9.png", L"list_bg_over.9.png",
                            L"list_bg_press.9.png");
    if (m_boxUnit.m_hWnd) {
        m_boxUnit.AddItem(GetLangText(L"IDS_STRING_K_096"), L"", ID_BOX_UNIT_KMH);
        m_boxUnit.AddItem(GetLangText(L"IDS_STRING_K_097"), L"", ID_BOX_UNIT_MPH);
    }
    m_boxUnit.CalcHeight();
    m_boxUnit.SetCheckStyle(TRUE);
    m_boxUnit.SetCheckImages(L"ic_checkbox_normal.png", L"ic_checkbox_over.png");
    if (GetInstallValue(L"unit") == L"mph") {
        m_boxUnit.SetItemCheck(ID_BOX_UNIT_MPH, 1);
        m_bSpeedMph = 1;
    } else {
        m_boxUnit.SetItemCheck(ID_BOX_UNIT_KMH, 1);
        m_bSpeedMph = 0;
    }

    if (m_boxSetting.m_hWnd) {
        m_boxSetting.AddItem(GetLangText(L"IDS_STRING_K_015"), L"", ID_BOX_SETTING_DASHCAM);
        m_boxSetting.AddItem(GetLangText(L"IDS_STRING_K_016"), L"", ID_BOX_SETTING_VIEW);
        m_boxSetting.AddItem(GetLangText(L"IDS_STRING_K_017"), L"", ID_BOX_SETTING_LANG,
                             &m_boxLang);
        m_boxSetting.AddItem(GetLangText(L"IDS_STRING_K_095"), L"", ID_BOX_SETTING_UNIT,
                             &m_boxUnit);
        m_boxSetting.AddItem(GetLangText(L"IDS_STRING_K_104"), L"", ID_BOX_SETTING_PLAY);
    }
    m_boxSetting.CalcHeight();

    if (g_pBlackBoxData) {
        m_boxSetting.SetItemDisable(ID_BOX_SETTING_PLAY, 0);
        m_bMP4Mode = 1;
        m_bPlayTypeLocked = 0;
        if (!m_bSinglePlay)
            m_boxSetting.SetItemCheck(ID_BOX_SETTING_PLAY, 1);
    }

    // The screen-size menus and the two panels.
    const int Hp = m_rcClient.bottom;
    const int hDesign = g_DPIScale.Unscale(Hp);
    MakePopup(m_boxScrSize, L"ScrSize", 516, hDesign - 332, 67, 102, this);
    m_boxScrSize.SetBackImages(L"play_setting_bg.9.png", L"list_bg_over.9.png",
                               L"list_bg_press.9.png");
    m_boxScrSize.SetTextColors(0xDEC1B2, 0xFFFFFF);
    if (m_boxScrSize.m_hWnd) {
        m_boxScrSize.AddItem(L"x 0.5", L"", ID_BOX_SCRSIZE_05);
        m_boxScrSize.AddItem(L"x 1.0", L"", ID_BOX_SCRSIZE_10);
        m_boxScrSize.AddItem(L"x 1.5", L"", ID_BOX_SCRSIZE_15);
        m_boxScrSize.AddItem(L"x 2.0", L"", ID_BOX_SCRSIZE_20);
    }
    MakePopup(m_boxScrSize02, L"ScrSize02", 516, hDesign - 353, 100, 123, this);
    m_boxScrSize02.SetBackImages(L"play_setting_bg.9.png", L"list_bg_over.9.png",
                                 L"list_bg_press.9.png");
    m_boxScrSize02.SetTextColors(0xDEC1B2, 0xFFFFFF);
    if (m_boxScrSize02.m_hWnd) {
        m_boxScrSize02.AddItem(GetLangText(kOriginalSizeKey), L"", ID_BOX_SCRSIZE_ORIGINAL);
        m_boxScrSize02.AddItem(L"x 0.5", L"", ID_BOX_SCRSIZE_05);
        m_boxScrSize02.AddItem(L"x 1.0", L"", ID_BOX_SCRSIZE_10);
        m_boxScrSize02.AddItem(L"x 1.5", L"", ID_BOX_SCRSIZE_15);
        m_boxScrSize02.AddItem(L"x 2.0", L"", ID_BOX_SCRSIZE_20);
    }
    m_boxBriSpd.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupClass(), L"BriSpd", WS_POPUP,
                            474, H - 380, 151, 150, m_hWnd, nullptr);
    m_boxVol.DPICreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, PopupClass(), L"Vol", WS_POPUP, 599,
                         H - 346, 43, 116, m_hWnd, nullptr);
}

UINT CTessalyDlg::LanguageItemId(const std::wstring& name)
{
    static const struct {
        const WCHAR* name;
        UINT id;
    } items[] = {
        {L"chinesesimplified", ID_BOX_LANG_CHINESESIMPLIFIED},
        {L"korean", ID_BOX_LANG_KOREAN},
        {L"spanish", ID_BOX_LANG_SPANISH},
        {L"portuguese", ID_BOX_LANG_PORTUGUESE},
        {L"french", ID_BOX_LANG_FRENCH},
        {L"russian", ID_BOX_LANG_RUSSIAN},
        {L"german", ID_BOX_LANG_GERMAN},
        {L"italian", ID_BOX_LANG_ITALIAN},
        {L"japanese", ID_BOX_LANG_JAPANESE},
        {L"chinesetraditional", ID_BOX_LANG_CHINESETRADITIONAL},
    };
    for (const auto& item : items)
        if (name == item.name)
            return item.id;
    return ID_BOX_LANG_ENGLISH;
}

void CTessalyDlg::MakeStatic(CRStatic& label, UINT id, RECT place, const std::wstring& text,
                             HFONT font, DWORD style)
{
    label.DPICreateStatic(text.c_str(), style, place, this, id);
    label.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void CTessalyDlg::MakeStaticText(CRStaticText& label, UINT id, RECT place,
                                 const std::wstring& ninePatch, HFONT font,
                                 const CRButtonText& text)
{
    label.DPICreate(nullptr, L"", kSkinnedStyle, place, this, id);
    label.SetBackground(ninePatch, font, m_dcBackground.GetDC(), &text);
}

void CTessalyDlg::CreateStatics()
{
    const int W = DesignWidth();
    const int H = DesignHeight();
    m_hFont1 = MakeFont1();
    m_hFont3 = MakeFont3();
    m_hFont2 = MakeFont2();

    MakeStatic(m_lblFront, ID_STATIC_FRONT, Design(7, 83, 72, 133),
               GetLangText(L"IDS_STRING_K_018"), m_hFont1, kSkinnedStyle);
    MakeStatic(m_lblRear, ID_STATIC_REAR, Design(W - 288, 83, W - 223, 133),
               GetLangText(L"IDS_STRING_K_019"), m_hFont1, kSkinnedStyle);
    MakeStatic(m_lblMap, ID_STATIC_MAP, Design(W - 288, 360, W - 228, 375),
               GetLangText(L"IDS_STRING_K_020"), m_hFont1, kSkinnedStyle);
    MakeStatic(m_lblPlaylist, ID_STATIC_PLAYLIST, Design(W - 315, 397, W - 115, 447),
               GetLangText(L"IDS_STRING_K_021"), m_hFont1, kSkinnedStyle);
    MakeStatic(m_lblPlayTime, ID_STATIC_PLAYTIME, Design(13, H - 226, 75, H - 211),
               L"00:00:00 /", m_hFont2, kSkinnedStyle);
    MakeStatic(m_lblTotalTime, ID_STATIC_TOTALTIME, Design(77, H - 226, 142, H - 211),
               L"00:00:00", m_hFont2, kSkinnedStyle);
    MakeStatic(m_lblVersion, ID_STATIC_VERSION, Design(W - 114, H - 16, W - 23, H),
               FormatText(L"Ver %ls", g_strAppVersion.c_str()), m_hFont2,
               WS_CHILD | WS_VISIBLE | SS_RIGHT);

    MakeStaticText(m_lblModel, ID_STATIC_MODEL, Design(11, H - 16, 111, H), L"", m_hFont3,
                   LabelText(GetModelText(), 0xD7C7B6));
    MakeStaticText(m_lblGX, ID_STATIC_GX, Design(178, H - 109, 238, H - 96), L"", m_hFont2,
                   LabelText(L"X : 0000", 0x3DED6B));
    MakeStaticText(m_lblGY, ID_STATIC_GY, Design(178, H - 81, 238, H - 68), L"", m_hFont2,
                   LabelText(L"Y : 0000", 0x2E37F3));
    MakeStaticText(m_lblGZ, ID_STATIC_GZ, Design(178, H - 53, 238, H - 40), L"", m_hFont2,
                   LabelText(L"Z : 0000", 0xFDBB53));
    const std::wstring loading = GetLangText(L"IDS_STRING_K_088");
    MakeStaticText(m_lblParsing, ID_STATIC_PARSING, Design(300, H - 16, 800, H), L"", m_hFont3,
                   LabelText(loading, 0xD7C7B6));
    m_lblParsing.ShowWindow(SW_HIDE);
    const int w = g_DPIScale.Unscale(GetTextWidthWithFont(loading, m_hFont3));
    MakeStaticText(m_lblParsePercent, ID_STATIC_PARSE_PERCENT,
                   Design(310 + w, H - 16, 340 + w, H), L"", m_hFont3,
                   LabelText(L"0%", 0x00BAFF));
    m_lblParsePercent.ShowWindow(SW_HIDE);

    m_hFont4 = MakeFont4();
    const CRButtonText title = {L" ", 0xEBA83F, 0xEBA83F, 0xFFFFFF, 0xFFFFFF,
                                GetFontValue(L"TEXTSIZE_TESSALY_4"), 0};
    MakeStaticText(m_lblTitle1, ID_STATIC_TITLE1, Design(80, 79, 287, 101), L"bg_text.9.png",
                   m_hFont4, title);
    m_lblTitle1.SetText(GetLangText(L"IDS_STRING_K_105"));
    CRButtonText title2 = title;
    title2.strText = GetLangText(L"IDS_STRING_K_105");
    MakeStaticText(m_lblTitle2, ID_STATIC_TITLE2, Design(W - 215, 79, W - 8, 101),
                   L"bg_text.9.png", m_hFont4, title2);

    m_numSpeed.DPICreate(nullptr, L"", kSkinnedStyle, Design(27, H - 98, 99, H - 55), this,
                         ID_NUM_SPEED);
    m_numSpeed.SetBackground(m_dcBackground.GetDC());
    m_numSpeed.SetNumber(-1);
    m_GPSViewer.DPICreate(nullptr, L"", kSkinnedStyle, Design(254, H - 115, 612, H - 37), this,
                          ID_GPSVIEWER);
    m_GPSViewer.SetBackground(m_dcBackground.GetDC());

    // A label copies the background under itself; below its siblings it never hides a button
    // that it overlaps (the playlist label reaches over the list tabs).
    for (CRStatic* label : {&m_lblFront, &m_lblRear, &m_lblMap, &m_lblPlaylist, &m_lblPlayTime,
                            &m_lblTotalTime, &m_lblVersion})
        label->SetWindowPos(&CWnd::wndBottom, 0, 0, 0, 0,
                            SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CTessalyDlg::CreateListCtrl()
{
    const int W = DesignWidth();
    m_listPlay.DPICreate(nullptr, L"", kPlainChildStyle, Design(W - 323, 470, W - 1, 690), this,
                         ID_LIST_PLAY);
}

int CTessalyDlg::GetTextWidth(const std::wstring& text, const std::wstring& face, int size,
                              int weight)
{
    LOGFONTW description = {};
    description.lfHeight = g_DPIScale.Scale(size);
    description.lfWeight = weight;
    description.lfCharSet = BYTE(GetFontValue(L"DEFAULT_UI_CHARSET"));
    wcsncpy(description.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectW(&description);
    const int width = GetTextWidthWithFont(text, font);
    if (font)
        DeleteObject(font);
    return width;
}

int CTessalyDlg::GetTextWidthWithFont(const std::wstring& text, HFONT font)
{
    CDC dc;
    if (!dc.CreateCompatibleDC(nullptr))
        return 0;
    HGDIOBJ previous = font ? dc.SelectObject(font) : nullptr;
    RECT r = {0, 0, 0, 0};
    dc.DrawText(text, &r, DT_CALCRECT | DT_SINGLELINE | DT_LEFT | DT_TOP);
    if (previous)
        dc.SelectObject(previous);
    return r.right - r.left;
}

// ---------------------------------------------------------------------------------------------
// Background and painting

void CTessalyDlg::LoadImages()
{
    LogWrite(L"Tessaly---->LoadImages Start");
    GetNinePatch();
    BuildBackground();
    CClientDC dc(this);
    if (!m_dcGrip.IsCreated()) {
        m_dcGrip.CreateScaled(&dc, 18, 18);
        DrawSkinImage(m_dcGrip, L"ic_expand.png");
    }
    LogWrite(L"Tessaly---->LoadImages End");
}

namespace {

// Blends a surface onto the target with its per-pixel alpha.
void Blend(CDC* target, int x, int y, COffscreenDC& source)
{
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    target->AlphaBlend(x, y, source.GetWidth(), source.GetHeight(), source.GetDC(), 0, 0,
                       source.GetWidth(), source.GetHeight(), blend);
}

}  // namespace

void CTessalyDlg::BuildBackground()
{
    CNinePatch* painter = GetNinePatch();
    CClientDC dc(this);
    const int width = m_rcClient.right - m_rcClient.left;
    const int height = m_rcClient.bottom - m_rcClient.top;
    const int W = DesignWidth();
    const int H = DesignHeight();
    auto S = [](int v) { return g_DPIScale.Scale(v); };

    COffscreenDC whole;
    whole.Create(&dc, width, height);
    painter->Draw(whole, L"bg.9.png");
    m_dcBackground.Release();
    m_dcBackground.Create(&dc, width, height);
    CDC* background = m_dcBackground.GetDC();
    if (!background)
        return;
    background->FillSolidRect(0, 0, width, height, RGB(255, 255, 255));
    Blend(background, 0, 0, whole);

    m_dcGpsPanel.Create(&dc, S(621 + (W - 965)), S(92));
    painter->Draw(m_dcGpsPanel, L"gps_bg.9.png");
    Blend(background, S(8), S(H - 122), m_dcGpsPanel);

    DrawVideoFrames();

    m_dcTitleLeft.Create(&dc, S(W - 323), S(37));
    painter->Draw(m_dcTitleLeft, L"bg_title.9.png");
    Blend(background, S(1), S(71), m_dcTitleLeft);

    if (!m_dcTitleRight.IsCreated()) {
        m_dcTitleRight.CreateScaled(&dc, 322, 37);
        painter->Draw(m_dcTitleRight, L"bg_title_right.9.png");
    }
    Blend(background, S(W - 323), S(71), m_dcTitleRight);
    Blend(background, S(W - 323), S(m_bRearViewShown ? 349 : 108), m_dcTitleRight);
    Blend(background, S(W - 323), S(386), m_dcTitleRight);
    // The shared painter stays: the controls draw with it too. It goes when the dialog closes.
}

void CTessalyDlg::DrawVideoFrames()
{
    CDC* dc = m_dcBackground.GetDC();
    if (!dc)
        return;
    auto S = [](int v) { return g_DPIScale.Scale(v); };
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ previous = dc->SelectObject(pen);
    const RECT& v = m_rcVideo;
    const RECT& s = m_rcSubVideo;
    dc->MoveTo(v.left - S(2), v.top - S(1));
    dc->LineTo(v.left - S(2), v.bottom);
    dc->LineTo(v.right, v.bottom);
    dc->LineTo(v.right, v.top - S(1));
    dc->LineTo(v.left - S(1), v.top - S(1));
    dc->LineTo(v.left - S(1), v.bottom);
    dc->MoveTo(s.left - S(1), s.top - S(1));
    dc->LineTo(s.right, s.top - S(1));
    dc->LineTo(s.right, s.bottom + S(1));
    dc->MoveTo(s.right + S(1), s.bottom + S(1));
    dc->LineTo(s.right + S(1), s.top - S(1) + S(50));
    dc->SelectObject(previous);
    DeleteObject(pen);
}

void CTessalyDlg::OnPaint()
{
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        RECT r;
        GetClientRect(&r);
        const int x = (r.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (r.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, m_hIcon);
        return;
    }
    CPaintDC dc(this);
    DrawClientArea(&dc);
}

HCURSOR CTessalyDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CTessalyDlg::DrawClientArea(CDC* paintDC)
{
    if (!m_bInitDone)
        return;
    const int width = m_rcClient.right - m_rcClient.left;
    const int height = m_rcClient.bottom - m_rcClient.top;
    if (m_bBackgroundDirty && m_dcCompose.IsCreated())
        m_dcCompose.Release();
    if (!m_dcCompose.IsCreated())
        m_dcCompose.Create(paintDC, width, height);
    if (m_bBackgroundDirty) {
        delete m_pComposeBitmap;
        m_pComposeBitmap = nullptr;
    }
    CDC* compose = m_dcCompose.GetDC();
    if (!compose)
        return;
    CBitmap* previous = nullptr;
    if (m_pComposeBitmap) {
        previous = compose->SelectObject(m_pComposeBitmap);
    } else {
        m_pComposeBitmap = new CBitmap();
        m_pComposeBitmap->CreateCompatibleBitmap(paintDC, width, height);
        previous = compose->SelectObject(m_pComposeBitmap);
        DrawBackground(compose);
        DrawSizeGrip(compose);
    }
    paintDC->BitBlt(0, 0, width, height, compose, 0, 0, SRCCOPY);
    if (previous)
        compose->SelectObject(previous);
    m_bBackgroundDirty = 0;
}

void CTessalyDlg::DrawBackground(CDC* dc)
{
    const int width = m_rcClient.right - m_rcClient.left;
    const int height = m_rcClient.bottom - m_rcClient.top;
    if (m_dcBackground.GetWidth() != width || m_dcBackground.GetHeight() != height ||
        m_bBackgroundDirty)
        BuildBackground();
    dc->BitBlt(0, 0, width, height, m_dcBackground.GetDC(), 0, 0, SRCCOPY);
}

void CTessalyDlg::DrawSizeGrip(CDC* dc)
{
    const int size = g_DPIScale.Scale(18);
    Blend(dc, m_rcClient.right - size, m_rcClient.bottom - size, m_dcGrip);
}

// ---------------------------------------------------------------------------------------------
// Relayout

void CTessalyDlg::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    if (!m_dcCompose.IsCreated() || type == SIZE_MINIMIZED)
        return;
    m_rcPrevClient = m_rcClient;
    GetClientRect(&m_rcClient);
    const int W = DesignWidth();
    m_rcMap = {W - 322, 146, W - 2, 386};
    g_DPIScale.ScaleRect(&m_rcMap);
    if (EqualRect(&m_rcPrevClient, &m_rcClient))
        return;
    ArrangeControls();
    ArrangeVideoWnds();
    m_bBackgroundDirty = 1;
    InvalidateRect(nullptr, FALSE);
}

void CTessalyDlg::ArrangeControls()
{
    LogWrite(L"Tessaly---->ArrangeControls START");
    const int dx = (m_rcClient.right - m_rcClient.left) - (m_rcPrevClient.right - m_rcPrevClient.left);
    const int dy = (m_rcClient.bottom - m_rcClient.top) - (m_rcPrevClient.bottom - m_rcPrevClient.top);

    // The transport buttons follow the middle of the width change. Each keeps its own place
    // from its creation place and the whole change since then, so that halving an odd change
    // over several resizes does not let them drift.
    m_nTransportShiftTotal += dx;
    const int transportDx = m_nTransportShiftTotal / 2 - m_nTransportShiftDone;
    m_nTransportShiftDone += transportDx;

    auto move = [&](int id, int mx, int my, BOOL repaint) {
        CWnd* control = GetDlgItem(id);
        if (!control)
            return;
        RECT r;
        control->GetWindowRect(&r);
        ScreenToClient(&r);
        control->MoveWindow(r.left + mx, r.top + my, r.right - r.left, r.bottom - r.top, repaint);
    };
    for (int id = 1001; id <= 1003; ++id)
        move(id, dx, 0, FALSE);
    for (int id = 1300; id <= 1304; ++id)
        move(id, dx, 0, FALSE);
    for (int id = 1151; id <= 1154; ++id)
        move(id, dx, 0, FALSE);
    move(1500, dx, 0, FALSE);
    for (int id = 1251; id <= 1260; ++id)
        move(id, dx, 0, FALSE);
    move(ID_BTN_MAP_EMPTY, dx, 0, TRUE);
    for (int id = 1155; id <= 1162; ++id)
        move(id, 0, dy, FALSE);
    move(ID_SLIDER_SPEED_GAUGE, 0, dy, TRUE);
    move(ID_BTN_SPEED_UNIT, 0, dy, TRUE);
    for (int id = 1100; id <= 1106; ++id)
        move(id, transportDx, dy, FALSE);
    move(ID_STATIC_PARSING, transportDx, dy, FALSE);
    move(ID_STATIC_PARSE_PERCENT, transportDx, dy, FALSE);
    for (int id = 1107; id <= 1111; ++id)
        move(id, dx, dy, FALSE);
    move(ID_STATIC_VERSION, dx, dy, FALSE);
    if (CWnd* model = GetDlgItem(ID_STATIC_MODEL)) {
        RECT r;
        model->GetWindowRect(&r);
        ScreenToClient(&r);
        model->MoveWindow(r.left, r.top + dy, g_DPIScale.Scale(100), r.bottom - r.top, FALSE);
    }
    if (CWnd* list = GetDlgItem(ID_LIST_PLAY)) {
        RECT r;
        list->GetWindowRect(&r);
        ScreenToClient(&r);
        list->MoveWindow(r.left + dx, r.top, r.right - r.left, r.bottom - r.top + dy, FALSE);
    }
    if (CWnd* graph = GetDlgItem(ID_GPSVIEWER)) {
        RECT r;
        graph->GetWindowRect(&r);
        ScreenToClient(&r);
        graph->MoveWindow(r.left, r.top + dy, r.right - r.left + dx, r.bottom - r.top, FALSE);
    }
    LogWrite(L"Tessaly---->ArrangeControls END");
}

void CTessalyDlg::ArrangeVideoWnds()
{
    const int dx = (m_rcClient.right - m_rcClient.left) - (m_rcPrevClient.right - m_rcPrevClient.left);
    const int dy = (m_rcClient.bottom - m_rcClient.top) - (m_rcPrevClient.bottom - m_rcPrevClient.top);
    m_rcVideo.right += dx;
    m_rcVideo.bottom += dy;
    OffsetRect(&m_rcSubVideo, dx, 0);
    if (m_wndVideoMain.m_hWnd)
        m_wndVideoMain.MoveWindow(&m_rcVideo, TRUE);
    if (m_wndVideoSub.m_hWnd)
        m_wndVideoSub.MoveWindow(&m_rcSubVideo, TRUE);
    if (m_wndVideoMain.m_hWnd)
        m_wndVideoMain.UpdateScrollBars();
    m_VideoMgr.ResetSize(1);
    if (m_sliderSeek.m_hWnd)
        m_sliderSeek.MoveWindow(0, m_rcVideo.bottom, m_rcVideo.right - m_rcVideo.left + g_DPIScale.Scale(3),
                                g_DPIScale.Scale(7), TRUE);
}

void CTessalyDlg::GetPopupPos(int id, POINT* pt)
{
    if (!pt)
        return;
    auto S = [](int v) { return g_DPIScale.Scale(v); };
    const int extra = m_rcClient.right - S(965);
    const int height = m_rcClient.bottom;
    const bool full = m_nWindowMode == WINDOW_MODE_FULLSCREEN;
    RECT r = {0, 0, 0, 0};
    if (full && m_wndVideoMain.GetControlBox().m_hWnd)
        m_wndVideoMain.GetControlBox().GetWindowRect(&r);
    POINT client;
    switch (id) {
    case ID_BOX_FILE:
        client = {S(m_rcFileBox.x), S(m_rcFileBox.y)};
        break;
    case ID_BOX_SETTING:
        client = {S(m_rcSettingBox.x), S(m_rcSettingBox.y)};
        break;
    case ID_BOX_SCRSIZE:
        if (full) {
            *pt = {r.left - S(67) / 4 + S(551), r.top - S(102) + S(36)};
            return;
        }
        client = {extra + S(516), height - S(332)};
        break;
    case ID_BOX_SCRSIZE02:
        if (full) {
            *pt = {r.left - S(100) / 4 + S(551), r.top - S(123) + S(36)};
            return;
        }
        client = {extra + S(516), height - S(353)};
        break;
    case ID_BOX_BRISPD:
        if (full) {
            *pt = {r.left - S(151) / 2 + S(551) + S(16), r.top - S(150) + S(36)};
            return;
        }
        client = {extra + S(474), height - S(380)};
        break;
    case ID_BOX_VOL:
        if (full) {
            *pt = {r.left - S(43) / 4 + S(623) + S(6), r.top - S(116) + S(36)};
            return;
        }
        client = {extra + S(599), height - S(346)};
        break;
    default:
        return;
    }
    ClientToScreen(&client);
    *pt = client;
}

// ---------------------------------------------------------------------------------------------
// The right column and the channel labels

void CTessalyDlg::ShowRearView(BOOL show)
{
    const int W = DesignWidth();
    auto S = [](int v) { return g_DPIScale.Scale(v); };
    const BOOL reverse = m_VideoMgr.GetReverseMode();
    if (show) {
        m_bRearViewShown = 1;
        m_wndVideoSub.ShowWindow(SW_SHOW);
        m_btnFolDn.DPIMoveWindow(W - 317, 355, 27, 27);
        m_btnFolUp.DPIMoveWindow(W - 317, 77, 27, 27);
        m_lblMap.DPIMoveWindow(W - 288, 360, 60, 15);
        m_btnFolDn.SetTooltip(GetLangText(L"IDS_STRING_K_064"));
        m_btnFolUp.SetTooltip(GetLangText(reverse ? L"IDS_STRING_K_083" : L"IDS_STRING_K_058"));
        m_bBackgroundDirty = 1;
        RECT r = m_rcSubVideo;
        r.top -= S(37);
        r.bottom += S(74);
        InvalidateRect(&r, TRUE);
        if (m_pWebForm)
            m_pWebForm->MoveWindow(0, 0, 0, 0);
        m_btnMapEmpty.MoveWindow(0, 0, 0, 0, TRUE);
        m_btnMapSearch.ShowWindow(SW_HIDE);
    } else {
        m_bRearViewShown = 0;
        m_wndVideoSub.ShowWindow(SW_HIDE);
        m_btnFolDn.DPIMoveWindow(W - 317, 77, 27, 27);
        m_btnFolUp.DPIMoveWindow(W - 317, 114, 27, 27);
        m_lblMap.DPIMoveWindow(W - 288, 120, 60, 15);
        m_btnFolDn.SetTooltip(GetLangText(reverse ? L"IDS_STRING_K_084" : L"IDS_STRING_K_063"));
        m_btnFolUp.SetTooltip(GetLangText(L"IDS_STRING_K_059"));
        m_rcMap = {W - 322, 146, W - 2, 386};
        g_DPIScale.ScaleRect(&m_rcMap);
        m_bBackgroundDirty = 1;
        RECT r = m_rcSubVideo;
        r.top -= S(37);
        r.bottom += S(37);
        InvalidateRect(&r, TRUE);
        UpdateMapArea(FALSE);
        m_btnMapSearch.ShowWindow(SW_SHOW);
    }
    // The "Rear" label reaches down over where the "Map" label now stands. A label shows the
    // dialog's pixels beneath it, not its siblings': the map's text lies above the rear
    // label's empty part.
    m_lblMap.SetWindowPos(&CWnd::wndTop, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CTessalyDlg::SetReverseView(BOOL reverse)
{
    // Only a real exchange of the pictures fits the zoomed picture to its window again.
    if (!m_VideoMgr.GetReverseMode() == !reverse)
        return;
    if (m_VideoMgr.GetVideoViewSize() != 1.0f)
        m_VideoMgr.SetVideoViewSize(1.0f);
    m_VideoMgr.SetReverseMode(reverse);
    const std::wstring front = GetLangText(L"IDS_STRING_K_018");
    const std::wstring rear = GetLangText(L"IDS_STRING_K_019");
    m_lblFront.SetWindowText((reverse ? rear : front).c_str());
    m_lblRear.SetWindowText((reverse ? front : rear).c_str());
    if (m_bRearViewShown)
        m_btnFolUp.SetTooltip(GetLangText(reverse ? L"IDS_STRING_K_083" : L"IDS_STRING_K_058"));
    else
        m_btnFolDn.SetTooltip(GetLangText(reverse ? L"IDS_STRING_K_084" : L"IDS_STRING_K_063"));
    InvalidateChild(m_lblFront);
    InvalidateChild(m_lblRear);
}

void CTessalyDlg::InvalidateChild(CWnd& child)
{
    if (!child.m_hWnd)
        return;
    RECT r;
    child.GetWindowRect(&r);
    ScreenToClient(&r);
    InvalidateRect(&r, TRUE);
    child.Invalidate(TRUE);
}

void CTessalyDlg::UpdateChannelLabels()
{
    const std::wstring front = GetLangText(L"IDS_STRING_K_018");
    const std::wstring rear = GetLangText(L"IDS_STRING_K_019");
    const BOOL reversed = m_VideoMgr.GetReverseMode();
    if (m_bMP4Mode == 1) {
        if (m_listPlay.IsPlayingSingle() || m_bSinglePlay == 1) {
            m_lblFront.SetWindowText((IsPlayingRearFile() ? rear : front).c_str());
            m_lblRear.SetWindowText(GetLangText(L"IDS_STRING_K_105").c_str());
            m_lblTitle2.ShowWindow(SW_HIDE);
            // The "Video not found." text is longer than the channel name: the label takes the
            // width of the column beside the sub view.
            RECT r;
            m_lblRear.GetWindowRect(&r);
            ScreenToClient(&r);
            const int wide = g_DPIScale.Scale(kChannelLabelWideWidth);
            if (r.right - r.left != wide)
                m_lblRear.MoveWindow(r.left, r.top, wide, r.bottom - r.top, TRUE);
        } else {
            m_lblFront.SetWindowText((reversed ? rear : front).c_str());
            m_lblRear.SetWindowText((reversed ? front : rear).c_str());
            m_lblTitle2.ShowWindow(SW_SHOW);
        }
    } else {
        m_lblFront.SetWindowText((reversed ? rear : front).c_str());
        m_lblRear.SetWindowText((reversed ? front : rear).c_str());
    }
    m_lblFront.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont1), TRUE);
    m_lblRear.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont1), TRUE);
    InvalidateChild(m_lblFront);
    InvalidateChild(m_lblRear);
}

void CTessalyDlg::ClearRearView()
{
    m_lblTitle2.SetText(L"");
    m_VideoMgr.SetupSubRendererSettings();
    if (m_wndVideoSub.m_hWnd)
        m_wndVideoSub.Invalidate(TRUE);
}
