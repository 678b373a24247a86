// TEMPORARY stand-ins for the layer's shell calls (drops, media notifications, the launcher's
// window, opening an address), until platform/shell.h lands; each reports that it could not do
// its work. Used by the main dialog's own files only; goes when the layer has them.
#pragma once

#include "platform/user.h"

namespace shellpending {
inline void DragAcceptFiles(HWND, BOOL) {}
typedef void* PIDLIST_ABSOLUTE;
inline HRESULT SHGetSpecialFolderLocation(HWND, int, PIDLIST_ABSOLUTE*) { return E_NOTIMPL; }
struct SHChangeNotifyEntry {
    PIDLIST_ABSOLUTE pidl;
    BOOL fRecursive;
};
inline ULONG SHChangeNotifyRegister(HWND, int, LONG, UINT, int, const SHChangeNotifyEntry*)
{
    return 0;
}
inline BOOL SHChangeNotifyDeregister(ULONG) { return FALSE; }
inline void ILFree(PIDLIST_ABSOLUTE) {}
inline HWND FindWindowW(LPCWSTR, LPCWSTR) { return nullptr; }
inline HINSTANCE ShellExecuteW(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT)
{
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(2));  // "file not found"
}
const int CSIDL_DESKTOP = 0;
const LONG SHCNE_MEDIAINSERTED = 0x20;
const LONG SHCNE_MEDIAREMOVED = 0x40;
}  // namespace shellpending
using namespace shellpending;
