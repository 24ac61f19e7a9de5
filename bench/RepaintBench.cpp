// Times the view's repaint paths on the off-screen platform with a 24-megapixel picture in a
// 1920 x 1080 view, with the viewer's zoom filter (rfFastLinear) and without: a full repaint of
// the fitted picture after Update (zoom and composition), a repaint without change, a zoom
// change, and a 16-pixel scroll step at 100 % and at 50 %.
//
// Usage: sv_bench_repaint [RUNS]
// Prints one line per case: name and the best time of RUNS runs in ms.
#include "imaging/view/VistrelView.h"
#include "platform/ui/Forms.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr int32_t PictureWidth = 6000;
constexpr int32_t PictureHeight = 4000;

void FillSynthetic(TVLBitmap& Bitmap) {
    for (int32_t y = 0; y < Bitmap.GetHeight(); ++y) {
        uint8_t* row = Bitmap.GetScanline(y);
        for (int32_t x = 0; x < Bitmap.GetWidth(); ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 255 / PictureWidth);
            row[3 * x + 1] = static_cast<uint8_t>(y * 255 / PictureHeight);
            row[3 * x + 2] = static_cast<uint8_t>(((x ^ y) & 0x3F) * 4);
        }
    }
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

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ReadScreenGlobals();
    TForm form(nullptr);
    form.SetBounds(0, 0, 1960, 1120);
    auto* view = new TVistrelView(&form);
    view->SetBorderStyle(bsNone);
    view->SetScrollBars(ssNone);
    view->SetParent(&form);
    view->SetBounds(0, 0, 1920, 1080);
    view->Handle();
    TVLBitmap& picture = *view->GetVLBitmap();
    if (!picture.Allocate(PictureWidth, PictureHeight, TVLPixelFormat::vl24RGB)) return 1;
    FillSynthetic(picture);
    view->Update();

    // Each case with the viewer's zoom filter and with none.
    for (const TResampleFilter filter : {rfFastLinear, rfNone}) {
        const char* suffix = filter == rfNone ? "nearest" : "fastlinear";
        view->SetZoomFilter(filter);
        view->Fit();
        const double full = BestMs(runs, [&] {
            view->Update();
            view->Paint();
        });
        std::printf("repaint-fit-24mp-%s %.2f\n", suffix, full);
        const double unchanged = BestMs(runs, [&] {
            view->InvalidateClientRect(Rect(0, 0, 1920, 1080));
            view->Paint();
        });
        std::printf("repaint-unchanged-%s %.2f\n", suffix, unchanged);
        int32_t zoomStep = 0;
        const double zoom = BestMs(runs, [&] {
            view->SetZoom(++zoomStep % 2 == 0 ? 25 : 26);
            view->Paint();
        });
        std::printf("zoom-change-%s %.2f\n", suffix, zoom);
        for (const double percent : {100.0, 50.0}) {
            view->SetZoom(percent);
            view->SetViewXY(0, 0);
            view->Paint();
            int32_t x = 0;
            const double step = BestMs(runs, [&] { view->SetViewXY(x += 16, 0); });
            std::printf("scroll-step-%d-%s %.2f\n", static_cast<int>(percent), suffix, step);
        }
    }
    return 0;
}
