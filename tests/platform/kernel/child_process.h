// A second process for tests of state shared between processes: the test program starts
// itself again, and the copy runs one "role" before main and exits with the role's result.
//
// A test file declares its roles with KV_CHILD_ROLES(function), where function(role) returns
// the exit code (0 for success). Role and arguments travel in the environment. The child gets
// two pipes: it writes to fd 3 to say it is ready (ChildProcess::WaitReady) and waits for fd 4
// to reach its end (ChildProcess::Release, or the parent's death), so a test can look at the
// world while the child holds something. Nothing here sleeps or measures time.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kvtest {

constexpr int kReadyFd = 3;
constexpr int kReleaseFd = 4;

class ChildProcess {
public:
    // Starts the copy with KV_CHILD_ROLE=role and the extra "NAME=value" entries; an entry
    // "NAME" without a value removes that variable from the child's environment.
    ChildProcess(const std::string& role, const std::vector<std::string>& environment)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0)
            return;
        // Kept above the two numbers the child uses, so that dup2 always makes a fresh,
        // inheritable descriptor.
        m_ready = Lifted(ready[0]);
        int childReady = Lifted(ready[1]);
        int childRelease = Lifted(release[0]);
        m_release = Lifted(release[1]);

        auto removed = [&](const char* entry) {
            if (std::strncmp(entry, "KV_CHILD_", 9) == 0)
                return true;
            for (const auto& change : environment) {
                std::string name = change.substr(0, change.find('='));
                if (std::strncmp(entry, name.c_str(), name.size()) == 0 &&
                    entry[name.size()] == '=')
                    return true;
            }
            return false;
        };
        std::vector<std::string> entries;
        for (char** entry = environ; *entry; ++entry)
            if (!removed(*entry))
                entries.emplace_back(*entry);
        entries.push_back("KV_CHILD_ROLE=" + role);
        for (const auto& change : environment)
            if (change.find('=') != std::string::npos)
                entries.push_back(change);
        std::vector<char*> envp;
        for (auto& entry : entries)
            envp.push_back(entry.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childReady, kReadyFd);
        posix_spawn_file_actions_adddup2(&actions, childRelease, kReleaseFd);
        char program[] = "/proc/self/exe";
        char* argv[] = {program, nullptr};
        if (posix_spawn(&m_pid, program, &actions, nullptr, argv, envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(childReady);
        close(childRelease);
    }
    ~ChildProcess()
    {
        Release();
        if (m_ready >= 0)
            close(m_ready);
        if (m_pid > 0)
            Wait();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }

    // Blocks until the child says it is ready; false when it ended without saying so.
    bool WaitReady()
    {
        char byte;
        ssize_t got;
        do {
            got = read(m_ready, &byte, 1);
        } while (got < 0 && errno == EINTR);
        return got == 1;
    }

    // Lets the child go on past its wait.
    void Release()
    {
        if (m_release >= 0)
            close(m_release);
        m_release = -1;
    }

    void Kill()
    {
        if (m_pid > 0)
            kill(m_pid, SIGKILL);
    }

    // The child's exit code, or 128 + the signal that ended it.
    int Wait()
    {
        if (m_pid <= 0)
            return -1;
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status;
    }

private:
    static int Lifted(int fd)
    {
        int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        close(fd);
        return high;
    }

    pid_t m_pid = -1;
    int m_ready = -1;
    int m_release = -1;
    int m_status = -1;
};

// In the child: tells the parent it is ready.
inline void Ready()
{
    char byte = 1;
    while (write(kReadyFd, &byte, 1) < 0 && errno == EINTR) {
    }
}

// In the child: tells the parent it is ready, then waits until it is released.
inline void ReadyAndWait()
{
    Ready();
    char byte;
    ssize_t got;
    do {
        got = read(kReleaseFd, &byte, 1);
    } while (got != 0 && !(got < 0 && errno != EINTR));
}

inline std::string ChildArgument(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Runs the role before main when this process is a child; _exit keeps the parent's test
// framework and the sanitizers' exit reports out of it.
inline int RunChildRole(int (*roles)(const std::string& role))
{
    const char* role = std::getenv("KV_CHILD_ROLE");
    if (role && role[0])
        _exit(roles(role));
    return 0;
}

}  // namespace kvtest

#define KV_CHILD_ROLES(function) \
    static const int kv_child_role_runner = ::kvtest::RunChildRole(function)
