// Deleting files to the freedesktop.org trash and for good.
#include "platform/shell/FileOperation.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Points XDG_DATA_HOME at a folder of the test's own for the object's life.
class TDataHome {
public:
    explicit TDataHome(const fs::path& Folder) {
        if (const char* old = std::getenv("XDG_DATA_HOME")) FOld = old;
        setenv("XDG_DATA_HOME", Folder.c_str(), 1);
    }
    ~TDataHome() {
        if (FOld)
            setenv("XDG_DATA_HOME", FOld->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

private:
    std::optional<std::string> FOld;
};

std::string ReadText(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

String Str(const fs::path& Path) {
    return StrFromUtf8(Path.string());
}

int32_t DeleteList(const String& Names, FILEOP_FLAGS Flags) {
    SHFILEOPSTRUCTW op;
    op.wFunc = FO_DELETE;
    op.pFrom = Names.c_str();
    op.fFlags = Flags;
    return SHFileOperationW(&op);
}

} // namespace

TEST(Trash, ADeletedFileLandsInTheTrashWithItsRecord) {
    ScratchFolder folder;
    TDataHome home(folder.Path() / "data");
    const fs::path file = folder.Path() / "my picture%1.jpg";
    WriteFileBytes(file, "picture bytes");

    String name = Str(file);
    name += u'\0';
    ASSERT_EQ(DeleteList(name, FOF_ALLOWUNDO | FOF_NOCONFIRMATION), 0);

    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(HomeTrashFolder(), Str(folder.Path() / "data" / "Trash"));
    const fs::path trash = folder.Path() / "data" / "Trash";
    EXPECT_EQ(ReadText(trash / "files" / "my picture%1.jpg"), "picture bytes");
    const std::string info = ReadText(trash / "info" / "my picture%1.jpg.trashinfo");
    const std::string encoded = (folder.Path() / "my%20picture%251.jpg").string();
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + encoded + "\nDeletionDate=", 0), 0u) << info;
    // DeletionDate is the local time as YYYY-MM-DDThh:mm:ss.
    const std::string date = info.substr(info.find("DeletionDate=") + 13);
    ASSERT_EQ(date.size(), 20u) << date;
    EXPECT_EQ(date[4], '-');
    EXPECT_EQ(date[10], 'T');
    EXPECT_EQ(date[19], '\n');
    EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(Trash, NamesAlreadyInTheTrashGetANumber) {
    ScratchFolder folder;
    TDataHome home(folder.Path() / "data");
    const fs::path trash = folder.Path() / "data" / "Trash";
    for (int i = 0; i < 3; ++i) {
        fs::create_directories(folder.Path() / std::to_string(i));
        const fs::path file = folder.Path() / std::to_string(i) / "a.png";
        WriteFileBytes(file, std::to_string(i));
        String trashed;
        ASSERT_EQ(MoveFileToTrash(Str(file), &trashed), 0);
        EXPECT_FALSE(fs::exists(file));
        const std::string expected[] = {"a.png", "a.2.png", "a.3.png"};
        EXPECT_EQ(trashed, Str(trash / "files" / expected[i]));
        EXPECT_EQ(ReadText(trash / "files" / expected[i]), std::to_string(i));
        EXPECT_NE(ReadText(trash / "info" / (expected[i] + ".trashinfo"))
                      .find("Path=" + file.string() + "\n"),
                  std::string::npos);
    }
    // A name taken in "files" without a record is skipped too.
    WriteFileBytes(trash / "files" / "b", "stray");
    const fs::path other = folder.Path() / "b";
    WriteFileBytes(other, "new");
    String trashed;
    ASSERT_EQ(MoveFileToTrash(Str(other), &trashed), 0);
    EXPECT_EQ(trashed, Str(trash / "files" / "b.2"));
    EXPECT_EQ(ReadText(trash / "files" / "b"), "stray");
    EXPECT_FALSE(fs::exists(trash / "info" / "b.trashinfo"));
}

TEST(Trash, AnotherFileSystemIsCopiedThenRemoved) {
    const fs::path shm = "/dev/shm";
    std::string devices;
    if (!RunTool("stat -c %d " + shm.string() + " '" + fs::temp_directory_path().string() + "'",
                 devices))
        GTEST_SKIP() << "stat cannot tell the file systems apart";
    const size_t lineEnd = devices.find('\n');
    if (lineEnd == std::string::npos ||
        devices.substr(0, lineEnd + 1) == devices.substr(lineEnd + 1))
        GTEST_SKIP() << "no second file system beside the temporary folder";
    ScratchFolder folder;
    TDataHome home(folder.Path() / "data");
    const fs::path file = shm / UniqueTempPath("trash").filename();
    WriteFileBytes(file, std::string(200000, 'x'));
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(MoveFileToTrash(Str(file)), 0);
    EXPECT_FALSE(fs::exists(file));
    const fs::path copy = folder.Path() / "data" / "Trash" / "files" / file.filename();
    EXPECT_EQ(ReadText(copy), std::string(200000, 'x'));
    EXPECT_EQ(fs::status(copy).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(Trash, AFailureLeavesTheFileAndNoRecord) {
    ScratchFolder folder;
    TDataHome home(folder.Path() / "data");
    // A missing file: an error and nothing in the trash.
    EXPECT_EQ(MoveFileToTrash(Str(folder.Path() / "missing.jpg")), ENOENT);
    // A trash that cannot be made (a file where its folder should be).
    WriteFileBytes(folder.Path() / "data", "not a folder");
    const fs::path file = folder.Path() / "kept.jpg";
    WriteFileBytes(file, "kept");
    EXPECT_NE(MoveFileToTrash(Str(file)), 0);
    EXPECT_EQ(ReadText(file), "kept");
}

TEST(Trash, WithoutUndoTheFilesAreRemovedForGood) {
    ScratchFolder folder;
    TDataHome home(folder.Path() / "data");
    WriteFileBytes(folder.Path() / "a.jpg", "a");
    WriteFileBytes(folder.Path() / "b.jpg", "b");
    String names = Str(folder.Path() / "a.jpg");
    names += u'\0';
    names += Str(folder.Path() / "b.jpg");
    names += u'\0';
    EXPECT_EQ(DeleteList(names, FOF_NOCONFIRMATION), 0);
    EXPECT_FALSE(fs::exists(folder.Path() / "a.jpg"));
    EXPECT_FALSE(fs::exists(folder.Path() / "b.jpg"));
    EXPECT_FALSE(fs::exists(folder.Path() / "data" / "Trash"));

    // A failure is reported; other operations and empty lists are refused.
    String missing = Str(folder.Path() / "a.jpg");
    missing += u'\0';
    EXPECT_EQ(DeleteList(missing, 0), ENOENT);
    EXPECT_EQ(DeleteList(String(), 0), EINVAL);
    SHFILEOPSTRUCTW copy;
    copy.wFunc = FO_COPY;
    copy.pFrom = missing.c_str();
    EXPECT_EQ(SHFileOperationW(&copy), EINVAL);
}
