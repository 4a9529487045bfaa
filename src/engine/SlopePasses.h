// The four slope passes of a scale job. Internal to the engine.
#pragma once

#include "engine/ScaleJob.h"
#include "engine/SlopeShapes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gridmint {

// One painted run of a pass, as the pass decided it in the source: the start
// column, the run's length in source lines and the shape of its strip. The
// start row is the row whose stretch of the pass's list holds the record
// (PassWork::rowStart), which keeps the record at eight bytes: the lists are
// the largest thing the passes hold besides the images. Lengths fit in 30
// bits: a run lies along one side of an image of at most 2^30 pixels, whose
// other side is at least two pixels (the run's neighbours lie beside it).
class RunRecord {
public:
    RunRecord() = default;
    RunRecord(std::int32_t x, std::int32_t len, SlopeShape shape)
        : x_(static_cast<std::uint32_t>(x)),
          lenShape_(static_cast<std::uint32_t>(len) | static_cast<std::uint32_t>(shape)
                                                          << kShapeShift)
    {
    }
    std::int32_t x() const { return static_cast<std::int32_t>(x_); }
    std::int32_t len() const { return static_cast<std::int32_t>(lenShape_ & kLenMask); }
    SlopeShape shape() const { return static_cast<SlopeShape>(lenShape_ >> kShapeShift); }

private:
    static constexpr int kShapeShift = 30;
    static constexpr std::uint32_t kLenMask = (std::uint32_t{1} << kShapeShift) - 1;
    std::uint32_t x_ = 0;
    std::uint32_t lenShape_ = 0;
};
static_assert(sizeof(RunRecord) == 8);

// A run that started above a painting band and reaches into it: its index in
// the pass's list and its start row, which the record leaves to the list.
struct CarriedRun {
    std::int32_t index = 0;
    std::int32_t y = 0;
};

// The depth sequences of the short runs at factors 9 to 16, as
// the signed bytes of two words per block (-1 beyond the factor), and the
// deepest depth of each block: the painting reads them instead of following
// the shape's counter line by line.
struct BlockDepths {
    std::uint64_t low = ~std::uint64_t{0};  // lines 0 to 7 of the block
    std::uint64_t high = ~std::uint64_t{0}; // lines 8 to 15
};

class ShortRunDepths {
public:
    static constexpr std::int32_t kMaxLen = 16;
    static constexpr std::int32_t kMaxFactor = 16;
    void build(std::int32_t factor);
    bool covers(std::int32_t len) const { return !blocks_.empty() && len <= kMaxLen; }
    // The blocks of a run of `len` lines, and their deepest depths.
    const BlockDepths* blocks(SlopeShape shape, SlopeVariant variant, std::int32_t len) const
    {
        return blocks_.data() + start(shape, variant, len);
    }
    const std::int8_t* deepest(SlopeShape shape, SlopeVariant variant, std::int32_t len) const
    {
        return deepest_.data() + start(shape, variant, len);
    }

private:
    static std::size_t start(SlopeShape shape, SlopeVariant variant, std::int32_t len)
    {
        // Sequences of lengths 1 .. kMaxLen follow one another for each
        // shape and variant; those before len hold len (len - 1) / 2 blocks.
        const std::size_t kind =
            static_cast<std::size_t>(shape) * 2 + static_cast<std::size_t>(variant);
        const std::size_t perKind = kMaxLen * (kMaxLen + 1) / 2;
        return kind * perKind +
               static_cast<std::size_t>(len) * static_cast<std::size_t>(len - 1) / 2;
    }
    std::vector<BlockDepths> blocks_;
    std::vector<std::int8_t> deepest_;
};

// The short runs at factors up to 8, where every output line of a strip lies
// in one 8-byte window of its output row: per pass, shape and length, the
// masks of the window bytes that each line paints, so that painting a line is
// one masked blend with no depth logic. The left and right passes have one
// mask per output line along the run (f x len, from the window's low end and
// its high end); the top and bottom passes, per block, one per output row
// across the run (f + 1 of them: the far-side notch reaches one row beyond
// the block), and how many of those rows the block paints.
class ShortRunMasks {
public:
    static constexpr std::int32_t kMaxLen = 16;
    static constexpr std::int32_t kMaxFactor = 8;
    void build(std::int32_t factor);
    bool built() const { return !masks_[0].empty(); }
    // One pass's tables (0 left, 1 right, 2 top, 3 bottom), as plain
    // pointers that the painting keeps in registers. A run of `len` lines
    // has f x len masks (one per line) from masks + first[index(shape, len)]
    // for the left and right passes, (f + 1) x len (one per row and block)
    // for the top and bottom passes, whose blocks paint rows[firstBlock[..]
    // + k] rows each.
    struct Pass {
        const std::uint64_t* masks = nullptr;
        const std::uint32_t* first = nullptr;
        const std::uint8_t* rows = nullptr;
        const std::uint32_t* firstBlock = nullptr;
    };
    Pass pass(std::size_t p) const
    {
        return {masks_[p].data(), first_[p].data(), p < 2 ? nullptr : rows_[p - 2].data(),
                firstBlock_.data()};
    }
    static std::size_t index(SlopeShape shape, std::int32_t len)
    {
        return static_cast<std::size_t>(shape) * (kMaxLen + 1) + static_cast<std::size_t>(len);
    }

private:
    static constexpr std::size_t kKinds = std::size_t{4} * (kMaxLen + 1);
    std::array<std::vector<std::uint64_t>, 4> masks_;
    std::array<std::array<std::uint32_t, kKinds>, 4> first_{};
    std::array<std::vector<std::uint8_t>, 2> rows_;
    std::array<std::uint32_t, kKinds> firstBlock_{};
};

// The darkest neighbour toward s on a lane's known lines (see the follower
// in SlopePasses.cpp), for free starts: a free start that meets a darker
// neighbour ends with nothing, wherever it meets it, so it needs only to
// know whether its lines hold one. `darkest` is the lightness rank, less
// one, of the darkest neighbour on the lines after some earlier start up to
// line `end`, and `last` the last of those lines that holds it (-1 before
// any look). While `last` lies past a start, the start's own lines hold that
// darkest neighbour too; a start at or past it looks again from its own
// line. A lane is thus looked at again at most once per lightness of its
// neighbours while its known lines stay as they are, where every free start
// that no walk vouched for walked them all again: quadratic in the lane's
// length (BM_LongLanes, 16384-line columns: from 5.3 us to 0.03 us a pixel;
// rows whose shades alternate, which the walk does not vouch for, likewise).
struct LaneDark {
    std::int32_t end = -1;
    std::int32_t last = -1;
    std::uint8_t darkest = 0;
};

// What the passes keep between runs of one job, so that a re-run allocates
// nothing: the decided runs and the per-pass marks of the last run, and the
// painting chunks' scratch lists. Indexed by pass in painting order (left,
// right, top, bottom).
struct PassWork {
    std::array<std::vector<RunRecord>, 4> runs;
    // runs[p][rowStart[p][y]] is the first run of pass p starting on row y
    // or later; height + 1 entries. A run's start row is the row whose
    // stretch holds it.
    std::array<std::vector<std::int32_t>, 4> rowStart;
    // The longest run of each pass, in source lines.
    std::array<std::int32_t, 4> longest{};
    // Two bits per pass and pixel, in rows of `wordsPerRow` words, one plane
    // per pass in pass order: the candidates that the filter found, and the
    // pass's marks, kept apart from the job's so that the passes can decide
    // on separate threads; the bands merge them into the job's marks.
    std::size_t wordsPerRow = 0;
    std::vector<std::uint64_t> candidates;
    std::vector<std::uint64_t> markBits;
    // Per pass, the similar-mode followers' known line ends, one per lane
    // that the pass's runs follow (width entries).
    std::array<std::vector<std::int32_t>, 4> goOnEnd;
    // And the darkest neighbour on each lane's known lines (see LaneDark).
    std::array<std::vector<LaneDark>, 4> laneDark;
    // Per filter chunk: three rows of lightness ranks (above, at, below).
    std::size_t rankStride = 0;
    std::vector<std::uint8_t> rankRows;
    // Per painting chunk: the indices of the left and right passes' runs that
    // reach into the current band, and the next band's.
    struct Carry {
        std::array<std::vector<CarriedRun>, 2> now;
        std::array<std::vector<CarriedRun>, 2> next;
    };
    std::vector<Carry> carries;
    // Source rows per painting band. With a streamed output (where the
    // memory is small beside it: ScaleJob::prepareBands), every chunk has a
    // scratch band of `bandBytes` in `bands`, rows `bandStride` apart, where
    // each band is replicated and painted while it stays in the core's
    // cache, then streamed to the output: the output's lines are written
    // once, never read. Where the memory allows, a chunk has two
    // (`bandBuffers`): one streams out while the next is painted. Without,
    // `bandBytes` is 0 and the bands are painted in place.
    std::int32_t bandRows = 1;
    std::size_t bandBytes = 0;
    std::size_t bandBuffers = 1;
    std::ptrdiff_t bandStride = 0;
    std::size_t bandsCapacity = 0;
    std::unique_ptr<std::uint8_t[]> bands;
    // The scratch band that the chunk's band number `n` uses.
    std::uint8_t* band(std::size_t chunk, std::size_t n) const
    {
        // Cache-line aligned, so that no two chunks share a line.
        std::uint8_t* base = bands.get();
        base += (64 - reinterpret_cast<std::uintptr_t>(base) % 64) % 64;
        return base + (chunk * bandBuffers + n % bandBuffers) * bandBytes;
    }
    ShortRunDepths shortRuns;
    ShortRunMasks shortMasks;
    // With a cell grid (ScaleJob::setCellGrid), the grid these tables were
    // built for; per column the first and one past the last column of its
    // cell, per row likewise (both 0 outside the cells); and rows of masks
    // of the columns inside a cell, and of those with a neighbour in their
    // cell on the left and on the right.
    bool grid = false;
    CellGrid builtGrid;
    std::vector<std::int32_t> cellX0, cellX1, cellY0, cellY1;
    std::vector<std::uint64_t> insideCells, leftInCell, rightInCell;
    void buildGrid(const CellGrid& g, std::int32_t width, std::int32_t height);
};

constexpr std::size_t kCacheLine = 64;

// A stretch of `n` bytes at `to` as the bytes before its first whole cache
// line, its whole lines and the bytes after them: the lines are streamed,
// the partial ones stored normally (a line that gets both leaves the
// write-combining buffer half full and is written out in parts).
struct LineSplit {
    std::size_t head = 0;
    std::size_t lines = 0; // bytes, a multiple of kCacheLine
    std::size_t tail = 0;
};
inline LineSplit splitLines(const std::uint8_t* to, std::size_t n)
{
    const std::size_t head =
        std::min(n, (kCacheLine - reinterpret_cast<std::uintptr_t>(to) % kCacheLine) % kCacheLine);
    const std::size_t lines = (n - head) / kCacheLine * kCacheLine;
    return {head, lines, n - head - lines};
}

// Copies whole cache lines (`bytes` a multiple of 64, `to` on a line) around
// the caches where the processor can; the caller fences once it is done.
void streamLines(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes);
#if defined(__SSE2__)
// streamLines' form where the processor has no 32-byte stores: 16 bytes a
// store. Callable on its own, so that tests reach it on processors on which
// streamLines never takes it.
void streamLinesNarrow(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes);
#endif

// Rows of a painted scratch band on their way to the output around the
// caches. Streamed all at once, a band's stores go at the memory's pace while
// the core waits for them; a few lines at a time between the runs that paint
// the next band, they drain while the core paints.
class BandStream {
public:
    // Output rows [r0, r1) of `out`, held in `rows` `stride` bytes apart.
    void start(IndexedImage& out, std::int32_t r0, std::int32_t r1, const std::uint8_t* rows,
               std::ptrdiff_t stride);
    // Spreads what is left over about `steps` calls of step() (the rest
    // goes with finish()).
    void pace(std::size_t steps);
    // Calls of step() to let pass between pieces (a step for every painted
    // run): the caller counts them down, which costs the painting loops less
    // than a call each.
    std::size_t every() const { return every_; }
    // Counts a run down from every(); at zero, the next piece goes out.
    void countRun(std::size_t& left)
    {
        if (--left == 0)
            left = step();
    }
    // The next piece; returns every().
    std::size_t step()
    {
        if (static_cast<std::size_t>(lineEnd_ - to_) >= grain_) {
            streamLines(to_, from_, grain_);
            to_ += grain_;
            from_ += grain_;
        } else if (row_ < end_) {
            advance(grain_);
        }
        return every_;
    }
    // All that is left; the stores are visible to other threads after
    // ScaleJob::fenceStreams().
    void finish() { advance(~std::size_t{0}); }
    // Whether rows starting at `rows` are still to be streamed.
    bool reads(const std::uint8_t* rows) const { return row_ < end_ && rows == first_; }

private:
    // The next `bytes` of whole lines, row after row.
    void advance(std::size_t bytes);
    // The current row's partial first line, stored normally (splitLines).
    void beginRow();

    IndexedImage* out_ = nullptr;
    const std::uint8_t* first_ = nullptr;
    const std::uint8_t* rows_ = nullptr;
    std::ptrdiff_t stride_ = 0;
    std::size_t width_ = 0;
    std::int32_t row_ = 0;
    std::int32_t end_ = 0;
    // Within the current row: where streaming goes on, in the output and in
    // the band; the end of its whole lines; the partial last line's bytes.
    std::uint8_t* to_ = nullptr;
    const std::uint8_t* from_ = nullptr;
    std::uint8_t* lineEnd_ = nullptr;
    std::size_t tail_ = 0;
    // A piece of `grain_` bytes at every `every_`-th step.
    std::size_t grain_ = 64;
    std::size_t every_ = ~std::size_t{0};
};

struct PaintContext;

class SlopePassRunner {
public:
    explicit SlopePassRunner(ScaleJob& job) : job_(job) {}

    // The passes whose mark bits are in `passes`, in the order left, right,
    // top, bottom (later passes' pixels stand where strips overlap). With
    // `replicate`, block replication of each band goes first; without, the
    // output's current pixels are painted over. Needs the job's relation
    // table and lightness ranks of the current run.
    void run(std::uint8_t passes, bool replicate);

private:
    void findCandidates(std::int32_t chunk, std::int32_t chunks);
    template <class Orientation> void decide();
    template <class Orientation, bool Grid> void decideIn();
    // The passes' painting of one band; F is the factor when it is 2 to 8,
    // else 0.
    template <int F>
    void paintBand(const PaintContext& pc, PassWork::Carry& carry, std::int32_t y0,
                   std::int32_t y1);
    template <class Orientation, int F>
    void paintVertical(const PaintContext& pc, PassWork::Carry& carry, std::int32_t y0,
                       std::int32_t y1);
    template <class Orientation, int F>
    void paintHorizontal(const PaintContext& pc, std::int32_t y0, std::int32_t y1);
    void paintChunk(std::int32_t chunk, std::int32_t chunks);
    void mergeMarks(std::int32_t y0, std::int32_t y1);

    ScaleJob& job_;
    std::uint8_t passes_ = 0;
    bool replicate_ = false;
};

} // namespace gridmint
