// The caption file of a folder and the caption edit.
#include "app/Captions.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const std::string Bom = "\xEF\xBB\xBF";

std::string ReadBytes(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

String Str(const fs::path& Path) {
    return StrFromUtf8(Path.string());
}

// Opens Folder's captions and commits Text as the caption of its picture Name.
std::optional<String> Caption(TCaptions& Captions, const fs::path& Folder, const char* Name,
                              const String& Text) {
    EXPECT_TRUE(Captions.BeginCaptionEdit(Str(Folder / Name)));
    return Captions.CommitCaptionEdit(Text);
}

} // namespace

TEST(Captions, ACommittedCaptionIsWrittenAsUtf8WithMarkAndCrLf) {
    ScratchFolder folder;
    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
    EXPECT_EQ(Caption(captions, folder.Path(), "a2.jpg", u"Grüße"), String(u"Grüße"));
    EXPECT_EQ(ReadBytes(folder.Path() / ".description"), Bom + "a2.jpg=Grüße\r\n");
    EXPECT_FALSE(captions.IsEditing());

    // A second caption adds a line; a new load reads both back.
    Caption(captions, folder.Path(), "b.png", u"zwei");
    TCaptions again;
    ASSERT_TRUE(again.LoadCaptions(Str(folder.Path())));
    EXPECT_EQ(again.CaptionOf(Str(folder.Path() / "a2.jpg")), String(u"Grüße"));
    EXPECT_EQ(again.CaptionOf(Str(folder.Path() / "B.PNG")), String(u"zwei"));
    EXPECT_FALSE(again.CaptionOf(Str(folder.Path() / "c.png")).has_value());
    EXPECT_EQ(again.Lines().Count(), 2);
}

TEST(Captions, FilesAreReadWithOrWithoutMarkAndNamesMatchAnyCase) {
    struct Case {
        std::string Bytes;
        const char16_t* Expected;
    };
    for (const Case& c : {Case{Bom + "A2.JPG=eins\r\nb.png=zwei\r\n", u"eins"},
                          Case{"a2.jpg=ohne Marke\nb.png=zwei", u"ohne Marke"},
                          Case{"a2.jpg.bak=nein\r\na2.jpg=ja=doch\r\n", u"ja=doch"}}) {
        SCOPED_TRACE(c.Bytes);
        ScratchFolder folder;
        WriteFileBytes(folder.Path() / ".description", c.Bytes);
        TCaptions captions;
        ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
        EXPECT_EQ(captions.CaptionOf(Str(folder.Path() / "a2.jpg")), String(c.Expected));
    }
}

TEST(Captions, EscWritesNothing) {
    ScratchFolder folder;
    const std::string before = Bom + "a.jpg=alt\r\n";
    WriteFileBytes(folder.Path() / ".description", before);
    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
    for (const char* name : {"a.jpg", "new.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(captions.BeginCaptionEdit(Str(folder.Path() / name)));
        captions.SetEditCancelled(true);
        EXPECT_FALSE(captions.CommitCaptionEdit(u"neu").has_value());
        EXPECT_FALSE(captions.IsEditing());
        EXPECT_EQ(ReadBytes(folder.Path() / ".description"), before);
    }
    EXPECT_EQ(captions.CaptionOf(Str(folder.Path() / "a.jpg")), String(u"alt"));

    // Esc then Enter: the last key decides.
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(folder.Path() / "a.jpg")));
    captions.SetEditCancelled(true);
    captions.SetEditCancelled(false);
    EXPECT_EQ(captions.CommitCaptionEdit(u"neu"), String(u"neu"));
    EXPECT_EQ(captions.CaptionOf(Str(folder.Path() / "a.jpg")), String(u"neu"));
}

TEST(Captions, ClearingTheOnlyCaptionDeletesTheFile) {
    ScratchFolder folder;
    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
    Caption(captions, folder.Path(), "a.jpg", u"eins");
    ASSERT_TRUE(fs::exists(folder.Path() / ".description"));
    // Deleting the line leaves the label as it was (no new text).
    EXPECT_FALSE(Caption(captions, folder.Path(), "a.jpg", u"").has_value());
    EXPECT_FALSE(fs::exists(folder.Path() / ".description"));
    EXPECT_EQ(captions.Lines().Count(), 0);

    // An empty text for a picture without a caption is stored as an empty caption.
    EXPECT_EQ(Caption(captions, folder.Path(), "b.jpg", u""), String(u""));
    EXPECT_EQ(ReadBytes(folder.Path() / ".description"), Bom + "b.jpg=\r\n");

    // Removing a deleted picture's caption saves, and removes the file with the last line.
    captions.RemoveCaption(Str(folder.Path() / "B.jpg"));
    EXPECT_FALSE(fs::exists(folder.Path() / ".description"));
}

TEST(Captions, ANameHoldingAnEqualsSignKeepsOneLine) {
    ScratchFolder folder;
    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
    Caption(captions, folder.Path(), "x=y.jpg", u"erste");
    Caption(captions, folder.Path(), "x=y.jpg", u"zweite");
    EXPECT_EQ(ReadBytes(folder.Path() / ".description"), Bom + "x=y.jpg=zweite\r\n");
    EXPECT_EQ(captions.CaptionOf(Str(folder.Path() / "X=Y.jpg")), String(u"zweite"));
    EXPECT_EQ(IndexOfCaption(captions.Lines(), u"x=y.jpg"), 0);
    EXPECT_EQ(IndexOfCaption(captions.Lines(), u"y.jpg"), -1);
}

TEST(Captions, AnEditEndsWithItsFolder) {
    ScratchFolder first, second;
    WriteFileBytes(second.Path() / ".description", Bom + "a.jpg=zweiter Ordner\r\n");
    const std::string secondBefore = ReadBytes(second.Path() / ".description");
    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(first.Path())));

    // Another folder opened while the edit is open: the edit is dropped, nothing is written.
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(first.Path() / "a.jpg")));
    ASSERT_TRUE(captions.LoadCaptions(Str(second.Path())));
    EXPECT_FALSE(captions.IsEditing());
    EXPECT_FALSE(captions.CommitCaptionEdit(u"neu").has_value());
    EXPECT_EQ(ReadBytes(second.Path() / ".description"), secondBefore);
    EXPECT_FALSE(fs::exists(first.Path() / ".description"));

    // Closing the folder drops an edit too.
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(second.Path() / "a.jpg")));
    captions.Clear();
    EXPECT_FALSE(captions.CommitCaptionEdit(u"neu").has_value());
    EXPECT_EQ(ReadBytes(second.Path() / ".description"), secondBefore);

    // An edit keyed to a picture of another folder never writes into the open one.
    ASSERT_TRUE(captions.LoadCaptions(Str(second.Path())));
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(first.Path() / "a.jpg")));
    EXPECT_FALSE(captions.CommitCaptionEdit(u"neu").has_value());
    EXPECT_EQ(ReadBytes(second.Path() / ".description"), secondBefore);

    // Only one edit at a time; a line break in the text does not start a line.
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(second.Path() / "b.jpg")));
    EXPECT_FALSE(captions.BeginCaptionEdit(Str(second.Path() / "a.jpg")));
    EXPECT_EQ(captions.EditPath(), Str(second.Path() / "b.jpg"));
    EXPECT_EQ(captions.CommitCaptionEdit(u"eins\r\nzwei"), String(u"eins  zwei"));
    EXPECT_EQ(ReadBytes(second.Path() / ".description"),
              Bom + "a.jpg=zweiter Ordner\r\nb.jpg=eins  zwei\r\n");
}

TEST(Captions, AnUnreadableFileIsNeverReplaced) {
    ScratchFolder folder;
    fs::create_directory(folder.Path() / ".description");
    TCaptions captions;
    EXPECT_FALSE(captions.LoadCaptions(Str(folder.Path())));
    EXPECT_EQ(captions.Lines().Count(), 0);
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(folder.Path() / "a.jpg")));
    EXPECT_FALSE(captions.CommitCaptionEdit(u"neu").has_value());
    EXPECT_TRUE(fs::is_directory(folder.Path() / ".description"));

    // Without a folder nothing is read or written.
    TCaptions none;
    EXPECT_TRUE(none.LoadCaptions(u""));
    EXPECT_FALSE(none.CaptionOf(u"/a.jpg").has_value());
    EXPECT_TRUE(none.BeginCaptionEdit(u"/a.jpg"));
    EXPECT_FALSE(none.CommitCaptionEdit(u"x").has_value());
}

TEST(Captions, AFailedWriteRaisesAndKeepsTheOldFile) {
    ScratchFolder folder;
    const std::string before = Bom + "a.jpg=alt\r\n";
    WriteFileBytes(folder.Path() / ".description", before);
    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
    // The folder goes away under the viewer: the new file cannot be made beside the old one.
    const fs::path moved = folder.Path().string() + "-moved";
    fs::rename(folder.Path(), moved);
    ASSERT_TRUE(captions.BeginCaptionEdit(Str(folder.Path() / "a.jpg")));
    EXPECT_THROW(captions.CommitCaptionEdit(u"neu"), Exception);
    fs::rename(moved, folder.Path());
    EXPECT_EQ(ReadBytes(folder.Path() / ".description"), before);
}

TEST(Captions, ASingleByteFileKeepsEveryLineTheEditDidNotTouch) {
    // As a program writing Windows-1252 leaves it: no mark, CR LF, e-acute as E9, euro as 80.
    const std::string first = "caf\xE9.jpg=Cr\xE8me br\xFBl\xE9\x65";
    const std::string second = "b.png=Stra\xDF\x65";
    const std::string third = "d.gif=5 \x80 na\xEFve";
    ScratchFolder folder;
    const fs::path file = folder.Path() / ".description";
    WriteFileBytes(file, first + "\r\n" + second + "\r\n" + third + "\r\n");

    TCaptions captions;
    ASSERT_TRUE(captions.LoadCaptions(Str(folder.Path())));
    EXPECT_EQ(captions.CaptionOf(Str(folder.Path() / "café.jpg")), String(u"Crème brûlée"));
    EXPECT_EQ(captions.CaptionOf(Str(folder.Path() / "d.gif")), String(u"5 € naïve"));
    EXPECT_EQ(Caption(captions, folder.Path(), "b.png", u"Grüße neu"), String(u"Grüße neu"));
    EXPECT_EQ(ReadBytes(file), first + "\r\nb.png=Grüße neu\r\n" + third + "\r\n");

    // Read again, each line in its own encoding; a new picture's line is added as UTF-8.
    TCaptions again;
    ASSERT_TRUE(again.LoadCaptions(Str(folder.Path())));
    EXPECT_EQ(again.CaptionOf(Str(folder.Path() / "b.png")), String(u"Grüße neu"));
    EXPECT_EQ(again.CaptionOf(Str(folder.Path() / "café.jpg")), String(u"Crème brûlée"));
    Caption(again, folder.Path(), "e.png", u"€");
    EXPECT_EQ(ReadBytes(file), first + "\r\nb.png=Grüße neu\r\n" + third + "\r\ne.png=€\r\n");

    // Once no line of the other code page is left, the file is UTF-8 with its mark again.
    Caption(again, folder.Path(), "café.jpg", u"");
    Caption(again, folder.Path(), "d.gif", u"neu");
    EXPECT_EQ(ReadBytes(file), Bom + "b.png=Grüße neu\r\nd.gif=neu\r\ne.png=€\r\n");
}
