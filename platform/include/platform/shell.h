// The shell: item lists, change notifications for removable media, dropped files, starting a
// file with its program, and the common file dialogs.
//
// Media: the layer's drive table (kernel.h) is the shell's view of the drives. When a
// removable drive appears or goes (a mount comes or goes, a folder of PLATFORM_REMOVABLE_DRIVES
// or of a test appears or is deleted, testing.h adds or removes a drive), every top-level window
// gets WM_DEVICECHANGE and the windows registered with SHChangeNotifyRegister for
// SHCNE_MEDIAINSERTED / SHCNE_MEDIAREMOVED get their message. Both are posted.
#pragma once

#include "platform/base.h"
#include "platform/user.h"

// ---------------------------------------------------------------------------------------------
// Item lists
//
// An item list here holds one Windows path (or none: the desktop). It is allocated with
// CoTaskMemAlloc; ILFree or CoTaskMemFree frees it.

#pragma pack(push, 1)
typedef struct _SHITEMID {
    USHORT cb;  // bytes of this item, cb included; 0 ends the list
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST;
#pragma pack(pop)
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

#define CSIDL_DESKTOP 0x0000

// Only CSIDL_DESKTOP (the root of the shell's name space, an empty list) is offered; other
// folders give E_INVALIDARG. *pidl receives a new list, which the caller frees.
PLATFORM_API HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* pidl);
PLATFORM_API void ILFree(PIDLIST_ABSOLUTE pidl);

// ---------------------------------------------------------------------------------------------
// Change notifications

#define SHCNE_MEDIAINSERTED 0x00000020L
#define SHCNE_MEDIAREMOVED 0x00000040L
#define SHCNE_DRIVEREMOVED 0x00000080L
#define SHCNE_DRIVEADD 0x00000100L

#define SHCNRF_InterruptLevel 0x0001
#define SHCNRF_ShellLevel 0x0002
#define SHCNRF_RecursiveInterrupt 0x1000
#define SHCNRF_NewDelivery 0x8000

typedef struct _SHChangeNotifyEntry {
    PCIDLIST_ABSOLUTE pidl;  // the folder watched; the desktop (an empty list or null) is all
    BOOL fRecursive;
} SHChangeNotifyEntry;

// The window gets `message` for each event of `events` about an item at or below one of the
// entries' folders (the desktop covers every drive; a drive's root covers that drive). wParam
// points to two item lists, the drive's root and null; lParam is the event. The lists stay
// valid until the registration has posted 64 further notices or is deregistered: read them
// in the handler. Source flags are accepted and not examined; SHCNRF_NewDelivery is not
// offered (0, ERROR_INVALID_PARAMETER). Returns the registration's id, 0 on failure.
PLATFORM_API ULONG SHChangeNotifyRegister(HWND window, int sources, LONG events, UINT message,
                                          int entryCount, const SHChangeNotifyEntry* entries);
PLATFORM_API BOOL SHChangeNotifyDeregister(ULONG id);

// WM_DEVICECHANGE: wParam DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE, lParam a
// DEV_BROADCAST_VOLUME naming the drive, valid until 64 further device notices were posted.
#define DBT_DEVICEARRIVAL 0x8000
#define DBT_DEVICEREMOVECOMPLETE 0x8004
#define DBT_DEVTYP_VOLUME 0x00000002

typedef struct _DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
} DEV_BROADCAST_HDR, *PDEV_BROADCAST_HDR;

typedef struct _DEV_BROADCAST_VOLUME {
    DWORD dbcv_size;
    DWORD dbcv_devicetype;  // DBT_DEVTYP_VOLUME
    DWORD dbcv_reserved;
    DWORD dbcv_unitmask;  // bit 0 is A:, bit 4 is E:
    WORD dbcv_flags;
} DEV_BROADCAST_VOLUME, *PDEV_BROADCAST_VOLUME;

// ---------------------------------------------------------------------------------------------
// Dropped files
//
// Files let go over a window (from the SDL presenter's window, or testing.h's InjectFileDrop)
// reach the window under the point, or its nearest ancestor, that accepts files
// (WS_EX_ACCEPTFILES, set by DragAcceptFiles): WM_DROPFILES is posted to it with the drop's
// handle in wParam. A drop that no window accepts is dropped.

#define WS_EX_ACCEPTFILES 0x00000010L

struct HDROP__;
typedef HDROP__* HDROP;

PLATFORM_API void DragAcceptFiles(HWND window, BOOL accept);
// index 0xFFFFFFFF: the number of files. A null buffer: the length of that file's path in
// characters, without the zero. Otherwise copies at most size - 1 characters and a zero and
// returns the characters copied. 0 for a handle that is not a drop (or was finished).
PLATFORM_API UINT DragQueryFileW(HDROP drop, UINT index, LPWSTR file, UINT size);
// Where the files were let go, in the client coordinates of the window that got the drop.
PLATFORM_API BOOL DragQueryPoint(HDROP drop, LPPOINT point);
// Frees the drop. Drops never finished are freed once 64 newer ones wait unfinished.
PLATFORM_API void DragFinish(HDROP drop);

// ---------------------------------------------------------------------------------------------
// Starting a file

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

// Verb null or "open"; `file` a Windows path or an address ("https://...", "mailto:..."). A file
// that the user may execute is started (with the parameters split at blanks, double quotes
// grouping) in the given folder, else in the file's own folder; any other file, and an address
// as it stands, is handed to xdg-open. The started program runs on its
// own: nothing waits for it. Returns a value above 32 on success, else SE_ERR_FNF (no such
// file), SE_ERR_PNF (no such folder), SE_ERR_NOASSOC (a file that cannot be executed or an
// address, and no xdg-open to hand it to, or another verb), SE_ERR_ACCESSDENIED or SE_ERR_OOM.
PLATFORM_API HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                     LPCWSTR directory, INT show);

// ---------------------------------------------------------------------------------------------
// File dialogs
//
// The dialog is zenity's, when installed: modal for the owner's top-level window (disabled,
// while the calling thread keeps handling its messages), showing the filters (the chosen one
// first; patterns match both letter cases). Without zenity a message box says that no file
// dialog can be shown, and the call fails (CDERR_INITIALIZATION). testing.h answers dialogs
// instead (AnswerFileDialogs) and records what they showed.
//
// Results: one file gives its path; several (OFN_ALLOWMULTISELECT | OFN_EXPLORER) give their
// folder and then each name, each ending with a zero, and a final zero. A save dialog appends
// lpstrDefExt to a name without an extension and, with OFN_OVERWRITEPROMPT, asks before
// naming an existing file (No shows the dialog again). A cancelled dialog gives FALSE with
// CommDlgExtendedError 0; a buffer too small gives FNERR_BUFFERTOOSMALL, its first character
// holding the size needed.

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_ALLOWMULTISELECT 0x00000200
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_EXPLORER 0x00080000
#define OFN_ENABLESIZING 0x00800000

#define CDERR_INITIALIZATION 0x0002
#define CDERR_STRUCTSIZE 0x0001
#define FNERR_BUFFERTOOSMALL 0x3003

typedef struct tagOFNW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;  // pairs of texts, each ending with a zero, then a final zero
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;  // 1 for the first pair
    LPWSTR lpstrFile;    // in: the initial file name; out: the result
    DWORD nMaxFile;      // characters
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;     // where the (first) name starts in lpstrFile
    WORD nFileExtension;  // where its extension starts, after the dot
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
} OPENFILENAMEW, *LPOPENFILENAMEW;

PLATFORM_API BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn);
PLATFORM_API BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn);
// Why the calling thread's last file dialog failed; 0 after a cancel.
PLATFORM_API DWORD CommDlgExtendedError();
