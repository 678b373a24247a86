// Test hooks of the platform layer. Not part of Windows: tests and tools use these to set up
// the world the code under test sees.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/base.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace platform::testing {

// Adds a Linux folder to the drive table as a removable drive and returns its root, for
// instance "E:\". Adding a folder already in the table returns its existing root; a folder that
// does not exist gives "". The drive leaves the table when its folder is deleted and comes back
// when it is made again. Adding and removing post the media notices (shell.h).
PLATFORM_API std::wstring AddRemovableDrive(const std::string& folder);

// Removes the removable drive with that root ("E:\" or "E:"); false when there is none. A drive
// of a mount or of PLATFORM_REMOVABLE_DRIVES stays away until its folder is added again.
PLATFORM_API bool RemoveRemovableDrive(const std::wstring& root);

// Points the registry's store (and everything else kept under PLATFORM_HOME) at a folder.
PLATFORM_API void SetHomeFolder(const std::string& folder);

// Makes this process kill itself (SIGKILL) in the middle of its next registry rewrite, once
// `bytes` bytes of the new hive file are written (the whole file when it is no longer: the
// rewrite then dies before the new file takes the old one's place). For a child process of a
// test, to show what a writer that dies there leaves behind.
PLATFORM_API void DieDuringNextRegistryWrite(size_t bytes);

// Makes every font face resolve to this font file, so that text metrics do not depend on the
// fonts installed; characters the file lacks still come from the fallback faces. Fonts already
// created resolve again at their next use. An empty path (or a file that cannot be loaded)
// restores the normal resolution.
PLATFORM_API void PinFontFile(const std::string& path);

// Saves a bitmap's pixels as an 8-bit RGB PNG file for looking at; the alpha byte is not
// written (GDI leaves it 0 where it draws). False when the bitmap or the file is bad.
PLATFORM_API bool SaveBitmapPng(HBITMAP bitmap, const std::string& path);

// ---------------------------------------------------------------------------------------------
// Window manager: injected input, pumping, the manual clock, message boxes and window pixels.

enum class MouseButton { Left, Right, Middle };

// Input appended to the input queue as a device would send it, in screen pixels. Which window
// gets it is decided when a thread retrieves it (see user.h).
PLATFORM_API void InjectMouseMove(int x, int y);
PLATFORM_API void InjectMouseButton(int x, int y, MouseButton button, bool down);
// A move to (x, y), a press and a release.
PLATFORM_API void InjectClick(int x, int y, MouseButton button = MouseButton::Left);
PLATFORM_API void InjectWheel(int x, int y, int delta);
PLATFORM_API void InjectKey(UINT virtualKey, bool down);
// Presses the keys in order and releases them in reverse order: {VK_CONTROL, 'O'} is Ctrl+O.
PLATFORM_API void InjectKeys(std::initializer_list<UINT> keys);

// Retrieves and dispatches the calling thread's messages (TranslateMessage, DispatchMessageW)
// until none is left: sent, posted, input, WM_PAINT and due WM_TIMER messages. A message for
// which `filter` answers true is taken but not dispatched (a framework's PreTranslateMessage).
// Returns how many messages were dispatched or filtered.
PLATFORM_API int PumpMessages(const std::function<bool(MSG&)>& filter = nullptr);
// Blocks until the thread waits in GetMessageW or WaitMessage with nothing to do, handling
// meanwhile what is sent to the calling thread's windows. False when the thread has no queue,
// ended, or is the calling thread.
PLATFORM_API bool WaitForThreadIdle(DWORD threadId);

// The window manager's clock (timers, hover, double clicks, message times) stops following
// the tick count and moves only when told to, from the time it had when switched.
PLATFORM_API void UseManualClock();
// Moves the manual clock forward; each timer that became due gives one WM_TIMER.
PLATFORM_API void AdvanceClock(DWORD milliseconds);
// Moves the manual clock forward step by step, to each due time of the calling thread's timers
// and hovers in turn, pumping the calling thread's messages at every step, so that a 10 ms timer
// fires 100 times in a second, in order with the other timers.
PLATFORM_API void AdvanceClockAndPump(DWORD milliseconds);

// What a message box showed and how it was answered.
struct ShownMessageBox {
    HWND owner = nullptr;  // the top-level window that owned and was disabled by the box
    std::wstring caption;
    std::wstring text;
    UINT type = 0;
    std::vector<std::wstring> buttons;  // captions, left to right
    int answer = 0;
    bool scripted = false;  // the answer came from AnswerMessageBoxes' list
    // The box's pixels as drawn when it was answered, row by row from the top (0xAARRGGBB).
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// From now on message boxes are shown, drawn and answered without a user: with these answers
// in order (IDOK, IDYES, ...), then with each box's default button. Calling it again replaces
// the answers that are left.
PLATFORM_API void AnswerMessageBoxes(std::vector<int> answers);
// The boxes answered since message boxes were first scripted (or since the last clear).
PLATFORM_API std::vector<ShownMessageBox> ShownMessageBoxes();
PLATFORM_API void ClearShownMessageBoxes();

// A copy of a window's pixels as the screen shows them, row by row from the top (0xAARRGGBB):
// a layered window's picture, else the window's own buffer with its visible child windows
// drawn over it (other windows that may cover it are left out). False for a bad window.
PLATFORM_API bool ReadWindowPixels(HWND window, std::vector<uint32_t>* pixels, SIZE* size);
// The same saved as an 8-bit RGB PNG file for looking at.
PLATFORM_API bool SaveWindowPng(HWND window, const std::string& path);

// ---------------------------------------------------------------------------------------------
// Screen: the virtual screen as the presenter shows it, every visible top-level window composed
// in z-order (layered windows with their alpha). PLATFORM_SCREENSHOT=file.png saves it at exit.

// A copy of the screen, brought up to date with every window first, row by row from the top;
// every pixel is opaque (0xFFRRGGBB). `area` (screen pixels, clipped to the screen) limits the
// copy, for instance to a window's GetWindowRect: the window as the screen shows it, with its
// children and whatever lies over it. False when the area holds no screen pixel.
PLATFORM_API bool ReadScreenPixels(std::vector<uint32_t>* pixels, SIZE* size,
                                   const RECT* area = nullptr);
// The same saved as an 8-bit RGB PNG file for looking at. False when the area holds no screen
// pixel or the file cannot be written (an existing file is then left as it was).
PLATFORM_API bool SaveScreenPng(const std::string& path, const RECT* area = nullptr);

// ---------------------------------------------------------------------------------------------
// Debug output and the web browser

// The texts handed to OutputDebugStringW/A, oldest first (the most recent 4096), and clearing them.
PLATFORM_API std::vector<std::wstring> DebugStrings();
PLATFORM_API void ClearDebugStrings();

// How long one entry into a page's script (a script block, an execScript, a handler or a timer)
// may run before it is stopped with an error; 2000 ms unless set. 0 restores the default.
PLATFORM_API void SetScriptTimeBudget(DWORD milliseconds);

// While set, the web browser's DWebBrowserEvents2 connection point refuses every sink
// (CONNECT_E_CANNOTCONNECT), as a point does whose connections are used up.
PLATFORM_API void RefuseBrowserEventSinks(bool refuse);

// ---------------------------------------------------------------------------------------------
// Shell: dropped files (the drives' hooks are at the top; adding or removing a drive raises
// WM_DEVICECHANGE and the media notices as a card would)

// Files let go at (x, y) on the screen, as the SDL presenter hands them over: Windows paths.
// The window there that accepts files (or its nearest such ancestor) gets WM_DROPFILES posted.
PLATFORM_API void InjectFileDrop(int x, int y, const std::vector<std::wstring>& files);

// A file dialog's answer: the files chosen (Windows paths), or a cancel.
struct FileDialogAnswer {
    bool ok = false;
    std::vector<std::wstring> files;
};

// What a file dialog showed and how it was answered.
struct ShownFileDialog {
    bool save = false;
    HWND owner = nullptr;
    std::wstring title;
    std::vector<std::pair<std::wstring, std::wstring>> filters;  // description, patterns
    DWORD filterIndex = 0;
    std::wstring fileName;  // the initial file name
    std::wstring defaultExtension;
    std::wstring initialFolder;
    DWORD flags = 0;
    FileDialogAnswer answer;
};

// From now on file dialogs are answered without a user: with these answers in order, then
// cancelled. Calling it again replaces the answers that are left.
PLATFORM_API void AnswerFileDialogs(std::vector<FileDialogAnswer> answers);
// The dialogs answered since file dialogs were first scripted (or since the last clear).
PLATFORM_API std::vector<ShownFileDialog> ShownFileDialogs();
PLATFORM_API void ClearShownFileDialogs();

// How long SendMessageW to another process's window waits for its answer; 0 restores 5 s.
PLATFORM_API void SetCrossProcessSendTimeout(DWORD milliseconds);

}  // namespace platform::testing
