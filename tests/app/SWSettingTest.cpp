// The settings file's exact bytes, its reading rules and the choice of the user-data folder.
#include "app/SWSetting.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// UTF-16 little-endian bytes of an ASCII text, after the byte-order mark.
std::string Utf16File(const std::string& Text) {
    std::string bytes = "\xFF\xFE";
    for (char c : Text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

std::string ReadAll(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

String Str(const fs::path& Path) {
    return StrFromUtf8(Path.string());
}

} // namespace

TEST(SWSetting, AFreshFileHasTheFourteenLinesInUtf16) {
    ScratchFolder folder;
    TSWSetting setting(Str(folder.Path()), u"");
    EXPECT_EQ(setting.FileName, Str(folder.Path() / "solvaneview.ini"));
    setting.Language = u"English";
    ASSERT_TRUE(setting.Save());
    EXPECT_EQ(ReadAll(folder.Path() / "solvaneview.ini"),
              Utf16File("left=100\r\ntop=100\r\nwidth=350\r\nheight=350\r\ncenterx=275\r\n"
                        "centery=275\r\nmaximized=0\r\nbackcolor=000000\r\nautosize=1\r\n"
                        "fittowindow=1\r\nshowthumbs=1\r\ncheckupdate=0\r\njpegquality=90\r\n"
                        "language=English\r\n"));
}

TEST(SWSetting, KeysAreReadCaseAsideWithTheirDefaults) {
    ScratchFolder folder;
    const fs::path file = folder.Path() / "solvaneview.ini";
    WriteFileBytes(file, Utf16File("LEFT=5\r\nLanguage=German\r\nbackcolor=FF8000\r\n"
                                   "maximized=7\r\nwidth=wide\r\nautosize=0\r\n"));
    TSWSetting setting(Str(folder.Path()), u"");
    setting.Load();
    EXPECT_EQ(setting.Left, 5);
    EXPECT_EQ(setting.Language, u"German");
    EXPECT_EQ(setting.BackColor, 0x0080FF); // red in the low byte
    EXPECT_TRUE(setting.Maximized);
    EXPECT_EQ(setting.Width, 350); // unparsable: the default
    EXPECT_FALSE(setting.AutoSize);
    EXPECT_TRUE(setting.FitToWindow);
    // A file without the key leaves the update check off, as a missing file does.
    EXPECT_FALSE(setting.CheckUpdate);
    ASSERT_TRUE(setting.Save());
    const std::string saved = ReadAll(file);
    EXPECT_NE(saved.find(Utf16File("maximized=1\r\n").substr(2)), std::string::npos);
    EXPECT_NE(saved.find(Utf16File("backcolor=FF8000\r\n").substr(2)), std::string::npos);

    WriteFileBytes(file, Utf16File("backcolor=FFF\r\n"));
    setting.Load();
    EXPECT_EQ(setting.BackColor, clBlack);
}

TEST(SWSetting, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    ScratchFolder folder;
    TSWSetting missing(Str(folder.Path() / "no" / "such" / "folder"), u"");
    EXPECT_FALSE(missing.Save());

    // A folder where the file should be: nothing is replaced.
    fs::create_directories(folder.Path() / "solvaneview.ini");
    TSWSetting blocked(Str(folder.Path()), u"");
    EXPECT_FALSE(blocked.Save());
    EXPECT_TRUE(fs::is_directory(folder.Path() / "solvaneview.ini"));
}

TEST(SWSetting, NumbersAndColoursParse) {
    struct Case {
        const char16_t* Text;
        bool Hex;
        int32_t Expected;
    };
    for (const Case& c :
         {Case{u"12", false, 12}, Case{u" -7", false, -7}, Case{u"12abc", false, 12},
          Case{u"", false, -1}, Case{u"abc", false, -1}, Case{u"99999999999", false, -1},
          Case{u"0x1F", true, 31}, Case{u"0x1F", false, 0}, Case{u"0xZZ", true, -1}}) {
        EXPECT_EQ(ParseIntDefault(c.Text, -1, c.Hex), c.Expected) << Utf8FromStr(c.Text);
    }
    EXPECT_EQ(HexToColor(u"0000FF", 5), 0xFF0000);
    EXPECT_EQ(HexToColor(u"ZZ0000", 5), 0); // an unparsable pair is 0
    EXPECT_EQ(HexToColor(u"0000FF0", 5), 5);
    EXPECT_EQ(ColorToHex(0x0080FF), u"FF8000");
}

namespace {

// A program folder and a home of their own, with the environment pointing there.
class DataFolders : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Exe);
        fs::create_directories(Exe / "default");
        WriteFileBytes(Exe / "default" / "solvanedesk.ini", "sibling");
        setenv("XDG_CONFIG_HOME", (Root.Path() / "config").c_str(), 1);
        setenv("HOME", (Root.Path() / "home").c_str(), 1);
    }
    ScratchFolder Root;
    fs::path Exe = Root.Path() / "program";
    fs::path AppFolder = Root.Path() / "config" / "Solvaneview";
};

} // namespace

TEST_F(DataFolders, APortableFolderWinsAndGetsTheSiblingDefault) {
    fs::create_directories(Exe / "userdata");
    fs::create_directories(AppFolder);
    const TDataFolders folders = ResolveDataFolders(Str(Exe));
    EXPECT_EQ(folders.DataDir, Str(Exe / "userdata"));
    EXPECT_EQ(ReadAll(Exe / "userdata" / "solvanedesk.ini"), "sibling");
}

TEST_F(DataFolders, AnExistingUserFolderIsUsedWithoutACopy) {
    fs::create_directories(AppFolder);
    const TDataFolders folders = ResolveDataFolders(Str(Exe));
    EXPECT_EQ(folders.DataDir, Str(AppFolder));
    EXPECT_FALSE(fs::exists(AppFolder / "solvanedesk.ini"));
    EXPECT_FALSE(fs::exists(Exe / "userdata"));
}

TEST_F(DataFolders, AMissingUserFolderIsMadeAndGetsTheSiblingDefault) {
    const TDataFolders folders = ResolveDataFolders(Str(Exe));
    EXPECT_EQ(folders.DataDir, Str(AppFolder));
    EXPECT_EQ(ReadAll(AppFolder / "solvanedesk.ini"), "sibling");
    // A sibling file already there is kept.
    WriteFileBytes(AppFolder / "solvanedesk.ini", "mine");
    CopyDefaultSiblingSettings(Str(Exe / "default"), Str(AppFolder));
    EXPECT_EQ(ReadAll(AppFolder / "solvanedesk.ini"), "mine");
}

// No folder can be made: there is none (the settings then live for the session), and the
// portable folder is never made in its place.
TEST_F(DataFolders, WithoutAUserFolderNoneIsChosen) {
    // Configuration and home under a regular file: no folder can be made there, whoever runs.
    WriteFileBytes(Root.Path() / "file", "x");
    setenv("XDG_CONFIG_HOME", (Root.Path() / "file" / "config").c_str(), 1);
    setenv("HOME", (Root.Path() / "file" / "home").c_str(), 1);
    const TDataFolders folders = ResolveDataFolders(Str(Exe));
    EXPECT_TRUE(folders.DataDir.empty());
    EXPECT_FALSE(fs::exists(Exe / "userdata"));
}
