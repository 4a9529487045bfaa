// The engine against the plain reference on many seeded random images, and
// the properties every run must keep.
#include "EngineTestUtil.h"
#include "ReferencePasses.h"
#include "engine/ScaleJob.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sstream>

namespace gridmint {
namespace {

using test::ReferenceInput;

// Palettes built from a few base colours and near shades of them, so that
// both similar mode (clearly different neighbour) and exact mode occur and
// thresholds fall between shades.
std::vector<Colour> randomPalette(std::mt19937& rng)
{
    std::uniform_int_distribution<int> size(2, 16), byte(0, 255), bases(1, 4), delta(-6, 6),
        pick(0, 9);
    std::vector<Colour> baseColours;
    for (int i = bases(rng); i > 0; --i) {
        if (pick(rng) < 3) {
            const int g = byte(rng); // greys share a*b* whatever their lightness
            baseColours.push_back(0xFF000000u | static_cast<Colour>(g * 0x010101));
        } else {
            baseColours.push_back(
                0xFF000000u | static_cast<Colour>(byte(rng) << 16 | byte(rng) << 8 | byte(rng)));
        }
    }
    std::vector<Colour> palette;
    const int n = size(rng);
    for (int i = 0; i < n; ++i) {
        const Colour base = baseColours[static_cast<std::size_t>(i) % baseColours.size()];
        const auto channel = [&](int shift) {
            int v = static_cast<int>((base >> shift) & 0xFF);
            if (pick(rng) < 5)
                v = std::clamp(v + delta(rng) * (pick(rng) < 2 ? 8 : 1), 0, 255);
            return static_cast<Colour>(v) << shift;
        };
        palette.push_back(0xFF000000u | channel(16) | channel(8) | channel(0));
    }
    return palette;
}

// Mostly pixel-art structure (areas, lines, staircases) over few indices,
// sometimes noise, sometimes indices beyond the palette.
std::vector<std::uint8_t> randomPixels(std::mt19937& rng, int w, int h, int paletteSize)
{
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_int_distribution<int> used(2, std::min(paletteSize, 5));
    std::vector<int> indices;
    for (int i = used(rng); i > 0; --i)
        indices.push_back(std::uniform_int_distribution<int>(0, paletteSize - 1)(rng));
    if (pick(rng) < 15)
        indices.push_back(paletteSize + pick(rng) % 3);
    if (pick(rng) < 5)
        indices.push_back(255);
    std::uniform_int_distribution<std::size_t> anyIndex(0, indices.size() - 1);

    std::vector<std::uint8_t> px(static_cast<std::size_t>(w * h));
    const auto at = [&](int x, int y) -> std::uint8_t& {
        return px[static_cast<std::size_t>(y * w + x)];
    };
    const int style = pick(rng);
    if (style < 25) {
        for (auto& p : px)
            p = static_cast<std::uint8_t>(indices[anyIndex(rng)]);
        return px;
    }
    std::fill(px.begin(), px.end(), static_cast<std::uint8_t>(indices[0]));
    const int strokes = 1 + pick(rng) % 6;
    for (int s = 0; s < strokes; ++s) {
        const std::uint8_t v = static_cast<std::uint8_t>(indices[anyIndex(rng)]);
        int x = pick(rng) % w, y = pick(rng) % h;
        const int kind = pick(rng) % 3;
        if (kind == 0) { // filled rectangle
            const int x2 = std::min(w, x + 1 + pick(rng) % w),
                      y2 = std::min(h, y + 1 + pick(rng) % h);
            for (int yy = y; yy < y2; ++yy)
                for (int xx = x; xx < x2; ++xx)
                    at(xx, yy) = v;
        } else { // staircase with random step lengths
            const int dx = pick(rng) < 50 ? 1 : -1;
            const int run = 1 + pick(rng) % 4;
            for (int i = 0; i < w + h && x >= 0 && x < w && y < h; ++i) {
                at(x, y) = v;
                if (kind == 2 && x + 1 < w)
                    at(x + 1, y) = v; // thicker line
                if (i % run == run - 1)
                    ++y;
                else
                    x += dx;
            }
        }
    }
    return px;
}

double randomThreshold(std::mt19937& rng, const std::vector<Colour>& palette, int transparent)
{
    std::uniform_int_distribution<int> pick(0, 9);
    const int choice = pick(rng);
    if (choice < 4) {
        static const double fixed[] = {0.0, 1.0, 5.0, 20.0, 100.0};
        return fixed[std::uniform_int_distribution<int>(0, 4)(rng)];
    }
    // The exact distance of a pair of entries, or the double just below it.
    std::uniform_int_distribution<std::size_t> entry(0, palette.size() - 1);
    const std::size_t i = entry(rng), j = entry(rng);
    const auto lab = [&](std::size_t k) {
        if (static_cast<int>(k) == transparent)
            return LabColor{-1000000, 250000, 250000};
        const Colour c = palette[k];
        return toLab((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
    };
    const LabColor p = lab(i), q = lab(j);
    const double d = std::sqrt((p.a - q.a) * (p.a - q.a) + (p.b - q.b) * (p.b - q.b));
    return choice < 8 ? d : std::nextafter(d, 0.0);
}

std::string describe(const ReferenceInput& in)
{
    std::ostringstream os;
    os << in.width << "x" << in.height << " f=" << in.factor << " threshold=" << in.threshold
       << " transparent=" << in.transparent << "\npalette:";
    for (Colour c : in.palette)
        os << " " << std::hex << c << std::dec;
    os << "\nsource:\n";
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x)
            os << static_cast<int>(in.pixels[static_cast<std::size_t>(y * in.width + x)]) << " ";
        os << "\n";
    }
    return os.str();
}

ReferenceInput randomInput(std::mt19937& rng, int maxFactor = 8)
{
    ReferenceInput in;
    const int sizeClass = std::uniform_int_distribution<int>(0, 9)(rng);
    const int maxSide = sizeClass < 2 ? 3 : (sizeClass < 7 ? 10 : 20);
    in.width = std::uniform_int_distribution<int>(1, maxSide)(rng);
    in.height = std::uniform_int_distribution<int>(1, maxSide)(rng);
    in.palette = randomPalette(rng);
    const int paletteSize = static_cast<int>(in.palette.size());
    in.pixels = randomPixels(rng, in.width, in.height, paletteSize);
    in.factor = std::uniform_int_distribution<int>(1, maxFactor)(rng);
    const int t = std::uniform_int_distribution<int>(0, 9)(rng);
    in.transparent = t < 3   ? -1
                     : t < 8 ? std::uniform_int_distribution<int>(0, paletteSize - 1)(rng)
                             : paletteSize + t;
    in.threshold = randomThreshold(rng, in.palette, in.transparent);
    return in;
}

// The job's output and marks against the reference's; a failure message
// otherwise.
std::string compareWithReference(const ScaleJob& job, const ReferenceInput& in,
                                 const test::ReferenceResult& expected)
{
    const IndexedImage& out = job.outputImage();
    const std::vector<std::uint8_t> actual(out.store(), out.store() + expected.output.size());
    std::vector<std::uint8_t> marks;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            marks.push_back(job.marks().cell(x, y));
    if (actual == expected.output && marks == expected.marks)
        return {};
    return "differs from the reference with " + std::to_string(job.threadCount()) + " threads\n" +
           describe(in);
}

// Runs `in` with one and with three threads; the first difference from the
// reference, or empty.
std::string compareOneAndThreeThreads(const ReferenceInput& in,
                                      const test::ReferenceResult& expected)
{
    auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
    ScaleJob job(*set, in.factor, in.threshold, in.transparent);
    for (int threads : {1, 3}) {
        job.setThreadCount(threads);
        job.run();
        if (std::string failure = compareWithReference(job, in, expected); !failure.empty())
            return failure;
    }
    return {};
}

// GRIDMINT_REFERENCE_IMAGES=100000 runs a longer comparison by hand.
int referenceImageCount()
{
    const char* env = std::getenv("GRIDMINT_REFERENCE_IMAGES");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 12000;
}

TEST(SlopePassesAgainstReference, SeededRandomImagesGiveIdenticalPixelsAndMarks)
{
    std::mt19937 rng(20261207);
    test::ReferenceCoverage total;
    long imagesWithForeignIndices = 0;
    const int kImages = referenceImageCount();
    for (int n = 0; n < kImages; ++n) {
        // Now and then the whole factor range, for the long spans and deep
        // notches of large factors.
        const ReferenceInput in = randomInput(rng, n % 40 == 0 ? ScaleJob::kMaxFactor : 8);
        const int paletteSize = static_cast<int>(in.palette.size());
        for (auto p : in.pixels)
            if (p >= paletteSize) {
                ++imagesWithForeignIndices;
                break;
            }

        const auto expected = test::referenceRun(in);
        auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
        ScaleJob job(*set, in.factor, in.threshold, in.transparent);
        // 1, 2 and 3 threads in turn: small images split into bands of a
        // row or two, so that every band edge is crossed by some strip.
        job.setThreadCount(1 + n % 3);
        // Every other image as if it were too big for the caches: painted in
        // scratch bands and streamed out.
        if (n % 2 == 1)
            job.setStreamingFrom(0);
        job.run();
        if (const std::string failure = compareWithReference(job, in, expected); !failure.empty()) {
            ADD_FAILURE() << "image " << n << " " << failure;
            return;
        }
        total.similarModeRuns += expected.coverage.similarModeRuns;
        total.lighterSideStarts += expected.coverage.lighterSideStarts;
        total.farSideStarts += expected.coverage.farSideStarts;
        total.bulges += expected.coverage.bulges;
        total.notches += expected.coverage.notches;
        total.notchesIntoNextBlock += expected.coverage.notchesIntoNextBlock;
    }
    // The comparison is only worth something if the rare branches occur.
    EXPECT_GT(total.similarModeRuns, 1000);
    EXPECT_GT(total.lighterSideStarts, 1000);
    EXPECT_GT(total.farSideStarts, 1000);
    EXPECT_GT(total.bulges, 200);
    EXPECT_GT(total.notches, 200);
    EXPECT_GT(total.notchesIntoNextBlock, 20);
    EXPECT_GT(imagesWithForeignIndices, 500);
    std::cout << "similar-mode runs " << total.similarModeRuns << ", lighter-side starts "
              << total.lighterSideStarts << ", far-side starts " << total.farSideStarts
              << ", bulges " << total.bulges << ", notches " << total.notches
              << ", notch lines beyond the block " << total.notchesIntoNextBlock << "\n";
}

TEST(SlopePassesAgainstReference, LargerImagesPaintedInManyBandsOnAnyThreadCount)
{
    // Big enough for several bands of output per thread, with long runs
    // that cross band edges; each with 1, 2 and 3 threads.
    std::mt19937 rng(4242);
    // 15 and 16 fill the widest blending window: far-side notches of odd
    // factors reach one pixel deeper than the block, at 3 and 5 also in the
    // unrolled painting of the small factors.
    const auto check = [&](int factor, int width, int height) {
        ReferenceInput in = randomInput(rng);
        in.width = width;
        in.height = height;
        in.factor = factor;
        in.pixels = randomPixels(rng, in.width, in.height, static_cast<int>(in.palette.size()));
        const auto expected = test::referenceRun(in);
        auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
        ScaleJob job(*set, in.factor, in.threshold, in.transparent);
        // Painted in place, and in scratch bands streamed out as for an
        // output too big for the caches.
        for (int threads : {1, 2, 3})
            for (const bool streamed : {false, true}) {
                job.setThreadCount(threads);
                job.setStreamingFrom(streamed ? 0 : std::int64_t{1} << 40);
                job.run();
                ASSERT_EQ(compareWithReference(job, in, expected), "")
                    << factor << " x " << width << (streamed ? " streamed" : "");
            }
    };
    constexpr int kFactors[] = {3, 5, 8, 13, 15, 16};
    for (int n = 0; n < 12; ++n)
        check(kFactors[n % 6], 90 + n * 7, 160 - n * 9);
    // Rows so wide at the small factors that one thread paints several
    // bands too.
    check(2, 4200, 40);
    check(3, 2800, 30);
    check(4, 2100, 30);
}

TEST(SlopePassesAgainstReference, RunsLongerAndFurtherOutThanSixteenBits)
{
    // A dark area whose edge steps once, halfway along a side of 140000
    // pixels: two runs of 70000 lines each, the second starting beyond
    // 65535, in both orientations, so that no run's length or start may be
    // kept in sixteen bits.
    constexpr int kLong = 140000;
    constexpr int kShort = 3;
    for (const bool tall : {true, false}) {
        ReferenceInput in;
        in.width = tall ? kShort : kLong;
        in.height = tall ? kLong : kShort;
        in.palette = {0xFF202020u, 0xFFE0E0E0u};
        in.factor = 2;
        in.pixels.resize(static_cast<std::size_t>(kShort) * kLong);
        for (int along = 0; along < kLong; ++along)
            for (int across = 0; across < kShort; ++across) {
                const int x = tall ? across : along;
                const int y = tall ? along : across;
                const int edge = along < kLong / 2 ? 1 : 2;
                in.pixels[static_cast<std::size_t>(y) * in.width + x] = across < edge ? 0 : 1;
            }
        const auto expected = test::referenceRun(in);
        // Both halves must have been smoothed along most of their length, or
        // the comparison proves nothing.
        std::array<int, 2> changed{};
        const std::size_t outW = static_cast<std::size_t>(in.width) * 2;
        for (std::size_t i = 0; i < expected.output.size(); ++i) {
            const std::size_t sx = i % outW / 2;
            const std::size_t sy = i / outW / 2;
            const std::size_t along = tall ? sy : sx;
            if (expected.output[i] != in.pixels[sy * static_cast<std::size_t>(in.width) + sx])
                ++changed[along < kLong / 2 ? 0 : 1];
        }
        ASSERT_GT(changed[0], kLong / 4);
        ASSERT_GT(changed[1], kLong / 4);
        ASSERT_EQ(compareOneAndThreeThreads(in, expected), "") << (tall ? "tall" : "wide");
    }
}

TEST(SlopePassesAgainstReference, RowsAroundTheFilterAndWordWidths)
{
    // The candidate filter takes sixteen or eight pixels at a time, the last
    // block of a row overlapping the one before, and keeps its bits in 64-bit
    // words, whole words at once inside the row: widths on either side of
    // all these, and rows few enough that some threads get none.
    std::mt19937 rng(1607);
    for (int width :
         {1, 2, 9, 10, 11, 16, 17, 18, 19, 33, 64, 65, 66, 67, 80, 128, 129, 130, 193}) {
        for (int height : {1, 2, 5, 7, 9, 12}) {
            ReferenceInput in = randomInput(rng);
            in.width = width;
            in.height = height;
            in.pixels = randomPixels(rng, width, height, static_cast<int>(in.palette.size()));
            const auto expected = test::referenceRun(in);
            ASSERT_EQ(compareOneAndThreeThreads(in, expected), "") << width << " x " << height;
        }
    }
}

TEST(SlopePassesAgainstReference, ShadeGradientsBesideOtherHues)
{
    // Bands of greys beside bands of blues, each a random walk through its
    // shades along the band: every pixel on a band's edge starts a
    // similar-mode run that goes on through the shades for many lines, so
    // later starts on a lane meet what earlier ones followed, and the walks
    // cross in lightness, so that a neighbour darker than one start but not
    // the one before ends it. Across and along, every few images a transpose.
    std::mt19937 rng(311);
    std::vector<Colour> palette;
    for (int i = 0; i < 6; ++i)
        palette.push_back(0xFF000000u | static_cast<Colour>((40 + 36 * i) * 0x010101));
    for (int i = 0; i < 6; ++i)
        palette.push_back(0xFF000000u | static_cast<Colour>((30 + 9 * i) << 16 | (40 + 9 * i) << 8 |
                                                            (140 + 20 * i)));
    std::uniform_int_distribution<int> step(-1, 1), pick(0, 99), side(20, 70);
    for (int n = 0; n < 24; ++n) {
        ReferenceInput in;
        in.palette = palette;
        in.width = side(rng);
        in.height = side(rng);
        in.factor = 1 + n % 4;
        in.threshold = n % 3 == 0 ? 100.0 : 30.0; // the greys alone, or both families
        in.transparent = -1;
        const bool across = n % 2 == 0;
        const int band = 1 + n % 3;
        const int lanes = across ? in.height : in.width;
        const int length = across ? in.width : in.height;
        in.pixels.assign(static_cast<std::size_t>(in.width * in.height), 0);
        for (int lane = 0; lane < lanes; ++lane) {
            const int family = lane / band % 2;
            int shade = pick(rng) % 6;
            for (int along = 0; along < length; ++along) {
                if (pick(rng) < 30)
                    shade = std::clamp(shade + step(rng), 0, 5);
                const int x = across ? along : lane;
                const int y = across ? lane : along;
                in.pixels[static_cast<std::size_t>(y * in.width + x)] =
                    static_cast<std::uint8_t>(pick(rng) < 2 ? pick(rng) % 12 : family * 6 + shade);
            }
        }
        const auto expected = test::referenceRun(in);
        ASSERT_EQ(compareOneAndThreeThreads(in, expected), "") << n;
    }
}

TEST(SlopePassesAgainstReference, ALaterStartLighterThanAnEarlierOneStopsAtItsOwnDarkerNeighbour)
{
    // A lane whose colour drifts in hue, each pixel similar to the one
    // before, beside a lane of lighter colours drifting likewise ahead of it
    // (threshold 9, steps of 6 in a*). The runs from the lane's first two
    // pixels (L* 30) go on to the image's edge, painting nothing; the third
    // pixel (L* 40), beside a pixel similar to it, starts a run that ends
    // where its neighbour (the sixth, L* 35) is darker than it, though not
    // darker than the starts before. Against the upper and the lower
    // neighbour, and turned, the left and the right one.
    const std::vector<Colour> palette = {
        0xFF03140Au, 0xFF07130Au, 0xFF152013u, 0xFF1B1E13u, 0xFF211C13u,
        0xFF281A14u, 0xFF2F1814u, 0xFF361614u, 0xFF3E1414u, 0xFF461114u, // the lane
        0xFF444B36u, 0xFF504736u, 0xFF5C4336u, 0xFF693F37u, 0xFF2B100Eu,
        0xFF843737u, 0xFF923337u, 0xFFA12F38u, 0xFFB02A38u, // beside it
        0xFF501D80u};                                       // the far side
    constexpr std::uint8_t kBeside[] = {10, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    constexpr int kLength = 10;
    for (int turn = 0; turn < 4; ++turn) {
        const bool across = turn < 2;
        const bool besideFirst = turn % 2 == 0;
        ReferenceInput in;
        in.palette = palette;
        in.width = across ? kLength : 3;
        in.height = across ? 3 : kLength;
        in.factor = 2;
        in.threshold = 9;
        in.pixels.resize(3 * kLength);
        for (int a = 0; a < kLength; ++a) {
            const std::uint8_t lanes[3] = {besideFirst ? kBeside[a] : std::uint8_t{19},
                                           static_cast<std::uint8_t>(a),
                                           besideFirst ? std::uint8_t{19} : kBeside[a]};
            for (int lane = 0; lane < 3; ++lane)
                in.pixels[static_cast<std::size_t>(across ? lane * kLength + a : a * 3 + lane)] =
                    lanes[lane];
        }
        const auto expected = test::referenceRun(in);
        // The lighter start's run is claimed on its three lines, the starts
        // before it claim nothing, nor does the darker neighbour's line.
        constexpr std::uint8_t kPass[] = {MarkTop, MarkBottom, MarkLeft, MarkRight};
        for (int a = 0; a < 6; ++a) {
            const std::size_t at = static_cast<std::size_t>(across ? kLength + a : a * 3 + 1);
            ASSERT_EQ((expected.marks[at] & kPass[turn]) != 0, a >= 2 && a < 5) << turn << " " << a;
        }
        ASSERT_EQ(compareOneAndThreeThreads(in, expected), "") << turn;
    }
}

TEST(SlopePassesAgainstReference, FullPalettesOfDistinctLightness)
{
    // 256 entries with 256 different L* values: more than a byte of distinct
    // lightness ranks, so the engine's candidate filter has to merge some.
    std::mt19937 rng(99);
    std::vector<Colour> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back(0xFF000000u | static_cast<Colour>(i * 0x010101));
    // Every other image shuffles the palette; the others keep lightness in
    // index order, so that neighbouring indices have neighbouring ranks and
    // the merged ranks (at either end of the scale) are met.
    const std::vector<Colour> ordered = palette;
    std::shuffle(palette.begin(), palette.end(), rng);
    std::uniform_int_distribution<int> side(1, 16), index(0, 255), near(-2, 2), factor(1, 5);
    for (int n = 0; n < 400; ++n) {
        ReferenceInput in;
        in.width = side(rng);
        in.height = side(rng);
        in.palette = n % 2 == 0 ? palette : ordered;
        in.factor = factor(rng);
        in.threshold = n % 2 == 0 ? 20.0 : 0.0;
        in.transparent = n % 3 == 0 ? index(rng) : -1;
        // Few neighbouring indices so that runs form.
        const int base =
            n % 4 == 1 ? index(rng) % 4 : (n % 4 == 3 ? 255 - index(rng) % 4 : index(rng));
        for (int i = 0; i < in.width * in.height; ++i)
            in.pixels.push_back(static_cast<std::uint8_t>(std::clamp(base + near(rng), 0, 255)));
        const auto expected = test::referenceRun(in);
        auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
        ScaleJob job(*set, in.factor, in.threshold, in.transparent);
        job.run();
        const IndexedImage& out = job.outputImage();
        ASSERT_EQ(std::vector<std::uint8_t>(out.store(), out.store() + expected.output.size()),
                  expected.output)
            << describe(in);
    }
}

std::vector<std::uint8_t> pixelsOf(const ScaleJob& job)
{
    const IndexedImage& out = job.outputImage();
    return {out.store(), out.store() + std::size_t(out.width()) * std::size_t(out.height())};
}

TEST(ScaleJobProperties, RerunsArePaletteIndependentAndKeepTransparencyOut)
{
    std::mt19937 rng(7);
    for (int n = 0; n < 2000; ++n) {
        const ReferenceInput in = randomInput(rng);
        auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
        ScaleJob job(*set, in.factor, in.threshold, in.transparent);
        job.run();
        const auto first = pixelsOf(job);

        // A run with another threshold decides with it and leaves nothing
        // behind.
        job.setThreadCount(1 + n % 3);
        ReferenceInput rethresholded = in;
        rethresholded.threshold = in.threshold + 30;
        job.setThreshold(rethresholded.threshold);
        job.run();
        ASSERT_EQ(pixelsOf(job), test::referenceRun(rethresholded).output)
            << "run after setThreshold\n"
            << describe(rethresholded);
        job.setThreshold(in.threshold);
        job.run();
        ASSERT_EQ(pixelsOf(job), first) << "rerun differs\n" << describe(in);

        std::vector<Colour> other(in.palette.rbegin(), in.palette.rend());
        job.setPalette(other.data(), static_cast<std::int32_t>(other.size()));
        ASSERT_EQ(pixelsOf(job), first) << "setPalette touched pixels\n" << describe(in);

        // The next run decides with the new colours.
        ReferenceInput recoloured = in;
        recoloured.palette = other;
        job.run();
        ASSERT_EQ(pixelsOf(job), test::referenceRun(recoloured).output) << "run after setPalette\n"
                                                                        << describe(recoloured);
        job.setPalette(in.palette.data(), static_cast<std::int32_t>(in.palette.size()));

        // The transparent index only ever comes from replication: an output
        // pixel holds it only inside a transparent source pixel's block.
        const int t = in.transparent;
        if (t < 0 || t >= static_cast<int>(in.palette.size()))
            continue;
        const int outW = in.width * in.factor;
        for (std::size_t i = 0; i < first.size(); ++i) {
            if (first[i] != t)
                continue;
            const int X = static_cast<int>(i) % outW, Y = static_cast<int>(i) / outW;
            ASSERT_EQ(in.pixels[std::size_t(Y / in.factor * in.width + X / in.factor)], t)
                << "transparent index painted at " << X << "," << Y << "\n"
                << describe(in);
        }
    }
}

TEST(SlopePassesAgainstReference, PassesOneAtATimeAddUpToTheWholeRun)
{
    // Each pass alone paints over the output as it stands and keeps the
    // other passes' marks: after a plain enlargement, the four in order
    // give the whole run's pixels and marks, on any thread count.
    std::mt19937 rng(1108);
    for (int n = 0; n < 600; ++n) {
        const ReferenceInput in = randomInput(rng);
        const auto expected = test::referenceRun(in);
        auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
        ScaleJob job(*set, in.factor, in.threshold, in.transparent);
        job.setThreadCount(1 + n % 3);
        job.run(false);
        for (MarkBit pass : {MarkLeft, MarkRight, MarkTop, MarkBottom})
            job.runSlopePass(pass);
        ASSERT_EQ(compareWithReference(job, in, expected), "") << "image " << n;
    }
}

TEST(SlopePassesAgainstReference, EveryTwoIndexFourByFourImage)
{
    // Every pixel's neighbourhood in every place, in both modes: two greys
    // (the darker's runs compare indices) and a blue beside a yellow (runs
    // compare shades). Four lines are the fewest on which a run from a pixel
    // whose eight neighbours all exist passes its first line and then meets
    // its second line or the image's end.
    const std::vector<Colour> palettes[] = {{0xFF202020u, 0xFFD0D0D0u}, {0xFF2020A0u, 0xFFF0F080u}};
    ReferenceInput in;
    in.width = 4;
    in.height = 4;
    in.factor = 2;
    in.pixels.resize(16);
    for (unsigned bits = 0; bits < 1u << 16; ++bits) {
        // Half the images in each mode, well mixed, to keep the test short.
        in.palette = palettes[std::popcount(bits) & 1];
        for (int i = 0; i < 16; ++i)
            in.pixels[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> i & 1);
        const auto expected = test::referenceRun(in);
        auto set = test::makeSet(in.width, in.height, in.pixels, in.palette);
        ScaleJob job(*set, in.factor, in.threshold, in.transparent);
        job.setThreadCount(1);
        job.run();
        ASSERT_EQ(compareWithReference(job, in, expected), "") << bits;
    }
}

} // namespace
} // namespace gridmint
