// A drop-down menu closed by a press outside it, delivered as Qt delivers it to the open menu:
// the press waits in the queue for the button, which drops it when it lies on the button. And
// what a popup menu shows: shortcut texts, access keys, check marks and submenus.
#include "components/SVImageButton.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "raster/Bitmap32.h"
#include "raster/RasterStartup.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

constexpr UINT WM_TEST_ACTION = WM_USER + 9;

class TActionForm : public TForm {
public:
    using TForm::TForm;
    std::function<void()> Action;
    std::vector<TPoint> Presses;
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == WM_TEST_ACTION && Action) Action();
        if (Message.Msg == WM_LBUTTONDOWN)
            Presses.push_back({GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)});
        TForm::Dispatch(Message);
    }
};

class DesktopMenu : public testing::Test {
protected:
    void SetUp() override {
        raster::InitializeRasterLibrary();
        Form = std::make_unique<TActionForm>(nullptr);
        Form->SetBounds(100, 100, 200, 150);
        Button = new TSVImageButton(Form.get());
        Button->SetParent(Form.get());
        Button->SetBounds(20, 30, 16, 16);
        raster::TBitmap32 strip;
        strip.SetSize(48, 16);
        strip.Clear(0xFFFF0000u);
        Button->SetImage(&strip);
        Button->SetNumImages(3);
        Menu = new TPopupMenu(Form.get());
        auto* item = new TMenuItem(Menu);
        item->SetCaption(u"Item");
        Menu->Items()->Add(item);
        Menu->OnPopup = [this](TObject*) {
            ++Popups;
            PostMessage(Form->Handle(), WM_TEST_ACTION, 0, 0);
        };
        // The first time, a press at PressAt closes the menu; a menu opened again is ended.
        Form->Action = [this] {
            QWidget* popup = QApplication::activePopupWidget();
            if (Popups > 1 || popup == nullptr) {
                EndMenu();
                return;
            }
            const QPoint global(PressAt.X, PressAt.Y);
            QMouseEvent press(QEvent::MouseButtonPress, popup->mapFromGlobal(global), global,
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(popup, &press);
        };
        Button->SetDropDownMenu(Menu);
        Form->Show();
    }
    void TearDown() override {
        Form.reset();
        raster::FinalizeRasterLibrary();
    }
    // Opens the menu with a press on the button; the press at the client point (X, Y) of the form
    // closes it.
    void OpenAndCloseAt(int32_t X, int32_t Y) {
        PressAt = {X, Y};
        ::ClientToScreen(Form->Handle(), &PressAt);
        Form->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(25, 35));
        Form->Perform(WM_LBUTTONUP, 0, MAKELPARAM(25, 35));
        Application->ProcessMessages();
    }

    std::unique_ptr<TActionForm> Form;
    TSVImageButton* Button = nullptr;
    TPopupMenu* Menu = nullptr;
    int32_t Popups = 0;
    TPoint PressAt;
};

TEST_F(DesktopMenu, PressOnTheButtonClosesTheMenuWithoutOpeningItAgain) {
    OpenAndCloseAt(25, 35);
    EXPECT_EQ(Popups, 1);
    EXPECT_EQ(Button->State(), bsNormal);
    EXPECT_FALSE(MenuLoopActive());
}

TEST_F(DesktopMenu, PressElsewhereClosesTheMenuAndReachesTheWindow) {
    OpenAndCloseAt(150, 100);
    EXPECT_EQ(Popups, 1);
    ASSERT_EQ(Form->Presses.size(), 1u);
    EXPECT_EQ(Form->Presses[0], (TPoint{150, 100}));
}

// The texts of a menu's entries as the toolkit shows them: "!" marks a disabled entry, "*" a
// checked one; a submenu is opened (its Click runs, then it is filled) and follows in brackets.
std::string Shown(QMenu& Menu) {
    std::string out;
    for (QAction* action : Menu.actions()) {
        if (!out.empty()) out += "; ";
        if (action->isSeparator()) {
            out += "-";
            continue;
        }
        out += action->text().toStdString();
        if (!action->isEnabled()) out += "!";
        if (action->isChecked()) out += "*";
        if (QMenu* sub = action->menu()) {
            sub->aboutToShow();
            out += " [" + Shown(*sub) + "]";
        }
    }
    return out;
}

class ShownMenu : public testing::Test {
protected:
    void SetUp() override {
        TMenuItem* root = Menu.Items();
        Add(root, u"&Open", ShortCut('O', ssCtrl));
        Add(root, u"-");
        Add(root, u"Close");
        Add(root, u"Copy");
        TMenuItem* view = Add(root, u"View");
        TMenuItem* fit = Add(view, u"Fit", ShortCut('F', ssAlt));
        view->OnClick = [fit](TObject*) { fit->SetChecked(true); };
        Add(root, u"Next", ShortCut(VK_NEXT, 0))->SetEnabled(false);
        Menu.OnPopup = [this](TObject*) { PostMessage(Form.Handle(), WM_TEST_ACTION, 0, 0); };
        Form.Action = [this] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
                Text = Shown(*menu);
            EndMenu();
        };
    }
    TMenuItem* Add(TMenuItem* Parent, const String& Caption, TShortCut Key = scNone) {
        auto* item = new TMenuItem(&Menu);
        item->SetCaption(Caption);
        item->SetShortCut(Key);
        Parent->Add(item);
        return item;
    }
    TActionForm Form{nullptr};
    TPopupMenu Menu{nullptr};
    std::string Text;
};

TEST_F(ShownMenu, ShortcutsFollowATabAndCaptionsGetFreeAccessKeys) {
    Menu.Popup(10, 10);
    EXPECT_EQ(Text, "&Open\tCtrl+O; -; &Close; Co&py; &View [&Fit\tAlt+F*]; &Next\tPgDown!");
}

TEST_F(ShownMenu, ManualAccessKeysKeepTheCaptions) {
    Menu.AutoHotkeys = maManual;
    Menu.Popup(10, 10);
    EXPECT_EQ(Text, "&Open\tCtrl+O; -; Close; Copy; View [Fit\tAlt+F*]; Next\tPgDown!");
}

} // namespace
