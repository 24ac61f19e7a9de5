// Save As: the written files read back by ImageMagick and exiftool, the JPEG quality, the
// extensions without a writer, and a save that fails half-way over the shown file.
#include "app/SaveImageAs.h"

#include "app/SVLangManager.h"
#include "imaging/io/VistrelIO.h"
#include "platform/ui/Forms.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>

using enum TVLPixelFormat;

namespace {

String Str(const std::string& Path) {
    return StrFromUtf8(Path);
}

// A 37 x 23 picture of seeded random pixels, taken from Colours colours (0: any).
void FillPicture(TVLBitmap& Bitmap, int32_t Colours, int32_t Width = 37, int32_t Height = 23) {
    Bitmap.Allocate(Width, Height, vl24RGB);
    std::mt19937 random(7);
    std::vector<uint32_t> palette;
    for (int32_t i = 0; i < Colours; ++i)
        palette.push_back(random() & 0xFFFFFF);
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Width; ++x) {
            const uint32_t c = Colours > 0 ? palette[random() % palette.size()] : random();
            row[3 * x] = static_cast<uint8_t>(c);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
        }
    }
}

// The picture as RGB bytes, top row first.
std::string RgbBytes(TVLBitmap& Bitmap) {
    std::string bytes;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x)
            bytes += {static_cast<char>(row[3 * x + 2]), static_cast<char>(row[3 * x + 1]),
                      static_cast<char>(row[3 * x])};
    }
    return bytes;
}

TAskQualityEvent Answer(int32_t Quality, int32_t* Offered = nullptr) {
    return [=](int32_t& Q) {
        if (Offered != nullptr) *Offered = Q;
        if (Quality < 0) return false;
        Q = Quality;
        return true;
    };
}

void RequireTool(const char* Tool) {
    if (!ToolExists(Tool)) SV_SKIP_WITHOUT_REFERENCE(std::string(Tool) + " is not installed");
}

} // namespace

TEST(SaveImageAs, FormatsByTheExtensionCaseAside) {
    struct Case {
        const char16_t* Name;
        const char16_t* Format;
    };
    for (const Case& c :
         {Case{u"a.jpg", u"JPEG"}, Case{u"a.JPEG", u"JPEG"}, Case{u"a.Bmp", u"BMP"},
          Case{u"a.gif", u"GIF"}, Case{u"x.y.png", u"PNG"}, Case{u"a.TIF", u"TIFF"},
          Case{u"a.tiff", u"TIFF"}, Case{u"a.ico", u""}, Case{u"a.wmf", u""}, Case{u"a.emf", u""},
          Case{u"a", u""}, Case{u"/p.png/a", u""}, Case{u"a.png.txt", u""}})
        EXPECT_EQ(SaveFormatName(c.Name), c.Format) << Utf8FromStr(c.Name);
}

TEST(SaveImageAs, TheMessageTakesTheFormatLiterallyAtTheFirstPlaceholder) {
    struct Case {
        const char16_t* Pattern;
        const char16_t* Value;
        const char16_t* Text;
    };
    for (const Case& c :
         {Case{u"Saved as %s", u"PNG", u"Saved as PNG"}, Case{u"%s: %s", u"PNG", u"PNG: %s"},
          Case{u"100% %d %s", u"TIFF", u"100% %d TIFF"}, Case{u"Saved", u"PNG", u"Saved"},
          Case{u"%s", u"%s%n", u"%s%n"}})
        EXPECT_EQ(ReplaceFirstPlaceholder(c.Pattern, c.Value), c.Text);
    const String longText = String(400, u'x') + u" %s";
    EXPECT_EQ(ReplaceFirstPlaceholder(longText, u"GIF"), String(400, u'x') + u" GIF");
}

TEST(SaveImageAs, LosslessFormatsReadBackEqual) {
    RequireTool("convert");
    ScratchFolder folder;
    for (const char* name : {"out.png", "out.bmp", "out.tif", "out.gif"}) {
        SCOPED_TRACE(name);
        TVistrelIO io(nullptr);
        FillPicture(*io.GetBitmap(), std::string(name).ends_with(".gif") ? 200 : 0);
        int32_t quality = 90;
        Screen->SetCursor(crDefault);
        const TSaveAsResult result = SaveImageAs(io, Str(folder.File(name)), quality, nullptr);
        EXPECT_EQ(Screen->Cursor(), crDefault);
        ASSERT_TRUE(result.Saved) << Utf8FromStr(result.Error);
        EXPECT_TRUE(result.Error.empty());
        EXPECT_EQ(result.Message,
                  ReplaceFirstPlaceholder(LangStr(u"SVSTR_SAVEDAS"), SaveFormatName(Str(name))));
        std::string pixels;
        ASSERT_TRUE(RunTool("convert '" + folder.File(name) + "[0]' -depth 8 rgb:-", pixels));
        EXPECT_TRUE(pixels == RgbBytes(*io.GetBitmap())) << "pixels differ";
    }
}

TEST(SaveImageAs, JpegAsksForTheQualityAndWritesIt) {
    RequireTool("identify");
    ScratchFolder folder;
    TVistrelIO io(nullptr);
    FillPicture(*io.GetBitmap(), 0);
    int32_t quality = 90;
    int32_t offered = 0;
    const TSaveAsResult result =
        SaveImageAs(io, Str(folder.File("q.JPG")), quality, Answer(75, &offered));
    ASSERT_TRUE(result.Saved);
    EXPECT_EQ(offered, 90);
    EXPECT_EQ(quality, 75); // kept for the next time
    std::string read;
    ASSERT_TRUE(RunTool("identify -format %Q '" + folder.File("q.JPG") + "'", read));
    EXPECT_EQ(read, "75");

    // Cancelled: nothing written, nothing reported, the quality kept.
    const TSaveAsResult cancelled = SaveImageAs(io, Str(folder.File("c.jpg")), quality, Answer(-1));
    EXPECT_FALSE(cancelled.Saved);
    EXPECT_TRUE(cancelled.Message.empty());
    EXPECT_TRUE(cancelled.Error.empty());
    EXPECT_EQ(quality, 75);
    EXPECT_FALSE(std::filesystem::exists(folder.File("c.jpg")));
}

// Nothing is written, and the error names the file, in the program's English texts.
TEST(SaveImageAs, ExtensionsWithoutAWriterWriteNothingAndSaySo) {
    ScratchFolder folder;
    TVistrelIO io(nullptr);
    FillPicture(*io.GetBitmap(), 0);
    LangManager = new TSVLangManager(u"English", Str(std::string(SV_TESTS_DIR) + "/../data/"));
    int32_t quality = 90;
    for (const char* name : {"a.webp", "a.ico", "a.wmf", "a.emf", "a.txt"}) {
        SCOPED_TRACE(name);
        const TSaveAsResult result = SaveImageAs(io, Str(folder.File(name)), quality, Answer(80));
        EXPECT_FALSE(result.Saved);
        EXPECT_TRUE(result.Message.empty());
        EXPECT_EQ(
            Utf8FromStr(result.Error),
            "\"" + std::string(name) +
                "\" cannot be saved: choose a name ending in .jpg, .bmp, .gif, .png or .tif.");
        EXPECT_FALSE(std::filesystem::exists(folder.File(name)));
    }
    EXPECT_EQ(quality, 90);
    delete LangManager;
    LangManager = nullptr;
}

TEST(SaveImageAs, AFailureHalfWayKeepsTheShownFile) {
    if (!ToolExists("prlimit")) SV_SKIP_WITHOUT_REFERENCE("prlimit is not installed");
    ScratchFolder folder;
    const std::string shown = folder.File("shown.bmp");
    TVistrelIO io(nullptr);
    FillPicture(*io.GetBitmap(), 0);
    int32_t quality = 90;
    ASSERT_TRUE(SaveImageAs(io, Str(shown), quality, nullptr).Saved);
    const std::vector<uint8_t> original = folder.Read("shown.bmp");

    // A bigger picture over the shown file, with files limited to 64 KiB: the writer stops on
    // a short write (permissions stop nothing here, the tests run as root).
    FillPicture(*io.GetBitmap(), 0, 300, 300);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    std::string output;
    ASSERT_TRUE(RunTool("prlimit --pid $PPID --fsize=65536:", output));
    Screen->SetCursor(crDefault);
    const TSaveAsResult result = SaveImageAs(io, Str(shown), quality, nullptr);
    ASSERT_TRUE(RunTool("prlimit --pid $PPID --fsize=unlimited:", output));
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(result.Saved);
    EXPECT_TRUE(result.Message.empty());
    EXPECT_FALSE(result.Error.empty());
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_TRUE(folder.Read("shown.bmp") == original) << "the shown file changed";
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++files;
    EXPECT_EQ(files, 1) << "a temporary file was left";
}

TEST(SaveImageAs, AnUprightJpegSavesWithoutItsTurn) {
    RequireTool("exiftool");
    ScratchFolder folder;
    const std::string turned = folder.File("turned.jpg");
    {
        TVistrelIO writer(nullptr);
        FillPicture(*writer.GetBitmap(), 0, 40, 20);
        writer.SaveToFileJPEG(Str(turned));
        ASSERT_FALSE(writer.AbortingFlag);
    }
    std::string output;
    ASSERT_TRUE(
        RunTool("exiftool -q -overwrite_original -n -Orientation=6 '" + turned + "'", output));
    TVistrelIO io(nullptr);
    io.IOParams().JpegAdjustOrientation = true;
    io.LoadFromFile(Str(turned));
    ASSERT_FALSE(io.AbortingFlag);
    ASSERT_EQ(io.GetBitmap()->GetWidth(), 20); // shown upright

    int32_t quality = 90;
    ASSERT_TRUE(SaveImageAs(io, Str(folder.File("saved.jpg")), quality, Answer(90)).Saved);
    ASSERT_TRUE(RunTool("exiftool -s3 -n -Orientation '" + folder.File("saved.jpg") + "'", output));
    EXPECT_TRUE(output.empty() || output == "1\n") << output;
    std::string size;
    ASSERT_TRUE(RunTool("exiftool -s3 -ImageSize '" + folder.File("saved.jpg") + "'", size));
    EXPECT_EQ(size, "20x40\n");
}
