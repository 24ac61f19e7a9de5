// The viewer program started as a process on an Xvfb display of its own, without a window
// manager: where its window opens, when the help message appears, and that it starts and shuts
// down cleanly without its language files and with a home it cannot write to.
#include "tests/ExternalTool.h"
#include "tests/desktop/XvfbServer.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Waits for the process to end; its exit code, or -1 when it was killed or ran past a minute.
int Wait(pid_t Pid) {
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

// The top-level windows of the display that are mapped now.
std::vector<TTopWindow> MappedWindows(const std::string& Display) {
    std::string tree;
    RunTool("DISPLAY=" + Display + " xwininfo -root -children", tree);
    std::vector<TTopWindow> windows;
    const std::regex line(
        R"((0x[0-9a-f]+) (\"[^\"]*\"|\(has no name\)).*\s(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s)");
    for (std::sregex_iterator it(tree.begin(), tree.end(), line), end; it != end; ++it) {
        std::string state;
        RunTool("DISPLAY=" + Display + " xwininfo -id " + (*it)[1].str(), state);
        if (state.find("IsViewable") == std::string::npos) continue;
        windows.push_back({(*it)[2].str(), std::stoi((*it)[3]), std::stoi((*it)[4]),
                           std::stoi((*it)[5]), std::stoi((*it)[6])});
    }
    return windows;
}

const TTopWindow* Find(const std::vector<TTopWindow>& Windows, const std::string& Name) {
    for (const TTopWindow& w : Windows)
        if (w.Name == Name) return &w;
    return nullptr;
}

// Polls the display until a window named Name is mapped; false after a minute, or at once when
// the program has ended (its exit status then goes to the test's output).
bool WaitForWindow(const std::string& Display, const std::string& Name, pid_t Program) {
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(60)) {
        if (Find(MappedWindows(Display), Name) != nullptr) return true;
        int status = 0;
        if (waitpid(Program, &status, WNOHANG) == Program) {
            ADD_FAILURE() << "the program ended before showing its window, status " << status;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string Utf16Ascii(const std::string& Text) {
    std::string bytes = "\xFF\xFE";
    for (char c : Text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

class ViewerStart : public testing::Test {
protected:
    void SetUp() override {
        if (!Server.Up()) GTEST_SKIP() << "Xvfb is not installed or did not start";
        if (!ToolExists("xwininfo")) GTEST_SKIP() << "xwininfo is not installed";
    }
    std::vector<std::string> Environment(const fs::path& Home, const fs::path& Config) const {
        return {"DISPLAY=" + Server.Display(),
                "QT_QPA_PLATFORM=xcb",
                "HOME=" + Home.string(),
                "XDG_CONFIG_HOME=" + Config.string(),
                "XDG_RUNTIME_DIR=" + Runtime().string(),
                "LANG=C.UTF-8",
                "ASAN_OPTIONS=detect_leaks=0"};
    }
    // The session's runtime folder, private to its user as the toolkit expects.
    fs::path Runtime() const {
        const fs::path folder = Root.Path() / "runtime";
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
        return folder;
    }
    sv_test::TXvfbServer Server{"800x600x24"};
    ScratchFolder Root;
};

} // namespace

TEST_F(ViewerStart, OpensAroundTheSavedCentreAndShowsTheHelpAfterAMoment) {
    const fs::path config = Root.Path() / "config";
    fs::create_directories(config / "Solvaneview");
    WriteFileBytes(config / "Solvaneview" / "solvaneview.ini",
                   Utf16Ascii("centerx=320\r\ncentery=260\r\n"));
    const auto start = Clock::now();
    const std::vector<std::string> env = Environment(Root.Path(), config);
    const pid_t viewer = sv_test::SpawnProcess({SV_VIEWER_EXE}, &env);
    ASSERT_GT(viewer, 0);
    const TTopWindow* main = nullptr;
    std::vector<TTopWindow> windows;
    Clock::duration mainAfter{}, popupAfter{};
    while (Clock::now() - start < std::chrono::seconds(60)) {
        windows = MappedWindows(Server.Display());
        main = Find(windows, "\"Solvaneview\"");
        if (main != nullptr && mainAfter == Clock::duration{}) mainAfter = Clock::now() - start;
        if (main != nullptr && windows.size() > 1 &&
            std::any_of(windows.begin(), windows.end(), [&](const TTopWindow& w) {
                return &w != main && w.Width > 40 && w.Height > 40;
            })) {
            popupAfter = Clock::now() - start;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(main, nullptr);
    // 500 x 500 around the centre, then one pixel wider when first shown.
    EXPECT_EQ(main->Width, 501);
    EXPECT_EQ(main->Height, 500);
    EXPECT_EQ(main->X, 70);
    EXPECT_EQ(main->Y, 10);
    ASSERT_NE(popupAfter, Clock::duration{});
    EXPECT_GE(popupAfter - mainAfter,
              std::chrono::milliseconds(300) - std::chrono::milliseconds(100));
    kill(viewer, SIGTERM);
    EXPECT_EQ(Wait(viewer), 0);
    // Shut-down saved the window's centre.
    std::ifstream saved(config / "Solvaneview" / "solvaneview.ini", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(saved), {}};
    EXPECT_NE(bytes.find(Utf16Ascii("centerx=320\r\n").substr(2)), std::string::npos);
}

TEST_F(ViewerStart, AnOffScreenCentreOpensInsideTheScreen) {
    const fs::path config = Root.Path() / "config";
    fs::create_directories(config / "Solvaneview");
    WriteFileBytes(config / "Solvaneview" / "solvaneview.ini",
                   Utf16Ascii("centerx=5000\r\ncentery=-3000\r\n"));
    const std::vector<std::string> env = Environment(Root.Path(), config);
    const pid_t viewer = sv_test::SpawnProcess({SV_VIEWER_EXE}, &env);
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    const std::vector<TTopWindow> windows = MappedWindows(Server.Display());
    const TTopWindow* main = Find(windows, "\"Solvaneview\"");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->X, 300); // 800 - 500, the width before the first layout pass
    EXPECT_EQ(main->Y, 0);
    kill(viewer, SIGTERM);
    EXPECT_EQ(Wait(viewer), 0);
}

TEST_F(ViewerStart, StartsWithoutLanguagesAndWithAnUnusableHome) {
    // The program alone in a folder of its own: no lang/, no skin/.
    const fs::path program = Root.Path() / "program" / "solvaneview";
    fs::create_directories(program.parent_path());
    fs::copy_file(SV_VIEWER_EXE, program);
    WriteFileBytes(Root.Path() / "file", "x");
    const fs::path home = Root.Path() / "file" / "home"; // under a regular file: unusable
    const std::vector<std::string> env = Environment(home, home / ".config");
    const pid_t viewer = sv_test::SpawnProcess({program.string()}, &env);
    ASSERT_GT(viewer, 0);
    EXPECT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    kill(viewer, SIGTERM);
    EXPECT_EQ(Wait(viewer), 0);
    // The settings went to the portable folder made beside the program.
    EXPECT_TRUE(fs::exists(program.parent_path() / "userdata" / "solvaneview.ini"));
}
