// Times, single-threaded and from memory, the development of a 6000 x 4000 Bayer mosaic stage by
// stage as a ratio to a plain copy of the 8-byte-a-cell buffer (the memory-bandwidth floor; no
// peer exists that is not a raw decoder), and the unpacked and Canon loaders in MB/s of input.
//
// Usage: sv_bench_cameraraw [RUNS]
// Prints one line per case: name, the best time of RUNS runs in ms, and the ratio to the copy
// (stages) or the input rate (loaders).
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/cameraraw/VLCameraRaw.h"
#include "imaging/formats/cameraraw/VLRawColour.h"
#include "imaging/formats/cameraraw/VLRawLoaders.h"
#include "imaging/io/VLIOParams.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int32_t Width = 6000;
constexpr int32_t Height = 4000;
constexpr uint32_t Bayer = 0x94949494;

double BestMs(int32_t Runs, const std::function<void()>& Prepare, const std::function<void()>& Body) {
    double best = 1e300;
    for (int32_t i = 0; i < Runs; ++i) {
        Prepare();
        const auto start = std::chrono::steady_clock::now();
        Body();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// Big-endian 12-bit samples of a smooth scene with noise.
std::vector<uint8_t> MosaicBytes() {
    std::vector<uint8_t> data(size_t(Width) * Height * 2);
    uint32_t noise = 2463534242u;
    for (int32_t r = 0; r < Height; ++r)
        for (int32_t c = 0; c < Width; ++c) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int32_t v = 200 + (r + c) % 3000 + static_cast<int32_t>(noise % 32);
            const size_t k = (size_t(r) * Width + c) * 2;
            data[k] = static_cast<uint8_t>(v >> 8);
            data[k + 1] = static_cast<uint8_t>(v);
        }
    return data;
}

struct TBench {
    std::unique_ptr<TVLCameraRawContext> C = std::make_unique<TVLCameraRawContext>();
    std::unique_ptr<TVLMemStream> Stream;

    TBench(std::vector<uint8_t>& Data, TVLRawLoadProc Loader) {
        Stream = std::make_unique<TVLMemStream>(Data.data(), static_cast<int64_t>(Data.size()));
        C->Stream = Stream.get();
        C->Width = C->RawWidth = C->IWidth = Width;
        C->Height = C->RawHeight = C->IHeight = Height;
        C->Filters = Bayer;
        C->Maximum = 4095;
        C->LoadRaw = Loader;
        C->Image.reset(new TVLRawCell[size_t(Width) * Height]());
    }
};

} // namespace

int main(int argc, char** argv) {
    const int32_t runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<uint8_t> data = MosaicBytes();
    const size_t cells = size_t(Width) * Height;
    std::vector<TVLRawCell> copy(cells);
    TBench b(data, unpacked16_be_load_raw);
    const double copyMs = BestMs(runs, [] {}, [&] {
        std::memcpy(copy.data(), b.C->Image.get(), cells * sizeof(TVLRawCell));
    });
    std::printf("%-22s %10.1f ms\n", "copy (floor)", copyMs);

    const double unpackedMs = BestMs(runs, [&] { b.C->Stream->SetPosition(0); },
                                     [&] { unpacked16_be_load_raw(*b.C); });
    std::printf("%-22s %10.1f ms %8.1f MB/s\n", "unpacked16 loader", unpackedMs,
                data.size() / 1e3 / unpackedMs);
    std::vector<TVLRawCell> loaded(b.C->Image.get(), b.C->Image.get() + cells);
    auto reload = [&] { std::copy(loaded.begin(), loaded.end(), b.C->Image.get()); };
    auto stage = [&](const char* Name, const std::function<void()>& Prepare,
                     const std::function<void()>& Body) {
        const double ms = BestMs(runs, Prepare, Body);
        std::printf("%-22s %10.1f ms %8.2f x copy\n", Name, ms, ms / copyMs);
    };
    stage("scale_channels", [&] { reload(); b.C->Maximum = 4095; b.C->Black = 0; },
          [&] { scale_channels(*b.C); });
    stage("vng_interpolate", reload, [&] { vng_interpolate(*b.C); });
    b.C->Trim = 1;
    stage("colors_to_rgb", reload, [&] { colors_to_rgb(*b.C); });

    // The whole road, loader included: the output stage is what remains.
    const double developMs = BestMs(runs, [] {}, [&] {
        TBench whole(data, unpacked16_be_load_raw);
        TIOParamsVals params;
        TVLBitmap bitmap;
        DevelopCameraRaw(*whole.C, bitmap, params, false);
    });
    std::printf("%-22s %10.1f ms %8.2f x copy\n", "develop (all stages)", developMs,
                developMs / copyMs);

    // Canon's compressed code on noise: every bit walks the trees as real data does.
    std::vector<uint8_t> noiseBytes(cells * 3 / 2 + 16384);
    uint32_t noise = 88172645u;
    for (uint8_t& v : noiseBytes) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        v = static_cast<uint8_t>(noise);
        if (v == 0xFF) v = 0xFE;
    }
    TBench canon(noiseBytes, canon_compressed_load_raw);
    build_crw_trees(*canon.C, 0);
    const double canonMs = BestMs(runs, [] {}, [&] { canon_compressed_load_raw(*canon.C); });
    std::printf("%-22s %10.1f ms %8.1f MB/s\n", "canon loader", canonMs,
                static_cast<double>(canon.C->Stream->GetPosition()) / 1e3 / canonMs);
    return 0;
}
