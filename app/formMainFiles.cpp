// The main window's commands on the shown picture and its file: quarter turns in memory, the
// picture and the file on the clipboard, deleting the file, and Save As.
#include "app/Browsing.h"
#include "app/Captions.h"
#include "app/FileCommands.h"
#include "app/SVLangManager.h"
#include "app/SWSetting.h"
#include "app/SaveImageAs.h"
#include "app/formJPEG.h"
#include "app/formMain.h"
#include "app/formThumbs.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Menus.h"

namespace {

constexpr int32_t NoticeTime = 800;

} // namespace

void TfMain::BindFileCommands() {
    SaveDialog = new TSaveDialog(this);
    SaveDialog->SetName(u"SaveDialog");
    SaveDialog->SetDefaultExt(u"jpg");
    SaveDialog->SetFilter(u"Bitmap Image(*.bmp)|*.bmp|JPEG Image(*.jpg)|*.jpg|GIF "
                          u"Image(*.gif)|*.gif|PNG Image(*.png)|*.png|TIFF Image(*.tif)|*.tif");
    SaveDialog->SetFilterIndex(2);
    SaveDialog->Options = ofOverwritePrompt | ofHideReadOnly | ofEnableSizing;

    const struct {
        TMenuItem* Item;
        void (TfMain::*Handler)(TObject*);
    } items[] = {
        {miSaveAs, &TfMain::miSaveAsClick},          {miDelete, &TfMain::miDeleteClick},
        {miCopyImage, &TfMain::miCopyImageClick},    {miCopyFile, &TfMain::miCopyFileClick},
        {miCutFile, &TfMain::miCopyFileClick},       {miRotateLeft, &TfMain::miRotateLeftClick},
        {miRotateRight, &TfMain::miRotateRightClick}};
    for (const auto& item : items) {
        item.Item->OnClick = [this, handler = item.Handler](TObject* Sender) {
            (this->*handler)(Sender);
        };
        item.Item->SetEnabled(true);
    }
}

// ---- Rotation and the clipboard ------------------------------------------------------------

void TfMain::RotateImage(bool Left) {
    if (!PictureShown() || !RotatePicture(*View, Left)) return;
    if (FitToWindow)
        FitZoom(View->ClientWidth(), View->ClientHeight());
    else
        CenterImage();
    UpdateTitle(); // the title names the picture's size, which the turn swapped
    ShowOsd(LangStr(Left ? u"SVSTR_ROTATELEFT" : u"SVSTR_ROTATERIGHT"), NoticeTime);
}

void TfMain::miRotateLeftClick(TObject*) {
    RotateImage(true);
}

void TfMain::miRotateRightClick(TObject*) {
    RotateImage(false);
}

void TfMain::miCopyImageClick(TObject*) {
    if (!PictureShown() || !CopyPictureToClipboard(*View->GetVLBitmap())) return;
    ShowOsd(LangStr(u"SVSTR_IMAGECOPIED"), NoticeTime);
}

void TfMain::miCopyFileClick(TObject* Sender) {
    if (CurrentIndex == -1) return;
    const auto* item = dynamic_cast<const TComponent*>(Sender);
    const bool cut = item != nullptr && item->Tag == 1;
    if (!CopyFileToClipboard(this, (*FileList)[CurrentIndex], cut)) return;
    ShowOsd(LangStr(cut ? u"SVSTR_IMAGEFILECUT" : u"SVSTR_IMAGEFILECOPIED"), NoticeTime);
}

// ---- Delete --------------------------------------------------------------------------------

void TfMain::miDeleteClick(TObject*) {
    if (CurrentIndex == -1) return;
    const bool permanently = GetKeyState(VK_SHIFT) < 0;
    const auto confirm = [this, permanently](const String& Path) {
        const String text = ReplaceFirstPlaceholder(
            LangStr(permanently ? u"SVSTR_CONFIRMDELETE" : u"SVSTR_CONFIRMTRASH"),
            ExtractFileName(Path));
        return MessageBoxW(Handle(), text, Application->Title, MB_YESNO | MB_ICONQUESTION) == IDYES;
    };
    const String path = (*FileList)[CurrentIndex];
    std::vector<String> paths = FileList->Strings();
    // The caption file is kept by Captions; the copy only tells whether the picture had a line.
    TStringList lines;
    lines.Assign(Captions->Lines());
    const TDeleteOutcome outcome = DeletePicture(paths, CurrentIndex, lines, permanently, confirm);
    // Cancelled or refused: list, captions and picture stay; a refusal is said.
    if (outcome.Failed)
        MessageBoxW(Handle(),
                    ReplaceFirstPlaceholder(LangStr(u"SVSTR_DELETEFAILED"), ExtractFileName(path)),
                    Application->Title, MB_OK | MB_ICONSTOP);
    if (!outcome.Deleted) return;

    FileList->Delete(outcome.DeletedIndex);
    if (fThumbnails != nullptr && fThumbnails->Visible())
        fThumbnails->DeleteThumbnail(outcome.DeletedIndex);
    // Before the folder may close below, which forgets its captions.
    if (outcome.CaptionsChanged) Captions->RemoveCaption(path);
    // The window shows no picture until the one that takes the deleted one's place is loaded.
    const int32_t next = PictureAfterDelete(outcome.NewIndex);
    CurrentIndex = -1;
    if (next == -1)
        CloseImage();
    else
        ShowImage(next);
    ShowOsd(LangStr(u"SVSTR_IMAGEDELETED"), NoticeTime);
}

// The picture that takes a deleted one's place: the one now at its index, or, when that file has
// vanished meanwhile, the nearest one still on disk after it, else before it; -1 for none.
int32_t TfMain::PictureAfterDelete(int32_t Index) const {
    if (Index == -1 || FileExists((*FileList)[Index])) return Index;
    const std::vector<String>& paths = FileList->Strings();
    const int32_t after = StepTarget(paths, Index, TBrowseStep::Next).Index;
    return after != -1 ? after : StepTarget(paths, Index, TBrowseStep::Previous).Index;
}

// ---- Save As -------------------------------------------------------------------------------

void TfMain::miSaveAsClick(TObject*) {
    if (!PictureShown()) return;
    SaveDialog->SetFilterIndex(SaveFilterIndex);
    SaveDialog->SetFileName((*FileList)[CurrentIndex]);
    if (!SaveDialog->Execute()) return;
    SaveFilterIndex = SaveDialog->FilterIndex();
    SaveImageAs(SaveDialog->FileName());
}

void TfMain::SaveImageAs(const String& FileName) {
    if (!PictureShown()) return;
    int32_t quality = Settings->JpegQuality;
    const TSaveAsResult result =
        ::SaveImageAs(*View->GetIO(), FileName, quality,
                      [this](int32_t& Quality) { return AskJpegQuality(this, Quality); });
    Settings->JpegQuality = quality;
    if (!result.Error.empty()) {
        MessageBoxW(Handle(), result.Error, Application->Title, MB_OK | MB_ICONSTOP);
        return;
    }
    if (!result.Message.empty()) ShowOsd(result.Message, NoticeTime);
}
