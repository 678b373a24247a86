// Files: handles over Linux file descriptors, directory listings with Windows patterns, and
// the path calls, with Windows' error codes.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

#include "handle.h"
#include "paths.h"

namespace platform {

DWORD PathError(int error, const std::string& native)
{
    if (error == ENOENT)
        return MissingEntryError(native);
    return Win32ErrorFromErrno(error);
}

FILETIME ToFileTime(const struct timespec& time)
{
    // 100 ns intervals between 1601-01-01 and 1970-01-01.
    constexpr int64_t kUnixEpoch = 116444736000000000LL;
    int64_t value = kUnixEpoch + int64_t(time.tv_sec) * 10000000LL + time.tv_nsec / 100;
    if (value < 0)
        value = 0;
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(uint64_t(value) & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(uint64_t(value) >> 32);
    return result;
}

bool IsReadOnly(const struct stat& st)
{
    return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR);
}

DWORD AttributesOf(const struct stat& st)
{
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnly(st))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

namespace {

// An open file. The descriptor belongs to the object and is closed with it.
class FileObject : public KernelObject {
public:
    FileObject(int fd, bool canRead, bool canWrite)
        : m_fd(fd), m_canRead(canRead), m_canWrite(canWrite)
    {
    }
    ~FileObject() override { close(m_fd); }

    const int m_fd;
    const bool m_canRead;   // opened with GENERIC_READ (or GENERIC_ALL)
    const bool m_canWrite;  // opened with GENERIC_WRITE (or GENERIC_ALL)
    // Held across each call that reads, writes or moves the file position, so that a call made
    // of several system calls moves the position as one step when threads share the handle.
    std::mutex m_lock;
};

// One entry of a listing, as much as WIN32_FIND_DATAW reports of it.
struct ListedEntry {
    std::wstring name;
    struct stat st;
};

// A directory listing taken whole when the search starts; FindNextFileW hands it out entry by
// entry.
class FindObject : public KernelObject {
public:
    explicit FindObject(std::vector<ListedEntry> entries) : m_entries(std::move(entries)) {}

    std::mutex m_lock;
    const std::vector<ListedEntry> m_entries;
    size_t m_next = 1;  // guarded by `m_lock`; entry 0 went out with FindFirstFileW
};

// Fails a call: sets the error and returns `result`.
template <class T>
T Fail(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

// Windows' pattern matching of a name, without regard to case: "*" matches any run of
// characters; "?" one character, or nothing at the end of the name or before a dot; a "*" that
// a dot follows stops before the name's last dot; a dot that a wildcard or the pattern's end
// follows also matches the end of a name without one. So "*.*" matches every name, "*." the
// names without an extension, and "*.mp4" finds "A.MP4".
class Pattern {
public:
    explicit Pattern(const std::wstring& text)
    {
        for (size_t i = 0; i < text.size(); ++i) {
            WCHAR c = text[i];
            WCHAR next = i + 1 < text.size() ? text[i + 1] : 0;
            if (c == L'*') {
                m_tokens.push_back({next == L'.' ? Kind::StarBeforeDot : Kind::Star, 0});
            } else if (c == L'?') {
                m_tokens.push_back({Kind::Question, 0});
            } else if (c == L'.' && (next == 0 || next == L'*' || next == L'?')) {
                m_tokens.push_back({Kind::Dot, 0});
            } else {
                m_tokens.push_back({Kind::Literal, FoldCase(c)});
            }
        }
    }

    bool Matches(const std::wstring& name) const
    {
        std::wstring folded;
        folded.reserve(name.size());
        for (WCHAR c : name)
            folded.push_back(FoldCase(c));
        size_t lastDot = folded.rfind(L'.');
        // reach[i][j]: tokens from i on match the name from j on; filled from the end.
        size_t tokens = m_tokens.size(), length = folded.size();
        std::vector<char> reach((tokens + 1) * (length + 1), 0);
        auto at = [&](size_t i, size_t j) -> char& { return reach[i * (length + 1) + j]; };
        at(tokens, length) = 1;
        for (size_t i = tokens; i-- > 0;) {
            const Token& token = m_tokens[i];
            for (size_t j = length + 1; j-- > 0;) {
                bool match = false;
                switch (token.kind) {
                    case Kind::Literal:
                        match = j < length && folded[j] == token.c && at(i + 1, j + 1);
                        break;
                    case Kind::Star:
                        match = at(i + 1, j) || (j < length && at(i, j + 1));
                        break;
                    case Kind::StarBeforeDot: {
                        // May take characters up to, not across, the name's last dot.
                        bool mayTake = j < length && j != lastDot;
                        match = at(i + 1, j) || (mayTake && at(i, j + 1));
                        break;
                    }
                    case Kind::Question:
                        if (j < length && folded[j] != L'.') {
                            match = at(i + 1, j + 1);
                        } else {
                            size_t after = i;
                            while (after < tokens && m_tokens[after].kind == Kind::Question)
                                ++after;
                            match = at(after, j);
                        }
                        break;
                    case Kind::Dot:
                        match = (j < length && folded[j] == L'.' && at(i + 1, j + 1)) ||
                                (j == length && at(i + 1, j));
                        break;
                }
                at(i, j) = match;
            }
        }
        return at(0, 0);
    }

private:
    enum class Kind { Literal, Star, StarBeforeDot, Question, Dot };
    struct Token {
        Kind kind;
        WCHAR c;  // folded; for Literal only
    };
    std::vector<Token> m_tokens;
};

void FillFindData(const ListedEntry& entry, WIN32_FIND_DATAW* data)
{
    const struct stat& st = entry.st;
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = AttributesOf(st);
    // Linux keeps no creation time that every file system offers; the last write stands in.
    data->ftCreationTime = ToFileTime(st.st_mtim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    size_t count = std::min(entry.name.size(), size_t(MAX_PATH - 1));
    std::wmemcpy(data->cFileName, entry.name.data(), count);
}

// Orders a listing: "." and ".." first, then names compared without regard to case (ties by
// their exact text), so that a listing is stable whatever order the file system keeps.
bool ListedBefore(const ListedEntry& a, const ListedEntry& b)
{
    auto rank = [](const std::wstring& name) { return name == L"." ? 0 : name == L".." ? 1 : 2; };
    if (rank(a.name) != rank(b.name))
        return rank(a.name) < rank(b.name);
    size_t common = std::min(a.name.size(), b.name.size());
    for (size_t i = 0; i < common; ++i) {
        WCHAR x = FoldCase(a.name[i]), y = FoldCase(b.name[i]);
        if (x != y)
            return x < y;
    }
    if (a.name.size() != b.name.size())
        return a.name.size() < b.name.size();
    return a.name < b.name;
}

bool ReadAll(int fd, void* buffer, size_t size, size_t* done)
{
    char* p = static_cast<char*>(buffer);
    *done = 0;
    while (*done < size) {
        ssize_t n = read(fd, p + *done, size - *done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        *done += size_t(n);
    }
    return true;
}

bool WriteAll(int fd, const void* buffer, size_t size, size_t* done)
{
    const char* p = static_cast<const char*>(buffer);
    *done = 0;
    while (*done < size) {
        ssize_t n = write(fd, p + *done, size - *done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        *done += size_t(n);
    }
    return true;
}

// Resolves a path argument of a file call; false (with the error set) when it is unusable.
bool ResolveArgument(LPCWSTR path, unsigned flags, ResolvedPath* resolved)
{
    if (!path)
        return Fail(ERROR_INVALID_PARAMETER, false);
    DWORD error = ResolvePath(path, flags | kCheckNames, resolved);
    if (error != ERROR_SUCCESS)
        return Fail(error, false);
    return true;
}

// Opens `native` with `flags`, never blocking on special files; -1 with errno on failure.
int OpenNative(const std::string& native, int flags)
{
    int fd;
    do {
        fd = open(native.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Copies `source` into the new file `target` and flushes it; errno on failure.
bool CopyContents(int source, int target)
{
    std::vector<char> buffer(1 << 20);
    for (;;) {
        size_t got;
        if (!ReadAll(source, buffer.data(), buffer.size(), &got))
            return false;
        if (got == 0)
            break;
        size_t put;
        if (!WriteAll(target, buffer.data(), got, &put))
            return false;
    }
    return fsync(target) == 0;
}

// Moves the finished copy onto its name. Without `replace`, an existing target stays and the
// move fails with EEXIST, decided atomically where the file system allows it.
bool PlaceCopy(const std::string& temporary, const std::string& target, bool replace)
{
    if (replace)
        return rename(temporary.c_str(), target.c_str()) == 0;
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (link(temporary.c_str(), target.c_str()) == 0) {
        unlink(temporary.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    // Neither is offered here: check, then rename.
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(temporary.c_str(), target.c_str()) == 0;
}

}  // namespace
}  // namespace platform

using platform::Fail;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile)
{
    platform::ResolvedPath resolved;
    if (!platform::ResolveArgument(fileName, 0, &resolved))
        return INVALID_HANDLE_VALUE;
    bool canRead = desiredAccess & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE);
    bool canWrite = desiredAccess & (GENERIC_WRITE | GENERIC_ALL);
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING ||
        (creationDisposition == TRUNCATE_EXISTING && !canWrite)) {
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    if (resolved.root)
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

    bool truncates =
        creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING;
    bool creates = creationDisposition != OPEN_EXISTING && creationDisposition != TRUNCATE_EXISTING;
    int mode;
    if (canWrite || truncates) {
        // CREATE_ALWAYS truncates even for a reader; the handle still refuses writes.
        mode = canRead || !canWrite ? O_RDWR : O_WRONLY;
    } else if (canRead || creates) {
        mode = O_RDONLY;
    } else {
        mode = O_PATH;  // no data access: the handle serves size queries only
    }

    const std::string& native = resolved.native;
    // A read-only file opens for reading only and is never truncated, whatever the caller's
    // privileges, as Windows treats the read-only attribute.
    struct stat before;
    if ((canWrite || truncates) && stat(native.c_str(), &before) == 0 && S_ISREG(before.st_mode) &&
        platform::IsReadOnly(before) && creationDisposition != CREATE_NEW) {
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    int fd = -1;
    bool existed = false;
    switch (creationDisposition) {
        case CREATE_NEW:
            fd = platform::OpenNative(native, mode | O_CREAT | O_EXCL);
            break;
        case OPEN_EXISTING:
            fd = platform::OpenNative(native, mode);
            existed = true;
            break;
        case TRUNCATE_EXISTING:
            fd = platform::OpenNative(native, mode | O_TRUNC);
            existed = true;
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS:
            // Open what exists, else create; repeated when another process creates or removes the
            // file in between, so that "existed" is what this call found.
            for (int attempt = 0; attempt < 16; ++attempt) {
                fd = platform::OpenNative(native, mode | (truncates ? O_TRUNC : 0));
                if (fd >= 0) {
                    existed = true;
                    break;
                }
                if (errno != ENOENT)
                    break;
                fd = platform::OpenNative(native, mode | O_CREAT | O_EXCL);
                if (fd >= 0 || errno != EEXIST)
                    break;
            }
            break;
    }
    if (fd < 0) {
        int error = errno;
        if (error == EEXIST && creationDisposition == CREATE_NEW) {
            return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
        }
        return Fail(platform::PathError(error, native), INVALID_HANDLE_VALUE);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Folders open only with backup semantics, which this layer does not offer; devices and
        // pipes are not files a caller of this layer reads.
        close(fd);
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    if (mode != O_PATH)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    HANDLE handle =
        platform::NewHandle(std::make_shared<platform::FileObject>(fd, canRead, canWrite));
    bool reportsExisting =
        creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPVOID overlapped)
{
    if (bytesRead)
        *bytesRead = 0;
    if (overlapped)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);  // no overlapped I/O here
    auto object = platform::HandleAs<platform::FileObject>(file);
    if (!object)
        return FALSE;
    if (!object->m_canRead)
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!buffer && bytesToRead)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard<std::mutex> guard(object->m_lock);
    size_t done;
    bool ok = platform::ReadAll(object->m_fd, buffer, bytesToRead, &done);
    int error = errno;
    if (bytesRead)
        *bytesRead = static_cast<DWORD>(done);
    if (!ok)
        return Fail(platform::Win32ErrorFromErrno(error), FALSE);
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPVOID overlapped)
{
    if (bytesWritten)
        *bytesWritten = 0;
    if (overlapped)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto object = platform::HandleAs<platform::FileObject>(file);
    if (!object)
        return FALSE;
    if (!object->m_canWrite)
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!buffer && bytesToWrite)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard<std::mutex> guard(object->m_lock);
    size_t done;
    bool ok = platform::WriteAll(object->m_fd, buffer, bytesToWrite, &done);
    int error = errno;
    if (bytesWritten)
        *bytesWritten = static_cast<DWORD>(done);
    if (!ok)
        return Fail(platform::Win32ErrorFromErrno(error), FALSE);
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size)
{
    auto object = platform::HandleAs<platform::FileObject>(file);
    if (!object)
        return FALSE;
    if (!size)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    struct stat st;
    if (fstat(object->m_fd, &st) != 0)
        return Fail(platform::Win32ErrorFromErrno(errno), FALSE);
    size->QuadPart = st.st_size;
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPointer,
                      DWORD moveMethod)
{
    auto object = platform::HandleAs<platform::FileObject>(file);
    if (!object)
        return FALSE;
    int whence;
    switch (moveMethod) {
        case FILE_BEGIN:
            whence = SEEK_SET;
            break;
        case FILE_CURRENT:
            whence = SEEK_CUR;
            break;
        case FILE_END:
            whence = SEEK_END;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    std::lock_guard<std::mutex> guard(object->m_lock);
    off_t position = lseek(object->m_fd, off_t(distance.QuadPart), whence);
    if (position < 0) {
        int error = errno;
        if (error == EINVAL && (distance.QuadPart < 0 || whence == SEEK_SET)) {
            return Fail(ERROR_NEGATIVE_SEEK, FALSE);
        }
        return Fail(platform::Win32ErrorFromErrno(error), FALSE);
    }
    if (newPointer)
        newPointer->QuadPart = position;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file)
{
    auto object = platform::HandleAs<platform::FileObject>(file);
    if (!object)
        return FALSE;
    if (!object->m_canWrite)
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (fsync(object->m_fd) != 0)
        return Fail(platform::Win32ErrorFromErrno(errno), FALSE);
    return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData)
{
    if (!findData)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    platform::ResolvedPath resolved;
    if (!platform::ResolveArgument(fileName, platform::kWildcardsInLastName, &resolved)) {
        return INVALID_HANDLE_VALUE;
    }
    // A pattern that ends with a separator, or a bare root, names no entry.
    if (resolved.root || resolved.trailingSeparator) {
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    DIR* dir = opendir(resolved.parent.c_str());
    if (!dir) {
        int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
        return Fail(platform::Win32ErrorFromErrno(error), INVALID_HANDLE_VALUE);
    }
    platform::Pattern pattern(resolved.lastName);
    std::vector<platform::ListedEntry> entries;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        bool dotEntry = name == "." || name == "..";
        if (dotEntry && resolved.parentIsRoot)
            continue;  // a drive's root lists neither
        std::wstring wide = platform::AnsiToWide(name);
        if (!pattern.Matches(wide))
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), entry->d_name, &st, 0) != 0 &&
            fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // removed while listing
        }
        entries.push_back({std::move(wide), st});
    }
    closedir(dir);
    if (entries.empty())
        return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    std::sort(entries.begin(), entries.end(), platform::ListedBefore);
    platform::FillFindData(entries.front(), findData);
    HANDLE handle = platform::NewHandle(std::make_shared<platform::FindObject>(std::move(entries)));
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData)
{
    auto object = platform::HandleAs<platform::FindObject>(findFile);
    if (!object)
        return FALSE;
    if (!findData)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard<std::mutex> guard(object->m_lock);
    if (object->m_next >= object->m_entries.size())
        return Fail(ERROR_NO_MORE_FILES, FALSE);
    platform::FillFindData(object->m_entries[object->m_next++], findData);
    return TRUE;
}

BOOL FindClose(HANDLE findFile)
{
    if (!platform::HandleAs<platform::FindObject>(findFile))
        return FALSE;
    return platform::ReleaseHandle(findFile) ? TRUE : FALSE;
}

BOOL PathFileExistsW(LPCWSTR path)
{
    platform::ResolvedPath resolved;
    if (!platform::ResolveArgument(path, 0, &resolved))
        return FALSE;
    struct stat st;
    if (stat(resolved.native.c_str(), &st) != 0) {
        return Fail(platform::PathError(errno, resolved.native), FALSE);
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName)
{
    platform::ResolvedPath resolved;
    if (!platform::ResolveArgument(fileName, 0, &resolved))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(resolved.native.c_str(), &st) != 0) {
        return Fail(platform::PathError(errno, resolved.native), INVALID_FILE_ATTRIBUTES);
    }
    return platform::AttributesOf(st);
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists)
{
    platform::ResolvedPath from, to;
    if (!platform::ResolveArgument(existingFileName, 0, &from) ||
        !platform::ResolveArgument(newFileName, 0, &to)) {
        return FALSE;
    }
    int source = platform::OpenNative(from.native, O_RDONLY);
    if (source < 0)
        return Fail(platform::PathError(errno, from.native), FALSE);
    struct SourceCloser {
        int fd;
        ~SourceCloser() { close(fd); }
    } closeSource{source};
    struct stat sourceStat;
    if (fstat(source, &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    fcntl(source, F_SETFL, fcntl(source, F_GETFL) & ~O_NONBLOCK);

    if (to.root)
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    struct stat targetStat;
    if (stat(to.native.c_str(), &targetStat) == 0) {
        if (failIfExists)
            return Fail(ERROR_FILE_EXISTS, FALSE);
        if (S_ISDIR(targetStat.st_mode) || platform::IsReadOnly(targetStat)) {
            return Fail(ERROR_ACCESS_DENIED, FALSE);
        }
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino) {
            return Fail(ERROR_SHARING_VIOLATION, FALSE);  // Windows has the source open
        }
    } else if (errno != ENOENT) {
        return Fail(platform::Win32ErrorFromErrno(errno), FALSE);
    } else if (to.trailingSeparator) {
        return Fail(ERROR_INVALID_NAME, FALSE);
    }

    // The copy is written under a temporary name beside the target and renamed when complete,
    // so that a reader of the target sees the old file or the whole new one, never a part.
    std::string temporary = platform::NormalizeNativePath(to.parent) + "/.kvcopy-XXXXXX";
    int target = mkostemp(temporary.data(), O_CLOEXEC);
    if (target < 0) {
        int error = errno;
        return Fail(error == ENOENT || error == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                        : platform::Win32ErrorFromErrno(error),
                    FALSE);
    }
    bool ok = platform::CopyContents(source, target);
    if (ok) {
        // The copy keeps the source's permissions and last write time, as Windows keeps its
        // attributes and time stamps.
        fchmod(target, sourceStat.st_mode & 07777);
        struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
        futimens(target, times);
    }
    int error = errno;
    if (close(target) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        ok = platform::PlaceCopy(temporary, to.native, !failIfExists);
        error = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return Fail(error == EEXIST ? ERROR_FILE_EXISTS : platform::Win32ErrorFromErrno(error),
                    FALSE);
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR fileName)
{
    platform::ResolvedPath resolved;
    if (!platform::ResolveArgument(fileName, 0, &resolved))
        return FALSE;
    struct stat st;
    if (lstat(resolved.native.c_str(), &st) != 0) {
        return Fail(platform::PathError(errno, resolved.native), FALSE);
    }
    // Windows deletes neither folders nor read-only files through this call.
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && platform::IsReadOnly(st))) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    if (unlink(resolved.native.c_str()) != 0) {
        return Fail(platform::PathError(errno, resolved.native), FALSE);
    }
    return TRUE;
}
