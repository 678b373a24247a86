// The main dialog's live language switch: captions, menus, labels and their fonts.
#include "app/TessalyDlg.h"

#include "ui/DPIScale.h"
#include "ui/DebugLog.h"
#include "ui/Settings.h"

namespace {

CRButtonText Caption(const std::wstring& text, COLORREF normal, COLORREF disabled, COLORREF over,
                     COLORREF pressed, LPCWSTR sizeKey, int align)
{
    return {text, normal, disabled, over, pressed, GetFontValue(sizeKey), align};
}

}  // namespace

void CTessalyDlg::ReloadButtonTexts()
{
    const std::wstring file = GetLangText(L"IDS_STRING_K_001");
    const std::wstring setting = GetLangText(L"IDS_STRING_K_003");
    const int size = GetFontValue(L"TEXTSIZE_TESSALY_BTN");

    m_rcFileBtn.width = g_DPIScale.Unscale(GetTextWidth(file, GetUIFaceName(), size, 400)) + 35;
    m_rcFileBtn.x = GetMenuValue(L"PO_BTN_FILE_X");
    m_rcFileBtn.y = GetMenuValue(L"PO_BTN_FILE_Y");
    m_rcFileBtn.height = GetMenuValue(L"SIZE_BTN_FILE_HEIGHT");
    m_btnFile.DPIMoveWindow(m_rcFileBtn.x, m_rcFileBtn.y, m_rcFileBtn.width, m_rcFileBtn.height);

    m_rcSettingBtn.width =
        g_DPIScale.Unscale(GetTextWidth(setting, GetUIFaceName(), size, 400)) + 35;
    m_rcSettingBtn.x = m_rcFileBtn.x + m_rcFileBtn.width + GetMenuValue(L"PO_BTN_SETTING_X");
    m_rcSettingBtn.y = GetMenuValue(L"PO_BTN_SETTING_Y");
    m_rcSettingBtn.height = GetMenuValue(L"SIZE_BTN_SETTING_HEIGHT");
    m_btnSetting.DPIMoveWindow(m_rcSettingBtn.x, m_rcSettingBtn.y, m_rcSettingBtn.width,
                               m_rcSettingBtn.height);

    const BOOL reverse = m_VideoMgr.GetReverseMode();
    if (m_bRearViewShown) {
        m_btnFolDn.SetTooltip(GetLangText(L"IDS_STRING_K_064"));
        m_btnFolUp.SetTooltip(GetLangText(reverse ? L"IDS_STRING_K_083" : L"IDS_STRING_K_058"));
    } else {
        m_btnFolDn.SetTooltip(GetLangText(reverse ? L"IDS_STRING_K_084" : L"IDS_STRING_K_063"));
        m_btnFolUp.SetTooltip(GetLangText(L"IDS_STRING_K_059"));
    }
    m_btnMapSearch.SetTooltip(GetLangText(L"IDS_STRING_K_060"));
    m_btnChange.SetTooltip(GetLangText(L"IDS_STRING_K_052"));
    m_btnExpand.SetTooltip(GetLangText(L"IDS_STRING_K_051"));
    m_btnSize.SetTooltip(GetLangText(L"IDS_STRING_K_053"));
    m_btnScrSetting.SetTooltip(GetLangText(L"IDS_STRING_K_054"));
    m_btnSave.SetTooltip(GetLangText(L"IDS_STRING_K_055"));
    m_btnVolume.SetTooltip(GetLangText(L"IDS_STRING_K_057"));
    m_btnVideoConnect.SetTooltip(GetLangText(L"IDS_STRING_K_081"));

    m_btnFile.SetCaption(file);
    SetButtonImages9(m_btnFile, L"btn_menu",
                     Caption(file, 0xBCA98C, 0x474440, 0xFFFFFF, 0xFFFFFF,
                             L"TEXTSIZE_TESSALY_BTN", 1));
    m_btnFile.Redraw();
    m_btnSetting.SetCaption(setting);
    SetButtonImages9(m_btnSetting, L"btn_menu",
                     Caption(setting, 0xBCA98C, 0x474440, 0xFFFFFF, 0xFFFFFF,
                             L"TEXTSIZE_TESSALY_BTN", 1));
    m_btnSetting.Redraw();

    struct Tab {
        CRButton* button;
        const WCHAR* base;
        const WCHAR* key;
        bool sub;
        bool caption;
    };
    const Tab tabs[] = {
        {&m_btnListNormal, L"list_menu01", L"IDS_STRING_K_038", false, true},
        {&m_btnListParking, L"list_menu02", L"IDS_STRING_K_039", false, true},
        {&m_btnListManual, L"list_menu02", L"IDS_STRING_K_040", false, true},
        {&m_btnListPosition, L"list_menu01", L"IDS_STRING_K_041", false, true},
        {&m_btnListRecNormal, L"list_sub_menu01", L"IDS_STRING_K_042", true, true},
        {&m_btnListNorShock, L"list_sub_menu02", L"IDS_STRING_K_043", true, true},
        {&m_btnListParkMotion, L"list_sub_menu01", L"IDS_STRING_K_044", true, true},
        {&m_btnListParkShock, L"list_sub_menu02", L"IDS_STRING_K_045", true, true},
        {&m_btnListFileSize, L"list_sub_menu02", L"IDS_STRING_K_103", true, false},
        {&m_btnListFileName, L"list_sub_menu01", L"IDS_STRING_K_102", true, false},
    };
    for (const Tab& tab : tabs) {
        const std::wstring text = GetLangText(tab.key);
        const CRButtonText record =
            tab.sub ? Caption(text, 0xB19477, 0x474440, 0xDAB692, 0xCBB7A3,
                              L"TEXTSIZE_TESSALY_LIST_BTN", 1)
                    : Caption(text, 0xB19477, 0x474440, 0xDAB692, 0xFFFFFF,
                              L"TEXTSIZE_TESSALY_LIST_BTN", 1);
        SetButtonImages9(*tab.button, tab.base, record);
        if (tab.caption)
            tab.button->SetCaption(text);
        tab.button->Redraw();
    }
}

void CTessalyDlg::ReloadMenuTexts()
{
    m_rcFileBox = {m_rcFileBtn.x - 4, m_rcFileBtn.y + m_rcFileBtn.height + 4,
                   GetMenuValue(L"SIZE_BOX_FILE_WIDTH"), GetMenuValue(L"SIZE_BOX_FILE_HEIGHT")};
    m_boxFile.DPISetWindowPos(nullptr, m_rcFileBox.x, m_rcFileBox.y, m_rcFileBox.width,
                              m_rcFileBox.height, SWP_NOZORDER | SWP_NOACTIVATE);
    m_boxFile.ResetHover();

    m_rcSettingBox = {m_rcSettingBtn.x - 4, m_rcSettingBtn.y + m_rcSettingBtn.height + 4,
                      GetMenuValue(L"SIZE_BOX_SETTING_WIDTH"),
                      GetMenuValue(L"SIZE_BOX_SETTING_HEIGHT")};
    m_boxSetting.SetWidth(m_rcSettingBox.width);
    m_boxSetting.CalcHeight();
    m_boxSetting.DPISetWindowPos(nullptr, m_rcSettingBox.x, m_rcSettingBox.y,
                                 m_rcSettingBox.width, m_rcSettingBox.height,
                                 SWP_NOZORDER | SWP_NOACTIVATE);
    m_boxSetting.ResetHover();

    m_szLangBox = {GetMenuValue(L"SIZE_BOX_SETTING_LANG_WIDTH"),
                   GetMenuValue(L"SIZE_BOX_SETTING_LANG_HEIGHT")};
    m_szUnitBox = {GetMenuValue(L"SIZE_BOX_SETTING_UNIT_WIDTH"),
                   GetMenuValue(L"SIZE_BOX_SETTING_UNIT_HEIGHT")};
    m_boxLang.DPISetWindowPos(nullptr, 0, 0, m_szLangBox.width, m_szLangBox.height,
                              SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_boxUnit.DPISetWindowPos(nullptr, 0, 0, m_szUnitBox.width, m_szUnitBox.height,
                              SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    m_boxFile.SetItemText(ID_BTN_FILE_OPEN, GetLangText(L"IDS_STRING_K_004"),
                          GetLangText(L"IDS_STRING_K_005"));
    m_boxFile.SetItemText(ID_BTN_FILE_OTHER_SAVE, GetLangText(L"IDS_STRING_K_008"),
                          GetLangText(L"IDS_STRING_K_009"));
    m_boxFile.SetItemText(ID_BTN_FILE_CLOSE, GetLangText(L"IDS_STRING_K_010"),
                          GetLangText(L"IDS_STRING_K_011"));
    m_boxFile.ResetFont();

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
        m_boxLang.SetItemText(language.id, GetLangText(language.key), L"");
    m_boxLang.ResetFont();

    m_boxUnit.SetItemText(ID_BOX_UNIT_KMH, GetLangText(L"IDS_STRING_K_096"), L"");
    m_boxUnit.SetItemText(ID_BOX_UNIT_MPH, GetLangText(L"IDS_STRING_K_097"), L"");
    m_boxUnit.ResetFont();

    m_boxSetting.SetItemText(ID_BOX_SETTING_DASHCAM, GetLangText(L"IDS_STRING_K_015"), L"");
    m_boxSetting.SetItemText(ID_BOX_SETTING_VIEW, GetLangText(L"IDS_STRING_K_016"), L"");
    m_boxSetting.SetItemText(ID_BOX_SETTING_LANG, GetLangText(L"IDS_STRING_K_017"), L"");
    m_boxSetting.SetItemText(ID_BOX_SETTING_UNIT, GetLangText(L"IDS_STRING_K_095"), L"");
    m_boxSetting.SetItemText(ID_BOX_SETTING_PLAY, GetLangText(L"IDS_STRING_K_104"), L"");
    m_boxSetting.ResetFont();

    // The same key as at creation, so the item reads the same whichever way it got its text.
    m_boxScrSize02.SetItemText(ID_BOX_SCRSIZE_ORIGINAL, GetLangText(kOriginalSizeKey), L"");
    m_boxScrSize02.ResetFont();
}

void CTessalyDlg::ReloadLabelTexts()
{
    HFONT oldFont1 = m_hFont1;
    HFONT oldFont2 = m_hFont2;
    HFONT oldFont3 = m_hFont3;
    HFONT oldFont4 = m_hFont4;
    const int H = DesignHeight();

    m_hFont1 = MakeFont1();
    m_hFont3 = MakeFont3();
    m_hFont2 = MakeFont2();
    m_hFont4 = MakeFont4();

    UpdateChannelLabels();
    m_lblMap.SetWindowText(GetLangText(L"IDS_STRING_K_020").c_str());
    m_lblMap.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont1), TRUE);
    m_lblPlaylist.SetWindowText(GetLangText(L"IDS_STRING_K_021").c_str());
    m_lblPlaylist.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont1), TRUE);

    // Every label that drew with a previous font gets the new one, so that the previous fonts
    // can go.
    for (CRStatic* label : {&m_lblPlayTime, &m_lblTotalTime, &m_lblVersion})
        label->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_hFont2), TRUE);
    const struct {
        CRStaticText* label;
        COLORREF colour;
    } values[] = {{&m_lblGX, 0x3DED6B}, {&m_lblGY, 0x2E37F3}, {&m_lblGZ, 0xFDBB53}};
    for (const auto& value : values) {
        const CRButtonText record = {value.label->GetText(), value.colour, value.colour,
                                     0xFFFFFF, 0xFFFFFF, 13, 0};
        value.label->SetBackground(L"", m_hFont2, m_dcBackground.GetDC(), &record);
    }

    const CRButtonText model = {m_lblModel.GetText(), 0xD7C7B6, 0xD7C7B6, 0xFFFFFF, 0xFFFFFF,
                                13, 0};
    m_lblModel.SetBackground(L"", m_hFont3, m_dcBackground.GetDC(), &model);

    const std::wstring loading = GetLangText(L"IDS_STRING_K_088");
    const CRButtonText parsing = {loading, 0xD7C7B6, 0xD7C7B6, 0xFFFFFF, 0xFFFFFF, 12, 0};
    m_lblParsing.SetBackground(L"", m_hFont3, m_dcBackground.GetDC(), &parsing);
    const int w = g_DPIScale.Unscale(GetTextWidthWithFont(loading, m_hFont3)) + 10;
    const CRButtonText percent = {FormatText(L"%d%%", int(m_nParsePercent)), 0x00BAFF, 0x00BAFF,
                                  0xFFFFFF, 0xFFFFFF, 12, 0};
    m_lblParsePercent.SetBackground(L"", m_hFont3, m_dcBackground.GetDC(), &percent);
    RECT parsingPlace;
    m_lblParsing.GetWindowRect(&parsingPlace);
    ScreenToClient(&parsingPlace);
    m_lblParsePercent.DPIMoveWindow(g_DPIScale.Unscale(parsingPlace.left) + w, H - 16, 30, 18);

    // The title labels take the new title font and keep their texts.
    const int state = m_VideoMgr.GetState();
    const bool open = state == STATE_PLAY || state == STATE_PAUSE;
    for (CRStaticText* title : {&m_lblTitle1, &m_lblTitle2}) {
        const std::wstring text = open ? title->GetText() : GetLangText(L"IDS_STRING_K_105");
        const CRButtonText record = {text, 0xEBA83F, 0xEBA83F, 0xFFFFFF, 0xFFFFFF,
                                     GetFontValue(L"TEXTSIZE_TESSALY_4"), 0};
        title->SetBackground(L"bg_text.9.png", m_hFont4, m_dcBackground.GetDC(), &record);
    }

    for (HFONT font : {oldFont1, oldFont2, oldFont3, oldFont4})
        if (font)
            DeleteObject(font);
}
