// Worker threads and the hand-over of calls to the main thread.
#include "platform/rtl/Thread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace {

// The static initialiser runs in the thread that starts the program.
const std::thread::id MainThread = std::this_thread::get_id();

struct TSyncRequest {
    TThreadMethod Method;
    bool Waiting = false; // Synchronize: the caller sleeps until Done
    bool Done = false;
    std::exception_ptr Error;
};

struct TSyncQueue {
    std::mutex Lock;
    std::condition_variable Posted; // a request was added
    std::condition_variable Ran;    // a waiting request was run
    std::deque<std::shared_ptr<TSyncRequest>> Requests;
    std::atomic<TWakeMainThread> Wake{nullptr};
};

TSyncQueue& SyncQueue() {
    static TSyncQueue queue;
    return queue;
}

void HandOver(const std::shared_ptr<TSyncRequest>& Request) {
    TSyncQueue& queue = SyncQueue();
    {
        std::lock_guard guard(queue.Lock);
        queue.Requests.push_back(Request);
    }
    queue.Posted.notify_all();
    if (TWakeMainThread wake = queue.Wake.load()) wake();
}

} // namespace

std::thread::id MainThreadID() {
    return MainThread;
}

bool IsMainThread() {
    return std::this_thread::get_id() == MainThread;
}

void SetWakeMainThread(TWakeMainThread Wake) {
    SyncQueue().Wake = Wake;
}

bool CheckSynchronize(int32_t TimeoutMs) {
    if (!IsMainThread()) throw EThread(u"CheckSynchronize called from a worker thread");
    TSyncQueue& queue = SyncQueue();
    std::deque<std::shared_ptr<TSyncRequest>> pending;
    {
        std::unique_lock guard(queue.Lock);
        if (queue.Requests.empty() && TimeoutMs > 0)
            queue.Posted.wait_for(guard, std::chrono::milliseconds(TimeoutMs),
                                  [&] { return !queue.Requests.empty(); });
        pending.swap(queue.Requests);
    }
    for (const auto& request : pending) {
        try {
            request->Method();
        } catch (...) {
            // A queued call has no caller to receive its exception; a waiting one gets it.
            request->Error = std::current_exception();
        }
        if (request->Waiting) {
            std::lock_guard guard(queue.Lock);
            request->Done = true;
        }
    }
    if (!pending.empty()) queue.Ran.notify_all();
    return !pending.empty();
}

TThread::TThread() = default;

TThread::~TThread() {
    if (FThread.joinable()) {
        Terminate();
        if (FThread.get_id() == std::this_thread::get_id())
            FThread.detach(); // freeing itself at the end of Run
        else
            WaitFor();
    }
}

void TThread::Start() {
    if (FStarted) throw EThread(u"Cannot call Start on a running or terminated thread");
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
    FThreadID = std::this_thread::get_id();
    try {
        Execute();
    } catch (const Exception& e) {
        FFatalException = e.Message();
    } catch (const std::exception& e) {
        FFatalException = StrFromUtf8(e.what());
    }
    try {
        DoTerminate();
    } catch (...) {
        // OnTerminate's exception stays in the main thread's handler; nothing to report here.
    }
    const bool freeSelf = FreeOnTerminate;
    FFinished = true;
    if (freeSelf) delete this;
}

void TThread::DoTerminate() {
    if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

int32_t TThread::WaitFor() {
    if (FThread.get_id() == std::this_thread::get_id())
        throw EThread(u"Thread cannot wait for itself");
    if (!FThread.joinable()) return ReturnValue;
    // The main thread keeps serving Synchronize while it waits, or the two would block each
    // other when the thread synchronises on its way out.
    if (IsMainThread())
        while (!FFinished)
            CheckSynchronize(5);
    FThread.join();
    return ReturnValue;
}

void TThread::Synchronize(const TThreadMethod& Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    auto request = std::make_shared<TSyncRequest>();
    request->Method = Method;
    request->Waiting = true;
    HandOver(request);
    TSyncQueue& queue = SyncQueue();
    {
        std::unique_lock guard(queue.Lock);
        queue.Ran.wait(guard, [&] { return request->Done; });
    }
    if (request->Error) std::rethrow_exception(request->Error);
}

void TThread::Queue(const TThreadMethod& Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    auto request = std::make_shared<TSyncRequest>();
    request->Method = Method;
    HandOver(request);
}
