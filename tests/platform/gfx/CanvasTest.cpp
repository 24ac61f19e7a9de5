// The class library's canvas on bitmaps: drawing reaches the bitmap's rows in every format and
// after resizing, pen/brush/font handles are replaced and freed, the canvas's background rules,
// copies between canvases, text positions and font sizes.
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Bitmap.h"

#include <gtest/gtest.h>

#include <array>

namespace {

const uint8_t* Row(TBitmap& b, int32_t y) {
    return static_cast<const uint8_t*>(b.ScanLine(y));
}

TEST(TBitmapCanvas, DrawsIntoTheBitmapRowsAndFollowsResizing) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(3, 2);
    TCanvas* c = b.Canvas();
    c->Brush()->SetColor(RGB(10, 20, 30));
    c->FillRect(Rect(1, 1, 3, 2));
    EXPECT_EQ(Row(b, 0)[3], 0);
    EXPECT_EQ(Row(b, 1)[3], 30); // blue, green, red
    EXPECT_EQ(Row(b, 1)[4], 20);
    EXPECT_EQ(Row(b, 1)[5], 10);
    EXPECT_EQ(Row(b, 1)[0], 0);
    b.SetSize(5, 4);
    c->FillRect(Rect(4, 3, 5, 4));
    EXPECT_EQ(Row(b, 3)[14], 10);
    EXPECT_EQ(c->Pixels(4, 3), RGB(10, 20, 30));
    EXPECT_EQ(c->Pixels(5, 3), -1);
    EXPECT_EQ(c->ClipRect(), Rect(0, 0, 5, 4));
    b.SetPixelFormat(pf32bit);
    c->SetPixels(0, 0, clWhite);
    EXPECT_EQ(Row(b, 0)[0], 255);
    EXPECT_EQ(Row(b, 0)[3], 0);
}

TEST(TBitmapCanvas, ColourTableIsThePalette) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(2, 1);
    std::array<TRGBQuad, 256> grey;
    for (int i = 0; i < 256; ++i)
        grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    b.SetColorTable(0, grey.data(), 256);
    b.Canvas()->Brush()->SetColor(RGB(100, 101, 99));
    b.Canvas()->FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(Row(b, 0)[0], 100);
    b.SetPixelFormat(pf1bit);
    b.Canvas()->Brush()->SetColor(clWhite);
    b.Canvas()->FillRect(Rect(1, 0, 2, 1));
    EXPECT_EQ(Row(b, 0)[0] & 0xC0, 0x40);
}

TEST(TCanvasTools, ChangingAToolFreesItsHandle) {
    TBitmap b;
    b.SetSize(4, 4);
    TCanvas* c = b.Canvas();
    c->MoveTo(0, 0);
    c->LineTo(3, 0);
    HPEN pen = c->Pen()->Handle();
    HBRUSH brush = c->Brush()->Handle();
    HFONT font = c->Font()->Handle();
    ASSERT_NE(GetObjectW(pen, 0, nullptr), 0);
    c->Pen()->SetColor(clRed);
    c->Brush()->SetStyle(bsCross);
    c->Font()->SetSize(12);
    EXPECT_EQ(GetObjectW(pen, 0, nullptr), 0);
    EXPECT_EQ(GetObjectW(brush, 0, nullptr), 0);
    EXPECT_EQ(GetObjectW(font, 0, nullptr), 0);
    // A handle the canvas made is its own: deleting it from outside is refused.
    EXPECT_FALSE(DeleteObject(c->Pen()->Handle()));
    c->LineTo(3, 3);
    EXPECT_EQ(c->Pixels(3, 1), clRed);
    LOGPEN log;
    GetObjectW(c->Pen()->Handle(), sizeof(log), &log);
    EXPECT_EQ(log.lopnColor, 0x0000FFu);
}

TEST(TCanvasTools, HatchesKeepTheBackgroundAndStyledPensFillGapsWithASolidBrush) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(8, 3);
    TCanvas* c = b.Canvas();
    c->Brush()->SetColor(clLime);
    c->FillRect(Rect(0, 0, 8, 3));
    c->Brush()->SetColor(clRed);
    c->Brush()->SetStyle(bsVertical);
    c->FillRect(Rect(0, 0, 8, 1));
    EXPECT_EQ(c->Pixels(4, 0), clRed);
    EXPECT_EQ(c->Pixels(3, 0), clLime); // a hatch leaves the rest as it was
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(clBlue);
    c->Pen()->SetStyle(psDot);
    c->MoveTo(0, 1);
    c->LineTo(8, 1);
    EXPECT_EQ(c->Pixels(0, 1), clBlack);
    EXPECT_EQ(c->Pixels(3, 1), clBlue); // gaps of a styled pen take the brush colour
    c->Brush()->SetStyle(bsClear);
    c->MoveTo(0, 2);
    c->LineTo(8, 2);
    EXPECT_EQ(c->Pixels(3, 2), clLime); // with a clear brush the gaps stay
}

TEST(TCanvasTools, PenModeIsTheMix) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(4, 1);
    TCanvas* c = b.Canvas();
    c->Pen()->SetMode(pmNot);
    c->MoveTo(0, 0);
    c->LineTo(4, 0);
    EXPECT_EQ(c->Pixels(2, 0), clWhite);
    c->MoveTo(0, 0);
    c->LineTo(4, 0);
    EXPECT_EQ(c->Pixels(2, 0), clBlack);
    EXPECT_EQ(PenModeToRop2(pmXor), R2_XORPEN);
}

TEST(TCanvasCopies, DrawStretchDrawAndCopyRect) {
    TBitmap small;
    small.SetPixelFormat(pf24bit);
    small.SetSize(2, 1);
    small.Canvas()->SetPixels(0, 0, clRed);
    small.Canvas()->SetPixels(1, 0, clBlue);
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(6, 2);
    TCanvas* c = b.Canvas();
    c->Draw(1, 0, &small);
    EXPECT_EQ(c->Pixels(1, 0), clRed);
    EXPECT_EQ(c->Pixels(2, 0), clBlue);
    EXPECT_EQ(c->Pixels(3, 0), clBlack);
    c->StretchDraw(Rect(2, 1, 6, 2), &small);
    EXPECT_EQ(c->Pixels(3, 1), clRed);
    EXPECT_EQ(c->Pixels(4, 1), clBlue);
    c->CopyMode = cmSrcInvert;
    c->CopyRect(Rect(0, 0, 2, 1), small.Canvas(), Rect(0, 0, 2, 1));
    EXPECT_EQ(c->Pixels(0, 0), clRed);          // black xor red
    EXPECT_EQ(c->Pixels(1, 0), clRed | clBlue); // red xor blue
    c->Draw(0, 0, static_cast<TBitmap*>(nullptr));
}

TEST(TCanvasText, TextOutMovesThePenAndTextRectFillsWithTheBrush) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(60, 20);
    TCanvas* c = b.Canvas();
    c->Font()->SetName(u"Arial");
    c->Font()->SetHeight(-13);
    const int32_t width = c->TextWidth(u"Canvas");
    EXPECT_GT(width, 20);
    c->TextOut(2, 3, u"Canvas");
    EXPECT_EQ(c->PenPos(), TPoint(2 + width, 3));
    c->Brush()->SetColor(clYellow);
    c->TextRect(Rect(40, 0, 50, 20), 42, 2, u"Wide text here");
    EXPECT_EQ(c->Pixels(40, 0), clYellow);
    EXPECT_EQ(c->Pixels(50, 0), clBlack); // clipped to the rectangle
    EXPECT_EQ(c->TextHeight(u"x"), c->TextExtent(u"Canvas").cy);
}

TEST(TCanvasFont, SizeAndHeightAtNinetySixPixelsPerInch) {
    TFont f;
    EXPECT_EQ(f.Name(), u"Tahoma");
    EXPECT_EQ(f.Height(), -11);
    EXPECT_EQ(f.Size(), 8);
    f.SetSize(9);
    EXPECT_EQ(f.Height(), -12);
    f.SetStyle({fsBold, fsItalic});
    int changes = 0;
    f.OnChange = [&](TObject*) { ++changes; };
    f.SetStyle({fsBold, fsItalic});
    EXPECT_EQ(changes, 0);
    f.SetColor(clRed);
    EXPECT_EQ(changes, 1);
    const LOGFONTW lf = f.LogFont();
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(lf.lfItalic, 1);
    TFont copy;
    copy.Assign(f);
    EXPECT_EQ(copy.Height(), -12);
    EXPECT_TRUE(copy.Style().Contains(fsItalic));
    EXPECT_EQ(copy.Color(), clRed);
    LOGFONTW other = lf;
    other.lfHeight = 20;
    other.lfUnderline = 1;
    copy.SetHandle(CreateFontIndirectW(&other));
    EXPECT_EQ(copy.Height(), 20);
    EXPECT_TRUE(copy.Style().Contains(fsUnderline));
    EXPECT_EQ(copy.Color(), clRed);
}

TEST(TCanvasState, EventsLocksAndDetachedCanvases) {
    TCanvas detached;
    detached.FillRect(Rect(0, 0, 1, 1)); // no device context: nothing happens
    EXPECT_EQ(detached.Pixels(0, 0), -1);
    TBitmap b;
    b.SetSize(2, 2);
    TCanvas* c = b.Canvas();
    int changing = 0, changed = 0;
    c->OnChanging = [&](TObject*) { ++changing; };
    c->OnChange = [&](TObject*) { ++changed; };
    c->Rectangle(0, 0, 2, 2);
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);
    c->Lock();
    EXPECT_EQ(c->LockCount(), 1);
    EXPECT_TRUE(c->TryLock());
    c->Unlock();
    c->Unlock();
    EXPECT_EQ(c->LockCount(), 0);
    // A canvas over a device context it does not own.
    detached.SetHandle(c->Handle());
    detached.Brush()->SetColor(clRed);
    detached.FillRect(Rect(0, 0, 1, 1));
    EXPECT_EQ(c->Pixels(0, 0), clRed);
    detached.SetHandle(nullptr);
}

} // namespace
