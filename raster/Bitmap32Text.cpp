// TBitmap32's text: measuring and drawing through its device context, and anti-aliased coloured
// text with alpha by supersampling white glyphs drawn on black.
#include "raster/Bitmap32.h"

#include "raster/RasterLowLevel.h"

#include <cstring>

namespace raster {

namespace {

// Output precision of a turned font: TrueType (outline) fonts only.
constexpr uint8_t OutTrueTypeOnly = 7;

// The measuring bitmap's canvas, locked while in use (also across an exception).
class TMeasuringCanvas {
public:
    TMeasuringCanvas() : FCanvas(TextMeasuringBitmap->Canvas()) { FCanvas->Lock(); }
    ~TMeasuringCanvas() { FCanvas->Unlock(); }
    TMeasuringCanvas(const TMeasuringCanvas&) = delete;
    TMeasuringCanvas& operator=(const TMeasuringCanvas&) = delete;
    TCanvas* operator->() const { return FCanvas; }

private:
    TCanvas* FCanvas;
};

} // namespace

void ApplyFontQuality(TFont& Font, int32_t Quality) {
    LOGFONTW lf;
    lf.lfHeight = Font.Height();
    lf.lfWidth = 0;
    lf.lfEscapement = Font.Orientation();
    lf.lfOrientation = Font.Orientation();
    lf.lfWeight = Font.Style().Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = Font.Style().Contains(fsItalic) ? 1 : 0;
    lf.lfUnderline = Font.Style().Contains(fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = Font.Style().Contains(fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = Font.Charset();
    // The name "Default" stands for the class library's default font.
    const String name = Font.Name() == u"Default" ? TFont().Name() : Font.Name();
    const size_t length = std::min<size_t>(name.size(), LF_FACESIZE - 1);
    std::memcpy(lf.lfFaceName, name.data(), length * sizeof(char16_t));
    lf.lfFaceName[length] = 0;
    lf.lfQuality = static_cast<uint8_t>(Quality);
    lf.lfOutPrecision = Font.Orientation() != 0 ? OutTrueTypeOnly : 0;
    lf.lfClipPrecision = 0;
    lf.lfPitchAndFamily = Font.Pitch() == fpVariable ? VARIABLE_PITCH
                          : Font.Pitch() == fpFixed  ? FIXED_PITCH
                                                     : DEFAULT_PITCH;
    Font.SetHandle(CreateFontIndirectW(&lf));
}

void TextBlueToAlpha(TBitmap32& B, TColor32 Color) {
    const int64_t count = int64_t{B.Width()} * B.Height();
    PColor32 p = B.Bits();
    for (int64_t i = 0; i < count; ++i)
        if (p[i] != 0) p[i] = Color + (p[i] << 24);
}

void TextScaleDown(TBitmap32& B, const TBitmap32& B2, int32_t N, TColor32 Color) {
    const int32_t step = 1 << N;
    for (int32_t y = 0; y < B.Height(); ++y) {
        PColor32 out = B.GetScanLine(y);
        for (int32_t x = 0; x < B.Width(); ++x) {
            uint32_t sum = 0;
            for (int32_t j = 0; j < step; ++j) {
                const TColor32* row = B2.GetPixelPtr(x * step, y * step + j);
                for (int32_t i = 0; i < step; ++i)
                    sum += row[i] & 0xFF;
            }
            // The block's mean blue value, truncated, is the pixel's alpha.
            out[x] = (((sum >> N) >> N) << 24) | Color;
        }
    }
}

TSize TBitmap32::TextExtent(const String& Text) {
    TSize size{0, 0};
    UpdateFont();
    if (FHandle != nullptr) {
        if (!GetTextExtentPoint32W(FHandle, Text.data(), static_cast<int32_t>(Text.size()), &size))
            size = {0, 0};
        return size;
    }
    const TMeasuringCanvas canvas;
    HDC dc = canvas->Handle();
    HGDIOBJ previous = SelectObject(dc, FFont->Handle());
    if (!GetTextExtentPoint32W(dc, Text.data(), static_cast<int32_t>(Text.size()), &size))
        size = {0, 0};
    SelectObject(dc, previous);
    return size;
}

int32_t TBitmap32::TextWidth(const String& Text) {
    return TextExtent(Text).cx;
}

int32_t TBitmap32::TextHeight(const String& Text) {
    return TextExtent(Text).cy;
}

void TBitmap32::Textout(int32_t X, int32_t Y, const String& Text) {
    UpdateFont();
    if (!FMeasuringMode)
        ExtTextOutW(FHandle, X, Y, FClipping ? uint32_t{ETO_CLIPPED} : 0u,
                    FClipping ? &FClipRect : nullptr, Text.data(),
                    static_cast<uint32_t>(Text.size()), nullptr);
    const TSize extent = TextExtent(Text);
    Changed(MakeRect(X, Y, X + extent.cx + 1, Y + extent.cy + 1), AREAINFO_RECT);
}

void TBitmap32::Textout(int32_t X, int32_t Y, const TRect& ClipRect, const String& Text) {
    UpdateFont();
    if (!FMeasuringMode)
        ExtTextOutW(FHandle, X, Y, ETO_CLIPPED, &ClipRect, Text.data(),
                    static_cast<uint32_t>(Text.size()), nullptr);
    const TSize extent = TextExtent(Text);
    Changed(MakeRect(X, Y, X + extent.cx + 1, Y + extent.cy + 1), AREAINFO_RECT);
}

void TBitmap32::Textout(const TRect& DstRect, uint32_t Flags, const String& Text) {
    UpdateFont();
    TRect area = DstRect;
    if (!FMeasuringMode)
        DrawTextW(FHandle, Text.data(), static_cast<int32_t>(Text.size()), &area, Flags);
    Changed(area, AREAINFO_RECT);
}

void TBitmap32::RenderText(int32_t X, int32_t Y, const String& Text, int32_t AALevel,
                           TColor32 Color) {
    if (Empty()) return;
    const TColor32 alpha = Color >> 24;
    Color &= 0x00FFFFFF;
    AALevel = Constrain(AALevel, -1, 4);
    const String padded = Text + u" ";
    ApplyFontQuality(*FFont, AALevel > -1 ? NONANTIALIASED_QUALITY : ANTIALIASED_QUALITY);
    try {
        TBitmap32 b;
        // Level -1 only chooses antialiased glyphs: it draws as level 0.
        if (AALevel <= 0) {
            const TSize size = TextExtent(padded);
            b.SetSize(size.cx, size.cy);
            b.SetFont(*FFont);
            b.Clear(0);
            b.Font()->SetColor(clWhite);
            b.Textout(0, 0, Text);
            TextBlueToAlpha(b, Color);
        } else {
            RenderSupersampled(b, Text, padded, AALevel, Color);
        }
        b.SetDrawMode(dmBlend);
        b.SetMasterAlpha(alpha);
        b.SetCombineMode(FCombineMode);
        b.DrawTo(this, X, Y);
    } catch (...) {
        ApplyFontQuality(*FFont, DEFAULT_QUALITY);
        throw;
    }
    ApplyFontQuality(*FFont, DEFAULT_QUALITY);
}

void TBitmap32::RenderSupersampled(TBitmap32& B, const String& Text, const String& Padded,
                                   int32_t Level, TColor32 Color) {
    const TMeasuringCanvas canvas;
    canvas->Font()->Assign(*FFont);
    canvas->Font()->SetSize(FFont->Size() << Level);
    TSize size = canvas->TextExtent(Padded);
    // The smallest multiple of 2^Level strictly above each side.
    size.cx = ((size.cx >> Level) + 1) << Level;
    size.cy = ((size.cy >> Level) + 1) << Level;
    TBitmap32 b2;
    b2.SetSize(size.cx, size.cy);
    b2.Clear(0);
    b2.SetFont(*canvas->Font());
    b2.Font()->SetColor(clWhite);
    b2.Textout(0, 0, Text);
    B.SetSize(size.cx >> Level, size.cy >> Level);
    TextScaleDown(B, b2, Level, Color);
}

} // namespace raster
