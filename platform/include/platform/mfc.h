// The application framework, the part our code calls, in the static library `mfc`. The
// standard library stands in for the framework's strings and containers: std::wstring where
// the framework has CString.
#pragma once

#include <atomic>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/shell.h"
#include "platform/user.h"

// ---------------------------------------------------------------------------------------------
// Exceptions, files and file search
//
// Framework exceptions are thrown as pointers to objects on the heap (`throw new
// CFileException(...)`, or AfxThrowFileException); the handler that catches one owns it and
// ends its life with Delete(). They never cross a thread, a COM call or a filter boundary:
// whoever calls a throwing function on a thread catches there.

class CException {
public:
    // An exception made by `new` deletes itself in Delete().
    CException();
    // autoDelete FALSE: the object lives elsewhere (on the stack, say) and Delete() leaves it.
    explicit CException(BOOL autoDelete);
    virtual ~CException();

    // Ends a caught exception's life: deletes the object when it was created to delete itself.
    void Delete();

protected:
    BOOL m_bAutoDelete;
};

class CFileException : public CException {
public:
    // Causes, in the framework's order.
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    // osError -1 means none is known.
    explicit CFileException(int cause = none, LONG osError = -1, LPCWSTR fileName = nullptr);

    // The cause for a Win32 error code (GetLastError); genericException for codes without
    // one of their own.
    static int OsErrorToException(LONG osError);
    // Throws a new CFileException with the cause of osError; nothing when osError is 0.
    static void ThrowOsError(LONG osError, LPCWSTR fileName = nullptr);

    int m_cause;
    LONG m_lOsError;
    std::wstring m_strFileName;
};

// Throws a new CFileException.
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCWSTR fileName = nullptr);

// A moment as seconds since 1970-01-01 00:00 UTC.
class CTime {
public:
    CTime() : m_time(0) {}
    explicit CTime(time_t time) : m_time(time) {}
    time_t GetTime() const { return m_time; }

private:
    time_t m_time;
};

struct CFileStatus {
    CTime m_ctime;     // creation (Linux keeps none on every file system: the last write)
    CTime m_mtime;     // last write
    CTime m_atime;     // last access
    ULONGLONG m_size;  // bytes; 0 for a folder
    BYTE m_attribute;  // the low byte of the FILE_ATTRIBUTE_ flags
    WCHAR m_szFullName[MAX_PATH];  // the absolute path, cut to MAX_PATH - 1 characters
};

// A file opened through the kernel's file calls. Every failure of an open file's operations
// throws a CFileException*; reading at or past the end is not a failure.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        // Text translation belongs to derived classes; a CFile reads and writes bytes either
        // way.
        typeText = 0x4000,
        typeBinary = 0x8000,
        osRandomAccess = 0x40000,
        osSequentialScan = 0x80000,
    };
    enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

    // The value of m_hFile while no file is open.
    static const HANDLE hFileNull;

    CFile();
    // Closes an open file; errors of that close are not reported.
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens the file; FALSE on failure, with *error (when given) describing it: the cause, the
    // Win32 error and the file name. Share modes are passed on (this platform does not enforce
    // them). An object that holds an open file already refuses (genericException).
    virtual BOOL Open(LPCWSTR fileName, UINT openFlags, CFileException* error = nullptr);
    // Reads up to count bytes at the file position and returns how many it read: fewer than
    // count only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    // Moves the file position (a position past the end is allowed, one before the start is a
    // badSeek) and returns the new position from the start.
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    // Closes the file; closing an object without a file does nothing.
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();

    // Fills status for the file or folder at fileName without opening it. FALSE when it does
    // not exist or cannot be read, and for names with wildcards.
    static BOOL GetStatus(LPCWSTR fileName, CFileStatus& status);

    HANDLE m_hFile;

protected:
    std::wstring m_strFileName;
};

// Lists the entries of a folder that match a pattern. FindFile starts the search; each
// FindNextFile call then makes the next entry the current one, and returns FALSE when that
// entry is the last one (the entry is still current and may be read). The getters describe the
// current entry and may be called only after a FindNextFile.
class CFileFind {
public:
    CFileFind();
    virtual ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Starts a search for the pattern (null: "*.*" in the current folder). A search already
    // going is closed first. FALSE when nothing matches or the folder cannot be read.
    virtual BOOL FindFile(LPCWSTR name = nullptr, DWORD unused = 0);
    virtual BOOL FindNextFile();
    void Close();

    ULONGLONG GetLength() const;
    std::wstring GetFileName() const;
    // The folder of the search followed by a backslash (unless it ends with one) and the name.
    std::wstring GetFilePath() const;
    // The folder of the search: the pattern's folder, made absolute when it was relative,
    // without a final backslash unless it is a drive's root.
    std::wstring GetRoot() const;
    BOOL IsDirectory() const;
    // The entry is "." or "..".
    BOOL IsDots() const;

private:
    HANDLE m_hContext;
    WIN32_FIND_DATAW m_found;  // the current entry; valid once m_bFound is set
    WIN32_FIND_DATAW m_next;   // the entry that the next FindNextFile makes current
    BOOL m_bFound;
    BOOL m_bHasNext;
    std::wstring m_strRoot;
};

// ---------------------------------------------------------------------------------------------
// Points, sizes and rectangles
//
// Value types over the GDI structures, so that a CRect goes wherever a RECT* is taken.

class CSize : public SIZE {
public:
    CSize() { cx = cy = 0; }
    CSize(int width, int height) { cx = width, cy = height; }
    CSize(SIZE size) { cx = size.cx, cy = size.cy; }
    bool operator==(SIZE other) const { return cx == other.cx && cy == other.cy; }
    bool operator!=(SIZE other) const { return !(*this == other); }
};

class CPoint : public POINT {
public:
    CPoint() { x = y = 0; }
    CPoint(int px, int py) { x = px, y = py; }
    CPoint(POINT point) { x = point.x, y = point.y; }
    // The signed client coordinates that mouse messages pack into lParam.
    explicit CPoint(LPARAM packed) { x = GET_X_LPARAM(packed), y = GET_Y_LPARAM(packed); }
    void Offset(int dx, int dy) { x += dx, y += dy; }
    bool operator==(POINT other) const { return x == other.x && y == other.y; }
    bool operator!=(POINT other) const { return !(*this == other); }
    CPoint operator+(SIZE size) const { return CPoint(x + size.cx, y + size.cy); }
    CPoint operator-(SIZE size) const { return CPoint(x - size.cx, y - size.cy); }
    CSize operator-(POINT other) const { return CSize(x - other.x, y - other.y); }
};

// Left and top inside, right and bottom outside, as RECT.
class CRect : public RECT {
public:
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
    CRect(const RECT& rect)
    {
        left = rect.left, top = rect.top, right = rect.right, bottom = rect.bottom;
    }
    CRect(POINT topLeft, SIZE size)
    {
        left = topLeft.x, top = topLeft.y, right = topLeft.x + size.cx,
        bottom = topLeft.y + size.cy;
    }
    CRect(POINT topLeft, POINT bottomRight)
    {
        left = topLeft.x, top = topLeft.y, right = bottomRight.x, bottom = bottomRight.y;
    }

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    // Rounded toward zero, as integer division does.
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }

    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }

    BOOL IsRectEmpty() const { return ::IsRectEmpty(this); }
    BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT point) const { return ::PtInRect(this, point); }
    void SetRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
    void SetRectEmpty() { left = top = right = bottom = 0; }
    void OffsetRect(int dx, int dy) { left += dx, right += dx, top += dy, bottom += dy; }
    void OffsetRect(POINT by) { OffsetRect(by.x, by.y); }
    void InflateRect(int dx, int dy) { left -= dx, right += dx, top -= dy, bottom += dy; }
    void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
    BOOL IntersectRect(LPCRECT a, LPCRECT b) { return ::IntersectRect(this, a, b); }
    BOOL UnionRect(LPCRECT a, LPCRECT b) { return ::UnionRect(this, a, b); }
    bool operator==(const RECT& other) const
    {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
    bool operator!=(const RECT& other) const { return !(*this == other); }
};

// ---------------------------------------------------------------------------------------------
// Device contexts and bitmaps
//
// A CDC owns the device context it holds: its destructor deletes it, unless the context was
// lent to it (CPaintDC, CClientDC and the window's GetDC end the loan themselves). Drawing calls
// pass straight to GDI with the held handle; on an empty CDC they fail as GDI fails for a null
// device context. A CDC, like its device context, may be used from any thread, one at a time.

class CDC;

// An owned bitmap handle; the destructor deletes the bitmap.
class CBitmap {
public:
    CBitmap();
    virtual ~CBitmap();
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    // A zero-filled 32-bit bitmap as CreateCompatibleBitmap makes it for pDC's device context
    // (null: the screen). FALSE when the object holds a bitmap already or GDI refuses.
    BOOL CreateCompatibleBitmap(CDC* pDC, int width, int height);
    // Takes ownership of a bitmap handle; FALSE when one is held already or the handle is null.
    BOOL Attach(HGDIOBJ bitmap);
    // Gives the handle up without deleting it.
    HGDIOBJ Detach();
    // Deletes the held bitmap; FALSE when there is none or GDI refuses (it is selected into a
    // device context), in which case the object keeps it.
    BOOL DeleteObject();

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }

    HGDIOBJ m_hObject;
};

class CDC {
public:
    CDC();
    // Deletes the held device context (DeleteDC); bitmaps selected into it become free.
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    // Takes ownership of a device context; FALSE when one is held already or dc is null.
    BOOL Attach(HDC dc);
    // Gives the device context up without deleting it.
    HDC Detach();

    // A memory device context compatible with pDC's (null: the screen).
    BOOL CreateCompatibleDC(CDC* pDC);
    BOOL DeleteDC();

    // Selects a bitmap and returns the one selected before, as an object that this CDC owns
    // until it is destroyed and that never deletes its bitmap: pass it back to SelectObject to
    // restore the device context. Null on failure (a bitmap can be in one device context at a
    // time).
    CBitmap* SelectObject(CBitmap* bitmap);
    // Any GDI object (bitmap, font, pen, brush); returns the previous object of that kind.
    HGDIOBJ SelectObject(HGDIOBJ object);

    COLORREF SetTextColor(COLORREF color);
    COLORREF SetBkColor(COLORREF color);
    int SetBkMode(int mode);

    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                DWORD rop);
    BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, DWORD rop);
    BOOL AlphaBlend(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, BLENDFUNCTION blend);
    // Fills with one colour, which also becomes the background colour (SetBkColor).
    void FillSolidRect(LPCRECT rect, COLORREF color);
    void FillSolidRect(int x, int y, int width, int height, COLORREF color);
    int FillRect(LPCRECT rect, HBRUSH brush);
    // Returns the previous current position.
    CPoint MoveTo(int x, int y);
    BOOL LineTo(int x, int y);
    BOOL Polyline(const POINT* points, int count);
    // DrawTextW with the selected font and colours; returns the text height, 0 on failure.
    int DrawText(LPCWSTR text, int count, LPRECT rect, UINT format);
    int DrawText(const std::wstring& text, LPRECT rect, UINT format);
    // The advance width and cell height of the text in the selected font; (0, 0) on failure.
    CSize GetTextExtent(const std::wstring& text) const;

    HDC m_hDC;

private:
    std::vector<std::unique_ptr<CBitmap>> m_previousBitmaps;  // handed out by SelectObject
};

class CWnd;

// The device context for painting a window in its WM_PAINT handling: BeginPaint when made,
// EndPaint when destroyed. m_ps describes the update area. When BeginPaint fails the object
// holds no device context and its drawing calls fail.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps;

protected:
    HWND m_hWnd;
};

// A device context onto a window's whole client area (GetDC), released when destroyed; usable
// from any thread. A null window gives the desktop's pixels; an object whose window does not
// exist gives none.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* window);
    ~CClientDC() override;

protected:
    HWND m_hWnd;
};

// ---------------------------------------------------------------------------------------------
// Windows
//
// A CWnd is attached to one window handle at a time; the framework's permanent map finds the
// object of a handle (guarded by its own lock, so any thread may look up). Messages reach the
// object through AfxWndProc on the window's thread: WindowProc, then OnWndMsg, which calls the
// virtual handler of the message (OnPaint, OnLButtonDown, OnTimer, OnCommand, ...). A handler
// that a class does not override does the default processing (Default), as do the handlers'
// base versions, so an override calls its base for the default. Messages without a handler go
// to DefWindowProc: the procedure of the window's class for windows of a class that the
// framework did not register (a "Static", say), else DefWindowProcW.
//
// Windows are created through Create or CreateEx, which attach the object before the first
// message (WM_NCCREATE), or attached afterwards (Attach, SubclassWindow). When the window is
// destroyed the object is detached after WM_NCDESTROY and PostNcDestroy is called; destroying
// the object destroys a window it still holds (on the window's thread; from another thread the
// window is only detached and given back its class procedure).
//
// CWnd pointers that the framework returns for handles without an object of their own
// (FromHandle, GetParent, GetDlgItem, the window arguments of handlers) are temporary: they
// belong to the calling thread and live until its next idle moment in a framework message loop
// that no handler of the thread is running (or the thread's end), so they must not be kept.

// Document and view creation data; no window here is made from one, and the argument is passed
// to the window as its creation parameter untouched.
struct CCreateContext;
class CDataExchange;

// The colour message that OnCtlColor answers: WM_CTLCOLORMSGBOX + the type.
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The attached window, null before creation and after destruction.
    HWND m_hWnd;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The permanent object of a handle, else a temporary one (see above); null for null.
    static CWnd* FromHandle(HWND window);
    // The permanent object of a handle, or null.
    static CWnd* FromHandlePermanent(HWND window);
    // Enters the object in the permanent map for a window that exists; messages are not
    // routed to it (use SubclassWindow for that). FALSE when either is attached already.
    BOOL Attach(HWND window);
    HWND Detach();
    // Attaches and routes the window's messages to the object: the window's procedure becomes
    // AfxWndProc and the old one does the default processing. Windows of the calling process
    // only; FALSE when either is attached already.
    BOOL SubclassWindow(HWND window);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    // Gives the window its procedure back and detaches it.
    HWND UnsubclassWindow();

    // A child window (WS_CHILD is added) of `parent`, which must exist, with the control id.
    // A null class name uses the framework's window class: double clicks, redraw on resizing,
    // the arrow cursor and no background brush.
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, CCreateContext* context = nullptr);
    // Any window; a child takes idOrMenu as its id. FALSE when the object already holds a
    // window, the class does not exist or the creation fails (WM_CREATE answering -1).
    virtual BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                          int y, int width, int height, HWND parent, HMENU idOrMenu,
                          LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    // Insert-after values for SetWindowPos.
    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    // Removes, then adds style bits; with flags, SetWindowPos is called afterwards with them
    // (plus no move, size, z-order or activation). TRUE when the style changed.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);

    // The parent of a child window, the owner of an owned pop-up window, else null.
    CWnd* GetParent() const;
    // Returns the previous parent (null when the window was top-level).
    CWnd* SetParent(CWnd* newParent);
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    void SetWindowText(LPCWSTR text);
    int GetWindowText(std::wstring& text) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, LPCWSTR text);

    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;

    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    // insertAfter: a window, or &wndTop, &wndBottom, &wndTopMost, &wndNoTopMost.
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int width, int height, UINT flags);
    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    BOOL IsIconic() const;
    BOOL IsZoomed() const;
    // Centres a top-level window over its owner (or alternateOwner), or on the screen when it
    // has none; a child over its parent. The window stays on the screen.
    void CenterWindow(CWnd* alternateOwner = nullptr);

    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void ValidateRect(LPCRECT rect);
    void UpdateWindow();

    // A device context onto the client area, from any thread; give it back with ReleaseDC,
    // which also deletes the object. Null without a window.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC timerProc = nullptr);
    BOOL KillTimer(UINT_PTR id);
    // Each returns the window that had the capture, focus or activation before (temporary).
    CWnd* SetCapture();
    static CWnd* GetCapture();
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetActiveWindow();
    BOOL SetForegroundWindow();

    // Runs DoDataExchange: saveAndValidate TRUE reads the controls into the object, FALSE
    // writes them. TRUE when the exchange succeeded.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Filters a message taken from the queue before it is dispatched; TRUE keeps it from being
    // translated and dispatched. The base filters nothing.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Offers msg to the PreTranslateMessage of the objects of its window and of each parent
    // (for pop-up windows, the owner) in turn, up to and including `stop` (null: to the top).
    // TRUE as soon as one consumes it. The framework's message loops run this on every message.
    static BOOL WalkPreTranslateTree(HWND stop, MSG* msg);

    // The default processing of the message being handled (DefWindowProc with its original
    // parameters); 0 outside a handler.
    LRESULT Default();

protected:
    // Entry point of every message: OnWndMsg, else DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Calls the handler of the messages listed below and stores its answer in *result; FALSE
    // for other messages.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // WM_COMMAND; TRUE when handled. The base handles nothing, so the message goes to the
    // default processing.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void DoDataExchange(CDataExchange* exchange);
    // Called after the window is gone and the object detached; the base does nothing. The last
    // point at which the object is touched by the framework, so it may delete itself here.
    virtual void PostNcDestroy();

    // Handlers, with the messages' parameters unpacked. Points are client coordinates except
    // OnMouseWheel's, which are screen coordinates.
    virtual int OnCreate(LPCREATESTRUCTW create);
    virtual void OnDestroy();
    virtual void OnNcDestroy();
    virtual void OnClose();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC* dc);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMove(int x, int y);
    virtual void OnShowWindow(BOOL show, UINT status);
    virtual void OnEnable(BOOL enable);
    virtual void OnActivate(UINT state, CWnd* other, BOOL minimized);
    virtual int OnMouseActivate(CWnd* topLevel, UINT hitTest, UINT message);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnMouseMove(UINT flags, CPoint point);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    virtual void OnMouseLeave();
    virtual void OnGetMinMaxInfo(MINMAXINFO* info);
    virtual HCURSOR OnQueryDragIcon();
    // WM_CTLCOLOR*: the brush that paints the control's background; dc is the control's
    // device context, on which the colours are set.
    virtual HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT type);

    // The procedure that does the default processing: the class's own for superclassed and
    // subclassed windows, null for DefWindowProcW.
    WNDPROC m_pfnSuper;

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend class CDialog;
    bool m_bTemporary;  // made by FromHandle; never destroys its window
    // Called by the framework's window procedure after WM_NCDESTROY.
    void FinishDestroy();
    // For the insert-after constants.
    explicit CWnd(HWND constant);
};

// The window procedure of every framework window: finds the object of the window (or attaches
// the one being created on this thread) and calls its WindowProc; windows without an object
// get DefWindowProcW.
LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers, once per set of attributes, a window class of the program's instance whose
// procedure is AfxWndProc, and returns its name ("Afx:" and the attributes in hex). The name
// lives as long as the process. Null when the registration fails.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                            HICON icon = nullptr);

// ---------------------------------------------------------------------------------------------
// Static text control
//
// The window class "Static" (registered for the whole process the first time a CStatic is
// created or a dialog is made): a text in the window's font (WM_SETFONT; the system font until
// one is given), drawn on every WM_PAINT after asking the parent for its colours with
// WM_CTLCOLORSTATIC. The brush the parent answers fills the background; the null brush fills
// nothing, and then the parent's pixels beneath the control show through, as they would on
// Windows, where a child draws onto its parent. SS_LEFT, SS_CENTER and SS_RIGHT break lines
// at the control's width; SS_SIMPLE draws one line at the left. "&" underlines the next
// character unless SS_NOPREFIX. Without SS_NOTIFY the control answers WM_NCHITTEST with
// HTTRANSPARENT. The text and the font are repainted when they change.

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_SIMPLE 0x0000000BL
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L

class CStatic : public CWnd {
public:
    CStatic();
    ~CStatic() override;
    using CWnd::Create;
    // A child "Static" window (WS_CHILD is added) with the text.
    virtual BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent,
                        UINT id = 0xffff);
};

// ---------------------------------------------------------------------------------------------
// Buttons and edit controls
//
// Objects over the system's "Button" and "Edit" windows (user.h), made by Create or bound to a
// dialog's control with DDX_Control.

class CButton : public CWnd {
public:
    CButton();
    ~CButton() override;
    using CWnd::Create;
    // A child "Button" window (WS_CHILD is added) with the caption.
    virtual BOOL Create(LPCWSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);
};

class CEdit : public CWnd {
public:
    CEdit();
    ~CEdit() override;
    using CWnd::Create;
    // A child "Edit" window (WS_CHILD is added), empty.
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // EM_SETSEL, EM_GETSEL, EM_REPLACESEL, EM_SETREADONLY, EM_LIMITTEXT.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    void ReplaceSel(LPCWSTR text, BOOL canUndo = FALSE);
    BOOL SetReadOnly(BOOL readOnly = TRUE);
    void SetLimitText(UINT count);
};

// ---------------------------------------------------------------------------------------------
// Dialogs
//
// A dialog is made from a template: an RT_DIALOG resource of the resource module
// (AfxGetResourceHandle) in this text form, UTF-8, one statement per line, "#" starting a
// comment line:
//
//   DIALOG <x> <y> <width> <height>          first; dialog units
//   STYLE <flags>                            window styles of the dialog
//   EXSTYLE <flags>                          extended styles of the dialog
//   CAPTION "<text>"                         the window text
//   FONT <points> "<face>"                   the dialog's font, given to every control
//   CONTROL "<text>" <id> <class> <x> <y> <width> <height> [<flags>] [EXSTYLE <flags>]
//
// Flags are names (WS_*, WS_EX_*, SS_*, BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_GROUPBOX, ES_LEFT,
// ES_CENTER, ES_RIGHT, ES_AUTOHSCROLL, ES_READONLY, DS_MODALFRAME, DS_SETFONT) or numbers
// (decimal or 0x hex), joined by blanks or "|". Texts are in double quotes; \" and \\ stand for
// a quote and a backslash, \n for a line break. Controls get WS_CHILD and are stacked in the
// template's order, the first in front; the dialog is a pop-up unless its style says WS_CHILD.
// The classes a control may name: "Static" (below), and the system's "Button" and "Edit"
// (user.h). Dialog units are converted with the font's base units: the average
// width of "A" to "Z" and "a" to "z" per 4 horizontal units and the font's cell height per 8
// vertical ones. The position counts from the owner's client area, or from the screen without
// an owner. A template that cannot be read makes DoModal fail (-1, ERROR_INVALID_DATA); one
// that is missing likewise (ERROR_RESOURCE_NAME_NOT_FOUND).
//
// DoModal disables the owner (the parent given, else the application's main window when
// called on its thread, as its top-level window), creates the dialog without showing it and
// its controls, sends WM_INITDIALOG (OnInitDialog), shows it unless it is visible already or
// ended, and runs a modal message loop on the calling thread until EndDialog. Every message
// taken from the queue first goes through WalkPreTranslateTree up to the dialog; the dialog's
// own PreTranslateMessage turns Escape into IDCANCEL and Enter into IDOK (as WM_COMMAND) for
// keys meant for the dialog or its controls. Then the owner is enabled again and activated,
// and the dialog destroyed. The default processing of the dialog's messages is the dialog
// manager's: WM_CLOSE posts WM_COMMAND IDCANCEL, WM_ERASEBKGND fills with the brush that
// WM_CTLCOLORDLG answers, WM_GETFONT gives the template's font.
//
// EndDialog may be called from any thread. A WM_QUIT that reaches the modal loop ends it with
// -1 and is posted again; so does the destruction of the dialog's window by anyone else.

// The data exchange of a dialog with its controls (UpdateData).
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog)
    {
    }
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// Binds `control` to the dialog's control of that id on the first exchange (SubclassWindow).
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    explicit CDialog(LPCWSTR templateName, CWnd* parent = nullptr);
    ~CDialog() override;

    // The value given to EndDialog; -1 when the dialog could not be created or its loop ended
    // without EndDialog.
    virtual INT_PTR DoModal();
    // Ends the modal loop with the result; any thread.
    void EndDialog(int result);

    // The base runs the data exchange (UpdateData(FALSE)) and answers TRUE: the focus goes to
    // the first control with WS_TABSTOP, else stays where activation put it.
    virtual BOOL OnInitDialog();
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    // IDOK: UpdateData(TRUE), then EndDialog(IDOK). IDCANCEL: EndDialog(IDCANCEL).
    virtual void OnOK();
    virtual void OnCancel();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    LPCWSTR m_lpszTemplateName;  // a MAKEINTRESOURCE id or the name (kept in m_strTemplateName)
    CWnd* m_pParentWnd;

private:
    // The dialog manager's default processing, the procedure behind Default for dialogs.
    static LRESULT CALLBACK DefDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateFromTemplate(HWND owner);
    void RunModalLoop();
    std::wstring m_strTemplateName;
    HFONT m_hFont;  // the template's font, owned; null without one
    // Written by EndDialog from any thread, read by the modal loop.
    std::atomic<int> m_nModalResult;
    std::atomic<bool> m_bContinueModal;
    // The window that EndDialog wakes, from its WM_INITDIALOG to its WM_NCDESTROY.
    std::atomic<HWND> m_hModalWindow;
};

// ---------------------------------------------------------------------------------------------
// Application
//
// One application object per program, a global derived from CWinApp (or CWinAppEx), built
// before main runs. The program's main() calls AfxWinMain, which calls the object's
// InitInstance: FALSE ends the program at once; TRUE runs its message loop (Run), which ends
// with WM_QUIT and at once when there is no main window. Either way ExitInstance is called last
// and its value is AfxWinMain's result, the program's exit code. The framework posts WM_QUIT
// when the main window is destroyed.

class CWinApp {
public:
    // appName null: the program's file name without its extension.
    explicit CWinApp(LPCWSTR appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The base answers TRUE.
    virtual BOOL InitInstance();
    // The message loop (through WalkPreTranslateTree up to the main window); returns
    // ExitInstance's value.
    virtual int Run();
    // The base returns the exit code of the WM_QUIT that ended Run, else 0.
    virtual int ExitInstance();

    // Keeps the application's settings under HKEY_CURRENT_USER\Software\<key>\<application>:
    // m_pszRegistryKey becomes the key and m_pszProfileName the application's name.
    void SetRegistryKey(LPCWSTR key);

    LPCWSTR m_pszAppName;
    LPCWSTR m_pszRegistryKey;  // null until SetRegistryKey
    LPCWSTR m_pszProfileName;  // null until SetRegistryKey
    HINSTANCE m_hInstance;     // the program's module, set by AfxWinMain
    // The main window; the framework clears it when that window is destroyed or its object
    // deleted. Read and written on the application's thread.
    CWnd* m_pMainWnd;

private:
    friend int AfxWinMain(HINSTANCE, HINSTANCE, LPWSTR, int);
    std::wstring m_strAppName;
    std::wstring m_strRegistryKey;
    std::wstring m_strProfileName;
    int m_nExitCode;
};

class CWinAppEx : public CWinApp {
public:
    explicit CWinAppEx(BOOL resourceSmartUpdate = FALSE);
    BOOL m_bResourceSmartUpdate;
};

// The entry flow above; -1 when the program has no application object.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);
CWinApp* AfxGetApp();
// The application's main window on the application's thread; null on other threads.
CWnd* AfxGetMainWnd();
// The program's module; resources (dialog templates) are looked up there.
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// ---------------------------------------------------------------------------------------------
// Named mutex

class CResourceException : public CException {
public:
    CResourceException() = default;
};

// Throws a new CResourceException: a system object could not be made.
[[noreturn]] void AfxThrowResourceException();

class CSyncObject {
public:
    virtual ~CSyncObject();
    operator HANDLE() const { return m_hObject; }
    HANDLE m_hObject = nullptr;
};

// A mutex, named or not. Construction creates it (CreateMutexW) and throws a
// CResourceException* when that fails; GetLastError right afterwards tells
// ERROR_ALREADY_EXISTS when the name existed. The destructor closes it.
class CMutex : public CSyncObject {
public:
    explicit CMutex(BOOL initiallyOwn = FALSE, LPCWSTR name = nullptr,
                    LPSECURITY_ATTRIBUTES attributes = nullptr);
    ~CMutex() override;
};

// ---------------------------------------------------------------------------------------------
// File dialogs
//
// The open or save dialog of shell.h (GetOpenFileNameW / GetSaveFileNameW) over m_ofn. The
// filter is written with "|" between texts and ends with "||"; the initial file name and the
// default extension are copied. OFN_EXPLORER is always set. With OFN_ALLOWMULTISELECT the
// dialog's own buffer holds 32768 characters, so that many files fit; a buffer the caller puts
// into m_ofn.lpstrFile is used instead.

struct __POSITION;
typedef __POSITION* POSITION;

class CFileDialog : public CDialog {
public:
    explicit CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension = nullptr,
                         LPCWSTR fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         LPCWSTR filter = nullptr, CWnd* parent = nullptr, DWORD size = 0,
                         BOOL vistaStyle = TRUE);
    ~CFileDialog() override;

    // IDOK when the user chose, IDCANCEL when the dialog was cancelled or could not be shown.
    INT_PTR DoModal() override;

    // The chosen file (the first one of several): its whole path, its name, the name without
    // its extension, and the extension without the dot.
    std::wstring GetPathName() const;
    std::wstring GetFileName() const;
    std::wstring GetFileTitle() const;
    std::wstring GetFileExt() const;
    // Each chosen file's whole path in turn: null when there is none, else a position that
    // GetNextPathName reads and moves on (to null after the last).
    POSITION GetStartPosition() const;
    std::wstring GetNextPathName(POSITION& position) const;

    OPENFILENAMEW m_ofn;

private:
    BOOL m_bOpenFileDialog;
    std::wstring m_strFilter;       // the filter with zeros between its texts
    std::wstring m_strDefExt;
    std::vector<WCHAR> m_fileBuffer;  // the dialog's own file buffer
    std::vector<std::wstring> m_paths;  // the files chosen, whole paths
};
