// The anti-aliased label.
#include "components/SVAALabel.h"

#include "raster/Bitmap32.h"

#include <algorithm>
#include <cmath>

TSVAALabel::TSVAALabel(TComponent* AOwner) : TCustomLabel(AOwner) {
    SetTransparent(true);
}

void TSVAALabel::SetAntiAliasLevel(int32_t Value) {
    if (Value == FAntiAliasLevel) return;
    FAntiAliasLevel = std::clamp(Value, 0, 4);
    Invalidate();
}

void TSVAALabel::SetAntiAliasStyle(TSVAntiAliasStyle Value) {
    if (Value == FAntiAliasStyle) return;
    FAntiAliasStyle = Value;
    Invalidate();
}

void TSVAALabel::SetInnerShadow(bool Value) {
    if (Value == FInnerShadow) return;
    FInnerShadow = Value;
    AdjustBounds();
    Invalidate();
}

void TSVAALabel::SetInnerShadowColor(TColor Value) {
    if (Value == FInnerShadowColor) return;
    FInnerShadowColor = Value;
    Invalidate();
}

void TSVAALabel::DoDrawText(TRect& Rect, uint32_t Flags) {
    const bool measuring = (Flags & DT_CALCRECT) != 0;
    // An empty caption measures as one space.
    const String caption = measuring && Caption().empty() ? String(1, u' ') : Caption();
    if (caption.empty()) return;
    Flags |= DT_NOPREFIX;
    Canvas()->Font()->Assign(*Font());
    const String text = EllipsisText(caption, Rect, Flags);
    if (!measuring && FAntiAliasLevel > 0) {
        DrawSmoothed(Rect, Flags, text);
        return;
    }
    DrawPlain(Rect, Flags, text);
    const int32_t grow = (measuring && FAntiAliasLevel > 0 ? 2 : 0) + (FInnerShadow ? 1 : 0);
    Rect.Right += grow;
    Rect.Bottom += grow;
}

void TSVAALabel::DrawPlain(TRect& Rect, uint32_t Flags, const String& Text) {
    const auto length = static_cast<int32_t>(Text.size());
    if (FInnerShadow && (Flags & DT_CALCRECT) == 0) {
        Canvas()->Font()->SetColor(FInnerShadowColor);
        DrawTextW(Canvas()->SelectedHandle(), Text.c_str(), length, &Rect, Flags);
        Canvas()->Font()->SetColor(Font()->Color());
        ++Rect.Left;
        ++Rect.Top;
    }
    DrawTextW(Canvas()->SelectedHandle(), Text.c_str(), length, &Rect, Flags);
}

namespace {

// Colour scaled by alpha, as AlphaBlend expects (rounding half to even).
void Premultiply(raster::TBitmap32& Bitmap) {
    raster::PColor32 p = Bitmap.Bits();
    const int64_t count = int64_t{Bitmap.Width()} * Bitmap.Height();
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t c = p[i];
        const float a = static_cast<float>(c >> 24) * (1.0f / 255);
        uint32_t out = c & 0xFF000000u;
        for (int shift : {0, 8, 16})
            out |= static_cast<uint32_t>(std::nearbyint(static_cast<float>(c >> shift & 0xFF) * a))
                   << shift;
        p[i] = out;
    }
}

} // namespace

void TSVAALabel::DrawSmoothed(const TRect& Rect, uint32_t Flags, const String& Text) {
    const int32_t w = Rect.Right - Rect.Left, h = Rect.Bottom - Rect.Top;
    if (w <= 0 || h <= 0) return;
    Canvas()->Brush()->SetStyle(bsClear);
    const TColor fontColor = Font()->Color();
    raster::TBitmap32 back;
    back.SetSize(w, h);
    back.Clear(raster::Color32(fontColor) & 0x00FFFFFFu);
    if (FAntiAliasStyle == aaSharp) {
        back.SetFont(*Canvas()->Font());
        if (FInnerShadow) {
            back.RenderText(0, 0, Text, FAntiAliasLevel, raster::Color32(FInnerShadowColor));
            back.RenderText(1, 1, Text, FAntiAliasLevel, raster::Color32(fontColor));
        } else {
            back.RenderText(0, 0, Text, FAntiAliasLevel, raster::Color32(fontColor));
        }
    } else {
        if (FInnerShadow) StrongPass(back, Flags, Text, FInnerShadowColor, 0, 0);
        StrongPass(back, Flags, Text, fontColor, 1, 1);
    }
    Premultiply(back);
    AlphaBlend(Canvas()->SelectedHandle(), Rect.Left, Rect.Top, w, h, back.Handle(), 0, 0, w, h,
               BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
}

void TSVAALabel::StrongPass(raster::TBitmap32& Back, uint32_t Flags, const String& Text,
                            TColor Color, int32_t X, int32_t Y) {
    const int32_t level = FAntiAliasLevel;
    const int32_t w = Back.Width(), h = Back.Height();
    raster::TBitmap32 samples;
    samples.SetSize(w * level, h * level);
    samples.Clear(0x00FFFFFFu);
    LOGFONTW logFont{};
    GetObjectW(Canvas()->Font()->Handle(), sizeof(logFont), &logFont);
    logFont.lfWidth = level * (logFont.lfWidth / 2);
    logFont.lfHeight *= level;
    logFont.lfEscapement = 0;
    HFONT font = CreateFontIndirectW(&logFont);
    HDC dc = samples.Handle();
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, 0x0000FF);
    SetBkMode(dc, TRANSPARENT);
    TRect r = ::Rect(0, 0, w * level, h * level);
    DrawTextW(dc, Text.c_str(), static_cast<int32_t>(Text.size()), &r, Flags);
    SelectObject(dc, previous);
    DeleteObject(font);

    // All-or-nothing samples, averaged over each level x level block.
    const uint32_t rgb = static_cast<uint32_t>(raster::Color32(Color)) & 0x00FFFFFFu;
    raster::TBitmap32 pass;
    pass.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t sum = 0;
            for (int32_t sy = 0; sy < level; ++sy)
                for (int32_t sx = 0; sx < level; ++sx)
                    sum +=
                        samples.GetPixel(x * level + sx, y * level + sy) != 0x00FFFFFFu ? 255 : 0;
            pass.SetPixel(x, y, sum / static_cast<uint32_t>(level * level) << 24 | rgb);
        }
    }
    // Merged, not blended: the back image starts transparent, and blending would square the
    // coverage there.
    pass.SetDrawMode(raster::dmBlend);
    pass.SetCombineMode(raster::cmMerge);
    pass.DrawTo(&Back, X, Y);
}
