#include "DocTestUtil.h"

#include "image/Codecs.h"

#include <atomic>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

namespace gridmint::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    do {
        path_ = fs::temp_directory_path() /
                ("gridmint-test-" + std::to_string(counter++) + "-" + std::to_string(rd()));
    } while (!fs::create_directory(path_));
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<Colour> testPalette(std::size_t count)
{
    static const Colour base[16] = {
        0xFFFFFFFF, 0xFF000000, 0xFFE04040, 0xFF40A040, 0xFF4040E0, 0xFFF0E060,
        0xFF802080, 0xFF20C0C0, 0xFF604020, 0xFFFF9000, 0xFF90FF90, 0xFF9090FF,
        0xFF404040, 0xFFC0C0C0, 0xFF006060, 0xFFFF00FF,
    };
    std::vector<Colour> colours;
    for (std::size_t i = 0; i < count; ++i)
        colours.push_back(i < 16 ? base[i] : (0xFF000000u | static_cast<Colour>(i * 0x010203u)));
    return colours;
}

void writeImage(const fs::path& path, const Rows& rows, const std::vector<Colour>& palette)
{
    const auto h = static_cast<std::int32_t>(rows.size());
    const auto w = static_cast<std::int32_t>(rows.at(0).size());
    std::vector<std::uint8_t> pixels;
    for (const std::string& row : rows) {
        if (static_cast<std::int32_t>(row.size()) != w)
            throw std::invalid_argument("ragged rows");
        for (char c : row)
            pixels.push_back(static_cast<std::uint8_t>(std::stoi(std::string(1, c), nullptr, 16)));
    }
    if (!writePng(path, pixels.data(), w, h, w, palette.data(),
                  static_cast<std::int32_t>(palette.size())))
        throw std::runtime_error("cannot write " + path.string());
}

namespace {
char digit(std::uint8_t v)
{
    return v < 16 ? "0123456789ABCDEF"[v] : '#';
}

template <class Raster> Rows pictureOf(const Raster& raster)
{
    Rows rows;
    for (std::int32_t y = 0; y < raster.height(); ++y) {
        std::string row;
        for (std::int32_t x = 0; x < raster.width(); ++x)
            row += digit(raster.row(y)[x]);
        rows.push_back(row);
    }
    return rows;
}
} // namespace

Rows picture(const IndexedBitmap& bitmap)
{
    return pictureOf(bitmap);
}

Rows picture(const IndexedImage& image)
{
    return pictureOf(image);
}

void loadApplied(ScaleDocument& doc, const ScratchDir& dir, const Rows& rows, std::int32_t f,
                 bool passes)
{
    static std::atomic<unsigned> counter{0};
    const fs::path file = dir / ("img" + std::to_string(counter++) + ".png");
    writeImage(file, rows);
    ASSERT_TRUE(doc.Load(file)) << doc.lastError();
    ASSERT_NE(doc.Apply(f, 20, false, -1, passes), nullptr) << doc.lastError();
}

} // namespace gridmint::testing
