// The PostScript Level 2 writer. Every line ends with CR LF; the image data of a page is made
// in memory first, so that its "%%BeginData:" line can give its exact size and a page that
// cannot be made leaves the document as it was.
#include "imaging/formats/VLPostScript.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLWindowHelpers.h"
#include "imaging/formats/DocumentInternal.h"
#include "imaging/formats/VLDocumentDate.h"
#include "imaging/io/VLIOParams.h"

#include <cstring>
#include <vector>

using namespace imaging::detail;

namespace {

constexpr char PagesLineStart[] = "%%Pages: ";
// "%%Pages: " and the count field of six characters, of which the first five are read back.
constexpr int32_t PagesLineLength = 15;
constexpr int32_t PagesFieldWidth = 6;

enum class TPSCoding { RunLengthBits, CCITTG4, CCITTG3, RunLengthPlanes, DCT };

// The coded data of one page and what its source lines declare.
struct TPSImageData {
    TPSCoding Coding = TPSCoding::RunLengthBits;
    std::vector<uint8_t> Text;
    // Colour components of DCT data.
    int32_t Components = 3;
};

// Decimal text padded on the right with blanks to Width characters.
AnsiString IntToStrPadded(int64_t Value, int32_t Width) {
    AnsiString text = IntToStrA(Value);
    if (static_cast<int64_t>(text.size()) < Width) text.append(Width - text.size(), ' ');
    return text;
}

// JPEG cannot hold a 1-bit picture: it is coded G3 two-dimensional instead, as the PDF writer
// does. Values the format does not name give the default, G4, for 1-bit pictures and run-length
// planes for colour ones.
TPSCoding ChooseCoding(bool Bilevel, uint8_t Compression) {
    if (!Bilevel) return Compression == 3 ? TPSCoding::DCT : TPSCoding::RunLengthPlanes;
    switch (Compression) {
    case 0:
        return TPSCoding::RunLengthBits;
    case 2:
    case 3:
        return TPSCoding::CCITTG3;
    default:
        return TPSCoding::CCITTG4;
    }
}

// Appends Len bytes as one ASCII85 block with its end marker.
void AppendASCII85(std::vector<uint8_t>& Out, const uint8_t* Data, int64_t Len) {
    const int64_t groups = (Len + 3) / 4;
    const size_t at = Out.size();
    Out.resize(at + static_cast<size_t>(5 * groups + 2 * (groups / 15 + 1) + 4));
    int32_t lineCount = 0;
    const int32_t written =
        EncodeASCII85(Data, static_cast<int32_t>(Len), Out.data() + at, lineCount);
    Out.resize(at + written);
}

// Appends Len bytes run-length coded, then ASCII85 coded, as one block.
void AppendRunLengthBlock(std::vector<uint8_t>& Out, const uint8_t* Data, int64_t Len) {
    std::vector<uint8_t> packed(static_cast<size_t>(Len + Len / 128 + 2));
    const int32_t n = EncodeRunLength(Data, static_cast<int32_t>(Len), packed.data());
    AppendASCII85(Out, packed.data(), n);
}

// Three blocks per row, red, green and blue, each read by one of the page's three procedures.
bool EncodeColourPlanes(TVLBitmap& Bitmap, std::vector<uint8_t>& Out, TVLProgressRecord& Progress) {
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    std::vector<uint8_t> plane(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        if (!ReportRow(Progress, y, h)) return false;
        if (static_cast<int64_t>(Out.size()) > MaxDocumentBlock) {
            Progress.Abort();
            return false;
        }
        const uint8_t* row = Bitmap.GetScanline(y);
        // Stored blue, green, red: red is byte 2 of each pixel.
        for (int32_t channel = 2; channel >= 0; --channel) {
            for (int32_t x = 0; x < w; ++x)
                plane[x] = row[3 * x + channel];
            AppendRunLengthBlock(Out, plane.data(), w);
        }
    }
    return true;
}

// The ASCII85 text of the page's image. False when it could not be made.
bool WritePSImageData(TVLBitmap& Bitmap, TIOParamsVals& Params, TVLProgressRecord& Progress,
                      TPSImageData& Data) {
    std::vector<uint8_t> coded;
    switch (Data.Coding) {
    case TPSCoding::RunLengthBits: {
        std::vector<uint8_t> rows;
        if (!PackBilevelRows(Bitmap, rows, Progress)) return false;
        AppendRunLengthBlock(Data.Text, rows.data(), static_cast<int64_t>(rows.size()));
        return true;
    }
    case TPSCoding::CCITTG4:
    case TPSCoding::CCITTG3:
        if (!EncodeBilevelCCITT(Bitmap, Data.Coding == TPSCoding::CCITTG4, coded, Progress))
            return false;
        break;
    case TPSCoding::DCT:
        Data.Components = EncodeDocumentJPEG(Bitmap, Params, coded, Progress);
        if (Data.Components == 0) return false;
        break;
    case TPSCoding::RunLengthPlanes:
        return EncodeColourPlanes(Bitmap, Data.Text, Progress);
    }
    AppendASCII85(Data.Text, coded.data(), static_cast<int64_t>(coded.size()));
    return true;
}

AnsiString CCITTFilterLine(int32_t K, int32_t W, int32_t H) {
    return "currentfile /ASCII85Decode filter << /K " + IntToStrA(K) + " /BlackIs1 true /Columns " +
           IntToStrA(W) + " /Rows " + IntToStrA(H) +
           " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >> "
           "/CCITTFaxDecode filter";
}

// The BeginData line and the operator line after it. The size counts every byte up to
// "%%EndData" (the operator line, the data text, their line ends and end markers), so that a
// reader skipping by it lands there.
void WriteDataLines(TStream& Stream, const TPSImageData& Data, const AnsiString& Operator) {
    const int64_t size = static_cast<int64_t>(Operator.size() + 2 + Data.Text.size());
    WriteStreamLineCRLF(Stream, "%%BeginData:      " + IntToStrA(size) + " ASCII Bytes");
    WriteStreamLineCRLF(Stream, Operator);
}

// The lines between the matrix and the data: the data source, then the BeginData and
// operator lines.
void WriteSourceLines(TStream& Stream, const TPSImageData& Data, int32_t W, int32_t H) {
    switch (Data.Coding) {
    case TPSCoding::RunLengthBits:
        WriteStreamLineCRLF(Stream, "currentfile /ASCII85Decode filter /RunLengthDecode filter");
        break;
    case TPSCoding::CCITTG4:
        WriteStreamLineCRLF(Stream, CCITTFilterLine(-1, W, H));
        break;
    case TPSCoding::CCITTG3:
        WriteStreamLineCRLF(Stream, CCITTFilterLine(1, W, H));
        break;
    case TPSCoding::DCT:
        WriteStreamLineCRLF(Stream, "currentfile /ASCII85Decode filter << >> /DCTDecode filter");
        WriteStreamLineCRLF(Stream, "false " + IntToStrA(Data.Components));
        WriteDataLines(Stream, Data, "colorimage");
        return;
    case TPSCoding::RunLengthPlanes:
        for (const char* plane : {"rstr", "gstr", "bstr"})
            WriteStreamLineCRLF(Stream,
                                AnsiString("/") + plane + " " + IntToStrA(W) + " string def");
        for (const char* plane : {"rstr", "gstr", "bstr"})
            WriteStreamLineCRLF(Stream,
                                AnsiString("{currentfile /ASCII85Decode filter /RunLengthDecode "
                                           "filter ") +
                                    plane + " readstring pop}");
        WriteStreamLineCRLF(Stream, "true 3");
        WriteDataLines(Stream, Data, "colorimage");
        return;
    }
    WriteDataLines(Stream, Data, "image");
}

// One page around its prepared image data, the picture drawn from the top-left corner.
void WritePSPage(TStream& Stream, TVLBitmap& Bitmap, const TPSImageData& Data, int64_t PageNumber,
                 int32_t PaperWidth, int32_t PaperHeight) {
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    int32_t ow = 0, oh = 0;
    FitKeepingAspect(w, h, PaperWidth, PaperHeight, ow, oh);
    const bool bilevel = Bitmap.GetPixelFormat() == TVLPixelFormat::vl1g;
    WriteStreamLineCRLF(Stream, "%%Page: " + IntToStrA(PageNumber) + " " + IntToStrA(PageNumber));
    WriteStreamLineCRLF(Stream, "0 " + IntToStrA(PaperHeight) + " translate");
    WriteStreamLineCRLF(Stream, IntToStrA(ow) + " -" + IntToStrA(oh) + " scale");
    WriteStreamLineCRLF(Stream, IntToStrA(w) + " " + IntToStrA(h) + " " + (bilevel ? "1" : "8"));
    WriteStreamLineCRLF(Stream, "[ " + IntToStrA(w) + " 0 0 " + IntToStrA(h) + " 0 0 ]");
    WriteSourceLines(Stream, Data, w, h);
    Stream.WriteBuffer(Data.Text.data(), static_cast<int64_t>(Data.Text.size()));
    WriteStreamLineCRLF(Stream, "%%EndData");
    WriteStreamLineCRLF(Stream, "showpage");
}

// The page count of the header; -1 when the line does not read back.
int32_t ReadPageCount(TStream& Stream, int64_t Position) {
    char line[PagesLineLength];
    Stream.SetPosition(Position);
    if (Stream.Read(line, PagesLineLength) != PagesLineLength ||
        std::memcmp(line, PagesLineStart, sizeof(PagesLineStart) - 1) != 0)
        return -1;
    const AnsiString field(line + sizeof(PagesLineStart) - 1, PagesFieldWidth - 1);
    return StrToIntDefA(TrimA(field), 1);
}

} // namespace

void WritePSStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress) {
    if (Bitmap.GetWidth() < 1 || Bitmap.GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TVLPSDocument> document = BeginPSDocument(Stream, Params);
    AddPSPage(*document, Stream, Bitmap, Params, Progress);
    EndPSDocument(std::move(document), Stream);
}

std::unique_ptr<TVLPSDocument> BeginPSDocument(TStream& Stream, TIOParamsVals& Params) {
    auto document = std::make_unique<TVLPSDocument>();
    WriteStreamLineCRLF(Stream, "%!PS-Adobe-3.0");
    WriteStreamLineCRLF(Stream, "%%Creator: Vistrel by Tarnwick");
    WriteStreamLineCRLF(Stream, "%%Title: " + Params.PsTitle);
    WriteStreamLineCRLF(Stream, "%%CreationDate: " + PSDateText(DocumentNow()));
    WriteStreamLineCRLF(Stream, "%%DocumentData: Clean7Bit");
    WriteStreamLineCRLF(Stream, "%%LanguageLevel: 2");
    document->PagesLinePosition = Stream.GetPosition();
    WriteStreamLineCRLF(Stream, PagesLineStart + IntToStrPadded(0, PagesFieldWidth));
    WriteStreamLineCRLF(Stream, "%%BoundingBox: 0 0 " + IntToStrA(Params.PsPaperWidth - 1) + " " +
                                    IntToStrA(Params.PsPaperHeight - 1));
    WriteStreamLineCRLF(Stream, "%%EndComments");
    WriteStreamLineCRLF(Stream, "%%BeginProlog");
    WriteStreamLineCRLF(Stream, "10 dict begin");
    WriteStreamLineCRLF(Stream, "%%EndProlog");
    document->EndPosition = Stream.GetPosition();
    return document;
}

void AddPSPage(TVLPSDocument& Document, TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress) {
    if (Bitmap.GetWidth() < 1 || Bitmap.GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    TVLBitmap copy;
    TVLBitmap& source = DocumentSource(Bitmap, copy);
    const int32_t count = ReadPageCount(Stream, Document.PagesLinePosition);
    if (count < 0) {
        Progress.Abort();
        return;
    }
    const bool bilevel = source.GetPixelFormat() == TVLPixelFormat::vl1g;
    Params.BitsPerSample = bilevel ? 1 : 8;
    Params.SamplesPerPixel = bilevel ? 1 : 3;
    TPSImageData data;
    data.Coding = ChooseCoding(bilevel, Params.PsCompression);
    if (!WritePSImageData(source, Params, Progress, data)) {
        Progress.Abort();
        return;
    }
    const int64_t pageNumber = int64_t{count} + 1;
    Stream.SetPosition(Document.PagesLinePosition);
    WriteStreamLineCRLF(Stream, PagesLineStart + IntToStrPadded(pageNumber, PagesFieldWidth));
    Stream.SetPosition(Document.EndPosition);
    WritePSPage(Stream, source, data, pageNumber, Params.PsPaperWidth, Params.PsPaperHeight);
    Document.EndPosition = Stream.GetPosition();
}

void EndPSDocument(std::unique_ptr<TVLPSDocument> Document, TStream& Stream) {
    if (Document == nullptr) return;
    Stream.SetPosition(Document->EndPosition);
    WriteStreamLineCRLF(Stream, "%%Trailer");
    WriteStreamLineCRLF(Stream, "end");
    WriteStreamLineCRLF(Stream, "%%EOF");
}
