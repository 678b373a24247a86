// Files dropped on the screen from outside (the SDL window), waiting for the shell, which turns
// them into WM_DROPFILES for the window under the point that accepts files. Until the shell
// installs its receiver the drops are kept, in order, and handed over when it does.
//
// Lock: one lock guards the queue and the receiver; the receiver runs under it, so drops reach
// it one at a time and in order. The receiver may post messages (the window manager's lock
// comes after this one) but must not install another receiver.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base.h"
#include "platform/gdi.h"

namespace platform::screen {

struct FileDrop {
    POINT point = {0, 0};             // screen pixels where the files were let go
    std::vector<std::wstring> files;  // Windows paths ("C:\home\...", "E:\...")
};

using FileDropReceiver = std::function<void(const FileDrop&)>;

// Hands a drop to the receiver, or keeps it until there is one. Any thread.
PLATFORM_API void DeliverFileDrop(FileDrop drop);

// Installs the receiver (null removes it) and hands it every drop kept so far, oldest first.
PLATFORM_API void SetFileDropReceiver(FileDropReceiver receiver);

}  // namespace platform::screen
