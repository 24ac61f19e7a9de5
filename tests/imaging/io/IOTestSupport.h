// Helpers of the codec tests: memory streams over byte vectors, files in a private scratch
// folder, the reference tools (python3 with Pillow, ImageMagick, libtiff and OpenJPEG tools), and
// a watchdog for the tests of background jobs.
#pragma once

#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"
// File bytes, memory streams of bytes and the Pillow python come from the JPEG tests' helpers.
#include "tests/imaging/io/JpegTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using TBytes = std::vector<uint8_t>;

inline TBytes StreamBytes(TMemoryStream& Stream) {
    const auto* data = static_cast<const uint8_t*>(Stream.Memory());
    return TBytes(data, data + Stream.GetSize());
}

// Ends the program when Work does not return in generous time: a background job that never ends
// fails the run instead of hanging it.
template <class Body> void WithinMinutes(Body&& Work) {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::thread watchdog([&] {
        std::unique_lock guard(lock);
        if (!done.wait_for(guard, std::chrono::minutes(3), [&] { return finished; })) {
            std::fprintf(stderr, "a background job did not end\n");
            std::abort();
        }
    });
    Work();
    {
        std::lock_guard guard(lock);
        finished = true;
    }
    done.notify_all();
    watchdog.join();
}

// A folder of its own for one test, removed with it.
class TScratch {
public:
    TScratch() : FPath(UniqueTempPath("io")) { std::filesystem::create_directories(FPath); }
    ~TScratch() { std::filesystem::remove_all(FPath); }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    std::string File(const std::string& Name) const { return (FPath / Name).string(); }
    // Runs a python3 (with Pillow) script given as text with the arguments after it.
    bool Python(const std::string& Script, const std::string& Args, std::string& Output) const {
        const std::string file = File("script.py");
        WriteFileBytes(file, Script);
        return RunTool(PillowPython() + " '" + file + "' " + Args, Output);
    }

private:
    std::filesystem::path FPath;
};
