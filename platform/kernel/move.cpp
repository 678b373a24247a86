// MoveFileExW over rename(2): the rename is atomic within one file system, which is what a
// safe save (write a temporary file, then rename it over the old one) relies on.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/kernel.h"

namespace {

std::string ParentOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool FolderExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The Win32 code for a failed rename, telling a missing file from a missing folder as
// Windows does.
DWORD ErrorFromErrno(int err, const std::string& source, const std::string& target)
{
    switch (err) {
        case ENOENT:
            if (!FolderExists(ParentOf(source)) || !FolderExists(ParentOf(target)))
                return ERROR_PATH_NOT_FOUND;
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
        case ENOTEMPTY:
            return ERROR_ALREADY_EXISTS;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_INVALID_NAME;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        default:
            return ERROR_ACCESS_DENIED;
    }
}

// Flushes a file or folder to disk; failures of the flush itself are not reported, as the
// rename has already happened by then or the data stays readable either way.
void SyncPath(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

}  // namespace

BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags)
{
    if (!existingFileName || !newFileName || !*existingFileName || !*newFileName ||
        (flags & ~DWORD(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string source = platform::ToNativePath(existingFileName);
    const std::string target = platform::ToNativePath(newFileName);

    struct stat sourceStat;
    if (lstat(source.c_str(), &sourceStat) != 0) {
        SetLastError(ErrorFromErrno(errno, source, target));
        return FALSE;
    }
    struct stat targetStat;
    const bool targetExists = lstat(target.c_str(), &targetStat) == 0;
    const bool sameFile = targetExists && sourceStat.st_dev == targetStat.st_dev &&
                          sourceStat.st_ino == targetStat.st_ino;
    if (targetExists && !sameFile) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        // Windows never replaces a folder, and never puts a folder in place of a file.
        if (S_ISDIR(targetStat.st_mode) || S_ISDIR(sourceStat.st_mode)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }

    if (flags & MOVEFILE_WRITE_THROUGH)
        SyncPath(source);

    int result;
    if (flags & MOVEFILE_REPLACE_EXISTING) {
        result = rename(source.c_str(), target.c_str());
    } else {
        // No replacement even when the target appears between the check above and now.
        result = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // File systems without the no-replace rename: the check above stands in.
            result = rename(source.c_str(), target.c_str());
        }
    }
    if (result != 0) {
        SetLastError(ErrorFromErrno(errno, source, target));
        return FALSE;
    }

    if (flags & MOVEFILE_WRITE_THROUGH) {
        const std::string targetFolder = ParentOf(target);
        const std::string sourceFolder = ParentOf(source);
        SyncPath(targetFolder);
        if (sourceFolder != targetFolder)
            SyncPath(sourceFolder);
    }
    return TRUE;
}
