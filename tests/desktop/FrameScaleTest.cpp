// The main window at a fractional screen scale (run with QT_SCALE_FACTOR=1.5).
// The view's zoomed plane is laid out in device pixels, so that one image
// pixel at zoom Z is exactly Z device pixels wide: mouse positions must
// still name the right result pixels, and no cell may be blended.
#include "FrameTestSupport.h"
#include "app/ToolMode.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QScrollBar>
#include <QTest>

namespace gridmint::test {

class FrameScaleTest : public QObject {
    Q_OBJECT
private slots:
    void pixelsAndPositionsAtOneAndAHalf()
    {
        FrameHarness h(2);
        QVERIFY(qAbs(h.frame->devicePixelRatioF() - 1.5) < 0.01);
        h.openPattern(QStringLiteral("scaled.png"), 40, 40); // 80 x 80 result
        h.selectZoomChoice(3);                               // 640 x 640 logical
        h.frame->gridAction()->trigger();                    // grid off: plain cells
        h.selectTool(ToolDot);
        h.frame->palettePane()->setChosenColour(15);
        auto* view = h.frame->view();
        view->horizontalScrollBar()->setValue(37);
        view->verticalScrollBar()->setValue(21);
        const QPoint offset = view->scrollOffset();

        const QPoint at(101, 66);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        // 101 and 66 logical pixels are 151.5 and 99 device pixels.
        const int rx = (offset.x() + 151) / 8;
        const int ry = (offset.y() + 99) / 8;
        const IndexedBitmap* result = h.frame->document().resultBitmap();
        QCOMPARE(int(result->row(ry)[rx]), 15);

        // Every device pixel shows the colour of the result pixel it belongs
        // to: a cell is 8 device pixels, never a blend of two.
        const QImage shot = view->viewport()->grab().toImage();
        QVERIFY(qAbs(shot.devicePixelRatio() - 1.5) < 0.01);
        const auto table = result->colourTable();
        const int limit = std::min(shot.width(), shot.height()) - 1;
        for (int d = 0; d < limit; ++d) {
            const int px = (offset.x() + d) / 8;
            const int py = (offset.y() + d) / 8;
            if (px >= result->width() || py >= result->height()) {
                break;
            }
            const QRgb want = table[result->row(py)[px]] | 0xFF000000u;
            QCOMPARE(shot.pixel(d, d) | 0xFF000000u, want);
        }
    }
};

} // namespace gridmint::test

std::vector<std::unique_ptr<QObject>> makeDesktopTests()
{
    std::vector<std::unique_ptr<QObject>> tests;
    tests.push_back(std::make_unique<gridmint::test::FrameScaleTest>());
    return tests;
}

#include "FrameScaleTest.moc"
