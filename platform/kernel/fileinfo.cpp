// GetFileAttributesExW: one entry's status from stat, reported by the rules of the listings
// (files.cpp): folders carry only the directory attribute and size 0, files the archive
// attribute and read-only when their owner may not write them; Linux keeps no creation time on
// every file system, so the last write stands in.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "paths.h"

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
        SetLastError(platform::PathError(errno, resolved.native));
        return FALSE;
    }
    auto* data = static_cast<LPWIN32_FILE_ATTRIBUTE_DATA>(fileInformation);
    std::memset(data, 0, sizeof(*data));
    data->dwFileAttributes = platform::AttributesOf(st);
    if (!S_ISDIR(st.st_mode)) {
        data->nFileSizeHigh = static_cast<DWORD>(uint64_t(st.st_size) >> 32);
        data->nFileSizeLow = static_cast<DWORD>(uint64_t(st.st_size) & 0xFFFFFFFFu);
    }
    data->ftCreationTime = platform::ToFileTime(st.st_mtim);
    data->ftLastAccessTime = platform::ToFileTime(st.st_atim);
    data->ftLastWriteTime = platform::ToFileTime(st.st_mtim);
    return TRUE;
}
