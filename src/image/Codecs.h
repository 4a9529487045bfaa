// Readers and writers of the image and palette files.
//
// Readers: the file-name entry points open the file (CErrCodeException code 2
// when it cannot be opened) and hand its bytes to the decode functions, which
// work on memory so that tests and fuzzers can feed them directly. Every
// failure is a thrown tarn::CErrCodeException, except where noted (a PCX that
// is not 8-bit and a file that is not a RIFF palette give null).
//
// Writers: pixel data are one byte per pixel (palette indices), `top` is the
// top row and `stride` the distance in bytes from one row to the next. At
// most the first 256 colours are written. A writer returns false when the
// file cannot be written completely; it then leaves any previous file of that
// name untouched and leaves no temporary file behind. Files are written as
// they are encoded, never built whole in memory first.
#pragma once

#include "image/Containers.h"
#include "image/ErrCodeException.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gridmint {

// Limits shared by every reader: a width or height of 0 or above 65535, or
// more than 2^28 pixels, is refused with code 1 before anything is allocated.
constexpr std::int64_t kMaxImageSide = 65535;
constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;

// What the formats themselves can hold.
constexpr std::int64_t kMaxPngSide = 1000000;     // libpng's limit when writing
constexpr std::int64_t kMaxPcxWidth = 32766;      // bytes per line is signed 16-bit
constexpr std::int64_t kMaxPcxHeight = 65536;     // ymax is 16-bit
constexpr std::int64_t kMaxBmpBytes = 0x7FFFFFFF; // the size fields are signed 32-bit

enum class ImageFormat { Png, Bmp, Pcx };

// Why a picture of this size cannot be written in `format` as a file that
// Gridmint reads back (the format's own limit first, then the readers'), as
// a phrase such as "wider than PNG allows (1000000)"; empty when it can.
// The writers refuse exactly these sizes.
std::string writeSizeProblem(ImageFormat format, std::int64_t width, std::int64_t height);

// Width and height from the head of a PNG, BMP or PCX file, without reading
// the rest; nullopt when the file cannot be opened or is none of those.
// Values are as declared and may be nonsense.
struct ImageSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
std::optional<ImageSize> readImageSize(const std::filesystem::path& path);

struct PixelBlock {
    const std::uint8_t* top = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
};

// How hard the PNG writer compresses. Every setting writes the same pixels,
// palette, transparency and bit depth; only size and time differ.
enum class Compression {
    Fast,     // a fraction of Best's time for larger files
    Best,     // the default: the size of zlib's level 9 in much less time
    Smallest, // about a tenth smaller than Best, many times slower
};

struct WriteOptions {
    Compression compression = Compression::Best;
    unsigned threads = 0; // PNG compression threads; 0: one per core
    // Called on the writing thread as rows reach the file.
    std::function<void(std::int32_t rowsDone, std::int32_t rows)> progress;
};


// Writes `pixels` in `format`; the format's own writer below with options.
bool writeImage(const std::filesystem::path& path, ImageFormat format, const PixelBlock& pixels,
                std::span<const Colour> colours, const WriteOptions& options = {});

// BMP: uncompressed 1-, 4- and 8-bit palette files; writes 8-bit.
std::unique_ptr<ImageSet> readBmp(const std::filesystem::path& path);
std::unique_ptr<ImageSet> decodeBmp(std::span<const std::uint8_t> bytes);
bool writeBmp(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count);
std::optional<std::vector<std::uint8_t>> encodeBmp(const PixelBlock& pixels,
                                                   std::span<const Colour> colours);

// PNG: palette files (colour type 3) of any bit depth, tRNS as alpha, gAMA
// applied to the palette; writes the smallest bit depth that holds the
// palette and the indices used (Compression::Best unless told otherwise).
std::unique_ptr<ImageSet> readPng(const std::filesystem::path& path);
std::unique_ptr<ImageSet> decodePng(std::span<const std::uint8_t> bytes);
bool writePng(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count);
std::optional<std::vector<std::uint8_t>> encodePng(const PixelBlock& pixels,
                                                   std::span<const Colour> colours);

// PCX: 8-bit single-plane files, run-length or raw; writes version 5 RLE.
// Returns null (no exception) for a file that is not an 8-bit PCX. A file
// whose data end early still loads, the rest at index 0; the set's
// `missingRows` then counts the rows left incomplete.
std::unique_ptr<ImageSet> readPcx(const std::filesystem::path& path);
std::unique_ptr<ImageSet> decodePcx(std::span<const std::uint8_t> bytes);
bool writePcx(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count);
std::optional<std::vector<std::uint8_t>> encodePcx(const PixelBlock& pixels,
                                                   std::span<const Colour> colours);

// Palette files. ACT never returns null; PAL returns null for a file that is
// not a RIFF palette. `reverse` returns the colours last to first.
std::unique_ptr<Palette> readActPalette(const std::filesystem::path& path, bool reverse);
std::unique_ptr<Palette> decodeActPalette(std::span<const std::uint8_t> bytes, bool reverse);
std::unique_ptr<Palette> readPalPalette(const std::filesystem::path& path, bool reverse);
std::unique_ptr<Palette> decodePalPalette(std::span<const std::uint8_t> bytes, bool reverse);

} // namespace gridmint
