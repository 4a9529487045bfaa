// The writers' common form: each format streams its file to a byte sink, and
// the public encode (to memory) and write (to a file) entry points share the
// plumbing around that.
#pragma once

#include "image/Codecs.h"
#include "image/Platform.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace gridmint {

// Gathers small appends into pieces of some 64 KiB for a sink.
class BufferedSink {
public:
    explicit BufferedSink(const platform::ByteSink& sink) : sink_(sink) {}

    // Append here, then call spill().
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    // Hands the bytes on once enough have gathered; false when the sink failed.
    bool spill() { return bytes_.size() < kPiece || flush(); }
    bool flush()
    {
        const bool ok = bytes_.empty() || sink_(bytes_);
        bytes_.clear();
        return ok;
    }

private:
    static constexpr std::size_t kPiece = std::size_t{64} << 10;
    const platform::ByteSink& sink_;
    std::vector<std::uint8_t> bytes_;
};

// Each checks its arguments before the first byte and returns false when
// the picture cannot be written in its format or the sink failed.
using StreamWriter = bool (*)(const PixelBlock& pixels, std::span<const Colour> colours,
                              const WriteOptions& options, const platform::ByteSink& sink);
bool streamPng(const PixelBlock& pixels, std::span<const Colour> colours,
               const WriteOptions& options, const platform::ByteSink& sink);
bool streamBmp(const PixelBlock& pixels, std::span<const Colour> colours,
               const WriteOptions& options, const platform::ByteSink& sink);
bool streamPcx(const PixelBlock& pixels, std::span<const Colour> colours,
               const WriteOptions& options, const platform::ByteSink& sink);

// The whole file in memory; nullopt when it cannot be written (or memory ran out).
std::optional<std::vector<std::uint8_t>> encodeWith(StreamWriter stream, const PixelBlock& pixels,
                                                    std::span<const Colour> colours);
// The file replaced atomically (see platform::replaceFileContents).
bool writeWith(StreamWriter stream, const std::filesystem::path& path, const PixelBlock& pixels,
               std::span<const Colour> colours, const WriteOptions& options = {});
// The colours of the old pointer-and-count writer arguments.
std::span<const Colour> colourSpan(const Colour* colours, std::int32_t count);

} // namespace gridmint
