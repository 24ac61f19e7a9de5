// Reading TIFF directories and their typed values, and building directories for writing.
#include "imaging/formats/tiff/VLTIFFTags.h"

#include "imaging/core/VLStreams.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <set>

static_assert(std::endian::native == std::endian::little, "entries are kept little-endian");

int32_t TIFFTypeSize(uint16_t Type) {
    static constexpr int32_t sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return Type <= 12 ? sizes[Type] : 0;
}

namespace {

uint16_t Swap16(uint16_t V) { return static_cast<uint16_t>((V >> 8) | (V << 8)); }
uint32_t Swap32(uint32_t V) {
    return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}

// Reads Count bytes at Pos; false when the stream holds fewer.
bool ReadAt(TStream& Stream, int64_t Pos, void* Buffer, int32_t Count) {
    if (Pos < 0) return false;
    Stream.SetPosition(Pos);
    return Stream.Read(Buffer, Count) == Count;
}

// Number of bytes of the entry's values; 0 for an unknown type.
uint64_t ValueBytes(const TVLTagEntry& E) {
    return uint64_t{E.Count} * static_cast<uint64_t>(TIFFTypeSize(E.FieldType));
}

// Stream position of the entry's out-of-line values, or -1 when they are inline or do not lie
// within the stream (a count that claims more bytes than the stream holds is refused).
int64_t ValuePosition(const TVLTagsReadState& Ctx, const TVLTagEntry& E) {
    const uint64_t bytes = ValueBytes(E);
    if (bytes <= 4 || Ctx.Stream == nullptr) return -1;
    const int64_t pos = Ctx.Base + E.ValueOrOffset;
    const int64_t size = Ctx.Stream->GetSize();
    if (pos < 0 || pos > size || bytes > static_cast<uint64_t>(size - pos)) return -1;
    return pos;
}

// The value field's four bytes in file order.
void InlineBytes(const TVLTagsReadState& Ctx, const TVLTagEntry& E, uint8_t Out[4]) {
    const uint32_t v = Ctx.IntelByteOrder ? E.ValueOrOffset : Swap32(E.ValueOrOffset);
    std::memcpy(Out, &v, 4);
}

uint64_t Decode(const TVLTagsReadState& Ctx, const uint8_t* P, int32_t Size) {
    uint64_t v = 0;
    for (int32_t i = 0; i < Size; ++i) {
        const int32_t k = Ctx.IntelByteOrder ? Size - 1 - i : i;
        v = (v << 8) | P[k];
    }
    return v;
}

// The Size bytes of element I of the entry's values, in file order; false when not there.
bool ElementBytes(const TVLTagsReadState& Ctx, const TVLTagEntry& E, uint32_t I, int32_t Size,
                  uint8_t* Out) {
    if (I >= E.Count || Size <= 0) return false;
    if (ValueBytes(E) <= 4) {
        uint8_t field[4];
        InlineBytes(Ctx, E, field);
        std::memcpy(Out, field + I * Size, Size);
        return true;
    }
    const int64_t pos = ValuePosition(Ctx, E);
    return pos >= 0 && ReadAt(*Ctx.Stream, pos + int64_t{I} * Size, Out, Size);
}

// Element I (Size bytes) of the entry's values, in machine order; false when it is not there.
bool ReadElement(const TVLTagsReadState& Ctx, const TVLTagEntry& E, uint32_t I, int32_t Size,
                 uint64_t& Value) {
    uint8_t bytes[8] = {};
    if (!ElementBytes(Ctx, E, I, Size, bytes)) return false;
    Value = Decode(Ctx, bytes, Size);
    return true;
}

const TVLTagEntry* Find(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const int32_t i = TIFFFindTag(Ctx, Tag);
    return i < 0 ? nullptr : &Ctx.Entries[i];
}

// The entry's values in file order; empty when they do not lie within the stream.
std::vector<uint8_t> ValueBytesOf(const TVLTagsReadState& Ctx, const TVLTagEntry& E) {
    const uint64_t bytes = ValueBytes(E);
    if (bytes == 0) return {};
    if (bytes <= 4) {
        uint8_t field[4];
        InlineBytes(Ctx, E, field);
        return {field, field + bytes};
    }
    const int64_t pos = ValuePosition(Ctx, E);
    if (pos < 0) return {};
    std::vector<uint8_t> out(bytes);
    if (!ReadAt(*Ctx.Stream, pos, out.data(), static_cast<int32_t>(bytes))) return {};
    return out;
}

// Reads the directory at Pos: its entry count and, when Keep, its entries.
uint16_t ReadEntryCount(TVLTagsReadState& Ctx, int64_t Pos) {
    uint16_t count = 0;
    if (!ReadAt(*Ctx.Stream, Pos, &count, 2)) return 0;
    return Ctx.IntelByteOrder ? count : Swap16(count);
}

void KeepEntries(TVLTagsReadState& Ctx, uint16_t Count) {
    // Entries past the end of the stream stay zero (tag 0, which no lookup asks for).
    Ctx.Entries.assign(Count, TVLTagEntry{});
    Ctx.Stream->Read(Ctx.Entries.data(), Count * 12);
    Ctx.EntryCount = Count;
    if (Ctx.IntelByteOrder) return;
    for (TVLTagEntry& e : Ctx.Entries) {
        e.Tag = Swap16(e.Tag);
        e.FieldType = Swap16(e.FieldType);
        e.Count = Swap32(e.Count);
        e.ValueOrOffset = Swap32(e.ValueOrOffset);
    }
}

// Up to four value bytes into an entry's value field; a tag of count 0 copies nothing.
void SetInlineValue(TVLTagEntry& E, const void* Bytes, size_t Count) {
    if (Count > 0) std::memcpy(&E.ValueOrOffset, Bytes, std::min<size_t>(Count, 4));
}

} // namespace

bool TIFFReadIFD(TVLTagsReadState& Ctx, int32_t Index, int64_t FirstOffset, int32_t& Count) {
    Count = 0;
    if (Ctx.Stream == nullptr) return false;
    const int64_t size = Ctx.Stream->GetSize();
    std::set<int64_t> visited;
    bool kept = false;
    int64_t offset = FirstOffset;
    int32_t n = 0;
    while (true) {
        visited.insert(offset);
        const uint16_t entries = ReadEntryCount(Ctx, Ctx.Base + offset);
        if (entries == 0) break;
        if (n == Index) {
            KeepEntries(Ctx, entries);
            kept = true;
        } else {
            Ctx.Stream->Seek(int64_t{entries} * 12, soCurrent);
        }
        if (Ctx.Stream->GetPosition() >= size) break;
        uint32_t next = 0;
        Ctx.Stream->Read(&next, 4);
        if (!Ctx.IntelByteOrder) next = Swap32(next);
        ++n;
        const auto signedNext = static_cast<int32_t>(next);
        if (signedNext < 8 || Ctx.Base + signedNext >= size || visited.count(signedNext) != 0)
            break;
        offset = signedNext;
    }
    Count = n;
    return kept;
}

int32_t TIFFFindTag(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const int32_t n = std::min<int32_t>(Ctx.EntryCount, static_cast<int32_t>(Ctx.Entries.size()));
    for (int32_t i = 0; i < n; ++i)
        if (Ctx.Entries[i].Tag == Tag) return i;
    return -1;
}

int64_t TIFFTagValue(const TVLTagsReadState& Ctx, uint16_t Tag, int64_t Default) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr) return Default;
    uint8_t field[4];
    InlineBytes(Ctx, *e, field);
    switch (e->FieldType) {
    case ttByte:
    case ttSByte:
    case ttUndefined:
        return field[0];
    case ttShort:
    case ttSShort:
        return static_cast<int64_t>(Decode(Ctx, field, 2));
    default:
        return e->ValueOrOffset;
    }
}

double TIFFRationalAt(const TVLTagsReadState& Ctx, uint16_t Tag, int32_t I) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr || I < 0 || (e->FieldType != ttRational && e->FieldType != ttSRational))
        return 0;
    uint8_t bytes[8];
    if (!ElementBytes(Ctx, *e, static_cast<uint32_t>(I), 8, bytes)) return 0;
    const uint64_t v = Decode(Ctx, bytes, 4);
    const uint64_t d = Decode(Ctx, bytes + 4, 4);
    if (e->FieldType == ttSRational) {
        const auto num = static_cast<int32_t>(v);
        const auto den = static_cast<int32_t>(d);
        return static_cast<double>(num) / (den == 0 ? 1 : den);
    }
    return static_cast<double>(v) / static_cast<double>(d == 0 ? 1 : d);
}

int64_t TIFFIntegerAt(const TVLTagsReadState& Ctx, uint16_t Tag, int32_t I) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr || I < 0) return 0;
    if (e->FieldType != ttLong && e->FieldType != ttShort) return 0;
    uint64_t v = 0;
    if (!ReadElement(Ctx, *e, static_cast<uint32_t>(I), TIFFTypeSize(e->FieldType), v)) return 0;
    return static_cast<int64_t>(v);
}

std::vector<int64_t> TIFFIntegerArray(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr || (e->FieldType != ttLong && e->FieldType != ttShort)) return {};
    const std::vector<uint8_t> bytes = ValueBytesOf(Ctx, *e);
    const int32_t size = TIFFTypeSize(e->FieldType);
    std::vector<int64_t> out(bytes.size() / size);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int64_t>(Decode(Ctx, bytes.data() + i * size, size));
    return out;
}

std::vector<uint8_t> TIFFRawBytes(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    return e == nullptr ? std::vector<uint8_t>{} : ValueBytesOf(Ctx, *e);
}

AnsiString TIFFInlineBytes(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr || e->Count < 1 || e->Count > 4) return {};
    uint8_t field[4];
    InlineBytes(Ctx, *e, field);
    return AnsiString(reinterpret_cast<const char*>(field), e->Count);
}

AnsiString TIFFText(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr) return {};
    if (e->Count <= 4) return TIFFInlineBytes(Ctx, Tag);
    if (e->Count >= 0x100000 || Ctx.Stream == nullptr) return {};
    const int64_t pos = Ctx.Base + e->ValueOrOffset;
    const int64_t size = Ctx.Stream->GetSize();
    if (pos < 0 || pos > size || e->Count > size - pos) return {};
    AnsiString text(e->Count, '\0');
    ReadAt(*Ctx.Stream, pos, text.data(), static_cast<int32_t>(e->Count));
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

String TIFFWideText(const TVLTagsReadState& Ctx, uint16_t Tag) {
    const TVLTagEntry* e = Find(Ctx, Tag);
    if (e == nullptr || e->Count >= 0x100000) return {};
    std::vector<uint8_t> bytes = ValueBytesOf(Ctx, *e);
    bytes.resize(std::min<size_t>(bytes.size(), e->Count));
    String text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

bool TIFFBitsPerSample(const TVLTagsReadState& Ctx, int32_t& Bits) {
    const TVLTagEntry* e = Find(Ctx, 258);
    if (e == nullptr) {
        Bits = 1;
        return true;
    }
    if (e->Count <= 1) {
        Bits = static_cast<int32_t>(TIFFTagValue(Ctx, 258, 1));
        return true;
    }
    const std::vector<int64_t> values = TIFFIntegerArray(Ctx, 258);
    bool same = true;
    Bits = values.empty() ? 0 : static_cast<int32_t>(values.back());
    for (int64_t v : values) same = same && v == values.front();
    return same && !values.empty();
}

std::vector<TVLRGB> TIFFColorMap(const TVLTagsReadState& Ctx, int32_t BitsPerSample) {
    if (TIFFFindTag(Ctx, 320) < 0 || BitsPerSample < 1 || BitsPerSample > 8) return {};
    const size_t n = size_t{1} << BitsPerSample;
    std::vector<int64_t> values = TIFFIntegerArray(Ctx, 320);
    values.resize(3 * n, 0);
    const bool wide = *std::max_element(values.begin(), values.end()) >= 256;
    const auto level = [&](size_t i) {
        return static_cast<uint8_t>(wide ? values[i] >> 8 : values[i]);
    };
    std::vector<TVLRGB> map(n);
    for (size_t i = 0; i < n; ++i) {
        map[i].r = level(i);
        map[i].g = level(n + i);
        map[i].b = level(2 * n + i);
    }
    return map;
}

void TIFFDoubleToRational(double Value, int32_t& Numerator, int32_t& Denominator) {
    int64_t d = 1000000;
    while (d > 1 && static_cast<double>(d) * std::fabs(Value) > 2147483640.0) d /= 10;
    const double n = std::nearbyint(static_cast<double>(d) * Value);
    Numerator = static_cast<int32_t>(std::clamp(n, -2147483647.0, 2147483647.0));
    Denominator = static_cast<int32_t>(d);
}

// Entry list.

void TTIFFEntryList::Write(const void* Buffer, int32_t Count) {
    SafeStreamWrite(FStream, FAborting, Buffer, Count);
}

void TTIFFEntryList::Align() {
    if (FStream.GetPosition() % 2 == 0) return;
    const uint8_t zero = 0;
    Write(&zero, 1);
}

void TTIFFEntryList::AddEntry(const TVLTagEntry& Entry) { FEntries.push_back(Entry); }

bool TTIFFEntryList::Contains(uint16_t Tag) const {
    return std::any_of(FEntries.begin(), FEntries.end(),
                       [Tag](const TVLTagEntry& e) { return e.Tag == Tag; });
}

void TTIFFEntryList::AddBlock(uint16_t Tag, uint16_t Type, uint32_t Count,
                              const std::vector<uint8_t>& Bytes) {
    TVLTagEntry e{Tag, Type, Count, 0};
    if (Bytes.size() <= 4) {
        SetInlineValue(e, Bytes.data(), Bytes.size());
    } else {
        Align();
        e.ValueOrOffset = static_cast<uint32_t>(FStream.GetPosition() - Base);
        Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    }
    AddEntry(e);
}

void TTIFFEntryList::AddLong(uint16_t Tag, uint32_t Value) { AddEntry({Tag, ttLong, 1, Value}); }
void TTIFFEntryList::AddShort(uint16_t Tag, uint16_t Value) { AddEntry({Tag, ttShort, 1, Value}); }
void TTIFFEntryList::AddByte(uint16_t Tag, uint8_t Value) { AddEntry({Tag, ttByte, 1, Value}); }

void TTIFFEntryList::AddInlineAscii(uint16_t Tag, const AnsiString& Text) {
    // Only four characters fit the value field; a longer text is cut so the count stays true.
    const size_t n = std::min<size_t>(Text.size(), 4);
    TVLTagEntry e{Tag, ttAscii, static_cast<uint32_t>(n), 0};
    SetInlineValue(e, Text.data(), n);
    AddEntry(e);
}

void TTIFFEntryList::AddInlineBytes(uint16_t Tag, const std::vector<uint8_t>& Bytes) {
    const size_t n = std::min<size_t>(Bytes.size(), 4);
    TVLTagEntry e{Tag, ttByte, static_cast<uint32_t>(n), 0};
    SetInlineValue(e, Bytes.data(), n);
    AddEntry(e);
}

void TTIFFEntryList::AddAscii(uint16_t Tag, const AnsiString& Text) {
    if (Text.empty()) return;
    if (Text.size() <= 4) return AddInlineAscii(Tag, Text);
    std::vector<uint8_t> bytes(Text.begin(), Text.end());
    bytes.push_back(0);
    AddBlock(Tag, ttAscii, static_cast<uint32_t>(bytes.size()), bytes);
}

void TTIFFEntryList::AddWideText(uint16_t Tag, const String& Text) {
    if (Text.empty()) return;
    std::vector<uint8_t> bytes;
    for (char16_t c : Text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    AddBlock(Tag, ttByte, static_cast<uint32_t>(bytes.size()), bytes);
}

void TTIFFEntryList::AddRationals(uint16_t Tag,
                                  const std::vector<std::pair<int64_t, int64_t>>& Pairs,
                                  bool Signed) {
    std::vector<uint8_t> bytes(Pairs.size() * 8);
    for (size_t i = 0; i < Pairs.size(); ++i) {
        const auto n = static_cast<uint32_t>(Pairs[i].first);
        const auto d = static_cast<uint32_t>(Pairs[i].second);
        std::memcpy(&bytes[i * 8], &n, 4);
        std::memcpy(&bytes[i * 8 + 4], &d, 4);
    }
    // Eight bytes per value never fit inline.
    Align();
    TVLTagEntry e{Tag, Signed ? ttSRational : ttRational, static_cast<uint32_t>(Pairs.size()),
                  static_cast<uint32_t>(FStream.GetPosition() - Base)};
    Write(bytes.data(), static_cast<int32_t>(bytes.size()));
    AddEntry(e);
}

void TTIFFEntryList::AddDoubles(uint16_t Tag, const std::vector<double>& Values, bool Signed) {
    std::vector<std::pair<int64_t, int64_t>> pairs;
    for (double v : Values) {
        int32_t n = 0;
        int32_t d = 1;
        TIFFDoubleToRational(Signed ? v : std::max(v, 0.0), n, d);
        pairs.emplace_back(n, d);
    }
    AddRationals(Tag, pairs, Signed);
}

void TTIFFEntryList::AddLongs(uint16_t Tag, const std::vector<uint32_t>& Values) {
    std::vector<uint8_t> bytes(Values.size() * 4);
    if (!Values.empty()) std::memcpy(bytes.data(), Values.data(), bytes.size());
    AddBlock(Tag, ttLong, static_cast<uint32_t>(Values.size()), bytes);
}

void TTIFFEntryList::AddShorts(uint16_t Tag, const std::vector<uint16_t>& Values) {
    std::vector<uint8_t> bytes(Values.size() * 2);
    if (!Values.empty()) std::memcpy(bytes.data(), Values.data(), bytes.size());
    AddBlock(Tag, ttShort, static_cast<uint32_t>(Values.size()), bytes);
}

int64_t TTIFFEntryList::WriteIFD(uint32_t NextOffset) {
    Align();
    const int64_t pos = FStream.GetPosition();
    std::stable_sort(FEntries.begin(), FEntries.end(),
                     [](const TVLTagEntry& a, const TVLTagEntry& b) { return a.Tag < b.Tag; });
    const auto count = static_cast<uint16_t>(FEntries.size());
    Write(&count, 2);
    if (!FEntries.empty()) Write(FEntries.data(), static_cast<int32_t>(FEntries.size() * 12));
    Write(&NextOffset, 4);
    return pos;
}
