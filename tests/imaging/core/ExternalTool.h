// Running the reference tools (exiftool, transicc, qpdf) from a test, in a private scratch
// folder that disappears with the test.
#pragma once

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline bool ToolAvailable(const std::string& Name) {
    return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0;
}

// A folder of its own for the running test.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Unique per run: two runs of one test on a machine must not share (and delete) it.
        FPath = UniqueTempPath(std::string("meta-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::create_directories(FPath);
    }
    ~ScratchFolder() { std::filesystem::remove_all(FPath); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

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
        const std::string out = File("tool-output.txt");
        const int rc = std::system((Command + " >" + out + " 2>/dev/null").c_str());
        std::ifstream in(out, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        Output = text.str();
        return rc == 0;
    }

private:
    std::filesystem::path FPath;
};
