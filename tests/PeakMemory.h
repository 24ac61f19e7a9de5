// The process's peak address-space size, for tests that show an operation never reserves a
// block of a size its input only pretends to need. Address space counts a block whether or not
// its pages are touched, so the check holds with and without the sanitizers' allocator.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

// VmPeak of /proc/self/status in bytes; -1 when the line is missing.
inline int64_t PeakAddressSpaceBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmPeak:", 0) == 0) return std::stoll(line.substr(7)) * 1024;
    return -1;
}
