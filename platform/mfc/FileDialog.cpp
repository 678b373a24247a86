#include <algorithm>
#include <cwchar>

#include "platform/mfc.h"

CFileDialog::CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension, LPCWSTR fileName,
                         DWORD flags, LPCWSTR filter, CWnd* parent, DWORD, BOOL)
    : CDialog(UINT(0), parent), m_ofn(), m_bOpenFileDialog(openFileDialog)
{
    m_ofn.lStructSize = sizeof(OPENFILENAMEW);
    m_ofn.Flags = flags | OFN_EXPLORER;
    m_fileBuffer.assign((flags & OFN_ALLOWMULTISELECT) ? 32768 : MAX_PATH, L'\0');
    if (fileName) {
        size_t n = std::min(std::wcslen(fileName), m_fileBuffer.size() - 1);
        std::wmemcpy(m_fileBuffer.data(), fileName, n);
    }
    m_ofn.lpstrFile = m_fileBuffer.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_fileBuffer.size());
    if (defaultExtension) {
        m_strDefExt = defaultExtension;
        m_ofn.lpstrDefExt = m_strDefExt.c_str();
    }
    if (filter) {
        m_strFilter = filter;
        for (WCHAR& c : m_strFilter) {
            if (c == L'|')
                c = L'\0';
        }
        m_strFilter.push_back(L'\0');  // a filter without its final "||" still ends
        m_ofn.lpstrFilter = m_strFilter.c_str();
        m_ofn.nFilterIndex = 1;
    }
}

CFileDialog::~CFileDialog() = default;

INT_PTR CFileDialog::DoModal()
{
    CWnd* owner = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    m_ofn.hwndOwner = owner ? owner->GetSafeHwnd() : nullptr;
    m_paths.clear();
    BOOL chosen = m_bOpenFileDialog ? GetOpenFileNameW(&m_ofn) : GetSaveFileNameW(&m_ofn);
    if (!chosen)
        return IDCANCEL;
    const WCHAR* text = m_ofn.lpstrFile;
    std::wstring first = text;
    const WCHAR* next = text + first.size() + 1;
    if ((m_ofn.Flags & OFN_ALLOWMULTISELECT) && *next && m_ofn.nFileOffset > first.size()) {
        // The folder, then the names.
        std::wstring folder = first;
        if (!folder.empty() && folder.back() != L'\\')
            folder.push_back(L'\\');
        while (*next) {
            std::wstring name = next;
            m_paths.push_back(folder + name);
            next += name.size() + 1;
        }
    } else {
        m_paths.push_back(first);
    }
    return IDOK;
}

std::wstring CFileDialog::GetPathName() const
{
    return m_paths.empty() ? std::wstring() : m_paths.front();
}

std::wstring CFileDialog::GetFileName() const
{
    std::wstring path = GetPathName();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring CFileDialog::GetFileTitle() const
{
    std::wstring name = GetFileName();
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring CFileDialog::GetFileExt() const
{
    std::wstring name = GetFileName();
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot + 1);
}

POSITION CFileDialog::GetStartPosition() const
{
    // A position is the index of the next path, plus one.
    return m_paths.empty() ? nullptr : reinterpret_cast<POSITION>(uintptr_t(1));
}

std::wstring CFileDialog::GetNextPathName(POSITION& position) const
{
    size_t index = reinterpret_cast<uintptr_t>(position);
    if (index == 0 || index > m_paths.size()) {
        position = nullptr;
        return std::wstring();
    }
    position = index < m_paths.size() ? reinterpret_cast<POSITION>(uintptr_t(index + 1)) : nullptr;
    return m_paths[index - 1];
}
