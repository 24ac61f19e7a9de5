// Mouse messages handed to window-less children, the control under a screen point, the queue
// of posted messages as PeekMessageW sees it, popup menus with their item tree, shortcuts and
// context menus.
#include "platform/ui/Menus.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Logs the mouse messages and mouse enter/leave notices it receives.
class TLogged : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    std::vector<std::string> Log;

    void Dispatch(TMessage& Message) override {
        const int32_t x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
        switch (Message.Msg) {
        case WM_LBUTTONDOWN:
            Log.push_back("down " + std::to_string(x) + "," + std::to_string(y));
            break;
        case WM_LBUTTONUP:
            Log.push_back("up " + std::to_string(x) + "," + std::to_string(y));
            break;
        case WM_MOUSEMOVE:
            Log.push_back("move " + std::to_string(x) + "," + std::to_string(y));
            break;
        case CM_MOUSEENTER:
            Log.push_back("enter");
            break;
        case CM_MOUSELEAVE:
            Log.push_back("leave");
            break;
        default:
            break;
        }
        TGraphicControl::Dispatch(Message);
    }
};

class TActionForm : public TForm {
public:
    using TForm::TForm;
    std::function<void()> Action;
    std::vector<UINT> Received;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_USER + 5 && Action) Action();
        if (Message.Msg >= WM_LBUTTONDOWN && Message.Msg <= WM_MBUTTONDBLCLK)
            Received.push_back(Message.Msg);
        TForm::Dispatch(Message);
    }
};

struct Routing : ::testing::Test {
    void SetUp() override {
        Form.SetBounds(0, 0, 200, 150);
        Child = new TLogged(&Form);
        Child->SetParent(&Form);
        Child->SetBounds(50, 40, 30, 20);
        Form.Handle();
    }
    void Mouse(UINT Msg, WPARAM Keys, int32_t X, int32_t Y) {
        Form.Perform(Msg, Keys, MAKELPARAM(X, Y));
    }
    TActionForm Form{nullptr};
    TLogged* Child = nullptr;
};

TEST_F(Routing, ChildGetsItsMessagesInItsOwnCoordinatesWithEnterAndLeave) {
    Mouse(WM_MOUSEMOVE, 0, 10, 10);
    Mouse(WM_MOUSEMOVE, 0, 55, 45);
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 55, 45);
    Mouse(WM_LBUTTONUP, 0, 56, 46);
    Mouse(WM_MOUSEMOVE, 0, 150, 100);
    const std::vector<std::string> expected = {"enter", "move 5,5", "down 5,5", "up 6,6", "leave"};
    EXPECT_EQ(Child->Log, expected);
    EXPECT_TRUE(Form.Received.empty());
    // Outside the child the form takes the press itself.
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 150, 100);
    ASSERT_FALSE(Form.Received.empty());
    EXPECT_EQ(Form.Received.back(), WM_LBUTTONDOWN);
    Mouse(WM_LBUTTONUP, 0, 150, 100);
}

TEST_F(Routing, CaptureKeepsMessagesWithTheChildAfterItsPress) {
    Mouse(WM_MOUSEMOVE, 0, 55, 45);
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 55, 45);
    EXPECT_TRUE(Child->MouseCapture());
    Child->Log.clear();
    Mouse(WM_MOUSEMOVE, MK_LBUTTON, 10, 10);
    Mouse(WM_LBUTTONUP, 0, 10, 10);
    const std::vector<std::string> expected = {"leave", "move -40,-30", "up -40,-30"};
    EXPECT_EQ(Child->Log, expected);
    EXPECT_FALSE(Child->MouseCapture());
    EXPECT_TRUE(Form.Received.empty());
}

TEST_F(Routing, WindowLeftTellsTheChildTheMouseLeft) {
    Mouse(WM_MOUSEMOVE, 0, 55, 45);
    Form.Perform(CM_MOUSELEAVE, 0, 0);
    const std::vector<std::string> expected = {"enter", "move 5,5", "leave"};
    EXPECT_EQ(Child->Log, expected);
}

TEST_F(Routing, DisabledOrHiddenChildrenTakeNothing) {
    Child->SetEnabled(false);
    EXPECT_EQ(Form.ControlAtPos({55, 45}, false), nullptr);
    EXPECT_EQ(Form.ControlAtPos({55, 45}, true), Child);
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 55, 45);
    Mouse(WM_LBUTTONUP, 0, 55, 45);
    EXPECT_EQ(Form.Received.size(), 2u);
    Child->SetEnabled(true);
    Child->Hide();
    EXPECT_EQ(Form.ControlAtPos({55, 45}, true), nullptr);
}

TEST_F(Routing, FindDragTargetLooksThroughShownWindows) {
    Form.SetBounds(300, 200, 200, 150);
    EXPECT_EQ(FindDragTarget({355, 245}, false), nullptr); // the form is hidden
    Form.Show();
    EXPECT_EQ(FindDragTarget({355, 245}, false), Child);
    EXPECT_EQ(FindDragTarget({320, 220}, false), &Form);
    Child->SetEnabled(false);
    EXPECT_EQ(FindDragTarget({355, 245}, false), &Form);
    EXPECT_EQ(FindDragTarget({355, 245}, true), Child);
    int32_t ox = 0, oy = 0;
    Form.ClientOrigin(ox, oy);
    EXPECT_EQ(WindowFromPoint({ox - 1, oy + 40}), nullptr);
    TPoint p{5, 6};
    ASSERT_TRUE(ClientToScreen(Form.Handle(), &p));
    EXPECT_EQ(p, (TPoint{ox + 5, oy + 6}));
    ASSERT_TRUE(ScreenToClient(Form.Handle(), &p));
    EXPECT_EQ(p, (TPoint{5, 6}));
}

TEST(PeekMessage, FindsByWindowAndRangeAndRemovesOnlyWhenAsked) {
    TActionForm a(nullptr), b(nullptr);
    PostMessageW(a.Handle(), WM_USER + 1, 1, 0);
    PostMessageW(b.Handle(), WM_LBUTTONDOWN, 2, 0);
    PostMessageW(a.Handle(), WM_RBUTTONUP, 3, 0);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_MBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE));
    ASSERT_TRUE(PeekMessageW(&msg, a.Handle(), WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, b.Handle());
    EXPECT_EQ(msg.message, WM_LBUTTONDOWN);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_RBUTTONUP);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

    PostQuitMessage(3);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_LBUTTONDOWN, WM_LBUTTONDOWN, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(MenuItems, TreeOwnershipAndOrder) {
    TPopupMenu menu(nullptr);
    TMenuItem* root = menu.Items();
    auto* a = new TMenuItem(&menu);
    auto* b = new TMenuItem(&menu);
    auto* sub = new TMenuItem(&menu);
    root->Add(a);
    root->Insert(0, b);
    b->Add(sub);
    EXPECT_EQ(root->Count(), 2);
    EXPECT_EQ(root->Items(0), b);
    EXPECT_EQ(root->IndexOf(a), 1);
    EXPECT_EQ(sub->Parent(), b);
    EXPECT_THROW(root->Items(2), Exception);
    // An item freed by itself leaves its list; its own items go with it.
    delete b;
    EXPECT_EQ(root->Count(), 1);
    EXPECT_EQ(menu.ComponentCount(), 1);
    a->SetCaption(u"-");
    EXPECT_TRUE(a->IsLine());
}

TEST(MenuItems, ClickOnlyWhenEnabled) {
    TMenuItem item(nullptr);
    int32_t clicks = 0;
    item.OnClick = [&](TObject*) { ++clicks; };
    item.Click();
    item.SetEnabled(false);
    item.Click();
    EXPECT_EQ(clicks, 1);
}

TEST(PopupMenu, HoldsMousePressesWhileOpenAndDeliversThemAfter) {
    TActionForm form(nullptr);
    TPopupMenu menu(nullptr);
    auto* item = new TMenuItem(&menu);
    item->SetCaption(u"Item");
    menu.Items()->Add(item);
    bool openInside = false;
    size_t receivedInside = 99;
    menu.OnPopup = [&](TObject*) {
        PostMessage(form.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessage(form.Handle(), WM_USER + 5, 0, 0);
    };
    form.Action = [&] {
        openInside = MenuLoopActive();
        receivedInside = form.Received.size();
        EndMenu();
    };
    menu.Popup(10, 10);
    EXPECT_TRUE(openInside);
    EXPECT_EQ(receivedInside, 0u);
    EXPECT_FALSE(MenuLoopActive());
    Application->ProcessMessages();
    ASSERT_EQ(form.Received.size(), 1u);
    EXPECT_EQ(form.Received[0], WM_LBUTTONDOWN);
}

TEST(ShortCuts, TextsAsMenusShowThem) {
    const struct {
        TShortCut Key;
        const char16_t* Text;
    } cases[] = {
        {ShortCut('O', ssCtrl), u"Ctrl+O"},
        {ShortCut('C', ssShift | ssCtrl), u"Shift+Ctrl+C"},
        {ShortCut('X', ssShift | ssCtrl | ssAlt), u"Shift+Ctrl+Alt+X"},
        {ShortCut('B', ssAlt), u"Alt+B"},
        {ShortCut(VK_ADD, 0), u"Num +"},
        {ShortCut(VK_SUBTRACT, 0), u"Num -"},
        {ShortCut(VK_MULTIPLY, 0), u"Num *"},
        {ShortCut(0x63, 0), u"Num 3"},
        {ShortCut(VK_PRIOR, 0), u"PgUp"},
        {ShortCut(VK_NEXT, 0), u"PgDown"},
        {ShortCut(VK_HOME, 0), u"Home"},
        {ShortCut(VK_END, 0), u"End"},
        {ShortCut(VK_DELETE, 0), u"Del"},
        {ShortCut(VK_LEFT, ssCtrl), u"Ctrl+Left"},
        {ShortCut(VK_F1, 0), u"F1"},
        {ShortCut(VK_F11, 0), u"F11"},
        {ShortCut('7', ssCtrl), u"Ctrl+7"},
        {ShortCut(VK_ESCAPE, 0), u"Esc"},
        {ShortCut(VK_SPACE, ssShift), u"Shift+Space"},
        {scNone, u""},
        {ShortCut(0xFF, ssCtrl), u""}, // a key without a name
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShortCutToText(c.Key), String(c.Text)) << c.Key;
    EXPECT_EQ(ShortCut('C', ssShift | ssCtrl), 'C' | scShift | scCtrl);
    EXPECT_EQ(ShortCut(0x1C1, 0), scNone); // not a key code
}

constexpr uint16_t FunctionKey(int N) {
    return static_cast<uint16_t>(VK_F1 + N - 1);
}

// A tree with shortcuts at several depths, submenus whose Click is logged, a disabled item and
// a disabled submenu.
class MenuShortCuts : public testing::Test {
protected:
    void SetUp() override {
        TMenuItem* file = Add(Menu.Items(), "file");
        Add(file, "open", ShortCut(FunctionKey(2), 0));
        TMenuItem* recent = Add(file, "recent");
        Add(recent, "first", ShortCut('K', ssAlt));
        Add(file, "save", ShortCut(FunctionKey(3), 0))->SetEnabled(false);
        Add(Menu.Items(), "line", ShortCut(FunctionKey(5), 0))->SetCaption(u"-");
        Add(Menu.Items(), "saveAs", ShortCut(FunctionKey(3), 0));
        TMenuItem* tools = Add(Menu.Items(), "tools");
        tools->SetEnabled(false);
        Add(tools, "rotate", ShortCut(FunctionKey(4), 0));
    }
    TMenuItem* Add(TMenuItem* Parent, const std::string& Name, TShortCut Key = scNone) {
        auto* item = new TMenuItem(&Menu);
        item->SetCaption(u"x");
        item->SetShortCut(Key);
        item->OnClick = [this, Name](TObject*) { Log.push_back(Name); };
        Parent->Add(item);
        return item;
    }
    TPopupMenu Menu{nullptr};
    std::vector<std::string> Log;
};

TEST_F(MenuShortCuts, RunsTheFirstEnabledItemAnywhereInTheTree) {
    constexpr LPARAM alt = LPARAM(1) << 29;
    const struct {
        uint16_t Key;
        LPARAM Data;
        bool Found;
        std::vector<std::string> Log;
    } cases[] = {
        {FunctionKey(2), 0, true, {"file", "open"}},
        // Two levels down: each submenu's Click runs first, from the top, as when it opens.
        {'K', alt, true, {"file", "recent", "first"}},
        {'K', 0, false, {}},                   // without Alt it is another shortcut
        {FunctionKey(3), 0, true, {"saveAs"}}, // the disabled item with it is passed over
        {FunctionKey(4), 0, false, {}},        // under a disabled submenu
        {FunctionKey(5), 0, false, {}},        // a separator is never run
        {FunctionKey(6), 0, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        Log.clear();
        TWMKey message{WM_KEYDOWN, c.Key, c.Data, 0};
        EXPECT_EQ(Menu.IsShortCut(message), c.Found);
        EXPECT_EQ(Log, c.Log);
    }
}

TEST(MenuItems, RadioItemsOfAGroupCheckOneAtATime) {
    TPopupMenu menu(nullptr);
    std::vector<TMenuItem*> items;
    for (int32_t i = 0; i < 4; ++i) {
        items.push_back(new TMenuItem(&menu));
        items.back()->SetRadioItem(i < 3);
        menu.Items()->Add(items.back());
    }
    items[2]->SetGroupIndex(1);
    for (TMenuItem* item : items)
        item->SetChecked(true);
    items[0]->SetChecked(true);
    // The other radio item of group 0 was cleared; group 1 and the plain item keep theirs.
    EXPECT_TRUE(items[0]->Checked());
    EXPECT_FALSE(items[1]->Checked());
    EXPECT_TRUE(items[2]->Checked());
    EXPECT_TRUE(items[3]->Checked());
}

TEST(ContextMenu, ARightClickShowsTheMenuOfTheControlUnderItOrElseOfItsParent) {
    TActionForm form(nullptr);
    form.SetBounds(0, 0, 200, 150);
    auto* child = new TLogged(&form);
    child->SetParent(&form);
    child->SetBounds(50, 40, 30, 20);
    form.Handle();
    TPopupMenu childMenu(nullptr), formMenu(nullptr);
    std::vector<TComponent*> shownFor;
    std::vector<TPoint> shownAt;
    for (TPopupMenu* menu : {&childMenu, &formMenu}) {
        auto* item = new TMenuItem(menu);
        item->SetCaption(u"Item");
        menu->Items()->Add(item);
        menu->OnPopup = [&](TObject* Sender) {
            shownFor.push_back(static_cast<TPopupMenu*>(Sender)->PopupComponent);
            PostMessage(form.Handle(), WM_USER + 5, 0, 0);
        };
    }
    form.Action = [] { EndMenu(); };
    child->SetPopupMenu(&childMenu);
    form.SetPopupMenu(&formMenu);
    form.Perform(WM_RBUTTONUP, 0, MAKELPARAM(55, 45));
    form.Perform(WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    form.Perform(WM_LBUTTONUP, 0, MAKELPARAM(55, 45)); // the left button asks for none
    child->SetPopupMenu(nullptr);
    form.Perform(WM_RBUTTONUP, 0, MAKELPARAM(55, 45));
    EXPECT_EQ(shownFor, (std::vector<TComponent*>{child, &form, &form}));

    // A menu freed while a control names it is forgotten.
    auto* gone = new TPopupMenu(nullptr);
    child->SetPopupMenu(gone);
    delete gone;
    EXPECT_EQ(child->PopupMenu(), nullptr);
}

} // namespace

namespace {

// A context menu that records where it was asked to show instead of showing.
class TRecordedMenu : public TPopupMenu {
public:
    using TPopupMenu::TPopupMenu;
    std::vector<std::pair<int32_t, int32_t>> Shown;
    void Popup(int32_t X, int32_t Y) override { Shown.emplace_back(X, Y); }
};

} // namespace

TEST(PopupMenu, AControlShowsItsContextMenuAtTheRightButtonRelease) {
    TForm form(nullptr);
    form.SetBounds(100, 50, 300, 200);
    auto* panel = new TLogged(&form);
    panel->SetParent(&form);
    panel->SetBounds(10, 20, 100, 100);
    auto* menu = new TRecordedMenu(&form);
    panel->SetPopupMenu(menu);
    int32_t x = 7, y = 9;
    panel->ClientToScreen(x, y);

    panel->Perform(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(7, 9));
    EXPECT_TRUE(menu->Shown.empty()); // the press alone shows nothing
    panel->Perform(WM_RBUTTONUP, 0, MAKELPARAM(7, 9));
    ASSERT_EQ(menu->Shown.size(), 1u);
    EXPECT_EQ(menu->Shown[0], std::make_pair(x, y));
    EXPECT_EQ(menu->PopupComponent, panel);

    menu->AutoPopup = false;
    panel->Perform(WM_RBUTTONUP, 0, MAKELPARAM(7, 9));
    EXPECT_EQ(menu->Shown.size(), 1u);

    delete menu;
    EXPECT_EQ(panel->PopupMenu(), nullptr);
    panel->Perform(WM_RBUTTONUP, 0, MAKELPARAM(7, 9)); // nothing to show, nothing freed used
}
