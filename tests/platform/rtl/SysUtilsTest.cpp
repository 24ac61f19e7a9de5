// Rounding rules, string conversions and the operating-system services.
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/WinApi.h"

#include <gtest/gtest.h>

namespace {

TEST(Rounding, RoundHalvesToEvenAndTruncTowardZero) {
    struct Case {
        double value;
        int64_t round, trunc;
    };
    const Case cases[] = {{0.5, 0, 0},    {1.5, 2, 1},    {2.5, 2, 2},
                          {-0.5, 0, 0},   {-1.5, -2, -1}, {-2.5, -2, -2},
                          {2.4999, 2, 2}, {-2.7, -3, -2}, {1e300, INT64_MAX, INT64_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Round(c.value), c.round);
        EXPECT_EQ(Trunc(c.value), c.trunc);
    }
}

TEST(Strings, Utf8RoundTripIncludingSurrogatesAndBadBytes) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const String wide = StrFromUtf8(text);
    EXPECT_EQ(wide.size(), 5u); // a, e-acute, euro, and a surrogate pair
    EXPECT_EQ(Utf8FromStr(wide), text);
    EXPECT_EQ(StrFromUtf8("\xFF"
                          "a"),
              String(u"\uFFFD"
                     u"a"));
    EXPECT_EQ(StrFromUtf8("\xE2\x82"), String(u"\uFFFD\uFFFD"));
}

TEST(Strings, IntToHexPadsWithUpperCaseDigits) {
    EXPECT_EQ(IntToHex(0xA1B2C, 8), u"000A1B2C");
    EXPECT_EQ(IntToHex(0x123456789, 4), u"123456789");
}

TEST(SystemServices, MemoryVersionAndPaths) {
    MEMORYSTATUSEX status;
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_EQ(GetTempPath().back(), PathDelim);
    EXPECT_GT(GetDiskFreeSpace(GetTempPath()), 0);
    EXPECT_EQ(GetDiskFreeSpace(u"/no/such/folder/at/all"), -1);
    OSVERSIONINFOW info;
    EXPECT_FALSE(GetVersionExW(&info));
}

TEST(Paths, AFileNameSplitsAtItsLastSeparator) {
    const struct {
        const char16_t* Path;
        const char16_t* Folder;
        const char16_t* Name;
    } cases[] = {{u"/p/q/x.jpg", u"/p/q/", u"x.jpg"},
                 {u"x.jpg", u"", u"x.jpg"},
                 {u"/p/", u"/p/", u""},
                 {u"/x=y.jpg", u"/", u"x=y.jpg"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ExtractFilePath(c.Path), c.Folder);
        EXPECT_EQ(ExtractFileName(c.Path), c.Name);
    }
}

} // namespace
