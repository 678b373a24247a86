#include "handle.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct HandleTable {
    std::mutex lock;
    // Guarded by `lock`. Handle values are multiples of 4, as on Windows, and never 0 or -1.
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 4;  // guarded by `lock`
};

HandleTable& Table()
{
    static HandleTable* table = new HandleTable;  // lives until the process ends
    return *table;
}

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

DWORD KernelObject::Wait(DWORD)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE NewHandle(std::shared_ptr<KernelObject> object)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t value = table.next;
    table.next += 4;
    if (table.next >= (uintptr_t(1) << 30)) table.next = 4;
    while (table.objects.count(value)) {
        value = table.next;
        table.next += 4;
    }
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> HandleObject(HANDLE handle)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

bool ReleaseHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> doomed;  // destroyed outside the table's lock
    HandleTable& table = Table();
    {
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        doomed = std::move(it->second);
        table.objects.erase(it);
    }
    return true;
}

}  // namespace platform

DWORD GetLastError() { return platform::t_lastError; }

void SetLastError(DWORD code) { platform::t_lastError = code; }

BOOL CloseHandle(HANDLE object) { return platform::ReleaseHandle(object) ? TRUE : FALSE; }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto object = platform::HandleObject(handle);
    if (!object) return WAIT_FAILED;
    return object->Wait(milliseconds);
}

LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size ? size : 1); }

void CoTaskMemFree(LPVOID memory) { std::free(memory); }
