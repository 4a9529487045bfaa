#include "FuzzSupport.h"
#include "image/Codecs.h"

#include <cstddef>
#include <cstdint>

// Pictures larger than this are legal but only cost time: the decoder
// clears the whole picture before it reads, so a 200-byte file can ask for
// 256 MiB. Skipping them keeps the fuzzer exploring the decoder itself.
constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 16;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size >= 12) {
        const auto u16 = [&](std::size_t at) {
            return std::int64_t{data[at]} | std::int64_t{data[at + 1]} << 8;
        };
        const std::int64_t w = u16(8) - u16(4) + 1;
        const std::int64_t h = u16(10) - u16(6) + 1;
        if (w > 0 && h > 0 && w * h > kMaxFuzzPixels)
            return 0;
    }
    try {
        const auto set = gridmint::decodePcx({data, size});
        if (!set)
            return 0;
        touchEveryPixel(*set);
    } catch (const tarn::CErrCodeException&) {
    }
    return 0;
}
