#include "image/ErrCodeException.h"

namespace tarn {

const char* CErrCodeException::message() const
{
    static const char* const kMessages[] = {
        "Success.",
        "No support.",
        "Cannot open files.",
        "File read error.",
        "File seek error.",
        "No support BMP format.",
        "No support compression BMP format.",
    };
    // Looked up unsigned, so negative codes land with the large ones.
    const auto index = static_cast<std::uint32_t>(code_);
    if (index < sizeof kMessages / sizeof kMessages[0])
        return kMessages[index];
    return "Unknow error.";
}

} // namespace tarn
