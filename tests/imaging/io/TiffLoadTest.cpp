// The TIFF entry points of the I/O component: loading by name and from streams against Pillow,
// pages, the "TIFF" stream header, content detection and the parameters-only read.
#include "imaging/io/VistrelIOFormats.h"

#include "imaging/io/VLTiffLZW.h"
#include "imaging/io/VistrelIOStream.h"
#include "tests/imaging/io/IOComponentSupport.h"

namespace {

class TiffLoad : public ::testing::Test {
protected:
    void SetUp() override {
        BuildFileFormatRegistry();
        // The decoder the I/O unit's start-up makes the default, on this record alone.
        C.IO.IOParams().TiffLZWDecompress = TiffLZWDecode;
        if (!ToolExists("convert") || !ToolExists("tiffcp"))
            SV_SKIP_WITHOUT_REFERENCE("ImageMagick's convert and libtiff's tiffcp");
        std::string log;
        // Page 0: RGB with alpha, LZW with the predictor; page 1: grey.
        ASSERT_TRUE(RunTool("convert -size 29x17 gradient:'#f03010-#1060e0' -alpha set -channel A "
                            "-fx 'i/w' +channel -depth 8 -compress lzw '" +
                                Dir.File("rgba.tif") + "'",
                            log));
        ASSERT_TRUE(RunTool("convert -size 13x7 gradient:white-black -depth 8 -type Grayscale '" +
                                Dir.File("grey.tif") + "'",
                            log));
        ASSERT_TRUE(RunTool("tiffcp '" + Dir.File("rgba.tif") + "' '" + Dir.File("grey.tif") +
                                "' '" + Dir.File("two.tif") + "'",
                            log));
    }
    TScratch Dir;
    TCountingIO C;
};

TEST_F(TiffLoad, FilesLoadAsPillowReadsThemWithTheirPages) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    const std::string file = Dir.File("two.tif");
    C.IO.LoadFromFile(Wide(file));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(C.IO.IOParams().FileType, ffTIFF);
    EXPECT_EQ(C.IO.IOParams().FileName, Wide(file));
    ASSERT_TRUE(C.Bitmap().HasAlphaChannel());
    TBytes pillow;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(PillowRGBA(Dir, Dir.File("rgba.tif"), pillow, w, h));
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), pillow);

    C.IO.IOParams().TiffImageIndex = 1;
    EXPECT_EQ(C.IO.LoadFromFileTIFF(Wide(file)), 2);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.Bitmap().GetWidth(), 13);
    EXPECT_FALSE(C.Bitmap().HasAlphaChannel());
    EXPECT_EQ(C.IO.IOParams().TiffImageCount, 2);
}

TEST_F(TiffLoad, StreamsAreDetectedAndTheStreamHeaderIsHonoured) {
    const TBytes bytes = ReadFileBytes(Dir.File("grey.tif"));
    TMemoryStream stream;
    LoadStream(stream, bytes);
    EXPECT_EQ(DetectStreamFormat(stream), ffTIFF);
    C.IO.LoadFromStream(stream);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.Bitmap().GetWidth(), 13);
    C.TakeFinishes();

    // With stream headers, data without one is refused; with one, the stream is left after it.
    C.IO.StreamHeaders = true;
    stream.SetPosition(0);
    EXPECT_EQ(C.IO.LoadFromStreamTIFF(stream), 0);
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);

    uint8_t header[StreamHeaderSize];
    MakeStreamHeader("TIFF", static_cast<int64_t>(bytes.size()), header);
    TBytes framed(header, header + StreamHeaderSize);
    framed.insert(framed.end(), bytes.begin(), bytes.end());
    framed.insert(framed.end(), {9, 9, 9});
    LoadStream(stream, framed);
    C.Bitmap().FreeImage(true);
    EXPECT_EQ(C.IO.LoadFromStreamTIFF(stream), 1);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.Bitmap().GetWidth(), 13);
    EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(StreamHeaderSize + bytes.size()));
}

TEST_F(TiffLoad, ParametersOnlyReadsTheSizeAndLeavesTheBitmap) {
    FillPicture(C.Bitmap(), 4, 4, TVLPixelFormat::vl24RGB);
    const TBytes before = PixelsRGBA(C.Bitmap());
    TMemoryStream stream;
    LoadStream(stream, ReadFileBytes(Dir.File("two.tif")));
    C.IO.ParamsFromStream(stream);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.IO.IOParams().FileType, ffTIFF);
    EXPECT_EQ(C.IO.IOParams().Width, 29);
    EXPECT_EQ(C.IO.IOParams().Height, 17);
    EXPECT_EQ(C.IO.IOParams().SamplesPerPixel, 4);
    EXPECT_EQ(C.IO.IOParams().TiffCompression, tcLZW);
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), before);
}

} // namespace
