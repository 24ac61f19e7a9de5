// The class library's canvas, pen and brush over device contexts.
#include "platform/gfx/Canvas.h"

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/GdiInternal.h"

int32_t PenModeToRop2(TPenMode Mode) {
    static const int32_t rop2[] = {R2_BLACK,       R2_WHITE,      R2_NOP,         R2_NOT,
                                   R2_COPYPEN,     R2_NOTCOPYPEN, R2_MERGEPENNOT, R2_MASKPENNOT,
                                   R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN,    R2_NOTMERGEPEN,
                                   R2_MASKPEN,     R2_NOTMASKPEN, R2_XORPEN,      R2_NOTXORPEN};
    return Mode <= pmNotXor ? rop2[Mode] : R2_COPYPEN;
}

namespace {

template <class T> void Adopt(T* object) {
    if (object != nullptr) object->OwnerManaged = true;
}

uint32_t PenStyleToGdi(TPenStyle Style) {
    switch (Style) {
    case psDash:
        return PS_DASH;
    case psDot:
        return PS_DOT;
    case psDashDot:
        return PS_DASHDOT;
    case psDashDotDot:
        return PS_DASHDOTDOT;
    case psClear:
        return PS_NULL;
    case psInsideFrame:
        return PS_INSIDEFRAME;
    case psAlternate:
        return PS_ALTERNATE;
    default:
        return PS_SOLID;
    }
}

TPenStyle GdiToPenStyle(uint32_t Style) {
    switch (Style) {
    case PS_DASH:
        return psDash;
    case PS_DOT:
        return psDot;
    case PS_DASHDOT:
        return psDashDot;
    case PS_DASHDOTDOT:
        return psDashDotDot;
    case PS_NULL:
        return psClear;
    case PS_INSIDEFRAME:
        return psInsideFrame;
    case PS_ALTERNATE:
        return psAlternate;
    default:
        return psSolid;
    }
}

} // namespace

TPen::~TPen() {
    FreeHandle();
}

void TPen::Assign(const TPen& Source) {
    if (&Source == this) return;
    FColor = Source.FColor;
    FWidth = Source.FWidth;
    FStyle = Source.FStyle;
    FMode = Source.FMode;
    Changed();
}

void TPen::SetColor(TColor Value) {
    if (Value == FColor) return;
    FColor = Value;
    Changed();
}

void TPen::SetWidth(int32_t Value) {
    if (Value < 0 || Value == FWidth) return;
    FWidth = Value;
    Changed();
}

void TPen::SetStyle(TPenStyle Value) {
    if (Value == FStyle) return;
    FStyle = Value;
    Changed();
}

void TPen::SetMode(TPenMode Value) {
    if (Value == FMode) return;
    FMode = Value;
    if (OnChange) OnChange(this);
}

HPEN TPen::Handle() {
    if (FHandle == nullptr) {
        FHandle =
            CreatePen(PenStyleToGdi(FStyle), FWidth, static_cast<COLORREF>(ColorToRGB(FColor)));
        Adopt(platform::detail::Lookup<TGdiPen>(FHandle));
    }
    return FHandle;
}

void TPen::SetHandle(HPEN Value) {
    TGdiPen* pen = platform::detail::Lookup<TGdiPen>(Value);
    if (pen == nullptr || Value == FHandle) return;
    if (OnChange) OnChange(this);
    FreeHandle();
    FColor = static_cast<TColor>(pen->Log.lopnColor);
    FWidth = pen->Log.lopnWidth.X;
    FStyle = GdiToPenStyle(pen->Log.lopnStyle);
    Adopt(pen);
    FHandle = Value;
}

void TPen::FreeHandle() {
    if (FHandle == nullptr) return;
    platform::detail::ForceDeleteObject(platform::detail::Lookup<TGdiPen>(FHandle));
    FHandle = nullptr;
}

TBrush::~TBrush() {
    FreeHandle();
}

void TBrush::Assign(const TBrush& Source) {
    if (&Source == this) return;
    FColor = Source.FColor;
    FStyle = Source.FStyle;
    Changed();
}

void TBrush::SetColor(TColor Value) {
    if (Value == FColor) return;
    FColor = Value;
    Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
    if (Value == FStyle) return;
    FStyle = Value;
    Changed();
}

HBRUSH TBrush::Handle() {
    if (FHandle == nullptr) {
        LOGBRUSH log{BS_SOLID, static_cast<COLORREF>(ColorToRGB(FColor)), 0};
        if (FStyle == bsClear) {
            log.lbStyle = BS_NULL;
        } else if (FStyle != bsSolid) {
            log.lbStyle = BS_HATCHED;
            log.lbHatch = static_cast<uintptr_t>(FStyle - bsHorizontal);
        }
        FHandle = CreateBrushIndirect(&log);
        Adopt(platform::detail::Lookup<TGdiBrush>(FHandle));
    }
    return FHandle;
}

void TBrush::SetHandle(HBRUSH Value) {
    TGdiBrush* brush = platform::detail::Lookup<TGdiBrush>(Value);
    if (brush == nullptr || Value == FHandle) return;
    if (OnChange) OnChange(this);
    FreeHandle();
    FColor = static_cast<TColor>(brush->Log.lbColor);
    FStyle = brush->Log.lbStyle == BS_NULL ? bsClear
             : brush->Log.lbStyle == BS_HATCHED
                 ? static_cast<TBrushStyle>(bsHorizontal + brush->Log.lbHatch)
                 : bsSolid;
    Adopt(brush);
    FHandle = Value;
}

void TBrush::FreeHandle() {
    if (FHandle == nullptr) return;
    platform::detail::ForceDeleteObject(platform::detail::Lookup<TGdiBrush>(FHandle));
    FHandle = nullptr;
}

TCanvas::TCanvas()
    : FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()),
      FFont(std::make_unique<TFont>()) {
    // A tool about to free its handle must not find it selected.
    FPen->OnChange = [this](TObject*) {
        if (FHandle != nullptr) SelectObject(FHandle, GetStockObject(BLACK_PEN));
    };
    FBrush->OnChange = [this](TObject*) {
        if (FHandle != nullptr) SelectObject(FHandle, GetStockObject(WHITE_BRUSH));
    };
    FFont->OnChange = [this](TObject*) {
        if (FHandle != nullptr) SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
    };
}

TCanvas::~TCanvas() {
    DeselectHandles();
}

HDC TCanvas::Handle() {
    if (FHandle == nullptr) CreateHandle();
    return FHandle;
}

HDC TCanvas::SelectedHandle() {
    return RequiredState() ? FHandle : nullptr;
}

void TCanvas::SetHandle(HDC Value) {
    if (Value == FHandle) return;
    DeselectHandles();
    FHandle = Value;
    if (FHandle != nullptr) MoveToEx(FHandle, FPenPos.X, FPenPos.Y, nullptr);
}

void TCanvas::DeselectHandles() {
    if (FHandle == nullptr) return;
    SelectObject(FHandle, GetStockObject(BLACK_PEN));
    SelectObject(FHandle, GetStockObject(WHITE_BRUSH));
    SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
}

void TCanvas::Refresh() {
    DeselectHandles();
}

bool TCanvas::RequiredState() {
    HDC dc = Handle();
    if (dc == nullptr) return false;
    SelectObject(dc, FPen->Handle());
    SetROP2(dc, PenModeToRop2(FPen->Mode()));
    SelectObject(dc, FBrush->Handle());
    const auto brushColor = static_cast<COLORREF>(ColorToRGB(FBrush->Color()));
    if (FBrush->Style() == bsSolid) {
        SetBkColor(dc, brushColor);
        SetBkMode(dc, OPAQUE);
    } else {
        SetBkColor(dc, ~brushColor & 0xFFFFFF);
        SetBkMode(dc, TRANSPARENT);
    }
    SelectObject(dc, FFont->Handle());
    SetTextColor(dc, static_cast<COLORREF>(ColorToRGB(FFont->Color())));
    return true;
}

void TCanvas::Changing() {
    if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

TPoint TCanvas::PenPos() {
    if (Handle() != nullptr) GetCurrentPositionEx(FHandle, &FPenPos);
    return FPenPos;
}

void TCanvas::SetPenPos(TPoint Value) {
    MoveTo(Value.X, Value.Y);
}

TRect TCanvas::ClipRect() {
    TRect r;
    if (Handle() == nullptr || GetClipBox(FHandle, &r) == RGN_ERROR) return {};
    return r;
}

TColor TCanvas::Pixels(int32_t X, int32_t Y) {
    if (Handle() == nullptr) return -1;
    return static_cast<TColor>(GetPixel(FHandle, X, Y));
}

void TCanvas::SetPixels(int32_t X, int32_t Y, TColor Color) {
    if (Handle() == nullptr) return;
    Changing();
    SetPixel(FHandle, X, Y, static_cast<COLORREF>(ColorToRGB(Color)));
    Changed();
}

void TCanvas::MoveTo(int32_t X, int32_t Y) {
    FPenPos = {X, Y};
    if (Handle() != nullptr) MoveToEx(FHandle, X, Y, nullptr);
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
    if (!RequiredState()) return;
    Changing();
    ::LineTo(FHandle, X, Y);
    FPenPos = {X, Y};
    Changed();
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!RequiredState()) return;
    Changing();
    ::Rectangle(FHandle, X1, Y1, X2, Y2);
    Changed();
}

void TCanvas::Rectangle(const TRect& Rect) {
    Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
}

void TCanvas::FillRect(const TRect& Rect) {
    if (!RequiredState()) return;
    Changing();
    ::FillRect(FHandle, &Rect, FBrush->Handle());
    Changed();
}

void TCanvas::FrameRect(const TRect& Rect) {
    if (!RequiredState()) return;
    Changing();
    ::FrameRect(FHandle, &Rect, FBrush->Handle());
    Changed();
}

void TCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!RequiredState()) return;
    Changing();
    ::Ellipse(FHandle, X1, Y1, X2, Y2);
    Changed();
}

void TCanvas::Ellipse(const TRect& Rect) {
    Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
}

void TCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    if (!RequiredState()) return;
    Changing();
    ::RoundRect(FHandle, X1, Y1, X2, Y2, X3, Y3);
    Changed();
}

void TCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3,
                  int32_t X4, int32_t Y4) {
    if (!RequiredState()) return;
    Changing();
    ::Arc(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    Changed();
}

void TCanvas::Polygon(std::span<const TPoint> Points) {
    if (!RequiredState()) return;
    Changing();
    ::Polygon(FHandle, Points.data(), static_cast<int32_t>(Points.size()));
    Changed();
}

void TCanvas::Polyline(std::span<const TPoint> Points) {
    if (!RequiredState()) return;
    Changing();
    ::Polyline(FHandle, Points.data(), static_cast<int32_t>(Points.size()));
    Changed();
}

void TCanvas::DrawFocusRect(const TRect& Rect) {
    if (!RequiredState()) return;
    Changing();
    ::DrawFocusRect(FHandle, &Rect);
    Changed();
}

void TCanvas::TextOut(int32_t X, int32_t Y, const String& Text) {
    if (!RequiredState()) return;
    Changing();
    ExtTextOutW(FHandle, X, Y, 0, nullptr, Text.data(), static_cast<uint32_t>(Text.size()),
                nullptr);
    MoveTo(X + TextWidth(Text), Y);
    Changed();
}

void TCanvas::TextRect(const TRect& Rect, int32_t X, int32_t Y, const String& Text) {
    if (!RequiredState()) return;
    Changing();
    uint32_t options = ETO_CLIPPED;
    if (FBrush->Style() != bsClear) options |= ETO_OPAQUE;
    ExtTextOutW(FHandle, X, Y, options, &Rect, Text.data(), static_cast<uint32_t>(Text.size()),
                nullptr);
    Changed();
}

TSize TCanvas::TextExtent(const String& Text) {
    TSize size;
    if (!RequiredState()) return size;
    GetTextExtentPoint32W(FHandle, Text.data(), static_cast<int32_t>(Text.size()), &size);
    return size;
}

int32_t TCanvas::TextWidth(const String& Text) {
    return TextExtent(Text).cx;
}

int32_t TCanvas::TextHeight(const String& Text) {
    return TextExtent(Text).cy;
}

void TCanvas::Draw(int32_t X, int32_t Y, TBitmap* Bitmap) {
    if (Bitmap == nullptr || Bitmap->Empty()) return;
    StretchDraw(Bounds(X, Y, Bitmap->Width(), Bitmap->Height()), Bitmap);
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
    if (Graphic == nullptr || Graphic->Empty() || Handle() == nullptr) return;
    Changing();
    Graphic->Draw(*this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
    Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TBitmap* Bitmap) {
    if (Bitmap == nullptr || Bitmap->Empty() || !RequiredState()) return;
    Changing();
    const int32_t mode = SetStretchBltMode(FHandle, COLORONCOLOR);
    StretchBlt(FHandle, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(),
               Bitmap->Canvas()->Handle(), 0, 0, Bitmap->Width(), Bitmap->Height(), CopyMode);
    SetStretchBltMode(FHandle, mode);
    Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
    if (Canvas == nullptr || !RequiredState() || Canvas->Handle() == nullptr) return;
    Changing();
    StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Canvas->Handle(),
               Source.Left, Source.Top, Source.Width(), Source.Height(), CopyMode);
    Changed();
}

void TCanvas::Lock() {
    FLock.Enter();
    ++FLockCount;
}

void TCanvas::Unlock() {
    --FLockCount;
    FLock.Leave();
}

bool TCanvas::TryLock() {
    if (!FLock.TryEnter()) return false;
    ++FLockCount;
    return true;
}
