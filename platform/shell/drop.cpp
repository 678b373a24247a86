// Dropped files: the screen's drops become WM_DROPFILES for the window that accepts them.
#include <algorithm>
#include <cwchar>
#include <deque>
#include <memory>
#include <mutex>

#include "../screen/drop.h"
#include "platform/kernel.h"
#include "platform/shell.h"
#include "platform/testing.h"

namespace platform::shell {
namespace {

// How many drops may wait unfinished before the oldest is freed.
constexpr size_t kKeptDrops = 64;

struct Drop {
    POINT point = {0, 0};  // client coordinates of the window that got it
    std::vector<std::wstring> files;
};

struct DropTable {
    std::mutex lock;
    std::deque<std::unique_ptr<Drop>> live;  // guarded by lock; oldest first
};

DropTable& Drops()
{
    static DropTable* table = new DropTable;  // lives until the process ends
    return *table;
}

// The drop behind a handle; call with the table's lock held. Null for a handle that is not a
// live drop.
Drop* FindL(DropTable& table, HDROP handle)
{
    for (const auto& drop : table.live) {
        if (reinterpret_cast<HDROP>(drop.get()) == handle)
            return drop.get();
    }
    return nullptr;
}

bool AcceptsFiles(HWND window)
{
    return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
}

// Runs under the screen's drop lock, one drop at a time.
void Receive(const screen::FileDrop& screenDrop)
{
    HWND window = WindowFromPoint(screenDrop.point);
    HWND desktop = GetDesktopWindow();
    while (window && window != desktop && !AcceptsFiles(window))
        window = GetAncestor(window, GA_PARENT);
    if (!window || window == desktop || !IsWindowEnabled(GetAncestor(window, GA_ROOT)))
        return;  // no window takes files there, or a modal window disables it
    auto drop = std::make_unique<Drop>();
    drop->point = screenDrop.point;
    ScreenToClient(window, &drop->point);
    drop->files = screenDrop.files;
    HDROP handle = reinterpret_cast<HDROP>(drop.get());
    DropTable& table = Drops();
    {
        std::lock_guard<std::mutex> guard(table.lock);
        table.live.push_back(std::move(drop));
        while (table.live.size() > kKeptDrops)
            table.live.pop_front();
    }
    if (!PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0))
        DragFinish(handle);
}

}  // namespace
}  // namespace platform::shell

void DragAcceptFiles(HWND window, BOOL accept)
{
    static std::once_flag receiving;
    std::call_once(receiving,
                   [] { platform::screen::SetFileDropReceiver(&platform::shell::Receive); });
    if (!IsWindow(window))
        return;
    LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    style = accept ? (style | WS_EX_ACCEPTFILES) : (style & ~LONG_PTR(WS_EX_ACCEPTFILES));
    SetWindowLongPtrW(window, GWL_EXSTYLE, style);
}

UINT DragQueryFileW(HDROP handle, UINT index, LPWSTR file, UINT size)
{
    using namespace platform::shell;
    DropTable& table = Drops();
    std::lock_guard<std::mutex> guard(table.lock);
    Drop* drop = FindL(table, handle);
    if (!drop)
        return 0;
    if (index == 0xFFFFFFFFu)
        return static_cast<UINT>(drop->files.size());
    if (index >= drop->files.size())
        return 0;
    const std::wstring& path = drop->files[index];
    if (!file)
        return static_cast<UINT>(path.size());
    if (size == 0)
        return 0;
    size_t count = std::min<size_t>(path.size(), size - 1);
    std::wmemcpy(file, path.data(), count);
    file[count] = L'\0';
    return static_cast<UINT>(count);
}

BOOL DragQueryPoint(HDROP handle, LPPOINT point)
{
    using namespace platform::shell;
    DropTable& table = Drops();
    std::lock_guard<std::mutex> guard(table.lock);
    Drop* drop = FindL(table, handle);
    if (!drop || !point)
        return FALSE;
    *point = drop->point;
    return TRUE;  // the point lies in the client area: there is no frame here
}

void DragFinish(HDROP handle)
{
    using namespace platform::shell;
    DropTable& table = Drops();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto it = table.live.begin(); it != table.live.end(); ++it) {
        if (reinterpret_cast<HDROP>(it->get()) == handle) {
            table.live.erase(it);
            return;
        }
    }
}

namespace platform::testing {

void InjectFileDrop(int x, int y, const std::vector<std::wstring>& files)
{
    platform::screen::DeliverFileDrop(platform::screen::FileDrop{POINT{x, y}, files});
}

}  // namespace platform::testing
