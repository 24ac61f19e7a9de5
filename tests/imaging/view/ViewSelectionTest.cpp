// Selections made by a program: rectangles and their clamping, ratios, added shapes, moves with
// and without cutting, the selection stream and its stack across layers, and the dashes and
// timer of the marching outline.
#include "imaging/view/ViewSelection.h"
#include "platform/ui/Timer.h"
#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

namespace {

int32_t MaskCount(TVLMask& Mask) {
    int32_t n = 0;
    for (int32_t y = 0; y < Mask.GetHeight(); ++y)
        for (int32_t x = 0; x < Mask.GetWidth(); ++x)
            n += Mask.GetPixel(x, y) != 0;
    return n;
}

// The selection stream of View.
std::vector<uint8_t> SelectionBytes(TVistrelView& View) {
    TMemoryStream stream;
    View.SaveSelectionToStream(stream);
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.GetSize()));
    stream.SetPosition(0);
    stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

std::unique_ptr<TVistrelView> BitmapBaseView(int32_t W, int32_t H) {
    auto view = MakeOffScreenView(200, 200);
    SetImageSize(*view, W, H);
    view->SelectionBase = vlsbBitmap;
    return view;
}

TEST(ViewSelection, RectanglesAreClampedOrderedAndFilledHalfOpen) {
    struct TCase {
        int32_t X1, Y1, X2, Y2;
        int32_t Points, Pixels;
        TRect Box; // mask box, inclusive
    };
    const TCase cases[] = {
        {-20, -20, 30, 30, 4, 900, {0, 0, 29, 29}},
        {30, 30, -20, -20, 4, 900, {0, 0, 29, 29}},
        {90, 95, 150, 120, 4, 50, {90, 95, 99, 99}},
        {10, 10, 10, 50, 0, 0, {}}, // zero width: nothing
        {10, 50, 60, 50, 0, 0, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.X1 << "," << c.Y1 << "," << c.X2 << "," << c.Y2);
        auto view = BitmapBaseView(100, 100);
        view->Select(c.X1, c.Y1, c.X2, c.Y2, vlsmReplace);
        EXPECT_EQ(view->GetSelectionPointCount(), c.Points);
        EXPECT_EQ(MaskCount(view->SelectionMask()), c.Pixels);
        EXPECT_EQ(view->Selected(), c.Pixels > 0);
        if (c.Pixels == 0) continue;
        TVLMask& m = view->SelectionMask();
        EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), c.Box);
    }
    auto view = BitmapBaseView(100, 100);
    view->Select(-20, -20, 30, 30, vlsmReplace);
    const TPoint* p = view->GetSelectionPoints();
    EXPECT_EQ(p[0], (TPoint{0, 0}));
    EXPECT_EQ(p[1], (TPoint{30, 0}));
    EXPECT_EQ(p[2], (TPoint{30, 30}));
    EXPECT_EQ(p[3], (TPoint{0, 30}));
}

TEST(ViewSelection, RatioFixesTheHeightAndAddingKeepsEarlierShapes) {
    auto view = BitmapBaseView(100, 100);
    view->SetSelectionRatio(0.5);
    EXPECT_TRUE(view->SelectionOptions() & vlsoSizeable);
    view->Select(10, 10, 50, 90, vlsmReplace);
    EXPECT_EQ(view->SelectionPolygon().Y2 - view->SelectionPolygon().Y1, 20);
    view->SetSelectionRatio(-1);

    view->Select(10, 10, 20, 20, vlsmReplace);
    view->Select(50, 60, 70, 80, vlsmAdd);
    ASSERT_EQ(view->GetSelectionPointCount(), 9);
    EXPECT_TRUE(IsSeparator(view->GetSelectionPoints()[4]));
    const TVLSelectionPolygon& poly = view->SelectionPolygon();
    EXPECT_EQ(TRect(poly.X1, poly.Y1, poly.X2, poly.Y2), TRect(10, 10, 70, 80));
    EXPECT_EQ(MaskCount(view->SelectionMask()), 100 + 400);
}

TEST(ViewSelection, MovesStopAtTheBorderOrCutWhatLeaves) {
    struct TCase {
        bool Cut;
        int32_t DX;
        int32_t X1, X2, Pixels;
    };
    const TCase cases[] = {{false, 80, 80, 99, 400},
                           {true, 80, 90, 99, 200},
                           {false, -50, 0, 19, 400},
                           {true, -15, 0, 14, 300}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Cut << " " << c.DX);
        auto view = BitmapBaseView(100, 100);
        if (c.Cut) view->SetSelectionOptions(view->SelectionOptions() | vlsoCutBorders);
        view->Select(10, 10, 30, 30, vlsmReplace);
        view->MoveSelection(c.DX, 0);
        TVLMask& m = view->SelectionMask();
        EXPECT_EQ(m.X1, c.X1);
        EXPECT_EQ(m.X2, c.X2);
        EXPECT_EQ(MaskCount(m), c.Pixels);
    }
}

TEST(ViewSelection, StreamRestoresExactlyAndStaysInsideASmallerBitmap) {
    auto view = BitmapBaseView(100, 100);
    view->Select(10, 20, 40, 60, vlsmReplace);
    view->Select(50, 50, 70, 90, vlsmAdd);
    TMemoryStream stream;
    view->SaveSelectionToStream(stream);
    const std::vector<TPoint> points(view->GetSelectionPoints(),
                                     view->GetSelectionPoints() + view->GetSelectionPointCount());
    TVLMask& m = view->SelectionMask();
    const TRect box(m.X1, m.Y1, m.X2, m.Y2);
    const int32_t pixels = MaskCount(m);
    view->ClearSelection();
    EXPECT_FALSE(view->Selected());
    stream.SetPosition(0);
    ASSERT_TRUE(view->LoadSelectionFromStream(stream, 0));
    EXPECT_TRUE(view->Selected());
    EXPECT_EQ(std::vector<TPoint>(view->GetSelectionPoints(),
                                  view->GetSelectionPoints() + view->GetSelectionPointCount()),
              points);
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), box);
    EXPECT_EQ(MaskCount(m), pixels);
    EXPECT_FALSE(m.Full);

    // Mode 1: a selection saved on a larger bitmap is moved inside the smaller one.
    auto big = BitmapBaseView(200, 200);
    big->Select(150, 150, 190, 190, vlsmReplace);
    TMemoryStream bigStream;
    big->SaveSelectionToStream(bigStream);
    bigStream.SetPosition(0);
    ASSERT_TRUE(view->LoadSelectionFromStream(bigStream, 1));
    EXPECT_EQ(m.GetWidth(), 100);
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(60, 60, 99, 99));
    EXPECT_EQ(MaskCount(m), 1600);
}

TEST(ViewSelection, ChangingLayersKeepsTheSelectionsPlaceInThePicture) {
    auto view = BitmapBaseView(100, 100);
    view->AddLayer();
    view->GetLayer(1)->PosX = 20;
    view->GetLayer(1)->PosY = 10;
    view->SetCurrentLayer(0);
    view->Select(30, 30, 50, 50, vlsmReplace);
    view->SetCurrentLayer(1);
    TVLMask& m = view->SelectionMask();
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(10, 20, 29, 39));
    EXPECT_EQ(MaskCount(m), 400);
    view->SetCurrentLayer(0);
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(30, 30, 49, 49));
    EXPECT_EQ(view->SavedSelectionCount(), 0);
}

TEST(ViewSelection, DamagedStreamsAreRefusedAndChangeNothing) {
    auto view = BitmapBaseView(64, 48);
    view->Select(5, 5, 30, 20, vlsmReplace);
    const std::vector<uint8_t> bytes = SelectionBytes(*view);
    view->Select(40, 30, 60, 40, vlsmReplace);
    const int32_t pixels = MaskCount(view->SelectionMask());
    for (size_t len = 0; len < bytes.size(); len += 7) {
        SCOPED_TRACE(len);
        TMemoryStream cut;
        cut.WriteBuffer(bytes.data(), static_cast<int64_t>(len));
        cut.SetPosition(0);
        EXPECT_FALSE(view->LoadSelectionFromStream(cut, 1));
        EXPECT_EQ(MaskCount(view->SelectionMask()), pixels);
    }
    // A point count or mask size far beyond what the stream holds.
    std::vector<uint8_t> lying = bytes;
    lying[8] = 0xFF;
    lying[9] = 0xFF;
    lying[10] = 0xFF;
    lying[11] = 0x0F;
    TMemoryStream ls;
    ls.WriteBuffer(lying.data(), static_cast<int64_t>(lying.size()));
    ls.SetPosition(0);
    EXPECT_FALSE(view->LoadSelectionFromStream(ls, 0));
    std::mt19937 random(27);
    for (int32_t i = 0; i < 200; ++i) {
        std::vector<uint8_t> noise(random() % 300);
        for (uint8_t& b : noise)
            b = static_cast<uint8_t>(random());
        TMemoryStream ns;
        if (!noise.empty()) ns.WriteBuffer(noise.data(), static_cast<int64_t>(noise.size()));
        ns.SetPosition(0);
        if (!view->LoadSelectionFromStream(ns, static_cast<int32_t>(i % 3)))
            EXPECT_EQ(MaskCount(view->SelectionMask()), pixels);
        else
            view->Select(40, 30, 60, 40, vlsmReplace);
    }
}

TEST(ViewSelection, StreamsWithCoordinatesOffTheBitmapAreRefused) {
    auto view = BitmapBaseView(64, 48);
    view->Select(5, 5, 30, 20, vlsmReplace);
    const std::vector<uint8_t> bytes = SelectionBytes(*view);
    // Four points from offset 12, the polygon box at 44, the mask box at 73.
    struct TCase {
        const char* Name;
        std::vector<std::pair<size_t, int32_t>> Writes;
    };
    const TCase cases[] = {
        {"point right of the width", {{12, 65}}},
        {"point above the top", {{16, -1}}},
        {"point below the height", {{32, 49}}},
        {"polygon box reaching the largest integer", {{52, 2147483647}}},
        {"polygon box left of 0", {{44, -3}}},
        {"mask box past the last row", {{85, 48}}},
        {"mask box left of 0", {{73, -1}}},
        {"separator first", {{12, SelectionSeparator}, {16, SelectionSeparator}}},
        {"two separators in a row",
         {{20, SelectionSeparator},
          {24, SelectionSeparator},
          {28, SelectionSeparator},
          {32, SelectionSeparator}}},
    };
    view->Select(40, 30, 60, 40, vlsmReplace);
    const int32_t pixels = MaskCount(view->SelectionMask());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<uint8_t> damaged = bytes;
        for (const auto& [offset, value] : c.Writes)
            std::memcpy(damaged.data() + offset, &value, 4);
        TMemoryStream ds;
        ds.WriteBuffer(damaged.data(), static_cast<int64_t>(damaged.size()));
        for (int32_t mode = 0; mode < 3; ++mode) {
            ds.SetPosition(0);
            EXPECT_FALSE(view->LoadSelectionFromStream(ds, mode)) << mode;
            EXPECT_EQ(MaskCount(view->SelectionMask()), pixels);
            EXPECT_EQ(view->SelectionPolygon().X2, 60);
        }
    }
    // The limits themselves are the bitmap's: a box reaching x = 64 and y = 48 is taken.
    std::vector<uint8_t> edge = bytes;
    for (const auto& [offset, value] : std::vector<std::pair<size_t, int32_t>>{
             {20, 64}, {28, 64}, {32, 48}, {40, 48}, {52, 64}, {56, 48}})
        std::memcpy(edge.data() + offset, &value, 4);
    TMemoryStream es;
    es.WriteBuffer(edge.data(), static_cast<int64_t>(edge.size()));
    es.SetPosition(0);
    EXPECT_TRUE(view->LoadSelectionFromStream(es, 0));
    EXPECT_EQ(view->SelectionPolygon().X2, 64);
}

TEST(ViewSelection, FixedBoxAtTheRightBorderKeepsItsWidth) {
    // A fixed box 20 pixels wide around the mouse x: from x - 10 to x + 9. It moves left only
    // when its right edge would pass the last column (99).
    struct TCase {
        int32_t MouseX, X1, X2;
    };
    const TCase cases[] = {{89, 79, 98}, {90, 80, 99}, {91, 80, 99}, {97, 80, 99}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.MouseX);
        auto view = BitmapBaseView(100, 100);
        view->SelectionFixedWidth = 20;
        view->SelectionFixedHeight = 10;
        view->SetSelectionRatio(0);
        ASSERT_FALSE(view->SelectionOptions() & vlsoSizeable);
        view->DragRectSelection(c.MouseX, 50, {});
        ASSERT_EQ(view->GetSelectionPointCount(), 4);
        const TPoint* p = view->GetSelectionPoints();
        EXPECT_EQ(p[0], (TPoint{c.X1, 45}));
        EXPECT_EQ(p[2], (TPoint{c.X2, 54}));
    }
}

TEST(ViewSelection, DashesRunFourAndFour) {
    std::vector<uint8_t> pixels(40 * 4, 0x55);
    uint8_t* rows[1] = {pixels.data()};
    int32_t counter = 0;
    PlotDashedLine(rows, 40, 1, 0, 0, 30, 0, counter, 0x000000, 0xFFFFFF);
    for (int32_t x = 0; x < 30; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(pixels[static_cast<size_t>(x) * 4], (x % 8) < 4 ? 0x00 : 0xFF);
    }
    EXPECT_EQ(pixels[30 * 4], 0x55); // the end point is not drawn
    EXPECT_EQ(counter, 30 % 8);
}

TEST(ViewSelection, TimerPeriodFollowsTheOutlineDrawingTime) {
    EXPECT_EQ(AntsTimerPeriod(210, 100, -20), 500u);
    EXPECT_EQ(AntsTimerPeriod(210, 10, -20), 210u);
    EXPECT_EQ(AntsTimerPeriod(300, 100, 0), 300u);

    TViewOnForm on(100, 100);
    SetImageSize(*on.View, 100, 100);
    on.View->SelectionBase = vlsbBitmap;
    on.View->Select(10, 10, 50, 50, vlsmReplace);
    ASSERT_NE(on.View->AnimationTimer(), nullptr);
    EXPECT_TRUE(on.View->AnimationTimer()->Enabled());
    for (uint32_t elapsed : {100u, 10u}) {
        SCOPED_TRACE(elapsed);
        uint32_t clock = 1000;
        on.View->TickCount = [&] {
            const uint32_t now = clock;
            clock += elapsed;
            return now;
        };
        on.View->AnimationTimer()->SetInterval(210);
        on.View->DrawSelectionPolygon(nullptr);
        EXPECT_EQ(on.View->AnimationTimer()->Interval(), elapsed == 100 ? 500u : 210u);
    }
}

TEST(ViewSelection, DelayedZoomFilterFiltersAgainFourTicksAfterTheChange) {
    TViewOnForm on(100, 100);
    SetImageSize(*on.View, 300, 300);
    on.View->DelayZoomFilter = true;
    on.View->SetZoomFilter(rfTriangle);
    on.View->SetZoom(150);
    on.View->SetZoom(200);
    EXPECT_EQ(on.View->FilterDelayCount(), 4);
    on.View->DrawSelectionPolygon(nullptr);
    ASSERT_NE(on.View->AnimationTimer(), nullptr);
    EXPECT_TRUE(on.View->AnimationTimer()->Enabled());
    for (int32_t tick = 0; tick < 4; ++tick)
        on.View->DrawSelectionPolygon(on.View->AnimationTimer());
    EXPECT_EQ(on.View->FilterDelayCount(), 0);
    EXPECT_EQ(on.View->AnimationPauseCount(), 0);
    EXPECT_TRUE(on.View->NeedsRecompose());
}

TEST(ViewSelection, PolygonDashesAreWrittenIntoTheWindowSurface) {
    TViewOnForm on(100, 100);
    SetImageSize(*on.View, 100, 100);
    on.View->Paint();
    on.View->SelectionBase = vlsbBitmap;
    on.View->AddSelPoint(10, 10);
    on.View->AddSelPoint(60, 10);
    on.View->AddSelPoint(60, 60);
    HDC dc = on.View->Canvas()->Handle();
    for (int32_t x = 10; x < 26; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(GetPixel(dc, x, 10), ((x - 10) % 8) < 4 ? 0x000000u : 0xFFFFFFu);
    }
}

TEST(ViewSelection, GripsOfTheLargestSizeCoverTheSurface) {
    // The grips' edges lie a grip size on each side of their centres: with the largest size
    // they are far beyond any surface, and the surface lies inside the grips' fill.
    TViewOnForm on(100, 100);
    SetImageSize(*on.View, 100, 100);
    on.View->Paint();
    on.View->SelectionBase = vlsbBitmap;
    on.View->SelectionGripSize = 2147483647;
    on.View->Select(10, 10, 60, 40, vlsmReplace);
    HDC dc = on.View->Canvas()->Handle();
    EXPECT_EQ(GetPixel(dc, 30, 25), static_cast<COLORREF>(on.View->SelectionGripBrushColor));
}

// Seeded grey blobs: regions with holes, diagonal contacts and levels a few steps apart.
void PaintBlobs(TVLBitmap& B, uint32_t Seed) {
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) {
            const auto v = static_cast<uint8_t>((random() % 3) * 12 + random() % 4);
            B.SetPixelRGB(x, y, TVLRGB{v, static_cast<uint8_t>(v + 1), v});
        }
}

bool WithinTolerance(const TVLRGB& A, const TVLRGB& B, int32_t Tol) {
    return std::abs(A.r - B.r) <= Tol && std::abs(A.g - B.g) <= Tol && std::abs(A.b - B.b) <= Tol;
}

// 4-connected pixels within Tol of the seed's colour, breadth first.
std::vector<uint8_t> BreadthFirstRegion(TVLBitmap& B, int32_t X, int32_t Y, int32_t Tol) {
    const int32_t w = B.GetWidth(), h = B.GetHeight();
    const TVLRGB seed = B.GetPixelAsRGB(X, Y);
    std::vector<uint8_t> in(static_cast<size_t>(w) * h, 0);
    std::vector<TPoint> queue{{X, Y}};
    in[static_cast<size_t>(Y) * w + X] = 1;
    for (size_t i = 0; i < queue.size(); ++i) {
        const TPoint p = queue[i];
        for (const TPoint& n : {TPoint{p.X + 1, p.Y}, TPoint{p.X - 1, p.Y}, TPoint{p.X, p.Y + 1},
                                TPoint{p.X, p.Y - 1}}) {
            if (n.X < 0 || n.Y < 0 || n.X >= w || n.Y >= h) continue;
            uint8_t& v = in[static_cast<size_t>(n.Y) * w + n.X];
            if (v != 0 || !WithinTolerance(B.GetPixelAsRGB(n.X, n.Y), seed, Tol)) continue;
            v = 1;
            queue.push_back(n);
        }
    }
    return in;
}

TEST(ViewSelection, WandFillAndGlobalSelectTheRegionAndTheSimilarPixels) {
    for (uint32_t seed = 1; seed <= 4; ++seed)
        for (int32_t tol : {0, 3, 15}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " tolerance " << tol);
            auto view = BitmapBaseView(41, 29);
            TVLBitmap& b = *view->GetVLBitmap();
            PaintBlobs(b, seed);
            const int32_t x = static_cast<int32_t>(seed * 9 % 41),
                          y = static_cast<int32_t>(seed * 7 % 29);
            view->WandTolerance = tol;
            view->WandMode = vlwmFill;
            view->MagicWandSelect(x, y, vlsmReplace);
            const std::vector<uint8_t> region = BreadthFirstRegion(b, x, y, tol);
            TVLMask& m = view->SelectionMask();
            EXPECT_TRUE(view->Selected());
            for (int32_t v = 0; v < 29; ++v)
                for (int32_t u = 0; u < 41; ++u)
                    ASSERT_EQ(m.GetPixel(u, v) != 0, region[static_cast<size_t>(v) * 41 + u] != 0)
                        << u << "," << v;
            view->WandMode = vlwmGlobal;
            view->MagicWandSelect(x, y, vlsmReplace);
            const TVLRGB colour = b.GetPixelAsRGB(x, y);
            for (int32_t v = 0; v < 29; ++v)
                for (int32_t u = 0; u < 41; ++u)
                    ASSERT_EQ(m.GetPixel(u, v) != 0,
                              WithinTolerance(b.GetPixelAsRGB(u, v), colour, tol))
                        << u << "," << v;
        }
}

TEST(ViewSelection, WandPointsOnTheFarEdgesSelectNothingInEveryMode) {
    for (TVLWandMode mode : {vlwmOutline, vlwmFill, vlwmGlobal}) {
        SCOPED_TRACE(static_cast<int>(mode));
        auto view = BitmapBaseView(30, 20);
        PaintBlobs(*view->GetVLBitmap(), 5);
        view->WandMode = mode;
        // The view admits the width and the height themselves; the kernels refuse them.
        view->MagicWandSelect(30, 4, vlsmReplace);
        view->MagicWandSelect(4, 20, vlsmReplace);
        view->MagicWandSelect(30, 20, vlsmReplace);
        EXPECT_FALSE(view->Selected());
        EXPECT_TRUE(view->SelectionMask().IsEmpty());
        view->MagicWandSelect(29, 19, vlsmReplace);
        EXPECT_TRUE(view->Selected());
        EXPECT_NE(view->SelectionMask().GetPixel(29, 19), 0);
    }
}

} // namespace
