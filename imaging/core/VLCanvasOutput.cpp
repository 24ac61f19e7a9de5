// Canvas output and hint boxes.
#include "imaging/core/VLCanvasOutput.h"

#include "imaging/core/VLRowToRGB.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLDebugLog.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLResample.h"
#include "imaging/core/VLResampleArea.h"
#include "imaging/core/VLWindowHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using enum TVLPixelFormat;

namespace {

constexpr int32_t DibDpi = 200;
constexpr double InchesPerMetre = 39.3700787;

int64_t DibRowLength(int64_t Width, int64_t BitCount) {
    return ((Width * BitCount + 31) / 32) * 4;
}

int32_t DibBitCount(TVLPixelFormat Format) {
    if (Format == vl1g) return 1;
    if (Format == vl8p || Format == vl8g) return 8;
    return 24;
}

// Row Y of Bitmap, columns X1 .. X1 + Width - 1, into a DIB row of BitCount bits.
void CopyDibRow(TVLBitmap& Bitmap, int32_t Y, int32_t X1, int32_t Width, int32_t BitCount,
                uint8_t* Dst) {
    const uint8_t* src = Bitmap.GetScanline(Y);
    switch (Bitmap.GetPixelFormat()) {
    case vl1g:
        for (int32_t x = 0; x < Width; ++x)
            if ((src[(X1 + x) / 8] & (0x80 >> ((X1 + x) % 8))) != 0)
                Dst[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        break;
    case vl8p:
    case vl8g:
    case vl24RGB:
        std::memcpy(Dst, src + static_cast<int64_t>(X1) * (BitCount / 8),
                    static_cast<size_t>(Width) * (BitCount / 8));
        break;
    case vl32RGB:
        for (int32_t x = 0; x < Width; ++x)
            std::memcpy(Dst + 3 * x, src + 4 * static_cast<int64_t>(X1 + x), 3);
        break;
    default: {
        // The rarer formats (16-bit grey, float grey, CMYK, 48-bit colour, Lab) are read as
        // 24-bit rows by the pixel-format conversion.
        std::vector<TVLRGB> row(static_cast<size_t>(Bitmap.GetWidth()));
        TVLRowToRGB(Bitmap).Read(src, row.data());
        std::memcpy(Dst, row.data() + X1, static_cast<size_t>(Width) * 3);
        break;
    }
    }
}

// The header, the colour table and the first pixel row of a locked packed DIB whose parts all
// lie within Size bytes; nil pointers otherwise.
struct TDibParts {
    const BITMAPINFO* Info = nullptr;
    uint8_t* Bits = nullptr;
};

TDibParts LocateDib(void* Block, size_t Size) {
    if (Block == nullptr || Size < sizeof(BITMAPINFOHEADER)) return {};
    BITMAPINFOHEADER h;
    std::memcpy(&h, Block, sizeof(h));
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 ||
        h.biCompression != BI_RGB)
        return {};
    if (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24 &&
        h.biBitCount != 32)
        return {};
    const int64_t colours = h.biBitCount <= 8 ? (int64_t{1} << h.biBitCount) : 0;
    const int64_t offset = int64_t{h.biSize} + colours * 4;
    const int64_t rows = DibRowLength(h.biWidth, h.biBitCount) * std::abs(int64_t{h.biHeight});
    if (offset + rows > static_cast<int64_t>(Size)) return {};
    auto* bytes = static_cast<uint8_t*>(Block);
    return {reinterpret_cast<const BITMAPINFO*>(bytes), bytes + offset};
}

// Locks a global block for one scope.
class TGlobalLock {
public:
    explicit TGlobalLock(HGLOBAL Block) : FBlock(Block), FData(GlobalLock(Block)) {}
    ~TGlobalLock() {
        if (FData != nullptr) GlobalUnlock(FBlock);
    }
    TGlobalLock(const TGlobalLock&) = delete;
    TGlobalLock& operator=(const TGlobalLock&) = delete;
    TDibParts Dib() const { return LocateDib(FData, GlobalSize(FBlock)); }

private:
    HGLOBAL FBlock;
    void* FData;
};

void ApplyTable(uint8_t* Bytes, size_t Count, const uint8_t (&Table)[256]) {
    for (size_t i = 0; i < Count; ++i)
        Bytes[i] = Table[Bytes[i]];
}

// The work bitmap of a filtered RenderToCanvas: Source at W x H, resampled where the resamplers
// take its format, else stretched nearest-pixel in its own format. False when it cannot be had.
bool MakeRenderWork(TVLBitmap& Source, TVLBitmap& Work, int32_t W, int32_t H,
                    TResampleFilter Filter) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
    const TVLPixelFormat workFormat = format == vl1g      ? (project ? vl1g : vl24RGB)
                                      : format == vl24RGB ? vl24RGB
                                                          : format;
    DebugLog(u"TVLBitmap.RenderToCanvas: allocating " + IntToStr(W) + u"x" + IntToStr(H));
    if (!Work.Allocate(W, H, workFormat)) return false;
    if (format == vl1g) {
        DebugLog(u"TVLBitmap.RenderToCanvas: _Resample1BitEx");
        _Resample1BitEx(Source, Work, Filter);
    } else if (format == vl24RGB) {
        DebugLog(u"TVLBitmap.RenderToCanvas: _ResampleEx");
        _ResampleEx(Source, Work, Filter);
    } else {
        Source.CopyPaletteTo(Work);
        DebugLog(u"TVLBitmap.RenderToCanvas: _VLBmpStretchEx");
        _VLBmpStretchEx(Source, Work);
    }
    return true;
}

} // namespace

int32_t RenderStripHeight(int32_t Width, int32_t Height, int32_t BitAlignment,
                          int64_t MinFileSize) {
    const int64_t rowLength = std::max<int64_t>(AlignedRowLength(Width, 24, BitAlignment), 1);
    int64_t rows = std::min<int64_t>(Height, (MinFileSize / 4) / rowLength);
    rows = std::min(rows, MaxRenderStripBytes / rowLength);
    return static_cast<int32_t>(std::max<int64_t>(rows, 1));
}

HGLOBAL _CopyBitmaptoDIBEx(TVLBitmap& Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                           int32_t DpiX, int32_t DpiY) {
    DebugLog(u"_CopyBitmaptoDIBEx: begin");
    if (Bitmap.IsEmpty()) return nullptr;
    if (X2 == 0) X2 = Bitmap.GetWidth();
    if (Y2 == 0) Y2 = Bitmap.GetHeight();
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Bitmap.GetWidth());
    Y2 = std::min(Y2, Bitmap.GetHeight());
    const int32_t width = X2 - X1;
    const int32_t height = Y2 - Y1;
    if (width <= 0 || height <= 0) return nullptr;
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    const int32_t bitCount = DibBitCount(format);
    const int64_t colours = bitCount <= 8 ? (int64_t{1} << bitCount) : 0;
    const int64_t rowLength = DibRowLength(width, bitCount);
    const int64_t offset = int64_t{sizeof(BITMAPINFOHEADER)} + colours * 4;
    HGLOBAL block = GlobalAlloc(GHND, static_cast<size_t>(offset + rowLength * height));
    if (block == nullptr) return nullptr;
    auto* dib = static_cast<uint8_t*>(GlobalLock(block));
    BITMAPINFOHEADER header;
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = static_cast<uint16_t>(bitCount);
    header.biSizeImage = static_cast<uint32_t>(rowLength * height);
    header.biXPelsPerMeter = static_cast<int32_t>(Trunc(DpiX * InchesPerMetre));
    header.biYPelsPerMeter = static_cast<int32_t>(Trunc(DpiY * InchesPerMetre));
    std::memcpy(dib, &header, sizeof(header));
    auto* table = reinterpret_cast<TRGBQuad*>(dib + sizeof(header));
    if (format == vl1g) {
        table[1] = TRGBQuad{255, 255, 255, 0};
    } else if (bitCount == 8) {
        for (int32_t i = 0; i < 256; ++i) {
            TVLRGB c{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
            if (format == vl8p) Bitmap.GetPaletteColor(i, c);
            table[i] = TRGBQuad{c.b, c.g, c.r, 0};
        }
    }
    uint8_t* rows = dib + offset;
    for (int32_t y = Y1; y < Y2; ++y)
        CopyDibRow(Bitmap, y, X1, width, bitCount, rows + rowLength * (Y2 - 1 - y));
    Bitmap.UnmapAllScanlines();
    GlobalUnlock(block);
    return block;
}

void MakeGammaTable(double Gamma, uint8_t (&Table)[256]) {
    for (int32_t i = 0; i < 256; ++i)
        Table[i] =
            ClampToByte(static_cast<int32_t>(Round(std::pow(i / 255.0, 1.0 / Gamma) * 255.0)));
}

void ApplyGammaToDIB(HGLOBAL DIB, double Gamma) {
    if (Gamma <= 0) return;
    TGlobalLock lock(DIB);
    const TDibParts dib = lock.Dib();
    if (dib.Info == nullptr || dib.Info->bmiHeader.biBitCount != 24) return;
    uint8_t table[256];
    MakeGammaTable(Gamma, table);
    const BITMAPINFOHEADER& h = dib.Info->bmiHeader;
    ApplyTable(dib.Bits, static_cast<size_t>(DibRowLength(h.biWidth, 24) * std::abs(h.biHeight)),
               table);
}

void _DIBDrawTo(TCanvas* Canvas, HGLOBAL DIB, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight) {
    if (Canvas == nullptr) return;
    TGlobalLock lock(DIB);
    const TDibParts dib = lock.Dib();
    if (dib.Info == nullptr) return;
    HDC dc = Canvas->Handle();
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, X, Y, Width, Height, SrcX, SrcY, SrcWidth, SrcHeight, dib.Bits, dib.Info,
                  DIB_RGB_COLORS, SRCCOPY);
}

void PrintPict(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Height, int32_t Width, int32_t SrcY,
               int32_t SrcX, TVLBitmap& Bitmap) {
    DebugLog(u"PrintPict: calling _CopyBitmaptoDIBEx");
    HGLOBAL dib =
        _CopyBitmaptoDIBEx(Bitmap, SrcX, SrcY, SrcX + Width, SrcY + Height, DibDpi, DibDpi);
    if (dib == nullptr) return;
    DebugLog(u"PrintPict: calling _DIBDrawTo");
    _DIBDrawTo(Canvas, dib, X, Y, Width, Height, 0, 0, Width, Height);
    DebugLog(u"PrintPict: calling GlobalFree");
    GlobalFree(dib);
}

void TVLBitmap::RenderToCanvas(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                               TResampleFilter Filter, double Gamma) {
    if (Canvas == nullptr || IsEmpty() || Width <= 0 || Height <= 0) return;
    DebugLog(u"TVLBitmap.RenderToCanvas: begin");
    if (Filter == rfNone)
        RenderToCanvasUnfiltered(Canvas, X, Y, Width, Height, Gamma);
    else
        RenderToCanvasFiltered(Canvas, X, Y, Width, Height, Filter, Gamma);
    DebugLog(u"TVLBitmap.RenderToCanvas: end");
}

void TVLBitmap::RenderToCanvasUnfiltered(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width,
                                         int32_t Height, double Gamma) {
    DebugLog(u"TVLBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0");
    HGLOBAL dib = _CopyBitmaptoDIBEx(*this, 0, 0, 0, 0, DibDpi, DibDpi);
    if (dib == nullptr) return;
    if (Gamma != 1.0 && Gamma > 0) ApplyGammaToDIB(dib, Gamma);
    DebugLog(u"TVLBitmap.RenderToCanvas: calling _DIBDrawTo");
    _DIBDrawTo(Canvas, dib, X, Y, Width, Height, 0, 0, GetWidth(), GetHeight());
    GlobalFree(dib);
}

void TVLBitmap::RenderToCanvasFiltered(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width,
                                       int32_t Height, TResampleFilter Filter, double Gamma) {
    const int32_t strip = RenderStripHeight(Width, Height, FBitAlignment, MinFileSize);
    DebugLog(u"TVLBitmap.RenderToCanvas: stripHeight=" + IntToStr(strip));
    TVLBitmap work;
    work.MinFileSize = MinFileSize;
    if (!MakeRenderWork(*this, work, Width, Height, Filter)) return;
    Canvas->CopyMode = cmSrcCopy;
    if (work.GetPixelFormat() == vl24RGB && Gamma != 1.0 && Gamma > 0) {
        DebugLog(u"TVLBitmap.RenderToCanvas: gamma");
        uint8_t table[256];
        MakeGammaTable(Gamma, table);
        for (int32_t y = 0; y < work.GetHeight(); ++y) {
            ApplyTable(work.GetScanline(y), static_cast<size_t>(work.GetWidth()) * 3, table);
            work.UnmapAllScanlines();
        }
    }
    // Each strip is one packed DIB; the last one takes the rows that are left.
    for (int32_t y = 0, rows = strip; y < Height; y += rows, rows = std::min(Height - y, strip)) {
        DebugLog(u"TVLBitmap.RenderToCanvas: PrintPict y=" + IntToStr(y));
        PrintPict(Canvas, X, Y + y, rows, work.GetWidth(), y, 0, work);
    }
}

void TVLBitmap::RenderToCanvasUnscaled(TCanvas* Canvas, int32_t X, int32_t Y) {
    RenderToCanvas(Canvas, X, Y, GetWidth(), GetHeight(), rfNone, 0);
}

void DrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const String& Text, TFont* Font,
                 TBrush* Brush, std::unique_ptr<TBitmap>& SaveBitmap, int32_t MaxWidth,
                 int32_t MaxHeight, TColor TopLeftColor, TColor BottomRightColor) {
    if (Canvas == nullptr) return;
    if (Font != nullptr) Canvas->Font()->Assign(*Font);
    if (Brush != nullptr) Canvas->Brush()->Assign(*Brush);
    const int32_t boxWidth = Canvas->TextWidth(Text) + 12;
    const int32_t boxHeight = Canvas->TextHeight(Text) + 12;
    X = std::min(std::max(X, 0), MaxWidth - boxWidth - 1);
    Y = std::min(std::max(Y, 0), MaxHeight - boxHeight - 1);
    if (!SaveBitmap) SaveBitmap = std::make_unique<TBitmap>();
    SaveBitmap->SetPixelFormat(pf24bit);
    SaveBitmap->SetSize(boxWidth, boxHeight);
    SaveBitmap->Canvas()->CopyMode = cmSrcCopy;
    SaveBitmap->Canvas()->CopyRect(Rect(0, 0, boxWidth, boxHeight), Canvas,
                                   Rect(X, Y, X + boxWidth, Y + boxHeight));
    Canvas->FillRect(Rect(X + 6, Y + 6, X + boxWidth, Y + boxHeight));
    Draw3DFrame(Canvas, X + 6, Y + 6, X + boxWidth - 1, Y + boxHeight - 1, TopLeftColor,
                BottomRightColor);
    Canvas->TextOut(X + 9, Y + 9, Text);
}

void DrawTranslucentHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const String& Text,
                            const String& SizingText) {
    if (Canvas == nullptr) return;
    TVLCanvas canvas(Canvas, true, true);
    TFont* font = canvas.GetFont();
    font->SetName(u"Arial");
    font->SetSize(9);
    font->SetColor(clBlack);
    canvas.Brush()->SetColor(RGB(255, 255, 96));
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetAlpha(128);
    const int32_t boxWidth =
        std::max(canvas.TextWidth(SizingText) + 12, canvas.TextWidth(Text) + 12);
    const int32_t boxHeight = canvas.TextHeight(SizingText) + 12;
    X = std::max(X, 0);
    Y = std::max(Y, 0);
    canvas.FillRect(Rect(X + 6, Y + 6, X + boxWidth, Y + boxHeight));
    Draw3DFrameAA(&canvas, X + 6, Y + 6, X + boxWidth - 1, Y + boxHeight - 1, RGB(128, 128, 128),
                  clWhite);
    canvas.Brush()->SetStyle(bsClear);
    canvas.TextOut(X + 9, Y + 9, Text);
}
