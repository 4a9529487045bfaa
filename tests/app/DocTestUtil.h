// Small images written inline as rows of hex digits (one palette index per
// character), saved to a scratch folder and read back through the document.
#pragma once

#include "app/ScaleDocument.h"
#include "image/Containers.h"
#include "image/IndexedBitmap.h"

#include <filesystem>
#include <string>
#include <vector>

namespace gridmint::testing {

using Rows = std::vector<std::string>;

// A fresh, empty folder removed when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sixteen distinct opaque colours: entry i is a grey-free hue so that the
// engine's lightness rules have something to decide on.
std::vector<Colour> testPalette(std::size_t count = 16);

// Writes `rows` as an 8-bit palette PNG; the palette defaults to testPalette.
void writeImage(const std::filesystem::path& path, const Rows& rows,
                const std::vector<Colour>& palette = testPalette());

// The pixels as rows of hex digits (indices above 15 as '#').
Rows picture(const IndexedBitmap& bitmap);
Rows picture(const IndexedImage& image);

// Writes `rows`, loads it and applies factor `f` (threshold 20, no
// transparent index); the slope passes only when `passes`.
void loadApplied(ScaleDocument& doc, const ScratchDir& dir, const Rows& rows, std::int32_t f,
                 bool passes = false);

} // namespace gridmint::testing
