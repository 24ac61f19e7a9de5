// Times the view's repaint paths on the off-screen platform with a 24-megapixel picture in a
// 1920 x 1080 view, with the viewer's zoom filter (rfFastLinear) and without: a full repaint of
// the fitted picture after Update (zoom and composition), a repaint without change, a zoom
// change, and a 16-pixel scroll step at 100 % and at 50 %.
//
// Usage: sv_bench_repaint [RUNS] [CASE]
// Prints one line per case: name and the best time of RUNS runs in ms. With CASE, only the cases
// whose name begins with it are timed (for a profiler run of one path).
#include "imaging/core/VLThreadPool.h"
#include "imaging/view/VistrelView.h"
#include "platform/ui/Forms.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

const char* OnlyCase = nullptr;

bool Wanted(const std::string& Name) {
    return OnlyCase == nullptr || std::strncmp(Name.c_str(), OnlyCase, std::strlen(OnlyCase)) == 0;
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

// Times Work when the case is wanted and prints its line.
void Report(const std::string& Name, int Runs, const std::function<void()>& Work) {
    if (!Wanted(Name)) return;
    std::printf("%s %.2f\n", Name.c_str(), BestMs(Runs, Work));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (argc > 2) OnlyCase = argv[2];
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

    // Each case with the viewer's zoom filter and with none; the zoom change also on one thread.
    for (const TResampleFilter filter : {rfFastLinear, rfNone}) {
        const std::string suffix = filter == rfNone ? "nearest" : "fastlinear";
        view->SetZoomFilter(filter);
        view->Fit();
        Report("repaint-fit-24mp-" + suffix, runs, [&] {
            view->Update();
            view->Paint();
        });
        Report("repaint-unchanged-" + suffix, runs, [&] {
            view->InvalidateClientRect(Rect(0, 0, 1920, 1080));
            view->Paint();
        });
        int32_t zoomStep = 0;
        for (const int32_t threads : {0, 1}) {
            VLThreadCount = threads;
            Report("zoom-change-" + suffix + (threads == 1 ? "-1thread" : ""), runs, [&] {
                view->SetZoom(++zoomStep % 2 == 0 ? 25 : 26);
                view->Paint();
            });
        }
        VLThreadCount = 0;
        for (const double percent : {100.0, 50.0}) {
            const std::string name =
                "scroll-step-" + std::to_string(static_cast<int>(percent)) + "-" + suffix;
            if (!Wanted(name)) continue;
            view->SetZoom(percent);
            view->SetViewXY(0, 0);
            view->Paint();
            int32_t x = 0;
            Report(name, runs, [&] { view->SetViewXY(x += 16, 0); });
        }
    }
    return 0;
}
