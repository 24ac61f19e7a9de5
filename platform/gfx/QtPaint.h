// Internals of platform/gfx for drawing done by the toolkit's raster painter: the painter works on
// a transparent layer, which is then laid over a device context's surface.
#pragma once

#include "platform/gfx/GdiInternal.h"

#include <QImage>

namespace platform::detail {

// A transparent premultiplied layer of Width x Height pixels.
QImage MakeLayer(int32_t Width, int32_t Height);
// Lays Layer (premultiplied) over the surface with its top-left pixel at (Left, Top), clipped;
// pixels the layer covers get 0 in their fourth byte.
void CompositeLayer(TDeviceContext& Dc, const QImage& Layer, int32_t Left, int32_t Top);
// The part of Bounds (in surface pixels) that lies on the surface and inside the clip box.
TRect VisibleBounds(const TDeviceContext& Dc, TRect Bounds);

} // namespace platform::detail
