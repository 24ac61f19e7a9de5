// The viewer program started as a process on an Xvfb display of its own, without a window
// manager: where its window opens, when the help message appears, and that it starts and shuts
// down cleanly without its language files and with a home it cannot write to.
#include "tests/desktop/ViewerDesktop.h"

#include <fstream>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace sv_test;

namespace {

class ViewerStart : public TViewerDesktop {};

} // namespace

TEST_F(ViewerStart, OpensAroundTheSavedCentreAndShowsTheHelpAfterAMoment) {
    const fs::path config = Root.Path() / "config";
    fs::create_directories(config / "Solvaneview");
    // The thumbnail strip stays hidden: the only other window is then the help message.
    WriteFileBytes(config / "Solvaneview" / "solvaneview.ini",
                   Utf16Ascii("centerx=320\r\ncentery=260\r\nshowthumbs=0\r\n"));
    const auto start = Clock::now();
    const std::vector<std::string> env = Environment(Root.Path(), config);
    const pid_t viewer = sv_test::SpawnProcess({SV_VIEWER_EXE}, &env);
    ASSERT_GT(viewer, 0);
    const TTopWindow* main = nullptr;
    std::vector<TTopWindow> windows;
    Clock::duration mainAfter{}, popupAfter{};
    while (Clock::now() - start < std::chrono::seconds(60)) {
        windows = MappedWindows(Server.Display());
        main = FindWindow(windows, "\"Solvaneview\"");
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
    EXPECT_EQ(WaitForExit(viewer), 0);
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
    const TTopWindow* main = FindWindow(windows, "\"Solvaneview\"");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->X, 300); // 800 - 500, the width before the first layout pass
    EXPECT_EQ(main->Y, 0);
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
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
    EXPECT_EQ(WaitForExit(viewer), 0);
    // The settings were kept for the session only: no portable folder was made beside the
    // program, no file written there.
    EXPECT_FALSE(fs::exists(program.parent_path() / "userdata"));
    EXPECT_FALSE(fs::exists(program.parent_path() / "solvaneview.ini"));
}
