// Long jobs on a worker thread: the window stays usable, a newer request
// supersedes the run in flight, edits wait, and the document afterwards is
// exactly what running everything in place would have made.
#include "FrameTestSupport.h"
#include "image/Codecs.h"
#include "ui/CGridmintView.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

namespace gridmint::test {

namespace {

// The document holds one consistent state: a job for the source, the result
// that job makes for `path` when run in place, and that result on screen.
void checkConsistent(FrameHarness& h, const std::filesystem::path& path)
{
    const ScaleDocument& doc = h.frame->document();
    QVERIFY(!h.frame->isBusy());
    QVERIFY(doc.job() != nullptr && doc.resultBitmap() != nullptr);
    QCOMPARE(h.frame->view()->displayedBitmap(), doc.resultBitmap());
    ScaleDocument reference;
    QVERIFY(reference.Load(path));
    const IndexedBitmap* expected = reference.Apply(doc.job()->factor(), doc.job()->threshold(),
                                                    false, doc.job()->transparentIndex());
    QVERIFY(expected != nullptr);
    QCOMPARE(pixelsOf(*doc.resultBitmap()), pixelsOf(*expected));
}

} // namespace

class FrameBusyTest : public QObject {
    Q_OBJECT
private slots:
    void newerRequestSupersedesTheRunInFlight()
    {
        FrameHarness h(8);
        h.frame->setBackgroundFrom(0); // every load, run and save on the worker
        const auto path = h.openPattern(QStringLiteral("big.png"), 192, 192);
        checkConsistent(h, path);
        const auto before = pixelsOf(*h.frame->document().resultBitmap());
        const int runs = h.frame->engineRuns();

        bool sawBusy = false;
        QString note;
        QTimer::singleShot(0, h.frame.get(), [&] {
            // Inside the forced run below: the window still handles input.
            sawBusy = h.frame->isBusy();
            h.frame->toolPanel()->thresholdSlider()->setValue(47);
            emit h.frame->toolPanel()->UWM_REAPPLY();
            emit h.frame->view()->UWM_VIEW_LBUTTONDOWN(20, 20); // an edit must wait
            emit h.frame->view()->UWM_VIEW_LBUTTONUP(20, 20);
            note = h.frame->statusBar()->currentMessage();
        });
        h.frame->toolPanel()->reapplyButton()->click();
        QVERIFY(sawBusy);
        QVERIFY(note.contains(QStringLiteral("処理中")));
        QCOMPARE(h.frame->engineRuns(), runs + 2);
        QCOMPARE(h.frame->document().job()->threshold(), 47.0);
        checkConsistent(h, path);
        QCoreApplication::processEvents(); // the slider's own request: nothing left to run
        QCOMPARE(h.frame->engineRuns(), runs + 2);

        // The superseded run left no step: one undo returns to the start.
        h.frame->undoAction()->trigger();
        QCOMPARE(pixelsOf(*h.frame->document().resultBitmap()), before);
        h.frame->redoAction()->trigger();

        // A save on the worker writes what is on screen.
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("out.png"));
        h.frame->files().OnFileSaveAs();
        const auto back = readPng(h.file(QStringLiteral("out.png")));
        QVERIFY(back != nullptr);
        QCOMPARE(back->image->width(), h.frame->document().resultBitmap()->width());
        QCOMPARE(back->image->row(100)[0], h.frame->document().resultBitmap()->row(100)[0]);
        QVERIFY(!h.frame->document().IsModified());
    }

    void runsBorrowTheJobAndRefillTheRasterOnScreen()
    {
        FrameHarness h(8);
        h.frame->setBackgroundFrom(0);
        // Room for strokes, not for a whole result: as at the largest factors.
        h.frame->document().history().setBudget(16 * 1024);
        const auto path = h.openPattern(QStringLiteral("big.png"), 192, 192);
        const IndexedBitmap* raster = h.frame->document().resultBitmap();
        const ScaleJob* job = h.frame->document().job();
        int runs = h.frame->engineRuns();

        // Calls `act` once a run has borrowed the job from the document.
        QTimer poll;
        std::function<void()> act;
        connect(&poll, &QTimer::timeout, [&] {
            if (h.frame->document().job() == nullptr) {
                poll.stop();
                act();
            }
        });

        // Superseded by a slider move: the next run takes the job over.
        act = [&] {
            h.frame->toolPanel()->thresholdSlider()->setValue(47);
            h.frame->ReapplyIfChanged();
        };
        poll.start(0);
        h.frame->toolPanel()->reapplyButton()->click();
        QVERIFY(!poll.isActive());
        QCOMPARE(h.frame->engineRuns(), runs + 2);
        QCOMPARE(h.frame->document().resultBitmap(), raster);
        QCOMPARE(h.frame->document().job(), job);
        QCOMPARE(h.frame->document().job()->threshold(), 47.0);
        checkConsistent(h, path);

        // A request for what the run in flight makes anyway adds no run.
        runs = h.frame->engineRuns();
        act = [&] { h.frame->ReapplyIfChanged(); };
        poll.start(0);
        h.frame->toolPanel()->reapplyButton()->click();
        QVERIFY(!poll.isActive());
        QCoreApplication::processEvents();
        QCOMPARE(h.frame->engineRuns(), runs + 1);
        QCOMPARE(h.frame->document().resultBitmap(), raster);
        checkConsistent(h, path);
    }
};

std::unique_ptr<QObject> makeFrameBusyTest()
{
    return std::make_unique<FrameBusyTest>();
}

} // namespace gridmint::test

#include "FrameBusyTest.moc"
