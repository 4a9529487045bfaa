// The document's per-event costs: a brush stroke must not grow with the
// image, and a threshold step must not rebuild what it can reuse.
#include "app/ScaleDocument.h"
#include "image/Codecs.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A document holding a plain enlargement of a side x side source at `factor`.
std::unique_ptr<gridmint::ScaleDocument> makeDocument(std::int32_t side, std::int32_t factor,
                                                      bool passes)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(side) * side);
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x)
            pixels[static_cast<std::size_t>(y) * side + x] =
                static_cast<std::uint8_t>(((x + y) / 7 + (x / 16) * (y / 16)) % 16);
    }
    std::vector<gridmint::Colour> palette;
    for (std::uint32_t i = 0; i < 16; ++i)
        palette.push_back(0xFF000000u | (i * 0x0F0B07u));
    const fs::path file =
        fs::temp_directory_path() / ("gridmint-bench-" + std::to_string(side) + ".png");
    if (!gridmint::writePng(file, pixels.data(), side, side, side, palette.data(), 16))
        throw std::runtime_error("cannot write the benchmark image");
    auto doc = std::make_unique<gridmint::ScaleDocument>();
    const bool ok = doc->Load(file) && doc->Apply(factor, 20, false, 0, passes) != nullptr;
    fs::remove(file);
    if (!ok)
        throw std::runtime_error("cannot enlarge the benchmark image");
    return doc;
}

// One drag event of the nearest brush, thickness 10, on a result of
// range(0) x range(0) pixels (factor 4). No snapshot: only the first event
// of a stroke takes one.
void BM_PaintNearestDrag(benchmark::State& state)
{
    const auto resultSide = static_cast<std::int32_t>(state.range(0));
    auto doc = makeDocument(resultSide / 4, 4, false);
    std::int32_t x = 0;
    for (auto _ : state) {
        x = (x + 37) % resultSide;
        benchmark::DoNotOptimize(doc->PaintNearest(x, resultSide / 2, 10));
    }
}
BENCHMARK(BM_PaintNearestDrag)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);

// The first event of a stroke: the same paint plus the undo snapshot, which
// copies the whole result in place.
void BM_PaintNearestPress(benchmark::State& state)
{
    const auto resultSide = static_cast<std::int32_t>(state.range(0));
    auto doc = makeDocument(resultSide / 4, 4, false);
    doc->setSnapshotPending(true);
    doc->PaintNearest(0, 0, 1); // the first snapshot allocates; later ones copy
    for (auto _ : state) {
        doc->setSnapshotPending(true);
        benchmark::DoNotOptimize(doc->PaintNearest(resultSide / 2, resultSide / 2, 10));
    }
}
BENCHMARK(BM_PaintNearestPress)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);

// A threshold step (reused job, result raster refilled in place) against a
// forced rebuild, 256 x 256 at factor 8.
void BM_ApplyThresholdStep(benchmark::State& state)
{
    auto doc = makeDocument(256, 8, true);
    const bool force = state.range(0) != 0;
    double t = 20;
    for (auto _ : state) {
        t = t == 20 ? 21 : 20;
        benchmark::DoNotOptimize(doc->Apply(8, t, force, 0));
    }
}
BENCHMARK(BM_ApplyThresholdStep)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
