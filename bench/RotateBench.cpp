// Times, single-threaded and in memory, TVistrelProc::Rotate of a synthetic 24-megapixel RGB
// picture: a quarter turn without and with an undo entry, and 17 degrees on each path (nearest,
// shears, bilinear, bicubic). Writes the picture as source.ppm for the peer (bench/pil_rotate.py).
//
// Usage: sv_bench_rotate OUTPUT_FOLDER [RUNS]
// Prints one line per case: name, result size and the best time of RUNS runs in ms.
#include "imaging/proc/VistrelProc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

using enum TVLPixelFormat;

namespace {

constexpr int32_t SourceWidth = 6000;
constexpr int32_t SourceHeight = 4000;

// Smooth gradients with a little noise.
void FillSynthetic(TVLBitmap& Bitmap) {
    uint32_t noise = 2463534242u;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = static_cast<int>(noise & 15);
            row[3 * x] = static_cast<uint8_t>((x * 255 / SourceWidth + n) & 0xFF);
            row[3 * x + 1] = static_cast<uint8_t>((y * 255 / SourceHeight + n) & 0xFF);
            row[3 * x + 2] = static_cast<uint8_t>(((x ^ y) & 0x3F) * 3 + n);
        }
    }
}

void WritePpm(TVLBitmap& Bitmap, const std::filesystem::path& Path) {
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << Bitmap.GetWidth() << " " << Bitmap.GetHeight() << "\n255\n";
    std::string row(static_cast<size_t>(Bitmap.GetWidth()) * 3, '\0');
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        const uint8_t* p = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            row[3 * x] = static_cast<char>(p[3 * x + 2]);
            row[3 * x + 1] = static_cast<char>(p[3 * x + 1]);
            row[3 * x + 2] = static_cast<char>(p[3 * x]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

// Best time of Runs rotations, each of a fresh copy of Source (the copy is not timed).
void Case(const char* Name, TVLBitmap& Source, int Runs, bool Undo, double Angle, bool AntiAlias,
          uint8_t Mode) {
    TComponent owner(nullptr);
    auto* proc = new TVistrelProc(Undo ? &owner : nullptr);
    std::unique_ptr<TVistrelProc> unowned(Undo ? nullptr : proc);
    double best = 1e300;
    TVLBitmap work;
    work.MinFileSize = Source.MinFileSize;
    for (int r = 0; r < Runs; ++r) {
        work.Assign(&Source);
        proc->SetAttachedBitmap(&work);
        const auto start = std::chrono::steady_clock::now();
        proc->Rotate(Angle, AntiAlias, Mode, 0);
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    std::printf("%-16s %5dx%-5d %9.1f\n", Name, work.GetWidth(), work.GetHeight(), best);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    TVLBitmap source;
    source.MinFileSize = INT64_MAX; // in memory
    if (!source.Allocate(SourceWidth, SourceHeight, vl24RGB)) return 1;
    FillSynthetic(source);
    WritePpm(source, folder / "source.ppm");
    Case("rotate90", source, runs, false, 90, false, 0);
    Case("rotate90-undo", source, runs, true, 90, false, 0);
    Case("rotate17-nearest", source, runs, false, 17, false, 0);
    Case("rotate17-shears", source, runs, false, 17, true, 0);
    Case("rotate17-bilinear", source, runs, false, 17, true, 1);
    Case("rotate17-bicubic", source, runs, false, 17, true, 2);
    return 0;
}
