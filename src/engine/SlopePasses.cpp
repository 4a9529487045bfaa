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
//
// A run of the passes goes in two steps. Deciding: each pass scans the
// source and records its painted runs (start, length, shape) in scan order;
// it reads only the source and its own mark bit, so the four passes decide
// on separate threads when there are several. Painting: the output is cut
// into bands of source rows; each band is replicated and then painted by one
// thread with the runs of every pass that reach into it, pass by pass and in
// scan order within a pass, clipped to the band. Every output pixel thus
// sees the same writes in the same order as on one thread, band after band,
// and the band stays in the core's cache from replication to the last pass.

#include "engine/SlopePasses.h"

#include "engine/SlopeShapes.h"
#include "engine/WorkerPool.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Byte shuffles, where the processor has them, for the filter's rank
// lookups; the build's baseline does not include them.
#if defined(__SSE2__) && defined(__GNUC__)
#define GRIDMINT_SHUFFLED_RANKS 1
#include <tmmintrin.h>
#endif

namespace gridmint {

namespace {

constexpr std::uint8_t kSimilar = 0x01;
constexpr std::uint8_t kLighter = 0x02;
constexpr std::uint8_t kDarker = 0x04;

// Orientation descriptors: the pass's place in the painting order, side step
// (sx, sy), run axis (ax, ay), its mark bit and its bulge/notch variant.
struct LeftPass {
    static constexpr int index = 0;
    static constexpr int sx = -1, sy = 0, ax = 0, ay = 1;
    static constexpr std::uint8_t mark = MarkLeft;
    static constexpr SlopeVariant variant = SlopeVariant::NearSide;
};
struct RightPass {
    static constexpr int index = 1;
    static constexpr int sx = 1, sy = 0, ax = 0, ay = 1;
    static constexpr std::uint8_t mark = MarkRight;
    static constexpr SlopeVariant variant = SlopeVariant::FarSide;
};
struct TopPass {
    static constexpr int index = 2;
    static constexpr int sx = 0, sy = -1, ax = 1, ay = 0;
    static constexpr std::uint8_t mark = MarkTop;
    static constexpr SlopeVariant variant = SlopeVariant::NearSide;
};
struct BottomPass {
    static constexpr int index = 3;
    static constexpr int sx = 0, sy = 1, ax = 1, ay = 0;
    static constexpr std::uint8_t mark = MarkBottom;
    static constexpr SlopeVariant variant = SlopeVariant::FarSide;
};

// The passes' mark bits by their place in the painting order, and all four.
constexpr std::uint8_t kPassMarks[4] = {LeftPass::mark, RightPass::mark, TopPass::mark,
                                        BottomPass::mark};
constexpr std::uint8_t kAllPasses = MarkLeft | MarkRight | MarkTop | MarkBottom;

enum class StartKind : std::uint8_t { Free, LighterSide, FarSide };
enum class Step : std::uint8_t { None, Toward, Away };

struct Outcome {
    bool paint = false;
    SlopeShape shape = SlopeShape::StartWedge;
    int len = 0;    // lines of the strip painted
    int marked = 0; // lines marked, from the start pixel on
};

// The outcome table shared by all passes.
constexpr Outcome decide(StartKind kind, Step step, int len)
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

// Sets byte i (0 to 7) of `word` to `depth` as a signed byte: the depth
// words that the block painting compares a row's depth with.
inline void setDepthByte(std::uint64_t& word, int i, int depth)
{
    const int shift = 8 * i;
    word = (word & ~(std::uint64_t{0xFF} << shift)) |
           std::uint64_t{static_cast<std::uint8_t>(depth)} << shift;
}

// Whether the window of Bytes bytes that holds one output line of a strip
// (f <= 8 for 8 bytes, f <= 16 for 16) lies inside its output row: from the block's left edge for
// the left, top and bottom passes, ending at its right edge for the right pass.
template <class O, int Bytes = 8>
bool wordWindowFits(std::ptrdiff_t originX, std::ptrdiff_t outWidth)
{
    if constexpr (std::endian::native != std::endian::little)
        return false;
    if constexpr (O::sx > 0)
        return originX - (Bytes - 1) >= 0;
    else
        return originX + Bytes <= outWidth;
}

// The masks of blendWindow for 0 to 8 bytes.
template <bool FromLow> struct WindowMasks {
    std::uint64_t of[9] = {};
    constexpr WindowMasks()
    {
        for (int n = 0; n <= 8; ++n) {
            const std::uint64_t ones =
                n == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
            of[n] = FromLow || n == 8 ? ones : ~(~std::uint64_t{0} >> (8 * n));
        }
    }
};
template <bool FromLow> constexpr WindowMasks<FromLow> kWindowMasks{};

// Sets `depth` bytes (at most 8; none when depth <= 0) of the 8-byte window
// to v, from its low end or from its high end, leaving the others unchanged.
template <bool FromLow> inline void blendWindow(std::uint8_t* window, std::uint8_t v, int depth)
{
    const std::uint64_t mask = kWindowMasks<FromLow>.of[depth < 0 ? 0 : (depth > 8 ? 8 : depth)];
    std::uint64_t word = 0;
    std::memcpy(&word, window, 8);
    word = (word & ~mask) | (0x0101010101010101ull * v & mask);
    std::memcpy(window, &word, 8);
}

// The masks of blendWideWindow by the depth's byte, as the short-run table
// holds it: 0 to 16 bytes, all 16 beyond, none for a negative depth.
template <bool FromLow> struct WideWindowMasks {
    alignas(16) std::uint8_t of[256][16] = {};
    constexpr WideWindowMasks()
    {
        for (int b = 0; b < 256; ++b) {
            const int n = b >= 128 ? 0 : (b > 16 ? 16 : b);
            for (int i = 0; i < n; ++i)
                of[b][FromLow ? i : 15 - i] = 0xFF;
        }
    }
};
template <bool FromLow> constexpr WideWindowMasks<FromLow> kWideWindowMasks{};

// Sets `depth` bytes (at most 16; none when depth <= 0) of the 16-byte window
// to v, from its low end or from its high end, leaving the others unchanged.
// The depth comes as the signed byte the short-run table holds.
template <bool FromLow>
inline void blendWideWindow(std::uint8_t* window, std::uint8_t v, std::uint8_t depthByte)
{
#if defined(__SSE2__)
    // perf: the mask from a table by the depth's byte, not a broadcast and
    // compare, which SSE2 spends three shuffles on: at factor 16 the left and
    // right passes' painting from 123 to 83 million instructions on a 512 x
    // 512 dither; a whole run on 1024 x 1024 8% faster (sprites 3%).
    const __m128i mask =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kWideWindowMasks<FromLow>.of[depthByte]));
    auto* p = reinterpret_cast<__m128i*>(window);
    const __m128i old = _mm_loadu_si128(p);
    _mm_storeu_si128(p, _mm_or_si128(_mm_and_si128(mask, _mm_set1_epi8(static_cast<char>(v))),
                                     _mm_andnot_si128(mask, old)));
#else
    const int depth = static_cast<std::int8_t>(depthByte);
    for (int i = 0; i < depth && i < 16; ++i)
        window[FromLow ? i : 15 - i] = v;
#endif
}

// Writes one block of a run that goes right: column i of the block gets v in
// those of its first depths[i] rows (row d at block + (d - dBegin) * dStep)
// that lie in dBegin .. dEnd - 1, row by row, through a window of Bytes (8 or
// 16) bytes.
// Byte i of `low` (of `high` for i >= 8) holds depths[i] as a signed byte.
template <int Bytes>
inline void blendBlockRows(std::uint8_t* block, std::ptrdiff_t dStep, std::uint64_t low,
                           std::uint64_t high, int dBegin, int dEnd, std::uint8_t v)
{
#if defined(__SSE2__)
    const __m128i want =
        _mm_set_epi64x(Bytes == 16 ? static_cast<long long>(high) : 0, static_cast<long long>(low));
    const __m128i colour = _mm_set1_epi8(static_cast<char>(v));
    // d in every byte, counted up rather than broadcast afresh per row.
    __m128i depth = _mm_set1_epi8(static_cast<char>(dBegin));
    const __m128i one = _mm_set1_epi8(1);
    for (int d = dBegin; d < dEnd; ++d, depth = _mm_add_epi8(depth, one)) {
        auto* row = reinterpret_cast<__m128i*>(block + (d - dBegin) * dStep);
        const __m128i mask = _mm_cmpgt_epi8(want, depth);
        const __m128i old = Bytes == 16 ? _mm_loadu_si128(row) : _mm_loadl_epi64(row);
        const __m128i blended =
            _mm_or_si128(_mm_and_si128(mask, colour), _mm_andnot_si128(mask, old));
        if constexpr (Bytes == 16)
            _mm_storeu_si128(row, blended);
        else
            _mm_storel_epi64(row, blended);
    }
#else
    for (int d = dBegin; d < dEnd; ++d) {
        std::uint8_t* row = block + (d - dBegin) * dStep;
        for (int i = 0; i < Bytes; ++i)
            if (static_cast<std::int8_t>((i < 8 ? low : high) >> (8 * (i % 8))) > d)
                row[i] = v;
    }
#endif
}

struct PassContext {
    std::int32_t width;
    std::int32_t height;
    const std::uint8_t* source; // rows of `width` bytes, no padding
    const std::uint8_t* relations;
    // The job's lightness ranks (0: no palette entry), and whether they are
    // exact: equal ranks then mean equal lightness.
    const std::uint8_t* ranks = nullptr;
    bool ranksExact = false;
};

// What a run sees as its image, [x0, x1) x [y0, y1): in cell mode the cell
// the run starts in, whose border acts as the image's; else the whole image,
// whose top left is known to be 0 so that its runs test as before.
template <bool Cell> struct Box {
    std::int32_t x0;
    std::int32_t x1;
    std::int32_t y0;
    std::int32_t y1;

    constexpr std::int32_t left() const { return Cell ? x0 : 0; }
    constexpr std::int32_t top() const { return Cell ? y0 : 0; }
    // Whether the pixel one step (dx, dy) from the inside pixel (x, y) is
    // inside too: only the side the step goes to needs a test.
    template <int dx, int dy> constexpr bool stepInside(std::int32_t x, std::int32_t y) const
    {
        static_assert(dx * dx + dy * dy == 1);
        if constexpr (dx < 0)
            return x > left();
        else if constexpr (dx > 0)
            return x + 1 < x1;
        else if constexpr (dy < 0)
            return y > top();
        else
            return y + 1 < y1;
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
#if defined(__GNUC__)
#define GRIDMINT_LAMBDA_INLINE __attribute__((always_inline))
#else
#define GRIDMINT_LAMBDA_INLINE
#endif

// What the last walk over a lane's known lines found (see followLines),
// kept for the top and bottom passes, whose lanes are rows: none of the
// neighbours toward s after the walk's start and before line `stop` is
// darker than its start index `c`. A later start whose index is `c` or
// darker has none of them darker than its own either, and walks on from
// `stop`. Before any walk `stop` is 0, behind every start, and spares
// nothing. perf: dither's gradients start runs on the lanes of rows at one
// pixel after another; its whole run at factor 2 0.93 times as long.
struct DarkWalk {
    std::int32_t stop = 0;
    std::uint8_t c = 0;
};

// The lightness rank, less one, of the darkest neighbour toward s on a
// lane's known lines along + 1 .. to, with `lane` brought up to them (see
// LaneDark); `toward` is the neighbour of line `along`, the next ones aOff
// apart. Kept out of the follower: only starts on long known lanes get here.
// By rank less one, an index without a palette entry (none lies on a lane's
// known lines, whose neighbours are shades similar to a candidate's
// neighbour) would count as the lightest.
std::uint8_t lookUpLane(LaneDark& lane, const std::uint8_t* toward, std::ptrdiff_t aOff,
                        std::int32_t along, std::int32_t to, const std::uint8_t* ranks)
{
    const auto key = [&](std::uint8_t v) { return static_cast<std::uint8_t>(ranks[v] - 1); };
    if (lane.last <= along)
        lane = {along, along, 0xFF};
    // The last of equally dark ones is kept: a later start then looks again
    // only once it has passed them all.
    std::uint8_t darkest = lane.darkest;
    std::int32_t last = lane.last;
    std::int32_t j = lane.end + 1;
    for (; j + 3 <= to; j += 4) {
        const std::uint8_t* const at = toward + (j - along) * aOff;
        const std::uint8_t k0 = key(at[0]), k1 = key(at[aOff]), k2 = key(at[2 * aOff]),
                           k3 = key(at[3 * aOff]);
        const std::uint8_t m = std::min(std::min(k0, k1), std::min(k2, k3));
        if (m <= darkest) {
            darkest = m;
            last = j + (k3 == m ? 3 : k2 == m ? 2 : k1 == m ? 1 : 0);
        }
    }
    for (; j <= to; ++j) {
        const std::uint8_t kj = key(toward[(j - along) * aOff]);
        if (kj <= darkest) {
            darkest = kj;
            last = j;
        }
    }
    lane = {to, last, darkest};
    return darkest;
}

// The run follower: startKind classifies the start of the run at P,
// followLines follows it to its step or stop, follow does both.
// Exact mode compares indices with the start index; similar mode compares
// colours with the previous line's, so that shades of one colour carry on.
//
// In similar mode each line's tests but the last (a neighbour darker than
// the start pixel) compare the line with the line before, whatever the
// start, so a run along a gradient shows the later starts on its lane (the
// row or column that it follows) how far their lines go on.
// *goOnEnd is that line on P's lane, from an earlier start of it or from
// none (then at most P's line); starts must come in lane order. A later
// start tests only the darkness of the neighbours up to there, instead of
// all the lines' tests again, and with *walk, where given, only those past
// what an earlier walk has vouched for. perf: a dither gradient's shades
// start runs of hundreds of lines on every pixel; its whole run at factor 2
// takes 0.89 times as long (sprites and lines, whose runs are short, as
// before).

// How the run at P starts, by the line before it and P's far side.
template <class O, bool Exact, bool Cell>
GRIDMINT_ALWAYS_INLINE constexpr StartKind startKind(const PassContext& ctx, const Box<Cell>& box,
                                                     std::int32_t x, std::int32_t y, std::uint8_t c,
                                                     bool farExists)
{
    const std::ptrdiff_t w = ctx.width;
    const std::ptrdiff_t sOff = O::sx + O::sy * w;
    const std::ptrdiff_t aOff = O::ax + O::ay * w;
    const std::uint8_t* rel = ctx.relations;
    const std::uint8_t* p = ctx.source + std::ptrdiff_t{y} * w + x;
    const auto matches = [&](std::uint8_t v) -> bool {
        if constexpr (Exact)
            return v == c;
        else
            return (rel[std::size_t{c} * 256 + v] & kSimilar) != 0;
    };
    if (!box.template stepInside<-O::ax, -O::ay>(x, y))
        return StartKind::Free;
    const std::uint8_t* before = p - aOff;
    if (matches(before[sOff]))
        return StartKind::LighterSide;
    if (farExists && !matches(before[0]) && (matches(before[-sOff]) || matches(p[-sOff])))
        return StartKind::FarSide;
    return StartKind::Free;
}

// Follows the run at P, whose start is of `kind`, from its first line on.
// LineOnePassed: the caller knows that the first line's pixel matches P and
// its neighbour toward s does not, so only the tests that need more than
// which neighbours match P are left for that line.
template <class O, bool Exact, bool Cell, bool LineOnePassed>
GRIDMINT_ALWAYS_INLINE constexpr Outcome
followLines(const PassContext& ctx, const Box<Cell>& box, std::int32_t x, std::int32_t y,
            std::uint8_t c, std::uint8_t n, std::int32_t* goOnEnd, LaneDark* lane, DarkWalk* walk,
            StartKind kind, bool farExists)
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

    const std::int32_t along = O::ay != 0 ? y : x;
    const std::int32_t limit = O::ay != 0 ? box.y1 : box.x1;
    // The lines after the start that the source holds.
    const std::int32_t linesAfter = limit - 1 - along;
    if (linesAfter <= 0)
        return {};

    std::uint8_t cref = c;
    std::uint8_t nref = n;
    const std::uint8_t* q = p;
    std::int32_t k = 1;
    if constexpr (!Exact) {
        const std::int32_t known = *goOnEnd - along;
        if (known > 0) {
            // Four lines a test, the line within them found only where one
            // is darker. perf: dither's gradients walk lanes known for
            // hundreds of lines again from every start on them; its whole
            // run at factor 2 0.95 times as long.
            const std::uint8_t* const toward = p + sOff;
            // Only a walk from this index or from a lighter one vouches for
            // its stretch (by the relation, which leaves out indices
            // without a colour; no start has one).
            if (walk != nullptr && (walk->c == c || (relC[walk->c] & kLighter) != 0))
                k = std::clamp(walk->stop - along, 1, known + 1);
            // Four lines a test from line `from` on, up to `lines` of them:
            // the first of the four that hold a darker neighbour, or
            // from + lines.
            const auto findDarker = [&](std::int32_t from,
                                        std::int32_t lines) GRIDMINT_LAMBDA_INLINE {
                for (std::int32_t i = from; i < from + lines; i += 4) {
                    const std::uint8_t* const at = toward + i * aOff;
                    if ((relC[at[0]] | relC[at[aOff]] | relC[at[2 * aOff]] | relC[at[3 * aOff]]) &
                        kDarker)
                        return i;
                }
                return from + lines;
            };
            // Walked, a few lines cost less than looking the lane up, and
            // a darker neighbour close by (dither's) settles a start before
            // a look at the whole lane would.
            constexpr std::int32_t kLongKnown = 16;
            bool look = lane != nullptr && kind == StartKind::Free && known - k >= kLongKnown;
            if (look && lane->last <= along) {
                const std::int32_t at = findDarker(k, kLongKnown);
                look = at == k + kLongKnown;
                k = look ? k : at;
            }
            if (look) {
                const std::uint8_t darkest =
                    lookUpLane(*lane, toward, aOff, along, along + known, ctx.ranks);
                // A lower rank is darker; an equal one, where ranks merge
                // lightnesses, leaves the lines to be walked.
                const auto ownKey = static_cast<std::uint8_t>(ctx.ranks[c] - 1);
                if (darkest < ownKey)
                    return {};
                if (darkest > ownKey || ctx.ranksExact)
                    k = known + 1;
            }
            k = findDarker(k, (known + 1 - k) / 4 * 4);
            for (; k <= known && (relC[toward[k * aOff]] & kDarker) == 0; ++k) {
            }
            if (walk != nullptr)
                *walk = {along + k, c};
            if (k <= known)
                return decide(kind, Step::None, k);
            q = p + known * aOff;
            if (known >= linesAfter)
                return decide(kind, Step::None, known);
            cref = q[0];
            nref = q[sOff];
        }
    } else {
        (void)goOnEnd;
        (void)lane;
        (void)walk;
    }
    if constexpr (LineOnePassed) {
        if (q == p) {
            // The first line's remaining tests, as in the loop below.
            q += aOff;
            const std::uint8_t qi = q[0];
            const std::uint8_t ni = q[sOff];
            if constexpr (!Exact) {
                if ((rel[std::size_t{nref} * 256 + ni] & kSimilar) == 0)
                    return decide(kind, Step::None, 1);
                *goOnEnd = along + 1;
            }
            if ((relC[ni] & kDarker) || linesAfter <= 1)
                return decide(kind, Step::None, 1);
            if constexpr (!Exact) {
                cref = qi;
                nref = ni;
            } else {
                (void)qi;
            }
            k = 2;
        }
    }
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
            *goOnEnd = along + k;
        }
        // A neighbour darker than the start pixel ends the edge.
        if (relC[ni] & kDarker)
            break;
        if constexpr (!Exact) {
            cref = qi;
            nref = ni;
        }
        // The last line is never part of an unfinished run.
        if (k >= linesAfter)
            break;
    }
    return decide(kind, Step::None, k);
}

// The follower for a start of unknown kind.
template <class O, bool Exact, bool Cell>
GRIDMINT_ALWAYS_INLINE constexpr Outcome
follow(const PassContext& ctx, const Box<Cell>& box, std::int32_t x, std::int32_t y, std::uint8_t c,
       std::uint8_t n, std::int32_t* goOnEnd, LaneDark* lane = nullptr, DarkWalk* walk = nullptr)
{
    // The run moves along a, perpendicular to s, so the far side exists for
    // all of its lines or for none.
    const bool farExists = box.template stepInside<-O::sx, -O::sy>(x, y);
    const StartKind kind = startKind<O, Exact, Cell>(ctx, box, x, y, c, farExists);
    return followLines<O, Exact, Cell, false>(ctx, box, x, y, c, n, goOnEnd, lane, walk, kind,
                                              farExists);
}

// A pixel's neighbour code: bit j set where the j-th of its eight
// neighbours, row by row from the top left, has the pixel's index.
constexpr int neighbourBit(int dx, int dy)
{
    const int i = (dy + 1) * 3 + dx + 1;
    return i < 4 ? i : i - 1;
}

// What a run whose pixel and eight neighbours lie inside its box comes to
// when its first line after the start settles it, by the code of which
// neighbours match the pixel (see neighbourCode and similarCode): most runs
// end there, and the codes take a compare or a few loads without a branch
// where the follower's branches on the same facts mispredict. The first
// line's tests compare with P in similar mode too, and the one test that
// only similar mode makes (the neighbour's shade carrying on) counts only
// for runs that go on, so one table serves both modes. Its entries come
// from the exact-mode follower, run on a small image built from each code;
// a code whose run goes on past the first line (or may, by the lightness of
// Q_1 + s, which the code does not hold) is left to the follower. perf: a
// whole run at factor 2 of sprites and of lines 0.90 times as long, dither
// 0.95 (0.91 with codes made word by word where candidates are dense).
// Such a code's entry holds its start's kind, and the follower starts from
// it, past the first line's tests that the code has settled, without their
// branches. perf: sprites and lines at factors 2 and 4 0.97-0.98 times as
// long a whole run; dither as before, within the noise.
template <class O> struct LineOneTable {
    static constexpr std::uint8_t kSettled = 0x01;
    static constexpr std::uint8_t kPaint = 0x02;
    static constexpr std::uint8_t kMarked = 0x04;
    static constexpr int kShapeShift = 4;
    std::array<std::uint8_t, 256> entry{};

    constexpr LineOneTable()
    {
        // P at (1, 1), its neighbours, and line 2 of the run beyond them,
        // whose pixel toward s has P's index: a run that the first line does
        // not settle ends there with two lines marked.
        constexpr std::int32_t width = O::ay != 0 ? 3 : 4;
        constexpr std::int32_t height = O::ay != 0 ? 4 : 3;
        constexpr std::uint8_t c = 0;
        constexpr std::uint8_t other = 1;
        std::array<std::uint8_t, 256> relations{}; // nothing similar, lighter or darker
        for (unsigned code = 0; code < 256; ++code) {
            std::array<std::uint8_t, 12> source{};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (dx != 0 || dy != 0)
                        source[static_cast<std::size_t>((1 + dy) * width + 1 + dx)] =
                            (code >> neighbourBit(dx, dy) & 1) != 0 ? c : other;
            const auto at = [&](int dx, int dy) -> std::uint8_t& {
                return source[static_cast<std::size_t>((1 + dy) * width + 1 + dx)];
            };
            at(O::sx, O::sy) = other; // N differs, or P would be no candidate
            at(2 * O::ax - O::sx, 2 * O::ay - O::sy) = other;
            at(2 * O::ax, 2 * O::ay) = other;
            at(2 * O::ax + O::sx, 2 * O::ay + O::sy) = c;
            const PassContext ctx{width, height, source.data(), relations.data()};
            const Box<false> box{0, width, 0, height};
            const Outcome o = follow<O, true, false>(ctx, box, 1, 1, c, other, nullptr);
            if (o.marked > 1) {
                // The follower goes on from line two with the start's kind.
                entry[code] = static_cast<std::uint8_t>(
                    static_cast<unsigned>(startKind<O, true, false>(ctx, box, 1, 1, c, true))
                    << kShapeShift);
                continue;
            }
            std::uint8_t e = kSettled;
            if (o.paint)
                e |= kPaint;
            if (o.marked != 0)
                e |= kMarked;
            entry[code] =
                static_cast<std::uint8_t>(e | static_cast<unsigned>(o.shape) << kShapeShift);
        }
    }
};
template <class O> constexpr LineOneTable<O> kLineOne{};

// The neighbour code of the pixel at p, whose neighbours all exist.
inline std::uint8_t neighbourCode(const std::uint8_t* p, std::ptrdiff_t width)
{
#if defined(__SSE2__)
    // The three rows' pixels in one register, compared at once: four bytes
    // from x - 1 above and on the row, from x - 2 below, so that no load
    // reaches past the image's first or last byte.
    const auto load4 = [](const std::uint8_t* q) {
        std::int32_t v = 0;
        std::memcpy(&v, q, 4);
        return _mm_cvtsi32_si128(v);
    };
    const __m128i rows = _mm_unpacklo_epi64(_mm_unpacklo_epi32(load4(p - width - 1), load4(p - 1)),
                                            load4(p + width - 2));
    const auto same = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(rows, _mm_set1_epi8(static_cast<char>(p[0])))));
    static_assert(neighbourBit(-1, -1) == 0 && neighbourBit(1, -1) == 2 &&
                  neighbourBit(-1, 0) == 3 && neighbourBit(1, 0) == 4 && neighbourBit(-1, 1) == 5 &&
                  neighbourBit(1, 1) == 7);
    return static_cast<std::uint8_t>((same & 7) | (same >> 4 & 1) << 3 | (same >> 6 & 1) << 4 |
                                     (same >> 9 & 7) << 5);
#else
    unsigned code = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dx != 0 || dy != 0)
                code |= static_cast<unsigned>(p[dy * width + dx] == p[0]) << neighbourBit(dx, dy);
    return static_cast<std::uint8_t>(code);
#endif
}

// The neighbour codes of the sixteen pixels of source row y (1 <= y <
// height - 1) from column `from` on (a multiple of 16), at out[x - from] for
// from <= x < from + 16 (the first and last columns get none); for the row's
// ends, out must reach 16 bytes before and one byte after those sixteen.
// Needs width >= 18.
inline void neighbourCodes(const std::uint8_t* row, std::ptrdiff_t width, std::int32_t from,
                           std::uint8_t* out)
{
    // A block at the row's ends is moved inward, over codes of the block
    // before or after, to read only inside the three rows.
    const std::int32_t at =
        std::clamp<std::int32_t>(from, 1, static_cast<std::int32_t>(width) - 17);
    const std::uint8_t* p = row + at;
#if defined(__SSE2__)
    const auto load = [](const std::uint8_t* q) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    };
    const __m128i c = load(p);
    __m128i code = _mm_setzero_si128();
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0)
                continue;
            const __m128i bit = _mm_set1_epi8(static_cast<char>(1 << neighbourBit(dx, dy)));
            const __m128i same = _mm_cmpeq_epi8(c, load(p + dy * width + dx));
            code = _mm_or_si128(code, _mm_and_si128(same, bit));
        }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (at - from)), code);
#else
    for (int i = 0; i < 16; ++i)
        out[at - from + i] = neighbourCode(p + i, width);
#endif
}

// Candidates in a word from which on its codes are made sixteen at a time.
constexpr int kDenseWord = 10;

// The similar-mode counterpart of neighbourCode: bit j set where the j-th
// neighbour is similar to the pixel, by the pixel's row `relC` of the
// relation table. The pass's own neighbour N is left out: similar mode
// follows only runs whose N is not similar to P, so its bit is known to be
// clear. perf: one lookup fewer for nearly every candidate of lines.
template <class O>
inline std::uint8_t similarCode(const std::uint8_t* p, std::ptrdiff_t width,
                                const std::uint8_t* relC)
{
    static_assert(kSimilar == 1);
    unsigned code = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx != 0 || dy != 0) && (dx != O::sx || dy != O::sy))
                code |= static_cast<unsigned>(relC[p[dy * width + dx]] & kSimilar)
                        << neighbourBit(dx, dy);
    return static_cast<std::uint8_t>(code);
}

} // namespace

void ShortRunDepths::build(std::int32_t factor)
{
    blocks_.clear();
    deepest_.clear();
    // Smaller factors paint through ShortRunMasks.
    if (factor > kMaxFactor || factor <= ShortRunMasks::kMaxFactor)
        return;
    for (int kind = 0; kind < 8; ++kind) {
        const auto shape = static_cast<SlopeShape>(kind / 2);
        const auto variant = static_cast<SlopeVariant>(kind % 2);
        for (int len = 1; len <= kMaxLen; ++len) {
            BlockDepths block;
            int deepest = 0;
            int sub = 0;
            forEachDepth(shape, variant, factor, len, [&](int, int depth) {
                setDepthByte(sub < 8 ? block.low : block.high, sub % 8, depth);
                deepest = std::max(deepest, depth);
                if (++sub < factor)
                    return;
                blocks_.push_back(block);
                deepest_.push_back(static_cast<std::int8_t>(deepest));
                block = BlockDepths{};
                deepest = 0;
                sub = 0;
            });
        }
    }
}

void ShortRunMasks::build(std::int32_t factor)
{
    for (auto& masks : masks_)
        masks.clear();
    for (auto& rows : rows_)
        rows.clear();
    if (factor > kMaxFactor)
        return;
    const auto f = static_cast<std::size_t>(factor);
    for (std::size_t pass = 0; pass < 4; ++pass) {
        // Left and top look at the near side, right and bottom at the far
        // side; left and right paint lines, top and bottom rows.
        const auto variant = pass % 2 == 0 ? SlopeVariant::NearSide : SlopeVariant::FarSide;
        const bool lines = pass < 2;
        std::vector<std::uint64_t>& masks = masks_[pass];
        for (int shape = 0; shape < 4; ++shape) {
            for (int len = 1; len <= kMaxLen; ++len) {
                const std::size_t at = index(static_cast<SlopeShape>(shape), len);
                first_[pass][at] = static_cast<std::uint32_t>(masks.size());
                const std::size_t block0 = masks.size();
                const std::size_t perBlock = lines ? f : f + 1;
                masks.resize(block0 + perBlock * static_cast<std::size_t>(len), 0);
                if (!lines) {
                    firstBlock_[at] = static_cast<std::uint32_t>(rows_[pass - 2].size());
                    rows_[pass - 2].resize(rows_[pass - 2].size() + static_cast<std::size_t>(len),
                                           0);
                }
                forEachDepth(
                    static_cast<SlopeShape>(shape), variant, factor, len, [&](int r, int depth) {
                        const auto line = static_cast<std::size_t>(r);
                        if (depth <= 0)
                            return;
                        if (lines) {
                            // Depths reach 8 at most: f + 1 only for odd f.
                            const std::uint64_t all = ~std::uint64_t{0};
                            const int bits = 8 * std::min(depth, 8);
                            masks[block0 + line] = bits == 64  ? all
                                                   : pass == 0 ? (std::uint64_t{1} << bits) - 1
                                                               : ~(all >> bits);
                            return;
                        }
                        const std::size_t block = line / f;
                        const std::uint64_t column = std::uint64_t{0xFF} << (8 * (line % f));
                        for (int d = 0; d < depth; ++d)
                            masks[block0 + block * (f + 1) + static_cast<std::size_t>(d)] |= column;
                        std::uint8_t& rows = rows_[pass - 2][firstBlock_[at] + block];
                        rows = std::max(rows, static_cast<std::uint8_t>(depth));
                    });
            }
        }
    }
}

void PassWork::buildGrid(const CellGrid& g, std::int32_t width, std::int32_t height)
{
    const auto spans = [](std::vector<std::int32_t>& lo, std::vector<std::int32_t>& hi,
                          std::int32_t extent, std::int32_t side, std::int32_t margin,
                          std::int32_t spacing, std::int32_t count) {
        lo.assign(static_cast<std::size_t>(extent), 0);
        hi.assign(static_cast<std::size_t>(extent), 0);
        for (std::int32_t c = 0; c < count; ++c) {
            const std::int32_t start = margin + c * (side + spacing);
            for (std::int32_t i = start; i < start + side; ++i) {
                lo[static_cast<std::size_t>(i)] = start;
                hi[static_cast<std::size_t>(i)] = start + side;
            }
        }
    };
    spans(cellX0, cellX1, width, g.cellWidth, g.margin, g.spacing, g.columns);
    spans(cellY0, cellY1, height, g.cellHeight, g.margin, g.spacing, g.rows);
    insideCells.assign(wordsPerRow, 0);
    leftInCell.assign(wordsPerRow, 0);
    rightInCell.assign(wordsPerRow, 0);
    for (std::int32_t x = 0; x < width; ++x) {
        const std::size_t i = static_cast<std::size_t>(x);
        const std::uint64_t bit = std::uint64_t{1} << (x & 63);
        if (cellX1[i] <= x)
            continue;
        insideCells[i >> 6] |= bit;
        if (x > cellX0[i])
            leftInCell[i >> 6] |= bit;
        if (x + 1 < cellX1[i])
            rightInCell[i >> 6] |= bit;
    }
    builtGrid = g;
}

namespace {

// Sets bit x of a row of mark or candidate words.
inline void setBit(std::uint64_t* row, std::int32_t x)
{
    row[x >> 6] |= std::uint64_t{1} << (x & 63);
}
// The bits set in `v`, without a call: the build's baseline processor has
// no population count instruction, and the library's routine took 3% of a
// whole run of lines at factor 2.
constexpr int bitCount(std::uint64_t v)
{
    v -= v >> 1 & 0x5555555555555555ull;
    v = (v & 0x3333333333333333ull) + (v >> 2 & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return static_cast<int>((v * 0x0101010101010101ull) >> 56);
}
static_assert(bitCount(0) == 0 && bitCount(~std::uint64_t{0}) == 64 &&
              bitCount(0x8000000000000101ull) == 3);

// Puts the 16 bits of `mask` at bit x of a row.
inline void putBits16(std::uint64_t* row, std::int32_t x, std::uint64_t mask)
{
    const int shift = x & 63;
    row[x >> 6] |= mask << shift;
    if (shift > 48)
        row[(x >> 6) + 1] |= mask >> (64 - shift);
}

#if defined(GRIDMINT_SHUFFLED_RANKS)
// The most 16-entry pieces of the rank table for which shuffles beat one
// lookup per pixel.
constexpr int kMostRankPieces = 8;

bool canShuffleBytes()
{
    static const bool can = __builtin_cpu_supports("ssse3");
    return can;
}

// The ranks of the first n - n % 16 of `indices`, sixteen at a time: each
// of the rank table's first `pieces` pieces of 16 entries (those beyond hold
// only zeros) is looked up by the indices' low nibble and kept where their
// high nibble picks it.
[[gnu::target("ssse3")]] void shuffledRanks(const std::uint8_t* indices, std::int32_t n,
                                            const std::uint8_t* rankOf, int pieces,
                                            std::uint8_t* out)
{
    __m128i table[kMostRankPieces];
    for (int h = 0; h < pieces; ++h)
        table[h] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rankOf + 16 * h));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    for (std::int32_t x = 0; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(indices + x));
        const __m128i low = _mm_and_si128(v, nibble);
        const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), nibble);
        __m128i ranks = _mm_setzero_si128();
        for (int h = 0; h < pieces; ++h)
            ranks = _mm_or_si128(
                ranks, _mm_and_si128(_mm_cmpeq_epi8(high, _mm_set1_epi8(static_cast<char>(h))),
                                     _mm_shuffle_epi8(table[h], low)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), ranks);
    }
}
#endif

} // namespace

void SlopePassRunner::findCandidates(std::int32_t chunk, std::int32_t chunks)
{
    // One look at every pixel and its four neighbours finds the candidates of
    // all four passes: a pixel whose neighbour on a side has another index
    // and a rank at least its own. The relation table decides exactly later.
    ScaleJob& job = job_;
    PassWork& work = *job.passWork_;
    const std::int32_t width = job.width_;
    const std::int32_t height = job.height_;
    const std::int32_t y0 = static_cast<std::int32_t>(std::int64_t{height} * chunk / chunks);
    const std::int32_t y1 = static_cast<std::int32_t>(std::int64_t{height} * (chunk + 1) / chunks);
    if (y0 >= y1)
        return;
    const std::ptrdiff_t w = width;
    const std::size_t words = work.wordsPerRow;
    const std::size_t plane = static_cast<std::size_t>(height) * words;
    const std::uint8_t* source = job.source_->image->store();
    const std::uint8_t* rankOf = job.lightRank_.data();
    std::uint8_t* rankRows =
        work.rankRows.data() + 3 * static_cast<std::size_t>(chunk) * work.rankStride;
#if defined(GRIDMINT_SHUFFLED_RANKS)
    // perf: palettes of up to 128 entries (pixel art's) by byte shuffles: a
    // whole run at factor 2 0.96 times as long on lines, 0.97 on sprites.
    int rankPieces = 0;
    for (int i = 0; i < 256; ++i)
        if (rankOf[i] != 0)
            rankPieces = i / 16 + 1;
    const bool shuffled = rankPieces <= kMostRankPieces && canShuffleBytes();
#endif
    const auto rankRow = [&](std::int32_t y, std::uint8_t* out) {
        const std::uint8_t* row = source + std::ptrdiff_t{y} * w;
        std::int32_t x = 0;
#if defined(GRIDMINT_SHUFFLED_RANKS)
        if (shuffled) {
            shuffledRanks(row, width, rankOf, rankPieces, out);
            x = width - width % 16;
        }
#endif
        // perf: eight indices from one load; 1024 x 1024 lines at factor 2
        // 0.97 times the instructions of a whole run, sprites 0.98.
        constexpr bool little = std::endian::native == std::endian::little;
        for (; x + 8 <= width; x += 8) {
            std::uint64_t indices = 0;
            std::memcpy(&indices, row + x, 8);
            for (int i = 0; i < 8; ++i)
                out[x + i] = rankOf[indices >> (little ? 8 * i : 56 - 8 * i) & 0xFF];
        }
        for (; x < width; ++x)
            out[x] = rankOf[row[x]];
    };
    // Rolling rows of ranks: above, at and below the current row.
    std::uint8_t* rUp = rankRows;
    std::uint8_t* rAt = rankRows + work.rankStride;
    std::uint8_t* rDown = rankRows + 2 * work.rankStride;
    if (y0 > 0)
        rankRow(y0 - 1, rUp);
    rankRow(y0, rAt);
    const bool passWanted[4] = {(passes_ & MarkLeft) != 0, (passes_ & MarkRight) != 0,
                                (passes_ & MarkTop) != 0, (passes_ & MarkBottom) != 0};
    for (std::int32_t y = y0; y < y1; ++y) {
        const bool up = y > 0 && passWanted[2];
        const bool down = y + 1 < height && passWanted[3];
        if (y + 1 < height)
            rankRow(y + 1, rDown);
        const std::uint8_t* row = source + std::ptrdiff_t{y} * w;
        std::uint64_t* out[4];
        for (std::size_t p = 0; p < 4; ++p) {
            out[p] = work.candidates.data() + p * plane + static_cast<std::size_t>(y) * words;
            std::fill_n(out[p], words, std::uint64_t{0});
        }
        const auto scalarAt = [&](std::int32_t x) {
            const std::uint8_t c = row[x];
            const std::uint8_t rc = rAt[x];
            if (passWanted[0] && x > 0 && row[x - 1] != c && rAt[x - 1] >= rc)
                setBit(out[0], x);
            if (passWanted[1] && x + 1 < width && row[x + 1] != c && rAt[x + 1] >= rc)
                setBit(out[1], x);
            if (up && row[x - w] != c && rUp[x] >= rc)
                setBit(out[2], x);
            if (down && row[x + w] != c && rDown[x] >= rc)
                setBit(out[3], x);
        };
        std::int32_t x = 0;
        if (width > 0)
            scalarAt(x++);
#if defined(__SSE2__)
        // perf: most pixels of pixel art have no lighter neighbour of another
        // index; sixteen pixels at a time and all four sides from one load of
        // the pixels, their neighbours and their ranks, instead of a filter
        // per pass over a plane of ranks: a whole run at factor 2 from 10.9
        // to 9.5 ms of CPU time on 1024 x 1024 sprites, lines 8.7 to 7.3.
        const auto load = [](const std::uint8_t* p) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        };
        const auto candidates = [](__m128i c, __m128i rc, __m128i n, __m128i rn) {
            const __m128i same = _mm_cmpeq_epi8(c, n);
            const __m128i notDarker = _mm_cmpeq_epi8(_mm_max_epu8(rn, rc), rn);
            return static_cast<std::uint64_t>(
                static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(same, notDarker))));
        };
        // Pixels at to at + 15 (or at + 7 with the eight-byte load, whose upper
        // lanes compare equal and so never count); reads from at - 1 to one
        // pixel past the block.
        const auto sides = [&](std::int32_t at, auto get, std::uint64_t* found, int shift) {
            const __m128i c = get(row + at);
            const __m128i rc = get(rAt + at);
            if (passWanted[0])
                found[0] |= candidates(c, rc, get(row + at - 1), get(rAt + at - 1)) << shift;
            if (passWanted[1])
                found[1] |= candidates(c, rc, get(row + at + 1), get(rAt + at + 1)) << shift;
            if (up)
                found[2] |= candidates(c, rc, get(row + at - w), get(rUp + at)) << shift;
            if (down)
                found[3] |= candidates(c, rc, get(row + at + w), get(rDown + at)) << shift;
        };
        const auto block = [&](std::int32_t at, auto get) {
            std::uint64_t found[4] = {};
            sides(at, get, found, 0);
            for (std::size_t p = 0; p < 4; ++p)
                putBits16(out[p], at, found[p]);
        };
        // perf: the blocks of a whole word of candidates at once, stored
        // once per pass: sprites and lines at factor 2 0.95 times the
        // instructions of a whole run.
        const auto wordAt = [&](std::int32_t at) {
            std::uint64_t found[4] = {};
            for (int k = 0; k < 4; ++k)
                sides(at + 16 * k, load, found, 16 * k);
            for (std::size_t p = 0; p < 4; ++p)
                out[p][static_cast<std::size_t>(at) / 64] = found[p];
        };
        const auto load8 = [](const std::uint8_t* p) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        };
        // Blocks up to the second word, whole words, then blocks again.
        if (x + 17 <= width) {
            block(x, load);
            for (x = 16; x + 17 <= width && x < 64; x += 16)
                block(x, load);
            for (; x + 65 <= width; x += 64)
                wordAt(x);
        }
        for (; x + 17 <= width; x += 16)
            block(x, load);
        // The rest but the last pixel in blocks too, the last of which may
        // go over pixels done already (their bits are set again, which
        // changes nothing). perf: cell mode's rows of 8 and 16 pixels went
        // pixel by pixel; 1024 x 1024 sprites in 16 x 16 cells at factor 4,
        // one thread, from 1.71 to 1.57 times the whole image's instructions.
        if (width >= 18 && x < width - 1) {
            block(width - 17, load);
            x = width - 1;
        }
        for (; x + 9 <= width; x += 8)
            block(x, load8);
        if (width >= 10 && x < width - 1) {
            block(width - 9, load8);
            x = width - 1;
        }
#endif
        for (; x < width; ++x)
            scalarAt(x);
        if (work.grid) {
            // Cell borders act as image borders: no neighbour across them,
            // and nothing outside the cells.
            const std::size_t at = static_cast<std::size_t>(y);
            const bool inRow = work.cellY1[at] > y;
            const bool top = !inRow || work.cellY0[at] == y;
            const bool bottom = !inRow || work.cellY1[at] == y + 1;
            for (std::size_t i = 0; i < words; ++i) {
                const std::uint64_t in = inRow ? work.insideCells[i] : 0;
                out[0][i] &= in & work.leftInCell[i];
                out[1][i] &= in & work.rightInCell[i];
                out[2][i] &= top ? 0 : in;
                out[3][i] &= bottom ? 0 : in;
            }
        }
        std::uint8_t* const spent = rUp;
        rUp = rAt;
        rAt = rDown;
        rDown = spent;
    }
}

template <class O> void SlopePassRunner::decide()
{
    if (job_.passWork_->grid)
        decideIn<O, true>();
    else
        decideIn<O, false>();
}

template <class O, bool Grid> void SlopePassRunner::decideIn()
{
    ScaleJob& job = job_;
    PassWork& work = *job.passWork_;
    const std::int32_t width = job.width_;
    const std::int32_t height = job.height_;
    const std::uint8_t* ranks = job.lightRank_.data();
    const PassContext ctx{width,
                          height,
                          job.source_->image->store(),
                          job.relationTable_,
                          ranks,
                          *std::max_element(ranks, ranks + 256) < 255};
    const std::ptrdiff_t w = width;
    const std::ptrdiff_t sOff = O::sx + O::sy * w;
    const std::size_t words = work.wordsPerRow;
    const std::size_t plane = static_cast<std::size_t>(height) * words;
    const std::uint64_t* candidates = work.candidates.data() + O::index * plane;

    // The pass's marks start as the job's when the pass runs alone, so that
    // it sees what an earlier run of it claimed; else empty.
    std::uint64_t* marks = work.markBits.data() + O::index * plane;
    std::fill_n(marks, plane, std::uint64_t{0});
    if (passes_ != kAllPasses) {
        const std::uint8_t* cells = job.marks_.data();
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x)
                if (cells[std::ptrdiff_t{y} * w + x] & O::mark)
                    setBit(marks + static_cast<std::size_t>(y) * words, x);
    }
    // The list is the thread's own while it grows: the four lists' headers
    // lie side by side in PassWork, and passes deciding on two cores would
    // otherwise write one cache line at every record. Moved, it keeps its
    // capacity. perf: dither at factor 2 on two threads from 1.2-1.5 to
    // 1.0 times the CPU time of one thread, from 48-55 to 33-39 times plain
    // replication.
    std::vector<RunRecord> runs = std::move(work.runs[O::index]);
    std::int32_t* rowStart = work.rowStart[O::index].data();
    runs.clear();
    // The lanes' known line ends (see follow): per column for the left and
    // right passes, the row at hand for the top and bottom passes.
    std::int32_t* laneEnds = work.goOnEnd[O::index].data();
    std::fill_n(laneEnds, O::ay != 0 ? width : 1, -1);
    // And what their free starts know of the lanes' darkest neighbours.
    LaneDark* laneDark = work.laneDark[O::index].data();
    std::fill_n(laneDark, O::ay != 0 ? width : 1, LaneDark{});
    DarkWalk rowWalk;
    std::int32_t longest = 0;
    // The filter left no candidate outside the cells, so every pixel treated
    // has a cell.
    Box<Grid> rowBox{0, width, 0, height};

    // Follows the run at x. With lineOne true, the line-one table has
    // given its start's kind and found its first line to go on.
    const auto treat = [&](std::int32_t x, std::int32_t y, std::uint64_t* markRow, std::uint8_t c,
                           std::uint8_t n, std::uint8_t rel, auto lineOne, StartKind kind)
                           GRIDMINT_LAMBDA_INLINE -> int {
        Box<Grid> box = rowBox;
        if constexpr (Grid) {
            box.x0 = work.cellX0[static_cast<std::size_t>(x)];
            box.x1 = work.cellX1[static_cast<std::size_t>(x)];
        }
        std::int32_t* goOnEnd = laneEnds + (O::ay != 0 ? x : 0);
        LaneDark* lane = laneDark + (O::ay != 0 ? x : 0);
        DarkWalk* walk = O::ay == 0 ? &rowWalk : nullptr;
        Outcome o;
        if constexpr (decltype(lineOne)::value)
            o = (rel & kSimilar) ? followLines<O, true, Grid, true>(ctx, box, x, y, c, n, goOnEnd,
                                                                    nullptr, nullptr, kind, true)
                                 : followLines<O, false, Grid, true>(ctx, box, x, y, c, n, goOnEnd,
                                                                     lane, walk, kind, true);
        else
            o = (rel & kSimilar)
                    ? follow<O, true, Grid>(ctx, box, x, y, c, n, goOnEnd)
                    : follow<O, false, Grid>(ctx, box, x, y, c, n, goOnEnd, lane, walk);
        if constexpr (O::sy == 0) {
            for (int k = 0; k < o.marked; ++k)
                setBit(markRow + static_cast<std::size_t>(k) * words, x);
        } else {
            for (int k = 0; k < o.marked; ++k)
                setBit(markRow, x + k);
        }
        if (o.paint) {
            runs.emplace_back(x, o.len, o.shape);
            longest = std::max(longest, o.len);
        }
        return o.marked;
    };

    // Whether the pixel at x (on a coded row) and its eight neighbours lie
    // inside its box, so that its neighbour code tells the run's first line.
    const auto inside = [&](std::int32_t x, std::int32_t y) GRIDMINT_LAMBDA_INLINE {
        if constexpr (Grid)
            return x > work.cellX0[static_cast<std::size_t>(x)] &&
                   x + 1 < work.cellX1[static_cast<std::size_t>(x)] && y > rowBox.y0 &&
                   y + 1 < rowBox.y1;
        else
            return (void)y, x >= 1 && x + 1 < width;
    };

    alignas(16) std::uint8_t codes[16 + 64];

    // Row by row, left to right. The order matters: a run claims its later
    // lines through the marks, and painting keeps this order where strips
    // overlap. A run of the left and right passes claims only rows below;
    // one of the top and bottom passes may claim candidates further on in
    // the word at hand, which are then dropped from it. perf: a mask per
    // candidate instead of a bit test and branch each: dither at factor 2
    // from 139 to 120 times replication, at factor 4 from 23.0 to 21.1.
    for (std::int32_t y = 0; y < height; ++y) {
        rowStart[y] = static_cast<std::int32_t>(runs.size());
        if constexpr (O::ay == 0) {
            laneEnds[0] = -1;
            laneDark[0] = {};
            rowWalk = {};
        }
        if constexpr (Grid) {
            rowBox.y0 = work.cellY0[static_cast<std::size_t>(y)];
            rowBox.y1 = work.cellY1[static_cast<std::size_t>(y)];
        }
        const std::uint8_t* row = ctx.source + std::ptrdiff_t{y} * w;
        const std::uint64_t* wanted = candidates + static_cast<std::size_t>(y) * words;
        std::uint64_t* markRow = marks + static_cast<std::size_t>(y) * words;
        const bool coded = y >= 1 && y + 1 < height;
        // A word with many candidates (dither) has its exact-mode codes made
        // all at once, sixteen pixels a step; where a word has one candidate
        // or two (sprites, lines) that would cost more. The choice is made
        // per word from its own count, and each kind of word has its own
        // loop, so that no candidate waits on a branch that the predictor
        // cannot guess (as it did on the count of the word before). perf:
        // dither at factor 2 0.83 times as long a whole run, sprites and
        // lines as before. (Both modes' codes through one row of what
        // matches c, with no branch on the mode, made sprites 0.97 but
        // lines 1.04: their lookups wait for the pixel's relation.)
        const auto decideWord = [&](std::size_t i, std::uint64_t bits,
                                    auto dense) GRIDMINT_LAMBDA_INLINE {
            // The table's marks, stored once for the word: the runs followed
            // write theirs into the row themselves.
            std::uint64_t settledMarks = 0;
            while (bits != 0) {
                const std::int32_t x = static_cast<std::int32_t>(i * 64) + std::countr_zero(bits);
                bits &= bits - 1;
                const std::uint8_t c = row[x];
                const std::uint8_t n = row[x + sOff];
                const std::uint8_t rel = ctx.relations[std::size_t{c} * 256 + n];
                if ((rel & kLighter) == 0)
                    continue;
                int marked;
                if (coded && inside(x, y)) {
                    std::uint8_t code;
                    if constexpr (dense) {
                        if ((rel & kSimilar) != 0)
                            code = codes[16 + (x & 63)];
                        else
                            code = similarCode<O>(row + x, w, ctx.relations + std::size_t{c} * 256);
                    } else if ((rel & kSimilar) != 0) {
                        code = neighbourCode(row + x, w);
                    } else {
                        code = similarCode<O>(row + x, w, ctx.relations + std::size_t{c} * 256);
                    }
                    const std::uint8_t e = kLineOne<O>.entry[code];
                    if (e & LineOneTable<O>::kSettled) {
                        settledMarks |= std::uint64_t{(e & LineOneTable<O>::kMarked) != 0}
                                        << (x & 63);
                        if (e & LineOneTable<O>::kPaint) {
                            runs.emplace_back(
                                x, 1, static_cast<SlopeShape>(e >> LineOneTable<O>::kShapeShift));
                            longest = std::max(longest, 1);
                        }
                        continue;
                    }
                    marked = treat(x, y, markRow, c, n, rel, std::true_type{},
                                   static_cast<StartKind>(e >> LineOneTable<O>::kShapeShift));
                } else {
                    marked = treat(x, y, markRow, c, n, rel, std::false_type{}, StartKind{});
                }
                if constexpr (O::sy != 0) {
                    // Computed, not read back from the marks just stored.
                    const int end = (x & 63) + marked;
                    bits &= end >= 64 ? 0 : ~std::uint64_t{0} << end;
                }
            }
            markRow[i] |= settledMarks;
        };
        for (std::size_t i = 0; i < words; ++i) {
            const std::uint64_t bits = wanted[i] & ~markRow[i];
            if (coded && width >= 18 && bitCount(bits) >= kDenseWord) {
                // Four blocks without a loop inside the row (whose exit the
                // predictor missed at one word in three), fewer at its end.
                const std::int32_t at = static_cast<std::int32_t>(i * 64);
                if (at + 64 <= width) {
                    neighbourCodes(row, w, at, codes + 16);
                    neighbourCodes(row, w, at + 16, codes + 32);
                    neighbourCodes(row, w, at + 32, codes + 48);
                    neighbourCodes(row, w, at + 48, codes + 64);
                } else {
                    for (std::int32_t from = at; from < width; from += 16)
                        neighbourCodes(row, w, from, codes + 16 + (from - at));
                }
                decideWord(i, bits, std::true_type{});
            } else {
                decideWord(i, bits, std::false_type{});
            }
        }
    }
    rowStart[height] = static_cast<std::int32_t>(runs.size());
    work.longest[O::index] = longest;
    work.runs[O::index] = std::move(runs);
}

// What painting one run needs; the output band is [bandTop, bandEnd) in
// output rows, and nothing outside it is written. `band` holds those rows of
// outW pixels `stride` bytes apart: the output image's own, or a scratch copy
// of them that is streamed out once painted. Pointers are formed only to
// rows inside it.
struct PaintContext {
    std::int32_t f;
    std::ptrdiff_t w;
    std::ptrdiff_t outW;
    const std::uint8_t* source;
    std::uint8_t* band;
    std::ptrdiff_t stride;
    std::ptrdiff_t bandTop;
    std::ptrdiff_t bandEnd;
    const ShortRunDepths* shortRuns;
    const ShortRunMasks* masks; // null above factor 8
    // The previous band's rows on their way out, a step after every run.
    BandStream* stream;
};

namespace {

constexpr std::uint64_t kEveryByte = 0x0101010101010101ull;

// The window of a block row at factors 2, 4 and 8: the block's own width,
// which holds every depth there (only odd factors' far-side notches reach a
// pixel beyond the block); else 8 bytes.
template <int F> constexpr int kBlockWindow = F == 2 || F == 4 || F == 8 ? F : 8;

// The depths d of a strip that goes right (top and bottom passes), whose
// depth 0 lies on output row originY, that the band's rows hold: [first,
// second), not yet clamped to the strip's depths.
template <class O>
constexpr std::pair<std::ptrdiff_t, std::ptrdiff_t>
bandDepths(std::ptrdiff_t originY, std::ptrdiff_t bandTop, std::ptrdiff_t bandEnd)
{
    static_assert(O::sy != 0);
    if constexpr (O::sy < 0)
        return {bandTop - originY, bandEnd - originY};
    else
        return {originY - bandEnd + 1, originY - bandTop + 1};
}

// Sets the bytes of the Bytes-byte window at p (2, 4 or 8) that the low
// bytes of `mask` select to those of `colour` (one byte eight times),
// keeping the others.
template <int Bytes>
inline void blendBytes(std::uint8_t* p, std::uint64_t mask, std::uint64_t colour)
{
    using Word = std::conditional_t<Bytes == 2, std::uint16_t,
                                    std::conditional_t<Bytes == 4, std::uint32_t, std::uint64_t>>;
    Word word = 0;
    std::memcpy(&word, p, Bytes);
    word ^= static_cast<Word>((word ^ colour) & mask);
    std::memcpy(p, &word, Bytes);
}

// Lines rBegin .. rEnd - 1 of a short run that goes down, at factors up to 8:
// line r blended through the window at window + (r - rBegin) * rStep with
// masks[r], in the colour of the neighbour of the source line it lies in
// (neighbour[0] for the first, one aOff further for each next).
GRIDMINT_ALWAYS_INLINE void blendLines(std::uint8_t* window, std::ptrdiff_t rStep,
                                       const std::uint64_t* masks, const std::uint8_t* neighbour,
                                       std::ptrdiff_t aOff, int f, int rBegin, int rEnd)
{
    int k = rBegin / f;
    neighbour += k * aOff;
    for (int r = rBegin; r < rEnd; ++k, neighbour += aOff) {
        const std::uint64_t colour = kEveryByte * *neighbour;
        for (const int blockEnd = std::min(rEnd, (k + 1) * f); r < blockEnd; ++r, window += rStep)
            blendBytes<8>(window, masks[r], colour);
    }
}

// Rows dBegin .. dEnd - 1 of the len blocks of a short run that goes right,
// at factors up to 8: row d of block k blended through the window at
// block + k * f + (d - dBegin) * dStep with the mask of that row, as far as
// the block paints rows.
GRIDMINT_ALWAYS_INLINE void blendRows(std::uint8_t* block, std::ptrdiff_t dStep,
                                      const std::uint64_t* masks, const std::uint8_t* rows,
                                      const std::uint8_t* neighbour, std::ptrdiff_t aOff, int f,
                                      int len, int dBegin, int dEnd)
{
    for (int k = 0; k < len; ++k, block += f, neighbour += aOff, masks += f + 1) {
        const std::uint64_t colour = kEveryByte * *neighbour;
        const int last = std::min<int>(rows[k], dEnd);
        for (int d = dBegin; d < last; ++d)
            blendBytes<8>(block + (d - dBegin) * dStep, masks[d], colour);
    }
}

// What paintShort needs of one band and pass, copied out of the context into
// plain values: the output is written through byte pointers, which would
// make the compiler read every field again after each write.
struct ShortPaint {
    bool on; // the factor is at most 8
    std::int32_t f;
    std::ptrdiff_t w;
    std::ptrdiff_t outW;
    std::ptrdiff_t bandTop;
    std::ptrdiff_t bandEnd;
    const std::uint8_t* source;
    std::uint8_t* band; // output row bandTop; see PaintContext
    std::ptrdiff_t stride;
    ShortRunMasks::Pass tables;
};

template <class O> ShortPaint shortPaint(const PaintContext& pc)
{
    return {pc.masks != nullptr,
            pc.f,
            pc.w,
            pc.outW,
            pc.bandTop,
            pc.bandEnd,
            pc.source,
            pc.band,
            pc.stride,
            pc.masks != nullptr ? pc.masks->pass(static_cast<std::size_t>(O::index))
                                : ShortRunMasks::Pass{}};
}

// The len blocks of a short run at factor F (2 to 8) that lie wholly inside
// the band, from the window of its first line (left and right passes) or
// its origin's block row (top and bottom), with the masks of its shape and
// length and the colours of its neighbours from `neighbour` on, aOff apart.
// `deeper`: the bottom pass's far-side notch, whose blocks reach the row
// above.
template <class O, int F>
GRIDMINT_ALWAYS_INLINE void paintBlocks(std::uint8_t* at, std::ptrdiff_t stride,
                                        const std::uint64_t* masks, const std::uint8_t* neighbour,
                                        std::ptrdiff_t aOff, int len, bool deeper)
{
    if constexpr (O::sy == 0) {
        // perf: where the block's own width is a word, only its bytes: the
        // 8-byte window of a block overlaps the next run's, whose load then
        // waits for this store to leave the store buffer. Dither at factor 2
        // from 14.7 to 13.3 ms of CPU time a run.
        (void)deeper;
        constexpr int kBytes = kBlockWindow<F>;
        std::uint8_t* block = at + (O::sx > 0 ? 8 - kBytes : 0);
        for (int k = 0; k < len; ++k, neighbour += aOff, masks += F, block += F * stride) {
            const std::uint64_t colour = kEveryByte * *neighbour;
            for (int i = 0; i < F; ++i)
                blendBytes<kBytes>(block + i * stride,
                                   masks[i] >> (O::sx > 0 ? 64 - 8 * kBytes : 0), colour);
        }
    } else {
        const std::ptrdiff_t dStep = -O::sy * stride;
        // Every row a block may paint, including those its masks leave
        // unchanged: the same bytes written back cost less than a branch on
        // the shape's depth.
        for (int k = 0; k < len; ++k, at += F, neighbour += aOff, masks += F + 1) {
            const std::uint64_t colour = kEveryByte * *neighbour;
            for (int d = 0; d < F; ++d)
                blendBytes<kBlockWindow<F>>(at + d * dStep, masks[d], colour);
            if (deeper)
                blendBytes<kBlockWindow<F>>(at + F * dStep, masks[F], colour);
        }
    }
}

// Paints a short run (up to ShortRunMasks::kMaxLen lines) at a factor up to
// 8 that starts on source row y and whose windows lie inside their output
// rows, as far as it lies inside the band, from the masks; false, with
// nothing painted, for any other run. Most runs are such, and one or two
// lines long. F is the factor when the caller knows it at compile time
// (2 to 8), else 0: then a block wholly inside the band is F blends
// unrolled, without branches on the shape or the length.
template <class O, int F>
GRIDMINT_ALWAYS_INLINE bool paintShort(const ShortPaint& sp, const RunRecord& run, std::int32_t y)
{
    const std::int32_t len = run.len();
    // The dispatch gives F only for factors that have the masks.
    if ((F == 0 && !sp.on) || len > ShortRunMasks::kMaxLen)
        return false;
    const std::int32_t x = run.x();
    const SlopeShape shape = run.shape();
    const std::int32_t f = F > 0 ? F : sp.f;
    const std::ptrdiff_t outW = sp.outW;
    const std::ptrdiff_t aOff = O::ax + O::ay * sp.w;
    const std::ptrdiff_t sOff = O::sx + O::sy * sp.w;
    const std::ptrdiff_t blockY = std::ptrdiff_t{f} * y;
    const std::ptrdiff_t originX = std::ptrdiff_t{f} * x + (O::sx > 0 ? f - 1 : 0);
    const std::uint8_t* neighbour = sp.source + (std::ptrdiff_t{y} * sp.w + x + sOff);
    const std::size_t kind = ShortRunMasks::index(shape, len);
    const std::uint64_t* masks = sp.tables.masks + sp.tables.first[kind];
    const std::ptrdiff_t stride = sp.stride;
    // Output row `row` (inside the band) at the strip's origin column.
    const auto at = [&](std::ptrdiff_t row) {
        return sp.band + (row - sp.bandTop) * stride + originX;
    };
    if constexpr (O::sy == 0) {
        if (!wordWindowFits<O>(originX, outW))
            return false;
        const int lines = f * len;
        const int rBegin = static_cast<int>(std::max<std::ptrdiff_t>(0, sp.bandTop - blockY));
        const int rEnd = static_cast<int>(std::min<std::ptrdiff_t>(lines, sp.bandEnd - blockY));
        if (rBegin >= rEnd)
            return true;
        // The window of the first line inside the band.
        std::uint8_t* window = at(blockY + rBegin) - (O::sx > 0 ? 7 : 0);
        if (F == 0 || rBegin != 0 || rEnd != lines) {
            // A run that crosses an edge of the band paints the lines inside.
            blendLines(window, stride, masks, neighbour, aOff, f, rBegin, rEnd);
            return true;
        }
        paintBlocks<O, F>(window, stride, masks, neighbour, aOff, len, false);
    } else {
        if (!wordWindowFits<O>(originX + std::ptrdiff_t{f} * (len - 1), outW))
            return false;
        // Depth d is output row originY - d * sy; the bottom pass's far-side
        // notch reaches the row above the block.
        const std::ptrdiff_t originY = blockY + (O::sy > 0 ? f - 1 : 0);
        const auto [dLo, dHi] = bandDepths<O>(originY, sp.bandTop, sp.bandEnd);
        const bool deeper = O::sy > 0 && shape == SlopeShape::Notch;
        const int depths = f + (deeper ? 1 : 0);
        const std::ptrdiff_t dStep = -O::sy * stride;
        if (F == 0 || dLo > 0 || dHi < depths) {
            const int dBegin = static_cast<int>(std::max<std::ptrdiff_t>(0, dLo));
            const int dEnd = static_cast<int>(std::min<std::ptrdiff_t>(depths, dHi));
            if (dBegin >= dEnd)
                return true;
            blendRows(at(originY - std::ptrdiff_t{dBegin} * O::sy), dStep, masks,
                      sp.tables.rows + sp.tables.firstBlock[kind], neighbour, aOff, f, len, dBegin,
                      dEnd);
            return true;
        }
        // Every row of the block lies inside the band.
        paintBlocks<O, F>(at(originY), stride, masks, neighbour, aOff, len, deeper);
    }
    return true;
}

// The runs of one source row y inside the band that paintInside paints: the
// output at the window (left, right) or origin block row (top, bottom) of
// column 0, where a run's blocks start F * x further on; the neighbours of
// the row's pixels; and the longest run wholly inside the band (0 for none).
struct InsideRow {
    std::uint8_t* out;
    const std::uint8_t* neighbour;
    std::int32_t maxLen;
};

template <class O, int F>
InsideRow insideRow(const ShortPaint& sp, std::int32_t y, std::int32_t y0, std::int32_t y1)
{
    const std::ptrdiff_t originY = std::ptrdiff_t{F} * y + (O::sy > 0 ? F - 1 : 0);
    std::int32_t maxLen =
        O::sy == 0 ? std::min(ShortRunMasks::kMaxLen, y1 - y) : ShortRunMasks::kMaxLen;
    // The bottom pass's notches on the band's first row reach the row above
    // it, and runs below the band are clipped.
    if ((O::sy > 0 && y == y0) || y >= y1)
        maxLen = 0;
    return {sp.band + (originY - sp.bandTop) * sp.stride + (O::sx > 0 ? F - 8 : 0),
            sp.source + (std::ptrdiff_t{y} * sp.w + O::sx + O::sy * sp.w), maxLen};
}

// Paints a run of source row `row` at factor F (2 to 8) that lies wholly
// inside the band with its windows inside their output rows, the common
// case, which needs no clipping: false, with nothing painted, for any other.
// perf: the painting's instructions at factors 2, 4 and 8 fell 13, 11 and
// 7%; run(true) on one thread 1 to 5% faster than through paintShort.
template <class O, int F>
GRIDMINT_ALWAYS_INLINE bool paintInside(const ShortPaint& sp, const InsideRow& row,
                                        const RunRecord& run)
{
    const std::int32_t len = run.len();
    const std::int32_t x = run.x();
    // The window of the last block (top, bottom) or of the block's lines.
    const std::ptrdiff_t lastX = std::ptrdiff_t{F} * (x + (O::sy != 0 ? len - 1 : 0));
    if (len > row.maxLen || !wordWindowFits<O>(lastX + (O::sx > 0 ? F - 1 : 0), sp.outW))
        return false;
    const SlopeShape shape = run.shape();
    const std::uint64_t* masks =
        sp.tables.masks + sp.tables.first[ShortRunMasks::index(shape, len)];
    paintBlocks<O, F>(row.out + std::ptrdiff_t{F} * x, sp.stride, masks, row.neighbour + x,
                      O::ax + O::ay * sp.w, len, O::sy > 0 && shape == SlopeShape::Notch);
    return true;
}

// Paints the strip of one run that starts on source row y, as far as it lies
// inside the band: the runs that paintShort leaves (factors above 8, runs
// longer than its tables, windows that would leave the output row).
template <class O> void paintRun(const PaintContext& pc, const RunRecord& run, std::int32_t y)
{
    const std::int32_t x = run.x();
    const std::int32_t len = run.len();
    const SlopeShape shape = run.shape();
    const std::int32_t f = pc.f;
    const std::ptrdiff_t outW = pc.outW;
    const std::ptrdiff_t aOff = O::ax + O::ay * pc.w;
    const std::ptrdiff_t sOff = O::sx + O::sy * pc.w;
    const std::ptrdiff_t rStep = O::ax + O::ay * pc.stride;
    const std::ptrdiff_t dStep = -(O::sx + O::sy * pc.stride);
    const std::ptrdiff_t originX = std::ptrdiff_t{f} * x + (O::sx > 0 ? f - 1 : 0);
    const std::ptrdiff_t originY = std::ptrdiff_t{f} * y + (O::sy > 0 ? f - 1 : 0);
    // Output row `row` (inside the band) at the strip's origin column.
    const auto at = [&](std::ptrdiff_t row) {
        return pc.band + (row - pc.bandTop) * pc.stride + originX;
    };
    const std::uint8_t* source = pc.source;
    // A run that goes right has a window in every block it crosses: all must
    // lie inside the output row, or the last would spill into the next row,
    // which another thread may be painting.
    const std::ptrdiff_t lastX = O::sy == 0 ? originX : originX + std::ptrdiff_t{f} * (len - 1);
    const bool window = f <= 8 && wordWindowFits<O>(lastX, outW);

    if constexpr (O::sy == 0) {
        // The run goes down: output line r is output row originY + r, and
        // takes the colour of the neighbour of the source line it lies in.
        const std::ptrdiff_t lineCount = std::ptrdiff_t{f} * len;
        const int rBegin = static_cast<int>(std::max<std::ptrdiff_t>(0, pc.bandTop - originY));
        const int rEnd = static_cast<int>(std::min(lineCount, pc.bandEnd - originY));
        if (rBegin >= rEnd)
            return;
        std::ptrdiff_t neighbour =
            std::ptrdiff_t{y} * pc.w + x + sOff + std::ptrdiff_t{rBegin / f} * aOff;
        std::uint8_t colour = source[neighbour];
        int sub = rBegin % f;
        // The first painted line; line r lies (r - rBegin) rSteps on.
        std::uint8_t* const first = at(originY + rBegin);
        if (window) {
            // Small blocks: every output line of the strip lies in one 8-byte
            // window, blended in place (bytes outside the strip are written
            // back unchanged), without branches on the depth.
            // perf: at factor 8, sprite passes from 16.5 to 13.7 ns per
            // source pixel, dither from 42.8 to 35.9.
            std::uint8_t* windowStart = first - (O::sx > 0 ? 7 : 0);
            constexpr bool fromLowEnd = O::sx < 0;
            forEachDepthIn(shape, O::variant, f, len, rBegin, rEnd, [&](int r, int depth) {
                if (sub == 0)
                    colour = source[neighbour];
                blendWindow<fromLowEnd>(windowStart + (r - rBegin) * rStep, colour, depth);
                if (++sub == f) {
                    sub = 0;
                    neighbour += aOff;
                }
            });
            return;
        }
        // Factors 9 to 16: the same with a 16-byte window, for short runs.
        // perf: at factor 16, the left and right passes' painting from 246
        // to 132 million instructions per 1024 x 1024 source (callgrind);
        // the time of the whole run moves little, bound by memory.
        if (f > 8 && f <= 16 && pc.shortRuns->covers(len) && wordWindowFits<O, 16>(lastX, outW)) {
            constexpr bool fromLowEnd = O::sx < 0;
            std::uint8_t* line = first - (O::sx > 0 ? 15 : 0);
            const BlockDepths* blocks = pc.shortRuns->blocks(shape, O::variant, len);
            for (int k = rBegin / f, r = rBegin; r < rEnd; ++k, sub = 0) {
                colour = source[neighbour];
                // The window fits only on little-endian machines, where byte
                // i of the block's words holds line i's depth.
                std::uint8_t depths[16];
                std::memcpy(depths, &blocks[k].low, 8);
                std::memcpy(depths + 8, &blocks[k].high, 8);
                for (const int blockEnd = std::min(rEnd, (k + 1) * f); r < blockEnd;
                     ++r, ++sub, line += rStep)
                    blendWideWindow<fromLowEnd>(line, colour, depths[sub]);
                neighbour += aOff;
            }
            return;
        }
        forEachDepthIn(shape, O::variant, f, len, rBegin, rEnd, [&](int r, int depth) {
            if (sub == 0)
                colour = source[neighbour];
            std::uint8_t* px = first + (r - rBegin) * rStep;
            if (depth > 0)
                fillSpan(O::sx < 0 ? px : px - (depth - 1), colour, depth);
            if (++sub == f) {
                sub = 0;
                neighbour += aOff;
            }
        });
    } else {
        // The run goes right: depth d is output row originY - d * sy; only
        // the rows inside the band are painted.
        const auto [dLo, dHi] = bandDepths<O>(originY, pc.bandTop, pc.bandEnd);
        const int dBegin = static_cast<int>(std::max<std::ptrdiff_t>(0, dLo));
        const int dEnd = static_cast<int>(std::min<std::ptrdiff_t>(f + 2, dHi));
        if (dBegin >= dEnd)
            return;
        std::ptrdiff_t neighbour = std::ptrdiff_t{y} * pc.w + x + sOff;
        int sub = 0;
        // Row dBegin of the strip's first block.
        std::uint8_t* block = at(originY - std::ptrdiff_t{dBegin} * O::sy);
        // Factors 9 to 16 blend each block row through a 16-byte window.
        const bool wideWindow = f > 8 && f <= 16 && lastX + 16 <= outW;
        if (wideWindow && pc.shortRuns->covers(len)) {
            // perf: the words of short runs from a table, not the shape's
            // counter: at factor 16, run(true) from 3.4-7.4 to 2.1-4.4 times
            // replication.
            const BlockDepths* blocks = pc.shortRuns->blocks(shape, O::variant, len);
            const std::int8_t* deepests = pc.shortRuns->deepest(shape, O::variant, len);
            for (int k = 0; k < len; ++k, block += f, neighbour += aOff) {
                const int last = std::min<int>(deepests[k], dEnd);
                blendBlockRows<16>(block, dStep, blocks[k].low, blocks[k].high, dBegin, last,
                                   source[neighbour]);
            }
            return;
        }
        // Blocks whose rows lie in windows side by side, blended in place
        // without branches on the depth: one 8-byte window up to factor 8,
        // 16-byte windows beyond (long runs at factors 9 to 16, every run
        // beyond). Columns past the block have no depth and are written back
        // unchanged; they lie in the same row, painted by this thread only.
        // perf: the block's depths gathered in a register rather than a
        // byte array that is then read as one word (a stalled store
        // forward): factor 4 sprites from 21 to 14 times replication.
        // Against a byte store per pixel, 256 x 256 at factor 32, one
        // thread: dither from 19 to 11 ms, sprites from 9 to 7.
        const auto paintWindows = [&]<int Bytes>(int windows) {
            constexpr int kWords = Bytes / 8;
            constexpr std::uint64_t kNone = ~std::uint64_t{0}; // every byte -1
            std::uint64_t depths[2 * ScaleJob::kMaxFactor / 16];
            std::fill_n(depths, kWords * windows, kNone);
            int deepest = 0;
            forEachDepth(shape, O::variant, f, len, [&](int, int depth) {
                // One word, by a constant index, stays in a register.
                setDepthByte(depths[kWords == 1 ? 0 : sub >> 3], sub & 7, depth);
                deepest = depth > deepest ? depth : deepest;
                if (++sub < f)
                    return;
                const int last = std::min(deepest, dEnd);
                for (int i = 0; i < windows; ++i)
                    blendBlockRows<Bytes>(block + std::ptrdiff_t{Bytes} * i, dStep,
                                          depths[kWords * i],
                                          kWords == 1 ? 0 : depths[kWords * i + kWords - 1], dBegin,
                                          last, source[neighbour]);
                sub = 0;
                std::fill_n(depths, kWords * windows, kNone);
                deepest = 0;
                neighbour += aOff;
                block += f;
            });
        };
        if (window) {
            paintWindows.template operator()<8>(1);
            return;
        }
        const int windows = (f + 15) / 16;
        if (f > 8 && lastX + std::ptrdiff_t{16} * windows <= outW) {
            paintWindows.template operator()<16>(windows);
            return;
        }
        std::uint8_t colour = 0;
        forEachDepth(shape, O::variant, f, len, [&](int r, int depth) {
            if (sub == 0)
                colour = source[neighbour];
            std::uint8_t* px = block + r * rStep;
            const int last = std::min(depth, dEnd);
            for (int d = dBegin; d < last; ++d)
                px[(d - dBegin) * dStep] = colour;
            if (++sub == f) {
                sub = 0;
                neighbour += aOff;
            }
        });
    }
}

// One run, by the first painting that takes it: a short run on a row whose
// blocks all lie inside the band (`row`, where the caller has one), a short
// run, or any run.
template <class O, int F>
GRIDMINT_ALWAYS_INLINE void paintAny(const PaintContext& pc, const ShortPaint& sp,
                                     const InsideRow* row, const RunRecord& run, std::int32_t y)
{
    if constexpr (F > 0) {
        if (row != nullptr && paintInside<O, F>(sp, *row, run))
            return;
    } else {
        (void)row;
        // At factor 1 a wedge is at most 0 deep on every line: only bulges
        // and notches can repaint a pixel. perf: blending the wedges' lines
        // cost as much as deciding the runs.
        if (sp.f == 1 &&
            (run.shape() == SlopeShape::StartWedge || run.shape() == SlopeShape::EndWedge))
            return;
    }
    if (!paintShort<O, F>(sp, run, y))
        paintRun<O>(pc, run, y);
}

} // namespace

template <class O, int F>
void SlopePassRunner::paintVertical(const PaintContext& pc, PassWork::Carry& carry, std::int32_t y0,
                                    std::int32_t y1)
{
    const RunRecord* runs = job_.passWork_->runs[O::index].data();
    const std::int32_t* rowStart = job_.passWork_->rowStart[O::index].data();
    const ShortPaint sp = shortPaint<O>(pc);
    // Runs that started above the band first, then the band's own, each in
    // the order they were decided.
    std::vector<CarriedRun>& now = carry.now[O::index];
    std::vector<CarriedRun>& next = carry.next[O::index];
    next.clear();
    std::size_t untilStep = pc.stream->every();
    for (const CarriedRun c : now) {
        const RunRecord run = runs[c.index];
        paintAny<O, F>(pc, sp, nullptr, run, c.y);
        if (c.y + run.len() > y1)
            next.push_back(c);
        pc.stream->countRun(untilStep);
    }
    for (std::int32_t y = y0; y < y1; ++y) {
        InsideRow row{};
        if constexpr (F > 0)
            row = insideRow<O, F>(sp, y, y0, y1);
        for (std::int32_t i = rowStart[y], end = rowStart[y + 1]; i < end; ++i) {
            const RunRecord run = runs[i];
            paintAny<O, F>(pc, sp, &row, run, y);
            if (y + run.len() > y1)
                next.push_back({i, y});
            pc.stream->countRun(untilStep);
        }
    }
    now.swap(next);
}

template <class O, int F>
void SlopePassRunner::paintHorizontal(const PaintContext& pc, std::int32_t y0, std::int32_t y1)
{
    const RunRecord* runs = job_.passWork_->runs[O::index].data();
    const std::int32_t* rowStart = job_.passWork_->rowStart[O::index].data();
    const ShortPaint sp = shortPaint<O>(pc);
    // The far-side notch of a run on the row below the band reaches one
    // pixel into the band's last output row.
    const std::int32_t last =
        O::variant == SlopeVariant::FarSide ? std::min(y1 + 1, job_.height_) : y1;
    std::size_t untilStep = pc.stream->every();
    for (std::int32_t y = y0; y < last; ++y) {
        const bool below = y >= y1;
        InsideRow row{};
        if constexpr (F > 0)
            row = insideRow<O, F>(sp, y, y0, y1);
        for (std::int32_t i = rowStart[y], end = rowStart[y + 1]; i < end; ++i) {
            const RunRecord run = runs[i];
            if (below && run.shape() != SlopeShape::Notch)
                continue;
            paintAny<O, F>(pc, sp, &row, run, y);
            pc.stream->countRun(untilStep);
        }
    }
}

void SlopePassRunner::mergeMarks(std::int32_t y0, std::int32_t y1)
{
    // Eight cells at a time: each pass's byte of mark bits spread to its
    // mark bit in each of eight mark bytes.
    static constexpr auto kSpread = [] {
        std::array<std::array<std::uint64_t, 256>, 4> table{};
        for (std::size_t p = 0; p < 4; ++p)
            for (std::size_t b = 0; b < 256; ++b)
                for (std::size_t i = 0; i < 8; ++i)
                    if (b >> i & 1)
                        table[p][b] |= std::uint64_t{kPassMarks[p]} << (8 * i);
        return table;
    }();
    ScaleJob& job = job_;
    const PassWork& work = *job.passWork_;
    const std::int32_t width = job.width_;
    const std::size_t words = work.wordsPerRow;
    const std::size_t plane = static_cast<std::size_t>(job.height_) * words;
    // A whole run sets every cell afresh; a pass alone keeps the other bits.
    const std::uint8_t keep = passes_ == kAllPasses ? 0 : static_cast<std::uint8_t>(~passes_);
    const std::uint64_t keepWord = kEveryByte * keep;
    // The planes of passes that did not run count as empty.
    std::uint64_t wanted[4];
    for (std::size_t p = 0; p < 4; ++p)
        wanted[p] = (passes_ & kPassMarks[p]) ? ~std::uint64_t{0} : 0;
    std::uint8_t* cells = job.marks_.mutableData();
    for (std::int32_t y = y0; y < y1; ++y) {
        std::uint8_t* out = cells + std::ptrdiff_t{y} * width;
        const std::uint64_t* bits[4];
        for (std::size_t p = 0; p < 4; ++p)
            bits[p] = work.markBits.data() + p * plane + static_cast<std::size_t>(y) * words;
        for (std::size_t i = 0; i < words; ++i) {
            const std::int32_t x0 = static_cast<std::int32_t>(i * 64);
            const std::int32_t x1 = std::min(width, x0 + 64);
            const std::uint64_t b[4] = {bits[0][i] & wanted[0], bits[1][i] & wanted[1],
                                        bits[2][i] & wanted[2], bits[3][i] & wanted[3]};
            std::int32_t x = x0;
            if constexpr (std::endian::native == std::endian::little) {
                for (; x + 8 <= x1; x += 8) {
                    std::uint64_t word = 0;
                    if (keep != 0) {
                        std::memcpy(&word, out + x, 8);
                        word &= keepWord;
                    }
                    // perf: four table reads for every eight cells, without
                    // a test for empty ones, whose outcome pixel art does
                    // not let the branch predictor guess: sprites at factor
                    // 4 about 2% faster than with the test.
                    const int shift = x & 63;
                    word |= kSpread[0][b[0] >> shift & 0xFF] | kSpread[1][b[1] >> shift & 0xFF] |
                            kSpread[2][b[2] >> shift & 0xFF] | kSpread[3][b[3] >> shift & 0xFF];
                    std::memcpy(out + x, &word, 8);
                }
            }
            for (; x < x1; ++x) {
                std::uint8_t cell = out[x] & keep;
                for (std::size_t p = 0; p < 4; ++p)
                    if (b[p] >> (x & 63) & 1)
                        cell |= kPassMarks[p];
                out[x] = cell;
            }
        }
    }
}

template <int F>
void SlopePassRunner::paintBand(const PaintContext& pc, PassWork::Carry& carry, std::int32_t y0,
                                std::int32_t y1)
{
    if (passes_ & MarkLeft)
        paintVertical<LeftPass, F>(pc, carry, y0, y1);
    if (passes_ & MarkRight)
        paintVertical<RightPass, F>(pc, carry, y0, y1);
    if (passes_ & MarkTop)
        paintHorizontal<TopPass, F>(pc, y0, y1);
    if (passes_ & MarkBottom)
        paintHorizontal<BottomPass, F>(pc, y0, y1);
}

void SlopePassRunner::paintChunk(std::int32_t chunk, std::int32_t chunks)
{
    ScaleJob& job = job_;
    PassWork& work = *job.passWork_;
    const std::int32_t height = job.height_;
    const std::int32_t y0 = static_cast<std::int32_t>(std::int64_t{height} * chunk / chunks);
    const std::int32_t y1 = static_cast<std::int32_t>(std::int64_t{height} * (chunk + 1) / chunks);
    if (y0 >= y1)
        return;
    PassWork::Carry& carry = work.carries[static_cast<std::size_t>(chunk)];

    // The left and right passes' runs that started above the chunk and
    // reach into it: none started more than the longest run above it.
    const auto startCarry = [&](int p) {
        const std::size_t pass = static_cast<std::size_t>(p);
        std::vector<CarriedRun>& now = carry.now[pass];
        now.clear();
        const std::vector<RunRecord>& runs = work.runs[pass];
        const std::int32_t* rowStart = work.rowStart[pass].data();
        for (std::int32_t y = std::max(0, y0 - work.longest[pass]); y < y0; ++y)
            for (std::int32_t i = rowStart[y]; i < rowStart[y + 1]; ++i)
                if (y + runs[static_cast<std::size_t>(i)].len() > y0)
                    now.push_back({i, y});
    };
    if (passes_ & MarkLeft)
        startCarry(0);
    if (passes_ & MarkRight)
        startCarry(1);

    // A run that replicates a streamed output builds each band in the
    // chunk's scratch band and streams it out once painted: the output's
    // lines are written once instead of read for ownership and written back,
    // and the scratch rows, padded apart, no longer share cache sets. perf:
    // 1024 x 1024 at factor 16, one thread, sprites from 40 to 26 ms, dither
    // 86 to 42; 512 x 512 at factor 32 sprites from 82 to 28 ms; at factor 8
    // run(true) from 3.6 to 3.1 times plain replication (sprites), 5.4 to
    // 4.8 (dither); 4096 x 4096 at factor 4 about even.
    const bool scratch = replicate_ && work.bandBytes > 0;
    const std::int32_t f = job.factor_;
    const std::ptrdiff_t outW = std::ptrdiff_t{f} * job.width_;
    // The factors of the short-run masks each with their own painting.
    using BandPainter = void (SlopePassRunner::*)(const PaintContext&, PassWork::Carry&,
                                                  std::int32_t, std::int32_t);
    static constexpr BandPainter kPainters[] = {
        &SlopePassRunner::paintBand<0>, &SlopePassRunner::paintBand<0>,
        &SlopePassRunner::paintBand<2>, &SlopePassRunner::paintBand<3>,
        &SlopePassRunner::paintBand<4>, &SlopePassRunner::paintBand<5>,
        &SlopePassRunner::paintBand<6>, &SlopePassRunner::paintBand<7>,
        &SlopePassRunner::paintBand<8>};
    static_assert(std::size(kPainters) == ShortRunMasks::kMaxFactor + 1);
    const BandPainter paint =
        f <= ShortRunMasks::kMaxFactor ? kPainters[f] : &SlopePassRunner::paintBand<0>;
    const ShortRunMasks* const masks = work.shortMasks.built() ? &work.shortMasks : nullptr;
    // The previous band streams out while this one is painted, in steps
    // spread over the runs that reach into the band. perf: one thread,
    // against each band streamed whole once painted: 1024 x 1024 at factor 8
    // 0.93 to 0.97 times the time, at 16 0.86 to 0.94; 512 x 512 at 32 0.84
    // to 0.93.
    BandStream stream;
    const auto runsInBand = [&](std::int32_t top, std::int32_t end) {
        std::size_t n = 0;
        for (std::size_t p = 0; p < 4; ++p)
            if (passes_ & kPassMarks[p])
                n += static_cast<std::size_t>(work.rowStart[p][static_cast<std::size_t>(end)] -
                                              work.rowStart[p][static_cast<std::size_t>(top)]);
        return n + carry.now[0].size() + carry.now[1].size();
    };
    std::size_t n = 0;
    for (std::int32_t top = y0; top < y1; top += work.bandRows, ++n) {
        const std::int32_t end = std::min(y1, top + work.bandRows);
        std::uint8_t* const band = scratch ? work.band(static_cast<std::size_t>(chunk), n)
                                           : job.output_->image->row(f * top);
        const std::ptrdiff_t stride = scratch ? work.bandStride : outW;
        // With one scratch band only, it must be out before it is reused.
        if (stream.reads(band))
            stream.finish();
        stream.pace(runsInBand(top, end));
        if (replicate_)
            job.replicateRows(top, end, band, stride);
        const PaintContext pc{f,
                              job.width_,
                              outW,
                              job.source_->image->store(),
                              band,
                              stride,
                              std::ptrdiff_t{f} * top,
                              std::ptrdiff_t{f} * end,
                              &work.shortRuns,
                              masks,
                              &stream};
        (this->*paint)(pc, carry, top, end);
        mergeMarks(top, end);
        if (scratch) {
            stream.finish();
            stream.start(*job.output_->image, f * top, f * end, band, stride);
        }
    }
    if (scratch) {
        stream.finish();
        ScaleJob::fenceStreams();
    }
}

void SlopePassRunner::run(std::uint8_t passes, bool replicate)
{
    static_assert(kSimilar == ScaleJob::kRelSimilar && kLighter == ScaleJob::kRelLighter &&
                  kDarker == ScaleJob::kRelDarker);
    ScaleJob& job = job_;
    passes_ = passes;
    replicate_ = replicate;
    PassWork& work = *job.passWork_;
    WorkerPool& pool = job.workers();

    // Decide: each pass reads only the source and its own marks, so the
    // passes are independent of one another.
    std::int32_t order[4] = {};
    std::int32_t count = 0;
    for (int p = 0; p < 4; ++p) {
        if (passes & kPassMarks[p])
            order[count++] = p;
    }
    auto decideTask = [&](std::int32_t i) {
        switch (order[i]) {
        case 0:
            decide<LeftPass>();
            return;
        case 1:
            decide<RightPass>();
            return;
        case 2:
            decide<TopPass>();
            return;
        default:
            decide<BottomPass>();
            return;
        }
    };
    const std::int32_t chunks = static_cast<std::int32_t>(work.carries.size());
    auto filterTask = [&](std::int32_t chunk) { findCandidates(chunk, chunks); };
    pool.forEach(chunks, filterTask);
    pool.forEach(count, decideTask);

    // Paint: bands of output rows, each painted by one thread with every
    // pass in order, so that the result is the same whatever the split.
    auto paintTask = [&](std::int32_t chunk) { paintChunk(chunk, chunks); };
    pool.forEach(chunks, paintTask);
}

} // namespace gridmint
