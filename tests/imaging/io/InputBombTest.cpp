// Tiny files that would cost gigabytes or minutes: JPEG 2000 codestreams declaring tens of
// thousands of tiles, GIF animations declaring a screen no frame could cover, and progressive
// JPEGs repeating one scan hundreds of times. Each is made by patching a file the test writes;
// the bound is shown by the abort flag and, where memory is at stake, by a child process whose
// address space may grow by 512 MiB and must grow by far less.
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VLJpeg2000.h"
#include "imaging/io/VistrelIOUnit.h"
#include "tests/imaging/io/IOComponentSupport.h"
#include "tests/system/ChildProcess.h"

#include <algorithm>

namespace {

using enum TVLPixelFormat;

class InputBomb : public ::testing::Test {
protected:
    void SetUp() override { InitializeVistrelIOUnit(); }
    void TearDown() override { FinalizeVistrelIOUnit(); }
    TScratch Dir;
};

void PutBig32(TBytes& Bytes, size_t At, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        Bytes[At + i] = uint8_t(Value >> (24 - 8 * i));
}

// ---- JPEG 2000 ------------------------------------------------------------------------------

constexpr int32_t JP2Format = 0;
constexpr int32_t J2KFormat = 1;

TBytes SmallJPEG2000(int32_t Format) {
    TVLBitmap source;
    EXPECT_TRUE(source.Allocate(16, 16, vl24RGB));
    source.Fill(0x336699);
    TIOParamsVals params;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    TMemoryStream stream;
    WriteJPEG2000Stream(stream, source, params, progress, Format);
    EXPECT_FALSE(aborted);
    return StreamBytes(stream);
}

// Rewrites the picture and tile sizes of the SIZ segment, wherever the codestream begins.
TBytes WithSiz(TBytes Bytes, uint32_t Width, uint32_t Height, uint32_t TileWidth,
               uint32_t TileHeight) {
    const TBytes soc = {0xFF, 0x4F, 0xFF, 0x51};
    const auto at = std::search(Bytes.begin(), Bytes.end(), soc.begin(), soc.end());
    EXPECT_NE(at, Bytes.end());
    const auto siz = static_cast<size_t>(at - Bytes.begin());
    PutBig32(Bytes, siz + 8, Width);
    PutBig32(Bytes, siz + 12, Height);
    PutBig32(Bytes, siz + 24, TileWidth);
    PutBig32(Bytes, siz + 28, TileHeight);
    return Bytes;
}

// Loading the file and reading its parameters both fail.
bool RefusedByLoadAndParams(const std::string& File) {
    TCountingIO io;
    io.IO.LoadFromFile(Wide(File));
    const bool loadRefused = io.IO.AbortingFlag && io.Bitmap().IsEmpty();
    io.IO.ParamsFromFile(Wide(File));
    return loadRefused && io.IO.IOParams().FileType == 0;
}

TEST_F(InputBomb, JPEG2000HeadersDeclaringMoreThanTheStreamHoldsAreRefusedBeforeDecoding) {
    struct Case {
        const char* name;
        int32_t format;
        const char* extension;
        uint32_t width, height, tileWidth, tileHeight;
    };
    const Case cases[] = {
        // 255 x 257 tiles of one pixel each: 65,535 tiles in a few hundred bytes.
        {"codestream, 65535 tiles", J2KFormat, ".j2k", 255, 257, 1, 1},
        {"JP2 file, 65535 tiles", JP2Format, ".jp2", 255, 257, 1, 1},
        // One tile of 40,000 x 40,000: gigabytes of samples from a few hundred bytes.
        {"codestream, one huge tile", J2KFormat, ".j2k", 40000, 40000, 40000, 40000},
        {"JP2 file, one huge tile", JP2Format, ".jp2", 40000, 40000, 40000, 40000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TBytes good = SmallJPEG2000(c.format);
        const std::string file = Dir.File(std::string("bomb") + c.extension);
        WriteBytes(file, WithSiz(good, c.width, c.height, c.tileWidth, c.tileHeight));
        EXPECT_TRUE(BoundedInChild([&] { return RefusedByLoadAndParams(file); }));

        // The file as written still loads.
        const std::string control = Dir.File(std::string("good") + c.extension);
        WriteBytes(control, good);
        TCountingIO io;
        io.IO.LoadFromFile(Wide(control));
        EXPECT_FALSE(io.IO.AbortingFlag);
        EXPECT_EQ(io.Bitmap().GetWidth(), 16);
    }
}

// ---- GIF ------------------------------------------------------------------------------------

// Two frames of one pixel each (an animation) on a logical screen of the given size.
TBytes TwoPixelAnimation(uint16_t ScreenWidth, uint16_t ScreenHeight) {
    TBytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    gif.insert(gif.end(), {uint8_t(ScreenWidth), uint8_t(ScreenWidth >> 8), uint8_t(ScreenHeight),
                           uint8_t(ScreenHeight >> 8), 0x80, 0, 0});
    gif.insert(gif.end(), {0, 0, 0, 255, 255, 255});
    for (int frame = 0; frame < 2; ++frame)
        gif.insert(gif.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0x02, 0x02, 0x44, 0x01, 0x00});
    gif.push_back(0x3B);
    return gif;
}

TEST_F(InputBomb, GIFScreenLargerThanTheFramesCouldCoverIsRefused) {
    struct Case {
        const char* name;
        uint16_t width, height;
        bool refused;
    };
    // The file holds 50 bytes: its frames could describe at most 50 x 2731 pixels.
    const Case cases[] = {
        {"8000 x 8000 (a 244 MiB canvas, under the allocation floor)", 8000, 8000, true},
        {"65535 x 65535", 65535, 65535, true},
        {"374 x 374, just beyond what the frames could cover", 374, 374, true},
        {"368 x 368, within it", 368, 368, false},
        {"64 x 48", 64, 48, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Dir.File("screen.gif");
        const TBytes gif = TwoPixelAnimation(c.width, c.height);
        ASSERT_EQ(gif.size(), 50u);
        WriteBytes(file, gif);
        if (c.refused) {
            EXPECT_TRUE(BoundedInChild([&] {
                TCountingIO io;
                io.IO.LoadFromFile(Wide(file));
                return io.IO.AbortingFlag;
            }));
            continue;
        }
        TCountingIO io;
        io.IO.LoadFromFile(Wide(file));
        EXPECT_FALSE(io.IO.AbortingFlag);
        EXPECT_EQ(io.Bitmap().GetWidth(), c.width);
        EXPECT_EQ(io.Bitmap().GetHeight(), c.height);
    }
}

// ---- Progressive JPEG -----------------------------------------------------------------------

TBytes ProgressiveNoise(int32_t Size) {
    TVLBitmap source;
    FillNoise(source, Size, Size, 7);
    TIOParamsVals params;
    params.JpegProgressive = true;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    TMemoryStream stream;
    WriteJPEGStream(stream, source, params, progress);
    EXPECT_FALSE(aborted);
    return StreamBytes(stream);
}

// The JPEG with its last scan (SOS and its coded data) repeated Times more before the EOI. The
// coded data never holds the bytes FF DA, so the last of them starts the last scan.
TBytes RepeatLastScan(const TBytes& Jpeg, int32_t Times) {
    const TBytes sos = {0xFF, 0xDA};
    const auto scan = std::find_end(Jpeg.begin(), Jpeg.end(), sos.begin(), sos.end());
    const auto eoi = Jpeg.end() - 2;
    EXPECT_EQ(*eoi, 0xFF);
    EXPECT_EQ(*(eoi + 1), 0xD9);
    TBytes out(Jpeg.begin(), eoi);
    for (int32_t i = 0; i < Times; ++i)
        out.insert(out.end(), scan, eoi);
    out.insert(out.end(), eoi, Jpeg.end());
    return out;
}

// A memory stream that remembers how far it was read.
class TReadExtentStream : public TMemoryStream {
public:
    int32_t Read(void* Buffer, int32_t Count) override {
        const int32_t got = TMemoryStream::Read(Buffer, Count);
        Furthest = std::max(Furthest, GetPosition());
        return got;
    }
    int64_t Furthest = 0;
};

TEST_F(InputBomb, ProgressiveJPEGScansAreCountedAndTheAbortFlagStopsTheirDecoding) {
    const TBytes jpeg = ProgressiveNoise(128);
    struct Case {
        const char* name;
        int32_t repeats;
        bool refused;
    };
    // The encoder writes 10 scans; the reader stops past 500.
    const Case cases[] = {{"the file as written", 0, false},
                          {"last scan repeated 400 times", 400, false},
                          {"last scan repeated 600 times", 600, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Dir.File("scans.jpg");
        WriteBytes(file, RepeatLastScan(jpeg, c.repeats));
        TCountingIO io;
        io.IO.LoadFromFile(Wide(file));
        EXPECT_EQ(io.IO.AbortingFlag, c.refused);
        EXPECT_EQ(io.Bitmap().GetWidth(), c.refused ? 0 : 128);
    }

    // A progress handler that cancels at its first call stops the read at the next scan, long
    // before the scans of the file are all read.
    TReadExtentStream stream;
    LoadStream(stream, RepeatLastScan(jpeg, 400));
    TCountingIO io;
    int32_t calls = 0;
    io.IO.OnProgress = [&](TObject*, int32_t) {
        ++calls;
        io.IO.AbortingFlag = true;
    };
    io.IO.LoadFromStreamJPEG(stream);
    EXPECT_TRUE(io.IO.AbortingFlag);
    EXPECT_GE(calls, 1);
    EXPECT_LT(stream.Furthest, stream.GetSize() / 4);
}

} // namespace
