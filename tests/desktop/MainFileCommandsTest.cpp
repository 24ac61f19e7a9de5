// The main window's file commands driven in-process on the offscreen platform, their dialogs
// answered as a user would: Delete to a trash of the test's own (Shift+Delete for good), the
// quarter turns, Copy and Cut File, and Save As with its dialog, the quality dialog and a save
// that fails half-way.
#include "app/Captions.h"
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/formJPEG.h"
#include "app/formMain.h"
#include "app/formMessage.h"
#include "components/SVAALabel.h"
#include "components/SVLabel.h"
#include "imaging/io/VistrelIO.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Menus.h"
#include "platform/ui/NativeWindow.h"
#include "raster/RasterStartup.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"
#include "tests/desktop/MessageBoxWatch.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

namespace fs = std::filesystem;
using enum TVLPixelFormat;

namespace {

String Str(const std::string& Path) {
    return StrFromUtf8(Path);
}

// A PNG (or a BMP, by the name) of Width x Height with pixels from Seed.
void WritePicture(const std::string& Path, int32_t Width, int32_t Height, int32_t Seed) {
    TVLBitmap bitmap(Width, Height, vl24RGB);
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < Width * 3; ++x)
            row[x] = static_cast<uint8_t>(x * 7 + y * 3 + Seed);
    }
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&bitmap);
    if (Path.ends_with(".bmp"))
        io.SaveToFileBMP(Str(Path));
    else
        io.SaveToFilePNG(Str(Path));
    ASSERT_FALSE(io.AbortingFlag) << Path;
}

// True when Info has a line "DeletionDate=YYYY-MM-DDThh:mm:ss".
bool IsDeletionDateLine(const std::string& Info) {
    const std::string key = "\nDeletionDate=";
    const size_t at = Info.find(key);
    if (at == std::string::npos) return false;
    const std::string date = Info.substr(at + key.size(), 20);
    const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
    if (date.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(date[i]))
                            : date[i] != shape[i])
            return false;
    return true;
}

// Runs Answer with the active modal widget of type WidgetT once the event loop runs.
template <class WidgetT> void AnswerModal(std::function<void(WidgetT&)> Answer) {
    QTimer::singleShot(0, [Answer = std::move(Answer)] {
        auto* widget = qobject_cast<WidgetT*>(QApplication::activeModalWidget());
        ASSERT_NE(widget, nullptr);
        Answer(*widget);
    });
}

// Answers the next message box with Button; Text receives its text.
void AnswerBox(QMessageBox::StandardButton Button, QString* Text = nullptr) {
    AnswerModal<QMessageBox>([=](QMessageBox& Box) {
        if (Text != nullptr) *Text = Box.text();
        Box.button(Button)->click();
    });
}

// Answers with Button the message box whose text holds Part, whenever it opens; Text receives its
// text. The box is waited for while the returned timer lives.
std::unique_ptr<QTimer> AnswerBoxHolding(const QString& Part, QMessageBox::StandardButton Button,
                                         QString* Text) {
    auto poll = std::make_unique<QTimer>();
    QTimer* timer = poll.get();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->text().contains(Part)) return;
        timer->stop();
        *Text = box->text();
        box->button(Button)->click();
    });
    timer->start(5);
    return poll;
}

// Runs Command; true when a modal window opened meanwhile (it is closed at once).
bool OpensAModalWindow(const std::function<void()>& Command) {
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
        }
    });
    Command();
    QApplication::processEvents();
    return opened;
}

// Answers the next save dialog: picks filter number Filter (from 1) and saves as Name.
void AnswerSaveDialog(int Filter, const QString& Name, QString* ShownFilter = nullptr,
                      QString* ShownName = nullptr) {
    AnswerModal<QFileDialog>([=](QFileDialog& d) {
        if (ShownFilter != nullptr) *ShownFilter = d.selectedNameFilter();
        if (ShownName != nullptr && !d.selectedFiles().isEmpty())
            *ShownName = QFileInfo(d.selectedFiles().first()).fileName();
        d.selectNameFilter(d.nameFilters()[Filter - 1]);
        emit d.filterSelected(d.nameFilters()[Filter - 1]);
        d.selectFile(Name);
        d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    });
}

// Runs Answer once the JPEG quality dialog is open.
void AnswerJpegDialog(std::function<void(TfJPEGOption&)> Answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, Answer = std::move(Answer)] {
        if (fJPEGOption == nullptr || !fJPEGOption->Visible()) return;
        poll->stop();
        poll->deleteLater();
        Answer(*fJPEGOption);
    });
    poll->start(5);
}

class MainFiles : public testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_DATA_HOME")) FOldDataHome = old;
        setenv("XDG_CONFIG_HOME", (Root.Path() / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (Root.Path() / "data").c_str(), 1);
        raster::InitializeRasterLibrary();
        fMessage = new TfMessage(nullptr);
        Main = std::make_unique<TfMain>(nullptr);
        // The program's English texts, which sit beside the program, not beside the tests.
        delete LangManager;
        LangManager = new TSVLangManager(u"English", Str(std::string(SV_TESTS_DIR) + "/../data/"));
        Main->Show();
        fs::create_directories(Pictures());
        for (int32_t i = 1; i <= 5; ++i)
            WritePicture(Picture(i), 20 + i, 10 + i, i);
        WriteFileBytes(Pictures() / ".description",
                       "\xEF\xBB\xBFp3.png=The third\r\np5.png=The last\r\n");
    }
    void TearDown() override {
        Main.reset();
        delete fMessage;
        fMessage = nullptr;
        raster::FinalizeRasterLibrary();
        if (FOldDataHome)
            setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }

    fs::path Pictures() const { return Root.Path() / "pics"; }
    std::string Picture(int32_t N) const {
        return (Pictures() / ("p" + std::to_string(N) + ".png")).string();
    }
    fs::path Trash() const { return Root.Path() / "data" / "Trash"; }
    String Shown() const {
        if (Main->CurrentIndex < 0) return {};
        const String path = (*Main->FileList)[Main->CurrentIndex];
        return path.substr(path.find_last_of(u'/') + 1);
    }
    std::string Descriptions() const {
        std::string text;
        if (fs::exists(Pictures() / ".description")) {
            EXPECT_TRUE(RunTool("cat '" + (Pictures() / ".description").string() + "'", text));
        }
        return text;
    }
    // Presses Shift+Delete in the picture view, as the keyboard does.
    void PressShiftDelete() {
        Main->View->SetFocus();
        QWidget* window = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowTitle() == QStringLiteral("Solvaneview")) window = w;
        ASSERT_NE(window, nullptr);
        ASSERT_NE(window->focusWidget(), nullptr);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::ShiftModifier);
        QApplication::sendEvent(window->focusWidget(), &press);
    }

    ScratchFolder Root;
    std::unique_ptr<TfMain> Main;

private:
    std::optional<std::string> FOldDataHome;
};

} // namespace

TEST_F(MainFiles, DeleteMovesTheThirdOfFiveToTheTrashAndShowsTheFormerFourth) {
    Main->OpenPath(Str(Picture(3)));
    ASSERT_EQ(Shown(), u"p3.png");
    QString question;
    AnswerBox(QMessageBox::Yes, &question);
    Main->miDeleteClick(Main->miDelete);

    EXPECT_EQ(question, QStringLiteral("Move \"p3.png\" to the trash?"));
    EXPECT_FALSE(fs::exists(Picture(3)));
    EXPECT_TRUE(fs::exists(Trash() / "files" / "p3.png"));
    std::string info;
    ASSERT_TRUE(RunTool("cat '" + (Trash() / "info" / "p3.png.trashinfo").string() + "'", info));
    EXPECT_TRUE(info.starts_with("[Trash Info]\n")) << info;
    EXPECT_NE(info.find("\nPath=" + Picture(3) + "\n"), std::string::npos) << info;
    EXPECT_TRUE(IsDeletionDateLine(info)) << info;

    ASSERT_EQ(Main->FileList->Count(), 4);
    EXPECT_EQ(Main->CurrentIndex, 2);
    EXPECT_EQ(Shown(), u"p4.png");
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 24); // the picture itself, not only the list
    EXPECT_NE(Main->lTitle->Caption().find(u"p4.png"), String::npos);
    EXPECT_TRUE(fMessage->Visible());
    // Its caption line went; the other stays.
    const std::string captions = Descriptions();
    EXPECT_EQ(captions.find("p3.png"), std::string::npos) << captions;
    EXPECT_NE(captions.find("p5.png=The last"), std::string::npos) << captions;
}

TEST_F(MainFiles, ACancelledDeleteChangesNothing) {
    Main->OpenPath(Str(Picture(3)));
    const std::string captions = Descriptions();
    const std::string title = Utf8FromStr(Main->lTitle->Caption());
    AnswerBox(QMessageBox::No);
    Main->miDeleteClick(Main->miDelete);
    EXPECT_TRUE(fs::exists(Picture(3)));
    EXPECT_FALSE(fs::exists(Trash() / "files" / "p3.png"));
    EXPECT_EQ(Main->FileList->Count(), 5);
    EXPECT_EQ(Shown(), u"p3.png");
    EXPECT_EQ(Utf8FromStr(Main->lTitle->Caption()), title);
    EXPECT_EQ(Descriptions(), captions);
    EXPECT_FALSE(fMessage->Visible());
}

// A trash that cannot be made, and a file gone behind the viewer's back: the refusal is said in
// a message and nothing changes.
TEST_F(MainFiles, ARefusedDeleteSaysSoAndChangesNothing) {
    Main->OpenPath(Str(Picture(3)));
    const std::string captions = Descriptions();
    WriteFileBytes(Root.Path() / "file", "x");
    setenv("XDG_DATA_HOME", (Root.Path() / "file" / "data").c_str(), 1);
    for (const bool vanished : {false, true}) {
        SCOPED_TRACE(vanished ? "vanished" : "no trash");
        if (vanished) fs::remove(Picture(3));
        fMessage->HideNow();
        QString refusal;
        AnswerBox(QMessageBox::Yes);
        const std::unique_ptr<QTimer> answer =
            AnswerBoxHolding(QStringLiteral("could not"), QMessageBox::Ok, &refusal);
        Main->miDeleteClick(Main->miDelete);
        EXPECT_EQ(refusal,
                  QStringLiteral("\"p3.png\" could not be deleted; it is left as it was."));
        EXPECT_EQ(fs::exists(Picture(3)), !vanished);
        EXPECT_EQ(Main->FileList->Count(), 5);
        EXPECT_EQ(Shown(), u"p3.png");
        EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 23);
        EXPECT_EQ(Descriptions(), captions);
        EXPECT_FALSE(fMessage->Visible());
    }
}

TEST_F(MainFiles, ShiftDeleteRemovesTheFileForGood) {
    Main->OpenPath(Str(Picture(1)));
    QString question;
    AnswerBox(QMessageBox::Yes, &question);
    PressShiftDelete();
    EXPECT_EQ(question, QStringLiteral("Delete \"p1.png\" for good? It cannot be restored."));
    EXPECT_FALSE(fs::exists(Picture(1)));
    EXPECT_FALSE(fs::exists(Trash() / "files" / "p1.png"));
    EXPECT_EQ(Shown(), u"p2.png");
    EXPECT_EQ(Main->FileList->Count(), 4);
}

TEST_F(MainFiles, DeletingTheLastShowsTheNewLastAndTheOnlyClosesTheFolder) {
    Main->OpenPath(Str(Picture(5)));
    AnswerBox(QMessageBox::Yes);
    Main->miDeleteClick(Main->miDelete);
    EXPECT_EQ(Shown(), u"p4.png");
    EXPECT_EQ(Main->CurrentIndex, 3);

    for (int32_t i : {1, 2, 4})
        fs::remove(Picture(i));
    Main->OpenPath(Str(Picture(3)));
    ASSERT_EQ(Main->FileList->Count(), 1);
    AnswerBox(QMessageBox::Yes);
    Main->miDeleteClick(Main->miDelete);
    EXPECT_EQ(Main->CurrentIndex, -1);
    EXPECT_EQ(Main->FileList->Count(), 0);
    EXPECT_EQ(Main->lTitle->Caption(), u"Solvaneview");
    // The last caption line went with its picture, and so did the caption file.
    EXPECT_FALSE(fs::exists(Pictures() / ".description"));

    // Nothing open: nothing asked, nothing done.
    Main->miDeleteClick(Main->miDelete);
    Main->miRotateLeftClick(Main->miRotateLeft);
    Main->miCopyFileClick(Main->miCopyFile);
    Main->miSaveAsClick(Main->miSaveAs);
    EXPECT_EQ(Main->CurrentIndex, -1);
}

// A picture that vanished behind the viewer's back is passed over after a delete: the next one on
// disk is shown, else the one before, never the deleted picture under a vanished file's name.
TEST_F(MainFiles, DeleteSkipsAFollowingPictureThatVanished) {
    Main->OpenPath(Str(Picture(3)));
    fs::remove(Picture(4));
    AnswerBox(QMessageBox::Yes);
    Main->miDeleteClick(Main->miDelete);
    EXPECT_EQ(Shown(), u"p5.png");
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 25);
    EXPECT_NE(Main->lTitle->Caption().find(u"p5.png"), String::npos);

    AnswerBox(QMessageBox::Yes);
    Main->miDeleteClick(Main->miDelete); // p5 goes; p4, now last, has vanished
    EXPECT_EQ(Shown(), u"p2.png");
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 22);
}

TEST_F(MainFiles, TurnsRewriteTheTitleAndLeaveTheFile) {
    Main->OpenPath(Str(Picture(2)));
    const std::vector<uint8_t> file = Root.Read("pics/p2.png");
    EXPECT_NE(Main->lTitle->Caption().find(u"22 x 12"), String::npos);
    Main->miRotateLeftClick(Main->miRotateLeft);
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 12);
    EXPECT_NE(Main->lTitle->Caption().find(u"12 x 22"), String::npos)
        << Utf8FromStr(Main->lTitle->Caption());
    EXPECT_TRUE(fMessage->Visible());
    // Save As writes the picture as turned.
    Main->SaveImageAs(Str((Pictures() / "turned.bmp").string()));
    TVistrelIO reader(nullptr);
    reader.LoadFromFile(Str((Pictures() / "turned.bmp").string()));
    EXPECT_EQ(reader.GetBitmap()->GetWidth(), 12);
    EXPECT_EQ(reader.GetBitmap()->GetHeight(), 22);
    Main->miRotateRightClick(Main->miRotateRight);
    EXPECT_NE(Main->lTitle->Caption().find(u"22 x 12"), String::npos);
    EXPECT_TRUE(Root.Read("pics/p2.png") == file);
}

TEST_F(MainFiles, CopyAndCutFileShowTheirMessages) {
    Main->OpenPath(Str(Picture(1)));
    for (TMenuItem* item : {Main->miCopyFile, Main->miCutFile}) {
        fMessage->HideNow();
        EXPECT_TRUE(item->Enabled());
        item->Click();
        EXPECT_TRUE(fMessage->Visible());
        EXPECT_TRUE(fs::exists(Picture(1))); // the file stays until a paste
    }
}

TEST_F(MainFiles, SaveAsRemembersTheFilterAndTheQuality) {
    Main->OpenPath(Str(Picture(4)));
    Settings->JpegQuality = 90;
    // The dialog opens on the shown file with JPEG chosen; PNG is picked and "copy" typed.
    QString shownFilter;
    QString shownName;
    AnswerSaveDialog(4, QStringLiteral("copy"), &shownFilter, &shownName);
    Main->miSaveAsClick(Main->miSaveAs);
    EXPECT_EQ(shownFilter, QStringLiteral("JPEG Image (*.jpg)"));
    EXPECT_EQ(shownName, QStringLiteral("p4.png"));
    EXPECT_EQ(Main->SaveFilterIndex, 4);
    EXPECT_EQ(Root.Read("pics/copy.png").size() > 8, true);
    EXPECT_TRUE(fMessage->Visible());

    // The next Save As starts with PNG; JPEG asks for the quality, which is kept.
    String offered;
    AnswerSaveDialog(2, QStringLiteral("q.jpg"), &shownFilter);
    AnswerJpegDialog([&](TfJPEGOption& Dialog) {
        offered = Dialog.eQuality->Text();
        Dialog.eQuality->SetText(u"75");
        Dialog.btnOk->Click();
    });
    Main->miSaveAsClick(Main->miSaveAs);
    EXPECT_EQ(shownFilter, QStringLiteral("PNG Image (*.png)"));
    EXPECT_EQ(offered, u"90");
    EXPECT_EQ(Settings->JpegQuality, 75);
    if (ToolExists("identify")) {
        std::string quality;
        ASSERT_TRUE(
            RunTool("identify -format %Q '" + (Pictures() / "q.jpg").string() + "'", quality));
        EXPECT_EQ(quality, "75");
    }

    // An extension without a writer writes nothing and says so.
    for (const char* name : {"x.webp", "x.ico"}) {
        SCOPED_TRACE(name);
        fMessage->HideNow();
        QString refusal;
        AnswerBox(QMessageBox::Ok, &refusal);
        Main->SaveImageAs(Str((Pictures() / name).string()));
        EXPECT_EQ(refusal, QStringLiteral("\"%1\" cannot be saved: choose a name ending in .jpg, "
                                          ".bmp, .gif, .png or .tif.")
                               .arg(QString::fromUtf8(name)));
        EXPECT_FALSE(fs::exists(Pictures() / name));
        EXPECT_FALSE(fMessage->Visible());
    }
}

// Files that give no picture (empty, text, a PNG named .jpg, a format without a reader) shown
// after a good picture: the view is empty, the title names the file, the status line says it
// could not be read, and the picture commands do nothing until a picture is shown again.
TEST_F(MainFiles, AFileThatCannotBeReadLeavesTheViewEmptyAndThePictureCommandsIdle) {
    WriteFileBytes(Pictures() / "p1a.png", "");
    WriteFileBytes(Pictures() / "p1b.png", "not a picture at all");
    fs::copy_file(Picture(1), Pictures() / "p1c.jpg");
    WriteFileBytes(Pictures() / "p1d.wmf", std::string(64, 'w'));
    Main->OpenPath(Str(Picture(1)));
    ASSERT_EQ(Main->View->GetVLBitmap()->GetWidth(), 21);
    Main->miRotateLeftClick(Main->miRotateLeft); // a turned picture is what Save As would write
    for (const char16_t* name : {u"p1a.png", u"p1b.png", u"p1c.jpg", u"p1d.wmf"}) {
        SCOPED_TRACE(Utf8FromStr(name));
        Main->ShowNextImage();
        ASSERT_EQ(Shown(), name);
        EXPECT_TRUE(Main->LoadFailed);
        EXPECT_TRUE(Main->View->IsEmpty());
        const String title = Main->lTitle->Caption();
        EXPECT_NE(title.find(name), String::npos) << Utf8FromStr(title);
        EXPECT_EQ(title.find(u" x "), String::npos) << Utf8FromStr(title);
        EXPECT_NE(Main->lStatus->Caption().find(u"Could not be read"), String::npos);

        const double zoom = Main->View->ZoomX();
        fMessage->HideNow();
        EXPECT_FALSE(OpensAModalWindow([&] { Main->miSaveAsClick(Main->miSaveAs); }));
        Main->miRotateLeftClick(Main->miRotateLeft);
        Main->miCopyImageClick(Main->miCopyImage);
        Main->miZoomInClick(Main->miZoomIn);
        EXPECT_FALSE(fMessage->Visible());
        EXPECT_TRUE(Main->View->IsEmpty());
        EXPECT_EQ(Main->View->ZoomX(), zoom);
    }
    Main->ShowNextImage();
    EXPECT_EQ(Shown(), u"p2.png");
    EXPECT_FALSE(Main->LoadFailed);
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 22);
    EXPECT_NE(Main->lStatus->Caption().find(u"%"), String::npos);
    Main->miRotateLeftClick(Main->miRotateLeft);
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 12);
    EXPECT_TRUE(fMessage->Visible());
}

TEST_F(MainFiles, ASaveOverTheShownFileThatFailsKeepsItAndSaysSo) {
    if (!ToolExists("prlimit")) SV_SKIP_WITHOUT_REFERENCE("prlimit is not installed");
    const std::string shown = (Pictures() / "big.bmp").string();
    WritePicture(shown, 400, 400, 9); // 480 KB
    Main->OpenPath(Str(shown));
    ASSERT_EQ(Shown(), u"big.bmp");
    const std::vector<uint8_t> original = Root.Read("pics/big.bmp");
    // Files are limited to 64 KiB, so the writer stops half-way (permissions stop nothing
    // here, the tests run as root).
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    std::string output;
    ASSERT_TRUE(RunTool("prlimit --pid $PPID --fsize=65536:", output));
    fMessage->HideNow();
    QString error;
    AnswerBox(QMessageBox::Ok, &error);
    Main->SaveImageAs(Str(shown));
    ASSERT_TRUE(RunTool("prlimit --pid $PPID --fsize=unlimited:", output));
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(error.startsWith(QStringLiteral("The picture could not be saved as \"%1\".")
                                     .arg(QString::fromStdString(shown))))
        << error.toStdString();
    EXPECT_FALSE(fMessage->Visible());
    EXPECT_TRUE(Root.Read("pics/big.bmp") == original) << "the shown file changed";
    int32_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Pictures()))
        ++files;
    EXPECT_EQ(files, 7) << "a temporary file was left"; // five pictures, captions, big.bmp
}

// The quality dialog over a shown picture shuts out the window behind it: Home, Page Down,
// Delete, Space and Esc typed in its field, and the wheel turned over the picture, leave the
// picture, the folder, the captions and the window as they were; the file saved is the shown
// picture, and Esc only cancels the dialog.
TEST_F(MainFiles, TheQualityDialogShutsOutTheWindowBehind) {
    Application->SetMainForm(Main.get());
    Main->OpenPath(Str(Picture(3)));
    ASSERT_EQ(Shown(), u"p3.png");
    const std::string captions = Descriptions();
    const auto folder = [this] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Pictures()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> files = folder();
    const auto typeInField = [](int Key, const QString& Text) {
        auto* field = QApplication::activeModalWidget()->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        QKeyEvent press(QEvent::KeyPress, Key, Qt::NoModifier, Text);
        QApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, Key, Qt::NoModifier, Text);
        QApplication::sendEvent(field, &release);
    };
    // Esc in the field cancels the dialog, and only that.
    bool held = false;
    AnswerJpegDialog([&](TfJPEGOption& Dialog) {
        typeInField(Qt::Key_Escape, QStringLiteral("\x1b"));
        held = Dialog.ModalResult() == mrNone;
        if (held) Dialog.btnCancel->Click(); // so that the test goes on
    });
    Main->SaveImageAs(Str((Pictures() / "cancelled.jpg").string()));
    EXPECT_FALSE(held);
    EXPECT_NE(Main->WindowState(), wsMinimized);
    EXPECT_EQ(Shown(), u"p3.png");
    const sv_test::TMessageBoxWatch boxes(QMessageBox::No);
    bool mainTookInput = true;
    AnswerJpegDialog([&](TfJPEGOption& Dialog) {
        mainTookInput = IsWindowEnabled(Main->Handle());
        for (auto [key, text] : {std::pair<int, QString>{Qt::Key_Home, {}},
                                 {Qt::Key_PageDown, {}},
                                 {Qt::Key_Delete, {}},
                                 {Qt::Key_Space, QStringLiteral(" ")}})
            typeInField(key, text);
        QWidget* view = platform::detail::NativeWindowOf(Main->View->Handle())->Client;
        const QPointF at(10, 10);
        QWheelEvent wheel(at, view->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        Dialog.eQuality->SetText(u"100");
        Dialog.btnOk->Click();
    });
    Main->SaveImageAs(Str((Pictures() / "saved.jpg").string()));
    EXPECT_FALSE(mainTookInput);
    EXPECT_EQ(Shown(), u"p3.png");
    EXPECT_EQ(boxes.Count, 0);
    EXPECT_FALSE(Main->eCaption->Visible());
    EXPECT_EQ(Descriptions(), captions);
    EXPECT_TRUE(IsWindowEnabled(Main->Handle()));
    // The saved file holds the shown picture: its size and, within the loss of JPEG, its pixels.
    TVistrelIO saved(nullptr);
    saved.LoadFromFile(Str((Pictures() / "saved.jpg").string()));
    TVLBitmap* shown = Main->View->GetVLBitmap();
    ASSERT_EQ(saved.GetBitmap()->GetWidth(), shown->GetWidth());
    ASSERT_EQ(saved.GetBitmap()->GetHeight(), shown->GetHeight());
    int64_t difference = 0;
    for (int32_t y = 0; y < shown->GetHeight(); ++y)
        for (int32_t x = 0; x < shown->GetWidth() * 3; ++x)
            difference += std::abs(saved.GetBitmap()->GetScanline(y)[x] - shown->GetScanline(y)[x]);
    EXPECT_LT(difference / (shown->GetWidth() * 3 * shown->GetHeight()), 16);

    std::vector<std::string> expected = files;
    expected.push_back("saved.jpg");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder(), expected);
    Application->SetMainForm(nullptr);
}
