// A small byte-stream interface over a file, with 32-bit counts and
// positions. The stream never throws: it reports through its results, and
// the readers turn short reads and refused seeks into CErrCodeException.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace tarn {

class CStream {
public:
    virtual ~CStream() = default;
    // Returns the number of bytes actually read (0 on failure).
    virtual std::int32_t read(void* buffer, std::int32_t count) = 0;
    // Returns the number of bytes actually written (0 on failure).
    virtual std::int32_t write(const void* buffer, std::int32_t count) = 0;
    // origin 1: from the start, 2: from the end, anything else (0 included):
    // from the current position. True whenever the stream has a file.
    virtual bool seek(std::int32_t distance, std::int32_t origin) = 0;
    virtual std::uint32_t tell() = 0;
    virtual std::uint32_t size() = 0;
};

// A stream over an open POSIX file descriptor, which it owns and closes.
class CBasicStream : public CStream {
public:
    explicit CBasicStream(int fd) : fd_(fd) {}
    CBasicStream(const CBasicStream&) = delete;
    CBasicStream& operator=(const CBasicStream&) = delete;
    ~CBasicStream() override;

    std::int32_t read(void* buffer, std::int32_t count) override;
    std::int32_t write(const void* buffer, std::int32_t count) override;
    bool seek(std::int32_t distance, std::int32_t origin) override;
    std::uint32_t tell() override;
    std::uint32_t size() override;

    // Closes the file; later calls behave as for a stream without a file.
    void close();
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Opens an existing file for reading; null when it cannot be opened.
std::unique_ptr<CBasicStream> openStreamForRead(const std::filesystem::path& path);
// Creates (truncating) a file for writing; null when it cannot be created.
// Image writers do not use this: they replace their target atomically.
std::unique_ptr<CBasicStream> openStreamForWrite(const std::filesystem::path& path);

} // namespace tarn
