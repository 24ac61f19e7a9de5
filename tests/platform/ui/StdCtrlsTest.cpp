// Push buttons, group boxes, the track bar and modal forms: a button's modal result ends
// ShowModal, Enter and Esc reach the default and cancel buttons, the track bar keeps its position
// in its range. The list box: owner-drawn items, selection by mouse and keys with its clicks,
// scrolling by the bar, the wheel and ItemIndex, and the selection following inserted and
// deleted items. The edit field telling a new text.
#include "platform/rtl/SysUtils.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/Timer.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A dialog with an edit field and OK, Cancel and a third button without a modal result;
// Clicks records the buttons' OnClick in order, with the form's modal result at that moment.
class TDialogForm : public TForm {
public:
    TDialogForm() : TForm(nullptr) {
        SetBorderStyle(bsDialog);
        SetClientSize(300, 120);
        Field = new TEdit(this);
        Field->SetBounds(10, 10, 100, 21);
        Field->SetParent(this);
        Ok = MakeButton(u"Ok", 10, mrOk);
        Ok->Default = true;
        Cancel = MakeButton(u"Cancel", 100, mrCancel);
        Cancel->Cancel = true;
        Other = MakeButton(u"Other", 190, mrNone);
    }

    TButton* MakeButton(const char16_t* Name, int32_t Left, TModalResult Result) {
        auto* button = new TButton(this);
        button->SetName(Name);
        button->SetCaption(Name);
        button->SetBounds(Left, 80, 75, 25);
        button->ModalResult = Result;
        button->OnClick = [this, Name](TObject*) {
            Clicks.push_back(String(Name) + u"=" + static_cast<char16_t>(u'0' + ModalResult()));
        };
        button->SetParent(this);
        return button;
    }

    TEdit* Field;
    TButton* Ok;
    TButton* Cancel;
    TButton* Other;
    std::vector<String> Clicks;
};

// Runs Action once from the message loop that ShowModal runs.
class TLater {
public:
    explicit TLater(std::function<void()> Action) : FTimer(nullptr) {
        FTimer.SetInterval(1);
        FTimer.SetOnTimer([this, Action = std::move(Action)](TObject*) {
            FTimer.SetEnabled(false);
            Action();
        });
    }

private:
    TTimer FTimer;
};

} // namespace

TEST(ModalForm, AButtonsModalResultEndsShowModalBeforeItsOnClickRuns) {
    struct Case {
        const char* Name;
        std::function<void(TDialogForm&)> Answer;
        TModalResult Result;
        std::vector<String> Clicks;
    };
    const std::vector<Case> cases = {
        {"OK", [](TDialogForm& F) { F.Ok->Click(); }, mrOk, {u"Ok=1"}},
        {"Cancel", [](TDialogForm& F) { F.Cancel->Click(); }, mrCancel, {u"Cancel=2"}},
        // A button without a modal result leaves the form open.
        {"Other, then OK",
         [](TDialogForm& F) {
             F.Other->Click();
             EXPECT_TRUE(F.Visible());
             F.Ok->Click();
         },
         mrOk,
         {u"Other=0", u"Ok=1"}},
        {"Close", [](TDialogForm& F) { F.Close(); }, mrCancel, {}},
        {"code", [](TDialogForm& F) { F.SetModalResult(7); }, 7, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TDialogForm form;
        bool shownModal = false;
        TLater answer([&] {
            shownModal = form.Visible();
            c.Answer(form);
        });
        EXPECT_EQ(form.ShowModal(), c.Result);
        EXPECT_TRUE(shownModal);
        EXPECT_FALSE(form.Visible());
        EXPECT_EQ(form.Clicks, c.Clicks);
    }
}

TEST(ModalForm, CloseQueryCanKeepItOpenAndAVisibleFormCannotBeModal) {
    TDialogForm form;
    int32_t asked = 0;
    form.OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = ++asked > 1; };
    // The first answer (OK) is refused and leaves the form open; the second (Cancel) ends it.
    int32_t answers = 0;
    TTimer timer(nullptr);
    timer.SetInterval(1);
    timer.SetOnTimer([&](TObject*) {
        EXPECT_TRUE(form.Visible());
        if (answers++ == 0)
            form.Ok->Click();
        else
            form.Cancel->Click();
    });
    EXPECT_EQ(form.ShowModal(), mrCancel);
    timer.SetEnabled(false);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(answers, 2);

    form.Show();
    EXPECT_THROW(form.ShowModal(), Exception);
}

TEST(ModalForm, EnterAndEscReachTheDefaultAndCancelButtons) {
    struct Case {
        const char* Name;
        uint16_t Key;
        std::function<void(TDialogForm&)> Prepare;
        bool Taken;
        const char16_t* Click;
    };
    const std::vector<Case> cases = {
        {"Enter in the field", VK_RETURN, [](TDialogForm& F) { F.Field->SetFocus(); }, true,
         u"Ok=1"},
        {"Esc in the field", VK_ESCAPE, [](TDialogForm& F) { F.Field->SetFocus(); }, true,
         u"Cancel=2"},
        // A focused button takes Enter itself.
        {"Enter on another button", VK_RETURN, [](TDialogForm& F) { F.Other->SetFocus(); }, true,
         u"Other=0"},
        {"Enter, default disabled", VK_RETURN,
         [](TDialogForm& F) {
             F.Field->SetFocus();
             F.Ok->SetEnabled(false);
         },
         false, nullptr},
        {"Esc, cancel hidden", VK_ESCAPE,
         [](TDialogForm& F) {
             F.Field->SetFocus();
             F.Cancel->Hide();
         },
         false, nullptr},
        {"Esc without a cancel button", VK_ESCAPE,
         [](TDialogForm& F) {
             F.Field->SetFocus();
             F.Cancel->Cancel = false;
         },
         false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TDialogForm form;
        form.Show();
        c.Prepare(form);
        EXPECT_EQ(form.Perform(CM_DIALOGKEY, c.Key, 0), c.Taken ? 1 : 0);
        EXPECT_EQ(form.Clicks, c.Click ? std::vector<String>{c.Click} : std::vector<String>{});
    }
}

// While a form is modal, the other shown forms take no input, the main form's shortcuts
// included; a modal form over it shuts it out in turn. Afterwards, also after an exception,
// they all take input again, and a form the program disabled stays disabled.
TEST(ModalForm, TheOtherFormsTakeNoInputUntilItEnds) {
    TForm main(nullptr);
    int32_t shortcuts = 0;
    main.OnShortCut = [&](TWMKey&, bool& Handled) { Handled = ++shortcuts > 0; };
    main.Show();
    Application->SetMainForm(&main);
    TForm other(nullptr);
    other.Show();
    TForm disabled(nullptr);
    disabled.Show();
    disabled.SetEnabled(false);
    TDialogForm outer;
    TDialogForm inner;
    // Which of main, other, outer take input: upper case for yes.
    const auto state = [&] {
        std::string s;
        for (auto [form, letter] :
             {std::pair<TForm*, char>{&main, 'm'}, {&other, 'o'}, {&outer, 'd'}})
            s += IsWindowEnabled(form->Handle()) ? static_cast<char>(letter - 32) : letter;
        return s;
    };
    std::vector<std::string> seen;
    TLater answerOuter([&] {
        seen.push_back(state());
        outer.Field->SetFocus();
        outer.Field->Perform(WM_KEYDOWN, VK_NEXT, 0); // Page Down typed in the dialog's field
        TLater answerInner([&] {
            seen.push_back(state());
            inner.Cancel->Click();
        });
        inner.ShowModal();
        seen.push_back(state());
        outer.Ok->Click();
    });
    EXPECT_EQ(outer.ShowModal(), mrOk);
    EXPECT_EQ(seen, (std::vector<std::string>{"moD", "mod", "moD"}));
    EXPECT_EQ(shortcuts, 0);
    EXPECT_EQ(state(), "MOD");
    EXPECT_FALSE(IsWindowEnabled(disabled.Handle()));
    // Keys in another form reach the main form's shortcuts again.
    other.Perform(WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(shortcuts, 1);

    outer.OnShow = [](TObject*) { throw Exception(u"failed while showing"); };
    EXPECT_THROW(outer.ShowModal(), Exception);
    EXPECT_FALSE(outer.Visible());
    EXPECT_EQ(state(), "MOD");
    outer.OnShow = nullptr;
    TLater answerAgain([&] { outer.Cancel->Click(); });
    EXPECT_EQ(outer.ShowModal(), mrCancel);
    Application->SetMainForm(nullptr);
}

TEST(ModalForm, ShownCentredOnItsOwner) {
    TForm owner(nullptr);
    owner.SetBounds(100, 80, 600, 400);
    owner.Show();
    auto* dialog = new TForm(&owner);
    dialog->SetBounds(0, 0, 200, 100);
    dialog->Position = poOwnerFormCenter;
    dialog->Show();
    // Within the few pixels by which the window system may shift a framed window.
    EXPECT_NEAR(dialog->Left(), owner.Left() + (600 - 200) / 2, 4);
    EXPECT_NEAR(dialog->Top(), owner.Top() + (400 - 100) / 2, 4);
}

TEST(GroupBox, DrawsAnEtchedFrameBelowItsCaption) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    auto* box = new TGroupBox(&form);
    box->SetBounds(10, 10, 200, 100);
    box->SetCaption(u"Image Quality");
    box->SetParent(&form);
    auto* inside = new TButton(&form);
    inside->SetParent(box);
    EXPECT_EQ(inside->Parent(), box);
    form.Show();
    box->Update();
    const HWND wnd = box->Handle();
    HDC dc = GetDC(wnd);
    const COLORREF shadow = ColorToRGB(clBtnShadow);
    const COLORREF highlight = ColorToRGB(clBtnHighlight);
    const COLORREF face = ColorToRGB(clBtnFace);
    EXPECT_EQ(GetPixel(dc, 0, 60), shadow);    // left edge
    EXPECT_EQ(GetPixel(dc, 1, 60), highlight); // its etched twin
    EXPECT_EQ(GetPixel(dc, 100, 98), shadow);  // bottom edge
    EXPECT_EQ(GetPixel(dc, 100, 99), highlight);
    EXPECT_EQ(GetPixel(dc, 100, 60), face); // inside
    // The caption covers the top edge where it stands, and shows ink.
    int32_t ink = 0;
    for (int32_t y = 0; y < 14; ++y)
        for (int32_t x = 8; x < 60; ++x)
            ink += GetPixel(dc, x, y) != face && GetPixel(dc, x, y) != shadow ? 1 : 0;
    EXPECT_GT(ink, 20);
    ReleaseDC(wnd, dc);
}

TEST(TrackBar, PositionStaysInItsRangeAndEveryChangeIsReported) {
    for (bool withWindow : {false, true}) {
        SCOPED_TRACE(withWindow);
        TForm form(nullptr);
        auto* bar = new TTrackBar(&form);
        bar->SetParent(&form);
        if (withWindow) form.Show();
        std::vector<int32_t> changes;
        bar->OnChange = [&](TObject* Sender) {
            EXPECT_EQ(Sender, bar);
            changes.push_back(bar->Position());
        };
        bar->SetMax(100);
        bar->SetMin(10); // the position 0 moves up into the range
        bar->SetPosition(90);
        bar->SetPosition(90); // no change, no report
        bar->SetPosition(150);
        bar->SetPosition(5);
        bar->SetMin(50); // clamps the position again
        bar->SetMax(40); // the minimum follows a maximum below it
        EXPECT_EQ(changes, (std::vector<int32_t>{10, 90, 100, 10, 50, 40}));
        EXPECT_EQ(bar->Min(), 40);
        EXPECT_EQ(bar->Max(), 40);
    }
}

namespace {

struct TDrawn {
    int32_t Index;
    TRect Rect;
    TOwnerDrawState State;
};

// A 100 x 70 list of 20-pixel items without border on a form: three items fit whole.
class ListBox : public testing::Test {
protected:
    void SetUp() override {
        form.SetBounds(0, 0, 200, 200);
        list = new TListBox(&form);
        list->SetParent(&form);
        list->SetBorderStyle(bsNone);
        list->SetBounds(0, 0, 100, 70);
        list->SetStyle(lbOwnerDrawFixed);
        list->SetItemHeight(20);
        list->SetColor(clBlack);
        list->OnDrawItem = [this](TWinControl* Control, int32_t Index, const TRect& Rect,
                                  TOwnerDrawState State) {
            EXPECT_EQ(Control, list);
            drawn.push_back({Index, Rect, State});
            TCanvas* canvas = list->Canvas();
            canvas->Brush()->SetColor(ItemColor(Index));
            canvas->FillRect(Rect);
        };
        list->OnClick = [this](TObject*) { clicks.push_back(list->ItemIndex()); };
        for (int i = 0; i < 10; ++i)
            list->Items()->Add(u"item" + IntToStr(i));
        wnd = list->Handle();
    }

    static TColor ItemColor(int32_t Index) { return RGB(10 * Index, 100, 200); }

    COLORREF PixelAt(int32_t X, int32_t Y) {
        list->Update();
        HDC dc = GetDC(wnd);
        const COLORREF pixel = GetPixel(dc, X, Y);
        ReleaseDC(wnd, dc);
        return pixel;
    }

    TForm form{nullptr};
    TListBox* list = nullptr;
    HWND wnd = nullptr;
    std::vector<TDrawn> drawn;
    std::vector<int32_t> clicks;
};

TEST_F(ListBox, OwnerDrawsTheShownItemsAtTheirPlacesAndFillsBelowTheLast) {
    EXPECT_TRUE(IsScrollBarVisible(wnd, SB_VERT));
    const int32_t width = 100 - GetSystemMetrics(SM_CXVSCROLL);
    EXPECT_EQ(list->ClientWidth(), width);
    EXPECT_EQ(list->PageSize(), 3);
    drawn.clear();
    list->Invalidate();
    list->Update();
    // Four items reach into the 70 pixels; the fourth is cut by the bottom.
    ASSERT_EQ(drawn.size(), 4u);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(drawn[i].Index, i);
        EXPECT_EQ(drawn[i].Rect, Rect(0, 20 * i, width, 20 * i + 20));
        EXPECT_EQ(drawn[i].State, 0);
    }
    EXPECT_EQ(PixelAt(5, 25), static_cast<COLORREF>(ItemColor(1)));
    EXPECT_EQ(PixelAt(5, 69), static_cast<COLORREF>(ItemColor(3)));

    list->SetItemIndex(1);
    drawn.clear();
    list->Update();
    bool selected = false;
    for (const TDrawn& d : drawn)
        if (d.Index == 1) selected = (d.State & odSelected) != 0;
    EXPECT_TRUE(selected);

    // Two items: the rest of the client area takes the list's colour.
    list->Items()->Delete(9);
    while (list->Items()->Count() > 2)
        list->Items()->Delete(2);
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
    EXPECT_EQ(PixelAt(5, 50), static_cast<COLORREF>(clBlack));
    EXPECT_EQ(PixelAt(5, 39), static_cast<COLORREF>(ItemColor(1)));
}

TEST_F(ListBox, APressSelectsAndClicksAndKeysMoveTheSelection) {
    int32_t doubles = 0;
    list->OnDblClick = [&](TObject*) { ++doubles; };
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 45));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 45));
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(clicks, std::vector<int32_t>{2});
    SendMessage(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessage(wnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(clicks, (std::vector<int32_t>{2, 0}));

    // Setting ItemIndex clicks nothing; a key that moves the selection does.
    clicks.clear();
    list->SetItemIndex(4);
    EXPECT_TRUE(clicks.empty());
    struct Case {
        uint16_t Key;
        int32_t Index;
    };
    for (const Case& c : {Case{VK_DOWN, 5}, Case{VK_UP, 4}, Case{VK_END, 9}, Case{VK_NEXT, 9},
                          Case{VK_PRIOR, 7}, Case{VK_HOME, 0}, Case{VK_UP, 0}}) {
        SCOPED_TRACE(c.Key);
        SendMessage(wnd, WM_KEYDOWN, c.Key, 0);
        EXPECT_EQ(list->ItemIndex(), c.Index);
        EXPECT_GE(list->ItemIndex(), list->TopIndex());
        EXPECT_LT(list->ItemIndex(), list->TopIndex() + list->PageSize());
    }
    // The last two keys at an end moved nothing and clicked nothing.
    EXPECT_EQ(clicks, (std::vector<int32_t>{5, 4, 9, 7, 0}));

    // Below the last item a press selects nothing.
    while (list->Items()->Count() > 2)
        list->Items()->Delete(2);
    clicks.clear();
    SendMessage(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 50));
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_TRUE(clicks.empty());
}

TEST_F(ListBox, ScrollsByTheBarTheWheelAndTheSelection) {
    list->SetItemIndex(9);
    EXPECT_EQ(list->TopIndex(), 7);
    EXPECT_EQ(GetScrollPos(wnd, SB_VERT), 7);
    EXPECT_EQ(PixelAt(5, 5), static_cast<COLORREF>(ItemColor(7)));
    struct Case {
        UINT Msg;
        WPARAM WParam;
        int32_t Top;
    };
    for (const Case& c : {Case{WM_VSCROLL, SB_LINEUP, 6}, Case{WM_VSCROLL, SB_PAGEUP, 3},
                          Case{WM_VSCROLL, SB_TOP, 0}, Case{WM_VSCROLL, SB_LINEUP, 0},
                          Case{WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 3},
                          Case{WM_MOUSEWHEEL, MAKEWPARAM(0, -2 * WHEEL_DELTA), 7},
                          Case{WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 4},
                          Case{WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 2), 2},
                          Case{WM_VSCROLL, SB_BOTTOM, 7}, Case{WM_VSCROLL, SB_PAGEDOWN, 7}}) {
        SCOPED_TRACE(testing::Message() << c.Msg << " " << c.WParam);
        SendMessage(wnd, c.Msg, c.WParam, 0);
        EXPECT_EQ(list->TopIndex(), c.Top);
        EXPECT_EQ(GetScrollPos(wnd, SB_VERT), c.Top);
    }
    list->SetTopIndex(-5);
    EXPECT_EQ(list->TopIndex(), 0);
    list->SetTopIndex(100);
    EXPECT_EQ(list->TopIndex(), 7);
    EXPECT_EQ(list->ItemAtPos(TPoint{5, 25}), 8);
    // A taller list shows more: the top comes back so that no room is left empty.
    list->SetHeight(200);
    EXPECT_EQ(list->TopIndex(), 0);
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
}

TEST_F(ListBox, TheSelectionFollowsInsertedAndDeletedItems) {
    list->SetItemIndex(5);
    list->Items()->Delete(2);
    EXPECT_EQ(list->ItemIndex(), 4);
    EXPECT_EQ((*list->Items())[4], u"item5");
    list->Items()->Insert(0, u"first");
    EXPECT_EQ(list->ItemIndex(), 5);
    list->Items()->Delete(7);
    EXPECT_EQ(list->ItemIndex(), 5);
    list->Items()->Delete(5);
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_THROW(list->Items()->Delete(50), EListError);
    EXPECT_THROW(list->Items()->Insert(-1, u"x"), EListError);

    list->SetItemIndex(3);
    list->SetTopIndex(4);
    TStringList other;
    other.Add(u"a");
    other.Add(u"b");
    list->Items()->Assign(other);
    EXPECT_EQ(list->Items()->Count(), 2);
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_EQ(list->TopIndex(), 0);
    EXPECT_EQ(list->Items()->IndexOf(u"b"), 1);

    // Changes inside an update show once, at its end.
    list->Items()->BeginUpdate();
    for (int i = 0; i < 20; ++i)
        list->Items()->Add(u"more");
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
    list->Items()->EndUpdate();
    EXPECT_TRUE(IsScrollBarVisible(wnd, SB_VERT));
    list->SetItemIndex(30);
    EXPECT_EQ(list->ItemIndex(), -1);
    list->Items()->Clear();
    EXPECT_EQ(list->TopIndex(), 0);
    EXPECT_FALSE(IsScrollBarVisible(wnd, SB_VERT));
}

} // namespace

namespace {

// A new text tells OnChange whether or not the field has its window yet; the same text does not.
TEST(Edit, ANewTextRaisesOnChangeWithAndWithoutAWindow) {
    TForm form(nullptr);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    std::vector<String> changes;
    edit->OnChange = [&](TObject* Sender) {
        EXPECT_EQ(Sender, edit);
        changes.push_back(edit->Text());
    };
    edit->SetText(u"one");
    edit->SetText(u"one");
    EXPECT_FALSE(edit->HandleAllocated());
    edit->Handle();
    EXPECT_EQ(edit->Text(), u"one");
    edit->SetText(u"two");
    edit->SetText(u"two");
    edit->SetText(u"");
    EXPECT_EQ(changes, (std::vector<String>{u"one", u"two", u""}));
}

} // namespace
