// Windows paths onto the Linux tree and back.
//
// A Windows path is made absolute first (drive, then components with "." and ".." applied, as
// Windows does it on text), then walked from the drive's folder one component at a time. Names
// are converted with the system code page, so the byte escapes of odd Linux names lead back to
// the very same bytes.
#include "paths.h"

#include <dirent.h>
#include <errno.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "drives.h"

namespace platform {
namespace {

// The locale whose case tables fold names; null when the system has no UTF-8 locale, in which
// case only ASCII letters fold.
locale_t CaseLocale()
{
    static locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        if (!l)
            l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", locale_t(0));
        return l;
    }();
    return locale;
}

bool IsSeparator(WCHAR c)
{
    return c == L'\\' || c == L'/';
}

bool IsAsciiLetter(WCHAR c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

WCHAR UpperAscii(WCHAR c)
{
    return (c >= L'a' && c <= L'z') ? WCHAR(c - L'a' + L'A') : c;
}

// Characters that no Windows file name may hold. "?" and "*" are the wildcards.
bool IsForbiddenInName(WCHAR c, bool allowWildcards)
{
    if (c >= 0 && c < 0x20)
        return true;
    switch (c) {
        case L'<':
        case L'>':
        case L':':
        case L'"':
        case L'|':
            return true;
        case L'?':
        case L'*':
            return !allowWildcards;
        default:
            return false;
    }
}

std::string CurrentNativeDirectory()
{
    std::vector<char> buffer(PATH_MAX);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return "/";  // the current folder was removed
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string JoinNative(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// An absolute Windows path split into its drive and components.
struct WindowsParts {
    WCHAR drive = L'C';
    std::vector<std::wstring> components;
};

// The Windows form of an absolute, normalised Linux path.
WindowsParts PartsOfNativePath(const std::string& absolute)
{
    WindowsParts parts;
    std::string rest;
    Drive drive = DriveOfNativePath(absolute, &rest);
    parts.drive = drive.letter;
    size_t start = 0;
    while (start < rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos)
            end = rest.size();
        if (end > start)
            parts.components.push_back(AnsiToWide(rest.substr(start, end - start)));
        start = end + 1;
    }
    return parts;
}

// The drive folder that holds `absolute` when only its real path (links resolved) lies on a
// removable drive, for paths that reach a card through a link.
bool RealPathOnRemovableDrive(const std::string& absolute, WindowsParts* parts)
{
    std::unique_ptr<char, decltype(&std::free)> real(realpath(absolute.c_str(), nullptr),
                                                     &std::free);
    if (!real || absolute == real.get())
        return false;
    std::string rest;
    if (DriveOfNativePath(real.get(), &rest).type != DRIVE_REMOVABLE)
        return false;
    *parts = PartsOfNativePath(real.get());
    return true;
}

WindowsParts CurrentDirectoryParts()
{
    return PartsOfNativePath(CurrentNativeDirectory());
}

// Looks in `folder` for an entry whose name equals `name` without regard to case. When several
// do (a case-sensitive file system), the one first in byte order wins, so the choice is stable.
bool FindNameNoCase(const std::string& folder, const std::wstring& name, std::string* found)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    bool any = false;
    while (dirent* entry = readdir(dir)) {
        std::string candidate = entry->d_name;
        if (candidate == "." || candidate == "..")
            continue;
        if (!EqualNoCase(AnsiToWide(candidate), name))
            continue;
        if (!any || candidate < *found)
            *found = candidate;
        any = true;
    }
    closedir(dir);
    return any;
}

}  // namespace

WCHAR FoldCase(WCHAR c)
{
    if (c < 0x80)
        return UpperAscii(c);
    if (c > 0x10FFFF)
        return c;
    locale_t locale = CaseLocale();
    return locale ? static_cast<WCHAR>(towupper_l(static_cast<wint_t>(c), locale)) : c;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

std::string NormalizeNativePath(const std::string& path)
{
    std::string full =
        (!path.empty() && path[0] == '/') ? path : JoinNative(CurrentNativeDirectory(), path);
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('/', start);
        if (end == std::string::npos)
            end = full.size();
        std::string piece = full.substr(start, end - start);
        if (piece == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!piece.empty() && piece != ".") {
            components.push_back(piece);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& piece : components)
        result += "/" + piece;
    return result.empty() ? "/" : result;
}

DWORD ResolvePath(const std::wstring& text, unsigned flags, ResolvedPath* out)
{
    *out = ResolvedPath();
    // A path ends at its first zero, as every Windows call that takes it sees it.
    const std::wstring windowsPath = text.substr(0, text.find(L'\0'));
    if (windowsPath.empty())
        return ERROR_PATH_NOT_FOUND;
    if (windowsPath.size() >= 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1])) {
        return ERROR_BAD_PATHNAME;
    }

    // Make the path absolute: a drive letter and the components that follow its root.
    WindowsParts parts;
    std::wstring rest;
    if (windowsPath.size() >= 2 && windowsPath[1] == L':' && IsAsciiLetter(windowsPath[0])) {
        parts.drive = UpperAscii(windowsPath[0]);
        rest = windowsPath.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) {
            // Drive-relative: from the current directory when it lies on that drive, else from
            // the drive's root (this layer keeps no per-drive current directories).
            WindowsParts current = CurrentDirectoryParts();
            if (current.drive == parts.drive)
                parts = current;
        }
    } else if (IsSeparator(windowsPath[0])) {
        parts.drive = CurrentDirectoryParts().drive;
        rest = windowsPath;
    } else {
        parts = CurrentDirectoryParts();
        rest = windowsPath;
    }
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end]))
            ++end;
        std::wstring piece = rest.substr(start, end - start);
        if (piece == L"..") {
            if (!parts.components.empty())
                parts.components.pop_back();
        } else if (!piece.empty() && piece != L".") {
            parts.components.push_back(piece);
        }
        start = end + 1;
    }
    out->trailingSeparator = !rest.empty() && IsSeparator(rest.back()) && !parts.components.empty();

    if (flags & kCheckNames) {
        for (size_t i = 0; i < parts.components.size(); ++i) {
            bool last = i + 1 == parts.components.size();
            bool wildcards = last && (flags & kWildcardsInLastName);
            for (WCHAR c : parts.components[i]) {
                if (IsForbiddenInName(c, wildcards))
                    return ERROR_INVALID_NAME;
            }
        }
    }

    Drive drive;
    if (!FindDrive(parts.drive, &drive))
        return ERROR_PATH_NOT_FOUND;

    // Walk from the drive's folder, resolving each component's letter case while the entries
    // exist.
    std::string current = drive.folder;
    bool missing = false;
    for (size_t i = 0; i < parts.components.size(); ++i) {
        if (i + 1 == parts.components.size()) {
            out->parent = current;
            out->parentIsRoot = i == 0;
            out->lastName = parts.components[i];
        }
        std::string written = WideToAnsi(parts.components[i]);
        std::string candidate = JoinNative(current, written);
        bool pattern = i + 1 == parts.components.size() && (flags & kWildcardsInLastName) &&
                       parts.components[i].find_first_of(L"*?") != std::wstring::npos;
        if (!missing && !pattern) {
            struct stat st;
            if (lstat(candidate.c_str(), &st) == 0) {
                current = candidate;
                continue;
            }
            std::string found;
            if (errno == ENOENT && FindNameNoCase(current, parts.components[i], &found)) {
                current = JoinNative(current, found);
                continue;
            }
            missing = true;
        }
        current = candidate;
    }
    if (parts.components.empty()) {
        out->root = true;
        out->parent = drive.folder;
        out->parentIsRoot = true;
    }
    out->native = current;
    if (out->trailingSeparator)
        out->native += "/";
    return ERROR_SUCCESS;
}

DWORD Win32ErrorFromErrno(int error)
{
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ELOOP:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_INVALID_NAME;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case EIO:
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM:
            return ERROR_NOT_READY;  // a card pulled out or a failing medium
        default:
            return ERROR_INVALID_FUNCTION;
    }
}

DWORD MissingEntryError(const std::string& nativePath)
{
    std::string path = nativePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    size_t slash = path.rfind('/');
    std::string parent =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    struct stat st;
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

std::string ToNativePath(const std::wstring& windowsPath)
{
    ResolvedPath resolved;
    if (ResolvePath(windowsPath, 0, &resolved) != ERROR_SUCCESS)
        return std::string();
    return resolved.native;
}

std::wstring ToWindowsPath(const std::string& nativePath)
{
    std::string path = nativePath.substr(0, nativePath.find('\0'));
    if (path.empty())
        return std::wstring();
    std::string absolute = NormalizeNativePath(path);
    WindowsParts parts = PartsOfNativePath(absolute);
    if (parts.drive == L'C')
        RealPathOnRemovableDrive(absolute, &parts);
    std::wstring result;
    result.push_back(parts.drive);
    result += L":\\";
    for (size_t i = 0; i < parts.components.size(); ++i) {
        if (i)
            result.push_back(L'\\');
        result += parts.components[i];
    }
    return result;
}

}  // namespace platform
