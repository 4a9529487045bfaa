// The window's long work (engine runs at large factors, loads and saves of
// large images) on a worker thread below normal priority, while the window's
// events keep flowing: repaints, menus, the slider. Only the window's thread
// changes the document; a job reads it, or works on what a DetachedRun
// holds, while nothing else may change it.
#pragma once

#include "app/ScaleDocument.h"

#include <QThreadPool>
#include <cstdint>
#include <functional>
#include <memory>

namespace gridmint {

class EngineRunner {
public:
    // What a run is asked to make.
    struct Request {
        std::int32_t factor = 0;
        double threshold = 0;
        std::int32_t transparentIndex = -1;
    };
    // `current` gives the controls' request now, read when a run ends;
    // `showBusy` shows or hides the window's busy state; `rerun` (forced by
    // the re-apply button or not) handles a re-run asked for while a load or
    // a save was busy, called from `owner`'s event loop afterwards. All must
    // outlive the runner, as must `document`.
    EngineRunner(QObject& owner, ScaleDocument& document, std::function<Request()> current,
                 std::function<void(bool)> showBusy, std::function<void(bool forced)> rerun);

    // True while a job runs; edits, undo and file commands then wait.
    bool busy() const { return busy_; }
    // True while a run holds the document's job, which belongs to the
    // raster still on screen.
    bool jobLent() const { return jobLent_; }

    // Runs `work` on its own thread, with the busy cursor and state, until
    // it is done. `work` must not change the document.
    void runBusy(const std::function<void()>& work);
    // The document's engine run for `request` on the worker. A re-run asked
    // for meanwhile (requestRerun) supersedes it: its result goes unseen and
    // the controls' newest request runs instead, unless it asks for what the
    // run made anyway. Adds every run it starts to `runs`. The result
    // adopted, or null when the run failed (the document says why).
    IndexedBitmap* run(Request request, int& runs);
    // While busy: a re-run is wanted once the job ends.
    void requestRerun(bool forced);

    // The result on screen is the one `request` and the cell mode give.
    static bool resultMatches(const ScaleDocument& document, const Request& request);

private:
    void setBusy(bool busy);
    // Runs `work` on a thread of its own, below normal priority, and keeps
    // the window's events flowing until it is done.
    static void waitFor(const std::function<void()>& work);
    // Frees what a run holds (a result the document no longer needs, or a
    // superseded one) on a background thread.
    void disposeAside(std::unique_ptr<DetachedRun> run);

    QObject& owner_;
    ScaleDocument& document_;
    std::function<Request()> current_;
    std::function<void(bool)> showBusy_;
    std::function<void(bool)> rerun_;
    bool busy_ = false;
    bool runLoopActive_ = false; // run() is waiting for a run
    bool rerunWanted_ = false;   // a re-run was asked for while busy
    bool forceWanted_ = false;   // ... by the re-apply button
    bool jobLent_ = false;
    QThreadPool disposer_; // last, so gone first: waits until what it frees is gone
};

} // namespace gridmint
