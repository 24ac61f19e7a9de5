// The TIFF, EXIF and GPS tags of the parameter record, both ways, and the blocks that travel in
// tags (IPTC, XMP, annotations, ICC profile, maker note).
#include "imaging/formats/tiff/VLTIFFTags.h"

#include "imaging/core/VLStreams.h"

#include <cmath>
#include <cstring>

namespace {

// The values ClearExif gives: a field equal to its default is neither invented on reading nor
// written.
const TIOExifFields& ExifDefaults() {
    static const TIOExifFields defaults{};
    return defaults;
}

struct TTextTag {
    uint16_t Tag;
    AnsiString TIOExifFields::*Field;
};
struct TIntTag {
    uint16_t Tag;
    int32_t TIOExifFields::*Field;
};
struct TDoubleTag {
    uint16_t Tag;
    double TIOExifFields::*Field;
    bool Signed;
};
template <size_t N> struct TDoublesTag {
    uint16_t Tag;
    std::array<double, N> TIOExifFields::*Field;
};
struct TWideTag {
    uint16_t Tag;
    String TIOExifFields::*Field;
};

const TTextTag MainTexts[] = {
    {305, &TIOExifFields::ExifSoftware}, {315, &TIOExifFields::ExifArtist},
    {271, &TIOExifFields::ExifMake},     {272, &TIOExifFields::ExifModel},
    {306, &TIOExifFields::ExifDateTime}, {33432, &TIOExifFields::ExifCopyright},
};
const TWideTag MainWides[] = {
    {40091, &TIOExifFields::ExifXPTitle},   {40092, &TIOExifFields::ExifXPComment},
    {40093, &TIOExifFields::ExifXPAuthor},  {40094, &TIOExifFields::ExifXPKeywords},
    {40095, &TIOExifFields::ExifXPSubject},
};
const TDoublesTag<2> MainPairs[] = {{318, &TIOExifFields::ExifWhitePoint}};
const TDoublesTag<3> MainTriples[] = {{529, &TIOExifFields::ExifYCbCrCoefficients}};
const TDoublesTag<6> MainSixes[] = {{319, &TIOExifFields::ExifPrimaryChromaticities},
                                    {532, &TIOExifFields::ExifReferenceBlackWhite}};

const TTextTag ExifTexts[] = {
    {36867, &TIOExifFields::ExifDateTimeOriginal},
    {36868, &TIOExifFields::ExifDateTimeDigitized},
    {37520, &TIOExifFields::ExifSubsecTime},
    {37521, &TIOExifFields::ExifSubsecTimeOriginal},
    {37522, &TIOExifFields::ExifSubsecTimeDigitized},
    {40964, &TIOExifFields::ExifRelatedSoundFile},
    {42016, &TIOExifFields::ExifImageUniqueID},
};
const TIntTag ExifInts[] = {
    {34850, &TIOExifFields::ExifExposureProgram},
    {37383, &TIOExifFields::ExifMeteringMode},
    {37384, &TIOExifFields::ExifLightSource},
    {37385, &TIOExifFields::ExifFlash},
    {40961, &TIOExifFields::ExifColorSpace},
    {41488, &TIOExifFields::ExifFocalPlaneResolutionUnit},
    {41495, &TIOExifFields::ExifSensingMethod},
    {41986, &TIOExifFields::ExifExposureMode},
    {41987, &TIOExifFields::ExifWhiteBalance},
    {41989, &TIOExifFields::ExifFocalLengthIn35mmFilm},
    {41990, &TIOExifFields::ExifSceneCaptureType},
    {41991, &TIOExifFields::ExifGainControl},
    {41992, &TIOExifFields::ExifContrast},
    {41993, &TIOExifFields::ExifSaturation},
    {41994, &TIOExifFields::ExifSharpness},
    {41996, &TIOExifFields::ExifSubjectDistanceRange},
};
// The picture's size, which EXIF allows as SHORT or LONG; written as LONG, the type libtiff
// insists on.
const TIntTag ExifDimensions[] = {
    {40962, &TIOExifFields::ExifPixelXDimension},
    {40963, &TIOExifFields::ExifPixelYDimension},
};
// One byte of type UNDEFINED each in EXIF.
const TIntTag ExifUndefinedBytes[] = {
    {41728, &TIOExifFields::ExifFileSource},
    {41729, &TIOExifFields::ExifSceneType},
};
// ShutterSpeedValue, BrightnessValue and ExposureBiasValue are signed (SRATIONAL in EXIF).
const TDoubleTag ExifDoubles[] = {
    {33434, &TIOExifFields::ExifExposureTime, false},
    {33437, &TIOExifFields::ExifFNumber, false},
    {37122, &TIOExifFields::ExifCompressedBitsPerPixel, false},
    {37377, &TIOExifFields::ExifShutterSpeedValue, true},
    {37378, &TIOExifFields::ExifApertureValue, false},
    {37379, &TIOExifFields::ExifBrightnessValue, true},
    {37380, &TIOExifFields::ExifExposureBiasValue, true},
    {37381, &TIOExifFields::ExifMaxApertureValue, false},
    {37382, &TIOExifFields::ExifSubjectDistance, false},
    {37386, &TIOExifFields::ExifFocalLength, false},
    {41486, &TIOExifFields::ExifFocalPlaneXResolution, false},
    {41487, &TIOExifFields::ExifFocalPlaneYResolution, false},
    {41493, &TIOExifFields::ExifExposureIndex, false},
    {41988, &TIOExifFields::ExifDigitalZoomRatio, false},
};

const TTextTag GPSInlines[] = {
    {1, &TIOExifFields::ExifGPSLatitudeRef},
    {3, &TIOExifFields::ExifGPSLongitudeRef},
    {9, &TIOExifFields::ExifGPSStatus},
    {10, &TIOExifFields::ExifGPSMeasureMode},
    {12, &TIOExifFields::ExifGPSSpeedRef},
    {14, &TIOExifFields::ExifGPSTrackRef},
    {16, &TIOExifFields::ExifGPSImgDirectionRef},
    {19, &TIOExifFields::ExifGPSDestLatitudeRef},
    {21, &TIOExifFields::ExifGPSDestLongitudeRef},
    {23, &TIOExifFields::ExifGPSDestBearingRef},
    {25, &TIOExifFields::ExifGPSDestDistanceRef},
};
const TTextTag GPSTexts[] = {
    {8, &TIOExifFields::ExifGPSSatellites},
    {18, &TIOExifFields::ExifGPSMapDatum},
    {29, &TIOExifFields::ExifGPSDateStamp},
};
const TDoublesTag<3> GPSTriples[] = {
    {2, &TIOExifFields::ExifGPSLatitude},       {4, &TIOExifFields::ExifGPSLongitude},
    {7, &TIOExifFields::ExifGPSTimeStamp},      {20, &TIOExifFields::ExifGPSDestLatitude},
    {22, &TIOExifFields::ExifGPSDestLongitude},
};
const TDoubleTag GPSDoubles[] = {
    {6, &TIOExifFields::ExifGPSAltitude, false},
    {11, &TIOExifFields::ExifGPSDOP, false},
    {13, &TIOExifFields::ExifGPSSpeed, false},
    {15, &TIOExifFields::ExifGPSTrack, false},
    {17, &TIOExifFields::ExifGPSImgDirection, false},
    {24, &TIOExifFields::ExifGPSDestBearing, false},
    {26, &TIOExifFields::ExifGPSDestDistance, false},
};

bool Has(const TVLTagsReadState& Ctx, uint16_t Tag) {
    return TIFFFindTag(Ctx, Tag) >= 0;
}

// Reading: a missing tag leaves the field at its ClearExif value.

// A text field without the NUL a short value's count includes ("Cam" stored inline as 4 bytes).
AnsiString FieldText(const TVLTagsReadState& Ctx, uint16_t Tag) {
    AnsiString text = TIFFText(Ctx, Tag);
    while (!text.empty() && text.back() == 0)
        text.pop_back();
    return text;
}

template <typename T>
void ReadTexts(const TVLTagsReadState& Ctx, TIOExifFields& F, const T& Table) {
    for (const TTextTag& t : Table)
        F.*t.Field = Has(Ctx, t.Tag) ? FieldText(Ctx, t.Tag) : ExifDefaults().*t.Field;
}
template <typename T> void ReadInts(const TVLTagsReadState& Ctx, TIOExifFields& F, const T& Table) {
    for (const TIntTag& t : Table)
        F.*t.Field = static_cast<int32_t>(TIFFTagValue(Ctx, t.Tag, ExifDefaults().*t.Field));
}
template <typename T>
void ReadDoubles(const TVLTagsReadState& Ctx, TIOExifFields& F, const T& Table) {
    for (const TDoubleTag& t : Table)
        F.*t.Field = Has(Ctx, t.Tag) ? TIFFRational(Ctx, t.Tag) : ExifDefaults().*t.Field;
}
template <size_t N, size_t M>
void ReadLists(const TVLTagsReadState& Ctx, TIOExifFields& F, const TDoublesTag<N> (&Table)[M]) {
    for (const TDoublesTag<N>& t : Table)
        for (size_t i = 0; i < N; ++i)
            (F.*t.Field)[i] = TIFFRationalAt(Ctx, t.Tag, static_cast<int32_t>(i));
}

// Writing: only fields that differ from their ClearExif value.

template <typename T> void WriteTexts(TTIFFEntryList& L, const TIOExifFields& F, const T& Table) {
    for (const TTextTag& t : Table)
        L.AddAscii(t.Tag, F.*t.Field);
}
void WriteShortOrLong(TTIFFEntryList& L, uint16_t Tag, int32_t Value) {
    if (Value >= 0 && Value <= 0xFFFF)
        L.AddShort(Tag, static_cast<uint16_t>(Value));
    else
        L.AddLong(Tag, static_cast<uint32_t>(Value));
}
template <typename T> void WriteInts(TTIFFEntryList& L, const TIOExifFields& F, const T& Table) {
    for (const TIntTag& t : Table)
        if (F.*t.Field != ExifDefaults().*t.Field) WriteShortOrLong(L, t.Tag, F.*t.Field);
}
template <typename T> void WriteLongs(TTIFFEntryList& L, const TIOExifFields& F, const T& Table) {
    for (const TIntTag& t : Table)
        if (F.*t.Field != ExifDefaults().*t.Field)
            L.AddLong(t.Tag, static_cast<uint32_t>(F.*t.Field));
}
template <typename T>
void WriteUndefinedBytes(TTIFFEntryList& L, const TIOExifFields& F, const T& Table) {
    for (const TIntTag& t : Table)
        if (F.*t.Field != ExifDefaults().*t.Field)
            L.AddBlock(t.Tag, ttUndefined, 1, {static_cast<uint8_t>(F.*t.Field)});
}
template <typename T> void WriteDoubles(TTIFFEntryList& L, const TIOExifFields& F, const T& Table) {
    for (const TDoubleTag& t : Table)
        if (F.*t.Field != ExifDefaults().*t.Field) L.AddDoubles(t.Tag, {F.*t.Field}, t.Signed);
}
template <size_t N, size_t M>
void WriteLists(TTIFFEntryList& L, const TIOExifFields& F, const TDoublesTag<N> (&Table)[M]) {
    for (const TDoublesTag<N>& t : Table)
        if (F.*t.Field != ExifDefaults().*t.Field)
            L.AddDoubles(t.Tag, std::vector<double>((F.*t.Field).begin(), (F.*t.Field).end()));
}

// "2.2.0.0" from the bytes of GPSVersionID, and back.
AnsiString DottedBytes(const AnsiString& Bytes) {
    AnsiString out;
    for (size_t i = 0; i < Bytes.size(); ++i) {
        if (i > 0) out += '.';
        out += std::to_string(static_cast<uint8_t>(Bytes[i]));
    }
    return out;
}
int32_t NumberOr0(const AnsiString& Text) {
    if (Text.empty() || Text.size() > 9) return 0;
    for (char c : Text)
        if (c < '0' || c > '9') return 0;
    return std::stoi(Text);
}
std::vector<uint8_t> BytesOfDotted(const AnsiString& Text) {
    std::vector<uint8_t> out;
    size_t start = 0;
    while (start <= Text.size()) {
        const size_t dot = std::min(Text.find('.', start), Text.size());
        out.push_back(static_cast<uint8_t>(NumberOr0(Text.substr(start, dot - start))));
        start = dot + 1;
    }
    return out;
}

// Writes List as a directory of its own (next offset 0) and returns its offset.
int64_t WriteSubIFD(TTIFFEntryList& List) {
    return List.WriteIFD(0) - List.Base;
}

void WriteMakerNote(TTIFFEntryList& Exif, TVLTagsHandler& Note);

} // namespace

void ReadTIFFMetadataTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params) {
    const int32_t iptc = TIFFFindTag(Ctx, 33723);
    if (iptc >= 0 && Ctx.Entries[iptc].FieldType >= 1 && Ctx.Entries[iptc].FieldType <= 9) {
        const std::vector<uint8_t> bytes = TIFFRawBytes(Ctx, 33723);
        Params.IPTCInfo.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    } else if (iptc < 0) {
        Params.IPTCInfo.Clear();
    }
    Params.XmpInfo.clear();
    const int32_t xmp = TIFFFindTag(Ctx, 700);
    if (xmp >= 0 &&
        (Ctx.Entries[xmp].FieldType == ttByte || Ctx.Entries[xmp].FieldType == ttUndefined)) {
        const std::vector<uint8_t> bytes = TIFFRawBytes(Ctx, 700);
        Params.XmpInfo.assign(bytes.begin(), bytes.end());
    }
    if (Has(Ctx, 32932)) {
        const std::vector<uint8_t> bytes = TIFFRawBytes(Ctx, 32932);
        if (!bytes.empty())
            Params.GetImagingAnnot()->LoadFromBuffer(bytes.data(),
                                                     static_cast<int32_t>(bytes.size()));
    }
    if (Has(Ctx, 34675)) {
        const std::vector<uint8_t> bytes = TIFFRawBytes(Ctx, 34675);
        if (!bytes.empty())
            Params.GetEmbeddedICCProfile()->LoadFromBuffer(bytes.data(),
                                                           static_cast<int32_t>(bytes.size()));
    }
}

void ReadTIFFMainExifTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params) {
    if (Has(Ctx, 270)) Params.TiffImageDescription = FieldText(Ctx, 270);
    const auto orientation = static_cast<int32_t>(TIFFTagValue(Ctx, 274, 1));
    Params.SetTIFFOrientation(orientation);
    Params.SetExifOrientation(orientation);
    Params.ExifResolutionUnit = static_cast<int32_t>(TIFFTagValue(Ctx, 296, 2));
    Params.ExifRating = static_cast<int32_t>(TIFFTagValue(Ctx, 18246, -1));
    Params.ExifYCbCrPositioning = static_cast<int32_t>(TIFFTagValue(Ctx, 531, 0));
    ReadTexts(Ctx, Params, MainTexts);
    for (const TWideTag& t : MainWides)
        Params.*t.Field = TIFFWideText(Ctx, t.Tag);
    ReadLists(Ctx, Params, MainPairs);
    ReadLists(Ctx, Params, MainTriples);
    ReadLists(Ctx, Params, MainSixes);
}

void ReadTIFFExifTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params) {
    ReadTexts(Ctx, Params, ExifTexts);
    ReadInts(Ctx, Params, ExifInts);
    ReadInts(Ctx, Params, ExifDimensions);
    ReadInts(Ctx, Params, ExifUndefinedBytes);
    ReadDoubles(Ctx, Params, ExifDoubles);
    for (int32_t i = 0; i < 2; ++i)
        Params.SetExifISOSpeedRatings(i, static_cast<int32_t>(TIFFIntegerAt(Ctx, 34855, i)));
    Params.ExifVersion = TIFFInlineBytes(Ctx, 36864);
    Params.ExifFlashPixVersion = TIFFInlineBytes(Ctx, 40960);
    const AnsiString comment = TIFFText(Ctx, 37510);
    Params.ExifUserCommentCode = comment.substr(0, 8);
    Params.ExifUserComment = comment.size() > 8 ? comment.substr(8) : AnsiString{};
    ReadTIFFMakerNote(Ctx, Params);
}

void ReadTIFFGPSTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params) {
    Params.ExifGPSVersionID = DottedBytes(TIFFInlineBytes(Ctx, 0));
    // References are kept without the NUL their ASCII count includes.
    for (const TTextTag& t : GPSInlines) {
        AnsiString text = TIFFInlineBytes(Ctx, t.Tag);
        while (!text.empty() && text.back() == 0)
            text.pop_back();
        Params.*t.Field = text;
    }
    ReadTexts(Ctx, Params, GPSTexts);
    ReadLists(Ctx, Params, GPSTriples);
    ReadDoubles(Ctx, Params, GPSDoubles);
    Params.ExifGPSAltitudeRef = Has(Ctx, 5) ? std::to_string(TIFFTagValue(Ctx, 5, 0)) : "";
}

void ReadTIFFMakerNote(const TVLTagsReadState& Ctx, TIOParamsVals& Params) {
    TVLTagsHandler& note = Params.ExifMakerNote;
    TMemoryStream& store = note.Data();
    store.Clear();
    note.ReadDirectory();
    const int32_t index = TIFFFindTag(Ctx, 37500);
    if (index < 0 || Ctx.Stream == nullptr) return;
    const TVLTagEntry& tag = Ctx.Entries[index];
    const int64_t size = Ctx.Stream->GetSize();
    const int64_t start = Ctx.Base + tag.ValueOrOffset;
    if (start < 0 || start >= size || tag.Count < 2 || tag.Count > size - start) return;
    Ctx.Stream->SetPosition(start);
    uint16_t n = 0;
    Ctx.Stream->Read(&n, 2);
    if (!Ctx.IntelByteOrder) n = static_cast<uint16_t>((n >> 8) | (n << 8));
    if (n > 256 || int64_t{n} * 12 > tag.Count - 2) return;
    TVLTagsReadState src = Ctx;
    src.Entries.assign(n, TVLTagEntry{});
    Ctx.Stream->Read(src.Entries.data(), n * 12);
    src.EntryCount = n;
    if (!Ctx.IntelByteOrder) {
        for (TVLTagEntry& e : src.Entries) {
            e.Tag = static_cast<uint16_t>((e.Tag >> 8) | (e.Tag << 8));
            e.FieldType = static_cast<uint16_t>((e.FieldType >> 8) | (e.FieldType << 8));
            e.Count = __builtin_bswap32(e.Count);
            e.ValueOrOffset = __builtin_bswap32(e.ValueOrOffset);
        }
    }
    std::vector<TVLTagEntry> kept;
    std::vector<uint8_t> values;
    const int64_t valuesStart = 2 + int64_t{n} * 12;
    for (const TVLTagEntry& e : src.Entries) {
        const int32_t typeSize = TIFFTypeSize(e.FieldType);
        if (e.FieldType > 12) return;
        if (typeSize == 0 || e.ValueOrOffset == 0 || e.Count >= size) continue;
        const uint64_t bytes = uint64_t{e.Count} * typeSize;
        const bool inlineValue = bytes <= 4;
        if (!inlineValue && (Ctx.Base + e.ValueOrOffset + static_cast<int64_t>(bytes) > size))
            continue;
        TVLTagEntry out = e;
        // Values are turned into the store's little-endian order element by element.
        TVLTagsReadState one = src;
        one.Entries = {e};
        one.EntryCount = 1;
        std::vector<uint8_t> raw = TIFFRawBytes(one, e.Tag);
        if (raw.size() != bytes) continue;
        if (!Ctx.IntelByteOrder) {
            const int32_t unit =
                e.FieldType == ttRational || e.FieldType == ttSRational ? 4 : typeSize;
            for (size_t i = 0; i + unit <= raw.size(); i += unit)
                std::reverse(raw.begin() + i, raw.begin() + i + unit);
        }
        if (inlineValue) {
            // A tag of count 0 has no value bytes to copy.
            out.ValueOrOffset = 0;
            if (!raw.empty()) std::memcpy(&out.ValueOrOffset, raw.data(), raw.size());
        } else {
            out.ValueOrOffset = static_cast<uint32_t>(valuesStart + values.size());
            values.insert(values.end(), raw.begin(), raw.end());
        }
        kept.push_back(out);
    }
    // Value positions were counted from a table of n entries; the store keeps that table size.
    const auto count = static_cast<uint16_t>(kept.size());
    store.Write(&count, 2);
    kept.resize(n, TVLTagEntry{});
    store.Write(kept.data(), n * 12);
    if (!values.empty()) store.Write(values.data(), static_cast<int32_t>(values.size()));
    note.ReadDirectory();
}

namespace {

// The EXIF and FlashPix versions are four UNDEFINED bytes ("0220"), not text.
void AddVersion(TTIFFEntryList& List, uint16_t Tag, const AnsiString& Version) {
    const size_t n = std::min<size_t>(Version.size(), 4);
    const std::vector<uint8_t> bytes(Version.begin(), Version.begin() + n);
    List.AddBlock(Tag, ttUndefined, static_cast<uint32_t>(bytes.size()), bytes);
}

// A GPS reference letter is ASCII with its NUL (count 2), as read back from files.
void AddReference(TTIFFEntryList& List, uint16_t Tag, const AnsiString& Text) {
    std::vector<uint8_t> bytes(Text.begin(), Text.end());
    if (bytes.back() != 0) bytes.push_back(0);
    bytes.resize(std::min<size_t>(bytes.size(), 4));
    List.AddBlock(Tag, ttAscii, static_cast<uint32_t>(bytes.size()), bytes);
}

} // namespace

void WriteTIFFExifTags(TTIFFEntryList& Main, TIOParamsVals& Params) {
    Main.AddAscii(270, Params.ExifImageDescription);
    if (Params.ExifXResolution != 0)
        Main.AddRational(282, static_cast<int64_t>(std::trunc(Params.ExifXResolution)), 1);
    if (Params.ExifYResolution != 0)
        Main.AddRational(283, static_cast<int64_t>(std::trunc(Params.ExifYResolution)), 1);
    Main.AddShort(274, static_cast<uint16_t>(Params.TiffOrientation));
    Main.AddShort(296, 2);
    if (Params.ExifRating >= 0) Main.AddShort(18246, static_cast<uint16_t>(Params.ExifRating));
    for (const TWideTag& t : MainWides)
        Main.AddWideText(t.Tag, Params.*t.Field);
    WriteTexts(Main, Params, MainTexts);
    if (Params.ExifYCbCrPositioning != 0)
        Main.AddShort(531, static_cast<uint16_t>(Params.ExifYCbCrPositioning));
    WriteLists(Main, Params, MainPairs);
    WriteLists(Main, Params, MainTriples);
    WriteLists(Main, Params, MainSixes);

    TTIFFEntryList exif(Main.Stream(), Main.Aborting());
    exif.Base = Main.Base;
    WriteInts(exif, Params, ExifInts);
    WriteLongs(exif, Params, ExifDimensions);
    WriteUndefinedBytes(exif, Params, ExifUndefinedBytes);
    WriteDoubles(exif, Params, ExifDoubles);
    WriteTexts(exif, Params, ExifTexts);
    if (Params.ExifISOSpeedRatings != ExifDefaults().ExifISOSpeedRatings) {
        std::vector<uint16_t> iso{static_cast<uint16_t>(Params.ExifISOSpeedRatings[0])};
        if (Params.ExifISOSpeedRatings[1] != 0)
            iso.push_back(static_cast<uint16_t>(Params.ExifISOSpeedRatings[1]));
        exif.AddShorts(34855, iso);
    }
    // EXIF requires its version; "0220" when the record has none.
    AddVersion(exif, 36864, Params.ExifVersion.empty() ? AnsiString("0220") : Params.ExifVersion);
    if (!Params.ExifFlashPixVersion.empty()) AddVersion(exif, 40960, Params.ExifFlashPixVersion);
    exif.AddAscii(37510, Params.ExifUserCommentCode + Params.ExifUserComment);
    WriteMakerNote(exif, Params.ExifMakerNote);
    const int64_t exifOffset = WriteSubIFD(exif);
    Main.AddLong(34665, static_cast<uint32_t>(exifOffset));

    if (Params.ExifGPSVersionID.empty()) return;
    TTIFFEntryList gps(Main.Stream(), Main.Aborting());
    gps.Base = Main.Base;
    gps.AddInlineBytes(0, BytesOfDotted(Params.ExifGPSVersionID));
    for (const TTextTag& t : GPSInlines)
        if (!(Params.*t.Field).empty()) AddReference(gps, t.Tag, Params.*t.Field);
    WriteTexts(gps, Params, GPSTexts);
    WriteLists(gps, Params, GPSTriples);
    WriteDoubles(gps, Params, GPSDoubles);
    if (!Params.ExifGPSAltitudeRef.empty())
        gps.AddByte(5, static_cast<uint8_t>(NumberOr0(Params.ExifGPSAltitudeRef)));
    Main.AddLong(34853, static_cast<uint32_t>(WriteSubIFD(gps)));
}

void WriteTIFFMetadataTags(TTIFFEntryList& Main, TIOParamsVals& Params) {
    std::vector<uint8_t> iptc = Params.IPTCInfo.SaveToBuffer(false);
    if (!iptc.empty()) {
        // LONG values: the block is padded with zero bytes to whole LONGs.
        iptc.resize((iptc.size() + 3) / 4 * 4, 0);
        Main.AddBlock(33723, ttLong, static_cast<uint32_t>(iptc.size() / 4), iptc);
    }
    if (!Params.XmpInfo.empty()) {
        const std::vector<uint8_t> xmp(Params.XmpInfo.begin(), Params.XmpInfo.end());
        Main.AddBlock(700, ttByte, static_cast<uint32_t>(xmp.size()), xmp);
    }
    if (Params.ImagingAnnot) {
        const std::vector<uint8_t> annot = Params.ImagingAnnot->SaveToBuffer();
        if (!annot.empty())
            Main.AddBlock(32932, ttByte, static_cast<uint32_t>(annot.size()), annot);
    }
    const TVLICC* icc = Params.EmbeddedICC.get();
    if (icc != nullptr && icc->IsValid() && !icc->GetApplied()) {
        const std::vector<uint8_t> raw(icc->GetRaw(), icc->GetRaw() + icc->GetRawLength());
        Main.AddBlock(34675, ttUndefined, static_cast<uint32_t>(raw.size()), raw);
    }
}

namespace {

void WriteMakerNote(TTIFFEntryList& Exif, TVLTagsHandler& Note) {
    TMemoryStream& store = Note.Data();
    if (store.GetSize() < 12) return;
    Note.ReadDirectory();
    TVLTagsReadState ctx = Note.ReadState();
    std::vector<TVLTagEntry> kept;
    std::vector<std::vector<uint8_t>> values;
    for (int32_t i = 0; i < ctx.EntryCount; ++i) {
        const TVLTagEntry& e = ctx.Entries[i];
        const uint64_t bytes = uint64_t{e.Count} * TIFFTypeSize(e.FieldType);
        if (e.FieldType > 12 || bytes >= 1024) continue;
        TVLTagsReadState one = ctx;
        one.Entries = {e};
        one.EntryCount = 1;
        std::vector<uint8_t> raw = TIFFRawBytes(one, e.Tag);
        if (raw.size() != bytes) continue;
        kept.push_back(e);
        values.push_back(std::move(raw));
    }
    Exif.Align();
    const int64_t blockStart = Exif.Stream().GetPosition();
    std::vector<uint8_t> block(2 + kept.size() * 12);
    const auto count = static_cast<uint16_t>(kept.size());
    std::memcpy(block.data(), &count, 2);
    for (size_t i = 0; i < kept.size(); ++i) {
        TVLTagEntry e = kept[i];
        if (values[i].size() > 4) {
            if (block.size() % 2 != 0) block.push_back(0);
            e.ValueOrOffset = static_cast<uint32_t>(blockStart - Exif.Base + block.size());
            block.insert(block.end(), values[i].begin(), values[i].end());
        }
        std::memcpy(block.data() + 2 + i * 12, &e, 12);
    }
    TVLTagEntry entry{37500, ttUndefined, static_cast<uint32_t>(block.size()),
                      static_cast<uint32_t>(blockStart - Exif.Base)};
    SafeStreamWrite(Exif.Stream(), Exif.Aborting(), block.data(),
                    static_cast<int32_t>(block.size()));
    Exif.AddEntry(entry);
}

} // namespace
