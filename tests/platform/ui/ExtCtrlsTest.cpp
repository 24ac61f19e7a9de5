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

namespace {

// A strip of Frames frames Size x Size side by side, frame n opaque in Colors[n] (straight BGRA).
TPngImage Strip(int32_t Size, const std::vector<uint32_t>& Colors, int32_t Extra = 0) {
    const int32_t width = Size * static_cast<int32_t>(Colors.size()) + Extra;
    std::vector<uint32_t> pixels(static_cast<size_t>(width * Size), 0xFF000000u);
    for (int32_t y = 0; y < Size; ++y)
        for (int32_t x = 0; x < width - Extra; ++x)
            pixels[static_cast<size_t>(y * width + x)] = Colors[static_cast<size_t>(x / Size)];
    TPngImage image;
    image.SetPixels(width, Size, pixels.data());
    return image;
}

constexpr uint32_t Red = 0xFFFF0000u, Green = 0xFF00FF00u, Blue = 0xFF0000FFu;

TEST(ImageList, AStripGivesOneImagePerWidthAndDrawsByIndex) {
    TImageList images(nullptr);
    images.SetSize(8, 8);
    EXPECT_EQ(images.Add(Strip(8, {Red, Green})), 0);
    EXPECT_EQ(images.Add(Strip(8, {Blue}, 5)), 2); // the 5 pixels left over are dropped
    EXPECT_EQ(images.Count(), 3);
    EXPECT_EQ(images.Add(Strip(4, {Red})), -1); // narrower than one image
    EXPECT_EQ(images.Count(), 3);

    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(30, 10);
    target.Canvas()->Brush()->SetColor(clWhite);
    target.Canvas()->FillRect(Rect(0, 0, 30, 10));
    images.Draw(target.Canvas(), 0, 0, 1);
    images.Draw(target.Canvas(), 10, 2, 2);
    images.Draw(target.Canvas(), 20, 0, 3); // not in the list
    EXPECT_EQ(target.Canvas()->Pixels(3, 3), clLime);
    EXPECT_EQ(target.Canvas()->Pixels(10, 1), clWhite);
    EXPECT_EQ(target.Canvas()->Pixels(10, 2), clBlue);
    EXPECT_EQ(target.Canvas()->Pixels(17, 9), clBlue);
    EXPECT_EQ(target.Canvas()->Pixels(25, 5), clWhite);
    images.SetSize(16, 16);
    EXPECT_EQ(images.Count(), 0);
}

// An edit field 80 x 16 with a right button from three 12-pixel images: normal red, hot
// green, pressed blue.
class ButtonedEdit : public testing::Test {
protected:
    void SetUp() override {
        form.SetBounds(0, 0, 200, 100);
        images = new TImageList(&form);
        images->SetSize(12, 12);
        images->Add(Strip(12, {Red, Green, Blue}));
        edit = new TButtonedEdit(&form);
        edit->SetParent(&form);
        edit->SetBounds(4, 1, 80, 16);
        edit->SetImages(images);
        edit->RightButton()->ImageIndex = 0;
        edit->RightButton()->HotImageIndex = 1;
        edit->RightButton()->PressedImageIndex = 2;
        edit->OnRightButtonClick = [this](TObject* Sender) {
            EXPECT_EQ(Sender, edit);
            ++clicks;
        };
        wnd = edit->Handle();
    }

    TColor ButtonPixel() {
        edit->Update();
        HDC dc = GetDC(wnd);
        const TColor pixel = static_cast<TColor>(GetPixel(dc, 80 - 6, 8));
        ReleaseDC(wnd, dc);
        return pixel;
    }

    TForm form{nullptr};
    TImageList* images = nullptr;
    TButtonedEdit* edit = nullptr;
    HWND wnd = nullptr;
    int32_t clicks = 0;
};

TEST_F(ButtonedEdit, TheShownButtonDrawsItsStatesAndClicksOnARelease) {
    EXPECT_EQ(edit->RightButtonRect(), TRect{});
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(75, 8));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(75, 8));
    EXPECT_EQ(clicks, 0); // hidden: nothing to click

    edit->RightButton()->SetVisible(true);
    EXPECT_EQ(edit->RightButtonRect(), Rect(68, 0, 80, 16));
    EXPECT_EQ(ButtonPixel(), clRed);
    SendMessage(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(75, 8));
    EXPECT_EQ(ButtonPixel(), clLime);
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(75, 8));
    EXPECT_EQ(ButtonPixel(), clBlue);
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(75, 8));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(ButtonPixel(), clLime);
    SendMessage(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(20, 8));
    EXPECT_EQ(ButtonPixel(), clRed);

    // Released away from the button: no click.
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(70, 8));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(30, 8));
    EXPECT_EQ(clicks, 1);
    // A press on the text does not arm the button.
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 8));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(70, 8));
    EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonedEdit, TheButtonGoesWithItsImageList) {
    edit->RightButton()->SetVisible(true);
    edit->SetText(u"abc");
    EXPECT_EQ(edit->Text(), u"abc");
    delete images;
    EXPECT_EQ(edit->Images(), nullptr);
    EXPECT_EQ(edit->RightButtonRect(), TRect{});
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(75, 8));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(75, 8));
    EXPECT_EQ(clicks, 0);
}

} // namespace
