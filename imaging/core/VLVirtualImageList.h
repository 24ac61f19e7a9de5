// The image cache: many images kept in one growing temporary file, a few of them mapped into
// memory at a time, handed out as reference-counted bitmaps.
#pragma once

#include "imaging/core/VLBitmap.h"

#include <memory>
#include <vector>

// One stored image; callers hold its address as the image's handle.
struct TVLVirtualImage {
    int64_t Offset = 0; // start of its area in the file
    int64_t Size = 0;   // bytes of its area
    uint8_t* Data = nullptr;
    uint8_t InUse = 0; // 1 while a bitmap from GetBitmap is out
    int32_t OriginalWidth = 0;
    int32_t OriginalHeight = 0;
    uint8_t HasAlpha = 0;
    uint8_t MappedAccess = 0; // VLAccessRead, VLAccessWrite or both
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitCount = 0;
    TVLPixelFormat PixelFormat = TVLPixelFormat::vlNone;
};

// An image's area holds its pixel rows from the bottom row up, each padded to 32 bits; with
// alpha, then one byte with the alpha channel's Full flag and the alpha rows from the bottom up.
class TVLVirtualImageList : public TObject {
public:
    explicit TVLVirtualImageList(const String& FilePrefix);
    ~TVLVirtualImageList() override;
    TVLVirtualImageList(const TVLVirtualImageList&) = delete;
    TVLVirtualImageList& operator=(const TVLVirtualImageList&) = delete;

    // A new image with a reserved area, mapped for writing.
    TVLVirtualImage* AddImage(int32_t Width, int32_t Height, bool HasAlpha,
                              TVLPixelFormat PixelFormat, int32_t BitCount);
    // Stores a copy of Bitmap's pixels (and alpha channel); nil for a nil or empty bitmap.
    TVLVirtualImage* AddBitmap(TVLBaseBitmap* Bitmap);
    // The image as a bitmap shared by every caller until the last ReleaseBitmap; nil when the
    // image cannot be read.
    TVLBitmap* GetBitmap(TVLVirtualImage* Image);
    // Gives a bitmap from GetBitmap back, storing it into its image first with StoreBack.
    void ReleaseBitmap(TVLBitmap* Bitmap, bool StoreBack);
    void ReleaseImageBitmap(TVLVirtualImage* Image, bool StoreBack);
    void DeleteImage(TVLVirtualImage* Image);

    int32_t GetImageWidth(TVLVirtualImage* Image);
    int32_t GetImageHeight(TVLVirtualImage* Image);
    TVLPixelFormat GetImagePixelFormat(TVLVirtualImage* Image);
    // The stored rows, bottom row first (the in-use bitmap's bottom row while a bitmap is out);
    // valid until the next call on the list.
    uint8_t* GetImageBits(TVLVirtualImage* Image);
    // The alpha rows, bottom row first; nil without alpha or when the alpha is stored as full.
    uint8_t* GetImageAlphaBits(TVLVirtualImage* Image);
    int32_t GetOriginalWidth(TVLVirtualImage* Image) const { return Image->OriginalWidth; }
    int32_t GetOriginalHeight(TVLVirtualImage* Image) const { return Image->OriginalHeight; }
    void SetOriginalWidth(TVLVirtualImage* Image, int32_t Value) { Image->OriginalWidth = Value; }
    void SetOriginalHeight(TVLVirtualImage* Image, int32_t Value) { Image->OriginalHeight = Value; }
    // Removes every image and bitmap and closes the file.
    void ReleaseAll();

    // Images mapped at once beyond which the least recently used mapping is released.
    int32_t MaxMapped = 10;

    int32_t ImageCount() const { return static_cast<int32_t>(FImages.size()); }
    int32_t GetMappedCount() const { return FMappedCount; }
    int64_t GetFileSize() const { return FFileSize; }
    int64_t GetNextOffset() const { return FNextOffset; }
    int64_t GetGrowStep() const { return FGrowStep; }
    const TVLFileBuffer& GetStore() const { return *FStore; }

private:
    struct TFreeArea {
        int64_t Offset;
        int64_t Size;
    };
    struct TBitmapRecord {
        TVLVirtualImage* Image;
        std::unique_ptr<TVLBitmap> Bitmap;
        int32_t RefCount;
    };

    void ResetFile();
    // Gives Image an area for its current size and format and maps it for writing.
    void ReserveArea(TVLVirtualImage& Image);
    bool MapImage(TVLVirtualImage& Image, uint8_t Access);
    void UnmapImage(TVLVirtualImage& Image);
    void CopyImageToBitmap(TVLVirtualImage& Image, TVLBitmap& Bitmap);
    void StoreBitmapToImage(TVLVirtualImage& Image, TVLBitmap& Bitmap);
    // Writes Bitmap's rows (and alpha) into the mapped area.
    void WriteArea(TVLVirtualImage& Image, TVLBaseBitmap& Bitmap, TVLBitmap* Alpha);
    TBitmapRecord* FindRecord(const TVLVirtualImage* Image);
    TBitmapRecord* FindRecord(const TVLBitmap* Bitmap);
    void DropRecord(TBitmapRecord* Record);

    std::unique_ptr<TVLFileBuffer> FStore;
    int64_t FFileSize = 0x40000;
    std::vector<std::unique_ptr<TVLVirtualImage>> FImages;
    // Least recently used first.
    std::vector<TVLVirtualImage*> FMappedImages;
    std::vector<TFreeArea> FFreeAreas;
    int64_t FNextOffset = 0;
    int64_t FGrowStep = 0x40000;
    int32_t FMappedCount = 0;
    std::vector<TBitmapRecord> FBitmapsInUse;
    int64_t FLastImageSize = 0;
    String FFilePrefix;
};
