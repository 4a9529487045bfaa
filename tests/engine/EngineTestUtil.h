// Small helpers shared by the engine tests: images written as digit strings
// and a readable picture of pixels when a comparison fails.
#pragma once

#include "image/Containers.h"

#include <memory>
#include <string>
#include <vector>

namespace gridmint::test {

// A set whose rows are written as strings of digits/letters (0-9 then a-z
// for indices 10-35), top row first.
std::unique_ptr<ImageSet> makeSet(const std::vector<std::string>& rows,
                                  const std::vector<Colour>& palette);

// A set of the given size and pixel bytes (row-major).
std::unique_ptr<ImageSet> makeSet(int width, int height, const std::vector<std::uint8_t>& pixels,
                                  const std::vector<Colour>& palette);

// The image's rows in the same notation (indices above 35 show as '#').
std::vector<std::string> rowsOf(const IndexedImage& image);

} // namespace gridmint::test
