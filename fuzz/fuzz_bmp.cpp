#include "FuzzSupport.h"
#include "image/Codecs.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto set = gridmint::decodeBmp({data, size});
        touchEveryPixel(*set);
    } catch (const tarn::CErrCodeException&) {
    }
    return 0;
}
