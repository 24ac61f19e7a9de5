// JPEG marker list and IPTC-IIM dataset list, checked against exiftool where it is installed.
#include "imaging/core/VLMarkerList.h"

#include "FuzzBuffers.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& Text) {
    return {Text.begin(), Text.end()};
}

void Add(TVLMarkerList& List, uint8_t Type, const std::vector<uint8_t>& Payload) {
    List.AddMarker(Type, Payload.data(), static_cast<uint16_t>(Payload.size()));
}

std::vector<uint8_t> Payload(const TVLMarkerList& List, int32_t Index) {
    const uint8_t* data = List.GetMarkerData(Index);
    return {data, data + List.GetMarkerLength(Index)};
}

// An APP2 chunk of an ICC profile: the tag, the sequence number, the count, then the bytes.
std::vector<uint8_t> IccChunk(uint8_t Sequence, uint8_t Count, const std::vector<uint8_t>& Part) {
    std::vector<uint8_t> chunk = Bytes(std::string("ICC_PROFILE") + '\0');
    chunk.push_back(Sequence);
    chunk.push_back(Count);
    chunk.insert(chunk.end(), Part.begin(), Part.end());
    return chunk;
}

// EXIF payload: "Exif", two NULs, and a little-endian TIFF structure with one IFD holding Make.
std::vector<uint8_t> ExifPayload(const std::string& Make) {
    std::vector<uint8_t> p = Bytes(std::string("Exif\0\0", 6));
    const std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0,
                                       // one entry: Make (0x010F), ASCII, count, offset 26
                                       1, 0, 0x0F, 0x01, 2, 0,
                                       static_cast<uint8_t>(Make.size() + 1), 0, 0, 0, 26, 0, 0, 0,
                                       // no next IFD
                                       0, 0, 0, 0};
    p.insert(p.end(), tiff.begin(), tiff.end());
    p.insert(p.end(), Make.begin(), Make.end());
    p.push_back(0);
    return p;
}

std::vector<uint8_t> XmpPayload(const std::string& Format) {
    return Bytes(std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                 "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                 "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                 "rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:format>" +
                 Format + "</dc:format></rdf:Description></rdf:RDF></x:xmpmeta>");
}

// The tables, frame and scan of an 8 x 8 grey baseline JPEG made with ImageMagick, from its
// quantisation table to its end marker.
const std::vector<uint8_t> JpegBody = {
    0xFF, 0xDB, 0x00, 0x43, 0x00, 0x10, 0x0B, 0x0C, 0x0E, 0x0C, 0x0A, 0x10, 0x0E, 0x0D, 0x0E, 0x12,
    0x11, 0x10, 0x13, 0x18, 0x28, 0x1A, 0x18, 0x16, 0x16, 0x18, 0x31, 0x23, 0x25, 0x1D, 0x28, 0x3A,
    0x33, 0x3D, 0x3C, 0x39, 0x33, 0x38, 0x37, 0x40, 0x48, 0x5C, 0x4E, 0x40, 0x44, 0x57, 0x45, 0x37,
    0x38, 0x50, 0x6D, 0x51, 0x57, 0x5F, 0x62, 0x67, 0x68, 0x67, 0x3E, 0x4D, 0x71, 0x79, 0x70, 0x64,
    0x78, 0x5C, 0x65, 0x67, 0x63, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01,
    0x11, 0x00, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xDA,
    0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x1F, 0xFF, 0xD9};

// A JPEG file holding the markers in list order after the start-of-image marker.
std::vector<uint8_t> JpegWithMarkers(const TVLMarkerList& List) {
    std::vector<uint8_t> file = {0xFF, 0xD8};
    for (int32_t i = 0; i < List.GetCount(); ++i) {
        const int32_t length = List.GetMarkerLength(i) + 2;
        file.insert(file.end(), {0xFF, List.GetMarkerType(i), static_cast<uint8_t>(length >> 8),
                                 static_cast<uint8_t>(length)});
        const auto payload = Payload(List, i);
        file.insert(file.end(), payload.begin(), payload.end());
    }
    file.insert(file.end(), JpegBody.begin(), JpegBody.end());
    return file;
}

std::vector<uint8_t> IptcBlock(const std::vector<TVLIPTCItem>& Items, bool Photoshop) {
    TVLIPTCInfoList list;
    for (const auto& item : Items)
        list.AddItem(item.Record, item.DataSet, static_cast<int32_t>(item.Data.size()),
                     item.Data.data());
    return list.SaveToBuffer(Photoshop);
}

void ExpectItems(const TVLIPTCInfoList& List, const std::vector<TVLIPTCItem>& Items) {
    ASSERT_EQ(List.GetCount(), static_cast<int32_t>(Items.size()));
    for (size_t i = 0; i < Items.size(); ++i) {
        SCOPED_TRACE(i);
        const auto index = static_cast<int32_t>(i);
        EXPECT_EQ(List.GetRecord(index), Items[i].Record);
        EXPECT_EQ(List.GetDataSet(index), Items[i].DataSet);
        ASSERT_EQ(List.GetItemLength(index), static_cast<int32_t>(Items[i].Data.size()));
        EXPECT_TRUE(
            std::equal(Items[i].Data.begin(), Items[i].Data.end(), List.GetItemData(index)));
    }
}

const char* const SRGBProfileFile = "/usr/share/color/icc/sRGB.icc";

} // namespace

TEST(VLMarkerList, SortOrdersCodesAndProfileChunks) {
    TVLMarkerList list;
    const auto mpf = Bytes(std::string("MPF\0II*\0", 8));
    Add(list, 0xFE, Bytes("comment"));
    Add(list, 0xE2, IccChunk(3, 3, {7, 7}));
    Add(list, 0xE1, Bytes("APP1"));
    Add(list, 0xE2, mpf);
    Add(list, 0xE2, IccChunk(1, 3, {5, 5}));
    Add(list, 0xE0, Bytes("JFIF"));
    Add(list, 0xED, Bytes("IPTC"));
    Add(list, 0xE2, IccChunk(2, 3, {6, 6}));
    list.Sort();
    const std::vector<uint8_t> types = {0xE0, 0xE1, 0xE2, 0xE2, 0xE2, 0xE2, 0xED, 0xFE};
    ASSERT_EQ(list.GetCount(), 8);
    for (int32_t i = 0; i < 8; ++i)
        EXPECT_EQ(list.GetMarkerType(i), types[i]) << i;
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(Payload(list, 2 + i),
                  IccChunk(static_cast<uint8_t>(i + 1), 3,
                           {static_cast<uint8_t>(5 + i), static_cast<uint8_t>(5 + i)}));
    EXPECT_EQ(Payload(list, 5), mpf);
}

TEST(VLMarkerList, SortPutsTheExifBlockFirstAmongApp1) {
    TVLMarkerList list;
    Add(list, 0xE1, XmpPayload("image/jpeg"));
    Add(list, 0xE0, Bytes("JFIF"));
    Add(list, 0xE1, ExifPayload("Maker"));
    // "Exif" without its NUL is not an EXIF block.
    Add(list, 0xE1, Bytes("Exif"));
    list.Sort();
    EXPECT_EQ(list.GetMarkerType(0), 0xE0);
    EXPECT_EQ(Payload(list, 1), ExifPayload("Maker"));
    // Equal markers may change their order.
    const auto third = Payload(list, 2);
    const auto fourth = Payload(list, 3);
    EXPECT_TRUE((third == XmpPayload("image/jpeg") && fourth == Bytes("Exif")) ||
                (fourth == XmpPayload("image/jpeg") && third == Bytes("Exif")));
}

TEST(VLMarkerList, EditingAndCopying) {
    TVLMarkerList list;
    Add(list, 0xE1, Bytes("one"));
    Add(list, 0xFE, {});
    Add(list, 0xE1, Bytes("three"));
    EXPECT_EQ(list.IndexOf(0xE1), 0);
    EXPECT_EQ(list.IndexOf(0xED), -1);
    EXPECT_EQ(list.GetMarkerLength(1), 0);
    list.SetMarker(0, 0xED, "xy", 2);
    EXPECT_EQ(list.IndexOf(0xE1), 2);
    list.DeleteMarker(1);
    TVLMarkerList copy;
    copy.Assign(&list);
    list.Clear();
    ASSERT_EQ(copy.GetCount(), 2);
    EXPECT_EQ(Payload(copy, 0), Bytes("xy"));
    EXPECT_EQ(copy.GetMarkerType(0), 0xED);
    EXPECT_EQ(Payload(copy, 1), Bytes("three"));
    EXPECT_THROW(copy.GetMarkerData(2), EListError);
    EXPECT_THROW(copy.DeleteMarker(-1), EListError);
}

TEST(VLIPTCInfoList, RoundTripsShortAndLongDatasetsWithEitherHeader) {
    std::vector<uint8_t> longText(40000);
    for (size_t i = 0; i < longText.size(); ++i)
        longText[i] = static_cast<uint8_t>('a' + i % 26);
    const std::vector<TVLIPTCItem> items = {
        {2, 5, Bytes("Title")}, {2, 25, Bytes("one")}, {2, 25, Bytes("two")}, {2, 120, longText}};
    for (bool photoshop : {false, true}) {
        SCOPED_TRACE(photoshop);
        const auto block = IptcBlock(items, photoshop);
        EXPECT_EQ(block.size() % 2, 0u);
        // The long dataset: 1C 02 78, then 80 04 and the 4-byte length 40000.
        const std::vector<uint8_t> head = {0x1C, 2, 120, 0x80, 0x04, 0, 0, 0x9C, 0x40};
        EXPECT_NE(std::search(block.begin(), block.end(), head.begin(), head.end()), block.end());
        TVLIPTCInfoList read;
        EXPECT_TRUE(read.LoadFromBuffer(block.data(), static_cast<int32_t>(block.size())));
        EXPECT_FALSE(read.GetUserChanged());
        // Without the Photoshop header the record version of the short header is read too.
        std::vector<TVLIPTCItem> expected = items;
        if (!photoshop) expected.insert(expected.begin(), {2, 0, {0, 2}});
        ExpectItems(read, expected);
    }
    // At the boundary: 32,767 bytes still fit the 2-byte length, 32,768 (its top bit would say
    // "long form") take the long form.
    const std::pair<size_t, std::vector<uint8_t>> boundary[] = {
        {32767, {0x1C, 2, 120, 0x7F, 0xFF}}, {32768, {0x1C, 2, 120, 0x80, 0x04, 0, 0, 0x80, 0}}};
    for (const auto& [length, expectedHead] : boundary) {
        SCOPED_TRACE(length);
        const std::vector<TVLIPTCItem> one = {{2, 120, std::vector<uint8_t>(length, 'q')}};
        const auto block = IptcBlock(one, true);
        EXPECT_NE(std::search(block.begin(), block.end(), expectedHead.begin(), expectedHead.end()),
                  block.end());
        TVLIPTCInfoList read;
        EXPECT_TRUE(read.LoadFromBuffer(block.data(), static_cast<int32_t>(block.size())));
        ExpectItems(read, one);
    }
}

TEST(VLIPTCInfoList, HeadersOfAListWithOnlyTheRecordVersion) {
    const std::vector<TVLIPTCItem> items = {{2, 0, {0, 4}}};
    EXPECT_EQ(IptcBlock(items, false),
              (std::vector<uint8_t>{0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00}));
    auto photoshop = IptcBlock(items, true);
    ASSERT_EQ(photoshop.size(), 26u);
    EXPECT_EQ(std::string(photoshop.begin(), photoshop.begin() + 14),
              std::string("Photoshop 3.0\0", 14));
    EXPECT_EQ(std::string(photoshop.begin() + 14, photoshop.begin() + 22),
              std::string("8BIM\x04\x04\0\0", 8));
    EXPECT_EQ(std::vector<uint8_t>(photoshop.begin() + 22, photoshop.end()),
              (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(TVLIPTCInfoList().SaveToBuffer(true).empty());
    // The size field counts the dataset bytes without the padding.
    photoshop = IptcBlock({{2, 5, Bytes("abcd")}}, true);
    ASSERT_EQ(photoshop.size(), 26u + 9 + 1);
    EXPECT_EQ(photoshop[25], 9);
}

TEST(VLIPTCInfoList, PhotoshopBlockWithOtherResourcesFirst) {
    std::vector<uint8_t> block = Bytes(std::string("Photoshop 3.0\0", 14));
    // A resolution resource (03 ED) with 16 bytes of data, then the IPTC resource.
    const auto other = Bytes(std::string("8BIM\x03\xED\0\0\0\0\0\x10", 12));
    block.insert(block.end(), other.begin(), other.end());
    block.insert(block.end(), 16, 0x1C);
    const auto iptc = Bytes(std::string("8BIM\x04\x04\0\0\0\0\0\x0A"
                                        "\x1C\x02\x05\x00\x05Title",
                                        22));
    block.insert(block.end(), iptc.begin(), iptc.end());
    TVLIPTCInfoList list;
    ASSERT_TRUE(list.LoadFromBuffer(block.data(), static_cast<int32_t>(block.size())));
    ExpectItems(list, {{2, 5, Bytes("Title")}});

    // Without the IPTC resource nothing is read.
    block.resize(14 + other.size());
    EXPECT_FALSE(list.LoadFromBuffer(block.data(), static_cast<int32_t>(block.size())));
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(VLIPTCInfoList, DatasetsRunningPastTheEndAreDropped) {
    struct Case {
        const char* name;
        std::vector<uint8_t> tail;
    };
    const std::vector<uint8_t> good = {0x1C, 2, 5, 0, 3, 'a', 'b', 'c'};
    const std::vector<Case> cases = {
        {"truncated short dataset", {0x1C, 2, 25, 0, 9, 'x', 'y'}},
        {"length 0x80000000", {0x1C, 2, 25, 0x80, 4, 0x80, 0, 0, 0, 'x'}},
        {"length 0xFFFFFFFF", {0x1C, 2, 25, 0x80, 4, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}},
        {"length 0x7FFFFFFF", {0x1C, 2, 25, 0x80, 4, 0x7F, 0xFF, 0xFF, 0xFF, 'x'}},
        {"length bytes cut", {0x1C, 2, 25, 0x80, 4, 0, 0}},
        {"head cut", {0x1C, 2, 25, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> block = good;
        block.insert(block.end(), c.tail.begin(), c.tail.end());
        TVLIPTCInfoList list;
        EXPECT_TRUE(list.LoadFromBuffer(block.data(), static_cast<int32_t>(block.size())));
        ExpectItems(list, {{2, 5, Bytes("abc")}});
    }
}

TEST(VLIPTCInfoList, UserChangedFollowsTheEdits) {
    TVLIPTCInfoList list;
    EXPECT_FALSE(list.GetUserChanged());
    list.AddItem(2, 5, 1, "x");
    EXPECT_TRUE(list.GetUserChanged());
    EXPECT_FALSE(list.LoadFromBuffer(nullptr, 0));
    EXPECT_FALSE(list.GetUserChanged());
    TVLIPTCInfoList other;
    other.Assign(&list);
    EXPECT_TRUE(other.GetUserChanged());
    other.LoadFromBuffer("\x1C\x02\x05\x00\x01x", 6);
    other.Clear();
    EXPECT_TRUE(other.GetUserChanged());
}

TEST(VLIPTCInfoList, SurvivesTruncatedAndRandomBlocks) {
    std::vector<uint8_t> text(300, 'q');
    const auto sample =
        IptcBlock({{2, 5, Bytes("Title")}, {2, 120, text}, {2, 25, Bytes("k")}}, true);
    FuzzParser(sample, [](const uint8_t* Data, int32_t Length) {
        TVLIPTCInfoList list;
        list.LoadFromBuffer(Data, Length);
        int64_t total = 0;
        for (int32_t i = 0; i < list.GetCount(); ++i)
            total += list.GetItemLength(i) + 5;
        ASSERT_LE(total, Length);
    });
}

TEST(VLMarkerListTools, ExiftoolReadsAJpegWrittenWithTheSortedList) {
    if (!ToolExists("exiftool"))
        SV_SKIP_WITHOUT_REFERENCE("exiftool (libimage-exiftool-perl) missing");
    ScratchFolder scratch;
    std::vector<uint8_t> longText(33000);
    for (size_t i = 0; i < longText.size(); ++i)
        longText[i] = static_cast<uint8_t>('A' + i % 23);
    const auto iptc = IptcBlock({{2, 5, Bytes("Object name")},
                                 {2, 25, Bytes("first")},
                                 {2, 25, Bytes("second")},
                                 {2, 120, longText}},
                                true);

    TVLMarkerList list;
    Add(list, 0xFE, Bytes("a comment"));
    Add(list, 0xED, iptc);
    Add(list, 0xE1, XmpPayload("image/x-test"));
    Add(list, 0xE1, ExifPayload("TestMaker"));
    const bool withProfile = std::filesystem::exists(SRGBProfileFile);
    std::vector<uint8_t> profile;
    if (withProfile) {
        profile = scratch.Read(SRGBProfileFile);
        const size_t third = profile.size() / 3 + 1;
        for (uint8_t seq : {2, 3, 1}) {
            const size_t from = (seq - 1) * third;
            const size_t to = std::min(profile.size(), from + third);
            Add(list, 0xE2, IccChunk(seq, 3, {profile.begin() + from, profile.begin() + to}));
        }
    }
    list.Sort();
    scratch.Write("markers.jpg", JpegWithMarkers(list));
    const std::string file = scratch.File("markers.jpg");

    struct Expect {
        const char* tag;
        std::string value;
    };
    const std::vector<Expect> expected = {
        {"File:Comment", "a comment"},
        {"EXIF:Make", "TestMaker"},
        {"XMP-dc:Format", "image/x-test"},
        {"IPTC:ObjectName", "Object name"},
        {"IPTC:Keywords", "first|second"},
        {"IPTC:Caption-Abstract", std::string(longText.begin(), longText.end())},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.tag);
        std::string output;
        ASSERT_TRUE(
            scratch.Run("exiftool -m -b -sep '|' -" + std::string(e.tag) + " " + file, output));
        EXPECT_EQ(output, e.value);
    }
    if (withProfile) {
        std::string output;
        ASSERT_TRUE(scratch.Run("exiftool -m -b -ICC_Profile " + file, output));
        EXPECT_TRUE(output == std::string(profile.begin(), profile.end()))
            << "the profile chunks were not joined back in order";
    }

    // Reading the IPTC block back from the written file gives the same datasets.
    TVLIPTCInfoList read;
    const int32_t app13 = list.IndexOf(0xED);
    ASSERT_TRUE(read.LoadFromBuffer(list.GetMarkerData(app13), list.GetMarkerLength(app13)));
    EXPECT_EQ(read.SaveToBuffer(true), iptc);
}
