// Imaging annotations: block stream reader and writer.
#include "imaging/core/VLImagingAnnot.h"

#include "imaging/core/VLCanvasOutput.h"
#include "imaging/core/VLDIBConvert.h"
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
        if (type == MarkImage) {
            // The stored DIB is file data: the converter checks it against the block's size.
            auto image = std::make_unique<TVLBitmap>();
            if (CopyDIBToBitmap(FBlocks.Dib.data(), *image, nullptr, true, FBlocks.Dib.size()) != 0)
                object->Image = std::move(image);
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
