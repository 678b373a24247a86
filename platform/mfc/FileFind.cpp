// CFileFind over the kernel's FindFirstFileW and FindNextFileW.
#include <cstring>

#include "FullPath.h"
#include "platform/mfc.h"

CFileFind::CFileFind() : m_hContext(INVALID_HANDLE_VALUE), m_bFound(FALSE), m_bHasNext(FALSE)
{
    std::memset(&m_found, 0, sizeof(m_found));
    std::memset(&m_next, 0, sizeof(m_next));
}

CFileFind::~CFileFind()
{
    Close();
}

BOOL CFileFind::FindFile(LPCWSTR name, DWORD unused)
{
    Close();
    std::wstring pattern = name ? name : L"*.*";
    HANDLE context = FindFirstFileW(pattern.c_str(), &m_next);
    if (context == INVALID_HANDLE_VALUE)
        return FALSE;
    m_hContext = context;
    m_bHasNext = TRUE;

    std::wstring full = platform::mfc::FullPath(pattern);
    size_t cut = full.find_last_of(L"\\/");
    if (cut == std::wstring::npos) {
        m_strRoot.clear();
    } else {
        // A drive's root keeps its separator: "E:\".
        m_strRoot = full.substr(0, cut == 2 && full[1] == L':' ? cut + 1 : cut);
    }
    return TRUE;
}

BOOL CFileFind::FindNextFile()
{
    if (m_hContext == INVALID_HANDLE_VALUE || !m_bHasNext)
        return FALSE;
    m_found = m_next;
    m_bFound = TRUE;
    m_bHasNext = ::FindNextFileW(m_hContext, &m_next) ? TRUE : FALSE;
    return m_bHasNext;
}

void CFileFind::Close()
{
    if (m_hContext != INVALID_HANDLE_VALUE)
        FindClose(m_hContext);
    m_hContext = INVALID_HANDLE_VALUE;
    m_bFound = FALSE;
    m_bHasNext = FALSE;
    m_strRoot.clear();
}

ULONGLONG CFileFind::GetLength() const
{
    return (ULONGLONG(m_found.nFileSizeHigh) << 32) | m_found.nFileSizeLow;
}

std::wstring CFileFind::GetFileName() const
{
    return m_bFound ? std::wstring(m_found.cFileName) : std::wstring();
}

std::wstring CFileFind::GetFilePath() const
{
    std::wstring path = m_strRoot;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path.push_back(L'\\');
    return path + GetFileName();
}

std::wstring CFileFind::GetRoot() const
{
    return m_strRoot;
}

BOOL CFileFind::IsDirectory() const
{
    return m_bFound && (m_found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? TRUE : FALSE;
}

BOOL CFileFind::IsDots() const
{
    if (!m_bFound)
        return FALSE;
    const WCHAR* n = m_found.cFileName;
    return (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) ? TRUE : FALSE;
}
