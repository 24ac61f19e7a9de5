// Push buttons, group boxes, the track bar and modal forms: a button's modal result ends
// ShowModal, Enter and Esc reach the default and cancel buttons, the track bar keeps its position
// in its range.
#include "platform/ui/StdCtrls.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/Forms.h"
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
