// Cell mode against its definition (every full cell as if cut out and
// enlarged alone, wrap mode as the centre of a 3 x 3 repetition, the rest
// plain blocks), and the change map against its definition.
#include "engine/CellScale.h"

#include "EngineTestUtil.h"
#include "engine/ChangeMap.h"
#include "engine/ScaleJob.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace gridmint {
namespace {

using test::makeSet;
using test::rowsOf;

// Shades of a few base colours, so that exact and similar mode both occur;
// up to 64 entries.
std::vector<Colour> randomPalette(std::mt19937& rng)
{
    std::uniform_int_distribution<int> byte(0, 255), shade(-12, 12);
    const int size = std::uniform_int_distribution<int>(2, 64)(rng);
    std::vector<Colour> bases(static_cast<std::size_t>(1 + size / 8));
    for (Colour& c : bases)
        c = static_cast<Colour>(byte(rng) << 16 | byte(rng) << 8 | byte(rng));
    std::vector<Colour> palette;
    for (int i = 0; i < size; ++i) {
        const Colour base = bases[static_cast<std::size_t>(i) % bases.size()];
        Colour c = kOpaque;
        for (int shift : {16, 8, 0})
            c |= static_cast<Colour>(std::clamp(int((base >> shift) & 0xFF) + shade(rng), 0, 255))
                 << shift;
        palette.push_back(c);
    }
    return palette;
}

// Filled rectangles and staircases in a handful of indices, now and then
// one beyond the palette.
std::vector<std::uint8_t> randomPixels(std::mt19937& rng, int w, int h, int paletteSize)
{
    std::uniform_int_distribution<int> any(0, 99);
    std::vector<std::uint8_t> inks;
    for (int i = 2 + any(rng) % 4; i > 0; --i)
        inks.push_back(
            static_cast<std::uint8_t>(any(rng) < 5 ? paletteSize : any(rng) % paletteSize));
    const auto ink = [&] { return inks[static_cast<std::size_t>(any(rng)) % inks.size()]; };
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w * h), inks[0]);
    for (int s = w * h / 24 + 1; s > 0; --s) {
        const std::uint8_t v = ink();
        int x = any(rng) % w, y = any(rng) % h;
        if (any(rng) < 40) {
            const int x2 = std::min(w, x + 1 + any(rng) % 8),
                      y2 = std::min(h, y + 1 + any(rng) % 8);
            for (int yy = y; yy < y2; ++yy)
                for (int xx = x; xx < x2; ++xx)
                    px[static_cast<std::size_t>(yy * w + xx)] = v;
            continue;
        }
        const int dx = any(rng) < 50 ? 1 : -1, run = 1 + any(rng) % 3;
        for (int i = 0; x >= 0 && x < w && y < h; ++i) {
            px[static_cast<std::size_t>(y * w + x)] = v;
            if (i % run == run - 1)
                ++y;
            else
                x += dx;
        }
    }
    return px;
}

// The enlargement of the w x h area at (x0, y0) of `sheet`, repeated
// `repeat` x `repeat` times, by a job of its own with the whole palette.
std::unique_ptr<IndexedImage> enlargeCutOut(const ImageSet& sheet, int x0, int y0, int w, int h,
                                            int repeat, const ScaleSettings& s, bool trace)
{
    std::vector<std::uint8_t> px;
    for (int y = 0; y < repeat * h; ++y)
        for (int x = 0; x < repeat * w; ++x)
            px.push_back(sheet.image->row(y0 + y % h)[x0 + x % w]);
    auto cut = makeSet(repeat * w, repeat * h, px, sheet.palette->colours);
    ScaleJob job(*cut, s.factor, s.threshold, s.transparentIndex);
    auto out = std::make_unique<IndexedImage>();
    if (trace) {
        runTracingChanges(job, *out);
        return out;
    }
    job.run(s.slopePasses);
    const IndexedImage& e = job.outputImage();
    out->allocate(static_cast<std::uint32_t>(e.width()), static_cast<std::uint32_t>(e.height()));
    std::copy_n(e.store(), std::size_t(e.width()) * std::size_t(e.height()), out->store());
    return out;
}

// What cell mode must give, built the slow way: plain blocks everywhere
// (0 for a change map), then each cut-out cell pasted over its place.
std::vector<std::string> expectedSheet(const ImageSet& sheet, const ScaleSettings& s,
                                       const CellLayout& layout, bool trace)
{
    const int f = s.factor, w = sheet.width(), h = sheet.height();
    IndexedImage out;
    out.allocate(std::uint32_t(f * w), std::uint32_t(f * h));
    for (int y = 0; y < f * h; ++y)
        for (int x = 0; x < f * w; ++x)
            out.row(y)[x] = trace ? std::uint8_t{kUnchanged} : sheet.image->row(y / f)[x / f];
    const int repeat = layout.wrap ? 3 : 1;
    const int cw = layout.cellWidth, ch = layout.cellHeight;
    for (const CellOrigin& c : fullCells(layout, w, h)) {
        const auto cell = enlargeCutOut(sheet, c.x, c.y, cw, ch, repeat, s, trace);
        const int skipX = (repeat - 1) / 2 * f * cw, skipY = (repeat - 1) / 2 * f * ch;
        for (int y = 0; y < f * ch; ++y)
            for (int x = 0; x < f * cw; ++x)
                out.row(f * c.y + y)[f * c.x + x] = cell->row(skipY + y)[skipX + x];
    }
    return rowsOf(out);
}

TEST(CellScale, FullCellsOfASheet)
{
    CellLayout layout{16, 8, 1, 2, false};
    // 1 + 16 + 2 + 16 + 1 = 36 wide: two columns; 35 leaves the second partial.
    EXPECT_EQ(fullCells(layout, 36, 10).size(), 2u);
    EXPECT_EQ(fullCells(layout, 35, 10).size(), 1u);
    EXPECT_EQ(fullCells(layout, 36, 9), std::vector<CellOrigin>{});
    const auto cells = fullCells(layout, 36, 20); // rows at 1 and 11
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[1], (CellOrigin{19, 1}));
    EXPECT_EQ(cells[2], (CellOrigin{1, 11}));
    EXPECT_TRUE(fullCells(CellLayout{}, 36, 20).empty());
    EXPECT_FALSE((CellLayout{0, 8, 0, 0, false}).valid());
    EXPECT_FALSE((CellLayout{8, 8, -1, 0, false}).valid());
    EXPECT_TRUE(CellLayout{}.valid());

    auto sheet = makeSet({"01", "10"}, {kOpaque, 0xFFFFFFFFu});
    const ScaleSettings s{2, 20, -1, true};
    EXPECT_THROW(enlargeCells(*sheet, s, CellLayout{}, false), std::invalid_argument);
    EXPECT_THROW(enlargeCells(*sheet, ScaleSettings{33, 20, -1, true}, layout, false),
                 std::invalid_argument);
}

// The heart of it: random sheets with cells of 1 to 32 pixels, margins and
// spacings 0 to 3 and partial cells, in plain and wrap mode, against the cut
// out cells; the same result on 1, 2 and 3 threads; and the change map of
// each cell against the cut-out cell's.
TEST(CellScale, RandomSheetsEqualTheirCutOutCells)
{
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> side(1, 32), gap(0, 3), count(1, 3), pct(0, 99);
    for (int round = 0; round < 150; ++round) {
        CellLayout layout;
        // Mostly small cells, so that a sheet has several of them.
        layout.cellWidth = pct(rng) < 70 ? 1 + side(rng) % 8 : side(rng);
        layout.cellHeight = pct(rng) < 70 ? 1 + side(rng) % 8 : side(rng);
        layout.margin = gap(rng);
        layout.spacing = gap(rng);
        layout.wrap = pct(rng) < 30;
        const int w = 2 * layout.margin + count(rng) * (layout.cellWidth + layout.spacing) +
                      (pct(rng) < 50 ? side(rng) % layout.cellWidth : 0);
        const int h = 2 * layout.margin + count(rng) * (layout.cellHeight + layout.spacing) +
                      (pct(rng) < 50 ? side(rng) % layout.cellHeight : 0);
        const auto palette = randomPalette(rng);
        const int n = static_cast<int>(palette.size());
        auto sheet = makeSet(w, h, randomPixels(rng, w, h, n), palette);
        const int transparent = pct(rng) < 50 ? -1 : pct(rng) % (n + 1);
        const ScaleSettings s{1 + pct(rng) % (layout.wrap ? 3 : 5), double(pct(rng) % 30),
                              transparent, pct(rng) < 90};
        const bool trace = pct(rng) < 25;

        std::ostringstream what;
        what << "round " << round << ": " << w << "x" << h << " cells " << layout.cellWidth << "x"
             << layout.cellHeight << " margin " << layout.margin << " spacing " << layout.spacing
             << (layout.wrap ? " wrap" : "") << " f=" << s.factor << " t=" << s.threshold
             << " transparent=" << transparent << (s.slopePasses ? "" : " nearest");
        SCOPED_TRACE(what.str());

        const Enlargement one = enlargeCells(*sheet, s, layout, trace, 1);
        EXPECT_EQ(rowsOf(*one.image), expectedSheet(*sheet, s, layout, false));
        if (trace && s.slopePasses) {
            EXPECT_EQ(rowsOf(*one.changes), expectedSheet(*sheet, s, layout, true));
        }
        for (unsigned threads : {2u, 3u}) {
            const Enlargement more = enlargeCells(*sheet, s, layout, trace, threads);
            EXPECT_EQ(rowsOf(*more.image), rowsOf(*one.image)) << threads << " threads";
        }
    }
}

// Large factors paint through other windows than small ones, whose unused
// bytes reach across cell borders, and sheets of many cells split between
// threads in the middle of cells.
TEST(CellScale, LargeFactorsAndManyCellsOnSeveralThreads)
{
    std::mt19937 rng(1612);
    for (const int f : {8, 11, 16, 21}) {
        const CellLayout layout{9 + f % 5, 7 + f % 4, f % 3, 1 + f % 2, false};
        const int w = 2 * layout.margin + 5 * (layout.cellWidth + layout.spacing) + 3;
        const int h = 2 * layout.margin + 4 * (layout.cellHeight + layout.spacing) + 2;
        const auto palette = randomPalette(rng);
        auto sheet = makeSet(w, h, randomPixels(rng, w, h, int(palette.size())), palette);
        const ScaleSettings s{f, 12, -1, true};
        const bool trace = f == 11;
        const auto expected = expectedSheet(*sheet, s, layout, false);
        for (unsigned threads : {1u, 2u, 5u}) {
            const Enlargement e = enlargeCells(*sheet, s, layout, trace, threads);
            EXPECT_EQ(rowsOf(*e.image), expected) << "factor " << f << ", " << threads;
            if (trace) {
                EXPECT_EQ(rowsOf(*e.changes), expectedSheet(*sheet, s, layout, true));
            }
        }
    }
}

// A job's cell grid must lie inside its image; dropping the grid gives the
// whole image's run again, and a job whose output was taken refuses to run.
TEST(CellScale, JobCellGrid)
{
    auto set = makeSet({"0010", "0110", "1110", "0001"}, {0xFFFFFFFFu, kOpaque});
    ScaleJob whole(*set, 3, 20, -1);
    whole.run();
    ScaleJob job(*set, 3, 20, -1);
    EXPECT_THROW(job.setCellGrid({3, 3, 2, 0, 1, 1}), std::invalid_argument); // 2 + 3 > 4
    EXPECT_NO_THROW(job.setCellGrid({3, 3, 1, 0, 1, 1}));
    EXPECT_THROW(job.setCellGrid({2, 2, 0, 1, 2, 2}), std::invalid_argument); // 2 + 1 + 2 > 4
    EXPECT_THROW(job.setCellGrid({0, 2, 0, 0, 1, 1}), std::invalid_argument);
    job.setCellGrid({2, 2, 0, 0, 2, 2});
    job.run();
    EXPECT_NE(rowsOf(job.outputImage()), rowsOf(whole.outputImage()));
    job.setCellGrid({});
    job.run();
    EXPECT_EQ(rowsOf(job.outputImage()), rowsOf(whole.outputImage()));
    const auto taken = job.takeOutputImage();
    EXPECT_EQ(rowsOf(*taken), rowsOf(whole.outputImage()));
    EXPECT_THROW(job.run(), std::logic_error);
    EXPECT_THROW(job.runSlopePass(MarkLeft), std::logic_error);
}

TEST(CellScale, NearestGivesPlainBlocks)
{
    auto sheet = makeSet({"0010", "0110", "1110", "0001"}, {0xFFFFFFFFu, kOpaque});
    const CellLayout layout{3, 3, 0, 0, true};
    const Enlargement e = enlargeCells(*sheet, ScaleSettings{3, 20, -1, false}, layout, true);
    ScaleJob plain(*sheet, 3, 20, -1);
    plain.run(false);
    EXPECT_EQ(rowsOf(*e.image), rowsOf(plain.outputImage()));
    for (const std::string& row : rowsOf(*e.changes))
        EXPECT_EQ(row, std::string(12, '0'));
}

// The one-pixel diagonal of the colour model's worked example at factor 3,
// whose enlargement is documented: the map marks exactly the pixels where
// it differs from plain blocks. The top right block is reached by the left
// pass alone, and the bottom left block's changes are the top pass's (the
// right pass, before it, leaves that block's right column black).
TEST(ChangeMap, MarksWhereTheResultLeavesThePlainBlocks)
{
    auto set = makeSet({"001", "010", "100"}, {0xFFFFFFFFu, kOpaque});
    ScaleJob job(*set, 3, 20, -1);
    IndexedImage map;
    runTracingChanges(job, map);
    EXPECT_EQ(
        rowsOf(job.outputImage()),
        (std::vector<std::string>{"000000001", "000000011", "000000111", "000001000", "000010000",
                                  "000100000", "001000000", "011000000", "111000000"}));
    const std::vector<std::string> expected = {"......11.", "......1..", ".........",
                                               "...??....", "...?.?...", "....??...",
                                               "33.......", "3........", "........."};
    const auto got = rowsOf(map);
    for (std::size_t y = 0; y < expected.size(); ++y) {
        for (std::size_t x = 0; x < expected[y].size(); ++x) {
            const char e = expected[y][x], g = got[y][x];
            if (e == '.')
                EXPECT_EQ(g, '0') << x << "," << y;
            else if (e == '?')
                EXPECT_TRUE(g >= '1' && g <= '4') << x << "," << y << ": " << g;
            else
                EXPECT_EQ(g, e) << x << "," << y;
        }
    }
}

// Traced or not, the job's output is the same, and the map's marks are
// exactly the pixels that differ from plain blocks.
TEST(ChangeMap, TracingKeepsTheResultExact)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const auto palette = randomPalette(rng);
        // Rows of up to 150 pixels: a pass alone carries its marks across
        // several words of a row, too.
        const int w = 4 + int(rng() % 147), h = 4 + int(rng() % 20), f = 1 + int(rng() % 5);
        auto set = makeSet(w, h, randomPixels(rng, w, h, int(palette.size())), palette);
        ScaleJob run(*set, f, 20, -1), traced(*set, f, 20, -1), plain(*set, f, 20, -1);
        run.run();
        plain.run(false);
        IndexedImage map;
        runTracingChanges(traced, map);
        ASSERT_EQ(rowsOf(traced.outputImage()), rowsOf(run.outputImage())) << round;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(traced.marks().cell(x, y), run.marks().cell(x, y)) << round;
        // A pass run again sees what it claimed the first time and paints
        // nothing more.
        traced.setThreadCount(1 + round % 2);
        traced.runSlopePass(MarkRight);
        ASSERT_EQ(rowsOf(traced.outputImage()), rowsOf(run.outputImage())) << round;
        for (int y = 0; y < f * h; ++y) {
            for (int x = 0; x < f * w; ++x) {
                ASSERT_EQ(map.row(y)[x] != kUnchanged,
                          run.outputImage().row(y)[x] != plain.outputImage().row(y)[x])
                    << round << " at " << x << "," << y;
            }
        }
    }
}

} // namespace
} // namespace gridmint
