// Unit Raster_DrawingEx: clipping of a segment against a rectangle.
#pragma once

#include <cstdint>

namespace raster {

// Clips the segment (X1, Y1)-(X2, Y2) to the closed rectangle [MinX, MaxX] x [MinY, MaxY] in one
// pass (horizontal edges first, then vertical ones); false when nothing of it is visible.
bool ClipLine(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, int32_t MinX, int32_t MinY,
              int32_t MaxX, int32_t MaxY);

} // namespace raster
