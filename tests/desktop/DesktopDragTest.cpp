// A drag started by a drop source on the Xvfb display of the X11 tests: the toolkit's drag
// carries the source's image as its pixmap, with the hot spot where the source put it.
#include "components/SVDropSource.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/QtRuntime.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <string>

namespace {

// Ends the running drag the way the user does, with Escape.
void PressEscape() {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QObject* receiver = QGuiApplication::focusWindow();
    QCoreApplication::sendEvent(receiver != nullptr ? receiver : qApp, &escape);
}

} // namespace

TEST(DesktopDrag, TheDragShowsTheSourcesImageAtItsHotSpot) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr || std::string(platform) != "xcb")
        GTEST_SKIP() << "the Xvfb display did not start";
    EnsureGuiApplication();
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(24, 16);
    picture.Canvas()->Brush()->SetColor(TColor(0x3060C0));
    picture.Canvas()->FillRect(Rect(0, 0, 24, 16));
    picture.Canvas()->SetPixels(3, 2, clFuchsia);
    TSVDropSource source(nullptr);
    source.AddFormatEtc(CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL);
    source.SetImage(&picture);
    source.SetShowImage(true);
    source.SetImageHotSpotX(5);
    source.SetImageHotSpotY(7);

    QImage shown;
    QPoint hotSpot(-1, -1);
    // Looked at while the drag runs, then ended; a second Escape later in case the first came
    // before the drag took the keyboard. The timers go with the test.
    QObject timers;
    QTimer::singleShot(300, &timers, [&] {
        const QList<QDrag*> drags = qApp->findChildren<QDrag*>();
        if (!drags.isEmpty()) {
            shown = drags.last()->pixmap().toImage();
            hotSpot = drags.last()->hotSpot();
        }
        PressEscape();
    });
    QTimer::singleShot(3000, &timers, PressEscape);
    EXPECT_EQ(source.Execute(), drCancel);
    ASSERT_EQ(shown.size(), QSize(24, 16));
    EXPECT_EQ(hotSpot, QPoint(5, 7));
    EXPECT_EQ(shown.pixel(0, 0), 0xFFC06030u);
    EXPECT_EQ(qAlpha(shown.pixel(3, 2)), 0) << "the key colour is see-through";
}
