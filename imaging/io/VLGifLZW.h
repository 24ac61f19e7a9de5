// The LZW coding of GIF image data (variable-length LSB-first codes in data sub-blocks), the
// process-wide default of the GIF reader and writer.
#pragma once

#include "imaging/core/VLDefs.h"

// Reads the code-size byte, the data sub-blocks and the terminator of one image at the stream
// position and writes one palette index per pixel into Dest (Width x Height bytes, rows top to
// bottom whatever the interlacing). Data it cannot decode puts the stream back where it was: an
// unchanged position is the failure the caller tests for. Pixels beyond Width x Height are
// dropped; pixels the data does not reach keep what Dest held.
void GifLZWDecode(TStream& Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Dest);
// Writes the code-size byte (BitsPerPixel, at least 2 and at most 8), the LZW data in sub-blocks
// of at most 254 bytes and the terminator. Pixels holds Width x Height indexes, rows top to
// bottom; with Interlaced the rows are coded in the order of the four GIF passes.
void GifLZWEncode(TStream& Stream, int32_t Height, int32_t Width, bool Interlaced,
                  const uint8_t* Pixels, int32_t BitsPerPixel);
