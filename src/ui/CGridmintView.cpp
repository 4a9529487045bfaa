#include "ui/CGridmintView.h"

#include "engine/ChangeMap.h"
#include "ui/ViewGeometry.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace gridmint {

namespace {

constexpr QRgb kGridColour = 0xFFC4C4C4u;
// The cell borders: dashes of two colours that stand out on dark and light
// pixels alike, and apart from the grey pixel grid.
constexpr QRgb kCellBorderDark = 0xFF202020u;
constexpr QRgb kCellBorderLight = 0xFFFFD400u;
constexpr int kCellDash = 4;
// How much of a pass's colour a changed pixel takes, in eighths: enough to
// see which pass painted it, little enough to read the pixel's own colour.
constexpr unsigned kTintEighths = 3;
// Before the first image the plane is as large as a small window.
constexpr int kEmptyWidth = 640;
constexpr int kEmptyHeight = 480;
constexpr int kWheelDelta = 120;

int ToInt(std::int64_t v)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

// The colour a palette entry shows: composed over opaque white, as the
// display bitmap is drawn onto a white background.
QRgb Shown(Colour c)
{
    const unsigned a = c >> 24;
    if (a == 0xFF) {
        return c;
    }
    auto mix = [a](unsigned v) { return (v * a + 255u * (255u - a) + 127u) / 255u; };
    return qRgb(static_cast<int>(mix((c >> 16) & 0xFF)), static_cast<int>(mix((c >> 8) & 0xFF)),
                static_cast<int>(mix(c & 0xFF)));
}

void FillRect(QImage& frame, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
              QRgb colour)
{
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    x1 = std::min<std::int64_t>(x1, frame.width());
    y1 = std::min<std::int64_t>(y1, frame.height());
    for (std::int64_t y = y0; y < y1; ++y) {
        auto* row = reinterpret_cast<QRgb*>(frame.scanLine(static_cast<int>(y)));
        std::fill(row + x0, row + x1, colour);
    }
}

} // namespace

CGridmintView::CGridmintView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    updateScrollBars({0, 0});
    applyCursor();
}

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
    scale_ = std::max(scale, 1);
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

void CGridmintView::setCellGrid(const CellLayout& layout)
{
    cellGrid_ = layout;
}

const CellLayout& CGridmintView::cellGrid() const
{
    return cellGrid_;
}

void CGridmintView::setChangeMap(const IndexedImage* map)
{
    changeMap_ = map;
}

const IndexedImage* CGridmintView::changeMap() const
{
    return changeMap_;
}

void CGridmintView::setChangesShown(bool shown)
{
    changesShown_ = shown;
}

bool CGridmintView::changesShown() const
{
    return changesShown_;
}

void CGridmintView::setPlainSource(const IndexedImage* source)
{
    plainSource_ = source;
}

void CGridmintView::setPlainShown(bool shown)
{
    plainShown_ = shown;
}

bool CGridmintView::plainShown() const
{
    return plainShown_;
}

const IndexedImage* CGridmintView::plainImage() const
{
    if (!plainShown_ || plainSource_ == nullptr || bitmap_ == nullptr ||
        !plainSource_->hasStore() ||
        std::int64_t{plainSource_->width()} * scale_ != bitmap_->width() ||
        std::int64_t{plainSource_->height()} * scale_ != bitmap_->height()) {
        return nullptr;
    }
    return plainSource_;
}

const IndexedImage* CGridmintView::shownChangeMap() const
{
    // The plain picture is the comparison without the engine's work.
    if (!changesShown_ || plainImage() != nullptr || changeMap_ == nullptr || bitmap_ == nullptr ||
        !changeMap_->hasStore() || changeMap_->width() != bitmap_->width() ||
        changeMap_->height() != bitmap_->height()) {
        return nullptr;
    }
    return changeMap_;
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
    applyCursor();
}

int CGridmintView::cursorKind() const
{
    return cursorKind_;
}

int CGridmintView::zoom() const
{
    return zoom_;
}

QSize CGridmintView::clientDeviceSize() const
{
    const double dpr = viewport()->devicePixelRatioF();
    return {static_cast<int>(std::ceil(viewport()->width() * dpr - 1e-6)),
            static_cast<int>(std::ceil(viewport()->height() * dpr - 1e-6))};
}

QSize CGridmintView::extentSize() const
{
    if (bitmap_ == nullptr) {
        return {kEmptyWidth + 1, kEmptyHeight + 1};
    }
    return {ToInt(ScrollExtent(zoom_, bitmap_->width())),
            ToInt(ScrollExtent(zoom_, bitmap_->height()))};
}

void CGridmintView::SetZoom(int zoom, int px, int py)
{
    if (zoom < 1) {
        return;
    }
    const int oldZoom = zoom_;
    zoom_ = zoom;
    eraseNeeded_ = zoom < oldZoom;
    if (bitmap_ == nullptr) {
        return;
    }
    const QSize client = clientDeviceSize();
    const QPoint offset = scrollOffset();
    const PlanePoint target =
        ZoomScrollOffset(oldZoom, zoom, {px, py}, {offset.x(), offset.y()}, client.width(),
                         client.height(), bitmap_->width(), bitmap_->height());
    updateScrollBars({ToInt(target.x), ToInt(target.y)});
    viewport()->update();
}

void CGridmintView::RefreshExtent(bool keepScrollPosition)
{
    updateScrollBars(keepScrollPosition ? scrollOffset() : QPoint(0, 0));
    viewport()->update();
}

QPoint CGridmintView::scrollOffset() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void CGridmintView::Redraw()
{
    viewport()->update();
}

void CGridmintView::updateScrollBars(QPoint offset)
{
    const QSize extent = extentSize();
    const QSize client = clientDeviceSize();
    scrollClient_ = client;
    auto setup = [](QScrollBar* bar, int ext, int page, int value) {
        bar->setRange(0, ToInt(MaxScroll(ext, page)));
        bar->setPageStep(std::max(page, 1));
        bar->setSingleStep(std::max(ext / 100, 1));
        bar->setValue(value);
    };
    setup(horizontalScrollBar(), extent.width(), client.width(), offset.x());
    setup(verticalScrollBar(), extent.height(), client.height(), offset.y());
}

void CGridmintView::applyCursor()
{
    if (cursorKind_ == 1) {
        if (zoomCursor_.shape() != Qt::BitmapCursor) {
            const QPixmap picture(QStringLiteral(":/gridmint/zoom_cursor.png"));
            zoomCursor_ = picture.isNull() ? QCursor(Qt::CrossCursor) : QCursor(picture, 0, 0);
        }
        viewport()->setCursor(zoomCursor_);
    } else {
        viewport()->setCursor(Qt::ArrowCursor);
    }
}

void CGridmintView::renderFrame(QImage& frame, QPoint offset)
{
    const QRgb window = palette().color(QPalette::Base).rgb();
    if (bitmap_ == nullptr) {
        frame.fill(window);
        return;
    }
    const PlaneRect visible{offset.x(), offset.y(), std::int64_t{offset.x()} + frame.width(),
                            std::int64_t{offset.y()} + frame.height()};
    bool cleared = false;
    if (eraseNeeded_) {
        eraseNeeded_ = false;
        frame.fill(window);
        cleared = true;
    }

    const PlaneRect area = ImageArea(visible, zoom_, bitmap_->width(), bitmap_->height());
    if (!area.empty()) {
        const QSize size(static_cast<int>(area.width()), static_cast<int>(area.height()));
        if (scratch_.size() != size) {
            scratch_ = QImage(size, QImage::Format_Indexed8);
        }
        if (scratch_.isNull()) {
            // Out of memory: show no image this time; the next paint retries.
            frame.fill(window);
            return;
        }
        // Indices beyond the bitmap's colours show black rather than garbage.
        colourTable_.fill(qRgb(0, 0, 0), 256);
        const auto colours = bitmap_->colourTable();
        for (std::size_t i = 0; i < colours.size(); ++i) {
            colourTable_[static_cast<qsizetype>(i)] = Shown(colours[i]);
        }
        scratch_.setColorTable(colourTable_);
        if (const IndexedImage* plain = plainImage()) {
            // The same area: the result is exactly the source enlarged by scale_.
            ZoomCopy(*plain, zoom_ * scale_, area, scratch_.bits(), scratch_.bytesPerLine());
        } else {
            ZoomCopy(*bitmap_, zoom_, area, scratch_.bits(), scratch_.bytesPerLine());
        }

        // The scratch's rows into the frame through the colour table; a row
        // that repeats the one above (same source row) is copied whole.
        const QRgb* lut = colourTable_.constData();
        const uchar* in = scratch_.constBits();
        const qsizetype inStride = scratch_.bytesPerLine();
        uchar* outBits = frame.bits();
        const qsizetype outStride = frame.bytesPerLine();
        const auto dx = static_cast<qsizetype>(area.left - visible.left);
        const auto dy = static_cast<qsizetype>(area.top - visible.top);
        const int w = size.width();
        int rowPhase = static_cast<int>(area.top % zoom_);
        const QRgb* previous = nullptr;
        for (int y = 0; y < size.height(); ++y) {
            auto* out = reinterpret_cast<QRgb*>(outBits + (y + dy) * outStride) + dx;
            if (previous != nullptr && rowPhase != 0) {
                std::memcpy(out, previous, static_cast<std::size_t>(w) * sizeof(QRgb));
            } else {
                const uchar* src = in + y * inStride;
                for (int x = 0; x < w; ++x) {
                    out[x] = lut[src[x]];
                }
            }
            previous = out;
            if (++rowPhase == zoom_) {
                rowPhase = 0;
            }
        }
        tintChanges(frame, visible, area);
    }
    if (!cleared) {
        // The strips right of and below the image.
        const std::int64_t right = area.empty() ? visible.left : area.right;
        const std::int64_t bottom = area.empty() ? visible.top : area.bottom;
        FillRect(frame, right - visible.left, 0, frame.width(), frame.height(), window);
        FillRect(frame, 0, bottom - visible.top, right - visible.left, frame.height(), window);
    }

    if (gridShown_) {
        drawGrid(frame, visible);
    }
    drawCellGrid(frame, visible);
    drawOverlay(frame, visible);
}

void CGridmintView::tintChanges(QImage& frame, const PlaneRect& visible, const PlaneRect& area)
{
    const IndexedImage* map = shownChangeMap();
    if (map == nullptr) {
        return;
    }
    const auto colours = changeMapColours();
    auto mix = [](QRgb pixel, Colour tint) {
        auto channel = [](unsigned p, unsigned t) {
            return ((8 - kTintEighths) * p + kTintEighths * t + 4) / 8;
        };
        return qRgb(static_cast<int>(channel(qRed(pixel), (tint >> 16) & 0xFF)),
                    static_cast<int>(channel(qGreen(pixel), (tint >> 8) & 0xFF)),
                    static_cast<int>(channel(qBlue(pixel), tint & 0xFF)));
    };
    const std::int64_t zoom = zoom_;
    const auto dx = static_cast<int>(area.left - visible.left);
    const auto dy = static_cast<int>(area.top - visible.top);
    const int w = static_cast<int>(area.width());
    for (int y = 0; y < static_cast<int>(area.height()); ++y) {
        const std::uint8_t* codes = map->row(static_cast<std::int32_t>((area.top + y) / zoom));
        auto* out = reinterpret_cast<QRgb*>(frame.scanLine(y + dy)) + dx;
        std::int64_t mx = area.left / zoom;
        int phase = static_cast<int>(area.left % zoom);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t code = codes[mx];
            if (code != kUnchanged && code < colours.size()) {
                out[x] = mix(out[x], colours[code]);
            }
            if (++phase == zoom_) {
                phase = 0;
                ++mx;
            }
        }
    }
}

void CGridmintView::drawCellGrid(QImage& frame, const PlaneRect& visible)
{
    if (!cellGrid_.enabled() || !cellGrid_.valid() || bitmap_ == nullptr) {
        return;
    }
    const std::int64_t sheetWidth = bitmap_->width() / scale_;
    const std::int64_t sheetHeight = bitmap_->height() / scale_;
    // A border at pos covers the units pos - 1 and pos, so one just right of
    // (or below) the view still shows its first unit.
    CellBorderLines(zoom_, scale_, sheetWidth, cellGrid_.cellWidth, cellGrid_.margin,
                    cellGrid_.spacing, visible.left, visible.right + 1, cellColumns_);
    CellBorderLines(zoom_, scale_, sheetHeight, cellGrid_.cellHeight, cellGrid_.margin,
                    cellGrid_.spacing, visible.top, visible.bottom + 1, cellRows_);
    if (cellColumns_.begin == cellColumns_.end || cellRows_.begin == cellRows_.end) {
        return;
    }
    auto dash = [](std::int64_t along) {
        return (along / kCellDash) % 2 == 0 ? kCellBorderDark : kCellBorderLight;
    };
    const std::int64_t w = frame.width();
    const std::int64_t h = frame.height();
    // Vertical borders span the cell rows, horizontal ones the cell columns.
    const std::int64_t y0 = std::max<std::int64_t>(cellRows_.begin - 1 - visible.top, 0);
    const std::int64_t y1 = std::min<std::int64_t>(cellRows_.end + 1 - visible.top, h);
    for (const std::int64_t edge : cellColumns_.edges) {
        for (const std::int64_t x : {edge - 1 - visible.left, edge - visible.left}) {
            if (x < 0 || x >= w) {
                continue;
            }
            for (std::int64_t y = y0; y < y1; ++y) {
                reinterpret_cast<QRgb*>(frame.scanLine(static_cast<int>(y)))[x] =
                    dash(visible.top + y);
            }
        }
    }
    const std::int64_t x0 = std::max<std::int64_t>(cellColumns_.begin - 1 - visible.left, 0);
    const std::int64_t x1 = std::min<std::int64_t>(cellColumns_.end + 1 - visible.left, w);
    for (const std::int64_t edge : cellRows_.edges) {
        for (const std::int64_t y : {edge - 1 - visible.top, edge - visible.top}) {
            if (y < 0 || y >= h) {
                continue;
            }
            auto* row = reinterpret_cast<QRgb*>(frame.scanLine(static_cast<int>(y)));
            for (std::int64_t x = x0; x < x1; ++x) {
                row[x] = dash(visible.left + x);
            }
        }
    }
}

void CGridmintView::drawGrid(QImage& frame, const PlaneRect& visible)
{
    const int w = frame.width();
    const int h = frame.height();
    uchar* bits = frame.bits();
    const qsizetype stride = frame.bytesPerLine();
    auto row = [&](qsizetype y) { return reinterpret_cast<QRgb*>(bits + y * stride); };
    GridLines(zoom_, scale_, visible.left, visible.right, gridLines_);
    for (const GridLine& line : gridLines_) {
        const auto x = static_cast<qsizetype>(line.pos - visible.left);
        for (int y = 0; y < h; ++y) {
            if (line.solid || DottedPixelOn(visible.top + y)) {
                row(y)[x] = kGridColour;
            }
        }
    }
    GridLines(zoom_, scale_, visible.top, visible.bottom, gridLines_);
    for (const GridLine& line : gridLines_) {
        QRgb* r = row(static_cast<qsizetype>(line.pos - visible.top));
        if (line.solid) {
            std::fill(r, r + w, kGridColour);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            if (DottedPixelOn(visible.left + x)) {
                r[x] = kGridColour;
            }
        }
    }
}

void CGridmintView::drawOverlay(QImage& frame, const PlaneRect& visible)
{
    OverlayState state;
    state.hoverShown = hoverShown_;
    state.hoverX = hoverX_;
    state.hoverY = hoverY_;
    state.lineKind = lineKind_;
    state.startX = lineStartX_;
    state.startY = lineStartY_;
    state.endX = lineEndX_;
    state.endY = lineEndY_;
    OverlayCells(zoom_, scale_, bitmap_->width(), bitmap_->height(), state, visible, cells_);

    const std::int64_t side = static_cast<std::int64_t>(zoom_) * scale_;
    const std::int64_t w = frame.width();
    const std::int64_t h = frame.height();
    auto invert = [&](std::int64_t x, std::int64_t y) {
        if (x >= 0 && x < w && y >= 0 && y < h) {
            reinterpret_cast<QRgb*>(frame.scanLine(static_cast<int>(y)))[x] ^= 0x00FFFFFFu;
        }
    };
    for (const Cell& cell : cells_) {
        // Every perimeter pixel inverted exactly once, so an outline drawn
        // twice on one cell cancels out.
        const std::int64_t x0 = cell.i * side - visible.left;
        const std::int64_t y0 = cell.j * side - visible.top;
        const std::int64_t x1 = x0 + side - 1;
        const std::int64_t y1 = y0 + side - 1;
        for (std::int64_t x = std::max<std::int64_t>(x0, 0); x <= std::min(x1, w - 1); ++x) {
            invert(x, y0);
            invert(x, y1);
        }
        for (std::int64_t y = std::max(y0 + 1, std::int64_t{0}); y <= std::min(y1 - 1, h - 1);
             ++y) {
            invert(x0, y);
            invert(x1, y);
        }
    }
}

void CGridmintView::paintEvent(QPaintEvent*)
{
    const QSize size = clientDeviceSize();
    if (size.isEmpty()) {
        return;
    }
    if (size != scrollClient_) {
        // Moved to a screen of another scale: same logical size, new device
        // size, and no resize to tell.
        updateScrollBars(scrollOffset());
    }
    if (frame_.size() != size) {
        frame_ = QImage(size, QImage::Format_RGB32);
        if (frame_.isNull()) {
            return;
        }
    }
    frame_.setDevicePixelRatio(1.0);
    renderFrame(frame_, scrollOffset());
    // Drawn at the device pixel ratio, the frame lands 1:1 on device pixels.
    frame_.setDevicePixelRatio(viewport()->devicePixelRatioF());
    QPainter painter(viewport());
    painter.drawImage(QPointF(0, 0), frame_);
}

QPoint CGridmintView::zoomedPos(QPointF viewportPos) const
{
    const double dpr = viewport()->devicePixelRatioF();
    const QPoint offset = scrollOffset();
    return {ToInt(DevicePixel(viewportPos.x(), dpr) + offset.x()),
            ToInt(DevicePixel(viewportPos.y(), dpr) + offset.y())};
}

void CGridmintView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = zoomedPos(event->position());
    if (event->button() == Qt::LeftButton) {
        // Qt keeps sending moves to this widget while the button is held,
        // even outside it.
        setFocus(Qt::MouseFocusReason);
        emit UWM_VIEW_LBUTTONDOWN(p.x(), p.y());
    } else if (event->button() == Qt::RightButton) {
        emit UWM_VIEW_RBUTTONDOWN(p.x(), p.y());
    }
    event->accept();
}

void CGridmintView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A quick second click is a click like any other: quick dots with the
    // dot tool must not be lost.
    mousePressEvent(event);
}

void CGridmintView::mouseMoveEvent(QMouseEvent* event)
{
    if (!hasFocus()) {
        setFocus(Qt::MouseFocusReason);
    }
    const QPoint p = zoomedPos(event->position());
    if (event->buttons() & Qt::LeftButton) {
        emit UWM_VIEW_DRAG(p.x(), p.y());
    } else {
        emit UWM_VIEW_HOVER(p.x(), p.y());
    }
    event->accept();
}

void CGridmintView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        const QPoint p = zoomedPos(event->position());
        emit UWM_VIEW_LBUTTONUP(p.x(), p.y());
    }
    event->accept();
}

void CGridmintView::keyPressEvent(QKeyEvent* event)
{
    // The view has no keys of its own; they belong to the window.
    event->ignore();
}

void CGridmintView::scrollWheelSteps(QScrollBar* bar, int& accumulator, int delta)
{
    accumulator += delta;
    const int lines = QApplication::wheelScrollLines();
    const long long total = static_cast<long long>(std::abs(accumulator)) * std::max(lines, 1);
    if (total > 0 && bar->maximum() > 0) {
        const auto action = accumulator > 0 ? QAbstractSlider::SliderSingleStepSub
                                            : QAbstractSlider::SliderSingleStepAdd;
        for (long long i = 0; i < total; i += kWheelDelta) {
            bar->triggerAction(action);
        }
    }
    accumulator %= kWheelDelta;
}

void CGridmintView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (mods & Qt::ControlModifier) {
        // Toward the user (negative) zooms in; one message per wheel event.
        if (delta < 0) {
            emit UWM_ZOOM_IN();
        } else {
            emit UWM_ZOOM_OUT();
        }
    } else if (mods & Qt::ShiftModifier) {
        // Wheel away from the user scrolls left.
        scrollWheelSteps(horizontalScrollBar(), horizontalWheel_, delta);
    } else if (angle.y() == 0 && angle.x() != 0) {
        scrollWheelSteps(horizontalScrollBar(), horizontalWheel_, angle.x());
    } else if (verticalScrollBar()->maximum() > 0) {
        scrollWheelSteps(verticalScrollBar(), verticalWheel_, delta);
    } else {
        scrollWheelSteps(horizontalScrollBar(), verticalWheel_, delta);
    }
    event->accept();
}

void CGridmintView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars(scrollOffset());
}

void CGridmintView::scrollContentsBy(int, int)
{
    // The whole visible part is composed afresh on every paint.
    viewport()->update();
}

} // namespace gridmint
