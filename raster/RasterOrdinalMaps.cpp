// The bit, byte, word and integer maps.
#include "raster/RasterOrdinalMaps.h"

#include "raster/RasterLowLevel.h"

#include "platform/rtl/ClassName.h"

namespace raster {

namespace {

size_t CellCount(int32_t Width, int32_t Height) {
    return static_cast<size_t>(int64_t{Width} * Height);
}

// Ends an update and notifies also when the work raised.
template <class MapT, class Work> void InUpdate(MapT& Map, Work&& work) {
    Map.BeginUpdate();
    try {
        work();
    } catch (...) {
        Map.EndUpdate();
        Map.Changed();
        throw;
    }
    Map.EndUpdate();
    Map.Changed();
}

uint8_t ChannelOf(TColor32 Pixel, TConversionType Conversion) {
    const uint32_t r = (Pixel >> 16) & 0xFF, g = (Pixel >> 8) & 0xFF, b = Pixel & 0xFF;
    switch (Conversion) {
    case ctRed: return static_cast<uint8_t>(r);
    case ctGreen: return static_cast<uint8_t>(g);
    case ctBlue: return static_cast<uint8_t>(b);
    case ctAlpha: return static_cast<uint8_t>(Pixel >> 24);
    case ctUniformRGB: return static_cast<uint8_t>((r + g + b) / 3);
    case ctWeightedRGB: return static_cast<uint8_t>(Intensity(Pixel));
    }
    return 0;
}

} // namespace

bool TBooleanMap::GetValue(int32_t X, int32_t Y) const {
    const int64_t i = X + int64_t{Y} * Width();
    return (FBits[i >> 3] >> (i & 7) & 1) != 0;
}

void TBooleanMap::SetValue(int32_t X, int32_t Y, bool Value) {
    const int64_t i = X + int64_t{Y} * Width();
    const auto bit = static_cast<uint8_t>(1u << (i & 7));
    if (Value)
        FBits[i >> 3] |= bit;
    else
        FBits[i >> 3] &= static_cast<uint8_t>(~bit);
}

void TBooleanMap::ToggleBit(int32_t X, int32_t Y) {
    const int64_t i = X + int64_t{Y} * Width();
    FBits[i >> 3] ^= static_cast<uint8_t>(1u << (i & 7));
}

void TBooleanMap::Clear(uint8_t FillValue) {
    std::fill(FBits.begin(), FBits.end(), FillValue);
}

void TBooleanMap::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                             int32_t NewHeight) {
    FBits.resize((CellCount(NewWidth, NewHeight) + 7) / 8);
    AWidth = NewWidth;
    AHeight = NewHeight;
}

void TByteMap::Clear(uint8_t FillValue) {
    std::fill(FBits.begin(), FBits.end(), FillValue);
    Changed();
}

bool TByteMap::Empty() const {
    return Width() == 0 || Height() == 0 || FBits.empty();
}

void TByteMap::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                          int32_t NewHeight) {
    FBits.resize(CellCount(NewWidth, NewHeight));
    AWidth = NewWidth;
    AHeight = NewHeight;
}

void TByteMap::ReadFrom(TBitmap32& Bitmap, TConversionType Conversion) {
    InUpdate(*this, [&] {
        SetSize(Bitmap.Width(), Bitmap.Height());
        if (Empty()) return;
        const TColor32* pixel = Bitmap.Bits();
        for (uint8_t& cell : FBits)
            cell = ChannelOf(*pixel++, Conversion);
    });
}

void TByteMap::WriteTo(TBitmap32& Bitmap, TConversionType Conversion) {
    Bitmap.BeginUpdate();
    bool resized = false;
    try {
        resized = Bitmap.SetSize(Width(), Height());
        if (!Empty()) {
            TColor32* pixel = Bitmap.Bits();
            for (const uint8_t cell : FBits) {
                if (Conversion <= ctAlpha) {
                    const uint32_t shift = Conversion == ctRed     ? 16
                                           : Conversion == ctGreen ? 8
                                           : Conversion == ctBlue  ? 0
                                                                   : 24;
                    *pixel = (*pixel & ~(0xFFu << shift)) | uint32_t{cell} << shift;
                } else {
                    *pixel = Gray32(cell);
                }
                ++pixel;
            }
        }
    } catch (...) {
        Bitmap.EndUpdate();
        Bitmap.Changed();
        if (resized) Bitmap.Resized();
        throw;
    }
    Bitmap.EndUpdate();
    Bitmap.Changed();
    if (resized) Bitmap.Resized();
}

void TByteMap::WriteTo(TBitmap32& Bitmap, const TPalette32& Palette) {
    Bitmap.BeginUpdate();
    try {
        Bitmap.SetSize(Width(), Height());
        if (!Empty()) {
            TColor32* pixel = Bitmap.Bits();
            for (const uint8_t cell : FBits)
                *pixel++ = Palette[cell];
        }
    } catch (...) {
        Bitmap.EndUpdate();
        throw;
    }
    Bitmap.EndUpdate();
    Bitmap.Changed();
}

void TByteMap::Assign(TPersistent* Source) {
    InUpdate(*this, [&] {
        if (auto* map = dynamic_cast<TByteMap*>(Source)) {
            SetSize(map->Width(), map->Height());
            FBits = map->FBits;
        } else if (auto* bitmap = dynamic_cast<TBitmap32*>(Source)) {
            ReadFrom(*bitmap, ctWeightedRGB);
        } else {
            TCustomMap::Assign(Source);
        }
    });
}

void TByteMap::AssignTo(TPersistent* Dest) {
    if (auto* bitmap = dynamic_cast<TBitmap32*>(Dest)) {
        WriteTo(*bitmap, ctUniformRGB);
        return;
    }
    const String to = Dest != nullptr ? ClassName(*Dest) : u"nil";
    throw Exception(u"Cannot assign a " + ClassName(*this) + u" to a " + to);
}

void TWordMap::Clear(uint16_t FillValue) {
    FillWord(FBits.data(), static_cast<int32_t>(FBits.size()), FillValue);
    Changed();
}

void TWordMap::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                          int32_t NewHeight) {
    FBits.resize(CellCount(NewWidth, NewHeight));
    AWidth = NewWidth;
    AHeight = NewHeight;
}

void TIntegerMap::Clear(int32_t FillValue) {
    FillLongword(FBits.data(), static_cast<int32_t>(FBits.size()),
                 static_cast<uint32_t>(FillValue));
    Changed();
}

void TIntegerMap::ChangeSize(int32_t& AWidth, int32_t& AHeight, int32_t NewWidth,
                             int32_t NewHeight) {
    FBits.resize(CellCount(NewWidth, NewHeight));
    AWidth = NewWidth;
    AHeight = NewHeight;
}

} // namespace raster
