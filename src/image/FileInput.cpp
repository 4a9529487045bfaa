#include "image/FileInput.h"

#include "image/Codecs.h"
#include "image/ErrCodeException.h"
#include "image/Stream.h"

#include <algorithm>

namespace gridmint {

using tarn::CErrCodeException;

FileBytes readFilePrefix(const std::filesystem::path& path, std::uint64_t limit)
{
    auto stream = tarn::openStreamForRead(path);
    if (!stream)
        throw CErrCodeException(CErrCodeException::CannotOpen);

    FileBytes out;
    // The size is only a hint: the file may change under us, and a file of
    // 4 GiB or more shows a wrapped 32-bit size. Read until the end, straight
    // into the buffer, one byte past the limit to learn whether there is more.
    const std::uint64_t want = limit + 1;
    std::vector<std::uint8_t>& bytes = out.bytes;
    bytes.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{stream->size()} + 1, want)));
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() >= want)
                break;
            const std::uint64_t grown =
                std::min<std::uint64_t>(want, bytes.size() + (std::uint64_t{1} << 20));
            bytes.resize(static_cast<std::size_t>(grown));
        }
        const std::size_t room = std::min<std::size_t>(bytes.size() - filled, std::size_t{1} << 30);
        const std::int32_t n = stream->read(bytes.data() + filled, static_cast<std::int32_t>(room));
        if (n <= 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    if (filled > limit) {
        out.truncated = true;
        filled = static_cast<std::size_t>(limit);
    }
    bytes.resize(filled);
    return out;
}

std::vector<std::uint8_t> readImageFile(const std::filesystem::path& path)
{
    FileBytes file = readFilePrefix(path, kMaxImageFileBytes);
    if (file.truncated)
        throw CErrCodeException(CErrCodeException::NoSupport);
    return std::move(file.bytes);
}

void checkImageSize(std::int64_t width, std::int64_t height)
{
    if (!imageSizeProblem(width, height).empty())
        throw CErrCodeException(CErrCodeException::NoSupport);
}

std::string imageSizeProblem(std::int64_t width, std::int64_t height)
{
    if (width < 1 || height < 1)
        return "no pixels";
    if (width > kMaxImageSide)
        return "wider than Gridmint opens (" + std::to_string(kMaxImageSide) + ")";
    if (height > kMaxImageSide)
        return "taller than Gridmint opens (" + std::to_string(kMaxImageSide) + ")";
    if (width * height > kMaxImagePixels)
        return "more pixels than Gridmint opens (" + std::to_string(kMaxImagePixels) + ")";
    return {};
}

std::string writeSizeProblem(ImageFormat format, std::int64_t width, std::int64_t height)
{
    const auto over = [](const char* side, const char* name, std::int64_t limit) {
        return std::string(side) + " than " + name + " allows (" + std::to_string(limit) + ")";
    };
    switch (format) {
    case ImageFormat::Png:
        // libpng's own limit for the files it writes.
        if (width > kMaxPngSide)
            return over("wider", "PNG", kMaxPngSide);
        if (height > kMaxPngSide)
            return over("taller", "PNG", kMaxPngSide);
        break;
    case ImageFormat::Pcx:
        if (width > kMaxPcxWidth)
            return over("wider", "PCX", kMaxPcxWidth);
        if (height > kMaxPcxHeight)
            return over("taller", "PCX", kMaxPcxHeight);
        break;
    case ImageFormat::Bmp:
        // Rows padded to 4 bytes plus the 1078-byte head in a signed 32-bit
        // file size.
        if (width > 0 && height > 0 &&
            ((width + 3) & ~std::int64_t{3}) * height + 1078 > kMaxBmpBytes)
            return "larger than BMP allows (" + std::to_string(kMaxBmpBytes) + " bytes)";
        break;
    }
    // Gridmint never writes a file it would refuse to open.
    return imageSizeProblem(width, height);
}

std::optional<ImageSize> readImageSize(const std::filesystem::path& path)
{
    FileBytes head;
    try {
        head = readFilePrefix(path, 32);
    } catch (const CErrCodeException&) {
        return std::nullopt;
    }
    const std::vector<std::uint8_t>& b = head.bytes;
    const auto le16 = [&](std::size_t at) {
        return std::int64_t{b[at]} | std::int64_t{b[at + 1]} << 8;
    };
    const auto le32 = [&](std::size_t at) {
        return static_cast<std::int32_t>(std::uint32_t(le16(at)) | std::uint32_t(le16(at + 2))
                                                                       << 16);
    };
    const auto be32 = [&](std::size_t at) {
        return std::int64_t{b[at]} << 24 | std::int64_t{b[at + 1]} << 16 |
               std::int64_t{b[at + 2]} << 8 | std::int64_t{b[at + 3]};
    };
    if (b.size() >= 24 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
        return ImageSize{be32(16), be32(20)};
    if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M')
        return ImageSize{le32(18), le32(22)};
    if (b.size() >= 12 && b[0] == 0x0A)
        return ImageSize{le16(8) - le16(4) + 1, le16(10) - le16(6) + 1};
    return std::nullopt;
}

} // namespace gridmint
