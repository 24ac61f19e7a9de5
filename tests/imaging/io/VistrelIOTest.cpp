// The I/O component: its working bitmap through every attachment, the view's change callbacks,
// the image control, progress and finish reports, and background jobs reporting to the view.
#include "imaging/io/VistrelIO.h"

#include "imaging/view/VistrelView.h"
#include "platform/ui/ExtCtrls.h"
#include "tests/imaging/io/IOTestSupport.h"
#include "tests/imaging/view/ViewTestSupport.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST(VistrelIO, AComponentOfItsOwnWorksOnAnOwnBitmap) {
    TVistrelIO io(nullptr);
    ASSERT_NE(io.GetBitmap(), nullptr);
    EXPECT_TRUE(io.GetBitmap()->IsEmpty());
    EXPECT_EQ(io.AttachedVistrel(), nullptr);
    EXPECT_EQ(io.GetTBitmap(), nullptr);
    EXPECT_EQ(io.GetBackground(), 0);
    io.SetBackground(0x123456);
    EXPECT_EQ(io.GetBackground(), 0x123456);
    EXPECT_FALSE(io.GetNativePixelFormat());
    EXPECT_EQ(io.IOParams().DpiX, DefaultDpiX);
    EXPECT_TRUE(io.CheckWorkingBitmap());
    ASSERT_TRUE(io.GetBitmap()->Allocate(4, 4, TVLPixelFormat::vl8g));
    EXPECT_TRUE(io.CheckWorkingBitmap({TVLPixelFormat::vl24RGB, TVLPixelFormat::vl8g}));
    EXPECT_FALSE(io.CheckWorkingBitmap({TVLPixelFormat::vl24RGB}));
    io.SetDefaultDitherMethod(0);
    EXPECT_EQ(io.GetBitmap()->DefaultDitherMethod, 0);
    // A caller's bitmap, then none at all.
    TVLBitmap mine(3, 2, TVLPixelFormat::vl24RGB);
    io.SetAttachedBitmap(&mine);
    EXPECT_EQ(io.GetBitmap(), &mine);
    io.SetAttachedBitmap(nullptr);
    EXPECT_EQ(io.GetBitmap(), nullptr);
    EXPECT_FALSE(io.CheckWorkingBitmap());
    EXPECT_EQ(mine.GetWidth(), 3);
}

TEST(VistrelIO, FollowsTheViewsBitmapAndResolution) {
    auto view = MakeOffScreenView(50, 50);
    TVistrelIO io(nullptr);
    io.SetAttachedVistrel(view.get());
    EXPECT_EQ(io.AttachedVistrel(), view.get());
    EXPECT_EQ(io.GetBitmap(), view->GetVLBitmap());
    EXPECT_EQ(io.GetTBitmap(), view->GetVLBitmap()->GetVclBitmap());

    // nil while a view is attached changes nothing: the callback stays registered.
    io.SetAttachedBitmap(nullptr);
    EXPECT_EQ(io.AttachedVistrel(), view.get());
    TVLBitmap replacement(7, 5, TVLPixelFormat::vl24RGB);
    view->SetDpi(123, 45);
    view->SetExternalBitmap(&replacement);
    EXPECT_EQ(io.GetBitmap(), &replacement);
    EXPECT_EQ(io.IOParams().DpiX, 123);
    EXPECT_EQ(io.IOParams().DpiY, 45);
    view->SetExternalBitmap(nullptr);
    EXPECT_EQ(io.GetBitmap(), view->GetVLBitmap());

    // The view's background wins and cannot be set through the component.
    view->SetBackground(0x00FF00);
    io.SetBackground(0x0000FF);
    EXPECT_EQ(io.GetBackground(), 0x00FF00);
    EXPECT_EQ(view->Background(), 0x00FF00);
    io.SetAttachedVistrel(nullptr);
    EXPECT_EQ(io.GetBackground(), 0);

    // Detached: a new empty bitmap of its own; the view's stays.
    EXPECT_NE(io.GetBitmap(), view->GetVLBitmap());
    EXPECT_TRUE(io.GetBitmap()->IsEmpty());
    TVLBitmap other(2, 2, TVLPixelFormat::vl24RGB);
    view->SetExternalBitmap(&other);
    EXPECT_NE(io.GetBitmap(), &other);
    view->SetExternalBitmap(nullptr);
}

TEST(VistrelIO, ResolutionReachesTheViewWithoutARepaint) {
    auto view = MakeOffScreenView(50, 50);
    TVistrelIO io(nullptr);
    io.SetAttachedVistrel(view.get());
    io.IOParams().DpiX = 600;
    io.IOParams().DpiY = 200;
    io.ApplyDPIToView(600, 200);
    EXPECT_EQ(view->DpiX(), 600);
    EXPECT_EQ(view->DpiY(), 200);
    // Through the record's setters as well.
    io.IOParams().SetDpiX(72);
    EXPECT_EQ(view->DpiX(), 72);
}

TEST(VistrelIO, ForgetsAViewThatGoesAndWorksOnANewOwnBitmap) {
    TVistrelIO io(nullptr);
    auto view = MakeOffScreenView(40, 40);
    io.SetAttachedVistrel(view.get());
    SetImageSize(*view, 9, 9);
    view.reset();
    EXPECT_EQ(io.AttachedVistrel(), nullptr);
    ASSERT_NE(io.GetBitmap(), nullptr);
    // The view's layer bitmaps are gone: the component must not reach them.
    EXPECT_TRUE(io.GetBitmap()->IsEmpty());
    EXPECT_TRUE(io.CheckWorkingBitmap());
    EXPECT_TRUE(io.GetBitmap()->Allocate(3, 3, TVLPixelFormat::vl24RGB));
}

TEST(VistrelIO, TheViewTellsAttachedComponentsBeforeItsBitmapsGo) {
    auto view = MakeOffScreenView(40, 40);
    SetImageSize(*view, 6, 5);
    TVLBitmap* image = view->GetVLBitmap();
    int32_t widthSeen = -1;
    view->RegisterBitmapChangeEvent([&](TObject*, bool Destroying) {
        if (Destroying) widthSeen = image->GetWidth(); // still alive when told
    });
    view.reset();
    EXPECT_EQ(widthSeen, 6);
}

TEST(VistrelIO, TheImageControlsBitmapIsWrappedAndMarkedModified) {
    TImage image(nullptr);
    TBitmap* picture = image.Picture()->Bitmap();
    picture->SetPixelFormat(pf24bit);
    picture->SetSize(6, 4);
    int32_t changes = 0;
    image.Picture()->OnChange = [&](TObject*) { ++changes; };

    // Attached to a caller's bitmap first: that bitmap is neither wrapped nor emptied.
    TVLBitmap mine(5, 5, TVLPixelFormat::vl24RGB);
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&mine);
    io.SetAttachedTImage(&image);
    EXPECT_EQ(mine.GetWidth(), 5);
    EXPECT_EQ(mine.GetLocation(), TVLLocation::vlMemory);
    ASSERT_NE(io.GetBitmap(), &mine);
    EXPECT_EQ(io.GetBitmap()->GetWidth(), 6);
    EXPECT_EQ(io.GetTBitmap(), picture);

    // Changes made to the control's bitmap are seen at the next check.
    picture->SetSize(8, 3);
    EXPECT_TRUE(io.CheckWorkingBitmap({TVLPixelFormat::vl24RGB}));
    EXPECT_EQ(io.GetBitmap()->GetWidth(), 8);
    io.UpdateAttached();
    EXPECT_EQ(changes, 1);

    // Detaching with nil empties the own bitmap and forgets the control's.
    io.SetAttachedTImage(nullptr);
    EXPECT_TRUE(io.GetBitmap()->IsEmpty());
    EXPECT_EQ(picture->Width(), 8);
    EXPECT_EQ(io.GetTBitmap(), nullptr);
}

TEST(VistrelIO, ForgetsAnImageControlThatGoes) {
    TVistrelIO io(nullptr);
    {
        TImage image(nullptr);
        image.Picture()->Bitmap()->SetSize(4, 4);
        io.SetAttachedTImage(&image);
        EXPECT_EQ(io.AttachedTImage(), &image);
    }
    EXPECT_EQ(io.AttachedTImage(), nullptr);
    EXPECT_EQ(io.GetTBitmap(), nullptr);
    EXPECT_TRUE(io.CheckWorkingBitmap()); // would wrap the freed bitmap again otherwise
    EXPECT_TRUE(io.GetBitmap()->IsEmpty());
}

TEST(VistrelIO, ProgressAndFinishCallTheEventsDirectlyOnTheUiThread) {
    TVistrelIO io(nullptr);
    std::vector<int32_t> progress;
    int32_t finished = 0;
    io.DoFinishWork(); // no events: nothing
    io.OnProgress = [&](TObject* Sender, int32_t Per) {
        EXPECT_EQ(Sender, &io);
        progress.push_back(Per);
    };
    io.DoFinishWork();
    EXPECT_EQ(progress, std::vector<int32_t>{100});
    io.OnFinishWork = [&](TObject* Sender) {
        EXPECT_EQ(Sender, &io);
        ++finished;
    };
    TVLProgressRecord record = io.MakeProgressRecord();
    record.StepCount = 1;
    record.PercentPerStep = 37.9;
    record.ReportProgress();
    record.Abort();
    EXPECT_TRUE(io.AbortingFlag);
    io.DoFinishWork();
    EXPECT_EQ(progress, (std::vector<int32_t>{100, 37, 100}));
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(io.IsInsideIOThread());
}

TEST(VistrelIO, TheViewMakesOneComponentAndHandsItsEvents) {
    auto view = MakeOffScreenView(30, 30);
    int32_t early = 0, late = 0;
    view->SetOnProgress([&](TObject*, int32_t) { ++early; });
    TVistrelIO* io = view->GetIO();
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(view->GetIO(), io);
    EXPECT_EQ(io->Owner(), view.get());
    EXPECT_EQ(io->AttachedVistrel(), view.get());
    EXPECT_EQ(io->GetBitmap(), view->GetVLBitmap());
    io->DoProgress(io, 5);
    EXPECT_EQ(early, 1);
    view->SetOnProgress([&](TObject*, int32_t) { ++late; });
    view->SetOnFinishWork([&](TObject*) { ++late; });
    io->DoFinishWork();
    EXPECT_EQ(early, 1);
    EXPECT_EQ(late, 2);
    // The component goes with the view.
}

// A background job as the job class will run one: registered in IOThreads while it works.
class TJob : public TThread {
public:
    explicit TJob(TVistrelIO& IO) : FIO(IO) {}
    ~TJob() override { WaitFor(); }
    std::atomic<bool> Inside{false};
    std::atomic<bool> Release{false};

protected:
    void Execute() override {
        {
            TCriticalSectionLock guard(FIO.IOLock);
            FIO.IOThreads.push_back(this);
        }
        Inside = FIO.IsInsideIOThread();
        FIO.DoProgress(&FIO, 40);
        FIO.UpdateAttached();
        FIO.DoFinishWork();
        while (!Release)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        // The way out waits on the UI thread, as a job's end does.
        TThread::Synchronize([] {});
        TCriticalSectionLock guard(FIO.IOLock);
        std::erase(FIO.IOThreads, this);
    }

private:
    TVistrelIO& FIO;
};

TEST(VistrelIO, AJobsReportsReachTheUiThreadAndDestroyWaitsForIt) {
    TViewOnForm on(40, 30);
    TVistrelView& view = *on.View;
    const std::thread::id ui = std::this_thread::get_id();
    std::vector<int32_t> percents;
    int32_t finished = 0, imageChanges = 0;
    view.SetOnProgress([&](TObject*, int32_t Per) {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        percents.push_back(Per);
    });
    view.SetOnFinishWork([&](TObject*) {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        ++finished;
    });
    view.OnImageChange = [&](TObject*) {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        ++imageChanges;
    };
    auto* io = new TVistrelIO(nullptr);
    io->SetAttachedVistrel(&view);
    io->OnProgress = view.GetOnProgress();
    io->OnFinishWork = view.GetOnFinishWork();
    TJob job(*io);
    WithinMinutes([&] {
        job.Start();
        PumpUntil([&] { return finished == 1 && imageChanges == 1; });
        EXPECT_TRUE(job.Inside);
        EXPECT_EQ(percents, (std::vector<int32_t>{40, 100}));
        job.Release = true;
        delete io; // returns once the job has left, serving its Synchronize meanwhile
    });
    EXPECT_TRUE(view.GetVLBitmap() != nullptr);
}

} // namespace
