// The viewer's entry point: the libraries' units start before the program and end after it.
#include "app/formMain.h"
#include "imaging/core/VLDefs.h"
#include "imaging/io/VistrelIOUnit.h"
#include "imaging/proc/VistrelProcUnit.h"
#include "raster/RasterStartup.h"

int main() {
    RegisterVistrelViewUnit();
    RegisterVistrelIOUnit();
    RegisterVistrelProcUnit();
    InitializeLibrary();
    raster::InitializeRasterLibrary();
    const int32_t result = WinMain();
    raster::FinalizeRasterLibrary();
    FinalizeLibrary();
    return result;
}
