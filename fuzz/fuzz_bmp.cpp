#include "image/Codecs.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto set = gridmint::decodeBmp({data, size});
        // Touch every pixel so that a wrong row table shows up.
        unsigned sum = 0;
        for (std::int32_t y = 0; y < set->image->height(); ++y)
            for (std::int32_t x = 0; x < set->image->width(); ++x)
                sum += set->image->row(y)[x];
        (void)sum;
    } catch (const tarn::CErrCodeException&) {
    }
    return 0;
}
