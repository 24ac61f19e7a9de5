// TBitmap32's text: measuring, clipped output, and anti-aliased rendering against Pillow's
// rendering of the same font file.
#include "RasterTesting.h"

#include <cstring>
#include <sstream>

using namespace raster;

namespace {

using Text = RasterTest;

const char* const DejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void UseDejaVu(TBitmap32& B, int32_t PixelHeight) {
    B.Font()->SetName(u"DejaVu Sans");
    B.Font()->SetHeight(-PixelHeight);
}

// Coverage of white text rendered onto opaque black: the blue channel.
struct TInk {
    int64_t Sum = 0;
    TRect Box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
};

TInk InkOf(const TBitmap32& B) {
    TInk ink;
    for (int y = 0; y < B.Height(); ++y)
        for (int x = 0; x < B.Width(); ++x) {
            const int v = int(B.GetPixel(x, y) & 0xFF);
            if (v == 0) continue;
            ink.Sum += v;
            ink.Box = {std::min(ink.Box.Left, x), std::min(ink.Box.Top, y),
                       std::max(ink.Box.Right, x + 1), std::max(ink.Box.Bottom, y + 1)};
        }
    return ink;
}

TEST_F(Text, LevelZeroGlyphsAreMonochrome) {
    TBitmap32 b;
    b.SetSize(200, 40);
    b.Clear(0xFF000000);
    UseDejaVu(b, 16);
    b.RenderText(3, 4, u"Hamburgefonstiv 0123", 0, 0xFFFFFFFF);
    int ink = 0;
    for (int i = 0; i < 200 * 40; ++i) {
        const TColor32 p = b.Bits()[i];
        ASSERT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << std::hex << p;
        ink += p == 0xFFFFFFFFu;
    }
    EXPECT_GT(ink, 100);
    EXPECT_EQ(b.Font()->Quality(), fqDefault) << "the font returns to default quality";
}

TEST_F(Text, LevelsAreClampedAndTransparentColoursDrawNothing) {
    TBitmap32 four, nine, clear;
    for (TBitmap32* b : {&four, &nine, &clear}) {
        b->SetSize(120, 30);
        b->Clear(0xFF102030);
        UseDejaVu(*b, 14);
    }
    four.RenderText(2, 2, u"Level four", 4, 0xFFFFFFFF);
    nine.RenderText(2, 2, u"Level four", 9, 0xFFFFFFFF);
    clear.RenderText(2, 2, u"Level four", 4, 0x00FFFFFF);
    for (int i = 0; i < 120 * 30; ++i) {
        ASSERT_EQ(four.Bits()[i], nine.Bits()[i]) << i;
        ASSERT_EQ(clear.Bits()[i], 0xFF102030u) << i;
    }
    EXPECT_GT(InkOf(four).Sum, InkOf(clear).Sum);
}

TEST_F(Text, SupersampledSizeIsTheNextMultipleAbove) {
    // B is the measured extent at 2^L times the size, rounded up to the next multiple of 2^L
    // strictly above, then divided: a 37 x 18 extent at level 2 gives 40 x 20, so 10 x 5.
    for (const int level : {1, 2, 3, 4}) {
        SCOPED_TRACE(level);
        TBitmap32 b;
        b.SetSize(300, 60);
        UseDejaVu(b, 12);
        TCanvas* canvas = TextMeasuringBitmap->Canvas();
        canvas->Font()->Assign(*b.Font());
        canvas->Font()->SetSize(b.Font()->Size() << level);
        const TSize big = canvas->TextExtent(u"Sizing text ");
        std::vector<TRect> areas;
        b.OnAreaChanged = [&](TObject*, const TRect& Area, uint32_t) { areas.push_back(Area); };
        b.RenderText(5, 6, u"Sizing text", level, 0xFFFFFFFF);
        ASSERT_FALSE(areas.empty());
        const int w = ((big.cx >> level) + 1), h = ((big.cy >> level) + 1);
        EXPECT_EQ(areas.back(), MakeRect(5, 6, 5 + w, 6 + h));
    }
}

TEST_F(Text, LevelFourAgreesWithPillow) {
    if (!std::filesystem::exists(DejaVuSans)) GTEST_SKIP() << "no " << DejaVuSans;
    if (!PythonHas("PIL")) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    const char* const sample = "Hamburgefonstiv";
    for (const int px : {12, 16, 24}) {
        SCOPED_TRACE(px);
        TBitmap32 b;
        b.SetSize(400, 60);
        b.Clear(0xFF000000);
        UseDejaVu(b, px);
        b.RenderText(0, 0, String(sample, sample + std::strlen(sample)), 4, 0xFFFFFFFF);
        const TInk ours = InkOf(b);

        std::string output;
        const std::string script = R"(import sys
from PIL import Image, ImageDraw, ImageFont
path, px, text = sys.argv[1], int(sys.argv[2]), sys.argv[3]
font = ImageFont.truetype(path, px * 16)
im = Image.new('L', (400 * 16, 60 * 16), 0)
draw = ImageDraw.Draw(im)
draw.fontmode = '1'
draw.text((0, 0), text, fill=255, font=font)
small = im.reduce(16)
box = small.getbbox()
print(sum(small.getdata()), box[0], box[1], box[2], box[3])
)";
        ASSERT_TRUE(RunPython(
            script, std::string(DejaVuSans) + " " + std::to_string(px) + " " + sample, output))
            << output;
        std::istringstream in(output);
        int64_t sum = 0;
        TRect box;
        in >> sum >> box.Left >> box.Top >> box.Right >> box.Bottom;
        ASSERT_GT(sum, 0);
        EXPECT_NEAR(double(ours.Sum), double(sum), 0.04 * double(sum));
        EXPECT_NEAR(ours.Box.Left, box.Left, 1);
        EXPECT_NEAR(ours.Box.Top, box.Top, 1);
        EXPECT_NEAR(ours.Box.Right, box.Right, 1);
        EXPECT_NEAR(ours.Box.Bottom, box.Bottom, 1);
    }
}

TEST_F(Text, MeasuringWithoutPixelsAndClippedOutput) {
    TBitmap32 empty, sized;
    UseDejaVu(empty, 15);
    UseDejaVu(sized, 15);
    sized.SetSize(100, 30);
    const TSize a = empty.TextExtent(u"Measure me"), b = sized.TextExtent(u"Measure me");
    EXPECT_GT(a.cx, 0);
    EXPECT_EQ(a.cx, b.cx);
    EXPECT_EQ(a.cy, b.cy);

    int notices = 0;
    empty.OnAreaChanged = [&](TObject*, const TRect&, uint32_t) { ++notices; };
    empty.RenderText(0, 0, u"nothing", 2, 0xFFFFFFFF);
    EXPECT_EQ(notices, 0);

    sized.Clear(0xFF000000);
    sized.Font()->SetColor(clWhite);
    sized.SetClipRect(MakeRect(10, 0, 40, 30));
    sized.Textout(0, 5, u"WWWWWWWWWW");
    int inside = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool lit = (sized.GetPixel(x, y) & 0xFF) != 0;
            if (x < 10 || x >= 40)
                ASSERT_FALSE(lit) << x << "," << y;
            else
                inside += lit;
        }
    EXPECT_GT(inside, 0);
}

} // namespace
