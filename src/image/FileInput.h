// Reading a file into memory for the parsers, and the size rules that every
// reader shares.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace gridmint {

// Largest image file the readers take in (a larger one is refused with code 1).
constexpr std::uint64_t kMaxImageFileBytes = std::uint64_t{1} << 30;

struct FileBytes {
    std::vector<std::uint8_t> bytes;
    bool truncated = false; // the file holds more than `limit` bytes
};

// Reads at most `limit` bytes from the start of the file through a
// tarn::CBasicStream. Throws CErrCodeException code 2 when the file cannot
// be opened; the file is closed on every path.
FileBytes readFilePrefix(const std::filesystem::path& path, std::uint64_t limit);

// Reads a whole image file; code 1 when it is larger than kMaxImageFileBytes.
std::vector<std::uint8_t> readImageFile(const std::filesystem::path& path);

// Throws code 1 unless 1 <= width, height <= 65535 and width x height fits
// the pixel limit. Call before allocating anything for the image.
void checkImageSize(std::int64_t width, std::int64_t height);

// Why checkImageSize refuses this size, as a phrase for messages ("wider
// than Gridmint opens (65535)"); empty when it accepts it.
std::string imageSizeProblem(std::int64_t width, std::int64_t height);

} // namespace gridmint
