#include "image/Stream.h"

#include "image/Platform.h"

#include <cerrno>
#include <cstdio>
#include <limits>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarn {

namespace {

#ifdef _WIN32
long long sysRead(int fd, void* p, std::int32_t n)
{
    return _read(fd, p, static_cast<unsigned>(n));
}
long long sysWrite(int fd, const void* p, std::int32_t n)
{
    return _write(fd, p, static_cast<unsigned>(n));
}
long long sysSeek(int fd, long long d, int whence)
{
    return _lseeki64(fd, d, whence);
}
long long sysSize(int fd)
{
    struct _stat64 st {};
    return _fstat64(fd, &st) == 0 ? st.st_size : -1;
}
#else
long long sysRead(int fd, void* p, std::int32_t n)
{
    return ::read(fd, p, static_cast<std::size_t>(n));
}
long long sysWrite(int fd, const void* p, std::int32_t n)
{
    return ::write(fd, p, static_cast<std::size_t>(n));
}
long long sysSeek(int fd, long long d, int whence)
{
    return ::lseek(fd, static_cast<off_t>(d), whence);
}
long long sysSize(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}
#endif

// Repeats a partial read or write until the count is met, the file ends or
// an error occurs (an interrupted call is retried); returns what moved.
template <class Step> std::int32_t transferAll(std::int32_t count, Step&& step)
{
    std::int32_t done = 0;
    while (done < count) {
        const long long n = step(done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::int32_t>(n);
    }
    return done;
}

} // namespace

CBasicStream::~CBasicStream()
{
    close();
}

void CBasicStream::close()
{
    if (fd_ >= 0) {
        gridmint::platform::closeFile(fd_);
        fd_ = -1;
    }
}

// Like the platform's whole-request file read: keeps reading until the count
// is met, the file ends or an error occurs, and reports what arrived.
std::int32_t CBasicStream::read(void* buffer, std::int32_t count)
{
    if (fd_ < 0 || buffer == nullptr)
        return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    return transferAll(count, [&](std::int32_t done, std::int32_t left) {
        return sysRead(fd_, out + done, left);
    });
}

std::int32_t CBasicStream::write(const void* buffer, std::int32_t count)
{
    if (fd_ < 0 || buffer == nullptr)
        return 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    return transferAll(count, [&](std::int32_t done, std::int32_t left) {
        return sysWrite(fd_, in + done, left);
    });
}

bool CBasicStream::seek(std::int32_t distance, std::int32_t origin)
{
    if (fd_ < 0)
        return false;
    const int whence = origin == 1 ? SEEK_SET : origin == 2 ? SEEK_END : SEEK_CUR;
    // As on the original platform, the outcome of the move is not reported:
    // callers find a bad position through the reads that follow.
    (void)sysSeek(fd_, distance, whence);
    return true;
}

std::uint32_t CBasicStream::tell()
{
    if (fd_ < 0)
        return 0;
    const long long pos = sysSeek(fd_, 0, SEEK_CUR);
    return pos < 0 ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint32_t>(pos);
}

std::uint32_t CBasicStream::size()
{
    if (fd_ < 0)
        return 0;
    const long long n = sysSize(fd_);
    return n < 0 ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint32_t>(n);
}

std::unique_ptr<CBasicStream> openStreamForRead(const std::filesystem::path& path)
{
    const int fd = gridmint::platform::openForRead(path);
    if (fd < 0)
        return nullptr;
    return std::make_unique<CBasicStream>(fd);
}

std::unique_ptr<CBasicStream> openStreamForWrite(const std::filesystem::path& path)
{
    const int fd = gridmint::platform::openForWrite(path);
    if (fd < 0)
        return nullptr;
    return std::make_unique<CBasicStream>(fd);
}

} // namespace tarn
