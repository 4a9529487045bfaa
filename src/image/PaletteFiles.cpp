// ACT and RIFF PAL palette files (read only).
#include "image/ByteReader.h"
#include "image/Codecs.h"
#include "image/FileInput.h"

#include <algorithm>
#include <cstring>

namespace gridmint {

namespace {

constexpr std::size_t kActBytes = std::size_t{256} * 3;
constexpr std::size_t kPalHeader = 24;
constexpr std::size_t kPalBytes = kPalHeader + std::size_t{4} * 65535;

Colour opaque(const std::uint8_t* rgb)
{
    return kOpaque | Colour{rgb[0]} << 16 | Colour{rgb[1]} << 8 | rgb[2];
}

} // namespace

std::unique_ptr<Palette> decodeActPalette(std::span<const std::uint8_t> bytes, bool reverse)
{
    const std::size_t count = std::min(bytes.size() / 3, std::size_t{256});
    auto palette = std::make_unique<Palette>();
    palette->resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = reverse ? count - 1 - i : i;
        palette->set(i, opaque(bytes.data() + entry * 3));
    }
    return palette;
}

std::unique_ptr<Palette> decodePalPalette(std::span<const std::uint8_t> bytes, bool reverse)
{
    if (bytes.size() <= 20 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "PAL ", 4) != 0 ||
        std::memcmp(bytes.data() + 12, "data", 4) != 0)
        return nullptr;
    // A file too short to hold its own count is not a usable palette.
    if (bytes.size() < kPalHeader)
        return nullptr;
    ByteReader in(bytes);
    in.seek(22);
    const std::size_t declared = in.u16le();
    // The count cannot promise more entries than the file holds.
    const std::size_t count = std::min(declared, (bytes.size() - kPalHeader) / 4);
    const std::uint8_t* entries = in.take(count * 4).data();

    // Pixel indices are bytes: only the first 256 colours are kept.
    const std::size_t kept = std::min(count, std::size_t{256});
    auto palette = std::make_unique<Palette>();
    palette->resize(kept);
    for (std::size_t i = 0; i < kept; ++i) {
        const std::size_t entry = reverse ? count - 1 - i : i;
        palette->set(i, opaque(entries + entry * 4));
    }
    return palette;
}

std::unique_ptr<Palette> readActPalette(const std::filesystem::path& path, bool reverse)
{
    const FileBytes file = readFilePrefix(path, kActBytes);
    return decodeActPalette(file.bytes, reverse);
}

std::unique_ptr<Palette> readPalPalette(const std::filesystem::path& path, bool reverse)
{
    const FileBytes file = readFilePrefix(path, kPalBytes);
    return decodePalPalette(file.bytes, reverse);
}

} // namespace gridmint
