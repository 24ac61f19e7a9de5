// The PostScript writer: every lossless page renders in Ghostscript as the picture it came from,
// JPEG pages in every colour space close to it; the page and header lines of the documented
// cases; documents of several pages; failures that set the abort flag or raise, never a broken
// document reported as written.
#include "imaging/formats/VLDocumentDate.h"
#include "imaging/formats/VLPostScript.h"
#include "tests/imaging/formats/DocumentTestSupport.h"

#include <algorithm>

namespace {

using namespace document_test;
using enum TVLPixelFormat;

// 11 December 2026, 09:05:03.
TDateTime FixedClock() {
    return 46367 + (9 * 3600 + 5 * 60 + 3) / 86400.0;
}

class PostScriptWriter : public ::testing::Test {
protected:
    void SetUp() override { SetDocumentClock(FixedClock); }
    void TearDown() override { SetDocumentClock(nullptr); }

    // The document rendered by Ghostscript on a page of the picture's size, so that a pixel is a
    // point.
    bool Render(const TBytes& Document, int32_t W, int32_t H, bool Grey, TRaster& Page) {
        const std::string file = Dir.File("page" + std::to_string(Files++) + ".ps");
        SaveFile(file, Document);
        return GhostscriptPage(file, W, H, Grey, Page);
    }

    ScratchFolder Dir;
    int32_t Files = 0;
};

size_t Occurrences(const std::string& Text, const std::string& Part) {
    size_t count = 0;
    for (size_t at = Text.find(Part); at != std::string::npos; at = Text.find(Part, at + 1))
        ++count;
    return count;
}

// Every page's BeginData size, skipped from the end of its line, lands on "%%EndData", as a
// reader skipping the data by it would.
void ExpectBeginDataCountsTheData(const std::string& Document) {
    const std::string begin = "%%BeginData:";
    size_t pages = 0;
    for (size_t at = Document.find(begin); at != std::string::npos;
         at = Document.find(begin, at + 1), ++pages) {
        const size_t lineEnd = Document.find("\r\n", at);
        ASSERT_NE(lineEnd, std::string::npos);
        const size_t skipped = lineEnd + 2 + std::stoull(Document.substr(at + begin.size()));
        EXPECT_EQ(Document.compare(skipped, 11, "%%EndData\r\n"), 0)
            << "page " << pages + 1 << " lands on: " << Document.substr(skipped, 20);
    }
    EXPECT_GT(pages, 0u);
}

TEST_F(PostScriptWriter, LosslessPagesRenderAsTheirPictures) {
    if (!ToolExists("gs")) SV_SKIP_WITHOUT_REFERENCE("Ghostscript (gs)");
    struct TCase {
        TVLPixelFormat Format;
        uint8_t Compression;
        const char* Filter; // expected in the page; empty for none
    };
    // A 1-bit picture asked for JPEG is coded G3; values the format does not name give G4 for
    // 1-bit pictures and run-length planes for colour ones.
    const TCase cases[] = {
        {vl1g, 0, "/RunLengthDecode filter\r\n"}, {vl1g, 1, "<< /K -1 /BlackIs1 true"},
        {vl1g, 2, "<< /K 1 /BlackIs1 true"},      {vl1g, 3, "<< /K 1 /BlackIs1 true"},
        {vl1g, 9, "<< /K -1 /BlackIs1 true"},     {vl24RGB, 0, "rstr readstring pop}"},
        {vl24RGB, 1, "rstr readstring pop}"},     {vl24RGB, 2, "rstr readstring pop}"},
        {vl24RGB, 9, "rstr readstring pop}"}};
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {37, 23}, {119, 41}, {1201, 3}};
    for (const TCase& c : cases)
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(std::to_string(int(c.Format)) + " compression " +
                         std::to_string(c.Compression) + " " + std::to_string(w) + "x" +
                         std::to_string(h));
            TVLBitmap picture;
            MakePicture(picture, w, h, c.Format);
            TIOParamsVals params;
            params.PsCompression = c.Compression;
            params.PsPaperWidth = w;
            params.PsPaperHeight = h;
            bool aborted = false;
            const TBytes document = WriteDocument(WritePSStream, picture, params, aborted);
            ASSERT_FALSE(aborted);
            EXPECT_NE(Text(document).find(c.Filter), std::string::npos);
            ExpectBeginDataCountsTheData(Text(document));
            EXPECT_EQ(params.BitsPerSample, c.Format == vl1g ? 1 : 8);
            EXPECT_EQ(params.SamplesPerPixel, c.Format == vl1g ? 1 : 3);
            TRaster page;
            ASSERT_TRUE(Render(document, w, h, c.Format == vl1g, page));
            ASSERT_EQ(page.Width, w);
            ASSERT_EQ(page.Height, h);
            EXPECT_TRUE(page.Samples == ExpectedSamples(picture));
        }
}

// The page's JPEG is written in YCbCr whatever colour space was asked for, or in grey when grey
// was asked for and then declared with one component: the DCT decoder takes three components
// for YCbCr.
TEST_F(PostScriptWriter, JpegPagesInEveryColourSpaceRenderCloseToThePicture) {
    if (!ToolExists("gs")) SV_SKIP_WITHOUT_REFERENCE("Ghostscript (gs)");
    for (const TVLJpegColorSpace space : {jcRGB, jcGrayScale, jcYCbCr, jcCMYK, jcYCbCrK}) {
        SCOPED_TRACE(int(space));
        TVLBitmap picture;
        MakePicture(picture, 65, 47, vl24RGB, true);
        TIOParamsVals params;
        params.PsCompression = 3;
        params.JpegQuality = 95;
        params.JpegColorSpace = space;
        params.PsPaperWidth = 65;
        params.PsPaperHeight = 47;
        bool aborted = false;
        const TBytes document = WriteDocument(WritePSStream, picture, params, aborted);
        ASSERT_FALSE(aborted);
        const bool grey = space == jcGrayScale;
        EXPECT_NE(Text(document).find(grey ? "\r\nfalse 1\r\n" : "\r\nfalse 3\r\n"),
                  std::string::npos);
        EXPECT_EQ(params.JpegColorSpace, space) << "the caller's parameters stay as they were";
        ExpectBeginDataCountsTheData(Text(document));
        TRaster page;
        ASSERT_TRUE(Render(document, 65, 47, grey, page));
        const TBytes expected = grey ? LumaOf(ExpectedSamples(picture)) : ExpectedSamples(picture);
        EXPECT_GT(PSNR(page.Samples, expected), 35.0);
    }
}

TEST_F(PostScriptWriter, HeaderAndPageLinesOfTheDefaultPage) {
    TVLBitmap picture;
    MakePicture(picture, 119, 100, vl24RGB);
    TIOParamsVals params;
    params.PsCompression = 0;
    bool aborted = false;
    const std::string document = Text(WriteDocument(WritePSStream, picture, params, aborted));
    ASSERT_FALSE(aborted);
    const std::string header = "%!PS-Adobe-3.0\r\n"
                               "%%Creator: Vistrel by Tarnwick\r\n"
                               "%%Title: No Title\r\n"
                               "%%CreationDate: Fri Dec 11 09:05:03 2026\r\n"
                               "%%DocumentData: Clean7Bit\r\n"
                               "%%LanguageLevel: 2\r\n"
                               "%%Pages: 1     \r\n"
                               "%%BoundingBox: 0 0 594 841\r\n"
                               "%%EndComments\r\n"
                               "%%BeginProlog\r\n"
                               "10 dict begin\r\n"
                               "%%EndProlog\r\n"
                               "%%Page: 1 1\r\n"
                               "0 842 translate\r\n"
                               "595 -500 scale\r\n"
                               "119 100 8\r\n"
                               "[ 119 0 0 100 0 0 ]\r\n"
                               "/rstr 119 string def\r\n"
                               "/gstr 119 string def\r\n"
                               "/bstr 119 string def\r\n"
                               "{currentfile /ASCII85Decode filter /RunLengthDecode filter rstr "
                               "readstring pop}\r\n"
                               "{currentfile /ASCII85Decode filter /RunLengthDecode filter gstr "
                               "readstring pop}\r\n"
                               "{currentfile /ASCII85Decode filter /RunLengthDecode filter bstr "
                               "readstring pop}\r\n"
                               "true 3\r\n"
                               "%%BeginData:      ";
    EXPECT_EQ(document.substr(0, header.size()), header);
    EXPECT_EQ(Occurrences(document, "~>\r\n"), 300u) << "three blocks a row";
    const std::string tail = "%%EndData\r\nshowpage\r\n%%Trailer\r\nend\r\n%%EOF\r\n";
    ASSERT_GE(document.size(), tail.size());
    EXPECT_EQ(document.substr(document.size() - tail.size()), tail);
    ExpectBeginDataCountsTheData(document);

    TVLBitmap bits;
    MakePicture(bits, 119, 100, vl1g);
    params.PsCompression = 0;
    const std::string bilevel = Text(WriteDocument(WritePSStream, bits, params, aborted));
    EXPECT_NE(bilevel.find("\r\n119 100 1\r\n[ 119 0 0 100 0 0 ]\r\ncurrentfile /ASCII85Decode "
                           "filter /RunLengthDecode filter\r\n%%BeginData:      "),
              std::string::npos);
    EXPECT_EQ(Occurrences(bilevel, "~>\r\n"), 1u) << "one block for the whole picture";
    EXPECT_NE(bilevel.find(" ASCII Bytes\r\nimage\r\n"), std::string::npos);
    ExpectBeginDataCountsTheData(bilevel);
}

// A JPEG holding zero groups (here a comment marker of zero bytes) has them as the letter z.
TEST_F(PostScriptWriter, ZeroGroupsOfTheDataAreTheLetterZ) {
    TVLBitmap picture;
    MakePicture(picture, 16, 16, vl24RGB, true);
    TIOParamsVals params;
    params.PsCompression = 3;
    const uint8_t zeros[16] = {};
    params.JpegMarkers.AddMarker(0xFE, zeros, sizeof(zeros));
    bool aborted = false;
    const std::string document = Text(WriteDocument(WritePSStream, picture, params, aborted));
    ASSERT_FALSE(aborted);
    const size_t data = document.find("colorimage\r\n");
    ASSERT_NE(data, std::string::npos);
    EXPECT_NE(document.find("zzz", data), std::string::npos);
    ExpectBeginDataCountsTheData(document);
}

TEST_F(PostScriptWriter, DocumentsOfSeveralPages) {
    TVLBitmap first, second;
    MakePicture(first, 31, 17, vl1g);
    MakePicture(second, 31, 17, vl24RGB, false, 7);
    TIOParamsVals params;
    params.PsPaperWidth = 31;
    params.PsPaperHeight = 17;
    TMemoryStream stream;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    std::unique_ptr<TVLPSDocument> document = BeginPSDocument(stream, params);
    const auto text = [&] {
        const auto* data = static_cast<const char*>(stream.Memory());
        return std::string(data, data + stream.GetSize());
    };
    EXPECT_NE(text().find("\r\n%%Pages: 0     \r\n"), std::string::npos);
    AddPSPage(*document, stream, first, params, progress);
    EXPECT_NE(text().find("\r\n%%Pages: 1     \r\n"), std::string::npos);

    // A page that cannot be made leaves the document as it was.
    const std::string before = text();
    TVLBitmap empty;
    AddPSPage(*document, stream, empty, params, progress);
    EXPECT_TRUE(aborted);
    EXPECT_EQ(text(), before);
    aborted = false;

    AddPSPage(*document, stream, second, params, progress);
    EXPECT_NE(text().find("\r\n%%Pages: 2     \r\n"), std::string::npos);
    EXPECT_NE(text().find("\r\n%%Page: 2 2\r\n"), std::string::npos);
    EndPSDocument(std::move(document), stream);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());

    EXPECT_EQ(Occurrences(text(), "%%BeginData:"), 2u);
    ExpectBeginDataCountsTheData(text());

    const int64_t size = stream.GetSize();
    EndPSDocument(nullptr, stream);
    EXPECT_EQ(stream.GetSize(), size) << "a nil document writes nothing";

    if (!ToolExists("gs")) SV_SKIP_WITHOUT_REFERENCE("Ghostscript (gs)");
    const std::string file = Dir.File("two.ps");
    const std::string all = text();
    SaveFile(file, TBytes(all.begin(), all.end()));
    std::vector<TRaster> pages;
    ASSERT_TRUE(GhostscriptPages(file, 31, 17, false, pages));
    ASSERT_EQ(pages.size(), 2u);
    const TBytes bits = ExpectedSamples(first);
    TBytes asColour;
    for (const uint8_t v : bits)
        asColour.insert(asColour.end(), {v, v, v});
    EXPECT_TRUE(pages[0].Samples == asColour);
    EXPECT_TRUE(pages[1].Samples == ExpectedSamples(second));
}

TEST_F(PostScriptWriter, FailuresAreReportedNeverWrittenAsAPage) {
    TIOParamsVals params;
    TVLBitmap empty;
    bool aborted = false;
    EXPECT_TRUE(WriteDocument(WritePSStream, empty, params, aborted).empty());
    EXPECT_TRUE(aborted);

    TVLBitmap picture;
    MakePicture(picture, 64, 48, vl24RGB);
    for (const int64_t room : {int64_t{0}, int64_t{100}, int64_t{600}}) {
        SCOPED_TRACE(room);
        aborted = false;
        TShortStream stream(room);
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        EXPECT_THROW(WritePSStream(stream, picture, params, progress), EWriteError);
    }

    // A cancel from the progress handler ends the page unwritten.
    TMemoryStream stream;
    aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    progress.Handler = [&](TObject*, int32_t Per) {
        if (Per >= 50) aborted = true;
    };
    TVLBitmap bits;
    MakePicture(bits, 64, 48, vl1g);
    const std::pair<TVLBitmap*, int> runs[] = {{&picture, 0}, {&bits, 0}, {&bits, 1}};
    for (const auto& [page, compression] : runs) {
        SCOPED_TRACE(compression);
        aborted = false;
        stream.Clear();
        params.PsCompression = uint8_t(compression);
        WritePSStream(stream, *page, params, progress);
        EXPECT_TRUE(aborted);
        const auto* data = static_cast<const char*>(stream.Memory());
        const std::string text(data, data + stream.GetSize());
        EXPECT_NE(text.find("%%Pages: 0     "), std::string::npos);
        EXPECT_EQ(text.find("%%Page: 1"), std::string::npos);
    }
}

TEST(DocumentDate, EnglishNamesAndFixedFields) {
    struct TCase {
        TDateTime Value;
        const char* PS;
        const char* PDF;
    };
    const TCase cases[] = {{0, "Sat Dec 30 00:00:00 1899", "18991230000000"},
                           {25569, "Thu Jan 01 00:00:00 1970", "19700101000000"},
                           {36585 + 86399 / 86400.0, "Tue Feb 29 23:59:59 2000", "20000229235959"},
                           {45477.5, "Thu Jul 04 12:00:00 2024", "20240704120000"},
                           {FixedClock(), "Fri Dec 11 09:05:03 2026", "20261211090503"}};
    for (const TCase& c : cases) {
        EXPECT_EQ(PSDateText(c.Value), c.PS);
        EXPECT_EQ(PDFDateText(c.Value), c.PDF);
    }
    SetDocumentClock(FixedClock);
    EXPECT_EQ(DocumentNow(), FixedClock());
    SetDocumentClock(nullptr);
    EXPECT_NEAR(DocumentNow(), Now(), 1.0 / 24);
}

} // namespace
