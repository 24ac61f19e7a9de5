// Times QPainter's drawImage scaling on the renderer benchmark's cases: the picture written by
// sv_bench_resample, 24-bit, drawn opaque into a 24-bit image of 2000 x 1400 pixels at 50, 100
// and 300 per cent, without (nearest) and with (bilinear) smooth transformation, one thread.
//
// Usage: sv_bench_qpainter SOURCE_PPM [RUNS]
// Prints one line per case: name, destination size and the best time of RUNS runs in ms.
#include <QImage>
#include <QPainter>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// The window of sv_bench_resample's render cases.
constexpr int RenderWidth = 2000, RenderHeight = 1400, RenderX = 500, RenderY = 300;

void Case(const char* Name, const QImage& Source, int Zoom, bool Smooth, int Runs) {
    QImage dest(RenderWidth, RenderHeight, QImage::Format_RGB888);
    dest.fill(Qt::black);
    const QRectF target(0, 0, RenderWidth, RenderHeight);
    const QRectF from(RenderX, RenderY, RenderWidth * 100 / Zoom, RenderHeight * 100 / Zoom);
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        QPainter painter(&dest);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, Smooth);
        const auto start = std::chrono::steady_clock::now();
        painter.drawImage(target, Source, from);
        painter.end();
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    std::printf("%s %dx%d %.2f\n", Name, RenderWidth, RenderHeight, best);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOURCE_PPM [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    const QImage source =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB888);
    if (source.isNull()) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    Case("render-nearest-50", source, 50, false, runs);
    Case("render-nearest-100", source, 100, false, runs);
    Case("render-nearest-300", source, 300, false, runs);
    Case("render-fastlinear-50", source, 50, true, runs);
    Case("render-fastlinear-100", source, 100, true, runs);
    Case("render-fastlinear-300", source, 300, true, runs);
    return 0;
}
