// The image cache.
#include "imaging/core/VLVirtualImageList.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLHelpers.h"

#include <algorithm>
#include <cstring>

using imaging_core::detail::TAccessScope;

namespace {

int64_t PixelRowLen(const TVLVirtualImage& Image) {
    return AlignedRowLength(Image.Width, Image.BitCount, 32);
}

int64_t AlphaRowLen(const TVLVirtualImage& Image) {
    return AlignedRowLength(Image.Width, 8, 32);
}

// Bytes of an image's area; 0 for an impossible size.
int64_t AreaSize(const TVLVirtualImage& Image) {
    const int64_t pixelRow = PixelRowLen(Image);
    if (pixelRow <= 0 || Image.Height <= 0 || pixelRow > INT64_MAX / 4 / Image.Height) return 0;
    int64_t size = pixelRow * Image.Height;
    if (Image.HasAlpha) size += AlphaRowLen(Image) * Image.Height + 1;
    return size;
}

// Copies Count rows of Bytes bytes from Source (top row first) into the area rows at Area
// (bottom row first, Stride apart), clearing each area row's padding.
template <typename RowFn>
void RowsToArea(uint8_t* Area, int64_t Stride, int32_t Count, RowFn&& SourceRow, int64_t Bytes) {
    for (int32_t k = 0; k < Count; ++k) {
        uint8_t* dst = Area + Stride * k;
        const uint8_t* src = SourceRow(Count - 1 - k);
        const auto n = static_cast<size_t>(std::min(Bytes, Stride));
        if (src != nullptr) std::memcpy(dst, src, n);
        std::memset(dst + n, 0, static_cast<size_t>(Stride) - n);
    }
}

} // namespace

TVLVirtualImageList::TVLVirtualImageList(const String& Prefix)
    : FStore(std::make_unique<TVLFileBuffer>()), FFilePrefix(Prefix) {
    ResetFile();
}

TVLVirtualImageList::~TVLVirtualImageList() {
    ReleaseAll();
}

void TVLVirtualImageList::ResetFile() {
    // Free areas are forgotten whenever the file is resized.
    FFreeAreas.clear();
    while (!FMappedImages.empty())
        UnmapImage(*FMappedImages.back());
    // A missing file is made anew; the images keep their records (without data) so that the
    // handles callers hold stay valid.
    if (FStore->IsAllocated())
        FStore->SetSize(FFileSize);
    else
        FStore->AllocateFile(FFilePrefix, FFileSize);
}

void TVLVirtualImageList::ReleaseAll() {
    FBitmapsInUse.clear();
    FMappedImages.clear();
    FMappedCount = 0;
    FImages.clear();
    FFreeAreas.clear();
    FStore->Close();
    FNextOffset = 0;
}

bool TVLVirtualImageList::MapImage(TVLVirtualImage& Image, uint8_t Access) {
    if (Image.Data != nullptr && Image.MappedAccess != Access) UnmapImage(Image);
    if (Image.Data != nullptr) {
        auto it = std::find(FMappedImages.begin(), FMappedImages.end(), &Image);
        std::rotate(it, it + 1, FMappedImages.end());
        return true;
    }
    if (!FStore->IsAllocated()) return false;
    while (FMappedCount > MaxMapped && !FMappedImages.empty())
        UnmapImage(*FMappedImages.front());
    auto* data = static_cast<uint8_t*>(FStore->MapBlock(Access, Image.Size, Image.Offset));
    if (data == nullptr) return false;
    // An area mapped only for writing starts cleared, never with stale heap bytes.
    if (!(Access & VLAccessRead)) std::memset(data, 0, static_cast<size_t>(Image.Size));
    Image.Data = data;
    Image.MappedAccess = Access;
    ++FMappedCount;
    FMappedImages.push_back(&Image);
    return true;
}

void TVLVirtualImageList::UnmapImage(TVLVirtualImage& Image) {
    if (Image.Data == nullptr) return;
    FStore->UnmapBlock(Image.Data);
    Image.Data = nullptr;
    FMappedImages.erase(std::find(FMappedImages.begin(), FMappedImages.end(), &Image));
    --FMappedCount;
}

void TVLVirtualImageList::ReserveArea(TVLVirtualImage& Image) {
    const int64_t size = AreaSize(Image);
    Image.Size = size;
    const auto fit = std::find_if(FFreeAreas.begin(), FFreeAreas.end(),
                                  [size](const TFreeArea& a) { return a.Size >= size; });
    const bool appended = fit == FFreeAreas.end();
    if (!appended) {
        // The area is taken whole; its remainder is not kept.
        Image.Offset = fit->Offset;
        FFreeAreas.erase(fit);
    } else {
        if (size > FGrowStep) FGrowStep = size + FLastImageSize;
        FLastImageSize = size;
        if (FNextOffset + size > FFileSize) {
            FFileSize += FGrowStep;
            ResetFile();
        }
        Image.Offset = FNextOffset;
    }
    if (MapImage(Image, VLAccessWrite) && appended) FNextOffset += size;
}

TVLVirtualImage* TVLVirtualImageList::AddImage(int32_t Width, int32_t Height, bool HasAlpha,
                                               TVLPixelFormat PixelFormat, int32_t BitCount) {
    auto image = std::make_unique<TVLVirtualImage>();
    image->Width = image->OriginalWidth = Width;
    image->Height = image->OriginalHeight = Height;
    image->HasAlpha = HasAlpha ? 1 : 0;
    image->BitCount = BitCount;
    image->PixelFormat = PixelFormat;
    if (AreaSize(*image) == 0) return nullptr;
    ReserveArea(*image);
    FImages.push_back(std::move(image));
    return FImages.back().get();
}

void TVLVirtualImageList::WriteArea(TVLVirtualImage& Image, TVLBaseBitmap& Bitmap,
                                    TVLBitmap* Alpha) {
    if (Image.Data == nullptr) return;
    const int64_t rowLen = PixelRowLen(Image);
    {
        TAccessScope readOnly(Bitmap, VLAccessRead);
        RowsToArea(
            Image.Data, rowLen, Image.Height,
            [&Bitmap](int32_t r) { return Bitmap.GetScanline(r); }, Bitmap.GetRowLen());
    }
    if (auto* vl = dynamic_cast<TVLBitmap*>(&Bitmap)) vl->UnmapAllScanlines();
    if (!Image.HasAlpha || Alpha == nullptr) return;
    uint8_t* alphaArea = Image.Data + rowLen * Image.Height;
    alphaArea[0] = Alpha->Full ? 1 : 0;
    TAccessScope readOnly(*Alpha, VLAccessRead);
    RowsToArea(
        alphaArea + 1, AlphaRowLen(Image), Image.Height,
        [Alpha](int32_t r) { return Alpha->GetScanline(r); }, Alpha->GetRowLen());
    Alpha->UnmapAllScanlines();
}

TVLVirtualImage* TVLVirtualImageList::AddBitmap(TVLBaseBitmap* Bitmap) {
    if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return nullptr;
    auto* vl = dynamic_cast<TVLBitmap*>(Bitmap);
    TVLBitmap* alpha = vl != nullptr && vl->HasAlphaChannel() ? vl->GetAlphaChannel() : nullptr;
    TVLVirtualImage* image = AddImage(Bitmap->GetWidth(), Bitmap->GetHeight(), alpha != nullptr,
                                      Bitmap->GetPixelFormat(), Bitmap->GetBitCount());
    if (image != nullptr) WriteArea(*image, *Bitmap, alpha);
    return image;
}

void TVLVirtualImageList::CopyImageToBitmap(TVLVirtualImage& Image, TVLBitmap& Bitmap) {
    if (!MapImage(Image, VLAccessRead)) return;
    if (Bitmap.GetPixelFormat() != Image.PixelFormat || Bitmap.GetWidth() != Image.Width ||
        Bitmap.GetHeight() != Image.Height) {
        Bitmap.FullReallocate = true;
        if (!Bitmap.Allocate(Image.Width, Image.Height, Image.PixelFormat)) return;
    }
    const int64_t rowLen = PixelRowLen(Image);
    const uint8_t* area = Image.Data;
    auto copyRows = [&Image](TVLBitmap& Target, const uint8_t* Rows, int64_t Stride) {
        TAccessScope writeOnly(Target, VLAccessWrite);
        const auto bytes = static_cast<size_t>(std::min<int64_t>(Stride, Target.GetRowLen()));
        for (int32_t k = 0; k < Image.Height; ++k) {
            uint8_t* dst = Target.GetScanline(Image.Height - 1 - k);
            if (dst == nullptr) break;
            std::memcpy(dst, Rows + Stride * k, bytes);
            std::memset(dst + bytes, 0, Target.GetRowLen() - bytes);
        }
        Target.UnmapAllScanlines();
    };
    copyRows(Bitmap, area, rowLen);
    const uint8_t* alphaArea = area + rowLen * Image.Height;
    if (!Image.HasAlpha || alphaArea[0] != 0) {
        Bitmap.RemoveAlphaChannel(false, clWhite);
        return;
    }
    TVLBitmap* alpha = Bitmap.GetAlphaChannel();
    copyRows(*alpha, alphaArea + 1, AlphaRowLen(Image));
    alpha->Full = false;
}

void TVLVirtualImageList::StoreBitmapToImage(TVLVirtualImage& Image, TVLBitmap& Bitmap) {
    const bool hasAlpha = Bitmap.HasAlphaChannel();
    if (Bitmap.GetWidth() != Image.Width || Bitmap.GetHeight() != Image.Height ||
        Bitmap.GetBitCount() != Image.BitCount || hasAlpha != (Image.HasAlpha != 0)) {
        UnmapImage(Image);
        // The old area is free for later images.
        FFreeAreas.push_back({Image.Offset, Image.Size});
        Image.Width = Bitmap.GetWidth();
        Image.Height = Bitmap.GetHeight();
        Image.BitCount = Bitmap.GetBitCount();
        Image.HasAlpha = hasAlpha ? 1 : 0;
        if (AreaSize(Image) == 0) return;
        ReserveArea(Image);
    } else if (!MapImage(Image, VLAccessRead | VLAccessWrite)) {
        return;
    }
    Image.PixelFormat = Bitmap.GetPixelFormat();
    WriteArea(Image, Bitmap, hasAlpha ? Bitmap.GetAlphaChannel() : nullptr);
}

TVLBitmap* TVLVirtualImageList::GetBitmap(TVLVirtualImage* Image) {
    if (Image == nullptr) return nullptr;
    if (TBitmapRecord* record = FindRecord(Image)) {
        ++record->RefCount;
        return record->Bitmap.get();
    }
    if (!MapImage(*Image, VLAccessRead)) return nullptr;
    auto bitmap = std::make_unique<TVLBitmap>();
    CopyImageToBitmap(*Image, *bitmap);
    FBitmapsInUse.push_back({Image, std::move(bitmap), 1});
    Image->InUse = 1;
    return FBitmapsInUse.back().Bitmap.get();
}

void TVLVirtualImageList::ReleaseBitmap(TVLBitmap* Bitmap, bool StoreBack) {
    TBitmapRecord* record = Bitmap != nullptr ? FindRecord(Bitmap) : nullptr;
    if (record == nullptr) return;
    // A client may have changed a class-library bitmap through its canvas.
    if (Bitmap->GetLocation() == TVLLocation::vlTBitmap) Bitmap->SyncFromTBitmap();
    --record->RefCount;
    if (StoreBack) StoreBitmapToImage(*record->Image, *Bitmap);
    if (record->RefCount <= 0) DropRecord(record);
}

void TVLVirtualImageList::ReleaseImageBitmap(TVLVirtualImage* Image, bool StoreBack) {
    if (TBitmapRecord* record = FindRecord(Image)) ReleaseBitmap(record->Bitmap.get(), StoreBack);
}

void TVLVirtualImageList::DeleteImage(TVLVirtualImage* Image) {
    const auto it = std::find_if(FImages.begin(), FImages.end(),
                                 [Image](const auto& p) { return p.get() == Image; });
    if (it == FImages.end()) return;
    FFreeAreas.push_back({Image->Offset, Image->Size});
    if (TBitmapRecord* record = FindRecord(Image)) DropRecord(record);
    UnmapImage(*Image);
    FImages.erase(it);
    if (FImages.empty()) {
        FFileSize = FGrowStep;
        FNextOffset = 0;
        ResetFile();
    }
}

TVLVirtualImageList::TBitmapRecord* TVLVirtualImageList::FindRecord(const TVLVirtualImage* Image) {
    for (TBitmapRecord& record : FBitmapsInUse)
        if (record.Image == Image) return &record;
    return nullptr;
}

TVLVirtualImageList::TBitmapRecord* TVLVirtualImageList::FindRecord(const TVLBitmap* Bitmap) {
    for (TBitmapRecord& record : FBitmapsInUse)
        if (record.Bitmap.get() == Bitmap) return &record;
    return nullptr;
}

void TVLVirtualImageList::DropRecord(TBitmapRecord* Record) {
    Record->Image->InUse = 0;
    FBitmapsInUse.erase(FBitmapsInUse.begin() + (Record - FBitmapsInUse.data()));
}

int32_t TVLVirtualImageList::GetImageWidth(TVLVirtualImage* Image) {
    TBitmapRecord* record = Image->InUse ? FindRecord(Image) : nullptr;
    return record != nullptr ? record->Bitmap->GetWidth() : Image->Width;
}

int32_t TVLVirtualImageList::GetImageHeight(TVLVirtualImage* Image) {
    TBitmapRecord* record = Image->InUse ? FindRecord(Image) : nullptr;
    return record != nullptr ? record->Bitmap->GetHeight() : Image->Height;
}

TVLPixelFormat TVLVirtualImageList::GetImagePixelFormat(TVLVirtualImage* Image) {
    TBitmapRecord* record = Image->InUse ? FindRecord(Image) : nullptr;
    return record != nullptr ? record->Bitmap->GetPixelFormat() : Image->PixelFormat;
}

uint8_t* TVLVirtualImageList::GetImageBits(TVLVirtualImage* Image) {
    if (Image->InUse) {
        TBitmapRecord* record = FindRecord(Image);
        return record != nullptr ? record->Bitmap->GetScanline(record->Bitmap->GetHeight() - 1)
                                 : nullptr;
    }
    return MapImage(*Image, VLAccessRead) ? Image->Data : nullptr;
}

uint8_t* TVLVirtualImageList::GetImageAlphaBits(TVLVirtualImage* Image) {
    if (!Image->HasAlpha) return nullptr;
    if (Image->InUse) {
        TBitmapRecord* record = FindRecord(Image);
        if (record == nullptr || !record->Bitmap->HasAlphaChannel()) return nullptr;
        TVLBitmap* alpha = record->Bitmap->GetAlphaChannel();
        return alpha->GetScanline(alpha->GetHeight() - 1);
    }
    if (!MapImage(*Image, VLAccessRead)) return nullptr;
    uint8_t* alphaArea = Image->Data + PixelRowLen(*Image) * Image->Height;
    return alphaArea[0] != 0 ? nullptr : alphaArea + 1;
}
