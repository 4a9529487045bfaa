// Re-running a job (the threshold slider does it on every move) must not
// touch the heap. This binary replaces the global allocation functions to
// count calls.
#include "EngineTestUtil.h"
#include "engine/CellScale.h"
#include "engine/ScaleJob.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace gridmint {
namespace {

TEST(ScaleJobAllocation, ASecondRunOfAReusedJobAllocatesNothing)
{
    // Enough structure for every pass to paint, 40 colours, a transparent
    // index, an index beyond the palette.
    std::vector<std::uint8_t> pixels(64 * 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            pixels[std::size_t(y * 64 + x)] =
                static_cast<std::uint8_t>((x + y) % 7 == 0 ? 45 : ((x * x + y) / 9) % 40);
    std::vector<Colour> palette(40);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = 0xFF000000u | static_cast<Colour>(i * 0x060503);
    auto set = test::makeSet(64, 48, pixels, palette);

    // In place, and as an output too big for the caches (scratch bands).
    for (const bool streamed : {false, true}) {
        ScaleJob job(*set, 4, 20, 3);
        job.setThreadCount(3); // the pool and the passes' per-thread lists too
        if (streamed)
            job.setStreamingFrom(0);
        job.run();
        job.setThreshold(35);

        const long before = g_allocations.load();
        job.run();
        job.run(false);
        const long after = g_allocations.load();
        EXPECT_EQ(after - before, 0) << "streamed " << streamed;
        EXPECT_GT(before, 0) << "the counting operator new is not in use";
    }
}

// Cell mode reuses one job per thread from cell to cell: a sheet of many
// cells costs the heap no more than one of two cells, tracing changes or not.
TEST(ScaleJobAllocation, CellModeAllocatesNothingPerCell)
{
    const auto sheetOf = [](int columns, int rows) {
        const int w = 8 * columns, h = 8 * rows;
        std::vector<std::uint8_t> pixels(std::size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pixels[std::size_t(y * w + x)] =
                    static_cast<std::uint8_t>((x % 8) > (y % 8) ? 1 : ((x % 8) == (y % 8) ? 2 : 0));
        return test::makeSet(w, h, pixels, {0xFFFFFFFFu, 0xFF000000u, 0xFF404040u});
    };
    const CellLayout layout{8, 8, 0, 0, false};
    for (bool trace : {false, true}) {
        const auto allocationsFor = [&](int columns, int rows) {
            auto sheet = sheetOf(columns, rows);
            const long before = g_allocations.load();
            const Enlargement e =
                enlargeCells(*sheet, ScaleSettings{3, 20, -1, true}, layout, trace, 1);
            return g_allocations.load() - before;
        };
        EXPECT_EQ(allocationsFor(8, 6), allocationsFor(2, 1)) << (trace ? "tracing" : "");
    }
}

} // namespace
} // namespace gridmint
