// The class-library bitmap: row order, resizing with content, format conversion, colour table.
#include "platform/gfx/Bitmap.h"

#include "platform/rtl/Classes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(TBitmapRows, BottomUpAndPaddedTo32Bits) {
    struct Case {
        TPixelFormat format;
        int32_t width, rowLength;
    };
    const Case cases[] = {{pf1bit, 33, 8}, {pf4bit, 9, 8},   {pf8bit, 5, 8},   {pf15bit, 3, 8},
                          {pf16bit, 2, 4}, {pf24bit, 3, 12}, {pf32bit, 3, 12}, {pfDevice, 1, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        TBitmap b;
        b.SetPixelFormat(c.format);
        b.SetSize(c.width, 4);
        EXPECT_EQ(b.RowLength(), c.rowLength);
        auto* top = static_cast<uint8_t*>(b.ScanLine(0));
        auto* bottom = static_cast<uint8_t*>(b.ScanLine(3));
        EXPECT_EQ(top - bottom, 3 * c.rowLength); // row 0 is last in memory
    }
}

TEST(TBitmapRows, OutOfRangeRowRaises) {
    TBitmap b;
    b.SetSize(2, 2);
    EXPECT_THROW(b.ScanLine(2), EInvalidGraphic);
    EXPECT_THROW(b.ScanLine(-1), EInvalidGraphic);
    EXPECT_THROW(b.SetSize(-1, 2), EInvalidGraphic);
}

TEST(TBitmapResize, KeepsTopLeftPixels) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < 6; ++i)
            static_cast<uint8_t*>(b.ScanLine(r))[i] = static_cast<uint8_t>(10 * r + i + 1);
    b.SetSize(3, 3);
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(r))[i], 10 * r + i + 1);
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(2))[0], 0);
    b.SetWidth(1);
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(1))[2], 13);
}

TEST(TBitmapFormat, ConversionKeepsColoursThroughTheColourTable) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 1);
    auto* row = static_cast<uint8_t*>(b.ScanLine(0));
    const uint8_t pixels[] = {0, 0, 255, 255, 255, 255}; // red, white (blue, green, red)
    std::copy(pixels, pixels + 6, row);
    b.SetPixelFormat(pf1bit);
    EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[0] & 0xC0, 0x40); // red -> black, white -> 1
    b.SetPixelFormat(pf32bit);
    row = static_cast<uint8_t*>(b.ScanLine(0));
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[4], 255);
    EXPECT_EQ(row[7], 0); // the fourth byte stays 0
}

TEST(TBitmapFormat, ColourTableSizesAndClippedUpdates) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    EXPECT_EQ(b.ColorTable().size(), 256u);
    b.SetPixelFormat(pf4bit);
    EXPECT_EQ(b.ColorTable().size(), 16u);
    const TRGBQuad entries[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {1, 1, 1, 0}};
    EXPECT_EQ(b.SetColorTable(14, entries, 4), 2);
    EXPECT_EQ(b.ColorTable()[15], entries[1]);
    b.SetPixelFormat(pf24bit);
    EXPECT_TRUE(b.ColorTable().empty());
}

} // namespace

namespace {

// A BMP file image of a bitmap.
std::vector<uint8_t> BmpOf(TBitmap& B) {
    TMemoryStream stream;
    B.SaveToStream(stream);
    const auto* p = static_cast<const uint8_t*>(stream.Memory());
    return {p, p + stream.GetSize()};
}

void LoadBmp(TBitmap& B, const std::vector<uint8_t>& Bytes) {
    TMemoryStream stream;
    if (!Bytes.empty()) stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    stream.SetPosition(0);
    B.LoadFromStream(stream);
}

void PutLong(std::vector<uint8_t>& B, size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i)
        B[At + i] = static_cast<uint8_t>(V >> (8 * i));
}

TEST(TBitmapFile, EveryPixelFormatRoundTripsExactly) {
    for (const TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(static_cast<int>(format));
        TBitmap b, back;
        b.SetPixelFormat(format);
        b.SetSize(13, 5);
        for (int y = 0; y < 5; ++y) {
            auto* row = static_cast<uint8_t*>(b.ScanLine(y));
            for (int i = 0; i < b.RowLength(); ++i)
                row[i] = static_cast<uint8_t>(i * 37 + y * 11);
        }
        LoadBmp(back, BmpOf(b));
        ASSERT_EQ(back.PixelFormat(), format);
        ASSERT_EQ(back.Width(), 13);
        ASSERT_EQ(back.Height(), 5);
        EXPECT_EQ(back.ColorTable().size(), b.ColorTable().size());
        const int used = (13 * PixelFormatBits(format) + 7) / 8;
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(std::memcmp(back.ScanLine(y), b.ScanLine(y), static_cast<size_t>(used)), 0)
                << y;
    }
}

TEST(TBitmapFile, DamagedFilesRaiseWithoutAllocating) {
    TBitmap good;
    good.SetPixelFormat(pf8bit);
    good.SetSize(8, 4);
    const std::vector<uint8_t> valid = BmpOf(good);
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"signature", valid});
    cases.back().Bytes[0] = 'X';
    cases.push_back({"pixels cut", {valid.begin(), valid.end() - 1}});
    cases.push_back({"huge size", valid});
    PutLong(cases.back().Bytes, 18, 0x7FFFFFFF);
    PutLong(cases.back().Bytes, 22, 0x7FFFFFFF);
    cases.push_back({"zero width", valid});
    PutLong(cases.back().Bytes, 18, 0);
    cases.push_back({"too many colours", valid});
    PutLong(cases.back().Bytes, 46, 257);
    cases.push_back({"run-length", valid});
    PutLong(cases.back().Bytes, 30, 1);
    cases.push_back({"pixels beyond the end", valid});
    PutLong(cases.back().Bytes, 10, 0x7FFFFFF0);
    cases.push_back({"header size", valid});
    PutLong(cases.back().Bytes, 14, 0x10000);
    cases.push_back({"bit count", valid});
    cases.back().Bytes[28] = 7;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap b;
        EXPECT_THROW(LoadBmp(b, c.Bytes), Exception);
    }
}

} // namespace
