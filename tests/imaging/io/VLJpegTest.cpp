// The JPEG adapter against libjpeg-turbo's own tools (cjpeg, djpeg), ImageMagick, Pillow and
// exiftool: pixels, scales, DCT methods, colour spaces, profiles, markers, options of the writer,
// and damaged input.
#include "imaging/io/VLJpeg.h"

#include "imaging/core/VLColorSpace.h"
#include "imaging/io/VLExif.h"
#include "tests/imaging/io/JpegTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <jpeglib.h>

namespace {

class Jpeg : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolExists("cjpeg") || !ToolExists("djpeg"))
            GTEST_SKIP() << "cjpeg and djpeg (libjpeg-turbo-progs) are needed";
        Folder = UniqueTempPath("jpeg");
        std::filesystem::create_directories(Folder);
    }
    void TearDown() override {
        if (!Folder.empty()) std::filesystem::remove_all(Folder);
    }

    std::string File(const std::string& Name) const { return (Folder / Name).string(); }

    // A JPEG of the synthetic photo made by cjpeg with Options.
    std::vector<uint8_t> MakeJpeg(const std::string& Options, int32_t Width, int32_t Height) {
        WriteSyntheticPhoto(File("photo.ppm"), Width, Height);
        RunCommand("cjpeg " + Options + " -outfile '" + File("made.jpg") + "' '" +
                   File("photo.ppm") + "'");
        return ReadFileBytes(File("made.jpg"));
    }

    // djpeg's picture of Jpeg with Options.
    TPnm Djpeg(const std::vector<uint8_t>& Jpeg, const std::string& Options) {
        WriteBytes(File("in.jpg"), Jpeg);
        std::filesystem::remove(File("out.pnm"));
        RunCommand("djpeg " + Options + " -outfile '" + File("out.pnm") + "' '" + File("in.jpg") +
                   "'");
        return ReadPnm(File("out.pnm"));
    }

    // The I/O component's load: every row, metadata and profile, 24-bit unless Native.
    int32_t Read(const std::vector<uint8_t>& Jpeg, bool Native = false, int32_t MaxLines = -1) {
        LoadStream(Stream, Jpeg);
        Aborted = false;
        return ReadJPEGStream(Stream, nullptr, Bitmap, Params, Progress, false, false, true, false,
                              true, true, MaxLines, Native);
    }

    std::filesystem::path Folder;
    TMemoryStream Stream;
    TVLBitmap Bitmap;
    TIOParamsVals Params;
    bool Aborted = false;
    TVLProgressRecord Progress{{}, nullptr, 0, 0, 0, &Aborted};
};

// Runs Body on another thread and fails the program when it does not end in generous time: a
// reader that loops for ever on bad data must not hang the suite.
template <class Body> void RunBounded(Body&& Work) {
    auto done = std::async(std::launch::async, std::forward<Body>(Work));
    if (done.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
        std::fprintf(stderr, "a JPEG read did not end\n");
        std::abort();
    }
    done.get();
}

struct TPixelCase {
    const char* Name;
    std::string Cjpeg;
    int32_t Width, Height;
    TVLJpegScale Scale;
    TVLJpegDCTMethod Dct;
    std::string Djpeg;
};

TEST_F(Jpeg, PixelsEqualDjpegForEveryLayoutScaleAndDct) {
    const TPixelCase cases[] = {
        {"4:2:0", "-quality 90 -sample 2x2", 64, 48, jsFull, dmISlow, "-dct int"},
        {"4:2:2", "-quality 85 -sample 2x1", 64, 48, jsFull, dmISlow, "-dct int"},
        {"4:4:4", "-quality 95 -sample 1x1", 64, 48, jsFull, dmISlow, "-dct int"},
        {"grey", "-grayscale", 40, 30, jsFull, dmISlow, "-dct int"},
        {"progressive", "-progressive", 64, 48, jsFull, dmISlow, "-dct int"},
        {"restarts", "-restart 1", 64, 48, jsFull, dmISlow, "-dct int"},
        {"rgb", "-rgb", 48, 32, jsFull, dmISlow, "-dct int"},
        {"odd size", "-quality 80", 37, 23, jsFull, dmISlow, "-dct int"},
        {"odd size 4:2:2", "-sample 2x1", 31, 17, jsFull, dmISlow, "-dct int"},
        {"half", "", 64, 48, jsHalf, dmISlow, "-dct int -scale 1/2"},
        {"quarter", "", 67, 45, jsQuarter, dmISlow, "-dct int -scale 1/4"},
        {"eighth", "", 64, 48, jsEighth, dmISlow, "-dct int -scale 1/8"},
        {"grey eighth", "-grayscale", 64, 48, jsEighth, dmISlow, "-dct int -scale 1/8"},
        {"fast dct", "", 64, 48, jsFull, dmIFast, "-dct fast"},
        {"float dct", "", 64, 48, jsFull, dmFloat, "-dct float"},
        {"progressive half", "-progressive -sample 1x1", 50, 40, jsHalf, dmISlow,
         "-dct int -scale 1/2"},
    };
    for (const TPixelCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto jpeg = MakeJpeg(c.Cjpeg, c.Width, c.Height);
        ASSERT_FALSE(jpeg.empty());
        const TPnm expected = Djpeg(jpeg, c.Djpeg);
        ASSERT_GT(expected.Width, 0);
        Params.JpegScale = c.Scale;
        Params.JpegDCTMethod = c.Dct;
        EXPECT_EQ(Read(jpeg), expected.Height);
        EXPECT_FALSE(Aborted);
        EXPECT_EQ(Bitmap.GetPixelFormat(), TVLPixelFormat::vl24RGB);
        EXPECT_EQ(CountDifferences(Bitmap, expected), 0);
        EXPECT_EQ(Params.Width, expected.Width);
        EXPECT_EQ(Params.OriginalWidth, c.Width);
        EXPECT_EQ(Params.OriginalHeight, c.Height);
        EXPECT_EQ(Params.JpegWarningCount, 0);
        if (expected.Channels == 1) {
            // Native grey: one byte per pixel, the same levels.
            EXPECT_EQ(Read(jpeg, true), expected.Height);
            EXPECT_EQ(Bitmap.GetPixelFormat(), TVLPixelFormat::vl8g);
            EXPECT_EQ(CountDifferences(Bitmap, expected), 0);
            EXPECT_EQ(Params.JpegColorSpace, jcGrayScale);
            EXPECT_EQ(Params.SamplesPerPixel, 1);
        }
    }
    Params.JpegScale = jsFull;
    Params.JpegDCTMethod = dmISlow;
}

TEST_F(Jpeg, EveryLocationOfTheBitmapReceivesTheSamePixels) {
    const auto jpeg = MakeJpeg("-quality 88", 45, 37);
    const TPnm expected = Djpeg(jpeg, "-dct int");
    const struct {
        const char* Name;
        TVLLocation Location;
        int64_t MinFileSize;
    } cases[] = {{"memory", TVLLocation::vlMemory, int64_t{1} << 40},
                 {"temporary file", TVLLocation::vlFile, 1},
                 {"class-library bitmap", TVLLocation::vlTBitmap, int64_t{1} << 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap target;
        target.MinFileSize = c.MinFileSize;
        target.SetLocation(c.Location);
        LoadStream(Stream, jpeg);
        Aborted = false;
        EXPECT_EQ(ReadJPEGStream(Stream, nullptr, target, Params, Progress, false, false, false,
                                 false, true, false, -1, false),
                  37);
        EXPECT_FALSE(Aborted);
        EXPECT_EQ(target.GetLocation(), c.Location);
        EXPECT_EQ(CountDifferences(target, expected), 0);
    }
}

TEST_F(Jpeg, FileFactsGoToTheRecord) {
    Read(MakeJpeg("-progressive -rgb", 20, 10));
    EXPECT_TRUE(Params.JpegProgressive);
    EXPECT_EQ(Params.JpegColorSpace, jcRGB);
    EXPECT_EQ(Params.SamplesPerPixel, 3);
    EXPECT_EQ(Params.BitsPerSample, 8);
    Read(MakeJpeg("", 20, 10));
    EXPECT_FALSE(Params.JpegProgressive);
    EXPECT_EQ(Params.JpegColorSpace, jcYCbCr);
    EXPECT_EQ(Params.JpegScaleUsed, 1);
}

struct TAutoCase {
    int32_t ImageWidth, ImageHeight, WantedWidth, WantedHeight;
    int32_t Denominator, Width, Height;
};

TEST_F(Jpeg, AutomaticScaleTakesTheLargestReductionThatStillCoversTheWantedSize) {
    const TAutoCase cases[] = {
        {1600, 1200, 100, 100, 8, 200, 150}, {700, 700, 100, 100, 4, 175, 175},
        {700, 700, 350, 350, 2, 350, 350},   {700, 700, 351, 10, 1, 700, 700},
        {700, 700, 0, 100, 1, 700, 700},     {64, 48, 8, 6, 8, 8, 6},
    };
    for (const TAutoCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.ImageWidth) + "x" + std::to_string(c.ImageHeight) + " for " +
                     std::to_string(c.WantedWidth) + "x" + std::to_string(c.WantedHeight));
        const auto jpeg = MakeJpeg("", c.ImageWidth, c.ImageHeight);
        Params.JpegScale = jsAuto;
        Params.Width = c.WantedWidth;
        Params.Height = c.WantedHeight;
        Read(jpeg);
        EXPECT_EQ(Params.JpegScaleUsed, c.Denominator);
        EXPECT_EQ(Bitmap.GetWidth(), c.Width);
        EXPECT_EQ(Bitmap.GetHeight(), c.Height);
        EXPECT_EQ(Params.Width, c.Width);
    }
    Params.JpegScale = jsFull;
}

TEST_F(Jpeg, DataIsFoundWhenItStartsWithin150BytesOfThePosition) {
    const auto jpeg = MakeJpeg("", 16, 16);
    const struct {
        int32_t Lead;
        bool Found;
    } cases[] = {{0, true}, {100, true}, {149, true}, {150, false}, {400, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE("lead " + std::to_string(c.Lead));
        std::vector<uint8_t> bytes(static_cast<size_t>(c.Lead), 0x20);
        bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
        LoadStream(Stream, bytes);
        Stream.SetPosition(0);
        EXPECT_EQ(FindJPEGStart(Stream), c.Found ? c.Lead : -1);
        EXPECT_EQ(Stream.GetPosition(), 0);
        Bitmap.FreeImage(true);
        Read(bytes);
        EXPECT_EQ(Aborted, !c.Found);
        EXPECT_EQ(Bitmap.GetWidth(), c.Found ? 16 : 0);
    }
    // From a position inside a stream: the offset is absolute.
    std::vector<uint8_t> bytes(500, 0);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    LoadStream(Stream, bytes);
    Stream.SetPosition(420);
    EXPECT_EQ(FindJPEGStart(Stream), 500);
    EXPECT_EQ(Stream.GetPosition(), 420);
}

TEST_F(Jpeg, ATruncatedFileGivesDjpegsPixelsAndAWarning) {
    auto jpeg = MakeJpeg("-quality 90", 64, 64);
    jpeg.resize(jpeg.size() * 3 / 5);
    const TPnm expected = Djpeg(jpeg, "-dct int");
    ASSERT_EQ(expected.Width, 64);
    EXPECT_EQ(Read(jpeg), 64);
    EXPECT_FALSE(Aborted);
    EXPECT_EQ(CountDifferences(Bitmap, expected), 0);
    EXPECT_GE(Params.JpegWarningCount, 1);
    EXPECT_NE(Params.JpegLastMessageCode, 0);
}

TEST_F(Jpeg, ReadingFewerRowsThanTheImageEndsQuietly) {
    const auto jpeg = MakeJpeg("-quality 90", 40, 32);
    const TPnm expected = Djpeg(jpeg, "-dct int");
    EXPECT_EQ(Read(jpeg, false, 10), 10);
    EXPECT_FALSE(Aborted);
    ASSERT_EQ(Bitmap.GetHeight(), 32);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const uint8_t* e = &expected.Pixels[(static_cast<size_t>(y) * 40 + x) * 3];
            const uint8_t* p = Bitmap.GetScanline(y) + x * 3;
            ASSERT_TRUE(p[0] == e[2] && p[1] == e[1] && p[2] == e[0]) << x << "," << y;
        }
    // Asking for more rows than the image has is a failure.
    Read(jpeg, false, 40);
    EXPECT_TRUE(Aborted);
}

TEST_F(Jpeg, ProgressRisesTo100AndAHandlerCanStopTheRead) {
    const auto jpeg = MakeJpeg("", 32, 64);
    std::vector<int32_t> reports;
    Progress.Handler = [&](TObject*, int32_t Per) { reports.push_back(Per); };
    EXPECT_EQ(Read(jpeg), 64);
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.back(), 100);
    Progress.Handler = [&](TObject*, int32_t Per) {
        if (Per >= 25) Aborted = true;
    };
    EXPECT_LT(Read(jpeg), 64);
    EXPECT_TRUE(Aborted);
    // A handler that raises stops the read the same way, with no exception for the caller.
    Progress.Handler = [&](TObject*, int32_t) { throw Exception(u"stop"); };
    EXPECT_LT(Read(jpeg), 64);
    EXPECT_TRUE(Aborted);
    Progress.Handler = nullptr;
}

TEST_F(Jpeg, ResolutionComesFromTheJfifDensity) {
    const auto made = MakeJpeg("", 16, 16);
    ASSERT_EQ(std::string(made.begin() + 6, made.begin() + 11), std::string("JFIF\0", 5));
    const struct {
        uint8_t Unit;
        uint16_t X, Y;
        int32_t DpiX, DpiY;
    } cases[] = {{0, 1, 1, 1, 1}, {1, 72, 96, 72, 96}, {2, 100, 50, 254, 127}, {3, 10, 10, 7, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE("unit " + std::to_string(c.Unit));
        auto jpeg = made;
        jpeg[13] = c.Unit;
        jpeg[14] = static_cast<uint8_t>(c.X >> 8);
        jpeg[15] = static_cast<uint8_t>(c.X);
        jpeg[16] = static_cast<uint8_t>(c.Y >> 8);
        jpeg[17] = static_cast<uint8_t>(c.Y);
        Params.SetDpiX(7);
        Params.SetDpiY(7);
        Read(jpeg);
        EXPECT_EQ(Params.DpiX, c.DpiX);
        EXPECT_EQ(Params.DpiY, c.DpiY);
    }
}

TEST_F(Jpeg, CmykIsReadNativeOrThroughTheFormula) {
    if (!ToolExists("convert") || PillowPython().empty())
        GTEST_SKIP() << "ImageMagick and python3 with Pillow are needed";
    WriteSyntheticPhoto(File("photo.ppm"), 24, 16);
    RunCommand("convert '" + File("photo.ppm") + "' -colorspace CMYK -quality 95 '" +
               File("cmyk.jpg") + "'");
    RunCommand(PillowPython() + " -c \"from PIL import Image; im = Image.open('" +
               File("cmyk.jpg") + "'); assert im.mode == 'CMYK'; open('" + File("cmyk.raw") +
               "', 'wb').write(im.tobytes())\"");
    const auto jpeg = ReadFileBytes(File("cmyk.jpg"));
    const auto inks = ReadFileBytes(File("cmyk.raw"));
    ASSERT_EQ(inks.size(), size_t{24} * 16 * 4);

    Read(jpeg, true);
    EXPECT_FALSE(Aborted);
    ASSERT_EQ(Bitmap.GetPixelFormat(), TVLPixelFormat::vlCMYK);
    EXPECT_EQ(Params.SamplesPerPixel, 4);
    EXPECT_TRUE(Params.JpegColorSpace == jcCMYK || Params.JpegColorSpace == jcYCbCrK);
    // The bitmap stores each ink inverted; Pillow gives the inks.
    int64_t differences = 0;
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t i = 0; i < 24 * 4; ++i)
            if (Bitmap.GetScanline(y)[i] != 255 - inks[static_cast<size_t>(y) * 24 * 4 + i])
                ++differences;
    EXPECT_EQ(differences, 0);

    std::vector<std::vector<uint8_t>> stored;
    for (int32_t y = 0; y < 16; ++y)
        stored.emplace_back(Bitmap.GetScanline(y), Bitmap.GetScanline(y) + 24 * 4);
    const bool managed = CMYKColorManagement;
    CMYKColorManagement = false;
    FreeCMYKTransforms();
    Read(jpeg, false);
    ASSERT_EQ(Bitmap.GetPixelFormat(), TVLPixelFormat::vl24RGB);
    std::vector<TVLRGB> expected(24);
    for (int32_t y = 0; y < 16; ++y) {
        ConvertCMYKRowToRGB(stored[y].data(), expected.data(), 24);
        EXPECT_EQ(std::memcmp(Bitmap.GetScanline(y), expected.data(), 24 * 3), 0) << "row " << y;
    }
    // Inverted first (the TIFF reader's CMYK), then through the same formula.
    LoadStream(Stream, jpeg);
    ReadJPEGStream(Stream, nullptr, Bitmap, Params, Progress, false, false, false, true, true,
                   false, -1, false);
    std::vector<uint8_t> inverted(24 * 4);
    for (int32_t y = 0; y < 16; ++y) {
        for (size_t i = 0; i < inverted.size(); ++i)
            inverted[i] = static_cast<uint8_t>(255 - stored[y][i]);
        ConvertCMYKRowToRGB(inverted.data(), expected.data(), 24);
        EXPECT_EQ(std::memcmp(Bitmap.GetScanline(y), expected.data(), 24 * 3), 0) << "row " << y;
    }
    CMYKColorManagement = managed;
}

TEST_F(Jpeg, KeepingYCbCrDeliversTheLumaDjpegGivesForGrey) {
    const auto jpeg = MakeJpeg("-sample 2x2", 33, 21);
    const TPnm luma = Djpeg(jpeg, "-dct int -grayscale");
    ASSERT_EQ(luma.Channels, 1);
    LoadStream(Stream, jpeg);
    ReadJPEGStream(Stream, nullptr, Bitmap, Params, Progress, false, true, false, false, true,
                   false, -1, false);
    EXPECT_FALSE(Aborted);
    ASSERT_EQ(Bitmap.GetWidth(), 33);
    int64_t differences = 0;
    for (int32_t y = 0; y < 21; ++y)
        for (int32_t x = 0; x < 33; ++x)
            if (Bitmap.GetScanline(y)[x * 3] != luma.Pixels[static_cast<size_t>(y) * 33 + x])
                ++differences;
    EXPECT_EQ(differences, 0);
}

// An APP2 segment carrying one chunk of an ICC profile.
std::vector<uint8_t> IccChunk(const std::vector<uint8_t>& Profile, size_t From, size_t Count,
                              uint8_t Sequence, uint8_t Total) {
    std::vector<uint8_t> segment = {0xFF, 0xE2, 0, 0};
    const char signature[] = "ICC_PROFILE";
    segment.insert(segment.end(), signature, signature + 12);
    segment.push_back(Sequence);
    segment.push_back(Total);
    segment.insert(segment.end(), Profile.begin() + From, Profile.begin() + From + Count);
    const size_t length = segment.size() - 2;
    segment[2] = static_cast<uint8_t>(length >> 8);
    segment[3] = static_cast<uint8_t>(length);
    return segment;
}

// Jpeg with Segments inserted after its start-of-image marker.
std::vector<uint8_t> WithSegments(const std::vector<uint8_t>& Jpeg,
                                  const std::vector<std::vector<uint8_t>>& Segments) {
    std::vector<uint8_t> out(Jpeg.begin(), Jpeg.begin() + 2);
    for (const auto& s : Segments)
        out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), Jpeg.begin() + 2, Jpeg.end());
    return out;
}

TEST_F(Jpeg, ProfileChunksOutOfOrderJoinAsExiftoolJoinsThem) {
    if (!ToolExists("exiftool")) GTEST_SKIP() << "exiftool is needed";
    std::vector<uint8_t> profile;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("/usr/share/color/icc"))
        if (entry.path().extension() == ".icc" || entry.path().extension() == ".icm") {
            profile = ReadFileBytes(entry.path());
            if (profile.size() > 600) break;
        }
    if (profile.size() <= 600) GTEST_SKIP() << "no ICC profile under /usr/share/color/icc";
    const size_t third = profile.size() / 3;
    const auto c1 = IccChunk(profile, 0, third, 1, 3);
    const auto c2 = IccChunk(profile, third, third, 2, 3);
    const auto c3 = IccChunk(profile, 2 * third, profile.size() - 2 * third, 3, 3);
    const auto base = MakeJpeg("", 16, 16);
    const auto jpeg = WithSegments(base, {c3, c1, c2});
    WriteBytes(File("icc.jpg"), jpeg);
    std::string joined;
    ASSERT_TRUE(RunTool("exiftool -b -icc_profile '" + File("icc.jpg") + "'", joined));
    ASSERT_EQ(joined.size(), profile.size());

    Read(jpeg);
    EXPECT_FALSE(Aborted);
    TVLICC* embedded = Params.GetEmbeddedICCProfile();
    ASSERT_EQ(embedded->GetRawLength(), static_cast<int32_t>(joined.size()));
    EXPECT_EQ(std::memcmp(embedded->GetRaw(), joined.data(), joined.size()), 0);

    // A repeated or a missing chunk, a chunk count of 0, or a sequence number of 0: no profile.
    const std::vector<std::vector<std::vector<uint8_t>>> broken = {
        {c1, c1, c2},
        {c1, c3},
        {IccChunk(profile, 0, profile.size(), 1, 0)},
        {IccChunk(profile, 0, profile.size(), 0, 1)},
    };
    for (size_t i = 0; i < broken.size(); ++i) {
        SCOPED_TRACE("broken set " + std::to_string(i));
        TIOParamsVals fresh;
        LoadStream(Stream, WithSegments(base, broken[i]));
        ReadJPEGICCProfile(Stream, fresh);
        EXPECT_EQ(Stream.GetPosition(), 0);
        EXPECT_EQ(fresh.GetEmbeddedICCProfile()->GetRawLength(), 0);
    }
}

TEST_F(Jpeg, ImpossibleSegmentLengthsStopTheScannersAndTheReadEndsAsDjpegs) {
    const auto base = MakeJpeg("", 16, 16);
    for (uint8_t marker : {uint8_t{0xE1}, uint8_t{0xE2}, uint8_t{0xEE}})
        for (uint8_t length : {uint8_t{0}, uint8_t{1}}) {
            SCOPED_TRACE("marker " + std::to_string(marker) + " length " + std::to_string(length));
            const auto jpeg = WithSegments(base, {{0xFF, marker, 0, length}});
            LoadStream(Stream, jpeg);
            EXPECT_EQ(GetJPEGStreamLength(Stream), -1);
            TIOParamsVals fresh;
            ReadJPEGICCProfile(Stream, fresh);
            EXPECT_EQ(Stream.GetPosition(), 0);
            EXPECT_EQ(fresh.GetEmbeddedICCProfile()->GetRawLength(), 0);
            // The library takes the length as an empty segment and goes on to the next marker,
            // as djpeg does.
            const TPnm expected = Djpeg(jpeg, "-dct int");
            RunBounded([&] { Read(jpeg); });
            if (expected.Width == 0) {
                EXPECT_TRUE(Aborted);
            } else {
                EXPECT_FALSE(Aborted);
                EXPECT_EQ(CountDifferences(Bitmap, expected), 0);
            }
        }
    // An ICC_PROFILE segment too short for its chunk header is no chunk.
    std::vector<uint8_t> shortChunk = {0xFF, 0xE2, 0, 14};
    const char signature[] = "ICC_PROFILE";
    shortChunk.insert(shortChunk.end(), signature, signature + 12);
    TIOParamsVals fresh;
    LoadStream(Stream, WithSegments(base, {shortChunk}));
    ReadJPEGICCProfile(Stream, fresh);
    EXPECT_EQ(fresh.GetEmbeddedICCProfile()->GetRawLength(), 0);
}

TEST_F(Jpeg, StreamLengthReachesTheEndOfImageOrAnswersMinusOne) {
    const auto jpeg = MakeJpeg("-progressive -restart 1", 40, 40);
    std::vector<uint8_t> bytes(7, 0);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    bytes.insert(bytes.end(), 33, 0x55);
    LoadStream(Stream, bytes);
    Stream.SetPosition(7);
    EXPECT_EQ(GetJPEGStreamLength(Stream), static_cast<int32_t>(jpeg.size()));
    EXPECT_EQ(Stream.GetPosition(), 7);
    // Without its end-of-image marker the data has no length.
    LoadStream(Stream, std::vector<uint8_t>(jpeg.begin(), jpeg.end() - 2));
    EXPECT_EQ(GetJPEGStreamLength(Stream), -1);
    // A segment that runs past the end.
    LoadStream(Stream, {0xFF, 0xD8, 0xFF, 0xE0, 0x7F, 0xFF, 1, 2, 3});
    EXPECT_EQ(GetJPEGStreamLength(Stream), -1);
}

// Writes a 2-component JPEG through the library itself: a colour space no output exists for.
std::vector<uint8_t> TwoComponentJpeg() {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 16;
    info.image_height = 8;
    info.input_components = 2;
    info.in_color_space = JCS_UNKNOWN;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(32, 100);
    JSAMPROW rows[1] = {row.data()};
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows, 1);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

TEST_F(Jpeg, AFileOfUnknownColourSpaceAbortsInsteadOfLooping) {
    const auto jpeg = TwoComponentJpeg();
    for (bool native : {false, true}) {
        SCOPED_TRACE(native ? "native" : "24-bit");
        Bitmap.FreeImage(true);
        int32_t rows = -1;
        RunBounded([&] { rows = Read(jpeg, native); });
        EXPECT_EQ(rows, 0);
        EXPECT_TRUE(Aborted);
        EXPECT_TRUE(Bitmap.IsEmpty());
        EXPECT_EQ(Params.OriginalWidth, 16);
    }
}

TEST_F(Jpeg, RandomDamageNeverCrashesOrHangs) {
    const auto jpeg = MakeJpeg("-sample 2x2", 48, 40);
    // Damage after the frame header only: a damaged frame size would ask for a huge bitmap.
    size_t frameEnd = 2;
    while (frameEnd + 4 < jpeg.size() && !(jpeg[frameEnd] == 0xFF && jpeg[frameEnd + 1] == 0xC0))
        frameEnd += 2 + (jpeg[frameEnd + 2] << 8 | jpeg[frameEnd + 3]);
    frameEnd += 2 + (jpeg[frameEnd + 2] << 8 | jpeg[frameEnd + 3]);
    ASSERT_LT(frameEnd, jpeg.size());
    std::mt19937 random(1234);
    RunBounded([&] {
        for (int round = 0; round < 150; ++round) {
            auto damaged = jpeg;
            const int flips = 1 + static_cast<int>(random() % 12);
            for (int i = 0; i < flips; ++i)
                damaged[frameEnd + random() % (damaged.size() - frameEnd)] =
                    static_cast<uint8_t>(random());
            if (round % 3 == 0) damaged.resize(frameEnd + random() % (damaged.size() - frameEnd));
            Read(damaged);
            LoadStream(Stream, damaged);
            GetJPEGStreamLength(Stream);
            TIOParamsVals fresh;
            ReadJPEGICCProfile(Stream, fresh);
        }
    });
}

TEST_F(Jpeg, AnEmptyOrFailingStreamAborts) {
    Read({});
    EXPECT_TRUE(Aborted);
    // Only the start-of-image marker: the library meets the inserted end of image at once.
    Read({0xFF, 0xD8, 0xFF});
    EXPECT_TRUE(Aborted);

    // A device that fails in the middle of the data: a failed read, not a short file.
    class TFailingStream : public TMemoryStream {
    public:
        int32_t Read(void* Buffer, int32_t Count) override {
            if (GetPosition() >= 400) throw EReadError(u"device gone");
            return TMemoryStream::Read(Buffer, std::min(Count, 16));
        }
    } failing;
    const auto jpeg = MakeJpeg("", 32, 32);
    failing.Write(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    failing.SetPosition(0);
    Aborted = false;
    ReadJPEGStream(failing, nullptr, Bitmap, Params, Progress, false, false, true, false, true,
                   false, -1, false);
    EXPECT_TRUE(Aborted);
}

TEST_F(Jpeg, MarkersAreKeptInFileOrderWithoutTheFirstApp0AndXmpIsRead) {
    if (!ToolExists("exiftool")) GTEST_SKIP() << "exiftool is needed";
    const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                               "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'/>"
                               "</x:xmpmeta>";
    TIOParamsVals source;
    source.XmpInfo = packet;
    std::vector<uint8_t> xmp = {0xFF, 0xE1, 0, 0};
    const auto payload = BuildXMPAPP1(source);
    xmp.insert(xmp.end(), payload.begin(), payload.end());
    xmp[2] = static_cast<uint8_t>((xmp.size() - 2) >> 8);
    xmp[3] = static_cast<uint8_t>(xmp.size() - 2);
    const std::vector<uint8_t> comment = {0xFF, 0xFE, 0, 5, 'a', 'b', 'c'};
    const std::vector<uint8_t> app0 = {0xFF, 0xE0, 0, 4, 'Z', 'Z'};
    // cjpeg's JFIF APP0 is the first; the second APP0 is kept.
    auto base = MakeJpeg("", 8, 8);
    std::vector<uint8_t> jpeg(base.begin(), base.begin() + 20);
    for (const auto& s : {comment, app0, xmp})
        jpeg.insert(jpeg.end(), s.begin(), s.end());
    jpeg.insert(jpeg.end(), base.begin() + 20, base.end());
    Read(jpeg);
    EXPECT_FALSE(Aborted);
    ASSERT_EQ(Params.JpegMarkers.GetCount(), 3);
    EXPECT_EQ(Params.JpegMarkers.GetMarkerType(0), 0xFE);
    EXPECT_EQ(Params.JpegMarkers.GetMarkerType(1), 0xE0);
    EXPECT_EQ(Params.JpegMarkers.GetMarkerLength(1), 2);
    EXPECT_EQ(Params.JpegMarkers.GetMarkerType(2), 0xE1);
    EXPECT_EQ(Params.XmpInfo, packet);
    WriteBytes(File("xmp.jpg"), jpeg);
    std::string fromTool;
    ASSERT_TRUE(RunTool("exiftool -b -xmp '" + File("xmp.jpg") + "'", fromTool));
    EXPECT_EQ(fromTool, packet);
}

TEST(Xmp, PayloadsAreRecognisedBuiltAndRefused) {
    TIOParamsVals params;
    EXPECT_EQ(BuildXMPAPP1(params).size(), size_t{29}); // empty packet: the header only
    const auto empty = BuildXMPAPP1(params);
    EXPECT_EQ(FindXMPInAPP1(empty.data(), static_cast<int32_t>(empty.size())), nullptr);
    params.XmpInfo = "<x/>";
    const auto block = BuildXMPAPP1(params);
    ASSERT_EQ(block.size(), size_t{33});
    EXPECT_EQ(std::string(block.begin(), block.begin() + 29),
              std::string("http://ns.adobe.com/xap/1.0/\0", 29));
    TIOParamsVals read;
    ASSERT_TRUE(ReadXMPFromAPP1(block.data(), static_cast<int32_t>(block.size()), read));
    EXPECT_EQ(read.XmpInfo, "<x/>");
    // An EXIF payload, and an identifier without its NUL inside the payload, are not XMP.
    const std::string exif("Exif\0\0MM\0*\0\0\0\x08http://ns.adobe.com/xap/1.0/", 42);
    EXPECT_FALSE(ReadXMPFromAPP1(reinterpret_cast<const uint8_t*>(exif.data()),
                                 static_cast<int32_t>(exif.size()), read));
    const std::string unterminated = "http://ns.adobe.com/xap/1.0/<x:xmpmeta>";
    EXPECT_EQ(FindXMPInAPP1(reinterpret_cast<const uint8_t*>(unterminated.data()),
                            static_cast<int32_t>(unterminated.size())),
              nullptr);
    EXPECT_EQ(read.XmpInfo, "<x/>");
}

// ---- Writing ----

class JpegWrite : public Jpeg {
protected:
    // Writes the synthetic photo with Params' options and answers the file.
    std::vector<uint8_t> Write() {
        WriteSyntheticPhoto(File("photo.ppm"), 48, 32);
        const TPnm photo = ReadPnm(File("photo.ppm"));
        TVLBitmap source(photo.Width, photo.Height, TVLPixelFormat::vl24RGB);
        for (int32_t y = 0; y < photo.Height; ++y)
            for (int32_t x = 0; x < photo.Width; ++x) {
                const uint8_t* p = &photo.Pixels[(static_cast<size_t>(y) * photo.Width + x) * 3];
                source.SetPixelRGB(x, y, TVLRGB{p[2], p[1], p[0]});
            }
        TMemoryStream out;
        Aborted = false;
        WriteJPEGStream(out, source, Params, Progress);
        std::vector<uint8_t> bytes(static_cast<size_t>(out.GetSize()));
        out.SetPosition(0);
        out.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
        return bytes;
    }

    // What Pillow says of a file: Expression over the opened image "im".
    std::string Pillow(const std::vector<uint8_t>& Jpeg, const std::string& Expression) {
        WriteBytes(File("pillow.jpg"), Jpeg);
        std::string out;
        RunTool(PillowPython() + " -c \"from PIL import Image; im = Image.open('" +
                    File("pillow.jpg") + "'); print(" + Expression + ")\"",
                out);
        return out;
    }
};

TEST_F(JpegWrite, QuantisationTablesEqualCjpegBaseline) {
    if (PillowPython().empty()) GTEST_SKIP() << "python3 with Pillow is needed";
    for (int32_t quality : {5, 25, 50, 75, 90, 100}) {
        SCOPED_TRACE("quality " + std::to_string(quality));
        Params.JpegQuality = quality;
        const auto ours = Write();
        EXPECT_FALSE(Aborted);
        const auto theirs = MakeJpeg("-baseline -quality " + std::to_string(quality), 48, 32);
        const std::string tables = Pillow(ours, "im.quantization");
        EXPECT_FALSE(tables.empty());
        EXPECT_EQ(tables, Pillow(theirs, "im.quantization"));
    }
}

TEST_F(JpegWrite, OptionsReachTheFile) {
    if (PillowPython().empty()) GTEST_SKIP() << "python3 with Pillow is needed";
    const struct {
        TVLJpegSubsampling Sampling;
        const char* Layer;
    } samplings[] = {{ss420, "[(1, 2, 2, 0), (2, 1, 1, 1), (3, 1, 1, 1)]"},
                     {ss422, "[(1, 2, 1, 0), (2, 1, 1, 1), (3, 1, 1, 1)]"},
                     {ss444, "[(1, 1, 1, 0), (2, 1, 1, 1), (3, 1, 1, 1)]"}};
    for (const auto& s : samplings) {
        Params.JpegChromaSubsampling = s.Sampling;
        EXPECT_EQ(Pillow(Write(), "im.layer"), std::string(s.Layer) + "\n");
    }
    Params.JpegProgressive = true;
    Params.SetDpiX(150);
    Params.SetDpiY(0);
    const auto progressive = Write();
    EXPECT_EQ(Pillow(progressive, "im.info.get('progressive', 0), im.info['dpi']"),
              "1 (150, " + std::to_string(DefaultDpiY) + ")\n");
    Params.JpegProgressive = false;
    Params.JpegColorSpace = jcGrayScale;
    EXPECT_EQ(Pillow(Write(), "im.mode"), "L\n");
    Params.JpegColorSpace = jcRGB;
    // RGB stored unconverted: read back, the colours stay close to the source.
    const auto rgb = Write();
    EXPECT_EQ(Pillow(rgb, "im.mode, 'adobe' in im.info"), "RGB True\n");
    Read(rgb);
    const TPnm photo = ReadPnm(File("photo.ppm"));
    const uint8_t* p = &photo.Pixels[(5 * 48 + 7) * 3];
    const TVLRGB got = Bitmap.GetPixelRGB(7, 5);
    EXPECT_NEAR(got.r, p[0], 12);
    EXPECT_NEAR(got.b, p[2], 12);
    Params.JpegColorSpace = jcCMYK;
    EXPECT_EQ(Pillow(Write(), "im.mode, 'adobe' in im.info, 'jfif' in im.info"),
              "CMYK True True\n");
    Params.JpegColorSpace = jcYCbCrK;
    EXPECT_EQ(Pillow(Write(), "im.mode, 'jfif' in im.info"), "CMYK False\n");
}

TEST_F(JpegWrite, MarkersAreWrittenSortedAndApp14Never) {
    const std::vector<uint8_t> text = {'n', 'o', 't', 'e'};
    Params.JpegMarkers.AddMarker(0xFE, text.data(), 4);
    Params.JpegMarkers.AddMarker(0xEE, text.data(), 4);
    Params.JpegMarkers.AddMarker(0xED, text.data(), 4);
    Params.JpegMarkers.AddMarker(0xE1, text.data(), 4);
    const auto jpeg = Write();
    // The markers before the first frame header, in file order.
    std::vector<uint8_t> order;
    for (size_t i = 2; i + 4 < jpeg.size() && jpeg[i + 1] != 0xC0;
         i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]))
        if (jpeg[i + 1] >= 0xE0) order.push_back(jpeg[i + 1]);
    EXPECT_EQ(order, (std::vector<uint8_t>{0xE0, 0xE1, 0xED, 0xFE}));
    Read(jpeg);
    ASSERT_EQ(Params.JpegMarkers.GetCount(), 3);
    EXPECT_EQ(Params.JpegMarkers.GetMarkerType(2), 0xFE);
    EXPECT_EQ(std::vector<uint8_t>(Params.JpegMarkers.GetMarkerData(2),
                                   Params.JpegMarkers.GetMarkerData(2) + 4),
              text);
}

TEST_F(JpegWrite, FailuresSetTheAbortFlagOrRaise) {
    TMemoryStream out;
    TVLBitmap empty;
    WriteJPEGStream(out, empty, Params, Progress);
    EXPECT_TRUE(Aborted);
    EXPECT_EQ(out.GetSize(), 0);

    // Wider than the format allows: the library's error, with the abort flag.
    TVLBitmap wide(70000, 1, TVLPixelFormat::vl24RGB);
    Aborted = false;
    try {
        WriteJPEGStream(out, wide, Params, Progress);
        ADD_FAILURE() << "no exception";
    } catch (const EVLJpegException& e) {
        EXPECT_EQ(e.Message(), u"Maximum supported image dimension is ? pixels");
    }
    EXPECT_TRUE(Aborted);

    class TShortStream : public TMemoryStream {
    public:
        int32_t Write(const void* Buffer, int32_t Count) override {
            return TMemoryStream::Write(Buffer, Count / 2);
        }
    } shortStream;
    TVLBitmap picture(16, 16, TVLPixelFormat::vl24RGB);
    Aborted = false;
    WriteJPEGStream(shortStream, picture, Params, Progress);
    EXPECT_TRUE(Aborted);
}

TEST_F(JpegWrite, OtherPixelFormatsAreWrittenAs24BitColour) {
    TVLBitmap grey(20, 10, TVLPixelFormat::vl8g);
    for (int32_t y = 0; y < 10; ++y)
        std::memset(grey.GetScanline(y), y * 20, 20);
    TMemoryStream out;
    WriteJPEGStream(out, grey, Params, Progress);
    EXPECT_FALSE(Aborted);
    EXPECT_EQ(grey.GetPixelFormat(), TVLPixelFormat::vl8g);
    std::vector<uint8_t> bytes(static_cast<size_t>(out.GetSize()));
    out.SetPosition(0);
    out.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
    Read(bytes);
    EXPECT_EQ(Bitmap.GetWidth(), 20);
    EXPECT_NEAR(Bitmap.GetPixelRGB(3, 9).g, 180, 3);
}

// ---- Camera-raw wrappers ----

TEST_F(Jpeg, WrappersDecodeAsTheReaderDoesAndRaiseLibraryErrors) {
    const auto jpeg = MakeJpeg("-sample 1x1", 24, 12);
    Read(jpeg);
    TMemoryStream source;
    LoadStream(source, jpeg);
    TVLJpegDecompressor* d = JPEGAllocDecompress();
    JPEGAllocErrorManager(d);
    JPEGCreateDecompress(d);
    JPEGSetStreamSource(d, source);
    EXPECT_EQ(JPEGReadHeader(d, true), JPEG_HEADER_OK);
    EXPECT_TRUE(JPEGStartDecompress(d));
    ASSERT_EQ(JPEGGetOutputWidth(d), 24);
    EXPECT_EQ(JPEGGetOutputHeight(d), 12);
    ASSERT_EQ(JPEGGetOutputComponents(d), 3);
    uint8_t** rows = JPEGAllocSampleArray(d, JPOOL_IMAGE, 24 * 3, 1);
    while (JPEGGetOutputScanline(d) < 12) {
        const int32_t y = JPEGGetOutputScanline(d);
        ASSERT_EQ(JPEGReadScanlines(d, rows, 1), 1u);
        for (int32_t x = 0; x < 24; ++x) {
            const TVLRGB p = Bitmap.GetPixelRGB(x, y);
            ASSERT_TRUE(rows[0][x * 3] == p.r && rows[0][x * 3 + 2] == p.b) << x << "," << y;
        }
    }
    EXPECT_TRUE(JPEGFinishDecompress(d));

    // The same decompressor on bytes that are no JPEG: the library's error as an exception.
    const std::vector<uint8_t> garbage(64, 0x41);
    JPEGSetSourceBuffer(d, garbage.data(), static_cast<uint32_t>(garbage.size()));
    try {
        JPEGReadHeader(d, true);
        ADD_FAILURE() << "no exception";
    } catch (const EVLJpegException& e) {
        EXPECT_EQ(e.Message(), u"Not a JPEG file: starts with 0x? 0x?");
    }
    JPEGDestroyDecompress(d);
    JPEGFreeErrorManager(d);
    JPEGFreeDecompress(d);
}

TEST_F(Jpeg, AnErrorInTheTablesStreamRaisesAfterCleanUp) {
    const auto jpeg = MakeJpeg("", 8, 8);
    TMemoryStream tables;
    LoadStream(tables, {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x03, 0x77, 0xFF, 0xD9});
    LoadStream(Stream, jpeg);
    Aborted = false;
    EXPECT_THROW(ReadJPEGStream(Stream, &tables, Bitmap, Params, Progress, false, false, false,
                                false, true, false, -1, false),
                 EVLJpegException);
    EXPECT_TRUE(Aborted);
}

} // namespace
