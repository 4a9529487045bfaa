// BMP: uncompressed 1-, 4- and 8-bit palette files in, 8-bit files out.
#include "image/ByteReader.h"
#include "image/Codecs.h"
#include "image/FileInput.h"
#include "image/Platform.h"
#include "image/StreamedWriters.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace gridmint {

using tarn::CErrCodeException;

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kWrittenPixelOffset = kFileHeaderSize + kInfoHeaderSize + 256 * 4; // 1078

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFFu);
    put16(out, v >> 16);
}

} // namespace

std::unique_ptr<ImageSet> decodeBmp(std::span<const std::uint8_t> bytes)
{
    ByteReader in(bytes);
    const auto fileHeader = in.take(kFileHeaderSize);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
        throw CErrCodeException(CErrCodeException::NotBmp);
    const std::uint32_t pixelOffset = ByteReader(fileHeader.subspan(10)).u32le();

    // The 40-byte core of the information header; larger variants (52, 56,
    // 64, 108, 124 bytes) add fields after it, and the palette follows the
    // whole header, wherever it ends.
    const std::uint32_t headerSize = in.u32le();
    const std::int32_t width = in.i32le();
    const std::int32_t height = in.i32le();
    (void)in.u16le(); // planes
    const std::uint16_t bitsPerPixel = in.u16le();
    const std::uint32_t compression = in.u32le();
    (void)in.take(12); // image size, resolutions
    const std::uint32_t coloursUsed = in.u32le();
    (void)in.u32le(); // important colours
    if (headerSize < kInfoHeaderSize)
        throw CErrCodeException(CErrCodeException::NoSupport);

    auto palette = std::make_unique<Palette>();
    if (bitsPerPixel < 16) {
        const std::uint64_t count =
            coloursUsed != 0 ? coloursUsed : std::uint64_t{1} << bitsPerPixel;
        in.seek(std::uint64_t{kFileHeaderSize} + headerSize);
        // Every entry must be in the file, but pixels are bytes: only the
        // first 256 colours can ever be used, so only those are kept.
        const auto entries = in.take(count * 4);
        const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(count, 256));
        palette->resize(kept);
        for (std::size_t i = 0; i < kept; ++i) {
            const std::uint8_t* e = entries.data() + i * 4;
            palette->set(i, kOpaque | Colour{e[2]} << 16 | Colour{e[1]} << 8 | e[0]);
        }
    }
    if (compression != 0)
        throw CErrCodeException(CErrCodeException::CompressedBmp);
    if (palette->count() == 0)
        throw CErrCodeException(CErrCodeException::NoSupport);
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8)
        throw CErrCodeException(CErrCodeException::NoSupport);
    // Top-down (negative height) and negative-width files are refused.
    checkImageSize(width, height);

    const std::uint64_t rowBytes = (std::uint64_t(width) * bitsPerPixel + 7) / 8;
    const std::uint64_t paddedRow = (rowBytes + 3) & ~std::uint64_t{3};
    // The rows are read from the pixel offset for exactly the length they
    // need; the header's file size field plays no part.
    in.seek(pixelOffset);
    const auto pixels = in.take(paddedRow * static_cast<std::uint64_t>(height));

    auto image = std::make_unique<IndexedImage>();
    image->allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    for (std::int32_t r = 0; r < height; ++r) {
        const std::uint8_t* src = pixels.data() + static_cast<std::size_t>(r) * paddedRow;
        std::uint8_t* dst = image->row(height - 1 - r);
        switch (bitsPerPixel) {
        case 8:
            std::memcpy(dst, src, static_cast<std::size_t>(width));
            break;
        case 4:
            for (std::int32_t x = 0; x < width; ++x) {
                const std::uint8_t b = src[x / 2];
                dst[x] = (x & 1) ? (b & 0x0F) : (b >> 4);
            }
            break;
        default:
            for (std::int32_t x = 0; x < width; ++x)
                dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
            break;
        }
    }
    return std::make_unique<ImageSet>(nullptr, std::move(image), std::move(palette),
                                      ImageSet::kIndexedKind);
}

std::unique_ptr<ImageSet> readBmp(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = readImageFile(path);
    return decodeBmp(bytes);
}

bool streamBmp(const PixelBlock& pixels, std::span<const Colour> colours,
               const WriteOptions& options, const platform::ByteSink& sink)
{
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.top == nullptr ||
        !writeSizeProblem(ImageFormat::Bmp, pixels.width, pixels.height).empty())
        return false;
    const std::uint64_t paddedRow = (std::uint64_t(pixels.width) + 3) & ~std::uint64_t{3};
    const std::uint64_t fileSize = paddedRow * std::uint64_t(pixels.height) + kWrittenPixelOffset;
    colours = colours.first(std::min<std::size_t>(colours.size(), 256));

    BufferedSink file(sink);
    std::vector<std::uint8_t>& out = file.bytes();
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<std::uint32_t>(fileSize));
    put32(out, 0);
    put32(out, kWrittenPixelOffset);
    put32(out, kInfoHeaderSize);
    put32(out, static_cast<std::uint32_t>(pixels.width));
    put32(out, static_cast<std::uint32_t>(pixels.height));
    put16(out, 1);
    put16(out, 8);
    for (int i = 0; i < 6; ++i)
        put32(out, 0); // compression, image size, resolutions, colours used, important
    for (const Colour c : colours) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        out.push_back(0);
    }
    out.resize(kWrittenPixelOffset, 0);
    const std::size_t width = static_cast<std::size_t>(pixels.width);
    const std::size_t pad = static_cast<std::size_t>(paddedRow) - width;
    for (std::int32_t y = pixels.height - 1; y >= 0; --y) {
        const std::uint8_t* row = pixels.top + static_cast<std::ptrdiff_t>(y) * pixels.stride;
        out.insert(out.end(), row, row + width);
        out.insert(out.end(), pad, 0);
        if (!file.spill())
            return false;
        if (options.progress)
            options.progress(pixels.height - y, pixels.height);
    }
    return file.flush();
}

std::optional<std::vector<std::uint8_t>> encodeBmp(const PixelBlock& pixels,
                                                   std::span<const Colour> colours)
{
    return encodeWith(&streamBmp, pixels, colours);
}

bool writeBmp(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count)
{
    return writeWith(&streamBmp, path, {top, width, height, stride}, colourSpan(colours, count));
}

} // namespace gridmint
