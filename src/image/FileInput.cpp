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
    // 4 GiB or more shows a wrapped 32-bit size. Read until the end instead.
    out.bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(stream->size(), limit)));
    constexpr std::int32_t kChunk = 1 << 20;
    std::vector<std::uint8_t> chunk(kChunk);
    for (;;) {
        const std::int32_t n = stream->read(chunk.data(), kChunk);
        if (n <= 0)
            break;
        const std::uint64_t room = limit - out.bytes.size();
        const std::uint64_t keep = std::min<std::uint64_t>(room, static_cast<std::uint64_t>(n));
        out.bytes.insert(out.bytes.end(), chunk.begin(),
                         chunk.begin() + static_cast<std::ptrdiff_t>(keep));
        if (keep < static_cast<std::uint64_t>(n)) {
            out.truncated = true;
            break;
        }
    }
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
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        throw CErrCodeException(CErrCodeException::NoSupport);
}

} // namespace gridmint
