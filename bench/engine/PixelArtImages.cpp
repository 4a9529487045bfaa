#include "PixelArtImages.h"

#include "app/LineWalk.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace gridmint::bench {

namespace {

// `hues` ramps of `steps` shades each, darkest first; entry hue * steps + s.
std::unique_ptr<Palette> rampPalette(int hues, int steps)
{
    static const int base[8][3] = {{200, 60, 50},  {60, 160, 70},  {60, 90, 200},  {220, 190, 70},
                                   {150, 80, 170}, {70, 180, 190}, {180, 120, 80}, {150, 150, 150}};
    auto palette = std::make_unique<Palette>();
    for (int h = 0; h < hues; ++h) {
        for (int s = 0; s < steps; ++s) {
            const double k = 0.15 + 1.0 * s / (steps - 1);
            const auto ch = [&](int v) {
                return static_cast<Colour>(std::clamp(static_cast<int>(v * k), 0, 255));
            };
            palette->colours.push_back(kOpaque | ch(base[h % 8][0]) << 16 |
                                       ch(base[h % 8][1]) << 8 | ch(base[h % 8][2]));
        }
    }
    return palette;
}

std::unique_ptr<ImageSet> newSet(int size, std::unique_ptr<Palette> palette)
{
    auto image = std::make_unique<IndexedImage>();
    image->allocate(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size));
    return std::make_unique<ImageSet>(nullptr, std::move(image), std::move(palette),
                                      ImageSet::kIndexedKind);
}

void sprites(IndexedImage& img, std::mt19937& rng)
{
    const int size = img.width();
    constexpr int steps = 8;
    const auto put = [&](int x, int y, int v) {
        if (x >= 0 && y >= 0 && x < size && y < size)
            img.row(y)[x] = static_cast<std::uint8_t>(v);
    };
    for (int y = 0; y < size; ++y)
        std::fill_n(img.row(y), size, static_cast<std::uint8_t>(3 * steps + 6)); // pale sky
    std::uniform_int_distribution<int> pos(0, size - 1), radius(5, 20), hue(0, 2);
    const int count = size * size / 500;
    for (int i = 0; i < count; ++i) {
        const int cx = pos(rng), cy = pos(rng), rx = radius(rng), ry = radius(rng);
        const int h = hue(rng) * steps;
        // Filled ellipse: a light upper-left, a mid body, a dark outline.
        for (int y = -ry - 1; y <= ry + 1; ++y) {
            for (int x = -rx - 1; x <= rx + 1; ++x) {
                const double d = (x * x) / double(rx * rx) + (y * y) / double(ry * ry);
                if (d > 1.0)
                    continue;
                const bool edge =
                    (x - 1) * (x - 1) / double(rx * rx) + y * y / double(ry * ry) > 1.0 ||
                    (x + 1) * (x + 1) / double(rx * rx) + y * y / double(ry * ry) > 1.0 ||
                    x * x / double(rx * rx) + (y - 1) * (y - 1) / double(ry * ry) > 1.0 ||
                    x * x / double(rx * rx) + (y + 1) * (y + 1) / double(ry * ry) > 1.0;
                int shade = 4;
                if (edge)
                    shade = 0;
                else if (x + y < -(rx + ry) / 3)
                    shade = 6;
                else if (x + y > (rx + ry) / 3)
                    shade = 2;
                put(cx + x, cy + y, h + shade);
            }
        }
    }
}

void lines(IndexedImage& img, std::mt19937& rng)
{
    const int size = img.width();
    constexpr int steps = 8;
    for (int y = 0; y < size; ++y)
        std::fill_n(img.row(y), size, static_cast<std::uint8_t>(3 * steps + 7));
    const auto put = [&](int x, int y, int v) {
        if (x >= 0 && y >= 0 && x < size && y < size)
            img.row(y)[x] = static_cast<std::uint8_t>(v);
    };
    std::uniform_int_distribution<int> pos(0, size - 1), colour(0, 3 * steps - 1), r(4, 40);
    const int count = size * size / 400;
    for (int i = 0; i < count; ++i) {
        const int v = colour(rng) & ~3; // darker half of each ramp
        if (i % 2 == 0) {               // straight line of any slope (Bresenham)
            const int x0 = pos(rng), y0 = pos(rng);
            const int x1 = x0 + r(rng) - 20, y1 = y0 + r(rng) - 20;
            WalkLine(x0, y0, x1, y1, [&](std::int64_t x, std::int64_t y) {
                put(static_cast<int>(x), static_cast<int>(y), v);
            });
        } else { // circle outline (midpoint)
            const int cx = pos(rng), cy = pos(rng), rad = r(rng) / 2;
            int x = rad, y = 0, err = 1 - rad;
            while (x >= y) {
                for (auto [px, py] : {std::pair{x, y},
                                      {y, x},
                                      {-y, x},
                                      {-x, y},
                                      {-x, -y},
                                      {-y, -x},
                                      {y, -x},
                                      {x, -y}})
                    put(cx + px, cy + py, v);
                ++y;
                if (err < 0) {
                    err += 2 * y + 1;
                } else {
                    --x;
                    err += 2 * (y - x) + 1;
                }
            }
        }
    }
}

void dither(IndexedImage& img)
{
    const int size = img.width();
    constexpr int steps = 8;
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int y = 0; y < size; ++y) {
        const int hue = (y * 8 / size) % 8;
        for (int x = 0; x < size; ++x) {
            const double t = double(x) / size * (steps - 1); // along the ramp
            const int lo = static_cast<int>(t);
            const double frac = t - lo;
            const int pick = frac * 16 > bayer[y & 3][x & 3] ? std::min(lo + 1, steps - 1) : lo;
            img.row(y)[x] = static_cast<std::uint8_t>(hue * steps + pick);
        }
    }
}

} // namespace

std::string kindName(ArtKind kind)
{
    switch (kind) {
    case ArtKind::Sprites:
        return "sprites";
    case ArtKind::Lines:
        return "lines";
    case ArtKind::Dither:
        return "dither";
    }
    return "?";
}

std::unique_ptr<ImageSet> makePixelArt(ArtKind kind, int size, unsigned seed)
{
    std::mt19937 rng(seed);
    auto set = newSet(size, rampPalette(kind == ArtKind::Dither ? 8 : 4, 8));
    switch (kind) {
    case ArtKind::Sprites:
        sprites(*set->image, rng);
        break;
    case ArtKind::Lines:
        lines(*set->image, rng);
        break;
    case ArtKind::Dither:
        dither(*set->image);
        break;
    }
    return set;
}

} // namespace gridmint::bench
