// Command-line access to the codecs for the interoperability check:
//   image_tool read FILE
//       prints the decoded image as JSON: {"width", "height", "palette"
//       (0xAARRGGBB numbers), "pixels"}, or {"error": code}, or {"none": true}
//   image_tool write FORMAT OUT WIDTH HEIGHT COLOURS HIGHEST [COMPRESSION]
//       writes a test picture whose indices run up to HIGHEST (which may be
//       at or above COLOURS) from a buffer whose stride exceeds the width and
//       whose padding holds junk, with COMPRESSION fast, best (the default)
//       or smallest; prints the written picture as JSON.
#include "image/Codecs.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace gridmint;

namespace {

void printJson(std::int32_t width, std::int32_t height, const std::vector<Colour>& palette,
               const std::uint8_t* top, std::int64_t stride)
{
    std::printf("{\"width\": %d, \"height\": %d, \"palette\": [", width, height);
    for (std::size_t i = 0; i < palette.size(); ++i)
        std::printf("%s%u", i ? ", " : "", palette[i]);
    std::printf("], \"pixels\": [");
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            std::printf("%s%u", (x | y) ? ", " : "", top[y * stride + x]);
    std::printf("]}\n");
}

int readCommand(const char* file)
{
    const std::string name = file;
    const std::string ext = name.size() >= 4 ? name.substr(name.size() - 4) : "";
    try {
        std::unique_ptr<ImageSet> set;
        if (ext == ".bmp")
            set = readBmp(name);
        else if (ext == ".png")
            set = readPng(name);
        else if (ext == ".pcx")
            set = readPcx(name);
        else
            return 2;
        if (!set) {
            std::printf("{\"none\": true}\n");
            return 0;
        }
        printJson(set->image->width(), set->image->height(), set->palette->colours,
                  set->image->store(), set->image->width());
    } catch (const tarn::CErrCodeException& e) {
        std::printf("{\"error\": %d}\n", e.code());
    }
    return 0;
}

int writeCommand(char** argv, const std::string& compression)
{
    const std::string format = argv[0];
    const std::string out = argv[1];
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const int colours = std::atoi(argv[4]);
    const int highest = std::atoi(argv[5]);
    const int stride = width + 7;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            buffer[y * stride + x] =
                static_cast<std::uint8_t>(((x / 2) * 5 + y * 3) % (highest + 1));
    buffer[0] = static_cast<std::uint8_t>(highest); // make sure the highest index occurs
    std::vector<Colour> palette(static_cast<std::size_t>(colours));
    for (int i = 0; i < colours; ++i) {
        const Colour alpha = i % 3 == 1 ? static_cast<Colour>(i * 37 % 256) : 0xFF;
        palette[i] = alpha << 24 | static_cast<Colour>((i * 53 + 7) % 256) << 16 |
                     static_cast<Colour>((i * 19 + 100) % 256) << 8 |
                     static_cast<Colour>(i * 71 % 256);
    }
    bool ok = false;
    WriteOptions options;
    if (compression == "fast")
        options.compression = Compression::Fast;
    else if (compression == "smallest")
        options.compression = Compression::Smallest;
    if (format == "bmp")
        ok = writeBmp(out, buffer.data(), width, height, stride, palette.data(), colours);
    else if (format == "png")
        ok = writeImage(out, ImageFormat::Png, {buffer.data(), width, height, stride},
                        {palette.data(), palette.size()}, options);
    else if (format == "pcx")
        ok = writePcx(out, buffer.data(), width, height, stride, palette.data(), colours);
    if (!ok)
        return 1;
    printJson(width, height, palette, buffer.data(), stride);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "read")
        return readCommand(argv[2]);
    if ((argc == 8 || argc == 9) && std::string(argv[1]) == "write")
        return writeCommand(argv + 2, argc == 9 ? argv[8] : "best");
    std::fprintf(
        stderr,
        "usage: image_tool read FILE | write FORMAT OUT W H COLOURS HIGHEST [COMPRESSION]\n");
    return 2;
}
