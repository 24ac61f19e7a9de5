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

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class TImage;
class TMetafile;

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
    // How many finish reports (DoFinishWork) the calling thread has made so far.
    static uint32_t FinishReportsOnThisThread();

    // ---- Background jobs (VLIOThread.cpp) ----
    // Starts every registered job that has not started yet. A job whose thread cannot be made
    // leaves the list and is freed, and the failure is raised.
    void ResumeSuspendedThreads();
    // Returns when every job has left IOThreads, starting the ones not started yet; SetAborting
    // sets AbortingFlag on each pass, asking the jobs to stop early. The UI thread keeps serving
    // the jobs' Synchronize calls meanwhile.
    void WaitPendingThreads(bool SetAborting);

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

    // ---- Loading and saving by file name (VistrelIOFile.cpp) ----
    // By the file's extension; success is AbortingFlag false afterwards.
    virtual void LoadFromFile(const String& FileName);
    // By the caller's format id; an id without a registry row does nothing at all.
    virtual void LoadFromFileFormat(const String& FileName, TVLFileFormatId FormatId);
    // By the file's content, else by its extension.
    virtual void LoadFromFileAuto(const String& FileName);
    // By the extension. The target is replaced only by a complete new file; an extension without
    // a writer sets AbortingFlag and creates nothing.
    virtual void SaveToFile(const String& FileName);

    // ---- Loading from addresses (VistrelIOURL.cpp) ----
    // Downloads an "http://", "https://" or "ftp://" address and loads what it holds through
    // LoadFromStream. A failed download sets AbortingFlag and reports the finished work.
    void LoadFromURL(const String& URL);
    // "host:port" of a proxy; empty = direct. ProxyUser and ProxyPassword then authenticate to
    // the proxy, and credentials in an address are not used.
    String ProxyAddress;
    String ProxyUser;
    String ProxyPassword;

    // ---- Stream loading and detection (VistrelIOStream.cpp) ----
    // Detects the format; unrecognised content sets AbortingFlag and reports the finished work.
    virtual void LoadFromStream(TStream& Stream);
    // FormatId 0 detects; an id without a registry row does nothing.
    virtual void LoadFromStreamFormat(TStream& Stream, TVLFileFormatId FormatId);
    // Loads from the caller's memory, which is not copied; always synchronous, because the
    // wrapper around the memory ends with the call.
    virtual void LoadFromBuffer(const void* Buffer, int32_t BufferSize, TVLFileFormatId FormatId);
    virtual void SaveToStreamFormat(TStream& Stream, TVLFileFormatId FormatId);
    // Parameters only; failure leaves IOParams().FileType 0. Always reports the finished work.
    virtual void ParamsFromFile(const String& FileName);
    virtual void ParamsFromFileFormat(const String& FileName, TVLFileFormatId FormatId);
    virtual void ParamsFromStream(TStream& Stream);
    virtual void ParamsFromStreamFormat(TStream& Stream, TVLFileFormatId FormatId);
    // Resolutions below 2 become the library defaults.
    void CheckDPI();
    // Resamples the working bitmap so that both resolutions are equal (the larger one wins on
    // the shorter side); an impossible new size keeps the image as it is.
    void AdjustDPI();

    // ---- Per-format entry points (VistrelIOFormats.cpp) ----
    // Formats whose codec is not built in yet take the no-reader / no-writer path of the
    // dispatchers: AbortingFlag set, finished work reported once.
    // TIFF: the image IOParams().TiffImageIndex; returns the number of pages of the file. The
    // stream form expects a "TIFF" stream header when StreamHeaders is on and then leaves the
    // stream right after the data; a missing header sets AbortingFlag and returns 0.
    int32_t LoadFromFileTIFF(const String& FileName);
    int32_t LoadFromStreamTIFF(TStream& Stream);
    void LoadFromFileJPEG(const String& FileName);
    // Skips a 12-byte "JFIF" stream header when one is there and then leaves the stream right
    // after the image data.
    void LoadFromStreamJPEG(TStream& Stream);
    // The metadata markers are rebuilt from IOParams first (resolution, IPTC, XMP).
    void SaveToFileJPEG(const String& FileName);
    void SaveToStreamJPEG(TStream& Stream);
    void LoadFromFilePNG(const String& FileName);
    void LoadFromStreamPNG(TStream& Stream);
    void SaveToFilePNG(const String& FileName);
    void SaveToStreamPNG(TStream& Stream);
    // GIF: frame IOParams().GifImageIndex as it shows on screen (the frames before it composed
    // on a canvas of the logical screen's size). Returns the frames in the file.
    int32_t LoadFromFileGIF(const String& FileName);
    int32_t LoadFromStreamGIF(TStream& Stream);
    void SaveToFileGIF(const String& FileName);
    void SaveToStreamGIF(TStream& Stream);
    // BMP: the alpha bytes of 32-bit files are kept, and written, with IOParams().BmpWriteAlpha.
    void LoadFromFileBMP(const String& FileName);
    void LoadFromStreamBMP(TStream& Stream);
    void SaveToFileBMP(const String& FileName);
    void SaveToStreamBMP(TStream& Stream);
    // PNM: 1-bit, 8-bit grey and 24-bit pictures are saved as they are, others from a 24-bit
    // copy; IOParams().BitsPerSample and SamplesPerPixel choose the kind of a 24-bit one's file.
    void LoadFromFilePNM(const String& FileName);
    void LoadFromStreamPNM(TStream& Stream);
    void SaveToFilePNM(const String& FileName);
    void SaveToStreamPNM(TStream& Stream);
    void LoadFromFileWBMP(const String& FileName);
    void LoadFromStreamWBMP(TStream& Stream);
    void SaveToFileWBMP(const String& FileName);
    void SaveToStreamWBMP(TStream& Stream);
    // ICO and CUR: image IOParams().IcoImageIndex or CurImageIndex with its transparency as the
    // alpha channel; only the file forms pass the resolution on to the attached view. The ICO
    // savers write the leading IcoSizes with a positive width (at most 16) at the depths of
    // IcoBitCounts, from a 24-bit copy unless the picture is 24-bit or bilevel.
    void LoadFromFileICO(const String& FileName);
    void LoadFromStreamICO(TStream& Stream);
    void LoadFromFileCUR(const String& FileName);
    void LoadFromStreamCUR(TStream& Stream);
    void SaveToFileICO(const String& FileName);
    void SaveToStreamICO(TStream& Stream);
    // Headerless pixels into the working bitmap as it is allocated, laid out as the RawPixels
    // fields of IOParams() say; FileType becomes ffRawPixels.
    void LoadFromFileRawPixels(const String& FileName);
    void LoadFromStreamRawPixels(TStream& Stream);
    // PCX: with StreamHeaders on, the stream forms read and write a "PCX2" stream header (the
    // loader also takes the older four-byte "PCX" one) and the loader leaves the stream right
    // after the data; a missing header sets AbortingFlag.
    void LoadFromFilePCX(const String& FileName);
    void LoadFromStreamPCX(TStream& Stream);
    void SaveToFilePCX(const String& FileName);
    void SaveToStreamPCX(TStream& Stream);
    // DCX: page IOParams().DcxImageIndex; a save makes a one-page container (the stream form
    // replaces the stream's content, and leaves it as it was when the write fails).
    void LoadFromFileDCX(const String& FileName);
    void LoadFromStreamDCX(TStream& Stream);
    void SaveToFileDCX(const String& FileName);
    void SaveToStreamDCX(TStream& Stream);
    // TGA: alpha is read into, and written from, the working bitmap's alpha channel.
    void LoadFromFileTGA(const String& FileName);
    void LoadFromStreamTGA(TStream& Stream);
    void SaveToFileTGA(const String& FileName);
    void SaveToStreamTGA(TStream& Stream);
    // A new single-image TIFF file of the working bitmap as it is; the stream form writes a
    // "TIFF" stream header first when StreamHeaders is on.
    void SaveToFileTIFF(const String& FileName);
    void SaveToStreamTIFF(TStream& Stream);
    // JPEG 2000: a JP2 file (id 13) or a bare codestream (id 14); one reader for both.
    void LoadFromFileJP2(const String& FileName);
    void LoadFromFileJ2K(const String& FileName);
    void LoadFromStreamJP2(TStream& Stream);
    void LoadFromStreamJ2K(TStream& Stream);
    void SaveToFileJP2(const String& FileName);
    void SaveToFileJ2K(const String& FileName);
    void SaveToStreamJP2(TStream& Stream);
    void SaveToStreamJ2K(TStream& Stream);
    // PSD: the merged picture; with IOParams().PsdLoadLayers and a single-image view attached the
    // file's layers become the view's (replacing them under PsdReplaceLayers). The savers write
    // the view's layers over their merged picture, or the working bitmap as the only layer.
    void LoadFromFilePSD(const String& FileName);
    void LoadFromStreamPSD(TStream& Stream);
    void SaveToFilePSD(const String& FileName);
    void SaveToStreamPSD(TStream& Stream);
    // One-page PostScript and PDF documents (write-only) of the working bitmap, 1-bit and 24-bit
    // pictures as they are, others from a 24-bit copy.
    void SaveToFilePS(const String& FileName);
    void SaveToStreamPS(TStream& Stream);
    void SaveToFilePDF(const String& FileName);
    void SaveToStreamPDF(TStream& Stream);
    // Ids 25 to 27. The layers (26) go into an attached single-image view, or are merged into
    // the working bitmap through a temporary view.
    void LoadFromFileLayersObjects(const String& FileName, TVLFileFormatId FormatId);
    void LoadFromStreamLayersObjects(TStream& Stream, TVLFileFormatId FormatId);

    // ---- Metafiles and source text (VistrelIOMetafile.cpp) ----
    // A WMF or EMF file rendered at Width x Height (-1: kept in proportion to the other side;
    // both -1: its natural size); WithAlpha makes what it leaves untouched transparent.
    virtual void ImportMetafile(const String& FileName, int32_t Width, int32_t Height,
                                bool WithAlpha);
    void RenderMetafile(TMetafile& Metafile, int32_t Width, int32_t Height, bool WithAlpha);
    // The picture as text: 0 Pascal, 1 C, 2 Base64 (all of it encoded as FormatId), 3 ASCII art
    // of a vl24RGB working bitmap. A failed export leaves the target as it was.
    virtual void SaveToSourceText(const String& FileName, TVLFileFormatId FormatId, uint8_t Kind);

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
    // What the codec call of an entry point gets: the stream, the working bitmap (or the copy a
    // saver writes), the progress record.
    using TCodecCall = std::function<void(TStream&, TVLBitmap&, TVLProgressRecord&)>;
    // Which of the optional resolution steps a loader makes after its reader.
    struct TLoadSteps {
        bool CheckDpi = true;
        bool AdjustDpi = true;
        bool ApplyDpi = true;
    };
    // The body of every stream loader (after the clear of AbortingFlag): reset, read, the
    // resolution steps, FileName and FileType, UpdateAttached. Returns false without a working
    // bitmap.
    bool RunLoad(TStream& Stream, TVLFileFormatId FormatId, const String& FileName,
                 TLoadSteps Steps, const TCodecCall& Read);
    // The stream loader shape, with the finished work reported once.
    void StreamLoader(TStream& Stream, TVLFileFormatId FormatId, TLoadSteps Steps,
                      const TCodecCall& Read);
    // File form A: the stream loader's work on the opened file, then FileName; a file that
    // cannot be opened raises before anything is reported.
    void FileLoaderA(const String& FileName, TVLFileFormatId FormatId, TLoadSteps Steps,
                     const TCodecCall& Read);
    // File form B: AbortingFlag stays set when the file cannot be opened.
    void FileLoaderB(const String& FileName, TVLFileFormatId FormatId, TLoadSteps Steps,
                     const TCodecCall& Read);
    // The bitmap a saver writes: the working bitmap when its format is allowed (or no list is
    // given), otherwise a vl24RGB copy in Copy, so that the picture shown never changes.
    TVLBitmap& SaveSource(std::initializer_list<TVLPixelFormat> Keep, TVLBitmap& Copy);
    void StreamSaver(TStream& Stream, std::initializer_list<TVLPixelFormat> Keep,
                     const TCodecCall& Write);
    // Checks the image first, writes a new file beside the target and renames it over the
    // target only when the writer succeeded.
    void FileSaver(const String& FileName, TVLFileFormatId FormatId,
                   std::initializer_list<TVLPixelFormat> Keep, const TCodecCall& Write);
    // Reads frames 0 to GifImageIndex into Bitmap, composing them when the file is animated;
    // returns the frame count.
    int32_t ComposeGifFrames(TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress);
    // A 12-byte stream header around what Write puts at the stream position.
    void WithStreamHeader(TStream& Stream, const char* Tag, const std::function<void()>& Write);
    // The no-reader / no-writer path of a format without a codec: AbortingFlag, finish once.
    void RefuseFormat();
    // Dispatches a built-in id to its file or stream loader; an id without one is refused.
    void LoadFileById(const String& FileName, TVLFileFormatId FormatId);
    void LoadStreamById(TStream& Stream, TVLFileFormatId FormatId);
    // A row's reader or writer, for rows registered at run time. ReaderFailureAborts: an
    // exception of the reader sets AbortingFlag instead of propagating.
    void LoadWithRow(TStream& Stream, TVLFileFormatInfo& Row);
    void LoadFileWithRow(const String& FileName, TVLFileFormatInfo& Row, bool ReaderFailureAborts);
    void SaveFileWithRow(const String& FileName, TVLFileFormatInfo& Row);
    void SaveFileLayers(const String& FileName);

    void SetViewDpiX(int32_t Value) override;
    void SetViewDpiY(int32_t Value) override;
    void RemoveViewCallback();
    // Frees an owned working bitmap and takes a new empty one of its own.
    void NewOwnBitmap();
    void FreeOwnBitmap();
    // The view shows its changes from the job: posted through its window when it has a parent
    // window; false when the caller is not a job or the view has none.
    bool PostToView(UINT Msg, WPARAM WParam);
    // The background-job test: the working bitmap is not the component's own, Asynchronous is
    // on and the caller is not one of the jobs.
    bool JobTestApplies();
    // Defined with the job class (VLIOThread.h), which every entry point's source includes.
    template <class Method, class... Args> bool Reissued(Method Operation, Args&&... Arguments);

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
