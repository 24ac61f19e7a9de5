// The class library's font and the base of its drawing-tool objects.
#pragma once

#include "platform/gfx/Gdi.h"
#include "platform/rtl/Classes.h"

#include <initializer_list>

// Pen, brush and font of a canvas: changing a property fires OnChange (the canvas lets go of
// the old handle) and frees the handle; the next request makes a new one.
class TGraphicsObject : public TPersistent {
public:
    TNotifyEvent OnChange;

protected:
    void Changed();
    virtual void FreeHandle() = 0;
};

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of font styles.
class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> Styles) {
        for (TFontStyle s : Styles)
            FBits = static_cast<uint8_t>(FBits | (1u << s));
    }
    constexpr bool Contains(TFontStyle Style) const { return (FBits >> Style) & 1; }
    constexpr TFontStyles& Include(TFontStyle Style) {
        FBits = static_cast<uint8_t>(FBits | (1u << Style));
        return *this;
    }
    constexpr TFontStyles& Exclude(TFontStyle Style) {
        FBits = static_cast<uint8_t>(FBits & ~(1u << Style));
        return *this;
    }
    constexpr bool Empty() const { return FBits == 0; }
    friend constexpr bool operator==(TFontStyles, TFontStyles) = default;

private:
    uint8_t FBits = 0;
};

enum TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
enum TFontQuality : uint8_t {
    fqDefault,
    fqDraft,
    fqProof,
    fqNonAntialiased,
    fqAntialiased,
    fqClearType,
    fqClearTypeNatural
};
using TFontCharset = uint8_t;

// Name, size and style of text. Height < 0 is the character height in pixels, > 0 the cell
// height; Size is in points at PixelsPerInch (96).
class TFont : public TGraphicsObject {
public:
    TFont();
    ~TFont() override;
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;
    void Assign(const TFont& Source);

    const String& Name() const { return FName; }
    void SetName(const String& Value);
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t Value);
    int32_t Size() const;
    void SetSize(int32_t Value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles Value);
    TColor Color() const { return FColor; }
    void SetColor(TColor Value);
    TFontCharset Charset() const { return FCharset; }
    void SetCharset(TFontCharset Value);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch Value);
    // Angle of the text in tenths of a degree, counter-clockwise.
    int32_t Orientation() const { return FOrientation; }
    void SetOrientation(int32_t Value);
    TFontQuality Quality() const { return FQuality; }
    void SetQuality(TFontQuality Value);
    int32_t PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int32_t Value);

    // The logical font these properties describe, made on first request and owned by the font.
    HFONT Handle();
    // Takes over Value (the font frees it) and takes name, height, style, charset, pitch,
    // orientation and quality from it; the colour stays.
    void SetHandle(HFONT Value);
    LOGFONTW LogFont() const;

protected:
    void FreeHandle() override;

private:
    template <class T> void Set(T& Field, const T& Value);

    String FName = u"Tahoma";
    int32_t FHeight = -11;
    TFontStyles FStyle;
    TColor FColor = clWindowText;
    TFontCharset FCharset = DEFAULT_CHARSET;
    TFontPitch FPitch = fpDefault;
    int32_t FOrientation = 0;
    TFontQuality FQuality = fqDefault;
    int32_t FPixelsPerInch = 96;
    HFONT FHandle = nullptr;
};
