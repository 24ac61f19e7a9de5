// The processing component: attachments and ownership, format preparation, the operation frame,
// its events, and the undo and redo stacks.
#include "imaging/proc/VistrelProc.h"

#include "ProcTestSupport.h"
#include "imaging/core/VLMask.h"
#include "imaging/proc/VLWholeImage.h"
#include "imaging/view/VistrelView.h"
#include "platform/ui/ExtCtrls.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using enum TVLPixelFormat;

namespace {

std::unique_ptr<TVistrelView> MakeView(int32_t W, int32_t H) {
    auto view = std::make_unique<TVistrelView>(nullptr);
    view->OffScreenDrawing = true;
    view->SetBounds(0, 0, 60, 40);
    view->GetVLBitmap()->Allocate(W, H, vl24RGB);
    FillPattern(*view->GetVLBitmap(), 1);
    view->Update();
    return view;
}

// A view that offers only a class-library bitmap, or a bitmap of the library, or nothing.
class TLegacyView : public TVLView {
public:
    TLegacyView() : TVLView(nullptr) {}
    TVLBitmap* GetAlphaChannel() override { return nullptr; }
    bool HasAlphaChannel() override { return false; }
    void RemoveAlphaChannel(bool) override {}
    void LockPaint() override {}
    int32_t UnlockPaint() override { return 0; }
    int32_t UnlockPaintNoRefresh() override { return 0; }
    TBitmap* GetTBitmap() override { return Legacy; }
    TVLBitmap* GetVLBitmap() override { return Current; }
    TBitmap* Legacy = nullptr;
    TVLBitmap* Current = nullptr;
};

std::unique_ptr<TBitmap> MakeTBitmap(int32_t W, int32_t H) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(W, H);
    return b;
}

// Only the rectangle (10, 10) - (19, 29) is selected.
class TSelectingProc : public TVistrelProc {
public:
    TSelectingProc() : TVistrelProc(nullptr) {}
    bool GetSelectionInfo(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, TVLMask*& Mask,
                          const TPoint*& Points, int32_t& PointCount) override {
        TVistrelProc::GetSelectionInfo(X1, Y1, X2, Y2, Mask, Points, PointCount);
        Mask = &Selection;
        X1 = Selection.X1;
        Y1 = Selection.Y1;
        X2 = Selection.X2 + 1;
        Y2 = Selection.Y2 + 1;
        return true;
    }
    TVLMask Selection;
};

int32_t OpenFileCount() {
    int32_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

} // namespace

// ---- Creation and properties ----

TEST(ProcComponent, CreationDefaults) {
    TComponent owner(nullptr);
    auto* owned = new TVistrelProc(&owner);
    TVistrelProc free(nullptr);
    EXPECT_TRUE(owned->AutoUndo);
    EXPECT_FALSE(free.AutoUndo);
    EXPECT_EQ(free.UndoLimit(), 1);
    EXPECT_TRUE(free.AutoConvertFormat);
    EXPECT_TRUE(free.OwnsImage());
    EXPECT_TRUE(free.Image()->IsEmpty());
    EXPECT_EQ(free.GetPreviewsParams(),
              PreviewsParamBit(prppShowResetButton) | PreviewsParamBit(prppHardReset));
    EXPECT_EQ(free.GetBackground(), 0);
}

TEST(ProcComponent, DialogParamsResetEmptiesTheSavedSettings) {
    TIPDialogParams params;
    params.SetSelection(2, 17);
    params.SavedSettings().Write("abc", 3);
    params.Values[4] = 9;
    params.Reset();
    EXPECT_EQ(params.SavedSettings().GetSize(), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(params.Selection(i), -1);
    EXPECT_EQ(params.Values[4], 0);
    EXPECT_EQ(params.Kernel[1][1], 1);
    EXPECT_EQ(params.Gamma, 1.7);
    params.SavedSettings().Write("abc", 3);
    params.SetSelection(0, 5);
    EXPECT_EQ(params.SavedSettings().GetSize(), 0);
}

TEST(ProcComponent, BackgroundIsTheViewsWhileAttached) {
    auto view = MakeView(4, 4);
    TVistrelProc proc(nullptr);
    proc.SetBackground(0x123456);
    EXPECT_EQ(proc.GetBackground(), 0x123456);
    proc.SetAttachedVistrel(view.get());
    proc.SetBackground(0x00FF00);
    EXPECT_EQ(view->Background(), 0x00FF00);
    EXPECT_EQ(proc.GetBackground(), 0x00FF00);
    proc.SetAttachedVistrel(nullptr);
    EXPECT_EQ(proc.GetBackground(), 0x123456);
}

// ---- Pixel formats ----

TEST(ProcFormats, PreferenceRowsAndFallBack) {
    struct TCase {
        TVLPixelFormat Current;
        unsigned Allowed;
        TVLPixelFormat Expected;
    };
    const auto bit = [](TVLPixelFormat F) { return static_cast<unsigned>(PixelFormatBit(F)); };
    const TCase cases[] = {
        {vl8g, bit(vl24RGB), vl24RGB},
        {vl24RGB, bit(vl1g), vl1g}, // no row entry: the fall-back scan
        {vl24RGB, bit(vl8g) | bit(vlCIELab), vlCIELab},
        {vl1g, bit(vl24RGB) | bit(vl32f), vl32f},
        {vl16g, bit(vl24RGB) | bit(vl8g), vl8g},
        {vl32f, bit(vl24RGB) | bit(vlRGB48), vl24RGB},
        {vlCMYK, bit(vl8g) | bit(vlCIELab), vlCIELab},
        {vlRGB48, bit(vl16g) | bit(vl8p), vl16g},
        {vl32RGB, bit(vl8g), vl8g},
        {vl8p, bit(vl8g), vl8g},             // fall-back scan from code 10 down
        {vl8p, bit(vl8p) | bit(vl1g), vl8p}, // already allowed
        {vl24RGB, AnyPixelFormat, vl24RGB},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Current));
        EXPECT_EQ(PreferredPixelFormat(c.Current, static_cast<TVLPixelFormatSet>(c.Allowed)),
                  c.Expected);
    }
}

TEST(ProcFormats, ConvertToAllowedFormatConvertsEveryFormat) {
    const TVLPixelFormatSet allowed = PixelFormatBit(vl24RGB) | PixelFormatBit(vl8g);
    const TVLPixelFormat expected[] = {vlNone, vl8g,    vl24RGB, vl8g,    vl8g,   vl24RGB,
                                       vl8g,   vl24RGB, vl24RGB, vl24RGB, vl24RGB};
    for (int code = 1; code < VLPixelFormatCount; ++code) {
        const auto format = static_cast<TVLPixelFormat>(code);
        SCOPED_TRACE(code);
        TVLBitmap image;
        MakePicture(image, 5, 3, format, 3);
        TVistrelProc proc(nullptr);
        proc.SetAttachedBitmap(&image);
        EXPECT_TRUE(proc.ConvertToAllowedFormat(allowed));
        EXPECT_EQ(image.GetPixelFormat(), expected[code]);
        EXPECT_EQ(image.GetWidth(), 5);
    }
}

TEST(ProcFormats, WithoutAutoConvertAnOperationDoesNothingAtAll) {
    TVLBitmap image;
    MakePicture(image, 8, 6, vl16g, 2);
    const std::string before = Pixels(image);
    TComponent owner(nullptr);
    auto* proc = new TVistrelProc(&owner);
    proc->SetAttachedBitmap(&image);
    TEventLog log;
    log.Attach(*proc);
    proc->AutoConvertFormat = false;
    EXPECT_FALSE(proc->ConvertToAllowedFormat(PixelFormatBit(vl24RGB)));
    proc->Resample(4, 3, rfLanczos3);
    EXPECT_EQ(image.GetPixelFormat(), vl16g);
    EXPECT_EQ(Pixels(image), before);
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_TRUE(log.Events.empty());
}

// ---- Attachments ----

TEST(ProcAttachment, FollowsTheViewsCurrentLayerAndForgetsADestroyedView) {
    auto view = MakeView(6, 4);
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    EXPECT_EQ(proc.Image(), view->GetVLBitmap());
    EXPECT_FALSE(proc.OwnsImage());
    view->AddLayer();
    EXPECT_EQ(proc.Image(), view->GetLayer(1)->Bitmap());
    view->SetCurrentLayer(0);
    EXPECT_EQ(proc.Image(), view->GetLayer(0)->Bitmap());
    view.reset();
    EXPECT_EQ(proc.AttachedVistrel(), nullptr);
    EXPECT_EQ(proc.Image(), nullptr);
    TEventLog log;
    log.Attach(proc);
    proc.Clear();
    proc.Rotate(90, false, 0, -1);
    proc.Undo(false);
    EXPECT_TRUE(log.Events.empty());
}

TEST(ProcAttachment, LegacyBitmapsAreWrappedAndRewrappedOnEveryChange) {
    auto first = MakeTBitmap(7, 5);
    auto second = MakeTBitmap(3, 9);
    TLegacyView viewA, viewB;
    viewA.Legacy = first.get();
    viewB.Legacy = second.get();
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(&viewA);
    ASSERT_TRUE(proc.OwnsImage());
    EXPECT_EQ(proc.Image()->GetWidth(), 7);
    // Re-attaching frees the first wrapper (ASan reports a leak otherwise).
    proc.SetAttachedVistrel(&viewB);
    ASSERT_TRUE(proc.OwnsImage());
    EXPECT_EQ(proc.Image()->GetHeight(), 9);
    // The view now offers a bitmap of the library: the wrapper goes, the bitmap is used as is.
    TVLBitmap own;
    MakePicture(own, 4, 4, vl24RGB, 5);
    viewB.Current = &own;
    viewB.CallBitmapChangeEvents();
    EXPECT_EQ(proc.Image(), &own);
    EXPECT_FALSE(proc.OwnsImage());
    // And back to a class-library bitmap only.
    viewB.Current = nullptr;
    viewB.CallBitmapChangeEvents();
    ASSERT_TRUE(proc.OwnsImage());
    EXPECT_EQ(proc.Image()->GetWidth(), 3);
    // Nothing at all: no image.
    viewB.Legacy = nullptr;
    viewB.CallBitmapChangeEvents();
    EXPECT_EQ(proc.Image(), nullptr);
    // The wrapper drops an alpha channel after a change: a class-library bitmap cannot hold it.
    viewB.Legacy = first.get();
    viewB.CallBitmapChangeEvents();
    proc.Image()->GetAlphaChannel();
    proc.Clear();
    EXPECT_FALSE(proc.Image()->HasAlphaChannel());
    // The owner may resize the class-library bitmap: the next operation sees the new size.
    first->SetSize(11, 2);
    proc.Clear();
    EXPECT_EQ(proc.Image()->GetWidth(), 11);
}

TEST(ProcAttachment, CallerBitmapsAndDetachment) {
    auto view = MakeView(6, 4);
    TVLBitmap mine;
    MakePicture(mine, 3, 3, vl24RGB, 4);
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    proc.SetAttachedBitmap(nullptr); // a view is attached: nothing changes
    EXPECT_EQ(proc.AttachedVistrel(), view.get());
    proc.SetAttachedBitmap(&mine);
    EXPECT_EQ(proc.AttachedVistrel(), nullptr);
    EXPECT_EQ(proc.Image(), &mine);
    view->AddLayer(); // no longer followed
    EXPECT_EQ(proc.Image(), &mine);
    proc.SetAttachedBitmap(nullptr);
    EXPECT_EQ(proc.Image(), nullptr);
    proc.SetAttachedVistrel(nullptr);
    ASSERT_NE(proc.Image(), nullptr);
    EXPECT_TRUE(proc.OwnsImage());
}

TEST(ProcAttachment, AComponentFreedFirstLeavesTheViewIntact) {
    auto view = MakeView(6, 4);
    {
        TVistrelProc proc(nullptr);
        proc.SetAttachedVistrel(view.get());
    }
    view->AddLayer(); // calls the change handlers: the freed component is no longer among them
    SUCCEED();
}

TEST(ProcAttachment, TheViewsOwnComponent) {
    auto view = MakeView(6, 4);
    std::vector<std::string> seen;
    view->SetOnFinishWork([&](TObject*) { seen.push_back("finish"); });
    view->OnSaveUndo = [&](TObject*, TVLUndoSource) { seen.push_back("undo"); };
    TVistrelProc* proc = view->GetProc();
    EXPECT_EQ(view->GetProc(), proc);
    EXPECT_EQ(proc->Owner(), view.get());
    EXPECT_EQ(proc->AttachedVistrel(), view.get());
    EXPECT_TRUE(proc->AutoUndo);
    proc->Clear();
    EXPECT_EQ(seen, (std::vector<std::string>{"undo", "finish"}));
    delete proc; // the view forgets it and makes a new one on demand
    EXPECT_NE(view->GetProc(), nullptr);
    view.reset(); // frees its component (ASan checks)
}

TEST(ProcAttachment, ImageControlsWorkOnTheirPictureBitmap) {
    auto control = std::make_unique<TImage>(nullptr);
    TBitmap* picture = control->Picture()->Bitmap();
    picture->SetPixelFormat(pf24bit);
    picture->SetSize(9, 6);
    int32_t changes = 0;
    control->Picture()->OnChange = [&](TObject*) { ++changes; };
    auto view = MakeView(8, 5);
    const std::string viewPixels = Pixels(*view->GetVLBitmap());
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    // Switching from a view to a control leaves the view's pixels alone.
    proc.SetAttachedTImage(control.get());
    EXPECT_EQ(proc.AttachedVistrel(), nullptr);
    EXPECT_EQ(proc.AttachedTImage(), control.get());
    ASSERT_TRUE(proc.OwnsImage());
    EXPECT_EQ(Pixels(*view->GetVLBitmap()), viewPixels);
    view->AddLayer(); // no longer followed
    proc.SetBackground(0x0000FF);
    proc.Clear();
    EXPECT_EQ(picture->Canvas()->Pixels(8, 5), 0x0000FF);
    EXPECT_GE(changes, 1);
    // The control's owner resizes the bitmap: the next operation sees it.
    picture->SetSize(4, 3);
    proc.Rotate(90, false, 0, -1);
    EXPECT_EQ(picture->Width(), 3);
    EXPECT_EQ(picture->Height(), 4);
    // The control goes first: the component forgets it and its bitmap.
    control.reset();
    EXPECT_EQ(proc.AttachedTImage(), nullptr);
    ASSERT_NE(proc.Image(), nullptr);
    EXPECT_TRUE(proc.Image()->IsEmpty());
    proc.Clear();

    auto other = std::make_unique<TImage>(nullptr);
    other->Picture()->Bitmap()->SetPixelFormat(pf24bit);
    other->Picture()->Bitmap()->SetSize(3, 3);
    proc.SetAttachedTImage(other.get());
    proc.SetAttachedBitmap(nullptr); // a control is attached: nothing changes
    EXPECT_EQ(proc.AttachedTImage(), other.get());
    proc.SetAttachedTImage(nullptr);
    EXPECT_EQ(proc.AttachedTImage(), nullptr);
    EXPECT_TRUE(proc.Image()->IsEmpty());
    EXPECT_EQ(other->Picture()->Bitmap()->Width(), 3);
}

// ---- Frame and events ----

TEST(ProcFrame, DoFinishWorkFiresProgressFirst) {
    TVistrelProc proc(nullptr);
    std::vector<std::string> events;
    proc.OnFinishWork = [&](TObject* Sender) {
        EXPECT_EQ(Sender, &proc);
        events.push_back("finish");
    };
    proc.DoFinishWork();
    EXPECT_EQ(events, (std::vector<std::string>{"finish"}));
    events.clear();
    proc.OnProgress = [&](TObject*, int32_t P) { events.push_back("p:" + std::to_string(P)); };
    proc.DoFinishWork();
    EXPECT_EQ(events, (std::vector<std::string>{"p:100", "finish"}));
}

TEST(ProcFrame, SelectionWorkCopyReturnsOnlyMaskedPixels) {
    TVLBitmap image;
    ASSERT_TRUE(image.Allocate(40, 40, vl24RGB));
    image.Fill(0);
    TSelectingProc proc;
    proc.SetAttachedBitmap(&image);
    ASSERT_TRUE(proc.Selection.AllocateBits(40, 40, 1));
    for (int32_t y = 10; y <= 29; ++y)
        for (int32_t x = 10; x <= 19; ++x)
            if ((x + y) % 2 == 0) proc.Selection.SetPixel(x, y, 1);
    proc.Selection.SetPixel(19, 29, 1);
    int32_t x1, y1, x2, y2;
    TVLBitmap* work = nullptr;
    TVLMask* mask = nullptr;
    ASSERT_TRUE(proc.BeginOperation(AnyPixelFormat, x1, y1, x2, y2, u"Fill", work, mask));
    ASSERT_NE(work, &image);
    EXPECT_EQ(work->GetWidth(), 10);
    EXPECT_EQ(work->GetHeight(), 20);
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 0);
    EXPECT_EQ(x2, 10);
    EXPECT_EQ(y2, 20);
    work->Fill(0xFFFFFF);
    proc.EndOperation(work, mask);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 40; ++x) {
            const bool selected = proc.Selection.GetPixel(x, y) != 0;
            EXPECT_EQ(image.GetPixelRGB(x, y).r, selected ? 255 : 0) << x << "," << y;
        }
}

TEST(ProcFrame, AViewWithoutSelectionHandsOutTheImage) {
    auto view = MakeView(8, 5);
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    int32_t x1, y1, x2, y2;
    TVLBitmap* work = nullptr;
    TVLMask* mask = nullptr;
    ASSERT_TRUE(proc.BeginOperation(AnyPixelFormat, x1, y1, x2, y2, u"", work, mask));
    EXPECT_EQ(work, view->GetVLBitmap());
    EXPECT_EQ(x2, 8);
    EXPECT_EQ(y2, 5);
    proc.EndOperation(work, mask);
}

// ---- Undo and redo ----

TEST(ProcUndo, LimitKeepsTheNewestEntries) {
    TVLBitmap image;
    MakePicture(image, 6, 4, vl24RGB, 1);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    proc.SaveUndo(vluImage);
    FillPattern(image, 2);
    const std::string second = Pixels(image);
    proc.SaveUndo(vluImage);
    EXPECT_EQ(proc.GetUndoCount(), 1);
    FillPattern(image, 3);
    proc.Undo(false);
    EXPECT_EQ(Pixels(image), second);

    proc.SetUndoLimit(3);
    proc.SaveUndo(vluImage);
    proc.SaveUndo(vluImage);
    EXPECT_EQ(proc.GetUndoCount(), 3);
    proc.SetUndoLimit(1);
    EXPECT_EQ(proc.GetUndoCount(), 3);
    proc.SaveUndo(vluImage);
    EXPECT_EQ(proc.GetUndoCount(), 1);
    proc.SetUndoLimit(0);
    proc.SaveUndoCaptioned(u"x", vluImage);
    EXPECT_EQ(proc.GetUndoCount(), 1);
    EXPECT_EQ(proc.GetUndoCaption(0), u"");
}

TEST(ProcUndo, RestoresTwiceAndRedoesTheStateBeforeTheUndo) {
    TVLBitmap image;
    MakePicture(image, 9, 7, vl24RGB, 1, true);
    const std::string original = Pixels(image);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    proc.SetUndoLimit(5);
    proc.SaveUndoCaptioned(u"first", vluImage);
    FillPattern(image, 8);
    FillPattern(*image.GetAlphaChannel(), 9);
    const std::string edited = Pixels(image);
    proc.Undo(false);
    EXPECT_EQ(Pixels(image), original);
    FillPattern(image, 10);
    proc.Undo(false);
    EXPECT_EQ(Pixels(image), original);
    EXPECT_EQ(proc.GetUndoCount(), 1);
    EXPECT_EQ(proc.GetUndoCaption(0), u"first");

    FillPattern(image, 8);
    FillPattern(*image.GetAlphaChannel(), 9);
    proc.Undo(true);
    EXPECT_EQ(Pixels(image), original);
    EXPECT_EQ(proc.GetRedoCount(), 1);
    proc.Redo();
    EXPECT_EQ(Pixels(image), edited);
    proc.DiscardRedo();
    EXPECT_EQ(proc.GetRedoCount(), 0);
    proc.DiscardRedo();
}

TEST(ProcUndo, IndexesCountFromBothEnds) {
    TVLBitmap image;
    MakePicture(image, 4, 4, vl8g, 1);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    proc.SetUndoLimit(4);
    std::vector<std::string> states;
    for (uint32_t s = 0; s < 3; ++s) {
        FillPattern(image, 20 + s);
        states.push_back(Pixels(image));
        proc.SaveUndo(vluImage);
    }
    EXPECT_EQ(proc.GetUndoSource(0), vluImage);
    EXPECT_EQ(proc.GetUndoSource(3), vluUnknown);
    proc.UndoAt(0, false);
    EXPECT_EQ(Pixels(image), states[2]);
    proc.UndoAt(2, false);
    EXPECT_EQ(Pixels(image), states[0]);
    proc.UndoAt(3, false); // out of range: nothing
    EXPECT_EQ(Pixels(image), states[0]);
    proc.RemoveUndo(5);
    EXPECT_EQ(proc.GetUndoCount(), 3);
    proc.RemoveUndo(0); // the newest
    proc.UndoAt(0, false);
    EXPECT_EQ(Pixels(image), states[1]);
    proc.ClearUndo();
    EXPECT_EQ(proc.GetUndoCount(), 0);
}

TEST(ProcUndo, SavesThatAddNothingDropNothingAndTinyImagesFireNothing) {
    TVLBitmap image;
    MakePicture(image, 4, 4, vl24RGB, 1);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    TEventLog log;
    log.Attach(proc);
    proc.SaveUndo(vluImage);
    proc.SaveUndo(vluSelection); // no view: no entry, the event still fires
    proc.SaveUndo(vluObject);
    proc.SaveUndo(vluLayer);
    EXPECT_EQ(proc.GetUndoCount(), 1); // the image entry was not pushed out (limit 1)
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:1", "undo:2", "undo:3", "undo:4"}));

    TVLBitmap tiny;
    MakePicture(tiny, 1, 1, vl24RGB, 1);
    proc.SetAttachedBitmap(&tiny);
    log.Events.clear();
    proc.SaveUndoCaptioned(u"tiny", vluImage);
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(proc.GetUndoCount(), 1);
}

// Everything the view keeps of its selection: points, polygon box, flag, mask box and bits.
struct TSelectionState {
    std::vector<TPoint> Points;
    TRect PolygonBox, MaskBox;
    bool Selected = false;
    std::string MaskBits;
    bool operator==(const TSelectionState&) const = default;
};

TSelectionState SelectionOf(TVistrelView& View) {
    TSelectionState s;
    s.Points.assign(View.GetSelectionPoints(),
                    View.GetSelectionPoints() + View.GetSelectionPointCount());
    const TVLSelectionPolygon& p = View.SelectionPolygon();
    if (!s.Points.empty()) s.PolygonBox = TRect(p.X1, p.Y1, p.X2, p.Y2);
    TVLMask& m = View.SelectionMask();
    s.MaskBox = TRect(m.X1, m.Y1, m.X2, m.Y2);
    s.Selected = View.Selected();
    for (int32_t y = 0; y < m.GetHeight(); ++y)
        for (int32_t x = 0; x < m.GetWidth(); ++x)
            s.MaskBits.push_back(m.GetPixel(x, y) != 0 ? '1' : '0');
    return s;
}

TEST(ProcUndo, SelectionEntriesGiveTheViewItsSelectionBack) {
    auto view = MakeView(40, 30);
    view->SelectionBase = vlsbBitmap;
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    TEventLog log;
    log.Attach(proc);

    view->Select(5, 4, 21, 15, vlsmReplace);
    const TSelectionState first = SelectionOf(*view);
    ASSERT_EQ(first.Points.size(), 4u);
    proc.SaveUndo(vluSelection);
    ASSERT_EQ(proc.GetUndoCount(), 1);
    EXPECT_EQ(proc.GetUndoSource(0), vluSelection);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"undo:2"}));

    view->Select(12, 10, 37, 28, vlsmReplace);
    view->Select(1, 20, 6, 29, vlsmAdd);
    const TSelectionState second = SelectionOf(*view);
    ASSERT_NE(second, first);

    proc.Undo(true);
    EXPECT_EQ(SelectionOf(*view), first);
    EXPECT_EQ(proc.GetRedoCount(), 1);
    proc.Redo();
    EXPECT_EQ(SelectionOf(*view), second);
    // The entry stays: undoing again, even after the selection was dropped, restores it again.
    view->ClearSelection();
    proc.Undo(false);
    EXPECT_EQ(SelectionOf(*view), first);

    // An entry of no selection clears the selection it is restored into.
    view->ClearSelection();
    const TSelectionState none = SelectionOf(*view);
    proc.SaveUndo(vluSelection);
    view->Select(2, 2, 9, 9, vlsmReplace);
    proc.Undo(false);
    EXPECT_EQ(SelectionOf(*view), none);
    EXPECT_FALSE(view->Selected());
}

TEST(ProcUndo, PicturesOfOnePixelAcrossGiveNoImageEntry) {
    struct TCase {
        int32_t W, H;
        bool Saved;
    };
    const TCase cases[] = {{1, 30, false}, {30, 1, false}, {2, 30, true}, {2, 2, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
        auto view = MakeView(c.W, c.H);
        TVistrelProc proc(nullptr);
        proc.SetAttachedVistrel(view.get());
        const std::string saved = Pixels(*view->GetVLBitmap());
        proc.SaveUndo(vluImage);
        EXPECT_EQ(proc.GetUndoCount(), c.Saved ? 1 : 0);
        FillPattern(*view->GetVLBitmap(), 90);
        const std::string changed = Pixels(*view->GetVLBitmap());
        proc.Undo(true);
        EXPECT_EQ(Pixels(*view->GetVLBitmap()), c.Saved ? saved : changed);
        EXPECT_EQ(proc.GetRedoCount(), c.Saved ? 1 : 0);
        proc.Redo();
        EXPECT_EQ(Pixels(*view->GetVLBitmap()), changed);
    }
}

TEST(ProcUndo, ImageEntriesGoBackToTheirLayer) {
    auto view = MakeView(8, 6);
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    view->AddLayer();
    FillPattern(*view->GetVLBitmap(), 4);
    const std::string layer1 = Pixels(*view->GetVLBitmap());
    proc.SaveUndo(vluImage);
    FillPattern(*view->GetVLBitmap(), 5);
    view->SetCurrentLayer(0);
    const std::string layer0 = Pixels(*view->GetVLBitmap());
    proc.Undo(false);
    EXPECT_EQ(Pixels(*view->GetLayer(1)->Bitmap()), layer1);
    EXPECT_EQ(Pixels(*view->GetLayer(0)->Bitmap()), layer0);
}

TEST(ProcUndo, FullLayerEntriesCarryOnlyTheCurrentLayersBitmap) {
    auto view = MakeView(8, 6);
    view->AddLayer();
    view->AddLayer();
    for (int32_t i = 0; i < 3; ++i)
        FillPattern(*view->GetLayer(i)->Bitmap(), 30 + i);
    view->SetCurrentLayer(1);
    TVistrelProc proc(nullptr);
    proc.SetAttachedVistrel(view.get());
    const std::string saved1 = Pixels(*view->GetLayer(1)->Bitmap());
    proc.SaveUndo(vluFullLayer);
    for (int32_t i = 0; i < 3; ++i) {
        view->GetLayer(i)->PosX = 50 + i;
        FillPattern(*view->GetLayer(i)->Bitmap(), 40 + i);
    }
    const std::string changed2 = Pixels(*view->GetLayer(2)->Bitmap());
    proc.Undo(false);
    for (int32_t i = 0; i < 3; ++i)
        EXPECT_EQ(view->GetLayer(i)->PosX, 0) << i;
    EXPECT_EQ(Pixels(*view->GetLayer(1)->Bitmap()), saved1);
    EXPECT_EQ(Pixels(*view->GetLayer(2)->Bitmap()), changed2);
}

TEST(ProcUndo, LayerRecordWalkStopsAtImpossibleLengths) {
    auto view = MakeView(4, 4);
    view->AddLayer();
    TMemoryStream good;
    view->GetLayer(1)->SaveToStream(good, false);
    view->GetLayer(1)->PosX = 7;
    struct TCase {
        const char* Name;
        int32_t Length;
    };
    const TCase cases[] = {
        {"zero", 0}, {"below the head", 19}, {"negative", -5}, {"past the end", 1 << 30}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream bad;
        bad.Write(&c.Length, 4);
        bad.Write(&view->GetLayer(1)->LayerID, 16);
        const uint8_t filler[8] = {};
        bad.Write(filler, sizeof(filler));
        RestoreLayerRecords(*view, bad); // returns instead of looping
        EXPECT_EQ(view->GetLayer(1)->PosX, 7);
    }
    // A record of an unknown layer is skipped by its length; the next one is read.
    TMemoryStream two;
    view->GetLayer(0)->SaveToStream(two, false);
    auto* first = static_cast<uint8_t*>(two.Memory());
    first[4] ^= 0xFF; // another identity
    good.SetPosition(0);
    two.SetPosition(two.GetSize());
    two.CopyFrom(good, 0);
    RestoreLayerRecords(*view, two);
    EXPECT_EQ(view->GetLayer(1)->PosX, 0);
}

TEST(ProcUndo, EntriesLiveInTemporaryFilesWithinTheOpenFileLimit) {
    TVLBitmap image;
    MakePicture(image, 16, 8, vl24RGB, 1, true);
    TVistrelProc proc(nullptr);
    proc.SetAttachedBitmap(&image);
    proc.SetUndoLimit(500);
    const int32_t before = OpenFileCount();
    for (int i = 0; i < 500; ++i)
        proc.SaveUndo(vluImage);
    EXPECT_EQ(proc.GetUndoCount(), 500);
    const int32_t during = OpenFileCount();
    // One file per entry: a delete-on-close copy each, the alpha in memory.
    EXPECT_LE(during - before, 500);
    EXPECT_LT(during, 1024); // the usual default limit of open files
    const std::string saved = Pixels(image);
    FillPattern(image, 77);
    proc.UndoAt(499, false);
    EXPECT_EQ(Pixels(image), saved);
    proc.ClearUndo();
    EXPECT_LE(OpenFileCount(), before);
}

TEST(VistrelProcSelection, OperationsKeepToTheViewsSelection) {
    auto view = MakeView(40, 30);
    view->SelectionBase = vlsbBitmap;
    view->Select(10, 5, 20, 15, vlsmReplace);
    ASSERT_TRUE(view->Selected());
    TVistrelProc* proc = view->GetProc();
    proc->Fill(TVLRGB{1, 2, 3});
    TVLBitmap& image = *view->GetVLBitmap();
    const TVLRGB filled{1, 2, 3};
    int32_t inside = 0, outside = 0;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x)
            (image.GetPixelRGB(x, y) == filled ? inside : outside)++;
    EXPECT_GT(inside, 0);
    EXPECT_LE(inside, 11 * 11);
    EXPECT_EQ(image.GetPixelRGB(15, 10), filled);
    EXPECT_FALSE(image.GetPixelRGB(5, 20) == filled);

    // Without a selection the whole picture is worked on.
    view->ClearSelection();
    proc->Fill(TVLRGB{1, 2, 3});
    EXPECT_EQ(image.GetPixelRGB(5, 20), filled);
    EXPECT_EQ(image.GetPixelRGB(39, 29), filled);
}
