// Storage and row access of TVLBitmap in every location and pixel format.
#include "imaging/core/VLBitmap.h"

#include "BitmapFixtures.h"
#include "TempFolder.h"
#include "imaging/core/VLHelpers.h"
#include "platform/gfx/Canvas.h"

#include <array>
#include <cstring>
#include <utility>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

void WriteRows(TVLBitmap& b) {
    for (int32_t r = 0; r < b.GetHeight(); ++r) {
        uint8_t* row = b.GetScanline(r);
        for (int32_t i = 0; i < b.GetRowLen(); ++i)
            row[i] = Pattern(r, i);
    }
}

void ExpectRows(TVLBitmap& b, int32_t bytes) {
    for (int32_t r = 0; r < b.GetHeight(); ++r) {
        const uint8_t* row = b.GetScanline(r);
        for (int32_t i = 0; i < bytes; ++i)
            ASSERT_EQ(row[i], Pattern(r, i)) << "row " << r << " byte " << i;
    }
}

class VLBitmapStorage : public TempFolderTest {
protected:
    void TearDown() override {
        MaxPixelBlockSize = INT64_MAX;
        TempFolderTest::TearDown();
    }

    // A bitmap made to allocate in the given storage.
    std::unique_ptr<TVLBitmap> Make(Storage storage) {
        DefaultMinFileSize = storage == Storage::File ? 0 : int64_t{1} << 40;
        MaxPixelBlockSize = storage == Storage::Fragments ? 1 : INT64_MAX;
        auto b = std::make_unique<TVLBitmap>();
        if (storage == Storage::ClassBitmap) b->SetLocation(vlTBitmap);
        return b;
    }
};

TEST_F(VLBitmapStorage, RowsByNumberInEveryStorageAndFormat) {
    for (Storage storage : AllStorages) {
        for (int f = 1; f < VLPixelFormatCount; ++f) {
            const auto format = static_cast<TVLPixelFormat>(f);
            const bool classFormat = format == vl1g || format == vl8p || format == vl8g ||
                                     format == vl16g || format == vl24RGB || format == vl32RGB;
            if (storage == Storage::ClassBitmap && !classFormat) continue;
            SCOPED_TRACE(std::string(StorageName(storage)) + ", format " + std::to_string(f));
            auto b = Make(storage);
            ASSERT_TRUE(b->Allocate(5, 7, format));
            const TVLLocation expected = storage == Storage::File          ? vlFile
                                         : storage == Storage::ClassBitmap ? vlTBitmap
                                                                           : vlMemory;
            EXPECT_EQ(b->GetLocation(), expected);
            EXPECT_EQ(b->GetFragmentCount() > 0, storage == Storage::Fragments);
            EXPECT_EQ(b->GetRowLen(), AlignedRowLength(5, b->GetBitCount(), 32));
            WriteRows(*b);
            ExpectRows(*b, b->GetRowLen());
            if (storage == Storage::Memory) { // bottom-up: row 0 is the last in memory
                EXPECT_EQ(b->GetScanline(0) - b->GetScanline(1), b->GetRowLen());
            } else if (storage == Storage::Fragments) { // top-down inside a fragment
                EXPECT_EQ(b->GetScanline(1) - b->GetScanline(0), b->GetRowLen());
            } else if (storage == Storage::ClassBitmap) {
                EXPECT_EQ(b->GetScanline(3), b->GetVclBitmap()->ScanLine(3));
            }
            b.reset();
            EXPECT_TRUE(FolderIsEmpty());
        }
    }
}

TEST_F(VLBitmapStorage, MinFileSizeDecidesMemoryOrFile) {
    // 4 x 4 vl8g = 16 bytes.
    struct Case {
        int64_t minFileSize;
        TVLLocation expected;
    };
    const Case cases[] = {{17, vlMemory}, {16, vlFile}, {15, vlFile}, {0, vlFile}};
    for (const Case& c : cases) {
        DefaultMinFileSize = c.minFileSize;
        TVLBitmap b(4, 4, vl8g);
        EXPECT_EQ(b.GetLocation(), c.expected) << c.minFileSize;
    }
    DefaultMinFileSize = 16;
    TVLBitmap inMemory;
    inMemory.SetLocation(vlMemory);
    ASSERT_TRUE(inMemory.Allocate(4, 4, vl8g)); // equal size keeps the location it had
    EXPECT_EQ(inMemory.GetLocation(), vlMemory);
}

TEST_F(VLBitmapStorage, FileRowsFromGetScanlineAreValidUntilTheNextCall) {
    DefaultMinFileSize = 0;
    TVLBitmap b(8, 3, vl8g);
    ASSERT_EQ(b.GetLocation(), vlFile);
    uint8_t* row0 = b.GetScanline(0);
    std::memset(row0, 0x10, 8);
    uint8_t* row1 = b.GetScanline(1); // row0 is written back and released here
    std::memset(row1, 0x20, 8);
    EXPECT_EQ(b.GetScanline(0)[7], 0x10);
    EXPECT_EQ(b.GetScanline(1)[0], 0x20);

    // Mapped rows stay valid together until unmapped.
    uint8_t* a = b.MapScanline(0);
    uint8_t* c = b.MapScanline(2);
    std::memcpy(c, a, 8);
    b.UnmapScanline(2);
    b.UnmapScanline(1); // not mapped: ignored
    b.UnmapAllScanlines();
    EXPECT_EQ(b.GetScanline(2)[3], 0x10);
}

TEST_F(VLBitmapStorage, WriteOnlyAccessSkipsTheReadButWritesBack) {
    DefaultMinFileSize = 0;
    TVLBitmap b(4, 2, vl8g);
    std::memset(b.GetScanline(0), 0x33, 4);
    b.UnmapAllScanlines();
    b.Access = VLAccessWrite;
    std::memset(b.GetScanline(0), 0x44, 4);
    b.GetScanline(1); // releases row 0, writing it back
    b.Access = VLAccessRead | VLAccessWrite;
    EXPECT_EQ(b.GetScanline(0)[0], 0x44);
}

TEST_F(VLBitmapStorage, AllocateTwiceDoesNothingUnlessFullReallocate) {
    DefaultMinFileSize = 0;
    TVLBitmap b(4, 4, vl24RGB);
    const String first = b.GetFileBuffer().FileName();
    EXPECT_FALSE(b.FullReallocate);
    ASSERT_TRUE(b.Allocate(4, 4, vl24RGB));
    EXPECT_EQ(b.GetFileBuffer().FileName(), first);
    b.FullReallocate = true;
    ASSERT_TRUE(b.Allocate(4, 4, vl24RGB));
    EXPECT_NE(b.GetFileBuffer().FileName(), first);
}

TEST_F(VLBitmapStorage, RefusedAllocationsLeaveAnEmptyBitmap) {
    TVLBitmap b;
    EXPECT_FALSE(b.Allocate(0, 5, vl8g));
    EXPECT_FALSE(b.Allocate(5, 5, vlNone));
    EXPECT_FALSE(b.Allocate(5, 5, static_cast<TVLPixelFormat>(42)));
    // A width whose row would exceed 32 bits is refused instead of wrapping to a short row.
    EXPECT_FALSE(b.Allocate(0x7FFFFFFF, 2, vlRGB48));
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.GetScanline(0), nullptr);
}

TEST_F(VLBitmapStorage, ClassBitmapFormats) {
    TVLBitmap grey;
    grey.SetLocation(vlTBitmap);
    ASSERT_TRUE(grey.Allocate(3, 3, vl16g));
    EXPECT_EQ(grey.GetPixelFormat(), vl8g);
    EXPECT_EQ(grey.GetRowLen(), 4);

    TVLBitmap cmyk;
    cmyk.SetLocation(vlTBitmap);
    EXPECT_FALSE(cmyk.Allocate(3, 3, vlCMYK));
    EXPECT_TRUE(cmyk.IsEmpty());

    TVLBitmap floats(3, 3, vl32f);
    WriteRows(floats);
    EXPECT_FALSE(floats.SetLocation(vlTBitmap)); // refused: the pixels stay where they were
    EXPECT_EQ(floats.GetLocation(), vlMemory);
    ExpectRows(floats, floats.GetRowLen());
}

TEST_F(VLBitmapStorage, ClassBitmapEnlargedBehindOurBackIsFollowed) {
    TVLBitmap b;
    b.SetLocation(vlTBitmap);
    ASSERT_TRUE(b.Allocate(4, 4, vl24RGB));
    TBitmap* vcl = b.GetVclBitmap();
    vcl->SetSize(9, 6);
    EXPECT_EQ(b.GetWidth(), 9);
    EXPECT_EQ(b.GetHeight(), 6);
    EXPECT_EQ(b.GetScanline(5), vcl->ScanLine(5));
}

TEST_F(VLBitmapStorage, EncapsulatedClassBitmapStaysTheCallers) {
    TBitmap vcl;
    vcl.SetPixelFormat(pf8bit);
    vcl.SetSize(6, 2);
    {
        TVLBitmap b;
        b.EncapsulateTBitmap(&vcl, true);
        EXPECT_EQ(b.GetPixelFormat(), vl8p); // the default colour table is not a grey ramp
        EXPECT_EQ(b.GetWidth(), 6);
        EXPECT_EQ(b.GetScanline(1), vcl.ScanLine(1));
        TVLRGB c{1, 2, 3};
        b.SetPaletteColor(5, c);
        EXPECT_EQ(vcl.ColorTable()[5], (TRGBQuad{1, 2, 3, 0}));
    }
    EXPECT_EQ(vcl.Width(), 6); // still alive and unchanged

    // A class bitmap format without an equivalent is converted, never read with a wrong layout.
    TBitmap words;
    words.SetPixelFormat(pf16bit);
    words.SetSize(4, 2);
    TVLBitmap b;
    b.EncapsulateTBitmap(&words, true);
    EXPECT_EQ(b.GetPixelFormat(), vl24RGB);
    EXPECT_EQ(words.PixelFormat(), pf24bit);
    EXPECT_EQ(b.GetRowLen(), 12);
}

TEST_F(VLBitmapStorage, EncapsulatedMemoryIsBottomUpAndNotFreed) {
    std::vector<uint8_t> block(8 * 3, 0);
    block[2 * 8] = 0x77; // the last row in memory is row 0
    {
        TVLBitmap b;
        b.EncapsulateMemory(block.data(), 8, 3, vl8g, true);
        EXPECT_EQ(b.GetLocation(), vlMemory);
        EXPECT_EQ(b.GetScanline(0)[0], 0x77);
    }
    EXPECT_EQ(block[16], 0x77);
}

TEST_F(VLBitmapStorage, SetLocationMovesPixelsBetweenEveryPair) {
    const TVLLocation locations[] = {vlMemory, vlFile, vlTBitmap};
    for (TVLLocation from : locations) {
        for (TVLLocation to : locations) {
            SCOPED_TRACE(std::to_string(int(from)) + " -> " + std::to_string(int(to)));
            DefaultMinFileSize = from == vlFile ? 0 : int64_t{1} << 40;
            TVLBitmap b;
            b.SetLocation(from);
            ASSERT_TRUE(b.Allocate(5, 4, vl8p));
            b.SetPaletteColor(9, TVLRGB{9, 8, 7});
            WriteRows(b);
            b.MinFileSize = to == vlFile ? 0 : int64_t{1} << 40;
            ASSERT_TRUE(b.SetLocation(to));
            EXPECT_EQ(b.GetLocation(), to);
            EXPECT_EQ(b.GetPixelFormat(), vl8p);
            ExpectRows(b, 5);
            TVLRGB c;
            b.GetPaletteColor(9, c);
            EXPECT_EQ(c, (TVLRGB{9, 8, 7}));
        }
    }
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(VLBitmapStorage, SixteenBitGreyIntoClassBitmapKeepsTheHighBytes) {
    TVLBitmap b(2, 1, vl16g);
    auto* row = reinterpret_cast<uint16_t*>(b.GetScanline(0));
    row[0] = 0x12FF;
    row[1] = 0xAB00;
    ASSERT_TRUE(b.SetLocation(vlTBitmap));
    EXPECT_EQ(b.GetPixelFormat(), vl8g);
    EXPECT_EQ(b.GetScanline(0)[0], 0x12);
    EXPECT_EQ(b.GetScanline(0)[1], 0xAB);
}

TEST_F(VLBitmapStorage, SizeChangesKeepTheTopLeftPixelsAndTheAlphaFollows) {
    for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
        SCOPED_TRACE(int(location));
        DefaultMinFileSize = location == vlFile ? 0 : int64_t{1} << 40;
        TVLBitmap b;
        b.SetLocation(location);
        ASSERT_TRUE(b.Allocate(3, 3, vl24RGB));
        WriteRows(b);
        b.SetWidth(5);
        b.SetHeight(4);
        EXPECT_EQ(b.GetWidth(), 5);
        EXPECT_EQ(b.GetHeight(), 4);
        for (int32_t r = 0; r < 3; ++r)
            for (int32_t i = 0; i < 9; ++i)
                ASSERT_EQ(b.GetScanline(r)[i], Pattern(r, i)) << r << "," << i;
        b.SetWidth(2);
        EXPECT_EQ(b.GetScanline(2)[5], Pattern(2, 5));
    }

    TVLBitmap empty;
    empty.SetWidth(7);
    EXPECT_TRUE(empty.IsEmpty());
}

TEST_F(VLBitmapStorage, BitAlignmentRelaysTheRows) {
    TVLBitmap b(3, 2, vl24RGB);
    WriteRows(b);
    b.SetBitAlignment(8);
    EXPECT_EQ(b.GetRowLen(), 9);
    ExpectRows(b, 9);
    EXPECT_FALSE(b.FullReallocate);
}

TEST_F(VLBitmapStorage, OnlyWholeByteAlignmentsAreTaken) {
    // Any other alignment would give rows shorter than their pixels.
    for (int32_t bits : {12, 20, 0, -8, 24, 48, 128}) {
        SCOPED_TRACE(bits);
        TVLBitmap b(3, 2, vl24RGB);
        b.SetBitAlignment(bits);
        EXPECT_EQ(b.GetBitAlignment(), 32);
        EXPECT_EQ(b.GetRowLen(), 12);
        b.SetPixelRGB(0, 0, TVLRGB{1, 2, 3});
        b.SetPixelRGB(2, 1, TVLRGB{7, 8, 9});
        EXPECT_EQ(b.GetPixelRGB(0, 0), (TVLRGB{1, 2, 3}));
    }
    const std::pair<int32_t, int32_t> rowLengths[] = {{8, 9}, {16, 10}, {32, 12}, {64, 16}};
    for (auto [bits, rowLen] : rowLengths) {
        TVLBitmap b(3, 2, vl24RGB);
        b.SetBitAlignment(bits);
        EXPECT_EQ(b.GetBitAlignment(), bits);
        EXPECT_EQ(b.GetRowLen(), rowLen) << bits;
    }
}

TEST_F(VLBitmapStorage, ClassBitmapRowsAreTheClassBitmapsWhateverTheAlignment) {
    for (int32_t bits : {8, 16, 64}) {
        SCOPED_TRACE(bits);
        TVLBitmap b;
        b.SetBitAlignment(bits);
        b.SetLocation(vlTBitmap);
        ASSERT_TRUE(b.Allocate(3, 2, vl24RGB));
        TBitmap* vcl = b.GetVclBitmap();
        EXPECT_EQ(b.GetRowLen(), vcl->RowLength());
        b.Fill(clRed); // wrote past the class bitmap's rows with 64-bit rows
        EXPECT_EQ(b.GetPixelRGB(2, 1), (TVLRGB{0, 0, 255}));

        // Moved there from memory, and re-encapsulated, the rows are the class bitmap's too.
        TVLBitmap moved(5, 3, vl8g);
        moved.SetBitAlignment(bits);
        moved.Fill(9);
        ASSERT_TRUE(moved.SetLocation(vlTBitmap));
        EXPECT_EQ(moved.GetRowLen(), moved.GetVclBitmap()->RowLength());
        moved.Fill(200);
        TVLBitmap wrapper;
        wrapper.SetBitAlignment(bits);
        wrapper.EncapsulateTBitmap(moved.GetVclBitmap(), true);
        EXPECT_EQ(wrapper.GetRowLen(), 8);
        EXPECT_EQ(wrapper.GetPixel8(4, 2), 200);
    }
}

TEST_F(VLBitmapStorage, SizeAndFormatSetOneByOneOnAnEmptyBitmapAllocateOnce) {
    using Step = void (*)(TVLBitmap&);
    const Step width = [](TVLBitmap& b) { b.SetWidth(10); };
    const Step height = [](TVLBitmap& b) { b.SetHeight(20); };
    const Step format = [](TVLBitmap& b) { b.SetPixelFormat(vl24RGB); };
    const std::array<std::array<Step, 3>, 3> orders = {
        {{width, height, format}, {format, width, height}, {width, format, height}}};
    for (size_t i = 0; i < orders.size(); ++i) {
        SCOPED_TRACE(i);
        TVLBitmap b;
        for (Step step : orders[i])
            step(b);
        EXPECT_FALSE(b.IsEmpty());
        EXPECT_EQ(b.GetWidth(), 10);
        EXPECT_EQ(b.GetHeight(), 20);
        EXPECT_EQ(b.GetPixelFormat(), vl24RGB);
        ASSERT_NE(b.GetScanline(19), nullptr);
        b.SetPixelRGB(9, 19, TVLRGB{4, 5, 6});
        EXPECT_EQ(b.GetPixelRGB(9, 19), (TVLRGB{4, 5, 6}));
    }
    // A stored size without a format has no rows.
    TVLBitmap sized;
    sized.SetWidth(4);
    sized.SetHeight(4);
    EXPECT_TRUE(sized.IsEmpty());
    EXPECT_EQ(sized.GetScanline(0), nullptr);
}

TEST_F(VLBitmapStorage, CanvasDrawsIntoThePixels) {
    for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
        SCOPED_TRACE(int(location));
        DefaultMinFileSize = location == vlFile ? 0 : int64_t{1} << 40;
        TVLBitmap b;
        b.SetLocation(location);
        ASSERT_TRUE(b.Allocate(4, 3, vl24RGB));
        b.Fill(clBlack);
        TCanvas* canvas = b.GetCanvas();
        ASSERT_NE(canvas, nullptr);
        EXPECT_EQ(b.GetLocation(), vlTBitmap);
        EXPECT_EQ(canvas, b.GetVclBitmap()->Canvas());
        canvas->Brush()->SetColor(clRed);
        canvas->FillRect(Rect(0, 0, 2, 3));
        EXPECT_EQ(b.GetPixelRGB(1, 2), (TVLRGB{0, 0, 255}));
        EXPECT_EQ(b.GetPixelRGB(2, 2), (TVLRGB{0, 0, 0}));
    }
    // A format no class-library bitmap holds keeps its place and has no canvas.
    TVLBitmap floats(2, 2, vl32f);
    EXPECT_EQ(floats.GetCanvas(), nullptr);
    EXPECT_EQ(floats.GetLocation(), vlMemory);
}

TEST_F(VLBitmapStorage, MoveContentsHandsOverEverything) {
    DefaultMinFileSize = 0;
    TVLBitmap a(4, 4, vl8g);
    WriteRows(a);
    TVLBitmap b(2, 2, vl24RGB);
    a.MoveContentsTo(b);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_TRUE(a.FullReallocate);
    EXPECT_EQ(b.GetPixelFormat(), vl8g);
    EXPECT_EQ(b.GetLocation(), vlFile);
    ExpectRows(b, 4);
}

TEST_F(VLBitmapStorage, BlocksAreFreedByTheRouteThatAllocatedThem) {
    for (uint8_t allocator : {0, 1, 2}) {
        TVLBitmap b;
        b.MemoryAllocator = allocator;
        ASSERT_TRUE(b.Allocate(10, 10, vl24RGB));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b.GetScanline(9)) % 64, 0u);
        b.MemoryAllocator = static_cast<uint8_t>((allocator + 1) % 3); // must not matter
        b.FreeImage(true);
    }
}

TEST_F(VLBitmapStorage, AlphaChannelIsOpaqueAndFull) {
    for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
        DefaultMinFileSize = location == vlFile ? 0 : int64_t{1} << 40;
        auto alpha = TVLBitmap::CreateAsAlpha(3, 2, location);
        EXPECT_TRUE(alpha->IsAlpha);
        EXPECT_TRUE(alpha->Full);
        EXPECT_NE(alpha->GetLocation(), vlTBitmap);
        EXPECT_EQ(alpha->GetPixelFormat(), vl8g);
        EXPECT_EQ(alpha->GetScanline(1)[2], 255);
    }
}

} // namespace
