// Times full repaints of the image view: a 4096 x 4096 result (a 1024 x 1024
// source at factor 4) shown in a 1920 x 1080 viewport at zooms 1, 8 and 32
// with the grid and a hover outline on, at several scroll positions. Prints
// the median and the 95th percentile over 200 paints per zoom, of the wall
// time and, as a figure less shaken by other work on a busy machine, of the
// CPU time the whole process spent (Qt may share a blit among threads).
//
// Run offscreen in a Release build:
//   QT_QPA_PLATFORM=offscreen build/release/bench/gui/gridmint-view-bench
#include "ViewSamples.h"
#include "ui/CGridmintView.h"

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kPaints = 200;

double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const auto bitmap = gridmint::sample::BlockResult(1024, 1024, 4);

    gridmint::CGridmintView view;
    view.resize(1920, 1080);
    view.show();
    // Grow the widget until the viewport itself is 1920 x 1080.
    const QSize chrome = view.size() - view.viewport()->size();
    view.resize(QSize(1920, 1080) + chrome);
    view.setDisplayedBitmap(bitmap.get());
    view.setResultScale(4);
    view.setGridShown(true);
    view.setHoverShown(true);
    view.setHoverPos(2000, 2000);
    view.RefreshExtent();
    QApplication::processEvents();
    std::printf("viewport %dx%d\n", view.viewport()->width(), view.viewport()->height());

    bool ok = true;
    for (const int zoom : {1, 8, 32}) {
        view.SetZoom(zoom, -1, -1);
        QScrollBar* h = view.horizontalScrollBar();
        QScrollBar* v = view.verticalScrollBar();
        std::vector<double> ms;
        std::vector<double> cpu;
        ms.reserve(kPaints);
        cpu.reserve(kPaints);
        for (int i = 0; i < kPaints; ++i) {
            // Eight spots across the image, off the cell edges on purpose.
            const int spot = i % 8;
            h->setValue(h->maximum() / 7 * spot + spot * 5);
            v->setValue(v->maximum() / 7 * ((spot * 3) % 8) + spot * 3);
            // The scroll bars repaint themselves first; only the view's own
            // paint is timed.
            QApplication::processEvents();
            const double cpuStart = ProcessCpuMs();
            const auto start = std::chrono::steady_clock::now();
            view.viewport()->repaint();
            const auto end = std::chrono::steady_clock::now();
            cpu.push_back(ProcessCpuMs() - cpuStart);
            ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
        const double median = Percentile(ms, 0.5);
        const double p95 = Percentile(ms, 0.95);
        std::printf("zoom %2d: median %.2f ms, p95 %.2f ms over %d paints (CPU median %.2f, p95 "
                    "%.2f ms)\n",
                    zoom, median, p95, kPaints, Percentile(cpu, 0.5), Percentile(cpu, 0.95));
        ok = ok && p95 < 8.0;
    }
    std::printf("%s\n", ok ? "p95 under 8 ms at every zoom" : "p95 over 8 ms at some zoom");
    return 0;
}
