// The document's side of the history: which changes become steps, and the
// steps that trade a whole job and result, or the palette, with the document.
#include "app/ScaleDocument.h"
#include "engine/DisplayConversion.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace gridmint {

namespace {

// What a job keeps alive, near enough for the budget: its output image, the
// mark grid and lightness ranks per source pixel, and its tables.
std::size_t jobBytes(const ScaleJob& job)
{
    const IndexedImage& out = job.outputImage();
    const auto outBytes =
        static_cast<std::size_t>(out.width()) * static_cast<std::size_t>(out.height());
    const auto cells =
        static_cast<std::size_t>(job.width()) * static_cast<std::size_t>(job.height());
    return sizeof(ScaleJob) + outBytes + 2 * cells + std::size_t{256} * 256 +
           job.palette().size() * (sizeof(Colour) + sizeof(LabColor));
}

std::size_t imageBytes(const IndexedImage* image)
{
    if (!image)
        return 0;
    return static_cast<std::size_t>(image->width()) * static_cast<std::size_t>(image->height());
}

std::size_t rasterBytes(const IndexedBitmap& r)
{
    return sizeof(IndexedBitmap) +
           static_cast<std::size_t>(r.stride()) * static_cast<std::size_t>(r.height());
}

} // namespace

// A re-run: the job and result on one side of it. The job carries the
// factor, threshold and transparent index that made the result, and the
// engine output that the auto brush restores from.
class ScaleDocument::RunStep : public EditHistory::Step {
public:
    explicit RunStep(ScaleDocument& document)
    {
        document.swapRunState(state_);
        bytes_ = sizeof(RunStep) + jobBytes(*state_.job) + rasterBytes(*state_.result) +
                 imageBytes(state_.cellResult.get()) + imageBytes(state_.changeMap.get());
        // A kept job holds no idle threads; a re-run after undo makes them.
        state_.job->releaseScratch();
    }

    void swap(ScaleDocument& document) override
    {
        document.swapRunState(state_);
        if (state_.job)
            state_.job->releaseScratch();
        // The one-level snapshot belongs to the other result.
        document.undo_.reset();
    }

    std::size_t bytes() const override { return bytes_; }

    // Hands everything back after a run that failed.
    void giveBack(ScaleDocument& document) { document.swapRunState(state_); }

private:
    RunState state_;
    std::size_t bytes_ = 0;
};

void ScaleDocument::swapRunState(RunState& other) noexcept
{
    std::swap(job_, other.job);
    std::swap(result_, other.result);
    // In cell mode the auto brush restores from the cells' result, so it
    // travels with the job; so does the change map of that run.
    std::swap(cellResult_, other.cellResult);
    std::swap(changeMap_, other.changeMap);
    std::swap(resultLayout_, other.layout);
    std::swap(resultSlopes_, other.slopePasses);
}

void ScaleDocument::BeginStroke()
{
    EndStroke();
    history_->beginStroke();
}

void ScaleDocument::EndStroke() noexcept
{
    history_->endStroke(result_.get());
}

void ScaleDocument::beforeWrite(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1)
{
    if (result_)
        history_->beforeWrite(*result_, x0, y0, x1, y1);
}

bool ScaleDocument::UndoStep()
{
    EndStroke();
    return history_->undo(*this);
}

bool ScaleDocument::RedoStep()
{
    EndStroke();
    return history_->redo(*this);
}

void ScaleDocument::BeginRunGroup()
{
    runGroupOpen_ = true;
    runGroupStepOn_ = false;
}

void ScaleDocument::EndRunGroup()
{
    runGroupOpen_ = false;
    runGroupStepOn_ = false;
}

std::size_t ScaleDocument::stateBytes() const
{
    if (!job_ || !result_)
        return 0;
    return sizeof(RunStep) + jobBytes(*job_) + rasterBytes(*result_) +
           imageBytes(cellResult_.get()) + imageBytes(changeMap_.get());
}

bool ScaleDocument::HasHandEdits() const
{
    const IndexedImage* engine = engineResult();
    if (!engine || !result_)
        return false;
    const IndexedImage& out = *engine;
    if (out.width() != result_->width() || out.height() != result_->height())
        return true;
    for (std::int32_t y = 0; y < out.height(); ++y) {
        if (std::memcmp(out.row(y), result_->row(y), static_cast<std::size_t>(out.width())) != 0)
            return true;
    }
    return false;
}

bool ScaleDocument::ApplyWouldDiscardEdits() const
{
    if (!job_ || !result_)
        return false;
    if (runGroupOpen_ && runGroupStepOn_ && history_->revision() == runGroupRevision_)
        return false; // the group's step already holds the state to go back to
    if (stateBytes() <= history_->budget())
        return false;
    return history_->canUndo() || HasHandEdits();
}

IndexedBitmap* ScaleDocument::Apply(std::int32_t factor, double threshold, bool force,
                                    std::int32_t transparentIndex, bool slopePasses)
{
    if (!source_) {
        lastError_ = "no image";
        return nullptr;
    }
    EndStroke(); // a stroke never spans a run
    // The first run after a Load replaces nothing of this image.
    if (!job_ || !result_)
        return applyNow(factor, threshold, force, transparentIndex, slopePasses);
    if (runGroupOpen_ && runGroupStepOn_ && history_->revision() == runGroupRevision_)
        return applyNow(factor, threshold, force, transparentIndex, slopePasses);

    if (stateBytes() > history_->budget()) {
        // Keeping the previous state would evict everything anyway.
        IndexedBitmap* made = applyNow(factor, threshold, force, transparentIndex, slopePasses);
        if (made)
            history_->clear(false);
        return made;
    }

    // The present job and result go into the step untouched; the run
    // builds new ones. A failed run hands them back.
    std::unique_ptr<RunStep> step;
    try {
        step = std::make_unique<RunStep>(*this);
    } catch (const std::bad_alloc&) {
        lastError_ = "out of memory";
        return nullptr; // nothing was moved: the allocation failed first
    }
    IndexedBitmap* made = applyNow(factor, threshold, force, transparentIndex, slopePasses);
    if (!made) {
        step->giveBack(*this);
        return nullptr;
    }
    pushRunStep(std::move(step));
    return made;
}

void ScaleDocument::pushRunStep(std::unique_ptr<RunStep> step)
{
    try {
        history_->push(std::move(step));
    } catch (const std::bad_alloc&) {
        history_->clear(false);
    }
    if (runGroupOpen_) {
        runGroupStepOn_ = true;
        runGroupRevision_ = history_->revision();
    }
}

IndexedBitmap* ScaleDocument::AdoptRun(DetachedRun& run, const std::function<void()>& betweenBands)
{
    if (!source_ || run.source_ != source_.get() || run.sourceSerial_ != sourceSerial_) {
        lastError_ = "no image";
        return nullptr;
    }
    if (run.failed()) {
        if (run.borrowed_ && !job_) {
            // Once more if the run could not make it again: the raster on
            // screen, hand edits and all, cannot be saved without its job.
            run.remakeLent();
            job_ = std::move(run.lentJob_); // the present result's job, as lent
            run.borrowed_ = false;
        }
        lastError_ = run.error_;
        return nullptr;
    }
    const IndexedImage& made = run.cellResult_ ? *run.cellResult_ : run.job_->outputImage();
    const bool refill = run.refill_ && result_ && result_->width() == made.width() &&
                        result_->height() == made.height();
    if (run.refill_ && !refill) {
        // Not the raster the run was prepared against: a raster of its own.
        run.result_ = makeDisplayBitmap(made, *source_->palette);
        run.refill_ = false;
        if (!run.result_) {
            if (run.borrowed_ && !job_)
                job_ = std::move(run.job_); // a job for the raster shown, if not its own
            lastError_ = "too large to enlarge";
            return nullptr;
        }
    }
    EndStroke(); // a stroke never spans a run
    // The same steps as Apply: the state before the run becomes one, unless
    // there is none yet, the open run group already has its step, or it is
    // larger than the whole budget. A run that borrowed the job knows which.
    const bool groupStep =
        runGroupOpen_ && runGroupStepOn_ && history_->revision() == runGroupRevision_;
    std::unique_ptr<RunStep> step;
    if (run.borrowed_) {
        if (run.clearsHistory_)
            history_->clear(false);
    } else if (job_ && result_ && !groupStep) {
        if (stateBytes() > history_->budget()) {
            history_->clear(false);
        } else {
            try {
                step = std::make_unique<RunStep>(*this);
            } catch (const std::bad_alloc&) {
                history_->clear(false);
            }
        }
    }
    // What no step keeps goes back into the run, for the caller to free.
    std::swap(job_, run.job_);
    std::swap(cellResult_, run.cellResult_);
    std::swap(changeMap_, run.changeMap_);
    if (refill) {
        // About 16 MiB a band: a few milliseconds each.
        const std::int32_t band =
            std::max<std::int32_t>(1, (std::int32_t{1} << 24) / std::max(1, made.width()));
        result_->setColourTable(displayColours(*source_->palette));
        for (std::int32_t y = 0; y < made.height(); y += band) {
            copyDisplayRows(*result_, made, y, y + band);
            if (betweenBands && y + band < made.height())
                betweenBands();
        }
    } else {
        std::swap(result_, run.result_);
    }
    run.borrowed_ = false;
    resultLayout_ = run.cellLayout_;
    resultSlopes_ = run.settings_.slopePasses;
    undo_.reset();
    lastError_.clear();
    if (step)
        pushRunStep(std::move(step));
    return result_.get();
}

} // namespace gridmint
