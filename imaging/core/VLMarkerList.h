// The JPEG application and comment markers of an image, kept to be written back, and the
// IPTC-IIM datasets of an image with their APP13 block reader and writer.
#pragma once

#include "platform/rtl/Classes.h"

#include <memory>
#include <vector>

// An APP1 payload that holds EXIF data: it begins with "Exif" and a NUL within Length bytes.
bool IsExifBlock(const void* Data, int32_t Length);

// Markers in file order: a private copy of each payload (the bytes after the length field)
// and its code (0xE0 to 0xEF for APP0 to APP15, 0xFE for COM).
class TVLMarkerList : public TObject {
public:
    TVLMarkerList() = default;
    TVLMarkerList(const TVLMarkerList&) = delete;
    TVLMarkerList& operator=(const TVLMarkerList&) = delete;

    int32_t GetCount() const { return static_cast<int32_t>(FTypes.size()); }
    uint8_t GetMarkerType(int32_t Index) const;
    int32_t GetMarkerLength(int32_t Index) const;
    // The payload, valid while the marker exists; nil for an empty payload.
    const uint8_t* GetMarkerData(int32_t Index) const;
    // Index of the first marker of that code, -1 when none.
    int32_t IndexOf(uint8_t MarkerType) const;

    void AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length);
    void SetMarker(int32_t Index, uint8_t MarkerType, const void* Data, uint16_t Length);
    void DeleteMarker(int32_t Index);
    void Clear();
    // Copies every marker of Source in order; nil does nothing.
    void Assign(const TVLMarkerList* Source);

    // Orders the markers by code, the chunks of a split ICC profile by their sequence numbers,
    // and puts an EXIF block first among the APP1 markers.
    void Sort();

private:
    void CheckIndex(int32_t Index) const;
    int32_t CompareMarkers(int32_t I, int32_t J) const;
    void ExchangeMarkers(int32_t I, int32_t J);

    std::vector<std::unique_ptr<TMemoryStream>> FData;
    std::vector<uint8_t> FTypes;
};

// One IPTC-IIM dataset.
struct TVLIPTCItem {
    int32_t Record = 0;
    int32_t DataSet = 0;
    std::vector<uint8_t> Data;
};

// IPTC-IIM datasets as read from or written to a JPEG APP13 block, with or without the
// Photoshop resource wrapper.
class TVLIPTCInfoList : public TObject {
public:
    TVLIPTCInfoList() = default;
    TVLIPTCInfoList(const TVLIPTCInfoList&) = delete;
    TVLIPTCInfoList& operator=(const TVLIPTCInfoList&) = delete;

    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    int32_t GetRecord(int32_t Index) const { return Item(Index).Record; }
    int32_t GetDataSet(int32_t Index) const { return Item(Index).DataSet; }
    int32_t GetItemLength(int32_t Index) const;
    // The dataset bytes, valid while the item exists; nil for an empty dataset.
    const uint8_t* GetItemData(int32_t Index) const;
    // False after construction and after LoadFromBuffer, true after any other change.
    bool GetUserChanged() const { return FUserChanged; }

    // Appends a copy of Length bytes of Data and returns the new index.
    int32_t AddItem(int32_t Record, int32_t DataSet, int32_t Length, const void* Data);
    void Clear();
    // Copies every item of Source; nil does nothing.
    void Assign(const TVLIPTCInfoList* Source);

    // Replaces the list with the datasets of Buffer. True when at least one was read; a dataset
    // that runs past the end of the buffer ends the reading and is dropped.
    bool LoadFromBuffer(const void* Buffer, int32_t Length);
    // The APP13 block of the list; empty when the list is.
    std::vector<uint8_t> SaveToBuffer(bool WithPhotoshopHeader) const;

private:
    const TVLIPTCItem& Item(int32_t Index) const;

    std::vector<TVLIPTCItem> FItems;
    bool FUserChanged = false;
};
