// The I/O component: the working image every load fills and every save reads, its attachment to
// a view, an image control or a caller's bitmap, the parameter record, and the progress and
// finished-work reports, posted to the view's window when the work runs in a background job.
#pragma once

#include "imaging/io/VLFileFormats.h"
#include "imaging/io/VistrelIOUnit.h"
#include "imaging/view/VLView.h"
#include "platform/rtl/SyncObjs.h"
#include "platform/rtl/Thread.h"
#include "platform/ui/Component.h"

#include <initializer_list>
#include <memory>
#include <vector>

class TImage;

class TVistrelIO : public TComponent, public TIOParamsOwner {
public:
    explicit TVistrelIO(TComponent* AOwner);
    ~TVistrelIO() override;

    // ---- Attachment ----
    TVLView* AttachedVistrel() const { return FAttachedVistrel; }
    // Works on the view's current bitmap and follows it; nil detaches onto a new own bitmap.
    void SetAttachedVistrel(TVLView* View);
    // The callback registered with the attached view: Destroying = the view goes.
    void ViewBitmapChanged(TObject* Sender, bool Destroying);
    TImage* AttachedTImage() const { return FAttachedTImage; }
    // Works on the image control's picture bitmap; nil empties the own working bitmap.
    void SetAttachedTImage(TImage* Image);
    // Works on a caller's bitmap, which must outlive its use here. nil while a view or an image
    // control is attached changes nothing.
    void SetAttachedBitmap(TVLBitmap* Bitmap);
    // Makes Bitmap the working bitmap without owning it.
    void SetTargetBitmap(TVLBitmap* Bitmap);
    // The working bitmap; nil only after SetTargetBitmap(nil).
    TVLBitmap* GetBitmap() const { return FBitmap; }

    // The check every load and save makes first: false without a working bitmap; a known
    // class-library bitmap is wrapped again, so that changes made to it are seen; then true
    // when AllowedFormats is empty or holds the working bitmap's pixel format.
    bool CheckWorkingBitmap(std::initializer_list<TVLPixelFormat> AllowedFormats = {});
    // Called at the end of every load: the attached view recomputes and fires its image change
    // (from a background job through its window and the UI thread), or the class-library
    // bitmap of an image control is marked modified.
    void UpdateAttached();

    // ---- Progress and finish ----
    // Relays a codec's progress to OnProgress, or posts it to the view from a background job.
    virtual void DoProgress(TObject* Sender, int32_t Per);
    // Reports 100 through DoProgress, then fires OnFinishWork (or posts it from a job).
    virtual void DoFinishWork();
    // A progress record for one operation: this component's relay, its aborting flag.
    TVLProgressRecord MakeProgressRecord();
    bool IsInsideIOThread();

    // ---- Background, resolution, class-library bitmap ----
    // The attached view's background, else the own one.
    TColor GetBackground();
    // Stored only while no view is attached.
    void SetBackground(TColor Value);
    // Hands the resolution to an attached single-image view without repainting it.
    virtual void ApplyDPIToView(int32_t DpiX, int32_t DpiY);
    // The working bitmap's class-library bitmap when it lives in one, else the legacy bitmap.
    TBitmap* GetTBitmap() override;
    void SetDefaultDitherMethod(uint8_t Value);
    uint8_t DefaultDitherMethod() const { return FDefaultDitherMethod; }
    bool GetNativePixelFormat() const { return FIOParams->NativePixelFormat; }
    void SetNativePixelFormat(bool Value) { FIOParams->NativePixelFormat = Value; }

    // ---- State ----
    TIOParamsVals& IOParams() { return *FIOParams; }
    // Set by a codec on bad data or by the application to cancel; cleared at the start of each
    // operation and kept afterwards.
    bool AbortingFlag = false;
    // Stream loads and saves of JPEG, TIFF and PCX use a 12-byte header.
    bool StreamHeaders = false;
    // After a load, resample so that both resolutions are equal (filtered or not).
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    // Loads and saves on an attached component run in background jobs.
    bool Asynchronous = false;
    TIOPrintPreviewParams PrintPreviewParams;

    // The running background jobs; a job adds and removes itself under IOLock.
    TCriticalSection IOLock;
    std::vector<TThread*> IOThreads;

    TVLProgressEvent OnProgress;
    TNotifyEvent OnFinishWork;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    void SetViewDpiX(int32_t Value) override;
    void SetViewDpiY(int32_t Value) override;
    void RemoveViewCallback();
    // Frees an owned working bitmap and takes a new empty one of its own.
    void NewOwnBitmap();
    void FreeOwnBitmap();
    // The view shows its changes from the job: posted through its window when it has a parent
    // window; false when the caller is not a job or the view has none.
    bool PostToView(UINT Msg, WPARAM WParam);
    void WaitForJobs();

    TBitmap* FLegacyBitmap = nullptr;
    TVLBitmap* FBitmap = nullptr;
    std::unique_ptr<TVLBitmap> FOwnBitmap;
    TVLView* FAttachedVistrel = nullptr;
    TVLBitmapChangeHandle FChangeHandle = nullptr;
    TImage* FAttachedTImage = nullptr;
    TColor FBackground = 0;
    uint8_t FDefaultDitherMethod = 1;
    std::unique_ptr<TIOParamsVals> FIOParams;
};
