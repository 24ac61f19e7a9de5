// A save by name keeps what protects its target: a file the saver may not write is refused as a
// direct write would be, a file with other hard links or another owner keeps its identity, and
// a save the disk or a size limit cuts short leaves the target and no temporary file behind.
// The suite runs as root, which passes every permission check: the saver's own user is played
// by nobody in a child process, and the size limit is the child's RLIMIT_FSIZE.
#include "imaging/io/VistrelIOUnit.h"
#include "tests/imaging/io/IOComponentSupport.h"
#include "tests/system/ChildProcess.h"

namespace {

using enum TVLPixelFormat;
namespace fs = std::filesystem;

class SaveByName : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeVistrelIOUnit();
        fs::create_directories(Folder);
    }
    void TearDown() override { FinalizeVistrelIOUnit(); }
    TScratch Dir;
    const fs::path Folder = fs::path(Dir.File("save"));
};

const TBytes OldContent = {'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'};

std::vector<std::string> NamesIn(const fs::path& Folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Saves a small picture to Target; true when the save reported success.
bool SavePicture(const fs::path& Target) {
    TCountingIO io;
    FillPicture(io.Bitmap(), 64, 48, vl24RGB);
    try {
        io.IO.SaveToFile(Wide(Target.string()));
    } catch (const Exception&) {
        return false;
    }
    return !io.IO.AbortingFlag;
}

bool LoadsAs64By48(const fs::path& File) {
    TCountingIO io;
    io.IO.LoadFromFile(Wide(File.string()));
    return !io.IO.AbortingFlag && io.Bitmap().GetWidth() == 64 && io.Bitmap().GetHeight() == 48;
}

const char* const Extensions[] = {".png", ".tif", ".jpg", ".bmp", ".gif", ".jp2"};
// Write-only formats join the saves that are cut short.
const char* const CutExtensions[] = {".png", ".tif", ".jpg", ".bmp", ".gif", ".jp2", ".ps", ".pdf"};

TEST_F(SaveByName, AFileTheSaverMayNotWriteIsRefusedAndNothingIsCreated) {
    if (!RunsAsRoot()) GTEST_SKIP() << "playing another user needs root";
    ASSERT_TRUE(GiveTo(Folder.string(), NobodyId));
    for (const char* extension : Extensions) {
        SCOPED_TRACE(extension);
        const fs::path target = Folder / (std::string("readonly") + extension);
        WriteBytes(target, OldContent);
        ASSERT_TRUE(GiveTo(target.string(), NobodyId));
        fs::permissions(target, fs::perms(0444));
        TChildLimits asNobody;
        asNobody.UserId = NobodyId;
        const TChildResult result = RunInChild(asNobody, [&] {
            TCountingIO io;
            FillPicture(io.Bitmap(), 64, 48, vl24RGB);
            bool refused = false;
            try {
                io.IO.SaveToFile(Wide(target.string()));
            } catch (const EFCreateError&) {
                refused = true;
            }
            return refused && io.IO.AbortingFlag;
        });
        EXPECT_TRUE(result.Passed);
        EXPECT_EQ(ReadFileBytes(target), OldContent);
        EXPECT_EQ(IdentityOf(target.string()).Mode, 0444u);
        EXPECT_EQ(NamesIn(Folder), std::vector<std::string>{target.filename().string()});
        fs::remove(target);
    }
}

TEST_F(SaveByName, HardLinkedNamesKeepSharingTheFile) {
    for (const char* extension : Extensions) {
        SCOPED_TRACE(extension);
        const fs::path target = Folder / (std::string("first") + extension);
        const fs::path other = Folder / (std::string("second") + extension);
        WriteBytes(target, OldContent);
        fs::create_hard_link(target, other);
        const uint64_t inode = IdentityOf(target.string()).Inode;
        ASSERT_TRUE(SavePicture(target));
        EXPECT_EQ(IdentityOf(target.string()).Inode, inode);
        EXPECT_EQ(fs::hard_link_count(target), 2u);
        EXPECT_TRUE(LoadsAs64By48(other));
        EXPECT_EQ(ReadFileBytes(target), ReadFileBytes(other));
        EXPECT_EQ(NamesIn(Folder).size(), 2u) << "a temporary file was left";
        fs::remove(target);
        fs::remove(other);
    }
}

TEST_F(SaveByName, AFileOfAnotherOwnerKeepsItsOwnerAndMode) {
    if (!RunsAsRoot()) GTEST_SKIP() << "giving a file to another user needs root";
    const fs::path target = Folder / "owned.png";
    WriteBytes(target, OldContent);
    ASSERT_TRUE(GiveTo(target.string(), NobodyId));
    fs::permissions(target, fs::perms(0604));
    const uint64_t inode = IdentityOf(target.string()).Inode;
    ASSERT_TRUE(SavePicture(target));
    const TFileIdentity after = IdentityOf(target.string());
    EXPECT_EQ(after.UserId, NobodyId);
    EXPECT_EQ(after.GroupId, NobodyId);
    EXPECT_EQ(after.Mode, 0604u);
    EXPECT_EQ(after.Inode, inode);
    EXPECT_TRUE(LoadsAs64By48(target));
    EXPECT_EQ(NamesIn(Folder), std::vector<std::string>{"owned.png"});

    // A file of the saver's own, with no other name, is replaced as a whole new file.
    const fs::path own = Folder / "own.png";
    WriteBytes(own, OldContent);
    const uint64_t ownInode = IdentityOf(own.string()).Inode;
    ASSERT_TRUE(SavePicture(own));
    EXPECT_NE(IdentityOf(own.string()).Inode, ownInode);
    EXPECT_TRUE(LoadsAs64By48(own));
}

// The limit lets the new file take nothing, or part of the picture: every writer fails, the
// target keeps its content and no temporary file stays, whether the target is replaced by a
// rename or would be copied into (a second name).
TEST_F(SaveByName, ASaveCutShortKeepsTheTargetAndLeavesNoTemporaryFile) {
    for (const int64_t limit : {int64_t{0}, int64_t{700}}) {
        for (const bool linked : {false, true}) {
            for (const char* extension : CutExtensions) {
                SCOPED_TRACE(std::string(extension) + " limit " + std::to_string(limit) +
                             (linked ? " linked" : ""));
                const fs::path target = Folder / (std::string("cut") + extension);
                WriteBytes(target, OldContent);
                if (linked) fs::create_hard_link(target, Folder / "other");
                TChildLimits limits;
                limits.FileSize = limit;
                const TChildResult result = RunInChild(limits, [&] {
                    // Noise, so that no writer's output stays under the limits.
                    TCountingIO io;
                    FillNoise(io.Bitmap(), 64, 48, 3);
                    try {
                        io.IO.SaveToFile(Wide(target.string()));
                    } catch (const Exception&) {
                        return io.IO.AbortingFlag;
                    }
                    return io.IO.AbortingFlag;
                });
                EXPECT_TRUE(result.Ended) << "the save crashed";
                EXPECT_TRUE(result.Passed) << "the save reported success";
                EXPECT_EQ(ReadFileBytes(target), OldContent);
                EXPECT_EQ(NamesIn(Folder).size(), linked ? 2u : 1u) << "a temporary file was left";
                fs::remove_all(Folder);
                fs::create_directories(Folder);
            }
        }
    }
}

} // namespace
