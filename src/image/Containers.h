// Image containers: the in-memory form of every picture and palette.
//
// Colour values are 0xAARRGGBB (alpha in the top byte). Pixel indices are
// not checked against the palette: an index may be at or beyond its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gridmint {

using Colour = std::uint32_t;

constexpr Colour kOpaque = 0xFF000000u;

// An ordered list of colours; the index of a colour is its position.
class Palette {
public:
    std::string name;
    std::vector<Colour> colours;

    // New entries are 0 (transparent black) until written.
    void resize(std::size_t count) { colours.resize(count, 0); }
    void set(std::size_t i, Colour c) { colours[i] = c; }
    Colour at(std::size_t i) const { return colours[i]; }
    std::size_t count() const { return colours.size(); }
};

// One palette index per pixel, rows without padding, store aligned to 16.
class IndexedImage {
public:
    std::string name;

    IndexedImage() = default;
    IndexedImage(const IndexedImage&) = delete;
    IndexedImage& operator=(const IndexedImage&) = delete;
    virtual ~IndexedImage() = default;

    // Releases any previous store and allocates width x height bytes
    // (contents undefined). Throws std::bad_alloc when the store cannot be
    // had and std::length_error when the byte count does not fit size_t.
    void allocate(std::uint32_t width, std::uint32_t height);
    // Back to the empty state: no store, no rows, size 0, empty name.
    void clear();

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    bool hasStore() const { return store_ != nullptr; }

    // No bounds checking: callers stay inside 0 <= y < height.
    std::uint8_t* row(std::int32_t y) { return rows_[static_cast<std::size_t>(y)]; }
    const std::uint8_t* row(std::int32_t y) const { return rows_[static_cast<std::size_t>(y)]; }
    std::uint8_t* store() { return store_.get(); }
    const std::uint8_t* store() const { return store_.get(); }
    std::size_t rowCount() const { return rows_.size(); }

private:
    struct AlignedFree {
        void operator()(std::uint8_t* p) const;
    };
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::unique_ptr<std::uint8_t, AlignedFree> store_;
    std::vector<std::uint8_t*> rows_;
};

// The first image slot of a set. Nothing in this system fills it; it exists
// so that size queries and destruction treat a filled slot correctly.
class SpareImage : public IndexedImage {};

// One image with its palette. Every set built here holds an indexed image, a
// palette and kind 3, and no first image.
class ImageSet {
public:
    static constexpr std::int32_t kIndexedKind = 3;

    std::unique_ptr<SpareImage> first;
    std::unique_ptr<IndexedImage> image;
    std::unique_ptr<Palette> palette;
    std::int32_t kind = 0;
    // Rows the file ended before (left at index 0, counting a row that was
    // only partly there); 0 for a complete picture.
    std::int32_t missingRows = 0;

    ImageSet() = default;
    ImageSet(std::unique_ptr<SpareImage> firstImage, std::unique_ptr<IndexedImage> indexed,
             std::unique_ptr<Palette> pal, std::int32_t kindCode)
        : first(std::move(firstImage)), image(std::move(indexed)), palette(std::move(pal)),
          kind(kindCode)
    {
    }

    // The first image's size if present, else the indexed image's, else 0.
    std::int32_t width() const;
    std::int32_t height() const;

    // Releases both images and the palette and sets the kind to 0.
    void destroy();
};

} // namespace gridmint
