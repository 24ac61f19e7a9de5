// Background styles and wallpaper of the views: the painter of the 14 styles, the chessboard of
// transparent pictures, the gradient and the wallpaper picture.
#pragma once

#include "imaging/view/VistrelView.h"
#include "platform/gfx/Canvas.h"

// Paints Style over the area (AreaLeft, AreaTop, AreaWidth x AreaHeight) of Canvas around the
// image box (ImageLeft, ImageTop) - (ImageRight, ImageBottom), then WallPaper when it holds a
// picture. Bitmap is the 24-bit class-library bitmap behind Canvas, or nil (the chessboard is
// then painted with the brush, the soft shadow not at all). State is the component's state:
// designing paints the framed styles as plain Color.
void DrawViewBackground(TComponentState State, TCanvas* Canvas, TBitmap* Bitmap,
                        TVLBackgroundStyle Style, TColor Color, int32_t AreaLeft, int32_t AreaTop,
                        int32_t AreaWidth, int32_t AreaHeight, int32_t ImageLeft, int32_t ImageTop,
                        int32_t ImageRight, int32_t ImageBottom, int32_t ChessSize,
                        TBrushStyle ChessBrush, TColor GradientEnd, TBitmap* WallPaper,
                        TVLWallPaperStyle WallPaperStyle);
// A two-colour gradient over Rect: TopColor at the top (left) edge, BottomColor at the bottom
// (right) one. False when nothing could be painted.
bool GradientFillRect(const TRect& Rect, HDC DC, TColor TopColor, TColor BottomColor,
                      bool Vertical);
