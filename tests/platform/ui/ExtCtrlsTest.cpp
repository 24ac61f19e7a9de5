// The image control: it shows its picture's bitmap on its parent's surface, cut to its bounds,
// and repaints when the bitmap is marked modified.
#include "platform/gfx/PngImage.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// Every pixel of a 24-bit bitmap set to Color.
void FillBitmap(TBitmap& Bitmap, TColor Color) {
    for (int32_t y = 0; y < Bitmap.Height(); ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap.ScanLine(y));
        for (int32_t x = 0; x < Bitmap.Width(); ++x) {
            row[x * 3] = GetBValue(Color);
            row[x * 3 + 1] = GetGValue(Color);
            row[x * 3 + 2] = GetRValue(Color);
        }
    }
}

TEST(Image, ShowsItsPictureInItsBoundsAndRepaintsWhenTheBitmapIsModified) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 150);
    form.SetColor(clWhite);
    auto* image = new TImage(&form);
    EXPECT_EQ(image->Width(), 105);
    EXPECT_EQ(image->Height(), 105);
    image->SetParent(&form);
    image->SetBounds(10, 20, 30, 30);

    TBitmap* bitmap = image->Picture()->Bitmap();
    EXPECT_EQ(bitmap, image->Picture()->Bitmap());
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(40, 10); // wider than the control: cut at its right edge
    FillBitmap(*bitmap, clRed);
    EXPECT_EQ(image->Picture()->Width(), 40);

    const HWND wnd = form.Handle();
    form.Update();
    HDC dc = GetDC(wnd);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetPixel(dc, 10, 20), static_cast<COLORREF>(clRed));
    EXPECT_EQ(GetPixel(dc, 39, 29), static_cast<COLORREF>(clRed));
    EXPECT_NE(GetPixel(dc, 40, 20), static_cast<COLORREF>(clRed));  // right of the bounds
    EXPECT_NE(GetPixel(dc, 10, 30), static_cast<COLORREF>(clRed));  // below the bitmap
    EXPECT_NE(GetPixel(dc, 9, 20), static_cast<COLORREF>(clRed));   // left of the control
    ReleaseDC(wnd, dc);

    // Pixels written through ScanLine show only once the bitmap is marked modified.
    FillBitmap(*bitmap, clBlue);
    form.Update();
    EXPECT_EQ(GetPixel(GetDC(wnd), 15, 25), static_cast<COLORREF>(clRed));
    int32_t changes = 0;
    image->Picture()->OnChange = [&](TObject* Sender) {
        EXPECT_EQ(Sender, image->Picture());
        ++changes;
        image->Invalidate();
    };
    bitmap->SetModified(true);
    EXPECT_TRUE(bitmap->Modified());
    EXPECT_EQ(changes, 1);
    form.Update();
    EXPECT_EQ(GetPixel(GetDC(wnd), 15, 25), static_cast<COLORREF>(clBlue));
    bitmap->SetModified(false); // clearing the flag tells nobody
    EXPECT_EQ(changes, 1);
}

TEST(Image, AnEmptyPictureOrNoParentPaintsNothing) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 100, 100);
    form.SetColor(clWhite);
    auto* image = new TImage(&form);
    image->SetParent(&form);
    const HWND wnd = form.Handle();
    form.Update();
    EXPECT_EQ(GetPixel(GetDC(wnd), 5, 5), static_cast<COLORREF>(clWhite));

    TImage orphan(nullptr); // no parent: painting it must not touch anything
    orphan.Picture()->Bitmap()->SetSize(5, 5);
    orphan.Perform(WM_PAINT, 0, 0);
}

} // namespace

namespace {

// A PNG image in the picture draws itself by its alpha over the form, inside the bounds.
TEST(Image, ShowsAPngPictureOverWhatLiesUnderIt) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 150);
    form.SetColor(clWhite);
    auto* image = new TImage(&form);
    image->SetParent(&form);
    image->SetBounds(10, 20, 30, 30);
    // Opaque red on the left half, transparent on the right, 40 wide: cut at the bounds.
    std::vector<uint32_t> pixels(40 * 10);
    for (int i = 0; i < 400; ++i)
        pixels[i] = i % 40 < 20 ? 0xFFFF0000u : 0x00FF0000u;
    auto png = std::make_unique<TPngImage>();
    png->SetPixels(40, 10, pixels.data());
    image->Picture()->SetGraphic(std::move(png));

    const HWND wnd = form.Handle();
    form.Update();
    HDC dc = GetDC(wnd);
    EXPECT_EQ(GetPixel(dc, 10, 20), static_cast<COLORREF>(clRed));
    EXPECT_EQ(GetPixel(dc, 35, 20), static_cast<COLORREF>(clWhite)); // transparent half
    EXPECT_NE(GetPixel(dc, 10, 30), static_cast<COLORREF>(clRed));   // below the picture
    ReleaseDC(wnd, dc);
    EXPECT_NE(dynamic_cast<TPngImage*>(image->Picture()->Graphic()), nullptr)
        << "painting keeps the picture's graphic";
}

} // namespace
