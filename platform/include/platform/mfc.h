// The application framework, the part our code calls, in the static library `mfc`. The
// standard library stands in for the framework's strings and containers: std::wstring where
// the framework has CString.
#pragma once

#include <ctime>
#include <string>

#include "platform/kernel.h"

// ---------------------------------------------------------------------------------------------
// Exceptions, files and file search
//
// Framework exceptions are thrown as pointers to objects on the heap (`throw new
// CFileException(...)`, or AfxThrowFileException); the handler that catches one owns it and
// ends its life with Delete(). They never cross a thread, a COM call or a filter boundary:
// whoever calls a throwing function on a thread catches there.

class CException {
public:
    // An exception made by `new` deletes itself in Delete().
    CException();
    // autoDelete FALSE: the object lives elsewhere (on the stack, say) and Delete() leaves it.
    explicit CException(BOOL autoDelete);
    virtual ~CException();

    // Ends a caught exception's life: deletes the object when it was created to delete itself.
    void Delete();

protected:
    BOOL m_bAutoDelete;
};

class CFileException : public CException {
public:
    // Causes, in the framework's order.
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    // osError -1 means none is known.
    explicit CFileException(int cause = none, LONG osError = -1, LPCWSTR fileName = nullptr);

    // The cause for a Win32 error code (GetLastError); genericException for codes without
    // one of their own.
    static int OsErrorToException(LONG osError);
    // Throws a new CFileException with the cause of osError; nothing when osError is 0.
    static void ThrowOsError(LONG osError, LPCWSTR fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    std::wstring m_strFileName;
};

// Throws a new CFileException.
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCWSTR fileName = nullptr);

// A moment as seconds since 1970-01-01 00:00 UTC.
class CTime {
public:
    CTime() : m_time(0) {}
    explicit CTime(time_t time) : m_time(time) {}
    time_t GetTime() const { return m_time; }

private:
    time_t m_time;
};

struct CFileStatus {
    CTime m_ctime;     // creation (Linux keeps none on every file system: the last write)
    CTime m_mtime;     // last write
    CTime m_atime;     // last access
    ULONGLONG m_size;  // bytes; 0 for a folder
    BYTE m_attribute;  // the low byte of the FILE_ATTRIBUTE_ flags
    WCHAR m_szFullName[MAX_PATH];  // the absolute path, cut to MAX_PATH - 1 characters
};

// A file opened through the kernel's file calls. Every failure of an open file's operations
// throws a CFileException*; reading at or past the end is not a failure.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        // Text translation belongs to derived classes; a CFile reads and writes bytes either
        // way.
        typeText = 0x4000,
        typeBinary = 0x8000,
        osRandomAccess = 0x40000,
        osSequentialScan = 0x80000,
    };
    enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

    // The value of m_hFile while no file is open.
    static const HANDLE hFileNull;

    CFile();
    // Closes an open file; errors of that close are not reported.
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens the file; FALSE on failure, with *error (when given) describing it: the cause, the
    // Win32 error and the file name. Share modes are passed on (this platform does not enforce
    // them). An object that holds an open file already refuses (genericException).
    virtual BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);
    // Reads up to count bytes at the file position and returns how many it read: fewer than
    // count only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    // Moves the file position (a position past the end is allowed, one before the start is a
    // badSeek) and returns the new position from the start.
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    // Closes the file; closing an object without a file does nothing.
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();

    // Fills status for the file or folder at fileName without opening it. FALSE when it does
    // not exist or cannot be read, and for names with wildcards.
    static BOOL GetStatus(LPCWSTR fileName, CFileStatus& status);

    HANDLE m_hFile;

protected:
    std::wstring m_strFileName;
};

// Lists the entries of a folder that match a pattern. FindFile starts the search; each
// FindNextFile call then makes the next entry the current one, and returns FALSE when that
// entry is the last one (the entry is still current and may be read). The getters describe the
// current entry and may be called only after a FindNextFile.
class CFileFind {
public:
    CFileFind();
    virtual ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search for the pattern (null: "*.*" in the current folder). A search already
    // going is closed first. FALSE when nothing matches or the folder cannot be read.
    virtual BOOL FindFile(LPCWSTR name = nullptr, DWORD unused = 0);
    virtual BOOL FindNextFile();
    void Close();

    ULONGLONG GetLength() const;
    std::wstring GetFileName() const;
    // The folder of the search followed by a backslash (unless it ends with one) and the name.
    std::wstring GetFilePath() const;
    // The folder of the search: the pattern's folder, made absolute when it was relative,
    // without a final backslash unless it is a drive's root.
    std::wstring GetRoot() const;
    BOOL IsDirectory() const;
    // The entry is "." or "..".
    BOOL IsDots() const;

private:
    HANDLE m_hContext;
    WIN32_FIND_DATAW m_found;  // the current entry; valid once m_bFound is set
    WIN32_FIND_DATAW m_next;   // the entry that the next FindNextFile makes current
    BOOL m_bFound;
    BOOL m_bHasNext;
    std::wstring m_strRoot;
};
