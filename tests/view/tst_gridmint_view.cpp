// Drives the real image view offscreen. Every expectation is worked out in
// device pixels, so the same cases run at screen scale 1 and at 1.5 (CTest
// runs this program both ways).
#include "ui/CGridmintView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <memory>
#include <vector>

using gridmint::CGridmintView;
using gridmint::Colour;
using gridmint::IndexedBitmap;

namespace {

constexpr QRgb kGrid = 0xFFC4C4C4u;

std::unique_ptr<IndexedBitmap> MakeBitmap(int w, int h, unsigned seed)
{
    auto bitmap = std::make_unique<IndexedBitmap>(w, h);
    std::vector<Colour> colours;
    for (int i = 0; i < 64; ++i) {
        colours.push_back(gridmint::kOpaque |
                          static_cast<Colour>((i * 0x0A1B2Cu + 0x203040u) & 0x00FFFFFFu));
    }
    bitmap->setColourTable(colours);
    unsigned state = seed;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            state = state * 1103515245u + 12345u;
            bitmap->row(y)[x] = static_cast<std::uint8_t>((state >> 16) % 64);
        }
    }
    return bitmap;
}

QRgb ColourAt(const IndexedBitmap& b, int x, int y)
{
    return b.colourTable()[b.row(y)[x]] | 0xFF000000u;
}

} // namespace

class GridmintViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CGridmintView> view_;
    std::unique_ptr<IndexedBitmap> bitmap_;

    double dpr() const { return view_->viewport()->devicePixelRatioF(); }
    QImage shot() const
    {
        return view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QRgb window() const { return view_->palette().color(QPalette::Base).rgb(); }
    void scrollTo(int x, int y)
    {
        view_->horizontalScrollBar()->setValue(x);
        view_->verticalScrollBar()->setValue(y);
        QCOMPARE(view_->scrollOffset(), QPoint(x, y));
    }
    void show(int zoom, int scale)
    {
        view_->setDisplayedBitmap(bitmap_.get());
        view_->setResultScale(scale);
        view_->RefreshExtent();
        QApplication::processEvents();
        view_->SetZoom(zoom, -1, -1);
        QApplication::processEvents();
        scrollTo(0, 0);
    }
    void sendMouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
                   Qt::KeyboardModifiers mods = {})
    {
        QWidget* vp = view_->viewport();
        QMouseEvent event(type, pos, vp->mapToGlobal(pos), button, buttons, mods);
        QApplication::sendEvent(vp, &event);
    }
    void sendWheel(int delta, Qt::KeyboardModifiers mods)
    {
        QWidget* vp = view_->viewport();
        const QPointF pos(10, 10);
        QWheelEvent event(pos, vp->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &event);
    }
    // What the view must show at device pixel (x, y) of the viewport, grid and
    // outlines aside.
    QRgb expected(int x, int y) const
    {
        const QPoint off = view_->scrollOffset();
        const int z = view_->zoom();
        const int px = x + off.x();
        const int py = y + off.y();
        if (px < z * bitmap_->width() && py < z * bitmap_->height()) {
            return ColourAt(*bitmap_, px / z, py / z);
        }
        return window();
    }

private slots:
    void init()
    {
        view_ = std::make_unique<CGridmintView>();
        view_->resize(320, 240);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        bitmap_ = MakeBitmap(97, 61, 11);
    }
    void cleanup()
    {
        view_.reset();
        bitmap_.reset();
    }

    void paintEqualsAPlainPerPixelCopy_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<int>("scrollX");
        QTest::addColumn<int>("scrollY");
        QTest::newRow("z1") << 1 << 0 << 0;
        QTest::newRow("z2 scrolled") << 2 << 5 << 3;
        QTest::newRow("z3 odd offset") << 3 << 17 << 11;
        QTest::newRow("z8 mid") << 8 << 101 << 37;
        QTest::newRow("z8 end") << 8 << (1 << 20) << (1 << 20);
        QTest::newRow("z12") << 12 << 250 << 99;
        QTest::newRow("z32") << 32 << 777 << 333;
    }
    void paintEqualsAPlainPerPixelCopy()
    {
        QFETCH(int, zoom);
        QFETCH(int, scrollX);
        QFETCH(int, scrollY);
        view_->setGridShown(false);
        show(zoom, 1);
        view_->horizontalScrollBar()->setValue(scrollX);
        view_->verticalScrollBar()->setValue(scrollY);
        const QImage image = shot();
        QCOMPARE(image.width(),
                 static_cast<int>(std::ceil(view_->viewport()->width() * dpr() - 1e-6)));
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) != expected(x, y)) {
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2 at offset %3,%4: %5 instead of %6")
                                         .arg(x)
                                         .arg(y)
                                         .arg(view_->scrollOffset().x())
                                         .arg(view_->scrollOffset().y())
                                         .arg(image.pixel(x, y), 8, 16)
                                         .arg(expected(x, y), 8, 16)));
                }
            }
        }
    }

    void noBitmapShowsTheWindowColourButStillReportsTheMouse()
    {
        QSignalSpy hover(view_.get(), &CGridmintView::UWM_VIEW_HOVER);
        const QImage image = shot();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                QCOMPARE(image.pixel(x, y), window());
            }
        }
        sendMouse(QEvent::MouseMove, {4, 6}, Qt::NoButton, Qt::NoButton);
        QCOMPARE(hover.count(), 1);
    }

    void gridLiesOnTheCellEdges()
    {
        // Zoom 2, factor 6: dotted lines every 12 units, three on, three off.
        show(2, 6);
        QImage image = shot();
        for (int y = 0; y < 30; ++y) {
            QCOMPARE(image.pixel(12, y) == kGrid, y % 6 < 3);
            if (y % 12 != 0) {
                QCOMPARE(image.pixel(13, y), expected(13, y));
                QCOMPARE(image.pixel(11, y), expected(11, y));
            }
        }
        // Zoom 16, factor 4: a line every 16 units, solid on the source edges.
        show(16, 4);
        scrollTo(50, 40);
        image = shot();
        for (int x = 0; x < image.width(); ++x) {
            const int px = x + 50;
            // Plane row 64 is solid; row 80 dotted, crossed by the vertical
            // lines (dotted ones are on at row 80); row 81 crossed only by
            // the solid verticals (dotted ones are off there).
            QCOMPARE(image.pixel(x, 64 - 40), kGrid);
            QCOMPARE(image.pixel(x, 80 - 40) == kGrid, px % 6 < 3 || px % 16 == 0);
            QCOMPARE(image.pixel(x, 81 - 40), px % 64 == 0 ? kGrid : expected(x, 81 - 40));
        }
        // Zoom 2, factor 5: no grid.
        show(2, 5);
        image = shot();
        for (int x = 0; x < 40; ++x) {
            QCOMPARE(image.pixel(x, 10), expected(x, 10));
        }
    }

    void outlinesInvertTheCellPerimeterAndCancelInPairs()
    {
        view_->setGridShown(false);
        show(8, 1);
        view_->setHoverShown(true);
        view_->setHoverPos(3, 2);
        QImage image = shot();
        // Cell (3, 2) spans x 24..31, y 16..23.
        for (int y = 14; y < 26; ++y) {
            for (int x = 22; x < 34; ++x) {
                const bool perimeter = x >= 24 && x <= 31 && y >= 16 && y <= 23 &&
                                       (x == 24 || x == 31 || y == 16 || y == 23);
                const QRgb want = perimeter ? expected(x, y) ^ 0x00FFFFFFu : expected(x, y);
                QCOMPARE(image.pixel(x, y), want);
            }
        }
        // A diagonal preview ending on that same cell outlines it again: the
        // two inversions cancel there.
        view_->setLineKind(2);
        view_->setLineStart(3, 2);
        view_->setLineEnd(3, 2);
        image = shot();
        QCOMPARE(image.pixel(24, 16), expected(24, 16));
        // Nothing when the cell is below 4 units.
        view_->setLineKind(0);
        show(1, 3);
        image = shot();
        QCOMPARE(image.pixel(3, 0), expected(3, 0));
    }

    void mouseReportsCarryTheScrollOffset()
    {
        show(8, 1);
        scrollTo(50, 30);
        QSignalSpy down(view_.get(), &CGridmintView::UWM_VIEW_LBUTTONDOWN);
        QSignalSpy drag(view_.get(), &CGridmintView::UWM_VIEW_DRAG);
        QSignalSpy hover(view_.get(), &CGridmintView::UWM_VIEW_HOVER);
        QSignalSpy up(view_.get(), &CGridmintView::UWM_VIEW_LBUTTONUP);
        QSignalSpy right(view_.get(), &CGridmintView::UWM_VIEW_RBUTTONDOWN);
        const auto dev = [this](double v) {
            return static_cast<int>(std::floor(v * dpr() + 1e-6));
        };

        sendMouse(QEvent::MouseMove, {10, 20}, Qt::NoButton, Qt::NoButton);
        QCOMPARE(hover.count(), 1);
        QCOMPARE(hover.at(0), (QList<QVariant>{50 + dev(10), 30 + dev(20)}));
        QVERIFY(view_->hasFocus() || !view_->isActiveWindow());

        sendMouse(QEvent::MouseButtonPress, {10, 20}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(down.count(), 1);
        QCOMPARE(down.at(0), (QList<QVariant>{50 + dev(10), 30 + dev(20)}));
        // Held outside the view: coordinates go negative.
        sendMouse(QEvent::MouseMove, {-70, -40}, Qt::NoButton, Qt::LeftButton);
        QCOMPARE(drag.count(), 1);
        QCOMPARE(drag.at(0), (QList<QVariant>{50 + dev(-70), 30 + dev(-40)}));
        QCOMPARE(hover.count(), 1);
        sendMouse(QEvent::MouseButtonRelease, {-70, -40}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(up.count(), 1);
        QCOMPARE(up.at(0), (QList<QVariant>{50 + dev(-70), 30 + dev(-40)}));

        sendMouse(QEvent::MouseButtonPress, {3, 4}, Qt::RightButton, Qt::RightButton);
        QCOMPARE(right.count(), 1);
        QCOMPARE(right.at(0), (QList<QVariant>{50 + dev(3), 30 + dev(4)}));
        QCOMPARE(down.count(), 1);

        // A quick second click is a press like the first.
        sendMouse(QEvent::MouseButtonDblClick, {3, 4}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(down.count(), 2);
    }

    void wheelZoomsWithCtrlAndScrollsOtherwise()
    {
        show(8, 1);
        QSignalSpy in(view_.get(), &CGridmintView::UWM_ZOOM_IN);
        QSignalSpy out(view_.get(), &CGridmintView::UWM_ZOOM_OUT);
        sendWheel(-120, Qt::ControlModifier);
        sendWheel(-360, Qt::ControlModifier);
        QCOMPARE(in.count(), 2);
        QCOMPARE(out.count(), 0);
        sendWheel(0, Qt::ControlModifier);
        sendWheel(120, Qt::ControlModifier);
        QCOMPARE(out.count(), 2);
        QCOMPARE(view_->scrollOffset(), QPoint(0, 0));

        const int lines = QApplication::wheelScrollLines();
        QScrollBar* h = view_->horizontalScrollBar();
        QScrollBar* v = view_->verticalScrollBar();
        // Shift: the wheel turned toward the user scrolls right, away scrolls left.
        sendWheel(-120, Qt::ShiftModifier);
        QCOMPARE(h->value(), lines * h->singleStep());
        sendWheel(120, Qt::ShiftModifier);
        QCOMPARE(h->value(), 0);
        // Plain: vertical, toward the user scrolls down.
        sendWheel(-120, Qt::NoModifier);
        QCOMPARE(v->value(), lines * v->singleStep());
        QCOMPARE(h->value(), 0);
        QCOMPARE(in.count() + out.count(), 4);
    }

    void zoomingOutErasesOnceZoomingInDoesNot()
    {
        show(8, 1);
        QVERIFY(!view_->eraseNeeded());
        view_->SetZoom(4, -1, -1);
        QVERIFY(view_->eraseNeeded());
        shot();
        QVERIFY(!view_->eraseNeeded());
        view_->SetZoom(8, -1, -1);
        QVERIFY(!view_->eraseNeeded());
        view_->SetZoom(0, -1, -1);
        QCOMPARE(view_->zoom(), 8);
    }

    void zoomCentresAndExtentKeepsOrResetsTheOffset()
    {
        bitmap_ = MakeBitmap(120, 90, 5);
        show(4, 1);
        const int cw = static_cast<int>(std::ceil(view_->viewport()->width() * dpr() - 1e-6));
        const int ch = static_cast<int>(std::ceil(view_->viewport()->height() * dpr() - 1e-6));
        // The point (201, 150) at zoom 4 is in result pixel (50, 37); at zoom 8
        // its edge (400, 296) comes to the centre.
        view_->SetZoom(8, 201, 150);
        QCOMPARE(view_->scrollOffset(), QPoint(400 - cw / 2, 296 - ch / 2));
        const int extentW = 8 * bitmap_->width() + 1;
        QCOMPARE(view_->horizontalScrollBar()->maximum() + view_->horizontalScrollBar()->pageStep(),
                 extentW);
        scrollTo(100, 60);
        view_->RefreshExtent(true);
        QCOMPARE(view_->scrollOffset(), QPoint(100, 60));
        view_->RefreshExtent();
        QCOMPARE(view_->scrollOffset(), QPoint(0, 0));
    }
};

QTEST_MAIN(GridmintViewTest)
#include "tst_gridmint_view.moc"
