// Critical section: a lock the owning thread may enter more than once.
#pragma once

#include "platform/rtl/System.h"

#include <mutex>

class TCriticalSection : public TObject {
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }
    bool TryEnter() { return FMutex.try_lock(); }

private:
    std::recursive_mutex FMutex;
};

// Holds a critical section for the lifetime of a scope.
class TCriticalSectionLock {
public:
    explicit TCriticalSectionLock(TCriticalSection& Section) : FSection(Section) {
        FSection.Enter();
    }
    ~TCriticalSectionLock() { FSection.Leave(); }
    TCriticalSectionLock(const TCriticalSectionLock&) = delete;
    TCriticalSectionLock& operator=(const TCriticalSectionLock&) = delete;

private:
    TCriticalSection& FSection;
};
