// Stateless helpers of the imaging library: integer geometry, colour-space formulas, powers,
// bit and byte helpers, the text encoders of the PostScript and PDF writers, Base64, the EXIF
// orientation fix-up and a generic quicksort. Geometry is in pixels with y growing downwards;
// angles are radians unless an argument says degrees.
#pragma once

#include "imaging/core/VLDefs.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Gdi.h"
#include "platform/rtl/Types.h"

#include <cstdint>
#include <functional>

class TVLBitmap;

// Geometry.

// Snaps (X, Y) to the vertical, the horizontal or the diagonal through (X0, Y0), whichever the
// point is near (30 pixels of slack between them).
void SnapTo45Degrees(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y);
// A's and B's corners in order; touching counts as overlapping.
bool RectsOverlap(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1,
                  int32_t BX2, int32_t BY2);
// 1 when B's edges cross A's, 2 when B's corners all lie in A, else 0.
int32_t RectOverlapKind(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1,
                        int32_t BY1, int32_t BX2, int32_t BY2);
bool PointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
bool PointInUnorderedRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Lowers Left/Top and raises Right/Bottom to include the point; returns the new rectangle.
TRect ExtendRectToPoint(TRect& Rect, int32_t X, int32_t Y);
double PointToPointDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Distance to the infinite line through the two points.
double PointToLineDistance(int32_t PX, int32_t PY, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// 1,000,000 stands for "far away".
double PointToSegmentDistance(int32_t PX, int32_t PY, int32_t X1, int32_t Y1, int32_t X2,
                              int32_t Y2);
// Points are mapped to the screen by (p - Org) x Zoom + Off before measuring.
double PointToPolylineDistance(int32_t X, int32_t Y, const TPoint* Points, int32_t Count,
                               double OrgX, double OrgY, double OffX, double OffY, double ZoomX,
                               double ZoomY, int32_t PenWidth, bool Closed);
double PointToRectDistance(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right,
                           int32_t Bottom, bool Filled, int32_t PenWidth);
double PointToEllipseDistance(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right,
                              int32_t Bottom, bool Filled, int32_t PenWidth);
// Even-odd test over the High + 1 vertices of Points.
bool PointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t High);
// The same over Count vertices mapped by (p - Org) x Scale + Off.
bool PointInScaledPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, double OrgX,
                          double OrgY, double OffX, double OffY, double ScaleX, double ScaleY);
// Turns the High + 1 points about the centre by Angle degrees, counter-clockwise on the screen.
void RotatePoints(TPoint* Points, int32_t High, int32_t CenterX, int32_t CenterY, double Angle);
// The largest W x H scaled by one factor that fits MaxW x MaxH, each side at least 1; OutW and
// OutH unchanged when W or H is 0.
void FitKeepingAspect(int32_t W, int32_t H, int32_t MaxW, int32_t MaxH, int32_t& OutW,
                      int32_t& OutH);
// Arc cosine in 0..pi.
double ArcCosine(double X);
// Angle between P1->P2 and P2->P3; 0 when either has length 0.
double AngleBetweenSegments(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// Direction from P1 to P2 in 0..2 pi, counter-clockwise on the screen (right 0, up pi/2).
double SegmentAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
int32_t PointOrientation(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Angle at P2 between the rays to P1 and P3, in 0..2 pi.
double VertexAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
bool GUIDsEqual(const TGUID& A, const TGUID& B);
// Bold when the weight is 700 or more, italic, underline and strike-out from their bytes; no
// style for nil.
TFontStyles FontStylesFromLogFont(const LOGFONTW* LogFont);
// Count points of the cubic Bezier segment at t = 1/Count, 2/Count, ... 1, rounded.
void BezierPoints(TPoint P0, TPoint P1, TPoint P2, TPoint P3, TPoint* Points, int32_t Count);

// Colour math.

// sRGB (blue in bits 0-7, green 8-15, red 16-23) to CIELab under D65: Lab[0] = L* x 255 / 100
// rounded, Lab[1] and Lab[2] = a* and b* truncated, as two's-complement bytes.
void RGBToCIELab(uint8_t Lab[3], uint32_t RGB);
// The reverse: L in bits 0-7 (L* = L x 100 / 255), a and b as signed bytes in bits 8-23.
void CIELabToRGB(TVLRGB& RGB, uint32_t Lab);
void YCbCrToRGB(TVLRGB& RGB, int32_t Y, int32_t Cb, int32_t Cr);
// N values of a Gaussian bell over t = 2i/N - 1, scaled so the largest is High and the curve
// runs down towards Low.
void GaussianCurve(int32_t N, double Low, double High, double* Values, double Sigma);
double Power(double Base, double Exponent);
double IntPower(double Base, int32_t Exponent);
double FastPower(double Base, double Exponent);

// Bits, bytes and numbers.

// Bytes per row of Width pixels of Bits each, padded to Alignment bits. Computed in 64 bits so
// that a crafted width cannot wrap to a short row; 0 for non-positive arguments.
int64_t AlignedRowLength(int64_t Width, int64_t Bits, int32_t Alignment);
// Bits per pixel of a class-library pixel format (device and custom formats give 0). pf15bit gives
// 15, its colour depth, although the toolkit bitmap stores it in 16 bits a pixel (PixelFormatBits
// of platform/gfx counts 16): the library's callers ask for the depth. Row lengths of stored
// pf15bit rows come from the bitmap itself, not from VclRowLength.
int32_t VclPixelFormatBitCount(TPixelFormat PixelFormat);
int64_t VclRowLength(int32_t Width, TPixelFormat PixelFormat);
// Width of a colour mask: the run of set bits from the lowest set bit ($7C00 gives 5).
int32_t BitFieldWidth(uint32_t Mask);
// Bits needed for N values; -1 for 0.
int32_t CeilLog2(uint32_t N);
// (2^BitsPerSample)^SamplesPerPixel, saturating at INT64_MAX; 0 for negative arguments.
int64_t ColorCountForBits(int32_t BitsPerSample, int32_t SamplesPerPixel);
// Mask of pixel x mod 8 in a 1-bit row (leftmost pixel in the high bit).
inline constexpr uint8_t BitMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
void ReverseBitOrder8(uint8_t& B);
void ReverseBitOrder32(uint32_t& V);
// The two low bytes exchanged; the upper half of V is kept.
int32_t SwapWord(int32_t V);
uint32_t SwapDWord(uint32_t V);
int32_t SwapWordIf(int32_t V, bool Swap);
uint32_t SwapDWordIf(uint32_t V, bool Swap);
constexpr int32_t ChooseInt(bool Cond, int32_t A, int32_t B) {
    return Cond ? A : B;
}
constexpr double ChooseDouble(bool Cond, double A, double B) {
    return Cond ? A : B;
}
bool HasMMX();

// Encoders of the PostScript and PDF writers.

// Adobe ASCII85 of Len (at least 1) bytes, then "~>" CR LF. Count is the length of the current
// output line: a line break follows a group that makes it longer than 74 characters; it is 0
// again after the end marker. Dst must hold 5 x (Len + 3) / 4 + 2 x ((Len + 3) / 4 / 15 + 1) + 4
// bytes. Returns the bytes written.
int32_t EncodeASCII85(const uint8_t* Src, int32_t Len, uint8_t* Dst, int32_t& Count);
// Run-length packets as PostScript's RunLengthDecode reads them, then the end byte 128. Dst must
// hold Len + Len / 128 + 2 bytes, which the packets never exceed. Returns the bytes written.
int32_t EncodeRunLength(const uint8_t* Src, int32_t Len, uint8_t* Dst);
void WriteStreamLineCRLF(TStream& Stream, const AnsiString& S);
// Four Base64 characters of Len (1 to 3) bytes, padded with "=".
void EncodeBase64Group(const uint8_t Src[3], char Dst[4], int32_t Len);
// Base64 of Stream from its position to its end, into TextFile as lines of LineLength / 4
// groups rounded up (one line when LineLength is not positive), each ended by a line feed.
void WriteStreamBase64(TStream& Stream, TStream& TextFile, int32_t LineLength);

// Other helpers.

// Turns a picture stored with EXIF orientation 2 to 8 upright (1 and other values change
// nothing): 2 mirror, 3 half turn, 4 upside down, 5 transpose (pixel (x, y) to (y, x)),
// 6 quarter turn clockwise, 7 transverse, 8 quarter turn counter-clockwise. Exact for every pixel
// format; the alpha channel turns with the picture. Unchanged when memory for the turned copy
// cannot be had.
void ApplyExifOrientation(TVLBitmap& Bitmap, int32_t Orientation);

// Quicksort of Count items through Compare(I, J) (negative, 0 or positive) and Exchange(I, J),
// with the middle item as pivot. Equal items may change their order.
void SortItems(int32_t Count, const std::function<void(int32_t, int32_t)>& Exchange,
               const std::function<int32_t(int32_t, int32_t)>& Compare);
