// The class library's font over logical fonts.
#include "platform/gfx/Font.h"

#include "platform/gfx/GdiInternal.h"
#include "platform/rtl/WinApi.h"

#include <algorithm>

void TGraphicsObject::Changed() {
    if (OnChange) OnChange(this);
    FreeHandle();
}

TFont::TFont() = default;

TFont::~TFont() {
    FreeHandle();
}

template <class T> void TFont::Set(T& Field, const T& Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
}

void TFont::Assign(const TFont& Source) {
    if (&Source == this) return;
    FName = Source.FName;
    FHeight = Source.FHeight;
    FStyle = Source.FStyle;
    FColor = Source.FColor;
    FCharset = Source.FCharset;
    FPitch = Source.FPitch;
    FOrientation = Source.FOrientation;
    FQuality = Source.FQuality;
    FPixelsPerInch = Source.FPixelsPerInch;
    Changed();
}

void TFont::SetName(const String& Value) {
    if (!Value.empty()) Set(FName, Value);
}
void TFont::SetHeight(int32_t Value) {
    Set(FHeight, Value);
}
int32_t TFont::Size() const {
    return -MulDiv(FHeight, 72, FPixelsPerInch);
}
void TFont::SetSize(int32_t Value) {
    SetHeight(-MulDiv(Value, FPixelsPerInch, 72));
}
void TFont::SetStyle(TFontStyles Value) {
    Set(FStyle, Value);
}
void TFont::SetColor(TColor Value) {
    Set(FColor, Value);
}
void TFont::SetCharset(TFontCharset Value) {
    Set(FCharset, Value);
}
void TFont::SetPitch(TFontPitch Value) {
    Set(FPitch, Value);
}
void TFont::SetOrientation(int32_t Value) {
    Set(FOrientation, Value);
}
void TFont::SetQuality(TFontQuality Value) {
    Set(FQuality, Value);
}
void TFont::SetPixelsPerInch(int32_t Value) {
    if (Value > 0) Set(FPixelsPerInch, Value);
}

LOGFONTW TFont::LogFont() const {
    LOGFONTW lf;
    lf.lfHeight = FHeight;
    lf.lfEscapement = FOrientation;
    lf.lfOrientation = FOrientation;
    lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FStyle.Contains(fsItalic);
    lf.lfUnderline = FStyle.Contains(fsUnderline);
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut);
    lf.lfCharSet = FCharset;
    lf.lfQuality = static_cast<uint8_t>(FQuality);
    lf.lfPitchAndFamily = FPitch == fpFixed      ? FIXED_PITCH
                          : FPitch == fpVariable ? VARIABLE_PITCH
                                                 : DEFAULT_PITCH;
    const size_t n = std::min<size_t>(FName.size(), LF_FACESIZE - 1);
    std::copy(FName.begin(), FName.begin() + static_cast<ptrdiff_t>(n), lf.lfFaceName);
    lf.lfFaceName[n] = 0;
    return lf;
}

HFONT TFont::Handle() {
    if (FHandle == nullptr) {
        const LOGFONTW lf = LogFont();
        FHandle = CreateFontIndirectW(&lf);
        platform::detail::Lookup<TGdiFont>(FHandle)->OwnerManaged = true;
    }
    return FHandle;
}

void TFont::SetHandle(HFONT Value) {
    TGdiFont* font = platform::detail::Lookup<TGdiFont>(Value);
    if (font == nullptr || Value == FHandle) return;
    const LOGFONTW& lf = font->Log;
    if (OnChange) OnChange(this);
    FreeHandle();
    FName = String(lf.lfFaceName, std::char_traits<char16_t>::length(lf.lfFaceName));
    FHeight = lf.lfHeight;
    FStyle = {};
    if (lf.lfWeight >= FW_BOLD) FStyle.Include(fsBold);
    if (lf.lfItalic) FStyle.Include(fsItalic);
    if (lf.lfUnderline) FStyle.Include(fsUnderline);
    if (lf.lfStrikeOut) FStyle.Include(fsStrikeOut);
    FCharset = lf.lfCharSet;
    FPitch = (lf.lfPitchAndFamily & 3) == FIXED_PITCH      ? fpFixed
             : (lf.lfPitchAndFamily & 3) == VARIABLE_PITCH ? fpVariable
                                                           : fpDefault;
    FOrientation = lf.lfEscapement;
    FQuality = static_cast<TFontQuality>(std::min<uint8_t>(lf.lfQuality, fqClearTypeNatural));
    font->OwnerManaged = true;
    FHandle = Value;
}

void TFont::FreeHandle() {
    if (FHandle == nullptr) return;
    platform::detail::ForceDeleteObject(platform::detail::Lookup<TGdiFont>(FHandle));
    FHandle = nullptr;
}
