// The slope passes: one algorithm, run in four orientations.
//
// Every pass looks at one side s of each source pixel P. Where the pixel N on
// that side is strictly lighter and of another index, it follows the run of
// P's colour along the run axis a (perpendicular to s), classifies how the run
// starts and how it ends, and paints part of the run's enlarged blocks with
// the neighbours' colours. The code below is written once for an abstract
// (s, a) pair; an orientation descriptor supplies the four concrete ones.
//
// Source neighbourhood, drawn for the left pass (s = left, a = down); the
// other passes are this picture turned and mirrored:
//
//              s            -s
//        +-----------+-----------+-----------+
//        | P - a + s | P - a     | P - a - s |   <- the line before the run
//        +-----------+-----------+-----------+
//        | N = P + s | P  (k=0)  | P - s     |   <- start line
//        +-----------+-----------+-----------+
//        | Q_k + s   | Q_k       | Q_k - s   |   <- line k = 1, 2, ...
//        +-----------+-----------+-----------+      (Q_k = P + k a)
//          toward       run         away
//
//   start kind: lighter-side when P - a + s matches; far-side when P - s
//   exists, P - a differs and P - a - s or P - s matches; else free.
//   step at line k: away when Q_k - s exists, Q_k differs and Q_k - s
//   matches; toward when Q_k + s matches.
//
// Output strip of a run of len lines at factor f: the f x f blocks of the
// run's lines laid end to end along a. r counts output lines along a, d counts
// pixels from the block edge that faces s. One block, f = 4, a start wedge
// (depths 3 2 1 0), '#' painted with N's colour, '*' the origin (r 0, d 0):
//
//      left pass: s = -x, a = +y          bottom pass: s = +y, a = +x
//      N is left of the block             N is below the block
//
//            d ->                               r ->
//      r=0   *##.                         d=3   ....
//      r=1   ##..                         d=2   #...
//      r=2   #...                         d=1   ##..
//      r=3   ....                         d=0   *##.
//
// rStep moves one output line along a, dStep one pixel away from s. The
// far-side notch of the right and bottom passes may reach d = f, the first
// pixel of the block behind P - s.

#include "engine/SlopePasses.h"

#include "engine/SlopeShapes.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gridmint {

namespace {

constexpr std::uint8_t kSimilar = 0x01;
constexpr std::uint8_t kLighter = 0x02;
constexpr std::uint8_t kDarker = 0x04;

// Orientation descriptors: side step (sx, sy), run axis (ax, ay), the pass's
// mark bit and its bulge/notch variant.
struct LeftPass {
    static constexpr int sx = -1, sy = 0, ax = 0, ay = 1;
    static constexpr std::uint8_t mark = MarkLeft;
    static constexpr SlopeVariant variant = SlopeVariant::NearSide;
};
struct RightPass {
    static constexpr int sx = 1, sy = 0, ax = 0, ay = 1;
    static constexpr std::uint8_t mark = MarkRight;
    static constexpr SlopeVariant variant = SlopeVariant::FarSide;
};
struct TopPass {
    static constexpr int sx = 0, sy = -1, ax = 1, ay = 0;
    static constexpr std::uint8_t mark = MarkTop;
    static constexpr SlopeVariant variant = SlopeVariant::NearSide;
};
struct BottomPass {
    static constexpr int sx = 0, sy = 1, ax = 1, ay = 0;
    static constexpr std::uint8_t mark = MarkBottom;
    static constexpr SlopeVariant variant = SlopeVariant::FarSide;
};

enum class StartKind : std::uint8_t { Free, LighterSide, FarSide };
enum class Step : std::uint8_t { None, Toward, Away };

struct Outcome {
    bool paint = false;
    SlopeShape shape = SlopeShape::StartWedge;
    int len = 0;    // lines of the strip painted
    int marked = 0; // lines marked, from the start pixel on
};

// The outcome table shared by all passes.
Outcome decide(StartKind kind, Step step, int len)
{
    switch (step) {
    case Step::Toward:
        return {true, kind == StartKind::LighterSide ? SlopeShape::Bulge : SlopeShape::StartWedge,
                len, len};
    case Step::Away:
        return {true, kind == StartKind::FarSide ? SlopeShape::Notch : SlopeShape::EndWedge, len,
                len};
    case Step::None:
        break;
    }
    switch (kind) {
    case StartKind::LighterSide:
        return {true, SlopeShape::EndWedge, len, len};
    case StartKind::FarSide:
        // A one-line far-side run is too short to slope but is still claimed.
        if (len >= 2)
            return {true, SlopeShape::StartWedge, len, len};
        return {false, SlopeShape::StartWedge, 0, 1};
    case StartKind::Free:
        break;
    }
    // Unattached and unfinished: leave each pixel to be a start of its own.
    return {};
}

// Sets n bytes (n >= 1, at most a few dozen) without a call: the spans of
// one run are short and many, and a library memset per span cost more than
// the writes themselves. Overlapping stores write the same value twice.
inline void fillSpan(std::uint8_t* p, std::uint8_t v, int n)
{
    if (n >= 8) {
        const std::uint64_t word = 0x0101010101010101ull * v;
        int i = 0;
        for (; i + 8 <= n; i += 8)
            std::memcpy(p + i, &word, 8);
        if (i < n)
            std::memcpy(p + n - 8, &word, 8);
    } else if (n >= 4) {
        const std::uint32_t word = 0x01010101u * v;
        std::memcpy(p, &word, 4);
        std::memcpy(p + n - 4, &word, 4);
    } else if (n >= 2) {
        const std::uint16_t word = static_cast<std::uint16_t>(0x0101u * v);
        std::memcpy(p, &word, 2);
        std::memcpy(p + n - 2, &word, 2);
    } else {
        *p = v;
    }
}

// Whether the 8-byte window that holds one output line of a strip (f <= 8)
// lies inside its output row: from the block's left edge for the left, top
// and bottom passes, ending at its right edge for the right pass.
template <class O> bool wordWindowFits(std::ptrdiff_t originX, std::ptrdiff_t outWidth)
{
    if constexpr (std::endian::native != std::endian::little)
        return false;
    if constexpr (O::sx > 0)
        return originX - 7 >= 0;
    else
        return originX + 8 <= outWidth;
}

// Sets `depth` bytes (at most 8; none when depth <= 0) of the 8-byte window
// to v, from its low end or from its high end, leaving the others unchanged.
template <bool FromLow> inline void blendWindow(std::uint8_t* window, std::uint8_t v, int depth)
{
    const int n = depth < 0 ? 0 : depth;
    const std::uint64_t ones = n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
    const std::uint64_t mask = FromLow ? ones : (n >= 8 ? ones : ~(~std::uint64_t{0} >> (8 * n)));
    std::uint64_t word = 0;
    std::memcpy(&word, window, 8);
    word = (word & ~mask) | (0x0101010101010101ull * v & mask);
    std::memcpy(window, &word, 8);
}

// Writes one block of a run that goes right: column i of the block gets v in
// its first depths[i] rows (row d at block + d * dStep), row by row.
inline void blendBlockRows(std::uint8_t* block, std::ptrdiff_t dStep, const std::int8_t* depths,
                           int deepest, std::uint8_t v)
{
#if defined(__SSE2__)
    const __m128i want = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(depths));
    const __m128i colour = _mm_set1_epi8(static_cast<char>(v));
    for (int d = 0; d < deepest; ++d) {
        std::uint8_t* row = block + d * dStep;
        const __m128i mask = _mm_cmpgt_epi8(want, _mm_set1_epi8(static_cast<char>(d)));
        const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row));
        const __m128i blended =
            _mm_or_si128(_mm_and_si128(mask, colour), _mm_andnot_si128(mask, old));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row), blended);
    }
#else
    for (int d = 0; d < deepest; ++d) {
        std::uint8_t* row = block + d * dStep;
        for (int i = 0; i < 8; ++i)
            if (depths[i] > d)
                row[i] = v;
    }
#endif
}

struct PassContext {
    std::int32_t width;
    std::int32_t height;
    const std::uint8_t* source; // rows of `width` bytes, no padding
    const std::uint8_t* relations;

    bool inside(std::int32_t x, std::int32_t y) const
    {
        return x >= 0 && x < width && y >= 0 && y < height;
    }
};

// perf: with the run follower inlined into the scan, its outcome stays in
// registers instead of going through the stack: dither passes at factor 2
// from 23.7 to 22.1 ns per source pixel.
#if defined(__GNUC__)
#define GRIDMINT_ALWAYS_INLINE [[gnu::always_inline]] inline
#elif defined(_MSC_VER)
#define GRIDMINT_ALWAYS_INLINE __forceinline
#else
#define GRIDMINT_ALWAYS_INLINE inline
#endif

// Classifies the start of the run at P and follows it to its step or stop.
// Exact mode compares indices with the start index; similar mode compares
// colours with the previous line's, so that shades of one colour carry on.
template <class O, bool Exact>
GRIDMINT_ALWAYS_INLINE Outcome follow(const PassContext& ctx, std::int32_t x, std::int32_t y,
                                      std::uint8_t c, std::uint8_t n)
{
    const std::ptrdiff_t w = ctx.width;
    const std::ptrdiff_t sOff = O::sx + O::sy * w;
    const std::ptrdiff_t aOff = O::ax + O::ay * w;
    const std::uint8_t* rel = ctx.relations;
    const std::uint8_t* relC = rel + std::size_t{c} * 256;
    const std::uint8_t* p = ctx.source + std::ptrdiff_t{y} * w + x;

    const auto matches = [&](std::uint8_t ref, std::uint8_t v) -> bool {
        if constexpr (Exact) {
            (void)ref;
            return v == c;
        } else {
            return (rel[std::size_t{ref} * 256 + v] & kSimilar) != 0;
        }
    };

    // The run moves along a, perpendicular to s, so the far side exists for
    // all of its lines or for none.
    const bool farExists = ctx.inside(x - O::sx, y - O::sy);

    StartKind kind = StartKind::Free;
    if (ctx.inside(x - O::ax, y - O::ay)) {
        const std::uint8_t* before = p - aOff;
        if (matches(c, before[sOff]))
            kind = StartKind::LighterSide;
        else if (farExists && !matches(c, before[0]) &&
                 (matches(c, before[-sOff]) || matches(c, p[-sOff])))
            kind = StartKind::FarSide;
    }

    const std::int32_t along = O::ay != 0 ? y : x;
    const std::int32_t limit = O::ay != 0 ? ctx.height : ctx.width;
    if (along + 1 >= limit)
        return {};

    std::uint8_t cref = c;
    std::uint8_t nref = n;
    const std::uint8_t* q = p;
    std::int32_t k = 1;
    for (;; ++k) {
        q += aOff;
        const std::uint8_t qi = q[0];
        const std::uint8_t ni = q[sOff];
        if (farExists && !matches(cref, qi) && matches(cref, q[-sOff]))
            return decide(kind, Step::Away, k);
        if (matches(cref, ni))
            return decide(kind, Step::Toward, k);
        if (!matches(cref, qi))
            break;
        if constexpr (!Exact) {
            if ((rel[std::size_t{nref} * 256 + ni] & kSimilar) == 0)
                break;
        }
        // A neighbour darker than the start pixel ends the edge.
        if (relC[ni] & kDarker)
            break;
        if constexpr (!Exact) {
            cref = qi;
            nref = ni;
        }
        // The last line is never part of an unfinished run.
        if (along + k + 1 >= limit)
            break;
    }
    return decide(kind, Step::None, k);
}

} // namespace

template <class O> void SlopePassRunner::runPass()
{
    ScaleJob& job = job_;
    const std::int32_t width = job.width_;
    const std::int32_t height = job.height_;
    const std::int32_t f = job.factor_;
    const PassContext ctx{width, height, job.source_->image->store(), job.relations_.get()};
    MarkGrid& marks = job.marks_;
    std::uint8_t* outBase = job.output_->image->store();

    const std::ptrdiff_t w = width;
    const std::ptrdiff_t outW = std::ptrdiff_t{f} * width;
    const std::ptrdiff_t sOff = O::sx + O::sy * w;
    const std::ptrdiff_t aOff = O::ax + O::ay * w;
    const std::ptrdiff_t rStep = O::ax + O::ay * outW;
    const std::ptrdiff_t dStep = -(O::sx + O::sy * outW);

    // Every pixel whose side neighbour exists, row by row. The order matters:
    // a run claims its later lines through the marks, and a far-side notch
    // may overwrite the strip of a run treated earlier.
    const std::int32_t xBegin = O::sx < 0 ? 1 : 0;
    const std::int32_t xEnd = O::sx > 0 ? width - 1 : width;
    const std::int32_t yBegin = O::sy < 0 ? 1 : 0;
    const std::int32_t yEnd = O::sy > 0 ? height - 1 : height;

    const auto treat = [&](std::int32_t x, std::int32_t y, std::uint8_t c, std::uint8_t n) {
        const std::uint8_t rel = ctx.relations[std::size_t{c} * 256 + n];
        if ((rel & kLighter) == 0 || marks.test(x, y, O::mark))
            return;

        const Outcome o =
            (rel & kSimilar) ? follow<O, true>(ctx, x, y, c, n) : follow<O, false>(ctx, x, y, c, n);
        for (int k = 0; k < o.marked; ++k)
            marks.set(x + k * O::ax, y + k * O::ay, O::mark);
        if (!o.paint)
            return;

        // Each output line r takes the colour of the neighbour of the source
        // line it lies in.
        const std::ptrdiff_t originX = std::ptrdiff_t{f} * x + (O::sx > 0 ? f - 1 : 0);
        const std::ptrdiff_t originY = std::ptrdiff_t{f} * y + (O::sy > 0 ? f - 1 : 0);
        std::uint8_t* origin = outBase + originY * outW + originX;
        std::ptrdiff_t neighbour = std::ptrdiff_t{y} * w + x + sOff;
        std::uint8_t colour = 0;
        int sub = 0;
        if (f <= 8 && wordWindowFits<O>(originX, outW)) {
            // Small blocks: every output line of the strip lies in one 8-byte
            // window, blended in place (bytes outside the strip are written
            // back unchanged), without branches on the depth.
            // perf: at factor 8, sprite passes from 16.5 to 13.7 ns per
            // source pixel, dither from 42.8 to 35.9.
            std::uint8_t* window = origin - (O::sx > 0 ? 7 : 0);
            constexpr bool fromLowEnd = O::sx < 0;
            if constexpr (O::sy == 0) {
                forEachDepth(o.shape, O::variant, f, o.len, [&](int r, int depth) {
                    if (sub == 0)
                        colour = ctx.source[neighbour];
                    blendWindow<fromLowEnd>(window + r * rStep, colour, depth);
                    if (++sub == f) {
                        sub = 0;
                        neighbour += aOff;
                    }
                });
            } else {
                std::int8_t depths[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
                int deepest = 0;
                std::uint8_t* block = origin;
                forEachDepth(o.shape, O::variant, f, o.len, [&](int, int depth) {
                    depths[sub] = static_cast<std::int8_t>(depth);
                    deepest = depth > deepest ? depth : deepest;
                    if (++sub < f)
                        return;
                    blendBlockRows(block, dStep, depths, deepest, ctx.source[neighbour]);
                    sub = 0;
                    deepest = 0;
                    neighbour += aOff;
                    block += f;
                });
            }
            return;
        }
        forEachDepth(o.shape, O::variant, f, o.len, [&](int r, int depth) {
            if (sub == 0)
                colour = ctx.source[neighbour];
            std::uint8_t* px = origin + r * rStep;
            if constexpr (O::sy == 0) {
                // Horizontal spans: the run goes down, depth runs along a row.
                if (depth > 0)
                    fillSpan(O::sx < 0 ? px : px - (depth - 1), colour, depth);
            } else {
                for (int d = 0; d < depth; ++d)
                    px[d * dStep] = colour;
            }
            if (++sub == f) {
                sub = 0;
                neighbour += aOff;
            }
        });
    };

    // A pixel is a candidate when its neighbour has another index and a rank
    // at least its own; the relation table then decides exactly.
    const std::uint8_t* rankBase = job.lightRank_.data();
    for (std::int32_t y = yBegin; y < yEnd; ++y) {
        const std::uint8_t* row = ctx.source + std::ptrdiff_t{y} * w;
        const std::uint8_t* rank = rankBase + std::ptrdiff_t{y} * w;
        std::int32_t x = xBegin;
#if defined(__SSE2__)
        const std::uint8_t* cells = marks.data() + std::ptrdiff_t{y} * w;
        const __m128i markBit = _mm_set1_epi8(static_cast<char>(O::mark));
        // perf: most pixels of pixel art have no lighter neighbour of another
        // index; testing sixteen at a time took the sprite passes at factor 2
        // from 15.2 to 8.9 ns per source pixel (lines 13.2 to 7.8).
        for (; xEnd - x >= 16; x += 16) {
            const auto load = [](const std::uint8_t* p) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            };
            const __m128i c = load(row + x);
            const __m128i n = load(row + x + sOff);
            const __m128i rc = load(rank + x);
            const __m128i rn = load(rank + x + sOff);
            // Marks are only ever added during a pass, so a cell marked now
            // stays marked; treat() tests the others again.
            const __m128i marked = _mm_cmpeq_epi8(_mm_and_si128(load(cells + x), markBit), markBit);
            const __m128i same = _mm_cmpeq_epi8(c, n);
            const __m128i notDarker = _mm_cmpeq_epi8(_mm_max_epu8(rn, rc), rn);
            unsigned mask = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_andnot_si128(_mm_or_si128(same, marked), notDarker)));
            while (mask != 0) {
                const std::int32_t at = x + std::countr_zero(mask);
                mask &= mask - 1;
                treat(at, y, row[at], row[at + sOff]);
            }
        }
#endif
        for (; x < xEnd; ++x) {
            const std::uint8_t c = row[x];
            const std::uint8_t n = row[x + sOff];
            if (n != c && rank[x + sOff] >= rank[x])
                treat(x, y, c, n);
        }
    }
}

void SlopePassRunner::runAll()
{
    static_assert(kSimilar == ScaleJob::kRelSimilar && kLighter == ScaleJob::kRelLighter &&
                  kDarker == ScaleJob::kRelDarker);
    runPass<LeftPass>();
    runPass<RightPass>();
    runPass<TopPass>();
    runPass<BottomPass>();
}

void SlopePassRunner::runOne(MarkBit pass)
{
    switch (pass) {
    case MarkLeft:
        runPass<LeftPass>();
        return;
    case MarkRight:
        runPass<RightPass>();
        return;
    case MarkTop:
        runPass<TopPass>();
        return;
    case MarkBottom:
        runPass<BottomPass>();
        return;
    }
}

} // namespace gridmint
