// The camera-raw decoding context, its sample buffer with the colour-filter addressing, the
// shared stream and progress helpers of the loaders, and the development of a loaded context
// into a 24-bit or 48-bit bitmap (white point, tone table, output and the Fuji re-gridding).
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <array>
#include <cstdint>
#include <memory>

struct TVLCameraRawContext;

// A raw data loader: fills the context's image buffer from its stream.
using TVLRawLoadProc = void (*)(TVLCameraRawContext& Context);

// One node of a decoding tree; a node whose branch 0 is 0 is a leaf. Branches are indexes into
// the context's Decoders (node 0 is always a root, so 0 can mean none).
struct TVLRawDecoder {
    int32_t Branch[2] = {0, 0};
    int32_t Leaf = 0;
};

constexpr int32_t RawDecoderCount = 2048;
constexpr int32_t RawHistogramSize = 8192;

// Four 16-bit samples per buffer cell.
using TVLRawCell = std::array<uint16_t, 4>;

struct TVLCameraRawContext {
    std::unique_ptr<TVLRawCell[]> Image;
    TStream* Stream = nullptr;
    uint16_t Order = 0x4949;
    char Make[64] = {};
    char Model[64] = {};
    char Model2[64] = {};
    uint32_t DataOffset = 0;
    uint32_t CurveOffset = 0;
    uint32_t CurveLength = 0;
    uint32_t TiffCompression = 0;
    uint32_t KodakCompression = 0;
    int32_t RawHeight = 0;
    int32_t RawWidth = 0;
    int32_t TopMargin = 0;
    int32_t LeftMargin = 0;
    int32_t Height = 0;
    int32_t Width = 0;
    int32_t Colors = 3;
    int32_t Black = 0;
    int32_t Maximum = 16384;
    int32_t IHeight = 0;
    int32_t IWidth = 0;
    int32_t Shrink = 0;
    bool IsCanon = false;
    bool IsCMY = false;
    bool IsFoveon = false;
    bool UseCoeff = false;
    int32_t Trim = 0;
    int32_t XMag = 1;
    int32_t YMag = 1;
    bool ZeroAfterFF = false;
    uint32_t Filters = 0;
    uint16_t White[8][8] = {};
    TVLRawLoadProc LoadRaw = nullptr;
    float Gamma = 0.6f;
    float Brightness = 1.0f;
    float RedScale = 1.0f;
    float BlueScale = 1.0f;
    bool FourColorRGB = false;
    bool AutoWB = false;
    bool CameraWB = false;
    float CameraRed = 0;
    float CameraBlue = 0;
    float PreMul[4] = {1, 1, 1, 1};
    float Coeff[3][4] = {};
    std::array<uint32_t, RawHistogramSize> Histogram = {};
    uint8_t JpegBuffer[4096] = {};
    uint32_t CipherPad[128] = {};
    uint32_t CipherIndex = 0;
    uint32_t BitBuffer = 0;
    int32_t BitCount = 0;
    // Values taken by the tree being built.
    int32_t DecoderLeaf = 0;
    // The Kodak radial decoder: position in its pair list, the 18 tree starts, current node.
    int32_t RadcSource = 0;
    int32_t RadcStart[18] = {};
    int32_t RadcNode = 0;
    std::array<TVLRawDecoder, RawDecoderCount> Decoders = {};
    int32_t SecondDecoder = 0;
    int32_t FreeDecoder = 0;
    bool FujiRotated = false;
    TVLProgressRecord Progress;
    // Bytes asked of the stream beyond its end (read as 0); loaders whose work the buffer does
    // not bound stop once it passes RawPastEndLimit.
    int64_t PastEnd = 0;
};

// True when Make equals Name, letters compared without case.
bool IsMake(const TVLCameraRawContext& Context, const char* Name);

// Clears the bit reader and the Kodak radial decoder state.
void init_bit_state(TVLCameraRawContext& Context);

// Colour of raw cell (Row, Col) under the filter pattern: it repeats every 8 rows and 2 columns.
inline int32_t FilterColor(uint32_t Filters, int32_t Row, int32_t Col) {
    return static_cast<int32_t>(
        (Filters >> (((static_cast<uint32_t>(Row) << 1 & 14) + (static_cast<uint32_t>(Col) & 1))
                     << 1)) &
        3);
}

// Stores V (its low 16 bits) as the sample of raw cell (Row, Col): buffer cell
// (Row >> Shrink, Col >> Shrink), sample index its filter colour. A cell outside the buffer is
// left alone.
void StoreRawSample(TVLCameraRawContext& Context, int64_t Row, int64_t Col, uint32_t V);
// Stores V as sample Index of buffer cell (Row, Col), for sensors without a filter pattern;
// nothing outside the buffer.
void StoreCellSample(TVLCameraRawContext& Context, int64_t Row, int64_t Col, int32_t Index,
                     uint32_t V);
// The buffer cell (Row, Col), or nil outside the buffer.
TVLRawCell* RawCellAt(TVLCameraRawContext& Context, int64_t Row, int64_t Col);

// Stream helpers of the loaders: bytes past the end of the stream read as 0.
void RawSeek(TVLCameraRawContext& Context, int64_t Position);
int64_t RawPosition(TVLCameraRawContext& Context);
int64_t RawStreamSize(TVLCameraRawContext& Context);
// Reads Count bytes, zero-filling what the stream does not hold; the bytes actually read.
int64_t RawRead(TVLCameraRawContext& Context, void* Buffer, int64_t Count);

constexpr int64_t RawPastEndLimit = 4096;
// True once the loaders have read far past the end of the data: what follows is all zeros.
inline bool RawExhausted(const TVLCameraRawContext& Context) {
    return Context.PastEnd > RawPastEndLimit;
}

// Per-row progress of a loader over Rows rows: the step is 100 / Rows / 2.
void StartRowProgress(TVLCameraRawContext& Context, int64_t Rows);
void ReportRowProgress(TVLCameraRawContext& Context, int64_t Row);

// Raises Exception ": Out of memory in " + Routine.
[[noreturn]] void raise_out_of_memory(const char* Routine);
// True when a work block of Bytes may be allocated for this input (the library's plausibility
// bound against the stream's size); raises the out-of-memory exception of Routine otherwise.
void CheckRawAllocation(TVLCameraRawContext& Context, int64_t Bytes, const char* Routine);

// Steps from the tone table on: fills Params (camera name, resolution, identified size minus 2),
// and unless ParamsOnly allocates the buffer, runs the loader, scales, demosaics, converts and
// writes Bitmap as vl24RGB (vlRGB48 with NativePixelFormat), re-gridding Fuji pictures and
// matching the preview's colours when asked. A geometry the input cannot hold, or a Fuji
// picture whose first row is black, sets the abort flag; Bitmap keeps what it held in the
// first case. Allocation and table failures raise Exception.
void DevelopCameraRaw(TVLCameraRawContext& Context, TVLBitmap& Bitmap, TIOParamsVals& Params,
                      bool ParamsOnly);

// Re-grids a picture of 45-degree sensor cells (diamond inside black corners) onto a square
// grid. False, leaving Bitmap as it is, when the first row gives no grid.
bool regrid_diagonal_24(TVLBitmap& Bitmap);
bool regrid_diagonal_48(TVLBitmap& Bitmap);
