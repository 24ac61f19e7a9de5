// The undo and redo stacks of the processing component: image entries are full copies in
// delete-on-close temporary files, selection entries the view's selection stream, layer entries
// the records of the view's layers.
#include "imaging/proc/VistrelProc.h"

#include "imaging/core/VLHelpers.h"
#include "imaging/view/VistrelView.h"

#include <algorithm>

namespace {

// A layer record starts with its int32 length (counted from its first byte) and the layer's
// 16-byte identity.
constexpr int32_t LayerRecordHead = 4 + 16;

// True when the image is at least 2 x 2 pixels: smaller images (a fresh view's 1 x 1) are not
// worth an entry.
bool WorthSaving(TVLBitmap& Image) {
    return Image.GetWidth() >= 2 && Image.GetHeight() >= 2;
}

} // namespace

void RestoreLayerRecords(TVistrelView& View, TStream& Stream) {
    Stream.SetPosition(0);
    const int64_t size = Stream.GetSize();
    while (Stream.GetPosition() + LayerRecordHead <= size) {
        const int64_t start = Stream.GetPosition();
        int32_t length = 0;
        TGUID id;
        Stream.ReadBuffer(&length, sizeof(length));
        Stream.ReadBuffer(&id, sizeof(id));
        if (length < LayerRecordHead || start + length > size) break;
        for (int32_t i = 0; i < View.GetLayerCount(); ++i) {
            if (!GUIDsEqual(View.GetLayer(i)->LayerID, id)) continue;
            Stream.SetPosition(start);
            View.GetLayer(i)->LoadFromStream(Stream);
            break;
        }
        Stream.SetPosition(start + length);
    }
}

std::unique_ptr<TObject> TVistrelProc::MakeImageEntry() {
    if (!PrepareImage(AnyPixelFormat) || !WorthSaving(*FImage)) return nullptr;
    auto copy = std::make_unique<TVLBitmap>();
    // Every copy lives in a temporary file, so that a long history holds no image memory.
    copy->MinFileSize = 0;
    copy->SetLocation(FUndoLocation);
    copy->Assign(FImage);
    TVistrelView* view = AttachedVistrelView();
    copy->UndoLayerIndex = view != nullptr ? view->CurrentLayerIndex() : -1;
    return copy;
}

std::unique_ptr<TObject> TVistrelProc::MakeLayersEntry(bool WithBitmap) {
    TVistrelView* view = AttachedVistrelView();
    if (view == nullptr) return nullptr;
    auto stream = std::make_unique<TMemoryStream>();
    for (int32_t i = 0; i < view->GetLayerCount(); ++i)
        view->GetLayer(i)->SaveToStream(*stream, WithBitmap && i == view->CurrentLayerIndex());
    return stream;
}

std::unique_ptr<TObject> TVistrelProc::MakeSelectionEntry() {
    TVistrelView* view = AttachedVistrelView();
    if (view == nullptr) return nullptr;
    auto stream = std::make_unique<TMemoryStream>();
    view->SaveSelectionToStream(*stream);
    return stream;
}

std::unique_ptr<TObject> TVistrelProc::MakeEntry(TVLUndoSource Source) {
    switch (Source) {
    case vluImage:
        return MakeImageEntry();
    case vluSelection:
        return MakeSelectionEntry();
    case vluLayer:
        return MakeLayersEntry(false);
    case vluFullLayer:
        return MakeLayersEntry(true);
    default:
        // The vector objects belong to a view of another class.
        return nullptr;
    }
}

bool TVistrelProc::PushEntry(TUndoStack& Stack, TVLUndoSource Source) {
    if (FUndoLimit <= 0) return false;
    std::unique_ptr<TObject> data = MakeEntry(Source);
    // A save that adds nothing drops nothing.
    if (!data) return false;
    const auto limit = static_cast<size_t>(FUndoLimit);
    if (Stack.size() >= limit) Stack.erase(Stack.begin(), Stack.end() - (limit - 1));
    Stack.push_back(TUndoEntry{std::move(data), Source, String()});
    return true;
}

void TVistrelProc::SaveUndo(TVLUndoSource Source) {
    if (FUndoLimit <= 0) return;
    if (Source == vluImage && !PrepareImage(AnyPixelFormat)) return;
    PushEntry(FUndo, Source);
    if (OnSaveUndo) OnSaveUndo(this, Source);
}

void TVistrelProc::SaveUndoCaptioned(const String& Caption, TVLUndoSource Source) {
    if (!PrepareImage(AnyPixelFormat) || !WorthSaving(*FImage)) return;
    const TObject* newest = FUndo.empty() ? nullptr : FUndo.back().Data.get();
    SaveUndo(Source);
    if (!FUndo.empty() && FUndo.back().Data.get() != newest) FUndo.back().Caption = Caption;
}

void TVistrelProc::SaveRedo(TVLUndoSource Source) {
    PushEntry(FRedo, Source);
}

void TVistrelProc::Undo(bool SaveRedo) {
    UndoAt(0, SaveRedo);
}

void TVistrelProc::UndoAt(int32_t Index, bool SaveRedo) {
    if (!PrepareImage(AnyPixelFormat)) return;
    const auto n = static_cast<int32_t>(FUndo.size());
    if (Index < 0 || Index >= n) return;
    TUndoEntry& entry = FUndo[static_cast<size_t>(n - 1 - Index)];
    // The redo entry holds the state before the restore.
    if (SaveRedo) this->SaveRedo(entry.Kind);
    RestoreEntry(entry);
}

void TVistrelProc::Redo() {
    RedoAt(0);
}

void TVistrelProc::RedoAt(int32_t Index) {
    if (!PrepareImage(AnyPixelFormat)) return;
    const auto n = static_cast<int32_t>(FRedo.size());
    if (Index < 0 || Index >= n) return;
    RestoreEntry(FRedo[static_cast<size_t>(n - 1 - Index)]);
}

void TVistrelProc::RestoreEntry(TUndoEntry& Entry) {
    switch (Entry.Kind) {
    case vluImage:
        RestoreImage(static_cast<TVLBitmap&>(*Entry.Data));
        break;
    case vluSelection:
        if (TVistrelView* view = AttachedVistrelView()) {
            auto& stream = static_cast<TMemoryStream&>(*Entry.Data);
            stream.SetPosition(0);
            // Mode 1: a selection saved on a larger picture is moved back inside.
            view->LoadSelectionFromStream(stream, 1);
        }
        break;
    case vluLayer:
    case vluFullLayer:
        if (TVistrelView* view = AttachedVistrelView()) {
            RestoreLayerRecords(*view, static_cast<TMemoryStream&>(*Entry.Data));
            view->Update();
        }
        break;
    default:
        break;
    }
}

void TVistrelProc::RestoreImage(TVLBitmap& Saved) {
    TVLBitmap* target = FImage;
    TVistrelView* view = AttachedVistrelView();
    if (view != nullptr && Saved.UndoLayerIndex >= 0)
        target =
            view->GetLayer(std::min(Saved.UndoLayerIndex, view->GetLayerCount() - 1))->Bitmap();
    target->Assign(&Saved);
    NotifyImageChanged();
}

void TVistrelProc::DiscardRedo() {
    if (!FRedo.empty()) FRedo.pop_back();
}

void TVistrelProc::RemoveUndo(int32_t Position) {
    const auto n = static_cast<int32_t>(FUndo.size());
    if (Position < 0 || Position >= n) return;
    FUndo.erase(FUndo.begin() + (n - 1 - Position));
}

void TVistrelProc::ClearUndo() {
    while (!FUndo.empty())
        FUndo.erase(FUndo.begin());
}

void TVistrelProc::ClearRedo() {
    while (!FRedo.empty())
        FRedo.erase(FRedo.begin());
}

TVLUndoSource TVistrelProc::GetUndoSource(int32_t Index) const {
    if (Index < 0 || Index >= GetUndoCount()) return vluUnknown;
    return FUndo[static_cast<size_t>(Index)].Kind;
}

String TVistrelProc::GetUndoCaption(int32_t Index) const {
    if (Index < 0 || Index >= GetUndoCount()) return String();
    return FUndo[static_cast<size_t>(Index)].Caption;
}
