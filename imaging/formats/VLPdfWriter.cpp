// The PDF writer: image XObjects, their content streams and pages on the PDF object model.
#include "imaging/formats/VLPdfWriter.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLWindowHelpers.h"
#include "imaging/formats/DocumentInternal.h"
#include "imaging/formats/VLDocumentDate.h"
#include "imaging/io/VLIOParams.h"

#include <cstring>
#include <vector>

using namespace imaging::detail;

namespace {

enum class TPDFCoding { None, RunLength, CCITTG4, CCITTG3, DCT, LZW };

// The coding of a page. JPEG cannot hold a 1-bit picture, which is coded G3 two-dimensional and
// PdfCompression changed to 3. LZW without an encoder writes the rows uncompressed, as the TIFF
// writer does. Other values the format does not name give G4, the default, for 1-bit pictures;
// colour pictures have only JPEG and LZW and take the other values uncompressed.
TPDFCoding ChooseCoding(bool Bilevel, TIOParamsVals& Params) {
    const bool lzw = Params.PdfCompression == 5 && Params.TiffLZWCompress != nullptr;
    if (Bilevel) {
        if (Params.PdfCompression == 4) Params.PdfCompression = 3;
        switch (Params.PdfCompression) {
        case 0:
            return TPDFCoding::None;
        case 1:
            return TPDFCoding::RunLength;
        case 3:
            return TPDFCoding::CCITTG3;
        case 5:
            return lzw ? TPDFCoding::LZW : TPDFCoding::None;
        default:
            return TPDFCoding::CCITTG4;
        }
    }
    if (lzw) return TPDFCoding::LZW;
    return Params.PdfCompression == 4 ? TPDFCoding::DCT : TPDFCoding::None;
}

TVLPDFNumericObject* Number(double Value) {
    return new TVLPDFNumericObject(Value);
}

TVLPDFNameObject* Name(const char* Value) {
    return new TVLPDFNameObject(Value);
}

// The rows as the image reads them: packed bits, or red, green, blue bytes.
void ImageRow(TVLBitmap& Bitmap, int32_t Y, bool Bilevel, std::vector<uint8_t>& Row) {
    if (Bilevel)
        std::memcpy(Row.data(), Bitmap.GetScanline(Y), Row.size());
    else
        CopyAndSwapRedBlue(Row.data(), Bitmap.GetScanline(Y), Bitmap.GetWidth());
}

int64_t ImageRowBytes(TVLBitmap& Bitmap, bool Bilevel) {
    return Bilevel ? PackedRowBytes(Bitmap.GetWidth()) : int64_t{3} * Bitmap.GetWidth();
}

bool PlainRows(TVLBitmap& Bitmap, bool Bilevel, std::vector<uint8_t>& Out,
               TVLProgressRecord& Progress) {
    const int32_t h = Bitmap.GetHeight();
    const int64_t rowBytes = ImageRowBytes(Bitmap, Bilevel);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    Out.reserve(static_cast<size_t>(rowBytes * h));
    for (int32_t y = 0; y < h; ++y) {
        if (!ReportRow(Progress, y, h)) return false;
        ImageRow(Bitmap, y, Bilevel, row);
        Out.insert(Out.end(), row.begin(), row.end());
    }
    return true;
}

bool LZWRows(TVLBitmap& Bitmap, bool Bilevel, TVLTIFFLZWEncoder Encoder, std::vector<uint8_t>& Out,
             TVLProgressRecord& Progress) {
    const int32_t h = Bitmap.GetHeight();
    const int64_t rowBytes = ImageRowBytes(Bitmap, Bilevel);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    TMemoryStream coded;
    void* state = nullptr;
    bool cancelled = false;
    for (int32_t y = 0; y < h; ++y) {
        if (!ReportRow(Progress, y, h)) {
            cancelled = true;
            break;
        }
        ImageRow(Bitmap, y, Bilevel, row);
        Encoder(row.data(), static_cast<int32_t>(rowBytes), coded, state);
    }
    // The finishing call also frees the encoder's state.
    if (state != nullptr) Encoder(nullptr, 0, coded, state);
    if (cancelled) return false;
    const auto* data = static_cast<const uint8_t*>(coded.Memory());
    Out.assign(data, data + coded.GetSize());
    return true;
}

void AddCCITTEntries(TVLPDFDictionaryObject& Dictionary, int32_t K, int32_t W, int32_t H) {
    Dictionary.AddItem("Filter", Name("CCITTFaxDecode"));
    auto* parms = new TVLPDFDictionaryObject();
    parms->AddItem("K", Number(K));
    parms->AddItem("BlackIs1", new TVLPDFBooleanObject(true));
    parms->AddItem("Columns", Number(W));
    parms->AddItem("Rows", Number(H));
    parms->AddItem("EndOfLine", new TVLPDFBooleanObject(false));
    parms->AddItem("Uncompressed", new TVLPDFBooleanObject(true));
    parms->AddItem("EncodedByteAlign", new TVLPDFBooleanObject(false));
    parms->AddItem("EndOfBlock", new TVLPDFBooleanObject(false));
    Dictionary.AddItem("DecodeParms", parms);
}

// The image XObject of the page, nil when it could not be made.
std::unique_ptr<TVLPDFStreamObject> MakeImage(TVLBitmap& Bitmap, TIOParamsVals& Params,
                                              TVLProgressRecord& Progress) {
    const bool bilevel = Bitmap.GetPixelFormat() == TVLPixelFormat::vl1g;
    const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
    auto image = std::make_unique<TVLPDFStreamObject>();
    TVLPDFDictionaryObject& dictionary = image->Dictionary();
    std::vector<uint8_t>& data = image->Data();
    int32_t components = bilevel ? 1 : 3;
    bool made = true;
    const TPDFCoding coding = ChooseCoding(bilevel, Params);
    switch (coding) {
    case TPDFCoding::None:
        made = PlainRows(Bitmap, bilevel, data, Progress);
        break;
    case TPDFCoding::RunLength: {
        std::vector<uint8_t> rows;
        made = PackBilevelRows(Bitmap, rows, Progress);
        if (!made) break;
        const auto len = static_cast<int64_t>(rows.size());
        data.resize(static_cast<size_t>(len + len / 128 + 2));
        data.resize(EncodeRunLength(rows.data(), static_cast<int32_t>(len), data.data()));
        auto* filters = new TVLPDFArrayObject();
        filters->AddItem(Name("RunLengthDecode"));
        dictionary.AddItem("Filter", filters);
        break;
    }
    case TPDFCoding::CCITTG4:
    case TPDFCoding::CCITTG3: {
        const bool g4 = coding == TPDFCoding::CCITTG4;
        made = EncodeBilevelCCITT(Bitmap, g4, data, Progress);
        AddCCITTEntries(dictionary, g4 ? -1 : 1, w, h);
        break;
    }
    case TPDFCoding::DCT:
        components = EncodeDocumentJPEG(Bitmap, Params, data, Progress);
        made = components != 0;
        dictionary.AddItem("Filter", Name("DCTDecode"));
        break;
    case TPDFCoding::LZW:
        made = LZWRows(Bitmap, bilevel, Params.TiffLZWCompress, data, Progress);
        dictionary.AddItem("Filter", Name("LZWDecode"));
        break;
    }
    if (!made) return nullptr;
    dictionary.AddItem("ColorSpace", Name(components == 1 ? "DeviceGray" : "DeviceRGB"));
    dictionary.AddItem("BitsPerComponent", Number(bilevel ? 1 : 8));
    dictionary.InsertItem(0, "Type", Name("XObject"));
    dictionary.InsertItem(1, "Subtype", Name("Image"));
    dictionary.AddItem("Width", Number(w));
    dictionary.AddItem("Height", Number(h));
    return image;
}

// Draws the image named lm + Index at OW x OH points in the top-left corner of the page.
AnsiString PageContent(int32_t OW, int32_t OH, int32_t PaperHeight, int32_t Index) {
    return "q\n" + IntToStrA(OW) + " 0 0 " + IntToStrA(OH) + " 0 " +
           IntToStrA(int64_t{PaperHeight} - OH) + " cm\n/lm" + IntToStrA(Index) + " Do\nQ";
}

TVLPDFDictionaryObject* MakeInfo(const TIOParamsVals& Params) {
    auto* info = new TVLPDFDictionaryObject();
    const std::pair<const char*, const AnsiString*> texts[] = {
        {"Title", &Params.PdfTitle},     {"Author", &Params.PdfAuthor},
        {"Subject", &Params.PdfSubject}, {"Keywords", &Params.PdfKeywords},
        {"Creator", &Params.PdfCreator}, {"Producer", &Params.PdfProducer}};
    for (const auto& [key, text] : texts)
        if (!text->empty()) info->AddItem(key, new TVLPDFStringObject(*text));
    info->AddItem("CreationDate", new TVLPDFStringObject("D:" + PDFDateText(DocumentNow())));
    return info;
}

} // namespace

TVLPDFDocument::~TVLPDFDocument() {
    for (int32_t i = 0; i < Objects.Count(); ++i)
        delete static_cast<TVLPDFObject*>(Objects.Get(i));
}

void WritePDFStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress) {
    if (Bitmap.GetWidth() < 1 || Bitmap.GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    std::unique_ptr<TVLPDFDocument> document = BeginPDFDocument();
    AddPDFPage(*document, Bitmap, Params, Progress);
    EndPDFDocument(std::move(document), Stream, Params);
}

std::unique_ptr<TVLPDFDocument> BeginPDFDocument() {
    auto document = std::make_unique<TVLPDFDocument>();
    document->Catalog = CreatePDFCatalog(document->Objects);
    auto* resources = new TVLPDFDictionaryObject();
    auto* procSet = new TVLPDFArrayObject();
    procSet->AddItem(Name("PDF"));
    procSet->AddItem(Name("ImageB"));
    resources->AddItem("ProcSet", procSet);
    resources->AddItem("XObject", new TVLPDFDictionaryObject());
    AddPDFObject(document->Objects, resources);
    document->Resources = resources;
    return document;
}

void AddPDFPage(TVLPDFDocument& Document, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressRecord& Progress) {
    if (Bitmap.GetWidth() < 1 || Bitmap.GetHeight() < 1) {
        Progress.Abort();
        return;
    }
    TVLBitmap copy;
    TVLBitmap& source = DocumentSource(Bitmap, copy);
    const int32_t w = source.GetWidth(), h = source.GetHeight();
    const bool bilevel = source.GetPixelFormat() == TVLPixelFormat::vl1g;
    Params.BitsPerSample = bilevel ? 1 : 8;
    Params.SamplesPerPixel = bilevel ? 1 : 3;
    std::unique_ptr<TVLPDFStreamObject> image = MakeImage(source, Params, Progress);
    if (image == nullptr) {
        Progress.Abort();
        return;
    }
    TVLPDFStreamObject* registered = image.release();
    AddPDFObject(Document.Objects, registered);
    Document.Images.Add(registered);
    const int32_t index = Document.Images.Count();

    const int32_t pw = Params.PdfPaperWidth, ph = Params.PdfPaperHeight;
    int32_t ow = 0, oh = 0;
    FitKeepingAspect(w, h, pw, ph, ow, oh);
    const AnsiString text = PageContent(ow, oh, ph, index);
    auto* content = new TVLPDFStreamObject(text.data(), static_cast<int32_t>(text.size()));
    AddPDFObject(Document.Objects, content);
    Document.Contents.Add(content);

    auto* xobjects = static_cast<TVLPDFDictionaryObject*>(Document.Resources->GetItem("XObject"));
    xobjects->AddItem("lm" + IntToStrA(index), new TVLPDFRefObject(registered->ObjectNumber, 0));
    auto* mediaBox = new TVLPDFArrayObject();
    for (const int32_t value : {0, 0, pw, ph})
        mediaBox->AddItem(Number(value));
    CreatePDFPage(Document.Objects, Document.Pages, Document.Resources, mediaBox,
                  content->ObjectNumber);
}

void EndPDFDocument(std::unique_ptr<TVLPDFDocument> Document, TStream& Stream,
                    TIOParamsVals& Params) {
    if (Document == nullptr) return;
    CreatePDFPages(Document->Objects, Document->Pages);
    TVLPDFDictionaryObject* info = MakeInfo(Params);
    AddPDFObject(Document->Objects, info);
    WritePDFHeader(Stream);
    WritePDFObjects(Stream, Document->Objects);
    WritePDFXrefAndTrailer(Stream, Document->Objects, info);
}
