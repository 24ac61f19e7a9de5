// Storage and row access of the library's bitmap.
#include "imaging/core/VLBitmap.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"
#include "imaging/core/VLWindowHelpers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

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

} // namespace

TVLBitmap::TVLBitmap() : FileBuffer(std::make_unique<TVLFileBuffer>()) {
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
    FreeImage(true);
}

std::unique_ptr<TVLBitmap> TVLBitmap::CreateAsAlpha(int32_t Width, int32_t Height,
                                                    TVLLocation Location) {
    auto alpha = std::make_unique<TVLBitmap>();
    alpha->IsAlpha = true;
    alpha->Location = Location == vlTBitmap ? vlMemory : Location;
    if (alpha->Allocate(Width, Height, vl8g)) alpha->Fill(255);
    return alpha;
}

bool TVLBitmap::IsEmpty() const {
    return Width == 0 || Height == 0 || RowLen == 0 || BitCount == 0;
}

void TVLBitmap::FreeMemoryBlock() {
    switch (MemoryRoute) {
    case TMemoryRoute::Heap:
        std::free(RawMemory);
        break;
    case TMemoryRoute::Global:
        FreeGlobal(RawMemory);
        break;
    case TMemoryRoute::Block:
        FreeBlock(RawMemory);
        break;
    case TMemoryRoute::None:
        break;
    }
    MemoryRoute = TMemoryRoute::None;
    RawMemory = nullptr;
    Memory = nullptr;
}

void TVLBitmap::FreeFragments() {
    for (uint8_t* fragment : Fragments)
        std::free(fragment);
    Fragments.clear();
    FragmentCount = 0;
    RowsPerFragment = 0;
}

void TVLBitmap::FreeImage(bool FreeAlpha) {
    if (FreeAlpha) AlphaChannel.reset();
    Palette.reset();
    PaletteLength = 0;
    UnmapAllScanlines();
    FileBuffer->Close();
    if (EncapsulatedMemory) {
        MemoryRoute = TMemoryRoute::None;
        RawMemory = nullptr;
        Memory = nullptr;
    } else {
        FreeMemoryBlock();
    }
    if (!EncapsulatedTBitmap) delete VclBitmap;
    VclBitmap = nullptr;
    ScanlineCache.clear();
    FreeFragments();
    Width = Height = RowLen = BitCount = ChannelCount = 0;
    Full = false;
    EncapsulatedTBitmap = EncapsulatedMemory = false;
}

bool TVLBitmap::Allocate(int32_t NewWidth, int32_t NewHeight, TVLPixelFormat NewFormat) {
    if (!FullReallocate && NewWidth == Width && NewHeight == Height && NewFormat == PixelFormat)
        return true;
    if (EncapsulatedTBitmap && VclBitmap != nullptr) {
        // The caller's TBitmap is reused; only what belongs to this bitmap goes.
        AlphaChannel.reset();
        Palette.reset();
        PaletteLength = 0;
        UnmapAllScanlines();
        ScanlineCache.clear();
    } else {
        FreeImage(true);
    }
    Width = NewWidth;
    Height = NewHeight;
    PixelFormat = NewFormat;
    const bool ok = AllocateStorage();
    if (!ok) Width = Height = RowLen = 0;
    FullReallocate = false;
    return ok;
}

bool TVLBitmap::AllocateStorage() {
    auto fail = [this] {
        Palette.reset();
        PaletteLength = 0;
        return false;
    };
    if (Width <= 0 || Height <= 0 || !IsValidFormat(PixelFormat)) return false;
    if (PixelFormat == vl8p) {
        Palette.reset(new (std::nothrow) TVLRGB[256]());
        if (!Palette) return false;
        PaletteLength = 256;
    }
    BitCount = PixelFormatInfo(PixelFormat).BitCount;
    ChannelCount = PixelFormatInfo(PixelFormat).ChannelCount;
    const int64_t rowLen = AlignedRowLength(Width, BitCount, BitAlignment);
    if (rowLen <= 0 || rowLen > INT32_MAX) return fail();
    RowLen = static_cast<int32_t>(rowLen);
    const int64_t size = rowLen * Height;

    if (Location == vlFile && size < MinFileSize) Location = vlMemory;
    if (Location == vlMemory && size > MinFileSize) Location = vlFile;

    if (Location == vlFile && !FileBuffer->AllocateFile(u"IMG", size)) Location = vlMemory;
    if (Location == vlMemory && !AllocateMemoryBlock(size) && !AllocateFragments()) {
        Location = vlFile;
        if (!FileBuffer->AllocateFile(u"IMG", size)) return fail();
    }
    if (Location == vlTBitmap && !AllocateVclBitmap()) return fail();
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
    RawMemory = block;
    MemoryRoute = route;
    const auto address = reinterpret_cast<uintptr_t>(block);
    Memory =
        reinterpret_cast<uint8_t*>((address + BlockAlignment - 1) & ~uintptr_t{BlockAlignment - 1});
    return true;
}

bool TVLBitmap::AllocateFragments() {
    FreeFragments();
    for (int64_t n = 4;; n *= 2) {
        const auto rowsPer = static_cast<int32_t>((Height + n - 1) / n);
        const int64_t fragmentBytes = static_cast<int64_t>(rowsPer) * RowLen;
        if (fragmentBytes < FragmentMinBytes && n > 4) return false;
        Fragments.assign(n, nullptr);
        bool ok = true;
        for (int64_t i = 0; i < n && ok; ++i) {
            Fragments[i] =
                static_cast<uint8_t*>(AllocGlobalZeroed(static_cast<size_t>(fragmentBytes)));
            ok = Fragments[i] != nullptr;
        }
        if (ok) {
            FragmentCount = static_cast<int32_t>(n);
            RowsPerFragment = rowsPer;
            return true;
        }
        FreeFragments();
        if (n * 2 >= Height) return false;
    }
}

bool TVLBitmap::AllocateVclBitmap() {
    try {
        if (static_cast<int64_t>(Height) * RowLen > GetPhysicalMemory(false)) return false;
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
        if (const char16_t* message = refused[static_cast<int>(PixelFormat)])
            throw EInvalidGraphic(message);
        if (VclBitmap == nullptr) {
            VclBitmap = new TBitmap();
            EncapsulatedTBitmap = false;
        }
        VclBitmap->SetSize(1, 1);
        VclBitmap->SetPixelFormat(pfDevice);
        switch (PixelFormat) {
        case vl1g:
            VclBitmap->SetPixelFormat(pf1bit);
            break;
        case vl8p:
        case vl8g:
            VclBitmap->SetPixelFormat(pf8bit);
            break;
        case vl16g:
            // A class-library bitmap has no 16-bit grey format: the pixels become 8-bit grey.
            VclBitmap->SetPixelFormat(pf8bit);
            PixelFormat = vl8g;
            break;
        case vl24RGB:
            VclBitmap->SetPixelFormat(pf24bit);
            break;
        default:
            VclBitmap->SetPixelFormat(pf32bit);
            break;
        }
        RecomputeLayout();
        VclBitmap->SetSize(Width, Height);
        if (PixelFormat == vl8g) SetTBitmapGrayPalette(*VclBitmap);
        BuildScanlineCache();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

void TVLBitmap::RecomputeLayout() {
    BitCount = PixelFormatInfo(PixelFormat).BitCount;
    ChannelCount = PixelFormatInfo(PixelFormat).ChannelCount;
    const int64_t rowLen = AlignedRowLength(Width, BitCount, BitAlignment);
    RowLen = rowLen > INT32_MAX ? 0 : static_cast<int32_t>(rowLen);
}

void TVLBitmap::BuildScanlineCache() {
    ScanlineCache.clear();
    if (VclBitmap == nullptr) return;
    ScanlineCache.resize(Height);
    for (int32_t r = 0; r < Height; ++r)
        ScanlineCache[r] = static_cast<uint8_t*>(VclBitmap->ScanLine(r));
}

uint8_t* TVLBitmap::GetScanline(int32_t Row) {
    if (Row < 0 || Row >= Height) return nullptr;
    switch (Location) {
    case vlMemory:
        if (FragmentCount > 0)
            return Fragments[Row / RowsPerFragment] +
                   static_cast<int64_t>(Row % RowsPerFragment) * RowLen;
        return Memory + static_cast<int64_t>(RowLen) * (Height - 1 - Row);
    case vlFile:
        UnmapWorkingRow();
        WorkingRow = static_cast<uint8_t*>(
            FileBuffer->MapBlock(Access, RowLen, static_cast<int64_t>(Row) * RowLen));
        return WorkingRow;
    case vlTBitmap:
        return Row < static_cast<int32_t>(ScanlineCache.size()) ? ScanlineCache[Row] : nullptr;
    }
    return nullptr;
}

void TVLBitmap::UnmapWorkingRow() {
    if (WorkingRow != nullptr) {
        FileBuffer->UnmapBlock(WorkingRow);
        WorkingRow = nullptr;
    }
}

uint8_t* TVLBitmap::MapScanline(int32_t Row) {
    if (Location != vlFile) return GetScanline(Row);
    if (Row < 0 || Row >= Height) return nullptr;
    UnmapWorkingRow();
    auto* row = static_cast<uint8_t*>(
        FileBuffer->MapBlock(Access, RowLen, static_cast<int64_t>(Row) * RowLen));
    if (row != nullptr) {
        MappedRowPointers.push_back(row);
        MappedRowIndexes.push_back(Row);
    }
    return row;
}

void TVLBitmap::UnmapScanline(int32_t Row) {
    if (Location != vlFile) return;
    const auto it = std::find(MappedRowIndexes.begin(), MappedRowIndexes.end(), Row);
    if (it == MappedRowIndexes.end()) return;
    const auto index = it - MappedRowIndexes.begin();
    FileBuffer->UnmapBlock(MappedRowPointers[index]);
    MappedRowPointers.erase(MappedRowPointers.begin() + index);
    MappedRowIndexes.erase(it);
}

void TVLBitmap::UnmapAllScanlines() {
    UnmapWorkingRow();
    for (auto it = MappedRowPointers.rbegin(); it != MappedRowPointers.rend(); ++it)
        FileBuffer->UnmapBlock(*it);
    MappedRowPointers.clear();
    MappedRowIndexes.clear();
}

int32_t TVLBitmap::GetBitCount() {
    if (Location == vlTBitmap) SyncFromTBitmap();
    return BitCount;
}

int32_t TVLBitmap::GetHeight() {
    if (Location == vlTBitmap) SyncFromTBitmap();
    return Height;
}

int32_t TVLBitmap::GetWidth() {
    if (Location == vlTBitmap) SyncFromTBitmap();
    return Width;
}

TVLPixelFormat TVLBitmap::GetPixelFormat() {
    if (Location == vlTBitmap) SyncFromTBitmap();
    return PixelFormat;
}

int32_t TVLBitmap::GetRowLen() {
    if (Location == vlTBitmap) SyncFromTBitmap();
    return RowLen;
}

int32_t TVLBitmap::GetChannelCount() {
    if (Location == vlTBitmap) SyncFromTBitmap();
    return ChannelCount;
}

void TVLBitmap::GetPaletteColor(int32_t Index, TVLRGB& Color) {
    if (Index >= 0 && Index < PaletteLength) Color = Palette[Index];
}

void TVLBitmap::SetPaletteColor(int32_t Index, const TVLRGB& Color) {
    if (Index < 0 || Index >= PaletteLength) return;
    Palette[Index] = Color;
    UpdateTBitmapPalette();
}

int32_t TVLBitmap::GetPaletteLength() {
    return PaletteLength;
}

void TVLBitmap::UpdateTBitmapPalette() {
    if (Location != vlTBitmap || VclBitmap == nullptr || PaletteLength < 1) return;
    std::vector<TRGBQuad> table(PaletteLength);
    for (int32_t i = 0; i < PaletteLength; ++i)
        table[i] = {Palette[i].b, Palette[i].g, Palette[i].r, 0};
    VclBitmap->SetColorTable(0, table.data(), PaletteLength);
}

void TVLBitmap::SyncFromTBitmap() {
    if (VclBitmap == nullptr) return;
    // Formats without an equivalent here are converted to 24 bits first, so that the rows
    // always have the layout the pixel format says.
    switch (VclBitmap->PixelFormat()) {
    case pf1bit:
    case pf8bit:
    case pf24bit:
    case pf32bit:
        break;
    default:
        VclBitmap->SetPixelFormat(pf24bit);
        break;
    }
    TVLPixelFormat format = vl24RGB;
    switch (VclBitmap->PixelFormat()) {
    case pf1bit:
        format = vl1g;
        break;
    case pf8bit:
        format = IsAlpha || IsTBitmapGrayPalette(*VclBitmap) ? vl8g : vl8p;
        break;
    case pf32bit:
        format = vl32RGB;
        break;
    default:
        break;
    }
    if (VclBitmap->Width() != Width || VclBitmap->Height() != Height || format != PixelFormat) {
        Width = VclBitmap->Width();
        Height = VclBitmap->Height();
        PixelFormat = format;
        RecomputeLayout();
        if (AlphaChannel && (AlphaChannel->Width != Width || AlphaChannel->Height != Height))
            AlphaChannel->Allocate(Width, Height, vl8g);
        BuildScanlineCache();
    }
    if (Height > 0 && !ScanlineCache.empty() && VclBitmap->ScanLine(0) != ScanlineCache[0])
        BuildScanlineCache();
    if (PixelFormat == vl8p) {
        if (!Palette) {
            Palette.reset(new TVLRGB[256]());
            PaletteLength = 256;
        }
        CopyTBitmapPaletteTo(*VclBitmap, *this);
    } else {
        Palette.reset();
        PaletteLength = 0;
    }
}

void TVLBitmap::EncapsulateTBitmap(TBitmap* Bitmap, bool FreeFirst) {
    if (FreeFirst) FreeImage(true);
    if (Bitmap == nullptr) return;
    if (!EncapsulatedTBitmap && VclBitmap != Bitmap) delete VclBitmap;
    UnmapAllScanlines();
    FileBuffer->Close();
    if (!EncapsulatedMemory) FreeMemoryBlock();
    FreeFragments();
    Location = vlTBitmap;
    EncapsulatedTBitmap = true;
    EncapsulatedMemory = false;
    VclBitmap = Bitmap;
    // An impossible width makes the sync derive format, layout and row cache from the bitmap.
    Width = -1;
    SyncFromTBitmap();
}

void TVLBitmap::EncapsulateMemory(void* Data, int32_t NewWidth, int32_t NewHeight,
                                  TVLPixelFormat NewFormat, bool FreeFirst) {
    if (FreeFirst) {
        FreeImage(true);
    } else {
        const bool keepAlpha = AlphaChannel != nullptr;
        auto alpha = std::move(AlphaChannel);
        auto palette = std::move(Palette);
        const int32_t paletteLength = PaletteLength;
        FreeImage(true);
        if (keepAlpha) AlphaChannel = std::move(alpha);
        Palette = std::move(palette);
        PaletteLength = paletteLength;
    }
    if (Data == nullptr || NewWidth <= 0 || NewHeight <= 0 || !IsValidFormat(NewFormat)) return;
    Width = NewWidth;
    Height = NewHeight;
    PixelFormat = NewFormat;
    RecomputeLayout();
    if (RowLen == 0) {
        Width = Height = 0;
        return;
    }
    if (PixelFormat == vl8p && !Palette) {
        Palette.reset(new TVLRGB[256]());
        PaletteLength = 256;
    }
    Location = vlMemory;
    EncapsulatedMemory = true;
    Memory = static_cast<uint8_t*>(Data);
    RawMemory = Data;
}

void TVLBitmap::MoveContentsTo(TVLBitmap& Dest) {
    if (&Dest == this) return;
    Dest.FreeImage(true);
    Dest.Width = Width;
    Dest.Height = Height;
    Dest.BitCount = BitCount;
    Dest.ChannelCount = ChannelCount;
    Dest.WorkingRow = WorkingRow;
    Dest.RowLen = RowLen;
    Dest.PixelFormat = PixelFormat;
    Dest.Palette = std::move(Palette);
    Dest.PaletteLength = PaletteLength;
    Dest.AlphaChannel = std::move(AlphaChannel);
    Dest.IsAlpha = IsAlpha;
    Dest.Memory = Memory;
    Dest.RawMemory = RawMemory;
    Dest.MemoryRoute = MemoryRoute;
    Dest.VclBitmap = VclBitmap;
    Dest.Location = Location;
    Dest.Full = Full;
    Dest.EncapsulatedTBitmap = EncapsulatedTBitmap;
    Dest.EncapsulatedMemory = EncapsulatedMemory;
    Dest.ScanlineCache = std::move(ScanlineCache);
    Dest.FragmentCount = FragmentCount;
    Dest.RowsPerFragment = RowsPerFragment;
    Dest.Fragments = std::move(Fragments);
    Dest.DefaultDitherMethod = DefaultDitherMethod;
    Dest.BitAlignment = BitAlignment;
    Dest.MemoryAllocator = MemoryAllocator;
    Dest.FileBuffer = std::move(FileBuffer);
    Dest.MappedRowPointers = std::move(MappedRowPointers);
    Dest.MappedRowIndexes = std::move(MappedRowIndexes);

    FileBuffer = std::make_unique<TVLFileBuffer>();
    MappedRowPointers.clear();
    MappedRowIndexes.clear();
    ScanlineCache.clear();
    Fragments.clear();
    WorkingRow = nullptr;
    PaletteLength = 0;
    Memory = nullptr;
    RawMemory = nullptr;
    MemoryRoute = TMemoryRoute::None;
    VclBitmap = nullptr;
    Width = Height = BitCount = ChannelCount = RowLen = 0;
    FragmentCount = RowsPerFragment = 0;
    PixelFormat = vlNone;
    Full = false;
    FullReallocate = true;
    EncapsulatedTBitmap = EncapsulatedMemory = false;
}

std::unique_ptr<TVLBitmap> TVLBitmap::BuildRelayout(int32_t NewWidth, int32_t NewHeight,
                                                    TVLLocation NewLocation, int32_t NewAlignment) {
    auto target = std::make_unique<TVLBitmap>();
    target->MinFileSize = MinFileSize;
    target->MemoryAllocator = MemoryAllocator;
    target->BitAlignment = NewAlignment;
    target->Location = NewLocation;
    target->IsAlpha = IsAlpha;
    if (!target->Allocate(NewWidth, NewHeight, PixelFormat)) return nullptr;
    TAccessScope readOnly(*this, VLAccessRead);
    TAccessScope writeOnly(*target, VLAccessWrite);
    const int32_t rows = std::min(Height, target->Height);
    const int32_t bytes = std::min(RowLen, target->RowLen);
    // vl16g becomes vl8g in a class-library bitmap: keep the high byte of every word.
    const bool narrow = PixelFormat == vl16g && target->PixelFormat == vl8g;
    const int32_t columns = std::min(Width, target->Width);
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
    if (PaletteLength > 0 && target->PaletteLength > 0)
        std::copy_n(Palette.get(), std::min(PaletteLength, target->PaletteLength),
                    target->Palette.get());
    return target;
}

void TVLBitmap::CommitRelayout(TVLBitmap& Target) {
    auto alpha = std::move(AlphaChannel);
    const bool isAlpha = IsAlpha;
    const bool full = Full;
    const uint8_t dither = DefaultDitherMethod;
    Target.MoveContentsTo(*this);
    AlphaChannel = std::move(alpha);
    IsAlpha = isAlpha;
    Full = full;
    DefaultDitherMethod = dither;
    FullReallocate = false;
    UpdateTBitmapPalette();
}

bool TVLBitmap::SetLocation(TVLLocation NewLocation) {
    if (NewLocation == Location) return true;
    if (IsEmpty()) {
        FreeImage(false);
        Location = NewLocation;
        FullReallocate = false;
        return true;
    }
    auto target = BuildRelayout(Width, Height, NewLocation, BitAlignment);
    if (!target) return false;
    CommitRelayout(*target);
    return true;
}

TBitmap* TVLBitmap::GetVclBitmap() {
    SetLocation(vlTBitmap);
    return Location == vlTBitmap ? VclBitmap : nullptr;
}

void TVLBitmap::SetWidth(int32_t Value) {
    if (Value != Width) Resize(Value, Height);
}

void TVLBitmap::SetHeight(int32_t Value) {
    if (Value != Height) Resize(Width, Value);
}

void TVLBitmap::Resize(int32_t NewWidth, int32_t NewHeight) {
    if (Location == vlTBitmap) {
        if (AlphaChannel) AlphaChannel->Resize(NewWidth, NewHeight);
        // The class-library bitmap keeps its pixels when resized, whatever its format.
        try {
            if (VclBitmap == nullptr) VclBitmap = new TBitmap();
            VclBitmap->SetSize(std::max(NewWidth, 0), std::max(NewHeight, 0));
        } catch (const Exception&) {
            return;
        }
        Width = VclBitmap->Width();
        Height = VclBitmap->Height();
        RecomputeLayout();
        BuildScanlineCache();
        return;
    }
    if (NewWidth <= 0 || NewHeight <= 0) {
        FreeImage(true);
        return;
    }
    if (PixelFormat == vlNone || IsEmpty()) {
        Width = NewWidth;
        Height = NewHeight;
        return;
    }
    // Both new storages are had before either old one is given up.
    auto target = BuildRelayout(NewWidth, NewHeight, Location, BitAlignment);
    if (!target) return;
    if (AlphaChannel && !AlphaChannel->IsEmpty()) {
        auto alphaTarget = AlphaChannel->BuildRelayout(NewWidth, NewHeight, AlphaChannel->Location,
                                                       AlphaChannel->BitAlignment);
        if (!alphaTarget) return;
        AlphaChannel->CommitRelayout(*alphaTarget);
        AlphaChannel->Full = false;
    }
    CommitRelayout(*target);
    Full = false;
}

void TVLBitmap::SetBitAlignment(int32_t Bits) {
    if (Bits == BitAlignment || Bits <= 0) return;
    FullReallocate = true;
    if (Location != vlTBitmap && !IsEmpty()) {
        auto target = BuildRelayout(Width, Height, Location, Bits);
        if (!target) return;
        CommitRelayout(*target);
    }
    BitAlignment = Bits;
}
