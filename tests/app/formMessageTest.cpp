// The on-screen message's face, rendered off screen: the translucent box, its transparent
// corners and the text's blend, and the box's size and place.
#include "app/formMessage.h"

#include "platform/gfx/Bitmap.h"
#include "raster/Bitmap32.h"
#include "raster/RasterStartup.h"

#include <gtest/gtest.h>

namespace {

uint32_t Alpha(uint32_t Pixel) {
    return Pixel >> 24;
}

class MessageFace : public testing::Test {
protected:
    void SetUp() override { raster::InitializeRasterLibrary(); }
    void TearDown() override { raster::FinalizeRasterLibrary(); }
};

} // namespace

TEST_F(MessageFace, BoxCornersAndText) {
    TfMessage message(nullptr);
    TForm owner(nullptr);
    owner.SetBounds(100, 50, 600, 400);
    const String text = u"Hello World";
    message.Popup(&owner, text, 800);

    TBitmap measure;
    measure.Canvas()->Font()->Assign(*message.Font());
    const int32_t w = measure.Canvas()->TextWidth(text) + 40;
    const int32_t h = measure.Canvas()->TextHeight(text) + 40;
    EXPECT_EQ(message.Width(), w);
    EXPECT_EQ(message.Height(), h);
    EXPECT_EQ(message.Left(), 100 + (600 - w) / 2);
    EXPECT_EQ(message.Top(), 50 + (400 - h) / 2);

    raster::TBitmap32& face = *message.Face;
    ASSERT_EQ(face.Width(), w);
    ASSERT_EQ(face.Height(), h);
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}})
        EXPECT_EQ(Alpha(face.GetPixelPtr(x, y)[0]), 0u) << x << "," << y;
    EXPECT_EQ(face.GetPixelPtr(5, h / 2)[0], 0x66000000u); // the box, left of the text
    EXPECT_EQ(face.GetPixelPtr(w / 2, 3)[0], 0x66000000u); // above the text

    // Where the text alone covers a pixel and its right and lower neighbours fully (not an edge
    // pixel of a slanted stroke) and its shadow (the text one pixel right and down) does not
    // cover it, the face is white at alpha 0xC0 blended over the box.
    raster::TBitmap32 alone;
    alone.SetSize(w, h);
    alone.Clear(0);
    alone.Font()->Assign(*message.Font());
    alone.RenderText(20, 19, text, 4, 0xFFFFFFFF);
    int32_t checked = 0;
    for (int32_t y = 1; y < h; ++y)
        for (int32_t x = 1; x < w; ++x) {
            const auto covered = [&](int32_t X, int32_t Y) {
                return X < w && Y < h && Alpha(alone.GetPixelPtr(X, Y)[0]) == 255;
            };
            if (!covered(x, y) || !covered(x + 1, y) || !covered(x, y + 1) ||
                Alpha(alone.GetPixelPtr(x - 1, y - 1)[0]) != 0)
                continue;
            const uint32_t pixel = face.GetPixelPtr(x, y)[0];
            EXPECT_EQ(Alpha(pixel), 216u) << x << "," << y;
            EXPECT_EQ(pixel & 0xFF, 191u) << x << "," << y;
            EXPECT_EQ((pixel >> 8) & 0xFF, 191u);
            EXPECT_EQ((pixel >> 16) & 0xFF, 191u);
            ++checked;
        }
    EXPECT_GT(checked, 0);
}

TEST_F(MessageFace, TheFadeEndsHidden) {
    TfMessage message(nullptr);
    TForm owner(nullptr);
    owner.SetBounds(0, 0, 400, 300);
    message.Popup(&owner, u"x", 800);
    EXPECT_TRUE(message.Visible());
    message.Timer1->OnTimer()(message.Timer1); // the display time is over
    EXPECT_TRUE(message.Fading);
    EXPECT_EQ(message.Timer1->Interval(), 10u);
    for (int step = 1; step <= 5; ++step) {
        message.Timer1->OnTimer()(message.Timer1);
        EXPECT_EQ(message.FadeStep, step);
        EXPECT_TRUE(message.Visible());
    }
    message.Timer1->OnTimer()(message.Timer1);
    EXPECT_FALSE(message.Visible());
    EXPECT_FALSE(message.Timer1->Enabled());
    // A new message starts again at full alpha with its own time.
    message.Popup(&owner, u"again", 4000);
    EXPECT_EQ(message.FadeStep, 0);
    EXPECT_FALSE(message.Fading);
    EXPECT_EQ(message.Timer1->Interval(), 4000u);
}
