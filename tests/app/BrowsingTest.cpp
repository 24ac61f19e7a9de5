// Listing a folder's pictures in natural order.
#include "app/Browsing.h"

#include "platform/shell/LogicalCompare.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(Browsing, NaturalOrderOfNames) {
    struct Case {
        const char16_t* A;
        const char16_t* B;
        int32_t Sign;
    };
    for (const Case& c : {Case{u"img2.jpg", u"img10.jpg", -1}, Case{u"A1.png", u"a2.jpg", -1},
                          Case{u"a", u"B", -1}, Case{u"x", u"x1", -1},
                          Case{u"a02", u"a2", 0}, Case{u"IMG", u"img", 0},
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
    EXPECT_EQ(ListPictureFiles(StrFromUtf8(folder.Path().string()), PictureExtensions()),
              expected);
    EXPECT_TRUE(ListPictureFiles(base + u"none", PictureExtensions()).empty());

    EXPECT_TRUE(IsListedExtension(PictureExtensions(), u"/p/x.TIFF"));
    EXPECT_FALSE(IsListedExtension(PictureExtensions(), u"/p/x.jpe"));
    EXPECT_FALSE(IsListedExtension(PictureExtensions(), u"/p.jpg/noext"));
    EXPECT_FALSE(IsListedExtension(PictureExtensions(), u"/p/jpg"));
}
