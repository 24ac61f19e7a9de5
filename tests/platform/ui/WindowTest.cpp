// Window records: scroll-bar ranges, pages and positions with their clamping, showing, hiding
// and disabling by range, stale handles; the input state of a headless run.
#include "platform/ui/Window.h"
#include "platform/ui/Input.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

SCROLLINFO Info(uint32_t mask, int32_t min, int32_t max, uint32_t page, int32_t pos) {
    SCROLLINFO info;
    info.fMask = mask;
    info.nMin = min;
    info.nMax = max;
    info.nPage = page;
    info.nPos = pos;
    return info;
}

TEST(ScrollBars, SetScrollInfoClampsAndShowsOrHidesByRange) {
    struct Step {
        const char* what;
        SCROLLINFO info;
        int32_t result;
        uint32_t page;
        bool visible;
        uint32_t disabled;
    };
    const Step steps[] = {
        {"range of 100 with a page of 10", Info(SIF_RANGE | SIF_PAGE, 0, 99, 10, 0), 0, 10, true,
         0},
        {"position beyond the last page", Info(SIF_POS, 0, 0, 0, 95), 90, 10, true, 0},
        {"a page larger than the range", Info(SIF_PAGE, 0, 0, 500, 0), 0, 100, false, 0},
        {"kept visible but disabled", Info(SIF_PAGE | SIF_DISABLENOSCROLL, 0, 0, 100, 0), 0, 100,
         true, ESB_DISABLE_BOTH},
        {"enabled again by a longer range", Info(SIF_RANGE | SIF_DISABLENOSCROLL, 0, 199, 0, 0), 0,
         100, true, ESB_ENABLE_BOTH},
        {"position before the range", Info(SIF_POS, 0, 0, 0, -7), 0, 100, true, 0},
        {"a position change leaves visibility", Info(SIF_POS, 0, 0, 0, 150), 100, 100, true, 0},
        {"reversed range collapses", Info(SIF_RANGE, 50, 10, 0, 0), 50, 1, false, 0},
    };
    HWND window = AllocateWindowHandle();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(SetScrollInfo(window, SB_VERT, &step.info, true), step.result);
        EXPECT_EQ(window->Vert.Page, step.page);
        EXPECT_EQ(window->Vert.Visible, step.visible);
        EXPECT_EQ(window->Vert.Disabled, step.disabled);
    }
    EXPECT_FALSE(window->Horz.Visible); // the other bar is untouched
    ReleaseWindowHandle(window);
}

TEST(ScrollBars, RangePositionAndInfoCalls) {
    HWND window = AllocateWindowHandle();
    EXPECT_TRUE(SetScrollRange(window, SB_HORZ, 10, 60, false));
    EXPECT_TRUE(window->Horz.Visible);
    EXPECT_EQ(SetScrollPos(window, SB_HORZ, 30, true), 10);
    EXPECT_EQ(SetScrollPos(window, SB_HORZ, 99, true), 30);
    EXPECT_EQ(GetScrollPos(window, SB_HORZ), 60);
    EXPECT_FALSE(SetScrollRange(window, SB_HORZ, -1, INT32_MAX, false));
    int32_t min = 0, max = 0;
    EXPECT_TRUE(GetScrollRange(window, SB_HORZ, &min, &max));
    EXPECT_EQ(min, 10);
    EXPECT_EQ(max, 60);
    EXPECT_TRUE(SetScrollRange(window, SB_HORZ, 5, 5, false));
    EXPECT_FALSE(window->Horz.Visible);
    EXPECT_EQ(GetScrollPos(window, SB_HORZ), 5);

    SCROLLINFO info;
    info.fMask = SIF_ALL;
    SCROLLINFO set = Info(SIF_ALL, 0, 20, 5, 7);
    SetScrollInfo(window, SB_VERT, &set, true);
    window->Vert.TrackPos = 12; // as a drag in progress would
    ASSERT_TRUE(GetScrollInfo(window, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 20);
    EXPECT_EQ(info.nPage, 5u);
    EXPECT_EQ(info.nPos, 7);
    EXPECT_EQ(info.nTrackPos, 12);
    info.fMask = SIF_DISABLENOSCROLL;
    EXPECT_FALSE(GetScrollInfo(window, SB_VERT, &info));
    info.fMask = SIF_ALL;
    info.cbSize = 24;
    EXPECT_FALSE(GetScrollInfo(window, SB_VERT, &info));
    EXPECT_EQ(SetScrollInfo(window, SB_VERT, &info, true), 0);
    ReleaseWindowHandle(window);
}

TEST(ScrollBars, ShowEnableAndStaleHandles) {
    HWND window = AllocateWindowHandle();
    EXPECT_TRUE(ShowScrollBar(window, SB_BOTH, true));
    EXPECT_TRUE(window->Horz.Visible && window->Vert.Visible);
    EXPECT_TRUE(EnableScrollBar(window, SB_HORZ, ESB_DISABLE_LTUP));
    EXPECT_FALSE(EnableScrollBar(window, SB_HORZ, ESB_DISABLE_LTUP));
    EXPECT_TRUE(EnableScrollBar(window, SB_BOTH, ESB_DISABLE_BOTH));
    EXPECT_EQ(window->Vert.Disabled, ESB_DISABLE_BOTH);
    EXPECT_FALSE(EnableScrollBar(window, SB_HORZ, 4));
    EXPECT_FALSE(ShowScrollBar(window, SB_CTL, true));
    ReleaseWindowHandle(window);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(ShowScrollBar(window, SB_HORZ, true));
    EXPECT_EQ(SetScrollPos(window, SB_HORZ, 3, true), 0);
    EXPECT_FALSE(IsWindow(nullptr));
}

TEST(Input, HeadlessStateAndMetrics) {
    EXPECT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 0);
    EXPECT_GE(GetAsyncKeyState(VK_LBUTTON), 0);
    EXPECT_EQ(GetAsyncKeyState(0x41), 0);
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CXVSCROLL), 0);
    EXPECT_EQ(GetSystemMetrics(9999), 0);
}

} // namespace
