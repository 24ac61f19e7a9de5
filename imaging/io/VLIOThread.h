// A background job of the I/O component: one load or save operation of the component, bound
// with its arguments, run once on a thread of its own. The job is registered in the component's
// IOThreads from its construction to the last step of its run, so the operation, entered again on
// the job's thread, finds itself inside a job and runs for real.
#pragma once

#include "imaging/io/VistrelIO.h"

#include <utility>
#include <vector>

class TVLIOThread : public TThread {
public:
    // The operation shapes, one per kind (kinds 3 and 7 do not exist).
    using TNameMethod = void (TVistrelIO::*)(const String&);                             // 0
    using TStreamMethod = void (TVistrelIO::*)(TStream&);                                // 1
    using TNameCountMethod = int32_t (TVistrelIO::*)(const String&);                     // 2
    using TStreamCountMethod = int32_t (TVistrelIO::*)(TStream&);                        // 4
    using TNameFormatMethod = void (TVistrelIO::*)(const String&, TVLFileFormatId);      // 5
    using TStreamFormatMethod = void (TVistrelIO::*)(TStream&, TVLFileFormatId);         // 6
    using TFrameMethod = void (TVistrelIO::*)(int32_t);                                  // 8
    using TMetafileMethod = void (TVistrelIO::*)(const String&, int32_t, int32_t, bool); // 9
    // Kind 10 has the shape of kind 0; the wrapper tells the two constructors apart.
    struct TURLMethod {
        void (TVistrelIO::*Method)(const String&);
    };

    // Each constructor stores the owner, its job list, the operation and its arguments and
    // registers the job in Threads under the owner's IOLock. The job does not run yet: the
    // owner's ResumeSuspendedThreads starts it. A virtual operation runs the override, so a
    // descendant of the component that overrides one waits for its jobs (WaitPendingThreads)
    // first in its own destructor: they may still be inside its override.
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TNameMethod Method,
                const String& FileName);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TStreamMethod Method,
                TStream& Stream);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TNameCountMethod Method,
                const String& FileName);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TStreamCountMethod Method,
                TStream& Stream);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TNameFormatMethod Method,
                const String& FileName, TVLFileFormatId FormatId);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TStreamFormatMethod Method,
                TStream& Stream, TVLFileFormatId FormatId);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TFrameMethod Method,
                int32_t FrameIndex);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TMetafileMethod Method,
                const String& FileName, int32_t Width, int32_t Height, bool WithAlpha);
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, TURLMethod Method,
                const String& URL);

    uint8_t Kind() const { return FKind; }

protected:
    // Runs the operation; an exception it raises sets the owner's AbortingFlag, and when the
    // operation had not reported the end of its work yet, the job reports it (once), so a view
    // waiting for the end is never left waiting. Then the job frees itself on return and, as
    // its last step, leaves the owner's list.
    void Execute() override;

private:
    TVLIOThread(TVistrelIO* Owner, std::vector<TThread*>& Threads, uint8_t Kind);
    void Register();
    void CallOperation();

    std::vector<TThread*>* FThreads;
    uint8_t FKind;
    TNameMethod FNameMethod = nullptr;
    TStreamMethod FStreamMethod = nullptr;
    TNameCountMethod FNameCountMethod = nullptr;
    TStreamCountMethod FStreamCountMethod = nullptr;
    TNameFormatMethod FNameFormatMethod = nullptr;
    TStreamFormatMethod FStreamFormatMethod = nullptr;
    TFrameMethod FFrameMethod = nullptr;
    TMetafileMethod FMetafileMethod = nullptr;
    TNameMethod FURLMethod = nullptr;
    String FFileName;
    TStream* FStream = nullptr;
    TVLFileFormatId FFormatId = 0;
    int32_t FFrameIndex = 0;
    int32_t FWidth = 0, FHeight = 0;
    bool FWithAlpha = false;
    String FURL;
    TVistrelIO* FOwner;
};

// The background-job test every asynchronous-capable entry point makes first: when it applies,
// a new job will run Operation(Arguments...) and the caller returns at once (functions answer
// -1). True when the call was handed over.
template <class Method, class... Args>
bool TVistrelIO::Reissued(Method Operation, Args&&... Arguments) {
    if (!JobTestApplies()) return false;
    // The job belongs to IOThreads until it frees itself at the end of its run.
    new TVLIOThread(this, IOThreads, Operation, std::forward<Args>(Arguments)...);
    ResumeSuspendedThreads();
    return true;
}
