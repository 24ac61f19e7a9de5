// The thumbnail strip: a borderless window docked at the right edge of the work area that lists
// a folder's pictures as 85-pixel thumbnails with a search box above them; the decoding thread
// that makes the thumbnails, the items the strip draws, the search that makes matching pictures
// glow, and the glow picture.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/SyncObjs.h"
#include "platform/rtl/Thread.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class TVistrelIO;
class TVistrelProc;
class TSVPngButton;

// The longer side of a thumbnail, in pixels.
constexpr int32_t ThumbnailSize = 85;

// The thumbnail of the picture at Path, in memory: loaded by IO (a JPEG through its reduced
// decode, at least twice the thumbnail's size), turned upright by its EXIF orientation, and
// resampled by Proc with rfFastLinear so that the longer side is 85 pixels and the other one
// keeps the aspect ratio (truncated). Nil when the picture does not load, or loads damaged.
std::unique_ptr<TVLBitmap> MakeThumbnail(TVistrelIO& IO, TVistrelProc& Proc, const String& Path);

// Sender, the decoded path and its thumbnail (nil when the picture did not load). The handler
// may take the bitmap; what it leaves is freed by the decoder.
using TThumbnailEvent =
    std::function<void(TObject* Sender, const String& Path, std::unique_ptr<TVLBitmap>& Bitmap)>;

// The background thread that decodes thumbnails one file after the other, with its own I/O and
// processing components, and hands each one to the main thread by Synchronize. Create it, set
// the events, then Start.
class TSVThumbsThread : public TThread {
public:
    explicit TSVThumbsThread(const std::vector<String>& Files);
    ~TSVThumbsThread() override;

    // Takes Path out of the files still to decode, under the list's lock (the thread goes on);
    // false when it is not among them.
    bool RemoveFile(const String& Path);
    // The files still to decode.
    int32_t PendingCount();

    // Both run on the main thread; clearing OnThumbnail there stops any later hand-over.
    TThumbnailEvent OnThumbnail;
    TNotifyEvent OnFinished;

protected:
    void Execute() override;
    // Calls OnThumbnail with the current path and bitmap when it is assigned.
    virtual void DoThumbnail();
    // Calls OnFinished when it is assigned.
    virtual void DoFinished();

private:
    bool NextFile(String& Path);

    TCriticalSection FLock;
    std::deque<String> FFiles;
    String FCurrentPath;
    std::unique_ptr<TVLBitmap> FBitmap;
};

// One picture of the strip.
struct TSVThumbItem {
    String Path;
    std::unique_ptr<TVLBitmap> Bitmap; // nil until the thumbnail is made
    bool Unreadable = false;           // the decoder could make no thumbnail of the file
    bool Matched = false;              // set by the search
};

// True when Text is not empty and the file name of Path holds Text without regard to case, or
// Captions has a line for that file name (found without regard to case) whose whole text
// ("name=caption") holds Text with its case.
bool ThumbnailMatches(const String& Path, const String& Text, const TStringList& Captions);

// The strip's items and the decoder that fills them. Everything here runs on the main thread.
class TSVThumbnailList {
public:
    TSVThumbnailList() = default;
    ~TSVThumbnailList();
    TSVThumbnailList(const TSVThumbnailList&) = delete;
    TSVThumbnailList& operator=(const TSVThumbnailList&) = delete;

    // New items for Paths (nothing of the old list is kept), the old decoder stopped, a new one
    // started on Paths.
    void FillThumbnails(const std::vector<String>& Paths);
    // Frees every item.
    void ClearThumbnails();
    // Removes the item at Index (nothing when out of range); its file leaves the decoder's list
    // too when the decoder has not reached it.
    void DeleteThumbnail(int32_t Index);
    // Stops a running decoder and waits for it, serving its hand-overs meanwhile (they store
    // nothing any more).
    void StopDecoder();
    // Asks a running decoder to stop, without waiting (the strip is closed).
    void TerminateDecoder();
    // True from a fill until the decoder has finished.
    bool Decoding() const { return FDecoder != nullptr && !FDecoderFinished; }

    // Marks the items by ThumbnailMatches.
    void Search(const String& Text, const TStringList& Captions);

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TSVThumbItem& Item(int32_t Index) { return *FItems.at(static_cast<size_t>(Index)); }
    int32_t IndexOfPath(const String& Path) const;

    // After a thumbnail arrived or the search changed the marks: the strip repaints.
    std::function<void()> OnChanged;
    // After the decoder finished.
    std::function<void()> OnFinished;

private:
    // Stores Bitmap into the item of Path only; a path no longer listed drops it.
    void ThumbnailReady(const String& Path, std::unique_ptr<TVLBitmap>& Bitmap);
    void Changed();

    std::vector<std::unique_ptr<TSVThumbItem>> FItems;
    std::unique_ptr<TSVThumbsThread> FDecoder;
    bool FDecoderFinished = false;
    // Where the next hand-over is looked for first (the decoder goes in list order).
    size_t FHint = 0;
};

// The glow drawn behind matching thumbnails: FileName loaded as PNG into memory; an empty bitmap
// when it is missing or cannot be read, so the strip draws without glow.
std::unique_ptr<TVLBitmap> LoadGlow(const String& FileName);
// The part of Glow the strip stretches behind a thumbnail: its top-left 100 x 100 pixels, cut to
// the picture's size. False for an empty glow.
bool GlowSourceRect(TVLBitmap& Glow, TRect& Rect);

// The message the strip sends the main window with the index of the clicked picture in WParam.
constexpr UINT WM_SHOWINDEX = WM_USER + 15;

// The strip window. Its list box's items are the pictures' paths, in the order of Thumbs'
// items; the decoder hands each thumbnail over by path, never by position.
class TfThumbnails : public TForm {
public:
    explicit TfThumbnails(TComponent* AOwner);
    ~TfThumbnails() override;

    // Lists Paths (the old list goes, nothing of it is kept) and restarts the decoder on them;
    // MainWindowHandle receives WM_SHOWINDEX.
    void FillThumbnails(HWND MainWindowHandle, const TStringList& Paths);
    // Empties the list.
    void ClearThumbnails();
    // Removes the item at Index (nothing when out of range); the decoder goes on without it.
    void DeleteThumbnail(int32_t Index);

    // The window's components, all owned by it.
    TListBox* lThumbs;
    TPanel* pTop;
    TSVPngButton* btnClose;
    TButtonedEdit* eSearch;
    TImageList* ImageList1;

    HWND MainWindow = nullptr;
    // Drawn behind matching thumbnails; empty when the skin has none (no glow is drawn).
    std::unique_ptr<TVLBitmap> Glow;
    // The main window's caption lines, for the search.
    TStringList Captions;
    // The items with their thumbnails and the decoder that makes them.
    TSVThumbnailList Thumbs;

    // Handlers, public so that tests can drive them as the window's events do.
    void lThumbsDrawItem(TWinControl* Control, int32_t Index, const TRect& Rect,
                         TOwnerDrawState State);
    void lThumbsClick(TObject* Sender);
    void eSearchChange(TObject* Sender);
    void eSearchRightButtonClick(TObject* Sender);
    void btnCloseClick(TObject* Sender);

private:
    void CreateTopPanel();
    void LoadSkin(const String& SkinFolder);
    void DrawThumbnail(TCanvas* Canvas, TSVThumbItem& Item, const TRect& Rect, bool Selected);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void pTopMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                       int32_t Y);
};

extern TfThumbnails* fThumbnails;
