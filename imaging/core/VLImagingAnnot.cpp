// Imaging annotations: block stream reader and writer.
#include "imaging/core/VLImagingAnnot.h"

#include "imaging/core/VLCanvasOutput.h"
#include "platform/gfx/GlobalMemory.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

using enum TVLPixelFormat;

// The mark records are copied as they are stored, which is little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr int32_t BlockDefaultNamed = 2;
constexpr int32_t BlockAttributes = 5;
constexpr int32_t BlockMarkNamed = 6;
constexpr size_t BlockHeadSize = 8;
constexpr size_t NameSize = 8;
// Size of the named-block head (name and data size) announced in type 2 and 6 blocks.
constexpr int32_t NamedHeadSize = 12;
constexpr size_t AnoDatImageSize = 56;
constexpr size_t AnTextHeadSize = 16;
constexpr int32_t AnTextScaleOffset = 8;
constexpr int32_t DibDpi = 200;
constexpr int32_t FallbackScreenDpi = 96;

constexpr uint32_t MarkImage = 1;
constexpr uint32_t MarkLine = 3;
constexpr uint32_t MarkFreehand = 4;
constexpr uint32_t MarkFirstText = 7;
constexpr uint32_t MarkLastText = 10;

int32_t ReadI32(const uint8_t* P) {
    int32_t v;
    std::memcpy(&v, P, sizeof(v));
    return v;
}

uint32_t ReadU32(const uint8_t* P) {
    uint32_t v;
    std::memcpy(&v, P, sizeof(v));
    return v;
}

uint16_t ReadU16(const uint8_t* P) {
    uint16_t v;
    std::memcpy(&v, P, sizeof(v));
    return v;
}

void PutI32(std::vector<uint8_t>& Out, int32_t V) {
    const auto u = static_cast<uint32_t>(V);
    for (int shift = 0; shift < 32; shift += 8)
        Out.push_back(static_cast<uint8_t>(u >> shift));
}

bool IsTextMark(uint32_t MarkType) {
    return MarkType >= MarkFirstText && MarkType <= MarkLastText;
}

// Length of the NUL-terminated text at Text, at most Size.
size_t BoundedLength(const char* Text, size_t Size) {
    const void* nul = std::memchr(Text, 0, Size);
    return nul == nullptr ? Size : static_cast<size_t>(static_cast<const char*>(nul) - Text);
}

int32_t ScreenDpi(int32_t Value) {
    return Value > 0 ? Value : FallbackScreenDpi;
}

// A packed device-independent bitmap: the 40-byte header, the colour table, the rows.
constexpr size_t DibHeaderSize = 40;
constexpr uint32_t BI_RGB = 0;

int64_t DibRowLength(int64_t Width, int64_t BitCount) {
    return ((Width * BitCount + 31) / 32) * 4;
}

int64_t DibColorCount(uint16_t BitCount, uint32_t ClrUsed) {
    if (BitCount > 8) return 0;
    return ClrUsed != 0 ? ClrUsed : int64_t{1} << BitCount;
}

// True when Dib is an uncompressed bottom-up DIB of 1, 4, 8, 24 or 32 bits whose header,
// colour table and rows all lie within Size bytes; for indexed depths the full table of
// 2^bits entries must lie within them too, so that no pixel value can index past the block.
bool IsCompleteDib(const uint8_t* Dib, size_t Size) {
    if (Size < DibHeaderSize) return false;
    const uint32_t headerSize = ReadU32(Dib);
    const int32_t width = ReadI32(Dib + 4);
    const int32_t height = ReadI32(Dib + 8);
    const uint16_t bitCount = ReadU16(Dib + 14);
    const uint32_t compression = ReadU32(Dib + 16);
    const uint32_t clrUsed = ReadU32(Dib + 32);
    if (headerSize < DibHeaderSize || headerSize > Size || width <= 0 || height <= 0) return false;
    if (compression != BI_RGB) return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return false;
    const int64_t colors = DibColorCount(bitCount, clrUsed);
    if (colors > 256) return false;
    const int64_t fullTable = bitCount <= 8 ? (int64_t{1} << bitCount) * 4 : 0;
    const int64_t rows = DibRowLength(width, bitCount) * height;
    const auto size = static_cast<int64_t>(Size);
    return int64_t{headerSize} + fullTable <= size &&
           int64_t{headerSize} + colors * 4 + rows <= size;
}

// Converts a packed DIB (header, colour table, bottom-up rows) into Bitmap: 1 bit into vl1g,
// the other depths into vl24RGB. Bits, when given, replaces the pixel data after the table.
// Returns the DIB's bit count. Handles the uncompressed depths IsCompleteDib accepts; colour
// indexes beyond the table give black.
int32_t CopyDIBToBitmap(const void* DIB, TVLBitmap& Bitmap, const void* Bits,
                        [[maybe_unused]] bool IsPointer) {
    const auto* dib = static_cast<const uint8_t*>(DIB);
    const uint32_t headerSize = ReadU32(dib);
    const int32_t width = ReadI32(dib + 4);
    const int32_t height = ReadI32(dib + 8);
    const uint16_t bitCount = ReadU16(dib + 14);
    const int64_t colors = DibColorCount(bitCount, ReadU32(dib + 32));
    const uint8_t* table = dib + headerSize;
    const uint8_t* pixels =
        Bits != nullptr ? static_cast<const uint8_t*>(Bits) : table + colors * 4;
    if (!Bitmap.Allocate(width, height, bitCount == 1 ? vl1g : vl24RGB)) return bitCount;
    const int64_t rowLength = DibRowLength(width, bitCount);
    auto entry = [&](int64_t Index, uint8_t* Out) {
        if (Index < colors)
            std::memcpy(Out, table + Index * 4, 3);
        else
            std::memset(Out, 0, 3);
    };
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = pixels + rowLength * y;
        uint8_t* dst = Bitmap.GetScanline(height - 1 - y);
        switch (bitCount) {
        case 1:
            std::memcpy(dst, src, std::min<int64_t>(rowLength, Bitmap.GetRowLen()));
            break;
        case 4:
            for (int32_t x = 0; x < width; ++x)
                entry(x % 2 == 0 ? src[x / 2] >> 4 : src[x / 2] & 15, dst + 3 * x);
            break;
        case 8:
            for (int32_t x = 0; x < width; ++x)
                entry(src[x], dst + 3 * x);
            break;
        case 24:
            std::memcpy(dst, src, static_cast<size_t>(width) * 3);
            break;
        case 32:
            for (int32_t x = 0; x < width; ++x)
                std::memcpy(dst + 3 * x, src + 4 * x, 3);
            break;
        }
    }
    Bitmap.UnmapAllScanlines();
    return bitCount;
}

// The named blocks of one mark that make its object.
struct TMarkBlocks {
    std::vector<TVLAnnotPoint> Points;
    std::vector<uint8_t> Dib;
    std::vector<uint8_t> AnText;
};

class TAnnotReader {
public:
    TAnnotReader(const uint8_t* Data, size_t Length, TVLImagingAnnot& Annot)
        : FData(Data), FLength(Length), FAnnot(Annot) {}

    // Reads every block; false when damaged data ended the reading early.
    bool Run() {
        if (FLength < BlockHeadSize) return false;
        FOldLayout = ReadI32(FData + 4) == 0;
        FPos = BlockHeadSize;
        TMarkBlocks defaults;
        while (FPos < FLength) {
            if (Remaining() < BlockHeadSize) return false;
            const int32_t type = ReadI32(FData + FPos);
            const int32_t count = ReadI32(FData + FPos + 4);
            FPos += BlockHeadSize;
            bool ok = true;
            if (type == BlockDefaultNamed) {
                ok = ReadNamedBlock(defaults);
            } else if (type == BlockMarkNamed) {
                ok = ReadNamedBlock(FBlocks);
            } else if (type == BlockAttributes) {
                FinishMark();
                ok = ReadAttributes();
            } else {
                // Blocks of other types are passed over by their size.
                ok = count >= 0 && static_cast<size_t>(count) <= Remaining();
                if (ok) FPos += static_cast<size_t>(count);
            }
            if (!ok) return false;
        }
        FinishMark();
        return true;
    }

private:
    size_t Remaining() const { return FLength - FPos; }

    bool ReadAttributes() {
        FBlocks = TMarkBlocks();
        FAttributes = TVLMarkAttributes();
        if (Remaining() < sizeof(TVLMarkAttributes)) return false;
        std::memcpy(&FAttributes, FData + FPos, sizeof(TVLMarkAttributes));
        FPos += sizeof(TVLMarkAttributes);
        return true;
    }

    bool ReadNamedBlock(TMarkBlocks& Into) {
        const size_t headSize = NameSize + 4 + (FOldLayout ? 4 : 0);
        if (Remaining() < headSize) return false;
        const auto* nameBytes = reinterpret_cast<const char*>(FData + FPos);
        const std::string_view name(nameBytes, BoundedLength(nameBytes, NameSize));
        const int32_t size = ReadI32(FData + FPos + NameSize);
        FPos += headSize;
        if (size < 0 || static_cast<size_t>(size) > Remaining()) return false;
        const uint8_t* data = FData + FPos;
        FPos += static_cast<size_t>(size);
        if (name == "OiAnoDat") return ReadPoints(data, static_cast<size_t>(size), Into);
        if (name == "OiDIB") Into.Dib.assign(data, data + size);
        if (name == "OiAnText") Into.AnText.assign(data, data + size);
        return true;
    }

    // Line and freehand marks: maximum count, count k, then k points, all within the block.
    bool ReadPoints(const uint8_t* Data, size_t Size, TMarkBlocks& Into) {
        if (FAttributes.MarkType != MarkLine && FAttributes.MarkType != MarkFreehand) return true;
        if (Size < 8) return false;
        const int32_t count = ReadI32(Data + 4);
        if (count < 0 || static_cast<uint64_t>(count) * 8 > Size - 8) return false;
        Into.Points.resize(static_cast<size_t>(count));
        if (count > 0) std::memcpy(Into.Points.data(), Data + 8, static_cast<size_t>(count) * 8);
        return true;
    }

    void FinishMark() {
        const uint32_t type = FAttributes.MarkType;
        if (type < 1) return;
        auto object = std::make_unique<TVLImagingObject>();
        object->Attributes = FAttributes;
        if (type == MarkImage && IsCompleteDib(FBlocks.Dib.data(), FBlocks.Dib.size())) {
            object->Image = std::make_unique<TVLBitmap>();
            CopyDIBToBitmap(FBlocks.Dib.data(), *object->Image, nullptr, true);
        }
        if (type == MarkLine || type == MarkFreehand) object->Points = FBlocks.Points;
        if (IsTextMark(type) && FBlocks.AnText.size() >= AnTextHeadSize) ReadText(*object);
        FAnnot.Objects.push_back(std::move(object));
        FAttributes = TVLMarkAttributes();
    }

    // The text after the 16-byte head, up to its NUL or the end of the block; the font height
    // is brought from the creation scale to this screen's resolution (a scale of 0 leaves it).
    void ReadText(TVLImagingObject& Object) {
        const auto& block = FBlocks.AnText;
        const auto* text = reinterpret_cast<const char*>(block.data() + AnTextHeadSize);
        Object.Text.assign(text, BoundedLength(text, block.size() - AnTextHeadSize));
        const int32_t scale = ReadI32(block.data() + AnTextScaleOffset);
        if (scale == 0) return;
        const double height =
            72000.0 / scale * Object.Attributes.Font.Height / ScreenDpi(ScreenDpiY);
        Object.Attributes.Font.Height = static_cast<int32_t>(std::clamp<double>(
            static_cast<double>(Round(height)), std::numeric_limits<int32_t>::min(),
            std::numeric_limits<int32_t>::max()));
    }

    const uint8_t* FData;
    size_t FLength;
    TVLImagingAnnot& FAnnot;
    size_t FPos = 0;
    bool FOldLayout = false;
    TVLMarkAttributes FAttributes;
    TMarkBlocks FBlocks;
};

class TAnnotWriter {
public:
    explicit TAnnotWriter(std::vector<uint8_t>& Out) : FOut(Out) {}

    void Header() {
        PutI32(FOut, 0);
        PutI32(FOut, 1);
    }

    void Attributes(const TVLMarkAttributes& Attributes) {
        PutI32(FOut, BlockAttributes);
        PutI32(FOut, sizeof(TVLMarkAttributes));
        const auto* bytes = reinterpret_cast<const uint8_t*>(&Attributes);
        FOut.insert(FOut.end(), bytes, bytes + sizeof(TVLMarkAttributes));
    }

    void Named(int32_t BlockType, std::string_view Name, const std::vector<uint8_t>& Data) {
        PutI32(FOut, BlockType);
        PutI32(FOut, NamedHeadSize);
        char name[NameSize] = {};
        std::memcpy(name, Name.data(), std::min(Name.size(), NameSize));
        FOut.insert(FOut.end(), name, name + NameSize);
        PutI32(FOut, static_cast<int32_t>(Data.size()));
        FOut.insert(FOut.end(), Data.begin(), Data.end());
    }

    void NamedText(int32_t BlockType, std::string_view Name, const AnsiString& Text) {
        std::vector<uint8_t> data(Text.begin(), Text.end());
        data.push_back(0);
        Named(BlockType, Name, data);
    }

private:
    std::vector<uint8_t>& FOut;
};

std::vector<uint8_t> ImageAnoDat() {
    std::vector<uint8_t> data;
    const int32_t dpiX = ScreenDpi(ScreenDpiX);
    const int32_t dpiY = ScreenDpi(ScreenDpiY);
    for (int32_t v : {1, 1000, dpiX, dpiY, dpiX, dpiY, 0, 0})
        PutI32(data, v);
    data.resize(AnoDatImageSize, 0);
    return data;
}

std::vector<uint8_t> PointsAnoDat(const std::vector<TVLAnnotPoint>& Points) {
    std::vector<uint8_t> data;
    PutI32(data, static_cast<int32_t>(Points.size()));
    PutI32(data, static_cast<int32_t>(Points.size()));
    for (const TVLAnnotPoint& p : Points) {
        PutI32(data, p.X);
        PutI32(data, p.Y);
    }
    return data;
}

std::vector<uint8_t> AnTextData(const AnsiString& Text) {
    std::vector<uint8_t> data;
    PutI32(data, 0);
    PutI32(data, 1000);
    PutI32(data, static_cast<int32_t>(Trunc(72000.0 / ScreenDpi(ScreenDpiY))));
    PutI32(data, static_cast<int32_t>(Text.size()));
    data.insert(data.end(), Text.begin(), Text.end());
    data.push_back(0);
    return data;
}

} // namespace

void TVLImagingAnnot::Assign(const TVLImagingAnnot* Source) {
    if (Source == nullptr || Source == this) return;
    Clear();
    for (const auto& source : Source->Objects) {
        auto object = std::make_unique<TVLImagingObject>();
        object->Attributes = source->Attributes;
        object->Points = source->Points;
        object->Text = source->Text;
        if (source->Image) {
            object->Image = std::make_unique<TVLBitmap>();
            object->Image->Assign(source->Image.get());
        }
        Objects.push_back(std::move(object));
    }
}

void TVLImagingAnnot::LoadFromBuffer(const void* Data, int32_t Length) {
    Clear();
    if (Data != nullptr && Length > 0) {
        TAnnotReader reader(static_cast<const uint8_t*>(Data), static_cast<size_t>(Length), *this);
        reader.Run();
    }
    UserChanged = false;
}

std::vector<uint8_t> TVLImagingAnnot::SaveToBuffer() {
    std::vector<uint8_t> out;
    if (Objects.empty()) return out;
    TAnnotWriter writer(out);
    writer.Header();
    writer.NamedText(BlockDefaultNamed, "OiGroup", "0");
    writer.NamedText(BlockDefaultNamed, "OiIndex", "1");
    for (size_t i = 0; i < Objects.size(); ++i) {
        TVLImagingObject& object = *Objects[i];
        const uint32_t type = object.Attributes.MarkType;
        writer.Attributes(object.Attributes);
        if (type == MarkImage) {
            writer.Named(BlockMarkNamed, "OiAnoDat", ImageAnoDat());
            if (object.Image) {
                if (HGLOBAL dib = _CopyBitmaptoDIBEx(*object.Image, 0, 0, 0, 0, DibDpi, DibDpi)) {
                    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(dib));
                    writer.Named(BlockMarkNamed, "OiDIB",
                                 std::vector<uint8_t>(bytes, bytes + GlobalSize(dib)));
                    GlobalUnlock(dib);
                    GlobalFree(dib);
                }
            }
        } else if (type == MarkLine || type == MarkFreehand) {
            writer.Named(BlockMarkNamed, "OiAnoDat", PointsAnoDat(object.Points));
        } else if (IsTextMark(type)) {
            writer.Named(BlockMarkNamed, "OiAnText", AnTextData(object.Text));
        }
        writer.NamedText(BlockMarkNamed, "OiGroup", "0");
        writer.NamedText(BlockMarkNamed, "OiIndex", std::to_string(i));
    }
    return out;
}
