// Raw TIFF-style tag directories kept as bytes with their decoded entry table, and the list of
// DICOM data elements a DICOM file carried.
#pragma once

#include "platform/rtl/Classes.h"

#include <memory>
#include <vector>

// One 12-byte directory entry, as stored.
#pragma pack(push, 1)
struct TVLTagEntry {
    uint16_t Tag = 0;
    uint16_t FieldType = 0;
    uint32_t Count = 0;
    uint32_t ValueOrOffset = 0;
};
#pragma pack(pop)
static_assert(sizeof(TVLTagEntry) == 12);

// What the TIFF tag access reads a directory through: the entries of one directory, in machine
// order, and where their out-of-line values are.
struct TVLTagsReadState {
    // The values at the offsets are little-endian ("II"); false for "MM".
    bool IntelByteOrder = true;
    TStream* Stream = nullptr;
    // Added to every offset of the file.
    int64_t Base = 0;
    uint16_t EntryCount = 0;
    std::vector<TVLTagEntry> Entries;
};

// A directory (the EXIF maker notes): a 16-bit entry count, the entries and the data they point
// to, kept unchanged in Data so that it can be written back as it was read.
class TVLTagsHandler : public TObject {
public:
    TVLTagsHandler();
    TVLTagsHandler(const TVLTagsHandler&) = delete;
    TVLTagsHandler& operator=(const TVLTagsHandler&) = delete;

    TMemoryStream& Data() { return *FData; }
    const TVLTagsReadState& ReadState() const { return FState; }
    uint16_t GetEntryCount() const { return FState.EntryCount; }
    const TVLTagEntry& GetEntry(int32_t Index) const;

    // Decodes the entry table again from Data; writers of Data call it after changing the bytes.
    // An empty Data leaves the table as it was. Entries that the data does not hold in full are
    // not read: the count becomes the number of whole entries present.
    void ReadDirectory();

private:
    std::unique_ptr<TMemoryStream> FData;
    TVLTagsReadState FState;
};

// One DICOM data element.
struct TVLDICOMTag {
    uint16_t Group = 0;
    uint16_t Element = 0;
    // Value representation ("US", "OB" ...); zeros when not given.
    char VR[2] = {0, 0};
    // DataLen value bytes followed by a zero terminator; empty when there is no data.
    std::vector<uint8_t> Data;
    int32_t DataLen = 0;
};

// The data elements of the last DICOM file read, in file order.
class TVLDICOMTags : public TObject {
public:
    TVLDICOMTags() = default;
    TVLDICOMTags(const TVLDICOMTags&) = delete;
    TVLDICOMTags& operator=(const TVLDICOMTags&) = delete;

    // Appends a record holding a private copy of DataLen bytes of Data and a zero terminator.
    // VR is kept only when it has exactly two characters; a DataLen below 1 or a nil Data keeps
    // no data. Returns the index of the new record.
    int32_t AddTag(uint16_t Group, uint16_t Element, const AnsiString& VR, const void* Data,
                   int32_t DataLen);
    void Clear() { FTags.clear(); }
    // Deep copy of Source's records; nil does nothing.
    void Assign(const TVLDICOMTags* Source);

    int32_t GetCount() const { return static_cast<int32_t>(FTags.size()); }
    const TVLDICOMTag& GetTag(int32_t Index) const;

private:
    std::vector<TVLDICOMTag> FTags;
};
