#include "desktop/ToolStrokes.h"

#include "app/ToolMode.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <algorithm>

namespace gridmint {

ToolStrokes::ToolStrokes(ScaleDocument& document, CTopPanelView& panel, CGridmintView& view,
                         CPaletteToolView& palettes, std::function<void()> strokeEnded)
    : document_(document), panel_(panel), view_(view), palettes_(palettes),
      strokeEnded_(std::move(strokeEnded))
{
}

int ToolStrokes::displayZoom() const
{
    return std::max(1, panel_.GetZoom());
}

void ToolStrokes::repaintView()
{
    view_.Redraw();
}

void ToolStrokes::paintBrush(int rx, int ry)
{
    const Point to{rx, ry};
    const Point from = last_;
    last_ = to;
    if (!document_.job())
        return;
    const bool changed = panel_.toolMode() == ToolNearest
                             ? document_.PaintNearestAlong(from, to, panel_.thickness())
                             : document_.PaintAutoAlong(from, to, panel_.thickness());
    if (changed)
        repaintView();
}

void ToolStrokes::plotDot(int rx, int ry)
{
    const Point to{rx, ry};
    const Point from = last_;
    last_ = to;
    document_.PlotDotsAlong(from, to, static_cast<std::uint8_t>(palettes_.chosenColour()),
                            panel_.thickness());
    repaintView();
}

void ToolStrokes::Press(int x, int y)
{
    document_.BeginStroke();
    const int zoom = displayZoom();
    int rx = x / zoom;
    int ry = y / zoom;
    last_ = {rx, ry};
    const IndexedBitmap* result = document_.resultBitmap();
    auto clampToResult = [&] {
        if (result) {
            rx = std::clamp(rx, 0, std::max(0, result->width() - 1));
            ry = std::clamp(ry, 0, std::max(0, result->height() - 1));
        }
    };

    switch (panel_.toolMode()) {
    case ToolNearest:
    case ToolAuto:
        paintBrush(rx, ry);
        break;
    case ToolDiagonal:
    case ToolDiagonalLine:
        clampToResult();
        view_.setLineStart(rx, ry);
        document_.SetLineStart(rx, ry);
        break;
    case ToolCorner:
        clampToResult();
        if (clickCounter_ % 2 == 0) {
            document_.SetCornerFirst(rx, ry);
            view_.setHoverShown(true);
            view_.setHoverPos(rx, ry);
            repaintView();
        } else {
            document_.SetCornerAnchor(rx, ry);
            view_.setLineStart(rx, ry);
        }
        ++clickCounter_;
        break;
    case ToolDot:
        plotDot(rx, ry);
        break;
    case ToolZoom:
        panel_.stepZoom(+1);
        view_.SetZoom(panel_.GetZoom(), x, y);
        repaintView();
        break;
    default:
        break;
    }
}

void ToolStrokes::Drag(int x, int y)
{
    const int zoom = displayZoom();
    const int rx = x / zoom;
    const int ry = y / zoom;
    switch (panel_.toolMode()) {
    case ToolNearest:
    case ToolAuto:
        paintBrush(rx, ry); // a drag paints continuously
        break;
    case ToolCorner:
        if (clickCounter_ % 2 != 0) {
            break;
        }
        if (document_.resultBitmap() && document_.DragCorner(rx, ry)) {
            repaintView();
        }
        view_.setLineKind(1);
        view_.setLineEnd(rx, ry);
        repaintView();
        break;
    case ToolDot:
        plotDot(rx, ry);
        break;
    case ToolDiagonal:
    case ToolDiagonalLine:
        view_.setLineKind(2);
        view_.setLineEnd(rx, ry);
        repaintView();
        break;
    default:
        break;
    }
}

void ToolStrokes::Release(int x, int y)
{
    const int zoom = displayZoom();
    switch (panel_.toolMode()) {
    case ToolDiagonal:
    case ToolDiagonalLine:
        view_.setLineKind(0);
        view_.setLineEnd(0, 0);
        if (panel_.toolMode() == ToolDiagonalLine) {
            document_.FinishLine(x / zoom, y / zoom);
        }
        repaintView();
        break;
    case ToolCorner:
        if (clickCounter_ % 2 != 0) {
            break; // the first-click marker stays until the anchor is set
        }
        view_.setLineKind(0);
        view_.setLineEnd(0, 0);
        view_.setHoverShown(false);
        view_.setHoverPos(0, 0);
        repaintView();
        break;
    case ToolDot:
        plotDot(x / zoom, y / zoom);
        break;
    default:
        break;
    }
    document_.EndStroke();
    if (strokeEnded_)
        strokeEnded_();
}

void ToolStrokes::RightPress(int x, int y)
{
    const int zoom = displayZoom();
    switch (panel_.toolMode()) {
    case ToolDot: {
        const std::int32_t index = document_.ReadResultIndex(x / zoom, y / zoom);
        if (index >= 0 && index <= 255) {
            palettes_.setChosenColour(index);
            palettes_.Redraw();
        }
        break;
    }
    case ToolZoom:
        panel_.stepZoom(-1);
        view_.SetZoom(panel_.GetZoom(), x, y);
        repaintView();
        break;
    default:
        break;
    }
}

void ToolStrokes::ToolChanged()
{
    clickCounter_ = 0;
    view_.setCursorKind(panel_.toolMode() == ToolZoom ? 1 : 0);
    view_.setHoverShown(false);
    view_.setHoverPos(0, 0);
    view_.setLineKind(0);
    view_.setLineEnd(0, 0);
    repaintView();
}

} // namespace gridmint
