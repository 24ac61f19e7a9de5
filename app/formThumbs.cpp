// The thumbnail strip window, the thumbnail decoder, the strip's items and its search.
#include "app/formThumbs.h"

#include "app/SVLangManager.h"
#include "components/SVPngButton.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/proc/VistrelProc.h"
#include "platform/gfx/PngImage.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/WinApi.h"

#include <algorithm>
#include <cstdio>

TfThumbnails* fThumbnails = nullptr;

namespace {

// The picture's size as the JPEG reader is asked for it: twice the thumbnail on both sides, so
// the reduced decode keeps enough pixels whichever side turns out the longer.
constexpr int32_t ReducedDecodeSize = 2 * ThumbnailSize;

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
    const String name = ExtractFileName(Path);
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
    TSVThumbItem& item = *FItems[static_cast<size_t>(index)];
    if (Bitmap)
        item.Bitmap = std::move(Bitmap);
    else
        item.Unreadable = true;
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

// ---- TfThumbnails --------------------------------------------------------------------------

namespace {

// Margin of the glow around a thumbnail, and the opacities of thumbnails not selected.
constexpr int32_t GlowMargin = 7;
constexpr int32_t PlainOpacity = 150;
constexpr int32_t MatchedOpacity = 200;

void SetFont(TFont* Font, TColor Color) {
    Font->SetName(u"Tahoma");
    Font->SetHeight(-11);
    Font->SetColor(Color);
}

} // namespace

TfThumbnails::TfThumbnails(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetClientSize(140, 593);
    SetColor(0x383838);
    SetPadding({1, 0, 0, 0});
    OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
    CreateTopPanel();
    lThumbs = new TListBox(this);
    lThumbs->SetName(u"lThumbs");
    lThumbs->SetAlign(alClient);
    lThumbs->SetStyle(lbOwnerDrawFixed);
    lThumbs->SetBorderStyle(bsNone);
    lThumbs->SetColor(clBlack);
    SetFont(lThumbs->Font(), 0x232323);
    lThumbs->SetItemHeight(100);
    lThumbs->OnClick = [this](TObject* Sender) { lThumbsClick(Sender); };
    lThumbs->OnDrawItem = [this](TWinControl* Control, int32_t Index, const TRect& Rect,
                                 TOwnerDrawState State) {
        lThumbsDrawItem(Control, Index, Rect, State);
    };
    lThumbs->SetParent(this);
    Thumbs.OnChanged = [this] { lThumbs->Invalidate(); };
    LoadSkin(IncludeTrailingPathDelimiter(ExtractFilePath(GetModuleFileNameW())) + u"skin/");
}

void TfThumbnails::CreateTopPanel() {
    pTop = new TPanel(this);
    pTop->SetName(u"pTop");
    pTop->SetAlign(alTop);
    pTop->SetHeight(23);
    pTop->SetBevelOuter(bvNone);
    pTop->SetColor(clBlack);
    pTop->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X,
                               int32_t Y) { pTopMouseDown(Sender, Button, Shift, X, Y); };
    pTop->SetParent(this);

    btnClose = new TSVPngButton(this);
    btnClose->SetName(u"btnClose");
    btnClose->Hint = u"Close";
    btnClose->SetAutoSize(false);
    btnClose->SetBounds(120, 1, 17, 17);
    btnClose->SetNumImages(3);
    btnClose->SetLayout(btlRight);
    btnClose->OnClick = [this](TObject* Sender) { btnCloseClick(Sender); };
    btnClose->SetParent(pTop);

    ImageList1 = new TImageList(this);
    ImageList1->SetName(u"ImageList1");
    eSearch = new TButtonedEdit(this);
    eSearch->SetName(u"eSearch");
    eSearch->SetBounds(4, 1, 110, 16);
    eSearch->SetColor(0x202020);
    SetFont(eSearch->Font(), 0x7D7D7D);
    eSearch->SetImages(ImageList1);
    eSearch->RightButton()->ImageIndex = 0;
    eSearch->RightButton()->HotImageIndex = 1;
    eSearch->RightButton()->PressedImageIndex = 2;
    eSearch->OnChange = [this](TObject* Sender) { eSearchChange(Sender); };
    eSearch->OnRightButtonClick = [this](TObject* Sender) { eSearchRightButtonClick(Sender); };
    eSearch->SetParent(pTop);
}

// The close button's strip, the clear button's images and the glow. A skin picture that is
// missing or broken leaves its button blank or the glow out: the strip works without its skin.
void TfThumbnails::LoadSkin(const String& SkinFolder) {
    const struct {
        const char16_t* File;
        std::function<void(const TPngImage&)> Use;
    } pictures[] = {
        {u"btnclose.png", [this](const TPngImage& Png) { btnClose->SetImage(Png); }},
        {u"searchclear.png", [this](const TPngImage& Png) { ImageList1->Add(Png); }},
    };
    for (const auto& picture : pictures) {
        TPngImage png;
        try {
            png.LoadFromFile(SkinFolder + picture.File);
            picture.Use(png);
        } catch (const Exception& E) {
            std::fprintf(stderr, "%s\n", Utf8FromStr(E.Message()).c_str());
        }
    }
    Glow = LoadGlow(SkinFolder + u"glow.png");
}

TfThumbnails::~TfThumbnails() {
    if (fThumbnails == this) fThumbnails = nullptr;
    // FormDestroy: the decoder stops (waiting for it) before the items go.
    Thumbs.OnChanged = nullptr;
    Thumbs.StopDecoder();
    Thumbs.ClearThumbnails();
}

void TfThumbnails::FillThumbnails(HWND MainWindowHandle, const TStringList& Paths) {
    MainWindow = MainWindowHandle;
    lThumbs->Items()->BeginUpdate();
    lThumbs->Items()->Assign(Paths);
    Thumbs.FillThumbnails(Paths.Strings());
    lThumbs->Items()->EndUpdate();
}

void TfThumbnails::ClearThumbnails() {
    Thumbs.ClearThumbnails();
    lThumbs->Items()->Clear();
}

void TfThumbnails::DeleteThumbnail(int32_t Index) {
    if (Index < 0 || Index >= Thumbs.Count()) return;
    Thumbs.DeleteThumbnail(Index);
    lThumbs->Items()->Delete(Index);
}

void TfThumbnails::lThumbsDrawItem(TWinControl*, int32_t Index, const TRect& Rect,
                                   TOwnerDrawState State) {
    TCanvas* canvas = lThumbs->Canvas();
    const TColor brush = canvas->Brush()->Color();
    const TColor pen = canvas->Pen()->Color();
    const bool selected = (State & odSelected) != 0;
    canvas->Brush()->SetColor(selected ? TColor{0x454545} : lThumbs->Color());
    canvas->FillRect(Rect);
    if (Index >= 0 && Index < Thumbs.Count()) {
        if (selected) {
            canvas->Pen()->SetColor(0x666666);
            canvas->MoveTo(Rect.Left, Rect.Top);
            canvas->LineTo(Rect.Right, Rect.Top);
            canvas->MoveTo(Rect.Left, Rect.Bottom - 1);
            canvas->LineTo(Rect.Right, Rect.Bottom - 1);
        }
        DrawThumbnail(canvas, Thumbs.Item(Index), Rect, selected);
    }
    canvas->Brush()->SetColor(brush);
    canvas->Pen()->SetColor(pen);
    if ((State & odFocused) != 0) canvas->DrawFocusRect(Rect);
}

void TfThumbnails::DrawThumbnail(TCanvas* Canvas, TSVThumbItem& Item, const TRect& Rect,
                                 bool Selected) {
    const int32_t width = Rect.Right - Rect.Left;
    const int32_t height = Rect.Bottom - Rect.Top;
    if (!Item.Bitmap) {
        const String text = LangStr(Item.Unreadable ? u"SVSTR_CANNOTREAD" : u"SVSTR_LOADING");
        const TSize extent = Canvas->TextExtent(text);
        Canvas->TextOut(Rect.Left + (width - extent.cx) / 2, Rect.Top + (height - extent.cy) / 2,
                        text);
        return;
    }
    TVLBitmap& thumb = *Item.Bitmap;
    const int32_t w = thumb.GetWidth();
    const int32_t h = thumb.GetHeight();
    const int32_t x = Rect.Left + (width - w) / 2;
    const int32_t y = Rect.Top + (height - h) / 2;
    int32_t opacity = PlainOpacity;
    TRect glow;
    if (Item.Matched) {
        if (GlowSourceRect(*Glow, glow))
            Glow->RenderRectToCanvas(*Canvas, x - GlowMargin, y - GlowMargin, w + 2 * GlowMargin,
                                     h + 2 * GlowMargin, glow.Left, glow.Top,
                                     glow.Right - glow.Left, glow.Bottom - glow.Top, 255,
                                     rfFastLinear, vlroCopy);
        opacity = MatchedOpacity;
    }
    if (Selected)
        thumb.RenderToCanvasUnscaled(Canvas, x, y);
    else
        thumb.RenderRectToCanvas(*Canvas, x, y, w, h, 0, 0, w, h, opacity, rfNone, vlroCopy);
}

void TfThumbnails::lThumbsClick(TObject*) {
    const int32_t index = lThumbs->ItemIndex();
    if (index >= 0) SendMessage(MainWindow, WM_SHOWINDEX, static_cast<WPARAM>(index), 0);
}

void TfThumbnails::pTopMouseDown(TObject*, TMouseButton, TShiftState, int32_t, int32_t) {
    ReleaseCapture();
    SendMessage(Handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void TfThumbnails::btnCloseClick(TObject*) {
    Close();
}

void TfThumbnails::FormClose(TObject*, TCloseAction&) {
    // The thumbnails still missing are not needed while the strip is closed; showing it again
    // refills it.
    Thumbs.TerminateDecoder();
}

void TfThumbnails::eSearchChange(TObject*) {
    const String text = eSearch->Text();
    eSearch->RightButton()->SetVisible(!text.empty());
    Thumbs.Search(text, Captions);
}

void TfThumbnails::eSearchRightButtonClick(TObject*) {
    eSearch->SetText(u"");
}
