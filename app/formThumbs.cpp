// The thumbnail decoder, the strip's items and its search.
#include "app/formThumbs.h"

#include "imaging/io/VistrelIO.h"
#include "imaging/proc/VistrelProc.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/WinApi.h"

#include <algorithm>

namespace {

// The picture's size as the JPEG reader is asked for it: twice the thumbnail on both sides, so
// the reduced decode keeps enough pixels whichever side turns out the longer.
constexpr int32_t ReducedDecodeSize = 2 * ThumbnailSize;

String FileNameOf(const String& Path) {
    const size_t slash = Path.find_last_of(PathDelim);
    return slash == String::npos ? Path : Path.substr(slash + 1);
}

} // namespace

std::unique_ptr<TVLBitmap> MakeThumbnail(TVistrelIO& IO, TVistrelProc& Proc, const String& Path) {
    auto bitmap = std::make_unique<TVLBitmap>();
    bitmap->SetLocation(TVLLocation::vlMemory);
    IO.SetAttachedBitmap(bitmap.get());
    TIOParamsVals& params = IO.IOParams();
    params.JpegScale = jsAuto;
    params.Width = ReducedDecodeSize;
    params.Height = ReducedDecodeSize;
    params.JpegAdjustOrientation = true;
    try {
        IO.LoadFromFile(Path);
    } catch (const Exception&) {
        IO.AbortingFlag = true;
    }
    IO.SetAttachedBitmap(nullptr);
    if (IO.AbortingFlag || bitmap->IsEmpty()) return nullptr;
    Proc.SetAttachedBitmap(bitmap.get());
    if (bitmap->GetHeight() < bitmap->GetWidth())
        Proc.Resample(ThumbnailSize, -1, rfFastLinear);
    else
        Proc.Resample(-1, ThumbnailSize, rfFastLinear);
    Proc.SetAttachedBitmap(nullptr);
    if (bitmap->IsEmpty() || !bitmap->SetLocation(TVLLocation::vlMemory)) return nullptr;
    return bitmap;
}

TSVThumbsThread::TSVThumbsThread(const std::vector<String>& Files)
    : FFiles(Files.begin(), Files.end()) {}

TSVThumbsThread::~TSVThumbsThread() {
    Terminate();
    if (Started()) WaitFor();
}

bool TSVThumbsThread::RemoveFile(const String& Path) {
    TCriticalSectionLock lock(FLock);
    const auto at = std::find(FFiles.begin(), FFiles.end(), Path);
    if (at == FFiles.end()) return false;
    FFiles.erase(at);
    return true;
}

int32_t TSVThumbsThread::PendingCount() {
    TCriticalSectionLock lock(FLock);
    return static_cast<int32_t>(FFiles.size());
}

bool TSVThumbsThread::NextFile(String& Path) {
    TCriticalSectionLock lock(FLock);
    if (FFiles.empty()) return false;
    Path = std::move(FFiles.front());
    FFiles.pop_front();
    return true;
}

void TSVThumbsThread::Execute() {
    {
        TVistrelProc proc(nullptr);
        TVistrelIO io(nullptr);
        String path;
        while (!Terminated() && NextFile(path)) {
            std::unique_ptr<TVLBitmap> bitmap;
            // A picture that cannot be made (no memory for its pixels, say) keeps the loading
            // text; the decoder goes on and always reports that it finished.
            try {
                bitmap = MakeThumbnail(io, proc, path);
            } catch (const std::exception&) {
                bitmap.reset();
            }
            if (Terminated()) break;
            FCurrentPath = path;
            FBitmap = std::move(bitmap);
            Synchronize([this] { DoThumbnail(); });
            FBitmap.reset();
        }
    }
    FCurrentPath.clear();
    FBitmap.reset();
    Synchronize([this] { DoFinished(); });
}

void TSVThumbsThread::DoThumbnail() {
    if (OnThumbnail) OnThumbnail(this, FCurrentPath, FBitmap);
}

void TSVThumbsThread::DoFinished() {
    if (OnFinished) OnFinished(this);
}

bool ThumbnailMatches(const String& Path, const String& Text, const TStringList& Captions) {
    if (Text.empty()) return false;
    const String name = FileNameOf(Path);
    if (StrStrIW(name.c_str(), Text.c_str()) != nullptr) return true;
    const int32_t line = Captions.IndexOfName(name);
    return line >= 0 && Captions[line].find(Text) != String::npos;
}

TSVThumbnailList::~TSVThumbnailList() {
    StopDecoder();
}

void TSVThumbnailList::FillThumbnails(const std::vector<String>& Paths) {
    StopDecoder();
    ClearThumbnails();
    FItems.reserve(Paths.size());
    for (const String& path : Paths) {
        auto item = std::make_unique<TSVThumbItem>();
        item->Path = path;
        FItems.push_back(std::move(item));
    }
    FDecoder = std::make_unique<TSVThumbsThread>(Paths);
    FDecoderFinished = false;
    FDecoder->OnThumbnail = [this](TObject*, const String& Path,
                                   std::unique_ptr<TVLBitmap>& Bitmap) {
        ThumbnailReady(Path, Bitmap);
    };
    FDecoder->OnFinished = [this](TObject*) {
        FDecoderFinished = true;
        if (OnFinished) OnFinished();
    };
    FDecoder->Start();
}

void TSVThumbnailList::ClearThumbnails() {
    FItems.clear();
    FHint = 0;
}

void TSVThumbnailList::DeleteThumbnail(int32_t Index) {
    if (Index < 0 || Index >= Count()) return;
    if (FDecoder != nullptr) FDecoder->RemoveFile(FItems[static_cast<size_t>(Index)]->Path);
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TSVThumbnailList::StopDecoder() {
    if (FDecoder == nullptr) return;
    FDecoder->OnThumbnail = nullptr;
    FDecoder->OnFinished = nullptr;
    FDecoder->Terminate();
    FDecoder->WaitFor();
    FDecoder.reset();
}

void TSVThumbnailList::TerminateDecoder() {
    if (FDecoder != nullptr) FDecoder->Terminate();
}

void TSVThumbnailList::Search(const String& Text, const TStringList& Captions) {
    for (auto& item : FItems)
        item->Matched = ThumbnailMatches(item->Path, Text, Captions);
    Changed();
}

int32_t TSVThumbnailList::IndexOfPath(const String& Path) const {
    const size_t count = FItems.size();
    for (size_t n = 0; n < count; ++n) {
        const size_t i = (FHint + n) % count;
        if (FItems[i]->Path == Path) return static_cast<int32_t>(i);
    }
    return -1;
}

void TSVThumbnailList::ThumbnailReady(const String& Path, std::unique_ptr<TVLBitmap>& Bitmap) {
    const int32_t index = IndexOfPath(Path);
    if (index < 0) return;
    FHint = static_cast<size_t>(index) + 1;
    if (Bitmap) FItems[static_cast<size_t>(index)]->Bitmap = std::move(Bitmap);
    Changed();
}

void TSVThumbnailList::Changed() {
    if (OnChanged) OnChanged();
}

std::unique_ptr<TVLBitmap> LoadGlow(const String& FileName) {
    auto glow = std::make_unique<TVLBitmap>();
    glow->SetLocation(TVLLocation::vlMemory);
    TVistrelIO io(nullptr);
    io.SetTargetBitmap(glow.get());
    try {
        io.LoadFromFilePNG(FileName);
    } catch (const Exception&) {
        io.AbortingFlag = true;
    }
    io.SetTargetBitmap(nullptr);
    if (io.AbortingFlag) glow->FreeImage(true);
    return glow;
}

bool GlowSourceRect(TVLBitmap& Glow, TRect& Rect) {
    if (Glow.IsEmpty()) return false;
    constexpr int32_t GlowArea = 100;
    Rect = TRect{0, 0, std::min(GlowArea, Glow.GetWidth()), std::min(GlowArea, Glow.GetHeight())};
    return true;
}
