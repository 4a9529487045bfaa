// The error exception of the file readers: a small code with a fixed English
// message. Not derived from std::exception on purpose: callers catch it by
// its own type and turn it into a failed load.
#pragma once

#include <cstdint>

namespace tarn {

class CErrCodeException {
public:
    enum Code : std::int32_t {
        Success = 0,
        NoSupport = 1,        // an image variant the readers do not handle
        CannotOpen = 2,       // the file cannot be opened for reading
        ReadError = 3,        // fewer bytes than a header or data block needs
        SeekError = 4,        // a seek was refused
        NotBmp = 5,           // a file read as BMP lacks the "BM" signature
        CompressedBmp = 6,    // a BMP that uses a compression method
    };

    explicit CErrCodeException(std::int32_t code) : code_(code) {}
    CErrCodeException(const CErrCodeException&) = default;
    CErrCodeException& operator=(const CErrCodeException&) = default;
    virtual ~CErrCodeException() = default;

    std::int32_t code() const { return code_; }
    // The text for the code; every code outside 0 to 6 gives "Unknow error.".
    virtual const char* message() const;

private:
    std::int32_t code_;
};

} // namespace tarn
