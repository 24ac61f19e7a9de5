// The JPEG quality dialog driven by the keys a user types into its field and by its buttons: the
// field and the track bar in step, Enter and Esc, and OK taking only 10 to 100.
#include "app/formJPEG.h"

#include "platform/ui/ComCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/WinUser.h"
#include "tests/desktop/MessageBoxWatch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace {

void Later(std::function<void()> Action) {
    QTimer::singleShot(0, std::move(Action));
}

// The quality field of the open dialog.
QLineEdit& Field() {
    QWidget* dialog = QApplication::activeModalWidget();
    EXPECT_NE(dialog, nullptr);
    auto* field = dialog != nullptr ? dialog->findChild<QLineEdit*>() : nullptr;
    if (field == nullptr) throw std::runtime_error("the dialog has no field");
    return *field;
}

// Presses a key in the field, as the keyboard does.
void Press(int Key, const QString& Text = {}) {
    QKeyEvent press(QEvent::KeyPress, Key, Qt::NoModifier, Text);
    QApplication::sendEvent(&Field(), &press);
    QKeyEvent release(QEvent::KeyRelease, Key, Qt::NoModifier, Text);
    QApplication::sendEvent(&Field(), &release);
}

// Replaces the field's text by typing Text.
void Type(const QString& Text) {
    Field().selectAll();
    Press(Qt::Key_Backspace);
    for (QChar c : Text)
        Press(c.isDigit() ? Qt::Key_0 + c.digitValue() : Qt::Key_A + (c.toUpper().unicode() - 'A'),
              QString(c));
}

// Clicks the dialog's button Caption as the mouse does: the press takes the focus first.
void ClickButton(const QString& Caption) {
    QPushButton* button = nullptr;
    for (QPushButton* b : QApplication::activeModalWidget()->findChildren<QPushButton*>())
        if (b->text() == Caption) button = b;
    if (button == nullptr) throw std::runtime_error("the dialog has no such button");
    // The toolkit moves the focus only for a press that comes from the window system.
    button->setFocus(Qt::MouseFocusReason);
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    const QPointF global = button->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(button, &release);
}

} // namespace

TEST(JpegOptionDialog, TypedQualityWithEnterIsTaken) {
    TfJPEGOption dialog(nullptr);
    QString offered;
    QString afterLetters;
    QString after150;
    int32_t trackAfter150 = 0;
    Later([&] {
        offered = Field().text();
        Type(QStringLiteral("6x0"));
        afterLetters = Field().text();
        Type(QStringLiteral("150"));
        after150 = Field().text();
        trackAfter150 = dialog.trkQuality->Position();
        Type(QStringLiteral("75"));
        Press(Qt::Key_Return);
    });
    EXPECT_EQ(dialog.Execute(60), mrOk);
    EXPECT_EQ(offered, QStringLiteral("60"));
    EXPECT_EQ(afterLetters, QStringLiteral("60")); // the letter was not typed
    EXPECT_EQ(after150, QStringLiteral("100"));    // the track bar's top written back
    EXPECT_EQ(trackAfter150, 100);
    EXPECT_EQ(dialog.Quality, 75);
    EXPECT_EQ(dialog.trkQuality->Position(), 75);
}

TEST(JpegOptionDialog, OkRefusesAQualityBelowTenAndEscCancels) {
    TfJPEGOption dialog(nullptr);
    bool warned = false;
    bool stillOpen = false;
    Later([&] {
        Type(QStringLiteral("7")); // below 10: the track bar stays
        EXPECT_EQ(dialog.trkQuality->Position(), 90);
        Later([&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            warned = true;
            // The box takes input; the dialog under it does not.
            EXPECT_TRUE(box->isEnabled());
            EXPECT_FALSE(IsWindowEnabled(dialog.Handle()));
            box->button(QMessageBox::Ok)->click();
        });
        dialog.btnOk->Click();
        stillOpen =
            dialog.Visible() && dialog.ModalResult() == mrNone && IsWindowEnabled(dialog.Handle());
        EXPECT_EQ(Field().selectedText(), QStringLiteral("7")); // selected for retyping
        Press(Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.Execute(90), mrCancel);
    EXPECT_TRUE(warned);
    EXPECT_TRUE(stillOpen);
}

TEST(JpegOptionDialog, OfferedQualityIsClampedAndTheDialogLivesForTheQuestionOnly) {
    struct Case {
        int32_t Offered;
        const char* Shown;
    };
    for (const Case& c : {Case{5, "10"}, Case{100, "100"}, Case{250, "100"}}) {
        SCOPED_TRACE(c.Offered);
        int32_t quality = c.Offered;
        QString shown;
        bool open = false;
        Later([&] {
            open = fJPEGOption != nullptr && fJPEGOption->Visible();
            shown = Field().text();
            fJPEGOption->btnOk->Click();
        });
        EXPECT_TRUE(AskJpegQuality(nullptr, quality));
        EXPECT_TRUE(open);
        EXPECT_EQ(shown, QString::fromUtf8(c.Shown));
        EXPECT_EQ(quality, shown.toInt());
        EXPECT_EQ(fJPEGOption, nullptr);
    }
    int32_t quality = 42;
    Later([] { fJPEGOption->btnCancel->Click(); });
    EXPECT_FALSE(AskJpegQuality(nullptr, quality));
    EXPECT_EQ(quality, 42);
    EXPECT_EQ(fJPEGOption, nullptr);
}

// An invalid quality in the field holds nobody: Cancel, Esc and the close box end the dialog
// without the invalid-quality message.
TEST(JpegOptionDialog, CancelEscAndTheCloseBoxLeaveWithoutTheCheck) {
    struct Case {
        const char* Name;
        std::function<void()> Leave;
    };
    const Case cases[] = {
        {"Cancel clicked", [] { ClickButton(QStringLiteral("Cancel")); }},
        {"Esc", [] { Press(Qt::Key_Escape); }},
        {"close box", [] { QApplication::activeModalWidget()->close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TfJPEGOption dialog(nullptr);
        const sv_test::TMessageBoxWatch boxes(QMessageBox::Ok);
        bool held = false;
        Later([&] {
            Type(QStringLiteral("7"));
            c.Leave();
            // A dialog that held on ends here, so that the test goes on.
            held = dialog.ModalResult() == mrNone;
            if (held) dialog.btnCancel->Click();
        });
        EXPECT_EQ(dialog.Execute(90), mrCancel);
        EXPECT_FALSE(held);
        EXPECT_EQ(boxes.Count, 0);
    }
}
