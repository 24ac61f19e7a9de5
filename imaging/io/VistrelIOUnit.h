// Process-wide settings of the I/O unit, its start-up and shut-down, and the print-preview
// parameters every I/O component keeps.
#pragma once

#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLDebugLog.h"
#include "imaging/core/VLDefs.h"
#include "platform/rtl/Classes.h"

// The relative flag the TIFF, DICOM and camera-raw readers pass to TVLBufferedReadStream: false
// counts positions from the start of the stream, not from where the caller left it.
extern bool BufferedStreamRelative;
// Largest side, in pixels, that an imported metafile is rendered at.
extern int32_t MetafileSizeLimit;
// Largest download, in bytes, that loading from an address takes (1 GiB).
extern int64_t URLSizeLimit;
// Milliseconds a download may go without receiving anything before it fails (60 s).
extern int32_t URLStallLimit;

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

// Sets the unit's settings to their start-up values (the LZW codecs, DefaultTempFolder,
// AVIFileInitialized, the colour conversion settings and the quantizer settings of the core among
// them), builds the format registry and starts the Internet library.
void InitializeVistrelIOUnit();
// Frees the CMYK transforms and the format registry and releases the Internet library.
void FinalizeVistrelIOUnit();
// Places the two routines at the I/O unit's slot of the library start-up; call it before the
// program's first InitializeLibrary.
void RegisterVistrelIOUnit();
