// The one open image and everything derived from it: the source set, the
// scale job, the result raster the view shows and the user edits, and the
// snapshot that one undo restores. The desktop program and gridmint-cli both
// go through it from file to file.
#pragma once

#include "engine/ScaleJob.h"
#include "image/Codecs.h"
#include "image/Containers.h"
#include "image/IndexedBitmap.h"

#include <cstdint>
#include <filesystem>
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

class ScaleDocument {
public:
    ScaleDocument();
    ~ScaleDocument();
    ScaleDocument(const ScaleDocument&) = delete;
    ScaleDocument& operator=(const ScaleDocument&) = delete;

    // Reads the image (format by lower-cased extension: .png, .bmp, .pcx).
    // On success replaces the source and the job and drops the undo
    // snapshot; on failure leaves the whole document as it was.
    bool Load(const std::filesystem::path& path);

    // Builds (or reuses, when factor, transparent index and the slope switch
    // are unchanged and `force` is false) the job, runs it and makes the new
    // result raster. Null on failure, leaving job, result and undo as they
    // were. Never throws.
    IndexedBitmap* Apply(std::int32_t factor, double threshold, bool force,
                         std::int32_t transparentIndex, bool slopePasses = true);

    // Writes the result with the source palette, alpha included; format by
    // the lower-cased extension (.bmp, .pcx, anything else PNG). Needs an
    // applied job: after a new Load the result on screen may still be the
    // previous image's, which must not be written with the new palette.
    // A size the format cannot hold, or that Gridmint would refuse to open
    // again, is refused before anything is encoded. False when nothing was
    // written; lastError() then says why ("cannot write NAME: REASON").
    bool Save(const std::filesystem::path& path);

    // Makes `colours` the document's palette without running the engine.
    void SetPalette(const Colour* colours, std::int32_t count);

    // Copies the snapshot back into the result; true when it copied.
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
    bool editFrame(EditFrame& frame) const;
    bool paintBlocks(std::int32_t x, std::int32_t y, std::int32_t thickness, bool engineResult);

    std::unique_ptr<IndexedBitmap> result_;
    std::unique_ptr<IndexedBitmap> undo_;
    std::unique_ptr<ImageSet> source_;
    std::unique_ptr<ScaleJob> job_;
    Point cornerFirst_;
    Point cornerAnchor_;
    Point cornerLast_;
    Point lineStart_;
    bool snapshotPending_ = false;
    std::string lastError_;
};

} // namespace gridmint
