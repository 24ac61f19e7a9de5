// The class library's string list and the date functions.
#include "platform/rtl/StringList.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

TEST(StringList, KeepsOrderAndChecksIndexes) {
    TStringList list;
    EXPECT_EQ(list.Add(u"b"), 0);
    EXPECT_EQ(list.Add(u"d"), 1);
    list.Insert(0, u"a");
    list.Insert(2, u"c");
    list.Insert(4, u"e"); // at the end
    ASSERT_EQ(list.Count(), 5);
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(list[i], String(1, static_cast<char16_t>(u'a' + i)));
    EXPECT_EQ(list.IndexOf(u"c"), 2);
    EXPECT_EQ(list.IndexOf(u"x"), -1);
    list.Put(2, u"x");
    list.Delete(0);
    EXPECT_EQ(list.IndexOf(u"x"), 1);
    EXPECT_THROW(list.Get(4), EListError);
    EXPECT_THROW(list.Get(-1), EListError);
    EXPECT_THROW(list.Insert(6, u"y"), EListError);
    EXPECT_THROW(list.Delete(4), EListError);
}

TEST(StringList, AssignCopiesTheStrings) {
    TStringList a, b;
    a.Add(u"one");
    a.Add(u"two");
    b.Add(u"old");
    b.Assign(a);
    EXPECT_EQ(a, b);
    a.Put(0, u"changed");
    EXPECT_EQ(b[0], u"one");
    b.Assign(b);
    EXPECT_EQ(b.Count(), 2);
}

TEST(DateTime, CountsDaysFromTheEpochOf1899) {
    // The local date is within a day of the UTC day count; 25569 is 1 January 1970.
    const double utcDays = static_cast<double>(std::time(nullptr) / 86400 + 25569);
    EXPECT_NEAR(Date(), utcDays, 1.0);
    EXPECT_EQ(Date(), static_cast<double>(static_cast<int64_t>(Date())));
    EXPECT_GE(Now(), Date());
    EXPECT_LT(Now(), Date() + 1.0);
}

TEST(StringList, TextFilesByLineEndAndByteOrderMark) {
    ScratchFolder folder;
    const std::string file = folder.File("lines.txt");
    struct Case {
        std::string Bytes;
        std::vector<String> Lines;
    };
    const Case cases[] = {
        {"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}},
        {"\xEF\xBB\xBFk=\xC3\xA9\r\n\r\n", {u"k=\u00E9", u""}},
        {std::string("\xFF\xFEx\0=\0y\0\r\0\n\0", 12), {u"x=y"}},
    };
    TStringList list;
    for (const Case& c : cases) {
        WriteFileBytes(file, c.Bytes);
        list.LoadFromFile(StrFromUtf8(file), TTextEncoding::UTF8);
        ASSERT_EQ(list.Count(), static_cast<int32_t>(c.Lines.size()));
        for (size_t i = 0; i < c.Lines.size(); ++i)
            EXPECT_EQ(list[static_cast<int32_t>(i)], c.Lines[i]);
    }
    // Saved as UTF-16 and read back; names found case aside.
    list.Clear();
    list.Add(u"Left=5");
    list.Add(u"name=a=b");
    list.SaveToFile(StrFromUtf8(file), TTextEncoding::Unicode);
    TStringList back;
    back.LoadFromFile(StrFromUtf8(file), TTextEncoding::UTF8);
    EXPECT_EQ(back, list);
    EXPECT_EQ(back.IndexOfName(u"LEFT"), 0);
    EXPECT_EQ(back.ValueFromIndex(1), u"a=b");
    EXPECT_EQ(back.IndexOfName(u"a"), -1);
    EXPECT_THROW(back.LoadFromFile(StrFromUtf8(folder.File("missing")), TTextEncoding::UTF8),
                 EFOpenError);
}
