#include "image/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
// windows.h must come first.
#include <shellapi.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace gridmint::platform {

namespace {

std::atomic<std::int64_t> g_writeFaultAfter{-1};
std::atomic<bool> g_unnamedTempFiles{true};
std::atomic<std::uint64_t> g_tempCounter{0};
thread_local std::error_code t_lastWriteError;

#ifdef _WIN32
int rawOpen(const std::filesystem::path& path, int flags, int mode)
{
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _SH_DENYRW, mode) != 0)
        return -1;
    return fd;
}
long long rawWrite(int fd, const void* p, std::size_t n)
{
    const unsigned chunk = n > 0x40000000u ? 0x40000000u : static_cast<unsigned>(n);
    return _write(fd, p, chunk);
}
bool rawSync(int fd)
{
    return _commit(fd) == 0;
}
bool rawClose(int fd)
{
    return _close(fd) == 0;
}
bool rawRename(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // While another handle has the target open (a reader, a virus scanner,
    // another save replacing it the same moment) the replace is refused;
    // such holds are mostly brief, so try for a little while.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (attempt == 50 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
                              error != ERROR_LOCK_VIOLATION))
            return false;
        Sleep(10);
    }
}
void rawUnlink(const std::filesystem::path& p)
{
    _wunlink(p.c_str());
}
void* rawAlignedAllocate(std::size_t alignment, std::size_t size)
{
    return _aligned_malloc(size, alignment);
}
void rawAlignedFree(void* p)
{
    _aligned_free(p);
}
// No unnamed files here: the named temporary file is the only way.
int rawOpenUnnamed(const std::filesystem::path&)
{
    return -1;
}
bool rawLinkUnnamed(int, const std::filesystem::path&)
{
    errno = ENOTSUP;
    return false;
}
unsigned long currentProcessId()
{
    return GetCurrentProcessId();
}
bool processRuns(unsigned long pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) != 0 && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
#else
int rawOpen(const std::filesystem::path& path, int flags, int mode)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}
long long rawWrite(int fd, const void* p, std::size_t n)
{
    const std::size_t chunk = n > 0x40000000u ? 0x40000000u : n;
    return ::write(fd, p, chunk);
}
bool rawSync(int fd)
{
    return ::fsync(fd) == 0;
}
bool rawClose(int fd)
{
    return ::close(fd) == 0;
}
bool rawRename(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}
void rawUnlink(const std::filesystem::path& p)
{
    ::unlink(p.c_str());
}
void* rawAlignedAllocate(std::size_t alignment, std::size_t size)
{
    void* p = std::aligned_alloc(alignment, size);
#ifdef MADV_HUGEPAGE
    // Enlarged images are written once from end to end right after they are
    // allocated; in 4 KiB pages that first touch costs a fault per page.
    // perf: a fresh 64 MiB block filled in 48-56 ms, with huge pages asked
    // for 15-22 ms. Only whole 2 MiB pages inside the block are asked for,
    // so the block takes no more memory; where the system declines (huge
    // pages off), nothing changes.
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (p != nullptr && size >= 4 * kHugePage) {
        const auto begin = reinterpret_cast<std::uintptr_t>(p);
        const std::uintptr_t first = (begin + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
        const std::uintptr_t last = (begin + size) & ~std::uintptr_t{kHugePage - 1};
        if (last > first)
            ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#endif
    return p;
}
void rawAlignedFree(void* p)
{
    std::free(p);
}
// An unnamed file in `folder` (Linux), or -1 when the system or the file
// system has none.
int rawOpenUnnamed(const std::filesystem::path& folder)
{
#ifdef O_TMPFILE
    // The file is named later through /proc; without it, no unnamed files.
    static const bool procMounted = ::access("/proc/self/fd", X_OK) == 0;
    return procMounted ? rawOpen(folder, O_TMPFILE | O_WRONLY, 0666) : -1;
#else
    (void)folder;
    return -1;
#endif
}
// Gives the unnamed file `fd` the name `name`; linking through /proc needs
// no privilege, unlike linkat's AT_EMPTY_PATH.
bool rawLinkUnnamed(int fd, const std::filesystem::path& name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}
unsigned long currentProcessId()
{
    return static_cast<unsigned long>(::getpid());
}
bool processRuns(unsigned long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
// 0666 lets the kernel apply the umask, exactly as for a plain create.
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kCreateMode = 0666;
#endif

// Follows a chain of symbolic links to the file they finally name, which
// need not exist yet. A loop or an unreadable link gives an empty path.
std::filesystem::path resolveLinks(std::filesystem::path p)
{
    std::error_code ec;
    for (int hops = 0; hops < 40; ++hops) {
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec)))
            return p;
        std::filesystem::path target = std::filesystem::read_symlink(p, ec);
        if (ec)
            return {};
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return {};
}

// Writes everything or fails; honours the test fault (which reports a full
// device). `written` counts the bytes of the file written so far, across
// calls.
bool writeAll(int fd, std::span<const std::uint8_t> bytes, std::uint64_t& written)
{
    std::size_t done = 0;
    const std::int64_t faultAt = g_writeFaultAfter.load();
    while (done < bytes.size()) {
        std::size_t want = bytes.size() - done;
        if (faultAt >= 0) {
            if (static_cast<std::uint64_t>(faultAt) <= written) {
                errno = ENOSPC;
                return false;
            }
            want = std::min<std::size_t>(want, static_cast<std::size_t>(faultAt - written));
        }
        const long long n = rawWrite(fd, bytes.data() + done, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
        written += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool fail(std::error_code why)
{
    t_lastWriteError = why;
    return false;
}

bool failWithErrno()
{
    return fail(std::error_code(errno, std::generic_category()));
}

// Temporary names: ".NAME.PID.COUNTER.STAMP.tmp" beside the target, with
// "gridmint" for NAME when the target's name is long.
constexpr std::string_view kTempSuffix = ".tmp";

// Tries fresh temporary names beside `target` with `place` (which creates or
// links the file and returns false with errno set on failure) until one is
// free. The name used, or empty with errno set.
template <class Place>
std::filesystem::path placeTemporary(const std::filesystem::path& folder,
                                     const std::filesystem::path& target, Place&& place)
{
    const auto stamp =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[80];
        std::snprintf(suffix, sizeof suffix, ".%lu.%llx.%llx.tmp", currentProcessId(),
                      static_cast<unsigned long long>(g_tempCounter.fetch_add(1)),
                      static_cast<unsigned long long>(stamp & 0xFFFFFFu));
        // Long names keep the temporary name within the file system's limit.
        std::filesystem::path name = ".";
        if (target.filename().native().size() <= 100)
            name += target.filename();
        else
            name += "gridmint";
        name += suffix;
        const std::filesystem::path temp = folder / name;
        if (place(temp))
            return temp;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

// The writer's process id when `name` has the temporary names' shape.
std::optional<unsigned long> temporaryOwner(const std::string& name)
{
    if (name.size() < 2 || name[0] != '.' || !name.ends_with(kTempSuffix))
        return std::nullopt;
    // From the end: STAMP and COUNTER in hexadecimal, then PID in decimal,
    // each after a dot and each wholly digits.
    std::size_t end = name.size() - kTempSuffix.size();
    unsigned long value = 0;
    for (const int base : {16, 16, 10}) {
        const std::size_t dot = end == 0 ? std::string::npos : name.rfind('.', end - 1);
        if (dot == std::string::npos || dot == 0 || dot + 1 == end)
            return std::nullopt;
        const char* last = name.data() + end;
        const auto [ptr, ec] = std::from_chars(name.data() + dot + 1, last, value, base);
        if (ec != std::errc() || ptr != last)
            return std::nullopt;
        end = dot;
    }
    return value;
}

// Removes temporary files in `folder` left by writers that no longer run
// (killed mid-save). Each folder is looked at once per process: files of
// dead processes do not reappear, and a batch writing thousands of files
// into one folder must not list it thousands of times.
void removeStaleTemporaries(const std::filesystem::path& folder)
{
    static std::mutex mutex;
    static std::set<std::filesystem::path> seen;
    {
        const std::lock_guard lock(mutex);
        if (!seen.insert(folder).second)
            return;
    }
    std::error_code ec;
    const unsigned long self = currentProcessId();
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const auto owner = temporaryOwner(it->path().filename().string());
        std::error_code ignored;
        if (owner && *owner != self && !processRuns(*owner) && it->is_regular_file(ignored))
            std::filesystem::remove(it->path(), ignored);
    }
}

} // namespace

int openForRead(const std::filesystem::path& path)
{
#ifdef _WIN32
    const int fd = rawOpen(path, _O_RDONLY, 0);
    if (fd < 0)
        return -1;
    struct _stat64 st {};
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        _close(fd);
        return -1;
    }
    return fd;
#else
    // Non-blocking so that opening a FIFO by mistake cannot hang; only
    // regular files are accepted anyway.
    const int fd = rawOpen(path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
#endif
}

int openForWrite(const std::filesystem::path& path)
{
#ifdef _WIN32
    return rawOpen(path, _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
#else
    return rawOpen(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
#endif
}

bool closeFile(int fd)
{
    return fd >= 0 && rawClose(fd);
}

bool replaceFileContents(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    return replaceFileContents(path, [bytes](const ByteSink& sink) { return sink(bytes); });
}

bool replaceFileContents(const std::filesystem::path& path,
                         const std::function<bool(const ByteSink&)>& produce)
{
    t_lastWriteError.clear();
    if (path.empty())
        return fail(std::make_error_code(std::errc::no_such_file_or_directory));
    const std::filesystem::path target = resolveLinks(path);
    if (target.empty())
        return fail(std::make_error_code(std::errc::too_many_symbolic_link_levels));
    if (!target.has_filename())
        return fail(std::make_error_code(std::errc::is_a_directory));
    // Only regular files are replaced: renaming over a folder, a device or a
    // pipe (say a link to /dev/null) would destroy something that is not a
    // picture.
    std::error_code ec;
    const auto status = std::filesystem::status(target, ec);
    if (std::filesystem::is_directory(status))
        return fail(std::make_error_code(std::errc::is_a_directory));
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return fail(std::make_error_code(std::errc::not_supported));
        // A file we may not write stays as it is, as with a plain create, even
        // though the folder would let the rename replace it.
#ifdef _WIN32
    if (std::filesystem::exists(status) && _waccess(target.c_str(), 2) != 0)
        return failWithErrno();
#else
    if (std::filesystem::exists(status) && ::access(target.c_str(), W_OK) != 0)
        return failWithErrno();
#endif

    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const bool unnamed = g_unnamedTempFiles.load();
    int fd = unnamed ? rawOpenUnnamed(folder) : -1;
    std::filesystem::path temp;
    if (fd < 0) {
        removeStaleTemporaries(folder);
        temp = placeTemporary(folder, target, [&fd](const std::filesystem::path& name) {
            fd = rawOpen(name, kCreateFlags, kCreateMode);
            return fd >= 0;
        });
        if (fd < 0)
            return failWithErrno();
    }

    // Each step runs only when the ones before succeeded; the first failure's
    // errno is the reason reported.
    int why = 0;
    const auto step = [&why](bool done) {
        if (!done && why == 0)
            why = errno != 0 ? errno : EIO;
        return done;
    };
    bool ok = true;
#ifndef _WIN32
    // A replaced file keeps its permission bits (and, where allowed, owner).
    // A new one has those of a plain create: the unnamed file was opened
    // with 0666 less the umask, like the named one.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ok = step(::fchmod(fd, old.st_mode & 07777) == 0);
        if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
            (void)!::fchown(fd, old.st_uid, old.st_gid); // best effort
    }
#endif
    if (ok) {
        std::uint64_t written = 0;
        bool produced = false;
        try {
            produced = produce([fd, &written](std::span<const std::uint8_t> piece) {
                return writeAll(fd, piece, written);
            });
        } catch (...) {
            errno = ENOMEM; // say out of memory while encoding
        }
        ok = step(produced);
    }
    ok = ok && step(rawSync(fd));
    // The complete unnamed file gets a temporary name only now, so the
    // folder never shows a partial one.
    if (ok && temp.empty()) {
        temp = placeTemporary(folder, target, [fd](const std::filesystem::path& name) {
            return rawLinkUnnamed(fd, name);
        });
        ok = step(!temp.empty());
    }
    ok = step(rawClose(fd)) && ok;
    ok = ok && step(rawRename(temp, target));
    if (!ok) {
        t_lastWriteError = std::error_code(why, std::generic_category());
        if (!temp.empty())
            rawUnlink(temp);
    }
    return ok;
}

void* alignedAllocate(std::size_t alignment, std::size_t size)
{
    // aligned_alloc wants a non-zero multiple of the alignment.
    const std::size_t rounded = (size + alignment - 1) & ~(alignment - 1);
    if (rounded < size)
        return nullptr;
    return rawAlignedAllocate(alignment, rounded == 0 ? alignment : rounded);
}

void alignedFree(void* p)
{
    rawAlignedFree(p);
}

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
#ifdef _WIN32
    (void)argc;
    (void)argv;
    // The console shows the UTF-8 output as such while the program runs,
    // and gets its own code page back at exit.
    struct ConsoleCodePage {
        UINT saved = GetConsoleOutputCP();
        ~ConsoleCodePage()
        {
            if (saved != 0)
                SetConsoleOutputCP(saved);
        }
    };
    static const ConsoleCodePage restoreAtExit;
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; wide != nullptr && i < count; ++i) {
        const int bytes =
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(bytes > 0 ? static_cast<std::size_t>(bytes) : 1, '\0');
        if (bytes > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), bytes, nullptr, nullptr);
        arg.pop_back(); // the terminating 0
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

std::error_code takeLastWriteError()
{
    return std::exchange(t_lastWriteError, {});
}

void ignoreFileSizeSignal()
{
#ifndef _WIN32
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int threadPriority()
{
#if defined(_WIN32)
    const int priority = GetThreadPriority(GetCurrentThread());
    return priority == THREAD_PRIORITY_ERROR_RETURN ? THREAD_PRIORITY_NORMAL : priority;
#elif defined(__linux__)
    // -1 is also a valid nice value: errno tells a failure apart.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    return errno == 0 ? nice : 0;
#else
    return 0;
#endif
}

bool setThreadPriority(int priority)
{
#if defined(_WIN32)
    return SetThreadPriority(GetCurrentThread(), priority) != 0;
#elif defined(__linux__)
    // On Linux PRIO_PROCESS with a thread id names that one thread.
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), priority) == 0;
#else
    return priority == 0;
#endif
}

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path)
{
#ifdef _WIN32
    HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!ok)
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
#endif
}

std::uint64_t usableMemoryBytes()
{
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) != 0 ? status.ullTotalPhys : 0;
#else
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    std::uint64_t bytes = pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) *
                                                          static_cast<std::uint64_t>(pageSize)
                                                    : 0;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = bytes == 0 ? limit.rlim_cur : std::min<std::uint64_t>(bytes, limit.rlim_cur);
    return bytes;
#endif
}

void fitAllocatorToAddressLimit()
{
#if defined(__GLIBC__)
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        ::mallopt(M_ARENA_MAX, 1);
#endif
}

void setWriteFaultAfterForTesting(std::int64_t bytes)
{
    g_writeFaultAfter.store(bytes);
}

void setUnnamedTempFilesForTesting(bool allowed)
{
    g_unnamedTempFiles.store(allowed);
}

} // namespace gridmint::platform
