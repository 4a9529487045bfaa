// A bounded reader over bytes in memory. Every parser reads through it, so
// that no header field, however absurd, can lead a read past the end of the
// input: a read that cannot be satisfied in full is an error (code 3), never
// a partial result.
#pragma once

#include "image/ErrCodeException.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace gridmint {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }

    // Moves to an absolute position; beyond the end is a short read.
    void seek(std::uint64_t position)
    {
        if (position > bytes_.size())
            shortRead();
        pos_ = static_cast<std::size_t>(position);
    }

    std::span<const std::uint8_t> take(std::uint64_t count)
    {
        if (count > remaining())
            shortRead();
        const auto out = bytes_.subspan(pos_, static_cast<std::size_t>(count));
        pos_ += static_cast<std::size_t>(count);
        return out;
    }

    std::uint8_t u8() { return take(1)[0]; }
    std::uint16_t u16le()
    {
        const auto b = take(2);
        return static_cast<std::uint16_t>(b[0] | b[1] << 8);
    }
    std::uint32_t u32le()
    {
        const auto b = take(4);
        return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
               std::uint32_t{b[3]} << 24;
    }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

private:
    [[noreturn]] static void shortRead()
    {
        throw tarn::CErrCodeException(tarn::CErrCodeException::ReadError);
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

} // namespace gridmint
