// View painting and back buffer: the paint path from the window's paint request to the screen,
// the back buffer's life, the overlays drawn after the copy and the pixel grid.
#include "imaging/view/ViewPaint.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLCanvasOutput.h"
#include "imaging/view/VistrelView.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

double PixelGridMinZoom = 400;

String VistrelVersionText() {
    return u"Vistrel Version " + LibraryVersion + u" - 23/10/2008";
}

namespace {

// A back buffer of the drawing-area size whose pixels live in a class-library bitmap, so that it
// has a device context to copy from.
bool SizeBackBuffer(TVLBitmap& Buffer, int32_t Width, int32_t Height) {
    if (Buffer.GetWidth() == Width && Buffer.GetHeight() == Height &&
        Buffer.GetPixelFormat() == TVLPixelFormat::vl24RGB &&
        Buffer.GetLocation() == TVLLocation::vlTBitmap)
        return false;
    Buffer.SetLocation(TVLLocation::vlTBitmap);
    Buffer.Allocate(Width, Height, TVLPixelFormat::vl24RGB);
    return true;
}

} // namespace

void TVistrelView::CreateBackBuffer() {
    FBackBuffer = std::make_unique<TVLBitmap>();
    SizeBackBuffer(*FBackBuffer, 10, 10);
}

TBitmap* TVistrelView::GetBackBuffer() {
    return FBackBuffer ? FBackBuffer->GetVclBitmap() : nullptr;
}

void TVistrelView::InvalidateClientRect(const TRect& Rect) {
    FRecompose = true;
    InvalidateRect(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom);
}

void TVistrelView::SetDrawVersion(bool Value) {
    FDrawVersion = Value;
    Paint();
}

void TVistrelView::SetInteractionHint(const String& Text, int32_t X, int32_t Y,
                                      const String& SizingText) {
    FHintText = Text;
    FHintX = X;
    FHintY = Y;
    FHintSizingText = SizingText;
}

void TVistrelView::Paint() {
    if (!HandleAllocated()) return;
    const int32_t areaWidth = ClientAreaWidth();
    const int32_t areaHeight = ClientAreaHeight();
    if (!((HasParentWindow() && areaWidth > 0 && areaHeight > 0) || OffScreenDrawing)) return;
    TCanvas* canvas = Canvas();
    try {
        if (FPaintLock == 0) {
            TRect rect = Rect(0, 0, areaWidth, areaHeight);
            if (!FFullRedraw) {
                rect = canvas->ClipRect();
                if (rect.Right == 0) rect.Right = areaWidth;
                if (rect.Bottom == 0) rect.Bottom = areaHeight;
            }
            DrawBackBuffer(rect);
            if (OnDrawCanvas) OnDrawCanvas(this, canvas, Rect(0, 0, areaWidth, areaHeight));
        }
        FFullRedraw = false;
        if (!FRectMovedAsPolygon) DrawSelectionPolygon(this);
        if (OnPaint) OnPaint(this);
    } catch (...) {
        // A bad image or a faulty handler must not break the window's message loop; the
        // overlays below still run.
    }
    if (FDrawVersion) DrawVersionText(*canvas);
    if (!FHintText.empty() && EnableInteractionHints) {
        int32_t x = FHintX, y = FHintY;
        DrawTranslucentHintBox(canvas, x, y, FHintText, FHintSizingText);
    }
    if (InteractionCursors && FCursorPending) {
        FCursorPending = false;
        SetCursor(FOwnCursor);
    }
}

void TVistrelView::DrawVersionText(TCanvas& Canvas) {
    Canvas.Font()->SetName(u"Arial");
    Canvas.Font()->SetHeight(13);
    Canvas.Font()->SetColor(clBlack);
    Canvas.Brush()->SetStyle(bsSolid);
    Canvas.Brush()->SetColor(clWhite);
    const String text = VistrelVersionText();
    const TSize size = Canvas.TextExtent(text);
    Canvas.TextOut(ClientAreaWidth() - size.cx, ClientAreaHeight() - size.cy, text);
}

void TVistrelView::DrawBackBuffer(const TRect& Rect) {
    if (!HasParentWindow() && !OffScreenDrawing) return;
    if (!FBackBuffer) return;
    const int32_t areaWidth = ClientAreaWidth();
    const int32_t areaHeight = ClientAreaHeight();
    if (SizeBackBuffer(*FBackBuffer, areaWidth, areaHeight)) FRecompose = true;
    if (FBackBuffer->IsEmpty()) return;
    if (FRecompose) {
        FComposedDelayed = FilterDelayCount() > 0;
        ComposeBackBuffer(*FBackBuffer, true, true, &Rect);
        if (OnDrawBackBuffer) OnDrawBackBuffer(this);
        FRecompose = false;
    }
    FDibHeader.Header.biWidth = areaWidth;
    FDibHeader.Header.biHeight = areaHeight;
    FDibHeader.Header.biBitCount = static_cast<uint16_t>(FBackBuffer->GetBitCount());
    FDibHeader.Colors[1] = TRGBQuad{255, 255, 255, 0};
    CopyBackBuffer(Rect, std::min(Rect.Right - Rect.Left, areaWidth),
                   std::min(Rect.Bottom - Rect.Top, areaHeight));
    DrawRubberBand();
    FLastCopyWindow = Handle();
}

bool TVistrelView::ShiftBackBuffer(int32_t DX, int32_t DY) {
    if (!FBackBuffer || FBackBuffer->IsEmpty() || (FilterDelayCount() > 0) != FComposedDelayed)
        return false;
    const int32_t w = FBackBuffer->GetWidth(), h = FBackBuffer->GetHeight();
    if (w != ClientAreaWidth() || h != ClientAreaHeight() || std::abs(DX) >= w ||
        std::abs(DY) >= h)
        return false;
    // The new position's geometry decides whether the picture still covers the buffer and
    // whether its pixels stay where they were on the zoomed picture.
    UpdateVisibleRect();
    UpdateZoomTables();
    if (!PictureCoversBuffer()) return false;
    TVLLayer& layer = *FLayers[0];
    const TResampleFilter filter = LayerFilter(layer);
    if (filter != rfNone && ZoomedPicture(*layer.Bitmap(), filter) == nullptr) return false;
    // Destination row y takes row y + DY, column x column x + DX; rows run away from the rows
    // they read.
    const size_t bytes = static_cast<size_t>(w - std::abs(DX)) * 3;
    const ptrdiff_t from = static_cast<ptrdiff_t>(std::max(DX, 0)) * 3;
    const ptrdiff_t to = static_cast<ptrdiff_t>(std::max(-DX, 0)) * 3;
    for (int32_t k = 0; k < h - std::abs(DY); ++k) {
        const int32_t y = DY >= 0 ? k : h - 1 - k;
        std::memmove(FBackBuffer->GetScanline(y) + to, FBackBuffer->GetScanline(y + DY) + from,
                     bytes);
    }
    // The uncovered strips, inclusive rectangles.
    if (DX != 0) {
        const TRect strip = DX > 0 ? TRect{w - DX, 0, w - 1, h - 1} : TRect{0, 0, -DX - 1, h - 1};
        ComposeBackBuffer(*FBackBuffer, true, true, &strip);
    }
    if (DY != 0) {
        const TRect strip = DY > 0 ? TRect{0, h - DY, w - 1, h - 1} : TRect{0, 0, w - 1, -DY - 1};
        ComposeBackBuffer(*FBackBuffer, true, true, &strip);
    }
    return true;
}

void TVistrelView::CopyBackBuffer(const TRect& Rect, int32_t Width, int32_t Height) {
    HDC window = Canvas()->Handle();
    if (window == nullptr || Width <= 0 || Height <= 0) return;
    if (RemoteSession || (!UseDrawDibDraw && ScreenBitsPerPixel > 8)) {
        HDC buffer = FBackBuffer->GetVclBitmap()->Canvas()->Handle();
        if (ScreenBitsPerPixel >= 24 || RemoteSession) {
            BitBlt(window, Rect.Left, Rect.Top, Width, Height, buffer, Rect.Left, Rect.Top,
                   SRCCOPY);
        } else {
            // Dithers onto 9 to 23 bit screens.
            SetStretchBltMode(window, HALFTONE);
            StretchBlt(window, Rect.Left, Rect.Top, Width, Height, buffer, Rect.Left, Rect.Top,
                       Width, Height, SRCCOPY);
        }
        return;
    }
    // The buffer's rows are bottom-up in one block that starts with its bottom row.
    const void* bits = FBackBuffer->GetScanline(FBackBuffer->GetHeight() - 1);
    DrawDibDraw(FDrawDib, window, Rect.Left, Rect.Top, Width, Height, &FDibHeader.Header, bits,
                Rect.Left, Rect.Top, Width, Height, 0);
}

void TVistrelView::DrawPixelGrid(TCanvas& Canvas) {
    const TVLLayer& layer = *GetCurrentLayer();
    if (!DisplayGrid || !layer.Visible || std::max(FZoomX, FZoomY) < PixelGridMinZoom) return;
    if (FBitmapWidth * static_cast<int64_t>(FBitmapHeight) <= 1) return;
    // The layer's last drawing: destination x, y, width, height, then the source's.
    const int32_t dx = layer.DrawRecord[0], dy = layer.DrawRecord[1];
    const int32_t dw = layer.DrawRecord[2], dh = layer.DrawRecord[3];
    const int32_t sw = layer.DrawRecord[6], sh = layer.DrawRecord[7];
    if (sw <= 0 || sh <= 0) return;
    TPen* pen = Canvas.Pen();
    pen->SetStyle(psSolid);
    pen->SetMode(pmNot);
    pen->SetWidth(1);
    for (int32_t g = 0; g <= sw; ++g) {
        const auto x = static_cast<int32_t>(Round(dx + static_cast<double>(g) * dw / sw));
        Canvas.MoveTo(x, dy);
        Canvas.LineTo(x, dy + dh);
    }
    for (int32_t g = 0; g <= sh; ++g) {
        const auto y = static_cast<int32_t>(Round(dy + static_cast<double>(g) * dh / sh));
        Canvas.MoveTo(dx, y);
        Canvas.LineTo(dx + dw, y);
    }
    pen->SetMode(pmCopy);
    if (HighlightedPixel.X < 0 || HighlightedPixel.Y < 0) return;
    TVLCanvas canvas(&Canvas, true, true);
    canvas.Pen()->SetColor(clRed);
    canvas.Pen()->SetWidth(2);
    canvas.Brush()->SetStyle(bsClear);
    canvas.RoundRect(BitmapToClientX(HighlightedPixel.X), BitmapToClientY(HighlightedPixel.Y),
                     BitmapToClientX(HighlightedPixel.X + 1),
                     BitmapToClientY(HighlightedPixel.Y + 1), 5, 5);
}
