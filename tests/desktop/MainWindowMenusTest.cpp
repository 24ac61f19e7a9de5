// The main window's menus in a window made off screen: keys pressed as the toolkit delivers
// them go through the window's shortcut pass; the menu button drops the main menu and a right
// click in the view the context menu; the Language menu lists the language files and switches
// the window's captions.
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/formMain.h"
#include "app/formMessage.h"
#include "components/SVImageButton.h"
#include "components/SVPaintPanel.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/NativeWindow.h"
#include "raster/RasterStartup.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

String Str(const fs::path& Path) {
    return StrFromUtf8(Path.string());
}

// A main window whose settings live in a scratch home; every command of the menus logs its
// name instead of doing its work.
class MainWindowMenus : public testing::Test {
protected:
    void SetUp() override {
        raster::InitializeRasterLibrary();
        setenv("XDG_CONFIG_HOME", (Root.Path() / "config").c_str(), 1);
        setenv("HOME", (Root.Path() / "home").c_str(), 1);
        Form = new TfMain(nullptr);
        fMessage = new TfMessage(nullptr);
        Application->SetMainForm(Form);
        Form->Show();
        Log(Form->pmMain->Items());
        Log(Form->pmContext->Items());
        Form->OnKeyDown = [this](TObject*, uint16_t&, TShiftState) { ReachedKeyDown = true; };
    }
    void TearDown() override {
        Application->SetMainForm(nullptr);
        delete fMessage;
        fMessage = nullptr;
        delete Form;
        raster::FinalizeRasterLibrary();
    }
    void Log(TMenuItem* Item) {
        for (int32_t i = 0; i < Item->Count(); ++i) {
            TMenuItem* child = Item->Items(i);
            if (child->Count() > 0) {
                Log(child);
            } else if (!child->IsLine()) {
                child->OnClick = [this](TObject* Sender) {
                    Clicked.push_back(Utf8FromStr(static_cast<TMenuItem*>(Sender)->Name()));
                };
                Commands.push_back({child, child->Enabled()});
            }
        }
    }
    // Every command enabled but the one named (none when Disabled is empty).
    void EnableCommandsBut(const std::string& Disabled) {
        for (const auto& command : Commands)
            command.first->SetEnabled(Utf8FromStr(command.first->Name()) != Disabled);
    }
    // What the last key did: the commands it ran, "minimised", "passed on" to the window's key
    // handler, or "stopped" when it went nowhere.
    std::string Outcome() const {
        std::string out;
        for (const std::string& name : Clicked)
            out += (out.empty() ? "" : ", ") + name;
        if (Form->WindowState() == wsMinimized) out += "minimised";
        if (ReachedKeyDown) out += "passed on";
        return out.empty() ? "stopped" : out;
    }
    // The key pressed and released in the picture view, which has the focus.
    void Press(Qt::Key Key, Qt::KeyboardModifiers Modifiers) {
        QWidget* client = platform::detail::NativeWindowOf(Form->View->Handle())->Client;
        QKeyEvent press(QEvent::KeyPress, Key, Modifiers);
        QCoreApplication::sendEvent(client, &press);
        QKeyEvent release(QEvent::KeyRelease, Key, Modifiers);
        QCoreApplication::sendEvent(client, &release);
    }

    ScratchFolder Root;
    TfMain* Form = nullptr;
    std::vector<std::pair<TMenuItem*, bool>> Commands;
    std::vector<std::string> Clicked;
    bool ReachedKeyDown = false;
};

} // namespace

TEST_F(MainWindowMenus, TheShortcutPass) {
    const struct {
        const char* Name;
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        const char* Disabled; // the one command disabled, "" for none
        bool EditorOpen;
        const char* Outcome;
    } cases[] = {
        {"Ctrl+O", Qt::Key_O, Qt::ControlModifier, "", false, "miOpen"},
        {"a disabled command's key", Qt::Key_O, Qt::ControlModifier, "miOpen", false, "passed on"},
        {"Ctrl+C", Qt::Key_C, Qt::ControlModifier, "", false, "miCopyImage"},
        {"Shift+Ctrl+C", Qt::Key_C, Qt::ShiftModifier | Qt::ControlModifier, "", false,
         "miCopyFile"},
        {"Alt+B", Qt::Key_B, Qt::AltModifier, "", false, "miBackgroundColor"},
        {"Alt+F", Qt::Key_F, Qt::AltModifier, "", false, "miFitToWindow"},
        {"Alt+X", Qt::Key_X, Qt::AltModifier, "", false, "miExit"},
        {"Num +", Qt::Key_Plus, Qt::KeypadModifier, "", false, "miZoomIn"},
        {"PgDown", Qt::Key_PageDown, Qt::NoModifier, "", false, "miNextImage"},
        {"Ctrl+Left, a key the view does not take", Qt::Key_Left, Qt::ControlModifier, "", false,
         "miRotateLeft"},
        {"F11", Qt::Key_F11, Qt::NoModifier, "", false, "miThumbnails"},
        {"Space", Qt::Key_Space, Qt::NoModifier, "", false, "miEditCaption"},
        {"Space, its command disabled", Qt::Key_Space, Qt::NoModifier, "miEditCaption", false,
         "stopped"},
        {"Esc", Qt::Key_Escape, Qt::NoModifier, "", false, "minimised"},
        {"Delete", Qt::Key_Delete, Qt::NoModifier, "", false, "miDelete"},
        {"Delete, its command disabled", Qt::Key_Delete, Qt::NoModifier, "miDelete", false,
         "passed on"},
        {"Shift+Delete", Qt::Key_Delete, Qt::ShiftModifier, "", false, "miDelete"},
        {"Shift+Delete, its command disabled", Qt::Key_Delete, Qt::ShiftModifier, "miDelete", false,
         "stopped"},
        {"editor open: Alt+B", Qt::Key_B, Qt::AltModifier, "", true, "passed on"},
        {"editor open: Space", Qt::Key_Space, Qt::NoModifier, "", true, "passed on"},
        {"editor open: Esc", Qt::Key_Escape, Qt::NoModifier, "", true, "stopped"},
        {"editor open: Shift+Delete", Qt::Key_Delete, Qt::ShiftModifier, "", true, "passed on"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EnableCommandsBut(c.Disabled);
        Form->eCaption->SetVisible(c.EditorOpen);
        Clicked.clear();
        ReachedKeyDown = false;
        Press(c.Key, c.Modifiers);
        EXPECT_EQ(Outcome(), c.Outcome);
        Form->SetWindowState(wsNormal);
    }
}

TEST_F(MainWindowMenus, AShortcutInTheViewMenuSetsItsCheckMarksFirst) {
    Form->AutoSize = true;
    Form->FitToWindow = false;
    Press(Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(Clicked, std::vector<std::string>{"miBackgroundColor"});
    EXPECT_TRUE(Form->miAutoSize->Checked());
    EXPECT_FALSE(Form->miFitToWindow->Checked());
}

TEST_F(MainWindowMenus, TheMenuButtonDropsTheMainMenu) {
    int32_t popups = 0;
    Form->pmMain->OnPopup = [&](TObject*) {
        ++popups;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { EndMenu(); }, Qt::QueuedConnection);
    };
    TSVImageButton* button = Form->btnMenu;
    ASSERT_EQ(button->Parent(), Form->pTitleBar);
    EXPECT_EQ((TRect{button->Left(), button->Top(), button->Width(), button->Height()}),
              (TRect{0, 5, 16, 16}));
    Form->pTitleBar->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 13));
    Form->pTitleBar->Perform(WM_LBUTTONUP, 0, MAKELPARAM(8, 13));
    Application->ProcessMessages();
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(Form->pmMain->PopupComponent, button);
}

TEST_F(MainWindowMenus, ARightClickInTheViewShowsTheContextMenu) {
    std::vector<TComponent*> shownFor;
    Form->pmContext->OnPopup = [&](TObject*) {
        shownFor.push_back(Form->pmContext->PopupComponent);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { EndMenu(); }, Qt::QueuedConnection);
    };
    Form->View->Perform(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    Form->View->Perform(WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
    EXPECT_EQ(shownFor, std::vector<TComponent*>{Form->View});
    ASSERT_EQ(Form->pmContext->Items()->Count(), 1);
    EXPECT_EQ(Form->pmContext->Items()->Items(0), Form->mipOpen);
}

TEST_F(MainWindowMenus, TheLanguageMenuSwitchesTheCaptions) {
    const fs::path lang = Root.Path() / "base" / "lang";
    fs::create_directories(lang);
    WriteFileBytes(lang / "English.lang",
                   "[formMain]\nmiFile.Menu=&File\nmiOpen.Menu=&Open\nbtnMenu.Hint=Menu\n");
    WriteFileBytes(lang / "German.lang", "[formMain]\nmiFile.Menu=&Datei\n"
                                         "miOpen.Menu=\xC3\x96&ffnen\nbtnMenu.Hint=Men\xC3\xBC\n"
                                         "miExit.menu=never\n.Menu=nameless\n");
    delete LangManager;
    LangManager = new TSVLangManager(u"english", Str(Root.Path() / "base"));
    Settings->Language = LangManager->Language;
    Form->BuildLanguageMenu();
    Form->BuildLanguageMenu(); // built again, not doubled

    TMenuItem* menu = Form->miLanguage;
    ASSERT_EQ(menu->Count(), 2);
    TMenuItem* english = menu->Items(0)->Caption() == u"English" ? menu->Items(0) : menu->Items(1);
    TMenuItem* german = english == menu->Items(0) ? menu->Items(1) : menu->Items(0);
    EXPECT_EQ(german->Caption(), u"German");
    EXPECT_TRUE(english->RadioItem());
    EXPECT_TRUE(english->Checked()); // the saved name matches without regard to case
    EXPECT_FALSE(german->Checked());

    german->Click();
    EXPECT_TRUE(german->Checked());
    EXPECT_FALSE(english->Checked());
    EXPECT_EQ(Settings->Language, u"German");
    EXPECT_EQ(Form->miFile->Caption(), u"&Datei");
    EXPECT_EQ(Form->miOpen->Caption(), u"\u00D6&ffnen");
    EXPECT_EQ(Form->btnMenu->Hint, u"Men\u00FC");
    EXPECT_EQ(Form->miExit->Caption(), u"E&xit"); // the kind "menu" is not "Menu"
    EXPECT_EQ(english->Caption(), u"English");    // a line without a name names nothing

    english->Click();
    EXPECT_EQ(Settings->Language, u"English");
    EXPECT_EQ(Form->miOpen->Caption(), u"&Open");
}
