// The LZW coding of TIFF strips (compression 5: MSB-first codes of 9 to 12 bits, the width
// growing one code early), the process-wide default of the TIFF reader and writer.
#pragma once

#include "imaging/core/VLDefs.h"

// Returns the next RowSize decoded bytes of the strip of DataSize bytes at Data. The first call
// (State nil) makes the state from Data, DataSize, RowSize and FillOrder (2: every byte's bits
// are reversed before codes are read); later calls ignore them and go on with the same strip; a
// call with Data nil frees the state and returns nil. The row is short when the strip ends, by
// its end code or by running out of bytes, before RowSize bytes; the bytes after the valid ones
// are then left from earlier rows. nil on corrupt data. The strip is never read past DataSize.
uint8_t* TiffLZWDecode(const uint8_t* Data, int32_t DataSize, int32_t RowSize, void*& State,
                       int32_t FillOrder);
// Codes Count bytes at Data into Stream, continuing the code stream of State (made by the first
// call, which writes the clear code); a call with Data nil writes the last string and the end
// code and frees the state. A row's last bytes can join the next call's first ones.
void TiffLZWEncode(const uint8_t* Data, int32_t Count, TStream& Stream, void*& State);
