// The engine's documented examples, bit for bit, and its contracts.
#include "engine/ScaleJob.h"

#include "EngineTestUtil.h"
#include "engine/SlopePasses.h"
#include "engine/SlopeShapes.h"
#include "engine/WorkerPool.h"
#include "image/Platform.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#ifdef __linux__
#include <unistd.h>
#endif

namespace gridmint {
namespace {

using test::makeSet;
using test::rowsOf;
using Rows = std::vector<std::string>;

const std::vector<Colour> kWhiteBlack{0xFFFFFFFF, 0xFF000000};

std::vector<std::uint8_t> marksOf(const ScaleJob& job)
{
    std::vector<std::uint8_t> cells;
    for (int y = 0; y < job.marks().height(); ++y)
        for (int x = 0; x < job.marks().width(); ++x)
            cells.push_back(job.marks().cell(x, y));
    return cells;
}

TEST(ColourModel, LabOfReferenceColours)
{
    const LabColor black = toLab(0, 0, 0);
    EXPECT_EQ(black.L, 0.0);
    EXPECT_EQ(black.a, 0.0);
    EXPECT_EQ(black.b, 0.0);

    const LabColor white = toLab(255, 255, 255);
    EXPECT_NEAR(white.L, 100.0, 1e-3);
    EXPECT_NEAR(white.a, 0.00105, 0.00001);
    EXPECT_NEAR(white.b, 0.01016, 0.00001);

    // No gamma expansion: mid grey is far lighter than a gamma-aware 53.6.
    EXPECT_NEAR(toLab(128, 128, 128).L, 76.19, 0.01);
}

TEST(ColourModel, BlackAndWhiteAreSimilarAboveTheirTinyDistance)
{
    auto set = makeSet(Rows{"01"}, kWhiteBlack);
    ScaleJob job(*set, 2, 0.0101, -1);
    job.computeLab();
    EXPECT_TRUE(job.isDifferent(0, 1));
    job.setThreshold(0.0103);
    EXPECT_TRUE(job.isSimilar(0, 1));
    EXPECT_TRUE(job.isSimilar(1, 0));

    job.setThreshold(0);
    EXPECT_TRUE(job.isSimilar(1, 1)) << "an index is always similar to itself";
    EXPECT_FALSE(job.isSimilar(0, 1));
}

TEST(ColourModel, TransparentAndOutOfPaletteIndicesResembleOnlyThemselves)
{
    auto set = makeSet(Rows{"01"}, {0xFF808080, 0xFF818181, 0xFF828282});
    ScaleJob job(*set, 1, 100.0, 2);
    job.computeLab();
    EXPECT_TRUE(job.isSimilar(0, 1));
    EXPECT_TRUE(job.isSimilar(2, 2));
    EXPECT_TRUE(job.isDifferent(2, 0));
    EXPECT_EQ(job.lab()[2].L, -1000000.0);

    EXPECT_TRUE(job.isSimilar(3, 3));
    EXPECT_TRUE(job.isDifferent(3, 0));
    EXPECT_TRUE(job.isDifferent(3, 4));
    EXPECT_TRUE(job.isDifferent(-1, 0));

    // Outside the palette the transparent index designates nothing.
    for (int t : {-1, 3, 256}) {
        ScaleJob other(*set, 1, 100.0, t);
        other.computeLab();
        EXPECT_NEAR(other.lab()[2].L, toLab(0x82, 0x82, 0x82).L, 1e-12) << t;
    }
}

TEST(ScaleJobRun, OnePixelDiagonalAtFactorThree)
{
    auto set = makeSet(Rows{"001", "010", "100"}, kWhiteBlack);
    ScaleJob job(*set, 3, 20, -1);
    job.run();
    EXPECT_EQ(rowsOf(job.outputImage()),
              (Rows{"000000001", "000000011", "000000111", "000001000", "000010000", "000100000",
                    "001000000", "011000000", "111000000"}));
    EXPECT_EQ(marksOf(job), (std::vector<std::uint8_t>{0, 0, 0x08, 0, 0x0F, 0, 0x04, 0, 0}));
}

TEST(ScaleJobRun, PlusSignAtFactorFour)
{
    auto set = makeSet(Rows{"010", "111", "010"}, kWhiteBlack);
    ScaleJob job(*set, 4, 20, -1);
    job.run();
    EXPECT_EQ(rowsOf(job.outputImage()),
              (Rows{"000000000000", "000000000000", "000001100000", "000011110000", "000111111111",
                    "001111111111", "001111111111", "000111111111", "000011110000", "000011110000",
                    "000011110000", "000011110000"}));
    EXPECT_EQ(marksOf(job), (std::vector<std::uint8_t>{0, 0x0A, 0, 0x05, 0, 0, 0, 0, 0}));
}

TEST(ScaleJobRun, PlainEnlargementLeavesThePassesOut)
{
    auto set = makeSet(Rows{"001", "010"}, kWhiteBlack);
    ScaleJob job(*set, 2, 20, -1);
    job.run(false);
    EXPECT_FALSE(job.slopePasses());
    EXPECT_EQ(rowsOf(job.outputImage()), (Rows{"000011", "000011", "001100", "001100"}));
    EXPECT_EQ(marksOf(job), std::vector<std::uint8_t>(6, 0));
    job.run();
    EXPECT_TRUE(job.slopePasses());
}

TEST(ScaleJobRun, PlainEnlargementOfAnOutputBeyondTheCaches)
{
    // Big outputs are written past the caches in stretches of a row: an odd
    // width puts stretch and row starts at every alignment; each thread
    // count splits the rows differently.
    constexpr int kWidth = 1001, kHeight = 70, kFactor = 29;
    std::vector<std::uint8_t> pixels(std::size_t{kWidth} * kHeight);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    auto set = makeSet(kWidth, kHeight, pixels, std::vector<Colour>(256, 0xFF808080));
    ScaleJob job(*set, kFactor, 20, -1);
    for (int threads : {1, 2}) {
        job.setThreadCount(threads);
        job.run(false);
        const IndexedImage& out = job.outputImage();
        for (int y = 0; y < out.height(); ++y) {
            const std::uint8_t* src = pixels.data() + std::size_t{kWidth} * (y / kFactor);
            const std::uint8_t* row = out.row(y);
            for (int x = 0; x < out.width(); ++x)
                if (row[x] != src[x / kFactor])
                    FAIL() << "threads " << threads << " pixel " << x << ", " << y;
        }
    }
}

TEST(ScaleJobRun, PlainEnlargementOfEveryRowLength)
{
    // Rows are filled many pixels at a time with a byte loop for the rest:
    // lengths around those steps, with every pixel distinct, catch a pixel
    // dropped, repeated or put in the wrong place. Two threads split the
    // rows, so a thread's stretch starts past the first row.
    for (int factor : {1, 2, 3, 4, 5, 7, 8, 16})
        for (int width : {1, 7, 8, 9, 15, 16, 17, 23, 24, 25, 33, 40}) {
            std::vector<std::uint8_t> pixels(std::size_t(width) * 2);
            for (std::size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<std::uint8_t>(i * 37 + 1);
            auto set = makeSet(width, 2, pixels, std::vector<Colour>(256, 0xFF808080));
            ScaleJob job(*set, factor, 20, -1);
            job.setThreadCount(1 + width % 2);
            job.run(false);
            const IndexedImage& out = job.outputImage();
            for (int y = 0; y < out.height(); ++y)
                for (int x = 0; x < out.width(); ++x)
                    if (out.row(y)[x] != pixels[std::size_t(width) * (y / factor) + x / factor])
                        FAIL() << "factor " << factor << " width " << width << " pixel " << x
                               << ", " << y;
        }
}

TEST(ScaleJobRun, StreamedBandsMatchPaintingInPlace)
{
    // An output beyond the caches is painted in scratch bands, each streamed
    // out while the next is painted; the pixels must be those of painting in
    // place. Rows of odd lengths at every alignment, several bands per
    // thread, and at twelve threads, whose two scratch bands each would cost
    // too much memory, one band per chunk, which must be out before it is
    // painted again.
    struct Case {
        int factor, width, height, threads;
    };
    for (const Case c : {Case{8, 300, 312, 1}, Case{8, 300, 312, 3}, Case{5, 333, 260, 2},
                         Case{16, 61, 90, 1}, Case{8, 600, 576, 12}}) {
        std::vector<std::uint8_t> pixels(std::size_t(c.width) * std::size_t(c.height));
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                pixels[std::size_t(y * c.width + x)] =
                    static_cast<std::uint8_t>((x + y) % 7 == 0 ? 3 : ((x * x + y) / 9) % 40);
        std::vector<Colour> palette(40);
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] = 0xFF000000u | static_cast<Colour>(i * 0x060503);
        auto set = makeSet(c.width, c.height, pixels, palette);
        ScaleJob inPlace(*set, c.factor, 20, -1);
        inPlace.setThreadCount(1);
        inPlace.setStreamingFrom(std::int64_t{1} << 40);
        inPlace.run();
        ScaleJob streamed(*set, c.factor, 20, -1);
        streamed.setThreadCount(c.threads);
        streamed.setStreamingFrom(0);
        streamed.run();
        const IndexedImage& want = inPlace.outputImage();
        const IndexedImage& got = streamed.outputImage();
        for (int y = 0; y < want.height(); ++y)
            ASSERT_EQ(std::memcmp(want.row(y), got.row(y), std::size_t(want.width())), 0)
                << "factor " << c.factor << " threads " << c.threads << " row " << y;
    }
}

TEST(BandStream, EveryRowArrivesWholeHoweverTheStepsFall)
{
    // Rows go out in pieces of whole cache lines, their partial first and
    // last lines stored normally: rows of no pixels (nothing to pace),
    // widths around a line, rows at every alignment, steps too few for the
    // band (finish streams the rest), a few with pieces of many lines, and
    // far more than it needs (the stream runs dry).
    for (int width : {0, 1, 40, 63, 64, 65, 129, 1000, 1001, 5000})
        for (std::size_t steps : {0, 3, 40, 5000}) {
            IndexedImage out;
            out.allocate(static_cast<std::uint32_t>(width), 9);
            for (int y = 0; y < out.height(); ++y)
                std::memset(out.row(y), 0xEE, std::size_t(width));
            const std::ptrdiff_t stride = width + 71;
            std::vector<std::uint8_t> band(std::size_t(stride) * 6);
            for (std::size_t i = 0; i < band.size(); ++i)
                band[i] = static_cast<std::uint8_t>(i * 31 + 7);
            BandStream stream;
            stream.start(out, 2, 8, band.data(), stride);
            EXPECT_TRUE(stream.reads(band.data()));
            stream.pace(steps);
            for (std::size_t run = 0, left = stream.every(); run < steps; ++run)
                stream.countRun(left);
            stream.finish();
            EXPECT_FALSE(stream.reads(band.data()));
            stream.step();
            for (int y = 0; y < out.height(); ++y) {
                const bool inside = y >= 2 && y < 8;
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t want =
                        inside ? band[std::size_t((y - 2) * stride + x)] : std::uint8_t{0xEE};
                    ASSERT_EQ(out.row(y)[x], want)
                        << "width " << width << " steps " << steps << " pixel " << x << ", " << y;
                }
            }
        }
}

#if defined(__SSE2__)
TEST(BandStream, TheSixteenByteFormCopiesEveryWholeLine)
{
    // The form that processors without 32-byte stores take, which the one
    // running the tests may never choose: none, one and several lines, read
    // from an address off every boundary, and nothing written past them.
    alignas(64) std::uint8_t to[5 * 64];
    std::uint8_t from[4 * 64 + 1];
    for (std::size_t i = 0; i < sizeof from; ++i)
        from[i] = static_cast<std::uint8_t>(i * 13 + 5);
    for (std::size_t bytes : {0, 64, 4 * 64}) {
        std::memset(to, 0xEE, sizeof to);
        streamLinesNarrow(to, from + 1, bytes);
        for (std::size_t i = 0; i < sizeof to; ++i)
            ASSERT_EQ(to[i], i < bytes ? from[i + 1] : 0xEE) << bytes << " bytes, byte " << i;
    }
}
#endif

TEST(ScaleJobRun, FactorOneCopiesTheSource)
{
    auto set = makeSet(Rows{"0120", "3001"}, {1, 2, 3, 4});
    ScaleJob job(*set, 1, 20, -1);
    job.replicateBlocks();
    EXPECT_EQ(rowsOf(job.outputImage()), (Rows{"0120", "3001"}));
}

TEST(SlopePass, LeftPassWorkedExample)
{
    auto set = makeSet(Rows{"001", "011", "111"}, kWhiteBlack);
    ScaleJob job(*set, 4, 20, -1);
    job.replicateBlocks();
    job.computeLab();
    job.runSlopePass(MarkLeft);
    EXPECT_EQ(rowsOf(job.outputImage()),
              (Rows{"000000000001", "000000000011", "000000000111", "000000001111", "000000011111",
                    "000000111111", "000001111111", "000011111111", "111111111111", "111111111111",
                    "111111111111", "111111111111"}));
    EXPECT_EQ(marksOf(job), (std::vector<std::uint8_t>{0, 0, 0x08, 0, 0x08, 0, 0, 0, 0}));
}

TEST(SlopePass, TopPassStartWedgeOverTwoBlocks)
{
    // (0, 1) has a white upper neighbour, starts free in column 0 and meets
    // black above (2, 1): a toward-step after two lines.
    auto set = makeSet(Rows{"001", "111"}, kWhiteBlack);
    ScaleJob job(*set, 4, 20, -1);
    job.replicateBlocks();
    job.computeLab();
    job.runSlopePass(MarkTop);
    const Rows out = rowsOf(job.outputImage());
    const int depths[8] = {3, 3, 2, 2, 1, 1, 0, 0};
    for (int col = 0; col < 8; ++col)
        for (int row = 4; row < 8; ++row)
            EXPECT_EQ(out[row][col], row - 4 < depths[col] ? '0' : '1') << row << "," << col;
    EXPECT_EQ(marksOf(job), (std::vector<std::uint8_t>{0, 0, 0, 0x04, 0x04, 0}));
}

struct DepthRow {
    int f, len;
    std::vector<int> startWedge, endWedge, bulge, notch;
};

TEST(SlopeShapes, NearSideDepthSequences)
{
    const DepthRow rows[] = {
        {4, 1, {3, 2, 1, 0}, {0, 1, 2, 3}, {0, 1, 2, 1}, {3, 2, 1, 2}},
        {4,
         2,
         {3, 3, 2, 2, 1, 1, 0, 0},
         {0, 0, 1, 1, 2, 2, 3, 3},
         {0, 1, 1, 2, 2, 1, 1, 0},
         {3, 2, 2, 1, 1, 2, 2, 3}},
        {3, 2, {2, 2, 1, 1, 0, 0}, {0, 0, 1, 1, 2, 2}, {0, 1, 1, 2, 2, 1}, {2, 1, 1, 0, 0, 1}},
        {2, 3, {1, 1, 1, 0, 0, 0}, {0, 0, 0, 1, 1, 1}, {0, 0, 1, 1, 1, 0}, {1, 1, 0, 0, 0, 1}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "f=" << r.f << " len=" << r.len);
        const auto near = SlopeVariant::NearSide;
        EXPECT_EQ(depthSequence(SlopeShape::StartWedge, near, r.f, r.len), r.startWedge);
        EXPECT_EQ(depthSequence(SlopeShape::EndWedge, near, r.f, r.len), r.endWedge);
        EXPECT_EQ(depthSequence(SlopeShape::Bulge, near, r.f, r.len), r.bulge);
        EXPECT_EQ(depthSequence(SlopeShape::Notch, near, r.f, r.len), r.notch);
        // The wedges do not depend on the variant.
        EXPECT_EQ(depthSequence(SlopeShape::StartWedge, SlopeVariant::FarSide, r.f, r.len),
                  r.startWedge);
        EXPECT_EQ(depthSequence(SlopeShape::EndWedge, SlopeVariant::FarSide, r.f, r.len),
                  r.endWedge);
    }
}

TEST(SlopeShapes, FarSideDepthSequences)
{
    const DepthRow rows[] = {
        {4, 1, {}, {}, {0, 1, 1, 0}, {4, 3, 3, 4}},
        {4, 2, {}, {}, {0, 1, 1, 2, 2, 1, 1, 0}, {4, 3, 3, 2, 2, 3, 3, 4}},
        {3, 2, {}, {}, {0, 1, 1, 1, 0, 0}, {3, 2, 2, 2, 3, 3}},
        {2, 3, {}, {}, {0, 0, 1, 1, 1, 0}, {2, 2, 1, 1, 1, 2}},
        {5, 1, {}, {}, {0, 1, 1, 0, -1}, {5, 4, 4, 5, 6}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "f=" << r.f << " len=" << r.len);
        EXPECT_EQ(depthSequence(SlopeShape::Bulge, SlopeVariant::FarSide, r.f, r.len), r.bulge);
        EXPECT_EQ(depthSequence(SlopeShape::Notch, SlopeVariant::FarSide, r.f, r.len), r.notch);
    }
}

TEST(MarkGrid, AccessOutsideTheGridIsARangeError)
{
    MarkGrid grid(3, 2);
    EXPECT_EQ(grid.count(), 6);
    grid.set(2, 1, MarkTop);
    EXPECT_TRUE(grid.test(2, 1, MarkTop));
    EXPECT_FALSE(grid.test(2, 1, MarkLeft));
    const auto expectOutOfIndex = [](auto&& access) {
        try {
            access();
            ADD_FAILURE() << "no exception";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "Out of Index");
        }
    };
    expectOutOfIndex([&] { grid.set(3, 0, MarkLeft); });
    expectOutOfIndex([&] { grid.set(0, -1, MarkLeft); });
    expectOutOfIndex([&] { (void)grid.test(-1, 0, MarkLeft); });
    expectOutOfIndex([&] { (void)grid.cell(0, 2); });
    grid.clear();
    EXPECT_EQ(grid.cell(2, 1), 0);
}

TEST(ScaleJobConstruction, RefusesBadFactorsAndHugeOutputs)
{
    auto set = makeSet(1024, 1025, {}, kWhiteBlack);
    EXPECT_THROW(ScaleJob(*set, 0, 20, -1), std::invalid_argument);
    EXPECT_THROW(ScaleJob(*set, 33, 20, -1), std::invalid_argument);
    // 32768 x 32800 pixels would pass 2^30; the 64-bit size must catch it.
    EXPECT_THROW(ScaleJob(*set, 32, 20, -1), std::length_error);

    ImageSet empty;
    EXPECT_THROW(ScaleJob(empty, 2, 20, -1), std::invalid_argument);

    // An image without pixels is a valid, if dull, job.
    auto none = makeSet(0, 0, {}, kWhiteBlack);
    ScaleJob nothing(*none, 4, 20, -1);
    nothing.run();
    EXPECT_EQ(nothing.outputImage().width(), 0);
    EXPECT_EQ(nothing.neighbourStats(0, 0).sameIndex.left, 0);
}

TEST(ScaleJobConstruction, RefusesASetWhoseSizeDiffersFromItsIndexedImage)
{
    auto set = makeSet(Rows{"01"}, kWhiteBlack);
    set->first = std::make_unique<SpareImage>();
    set->first->allocate(5, 5);
    EXPECT_THROW(ScaleJob(*set, 2, 20, -1), std::invalid_argument);
}

TEST(ScaleJobPalette, SetPaletteShrinksTheJobPaletteAndKeepsTheOutputTail)
{
    std::vector<Colour> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[static_cast<std::size_t>(i)] = 0xFF000000u | static_cast<Colour>(i * 0x010101);
    auto set = makeSet(Rows{"01"}, colours);
    ScaleJob job(*set, 2, 20, -1);
    job.run();
    std::vector<Colour> fresh(16, 0xFF123456);
    job.setPalette(fresh.data(), 16);
    EXPECT_EQ(job.palette().size(), 16u);
    EXPECT_EQ(job.lab().size(), 16u);
    ASSERT_EQ(job.output().palette->count(), 256u);
    EXPECT_EQ(job.output().palette->at(15), 0xFF123456u);
    EXPECT_EQ(job.output().palette->at(16), colours[16]);

    job.setPalette(fresh.data(), 0);
    EXPECT_EQ(job.palette().size(), 16u);
}

// Tables built elsewhere stand in for the job's own only while they were
// built from its palette, threshold and transparent index; once a setting
// moves on, the job builds its own, so sharing never changes the output.
TEST(ScaleJobPalette, SharedTablesServeOnlyTheSettingsTheyWereBuiltFrom)
{
    const Rows rows{"0000000", "0011100", "0122210", "0123321", "0000000"};
    const std::vector<Colour> palette{0xFFFFFFFF, 0xFF000000, 0xFF1E1E28, 0xFF3C2814};
    const std::vector<Colour> recoloured{0xFF000000, 0xFFFFFFFF, 0xFFE0E0D8, 0xFF3C2814};
    const auto alone = [&](const std::vector<Colour>& colours, double threshold,
                           std::int32_t transparent) {
        auto set = makeSet(rows, colours);
        ScaleJob job(*set, 3, threshold, transparent);
        job.run();
        return rowsOf(job.outputImage());
    };
    ASSERT_NE(alone(palette, 2, -1), alone(palette, 60, -1)) << "the threshold must matter here";

    auto set = makeSet(rows, palette);
    const auto tables = std::make_shared<const PaletteTables>(palette, 2, -1);
    ScaleJob job(*set, 3, 2, -1);
    job.shareTables(tables);
    job.run();
    EXPECT_EQ(rowsOf(job.outputImage()), alone(palette, 2, -1));
    job.setThreshold(60);
    job.run();
    EXPECT_EQ(rowsOf(job.outputImage()), alone(palette, 60, -1));
    job.setThreshold(2);
    job.setPalette(recoloured.data(), static_cast<std::int32_t>(recoloured.size()));
    job.run();
    EXPECT_EQ(rowsOf(job.outputImage()), alone(recoloured, 2, -1));

    ScaleJob transparent(*set, 3, 2, 2);
    transparent.shareTables(tables);
    transparent.run();
    EXPECT_EQ(rowsOf(transparent.outputImage()), alone(palette, 2, 2));

    // A pass run alone before any Lab table exists relates nothing, shared
    // tables or not.
    ScaleJob early(*set, 3, 2, -1);
    ScaleJob earlyShared(*set, 3, 2, -1);
    earlyShared.shareTables(tables);
    for (ScaleJob* j : {&early, &earlyShared}) {
        j->replicateBlocks();
        j->runSlopePass(MarkLeft);
    }
    EXPECT_EQ(rowsOf(earlyShared.outputImage()), rowsOf(early.outputImage()));
}

TEST(NeighbourStats, CountsRunsOfIndexColourAndSimilarity)
{
    // Index 2 repeats the colour of 0; 3 is a near shade of 0; 9 is beyond
    // the palette.
    auto set =
        makeSet(Rows{"00230", "10000", "90000"}, {0xFF808080, 0xFF000000, 0xFF808080, 0xFF828080});
    ScaleJob job(*set, 2, 5, -1);
    job.run();
    const NeighbourStats s = job.neighbourStats(1, 0);
    EXPECT_EQ(s.sameIndex.left, 2);
    EXPECT_EQ(s.sameIndex.right, 1);
    EXPECT_EQ(s.sameIndex.top, 1);
    EXPECT_EQ(s.sameIndex.bottom, 3);
    EXPECT_EQ(s.sameColour.right, 2);
    EXPECT_EQ(s.similarColour.right, 4);
    EXPECT_EQ(s.similarColour.left, 2);

    // Black beside grey counts as similar at a loose threshold.
    job.setThreshold(100);
    EXPECT_EQ(job.neighbourStats(0, 0).similarColour.bottom, 2);
    const NeighbourStats beyond = job.neighbourStats(0, 2);
    EXPECT_EQ(beyond.sameColour.right, 1);
    EXPECT_EQ(beyond.similarColour.right, 1);
    EXPECT_EQ(beyond.similarColour.top, 1);

    for (auto [x, y] : {std::pair{-1, 0}, {5, 0}, {0, 3}, {0, -1}}) {
        const NeighbourStats none = job.neighbourStats(x, y);
        EXPECT_EQ(none.sameIndex.left, 0);
        EXPECT_EQ(none.similarColour.bottom, 0);
    }
}

#ifdef __linux__
// A pool made by one thread and later used by a lowered one (a window's
// thread makes it, a background run borrows it) must not go on working at
// the maker's priority; nor may a pool's first batch run at the maker's
// when the thread handing it out is lower.
TEST(WorkerPoolPriority, HelpersTakeThePriorityOfTheThreadHandingOutTheBatch)
{
    WorkerPool pool(3);
    const int maker = platform::threadPriority();
    if (maker >= 17)
        GTEST_SKIP() << "already at the lowest priority";
    std::mutex lock;
    std::set<pid_t> threads;
    std::vector<int> seen;
    auto task = [&](std::int32_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const std::lock_guard guard(lock);
        threads.insert(::gettid());
        seen.push_back(platform::threadPriority());
    };
    std::thread lowered([&] {
        ASSERT_TRUE(platform::setThreadPriority(maker + 3));
        pool.forEach(24, task);
    });
    lowered.join();
    EXPECT_GT(threads.size(), 1u); // the helpers took part
    EXPECT_EQ(std::vector<int>(24, maker + 3), seen);
}
#endif

} // namespace
} // namespace gridmint
