// The temporary-file store: disk reserve, names, exclusive creation, access bits, copies.
#include "imaging/core/VLFileBuffer.h"

#include "TempFolder.h"

#include <fstream>

namespace {

TEST(TempFileFits, KeepsTheDiskReserveFree) {
    EXPECT_TRUE(TempFileFits(200000000, 72000000));
    EXPECT_FALSE(TempFileFits(200000000, 72000001));
    EXPECT_FALSE(TempFileFits(-1, 0)); // free space unknown
    EXPECT_FALSE(TempFileFits(100000000, 0));
}

using FileBuffer = TempFolderTest;

TEST_F(FileBuffer, NameFormAndNothingLeftBehind) {
    TVLFileBuffer store;
    ASSERT_TRUE(store.AllocateFile(u"IMG", 4096));
    EXPECT_TRUE(store.IsAllocated());
    EXPECT_TRUE(IsTempFileName(Utf8FromStr(store.FileName()), Folder.string(), "IMG"))
        << Utf8FromStr(store.FileName());
    // The file has no name on disk while it is open: a crash leaves nothing behind.
    EXPECT_TRUE(FolderIsEmpty());
    store.Close();
    EXPECT_FALSE(store.IsAllocated());
    EXPECT_TRUE(FolderIsEmpty());
}

TEST_F(FileBuffer, FolderWithoutSeparatorAndRefusalBeyondFreeSpace) {
    DefaultTempFolder = StrFromUtf8(Folder.string());
    TVLFileBuffer store;
    ASSERT_TRUE(store.AllocateFile(u"IMG", 10));
    EXPECT_EQ(Utf8FromStr(store.FileName()).rfind(Folder.string() + "/IMG-", 0), 0u);
    EXPECT_FALSE(store.AllocateFile(u"IMG", int64_t{1} << 62));
    EXPECT_FALSE(store.IsAllocated());
    DefaultTempFolder = u"/no/such/folder/";
    EXPECT_FALSE(store.AllocateFile(u"IMG", 10));
}

TEST_F(FileBuffer, TemporaryStreamNeverOpensAnExistingFile) {
    const auto existing = Folder / "keep.tmp";
    std::ofstream(existing) << "user data";
    EXPECT_THROW(TVLTemporaryFileStream(StrFromUtf8(existing.string())), EInOutError);
    std::ifstream in(existing);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "user data");
}

TEST_F(FileBuffer, AccessBitsDecideReadAndWriteBack) {
    TVLFileBuffer store;
    ASSERT_TRUE(store.AllocateFile(u"IMG", 16));
    auto* w = static_cast<uint8_t*>(store.MapBlock(VLAccessWrite, 4, 8));
    std::fill(w, w + 4, 0xAB);
    store.UnmapBlock(w);
    auto* r = static_cast<uint8_t*>(store.MapBlock(VLAccessRead, 4, 8));
    EXPECT_EQ(r[0], 0xAB);
    EXPECT_EQ(r[3], 0xAB);
    r[0] = 0x11; // mapped read-only: not written back
    store.UnmapBlock(r);
    auto* check = static_cast<uint8_t*>(store.MapBlock(VLAccessRead, 1, 8));
    EXPECT_EQ(check[0], 0xAB);
    EXPECT_EQ(store.IndexOfBlock(check), 0);
    // Close writes back what is still mapped for writing and frees everything.
    store.MapBlock(VLAccessRead | VLAccessWrite, 2, 0);
    store.Close();
    EXPECT_EQ(store.BlockCount(), 0);
}

TEST_F(FileBuffer, CopyToMovesEveryByteInChunks) {
    constexpr int64_t size = 2500000;
    TVLFileBuffer src, dst;
    ASSERT_TRUE(src.AllocateFile(u"A", size));
    ASSERT_TRUE(dst.AllocateFile(u"B", size));
    auto* block = static_cast<uint8_t*>(src.MapBlock(VLAccessWrite, size, 0));
    for (int64_t i = 0; i < size; ++i)
        block[i] = static_cast<uint8_t>(i * 7 + i / 1048576);
    src.CopyTo(dst, size, 0); // unmaps (writes back) first
    auto* copy = static_cast<uint8_t*>(dst.MapBlock(VLAccessRead, size, 0));
    for (int64_t i = 0; i < size; i += 997)
        ASSERT_EQ(copy[i], static_cast<uint8_t>(i * 7 + i / 1048576)) << i;
    EXPECT_EQ(copy[size - 1], static_cast<uint8_t>((size - 1) * 7 + (size - 1) / 1048576));
}

TEST(PhysicalMemory, TotalAndAvailable) {
    EXPECT_GT(GetPhysicalMemory(false), 0);
    EXPECT_LE(GetPhysicalMemory(true), GetPhysicalMemory(false));
}

} // namespace
