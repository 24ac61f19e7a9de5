// ICC colour profiles on LittleCMS.
#include "imaging/core/VLICC.h"

#include "imaging/core/CoreInternal.h"

#include <lcms2.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>

using enum TVLPixelFormat;

using imaging_core::detail::TAccessScope;

namespace {

constexpr size_t HeaderSize = 128;
constexpr size_t TagTableOffset = 132;
constexpr size_t TagEntrySize = 12;
constexpr uint32_t MaxTagCount = 1000;
// Limits of the plain-text tags and of the texts kept.
constexpr size_t MaxTextTagSize = 1000;
constexpr size_t MaxTextLength = 1000;
constexpr size_t CprtTextStart = 8;
constexpr size_t DescTextStart = 12;
constexpr size_t MlucRecordsStart = 16;
constexpr size_t MlucRecordSize = 12;

std::atomic<uint64_t> NextSerial{1};

uint32_t ReadBE32(const uint8_t* P) {
    return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3];
}

bool HasSignature(const uint8_t* P, std::string_view Signature) {
    return std::memcmp(P, Signature.data(), 4) == 0;
}

// The NUL-terminated text from Start within the Size bytes of a plain text or description tag.
std::optional<AnsiString> PlainTagText(const uint8_t* Tag, size_t Size, size_t Start) {
    if (Size >= MaxTextTagSize || Size <= Start) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(Tag + Start);
    const void* nul = std::memchr(text, 0, Size - Start);
    const size_t length =
        nul == nullptr ? Size - Start : static_cast<size_t>(static_cast<const char*>(nul) - text);
    if (length >= MaxTextLength) return std::nullopt;
    return AnsiString(text, length);
}

// A multi-localised Unicode tag: the English record (else the first), its UTF-16 big-endian
// text narrowed to single bytes, characters above 255 as "?".
std::optional<AnsiString> MlucTagText(const uint8_t* Tag, size_t Size) {
    if (Size < MlucRecordsStart) return std::nullopt;
    const uint32_t records = ReadBE32(Tag + 8);
    const uint32_t recordSize = ReadBE32(Tag + 12);
    if (records == 0 || recordSize < MlucRecordSize ||
        uint64_t{records} * recordSize > Size - MlucRecordsStart)
        return std::nullopt;
    const uint8_t* chosen = Tag + MlucRecordsStart;
    for (uint32_t i = 0; i < records; ++i) {
        const uint8_t* record = Tag + MlucRecordsStart + size_t{i} * recordSize;
        if (record[0] == 'e' && record[1] == 'n') {
            chosen = record;
            break;
        }
    }
    const uint32_t length = ReadBE32(chosen + 4);
    const uint32_t offset = ReadBE32(chosen + 8);
    if (offset > Size || length > Size - offset) return std::nullopt;
    AnsiString text;
    for (uint32_t i = 0; i + 1 < length; i += 2) {
        const uint32_t unit = (uint32_t{Tag[offset + i]} << 8) | Tag[offset + i + 1];
        if (unit == 0) break;
        text += unit < 256 ? static_cast<char>(unit) : '?';
    }
    if (text.size() >= MaxTextLength) return std::nullopt;
    return text;
}

std::optional<AnsiString> TagText(const uint8_t* Tag, size_t Size, size_t PlainStart) {
    if (Size >= 4 && HasSignature(Tag, "mluc")) return MlucTagText(Tag, Size);
    return PlainTagText(Tag, Size, PlainStart);
}

// The engine's pixel type of each layout code; 0 for an unknown code.
cmsUInt32Number PixelType(int32_t Code) {
    constexpr bool littleEndian = std::endian::native == std::endian::little;
    switch (Code) {
    case ICCFormatRGB:
        return TYPE_RGB_8;
    case ICCFormatBGR:
        return TYPE_BGR_8;
    case ICCFormatCMYKInverted:
        return TYPE_CMYK_8_REV;
    case ICCFormatCMYK:
        return TYPE_CMYK_8;
    case ICCFormatLab:
        return TYPE_Lab_8;
    case ICCFormatGray:
        return TYPE_GRAY_8;
    case ICCFormatRGB16LE:
        return littleEndian ? TYPE_RGB_16 : TYPE_RGB_16_SE;
    case ICCFormatRGB16BE:
        return littleEndian ? TYPE_RGB_16_SE : TYPE_RGB_16;
    case ICCFormat3Channel:
        return CHANNELS_SH(3) | BYTES_SH(1);
    default:
        return 0;
    }
}

int32_t BitmapCode(TVLPixelFormat Format) {
    switch (Format) {
    case vl8g:
        return ICCFormatGray;
    case vl24RGB:
        return ICCFormatBGR;
    case vlCMYK:
        return ICCFormatCMYKInverted;
    case vlRGB48:
        return ICCFormatRGB16LE;
    case vlCIELab:
        return ICCFormatLab;
    default:
        return -1;
    }
}

// The bitmap's Lab pixels keep a and b as signed bytes; the Lab layout has them offset by 128.
void FlipLabSigns(uint8_t* Pixels, int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
        Pixels[3 * i + 1] ^= 0x80;
        Pixels[3 * i + 2] ^= 0x80;
    }
}

// Keeps the access bits of a bitmap for the duration of a conversion.

} // namespace

TVLICC::~TVLICC() {
    Free();
}

void TVLICC::OpenProfile(void* Handle) {
    FProfile = Handle;
    if (FProfile != nullptr) FSerial = NextSerial++;
}

void TVLICC::LoadFromBuffer(const void* Data, int32_t Length) {
    Free();
    if (Data == nullptr || Length <= 0) return;
    const auto* bytes = static_cast<const uint8_t*>(Data);
    FRaw.assign(bytes, bytes + Length);
    OpenProfile(cmsOpenProfileFromMem(FRaw.data(), static_cast<cmsUInt32Number>(FRaw.size())));
    ReadTexts();
}

void TVLICC::Assign(const TVLICC* Source) {
    if (Source == nullptr || Source == this) return;
    if (Source->FSystemSRGB) {
        LoadSystemSRGB();
        return;
    }
    LoadFromBuffer(Source->GetRaw(), Source->GetRawLength());
}

void TVLICC::LoadSystemSRGB() {
    Free();
    OpenProfile(cmsCreate_sRGBProfile());
    FSystemSRGB = FProfile != nullptr;
}

void TVLICC::Free() {
    FreeTransform();
    if (FProfile != nullptr) cmsCloseProfile(static_cast<cmsHPROFILE>(FProfile));
    FProfile = nullptr;
    FInputFormat = FOutputFormat = FIntent = FFlags = 0;
    FTransformDest = 0;
    FSerial = 0;
    FRaw.clear();
    FApplied = false;
    FSystemSRGB = false;
    FDescText.clear();
    FCprtText.clear();
}

void TVLICC::FreeTransform() {
    if (FTransform == nullptr) return;
    cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransform));
    FTransform = nullptr;
    FApplied = true;
}

void TVLICC::SaveToStream(TStream& Stream, bool RawOnly) const {
    if (!RawOnly) {
        const int32_t length = GetRawLength();
        Stream.WriteBuffer(&length, sizeof(length));
    }
    if (!FRaw.empty()) Stream.WriteBuffer(FRaw.data(), static_cast<int64_t>(FRaw.size()));
}

void TVLICC::ReadTexts() {
    FDescText.clear();
    FCprtText.clear();
    const size_t size = FRaw.size();
    // A profile of the header alone, or one cut inside the tag count, has no texts.
    if (size < TagTableOffset) return;
    const uint8_t* raw = FRaw.data();
    const uint32_t count = ReadBE32(raw + HeaderSize);
    if (count > MaxTagCount) return;
    // Every entry, and every tag it points at, must lie within the profile; the first one that
    // does not ends the reading.
    for (uint32_t i = 0; i < count; ++i) {
        const size_t entry = TagTableOffset + size_t{i} * TagEntrySize;
        if (entry + TagEntrySize > size) return;
        const uint32_t offset = ReadBE32(raw + entry + 4);
        const uint32_t length = ReadBE32(raw + entry + 8);
        if (offset > size || length > size - offset) return;
        const bool cprt = HasSignature(raw + entry, "cprt");
        const bool desc = HasSignature(raw + entry, "desc");
        if (!cprt && !desc) continue;
        const auto text = TagText(raw + offset, length, cprt ? CprtTextStart : DescTextStart);
        if (text) (cprt ? FCprtText : FDescText) = *text;
    }
}

bool TVLICC::TransformPixels(TVLICC* DestProfile, int32_t InputFormat, int32_t Count, void* Output,
                             const void* Input, int32_t Flags, int32_t Intent,
                             int32_t OutputFormat) {
    const uint64_t dest = DestProfile != nullptr ? DestProfile->FSerial : 0;
    if (FTransform == nullptr || InputFormat != FInputFormat || OutputFormat != FOutputFormat ||
        Intent != FIntent || Flags != FFlags || dest != FTransformDest) {
        FreeTransform();
        const cmsUInt32Number inType = PixelType(InputFormat);
        const cmsUInt32Number outType = PixelType(OutputFormat);
        if (IsValid() && DestProfile != nullptr && DestProfile->IsValid() && inType != 0 &&
            outType != 0)
            FTransform = cmsCreateTransform(static_cast<cmsHPROFILE>(FProfile), inType,
                                            static_cast<cmsHPROFILE>(DestProfile->FProfile),
                                            outType, INTENT_PERCEPTUAL, cmsFLAGS_HIGHRESPRECALC);
        FInputFormat = InputFormat;
        FOutputFormat = OutputFormat;
        FIntent = Intent;
        FFlags = Flags;
        FTransformDest = dest;
    }
    if (FTransform == nullptr) return false;
    if (Count <= 0) return true;
    if (Input == nullptr || Output == nullptr) return false;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), Input, Output,
                   static_cast<cmsUInt32Number>(Count));
    return true;
}

bool TVLICC::TransformBitmap(TVLBitmap& Bitmap, TVLPixelFormat NewPixelFormat,
                             TVLICC* DestProfile) {
    const int32_t inCode = BitmapCode(Bitmap.GetPixelFormat());
    const int32_t outCode = BitmapCode(NewPixelFormat);
    if (inCode < 0 || outCode < 0 || Bitmap.IsEmpty()) return false;
    const int32_t width = Bitmap.GetWidth();
    const int32_t height = Bitmap.GetHeight();
    TVLBitmap converted;
    converted.MinFileSize = Bitmap.MinFileSize;
    if (!converted.Allocate(width, height, NewPixelFormat)) return false;
    const bool labIn = Bitmap.GetPixelFormat() == vlCIELab;
    const bool labOut = NewPixelFormat == vlCIELab;
    std::vector<uint8_t> labRow(labIn ? static_cast<size_t>(width) * 3 : 0);
    bool complete = true;
    {
        TAccessScope readOnly(Bitmap, VLAccessRead);
        TAccessScope writeOnly(converted, VLAccessWrite);
        for (int32_t y = 0; y < height && complete; ++y) {
            const uint8_t* source = Bitmap.GetScanline(y);
            uint8_t* target = converted.GetScanline(y);
            if (source == nullptr || target == nullptr) {
                complete = false;
                break;
            }
            if (labIn) {
                std::memcpy(labRow.data(), source, labRow.size());
                FlipLabSigns(labRow.data(), width);
                source = labRow.data();
            }
            complete = TransformPixels(DestProfile, inCode, width, target, source, 0, 0, outCode);
            if (complete && labOut) FlipLabSigns(target, width);
        }
        Bitmap.UnmapAllScanlines();
        converted.UnmapAllScanlines();
    }
    FreeTransform();
    if (!complete) return false;
    // The new pixels take the bitmap's place; its alpha channel stays with it.
    std::unique_ptr<TVLBitmap> alpha = Bitmap.AttachAlphaChannel(nullptr);
    converted.MoveContentsTo(Bitmap);
    Bitmap.AttachAlphaChannel(std::move(alpha));
    return true;
}
