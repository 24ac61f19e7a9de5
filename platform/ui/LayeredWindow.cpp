// Per-pixel alpha windows on the toolkit's translucent top-level widgets.
#include "platform/ui/LayeredWindow.h"

#include "platform/ui/NativeWindow.h"

bool UpdateLayeredWindow(HWND Wnd, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                         const uint32_t* Pixels, uint8_t ConstantAlpha) {
    if (!IsWindow(Wnd) || Wnd->Native == nullptr || !Wnd->Native->Exists()) return false;
    platform::detail::TNativeWindow& window = *Wnd->Native;
    if (!(window.Params.ExStyle & WS_EX_LAYERED) || !window.Frame->isWindow() || Width <= 0 ||
        Height <= 0 || Pixels == nullptr)
        return false;
    QImage face(Width, Height, QImage::Format_ARGB32_Premultiplied);
    for (int32_t y = 0; y < Height; ++y) {
        const uint32_t* from = Pixels + int64_t{y} * Width;
        auto* to = reinterpret_cast<uint32_t*>(face.scanLine(y));
        for (int32_t x = 0; x < Width; ++x) {
            // Premultiplied channels scale alike, alpha included; halves round up.
            uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const uint32_t c = (from[x] >> shift) & 0xFF;
                out |= ((c * ConstantAlpha + 127) / 255) << shift;
            }
            to[x] = out;
        }
    }
    window.Layered = face;
    window.Control->SetBounds(X, Y, Width, Height);
    window.Client->update();
    return true;
}
