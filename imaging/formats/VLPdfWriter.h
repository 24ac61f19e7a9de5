// PDF 1.4 documents of pictures (format id 18, write-only): a one-page document, or the
// document functions that gather pages and write the file at the end.
//
// Each page shows one image XObject as large as it fits the PdfPaperWidth x PdfPaperHeight page,
// from the top-left corner. PdfCompression: 0 none, 1 run-length (1-bit pictures only), 2 CCITT
// G4 and 3 CCITT G3 two-dimensional (1-bit only), 4 JPEG (colour only; a 1-bit picture is coded
// G3 and PdfCompression becomes 3), 5 LZW through TiffLZWCompress (uncompressed when it is nil).
// Colour pictures with another value are written uncompressed, 1-bit ones G4.
#pragma once

#include "imaging/core/VLPDF.h"
#include "imaging/io/VLFileFormats.h"

#include <memory>

class TVLBitmap;

// The objects of an open document, in file order (object number = position + 1), which the
// document owns, and the lists that name some of them.
class TVLPDFDocument {
public:
    TVLPDFDocument() = default;
    ~TVLPDFDocument();
    TVLPDFDocument(const TVLPDFDocument&) = delete;
    TVLPDFDocument& operator=(const TVLPDFDocument&) = delete;

    TList Objects;
    TList Pages;
    TList Images;
    TList Contents;
    TVLPDFDictionaryObject* Resources = nullptr;
    TVLPDFDictionaryObject* Catalog = nullptr;
};

// A document of one page. An empty picture sets the abort flag and writes nothing.
void WritePDFStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress);
// The catalog and the resources every page shares.
std::unique_ptr<TVLPDFDocument> BeginPDFDocument();
// Adds Bitmap as the next page (nothing is written yet). Sets BitsPerSample and SamplesPerPixel
// to 1 and 1, or 8 and 3. A page that cannot be made (an empty picture, a cancelled or failed
// coding) sets the abort flag and adds nothing.
void AddPDFPage(TVLPDFDocument& Document, TVLBitmap& Bitmap, TIOParamsVals& Params,
                TVLProgressRecord& Progress);
// Adds the page tree and the Info dictionary (the non-empty Pdf text fields and the creation
// date), writes the file at the stream position and frees the document. Nothing for a nil
// document. Short writes raise EWriteError.
void EndPDFDocument(std::unique_ptr<TVLPDFDocument> Document, TStream& Stream,
                    TIOParamsVals& Params);
