// The one open image and everything derived from it: the source set, the
// scale job, the result raster the view shows and the user edits, the
// history of changes for undo and redo, and the snapshot that the one-level
// Undo restores. The desktop program and gridmint-cli both go through it
// from file to file.
#pragma once

#include "app/EditHistory.h"
#include "engine/CellScale.h"
#include "engine/ScaleJob.h"
#include "image/Codecs.h"
#include "image/Containers.h"
#include "image/IndexedBitmap.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace gridmint {

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// The extension with its dot, lower-cased ASCII ("" when none).
std::string LowerExtension(const std::filesystem::path& path);
// The format Save writes for a name: BMP for ".bmp", PCX for ".pcx" (any
// case), PNG for anything else.
ImageFormat SaveFormat(const std::filesystem::path& path);
// Copies the pixel rows of `from` into `to`; false when either is null or
// their sizes differ.
bool CopyPixels(const IndexedBitmap* from, IndexedBitmap* to);
// Pixels and colour table; null for null.
std::unique_ptr<IndexedBitmap> CloneBitmap(const IndexedBitmap* bitmap);

// The source cells that DragCorner rewrites for an anchor and a pointer given
// in result pixels: a run along the anchor's source row (horizontal) or
// column, from the anchor's cell towards the pointer's cell, the pointer's
// cell excluded. `empty` when DragCorner would change nothing. The image
// view's straight preview uses the same rule so that it never disagrees
// with the edit.
struct CellRun {
    bool empty = true;
    bool horizontal = false;
    std::int32_t fixed = 0; // the source row (horizontal) or column
    std::int32_t first = 0; // first and last cell along the run, first <= last
    std::int32_t last = 0;
};
CellRun CornerDragCells(Point anchor, Point pointer, std::int32_t factor, std::int32_t sourceWidth,
                        std::int32_t sourceHeight);

// One engine run taken apart from the document, for a caller that keeps
// the document on screen (and readable) while the engine works on another
// thread: ScaleDocument::PrepareRun on the document's thread, Execute on
// any thread, ScaleDocument::AdoptRun on the document's thread again. The
// source set must not change in between (no Load, no SetPalette).
//
// When no history step will keep the document's present job (it is too
// large for the budget, or an open run group already holds the state to go
// back to), the run borrows it: the document then has no job() until
// AdoptRun, and nothing but the raster may be read meanwhile; such a run
// must end in AdoptRun or be superseded through PrepareRun. A run whose
// settings allow it re-runs the borrowed job in place and later refills the
// document's raster with the new result, so that a re-run at the largest
// factors never holds more than two result-sized images; any other run
// frees the borrowed job before it makes its own, so that a change of factor
// does not hold the old engine output beside the new one. A failed run gives
// the job back: the borrowed one, or one made afresh from the settings and
// cell layout that made it (the engine gives the same output for them).
class DetachedRun {
public:
    ~DetachedRun();
    DetachedRun(const DetachedRun&) = delete;
    DetachedRun& operator=(const DetachedRun&) = delete;

    // A job of the prepared settings (or the borrowed one), its run and the
    // display raster unless the document's is refilled instead. Reads only
    // the source set; never throws.
    void Execute() noexcept;

    const ScaleSettings& settings() const { return settings_; }
    // True when the run holds the document's job (see above).
    bool borrowsJob() const { return borrowed_; }
    const CellLayout& cellLayout() const { return cellLayout_; }

private:
    friend class ScaleDocument;
    DetachedRun(const ImageSet& source, std::uint64_t sourceSerial, const ScaleSettings& settings);
    bool failed() const { return !job_ || (!result_ && !refill_); }
    // Notes what the borrowed job was made with (see lentSettings_).
    void noteLent(const ScaleJob& job, const CellLayout& layout, bool slopePasses);
    // The borrowed job again after a failure, if the run freed it; true when
    // there is one to give back.
    bool remakeLent() noexcept;

    const ImageSet* source_;
    std::uint64_t sourceSerial_; // the document's load count when prepared
    ScaleSettings settings_;
    // The document's cell mode and tracing when prepared.
    CellLayout cellLayout_;
    bool traceChanges_ = false;
    unsigned cellThreads_ = 0;
    std::int32_t engineThreads_ = 0; // the document's SetEngineThreads
    // The document's job while borrowed (null once the run has taken it
    // over or no longer needs it), why it could be borrowed, and the size
    // of the document's raster, which a result of that size refills.
    std::unique_ptr<ScaleJob> lentJob_;
    bool borrowed_ = false;
    // What the borrowed job was made with, to make it again if it was freed.
    ScaleSettings lentSettings_;
    CellLayout lentLayout_;
    bool clearsHistory_ = false;
    std::int32_t rasterWidth_ = 0;
    std::int32_t rasterHeight_ = 0;
    bool refill_ = false; // the result goes into the document's raster
    std::unique_ptr<ScaleJob> job_;
    std::unique_ptr<IndexedBitmap> result_;
    std::unique_ptr<IndexedImage> cellResult_;
    std::unique_ptr<IndexedImage> changeMap_;
    std::string error_;
};

class ScaleDocument {
public:
    ScaleDocument();
    ~ScaleDocument();
    ScaleDocument(const ScaleDocument&) = delete;
    ScaleDocument& operator=(const ScaleDocument&) = delete;

    // Reads the image (format by lower-cased extension: .png, .bmp, .pcx).
    // On success replaces the source and the job and drops the undo
    // snapshot and the history; on failure leaves the whole document as it
    // was.
    bool Load(const std::filesystem::path& path);
    // Load in two halves for a caller that reads on another thread:
    // ReadImage touches no document (null with `error` set on failure),
    // AdoptImage makes a read set the source as Load does.
    static std::unique_ptr<ImageSet> ReadImage(const std::filesystem::path& path,
                                               std::string& error);
    bool AdoptImage(std::unique_ptr<ImageSet> loaded, std::string error = {});

    // Builds (or reuses, when factor, transparent index and the slope switch
    // are unchanged and `force` is false) the job, runs it and makes the new
    // result raster. Null on failure, leaving job, result and undo as they
    // were. Never throws. A run that replaces a result of the same source
    // is one history step (see BeginRunGroup); when the previous job and
    // result do not fit in the history budget the history is dropped
    // instead (ApplyWouldDiscardEdits says so beforehand).
    IndexedBitmap* Apply(std::int32_t factor, double threshold, bool force,
                         std::int32_t transparentIndex, bool slopePasses = true);
    // Threads the engine may use in Apply (see ScaleJob::setThreadCount);
    // 0, the default, is one per hardware thread.
    void SetEngineThreads(std::int32_t threads) { engineThreads_ = threads; }

    // Apply for file-to-file work: runs the engine the same way (cell mode
    // and tracing included) but makes no result raster, drops any earlier
    // one, the undo snapshot and the history, so that the enlarged image is
    // held once; Save then writes the engine's result. False on failure.
    bool Enlarge(std::int32_t factor, double threshold, std::int32_t transparentIndex,
                 bool slopePasses = true);

    // Cell mode for the following Apply calls: off (the default) enlarges
    // the image as a whole. A layout that is on but not valid() makes Apply
    // fail. In cell mode the job still serves the status line and the
    // factor; the engine result is the cell-mode one.
    void SetCellLayout(const CellLayout& layout) { cellLayout_ = layout; }
    const CellLayout& cellLayout() const { return cellLayout_; }
    // Threads for cell mode, 0 (the default) for one per core.
    void SetCellThreads(unsigned threads) { cellThreads_ = threads; }
    // When on, the following Apply calls also record which result pixels the
    // slope passes changed (see engine/ChangeMap.h). Off by default.
    void SetTraceChanges(bool on) { traceChanges_ = on; }

    // The engine's own result of the last successful Apply, the one the
    // auto brush restores: the cell-mode result when cell mode was on, else
    // the job's output. Null without a job.
    const IndexedImage* engineResult() const;
    // The change map (a ChangeCode per result pixel) of the last successful
    // Apply if it traced changes, else null.
    const IndexedImage* changeMap() const { return changeMap_.get(); }
    // The cell layout the present result was made with (off without a job);
    // it may differ from cellLayout() after an undo or before the next run.
    const CellLayout& resultCellLayout() const { return resultLayout_; }

    // The change map of the present result, worked out afresh from the job's
    // settings and resultCellLayout() without touching the result, so that
    // hand edits stay: the map is of the engine's output, which edits do not
    // change. Reads only the source and the job: may run on another thread
    // while the document is left alone. Null without a job or on failure.
    std::unique_ptr<IndexedImage> TraceResultChanges() const;
    // Makes `map` the present result's change map; false (and nothing
    // changed) when it is null or not the result's size.
    bool AdoptChangeMap(std::unique_ptr<IndexedImage> map);

    // Writes the result with the source palette, alpha included; format by
    // the lower-cased extension (.bmp, .pcx, anything else PNG). Needs an
    // applied job: after a new Load the result on screen may still be the
    // previous image's, which must not be written with the new palette.
    // A size the format cannot hold, or that Gridmint would refuse to open
    // again, is refused before anything is encoded. False when nothing was
    // written; lastError() then says why ("cannot write NAME: REASON").
    bool Save(const std::filesystem::path& path, const WriteOptions& options = {});
    // Save in two halves for a caller that writes on another thread:
    // WriteResult only reads the document (result, palette), so it may run
    // while nothing changes the document; RecordSave then notes the outcome
    // (the unsaved-changes mark, lastError) on the document's thread.
    bool WriteResult(const std::filesystem::path& path, std::string& error,
                     const WriteOptions& options = {}) const;
    void RecordSave(bool written, std::string error);
    // Writes the loaded image itself, indices and palette as read, without
    // running the engine: a change of format that holds the picture once.
    // Leaves the result, the history and the unsaved-changes mark alone;
    // false (lastError() says why) when nothing was written.
    bool SaveSource(const std::filesystem::path& path, const WriteOptions& options = {});

    // Null without a source. See DetachedRun.
    std::unique_ptr<DetachedRun> PrepareRun(std::int32_t factor, double threshold,
                                            std::int32_t transparentIndex, bool slopePasses = true);
    // A run that replaces `superseded` (prepared on this document, perhaps
    // executed, never adopted): it takes over the job `superseded` borrowed
    // from the document, if it did. What is left in `superseded` is the
    // caller's to free.
    std::unique_ptr<DetachedRun> PrepareRun(DetachedRun& superseded, std::int32_t factor,
                                            double threshold, std::int32_t transparentIndex,
                                            bool slopePasses = true);
    // Makes an executed run's job and result the document's, with the same
    // history step that Apply makes. Null when the run failed (lastError
    // says why; job and result stay, a borrowed job comes back) or was
    // prepared for another source. The job and result that no history step
    // keeps are left in `run`: at the largest factors they are gigabytes,
    // which the caller may rather free away from its own thread.
    // A run that refills the document's raster copies it a band of rows at
    // a time and calls `betweenBands` after each band, so that a window can
    // keep handling its events; until AdoptRun returns the raster is partly
    // the old and partly the new result, and nothing may change the document.
    IndexedBitmap* AdoptRun(DetachedRun& run, const std::function<void()>& betweenBands = {});

    // Makes `colours` the document's palette without running the engine; a
    // change of colours is one history step.
    void SetPalette(const Colour* colours, std::int32_t count);

    // Copies the snapshot back into the result; true when it copied. The
    // one-level undo of the edit operations below; the history is separate.
    bool Undo();
    // Copies the result into the snapshot if a press has armed it.
    void TakeSnapshot();
    // The palette index of a result pixel, or -1 outside / without result.
    std::int32_t ReadResultIndex(std::int32_t x, std::int32_t y) const;

    // Edit operations, x and y in result pixels; each returns true when it
    // changed the result (the caller then repaints).
    bool PaintNearest(std::int32_t x, std::int32_t y, std::int32_t thickness);
    bool PaintAuto(std::int32_t x, std::int32_t y, std::int32_t thickness);
    void SetCornerFirst(std::int32_t x, std::int32_t y);
    void SetCornerAnchor(std::int32_t x, std::int32_t y);
    bool DragCorner(std::int32_t x, std::int32_t y);
    void SetLineStart(std::int32_t x, std::int32_t y);
    bool FinishLine(std::int32_t x, std::int32_t y);
    bool PlotDots(std::int32_t x, std::int32_t y, std::uint8_t colour, std::int32_t thickness);
    // The brushes and the dots at every position of the straight line from
    // `from` to `to` (result pixels), walked in the cells the tool works in
    // (source pixels for the brushes, result pixels for the dots), so that
    // a drag paints the same whatever the distance between its events.
    // `from` itself is painted too. True when anything changed.
    bool PaintNearestAlong(Point from, Point to, std::int32_t thickness);
    bool PaintAutoAlong(Point from, Point to, std::int32_t thickness);
    bool PlotDotsAlong(Point from, Point to, std::uint8_t colour, std::int32_t thickness);

    // History, off until history().setBudget() gives it memory (the desktop
    // program gives EditHistory::kDefaultBudget); whether the result is
    // modified is known either way. Every edit operation above records into
    // the open stroke; without one it is a step by itself. BeginStroke at
    // the press and EndStroke at the release make the whole drag one step.
    void BeginStroke();
    void EndStroke() noexcept;
    // Undo and redo one step; true when the document changed. A re-run
    // step brings back its job (with factor, threshold and transparent
    // index) and result; the caller then shows what resultBitmap() is.
    bool UndoStep();
    bool RedoStep();
    bool CanUndoStep() const { return history_->canUndo(); }
    bool CanRedoStep() const { return history_->canRedo(); }
    // Between these, re-runs after the first make no steps of their own:
    // one slider drag is one step.
    void BeginRunGroup();
    void EndRunGroup();
    // True when the next Apply could not keep the present job and result
    // in the history (larger than the budget) and would thereby lose hand
    // edits: on the result, or reachable by undo.
    bool ApplyWouldDiscardEdits() const;
    // The result differs from the engine's output somewhere.
    bool HasHandEdits() const;
    // The result has changes that no Save has written since the last Load.
    bool IsModified() const { return !history_->isClean(); }
    EditHistory& history() { return *history_; }
    const EditHistory& history() const { return *history_; }

    // Set by the frame at every left press; the first change after it takes
    // the undo snapshot.
    void setSnapshotPending(bool pending) { snapshotPending_ = pending; }
    bool snapshotPending() const { return snapshotPending_; }

    IndexedBitmap* resultBitmap() { return result_.get(); }
    const IndexedBitmap* resultBitmap() const { return result_.get(); }
    const IndexedBitmap* undoBitmap() const { return undo_.get(); }
    const ImageSet* source() const { return source_.get(); }
    const ScaleJob* job() const { return job_.get(); }
    // Rows the loaded file ended before (a truncated PCX loads with the rest
    // at index 0); 0 for a complete picture or without one.
    std::int32_t missingRows() const { return source_ ? source_->missingRows : 0; }

    Point cornerFirst() const { return cornerFirst_; }
    Point cornerAnchor() const { return cornerAnchor_; }
    Point cornerLast() const { return cornerLast_; }
    Point lineStart() const { return lineStart_; }

    // Why the last Load, Apply or Save failed, in a short English phrase
    // ("not an image Gridmint can read", "too large to enlarge", the
    // reader's message, ...); empty after a success.
    const std::string& lastError() const { return lastError_; }

private:
    // Bounds shared by the edit operations: every read and write stays
    // inside the source, the job's output and the result raster at once.
    struct EditFrame;
    // Makes an edit operation outside an open stroke a step of its own.
    class StrokeScope {
    public:
        explicit StrokeScope(ScaleDocument& document)
            : document_(document), own_(!document.history_->strokeOpen())
        {
            if (own_)
                document_.BeginStroke();
        }
        ~StrokeScope()
        {
            if (own_)
                document_.EndStroke();
        }
        StrokeScope(const StrokeScope&) = delete;
        StrokeScope& operator=(const StrokeScope&) = delete;

    private:
        ScaleDocument& document_;
        bool own_;
    };
    friend class DetachedRun; // runs the engine as Apply does
    class RunStep;
    class PaletteStep;
    // What a run makes and the history moves as one: the job (with the
    // settings that made the result), the result raster with its hand
    // edits, the cells' result, the change map and how the result was made.
    struct RunState {
        std::unique_ptr<ScaleJob> job;
        std::unique_ptr<IndexedBitmap> result;
        std::unique_ptr<IndexedImage> cellResult;
        std::unique_ptr<IndexedImage> changeMap;
        CellLayout layout;
        bool slopePasses = true;
    };
    void swapRunState(RunState& other) noexcept;
    // Records a re-run's step, as the one step of an open run group.
    void pushRunStep(std::unique_ptr<RunStep> step);
    bool editFrame(EditFrame& frame) const;
    // Runs the job, or the cells, as the cell layout and tracing say; the
    // result is in `job` unless the returned image is set.
    Enlargement runEngine(ScaleJob& job, const ScaleSettings& settings) const;
    static Enlargement runEngine(const ImageSet& source, ScaleJob& job,
                                 const ScaleSettings& settings, const CellLayout& cells,
                                 bool traceChanges, unsigned cellThreads);
    bool paintBlocks(std::int32_t x, std::int32_t y, std::int32_t thickness, bool engineResult);
    bool paintBlocksAlong(Point from, Point to, std::int32_t thickness, bool engineResult);
    // Tells the open stroke which result pixels are about to change.
    void beforeWrite(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);
    IndexedBitmap* applyNow(std::int32_t factor, double threshold, bool force,
                            std::int32_t transparentIndex, bool slopePasses);
    // applyNow's work; the result raster is made only when `makeRaster`.
    bool runNow(std::int32_t factor, double threshold, bool force, std::int32_t transparentIndex,
                bool slopePasses, bool makeRaster);
    // Job and result together, as a history step would keep them.
    std::size_t stateBytes() const;
    void applyPaletteToRaster();

    std::unique_ptr<IndexedBitmap> result_;
    std::unique_ptr<IndexedBitmap> undo_;
    std::unique_ptr<ImageSet> source_;
    std::unique_ptr<ScaleJob> job_;
    // Its steps hold jobs that refer to the source; it goes first.
    std::unique_ptr<EditHistory> history_;
    // Set by an Apply in cell mode, else null.
    std::unique_ptr<IndexedImage> cellResult_;
    std::unique_ptr<IndexedImage> changeMap_;
    CellLayout cellLayout_;
    // How the present result was made: travels with it through the history.
    CellLayout resultLayout_;
    bool resultSlopes_ = true;
    unsigned cellThreads_ = 0;
    bool traceChanges_ = false;
    Point cornerFirst_;
    Point cornerAnchor_;
    Point cornerLast_;
    Point lineStart_;
    bool snapshotPending_ = false;
    std::int32_t engineThreads_ = 0;
    bool runGroupOpen_ = false;
    // The history's revision right after the open group pushed its step;
    // the group extends that step only while nothing else came in between.
    std::uint64_t runGroupRevision_ = 0;
    bool runGroupStepOn_ = false;
    // Counts successful loads, so that a detached run can tell its source.
    std::uint64_t sourceSerial_ = 0;
    std::string lastError_;
};

} // namespace gridmint
