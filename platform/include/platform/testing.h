// Test hooks of the platform layer. Not part of Windows: tests and tools use these to set up
// the world the code under test sees.
#pragma once

#include <string>

#include "platform/base.h"
#include "platform/gdi.h"

namespace platform::testing {

// Adds a Linux folder to the drive table as a removable drive and returns its root, for
// instance "E:\". Adding a folder already in the table returns its existing root.
PLATFORM_API std::wstring AddRemovableDrive(const std::string& folder);

// Removes the removable drive with that root ("E:\" or "E:"); false when there is none.
PLATFORM_API bool RemoveRemovableDrive(const std::wstring& root);

// Points the registry's store (and everything else kept under PLATFORM_HOME) at a folder.
PLATFORM_API void SetHomeFolder(const std::string& folder);

// Makes every font face resolve to this font file, so that text metrics do not depend on the
// fonts installed; characters the file lacks still come from the fallback faces. Fonts already
// created resolve again at their next use. An empty path (or a file that cannot be loaded)
// restores the normal resolution.
PLATFORM_API void PinFontFile(const std::string& path);

// Saves a bitmap's pixels as an 8-bit RGB PNG file for looking at; the alpha byte is not
// written (GDI leaves it 0 where it draws). False when the bitmap or the file is bad.
PLATFORM_API bool SaveBitmapPng(HBITMAP bitmap, const std::string& path);

}  // namespace platform::testing
