// The DIB-section bitmap: its own device context, bottom-up rows, copies into TVLBitmap.
#include "imaging/core/VLDibbitmap.h"

#include "TempFolder.h"

#include <cstring>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

TEST(VLDibbitmap, DrawingIntoItsDeviceContextReachesItsRows) {
    TVLDibbitmap d;
    ASSERT_TRUE(d.Allocate(5, 3, vl24RGB));
    EXPECT_EQ(d.GetPixelFormat(), vl24RGB);
    EXPECT_EQ(d.GetRowLen(), 16);
    EXPECT_EQ(d.GetScanline(0), d.GetBits() + 2 * 16); // bottom-up
    ASSERT_NE(d.GetDC(), nullptr);
    SetPixel(d.GetDC(), 4, 0, RGB(10, 20, 30));
    EXPECT_EQ(d.GetScanline(0)[12], 30); // blue first
    EXPECT_EQ(d.GetScanline(0)[14], 10);

    TVLDibbitmap copy;
    copy.Assign(&d);
    EXPECT_EQ(copy.GetWidth(), 5);
    EXPECT_EQ(std::memcmp(copy.GetBits(), d.GetBits(), 48), 0);
    EXPECT_NE(copy.GetDC(), d.GetDC());
    TVLBitmap other(2, 2, vl24RGB);
    copy.Assign(&other); // other sources are ignored
    EXPECT_EQ(copy.GetWidth(), 5);

    TVLRGB c{1, 2, 3};
    d.GetPaletteColor(0, c);
    EXPECT_EQ(c, TVLRGB{});
    EXPECT_EQ(d.GetPaletteLength(), 0);
}

TEST(VLDibbitmap, RefusedSizesAndFormatsLeaveItAsItWas) {
    TVLDibbitmap d;
    ASSERT_TRUE(d.AllocateBits(9, 2, 1));
    EXPECT_EQ(d.GetPixelFormat(), vl1g);
    EXPECT_FALSE(d.Allocate(4, 4, vl8g));
    EXPECT_FALSE(d.AllocateBits(0, 10, 24));
    EXPECT_FALSE(d.AllocateBits(10, 10, 8));
    EXPECT_EQ(d.GetWidth(), 9);
    EXPECT_EQ(d.GetBitCount(), 1);
    d.FreeDIB();
    EXPECT_EQ(d.GetScanline(0), nullptr);
    EXPECT_EQ(d.GetDC(), nullptr);
}

using VLDibbitmapCopy = TempFolderTest;

TEST_F(VLDibbitmapCopy, BitmapCopiesADibInEveryLocation) {
    for (int32_t bits : {1, 24}) {
        TVLDibbitmap d;
        ASSERT_TRUE(d.AllocateBits(11, 4, bits));
        for (int32_t r = 0; r < 4; ++r)
            for (int32_t i = 0; i < d.GetRowLen(); ++i)
                d.GetScanline(r)[i] = static_cast<uint8_t>(r * 40 + i);
        for (TVLLocation location : {vlMemory, vlFile, vlTBitmap}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, location " + std::to_string(int(location)));
            DefaultMinFileSize = location == vlFile ? 0 : int64_t{1} << 40;
            TVLBitmap b;
            b.SetLocation(location);
            b.CopyFromDibbitmap(&d);
            EXPECT_EQ(b.GetLocation(), location);
            ASSERT_EQ(b.GetPixelFormat(), bits == 1 ? vl1g : vl24RGB);
            ASSERT_EQ(b.GetWidth(), 11);
            const int32_t used = bits == 1 ? 2 : 33;
            for (int32_t r = 0; r < 4; ++r)
                ASSERT_EQ(std::memcmp(b.GetScanline(r), d.GetScanline(r), used), 0) << r;
        }
    }
    TVLBitmap untouched(3, 3, vl8g);
    untouched.CopyFromDibbitmap(nullptr);
    EXPECT_EQ(untouched.GetWidth(), 3);
}

} // namespace
