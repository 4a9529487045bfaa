// The yardstick for gridmint-cli's end-to-end time: the least work that
// turns a palette PNG into an enlarged palette PNG with plain libpng.
//
//   png_baseline generate OUT.png SIZE [KIND]  writes a SIZE x SIZE pixel-art
//       image: KIND blobs (the default, below), or sprites, lines or dither
//       (the engine benchmarks' pictures)
//   png_baseline scale IN.png OUT.png F  read, block replication, write
//
// "scale" prints "read MS enlarge MS encode MS" on stdout. The write uses the
// settings gridmint's PNG writer uses: compression level 9, no filtering.
#include "PixelArtImages.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <string>
#include <vector>

namespace {

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> pixels; // one index per pixel, no padding
};

// setjmp lives here alone, with nothing but trivially destructible locals.
bool readPng(const char* path, Image& image)
{
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_PALETTE)
        png_error(png, "not a palette image");
    if (png_get_bit_depth(png, info) < 8)
        png_set_packing(png);
    png_read_update_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    png_colorp colours = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colours, &count);
    image.palette.assign(colours, colours + count);
    image.pixels.resize(std::size_t{image.width} * image.height);
    for (std::uint32_t y = 0; y < image.height; ++y)
        png_read_row(png, image.pixels.data() + std::size_t{y} * image.width, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

bool writePng(const char* path, const Image& image)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_PLTE(png, info, image.palette.data(), static_cast<int>(image.palette.size()));
    png_write_info(png, info);
    for (std::uint32_t y = 0; y < image.height; ++y)
        png_write_row(png, image.pixels.data() + std::size_t{y} * image.width);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// Row fills, then whole-row copies: the plain enlargement at memory speed.
Image replicate(const Image& src, std::uint32_t f)
{
    Image out;
    out.width = src.width * f;
    out.height = src.height * f;
    out.palette = src.palette;
    out.pixels.resize(std::size_t{out.width} * out.height);
    for (std::uint32_t y = 0; y < src.height; ++y) {
        const std::uint8_t* in = src.pixels.data() + std::size_t{y} * src.width;
        std::uint8_t* first = out.pixels.data() + std::size_t{y} * f * out.width;
        for (std::uint32_t x = 0; x < src.width; ++x)
            std::memset(first + std::size_t{x} * f, in[x], f);
        for (std::uint32_t k = 1; k < f; ++k)
            std::memcpy(first + std::size_t{k} * out.width, first, out.width);
    }
    return out;
}

// Outlined blobs, diagonal bands and a dithered corner on 32 colours: the
// kind of content zlib meets in real pixel art (noise would compress tenfold
// slower and say nothing).
Image generate(std::uint32_t size)
{
    Image img;
    img.width = img.height = size;
    for (int i = 0; i < 32; ++i) {
        img.palette.push_back({static_cast<png_byte>(i * 8), static_cast<png_byte>(255 - i * 6),
                               static_cast<png_byte>((i * 37) & 0xFF)});
    }
    img.pixels.resize(std::size_t{size} * size);
    for (std::uint32_t y = 0; y < size; ++y) {
        for (std::uint32_t x = 0; x < size; ++x) {
            std::uint8_t c = static_cast<std::uint8_t>(((x + y) / 24) % 4); // diagonal bands
            const int cx = static_cast<int>(x % 64) - 32;
            const int cy = static_cast<int>(y % 64) - 32;
            const int d = cx * cx + cy * cy;
            const auto cell = static_cast<std::uint8_t>((x / 64 + y / 64 * 3) % 24);
            if (d < 18 * 18)
                c = static_cast<std::uint8_t>(8 + cell % 20 + (cx + cy > 8 ? 1 : 0));
            else if (d < 20 * 20)
                c = 1; // outline
            if (x > size * 3 / 4 && y > size * 3 / 4 && ((x ^ y) & 1))
                c = 30; // dither
            img.pixels[std::size_t{y} * size + x] = c;
        }
    }
    return img;
}

// One of the engine benchmarks' pictures in this file's own form.
bool generateKind(const std::string& kind, std::uint32_t size, Image& img)
{
    using gridmint::bench::ArtKind;
    for (const ArtKind k : {ArtKind::Sprites, ArtKind::Lines, ArtKind::Dither}) {
        if (gridmint::bench::kindName(k) != kind)
            continue;
        const auto set = gridmint::bench::makePixelArt(k, static_cast<int>(size));
        img.width = img.height = size;
        img.pixels.assign(set->image->store(), set->image->store() + std::size_t{size} * size);
        for (const gridmint::Colour c : set->palette->colours)
            img.palette.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8),
                                   static_cast<png_byte>(c)});
        return true;
    }
    return false;
}

double msSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

} // namespace

int main(int argc, char** argv)
{
    if ((argc == 4 || argc == 5) && std::string(argv[1]) == "generate") {
        const auto size = static_cast<std::uint32_t>(std::atoi(argv[3]));
        Image img;
        if (argc == 4 || std::string(argv[4]) == "blobs")
            img = generate(size);
        else if (!generateKind(argv[4], size, img))
            return 2;
        return writePng(argv[2], img) ? 0 : 1;
    }
    if (argc == 5 && std::string(argv[1]) == "scale") {
        const auto f = static_cast<std::uint32_t>(std::atoi(argv[4]));
        Image src;
        auto t = std::chrono::steady_clock::now();
        if (!readPng(argv[2], src))
            return 1;
        const double readMs = msSince(t);
        t = std::chrono::steady_clock::now();
        const Image out = replicate(src, f);
        const double enlargeMs = msSince(t);
        t = std::chrono::steady_clock::now();
        if (!writePng(argv[3], out))
            return 1;
        const double encodeMs = msSince(t);
        std::printf("read %.3f enlarge %.3f encode %.3f\n", readMs, enlargeMs, encodeMs);
        return 0;
    }
    std::fprintf(stderr, "usage: %s generate OUT.png SIZE [KIND] | scale IN.png OUT.png FACTOR\n",
                 argv[0]);
    return 2;
}
