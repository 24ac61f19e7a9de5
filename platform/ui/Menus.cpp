// Menus on the toolkit's popup menu: the item tree is turned into a toolkit menu each time the
// menu shows, and the choice is run once the menu has closed.
#include "platform/ui/Menus.h"

#include "platform/rtl/SysUtils.h"
#include "platform/ui/Controls.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/UiInternal.h"
#include "platform/ui/WinUser.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

#include <algorithm>

// ---- Shortcuts -------------------------------------------------------------------------------

namespace {

struct TKeyName {
    uint16_t Key;
    const char16_t* Name;
};
constexpr TKeyName KeyNames[] = {
    {VK_BACK, u"BkSp"},        {VK_TAB, u"Tab"},          {VK_RETURN, u"Enter"},
    {VK_ESCAPE, u"Esc"},       {VK_SPACE, u"Space"},      {VK_PRIOR, u"PgUp"},
    {VK_NEXT, u"PgDown"},      {VK_END, u"End"},          {VK_HOME, u"Home"},
    {VK_LEFT, u"Left"},        {VK_UP, u"Up"},            {VK_RIGHT, u"Right"},
    {VK_DOWN, u"Down"},        {VK_INSERT, u"Ins"},       {VK_DELETE, u"Del"},
    {VK_MULTIPLY, u"Num *"},   {VK_ADD, u"Num +"},        {VK_SUBTRACT, u"Num -"},
    {0x6E, u"Num Del"},        {0x6F, u"Num /"},          {VK_OEM_PLUS, u"="},
    {0xBC, u","},              {0xBD, u"-"},              {0xBE, u"."},
};

String KeyName(uint16_t Key) {
    if ((Key >= u'0' && Key <= u'9') || (Key >= u'A' && Key <= u'Z'))
        return String(1, static_cast<char16_t>(Key));
    if (Key >= 0x60 && Key <= 0x69) return u"Num " + String(1, static_cast<char16_t>(u'0' + Key - 0x60));
    if (Key >= VK_F1 && Key < VK_F1 + 24) return u"F" + IntToStr(Key - VK_F1 + 1);
    for (const TKeyName& k : KeyNames)
        if (k.Key == Key) return k.Name;
    return String();
}

} // namespace

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
    if ((Key & 0xFF00) != 0) return scNone;
    TShortCut result = Key;
    if (Shift & ssShift) result |= scShift;
    if (Shift & ssCtrl) result |= scCtrl;
    if (Shift & ssAlt) result |= scAlt;
    return result;
}

String ShortCutToText(TShortCut Value) {
    const String name = KeyName(Value & 0xFF);
    if (name.empty()) return String();
    String text;
    if (Value & scShift) text += u"Shift+";
    if (Value & scCtrl) text += u"Ctrl+";
    if (Value & scAlt) text += u"Alt+";
    return text + name;
}

TShortCut ShortCutOf(const TWMKey& Message) {
    TShiftState shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
    if (Message.KeyData & (LPARAM(1) << 29)) shift |= ssAlt;
    return ShortCut(static_cast<uint8_t>(Message.CharCode), shift);
}

// ---- TMenuItem -------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FAlive(std::make_shared<int>(0)) {}

TMenuItem::~TMenuItem() {
    Destroying();
    while (!FItems.empty())
        delete FItems.back();
    if (FParent != nullptr) FParent->Remove(this);
}

TMenuItem* TMenuItem::Items(int32_t Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(u"Menu index out of bounds");
    return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) {
    Insert(Count(), Item);
}

void TMenuItem::Insert(int32_t Index, TMenuItem* Item) {
    if (Item == nullptr || Item == this) return;
    if (Item->FParent != nullptr) Item->FParent->Remove(Item);
    Index = std::clamp(Index, 0, Count());
    FItems.insert(FItems.begin() + Index, Item);
    Item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
    auto it = std::find(FItems.begin(), FItems.end(), Item);
    if (it == FItems.end()) return;
    FItems.erase(it);
    Item->FParent = nullptr;
}

int32_t TMenuItem::IndexOf(const TMenuItem* Item) const {
    auto it = std::find(FItems.begin(), FItems.end(), Item);
    return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

void TMenuItem::SetChecked(bool Value) {
    FChecked = Value;
    if (!Value || !FRadioItem || FParent == nullptr) return;
    for (TMenuItem* sibling : FParent->FItems)
        if (sibling != this && sibling->FRadioItem && sibling->FGroupIndex == FGroupIndex)
            sibling->FChecked = false;
}

void TMenuItem::Click() {
    if (FEnabled && OnClick) OnClick(this);
}

// ---- TMenu, TPopupMenu -----------------------------------------------------------------------

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {}

TMenu::~TMenu() = default;

namespace {

QPointer<QMenu> ActiveMenu;
int32_t OpenMenus = 0;

struct TButtonDown {
    Qt::MouseButton Button;
    UINT Msg;
};
constexpr TButtonDown ButtonDowns[] = {{Qt::LeftButton, WM_LBUTTONDOWN},
                                       {Qt::RightButton, WM_RBUTTONDOWN},
                                       {Qt::MiddleButton, WM_MBUTTONDOWN}};

// A press outside the menu closes it; instead of the toolkit replaying it straight to the
// widget below, it is posted to our window under the point, where it waits until the menu's
// caller has run (and may take it out of the queue).
class TQtPopupMenu : public QMenu {
protected:
    void mousePressEvent(QMouseEvent* Event) override {
        if (!rect().contains(Event->position().toPoint())) {
            setAttribute(Qt::WA_NoMouseReplay);
            PostBelow(Event);
        }
        QMenu::mousePressEvent(Event);
    }

private:
    static void PostBelow(QMouseEvent* Event) {
        const QPoint global = Event->globalPosition().toPoint();
        HWND wnd = WindowFromPoint(TPoint{global.x(), global.y()});
        TWinControl* control = platform::detail::FindControl(wnd);
        if (control == nullptr) return;
        for (const TButtonDown& b : ButtonDowns) {
            if (b.Button != Event->button()) continue;
            int32_t x = global.x(), y = global.y();
            control->ScreenToClient(x, y);
            PostMessage(wnd, b.Msg,
                        platform::detail::MouseKeys(Event->buttons(), Event->modifiers()),
                        MAKELPARAM(x, y));
        }
    }
};

QString ToQString(const String& Text) {
    return QString::fromUtf16(Text.data(), static_cast<qsizetype>(Text.size()));
}

// The position of Caption's access key ("&" before it; "&&" is a plain ampersand), or npos.
size_t AccessKeyAt(const String& Caption) {
    for (size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != u'&') continue;
        if (Caption[i + 1] != u'&') return i + 1;
        ++i;
    }
    return String::npos;
}

char16_t UpperKey(char16_t C) {
    return C >= u'a' && C <= u'z' ? static_cast<char16_t>(C - u'a' + u'A') : C;
}

bool IsKeyLetter(char16_t C) {
    return (C >= u'A' && C <= u'Z') || (C >= u'0' && C <= u'9');
}

// The captions of Item's entries as shown: with Automatic, an entry without an access key gets
// its first letter or digit that no sibling's access key takes yet.
std::vector<String> ShownCaptions(const TMenuItem& Item, bool Automatic) {
    std::vector<String> captions;
    std::u16string taken;
    for (int32_t i = 0; i < Item.Count(); ++i) {
        captions.push_back(Item.Items(i)->Caption());
        const size_t at = AccessKeyAt(captions.back());
        if (at != String::npos) taken += UpperKey(captions.back()[at]);
    }
    if (!Automatic) return captions;
    for (String& caption : captions) {
        if (caption == u"-" || AccessKeyAt(caption) != String::npos) continue;
        for (size_t i = 0; i < caption.size(); ++i) {
            const char16_t key = UpperKey(caption[i]);
            if (!IsKeyLetter(key) || taken.find(key) != std::u16string::npos) continue;
            taken += key;
            caption.insert(i, 1, u'&');
            break;
        }
    }
    return captions;
}

// Fills Menu with Item's entries. A submenu is filled when it opens, after its item's Click,
// so that the item's handler can set its entries first. The shortcut's text follows a tab,
// which the toolkit shows right-aligned.
void Fill(QMenu& Menu, TMenuItem& Item, TMenuItem*& Chosen, bool Automatic) {
    const std::vector<String> captions = ShownCaptions(Item, Automatic);
    for (int32_t i = 0; i < Item.Count(); ++i) {
        TMenuItem* child = Item.Items(i);
        if (!child->Visible()) continue;
        if (child->IsLine()) {
            Menu.addSeparator();
            continue;
        }
        String text = captions[static_cast<size_t>(i)];
        const String keys = ShortCutToText(child->ShortCut());
        if (!keys.empty()) text += u"\t" + keys;
        if (child->Count() > 0) {
            QMenu* sub = Menu.addMenu(ToQString(text));
            sub->setEnabled(child->Enabled());
            QObject::connect(sub, &QMenu::aboutToShow, [sub, child, &Chosen, Automatic] {
                sub->clear();
                child->Click();
                Fill(*sub, *child, Chosen, Automatic);
            });
            continue;
        }
        QAction* action = Menu.addAction(ToQString(text));
        action->setEnabled(child->Enabled());
        action->setCheckable(child->Checked());
        action->setChecked(child->Checked());
        QObject::connect(action, &QAction::triggered, [&Chosen, child] { Chosen = child; });
    }
}

// The first item under Item with Key whose whole chain up to the menu is enabled.
TMenuItem* FindShortCut(TMenuItem& Item, TShortCut Key) {
    for (int32_t i = 0; i < Item.Count(); ++i) {
        TMenuItem* child = Item.Items(i);
        if (!child->Enabled()) continue;
        if (child->Count() > 0) {
            if (TMenuItem* found = FindShortCut(*child, Key)) return found;
        } else if (child->ShortCut() == Key && !child->IsLine()) {
            return child;
        }
    }
    return nullptr;
}

// Clicks the submenu items above Item from the top down, as opening them would.
void ClickParents(TMenuItem& Item, const TMenuItem& Root) {
    TMenuItem* parent = Item.Parent();
    if (parent == nullptr || parent == &Root) return;
    ClickParents(*parent, Root);
    parent->Click();
}

// Runs the chosen item's Click from the message loop, unless the item is gone by then.
void ClickLater(TMenuItem* Item) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [Item, alive = Item->AliveToken()] {
            if (!alive.expired()) Item->Click();
        },
        Qt::QueuedConnection);
}

} // namespace

bool TMenu::IsShortCut(TWMKey& Message) {
    const TShortCut key = ShortCutOf(Message);
    if ((key & 0xFF) == 0) return false;
    TMenuItem* item = FindShortCut(*Items(), key);
    if (item == nullptr) return false;
    ClickParents(*item, *Items());
    item->Click();
    return true;
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
    TMenu::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == PopupComponent) PopupComponent = nullptr;
}

void TPopupMenu::Popup(int32_t X, int32_t Y) {
    platform::detail::StartWindowLayer();
    if (OnPopup) OnPopup(this);
    TQtPopupMenu menu;
    TMenuItem* chosen = nullptr;
    Fill(menu, *Items(), chosen, AutoHotkeys != maManual);
    QPointer<QMenu> previous = ActiveMenu;
    ActiveMenu = &menu;
    ++OpenMenus;
    menu.exec(QPoint(X, Y));
    --OpenMenus;
    ActiveMenu = previous;
    platform::detail::WakeForPostedMessages();
    if (chosen != nullptr) ClickLater(chosen);
}

void EndMenu() {
    if (ActiveMenu) ActiveMenu->close();
}

bool MenuLoopActive() {
    return OpenMenus > 0;
}
