// The library's thread pool: the resamplers run their rows in bands on it, each band on one
// thread, so that the bytes are the same for any number of threads.
#pragma once

#include <cstdint>
#include <functional>

// Threads band work may use: 0 (the default) takes one per processor, 1 runs every band on the
// calling thread.
extern int32_t VLThreadCount;

// Calls Work(First, Last) for bands that cover 0 .. Count - 1 (Last excluded), each at least
// MinBand long (the last one shorter), on the pool and the calling thread, and returns when all
// are done; the first exception a band throws is thrown here once the others have finished.
// Work from inside a band, or while another thread's bands run, runs on the calling thread.
void RunInBands(int32_t Count, int32_t MinBand, const std::function<void(int32_t, int32_t)>& Work);
