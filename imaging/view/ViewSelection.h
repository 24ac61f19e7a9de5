// Selection of the single-image view: the polygon record with its separators and box, the
// options and modes of the selection, and the events it fires. The operations are
// TVistrelView's (ViewSelection.cpp).
#pragma once

#include "imaging/view/VLLayer.h"
#include "platform/gfx/Canvas.h"
#include "platform/rtl/Types.h"

#include <functional>
#include <vector>

class TVLMask;

// Bit number = order.
enum TVLSelectionOption : uint16_t {
    vlsoAnimated = 1u << 0,
    vlsoSizeable = 1u << 1,
    vlsoMoveable = 1u << 2,
    vlsoFilled = 1u << 3,
    vlsoCutBorders = 1u << 4,
    vlsoMarkOuter = 1u << 5,
    vlsoCanScroll = 1u << 6,
    vlsoSelectTranspLayers = 1u << 7,
    vlsoRightButtonSelectLayers = 1u << 8,
};
using TVLSelectionOptions = uint16_t;

enum TVLSelectionBase : uint8_t { vlsbClientArea, vlsbBitmap };
enum TVLSelectMode : uint8_t { vlsmReplace, vlsmAdd };
enum TVLWandMode : uint8_t { vlwmOutline, vlwmFill, vlwmGlobal };

// The point that separates the polygons of one selection (both coordinates).
constexpr int32_t SelectionSeparator = 0xFFFFF;

inline bool IsSeparator(const TPoint& P) {
    return P.X == SelectionSeparator && P.Y == SelectionSeparator;
}

// The polygon of a selection, in bitmap pixels of the current layer; several polygons are
// separated by a separator point. Room grows in steps of 64 points.
struct TVLSelectionPolygon {
    std::vector<TPoint> Points;
    int32_t Count = 0;
    TColor Color1 = 0x000000;
    TColor Color2 = 0xFFFFFF;
    bool Animated = true;
    int32_t Phase = 0;
    int32_t DashCounter = 0;
    // Box of every point but the separators.
    int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    bool Visible = false;
    bool Sizeable = true;

    const TPoint* Data() const { return Points.data(); }
    void Clear();
    // Appends a point (algorithm of the box: two points set it, further points extend it).
    void Add(int32_t X, int32_t Y);
    // Appends a separator unless the list is empty or ends with one.
    void AddSeparator();
    // Drops the points back to and including the last separator; nothing without one.
    void RemoveLastPolygon();
    // Drops the last point and the separators before it.
    void RemoveLastPoint();
    // Recomputes the box from the points.
    void SyncBox();

private:
    void Grow();
};

using TVLMouseInResizingGripEvent = std::function<void(TObject* Sender, TVLGrip Grip)>;
// After each dashed segment: the record index (0), the segment's first point, its client
// position.
using TVLOnDrawPolygon = std::function<void(TObject* Sender, int32_t Polygon, int32_t Point,
                                            TCanvas* Canvas, int32_t X, int32_t Y)>;

// Plots the dashed line from (X1, Y1) to (X2, Y2), end excluded, as LineDDA walks it: Counter
// 0..3 draws Color1, 4..7 Color2, then restarts. Pixels outside Width x Height are skipped.
void PlotDashedLine(uint8_t* const* Rows, int32_t Width, int32_t Height, int32_t X1, int32_t Y1,
                    int32_t X2, int32_t Y2, int32_t& Counter, TColor Color1, TColor Color2);

// The animation timer's period for an outline that took Elapsed ms to draw: at most
// -LoadLimit percent of the period, never below 210 ms. LoadLimit >= 0 keeps Current.
uint32_t AntsTimerPeriod(uint32_t Current, uint32_t Elapsed, int32_t LoadLimit);
