#include "items.h"

#include <cstring>

#include "platform/kernel.h"

namespace platform::shell {

PIDLIST_ABSOLUTE MakeItemList(const std::wstring& path)
{
    size_t pathBytes = path.empty() ? 0 : (path.size() + 1) * sizeof(WCHAR);
    size_t itemBytes = path.empty() ? 0 : sizeof(USHORT) + pathBytes;
    if (itemBytes > 0xFFFF)
        return nullptr;  // an item counts its bytes in 16 bits
    size_t total = itemBytes + sizeof(USHORT);
    auto* bytes = static_cast<BYTE*>(CoTaskMemAlloc(total));
    if (!bytes)
        return nullptr;
    std::memset(bytes, 0, total);
    if (itemBytes) {
        USHORT cb = static_cast<USHORT>(itemBytes);
        std::memcpy(bytes, &cb, sizeof cb);
        std::memcpy(bytes + sizeof cb, path.c_str(), pathBytes);
    }
    return reinterpret_cast<PIDLIST_ABSOLUTE>(bytes);
}

std::wstring ItemListPath(PCIDLIST_ABSOLUTE list)
{
    if (!list)
        return std::wstring();
    const BYTE* bytes = reinterpret_cast<const BYTE*>(list);
    USHORT cb;
    std::memcpy(&cb, bytes, sizeof cb);
    if (cb <= sizeof(USHORT) + sizeof(WCHAR) || (cb - sizeof(USHORT)) % sizeof(WCHAR) != 0)
        return std::wstring();
    size_t count = (cb - sizeof(USHORT)) / sizeof(WCHAR);
    std::wstring path(count, L'\0');
    std::memcpy(path.data(), bytes + sizeof(USHORT), count * sizeof(WCHAR));
    path.resize(std::wcslen(path.c_str()));
    return path;
}

}  // namespace platform::shell

HRESULT SHGetSpecialFolderLocation(HWND, int folder, PIDLIST_ABSOLUTE* pidl)
{
    if (!pidl)
        return E_INVALIDARG;
    *pidl = nullptr;
    if (folder != CSIDL_DESKTOP)
        return E_INVALIDARG;
    *pidl = platform::shell::MakeItemList(std::wstring());
    return *pidl ? S_OK : E_OUTOFMEMORY;
}

void ILFree(PIDLIST_ABSOLUTE pidl)
{
    CoTaskMemFree(pidl);
}
