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
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > kMaxImagePixels)
        throw CErrCodeException(CErrCodeException::NoSupport);
}

} // namespace gridmint
