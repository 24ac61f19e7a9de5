// Background jobs of the I/O component: the re-issue of an operation on a job's thread, the
// reports reaching an attached view on the UI thread, failures inside a job, the wait of the
// destructor, and the job of each kind carrying its arguments.
#include "imaging/io/VLIOThread.h"

#include "imaging/io/VistrelIOUnit.h"
#include "imaging/view/VistrelView.h"
#include "platform/ui/Forms.h"
#include "tests/imaging/io/IOComponentSupport.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;

size_t JobCount(TVistrelIO& IO) {
    TCriticalSectionLock lock(IO.IOLock);
    return IO.IOThreads.size();
}

// A view that counts the image updates posted to its window.
class TCountingView : public TVistrelView {
public:
    using TVistrelView::TVistrelView;
    std::atomic<int32_t> Updates{0};

protected:
    void Dispatch(TMessage& Message) override {
        if (Message.Msg == VLM_UPDATEVIEW) ++Updates;
        TVistrelView::Dispatch(Message);
    }
};

// Operations of a descendant, to see from inside what a job runs.
class TProbeIO : public TVistrelIO {
public:
    TProbeIO() : TVistrelIO(nullptr) {}
    // Its jobs run its overrides, so it waits for them before its own part goes.
    ~TProbeIO() override { WaitPendingThreads(false); }
    std::atomic<std::thread::id> OuterThread{};
    // A held LoadFromFile inside a job waits for Release, then for Hold, then counts itself in
    // Ended; both outlive the component.
    std::atomic<bool>* Release = nullptr;
    std::atomic<int32_t>* Ended = nullptr;
    std::chrono::milliseconds Hold{0};
    std::atomic<int32_t> SeenFrame{-1};
    String SeenName;
    int32_t SeenWidth = 0, SeenHeight = 0;
    bool SeenAlpha = false;

    void LoadFromFile(const String& FileName) override {
        if (IsInsideIOThread()) OuterThread = std::this_thread::get_id();
        if (Release != nullptr && IsInsideIOThread()) {
            while (!*Release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(Hold);
            ++*Ended;
            return;
        }
        TVistrelIO::LoadFromFile(FileName);
    }
    void Raise(const String&) { throw Exception(u"the operation failed"); }
    void Watch(const String&) {
        while (!std::atomic_ref<bool>(AbortingFlag).load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Frame(int32_t Index) { SeenFrame = Index; }
    void Metafile(const String& FileName, int32_t Width, int32_t Height, bool WithAlpha) {
        SeenName = FileName;
        SeenWidth = Width;
        SeenHeight = Height;
        SeenAlpha = WithAlpha;
    }
};

class IOJobs : public ::testing::Test {
protected:
    void SetUp() override {
        InitializeVistrelIOUnit();
        TVistrelIO writer(nullptr);
        FillPicture(*writer.GetBitmap(), 24, 16, TVLPixelFormat::vl24RGB);
        writer.SaveToFileJPEG(Wide(Jpeg));
        writer.GetBitmap()->SetPixelFormat(TVLPixelFormat::vl8p);
        writer.SaveToFileGIF(Wide(Gif));
        ASSERT_FALSE(writer.AbortingFlag);
    }
    void TearDown() override { FinalizeVistrelIOUnit(); }
    TScratch Dir;
    const std::string Jpeg = Dir.File("picture.jpg");
    const std::string Gif = Dir.File("picture.gif");
};

TEST_F(IOJobs, AnAttachedAsynchronousLoadRunsInAJobAndReportsOnTheUiThread) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 100, 100);
    auto* view = new TCountingView(&form);
    view->SetParent(&form);
    view->SetBounds(0, 0, 60, 60);
    view->Handle();
    const std::thread::id ui = std::this_thread::get_id();
    int32_t finished = 0, imageChanges = 0;
    view->SetOnFinishWork([&](TObject*) {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        ++finished;
    });
    view->OnImageChange = [&](TObject*) {
        EXPECT_EQ(std::this_thread::get_id(), ui);
        ++imageChanges;
    };
    auto* io = new TVistrelIO(nullptr);
    io->SetAttachedVistrel(view);
    io->OnFinishWork = view->GetOnFinishWork();
    io->Asynchronous = true;
    WithinMinutes([&] {
        EXPECT_EQ(io->LoadFromFileGIF(Wide(Gif)), -1);
        // The job waits for the UI thread to run the image change, so it is still listed.
        EXPECT_EQ(JobCount(*io), 1u);
        EXPECT_EQ(finished, 0);
        PumpUntil([&] { return finished == 1 && imageChanges == 1 && JobCount(*io) == 0; });
        PumpUntil([&] { return view->Updates == 1; });
        delete io;
    });
    EXPECT_EQ(view->GetVLBitmap()->GetWidth(), 24);
    EXPECT_EQ(view->GetVLBitmap()->GetHeight(), 16);
}

// The caller's memory is wrapped only for the call, so a load from it never goes to a job: it
// has finished on return, however it ends, and Asynchronous is on again for the next operation.
TEST_F(IOJobs, ALoadFromTheCallersMemoryFinishesBeforeItReturns) {
    TForm form(nullptr);
    auto* view = new TVistrelView(&form);
    view->SetParent(&form);
    TVistrelIO io(nullptr);
    io.SetAttachedVistrel(view);
    io.Asynchronous = true;
    int32_t finishes = 0;
    io.OnFinishWork = [&](TObject*) { ++finishes; };
    for (TVLFileFormatId id : {TVLFileFormatId(0), TVLFileFormatId(ffGIF)}) {
        SCOPED_TRACE(int(id));
        view->GetVLBitmap()->FreeImage(true);
        finishes = 0;
        const TBytes bytes = ReadFileBytes(Gif);
        io.LoadFromBuffer(bytes.data(), int32_t(bytes.size()), id);
        EXPECT_EQ(JobCount(io), 0u);
        EXPECT_FALSE(io.AbortingFlag);
        EXPECT_EQ(finishes, 1);
        EXPECT_EQ(view->GetVLBitmap()->GetWidth(), 24);
        EXPECT_EQ(view->GetVLBitmap()->GetHeight(), 16);
        EXPECT_TRUE(io.Asynchronous);
    }
    // A load that raises (here its finish handler) leaves Asynchronous on as well.
    io.OnFinishWork = [](TObject*) { throw Exception(u"the handler failed"); };
    const TBytes bytes = ReadFileBytes(Gif);
    EXPECT_THROW(io.LoadFromBuffer(bytes.data(), int32_t(bytes.size()), ffGIF), Exception);
    EXPECT_EQ(JobCount(io), 0u);
    EXPECT_TRUE(io.Asynchronous);
}

// Without a view the events come on the job's thread; the inner operation a job's LoadFromFile
// dispatches to runs right there, without a second job.
TEST_F(IOJobs, AnOperationInsideAJobRunsThereWithoutASecondJob) {
    TProbeIO io;
    TVLBitmap target;
    io.SetAttachedBitmap(&target);
    io.Asynchronous = true;
    std::mutex lock;
    std::set<std::thread::id> progressThreads;
    std::vector<size_t> jobsSeen;
    io.OnProgress = [&](TObject*, int32_t) {
        std::lock_guard guard(lock);
        progressThreads.insert(std::this_thread::get_id());
        jobsSeen.push_back(JobCount(io));
    };
    int32_t finishes = 0;
    io.OnFinishWork = [&](TObject*) { ++finishes; };
    WithinMinutes([&] {
        io.LoadFromFile(Wide(Jpeg));
        io.WaitPendingThreads(false);
    });
    EXPECT_FALSE(io.AbortingFlag);
    EXPECT_EQ(finishes, 1);
    EXPECT_EQ(target.GetWidth(), 24);
    ASSERT_EQ(progressThreads.size(), 1u);
    EXPECT_EQ(*progressThreads.begin(), io.OuterThread.load());
    EXPECT_NE(io.OuterThread.load(), std::this_thread::get_id());
    for (size_t seen : jobsSeen)
        EXPECT_EQ(seen, 1u);
}

// A failure inside a job leaves AbortingFlag set and exactly one finish report: the loader's
// own, or the job's when the loader raised before it reported (a file that does not open).
TEST_F(IOJobs, AFailingJobAbortsAndFinishesOnce) {
    const String missing = Wide(Dir.File("missing.gif"));
    const struct {
        const char* Name;
        std::function<void(TProbeIO&)> Call;
    } cases[] = {
        {"GIF loader", [&](TProbeIO& IO) { EXPECT_EQ(IO.LoadFromFileGIF(missing), -1); }},
        {"JPEG loader", [&](TProbeIO& IO) { IO.LoadFromFileJPEG(missing); }},
        {"TIFF loader", [&](TProbeIO& IO) { EXPECT_EQ(IO.LoadFromFileTIFF(missing), -1); }},
        {"raising operation",
         [&](TProbeIO& IO) {
             new TVLIOThread(&IO, IO.IOThreads,
                             static_cast<TVLIOThread::TNameMethod>(&TProbeIO::Raise), missing);
             IO.ResumeSuspendedThreads();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TProbeIO io;
        TVLBitmap target;
        io.SetAttachedBitmap(&target);
        io.Asynchronous = true;
        std::atomic<int32_t> finishes{0};
        io.OnFinishWork = [&](TObject*) { ++finishes; };
        WithinMinutes([&] {
            c.Call(io);
            io.WaitPendingThreads(false);
        });
        EXPECT_TRUE(io.AbortingFlag);
        EXPECT_EQ(finishes, 1);
        EXPECT_EQ(JobCount(io), 0u);
    }
}

TEST_F(IOJobs, DestroyingTheComponentWaitsForItsRunningJobs) {
    std::atomic<bool> release{false};
    std::atomic<int32_t> ended{0};
    auto* io = new TProbeIO;
    TVLBitmap target;
    io->SetAttachedBitmap(&target);
    io->Asynchronous = true;
    io->Release = &release;
    io->Ended = &ended;
    io->Hold = 200ms;
    WithinMinutes([&] {
        io->LoadFromFile(Wide(Jpeg));
        io->LoadFromFile(Wide(Gif));
        EXPECT_EQ(JobCount(*io), 2u);
        release = true;
        delete io;
        // Both operations ended before their jobs left the list.
        EXPECT_EQ(ended, 2);
    });
}

TEST_F(IOJobs, WithoutAsynchronousOrOnItsOwnBitmapEveryOperationRunsAtOnce) {
    TCountingIO own;
    own.IO.Asynchronous = true; // its own bitmap: no job
    EXPECT_EQ(own.IO.LoadFromFileGIF(Wide(Gif)), 1);
    EXPECT_EQ(own.TakeFinishes(), 1);

    TCountingIO attached;
    TVLBitmap target;
    attached.IO.SetAttachedBitmap(&target);
    EXPECT_EQ(attached.IO.LoadFromFileGIF(Wide(Gif)), 1);
    EXPECT_EQ(attached.TakeFinishes(), 1);
    EXPECT_EQ(target.GetWidth(), 24);
    EXPECT_TRUE(attached.IO.IOThreads.empty());
}

// A job is listed, not started, from its construction; it runs its operation with the
// arguments of its kind and leaves the list.
TEST_F(IOJobs, EachKindCarriesItsArguments) {
    TProbeIO io;
    TVLBitmap target;
    io.SetAttachedBitmap(&target);
    const TBytes gifBytes = ReadFileBytes(Gif);
    TMemoryStream stream;
    auto check = [&](TVLIOThread* Job, uint8_t Kind) {
        SCOPED_TRACE(int(Kind));
        EXPECT_EQ(Job->Kind(), Kind);
        ASSERT_EQ(JobCount(io), 1u);
        EXPECT_FALSE(io.IOThreads[0]->Started());
        target.FreeImage(true);
        WithinMinutes([&] {
            io.ResumeSuspendedThreads();
            io.WaitPendingThreads(false);
        });
        EXPECT_EQ(JobCount(io), 0u);
    };
    const String gif = Wide(Gif);
    check(new TVLIOThread(&io, io.IOThreads, &TVistrelIO::LoadFromFileBMP, gif), 0);
    EXPECT_TRUE(io.AbortingFlag); // a GIF is no BMP
    check(new TVLIOThread(&io, io.IOThreads, &TVistrelIO::LoadFromFileGIF, gif), 2);
    EXPECT_EQ(target.GetWidth(), 24);
    check(new TVLIOThread(&io, io.IOThreads, &TVistrelIO::LoadFromFileFormat, gif, ffGIF), 5);
    EXPECT_EQ(target.GetWidth(), 24);
    LoadStream(stream, gifBytes);
    check(new TVLIOThread(&io, io.IOThreads, &TVistrelIO::LoadFromStream, stream), 1);
    EXPECT_EQ(target.GetWidth(), 24);
    LoadStream(stream, gifBytes);
    check(new TVLIOThread(&io, io.IOThreads, &TVistrelIO::LoadFromStreamGIF, stream), 4);
    EXPECT_EQ(target.GetWidth(), 24);
    LoadStream(stream, gifBytes);
    check(new TVLIOThread(&io, io.IOThreads, &TVistrelIO::LoadFromStreamFormat, stream, ffGIF), 6);
    EXPECT_EQ(target.GetWidth(), 24);
    check(new TVLIOThread(&io, io.IOThreads,
                          static_cast<TVLIOThread::TFrameMethod>(&TProbeIO::Frame), 7),
          8);
    EXPECT_EQ(io.SeenFrame, 7);
    check(new TVLIOThread(&io, io.IOThreads,
                          static_cast<TVLIOThread::TMetafileMethod>(&TProbeIO::Metafile), gif, -1,
                          33, true),
          9);
    EXPECT_EQ(io.SeenName, gif);
    EXPECT_EQ(io.SeenWidth, -1);
    EXPECT_EQ(io.SeenHeight, 33);
    EXPECT_TRUE(io.SeenAlpha);
    check(new TVLIOThread(&io, io.IOThreads, TVLIOThread::TURLMethod{&TVistrelIO::LoadFromURL},
                          String(u"http://no-slash")),
          10);
    EXPECT_TRUE(io.AbortingFlag);
}

// The abort option of the wait asks a running operation to stop early.
TEST_F(IOJobs, WaitingWithAbortStopsAnOperationThatWatchesTheFlag) {
    TProbeIO io;
    TVLBitmap target;
    io.SetAttachedBitmap(&target);
    WithinMinutes([&] {
        new TVLIOThread(&io, io.IOThreads, static_cast<TVLIOThread::TNameMethod>(&TProbeIO::Watch),
                        String(u"x"));
        io.WaitPendingThreads(true);
    });
    EXPECT_EQ(JobCount(io), 0u);
}

} // namespace
