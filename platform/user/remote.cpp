#include "remote.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "../kernel/session.h"
#include "platform/kernel.h"
#include "platform/testing.h"
#include "wm.h"

namespace platform::user {
namespace {

constexpr uint32_t kMagic = 0x4B56574D;            // "KVWM"
constexpr uint32_t kMaxCopyData = 64u << 20;       // bytes of one WM_COPYDATA
constexpr int kReadTimeoutMs = 2000;               // a peer that stops writing is dropped
constexpr DWORD kDefaultSendTimeoutMs = 5000;
constexpr uintptr_t kFirstRemoteHandle = 0x40000001;

std::atomic<DWORD> g_sendTimeout{kDefaultSendTimeoutMs};

struct Request {
    uint32_t magic;
    uint32_t message;
    uint64_t wParam;
    uint64_t dwData;
    uint32_t cbData;
    uint32_t reserved;
};
static_assert(sizeof(Request) == 32);

// The socket's name for a title: the same for titles that differ only in letter case.
std::string SocketName(const std::wstring& title)
{
    std::wstring lower = title;
    for (WCHAR& c : lower)
        c = static_cast<WCHAR>(std::towlower(c));
    std::string text = WideToAnsi(lower);
    // Windows of one user's session only; '@' ends the session's tag.
    std::string session = platform::SessionTag();
    std::string name = "kvplatform-window-" + std::to_string(getuid()) + "-" +
                       (session.empty() ? std::string() : session + "@");
    constexpr size_t kRoom = sizeof(sockaddr_un::sun_path) - 1;  // the leading zero byte
    if (name.size() + text.size() > kRoom) {
        uint64_t hash = 1469598103934665603ull;  // FNV-1a over the whole title
        for (unsigned char c : text)
            hash = (hash ^ c) * 1099511628211ull;
        char suffix[20];
        std::snprintf(suffix, sizeof suffix, "#%016llx", static_cast<unsigned long long>(hash));
        text = text.substr(0, kRoom - name.size() - std::strlen(suffix)) + suffix;
    }
    return name + text;
}

socklen_t Address(const std::string& name, sockaddr_un* address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path + 1, name.data(), name.size());  // abstract: leading zero
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// Reads or writes exactly `size` bytes, waiting at most `timeoutMs` for each step.
bool Transfer(int fd, void* data, size_t size, bool write, int timeoutMs)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        pollfd wait = {fd, short(write ? POLLOUT : POLLIN), 0};
        int ready = poll(&wait, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        ssize_t done = write ? send(fd, bytes, size, MSG_NOSIGNAL) : recv(fd, bytes, size, 0);
        if (done < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        size -= size_t(done);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The receiving side: published windows and the listener thread.

struct Publication {
    int fd = -1;
    std::wstring title;
};

struct Published {
    std::mutex lock;
    std::map<HWND, Publication> windows;  // guarded by lock
    int wake = -1;                        // eventfd that tells the listener the set changed
    bool listening = false;               // guarded by lock
};

Published& Pub()
{
    static Published* published = new Published;  // lives until the process ends
    return *published;
}

void Serve(int connection, HWND window)
{
    ucred peer = {};
    socklen_t length = sizeof peer;
    if (getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.uid != getuid()) {
        return;  // only the processes of the same user reach our windows
    }
    Request request;
    if (!Transfer(connection, &request, sizeof request, false, kReadTimeoutMs))
        return;  // FindWindowW's probe closes without writing
    if (request.magic != kMagic || request.message != WM_COPYDATA ||
        request.cbData > kMaxCopyData) {
        return;
    }
    std::vector<BYTE> data(request.cbData);
    if (!data.empty() && !Transfer(connection, data.data(), data.size(), false, kReadTimeoutMs))
        return;
    COPYDATASTRUCT copy = {};
    copy.dwData = static_cast<ULONG_PTR>(request.dwData);
    copy.cbData = request.cbData;
    copy.lpData = data.empty() ? nullptr : data.data();
    // The sender's window names nothing here; it arrives as the number it is.
    LRESULT result = SendMessageW(window, WM_COPYDATA, static_cast<WPARAM>(request.wParam),
                                  reinterpret_cast<LPARAM>(&copy));
    int64_t answer = result;
    Transfer(connection, &answer, sizeof answer, true, kReadTimeoutMs);
}

void Listen()
{
    pthread_setname_np(pthread_self(), "window listener");
    Published& pub = Pub();
    for (;;) {
        std::vector<pollfd> waits;
        std::vector<HWND> owners;
        waits.push_back(pollfd{pub.wake, POLLIN, 0});
        owners.push_back(nullptr);
        {
            std::lock_guard<std::mutex> guard(pub.lock);
            for (const auto& [window, publication] : pub.windows) {
                waits.push_back(pollfd{publication.fd, POLLIN, 0});
                owners.push_back(window);
            }
        }
        if (poll(waits.data(), waits.size(), -1) < 0)
            continue;
        if (waits[0].revents & POLLIN) {
            uint64_t count;
            ssize_t ignored = read(pub.wake, &count, sizeof count);
            (void)ignored;
        }
        for (size_t i = 1; i < waits.size(); ++i) {
            if (!(waits[i].revents & POLLIN))
                continue;
            int connection = -1;
            {
                // The window may have been withdrawn (its socket closed) since the poll began.
                std::lock_guard<std::mutex> guard(pub.lock);
                auto it = pub.windows.find(owners[i]);
                if (it == pub.windows.end() || it->second.fd != waits[i].fd)
                    continue;
                connection = accept4(waits[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            }
            if (connection < 0)
                continue;
            Serve(connection, owners[i]);
            close(connection);
        }
    }
}

void WakeListenerL(Published& pub)
{
    if (!pub.listening) {
        pub.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        pub.listening = true;
        std::thread(Listen).detach();
        return;
    }
    uint64_t one = 1;
    ssize_t ignored = write(pub.wake, &one, sizeof one);
    (void)ignored;
}

void WithdrawL(Published& pub, HWND window)
{
    auto it = pub.windows.find(window);
    if (it == pub.windows.end())
        return;
    // The listener's poll may still hold the socket after the close, which would leave the
    // name reachable for a moment: shutting it down first refuses every later connection.
    shutdown(it->second.fd, SHUT_RDWR);
    close(it->second.fd);
    pub.windows.erase(it);
    WakeListenerL(pub);
}

// ---------------------------------------------------------------------------------------------
// The sending side: handles for other processes' windows.

struct Remotes {
    std::mutex lock;
    std::map<HWND, std::wstring> titles;  // guarded by lock
    uintptr_t next = kFirstRemoteHandle;  // guarded by lock
};

Remotes& Rem()
{
    static Remotes* remotes = new Remotes;  // lives until the process ends
    return *remotes;
}

int Connect(const std::wstring& title)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un address;
    socklen_t length = Address(SocketName(title), &address);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

void PublishTitle(HWND window, const std::wstring& title)
{
    Published& pub = Pub();
    std::lock_guard<std::mutex> guard(pub.lock);
    auto it = pub.windows.find(window);
    if (it != pub.windows.end() && it->second.title == title)
        return;
    WithdrawL(pub, window);
    if (title.empty())
        return;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    sockaddr_un address;
    socklen_t length = Address(SocketName(title), &address);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0) {
        close(fd);  // another window (of any process) has the title: it keeps it
        return;
    }
    pub.windows[window] = Publication{fd, title};
    WakeListenerL(pub);
}

void WithdrawTitle(HWND window)
{
    Published& pub = Pub();
    std::lock_guard<std::mutex> guard(pub.lock);
    WithdrawL(pub, window);
}

bool IsRemoteWindow(HWND window)
{
    if (reinterpret_cast<uintptr_t>(window) < kFirstRemoteHandle)
        return false;
    Remotes& rem = Rem();
    std::lock_guard<std::mutex> guard(rem.lock);
    return rem.titles.count(window) != 0;
}

HWND FindRemoteWindow(const std::wstring& title)
{
    int fd = Connect(title);
    if (fd < 0)
        return nullptr;
    close(fd);  // the probe: the window exists now
    Remotes& rem = Rem();
    std::lock_guard<std::mutex> guard(rem.lock);
    for (const auto& [handle, known] : rem.titles) {
        if (SocketName(known) == SocketName(title))
            return handle;
    }
    HWND handle = reinterpret_cast<HWND>(rem.next);
    rem.next += 2;
    rem.titles[handle] = title;
    return handle;
}

LRESULT SendToRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::wstring title;
    {
        Remotes& rem = Rem();
        std::lock_guard<std::mutex> guard(rem.lock);
        auto it = rem.titles.find(window);
        if (it != rem.titles.end())
            title = it->second;
    }
    auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message != WM_COPYDATA || !copy || copy->cbData > kMaxCopyData ||
        (copy->cbData && !copy->lpData)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int fd = Connect(title);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);  // the window or its process is gone
        return 0;
    }
    Request request = {kMagic, message, uint64_t(wParam), uint64_t(copy->dwData), copy->cbData, 0};
    DWORD timeout = g_sendTimeout.load();
    bool sent = Transfer(fd, &request, sizeof request, true, int(timeout)) &&
                (copy->cbData == 0 ||
                 Transfer(fd, copy->lpData, copy->cbData, true, int(timeout)));
    if (!sent) {
        close(fd);
        SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    // Waits for the answer as a cross-thread send does: what other threads send to this
    // thread's windows is handled meanwhile.
    std::shared_ptr<ThreadState> me = CurrentThread();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    int64_t answer = 0;
    size_t got = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(G().lock);
            while (DeliverNextSentL(me.get(), lock)) {
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            close(fd);
            SetLastError(ERROR_TIMEOUT);
            return 0;
        }
        pollfd wait = {fd, POLLIN, 0};
        if (poll(&wait, 1, int(std::min<long long>(left, 10))) <= 0)
            continue;
        ssize_t done = recv(fd, reinterpret_cast<char*>(&answer) + got, sizeof answer - got, 0);
        if (done < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (done <= 0) {
            close(fd);  // the window went away before it answered
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        got += size_t(done);
        if (got == sizeof answer)
            break;
    }
    close(fd);
    return static_cast<LRESULT>(answer);
}

}  // namespace platform::user

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    using namespace platform::user;
    auto sameText = [](const std::wstring& a, const wchar_t* b) {
        size_t n = std::wcslen(b);
        if (a.size() != n)
            return false;
        for (size_t i = 0; i < n; ++i) {
            if (std::towlower(a[i]) != std::towlower(b[i]))
                return false;
        }
        return true;
    };
    {
        std::lock_guard<std::mutex> guard(G().lock);
        for (Window* w : G().topLevels) {
            if (w->destroying || w->gone)
                continue;
            if (windowName && !sameText(w->text, windowName))
                continue;
            if (className) {
                const WindowClass* wc = w->windowClass.get();
                bool match = IS_INTRESOURCE(className)
                                 ? wc && wc->atom == ATOM(reinterpret_cast<ULONG_PTR>(className))
                                 : wc && sameText(wc->name, className);
                if (!match)
                    continue;
            }
            return w->handle;
        }
    }
    // Another process's window is known by its title only.
    if (!className && windowName && *windowName)
        return FindRemoteWindow(windowName);
    return nullptr;
}

namespace platform::testing {

void SetCrossProcessSendTimeout(DWORD milliseconds)
{
    platform::user::g_sendTimeout = milliseconds ? milliseconds
                                                 : platform::user::kDefaultSendTimeoutMs;
}

}  // namespace platform::testing
