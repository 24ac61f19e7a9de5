// The image button.
#include "components/SVImageButton.h"

#include "platform/gfx/Bitmap.h"
#include "platform/ui/WinUser.h"
#include "raster/Bitmap32.h"

#include <algorithm>
#include <vector>

namespace {

constexpr const char16_t* LinearResampler = u"TLinearResampler";

// The picture is drawn straight (merged onto the transparent buffer, so its alpha survives
// unsquared); the blend onto the parent wants colour scaled by alpha.
void Premultiply(raster::TBitmap32& Bitmap) {
    raster::PColor32 p = Bitmap.Bits();
    const int64_t count = int64_t{Bitmap.Width()} * Bitmap.Height();
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t c = p[i], a = c >> 24;
        uint32_t out = c & 0xFF000000u;
        for (int shift : {0, 8, 16})
            out |= ((c >> shift & 0xFFu) * a + 127) / 255 << shift;
        p[i] = out;
    }
}

// The pressed look without a down picture: colour at 60 %, alpha kept.
void Darken(raster::TBitmap32& Bitmap) {
    raster::PColor32 p = Bitmap.Bits();
    const int64_t count = int64_t{Bitmap.Width()} * Bitmap.Height();
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t c = p[i];
        uint32_t out = c & 0xFF000000u;
        for (int shift : {0, 8, 16})
            out |= (c >> shift & 0xFFu) * 6 / 10 << shift;
        p[i] = out;
    }
}

bool IsPressOrDoubleClick(UINT Msg) {
    switch (Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return true;
    default:
        return false;
    }
}

} // namespace

TSVImageButton::TSVImageButton(TComponent* AOwner)
    : TGraphicControl(AOwner), FImage(new raster::TBitmap32), FFont(new TFont) {
    FImage->SetDrawMode(raster::dmBlend);
    FImage->SetCombineMode(raster::cmMerge);
    FImage->SetResamplerClassName(LinearResampler);
    FImage->OnChange = [this](TObject*) { ImageChanges(); };
    FFont->OnChange = [this](TObject*) { Changed(); };
}

TSVImageButton::~TSVImageButton() {
    FImage->OnChange = nullptr;
    FFont->OnChange = nullptr;
}

void TSVImageButton::Changed() {
    AdjustSize();
    Invalidate();
}

// A new resampler installs itself while it is being made and reports that as a change: the
// settings made here must not re-enter.
void TSVImageButton::ImageChanges() {
    if (FAdjustingImage) return;
    AdjustImage([this] {
        FImage->SetResamplerClassName(LinearResampler);
        FImage->SetCombineMode(raster::cmMerge);
    });
    Changed();
}

void TSVImageButton::AdjustImage(const std::function<void()>& Change) {
    FAdjustingImage = true;
    try {
        Change();
    } catch (...) {
        FAdjustingImage = false;
        throw;
    }
    FAdjustingImage = false;
}

void TSVImageButton::SetImage(raster::TBitmap32* Value) {
    AdjustImage([this, Value] {
        FImage->Assign(Value);
        FImage->SetDrawMode(raster::dmBlend);
    });
    ImageChanges();
}

void TSVImageButton::SetNumImages(int32_t Value) {
    if (Value == FNumImages || Value < 1 || Value > 4) return;
    FNumImages = Value;
    Changed();
}

void TSVImageButton::SetState(TSVButtonState Value) {
    FState = Value;
    Repaint();
}

void TSVImageButton::SetTextLayout(TSVBtnTextLayout Value) {
    if (Value == FTextLayout) return;
    FTextLayout = Value;
    Changed();
}

void TSVImageButton::SetImagesLayout(TSVBtnImagesLayout Value) {
    if (Value == FImagesLayout) return;
    FImagesLayout = Value;
    Changed();
}

void TSVImageButton::SetShowText(bool Value) {
    if (Value == FShowText) return;
    FShowText = Value;
    Changed();
}

void TSVImageButton::SetSpacing(int32_t Value) {
    if (Value == FSpacing) return;
    FSpacing = Value;
    Changed();
}

void TSVImageButton::SetTransparent(bool Value) {
    if (Value == FTransparent) return;
    FTransparent = Value;
    Invalidate();
}

void TSVImageButton::SetDown(bool Value) {
    if (Value == FDown) return;
    FDown = Value;
    Invalidate();
}

void TSVImageButton::SetProportional(bool Value) {
    if (Value == FProportional) return;
    FProportional = Value;
    Invalidate();
}

void TSVImageButton::SetStretch(bool Value) {
    if (Value == FStretch || (FAutoSize && Value)) return;
    FStretch = Value;
    Invalidate();
}

void TSVImageButton::SetAutoSize(bool Value) {
    if (Value == FAutoSize || (FStretch && Value)) return;
    FAutoSize = Value;
    Changed();
}

void TSVImageButton::SetCaption(const String& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    Changed();
}

void TSVImageButton::SetDropDownMenu(TPopupMenu* Value) {
    if (Value == FDropDownMenu) return;
    if (FDropDownMenu != nullptr) FDropDownMenu->RemoveFreeNotification(this);
    FDropDownMenu = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TSVImageButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FDropDownMenu) FDropDownMenu = nullptr;
}

void TSVImageButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_ENABLEDCHANGED:
        SetState(Enabled() ? bsNormal : bsDisabled);
        break;
    case CM_MOUSEENTER:
        FMouseInside = true;
        Invalidate();
        break;
    case CM_MOUSELEAVE:
        FMouseInside = false;
        if (!FDown) FState = bsNormal;
        Invalidate();
        break;
    default:
        break;
    }
    TGraphicControl::Dispatch(Message);
}

// ---- Mouse, click and drop-down ------------------------------------------------------------

void TSVImageButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft || !Enabled()) return;
    if (FState == bsNormal) SetState(bsDown);
    DropDown();
}

void TSVImageButton::DropDown() {
    FMenuOpen = FDropDownMenu != nullptr && !FInClick;
    if (!FMenuOpen) return;
    // The release that follows this press must not click a second time.
    SetControlState(ControlState() & ~csClicked);
    if (!FInClick) Click();
    FMenuOpen = false;
}

void TSVImageButton::Click() {
    if (FDropDownMenu == nullptr) {
        if (FState == bsDown && !FMenuOpen && !FCheckButton) {
            SetState(bsNormal);
        } else if (FCheckButton) {
            FDown = !FDown;
            Invalidate();
        }
        TGraphicControl::Click();
        FInClick = false;
        return;
    }
    FInClick = true;
    try {
        FDropDownMenu->PopupComponent = this;
        FMenuOpen = true;
        SetState(bsDown);
        int32_t x = 0, y = Height();
        ClientToScreen(x, y);
        FDropDownMenu->Popup(x, y);
        FMenuOpen = false;
        SetState(bsNormal);
        RemoveClicks();
    } catch (...) {
        FInClick = false;
        throw;
    }
    FInClick = false;
}

void TSVImageButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (FState == bsDown && !FMenuOpen) SetState(bsNormal);
}

void TSVImageButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    const bool outside = X < 0 || X > ClientWidth() || Y < 0 || Y > ClientHeight();
    if (outside && (Shift & ssLeft) != 0) {
        FMouseInside = false;
        Repaint();
    } else if (!outside && !FMouseInside) {
        FMouseInside = true;
        Repaint();
    }
    TGraphicControl::MouseMove(Shift, X, Y);
}

void TSVImageButton::RemoveClicks() {
    std::vector<MSG> kept;
    bool quit = false;
    int32_t exitCode = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Asked again only after the loop: a quit request waiting in the queue would
            // otherwise come straight back and the loop would never end.
            quit = true;
            exitCode = static_cast<int32_t>(msg.wParam);
            continue;
        }
        if (IsPressOrDoubleClick(msg.message)) {
            TPoint p{LOWORD(static_cast<uintptr_t>(msg.lParam)),
                     HIWORD(static_cast<uintptr_t>(msg.lParam))};
            ::ClientToScreen(msg.hwnd, &p);
            if (FindDragTarget(p, true) == this) continue;
        }
        kept.push_back(msg);
    }
    if (quit) PostQuitMessage(exitCode);
    for (const MSG& m : kept)
        PostMessageW(m.hwnd, m.message, m.wParam, m.lParam);
}

// ---- Geometry and painting -----------------------------------------------------------------

int32_t TSVImageButton::FrameWidth() const {
    return FImagesLayout == bilHorizontal ? FImage->Width() / FNumImages : FImage->Width();
}

int32_t TSVImageButton::FrameHeight() const {
    return FImagesLayout == bilVertical ? FImage->Height() / FNumImages : FImage->Height();
}

bool TSVImageButton::PressedLook() const {
    const bool pressedInside = FState == bsDown && FMouseInside;
    if (FDropDownMenu != nullptr) return FMenuOpen;
    if (FCheckButton) return FDown || pressedInside;
    return pressedInside;
}

int32_t TSVImageButton::ChooseFrame() const {
    if (FNumImages < 2) return 0;
    if (PressedLook() && FNumImages >= 4) return 3;
    if (FMouseInside && Enabled()) return 1;
    if (!Enabled() && FNumImages >= 3) return 2;
    return 0;
}

TRect TSVImageButton::FrameRect() const {
    const int32_t k = ChooseFrame(), fw = FrameWidth(), fh = FrameHeight();
    const int32_t x = FImagesLayout == bilHorizontal ? k * fw : 0;
    const int32_t y = FImagesLayout == bilVertical ? k * fh : 0;
    return Rect(x, y, x + fw, y + fh);
}

TRect TSVImageButton::DrawPicture(raster::TBitmap32& Buffer, int32_t TextWidth,
                                  int32_t TextHeight) {
    const int32_t w = Width(), h = Height(), fw = FrameWidth(), fh = FrameHeight();
    // A strip narrower (or lower) than its number of pictures has no frame to draw.
    if (FImage->Empty() || fw <= 0 || fh <= 0) return TRect{};
    TRect d = Rect(0, 0, w, h);
    const TRect s = FrameRect();
    if (FShowText && FStretch) {
        switch (FTextLayout) {
        case btlLeft:
            d.Left = FSpacing + TextWidth;
            break;
        case btlRight:
            d.Right = w - FSpacing - TextWidth;
            break;
        case btlTop:
            d.Top = FSpacing + TextHeight;
            break;
        case btlBottom:
            d.Bottom = h - FSpacing - TextHeight;
            break;
        case btlCenter:
            break;
        }
    } else if (FShowText) {
        const int32_t a = FSpacing + TextWidth, b = FSpacing + TextHeight;
        switch (FTextLayout) {
        case btlLeft:
            d.Left = (w - a - fw) / 2 + a;
            d.Top = (h - fh) / 2;
            break;
        case btlRight:
            d.Left = (w - a - fw) / 2;
            d.Top = (h - fh) / 2;
            break;
        case btlTop:
            d.Top = (h - b - fh) / 2 + b;
            d.Left = (w - fw) / 2;
            break;
        case btlBottom:
            d.Top = (h - b - fh) / 2;
            d.Left = (w - fw) / 2;
            break;
        case btlCenter:
            break;
        }
    }
    if (FStretch) {
        const int32_t dw = d.Right - d.Left, dh = d.Bottom - d.Top;
        // No room left beside the caption: nothing to stretch into.
        if (dw <= 0 || dh <= 0) return d;
        if (FProportional) {
            if (double(dh) / dw <= double(fh) / fw) {
                const int32_t nw = dh * fw / fh;
                d.Left += (dw - nw) / 2;
                d.Right = d.Left + nw;
            } else {
                const int32_t nh = dw * fh / fw;
                d.Top += (dh - nh) / 2;
                d.Bottom = d.Top + nh;
            }
        }
        FImage->DrawTo(&Buffer, d, s);
    } else {
        FImage->DrawTo(&Buffer, d.Left, d.Top, s);
        d.Right = d.Left + fw;
        d.Bottom = d.Top + fh;
    }
    if (PressedLook() && FNumImages < 4) Darken(Buffer);
    return d;
}

void TSVImageButton::DrawCaption(raster::TBitmap32& Buffer, const TRect& Picture, int32_t TextWidth,
                                 int32_t TextHeight) {
    const int32_t w = Width(), h = Height();
    int32_t tx = 0, ty = 0;
    switch (FTextLayout) {
    case btlLeft:
        tx = Picture.Left - FSpacing - TextWidth;
        ty = (h - TextHeight) / 2;
        break;
    case btlRight:
        tx = FSpacing + Picture.Right;
        ty = (h - TextHeight) / 2;
        break;
    case btlTop:
        tx = (w - TextWidth) / 2;
        ty = Picture.Top - FSpacing - TextHeight;
        break;
    case btlBottom:
        tx = (w - TextWidth) / 2;
        ty = FSpacing + Picture.Bottom;
        break;
    case btlCenter:
        tx = (w - TextWidth) / 2;
        ty = (h - TextHeight) / 2;
        break;
    }
    if (ty < 0)
        ty = 0;
    else if (ty + TextHeight > h)
        ty = h - TextHeight;
    if (tx < 0)
        tx = 0;
    else if (tx + TextWidth > w)
        tx = w - TextWidth;
    const TColor colour = FMouseInside && Enabled() ? FTextHotColor : FFont->Color();
    Buffer.RenderText(tx, ty, FCaption, 0, raster::Color32(colour));
}

void TSVImageButton::Paint() {
    HDC dc = ParentSurface();
    const int32_t w = Width(), h = Height();
    if (dc == nullptr || w <= 0 || h <= 0) return;
    raster::TBitmap32 buffer;
    buffer.SetSize(w, h);
    buffer.Clear(0);
    // Merged, so that the caption keeps its own coverage over a transparent buffer.
    buffer.SetCombineMode(raster::cmMerge);
    buffer.SetFont(*FFont);
    const int32_t tw = buffer.TextWidth(FCaption), th = buffer.TextHeight(FCaption);
    const TRect picture = DrawPicture(buffer, tw, th);
    if (FShowText) DrawCaption(buffer, picture, tw, th);
    Premultiply(buffer);
    const uint8_t constantAlpha = Enabled() ? 255 : 130;
    AlphaBlend(dc, Left(), Top(), w, h, buffer.Handle(), 0, 0, w, h,
               BLENDFUNCTION{AC_SRC_OVER, 0, constantAlpha, AC_SRC_ALPHA});
}

void TSVImageButton::AdjustSize() {
    if (!FAutoSize || InState(csLoading)) return;
    int32_t w = Width(), h = Height();
    if (!FImage->Empty()) {
        w = FrameWidth();
        h = FrameHeight();
    }
    if (FShowText) {
        TBitmap measure;
        TCanvas* canvas = measure.Canvas();
        canvas->Font()->Assign(*FFont);
        const int32_t tw = canvas->TextWidth(FCaption), th = canvas->TextHeight(u"Ag");
        switch (FTextLayout) {
        case btlTop:
        case btlBottom:
            h += FSpacing + th;
            w = std::max(w, tw);
            break;
        case btlLeft:
        case btlRight:
            w += FSpacing + tw;
            h = std::max(h, th);
            break;
        case btlCenter:
            h = std::max(h, th);
            w = std::max(w, tw);
            break;
        }
    }
    SetBounds(Left(), Top(), std::max(w, 2), std::max(h, 2));
}
