// Times, single-threaded and in memory, the JPEG reader on a 24-megapixel 4:2:0 JPEG of a
// synthetic photograph (cjpeg -quality 90), full size and at 1/8, into a bitmap in memory and
// into a class-library bitmap (what the view shows), against a plain loop over the JPEG library
// with the same settings (blue-green-red rows, integer DCT, same scale) into one buffer. Also
// times djpeg's whole command on the same file, for scale only.
//
// Usage: sv_bench_jpeg OUTPUT_FOLDER [RUNS]
// Prints one line per case: name, output size, the best time of RUNS runs in ms, and for our
// cases the ratio to the peer's time.
#include "imaging/core/VLBitmap.h"
#include "imaging/io/VLJpeg.h"

#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int32_t Width = 6000;
constexpr int32_t Height = 4000;

// Sky, ground and a sunlit disc with soft edges and per-pixel noise, written as a PPM.
void WritePhoto(const std::filesystem::path& Path) {
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << Width << " " << Height << "\n255\n";
    std::vector<uint8_t> row(static_cast<size_t>(Width) * 3);
    uint32_t noise = 88172645u;
    for (int32_t y = 0; y < Height; ++y) {
        const double v = static_cast<double>(y) / Height;
        for (int32_t x = 0; x < Width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = static_cast<int>(noise % 9) - 4;
            const double u = static_cast<double>(x) / Width;
            const double sky = std::clamp((0.45 + 0.05 * std::sin(u * 9) - v) * 40, 0.0, 1.0);
            const double dx = u - 0.7, dy = v - 0.25;
            const double sun = std::clamp((0.1 - std::sqrt(dx * dx + dy * dy)) * 80, 0.0, 1.0);
            double r = sky * (90 + 80 * v) + (1 - sky) * (60 + 90 * u + 30 * std::sin(13 * u));
            double g = sky * (140 + 70 * v) + (1 - sky) * (100 + 60 * std::cos(7 * v + 5 * u));
            double b = sky * (225 - 40 * v) + (1 - sky) * (40 + 30 * u);
            r = sun * 252 + (1 - sun) * r;
            g = sun * 228 + (1 - sun) * g;
            b = sun * 140 + (1 - sun) * b;
            const auto channel = [n](double c) {
                return static_cast<uint8_t>(std::clamp(static_cast<int>(c) + n, 0, 255));
            };
            row[3 * x] = channel(r);
            row[3 * x + 1] = channel(g);
            row[3 * x + 2] = channel(b);
        }
        out.write(reinterpret_cast<const char*>(row.data()),
                  static_cast<std::streamsize>(row.size()));
    }
}

double BestMs(int Runs, const std::function<void()>& Work) {
    double best = 1e30;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Work();
        const auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(end - start).count());
    }
    return best;
}

// The peer: the JPEG library read straight from memory into one buffer of rows.
void PeerDecode(const std::vector<uint8_t>& Jpeg, unsigned Denominator, std::vector<uint8_t>& Out,
                int32_t& OutWidth, int32_t& OutHeight) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, Jpeg.data(), static_cast<unsigned long>(Jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    info.dct_method = JDCT_ISLOW;
    info.scale_num = 1;
    info.scale_denom = Denominator;
    jpeg_start_decompress(&info);
    OutWidth = static_cast<int32_t>(info.output_width);
    OutHeight = static_cast<int32_t>(info.output_height);
    const size_t stride = static_cast<size_t>(OutWidth) * 3;
    Out.resize(stride * OutHeight);
    std::vector<JSAMPROW> rows(OutHeight);
    for (int32_t y = 0; y < OutHeight; ++y)
        rows[y] = Out.data() + stride * y;
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows.data() + info.output_scanline,
                            info.output_height - info.output_scanline);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

double ShellMs(int Runs, const std::string& Command) {
    return BestMs(Runs, [&] { [[maybe_unused]] int rc = std::system(Command.c_str()); });
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sv_bench_jpeg OUTPUT_FOLDER [RUNS]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string ppm = (folder / "jpeg-photo.ppm").string();
    const std::string jpg = (folder / "jpeg-photo.jpg").string();
    WritePhoto(ppm);
    if (std::system(("cjpeg -quality 90 -outfile '" + jpg + "' '" + ppm + "'").c_str()) != 0) {
        std::fprintf(stderr, "sv_bench_jpeg: cjpeg failed (libjpeg-turbo-progs)\n");
        return 1;
    }
    std::vector<uint8_t> jpeg;
    {
        std::ifstream in(jpg, std::ios::binary);
        jpeg.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    TMemoryStream stream;
    stream.Write(jpeg.data(), static_cast<int32_t>(jpeg.size()));

    const struct {
        const char* Name;
        TVLJpegScale Scale;
        unsigned Denominator;
    } scales[] = {{"full", jsFull, 1}, {"eighth", jsEighth, 8}};
    for (const auto& s : scales) {
        std::vector<uint8_t> buffer;
        int32_t w = 0, h = 0;
        const double peer = BestMs(runs, [&] { PeerDecode(jpeg, s.Denominator, buffer, w, h); });
        std::printf("jpeg-%s-peer %dx%d %.1f\n", s.Name, w, h, peer);
        for (const TVLLocation location : {TVLLocation::vlMemory, TVLLocation::vlTBitmap}) {
            TVLBitmap bitmap;
            bitmap.SetLocation(location);
            TIOParamsVals params;
            params.JpegScale = s.Scale;
            bool aborted = false;
            TVLProgressRecord progress{{}, nullptr, 0, 0, 0, &aborted};
            const double ours = BestMs(runs, [&] {
                stream.SetPosition(0);
                ReadJPEGStream(stream, nullptr, bitmap, params, progress, false, false, true, false,
                               true, true, -1, false);
            });
            std::printf("jpeg-%s-%s %dx%d %.1f %.2f%s\n", s.Name,
                        location == TVLLocation::vlMemory ? "memory" : "tbitmap", bitmap.GetWidth(),
                        bitmap.GetHeight(), ours, ours / peer, aborted ? " (aborted)" : "");
        }
    }
    std::printf("djpeg-full-command %dx%d %.1f\n", Width, Height,
                ShellMs(runs, "djpeg -dct int -outfile /dev/null '" + jpg + "'"));
    std::printf("djpeg-eighth-command %dx%d %.1f\n", Width / 8, Height / 8,
                ShellMs(runs, "djpeg -dct int -scale 1/8 -outfile /dev/null '" + jpg + "'"));
    std::filesystem::remove(ppm);
    std::filesystem::remove(jpg);
    return 0;
}
