// Drives the real image view offscreen. Expectations are worked out in
// device pixels, so the same cases run at screen scale 1 and 1.5 (CTest runs
// this program both ways): at 1.5 every image pixel must still cover whole
// device pixels and the grid stay on the cell edges.
#include "ui/CGridmintView.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <memory>
#include <vector>

using gridmint::CGridmintView;
using gridmint::IndexedBitmap;

namespace {

constexpr QRgb kGrid = 0xFFC4C4C4u;

std::unique_ptr<IndexedBitmap> MakeBitmap(int w, int h)
{
    auto bitmap = std::make_unique<IndexedBitmap>(w, h);
    std::vector<gridmint::Colour> colours;
    for (unsigned i = 0; i < 64; ++i) {
        colours.push_back(gridmint::kOpaque | ((i * 0x0A1B2Cu + 0x203040u) & 0xFFFFFFu));
    }
    bitmap->setColourTable(colours);
    unsigned state = 11;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            state = state * 1103515245u + 12345u;
            bitmap->row(y)[x] = static_cast<std::uint8_t>((state >> 16) % 64);
        }
    }
    return bitmap;
}

} // namespace

class GridmintViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CGridmintView> view_;
    std::unique_ptr<IndexedBitmap> bitmap_;

    double dpr() const { return view_->viewport()->devicePixelRatioF(); }
    int dev(double logical) const { return static_cast<int>(std::floor(logical * dpr() + 1e-6)); }
    QImage shot() const
    {
        return view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QRgb window() const { return view_->palette().color(QPalette::Base).rgb(); }
    void scrollTo(int x, int y)
    {
        view_->horizontalScrollBar()->setValue(x);
        view_->verticalScrollBar()->setValue(y);
    }
    void show(int zoom, int scale)
    {
        view_->setDisplayedBitmap(bitmap_.get());
        view_->setResultScale(scale);
        view_->RefreshExtent();
        QApplication::processEvents(); // lets the scroll bars settle
        view_->SetZoom(zoom, -1, -1);
        QApplication::processEvents();
        scrollTo(0, 0);
    }
    void sendMouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, pos, view_->viewport()->mapToGlobal(pos), button, buttons, {});
        QApplication::sendEvent(view_->viewport(), &event);
    }
    void sendWheel(int delta, Qt::KeyboardModifiers mods)
    {
        QWheelEvent event({10, 10}, view_->viewport()->mapToGlobal(QPointF(10, 10)), {}, {0, delta},
                          Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view_->viewport(), &event);
    }
    // The image (or window colour) at device pixel (x, y) of the viewport,
    // grid and outlines aside.
    QRgb expected(int x, int y) const
    {
        const int z = view_->zoom();
        const int px = x + view_->scrollOffset().x();
        const int py = y + view_->scrollOffset().y();
        if (px >= z * bitmap_->width() || py >= z * bitmap_->height()) {
            return window();
        }
        return bitmap_->colourTable()[bitmap_->row(py / z)[px / z]];
    }

private slots:
    void init()
    {
        view_ = std::make_unique<CGridmintView>();
        view_->resize(320, 240);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        bitmap_ = MakeBitmap(97, 61);
    }
    void cleanup() { view_.reset(); }

    void paintEqualsAPlainPerPixelCopy_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::addColumn<int>("scrollX");
        QTest::addColumn<int>("scrollY");
        QTest::newRow("z1") << 1 << 0 << 0;
        QTest::newRow("z3") << 3 << 17 << 11;
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
        scrollTo(scrollX, scrollY);
        const QImage image = shot();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) != expected(x, y)) {
                    QFAIL(qPrintable(QStringLiteral("device pixel %1,%2").arg(x).arg(y)));
                }
            }
        }
    }

    void noBitmapShowsTheWindowColourAndStillReportsTheMouse()
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
        for (int y = 1; y < 12; ++y) {
            QCOMPARE(image.pixel(12, y) == kGrid, y % 6 < 3);
            QCOMPARE(image.pixel(11, y), expected(11, y));
            QCOMPARE(image.pixel(13, y), expected(13, y));
        }
        // Zoom 16, factor 4: rows at multiples of 64 solid, other 16s dotted
        // and crossed by the columns (dotted columns are on at row 80, off at 81).
        show(16, 4);
        scrollTo(50, 40);
        image = shot();
        for (int x = 0; x < image.width(); ++x) {
            const int px = x + 50;
            QCOMPARE(image.pixel(x, 64 - 40), kGrid);
            QCOMPARE(image.pixel(x, 80 - 40) == kGrid, px % 6 < 3 || px % 16 == 0);
            QCOMPARE(image.pixel(x, 81 - 40), px % 64 == 0 ? kGrid : expected(x, 81 - 40));
        }
    }

    void outlinesInvertTheCellPerimeterAndCancelInPairs()
    {
        view_->setGridShown(false);
        show(8, 1);
        view_->setHoverShown(true);
        view_->setHoverPos(3, 2); // cell x 24..31, y 16..23
        QImage image = shot();
        for (int y = 14; y < 26; ++y) {
            for (int x = 22; x < 34; ++x) {
                const bool inside = x >= 24 && x <= 31 && y >= 16 && y <= 23;
                const bool edge = x == 24 || x == 31 || y == 16 || y == 23;
                QCOMPARE(image.pixel(x, y), expected(x, y) ^ (inside && edge ? 0xFFFFFFu : 0u));
            }
        }
        // A diagonal preview on that same cell inverts it back.
        view_->setLineKind(2);
        view_->setLineStart(3, 2);
        view_->setLineEnd(3, 2);
        QCOMPARE(shot().pixel(24, 16), expected(24, 16));
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
        using Args = QList<QVariant>;

        sendMouse(QEvent::MouseMove, {10, 20}, Qt::NoButton, Qt::NoButton);
        QCOMPARE(hover.value(0), (Args{50 + dev(10), 30 + dev(20)}));
        sendMouse(QEvent::MouseButtonPress, {10, 20}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(down.value(0), (Args{50 + dev(10), 30 + dev(20)}));
        // Held beyond the view's top left: negative coordinates.
        sendMouse(QEvent::MouseMove, {-70, -40}, Qt::NoButton, Qt::LeftButton);
        QCOMPARE(drag.value(0), (Args{50 + dev(-70), 30 + dev(-40)}));
        sendMouse(QEvent::MouseButtonRelease, {-70, -40}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(up.value(0), (Args{50 + dev(-70), 30 + dev(-40)}));
        sendMouse(QEvent::MouseButtonPress, {3, 4}, Qt::RightButton, Qt::RightButton);
        QCOMPARE(right.value(0), (Args{50 + dev(3), 30 + dev(4)}));
        // A quick second click is a press like the first.
        sendMouse(QEvent::MouseButtonDblClick, {3, 4}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(down.count(), 2);
        QCOMPARE(hover.count() + drag.count() + up.count() + right.count(), 4);
    }

    void wheelZoomsWithCtrlAndScrollsOtherwise()
    {
        show(8, 1);
        QSignalSpy in(view_.get(), &CGridmintView::UWM_ZOOM_IN);
        QSignalSpy out(view_.get(), &CGridmintView::UWM_ZOOM_OUT);
        sendWheel(-360, Qt::ControlModifier); // toward the user: one message
        sendWheel(0, Qt::ControlModifier);
        sendWheel(120, Qt::ControlModifier);
        QCOMPARE(in.count(), 1);
        QCOMPARE(out.count(), 2);
        QCOMPARE(view_->scrollOffset(), QPoint(0, 0));

        const int lines = QApplication::wheelScrollLines();
        QScrollBar* h = view_->horizontalScrollBar();
        QScrollBar* v = view_->verticalScrollBar();
        sendWheel(-120, Qt::ShiftModifier); // toward the user scrolls right
        QCOMPARE(h->value(), lines * h->singleStep());
        sendWheel(120, Qt::ShiftModifier); // away scrolls left
        QCOMPARE(h->value(), 0);
        sendWheel(-120, Qt::NoModifier);
        QCOMPARE(v->value(), lines * v->singleStep());
        QCOMPARE(h->value(), 0);
    }

    void cursorKindOneIsTheMagnifierWithItsHotSpotTopLeft()
    {
        gridmint::initUiResources();
        view_->setCursorKind(1);
        QCOMPARE(view_->viewport()->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(view_->viewport()->cursor().hotSpot(), QPoint(0, 0));
        view_->setCursorKind(2);
        QCOMPARE(view_->viewport()->cursor().shape(), Qt::ArrowCursor);
    }

    void zoomErasesOnlyWhenShrinkingAndExtentKeepsOrResetsTheOffset()
    {
        show(8, 1);
        view_->SetZoom(4, -1, -1);
        QVERIFY(view_->eraseNeeded());
        shot();
        QVERIFY(!view_->eraseNeeded());
        view_->SetZoom(8, -1, -1);
        QVERIFY(!view_->eraseNeeded());
        view_->SetZoom(0, -1, -1);
        QCOMPARE(view_->zoom(), 8);

        QScrollBar* h = view_->horizontalScrollBar();
        QCOMPARE(h->maximum() + h->pageStep(), 8 * bitmap_->width() + 1);
        scrollTo(100, 60);
        view_->RefreshExtent(true);
        QCOMPARE(view_->scrollOffset(), QPoint(100, 60));
        view_->RefreshExtent();
        QCOMPARE(view_->scrollOffset(), QPoint(0, 0));
    }
};

QTEST_MAIN(GridmintViewTest)
#include "tst_gridmint_view.moc"
