// Shared by the raster library's tests: a fixture that keeps the library started, and python3
// with Pillow as the reference.
#pragma once

#include "raster/Bitmap32.h"
#include "raster/RasterStartup.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

// Starts the library for a suite and shuts it down after it.
class RasterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { raster::InitializeRasterLibrary(); }
    static void TearDownTestSuite() { raster::FinalizeRasterLibrary(); }
};

// The system's python3 (the one Pillow is installed for).
constexpr const char* Python = "/usr/bin/python3";

inline bool PythonHas(const std::string& Module) {
    std::string ignored;
    return RunTool(std::string(Python) + " -c 'import " + Module + "'", ignored);
}

// Runs Script with python3 and the given arguments; false when it failed.
inline bool RunPython(const std::string& Script, const std::string& Arguments,
                      std::string& Output) {
    const auto file = UniqueTempPath("script");
    WriteFileBytes(file, Script);
    const bool ok = RunTool(std::string(Python) + " '" + file.string() + "' " + Arguments, Output);
    std::filesystem::remove(file);
    return ok;
}

// The bitmap's colours as a binary PPM (alpha dropped).
inline std::string Ppm(const raster::TBitmap32& b) {
    std::string out =
        "P6\n" + std::to_string(b.Width()) + " " + std::to_string(b.Height()) + "\n255\n";
    for (int i = 0; i < b.Width() * b.Height(); ++i) {
        const raster::TColor32 c = b.Bits()[i];
        out += static_cast<char>(c >> 16);
        out += static_cast<char>(c >> 8);
        out += static_cast<char>(c);
    }
    return out;
}

// Reads a binary PPM written by ImageMagick (header without comments) into RGB bytes.
inline bool ReadPpm(const std::vector<uint8_t>& Bytes, int& W, int& H, std::vector<uint8_t>& Rgb) {
    std::string header(Bytes.begin(), Bytes.begin() + std::min<size_t>(Bytes.size(), 64));
    std::istringstream in(header);
    std::string magic;
    int max = 0;
    if (!(in >> magic >> W >> H >> max) || magic != "P6" || max != 255) return false;
    const auto offset = static_cast<size_t>(in.tellg()) + 1;
    if (Bytes.size() < offset + size_t(W) * H * 3) return false;
    Rgb.assign(Bytes.begin() + offset, Bytes.begin() + offset + size_t(W) * H * 3);
    return true;
}
