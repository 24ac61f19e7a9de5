// The PDF writer: every lossless coding of 1-bit and colour pictures renders in Ghostscript and
// poppler as the picture it came from and pdfimages gives the picture back; JPEG pages in every
// colour space render close to it; qpdf finds every file sound; the objects, names and Info
// strings of the documented cases; documents of several pages; failures reported, never
// written as a page.
#include "imaging/formats/VLDocumentDate.h"
#include "imaging/formats/VLPdfWriter.h"
#include "imaging/io/VLTiffLZW.h"
#include "tests/imaging/formats/DocumentTestSupport.h"

#include <algorithm>

namespace {

using namespace document_test;
using enum TVLPixelFormat;

// 11 December 2026, 09:05:03.
TDateTime FixedClock() {
    return 46367 + (9 * 3600 + 5 * 60 + 3) / 86400.0;
}

TBytes GreyAsColour(const TBytes& Grey) {
    TBytes out;
    for (const uint8_t v : Grey)
        out.insert(out.end(), {v, v, v});
    return out;
}

class PdfWriter : public ::testing::Test {
protected:
    void SetUp() override { SetDocumentClock(FixedClock); }
    void TearDown() override { SetDocumentClock(nullptr); }

    std::string Save(const TBytes& Document) {
        const std::string file = Dir.File("doc" + std::to_string(Files++) + ".pdf");
        SaveFile(file, Document);
        return file;
    }
    // qpdf finds no fault in the structure, the cross-reference offsets or the streams.
    static bool QpdfClean(const std::string& File) {
        std::string out;
        return RunTool("qpdf --check '" + File + "'", out) &&
               out.find("No syntax or stream encoding errors found") != std::string::npos;
    }
    // poppler's rendering on a page of the picture's size. poppler smooths images drawn at
    // less than four times their size (its own choice, which Ghostscript does not make): the
    // page is rendered at 288 dpi, where it does not, and read at every pixel's centre.
    static bool Poppler(const std::string& File, bool Grey, TRaster& Page) {
        const int32_t scale = 4;
        std::string out;
        TRaster full;
        if (!RunTool("pdftoppm -r " + std::to_string(72 * scale) + (Grey ? " -gray" : "") +
                         " -singlefile '" + File + "' '" + File + "-poppler'",
                     out) ||
            !ParseRaster(LoadFile(File + "-poppler." + (Grey ? "pgm" : "ppm")), full))
            return false;
        Page = TRaster{full.Width / scale, full.Height / scale, full.Channels, {}};
        for (int32_t y = 0; y < Page.Height; ++y)
            for (int32_t x = 0; x < Page.Width; ++x)
                for (int32_t c = 0; c < full.Channels; ++c)
                    Page.Samples.push_back(
                        full.Samples[(size_t(y * scale + scale / 2) * full.Width + x * scale +
                                      scale / 2) *
                                         full.Channels +
                                     c]);
        return true;
    }
    // The image of the only page as pdfimages writes it.
    static bool ExtractedImage(const std::string& File, TRaster& Image) {
        std::string out;
        if (!RunTool("pdfimages '" + File + "' '" + File + "-image'", out)) return false;
        for (const char* extension : {".pbm", ".pgm", ".ppm"})
            if (std::filesystem::exists(File + "-image-000" + extension))
                return ParseRaster(LoadFile(File + "-image-000" + extension), Image);
        return false;
    }

    ScratchFolder Dir;
    int32_t Files = 0;
};

TEST_F(PdfWriter, LosslessCodingsRenderAndExtractAsTheirPictures) {
    if (!HasRenderers()) SV_SKIP_WITHOUT_REFERENCE("Ghostscript, poppler-utils and qpdf");
    struct TCase {
        TVLPixelFormat Format;
        uint8_t Compression;
        const char* Filter; // expected in the image dictionary; empty for none
    };
    // 1-bit pictures asked for JPEG are coded G3, other values give G4; colour pictures have
    // only JPEG and LZW, and take run-length and the fax codings uncompressed.
    const TCase cases[] = {{vl1g, 0, ""},
                           {vl1g, 1, "/Filter [/RunLengthDecode ]"},
                           {vl1g, 2, "/K -1"},
                           {vl1g, 3, "/K 1\n"},
                           {vl1g, 4, "/K 1\n"},
                           {vl1g, 5, "/Filter /LZWDecode"},
                           {vl1g, 9, "/K -1"},
                           {vl24RGB, 0, ""},
                           {vl24RGB, 1, ""},
                           {vl24RGB, 2, ""},
                           {vl24RGB, 5, "/Filter /LZWDecode"},
                           {vl24RGB, 9, ""}};
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {37, 23}, {1201, 5}};
    for (const TCase& c : cases)
        for (const auto& [w, h] : sizes) {
            SCOPED_TRACE(std::to_string(int(c.Format)) + " compression " +
                         std::to_string(c.Compression) + " " + std::to_string(w) + "x" +
                         std::to_string(h));
            TVLBitmap picture;
            MakePicture(picture, w, h, c.Format);
            TIOParamsVals params;
            params.PdfCompression = c.Compression;
            params.TiffLZWCompress = TiffLZWEncode;
            params.PdfPaperWidth = w;
            params.PdfPaperHeight = h;
            bool aborted = false;
            const TBytes document = WriteDocument(WritePDFStream, picture, params, aborted);
            ASSERT_FALSE(aborted);
            const std::string text = Text(document);
            if (*c.Filter != 0)
                EXPECT_NE(text.find(c.Filter), std::string::npos);
            else
                EXPECT_EQ(text.find("/Filter"), std::string::npos);
            EXPECT_EQ(text.find("/BitsPerComponent " + std::string(c.Format == vl1g ? "1" : "8")) !=
                          std::string::npos,
                      true);
            const std::string file = Save(document);
            EXPECT_TRUE(QpdfClean(file));
            const bool grey = c.Format == vl1g;
            const TBytes expected = ExpectedSamples(picture);
            TRaster page;
            ASSERT_TRUE(GhostscriptPage(file, w, h, grey, page));
            EXPECT_TRUE(page.Samples == expected) << "Ghostscript";
            ASSERT_TRUE(Poppler(file, grey, page));
            ASSERT_EQ(page.Width, w);
            EXPECT_TRUE(page.Samples == expected) << "poppler";
            TRaster image;
            ASSERT_TRUE(ExtractedImage(file, image));
            ASSERT_EQ(image.Width, w);
            ASSERT_EQ(image.Height, h);
            EXPECT_TRUE(image.Samples == expected) << "pdfimages";
        }
}

TEST_F(PdfWriter, JpegPagesInEveryColourSpaceRenderCloseToThePicture) {
    if (!HasRenderers()) SV_SKIP_WITHOUT_REFERENCE("Ghostscript, poppler-utils and qpdf");
    for (const TVLJpegColorSpace space : {jcRGB, jcGrayScale, jcYCbCr, jcCMYK, jcYCbCrK}) {
        SCOPED_TRACE(int(space));
        TVLBitmap picture;
        MakePicture(picture, 65, 47, vl24RGB, true);
        TIOParamsVals params;
        params.PdfCompression = 4;
        params.JpegQuality = 95;
        params.JpegColorSpace = space;
        params.PdfPaperWidth = 65;
        params.PdfPaperHeight = 47;
        bool aborted = false;
        const TBytes document = WriteDocument(WritePDFStream, picture, params, aborted);
        ASSERT_FALSE(aborted);
        const bool grey = space == jcGrayScale;
        EXPECT_NE(Text(document).find(grey ? "/ColorSpace /DeviceGray" : "/ColorSpace /DeviceRGB"),
                  std::string::npos);
        EXPECT_NE(Text(document).find("/Filter /DCTDecode"), std::string::npos);
        const std::string file = Save(document);
        EXPECT_TRUE(QpdfClean(file));
        const TBytes expected = grey ? LumaOf(ExpectedSamples(picture)) : ExpectedSamples(picture);
        TRaster page;
        ASSERT_TRUE(GhostscriptPage(file, 65, 47, grey, page));
        EXPECT_GT(PSNR(page.Samples, expected), 35.0) << "Ghostscript";
        ASSERT_TRUE(Poppler(file, grey, page));
        EXPECT_GT(PSNR(page.Samples, expected), 35.0) << "poppler";
    }
}

TEST_F(PdfWriter, ObjectsNamesAndInfoOfTheDocumentedCases) {
    TVLBitmap bits;
    MakePicture(bits, 119, 100, vl1g);
    TIOParamsVals params;
    bool aborted = false;
    const std::string bilevel = Text(WriteDocument(WritePDFStream, bits, params, aborted));
    ASSERT_FALSE(aborted);
    for (int32_t n = 1; n <= 7; ++n)
        EXPECT_NE(bilevel.find("\n" + std::to_string(n) + " 0 obj\n"), std::string::npos) << n;
    EXPECT_EQ(bilevel.find("\n8 0 obj\n"), std::string::npos);
    EXPECT_NE(bilevel.find("/Filter /CCITTFaxDecode"), std::string::npos);
    EXPECT_NE(bilevel.find("/K -1"), std::string::npos);
    EXPECT_NE(bilevel.find("<< /Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>"), std::string::npos);
    EXPECT_NE(bilevel.find("/Type /XObject\n/Subtype /Image\n/Length "), std::string::npos);
    // Empty Info strings: the creation date alone.
    EXPECT_NE(bilevel.find("7 0 obj\n<< /CreationDate (D:20261211090503)\n>>"), std::string::npos);

    TVLBitmap picture;
    MakePicture(picture, 119, 100, vl24RGB);
    params.PdfCompression = 1;
    const std::string colour = Text(WriteDocument(WritePDFStream, picture, params, aborted));
    EXPECT_NE(colour.find("stream\nq\n595 0 0 500 0 342 cm\n/lm1 Do\nQ\nendstream"),
              std::string::npos);
    EXPECT_NE(colour.find("/XObject << /lm1 3 0 R\n>>"), std::string::npos);
    EXPECT_NE(colour.find("/MediaBox [0 0 595 842 ]"), std::string::npos);
    EXPECT_EQ(colour.find("/Filter"), std::string::npos) << "run-length is for 1-bit pictures";
    EXPECT_NE(colour.find("/Length 35700\n"), std::string::npos);

    // JPEG cannot hold 1-bit data: G3 two-dimensional, and the parameters say so.
    params.PdfCompression = 4;
    const std::string g3 = Text(WriteDocument(WritePDFStream, bits, params, aborted));
    EXPECT_NE(g3.find("/K 1\n"), std::string::npos);
    EXPECT_EQ(params.PdfCompression, 3);

    // LZW without an encoder: the rows go uncompressed.
    params.PdfCompression = 5;
    params.TiffLZWCompress = nullptr;
    const std::string plain = Text(WriteDocument(WritePDFStream, picture, params, aborted));
    EXPECT_FALSE(aborted);
    EXPECT_EQ(plain.find("/Filter"), std::string::npos);
    EXPECT_NE(plain.find("/Length 35700\n"), std::string::npos);

    params.PdfTitle = "A (title)";
    params.PdfAuthor = "Ann";
    params.PdfSubject = "Subject";
    params.PdfKeywords = "one two";
    params.PdfCreator = "Creator";
    params.PdfProducer = "Producer";
    const TBytes withInfo = WriteDocument(WritePDFStream, bits, params, aborted);
    EXPECT_NE(Text(withInfo).find("<< /Title (A \\(title\\))\n/Author (Ann)\n/Subject (Subject)\n"
                                  "/Keywords (one two)\n/Creator (Creator)\n/Producer (Producer)\n"
                                  "/CreationDate (D:20261211090503)\n>>"),
              std::string::npos);
    if (!HasRenderers()) SV_SKIP_WITHOUT_REFERENCE("Ghostscript, poppler-utils and qpdf");
    const std::string file = Save(withInfo);
    EXPECT_TRUE(QpdfClean(file));
    std::string info;
    ASSERT_TRUE(RunTool("TZ=UTC pdfinfo -isodates '" + file + "'", info));
    for (const char* line :
         {"Title:           A (title)\n", "Author:          Ann\n", "Subject:         Subject\n",
          "Keywords:        one two\n", "Creator:         Creator\n", "Producer:        Producer\n",
          "Pages:           1\n"})
        EXPECT_NE(info.find(line), std::string::npos) << line;
    EXPECT_NE(info.find("2026-12-11T09:05:03"), std::string::npos) << info;
}

TEST_F(PdfWriter, DocumentsOfSeveralPages) {
    TVLBitmap first, second;
    MakePicture(first, 31, 17, vl1g);
    MakePicture(second, 31, 17, vl24RGB, false, 7);
    TIOParamsVals params;
    params.PdfPaperWidth = 31;
    params.PdfPaperHeight = 17;
    bool aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &aborted;
    std::unique_ptr<TVLPDFDocument> document = BeginPDFDocument();
    AddPDFPage(*document, first, params, progress);
    TVLBitmap empty;
    AddPDFPage(*document, empty, params, progress);
    EXPECT_TRUE(aborted) << "a page that cannot be made";
    EXPECT_EQ(document->Objects.Count(), 5);
    aborted = false;
    AddPDFPage(*document, second, params, progress);
    EXPECT_EQ(document->Images.Count(), 2);
    TMemoryStream stream;
    EndPDFDocument(std::move(document), stream, params);
    EXPECT_FALSE(aborted);
    const std::string text(static_cast<const char*>(stream.Memory()),
                           static_cast<const char*>(stream.Memory()) + stream.GetSize());
    EXPECT_NE(text.find("/XObject << /lm1 3 0 R\n/lm2 6 0 R\n>>"), std::string::npos);
    EXPECT_NE(text.find("/lm2 Do"), std::string::npos);
    EXPECT_NE(text.find("/Kids [5 0 R 8 0 R ]"), std::string::npos);
    EXPECT_NE(text.find("/Count 2"), std::string::npos);
    EXPECT_NE(text.find("<< /Size 11\n/Root 1 0 R\n/Info 10 0 R\n>>"), std::string::npos);

    const int64_t size = stream.GetSize();
    EndPDFDocument(nullptr, stream, params);
    EXPECT_EQ(stream.GetSize(), size) << "a nil document writes nothing";

    if (!HasRenderers()) SV_SKIP_WITHOUT_REFERENCE("Ghostscript, poppler-utils and qpdf");
    const std::string file = Save(TBytes(text.begin(), text.end()));
    EXPECT_TRUE(QpdfClean(file));
    std::string info;
    ASSERT_TRUE(RunTool("pdfinfo '" + file + "'", info));
    EXPECT_NE(info.find("Pages:           2\n"), std::string::npos);
    std::vector<TRaster> pages;
    ASSERT_TRUE(GhostscriptPages(file, 31, 17, false, pages));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[0].Samples == GreyAsColour(ExpectedSamples(first)));
    EXPECT_TRUE(pages[1].Samples == ExpectedSamples(second));
}

TEST_F(PdfWriter, FailuresAreReportedNeverWrittenAsAPage) {
    TIOParamsVals params;
    TVLBitmap empty;
    bool aborted = false;
    EXPECT_TRUE(WriteDocument(WritePDFStream, empty, params, aborted).empty());
    EXPECT_TRUE(aborted);

    TVLBitmap picture;
    MakePicture(picture, 64, 48, vl24RGB);
    for (const int64_t room : {int64_t{0}, int64_t{100}, int64_t{600}}) {
        SCOPED_TRACE(room);
        aborted = false;
        TShortStream stream(room);
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        EXPECT_THROW(WritePDFStream(stream, picture, params, progress), EWriteError);
    }

    // A cancel from the progress handler leaves the page out.
    TVLBitmap bits;
    MakePicture(bits, 64, 48, vl1g);
    for (const uint8_t compression : {uint8_t{0}, uint8_t{2}, uint8_t{5}}) {
        SCOPED_TRACE(int(compression));
        aborted = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborted;
        progress.Handler = [&](TObject*, int32_t Per) {
            if (Per >= 50) aborted = true;
        };
        params.PdfCompression = compression;
        params.TiffLZWCompress = TiffLZWEncode;
        std::unique_ptr<TVLPDFDocument> document = BeginPDFDocument();
        AddPDFPage(*document, bits, params, progress);
        EXPECT_TRUE(aborted);
        EXPECT_EQ(document->Pages.Count(), 0);
        EXPECT_EQ(document->Objects.Count(), 2);
    }
}

} // namespace
