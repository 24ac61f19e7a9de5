// The viewer program on an Xvfb display of the test's own, without a window manager: starting
// it with a fresh home and configuration, the display's mapped top-level windows, and waiting
// for the program's window or its end.
#pragma once

#include "tests/ExternalTool.h"
#include "tests/desktop/XvfbServer.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

namespace sv_test {

// Waits for the process to end; its exit code, or -1 when it was killed or ran past a minute.
inline int WaitForExit(pid_t Pid) {
    for (int i = 0; i < 600; ++i) {
        int status = 0;
        if (waitpid(Pid, &status, WNOHANG) == Pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    return -1;
}

struct TTopWindow {
    std::string Name;
    int Width = 0, Height = 0, X = 0, Y = 0;
};

// One line of "xwininfo -children": the window's id, its quoted name or "(has no name)", and
// its last "WxH+X+Y" token. False for other lines.
inline bool ParseChildLine(const std::string& Line, std::string& Id, TTopWindow& Window) {
    std::istringstream in(Line);
    if (!(in >> Id) || Id.rfind("0x", 0) != 0) return false;
    const size_t quote = Line.find('"');
    const size_t after = Line.find(Id) + Id.size() + 1;
    if (quote == after) {
        Window.Name = Line.substr(quote, Line.find('"', quote + 1) + 1 - quote);
    } else if (Line.compare(after, 13, "(has no name)") == 0) {
        Window.Name = "(has no name)";
    } else {
        return false;
    }
    bool found = false;
    for (std::string token; in >> token;) {
        int w, h, x, y, used = 0;
        if (std::sscanf(token.c_str(), "%dx%d+%d+%d%n", &w, &h, &x, &y, &used) == 4 &&
            used == static_cast<int>(token.size())) {
            Window.Width = w, Window.Height = h, Window.X = x, Window.Y = y;
            found = true;
        }
    }
    return found;
}

// The top-level windows of the display that are mapped now.
inline std::vector<TTopWindow> MappedWindows(const std::string& Display) {
    std::string tree;
    RunTool("DISPLAY=" + Display + " xwininfo -root -children", tree);
    std::vector<TTopWindow> windows;
    std::istringstream lines(tree);
    for (std::string line; std::getline(lines, line);) {
        std::string id;
        TTopWindow window;
        if (!ParseChildLine(line, id, window)) continue;
        std::string state;
        RunTool("DISPLAY=" + Display + " xwininfo -id " + id, state);
        if (state.find("IsViewable") == std::string::npos) continue;
        windows.push_back(window);
    }
    return windows;
}

inline const TTopWindow* FindWindow(const std::vector<TTopWindow>& Windows,
                                    const std::string& Name) {
    for (const TTopWindow& w : Windows)
        if (w.Name == Name) return &w;
    return nullptr;
}

// Polls the display until a window named Name is mapped; false after a minute, or at once when
// the program has ended (its exit status then goes to the test's output).
inline bool WaitForWindow(const std::string& Display, const std::string& Name, pid_t Program) {
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        if (FindWindow(MappedWindows(Display), Name) != nullptr) return true;
        int status = 0;
        if (waitpid(Program, &status, WNOHANG) == Program) {
            ADD_FAILURE() << "the program ended before showing its window, status " << status;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Text as the settings file holds it: UTF-16 little-endian with a byte-order mark.
inline std::string Utf16Ascii(const std::string& Text) {
    std::string bytes = "\xFF\xFE";
    for (char c : Text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

// A test with its own Xvfb display and scratch folder.
class TViewerDesktop : public testing::Test {
protected:
    void SetUp() override {
        if (!Server.Up()) GTEST_SKIP() << "Xvfb is not installed or did not start";
        if (!ToolExists("xwininfo")) GTEST_SKIP() << "xwininfo is not installed";
    }
    std::vector<std::string> Environment(const std::filesystem::path& Home,
                                         const std::filesystem::path& Config) const {
        return {"DISPLAY=" + Server.Display(),
                "QT_QPA_PLATFORM=xcb",
                "HOME=" + Home.string(),
                "XDG_CONFIG_HOME=" + Config.string(),
                "XDG_RUNTIME_DIR=" + Runtime().string(),
                "LANG=C.UTF-8",
                "ASAN_OPTIONS=detect_leaks=0"};
    }
    // The session's runtime folder, private to its user as the toolkit expects.
    std::filesystem::path Runtime() const {
        const std::filesystem::path folder = Root.Path() / "runtime";
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        return folder;
    }
    TXvfbServer Server{"800x600x24"};
    ScratchFolder Root;
};

} // namespace sv_test
