// Process-wide settings of the I/O unit, its start-up and shut-down, and the print-preview
// parameters every I/O component keeps.
#pragma once

#include "imaging/core/VLDefs.h"
#include "platform/rtl/Classes.h"

// The replaceable LZW codecs. The GIF decoder reads one image's LZW data from the stream position
// into Width x Height palette indexes, rows top to bottom; the encoder writes the code-size byte,
// the data sub-blocks and the terminator. The TIFF decoder takes the whole strip on its first
// call and returns RowSize decoded bytes per call (nil on error or when Data is nil, which
// finishes); the encoder compresses Count bytes into Stream and finishes when Data is nil. State
// is created by the first call and freed by the finishing one.
using TGifLZWDecompressProc = void (*)(TStream& Stream, int32_t Height, int32_t Width,
                                       bool Interlaced, uint8_t* Dest);
using TGifLZWCompressProc = void (*)(TStream& Stream, int32_t Height, int32_t Width,
                                     bool Interlaced, const uint8_t* Pixels, int32_t BitsPerPixel);
using TTiffLZWDecompressFunc = uint8_t* (*)(const uint8_t* Data, int32_t RowSize, void*& State,
                                            int32_t FillOrder);
using TTiffLZWCompressFunc = void* (*)(const uint8_t* Data, int32_t Count, TStream& Stream,
                                       void*& State);

// nil until the codecs are plugged in; every new parameter record copies them.
extern TGifLZWDecompressProc DefaultGifLZWDecompress;
extern TGifLZWCompressProc DefaultGifLZWCompress;
extern TTiffLZWDecompressFunc DefaultTiffLZWDecompress;
extern TTiffLZWCompressFunc DefaultTiffLZWCompress;

// Colour-space conversion of rows through ICC profiles (off by default).
extern bool UseICCProfiles;
// The relative flag the TIFF, DICOM and camera-raw readers pass to TVLBufferedReadStream: false
// counts positions from the start of the stream, not from where the caller left it.
extern bool BufferedStreamRelative;
// CMYK rows are converted through a colour profile when one is available.
extern bool CMYKColorManagement;
// Largest side, in pixels, that an imported metafile is rendered at.
extern int32_t MetafileSizeLimit;

// The page layout of printing and print preview. Margins are in inches.
class TIOPrintPreviewParams : public TObject {
public:
    double MarginLeft = 1.0;
    double MarginTop = 1.0;
    double MarginRight = 1.0;
    double MarginBottom = 1.0;
    uint8_t PositionMode = 4;
    uint8_t SizeMode = 1;
    double Width = -1.0;
    double Height = -1.0;
    double Gamma = 1.0;
};

// Sets the unit's settings to their start-up values (DefaultTempFolder, AVIFileInitialized and
// the quantizer settings of the core among them).
void InitializeVistrelIOUnit();
// Releases what the unit's start-up acquired.
void FinalizeVistrelIOUnit();
// Places the two routines at the I/O unit's slot of the library start-up; call it before the
// program's first InitializeLibrary.
void RegisterVistrelIOUnit();

// Diagnostics have nowhere to go: the library keeps no log file.
void DebugLog(const String& Msg);
