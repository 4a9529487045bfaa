// One enlargement of an 8-bit palette image by an integer factor: block
// replication followed by four slope passes that redraw staircases as
// slopes, deciding colour similarity on the palette's L*a*b* table.
#pragma once

#include "image/Containers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace gridmint {

struct LabColor {
    double L = 0;
    double a = 0;
    double b = 0;
};

// CIE L*a*b* of 8-bit red, green, blue, without gamma expansion.
LabColor toLab(int red, int green, int blue);

// Mark bits of a cell; each slope pass tests and sets only its own.
enum MarkBit : std::uint8_t {
    MarkBottom = 0x01,
    MarkRight = 0x02,
    MarkTop = 0x04,
    MarkLeft = 0x08,
};

// One byte per source pixel, row-major. Every access is range-checked and
// throws std::out_of_range("Out of Index") outside the grid.
class MarkGrid {
public:
    MarkGrid() = default;
    MarkGrid(std::int32_t width, std::int32_t height);

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::int32_t count() const { return count_; }

    bool test(std::int32_t x, std::int32_t y, std::uint8_t bit) const
    {
        return (cell(x, y) & bit) != 0;
    }
    void set(std::int32_t x, std::int32_t y, std::uint8_t bit) { cells_[index(x, y)] |= bit; }
    std::uint8_t cell(std::int32_t x, std::int32_t y) const { return cells_[index(x, y)]; }
    void clear();
    // The cells row-major, for bulk reads that stay inside the grid by
    // construction (the passes' candidate filter).
    const std::uint8_t* data() const { return cells_.data(); }

private:
    // Inline because the slope passes test a cell at every edge pixel.
    std::size_t index(std::int32_t x, std::int32_t y) const
    {
        if (x < 0 || x >= width_ || y < 0 || y >= height_)
            throwOutOfIndex();
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }
    [[noreturn]] static void throwOutOfIndex();
    // The passes merge their marks in bulk.
    friend class SlopePassRunner;
    std::uint8_t* mutableData() { return cells_.data(); }

    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t count_ = 0;
    std::vector<std::uint8_t> cells_;
};

// Counts towards each side, the centre pixel included (1 = no neighbour of
// the kind on that side). All zero means the position lies outside.
struct NeighbourCounts {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct PassWork;
class WorkerPool;

// Cells of a sheet that the slope passes treat each as an image of its own:
// a neighbour across a cell's border counts as outside, runs end at the
// cell's end, and pixels outside the cells (margin, spacing, partial cells)
// stay plain blocks. The result is that of every cell cut out and enlarged
// alone, from one run over the whole sheet. Cell (c, r) has its top left at
// margin + c * (cellWidth + spacing), margin + r * (cellHeight + spacing).
struct CellGrid {
    std::int32_t cellWidth = 0;
    std::int32_t cellHeight = 0;
    std::int32_t margin = 0;
    std::int32_t spacing = 0;
    std::int32_t columns = 0; // cells across
    std::int32_t rows = 0;    // cells down
    friend bool operator==(const CellGrid&, const CellGrid&) = default;
};

// What a run derives from the palette, the threshold and the transparent
// index: the L*a*b* table, the pairwise relations of the byte indices and the
// lightness rank of every index. Never changed once built, so that jobs on
// several threads may share one (cell mode: every cell of a sheet has the
// sheet's palette). Throws std::bad_alloc when memory runs out.
class PaletteTables {
public:
    // Relation bits of relations()[i * 256 + j]: kSimilar when i and j are
    // within the threshold, kLighter when j is strictly lighter than i,
    // kDarker when strictly darker. An index without a palette entry is
    // similar to itself and related to nothing else.
    static constexpr std::size_t kRelationTableSize = 256 * 256;
    static constexpr std::uint8_t kSimilar = 0x01;
    static constexpr std::uint8_t kLighter = 0x02;
    static constexpr std::uint8_t kDarker = 0x04;

    PaletteTables(const std::vector<Colour>& palette, double threshold,
                  std::int32_t transparentIndex);

    // True when the tables were built from exactly these inputs.
    bool builtFrom(const std::vector<Colour>& palette, double threshold,
                   std::int32_t transparentIndex) const;

    const std::vector<LabColor>& lab() const { return lab_; }
    const std::uint8_t* relations() const { return relations_.get(); }
    // An order-keeping byte of L* per index, from 1 (0: no palette entry);
    // see ScaleJob's lightness ranks.
    const std::array<std::uint8_t, 256>& lightRanks() const { return ranks_; }

private:
    std::vector<Colour> palette_;
    double threshold_;
    std::int32_t transparentIndex_;
    std::vector<LabColor> lab_;
    std::unique_ptr<std::uint8_t[]> relations_;
    std::array<std::uint8_t, 256> ranks_{};
};

struct NeighbourStats {
    NeighbourCounts sameIndex;
    NeighbourCounts sameColour;
    NeighbourCounts similarColour;
};

class ScaleJob {
public:
    static constexpr std::int32_t kMinFactor = 1;
    static constexpr std::int32_t kMaxFactor = 32;
    // Largest output the engine will build, in pixels.
    static constexpr std::int64_t kMaxOutputPixels = std::int64_t{1} << 30;

    // `source` must hold an indexed image and outlive the job. Its size must
    // not change; its pixels may change between runs, since every run reads
    // them afresh (cell mode reuses one job for every cell of a sheet).
    // Throws std::invalid_argument for a set without image or palette, a set
    // whose first image has another size than its indexed image, or a factor
    // outside 1..32; std::length_error for an output above 2^30 pixels;
    // std::bad_alloc when memory runs out.
    ScaleJob(const ImageSet& source, std::int32_t factor, double threshold,
             std::int32_t transparentIndex);
    ~ScaleJob();
    ScaleJob(const ScaleJob&) = delete;
    ScaleJob& operator=(const ScaleJob&) = delete;

    // The whole pipeline: clear marks, replicate blocks, build the Lab table,
    // then (unless `slopePasses` is false) the left, right, top and bottom
    // passes. The job remembers the switch (see slopePasses()). Uses up to
    // threadCount() threads; the output and marks are the same for any count.
    void run(bool slopePasses = true);

    void setThreshold(double threshold) { threshold_ = threshold; }
    // Threads a run may use, the calling thread included; 0 (the default)
    // means one per hardware thread. The output never depends on it. A
    // caller that already runs several jobs at once should give each 1.
    void setThreadCount(std::int32_t threads);
    std::int32_t threadCount() const;
    // Ends the job's worker threads and frees the passes' run lists, for a
    // job kept aside (an undo step); the next run makes them again.
    void releaseScratch();
    // Replaces the job palette (n > 0) and the output palette's first n
    // entries, and rebuilds the Lab table. Output pixels are not recomputed.
    void setPalette(const Colour* colours, std::int32_t n);
    // Tables built elsewhere (read only; may be shared with jobs on other
    // threads) for the runs to use while they were built from this job's
    // palette, threshold and transparent index; a run whose settings differ
    // builds its own as before. The output is the same either way; sharing
    // saves the per-run cost of the tables when many small images with one
    // palette go through one job. Null drops them.
    void shareTables(std::shared_ptr<const PaletteTables> tables) { shared_ = std::move(tables); }
    // Restricts the passes to the cells of `grid` from the next run on (a
    // default CellGrid: the whole image again). Throws std::invalid_argument
    // for negative values, or cells that do not lie inside the source.
    void setCellGrid(const CellGrid& grid);
    const CellGrid& cellGrid() const { return grid_; }
    // Hands the output image to the caller, for a job run once whose result
    // is wanted without a copy. The job cannot run again: run() and
    // runSlopePass() then throw std::logic_error, and output() holds no
    // image (outputImage() must not be called).
    std::unique_ptr<IndexedImage> takeOutputImage();

    bool isSimilar(std::int32_t i, std::int32_t j) const;
    bool isDifferent(std::int32_t i, std::int32_t j) const { return !isSimilar(i, j); }

    // Same-index, same-colour and similar-colour extents of source pixel
    // (x, y); all zero outside the source.
    NeighbourStats neighbourStats(std::int32_t x, std::int32_t y) const;

    std::int32_t factor() const { return factor_; }
    std::int32_t transparentIndex() const { return transparentIndex_; }
    double threshold() const { return threshold_; }
    bool slopePasses() const { return slopePasses_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    const ImageSet& source() const { return *source_; }
    const ImageSet& output() const { return *output_; }
    const IndexedImage& outputImage() const { return *output_->image; }
    const std::vector<Colour>& palette() const { return palette_; }
    const std::vector<LabColor>& lab() const { return lab_; }
    const MarkGrid& marks() const { return marks_; }

    // Pipeline steps, public so that tests and benchmarks can run them alone.
    void computeLab();
    void replicateBlocks();
    // One slope pass alone (the pass whose mark bit is `pass`), with the
    // Lab table of the last computeLab() and the current threshold; marks and
    // output are not reset first.
    void runSlopePass(MarkBit pass);
    // Outputs of at least this many bytes (32 MiB unless set, beyond what
    // the caches hold) are written around the caches where the processor
    // can; the output is the same either way. Tests lower it to reach that
    // path on small images.
    void setStreamingFrom(std::int64_t bytes) { streamFrom_ = bytes; }

private:
    friend class SlopePassRunner;

    // Pairwise relations of the byte indices (see PaletteTables), rebuilt by
    // every run with the current threshold unless shared tables fit.
    static constexpr std::size_t kRelationTableSize = PaletteTables::kRelationTableSize;
    static constexpr std::uint8_t kRelSimilar = PaletteTables::kSimilar;
    static constexpr std::uint8_t kRelLighter = PaletteTables::kLighter;
    static constexpr std::uint8_t kRelDarker = PaletteTables::kDarker;

    bool hasLab(std::int32_t i) const;
    // The shared tables when they were built from the job's settings.
    const PaletteTables* fittingSharedTables() const;
    // The relations and lightness ranks for a run: from `shared`, or the
    // job's own built afresh from its Lab table.
    void prepareTables(const PaletteTables* shared);
    void buildRelations();
    // Block replication of source rows [y0, y1) into the output, or into
    // `rows`, which receives output rows f y0 .. f y1 - 1 `stride` bytes
    // apart.
    void replicateRows(std::int32_t y0, std::int32_t y1);
    void replicateRows(std::int32_t y0, std::int32_t y1, std::uint8_t* rows,
                       std::ptrdiff_t stride) const;
    // The same for an output that nothing reads soon, written around the
    // caches where the processor can.
    void streamRows(std::int32_t y0, std::int32_t y1);
    static void fenceStreams();
    bool streamsOutput() const;
    // The pool for the current thread count, and the passes' lists sized
    // for this job; both made by the first run that needs them.
    WorkerPool& workers();
    void preparePassWork();
    // The lists and planes for this job's size and `chunks` painting chunks.
    void sizePassWork(std::size_t chunks);
    void prepareBands(std::size_t chunks);
    void prepareGrid();
    void requireOutput() const;

    std::int32_t factor_;
    const ImageSet* source_;
    std::unique_ptr<ImageSet> output_;
    std::int32_t width_;
    std::int32_t height_;
    std::vector<Colour> palette_;
    std::vector<LabColor> lab_;
    // lab_ was made from the current palette_ and transparentIndex_: whatever
    // changes either must make it again or clear this.
    bool labCurrent_ = false;
    std::int32_t transparentIndex_;
    double threshold_;
    MarkGrid marks_;
    bool slopePasses_ = true;
    std::unique_ptr<std::uint8_t[]> relations_;
    // The table the passes read: relations_ or the shared tables' one.
    const std::uint8_t* relationTable_ = nullptr;
    std::shared_ptr<const PaletteTables> shared_;
    // Lightness rank of every index, rebuilt with the relations: an
    // order-keeping byte (0 outside the palette) that lets the passes skip
    // pixels without a lighter neighbour sixteen at a time.
    std::array<std::uint8_t, 256> lightRank_{};
    // No mark set since the last clear: a run without passes after one
    // skips clearing them again.
    bool marksClear_ = true;
    std::int32_t threads_ = 0;
    std::int64_t streamFrom_ = std::int64_t{32} << 20;
    CellGrid grid_;
    bool hasGrid_ = false;
    std::unique_ptr<WorkerPool> pool_;
    std::unique_ptr<PassWork> passWork_;
};

} // namespace gridmint
