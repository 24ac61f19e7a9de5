// Process-wide settings of the I/O unit and its start-up and shut-down.
#include "imaging/io/VistrelIOUnit.h"

#include "imaging/formats/VLCCITT.h"
#include "imaging/io/VLFileFormats.h"
#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLJpeg2000.h"
#include "imaging/io/VLTiffLZW.h"
#include "imaging/io/VistrelIOURL.h"

bool BufferedStreamRelative = false;
int32_t MetafileSizeLimit = 8000;
int64_t URLSizeLimit = int64_t{1} << 30;
int32_t URLStallLimit = 60000;

void InitializeVistrelIOUnit() {
    DefaultGifLZWDecompress = GifLZWDecode;
    DefaultGifLZWCompress = GifLZWEncode;
    DefaultTiffLZWDecompress = TiffLZWDecode;
    DefaultTiffLZWCompress = TiffLZWEncode;
    DefaultTempFolder.clear();
    BuildFileFormatRegistry();
    AVIFileInitialized = false;
    LoadWinInet();
    ColorConversionHook = ConvertColorSpaceRow;
    UseICCProfiles = false;
    QuantizerMethod = -1;
    QuantizerQuality = -1;
    BufferedStreamRelative = false;
    CMYKColorManagement = true;
    FreeCMYKTransforms();
    MetafileSizeLimit = 8000;
    URLSizeLimit = int64_t{1} << 30;
    URLStallLimit = 60000;
}

void FinalizeVistrelIOUnit() {
    FreeCMYKTransforms();
    FreeFileFormatRegistry();
    UnloadWinInet();
}

// The JPEG 2000 tables and the CCITT decoding trees serve the codecs the I/O unit's registry
// calls, so registering the unit registers them at their own slots.
void RegisterVistrelIOUnit() {
    RegisterJpeg2000Unit();
    RegisterCCITTUnit();
    RegisterLibraryUnit(TLibraryUnit::VistrelIO, InitializeVistrelIOUnit, FinalizeVistrelIOUnit);
}
