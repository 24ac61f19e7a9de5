// Controls: windows made on demand, client area, alignment, painting through the retained
// surface, and the mouse and key messages' events.
#include "platform/ui/Forms.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/WinUser.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class TPainted : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    int32_t Paints = 0;
    std::vector<std::pair<int32_t, int32_t>> Sizes;
    uint32_t ExStyle = 0;
    using TWinControl::RecreateWnd;

    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_SIZE)
            Sizes.emplace_back(LOWORD(Message.LParam), HIWORD(Message.LParam));
        TCustomControl::Dispatch(Message);
    }

protected:
    void CreateParams(TCreateParams& Params) override {
        TCustomControl::CreateParams(Params);
        Params.ExStyle |= ExStyle;
    }
    void Paint() override { ++Paints; }
};

TEST(Controls, WindowExistsOnlyOnceAskedForAndSizesItsClientArea) {
    TForm form(nullptr);
    auto* control = new TPainted(&form);
    control->SetParent(&form);
    control->SetBounds(10, 20, 200, 100);
    EXPECT_FALSE(control->HandleAllocated());
    EXPECT_FALSE(form.HandleAllocated());
    EXPECT_EQ(control->ClientWidth(), 200); // without a window the whole control
    EXPECT_TRUE(control->Sizes.empty());    // and no WM_SIZE

    control->ExStyle = WS_EX_CLIENTEDGE;
    control->Handle();
    EXPECT_TRUE(form.HandleAllocated()); // the parent's window comes first
    EXPECT_EQ(control->ClientWidth(), 196);
    EXPECT_EQ(control->ClientHeight(), 96);
    ASSERT_EQ(control->Sizes.size(), 1u);
    EXPECT_EQ(control->Sizes.back(), std::make_pair(196, 96));

    control->SetWidth(150);
    EXPECT_EQ(control->Sizes.back(), std::make_pair(146, 96));
    control->ExStyle = 0;
    control->RecreateWnd();
    EXPECT_EQ(control->ClientWidth(), 150);
    EXPECT_EQ(control->Sizes.back(), std::make_pair(150, 100));
    int32_t x = 0, y = 0;
    control->ClientToScreen(x, y);
    int32_t fx = 0, fy = 0;
    form.ClientToScreen(fx, fy);
    EXPECT_EQ(x - fx, 10);
    EXPECT_EQ(y - fy, 20);
}

TEST(Controls, ScrollBarsTakeTheirRoomFromTheClientArea) {
    TForm form(nullptr);
    auto* control = new TPainted(&form);
    control->SetParent(&form);
    control->SetBounds(0, 0, 200, 100);
    EXPECT_FALSE(ShowScrollBar(nullptr, SB_VERT, true)); // no window
    const HWND wnd = control->Handle();
    const int32_t bar = GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_TRUE(ShowScrollBar(wnd, SB_VERT, true));
    EXPECT_EQ(control->ClientWidth(), 200 - bar);
    EXPECT_EQ(control->Sizes.back(), std::make_pair(200 - bar, 100));
    ASSERT_TRUE(ShowScrollBar(wnd, SB_BOTH, true));
    EXPECT_EQ(control->ClientHeight(), 100 - GetSystemMetrics(SM_CYHSCROLL));
    ShowScrollBar(wnd, SB_BOTH, false);
    EXPECT_EQ(control->Sizes.back(), std::make_pair(200, 100));

    // The position stays inside Min .. Max - Page + 1.
    SCROLLINFO info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 10;
    info.nMax = 109;
    info.nPage = 20;
    info.nPos = 500;
    EXPECT_EQ(SetScrollInfo(wnd, SB_HORZ, &info, true), 90);
    EXPECT_EQ(SetScrollPos(wnd, SB_HORZ, -4, true), 90);
    EXPECT_EQ(GetScrollPos(wnd, SB_HORZ), 10);
    EXPECT_TRUE(EnableScrollBar(wnd, SB_HORZ, ESB_DISABLE_BOTH));
    EXPECT_FALSE(IsScrollBarEnabled(wnd, SB_HORZ));
    // A new window has fresh scroll bars.
    control->RecreateWnd();
    EXPECT_EQ(GetScrollPos(wnd, SB_HORZ), 0);
    EXPECT_TRUE(IsScrollBarEnabled(wnd, SB_HORZ));
}

TEST(Controls, AlignedChildrenShareTheClientArea) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    auto* top = new TPainted(&form);
    auto* left = new TPainted(&form);
    auto* client = new TPainted(&form);
    top->SetHeight(30);
    left->SetWidth(40);
    for (TControl* c : {static_cast<TControl*>(top), static_cast<TControl*>(left),
                        static_cast<TControl*>(client)})
        c->SetParent(&form);
    top->SetAlign(alTop);
    left->SetAlign(alLeft);
    client->SetAlign(alClient);
    EXPECT_EQ(client->Left(), 40);
    EXPECT_EQ(client->Top(), 30);
    EXPECT_EQ(client->Width(), 260);
    EXPECT_EQ(client->Height(), 170);
    top->Hide();
    EXPECT_EQ(client->Top(), 0);
    EXPECT_EQ(left->Height(), 200);
}

TEST(Controls, PaintRunsForTheInvalidPartOnlyAndUpdatePaintsAtOnce) {
    TForm form(nullptr);
    auto* control = new TPainted(&form);
    control->SetParent(&form);
    control->SetBounds(0, 0, 50, 40);
    control->Handle();
    control->Update(); // a new window is all invalid
    EXPECT_EQ(control->Paints, 1);
    control->Update();
    EXPECT_EQ(control->Paints, 1);
    control->Invalidate();
    control->Invalidate();
    EXPECT_EQ(control->Paints, 1);
    control->Update();
    EXPECT_EQ(control->Paints, 2);
    control->InvalidateRect(60, 60, 70, 70); // outside the client area
    control->Update();
    EXPECT_EQ(control->Paints, 2);
}

// Paints its client area red through its canvas.
class TRedPainter : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    int32_t Paints = 0;

protected:
    void Paint() override {
        ++Paints;
        Canvas()->Brush()->SetColor(clRed);
        Canvas()->FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
    }
};

TEST(Controls, TheRetainedSurfaceKeepsWhatWasDrawnInAndOutsidePaint) {
    TForm form(nullptr);
    auto* control = new TRedPainter(&form);
    control->SetParent(&form);
    control->SetBounds(0, 0, 40, 30);
    EXPECT_EQ(GetDC(nullptr), nullptr);
    const HWND wnd = control->Handle();
    control->Update();
    HDC dc = GetDC(wnd);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetPixel(dc, 39, 29), static_cast<COLORREF>(clRed));

    // Drawn outside Paint (as a rubber band or a synchronous repaint does): kept as it is.
    control->Canvas()->Brush()->SetColor(clBlue);
    control->Canvas()->FillRect(Rect(20, 10, 30, 20));
    EXPECT_EQ(ReleaseDC(wnd, dc), 1);
    EXPECT_EQ(GetPixel(GetDC(wnd), 25, 15), static_cast<COLORREF>(clBlue));
    // Repainting part of the window paints only that part.
    control->InvalidateRect(0, 0, 10, 10);
    control->Update();
    EXPECT_EQ(control->Paints, 2);
    EXPECT_EQ(GetPixel(GetDC(wnd), 25, 15), static_cast<COLORREF>(clBlue));
    EXPECT_EQ(GetPixel(GetDC(wnd), 5, 5), static_cast<COLORREF>(clRed));

    // Grown, the surface keeps its pixels; the new part is painted by the next paint.
    control->SetBounds(0, 0, 60, 30);
    EXPECT_EQ(GetPixel(GetDC(wnd), 25, 15), static_cast<COLORREF>(clBlue));
    control->Update();
    EXPECT_EQ(GetPixel(GetDC(wnd), 59, 0), static_cast<COLORREF>(clRed));
    Application->ProcessMessages(); // the toolkit shows the surface; nothing to check but safety
}

TEST(Controls, MouseMessagesBecomeEventsAndWheelNotchesGoToTheParent) {
    TForm form(nullptr);
    auto* control = new TPainted(&form);
    control->SetParent(&form);
    control->SetBounds(0, 0, 50, 40);
    std::vector<std::string> log;
    control->OnMouseDown = [&](TObject*, TMouseButton Button, TShiftState Shift, int32_t X,
                               int32_t Y) {
        log.push_back("down " + std::to_string(Button) + " " + std::to_string(Shift) + " " +
                      std::to_string(X) + "," + std::to_string(Y));
    };
    control->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int32_t, int32_t) {
        log.push_back("up");
    };
    control->OnClick = [&](TObject*) { log.push_back("click"); };
    control->OnDblClick = [&](TObject*) { log.push_back("dblclick"); };
    const HWND wnd = control->Handle();
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(5, -3));
    EXPECT_EQ(GetCapture(), wnd);
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 6));
    EXPECT_EQ(GetCapture(), nullptr);
    SendMessage(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(1, 2));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(99, 2)); // released outside: no click
    const std::vector<std::string> expected = {
        "down 0 " + std::to_string(ssShift | ssLeft) + " 5,-3", "click", "up", "dblclick",
        "down 0 " + std::to_string(ssLeft | ssDouble) + " 1,2", "up"};
    EXPECT_EQ(log, expected);

    int32_t formDelta = 0;
    form.OnMouseWheel = [&](TObject*, TShiftState, int32_t Delta, int32_t, int32_t, bool& Handled) {
        formDelta = Delta;
        Handled = true;
    };
    EXPECT_EQ(SendMessage(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0), 1);
    EXPECT_EQ(formDelta, -WHEEL_DELTA);
}

TEST(Controls, MouseEnterAndLeaveReachTheParentWithTheControl) {
    TForm form(nullptr);
    auto* control = new TPainted(&form);
    control->SetParent(&form);
    std::vector<LPARAM> seen;
    form.WindowProc = [&](TMessage& Message) {
        if (Message.Msg == CM_MOUSEENTER || Message.Msg == CM_MOUSELEAVE)
            seen.push_back(Message.LParam);
        form.WndProc(Message);
    };
    control->Perform(CM_MOUSEENTER, 0, 0);
    control->Perform(CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(seen, (std::vector<LPARAM>{reinterpret_cast<LPARAM>(control),
                                         reinterpret_cast<LPARAM>(control)}));
}

TEST(Controls, FocusMovesBetweenWindowsWithEnterAndExit) {
    TForm form(nullptr);
    auto* a = new TPainted(&form);
    auto* b = new TPainted(&form);
    a->SetParent(&form);
    b->SetParent(&form);
    std::vector<std::string> log;
    a->OnEnter = [&](TObject*) { log.push_back("enter a"); };
    a->OnExit = [&](TObject*) { log.push_back("exit a"); };
    b->OnEnter = [&](TObject*) { log.push_back("enter b"); };
    EXPECT_THROW(a->SetFocus(), EComponentError); // the form is not shown yet
    form.Show();
    a->SetFocus();
    EXPECT_TRUE(a->Focused());
    b->SetFocus();
    EXPECT_EQ(log, (std::vector<std::string>{"enter a", "exit a", "enter b"}));
    EXPECT_EQ(GetFocus(), b->Handle());
    delete b;
    EXPECT_EQ(GetFocus(), nullptr);
    a->SetEnabled(false);
    EXPECT_THROW(a->SetFocus(), EComponentError);
}

// Enter and exit follow each form's own focused control: the focus going to another form and
// coming back is neither, and a focused control that is destroyed does not exit.
TEST(Controls, EnterAndExitFollowTheFormsFocusedControl) {
    TForm form(nullptr), other(nullptr);
    auto* a = new TPainted(&form);
    auto* b = new TPainted(&form);
    auto* c = new TPainted(&other);
    a->SetParent(&form);
    b->SetParent(&form);
    c->SetParent(&other);
    std::vector<std::string> log;
    for (auto [control, name] : {std::pair{a, "a"}, {b, "b"}, {c, "c"}}) {
        control->OnEnter = [&log, name](TObject*) { log.push_back(std::string("enter ") + name); };
        control->OnExit = [&log, name](TObject*) { log.push_back(std::string("exit ") + name); };
    }
    form.Show();
    other.Show();
    a->SetFocus();
    c->SetFocus();
    a->SetFocus();
    b->SetFocus();
    EXPECT_EQ(log, (std::vector<std::string>{"enter a", "enter c", "exit a", "enter b"}));
    log.clear();
    delete b;
    a->SetFocus();
    EXPECT_EQ(log, (std::vector<std::string>{"enter a"}));
    EXPECT_EQ(form.FocusedControl(), a);
    // An exit handler that takes the focus back, as a field refusing its text does.
    auto* d = new TPainted(&form);
    d->SetParent(&form);
    d->OnEnter = [&log](TObject*) { log.push_back("enter d"); };
    a->OnExit = [&](TObject*) {
        log.push_back("exit a");
        a->SetFocus();
    };
    log.clear();
    d->SetFocus();
    EXPECT_EQ(log, (std::vector<std::string>{"exit a", "enter a"}));
    EXPECT_EQ(form.FocusedControl(), a);
    EXPECT_EQ(GetFocus(), a->Handle());
}

TEST(Forms, CloseHidesOrFreesAndMainFormEndsTheApplication) {
    auto* form = new TForm(nullptr);
    form->Show();
    EXPECT_TRUE(form->HandleAllocated());
    form->Close();
    EXPECT_FALSE(form->Visible());
    form->OnClose = [](TObject*, TCloseAction& Action) { Action = caFree; };
    // Told when the form goes.
    struct TWatch : TComponent {
        bool Freed = false;
        TWatch() : TComponent(nullptr) {}
        void Notification(TComponent* C, TOperation Op) override {
            TComponent::Notification(C, Op);
            if (Op == opRemove) Freed = true;
        }
    } watch;
    watch.FreeNotification(form);
    SendMessage(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(watch.Freed); // freed by the loop, not inside the handler
    PumpUntil([&] { return watch.Freed; });

    Application->SetMainForm(new TForm(Application));
    Application->MainForm()->Close();
    EXPECT_EQ(Application->Run(), 0);
    delete Application->MainForm();
    EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST(Forms, AKeyGoesToItsFormsShortcutsThenToTheEnabledMainForms) {
    TForm main(nullptr);
    TForm other(nullptr);
    auto* control = new TPainted(&other);
    control->SetParent(&other);
    std::vector<std::string> log;
    main.OnShortCut = [&](TWMKey& Msg, bool& Handled) {
        log.push_back("main " + std::to_string(Msg.CharCode));
        Handled = Msg.CharCode == VK_F11;
    };
    other.OnShortCut = [&](TWMKey& Msg, bool& Handled) {
        log.push_back("other " + std::to_string(Msg.CharCode));
        Handled = Msg.CharCode == VK_F1;
    };
    uint16_t reached = 0;
    control->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) { reached = Key; };
    Application->SetMainForm(&main);
    const HWND wnd = control->Handle();
    EXPECT_EQ(SendMessage(wnd, WM_KEYDOWN, VK_F1, 0), 1);  // the own form's
    EXPECT_EQ(SendMessage(wnd, WM_KEYDOWN, VK_F11, 0), 1); // the main form's
    EXPECT_EQ(reached, 0);
    SendMessage(wnd, WM_KEYDOWN, VK_F1 + 1, 0); // nobody's: the control gets it
    EXPECT_EQ(reached, VK_F1 + 1);
    main.SetEnabled(false);
    reached = 0;
    SendMessage(wnd, WM_KEYDOWN, VK_F11, 0);
    EXPECT_EQ(reached, VK_F11);
    Application->SetMainForm(nullptr);
    const std::vector<std::string> expected = {
        "other 112", "other 122", "main 122", "other 113", "main 113", "other 122"};
    EXPECT_EQ(log, expected);
    // The main form's own keys go through its shortcuts once.
    log.clear();
    Application->SetMainForm(&main);
    main.SetEnabled(true);
    main.Perform(WM_KEYDOWN, VK_F11, 0);
    Application->SetMainForm(nullptr);
    EXPECT_EQ(log, std::vector<std::string>{"main 122"});
}

TEST(Screen, CursorsById) {
    EXPECT_NE(Screen->Cursors(crHandPoint), nullptr);
    EXPECT_EQ(Screen->Cursors(crNone), nullptr);
    EXPECT_EQ(Screen->Cursors(1785), Screen->Cursors(crDefault)); // not registered
    const uint8_t andPlane[4 * 2] = {0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF};
    const uint8_t xorPlane[4 * 2] = {0x00, 0x00, 0xF0, 0x0F, 0x00, 0x00, 0x00, 0x00};
    HCURSOR own = CreateCursor(1, 1, 16, 4, andPlane, xorPlane);
    ASSERT_NE(own, nullptr);
    Screen->SetCursors(1785, own);
    EXPECT_EQ(Screen->Cursors(1785), own);
    Screen->SetCursors(1785, nullptr);
    EXPECT_TRUE(DestroyCursor(own));
    EXPECT_EQ(CreateCursor(0, 0, 0, 4, andPlane, xorPlane), nullptr);
    EXPECT_GT(GetSystemMetrics(SM_CXVSCROLL), 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXEDGE), 2);
    EXPECT_EQ(GetSystemMetrics(SM_REMOTESESSION), 0);
}

} // namespace
