// A small bounded fuzz loop for the metadata parsers: every truncation of a valid sample, the
// sample with random bytes changed, and buffers of random bytes. Each buffer is a heap block of
// exactly its length, so that AddressSanitizer reports any read past its end.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

using TFuzzTarget = std::function<void(const uint8_t* Data, int32_t Length)>;

inline void RunFuzzBuffer(const TFuzzTarget& Target, const uint8_t* Bytes, size_t Length) {
    auto copy = std::make_unique<uint8_t[]>(Length == 0 ? 1 : Length);
    if (Length > 0) std::memcpy(copy.get(), Bytes, Length);
    Target(copy.get(), static_cast<int32_t>(Length));
}

// Iterations random cases after the truncations; the seed keeps every run the same.
inline void FuzzParser(const std::vector<uint8_t>& Sample, const TFuzzTarget& Target,
                       int Iterations = 3000, uint32_t Seed = 20240611) {
    // Every length of a small sample; about 2,000 lengths spread over a large one.
    const size_t step = Sample.size() / 2048 + 1;
    for (size_t n = 0; n <= Sample.size(); n += step)
        RunFuzzBuffer(Target, Sample.data(), n);
    RunFuzzBuffer(Target, Sample.data(), Sample.size());
    std::mt19937 random(Seed);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < Iterations; ++i) {
        std::vector<uint8_t> buffer;
        if (i % 3 != 2 && !Sample.empty()) {
            buffer = Sample;
            std::uniform_int_distribution<size_t> where(0, buffer.size() - 1);
            const int changes = 1 + i % 8;
            for (int c = 0; c < changes; ++c)
                buffer[where(random)] = static_cast<uint8_t>(byte(random));
            buffer.resize(std::uniform_int_distribution<size_t>(0, buffer.size())(random));
        } else {
            buffer.resize(std::uniform_int_distribution<size_t>(0, 512)(random));
            for (auto& b : buffer)
                b = static_cast<uint8_t>(byte(random));
        }
        RunFuzzBuffer(Target, buffer.data(), buffer.size());
    }
}
