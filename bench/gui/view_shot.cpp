// Renders the image view offscreen at a few zooms, with grid and tool
// outlines, into PNG files for a look by eye. Usage: gridmint-view-shot DIR
#include "ViewSamples.h"
#include "ui/CGridmintView.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScrollBar>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    const auto bitmap = gridmint::sample::BlockResult(48, 40, 4);

    struct Shot {
        const char* name;
        int zoom;
        int scrollX;
        int scrollY;
    };
    const Shot shots[] = {{"zoom1", 1, 0, 0},
                          {"zoom8", 8, 200, 150},
                          {"zoom32", 32, 1000, 700},
                          {"zoom8_end", 8, 1 << 20, 1 << 20}};
    for (const Shot& shot : shots) {
        gridmint::CGridmintView view;
        view.resize(640, 480);
        view.setDisplayedBitmap(bitmap.get());
        view.setResultScale(4);
        view.RefreshExtent();
        view.show();
        // Lets the scroll bars appear and the viewport settle before scrolling.
        QApplication::processEvents();
        view.SetZoom(shot.zoom, -1, -1);
        QApplication::processEvents();
        view.horizontalScrollBar()->setValue(shot.scrollX);
        view.verticalScrollBar()->setValue(shot.scrollY);
        const QPoint off = view.scrollOffset();
        const int z = shot.zoom;
        // Hover on the cell under the viewport centre; a straight preview and
        // a diagonal preview near it.
        const int cx = (off.x() + 320) / z;
        const int cy = (off.y() + 240) / z;
        view.setHoverShown(true);
        view.setHoverPos(cx, cy);
        view.setLineKind(2);
        view.setLineStart(cx - 12, cy - 12);
        view.setLineEnd(cx - 24, cy);
        view.grab().save(dir + QStringLiteral("/view_%1_diagonal.png").arg(shot.name));
        view.setLineKind(1);
        view.setLineStart(cx + 4, cy + 4);
        view.setLineEnd(cx + 22, cy + 9);
        view.grab().save(dir + QStringLiteral("/view_%1_straight.png").arg(shot.name));
        std::printf("%s: offset %d,%d\n", shot.name, off.x(), off.y());
    }
    return 0;
}
