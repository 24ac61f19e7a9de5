// Bitmaps of given pixels for the resampler tests, kept in memory or in a temporary file.
#pragma once

#include "TempFolder.h"
#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLHelpers.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

enum class Where { Memory, File };

inline const char* WhereName(Where where) {
    return where == Where::File ? "file" : "memory";
}

// The pixel bytes of every row, top row first, without the row padding.
using Rows = std::vector<std::vector<uint8_t>>;

class ResampleTest : public TempFolderTest {
protected:
    std::unique_ptr<TVLBitmap> Make(int32_t Width, int32_t Height, TVLPixelFormat Format,
                                    Where Place = Where::Memory) {
        DefaultMinFileSize = Place == Where::File ? 0 : int64_t{1} << 40;
        auto bitmap = std::make_unique<TVLBitmap>(Width, Height, Format);
        EXPECT_EQ(bitmap->GetLocation(),
                  Place == Where::File ? TVLLocation::vlFile : TVLLocation::vlMemory);
        return bitmap;
    }

    std::unique_ptr<TVLBitmap> Make(const Rows& Pixels, int32_t Width, TVLPixelFormat Format,
                                    Where Place = Where::Memory) {
        auto bitmap = Make(Width, static_cast<int32_t>(Pixels.size()), Format, Place);
        SetRows(*bitmap, Pixels);
        return bitmap;
    }

    static void SetRows(TVLBitmap& Bitmap, const Rows& Pixels) {
        for (size_t y = 0; y < Pixels.size(); ++y)
            std::memcpy(Bitmap.GetScanline(static_cast<int32_t>(y)), Pixels[y].data(),
                        Pixels[y].size());
        Bitmap.UnmapAllScanlines();
    }

    static Rows GetRows(TVLBitmap& Bitmap) {
        const auto bytes =
            static_cast<size_t>(AlignedRowLength(Bitmap.GetWidth(), Bitmap.GetBitCount(), 8));
        Rows rows(Bitmap.GetHeight());
        for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
            const uint8_t* row = Bitmap.GetScanline(y);
            rows[y].assign(row, row + bytes);
        }
        Bitmap.UnmapAllScanlines();
        return rows;
    }
};

// A row of grey levels written as blue = green = red.
inline std::vector<uint8_t> GrayRow24(const std::vector<uint8_t>& Levels) {
    std::vector<uint8_t> row;
    for (uint8_t level : Levels)
        row.insert(row.end(), {level, level, level});
    return row;
}

// Records every progress report.
struct ProgressLog {
    std::vector<int32_t> Values;
    TVLProgressEvent Event() {
        return [this](TObject*, int32_t Percent) { Values.push_back(Percent); };
    }
};

// The forms of the resampling kernels a test compares: ResampleVectorKernels and
// ResampleAvx2Kernels set as named (AVX2 is taken only where the processor has it).
struct TKernelForm {
    const char* Name;
    bool Vector, Avx2;
};
inline constexpr TKernelForm KernelForms[] = {
    {"AVX2", true, true}, {"SSE", true, false}, {"plain", false, false}};
