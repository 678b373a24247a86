// The launcher stand-in (tests/support/launcher) as a child process of a test, with pipes on
// its standard input and output.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace launchertest {

class LauncherProcess {
public:
    explicit LauncherProcess(bool stall = false)
    {
        const char* build = std::getenv("KV_BUILD_DIR");
        std::string program = std::string(build ? build : ".") + "/tests/launcher_standin";
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> argv = {program.data()};
        std::string stallFlag = "--stall";
        if (stall)
            argv.push_back(stallFlag.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        m_input = in[1];
        m_output = out[0];
    }
    ~LauncherProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_input >= 0)
            close(m_input);
        if (m_output >= 0)
            close(m_output);
    }

    // The next line it prints, waiting at most ten seconds; "" at its end or on time-out.
    std::string ReadLine()
    {
        for (;;) {
            size_t end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            pollfd wait = {m_output, POLLIN, 0};
            if (poll(&wait, 1, 10000) <= 0)
                return std::string();
            char chunk[512];
            ssize_t got = read(m_output, chunk, sizeof chunk);
            if (got <= 0)
                return std::string();
            m_buffer.append(chunk, size_t(got));
        }
    }

    // Ends its standard input, which ends it, and waits for it.
    int Finish()
    {
        close(m_input);
        m_input = -1;
        return Wait();
    }

private:
    int Wait()
    {
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t m_pid = -1;
    int m_input = -1, m_output = -1;
    std::string m_buffer;
};

}  // namespace launchertest
