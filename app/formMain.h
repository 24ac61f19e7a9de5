// The viewer's main window: a borderless window with its own title bar, caption buttons, status
// line and resize grip around the picture view; its construction and destruction order, and the
// routing of keys, mouse actions and window messages. The program's entry is WinMain.
#pragma once

#include "imaging/view/VistrelView.h"
#include "platform/gfx/PngImage.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Thread.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/Timer.h"

#include <memory>
#include <optional>
#include <vector>

class TSVPaintPanel;
class TSVAALabel;
class TSVPngButton;
class TSVImageButton;
class TSVLabel;
class TSVDropFileTarget;
class TSWSetting;
class TCaptions;
class TSaveDialog;
struct TViewGeometry;
enum class TBrowseStep;

// The picture view of the main window.
class TSVImageView : public TVistrelView {
public:
    using TVistrelView::TVistrelView;
};

// An idle preload worker that is never given work: it would load Files into 32-bit bitmaps,
// one per path, and report each through OnImageLoaded.
class TSVImageLoadThread : public TThread {
public:
    TSVImageLoadThread();
    ~TSVImageLoadThread() override;

    TStringList Files; // the objects would hold one bitmap per path
    int32_t CurrentIndex = -1;
    std::function<void(TObject* Sender, int32_t Index)> OnImageLoaded;

protected:
    void Execute() override;

private:
    void DoImageLoaded();
    void ClearFiles();
};

class TfMain : public TForm {
public:
    explicit TfMain(TComponent* AOwner);
    ~TfMain() override;

    // Shows Text in the on-screen message for Milliseconds; HideOsd hides it at once.
    void ShowOsd(const String& Text, int32_t Milliseconds);
    void HideOsd();
    // The title (folder, file, sizes, shortened to fit) and then the status line.
    void UpdateTitle();
    void UpdateStatus();

    void Dispatch(TMessage& Message) override;

    // The window's components, all owned by it.
    TSVPaintPanel* pTitleBar;
    TSVAALabel* lTitle;
    TSVPngButton* btnMinimize;
    TSVPngButton* btnMaximize;
    TSVPngButton* btnClose;
    TSVImageButton* btnMenu;
    TSVPaintPanel* pLeft;
    TSVPaintPanel* pRight;
    TPanel* Panel1;
    TSVPaintPanel* StatusBar;
    TSVLabel* lStatus;
    TLabel* lCaption;
    TEdit* eCaption;
    TSVDropFileTarget* SVDropFileTarget;
    TTimer* Timer1;

    // The main menu, opened by btnMenu; its shortcuts are the items' own.
    TPopupMenu* pmMain;
    TMenuItem* miFile;
    TMenuItem* miOpen;
    TMenuItem* miClose;
    TMenuItem* miSaveAs;
    TMenuItem* N12;
    TMenuItem* miEditCaption;
    TMenuItem* N2;
    TMenuItem* miDelete;
    TMenuItem* N1;
    TMenuItem* miEdit;
    TMenuItem* miCopyImage;
    TMenuItem* N3;
    TMenuItem* miCopyFile;
    TMenuItem* miCutFile;
    TMenuItem* miView;
    TMenuItem* miPreviousImage;
    TMenuItem* miNextImage;
    TMenuItem* N7;
    TMenuItem* miFirstImage;
    TMenuItem* miLastImage;
    TMenuItem* N6;
    TMenuItem* miZoomIn;
    TMenuItem* miZoomOut;
    TMenuItem* miZoom100;
    TMenuItem* N5;
    TMenuItem* miBackgroundColor;
    TMenuItem* N4;
    TMenuItem* miAutoSize;
    TMenuItem* miFitToWindow;
    TMenuItem* N11;
    TMenuItem* miThumbnails;
    TMenuItem* miLanguage;
    TMenuItem* miTools;
    TMenuItem* miRotateLeft;
    TMenuItem* miRotateRight;
    TMenuItem* miHelp;
    TMenuItem* miShortcutKeys;
    TMenuItem* N9;
    TMenuItem* miHomepage;
    TMenuItem* miCheckUpdate;
    TMenuItem* N8;
    TMenuItem* miAbout;
    TMenuItem* N10;
    TMenuItem* miExit;
    // The picture view's context menu.
    TPopupMenu* pmContext;
    TMenuItem* mipOpen;

    // The window's fields.
    String CurrentDir;
    TStringList* FileList = nullptr;
    TCaptions* Captions = nullptr; // the folder's caption lines and the running caption edit
    TStringList* Extensions = nullptr;
    int32_t CurrentIndex = -1;
    // The file at CurrentIndex gave no picture: the view is blank and the picture commands wait
    // for the next picture shown.
    bool LoadFailed = false;
    int32_t CenterX = 0;
    int32_t CenterY = 0;
    bool Busy = false;
    std::unique_ptr<TPngImage> TitleBackground; // empty when the skin has none
    TSVImageView* View = nullptr;
    bool MaximizedByUs = false;
    TRect RestoreBounds;
    std::unique_ptr<TSVImageLoadThread> PreloadThread;
    bool AutoSize = false;
    bool FitToWindow = false;
    int32_t MinWindowWidth = 300;
    int32_t MinWindowHeight = 300;
    int32_t DragOriginX = 0;
    int32_t DragOriginY = 0;
    int32_t SaveFilterIndex = 2;
    int32_t GripOffsetX = -1;
    int32_t GripOffsetY = -1;
    String ExeDir;
    String DataDir;

    // The thumbnail strip (formMainThumbs.cpp): refilled from FileList and Captions while it is
    // visible; shown docked at the right edge of the work area, or closed.
    void RefreshThumbnails();
    void ShowThumbnails(bool Show);
    // The strip's left edge while it is visible on this window's monitor (the window's room
    // ends there); no value otherwise.
    std::optional<int32_t> DockedStripLeft();
    // The strip's list selects the shown picture, while the strip is visible and one is shown.
    void SelectCurrentThumbnail();

    // Handlers, public so that tests can drive them as the window's events do.
    void TntFormShortCut(TWMKey& Msg, bool& Handled);
    void miThumbnailsClick(TObject* Sender);
    void Timer1Timer(TObject* Sender);
    void miBackgroundColorClick(TObject* Sender);
    void miExitClick(TObject* Sender);
    void miViewClick(TObject* Sender);
    // One radio item under miLanguage per language file, the current language checked.
    void BuildLanguageMenu();
    // Switches to the clicked item's language and translates the window again.
    void OnLanguageItemClick(TObject* Sender);

    // ---- Browsing, zoom and captions (formMainRoad.cpp) ----
    // True while a picture is shown: a file is open and it could be read.
    bool PictureShown() const { return CurrentIndex != -1 && !LoadFailed; }
    // Opens a file or a folder: lists the folder's pictures and shows the file, else the first.
    // A path that does not exist changes nothing.
    void OpenPath(const String& Path);
    // Loads and shows FileList[Index]; nothing for an index outside the list, a vanished file or
    // while a showing runs. A file that gives no picture leaves the view blank under its name.
    void ShowImage(int32_t Index);
    void CloseImage();
    void ShowPreviousImage();
    void ShowNextImage();
    void LoadCaptions();
    // Ends a running caption edit: stores its text unless Esc left it.
    void CommitCaptionEdit();
    void AutoSizeWindow(int32_t ImageWidth, int32_t ImageHeight);
    void FitZoom(int32_t AvailWidth, int32_t AvailHeight);
    void CenterImage();
    // Zoom steps about client point (X, Y) of the view; (-1, -1) for the view's centre.
    void ZoomIn(int32_t X, int32_t Y);
    void ZoomOut(int32_t X, int32_t Y);
    void StoreWindowCenter();
    void OnShowIndexMessage(TMessage& Message);

    void miOpenClick(TObject* Sender);
    void miCloseClick(TObject* Sender);
    void miPreviousImageClick(TObject* Sender);
    void miNextImageClick(TObject* Sender);
    void miFirstImageClick(TObject* Sender);
    void miLastImageClick(TObject* Sender);
    void miZoomInClick(TObject* Sender);
    void miZoomOutClick(TObject* Sender);
    void miZoomOrgSizeClick(TObject* Sender);
    void miAutoSizeClick(TObject* Sender);
    void miFitToWindowClick(TObject* Sender);
    void miEditCaptionClick(TObject* Sender);
    void imgViewDblClick(TObject* Sender);
    void imgView1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                           int32_t Y);
    void imgView1MouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
    void imgView1MouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                         int32_t Y);
    void imgViewSpecialKey(TObject* Sender, uint16_t Key, TShiftState Shift, bool& Handled);
    void SVDropFileTargetDrop(TObject* Sender, TShiftState Shift, TPoint& Point, uint32_t& Effect);
    void TntFormMouseWheelDown(TObject* Sender, TShiftState Shift, int32_t MouseX, int32_t MouseY,
                               bool& Handled);
    void TntFormMouseWheelUp(TObject* Sender, TShiftState Shift, int32_t MouseX, int32_t MouseY,
                             bool& Handled);
    void TntFormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
    void TntFormResize(TObject* Sender);
    void btnMaximizeClick(TObject* Sender);
    void lTitleDblClick(TObject* Sender);
    void lCaptionClick(TObject* Sender);
    void eCaptionExit(TObject* Sender);
    void eCaptionKeyPress(TObject* Sender, char16_t& Key);

    // ---- File and clipboard commands, Save As (formMainFiles.cpp) ----
    TSaveDialog* SaveDialog = nullptr;
    // Writes the picture as it is in memory to FileName in the format its extension names
    // (JPEG after asking for the quality); a failure is reported in a message box.
    void SaveImageAs(const String& FileName);
    void miRotateLeftClick(TObject* Sender);
    void miRotateRightClick(TObject* Sender);
    void miCopyImageClick(TObject* Sender);
    // Copy File (an item with Tag 0) or Cut File (Tag 1).
    void miCopyFileClick(TObject* Sender);
    // Deletes the shown file after asking: to the trash, or for good while Shift is held.
    void miDeleteClick(TObject* Sender);
    void miSaveAsClick(TObject* Sender);

protected:
    void CreateParams(TCreateParams& Params) override;

private:
    void CreateComponents();
    void CreateTitleBar();
    void CreateMenus();
    // Binds and enables the strip's menu command (formMainThumbs.cpp); after CreateMenus.
    void BindThumbnailCommands();
    void CreateMenuButton();
    void CreateStatusBar();
    void CreateView();
    void PlaceWindow();
    void LoadSkin();
    // Binds the window's own events of browsing, zoom and captions (formMainRoad.cpp).
    void BindRoadEvents();
    // Binds and enables the menu commands of browsing, zoom and captions.
    void BindRoadCommands();
    // Makes the save dialog and binds and enables the file commands' menu items
    // (formMainFiles.cpp).
    void BindFileCommands();
    void RotateImage(bool Left);
    int32_t PictureAfterDelete(int32_t Index) const;
    // Opens the path given as the program's first argument, when there is one.
    void OpenCommandLinePath();
    TViewGeometry ViewGeometry();
    void StepImage(TBrowseStep Step);
    void ShowCaptionLabel();
    void ApplyZoomStep(bool ZoomingIn, int32_t X, int32_t Y);
    void TntFormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void TntFormDestroy();
    void OnWindowPosChanging(const WINDOWPOS& Pos);
    void pTitleBarPaint(TObject* Sender, TCanvas* ACanvas, const TRect& Rect);
    void pTitleBarMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                            int32_t Y);
    void pTitleBarResize(TObject* Sender);
    void btnMinimizeClick(TObject* Sender);
    void btnCloseClick(TObject* Sender);
    void StatusBarMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                            int32_t Y);
    void StatusBarMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
    void StatusBarMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                          int32_t Y);
};

// The maker's home page: the caption of miHomepage and the address it opens.
inline const String HomepageAddress = u"https://solvaneview.example.org/";

extern TfMain* fMain;
// The program's settings, from the main window's construction to its destruction.
extern TSWSetting* Settings;

// The program: makes the windows, runs the message loop, and answers 0.
int32_t WinMain();
