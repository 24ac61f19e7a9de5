// Menus of the class library: menu items in a tree, and the popup menu that shows them at a
// screen point and runs its own loop until it closes.
#pragma once

#include "platform/ui/Component.h"

#include <memory>
#include <vector>

// One entry of a menu; a caption of "-" makes a separator. An item owns the items in its list
// and frees them when it goes; an item freed on its own leaves its parent's list.
class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* AOwner);
    ~TMenuItem() override;

    const String& Caption() const { return FCaption; }
    void SetCaption(const String& Value) { FCaption = Value; }
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value) { FChecked = Value; }
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

    // What choosing the item does: OnClick.
    virtual void Click();
    TNotifyEvent OnClick;

    // Stays alive exactly as long as the item; for calls that run after a menu has closed.
    std::weak_ptr<void> AliveToken() const { return FAlive; }

private:
    String FCaption;
    bool FChecked = false;
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
