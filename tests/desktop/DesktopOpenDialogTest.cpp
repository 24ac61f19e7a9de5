// The open dialog run modally and answered as a user would, through the toolkit's dialog.
#include "platform/ui/Dialogs.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

namespace {

// Answers the next modal file dialog once the event loop runs: Answer gets the dialog.
void AnswerDialog(std::function<void(QFileDialog&)> Answer) {
    QTimer::singleShot(0, [Answer = std::move(Answer)] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        Answer(*dialog);
    });
}

String Str(const std::filesystem::path& Path) {
    return StrFromUtf8(Path.string());
}

} // namespace

TEST(DesktopOpenDialog, ConfirmedFileAndFilter) {
    ScratchFolder folder;
    WriteFileBytes(folder.Path() / "b.JPEG", "x");
    WriteFileBytes(folder.Path() / "a.txt", "x");
    TOpenDialog dialog(nullptr);
    dialog.SetFilter(u"Text (*.txt)|*.txt|All Images (*.jpg;*.jpeg)|*.jpg;*.jpeg");
    dialog.SetFilterIndex(2);
    dialog.SetInitialDir(Str(folder.Path()));
    QStringList shownFilters;
    QString shownFilter;
    AnswerDialog([&](QFileDialog& d) {
        shownFilters = d.nameFilters();
        shownFilter = d.selectedNameFilter();
        d.selectFile(QStringLiteral("b.JPEG"));
        QMetaObject::invokeMethod(&d, "accept");
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(shownFilters, (QStringList{QStringLiteral("Text (*.txt)"),
                                         QStringLiteral("All Images (*.jpg *.jpeg)")}));
    EXPECT_EQ(shownFilter, QStringLiteral("All Images (*.jpg *.jpeg)"));
    EXPECT_EQ(dialog.FileName(), Str(folder.Path() / "b.JPEG"));
    EXPECT_EQ(dialog.FilterIndex(), 2);
}

TEST(DesktopOpenDialog, CancelChangesNothing) {
    ScratchFolder folder;
    WriteFileBytes(folder.Path() / "a.png", "x");
    TOpenDialog dialog(nullptr);
    dialog.SetFilter(u"All Images (*.png)|*.png");
    dialog.SetFileName(Str(folder.Path() / "a.png"));
    QString shownFolder;
    AnswerDialog([&](QFileDialog& d) {
        shownFolder = d.directory().absolutePath();
        d.reject();
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(shownFolder.toStdU16String(), Str(folder.Path()));
    EXPECT_EQ(dialog.FileName(), Str(folder.Path() / "a.png"));
    EXPECT_EQ(dialog.FilterIndex(), 1);
}

TEST(DesktopOpenDialog, FiltersAsTheDesktopListsThem) {
    struct Case {
        const char16_t* Filter;
        std::vector<String> Expected;
    };
    for (const Case& c : {
             Case{u"All Images (*.jpg;*.png)|*.jpg;*.png", {u"All Images (*.jpg *.png)"}},
             Case{u"Bitmaps|*.bmp|Any|*", {u"Bitmaps (*.bmp)", u"Any (*)"}},
             Case{u"Odd|", {u"Odd ()"}},
             Case{u"", {}},
         }) {
        EXPECT_EQ(DialogNameFilters(c.Filter), c.Expected);
    }
}
