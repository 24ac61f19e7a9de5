// The raw dump "TVLBITMAPRAW": its byte layout, round trips of every pixel format and storage
// through streams and buffers, and refusal of wrong, truncated and corrupted dumps.
#include "imaging/core/VLBitmap.h"

#include "FuzzBuffers.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

namespace {

using enum TVLPixelFormat;
using enum TVLLocation;

std::vector<uint8_t> Dump(TVLBitmap& Bitmap) {
    TMemoryStream stream;
    Bitmap.SaveRaw(nullptr, &stream);
    const auto* bytes = static_cast<const uint8_t*>(stream.Memory());
    return {bytes, bytes + stream.GetSize()};
}

// Loads from a stream holding the bytes after a prefix (the dump need not start a stream).
bool LoadFromStream(TVLBitmap& Bitmap, const std::vector<uint8_t>& Bytes) {
    TMemoryStream stream;
    stream.WriteBuffer("prefix", 6);
    if (!Bytes.empty()) stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    stream.SetPosition(6);
    return Bitmap.LoadRaw(nullptr, 0, &stream);
}

// Loads from a heap block of exactly the dump's length, so that a read past it is reported.
bool LoadFromBuffer(TVLBitmap& Bitmap, const std::vector<uint8_t>& Bytes) {
    auto block = std::make_unique<uint8_t[]>(Bytes.size() + (Bytes.empty() ? 1 : 0));
    if (!Bytes.empty()) std::memcpy(block.get(), Bytes.data(), Bytes.size());
    return Bitmap.LoadRaw(block.get(), static_cast<int64_t>(Bytes.size()), nullptr);
}

int32_t Int32At(const std::vector<uint8_t>& Bytes, size_t Offset) {
    int32_t v;
    std::memcpy(&v, Bytes.data() + Offset, 4);
    return v;
}

void PutInt32(std::vector<uint8_t>& Bytes, size_t Offset, int32_t V) {
    std::memcpy(Bytes.data() + Offset, &V, 4);
}

// Every byte of every row set from a pattern, padding included.
void FillRows(TVLBitmap& Bitmap, int Seed) {
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t i = 0; i < Bitmap.GetRowLen(); ++i)
            row[i] = static_cast<uint8_t>(Seed + y * 37 + i * 11);
    }
}

void GiveAlpha(TVLBitmap& Bitmap) {
    TVLBitmap* alpha = Bitmap.GetAlphaChannel();
    FillRows(*alpha, 3);
    alpha->Full = false;
}

class BitmapRaw : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        DefaultMinFileSize = int64_t{1} << 40;
    }
    void TearDown() override {
        MaxPixelBlockSize = INT64_MAX;
        TempFolderTest::TearDown();
    }
};

TEST_F(BitmapRaw, ThreeByTwo24BitDumpHasTheDocumentedLayout) {
    TVLBitmap b(3, 2, vl24RGB);
    FillRows(b, 1);
    b.BlackValue = 0.25;
    b.WhiteValue = 200;
    b.ChannelOffset[0] = -3;
    b.ChannelOffset[3] = 77;
    b.EnableChannelOffset = true;
    b.Contrast = -40;
    b.PaletteUsed = 16;
    const auto bytes = Dump(b);
    ASSERT_EQ(bytes.size(), 100u) << "75 + 2 rows of 12 bytes + 1";
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 12), "TVLBITMAPRAW");
    EXPECT_EQ(Int32At(bytes, 12), 0) << "version";
    EXPECT_EQ(Int32At(bytes, 16), 0) << "palette length";
    EXPECT_EQ(Int32At(bytes, 20), 3);
    EXPECT_EQ(Int32At(bytes, 24), 2);
    EXPECT_EQ(bytes[28], 5) << "vl24RGB";
    EXPECT_EQ(bytes[29], 0) << "Full";
    EXPECT_EQ(Int32At(bytes, 30), 16);
    double black, white;
    std::memcpy(&black, bytes.data() + 34, 8);
    std::memcpy(&white, bytes.data() + 42, 8);
    EXPECT_EQ(black, 0.25);
    EXPECT_EQ(white, 200);
    EXPECT_EQ(Int32At(bytes, 50), -3);
    EXPECT_EQ(Int32At(bytes, 62), 77);
    EXPECT_EQ(bytes[66], 1);
    EXPECT_EQ(Int32At(bytes, 67), -40);
    EXPECT_EQ(Int32At(bytes, 71), 32);
    EXPECT_EQ(std::memcmp(bytes.data() + 75, b.GetScanline(0), 12), 0) << "top row first";
    EXPECT_EQ(std::memcmp(bytes.data() + 87, b.GetScanline(1), 12), 0);
    EXPECT_EQ(bytes[99], 0) << "no alpha";
    EXPECT_EQ(b.GetRawSize(), 100);

    // The buffer form writes the same bytes.
    std::vector<uint8_t> buffer(static_cast<size_t>(b.GetRawSize()));
    b.SaveRaw(buffer.data(), nullptr);
    EXPECT_EQ(buffer, bytes);
}

TEST_F(BitmapRaw, AlignmentPaletteAndAlphaComeBack) {
    TVLBitmap narrow(3, 2, vl24RGB);
    narrow.SetBitAlignment(8);
    FillRows(narrow, 5);
    auto bytes = Dump(narrow);
    EXPECT_EQ(bytes.size(), 75u + 2 * 9 + 1);
    TVLBitmap back;
    ASSERT_TRUE(LoadFromBuffer(back, bytes));
    EXPECT_EQ(back.GetRowLen(), 9);
    EXPECT_EQ(back.GetBitAlignment(), 8);
    EXPECT_EQ(Dump(back), bytes);

    TVLBitmap indexed(2, 2, vl8p);
    FillRows(indexed, 9);
    for (int32_t i = 0; i < 256; ++i)
        indexed.SetPaletteColor(i, TVLRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    bytes = Dump(indexed);
    EXPECT_EQ(Int32At(bytes, 16), 256);
    EXPECT_EQ(bytes[20 + 3 * 200], 200) << "768 palette bytes at offset 20, blue first";
    EXPECT_EQ(bytes[20 + 3 * 200 + 1], 55);
    TVLBitmap indexedBack;
    ASSERT_TRUE(LoadFromStream(indexedBack, bytes));
    TVLRGB colour;
    indexedBack.GetPaletteColor(77, colour);
    EXPECT_EQ(colour, (TVLRGB{77, 178, 38}));

    TVLBitmap withAlpha(5, 3, vl8g);
    FillRows(withAlpha, 2);
    GiveAlpha(withAlpha);
    bytes = Dump(withAlpha);
    EXPECT_EQ(bytes.size(), 75u + 3 * 8 + 1 + 3 * 8 + 1);
    EXPECT_EQ(bytes[75 + 24], 1) << "HasAlpha";
    TVLBitmap alphaBack;
    ASSERT_TRUE(LoadFromStream(alphaBack, bytes));
    ASSERT_TRUE(alphaBack.HasAlphaChannel());
    EXPECT_FALSE(alphaBack.GetAlphaChannel()->Full);
    EXPECT_EQ(std::memcmp(alphaBack.GetAlphaChannel()->GetScanline(2),
                          withAlpha.GetAlphaChannel()->GetScanline(2), 5),
              0);
    // A full alpha channel comes back full.
    withAlpha.GetAlphaChannel()->Full = true;
    bytes = Dump(withAlpha);
    ASSERT_TRUE(LoadFromBuffer(alphaBack, bytes));
    EXPECT_TRUE(alphaBack.GetAlphaChannel()->Full);
    // A dump without alpha leaves no alpha channel behind.
    TVLBitmap plain(5, 3, vl8g);
    FillRows(plain, 4);
    ASSERT_TRUE(LoadFromBuffer(alphaBack, Dump(plain)));
    EXPECT_FALSE(alphaBack.HasAlphaChannel());
}

TEST_F(BitmapRaw, EveryDumpSavedLoadsBackWhateverAlignmentWasAsked) {
    for (int32_t bits = -8; bits <= 72; bits += 4) {
        SCOPED_TRACE(bits);
        TVLBitmap b(5, 3, vl24RGB);
        b.SetBitAlignment(bits);
        FillRows(b, bits);
        const auto bytes = Dump(b);
        TVLBitmap back;
        ASSERT_TRUE(LoadFromBuffer(back, bytes)); // alignment 12 was saved but refused
        EXPECT_EQ(Dump(back), bytes);
    }
    // A class-library bitmap's rows are 32-bit aligned whatever the alignment asked: the dump
    // says so.
    TVLBitmap classBitmap;
    classBitmap.SetBitAlignment(64);
    classBitmap.SetLocation(vlTBitmap);
    ASSERT_TRUE(classBitmap.Allocate(3, 2, vl24RGB));
    FillRows(classBitmap, 6);
    const auto bytes = Dump(classBitmap);
    EXPECT_EQ(Int32At(bytes, 71), 32);
    TVLBitmap back;
    ASSERT_TRUE(LoadFromBuffer(back, bytes));
    EXPECT_EQ(back.GetRowLen(), 12);
    EXPECT_EQ(std::memcmp(back.GetScanline(1), classBitmap.GetScanline(1), 12), 0);
}

TEST_F(BitmapRaw, LoadingIntoAClassBitmapKeepsTheCallersBitmap) {
    TVLBitmap source(4, 3, vl8p);
    FillRows(source, 8);
    source.SetPaletteColor(200, TVLRGB{1, 2, 3});
    GiveAlpha(source);
    const auto bytes = Dump(source);

    TBitmap callers;
    callers.SetPixelFormat(pf24bit);
    callers.SetSize(1, 1);
    TVLBitmap wrapper;
    wrapper.EncapsulateTBitmap(&callers, true);
    ASSERT_TRUE(LoadFromStream(wrapper, bytes));
    EXPECT_EQ(wrapper.GetLocation(), vlTBitmap);
    EXPECT_EQ(wrapper.GetVclBitmap(), &callers);
    EXPECT_EQ(callers.Width(), 4);
    EXPECT_EQ(callers.PixelFormat(), pf8bit);
    EXPECT_EQ(std::memcmp(callers.ScanLine(2), source.GetScanline(2), 4), 0);
    EXPECT_EQ(callers.ColorTable()[200], (TRGBQuad{1, 2, 3, 0}));
    ASSERT_TRUE(wrapper.HasAlphaChannel());
    EXPECT_EQ(std::memcmp(wrapper.GetAlphaChannel()->GetScanline(1),
                          source.GetAlphaChannel()->GetScanline(1), 4),
              0);

    // A format the class-library bitmap cannot hold leaves it for memory, as before.
    TVLBitmap words(2, 2, vlRGB48);
    FillRows(words, 1);
    ASSERT_TRUE(LoadFromStream(wrapper, Dump(words)));
    EXPECT_EQ(wrapper.GetPixelFormat(), vlRGB48);
    EXPECT_NE(wrapper.GetLocation(), vlTBitmap);
    EXPECT_EQ(callers.Width(), 4);
}

enum class TStorage { Block, Fragments, File, ClassBitmap };

TEST_F(BitmapRaw, EveryFormatAndStorageRoundTripsByteForByte) {
    for (TStorage storage :
         {TStorage::Block, TStorage::Fragments, TStorage::File, TStorage::ClassBitmap}) {
        for (int code = 1; code < VLPixelFormatCount; ++code) {
            const auto format = static_cast<TVLPixelFormat>(code);
            SCOPED_TRACE(testing::Message() << "storage " << int(storage) << " format " << code);
            DefaultMinFileSize = storage == TStorage::File ? 0 : int64_t{1} << 40;
            MaxPixelBlockSize = storage == TStorage::Fragments ? 1 : INT64_MAX;
            TVLBitmap b;
            if (storage == TStorage::ClassBitmap) b.SetLocation(vlTBitmap);
            if (!b.Allocate(7, 5, format)) {
                ASSERT_EQ(storage, TStorage::ClassBitmap) << "refused only by a class bitmap";
                continue;
            }
            FillRows(b, code);
            GiveAlpha(b);
            b.Contrast = code;
            b.WhiteValue = code * 1.5;
            const auto bytes = Dump(b);
            ASSERT_EQ(static_cast<int64_t>(bytes.size()), b.GetRawSize());
            for (bool viaBuffer : {false, true}) {
                TVLBitmap back;
                ASSERT_TRUE(viaBuffer ? LoadFromBuffer(back, bytes) : LoadFromStream(back, bytes));
                EXPECT_EQ(back.GetPixelFormat(), b.GetPixelFormat());
                EXPECT_EQ(back.Contrast, code);
                EXPECT_EQ(back.WhiteValue, code * 1.5);
                EXPECT_EQ(Dump(back), bytes);
            }
        }
    }
}

TEST_F(BitmapRaw, AnEmptyBitmapRoundTripsAsEmpty) {
    TVLBitmap empty;
    const auto bytes = Dump(empty);
    EXPECT_EQ(bytes.size(), 76u);
    TVLBitmap target(4, 4, vl24RGB);
    ASSERT_TRUE(LoadFromBuffer(target, bytes));
    EXPECT_TRUE(target.IsEmpty());
}

// The header fields of a 4 x 3 vl24RGB dump with alpha, corrupted one at a time.
TEST_F(BitmapRaw, WrongTruncatedAndCorruptedDumpsAreRefusedLeavingTheBitmap) {
    TVLBitmap source(4, 3, vl24RGB);
    FillRows(source, 8);
    GiveAlpha(source);
    const auto good = Dump(source);

    struct {
        const char* Field;
        size_t Offset;
        int32_t Value;
        bool Byte;
    } const corruptions[] = {
        {"magic", 0, 'X', true},
        {"version", 12, -1, false},
        {"palette length", 16, 257, false},
        {"negative palette length", 16, -3, false},
        {"palette beyond the dump", 16, 200, false},
        {"width", 20, -4, false},
        {"zero width", 20, 0, false},
        {"width beyond the dump", 20, 6, false},
        {"huge width", 20, std::numeric_limits<int32_t>::max(), false},
        {"height", 24, -3, false},
        {"huge height", 24, std::numeric_limits<int32_t>::max(), false},
        {"format", 28, 11, true},
        {"no format", 28, 0, true},
        {"format of larger pixels", 28, 8, true},
        {"alignment", 71, 12, false},
        {"zero alignment", 71, 0, false},
        {"wide alignment", 71, 128, false},
        {"has alpha", 75 + 3 * 12, 2, true},
    };
    auto check = [&](const std::vector<uint8_t>& bytes) {
        TVLBitmap target(2, 2, vl8g);
        FillRows(target, 40);
        const auto before = Dump(target);
        EXPECT_FALSE(LoadFromBuffer(target, bytes));
        EXPECT_EQ(Dump(target), before);
        EXPECT_FALSE(LoadFromStream(target, bytes));
        EXPECT_EQ(Dump(target), before);
    };
    for (const auto& c : corruptions) {
        SCOPED_TRACE(c.Field);
        auto bytes = good;
        if (c.Byte)
            bytes[c.Offset] = static_cast<uint8_t>(c.Value);
        else
            PutInt32(bytes, c.Offset, c.Value);
        check(bytes);
    }
    for (size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(testing::Message() << "truncated to " << n);
        check(std::vector<uint8_t>(good.begin(), good.begin() + n));
    }
    // Any non-negative version is read.
    auto versioned = good;
    PutInt32(versioned, 12, 7);
    TVLBitmap target;
    EXPECT_TRUE(LoadFromBuffer(target, versioned));
}

TEST_F(BitmapRaw, RandomDamageNeverCrashes) {
    TVLBitmap source(6, 4, vl8p);
    FillRows(source, 1);
    GiveAlpha(source);
    const auto good = Dump(source);
    FuzzParser(
        good,
        [](const uint8_t* Data, int32_t Length) {
            TVLBitmap target;
            target.LoadRaw(Data, Length, nullptr);
        },
        1500);
}

} // namespace
