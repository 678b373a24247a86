// The kernel: text and code pages, paths and drives, files, threads and synchronisation,
// modules and resources, the registry and task memory.
//
// Paths are Windows paths ("E:\cont_rec\REC_2018_09_10_12_30_45_F.mp4", either separator);
// the drive table maps them onto the Linux tree (see platform/README.md). Code that hands a
// path to a Linux library converts it with platform::ToNativePath.
#pragma once

#include <string>

#include "platform/base.h"

// ---------------------------------------------------------------------------------------------
// Errors

PLATFORM_API DWORD GetLastError();
PLATFORM_API void SetLastError(DWORD code);

// ---------------------------------------------------------------------------------------------
// Text and code pages
//
// CP_ACP and CP_THREAD_ACP are UTF-8. MultiByteToWideChar maps each byte that is not part of
// valid UTF-8 to U+DC80 + byte and WideCharToMultiByte maps those back, so every byte string
// survives a round trip through wide text.

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

// cbMultiByte / cchWideChar of -1 means "up to and including the terminating zero". An output
// size of 0 asks for the size needed. Returns the number of units written (or needed), 0 on
// failure (GetLastError: ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER,
// ERROR_NO_UNICODE_TRANSLATION with the ERR_INVALID_CHARS flags).
PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                                     LPWSTR wideChar, int cchWideChar);
PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                                     LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                                     LPBOOL usedDefaultChar);

namespace platform {

// Bytes in the system code page to wide text and back (the rules above).
PLATFORM_API std::wstring AnsiToWide(const std::string& bytes);
PLATFORM_API std::string WideToAnsi(const std::wstring& text);

// UTF-16LE bytes (without byte-order mark handling) to wide text: surrogate pairs are joined,
// a lone surrogate survives as that code unit. An odd trailing byte is dropped.
PLATFORM_API std::wstring Utf16LeToWide(const void* data, size_t bytes);
// Wide text to UTF-16LE bytes: characters above U+FFFF become surrogate pairs, lone
// surrogates are written as they are.
PLATFORM_API std::string WideToUtf16Le(const std::wstring& text);

}  // namespace platform

// ---------------------------------------------------------------------------------------------
// Paths and drives

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

// Writes "C:\", "E:\", ... each followed by a zero, then a final zero. Returns the length
// written without the final zero, or the buffer size needed when the buffer is too small.
PLATFORM_API DWORD GetLogicalDriveStringsW(DWORD bufferLength, LPWSTR buffer);
// root: "E:\" (or "E:"); null means the current drive.
PLATFORM_API UINT GetDriveTypeW(LPCWSTR rootPathName);
PLATFORM_API BOOL GetDiskFreeSpaceW(LPCWSTR rootPathName, LPDWORD sectorsPerCluster,
                                    LPDWORD bytesPerSector, LPDWORD numberOfFreeClusters,
                                    LPDWORD totalNumberOfClusters);
// Any folder on the volume (null: the current folder). Free bytes for the caller are those an
// unprivileged user may take (statvfs f_bavail); the total free bytes include the reserve.
PLATFORM_API BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName,
                                      PULARGE_INTEGER freeBytesAvailableToCaller,
                                      PULARGE_INTEGER totalNumberOfBytes,
                                      PULARGE_INTEGER totalNumberOfFreeBytes);

namespace platform {

// A Windows path (either separator, absolute with a drive, rooted "\x", or relative to the
// current directory) to the Linux path it names. Each component that does not exist with its
// exact name resolves to an existing entry that differs only in letter case; components that
// exist in neither form are kept as written (so a new file can be created).
PLATFORM_API std::string ToNativePath(const std::wstring& windowsPath);

// A Linux path (absolute or relative to the current directory) in Windows form: under a
// removable drive's folder it becomes "E:\...", otherwise "C:\..." for the root.
PLATFORM_API std::wstring ToWindowsPath(const std::string& nativePath);

// Rebuilds the drive table from the mounted volumes and PLATFORM_REMOVABLE_DRIVES. The table
// is built on first use; the shell's media notifications call this when mounts change.
PLATFORM_API void RefreshDriveTable();

}  // namespace platform

// ---------------------------------------------------------------------------------------------
// Files

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

// Share modes are accepted and not enforced. Returns INVALID_HANDLE_VALUE on failure.
PLATFORM_API HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                                DWORD flagsAndAttributes, HANDLE templateFile);
PLATFORM_API BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                           LPVOID overlapped);
PLATFORM_API BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                            LPVOID overlapped);
PLATFORM_API BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
PLATFORM_API BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                                   DWORD moveMethod);
PLATFORM_API BOOL FlushFileBuffers(HANDLE file);
// Closes any kernel handle: files, events, mutexes, threads.
PLATFORM_API BOOL CloseHandle(HANDLE object);

// Patterns: wildcards "*" and "?" in the last component only, matched without regard to case
// ("*.mp4" finds "A.MP4"). "." and ".." are listed for "*" as Windows lists them.
PLATFORM_API HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
PLATFORM_API BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData);
PLATFORM_API BOOL FindClose(HANDLE findFile);

PLATFORM_API BOOL PathFileExistsW(LPCWSTR path);
PLATFORM_API DWORD GetFileAttributesW(LPCWSTR fileName);

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 } GET_FILEEX_INFO_LEVELS;
typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;
// The attributes, times and size (0 for a folder) of one file or folder, as a listing reports
// them, without listing its folder. Wildcards fail with ERROR_INVALID_NAME.
PLATFORM_API BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel,
                                       LPVOID fileInformation);
PLATFORM_API BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
PLATFORM_API BOOL DeleteFileW(LPCWSTR fileName);

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
// Renames a file or folder within one volume; a reader of the new name sees either the old
// file or the whole new one. Without MOVEFILE_REPLACE_EXISTING an existing target fails with
// ERROR_ALREADY_EXISTS; a folder is never replaced (ERROR_ACCESS_DENIED). With
// MOVEFILE_WRITE_THROUGH the file's data and the rename are on disk when it returns. Other
// flags and a null new name fail with ERROR_INVALID_PARAMETER.
PLATFORM_API BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);

// File times. The local time zone is TZ's (read afresh on each call). As on Windows, a file
// time becomes local with the zone's offset in force now, daylight saving included, whatever
// the offset was at that time. Fails (ERROR_INVALID_PARAMETER) for values of 2^63 and above
// and for results outside 0 .. 2^63 - 1.
PLATFORM_API BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, LPFILETIME localFileTime);
// Calendar fields of the proleptic Gregorian calendar, day of the week 0 for Sunday.
PLATFORM_API BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);

// The module's file in Windows form; null means the program. Truncates to size - 1 characters
// plus a zero and sets ERROR_INSUFFICIENT_BUFFER when the buffer is too small. Returns the
// number of characters written without the zero.
PLATFORM_API DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// ---------------------------------------------------------------------------------------------
// Threads and synchronisation

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

// The thread handle is signalled when the thread function returns; its exit code is the
// function's result.
PLATFORM_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES threadAttributes, SIZE_T stackSize,
                                 LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                                 DWORD creationFlags, LPDWORD threadId);
PLATFORM_API BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
PLATFORM_API DWORD GetCurrentThreadId();
PLATFORM_API DWORD GetCurrentProcessId();

// Waits on a thread or an event handle created here; other handles give WAIT_FAILED.
PLATFORM_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// Events: a name makes the event shared within the process; a second CreateEventW of the same
// name returns a handle to the same event and sets ERROR_ALREADY_EXISTS.
PLATFORM_API HANDLE CreateEventW(LPSECURITY_ATTRIBUTES eventAttributes, BOOL manualReset,
                                 BOOL initialState, LPCWSTR name);
PLATFORM_API BOOL SetEvent(HANDLE event);
PLATFORM_API BOOL ResetEvent(HANDLE event);

// A named mutex is real across the processes of one user: when any process (this one
// included) holds a handle to the name, CreateMutexW returns a handle and sets
// ERROR_ALREADY_EXISTS. Initial ownership is not offered; bInitialOwner must be FALSE.
PLATFORM_API HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES mutexAttributes, BOOL initialOwner,
                                 LPCWSTR name);

// Recursive within a thread.
typedef struct _CRITICAL_SECTION {
    void* impl;
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;
PLATFORM_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
PLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION section);
PLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION section);
PLATFORM_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
PLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION section);

PLATFORM_API void Sleep(DWORD milliseconds);
// Milliseconds of a monotonic clock; wraps at 2^32.
PLATFORM_API DWORD GetTickCount();
PLATFORM_API ULONGLONG GetTickCount64();

// number x numerator / denominator, computed in 64 bits and rounded to the nearest integer,
// halves away from zero; -1 when the denominator is 0 or the result does not fit in an int.
inline int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0) return -1;
    long long product = static_cast<long long>(number) * numerator;
    bool negative = (product < 0) != (denominator < 0);
    unsigned long long magnitude = product < 0 ? 0ull - static_cast<unsigned long long>(product)
                                               : static_cast<unsigned long long>(product);
    unsigned long long divisor = denominator < 0 ? 0ull - static_cast<unsigned long long>(
                                                              static_cast<long long>(denominator))
                                                 : static_cast<unsigned long long>(denominator);
    unsigned long long quotient = (magnitude + divisor / 2) / divisor;
    if (quotient > (negative ? 2147483648ull : 2147483647ull)) return -1;
    return negative ? static_cast<int>(0ll - static_cast<long long>(quotient))
                    : static_cast<int>(quotient);
}

// ---------------------------------------------------------------------------------------------
// Modules and resources
//
// Every module (the program, each library) carries a resource table generated at build time
// by kv_add_resources (cmake/KvResources.cmake). Type and name are strings, compared without
// regard to case, or MAKEINTRESOURCE ids.

// A bare name looks in the program's folder first, then the usual dlopen search. Loading a
// module already loaded returns the same handle and counts one more reference. The system's
// "user32.dll" is the layer's own library (libplatform), loaded already.
PLATFORM_API HMODULE LoadLibraryW(LPCWSTR fileName);
// null: the program. A name finds a loaded module by its file name without regard to case;
// "user32.dll" finds the layer's library.
PLATFORM_API HMODULE GetModuleHandleW(LPCWSTR moduleName);
typedef void (*FARPROC)();
PLATFORM_API FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
PLATFORM_API BOOL FreeLibrary(HMODULE module);

PLATFORM_API HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
PLATFORM_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
PLATFORM_API LPVOID LockResource(HGLOBAL resourceData);
PLATFORM_API DWORD SizeofResource(HMODULE module, HRSRC resource);

// Version blocks: the VS_VERSIONINFO resource of a module file, in Windows' binary layout
// (UTF-16 keys and strings), with the fixed part at "\" and strings at
// "\StringFileInfo\<lang><codepage>\<key>" (for instance "\StringFileInfo\040904b0\FileVersion").
typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

PLATFORM_API DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
PLATFORM_API BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
// String values come back as pointers to wide (wchar_t) text inside the block's own copy, with
// *length in characters including the zero; "\" gives a VS_FIXEDFILEINFO.
PLATFORM_API BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);

// ---------------------------------------------------------------------------------------------
// Registry
//
// A file-backed store, one text file per hive under $XDG_CONFIG_HOME/kvplatform/ (or
// $PLATFORM_HOME), rewritten atomically under a lock and read afresh, so values are shared
// between processes. Key names compare without regard to case; value names too.

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

#ifndef DELETE
#define DELETE 0x00010000L
#endif
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

typedef DWORD REGSAM;
typedef LONG LSTATUS;

// String values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are held as wide characters: their data
// sizes count bytes of WCHAR, terminating zeros included, as the caller passed them.
PLATFORM_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                     DWORD options, REGSAM samDesired,
                                     LPSECURITY_ATTRIBUTES securityAttributes, PHKEY result,
                                     LPDWORD disposition);
PLATFORM_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM samDesired,
                                   PHKEY result);
PLATFORM_API LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                      LPBYTE data, LPDWORD cbData);
PLATFORM_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD cbData);
PLATFORM_API LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Deletes a key's values and sub-keys, all levels down. With a sub-key name that key goes too
// (ERROR_FILE_NOT_FOUND when there is none) and its parent stays; without one (null or empty)
// the key stays, emptied. The key must be open with DELETE, KEY_ENUMERATE_SUB_KEYS and
// KEY_QUERY_VALUE, and with KEY_SET_VALUE too when it is to be emptied of values
// (ERROR_ACCESS_DENIED); open handles to deleted keys then fail with ERROR_KEY_DELETED.
PLATFORM_API LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey);
PLATFORM_API LSTATUS RegCloseKey(HKEY key);

// ---------------------------------------------------------------------------------------------
// Task memory

PLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T size);
PLATFORM_API void CoTaskMemFree(LPVOID memory);


// ---------------------------------------------------------------------------------------------
// Debug output

// Hands a text to the debugger. There is no debugger here: the text is kept in a bounded
// process-wide list that tests read (platform/testing.h), and written to standard error when
// PLATFORM_DEBUG_OUTPUT is set.
PLATFORM_API void OutputDebugStringW(LPCWSTR text);
PLATFORM_API void OutputDebugStringA(LPCSTR text);

// ---------------------------------------------------------------------------------------------
// Private-profile files

// Reads one value of an ini file (fileName in the system code page, a full path): the value of
// keyName in section appName, else defaultValue (null: empty) without its trailing blanks.
// The text is cut to size - 1 bytes and always ends with a zero; returns the bytes copied
// without it. Null names (listing sections or keys) fail with ERROR_INVALID_PARAMETER.
PLATFORM_API DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                                            LPSTR returnedString, DWORD size, LPCSTR fileName);
