// The save dialog run modally and answered as a user would, through the toolkit's dialog: the
// extension of the chosen filter, the overwrite question, cancelling.
#include "platform/ui/Dialogs.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

// Runs Answer with the active modal widget once the event loop runs.
template <class WidgetT> void AnswerModal(std::function<void(WidgetT&)> Answer) {
    QTimer::singleShot(0, [Answer = std::move(Answer)] {
        auto* widget = qobject_cast<WidgetT*>(QApplication::activeModalWidget());
        ASSERT_NE(widget, nullptr);
        Answer(*widget);
    });
}

String Str(const std::filesystem::path& Path) {
    return StrFromUtf8(Path.string());
}

const char16_t* const SaveFilter = u"Bitmap Image(*.bmp)|*.bmp|JPEG Image(*.jpg)|*.jpg|GIF "
                                   u"Image(*.gif)|*.gif|Any file|*";

// Types Name into the dialog's name field and presses its Save button.
void SaveAs(QFileDialog& Dialog, const QString& Name) {
    Dialog.selectFile(Name);
    Dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
}

} // namespace

TEST(DesktopSaveDialog, ANameWithoutExtensionTakesTheChosenFiltersOne) {
    struct Case {
        const char* Typed;
        int Filter; // the filter the user picks, from 1
        const char* Saved;
    };
    for (const Case& c :
         {Case{"out", 2, "out.jpg"}, Case{"out", 3, "out.gif"}, Case{"out", 4, "out.png"},
          Case{"out.tif", 2, "out.tif"}, Case{"x.JPEG", 1, "x.JPEG"}}) {
        SCOPED_TRACE(c.Typed);
        ScratchFolder folder;
        TSaveDialog dialog(nullptr);
        dialog.SetFilter(SaveFilter);
        dialog.SetFilterIndex(2);
        dialog.SetDefaultExt(u"png"); // for the filter that names no single extension
        dialog.SetInitialDir(Str(folder.Path()));
        AnswerModal<QFileDialog>([&](QFileDialog& d) {
            d.selectNameFilter(d.nameFilters()[c.Filter - 1]);
            // The dialog tells of the user's choice as its filter box does.
            emit d.filterSelected(d.nameFilters()[c.Filter - 1]);
            SaveAs(d, QString::fromUtf8(c.Typed));
        });
        ASSERT_TRUE(dialog.Execute());
        EXPECT_EQ(dialog.FileName(), Str(folder.Path() / c.Saved));
        EXPECT_EQ(dialog.FilterIndex(), c.Filter);
        EXPECT_FALSE(std::filesystem::exists(folder.Path() / c.Saved)); // nothing written
    }
}

TEST(DesktopSaveDialog, OpensOnTheFileAndAsksBeforeReplacingIt) {
    ScratchFolder folder;
    WriteFileBytes(folder.Path() / "shown.jpg", "x");
    TSaveDialog dialog(nullptr);
    dialog.SetFilter(SaveFilter);
    dialog.SetFilterIndex(2);
    dialog.SetFileName(Str(folder.Path() / "shown.jpg"));
    dialog.Options = ofOverwritePrompt | ofHideReadOnly | ofEnableSizing;
    QString shownFolder;
    QString shownFilter;
    bool asked = false;
    AnswerModal<QFileDialog>([&](QFileDialog& d) {
        shownFolder = d.directory().absolutePath();
        shownFilter = d.selectedNameFilter();
        AnswerModal<QMessageBox>([&](QMessageBox& box) {
            asked = true;
            box.button(QMessageBox::Yes)->click();
        });
        SaveAs(d, QStringLiteral("shown.jpg"));
    });
    ASSERT_TRUE(dialog.Execute());
    EXPECT_TRUE(asked);
    EXPECT_EQ(shownFolder.toStdU16String(), Str(folder.Path()));
    EXPECT_EQ(shownFilter, QStringLiteral("JPEG Image (*.jpg)"));
    EXPECT_EQ(dialog.FileName(), Str(folder.Path() / "shown.jpg"));

    // Cancelled: nothing changes.
    dialog.SetFilterIndex(1);
    AnswerModal<QFileDialog>([](QFileDialog& d) { d.reject(); });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(dialog.FileName(), Str(folder.Path() / "shown.jpg"));
    EXPECT_EQ(dialog.FilterIndex(), 1);
}
