#include "FullPath.h"

#include "platform/kernel.h"

namespace platform::mfc {

std::wstring FullPath(const std::wstring& path)
{
    bool letter = path.size() >= 3 &&
                  ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    if (letter && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/'))
        return path;
    return platform::ToWindowsPath(platform::ToNativePath(path));
}

}  // namespace platform::mfc
