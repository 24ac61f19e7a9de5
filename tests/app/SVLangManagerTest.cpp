// Language files: the choice of the language, the message part and its escapes, the window
// sections, and the text helpers.
#include "app/SVLangManager.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const String Missing =
    u"Requested string does not exist in this language file.\nOr language file is corrupted.";

// A base folder whose "lang" folder holds the given files (name without ".lang", UTF-8 text).
class LangFolder {
public:
    LangFolder(std::initializer_list<std::pair<std::string, std::string>> Files) {
        for (const auto& [name, text] : Files) {
            fs::create_directories(FRoot.Path() / "lang");
            WriteFileBytes(FRoot.Path() / "lang" / (name + ".lang"), text);
        }
    }
    String Base() const { return StrFromUtf8(FRoot.Path().string()); }

private:
    ScratchFolder FRoot;
};

void SetSystemLanguage(const char* Locale) {
    setenv("LC_ALL", Locale, 1);
}

} // namespace

TEST(SVLangManager, MessagesEscapesCommentsAndSections) {
    LangFolder folder({{"English", "\xEF\xBB\xBF[RES]\r\n"
                                   "; a comment\r\n"
                                   ";SVSTR_HIDDEN=no\r\n"
                                   "\r\n"
                                   "SVSTR_FIRST=First\\nimage\\there\r\n"
                                   "SVSTR_SPACED = x\n"
                                   "svstr_last=Last\n"
                                   "[formMain]\n"
                                   "Form.Caption=Viewer\n"
                                   "miOpen.Menu=&Open file\n"
                                   "[formJPEGOption]\n"
                                   "Form.Caption=Quality\n"}});
    SetSystemLanguage("en_GB.UTF-8");
    TSVLangManager manager(u"", folder.Base());
    EXPECT_EQ(manager.Language, u"English");
    EXPECT_EQ(manager.GetString(u"SVSTR_FIRST"), u"First\nimage\there");
    EXPECT_EQ(manager.GetString(u"SVSTR_LAST"), u"Last"); // keys match case aside
    EXPECT_EQ(manager.GetString(u"SVSTR_SPACED"), Missing); // blanks around "=" count
    EXPECT_EQ(manager.GetString(u"SVSTR_HIDDEN"), Missing);
    EXPECT_EQ(manager.Strings.Count(), 4); // "[RES]" and the three messages

    TStringList section;
    ExtractSection(u"FORMMAIN", manager.Sections, section);
    ASSERT_EQ(section.Count(), 2);
    EXPECT_EQ(section[1], u"miOpen.Menu=&Open file");
    ExtractSection(u"formNone", manager.Sections, section);
    EXPECT_EQ(section.Count(), 0);
}

TEST(SVLangManager, TheLanguageChoice) {
    struct Case {
        const char* Locale;
        std::vector<std::string> Files;
        const char16_t* Saved;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {"de_DE.UTF-8", {"English", "German"}, u"", u"German"},
        {"gsw_CH", {"English", "German"}, u"", u"English"}, // no Alsatian file
        {"C", {"English", "German"}, u"", u"English"},
        {"de_DE", {"English", "German"}, u"English", u"English"}, // the saved choice wins
        {"de_DE", {"English", "German"}, u"Klingon", u"German"},  // a saved name without file
        // Neither the system's language nor English: the first listed, never a missing file.
        {"ja_JP", {"French", "Dutch"}, u"", u"Dutch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Locale);
        ScratchFolder root;
        fs::create_directories(root.Path() / "lang");
        for (const std::string& name : c.Files)
            WriteFileBytes(root.Path() / "lang" / (name + ".lang"), "SVSTR_NAME=" + name + "\n");
        SetSystemLanguage(c.Locale);
        TSVLangManager manager(c.Saved, StrFromUtf8(root.Path().string()));
        EXPECT_EQ(manager.Language, String(c.Expected));
        EXPECT_EQ(manager.GetString(u"SVSTR_NAME"), String(c.Expected));
    }
}

TEST(SVLangManager, BrokenOrMissingFilesNeverStopIt) {
    SetSystemLanguage("de_DE");
    {
        ScratchFolder empty; // no "lang" folder at all
        TSVLangManager manager(u"", StrFromUtf8(empty.Path().string()));
        EXPECT_EQ(manager.Languages.Count(), 0);
        EXPECT_EQ(manager.GetString(u"SVSTR_FIRST"), Missing);
    }
    {
        // A file without window sections is all messages.
        LangFolder folder({{"English", "SVSTR_FIRST=One\nSVSTR_LAST=Two"}});
        TSVLangManager manager(u"", folder.Base());
        EXPECT_EQ(manager.GetString(u"SVSTR_LAST"), u"Two");
        EXPECT_EQ(manager.Sections.Count(), 0);
    }
    {
        // Bytes that are not UTF-8 and a line without "=".
        LangFolder folder({{"English", "\x80\xFFgarbage\nSVSTR_FIRST=ok\n["}});
        TSVLangManager manager(u"", folder.Base());
        EXPECT_EQ(manager.GetString(u"SVSTR_FIRST"), u"ok");
    }
    LangManager = nullptr;
    EXPECT_EQ(LangStr(u"SVSTR_FIRST"), Missing);
}

TEST(SVLangManager, TextHelpers) {
    TStringList parts;
    const std::pair<const char16_t*, std::vector<String>> splits[] = {
        {u"a;;b", {u"a", u"", u"b"}}, {u"a;", {u"a", u""}}, {u"x", {u"x"}}, {u"", {u""}}};
    for (const auto& [text, expected] : splits) {
        SplitByChar(text, u';', parts);
        ASSERT_EQ(parts.Count(), static_cast<int32_t>(expected.size())) << Utf8FromStr(text);
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(parts[static_cast<int32_t>(i)], expected[i]);
    }
    String head, tail;
    SplitAtSeparator(u"miOpen.Menu=&Open=file", u'=', head, tail);
    EXPECT_EQ(head, u"miOpen.Menu");
    EXPECT_EQ(tail, u"&Open=file");
    SplitAtSeparator(u"none", u'=', head, tail);
    EXPECT_EQ(head, u"none");
    EXPECT_EQ(tail, u"");

    EXPECT_EQ(LanguageNameFromIsoCode(u"DE"), u"German");
    EXPECT_EQ(LanguageNameFromIsoCode(u"nb"), u"Norwegian(Bokmål)");
    EXPECT_EQ(LanguageNameFromIsoCode(u"zu"), u"isiZulu");
    EXPECT_EQ(LanguageNameFromIsoCode(u"xx"), u"");
    EXPECT_EQ(LanguageNameFromIsoCode(u"d"), u"");
}
