// Worker threads of the class library, with calls handed to the main (UI) thread.
#pragma once

#include "platform/rtl/Classes.h"

#include <atomic>
#include <functional>
#include <thread>

using TThreadMethod = std::function<void()>;

// The thread that started the program; Synchronize and Queue run their calls there.
std::thread::id MainThreadID();
bool IsMainThread();

// Runs every call handed over by Synchronize and Queue; called by the main thread's message
// loop. Waits up to TimeoutMs for a first call when none is pending. True when something ran.
bool CheckSynchronize(int32_t TimeoutMs = 0);

// Called from any thread whenever a call is handed to the main thread, so that a message loop
// sleeping in its event wait can wake up and run CheckSynchronize. The UI layer installs it.
using TWakeMainThread = void (*)();
void SetWakeMainThread(TWakeMainThread Wake);

// A thread that runs Execute once. Unlike the class library's constructor, the C++ constructor
// cannot start the thread (Execute is not yet callable): Start does. A descendant's destructor
// must end the thread (Terminate and WaitFor) before its own members go; the base destructor
// does the same for threads whose descendant did not.
class TThread : public TObject {
public:
    TThread();
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    // Sets Terminated; Execute is expected to look at it and return.
    void Terminate() { FTerminated = true; }
    // Waits for Execute to return and answers ReturnValue. Raises EThread on the thread itself.
    int32_t WaitFor();

    bool Terminated() const { return FTerminated; }
    bool Finished() const { return FFinished; }
    bool Started() const { return FStarted; }
    // The id of the thread running Execute; a default id before it runs.
    std::thread::id ThreadID() const { return FThreadID.load(); }
    // The thread frees itself (delete) when Execute is done and OnTerminate has run.
    bool FreeOnTerminate = false;
    int32_t ReturnValue = 0;
    // Fired in the main thread, through Synchronize, when Execute has returned.
    TNotifyEvent OnTerminate;
    // Text of an exception that escaped Execute; empty when none did.
    const String& FatalException() const { return FFatalException; }

    // Runs Method in the main thread and returns when it has run; runs it at once when called
    // from the main thread. An exception raised by Method is raised again in the caller.
    static void Synchronize(const TThreadMethod& Method);
    // Hands Method to the main thread and returns at once; from the main thread it runs now.
    static void Queue(const TThreadMethod& Method);

protected:
    virtual void Execute() = 0;
    virtual void DoTerminate();

private:
    void Run();

    std::thread FThread;
    std::atomic<std::thread::id> FThreadID{};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    bool FStarted = false;
    String FFatalException;
};

class EThread : public Exception {
public:
    using Exception::Exception;
};
