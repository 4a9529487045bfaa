#include "image/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace gridmint::platform {

namespace {

std::atomic<std::int64_t> g_writeFaultAfter{-1};
std::atomic<std::uint64_t> g_tempCounter{0};

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
    return std::aligned_alloc(alignment, size);
}
void rawAlignedFree(void* p)
{
    std::free(p);
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

// Writes everything or fails; honours the test fault. `written` counts the
// bytes of the file written so far, across calls.
bool writeAll(int fd, std::span<const std::uint8_t> bytes, std::uint64_t& written)
{
    std::size_t done = 0;
    const std::int64_t faultAt = g_writeFaultAfter.load();
    while (done < bytes.size()) {
        std::size_t want = bytes.size() - done;
        if (faultAt >= 0) {
            if (static_cast<std::uint64_t>(faultAt) <= written)
                return false;
            want = std::min<std::size_t>(want, static_cast<std::size_t>(faultAt - written));
        }
        const long long n = rawWrite(fd, bytes.data() + done, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
        written += static_cast<std::uint64_t>(n);
    }
    return true;
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
    if (path.empty())
        return false;
    const std::filesystem::path target = resolveLinks(path);
    if (target.empty() || !target.has_filename())
        return false;
    // Only regular files are replaced: renaming over a folder, a device or a
    // pipe (say a link to /dev/null) would destroy something that is not a
    // picture.
    std::error_code ec;
    const auto status = std::filesystem::status(target, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        return false;
    // A file we may not write stays as it is, as with a plain create, even
    // though the folder would let the rename replace it.
#ifdef _WIN32
    if (std::filesystem::exists(status) && _waccess(target.c_str(), 2) != 0)
        return false;
#else
    if (std::filesystem::exists(status) && ::access(target.c_str(), W_OK) != 0)
        return false;
#endif

    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const auto stamp =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(::getpid());
#endif

    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        char suffix[80];
        std::snprintf(suffix, sizeof suffix, ".%lu.%llx.%llx.tmp", pid,
                      static_cast<unsigned long long>(g_tempCounter.fetch_add(1)),
                      static_cast<unsigned long long>(stamp & 0xFFFFFFu));
        // Long names keep the temporary name within the file system's limit.
        std::filesystem::path name = ".";
        if (target.filename().native().size() <= 100)
            name += target.filename();
        else
            name += "gridmint";
        name += suffix;
        temp = folder / name;
        fd = rawOpen(temp, kCreateFlags, kCreateMode);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = true;
#ifndef _WIN32
    // A replaced file keeps its permission bits (and, where allowed, owner).
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
            (void)!::fchown(fd, old.st_uid, old.st_gid); // best effort
    }
#endif
    std::uint64_t written = 0;
    try {
        ok = ok && produce([fd, &written](std::span<const std::uint8_t> piece) {
                 return writeAll(fd, piece, written);
             });
    } catch (...) {
        ok = false; // say out of memory while encoding: the temporary goes below
    }
    ok = ok && rawSync(fd);
    ok = rawClose(fd) && ok;
    ok = ok && rawRename(temp, target);
    if (!ok)
        rawUnlink(temp);
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

void setWriteFaultAfterForTesting(std::int64_t bytes)
{
    g_writeFaultAfter.store(bytes);
}

} // namespace gridmint::platform
