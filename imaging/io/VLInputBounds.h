// The readers' common check of a declared picture size against the coded input that is left,
// made before the bitmap is allocated, so that a tiny file declaring a huge picture is refused
// instead of filling memory or the temporary-file disk.
#pragma once

#include "imaging/core/VLDefs.h"

#include <cstdint>

// Pictures whose storage stays within this many bytes are allocated whatever the input holds:
// small pictures and truncated photos of ordinary size still open and show what they hold.
// 256 MiB by default.
extern int64_t PlausibleAllocationFloor;

// Beyond the floor, no picture takes more storage than this many bytes for each byte of input,
// whatever its codec: a row of a fax page or a block of an arithmetic-coded JPEG can cost a
// bit or less, so their data bound alone lets a few hundred bytes declare gigabytes. Real files
// stay far below it (128 KiB a byte by default, so that a file of 8 KiB takes at most 1 GiB; a
// blank fax page reaches its width in bytes).
extern int64_t PlausibleStoragePerInputByte;

// The most output one byte of coded input can describe, per codec, in the units the reader
// counts (bytes of decoded samples unless said otherwise).
// Stored samples: one byte each, but a stored picture cut short still shows the rows it holds,
// so it passes while the input holds at least a sixteenth of it.
constexpr int64_t ExpansionUncompressed = 16;
// PackBits: a two-byte run (count -127, value) repeats one byte 128 times.
constexpr int64_t ExpansionPackBits = 64;
// LZW with codes of at most 12 bits: a code stands for at most 4096 bytes, 4096 / 1.5 per byte.
constexpr int64_t ExpansionLZW = 2731;
// Deflate: a 258-byte match costs at least two bits, 1032 bytes per byte of input.
constexpr int64_t ExpansionDeflate = 1032;
// CCITT Group 3 and 4, in rows: a row costs at least one bit (a single vertical-mode code).
constexpr int64_t ExpansionRowsCCITT = 8;
// Huffman-coded JPEG, in 8 x 8 blocks of one component: every block of a component costs at
// least one bit (its DC difference code in the first scan that holds the component).
constexpr int64_t ExpansionBlocksJPEG = 8;

// Bytes of a bitmap of Width x Height pixels of Format with rows padded to 32 bits, plus one byte
// a pixel for an alpha mask when WithAlpha; saturates instead of wrapping.
int64_t PlannedBitmapBytes(int64_t Width, int64_t Height, TVLPixelFormat Format, bool WithAlpha);

// True when a picture that takes AllocationBytes of storage, and whose coded data must decode to
// at least Output units, can be made from InputBytes of input at MaxExpansion units a byte.
// Storage within PlausibleAllocationFloor always passes; beyond it, storage must also stay within
// PlausibleStoragePerInputByte for each byte of input, and MaxExpansion 0 (a codec without a
// known bound) does not pass. An Output of 0 leaves the storage bound alone to decide.
bool IsPlausibleDeclaredSize(int64_t AllocationBytes, int64_t Output, int64_t MaxExpansion,
                             int64_t InputBytes);
