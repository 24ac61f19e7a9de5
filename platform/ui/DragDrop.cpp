// Drop targets on the windows' client widgets and modal drags, over Qt's drag and drop.
#include "platform/ui/DragDrop.h"

#include "platform/rtl/Thread.h"
#include "platform/ui/DragImage.h"
#include "platform/ui/Messages.h"
#include "platform/ui/MimeFormats.h"
#include "platform/ui/NativeWindow.h"

#include <QDrag>
#include <QDropEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QWindow>

#include <map>

using namespace platform::detail;

namespace {

std::map<HWND, IDropTarget*>& Registry() {
    static auto* registry = new std::map<HWND, IDropTarget*>;
    return *registry;
}

IDropTarget* TargetOf(HWND Wnd) {
    const auto found = Registry().find(Wnd);
    return found == Registry().end() ? nullptr : found->second;
}

DWORD EffectsOf(Qt::DropActions Actions) {
    DWORD effects = DROPEFFECT_NONE;
    if (Actions & Qt::CopyAction) effects |= DROPEFFECT_COPY;
    if (Actions & Qt::MoveAction) effects |= DROPEFFECT_MOVE;
    if (Actions & Qt::LinkAction) effects |= DROPEFFECT_LINK;
    return effects;
}

Qt::DropActions ActionsOf(DWORD Effects) {
    Qt::DropActions actions = Qt::IgnoreAction;
    if (Effects & DROPEFFECT_COPY) actions |= Qt::CopyAction;
    if (Effects & DROPEFFECT_MOVE) actions |= Qt::MoveAction;
    if (Effects & DROPEFFECT_LINK) actions |= Qt::LinkAction;
    return actions;
}

// The one action of an effect, copy before move before link.
Qt::DropAction ActionOf(DWORD Effect) {
    if (Effect & DROPEFFECT_COPY) return Qt::CopyAction;
    if (Effect & DROPEFFECT_MOVE) return Qt::MoveAction;
    if (Effect & DROPEFFECT_LINK) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

// Turns the drag events of one registered window's client into IDropTarget calls. It lives
// with the client widget; the target is looked up at every event, so a revoked window only
// ignores drags.
class TDropFilter : public QObject {
public:
    TDropFilter(HWND AWnd, QWidget* Client) : QObject(Client), FWnd(AWnd), FClient(Client) {}
    ~TDropFilter() override { ForgetData(); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Enter(QDragEnterEvent& Event, IDropTarget& Target);
    void Move(QDragMoveEvent& Event, IDropTarget& Target);
    void Drop(QDropEvent& Event, IDropTarget& Target);
    POINT ScreenPoint(const QDropEvent& Event) const;
    void ForgetData();

    HWND FWnd;
    QWidget* FClient;
    TMimeDataObject* FData = nullptr;
};

bool TDropFilter::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != FClient) return false;
    // A disabled window (another one is modal) refuses drops as it refuses clicks.
    IDropTarget* target = FClient->isEnabled() ? TargetOf(FWnd) : nullptr;
    switch (Event->type()) {
    case QEvent::DragEnter:
        if (target == nullptr) return false;
        Enter(static_cast<QDragEnterEvent&>(*Event), *target);
        return true;
    case QEvent::DragMove:
        if (target == nullptr) return false;
        Move(static_cast<QDragMoveEvent&>(*Event), *target);
        return true;
    case QEvent::DragLeave:
        if (target != nullptr && FData != nullptr) target->DragLeave();
        ForgetData();
        return target != nullptr;
    case QEvent::Drop:
        if (target == nullptr) return false;
        Drop(static_cast<QDropEvent&>(*Event), *target);
        return true;
    default:
        return false;
    }
}

POINT TDropFilter::ScreenPoint(const QDropEvent& Event) const {
    const QPoint global = FClient->mapToGlobal(Event.position().toPoint());
    return POINT{global.x(), global.y()};
}

void TDropFilter::ForgetData() {
    if (FData != nullptr) FData->Release();
    FData = nullptr;
}

void TDropFilter::Enter(QDragEnterEvent& Event, IDropTarget& Target) {
    ForgetData();
    FData = new TMimeDataObject(Event.mimeData());
    DWORD effect = EffectsOf(Event.possibleActions());
    Target.DragEnter(FData, MouseKeys(Event.buttons(), Event.modifiers()), ScreenPoint(Event),
                     &effect);
    // Accepted whatever the effect, so that the moves that may change it keep coming.
    Event.setDropAction(ActionOf(effect));
    Event.accept();
}

void TDropFilter::Move(QDragMoveEvent& Event, IDropTarget& Target) {
    DWORD effect = EffectsOf(Event.possibleActions());
    Target.DragOver(MouseKeys(Event.buttons(), Event.modifiers()), ScreenPoint(Event), &effect);
    Event.setDropAction(ActionOf(effect));
    Event.setAccepted(ActionOf(effect) != Qt::IgnoreAction);
}

void TDropFilter::Drop(QDropEvent& Event, IDropTarget& Target) {
    // A drop without an enter first (the desktop may skip it) still gets its data.
    if (FData == nullptr) FData = new TMimeDataObject(Event.mimeData());
    DWORD effect = EffectsOf(Event.possibleActions());
    Target.Drop(FData, MouseKeys(Event.buttons(), Event.modifiers()), ScreenPoint(Event), &effect);
    ForgetData();
    Event.setDropAction(ActionOf(effect));
    Event.setAccepted(ActionOf(effect) != Qt::IgnoreAction);
}

void Attach(HWND Wnd) {
    TNativeWindow* window = NativeWindowOf(Wnd);
    QWidget* client = window == nullptr ? nullptr : window->ClientWidget();
    if (client == nullptr) return;
    client->setAcceptDrops(true);
    client->installEventFilter(new TDropFilter(Wnd, client));
}

void Detach(HWND Wnd) {
    TNativeWindow* window = NativeWindowOf(Wnd);
    QWidget* client = window == nullptr ? nullptr : window->ClientWidget();
    if (client == nullptr) return;
    client->setAcceptDrops(false);
    // A target may be revoked from inside its own drop handler: the filter goes later.
    for (TDropFilter* filter : client->findChildren<TDropFilter*>(Qt::FindDirectChildrenOnly)) {
        client->removeEventFilter(filter);
        filter->deleteLater();
    }
}

// Watches a running drag for the source: every button release and Escape asks it whether to
// go on, every change of action is its feedback.
class TDragWatcher : public QObject {
public:
    TDragWatcher(IDropSource* ASource, QDrag* Drag) : FSource(ASource) {
        connect(Drag, &QDrag::actionChanged, this,
                [this](Qt::DropAction Action) { FSource->GiveFeedback(EffectsOf(Action)); });
        qApp->installEventFilter(this);
    }
    ~TDragWatcher() override { qApp->removeEventFilter(this); }
    bool Cancelled() const { return FCancelled; }

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
            const auto* key = static_cast<QKeyEvent*>(Event);
            FSource->QueryContinueDrag(true, MouseKeys(Qt::NoButton, key->modifiers()));
            FCancelled = true;
            return false;
        }
        if (Event->type() != QEvent::MouseButtonRelease || FCancelling) return false;
        const auto* mouse = static_cast<QMouseEvent*>(Event);
        const HRESULT answer =
            FSource->QueryContinueDrag(false, MouseKeys(mouse->buttons(), mouse->modifiers()));
        if (answer == DRAGDROP_S_DROP) return false;
        if (answer == S_OK) return true; // another button is still down
        // The source refuses the drop: the drag ends as the desktop ends it on Escape.
        FCancelled = true;
        FCancelling = true;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QObject* receiver = QGuiApplication::focusWindow();
        QCoreApplication::sendEvent(receiver != nullptr ? receiver : qApp, &escape);
        return true;
    }

private:
    IDropSource* FSource;
    bool FCancelled = false;
    bool FCancelling = false;
};

bool DesktopCanDrag() {
    if (!IsMainThread()) return false;
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) return false;
    // Nobody can press or release a button on these platforms: a drag would never end.
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// The drag image the data object carries, if any, follows the mouse at its hot spot.
void ShowDragImage(QDrag& Drag, IDataObject* Data) {
    TDragImage image;
    if (!GetDragImage(Data, image)) return;
    const QImage picture(reinterpret_cast<const uchar*>(image.Pixels.data()), image.Width,
                         image.Height, image.Width * 4, QImage::Format_ARGB32);
    Drag.setPixmap(QPixmap::fromImage(picture.copy()));
    Drag.setHotSpot(QPoint(image.HotSpot.X, image.HotSpot.Y));
}

} // namespace

HRESULT RegisterDragDrop(HWND Wnd, IDropTarget* Target) {
    if (!IsWindow(Wnd)) return DRAGDROP_E_INVALIDHWND;
    if (Target == nullptr) return E_INVALIDARG;
    if (TargetOf(Wnd) != nullptr) return DRAGDROP_E_ALREADYREGISTERED;
    Registry()[Wnd] = Target;
    Target->AddRef();
    Attach(Wnd);
    return S_OK;
}

HRESULT RevokeDragDrop(HWND Wnd) {
    IDropTarget* target = TargetOf(Wnd);
    if (target == nullptr) return DRAGDROP_E_NOTREGISTERED;
    Registry().erase(Wnd);
    if (IsWindow(Wnd)) Detach(Wnd);
    target->Release();
    return S_OK;
}

HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects,
                   DWORD* pdwEffect) {
    if (pDataObj == nullptr || pDropSource == nullptr || pdwEffect == nullptr) return E_INVALIDARG;
    *pdwEffect = DROPEFFECT_NONE;
    if (!DesktopCanDrag()) return E_UNEXPECTED;
    auto* drag = new QDrag(qApp);
    drag->setMimeData(MimeDataOf(*pDataObj));
    ShowDragImage(*drag, pDataObj);
    Qt::DropAction action;
    bool cancelled;
    {
        TDragWatcher watcher(pDropSource, drag);
        action = drag->exec(ActionsOf(dwOKEffects), ActionOf(dwOKEffects));
        cancelled = watcher.Cancelled();
    }
    drag->deleteLater();
    if (cancelled || action == Qt::IgnoreAction) return DRAGDROP_S_CANCEL;
    *pdwEffect = EffectsOf(action);
    return DRAGDROP_S_DROP;
}

namespace platform::detail {

void AttachDropTarget(TNativeWindow& Window) {
    if (TargetOf(Window.Handle) != nullptr) Attach(Window.Handle);
}

} // namespace platform::detail
