// Layers drawn by the toolkit's raster painter, laid over device-context surfaces.
#include "platform/gfx/QtPaint.h"

#include <algorithm>

namespace platform::detail {

QImage MakeLayer(int32_t Width, int32_t Height) {
    QImage layer(std::max(Width, 1), std::max(Height, 1), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    return layer;
}

void CompositeLayer(TDeviceContext& Dc, const QImage& Layer, int32_t Left, int32_t Top) {
    const TSurface& s = Dc.Surface();
    if (s.Empty() || Layer.format() != QImage::Format_ARGB32_Premultiplied) return;
    TColorMapper mapper(s);
    std::vector<uint32_t> line;
    for (int32_t ly = 0; ly < Layer.height(); ++ly) {
        const auto* src = reinterpret_cast<const QRgb*>(Layer.constScanLine(ly));
        const int32_t y = Top + ly;
        ForEachVisibleSpan(Dc, y, Left, Left + Layer.width(), [&](int32_t a, int32_t b) {
            line.resize(static_cast<size_t>(b - a));
            ReadRow(s, y, a, b - a, line.data());
            bool changed = false;
            for (int32_t x = a; x < b; ++x) {
                const QRgb p = src[x - Left];
                const int alpha = qAlpha(p);
                if (alpha == 0) continue;
                uint32_t& v = line[static_cast<size_t>(x - a)];
                const auto c = static_cast<TColor>(PixelToColor(s, v));
                // Source over: premultiplied source plus the destination times what the source
                // leaves through, rounded to nearest.
                auto over = [&](int source, int dest) {
                    return static_cast<uint8_t>(source + (dest * (255 - alpha) + 127) / 255);
                };
                v = mapper.Map(static_cast<COLORREF>(RGB(over(qRed(p), GetRValue(c)),
                                                         over(qGreen(p), GetGValue(c)),
                                                         over(qBlue(p), GetBValue(c)))));
                changed = true;
            }
            if (changed) WriteRow(s, y, a, b - a, line.data());
        });
    }
}

TRect VisibleBounds(const TDeviceContext& Dc, TRect Bounds) {
    const TSurface& s = Dc.Surface();
    TRect area{0, 0, s.Width, s.Height};
    if (Dc.Clip) {
        const TRect box = Dc.Clip->Box();
        area = {std::max(area.Left, box.Left), std::max(area.Top, box.Top),
                std::min(area.Right, box.Right), std::min(area.Bottom, box.Bottom)};
    }
    Bounds.Left = std::max(Bounds.Left, area.Left);
    Bounds.Top = std::max(Bounds.Top, area.Top);
    Bounds.Right = std::min(Bounds.Right, area.Right);
    Bounds.Bottom = std::min(Bounds.Bottom, area.Bottom);
    return Bounds;
}

} // namespace platform::detail
