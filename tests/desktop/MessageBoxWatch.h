// Answers every message box that comes up while the object lives, and counts them, so that a
// test of code that must ask nothing goes on to say that it asked.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace sv_test {

class TMessageBoxWatch {
public:
    // Answer: the button pressed, or the box's escape button when the box has no such button.
    explicit TMessageBoxWatch(QMessageBox::StandardButton Answer) {
        QObject::connect(&FPoll, &QTimer::timeout, &FPoll, [this, Answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            ++Count;
            QAbstractButton* button = box->button(Answer);
            (button != nullptr ? button : box->escapeButton())->click();
        });
        FPoll.start(5);
    }
    int Count = 0;

private:
    QTimer FPoll;
};

} // namespace sv_test
