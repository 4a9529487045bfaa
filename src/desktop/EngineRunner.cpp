#include "desktop/EngineRunner.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace gridmint {

namespace {

// The window's thread must get the processor whenever it has an event to
// handle, even on a machine with fewer cores than the engine has threads:
// the background work runs below normal priority. Qt's thread priorities
// do nothing for ordinary Linux threads, so there the thread's own nice
// value is raised; the threads it starts (the engine's, the writer's)
// inherit it.
void lowerThisThread()
{
#ifdef Q_OS_LINUX
    const pid_t self = gettid();
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
    if (errno == 0) {
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(self), std::min(nice + 10, 19));
    }
#else
    QThread::currentThread()->setPriority(QThread::LowPriority);
#endif
}

} // namespace

EngineRunner::EngineRunner(QObject& owner, ScaleDocument& document,
                           std::function<Request()> current, std::function<void(bool)> showBusy,
                           std::function<void(bool)> rerun)
    : owner_(owner), document_(document), current_(std::move(current)),
      showBusy_(std::move(showBusy)), rerun_(std::move(rerun))
{
    disposer_.setMaxThreadCount(1);
}

bool EngineRunner::resultMatches(const ScaleDocument& document, const Request& request)
{
    const ScaleJob* job = document.job();
    return job && job->factor() == request.factor && job->threshold() == request.threshold &&
           job->transparentIndex() == request.transparentIndex &&
           document.resultCellLayout() == document.cellLayout();
}

IndexedBitmap* EngineRunner::run(Request request, int& runs)
{
    ++runs;
    runLoopActive_ = true;
    setBusy(true);
    // The document keeps showing the present result while the run works
    // aside; only AdoptRun below changes it.
    std::unique_ptr<DetachedRun> run =
        document_.PrepareRun(request.factor, request.threshold, request.transparentIndex);
    IndexedBitmap* adopted = nullptr;
    while (run) {
        rerunWanted_ = false;
        forceWanted_ = false;
        jobLent_ = run->borrowsJob();
        DetachedRun& running = *run;
        waitFor([&running] { running.Execute(); });
        request = current_();
        const ScaleSettings& made = run->settings();
        const bool stillWanted = !forceWanted_ && made.factor == request.factor &&
                                 made.threshold == request.threshold &&
                                 made.transparentIndex == request.transparentIndex &&
                                 run->cellLayout() == document_.cellLayout();
        if (!rerunWanted_ || stillWanted) {
            // A large result is copied into the raster on screen a band at
            // a time, with the window's events handled in between.
            adopted = document_.AdoptRun(*run, [] { QApplication::processEvents(); });
            break;
        }
        // The controls changed while it ran: their values win, and the
        // finished result goes unseen.
        if (!forceWanted_ && !run->borrowsJob() && resultMatches(document_, request)) {
            adopted = document_.resultBitmap(); // back to the result on screen
            break;
        }
        std::unique_ptr<DetachedRun> next =
            document_.PrepareRun(*run, request.factor, request.threshold, request.transparentIndex);
        disposeAside(std::move(run));
        run = std::move(next);
        ++runs;
    }
    disposeAside(std::move(run));
    jobLent_ = false;
    runLoopActive_ = false;
    setBusy(false);
    return adopted;
}

void EngineRunner::requestRerun(bool forced)
{
    rerunWanted_ = true;
    forceWanted_ = forceWanted_ || forced;
}

void EngineRunner::disposeAside(std::unique_ptr<DetachedRun> run)
{
    // Handing a gigabyte back to the system takes long enough to stall the
    // window; a thread of the runner's own pool does it, below normal
    // priority like the rest of the background work (Qt's global pool also
    // serves the window's own image conversions, so it stays as it is). The
    // pool waits for it when the runner goes.
    disposer_.start([doomed = run.release()] {
        thread_local const bool lowered = (lowerThisThread(), true);
        (void)lowered;
        delete doomed;
    });
}

void EngineRunner::runBusy(const std::function<void()>& work)
{
    setBusy(true);
    waitFor(work);
    setBusy(false);
}

void EngineRunner::waitFor(const std::function<void()>& work)
{
    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create([&work] {
        lowerThisThread();
        work();
    }));
    // Queued to this thread: a job that ends before exec() starts still
    // ends the loop.
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    thread->start();
    loop.exec();
    thread->wait();
}

void EngineRunner::setBusy(bool busy)
{
    if (busy) {
        busy_ = true;
        QApplication::setOverrideCursor(Qt::BusyCursor);
        showBusy_(true);
        return;
    }
    showBusy_(false);
    QApplication::restoreOverrideCursor();
    busy_ = false;
    if (rerunWanted_ && !runLoopActive_) {
        // A re-run asked for during a load, a save or a run's adoption runs
        // now.
        const bool forced = forceWanted_;
        rerunWanted_ = false;
        forceWanted_ = false;
        QTimer::singleShot(0, &owner_, [this, forced] { rerun_(forced); });
    }
}

} // namespace gridmint
