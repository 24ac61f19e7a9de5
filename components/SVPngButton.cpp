// The PNG button.
#include "components/SVPngButton.h"

#include "platform/gfx/Bitmap.h"

#include <vector>

TSVPngButton::TSVPngButton(TComponent* AOwner)
    : TGraphicControl(AOwner), FImage(new TPngImage), FFont(new TFont) {
    FImage->OnChange = [this](TObject*) { Changed(); };
    FFont->OnChange = [this](TObject*) { Changed(); };
}

TSVPngButton::~TSVPngButton() {
    FImage->OnChange = nullptr;
    FFont->OnChange = nullptr;
}

void TSVPngButton::Changed() {
    AdjustBounds();
    Invalidate();
}

void TSVPngButton::SetImage(const TPngImage& Value) {
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < Value.Height(); ++y)
        pixels.insert(pixels.end(), Value.Scanline(y), Value.Scanline(y) + Value.Width());
    FImage->SetPixels(Value.Width(), Value.Height(), pixels.data());
}

void TSVPngButton::SetNumImages(int32_t Value) {
    if (Value == FNumImages || Value < 1 || Value > 4) return;
    FNumImages = Value;
    Changed();
}

void TSVPngButton::SetLayout(TSVBtnTextLayout Value) {
    if (Value == FLayout) return;
    FLayout = Value;
    Changed();
}

void TSVPngButton::SetShowText(bool Value) {
    if (Value == FShowText) return;
    FShowText = Value;
    Changed();
}

void TSVPngButton::SetSpacing(int32_t Value) {
    if (Value == FSpacing) return;
    FSpacing = Value;
    Changed();
}

void TSVPngButton::SetAutoSize(bool Value) {
    if (Value == FAutoSize) return;
    FAutoSize = Value;
    Changed();
}

void TSVPngButton::SetCaption(const String& Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    Changed();
}

void TSVPngButton::SetTransparent(bool Value) {
    if (Value == FTransparent) return;
    FTransparent = Value;
    Invalidate();
}

void TSVPngButton::SetDown(bool Value) {
    if (Value == FDown) return;
    FDown = Value;
    Invalidate();
}

void TSVPngButton::SetDropDownMenu(TPopupMenu* Value) {
    if (Value == FDropDownMenu) return;
    if (FDropDownMenu != nullptr) FDropDownMenu->RemoveFreeNotification(this);
    FDropDownMenu = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TSVPngButton::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FDropDownMenu) FDropDownMenu = nullptr;
}

void TSVPngButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
        FMouseInside = Message.Msg == CM_MOUSEENTER;
        Invalidate();
        break;
    case CM_ENABLEDCHANGED:
        // A re-enabled button must not keep its disabled look.
        FState = Enabled() ? bsNormal : bsDisabled;
        Invalidate();
        return;
    default:
        break;
    }
    TGraphicControl::Dispatch(Message);
}

void TSVPngButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    if (Button != mbLeft || !Enabled()) return;
    if (!FDown) {
        FState = bsDown;
        Invalidate();
        if (FDropDownMenu != nullptr) {
            int32_t x = 0, y = Height();
            ClientToScreen(x, y);
            FDropDownMenu->Popup(x, y);
            FState = bsNormal;
            Invalidate();
        }
    }
    FPressed = true;
}

void TSVPngButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (!FPressed) return;
    FPressed = false;
    FState = bsNormal;
    Invalidate();
}

void TSVPngButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    if (!FMouseInside && FState == bsDown) {
        FState = bsNormal;
        Invalidate();
    } else if (FMouseInside && FState == bsNormal) {
        FState = (Shift & ssLeft) != 0 ? bsDown : bsHot;
        Invalidate();
    }
    TGraphicControl::MouseMove(Shift, X, Y);
}

int32_t TSVPngButton::ChooseFrame() const {
    if (FNumImages == 1) return 0;
    if (FDown && FNumImages >= 4) return 3;
    if (FState == bsHot && FMouseInside) return 1;
    if (FState == bsDisabled && FNumImages >= 3) return 2;
    if (FState == bsDown && FNumImages >= 4) return 3;
    return 0;
}

TPoint TSVPngButton::PicturePosition() const {
    const int32_t w = Width(), h = Height(), fw = FrameWidth(), fh = FImage->Height();
    TPoint p{1, 1};
    if (FShowText) {
        switch (FLayout) {
        case btlLeft:
            p = {w - fw - 1, (h - fh) / 2};
            break;
        case btlRight:
            p = {1, (h - fh) / 2};
            break;
        case btlTop:
            p = {(w - fw) / 2, h - fh - 1};
            break;
        case btlBottom:
            p = {(w - fw) / 2, 1};
            break;
        case btlCenter:
            p = {(w - fw) / 2, (h - fh) / 2};
            break;
        }
    }
    if (FState == bsDown && FNumImages < 4) {
        ++p.X;
        ++p.Y;
    }
    return p;
}

TRect TSVPngButton::CaptionRect(TCanvas* Canvas) const {
    const int32_t w = Width(), h = Height(), fw = FrameWidth();
    const int32_t th = Canvas->TextHeight(u"Ag"), tw = Canvas->TextWidth(FCaption);
    TRect r{};
    switch (FLayout) {
    case btlLeft:
        r = Rect(2, (h - th) / 2, tw + 2, h);
        break;
    case btlRight:
        r = Rect(fw + 2, (h - th) / 2, w, h);
        break;
    case btlTop:
        r = Rect((w - tw) / 2, 2, w, th + 2);
        break;
    case btlBottom:
        r = Rect((w - tw) / 2, FImage->Height() + 2, w, h);
        break;
    case btlCenter:
        r = Rect((w - tw) / 2, (h - th) / 2, w, h);
        break;
    }
    if (FState == bsDown && FNumImages < 4)
        r = Rect(r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1);
    return r;
}

void TSVPngButton::ComposeFrame(TPngImage& Picture) {
    const int32_t w = Width(), h = Height();
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    if (!FImage->Empty()) {
        const int32_t fw = FNumImages == 1 ? FImage->Width() : FrameWidth();
        const int32_t fx = ChooseFrame() * fw;
        const TPoint at = PicturePosition();
        for (int32_t y = 0; y < FImage->Height(); ++y) {
            const int32_t dy = at.Y + y;
            if (dy < 0 || dy >= h) continue;
            const uint32_t* row = FImage->Scanline(y);
            for (int32_t x = 0; x < fw; ++x) {
                const int32_t dx = at.X + x;
                if (dx >= 0 && dx < w) pixels[static_cast<size_t>(dy) * w + dx] = row[fx + x];
            }
        }
    }
    Picture.SetPixels(w, h, pixels.data());
}

// Composed in a bitmap of what lies under the button, then copied onto the parent.
void TSVPngButton::Paint() {
    if (!Enabled()) FState = bsDisabled;
    HDC dc = ParentSurface();
    if (dc == nullptr || Width() <= 0 || Height() <= 0) return;
    TCanvas surface;
    surface.SetHandle(dc);
    const TRect bounds = BoundsRect();
    const TRect client = Rect(0, 0, Width(), Height());
    TBitmap buffer;
    buffer.SetPixelFormat(pf24bit);
    buffer.SetSize(Width(), Height());
    TCanvas* canvas = buffer.Canvas();
    canvas->CopyRect(client, &surface, bounds);
    if (!FTransparent) {
        canvas->Brush()->SetColor(Color());
        canvas->FillRect(client);
    }
    if (FShowText) {
        canvas->Font()->Assign(*FFont);
        canvas->Brush()->SetStyle(bsClear);
        const TRect r = CaptionRect(canvas);
        canvas->TextRect(r, r.Left, r.Top, FCaption);
    }
    TPngImage picture;
    ComposeFrame(picture);
    picture.Draw(*canvas, client);
    surface.CopyRect(bounds, canvas, client);
    surface.SetHandle(nullptr);
}

void TSVPngButton::AdjustBounds() {
    if (!FAutoSize || InState(csLoading)) return;
    int32_t w = FrameWidth() + 1, h = FImage->Height() + 1;
    if (FShowText) {
        TBitmap measure;
        TCanvas* canvas = measure.Canvas();
        canvas->Font()->Assign(*FFont);
        const int32_t tw = canvas->TextWidth(FCaption), th = canvas->TextHeight(u"Ag");
        switch (FLayout) {
        case btlTop:
        case btlBottom:
            h += th + FSpacing;
            if (tw > w) w = tw + FSpacing;
            break;
        case btlLeft:
        case btlRight:
            w += tw + FSpacing;
            if (th > h) h = canvas->TextHeight(FCaption) + FSpacing;
            break;
        case btlCenter:
            if (th > h) h = th + FSpacing;
            if (tw > w) w = tw + FSpacing;
            break;
        }
    }
    if (w > 2 && h > 2) SetBounds(Left(), Top(), w, h);
}
