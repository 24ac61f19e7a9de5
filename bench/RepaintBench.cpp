// Times the view's repaint paths on the off-screen platform: a full repaint of a 24-megapixel
// picture fitted to a 1920 x 1080 view (composition and copy to the window), and a 1:1 scroll
// step of the same picture (the back buffer and the lookup tables are kept).
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

    view->Fit();
    const double full = BestMs(runs, [&] {
        view->Update();
        view->Paint();
    });
    std::printf("repaint-fit-24mp %.2f\n", full);

    view->SetZoom(100);
    view->SetViewXY(0, 0);
    int32_t x = 0;
    const double step = BestMs(runs, [&] { view->SetViewXY(x += 16, 0); });
    std::printf("scroll-step-1to1 %.2f\n", step);
    return 0;
}
