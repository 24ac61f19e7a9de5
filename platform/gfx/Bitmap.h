// The class library's bitmap: a device-independent pixel buffer with bottom-up rows padded to
// 32 bits, one of the listed pixel formats and, for 1, 4 and 8 bits, a colour table.
#pragma once

#include "platform/gfx/Color.h"
#include "platform/gfx/Gdi.h"
#include "platform/gfx/Graphic.h"
#include "platform/rtl/Classes.h"

#include <memory>
#include <vector>

// pfDevice is the screen's format: 32 bits per pixel here. pf15bit holds 5-5-5 and pf16bit
// 5-6-5 words; pf24bit and pf32bit hold blue, green, red (and a fourth byte).
enum TPixelFormat : uint8_t {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};

// Bits per pixel of a format as stored (pfDevice counts as 32, pfCustom as 0).
int32_t PixelFormatBits(TPixelFormat Format);

class TCanvas;

class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int32_t Width() const override { return FWidth; }
    int32_t Height() const override { return FHeight; }
    bool Empty() const override { return FWidth == 0 || FHeight == 0; }
    // Resizing keeps the pixels at the top left; uncovered pixels are black (index 0).
    void SetWidth(int32_t Value) { SetSize(Value, FHeight); }
    void SetHeight(int32_t Value) { SetSize(FWidth, Value); }
    void SetSize(int32_t NewWidth, int32_t NewHeight);

    TPixelFormat PixelFormat() const { return FPixelFormat; }
    // Changing the format converts the pixels (indexed formats take the nearest table colour).
    void SetPixelFormat(TPixelFormat Value);

    // Address of row Row, row 0 being the top row; raises EInvalidGraphic when out of range.
    void* ScanLine(int32_t Row);
    int32_t RowLength() const { return FRowLength; }

    // The colour table of an indexed format: 2, 16 or 256 entries; empty for the others. It is
    // also the bitmap's palette: colours drawn into an indexed bitmap take the nearest entry.
    const std::vector<TRGBQuad>& ColorTable() const { return FColorTable; }
    // Replaces entries Start .. Start + Count - 1 (clipped to the table); returns the number set.
    int32_t SetColorTable(int32_t Start, const TRGBQuad* Entries, int32_t Count);

    // The drawing interface's bitmap over these pixels, made on first request and owned by the
    // bitmap; it follows every change of size, format and colour table.
    HBITMAP Handle();
    // A canvas drawing on the bitmap, made on first request and owned by the bitmap.
    TCanvas* Canvas();

    // Set by a caller that changed the pixels directly (through ScanLine): setting it fires
    // OnChange, through which a picture tells its image control to repaint.
    bool Modified() const { return FModified; }
    void SetModified(bool Value);

    // StretchBlt of the whole bitmap with the canvas's copy mode.
    void Draw(TCanvas& ACanvas, const TRect& Rect) override;
    // A BMP file image: 1, 4, 8, 16, 24 and 32 bits, uncompressed or with bit fields, either row
    // order. 32-bit images keep their fourth bytes; bit-field images other than 5-5-5, 5-6-5 and
    // 8-8-8 become 32-bit with the alpha mask's value (or 0) in the fourth byte. Every size is
    // checked against the bytes the stream holds before anything is allocated.
    void LoadFromStream(TStream& Stream) override;
    // A BMP file image in the bitmap's own pixel format (pfDevice as 32 bits).
    void SaveToStream(TStream& Stream) override;
    // The colour that transparent drawing leaves out: the one set, else the bottom-left pixel's.
    TColor TransparentColor();
    void SetTransparentColor(TColor Value);

private:
    void Reallocate(int32_t NewWidth, int32_t NewHeight, TPixelFormat NewFormat);
    // Tells the bitmap handle where the pixels and the colour table are now.
    void UpdateHandle();

    int32_t FWidth = 0;
    int32_t FHeight = 0;
    TPixelFormat FPixelFormat = pfDevice;
    int32_t FRowLength = 0;
    std::unique_ptr<uint8_t[]> FBits;
    std::vector<TRGBQuad> FColorTable;
    HBITMAP FHandle = nullptr;
    std::unique_ptr<TCanvas> FCanvas;
    bool FModified = false;
    TColor FTransparentColor = clDefault;
};
