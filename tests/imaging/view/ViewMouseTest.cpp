// Mouse interaction driven by window messages on the off-screen platform: click zoom, drag
// selections and scrolling, layer gestures, the gesture-set rules, the navigator link and the
// special keys.
#include "imaging/view/ViewMouse.h"
#include "platform/ui/WinUser.h"
#include "tests/imaging/view/ViewTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

LPARAM At(int32_t X, int32_t Y) {
    return MAKELPARAM(X, Y);
}

void Down(TVistrelView& V, int32_t X, int32_t Y, WPARAM Keys = 0) {
    V.Perform(WM_LBUTTONDOWN, MK_LBUTTON | Keys, At(X, Y));
}
void Move(TVistrelView& V, int32_t X, int32_t Y, WPARAM Keys = MK_LBUTTON) {
    V.Perform(WM_MOUSEMOVE, Keys, At(X, Y));
}
void Up(TVistrelView& V, int32_t X, int32_t Y, WPARAM Keys = 0) {
    V.Perform(WM_LBUTTONUP, Keys, At(X, Y));
}

// A 100 x 100 view on a form showing a W x H image, painted once so that the layers know their
// client rectangles, with the mouse parked over the image.
struct TMouseView : TViewOnForm {
    explicit TMouseView(int32_t W = 100, int32_t H = 100) : TViewOnForm(100, 100) {
        SetImageSize(*View, W, H);
        View->Paint();
        int32_t x = 50, y = 50;
        View->ClientToScreen(x, y);
        SetCursorPos(x, y);
    }
};

TEST(ViewMouse, ClickZoomFollowsTheStepsAndTheEvents) {
    struct TCase {
        double From;
        bool Left;
        double To;
    };
    const TCase cases[] = {{30, true, 33},   {100, true, 200},  {250, true, 350},
                           {30, false, 25},  {2, false, 2},     {150, false, 100},
                           {200, false, 100}};
    TMouseView on;
    on.View->SetMouseInteract(miZoom);
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.From << (c.Left ? " left" : " right"));
        on.View->SetZoom(c.From);
        int32_t zoomCalls = 0;
        on.View->OnViewChange = [&](TObject*, int32_t Change) { zoomCalls += Change == 1; };
        if (c.Left) {
            Down(*on.View, 40, 40);
            Up(*on.View, 40, 40);
        } else {
            on.View->Perform(WM_RBUTTONDOWN, MK_RBUTTON, At(40, 40));
            on.View->Perform(WM_RBUTTONUP, 0, At(40, 40));
        }
        EXPECT_EQ(on.View->ZoomX(), c.To);
        if (c.From == c.To) {
            EXPECT_EQ(zoomCalls, 0);
        }
        on.View->OnViewChange = nullptr;
    }
    // The handler decides.
    on.View->SetZoom(100);
    on.View->OnZoomIn = [](TObject*, double& Zoom) { Zoom = 400; };
    Down(*on.View, 40, 40);
    Up(*on.View, 40, 40);
    EXPECT_EQ(on.View->ZoomX(), 400);
    // No zoom after a move between press and release.
    on.View->OnZoomIn = nullptr;
    on.View->SetZoom(100);
    Down(*on.View, 40, 40);
    Move(*on.View, 45, 40);
    Up(*on.View, 45, 40);
    EXPECT_EQ(on.View->ZoomX(), 100);
}

TEST(ViewMouse, RectangleDragSelectsAndAClickClears) {
    TMouseView on;
    on.View->SetMouseInteract(miSelect);
    int32_t changes = 0;
    on.View->OnSelectionChange = [&](TObject*) { ++changes; };
    Down(*on.View, 10, 10);
    Move(*on.View, 30, 25);
    Move(*on.View, 50, 40);
    Up(*on.View, 50, 40);
    const TVLSelectionPolygon& p = on.View->SelectionPolygon();
    EXPECT_EQ(TRect(p.X1, p.Y1, p.X2, p.Y2), TRect(10, 10, 50, 40));
    TVLMask& m = on.View->SelectionMask();
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(10, 10, 49, 39));
    EXPECT_EQ(changes, 1);
    // Dragging the top-left grip past the right edge turns into a top-right drag.
    Down(*on.View, 10, 10);
    Move(*on.View, 80, 30);
    Move(*on.View, 90, 30);
    Up(*on.View, 90, 30);
    EXPECT_EQ(TRect(p.X1, p.Y1, p.X2, p.Y2), TRect(50, 30, 91, 40));
    EXPECT_EQ(changes, 2);
    Down(*on.View, 5, 80);
    Up(*on.View, 5, 80);
    EXPECT_FALSE(on.View->Selected());
    EXPECT_TRUE(on.View->SelectionMask().IsEmpty());
    EXPECT_EQ(changes, 3);
}

TEST(ViewMouse, EventsDuringAGestureSeeTheProgramsSelectionBase) {
    TMouseView on;
    on.View->SetMouseInteract(miSelect);
    on.View->SelectionBase = vlsbBitmap;
    std::vector<TVLSelectionBase> changing, changed;
    on.View->OnSelectionChanging = [&](TObject*) { changing.push_back(on.View->SelectionBase); };
    on.View->OnSelectionChange = [&](TObject*) { changed.push_back(on.View->SelectionBase); };
    Down(*on.View, 10, 10);
    Move(*on.View, 40, 40);
    Up(*on.View, 40, 40);
    ASSERT_FALSE(changing.empty());
    for (TVLSelectionBase b : changing)
        EXPECT_EQ(b, vlsbBitmap);
    EXPECT_EQ(changed, std::vector<TVLSelectionBase>{vlsbClientArea});
    EXPECT_EQ(on.View->SelectionBase, vlsbBitmap);
}

TEST(ViewMouse, FilledSelectionsAreInvertedOnTheBackBuffer) {
    TMouseView on;
    on.View->GetVLBitmap()->Fill(0);
    on.View->SelectionBase = vlsbBitmap;
    on.View->SetSelectionOptions(on.View->SelectionOptions() | vlsoFilled);
    on.View->Select(10, 10, 30, 30, vlsmReplace);
    HDC dc = on.View->GetBackBuffer()->Canvas()->Handle();
    EXPECT_EQ(GetPixel(dc, 15, 15), 0xFFFFFFu);
    EXPECT_EQ(GetPixel(dc, 40, 40), 0x000000u);
}

TEST(ViewMouse, MarkedOuterAreaIsShadedOnTheBackBuffer) {
    TMouseView on;
    on.View->GetVLBitmap()->Fill(0xFFFFFF);
    on.View->SelectionBase = vlsbBitmap;
    on.View->SetSelectionOptions(on.View->SelectionOptions() | vlsoMarkOuter);
    on.View->Select(10, 10, 30, 30, vlsmReplace);
    HDC dc = on.View->GetBackBuffer()->Canvas()->Handle();
    int32_t shadedInside = 0, shadedOutside = 0;
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 60; ++x) {
            const bool shaded = GetPixel(dc, x, y) != 0xFFFFFFu;
            const bool inside = x >= 10 && x < 30 && y >= 10 && y < 30;
            (inside ? shadedInside : shadedOutside) += shaded;
        }
    EXPECT_EQ(shadedInside, 0);
    EXPECT_GT(shadedOutside, (60 * 60 - 400) / 5);
}

TEST(ViewMouse, EllipsePointCountsFollowTheRadii) {
    struct TCase {
        int32_t RX, RY, Points;
    };
    const TCase cases[] = {{3, 5, 50}, {20, 30, 125}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.RX);
        TMouseView on;
        on.View->SetMouseInteract(miSelectCircle);
        Down(*on.View, 50, 50);
        Move(*on.View, 50 + c.RX, 50 + c.RY);
        EXPECT_EQ(on.View->GetSelectionPointCount(), c.Points);
        Up(*on.View, 50 + c.RX, 50 + c.RY);
        if (c.RX != 20) continue;
        int32_t n = 0;
        TVLMask& m = on.View->SelectionMask();
        for (int32_t y = 0; y < 100; ++y)
            for (int32_t x = 0; x < 100; ++x)
                n += m.GetPixel(x, y) != 0;
        EXPECT_NEAR(n, 3.14159265 * 600, 0.03 * 3.14159265 * 600);
    }
}

TEST(ViewMouse, LassoFollowsTheMouseAndEndsAtRelease) {
    TMouseView on;
    on.View->SetMouseInteract(miSelectLasso);
    Down(*on.View, 10, 10);
    Move(*on.View, 60, 10);
    Move(*on.View, 60, 60);
    Move(*on.View, 10, 60);
    EXPECT_TRUE(on.View->PolygonInProgress());
    EXPECT_EQ(on.View->GetSelX1(), 10);
    EXPECT_EQ(on.View->GetSelX2(), 59);
    Up(*on.View, 10, 60);
    EXPECT_FALSE(on.View->PolygonInProgress());
    EXPECT_EQ(on.View->GetSelectionPointCount(), 4);
    EXPECT_EQ(on.View->GetSelX1(), 10);
    EXPECT_EQ(on.View->GetSelY2(), 59);
}

TEST(ViewMouse, MagicWandClickSelectsTheRegionInEveryMode) {
    for (TVLWandMode mode : {vlwmOutline, vlwmFill, vlwmGlobal}) {
        SCOPED_TRACE(static_cast<int>(mode));
        TMouseView on;
        TVLBitmap& b = *on.View->GetVLBitmap();
        b.Fill(0);
        for (int32_t y = 20; y < 40; ++y)
            for (int32_t x = 20; x < 40; ++x)
                b.GetScanline(y)[x * 3 + 2] = 250;
        on.View->Update();
        on.View->Paint();
        on.View->WandMode = mode;
        on.View->SetMouseInteract(miSelectMagicWand);
        Down(*on.View, 30, 30);
        Up(*on.View, 30, 30);
        TVLMask& m = on.View->SelectionMask();
        EXPECT_TRUE(on.View->Selected());
        EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(20, 20, 39, 39));
    }
}

TEST(ViewMouse, DragScrollMovesTheViewAgainstTheMouse) {
    TMouseView on(300, 300);
    on.View->SetViewXY(100, 100);
    on.View->SetMouseInteract(miScroll);
    Down(*on.View, 50, 50);
    Move(*on.View, 80, 50);
    EXPECT_EQ(on.View->ViewX(), 70);
    Up(*on.View, 80, 50);
    EXPECT_EQ(on.View->ViewX(), 70);
    EXPECT_EQ(on.View->ViewY(), 100);
}

TEST(ViewMouse, MovingASelectionPastTheEdgeScrollsTowardTheMouse) {
    TMouseView on(300, 300);
    on.View->SetViewXY(100000, 0);
    const int32_t limit = on.View->ViewX();
    ASSERT_GT(limit, 0);
    on.View->SetViewXY(0, 0);
    on.View->SelectionBase = vlsbBitmap;
    on.View->Select(10, 10, 40, 40, vlsmReplace);
    on.View->SetMouseInteract(miSelect);
    Down(*on.View, 20, 20);
    // The mouse leaves the view on the right and stays there: the view scrolls to its limit and
    // the selection follows the mouse to the picture's right border.
    int32_t x = 130, y = 20;
    on.View->ClientToScreen(x, y);
    SetCursorPos(x, y);
    Move(*on.View, 130, 20);
    EXPECT_EQ(on.View->ViewX(), limit);
    EXPECT_EQ(on.View->ViewY(), 0);
    Up(*on.View, 130, 20);
    TVLMask& m = on.View->SelectionMask();
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(270, 10, 299, 39));
    // Back over the picture nothing scrolls.
    x = 50, y = 50;
    on.View->ClientToScreen(x, y);
    SetCursorPos(x, y);
    EXPECT_FALSE(on.View->ScrollTowardMouse());
    EXPECT_EQ(on.View->ViewX(), limit);
}

TEST(ViewMouse, GestureSetRules) {
    struct TCase {
        TVLMouseInteract From, Set, Stored;
    };
    const TCase cases[] = {
        {0, miSelect | miScroll, miScroll},
        {0, miMoveLayers | miResizeLayers | miRotateLayers, miMoveLayers | miRotateLayers},
        {0, miMoveLayers | miResizeLayers, miMoveLayers | miResizeLayers},
        {miScroll, miScroll | miZoom | miSelect, miZoom | miSelect},
        {0, miSelectPolygon | miZoom | miMovingScroll, miSelectPolygon | miMovingScroll},
        {miZoom, miZoom | miSelectMagicWand, miSelectMagicWand},
        {0, miResizeLayers | miZoom, miZoom},
        {0, miResizeLayers | miMovingScroll, miResizeLayers | miMovingScroll},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.From << " + " << c.Set);
        EXPECT_EQ(NormalizeMouseInteract(c.From, c.Set), c.Stored);
        TMouseView on;
        on.View->SetMouseInteract(c.From);
        on.View->SetMouseInteract(c.Set);
        EXPECT_EQ(on.View->MouseInteract(), c.Stored);
    }
}

// Layer 1: 40 x 40 at (30, 30) over a 100 x 100 image.
struct TLayerView : TMouseView {
    TLayerView() {
        View->LayersCropOnRotate = false;
        View->AddLayer();
        TVLLayer& l = *View->GetLayer(1);
        l.OwnWidth = l.OwnHeight = 40;
        l.PosX = l.PosY = 30;
        l.Locked = false;
        View->Update();
        View->Paint();
    }
    TVLLayer& Layer() { return *View->GetLayer(1); }
};

TEST(ViewMouse, ShiftRotationSnapsToTheStep) {
    TLayerView on;
    on.View->SetMouseInteract(miRotateLayers);
    Down(*on.View, 5, 5, MK_SHIFT);
    const int32_t path[][2] = {{5, 40}, {5, 95}, {40, 95}, {95, 95}, {95, 60}};
    bool turned = false;
    for (const auto& p : path) {
        Move(*on.View, p[0], p[1], MK_LBUTTON | MK_SHIFT);
        const double a = on.Layer().Rotate();
        EXPECT_EQ(std::fmod(a, 45), 0) << a;
        turned = turned || a != 0;
    }
    EXPECT_TRUE(turned);
    EXPECT_NE(on.View->InteractionHint().find(u"\u00B0"), String::npos);
    Up(*on.View, 95, 60, MK_SHIFT);
    EXPECT_TRUE(on.View->InteractionHint().empty());
}

TEST(ViewMouse, RightButtonLayerGesturesEndForTheirOwnButton) {
    TLayerView on;
    on.View->SetMouseInteract(miMoveLayers | miRotateLayers);
    on.View->SetSelectionOptions(on.View->SelectionOptions() | vlsoRightButtonSelectLayers);
    std::vector<TVLLayerEvent> events;
    on.View->OnLayerNotify = [&](TObject*, int32_t, TVLLayerEvent E) {
        if (E == vllRotated || E == vllMoved) events.push_back(E);
    };
    on.View->Perform(WM_RBUTTONDOWN, MK_RBUTTON, At(5, 5));
    on.View->Perform(WM_MOUSEMOVE, MK_RBUTTON, At(5, 60));
    on.View->Perform(WM_RBUTTONUP, 0, At(5, 60));
    ASSERT_EQ(events, std::vector<TVLLayerEvent>{vllRotated});
    const double angle = on.Layer().Rotate();
    EXPECT_NE(angle, 0);
    // A later left drag inside the (repainted) layer moves it and does not rotate it.
    on.View->Paint();
    const int32_t x0 = on.Layer().PosX;
    // Away from the rotation-centre grip in the middle.
    Down(*on.View, 40, 40);
    Move(*on.View, 50, 40);
    Up(*on.View, 50, 40);
    EXPECT_EQ(on.Layer().Rotate(), angle);
    EXPECT_EQ(on.Layer().PosX, x0 + 10);
    EXPECT_EQ(events, (std::vector<TVLLayerEvent>{vllRotated, vllMoved}));
    // A right press while the left button is down does nothing.
    Down(*on.View, 40, 40);
    on.View->Perform(WM_RBUTTONDOWN, MK_RBUTTON | MK_LBUTTON, At(5, 5));
    on.View->Perform(WM_MOUSEMOVE, MK_RBUTTON | MK_LBUTTON, At(5, 60));
    on.View->Perform(WM_RBUTTONUP, MK_LBUTTON, At(5, 60));
    Up(*on.View, 40, 40);
    EXPECT_EQ(on.Layer().Rotate(), angle);
}

TEST(ViewMouse, LayerEventsDuringAGestureSeeTheProgramsSelectionBase) {
    TLayerView on;
    on.View->SetMouseInteract(miMoveLayers);
    on.View->SelectionBase = vlsbBitmap;
    std::vector<TVLLayerEvent> events;
    std::vector<TVLSelectionBase> bases;
    on.View->OnLayerNotify = [&](TObject*, int32_t, TVLLayerEvent E) {
        events.push_back(E);
        bases.push_back(on.View->SelectionBase);
    };
    Down(*on.View, 40, 40);
    Move(*on.View, 50, 40);
    Up(*on.View, 50, 40);
    ASSERT_NE(std::find(events.begin(), events.end(), vllMoving), events.end());
    ASSERT_NE(std::find(events.begin(), events.end(), vllMoved), events.end());
    EXPECT_EQ(bases, std::vector<TVLSelectionBase>(events.size(), vlsbBitmap));
    EXPECT_EQ(on.View->SelectionBase, vlsbBitmap);
    // Outside a handler nothing is exchanged.
    bases.clear();
    on.View->SelectionBase = vlsbClientArea;
    on.View->DoLayerNotify(1, vllSelected);
    EXPECT_EQ(bases, std::vector<TVLSelectionBase>{vlsbClientArea});
    EXPECT_EQ(on.View->SelectionBase, vlsbClientArea);
}

TEST(ViewMouse, ZoomRectangleZoomsToTheBoxAndBringsTheSelectionBack) {
    TMouseView on;
    on.View->SelectionBase = vlsbBitmap;
    on.View->Select(5, 5, 15, 15, vlsmReplace);
    on.View->SetMouseInteract(miSelectZoom);
    Down(*on.View, 20, 20);
    Move(*on.View, 60, 60);
    Up(*on.View, 60, 60);
    EXPECT_EQ(on.View->ZoomX(), 250);
    EXPECT_EQ(on.View->ZoomY(), 250);
    EXPECT_TRUE(on.View->Selected());
    TVLMask& m = on.View->SelectionMask();
    EXPECT_EQ(TRect(m.X1, m.Y1, m.X2, m.Y2), TRect(5, 5, 14, 14));
    EXPECT_EQ(on.View->SavedSelectionCount(), 0);
    EXPECT_EQ(on.View->SelectionBase, vlsbBitmap);
}

TEST(ViewMouse, PolygonClicksEndWithADoubleClick) {
    TMouseView on;
    on.View->SetMouseInteract(miSelectPolygon);
    int32_t changes = 0;
    on.View->OnSelectionChange = [&](TObject*) { ++changes; };
    for (const auto& p : {TPoint{10, 10}, TPoint{60, 10}, TPoint{60, 60}}) {
        Down(*on.View, p.X, p.Y);
        Up(*on.View, p.X, p.Y);
    }
    EXPECT_TRUE(on.View->PolygonInProgress());
    on.View->Perform(WM_LBUTTONDBLCLK, MK_LBUTTON, At(60, 60));
    Up(*on.View, 60, 60);
    EXPECT_FALSE(on.View->PolygonInProgress());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(on.View->GetSelectionPointCount(), 3);
    EXPECT_FALSE(on.View->SelectionMask().IsEmpty());
}

TEST(ViewMouse, NavigatorFollowsTheViewAndScrollsIt) {
    TMouseView on(300, 300);
    auto* nav = new TVistrelView(&on.Form);
    nav->SetParent(&on.Form);
    nav->SetBounds(0, 0, 60, 60);
    nav->Handle();
    on.View->SetNavigator(nav);
    int32_t viewChanges = 0;
    on.View->OnViewChange = [&](TObject*, int32_t) { ++viewChanges; };
    on.View->SetViewXY(100, 50);
    EXPECT_EQ(nav->GetSelX1(), 100);
    EXPECT_EQ(nav->GetSelY1(), 50);
    EXPECT_EQ(viewChanges, 1);
    // Moving the navigator's box scrolls the view; nothing calls back into the navigator.
    nav->MoveSelection(50, 20);
    ASSERT_TRUE(nav->OnSelectionChanging);
    nav->OnSelectionChanging(nav);
    EXPECT_EQ(on.View->ViewX(), 150);
    EXPECT_EQ(on.View->ViewY(), 70);
    EXPECT_EQ(nav->GetSelX1(), 150);
    // The navigator follows a replaced bitmap.
    on.View->AddLayer();
    EXPECT_EQ(nav->GetVLBitmap(), on.View->GetVLBitmap());
    on.View->RemoveLayer(1);
    EXPECT_EQ(nav->GetVLBitmap(), on.View->GetVLBitmap());
    on.View->AddLayer();
    on.View->MergeAllLayers();
    EXPECT_EQ(nav->GetVLBitmap(), on.View->GetVLBitmap());
    on.View->AddLayer();
    on.View->ClearLayers();
    EXPECT_EQ(nav->GetVLBitmap(), on.View->GetVLBitmap());
    {
        TVLBitmap external;
        ASSERT_TRUE(external.Allocate(120, 80, TVLPixelFormat::vl24RGB));
        on.View->SetExternalBitmap(&external);
        EXPECT_EQ(nav->GetVLBitmap(), &external);
        on.View->SetExternalBitmap(nullptr);
        EXPECT_EQ(nav->GetVLBitmap(), on.View->GetVLBitmap());
        nav->Repaint();
    }
    EXPECT_EQ(nav->GetVLBitmap(), on.View->GetVLBitmap());
    nav->Repaint();
    SetImageSize(*on.View, 300, 300);
    // Freeing the navigator first leaves the view working.
    delete nav;
    EXPECT_EQ(on.View->Navigator(), nullptr);
    on.View->SetViewXY(10, 10);
    EXPECT_EQ(on.View->ViewX(), 10);
}

TEST(ViewMouse, FreeingTheViewFirstLeavesTheNavigatorWorking) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 300);
    auto* nav = new TVistrelView(&form);
    nav->SetParent(&form);
    nav->SetBounds(0, 0, 60, 60);
    {
        auto* view = new TVistrelView(&form);
        view->SetParent(&form);
        view->SetBounds(0, 60, 100, 100);
        view->Handle();
        SetImageSize(*view, 300, 300);
        view->SetNavigator(nav);
        delete view;
    }
    EXPECT_FALSE(nav->OnSelectionChanging);
    EXPECT_EQ(nav->GetVLBitmap()->GetWidth(), 0);
    nav->Repaint();
}

TEST(ViewMouse, SpecialKeysHandledByTheEventBecomeOrdinaryKeys) {
    TMouseView on;
    on.View->OnSpecialKey = [](TObject*, uint16_t Key, TShiftState, bool& Handled) {
        Handled = Key == VK_LEFT;
    };
    EXPECT_EQ(on.View->Perform(CM_WANTSPECIALKEY, VK_LEFT, 0), 1);
    EXPECT_EQ(on.View->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 0);
}

TEST(ViewMouse, ShiftSwapsTheCursorForItsAddVariant) {
    TMouseView on;
    EXPECT_EQ(on.View->Cursor(), 1785);
    uint16_t key = VK_SHIFT;
    on.View->Perform(WM_KEYDOWN, key, 0);
    // The keyboard of the off-screen platform holds no Shift: the cursor stays.
    EXPECT_EQ(on.View->CurrentCursor(), 1785);
    on.View->SetMouseInteract(miSelect);
    on.View->Perform(WM_MOUSEMOVE, MK_SHIFT, At(20, 20));
    EXPECT_EQ(on.View->CurrentCursor(), 1791);
    on.View->Perform(WM_MOUSEMOVE, 0, At(20, 20));
    EXPECT_EQ(on.View->CurrentCursor(), 1785);
    EXPECT_EQ(on.View->Cursor(), 1785);
    // Every cursor id with a shape is registered.
    for (TCursor id : {1778, 1782, 1785, 1790, 1791, 1811, 1814})
        EXPECT_NE(Screen->Cursors(id), Screen->Cursors(crDefault)) << id;
}

} // namespace
