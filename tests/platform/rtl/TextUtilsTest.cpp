// Text and number-text routines: trimming, case, 1-based copying and searching, extensions,
// integer parsing, float formats and parsing under changed decimal separators.
#include "platform/rtl/TextUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Sets the decimal separator for the life of the object.
class DecimalSeparator {
public:
    explicit DecimalSeparator(char16_t c) : FSaved(FormatSettings) {
        FormatSettings.DecimalSeparator = c;
        FormatSettings.ThousandSeparator = c == u',' ? u'.' : u',';
    }
    ~DecimalSeparator() { FormatSettings = FSaved; }

private:
    TFormatSettings FSaved;
};

TEST(TextRoutines, TrimCaseCopyPosAndExtensions) {
    EXPECT_EQ(Trim(u" \t ab c\r\n"), u"ab c");
    EXPECT_EQ(Trim(u"\x01\x02"), u"");
    EXPECT_EQ(UpperCase(u"abc\u00e9Z"), u"ABC\u00e9Z");
    EXPECT_EQ(LowerCase(u"ABC\u00c9z"), u"abc\u00c9z");
    EXPECT_EQ(Copy(u"abcdef", 2, 3), u"bcd");
    EXPECT_EQ(Copy(u"abcdef", 0, 2), u"ab");
    EXPECT_EQ(Copy(u"abcdef", 5, 100), u"ef");
    EXPECT_EQ(Copy(u"abcdef", 7, 1), u"");
    EXPECT_EQ(Copy(u"abcdef", 2, -1), u"");
    EXPECT_EQ(Pos(u"cd", u"abcdcd"), 3);
    EXPECT_EQ(Pos(u"x", u"abc"), 0);
    EXPECT_EQ(Pos(u"", u"abc"), 0);
    EXPECT_EQ(ExtractFileExt(u"/a/b/Photo.JPG"), u".JPG");
    EXPECT_EQ(ExtractFileExt(u"/a.b/photo"), u"");
    EXPECT_EQ(ExtractFileExt(u"archive.tar.gz"), u".gz");
}

TEST(TextRoutines, StrToIntDef) {
    const std::pair<const char16_t*, int32_t> cases[] = {{u"42", 42},
                                                         {u"  -17", -17},
                                                         {u"+5", 5},
                                                         {u"$FF", 255},
                                                         {u"0x10", 16},
                                                         {u"-$10", -16},
                                                         {u"$FFFFFFFF", -1},
                                                         {u"2147483647", 2147483647},
                                                         {u"-2147483648", INT32_MIN},
                                                         {u"2147483648", 7},
                                                         {u"12 ", 7},
                                                         {u"", 7},
                                                         {u"1e3", 7},
                                                         {u"$", 7},
                                                         {u"0x1FFFFFFFF", 7},
                                                         {u"abc", 7}};
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(StrToIntDef(cases[i].first, 7), cases[i].second) << "case " << i;
}

TEST(FloatText, GeneralFormat) {
    const std::pair<double, const char16_t*> cases[] = {
        {2.5, u"2.5"},
        {100, u"100"},
        {0.1, u"0.1"},
        {-3.25, u"-3.25"},
        {0.0001, u"0.0001"},
        {0.00001, u"1E-5"},
        {1.5e-7, u"1.5E-7"},
        {1e20, u"1E20"},
        {123456789012345.0, u"123456789012345"},
        {1e15, u"1E15"},
        {1.0 / 3, u"0.333333333333333"},
        {2.0 / 3, u"0.666666666666667"},
        {0, u"0"},
        {std::numeric_limits<double>::quiet_NaN(), u"NAN"},
        {-std::numeric_limits<double>::infinity(), u"-INF"}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(FloatToStr(value), expected) << value;
}

TEST(FloatText, OtherFormats) {
    EXPECT_EQ(FloatToStrF(1234.56, ffExponent, 4, 2), u"1.235E+03");
    EXPECT_EQ(FloatToStrF(0.00123, ffExponent, 3, 0), u"1.23E-3");
    EXPECT_EQ(FloatToStrF(1234.567, ffFixed, 15, 2), u"1234.57");
    EXPECT_EQ(FloatToStrF(1.23456, ffFixed, 3, 4), u"1.2300");
    EXPECT_EQ(FloatToStrF(-0.001, ffFixed, 15, 2), u"0.00");
    EXPECT_EQ(FloatToStrF(1234567.891, ffNumber, 15, 1), u"1,234,567.9");
    EXPECT_EQ(FloatToStrF(1234.567, ffCurrency, 15, 2), u"$1,234.57");
    EXPECT_EQ(FloatToStrF(-1234.567, ffCurrency, 15, 2), u"($1,234.57)");
    EXPECT_EQ(FloatToStrF(2.5, ffGeneral, 15, 3), u"2.5");
    EXPECT_EQ(FloatToStrF(1e-9, ffGeneral, 15, 3), u"1E-009");
}

TEST(FloatText, FollowsTheDecimalSeparator) {
    DecimalSeparator comma(u',');
    EXPECT_EQ(FloatToStr(2.5), u"2,5");
    EXPECT_EQ(FloatToStrF(1234.5, ffNumber, 15, 1), u"1.234,5");
    double v = 0;
    EXPECT_TRUE(TryStrToFloat(u"1,5", v));
    EXPECT_EQ(v, 1.5);
    EXPECT_FALSE(TryStrToFloat(u"1.5", v));
}

TEST(FloatText, Parsing) {
    const std::pair<const char16_t*, double> good[] = {
        {u"1.5", 1.5}, {u"  -2.25e2 ", -225}, {u"+.5", 0.5}, {u"7.", 7}, {u"1E-2", 0.01}};
    for (const auto& [text, expected] : good) {
        double v = 0;
        EXPECT_TRUE(TryStrToFloat(text, v)) << expected;
        EXPECT_DOUBLE_EQ(v, expected);
    }
    for (const char16_t* text :
         {u"", u"abc", u"1.5.2", u"1e", u"inf", u"nan", u"1,5", u"--1", u"1e999", u"."}) {
        double v = 123;
        EXPECT_FALSE(TryStrToFloat(text, v));
        EXPECT_EQ(v, 123);
    }
}

} // namespace
