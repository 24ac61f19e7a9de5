// The on-screen message: large white text on a translucent rounded black box, centred over the
// main window in a window of its own that takes no input; it stays for a given time, then fades
// out in five quick steps.
#pragma once

#include "platform/ui/Forms.h"
#include "platform/ui/Timer.h"

#include <memory>
#include <vector>

namespace raster {
class TBitmap32;
}

class TfMessage : public TForm {
public:
    explicit TfMessage(TComponent* AOwner);
    ~TfMessage() override;

    // Shows Text centred over Owner for Milliseconds, then fades it out; a message shown
    // meanwhile replaces it with its own size, place and time.
    void Popup(TControl* Owner, const String& AText, int32_t Milliseconds);
    // With Redraw renders Face anew; then hands it to the window at the alpha of the fade step.
    void RenderPopup(bool Redraw);
    // Stops the timer and hides the window.
    void HideNow();

    // The window's font: "Tahoma", 21 pixels, white.
    TFont* Font() { return FFont.get(); }

    int32_t FadeStep = 0; // 0 while shown, 1 to 5 while fading
    bool Fading = false;  // the display time is over
    // The box as rendered, straight alpha, the window's size.
    std::unique_ptr<raster::TBitmap32> Face;
    String Text;
    TTimer* Timer1;

protected:
    void CreateParams(TCreateParams& Params) override;

private:
    void Timer1Timer(TObject* Sender);

    std::unique_ptr<TFont> FFont;
    // Face with its colours premultiplied, as the window takes it; made once per message.
    std::vector<uint32_t> FPremultiplied;
};

extern TfMessage* fMessage;
