// PNG: palette files through libpng, from and to memory.
//
// libpng reports errors by longjmp. Every setjmp here sits in a small
// function whose locals are plain pointers and integers, and the work done
// under it creates no C++ object with a destructor, so a longjmp never skips
// one. C++ objects (the image, the palette, the output vector) are built
// outside, before or after.
#include "image/Codecs.h"
#include "image/FileInput.h"
#include "image/Platform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>
#include <png.h>

namespace gridmint {

using tarn::CErrCodeException;

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// The most libpng may allocate for one ancillary chunk. Palette pictures
// need none of the large ones, and without a bound a text chunk declaring
// 2 GiB costs 2 GiB before the file is found short.
constexpr png_alloc_size_t kMaxChunkAllocation = std::size_t{1} << 20;

// Chunks whose contents are never used: text, suggested palettes, Exif.
// libpng skips them without storing them. Five bytes per name, as libpng
// wants them.
constexpr char kIgnoredChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0eXIf";
constexpr int kIgnoredChunkCount = sizeof kIgnoredChunks / 5;

std::uint32_t be32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

// The whole file is in memory, so a chunk cannot be longer than the bytes
// after its header: one that claims more is refused before libpng sizes a
// buffer by it. The walk ends at IEND or where the bytes end.
void checkChunkLengths(std::span<const std::uint8_t> bytes)
{
    std::size_t at = 8;
    while (bytes.size() - at >= 8) {
        const std::uint64_t length = be32(bytes, at);
        if (length + 12 > bytes.size() - at)
            throw CErrCodeException(CErrCodeException::ReadError);
        if (std::memcmp(bytes.data() + at + 4, "IEND", 4) == 0)
            return;
        at += static_cast<std::size_t>(length) + 12;
    }
}

extern "C" void onPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

extern "C" void onPngWarning(png_structp, png_const_charp) {}

// ---- reading ----

struct ReadSource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos;
};

extern "C" void readFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* src = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (count > src->size - src->pos)
        png_error(png, "unexpected end of data");
    std::memcpy(out, src->data + src->pos, count);
    src->pos += count;
}

struct PngHeader {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colourType;
    int interlace;
    png_size_t rowBytes;
    int paletteCount;
    int transCount;
    png_color palette[256];
    png_byte trans[256];
};

// Reads the chunks up to the image data and sets up the transformations.
// Returns false on any libpng error.
bool pngReadHeader(png_structp png, png_infop info, PngHeader* h)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    int compression = 0;
    int filter = 0;
    png_get_IHDR(png, info, &h->width, &h->height, &h->bitDepth, &h->colourType, &h->interlace,
                 &compression, &filter);
    if (h->colourType != PNG_COLOR_TYPE_PALETTE)
        return true; // refused by the caller
    if (h->bitDepth == 16)
        png_set_strip_16(png);
    if (png_get_valid(png, info, PNG_INFO_gAMA)) {
        double fileGamma = 0;
        png_get_gAMA(png, info, &fileGamma);
        png_set_gamma(png, 2.2, fileGamma);
    }
    png_set_packing(png);
    if (h->interlace != PNG_INTERLACE_NONE)
        png_set_interlace_handling(png);
    png_read_update_info(png, info);
    h->rowBytes = png_get_rowbytes(png, info);

    png_colorp plte = nullptr;
    int plteCount = 0;
    if (png_get_PLTE(png, info, &plte, &plteCount) == 0 || plte == nullptr)
        plteCount = 0;
    h->paletteCount = std::clamp(plteCount, 0, 256);
    for (int i = 0; i < h->paletteCount; ++i)
        h->palette[i] = plte[i];

    png_bytep trans = nullptr;
    int transCount = 0;
    png_color_16p transColour = nullptr;
    if (png_get_tRNS(png, info, &trans, &transCount, &transColour) == 0 || trans == nullptr)
        transCount = 0;
    h->transCount = std::clamp(transCount, 0, 256);
    for (int i = 0; i < h->transCount; ++i)
        h->trans[i] = trans[i];
    return true;
}

bool pngReadRows(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

// Owns the libpng read structures for the length of one decode.
class PngReader {
public:
    PngReader()
    {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
        if (png_ != nullptr)
            info_ = png_create_info_struct(png_);
    }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }

    bool ok() const { return png_ != nullptr && info_ != nullptr; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// ---- writing ----

struct WriteSink {
    std::vector<std::uint8_t>* out;
};

extern "C" void writeToMemory(png_structp png, png_bytep data, png_size_t count)
{
    auto* sink = static_cast<WriteSink*>(png_get_io_ptr(png));
    try {
        sink->out->insert(sink->out->end(), data, data + count);
    } catch (...) {
        png_error(png, "out of memory");
    }
}

extern "C" void flushMemory(png_structp) {}

struct PngWriteJob {
    const PixelBlock* pixels;
    int bitDepth;
    const png_color* palette;
    int paletteCount;
    const png_byte* trans;
    int transCount;
    WriteSink* sink;
};

bool pngWriteAll(png_structp png, png_infop info, const PngWriteJob* job)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, job->sink, writeToMemory, flushMemory);
    png_set_compression_level(png, 9);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_set_IHDR(png, info, static_cast<png_uint_32>(job->pixels->width),
                 static_cast<png_uint_32>(job->pixels->height), job->bitDepth,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, job->palette, job->paletteCount);
    if (job->transCount > 0)
        png_set_tRNS(png, info, job->trans, job->transCount, nullptr);
    png_write_info(png, info);
    png_set_packing(png);
    for (std::int32_t y = 0; y < job->pixels->height; ++y)
        png_write_row(png, job->pixels->top + static_cast<std::ptrdiff_t>(y) * job->pixels->stride);
    png_write_end(png, nullptr);
    return true;
}

int depthFor(std::size_t entries)
{
    if (entries <= 2)
        return 1;
    if (entries <= 4)
        return 2;
    if (entries <= 16)
        return 4;
    return 8;
}

} // namespace

std::unique_ptr<ImageSet> decodePng(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0)
        throw CErrCodeException(CErrCodeException::NoSupport);

    // Size limits are checked on the raw header first, so that an oversized
    // image is refused as unsupported rather than as a libpng error; libpng's
    // own limits below stay as a second line.
    if (bytes.size() >= 24 && std::memcmp(bytes.data() + 12, "IHDR", 4) == 0)
        checkImageSize(be32(bytes, 16), be32(bytes, 20));
    checkChunkLengths(bytes);

    PngReader reader;
    if (!reader.ok())
        throw CErrCodeException(CErrCodeException::NoSupport);
    ReadSource source{bytes.data(), bytes.size(), 8};
    png_set_read_fn(reader.png(), &source, readFromMemory);
    // libpng refuses oversized images itself, before allocating for them.
    png_set_user_limits(reader.png(), kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(reader.png(), kMaxChunkAllocation);
    png_set_keep_unknown_chunks(reader.png(), PNG_HANDLE_CHUNK_NEVER,
                                reinterpret_cast<png_const_bytep>(kIgnoredChunks),
                                kIgnoredChunkCount);

    auto header = std::make_unique<PngHeader>();
    if (!pngReadHeader(reader.png(), reader.info(), header.get()))
        throw CErrCodeException(CErrCodeException::ReadError);
    if (header->colourType != PNG_COLOR_TYPE_PALETTE)
        throw CErrCodeException(CErrCodeException::NoSupport);
    checkImageSize(header->width, header->height);
    if (header->rowBytes != header->width)
        throw CErrCodeException(CErrCodeException::NoSupport);

    auto image = std::make_unique<IndexedImage>();
    image->allocate(header->width, header->height);
    std::vector<png_bytep> rows(header->height);
    for (png_uint_32 y = 0; y < header->height; ++y)
        rows[y] = image->row(static_cast<std::int32_t>(y));
    if (!pngReadRows(reader.png(), reader.info(), rows.data()))
        throw CErrCodeException(CErrCodeException::ReadError);

    auto palette = std::make_unique<Palette>();
    palette->resize(static_cast<std::size_t>(header->paletteCount));
    for (int i = 0; i < header->paletteCount; ++i) {
        const png_color& c = header->palette[i];
        const Colour alpha = i < header->transCount ? header->trans[i] : 0xFF;
        palette->set(static_cast<std::size_t>(i),
                     alpha << 24 | Colour{c.red} << 16 | Colour{c.green} << 8 | c.blue);
    }
    return std::make_unique<ImageSet>(nullptr, std::move(image), std::move(palette),
                                      ImageSet::kIndexedKind);
}

std::unique_ptr<ImageSet> readPng(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = readImageFile(path);
    return decodePng(bytes);
}

std::optional<std::vector<std::uint8_t>> encodePng(const PixelBlock& pixels,
                                                   std::span<const Colour> colours)
{
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.top == nullptr ||
        !writeSizeProblem(ImageFormat::Png, pixels.width, pixels.height).empty())
        return std::nullopt;
    colours = colours.first(std::min<std::size_t>(colours.size(), 256));

    // The depth must hold every index actually used, not just the palette:
    // libpng would otherwise mask a larger index into a different colour.
    int highest = 0;
    for (std::int32_t y = 0; y < pixels.height && highest < 255; ++y) {
        const std::uint8_t* row = pixels.top + static_cast<std::ptrdiff_t>(y) * pixels.stride;
        highest = std::max<int>(highest, *std::max_element(row, row + pixels.width));
    }
    const std::size_t entries =
        std::max<std::size_t>(colours.size(), static_cast<std::size_t>(highest) + 1);

    std::array<png_color, 256> plte{}; // entries past the palette are opaque black
    std::array<png_byte, 256> trans{};
    int transCount = 0;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        plte[i] =
            png_color{static_cast<png_byte>(colours[i] >> 16),
                      static_cast<png_byte>(colours[i] >> 8), static_cast<png_byte>(colours[i])};
        trans[i] = static_cast<png_byte>(colours[i] >> 24);
        if (trans[i] != 0xFF)
            transCount = static_cast<int>(i) + 1;
    }

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height) /
                    8 +
                1024);
    WriteSink sink{&out};
    const PngWriteJob job{&pixels,      depthFor(entries), plte.data(), static_cast<int>(entries),
                          trans.data(), transCount,        &sink};

    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (png == nullptr)
        return std::nullopt;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return std::nullopt;
    }
    const bool ok = pngWriteAll(png, info, &job);
    png_destroy_write_struct(&png, &info);
    if (!ok)
        return std::nullopt;
    return out;
}

bool writePng(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count)
{
    const std::span<const Colour> pal =
        colours != nullptr && count > 0
            ? std::span<const Colour>(colours, static_cast<std::size_t>(count))
            : std::span<const Colour>();
    const auto bytes = encodePng({top, width, height, stride}, pal);
    return bytes && platform::replaceFileContents(path, *bytes);
}

} // namespace gridmint
