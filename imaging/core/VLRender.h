// Rendering of a bitmap rectangle onto a 24-bit bitmap: nearest-neighbour stretching through
// lookup tables that a caller may keep between calls, or resampling through a filter, with alpha,
// transparency, contrast, channel offsets and render operations. The entry points are methods of
// TVLBitmap (the source); this header holds what they share with their callers.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLRenderOps.h"

#include <cstdint>
#include <vector>

// 1:1 in the 14-bit fixed-point scale steps of the renderers.
constexpr int32_t VLStretchOne = 16384;

// Lookup tables of RenderRectToBitmapEx. An empty table is built by the call; a built table is
// freed at the end of the call when FreeTables is set, else it stays here for the next call with
// the same geometry. Tables filled by the caller are never changed.
struct TVLRenderTables {
    // The destination's row addresses, top row first (Dest.Height entries).
    std::vector<uint8_t*> RowTable;
    // Entry i: the source column of destination column X0 + i, where X0 is the destination's left
    // edge once a negative start has been cut off (max(DstX, 0)).
    std::vector<int32_t> XTable;
    // Entry i: the source row of destination row Y0 + i, likewise.
    std::vector<int32_t> YTable;
};

// What a row renderer draws: destination rows Y1..Y2, columns X1..X2 (inclusive).
struct TVLStretchRowsParams {
    uint8_t* const* RowTable = nullptr;
    int32_t DestRowLen = 0;
    TVLRenderOperation RenderOperation = vlroCopy;
    // Every destination row was alike before rendering: a repeated source row may be copied
    // whole from the row above.
    bool SolidBackground = false;
    int32_t XStep = VLStretchOne;
    int32_t YStep = VLStretchOne;
    int32_t X1 = 0;
    int32_t X2 = -1;
    int32_t Y1 = 0;
    int32_t Y2 = -1;
    // Destination and source origins: on the 1:1 path destination (x, y) shows source
    // (x - DstX + SrcX, y - DstY + SrcY).
    int32_t DstX = 0;
    int32_t DstY = 0;
    int32_t SrcX = 0;
    int32_t SrcY = 0;
    // Source column of X1, X1 + 1 ... X2 and source row of Y1 ... Y2, every entry inside the
    // source; nil on the 1:1 path of a 24-bit source.
    const int32_t* XTable = nullptr;
    const int32_t* YTable = nullptr;
    // Blending renderers: each pixel is weighted by min(Transparency, its alpha) when UseAlpha,
    // else by Transparency (0..255).
    bool UseAlpha = false;
    int32_t Transparency = 255;
};

// The contrast factor of the rendering adjustment in 16.16 fixed point: (Contrast / 10 + 1) x 65536
// for Contrast >= 0, (1 - sqrt(-Contrast) / 10) x 65536 below, truncated.
int64_t RenderContrastFactor(int32_t Contrast);

// The whole of Source resampled by Filter to DstW x DstH exactly as the filtered path of
// RenderRectToBitmapEx resamples a rectangle, with Source's alpha when EnableAlpha and in use,
// and its adjustment settings: drawn with rfNone, any part of Resized gives the pixels a filtered
// rendering of the whole picture gives there. False (Resized untouched) when the filtered path
// does not take this source and size.
bool ResampleForRender(TVLBitmap& Source, int32_t DstW, int32_t DstH, bool EnableAlpha,
                       TResampleFilter Filter, TVLBitmap& Resized);
