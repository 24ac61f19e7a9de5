// Helpers of the codec tests: memory streams over byte vectors, files in a private scratch
// folder, and the reference tools (python3 with Pillow, ImageMagick, libtiff and OpenJPEG tools).
#pragma once

#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

inline TBytes ReadFileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& Path, const TBytes& Bytes) {
    std::ofstream out(Path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
}

inline void LoadStream(TMemoryStream& Stream, const TBytes& Bytes) {
    Stream.Clear();
    if (!Bytes.empty()) Stream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    Stream.SetPosition(0);
}

inline TBytes StreamBytes(TMemoryStream& Stream) {
    const auto* data = static_cast<const uint8_t*>(Stream.Memory());
    return TBytes(data, data + Stream.GetSize());
}

// The system's python3 with Pillow, or empty when it is missing.
inline std::string PillowPython() {
    static const std::string python =
        std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0 ? "/usr/bin/python3"
                                                                             : "";
    return python;
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
