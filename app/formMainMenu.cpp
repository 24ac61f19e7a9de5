// The main window's menus: the main menu with its shortcut keys, opened by the menu button in
// the title bar, the picture view's context menu, and the Language menu.
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/formMain.h"
#include "app/formThumbs.h"
#include "components/SVImageButton.h"
#include "components/SVPaintPanel.h"
#include "platform/rtl/TextUtils.h"

namespace {

// Commands whose handlers belong to other parts of the window are made disabled, without a
// handler; the part that binds a command enables it.
enum TItemState : uint8_t { Ready, Waiting };

TMenuItem* AddItem(TComponent* Owner, TMenuItem* Parent, const char16_t* Name,
                   const String& Caption, TShortCut Key = scNone, TItemState State = Ready) {
    auto* item = new TMenuItem(Owner);
    item->SetName(Name);
    item->SetCaption(Caption);
    item->SetShortCut(Key);
    item->SetEnabled(State == Ready);
    Parent->Add(item);
    return item;
}

TMenuItem* AddLine(TComponent* Owner, TMenuItem* Parent, const char16_t* Name) {
    return AddItem(Owner, Parent, Name, u"-");
}

bool SameName(const String& A, const String& B) {
    return LowerCase(A) == LowerCase(B);
}

} // namespace

void TfMain::CreateMenus() {
    pmMain = new TPopupMenu(this);
    pmMain->SetName(u"pmMain");
    pmMain->AutoHotkeys = maManual;
    TMenuItem* root = pmMain->Items();

    miFile = AddItem(this, root, u"miFile", u"&File");
    miOpen = AddItem(this, miFile, u"miOpen", u"&Open", ShortCut('O', ssCtrl), Waiting);
    miClose = AddItem(this, miFile, u"miClose", u"&Close", scNone, Waiting);
    miSaveAs = AddItem(this, miFile, u"miSaveAs", u"Save &As", ShortCut('S', ssCtrl), Waiting);
    N12 = AddLine(this, miFile, u"N12");
    miEditCaption = AddItem(this, miFile, u"miEditCaption", u"Edit Caption", scNone, Waiting);
    N2 = AddLine(this, miFile, u"N2");
    miDelete = AddItem(this, miFile, u"miDelete", u"Delete", ShortCut(VK_DELETE, 0), Waiting);
    N1 = AddLine(this, miFile, u"N1");

    miEdit = AddItem(this, root, u"miEdit", u"&Edit");
    miCopyImage =
        AddItem(this, miEdit, u"miCopyImage", u"&Copy Image", ShortCut('C', ssCtrl), Waiting);
    N3 = AddLine(this, miEdit, u"N3");
    miCopyFile = AddItem(this, miEdit, u"miCopyFile", u"Copy &File",
                         ShortCut('C', ssShift | ssCtrl), Waiting);
    miCopyFile->Tag = 0;
    miCutFile =
        AddItem(this, miEdit, u"miCutFile", u"Cu&t File", ShortCut('X', ssShift | ssCtrl), Waiting);
    miCutFile->Tag = 1;

    miView = AddItem(this, root, u"miView", u"&View");
    miView->OnClick = [this](TObject* Sender) { miViewClick(Sender); };
    miPreviousImage = AddItem(this, miView, u"miPreviousImage", u"Previous Image",
                              ShortCut(VK_PRIOR, 0), Waiting);
    miNextImage =
        AddItem(this, miView, u"miNextImage", u"Next Image", ShortCut(VK_NEXT, 0), Waiting);
    N7 = AddLine(this, miView, u"N7");
    miFirstImage =
        AddItem(this, miView, u"miFirstImage", u"First Image", ShortCut(VK_HOME, 0), Waiting);
    miLastImage =
        AddItem(this, miView, u"miLastImage", u"Last Image", ShortCut(VK_END, 0), Waiting);
    N6 = AddLine(this, miView, u"N6");
    miZoomIn = AddItem(this, miView, u"miZoomIn", u"Zoom In", ShortCut(VK_ADD, 0), Waiting);
    miZoomOut = AddItem(this, miView, u"miZoomOut", u"Zoom Out", ShortCut(VK_SUBTRACT, 0), Waiting);
    miZoom100 =
        AddItem(this, miView, u"miZoom100", u"Zoom 100%", ShortCut(VK_MULTIPLY, 0), Waiting);
    N5 = AddLine(this, miView, u"N5");
    miBackgroundColor =
        AddItem(this, miView, u"miBackgroundColor", u"Background Color", ShortCut('B', ssAlt));
    miBackgroundColor->OnClick = [this](TObject* Sender) { miBackgroundColorClick(Sender); };
    N4 = AddLine(this, miView, u"N4");
    miAutoSize =
        AddItem(this, miView, u"miAutoSize", u"Auto Window Size", ShortCut('A', ssAlt), Waiting);
    miFitToWindow = AddItem(this, miView, u"miFitToWindow", u"Fit Image to Window",
                            ShortCut('F', ssAlt), Waiting);
    N11 = AddLine(this, miView, u"N11");
    miThumbnails =
        AddItem(this, miView, u"miThumbnails", u"Thumbnails", ShortCut(VK_F11, 0), Waiting);

    miLanguage = AddItem(this, root, u"miLanguage", u"&Language");

    miTools = AddItem(this, root, u"miTools", u"&Tools");
    miRotateLeft =
        AddItem(this, miTools, u"miRotateLeft", u"Rotate Left", ShortCut(VK_LEFT, ssCtrl), Waiting);
    miRotateRight = AddItem(this, miTools, u"miRotateRight", u"Rotate Right",
                            ShortCut(VK_RIGHT, ssCtrl), Waiting);

    miHelp = AddItem(this, root, u"miHelp", u"&Help");
    miShortcutKeys =
        AddItem(this, miHelp, u"miShortcutKeys", u"Shortcut Keys", ShortCut(VK_F1, 0), Waiting);
    N9 = AddLine(this, miHelp, u"N9");
    miHomepage = AddItem(this, miHelp, u"miHomepage", HomepageAddress, scNone, Waiting);
    miCheckUpdate = AddItem(this, miHelp, u"miCheckUpdate", u"Check Update...", scNone, Waiting);
    N8 = AddLine(this, miHelp, u"N8");
    miAbout = AddItem(this, miHelp, u"miAbout", u"&About...", scNone, Waiting);

    N10 = AddLine(this, root, u"N10");
    miExit = AddItem(this, root, u"miExit", u"E&xit", ShortCut('X', ssAlt));
    miExit->OnClick = [this](TObject* Sender) { miExitClick(Sender); };

    pmContext = new TPopupMenu(this);
    pmContext->SetName(u"pmContext");
    mipOpen = AddItem(this, pmContext->Items(), u"mipOpen", u"&Open", scNone, Waiting);

    CreateMenuButton();
}

void TfMain::CreateMenuButton() {
    btnMenu = new TSVImageButton(this);
    btnMenu->SetName(u"btnMenu");
    btnMenu->SetAutoSize(false);
    btnMenu->SetBounds(0, 5, 16, 16);
    btnMenu->Hint = u"Menu";
    btnMenu->SetCaption(u"Menu");
    btnMenu->SetNumImages(3);
    btnMenu->SetDropDownMenu(pmMain);
    btnMenu->SetParent(pTitleBar);
}

void TfMain::miExitClick(TObject*) {
    CommitCaptionEdit();
    Close();
}

void TfMain::miViewClick(TObject*) {
    miAutoSize->SetChecked(AutoSize);
    miFitToWindow->SetChecked(FitToWindow);
    miThumbnails->SetChecked(fThumbnails != nullptr && fThumbnails->Visible());
}

void TfMain::BuildLanguageMenu() {
    while (miLanguage->Count() > 0)
        delete miLanguage->Items(0);
    for (int32_t i = 0; i < LangManager->Languages.Count(); ++i) {
        auto* item = new TMenuItem(this);
        item->SetCaption(LangManager->Languages[i]);
        item->SetRadioItem(true);
        item->OnClick = [this](TObject* Sender) { OnLanguageItemClick(Sender); };
        miLanguage->Add(item);
        item->SetChecked(SameName(item->Caption(), Settings->Language));
    }
}

void TfMain::OnLanguageItemClick(TObject* Sender) {
    auto* item = static_cast<TMenuItem*>(Sender);
    item->SetChecked(true);
    LangManager->SetLanguage(item->Caption());
    Settings->Language = LangManager->Language;
    LangManager->TranslateForm(u"formMain", this);
}
