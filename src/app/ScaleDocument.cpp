#include "app/ScaleDocument.h"

#include "app/SaveNaming.h"
#include "engine/ChangeMap.h"
#include "engine/DisplayConversion.h"
#include "image/Codecs.h"
#include "image/ErrCodeException.h"
#include "image/Platform.h"

#include <algorithm>
#include <array>
#include <exception>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace gridmint {

namespace {

constexpr const char* kNotReadable = "not an image Gridmint can read";
constexpr const char* kTooLarge = "too large to enlarge";
constexpr const char* kBadCells = "cell size, margin or spacing out of range";

// The display raster always carries 256 opaque colours so that every byte
// value a manual edit may write has something to show.
std::array<Colour, IndexedBitmap::kMaxColours> displayTable(const std::vector<Colour>& colours)
{
    std::array<Colour, IndexedBitmap::kMaxColours> table;
    table.fill(kOpaque);
    const std::size_t n = std::min(colours.size(), table.size());
    for (std::size_t i = 0; i < n; ++i)
        table[i] = colours[i] | kOpaque;
    return table;
}

} // namespace

std::string LowerExtension(const std::filesystem::path& path)
{
    std::string lower = SplitName(path).ext;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

ImageFormat SaveFormat(const std::filesystem::path& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == ".bmp")
        return ImageFormat::Bmp;
    if (ext == ".pcx")
        return ImageFormat::Pcx;
    return ImageFormat::Png;
}

bool CopyPixels(const IndexedBitmap* from, IndexedBitmap* to)
{
    if (from == nullptr || to == nullptr)
        return false;
    return to->copyPixelsFrom(*from);
}

std::unique_ptr<IndexedBitmap> CloneBitmap(const IndexedBitmap* bitmap)
{
    if (bitmap == nullptr)
        return nullptr;
    return bitmap->clone();
}

// Without a budget the history keeps no steps: gridmint-cli and callers of
// the one-level Undo pay nothing for it.
ScaleDocument::ScaleDocument() : history_(std::make_unique<EditHistory>(0)) {}
ScaleDocument::~ScaleDocument()
{
    // The jobs refer to the source set; they must go first.
    history_.reset();
    job_.reset();
    source_.reset();
}

bool ScaleDocument::Load(const std::filesystem::path& path)
{
    std::string error;
    std::unique_ptr<ImageSet> loaded = ReadImage(path, error);
    return AdoptImage(std::move(loaded), std::move(error));
}

std::unique_ptr<ImageSet> ScaleDocument::ReadImage(const std::filesystem::path& path,
                                                   std::string& error)
{
    std::unique_ptr<ImageSet> loaded;
    try {
        const std::string ext = LowerExtension(path);
        if (ext == ".png")
            loaded = readPng(path);
        else if (ext == ".bmp")
            loaded = readBmp(path);
        else if (ext == ".pcx")
            loaded = readPcx(path);
    } catch (const tarn::CErrCodeException& e) {
        error = e.message();
        return nullptr;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return nullptr;
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    } catch (...) {
        error = kNotReadable;
        return nullptr;
    }
    if (!loaded || !loaded->image || !loaded->palette || !loaded->image->hasStore()) {
        error = kNotReadable;
        return nullptr;
    }
    return loaded;
}

bool ScaleDocument::AdoptImage(std::unique_ptr<ImageSet> loaded, std::string error)
{
    // Until a read has succeeded the open document (source, job, result,
    // undo) stays exactly as it was, so that edits on screen can still be
    // saved after a failed open.
    if (!loaded) {
        lastError_ = error.empty() ? kNotReadable : std::move(error);
        return false;
    }

    ++sourceSerial_;
    history_->clear(true); // its jobs refer to the old source
    undo_.reset();
    job_.reset(); // refers to the old source
    cellResult_.reset();
    changeMap_.reset();
    source_ = std::move(loaded);
    runGroupStepOn_ = false;
    lastError_.clear();
    return true;
}

namespace {

std::string runError(const std::exception& e)
{
    const bool size = dynamic_cast<const std::length_error*>(&e) != nullptr ||
                      dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    return size ? kTooLarge : e.what();
}

} // namespace

DetachedRun::DetachedRun(const ImageSet& source, std::uint64_t sourceSerial,
                         const ScaleSettings& settings)
    : source_(&source), sourceSerial_(sourceSerial), settings_(settings)
{
}

DetachedRun::~DetachedRun()
{
    // The jobs refer to the source set; the raster does not.
    job_.reset();
    lentJob_.reset();
}

void DetachedRun::Execute() noexcept
{
    if (cellLayout_.enabled() && !cellLayout_.valid()) {
        error_ = kBadCells;
        return;
    }
    // As Apply reuses a job: the same output, and no second output image
    // beside the borrowed one.
    const bool reuse = lentJob_ && lentJob_->factor() == settings_.factor &&
                       lentJob_->transparentIndex() == settings_.transparentIndex &&
                       lentJob_->slopePasses() == settings_.slopePasses;
    const double lentThreshold = reuse ? lentJob_->threshold() : 0.0;
    try {
        if (reuse) {
            job_ = std::move(lentJob_);
            job_->setThreshold(settings_.threshold);
        } else {
            // Nothing but this run keeps the borrowed job: its output goes
            // before the new one is made, and is made again on failure.
            lentJob_.reset();
            job_ = std::make_unique<ScaleJob>(*source_, settings_.factor, settings_.threshold,
                                              settings_.transparentIndex);
        }
        job_->setThreadCount(engineThreads_);
        Enlargement made = ScaleDocument::runEngine(*source_, *job_, settings_, cellLayout_,
                                                    traceChanges_, cellThreads_);
        const IndexedImage& image = made.image ? *made.image : job_->outputImage();
        if (borrowed_ && image.width() == rasterWidth_ && image.height() == rasterHeight_)
            refill_ = true; // AdoptRun copies it into the raster the document shows
        else
            result_ = makeDisplayBitmap(image, *source_->palette);
        cellResult_ = std::move(made.image);
        changeMap_ = std::move(made.changes);
        if (!result_ && !refill_)
            error_ = kTooLarge;
    } catch (const std::exception& e) {
        error_ = runError(e);
    } catch (...) {
        error_ = kTooLarge;
    }
    if (failed()) {
        if (reuse && job_) {
            // Back as lent; as after a failed Apply, its output may be
            // partly the new threshold's until the next run.
            job_->setThreshold(lentThreshold);
            lentJob_ = std::move(job_);
        }
        job_.reset();
        result_.reset();
        refill_ = false;
        cellResult_.reset();
        changeMap_.reset();
        remakeLent(); // with the failed run's memory free again
        return;
    }
    lentJob_.reset(); // a new job replaced it: the document will not want it back
}

void DetachedRun::noteLent(const ScaleJob& job, const CellLayout& layout, bool slopePasses)
{
    lentSettings_ =
        ScaleSettings{job.factor(), job.threshold(), job.transparentIndex(), slopePasses};
    lentLayout_ = layout;
}

bool DetachedRun::remakeLent() noexcept
{
    if (lentJob_ || !borrowed_)
        return lentJob_ != nullptr;
    try {
        auto job =
            std::make_unique<ScaleJob>(*source_, lentSettings_.factor, lentSettings_.threshold,
                                       lentSettings_.transparentIndex);
        job->setThreadCount(engineThreads_);
        // In cell mode the document kept the cells' result; the job serves
        // the status line only, as after any cell-mode run.
        if (lentLayout_.enabled())
            job->computeLab();
        else
            job->run(lentSettings_.slopePasses);
        job->releaseScratch();
        lentJob_ = std::move(job);
        return true;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<DetachedRun> ScaleDocument::PrepareRun(std::int32_t factor, double threshold,
                                                       std::int32_t transparentIndex,
                                                       bool slopePasses)
{
    if (!source_)
        return nullptr;
    auto run = std::unique_ptr<DetachedRun>(new DetachedRun(
        *source_, sourceSerial_, ScaleSettings{factor, threshold, transparentIndex, slopePasses}));
    run->cellLayout_ = cellLayout_;
    run->traceChanges_ = traceChanges_;
    run->cellThreads_ = cellThreads_;
    run->engineThreads_ = engineThreads_;
    // The same tests as AdoptRun's: no step will keep the present job.
    const bool groupStep =
        runGroupOpen_ && runGroupStepOn_ && history_->revision() == runGroupRevision_;
    const bool tooLarge = stateBytes() > history_->budget();
    if (job_ && result_ && (groupStep || tooLarge)) {
        run->noteLent(*job_, resultLayout_, resultSlopes_);
        run->lentJob_ = std::move(job_);
        run->borrowed_ = true;
        run->clearsHistory_ = !groupStep;
        run->rasterWidth_ = result_->width();
        run->rasterHeight_ = result_->height();
    }
    return run;
}

std::unique_ptr<DetachedRun> ScaleDocument::PrepareRun(DetachedRun& superseded, std::int32_t factor,
                                                       double threshold,
                                                       std::int32_t transparentIndex,
                                                       bool slopePasses)
{
    if (!superseded.borrowed_)
        return PrepareRun(factor, threshold, transparentIndex, slopePasses);
    auto run = PrepareRun(factor, threshold, transparentIndex, slopePasses);
    if (!run)
        return nullptr;
    // The superseded run's job, or the document's own if it never got
    // further, is what the document would have lent.
    if (superseded.job_) {
        run->noteLent(*superseded.job_, superseded.cellLayout_, superseded.settings_.slopePasses);
        run->lentJob_ = std::move(superseded.job_);
    } else {
        // Null when the superseded run freed it and could not make it again.
        run->lentSettings_ = superseded.lentSettings_;
        run->lentLayout_ = superseded.lentLayout_;
        run->lentJob_ = std::move(superseded.lentJob_);
    }
    superseded.lentJob_.reset();
    superseded.borrowed_ = false;
    run->borrowed_ = true;
    run->clearsHistory_ = superseded.clearsHistory_;
    run->rasterWidth_ = superseded.rasterWidth_;
    run->rasterHeight_ = superseded.rasterHeight_;
    return run;
}

IndexedBitmap* ScaleDocument::applyNow(std::int32_t factor, double threshold, bool force,
                                       std::int32_t transparentIndex, bool slopePasses)
{
    return runNow(factor, threshold, force, transparentIndex, slopePasses, true) ? result_.get()
                                                                                 : nullptr;
}

bool ScaleDocument::runNow(std::int32_t factor, double threshold, bool force,
                           std::int32_t transparentIndex, bool slopePasses, bool makeRaster)
{
    if (cellLayout_.enabled() && !cellLayout_.valid()) {
        lastError_ = kBadCells;
        return false;
    }

    const bool reuse = !force && job_ && job_->factor() == factor &&
                       job_->transparentIndex() == transparentIndex &&
                       job_->slopePasses() == slopePasses;

    // Build the new job and raster aside and swap them in only when
    // everything succeeded, so that a refused size or a lack of memory
    // leaves the previous job, result and undo as they were.
    std::unique_ptr<ScaleJob> fresh;
    ScaleJob* job = job_.get();
    const double previousThreshold = job_ ? job_->threshold() : threshold;
    Enlargement enlarged;
    try {
        if (reuse) {
            job_->setThreshold(threshold);
        } else {
            fresh = std::make_unique<ScaleJob>(*source_, factor, threshold, transparentIndex);
            job = fresh.get();
        }
        job->setThreadCount(engineThreads_);
        enlarged = runEngine(*job, ScaleSettings{factor, threshold, transparentIndex, slopePasses});
    } catch (const std::exception& e) {
        if (reuse)
            job_->setThreshold(previousThreshold);
        lastError_ = runError(e);
        return false;
    } catch (...) {
        if (reuse)
            job_->setThreshold(previousThreshold);
        lastError_ = kTooLarge;
        return false;
    }

    const IndexedImage& image = enlarged.image ? *enlarged.image : job->outputImage();
    if (!makeRaster) {
        result_.reset();
    } else if (result_ && result_->width() == image.width() &&
               result_->height() == image.height()) {
        // Same size: refill the raster the view already holds instead of
        // allocating a new one on every threshold step.
        fillDisplayBitmap(*result_, image, *source_->palette);
    } else {
        std::unique_ptr<IndexedBitmap> made;
        try {
            made = makeDisplayBitmap(image, *source_->palette);
        } catch (...) {
            made.reset();
        }
        if (!made) {
            lastError_ = kTooLarge;
            return false;
        }
        result_ = std::move(made);
    }
    if (fresh)
        job_ = std::move(fresh);
    cellResult_ = std::move(enlarged.image);
    changeMap_ = std::move(enlarged.changes);
    resultLayout_ = cellLayout_;
    resultSlopes_ = slopePasses;
    undo_.reset();
    lastError_.clear();
    return true;
}

bool ScaleDocument::Enlarge(std::int32_t factor, double threshold, std::int32_t transparentIndex,
                            bool slopePasses)
{
    if (!source_) {
        lastError_ = "no image";
        return false;
    }
    EndStroke();
    if (!runNow(factor, threshold, false, transparentIndex, slopePasses, false))
        return false;
    history_->clear(false); // its steps hold rasters this document no longer shows
    // Nothing re-runs a file-to-file job: the passes' lists and the worker
    // threads would only sit beside the output while it is written.
    job_->releaseScratch();
    return true;
}

Enlargement ScaleDocument::runEngine(ScaleJob& job, const ScaleSettings& settings) const
{
    return runEngine(*source_, job, settings, cellLayout_, traceChanges_, cellThreads_);
}

Enlargement ScaleDocument::runEngine(const ImageSet& source, ScaleJob& job,
                                     const ScaleSettings& settings, const CellLayout& cells,
                                     bool traceChanges, unsigned cellThreads)
{
    Enlargement made;
    if (cells.enabled()) {
        made = enlargeCells(source, settings, cells, traceChanges, cellThreads);
        // Only after the cells succeeded, so that a failure leaves the job as
        // it was. The status line reads the source through the job's colour
        // table; the job's own output is never shown in cell mode, so it is
        // not filled, which would hold a second output-sized image.
        job.computeLab();
        return made;
    }
    if (!traceChanges) {
        job.run(settings.slopePasses);
        return made;
    }
    made.changes = std::make_unique<IndexedImage>();
    if (settings.slopePasses) {
        runTracingChanges(job, *made.changes);
        return made;
    }
    job.run(false);
    const IndexedImage& out = job.outputImage();
    made.changes->allocate(static_cast<std::uint32_t>(out.width()),
                           static_cast<std::uint32_t>(out.height()));
    std::fill_n(made.changes->store(),
                static_cast<std::size_t>(out.width()) * static_cast<std::size_t>(out.height()),
                std::uint8_t{kUnchanged});
    return made;
}

std::unique_ptr<IndexedImage> ScaleDocument::TraceResultChanges() const
{
    if (!job_ || !source_)
        return nullptr;
    try {
        // The engine is deterministic: the same settings give the same
        // output, now with its changes recorded.
        ScaleJob job(*source_, job_->factor(), job_->threshold(), job_->transparentIndex());
        Enlargement made = runEngine(*source_, job,
                                     ScaleSettings{job_->factor(), job_->threshold(),
                                                   job_->transparentIndex(), resultSlopes_},
                                     resultLayout_, true, cellThreads_);
        return std::move(made.changes);
    } catch (...) {
        return nullptr;
    }
}

bool ScaleDocument::AdoptChangeMap(std::unique_ptr<IndexedImage> map)
{
    if (!map || !result_ || map->width() != result_->width() || map->height() != result_->height())
        return false;
    changeMap_ = std::move(map);
    return true;
}

const IndexedImage* ScaleDocument::engineResult() const
{
    if (cellResult_)
        return cellResult_.get();
    return job_ ? &job_->outputImage() : nullptr;
}

bool ScaleDocument::Save(const std::filesystem::path& path, const WriteOptions& options)
{
    std::string error;
    const bool written = WriteResult(path, error, options);
    RecordSave(written, std::move(error));
    return written;
}

void ScaleDocument::RecordSave(bool written, std::string error)
{
    if (written) {
        lastError_.clear();
        EndStroke();
        history_->markClean();
    } else {
        lastError_ = std::move(error);
    }
}

namespace {

// Writes `pixels` with `colours` as the format of `path` says; false with
// `error` ("cannot write NAME: REASON") when nothing was written.
bool writePixels(const std::filesystem::path& path, const PixelBlock& pixels,
                 const std::vector<Colour>& colours, const WriteOptions& options,
                 std::string& error)
{
    const std::span<const Colour> palette(
        colours.data(), std::min<std::size_t>(colours.size(), IndexedBitmap::kMaxColours));
    const ImageFormat format = SaveFormat(path);
    const std::string sizeProblem = writeSizeProblem(format, pixels.width, pixels.height);
    if (!sizeProblem.empty()) {
        error = "cannot write " + Utf8(path) + ": " + std::to_string(pixels.width) + " x " +
                std::to_string(pixels.height) + " is " + sizeProblem;
        return false;
    }
    bool written = false;
    std::string reason;
    (void)platform::takeLastWriteError(); // only this save's failure counts
    try {
        written = writeImage(path, format, pixels, palette, options);
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    } catch (...) {
        written = false;
    }
    if (written)
        return true;
    // The reason is the writing thread's own, so a save run off the
    // interface thread reports its failure correctly as well.
    if (const std::error_code why = platform::takeLastWriteError(); why)
        reason = why.message();
    error = "cannot write " + Utf8(path);
    if (!reason.empty())
        error += ": " + reason;
    return false;
}

} // namespace

bool ScaleDocument::WriteResult(const std::filesystem::path& path, std::string& error,
                                const WriteOptions& options) const
{
    // Without a job the result may belong to an earlier image than the
    // source whose palette would be written with it.
    if (!source_ || !source_->palette || !job_) {
        error = "nothing to save";
        return false;
    }
    // The raster holds the engine's indices plus any hand edits; without one
    // (after Enlarge) the engine's result is what there is to write.
    PixelBlock pixels;
    if (result_)
        pixels = {result_->bits(), result_->width(), result_->height(), result_->stride()};
    else if (const IndexedImage* engine = engineResult(); engine != nullptr)
        pixels = {engine->store(), engine->width(), engine->height(), engine->width()};
    return writePixels(path, pixels, source_->palette->colours, options, error);
}

bool ScaleDocument::SaveSource(const std::filesystem::path& path, const WriteOptions& options)
{
    if (!source_ || !source_->palette || !source_->image || !source_->image->hasStore()) {
        lastError_ = "nothing to save";
        return false;
    }
    const IndexedImage& image = *source_->image;
    const PixelBlock pixels{image.store(), image.width(), image.height(), image.width()};
    std::string error;
    const bool written = writePixels(path, pixels, source_->palette->colours, options, error);
    lastError_ = written ? std::string() : std::move(error);
    return written;
}

// A palette choice: the whole source palette on one side of it.
class ScaleDocument::PaletteStep : public EditHistory::Step {
public:
    explicit PaletteStep(std::vector<Colour> colours) : colours_(std::move(colours)) {}

    void swap(ScaleDocument& document) override
    {
        if (!document.source_ || !document.source_->palette)
            return;
        std::swap(document.source_->palette->colours, colours_);
        document.applyPaletteToRaster();
    }

    std::size_t bytes() const override
    {
        return sizeof(PaletteStep) + colours_.capacity() * sizeof(Colour);
    }

    bool sameColours(const std::vector<Colour>& colours) const { return colours == colours_; }

private:
    std::vector<Colour> colours_;
};

void ScaleDocument::SetPalette(const Colour* colours, std::int32_t count)
{
    if (colours == nullptr || count <= 0)
        return;
    EndStroke();
    std::unique_ptr<PaletteStep> step;
    if (source_ && source_->palette)
        step = std::make_unique<PaletteStep>(source_->palette->colours);
    // Pixel indices are bytes: colours past 256 can never be shown or saved.
    const auto n = static_cast<std::size_t>(std::min(count, IndexedBitmap::kMaxColours));

    // A palette shorter than the image's replaces only its first entries;
    // the rest of the source palette stays. The raster and the job then get
    // that whole merged palette, so that screen, file and a reused job all
    // agree on every index.
    std::vector<Colour> merged;
    if (source_ && source_->palette) {
        Palette& pal = *source_->palette;
        if (pal.count() < n)
            pal.resize(n);
        std::copy_n(colours, n, pal.colours.begin());
        merged = pal.colours;
    } else {
        merged.assign(colours, colours + n);
    }
    if (merged.size() > IndexedBitmap::kMaxColours)
        merged.resize(IndexedBitmap::kMaxColours);

    if (result_) {
        const auto table = displayTable(merged);
        result_->setColourTable(table);
    }
    if (job_)
        job_->setPalette(merged.data(), static_cast<std::int32_t>(merged.size()));
    // Picking the palette already in use changes nothing worth a step.
    if (step && !step->sameColours(source_->palette->colours))
        history_->push(std::move(step));
}

void ScaleDocument::applyPaletteToRaster()
{
    std::vector<Colour> colours = source_->palette->colours;
    if (colours.size() > IndexedBitmap::kMaxColours)
        colours.resize(IndexedBitmap::kMaxColours);
    if (result_)
        result_->setColourTable(displayTable(colours));
    if (job_ && !colours.empty())
        job_->setPalette(colours.data(), static_cast<std::int32_t>(colours.size()));
}

bool ScaleDocument::Undo()
{
    if (!undo_ || !result_)
        return false;
    StrokeScope stroke(*this);
    beforeWrite(0, 0, result_->width(), result_->height());
    return CopyPixels(undo_.get(), result_.get());
}

void ScaleDocument::TakeSnapshot()
{
    if (!snapshotPending_ || !result_)
        return;
    snapshotPending_ = false;
    // Rows are copied in place; a new raster only when none of the right
    // size exists yet.
    if (CopyPixels(result_.get(), undo_.get()))
        return;
    try {
        undo_ = CloneBitmap(result_.get());
    } catch (...) {
        undo_.reset();
    }
}

std::int32_t ScaleDocument::ReadResultIndex(std::int32_t x, std::int32_t y) const
{
    if (!result_ || x < 0 || y < 0 || x >= result_->width() || y >= result_->height())
        return -1;
    return result_->row(y)[x];
}

} // namespace gridmint
