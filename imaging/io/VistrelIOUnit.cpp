// Process-wide settings of the I/O unit and its start-up and shut-down.
#include "imaging/io/VistrelIOUnit.h"

TGifLZWDecompressProc DefaultGifLZWDecompress = nullptr;
TGifLZWCompressProc DefaultGifLZWCompress = nullptr;
TTiffLZWDecompressFunc DefaultTiffLZWDecompress = nullptr;
TTiffLZWCompressFunc DefaultTiffLZWCompress = nullptr;

bool UseICCProfiles = false;
bool BufferedStreamRelative = false;
bool CMYKColorManagement = true;
int32_t MetafileSizeLimit = 8000;

void InitializeVistrelIOUnit() {
    DefaultTempFolder.clear();
    AVIFileInitialized = false;
    UseICCProfiles = false;
    QuantizerMethod = -1;
    QuantizerQuality = -1;
    BufferedStreamRelative = false;
    CMYKColorManagement = true;
    MetafileSizeLimit = 8000;
}

void FinalizeVistrelIOUnit() {
    // The settings are plain values; the registries and libraries this releases come with the
    // units that build them.
}

void RegisterVistrelIOUnit() {
    RegisterLibraryUnit(TLibraryUnit::VistrelIO, InitializeVistrelIOUnit, FinalizeVistrelIOUnit);
}

void DebugLog(const String&) {}
