#include "engine/CellScale.h"

#include "engine/ChangeMap.h"
#include "engine/ScaleJob.h"
#include "image/Platform.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace gridmint {

namespace {

// Plain blocks for the source rectangle [x0, x1) x [y0, y1).
void fillBlocks(IndexedImage& out, const IndexedImage& src, std::int32_t f, std::int32_t x0,
                std::int32_t x1, std::int32_t y0, std::int32_t y1)
{
    if (x0 >= x1)
        return;
    const auto width = static_cast<std::size_t>(f) * static_cast<std::size_t>(x1 - x0);
    for (std::int32_t y = y0; y < y1; ++y) {
        const std::uint8_t* in = src.row(y);
        std::uint8_t* first = out.row(f * y) + static_cast<std::ptrdiff_t>(f) * x0;
        for (std::int32_t x = x0; x < x1; ++x)
            std::memset(first + static_cast<std::ptrdiff_t>(f) * (x - x0), in[x],
                        static_cast<std::size_t>(f));
        for (std::int32_t k = 1; k < f; ++k)
            std::memcpy(out.row(f * y + k) + static_cast<std::ptrdiff_t>(f) * x0, first, width);
    }
}

struct SheetWork {
    const ImageSet& sheet;
    const ScaleSettings& settings;
    const CellLayout& layout;
    IndexedImage& out;
    IndexedImage* changes;
};

// Palettes up to this size go to a cell's job with the sheet's numbering
// (cut after the highest index the cell uses); larger ones are renumbered
// (see chooseIndices). The relation table costs the square of the palette
// size per cell, renumbering a table look-up per output pixel. perf: on a
// 1024 x 1024 sheet of 16 x 16 cells at factor 4 with 32 colours, cutting
// took 5% fewer instructions (callgrind) than renumbering every cell.
constexpr std::size_t kMaxPlainPalette = 32;

// One worker's cut-out cell and the job that enlarges it, both reused from
// cell to cell: all full cells have one size, and a job's set-up (its
// output, its relation table) costs more than a small cell's passes.
struct CellScratch {
    ImageSet cell{nullptr, std::make_unique<IndexedImage>(), std::make_unique<Palette>(),
                  ImageSet::kIndexedKind};
    std::unique_ptr<ScaleJob> job;
    IndexedImage cellChanges;
};

// The cell's indices for the engine and back.
struct CellIndices {
    bool renumbered = false;
    std::int32_t transparentIndex = -1;
    std::array<std::uint8_t, 256> toCell{};
    std::array<std::uint8_t, 256> toSheet{};
};

// Chooses the cell's palette (into `cellColours`) and numbering.
//
// The passes decide on the colours of the indices that occur and on nothing
// else, so a palette cut after the highest index used, with the entries no
// pixel uses made black, gives the same result as the whole palette. When
// that is still large, the cell gets only the
// entries it uses, renumbered in their order, so that a cell never pays for
// the pairs of a 256-colour palette; the sheet's transparent entry then
// always comes first, so that one job with transparent index 0 serves every
// such cell. Indices beyond the palette stay beyond the smaller one.
CellIndices chooseIndices(const std::array<bool, 256>& used, const std::vector<Colour>& colours,
                          std::int32_t transparent, std::vector<Colour>& cellColours)
{
    CellIndices ix;
    const std::size_t paletteSize = std::min<std::size_t>(colours.size(), 256);
    std::size_t highest = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        if (used[i])
            highest = i;
    }
    const std::size_t cut = std::min(highest + 1, paletteSize);
    cellColours.clear();
    if (cut <= kMaxPlainPalette) {
        // Black costs the colour model the least, and no pixel shows it.
        cellColours.assign(cut, kOpaque);
        for (std::size_t i = 0; i < cut; ++i) {
            if (used[i])
                cellColours[i] = colours[i];
        }
        ix.transparentIndex = transparent;
        return ix;
    }
    ix.renumbered = true;
    const bool hasTransparent =
        transparent >= 0 && static_cast<std::size_t>(transparent) < paletteSize;
    const auto take = [&](std::size_t i) {
        ix.toCell[i] = static_cast<std::uint8_t>(cellColours.size());
        ix.toSheet[cellColours.size()] = static_cast<std::uint8_t>(i);
        cellColours.push_back(colours[i]);
    };
    if (hasTransparent)
        take(static_cast<std::size_t>(transparent));
    for (std::size_t i = 0; i < paletteSize; ++i) {
        if (used[i] && !(hasTransparent && i == static_cast<std::size_t>(transparent)))
            take(i);
    }
    std::size_t next = cellColours.size();
    for (std::size_t i = paletteSize; i < 256; ++i) {
        if (used[i]) {
            ix.toCell[i] = static_cast<std::uint8_t>(next);
            ix.toSheet[next++] = static_cast<std::uint8_t>(i);
        }
    }
    ix.transparentIndex = hasTransparent ? 0 : -1;
    return ix;
}

// Enlarges the cell at `origin` into the sheet's output.
void enlargeCell(const SheetWork& work, CellScratch& scratch, CellOrigin origin)
{
    const IndexedImage& src = *work.sheet.image;
    const std::int32_t w = work.layout.cellWidth;
    const std::int32_t h = work.layout.cellHeight;
    const std::int32_t f = work.settings.factor;
    const std::int32_t repeat = work.layout.wrap ? 3 : 1;

    std::array<bool, 256> used{};
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = src.row(origin.y + y) + origin.x;
        for (std::int32_t x = 0; x < w; ++x)
            used[row[x]] = true;
    }
    // One index has no edge for a pass to follow: plain blocks, no change
    // (empty frames of a sprite sheet, flat tiles).
    if (std::count(used.begin(), used.end(), true) == 1) {
        fillBlocks(work.out, src, f, origin.x, origin.x + w, origin.y, origin.y + h);
        return;
    }
    std::vector<Colour>& cellColours = scratch.cell.palette->colours;
    const CellIndices ix = chooseIndices(used, work.sheet.palette->colours,
                                         work.settings.transparentIndex, cellColours);

    IndexedImage& cell = *scratch.cell.image;
    if (cell.width() != repeat * w || cell.height() != repeat * h)
        cell.allocate(static_cast<std::uint32_t>(repeat * w),
                      static_cast<std::uint32_t>(repeat * h));
    for (std::int32_t y = 0; y < repeat * h; ++y) {
        const std::uint8_t* in = src.row(origin.y + y % h) + origin.x;
        std::uint8_t* row = cell.row(y);
        for (std::int32_t x = 0; x < repeat * w; x += w) {
            if (ix.renumbered) {
                for (std::int32_t i = 0; i < w; ++i)
                    row[x + i] = ix.toCell[in[i]];
            } else {
                std::memcpy(row + x, in, static_cast<std::size_t>(w));
            }
        }
    }

    // A job is bound to its transparent index; the palette it may change.
    if (!scratch.job || scratch.job->transparentIndex() != ix.transparentIndex) {
        scratch.job.reset();
        scratch.job = std::make_unique<ScaleJob>(scratch.cell, f, work.settings.threshold,
                                                 ix.transparentIndex);
        // Cells already run side by side: one thread each.
        scratch.job->setThreadCount(1);
    } else if (!cellColours.empty() && scratch.job->palette() != cellColours) {
        scratch.job->setPalette(cellColours.data(), static_cast<std::int32_t>(cellColours.size()));
    }
    ScaleJob& job = *scratch.job;
    // Without the passes nothing changes: the sheet's map stays all 0.
    const bool trace = work.changes != nullptr && work.settings.slopePasses;
    if (trace)
        runTracingChanges(job, scratch.cellChanges);
    else
        job.run(work.settings.slopePasses);

    // The centre of a wrap-mode repetition starts one cell in.
    const std::int32_t skipX = (repeat - 1) / 2 * f * w;
    const std::int32_t skipY = (repeat - 1) / 2 * f * h;
    const auto outX = static_cast<std::ptrdiff_t>(f) * origin.x;
    const auto rowBytes = static_cast<std::size_t>(f * w);
    const IndexedImage& enlarged = job.outputImage();
    for (std::int32_t y = 0; y < f * h; ++y) {
        const std::uint8_t* in = enlarged.row(skipY + y) + skipX;
        std::uint8_t* row = work.out.row(f * origin.y + y) + outX;
        if (ix.renumbered) {
            for (std::size_t x = 0; x < rowBytes; ++x)
                row[x] = ix.toSheet[in[x]];
        } else {
            std::memcpy(row, in, rowBytes);
        }
        if (trace)
            std::memcpy(work.changes->row(f * origin.y + y) + outX,
                        scratch.cellChanges.row(skipY + y) + skipX, rowBytes);
    }
}

// Runs `work` for indices 0..count-1 on up to `threads` threads (the caller's
// included), each index once; rethrows the first failure after all stopped.
template <class Work> void forEachIndex(std::size_t count, unsigned threads, Work work)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto worker = [&] {
        try {
            auto state = work.makeState();
            for (std::size_t i = next++; i < count && !failed; i = next++)
                work(state, i);
        } catch (...) {
            const std::lock_guard lock(failureLock);
            if (!failure)
                failure = std::current_exception();
            failed = true;
        }
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t wanted = std::min<std::size_t>(threads, count);
        helpers.reserve(wanted);
        // Windows threads start at normal priority: the helpers take their
        // caller's, which a window lowers for background runs.
        const int priority = platform::threadPriority();
        for (std::size_t i = 1; i < wanted; ++i) {
            try {
                helpers.emplace_back([&worker, priority] {
                    (void)platform::setThreadPriority(priority);
                    worker();
                });
            } catch (const std::system_error&) {
                break; // fewer threads: the others share the rest
            }
        }
        worker();
    }
    if (failure)
        std::rethrow_exception(failure);
}

struct CellTask {
    const SheetWork& work;
    const std::vector<CellOrigin>& cells;
    CellScratch makeState() const { return {}; }
    void operator()(CellScratch& scratch, std::size_t i) const
    {
        enlargeCell(work, scratch, cells[i]);
    }
};

} // namespace

std::int32_t cellsAlong(std::int64_t extent, std::int32_t side, std::int32_t margin,
                        std::int32_t spacing)
{
    // Cells start at margin + i * (side + spacing); a count of them fits when
    // the last one ends inside the sheet less the far margin.
    if (side < 1)
        return 0;
    const std::int64_t room = extent - 2 * std::int64_t{margin} + spacing;
    return room <= 0 ? 0 : static_cast<std::int32_t>(room / (std::int64_t{side} + spacing));
}

bool CellLayout::valid() const
{
    if (*this == CellLayout{})
        return true;
    return cellWidth >= 1 && cellWidth <= kMaxCellSide && cellHeight >= 1 &&
           cellHeight <= kMaxCellSide && margin >= 0 && margin <= kMaxGap && spacing >= 0 &&
           spacing <= kMaxGap;
}

std::vector<CellOrigin> fullCells(const CellLayout& layout, std::int32_t width, std::int32_t height)
{
    std::vector<CellOrigin> cells;
    if (!layout.enabled() || !layout.valid())
        return cells;
    const std::int32_t columns = cellsAlong(width, layout.cellWidth, layout.margin, layout.spacing);
    const std::int32_t rows = cellsAlong(height, layout.cellHeight, layout.margin, layout.spacing);
    cells.reserve(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows));
    for (std::int32_t r = 0; r < rows; ++r) {
        for (std::int32_t c = 0; c < columns; ++c)
            cells.push_back({layout.margin + c * (layout.cellWidth + layout.spacing),
                             layout.margin + r * (layout.cellHeight + layout.spacing)});
    }
    return cells;
}

Enlargement enlargeCells(const ImageSet& sheet, const ScaleSettings& settings,
                         const CellLayout& layout, bool traceChanges, unsigned threads)
{
    if (!sheet.image || !sheet.palette)
        throw std::invalid_argument("cell mode: sheet has no indexed image or palette");
    if (!layout.enabled() || !layout.valid())
        throw std::invalid_argument("cell mode: cell size, margin or spacing out of range");
    const std::int32_t f = settings.factor;
    if (f < ScaleJob::kMinFactor || f > ScaleJob::kMaxFactor)
        throw std::invalid_argument("cell mode: factor must be 1 to 32");
    const IndexedImage& src = *sheet.image;
    const std::int32_t width = src.width();
    const std::int32_t height = src.height();
    if (width > 0 && height > 0 && !src.hasStore())
        throw std::invalid_argument("cell mode: sheet has no pixels");
    const std::int64_t outWidth = std::int64_t{f} * width;
    const std::int64_t outHeight = std::int64_t{f} * height;
    if (outWidth * outHeight > ScaleJob::kMaxOutputPixels)
        throw std::length_error("cell mode: the enlarged image would exceed 2^30 pixels");

    Enlargement result;
    result.image = std::make_unique<IndexedImage>();
    result.image->allocate(static_cast<std::uint32_t>(outWidth),
                           static_cast<std::uint32_t>(outHeight));
    if (traceChanges) {
        result.changes = std::make_unique<IndexedImage>();
        result.changes->allocate(static_cast<std::uint32_t>(outWidth),
                                 static_cast<std::uint32_t>(outHeight));
        if (outWidth * outHeight > 0)
            std::memset(result.changes->store(), kUnchanged,
                        static_cast<std::size_t>(outWidth * outHeight));
    }
    if (width == 0 || height == 0)
        return result;

    const std::vector<CellOrigin> cells = fullCells(layout, width, height);
    // Everything outside the full cells is plain blocks: whole rows between
    // and below the cell rows, and the columns between and right of the
    // cells within them.
    const std::int32_t w = layout.cellWidth;
    const std::int32_t h = layout.cellHeight;
    if (layout.wrap && !cells.empty() &&
        std::int64_t{3} * f * w * 3 * f * h > ScaleJob::kMaxOutputPixels)
        throw std::length_error("cell mode: a wrapped cell would exceed 2^30 pixels");
    const std::int32_t columns = cellsAlong(width, w, layout.margin, layout.spacing);
    const std::int32_t rows = cellsAlong(height, h, layout.margin, layout.spacing);
    const auto cellStart = [&](std::int32_t i, std::int32_t side) {
        return layout.margin + i * (side + layout.spacing);
    };
    std::int32_t y = 0;
    for (std::int32_t r = 0; r <= rows; ++r) {
        const std::int32_t top = r < rows ? cellStart(r, h) : height;
        fillBlocks(*result.image, src, f, 0, width, y, top);
        if (r == rows)
            break;
        std::int32_t x = 0;
        for (std::int32_t c = 0; c <= columns; ++c) {
            const std::int32_t left = c < columns ? cellStart(c, w) : width;
            fillBlocks(*result.image, src, f, x, left, top, top + h);
            x = left + w;
        }
        y = top + h;
    }

    const SheetWork work{sheet, settings, layout, *result.image, result.changes.get()};
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    forEachIndex(cells.size(), threads, CellTask{work, cells});
    return result;
}

} // namespace gridmint
