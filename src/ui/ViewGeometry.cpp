#include "ui/ViewGeometry.h"

#include "app/ScaleDocument.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace gridmint {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

std::int32_t ToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Copies one source row, starting at source column `sx` with `phase` units of
// that pixel already used, into `width` output bytes.
void ExpandRow(const std::uint8_t* src, int zoom, int phase, std::int64_t width, std::uint8_t* out)
{
    if (zoom == 1) {
        std::memcpy(out, src, static_cast<std::size_t>(width));
        return;
    }
    std::int64_t c = 0;
    std::int64_t run = zoom - phase;
    while (c < width) {
        run = std::min(run, width - c);
        std::memset(out + c, *src, static_cast<std::size_t>(run));
        c += run;
        ++src;
        run = zoom;
    }
}

} // namespace

std::int64_t ScrollExtent(int zoom, std::int64_t size)
{
    return static_cast<std::int64_t>(std::max(zoom, 1)) * std::max<std::int64_t>(size, 0) + 1;
}

std::int64_t MaxScroll(std::int64_t extent, std::int64_t client)
{
    return std::max<std::int64_t>(0, extent - client);
}

std::int64_t ClampScroll(std::int64_t target, std::int64_t extent, std::int64_t client)
{
    return std::clamp<std::int64_t>(target, 0, MaxScroll(extent, client));
}

PlanePoint ZoomScrollOffset(int oldZoom, int newZoom, PlanePoint point, PlanePoint offset,
                            std::int64_t clientWidth, std::int64_t clientHeight,
                            std::int64_t imageWidth, std::int64_t imageHeight)
{
    const std::int64_t zold = std::max(oldZoom, 1);
    const std::int64_t z = std::max(newZoom, 1);
    PlanePoint target;
    if (point.x >= 1 && point.y >= 1) {
        target.x = z * (point.x / zold) - clientWidth / 2;
        target.y = z * (point.y / zold) - clientHeight / 2;
    } else {
        target.x = z * ((offset.x + clientWidth / 2) / zold) - clientWidth / 2;
        target.y = z * ((offset.y + clientHeight / 2) / zold) - clientHeight / 2;
    }
    return {ClampScroll(target.x, ScrollExtent(newZoom, imageWidth), clientWidth),
            ClampScroll(target.y, ScrollExtent(newZoom, imageHeight), clientHeight)};
}

PlaneRect ImageArea(const PlaneRect& visible, int zoom, std::int64_t imageWidth,
                    std::int64_t imageHeight)
{
    const std::int64_t z = std::max(zoom, 1);
    PlaneRect r;
    r.left = std::max<std::int64_t>(visible.left, 0);
    r.top = std::max<std::int64_t>(visible.top, 0);
    r.right = std::min(visible.right, z * std::max<std::int64_t>(imageWidth, 0));
    r.bottom = std::min(visible.bottom, z * std::max<std::int64_t>(imageHeight, 0));
    if (r.empty()) {
        return {};
    }
    return r;
}

namespace {

// Bitmap or image: both hand out rows of palette indices.
template <class Rows>
void zoomCopyRows(const Rows& source, int zoom, const PlaneRect& area, std::uint8_t* out,
                  std::ptrdiff_t outStride)
{
    if (area.empty() || zoom < 1) {
        return;
    }
    const std::int64_t width = area.width();
    std::int64_t sy = area.top / zoom;
    int rowPhase = static_cast<int>(area.top % zoom);
    const std::int64_t sx = area.left / zoom;
    const int colPhase = static_cast<int>(area.left % zoom);
    const std::uint8_t* previous = nullptr;
    for (std::int64_t r = 0; r < area.height(); ++r) {
        std::uint8_t* row = out + r * outStride;
        if (previous != nullptr && rowPhase != 0) {
            std::memcpy(row, previous, static_cast<std::size_t>(width));
        } else {
            ExpandRow(source.row(static_cast<std::int32_t>(sy)) + sx, zoom, colPhase, width, row);
        }
        previous = row;
        if (++rowPhase == zoom) {
            rowPhase = 0;
            ++sy;
        }
    }
}

} // namespace

void ZoomCopy(const IndexedBitmap& source, int zoom, const PlaneRect& area, std::uint8_t* out,
              std::ptrdiff_t outStride)
{
    zoomCopyRows(source, zoom, area, out, outStride);
}

void ZoomCopy(const IndexedImage& source, int zoom, const PlaneRect& area, std::uint8_t* out,
              std::ptrdiff_t outStride)
{
    zoomCopyRows(source, zoom, area, out, outStride);
}

void GridLines(int zoom, int scale, std::int64_t from, std::int64_t to, std::vector<GridLine>& out)
{
    out.clear();
    if (zoom < 1 || scale < 1 || to <= from) {
        return;
    }
    const bool perResultPixel = zoom >= 12;
    const std::int64_t step =
        perResultPixel ? zoom : static_cast<std::int64_t>(zoom) * static_cast<std::int64_t>(scale);
    if (step < 12) {
        return;
    }
    for (std::int64_t k = FloorDiv(from + step - 1, step); k * step < to; ++k) {
        out.push_back({k * step, !perResultPixel ? false : k % scale == 0});
    }
}

void OverlayCells(int zoom, int scale, std::int64_t imageWidth, std::int64_t imageHeight,
                  const OverlayState& state, const PlaneRect& visible, std::vector<Cell>& out)
{
    out.clear();
    if (zoom < 1 || scale < 1 || visible.empty()) {
        return;
    }
    const std::int64_t side = static_cast<std::int64_t>(zoom) * scale;
    if (side < 4) {
        return;
    }
    const std::int64_t iv0 = FloorDiv(visible.left, side);
    const std::int64_t iv1 = FloorDiv(visible.right - 1, side);
    const std::int64_t jv0 = FloorDiv(visible.top, side);
    const std::int64_t jv1 = FloorDiv(visible.bottom - 1, side);
    auto seen = [&](std::int64_t i, std::int64_t j) {
        return i >= iv0 && i <= iv1 && j >= jv0 && j <= jv1;
    };

    if (state.hoverShown) {
        const Cell hover{FloorDiv(state.hoverX, scale), FloorDiv(state.hoverY, scale)};
        if (seen(hover.i, hover.j)) {
            out.push_back(hover);
        }
    }

    if (state.lineKind == 1) {
        const CellRun run =
            CornerDragCells({ToInt32(state.startX), ToInt32(state.startY)},
                            {ToInt32(state.endX), ToInt32(state.endY)}, scale,
                            ToInt32(imageWidth / scale), ToInt32(imageHeight / scale));
        if (run.empty) {
            return;
        }
        const std::int64_t lo = std::max<std::int64_t>(run.first, run.horizontal ? iv0 : jv0);
        const std::int64_t hi = std::min<std::int64_t>(run.last, run.horizontal ? iv1 : jv1);
        for (std::int64_t k = lo; k <= hi; ++k) {
            const Cell c = run.horizontal ? Cell{k, run.fixed} : Cell{run.fixed, k};
            if (seen(c.i, c.j)) {
                out.push_back(c);
            }
        }
    } else if (state.lineKind == 2) {
        const std::int64_t i0 = FloorDiv(state.startX, scale);
        const std::int64_t j0 = FloorDiv(state.startY, scale);
        const std::int64_t i1 = FloorDiv(state.endX, scale);
        const std::int64_t j1 = FloorDiv(state.endY, scale);
        const std::int64_t dx = i0 > i1 ? i0 - i1 : i1 - i0;
        const std::int64_t dy = j0 > j1 ? j0 - j1 : j1 - j0;
        if (dx != dy) {
            return;
        }
        const std::int64_t sx = i1 >= i0 ? 1 : -1;
        const std::int64_t sy = j1 >= j0 ? 1 : -1;
        // Only the steps t whose cell is visible, so a far-away end costs nothing.
        std::int64_t tmin = 0;
        std::int64_t tmax = dx;
        tmin = std::max(tmin, sx > 0 ? iv0 - i0 : i0 - iv1);
        tmax = std::min(tmax, sx > 0 ? iv1 - i0 : i0 - iv0);
        tmin = std::max(tmin, sy > 0 ? jv0 - j0 : j0 - jv1);
        tmax = std::min(tmax, sy > 0 ? jv1 - j0 : j0 - jv0);
        for (std::int64_t t = tmin; t <= tmax; ++t) {
            out.push_back({i0 + t * sx, j0 + t * sy});
        }
    }
}

std::int64_t DevicePixel(double logical, double dpr)
{
    // The small bias absorbs the rounding of positions that Qt derived by
    // dividing whole device pixels by the ratio.
    return static_cast<std::int64_t>(std::floor(logical * dpr + 1e-6));
}

void CellBorderLines(int zoom, int scale, std::int64_t sheetSize, std::int32_t side,
                     std::int32_t margin, std::int32_t spacing, std::int64_t from, std::int64_t to,
                     CellBorders& out)
{
    out.begin = out.end = 0;
    out.edges.clear();
    const std::int64_t unit = std::int64_t{std::max(zoom, 1)} * std::max(scale, 1);
    const std::int32_t count = cellsAlong(sheetSize, side, margin, spacing);
    if (count <= 0) {
        return;
    }
    const std::int64_t pitch = (std::int64_t{side} + spacing) * unit;
    const std::int64_t first = std::int64_t{margin} * unit;
    out.begin = first;
    out.end = first + (count - 1) * pitch + std::int64_t{side} * unit;
    // Only the cells near [from, to): a sheet of small cells has thousands.
    const std::int64_t i0 = std::clamp<std::int64_t>((from - first) / pitch - 1, 0, count - 1);
    for (std::int64_t i = i0; i < count; ++i) {
        const std::int64_t start = first + i * pitch;
        if (start >= to) {
            break;
        }
        const std::int64_t end = start + std::int64_t{side} * unit;
        for (const std::int64_t edge : {start, end}) {
            // Without spacing a cell's end is the next one's start.
            if (edge >= from && edge < to && (out.edges.empty() || out.edges.back() != edge)) {
                out.edges.push_back(edge);
            }
        }
    }
}

} // namespace gridmint
