#include "ui/CGridmintView.h"

#include <QPaintEvent>

namespace gridmint {

CGridmintView::CGridmintView(QWidget* parent) : QAbstractScrollArea(parent) {}
CGridmintView::~CGridmintView() = default;

void CGridmintView::setDisplayedBitmap(const IndexedBitmap* bitmap)
{
    bitmap_ = bitmap;
}
const IndexedBitmap* CGridmintView::displayedBitmap() const
{
    return bitmap_;
}
void CGridmintView::setResultScale(int scale)
{
    scale_ = scale < 1 ? 1 : scale;
}
int CGridmintView::resultScale() const
{
    return scale_;
}
void CGridmintView::setGridShown(bool shown)
{
    gridShown_ = shown;
}
bool CGridmintView::gridShown() const
{
    return gridShown_;
}
void CGridmintView::setHoverShown(bool shown)
{
    hoverShown_ = shown;
}
bool CGridmintView::hoverShown() const
{
    return hoverShown_;
}
void CGridmintView::setHoverPos(int x, int y)
{
    hoverX_ = x;
    hoverY_ = y;
}
void CGridmintView::setLineStart(int x, int y)
{
    lineStartX_ = x;
    lineStartY_ = y;
}
void CGridmintView::setLineEnd(int x, int y)
{
    lineEndX_ = x;
    lineEndY_ = y;
}
void CGridmintView::setLineKind(int kind)
{
    lineKind_ = kind;
}
int CGridmintView::lineKind() const
{
    return lineKind_;
}
void CGridmintView::setEraseNeeded(bool needed)
{
    eraseNeeded_ = needed;
}
bool CGridmintView::eraseNeeded() const
{
    return eraseNeeded_;
}
void CGridmintView::setCursorKind(int kind)
{
    cursorKind_ = kind;
}
int CGridmintView::cursorKind() const
{
    return cursorKind_;
}
int CGridmintView::zoom() const
{
    return zoom_;
}
void CGridmintView::SetZoom(int zoom, int, int)
{
    if (zoom >= 1)
        zoom_ = zoom;
}
void CGridmintView::RefreshExtent(bool) {}
QPoint CGridmintView::scrollOffset() const
{
    return {};
}
void CGridmintView::Redraw()
{
    viewport()->update();
}

void CGridmintView::paintEvent(QPaintEvent*) {}
void CGridmintView::mousePressEvent(QMouseEvent*) {}
void CGridmintView::mouseMoveEvent(QMouseEvent*) {}
void CGridmintView::mouseReleaseEvent(QMouseEvent*) {}
void CGridmintView::mouseDoubleClickEvent(QMouseEvent*) {}
void CGridmintView::wheelEvent(QWheelEvent*) {}
void CGridmintView::resizeEvent(QResizeEvent*) {}
void CGridmintView::scrollContentsBy(int, int) {}
bool CGridmintView::viewportEvent(QEvent* event)
{
    return QAbstractScrollArea::viewportEvent(event);
}
QPoint CGridmintView::zoomedPos(QPointF) const
{
    return {};
}
void CGridmintView::updateScrollBars(QPoint) {}
void CGridmintView::applyCursor() {}

} // namespace gridmint
