// Keys delivered as Qt delivers them to a view's window: the special keys a program claims
// through OnSpecialKey reach its key events, the others do not.
#include "imaging/view/VistrelView.h"
#include "platform/ui/Forms.h"
#include "platform/ui/NativeWindow.h"
#include "platform/ui/WinUser.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

TEST(DesktopKeys, SpecialKeysClaimedByTheEventReachOnKeyDown) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 300, 200);
    form.SetCaption(u"view keys");
    auto* view = new TVistrelView(&form);
    view->SetParent(&form);
    view->SetBounds(0, 0, 123, 77);
    view->Handle();
    view->OnSpecialKey = [](TObject*, uint16_t Key, TShiftState, bool& Handled) {
        Handled = Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP || Key == VK_DOWN;
    };
    std::vector<uint16_t> keys;
    view->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) { keys.push_back(Key); };
    // The view's own client widget: its frame has the same size, and a key sent to the frame
    // would travel up to the form instead.
    QWidget* client = platform::detail::NativeWindowOf(view->Handle())->Client;
    ASSERT_NE(client, nullptr);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Tab, Qt::Key_Down, Qt::Key_Escape, Qt::Key_Right}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(client, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(client, &release);
    }
    EXPECT_EQ(keys, (std::vector<uint16_t>{VK_LEFT, VK_DOWN, VK_RIGHT}));
}

} // namespace
