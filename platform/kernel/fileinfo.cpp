// GetFileAttributesExW: one entry's status from stat, reported by the rules of the listings
// (files.cpp): folders carry only the directory attribute and size 0, files the archive
// attribute and read-only when their owner may not write them; Linux keeps no creation time on
// every file system, so the last write stands in.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "paths.h"

namespace {

FILETIME ToFileTime(const struct timespec& time)
{
    constexpr int64_t kUnixEpoch = 116444736000000000LL;  // 100 ns from 1601 to 1970
    int64_t value = kUnixEpoch + int64_t(time.tv_sec) * 10000000LL + time.tv_nsec / 100;
    if (value < 0)
        value = 0;
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(uint64_t(value) & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(uint64_t(value) >> 32);
    return result;
}

}  // namespace

BOOL GetFileAttributesExW(LPCWSTR fileName, GET_FILEEX_INFO_LEVELS infoLevel,
                          LPVOID fileInformation)
{
    if (!fileName || !fileInformation || infoLevel != GetFileExInfoStandard) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::ResolvedPath resolved;
    DWORD error = platform::ResolvePath(fileName, platform::kCheckNames, &resolved);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    struct stat st;
    if (stat(resolved.native.c_str(), &st) != 0) {
        int code = errno;
        SetLastError(code == ENOENT ? platform::MissingEntryError(resolved.native)
                                    : platform::Win32ErrorFromErrno(code));
        return FALSE;
    }
    auto* data = static_cast<LPWIN32_FILE_ATTRIBUTE_DATA>(fileInformation);
    std::memset(data, 0, sizeof(*data));
    if (S_ISDIR(st.st_mode)) {
        data->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        data->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
        if (!(st.st_mode & S_IWUSR))
            data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
        data->nFileSizeHigh = static_cast<DWORD>(uint64_t(st.st_size) >> 32);
        data->nFileSizeLow = static_cast<DWORD>(uint64_t(st.st_size) & 0xFFFFFFFFu);
    }
    data->ftCreationTime = ToFileTime(st.st_mtim);
    data->ftLastAccessTime = ToFileTime(st.st_atim);
    data->ftLastWriteTime = ToFileTime(st.st_mtim);
    return TRUE;
}
