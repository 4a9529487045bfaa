// gridmint-shot: drives the real main window on the offscreen platform and
// saves pictures of it, so that layout, texts, the zoomed image and the grid
// can be looked at without a display.
//
//   gridmint-shot OUTPUT_DIR [IMAGE]
//
// IMAGE defaults to the first picture in the samples folder, or to a small
// generated one when there is none. Settings are kept away from the user's.
#include "app/AppSettings.h"
#include "app/ToolMode.h"
#include "desktop/CMainFrame.h"
#include "image/Codecs.h"
#include "ui/CAboutDlg.h"
#include "ui/CGridmintView.h"
#include "ui/COptionDlg.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"
#include "ui/UiResources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <vector>

#ifndef GRIDMINT_SAMPLES_DIR
#define GRIDMINT_SAMPLES_DIR "res/samples"
#endif

namespace {

using namespace gridmint;

// Answers every dialog without showing anything, unless `real` is set (for
// pictures of the questions); `saveAnswer`, when set, answers the save
// dialog.
class QuietDialogs : public UserDialogs {
public:
    bool real = false;
    QString saveAnswer;

    void message(QWidget*, const QString& text, const QString& caption) override
    {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(caption), qPrintable(text));
    }
    SaveAnswer askSaveChanges(QWidget* owner) override
    {
        return real ? UserDialogs::askSaveChanges(owner) : SaveAnswer::Discard;
    }
    bool confirm(QWidget* owner, const QString& text, const QString& caption) override
    {
        return real && UserDialogs::confirm(owner, text, caption);
    }
    QString openFileName(QWidget*, const QString&) override { return {}; }
    QString saveFileName(QWidget* owner, const QString& proposed, const QString& filter,
                         const QString& suffix) override
    {
        if (!saveAnswer.isEmpty()) {
            return saveAnswer;
        }
        return real ? UserDialogs::saveFileName(owner, proposed, filter, suffix) : QString();
    }
    bool editSettings(QWidget*, AppSettings&) override { return false; }
    void showAbout(QWidget*) override {}
    bool openUrl(const QUrl&) override { return true; }
};

// A 48 x 40 picture with slopes, a circle and a checker, 16 colours.
QString makeFallbackImage(const QString& dir)
{
    constexpr int w = 48;
    constexpr int h = 40;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w * h), 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t v = 1;
            const int dx = x - 14;
            const int dy = y - 14;
            if (dx * dx + dy * dy < 100) {
                v = 4;
            } else if (x > 26 && y > 4 && x - 26 < y - 4 && y < 30) {
                v = 7;
            } else if (y >= 30) {
                v = static_cast<std::uint8_t>(((x / 3 + y / 3) % 2) ? 10 : 12);
            }
            pixels[static_cast<std::size_t>(y * w + x)] = v;
        }
    }
    std::vector<Colour> colours;
    for (int i = 0; i < 16; ++i) {
        const auto r = static_cast<Colour>((i * 53) % 256);
        const auto g = static_cast<Colour>((i * 97 + 40) % 256);
        const auto b = static_cast<Colour>((i * 29 + 90) % 256);
        colours.push_back(kOpaque | (r << 16) | (g << 8) | b);
    }
    const QString path = dir + QStringLiteral("/generated.png");
    writePng(std::filesystem::path(path.toStdU16String()), pixels.data(), w, h, w, colours.data(),
             static_cast<std::int32_t>(colours.size()));
    return path;
}

QString findSample(const QString& tempDir)
{
    QDir samples(QStringLiteral(GRIDMINT_SAMPLES_DIR));
    const QStringList found = samples.entryList(
        {QStringLiteral("*.png"), QStringLiteral("*.bmp"), QStringLiteral("*.pcx")}, QDir::Files,
        QDir::Name);
    if (!found.isEmpty()) {
        return samples.absoluteFilePath(found.constFirst());
    }
    return makeFallbackImage(tempDir);
}

// A 256-colour ACT file whose neighbouring entries differ strongly.
QString makeActFile(const QString& dir)
{
    const QString path = dir + QStringLiteral("/contrast.act");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        QByteArray bytes;
        for (int i = 0; i < 256; ++i) {
            bytes.append(static_cast<char>(i * 37 % 256));
            bytes.append(static_cast<char>(i * 91 % 256));
            bytes.append(static_cast<char>(i * 151 % 256));
        }
        file.write(bytes);
    }
    return path;
}

bool save(QWidget* widget, const QString& dir, const QString& name)
{
    QApplication::processEvents();
    const QString path = dir + QLatin1Char('/') + name;
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// Saves a picture of the modal dialog that the next call opens, then
// cancels it.
void grabNextModal(const QString& dir, const QString& name, bool& ok)
{
    QTimer::singleShot(300, [dir, name, &ok] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            std::printf("FAILED no dialog for %s\n", qPrintable(name));
            ok = false;
            return;
        }
        ok &= save(dialog, dir, name);
        dialog->reject();
    });
}

// The window with its title as the platform would show it (the offscreen
// platform draws no frame), so that the modified mark can be seen.
bool saveWithTitle(QWidget* window, const QString& dir, const QString& name)
{
    QApplication::processEvents();
    const QPixmap body = window->grab();
    QImage shot(body.width(), body.height() + 28, QImage::Format_RGB32);
    shot.fill(QColor(0xDD, 0xDD, 0xDD));
    QPainter painter(&shot);
    const QString title = window->windowHandle() ? window->windowHandle()->title() : QString();
    painter.drawText(QRect(8, 0, body.width() - 16, 28), Qt::AlignVCenter, title);
    painter.drawPixmap(0, 28, body);
    painter.end();
    const QString path = dir + QLatin1Char('/') + name;
    const bool ok = shot.save(path);
    std::printf("%s %s (title \"%s\")\n", ok ? "wrote" : "FAILED", qPrintable(path),
                qPrintable(title));
    return ok;
}

// Press, drag through `points` and release, in result pixels.
void drag(CMainFrame& frame, const std::vector<QPoint>& points)
{
    const int z = frame.view()->zoom();
    auto at = [z](QPoint r) { return r * z + QPoint(z / 2, z / 2); };
    frame.OnViewPress(at(points.front()).x(), at(points.front()).y());
    for (QPoint p : points) {
        frame.OnViewDrag(at(p).x(), at(p).y());
    }
    frame.OnViewRelease(at(points.back()).x(), at(points.back()).y());
}

void selectZoom(CMainFrame& frame, int choice)
{
    // Setting the choice emits the zoom-selected signal, which the frame
    // answers itself.
    frame.toolPanel()->zoomCombo()->setCurrentIndex(choice);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    initUiResources();
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr,
                     "usage: gridmint-shot OUTPUT_DIR [IMAGE]\n"
                     "Saves screenshots of the main window (empty, every zoom, each tool,\n"
                     "palettes, menus, settings and about, a fast stroke, the save questions,\n"
                     "the narrowest window, a busy run) as PNG files in OUTPUT_DIR; first the\n"
                     "window as it starts, with the whole screen under a display server.\n");
        return argc < 2 ? 2 : 0;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    QTemporaryDir temp;
    const QString image = argc > 2 ? QString::fromLocal8Bit(argv[2]) : findSample(temp.path());

    AppSettings settings;
    settings.ImageScale = 4;
    auto quiet = std::make_unique<QuietDialogs>();
    QuietDialogs* dialogs = quiet.get();
    CMainFrame frame(settings, std::move(quiet));
    frame.show();
    frame.Open(std::filesystem::path(image.toStdU16String()));
    // The window as it starts on this screen (under a display server such as
    // Xvfb, the whole screen).
    QApplication::processEvents();
    const QRect available = frame.screen()->availableGeometry();
    std::printf("screen %dx%d available, window %dx%d at %d,%d\n", available.width(),
                available.height(), frame.width(), frame.height(), frame.x(), frame.y());
    const QPixmap screen = frame.screen()->grabWindow(0);
    bool ok =
        (screen.isNull() ? frame.grab() : screen).save(outDir + QStringLiteral("/00_started.png"));

    frame.resize(1100, 760);
    frame.Open(std::filesystem::path(makeActFile(temp.path()).toStdU16String()));
    ok &= save(&frame, outDir, QStringLiteral("01_started_palette.png"));
    frame.Open(std::filesystem::path(image.toStdU16String()));
    const int zooms[] = {1, 2, 4, 8, 12, 16, 32};
    for (int choice = 0; choice < 7; ++choice) {
        selectZoom(frame, choice);
        // Centre on the middle of the image so that details show at high zoom.
        if (const IndexedBitmap* shown = frame.view()->displayedBitmap()) {
            const int z = frame.view()->zoom();
            frame.view()->SetZoom(z, z * shown->width() / 2, z * shown->height() / 2);
        }
        ok &= save(&frame, outDir,
                   QStringLiteral("02_zoom%1.png").arg(zooms[choice], 2, 10, QLatin1Char('0')));
    }
    selectZoom(frame, 3);
    frame.gridAction()->trigger();
    ok &= save(&frame, outDir, QStringLiteral("03_zoom8_nogrid.png"));
    frame.gridAction()->trigger();

    const char* toolNames[] = {"nearest", "auto", "diagonal", "line", "corner", "dot", "zoom"};
    for (int mode = 0; mode < 7; ++mode) {
        if (QAbstractButton* button = frame.toolPanel()->toolButton(mode);
            button && button->isVisible()) {
            button->click();
            ok &= save(frame.toolPanel(), outDir,
                       QStringLiteral("04_tool_%1.png").arg(QLatin1String(toolNames[mode])));
        }
    }
    // A corner marker and a straight preview, as the corner tool leaves them
    // mid-stroke (points in result pixels).
    if (QAbstractButton* corner = frame.toolPanel()->toolButton(ToolCorner)) {
        corner->click();
        const int z = frame.view()->zoom();
        const QPoint o = frame.view()->scrollOffset();
        auto at = [&](int rx, int ry) { return QPoint(o.x() + rx * z, o.y() + ry * z); };
        frame.OnViewPress(at(10, 10).x(), at(10, 10).y());
        frame.OnViewRelease(at(10, 10).x(), at(10, 10).y());
        frame.OnViewPress(at(14, 10).x(), at(14, 10).y());
        frame.OnViewDrag(at(30, 12).x(), at(30, 12).y());
        ok &= save(&frame, outDir, QStringLiteral("05_corner_preview.png"));
        frame.OnViewRelease(at(30, 12).x(), at(30, 12).y());
    }

    frame.Open(std::filesystem::path(makeActFile(temp.path()).toStdU16String()));
    ok &= save(&frame, outDir, QStringLiteral("06_palette_added.png"));
    if (frame.palettePane()->entries().size() > 1) {
        // A click in the added block makes it the document's palette. Block 0
        // is the bar plus 229 pixels of swatches high, so y 300 lies in block 1.
        QWidget* pane = frame.palettePane()->viewport();
        const QPoint where(60, 300);
        QMouseEvent press(QEvent::MouseButtonPress, where, pane->mapToGlobal(where), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, where, pane->mapToGlobal(where),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(pane, &release);
        ok &= save(&frame, outDir, QStringLiteral("07_palette_applied.png"));
    }

    frame.paletteAction()->trigger();
    ok &= save(&frame, outDir, QStringLiteral("08_palette_hidden.png"));
    frame.paletteAction()->trigger();

    for (QMenu* menu : frame.menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        static int index = 0;
        menu->popup(frame.mapToGlobal(QPoint(10, 10)));
        ok &= save(menu, outDir, QStringLiteral("09_menu%1.png").arg(index++));
        menu->hide();
    }

    {
        COptionDlg dialog(settings, &frame);
        dialog.show();
        ok &= save(&dialog, outDir, QStringLiteral("10_settings.png"));
        dialog.hide();
    }
    {
        CAboutDlg dialog(&frame);
        dialog.show();
        ok &= save(&dialog, outDir, QStringLiteral("11_about.png"));
        dialog.hide();
    }

    // The work that must not be lost: a fast dot stroke (events 24 result
    // pixels apart) painted only at its events, as a program without the
    // line walk would, and then as a real drag; the title's modified mark;
    // the question on close; the Save As proposal; the question before the
    // source is replaced.
    // A copy, so that nothing here can touch the sample itself.
    const QString copy = temp.filePath(QFileInfo(image).fileName());
    QFile::copy(image, copy);
    frame.Open(std::filesystem::path(copy.toStdU16String()));
    selectZoom(frame, 3);
    frame.view()->SetZoom(frame.view()->zoom(), 1, 1);
    frame.toolPanel()->toolButton(ToolDot)->click();
    frame.palettePane()->setChosenColour(5);
    frame.toolPanel()->thicknessCombo()->setCurrentIndex(1);
    const std::vector<QPoint> fast = {{2, 4}, {22, 10}, {42, 16}, {62, 22}};
    ok &= saveWithTitle(&frame, outDir, QStringLiteral("12_title_unmodified.png"));
    {
        ScaleDocument& doc = frame.document();
        doc.BeginStroke();
        for (QPoint p : fast) {
            doc.PlotDots(p.x(), p.y() + 30, 5, frame.toolPanel()->thickness());
        }
        doc.EndStroke();
    }
    drag(frame, fast);
    frame.view()->Redraw();
    ok &= saveWithTitle(&frame, outDir, QStringLiteral("13_fast_stroke_and_title_mark.png"));
    dialogs->real = true;
    grabNextModal(outDir, QStringLiteral("14_save_question.png"), ok);
    ok &= !frame.close(); // the grab answers キャンセル: the window stays
    grabNextModal(outDir, QStringLiteral("15_save_as_proposal.png"), ok);
    frame.files().OnFileSaveAs();
    dialogs->saveAnswer = copy; // choosing the source itself
    grabNextModal(outDir, QStringLiteral("16_replace_source_question.png"), ok);
    frame.files().OnFileSaveAs();
    dialogs->real = false;

    // The narrowest window: the tool strip wraps instead of cutting controls.
    frame.resize(frame.minimumSize());
    ok &= save(&frame, outDir, QStringLiteral("17_narrowest.png"));
    frame.resize(1100, 760);

    // The busy state: a forced re-run at factor 32 on the worker, pictured
    // from inside it.
    settings.ImageScale = 32;
    frame.setBackgroundFrom(0);
    QTimer::singleShot(0, &frame, [&] {
        std::printf("busy: %s\n", frame.isBusy() ? "yes" : "no (the run was too quick)");
        ok &= save(&frame, outDir, QStringLiteral("18_busy_x32.png"));
    });
    frame.toolPanel()->reapplyButton()->click();
    return ok ? 0 : 1;
}
