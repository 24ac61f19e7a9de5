// Times the peers of the resampling and palette cases in process, on pixels already in memory:
// libvips through its C interface (operation cache off, the result written to memory),
// ImageMagick through Magick++, and libimagequant for palettes. Only the call is timed.
//
// Usage: sv_bench_peers FOLDER THREADS [RUNS]
// FOLDER holds source.ppm and palette-source.ppm as sv_bench_resample writes them; THREADS is
// the number of threads each peer may use. Prints one line per case: name and the best time of
// RUNS runs in ms; writes the palette results as palette-magick.ppm and palette-liq.ppm.
#include <Magick++.h>
#include <libimagequant.h>
#include <vips/vips.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct TPicture {
    int Width = 0, Height = 0;
    std::vector<unsigned char> Rgb;
};

TPicture ReadPpm(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::string magic;
    int max = 0;
    TPicture p;
    in >> magic >> p.Width >> p.Height >> max;
    in.get();
    p.Rgb.resize(static_cast<size_t>(p.Width) * p.Height * 3);
    in.read(reinterpret_cast<char*>(p.Rgb.data()), static_cast<std::streamsize>(p.Rgb.size()));
    if (magic != "P6" || max != 255 || !in) {
        std::fprintf(stderr, "sv_bench_peers: cannot read %s\n", Path.c_str());
        std::exit(1);
    }
    return p;
}

void WritePpm(const std::string& Path, int Width, int Height, const unsigned char* Rgb) {
    std::ofstream out(Path, std::ios::binary);
    out << "P6\n" << Width << " " << Height << "\n255\n";
    out.write(reinterpret_cast<const char*>(Rgb), static_cast<std::streamsize>(Width) * Height * 3);
}

double BestMs(int Runs, const std::function<void()>& Work) {
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        Work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// libvips: the picture reduced by Scale with Kernel, written to memory.
void VipsCase(const char* Name, const TPicture& P, double Scale, VipsKernel Kernel, int Runs) {
    VipsImage* in = vips_image_new_from_memory(P.Rgb.data(), P.Rgb.size(), P.Width, P.Height, 3,
                                               VIPS_FORMAT_UCHAR);
    const double ms = BestMs(Runs, [&] {
        VipsImage* out = nullptr;
        if (vips_resize(in, &out, Scale, "kernel", Kernel, nullptr) != 0) vips_error_exit(nullptr);
        size_t size = 0;
        void* pixels = vips_image_write_to_memory(out, &size);
        g_free(pixels);
        g_object_unref(out);
    });
    g_object_unref(in);
    std::printf("vips-%s %.2f\n", Name, ms);
}

// The time of the resize alone: the copy of the source is taken outside the timed call.
void MagickResizeCase(const char* Name, const TPicture& P, const char* Size,
                      MagickCore::FilterTypes Filter, int Runs) {
    const Magick::Image source(P.Width, P.Height, "RGB", Magick::CharPixel, P.Rgb.data());
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        Magick::Image image(source);
        image.modifyImage();
        image.filterType(Filter);
        best = std::min(best, BestMs(1, [&] { image.resize(Magick::Geometry(Size)); }));
    }
    std::printf("magick-%s %.2f\n", Name, best);
}

void MagickPalette(const TPicture& P, const std::string& Folder, int Runs) {
    const Magick::Image source(P.Width, P.Height, "RGB", Magick::CharPixel, P.Rgb.data());
    double best = 1e300;
    Magick::Image result;
    for (int i = 0; i < Runs; ++i) {
        Magick::Image image(source);
        image.modifyImage();
        image.quantizeColors(256);
        image.quantizeDither(false);
        best = std::min(best, BestMs(1, [&] { image.quantize(); }));
        result = image;
    }
    std::vector<unsigned char> rgb(P.Rgb.size());
    result.write(0, 0, P.Width, P.Height, "RGB", Magick::CharPixel, rgb.data());
    WritePpm(Folder + "/palette-magick.ppm", P.Width, P.Height, rgb.data());
    std::printf("magick-palette-256 %.2f\n", best);
}

void LiqPalette(const TPicture& P, const std::string& Folder, int Runs) {
    std::vector<unsigned char> rgba(static_cast<size_t>(P.Width) * P.Height * 4);
    for (size_t i = 0, n = static_cast<size_t>(P.Width) * P.Height; i < n; ++i) {
        std::copy_n(&P.Rgb[3 * i], 3, &rgba[4 * i]);
        rgba[4 * i + 3] = 255;
    }
    std::vector<unsigned char> indexes(static_cast<size_t>(P.Width) * P.Height);
    const liq_palette* palette = nullptr;
    liq_attr* attr = liq_attr_create();
    liq_set_max_colors(attr, 256);
    std::vector<liq_result*> results;
    std::vector<liq_image*> images;
    const double ms = BestMs(Runs, [&] {
        liq_image* image = liq_image_create_rgba(attr, rgba.data(), P.Width, P.Height, 0);
        liq_result* result = nullptr;
        if (liq_image_quantize(image, attr, &result) != LIQ_OK) std::exit(1);
        liq_set_dithering_level(result, 0);
        liq_write_remapped_image(result, image, indexes.data(), indexes.size());
        palette = liq_get_palette(result);
        results.push_back(result);
        images.push_back(image);
    });
    std::vector<unsigned char> rgb(P.Rgb.size());
    for (size_t i = 0; i < indexes.size(); ++i) {
        const liq_color c = palette->entries[indexes[i]];
        rgb[3 * i] = c.r;
        rgb[3 * i + 1] = c.g;
        rgb[3 * i + 2] = c.b;
    }
    WritePpm(Folder + "/palette-liq.ppm", P.Width, P.Height, rgb.data());
    for (liq_result* r : results)
        liq_result_destroy(r);
    for (liq_image* i : images)
        liq_image_destroy(i);
    liq_attr_destroy(attr);
    std::printf("liq-palette-256 %.2f\n", ms);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER THREADS [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int threads = std::max(1, std::atoi(argv[2]));
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    if (VIPS_INIT(argv[0]) != 0) vips_error_exit(nullptr);
    vips_cache_set_max(0);
    vips_concurrency_set(threads);
    Magick::InitializeMagick(argv[0]);
    MagickCore::SetMagickResourceLimit(MagickCore::ThreadResource, threads);

    const TPicture source = ReadPpm(folder + "/source.ppm");
    VipsCase("lanczos3-1920", source, 0.32, VIPS_KERNEL_LANCZOS3, runs);
    VipsCase("bilinear-1920", source, 0.32, VIPS_KERNEL_LINEAR, runs);
    VipsCase("bicubic-1920", source, 0.32, VIPS_KERNEL_CUBIC, runs);
    MagickResizeCase("lanczos3-1920", source, "1920x1280!", MagickCore::LanczosFilter, runs);
    MagickResizeCase("bilinear-1920", source, "1920x1280!", MagickCore::TriangleFilter, runs);
    MagickResizeCase("bicubic-1920", source, "1920x1280!", MagickCore::CatromFilter, runs);

    const TPicture photo = ReadPpm(folder + "/palette-source.ppm");
    MagickPalette(photo, folder, runs);
    LiqPalette(photo, folder, runs);
    vips_shutdown();
    return 0;
}
