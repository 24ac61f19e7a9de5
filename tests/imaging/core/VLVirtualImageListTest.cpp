// The image cache: areas in one growing file, first-fit reuse, the mapping limit, shared bitmaps
// and store-back; and the work bitmap.
#include "imaging/core/VLVirtualImageList.h"

#include "TempFolder.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLWorkBitmap.h"

#include <cstring>
#include <string>

namespace {

using enum TVLPixelFormat;

uint8_t Pattern(int32_t seed, int32_t row, int32_t byte) {
    return static_cast<uint8_t>(seed * 13 + row * 31 + byte * 7 + 1);
}

// A bitmap whose used bytes follow Pattern(seed); with alpha bytes Pattern(seed + 100).
std::unique_ptr<TVLBitmap> MakeBitmap(int32_t seed, int32_t w, int32_t h, TVLPixelFormat f,
                                      bool alpha) {
    auto b = std::make_unique<TVLBitmap>(w, h, f);
    for (int32_t r = 0; r < h; ++r) {
        uint8_t* row = b->GetScanline(r);
        for (int32_t i = 0; i < b->GetRowLen(); ++i)
            row[i] = Pattern(seed, r, i);
    }
    if (alpha) {
        TVLBitmap* a = b->GetAlphaChannel();
        for (int32_t r = 0; r < h; ++r)
            for (int32_t x = 0; x < w; ++x)
                a->SetPixel8(x, r, Pattern(seed + 100, r, x));
    }
    return b;
}

void ExpectSame(TVLBitmap& got, int32_t seed, int32_t w, int32_t h, TVLPixelFormat f, bool alpha) {
    ASSERT_EQ(got.GetWidth(), w);
    ASSERT_EQ(got.GetHeight(), h);
    ASSERT_EQ(got.GetPixelFormat(), f);
    const auto used = AlignedRowLength(w, got.GetBitCount(), 8);
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* row = got.GetScanline(r);
        for (int32_t i = 0; i < used; ++i)
            ASSERT_EQ(row[i], Pattern(seed, r, i)) << "row " << r << " byte " << i;
    }
    ASSERT_EQ(got.HasAlphaChannel(), alpha);
    if (!alpha) return;
    for (int32_t r = 0; r < h; ++r)
        for (int32_t x = 0; x < w; ++x)
            ASSERT_EQ(got.GetAlphaPixel(x, r), Pattern(seed + 100, r, x)) << x << "," << r;
}

using VirtualImageList = TempFolderTest;

TEST_F(VirtualImageList, AreasAreLaidOutInOneFile) {
    TVLVirtualImageList list(u"ILIST");
    EXPECT_EQ(list.GetFileSize(), 262144);
    EXPECT_TRUE(IsTempFileName(Utf8FromStr(list.GetStore().FileName()), Folder.string(), "ILIST"))
        << Utf8FromStr(list.GetStore().FileName());

    auto plain = MakeBitmap(1, 100, 100, vl24RGB, false);
    TVLVirtualImage* a = list.AddBitmap(plain.get());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Offset, 0);
    EXPECT_EQ(a->Size, 30000);
    EXPECT_EQ(a->OriginalWidth, 100);

    auto withAlpha = MakeBitmap(2, 100, 100, vl24RGB, true);
    TVLVirtualImage* b = list.AddBitmap(withAlpha.get());
    EXPECT_EQ(b->Offset, 30000);
    EXPECT_EQ(b->Size, 30000 + 10000 + 1);
    EXPECT_EQ(list.GetNextOffset(), 70001);

    // The stored rows run from the bottom row up.
    const uint8_t* bits = list.GetImageBits(a);
    EXPECT_EQ(bits[0], Pattern(1, 99, 0));
    EXPECT_EQ(bits[300], Pattern(1, 98, 0));
    const uint8_t* alphaBits = list.GetImageAlphaBits(b);
    ASSERT_NE(alphaBits, nullptr);
    EXPECT_EQ(alphaBits[0], Pattern(102, 99, 0));
    EXPECT_EQ(list.GetImageAlphaBits(a), nullptr);

    // A deleted area is reused by the first image that fits.
    list.DeleteImage(a);
    auto smaller = MakeBitmap(3, 50, 50, vl24RGB, false);
    TVLVirtualImage* c = list.AddBitmap(smaller.get());
    EXPECT_EQ(c->Offset, 0);
    EXPECT_EQ(list.GetNextOffset(), 70001);
    TVLVirtualImage* d = list.AddBitmap(smaller.get());
    EXPECT_EQ(d->Offset, 70001);

    list.DeleteImage(b);
    list.DeleteImage(c);
    list.DeleteImage(d);
    EXPECT_EQ(list.ImageCount(), 0);
    EXPECT_EQ(list.GetFileSize(), list.GetGrowStep());
    EXPECT_EQ(list.GetNextOffset(), 0);
}

TEST_F(VirtualImageList, FileGrowsForLargeImages) {
    TVLVirtualImageList list(u"ICACHE");
    auto small = MakeBitmap(1, 100, 100, vl24RGB, false); // 30,000 bytes
    list.AddBitmap(small.get());
    auto large = MakeBitmap(2, 400, 400, vl24RGB, false); // 480,000 bytes
    TVLVirtualImage* image = list.AddBitmap(large.get());
    EXPECT_EQ(list.GetGrowStep(), 480000 + 30000);
    EXPECT_EQ(list.GetFileSize(), 262144 + 510000);
    EXPECT_EQ(image->Offset, 30000);
    TVLBitmap* back = list.GetBitmap(image);
    ASSERT_NE(back, nullptr);
    ExpectSame(*back, 2, 400, 400, vl24RGB, false);
    list.ReleaseBitmap(back, false);
}

TEST_F(VirtualImageList, EveryImageSurvivesEvictionBeyondTheMappingLimit) {
    TVLVirtualImageList list(u"ILIST");
    struct Stored {
        TVLVirtualImage* image;
        int32_t w, h;
        TVLPixelFormat f;
        bool alpha;
    };
    const TVLPixelFormat formats[] = {vl24RGB, vl8g, vl1g, vlRGB48, vl32RGB};
    std::vector<Stored> stored;
    for (int32_t i = 0; i < 30; ++i) {
        const Stored s{nullptr, 17 + i, 5 + i % 7, formats[i % 5], i % 3 == 0};
        auto bitmap = MakeBitmap(i, s.w, s.h, s.f, s.alpha);
        stored.push_back(s);
        stored.back().image = list.AddBitmap(bitmap.get());
        ASSERT_NE(stored.back().image, nullptr);
        EXPECT_LE(list.GetMappedCount(), list.MaxMapped + 1);
    }
    // Read them back twice, in two orders, so that every image is evicted and mapped again.
    for (int pass = 0; pass < 2; ++pass) {
        for (int32_t k = 0; k < 30; ++k) {
            const int32_t i = pass == 0 ? k : 29 - k;
            SCOPED_TRACE("image " + std::to_string(i));
            const Stored& s = stored[i];
            TVLBitmap* b = list.GetBitmap(s.image);
            ASSERT_NE(b, nullptr);
            ExpectSame(*b, i, s.w, s.h, s.f, s.alpha);
            list.ReleaseBitmap(b, false);
            EXPECT_LE(list.GetMappedCount(), list.MaxMapped + 1);
            const uint8_t* bits = list.GetImageBits(s.image);
            ASSERT_NE(bits, nullptr);
            EXPECT_EQ(bits[0], Pattern(i, s.h - 1, 0));
        }
    }
}

TEST_F(VirtualImageList, BitmapsAreSharedAndStoredBack) {
    TVLVirtualImageList list(u"ILIST");
    auto original = MakeBitmap(5, 10, 4, vl8g, true);
    TVLVirtualImage* image = list.AddBitmap(original.get());
    TVLBitmap* first = list.GetBitmap(image);
    TVLBitmap* second = list.GetBitmap(image);
    EXPECT_EQ(first, second);
    EXPECT_EQ(image->InUse, 1);
    first->SetPixel8(3, 2, 0xEE);
    list.ReleaseBitmap(first, true);
    EXPECT_EQ(image->InUse, 1); // still out once
    EXPECT_EQ(second->GetPixel8(3, 2), 0xEE);
    second->SetWidth(12); // store-back of a new size takes a new area
    EXPECT_EQ(list.GetImageWidth(image), 12);
    list.ReleaseBitmap(second, true);
    EXPECT_EQ(image->InUse, 0);
    EXPECT_EQ(list.GetImageWidth(image), 12);
    EXPECT_EQ(image->Size, 12 * 4 + 12 * 4 + 1);

    TVLBitmap* again = list.GetBitmap(image);
    EXPECT_EQ(again->GetWidth(), 12);
    EXPECT_EQ(again->GetPixel8(3, 2), 0xEE);
    EXPECT_EQ(again->GetPixel8(0, 0), Pattern(5, 0, 0));
    EXPECT_EQ(again->GetAlphaPixel(1, 1), Pattern(105, 1, 1));
    list.ReleaseImageBitmap(image, false);
    EXPECT_EQ(image->InUse, 0);

    TVLBitmap stranger(2, 2, vl8g);
    list.ReleaseBitmap(&stranger, true); // not handed out: nothing
    list.ReleaseBitmap(nullptr, true);
}

TEST_F(VirtualImageList, AFullAlphaIsStoredAsAFlag) {
    TVLVirtualImageList list(u"ILIST");
    TVLBitmap opaque(4, 4, vl24RGB);
    opaque.GetAlphaChannel(); // full: every byte 255
    TVLVirtualImage* image = list.AddBitmap(&opaque);
    EXPECT_EQ(image->HasAlpha, 1);
    EXPECT_EQ(list.GetImageAlphaBits(image), nullptr);
    TVLBitmap* back = list.GetBitmap(image);
    EXPECT_FALSE(back->HasAlphaChannel());
    list.ReleaseBitmap(back, false);
}

TEST_F(VirtualImageList, WithoutAFileRecordsExistButHoldNoData) {
    DefaultTempFolder = StrFromUtf8(Folder.string() + "/missing/");
    TVLVirtualImageList list(u"ILIST");
    EXPECT_FALSE(list.GetStore().IsAllocated());
    auto bitmap = MakeBitmap(1, 8, 8, vl24RGB, false);
    TVLVirtualImage* image = list.AddBitmap(bitmap.get());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Data, nullptr);
    EXPECT_EQ(list.GetBitmap(image), nullptr);
    EXPECT_EQ(list.GetImageBits(image), nullptr);
    TVLVirtualImage* other = list.AddBitmap(bitmap.get());
    EXPECT_EQ(list.ImageCount(), 2);
    EXPECT_EQ(image->Width, 8); // the handle stays valid
    list.DeleteImage(other);
    list.DeleteImage(image);
    EXPECT_EQ(list.AddBitmap(nullptr), nullptr);
}

TEST(VLWorkBitmap, BottomUpRowsOfABlock) {
    TVLWorkBitmap w(5, 3, 24);
    ASSERT_NE(w.GetBits(), nullptr);
    EXPECT_EQ(w.GetRowLen(), 16);
    EXPECT_EQ(w.GetScanline(0), w.GetBits() + 2 * 16); // the top row is the last in memory
    EXPECT_EQ(w.GetScanline(2), w.GetBits());
    EXPECT_EQ(w.GetScanline(3), nullptr);
    uint8_t* bits = w.GetBits();
    EXPECT_TRUE(w.SetSize(5, 3, 24));
    EXPECT_EQ(w.GetBits(), bits); // unchanged size keeps the block
    EXPECT_TRUE(w.SetSize(7, 2, 8));
    EXPECT_EQ(w.GetRowLen(), 8);
    EXPECT_FALSE(w.SetSize(0, 2, 8));
    EXPECT_EQ(w.GetBits(), nullptr);
    EXPECT_FALSE(w.SetSize(0x7FFFFFFF, 0x7FFFFFFF, 48));
    TVLWorkBitmap empty;
    EXPECT_EQ(empty.GetScanline(0), nullptr);
}

} // namespace
