// Running the reference tools (python3, base64, ImageMagick, exiftool, transicc, qpdf) from a
// test, and temporary names that no other test, nor another run of the suite beside this one,
// uses at the same time.
//
// A reference that is missing skips its test, unless SV_REQUIRE_REFERENCE_TOOLS=1 is set (the
// test script sets it): then the test fails, so that the suite never silently stops comparing
// against the references.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// A path in the temporary folder, unique to this process and call: 64 random bits drawn once per
// process and a counter keep concurrent test programs and concurrent runs of the suite apart
// (names made from the test's name alone collide between two runs beside each other).
inline std::filesystem::path UniqueTempPath(const std::string& Stem) {
    static std::atomic<unsigned> Counter{0};
    static const std::string Process = [] {
        std::random_device device;
        return std::to_string(device()) + "-" + std::to_string(device());
    }();
    return std::filesystem::temp_directory_path() /
           ("sv-" + Stem + "-" + Process + "-" + std::to_string(Counter++));
}

// True when the suite must fail instead of skipping on a missing reference.
inline bool ReferenceToolsRequired() {
    const char* value = std::getenv("SV_REQUIRE_REFERENCE_TOOLS");
    return value != nullptr && std::string(value) == "1";
}

// Skips the running test for a missing reference (Why says which), or fails it when the
// references are required.
#define SV_SKIP_WITHOUT_REFERENCE(Why)                                                             \
    do {                                                                                           \
        if (ReferenceToolsRequired()) GTEST_FAIL() << "required reference missing: " << Why;       \
        GTEST_SKIP() << Why;                                                                       \
    } while (false)

// Runs Command through the shell with its standard output going to a file, and returns that
// output in Output; false when the command could not run or failed.
inline bool RunTool(const std::string& Command, std::string& Output) {
    const auto file = UniqueTempPath("tool-output");
    const int status = std::system((Command + " > '" + file.string() + "' 2>/dev/null").c_str());
    std::ifstream in(file, std::ios::binary);
    Output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    in.close();
    std::filesystem::remove(file);
    return status == 0;
}

// True when the shell finds Name.
inline bool ToolExists(const std::string& Name) {
    return std::system(("command -v '" + Name + "' >/dev/null 2>&1").c_str()) == 0;
}

inline void WriteFileBytes(const std::filesystem::path& Path, const std::string& Bytes) {
    std::ofstream out(Path, std::ios::binary);
    out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

// A folder of its own for the running test, removed with the object.
class ScratchFolder {
public:
    ScratchFolder() : FPath(UniqueTempPath("scratch")) {
        std::filesystem::create_directories(FPath);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::string File(const std::string& Name) const { return (FPath / Name).string(); }

    void Write(const std::string& Name, const std::vector<uint8_t>& Bytes) const {
        std::ofstream out(File(Name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(Bytes.data()),
                  static_cast<std::streamsize>(Bytes.size()));
    }
    std::vector<uint8_t> Read(const std::string& Name) const {
        std::ifstream in(File(Name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Runs Command with its standard output caught; false when it exits non-zero.
    bool Run(const std::string& Command, std::string& Output) const {
        return RunTool(Command, Output);
    }

private:
    std::filesystem::path FPath;
};
