// Processes the desktop tests start: a program with its own arguments and environment, and an
// Xvfb server on a display number it picks itself (-displayfd), so runs beside each other never
// collide.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace sv_test {

// Starts Args[0] from the PATH with Env as its whole environment (nil: the test's own) and, when
// InputFd is given, that descriptor as its standard input; -1 when it cannot be started.
inline pid_t SpawnProcess(std::vector<std::string> Args,
                          const std::vector<std::string>* Env = nullptr, int InputFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (InputFd >= 0) posix_spawn_file_actions_adddup2(&actions, InputFd, 0);
    std::vector<char*> argv;
    for (std::string& arg : Args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = Env != nullptr ? *Env : std::vector<std::string>{};
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                     Env != nullptr ? envp.data() : environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Ends a started process and waits for it.
inline void StopProcess(pid_t Pid) {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
}

// An Xvfb server for the life of the object; Up() is false when it did not start within a minute.
class TXvfbServer {
public:
    explicit TXvfbServer(const std::string& Screen) {
        int fds[2];
        if (pipe(fds) != 0) return;
        FServer = SpawnProcess({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                                "-screen", "0", Screen});
        close(fds[1]);
        pollfd wait{fds[0], POLLIN, 0};
        char c;
        while (poll(&wait, 1, 60000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            FDisplay += c;
        close(fds[0]);
    }
    ~TXvfbServer() { StopProcess(FServer); }
    TXvfbServer(const TXvfbServer&) = delete;
    TXvfbServer& operator=(const TXvfbServer&) = delete;

    bool Up() const { return FServer > 0 && !FDisplay.empty(); }
    // ":N"
    std::string Display() const { return ":" + FDisplay; }

private:
    pid_t FServer = -1;
    std::string FDisplay;
};

} // namespace sv_test
