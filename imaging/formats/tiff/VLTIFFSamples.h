// The row engine of the TIFF reader: turns the bytes of one strip or tile into bitmap rows and
// alpha-mask values. It decompresses each row (none, CCITT modified Huffman, Group 3, Group 4,
// LZW, Deflate, PackBits; JPEG strips whole through the JPEG adapter), undoes the horizontal
// predictor, widens samples of fewer than 8 bits and converts every photometric interpretation
// into the bitmap's pixel format, colour conversions going through the codecs' hook.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <array>
#include <vector>

class TVLMask;

// What the reader knows of the image being decoded: the tags of its directory (defaults where a
// tag is missing) and the caller's choices.
struct TTIFFVars {
    // ImageWidth and ImageLength, or the tile size when one tile is read as the picture.
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t SamplesPerPixel = 1;
    int32_t BitsPerSample = 1;
    int32_t RowsPerStrip = 0;
    int32_t TileWidth = -1;
    int32_t TileLength = -1;
    // The tag values as stored (CIELab is 8).
    uint16_t Photometric = 2;
    uint16_t PlanarConfiguration = 1;
    uint16_t Orientation = 1;
    uint16_t Compression = 1;
    std::vector<int64_t> StripOffsets;
    std::vector<int64_t> StripByteCounts;
    std::vector<int64_t> TileOffsets;
    std::vector<int64_t> TileByteCounts;
    std::vector<TVLRGB> ColorMap;
    // Read, not used.
    std::vector<int64_t> TransferFunction;
    int32_t ResolutionUnit = 2;
    double XResolution = 0;
    double YResolution = 0;
    int32_t Predictor = 1;
    std::vector<uint8_t> JPEGTables;
    int32_t T4Options = 0;
    int32_t T6Options = 0;
    int32_t FillOrder = 1;
    double XPosition = 0;
    double YPosition = 0;
    AnsiString DocumentName;
    AnsiString ImageDescription;
    AnsiString PageName;
    int32_t PageNumber = 0;
    int32_t PageTotal = 0;
    AnsiString Software;
    int32_t InkSet = 1;
    int32_t NumberOfInks = 4;
    std::array<int32_t, 8> DotRange{};
    AnsiString Artist;
    int32_t YCbCrSubsamplingH = 2;
    int32_t YCbCrSubsamplingV = 2;
    int32_t JPEGProc = 0;
    int64_t JPEGInterchangeFormat = 0;
    int64_t JPEGInterchangeFormatLength = 0;
    int32_t JPEGRestartInterval = 0;
    std::array<int32_t, 7> JPEGQTables{};
    std::array<int32_t, 7> JPEGDCTables{};
    std::array<int32_t, 7> JPEGACTables{};
    std::array<int32_t, 7> JPEGLosslessPredictors{};
    std::array<int32_t, 7> JPEGPointTransforms{};
    TVLTIFFLZWDecoder LZWDecoder = nullptr;
    bool IntelByteOrder = true;
    // The caller's parameters; the colour-conversion hook and the JPEG path need them.
    TIOParamsVals* Params = nullptr;
    // Receives the alpha samples, or nil.
    TVLMask* AlphaMask = nullptr;
    bool IgnoreAlpha = false;
    int32_t ExtraSample = 0;
    int32_t ExtraSampleCount = 0;
    std::array<int32_t, 10> ExtraSampleValues{};

    // Decoding state of the reader: strips or tiles of the image (the JPEG path reports progress
    // by them), those done, and the last percentage reported (-1 before the first).
    int32_t PieceCount = 1;
    int32_t PiecesDone = 0;
    int32_t LastPercent = -1;
};

// Planar images keep at most this many planes.
constexpr int32_t TIFFMaxPlanes = 10;

// Fills Rows bitmap rows from FirstRow with the strip or tile of Width pixels whose DataLength
// bytes are at Data, its left edge at pixel column X of the bitmap. Pixels beyond the bitmap are
// dropped. Rows past the end of the data stay as they are; a row that cannot be decoded, a
// layout or compression the engine does not convert sets the abort flag.
void TIFFDecodeRows(TTIFFVars& Vars, TVLBitmap& Bitmap, int32_t FirstRow,
                    TVLProgressRecord& Progress, int32_t Rows, int32_t Width, int32_t DataLength,
                    const uint8_t* Data, int32_t X = 0);

// One strip of every plane (PlanarConfiguration 2), at most TIFFMaxPlanes of them.
struct TTIFFPlane {
    const uint8_t* Data = nullptr;
    int32_t Length = 0;
};
void TIFFDecodePlanarRows(TTIFFVars& Vars, TVLBitmap& Bitmap, int32_t FirstRow,
                          TVLProgressRecord& Progress, int32_t Rows, int32_t Width,
                          const std::vector<TTIFFPlane>& Planes);

// Undoes the horizontal predictor on a row of Width pixels of SamplesPerPixel samples of 8 or
// 16 bits (16-bit words in the file's byte order); other sample sizes are left as they are.
void TIFFUndoPredictor(uint8_t* Row, int32_t Width, int32_t SamplesPerPixel, int32_t Bits,
                       bool IntelByteOrder);
