// A dialog of the system's controls, as the small dialogs of the viewer are made: fields and
// buttons bound to objects, stacked in the template's order, clicked through the mouse, in the
// colours the dialog answers.
#include <string>
#include <utility>
#include <vector>

#include "framework.h"

using namespace mfctest;
using platform::testing::InjectClick;

namespace {

constexpr UINT kControls = 204;
constexpr UINT_PTR kFallbackTimer = 1;
constexpr int kFallback = 999;

class ControlsDialog : public CDialog {
public:
    ControlsDialog() : CDialog(kControls) {}

    CEdit m_version;
    CButton m_update;
    std::vector<std::pair<int, int>> commands;  // (id, code)
    std::vector<int> stack;                     // the children's ids, front to back
    bool bound = false;
    uint32_t fieldBackground = 0;
    bool orangeText = false;
    int selectionStart = -1, selectionEnd = -1;
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));

protected:
    void DoDataExchange(CDataExchange* exchange) override
    {
        DDX_Control(exchange, 1006, m_version);
        DDX_Control(exchange, 1007, m_update);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_version.SetWindowText(L"1.0.0.02");
        SetTimer(kFallbackTimer, 10);
        platform::testing::AdvanceClock(10);
        PostMessage(WM_USER);
        return TRUE;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_USER)
            Look();
        return CDialog::WindowProc(message, wParam, lParam);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands.push_back({LOWORD(wParam), HIWORD(wParam)});
        if (LOWORD(wParam) == 1007)
            Click(IDOK);
        return CDialog::OnCommand(wParam, lParam);
    }
    void OnTimer(UINT_PTR id) override
    {
        if (id == kFallbackTimer) {
            KillTimer(id);
            EndDialog(kFallback);
        }
    }
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type) override
    {
        HBRUSH base = CDialog::OnCtlColor(dc, control, type);
        if (type == CTLCOLOR_STATIC && control && control->GetDlgCtrlID() == 1006) {
            dc->SetTextColor(RGB(255, 153, 0));
            return white;
        }
        return base;
    }

private:
    void Click(int id)
    {
        CRect place;
        GetDlgItem(id)->GetWindowRect(&place);
        CPoint centre = place.CenterPoint();
        InjectClick(centre.x, centre.y);
    }
    void Look()
    {
        bound = m_version.m_hWnd == ::GetDlgItem(m_hWnd, 1006) &&
                m_update.m_hWnd == ::GetDlgItem(m_hWnd, 1007) && m_update.GetDlgCtrlID() == 1007;
        for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT))
            stack.push_back(::GetDlgCtrlID(child));
        m_version.SetSel(0, -1);
        m_version.GetSel(selectionStart, selectionEnd);
        m_version.SetSel(-1, 0);
        m_version.UpdateWindow();
        Pixels field = Read(m_version.m_hWnd);
        fieldBackground = field.At(1, 1);
        for (uint32_t v : field.data)
            orangeText |= ((v >> 16) & 0xFF) > 0xE0 && ((v >> 8) & 0xFF) > 0x70 &&
                          ((v >> 8) & 0xFF) < 0xC0 && (v & 0xFF) < 0x60;
        // The update button lies inside the second group box, which is behind it.
        Click(1007);
    }
};

TEST(MfcControls, ADialogOfFieldsAndButtonsIsBoundStackedAndClicked)
{
    PinTestFont();
    platform::testing::UseManualClock();
    ControlsDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(dialog.bound);

    // Front to back in the template's order: the group boxes at the back.
    EXPECT_EQ(dialog.stack, (std::vector<int>{1004, 1006, 1007, IDOK, 65535, 65535}));

    // The field told of its new text; the update button was clicked, then OK, which ended
    // the dialog.
    std::vector<std::pair<int, int>> expected = {
        {1006, EN_CHANGE}, {1007, BN_CLICKED}, {IDOK, BN_CLICKED}};
    EXPECT_EQ(dialog.commands, expected);

    EXPECT_EQ(dialog.selectionStart, 0);
    EXPECT_EQ(dialog.selectionEnd, 8);
    // The read-only field is drawn in the colours the dialog answers for statics.
    EXPECT_EQ(dialog.fieldBackground, 0xFFFFFFu);
    EXPECT_TRUE(dialog.orangeText);
    platform::testing::PinFontFile("");
}

TEST(MfcControls, ControlsMadeInCodeTakeTheirClassesAndParent)
{
    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), L"Parent", WS_POPUP | WS_VISIBLE, 0, 0,
                                200, 100, nullptr, nullptr));
    CButton button;
    CEdit edit;
    ASSERT_TRUE(button.Create(L"Go", BS_PUSHBUTTON | WS_VISIBLE, CRect(5, 5, 60, 30), &parent, 11));
    ASSERT_TRUE(edit.Create(ES_AUTOHSCROLL | WS_VISIBLE | WS_BORDER, CRect(70, 5, 190, 30), &parent,
                            12));
    EXPECT_TRUE(button.GetStyle() & WS_CHILD);
    button.UpdateWindow();
    EXPECT_EQ(Read(button.m_hWnd).At(5, 5), 0xE1E1E1u) << "a push button's face";
    EXPECT_EQ(edit.GetParent(), &parent);
    edit.ReplaceSel(L"typed");
    EXPECT_TRUE(edit.SetReadOnly());
    edit.SetLimitText(2);
    EXPECT_EQ(edit.SendMessage(EM_GETLIMITTEXT), 2);
    edit.ReplaceSel(L"more");  // the limit holds for replacing too
    std::wstring text;
    edit.GetWindowText(text);
    EXPECT_EQ(text, L"typed");
    // Without a parent window there is nothing to put a control in.
    CButton orphan;
    EXPECT_FALSE(orphan.Create(L"x", 0, CRect(0, 0, 1, 1), nullptr, 1));
    parent.DestroyWindow();
}

}  // namespace
