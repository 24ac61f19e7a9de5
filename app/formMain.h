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

class TSVPaintPanel;
class TSVAALabel;
class TSVPngButton;
class TSVImageButton;
class TSVLabel;
class TSVDropFileTarget;
class TSWSetting;

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
    TStringList* Captions = nullptr;
    TStringList* Extensions = nullptr;
    int32_t CurrentIndex = -1;
    int32_t CenterX = 0;
    int32_t CenterY = 0;
    bool Busy = false;
    std::unique_ptr<TPngImage> TitleBackground; // empty when the skin has none
    bool EditCancelled = false;
    int32_t EditIndex = 0;
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
