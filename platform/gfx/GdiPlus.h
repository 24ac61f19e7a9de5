// Anti-aliased drawing with alpha through a flat function interface: graphics bound to a device
// context, pens with fractional widths and dash styles, solid and hatched brushes, and paths of
// lines and arcs. Coordinates are floats with pixel centres at whole numbers; angles are degrees,
// clockwise on the screen. Drawing goes through the toolkit's raster painter onto the device
// context's surface, inside its clip region; pixels drawn get 0 in their fourth byte.
#pragma once

#include "platform/gfx/Gdi.h"

#include <cstdint>

enum class GpStatus : int32_t {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    NotImplemented = 6,
    WrongState = 8,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18
};

// A colour with alpha: 0xAARRGGBB.
using ARGB = uint32_t;
using REAL = float;
using GpPoint = TPoint;

enum GpSmoothingMode : int32_t {
    SmoothingModeDefault = 0,
    SmoothingModeHighSpeed = 1,
    SmoothingModeHighQuality = 2,
    SmoothingModeNone = 3,
    SmoothingModeAntiAlias = 4
};
enum GpUnit : int32_t { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2 };
enum GpDashStyle : int32_t {
    DashStyleSolid = 0,
    DashStyleDash = 1,
    DashStyleDot = 2,
    DashStyleDashDot = 3,
    DashStyleDashDotDot = 4,
    DashStyleCustom = 5
};
enum GpLineJoin : int32_t {
    LineJoinMiter = 0,
    LineJoinBevel = 1,
    LineJoinRound = 2,
    LineJoinMiterClipped = 3
};
enum GpHatchStyle : int32_t {
    HatchStyleHorizontal = 0,
    HatchStyleVertical = 1,
    HatchStyleForwardDiagonal = 2,
    HatchStyleBackwardDiagonal = 3,
    HatchStyleCross = 4,
    HatchStyleDiagonalCross = 5
};
enum GpFillMode : int32_t { FillModeAlternate = 0, FillModeWinding = 1 };

struct GdiplusStartupInput {
    uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    bool SuppressBackgroundThread = false;
    bool SuppressExternalCodecs = false;
};
struct GdiplusStartupOutput {
    void* NotificationHook = nullptr;
    void* NotificationUnhook = nullptr;
};

class GpGraphics;
class GpPen;
class GpBrush;
class GpPath;

// Every start-up is matched by a shut-down with its token; objects are made only while started.
GpStatus GdiplusStartup(uintptr_t* Token, const GdiplusStartupInput* Input,
                        GdiplusStartupOutput* Output);
void GdiplusShutdown(uintptr_t Token);

GpStatus GdipCreateFromHDC(HDC Dc, GpGraphics** Graphics);
GpStatus GdipDeleteGraphics(GpGraphics* Graphics);
GpStatus GdipSetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode Mode);

GpStatus GdipCreatePen1(ARGB Color, REAL Width, GpUnit Unit, GpPen** Pen);
GpStatus GdipDeletePen(GpPen* Pen);
GpStatus GdipSetPenWidth(GpPen* Pen, REAL Width);
GpStatus GdipSetPenColor(GpPen* Pen, ARGB Color);
GpStatus GdipSetPenDashStyle(GpPen* Pen, GpDashStyle Style);
// Dash and gap lengths in pen widths; makes the style DashStyleCustom.
GpStatus GdipSetPenDashArray(GpPen* Pen, const REAL* Dashes, int32_t Count);
GpStatus GdipSetPenLineJoin(GpPen* Pen, GpLineJoin Join);

GpStatus GdipCreateSolidFill(ARGB Color, GpBrush** Brush);
// The hatch is anchored at the surface's top-left pixel.
GpStatus GdipCreateHatchBrush(GpHatchStyle Hatch, ARGB Fore, ARGB Back, GpBrush** Brush);
GpStatus GdipDeleteBrush(GpBrush* Brush);

GpStatus GdipDrawLine(GpGraphics* Graphics, GpPen* Pen, REAL X1, REAL Y1, REAL X2, REAL Y2);
GpStatus GdipDrawLinesI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, int32_t Count);
GpStatus GdipFillRectangle(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width,
                           REAL Height);
GpStatus GdipDrawRectangle(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width,
                           REAL Height);
GpStatus GdipFillEllipse(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width,
                         REAL Height);
GpStatus GdipDrawEllipse(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipDrawPolygonI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, int32_t Count);
GpStatus GdipFillPolygonI(GpGraphics* Graphics, GpBrush* Brush, const GpPoint* Points,
                          int32_t Count, GpFillMode Mode);
GpStatus GdipDrawArc(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height,
                     REAL StartAngle, REAL SweepAngle);

GpStatus GdipCreatePath(GpFillMode Mode, GpPath** Path);
GpStatus GdipDeletePath(GpPath* Path);
// Arcs and lines join the figure's last point with a straight line.
GpStatus GdipAddPathArc(GpPath* Path, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle,
                        REAL SweepAngle);
GpStatus GdipAddPathLine(GpPath* Path, REAL X1, REAL Y1, REAL X2, REAL Y2);
GpStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path);
GpStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path);
