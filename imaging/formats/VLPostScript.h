// PostScript Level 2 documents of pictures (format id 17, write-only): a one-page document, or
// the document functions that open a document, append pages and close it.
//
// Image data is ASCII85 text. 1-bit pictures (a set bit is white) are run-length, CCITT G4 or
// CCITT G3 two-dimensional coded after PsCompression 0, 1 and 2; colour pictures are run-length
// coded per colour plane and row, or JPEG coded with PsCompression 3. Each page draws the picture
// as large as it fits the PsPaperWidth x PsPaperHeight page, from the top-left corner.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <memory>

class TVLBitmap;

// An open document: where its "%%Pages: " line starts, and where the next page (or the trailer)
// goes.
struct TVLPSDocument {
    int64_t PagesLinePosition = 0;
    int64_t EndPosition = 0;
};

// The header, one page and the trailer. An empty picture sets the abort flag and writes nothing.
void WritePSStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress);
// Writes the header (title PsTitle, page count 0, bounding box of the paper) and the prolog at
// the stream position.
std::unique_ptr<TVLPSDocument> BeginPSDocument(TStream& Stream, TIOParamsVals& Params);
// Appends Bitmap as the next page and counts it in the header, which the stream must let read
// back. Sets BitsPerSample and SamplesPerPixel to the data written (1 and 1, or 8 and 3). A page
// that cannot be made (an empty picture, a cancelled or failed coding, a header that does not
// read back) sets the abort flag and leaves the document as it was. Short writes raise
// EWriteError.
void AddPSPage(TVLPSDocument& Document, TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
               TVLProgressRecord& Progress);
// Writes the trailer after the last page and frees the document; the stream is left after it.
// Nothing for a nil document.
void EndPSDocument(std::unique_ptr<TVLPSDocument> Document, TStream& Stream);
