// Helpers of the PostScript and PDF writer tests: pictures with runs and detail, the writers
// into memory, and our documents rendered back to pixels by Ghostscript and poppler.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/io/VLFileFormats.h"
#include "imaging/io/VLIOParams.h"
#include "platform/rtl/Classes.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace document_test {

using TBytes = std::vector<uint8_t>;

// A stream that takes only its first Room bytes: a disk that fills during a save.
class TShortStream : public TMemoryStream {
public:
    explicit TShortStream(int64_t Room) : FRoom(Room) {}
    int32_t Write(const void* Buffer, int32_t Count) override {
        const int64_t left = std::max<int64_t>(0, FRoom - GetPosition());
        return TMemoryStream::Write(Buffer, int32_t(std::min<int64_t>(Count, left)));
    }

private:
    int64_t FRoom;
};

// A picture with long runs, short runs and noise, so that every coding meets all three: vl1g
// (a set bit is white) or vl24RGB with smooth gradients when Smooth is set (JPEG keeps them).
inline void MakePicture(TVLBitmap& Bitmap, int32_t W, int32_t H, TVLPixelFormat Format,
                        bool Smooth = false, uint32_t Seed = 1) {
    ASSERT_TRUE(Bitmap.Allocate(W, H, Format));
    std::mt19937 random(Seed);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            const bool noisy = (y / 3) % 4 == 1;
            if (Format == TVLPixelFormat::vl1g) {
                const bool white = noisy ? (random() & 1) != 0 : ((x / (1 + y % 7)) + y) % 3 != 0;
                if (white)
                    row[x / 8] |= uint8_t(0x80 >> (x % 8));
                else
                    row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
                continue;
            }
            for (int32_t c = 0; c < 3; ++c) {
                uint8_t v = 0;
                if (Smooth)
                    v = uint8_t(x * 150 / W + y * 60 / H + c * 20);
                else
                    v = noisy ? uint8_t(random()) : uint8_t((x / 5) * 40 + c * 70 + y);
                row[3 * x + c] = v;
            }
        }
    }
}

// The picture as a renderer shows it: grey 0 or 255 per pixel for vl1g, else red, green, blue.
inline TBytes ExpectedSamples(TVLBitmap& Bitmap) {
    TBytes out;
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            if (Bitmap.GetPixelFormat() == TVLPixelFormat::vl1g)
                out.push_back((row[x / 8] & (0x80 >> (x % 8))) != 0 ? 255 : 0);
            else
                out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
    }
    return out;
}

// Luma of the picture's red, green and blue samples.
inline TBytes LumaOf(const TBytes& RGB) {
    TBytes out;
    for (size_t i = 0; i + 2 < RGB.size(); i += 3)
        out.push_back(
            uint8_t(std::lround(0.299 * RGB[i] + 0.587 * RGB[i + 1] + 0.114 * RGB[i + 2])));
    return out;
}

inline double PSNR(const TBytes& A, const TBytes& B) {
    if (A.size() != B.size() || A.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < A.size(); ++i)
        sum += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
    if (sum == 0) return 99;
    return 10 * std::log10(255.0 * 255.0 * double(A.size()) / sum);
}

using TWriter = void (*)(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&);

// The writer's output; Aborted tells whether it set the abort flag.
inline TBytes WriteDocument(TWriter Writer, TVLBitmap& Bitmap, TIOParamsVals& Params,
                            bool& Aborted) {
    TMemoryStream stream;
    Aborted = false;
    TVLProgressRecord progress;
    progress.AbortFlag = &Aborted;
    Writer(stream, Bitmap, Params, progress);
    const auto* data = static_cast<const uint8_t*>(stream.Memory());
    return TBytes(data, data + stream.GetSize());
}

inline std::string Text(const TBytes& Bytes) {
    return std::string(Bytes.begin(), Bytes.end());
}

inline void SaveFile(const std::string& Path, const TBytes& Bytes) {
    std::ofstream out(Path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

inline std::string LoadFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A binary netpbm file (P4, P5 or P6 of maxval 255): its size and samples, one byte per sample,
// bits of P4 turned into 0 (black) and 255 (white).
struct TRaster {
    int32_t Width = 0, Height = 0, Channels = 0;
    TBytes Samples;
};

inline bool ParseRaster(const std::string& File, TRaster& Out) {
    std::istringstream in(File);
    // The header's numbers, skipping comment lines (Ghostscript writes one).
    const auto number = [&in](int32_t& Value) {
        while ((in >> std::ws).peek() == '#')
            in.ignore(1 << 20, '\n');
        in >> Value;
    };
    std::string magic;
    in >> magic;
    number(Out.Width);
    number(Out.Height);
    int32_t maxval = 1;
    if (magic != "P4") number(maxval);
    in.get();
    if (!in || maxval != (magic == "P4" ? 1 : 255)) return false;
    const std::string rest = File.substr(size_t(in.tellg()));
    Out.Samples.clear();
    if (magic == "P4") {
        Out.Channels = 1;
        const size_t rowBytes = (size_t(Out.Width) + 7) / 8;
        if (rest.size() < rowBytes * Out.Height) return false;
        for (int32_t y = 0; y < Out.Height; ++y)
            for (int32_t x = 0; x < Out.Width; ++x)
                Out.Samples.push_back(
                    (uint8_t(rest[y * rowBytes + x / 8]) & (0x80 >> (x % 8))) != 0 ? 0 : 255);
        return true;
    }
    Out.Channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    const size_t size = size_t(Out.Width) * Out.Height * Out.Channels;
    if (Out.Channels == 0 || rest.size() < size) return false;
    Out.Samples.assign(rest.begin(), rest.begin() + std::ptrdiff_t(size));
    return true;
}

// Ghostscript's rendering of every page of File at 72 dpi on a W x H point page, grey or colour;
// false when it failed.
inline bool GhostscriptPages(const std::string& File, int32_t W, int32_t H, bool Grey,
                             std::vector<TRaster>& Pages) {
    const std::string pattern = File + "-page%d.pnm";
    std::string log;
    if (!RunTool(
            "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=" + std::string(Grey ? "pgmraw" : "ppmraw") +
                " -r72 -dDEVICEWIDTHPOINTS=" + std::to_string(W) + " -dDEVICEHEIGHTPOINTS=" +
                std::to_string(H) + " -dFIXEDMEDIA -sOutputFile='" + pattern + "' '" + File + "'",
            log))
        return false;
    Pages.clear();
    for (int32_t page = 1;; ++page) {
        const std::string name = File + "-page" + std::to_string(page) + ".pnm";
        if (!std::filesystem::exists(name)) break;
        TRaster raster;
        if (!ParseRaster(LoadFile(name), raster)) return false;
        Pages.push_back(std::move(raster));
    }
    return !Pages.empty();
}

inline bool GhostscriptPage(const std::string& File, int32_t W, int32_t H, bool Grey,
                            TRaster& Page) {
    std::vector<TRaster> pages;
    if (!GhostscriptPages(File, W, H, Grey, pages) || pages.size() != 1) return false;
    Page = std::move(pages[0]);
    return true;
}

inline bool HasRenderers() {
    return ToolExists("gs") && ToolExists("pdftoppm") && ToolExists("pdfimages") &&
           ToolExists("pdfinfo") && ToolExists("qpdf");
}

} // namespace document_test
