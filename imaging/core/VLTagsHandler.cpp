// Raw tag directories and DICOM data elements.
#include "imaging/core/VLTagsHandler.h"

#include <algorithm>
#include <cstring>

TVLTagsHandler::TVLTagsHandler() : FData(std::make_unique<TMemoryStream>()) {
    FState.Stream = FData.get();
}

const TVLTagEntry& TVLTagsHandler::GetEntry(int32_t Index) const {
    if (Index < 0 || Index >= static_cast<int32_t>(FState.Entries.size()))
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    return FState.Entries[Index];
}

void TVLTagsHandler::ReadDirectory() {
    const int64_t size = FData->GetSize();
    if (size == 0) return;
    FData->SetPosition(0);
    uint16_t count = 0;
    if (FData->Read(&count, sizeof(count)) != sizeof(count)) count = 0;
    // The count comes from the bytes; only entries the data really holds are taken.
    const int64_t present = std::max<int64_t>(size - 2, 0) / int64_t{sizeof(TVLTagEntry)};
    const auto n = static_cast<uint16_t>(std::min<int64_t>(count, present));
    FState.Entries.assign(n, TVLTagEntry{});
    if (n > 0) FData->ReadBuffer(FState.Entries.data(), int64_t{n} * sizeof(TVLTagEntry));
    FState.EntryCount = n;
}

int32_t TVLDICOMTags::AddTag(uint16_t Group, uint16_t Element, const AnsiString& VR,
                             const void* Data, int32_t DataLen) {
    TVLDICOMTag& tag = FTags.emplace_back();
    tag.Group = Group;
    tag.Element = Element;
    if (VR.size() == 2) {
        tag.VR[0] = VR[0];
        tag.VR[1] = VR[1];
    }
    if (Data != nullptr && DataLen > 0) {
        const auto* bytes = static_cast<const uint8_t*>(Data);
        tag.Data.reserve(static_cast<size_t>(DataLen) + 1);
        tag.Data.assign(bytes, bytes + DataLen);
        tag.Data.push_back(0);
        tag.DataLen = DataLen;
    }
    return GetCount() - 1;
}

void TVLDICOMTags::Assign(const TVLDICOMTags* Source) {
    if (Source == nullptr || Source == this) return;
    FTags = Source->FTags;
}

const TVLDICOMTag& TVLDICOMTags::GetTag(int32_t Index) const {
    if (Index < 0 || Index >= GetCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    return FTags[Index];
}
