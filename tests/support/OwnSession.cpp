// Every test program is a session of its own (PLATFORM_SESSION), shared with the programs it
// starts: tests that run side by side then never find each other's titled windows or named
// mutexes (two launcher stand-ins, two single-instance viewers). A session given from outside
// is kept.
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

const bool g_ownSession = [] {
    std::string session = "test-" + std::to_string(getpid());
    return setenv("PLATFORM_SESSION", session.c_str(), /*overwrite=*/0) == 0;
}();

}  // namespace
