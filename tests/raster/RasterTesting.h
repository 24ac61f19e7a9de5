// Shared by the raster library's tests: a fixture that keeps the library started, and python3
// with Pillow as the reference.
#pragma once

#include "raster/RasterStartup.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <string>

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
