// Zoom and scroll geometry of the single-image view: the zoom stops, the zoom limit and the
// exact client-to-bitmap lookup tables shared by painting, hit tests and the renderer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Percent stops of the step-wise zoom below 100 %.
extern std::array<int32_t, 8> ZoomSteps;

// Zoom in from Z: Z + 100 from 100 % on, else the first stop above Z.
double NextZoomIn(double Zoom);
// Zoom out from Z: Z - 100 from 200 % on, else the last stop below Z, or 2.
double NextZoomOut(double Zoom);

// Zoomed sides never exceed this many pixels: the lookup tables hold one 32-bit entry per
// zoomed pixel, so the cap bounds their memory (16 MiB per table) and keeps every zoomed
// coordinate far inside 32-bit range.
constexpr int32_t MaxZoomedSize = 1 << 22;

// The maps of one axis. ClientToBitmap is indexed by zoomed position, BitmapToClient by bitmap
// column or row (filled downward, so each target keeps its smallest source); the windows are the
// entries at which the current view position starts.
struct TVLZoomAxisTable {
    std::vector<int32_t> ClientToBitmap;
    std::vector<int32_t> BitmapToClient;
    int32_t ClientLength = 0; // visible client pixels the tables were built for (CW)
    int32_t BitmapLength = 0; // valid range of the bitmap-to-client window (BW')
    int32_t ClientWindow = 0;
    int32_t BitmapWindow = 0;
};

struct TVLZoomTables {
    TVLZoomAxisTable X;
    TVLZoomAxisTable Y;
    // The key: the tables are rebuilt only when one of these changed.
    double ZoomX = 0;
    double ZoomY = 0;
    int32_t ClientWidth = 0;
    int32_t ClientHeight = 0;
    int32_t BitmapWidth = 0;
    int32_t BitmapHeight = 0;

    bool Exist() const { return !X.ClientToBitmap.empty() && !Y.ClientToBitmap.empty(); }
    void Clear();
};

// Fills one axis for a zoom in percent, CW visible client pixels, the zoomed size and the
// bitmap size.
void BuildZoomAxis(TVLZoomAxisTable& Table, double Zoom, int32_t ClientLength, int32_t Zoomed,
                   int32_t BitmapSize);
