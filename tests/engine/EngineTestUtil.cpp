#include "EngineTestUtil.h"

#include <cstring>
#include <stdexcept>

namespace gridmint::test {

namespace {
std::uint8_t decodeDigit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return static_cast<std::uint8_t>(ch - '0');
    if (ch >= 'a' && ch <= 'z')
        return static_cast<std::uint8_t>(10 + ch - 'a');
    throw std::invalid_argument("bad pixel digit");
}

char encodeDigit(std::uint8_t v)
{
    if (v < 10)
        return static_cast<char>('0' + v);
    if (v < 36)
        return static_cast<char>('a' + v - 10);
    return '#';
}
} // namespace

std::unique_ptr<ImageSet> makeSet(int width, int height, const std::vector<std::uint8_t>& pixels,
                                  const std::vector<Colour>& palette)
{
    auto image = std::make_unique<IndexedImage>();
    image->allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    if (!pixels.empty())
        std::memcpy(image->store(), pixels.data(), pixels.size());
    auto pal = std::make_unique<Palette>();
    pal->colours = palette;
    return std::make_unique<ImageSet>(nullptr, std::move(image), std::move(pal),
                                      ImageSet::kIndexedKind);
}

std::unique_ptr<ImageSet> makeSet(const std::vector<std::string>& rows,
                                  const std::vector<Colour>& palette)
{
    const int height = static_cast<int>(rows.size());
    const int width = height == 0 ? 0 : static_cast<int>(rows[0].size());
    std::vector<std::uint8_t> pixels;
    for (const auto& row : rows) {
        if (static_cast<int>(row.size()) != width)
            throw std::invalid_argument("ragged rows");
        for (char ch : row)
            pixels.push_back(decodeDigit(ch));
    }
    return makeSet(width, height, pixels, palette);
}

std::vector<std::string> rowsOf(const IndexedImage& image)
{
    std::vector<std::string> rows;
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = 0; x < image.width(); ++x)
            row.push_back(encodeDigit(image.row(y)[x]));
        rows.push_back(row);
    }
    return rows;
}

} // namespace gridmint::test
