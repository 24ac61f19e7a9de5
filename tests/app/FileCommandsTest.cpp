// The Delete command on a folder's list and captions, with the trash in a folder of the test's
// own, and the quarter turns of the shown picture.
#include "app/FileCommands.h"

#include "imaging/io/VistrelIO.h"
#include "imaging/view/VistrelView.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using enum TVLPixelFormat;

namespace fs = std::filesystem;

namespace {

// Five pictures, a caption for two of them, and a trash of the test's own.
class DeleteCommand : public testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_DATA_HOME")) FOldDataHome = old;
        setenv("XDG_DATA_HOME", (Folder.Path() / "data").c_str(), 1);
        fs::create_directories(Folder.Path() / "pics");
        for (int i = 1; i <= 5; ++i) {
            const std::string name = "p" + std::to_string(i) + ".jpg";
            WriteFileBytes(Folder.Path() / "pics" / name, name);
            Files.push_back(StrFromUtf8((Folder.Path() / "pics" / name).string()));
        }
        Captions.Add(u"P3.JPG=The third");
        Captions.Add(u"p5.jpg=The last");
    }
    void TearDown() override {
        if (FOldDataHome)
            setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    fs::path Trash() const { return Folder.Path() / "data" / "Trash"; }
    fs::path Picture(int N) const {
        return Folder.Path() / "pics" / ("p" + std::to_string(N) + ".jpg");
    }

    ScratchFolder Folder;
    std::vector<String> Files;
    TStringList Captions;

private:
    std::optional<std::string> FOldDataHome;
};

const auto Yes = [](const String&) { return true; };

} // namespace

TEST_F(DeleteCommand, TheThirdOfFiveGoesToTheTrashAndTheFourthMovesUp) {
    String asked;
    const TDeleteOutcome outcome = DeletePicture(Files, 2, Captions, false, [&](const String& P) {
        asked = P;
        return true;
    });
    EXPECT_EQ(asked, StrFromUtf8(Picture(3).string()));
    ASSERT_TRUE(outcome.Deleted);
    EXPECT_EQ(outcome.DeletedIndex, 2);
    EXPECT_EQ(outcome.NewIndex, 2);
    ASSERT_EQ(Files.size(), 4u);
    EXPECT_EQ(Files[2], StrFromUtf8(Picture(4).string()));
    EXPECT_FALSE(fs::exists(Picture(3)));
    EXPECT_TRUE(fs::exists(Trash() / "files" / "p3.jpg"));
    std::string info;
    ASSERT_TRUE(RunTool("cat '" + (Trash() / "info" / "p3.jpg.trashinfo").string() + "'", info));
    EXPECT_NE(info.find("Path=" + Picture(3).string() + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("DeletionDate="), std::string::npos) << info;
    // Its caption line went (found by name, case aside); the other stays.
    EXPECT_TRUE(outcome.CaptionsChanged);
    ASSERT_EQ(Captions.Count(), 1);
    EXPECT_EQ(Captions[0], u"p5.jpg=The last");
}

TEST_F(DeleteCommand, TheLastAndTheOnlyPicture) {
    TDeleteOutcome outcome = DeletePicture(Files, 4, Captions, false, Yes);
    ASSERT_TRUE(outcome.Deleted);
    EXPECT_EQ(outcome.NewIndex, 3); // the new last one shows
    EXPECT_TRUE(outcome.CaptionsChanged);

    std::vector<String> only{Files[0]};
    outcome = DeletePicture(only, 0, Captions, false, Yes);
    ASSERT_TRUE(outcome.Deleted);
    EXPECT_EQ(outcome.NewIndex, -1); // the folder closes
    EXPECT_FALSE(outcome.CaptionsChanged);
    EXPECT_TRUE(only.empty());
    EXPECT_FALSE(fs::exists(Picture(1)));
}

TEST_F(DeleteCommand, CancelOrFailureChangesNothing) {
    const std::vector<String> files = Files;
    TStringList captions;
    captions.Assign(Captions);

    // Cancelled.
    TDeleteOutcome outcome =
        DeletePicture(Files, 2, Captions, false, [](const String&) { return false; });
    EXPECT_FALSE(outcome.Deleted);
    EXPECT_TRUE(fs::exists(Picture(3)));
    // A file that cannot be deleted (gone already) and positions outside the list.
    fs::remove(Picture(5));
    outcome = DeletePicture(Files, 4, Captions, false, Yes);
    EXPECT_FALSE(outcome.Deleted);
    EXPECT_FALSE(outcome.CaptionsChanged);
    EXPECT_FALSE(DeletePicture(Files, -1, Captions, false, Yes).Deleted);
    EXPECT_FALSE(DeletePicture(Files, 5, Captions, false, Yes).Deleted);

    EXPECT_EQ(Files, files);
    EXPECT_TRUE(Captions == captions);
    EXPECT_FALSE(fs::exists(Trash() / "files" / "p3.jpg"));
}

TEST_F(DeleteCommand, PermanentlyLeavesNothingInTheTrash) {
    const TDeleteOutcome outcome = DeletePicture(Files, 0, Captions, true, Yes);
    ASSERT_TRUE(outcome.Deleted);
    EXPECT_EQ(outcome.NewIndex, 0);
    EXPECT_FALSE(fs::exists(Picture(1)));
    EXPECT_FALSE(fs::exists(Trash() / "files" / "p1.jpg"));
}

TEST(RotateCommand, QuarterTurnsInMemoryOnly) {
    ScratchFolder folder;
    const std::string path = folder.File("r.png");
    {
        TVistrelIO writer(nullptr);
        TVLBitmap& bitmap = *writer.GetBitmap();
        bitmap.Allocate(3, 2, vl24RGB);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 9; ++x)
                bitmap.GetScanline(y)[x] = static_cast<uint8_t>(y * 9 + x);
        writer.SaveToFilePNG(StrFromUtf8(path));
    }
    const std::vector<uint8_t> file = folder.Read("r.png");
    TVistrelView view(nullptr);
    view.GetIO()->LoadFromFile(StrFromUtf8(path));
    ASSERT_EQ(view.GetVLBitmap()->GetWidth(), 3);

    ASSERT_TRUE(RotatePicture(view, true));
    TVLBitmap& left = *view.GetVLBitmap();
    ASSERT_EQ(left.GetWidth(), 2);
    ASSERT_EQ(left.GetHeight(), 3);
    // Counter-clockwise: the old top-right pixel is now at the top-left.
    EXPECT_EQ(left.GetScanline(0)[0], 6);
    EXPECT_EQ(left.GetScanline(2)[3], 9 + 0);

    ASSERT_TRUE(RotatePicture(view, false));
    ASSERT_TRUE(RotatePicture(view, false));
    ASSERT_TRUE(RotatePicture(view, true));
    TVLBitmap& back = *view.GetVLBitmap();
    ASSERT_EQ(back.GetWidth(), 3);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 9; ++x)
            EXPECT_EQ(back.GetScanline(y)[x], y * 9 + x);
    EXPECT_TRUE(folder.Read("r.png") == file);

    TVistrelView empty(nullptr);
    EXPECT_FALSE(RotatePicture(empty, true));
}

TEST(CopyImageCommand, AWideFormatIsConvertedInACopyOnly) {
    TVLBitmap picture(5, 4, vlRGB48);
    picture.SetLocation(TVLLocation::vlMemory);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < picture.GetRowLen(); ++x)
            picture.GetScanline(y)[x] = static_cast<uint8_t>(7 * x + y);
    ASSERT_TRUE(CopyPictureToClipboard(picture));
    EXPECT_EQ(picture.GetPixelFormat(), vlRGB48);
    EXPECT_EQ(picture.GetLocation(), TVLLocation::vlMemory);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 30; ++x)
            ASSERT_EQ(picture.GetScanline(y)[x], static_cast<uint8_t>(7 * x + y));

    TVLBitmap empty;
    EXPECT_FALSE(CopyPictureToClipboard(empty));
}
