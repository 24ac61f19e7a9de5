// The thumbnail strip window driven in-process on the offscreen platform: its list filled by the
// decoder, the drawing of plain, selected, matching and missing thumbnails, a click telling the
// main window the picture's index, the search box with its clear button, deletes and closing.
#include "app/formThumbs.h"

#include "app/SVLangManager.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"
#include "tests/app/ThumbnailPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Stands in for the main window: keeps the indexes the strip sends it.
class TReceiver : public TForm {
public:
    using TForm::TForm;
    std::vector<WPARAM> Shown;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_USER + 15) {
            Shown.push_back(Message.WParam);
            return;
        }
        TForm::Dispatch(Message);
    }
};

// Pictures of 1000 x 500, 50 x 100 and 400 x 300 in shades 200, 100 and 60, then a damaged one.
class ThumbnailStrip : public testing::Test {
protected:
    void SetUp() override {
        const struct {
            const char* Name;
            int32_t Width, Height;
            uint8_t Shade;
        } pictures[] = {{"IMG_wide.png", 1000, 500, 200},
                        {"tall.png", 50, 100, 100},
                        {"four-three.png", 400, 300, 60}};
        for (const auto& p : pictures) {
            WritePicture(folder.File(p.Name), p.Width, p.Height, p.Shade);
            paths.Add(Str(folder.File(p.Name)));
        }
        folder.Write("damaged.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0});
        paths.Add(Str(folder.File("damaged.png")));
        strip.Show();
        strip.FillThumbnails(receiver.Handle(), paths);
        WaitForDecoder(strip.Thumbs);
        list = strip.lThumbs->Handle();
    }

    COLORREF Pixel(int32_t X, int32_t Y) {
        strip.lThumbs->Update();
        HDC dc = GetDC(list);
        const COLORREF pixel = GetPixel(dc, X, Y);
        ReleaseDC(list, dc);
        return pixel;
    }

    // The middle of item Index's thumbnail, w x h, centred in its 100-pixel row.
    COLORREF ThumbCentre(int32_t Index) {
        return Pixel(strip.lThumbs->ClientWidth() / 2, Index * 100 + 50);
    }

    ScratchFolder folder;
    TStringList paths;
    TReceiver receiver{nullptr};
    TfThumbnails strip{nullptr};
    HWND list = nullptr;
};

TEST_F(ThumbnailStrip, ListsEveryPictureWithItsThumbnailOrTheLoadingText) {
    ASSERT_EQ(strip.lThumbs->Items()->Count(), 4);
    ASSERT_EQ(strip.Thumbs.Count(), 4);
    struct Case {
        int32_t Width, Height;
    };
    const Case sizes[] = {{85, 42}, {42, 85}, {85, 63}};
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ((*strip.lThumbs->Items())[i], paths[i]);
        TSVThumbItem& item = strip.Thumbs.Item(i);
        EXPECT_EQ(item.Path, paths[i]);
        ASSERT_NE(item.Bitmap, nullptr);
        EXPECT_EQ(item.Bitmap->GetWidth(), sizes[i].Width);
        EXPECT_EQ(item.Bitmap->GetHeight(), sizes[i].Height);
    }
    EXPECT_EQ(strip.Thumbs.Item(3).Bitmap, nullptr);

    // Not selected: at opacity 150 over the list's black.
    for (const auto& [index, shade] : {std::pair{0, 200}, {1, 100}, {2, 60}}) {
        SCOPED_TRACE(index);
        const COLORREF centre = ThumbCentre(index);
        EXPECT_NEAR(GetRValue(centre), shade * 150 / 255, 2);
        EXPECT_EQ(GetRValue(centre), GetBValue(centre));
    }
    // The 85 x 42 thumbnail of item 0 sits in the middle of its row: black above and below it.
    const int32_t x = strip.lThumbs->ClientWidth() / 2;
    EXPECT_EQ(Pixel(x, 29 - 1), static_cast<COLORREF>(clBlack));
    EXPECT_NE(Pixel(x, 29), static_cast<COLORREF>(clBlack));
    EXPECT_NE(Pixel(x, 29 + 41), static_cast<COLORREF>(clBlack));
    EXPECT_EQ(Pixel(x, 29 + 42), static_cast<COLORREF>(clBlack));

    // The damaged picture says, in the middle of its row, that it could not be read: the text
    // written there is as wide as that text, not as the loading text.
    EXPECT_TRUE(strip.Thumbs.Item(3).Unreadable);
    LangManager = new TSVLangManager(u"English", Str(std::string(SV_TESTS_DIR) + "/../data/"));
    strip.lThumbs->Invalidate();
    int32_t left = strip.lThumbs->ClientWidth(), right = -1;
    for (int32_t y = 340; y < 360; ++y)
        for (int32_t xx = 0; xx < strip.lThumbs->ClientWidth(); ++xx)
            if (Pixel(xx, y) != static_cast<COLORREF>(clBlack)) {
                left = std::min(left, xx);
                right = std::max(right, xx);
            }
    TCanvas* canvas = strip.lThumbs->Canvas();
    const int32_t unreadable = canvas->TextWidth(u"Could not be read");
    ASSERT_NE(canvas->TextWidth(LangStr(u"SVSTR_LOADING")), unreadable);
    EXPECT_NEAR(right - left + 1, unreadable, 2);
    EXPECT_EQ(Pixel(x, 305), static_cast<COLORREF>(clBlack));
    delete LangManager;
    LangManager = nullptr;
}

TEST_F(ThumbnailStrip, TheSelectedItemIsOpaqueOnItsOwnBackground) {
    strip.lThumbs->SetItemIndex(1);
    EXPECT_EQ(GetRValue(ThumbCentre(1)), 100);
    EXPECT_EQ(Pixel(3, 100), static_cast<COLORREF>(0x666666)); // the line above it
    EXPECT_EQ(Pixel(3, 199), static_cast<COLORREF>(0x666666)); // and below
    EXPECT_EQ(Pixel(3, 150), static_cast<COLORREF>(0x454545));
    EXPECT_EQ(Pixel(3, 50), static_cast<COLORREF>(clBlack));
    EXPECT_TRUE(receiver.Shown.empty()); // selecting in code tells nobody
}

TEST_F(ThumbnailStrip, AClickSendsTheIndexToTheMainWindow) {
    SendMessage(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 250));
    SendMessage(list, WM_LBUTTONUP, 0, MAKELPARAM(20, 250));
    SendMessage(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    SendMessage(list, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    SendMessage(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 450)); // below the last item
    EXPECT_EQ(receiver.Shown, (std::vector<WPARAM>{2, 0}));
}

TEST_F(ThumbnailStrip, TheSearchBoxMarksMatchesAndItsButtonClearsIt) {
    strip.Captions.Add(u"tall.png=A Tall Tower");
    EXPECT_FALSE(strip.eSearch->RightButton()->Visible());
    struct Case {
        const char16_t* Text;
        std::vector<bool> Matched;
    };
    for (const Case& c :
         {Case{u"img", {true, false, false, false}}, Case{u"Tower", {false, true, false, false}},
          Case{u"tower", {false, false, false, false}}, Case{u"PNG", {true, true, true, true}}}) {
        SCOPED_TRACE(Utf8FromStr(c.Text));
        strip.eSearch->SetText(c.Text);
        EXPECT_TRUE(strip.eSearch->RightButton()->Visible());
        for (int32_t i = 0; i < 4; ++i)
            EXPECT_EQ(strip.Thumbs.Item(i).Matched, c.Matched[static_cast<size_t>(i)]) << i;
    }
    strip.eSearchRightButtonClick(strip.eSearch);
    EXPECT_EQ(strip.eSearch->Text(), u"");
    EXPECT_FALSE(strip.eSearch->RightButton()->Visible());
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_FALSE(strip.Thumbs.Item(i).Matched) << i;
}

TEST_F(ThumbnailStrip, AMatchGlowsWhenThereIsAGlowPicture) {
    const int32_t x = (strip.lThumbs->ClientWidth() - 85) / 2; // item 0's thumbnail, 85 x 42
    const int32_t y = (100 - 42) / 2 + 21;
    strip.Glow = std::make_unique<TVLBitmap>(100, 100, TVLPixelFormat::vl24RGB);
    strip.Glow->Fill(0xFFFFFF);
    strip.eSearch->SetText(u"img");
    EXPECT_EQ(Pixel(x - 3, y), static_cast<COLORREF>(clWhite));
    EXPECT_EQ(Pixel(x - 8, y), static_cast<COLORREF>(clBlack));
    // Opacity 200 over the glow.
    EXPECT_NEAR(GetRValue(ThumbCentre(0)), (200 * 200 + 255 * 55) / 255, 2);
    EXPECT_EQ(Pixel(x - 3, 100 + 50), static_cast<COLORREF>(clBlack)); // item 1 does not match

    // A glow smaller than 100 x 100 is stretched whole; a missing one draws none.
    strip.Glow = std::make_unique<TVLBitmap>(30, 20, TVLPixelFormat::vl24RGB);
    strip.Glow->Fill(0xFFFFFF);
    strip.lThumbs->Invalidate();
    EXPECT_EQ(Pixel(x - 3, y), static_cast<COLORREF>(clWhite));
    strip.Glow = std::make_unique<TVLBitmap>();
    strip.lThumbs->Invalidate();
    EXPECT_EQ(Pixel(x - 3, y), static_cast<COLORREF>(clBlack));
    EXPECT_NEAR(GetRValue(ThumbCentre(0)), 200 * 200 / 255, 2);
}

TEST_F(ThumbnailStrip, DeletesAndClearsMoveTheItemsWithTheirThumbnails) {
    strip.lThumbs->SetItemIndex(2);
    strip.DeleteThumbnail(0);
    strip.DeleteThumbnail(7); // not an item
    ASSERT_EQ(strip.lThumbs->Items()->Count(), 3);
    ASSERT_EQ(strip.Thumbs.Count(), 3);
    EXPECT_EQ(strip.lThumbs->ItemIndex(), 1);
    EXPECT_EQ(strip.Thumbs.Item(0).Path, paths[1]);
    EXPECT_NEAR(GetRValue(ThumbCentre(0)), 100 * 150 / 255, 2);
    EXPECT_EQ(GetRValue(ThumbCentre(1)), 60); // selected, so opaque

    strip.ClearThumbnails();
    EXPECT_EQ(strip.lThumbs->Items()->Count(), 0);
    EXPECT_EQ(strip.Thumbs.Count(), 0);
    EXPECT_EQ(ThumbCentre(0), static_cast<COLORREF>(clBlack));
}

TEST_F(ThumbnailStrip, ARefillReplacesTheListAndClosingStopsTheDecoder) {
    ScratchFolder other;
    TStringList many;
    for (int i = 0; i < 30; ++i) {
        const std::string name = "n" + std::to_string(i) + ".png";
        WritePicture(other.File(name), 600, 400, 30);
        many.Add(Str(other.File(name)));
    }
    strip.FillThumbnails(receiver.Handle(), many);
    EXPECT_EQ(strip.lThumbs->Items()->Count(), 30);
    EXPECT_EQ(strip.lThumbs->ItemIndex(), -1);
    strip.btnCloseClick(nullptr);
    EXPECT_FALSE(strip.Visible());
    WaitForDecoder(strip.Thumbs);
    // The decoder stopped early: the items it had not reached keep no thumbnail.
    int32_t made = 0;
    for (int32_t i = 0; i < strip.Thumbs.Count(); ++i) {
        TSVThumbItem& item = strip.Thumbs.Item(i);
        EXPECT_EQ(item.Path, many[i]);
        if (item.Bitmap) {
            ++made;
            EXPECT_EQ(CentreShade(*item.Bitmap), 30);
        }
    }
    EXPECT_LT(made, 30);
}

} // namespace
