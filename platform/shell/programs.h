// Programs the shell hands work to (xdg-open, zenity), found as a shell finds them.
#pragma once

#include <string>

namespace platform::shell {

// The first executable file of that name in the folders of PATH (a usual PATH when it is unset),
// or "" when there is none.
std::string FindOnPath(const std::string& name);

}  // namespace platform::shell
