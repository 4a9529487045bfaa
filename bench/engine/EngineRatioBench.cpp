// The engine against a plain 8-bit block replication loop, in paired,
// interleaved rounds: every round times the plain loop and the engine
// variants back to back on the same source, and the table reports the median
// over rounds of each variant's time divided by the plain loop's time in the
// same round. The machine is shared; a ratio from one round is only as noisy
// as that round, while absolute times drift with the load.
//
//   gridmint_engine_ratio [--rounds N] [--factor F] [--quick] [--big]
//                         [--plain-factors] [--floor]
//
// Factors 2 to 16 on 1024 x 1024 sources, 32 on 512 x 512.
// --factor keeps the rows of one factor (and adds run(true) at 3, 5, 6 and
// 7, which the default table times with run(false) alone); --quick leaves out the threaded
// column; --big adds a 4096 x 4096 source at factor 4 with 1 and 2 threads
// (its threaded column is against the plain loop's wall time; 1/N is the
// wall time with one thread over that with N; cpuN/1 the CPU time of all N
// threads over that of one). --plain-factors replaces the table by run(false)
// alone at every factor from 1 to 32 (or the one --factor names), single
// thread, 5 rounds unless --rounds says otherwise: replication has no
// favourite factors, so neither may its benchmark. --floor adds the column
// x1(t): run(true) of a factor-1 job on the same source, single thread,
// against the plain loop of the row's factor. Deciding where the slopes go
// costs the same at every factor, and at factor 1 there is next to nothing
// to write or paint, so x1(t) + run(f) is about what any run(true) at the
// row's factor needs before painting its first slope.
#include "PixelArtImages.h"
#include "engine/ScaleJob.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(__unix__)
#include <time.h>
#endif

namespace gridmint::bench {
namespace {

double wallNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#if defined(__unix__)
template <clockid_t Clock> double cpuClock()
{
    timespec ts{};
    clock_gettime(Clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
// Single-thread variants are timed on the thread's own CPU clock, which the
// other jobs of a shared machine disturb far less than the wall clock; the
// threaded ones need the wall clock, and the process's CPU clock counts the
// work of all threads.
constexpr auto cpuNow = cpuClock<CLOCK_THREAD_CPUTIME_ID>;
constexpr auto processCpuNow = cpuClock<CLOCK_PROCESS_CPUTIME_ID>;
#else
constexpr auto cpuNow = wallNow;
constexpr auto processCpuNow = wallNow;
#endif

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The plain loop: expand each source row into the first output row of its
// blocks, byte by byte, then copy that row f - 1 times. The factor is a
// compile-time constant of the expansion (as it is for anyone who writes the
// loop for the factors they use), so the compiler vectorises it.
template <int F> void expandRow(const std::uint8_t* s, std::int32_t width, std::uint8_t* o)
{
    for (std::int32_t x = 0; x < width; ++x)
        for (int i = 0; i < F; ++i)
            o[x * F + i] = s[x];
}

template <int... Fs>
void expandRowFor(int f, const std::uint8_t* s, std::int32_t width, std::uint8_t* o,
                  std::integer_sequence<int, Fs...>)
{
    ((f == Fs + 1 ? expandRow<Fs + 1>(s, width, o) : void()), ...);
}

void plainReplicate(const IndexedImage& in, std::int32_t f, std::uint8_t* out)
{
    const std::size_t outW = std::size_t(in.width()) * std::size_t(f);
    for (std::int32_t y = 0; y < in.height(); ++y) {
        std::uint8_t* first = out + std::size_t(y) * std::size_t(f) * outW;
        expandRowFor(f, in.row(y), in.width(), first, std::make_integer_sequence<int, 32>{});
        for (std::int32_t i = 1; i < f; ++i)
            std::memcpy(first + std::size_t(i) * outW, first, outW);
    }
}

// Sets the job's thread count where the engine offers one, so that the same
// benchmark also measures an engine without threads.
void setThreads(auto& job, int n)
{
    if constexpr (requires { job.setThreadCount(n); })
        job.setThreadCount(n);
}

// The best of two back-to-back calls: a call that another process interrupted
// says nothing about the code.
template <class Clock, class Fn> double timed(Clock clock, Fn&& fn)
{
    double best = 1e30;
    for (int i = 0; i < 2; ++i) {
        const double t0 = clock();
        fn();
        best = std::min(best, clock() - t0);
    }
    return best;
}

// One row of the table: a source, a factor, and which engine variants to time.
struct Row {
    ArtKind kind;
    int size;
    int factor;
    bool slopes;        // time run(true) with 1 thread
    bool plainEngine;   // time run(false) with 1 thread
    int threads;        // when > 1, also time run(true) with this many threads
    bool floor = false; // time run(true) of a factor-1 job too
};

void measure(const Row& row, int rounds)
{
    auto set = makePixelArt(row.kind, row.size);
    ScaleJob job(*set, row.factor, 20, -1);
    std::vector<std::uint8_t> plain(std::size_t(row.size) * std::size_t(row.size) *
                                    std::size_t(row.factor) * std::size_t(row.factor));
    // Touch everything once so that no round pays for first-touch page faults.
    plainReplicate(*set->image, row.factor, plain.data());
    job.run(true);
    std::optional<ScaleJob> unit;
    if (row.floor) {
        unit.emplace(*set, 1, 20, -1);
        setThreads(*unit, 1);
        unit->run(true);
    }

    std::vector<double> slopes, plainEngine, threaded, speedup, work, base, decide;
    for (int r = 0; r < rounds; ++r) {
        const auto replicate = [&] { plainReplicate(*set->image, row.factor, plain.data()); };
        const double p = timed(cpuNow, replicate);
        base.push_back(p);
        if (row.slopes) {
            setThreads(job, 1);
            slopes.push_back(timed(cpuNow, [&] { job.run(true); }) / p);
        }
        if (unit)
            decide.push_back(timed(cpuNow, [&] { unit->run(true); }) / p);
        if (row.plainEngine) {
            setThreads(job, 1);
            plainEngine.push_back(timed(cpuNow, [&] { job.run(false); }) / p);
        }
        if (row.threads > 1) {
            // The speed-up over one thread, both on the wall clock: on a
            // machine busy with other work each thread gets its share of
            // the cores, so the ratio still shows what the threads add.
            setThreads(job, 1);
            const double one = timed(wallNow, [&] { job.run(true); });
            setThreads(job, row.threads);
            const double many = timed(wallNow, [&] { job.run(true); });
            threaded.push_back(many / timed(wallNow, replicate));
            speedup.push_back(one / many);
            // And the CPU time of all threads over that of one: what the
            // split costs, whatever the load.
            const double oneCpu = timed(cpuNow, [&] {
                setThreads(job, 1);
                job.run(true);
            });
            const double manyCpu = timed(processCpuNow, [&] {
                setThreads(job, row.threads);
                job.run(true);
            });
            work.push_back(manyCpu / oneCpu);
        }
    }
    const auto cell = [](const std::vector<double>& v) {
        char buf[32];
        if (v.empty())
            return std::string("      -");
        std::snprintf(buf, sizeof buf, "%7.2f", median(v));
        return std::string(buf);
    };
    std::printf("%-8s %5d x%-2d %8.2f ms %s %s %s %s %s %s (threads %d)\n",
                kindName(row.kind).c_str(), row.size, row.factor, median(base) * 1e3,
                cell(slopes).c_str(), cell(plainEngine).c_str(), cell(threaded).c_str(),
                cell(speedup).c_str(), cell(work).c_str(), cell(decide).c_str(), row.threads);
    std::fflush(stdout);
}

} // namespace
} // namespace gridmint::bench

int main(int argc, char** argv)
{
    using namespace gridmint::bench;
    int rounds = 0;
    bool quick = false, big = false, sweep = false, floor = false;
    int only = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--quick")
            quick = true;
        else if (arg == "--factor" && i + 1 < argc)
            only = std::atoi(argv[++i]);
        else if (arg == "--big")
            big = true;
        else if (arg == "--plain-factors")
            sweep = true;
        else if (arg == "--floor")
            floor = true;
    }
    if (rounds == 0)
        rounds = sweep ? 5 : 9;
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::printf("ratios: median over %d rounds of engine time / plain replication time in the "
                "same round\n",
                rounds);
    std::printf("%-8s %10s %11s %7s %7s %7s %7s %7s %7s\n", "kind", "size", "plain", "run(t)",
                "run(f)", "run(t)N", "1/N", "cpuN/1", "x1(t)");
    constexpr ArtKind kinds[] = {ArtKind::Sprites, ArtKind::Lines, ArtKind::Dither};
    const auto wanted = [&](int factor) { return only == 0 || only == factor; };
    if (sweep) {
        for (int factor = 1; factor <= 32; ++factor)
            for (ArtKind kind : kinds)
                if (wanted(factor))
                    measure({kind, 1024, factor, false, true, 1}, rounds);
        return 0;
    }
    for (int factor : {2, 4, 8, 16})
        for (ArtKind kind : kinds)
            if (wanted(factor))
                measure({kind, 1024, factor, true, true, quick ? 1 : cores, floor}, rounds);
    // Factor 32 on a smaller source: 1024 x 1024 would need a gigabyte for
    // the output and another for the plain loop's.
    for (ArtKind kind : kinds)
        if (wanted(32))
            measure({kind, 512, 32, true, true, quick ? 1 : cores, floor}, rounds);
    // run(true) at the odd factors and 6 only when --factor names them, and
    // 7 only then at all: the default table stays short.
    for (int factor : {3, 5, 6, 7})
        for (ArtKind kind : kinds)
            if (wanted(factor) && (factor != 7 || only == 7))
                measure({kind, 1024, factor, only == factor, true, 1}, rounds);
    if (big && !quick)
        measure({ArtKind::Sprites, 4096, 4, true, false, 2}, std::max(3, rounds / 3));
    return 0;
}
