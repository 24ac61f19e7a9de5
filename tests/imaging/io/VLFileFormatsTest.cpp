// The format registry, its lookups and the progress record's reporting.
#include "imaging/io/VLFileFormats.h"

#include "imaging/io/VistrelIOUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class FileFormatRegistry : public ::testing::Test {
protected:
    void SetUp() override { BuildFileFormatRegistry(); }
    void TearDown() override { FreeFileFormatRegistry(); }
};

std::unique_ptr<TVLFileFormatInfo> Row(TVLFileFormatId Id, const String& Extensions) {
    auto row = std::make_unique<TVLFileFormatInfo>();
    row->FormatId = Id;
    row->DisplayName = u"Added";
    row->ExtensionList = Extensions;
    return row;
}

String Lower(String Text) {
    for (char16_t& c : Text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return Text;
}

// Mixed case: every other letter lowered.
String Mixed(String Text) {
    for (size_t i = 0; i < Text.size(); i += 2)
        if (Text[i] >= u'A' && Text[i] <= u'Z') Text[i] = static_cast<char16_t>(Text[i] + 32);
    return Text;
}

} // namespace

TEST_F(FileFormatRegistry, BuiltInRowsInRegistryOrder) {
    const std::vector<TVLFileFormatId> order = {1,  2,  3,  4,  5,  6,  7,  8,  28, 9,  10, 11,
                                                12, 16, 13, 14, 17, 18, 19, 20, 24, 25, 26, 27};
    ASSERT_EQ(GetFileFormatCount(), static_cast<int32_t>(order.size()));
    for (int32_t i = 0; i < GetFileFormatCount(); ++i) {
        SCOPED_TRACE(i);
        const TVLFileFormatInfo* row = GetFileFormatInfo(i);
        EXPECT_EQ(row->FormatId, order[i]);
        EXPECT_TRUE(row->BuiltIn);
        EXPECT_FALSE(row->DisplayName.empty());
        EXPECT_EQ(FindFileFormatInfo(order[i]), row);
    }
    EXPECT_EQ(GetFileFormatInfo(24), nullptr);
    EXPECT_EQ(GetFileFormatInfo(-1), nullptr);
    EXPECT_EQ(FindFileFormatInfo(ffTIFF)->DisplayName, u"TIFF Bitmap");
    EXPECT_EQ(FindFileFormatInfo(ffTIFF)->DialogPages, ipTIFF);
    EXPECT_EQ(FindFileFormatInfo(ffJ2K)->DialogPages, ipJPEG2000);
    EXPECT_EQ(FindFileFormatInfo(ffICO)->DialogPages, 0);
}

TEST_F(FileFormatRegistry, IdsWithoutRowFindNothing) {
    for (TVLFileFormatId id : {0, ffAVI, ffRawPixels, 22, 23, 29, -1}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(FindFileFormatInfo(id), nullptr);
        EXPECT_EQ(GetFileFormatExtensionCount(id), 0);
        String ext = u"unchanged";
        GetFileFormatExtension(id, 0, ext);
        EXPECT_EQ(ext, u"");
    }
}

TEST_F(FileFormatRegistry, EveryExtensionFindsItsRowInAnyLetterCase) {
    int32_t total = 0;
    for (int32_t i = 0; i < GetFileFormatCount(); ++i) {
        const TVLFileFormatInfo* row = GetFileFormatInfo(i);
        const int32_t count = GetFileFormatExtensionCount(row->FormatId);
        EXPECT_GE(count, 1);
        for (int32_t k = 0; k < count; ++k) {
            String ext;
            GetFileFormatExtension(row->FormatId, k, ext);
            SCOPED_TRACE(Utf8FromStr(ext));
            for (const String& asked : {ext, Lower(ext), Mixed(Lower(ext)),
                                        String(u".").append(ext), String(u".").append(Lower(ext))})
                EXPECT_EQ(FindFileFormatInfoByExtension(asked), row);
            ++total;
        }
    }
    EXPECT_EQ(total, 59);
}

TEST_F(FileFormatRegistry, LookupEdgeCases) {
    EXPECT_EQ(FindFileFormatInfoByExtension(u"jPg")->FormatId, ffJPEG);
    EXPECT_EQ(FindFileFormatInfoByExtension(u".JPEG")->FormatId, ffJPEG);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"xif")->FormatId, ffTIFF);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"dicom")->FormatId, ffDICOM);
    for (const String& none : {String(u""), String(u"."), String(u"..jpg"), String(u"jp"),
                               String(u"jpgx"), String(u"avi"), String(u"tif;tiff")}) {
        SCOPED_TRACE(Utf8FromStr(none));
        EXPECT_EQ(FindFileFormatInfoByExtension(none), nullptr);
    }
    EXPECT_EQ(GetFileFormatExtensionCount(ffCameraRAW), 13);
    EXPECT_EQ(GetFileFormatExtensionCount(ffTIFF), 6);
    String ext;
    GetFileFormatExtension(ffTIFF, 5, ext);
    EXPECT_EQ(ext, u"XIF");
    GetFileFormatExtension(ffTIFF, 6, ext);
    EXPECT_EQ(ext, u"");
    GetFileFormatExtension(ffTIFF, 0, ext);
    EXPECT_EQ(ext, u"TIF");
    GetFileFormatExtension(ffTIFF, -1, ext);
    EXPECT_EQ(ext, u"");
}

TEST_F(FileFormatRegistry, RowAddedWithABuiltInIdIsFoundByNeitherItsIdNorItsExtensions) {
    const int32_t index = RegisterFileFormat(Row(ffJPEG, u"XJPG;XJP"));
    EXPECT_EQ(index, 24);
    TVLFileFormatInfo* added = GetFileFormatInfo(index);
    // Extensions are taken by id, so the added row answers with the built-in row's list.
    EXPECT_NE(FindFileFormatInfo(ffJPEG), added);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"xjp"), nullptr);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"xjpg"), nullptr);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"jpg")->BuiltIn, true);
    // Unregistering the id removes the first row with it, the built-in one; the added row then
    // answers for its own list.
    UnregisterFileFormat(ffJPEG);
    EXPECT_EQ(FindFileFormatInfo(ffJPEG), added);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"xjp"), added);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"jpg"), nullptr);
    UnregisterFileFormat(ffJPEG);
    EXPECT_EQ(FindFileFormatInfo(ffJPEG), nullptr);
    UnregisterFileFormat(ffJPEG); // nothing left: nothing happens
    EXPECT_EQ(GetFileFormatCount(), 23);
}

TEST_F(FileFormatRegistry, BuiltInRowsTellWhatCanBeReadAndWritten) {
    const std::vector<TVLFileFormatId> readOnly = {ffCUR, ffDICOM, ffWMF, ffEMF, ffCameraRAW};
    const std::vector<TVLFileFormatId> writeOnly = {ffPS, ffPDF};
    for (int32_t i = 0; i < GetFileFormatCount(); ++i) {
        const TVLFileFormatInfo* row = GetFileFormatInfo(i);
        SCOPED_TRACE(row->FormatId);
        const auto in = [&](const std::vector<TVLFileFormatId>& Ids) {
            return std::find(Ids.begin(), Ids.end(), row->FormatId) != Ids.end();
        };
        EXPECT_EQ(row->Reader != nullptr, !in(writeOnly));
        EXPECT_EQ(row->Writer != nullptr, !in(readOnly));
        ASSERT_NE(row->Probe, nullptr);
        // A placeholder probe never claims content; detection finds built-in formats itself.
        TMemoryStream stream;
        const char jpeg[] = "\xFF\xD8\xFF\xE0";
        stream.WriteBuffer(jpeg, 4);
        stream.SetPosition(0);
        EXPECT_FALSE(row->Probe(stream, row->FormatId));
    }
    EXPECT_NE(FindFileFormatInfo(ffJPEG)->Reader, nullptr);
}

TEST_F(FileFormatRegistry, ExtensionListsWithEmptyPieces) {
    RegisterFileFormat(Row(100, u"AAA;;BBB"));
    RegisterFileFormat(Row(101, u"CCC;"));
    RegisterFileFormat(Row(102, u""));
    // Counting stops at the first empty piece, and so does the lookup.
    EXPECT_EQ(GetFileFormatExtensionCount(100), 1);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"aaa")->FormatId, 100);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"bbb"), nullptr);
    EXPECT_EQ(GetFileFormatExtensionCount(101), 1);
    String ext;
    GetFileFormatExtension(101, 1, ext);
    EXPECT_EQ(ext, u"");
    EXPECT_EQ(GetFileFormatExtensionCount(102), 0);
    EXPECT_EQ(FindFileFormatInfoByExtension(u""), nullptr);
}

TEST(FileFormatRegistryLife, FreeEmptiesAndBuildStartsOver) {
    BuildFileFormatRegistry();
    RegisterFileFormat(Row(100, u"ZZZ"));
    FreeFileFormatRegistry();
    EXPECT_EQ(GetFileFormatCount(), 0);
    EXPECT_EQ(FindFileFormatInfo(ffTIFF), nullptr);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"tif"), nullptr);
    BuildFileFormatRegistry();
    EXPECT_EQ(GetFileFormatCount(), 24);
    EXPECT_EQ(FindFileFormatInfo(100), nullptr);
    FreeFileFormatRegistry();
}

TEST(FileFormatRegistryLife, TheIOUnitBuildsAndFreesIt) {
    RegisterVistrelIOUnit();
    ColorConversionHook = nullptr;
    InitializeLibrary();
    EXPECT_EQ(GetFileFormatCount(), 24);
    EXPECT_EQ(FindFileFormatInfoByExtension(u"png")->FormatId, ffPNG);
    EXPECT_EQ(ColorConversionHook, &ConvertColorSpaceRow);
    FinalizeLibrary();
    EXPECT_EQ(GetFileFormatCount(), 0);
}

TEST(ProgressRecord, ReportsTruncatedPercentagesAndAborts) {
    std::vector<int32_t> reported;
    TObject sender;
    bool aborting = false;
    TVLProgressRecord progress;
    progress.Sender = &sender;
    progress.AbortFlag = &aborting;
    progress.Handler = [&](TObject* Sender, int32_t Per) {
        EXPECT_EQ(Sender, &sender);
        reported.push_back(Per);
        if (Per >= 66) aborting = true; // a user's handler cancelling
    };
    progress.PercentPerStep = 100.0 / 3;
    for (progress.StepCount = 0; !progress.Aborting(); ++progress.StepCount)
        progress.ReportProgress();
    EXPECT_EQ(reported, (std::vector<int32_t>{0, 33, 66}));
    progress.ReportPercent(100);
    EXPECT_EQ(reported.back(), 100);

    aborting = false;
    progress.Abort();
    EXPECT_TRUE(aborting);

    // Without handler or flag nothing is called and nothing is written.
    TVLProgressRecord bare;
    bare.StepCount = 5;
    bare.PercentPerStep = 10;
    bare.ReportProgress();
    bare.Abort();
    EXPECT_FALSE(bare.Aborting());
}
