// Engine speed: memset of the output size, block replication alone, and the
// whole run, on generated pixel art of three kinds at factors 2, 4 and 8.
//
// BM_Run reports, besides its own time, the median replication time measured
// in the same iterations, the run as a multiple of it (`run/repl`) and the
// passes' cost per source pixel (`pass_ns_px`), all from the thread's CPU
// time (see seconds()).
#include "PixelArtImages.h"
#include "engine/ScaleJob.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstring>
#include <vector>

#if defined(__unix__)
#include <time.h>
#endif

namespace gridmint::bench {
namespace {

constexpr ArtKind kKinds[] = {ArtKind::Sprites, ArtKind::Lines, ArtKind::Dither};

// The machine is shared with compilers and other jobs; the thread's own CPU
// time is far steadier than the wall clock there.
double seconds()
{
#if defined(__unix__)
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
#else
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
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

} // namespace
} // namespace gridmint::bench

BENCHMARK_MAIN();
