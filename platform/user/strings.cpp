// String tables: LoadStringW over RT_STRING blocks.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/kernel.h"
#include "platform/user.h"

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int maxCount)
{
    if (!buffer || maxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = L'\0';
    if (id > 0xFFFF) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
    if (!resource)
        return 0;
    HGLOBAL loaded = LoadResource(instance, resource);
    const auto* bytes = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    DWORD size = SizeofResource(instance, resource);
    if (!bytes) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    // Walks the counted strings before this one; a block cut short is damaged.
    size_t at = 0;
    for (UINT index = 0;; ++index) {
        if (at + 2 > size) {
            SetLastError(ERROR_INVALID_DATA);
            return 0;
        }
        size_t units = size_t(bytes[at]) | (size_t(bytes[at + 1]) << 8);
        at += 2;
        if (at + units * 2 > size) {
            SetLastError(ERROR_INVALID_DATA);
            return 0;
        }
        if (index == id % 16) {
            std::wstring text = platform::Utf16LeToWide(bytes + at, units * 2);
            size_t copied = std::min(text.size(), size_t(maxCount - 1));
            std::wmemcpy(buffer, text.data(), copied);
            buffer[copied] = L'\0';
            return int(copied);
        }
        at += units * 2;
    }
}
