// The few places where the image layer depends on the operating system:
// opening a file by name (UTF-8 names on POSIX, wide names on Windows) and
// replacing a file's contents atomically.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

namespace gridmint::platform {

// Opens an existing regular file for reading. Returns a file descriptor, or
// -1 when the file cannot be opened (missing, a folder, a device, no access).
int openForRead(const std::filesystem::path& path);
// Creates or truncates a file for writing; -1 on failure.
int openForWrite(const std::filesystem::path& path);
// Closes a descriptor; false when the close reported an error.
bool closeFile(int fd);

// Replaces the contents of `path` with `bytes`, or leaves it as it was.
// The bytes go to a uniquely named temporary file in the target's folder,
// which is flushed, closed and then renamed over the target, so a reader
// never sees a half-written file and a failure never damages the old one.
// A symbolic link is followed: the file it points to is replaced and the
// link stays. The new file keeps the permission bits of the file it replaces,
// or gets those of a plain create (0666 less the umask). Returns false on any
// failure, with no temporary file left behind.
bool replaceFileContents(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Takes the next piece of a file's contents; false when it could not be
// stored (the producer then stops).
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;
// The same replacement with the contents streamed: `produce` hands them to
// the sink piece by piece and returns false to abandon the file, which then
// leaves the target as it was, exactly as a failed write does.
bool replaceFileContents(const std::filesystem::path& path,
                         const std::function<bool(const ByteSink&)>& produce);

// Test hook: when non-negative, replaceFileContents fails as if the device
// were full once this many bytes of the temporary file have been written.
// Negative (the default) turns the fault off. Not for production use.
void setWriteFaultAfterForTesting(std::int64_t bytes);

} // namespace gridmint::platform
