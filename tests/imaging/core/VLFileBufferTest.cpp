// The temporary-file store: disk reserve, names, exclusive creation, access bits, copies.
#include "imaging/core/VLFileBuffer.h"

#include "TempFolder.h"

#include "platform/rtl/WinApi.h"
#include "tests/ExternalTool.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

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

TEST_F(FileBuffer, BlocksOfTwoGigabytesAndMoreAreWrittenBack) {
    constexpr int64_t size = (int64_t{1} << 31) + 4096;
    // A memory filesystem when one has room, so that the run writes no 2 GiB to the disk.
    const std::filesystem::path memory = UniqueTempPath("core-large");
    const std::filesystem::path memoryFolder = "/dev/shm" / memory.filename();
    if (TempFileFits(GetDiskFreeSpace(u"/dev/shm/"), size) &&
        std::filesystem::create_directory(memoryFolder))
        DefaultTempFolder = StrFromUtf8(memoryFolder.string() + "/");
    if (!TempFileFits(GetDiskFreeSpace(DefaultTempFolder), size)) {
        std::filesystem::remove_all(memoryFolder);
        GTEST_SKIP() << "the temporary folder " << Utf8FromStr(DefaultTempFolder) << " lacks "
                     << size << " bytes beyond the disk reserve";
    }
    {
        TVLFileBuffer store;
        ASSERT_TRUE(store.AllocateFile(u"IMG", size));
        auto* block = static_cast<uint8_t*>(store.MapBlock(VLAccessWrite, size, 0));
        ASSERT_NE(block, nullptr);
        block[0] = 0x5A;
        block[size / 2] = 0x6B;
        block[size - 1] = 0x7C;
        store.UnmapBlock(block); // a 32-bit count wrote nothing
        for (auto [offset, value] :
             {std::pair<int64_t, uint8_t>{0, 0x5A}, {size / 2, 0x6B}, {size - 1, 0x7C}}) {
            auto* check = static_cast<uint8_t*>(store.MapBlock(VLAccessRead, 1, offset));
            EXPECT_EQ(check[0], value) << offset;
            store.UnmapBlock(check);
        }
    }
    std::filesystem::remove_all(memoryFolder);
}

// Lets writes go only up to a file size for the length of a scope, through the system's
// prlimit tool (the soft limit of this process), with the signal of an oversized write ignored.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(int64_t Bytes) : FPid(std::filesystem::read_symlink("/proc/self")) {
        std::ifstream limits("/proc/self/limits");
        for (std::string line; std::getline(limits, line);)
            if (line.rfind("Max file size", 0) == 0) {
                std::istringstream fields(line.substr(26));
                fields >> FSaved;
            }
        FSavedHandler = std::signal(SIGXFSZ, SIG_IGN);
        FActive = Set(std::to_string(Bytes));
    }
    ~TFileSizeLimit() {
        if (FActive) Set(FSaved);
        std::signal(SIGXFSZ, FSavedHandler);
    }
    bool Active() const { return FActive; }

private:
    bool Set(const std::string& Soft) const {
        const std::string command =
            "prlimit --pid " + FPid.string() + " --fsize=" + Soft + ": >/dev/null 2>&1";
        return std::system(command.c_str()) == 0;
    }

    std::filesystem::path FPid;
    std::string FSaved = "unlimited";
    void (*FSavedHandler)(int) = nullptr;
    bool FActive = false;
};

TEST_F(FileBuffer, AWriteBackThatFailsIsRaisedAndTheBlocksStillGo) {
    TVLFileBuffer store;
    ASSERT_TRUE(store.AllocateFile(u"IMG", 65536));
    TFileSizeLimit limit(4096);
    if (!limit.Active()) GTEST_SKIP() << "prlimit (util-linux) cannot limit this process";
    auto* inside = static_cast<uint8_t*>(store.MapBlock(VLAccessWrite, 16, 0));
    std::fill(inside, inside + 16, 0x21);
    auto* beyond = store.MapBlock(VLAccessWrite, 16, 8192);
    EXPECT_THROW(store.UnmapBlock(beyond), EWriteError);
    EXPECT_EQ(store.BlockCount(), 1);
    store.MapBlock(VLAccessWrite, 16, 8192);
    EXPECT_THROW(store.UnmapAll(), EWriteError);
    EXPECT_EQ(store.BlockCount(), 0);
    auto* check = static_cast<uint8_t*>(store.MapBlock(VLAccessRead, 16, 0));
    EXPECT_EQ(check[15], 0x21); // the block that could be written was written
    store.UnmapBlock(check);
    store.MapBlock(VLAccessWrite, 16, 8192);
    EXPECT_THROW(store.Close(), EWriteError);
    EXPECT_FALSE(store.IsAllocated());
}

TEST(PhysicalMemory, TotalAndAvailable) {
    EXPECT_GT(GetPhysicalMemory(false), 0);
    EXPECT_LE(GetPhysicalMemory(true), GetPhysicalMemory(false));
}

} // namespace
