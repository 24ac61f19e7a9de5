// The main window's main road: opening a path, listing its folder, showing one picture after the
// other; zooming, fitting, sizing the window to the picture and panning; the picture captions.
#include "app/Browsing.h"
#include "app/Captions.h"
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/ZoomGeometry.h"
#include "app/formMain.h"
#include "app/formMessage.h"
#include "app/formThumbs.h"
#include "components/SVAALabel.h"
#include "components/SVDropTarget.h"
#include "components/SVLabel.h"
#include "components/SVPaintPanel.h"
#include "components/SVPngButton.h"
#include "imaging/io/VistrelIO.h"
#include "platform/rtl/WinApi.h"
#include "platform/ui/Dialogs.h"

#include <cstdio>

namespace {

// Cursor ids of the picture drag: where the picture can be dragged, and while dragging.
constexpr TCursor crDragMove = 14;
constexpr TCursor crDragDown = 15;
constexpr int32_t NoticeTime = 800;
constexpr int32_t HelpTime = 4000;

bool NoModifier(TShiftState Shift) {
    return (Shift & (ssShift | ssCtrl | ssAlt)) == 0;
}

// Ends a showing in every case: painting unlocked, the guard cleared.
class TShowingScope {
public:
    TShowingScope(TVistrelView& View, bool& Busy) : FView(View), FBusy(Busy) {
        FBusy = true;
        FView.LockPaint();
    }
    ~TShowingScope() {
        FView.UnlockPaint();
        FBusy = false;
    }
    TShowingScope(const TShowingScope&) = delete;
    TShowingScope& operator=(const TShowingScope&) = delete;

private:
    TVistrelView& FView;
    bool& FBusy;
};

// Loads Path into View's picture. False when the file gives no picture (the load raised, or
// stopped before the reader made one): the view is then blank, never the picture shown before.
// A picture cut short keeps the rows that were read.
bool LoadPicture(TVistrelView& View, const String& Path) {
    // Emptied first, so that only a picture this load made counts.
    View.GetVLBitmap()->FreeImage(true);
    bool loaded = true;
    try {
        View.GetIO()->LoadFromFile(Path);
    } catch (const Exception& E) {
        std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
        loaded = false;
    }
    loaded = loaded && !View.GetVLBitmap()->IsEmpty();
    if (!loaded) View.Blank();
    return loaded;
}

} // namespace

// ---- Events --------------------------------------------------------------------------------

void TfMain::BindRoadEvents() {
    OnKeyDown = [this](TObject* Sender, uint16_t& Key, TShiftState Shift) {
        TntFormKeyDown(Sender, Key, Shift);
    };
    OnMouseWheelDown = [this](TObject* Sender, TShiftState Shift, int32_t X, int32_t Y,
                              bool& Handled) {
        TntFormMouseWheelDown(Sender, Shift, X, Y, Handled);
    };
    OnMouseWheelUp = [this](TObject* Sender, TShiftState Shift, int32_t X, int32_t Y,
                            bool& Handled) { TntFormMouseWheelUp(Sender, Shift, X, Y, Handled); };
    OnResize = [this](TObject* Sender) { TntFormResize(Sender); };
    View->SetPopupMenu(pmContext);
    View->OnDblClick = [this](TObject* Sender) { imgViewDblClick(Sender); };
    View->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                               int32_t Y) { imgView1MouseDown(Sender, Button, Shift, X, Y); };
    View->OnMouseMove = [this](TObject* Sender, TShiftState Shift, int32_t X, int32_t Y) {
        imgView1MouseMove(Sender, Shift, X, Y);
    };
    View->OnMouseUp = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                             int32_t Y) { imgView1MouseUp(Sender, Button, Shift, X, Y); };
    View->OnSpecialKey = [this](TObject* Sender, uint16_t Key, TShiftState Shift, bool& Handled) {
        imgViewSpecialKey(Sender, Key, Shift, Handled);
    };
    SVDropFileTarget->OnDrop = [this](TObject* Sender, TShiftState Shift, TPoint& Point,
                                      uint32_t& Effect) {
        SVDropFileTargetDrop(Sender, Shift, Point, Effect);
    };
    btnMaximize->OnClick = [this](TObject* Sender) { btnMaximizeClick(Sender); };
    lTitle->OnDblClick = [this](TObject* Sender) { lTitleDblClick(Sender); };
    lCaption->OnClick = [this](TObject* Sender) { lCaptionClick(Sender); };
    eCaption->OnExit = [this](TObject* Sender) { eCaptionExit(Sender); };
    eCaption->OnKeyPress = [this](TObject* Sender, char16_t& Key) {
        eCaptionKeyPress(Sender, Key);
    };
    StoreWindowCenter();
}

void TfMain::BindRoadCommands() {
    const struct {
        TMenuItem* Item;
        void (TfMain::*Handler)(TObject*);
    } commands[] = {{miOpen, &TfMain::miOpenClick},
                    {mipOpen, &TfMain::miOpenClick},
                    {miClose, &TfMain::miCloseClick},
                    {miEditCaption, &TfMain::miEditCaptionClick},
                    {miPreviousImage, &TfMain::miPreviousImageClick},
                    {miNextImage, &TfMain::miNextImageClick},
                    {miFirstImage, &TfMain::miFirstImageClick},
                    {miLastImage, &TfMain::miLastImageClick},
                    {miZoomIn, &TfMain::miZoomInClick},
                    {miZoomOut, &TfMain::miZoomOutClick},
                    {miZoom100, &TfMain::miZoomOrgSizeClick},
                    {miAutoSize, &TfMain::miAutoSizeClick},
                    {miFitToWindow, &TfMain::miFitToWindowClick}};
    for (const auto& command : commands) {
        command.Item->OnClick = [this, handler = command.Handler](TObject* Sender) {
            (this->*handler)(Sender);
        };
        command.Item->SetEnabled(true);
    }
}

void TfMain::OpenCommandLinePath() {
    const std::vector<String> arguments = CommandLineToArgvW();
    if (arguments.size() > 1) OpenPath(arguments[1]);
}

// ---- Browsing ------------------------------------------------------------------------------

void TfMain::OpenPath(const String& Path) {
    const std::optional<TFolderListing> listing = ListOpenPath(Path, Extensions->Strings());
    if (!listing) return;
    // A running caption edit belongs to the old list: it ends before the list changes.
    CommitCaptionEdit();
    CurrentDir = listing->Folder;
    FileList->Clear();
    for (const String& file : listing->Files)
        FileList->Add(file);
    LoadCaptions();
    // The old index means nothing in the new list, also when the picture to show has vanished.
    CurrentIndex = -1;
    ShowImage(listing->Index);
    RefreshThumbnails();
    SelectCurrentThumbnail();
}

void TfMain::ShowImage(int32_t Index) {
    if (Index < 0 || Index >= FileList->Count() || Busy) return;
    const String path = (*FileList)[Index];
    if (!FileExists(path)) return;
    CurrentIndex = Index;
    {
        TShowingScope showing(*View, Busy);
        LoadFailed = !LoadPicture(*View, path);
        if (!LoadFailed) {
            TVLBitmap* bitmap = View->GetVLBitmap();
            AutoSizeWindow(bitmap->GetWidth(), bitmap->GetHeight());
            CenterImage();
        }
    }
    UpdateTitle();
    ShowCaptionLabel();
    SelectCurrentThumbnail();
}

void TfMain::ShowCaptionLabel() {
    const std::optional<String> caption = Captions->CaptionOf((*FileList)[CurrentIndex]);
    if (!caption) {
        lCaption->SetCaption(u"");
        lCaption->Hide();
        return;
    }
    lCaption->SetCaption(*caption);
    lCaption->SetBounds(lStatus->Left() + lStatus->Width(), lCaption->Top(),
                        StatusBar->Width() - 2 * lStatus->Width(), lCaption->Height());
    lCaption->Show();
}

void TfMain::CloseImage() {
    CommitCaptionEdit();
    View->Clear();
    CurrentIndex = -1;
    LoadFailed = false;
    FileList->Clear();
    Captions->Clear();
    Busy = false;
    CurrentDir.clear();
    lCaption->SetCaption(u"");
    lCaption->Hide();
    UpdateTitle();
    if (fThumbnails != nullptr) fThumbnails->ClearThumbnails();
}

void TfMain::ShowPreviousImage() {
    StepImage(TBrowseStep::Previous);
}

void TfMain::ShowNextImage() {
    StepImage(TBrowseStep::Next);
}

// Shows the picture a step goes to, or the notice of the list's end it met.
void TfMain::StepImage(TBrowseStep Step) {
    const TStepTarget target = StepTarget(FileList->Strings(), CurrentIndex, Step);
    if (target.Notice != TBrowseNotice::None) {
        ShowOsd(LangStr(target.Notice == TBrowseNotice::First ? u"SVSTR_FIRST" : u"SVSTR_LAST"),
                NoticeTime);
    } else if (target.Index >= 0) {
        HideOsd();
        ShowImage(target.Index);
    }
}

void TfMain::OnShowIndexMessage(TMessage& Message) {
    ShowImage(static_cast<int32_t>(Message.WParam));
}

void TfMain::miOpenClick(TObject*) {
    HideOsd();
    TOpenDialog dialog(nullptr);
    dialog.SetFilter(OpenDialogFilter(Extensions->Strings()));
    dialog.SetInitialDir(CurrentDir);
    if (dialog.Execute()) OpenPath(dialog.FileName());
}

void TfMain::miCloseClick(TObject*) {
    CloseImage();
    ShowOsd(LangStr(u"SVSTR_HELP_DBLCLICK"), HelpTime);
}

void TfMain::miPreviousImageClick(TObject*) {
    ShowPreviousImage();
}

void TfMain::miNextImageClick(TObject*) {
    ShowNextImage();
}

void TfMain::miFirstImageClick(TObject*) {
    ShowImage(StepTarget(FileList->Strings(), CurrentIndex, TBrowseStep::First).Index);
}

void TfMain::miLastImageClick(TObject*) {
    ShowImage(StepTarget(FileList->Strings(), CurrentIndex, TBrowseStep::Last).Index);
}

void TfMain::imgViewDblClick(TObject* Sender) {
    miOpenClick(Sender);
}

void TfMain::SVDropFileTargetDrop(TObject*, TShiftState, TPoint&, uint32_t&) {
    if (const std::optional<String> path =
            DroppedPath(SVDropFileTarget->Files().Strings(), Extensions->Strings()))
        OpenPath(*path);
}

void TfMain::TntFormMouseWheelDown(TObject*, TShiftState Shift, int32_t MouseX, int32_t MouseY,
                                   bool& Handled) {
    Handled = true;
    switch (WheelAction(Shift, false)) {
    case TWheelAction::NextImage:
        ShowNextImage();
        break;
    case TWheelAction::ZoomOut:
        View->ScreenToClient(MouseX, MouseY);
        ZoomOut(MouseX, MouseY);
        break;
    default:
        break;
    }
}

void TfMain::TntFormMouseWheelUp(TObject*, TShiftState Shift, int32_t MouseX, int32_t MouseY,
                                 bool& Handled) {
    Handled = true;
    switch (WheelAction(Shift, true)) {
    case TWheelAction::PreviousImage:
        ShowPreviousImage();
        break;
    case TWheelAction::ZoomIn:
        View->ScreenToClient(MouseX, MouseY);
        ZoomIn(MouseX, MouseY);
        break;
    default:
        break;
    }
}

// ---- Zoom, fit, window size and panning ----------------------------------------------------

TViewGeometry TfMain::ViewGeometry() {
    TVLBitmap* bitmap = View->GetVLBitmap();
    TViewGeometry geometry;
    geometry.ImageWidth = bitmap->GetWidth();
    geometry.ImageHeight = bitmap->GetHeight();
    geometry.ViewWidth = View->ClientWidth();
    geometry.ViewHeight = View->ClientHeight();
    geometry.ViewX = View->ViewX();
    geometry.ViewY = View->ViewY();
    geometry.Zoom = View->ZoomX();
    geometry.MaxZoom = View->GetMaxZoom();
    return geometry;
}

void TfMain::AutoSizeWindow(int32_t ImageWidth, int32_t ImageHeight) {
    const TRect bounds = BoundsRect();
    const TSize chrome = WindowChrome(
        bounds, {ClientWidth(), ClientHeight()}, StatusBar->Height(), pTitleBar->Height(),
        pLeft->Visible() ? std::optional<int32_t>(pLeft->Width()) : std::nullopt,
        pRight->Visible() ? std::optional<int32_t>(pRight->Width()) : std::nullopt);
    if (!AutoSize) {
        if (FitToWindow)
            FitZoom(View->ClientWidth(), View->ClientHeight());
        else
            View->SetZoom(100);
        CenterImage();
        return;
    }
    TAutoSizeInput input;
    input.ImageWidth = ImageWidth;
    input.ImageHeight = ImageHeight;
    input.Chrome = chrome;
    input.Work = AutoSizeWorkArea(Screen->MonitorWorkareaRect(bounds), DockedStripLeft());
    input.Center = {CenterX, CenterY};
    input.FitToWindow = FitToWindow;
    input.CurrentZoom = View->ZoomX();
    input.MaxZoom = View->GetMaxZoom();
    input.MinSize = {MinWindowWidth, MinWindowHeight};
    const TAutoSizeLayout layout = AutoSizeLayout(input);
    View->SetZoom(layout.Zoom);
    CenterImage();
    SetBounds(layout.Bounds.Left, layout.Bounds.Top, layout.Bounds.Width(), layout.Bounds.Height());
}

void TfMain::FitZoom(int32_t AvailWidth, int32_t AvailHeight) {
    if (!PictureShown()) return;
    TVLBitmap* bitmap = View->GetVLBitmap();
    View->SetZoom(FitZoomValue(FitToWindow, AvailWidth, AvailHeight, bitmap->GetWidth(),
                               bitmap->GetHeight()));
    CenterImage();
}

void TfMain::CenterImage() {
    if (!PictureShown()) return;
    const TCenterOffsets offsets = CenterImageOffsets(ViewGeometry());
    if (offsets.ViewX) View->SetViewX(*offsets.ViewX);
    if (offsets.ViewY) View->SetViewY(*offsets.ViewY);
}

void TfMain::ApplyZoomStep(bool ZoomingIn, int32_t X, int32_t Y) {
    if (!PictureShown() || View->IsEmpty()) return;
    const TViewGeometry geometry = ViewGeometry();
    const std::optional<TZoomStepResult> step =
        ZoomingIn ? ZoomInStep(geometry, X, Y) : ZoomOutStep(geometry, X, Y);
    if (!step) return; // the view's zoom limits refuse it
    View->LockPaint();
    View->SetZoom(step->Zoom);
    View->SetViewXY(step->ViewX, step->ViewY);
    View->UnlockPaint();
    ShowOsd(ZoomText(View->ZoomX()), NoticeTime);
    UpdateTitle();
}

void TfMain::ZoomIn(int32_t X, int32_t Y) {
    ApplyZoomStep(true, X, Y);
}

void TfMain::ZoomOut(int32_t X, int32_t Y) {
    ApplyZoomStep(false, X, Y);
}

void TfMain::miZoomInClick(TObject*) {
    ZoomIn(-1, -1);
}

void TfMain::miZoomOutClick(TObject*) {
    ZoomOut(-1, -1);
}

void TfMain::miZoomOrgSizeClick(TObject*) {
    const TPoint offsets = OriginalSizeOffsets(ViewGeometry());
    View->SetZoom(100);
    View->SetViewX(offsets.X);
    View->SetViewY(offsets.Y);
    ShowOsd(LangStr(u"SVSTR_ORIGINALSIZE"), NoticeTime);
    UpdateTitle();
}

void TfMain::miAutoSizeClick(TObject*) {
    Settings->AutoSize = !Settings->AutoSize;
    AutoSize = Settings->AutoSize;
}

void TfMain::miFitToWindowClick(TObject*) {
    Settings->FitToWindow = !Settings->FitToWindow;
    FitToWindow = Settings->FitToWindow;
}

void TfMain::StoreWindowCenter() {
    const TPoint center = WindowCenter(BoundsRect());
    CenterX = center.X;
    CenterY = center.Y;
}

void TfMain::TntFormResize(TObject*) {
    StoreWindowCenter();
    if (FitToWindow)
        FitZoom(View->ClientWidth(), View->ClientHeight());
    else
        CenterImage();
    if (lCaption->Visible()) lCaption->SetWidth(StatusBar->Width() - 2 * lStatus->Width());
}

void TfMain::TntFormKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
    // The key carrying "=" and "+" on the main keyboard.
    if (Key == VK_OEM_PLUS && NoModifier(Shift)) miZoomOrgSizeClick(this);
}

void TfMain::btnMaximizeClick(TObject*) {
    TMaximizeInput input;
    input.MaximizedByUs = MaximizedByUs;
    input.WindowMaximized = WindowState() == wsMaximized;
    input.WindowBounds = BoundsRect();
    input.RestoreBounds = RestoreBounds;
    input.Work = Screen->MonitorWorkareaRect(input.WindowBounds);
    if (DockedStripLeft()) input.StripWidth = fThumbnails->Width();
    const TMaximizeResult result = MaximizeStep(input);
    MaximizedByUs = result.MaximizedByUs;
    RestoreBounds = result.RestoreBounds;
    switch (result.Action) {
    case TMaximizeAction::Normal:
        SetWindowState(wsNormal);
        btnMaximize->Hint = LangStr(u"SVSTR_MAXIMIZE");
        break;
    case TMaximizeAction::SetBounds:
        SetBounds(result.Bounds.Left, result.Bounds.Top, result.Bounds.Width(),
                  result.Bounds.Height());
        break;
    case TMaximizeAction::Maximize:
        SetWindowState(wsMaximized);
        btnMaximize->Hint = LangStr(u"SVSTR_RESTORE");
        break;
    }
}

void TfMain::lTitleDblClick(TObject* Sender) {
    btnMaximizeClick(Sender);
}

void TfMain::imgView1MouseDown(TObject*, TMouseButton Button, TShiftState, int32_t X, int32_t Y) {
    if (Button != mbLeft) return;
    const TPoint origin = DragOrigin(ViewGeometry(), X, Y);
    DragOriginX = origin.X;
    DragOriginY = origin.Y;
    View->SetCursor(crDragDown);
}

void TfMain::imgView1MouseMove(TObject*, TShiftState Shift, int32_t X, int32_t Y) {
    const TViewGeometry geometry = ViewGeometry();
    if ((Shift & ssLeft) == 0) {
        View->SetCursor(CanDragImage(geometry) ? crDragMove : crDefault);
        return;
    }
    View->SetCursor(crDragDown);
    const TPoint offsets = DragOffsets(geometry, {DragOriginX, DragOriginY}, X, Y);
    View->SetViewXY(offsets.X, offsets.Y);
}

void TfMain::imgView1MouseUp(TObject*, TMouseButton, TShiftState, int32_t, int32_t) {
    View->SetCursor(CanDragImage(ViewGeometry()) ? crDragMove : crDefault);
}

void TfMain::imgViewSpecialKey(TObject*, uint16_t Key, TShiftState Shift, bool& Handled) {
    const TArrowKeyResult result = ArrowKeyScroll(ViewGeometry(), Key, Shift);
    Handled = result.Handled;
    if (Handled) View->SetViewXY(result.ViewX, result.ViewY);
}

// ---- Captions ------------------------------------------------------------------------------

void TfMain::LoadCaptions() {
    if (CurrentDir.empty()) return;
    Captions->LoadCaptions(CurrentDir);
}

void TfMain::miEditCaptionClick(TObject*) {
    if (CurrentIndex == -1 || eCaption->Visible()) return;
    const String path = (*FileList)[CurrentIndex];
    if (!Captions->BeginCaptionEdit(path)) return;
    eCaption->SetText(Captions->CaptionOf(path).value_or(u""));
    const int32_t left = lStatus->Left() + lStatus->Width() + 6;
    eCaption->SetBounds(left, eCaption->Top(), StatusBar->Width() - left - 20, eCaption->Height());
    eCaption->Show();
    if (eCaption->CanFocus()) eCaption->SetFocus();
}

void TfMain::CommitCaptionEdit() {
    if (!eCaption->Visible()) return;
    const String text = eCaption->Text();
    const String path = Captions->EditPath();
    // Hidden first: the focus leaving the field must find the edit ended.
    eCaption->Hide();
    Captions->CommitCaptionEdit(text);
    // The label belongs to the shown picture, which need not be the one edited; it shows the
    // committed caption at once.
    if (CurrentIndex >= 0 && (*FileList)[CurrentIndex] == path) ShowCaptionLabel();
}

void TfMain::lCaptionClick(TObject* Sender) {
    miEditCaptionClick(Sender);
}

void TfMain::eCaptionExit(TObject*) {
    CommitCaptionEdit();
}

void TfMain::eCaptionKeyPress(TObject*, char16_t& Key) {
    if (Key != VK_ESCAPE && Key != VK_RETURN) return;
    Captions->SetEditCancelled(Key == VK_ESCAPE);
    Key = 0;
    if (View->CanFocus()) View->SetFocus();
    CommitCaptionEdit(); // when the focus did not move (the window is not shown)
}
