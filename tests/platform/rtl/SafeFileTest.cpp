// Replacing a file through a new file beside it: the target changes only on Commit, a new file
// left uncommitted goes, links are written through and permissions kept.
#include "platform/rtl/SafeFile.h"

#include "platform/rtl/SysUtils.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>


namespace {

namespace fs = std::filesystem;

size_t FilesIn(const fs::path& Folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(Folder), {}));
}

fs::perms ModeOf(const std::string& Path) {
    return fs::status(Path).permissions();
}

TEST(SafeFile, TheTargetChangesOnlyOnCommit) {
    ScratchFolder dir;
    const std::string target = dir.File("t.bin");
    dir.Write("t.bin", {1, 2, 3});
    fs::permissions(target, fs::perms(0604));
    {
        TSafeFileStream stream(StrFromUtf8(target));
        stream.WriteBuffer("new", 3);
        EXPECT_EQ(dir.Read("t.bin"), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(FilesIn(dir.Path()), 2u);
        stream.Commit();
    }
    EXPECT_EQ(dir.Read("t.bin"), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(ModeOf(target), fs::perms(0604));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
    {
        TSafeFileStream stream(StrFromUtf8(target));
        stream.WriteBuffer("lost", 4);
    }
    EXPECT_EQ(dir.Read("t.bin"), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(SafeFile, NewFilesLinksAndImpossibleTargets) {
    ScratchFolder dir;
    {
        TSafeFileStream stream(StrFromUtf8(dir.File("new.bin")));
        stream.Commit();
    }
    // A new file gets what any newly created file gets under the process's umask.
    dir.Write("plain.bin", {});
    EXPECT_EQ(ModeOf(dir.File("new.bin")), ModeOf(dir.File("plain.bin")));
    // A dangling link names the file to create; the link stays a link.
    fs::create_symlink("made.bin", dir.File("link.bin"));
    {
        TSafeFileStream stream(StrFromUtf8(dir.File("link.bin")));
        stream.WriteBuffer("x", 1);
        stream.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(dir.File("link.bin")));
    EXPECT_EQ(dir.Read("made.bin"), (std::vector<uint8_t>{'x'}));
    EXPECT_THROW(TSafeFileStream(StrFromUtf8(dir.File("missing/t.bin"))), EFCreateError);
    EXPECT_THROW(TSafeFileStream(StrFromUtf8(dir.Path().string())), EFCreateError);
    fs::create_symlink("loop", dir.File("loop"));
    EXPECT_THROW(TSafeFileStream(StrFromUtf8(dir.File("loop"))), EFCreateError);
}

} // namespace
