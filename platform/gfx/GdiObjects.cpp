// Drawing objects and device contexts: the handle registry, stock objects, creation, selection,
// deletion, descriptions and the state kept by a device context.
#include "platform/gfx/GdiInternal.h"
#include "platform/gfx/QtRuntime.h"
#include "platform/rtl/WinApi.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

using namespace platform::detail;

namespace {

struct Registry {
    std::mutex Lock;
    std::unordered_map<void*, TGdiObject*> Objects;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// Largest pixel block a bitmap object may have.
constexpr int64_t MaxBitmapBytes = int64_t{1} << 40;

int32_t RowStride(int64_t width, int32_t bits, int32_t alignBits) {
    const int64_t stride = (width * bits + alignBits - 1) / alignBits * (alignBits / 8);
    return stride > INT32_MAX ? -1 : static_cast<int32_t>(stride);
}

std::unique_ptr<uint8_t[]> AllocateZeroed(int64_t bytes) {
    if (bytes <= 0 || bytes > MaxBitmapBytes) return nullptr;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
    if (!pixels) return nullptr;
    AdviseLargePages(pixels.get(), static_cast<size_t>(bytes));
    std::memset(pixels.get(), 0, static_cast<size_t>(bytes));
    return pixels;
}

LOGFONTW MakeLogFont(const char16_t* face, int32_t height, int32_t weight) {
    LOGFONTW lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::char_traits<char16_t>::copy(lf.lfFaceName, face,
                                     std::char_traits<char16_t>::length(face) + 1);
    return lf;
}

template <class T> T* MakeStock() {
    auto* object = new T;
    object->Stock = true;
    RegisterObject(object, static_cast<void*>(object));
    return object;
}

TGdiBrush* StockBrush(uint32_t style, COLORREF color) {
    auto* brush = MakeStock<TGdiBrush>();
    brush->Log = {style, color, 0};
    return brush;
}

TGdiPen* StockPen(uint32_t style, COLORREF color) {
    auto* pen = MakeStock<TGdiPen>();
    pen->Log = {style, {1, 0}, color};
    return pen;
}

TGdiFont* StockFont(const LOGFONTW& lf) {
    auto* font = MakeStock<TGdiFont>();
    font->Log = lf;
    return font;
}

// Stock objects by index, and the 1 x 1 monochrome bitmap every memory device context starts
// with. Created once and never freed.
struct StockObjects {
    void* ByIndex[DEFAULT_GUI_FONT + 1] = {};
    TGdiBitmap* DefaultBitmap = nullptr;
    uint8_t DefaultBits[4] = {0, 0, 0, 0};

    StockObjects() {
        ByIndex[WHITE_BRUSH] = StockBrush(BS_SOLID, 0xFFFFFF);
        ByIndex[LTGRAY_BRUSH] = StockBrush(BS_SOLID, 0xC0C0C0);
        ByIndex[GRAY_BRUSH] = StockBrush(BS_SOLID, 0x808080);
        ByIndex[DKGRAY_BRUSH] = StockBrush(BS_SOLID, 0x404040);
        ByIndex[BLACK_BRUSH] = StockBrush(BS_SOLID, 0);
        ByIndex[NULL_BRUSH] = StockBrush(BS_NULL, 0);
        ByIndex[WHITE_PEN] = StockPen(PS_SOLID, 0xFFFFFF);
        ByIndex[BLACK_PEN] = StockPen(PS_SOLID, 0);
        ByIndex[NULL_PEN] = StockPen(PS_NULL, 0);
        const LOGFONTW fixed = MakeLogFont(u"Courier New", -13, FW_NORMAL);
        const LOGFONTW gui = MakeLogFont(u"Tahoma", -11, FW_NORMAL);
        ByIndex[OEM_FIXED_FONT] = StockFont(fixed);
        ByIndex[ANSI_FIXED_FONT] = StockFont(fixed);
        ByIndex[SYSTEM_FIXED_FONT] = StockFont(fixed);
        ByIndex[ANSI_VAR_FONT] = StockFont(gui);
        ByIndex[DEFAULT_GUI_FONT] = StockFont(gui);
        ByIndex[SYSTEM_FONT] = StockFont(MakeLogFont(u"Tahoma", 16, FW_BOLD));
        ByIndex[DEVICE_DEFAULT_FONT] = StockFont(MakeLogFont(u"Tahoma", 16, FW_BOLD));
        DefaultBitmap = MakeStock<TGdiBitmap>();
        DefaultBitmap->Surface = {DefaultBits, 1, 1, 4, false, TPixelLayout::Mono1, nullptr, 0};
    }
};

StockObjects& Stock() {
    static StockObjects* stock = new StockObjects;
    return *stock;
}

TGdiPen* DefaultPen() {
    return static_cast<TGdiPen*>(Stock().ByIndex[BLACK_PEN]);
}
TGdiBrush* DefaultBrush() {
    return static_cast<TGdiBrush*>(Stock().ByIndex[WHITE_BRUSH]);
}
TGdiFont* DefaultFont() {
    return static_cast<TGdiFont*>(Stock().ByIndex[SYSTEM_FONT]);
}

// Replaces the object selected in one slot of a device context and returns the previous one.
template <class T> T* Reselect(T*& slot, T* object) {
    T* previous = slot;
    if (previous != nullptr) --previous->SelectCount;
    slot = object;
    ++object->SelectCount;
    return previous;
}

void DeselectFrom(TDeviceContext& dc, TGdiObject* object) {
    if (dc.Bitmap == object) Reselect(dc.Bitmap, Stock().DefaultBitmap);
    if (dc.Pen == object) Reselect(dc.Pen, DefaultPen());
    if (dc.Brush == object) Reselect(dc.Brush, DefaultBrush());
    if (dc.Font == object) Reselect(dc.Font, DefaultFont());
}

void ReleaseSelections(TDeviceContext& dc) {
    for (TGdiObject* object :
         {static_cast<TGdiObject*>(dc.Bitmap), static_cast<TGdiObject*>(dc.Pen),
          static_cast<TGdiObject*>(dc.Brush), static_cast<TGdiObject*>(dc.Font)})
        if (object != nullptr) --object->SelectCount;
    dc.Bitmap = nullptr;
    dc.Pen = nullptr;
    dc.Brush = nullptr;
    dc.Font = nullptr;
}

const TSurface EmptySurface{};

bool DibMasksAllowed(int32_t bits, const uint32_t* masks, bool& is565) {
    is565 = false;
    if (bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) return true;
    if (bits == 16 && masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
        is565 = true;
        return true;
    }
    return bits == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
}

HBITMAP MakeDeviceBitmap(int32_t width, int32_t height, int32_t bits, const void* source) {
    TPixelLayout layout;
    if (width <= 0 || height <= 0 || !LayoutForBits(bits, false, layout)) return nullptr;
    const int32_t stride = RowStride(width, bits, 16);
    if (stride < 0) return nullptr;
    auto pixels = AllocateZeroed(static_cast<int64_t>(stride) * height);
    if (!pixels) return nullptr;
    if (source != nullptr) std::memcpy(pixels.get(), source, static_cast<size_t>(stride) * height);
    auto bitmap = std::make_unique<TGdiBitmap>();
    bitmap->Surface = {pixels.get(), width, height, stride, false, layout, nullptr, 0};
    bitmap->OwnedBits = std::move(pixels);
    return Register(std::move(bitmap));
}

} // namespace

const TSurface& TDeviceContext::Surface() const {
    return Bitmap != nullptr ? Bitmap->Surface : EmptySurface;
}

namespace platform::detail {

void RegisterObject(TGdiObject* Object, void* Handle) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.Lock);
    r.Objects[Handle] = Object;
}

void UnregisterObject(void* Handle) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.Lock);
    r.Objects.erase(Handle);
}

TGdiObject* FindObject(void* Handle) {
    if (Handle == nullptr) return nullptr;
    Registry& r = TheRegistry();
    std::lock_guard guard(r.Lock);
    const auto it = r.Objects.find(Handle);
    return it == r.Objects.end() ? nullptr : it->second;
}

void ForceDeleteObject(TGdiObject* Object) {
    if (Object == nullptr || Object->Stock) return;
    Stock(); // the defaults that replace the object exist before the registry is locked
    {
        Registry& r = TheRegistry();
        std::lock_guard guard(r.Lock);
        if (Object->SelectCount > 0)
            for (auto& [handle, object] : r.Objects)
                if (auto* dc = dynamic_cast<TDeviceContext*>(object)) DeselectFrom(*dc, Object);
        if (auto* dc = dynamic_cast<TDeviceContext*>(Object)) ReleaseSelections(*dc);
        std::erase_if(r.Objects, [&](const auto& entry) { return entry.second == Object; });
    }
    delete Object;
}

void SetBitmapSurface(TGdiBitmap* Bitmap, const TSurface& Surface) {
    if (Bitmap != nullptr) Bitmap->Surface = Surface;
}

TGdiBitmap* CreateForeignBitmap(const TSurface& Surface) {
    auto bitmap = std::make_unique<TGdiBitmap>();
    bitmap->Surface = Surface;
    bitmap->OwnerManaged = true;
    return Register(std::move(bitmap));
}

bool PixelVisible(const TDeviceContext& Dc, int32_t X, int32_t Y) {
    const TSurface& s = Dc.Surface();
    if (s.Empty() || X < 0 || Y < 0 || X >= s.Width || Y >= s.Height) return false;
    return !Dc.Clip || Dc.Clip->Contains(X, Y);
}

} // namespace platform::detail

HDC CreateCompatibleDC(HDC Dc) {
    if (Dc != nullptr && Lookup<TDeviceContext>(Dc) == nullptr) return nullptr;
    StockObjects& stock = Stock();
    auto dc = std::make_unique<TDeviceContext>();
    Reselect(dc->Bitmap, stock.DefaultBitmap);
    Reselect(dc->Pen, DefaultPen());
    Reselect(dc->Brush, DefaultBrush());
    Reselect(dc->Font, DefaultFont());
    return Register(std::move(dc));
}

bool DeleteDC(HDC Dc) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || dc->Stock || dc->OwnerManaged) return false;
    ReleaseSelections(*dc);
    UnregisterObject(dc);
    delete dc;
    return true;
}

int32_t GetDeviceCaps(HDC Dc, int32_t Index) {
    if (Lookup<TDeviceContext>(Dc) == nullptr) return 0;
    switch (Index) {
    case TECHNOLOGY:
        return DT_RASDISPLAY;
    case HORZRES:
        return PrimaryScreenSize().cx;
    case VERTRES:
        return PrimaryScreenSize().cy;
    case HORZSIZE:
        return MulDiv(PrimaryScreenSize().cx, 254, 960);
    case VERTSIZE:
        return MulDiv(PrimaryScreenSize().cy, 254, 960);
    case BITSPIXEL:
        return 32;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return -1;
    case RASTERCAPS:
        return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case SIZEPALETTE:
        return 0;
    default:
        return 0;
    }
}

HBITMAP CreateDIBSection(HDC Dc, const BITMAPINFO* Info, uint32_t Usage, void** Bits, void* Section,
                         uint32_t Offset) {
    if (Bits != nullptr) *Bits = nullptr;
    if (Dc != nullptr && Lookup<TDeviceContext>(Dc) == nullptr) return nullptr;
    if (Info == nullptr || Usage != DIB_RGB_COLORS || Section != nullptr || Offset != 0)
        return nullptr;
    const BITMAPINFOHEADER& h = Info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 ||
        h.biHeight == INT32_MIN || h.biPlanes != 1)
        return nullptr;
    const auto* extra = reinterpret_cast<const uint8_t*>(Info) + h.biSize;
    uint32_t masks[3] = {0, 0, 0};
    bool is565 = false;
    if (h.biCompression == BI_BITFIELDS) {
        if (h.biBitCount != 16 && h.biBitCount != 32) return nullptr;
        std::memcpy(masks, extra, sizeof(masks));
        if (!DibMasksAllowed(h.biBitCount, masks, is565)) return nullptr;
    } else if (h.biCompression != BI_RGB) {
        return nullptr;
    }
    TPixelLayout layout;
    if (!LayoutForBits(h.biBitCount, is565, layout)) return nullptr;
    const int32_t height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const int32_t stride = RowStride(h.biWidth, h.biBitCount, 32);
    if (stride < 0) return nullptr;
    auto pixels = AllocateZeroed(static_cast<int64_t>(stride) * height);
    if (!pixels) return nullptr;

    auto bitmap = std::make_unique<TGdiBitmap>();
    bitmap->IsDibSection = true;
    bitmap->Header = h;
    bitmap->Header.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->Header.biSizeImage = static_cast<uint32_t>(static_cast<int64_t>(stride) * height);
    std::copy(masks, masks + 3, bitmap->Masks);
    if (LayoutIndexed(layout)) {
        const uint32_t limit = 1u << h.biBitCount;
        const uint32_t count = h.biClrUsed == 0 ? limit : std::min(h.biClrUsed, limit);
        const auto* table = reinterpret_cast<const TRGBQuad*>(extra);
        bitmap->OwnedColors.assign(table, table + count);
    }
    bitmap->Surface = {pixels.get(),
                       h.biWidth,
                       height,
                       stride,
                       h.biHeight > 0,
                       layout,
                       bitmap->OwnedColors.data(),
                       static_cast<int32_t>(bitmap->OwnedColors.size())};
    bitmap->OwnedBits = std::move(pixels);
    if (Bits != nullptr) *Bits = bitmap->OwnedBits.get();
    return Register(std::move(bitmap));
}

HBITMAP CreateCompatibleBitmap(HDC Dc, int32_t Width, int32_t Height) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return nullptr;
    if (Width == 0 || Height == 0) return MakeDeviceBitmap(1, 1, 1, nullptr);
    // A memory device context that still holds its monochrome start-up bitmap gives
    // monochrome bitmaps, as the screen's interfaces always did.
    const bool mono = !dc->IsScreen && dc->Surface().Layout == TPixelLayout::Mono1;
    return MakeDeviceBitmap(Width, Height, mono ? 1 : 32, nullptr);
}

HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitCount,
                     const void* Bits) {
    if (Planes != 1 || (BitCount != 1 && BitCount != 24 && BitCount != 32)) return nullptr;
    return MakeDeviceBitmap(Width, Height, static_cast<int32_t>(BitCount), Bits);
}

HPEN CreatePen(uint32_t Style, int32_t Width, COLORREF Color) {
    LOGPEN log{Style, {Width, 0}, Color};
    return CreatePenIndirect(&log);
}

HPEN CreatePenIndirect(const LOGPEN* Pen) {
    if (Pen == nullptr || (Pen->lopnStyle > PS_INSIDEFRAME && Pen->lopnStyle != PS_ALTERNATE))
        return nullptr;
    auto pen = std::make_unique<TGdiPen>();
    pen->Log = *Pen;
    if (pen->Log.lopnWidth.X < 0) pen->Log.lopnWidth.X = 0;
    return Register(std::move(pen));
}

HBRUSH CreateSolidBrush(COLORREF Color) {
    LOGBRUSH log{BS_SOLID, Color, 0};
    return CreateBrushIndirect(&log);
}

HBRUSH CreateHatchBrush(int32_t Hatch, COLORREF Color) {
    LOGBRUSH log{BS_HATCHED, Color, static_cast<uintptr_t>(Hatch)};
    return CreateBrushIndirect(&log);
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* Brush) {
    if (Brush == nullptr || Brush->lbStyle > BS_HATCHED) return nullptr;
    if (Brush->lbStyle == BS_HATCHED && Brush->lbHatch > HS_DIAGCROSS) return nullptr;
    auto brush = std::make_unique<TGdiBrush>();
    brush->Log = *Brush;
    return Register(std::move(brush));
}

HFONT CreateFontIndirectW(const LOGFONTW* Font) {
    if (Font == nullptr) return nullptr;
    auto font = std::make_unique<TGdiFont>();
    font->Log = *Font;
    font->Log.lfFaceName[LF_FACESIZE - 1] = 0;
    return Register(std::move(font));
}

HGDIOBJ GetStockObject(int32_t Object) {
    if (Object < 0 || Object > DEFAULT_GUI_FONT) return nullptr;
    return Stock().ByIndex[Object];
}

HGDIOBJ SelectObject(HDC Dc, HGDIOBJ Object) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    TGdiObject* object = FindObject(Object);
    if (dc == nullptr || object == nullptr || dynamic_cast<void*>(object) != Object) return nullptr;
    if (auto* bitmap = dynamic_cast<TGdiBitmap*>(object)) {
        if (dc->IsScreen) return nullptr;
        if (bitmap == dc->Bitmap) return bitmap;
        if (!bitmap->Stock && bitmap->SelectCount > 0) return nullptr;
        return Reselect(dc->Bitmap, bitmap);
    }
    if (auto* pen = dynamic_cast<TGdiPen*>(object)) return Reselect(dc->Pen, pen);
    if (auto* brush = dynamic_cast<TGdiBrush*>(object)) return Reselect(dc->Brush, brush);
    if (auto* font = dynamic_cast<TGdiFont*>(object)) return Reselect(dc->Font, font);
    return nullptr;
}

HGDIOBJ GetCurrentObject(HDC Dc, uint32_t Type) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return nullptr;
    switch (Type) {
    case OBJ_PEN:
        return dc->Pen;
    case OBJ_BRUSH:
        return dc->Brush;
    case OBJ_FONT:
        return dc->Font;
    case OBJ_BITMAP:
        return dc->Bitmap;
    default:
        return nullptr;
    }
}

bool DeleteObject(HGDIOBJ Object) {
    TGdiObject* object = FindObject(Object);
    if (object == nullptr || dynamic_cast<void*>(object) != Object) return false;
    if (dynamic_cast<TDeviceContext*>(object) != nullptr) return false;
    if (object->Stock) return true;
    if (object->SelectCount > 0 || object->OwnerManaged) return false;
    UnregisterObject(Object);
    delete object;
    return true;
}

int32_t GetObjectW(HGDIOBJ Object, int32_t Size, void* Buffer) {
    TGdiObject* object = FindObject(Object);
    if (object == nullptr || dynamic_cast<void*>(object) != Object) return 0;
    auto copy = [&](const auto& value) -> int32_t {
        const auto size = static_cast<int32_t>(sizeof(value));
        if (Buffer == nullptr) return size;
        if (Size < size) return 0;
        std::memcpy(Buffer, &value, sizeof(value));
        return size;
    };
    if (const auto* bitmap = dynamic_cast<const TGdiBitmap*>(object)) {
        const TSurface& s = bitmap->Surface;
        DIBSECTION ds;
        ds.dsBm = {
            0, s.Width, s.Height, s.Stride, 1, static_cast<uint16_t>(LayoutBits(s.Layout)), s.Bits};
        if (!bitmap->IsDibSection) {
            ds.dsBm.bmBits = nullptr;
            return copy(ds.dsBm);
        }
        if (Buffer != nullptr && Size < static_cast<int32_t>(sizeof(DIBSECTION)))
            return copy(ds.dsBm);
        ds.dsBmih = bitmap->Header;
        std::copy(bitmap->Masks, bitmap->Masks + 3, ds.dsBitfields);
        return copy(ds);
    }
    if (const auto* pen = dynamic_cast<const TGdiPen*>(object)) return copy(pen->Log);
    if (const auto* brush = dynamic_cast<const TGdiBrush*>(object)) return copy(brush->Log);
    if (const auto* font = dynamic_cast<const TGdiFont*>(object)) return copy(font->Log);
    return 0;
}

uint32_t GetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, TRGBQuad* Colors) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Colors == nullptr) return 0;
    const TSurface& s = dc->Surface();
    const auto size = static_cast<uint32_t>(s.ColorCount);
    if (s.Colors == nullptr || Start >= size) return 0;
    const uint32_t n = std::min(Count, size - Start);
    std::copy(s.Colors + Start, s.Colors + Start + n, Colors);
    return n;
}

uint32_t SetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, const TRGBQuad* Colors) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Colors == nullptr || dc->Bitmap == nullptr) return 0;
    std::vector<TRGBQuad>& table = dc->Bitmap->OwnedColors;
    const auto size = static_cast<uint32_t>(table.size());
    if (!dc->Bitmap->IsDibSection || Start >= size) return 0;
    const uint32_t n = std::min(Count, size - Start);
    std::copy(Colors, Colors + n, table.begin() + Start);
    return n;
}

namespace {

// Stores Value into the device context's field when Valid; returns the previous value, or 0
// when the handle or the value is refused.
template <class T> T SetState(HDC Dc, T TDeviceContext::*Field, T Value, bool Valid) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || !Valid) return 0;
    const T previous = dc->*Field;
    dc->*Field = Value;
    return previous;
}

template <class T> T GetState(HDC Dc, T TDeviceContext::*Field) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    return dc == nullptr ? 0 : dc->*Field;
}

} // namespace

int32_t SetROP2(HDC Dc, int32_t Mode) {
    return SetState(Dc, &TDeviceContext::Rop2, Mode, Mode >= R2_BLACK && Mode <= R2_WHITE);
}
int32_t GetROP2(HDC Dc) {
    return GetState(Dc, &TDeviceContext::Rop2);
}
int32_t SetBkMode(HDC Dc, int32_t Mode) {
    return SetState(Dc, &TDeviceContext::BkMode, Mode, Mode == TRANSPARENT || Mode == OPAQUE);
}
int32_t GetBkMode(HDC Dc) {
    return GetState(Dc, &TDeviceContext::BkMode);
}
COLORREF SetBkColor(HDC Dc, COLORREF Color) {
    if (Lookup<TDeviceContext>(Dc) == nullptr) return CLR_INVALID;
    return SetState(Dc, &TDeviceContext::BkColor, Color, true);
}
COLORREF SetTextColor(HDC Dc, COLORREF Color) {
    if (Lookup<TDeviceContext>(Dc) == nullptr) return CLR_INVALID;
    return SetState(Dc, &TDeviceContext::TextColor, Color, true);
}
COLORREF GetTextColor(HDC Dc) {
    return GetState(Dc, &TDeviceContext::TextColor);
}
int32_t SetStretchBltMode(HDC Dc, int32_t Mode) {
    return SetState(Dc, &TDeviceContext::StretchMode, Mode,
                    Mode >= BLACKONWHITE && Mode <= HALFTONE);
}
int32_t SetPolyFillMode(HDC Dc, int32_t Mode) {
    return SetState(Dc, &TDeviceContext::PolyFillMode, Mode, Mode == ALTERNATE || Mode == WINDING);
}

bool SetBrushOrgEx(HDC Dc, int32_t X, int32_t Y, TPoint* Previous) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return false;
    if (Previous != nullptr) *Previous = dc->BrushOrigin;
    dc->BrushOrigin = {X, Y};
    return true;
}

bool MoveToEx(HDC Dc, int32_t X, int32_t Y, TPoint* Previous) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr) return false;
    if (Previous != nullptr) *Previous = dc->Position;
    dc->Position = {X, Y};
    dc->StylePosition = 0;
    return true;
}

bool GetCurrentPositionEx(HDC Dc, TPoint* Position) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Position == nullptr) return false;
    *Position = dc->Position;
    return true;
}

COLORREF GetPixel(HDC Dc, int32_t X, int32_t Y) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || !PixelVisible(*dc, X, Y)) return CLR_INVALID;
    const TSurface& s = dc->Surface();
    return PixelToColor(s, ReadPixel(s, X, Y));
}

COLORREF SetPixel(HDC Dc, int32_t X, int32_t Y, COLORREF Color) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || !PixelVisible(*dc, X, Y)) return CLR_INVALID;
    const TSurface& s = dc->Surface();
    const uint32_t value = ColorToPixel(s, Color);
    WritePixel(s, X, Y, value);
    return PixelToColor(s, value);
}

bool SetPixelV(HDC Dc, int32_t X, int32_t Y, COLORREF Color) {
    return SetPixel(Dc, X, Y, Color) != CLR_INVALID;
}
