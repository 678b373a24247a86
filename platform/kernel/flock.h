// Advisory file locks shared by the file-backed registry and the named mutexes.
#pragma once

#include <cerrno>

#include <sys/file.h>

namespace platform {

// flock() that carries on across signals: returns 0, or -1 with errno set for any failure
// other than an interruption (EWOULDBLOCK for LOCK_NB when another holder conflicts).
inline int FlockRetrying(int fd, int operation)
{
    int result;
    do {
        result = flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

}  // namespace platform
