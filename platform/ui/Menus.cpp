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

void Fill(QMenu& Menu, TMenuItem& Item, TMenuItem*& Chosen) {
    for (int32_t i = 0; i < Item.Count(); ++i) {
        TMenuItem* child = Item.Items(i);
        if (!child->Visible()) continue;
        if (child->IsLine()) {
            Menu.addSeparator();
            continue;
        }
        const QString text = QString::fromUtf16(child->Caption().data(),
                                                static_cast<qsizetype>(child->Caption().size()));
        if (child->Count() > 0) {
            QMenu* sub = Menu.addMenu(text);
            sub->setEnabled(child->Enabled());
            Fill(*sub, *child, Chosen);
            continue;
        }
        QAction* action = Menu.addAction(text);
        action->setEnabled(child->Enabled());
        action->setCheckable(child->Checked());
        action->setChecked(child->Checked());
        QObject::connect(action, &QAction::triggered, [&Chosen, child] { Chosen = child; });
    }
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
    Fill(menu, *Items(), chosen);
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
