// The mouse tools' edits of the result raster. Each operation checks
// everything that could make it a no-op first and only then takes the undo
// snapshot, so that a press that changes nothing never overwrites the
// snapshot of the previous stroke.
#include "app/LineWalk.h"
#include "app/ScaleDocument.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace gridmint {

struct ScaleDocument::EditFrame {
    std::int32_t f = 1;
    // Source cells that may be read: inside the job's source size and the
    // source image at once.
    std::int32_t w = 0;
    std::int32_t h = 0;
    // Result pixels that may be written (and read from the job's output).
    std::int32_t rw = 0;
    std::int32_t rh = 0;
    const IndexedImage* src = nullptr;
    const IndexedImage* out = nullptr;
    IndexedBitmap* result = nullptr;

    std::uint8_t at(std::int32_t x, std::int32_t y) const { return src->row(y)[x]; }
    bool inSource(std::int64_t x, std::int64_t y) const
    {
        return x >= 0 && y >= 0 && x < w && y < h;
    }
    // Fills result pixels [x0, x1) of row y with one index, clipped.
    void fill(std::int64_t y, std::int64_t x0, std::int64_t x1, std::uint8_t c) const
    {
        if (y < 0 || y >= rh)
            return;
        x0 = std::max<std::int64_t>(x0, 0);
        x1 = std::min<std::int64_t>(x1, rw);
        if (x0 < x1)
            std::memset(result->row(static_cast<std::int32_t>(y)) + x0, c,
                        static_cast<std::size_t>(x1 - x0));
    }
};

namespace {

// Largest d >= 0 with d * d < limit (limit > 0).
std::int64_t halfChord(std::int64_t limit)
{
    auto d = static_cast<std::int64_t>(std::sqrt(static_cast<double>(limit)));
    while (d > 0 && d * d >= limit)
        --d;
    while ((d + 1) * (d + 1) < limit)
        ++d;
    return d;
}

// Calls span(y, x0, x1) for every row of disc(cx, cy, r) clipped to
// [0, w) x [0, h), x1 inclusive.
template <class Span>
void forDisc(std::int64_t cx, std::int64_t cy, std::int64_t r, std::int64_t w, std::int64_t h,
             Span span)
{
    if (r < 1)
        return;
    const std::int64_t y0 = std::max<std::int64_t>(cy - (r - 1), 0);
    const std::int64_t y1 = std::min<std::int64_t>(cy + (r - 1), h - 1);
    for (std::int64_t y = y0; y <= y1; ++y) {
        const std::int64_t dy = y - cy;
        const std::int64_t d = halfChord(r * r - dy * dy);
        const std::int64_t x0 = std::max<std::int64_t>(cx - d, 0);
        const std::int64_t x1 = std::min<std::int64_t>(cx + d, w - 1);
        if (x0 <= x1)
            span(y, x0, x1);
    }
}

// Rounds towards negative infinity, so that positions left of or above the
// image never land in its first cell.
std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

bool ScaleDocument::editFrame(EditFrame& frame) const
{
    if (!result_ || !source_ || !source_->image || !job_)
        return false;
    frame.f = job_->factor();
    frame.src = source_->image.get();
    frame.out = engineResult();
    frame.result = result_.get();
    frame.w = std::min(job_->width(), frame.src->width());
    frame.h = std::min(job_->height(), frame.src->height());
    frame.rw = std::min(result_->width(), frame.out->width());
    frame.rh = std::min(result_->height(), frame.out->height());
    return frame.f >= 1 && frame.w > 0 && frame.h > 0;
}

// The two brushes: the source blocks within the disc around the result
// pixel (x, y) get their plain enlargement, or the engine's result again.
bool ScaleDocument::paintBlocks(std::int32_t x, std::int32_t y, std::int32_t thickness,
                                bool engineResult)
{
    EditFrame fr;
    if (!editFrame(fr))
        return false;
    const std::int32_t cx = x / fr.f;
    const std::int32_t cy = y / fr.f;
    if (x < 0 || y < 0 || thickness < 1 || !fr.inSource(cx, cy))
        return false;
    TakeSnapshot();
    const std::int64_t f = fr.f;
    const std::int64_t reach = std::int64_t{thickness} - 1;
    beforeWrite(f * (cx - reach), f * (cy - reach), f * (cx + reach + 1), f * (cy + reach + 1));
    forDisc(cx, cy, thickness, fr.w, fr.h,
            [&](std::int64_t sy, std::int64_t sx0, std::int64_t sx1) {
                if (!engineResult) {
                    const std::uint8_t* srow = fr.src->row(static_cast<std::int32_t>(sy));
                    for (std::int64_t k = 0; k < f; ++k) {
                        for (std::int64_t sx = sx0; sx <= sx1; ++sx)
                            fr.fill(f * sy + k, f * sx, f * sx + f, srow[sx]);
                    }
                    return;
                }
                const std::int64_t x0 = f * sx0;
                const std::int64_t x1 = std::min<std::int64_t>(f * (sx1 + 1), fr.rw);
                for (std::int64_t k = 0; k < f; ++k) {
                    const std::int64_t yy = f * sy + k;
                    if (yy >= fr.rh || x0 >= x1)
                        continue;
                    const auto row = static_cast<std::int32_t>(yy);
                    std::memcpy(fr.result->row(row) + x0, fr.out->row(row) + x0,
                                static_cast<std::size_t>(x1 - x0));
                }
            });
    return true;
}

bool ScaleDocument::paintBlocksAlong(Point from, Point to, std::int32_t thickness,
                                     bool engineResult)
{
    EditFrame fr;
    if (!editFrame(fr))
        return false;
    StrokeScope stroke(*this);
    const std::int64_t f = fr.f;
    bool changed = false;
    // The brushes work in source cells: one dab per cell of the line.
    WalkLine(floorDiv(from.x, f), floorDiv(from.y, f), floorDiv(to.x, f), floorDiv(to.y, f),
             [&](std::int64_t cx, std::int64_t cy) {
                 if (fr.inSource(cx, cy))
                     changed |=
                         paintBlocks(static_cast<std::int32_t>(cx * f),
                                     static_cast<std::int32_t>(cy * f), thickness, engineResult);
             });
    return changed;
}

bool ScaleDocument::PaintNearest(std::int32_t x, std::int32_t y, std::int32_t thickness)
{
    StrokeScope stroke(*this);
    return paintBlocks(x, y, thickness, false);
}

bool ScaleDocument::PaintAuto(std::int32_t x, std::int32_t y, std::int32_t thickness)
{
    StrokeScope stroke(*this);
    return paintBlocks(x, y, thickness, true);
}

bool ScaleDocument::PaintNearestAlong(Point from, Point to, std::int32_t thickness)
{
    return paintBlocksAlong(from, to, thickness, false);
}

bool ScaleDocument::PaintAutoAlong(Point from, Point to, std::int32_t thickness)
{
    return paintBlocksAlong(from, to, thickness, true);
}

void ScaleDocument::SetCornerFirst(std::int32_t x, std::int32_t y)
{
    if (result_ && !result_->empty()) {
        x = std::clamp(x, 0, result_->width() - 1);
        y = std::clamp(y, 0, result_->height() - 1);
    }
    cornerFirst_ = {x, y};
}

void ScaleDocument::SetCornerAnchor(std::int32_t x, std::int32_t y)
{
    if (result_ && !result_->empty()) {
        x = std::clamp(x, 0, result_->width() - 1);
        y = std::clamp(y, 0, result_->height() - 1);
    }
    cornerAnchor_ = {x, y};
}

void ScaleDocument::SetLineStart(std::int32_t x, std::int32_t y)
{
    if (result_ && !result_->empty()) {
        x = std::clamp(x, 0, result_->width() - 1);
        y = std::clamp(y, 0, result_->height() - 1);
    }
    lineStart_ = {x, y};
}

CellRun CornerDragCells(Point anchor, Point pointer, std::int32_t factor, std::int32_t sourceWidth,
                        std::int32_t sourceHeight)
{
    CellRun run;
    if (factor < 1 || sourceWidth < 1 || sourceHeight < 1)
        return run;
    const std::int64_t rw = std::int64_t{factor} * sourceWidth;
    const std::int64_t rh = std::int64_t{factor} * sourceHeight;
    const auto inside = [&](Point p) { return p.x >= 0 && p.y >= 0 && p.x < rw && p.y < rh; };
    // An anchor left over from a larger image, or a pointer off the image,
    // gives nothing to rewrite.
    if (!inside(anchor) || !inside(pointer))
        return run;

    const std::int32_t gx = anchor.x / factor;
    const std::int32_t gy = anchor.y / factor;
    const std::int64_t dx = std::llabs(std::int64_t{anchor.x} - pointer.x);
    const std::int64_t dy = std::llabs(std::int64_t{anchor.y} - pointer.y);
    run.horizontal = dy < dx; // a tie is vertical

    // The cells run from the anchor's cell towards the pointer's, the
    // pointer's cell excluded; a one-cell-high (or -wide) image has no
    // neighbour line to take colours from.
    const std::int32_t g = run.horizontal ? gx : gy;
    const std::int32_t p = (run.horizontal ? pointer.x : pointer.y) / factor;
    if ((run.horizontal ? sourceHeight : sourceWidth) < 2 || p == g)
        return run;
    run.fixed = run.horizontal ? gy : gx;
    if (p > g) {
        run.first = g;
        run.last = p - 1;
    } else {
        run.first = p + 1;
        run.last = g;
    }
    run.empty = false;
    return run;
}

bool ScaleDocument::DragCorner(std::int32_t x, std::int32_t y)
{
    EditFrame fr;
    if (!editFrame(fr) || x < 0 || y < 0 || x >= result_->width() || y >= result_->height())
        return false;
    cornerLast_ = {x, y};
    const CellRun run = CornerDragCells(cornerAnchor_, {x, y}, fr.f, fr.w, fr.h);
    if (run.empty)
        return false;
    StrokeScope stroke(*this);
    TakeSnapshot();

    // One body for both directions: "along" runs with the drag, "across"
    // is the anchor's row (horizontal drag) or column (vertical drag).
    const bool horizontal = run.horizontal;
    const std::int64_t f = fr.f;
    const std::int64_t n = std::int64_t{run.last} - run.first + 1;
    const std::int64_t len = n * f;
    const std::int64_t start = f * run.first; // first result pixel along the run
    const std::int32_t g = run.fixed;
    const std::int32_t anchorAlong = (horizontal ? cornerAnchor_.x : cornerAnchor_.y) / fr.f;
    const bool towardsHigher = (horizontal ? x : y) / fr.f > anchorAlong;
    const std::int32_t acrossCells = horizontal ? fr.h : fr.w;
    const std::int64_t alongPixels = horizontal ? fr.rw : fr.rh;
    const std::int64_t acrossPixels = horizontal ? fr.rh : fr.rw;
    // The first click tells on which side of the anchor the other colour
    // lies; at the image's first and last row (or column) there is only one.
    std::int32_t other = g;
    if (g < 1)
        other = g + 1;
    else if (g >= acrossCells - 1)
        other = g - 1;
    else if (horizontal)
        other = cornerFirst_.y < cornerAnchor_.y ? g - 1 : g + 1;
    else
        other = cornerFirst_.x < cornerAnchor_.x ? g - 1 : g + 1;
    const bool otherBefore = other < g; // above, or on the left
    if (horizontal)
        beforeWrite(start, f * g, start + len, f * g + f);
    else
        beforeWrite(f * g, start, f * g + f, start + len);

    for (std::int64_t k = 0; k < f; ++k) {
        const std::int64_t across = f * g + k;
        if (across >= acrossPixels)
            continue;
        const std::int64_t m = otherBefore ? (f - 1 - k) * n : (k + 1) * n;
        const std::int64_t nb0 = towardsHigher ? start : start + len - m;
        for (std::int64_t along = start; along < start + len && along < alongPixels; ++along) {
            const auto cell = static_cast<std::int32_t>(along / f);
            const std::int32_t line = along >= nb0 && along < nb0 + m ? other : g;
            const auto px = static_cast<std::int32_t>(horizontal ? along : across);
            const auto py = static_cast<std::int32_t>(horizontal ? across : along);
            fr.result->row(py)[px] = horizontal ? fr.at(cell, line) : fr.at(line, cell);
        }
    }
    return true;
}

bool ScaleDocument::FinishLine(std::int32_t x, std::int32_t y)
{
    EditFrame fr;
    if (!editFrame(fr) || x < 0 || y < 0 || x >= result_->width() || y >= result_->height())
        return false;
    // The start may be left over from a larger image.
    if (lineStart_.x < 0 || lineStart_.y < 0)
        return false;
    Point a{lineStart_.x / fr.f, lineStart_.y / fr.f};
    Point b{x / fr.f, y / fr.f};
    if (!fr.inSource(a.x, a.y) || !fr.inSource(b.x, b.y))
        return false;
    if (std::abs(b.x - a.x) != std::abs(b.y - a.y))
        return false;
    StrokeScope stroke(*this);
    TakeSnapshot();

    if (b.x < a.x)
        std::swap(a, b);
    const std::int32_t n = b.x - a.x;
    const std::int32_t f = fr.f;
    // A substitute neighbour that would lie off the image (a one-pixel line
    // in a corner, an image one pixel high) takes the line's own colour.
    const auto colourAt = [&](std::int32_t sx, std::int32_t sy, std::int32_t subX,
                              std::int32_t subY, std::uint8_t own) {
        if (fr.inSource(sx, sy))
            return fr.at(sx, sy);
        if (fr.inSource(subX, subY))
            return fr.at(subX, subY);
        return own;
    };
    const bool falling = a.y < b.y;
    for (std::int32_t j = 0; j <= n; ++j) {
        const std::int32_t sx = falling ? a.x + j : b.x - j;
        const std::int32_t sy = falling ? a.y + j : b.y + j;
        const std::uint8_t centre = fr.at(sx, sy);
        const std::uint8_t leftC = colourAt(sx - 1, sy, sx, falling ? sy + 1 : sy - 1, centre);
        const std::uint8_t rightC = colourAt(sx + 1, sy, sx, falling ? sy - 1 : sy + 1, centre);
        const std::int64_t x0 = std::int64_t{f} * sx;
        beforeWrite(x0, std::int64_t{f} * sy, x0 + f, std::int64_t{f} * sy + f);
        for (std::int32_t k = 0; k < f; ++k) {
            const std::int64_t yy = std::int64_t{f} * sy + k;
            const std::int32_t c = falling ? k : f - 1 - k; // the line's column in this row
            fr.fill(yy, x0, x0 + c, leftC);
            fr.fill(yy, x0 + c, x0 + c + 1, centre);
            fr.fill(yy, x0 + c + 1, x0 + f, rightC);
        }
    }
    return true;
}

bool ScaleDocument::PlotDots(std::int32_t x, std::int32_t y, std::uint8_t colour,
                             std::int32_t thickness)
{
    if (!result_ || x < 0 || y < 0 || x >= result_->width() || y >= result_->height() ||
        thickness < 1)
        return false;
    StrokeScope stroke(*this);
    TakeSnapshot();
    const std::int64_t reach = std::int64_t{thickness} - 1;
    beforeWrite(x - reach, y - reach, x + reach + 1, y + reach + 1);
    IndexedBitmap& r = *result_;
    forDisc(x, y, thickness, r.width(), r.height(),
            [&](std::int64_t yy, std::int64_t x0, std::int64_t x1) {
                std::memset(r.row(static_cast<std::int32_t>(yy)) + x0, colour,
                            static_cast<std::size_t>(x1 - x0 + 1));
            });
    return true;
}

bool ScaleDocument::PlotDotsAlong(Point from, Point to, std::uint8_t colour, std::int32_t thickness)
{
    if (!result_)
        return false;
    StrokeScope stroke(*this);
    bool changed = false;
    WalkLine(from.x, from.y, to.x, to.y, [&](std::int64_t x, std::int64_t y) {
        if (x >= 0 && y >= 0 && x < result_->width() && y < result_->height())
            changed |= PlotDots(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y), colour,
                                thickness);
    });
    return changed;
}

} // namespace gridmint
