// The selection mask: one value per pixel, 1 bit (selected or not) or 8 bits (degree of
// selection, 255 = fully selected), with the bounding box of the selected pixels.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/rtl/Types.h"

#include <memory>
#include <vector>

class TVLBitmap;
class TCanvas;

class TVLMask : public TObject {
public:
    TVLMask();
    ~TVLMask() override;
    TVLMask(const TVLMask&) = delete;
    TVLMask& operator=(const TVLMask&) = delete;

    // Frees the bits and the display buffer; the box is left as it was.
    void FreeBits();
    // New zero-filled bits (nothing selected), box empty. False, leaving no bits, for a depth
    // other than 1 or 8, a size of 0 or below, or when the memory cannot be had.
    bool AllocateBits(int32_t Width, int32_t Height, int32_t BitsPerPixel);
    // New size keeping the top-left content; the box is clipped to the new size.
    void Resize(int32_t NewWidth, int32_t NewHeight);

    int32_t GetWidth() const { return FWidth; }
    int32_t GetHeight() const { return FHeight; }
    // 1 or 8, 0 while there are no bits.
    int32_t GetBitsPerPixel() const { return FBitsPerPixel; }
    int32_t GetRowLen() const { return FRowLen; }
    // Row Row (0 = top; rows are kept bottom-up); nil outside the mask.
    uint8_t* GetScanline(int32_t Row);

    // 0 outside the mask; the bit (0 or 1) or the byte.
    int32_t GetPixel(int32_t X, int32_t Y);
    bool IsPointInside(int32_t X, int32_t Y) { return GetPixel(X, Y) != 0; }
    // Non-zero values extend the box; 0 never shrinks it. Ignored outside the mask.
    void SetPixel(int32_t X, int32_t Y, int32_t Value);
    // Writes Value over XFrom .. XTo of row Y (clamped to the mask); returns the pixels written.
    // For 1-bit masks any non-zero Value selects. The box is not changed.
    int32_t FillRow(int32_t Value, int32_t XFrom, int32_t Y, int32_t XTo);
    // Every byte := Value (for 1-bit masks 8 pixels per byte); the box is not changed.
    void Fill(uint8_t Value);
    // Nothing selected, box empty.
    void Clear();
    bool IsEmpty() const { return X1 == MaxInt; }
    void SyncBoundingBox();
    void SyncFull();

    // Fills every polygon of Points; polygons are separated by a point whose X is
    // PolygonSeparator. Full is recomputed afterwards.
    void FillPolygons(int32_t Value, const TPoint* Points, int32_t Count);
    // Even-odd scan-line fill with half-open spans: the right and bottom ends are not filled.
    // Value <> 0 extends the box by the vertices (the extension is undone when nothing inside
    // the mask was filled).
    void FillPolygon(int32_t Value, const TPoint* Points, int32_t Count);
    static constexpr int32_t PolygonSeparator = 0xFFFFF;

    // Moves the selection by (DX, DY). With Cut the pixels moved outside are lost; without it
    // the move is reduced so that the box stays inside, and the reduced values are returned.
    void Translate(int32_t& DX, int32_t& DY, bool Cut);
    // Copies the selected pixels of Source into Dest inside the box (8-bit masks blend by their
    // value). The At-origin flags say that a bitmap holds only the box, its (0, 0) being the
    // box's corner. With MakeAlpha Dest's alpha channel receives the selection.
    void CopyMaskedBitmap(TVLBitmap& Dest, TVLBitmap& Source, bool DestAtBoxOrigin,
                          bool SourceAtBoxOrigin, bool MakeAlpha);

    // Inverts the selected area of a 1-bit mask on the canvas: the source rectangle (top-down
    // mask coordinates) stretched to the destination rectangle with an XOR raster operation.
    void StretchDrawXor(TCanvas& Canvas, int32_t DestX, int32_t DestY, int32_t DestWidth,
                        int32_t DestHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                        int32_t SrcHeight);
    // Nearest-neighbour resample of the source rectangle into DestRows[0 .. DestHeight - 1]
    // (top row first), each of AlignedRowLength(DestWidth, BitsPerPixel, 32) bytes: zeroed, then
    // only the display pixels that map into the box are written.
    void ResampleToDisplay(uint8_t* const* DestRows, int32_t DestWidth, int32_t DestHeight,
                           int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight);
    // Marching ants: the outline of the selection as shown in the destination rectangle, in
    // runs of 4 pixels of Color2 and 4 of Color1 along the diagonals; advancing Phase animates it.
    void DrawOutline(TCanvas& Canvas, int32_t DestX, int32_t DestY, int32_t DestWidth,
                     int32_t DestHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                     int32_t SrcHeight, int32_t Phase, TColor Color1, TColor Color2);
    // Shades the display pixels of a 24-bit Bitmap whose mask value is 0 with a grey checkerboard.
    void ShadeOutside(TBitmap& Bitmap, int32_t DestX, int32_t DestY, int32_t DestWidth,
                      int32_t DestHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                      int32_t SrcHeight);

    static constexpr int32_t MaxInt = 2147483647;
    // Bounding box of the selected pixels, inclusive; empty = X1, Y1 at MaxInt, X2, Y2 at 0.
    int32_t X1 = MaxInt;
    int32_t Y1 = MaxInt;
    int32_t X2 = 0;
    int32_t Y2 = 0;
    // Every pixel is known to be fully selected.
    bool Full = false;

private:
    void ClampBox();
    void ExtendBox(int32_t X, int32_t Y);
    void MakeBoxEmpty();
    // Fills the display buffer for a display of the given size.
    void PrepareDisplay(int32_t DestWidth, int32_t DestHeight, int32_t SrcX, int32_t SrcY,
                        int32_t SrcWidth, int32_t SrcHeight);

    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitsPerPixel = 0;
    int32_t FRowLen = 0;
    std::unique_ptr<uint8_t[]> FBits;
    // Display-sized copy shared by the drawing operations; rebuilt only when its size changes.
    std::vector<uint8_t> FDisplayBuffer;
    std::vector<uint8_t*> FDisplayRows;
    int32_t FDisplayWidth = 0;
    int32_t FDisplayHeight = 0;
};
