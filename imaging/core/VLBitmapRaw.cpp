// The bitmap's raw dump "TVLBITMAPRAW": palette, rendering settings, row alignment, the pixel
// rows as the bitmap keeps them and the alpha channel, little-endian and unpadded.
#include "imaging/core/VLBitmap.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

using enum TVLPixelFormat;
using namespace imaging_core::detail;

namespace {

constexpr std::array<char, 12> RawMagic = {'T', 'V', 'L', 'B', 'I', 'T',
                                           'M', 'A', 'P', 'R', 'A', 'W'};
// Bytes of the header without the palette: magic, version, palette length and the fields
// between the palette and the rows.
constexpr int64_t RawHeaderBytes = 75;

// Writes the dump sequentially to a caller's block or to a stream.
class TRawWriter {
public:
    TRawWriter(uint8_t* Buffer, TStream* Stream) : FBuffer(Buffer), FStream(Stream) {}
    void Put(const void* Data, size_t Count) {
        if (Count == 0) return;
        if (FBuffer != nullptr) {
            std::memcpy(FBuffer, Data, Count);
            FBuffer += Count;
        } else {
            FStream->WriteBuffer(Data, static_cast<int64_t>(Count));
        }
    }
    template <typename T> void Value(T V) { Put(&V, sizeof(T)); }
    // Grows a stream once by Bytes instead of many times while writing, when memory allows.
    void Reserve(int64_t Bytes) {
        if (FStream == nullptr) return;
        try {
            const int64_t size = FStream->GetSize() + Bytes;
            if (size < GetPhysicalMemory(true)) FStream->SetSize(size);
        } catch (const Exception&) {
        }
    }

private:
    uint8_t* FBuffer;
    TStream* FStream;
};

// Reads the dump, refusing short reads and sizes beyond the bytes that are left.
class TRawReader {
public:
    explicit TRawReader(TStream& Stream)
        : FStream(Stream), FLeft(Stream.GetSize() - Stream.GetPosition()) {}
    bool Get(void* Data, int64_t Count) {
        if (Count < 0 || Count > FLeft) return false;
        FLeft -= Count;
        auto* dst = static_cast<uint8_t*>(Data);
        while (Count > 0) {
            const auto chunk = static_cast<int32_t>(std::min<int64_t>(Count, 1 << 30));
            if (FStream.Read(dst, chunk) != chunk) return false;
            dst += chunk;
            Count -= chunk;
        }
        return true;
    }
    template <typename T> bool Value(T& V) { return Get(&V, sizeof(T)); }
    int64_t Left() const { return FLeft; }

private:
    TStream& FStream;
    int64_t FLeft;
};

// The fields between the palette and the rows.
struct TRawFields {
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t PixelFormat = 0;
    uint8_t Full = 0;
    int32_t PaletteUsed = 0;
    double BlackValue = 0;
    double WhiteValue = 0;
    int32_t ChannelOffset[4] = {0, 0, 0, 0};
    uint8_t EnableChannelOffset = 0;
    int32_t Contrast = 0;
    int32_t BitAlignment = 0;

    bool Read(TRawReader& In) {
        return In.Value(Width) && In.Value(Height) && In.Value(PixelFormat) && In.Value(Full) &&
               In.Value(PaletteUsed) && In.Value(BlackValue) && In.Value(WhiteValue) &&
               In.Get(ChannelOffset, sizeof(ChannelOffset)) && In.Value(EnableChannelOffset) &&
               In.Value(Contrast) && In.Value(BitAlignment);
    }
    // A format code, an alignment and sizes the library knows; both sizes 0 is the dump of an
    // empty bitmap.
    bool Valid() const {
        const bool alignment = IsRowAlignment(BitAlignment);
        const bool empty = Width == 0 && Height == 0;
        return alignment && PixelFormat < VLPixelFormatCount &&
               (empty || (Width > 0 && Height > 0 && PixelFormat != 0));
    }
};

void WriteRows(TVLBitmap& Bitmap, TRawWriter& Out) {
    TRowPassScope reading(Bitmap, VLAccessRead);
    const auto rowLen = static_cast<size_t>(Bitmap.GetRowLen());
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y)
        Out.Put(CheckedScanline(Bitmap, y), rowLen);
}

bool ReadRows(TRawReader& In, TVLBitmap& Bitmap) {
    const int32_t height = Bitmap.GetHeight();
    const int64_t rowLen = Bitmap.GetRowLen();
    if (rowLen * height > In.Left()) return false;
    TRowPassScope writing(Bitmap, VLAccessWrite);
    for (int32_t y = 0; y < height; ++y)
        if (!In.Get(CheckedScanline(Bitmap, y), rowLen)) return false;
    return true;
}

// A new bitmap, stored like Target would store it, holding the dump's image; nil when the bytes
// are not a complete dump or the pixels cannot be had.
std::unique_ptr<TVLBitmap> ReadDump(TRawReader& In, TVLBitmap& Target) {
    std::array<char, 12> magic{};
    int32_t version = 0, paletteLength = 0;
    if (!In.Get(magic.data(), magic.size()) || magic != RawMagic || !In.Value(version) ||
        version < 0 || !In.Value(paletteLength) || paletteLength < 0 || paletteLength > 256)
        return nullptr;
    std::array<TVLRGB, 256> palette{};
    TRawFields f;
    if (!In.Get(palette.data(), 3 * int64_t{paletteLength}) || !f.Read(In) || !f.Valid())
        return nullptr;

    auto bitmap = std::make_unique<TVLBitmap>();
    bitmap->MinFileSize = Target.MinFileSize;
    bitmap->MemoryAllocator = Target.MemoryAllocator;
    bitmap->IsAlpha = Target.IsAlpha;
    if (Target.GetLocation() != TVLLocation::vlTBitmap) bitmap->SetLocation(Target.GetLocation());
    bitmap->SetBitAlignment(f.BitAlignment);
    const auto format = static_cast<TVLPixelFormat>(f.PixelFormat);
    if (f.Width > 0) {
        const int64_t rowLen =
            AlignedRowLength(f.Width, PixelFormatInfo(format).BitCount, f.BitAlignment);
        if (rowLen > In.Left() / f.Height || !bitmap->Allocate(f.Width, f.Height, format))
            return nullptr;
    }
    for (int32_t i = 0; i < std::min(paletteLength, bitmap->GetPaletteLength()); ++i)
        bitmap->GetPalette()[i] = palette[i];
    bitmap->PaletteUsed = f.PaletteUsed;
    bitmap->BlackValue = f.BlackValue;
    bitmap->WhiteValue = f.WhiteValue;
    std::copy_n(f.ChannelOffset, 4, bitmap->ChannelOffset);
    bitmap->EnableChannelOffset = f.EnableChannelOffset != 0;
    bitmap->Contrast = f.Contrast;
    if (!ReadRows(In, *bitmap)) return nullptr;
    bitmap->Full = f.Full != 0;

    uint8_t hasAlpha = 0;
    if (!In.Value(hasAlpha) || hasAlpha > 1) return nullptr;
    if (hasAlpha == 1) {
        TVLBitmap* alpha = bitmap->GetAlphaChannel();
        uint8_t full = 0;
        if (alpha == nullptr || !ReadRows(In, *alpha) || !In.Value(full)) return nullptr;
        alpha->Full = full != 0;
    }
    return bitmap;
}

} // namespace

int64_t TVLBitmap::GetRawSize() {
    const int64_t pixels = static_cast<int64_t>(GetRowLen()) * GetHeight();
    int64_t size = RawHeaderBytes + 3 * int64_t{GetPaletteLength()} + pixels + 1;
    if (HasAlphaChannel())
        size += static_cast<int64_t>(FAlphaChannel->GetRowLen()) * FAlphaChannel->GetHeight() + 1;
    return size;
}

void TVLBitmap::SaveRaw(void* Buffer, TStream* Stream) {
    if (Buffer == nullptr && Stream == nullptr) return;
    TRawWriter out(static_cast<uint8_t*>(Buffer), Stream);
    const int32_t paletteLength = GetPaletteLength();
    out.Put(RawMagic.data(), RawMagic.size());
    out.Value(int32_t{0});
    out.Value(paletteLength);
    out.Put(FPalette.get(), 3 * static_cast<size_t>(paletteLength));
    out.Value(GetWidth());
    out.Value(GetHeight());
    out.Value(static_cast<uint8_t>(GetPixelFormat()));
    out.Value(static_cast<uint8_t>(Full));
    out.Value(PaletteUsed);
    out.Value(BlackValue);
    out.Value(WhiteValue);
    out.Put(ChannelOffset, sizeof(ChannelOffset));
    out.Value(static_cast<uint8_t>(EnableChannelOffset));
    out.Value(Contrast);
    // The alignment the rows below have: a class-library bitmap pads them to 32 bits.
    out.Value(FLocation == TVLLocation::vlTBitmap ? int32_t{32} : FBitAlignment);
    out.Reserve(static_cast<int64_t>(GetRowLen()) * GetHeight());
    WriteRows(*this, out);
    out.Value(static_cast<uint8_t>(HasAlphaChannel()));
    if (!HasAlphaChannel()) return;
    out.Reserve(static_cast<int64_t>(FAlphaChannel->GetRowLen()) * FAlphaChannel->GetHeight());
    WriteRows(*FAlphaChannel, out);
    out.Value(static_cast<uint8_t>(FAlphaChannel->Full));
}

bool TVLBitmap::LoadRaw(const void* Buffer, int64_t BufferSize, TStream* Stream) {
    std::unique_ptr<TVLMemStream> memory;
    if (Buffer != nullptr) {
        memory = std::make_unique<TVLMemStream>(const_cast<void*>(Buffer),
                                                std::max<int64_t>(BufferSize, 0));
        Stream = memory.get();
    }
    if (Stream == nullptr) return false;
    std::unique_ptr<TVLBitmap> loaded;
    try {
        TRawReader in(*Stream);
        loaded = ReadDump(in, *this);
    } catch (const EOutOfMemory&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!loaded) return false;
    if (FLocation == TVLLocation::vlTBitmap && !loaded->IsEmpty() &&
        ClassBitmapHolds(loaded->GetPixelFormat())) {
        // The pixels go into the class-library bitmap already held, which a caller may have
        // encapsulated and still be looking at.
        Assign(loaded.get());
        if (GetWidth() != loaded->GetWidth() || GetHeight() != loaded->GetHeight()) return false;
    } else {
        const bool isAlpha = IsAlpha;
        loaded->MoveContentsTo(*this);
        IsAlpha = isAlpha;
    }
    PaletteUsed = loaded->PaletteUsed;
    BlackValue = loaded->BlackValue;
    WhiteValue = loaded->WhiteValue;
    std::copy_n(loaded->ChannelOffset, 4, ChannelOffset);
    EnableChannelOffset = loaded->EnableChannelOffset;
    Contrast = loaded->Contrast;
    return true;
}
