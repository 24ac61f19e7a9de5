// Start-up and shut-down of the processing unit: its convolution presets and the clipboard format
// of raw bitmaps (the bit-expansion table of 1-bit rows is a compile-time table).
#pragma once

#include <cstdint>

// The id of the clipboard format "VISTREL RAW FORMAT" (raw bitmap data), 0 until the unit
// started. Nothing in the system puts data on the clipboard or reads it under this format.
extern uint32_t VistrelRawClipboardFormat;

void InitializeVistrelProcUnit();
void FinalizeVistrelProcUnit();
// Places the processing unit and the preset frames' unit at their slots of the library start-up;
// call it before the program's first InitializeLibrary.
void RegisterVistrelProcUnit();
