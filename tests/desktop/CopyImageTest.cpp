// The viewer's Copy Image on the X11 clipboard, read back by xclip as image/png, before and after
// quarter turns, compared with ImageMagick's reading and Pillow's turns of the same file. Runs
// on the Xvfb display the X11 clipboard tests start for this program.
#include "app/FileCommands.h"
#include "app/formMain.h"
#include "app/formMessage.h"

#include "imaging/io/VistrelIO.h"
#include "imaging/view/VistrelView.h"
#include "platform/ui/Menus.h"
#include "raster/RasterStartup.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <random>

using enum TVLPixelFormat;

namespace {

// The clipboard's image/png, written to Png, read by xclip while the message loop serves it.
bool ClipboardPng(const std::string& Png) {
    auto run = std::async(std::launch::async, [] {
        std::string bytes;
        const bool done = RunTool("timeout 30 xclip -selection clipboard -o -t image/png", bytes);
        return done ? bytes : std::string();
    });
    PumpUntil([&] { return run.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    const std::string bytes = run.get();
    WriteFileBytes(Png, bytes);
    return !bytes.empty();
}

std::string Pixels(const std::string& Command) {
    std::string pixels;
    EXPECT_TRUE(RunTool(Command, pixels)) << Command;
    return pixels;
}

std::string MagickRgb(const std::string& File) {
    return Pixels("convert '" + File + "' -depth 8 rgb:-");
}

std::string PillowTurned(const std::string& File, const char* Turn) {
    return Pixels(std::string("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                              "sys.stdout.buffer.write(Image.open(sys.argv[1]).transpose(Image.") +
                  Turn + ").convert('RGB').tobytes())\" '" + File + "'");
}

// A 37 x 23 PNG of seeded random pixels.
void WritePicture(const std::string& Path) {
    TVistrelIO writer(nullptr);
    TVLBitmap& bitmap = *writer.GetBitmap();
    bitmap.Allocate(37, 23, vl24RGB);
    std::mt19937 random(37);
    for (int32_t y = 0; y < 23; ++y)
        for (int32_t x = 0; x < 37 * 3; ++x)
            bitmap.GetScanline(y)[x] = static_cast<uint8_t>(random());
    writer.SaveToFilePNG(StrFromUtf8(Path));
    ASSERT_FALSE(writer.AbortingFlag);
}

class CopyImage : public testing::Test {
protected:
    void SetUp() override {
        const char* platform = std::getenv("QT_QPA_PLATFORM");
        if (platform == nullptr || std::string(platform) != "xcb")
            GTEST_SKIP() << "the Xvfb display did not start";
        for (const char* tool : {"xclip", "convert"})
            if (!ToolExists(tool)) SV_SKIP_WITHOUT_REFERENCE(std::string(tool) + " is missing");
        if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
            SV_SKIP_WITHOUT_REFERENCE("/usr/bin/python3 with Pillow missing");
    }
    ScratchFolder Folder;
};

} // namespace

TEST_F(CopyImage, TheClipboardHoldsThePictureAndItsTurns) {
    const std::string source = Folder.File("picture.png");
    ASSERT_NO_FATAL_FAILURE(WritePicture(source));
    const std::vector<uint8_t> file = Folder.Read("picture.png");
    TVistrelView view(nullptr);
    view.GetIO()->LoadFromFile(StrFromUtf8(source));
    ASSERT_FALSE(view.GetVLBitmap()->IsEmpty());

    struct Step {
        int Turns; // quarter turns before the copy: 1 left, -1 right
        const char* PillowTurn;
    };
    for (const Step& step : {Step{0, nullptr}, Step{1, "ROTATE_90"}, Step{-2, "ROTATE_270"}}) {
        SCOPED_TRACE(step.Turns);
        for (int i = 0; i < std::abs(step.Turns); ++i)
            ASSERT_TRUE(RotatePicture(view, step.Turns > 0));
        const TVLLocation location = view.GetVLBitmap()->GetLocation();
        ASSERT_TRUE(CopyPictureToClipboard(*view.GetVLBitmap()));
        // The view's own bitmap stays where it was: only a copy went to a device bitmap.
        EXPECT_EQ(view.GetVLBitmap()->GetLocation(), location);
        const std::string png = Folder.File("clip" + std::to_string(step.Turns) + ".png");
        ASSERT_TRUE(ClipboardPng(png));
        const std::string expected =
            step.PillowTurn == nullptr ? MagickRgb(source) : PillowTurned(source, step.PillowTurn);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE(MagickRgb(png) == expected) << "the clipboard's picture differs";
    }
    EXPECT_TRUE(Folder.Read("picture.png") == file) << "the file changed";
}

// The same through the main window's menu items: Ctrl+C after Rotate Left and Rotate Right.
TEST_F(CopyImage, TheWindowsCommandsCopyThePictureAsTurned) {
    const std::string source = Folder.File("picture.png");
    ASSERT_NO_FATAL_FAILURE(WritePicture(source));
    const std::vector<uint8_t> file = Folder.Read("picture.png");
    raster::InitializeRasterLibrary();
    fMessage = new TfMessage(nullptr);
    auto main = std::make_unique<TfMain>(nullptr);
    main->OpenPath(StrFromUtf8(source));
    ASSERT_EQ(main->CurrentIndex, 0);

    struct Step {
        TMenuItem* Turn;        // the item clicked before the copy, if any
        const char* PillowTurn; // the picture on the clipboard then; nil: as in the file
    };
    for (const Step& step :
         {Step{nullptr, nullptr}, Step{main->miRotateLeft, "ROTATE_90"},
          Step{main->miRotateRight, nullptr}, Step{main->miRotateRight, "ROTATE_270"}}) {
        SCOPED_TRACE(step.PillowTurn == nullptr ? "as in the file" : step.PillowTurn);
        if (step.Turn != nullptr) step.Turn->Click();
        fMessage->HideNow();
        main->miCopyImage->Click();
        EXPECT_TRUE(fMessage->Visible());
        const std::string png = Folder.File("window.png");
        ASSERT_TRUE(ClipboardPng(png));
        const std::string expected =
            step.PillowTurn == nullptr ? MagickRgb(source) : PillowTurned(source, step.PillowTurn);
        EXPECT_TRUE(MagickRgb(png) == expected) << "the clipboard's picture differs";
    }
    EXPECT_TRUE(Folder.Read("picture.png") == file) << "the file changed";

    main.reset();
    delete fMessage;
    fMessage = nullptr;
    raster::FinalizeRasterLibrary();
}
