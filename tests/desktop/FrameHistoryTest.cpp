// The artist's work is never lost: the save question on close, open and
// drop; the modified mark; Save As never proposing the source; undo and redo
// of strokes and re-runs through the window; strokes without gaps.
#include "FrameTestSupport.h"
#include "app/ToolMode.h"
#include "image/Codecs.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QSlider>
#include <QTest>

namespace gridmint::test {

namespace {

using SaveAnswer = UserDialogs::SaveAnswer;

constexpr int kZoom = 4; // zoom choice 2

// A frame with an 8 x 8 image at factor 4 and a few dots on it.
struct Edited {
    FrameHarness h{4};
    std::filesystem::path source;

    Edited()
    {
        source = h.openPattern(QStringLiteral("art.png"), 8, 8);
        h.selectZoomChoice(2);
        h.selectTool(ToolDot);
        dots({{2, 2}, {20, 2}});
    }
    QWidget* viewport() { return h.frame->view()->viewport(); }
    // One stroke of the current tool through result pixels.
    void dots(const std::vector<QPoint>& points)
    {
        auto at = [](QPoint r) { return r * kZoom + QPoint(1, 1); };
        QTest::mousePress(viewport(), Qt::LeftButton, {}, at(points.front()));
        for (QPoint p : points) {
            QTest::mouseMove(viewport(), at(p));
        }
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, at(points.back()));
    }
    std::vector<std::uint8_t> shown() { return pixelsOf(*h.frame->document().resultBitmap()); }
    void drop(const std::filesystem::path& path)
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdU16String(path.u16string()))});
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.frame.get(), &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.frame.get(), &event);
    }
};

std::vector<std::uint8_t> filePixels(const std::filesystem::path& path)
{
    const auto set = readPng(path);
    std::vector<std::uint8_t> out;
    for (int y = 0; y < set->image->height(); ++y) {
        out.insert(out.end(), set->image->row(y), set->image->row(y) + set->image->width());
    }
    return out;
}

} // namespace

class FrameHistoryTest : public QObject {
    Q_OBJECT
private slots:
    void titleMarkFollowsChangesAndSaves()
    {
        Edited e;
        QVERIFY(e.h.frame->windowTitle().contains(QStringLiteral("[*]")));
        QVERIFY(e.h.frame->isWindowModified());
        e.h.dialogs->saveAnswers << e.h.dir.filePath(QStringLiteral("out.png"));
        QVERIFY(e.h.frame->files().OnFileSave());
        QVERIFY(!e.h.frame->isWindowModified());
        e.h.frame->undoAction()->trigger();
        QVERIFY(e.h.frame->isWindowModified());
        QVERIFY(e.h.frame->redoAction()->isEnabled());
        e.h.frame->redoAction()->trigger(); // back at the saved state
        QVERIFY(!e.h.frame->isWindowModified());
        QVERIFY(!e.h.frame->redoAction()->isEnabled());
    }

    void closeAsksFirst()
    {
        Edited e;
        e.h.dialogs->saveChangesAnswers << SaveAnswer::Cancel;
        QVERIFY(!e.h.frame->close());
        QVERIFY(e.h.frame->isVisible());
        // 保存, then the Save As dialog cancelled: nothing was saved.
        e.h.dialogs->saveChangesAnswers << SaveAnswer::Save;
        QVERIFY(!e.h.frame->close());
        // 保存 with a save that fails keeps the window and the edits.
        e.h.dialogs->saveChangesAnswers << SaveAnswer::Save;
        e.h.dialogs->saveAnswers << e.h.dir.filePath(QStringLiteral("no/such/dir/x.png"));
        QVERIFY(!e.h.frame->close());
        QCOMPARE(e.h.dialogs->messages.size(), 1);
        QVERIFY(e.h.frame->isWindowModified());
        QCOMPARE(e.h.dialogs->saveChangesQuestions, 3);

        // 保存 without a name yet goes through Save As, then closes.
        Edited s;
        s.h.dialogs->saveChangesAnswers << SaveAnswer::Save;
        s.h.dialogs->saveAnswers << s.h.dir.filePath(QStringLiteral("kept.png"));
        QVERIFY(s.h.frame->close());
        QCOMPARE(filePixels(s.h.file(QStringLiteral("kept.png"))), s.shown());

        Edited d;
        d.h.dialogs->saveChangesAnswers << SaveAnswer::Discard;
        QVERIFY(d.h.frame->close());
    }

    void openAndDropAskFirst()
    {
        Edited e;
        const auto other = e.h.file(QStringLiteral("other.png"));
        writeImage(other, 6, 6);
        const auto edited = e.shown();

        e.h.dialogs->saveChangesAnswers << SaveAnswer::Cancel;
        e.h.frame->Open(other);
        e.drop(other);
        QCOMPARE(e.h.dialogs->saveChangesQuestions, 2);
        QCOMPARE(e.h.frame->files().loadedPath(), e.source);
        QCOMPARE(e.shown(), edited);

        // A palette file keeps every edit and asks nothing.
        writeAct(e.h.file(QStringLiteral("p.act")));
        e.h.frame->Open(e.h.file(QStringLiteral("p.act")));
        QCOMPARE(e.h.dialogs->saveChangesQuestions, 2);

        e.h.dialogs->saveChangesAnswers << SaveAnswer::Save;
        e.h.dialogs->saveAnswers << e.h.dir.filePath(QStringLiteral("first.png"));
        e.drop(other);
        QCOMPARE(e.h.frame->files().loadedPath(), other);
        QVERIFY(QFile::exists(e.h.dir.filePath(QStringLiteral("first.png"))));
        QVERIFY(!e.h.frame->isWindowModified());
        QVERIFY(!e.h.frame->undoAction()->isEnabled()); // a new image, a new history

        e.dots({{1, 1}, {3, 1}});
        e.h.dialogs->saveChangesAnswers << SaveAnswer::Discard;
        e.h.frame->Open(e.source);
        QCOMPARE(e.h.frame->files().loadedPath(), e.source);
    }

    void saveAsNeverProposesTheSource()
    {
        Edited e;
        // The default folder is the source's own, reached through "./" and
        // through a link to the file.
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(e.h.dir.path());
        e.h.settings.DefaultSaveFolder = std::string(1, '.');
        const std::filesystem::path link = e.h.file(QStringLiteral("link.png"));
        std::filesystem::create_symlink(e.source, link);
        for (const std::filesystem::path& opened : {std::filesystem::path("./art.png"), link}) {
            e.h.dialogs->saveChangesAnswers << SaveAnswer::Discard;
            e.h.frame->Open(opened);
            e.h.dialogs->proposedSaveNames.clear();
            e.h.frame->files().OnFileSaveAs();
            const std::filesystem::path proposed =
                e.h.dialogs->proposedSaveNames.value(0).toStdU16String();
            QCOMPARE(proposed.parent_path().filename(), std::filesystem::path("OUTPUT"));
            QCOMPARE(proposed.filename(), opened.filename());
            QVERIFY(!std::filesystem::exists(proposed.parent_path())); // made only to save in
        }

        // Choosing the source asks, naming it; no (the default) writes nothing.
        e.h.dialogs->saveAnswers << QStringLiteral("./art.png");
        QVERIFY(!e.h.frame->files().OnFileSaveAs());
        QCOMPARE(e.h.dialogs->confirmations.size(), 1);
        QVERIFY(e.h.dialogs->confirmations[0].contains(QStringLiteral("link.png")));
        QCOMPARE(readPng(e.source)->width(), 8);
        QVERIFY(e.h.frame->files().savePath().empty());
        e.h.dialogs->saveAnswers << QStringLiteral("./art.png");
        e.h.dialogs->confirmAnswers << true;
        QVERIFY(e.h.frame->files().OnFileSaveAs());
        QCOMPARE(readPng(e.source)->width(), 32);
        QDir::setCurrent(cwd);
    }

    void reRunsAreStepsWithTheirControls()
    {
        Edited e;
        const auto edited = e.shown();
        QSlider* slider = e.h.frame->toolPanel()->thresholdSlider();
        const int before = slider->value();

        // One drag over many values: one step.
        slider->setSliderDown(true);
        for (int v : {before + 10, before + 20, before + 30}) {
            slider->setValue(v);
            QCoreApplication::processEvents();
        }
        slider->setSliderDown(false);
        // A factor change from the settings: another step.
        e.h.dialogs->onSettings = [](AppSettings& st) {
            st.ImageScale = 2;
            return true;
        };
        e.h.frame->settingsAction()->trigger();
        QCOMPARE(e.h.frame->view()->displayedBitmap()->width(), 16);

        const int runs = e.h.frame->engineRuns();
        e.h.frame->undoAction()->trigger();
        QCOMPARE(e.h.settings.ImageScale, 4);
        QCOMPARE(e.h.frame->view()->displayedBitmap()->width(), 32);
        QCOMPARE(slider->value(), before + 30);
        e.h.frame->undoAction()->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(slider->value(), before);
        QCOMPARE(e.shown(), edited);             // the hand edits are back
        QCOMPARE(e.h.frame->engineRuns(), runs); // and nothing ran for it
    }

    void reRunBeyondTheBudgetAsks()
    {
        Edited e;
        e.h.frame->document().history().setBudget(4096);
        QSlider* slider = e.h.frame->toolPanel()->thresholdSlider();
        const int before = slider->value();
        const auto edited = e.shown();
        const int runs = e.h.frame->engineRuns();
        slider->setValue(before + 25);
        QCoreApplication::processEvents();
        QCOMPARE(e.h.dialogs->confirmations.size(), 1);
        QCOMPARE(slider->value(), before); // no: the slider goes back
        QCOMPARE(e.h.frame->engineRuns(), runs);
        QCOMPARE(e.shown(), edited);

        e.h.dialogs->confirmAnswers << true;
        e.h.frame->toolPanel()->reapplyButton()->click();
        QCOMPARE(e.h.frame->engineRuns(), runs + 1);
        QVERIFY(!e.h.frame->undoAction()->isEnabled());
    }

    void fastDragPaintsLikeASlowOne()
    {
        // A straight, a diagonal and a vertical run, once with an event at
        // every result pixel and once with one every ten (and at the turns).
        struct Run {
            QPoint from;
            QPoint step;
            int length;
        };
        const Run runs[] = {{{0, 0}, {1, 0}, 12}, {{12, 0}, {1, 1}, 12}, {{24, 12}, {0, 1}, 10}};
        std::vector<QPoint> slow;
        std::vector<QPoint> fast;
        for (const Run& run : runs) {
            for (int i = 0; i <= run.length; ++i) {
                slow.push_back(run.from + run.step * i);
                if (i % 10 == 0 || i == run.length) {
                    fast.push_back(slow.back());
                }
            }
        }
        for (int tool : {int(ToolDot), int(ToolNearest)}) {
            std::vector<std::uint8_t> painted[2];
            for (int pass = 0; pass < 2; ++pass) {
                Edited e;
                // A background the brush visibly paints over.
                ScaleDocument& doc = e.h.frame->document();
                doc.BeginStroke();
                for (int y = 0; y < 32; ++y) {
                    doc.PlotDotsAlong({0, y}, {31, y}, 14, 1);
                }
                doc.EndStroke();
                const auto before = e.shown();
                e.h.selectTool(tool);
                e.h.frame->toolPanel()->thicknessCombo()->setCurrentIndex(0);
                e.h.frame->palettePane()->setChosenColour(15);
                e.dots(pass == 0 ? slow : fast);
                painted[pass] = e.shown();
                e.h.frame->undoAction()->trigger(); // the whole drag is one step
                QCOMPARE(e.shown(), before);
            }
            QCOMPARE(painted[1], painted[0]);
        }
    }
};

std::unique_ptr<QObject> makeFrameHistoryTest()
{
    return std::make_unique<FrameHistoryTest>();
}

} // namespace gridmint::test

#include "FrameHistoryTest.moc"
