#include "image/StreamedWriters.h"

#include <algorithm>
#include <new>

namespace gridmint {

std::optional<std::vector<std::uint8_t>> encodeWith(StreamWriter stream, const PixelBlock& pixels,
                                                    std::span<const Colour> colours)
{
    std::vector<std::uint8_t> out;
    try {
        const bool ok = stream(pixels, colours, {}, [&out](std::span<const std::uint8_t> piece) {
            out.insert(out.end(), piece.begin(), piece.end());
            return true;
        });
        if (!ok)
            return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return out;
}

bool writeWith(StreamWriter stream, const std::filesystem::path& path, const PixelBlock& pixels,
               std::span<const Colour> colours, const WriteOptions& options)
{
    return platform::replaceFileContents(path, [&](const platform::ByteSink& sink) {
        return stream(pixels, colours, options, sink);
    });
}

std::span<const Colour> colourSpan(const Colour* colours, std::int32_t count)
{
    if (colours == nullptr || count <= 0)
        return {};
    return {colours, static_cast<std::size_t>(count)};
}

bool writeImage(const std::filesystem::path& path, ImageFormat format, const PixelBlock& pixels,
                std::span<const Colour> colours, const WriteOptions& options)
{
    const StreamWriter stream = format == ImageFormat::Bmp   ? &streamBmp
                                : format == ImageFormat::Pcx ? &streamPcx
                                                             : &streamPng;
    return writeWith(stream, path, pixels, colours, options);
}

} // namespace gridmint
