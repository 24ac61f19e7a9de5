// Generated pictures, the JPEG tools of libjpeg-turbo and PPM/PGM files for the JPEG tests.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

struct TPnm {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Channels = 0; // 1 for PGM, 3 for PPM (red, green, blue)
    std::vector<uint8_t> Pixels;
};

inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& Path, const std::vector<uint8_t>& Bytes) {
    std::ofstream out(Path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
}

// A binary PGM or PPM with a maximum of 255; Width 0 when the file is not one.
inline TPnm ReadPnm(const std::filesystem::path& Path) {
    TPnm pnm;
    std::ifstream in(Path, std::ios::binary);
    std::string magic;
    int32_t maxValue = 0;
    in >> magic >> pnm.Width >> pnm.Height >> maxValue;
    in.get();
    if (!in || maxValue != 255 || (magic != "P5" && magic != "P6")) return {};
    pnm.Channels = magic == "P5" ? 1 : 3;
    pnm.Pixels.resize(static_cast<size_t>(pnm.Width) * pnm.Height * pnm.Channels);
    in.read(reinterpret_cast<char*>(pnm.Pixels.data()),
            static_cast<std::streamsize>(pnm.Pixels.size()));
    return pnm;
}

// A smooth synthetic photograph with seeded noise, as a PPM file: gradients, a disc and fine
// detail, so that every chroma sampling and DCT method gives visibly different pixels.
inline void WriteSyntheticPhoto(const std::filesystem::path& Path, int32_t Width, int32_t Height,
                                uint32_t Seed = 7) {
    std::mt19937 random(Seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << Width << " " << Height << "\n255\n";
    std::vector<uint8_t> row(static_cast<size_t>(Width) * 3);
    for (int32_t y = 0; y < Height; ++y) {
        for (int32_t x = 0; x < Width; ++x) {
            const int dx = x - Width / 2, dy = y - Height / 2;
            const bool disc = dx * dx + dy * dy < (Width * Width) / 16;
            const int r = x * 255 / std::max(Width - 1, 1) + noise(random);
            const int g = disc ? 200 + noise(random) : y * 255 / std::max(Height - 1, 1);
            const int b = ((x / 3 + y / 5) % 2 != 0 ? 180 : 60) + noise(random);
            row[x * 3] = static_cast<uint8_t>(std::clamp(r, 0, 255));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(b, 0, 255));
        }
        out.write(reinterpret_cast<const char*>(row.data()),
                  static_cast<std::streamsize>(row.size()));
    }
}

// Runs a shell command whatever its exit status: djpeg exits with 2 after a warning and still
// writes its picture. Callers check the files it should have made.
inline void RunCommand(const std::string& Command) {
    [[maybe_unused]] const int status = std::system((Command + " >/dev/null 2>&1").c_str());
}

// The system's python3 when it has Pillow (a python3 earlier in PATH may not); empty otherwise.
inline std::string PillowPython() {
    static const bool available =
        std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0;
    return available ? "/usr/bin/python3" : "";
}

inline void LoadStream(TMemoryStream& Stream, const std::vector<uint8_t>& Bytes) {
    Stream.Clear();
    if (!Bytes.empty()) Stream.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    Stream.SetPosition(0);
}

// Counts pixels of Bitmap (vl24RGB or vl8g) that differ from the PNM; a size mismatch counts as
// every pixel. A grey PNM matches a 24-bit bitmap whose three channels carry the grey level.
inline int64_t CountDifferences(TVLBitmap& Bitmap, const TPnm& Pnm) {
    if (Bitmap.GetWidth() != Pnm.Width || Bitmap.GetHeight() != Pnm.Height || Pnm.Width == 0)
        return std::max<int64_t>(int64_t{Pnm.Width} * Pnm.Height, 1);
    const bool grey = Bitmap.GetPixelFormat() == TVLPixelFormat::vl8g;
    int64_t differences = 0;
    for (int32_t y = 0; y < Pnm.Height; ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        const uint8_t* expected =
            Pnm.Pixels.data() + static_cast<size_t>(y) * Pnm.Width * Pnm.Channels;
        for (int32_t x = 0; x < Pnm.Width; ++x) {
            const uint8_t* e = expected + x * Pnm.Channels;
            const uint8_t r = e[0], g = e[Pnm.Channels == 3 ? 1 : 0],
                          b = e[Pnm.Channels == 3 ? 2 : 0];
            const bool same = grey ? row[x] == r && r == g && g == b
                                   : row[x * 3] == b && row[x * 3 + 1] == g && row[x * 3 + 2] == r;
            if (!same) ++differences;
        }
    }
    return differences;
}
