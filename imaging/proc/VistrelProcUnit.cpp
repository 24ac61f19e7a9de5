// Start-up and shut-down of the processing unit.
#include "imaging/proc/VistrelProcUnit.h"

#include "imaging/core/VLConvolve.h"
#include "imaging/core/VLDefs.h"
#include "imaging/proc/VLPresetImages.h"
#include "platform/ui/Ole.h"

uint32_t VistrelRawClipboardFormat = 0;

void InitializeVistrelProcUnit() {
    CreateConvolutionPresets();
    VistrelRawClipboardFormat = RegisterClipboardFormatW(u"VISTREL RAW FORMAT");
}

void FinalizeVistrelProcUnit() {
    FreeConvolutionPresets();
}

void RegisterVistrelProcUnit() {
    RegisterLibraryUnit(TLibraryUnit::VistrelProc, InitializeVistrelProcUnit,
                        FinalizeVistrelProcUnit);
    RegisterLibraryUnit(TLibraryUnit::PresetImages, InitializePresetImagesUnit,
                        FinalizePresetImagesUnit);
}
