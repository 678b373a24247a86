// CFile over the kernel's file handles, and the static file status.
#include <algorithm>
#include <cwchar>

#include "FullPath.h"
#include "platform/mfc.h"

const HANDLE CFile::hFileNull = INVALID_HANDLE_VALUE;

namespace {

// Seconds since 1970 of a file time (100 ns since 1601).
time_t ToUnixTime(const FILETIME& time)
{
    constexpr LONGLONG kUnixEpoch = 116444736000000000LL;
    LONGLONG ticks =
        static_cast<LONGLONG>((ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return static_cast<time_t>((ticks - kUnixEpoch) / 10000000LL);
}

}  // namespace

CFile::CFile() : m_hFile(hFileNull) {}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException* error)
{
    if (error) {
        error->m_cause = CFileException::none;
        error->m_lOsError = -1;
        error->m_strFileName = fileName ? fileName : L"";
    }
    if (m_hFile != hFileNull || !fileName) {
        if (error) {
            error->m_cause = CFileException::genericException;
            if (!fileName)
                error->m_lOsError = ERROR_INVALID_PARAMETER;
        }
        return FALSE;
    }

    DWORD access;
    switch (openFlags & 0x3) {
        case modeRead:
            access = GENERIC_READ;
            break;
        case modeWrite:
            access = GENERIC_WRITE;
            break;
        case modeReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
        default:
            if (error) {
                error->m_cause = CFileException::genericException;
                error->m_lOsError = ERROR_INVALID_PARAMETER;
            }
            return FALSE;
    }
    DWORD share;
    switch (openFlags & 0x70) {
        case shareDenyWrite:
            share = FILE_SHARE_READ;
            break;
        case shareDenyRead:
            share = FILE_SHARE_WRITE;
            break;
        case shareDenyNone:
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
        default:  // shareCompat, shareExclusive
            share = 0;
            break;
    }
    DWORD creation = OPEN_EXISTING;
    if (openFlags & modeCreate)
        creation = (openFlags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    DWORD flags = FILE_ATTRIBUTE_NORMAL;
    if (openFlags & osRandomAccess)
        flags |= FILE_FLAG_RANDOM_ACCESS;
    if (openFlags & osSequentialScan)
        flags |= FILE_FLAG_SEQUENTIAL_SCAN;

    HANDLE handle = CreateFileW(fileName, access, share, nullptr, creation, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        if (error) {
            DWORD code = GetLastError();
            error->m_lOsError = static_cast<LONG>(code);
            error->m_cause = CFileException::OsErrorToException(static_cast<LONG>(code));
        }
        return FALSE;
    }
    m_hFile = handle;
    m_strFileName = fileName;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE,
                              m_strFileName.c_str());
    if (count == 0)
        return 0;
    DWORD done = 0;
    if (!ReadFile(m_hFile, buffer, count, &done, nullptr))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE,
                              m_strFileName.c_str());
    if (count == 0)
        return;
    DWORD done = 0;
    if (!WriteFile(m_hFile, buffer, count, &done, nullptr))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    if (done < count)
        AfxThrowFileException(CFileException::diskFull, ERROR_DISK_FULL, m_strFileName.c_str());
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from)
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE,
                              m_strFileName.c_str());
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    position.QuadPart = 0;
    if (!SetFilePointerEx(m_hFile, distance, &position, from))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetPosition() const
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE,
                              m_strFileName.c_str());
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER position;
    position.QuadPart = 0;
    if (!SetFilePointerEx(m_hFile, zero, &position, FILE_CURRENT))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    return static_cast<ULONGLONG>(position.QuadPart);
}

ULONGLONG CFile::GetLength() const
{
    if (m_hFile == hFileNull)
        AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE,
                              m_strFileName.c_str());
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (!GetFileSizeEx(m_hFile, &size))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), m_strFileName.c_str());
    return static_cast<ULONGLONG>(size.QuadPart);
}

void CFile::Close()
{
    if (m_hFile == hFileNull)
        return;
    HANDLE handle = m_hFile;
    m_hFile = hFileNull;
    std::wstring name = std::move(m_strFileName);
    m_strFileName.clear();
    if (!CloseHandle(handle))
        CFileException::ThrowOsError(static_cast<LONG>(GetLastError()), name.c_str());
}

void CFile::Abort()
{
    if (m_hFile == hFileNull)
        return;
    CloseHandle(m_hFile);
    m_hFile = hFileNull;
    m_strFileName.clear();
}

BOOL CFile::GetStatus(LPCWSTR fileName, CFileStatus& status)
{
    if (!fileName || !*fileName || std::wcspbrk(fileName, L"*?"))
        return FALSE;
    std::wstring full = platform::mfc::FullPath(fileName);
    if (full.empty())
        return FALSE;

    // The entry's own status: its folder is not listed (a scan of a folder asks for the
    // status of every file in it).
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(fileName, GetFileExInfoStandard, &data))
        return FALSE;
    status.m_ctime = CTime(ToUnixTime(data.ftCreationTime));
    status.m_mtime = CTime(ToUnixTime(data.ftLastWriteTime));
    status.m_atime = CTime(ToUnixTime(data.ftLastAccessTime));
    status.m_size = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.m_attribute = static_cast<BYTE>(data.dwFileAttributes & 0xFF);
    size_t count = std::min(full.size(), size_t(MAX_PATH - 1));
    std::wmemcpy(status.m_szFullName, full.data(), count);
    status.m_szFullName[count] = 0;
    return TRUE;
}
