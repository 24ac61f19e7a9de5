// The file list on the X11 clipboard, read and written by xclip, on an Xvfb display that this
// program starts for itself.
#include "tests/components/DropTestSupport.h"

#include "components/SVDropTarget.h"
#include "tests/ExternalTool.h"
#include "tests/desktop/XvfbServer.h"
#include "tests/platform/ui/PumpUntil.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <memory>

namespace {

// Why the X11 tests cannot run; empty when the display is up.
std::string SkipReason = "the display was not started";

// Starts Xvfb and points Qt at it before the first window is made.
class TXvfbDisplay : public testing::Environment {
public:
    void SetUp() override {
        if (!ToolExists("Xvfb")) {
            SkipReason = "Xvfb is not installed";
            return;
        }
        FServer = std::make_unique<sv_test::TXvfbServer>("640x480x24");
        if (!FServer->Up()) {
            SkipReason = "Xvfb did not start";
            return;
        }
        setenv("DISPLAY", FServer->Display().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        SkipReason.clear();
    }
    void TearDown() override { FServer.reset(); }

private:
    std::unique_ptr<sv_test::TXvfbServer> FServer;
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
    const pid_t owner = sv_test::SpawnProcess(
        {"xclip", "-selection", "clipboard", "-i", "-quiet", "-t", "x-special/gnome-copied-files"},
        nullptr, input);
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
    sv_test::StopProcess(owner);
    std::filesystem::remove(list);
}
