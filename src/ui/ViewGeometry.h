// The image view's arithmetic, free of Qt so it can be tested on its own:
// scroll extents and the zoom's centring, the zoomed copy of the visible
// part, the grid lines and the cells the tool outlines cover.
//
// Coordinates here are in the zoomed-image plane: one unit is one device
// pixel of the view, the image's top-left pixel at (0, 0), and one result
// pixel covers `zoom` by `zoom` units. Working in device pixels keeps every
// image pixel a whole number of screen pixels wide at fractional screen
// scales. Plane coordinates are 64-bit because a zoomed result easily passes
// what 32 bits of painter coordinates promise.
#pragma once

#include "engine/CellScale.h"
#include "image/Containers.h"
#include "image/IndexedBitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gridmint {

// A half-open rectangle [left, right) x [top, bottom).
struct PlaneRect {
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = 0;
    std::int64_t bottom = 0;

    std::int64_t width() const { return right - left; }
    std::int64_t height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const PlaneRect&, const PlaneRect&) = default;
};

struct PlanePoint {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const PlanePoint&, const PlanePoint&) = default;
};

// The scroll extent along one axis: the zoomed size plus one, so that the
// grid line closing the last cell can be scrolled into view.
std::int64_t ScrollExtent(int zoom, std::int64_t size);
// The largest scroll offset for an extent seen through `client` units.
std::int64_t MaxScroll(std::int64_t extent, std::int64_t client);
std::int64_t ClampScroll(std::int64_t target, std::int64_t extent, std::int64_t client);

// Where the view scrolls when the zoom changes from `oldZoom` to `newZoom`.
// `point` is a plane position at the old zoom to bring to the centre of the
// client area; a point with either coordinate below 1 counts as none, and
// then the pixel now at the centre stays there. The divisions truncate, so
// the left/top edge of the pixel under the point comes to the centre. The
// result is clamped to the new extent (`imageWidth`, `imageHeight` are the
// displayed result's size).
PlanePoint ZoomScrollOffset(int oldZoom, int newZoom, PlanePoint point, PlanePoint offset,
                            std::int64_t clientWidth, std::int64_t clientHeight,
                            std::int64_t imageWidth, std::int64_t imageHeight);

// The part of `visible` that the image covers at `zoom`.
PlaneRect ImageArea(const PlaneRect& visible, int zoom, std::int64_t imageWidth,
                    std::int64_t imageHeight);

// Copies the palette indices of `area` (inside the image at `zoom`) of the
// zoomed image into `out`, whose rows are `outStride` bytes apart. Runs on
// phase counters, so there is no division per pixel, and repeats a finished
// row for the rows that show the same source row.
void ZoomCopy(const IndexedBitmap& source, int zoom, const PlaneRect& area, std::uint8_t* out,
              std::ptrdiff_t outStride);
void ZoomCopy(const IndexedImage& source, int zoom, const PlaneRect& area, std::uint8_t* out,
              std::ptrdiff_t outStride);

// The borders of cell mode's full cells along one axis of the result shown
// at display zoom `zoom`, the sheet (`sheetSize` source pixels long) enlarged
// by `scale`. A border at `pos` lies between plane units pos - 1 and pos.
struct CellBorders {
    std::int64_t begin = 0; // the span of the full cells; begin == end when none
    std::int64_t end = 0;
    std::vector<std::int64_t> edges; // the borders with from <= pos < to, ascending
};
void CellBorderLines(int zoom, int scale, std::int64_t sheetSize, std::int32_t side,
                     std::int32_t margin, std::int32_t spacing, std::int64_t from, std::int64_t to,
                     CellBorders& out);

// One grid line: at plane coordinate `pos` (a column for vertical lines, a
// row for horizontal ones), solid or dotted.
struct GridLine {
    std::int64_t pos = 0;
    bool solid = false;
    friend bool operator==(const GridLine&, const GridLine&) = default;
};

// The grid lines with from <= pos < to at display zoom `zoom` and
// enlargement factor `scale`. Below zoom 12 only the source-pixel edges are
// drawn, dotted, and only when a source pixel spans at least 12 units; from
// zoom 12 on every result-pixel edge is drawn, solid where it is also a
// source-pixel edge.
void GridLines(int zoom, int scale, std::int64_t from, std::int64_t to, std::vector<GridLine>& out);

// Whether a dotted line covers the pixel at plane coordinate `pos` along the
// line: three on, three off, anchored to the plane so the dots stay put
// while scrolling.
inline bool DottedPixelOn(std::int64_t pos)
{
    std::int64_t m = pos % 6;
    if (m < 0) {
        m += 6;
    }
    return m < 3;
}

// What the tools ask the view to outline, in result pixels.
struct OverlayState {
    bool hoverShown = false;
    std::int64_t hoverX = 0;
    std::int64_t hoverY = 0;
    int lineKind = 0; // 0 none, 1 straight (the corner tool), 2 diagonal
    std::int64_t startX = 0;
    std::int64_t startY = 0;
    std::int64_t endX = 0;
    std::int64_t endY = 0;
};

// A source cell (i, j); its outline covers the square of side zoom*scale at
// (i*side, j*side).
struct Cell {
    std::int64_t i = 0;
    std::int64_t j = 0;
    friend bool operator==(const Cell&, const Cell&) = default;
};

// The cells to outline that touch `visible`, hover cell first, then the line
// preview. Nothing when a cell is smaller than 4 units. The straight preview
// shows exactly the cells the corner drag rewrites (nothing when it changes
// nothing); the diagonal preview shows both end cells and the cells between
// them, and only when the ends lie on a 45-degree line. A cell may appear
// twice; its inverting outlines then cancel, as they do on screen.
void OverlayCells(int zoom, int scale, std::int64_t imageWidth, std::int64_t imageHeight,
                  const OverlayState& state, const PlaneRect& visible, std::vector<Cell>& out);

// The device pixel under a logical position at device pixel ratio `dpr`.
std::int64_t DevicePixel(double logical, double dpr);

} // namespace gridmint
