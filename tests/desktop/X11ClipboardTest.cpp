// The file list on the X11 clipboard, read and written by xclip, on an Xvfb display that this
// program starts for itself.
#include "tests/components/DropTestSupport.h"

#include "components/SVDropTarget.h"
#include "tests/ExternalTool.h"
#include "tests/platform/ui/PumpUntil.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <future>

extern char** environ;

namespace {

// Why the X11 tests cannot run; empty when the display is up.
std::string SkipReason = "the display was not started";

pid_t Spawn(std::vector<std::string> Args, int InputFd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (InputFd >= 0) posix_spawn_file_actions_adddup2(&actions, InputFd, 0);
    std::vector<char*> argv;
    for (std::string& arg : Args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t Pid) {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
}

// Starts Xvfb on a display number it picks itself (-displayfd), so runs beside each other never
// collide, and points Qt at it before the first window is made.
class TXvfbDisplay : public testing::Environment {
public:
    void SetUp() override {
        if (!ToolExists("Xvfb")) {
            SkipReason = "Xvfb is not installed";
            return;
        }
        int fds[2];
        if (pipe(fds) != 0) return;
        FServer = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                         "-screen", "0", "640x480x24"});
        close(fds[1]);
        const std::string display = ReadLine(fds[0]);
        close(fds[0]);
        if (FServer <= 0 || display.empty()) {
            SkipReason = "Xvfb did not start";
            return;
        }
        setenv("DISPLAY", (":" + display).c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        SkipReason.clear();
    }
    void TearDown() override { Stop(FServer); }

private:
    // The display number Xvfb writes once it accepts clients; empty after a minute without it.
    static std::string ReadLine(int Fd) {
        std::string line;
        pollfd wait{Fd, POLLIN, 0};
        char c;
        while (poll(&wait, 1, 60000) > 0 && read(Fd, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    pid_t FServer = -1;
};

const auto* Display = testing::AddGlobalTestEnvironment(new TXvfbDisplay);

// Runs xclip while the message loop serves the clipboard to it.
std::string Xclip(const std::string& Arguments) {
    auto run = std::async(std::launch::async, [&] {
        std::string output;
        RunTool("timeout 30 xclip -selection clipboard " + Arguments, output);
        return output;
    });
    PumpUntil([&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return run.get();
}

class X11Clipboard : public testing::Test {
protected:
    void SetUp() override {
        if (!SkipReason.empty()) GTEST_SKIP() << SkipReason;
        if (!ToolExists("xclip")) GTEST_SKIP() << "xclip is not installed";
    }
    TTempFolder Folder;
};

} // namespace

TEST_F(X11Clipboard, CutOffersTheDesktopsFileLists) {
    const String file = Folder.File("a b.png");
    TSVDropFileSource source(nullptr);
    source.Files().Add(file);
    ASSERT_TRUE(source.CutToClipboard());

    const std::string targets = Xclip("-o -t TARGETS");
    for (const char* type :
         {"text/uri-list", "x-special/gnome-copied-files", "application/x-kde-cutselection"})
        EXPECT_NE(targets.find(type), std::string::npos) << type << " in\n" << targets;
    const std::string uri = "file://" + Utf8FromStr(Folder.Path()) + "/a%20b.png";
    EXPECT_EQ(Xclip("-o -t x-special/gnome-copied-files"), "cut\n" + uri);
    EXPECT_NE(Xclip("-o -t text/uri-list").find(uri), std::string::npos);
    EXPECT_EQ(Xclip("-o -t application/x-kde-cutselection"), "1");
}

TEST_F(X11Clipboard, CopyListFromAnotherProgramPastes) {
    const String file = Folder.File("pasted.png");
    const auto list = UniqueTempPath("gnome-list");
    WriteFileBytes(list, "copy\nfile://" + Utf8FromStr(file));
    const int input = open(list.c_str(), O_RDONLY);
    ASSERT_GE(input, 0);
    const pid_t owner = Spawn({"xclip", "-selection", "clipboard", "-i", "-quiet", "-t",
                               "x-special/gnome-copied-files"},
                              input);
    close(input);
    ASSERT_GT(owner, 0);

    TSVDropFileTarget target(nullptr);
    DWORD effect = 0;
    // xclip takes the clipboard a moment after it starts; until then it holds what it held.
    PumpUntil([&] {
        effect = target.PasteFromClipboard();
        return target.Files().Count() == 1 && target.Files()[0] == file;
    });
    EXPECT_EQ(effect, 1u);
    ASSERT_EQ(target.Files().Count(), 1);
    EXPECT_EQ(target.Files()[0], file);
    Stop(owner);
    std::filesystem::remove(list);
}
