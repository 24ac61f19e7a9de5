// Background jobs of the I/O component.
#include "imaging/io/VLIOThread.h"

#include <algorithm>
#include <atomic>
#include <thread>

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, uint8_t Kind)
    : FThreads(&Threads), FKind(Kind), FOwner(Owner) {}

// Called last by every constructor, when everything is stored.
void TVLIOThread::Register() {
    TCriticalSectionLock lock(FOwner->IOLock);
    FThreads->push_back(this);
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TNameMethod Method,
                         const String& FileName)
    : TVLIOThread(Owner, Threads, 0) {
    FNameMethod = Method;
    FFileName = FileName;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TStreamMethod Method,
                         TStream& Stream)
    : TVLIOThread(Owner, Threads, 1) {
    FStreamMethod = Method;
    FStream = &Stream;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TNameCountMethod Method,
                         const String& FileName)
    : TVLIOThread(Owner, Threads, 2) {
    FNameCountMethod = Method;
    FFileName = FileName;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads,
                         TStreamCountMethod Method, TStream& Stream)
    : TVLIOThread(Owner, Threads, 4) {
    FStreamCountMethod = Method;
    FStream = &Stream;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads,
                         TNameFormatMethod Method, const String& FileName, TVLFileFormatId FormatId)
    : TVLIOThread(Owner, Threads, 5) {
    FNameFormatMethod = Method;
    FFileName = FileName;
    FFormatId = FormatId;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads,
                         TStreamFormatMethod Method, TStream& Stream, TVLFileFormatId FormatId)
    : TVLIOThread(Owner, Threads, 6) {
    FStreamFormatMethod = Method;
    FStream = &Stream;
    FFormatId = FormatId;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TFrameMethod Method,
                         int32_t FrameIndex)
    : TVLIOThread(Owner, Threads, 8) {
    FFrameMethod = Method;
    FFrameIndex = FrameIndex;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TMetafileMethod Method,
                         const String& FileName, int32_t Width, int32_t Height, bool WithAlpha)
    : TVLIOThread(Owner, Threads, 9) {
    FMetafileMethod = Method;
    FFileName = FileName;
    FWidth = Width;
    FHeight = Height;
    FWithAlpha = WithAlpha;
    Register();
}

TVLIOThread::TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TURLMethod Method,
                         const String& URL)
    : TVLIOThread(Owner, Threads, 10) {
    FURLMethod = Method.Method;
    FURL = URL;
    Register();
}

// The results of the counting operations (kinds 2 and 4) are dropped: the caller had -1.
void TVLIOThread::CallOperation() {
    TVistrelIO& io = *FOwner;
    switch (FKind) {
    case 0:
        (io.*FNameMethod)(FFileName);
        break;
    case 1:
        (io.*FStreamMethod)(*FStream);
        break;
    case 2:
        (io.*FNameCountMethod)(FFileName);
        break;
    case 4:
        (io.*FStreamCountMethod)(*FStream);
        break;
    case 5:
        (io.*FNameFormatMethod)(FFileName, FFormatId);
        break;
    case 6:
        (io.*FStreamFormatMethod)(*FStream, FFormatId);
        break;
    case 8:
        (io.*FFrameMethod)(FFrameIndex);
        break;
    case 9:
        (io.*FMetafileMethod)(FFileName, FWidth, FHeight, FWithAlpha);
        break;
    case 10:
        (io.*FURLMethod)(FURL);
        break;
    default:
        break;
    }
}

void TVLIOThread::Execute() {
    const uint32_t reportsBefore = TVistrelIO::FinishReportsOnThisThread();
    try {
        CallOperation();
    } catch (...) {
        FOwner->AbortingFlag = true;
        if (TVistrelIO::FinishReportsOnThisThread() == reportsBefore) {
            try {
                FOwner->DoFinishWork();
            } catch (...) {
                // A handler's exception has no caller to reach from a job.
            }
        }
    }
    FreeOnTerminate = true;
    // The owner may be freed as soon as the job has left its list: nothing of it is used after.
    TCriticalSectionLock lock(FOwner->IOLock);
    std::erase(*FThreads, this);
}

// ---- The component's side ----------------------------------------------------------------------

bool TVistrelIO::JobTestApplies() {
    const bool ownsBitmap = FOwnBitmap != nullptr && FBitmap == FOwnBitmap.get();
    return !ownsBitmap && Asynchronous && !IsInsideIOThread();
}

void TVistrelIO::ResumeSuspendedThreads() {
    TCriticalSectionLock lock(IOLock);
    for (auto it = IOThreads.begin(); it != IOThreads.end(); ++it) {
        TThread* job = *it;
        if (job->Started()) continue;
        try {
            job->Start();
        } catch (...) {
            IOThreads.erase(it);
            delete job;
            throw;
        }
    }
}

// A job may wait on Synchronize: the UI thread serves those calls while it waits.
void TVistrelIO::WaitPendingThreads(bool SetAborting) {
    for (;;) {
        // Written atomically: the jobs read the flag meanwhile.
        if (SetAborting) std::atomic_ref<bool>(AbortingFlag).store(true);
        ResumeSuspendedThreads();
        {
            TCriticalSectionLock lock(IOLock);
            if (IOThreads.empty()) return;
        }
        if (IsMainThread())
            CheckSynchronize(1);
        else
            std::this_thread::yield();
    }
}
