// Kernel handles: every HANDLE the layer gives out names a KernelObject in one process-wide
// table, so that a stale, closed or foreign handle is detected instead of dereferenced.
#pragma once

#include <memory>

#include "platform/kernel.h"

namespace platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;

    // Blocks until the object is signalled or the time-out passes: WAIT_OBJECT_0,
    // WAIT_TIMEOUT, or WAIT_FAILED with ERROR_INVALID_HANDLE for objects that cannot be
    // waited on (files, find handles).
    virtual DWORD Wait(DWORD milliseconds);
};

// Registers an object and returns its new handle; the table keeps one reference.
HANDLE NewHandle(std::shared_ptr<KernelObject> object);

// The object behind a handle, or null (with ERROR_INVALID_HANDLE) for an unknown handle. The
// returned reference keeps the object alive while the caller uses it, even when another thread
// closes the handle meanwhile.
std::shared_ptr<KernelObject> HandleObject(HANDLE handle);

template <class T>
std::shared_ptr<T> HandleAs(HANDLE handle)
{
    auto object = std::dynamic_pointer_cast<T>(HandleObject(handle));
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// Removes a handle from the table; false (with ERROR_INVALID_HANDLE) when it is unknown.
bool ReleaseHandle(HANDLE handle);

}  // namespace platform
