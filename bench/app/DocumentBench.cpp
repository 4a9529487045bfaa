// The document's per-event costs: a brush stroke must not grow with the
// image, and a threshold step must not rebuild what it can reuse. The
// history: undo and redo of a stroke, its recording, and what strokes keep.
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
// forced rebuild, 256 x 256 at factor 8; with range(0) == 2 the history is
// on and every step keeps the previous job and result for undo.
void BM_ApplyThresholdStep(benchmark::State& state)
{
    auto doc = makeDocument(256, 8, true);
    const bool force = state.range(0) == 1;
    if (state.range(0) == 2)
        doc->history().setBudget(gridmint::EditHistory::kDefaultBudget);
    double t = 20;
    for (auto _ : state) {
        t = t == 20 ? 21 : 20;
        benchmark::DoNotOptimize(doc->Apply(8, t, force, 0));
    }
}
BENCHMARK(BM_ApplyThresholdStep)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// A document with the history on, range(0) x range(0) result pixels at
// factor 4 with the slope passes, so that the nearest brush changes pixels.
std::unique_ptr<gridmint::ScaleDocument> makeHistoryDocument(const benchmark::State& state)
{
    const auto resultSide = static_cast<std::int32_t>(state.range(0));
    auto doc = makeDocument(resultSide / 4, 4, true);
    doc->history().setBudget(gridmint::EditHistory::kDefaultBudget);
    return doc;
}

// One stroke: the nearest brush, thickness 10, over 256 result pixels of
// row y, as a drag of events 16 pixels apart.
void stroke(gridmint::ScaleDocument& doc, std::int32_t y)
{
    doc.BeginStroke();
    for (std::int32_t x = 16; x <= 256; x += 16)
        doc.PaintNearestAlong({x - 16, y}, {x, y}, 10);
    doc.EndStroke();
}

// Undo and redo of one thickness-10 stroke (one pair per iteration).
void BM_StrokeUndoRedo(benchmark::State& state)
{
    auto doc = makeHistoryDocument(state);
    stroke(*doc, 100);
    if (doc->history().size() != 1)
        state.SkipWithError("the stroke changed nothing");
    for (auto _ : state) {
        doc->UndoStep();
        doc->RedoStep();
    }
    state.counters["step_bytes"] = static_cast<double>(doc->history().bytes());
}
BENCHMARK(BM_StrokeUndoRedo)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);

// Painting and recording one stroke, then undoing it so that the next one
// changes the same pixels again. Compare 1024 with 4096: the cost follows
// the stroke, not the image.
void BM_StrokeRecord(benchmark::State& state)
{
    auto doc = makeHistoryDocument(state);
    for (auto _ : state) {
        stroke(*doc, 100);
        doc->UndoStep();
    }
}
BENCHMARK(BM_StrokeRecord)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);

// What 100 strokes at different places keep in the history.
void BM_HistoryOf100Strokes(benchmark::State& state)
{
    auto doc = makeHistoryDocument(state);
    for (auto _ : state) {
        state.PauseTiming();
        doc->history().clear(false);
        state.ResumeTiming();
        for (std::int32_t i = 0; i < 100; ++i)
            stroke(*doc, 40 + i * 38);
    }
    state.counters["steps"] = static_cast<double>(doc->history().size());
    state.counters["history_KiB"] = static_cast<double>(doc->history().bytes()) / 1024.0;
}
BENCHMARK(BM_HistoryOf100Strokes)->Arg(4096)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
