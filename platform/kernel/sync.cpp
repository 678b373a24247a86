// Events, critical sections and the named mutex.
//
// Events and mutexes share one table of names within the process, as kernel objects share one
// namespace on Windows: a second creation of a name returns the same object with
// ERROR_ALREADY_EXISTS, and a name already taken by the other kind fails with
// ERROR_INVALID_HANDLE. Names compare exactly (with regard to case). A name lives while some
// handle to its object is open.
//
// A named mutex is also visible to the other processes of the same user. Each holder keeps a
// shared flock on a lock file named after the mutex in a private runtime folder
// ($XDG_RUNTIME_DIR/kvplatform, else /tmp/kvplatform-<uid>). A creator learns whether anybody
// holds the name by trying an exclusive lock without blocking. The try and the switch to the
// shared lock happen under a second, exclusive "gate" lock, because flock converts a lock by
// dropping it first: without the gate, two processes starting together could both find the
// name free. The kernel drops a process's locks when it ends, however it ends, so a crashed
// holder never leaves the name taken. The mutex cannot be owned (there is no ReleaseMutex
// here): waiting on its handle fails, and only the existence check is offered.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "flock.h"
#include "session.h"
#include "handle.h"
#include "wait.h"

namespace platform {
namespace {

// ---------------------------------------------------------------------------------------------
// Names within the process

struct NameTable {
    std::mutex lock;
    // Guarded by `lock`. Entries whose object has gone are replaced on the next creation and
    // erased by the object's destructor.
    std::unordered_map<std::wstring, std::weak_ptr<KernelObject>> objects;
};

NameTable& Names()
{
    static NameTable* table = new NameTable;  // lives until the process ends
    return *table;
}

// Called by a named object's destructor. The entry may already belong to a newer object of
// the same name, which must stay.
void ForgetName(const std::wstring& name)
{
    NameTable& table = Names();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(name);
    if (it != table.objects.end() && it->second.expired())
        table.objects.erase(it);
}

// Looks for a live object named `key`, with the table locked through `guard`. When there is one,
// the table is unlocked, `*handle` is a new handle to it (ERROR_ALREADY_EXISTS) or null with
// ERROR_INVALID_HANDLE when the object is of another kind than T, and the call returns true.
// Otherwise the table stays locked, so that the caller can create the object and enter it as the
// one of that name.
template <class T>
bool OpenNamed(NameTable& table, const std::wstring& key, std::unique_lock<std::mutex>& guard,
               HANDLE* handle)
{
    std::shared_ptr<KernelObject> object;  // released after the table's lock (see ForgetName)
    auto it = table.objects.find(key);
    if (it != table.objects.end())
        object = it->second.lock();
    if (!object)
        return false;
    guard.unlock();
    if (!std::dynamic_pointer_cast<T>(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        *handle = nullptr;
        return true;
    }
    *handle = NewHandle(object);
    SetLastError(ERROR_ALREADY_EXISTS);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Events

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool initialState, std::wstring name)
        : m_manualReset(manualReset), m_signalled(initialState), m_name(std::move(name))
    {
    }
    ~EventObject() override
    {
        if (!m_name.empty())
            ForgetName(m_name);
    }

    // An auto-reset event is consumed by the one wait it releases.
    DWORD Wait(DWORD milliseconds) override
    {
        std::unique_lock<std::mutex> guard(m_lock);
        DWORD result =
            WaitUntilReady(m_changed, guard, milliseconds, [this] { return m_signalled; });
        if (result == WAIT_OBJECT_0 && !m_manualReset)
            m_signalled = false;
        return result;
    }

    void Set()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_signalled = true;
        }
        // An auto-reset event lets one waiter through; waking more would only send the
        // others back to sleep.
        if (m_manualReset)
            m_changed.notify_all();
        else
            m_changed.notify_one();
    }

    void Reset()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_signalled = false;
    }

private:
    const bool m_manualReset;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_signalled;  // guarded by m_lock
    const std::wstring m_name;
};

// ---------------------------------------------------------------------------------------------
// The named mutex

class MutexObject : public KernelObject {
public:
    // `lockFile` is the descriptor holding the shared flock, or -1 for an unnamed mutex; the
    // object owns it.
    MutexObject(std::wstring name, int lockFile) : m_name(std::move(name)), m_lockFile(lockFile) {}
    ~MutexObject() override
    {
        if (m_lockFile >= 0)
            close(m_lockFile);  // drops the shared lock
        if (!m_name.empty())
            ForgetName(m_name);
    }
    // Wait is inherited: WAIT_FAILED, since the mutex cannot be owned.

private:
    const std::wstring m_name;
    const int m_lockFile;
};

DWORD ErrorFromErrno(int error)
{
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
            return ERROR_PATH_NOT_FOUND;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INVALID_FUNCTION;
    }
}

// The folder of the lock files, created private to this user. A folder under /tmp that some
// other user made (or a link planted there) is refused, since its lock files could be held
// or removed by that user.
bool RuntimeFolder(std::string* folder, DWORD* error)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string path;
    if (runtime && runtime[0] == '/')
        path = std::string(runtime) + "/kvplatform";
    else
        path = "/tmp/kvplatform-" + std::to_string(geteuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = ErrorFromErrno(errno);
        return false;
    }
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        *error = ErrorFromErrno(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    *folder = path;
    return true;
}

// A file name for a mutex name: letters, digits, '-' and '_' stand for themselves and every
// other character is "%" with eight hex digits, so distinct names never share a file. Names
// too long for a file name keep a prefix and a 64-bit FNV-1a hash of the whole.
std::string LockFileName(const std::wstring& name)
{
    std::string encoded;
    for (wchar_t c : name) {
        uint32_t u = uint32_t(c);
        bool plain = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                     u == '-' || u == '_';
        if (plain) {
            encoded += char(u);
        } else {
            char escape[10];
            std::snprintf(escape, sizeof escape, "%%%08X", unsigned(u));
            encoded += escape;
        }
    }
    if (encoded.size() > 180) {
        uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : encoded)
            hash = (hash ^ c) * 1099511628211ull;
        char suffix[20];
        std::snprintf(suffix, sizeof suffix, "~%016llX", static_cast<unsigned long long>(hash));
        encoded = encoded.substr(0, 100) + suffix;
    }
    return "mutex." + encoded;
}

// Takes a shared lock on the name's lock file. Returns the descriptor (-1 on failure, with
// *error set) and whether some other holder already had the name.
int HoldNamedLock(const std::wstring& name, bool* existed, DWORD* error)
{
    std::string folder;
    if (!RuntimeFolder(&folder, error))
        return -1;

    int gate =
        open((folder + "/mutex.gate").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (gate < 0) {
        *error = ErrorFromErrno(errno);
        return -1;
    }
    // Held only for the two flock calls below by any process, so this wait is short.
    if (FlockRetrying(gate, LOCK_EX) != 0) {
        *error = ErrorFromErrno(errno);
        close(gate);
        return -1;
    }
    // A session's mutexes are its own; '@' never appears in an encoded name.
    std::string session = platform::SessionTag();
    std::string file = session.empty() ? LockFileName(name) : session + "@" + LockFileName(name);
    int fd = open((folder + "/" + file).c_str(),
                  O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = ErrorFromErrno(errno);
        close(gate);
        return -1;
    }
    if (FlockRetrying(fd, LOCK_EX | LOCK_NB) == 0) {
        *existed = false;
    } else if (errno == EWOULDBLOCK) {
        *existed = true;
    } else {
        *error = ErrorFromErrno(errno);
        close(fd);
        close(gate);
        return -1;
    }
    // Other holders have shared locks only, and exclusive ones are taken only under the gate,
    // so this never waits.
    if (FlockRetrying(fd, LOCK_SH) != 0) {
        *error = ErrorFromErrno(errno);
        close(fd);
        close(gate);
        return -1;
    }
    close(gate);
    return fd;
}

// ---------------------------------------------------------------------------------------------
// Critical sections

pthread_mutex_t* SectionMutex(LPCRITICAL_SECTION section)
{
    auto* mutex = section ? static_cast<pthread_mutex_t*>(section->impl) : nullptr;
    if (!mutex) {
        // Windows crashes here too; saying why saves a debugging session.
        std::fprintf(stderr, "platform: critical section used without InitializeCriticalSection\n");
        std::abort();
    }
    return mutex;
}

}  // namespace
}  // namespace platform

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    using namespace platform;
    if (!name || !name[0]) {
        SetLastError(ERROR_SUCCESS);
        return NewHandle(std::make_shared<EventObject>(manualReset, initialState, L""));
    }
    std::wstring key(name);
    NameTable& table = Names();
    std::unique_lock<std::mutex> guard(table.lock);
    HANDLE existing;
    if (OpenNamed<EventObject>(table, key, guard, &existing))
        return existing;
    auto object = std::make_shared<EventObject>(manualReset, initialState, key);
    table.objects[key] = object;
    guard.unlock();
    HANDLE handle = NewHandle(object);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL SetEvent(HANDLE event)
{
    auto object = platform::HandleAs<platform::EventObject>(event);
    if (!object)
        return FALSE;
    object->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    auto object = platform::HandleAs<platform::EventObject>(event);
    if (!object)
        return FALSE;
    object->Reset();
    return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name)
{
    using namespace platform;
    if (initialOwner) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!name || !name[0]) {
        SetLastError(ERROR_SUCCESS);
        return NewHandle(std::make_shared<MutexObject>(L"", -1));
    }
    std::wstring key(name);
    NameTable& table = Names();
    // The table stays locked across the file locks, so that two threads creating one name
    // make one object between them.
    std::unique_lock<std::mutex> guard(table.lock);
    HANDLE existing;
    if (OpenNamed<MutexObject>(table, key, guard, &existing))
        return existing;
    bool existed = false;
    DWORD error = ERROR_SUCCESS;
    int fd = HoldNamedLock(key, &existed, &error);
    if (fd < 0) {
        guard.unlock();
        SetLastError(error);
        return nullptr;
    }
    auto object = std::make_shared<MutexObject>(key, fd);
    table.objects[key] = object;
    guard.unlock();
    HANDLE handle = NewHandle(object);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    auto* mutex = new pthread_mutex_t;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    section->impl = mutex;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    auto* mutex = static_cast<pthread_mutex_t*>(section->impl);
    if (!mutex)
        return;
    pthread_mutex_destroy(mutex);
    delete mutex;
    section->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_lock(platform::SectionMutex(section));
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    return pthread_mutex_trylock(platform::SectionMutex(section)) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_unlock(platform::SectionMutex(section));
}
