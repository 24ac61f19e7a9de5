// The title's shortening steps, the status line's tags and the byte-size texts.
#include "app/TitleLine.h"

#include "platform/shell/PathText.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

namespace {
// Every character 7 pixels wide: widths are exact and chosen per case.
int32_t Measure(const String& Text) {
    return static_cast<int32_t>(Text.size()) * 7;
}
} // namespace

TEST(TitleLine, TheTitleGivesUpPartsFromTheFrontThenTheBack) {
    const String full = u"Trip - a.jpg   [800 x 600  |  120 KB]";
    const String noFolder = u"a.jpg   [800 x 600  |  120 KB]";
    const String noSize = u"a.jpg   [800 x 600]";
    struct Case {
        int32_t Room;
        const String& Expected;
    };
    const String name = u"a.jpg";
    for (const Case& c : {Case{1000, full}, Case{Measure(full), full},
                          Case{Measure(full) - 1, noFolder}, Case{Measure(noFolder) - 1, noSize},
                          Case{Measure(noSize) - 1, name}, Case{0, name}}) {
        EXPECT_EQ(TitleText(u"Trip", u"a.jpg", 800, 600, u"120 KB", Measure, c.Room),
                  c.Expected)
            << c.Room;
    }
}

TEST(TitleLine, StatusCountsFromOneAndTruncatesTheZoom) {
    EXPECT_EQ(StatusText(4, 12, 41.67),
              u"<c999999>5 / 12</c> <c333333>|</c> 41 % <c333333>|</c> ");
    EXPECT_EQ(StatusText(0, 1, 100.0), u"<c999999>1 / 1</c> <c333333>|</c> 100 % <c333333>|</c> ");
}

TEST(TitleLine, FileSizesAndNames) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("five"), "12345");
    EXPECT_EQ(GetFileSize64(StrFromUtf8(folder.File("five"))), 5);
    EXPECT_EQ(GetFileSize64(StrFromUtf8(folder.File("missing"))), 0);

    const std::pair<int64_t, const char16_t*> sizes[] = {
        {0, u"0 bytes"},          {999, u"999 bytes"},       {1000, u"0.97 KB"},
        {1024, u"1.00 KB"},       {1535, u"1.49 KB"},        {10240, u"10.0 KB"},
        {122880, u"120 KB"},      {1023 * 1024, u"0.99 MB"}, {2464154, u"2.35 MB"},
        {int64_t{5} << 30, u"5.00 GB"}, {int64_t{3} << 40, u"3.00 TB"}};
    for (const auto& [size, text] : sizes)
        EXPECT_EQ(StrFormatByteSizeW(size), text) << size;

    EXPECT_EQ(PathFindFileNameW(u"/photos/Trip/a.jpg"), u"a.jpg");
    EXPECT_EQ(PathFindFileNameW(u"/photos/Trip/"), u"Trip");
    EXPECT_EQ(PathFindFileNameW(u"name"), u"name");
    EXPECT_EQ(PathFindFileNameW(u"/"), u"/");
}
