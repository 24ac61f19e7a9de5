// A label whose caption is smoothed by supersampling into an off-screen 32-bit bitmap that is
// then blended onto its parent, with an optional inner shadow (the caption once more in a shadow
// colour, one pixel up and to the left of the text). Level 0 draws plain system text.
#pragma once

#include "platform/ui/StdCtrls.h"

namespace raster {
class TBitmap32;
}

enum TSVAntiAliasStyle : uint8_t { aaSharp, aaStrong };

class TSVAALabel : public TCustomLabel {
public:
    explicit TSVAALabel(TComponent* AOwner);

    int32_t AntiAliasLevel() const { return FAntiAliasLevel; }
    // Clamped to 0 .. 4.
    void SetAntiAliasLevel(int32_t Value);
    TSVAntiAliasStyle AntiAliasStyle() const { return FAntiAliasStyle; }
    void SetAntiAliasStyle(TSVAntiAliasStyle Value);
    bool InnerShadow() const { return FInnerShadow; }
    void SetInnerShadow(bool Value);
    TColor InnerShadowColor() const { return FInnerShadowColor; }
    void SetInnerShadowColor(TColor Value);

protected:
    void DoDrawText(TRect& Rect, uint32_t Flags) override;

private:
    void DrawPlain(TRect& Rect, uint32_t Flags, const String& Text);
    void DrawSmoothed(const TRect& Rect, uint32_t Flags, const String& Text);
    // One supersampled pass in Color, merged onto Back at (X, Y).
    void StrongPass(raster::TBitmap32& Back, uint32_t Flags, const String& Text, TColor Color,
                    int32_t X, int32_t Y);

    int32_t FAntiAliasLevel = 4;
    TSVAntiAliasStyle FAntiAliasStyle = aaStrong;
    bool FInnerShadow = false;
    TColor FInnerShadowColor = 0;
};
