#include "app/EditHistory.h"

#include "app/ScaleDocument.h"
#include "image/IndexedBitmap.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace gridmint {

// A rectangle of the result, at most kTile a side (less at the right and
// bottom edges), and the pixels the result does not hold at present.
struct EditHistory::Tile {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<std::uint8_t> pixels; // w * h, row after row
};

namespace {

// The tile with index `key` on a raster, clipped to it.
void tileRect(const IndexedBitmap& r, std::uint64_t key, std::int32_t& x, std::int32_t& y,
              std::int32_t& w, std::int32_t& h)
{
    const auto tilesX =
        static_cast<std::uint64_t>((r.width() + EditHistory::kTile - 1) / EditHistory::kTile);
    x = static_cast<std::int32_t>(key % tilesX) * EditHistory::kTile;
    y = static_cast<std::int32_t>(key / tilesX) * EditHistory::kTile;
    w = std::min(EditHistory::kTile, r.width() - x);
    h = std::min(EditHistory::kTile, r.height() - y);
}

} // namespace

class EditHistory::StrokeStep : public EditHistory::Step {
public:
    explicit StrokeStep(std::vector<Tile> tiles) : tiles_(std::move(tiles))
    {
        for (const Tile& t : tiles_)
            bytes_ += sizeof(Tile) + t.pixels.capacity();
    }

    void swap(ScaleDocument& document) override
    {
        IndexedBitmap* r = document.resultBitmap();
        if (r == nullptr)
            return;
        for (Tile& t : tiles_) {
            // The history is linear, so the raster has the size it had when
            // the stroke was recorded; the check only guards memory.
            if (t.x + t.w > r->width() || t.y + t.h > r->height())
                continue;
            for (std::int32_t row = 0; row < t.h; ++row) {
                std::uint8_t* mine = t.pixels.data() + static_cast<std::size_t>(row) * t.w;
                std::swap_ranges(mine, mine + t.w, r->row(t.y + row) + t.x);
            }
        }
    }

    std::size_t bytes() const override { return bytes_; }

private:
    std::vector<Tile> tiles_;
    std::size_t bytes_ = sizeof(StrokeStep);
};

EditHistory::EditHistory(std::size_t budget) : budget_(budget) {}
EditHistory::~EditHistory() = default;

void EditHistory::setBudget(std::size_t budget)
{
    budget_ = budget;
    trim();
}

void EditHistory::clear(bool clean)
{
    steps_.clear();
    bytes_ = 0;
    current_ = 0;
    clean_ = clean ? 0 : kNever;
    stroke_ = OpenStroke{};
    ++revision_;
}

bool EditHistory::undo(ScaleDocument& document)
{
    if (current_ == 0)
        return false;
    --current_;
    steps_[current_]->swap(document);
    ++revision_;
    return true;
}

bool EditHistory::redo(ScaleDocument& document)
{
    if (current_ >= steps_.size())
        return false;
    steps_[current_]->swap(document);
    ++current_;
    ++revision_;
    return true;
}

void EditHistory::push(std::unique_ptr<Step> step)
{
    while (steps_.size() > current_) {
        bytes_ -= steps_.back()->bytes();
        steps_.pop_back();
    }
    if (clean_ != kNever && clean_ > current_)
        clean_ = kNever; // the saved state was among the redo steps
    bytes_ += step->bytes();
    steps_.push_back(std::move(step));
    ++current_;
    ++revision_;
    trim();
}

void EditHistory::trim()
{
    while (bytes_ > budget_ && !steps_.empty()) {
        if (current_ == 0) {
            // Only redo steps left: the furthest goes first, so that the
            // rest still lead on from the present state.
            bytes_ -= steps_.back()->bytes();
            steps_.pop_back();
            if (clean_ != kNever && clean_ > steps_.size())
                clean_ = kNever;
            continue;
        }
        bytes_ -= steps_.front()->bytes();
        steps_.pop_front();
        --current_;
        // The state before the dropped step can no longer be reached.
        clean_ = clean_ == 0 || clean_ == kNever ? kNever : clean_ - 1;
    }
}

void EditHistory::beforeWrite(const IndexedBitmap& result, std::int64_t x0, std::int64_t y0,
                              std::int64_t x1, std::int64_t y1)
{
    if (!stroke_.open || stroke_.lost)
        return;
    if (budget_ == 0) {
        // No history kept: the stroke only marks the document changed.
        stroke_.lost = true;
        return;
    }
    if (stroke_.raster != nullptr && stroke_.raster != &result) {
        // A stroke never spans two rasters; a new one means the old tiles
        // no longer describe anything.
        stroke_.lost = true;
        return;
    }
    stroke_.raster = &result;
    x0 = std::max<std::int64_t>(x0, 0);
    y0 = std::max<std::int64_t>(y0, 0);
    x1 = std::min<std::int64_t>(x1, result.width());
    y1 = std::min<std::int64_t>(y1, result.height());
    if (x0 >= x1 || y0 >= y1)
        return;
    const std::int64_t tilesX = (result.width() + kTile - 1) / kTile;
    try {
        for (std::int64_t ty = y0 / kTile; ty <= (y1 - 1) / kTile; ++ty) {
            for (std::int64_t tx = x0 / kTile; tx <= (x1 - 1) / kTile; ++tx) {
                const auto key = static_cast<std::uint64_t>(ty * tilesX + tx);
                auto [it, added] = stroke_.before.try_emplace(key);
                if (!added)
                    continue;
                std::int32_t x = 0, y = 0, w = 0, h = 0;
                tileRect(result, key, x, y, w, h);
                it->second.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
                for (std::int32_t row = 0; row < h; ++row)
                    std::memcpy(it->second.data() + static_cast<std::size_t>(row) * w,
                                result.row(y + row) + x, static_cast<std::size_t>(w));
            }
        }
    } catch (const std::bad_alloc&) {
        stroke_.before.clear();
        stroke_.lost = true;
    }
}

void EditHistory::endStroke(const IndexedBitmap* result)
{
    if (!stroke_.open)
        return;
    OpenStroke stroke = std::move(stroke_);
    stroke_ = OpenStroke{};
    if (stroke.lost || (stroke.raster != nullptr && stroke.raster != result)) {
        clear(false);
        return;
    }
    if (stroke.before.empty() || result == nullptr)
        return;
    try {
        std::vector<Tile> tiles;
        tiles.reserve(stroke.before.size());
        for (auto& [key, pixels] : stroke.before) {
            Tile t;
            tileRect(*result, key, t.x, t.y, t.w, t.h);
            bool same = true;
            for (std::int32_t row = 0; row < t.h && same; ++row)
                same =
                    std::memcmp(pixels.data() + static_cast<std::size_t>(row) * t.w,
                                result->row(t.y + row) + t.x, static_cast<std::size_t>(t.w)) == 0;
            if (same)
                continue; // painted over with what was there: nothing to undo
            t.pixels = std::move(pixels);
            tiles.push_back(std::move(t));
        }
        if (tiles.empty())
            return;
        push(std::make_unique<StrokeStep>(std::move(tiles)));
    } catch (const std::bad_alloc&) {
        clear(false);
    }
}

} // namespace gridmint
