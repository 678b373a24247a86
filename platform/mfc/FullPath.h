// Absolute paths for the framework's file classes.
#pragma once

#include <string>

namespace platform::mfc {

// A Windows path made absolute: one that starts with a drive letter, a colon and a separator
// is returned as written; any other (relative, rooted on the current drive, drive-relative)
// is resolved against the current folder and returned in Windows form.
std::wstring FullPath(const std::wstring& path);

}  // namespace platform::mfc
