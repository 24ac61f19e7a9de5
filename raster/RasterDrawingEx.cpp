// Outcode line clipping; the moved end points are rounded by the library's MulDiv.
#include "raster/RasterDrawingEx.h"

#include "raster/RasterMath.h"

namespace raster {

namespace {

constexpr int32_t LeftBit = 1, RightBit = 2, TopBit = 4, BottomBit = 8;

int32_t XCode(int32_t X, int32_t MinX, int32_t MaxX) {
    return (X < MinX ? LeftBit : 0) | (X > MaxX ? RightBit : 0);
}

int32_t Code(int32_t X, int32_t Y, int32_t MinX, int32_t MinY, int32_t MaxX, int32_t MaxY) {
    return XCode(X, MinX, MaxX) | (Y < MinY ? TopBit : 0) | (Y > MaxY ? BottomBit : 0);
}

} // namespace

bool ClipLine(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, int32_t MinX, int32_t MinY,
              int32_t MaxX, int32_t MaxY) {
    int32_t c1 = Code(X1, Y1, MinX, MinY, MaxX, MaxY);
    int32_t c2 = Code(X2, Y2, MinX, MinY, MaxX, MaxY);
    if (c1 & c2) return false;
    if ((c1 | c2) == 0) return true;

    if (c1 & (TopBit | BottomBit)) {
        const int32_t yn = (c1 & BottomBit) ? MaxY : MinY;
        X1 += MulDiv(yn - Y1, X2 - X1, Y2 - Y1);
        Y1 = yn;
        c1 = XCode(X1, MinX, MaxX);
    }
    if (c2 & (TopBit | BottomBit)) {
        const int32_t yn = (c2 & BottomBit) ? MaxY : MinY;
        X2 += MulDiv(yn - Y2, X2 - X1, Y2 - Y1);
        Y2 = yn;
        c2 = XCode(X2, MinX, MaxX);
    }
    if (c1 & c2) return false;
    if ((c1 | c2) == 0) return true;

    if (c1 != 0) {
        const int32_t xn = c1 == LeftBit ? MinX : MaxX;
        Y1 += MulDiv(xn - X1, Y2 - Y1, X2 - X1);
        X1 = xn;
    }
    if (c2 != 0) {
        const int32_t xn = c2 == LeftBit ? MinX : MaxX;
        Y2 += MulDiv(xn - X2, Y2 - Y1, X2 - X1);
        X2 = xn;
    }
    return true;
}

} // namespace raster
