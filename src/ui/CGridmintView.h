// The central image pane: shows the displayed result at an integer display
// zoom with an optional pixel grid and the mouse tools' outlines, scrolls,
// and reports mouse input to the frame in zoomed-image coordinates. It edits
// nothing itself; the frame writes its display state and asks for repaints.
//
// Zoomed-image coordinates (scroll offset, mouse reports, SetZoom's point)
// count DEVICE pixels of the view, the image's top-left at (0, 0): one result
// pixel is zoom() by zoom() of them. At screen scale 1 they are the usual
// logical pixels; at 125 % or 150 % this keeps every image pixel a whole
// number of screen pixels and the grid on the cell edges. Result pixels are
// still these coordinates divided by zoom().
#pragma once

#include "engine/CellScale.h"
#include "image/Containers.h"
#include "image/IndexedBitmap.h"
#include "ui/ViewGeometry.h"

#include <QAbstractScrollArea>
#include <QCursor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>
#include <vector>

class QScrollBar;

namespace gridmint {

class CGridmintView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CGridmintView(QWidget* parent = nullptr);
    ~CGridmintView() override;

    // Not owned; may be null. The frame calls RefreshExtent after a new
    // bitmap (or one of another size).
    void setDisplayedBitmap(const IndexedBitmap* bitmap);
    const IndexedBitmap* displayedBitmap() const;

    // The enlargement factor S of the displayed result; values below 1 count as 1.
    void setResultScale(int scale);
    int resultScale() const;

    void setGridShown(bool shown);
    bool gridShown() const;

    // Cell mode's layout in source pixels: the borders of its full cells are
    // drawn over the image (dashed, so they show on any colour). Off: none.
    void setCellGrid(const CellLayout& layout);
    const CellLayout& cellGrid() const;

    // Not owned; may be null. A ChangeCode per result pixel, drawn as a light
    // tint of each pass's colour while changesShown(); ignored unless it
    // has the displayed bitmap's size.
    void setChangeMap(const IndexedImage* map);
    const IndexedImage* changeMap() const;
    void setChangesShown(bool shown);
    bool changesShown() const;

    // Not owned; may be null. The source image whose plain block enlargement
    // (by resultScale()) is shown in place of the result while
    // plainShown(), with the result's colours; ignored unless it enlarges
    // to the displayed bitmap's size. Only the picture changes: mouse input
    // is reported as always.
    void setPlainSource(const IndexedImage* source);
    void setPlainShown(bool shown);
    bool plainShown() const;

    // Hover cell, in result pixels.
    void setHoverShown(bool shown);
    bool hoverShown() const;
    void setHoverPos(int x, int y);

    // Line preview, in result pixels. Kind 0 none, 1 straight (corner), 2 diagonal.
    void setLineStart(int x, int y);
    void setLineEnd(int x, int y);
    void setLineKind(int kind);
    int lineKind() const;

    // The next paint clears the whole visible area first.
    void setEraseNeeded(bool needed);
    bool eraseNeeded() const;

    // 1 = zoom cursor, anything else the arrow.
    void setCursorKind(int kind);
    int cursorKind() const;

    // Display zoom Z, starts at 1.
    int zoom() const;
    // Changes the display zoom. (px, py) is a point in zoomed-image
    // coordinates at the old zoom that comes to the viewport centre, or
    // (-1, -1) (any coordinate below 1) to keep the current centre. Zooms
    // below 1 are ignored.
    void SetZoom(int zoom, int px, int py);
    // Scroll extent becomes Z*W+1 by Z*H+1 so the closing grid line can be
    // scrolled into view. The scroll position returns to the top left unless
    // `keepScrollPosition`, which keeps it (clamped to the new range).
    void RefreshExtent(bool keepScrollPosition = false);
    // Zoomed-image coordinates of the viewport's top-left corner.
    QPoint scrollOffset() const;
    void Redraw();

signals:
    // x, y in zoomed-image coordinates (viewport position in device pixels
    // + scroll offset); negative or beyond the image while the left button
    // is held outside the view.
    void UWM_VIEW_LBUTTONDOWN(int x, int y);
    void UWM_VIEW_DRAG(int x, int y);
    void UWM_VIEW_HOVER(int x, int y);
    void UWM_VIEW_LBUTTONUP(int x, int y);
    void UWM_VIEW_RBUTTONDOWN(int x, int y);
    void UWM_ZOOM_IN();
    void UWM_ZOOM_OUT();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The viewport's size in device pixels, the unit of the zoomed plane.
    QSize clientDeviceSize() const;
    QSize extentSize() const;
    QPoint zoomedPos(QPointF viewportPos) const;
    void updateScrollBars(QPoint offset);
    void applyCursor();
    void scrollWheelSteps(QScrollBar* bar, int& accumulator, int delta);
    // Composes the visible part of the plane whose top-left is `offset` into
    // `frame` (device pixels, RGB32).
    void renderFrame(QImage& frame, QPoint offset);
    void drawGrid(QImage& frame, const PlaneRect& visible);
    void drawCellGrid(QImage& frame, const PlaneRect& visible);
    // Tints the changed pixels of `area` (inside the image) in `frame`.
    void tintChanges(QImage& frame, const PlaneRect& visible, const PlaneRect& area);
    const IndexedImage* plainImage() const;
    const IndexedImage* shownChangeMap() const;
    void drawOverlay(QImage& frame, const PlaneRect& visible);

    const IndexedBitmap* bitmap_ = nullptr;
    QImage scratch_; // the visible part at the display zoom, reused while its size holds
    QImage frame_;   // the composed viewport, reused while its size holds
    QList<QRgb> colourTable_;
    std::vector<GridLine> gridLines_;
    CellLayout cellGrid_;
    CellBorders cellColumns_;
    CellBorders cellRows_;
    const IndexedImage* changeMap_ = nullptr;
    const IndexedImage* plainSource_ = nullptr;
    bool changesShown_ = false;
    bool plainShown_ = false;
    std::vector<Cell> cells_;
    QCursor zoomCursor_;
    QSize scrollClient_; // the device client size the scroll ranges were set for
    int scale_ = 1;
    int hoverX_ = 0;
    int hoverY_ = 0;
    int lineStartX_ = 0;
    int lineStartY_ = 0;
    int lineEndX_ = 0;
    int lineEndY_ = 0;
    bool hoverShown_ = false;
    int lineKind_ = 0;
    int zoom_ = 1;
    bool eraseNeeded_ = false;
    bool gridShown_ = true;
    int cursorKind_ = 0;
    int horizontalWheel_ = 0; // wheel delta not yet turned into scroll steps
    int verticalWheel_ = 0;
};

} // namespace gridmint
