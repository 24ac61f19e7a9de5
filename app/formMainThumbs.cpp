// The main window's side of the thumbnail strip: refilling it from the open folder, docking it
// at the right edge of the work area and closing it, with the window maximized by the Maximize
// button making room for the strip and taking the whole work area again without it.
#include "app/Captions.h"
#include "app/formMain.h"
#include "app/formThumbs.h"

namespace {

TRect BoundsOf(const TControl& Control) {
    return Rect(Control.Left(), Control.Top(), Control.Left() + Control.Width(),
                Control.Top() + Control.Height());
}

} // namespace

std::optional<int32_t> TfMain::DockedStripLeft() {
    if (fThumbnails == nullptr || !fThumbnails->Visible()) return std::nullopt;
    if (Screen->MonitorWorkareaRect(BoundsOf(*fThumbnails)) !=
        Screen->MonitorWorkareaRect(BoundsOf(*this)))
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
            SetBounds(RestoreBounds.Left, RestoreBounds.Top,
                      RestoreBounds.Right - RestoreBounds.Left,
                      RestoreBounds.Bottom - RestoreBounds.Top);
            SetWindowState(wsMaximized);
        }
        return;
    }
    const TRect work = Screen->MonitorWorkareaRect(BoundsOf(*this));
    const int32_t stripWidth = fThumbnails->Width();
    fThumbnails->SetBounds(work.Right - stripWidth, work.Top, stripWidth, work.Bottom - work.Top);
    fThumbnails->Show();
    RefreshThumbnails();
    if (MaximizedByUs && WindowState() == wsMaximized && DockedStripLeft().has_value()) {
        SetWindowState(wsNormal);
        RestoreBounds = BoundsOf(*this);
        SetBounds(work.Left, work.Top, work.Right - work.Left - stripWidth,
                  work.Bottom - work.Top);
    }
}

void TfMain::BindThumbnailCommands() {
    miThumbnails->OnClick = [this](TObject* Sender) { miThumbnailsClick(Sender); };
    miThumbnails->SetEnabled(true);
}

void TfMain::miThumbnailsClick(TObject*) {
    ShowThumbnails(fThumbnails != nullptr && !fThumbnails->Visible());
}
