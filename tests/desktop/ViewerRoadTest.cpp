// The viewer program opening pictures on an Xvfb display without a window manager: the window
// takes the size and place the automatic sizing computes for each picture, and a listed name that
// cannot be opened, stepped onto and past with the wheel, leaves the program answering and
// painting; an icon shows its transparent corners in the background colour.
#include "tests/desktop/ViewerDesktop.h"

#include <fstream>

namespace fs = std::filesystem;
using namespace sv_test;

namespace {

class ViewerRoad : public TViewerDesktop {
protected:
    void SetUp() override {
        TViewerDesktop::SetUp();
        if (IsSkipped()) return;
        for (const char* tool : {"convert", "import", "xdotool", "python3"})
            if (!ToolExists(tool)) SV_SKIP_WITHOUT_REFERENCE(std::string(tool) + " is missing");
        // The window's centre at the screen's, with automatic size and fitting on (the defaults)
        // and the thumbnail strip hidden.
        WriteSettings("showthumbs=0\r\n");
        fs::create_directories(Pictures());
    }
    void WriteSettings(const std::string& Extra) {
        const fs::path settings = Config() / "Solvaneview";
        fs::create_directories(settings);
        WriteFileBytes(settings / "solvaneview.ini",
                       Utf16Ascii("centerx=400\r\ncentery=300\r\n" + Extra));
    }
    fs::path Config() const { return Root.Path() / "config"; }
    fs::path Pictures() const { return Root.Path() / "pictures"; }

    void WritePicture(const std::string& Name, int Width, int Height, const std::string& Color) {
        std::string output;
        ASSERT_TRUE(RunTool("convert -size " + std::to_string(Width) + "x" +
                                std::to_string(Height) + " xc:" + Color + " '" +
                                (Pictures() / Name).string() + "'",
                            output));
    }

    pid_t Start(const std::string& Name) {
        const std::vector<std::string> env = Environment(Root.Path(), Config());
        return SpawnProcess({SV_VIEWER_EXE, (Pictures() / Name).string()}, &env);
    }

    // Waits until the viewer's window has the geometry Width x Height + X + Y; the last geometry
    // seen is reported when it never comes.
    void ExpectWindow(int Width, int Height, int X, int Y) {
        const auto start = std::chrono::steady_clock::now();
        TTopWindow last;
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
            const std::vector<TTopWindow> windows = MappedWindows(Server.Display());
            if (const TTopWindow* main = FindWindow(windows, "\"Solvaneview\"")) {
                last = *main;
                if (last.Width == Width && last.Height == Height && last.X == X && last.Y == Y)
                    return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the window is " << last.Width << "x" << last.Height << "+" << last.X
                      << "+" << last.Y << ", not " << Width << "x" << Height << "+" << X << "+"
                      << Y;
    }

    // One notch of the wheel towards the user over screen point (X, Y).
    void WheelDown(int X, int Y) {
        std::string output;
        ASSERT_TRUE(RunTool("DISPLAY=" + Server.Display() + " xdotool mousemove " +
                                std::to_string(X) + " " + std::to_string(Y) + " click 5",
                            output));
    }

    // The colour of screen pixel (X, Y) as "RRGGBB".
    std::string ScreenPixel(int X, int Y) {
        const fs::path grab = Root.Path() / "screen.png";
        std::string output;
        if (!RunTool("DISPLAY=" + Server.Display() + " import -window root '" + grab.string() + "'",
                     output))
            return "no grab";
        RunTool("convert '" + grab.string() + "' -format '%[hex:p{" + std::to_string(X) + "," +
                    std::to_string(Y) + "}]' info:-",
                output);
        return output;
    }

    // Waits until screen pixel (X, Y) is Color.
    void ExpectPixel(int X, int Y, const std::string& Color) {
        const auto start = std::chrono::steady_clock::now();
        std::string seen;
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
            seen = ScreenPixel(X, Y);
            if (seen == Color) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "pixel " << X << "," << Y << " is " << seen << ", not " << Color;
    }
};

} // namespace

// On an 800 x 600 screen (the work area, without a window manager) around the centre 400, 300,
// with a chrome of 4 x 50 pixels (the 4 pixels and the title and status bars):
// - 200 x 100 stays at 100 % in the smallest window, 300 x 300;
// - 600 x 400 at 100 % gives 604 x 450;
// - 1600 x 1200 overflows: 800 x 600, fitted to 796 x 550 at 550 / 1200 (single precision), so
//   the width shrinks to 1600 x 0.4583 + 4 = 737, and the top stops at the work area's.
TEST_F(ViewerRoad, TheWindowTakesTheComputedSizeForEachPicture) {
    WritePicture("1.png", 200, 100, "blue");
    WritePicture("2.png", 600, 400, "green");
    WritePicture("3.png", 1600, 1200, "red");
    const pid_t viewer = Start("1.png");
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    ExpectWindow(300, 300, 250, 150);
    WheelDown(400, 300);
    ExpectWindow(604, 450, 98, 75);
    WheelDown(400, 300);
    ExpectWindow(737, 600, 32, 0);
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}

// ImageMagick writes the PSD by its name; the viewer steps onto it like onto any picture.
TEST_F(ViewerRoad, ThePsdOfTheFolderOpensFlattened) {
    WritePicture("1.png", 200, 100, "blue");
    WritePicture("2.psd", 600, 400, "green");
    const pid_t viewer = Start("1.png");
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    ExpectWindow(300, 300, 250, 150);
    WheelDown(400, 300);
    ExpectWindow(604, 450, 98, 75);
    ExpectPixel(400, 300, "008000");
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}

// An enhanced metafile of natural size 600 x 400 opens at that size like a picture of it, its
// shapes in their colours and its untouched background showing the view's (black).
TEST_F(ViewerRoad, AMetafileOpensAtItsNaturalSize) {
    WritePicture("1.png", 200, 100, "blue");
    std::string output;
    const fs::path made = Root.Path() / "metafiles";
    ASSERT_TRUE(RunTool("python3 '" SV_TESTS_DIR "/imaging/io/make_metafiles.py' '" +
                            made.string() + "'",
                        output));
    fs::copy_file(made / "shapes.emf", Pictures() / "2.emf");
    const pid_t viewer = Start("1.png");
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    ExpectWindow(300, 300, 250, 150);
    WheelDown(400, 300);
    ExpectWindow(604, 450, 98, 75);
    // Picture column 360 (screen 460) is the clipped green fill from picture row 190 to 290, and
    // column 560 (screen 660) is untouched there, whatever the height of the title bar.
    ExpectPixel(460, 340, "00FF00");
    ExpectPixel(660, 340, "000000");
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}

// With the strip shown (140 pixels docked at the right edge) the work area ends at 660: the
// 1600 x 1200 picture is fitted to 656 x 550 at 656 / 1600 (single precision, a little below
// 0.41), so the window is 655 + 4 by 491 + 50 and, sticking out to the right, starts at 0.
TEST_F(ViewerRoad, TheDockedStripNarrowsTheRoomOfTheWindow) {
    WriteSettings("showthumbs=1\r\n");
    WritePicture("3.png", 1600, 1200, "red");
    const pid_t viewer = Start("3.png");
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    ExpectWindow(659, 541, 0, 30);
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}

TEST_F(ViewerRoad, ASocketNamedLikeAPictureIsSteppedOntoAndPast) {
    WritePicture("1.png", 200, 100, "blue");
    std::string output;
    ASSERT_TRUE(RunTool("python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind("
                        "sys.argv[1])' '" +
                            (Pictures() / "2.jpg").string() + "'",
                        output));
    WritePicture("3.png", 400, 300, "red");
    const pid_t viewer = Start("1.png");
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    ExpectWindow(300, 300, 250, 150);
    ExpectPixel(400, 300, "0000FF");
    WheelDown(400, 300); // onto the socket
    WheelDown(400, 300); // and past it
    ExpectWindow(404, 350, 198, 125);
    ExpectPixel(400, 300, "FF0000");
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}

// A 48 x 48 icon whose 8-pixel corners are transparent: after a 600 x 400 picture the window
// shrinks to the smallest one, and the icon's corners show what lies around the picture.
// icotool stores it in 1 bit with the table black, green.
TEST_F(ViewerRoad, AnIconShowsItsTransparentCornersInTheBackgroundColour) {
    if (!ToolExists("icotool")) SV_SKIP_WITHOUT_REFERENCE("icotool is missing");
    WritePicture("1.png", 600, 400, "red");
    std::string output;
    const fs::path png = Root.Path() / "icon.png";
    ASSERT_TRUE(RunTool("/usr/bin/python3 -c 'import sys\nfrom PIL import Image\n"
                        "im = Image.new(\"RGBA\", (48, 48), (0, 200, 0, 255))\n"
                        "for x in range(48):\n"
                        "    for y in range(48):\n"
                        "        if min(x, 47 - x) < 8 and min(y, 47 - y) < 8:\n"
                        "            im.putpixel((x, y), (255, 0, 255, 0))\n"
                        "im.save(sys.argv[1])' '" +
                            png.string() + "'",
                        output));
    ASSERT_TRUE(RunTool("icotool -c -o '" + (Pictures() / "2.ico").string() + "' '" +
                            png.string() + "'",
                        output));
    const pid_t viewer = Start("1.png");
    ASSERT_GT(viewer, 0);
    ASSERT_TRUE(WaitForWindow(Server.Display(), "\"Solvaneview\"", viewer));
    ExpectWindow(604, 450, 98, 75);
    WheelDown(400, 300);
    ExpectWindow(300, 300, 250, 150);
    ExpectPixel(400, 300, "00C800");
    // The icon's green box on the screen, then a corner pixel and the pixel left of it.
    const fs::path grab = Root.Path() / "icon-screen.png";
    ASSERT_TRUE(
        RunTool("DISPLAY=" + Server.Display() + " import -window root '" + grab.string() + "'",
                output));
    ASSERT_TRUE(RunTool("/usr/bin/python3 -c 'import sys\nfrom PIL import Image\n"
                        "im = Image.open(sys.argv[1]).convert(\"RGB\")\n"
                        "w, h = im.size\n"
                        "green = [(x, y) for y in range(h) for x in range(w) "
                        "if im.getpixel((x, y)) == (0, 200, 0)]\n"
                        "l, t = min(p[0] for p in green), min(p[1] for p in green)\n"
                        "r, b = max(p[0] for p in green) + 1, max(p[1] for p in green) + 1\n"
                        "print(r - l, b - t, im.getpixel((l + 1, t + 1)) == "
                        "im.getpixel((l - 3, t + 1)), im.getpixel((l + 1, t + 1)) != "
                        "(0, 200, 0))' '" +
                            grab.string() + "'",
                        output));
    EXPECT_EQ(output, "48 48 True True\n");
    kill(viewer, SIGTERM);
    EXPECT_EQ(WaitForExit(viewer), 0);
}
