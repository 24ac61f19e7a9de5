// Saving the working bitmap as a PostScript or PDF document: by name (".ps", ".eps", ".pdf") and
// by format id, files Ghostscript renders as the picture and qpdf finds sound; the formats stay
// write-only.
#include "imaging/io/VistrelIOUnit.h"
#include "tests/imaging/formats/DocumentTestSupport.h"
#include "tests/imaging/io/IOComponentSupport.h"

namespace {

using namespace document_test;
using enum TVLPixelFormat;

class DocumentSave : public ::testing::Test {
protected:
    void SetUp() override { InitializeVistrelIOUnit(); }
    void TearDown() override { FinalizeVistrelIOUnit(); }
    TScratch Dir;
};

// Pictures of every kind the savers meet: 1-bit and 24-bit ones as they are, 8-bit grey from a
// 24-bit copy; each on a page of its own size, so that Ghostscript gives the pixels back.
TEST_F(DocumentSave, SavesByNameRenderAsThePicture) {
    if (!HasRenderers()) SV_SKIP_WITHOUT_REFERENCE("Ghostscript, poppler-utils and qpdf");
    for (const char* name : {"a.ps", "b.EPS", "c.pdf"})
        for (const TVLPixelFormat format : {vl1g, vl24RGB, vl8g}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(int(format)));
            TCountingIO io;
            if (format == vl8g)
                FillPicture(io.Bitmap(), 45, 31, vl8g);
            else
                MakePicture(io.Bitmap(), 45, 31, format);
            TVLBitmap expectedPicture;
            expectedPicture.Assign(&io.Bitmap());
            if (format == vl8g) expectedPicture.SetPixelFormat(vl24RGB);
            TIOParamsVals& params = io.IO.IOParams();
            params.PsPaperWidth = params.PdfPaperWidth = 45;
            params.PsPaperHeight = params.PdfPaperHeight = 31;
            params.PsCompression = 0;
            params.PdfCompression = 5;
            const std::string file = Dir.File(name);
            io.IO.SaveToFile(Wide(file));
            ASSERT_FALSE(io.IO.AbortingFlag);
            EXPECT_EQ(io.TakeFinishes(), 1);
            const bool pdf = std::string(name).ends_with(".pdf");
            EXPECT_EQ(params.FileType, pdf ? ffPDF : ffPS);
            EXPECT_EQ(io.Bitmap().GetPixelFormat(), format) << "the working bitmap stays";
            if (pdf) {
                std::string out;
                EXPECT_TRUE(RunTool("qpdf --check '" + file + "'", out));
            }
            TRaster page;
            ASSERT_TRUE(GhostscriptPage(file, 45, 31, format == vl1g, page));
            EXPECT_TRUE(page.Samples == ExpectedSamples(expectedPicture));

            // Still write-only: the file is not loaded.
            io.IO.LoadFromFile(Wide(file));
            EXPECT_TRUE(io.IO.AbortingFlag);
        }
}

TEST_F(DocumentSave, SavesToStreamsByFormatId) {
    for (const TVLFileFormatId id : {ffPS, ffPDF}) {
        SCOPED_TRACE(id);
        TCountingIO io;
        MakePicture(io.Bitmap(), 20, 7, vl24RGB);
        io.IO.IOParams().FileType = ffBMP;
        TMemoryStream stream;
        io.IO.SaveToStreamFormat(stream, id);
        EXPECT_FALSE(io.IO.AbortingFlag);
        EXPECT_EQ(io.TakeFinishes(), 1);
        EXPECT_EQ(io.IO.IOParams().FileType, ffBMP) << "stream saves keep the file type";
        const std::string text = Text(StreamBytes(stream));
        EXPECT_EQ(text.substr(0, 5), id == ffPS ? "%!PS-" : "%PDF-");
        EXPECT_TRUE(text.ends_with("%%EOF\r\n") || text.ends_with("%%EOF\n"));

        // Without a working bitmap: nothing written, the failure reported once.
        TCountingIO none;
        TMemoryStream empty;
        none.IO.SaveToStreamFormat(empty, id);
        EXPECT_EQ(none.TakeFinishes(), 1);
        EXPECT_EQ(empty.GetSize(), 0);
    }
}

} // namespace
