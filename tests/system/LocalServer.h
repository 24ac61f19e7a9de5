// A server a test starts as a child process (a python3 script), on the loopback address at a port
// the system chose: the script's first output line is "PORT <number>". The server is stopped
// when the object goes; the script also ends by itself after a while, so a crashed test leaves
// nothing running for long.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class TLocalServer {
public:
    TLocalServer(const std::string& Script, const std::vector<std::string>& Args) {
        std::vector<std::string> words = {"/usr/bin/python3", Script};
        words.insert(words.end(), Args.begin(), Args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        int channel[2];
        if (pipe(channel) != 0) return;
        FPid = fork();
        if (FPid == 0) {
            dup2(channel[1], STDOUT_FILENO);
            close(channel[0]);
            close(channel[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(channel[1]);
        FOutput = fdopen(channel[0], "r");
        if (FPid < 0 || FOutput == nullptr) return;
        char line[64] = {};
        if (std::fgets(line, sizeof(line), FOutput) != nullptr)
            std::sscanf(line, "PORT %d", &FPort);
    }
    ~TLocalServer() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        if (FOutput != nullptr) std::fclose(FOutput);
    }
    TLocalServer(const TLocalServer&) = delete;
    TLocalServer& operator=(const TLocalServer&) = delete;

    // 0 when the server did not start.
    int Port() const { return FPort; }

private:
    pid_t FPid = -1;
    FILE* FOutput = nullptr;
    int FPort = 0;
};
