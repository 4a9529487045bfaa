// The few places where the program depends on the operating system:
// opening a file by name (UTF-8 names on POSIX, wide names on Windows),
// replacing a file's contents atomically, aligned memory, the command line's
// text, and the process-wide facts the programs above need (file identity,
// memory size, the file-size signal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

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
//
// Where the system offers unnamed files (Linux O_TMPFILE) the bytes are
// written to one and only linked into the folder once complete, so a
// process killed mid-write leaves nothing. Elsewhere the temporary file has
// a name holding the writer's process id, and a later save beside it removes
// such files left by processes that no longer run.
bool replaceFileContents(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Takes the next piece of a file's contents; false when it could not be
// stored (the producer then stops).
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;
// The same replacement with the contents streamed: `produce` hands them to
// the sink piece by piece and returns false to abandon the file, which then
// leaves the target as it was, exactly as a failed write does.
bool replaceFileContents(const std::filesystem::path& path,
                         const std::function<bool(const ByteSink&)>& produce);

// Memory aligned to `alignment` (a power of two) for at least `size` bytes
// (0 is allowed); nullptr when there is not enough. Only alignedFree may
// release it: the Windows C runtime keeps aligned blocks apart from malloc's.
void* alignedAllocate(std::size_t alignment, std::size_t size);
void alignedFree(void* p);

// The program's arguments as UTF-8, the program name first. On Windows
// `argv` is in the ANSI code page, which cannot hold every file name, so the
// arguments are taken from the wide command line instead; elsewhere they are
// `argv` as given. Also makes console output UTF-8 where that is a setting.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Why the calling thread's last replaceFileContents failed (for example
// permission denied, no space, a folder in the way, a link loop); clears it.
// Empty after a success or when nothing failed since the last call.
std::error_code takeLastWriteError();

// Makes a write beyond the file-size limit (ulimit -f) fail with EFBIG
// instead of ending the process with SIGXFSZ, so that a save can report the
// failure and clean up. Programs call it once at start-up; no-op on Windows.
void ignoreFileSizeSignal();

// The calling thread's scheduling priority in the system's own terms: its
// nice value on Linux, its thread priority on Windows (0 elsewhere). A
// program that does long work on a thread below normal priority, so that
// its window's thread wins a busy processor, wants the helper threads that
// work starts to share that priority. Linux threads inherit their
// starter's nice value when they start, but not later changes; Windows
// threads always start at normal. So a helper takes the priority of the
// thread it works for with setThreadPriority.
int threadPriority();
// Gives the calling thread `priority` (a threadPriority value). False when
// the system refused, as Linux does when an unprivileged thread asks to
// come back from a raised nice value.
bool setThreadPriority(int priority);

// A file's identity (device and inode, or volume and file index), following
// links; nullopt when it does not exist or cannot be examined. Two names
// with the same identity are the same file.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);

// Physical memory of the machine in bytes, further bounded by the process's
// address-space limit where one is set; 0 when unknown.
std::uint64_t usableMemoryBytes();

// Under an address-space limit, keeps the C library's allocator to one arena:
// glibc reserves 64 MiB of address space for each thread that allocates
// while another holds the arena, which the limit counts as if used, so a
// batch of files that the memory budget fits could still fail to allocate.
// Call at start-up, before any thread. Elsewhere it does nothing.
void fitAllocatorToAddressLimit();

// Test hook: when non-negative, replaceFileContents fails as if the device
// were full once this many bytes of the temporary file have been written.
// Negative (the default) turns the fault off. Not for production use.
void setWriteFaultAfterForTesting(std::int64_t bytes);
// Test hook: false makes replaceFileContents use named temporary files as on
// systems without unnamed ones. Not for production use.
void setUnnamedTempFilesForTesting(bool allowed);

} // namespace gridmint::platform
