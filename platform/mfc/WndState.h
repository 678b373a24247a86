// What the framework's window classes share: the permanent map of window objects, the state of
// each thread (the object being created, the message being handled, temporary objects), the
// framework's window classes and the message pump of its loops.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/mfc.h"

namespace platform::mfc {

// The message a handler is running for, so that CWnd::Default can pass it on; frames nest with
// sent messages and are kept on the stack of AfxWndProc.
struct MessageFrame {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    MessageFrame* previous;
};

// Per thread; only the owning thread touches it. Trivially destructible, so that objects
// destroyed late at the program's end (globals) may still look at it.
struct ThreadState {
    // The object whose CreateEx runs on this thread and whose window has not yet had its first
    // message; AfxWndProc attaches it to the first window without an object that it sees.
    CWnd* creating = nullptr;
    MessageFrame* current = nullptr;
};

ThreadState& Thread();
// FromHandle's objects for handles without a permanent one, freed at idle and at the thread's
// end.
std::unordered_map<HWND, std::unique_ptr<CWnd>>& Temporaries();
// Frees the calling thread's temporary window objects, unless a message handler of the thread
// is running (the loop is nested inside it).
void DeleteTemporaries();

// The permanent map. Attach fails when the handle or the object is mapped already.
bool MapAttach(HWND window, CWnd* object);
void MapDetach(HWND window, CWnd* object);
CWnd* MapFind(HWND window);

// The class CreateEx should use for `className` (null: the framework's default class), and the
// procedure that does the default processing of its windows (null: DefWindowProcW). A class
// whose procedure is not AfxWndProc is superclassed: a framework class with the same attributes
// whose procedure is AfxWndProc. False, with the last error set, when there is no such class.
bool ResolveClass(LPCWSTR className, std::wstring* use, WNDPROC* super);

// The "Static" class, registered once for the process.
void EnsureStaticClass();
// The dialog class, registered once; its windows are made only by CDialog.
LPCWSTR DialogClassName();

// Takes one message and offers it to WalkPreTranslateTree (up to `stop`), else translates and
// dispatches it; before blocking for it, frees the thread's temporary objects. False when the
// message is WM_QUIT (its exit code in *quitCode) or the queue is unusable.
bool PumpMessage(HWND stop, int* quitCode);

// The thread the application object belongs to: the one that made it, then the one running
// AfxWinMain; 0 without an application object.
DWORD ApplicationThread();

}  // namespace platform::mfc
