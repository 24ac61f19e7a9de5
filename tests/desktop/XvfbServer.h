// Processes the desktop tests start: a program with its own arguments and environment, and an
// Xvfb server on a free display number, so runs beside each other never collide.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace sv_test {

// Starts Args[0] from the PATH with Env as its whole environment (nil: the test's own) and, when
// given, InputFd as its standard input and OutputFd as its standard output and error; -1 when it
// cannot be started.
inline pid_t SpawnProcess(std::vector<std::string> Args,
                          const std::vector<std::string>* Env = nullptr, int InputFd = -1,
                          int OutputFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (InputFd >= 0) posix_spawn_file_actions_adddup2(&actions, InputFd, 0);
    if (OutputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, OutputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, OutputFd, 2);
    }
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

// Runs Args[0] from the PATH with its output discarded; its exit code, or -1.
inline int RunQuietly(std::vector<std::string> Args, const std::vector<std::string>* Env) {
    const int null = open("/dev/null", O_WRONLY);
    const pid_t pid = SpawnProcess(std::move(Args), Env, -1, null);
    close(null);
    int status = -1;
    if (pid > 0) waitpid(pid, &status, 0);
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An Xvfb server for the life of the object; Up() is false when none could be started.
//
// The display number is picked here, not by Xvfb's own probing (-displayfd without a number):
// that probing, run by several tests at once, has handed out a display no client could reach.
// A number is tried only when no lock file and no socket of that display exist, in the file
// system or in the abstract namespace (which other containers on the same network may share),
// and it is kept only once a client has connected to it. The server never resets (-noreset): a
// reset when the probing client leaves closes the display for a moment, and a program started
// then could not connect.
class TXvfbServer {
public:
    explicit TXvfbServer(const std::string& Screen) {
        const int first = 200 + static_cast<int>((getpid() * 37 + time(nullptr)) % 700);
        for (int attempt = 0; attempt < 40 && !Up(); ++attempt) {
            const int display = first + attempt * 7;
            if (DisplayInUse(display)) continue;
            Start(display, Screen);
            if (Up() && !Reachable()) Stop();
        }
    }
    ~TXvfbServer() { Stop(); }
    TXvfbServer(const TXvfbServer&) = delete;
    TXvfbServer& operator=(const TXvfbServer&) = delete;

    bool Up() const { return FServer > 0 && !FDisplay.empty(); }
    // ":N"
    std::string Display() const { return ":" + FDisplay; }

private:
    static bool DisplayInUse(int Display) {
        const std::string number = std::to_string(Display);
        if (access(("/tmp/.X" + number + "-lock").c_str(), F_OK) == 0 ||
            access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0)
            return true;
        std::ifstream sockets("/proc/net/unix");
        const std::string name = "/tmp/.X11-unix/X" + number;
        for (std::string line; std::getline(sockets, line);)
            if (line.size() >= name.size() &&
                line.compare(line.size() - name.size(), name.size(), name) == 0)
                return true;
        return false;
    }
    // Starts Xvfb on the display and waits up to a minute for it to say it is ready; a server
    // that ends first (another one took the display) leaves the object down.
    void Start(int Display, const std::string& Screen) {
        int fds[2];
        if (pipe(fds) != 0) return;
        FServer = SpawnProcess({"Xvfb", ":" + std::to_string(Display), "-displayfd",
                                std::to_string(fds[1]), "-nolisten", "tcp", "-noreset", "-screen",
                                "0", Screen});
        close(fds[1]);
        pollfd wait{fds[0], POLLIN, 0};
        char c;
        while (poll(&wait, 1, 60000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            FDisplay += c;
        close(fds[0]);
        if (!Up()) Stop();
    }
    bool Reachable() const {
        const std::vector<std::string> env{"DISPLAY=" + Display()};
        return RunQuietly({"xwininfo", "-root"}, &env) == 0;
    }
    void Stop() {
        StopProcess(FServer);
        FServer = -1;
        FDisplay.clear();
    }

    pid_t FServer = -1;
    std::string FDisplay;
};

} // namespace sv_test
