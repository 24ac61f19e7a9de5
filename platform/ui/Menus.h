// Menus of the class library: menu items in a tree with their shortcut keys, and the popup menu
// that shows them at a screen point and runs its own loop until it closes.
#pragma once

#include "platform/ui/Component.h"
#include "platform/ui/Controls.h"

#include <memory>
#include <vector>

// A key with its modifiers: the virtual key code in the low byte, the modifier bits above it.
using TShortCut = uint16_t;
constexpr TShortCut scNone = 0;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

// The shortcut of Key with the Shift, Ctrl and Alt keys of Shift.
TShortCut ShortCut(uint16_t Key, TShiftState Shift);
// The shortcut as a menu shows it: the modifiers in the order "Shift+", "Ctrl+", "Alt+", then
// the key's name ("Ctrl+O", "Shift+Ctrl+C", "Num +", "PgDown", "F11"); "" for scNone or a key
// without a name.
String ShortCutToText(TShortCut Value);
// The shortcut a key message stands for: its key, the Shift and Ctrl keys held while it is
// handled, and Alt from its key data.
TShortCut ShortCutOf(const TWMKey& Message);

// Whether a menu gives its items' captions access keys of its own ("&" before a letter).
enum TMenuAutoFlag : uint8_t { maAutomatic, maManual, maParent };

// One entry of a menu; a caption of "-" makes a separator. An item owns the items in its list
// and frees them when it goes; an item freed on its own leaves its parent's list.
class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value) { FCaption = Value; }
    bool Checked() const { return FChecked; }
    // Checking a radio item clears the other radio items of its group among its siblings.
    void SetChecked(bool Value);
    bool RadioItem() const { return FRadioItem; }
    void SetRadioItem(bool Value) { FRadioItem = Value; }
    uint8_t GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(uint8_t Value) { FGroupIndex = Value; }
    TShortCut ShortCut() const { return FShortCut; }
    void SetShortCut(TShortCut Value) { FShortCut = Value; }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value) { FEnabled = Value; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value) { FVisible = Value; }
    bool IsLine() const { return FCaption == u"-"; }

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TMenuItem* Items(int32_t Index) const;
    TMenuItem* Parent() const { return FParent; }
    // Takes Item into this list (out of any other list first).
    void Add(TMenuItem* Item);
    void Insert(int32_t Index, TMenuItem* Item);
    void Remove(TMenuItem* Item);
    int32_t IndexOf(const TMenuItem* Item) const;

    // What choosing the item does: OnClick, unless the item is disabled. An item with a submenu
    // is clicked when its submenu opens.
    virtual void Click();
    TNotifyEvent OnClick;

    // Stays alive exactly as long as the item; for calls that run after a menu has closed.
    std::weak_ptr<void> AliveToken() const { return FAlive; }

private:
    String FCaption;
    TShortCut FShortCut = scNone;
    bool FChecked = false;
    bool FRadioItem = false;
    uint8_t FGroupIndex = 0;
    bool FEnabled = true;
    bool FVisible = true;
    TMenuItem* FParent = nullptr;
    std::vector<TMenuItem*> FItems;
    std::shared_ptr<void> FAlive;
};

// A menu: a root item whose list is the menu's entries.
class TMenu : public TComponent {
public:
    explicit TMenu(TComponent* AOwner);
    ~TMenu() override;
    TMenuItem* Items() const { return FItems.get(); }
    // With maAutomatic (the default) a caption without an access key gets one when shown: its
    // first letter not taken by a sibling. maManual shows the captions as they are.
    TMenuAutoFlag AutoHotkeys = maAutomatic;
    // Runs the first item of the whole tree (submenus included) that has the message's shortcut
    // and is enabled with every submenu above it: the submenus' Click first, from the top, as
    // when they open, then the item's. True when such an item was found.
    bool IsShortCut(TWMKey& Message);

private:
    std::unique_ptr<TMenuItem> FItems;
};

// A menu shown at a point on demand. Popup returns when the menu has closed; the chosen item's
// Click runs afterwards, from the message loop, as the command of a closed menu does.
class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* AOwner);

    // Shows the menu with its top-left corner at (X, Y) in screen coordinates. While it is
    // open, mouse-button messages posted to windows wait in the queue, and a press outside the
    // menu closes it and is posted to the window under it.
    virtual void Popup(int32_t X, int32_t Y);
    // The control that showed the menu last (set by that control).
    TComponent* PopupComponent = nullptr;
    bool AutoPopup = true;
    // Fired before the menu shows.
    TNotifyEvent OnPopup;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;
};

// Closes the popup menu that is open now, if any.
void EndMenu();
// True while a popup menu is open.
bool MenuLoopActive();
