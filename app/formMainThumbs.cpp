// The main window's side of the thumbnail strip: refilling it from the open folder, docking it
// at the right edge of the work area and closing it, with the window maximized by the Maximize
// button making room for the strip and taking the whole work area again without it.
#include "app/Captions.h"
#include "app/formMain.h"
#include "app/formThumbs.h"

std::optional<int32_t> TfMain::DockedStripLeft() {
    if (fThumbnails == nullptr || !fThumbnails->Visible()) return std::nullopt;
    if (Screen->MonitorWorkareaRect(fThumbnails->BoundsRect()) !=
        Screen->MonitorWorkareaRect(BoundsRect()))
        return std::nullopt;
    return fThumbnails->Left();
}

void TfMain::RefreshThumbnails() {
    if (fThumbnails == nullptr || !fThumbnails->Visible()) return;
    if (FileList->Count() == 0) {
        fThumbnails->Captions.Clear();
        fThumbnails->ClearThumbnails();
        return;
    }
    fThumbnails->FillThumbnails(Handle(), *FileList);
    fThumbnails->Captions.Assign(Captions->Lines());
}

void TfMain::SelectCurrentThumbnail() {
    if (fThumbnails != nullptr && fThumbnails->Visible() && CurrentIndex != -1)
        fThumbnails->lThumbs->SetItemIndex(CurrentIndex);
}

void TfMain::ShowThumbnails(bool Show) {
    if (fThumbnails == nullptr) return; // a window made without its strip
    if (!Show) {
        fThumbnails->Close();
        if (MaximizedByUs && WindowState() != wsMaximized) {
            SetBounds(RestoreBounds.Left, RestoreBounds.Top, RestoreBounds.Width(),
                      RestoreBounds.Height());
            SetWindowState(wsMaximized);
        }
        return;
    }
    const TRect work = Screen->MonitorWorkareaRect(BoundsRect());
    const int32_t stripWidth = fThumbnails->Width();
    fThumbnails->SetBounds(work.Right - stripWidth, work.Top, stripWidth, work.Height());
    // The strip comes up beside the window, which keeps the keyboard for its picture keys.
    fThumbnails->ShowNoActivate();
    RefreshThumbnails();
    if (MaximizedByUs && WindowState() == wsMaximized && DockedStripLeft().has_value()) {
        SetWindowState(wsNormal);
        RestoreBounds = BoundsRect();
        SetBounds(work.Left, work.Top, work.Width() - stripWidth, work.Height());
    }
}

void TfMain::BindThumbnailCommands() {
    miThumbnails->OnClick = [this](TObject* Sender) { miThumbnailsClick(Sender); };
    miThumbnails->SetEnabled(true);
}

void TfMain::miThumbnailsClick(TObject*) {
    ShowThumbnails(fThumbnails != nullptr && !fThumbnails->Visible());
}
