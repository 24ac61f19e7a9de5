// Runs a reference tool of the system (base64, python3, ImageMagick) and captures what it prints.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// A file name in the temporary folder that no other test program running now uses.
inline std::filesystem::path UniqueTempPath(const std::string& Stem) {
    return std::filesystem::temp_directory_path() /
           ("sv-" + Stem + "-" + std::to_string(std::random_device{}()));
}

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
    std::string ignored;
    return RunTool("command -v " + Name, ignored);
}

inline void WriteFileBytes(const std::filesystem::path& Path, const std::string& Bytes) {
    std::ofstream out(Path, std::ios::binary);
    out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}
