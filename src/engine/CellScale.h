// Cell mode: a sprite sheet or tileset enlarged cell by cell, so that the
// slope passes never follow a run from one tile into its neighbour.
//
// The sheet is a grid of cells of cellWidth x cellHeight source pixels,
// starting `margin` pixels in from the top left, with `spacing` pixels
// between neighbouring cells. A cell is full when it lies wholly inside the
// sheet less the margin on the right and bottom as well (the way tileset
// editors count tiles). Every full cell is enlarged exactly as if it had been
// cut out and enlarged alone with the same settings; margin, spacing and the
// partial cells along the right and bottom edges become plain blocks.
//
// Wrap mode, for tiles that repeat: each cell is enlarged as the centre of a
// 3 x 3 repetition of itself and cut back to the centre, so its edges slope
// the way they will look when the tile is laid next to itself. Runs longer
// than one cell end where the repetition ends.
#pragma once

#include "image/Containers.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace gridmint {

struct CellLayout {
    static constexpr std::int32_t kMaxCellSide = 4096;
    static constexpr std::int32_t kMaxGap = 4096; // margin and spacing

    std::int32_t cellWidth = 0; // 0: cell mode off
    std::int32_t cellHeight = 0;
    std::int32_t margin = 0;
    std::int32_t spacing = 0;
    bool wrap = false;

    bool enabled() const { return cellWidth > 0 || cellHeight > 0; }
    // Off (all zero, no wrap), or cell sides 1..kMaxCellSide and margin and
    // spacing 0..kMaxGap.
    bool valid() const;
    friend bool operator==(const CellLayout&, const CellLayout&) = default;
};

// The top left source pixel of a full cell.
struct CellOrigin {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const CellOrigin&, const CellOrigin&) = default;
};

// The full cells of a width x height sheet, row by row; none for a layout
// that is off or not valid().
std::vector<CellOrigin> fullCells(const CellLayout& layout, std::int32_t width,
                                  std::int32_t height);

// The settings of one enlargement, as ScaleJob takes them.
struct ScaleSettings {
    std::int32_t factor = 2;
    double threshold = 20;
    std::int32_t transparentIndex = 0;
    bool slopePasses = true;
};

struct Enlargement {
    std::unique_ptr<IndexedImage> image;   // factor x the sheet, the sheet's indices
    std::unique_ptr<IndexedImage> changes; // ChangeCode per pixel; null unless asked for
};

// Enlarges `sheet` in cell mode on `threads` threads (0: one per core). The
// result does not depend on the number of threads. With `traceChanges` also
// builds the change map (see ChangeMap.h): 0 on margins, spacing and
// partial cells. Throws std::invalid_argument for a sheet without image or
// palette, a layout that is off or not valid() or a factor outside 1..32;
// std::length_error when the result or a wrap-mode cell would exceed
// ScaleJob::kMaxOutputPixels; std::bad_alloc when memory runs out.
Enlargement enlargeCells(const ImageSet& sheet, const ScaleSettings& settings,
                         const CellLayout& layout, bool traceChanges, unsigned threads = 0);

} // namespace gridmint
