// The session a program belongs to (PLATFORM_SESSION): programs of one user see each other's
// titled windows and share named mutexes only within one session, as programs on Windows do
// within one desktop. Unset or empty, the user's programs form one session.
#pragma once

#include <string>

namespace platform {

// The session's name made safe for file and socket names (letters, digits, '-' and '_' kept,
// anything else escaped, a long name cut and hashed), or "" for the default session. Read afresh
// on each call.
std::string SessionTag();

}  // namespace platform
