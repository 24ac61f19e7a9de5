// Raw tag directories and DICOM data elements.
#include "imaging/core/VLTagsHandler.h"

#include "FuzzBuffers.h"

#include <gtest/gtest.h>

namespace {

void PutLE16(std::vector<uint8_t>& Out, uint16_t V) {
    Out.push_back(static_cast<uint8_t>(V));
    Out.push_back(static_cast<uint8_t>(V >> 8));
}
void PutLE32(std::vector<uint8_t>& Out, uint32_t V) {
    for (int i = 0; i < 4; ++i)
        Out.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

// A directory of Count entries (tag 100 + i, type 3, count 1, value i * 7) and trailing data.
std::vector<uint8_t> Directory(uint16_t DeclaredCount, int Entries) {
    std::vector<uint8_t> bytes;
    PutLE16(bytes, DeclaredCount);
    for (int i = 0; i < Entries; ++i) {
        PutLE16(bytes, static_cast<uint16_t>(100 + i));
        PutLE16(bytes, 3);
        PutLE32(bytes, 1);
        PutLE32(bytes, static_cast<uint32_t>(i * 7));
    }
    return bytes;
}

void Fill(TVLTagsHandler& Handler, const std::vector<uint8_t>& Bytes) {
    Handler.Data().Clear();
    Handler.Data().WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

} // namespace

TEST(VLTagsHandler, ReadsTheEntriesAsStored) {
    TVLTagsHandler handler;
    EXPECT_TRUE(handler.ReadState().IntelByteOrder);
    EXPECT_EQ(handler.ReadState().Stream, &handler.Data());
    Fill(handler, Directory(3, 3));
    handler.ReadDirectory();
    ASSERT_EQ(handler.GetEntryCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(handler.GetEntry(i).Tag, 100 + i);
        EXPECT_EQ(handler.GetEntry(i).FieldType, 3);
        EXPECT_EQ(handler.GetEntry(i).Count, 1u);
        EXPECT_EQ(handler.GetEntry(i).ValueOrOffset, static_cast<uint32_t>(i * 7));
    }
}

TEST(VLTagsHandler, EmptyDataKeepsThePreviousTable) {
    TVLTagsHandler handler;
    Fill(handler, Directory(3, 3));
    handler.ReadDirectory();
    handler.Data().Clear();
    handler.ReadDirectory();
    EXPECT_EQ(handler.GetEntryCount(), 3);
    EXPECT_THROW(handler.GetEntry(3), EListError);
}

TEST(VLTagsHandler, CountBeyondTheDataStopsAtTheLastWholeEntry) {
    struct Case {
        uint16_t declared;
        int present;
        int extraBytes;
        uint16_t expected;
    };
    for (const Case c :
         {Case{3, 2, 0, 2}, Case{0xFFFF, 1, 11, 1}, Case{5, 0, 0, 0}, Case{2, 4, 0, 2}}) {
        SCOPED_TRACE(c.declared);
        TVLTagsHandler handler;
        auto bytes = Directory(c.declared, c.present);
        bytes.resize(bytes.size() + c.extraBytes, 0xEE);
        Fill(handler, bytes);
        handler.ReadDirectory();
        EXPECT_EQ(handler.GetEntryCount(), c.expected);
    }
}

TEST(VLTagsHandler, SurvivesTruncatedAndRandomDirectories) {
    FuzzParser(Directory(4, 4), [](const uint8_t* Data, int32_t Length) {
        TVLTagsHandler handler;
        if (Length > 0) handler.Data().WriteBuffer(Data, Length);
        handler.ReadDirectory();
        ASSERT_LE(int64_t{handler.GetEntryCount()} * 12 + 2, std::max(Length, 2));
    });
}

TEST(VLDICOMTags, AddTagKeepsTwoLetterVRsAndCopiesTheValue) {
    TVLDICOMTags tags;
    const char value[] = "12";
    EXPECT_EQ(tags.AddTag(0x0028, 0x0010, "US", value, 2), 0);
    EXPECT_EQ(tags.AddTag(0x0008, 0x0016, "UIX", value, 2), 1);
    EXPECT_EQ(tags.AddTag(0x7FE0, 0x0010, "OB", value, -1), 2);
    EXPECT_EQ(tags.AddTag(0x0010, 0x0010, "", nullptr, 5), 3);

    const TVLDICOMTag& first = tags.GetTag(0);
    EXPECT_EQ(first.Group, 0x0028);
    EXPECT_EQ(first.Element, 0x0010);
    EXPECT_EQ(std::string(first.VR, 2), "US");
    ASSERT_EQ(first.DataLen, 2);
    ASSERT_EQ(first.Data.size(), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.Data.data())), "12");

    EXPECT_EQ(tags.GetTag(1).VR[0], 0);
    EXPECT_EQ(tags.GetTag(1).VR[1], 0);
    for (int i : {2, 3}) {
        EXPECT_EQ(tags.GetTag(i).DataLen, 0);
        EXPECT_TRUE(tags.GetTag(i).Data.empty());
    }
    EXPECT_THROW(tags.GetTag(4), EListError);
}

TEST(VLDICOMTags, AssignMakesPrivateCopiesWithTheTerminator) {
    TVLDICOMTags source;
    const uint8_t bytes[] = {1, 2, 3};
    source.AddTag(1, 2, "OB", bytes, 3);
    source.AddTag(3, 4, "US", nullptr, 0);
    TVLDICOMTags copy;
    copy.AddTag(9, 9, "XX", bytes, 1);
    copy.Assign(&source);
    source.Clear();
    ASSERT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(copy.GetTag(0).Data, (std::vector<uint8_t>{1, 2, 3, 0}));
    EXPECT_TRUE(copy.GetTag(1).Data.empty());
    copy.Assign(nullptr);
    EXPECT_EQ(copy.GetCount(), 2);
}
