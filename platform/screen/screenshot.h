// Saving the screen to a file: PLATFORM_SCREENSHOT at exit and testing::SaveScreenPng.
#pragma once

#include <string>

#include "platform/gdi.h"

namespace platform::screen {

// Composes the screen and saves `area` of it (null: all of it) as an 8-bit RGB PNG file,
// written beside `path` and renamed over it. False when the area holds no screen pixel or the
// file cannot be written; an existing file is then left as it was.
bool SaveScreenFile(const std::string& path, const RECT* area);

// Saves the screen to PLATFORM_SCREENSHOT once per process: the first call saves it, later
// ones (the one at exit among them) do nothing. True when this call wrote the file; a file
// that cannot be written is reported on standard error.
bool TakeScreenshot();

}  // namespace platform::screen
