// The raw data loaders of the camera-raw reader and the readers they share: byte-order reads,
// the bit reader, Huffman decoding trees and the Kodak tone curve. Reads past the end of the
// stream give 0 and every loader ends within its row and column counts.
#pragma once

#include "imaging/formats/cameraraw/VLCameraRaw.h"

#include <cstddef>
#include <cstdint>

uint8_t get_byte(TVLCameraRawContext& Context);
// Two or four bytes in the context's byte order (0x4949 least significant first).
uint16_t get_u16(TVLCameraRawContext& Context);
uint32_t get_u32(TVLCameraRawContext& Context);
// The next N (1 to 25) bits, most significant first; 0 reads nothing; -1 empties the reader and
// fills it again. With ZeroAfterFF the byte after every 0xFF is dropped.
uint32_t get_bits(TVLCameraRawContext& Context, int32_t N);

void reset_decoders(TVLCameraRawContext& Context);
// Builds the canonical Huffman tree of Table (16 counts, then the values; Size bytes, a value
// beyond them counting as 0) from the next free node. Returns the offset after the values
// taken. Raises Exception ": decoder table overflow" past the node table.
size_t build_decoder(TVLCameraRawContext& Context, const uint8_t* Table, size_t Size,
                     int32_t Level);
// Canon's two trees of table set N (0 to 2; above counts as 2).
void build_crw_trees(TVLCameraRawContext& Context, uint32_t N);
// The leaf reached from node Start, bit by bit.
int32_t decode_symbol(TVLCameraRawContext& Context, int32_t Start);
// A JPEG magnitude-coded difference of Length bits.
int32_t get_signed_bits(TVLCameraRawContext& Context, int32_t Length);

// The 4096-entry Kodak tone curve: the identity, or the file's curve for "KODAK" cameras.
void read_kodak_curve(TVLCameraRawContext& Context, uint16_t (&Curve)[4096]);
void swap_byte_pairs(uint8_t* Buffer, size_t Length);

bool canon_has_low_bits(TVLCameraRawContext& Context);
void canon_compressed_load_raw(TVLCameraRawContext& Context);
void powershot600_load_raw(TVLCameraRawContext& Context);
void powershot_a5_load_raw(TVLCameraRawContext& Context);
void jpeg_lossless_load_raw(TVLCameraRawContext& Context);
void nikon_compressed_load_raw(TVLCameraRawContext& Context);
void nikon_packed_load_raw(TVLCameraRawContext& Context);
void nikon_e2100_packed_load_raw(TVLCameraRawContext& Context);
void nikon_e950_packed_load_raw(TVLCameraRawContext& Context);
void fuji_s2pro_load_raw(TVLCameraRawContext& Context);
void fuji_s5000_diagonal_load_raw(TVLCameraRawContext& Context);
void fuji_s7000_diagonal_load_raw(TVLCameraRawContext& Context);
void fuji_diagonal_load_raw(TVLCameraRawContext& Context, int32_t NCol, int32_t ICol,
                            int32_t NRow);
void fuji_f700s20_load_raw(TVLCameraRawContext& Context);
void rollei_packed_load_raw(TVLCameraRawContext& Context);
void phaseone_scrambled_load_raw(TVLCameraRawContext& Context);
void imacon_load_raw(TVLCameraRawContext& Context);
void packed12_bits_load_raw(TVLCameraRawContext& Context);
void unpacked16_be_load_raw(TVLCameraRawContext& Context);
void unpacked_high12_be_load_raw(TVLCameraRawContext& Context);
void unpacked_low12_be_load_raw(TVLCameraRawContext& Context);
void unpacked_low10_be_load_raw(TVLCameraRawContext& Context);
void unpacked_high12_le_load_raw(TVLCameraRawContext& Context);
// RawWidth words a row in byte order Order (0x55AA big-endian, 0xAA55 little-endian), each
// shifted right by Rsh (left for a negative Rsh).
void unpacked_load_raw(TVLCameraRawContext& Context, uint16_t Order, int32_t Rsh);
void olympus_c_interlaced_load_raw(TVLCameraRawContext& Context);
void eight_bit_load_raw(TVLCameraRawContext& Context);
void qv5700_load_raw(TVLCameraRawContext& Context);
void nucore_load_raw(TVLCameraRawContext& Context);
void dsc_f828_load_raw(TVLCameraRawContext& Context);
// Starts the key stream from Key.
void f828_decipher_init(TVLCameraRawContext& Context, uint32_t Key);
// Deciphers Count big-endian 32-bit words of Data in place, the key stream running on.
void f828_decipher(TVLCameraRawContext& Context, uint8_t* Data, size_t Count);
