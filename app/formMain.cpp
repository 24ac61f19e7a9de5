// The main window: construction in the window's own order, first showing, closing and
// destruction, the title bar, the resize grip and the form's shortcut pass.
#include "app/formMain.h"

#include "app/Browsing.h"
#include "app/Captions.h"
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/ZoomGeometry.h"
#include "app/formMessage.h"
#include "app/formThumbs.h"
#include "components/SVAALabel.h"
#include "components/SVDropTarget.h"
#include "components/SVImageButton.h"
#include "components/SVLabel.h"
#include "components/SVPaintPanel.h"
#include "components/SVPngButton.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/proc/VistrelProc.h"
#include "platform/gfx/GdiPlus.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/WinApi.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/WinUser.h"
#include "raster/Bitmap32.h"

#include <algorithm>
#include <cstdio>

TfMain* fMain = nullptr;
TSWSetting* Settings = nullptr;

namespace {

// Cursor ids of the picture drag: where the picture can be dragged, and while dragging.
constexpr TCursor crDragMove = 14;
constexpr TCursor crDragDown = 15;
constexpr int32_t GripSize = 16;
const String ProgramName = u"Solvaneview";
uintptr_t GdiplusToken = 0;

// Window-less pictures of the skin, beside the program: "skin/<Name>".
String SkinFile(const String& ExeDir, const String& Name) {
    return IncludeTrailingPathDelimiter(ExeDir) + u"skin/" + Name;
}

void SetFont(TFont* Font, const String& Name, int32_t Height, TColor Color, bool Bold) {
    Font->SetName(Name);
    Font->SetHeight(Height);
    Font->SetColor(Color);
    if (Bold) Font->SetStyle({fsBold});
}

} // namespace

// ---- TSVImageLoadThread --------------------------------------------------------------------

TSVImageLoadThread::TSVImageLoadThread() = default;

TSVImageLoadThread::~TSVImageLoadThread() {
    if (Started()) {
        Terminate();
        WaitFor();
    }
    ClearFiles();
}

void TSVImageLoadThread::Execute() {
    // The load step never loads anything (it answers "not loaded" for every path), so no
    // path gets a bitmap; the walk and its reports stay as the worker's protocol.
    for (int32_t i = 0; i < Files.Count() && !Terminated(); ++i) {
        CurrentIndex = i;
        if (!Terminated()) Synchronize([this] { DoImageLoaded(); });
    }
    CurrentIndex = -1;
}

void TSVImageLoadThread::DoImageLoaded() {
    if (OnImageLoaded) OnImageLoaded(this, CurrentIndex);
}

void TSVImageLoadThread::ClearFiles() {
    Files.Clear();
}

// ---- TfMain: construction ------------------------------------------------------------------

TfMain::TfMain(TComponent* AOwner) : TForm(AOwner) {
    CreateComponents();
    BindThumbnailCommands();
    PreloadThread = std::make_unique<TSVImageLoadThread>();
    PreloadThread->OnImageLoaded = [](TObject*, int32_t) {};
    FileList = new TStringList;
    Captions = new TCaptions;
    Extensions = new TStringList;
    const TDataFolders folders = ResolveDataFolders(ExtractFilePath(GetModuleFileNameW()));
    ExeDir = folders.ExeDir;
    DataDir = folders.DataDir;
    Settings = new TSWSetting(DataDir, u"");
    // Without a user-data folder the settings live for this session only, never beside the
    // program; the user is told once the window shows.
    if (DataDir.empty()) Settings->FileName.clear();
    Settings->Load();
    AutoSize = Settings->AutoSize;
    FitToWindow = Settings->FitToWindow;
    CreateView();
    PlaceWindow();
    View->GetVLBitmap()->ResizeCanvas(100, 100, 0, 255, 0, 0);
    View->SetBackground(Settings->BackColor);
    View->GetProc()->Clear();
    View->InteractionCursors = false;
    View->MouseWheelParams().Action = 0; // the window handles the wheel itself
    View->GetIO()->IOParams().JpegAdjustOrientation = true;
    GdiplusStartupInput input;
    GdiplusStartup(&GdiplusToken, &input, nullptr);
    LoadSkin();
    for (const String& extension : PictureExtensions())
        Extensions->Add(extension);
    LangManager = new TSVLangManager(Settings->Language, u"");
    Settings->Language = LangManager->Language;
    BuildLanguageMenu();
    LangManager->TranslateForm(u"formMain", this);
    SVDropFileTarget->Register(this);
    BindRoadEvents();
    BindRoadCommands();
    BindFileCommands();
}

void TfMain::CreateParams(TCreateParams& Params) {
    TForm::CreateParams(Params);
    Params.Style = WS_POPUP | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    Params.WindowClass.style |= CS_DROPSHADOW;
}

void TfMain::CreateComponents() {
    SetBorderStyle(bsNone);
    SetCaption(ProgramName);
    SetColor(0x353535);
    SetClientSize(707, 553);
    SetPadding({1, 1, 1, 1});
    KeyPreview = true;
    OnShortCut = [this](TWMKey& Msg, bool& Handled) { TntFormShortCut(Msg, Handled); };
    OnShow = [this](TObject* Sender) { TntFormShow(Sender); };
    OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
    CreateTitleBar();
    CreateMenus();
    pLeft = new TSVPaintPanel(this);
    pLeft->SetName(u"pLeft");
    pLeft->SetWidth(179);
    pLeft->SetAlign(alLeft);
    pLeft->Hide();
    pLeft->SetParent(this);
    pRight = new TSVPaintPanel(this);
    pRight->SetName(u"pRight");
    pRight->SetWidth(51);
    pRight->SetAlign(alRight);
    pRight->Hide();
    pRight->SetParent(this);
    CreateStatusBar();
    Panel1 = new TPanel(this);
    Panel1->SetName(u"Panel1");
    Panel1->SetBevelOuter(bvNone);
    Panel1->SetColor(clBlack);
    Panel1->SetAlign(alClient);
    Panel1->SetParent(this);
    SVDropFileTarget = new TSVDropFileTarget(this);
    SVDropFileTarget->SetName(u"SVDropFileTarget");
    SVDropFileTarget->SetDragTypes(DragTypeSet(dtCopy));
    SVDropFileTarget->SetShowImage(true);
    SVDropFileTarget->SetScrollMargin(20);
    Timer1 = new TTimer(this);
    Timer1->SetName(u"Timer1");
    Timer1->SetEnabled(false);
    Timer1->SetInterval(500);
    Timer1->SetOnTimer([this](TObject* Sender) { Timer1Timer(Sender); });
}

void TfMain::CreateTitleBar() {
    pTitleBar = new TSVPaintPanel(this);
    pTitleBar->SetName(u"pTitleBar");
    pTitleBar->SetHeight(26);
    pTitleBar->SetAlign(alTop);
    pTitleBar->SetBevelOuter(bvNone);
    pTitleBar->SetColor(Color());
    pTitleBar->SetCustomDraw(true);
    pTitleBar->SetParent(this);
    pTitleBar->OnPaint = [this](TObject* Sender, TCanvas* ACanvas, const TRect& Rect) {
        pTitleBarPaint(Sender, ACanvas, Rect);
    };
    const auto titleMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift,
                                       int32_t X, int32_t Y) {
        pTitleBarMouseDown(Sender, Button, Shift, X, Y);
    };
    pTitleBar->OnMouseDown = titleMouseDown;
    pTitleBar->OnResize = [this](TObject* Sender) { pTitleBarResize(Sender); };

    lTitle = new TSVAALabel(this);
    lTitle->SetName(u"lTitle");
    lTitle->SetAutoSize(false);
    lTitle->SetBounds(17, 4, 626, 17);
    lTitle->SetCaption(ProgramName);
    SetFont(lTitle->Font(), u"Segoe UI", -11, 0xE8E8E8, true);
    lTitle->SetAntiAliasLevel(0);
    lTitle->SetAntiAliasStyle(aaSharp);
    lTitle->SetInnerShadow(true);
    lTitle->SetTransparent(true);
    lTitle->OnMouseDown = titleMouseDown;
    lTitle->SetParent(pTitleBar);

    const struct {
        TSVPngButton*& Button;
        const char16_t* Name;
        const char16_t* Hint;
        int32_t Left;
    } buttons[] = {{btnMinimize, u"btnMinimize", u"Minimize", 649},
                   {btnMaximize, u"btnMaximize", u"Maximize", 666},
                   {btnClose, u"btnClose", u"Close", 682}};
    for (const auto& b : buttons) {
        b.Button = new TSVPngButton(this);
        b.Button->SetName(b.Name);
        b.Button->Hint = b.Hint;
        b.Button->ShowHint = true;
        b.Button->SetAutoSize(false);
        b.Button->SetBounds(b.Left, 5, 17, 17);
        b.Button->SetNumImages(3);
        b.Button->SetLayout(btlRight);
        b.Button->SetParent(pTitleBar);
    }
    btnMinimize->OnClick = [this](TObject* Sender) { btnMinimizeClick(Sender); };
    btnClose->OnClick = [this](TObject* Sender) { btnCloseClick(Sender); };
}

void TfMain::CreateStatusBar() {
    StatusBar = new TSVPaintPanel(this);
    StatusBar->SetName(u"StatusBar");
    StatusBar->SetHeight(20);
    StatusBar->SetAlign(alBottom);
    StatusBar->SetBevelOuter(bvNone);
    StatusBar->SetColor(clBlack);
    StatusBar->SetPadding({6, 0, 0, 0});
    StatusBar->SetParent(this);
    StatusBar->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift,
                                    int32_t X,
                                    int32_t Y) { StatusBarMouseDown(Sender, Button, Shift, X, Y); };
    StatusBar->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int32_t X, int32_t Y) {
        StatusBarMouseMove(Sender, Shift, X, Y);
    };
    StatusBar->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift,
                                  int32_t X,
                                  int32_t Y) { StatusBarMouseUp(Sender, Button, Shift, X, Y); };

    lStatus = new TSVLabel(this);
    lStatus->SetName(u"lStatus");
    lStatus->SetColor(clBlack);
    SetFont(lStatus->Font(), u"Tahoma", -11, clSilver, false);
    lStatus->SetLayout(tlCenter);
    lStatus->SetAlign(alLeft);
    lStatus->SetCaption(u"Double Click to open the image");
    lStatus->SetParent(StatusBar);

    lCaption = new TLabel(this);
    lCaption->SetName(u"lCaption");
    lCaption->Hide();
    lCaption->SetAutoSize(false);
    lCaption->SetBounds(352, 0, 41, 20);
    lCaption->SetColor(clBlack);
    lCaption->SetAlignment(taCenter);
    lCaption->SetLayout(tlCenter);
    lCaption->SetEllipsisPosition(epEndEllipsis);
    SetFont(lCaption->Font(), u"Tahoma", -11, clSilver, true);
    lCaption->SetCaption(u"Caption");
    lCaption->SetParent(StatusBar);

    eCaption = new TEdit(this);
    eCaption->SetName(u"eCaption");
    eCaption->Hide();
    eCaption->SetBounds(185, 0, 145, 21);
    eCaption->SetMaxLength(512);
    eCaption->SetParent(StatusBar);
}

void TfMain::CreateView() {
    View = new TSVImageView(this);
    View->SetName(u"imgView");
    View->SetParent(Panel1);
    View->SetBounds(0, 0, 472, 505);
    View->SetCursor(crArrow);
    View->SetBackground(clBlack);
    View->ParentCtl3D = false;
    View->SetBorderStyle(bsNone);
    View->SetLegacyBitmap(false);
    View->SetZoomFilter(rfFastLinear);
    View->SetScrollBars(ssNone);
    View->EnableInteractionHints = false;
    View->SetAlign(alClient);
    View->SetPopupMenu(pmContext);
    View->TabStop = true;
    ActiveControl = View;
}

// 500 x 500 around the saved centre, kept inside the work area of the nearest monitor so that
// a centre saved on a screen that is gone still opens a reachable window.
void TfMain::PlaceWindow() {
    TRect bounds{Settings->CenterX - 250, Settings->CenterY - 250, Settings->CenterX + 250,
                 Settings->CenterY + 250};
    const TRect area = Screen->MonitorWorkareaRect(bounds);
    const int32_t left = std::max(area.Left, std::min(bounds.Left, area.Right - 500));
    const int32_t top = std::max(area.Top, std::min(bounds.Top, area.Bottom - 500));
    SetBounds(left, top, 500, 500);
    if (Settings->Maximized) SetWindowState(wsMaximized);
}

// The title background and the drag cursors. A skin picture that is missing or broken leaves
// the bar in its colour and the default cursors: the program starts without its skin.
void TfMain::LoadSkin() {
    auto background = std::make_unique<TPngImage>();
    try {
        background->LoadFromFile(SkinFile(ExeDir, u"titlebg.png"));
        if (background->Width() > 0) TitleBackground = std::move(background);
    } catch (const Exception& E) {
        std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
    }
    const struct {
        TSVPngButton* Button;
        const char16_t* File;
    } strips[] = {{btnMinimize, u"btnminimize.png"},
                  {btnMaximize, u"btnmaximize.png"},
                  {btnClose, u"btnclose.png"}};
    for (const auto& s : strips) {
        TPngImage strip;
        try {
            strip.LoadFromFile(SkinFile(ExeDir, s.File));
            s.Button->SetImage(strip);
        } catch (const Exception& E) {
            std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
        }
    }
    raster::TBitmap32 menuStrip;
    try {
        menuStrip.LoadFromFile(SkinFile(ExeDir, u"btnmenu.png"));
        btnMenu->SetImage(&menuStrip);
    } catch (const Exception& E) {
        std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
    }
    Screen->SetCursors(crDragMove, LoadCursorFromFileW(SkinFile(ExeDir, u"dragmove.cur")));
    Screen->SetCursors(crDragDown, LoadCursorFromFileW(SkinFile(ExeDir, u"dragdown.cur")));
}

// ---- TfMain: showing, closing, destruction -------------------------------------------------

void TfMain::TntFormShow(TObject*) {
    SetWidth(Width() + 1); // one layout pass of the borderless window
    if (Settings->ShowThumbs) ShowThumbnails(true);
    OpenCommandLinePath();
    Timer1->SetInterval(300);
    Timer1->SetEnabled(true);
}

void TfMain::Timer1Timer(TObject*) {
    Timer1->SetEnabled(false);
    if (Settings->FileName.empty())
        ShowOsd(LangStr(u"SVSTR_SETTINGSNOTSAVED"), 8000);
    else if (FileList->Count() == 0)
        ShowOsd(LangStr(u"SVSTR_HELP_DBLCLICK"), 4000);
}

void TfMain::FormClose(TObject*, TCloseAction&) {
    Settings->ShowThumbs = fThumbnails != nullptr && fThumbnails->Visible();
}

TfMain::~TfMain() {
    TntFormDestroy();
}

void TfMain::TntFormDestroy() {
    try {
        SVDropFileTarget->Unregister();
    } catch (const Exception& E) {
        std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
    }
    Settings->CenterX = Left() + Width() / 2;
    Settings->CenterY = Top() + Height() / 2;
    Settings->Left = Left();
    Settings->Top = Top();
    Settings->Width = Width();
    Settings->Height = Height();
    Settings->Maximized = WindowState() == wsMaximized;
    // A settings file that cannot be written is reported (the user was told at start when there
    // is no folder for it); shut-down goes on.
    if (!Settings->FileName.empty() && !Settings->Save())
        std::fprintf(stderr, "Solvaneview: the settings could not be written to %s\n",
                     Utf8FromStr(Settings->FileName).c_str());
    delete Captions;
    Captions = nullptr;
    delete FileList;
    delete Extensions;
    FileList = Extensions = nullptr;
    delete Settings;
    Settings = nullptr;
    TitleBackground.reset();
    PreloadThread->Terminate();
    PreloadThread->Start();
    PreloadThread->WaitFor();
    PreloadThread.reset();
    delete LangManager;
    LangManager = nullptr;
    GdiplusShutdown(GdiplusToken);
}

// ---- TfMain: messages and keys -------------------------------------------------------------

void TfMain::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_WINDOWPOSCHANGING) {
        OnWindowPosChanging(*reinterpret_cast<const WINDOWPOS*>(Message.LParam));
        return;
    }
    if (Message.Msg == WM_USER + 15) {
        OnShowIndexMessage(Message);
        return;
    }
    TForm::Dispatch(Message);
}

void TfMain::OnWindowPosChanging(const WINDOWPOS& Pos) {
    // The centre of the bounds the window takes now, so that it is never one move behind.
    const TPoint center = WindowCenter(Bounds(Pos.x, Pos.y, Pos.cx, Pos.cy));
    CenterX = center.X;
    CenterY = center.Y;
    // A visible message keeps its place in the middle of the window's new bounds.
    if (fMessage == nullptr || !fMessage->Visible()) return;
    fMessage->SetBounds(Pos.x + (Pos.cx - fMessage->Width()) / 2,
                        Pos.y + (Pos.cy - fMessage->Height()) / 2, fMessage->Width(),
                        fMessage->Height());
}

// The keys of the whole window, in this order: the caption editor keeps every key while it is
// open, and so does the strip's search box while it has the focus; then the main menu's
// shortcuts; Space opens the caption editor and Esc minimises; a
// Shift+Delete nobody took deletes the picture past the trash (the command reads Shift itself).
void TfMain::TntFormShortCut(TWMKey& Msg, bool& Handled) {
    if (eCaption->Visible()) return;
    if (fThumbnails != nullptr && fThumbnails->eSearch->Focused()) return; // typed in the search
    if (pmMain->IsShortCut(Msg)) Handled = true;
    if (Msg.CharCode == VK_SPACE) {
        miEditCaption->Click();
        Handled = true;
    } else if (Msg.CharCode == VK_ESCAPE) {
        Application->Minimize();
        Handled = true;
    }
    if (!Handled && Msg.CharCode == VK_DELETE && GetKeyState(VK_SHIFT) < 0) {
        miDelete->Click();
        Handled = true;
    }
}

// ---- TfMain: title bar, grip, background colour --------------------------------------------

void TfMain::pTitleBarPaint(TObject*, TCanvas* ACanvas, const TRect&) {
    if (!TitleBackground) return; // the panel's colour fill stands
    for (int32_t x = 0; x < pTitleBar->Width(); x += TitleBackground->Width())
        TitleBackground->Draw(*ACanvas,
                              TRect{x, 0, x + TitleBackground->Width(), TitleBackground->Height()});
}

void TfMain::pTitleBarMouseDown(TObject*, TMouseButton, TShiftState, int32_t, int32_t) {
    ReleaseCapture();
    SendMessage(Handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void TfMain::pTitleBarResize(TObject*) {
    // The label and the caption buttons keep their distance to the bar's right edge.
    const int32_t right = pTitleBar->Width();
    lTitle->SetWidth(std::max(0, right - 62 - lTitle->Left()));
    btnMinimize->SetLeft(right - 56);
    btnMaximize->SetLeft(right - 39);
    btnClose->SetLeft(right - 23);
    UpdateTitle();
}

void TfMain::btnMinimizeClick(TObject*) {
    Application->Minimize();
}

void TfMain::btnCloseClick(TObject*) {
    Close();
}

void TfMain::StatusBarMouseDown(TObject*, TMouseButton Button, TShiftState, int32_t X, int32_t Y) {
    if (Button != mbLeft) return;
    if (X > StatusBar->Width() - GripSize) {
        // The press point in the window's client coordinates.
        int32_t x = X, y = Y;
        StatusBar->ClientToScreen(x, y);
        ScreenToClient(x, y);
        GripOffsetX = Width() - x;
        GripOffsetY = Height() - y;
    } else {
        GripOffsetX = GripOffsetY = -1;
    }
}

void TfMain::StatusBarMouseMove(TObject*, TShiftState Shift, int32_t X, int32_t) {
    StatusBar->SetCursor(X > StatusBar->Width() - GripSize ? crSizeNWSE : crDefault);
    if (!(Shift & ssLeft) || GripOffsetX == -1 || GripOffsetY == -1) return;
    int32_t x = 0, y = 0;
    GetCursorPos(x, y);
    SetBounds(Left(), Top(), std::max(MinWindowWidth, x + GripOffsetX - Left()),
              std::max(MinWindowHeight, y + GripOffsetY - Top()));
}

void TfMain::StatusBarMouseUp(TObject*, TMouseButton Button, TShiftState, int32_t, int32_t) {
    if (Button == mbLeft) GripOffsetX = GripOffsetY = -1;
}

void TfMain::miBackgroundColorClick(TObject*) {
    TColorDialog dialog(nullptr);
    dialog.Options = cdFullOpen | cdAnyColor;
    dialog.Color = Settings->BackColor;
    if (!dialog.Execute()) return;
    Settings->BackColor = dialog.Color;
    View->SetBackground(dialog.Color);
}

// ---- WinMain -------------------------------------------------------------------------------

int32_t WinMain() {
    try {
        Application->Initialize();
        Application->MainFormOnTaskBar = true;
        Application->Title = ProgramName;
        fMain = Application->CreateForm<TfMain>();
        fMessage = Application->CreateForm<TfMessage>();
        fThumbnails = Application->CreateForm<TfThumbnails>();
        Application->Run();
    } catch (const Exception& E) {
        Application->ShowException(E);
    } catch (...) {
        Application->ShowException(Exception(u""));
    }
    // The windows go in the reverse order of their creation: the strip (its decoder stopped
    // first), the popup, then the main window.
    Application->DestroyComponents();
    fThumbnails = nullptr;
    fMessage = nullptr;
    fMain = nullptr;
    return 0;
}
