// Row lengths and colour counts, including arguments crafted to overflow 32 bits.
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(AlignedRowLength, Table) {
    struct Case {
        int64_t width, bits;
        int32_t alignment;
        int64_t expected;
    };
    const Case cases[] = {{10, 1, 32, 4},
                          {10, 24, 32, 32},
                          {10, 24, 8, 30},
                          {3, 24, 8, 9},
                          {3, 24, 32, 12},
                          {1, 48, 32, 8},
                          {5, 4, 16, 4},
                          {0, 24, 32, 0},
                          {-5, 24, 32, 0},
                          {5, 24, 0, 0},
                          // Width x bits beyond 32 bits does not wrap.
                          {0x7FFFFFFF, 48, 32, ((int64_t{0x7FFFFFFF} * 48 + 31) >> 5) * 4},
                          {0x20000000, 8, 32, 0x20000000}};
    for (const Case& c : cases)
        EXPECT_EQ(AlignedRowLength(c.width, c.bits, c.alignment), c.expected)
            << c.width << " x " << c.bits << " / " << c.alignment;
}

TEST(ColorCountForBits, TableAndSaturation) {
    EXPECT_EQ(ColorCountForBits(1, 1), 2);
    EXPECT_EQ(ColorCountForBits(8, 1), 256);
    EXPECT_EQ(ColorCountForBits(8, 3), 16777216);
    EXPECT_EQ(ColorCountForBits(16, 3), int64_t{1} << 48);
    EXPECT_EQ(ColorCountForBits(16, 4), INT64_MAX);
    EXPECT_EQ(ColorCountForBits(0, 3), 1);
    EXPECT_EQ(ColorCountForBits(-1, 3), 0);
}

TEST(VclRowLength, FromPixelFormat) {
    EXPECT_EQ(VclPixelFormatBitCount(pf15bit), 15);
    EXPECT_EQ(VclPixelFormatBitCount(pfDevice), 0);
    EXPECT_EQ(VclRowLength(3, pf24bit), 12);
    EXPECT_EQ(VclRowLength(9, pf4bit), 8);
}

TEST(MemoryBlocks, AlignedForAnyTypeAndFreedByTheirRoute) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{1000}, size_t{0x100000}, size_t{2 << 20}}) {
        void* p = AllocBlock(size);
        ASSERT_NE(p, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t), 0u) << size;
        if (size >= 0x100000) { // large blocks come zero-filled
            EXPECT_EQ(static_cast<uint8_t*>(p)[size - 1], 0);
        }
        FreeBlock(p);
        EXPECT_EQ(p, nullptr);
    }
    void* g = AllocGlobalZeroed(64);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(g)[63], 0);
    FreeGlobal(g);
    EXPECT_EQ(g, nullptr);
}

TEST(MakeTempFileName, FormAndSeparator) {
    const auto dir = std::filesystem::temp_directory_path() / "sv-tempname";
    std::filesystem::create_directories(dir);
    // With and without the trailing separator the name lies inside the folder.
    for (const std::string& folder : {dir.string() + "/", dir.string()}) {
        const String name = MakeTempFileName(u"pfx", StrFromUtf8(folder));
        EXPECT_TRUE(IsTempFileName(Utf8FromStr(name), dir.string(), "pfx")) << Utf8FromStr(name);
        EXPECT_FALSE(FileExists(name));
    }
    std::filesystem::remove_all(dir);
}

} // namespace
