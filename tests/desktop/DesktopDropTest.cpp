// Drops from the desktop, delivered as Qt delivers them to a registered window.
#include "tests/components/DropTestSupport.h"

#include "components/SVDropTarget.h"
#include "platform/ui/Forms.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace {

// The client of the window titled Caption, when it takes drops. Windows of earlier tests may
// still wait for their deletion, so the title tells ours.
QWidget* DropWidget(const QString& Caption) {
    for (QWidget* widget : QApplication::allWidgets())
        if (widget->acceptDrops() && widget->window()->windowTitle() == Caption) return widget;
    return nullptr;
}

// A title no other window of the process has had.
QString NewCaption() {
    static int windows = 0;
    return QStringLiteral("drop here %1").arg(++windows);
}

class DesktopDrop : public testing::Test {
protected:
    void SetUp() override {
        Caption = NewCaption();
        Form.SetBounds(0, 0, 200, 150);
        Form.SetCaption(Caption.toStdU16String());
        Target.SetDragTypes(DragTypeSet(dtCopy));
        Target.OnDrop = [this](TObject*, TShiftState, TPoint& Point, DWORD&) {
            ++Drops;
            DropPoint = Point;
        };
        Target.Register(&Form);
    }
    // Enter, move and drop at (30, 40) of the client; the action the window accepted.
    Qt::DropAction DragAndDrop(QMimeData& Mime) {
        QWidget* widget = DropWidget(Caption);
        EXPECT_NE(widget, nullptr);
        if (widget == nullptr) return Qt::IgnoreAction;
        const QPointF at(30, 40);
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at.toPoint(), offered, &Mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &enter);
        QDragMoveEvent move(at.toPoint(), offered, &Mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &move);
        QDropEvent drop(at, offered, &Mime, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }

    QString Caption;
    TForm Form{nullptr};
    TSVDropFileTarget Target{nullptr};
    int Drops = 0;
    TPoint DropPoint;
};

} // namespace

TEST_F(DesktopDrop, UriListFillsFilesAndFiresOnce) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/home/u/Pictures/a b.png"),
                  QUrl("https://example.org/skipped.png"), QUrl::fromLocalFile("/tmp/c.jpg")});
    EXPECT_EQ(DragAndDrop(mime), Qt::CopyAction);
    EXPECT_EQ(Drops, 1);
    EXPECT_EQ(DropPoint, (TPoint{30, 40}));
    ASSERT_EQ(Target.Files().Count(), 2);
    EXPECT_EQ(Target.Files()[0], u"/home/u/Pictures/a b.png");
    EXPECT_EQ(Target.Files()[1], u"/tmp/c.jpg");
}

TEST_F(DesktopDrop, GnomeListAloneIsAFileList) {
    QMimeData mime;
    mime.setData("x-special/gnome-copied-files", "copy\nfile:///srv/x%20y.gif\n");
    EXPECT_EQ(DragAndDrop(mime), Qt::CopyAction);
    EXPECT_EQ(Drops, 1);
    ASSERT_EQ(Target.Files().Count(), 1);
    EXPECT_EQ(Target.Files()[0], u"/srv/x y.gif");
}

TEST_F(DesktopDrop, NoLocalFileIsRefused) {
    QMimeData mime;
    mime.setUrls({QUrl("https://example.org/a.png")});
    mime.setText("text");
    EXPECT_EQ(DragAndDrop(mime), Qt::IgnoreAction);
    EXPECT_EQ(Drops, 0);
    EXPECT_EQ(Target.Files().Count(), 0);
}

TEST_F(DesktopDrop, RevokedWindowTakesNoDrops) {
    Target.Unregister();
    EXPECT_EQ(DropWidget(Caption), nullptr);
    Target.Register(&Form);
    Form.RecreateWnd();
    Form.HandleNeeded();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/again.png")});
    EXPECT_EQ(DragAndDrop(mime), Qt::CopyAction) << "the new window takes drops too";
    EXPECT_EQ(Drops, 1);
}

// While another form is modal the window refuses drops, and takes them again afterwards.
TEST_F(DesktopDrop, AWindowBehindAModalFormRefusesDrops) {
    Form.Show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/c.jpg")});
    TForm dialog(nullptr);
    Qt::DropAction whileModal = Qt::CopyAction;
    QTimer::singleShot(0, [&] {
        whileModal = DragAndDrop(mime);
        dialog.Close();
    });
    dialog.ShowModal();
    EXPECT_EQ(whileModal, Qt::IgnoreAction);
    EXPECT_EQ(Drops, 0);
    EXPECT_EQ(DragAndDrop(mime), Qt::CopyAction);
    EXPECT_EQ(Drops, 1);
}
