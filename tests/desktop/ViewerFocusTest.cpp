// The viewer program under a window manager that gives each new window the keyboard focus: with
// the thumbnail strip shown at start and shown again by F11, the main window keeps the focus,
// so Page Down steps to the next picture at once; after Save As and its dialogs the window has
// the keyboard again.
#include "tests/desktop/ViewerDesktop.h"

#include <algorithm>
#include <cstdlib>

namespace fs = std::filesystem;
using namespace sv_test;

namespace {

class ViewerFocus : public TViewerDesktop {
protected:
    void SetUp() override {
        TViewerDesktop::SetUp();
        if (IsSkipped()) return;
        for (const char* tool : {"openbox", "xdotool", "xprop", "convert"})
            if (!ToolExists(tool)) SV_SKIP_WITHOUT_REFERENCE(std::string(tool) + " is missing");
        const std::vector<std::string> env = Environment(Root.Path(), Root.Path() / "config");
        Manager = SpawnProcess({"openbox", "--sm-disable"}, &env);
        ASSERT_GT(Manager, 0);
        ASSERT_TRUE(Eventually([&] {
            return Tool("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") !=
                   std::string::npos;
        })) << "the window manager did not start";
    }
    void TearDown() override { StopProcess(Manager); }

    // Output of an X tool run on the test's display, without its line end.
    std::string Tool(const std::string& Command) {
        std::string output;
        RunTool("DISPLAY=" + Server.Display() + " " + Command, output);
        while (!output.empty() && output.back() == '\n')
            output.pop_back();
        return output;
    }
    // Polls Condition for up to half a minute.
    static bool Eventually(const std::function<bool()>& Condition) {
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            if (Condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string MainWindow() { return Tool("xdotool search --onlyvisible --name '^Solvaneview$'"); }
    // "WIDTHxHEIGHT" of the main window.
    std::string MainSize() {
        const std::string shell = Tool("xdotool getwindowgeometry --shell " + MainWindow());
        const size_t width = shell.find("WIDTH="), height = shell.find("\nHEIGHT=");
        if (width == std::string::npos || height == std::string::npos) return shell;
        return std::to_string(std::atoi(shell.c_str() + width + 6)) + "x" +
               std::to_string(std::atoi(shell.c_str() + height + 8));
    }
    // Waits until the main window has the size the automatic sizing gives the picture.
    void ExpectSize(const std::string& Size) {
        std::string last;
        EXPECT_TRUE(Eventually([&] { return (last = MainSize()) == Size; }))
            << "the window is " << last << ", not " << Size;
    }
    // Waits until the program shows Count windows, then gives the window manager a moment to
    // hand the focus to a window just shown.
    void SettleWith(pid_t Program, size_t Count) {
        EXPECT_TRUE(Eventually([&] {
            const std::string ids =
                Tool("xdotool search --onlyvisible --pid " + std::to_string(Program));
            const auto lines = static_cast<size_t>(std::count(ids.begin(), ids.end(), '\n'));
            return (ids.empty() ? 0 : lines + 1) == Count;
        })) << "the program does not show "
            << Count << " windows";
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    bool MainHasTheFocus() {
        return Eventually([&] { return Tool("xdotool getwindowfocus") == MainWindow(); });
    }

    pid_t Manager = -1;
};

} // namespace

// The pictures' windows (see ViewerRoadTest): 200 x 100 in the smallest window, 300 x 300;
// 600 x 400 in 604 x 450; 400 x 300 in 404 x 350.
TEST_F(ViewerFocus, TheMainWindowKeepsTheKeyboardWhenTheStripIsShown) {
    const fs::path config = Root.Path() / "config" / "Solvaneview";
    fs::create_directories(config);
    WriteFileBytes(config / "solvaneview.ini",
                   Utf16Ascii("centerx=330\r\ncentery=300\r\nshowthumbs=1\r\n"));
    const fs::path pictures = Root.Path() / "pictures";
    fs::create_directories(pictures);
    const std::pair<const char*, const char*> files[] = {
        {"1.png", "200x100 xc:blue"}, {"2.png", "600x400 xc:green"}, {"3.png", "400x300 xc:red"}};
    for (const auto& [name, picture] : files) {
        std::string output;
        ASSERT_TRUE(RunTool(std::string("convert -size ") + picture + " '" +
                                (pictures / name).string() + "'",
                            output));
    }
    const std::vector<std::string> env = Environment(Root.Path(), Root.Path() / "config");
    const pid_t viewer = SpawnProcess({SV_VIEWER_EXE, (pictures / "1.png").string()}, &env);
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(Eventually([&] { return !MainWindow().empty(); }));
    ExpectSize("300x300");
    SettleWith(viewer, 2); // the window and the strip
    EXPECT_EQ(Tool("xdotool getwindowfocus"), MainWindow()) << "after start-up";
    Tool("xdotool key Next");
    ExpectSize("604x450");

    Tool("xdotool key F11"); // the strip goes
    SettleWith(viewer, 1);
    Tool("xdotool key F11"); // and comes back
    SettleWith(viewer, 2);
    EXPECT_EQ(Tool("xdotool getwindowfocus"), MainWindow()) << "after F11";
    Tool("xdotool key Next");
    ExpectSize("404x350");

    // Save As, its file dialog, and the quality dialog left with Esc: the window has the
    // keyboard again.
    Tool("xdotool key ctrl+s");
    SettleWith(viewer, 3);
    Tool("xdotool type '" + (pictures / "saved.jpg").string() + "'");
    Tool("xdotool key Return");
    ASSERT_TRUE(Eventually(
        [&] { return !Tool("xdotool search --onlyvisible --name '^JPEG Option$'").empty(); }));
    SettleWith(viewer, 3);
    Tool("xdotool key Escape");
    EXPECT_TRUE(MainHasTheFocus()) << "after the dialogs";
    Tool("xdotool key Home");
    ExpectSize("300x300");
    EXPECT_FALSE(fs::exists(pictures / "saved.jpg"));
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}
