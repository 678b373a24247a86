// Test hooks of the platform layer. Not part of Windows: tests and tools use these to set up
// the world the code under test sees.
#pragma once

#include <string>

#include "platform/base.h"

namespace platform::testing {

// Adds a Linux folder to the drive table as a removable drive and returns its root, for
// instance "E:\". Adding a folder already in the table returns its existing root.
PLATFORM_API std::wstring AddRemovableDrive(const std::string& folder);

// Removes the removable drive with that root ("E:\" or "E:"); false when there is none.
PLATFORM_API bool RemoveRemovableDrive(const std::wstring& root);

// Points the registry's store (and everything else kept under PLATFORM_HOME) at a folder.
PLATFORM_API void SetHomeFolder(const std::string& folder);

}  // namespace platform::testing
