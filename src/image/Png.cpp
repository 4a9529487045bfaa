// PNG: palette files read through libpng; written by the code below.
//
// libpng reports errors by longjmp. Every setjmp here sits in a small
// function whose locals are plain pointers and integers, and the work done
// under it creates no C++ object with a destructor, so a longjmp never skips
// one. C++ objects (the image, the palette) are built outside, before or
// after.
#include "image/BandDeflate.h"
#include "image/Codecs.h"
#include "image/FileInput.h"
#include "image/Platform.h"
#include "image/StreamedWriters.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <zlib.h>

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
//
// The writer lays out the chunks itself (signature, IHDR, PLTE, tRNS, IDAT,
// IEND: what libpng writes for these settings) so that the image data can
// be compressed in bands on every core and go to the file as it is made.

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

// Filter and compressor of each setting. The Up filter pays at the faster
// levels (enlarged rows mostly repeat the row above up to a few pixels);
// unfiltered rows suit the deep searches, which find those repeats anyway.
struct PngSettings {
    bool upFilter;
    DeflateSettings deflate;
};

PngSettings settingsFor(const WriteOptions& options)
{
    PngSettings s{false, {}};
    switch (options.compression) {
    case Compression::Fast:
        s.upFilter = true;
        s.deflate.level = 6;
        break;
    case Compression::Best:
        // Level 9 as it is: every cut to its search tried (shorter chains,
        // earlier "good" or "nice" matches) cost one kind of pixel art or
        // another more than 1% in size. The time is won by the bands.
        s.deflate.level = 9;
        break;
    case Compression::Smallest:
        s.deflate.libdeflateLevel = 12;
        break;
    }
    s.deflate.threads = options.threads;
    return s;
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.insert(out.end(), {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                           static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
}

// Appends one chunk: length, type, data, CRC of type and data.
void putChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
              std::span<const std::uint8_t> data)
{
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, static_cast<std::uint32_t>(crc32_z(0, out.data() + at, out.size() - at)));
}

// Packs one row of indices at `depth` bits, leftmost pixel in the high bits.
void packRow(const std::uint8_t* row, std::int32_t width, int depth, std::vector<std::uint8_t>& out)
{
    if (depth == 8) {
        out.insert(out.end(), row, row + width);
        return;
    }
    const int perByte = 8 / depth;
    for (std::int32_t x = 0; x < width; x += perByte) {
        unsigned byte = 0;
        for (int k = 0; k < perByte; ++k) {
            const unsigned v = x + k < width ? row[x + k] : 0u;
            byte |= v << (8 - depth * (k + 1));
        }
        out.push_back(static_cast<std::uint8_t>(byte));
    }
}

} // namespace

bool streamPng(const PixelBlock& pixels, std::span<const Colour> colours,
               const WriteOptions& options, const platform::ByteSink& sink)
{
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.top == nullptr ||
        !writeSizeProblem(ImageFormat::Png, pixels.width, pixels.height).empty())
        return false;
    colours = colours.first(std::min<std::size_t>(colours.size(), 256));
    const auto rowAt = [&pixels](std::int32_t y) {
        return pixels.top + static_cast<std::ptrdiff_t>(y) * pixels.stride;
    };

    // The depth must hold every index actually used, not just the palette:
    // a narrower field would turn a larger index into a different colour.
    int highest = 0;
    for (std::int32_t y = 0; y < pixels.height && highest < 255; ++y)
        highest = std::max<int>(highest, *std::max_element(rowAt(y), rowAt(y) + pixels.width));
    const std::size_t entries =
        std::max<std::size_t>(colours.size(), static_cast<std::size_t>(highest) + 1);
    const int depth = depthFor(entries);

    std::vector<std::uint8_t> plte(entries * 3, 0); // entries past the palette are opaque black
    std::vector<std::uint8_t> trns;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        plte[i * 3] = static_cast<std::uint8_t>(colours[i] >> 16);
        plte[i * 3 + 1] = static_cast<std::uint8_t>(colours[i] >> 8);
        plte[i * 3 + 2] = static_cast<std::uint8_t>(colours[i]);
        if (colours[i] >> 24 != 0xFF)
            trns.resize(i + 1, 0xFF);
        if (i < trns.size())
            trns[i] = static_cast<std::uint8_t>(colours[i] >> 24);
    }

    BufferedSink file(sink);
    std::vector<std::uint8_t>& bytes = file.bytes();
    bytes.assign(std::begin(kSignature), std::end(kSignature));
    std::vector<std::uint8_t> ihdr;
    put32(ihdr, static_cast<std::uint32_t>(pixels.width));
    put32(ihdr, static_cast<std::uint32_t>(pixels.height));
    ihdr.insert(ihdr.end(),
                {static_cast<std::uint8_t>(depth), 3, 0, 0, 0}); // palette, no interlace
    putChunk(bytes, "IHDR", ihdr);
    putChunk(bytes, "PLTE", plte);
    if (!trns.empty())
        putChunk(bytes, "tRNS", trns);

    const PngSettings settings = settingsFor(options);
    const std::size_t packed =
        (static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(depth) + 7) / 8;
    // Each row is its filter byte and the packed indices; with Up, minus the
    // packed row above (the first row has none above and stays as it is).
    const RowEncoder encodeRow = [&](std::int32_t y, std::vector<std::uint8_t>& out) {
        const bool up = settings.upFilter && y > 0;
        out.push_back(up ? 2 : 0);
        const std::size_t at = out.size();
        packRow(rowAt(y), pixels.width, depth, out);
        if (!up)
            return;
        packRow(rowAt(y - 1), pixels.width, depth, out);
        for (std::size_t i = 0; i < packed; ++i)
            out[at + i] = static_cast<std::uint8_t>(out[at + i] - out[at + packed + i]);
        out.resize(at + packed);
    };
    // The compressed stream goes out in IDAT chunks of some 64 KiB.
    std::vector<std::uint8_t> idat;
    constexpr std::size_t kIdatBytes = std::size_t{64} << 10;
    const auto putIdat = [&] {
        putChunk(bytes, "IDAT", idat);
        idat.clear();
        return file.spill();
    };
    const platform::ByteSink toIdat = [&](std::span<const std::uint8_t> piece) {
        idat.insert(idat.end(), piece.begin(), piece.end());
        return idat.size() < kIdatBytes || putIdat();
    };
    const auto progress = [&](std::int32_t rows) {
        if (options.progress)
            options.progress(rows, pixels.height);
    };
    if (!deflateRows(pixels.height, packed + 1, encodeRow, settings.deflate, toIdat, progress))
        return false;
    if (!idat.empty() && !putIdat())
        return false;
    putChunk(bytes, "IEND", {});
    return file.flush();
}

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
    return encodeWith(&streamPng, pixels, colours);
}

bool writePng(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count)
{
    return writeWith(&streamPng, path, {top, width, height, stride}, colourSpan(colours, count));
}

} // namespace gridmint
