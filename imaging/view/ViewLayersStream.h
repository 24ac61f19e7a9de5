// The layers stream: a view's whole layer stack, the properties of every layer first and then
// every layer's image, either as a deflated raw dump or in any format the I/O component writes.
// The view's operations (SaveLayersToStream, LoadLayersFromStream, LoadLayersFromFile) are
// declared with TVistrelView.
#pragma once

#include "platform/rtl/Classes.h"

// "DEROZEVEVOVAR", version, image format, layer count: 25 bytes, little-endian.
constexpr int32_t LayersHeaderSize = 25;
constexpr int32_t LayersStreamVersion = 6;
// The image format of deflated raw dumps.
constexpr int32_t LayersRawFormat = -1;

// The magic and a version above 0 at the position; the position is kept.
bool IsLayersStream(TStream& Stream);
