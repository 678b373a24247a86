// Windows paths onto the Linux tree, for every file call of the layer.
#pragma once

#include <string>

#include <sys/stat.h>

#include "platform/kernel.h"

namespace platform {

// The character used when comparing names without regard to case: Unicode simple upper-case
// mapping, as Windows' file systems compare names.
WCHAR FoldCase(WCHAR c);
bool EqualNoCase(const std::wstring& a, const std::wstring& b);

// An absolute Linux path with "." and ".." applied and doubled or trailing separators removed;
// a relative path is taken from the current directory. Text only: links are not followed.
std::string NormalizeNativePath(const std::string& path);

// What ResolvePath made of a Windows path.
struct ResolvedPath {
    std::string native;         // the Linux path; ends with "/" when the Windows path ended
                                // with a separator (so that a file named so fails to open)
    std::string parent;         // the Linux folder that holds the last component
    std::wstring lastName;      // the last component as written; empty for a drive's root
    bool root = false;          // the path names a drive's root
    bool parentIsRoot = false;  // the last component lies directly in a drive's root
    bool trailingSeparator = false;
};

// Resolving for the file calls: characters that Windows forbids in names (control characters,
// < > : " | ? *) make the path invalid, except "?" and "*" in the last component when
// kWildcardsInLastName is given.
constexpr unsigned kCheckNames = 1;
constexpr unsigned kWildcardsInLastName = 2;

// Resolves a Windows path (either separator; "E:\x", drive-relative "E:x", rooted "\x" on the
// current drive, or relative to the current directory). Each component that does not exist with
// its exact name resolves to an existing entry that differs only in letter case; a component
// found in neither form, and everything after it, is kept as written. Returns ERROR_SUCCESS or
// the code a file call reports: ERROR_PATH_NOT_FOUND (empty path, unknown drive),
// ERROR_BAD_PATHNAME (network paths, which this layer does not reach), ERROR_INVALID_NAME.
DWORD ResolvePath(const std::wstring& windowsPath, unsigned flags, ResolvedPath* out);

// The Win32 error code for an errno value of a failed file operation.
DWORD Win32ErrorFromErrno(int error);

// The code for a Linux path that does not exist: ERROR_FILE_NOT_FOUND when the folder that
// should hold it exists, else ERROR_PATH_NOT_FOUND.
DWORD MissingEntryError(const std::string& nativePath);

// The code for a failed open, create or stat of `nativePath` with errno `error`.
DWORD PathError(int error, const std::string& nativePath);

// An entry as the file calls report it. Times are 100 ns since 1601-01-01 UTC, clamped at 0 for
// times before then. A file without its owner's write permission is read-only, as a FAT volume
// shows a file with the read-only attribute; a folder carries only FILE_ATTRIBUTE_DIRECTORY.
FILETIME ToFileTime(const struct timespec& time);
bool IsReadOnly(const struct stat& st);
DWORD AttributesOf(const struct stat& st);

}  // namespace platform
