// Process-wide settings of the I/O unit and its start-up and shut-down.
#include "imaging/io/VistrelIOUnit.h"

#include "imaging/io/VLFileFormats.h"

bool BufferedStreamRelative = false;
int32_t MetafileSizeLimit = 8000;

void InitializeVistrelIOUnit() {
    DefaultTempFolder.clear();
    BuildFileFormatRegistry();
    AVIFileInitialized = false;
    ColorConversionHook = ConvertColorSpaceRow;
    UseICCProfiles = false;
    QuantizerMethod = -1;
    QuantizerQuality = -1;
    BufferedStreamRelative = false;
    CMYKColorManagement = true;
    FreeCMYKTransforms();
    MetafileSizeLimit = 8000;
}

void FinalizeVistrelIOUnit() {
    FreeCMYKTransforms();
    FreeFileFormatRegistry();
}

void RegisterVistrelIOUnit() {
    RegisterLibraryUnit(TLibraryUnit::VistrelIO, InitializeVistrelIOUnit, FinalizeVistrelIOUnit);
}
