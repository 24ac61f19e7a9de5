// JPEG marker list and IPTC-IIM dataset list.
#include "imaging/core/VLMarkerList.h"

#include "imaging/core/VLHelpers.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>

namespace {

constexpr uint8_t APP1 = 0xE1;
constexpr uint8_t APP2 = 0xE2;
// "ICC_PROFILE" with its NUL, then the chunk's sequence number and the chunk count.
constexpr std::string_view IccChunkTag{"ICC_PROFILE\0", 12};
constexpr size_t IccSequenceByte = 12;

bool IsIccChunk(uint8_t Type, TMemoryStream& Data) {
    return Type == APP2 && Data.GetSize() > static_cast<int64_t>(IccSequenceByte) + 1 &&
           std::memcmp(Data.Memory(), IccChunkTag.data(), IccChunkTag.size()) == 0;
}

uint32_t ReadBE32(const uint8_t* P) {
    return (uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3];
}

void PutBE16(std::vector<uint8_t>& Out, uint32_t V) {
    Out.push_back(static_cast<uint8_t>(V >> 8));
    Out.push_back(static_cast<uint8_t>(V));
}

void PutBE32(std::vector<uint8_t>& Out, uint32_t V) {
    PutBE16(Out, V >> 16);
    PutBE16(Out, V);
}

constexpr uint8_t IptcTagMarker = 0x1C;
constexpr std::string_view PhotoshopSignature{"Photoshop 3.0"};
constexpr std::string_view IptcResource{"8BIM\x04\x04", 6};
// "Photoshop 3.0", NUL, "8BIM", resource 04 04, an empty name (2 bytes), the 4-byte size.
constexpr size_t PhotoshopHeaderSize = 26;
constexpr size_t PhotoshopSizeOffset = 22;
// Record 2, dataset 0 (the record version), length 2, value 2.
constexpr uint8_t ShortHeader[] = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
constexpr int32_t LongDatasetLength = 0x8000;

// Where the datasets start: past "8BIM" 04 04 of a Photoshop block, then at the last of the
// first run of 1C bytes. Length when there is nothing to read.
size_t FirstDataset(const uint8_t* Bytes, size_t Length) {
    size_t pos = 0;
    const std::string_view all(reinterpret_cast<const char*>(Bytes), Length);
    if (all.starts_with(PhotoshopSignature)) {
        const size_t found = all.find(IptcResource);
        if (found == std::string_view::npos) return Length;
        pos = found + IptcResource.size();
    }
    while (pos < Length && Bytes[pos] != IptcTagMarker)
        ++pos;
    while (pos + 1 < Length && Bytes[pos + 1] == IptcTagMarker)
        ++pos;
    return pos;
}

} // namespace

bool IsExifBlock(const void* Data, int32_t Length) {
    return Data != nullptr && Length >= 5 && std::memcmp(Data, "Exif\0", 5) == 0;
}

void TVLMarkerList::CheckIndex(int32_t Index) const {
    if (Index < 0 || Index >= GetCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
}

uint8_t TVLMarkerList::GetMarkerType(int32_t Index) const {
    CheckIndex(Index);
    return FTypes[Index];
}

int32_t TVLMarkerList::GetMarkerLength(int32_t Index) const {
    CheckIndex(Index);
    return static_cast<int32_t>(FData[Index]->GetSize());
}

const uint8_t* TVLMarkerList::GetMarkerData(int32_t Index) const {
    CheckIndex(Index);
    return static_cast<const uint8_t*>(FData[Index]->Memory());
}

int32_t TVLMarkerList::IndexOf(uint8_t MarkerType) const {
    const auto it = std::find(FTypes.begin(), FTypes.end(), MarkerType);
    return it == FTypes.end() ? -1 : static_cast<int32_t>(it - FTypes.begin());
}

void TVLMarkerList::AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length) {
    auto stream = std::make_unique<TMemoryStream>();
    if (Data != nullptr && Length > 0) stream->WriteBuffer(Data, Length);
    FData.push_back(std::move(stream));
    FTypes.push_back(MarkerType);
}

void TVLMarkerList::SetMarker(int32_t Index, uint8_t MarkerType, const void* Data,
                              uint16_t Length) {
    CheckIndex(Index);
    auto stream = std::make_unique<TMemoryStream>();
    if (Data != nullptr && Length > 0) stream->WriteBuffer(Data, Length);
    FData[Index] = std::move(stream);
    FTypes[Index] = MarkerType;
}

void TVLMarkerList::DeleteMarker(int32_t Index) {
    CheckIndex(Index);
    FData.erase(FData.begin() + Index);
    FTypes.erase(FTypes.begin() + Index);
}

void TVLMarkerList::Clear() {
    FData.clear();
    FTypes.clear();
}

void TVLMarkerList::Assign(const TVLMarkerList* Source) {
    if (Source == nullptr || Source == this) return;
    Clear();
    for (int32_t i = 0; i < Source->GetCount(); ++i)
        AddMarker(Source->FTypes[i], Source->GetMarkerData(i),
                  static_cast<uint16_t>(Source->GetMarkerLength(i)));
}

int32_t TVLMarkerList::CompareMarkers(int32_t I, int32_t J) const {
    const bool iccI = IsIccChunk(FTypes[I], *FData[I]);
    const bool iccJ = IsIccChunk(FTypes[J], *FData[J]);
    if (iccI && iccJ)
        return static_cast<int32_t>(GetMarkerData(I)[IccSequenceByte]) -
               GetMarkerData(J)[IccSequenceByte];
    // Other APP2 blocks go after the profile chunks, so that the order is a real ordering and
    // the chunks come out in sequence even when such blocks sit between them.
    if (FTypes[I] == APP2 && FTypes[J] == APP2) return iccI == iccJ ? 0 : iccI ? -1 : 1;
    return static_cast<int32_t>(FTypes[I]) - FTypes[J];
}

void TVLMarkerList::ExchangeMarkers(int32_t I, int32_t J) {
    std::swap(FData[I], FData[J]);
    std::swap(FTypes[I], FTypes[J]);
}

void TVLMarkerList::Sort() {
    SortItems(
        GetCount(), [this](int32_t I, int32_t J) { ExchangeMarkers(I, J); },
        [this](int32_t I, int32_t J) { return CompareMarkers(I, J); });
    const int32_t firstApp1 = IndexOf(APP1);
    if (firstApp1 < 0) return;
    for (int32_t i = firstApp1 + 1; i < GetCount(); ++i)
        if (FTypes[i] == APP1 && IsExifBlock(GetMarkerData(i), GetMarkerLength(i)))
            ExchangeMarkers(i, firstApp1);
}

const TVLIPTCItem& TVLIPTCInfoList::Item(int32_t Index) const {
    if (Index < 0 || Index >= GetCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    return FItems[Index];
}

int32_t TVLIPTCInfoList::GetItemLength(int32_t Index) const {
    return static_cast<int32_t>(Item(Index).Data.size());
}

const uint8_t* TVLIPTCInfoList::GetItemData(int32_t Index) const {
    const auto& data = Item(Index).Data;
    return data.empty() ? nullptr : data.data();
}

int32_t TVLIPTCInfoList::AddItem(int32_t Record, int32_t DataSet, int32_t Length,
                                 const void* Data) {
    TVLIPTCItem& item = FItems.emplace_back();
    item.Record = Record;
    item.DataSet = DataSet;
    if (Data != nullptr && Length > 0) {
        const auto* bytes = static_cast<const uint8_t*>(Data);
        item.Data.assign(bytes, bytes + Length);
    }
    FUserChanged = true;
    return GetCount() - 1;
}

void TVLIPTCInfoList::Clear() {
    FItems.clear();
    FUserChanged = true;
}

void TVLIPTCInfoList::Assign(const TVLIPTCInfoList* Source) {
    if (Source == nullptr || Source == this) return;
    FItems = Source->FItems;
    FUserChanged = true;
}

bool TVLIPTCInfoList::LoadFromBuffer(const void* Buffer, int32_t Length) {
    Clear();
    FUserChanged = false;
    if (Buffer == nullptr || Length <= 0) return false;
    const auto* bytes = static_cast<const uint8_t*>(Buffer);
    const auto end = static_cast<uint64_t>(Length);
    // Positions and lengths are unsigned 64-bit values, so that no 32-bit length read from the
    // block can wrap around the end check.
    uint64_t pos = FirstDataset(bytes, end);
    while (pos < end && bytes[pos] == IptcTagMarker) {
        uint64_t dataStart = pos + 5;
        if (dataStart >= end) break;
        const int32_t record = bytes[pos + 1];
        const int32_t dataSet = bytes[pos + 2];
        uint64_t length = (uint64_t{bytes[pos + 3]} << 8) | bytes[pos + 4];
        if ((bytes[pos + 3] & 0x80) != 0) {
            dataStart = pos + 9;
            if (dataStart > end) break;
            length = ReadBE32(bytes + pos + 5);
        }
        if (length > end - dataStart) break;
        FItems.push_back({record, dataSet, {bytes + dataStart, bytes + dataStart + length}});
        pos = dataStart + length;
    }
    return !FItems.empty();
}

std::vector<uint8_t> TVLIPTCInfoList::SaveToBuffer(bool WithPhotoshopHeader) const {
    std::vector<uint8_t> out;
    if (FItems.empty()) return out;
    if (WithPhotoshopHeader) {
        out.assign(PhotoshopSignature.begin(), PhotoshopSignature.end());
        out.push_back(0);
        out.insert(out.end(), IptcResource.begin(), IptcResource.end());
        out.resize(PhotoshopHeaderSize, 0);
    } else {
        out.assign(std::begin(ShortHeader), std::end(ShortHeader));
    }
    const size_t datasetsStart = out.size();
    for (const TVLIPTCItem& item : FItems) {
        const auto length = static_cast<uint32_t>(item.Data.size());
        // The record version is carried by the short header.
        if (length == 0 || (item.Record == 2 && item.DataSet == 0)) continue;
        out.push_back(IptcTagMarker);
        out.push_back(static_cast<uint8_t>(item.Record));
        out.push_back(static_cast<uint8_t>(item.DataSet));
        if (length >= LongDatasetLength) {
            out.push_back(0x80);
            out.push_back(0x04);
            PutBE32(out, length);
        } else {
            PutBE16(out, length);
        }
        out.insert(out.end(), item.Data.begin(), item.Data.end());
    }
    const auto datasetBytes = static_cast<uint32_t>(out.size() - datasetsStart);
    if (out.size() % 2 != 0) out.push_back(0);
    if (WithPhotoshopHeader) {
        std::vector<uint8_t> size;
        PutBE32(size, datasetBytes);
        std::copy(size.begin(), size.end(), out.begin() + PhotoshopSizeOffset);
    }
    return out;
}
