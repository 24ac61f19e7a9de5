// Turning, copying and deleting the shown picture.
#include "app/FileCommands.h"

#include "components/SVDropSource.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/proc/VistrelProc.h"
#include "imaging/view/VistrelView.h"
#include "platform/shell/FileOperation.h"
#include "platform/ui/Clipbrd.h"

#include <memory>

bool RotatePicture(TVistrelView& View, bool Left) {
    TVLBitmap* picture = View.GetVLBitmap();
    if (picture == nullptr || picture->IsEmpty()) return false;
    const int32_t width = picture->GetWidth();
    const int32_t height = picture->GetHeight();
    try {
        View.GetProc()->Rotate(Left ? 90 : 270, false, 0, -1);
    } catch (const Exception&) {
        return false;
    }
    // The turn goes through a new bitmap that replaces the old one only when it could be made.
    picture = View.GetVLBitmap();
    return picture != nullptr && picture->GetWidth() == height && picture->GetHeight() == width;
}

bool CopyPictureToClipboard(TVLBitmap& Picture) {
    if (Picture.IsEmpty()) return false;
    // The device bitmap of a copy: a 16-bit, 48-bit or CMYK picture converts there, never in the
    // picture the view shows and a later Save As writes.
    TVLBitmap copy;
    copy.SetLocation(TVLLocation::vlTBitmap);
    copy.Assign(&Picture);
    TBitmap* bitmap = copy.GetVclBitmap();
    if (bitmap == nullptr) return false;
    TClipboard* clipboard = Clipboard();
    try {
        clipboard->Open();
    } catch (const Exception&) {
        return false;
    }
    bool done = true;
    try {
        clipboard->Assign(bitmap);
    } catch (const Exception&) {
        done = false;
    }
    clipboard->Close();
    return done;
}

bool CopyFileToClipboard(TComponent* Owner, const String& Path, bool Cut) {
    auto source = std::make_unique<TSVDropFileSource>(Owner);
    source->Files().Add(Path);
    return Cut ? source->CutToClipboard() : source->CopyToClipboard();
}

TDeleteOutcome DeletePicture(std::vector<String>& FileList, int32_t CurrentIndex,
                             TStringList& Captions, bool Permanently,
                             const std::function<bool(const String& Path)>& Confirm) {
    TDeleteOutcome outcome;
    if (CurrentIndex < 0 || CurrentIndex >= static_cast<int32_t>(FileList.size())) return outcome;
    const String path = FileList[static_cast<size_t>(CurrentIndex)];
    if (Confirm && !Confirm(path)) return outcome;

    String names = path;
    names += u'\0';
    SHFILEOPSTRUCTW op;
    op.wFunc = FO_DELETE;
    op.pFrom = names.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    if (!Permanently) op.fFlags |= FOF_ALLOWUNDO;
    if (SHFileOperationW(&op) != 0 || op.fAnyOperationsAborted || FileExists(path)) {
        outcome.Failed = true;
        return outcome;
    }

    outcome.Deleted = true;
    outcome.DeletedIndex = CurrentIndex;
    FileList.erase(FileList.begin() + CurrentIndex);
    const auto count = static_cast<int32_t>(FileList.size());
    outcome.NewIndex = count == 0 ? -1 : std::min(CurrentIndex, count - 1);
    const int32_t line = Captions.IndexOfName(ExtractFileName(path));
    if (line >= 0) {
        Captions.Delete(line);
        outcome.CaptionsChanged = true;
    }
    return outcome;
}
