// Bilevel row coding after ITU-T T.4 (Group 3, one- and two-dimensional) and T.6 (Group 4).
//
// Decoded rows: a set bit is white, most significant bit first, (Width + 7) div 8 bytes, and a
// row starts all white. Encoder input: a set bit is black. Fill order 1 takes the bits of each
// byte from the most significant one, 2 from the least significant one. Decoders read nothing
// outside Data (bits past its end read as 0) and write nothing outside the row's Width pixels.
#pragma once

#include "platform/rtl/Classes.h"

#include <cstdint>
#include <vector>

// One code of the run-length tables: its length in bits, its bits (the lowest Length bits, sent
// from the most significant) and its run (-1 consumed without painting, -3 end of line).
struct TCCITTCode {
    uint8_t Length;
    uint16_t Code;
    int16_t Run;
};
// 0..63 terminating codes, 64..90 make-up codes 64..1728, 91..103 the shared extended make-up
// codes 1792..2560, 104 EOL, 105..107 8 to 10 zero bits and a 1, 108..127 EOL with 1 to 20
// extra zero bits (codes of up to 32 bits keep their zeros above the 16-bit Code).
extern const TCCITTCode CCITTWhiteCodes[128];
extern const TCCITTCode CCITTBlackCodes[128];

// The decoding trees of the two tables, library-wide; built by the library start-up.
void BuildCCITTDecodeTrees();
void FreeCCITTDecodeTrees();
// Places the two at the CCITT slot of the library start-up.
void RegisterCCITTUnit();
// Table index of the code at bit position Bit of Data (white or black table); 127 past the end
// of the data, 128 when no code matches.
int32_t CCITTLookupCode(bool White, const uint8_t* Data, int32_t DataLength, int64_t Bit,
                        int32_t FillOrder);

// One-dimensional (modified Huffman) row from bit StartBit; returns the bit position after it.
int64_t DecodeCCITTRow1D(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                         int64_t StartBit, int32_t FillOrder);
// A modified Huffman row from bit 0; returns the bytes used.
int32_t DecodeCCITTRowMH(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                         int32_t FillOrder);
// The reference row of two-dimensional decoding as its changing elements: Changes[i] is the
// pixel where the colour changes for the (i + 1)-th time, to black for even i and to white for
// odd i, in the order the codes gave them. A run of length 0 leaves two elements at one
// position, which the next row's codes count: the row's pixels would not show them. Empty is an
// all-white row, where every strip starts; Coding is the decoder's list of the row it decodes.
struct TCCITTReference {
    std::vector<int32_t> Changes;
    std::vector<int32_t> Coding;
};
// Two-dimensional row (T.4 2-D or T.6) against Reference, which then holds the decoded row.
// Returns the bit position after the row.
int64_t DecodeCCITTRow2D(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                         TCCITTReference& Reference, int64_t StartBit, int32_t FillOrder,
                         bool EOLHandling);

// Encoders; each writes whole bytes through SafeStreamWrite, which sets Aborting on a short
// write. The G3 and G4 encoders keep pending bits and the reference row (nil at the start,
// owned by the encoder, freed by the finishing call Row nil, Width 0) in the caller's variables.
void EncodeCCITTRowMH(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Aborting,
                      int32_t FillOrder);
void EncodeCCITTG3Row1D(const uint8_t* Row, int32_t Width, TStream& Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, bool& Aborting, int32_t FillOrder);
void EncodeCCITTG3Row2D(const uint8_t* Row, int32_t Width, TStream& Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, uint8_t*& ReferenceRow, bool& Aborting,
                        int32_t FillOrder);
void EncodeCCITTG4Row(const uint8_t* Row, int32_t Width, TStream& Stream, uint8_t& PendingByte,
                      int32_t& PendingBits, uint8_t*& ReferenceRow, bool& Aborting,
                      int32_t FillOrder);
