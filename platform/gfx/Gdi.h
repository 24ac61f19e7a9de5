// The drawing interface the system was written against: device contexts drawing into memory
// surfaces, the drawing objects selected into them, and the calls that draw, blit, clip and
// write text. Handles point to our own objects; a handle that is not (or no longer) a live
// object of the expected kind makes a call fail instead of crashing.
#pragma once

#include "platform/gfx/Color.h"
#include "platform/rtl/System.h"
#include "platform/rtl/Types.h"

#include <cstddef>
#include <cstdint>

class TGdiBitmap;
class TGdiPen;
class TGdiBrush;
class TGdiFont;
class TGdiRegion;
class TDeviceContext;

using HGDIOBJ = void*;
using HBITMAP = TGdiBitmap*;
using HPEN = TGdiPen*;
using HBRUSH = TGdiBrush*;
using HFONT = TGdiFont*;
using HRGN = TGdiRegion*;
using HDC = TDeviceContext*;

// Raster operations of the blits: the operation's truth table over pattern (0xF0), source (0xCC)
// and destination (0xAA) sits in bits 16 to 23.
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t NOTSRCERASE = 0x001100A6;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t MERGEPAINT = 0x00BB0226;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATPAINT = 0x00FB0A09;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;

// Mixes of pens and brush fills (SetROP2): code - 1 is the truth table over pen (0xC) and
// destination (0xA).
enum : int32_t {
    R2_BLACK = 1,
    R2_NOTMERGEPEN = 2,
    R2_MASKNOTPEN = 3,
    R2_NOTCOPYPEN = 4,
    R2_MASKPENNOT = 5,
    R2_NOT = 6,
    R2_XORPEN = 7,
    R2_NOTMASKPEN = 8,
    R2_MASKPEN = 9,
    R2_NOTXORPEN = 10,
    R2_NOP = 11,
    R2_MERGENOTPEN = 12,
    R2_COPYPEN = 13,
    R2_MERGEPENNOT = 14,
    R2_MERGEPEN = 15,
    R2_WHITE = 16
};

enum : int32_t { TRANSPARENT = 1, OPAQUE = 2 };
enum : int32_t { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
enum : int32_t { ALTERNATE = 1, WINDING = 2 };

enum : uint32_t {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
    // Every other pixel (one-pixel pens only).
    PS_ALTERNATE = 8
};
enum : uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = 1, BS_HATCHED = 2 };
enum : int32_t {
    HS_HORIZONTAL = 0,
    HS_VERTICAL = 1,
    HS_FDIAGONAL = 2,
    HS_BDIAGONAL = 3,
    HS_CROSS = 4,
    HS_DIAGCROSS = 5
};

enum : int32_t {
    WHITE_BRUSH = 0,
    LTGRAY_BRUSH = 1,
    GRAY_BRUSH = 2,
    DKGRAY_BRUSH = 3,
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    HOLLOW_BRUSH = 5,
    WHITE_PEN = 6,
    BLACK_PEN = 7,
    NULL_PEN = 8,
    OEM_FIXED_FONT = 10,
    ANSI_FIXED_FONT = 11,
    ANSI_VAR_FONT = 12,
    SYSTEM_FONT = 13,
    DEVICE_DEFAULT_FONT = 14,
    SYSTEM_FIXED_FONT = 16,
    DEFAULT_GUI_FONT = 17
};

// Region kinds returned by the region calls, and the ways to combine two regions.
enum : int32_t { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3 };
enum : int32_t { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

// GetDeviceCaps indexes and the raster capability bits.
enum : int32_t {
    TECHNOLOGY = 2,
    HORZSIZE = 4,
    VERTSIZE = 6,
    HORZRES = 8,
    VERTRES = 10,
    BITSPIXEL = 12,
    PLANES = 14,
    NUMCOLORS = 24,
    RASTERCAPS = 38,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    SIZEPALETTE = 104
};
enum : int32_t { DT_RASDISPLAY = 1 };
enum : int32_t {
    RC_BITBLT = 0x0001,
    RC_BITMAP64 = 0x0008,
    RC_DI_BITMAP = 0x0080,
    RC_DIBTODEV = 0x0200,
    RC_STRETCHBLT = 0x0800,
    RC_STRETCHDIB = 0x2000
};

enum : uint32_t { BI_RGB = 0, BI_BITFIELDS = 3 };
enum : uint32_t { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };

struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    // Positive: rows bottom-up; negative: rows top-down.
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = BI_RGB;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// The header is followed by the colour table (or, with BI_BITFIELDS, three colour masks); the
// table starts biSize bytes after the header's first byte.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    TRGBQuad bmiColors[1];
};

struct BITMAP {
    int32_t bmType = 0;
    int32_t bmWidth = 0;
    int32_t bmHeight = 0;
    int32_t bmWidthBytes = 0;
    uint16_t bmPlanes = 1;
    uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};

struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    uint32_t dsBitfields[3] = {0, 0, 0};
    void* dshSection = nullptr;
    uint32_t dsOffset = 0;
};

struct LOGPEN {
    uint32_t lopnStyle = PS_SOLID;
    TPoint lopnWidth;
    COLORREF lopnColor = 0;
};

struct LOGBRUSH {
    uint32_t lbStyle = BS_SOLID;
    COLORREF lbColor = 0;
    uintptr_t lbHatch = 0;
};

constexpr int32_t LF_FACESIZE = 32;
enum : uint8_t {
    DEFAULT_QUALITY = 0,
    DRAFT_QUALITY = 1,
    PROOF_QUALITY = 2,
    NONANTIALIASED_QUALITY = 3,
    ANTIALIASED_QUALITY = 4,
    CLEARTYPE_QUALITY = 5
};
enum : uint8_t { ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2 };
enum : int32_t { FW_DONTCARE = 0, FW_NORMAL = 400, FW_BOLD = 700 };
enum : uint8_t { DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2 };

// lfHeight < 0: character height (em size) in pixels; > 0: cell height (ascent + descent);
// 0: a default size. Escapement is in tenths of a degree, counter-clockwise.
struct LOGFONTW {
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = FW_NORMAL;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = DEFAULT_CHARSET;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = DEFAULT_QUALITY;
    uint8_t lfPitchAndFamily = DEFAULT_PITCH;
    char16_t lfFaceName[LF_FACESIZE] = {};
};

struct TEXTMETRICW {
    int32_t tmHeight = 0;
    int32_t tmAscent = 0;
    int32_t tmDescent = 0;
    int32_t tmInternalLeading = 0;
    int32_t tmExternalLeading = 0;
    int32_t tmAveCharWidth = 0;
    int32_t tmMaxCharWidth = 0;
    int32_t tmWeight = 0;
    int32_t tmOverhang = 0;
    uint8_t tmItalic = 0;
    uint8_t tmUnderlined = 0;
    uint8_t tmStruckOut = 0;
    uint8_t tmPitchAndFamily = 0;
    uint8_t tmCharSet = 0;
};

struct TRIVERTEX {
    int32_t x = 0;
    int32_t y = 0;
    // Channels in 16 bits; the drawn byte is the upper half.
    uint16_t Red = 0;
    uint16_t Green = 0;
    uint16_t Blue = 0;
    uint16_t Alpha = 0;
};
struct GRADIENT_RECT {
    uint32_t UpperLeft = 0;
    uint32_t LowerRight = 0;
};
enum : uint32_t { GRADIENT_FILL_RECT_H = 0, GRADIENT_FILL_RECT_V = 1 };

// Device contexts. A memory device context starts with the stock black pen, white brush and
// system font and a 1 x 1 monochrome bitmap; drawing goes to the bitmap selected into it.
HDC CreateCompatibleDC(HDC Dc);
bool DeleteDC(HDC Dc);
int32_t GetDeviceCaps(HDC Dc, int32_t Index);

// Objects.
HBITMAP CreateDIBSection(HDC Dc, const BITMAPINFO* Info, uint32_t Usage, void** Bits, void* Section,
                         uint32_t Offset);
// A device-dependent bitmap of 1 or 32 bits per pixel; Bits (or nil) holds rows top-down,
// padded to 16 bits.
HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitCount,
                     const void* Bits);
HPEN CreatePen(uint32_t Style, int32_t Width, COLORREF Color);
HBRUSH CreateHatchBrush(int32_t Hatch, COLORREF Color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* Brush);
HFONT CreateFontIndirectW(const LOGFONTW* Font);
HGDIOBJ GetStockObject(int32_t Object);
// Selects a bitmap, pen, brush or font and returns the one it replaces (nil on failure). A
// bitmap can be selected into one device context at a time.
HGDIOBJ SelectObject(HDC Dc, HGDIOBJ Object);
// Frees an object. Stock objects are left alone; an object still selected into a device
// context is refused.
bool DeleteObject(HGDIOBJ Object);
// Copies the object's description (BITMAP or DIBSECTION, LOGPEN, LOGBRUSH, LOGFONTW) into Buffer
// and returns the bytes written; with a nil Buffer returns the size needed; 0 on failure.
int32_t GetObjectW(HGDIOBJ Object, int32_t Size, void* Buffer);
// The object of a kind selected into Dc now; nil for an unknown context or kind.
constexpr uint32_t OBJ_PEN = 1;
constexpr uint32_t OBJ_BRUSH = 2;
constexpr uint32_t OBJ_FONT = 6;
constexpr uint32_t OBJ_BITMAP = 7;
HGDIOBJ GetCurrentObject(HDC Dc, uint32_t Type);
uint32_t GetDIBColorTable(HDC Dc, uint32_t Start, uint32_t Count, TRGBQuad* Colors);

// Device-context state.
int32_t SetROP2(HDC Dc, int32_t Mode);
int32_t SetBkMode(HDC Dc, int32_t Mode);
COLORREF SetBkColor(HDC Dc, COLORREF Color);
COLORREF SetTextColor(HDC Dc, COLORREF Color);
int32_t SetStretchBltMode(HDC Dc, int32_t Mode);
bool MoveToEx(HDC Dc, int32_t X, int32_t Y, TPoint* Previous);
bool GetCurrentPositionEx(HDC Dc, TPoint* Position);

// Pixels. CLR_INVALID when the pixel lies outside the surface or the clip region.
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF GetPixel(HDC Dc, int32_t X, int32_t Y);
COLORREF SetPixel(HDC Dc, int32_t X, int32_t Y, COLORREF Color);
bool SetPixelV(HDC Dc, int32_t X, int32_t Y, COLORREF Color);

// Blits. Negative widths or heights mirror; a source and destination of different sign mirror
// the picture. BitBlt and StretchBlt with a 32-bit source and destination and SRCCOPY copy the
// fourth byte of each pixel; every other drawing writes 0 there.
// A SRCCOPY at 1:1 without mirroring copies whole rows (a surface onto itself included); false
// sends it through the general stretch, which gives the same pixels (tests compare the two).
extern bool GdiFastCopies;
bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Source, int32_t SrcX,
            int32_t SrcY, uint32_t Rop);
bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Source,
                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop);
// Source rectangles of bottom-up DIBs are measured from the bottom row, as stored. Returns the
// number of rows drawn, 0 on failure.
int32_t StretchDIBits(HDC Dc, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t SrcX,
                      int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, const void* Bits,
                      const BITMAPINFO* Info, uint32_t Usage, uint32_t Rop);
// Composes Source's rectangle over Dest's (nearest pixel when the sizes differ): with AC_SRC_ALPHA
// the source holds premultiplied colour with its alpha in the fourth byte, scaled by the constant
// alpha; without it every pixel has the constant alpha. Only AC_SRC_OVER exists.
struct BLENDFUNCTION {
    uint8_t BlendOp = 0;
    uint8_t BlendFlags = 0;
    uint8_t SourceConstantAlpha = 255;
    uint8_t AlphaFormat = 0;
};
constexpr uint8_t AC_SRC_OVER = 0x00;
constexpr uint8_t AC_SRC_ALPHA = 0x01;
bool AlphaBlend(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Source,
                int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                BLENDFUNCTION Blend);
bool GradientFill(HDC Dc, const TRIVERTEX* Vertices, uint32_t VertexCount, const void* Mesh,
                  uint32_t MeshCount, uint32_t Mode);

// Regions. Rectangle regions exclude their right and bottom edges.
HRGN CreateRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// The device context keeps a copy of Region; nil removes the clip region.
int32_t SelectClipRgn(HDC Dc, HRGN Region);
int32_t IntersectClipRect(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
int32_t GetClipBox(HDC Dc, TRect* Rect);

// Lines and shapes. Lines leave out their end point; shapes include their left and top edges
// and leave out their right and bottom edges.
bool LineTo(HDC Dc, int32_t X, int32_t Y);
bool Polyline(HDC Dc, const TPoint* Points, int32_t Count);
bool Polygon(HDC Dc, const TPoint* Points, int32_t Count);
bool Rectangle(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool Ellipse(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool RoundRect(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
               int32_t CornerWidth, int32_t CornerHeight);
// Counter-clockwise from the ray through (XStart, YStart) to the ray through (XEnd, YEnd).
bool Arc(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t XStart,
         int32_t YStart, int32_t XEnd, int32_t YEnd);
int32_t FillRect(HDC Dc, const TRect* Rect, HBRUSH Brush);
int32_t FrameRect(HDC Dc, const TRect* Rect, HBRUSH Brush);
bool DrawFocusRect(HDC Dc, const TRect* Rect);

// The points of the line from (X1, Y1) to (X2, Y2), end point excluded, as the pens draw it.
using LINEDDAPROC = void (*)(int32_t X, int32_t Y, intptr_t Data);
bool LineDDA(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, LINEDDAPROC Proc, intptr_t Data);

enum : uint32_t {
    BDR_RAISEDOUTER = 0x1,
    BDR_SUNKENOUTER = 0x2,
    BDR_RAISEDINNER = 0x4,
    BDR_SUNKENINNER = 0x8,
    EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
    EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
    EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER
};
enum : uint32_t {
    BF_LEFT = 0x1,
    BF_TOP = 0x2,
    BF_RIGHT = 0x4,
    BF_BOTTOM = 0x8,
    BF_RECT = 0xF,
    BF_MIDDLE = 0x800,
    BF_ADJUST = 0x2000
};
// Two-tone 3-D borders in the system colours; BF_ADJUST shrinks Rect by the drawn edges.
bool DrawEdge(HDC Dc, TRect* Rect, uint32_t Edge, uint32_t Flags);

// Text in the selected font and the text colour; in OPAQUE mode the text cell is first filled
// with the background colour. Text ignores the mix mode.
enum : uint32_t { ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4 };
bool TextOutW(HDC Dc, int32_t X, int32_t Y, const char16_t* Text, int32_t Length);
// Dx (or nil) gives the advance of every character.
bool ExtTextOutW(HDC Dc, int32_t X, int32_t Y, uint32_t Options, const TRect* Rect,
                 const char16_t* Text, uint32_t Length, const int32_t* Dx);
bool GetTextExtentPoint32W(HDC Dc, const char16_t* Text, int32_t Length, TSize* Size);
bool GetTextMetricsW(HDC Dc, TEXTMETRICW* Metrics);

enum : uint32_t {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_EDITCONTROL = 0x2000,
    DT_PATH_ELLIPSIS = 0x4000,
    DT_END_ELLIPSIS = 0x8000,
    DT_MODIFYSTRING = 0x10000,
    DT_RTLREADING = 0x20000,
    DT_WORD_ELLIPSIS = 0x40000,
    DT_HIDEPREFIX = 0x100000
};
// Length -1: Text ends at its first 0. Returns the height of the text (with DT_VCENTER or
// DT_BOTTOM the offset from Rect's top to the bottom of the text); 0 on failure. With
// DT_MODIFYSTRING and an ellipsis the shortened text is written back into Text, which must have
// room for Length + 4 characters.
int32_t DrawTextW(HDC Dc, char16_t* Text, int32_t Length, TRect* Rect, uint32_t Format);
int32_t DrawTextW(HDC Dc, const char16_t* Text, int32_t Length, TRect* Rect, uint32_t Format);

// Calls of metafile playback (GdiPlayback.cpp). SaveDC returns the new depth (0 on failure);
// RestoreDC takes a depth (> 0) or a count back from the top (< 0).
int32_t SaveDC(HDC Dc);
bool RestoreDC(HDC Dc, int32_t Saved);
// Counts[i] points each; all rings fill as one shape under the fill mode, each ring is outlined.
bool PolyPolygon(HDC Dc, const TPoint* Points, const int32_t* Counts, int32_t Polygons);
bool Pie(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t XRadial1,
         int32_t YRadial1, int32_t XRadial2, int32_t YRadial2);
bool Chord(HDC Dc, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t XRadial1,
           int32_t YRadial1, int32_t XRadial2, int32_t YRadial2);
// Rows StartScan .. StartScan + Lines - 1 of the DIB (counted from its bottom row, as stored)
// at 1:1; returns the number of rows drawn.
int32_t SetDIBitsToDevice(HDC Dc, int32_t X, int32_t Y, uint32_t Width, uint32_t Height,
                          int32_t SrcX, int32_t SrcY, uint32_t StartScan, uint32_t Lines,
                          const void* Bits, const BITMAPINFO* Info, uint32_t Usage);
