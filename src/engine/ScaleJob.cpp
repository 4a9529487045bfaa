#include "engine/ScaleJob.h"

#include "engine/SlopePasses.h"
#include "engine/SlopeShapes.h"
#include "engine/WorkerPool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

namespace gridmint {

namespace {

// The colour model deliberately skips gamma expansion: the thresholds users
// have tuned are calibrated on these values.
double labF(double t)
{
    return t > 0.008856 ? std::pow(t, 1.0 / 3.0) : (903.3 * t + 16.0) / 116.0;
}

// Far from every real colour in a*b* and darker than everything, so that the
// transparent index is similar only to itself and never the lighter side.
constexpr LabColor kTransparentLab{-1000000.0, 250000.0, 250000.0};

// The one similarity expression of the engine. Squared distances or float
// would flip decisions at the boundary, so keep it exactly like this.
inline bool withinThreshold(const LabColor& p, const LabColor& q, double threshold)
{
    const double da = p.a - q.a;
    const double db = p.b - q.b;
    return std::sqrt(da * da + db * db) <= threshold;
}

// Fills one output row with `factor` copies of every source pixel. The fixed
// factors let the compiler turn each block into one or two stores.
template <int F> void fillRowFixed(std::uint8_t* out, const std::uint8_t* in, std::int32_t width)
{
    std::int32_t x = 0;
#if defined(__SSE2__)
    // perf: unpacking sixteen pixels at a time instead of a store per pixel
    // took 256 x 256 at factor 2 from 54 to 7 us (memset of the output: 3 us).
    if constexpr (F == 2 || F == 4 || F == 8) {
        for (; width - x >= 16; x += 16, out += 16 * F) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
            __m128i parts[F];
            parts[0] = _mm_unpacklo_epi8(v, v);
            parts[1] = _mm_unpackhi_epi8(v, v);
            if constexpr (F >= 4) {
                for (int i = 1; i >= 0; --i) {
                    parts[2 * i + 1] = _mm_unpackhi_epi16(parts[i], parts[i]);
                    parts[2 * i] = _mm_unpacklo_epi16(parts[i], parts[i]);
                }
            }
            if constexpr (F == 8) {
                for (int i = 3; i >= 0; --i) {
                    parts[2 * i + 1] = _mm_unpackhi_epi32(parts[i], parts[i]);
                    parts[2 * i] = _mm_unpacklo_epi32(parts[i], parts[i]);
                }
            }
            for (int i = 0; i < F; ++i)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), parts[i]);
        }
    }
    if constexpr (F == 3) {
        // SSE2 has no byte shuffle, but in 16-bit words the tripled row is
        // simple: for each source pair (p, q) it reads pp, pq, qq. So the
        // doubled pixels and the source itself, both seen as words, give
        // every word, and a mask picks per word from which of the two.
        // perf: eight pixels in about twenty instructions instead of about
        // fifty; run(false) at factor 3 from 0.97-1.02 to 0.60-0.68 times a plain
        // replication loop.
        const __m128i fromSource0 = _mm_setr_epi16(0, -1, 0, 0, -1, 0, 0, -1);
        const __m128i fromSource1 = _mm_setr_epi16(0, 0, -1, 0, 0, 0, 0, 0);
        const auto pick = [](__m128i fromSource, __m128i doubled, __m128i source) {
            return _mm_or_si128(_mm_andnot_si128(fromSource, doubled),
                                _mm_and_si128(fromSource, source));
        };
        for (; width - x >= 8; x += 8, out += 24) {
            const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + x));
            const __m128i a = _mm_unpacklo_epi8(v, v); // words: p0p0 p1p1 ... p7p7
            // Words a0 v0 a1 a2 v1 a3 a4 v2, where aN is pixel N doubled and vK
            // the source word K.
            __m128i t = _mm_shuffle_epi32(a, _MM_SHUFFLE(2, 1, 1, 0));
            t = _mm_shufflelo_epi16(t, _MM_SHUFFLE(2, 1, 0, 0));
            t = _mm_shufflehi_epi16(t, _MM_SHUFFLE(0, 2, 1, 0));
            __m128i u = _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 0, 0));
            u = _mm_shufflelo_epi16(u, _MM_SHUFFLE(0, 0, 0, 0));
            u = _mm_shufflehi_epi16(u, _MM_SHUFFLE(2, 0, 0, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pick(fromSource0, t, u));
            // Words a5 a6 v3 a7.
            t = _mm_shufflelo_epi16(_mm_shuffle_epi32(a, _MM_SHUFFLE(3, 2, 3, 2)),
                                    _MM_SHUFFLE(3, 0, 2, 1));
            u = _mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 3, 0, 0));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), pick(fromSource1, t, u));
        }
    }
#endif
    // Indexed from the row start, a byte loop the compiler vectorises.
    out -= std::ptrdiff_t{x} * F;
    for (; x < width; ++x)
        for (int i = 0; i < F; ++i)
            out[x * F + i] = in[x];
}

// The other factors: one broadcast store of `Bytes` (>= factor) per pixel,
// left to right, so that each block's store overwrites the excess of the
// one before; the blocks whose store would leave the row are set exactly.
// perf: against a memset call per pixel, factors 5 and 6 from 1.9 to 1.0 times
// a plain replication loop.
template <int Bytes>
void fillRowOverlapping(std::uint8_t* out, const std::uint8_t* in, std::int32_t width,
                        std::int32_t factor)
{
    const std::int64_t rowEnd = std::int64_t{width} * factor;
    std::int32_t x = 0;
    for (; std::int64_t{x} * factor + Bytes <= rowEnd; ++x, out += factor) {
        std::uint8_t block[Bytes];
        std::memset(block, in[x], Bytes);
        std::memcpy(out, block, Bytes);
    }
    for (; x < width; ++x, out += factor)
        std::memset(out, in[x], static_cast<std::size_t>(factor));
}

void fillRow(std::uint8_t* out, const std::uint8_t* in, std::int32_t width, std::int32_t factor)
{
    switch (factor) {
    case 1:
        std::memcpy(out, in, static_cast<std::size_t>(width));
        return;
    case 2:
        fillRowFixed<2>(out, in, width);
        return;
    case 3:
        fillRowFixed<3>(out, in, width);
        return;
    case 4:
        fillRowFixed<4>(out, in, width);
        return;
    case 8:
        fillRowFixed<8>(out, in, width);
        return;
    case 16:
        fillRowFixed<16>(out, in, width);
        return;
    default:
        if (factor <= 8)
            fillRowOverlapping<8>(out, in, width, factor);
        else if (factor <= 16)
            fillRowOverlapping<16>(out, in, width, factor);
        else
            fillRowOverlapping<32>(out, in, width, factor);
        return;
    }
}

LabColor labOf(Colour c)
{
    return toLab(static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                 static_cast<int>(c & 0xFF));
}

void computeLabTable(const std::vector<Colour>& palette, std::int32_t transparentIndex,
                     std::vector<LabColor>& lab)
{
    lab.resize(palette.size());
    for (std::size_t i = 0; i < palette.size(); ++i)
        lab[i] = labOf(palette[i]);
    if (transparentIndex >= 0 && static_cast<std::size_t>(transparentIndex) < lab.size())
        lab[static_cast<std::size_t>(transparentIndex)] = kTransparentLab;
}

// The relation table of the first n entries of `lab` (see PaletteTables).
void fillRelations(std::uint8_t* table, const std::vector<LabColor>& lab, std::size_t n,
                   double threshold)
{
    std::memset(table, 0, PaletteTables::kRelationTableSize);
    // Indices outside the palette relate to nothing but themselves.
    for (std::size_t i = n; i < 256; ++i)
        table[i * 256 + i] = PaletteTables::kSimilar;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* row = table + i * 256;
        const LabColor& li = lab[i];
        row[i] = withinThreshold(li, li, threshold) ? PaletteTables::kSimilar : 0;
        for (std::size_t j = i + 1; j < n; ++j) {
            const LabColor& lj = lab[j];
            const bool similar = withinThreshold(li, lj, threshold);
            std::uint8_t ij = similar ? PaletteTables::kSimilar : 0;
            std::uint8_t ji = ij;
            if (lj.L > li.L) {
                ij |= PaletteTables::kLighter;
                ji |= PaletteTables::kDarker;
            } else if (lj.L < li.L) {
                ij |= PaletteTables::kDarker;
                ji |= PaletteTables::kLighter;
            }
            row[j] = ij;
            table[j * 256 + i] = ji;
        }
    }
}

// Dense ranks of the distinct L* values of the first n entries, from 1; more
// than 255 distinct values are squeezed, which keeps the order but may merge
// neighbours, so the passes treat the rank test only as a filter (equal ranks
// pass) and decide with the relation table.
std::array<std::uint8_t, 256> rankIndices(const std::vector<LabColor>& lab, std::size_t n)
{
    std::array<std::uint8_t, 256> order{};
    for (std::size_t i = 0; i < n; ++i)
        order[i] = static_cast<std::uint8_t>(i);
    std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n),
              [&](std::uint8_t p, std::uint8_t q) { return lab[p].L < lab[q].L; });
    std::array<int, 256> dense{};
    int distinct = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k == 0 || lab[order[k]].L != lab[order[k - 1]].L)
            ++distinct;
        dense[order[k]] = distinct;
    }
    std::array<std::uint8_t, 256> rank{}; // 0: no palette entry
    for (std::size_t i = 0; i < n; ++i)
        rank[i] = static_cast<std::uint8_t>(
            distinct <= 255 ? dense[i] : 1 + (dense[i] - 1) * 254 / (distinct - 1));
    return rank;
}

// Copies a replicated row (n bytes) to another row of the output, 64 bytes
// a step. perf: with the C library's memcpy run(false) was 0.5-0.65 (x3),
// 0.85-1.1 (x4) and 0.8-0.85 (x5) times a plain replication loop, with this
// loop 0.3-0.35, 0.6-0.7 and 0.65-0.7; x2 stays about even. A loop of single
// 16-byte copies was up to 1.6 times at x2, depending on where it landed in
// the binary.
void copyRow(std::uint8_t* dst, const std::uint8_t* src, std::size_t n)
{
#if defined(__SSE2__)
    if (n >= 16) {
        const auto copy16 = [&](std::size_t at) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at)));
        };
        std::size_t i = 0;
        for (; n - i >= 64; i += 64) {
            __m128i v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16 * k));
            for (int k = 0; k < 4; ++k)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16 * k), v[k]);
        }
        for (; n - i >= 16; i += 16)
            copy16(i);
        // The rest as the row's last 16 bytes, again in part: rows never
        // overlap.
        if (i < n)
            copy16(n - 16);
        return;
    }
#endif
    std::memcpy(dst, src, n);
}

#if defined(__SSE2__) && defined(__GNUC__)
#define GRIDMINT_WIDE_STREAMS 1
// Half the stores of the 16-byte form. perf: streamed between the painting
// of the next band, 1024 x 1024 at factor 8, one thread, sprites about 5%
// faster again; streamed alone, about even.
[[gnu::target("avx2")]] void streamLinesWide(std::uint8_t* to, const std::uint8_t* from,
                                             std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; i += 32)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(to + i),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)));
}
#endif

#if defined(__SSE2__)
// Copies n bytes to dst, bypassing the cache for every whole cache line
// inside it; the caller fences once it has written everything. perf: streaming from 16-byte
// boundaries on, run(false) at factors 14, 18, 19, 25 to 29 and 31 (whose stretches end inside a
// line) was 0.9 to 1.8 times a plain replication loop (1.1 to 1.8 but at x14); with whole lines
// 0.45 to 0.65.
void streamCopy(std::uint8_t* dst, const std::uint8_t* src, std::size_t n)
{
    const LineSplit part = splitLines(dst, n);
    std::memcpy(dst, src, part.head);
    streamLines(dst + part.head, src + part.head, part.lines);
    const std::size_t done = part.head + part.lines;
    std::memcpy(dst + done, src + done, part.tail);
}
#endif

} // namespace

void streamLines(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes)
{
#if defined(GRIDMINT_WIDE_STREAMS)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) {
        streamLinesWide(to, from, bytes);
        return;
    }
#endif
#if defined(__SSE2__)
    streamLinesNarrow(to, from, bytes);
#else
    // No stores around the caches to be had: an ordinary copy.
    std::memcpy(to, from, bytes);
#endif
}

#if defined(__SSE2__)
void streamLinesNarrow(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; i += 16)
        _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
}
#endif

LabColor toLab(int red, int green, int blue)
{
    const double r = red / 255.0;
    const double g = green / 255.0;
    const double b = blue / 255.0;
    const double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95045;
    const double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
    const double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.08892;
    const double fx = labF(x);
    const double fy = labF(y);
    const double fz = labF(z);
    return LabColor{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

std::vector<int> depthSequence(SlopeShape shape, SlopeVariant variant, int f, int len)
{
    std::vector<int> out;
    out.reserve(static_cast<std::size_t>(std::max(0, f * len)));
    forEachDepth(shape, variant, f, len, [&](int, int depth) { out.push_back(depth); });
    return out;
}

// ---- MarkGrid ---------------------------------------------------------------

MarkGrid::MarkGrid(std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0 ||
        std::int64_t{width} * height > std::numeric_limits<std::int32_t>::max())
        throw std::length_error("mark grid too large");
    width_ = width;
    height_ = height;
    count_ = width * height;
    cells_.assign(static_cast<std::size_t>(count_), 0);
}

void MarkGrid::throwOutOfIndex()
{
    throw std::out_of_range("Out of Index");
}

void MarkGrid::clear()
{
    std::fill(cells_.begin(), cells_.end(), std::uint8_t{0});
}

// ---- ScaleJob ---------------------------------------------------------------

ScaleJob::ScaleJob(const ImageSet& source, std::int32_t factor, double threshold,
                   std::int32_t transparentIndex)
    : factor_(factor), source_(&source), width_(0), height_(0), transparentIndex_(transparentIndex),
      threshold_(threshold)
{
    if (!source.image || !source.palette)
        throw std::invalid_argument("scale job: source set has no indexed image or palette");
    if (factor < kMinFactor || factor > kMaxFactor)
        throw std::invalid_argument("scale job: factor must be 1 to 32");
    width_ = source.width();
    height_ = source.height();
    // The passes address the indexed image with the set's size; a first image
    // of another size would send them outside the indexed image's rows.
    if (width_ != source.image->width() || height_ != source.image->height())
        throw std::invalid_argument("scale job: set size differs from its indexed image");
    if (width_ > 0 && height_ > 0 && !source.image->hasStore())
        throw std::invalid_argument("scale job: source image has no pixels");

    const std::int64_t outWidth = std::int64_t{factor} * width_;
    const std::int64_t outHeight = std::int64_t{factor} * height_;
    if (outWidth * outHeight > kMaxOutputPixels)
        throw std::length_error("scale job: the enlarged image would exceed 2^30 pixels");

    palette_ = source.palette->colours;
    auto outPalette = std::make_unique<Palette>();
    outPalette->colours = source.palette->colours;
    auto outImage = std::make_unique<IndexedImage>();
    outImage->allocate(static_cast<std::uint32_t>(outWidth), static_cast<std::uint32_t>(outHeight));
    output_ = std::make_unique<ImageSet>(nullptr, std::move(outImage), std::move(outPalette),
                                         ImageSet::kIndexedKind);
    marks_ = MarkGrid(width_, height_);
    // Sized once here so that re-running the job allocates nothing.
    lab_.reserve(palette_.size());
    relations_ = std::make_unique<std::uint8_t[]>(kRelationTableSize);
}

ScaleJob::~ScaleJob() = default;

void ScaleJob::run(bool slopePasses)
{
    requireOutput();
    slopePasses_ = slopePasses;
    const PaletteTables* shared = fittingSharedTables();
    // perf: the table depends on the palette alone, so re-runs keep it; its
    // pow() calls were 2 to 3% of run(false) at factor 2.
    if (!labCurrent_) {
        if (shared != nullptr)
            lab_ = shared->lab(); // within the capacity reserved at construction
        else
            computeLab();
        labCurrent_ = true;
    }
    if (!slopePasses || width_ == 0 || height_ == 0) {
        if (!marksClear_)
            marks_.clear();
        marksClear_ = true;
        replicateBlocks();
        return;
    }
    marksClear_ = false;
    prepareTables(shared);
    preparePassWork();
    // Replication goes band by band with the passes' painting, while each
    // band of output is in cache; the passes set every mark bit afresh.
    SlopePassRunner(*this).run(MarkLeft | MarkRight | MarkTop | MarkBottom, true);
}

void ScaleJob::runSlopePass(MarkBit pass)
{
    requireOutput();
    if (width_ == 0 || height_ == 0)
        return;
    // The shared tables stand for the Lab table only once computeLab() or
    // run() has made one: before that the job's own is empty.
    const PaletteTables* shared = fittingSharedTables();
    prepareTables(shared != nullptr && lab_.size() == shared->lab().size() ? shared : nullptr);
    preparePassWork();
    marksClear_ = false;
    SlopePassRunner(*this).run(pass, false);
}

void ScaleJob::requireOutput() const
{
    if (!output_->image)
        throw std::logic_error("scale job: the output was taken; the job cannot run again");
}

std::unique_ptr<IndexedImage> ScaleJob::takeOutputImage()
{
    return std::move(output_->image);
}

void ScaleJob::setCellGrid(const CellGrid& grid)
{
    if (grid == CellGrid{}) {
        grid_ = grid;
        hasGrid_ = false;
        return;
    }
    const auto fits = [](std::int32_t extent, std::int32_t side, std::int32_t margin,
                         std::int32_t spacing, std::int32_t count) {
        if (side < 1 || margin < 0 || spacing < 0 || count < 0)
            return false;
        // The last cell ends inside the image (count 0: nothing to fit).
        return count == 0 || std::int64_t{margin} +
                                     std::int64_t{count} * (std::int64_t{side} + spacing) -
                                     spacing <=
                                 extent;
    };
    if (!fits(width_, grid.cellWidth, grid.margin, grid.spacing, grid.columns) ||
        !fits(height_, grid.cellHeight, grid.margin, grid.spacing, grid.rows))
        throw std::invalid_argument("scale job: cell grid outside the image");
    grid_ = grid;
    hasGrid_ = true;
}

const PaletteTables* ScaleJob::fittingSharedTables() const
{
    if (shared_ && shared_->builtFrom(palette_, threshold_, transparentIndex_))
        return shared_.get();
    return nullptr;
}

void ScaleJob::prepareTables(const PaletteTables* shared)
{
    if (shared != nullptr) {
        relationTable_ = shared->relations();
        lightRank_ = shared->lightRanks();
        return;
    }
    // Rebuilt by every run rather than cached, so that they can never
    // disagree with the palette.
    buildRelations();
    lightRank_ = rankIndices(lab_, std::min<std::size_t>({lab_.size(), palette_.size(), 256}));
}

void ScaleJob::setThreadCount(std::int32_t threads)
{
    threads_ = std::max<std::int32_t>(0, threads);
}

std::int32_t ScaleJob::threadCount() const
{
    if (threads_ > 0)
        return threads_;
    return std::max<std::int32_t>(1,
                                  static_cast<std::int32_t>(std::thread::hardware_concurrency()));
}

void ScaleJob::releaseScratch()
{
    pool_.reset();
    passWork_.reset();
}

WorkerPool& ScaleJob::workers()
{
    const std::int32_t threads = threadCount();
    if (!pool_ || pool_->size() != threads)
        pool_ = std::make_unique<WorkerPool>(threads);
    return *pool_;
}

void ScaleJob::preparePassWork()
{
    // Painting chunks: a few per thread so that uneven bands even out, but
    // never more than rows. The count depends on the thread count only, and
    // the output on neither.
    const std::int32_t threads = threadCount();
    const std::size_t chunks =
        threads == 1 ? 1 : static_cast<std::size_t>(std::min(height_, 4 * threads));
    if (!passWork_ || passWork_->carries.size() != chunks)
        sizePassWork(chunks);
    prepareBands(chunks);
    prepareGrid();
}

void ScaleJob::sizePassWork(std::size_t chunks)
{
    if (!passWork_) {
        passWork_ = std::make_unique<PassWork>();
        const std::size_t cells =
            static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
        // Runs are far fewer than pixels in pixel art; a list that needs more
        // grows once and keeps its size for the re-runs.
        for (auto& runs : passWork_->runs)
            runs.reserve(std::min<std::size_t>(cells, std::max<std::size_t>(4096, cells / 8)));
        for (auto& rows : passWork_->rowStart)
            rows.resize(static_cast<std::size_t>(height_) + 1);
        passWork_->shortRuns.build(factor_);
        passWork_->shortMasks.build(factor_);
    }
    const std::size_t rows = static_cast<std::size_t>(height_);
    passWork_->wordsPerRow = (static_cast<std::size_t>(width_) + 63) / 64;
    passWork_->candidates.resize(4 * rows * passWork_->wordsPerRow);
    passWork_->markBits.resize(4 * rows * passWork_->wordsPerRow);
    for (auto& ends : passWork_->goOnEnd)
        ends.resize(static_cast<std::size_t>(width_));
    for (auto& lanes : passWork_->laneDark)
        lanes.resize(static_cast<std::size_t>(width_));
    passWork_->rankStride = static_cast<std::size_t>(width_) + 16;
    passWork_->rankRows.resize(3 * chunks * passWork_->rankStride);
    // At most one run of a pass per column is under way on any row.
    passWork_->carries.resize(chunks);
    for (auto& carry : passWork_->carries)
        for (auto* list : {&carry.now[0], &carry.now[1], &carry.next[0], &carry.next[1]})
            list->reserve(static_cast<std::size_t>(width_) + 1);
}

void ScaleJob::prepareBands(std::size_t chunks)
{
    PassWork& work = *passWork_;
    // perf: bands of about 256 KiB of output stay in the core's cache from
    // replication through the last pass.
    constexpr std::int64_t kBandBytes = std::int64_t{256} << 10;
    const std::int64_t rowBytes = std::int64_t{factor_} * factor_ * width_;
    work.bandRows = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(kBandBytes / std::max<std::int64_t>(1, rowBytes), 1, height_));
    work.bandBytes = 0;
    // Scratch bands for outputs beyond the caches only: their lines are
    // then written once instead of read for ownership and written back.
    // perf: for outputs the caches hold (4 to 8 MiB), painting in place was
    // faster; at 16 MiB bands streamed out gained at factors 16 and 32 only.
    if (!streamsOutput())
        return;
    // Rows an odd number of cache lines apart, which go round every set of
    // the first-level cache: in the output, at widths of whole pages
    // (power-of-two sources), the lines of a block all share one set.
    const std::size_t outWidth =
        static_cast<std::size_t>(factor_) * static_cast<std::size_t>(width_);
    const std::size_t stride = (((outWidth + 63) / 64) | 1) * 64;
    const std::size_t bandBytes =
        stride * static_cast<std::size_t>(factor_) * static_cast<std::size_t>(work.bandRows);
    // A scratch band holds at least a source row of output. Very wide rows,
    // or more chunks than the output is worth (many cores, few rows), would
    // cost more memory than the gain is worth: those bands are painted in
    // place.
    constexpr std::size_t kMaxBandBytes = std::size_t{4} << 20;
    constexpr std::size_t kAlwaysAffordable = std::size_t{16} << 20;
    const auto outputBytes = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_);
    const std::size_t affordable = std::max(kAlwaysAffordable, outputBytes / 4);
    if (bandBytes > kMaxBandBytes || chunks * bandBytes > affordable)
        return;
    work.bandStride = static_cast<std::ptrdiff_t>(stride);
    work.bandBytes = bandBytes;
    // A second band per chunk lets one stream out while the next is
    // painted, where that is affordable too.
    work.bandBuffers = 2 * chunks * bandBytes > affordable ? 1 : 2;
    const std::size_t needed = work.bandBytes * work.bandBuffers * chunks + 64;
    if (work.bandsCapacity < needed) {
        work.bands.reset();
        work.bands = std::make_unique_for_overwrite<std::uint8_t[]>(needed);
        work.bandsCapacity = needed;
    }
}

bool ScaleJob::streamsOutput() const
{
    return std::int64_t{factor_} * factor_ * width_ * height_ >= streamFrom_;
}

void ScaleJob::prepareGrid()
{
    PassWork& work = *passWork_;
    work.grid = hasGrid_;
    if (hasGrid_ && !(work.builtGrid == grid_ && !work.cellX0.empty()))
        work.buildGrid(grid_, width_, height_);
}

void ScaleJob::replicateBlocks()
{
    if (width_ == 0 || height_ == 0)
        return;
    WorkerPool& pool = workers();
    const std::int32_t chunks = std::min(height_, pool.size());
    // perf: an output far beyond the caches is written past them, which
    // spares reading every line of it before it is overwritten: run(false)
    // at factor 16 from 1.01-1.06 to 0.71-0.83 times a plain loop.
    const bool stream = streamsOutput();
    auto task = [&](std::int32_t chunk) {
        const auto y0 = static_cast<std::int32_t>(std::int64_t{height_} * chunk / chunks);
        const auto y1 = static_cast<std::int32_t>(std::int64_t{height_} * (chunk + 1) / chunks);
        if (stream)
            streamRows(y0, y1);
        else
            replicateRows(y0, y1);
    };
    pool.forEach(chunks, task);
}

void ScaleJob::streamRows(std::int32_t y0, std::int32_t y1)
{
#if defined(__SSE2__)
    // Each stretch of a source row is enlarged once into a buffer that stays
    // in the cache, then streamed to the f output rows it fills.
    constexpr std::int32_t kBufferBytes = 4096;
    alignas(16) std::uint8_t buffer[kBufferBytes];
    IndexedImage& out = *output_->image;
    const IndexedImage& in = *source_->image;
    const std::int32_t stretch = kBufferBytes / factor_;
    for (std::int32_t y = y0; y < y1; ++y) {
        for (std::int32_t x0 = 0; x0 < width_; x0 += stretch) {
            const std::int32_t n = std::min(stretch, width_ - x0);
            fillRow(buffer, in.row(y) + x0, n, factor_);
            const std::size_t bytes =
                static_cast<std::size_t>(n) * static_cast<std::size_t>(factor_);
            const std::size_t at = static_cast<std::size_t>(x0) * static_cast<std::size_t>(factor_);
            for (std::int32_t i = 0; i < factor_; ++i)
                streamCopy(out.row(factor_ * y + i) + at, buffer, bytes);
        }
    }
    fenceStreams();
#else
    replicateRows(y0, y1);
#endif
}

void ScaleJob::replicateRows(std::int32_t y0, std::int32_t y1)
{
    const std::ptrdiff_t outWidth = std::ptrdiff_t{factor_} * width_;
    replicateRows(y0, y1, output_->image->row(factor_ * y0), outWidth);
}

void ScaleJob::replicateRows(std::int32_t y0, std::int32_t y1, std::uint8_t* rows,
                             std::ptrdiff_t stride) const
{
    const IndexedImage& in = *source_->image;
    const std::size_t outWidth =
        static_cast<std::size_t>(factor_) * static_cast<std::size_t>(width_);
    // At factor 1 the output is the source, both rows without padding: one
    // copy of the stretch instead of a call per short row. perf: run(false)
    // at factor 1 from 1.01-1.06 to 0.84-0.85 times a plain loop.
    if (factor_ == 1 && stride == std::ptrdiff_t{width_}) {
        std::memcpy(rows, in.row(y0), static_cast<std::size_t>(y1 - y0) * outWidth);
        return;
    }
    for (std::int32_t y = y0; y < y1; ++y) {
        std::uint8_t* first = rows;
        fillRow(first, in.row(y), width_, factor_);
        rows += stride;
        for (std::int32_t i = 1; i < factor_; ++i, rows += stride)
            copyRow(rows, first, outWidth);
    }
}

void BandStream::start(IndexedImage& out, std::int32_t r0, std::int32_t r1,
                       const std::uint8_t* rows, std::ptrdiff_t stride)
{
    out_ = &out;
    first_ = rows;
    rows_ = rows;
    stride_ = stride;
    width_ = static_cast<std::size_t>(out.width());
    row_ = r0;
    end_ = r1;
    to_ = lineEnd_ = nullptr;
    if (row_ < end_)
        beginRow();
}

void BandStream::pace(std::size_t steps)
{
    // perf: 1024 x 1024 at factors 8 and 16, one thread: pieces of 2 to 32
    // lines within 2% of one another, 16 about 1% ahead; a line or so at
    // every run hid almost nothing for the calls it cost.
    constexpr std::size_t kFewestLines = 16;
    constexpr std::size_t kLine = kCacheLine;
    // Rows of no pixels have nothing to pace (and no lines to divide by):
    // finish() passes them.
    if (row_ >= end_ || width_ == 0) {
        every_ = ~std::size_t{0};
        return;
    }
    const std::size_t lines =
        static_cast<std::size_t>(end_ - row_) * ((width_ + kLine - 1) / kLine);
    steps = std::max<std::size_t>(steps, 1);
    if (steps * kFewestLines >= lines) {
        grain_ = kFewestLines * kLine;
        every_ = steps * kFewestLines / lines;
    } else {
        grain_ = (lines + steps - 1) / steps * kLine;
        every_ = 1;
    }
}

void BandStream::beginRow()
{
    std::uint8_t* to = out_->row(row_);
    const LineSplit part = splitLines(to, width_);
    std::memcpy(to, rows_, part.head);
    to_ = to + part.head;
    from_ = rows_ + part.head;
    lineEnd_ = to_ + part.lines;
    tail_ = part.tail;
}

void BandStream::advance(std::size_t bytes)
{
    while (row_ < end_) {
        const std::size_t n = std::min(bytes, static_cast<std::size_t>(lineEnd_ - to_));
        streamLines(to_, from_, n);
        to_ += n;
        from_ += n;
        bytes -= n;
        if (to_ != lineEnd_)
            return;
        std::memcpy(to_, from_, tail_);
        rows_ += stride_;
        if (++row_ < end_)
            beginRow();
        if (bytes == 0)
            return;
    }
}

void ScaleJob::fenceStreams()
{
#if defined(__SSE2__)
    // Streamed stores are weakly ordered: they must be visible before a
    // task reports that it is done.
    _mm_sfence();
#endif
}

void ScaleJob::computeLab()
{
    computeLabTable(palette_, transparentIndex_, lab_);
    labCurrent_ = true;
}

bool ScaleJob::hasLab(std::int32_t i) const
{
    return i >= 0 && static_cast<std::size_t>(i) < std::min(lab_.size(), palette_.size());
}

bool ScaleJob::isSimilar(std::int32_t i, std::int32_t j) const
{
    // An index without a palette entry is like nothing but itself.
    if (!hasLab(i) || !hasLab(j))
        return i == j;
    return withinThreshold(lab_[static_cast<std::size_t>(i)], lab_[static_cast<std::size_t>(j)],
                           threshold_);
}

void ScaleJob::buildRelations()
{
    fillRelations(relations_.get(), lab_,
                  std::min<std::size_t>({lab_.size(), palette_.size(), 256}), threshold_);
    relationTable_ = relations_.get();
}

// ---- PaletteTables ----------------------------------------------------------

PaletteTables::PaletteTables(const std::vector<Colour>& palette, double threshold,
                             std::int32_t transparentIndex)
    : palette_(palette), threshold_(threshold), transparentIndex_(transparentIndex),
      relations_(std::make_unique<std::uint8_t[]>(kRelationTableSize))
{
    computeLabTable(palette_, transparentIndex_, lab_);
    const std::size_t n = std::min<std::size_t>(lab_.size(), 256);
    fillRelations(relations_.get(), lab_, n, threshold_);
    ranks_ = rankIndices(lab_, n);
}

bool PaletteTables::builtFrom(const std::vector<Colour>& palette, double threshold,
                              std::int32_t transparentIndex) const
{
    // Compared bit for bit: the tables are exact for these inputs only.
    return transparentIndex == transparentIndex_ && palette == palette_ &&
           std::memcmp(&threshold, &threshold_, sizeof threshold) == 0;
}

void ScaleJob::setPalette(const Colour* colours, std::int32_t n)
{
    if (n <= 0 || colours == nullptr)
        return;
    const std::size_t count = static_cast<std::size_t>(n);
    palette_.assign(colours, colours + count);
    if (output_ && output_->palette) {
        Palette& out = *output_->palette;
        if (out.count() < count)
            out.resize(count);
        std::copy(colours, colours + count, out.colours.begin());
    }
    computeLab();
}

NeighbourStats ScaleJob::neighbourStats(std::int32_t x, std::int32_t y) const
{
    NeighbourStats stats;
    if (x < 0 || x >= width_ || y < 0 || y >= height_)
        return stats;
    const IndexedImage& img = *source_->image;
    const std::uint8_t centre = img.row(y)[x];
    const bool hasColour = centre < palette_.size();

    const auto sameIndex = [&](std::uint8_t v) { return v == centre; };
    const auto sameColour = [&](std::uint8_t v) {
        if (!hasColour || v >= palette_.size())
            return v == centre;
        return palette_[v] == palette_[centre];
    };
    const auto similar = [&](std::uint8_t v) { return isSimilar(centre, v); };

    const auto walk = [&](auto&& keep) {
        NeighbourCounts c;
        c.left = 1;
        for (std::int32_t i = x - 1; i >= 0 && keep(img.row(y)[i]); --i)
            ++c.left;
        c.right = 1;
        for (std::int32_t i = x + 1; i < width_ && keep(img.row(y)[i]); ++i)
            ++c.right;
        c.top = 1;
        for (std::int32_t i = y - 1; i >= 0 && keep(img.row(i)[x]); --i)
            ++c.top;
        c.bottom = 1;
        for (std::int32_t i = y + 1; i < height_ && keep(img.row(i)[x]); ++i)
            ++c.bottom;
        return c;
    };
    stats.sameIndex = walk(sameIndex);
    stats.sameColour = walk(sameColour);
    stats.similarColour = walk(similar);
    return stats;
}

} // namespace gridmint
