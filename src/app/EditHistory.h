// The document's history of changes to the result, for undo and redo: one
// step per stroke (press to release), per engine re-run and per palette
// choice. A step holds only the other side of what it changed (a stroke the
// small tiles it touched, a re-run the previous job and result, a palette
// choice the previous colours); undo and redo both swap that with the
// document, so going back and forth is exact and costs no copy of the image.
//
// The history is linear: a new change after undos drops the redo steps. A
// memory budget bounds it; when it is exceeded the oldest steps go first. A
// budget of 0 keeps no steps at all; the clean state is still tracked, so
// that a change is known to be unsaved.
// The document drives it; the desktop program reaches it through the
// document's history operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

namespace gridmint {

class IndexedBitmap;
class ScaleDocument;

class EditHistory {
public:
    static constexpr std::size_t kDefaultBudget = std::size_t{512} << 20;
    // Strokes are recorded in square tiles of this many result pixels a
    // side: small enough that a brush stroke keeps kilobytes, large enough
    // that a long stroke does not drown in bookkeeping.
    static constexpr std::int32_t kTile = 32;

    // One undoable change. Undo and redo both call swap(): the step trades
    // what it holds with the document's current state.
    class Step {
    public:
        virtual ~Step() = default;
        virtual void swap(ScaleDocument& document) = 0;
        // The memory the step keeps alive, for the budget.
        virtual std::size_t bytes() const = 0;
    };

    explicit EditHistory(std::size_t budget);
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    bool canUndo() const { return current_ > 0; }
    bool canRedo() const { return current_ < steps_.size(); }
    // Steps held (undo and redo) and the memory they keep.
    std::size_t size() const { return steps_.size(); }
    std::size_t bytes() const { return bytes_; }
    std::size_t budget() const { return budget_; }
    // A smaller budget drops the oldest steps at once.
    void setBudget(std::size_t budget);

    // The clean point is the state last written to a file (or just loaded).
    // It is lost for good when the steps leading back to it are dropped.
    bool isClean() const { return clean_ == current_; }
    void markClean() { clean_ = current_; }
    // Drops every step; `clean` says whether the document's present state
    // is the one in its file.
    void clear(bool clean);

    // Swaps the step before (undo) or after (redo) the present state.
    bool undo(ScaleDocument& document);
    bool redo(ScaleDocument& document);
    // Drops the redo steps, adds `step` and trims to the budget. A step
    // alone above the budget is not kept, and nothing before it either.
    void push(std::unique_ptr<Step> step);
    // Changes with every push, undo, redo and clear: a caller that wants to
    // extend the step it just pushed checks that nothing came in between.
    std::uint64_t revision() const { return revision_; }

    // Stroke recording. Between beginStroke and endStroke, beforeWrite
    // copies each tile of the result that a write is about to touch, once;
    // endStroke keeps the tiles that really changed as one step. A stroke
    // that changed nothing leaves no step.
    void beginStroke() { stroke_.open = true; }
    bool strokeOpen() const { return stroke_.open; }
    // [x0, x1) x [y0, y1) in result pixels, clipped to the raster.
    void beforeWrite(const IndexedBitmap& result, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                     std::int64_t y1);
    void endStroke(const IndexedBitmap* result);

private:
    struct Tile;
    class StrokeStep;
    struct OpenStroke {
        bool open = false;
        // Recording failed (out of memory): the stroke cannot be undone,
        // and neither can anything before it.
        bool lost = false;
        const IndexedBitmap* raster = nullptr;
        std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> before;
    };

    // Drops steps until the budget holds: the oldest first.
    void trim();

    std::deque<std::unique_ptr<Step>> steps_;
    std::size_t current_ = 0; // steps before the present state
    // Steps before the clean state; kNever when it cannot be reached.
    static constexpr std::size_t kNever = static_cast<std::size_t>(-1);
    std::size_t clean_ = 0;
    std::size_t bytes_ = 0;
    std::size_t budget_;
    std::uint64_t revision_ = 0;
    OpenStroke stroke_;
};

} // namespace gridmint
