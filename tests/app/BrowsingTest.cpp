// Listing a folder's pictures in natural order.
#include "app/Browsing.h"

#include "platform/shell/LogicalCompare.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

TEST(Browsing, NaturalOrderOfNames) {
    struct Case {
        const char16_t* A;
        const char16_t* B;
        int32_t Sign;
    };
    for (const Case& c :
         {Case{u"img2.jpg", u"img10.jpg", -1}, Case{u"A1.png", u"a2.jpg", -1}, Case{u"a", u"B", -1},
          Case{u"x", u"x1", -1}, Case{u"a02", u"a2", 0}, Case{u"IMG", u"img", 0},
          Case{u"a99999999999999999999b", u"a100000000000000000000a", -1},
          Case{u"1.jpg", u"a.jpg", -1}, Case{u"", u"", 0}}) {
        const int32_t got = StrCmpLogicalW(c.A, c.B);
        EXPECT_EQ((got > 0) - (got < 0), c.Sign) << Utf8FromStr(c.A) << " " << Utf8FromStr(c.B);
        const int32_t back = StrCmpLogicalW(c.B, c.A);
        EXPECT_EQ((back > 0) - (back < 0), -c.Sign);
    }
    // Names equal in natural order still get one fixed order, from the folder part aside.
    EXPECT_LT(CompareFileNamesLogical(u"/z/IMG.jpg", u"/a/img.jpg"), 0);
    EXPECT_GT(CompareFileNamesLogical(u"/a/img.jpg", u"/z/IMG.jpg"), 0);
    EXPECT_EQ(CompareFileNamesLogical(u"/a/img.jpg", u"/b/img.jpg"), 0);
}

TEST(Browsing, AFolderListsItsPicturesOnly) {
    ScratchFolder folder;
    for (const char* name : {"a10.jpg", "a2.jpg", "A1.png", "notes.txt", "b.JPG", "c.jpe", "tif"})
        WriteFileBytes(folder.Path() / name, "x");
    fs::create_directories(folder.Path() / "folder.jpg");
    fs::create_symlink(folder.Path() / "a2.jpg", folder.Path() / "link.png");
    fs::create_symlink(folder.Path() / "missing.jpg", folder.Path() / "broken.png");
    const String base = StrFromUtf8(folder.Path().string()) + u"/";
    const std::vector<String> expected{base + u"A1.png", base + u"a2.jpg", base + u"a10.jpg",
                                       base + u"b.JPG", base + u"link.png"};
    EXPECT_EQ(ListPictureFiles(StrFromUtf8(folder.Path().string()), PictureExtensions()), expected);
    EXPECT_TRUE(ListPictureFiles(base + u"none", PictureExtensions()).empty());

    EXPECT_TRUE(IsListedExtension(PictureExtensions(), u"/p/x.TIFF"));
    EXPECT_FALSE(IsListedExtension(PictureExtensions(), u"/p/x.jpe"));
    EXPECT_FALSE(IsListedExtension(PictureExtensions(), u"/p.jpg/noext"));
    EXPECT_FALSE(IsListedExtension(PictureExtensions(), u"/p/jpg"));
}

namespace {

std::vector<String> SortedNames(std::vector<String> Names) {
    std::sort(Names.begin(), Names.end(),
              [](const String& A, const String& B) { return CompareFileNamesLogical(A, B) < 0; });
    return Names;
}

String Str(const fs::path& Path) {
    return StrFromUtf8(Path.string());
}

// Runs a python3 snippet with the path as its argument; false when python3 failed.
bool RunPython(const std::string& Code, const fs::path& Path) {
    const std::string command = "python3 -c '" + Code + "' '" + Path.string() + "'";
    return std::system(command.c_str()) == 0;
}

} // namespace

TEST(Browsing, NaturalOrderOfLists) {
    struct Case {
        std::vector<String> Names;
        std::vector<String> Expected;
    };
    for (const Case& c : {
             Case{{u"a10.jpg", u"a2.jpg", u"A1.png"}, {u"A1.png", u"a2.jpg", u"a10.jpg"}},
             // Leading zeros count for nothing but the final tie-break.
             Case{{u"img010.jpg", u"img9.jpg", u"img0010.jpg", u"img10.jpg"},
                  {u"img9.jpg", u"img0010.jpg", u"img010.jpg", u"img10.jpg"}},
             // Mixed case sorts as one case; the exact name orders equal ones.
             Case{{u"b.jpg", u"B.jpg", u"a.JPG", u"C.jpg"},
                  {u"a.JPG", u"B.jpg", u"b.jpg", u"C.jpg"}},
             // Letters with accents sort with their base letter, after it; case aside there too.
             Case{
                 {u"zebra.jpg", u"Äpfel.jpg", u"birne.jpg", u"apfel.jpg", u"ábc.jpg", u"äpfel.jpg"},
                 {u"ábc.jpg", u"apfel.jpg", u"Äpfel.jpg", u"äpfel.jpg", u"birne.jpg",
                  u"zebra.jpg"}},
             Case{{u"Ωmega2.png", u"ωmega10.png", u"ωmega1.png"},
                  {u"ωmega1.png", u"Ωmega2.png", u"ωmega10.png"}},
         }) {
        EXPECT_EQ(SortedNames(c.Names), c.Expected);
    }
    EXPECT_EQ(StrCmpLogicalW(u"ÄPFEL", u"äpfel"), 0);
    EXPECT_LT(StrCmpLogicalW(u"Äpfel", u"Birne"), 0);
}

class BrowsingFolder : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"a10.jpg", "a2.jpg", "A1.png", "b.JPEG", "c.tiff", "d.tif", "e.jpe", "f.txt"})
            WriteFileBytes(FFolder.Path() / name, "x");
    }
    fs::path Path(const char* Name) const { return FFolder.Path() / Name; }
    String Folder() const { return Str(FFolder.Path()); }
    std::vector<String> Expected() const {
        std::vector<String> paths;
        for (const char* name : {"A1.png", "a2.jpg", "a10.jpg", "b.JPEG", "c.tiff", "d.tif"})
            paths.push_back(Str(Path(name)));
        return paths;
    }

    ScratchFolder FFolder;
};

TEST_F(BrowsingFolder, OpenPathListsTheFolderAndFindsThePicture) {
    struct Case {
        String Path;
        int32_t Index;
    };
    for (const Case& c : {Case{Folder(), 0}, Case{Folder() + u"/", 0}, Case{Folder() + u"/./", 0},
                          Case{Str(Path("a10.jpg")), 2}, Case{Str(Path("A1.png")), 0},
                          Case{Str(Path("d.tif")), 5}, Case{Folder() + u"//./b.JPEG", 3},
                          Case{Str(Path("e.jpe")), 0}, Case{Str(Path("f.txt")), 0}}) {
        SCOPED_TRACE(Utf8FromStr(c.Path));
        const std::optional<TFolderListing> listing = ListOpenPath(c.Path, PictureExtensions());
        ASSERT_TRUE(listing.has_value());
        EXPECT_EQ(listing->Folder, Folder());
        EXPECT_EQ(listing->Files, Expected()); // c.tiff once, though ".tiff" and ".tif" are listed
        EXPECT_EQ(listing->Index, c.Index);
    }
    EXPECT_FALSE(ListOpenPath(Str(Path("missing.jpg")), PictureExtensions()).has_value());
    EXPECT_FALSE(ListOpenPath(Str(Path("missing")) + u"/a.jpg", PictureExtensions()).has_value());
    EXPECT_FALSE(ListOpenPath(u"", PictureExtensions()).has_value());

    // A relative path counts from the working folder.
    const fs::path before = fs::current_path();
    fs::current_path(FFolder.Path());
    const std::optional<TFolderListing> relative = ListOpenPath(u"a2.jpg", PictureExtensions());
    fs::current_path(before);
    ASSERT_TRUE(relative.has_value());
    EXPECT_EQ(relative->Folder, Folder());
    EXPECT_EQ(relative->Index, 1);
}

TEST_F(BrowsingFolder, AnEmptyFolderListsNothing) {
    fs::create_directory(Path("empty"));
    WriteFileBytes(Path("empty") / "notes.txt", "x");
    const std::optional<TFolderListing> listing =
        ListOpenPath(Str(Path("empty")), PictureExtensions());
    ASSERT_TRUE(listing.has_value());
    EXPECT_EQ(listing->Folder, Str(Path("empty")));
    EXPECT_TRUE(listing->Files.empty());
    EXPECT_EQ(listing->Index, -1);
    EXPECT_EQ(ListOpenPath(Str(Path("empty") / "notes.txt"), PictureExtensions())->Index, -1);
}

TEST_F(BrowsingFolder, TheExactNameWinsOverOneDifferingInCase) {
    WriteFileBytes(Path("a1.png"), "x");
    const std::optional<TFolderListing> listing =
        ListOpenPath(Str(Path("a1.png")), PictureExtensions());
    ASSERT_TRUE(listing.has_value());
    ASSERT_EQ(listing->Files.size(), 7u);
    EXPECT_EQ(listing->Files[listing->Index], Str(Path("a1.png")));
}

TEST_F(BrowsingFolder, SpecialFilesAreListedButNotPipes) {
    // A socket cannot be opened even by root: it is listed, and its load fails. A pipe is left
    // out, since opening it would wait for a writer.
    if (!RunPython("import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])",
                   Path("x.jpg")) ||
        !RunPython("import os,sys; os.mkfifo(sys.argv[1])", Path("pipe.jpg")))
        GTEST_SKIP() << "python3 could not make a socket or a pipe";
    const std::vector<String> files = ListPictureFiles(Folder(), PictureExtensions());
    EXPECT_NE(std::find(files.begin(), files.end(), Str(Path("x.jpg"))), files.end());
    EXPECT_EQ(std::find(files.begin(), files.end(), Str(Path("pipe.jpg"))), files.end());
}

TEST_F(BrowsingFolder, StepsPassOverVanishedPictures) {
    const std::vector<String> files = Expected();
    struct Case {
        const char* Name;
        std::vector<const char*> Removed;
        int32_t Current;
        TBrowseStep Step;
        int32_t Index;
        TBrowseNotice Notice;
    };
    using S = TBrowseStep;
    using N = TBrowseNotice;
    for (const Case& c : {
             Case{"next", {}, 0, S::Next, 1, N::None},
             Case{"previous", {}, 3, S::Previous, 2, N::None},
             Case{"previous on the first", {}, 0, S::Previous, -1, N::First},
             Case{"next on the last", {}, 5, S::Next, -1, N::Last},
             Case{"first", {}, 4, S::First, 0, N::None},
             Case{"last", {}, 1, S::Last, 5, N::None},
             Case{"next over vanished", {"a2.jpg", "a10.jpg"}, 0, S::Next, 3, N::None},
             Case{"previous over vanished", {"a2.jpg", "a10.jpg"}, 3, S::Previous, 0, N::None},
             Case{"previous, all before vanished",
                  {"A1.png", "a2.jpg"},
                  2,
                  S::Previous,
                  -1,
                  N::First},
             Case{"next, all after vanished", {"c.tiff", "d.tif"}, 3, S::Next, -1, N::Last},
             Case{"first vanished", {"A1.png"}, 3, S::First, 1, N::None},
             Case{"last vanished", {"d.tif"}, 0, S::Last, 4, N::None},
             Case{"next with none shown", {"A1.png"}, -1, S::Next, 1, N::None},
         }) {
        SCOPED_TRACE(c.Name);
        for (const char* name : c.Removed)
            fs::remove(Path(name));
        const TStepTarget target = StepTarget(files, c.Current, c.Step);
        EXPECT_EQ(target.Index, c.Index);
        EXPECT_EQ(target.Notice, c.Notice);
        for (const char* name : c.Removed)
            WriteFileBytes(Path(name), "x");
    }
    EXPECT_EQ(StepTarget({}, -1, TBrowseStep::Next).Notice, TBrowseNotice::None);
    EXPECT_EQ(StepTarget({}, -1, TBrowseStep::First).Index, -1);
}

TEST_F(BrowsingFolder, DropsOpenTheFirstListedFile) {
    fs::create_directory(Path("folder.jpg"));
    struct Case {
        std::vector<String> Files;
        std::optional<String> Expected;
    };
    for (const Case& c : {
             Case{{Str(Path("a2.jpg")), Str(Path("b.JPEG"))}, Str(Path("a2.jpg"))},
             Case{{Str(Path("f.txt")), Str(Path("a2.jpg"))}, std::nullopt},
             Case{{Str(Path("folder.jpg"))}, std::nullopt},
             Case{{}, std::nullopt},
         }) {
        EXPECT_EQ(DroppedPath(c.Files, PictureExtensions()), c.Expected);
    }
}

TEST(Browsing, OpenDialogFilterFollowsTheExtensions) {
    const String patterns = u"*.jpg;*.jpeg;*.png;*.bmp;*.gif;*.ico;*.tiff;*.tif;*.wmf;*.emf;"
                            u"*.psd;*.jp2;*.j2k";
    EXPECT_EQ(OpenDialogFilter(PictureExtensions()), u"All Images (" + patterns + u")|" + patterns);
    EXPECT_EQ(OpenDialogFilter({u".png"}), u"All Images (*.png)|*.png");
}

TEST(Browsing, WheelActions) {
    struct Case {
        TShiftState Shift;
        bool Up;
        TWheelAction Action;
    };
    for (const Case& c : {
             Case{0, false, TWheelAction::NextImage},
             Case{0, true, TWheelAction::PreviousImage},
             Case{ssCtrl, true, TWheelAction::ZoomIn},
             Case{ssCtrl, false, TWheelAction::ZoomOut},
             Case{ssCtrl | ssShift, false, TWheelAction::ZoomOut},
             Case{ssLeft, false, TWheelAction::None},
             Case{ssShift, true, TWheelAction::None},
             Case{ssAlt, true, TWheelAction::None},
         }) {
        SCOPED_TRACE(c.Shift);
        EXPECT_EQ(WheelAction(c.Shift, c.Up), c.Action);
    }
}
