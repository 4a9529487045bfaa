// Engine speed: memset of the output size, block replication alone, and the
// whole run, on generated pixel art of three kinds at factors 2, 4 and 8.
//
// BM_Run reports, besides its own time, the median replication time measured
// in the same iterations, the run as a multiple of it (`run/repl`) and the
// passes' cost per source pixel (`pass_ns_px`), all from the thread's CPU
// time (see seconds()).
//
// BM_LongLanes times runs along lanes that every later start meets again.
//
// BM_CellsVsWhole runs a sheet in cell mode and the same sheet as one image
// in the same rounds, alternating, and reports the median of the per-round
// ratios: `cells/whole` on the wall clock (cell mode uses every core), and
// `cpu_cells/whole` in CPU time of all threads (its cost in all).
#include "PixelArtImages.h"
#include "engine/CellScale.h"
#include "engine/ScaleJob.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#if defined(__unix__)
#include <time.h>
#endif

namespace gridmint::bench {
namespace {

constexpr ArtKind kKinds[] = {ArtKind::Sprites, ArtKind::Lines, ArtKind::Dither};

double wallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU time of the calling thread (`process` false) or of all threads of the
// process; the wall clock where there is no such clock.
double cpuSeconds(bool process)
{
#if defined(__unix__)
    timespec ts{};
    clock_gettime(process ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#else
    (void)process;
    return wallSeconds();
#endif
}

// The machine is shared with compilers and other jobs; the thread's own CPU
// time is far steadier than the wall clock there.
double seconds()
{
    return cpuSeconds(false);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void BM_Memset(benchmark::State& state)
{
    const std::size_t side = static_cast<std::size_t>(state.range(0) * state.range(1));
    std::vector<std::uint8_t> out(side * side);
    for (auto _ : state) {
        std::memset(out.data(), static_cast<int>(state.iterations() & 0xFF), out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

void BM_Replicate(benchmark::State& state)
{
    const auto kind = kKinds[state.range(2)];
    auto set = makePixelArt(kind, static_cast<int>(state.range(0)));
    ScaleJob job(*set, static_cast<std::int32_t>(state.range(1)), 20, -1);
    job.setThreadCount(1); // timed on the thread's own CPU clock
    for (auto _ : state) {
        job.replicateBlocks();
        benchmark::ClobberMemory();
    }
    const auto& out = job.outputImage();
    state.SetBytesProcessed(state.iterations() * out.width() * out.height());
    state.SetLabel(kindName(kind));
}

void BM_Run(benchmark::State& state)
{
    const auto kind = kKinds[state.range(2)];
    const int size = static_cast<int>(state.range(0));
    auto set = makePixelArt(kind, size);
    ScaleJob job(*set, static_cast<std::int32_t>(state.range(1)), 20, -1);
    job.setThreadCount(1); // timed on the thread's own CPU clock
    std::vector<double> runs, repls;
    for (auto _ : state) {
        const double t0 = seconds();
        job.replicateBlocks();
        benchmark::ClobberMemory();
        const double t1 = seconds();
        job.run();
        benchmark::ClobberMemory();
        const double t2 = seconds();
        const double run = t2 - t1;
        repls.push_back(t1 - t0);
        runs.push_back(run);
        state.SetIterationTime(run);
    }
    const double run = median(runs), repl = median(repls);
    state.counters["run_ms"] = run * 1e3;
    state.counters["repl_ms"] = repl * 1e3;
    state.counters["run/repl"] = repl > 0 ? run / repl : 0;
    state.counters["pass_ns_px"] = (run - repl) * 1e9 / (double(size) * size);
    state.SetLabel(kindName(kind));
}

// Lanes of 64 colours that lighten along them, each colour close to the
// next, between lanes of light blues lighter still (turned: rows, else
// columns). Every pixel of a colour lane starts a run that follows its lane
// to the image's edge and paints nothing, so each start meets the lines that
// the starts before it followed: the cost per pixel must not grow with the
// lanes' length. Args: the lane length, 1 for rows. Factor 1, one thread.
void BM_LongLanes(benchmark::State& state)
{
    const int length = static_cast<int>(state.range(0));
    const bool rows = state.range(1) != 0;
    constexpr int kLanes = 64;
    auto palette = std::make_unique<Palette>();
    for (int i = 0; i < 64; ++i)
        palette->colours.push_back(kOpaque | static_cast<Colour>(120 + 2 * i) << 16 |
                                   static_cast<Colour>(10 + i / 2) << 8 |
                                   static_cast<Colour>(10 + i / 2));
    for (int i = 0; i < 64; ++i)
        palette->colours.push_back(kOpaque | static_cast<Colour>(170 + i) << 16 |
                                   static_cast<Colour>(190 + i) << 8 | 255u);
    auto image = std::make_unique<IndexedImage>();
    const int width = rows ? length : kLanes;
    const int height = rows ? kLanes : length;
    image->allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int along = rows ? x : y;
            const int lane = rows ? y : x;
            const int shade = along * 64 / length;
            image->row(y)[x] = static_cast<std::uint8_t>(lane % 2 != 0 ? shade : 64 + shade);
        }
    ImageSet set(nullptr, std::move(image), std::move(palette), ImageSet::kIndexedKind);
    ScaleJob job(set, 1, 20, -1);
    job.setThreadCount(1);
    std::vector<double> runs;
    for (auto _ : state) {
        const double t0 = seconds();
        job.run();
        benchmark::ClobberMemory();
        const double run = seconds() - t0;
        runs.push_back(run);
        state.SetIterationTime(run);
    }
    state.counters["ns_px"] = median(runs) * 1e9 / (double(width) * height);
}

// CPU time of every thread of the process: what cell mode costs in all,
// whether or not the cores were free.
double processSeconds()
{
    return cpuSeconds(true);
}

// Args: art kind, 1 to pad the palette to 256 entries (as many files carry),
// 1 for wrap mode, the factor, the cell side. A 1024 x 1024 sheet.
void BM_CellsVsWhole(benchmark::State& state)
{
    const auto kind = kKinds[state.range(0)];
    auto set = makePixelArt(kind, 1024);
    if (state.range(1) != 0)
        set->palette->colours.resize(256, 0xFF808080u);
    CellLayout layout;
    layout.cellWidth = static_cast<std::int32_t>(state.range(4));
    layout.cellHeight = layout.cellWidth;
    layout.wrap = state.range(2) != 0;
    const ScaleSettings settings{static_cast<std::int32_t>(state.range(3)), 20, -1, true};
    ScaleJob job(*set, settings.factor, settings.threshold, settings.transparentIndex);
    std::vector<double> wholes, cells, ratios, cpuRatios;
    for (auto _ : state) {
        const double c0 = processSeconds();
        const double t0 = wallSeconds();
        job.run();
        benchmark::ClobberMemory();
        const double t1 = wallSeconds();
        const double c1 = processSeconds();
        Enlargement e = enlargeCells(*set, settings, layout, false);
        benchmark::DoNotOptimize(e.image->store());
        const double t2 = wallSeconds();
        const double c2 = processSeconds();
        wholes.push_back(t1 - t0);
        cells.push_back(t2 - t1);
        ratios.push_back((t2 - t1) / (t1 - t0));
        cpuRatios.push_back((c2 - c1) / (c1 - c0));
        state.SetIterationTime(t2 - t1);
    }
    state.counters["whole_ms"] = median(wholes) * 1e3;
    state.counters["cells_ms"] = median(cells) * 1e3;
    state.counters["cells/whole"] = median(ratios);
    state.counters["cpu_cells/whole"] = median(cpuRatios);
    state.SetLabel(kindName(kind) + (state.range(1) != 0 ? " pal256" : "") +
                   (layout.wrap ? " wrap" : "") + " x" + std::to_string(settings.factor) + " " +
                   std::to_string(layout.cellWidth) + "px");
}

void sizesAndFactors(benchmark::internal::Benchmark* b, bool perKind)
{
    for (int size : {256, 1024})
        for (int factor : {2, 4, 8})
            for (int kind = 0; kind < (perKind ? 3 : 1); ++kind)
                b->Args({size, factor, kind});
}

BENCHMARK(BM_Memset)->Apply([](auto* b) { sizesAndFactors(b, false); })
    -> Unit(benchmark::kMillisecond);
BENCHMARK(BM_Replicate)
    ->Apply([](auto* b) { sizesAndFactors(b, true); }) -> Unit(benchmark::kMillisecond);
BENCHMARK(BM_Run)->Apply([](auto* b) { sizesAndFactors(b, true); }) -> UseManualTime()
    -> Unit(benchmark::kMillisecond);

BENCHMARK(BM_LongLanes)
    ->ArgsProduct({{1024, 4096, 16384}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_CellsVsWhole)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0}, {4}, {16}})
    ->ArgsProduct({{0, 1, 2}, {0}, {0}, {8}, {16}})
    ->ArgsProduct({{0, 1, 2}, {0}, {0}, {4, 8}, {8, 32}})
    ->ArgsProduct({{0, 1, 2}, {0}, {1}, {4}, {16}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace gridmint::bench

BENCHMARK_MAIN();
