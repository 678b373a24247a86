// Media notices: the drive table's changes become WM_DEVICECHANGE for every top-level window
// and the registered windows' shell notices.
#include <cwctype>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "../kernel/drives.h"
#include "items.h"
#include "platform/kernel.h"
#include "platform/shell.h"

namespace platform::shell {
namespace {

// How many notices of a registration (and device notices in all) keep their data alive.
constexpr size_t kKeptNotices = 64;

struct ItemPair {
    PIDLIST_ABSOLUTE items[2] = {nullptr, nullptr};
    ~ItemPair()
    {
        ILFree(items[0]);
        ILFree(items[1]);
    }
};

struct Registration {
    HWND window = nullptr;
    LONG events = 0;
    UINT message = 0;
    std::vector<std::wstring> folders;        // upper case, without a final backslash; "" is all
    std::deque<std::unique_ptr<ItemPair>> notices;  // the newest kKeptNotices posted
};

struct NoticeState {
    std::mutex lock;
    ULONG nextId = 1;                         // guarded by lock
    std::map<ULONG, Registration> registered;  // guarded by lock
    std::deque<std::unique_ptr<DEV_BROADCAST_VOLUME>> volumes;  // guarded by lock
};

NoticeState& State()
{
    static NoticeState* state = new NoticeState;  // lives until the process ends
    return *state;
}

std::wstring FolderKey(std::wstring path)
{
    for (WCHAR& c : path) {
        c = static_cast<WCHAR>(std::towupper(c));
        if (c == L'/')
            c = L'\\';
    }
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

bool Covers(const Registration& registration, const std::wstring& root)
{
    std::wstring key = FolderKey(root);
    for (const std::wstring& folder : registration.folders) {
        if (folder.empty() || folder == key)
            return true;
    }
    return false;
}

// Posts the notices of one drive's coming or going; call with the state's lock held.
void PostNoticesL(NoticeState& state, WCHAR letter, bool arrived)
{
    auto volume = std::make_unique<DEV_BROADCAST_VOLUME>();
    volume->dbcv_size = sizeof(DEV_BROADCAST_VOLUME);
    volume->dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume->dbcv_unitmask = DWORD(1) << (letter - L'A');
    PostMessageW(HWND_BROADCAST, WM_DEVICECHANGE,
                 arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                 reinterpret_cast<LPARAM>(volume.get()));
    state.volumes.push_back(std::move(volume));
    while (state.volumes.size() > kKeptNotices)
        state.volumes.pop_front();

    std::wstring root{letter, L':', L'\\'};
    LONG event = arrived ? SHCNE_MEDIAINSERTED : SHCNE_MEDIAREMOVED;
    for (auto& [id, registration] : state.registered) {
        if (!(registration.events & event) || !Covers(registration, root))
            continue;
        auto pair = std::make_unique<ItemPair>();
        pair->items[0] = MakeItemList(root);
        if (!pair->items[0])
            continue;
        if (!PostMessageW(registration.window, registration.message,
                          reinterpret_cast<WPARAM>(pair->items), event)) {
            continue;  // the window is gone; its registration stays until deregistered
        }
        registration.notices.push_back(std::move(pair));
        while (registration.notices.size() > kKeptNotices)
            registration.notices.pop_front();
    }
}

void OnDrivesChanged(const std::vector<Drive>& before, const std::vector<Drive>& after)
{
    auto contains = [](const std::vector<Drive>& drives, const Drive& drive) {
        for (const Drive& other : drives) {
            if (other == drive)
                return true;
        }
        return false;
    };
    NoticeState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const Drive& drive : before) {
        if (drive.type == DRIVE_REMOVABLE && !contains(after, drive))
            PostNoticesL(state, drive.letter, false);
    }
    for (const Drive& drive : after) {
        if (drive.type == DRIVE_REMOVABLE && !contains(before, drive))
            PostNoticesL(state, drive.letter, true);
    }
}

// The listener is installed when the library is loaded; it only stores a pointer.
[[maybe_unused]] const bool g_listening = (SetDriveChangeListener(&OnDrivesChanged), true);

}  // namespace
}  // namespace platform::shell

ULONG SHChangeNotifyRegister(HWND window, int sources, LONG events, UINT message, int entryCount,
                             const SHChangeNotifyEntry* entries)
{
    using namespace platform::shell;
    if (!IsWindow(window) || entryCount < 1 || !entries || (sources & SHCNRF_NewDelivery)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Registration registration;
    registration.window = window;
    registration.events = events;
    registration.message = message;
    for (int i = 0; i < entryCount; ++i)
        registration.folders.push_back(FolderKey(ItemListPath(entries[i].pidl)));
    // The drive table is read once now, so that the layer watches the mounts from here on.
    platform::Drives();
    NoticeState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    ULONG id = state.nextId++;
    state.registered.emplace(id, std::move(registration));
    return id;
}

BOOL SHChangeNotifyDeregister(ULONG id)
{
    using namespace platform::shell;
    NoticeState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.registered.erase(id) ? TRUE : FALSE;
}
