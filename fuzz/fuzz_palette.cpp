#include "image/Codecs.h"

#include <cstddef>
#include <cstdint>

// ACT and PAL share a target: both take any bytes; the first byte picks the
// reverse flag so that both directions are covered.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bool reverse = size > 0 && (data[0] & 1) != 0;
    const auto act = gridmint::decodeActPalette({data, size}, reverse);
    const auto pal = gridmint::decodePalPalette({data, size}, !reverse);
    if (act->count() > 256 || (pal && pal->count() > 256))
        __builtin_trap();
    return 0;
}
