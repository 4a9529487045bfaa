// PCX: 8-bit single-plane files, run-length or raw.
#include "image/ByteReader.h"
#include "image/Codecs.h"
#include "image/FileInput.h"
#include "image/Platform.h"
#include "image/StreamedWriters.h"

#include <algorithm>
#include <cstring>

namespace gridmint {

using tarn::CErrCodeException;

namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::uint8_t kTrailerMark = 0x0C;

// Places decoded bytes into the image: the decoded stream is scanline after
// scanline of `bytesPerLine` bytes, of which the first `width` are pixels.
// Writing straight into the rows avoids a second full-size buffer.
class ScanlineSink {
public:
    ScanlineSink(IndexedImage& image, std::uint64_t bytesPerLine)
        : image_(image), bytesPerLine_(bytesPerLine),
          total_(bytesPerLine * static_cast<std::uint64_t>(image.height()))
    {
    }

    bool full() const { return written_ >= total_; }
    // Rows not completely decoded.
    std::int32_t missingRows() const
    {
        return image_.height() - static_cast<std::int32_t>(written_ / bytesPerLine_);
    }

    // Writes `count` copies of `value`, cut at the end of the decoded data.
    void fill(std::uint8_t value, std::uint64_t count)
    {
        place(count,
              [&](std::uint8_t* to, std::uint64_t, std::size_t n) { std::memset(to, value, n); });
    }

    // Copies `count` bytes, cut at the end of the decoded data.
    void copy(const std::uint8_t* src, std::uint64_t count)
    {
        place(count, [&](std::uint8_t* to, std::uint64_t offset, std::size_t n) {
            std::memcpy(to, src + offset, n);
        });
    }

private:
    // Walks `count` decoded bytes scanline by scanline; put(destination,
    // offset into the request, pixel count) writes the part that lands on
    // pixels, the padding beyond the width is skipped.
    template <class Put> void place(std::uint64_t count, Put&& put)
    {
        count = std::min(count, total_ - written_);
        std::uint64_t offset = 0;
        while (count > 0) {
            const std::uint64_t inLine = std::min(count, bytesPerLine_ - column_);
            const auto width = static_cast<std::uint64_t>(image_.width());
            if (column_ < width) {
                const std::uint64_t pixels = std::min(inLine, width - column_);
                put(image_.row(row_) + column_, offset, static_cast<std::size_t>(pixels));
            }
            advance(inLine);
            offset += inLine;
            count -= inLine;
        }
    }

    void advance(std::uint64_t n)
    {
        written_ += n;
        column_ += n;
        if (column_ == bytesPerLine_) {
            column_ = 0;
            ++row_;
        }
    }

    IndexedImage& image_;
    std::uint64_t bytesPerLine_;
    std::uint64_t total_;
    std::uint64_t written_ = 0;
    std::uint64_t column_ = 0;
    std::int32_t row_ = 0;
};

void encodeRow(const std::uint8_t* row, std::size_t length, std::vector<std::uint8_t>& out)
{
    const auto emit = [&out](std::uint8_t value, unsigned count) {
        if (count == 1 && value < 0xC0) {
            out.push_back(value);
        } else {
            out.push_back(static_cast<std::uint8_t>(0xC0 | count));
            out.push_back(value);
        }
    };
    std::uint8_t value = row[0];
    unsigned count = 1;
    for (std::size_t i = 1; i < length; ++i) {
        if (row[i] != value) {
            if (count != 0)
                emit(value, count);
            value = row[i];
            count = 1;
        } else if (++count == 63) {
            emit(value, 63);
            count = 0;
        }
    }
    if (count != 0)
        emit(value, count);
}

} // namespace

std::unique_ptr<ImageSet> decodePcx(std::span<const std::uint8_t> bytes)
{
    ByteReader in(bytes);
    ByteReader header(in.take(kHeaderSize));
    const std::uint8_t manufacturer = header.u8();
    (void)header.u8(); // version
    const std::uint8_t encoding = header.u8();
    const std::uint8_t bitsPerPixel = header.u8();
    if (manufacturer != 0x0A || bitsPerPixel != 8)
        return nullptr;
    const std::int64_t xmin = header.u16le();
    const std::int64_t ymin = header.u16le();
    const std::int64_t xmax = header.u16le();
    const std::int64_t ymax = header.u16le();
    header.seek(65);
    const std::uint8_t planes = header.u8();
    const std::int64_t bytesPerLine = header.u16le();

    const std::int64_t width = xmax - xmin + 1;
    const std::int64_t height = ymax - ymin + 1;
    // Only one plane fits the row layout used below.
    if (planes != 1 || width < 1 || height < 1 || bytesPerLine < width)
        throw CErrCodeException(CErrCodeException::NoSupport);
    checkImageSize(width, height);

    auto image = std::make_unique<IndexedImage>();
    image->allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    // Data that end early leave the rest of the picture at index 0.
    std::memset(image->store(), 0, static_cast<std::size_t>(width * height));

    const std::span<const std::uint8_t> data = in.take(in.remaining());
    const std::size_t n = data.size();
    const std::uint64_t decodedLength =
        static_cast<std::uint64_t>(bytesPerLine) * static_cast<std::uint64_t>(height);
    ScanlineSink sink(*image, static_cast<std::uint64_t>(bytesPerLine));

    std::uint64_t marker = 0; // position in `data` where a trailer may start
    if (encoding != 0) {
        std::size_t j = 0;
        bool stopped = false;
        while (j < n) {
            const std::uint8_t c = data[j];
            if (c >= 0xC0) {
                if (j + 1 >= n)
                    break; // a run byte without its value ends the data
                ++j;
                sink.fill(data[j], c & 0x3Fu);
            } else {
                sink.fill(c, 1);
            }
            if (sink.full()) {
                stopped = true;
                break;
            }
            ++j;
        }
        marker = stopped ? j + 1 : n;
    } else {
        sink.copy(data.data(), std::min<std::uint64_t>(n, decodedLength));
        marker = decodedLength;
    }

    const std::int32_t missingRows = sink.missingRows();
    auto palette = std::make_unique<Palette>();
    // A trailer needs its mark and at least one complete colour.
    const bool trailer = marker < n && data[static_cast<std::size_t>(marker)] == kTrailerMark &&
                         (n - marker - 1) / 3 > 0;
    if (trailer) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(256, (n - marker - 1) / 3));
        const std::uint8_t* rgb = data.data() + marker + 1;
        palette->resize(count);
        for (std::size_t i = 0; i < count; ++i, rgb += 3)
            palette->set(i, kOpaque | Colour{rgb[0]} << 16 | Colour{rgb[1]} << 8 | rgb[2]);
    } else {
        palette->resize(256);
        for (std::size_t i = 0; i < 256; ++i)
            palette->set(i, kOpaque | static_cast<Colour>(i) * 0x010101u);
    }
    auto set = std::make_unique<ImageSet>(nullptr, std::move(image), std::move(palette),
                                          ImageSet::kIndexedKind);
    set->missingRows = missingRows;
    return set;
}

std::unique_ptr<ImageSet> readPcx(const std::filesystem::path& path)
{
    const std::vector<std::uint8_t> bytes = readImageFile(path);
    return decodePcx(bytes);
}

bool streamPcx(const PixelBlock& pixels, std::span<const Colour> colours,
               const WriteOptions& options, const platform::ByteSink& sink)
{
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.top == nullptr ||
        !writeSizeProblem(ImageFormat::Pcx, pixels.width, pixels.height).empty())
        return false;
    colours = colours.first(std::min<std::size_t>(colours.size(), 256));
    const auto width = static_cast<std::size_t>(pixels.width);
    const std::size_t bytesPerLine = (width + 1) & ~std::size_t{1};

    BufferedSink file(sink);
    std::vector<std::uint8_t>& out = file.bytes();
    out.assign(kHeaderSize, 0);
    const auto put16 = [&out](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    out[0] = 0x0A;
    out[1] = 5;
    out[2] = 1;
    out[3] = 8;
    put16(8, static_cast<std::uint32_t>(pixels.width - 1));
    put16(10, static_cast<std::uint32_t>(pixels.height - 1));
    put16(12, 72);
    put16(14, 72);
    out[18] = 0xFF;
    out[65] = 1;
    put16(66, static_cast<std::uint32_t>(bytesPerLine));
    put16(68, 1);

    std::vector<std::uint8_t> scratch(bytesPerLine, 0);
    for (std::int32_t y = 0; y < pixels.height; ++y) {
        const std::uint8_t* row = pixels.top + static_cast<std::ptrdiff_t>(y) * pixels.stride;
        if (bytesPerLine == width) {
            encodeRow(row, width, out);
        } else {
            std::memcpy(scratch.data(), row, width);
            encodeRow(scratch.data(), bytesPerLine, out);
        }
        if (!file.spill())
            return false;
        if (options.progress)
            options.progress(y + 1, pixels.height);
    }

    // Other readers expect a full 256-colour trailer at the very end of the
    // file, so a shorter palette is padded with black.
    out.push_back(kTrailerMark);
    for (const Colour c : colours) {
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.resize(out.size() + (256 - colours.size()) * 3, 0);
    return file.flush();
}

std::optional<std::vector<std::uint8_t>> encodePcx(const PixelBlock& pixels,
                                                   std::span<const Colour> colours)
{
    return encodeWith(&streamPcx, pixels, colours);
}

bool writePcx(const std::filesystem::path& path, const std::uint8_t* top, std::int32_t width,
              std::int32_t height, std::int32_t stride, const Colour* colours, std::int32_t count)
{
    return writeWith(&streamPcx, path, {top, width, height, stride}, colourSpan(colours, count));
}

} // namespace gridmint
