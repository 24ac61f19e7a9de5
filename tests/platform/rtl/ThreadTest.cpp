// Worker threads handing calls to the main thread through the message loop.
#include "platform/rtl/Thread.h"
#include "tests/platform/ui/PumpUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

class TLambdaThread : public TThread {
public:
    explicit TLambdaThread(std::function<void(TLambdaThread&)> ABody) : Body(std::move(ABody)) {}
    ~TLambdaThread() override {
        Terminate();
        if (Started()) WaitFor();
    }
    std::function<void(TLambdaThread&)> Body;
    using TThread::Terminated;

protected:
    void Execute() override { Body(*this); }
};

TEST(Thread, SynchronizeAndQueueRunInTheMainThreadInOrder) {
    Application->Initialize();
    std::vector<int> order;
    std::atomic<bool> workerDone{false};
    TLambdaThread thread([&](TLambdaThread&) {
        TThread::Queue([&] { order.push_back(1); });
        TThread::Synchronize([&] {
            EXPECT_TRUE(IsMainThread());
            order.push_back(2);
        });
        // Synchronize returned, so the queued call before it has run too.
        TThread::Queue([&] { order.push_back(3); });
        workerDone = true;
    });
    bool terminated = false;
    thread.OnTerminate = [&](TObject* Sender) {
        EXPECT_EQ(Sender, &thread);
        EXPECT_TRUE(IsMainThread());
        terminated = true;
    };
    thread.Start();
    PumpUntil([&] { return terminated; });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(workerDone);
    EXPECT_TRUE(thread.FatalException().empty());
}

TEST(Thread, SynchronizedExceptionReachesTheWorkerAndWaitForServesTheLoop) {
    String caught;
    TLambdaThread thread([&](TLambdaThread&) {
        try {
            TThread::Synchronize([] { throw Exception(u"from main"); });
        } catch (const Exception& e) {
            caught = e.Message();
        }
        TThread::Synchronize([] {}); // WaitFor below must keep serving these
    });
    thread.ReturnValue = 7;
    thread.Start();
    EXPECT_EQ(thread.WaitFor(), 7); // would deadlock if the main thread did not serve calls
    EXPECT_EQ(caught, u"from main");
}

TEST(Thread, EscapedExceptionIsKeptAndFreeOnTerminateFreesTheThread) {
    TLambdaThread failing([](TLambdaThread&) { throw Exception(u"broken"); });
    failing.Start();
    failing.WaitFor();
    EXPECT_EQ(failing.FatalException(), u"broken");
    EXPECT_THROW(failing.Start(), EThread);

    static std::atomic<int> destroyed{0};
    struct TSelfFreeing : TThread {
        ~TSelfFreeing() override { ++destroyed; }
        void Execute() override {}
    };
    auto* self = new TSelfFreeing();
    self->FreeOnTerminate = true;
    bool terminated = false;
    self->OnTerminate = [&](TObject*) { terminated = true; };
    self->Start();
    PumpUntil([&] { return terminated && destroyed == 1; });
}

TEST(Thread, TerminateAsksTheLoopOfExecuteToEnd) {
    std::atomic<int> rounds{0};
    TLambdaThread thread([&](TLambdaThread& Self) {
        while (!Self.Terminated())
            ++rounds;
    });
    thread.Start();
    while (rounds == 0)
        std::this_thread::yield();
    thread.Terminate();
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
}

} // namespace
