// The JPEG quality dialog's rules for its field, its track bar and OK.
#include "app/formJPEG.h"

#include "app/SVLangManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

TEST(JpegOption, OkTakesOnlyQualitiesFrom10To100) {
    struct Case {
        const char16_t* Text;
        bool Taken;
        int32_t Quality;
    };
    for (const Case& c : {Case{u"75", true, 75}, Case{u"10", true, 10}, Case{u"100", true, 100},
                          Case{u"0090", true, 90}, Case{u"5", false, 0}, Case{u"9", false, 0},
                          Case{u"101", false, 0}, Case{u"150", false, 0}, Case{u"", false, 0},
                          Case{u"123456789012", false, 0}, Case{u"-50", false, 0},
                          Case{u" 50", false, 0}, Case{u"5x", false, 0}}) {
        int32_t quality = -1;
        EXPECT_EQ(QualityFromText(c.Text, quality), c.Taken) << Utf8FromStr(c.Text);
        EXPECT_EQ(quality, c.Taken ? c.Quality : -1) << Utf8FromStr(c.Text);
    }
}

TEST(JpegOption, TheFieldMovesTheTrackBarAboveNine) {
    struct Case {
        const char16_t* Text;
        bool Moves;
        int32_t Position;
    };
    for (const Case& c : {Case{u"10", true, 10}, Case{u"75", true, 75}, Case{u"150", true, 100},
                          Case{u"123456789012", true, 100}, Case{u"7", false, 0},
                          Case{u"", false, 0}, Case{u"abc", false, 0}}) {
        int32_t position = -1;
        EXPECT_EQ(TrackPositionFromText(c.Text, position), c.Moves) << Utf8FromStr(c.Text);
        EXPECT_EQ(position, c.Moves ? c.Position : -1) << Utf8FromStr(c.Text);
    }
    for (char16_t key : {u'0', u'9', u'\b'})
        EXPECT_TRUE(QualityKeyAllowed(key));
    for (char16_t key : {u'a', u'-', u' ', u'.', u'\r'})
        EXPECT_FALSE(QualityKeyAllowed(key));
}

// The message for a quality OK does not take names the range it does take, in every language.
TEST(JpegOption, TheInvalidQualityMessageNamesTheRangeInEveryLanguage) {
    const std::filesystem::path data = std::filesystem::path(SV_TESTS_DIR) / ".." / "data";
    int32_t languages = 0;
    for (const auto& file : std::filesystem::directory_iterator(data / "lang")) {
        if (file.path().extension() != ".lang") continue;
        SCOPED_TRACE(file.path().filename().string());
        ++languages;
        const TSVLangManager manager(StrFromUtf8(file.path().stem().string()),
                                     StrFromUtf8(data.string() + "/"));
        const std::string text = Utf8FromStr(manager.GetString(u"SVSTR_INVALIDQUALITY"));
        std::vector<int32_t> numbers;
        for (size_t at = text.find_first_of("0123456789"); at != std::string::npos;) {
            const size_t end = text.find_first_not_of("0123456789", at);
            numbers.push_back(std::stoi(text.substr(at, end - at)));
            at = end == std::string::npos ? end : text.find_first_of("0123456789", end);
        }
        EXPECT_EQ(numbers, (std::vector<int32_t>{MinJpegQuality, MaxJpegQuality})) << text;
    }
    EXPECT_GE(languages, 2);
}
