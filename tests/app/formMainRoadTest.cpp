// The main window driven in-process on the offscreen platform: opening and stepping through a
// folder, a picture that cannot be loaded, the window sized to the picture, zoom steps, dragging
// and arrow keys, and the caption edit against list changes.
#include "app/Captions.h"
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/formMain.h"
#include "app/formMessage.h"
#include "components/SVAALabel.h"
#include "components/SVDropTarget.h"
#include "components/SVLabel.h"
#include "imaging/io/VistrelIO.h"
#include "raster/RasterStartup.h"
#include "tests/ExternalTool.h"
#include "tests/app/ImagingStartup.h"
#include "tests/app/ThumbnailPictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;
using enum TVLPixelFormat;

namespace {

std::string ReadBytes(const fs::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

String FileNameOf(const String& Path) {
    return Str(fs::path(Utf8FromStr(Path)).filename().string());
}

class MainRoad : public testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (Root.Path() / "config").c_str(), 1);
        raster::InitializeRasterLibrary();
        fMessage = new TfMessage(nullptr);
        Main = std::make_unique<TfMain>(nullptr);
    }
    void TearDown() override {
        Main.reset();
        delete fMessage;
        fMessage = nullptr;
        raster::FinalizeRasterLibrary();
    }
    String Shown() const {
        return Main->CurrentIndex < 0 ? String()
                                      : FileNameOf((*Main->FileList)[Main->CurrentIndex]);
    }
    // Options as the settings would give them.
    void SetOptions(bool AutoSize, bool FitToWindow) {
        Main->AutoSize = Settings->AutoSize = AutoSize;
        Main->FitToWindow = Settings->FitToWindow = FitToWindow;
    }

    ScratchFolder Root;
    std::unique_ptr<TfMain> Main;
};

} // namespace

TEST_F(MainRoad, OpeningAFileShowsItInItsFolderInNaturalOrder) {
    ScratchFolder folder;
    for (const char* name : {"a10.jpg", "a2.jpg", "A1.png", "b.JPEG", "d.tif"})
        WritePicture(folder.File(name), 40, 30, 128);
    WritePicture(folder.File("c.tiff.png"), 40, 30, 128);
    fs::rename(folder.File("c.tiff.png"), folder.File("c.tiff"));
    WriteFileBytes(folder.Path() / "e.jpe", "x");
    WriteFileBytes(folder.Path() / "f.txt", "x");

    Main->OpenPath(Str(folder.File("a10.jpg")));
    ASSERT_EQ(Main->FileList->Count(), 6);
    const char* order[] = {"A1.png", "a2.jpg", "a10.jpg", "b.JPEG", "c.tiff", "d.tif"};
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(FileNameOf((*Main->FileList)[i]), Str(order[i])) << i;
    EXPECT_EQ(Main->CurrentIndex, 2);
    EXPECT_EQ(Main->CurrentDir, Str(folder.Path().string()));
    EXPECT_NE(Main->lTitle->Caption().find(u"a10.jpg"), String::npos);

    Main->OpenPath(Str(folder.File("e.jpe")));
    EXPECT_EQ(Shown(), u"A1.png");

    ScratchFolder empty;
    Main->OpenPath(Str(empty.Path().string()));
    EXPECT_EQ(Main->FileList->Count(), 0);
    EXPECT_EQ(Main->CurrentIndex, -1);

    Main->OpenPath(Str(folder.File("a2.jpg")));
    Main->OpenPath(Str(folder.File("missing.jpg")));
    EXPECT_EQ(Shown(), u"a2.jpg");
    EXPECT_EQ(Main->FileList->Count(), 6);
}

TEST_F(MainRoad, StepsPassOverVanishedFilesAndStopAtTheEnds) {
    ScratchFolder folder;
    for (const char* name : {"1.png", "2.png", "3.png", "4.png"})
        WritePicture(folder.File(name), 20, 20, 128);
    Main->OpenPath(Str(folder.Path().string()));
    ASSERT_EQ(Shown(), u"1.png");

    Main->ShowPreviousImage(); // the first-picture notice, nothing moves
    EXPECT_EQ(Shown(), u"1.png");
    EXPECT_TRUE(fMessage->Visible());

    fs::remove(folder.File("2.png"));
    Main->ShowNextImage();
    EXPECT_EQ(Shown(), u"3.png");
    EXPECT_FALSE(fMessage->Visible());
    fs::remove(folder.File("4.png"));
    Main->ShowNextImage(); // nothing shown after 3.png: the index stays on the picture shown
    EXPECT_EQ(Shown(), u"3.png");
    Main->ShowPreviousImage();
    EXPECT_EQ(Shown(), u"1.png");
    Main->miLastImageClick(nullptr);
    EXPECT_EQ(Shown(), u"3.png");
    Main->miFirstImageClick(nullptr);
    EXPECT_EQ(Shown(), u"1.png");

    // The strip's message shows an index.
    Main->Perform(WM_USER + 15, 2, 0);
    EXPECT_EQ(Shown(), u"3.png");
}

TEST_F(MainRoad, TheWheelStepsWithoutKeysAndZoomsWithCtrl) {
    ScratchFolder folder;
    for (const char* name : {"1.png", "2.png"})
        WritePicture(folder.File(name), 200, 150, 128);
    SetOptions(false, false);
    Main->OpenPath(Str(folder.Path().string()));
    const auto wheel = [&](int32_t Keys, int32_t Delta) {
        int32_t x = 5, y = 5;
        Main->View->ClientToScreen(x, y);
        return Main->View->Perform(WM_MOUSEWHEEL, MAKEWPARAM(Keys, Delta), MAKELPARAM(x, y));
    };
    EXPECT_NE(wheel(0, -120), 0);
    EXPECT_EQ(Shown(), u"2.png");
    wheel(MK_LBUTTON, 120); // a button held: nothing
    EXPECT_EQ(Shown(), u"2.png");
    wheel(0, 120);
    EXPECT_EQ(Shown(), u"1.png");
    wheel(MK_CONTROL, 120);
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 120);
    wheel(MK_CONTROL, -120);
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 100);
    EXPECT_EQ(Shown(), u"1.png");
}

TEST_F(MainRoad, APictureThatCannotBeLoadedLeavesTheWindowWorking) {
    ScratchFolder folder;
    WritePicture(folder.File("a.png"), 30, 20, 128);
    WriteFileBytes(folder.Path() / "b.png", "not a picture at all");
    // A name that cannot be opened, even by root: a socket (its file stays after python ends).
    std::string output;
    ASSERT_TRUE(RunTool(
        "python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' '" +
            folder.File("c.jpg") + "'",
        output));
    ASSERT_TRUE(fs::is_socket(folder.File("c.jpg")));
    // A FIFO without a writer, where an open would wait for ever: never listed.
    ASSERT_TRUE(
        RunTool("python3 -c 'import os,sys; os.mkfifo(sys.argv[1])' '" + folder.File("d.jpg") + "'",
                output));
    WritePicture(folder.File("e.png"), 30, 20, 128);

    Main->OpenPath(Str(folder.File("a.png")));
    for (const char16_t* name : {u"b.png", u"c.jpg", u"e.png"}) {
        Main->ShowNextImage();
        EXPECT_EQ(Shown(), name);
        EXPECT_FALSE(Main->Busy) << Utf8FromStr(name);
        EXPECT_EQ(Main->View->PaintLockCount(), 0) << Utf8FromStr(name);
        EXPECT_NE(Main->lTitle->Caption().find(name), String::npos) << Utf8FromStr(name);
        // The picture before is not shown under the unreadable file's name.
        const bool readable = String(name) == u"e.png";
        EXPECT_EQ(Main->LoadFailed, !readable) << Utf8FromStr(name);
        EXPECT_EQ(Main->View->IsEmpty(), !readable) << Utf8FromStr(name);
    }
    EXPECT_EQ(Main->View->GetVLBitmap()->GetWidth(), 30);
}

TEST_F(MainRoad, TheWindowTakesThePictureItsChromeAndTheWorkArea) {
    ScratchFolder folder;
    WritePicture(folder.File("small.png"), 200, 100, 128);
    SetOptions(true, true);
    Main->SetBounds(100, 100, 500, 500);
    Main->OpenPath(Str(folder.File("small.png")));
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 100);
    EXPECT_EQ(Main->Width(), 300);
    EXPECT_EQ(Main->Height(), 300);
    EXPECT_EQ(Main->Left(), 200); // around the centre 350, 350
    EXPECT_EQ(Main->Top(), 200);

    const TRect work = Screen->MonitorWorkareaRect(Bounds(200, 200, 300, 300));
    // Twice the work area each way: the window takes the work area's height, the zoom fits the
    // picture to the height less the title and status bars and the 4 pixels.
    const int32_t w = work.Width() * 2, h = work.Height() * 2;
    WritePicture(folder.File("large.png"), w, h, 128);
    Main->OpenPath(Str(folder.File("large.png")));
    const double sized = static_cast<float>(work.Height() - 50) / h * 100.0;
    EXPECT_EQ(Main->Height(), work.Height());
    EXPECT_EQ(Main->Width(), static_cast<int32_t>(w * sized * 0.01 + 4));
    EXPECT_EQ(Main->Top(), work.Top);
    // The resized window fits the picture once more to the view it has now.
    const int32_t viewH = Main->View->ClientHeight();
    EXPECT_EQ(viewH, work.Height() - 26 - 20 - 2);
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), static_cast<float>(viewH) / h * 100.0);
}

TEST_F(MainRoad, TheCentreIsStoredFromTheBoundsAfterAMove) {
    Main->HandleNeeded();
    Main->SetBounds(100, 100, 400, 400);
    EXPECT_EQ(Main->CenterX, 300);
    Main->SetBounds(200, 150, 400, 400); // a move without resizing
    EXPECT_EQ(Main->CenterX, 400);
    EXPECT_EQ(Main->CenterY, 350);
}

TEST_F(MainRoad, ZoomStepsAndTheReturnTo100) {
    ScratchFolder folder;
    WritePicture(folder.File("p.png"), 300, 200, 128);
    SetOptions(false, false);
    Main->miZoomInClick(nullptr); // nothing open: nothing
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 100);
    Main->OpenPath(Str(folder.File("p.png")));
    for (double zoom : {120.0, 144.0, 172.8}) {
        Main->miZoomInClick(nullptr);
        EXPECT_NEAR(Main->View->ZoomX(), zoom, 1e-9);
    }
    uint16_t key = VK_OEM_PLUS;
    Main->TntFormKeyDown(nullptr, key, 0);
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 100);
    for (double zoom : {80.0, 64.0}) {
        Main->miZoomOutClick(nullptr);
        EXPECT_NEAR(Main->View->ZoomX(), zoom, 1e-9);
    }
    Main->miZoomOrgSizeClick(nullptr);
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 100);
}

TEST_F(MainRoad, DragAndArrowKeysScrollOnlyWhereThePictureIsLarger) {
    ScratchFolder folder;
    SetOptions(false, false);
    Main->SetBounds(100, 100, 500, 500);
    const int32_t viewW = Main->View->ClientWidth(), viewH = Main->View->ClientHeight();
    ASSERT_GT(viewW, 100);
    WritePicture(folder.File("wide.png"), viewW * 2, viewH / 2, 128);
    Main->OpenPath(Str(folder.File("wide.png")));
    ASSERT_DOUBLE_EQ(Main->View->ZoomX(), 100);
    ASSERT_EQ(Main->View->ViewX(), 0);

    Main->imgView1MouseDown(nullptr, mbLeft, ssLeft, 50, 50);
    EXPECT_EQ(Main->View->Cursor(), 15);
    Main->imgView1MouseMove(nullptr, ssLeft, 20, 10);
    EXPECT_EQ(Main->View->ViewX(), 30);
    EXPECT_EQ(Main->View->ViewY(), 0); // the picture fits vertically
    Main->imgView1MouseUp(nullptr, mbLeft, 0, 20, 10);
    EXPECT_EQ(Main->View->Cursor(), 14);

    bool handled = false;
    Main->imgViewSpecialKey(nullptr, VK_LEFT, 0, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Main->View->ViewX(), 20);
    Main->imgViewSpecialKey(nullptr, VK_RIGHT, ssShift, handled);
    EXPECT_EQ(Main->View->ViewX(), viewW); // the right end
    Main->imgViewSpecialKey(nullptr, VK_LEFT, ssShift, handled);
    EXPECT_EQ(Main->View->ViewX(), 0);
    Main->imgViewSpecialKey(nullptr, VK_UP, 0, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(Main->View->ViewY(), 0);
    Main->imgViewSpecialKey(nullptr, VK_LEFT, ssCtrl, handled);
    EXPECT_FALSE(handled);
}

TEST_F(MainRoad, DropOpensTheFirstListedFileOnly) {
    ScratchFolder folder;
    WritePicture(folder.File("a.png"), 20, 20, 128);
    WritePicture(folder.File("b.png"), 20, 20, 128);
    WriteFileBytes(folder.Path() / "n.txt", "x");
    TPoint point{0, 0};
    uint32_t effect = 0;
    Main->SVDropFileTarget->Files().Add(Str(folder.File("n.txt")));
    Main->SVDropFileTarget->Files().Add(Str(folder.File("b.png")));
    Main->SVDropFileTargetDrop(nullptr, 0, point, effect);
    EXPECT_EQ(Main->CurrentIndex, -1);
    Main->SVDropFileTarget->Files().Clear();
    Main->SVDropFileTarget->Files().Add(Str(folder.File("b.png")));
    Main->SVDropFileTarget->Files().Add(Str(folder.File("a.png")));
    Main->SVDropFileTargetDrop(nullptr, 0, point, effect);
    EXPECT_EQ(Shown(), u"b.png");
}

TEST_F(MainRoad, CaptionEdits) {
    ScratchFolder folder, other;
    for (const char* name : {"a2.jpg", "x=y.jpg", "z.png"})
        WritePicture(folder.File(name), 20, 20, 128);
    WritePicture(other.File("o.png"), 20, 20, 128);
    const fs::path file = folder.Path() / ".description";
    const auto edit = [&](const String& Text, char16_t Key) {
        Main->miEditCaptionClick(nullptr);
        ASSERT_TRUE(Main->eCaption->Visible());
        Main->eCaption->SetText(Text);
        Main->eCaptionKeyPress(nullptr, Key);
        EXPECT_EQ(Key, 0);
        EXPECT_FALSE(Main->eCaption->Visible());
    };

    Main->OpenPath(Str(folder.File("a2.jpg")));
    ASSERT_FALSE(Main->lCaption->Visible());
    edit(u"Grüße", VK_RETURN);
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF"
                               "a2.jpg=Gr\xC3\xBC\xC3\x9F"
                               "e\r\n");
    // The committed caption shows at once, in its place beside the status.
    EXPECT_EQ(Main->lCaption->Caption(), u"Grüße");
    EXPECT_TRUE(Main->lCaption->Visible());
    EXPECT_EQ(Main->lCaption->Left(), Main->lStatus->Left() + Main->lStatus->Width());

    edit(u"other", VK_ESCAPE); // Esc writes nothing
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF"
                               "a2.jpg=Gr\xC3\xBC\xC3\x9F"
                               "e\r\n");

    Main->OpenPath(Str(folder.File("x=y.jpg")));
    edit(u"one", VK_RETURN);
    edit(u"two", VK_RETURN);
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF"
                               "a2.jpg=Gr\xC3\xBC\xC3\x9F"
                               "e\r\nx=y.jpg=two\r\n");

    // Opening another folder during an edit ends it in its own folder.
    Main->miEditCaptionClick(nullptr);
    Main->eCaption->SetText(u"three");
    Main->OpenPath(Str(other.Path().string()));
    EXPECT_FALSE(fs::exists(other.Path() / ".description"));
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF"
                               "a2.jpg=Gr\xC3\xBC\xC3\x9F"
                               "e\r\nx=y.jpg=three\r\n");

    // An edit running while the next picture is shown stays with its own picture.
    Main->OpenPath(Str(folder.File("a2.jpg")));
    Main->miEditCaptionClick(nullptr);
    Main->eCaption->SetText(u"");
    Main->ShowNextImage();
    EXPECT_EQ(Shown(), u"x=y.jpg");
    Main->eCaptionExit(nullptr);
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF"
                               "x=y.jpg=three\r\n");
    EXPECT_EQ(Main->lCaption->Caption(), u"three");

    Main->miEditCaptionClick(nullptr);
    Main->eCaption->SetText(u"");
    Main->eCaptionExit(nullptr);
    EXPECT_FALSE(fs::exists(file)); // the only caption cleared: the file goes
    EXPECT_FALSE(Main->lCaption->Visible());
}

// Where no folder for the settings can be made, the program makes none beside itself (which
// would turn it portable for good): the settings live for the session, and the user is told.
TEST_F(MainRoad, WithoutAFolderForTheSettingsTheyAreKeptForTheSession) {
    Main.reset();
    const fs::path exeFolder = fs::read_symlink("/proc/self/exe").parent_path();
    ASSERT_FALSE(fs::exists(exeFolder / "userdata"));
    const char* oldHome = std::getenv("HOME");
    const std::string home = oldHome != nullptr ? oldHome : "";
    WriteFileBytes(Root.Path() / "file", "x");
    setenv("XDG_CONFIG_HOME", (Root.Path() / "file" / "config").c_str(), 1);
    setenv("HOME", (Root.Path() / "file" / "home").c_str(), 1);
    Main = std::make_unique<TfMain>(nullptr);
    EXPECT_TRUE(Main->DataDir.empty());
    EXPECT_TRUE(Settings->FileName.empty());
    Settings->JpegQuality = 75; // kept while the program runs
    EXPECT_EQ(Settings->JpegQuality, 75);
    delete LangManager;
    LangManager = new TSVLangManager(u"English", Str(std::string(SV_TESTS_DIR) + "/../data/"));
    Main->Timer1Timer(nullptr);
    EXPECT_TRUE(fMessage->Visible());
    EXPECT_EQ(fMessage->Text, u"No folder for the settings can be written; changes are kept only "
                              u"until the program ends.");
    Main.reset();
    setenv("HOME", home.c_str(), 1);
    EXPECT_FALSE(fs::exists(exeFolder / "userdata"));
    EXPECT_FALSE(fs::exists(exeFolder / "solvaneview.ini"));
}

TEST_F(MainRoad, MenuCommandsAndTheirShortcutsReachTheRoad) {
    ScratchFolder folder;
    for (const char* name : {"1.png", "2.png", "3.png"})
        WritePicture(folder.File(name), 300, 200, 128);
    SetOptions(false, false);
    for (TMenuItem* item :
         {Main->miOpen, Main->mipOpen, Main->miClose, Main->miEditCaption, Main->miPreviousImage,
          Main->miNextImage, Main->miFirstImage, Main->miLastImage, Main->miZoomIn, Main->miZoomOut,
          Main->miZoom100, Main->miAutoSize, Main->miFitToWindow})
        EXPECT_TRUE(item->Enabled()) << Utf8FromStr(item->Name());
    EXPECT_EQ(Main->View->PopupMenu(), Main->pmContext);
    Main->OpenPath(Str(folder.File("1.png")));
    const auto press = [&](uint16_t Key) {
        TWMKey message{WM_KEYDOWN, Key, 0, 0};
        bool handled = false;
        Main->TntFormShortCut(message, handled);
        return handled;
    };
    EXPECT_TRUE(press(VK_NEXT));
    EXPECT_EQ(Shown(), u"2.png");
    EXPECT_TRUE(press(VK_END));
    EXPECT_EQ(Shown(), u"3.png");
    EXPECT_TRUE(press(VK_PRIOR));
    EXPECT_EQ(Shown(), u"2.png");
    EXPECT_TRUE(press(VK_HOME));
    EXPECT_EQ(Shown(), u"1.png");
    EXPECT_TRUE(press(VK_ADD));
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 120);
    EXPECT_TRUE(press(VK_MULTIPLY));
    EXPECT_DOUBLE_EQ(Main->View->ZoomX(), 100);

    // Space opens the editor, which then keeps every key; Exit stores the running edit.
    EXPECT_TRUE(press(VK_SPACE));
    ASSERT_TRUE(Main->eCaption->Visible());
    EXPECT_FALSE(press(VK_NEXT));
    EXPECT_EQ(Shown(), u"1.png");
    Main->eCaption->SetText(u"kept");
    Main->miExit->Click();
    EXPECT_FALSE(Main->eCaption->Visible());
    EXPECT_EQ(ReadBytes(folder.Path() / ".description"), "\xEF\xBB\xBF"
                                                         "1.png=kept\r\n");

    Main->miClose->Click();
    EXPECT_EQ(Main->CurrentIndex, -1);
    EXPECT_EQ(Main->FileList->Count(), 0);
    EXPECT_FALSE(Main->lCaption->Visible());
}
