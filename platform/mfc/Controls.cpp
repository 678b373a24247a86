// CButton and CEdit: objects over the system's "Button" and "Edit" windows.
#include "platform/mfc.h"

namespace {

BOOL CreateControl(CWnd& control, LPCWSTR className, LPCWSTR text, DWORD style, const RECT& rect,
                   CWnd* parent, UINT id)
{
    if (!parent || !parent->m_hWnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return control.CreateEx(0, className, text, style | WS_CHILD, rect, parent, id);
}

}  // namespace

CButton::CButton() = default;

CButton::~CButton() = default;

BOOL CButton::Create(LPCWSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(*this, L"Button", caption, style, rect, parent, id);
}

CEdit::CEdit() = default;

CEdit::~CEdit() = default;

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateControl(*this, L"Edit", L"", style, rect, parent, id);
}

void CEdit::SetSel(int start, int end, BOOL)
{
    SendMessage(EM_SETSEL, WPARAM(INT_PTR(start)), LPARAM(end));
}

void CEdit::GetSel(int& start, int& end) const
{
    DWORD from = 0, to = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    start = int(from);
    end = int(to);
}

void CEdit::ReplaceSel(LPCWSTR text, BOOL canUndo)
{
    SendMessage(EM_REPLACESEL, WPARAM(canUndo), reinterpret_cast<LPARAM>(text));
}

BOOL CEdit::SetReadOnly(BOOL readOnly)
{
    return BOOL(SendMessage(EM_SETREADONLY, WPARAM(readOnly), 0));
}

void CEdit::SetLimitText(UINT count) { SendMessage(EM_LIMITTEXT, WPARAM(count), 0); }
