// The library's thread pool: workers started on first need, one fewer than the threads asked
// for (the calling thread takes bands too), stopped when the program ends.
#include "imaging/core/VLThreadPool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

int32_t VLThreadCount = 0;

namespace {

thread_local bool InsideBand = false;

class TBandPool {
public:
    ~TBandPool() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FStop = true;
        }
        FWake.notify_all();
        for (std::thread& t : FThreads)
            t.join();
    }

    // False when another call holds the pool.
    bool TryRun(int32_t Bands, int32_t Threads, const std::function<void(int32_t)>& Band) {
        std::unique_lock<std::mutex> call(FCall, std::try_to_lock);
        if (!call.owns_lock()) return false;
        Grow(Threads - 1);
        {
            std::lock_guard<std::mutex> lock(FLock);
            FBand = &Band;
            FBands = Bands;
            FNext = 0;
            FBusy = static_cast<int32_t>(FThreads.size());
            FError = nullptr;
            ++FGeneration;
        }
        FWake.notify_all();
        TakeBands();
        std::unique_lock<std::mutex> lock(FLock);
        FDone.wait(lock, [this] { return FBusy == 0; });
        FBand = nullptr;
        if (FError) std::rethrow_exception(FError);
        return true;
    }

private:
    // New workers wait for the next call's bands.
    void Grow(int32_t Workers) {
        std::lock_guard<std::mutex> lock(FLock);
        while (static_cast<int32_t>(FThreads.size()) < Workers)
            FThreads.emplace_back([this, seen = FGeneration] { Serve(seen); });
    }

    void Serve(uint64_t seen) {
        InsideBand = true;
        std::unique_lock<std::mutex> lock(FLock);
        for (;;) {
            FWake.wait(lock, [&] { return FStop || FGeneration != seen; });
            if (FStop) return;
            seen = FGeneration;
            lock.unlock();
            TakeBands();
            lock.lock();
            if (--FBusy == 0) FDone.notify_all();
        }
    }

    void TakeBands() {
        const bool outer = InsideBand;
        InsideBand = true;
        for (int32_t i = FNext++; i < FBands; i = FNext++) {
            try {
                (*FBand)(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(FLock);
                if (!FError) FError = std::current_exception();
            }
        }
        InsideBand = outer;
    }

    std::mutex FCall;
    std::mutex FLock;
    std::condition_variable FWake;
    std::condition_variable FDone;
    std::vector<std::thread> FThreads;
    const std::function<void(int32_t)>* FBand = nullptr;
    int32_t FBands = 0;
    std::atomic<int32_t> FNext{0};
    int32_t FBusy = 0;
    uint64_t FGeneration = 0;
    bool FStop = false;
    std::exception_ptr FError;
};

int32_t ThreadsWanted() {
    if (VLThreadCount > 0) return VLThreadCount;
    return static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

void RunInBands(int32_t Count, int32_t MinBand, const std::function<void(int32_t, int32_t)>& Work) {
    if (Count <= 0) return;
    MinBand = std::max(MinBand, 1);
    const int32_t threads = ThreadsWanted();
    const auto bands = static_cast<int32_t>(
        std::min<int64_t>(threads, (int64_t{Count} + MinBand - 1) / MinBand));
    if (bands <= 1 || InsideBand) return Work(0, Count);
    // Several bands per thread even out uneven rows; a band is at least MinBand long.
    const auto pieces = static_cast<int32_t>(
        std::min<int64_t>(int64_t{bands} * 4, (int64_t{Count} + MinBand - 1) / MinBand));
    const int32_t size = static_cast<int32_t>((int64_t{Count} + pieces - 1) / pieces);
    const std::function<void(int32_t)> band = [&](int32_t I) {
        const int32_t first = I * size;
        Work(first, std::min(Count, first + size));
    };
    static TBandPool pool;
    const int32_t used = static_cast<int32_t>((int64_t{Count} + size - 1) / size);
    if (!pool.TryRun(used, bands, band)) Work(0, Count);
}
