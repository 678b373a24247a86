// Windows of other processes: a top-level window with a title is published through an
// abstract Unix socket named after its title (in lower case) and the user, which FindWindowW
// of another process connects to. WM_COPYDATA sent to such a window travels over the socket; a
// thread of the layer (the window listener) takes it and sends it to the window, then writes
// back the answer.
//
// Locks: the publication table has its own lock, taken after Wm::lock (RemoveL withdraws a
// window under it) and never held while a window procedure runs or Wm::lock is taken.
#pragma once

#include <string>

#include "platform/user.h"

namespace platform::user {

// A top-level window's title changed (or was set at creation): publishes it under the new
// title, or withdraws it for an empty one. Call without Wm::lock.
void PublishTitle(HWND window, const std::wstring& title);
// The window is going away. May be called with Wm::lock held.
void WithdrawTitle(HWND window);

// Handles FindWindowW gives for windows of other processes.
bool IsRemoteWindow(HWND window);
// SendMessageW to such a window: only WM_COPYDATA crosses; waits at most the cross-process
// time-out, handling meanwhile what other threads send to the calling thread's windows.
LRESULT SendToRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The other process's window with this title, or null.
HWND FindRemoteWindow(const std::wstring& title);

}  // namespace platform::user
