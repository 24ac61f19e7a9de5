// Storage and row access of the library's bitmap.
#include "imaging/core/VLBitmap.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

using enum TVLPixelFormat;
using enum TVLLocation;
using imaging_core::detail::TAccessScope;

namespace {

constexpr int64_t DefaultMinFileSizeFallback = 33554432;
constexpr int64_t FragmentMinBytes = 10485760;
constexpr uint32_t BlockAlignment = 64;
constexpr uint32_t BlockSlack = 128;

bool IsValidFormat(TVLPixelFormat Format) {
    return Format != vlNone && static_cast<int>(Format) < VLPixelFormatCount;
}

// Sets the 256-entry colour table to the grey ramp (i, i, i).
void SetTBitmapGrayPalette(TBitmap& Bitmap) {
    TRGBQuad ramp[256];
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        ramp[i] = {v, v, v, 0};
    }
    Bitmap.SetColorTable(0, ramp, 256);
}

// Every entry i of the colour table equals (i, i, i); true for an empty table.
bool IsTBitmapGrayPalette(const TBitmap& Bitmap) {
    const auto& table = Bitmap.ColorTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
    return true;
}

// Copies the colour table into Dest's palette when Bitmap is 8 bits and Dest is vl8p.
void CopyTBitmapPaletteTo(const TBitmap& Bitmap, TVLBitmap& Dest) {
    if (Bitmap.PixelFormat() != pf8bit || Dest.GetPalette() == nullptr) return;
    const auto& table = Bitmap.ColorTable();
    TVLRGB* palette = Dest.GetPalette();
    const auto n = std::min<size_t>(table.size(), static_cast<size_t>(Dest.GetPaletteLength()));
    for (size_t i = 0; i < n; ++i)
        palette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
}

} // namespace

TVLBitmap::TVLBitmap() : FFileBuffer(std::make_unique<TVLFileBuffer>()) {
    Access = VLAccessRead | VLAccessWrite;
    if (DefaultMinFileSize != -1) {
        MinFileSize = DefaultMinFileSize;
    } else {
        MinFileSize = Trunc(static_cast<double>(GetPhysicalMemory(false)) / 1.3);
        if (MinFileSize == 0) MinFileSize = DefaultMinFileSizeFallback;
    }
}

TVLBitmap::TVLBitmap(int32_t Width, int32_t Height, TVLPixelFormat PixelFormat) : TVLBitmap() {
    Allocate(Width, Height, PixelFormat);
}

TVLBitmap::~TVLBitmap() {
    try {
        FreeImage(true);
    } catch (const Exception&) {
        // Rows that could not be written back go with the temporary file.
    }
}

std::unique_ptr<TVLBitmap> TVLBitmap::CreateAsAlpha(int32_t Width, int32_t Height,
                                                    TVLLocation Location) {
    auto alpha = std::make_unique<TVLBitmap>();
    alpha->IsAlpha = true;
    alpha->FLocation = Location == vlTBitmap ? vlMemory : Location;
    if (alpha->Allocate(Width, Height, vl8g)) alpha->Fill(255);
    return alpha;
}

bool TVLBitmap::IsEmpty() const {
    return FWidth == 0 || FHeight == 0 || FRowLen == 0 || FBitCount == 0;
}

void TVLBitmap::FreeMemoryBlock() {
    switch (FMemoryRoute) {
    case TMemoryRoute::Heap:
        std::free(FRawMemory);
        break;
    case TMemoryRoute::Global:
        FreeGlobal(FRawMemory);
        break;
    case TMemoryRoute::Block:
        FreeBlock(FRawMemory);
        break;
    case TMemoryRoute::None:
        break;
    }
    FMemoryRoute = TMemoryRoute::None;
    FRawMemory = nullptr;
    FMemory = nullptr;
}

void TVLBitmap::FreeFragments() {
    for (uint8_t* fragment : FFragments)
        std::free(fragment);
    FFragments.clear();
    FFragmentCount = 0;
    FRowsPerFragment = 0;
}

void TVLBitmap::FreeImage(bool FreeAlpha) {
    if (FreeAlpha) FAlphaChannel.reset();
    FPalette.reset();
    FPaletteLength = 0;
    // The storage goes even when rows cannot be written back; that failure is raised at the end.
    std::exception_ptr failure;
    for (auto step : {&TVLBitmap::UnmapAllScanlines, &TVLBitmap::CloseFile}) {
        try {
            (this->*step)();
        } catch (const Exception&) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (FEncapsulatedMemory) {
        FMemoryRoute = TMemoryRoute::None;
        FRawMemory = nullptr;
        FMemory = nullptr;
    } else {
        FreeMemoryBlock();
    }
    if (!FEncapsulatedTBitmap) delete FVclBitmap;
    FVclBitmap = nullptr;
    FScanlineCache.clear();
    FreeFragments();
    FWidth = FHeight = FRowLen = FBitCount = FChannelCount = 0;
    Full = false;
    FEncapsulatedTBitmap = FEncapsulatedMemory = false;
    if (failure) std::rethrow_exception(failure);
}

void TVLBitmap::CloseFile() {
    FFileBuffer->Close();
}

bool TVLBitmap::Allocate(int32_t NewWidth, int32_t NewHeight, TVLPixelFormat NewFormat) {
    if (!FullReallocate && NewWidth == FWidth && NewHeight == FHeight && NewFormat == FPixelFormat)
        return true;
    if (FEncapsulatedTBitmap && FVclBitmap != nullptr) {
        // The caller's TBitmap is reused; only what belongs to this bitmap goes.
        FAlphaChannel.reset();
        FPalette.reset();
        FPaletteLength = 0;
        UnmapAllScanlines();
        FScanlineCache.clear();
    } else {
        FreeImage(true);
    }
    FWidth = NewWidth;
    FHeight = NewHeight;
    FPixelFormat = NewFormat;
    const bool ok = AllocateStorage();
    if (!ok) FWidth = FHeight = FRowLen = 0;
    FullReallocate = false;
    return ok;
}

bool TVLBitmap::AllocateStorage() {
    auto fail = [this] {
        FPalette.reset();
        FPaletteLength = 0;
        return false;
    };
    if (FWidth <= 0 || FHeight <= 0 || !IsValidFormat(FPixelFormat)) return false;
    if (FPixelFormat == vl8p) {
        FPalette.reset(new (std::nothrow) TVLRGB[256]());
        if (!FPalette) return false;
        FPaletteLength = 256;
    }
    FBitCount = PixelFormatInfo(FPixelFormat).BitCount;
    FChannelCount = PixelFormatInfo(FPixelFormat).ChannelCount;
    const int64_t rowLen = AlignedRowLength(FWidth, FBitCount, FBitAlignment);
    if (rowLen <= 0 || rowLen > INT32_MAX) return fail();
    FRowLen = static_cast<int32_t>(rowLen);
    const int64_t size = rowLen * FHeight;

    if (FLocation == vlFile && size < MinFileSize) FLocation = vlMemory;
    if (FLocation == vlMemory && size > MinFileSize) FLocation = vlFile;

    if (FLocation == vlFile && !FFileBuffer->AllocateFile(u"IMG", size)) FLocation = vlMemory;
    if (FLocation == vlMemory && !AllocateMemoryBlock(size) && !AllocateFragments()) {
        FLocation = vlFile;
        if (!FFileBuffer->AllocateFile(u"IMG", size)) return fail();
    }
    if (FLocation == vlTBitmap && !AllocateVclBitmap()) return fail();
    Full = false;
    return true;
}

bool TVLBitmap::AllocateMemoryBlock(int64_t Size) {
    if (Size > MaxPixelBlockSize) return false;
    const auto bytes = static_cast<size_t>(Size) + BlockSlack;
    void* block = nullptr;
    TMemoryRoute route = TMemoryRoute::None;
    switch (MemoryAllocator) {
    case 0:
        block = std::malloc(bytes);
        route = TMemoryRoute::Heap;
        break;
    case 1:
        block = AllocGlobalZeroed(bytes);
        route = TMemoryRoute::Global;
        break;
    default:
        block = AllocBlock(bytes);
        route = TMemoryRoute::Block;
        break;
    }
    if (block == nullptr) return false;
    FRawMemory = block;
    FMemoryRoute = route;
    const auto address = reinterpret_cast<uintptr_t>(block);
    FMemory =
        reinterpret_cast<uint8_t*>((address + BlockAlignment - 1) & ~uintptr_t{BlockAlignment - 1});
    return true;
}

bool TVLBitmap::AllocateFragments() {
    FreeFragments();
    for (int64_t n = 4;; n *= 2) {
        const auto rowsPer = static_cast<int32_t>((FHeight + n - 1) / n);
        const int64_t fragmentBytes = static_cast<int64_t>(rowsPer) * FRowLen;
        if (fragmentBytes < FragmentMinBytes && n > 4) return false;
        FFragments.assign(n, nullptr);
        bool ok = true;
        for (int64_t i = 0; i < n && ok; ++i) {
            FFragments[i] =
                static_cast<uint8_t*>(AllocGlobalZeroed(static_cast<size_t>(fragmentBytes)));
            ok = FFragments[i] != nullptr;
        }
        if (ok) {
            FFragmentCount = static_cast<int32_t>(n);
            FRowsPerFragment = rowsPer;
            return true;
        }
        FreeFragments();
        if (n * 2 >= FHeight) return false;
    }
}

bool TVLBitmap::AllocateVclBitmap() {
    try {
        if (static_cast<int64_t>(FHeight) * FRowLen > GetPhysicalMemory(false)) return false;
        static const char16_t* const refused[VLPixelFormatCount] = {
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            nullptr,
            u"vl32f pixel format not allowed when Location=vlTBitmap",
            u"vlCMYK pixel format not allowed when Location=vlTBitmap",
            u"vlRGB48 pixel format not allowed when Location=vlTBitmap",
            u"vlCIELab pixel format not allowed when Location=vlTBitmap",
            nullptr};
        if (const char16_t* message = refused[static_cast<int>(FPixelFormat)])
            throw EInvalidGraphic(message);
        if (FVclBitmap == nullptr) {
            FVclBitmap = new TBitmap();
            FEncapsulatedTBitmap = false;
        }
        FVclBitmap->SetSize(1, 1);
        FVclBitmap->SetPixelFormat(pfDevice);
        switch (FPixelFormat) {
        case vl1g:
            FVclBitmap->SetPixelFormat(pf1bit);
            break;
        case vl8p:
        case vl8g:
            FVclBitmap->SetPixelFormat(pf8bit);
            break;
        case vl16g:
            // A class-library bitmap has no 16-bit grey format: the pixels become 8-bit grey.
            FVclBitmap->SetPixelFormat(pf8bit);
            FPixelFormat = vl8g;
            break;
        case vl24RGB:
            FVclBitmap->SetPixelFormat(pf24bit);
            break;
        default:
            FVclBitmap->SetPixelFormat(pf32bit);
            break;
        }
        FVclBitmap->SetSize(FWidth, FHeight);
        RecomputeLayout();
        if (FPixelFormat == vl8g) SetTBitmapGrayPalette(*FVclBitmap);
        BuildScanlineCache();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

void TVLBitmap::RecomputeLayout() {
    FBitCount = PixelFormatInfo(FPixelFormat).BitCount;
    FChannelCount = PixelFormatInfo(FPixelFormat).ChannelCount;
    // The class-library bitmap pads its rows to 32 bits whatever BitAlignment says.
    const bool vclRows = FLocation == vlTBitmap && FVclBitmap != nullptr;
    const int64_t rowLen =
        vclRows ? FVclBitmap->RowLength() : AlignedRowLength(FWidth, FBitCount, FBitAlignment);
    FRowLen = rowLen > INT32_MAX ? 0 : static_cast<int32_t>(rowLen);
}

void TVLBitmap::BuildScanlineCache() {
    FScanlineCache.clear();
    if (FVclBitmap == nullptr) return;
    FScanlineCache.resize(FHeight);
    for (int32_t r = 0; r < FHeight; ++r)
        FScanlineCache[r] = static_cast<uint8_t*>(FVclBitmap->ScanLine(r));
}

uint8_t* TVLBitmap::GetScanline(int32_t Row) {
    // A size stored without pixels (see Resize) has no rows.
    if (Row < 0 || Row >= FHeight || FRowLen == 0) return nullptr;
    switch (FLocation) {
    case vlMemory:
        if (FFragmentCount > 0)
            return FFragments[Row / FRowsPerFragment] +
                   static_cast<int64_t>(Row % FRowsPerFragment) * FRowLen;
        return FMemory + static_cast<int64_t>(FRowLen) * (FHeight - 1 - Row);
    case vlFile:
        UnmapWorkingRow();
        FWorkingRow = static_cast<uint8_t*>(
            FFileBuffer->MapBlock(Access, FRowLen, static_cast<int64_t>(Row) * FRowLen));
        return FWorkingRow;
    case vlTBitmap:
        return Row < static_cast<int32_t>(FScanlineCache.size()) ? FScanlineCache[Row] : nullptr;
    }
    return nullptr;
}

void TVLBitmap::UnmapWorkingRow() {
    // Forgotten before it is released: a failed write-back (raised) still frees the row.
    if (uint8_t* row = std::exchange(FWorkingRow, nullptr)) FFileBuffer->UnmapBlock(row);
}

uint8_t* TVLBitmap::MapScanline(int32_t Row) {
    if (FLocation != vlFile) return GetScanline(Row);
    if (Row < 0 || Row >= FHeight || FRowLen == 0) return nullptr;
    UnmapWorkingRow();
    auto* row = static_cast<uint8_t*>(
        FFileBuffer->MapBlock(Access, FRowLen, static_cast<int64_t>(Row) * FRowLen));
    if (row != nullptr) {
        FMappedRowPointers.push_back(row);
        FMappedRowIndexes.push_back(Row);
    }
    return row;
}

void TVLBitmap::UnmapScanline(int32_t Row) {
    if (FLocation != vlFile) return;
    const auto it = std::find(FMappedRowIndexes.begin(), FMappedRowIndexes.end(), Row);
    if (it == FMappedRowIndexes.end()) return;
    const auto index = it - FMappedRowIndexes.begin();
    uint8_t* row = FMappedRowPointers[index];
    FMappedRowPointers.erase(FMappedRowPointers.begin() + index);
    FMappedRowIndexes.erase(it);
    FFileBuffer->UnmapBlock(row);
}

void TVLBitmap::UnmapAllScanlines() {
    std::vector<uint8_t*> rows = std::move(FMappedRowPointers);
    FMappedRowPointers.clear();
    FMappedRowIndexes.clear();
    if (uint8_t* row = std::exchange(FWorkingRow, nullptr)) rows.insert(rows.begin(), row);
    // Every row is released; the first one that cannot be written back is raised at the end.
    std::exception_ptr failure;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        try {
            FFileBuffer->UnmapBlock(*it);
        } catch (const Exception&) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

int32_t TVLBitmap::GetBitCount() {
    if (FLocation == vlTBitmap) SyncFromTBitmap();
    return FBitCount;
}

int32_t TVLBitmap::GetHeight() {
    if (FLocation == vlTBitmap) SyncFromTBitmap();
    return FHeight;
}

int32_t TVLBitmap::GetWidth() {
    if (FLocation == vlTBitmap) SyncFromTBitmap();
    return FWidth;
}

TVLPixelFormat TVLBitmap::GetPixelFormat() {
    if (FLocation == vlTBitmap) SyncFromTBitmap();
    return FPixelFormat;
}

int32_t TVLBitmap::GetRowLen() {
    if (FLocation == vlTBitmap) SyncFromTBitmap();
    return FRowLen;
}

int32_t TVLBitmap::GetChannelCount() {
    if (FLocation == vlTBitmap) SyncFromTBitmap();
    return FChannelCount;
}

void TVLBitmap::GetPaletteColor(int32_t Index, TVLRGB& Color) {
    if (Index >= 0 && Index < FPaletteLength) Color = FPalette[Index];
}

void TVLBitmap::SetPaletteColor(int32_t Index, const TVLRGB& Color) {
    if (Index < 0 || Index >= FPaletteLength) return;
    FPalette[Index] = Color;
    UpdateTBitmapPalette();
}

int32_t TVLBitmap::GetPaletteLength() {
    return FPaletteLength;
}

void TVLBitmap::UpdateTBitmapPalette() {
    if (FLocation != vlTBitmap || FVclBitmap == nullptr || FPaletteLength < 1) return;
    std::vector<TRGBQuad> table(FPaletteLength);
    for (int32_t i = 0; i < FPaletteLength; ++i)
        table[i] = {FPalette[i].b, FPalette[i].g, FPalette[i].r, 0};
    FVclBitmap->SetColorTable(0, table.data(), FPaletteLength);
}

void TVLBitmap::SyncFromTBitmap() {
    if (FVclBitmap == nullptr) return;
    // Formats without an equivalent here are converted to 24 bits first, so that the rows
    // always have the layout the pixel format says.
    switch (FVclBitmap->PixelFormat()) {
    case pf1bit:
    case pf8bit:
    case pf24bit:
    case pf32bit:
        break;
    default:
        FVclBitmap->SetPixelFormat(pf24bit);
        break;
    }
    TVLPixelFormat format = vl24RGB;
    switch (FVclBitmap->PixelFormat()) {
    case pf1bit:
        format = vl1g;
        break;
    case pf8bit:
        format = IsAlpha || IsTBitmapGrayPalette(*FVclBitmap) ? vl8g : vl8p;
        break;
    case pf32bit:
        format = vl32RGB;
        break;
    default:
        break;
    }
    if (FVclBitmap->Width() != FWidth || FVclBitmap->Height() != FHeight ||
        format != FPixelFormat) {
        FWidth = FVclBitmap->Width();
        FHeight = FVclBitmap->Height();
        FPixelFormat = format;
        RecomputeLayout();
        if (FAlphaChannel && (FAlphaChannel->FWidth != FWidth || FAlphaChannel->FHeight != FHeight))
            FAlphaChannel->Allocate(FWidth, FHeight, vl8g);
        BuildScanlineCache();
    }
    if (FHeight > 0 && !FScanlineCache.empty() && FVclBitmap->ScanLine(0) != FScanlineCache[0])
        BuildScanlineCache();
    if (FPixelFormat == vl8p) {
        if (!FPalette) {
            FPalette.reset(new TVLRGB[256]());
            FPaletteLength = 256;
        }
        CopyTBitmapPaletteTo(*FVclBitmap, *this);
    } else {
        FPalette.reset();
        FPaletteLength = 0;
    }
}

void TVLBitmap::EncapsulateTBitmap(TBitmap* Bitmap, bool FreeFirst) {
    if (FreeFirst) FreeImage(true);
    if (Bitmap == nullptr) return;
    if (!FEncapsulatedTBitmap && FVclBitmap != Bitmap) delete FVclBitmap;
    UnmapAllScanlines();
    FFileBuffer->Close();
    if (!FEncapsulatedMemory) FreeMemoryBlock();
    FreeFragments();
    FLocation = vlTBitmap;
    FEncapsulatedTBitmap = true;
    FEncapsulatedMemory = false;
    FVclBitmap = Bitmap;
    // An impossible width makes the sync derive format, layout and row cache from the bitmap.
    FWidth = -1;
    SyncFromTBitmap();
}

void TVLBitmap::EncapsulateMemory(void* Data, int32_t NewWidth, int32_t NewHeight,
                                  TVLPixelFormat NewFormat, bool FreeFirst) {
    if (FreeFirst) {
        FreeImage(true);
    } else {
        const bool keepAlpha = FAlphaChannel != nullptr;
        auto alpha = std::move(FAlphaChannel);
        auto palette = std::move(FPalette);
        const int32_t paletteLength = FPaletteLength;
        FreeImage(true);
        if (keepAlpha) FAlphaChannel = std::move(alpha);
        FPalette = std::move(palette);
        FPaletteLength = paletteLength;
    }
    if (Data == nullptr || NewWidth <= 0 || NewHeight <= 0 || !IsValidFormat(NewFormat)) return;
    FWidth = NewWidth;
    FHeight = NewHeight;
    FPixelFormat = NewFormat;
    RecomputeLayout();
    if (FRowLen == 0) {
        FWidth = FHeight = 0;
        return;
    }
    if (FPixelFormat == vl8p && !FPalette) {
        FPalette.reset(new TVLRGB[256]());
        FPaletteLength = 256;
    }
    FLocation = vlMemory;
    FEncapsulatedMemory = true;
    FMemory = static_cast<uint8_t*>(Data);
    FRawMemory = Data;
}

void TVLBitmap::MoveContentsTo(TVLBitmap& Dest) {
    if (&Dest == this) return;
    Dest.FreeImage(true);
    Dest.FWidth = FWidth;
    Dest.FHeight = FHeight;
    Dest.FBitCount = FBitCount;
    Dest.FChannelCount = FChannelCount;
    Dest.FWorkingRow = FWorkingRow;
    Dest.FRowLen = FRowLen;
    Dest.FPixelFormat = FPixelFormat;
    Dest.FPalette = std::move(FPalette);
    Dest.FPaletteLength = FPaletteLength;
    Dest.FAlphaChannel = std::move(FAlphaChannel);
    Dest.IsAlpha = IsAlpha;
    Dest.FMemory = FMemory;
    Dest.FRawMemory = FRawMemory;
    Dest.FMemoryRoute = FMemoryRoute;
    Dest.FVclBitmap = FVclBitmap;
    Dest.FLocation = FLocation;
    Dest.Full = Full;
    Dest.FEncapsulatedTBitmap = FEncapsulatedTBitmap;
    Dest.FEncapsulatedMemory = FEncapsulatedMemory;
    Dest.FScanlineCache = std::move(FScanlineCache);
    Dest.FFragmentCount = FFragmentCount;
    Dest.FRowsPerFragment = FRowsPerFragment;
    Dest.FFragments = std::move(FFragments);
    Dest.DefaultDitherMethod = DefaultDitherMethod;
    Dest.FBitAlignment = FBitAlignment;
    Dest.MemoryAllocator = MemoryAllocator;
    Dest.FFileBuffer = std::move(FFileBuffer);
    Dest.FMappedRowPointers = std::move(FMappedRowPointers);
    Dest.FMappedRowIndexes = std::move(FMappedRowIndexes);

    FFileBuffer = std::make_unique<TVLFileBuffer>();
    FMappedRowPointers.clear();
    FMappedRowIndexes.clear();
    FScanlineCache.clear();
    FFragments.clear();
    FWorkingRow = nullptr;
    FPaletteLength = 0;
    FMemory = nullptr;
    FRawMemory = nullptr;
    FMemoryRoute = TMemoryRoute::None;
    FVclBitmap = nullptr;
    FWidth = FHeight = FBitCount = FChannelCount = FRowLen = 0;
    FFragmentCount = FRowsPerFragment = 0;
    FPixelFormat = vlNone;
    Full = false;
    FullReallocate = true;
    FEncapsulatedTBitmap = FEncapsulatedMemory = false;
}

std::unique_ptr<TVLBitmap> TVLBitmap::BuildRelayout(int32_t NewWidth, int32_t NewHeight,
                                                    TVLLocation NewLocation, int32_t NewAlignment) {
    auto target = std::make_unique<TVLBitmap>();
    target->MinFileSize = MinFileSize;
    target->MemoryAllocator = MemoryAllocator;
    target->FBitAlignment = NewAlignment;
    target->FLocation = NewLocation;
    target->IsAlpha = IsAlpha;
    if (!target->Allocate(NewWidth, NewHeight, FPixelFormat)) return nullptr;
    TAccessScope readOnly(*this, VLAccessRead);
    TAccessScope writeOnly(*target, VLAccessWrite);
    const int32_t rows = std::min(FHeight, target->FHeight);
    const int32_t bytes = std::min(FRowLen, target->FRowLen);
    // vl16g becomes vl8g in a class-library bitmap: keep the high byte of every word.
    const bool narrow = FPixelFormat == vl16g && target->FPixelFormat == vl8g;
    const int32_t columns = std::min(FWidth, target->FWidth);
    for (int32_t r = 0; r < rows; ++r) {
        const uint8_t* src = GetScanline(r);
        uint8_t* dst = target->GetScanline(r);
        if (narrow) {
            for (int32_t x = 0; x < columns; ++x)
                dst[x] = src[2 * x + 1];
        } else {
            std::memcpy(dst, src, bytes);
        }
    }
    UnmapAllScanlines();
    target->UnmapAllScanlines();
    if (FPaletteLength > 0 && target->FPaletteLength > 0)
        std::copy_n(FPalette.get(), std::min(FPaletteLength, target->FPaletteLength),
                    target->FPalette.get());
    return target;
}

void TVLBitmap::CommitRelayout(TVLBitmap& Target) {
    auto alpha = std::move(FAlphaChannel);
    const bool isAlpha = IsAlpha;
    const bool full = Full;
    const uint8_t dither = DefaultDitherMethod;
    Target.MoveContentsTo(*this);
    FAlphaChannel = std::move(alpha);
    IsAlpha = isAlpha;
    Full = full;
    DefaultDitherMethod = dither;
    FullReallocate = false;
    UpdateTBitmapPalette();
}

bool TVLBitmap::SetLocation(TVLLocation NewLocation) {
    if (NewLocation == FLocation) return true;
    if (IsEmpty()) {
        FreeImage(false);
        FLocation = NewLocation;
        FullReallocate = false;
        return true;
    }
    auto target = BuildRelayout(FWidth, FHeight, NewLocation, FBitAlignment);
    if (!target) return false;
    CommitRelayout(*target);
    return true;
}

TBitmap* TVLBitmap::GetVclBitmap() {
    SetLocation(vlTBitmap);
    return FLocation == vlTBitmap ? FVclBitmap : nullptr;
}

TCanvas* TVLBitmap::GetCanvas() {
    TBitmap* bitmap = GetVclBitmap();
    return bitmap != nullptr ? bitmap->Canvas() : nullptr;
}

void TVLBitmap::SetWidth(int32_t Value) {
    if (Value != FWidth) Resize(Value, FHeight);
}

void TVLBitmap::SetHeight(int32_t Value) {
    if (Value != FHeight) Resize(FWidth, Value);
}

bool TVLBitmap::SetSize(int32_t NewWidth, int32_t NewHeight) {
    if (NewWidth != FWidth || NewHeight != FHeight) Resize(NewWidth, NewHeight);
    return FWidth == NewWidth && FHeight == NewHeight;
}

void TVLBitmap::Resize(int32_t NewWidth, int32_t NewHeight) {
    if (FLocation == vlTBitmap) {
        if (FAlphaChannel) FAlphaChannel->Resize(NewWidth, NewHeight);
        // The class-library bitmap keeps its pixels when resized, whatever its format.
        try {
            if (FVclBitmap == nullptr) FVclBitmap = new TBitmap();
            FVclBitmap->SetSize(std::max(NewWidth, 0), std::max(NewHeight, 0));
        } catch (const Exception&) {
            return;
        }
        FWidth = FVclBitmap->Width();
        FHeight = FVclBitmap->Height();
        RecomputeLayout();
        BuildScanlineCache();
        return;
    }
    if (IsEmpty()) {
        // Nothing to keep: the numbers are stored, and the pixels are had as soon as both sides
        // and the format are known, so that a bitmap can be built up one property at a time.
        FWidth = std::max(NewWidth, 0);
        FHeight = std::max(NewHeight, 0);
        if (FWidth > 0 && FHeight > 0 && FPixelFormat != vlNone && !AllocateStorage())
            FWidth = FHeight = FRowLen = 0;
        return;
    }
    if (NewWidth <= 0 || NewHeight <= 0) {
        FreeImage(true);
        return;
    }
    // Both new storages are had before either old one is given up.
    auto target = BuildRelayout(NewWidth, NewHeight, FLocation, FBitAlignment);
    if (!target) return;
    if (FAlphaChannel && !FAlphaChannel->IsEmpty()) {
        auto alphaTarget = FAlphaChannel->BuildRelayout(
            NewWidth, NewHeight, FAlphaChannel->FLocation, FAlphaChannel->FBitAlignment);
        if (!alphaTarget) return;
        FAlphaChannel->CommitRelayout(*alphaTarget);
        FAlphaChannel->Full = false;
    }
    CommitRelayout(*target);
    Full = false;
}

bool IsRowAlignment(int32_t Bits) {
    return Bits == 8 || Bits == 16 || Bits == 32 || Bits == 64;
}

void TVLBitmap::SetBitAlignment(int32_t Bits) {
    // Only whole-byte alignments that the raw dump can store: any other value would make rows
    // shorter than their pixels.
    if (Bits == FBitAlignment || !IsRowAlignment(Bits)) return;
    FullReallocate = true;
    if (FLocation != vlTBitmap && !IsEmpty()) {
        auto target = BuildRelayout(FWidth, FHeight, FLocation, Bits);
        if (!target) return;
        CommitRelayout(*target);
    }
    FBitAlignment = Bits;
}
