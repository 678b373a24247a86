// Accelerator tables.
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/kernel.h"
#include "platform/user.h"

namespace {

struct Tables {
    std::mutex lock;
    // Guarded by `lock`. Handles are tagged numbers that no other handle uses, never reused.
    std::unordered_map<uintptr_t, std::vector<ACCEL>> tables;
    uintptr_t next = 0x7D000000;
};

Tables& TheTables()
{
    static Tables* tables = new Tables;  // lives until the process ends
    return *tables;
}

HACCEL Add(std::vector<ACCEL> entries)
{
    Tables& t = TheTables();
    std::lock_guard<std::mutex> guard(t.lock);
    uintptr_t value = t.next;
    t.next += 4;
    t.tables.emplace(value, std::move(entries));
    return reinterpret_cast<HACCEL>(value);
}

constexpr WORD kLastEntry = 0x80;

}  // namespace

HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR tableName)
{
    HRSRC resource = FindResourceW(instance, tableName, RT_ACCELERATOR);
    if (!resource) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(instance, resource);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    DWORD size = SizeofResource(instance, resource);
    if (!data || size == 0 || size % 8 != 0) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    std::vector<ACCEL> entries;
    bool ended = false;
    for (DWORD offset = 0; offset < size && !ended; offset += 8) {
        WORD flags, key, command;
        std::memcpy(&flags, data + offset, 2);
        std::memcpy(&key, data + offset + 2, 2);
        std::memcpy(&command, data + offset + 4, 2);
        ended = (flags & kLastEntry) != 0;
        ACCEL entry;
        entry.fVirt = BYTE(flags & (FVIRTKEY | FNOINVERT | FSHIFT | FCONTROL | FALT));
        entry.key = key;
        entry.cmd = command;
        entries.push_back(entry);
    }
    // A table whose last entry is not marked was cut short.
    if (!ended) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return Add(std::move(entries));
}

HACCEL CreateAcceleratorTableW(LPACCEL entries, int count)
{
    if (!entries || count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Add(std::vector<ACCEL>(entries, entries + count));
}

BOOL DestroyAcceleratorTable(HACCEL table)
{
    Tables& t = TheTables();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.tables.erase(reinterpret_cast<uintptr_t>(table))) {
        SetLastError(ERROR_INVALID_ACCEL_HANDLE);
        return FALSE;
    }
    return TRUE;
}

int TranslateAcceleratorW(HWND window, HACCEL table, LPMSG msg)
{
    if (!msg || !IsWindow(window))
        return 0;
    UINT m = msg->message;
    bool keyDown = m == WM_KEYDOWN || m == WM_SYSKEYDOWN;
    bool character = m == WM_CHAR || m == WM_SYSCHAR;
    if (!keyDown && !character)
        return 0;
    std::vector<ACCEL> entries;
    {
        Tables& t = TheTables();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.tables.find(reinterpret_cast<uintptr_t>(table));
        if (it == t.tables.end()) {
            SetLastError(ERROR_INVALID_ACCEL_HANDLE);
            return 0;
        }
        entries = it->second;
    }
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool control = GetKeyState(VK_CONTROL) < 0;
    bool alt = GetKeyState(VK_MENU) < 0;
    for (const ACCEL& a : entries) {
        bool match = false;
        if (a.fVirt & FVIRTKEY) {
            match = keyDown && a.key == WORD(msg->wParam) && bool(a.fVirt & FSHIFT) == shift &&
                    bool(a.fVirt & FCONTROL) == control && bool(a.fVirt & FALT) == alt;
        } else {
            match = character && a.key == WORD(msg->wParam) && bool(a.fVirt & FALT) == alt;
        }
        if (!match)
            continue;
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}
