// Background styles and wallpaper of the views: the painter of the 14 styles, the chessboard of
// transparent pictures, the gradient and the wallpaper picture.
#include "imaging/view/ViewBackground.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLWindowHelpers.h"
#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Gdi.h"

#include <algorithm>

namespace {

constexpr TBrushStyle HatchBrushes[7] = {bsSolid,     bsHorizontal, bsVertical, bsFDiagonal,
                                         bsBDiagonal, bsCross,      bsDiagCross};

TColor Complement(TColor Color) {
    return ~ColorToRGB(Color) & 0xFFFFFF;
}

void FillArea(TCanvas* Canvas, const TRect& Area, TColor Color, TBrushStyle Style) {
    Canvas->Brush()->SetColor(Color);
    Canvas->Brush()->SetStyle(Style);
    Canvas->FillRect(Area);
}

TRect Intersect(const TRect& A, const TRect& B) {
    return TRect{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
                 std::min(A.Bottom, B.Bottom)};
}

// Writes the squares straight into the 24-bit bitmap, only where R meets the bitmap and the
// canvas's clip: a rectangle wider than either never writes past a row's end.
void DirectChessboard(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, int32_t S, TColor Color) {
    TVLRGB first, second;
    ColorToRGBTriple(Color, first);
    ColorToRGBTriple(Complement(Color), second);
    const TRect box =
        Intersect(Intersect(R, TRect{0, 0, Bitmap->Width(), Bitmap->Height()}), Canvas->ClipRect());
    for (int32_t y = box.Top; y < box.Bottom; ++y) {
        auto* row = static_cast<TVLRGB*>(Bitmap->ScanLine(y));
        const bool oddBand = ((y - R.Top) / S) % 2 != 0;
        for (int32_t x = box.Left; x < box.Right; ++x) {
            const bool odd = (((x - R.Left) / S) % 2 != 0) != oddBand;
            row[x] = odd ? second : first;
        }
    }
}

void BrushChessboard(TCanvas* Canvas, const TRect& R, int32_t S, TColor Color, TBrushStyle Brush) {
    const TColor other = Complement(Color);
    Canvas->Brush()->SetStyle(Brush);
    int32_t band = 0;
    for (int32_t y = R.Top; y < R.Bottom; y += S, ++band) {
        bool useColor = band % 2 != 0;
        for (int32_t x = R.Left; x < R.Right; x += S) {
            Canvas->Brush()->SetColor(useColor ? Color : other);
            Canvas->FillRect(Intersect(TRect{x, y, x + S, y + S}, R));
            useColor = !useColor;
        }
    }
}

void Chessboard(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, int32_t S, TColor Color,
                TBrushStyle Brush) {
    if (S <= 0 || R.IsEmpty()) return;
    if (Bitmap != nullptr && Brush == bsSolid && Bitmap->PixelFormat() == pf24bit)
        DirectChessboard(Canvas, Bitmap, R, S, Color);
    else
        BrushChessboard(Canvas, R, S, Color, Brush);
}

void WallPaperOver(TCanvas* Canvas, TBitmap* WallPaper, TVLWallPaperStyle Style, int32_t W,
                   int32_t H) {
    if (WallPaper == nullptr || WallPaper->Width() <= 0 || WallPaper->Height() <= 0) return;
    switch (Style) {
    case vlwoNormal:
        Canvas->Draw(0, 0, WallPaper);
        break;
    case vlwoStretch:
        Canvas->StretchDraw(TRect{0, 0, W, H}, WallPaper);
        break;
    case vlwoTile:
        for (int32_t y = 0; y < H; y += WallPaper->Height())
            for (int32_t x = 0; x < W; x += WallPaper->Width())
                Canvas->Draw(x, y, WallPaper);
        break;
    }
}

} // namespace

bool GradientFillRect(const TRect& Rect, HDC DC, TColor TopColor, TColor BottomColor,
                      bool Vertical) {
    const auto vertex = [](int32_t X, int32_t Y, TColor Color) {
        const TColor c = ColorToRGB(Color);
        TRIVERTEX v;
        v.x = X;
        v.y = Y;
        v.Red = static_cast<uint16_t>((c & 0xFF) << 8);
        v.Green = static_cast<uint16_t>(((c >> 8) & 0xFF) << 8);
        v.Blue = static_cast<uint16_t>(((c >> 16) & 0xFF) << 8);
        return v;
    };
    const TRIVERTEX vertices[2] = {vertex(Rect.Left, Rect.Top, TopColor),
                                   vertex(Rect.Right, Rect.Bottom, BottomColor)};
    const GRADIENT_RECT mesh{0, 1};
    return GradientFill(DC, vertices, 2, &mesh, 1,
                        Vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void DrawViewBackground(TComponentState State, TCanvas* Canvas, TBitmap* Bitmap,
                        TVLBackgroundStyle Style, TColor Color, int32_t AreaLeft, int32_t AreaTop,
                        int32_t AreaWidth, int32_t AreaHeight, int32_t ImageLeft, int32_t ImageTop,
                        int32_t ImageRight, int32_t ImageBottom, int32_t ChessSize,
                        TBrushStyle ChessBrush, TColor GradientEnd, TBitmap* WallPaper,
                        TVLWallPaperStyle WallPaperStyle) {
    const TRect area{AreaLeft, AreaTop, AreaLeft + AreaWidth, AreaTop + AreaHeight};
    const TRect image{ImageLeft, ImageTop, ImageRight, ImageBottom};
    const bool designing = (State & csDesigning) != 0;
    const bool sizable = ImageRight - ImageLeft >= 2 && ImageBottom - ImageTop >= 2;
    int32_t paperW = AreaWidth, paperH = AreaHeight;
    switch (Style) {
    case vlbsChessboard:
        Chessboard(Canvas, Bitmap, area, ChessSize, Color, ChessBrush);
        break;
    case vlbsDiagonals:
        FillArea(Canvas, area, Color, bsSolid);
        Canvas->Pen()->SetColor(Complement(Color));
        Canvas->Pen()->SetStyle(psSolid);
        Canvas->MoveTo(area.Left, area.Top);
        Canvas->LineTo(area.Right, area.Bottom);
        Canvas->MoveTo(area.Right, area.Top);
        Canvas->LineTo(area.Left, area.Bottom);
        break;
    case vlbsCropped:
        if (designing) {
            FillArea(Canvas, area, Color, bsSolid);
            break;
        }
        FillArea(Canvas, area, clBtnFace, bsSolid);
        if (sizable) {
            TRect edge{ImageLeft - EdgeWidth, ImageTop - EdgeHeight, ImageRight + EdgeWidth,
                       ImageBottom + EdgeHeight};
            DrawEdge(Canvas->Handle(), &edge, EDGE_SUNKEN, BF_RECT);
        }
        break;
    case vlbsCropShadow:
        FillArea(Canvas, area, Color, bsSolid);
        if (designing || !sizable) break;
        DrawRightShadow(Canvas, Bitmap, ImageRight, ImageTop, ImageRight + 5, ImageBottom + 3, 2,
                        Color);
        DrawBottomShadow(Canvas, Bitmap, ImageLeft, ImageBottom, ImageRight + 4, ImageBottom + 5, 2,
                         Color);
        break;
    case vlbsGradient:
        GradientFillRect(area, Canvas->Handle(), Color, GradientEnd, true);
        break;
    case vlbsSoftShadow:
        if (designing) {
            FillArea(Canvas, area, Color, bsSolid);
            break;
        }
        if (Bitmap == nullptr) break;
        FillArea(Canvas, area, Color, bsSolid);
        if (sizable) DrawSoftShadow(Bitmap, ImageLeft, ImageTop, ImageRight, ImageBottom, Color);
        break;
    case vlbsPhotoLike:
        FillArea(Canvas, area, 0xB0B0B0, bsSolid);
        Canvas->Pen()->SetColor(clBlack);
        Canvas->Pen()->SetStyle(psSolid);
        Canvas->Pen()->SetMode(pmCopy);
        Canvas->Brush()->SetStyle(bsClear);
        Canvas->Rectangle(ImageLeft - 1, ImageTop - 1, ImageRight + 1, ImageBottom + 1);
        Chessboard(Canvas, Bitmap, image, ChessSize, Color, ChessBrush);
        paperW = image.Width();
        paperH = image.Height();
        break;
    default:
        FillArea(Canvas, area, Color, HatchBrushes[std::min<int>(Style, 6)]);
        break;
    }
    WallPaperOver(Canvas, WallPaper, WallPaperStyle, paperW, paperH);
}

// ---- The view's background settings -------------------------------------------------------

void TVistrelView::SetWallPaperStyle(TVLWallPaperStyle Value) {
    if (Value == FWallPaperStyle) return;
    FWallPaperStyle = Value;
    Update();
}

void TVistrelView::SetWallPaper(TBitmap* Value) {
    if (Value == nullptr) {
        FWallPaper.reset();
    } else {
        if (!FWallPaper) FWallPaper = std::make_unique<TBitmap>();
        CopyTBitmap(*Value, *FWallPaper);
    }
    Update();
}

void TVistrelView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle) {
    FChessboardSize = Size;
    FChessboardBrushStyle = BrushStyle;
}

void TVistrelView::PaintBackgroundTo(TCanvas* Canvas) {
    DrawViewBackground(ComponentState(), Canvas, nullptr, BackgroundStyle(), Background(), 0, 0,
                       Width(), Height(), 0, 0, 0, 0, FChessboardSize, FChessboardBrushStyle,
                       GradientEndColor, FWallPaper.get(), FWallPaperStyle);
}
