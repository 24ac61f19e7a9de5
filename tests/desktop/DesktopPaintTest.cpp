// Paints as the toolkit delivers them to our windows: a window repainted whole reaches the
// screen once, also when its painting went through a device context of its surface.
#include "platform/ui/Controls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/NativeWindow.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace {

// Fills its client area through its canvas, which hands its window's surface out.
class TCanvasPainter : public TCustomControl {
public:
    using TCustomControl::TCustomControl;

protected:
    void Paint() override {
        Canvas()->Brush()->SetColor(clGreen);
        Canvas()->FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
    }
};

// Counts the toolkit's paint events of the widget it watches.
class TPaintCounter : public QObject {
public:
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Event->type() == QEvent::Paint) ++Count;
        return false;
    }
};

// Rounds of the message loop, each followed by a short pause, so that an update posted by a
// round has its turn.
void Settle() {
    for (int round = 0; round < 50; ++round) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST(DesktopPaint, AWholeRepaintThroughTheCanvasReachesTheScreenOnce) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 240, 160);
    auto* control = new TCanvasPainter(&form);
    control->SetParent(&form);
    control->SetBounds(0, 0, 120, 80);
    form.Show();
    QWidget* client = platform::detail::NativeWindowOf(control->Handle())->Client;
    ASSERT_NE(client, nullptr);
    TPaintCounter counter;
    client->installEventFilter(&counter);
    PumpUntil([&] { return counter.Count > 0; });
    Settle();
    for (int repaint = 0; repaint < 3; ++repaint) {
        SCOPED_TRACE(repaint);
        counter.Count = 0;
        control->Invalidate();
        PumpUntil([&] { return counter.Count > 0; });
        Settle();
        EXPECT_EQ(counter.Count, 1);
    }
    client->removeEventFilter(&counter);
}

} // namespace
