// Turns a job's result into the raster the view paints: same indices, a
// colour table of the palette's colours with alpha forced opaque, padded with
// opaque black to 256 entries so that every byte value has a colour.
#pragma once

#include "image/Containers.h"
#include "image/IndexedBitmap.h"

#include <array>
#include <memory>

namespace gridmint {

// The raster's colour table for `palette`.
std::array<Colour, IndexedBitmap::kMaxColours> displayColours(const Palette& palette);

// Null when the raster cannot be made (out of memory).
std::unique_ptr<IndexedBitmap> makeDisplayBitmap(const IndexedImage& image, const Palette& palette);

// Fills an existing raster of the same size instead (reuses its memory);
// false when the sizes differ.
bool fillDisplayBitmap(IndexedBitmap& bitmap, const IndexedImage& image, const Palette& palette);

// Copies only the pixel rows [firstRow, endRow) (clipped to the image) and
// leaves the colour table, for a caller that refills a large raster a band
// at a time; false when the sizes differ.
bool copyDisplayRows(IndexedBitmap& bitmap, const IndexedImage& image, std::int32_t firstRow,
                     std::int32_t endRow);

} // namespace gridmint
