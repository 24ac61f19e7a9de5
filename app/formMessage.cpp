// The on-screen message window.
#include "app/formMessage.h"

#include "app/formMain.h"

#include "platform/gfx/Bitmap.h"
#include "platform/ui/LayeredWindow.h"
#include "platform/ui/WindowLong.h"
#include "raster/Bitmap32.h"

TfMessage* fMessage = nullptr;

namespace {

// Straight alpha to premultiplied, each colour channel times alpha / 255, halves rounded up.
uint32_t Premultiply(uint32_t Pixel) {
    const uint32_t alpha = Pixel >> 24;
    uint32_t out = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((Pixel >> shift) & 0xFF) * alpha + 127) / 255) << shift;
    return out;
}

} // namespace

TfMessage::TfMessage(TComponent* AOwner)
    : TForm(AOwner), Timer1(new TTimer(this)), FFont(new TFont) {
    SetBorderStyle(bsNone);
    SetColor(clBlack);
    FFont->SetName(u"Tahoma");
    FFont->SetHeight(-21);
    FFont->SetColor(clWhite);
    Timer1->SetEnabled(false);
    Timer1->SetInterval(3000);
    Timer1->SetOnTimer([this](TObject* Sender) { Timer1Timer(Sender); });
    SetBounds(Left(), Top(), 1, 1);
    Face = std::make_unique<raster::TBitmap32>();
}

TfMessage::~TfMessage() = default;

void TfMessage::CreateParams(TCreateParams& Params) {
    TForm::CreateParams(Params);
    Params.Style = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS;
    Params.WindowClass.style |= CS_VREDRAW | CS_HREDRAW;
    Params.ExStyle = WS_EX_TRANSPARENT; // mouse input passes through
}

void TfMessage::Popup(TControl* Owner, const String& AText, int32_t Milliseconds) {
    FadeStep = 0;
    Fading = false;
    Text = AText;
    TBitmap measure;
    measure.Canvas()->Font()->Assign(*FFont);
    const int32_t w = measure.Canvas()->TextWidth(Text) + 40;
    const int32_t h = measure.Canvas()->TextHeight(Text) + 40;
    SetBounds(Owner->Left() + (Owner->Width() - w) / 2, Owner->Top() + (Owner->Height() - h) / 2,
              w, h);
    SetWindowLongW(Handle(), GWL_EXSTYLE, GetWindowLongW(Handle(), GWL_EXSTYLE) | WS_EX_LAYERED);
    Face->SetSize(Width(), Height());
    Face->Clear(0);
    Timer1->SetInterval(static_cast<uint32_t>(std::max(Milliseconds, 0)));
    Timer1->SetEnabled(true);
    Show();
    RenderPopup(true);
    BringToFront();
}

void TfMessage::RenderPopup(bool Redraw) {
    if (Redraw) {
        raster::TBitmap32 box;
        box.SetSize(Width(), Height());
        box.Clear(0x000000FF);
        TCanvas* canvas = box.Canvas();
        canvas->Brush()->SetColor(clBlack);
        canvas->Pen()->SetColor(clBlack);
        canvas->RoundRect(0, 0, Width(), Height(), 10, 10);
        // What the drawing covered (written as 0) is the box: black at alpha 0x66; the corners
        // outside it stay transparent.
        Face->Clear(0);
        const int64_t count = int64_t{Width()} * Height();
        for (int64_t i = 0; i < count; ++i)
            if (box.Bits()[i] != 0x000000FF) Face->Bits()[i] = (box.Bits()[i] & 0xFFFFFF) | 0x66000000;
        Face->Font()->Assign(*FFont);
        Face->RenderText(21, 20, Text, 4, 0xC0333333); // the shadow, one pixel right and down
        Face->RenderText(20, 19, Text, 4, 0xC0FFFFFF);
        FPremultiplied.resize(static_cast<size_t>(count));
        for (int64_t i = 0; i < count; ++i)
            FPremultiplied[static_cast<size_t>(i)] = Premultiply(Face->Bits()[i]);
    }
    // The face is rendered once per message; the fade only lowers the window's constant alpha.
    if (!FPremultiplied.empty())
        UpdateLayeredWindow(Handle(), Left(), Top(), Face->Width(), Face->Height(),
                            FPremultiplied.data(), static_cast<uint8_t>(255 - 40 * FadeStep));
}

void TfMessage::Timer1Timer(TObject*) {
    if (!Fading) {
        Timer1->SetEnabled(false);
        Fading = true;
        Timer1->SetInterval(10);
        Timer1->SetEnabled(true);
        return;
    }
    if (FadeStep == 5) {
        Timer1->SetEnabled(false);
        Hide();
        return;
    }
    ++FadeStep;
    RenderPopup(false);
}

void TfMessage::HideNow() {
    Timer1->SetEnabled(false);
    Hide();
}

// ---- The main window's side ----------------------------------------------------------------

// The popup never takes the keyboard focus (its window is made so), so the main window keeps
// it without being asked.
void TfMain::ShowOsd(const String& Text, int32_t Milliseconds) {
    fMessage->Popup(this, Text, Milliseconds);
}

void TfMain::HideOsd() {
    fMessage->HideNow();
}
