// Unit Raster_OrdinalMaps: two-dimensional grids of bits, bytes, 16-bit words and 32-bit integers
// sized like bitmaps, and the byte map's exchange with one channel or the grey level of a bitmap.
#pragma once

#include "raster/Bitmap32.h"

#include <vector>

namespace raster {

enum TConversionType : uint8_t {
    ctRed,
    ctGreen,
    ctBlue,
    ctAlpha,
    ctUniformRGB,
    ctWeightedRGB
};

// Cells are stored row after row (index X + Y * Width); no member checks coordinates. Resizing
// keeps the stored bytes where they are (new ones are zero), so after a width change old cells
// appear at other coordinates.
class TBooleanMap : public TCustomMap {
public:
    bool GetValue(int32_t X, int32_t Y) const;
    void SetValue(int32_t X, int32_t Y, bool Value);
    void ToggleBit(int32_t X, int32_t Y);
    // Cell i is bit i mod 8 of byte i div 8.
    uint8_t* GetBits() { return FBits.data(); }
    // Every storage byte becomes FillValue; no notice.
    void Clear(uint8_t FillValue);
    bool Empty() const override { return FBits.empty(); }

protected:
    void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                    int32_t NewHeight) override;

private:
    std::vector<uint8_t> FBits;
};

class TByteMap : public TCustomMap {
public:
    uint8_t GetValue(int32_t X, int32_t Y) const { return FBits[Index(X, Y)]; }
    void SetValue(int32_t X, int32_t Y, uint8_t Value) { FBits[Index(X, Y)] = Value; }
    uint8_t* GetValPtr(int32_t X, int32_t Y) { return FBits.data() + Index(X, Y); }
    uint8_t* GetBits() { return FBits.data(); }
    void Clear(uint8_t FillValue);
    bool Empty() const override;

    // Sizes the map to Bitmap and takes one channel or a grey level of every pixel.
    void ReadFrom(TBitmap32& Bitmap, TConversionType Conversion);
    // Sizes Bitmap to the map; a channel conversion writes that byte of every pixel and keeps the
    // others, a grey conversion makes every pixel the opaque grey of its cell.
    void WriteTo(TBitmap32& Bitmap, TConversionType Conversion);
    // Every pixel becomes Palette[cell].
    void WriteTo(TBitmap32& Bitmap, const TPalette32& Palette);
    // A byte map is copied; a bitmap is read as weighted grey; anything else raises.
    void Assign(TPersistent* Source) override;
    // A bitmap gets the cells as uniform grey; anything else raises.
    void AssignTo(TPersistent* Dest);

protected:
    void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                    int32_t NewHeight) override;

private:
    int64_t Index(int32_t X, int32_t Y) const { return X + int64_t{Y} * Width(); }

    std::vector<uint8_t> FBits;
};

class TWordMap : public TCustomMap {
public:
    uint16_t GetValue(int32_t X, int32_t Y) const { return FBits[Index(X, Y)]; }
    void SetValue(int32_t X, int32_t Y, uint16_t Value) { FBits[Index(X, Y)] = Value; }
    uint16_t* GetValPtr(int32_t X, int32_t Y) { return FBits.data() + Index(X, Y); }
    uint16_t* GetBits() { return FBits.data(); }
    void Clear(uint16_t FillValue);
    bool Empty() const override { return FBits.empty(); }

protected:
    void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                    int32_t NewHeight) override;

private:
    int64_t Index(int32_t X, int32_t Y) const { return X + int64_t{Y} * Width(); }

    std::vector<uint16_t> FBits;
};

class TIntegerMap : public TCustomMap {
public:
    int32_t GetValue(int32_t X, int32_t Y) const { return FBits[Index(X, Y)]; }
    void SetValue(int32_t X, int32_t Y, int32_t Value) { FBits[Index(X, Y)] = Value; }
    int32_t* GetValPtr(int32_t X, int32_t Y) { return FBits.data() + Index(X, Y); }
    int32_t* GetBits() { return FBits.data(); }
    void Clear(int32_t FillValue);
    bool Empty() const override { return FBits.empty(); }

protected:
    void ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                    int32_t NewHeight) override;

private:
    int64_t Index(int32_t X, int32_t Y) const { return X + int64_t{Y} * Width(); }

    std::vector<int32_t> FBits;
};

} // namespace raster
