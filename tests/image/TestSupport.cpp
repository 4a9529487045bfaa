#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace gridmint::test {

TempDir::TempDir()
{
    // create_directory reports whether it made the folder, so a name that is
    // taken is never shared.
    std::random_device rd;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base / ("gridmint-image-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_))
            return;
    }
    throw std::runtime_error("no temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifndef _WIN32
int inChildProcess(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
        }
        std::_Exit(status);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::uint64_t procStatusBytes(const std::string& field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(field + ":"))
            return std::stoull(line.substr(field.size() + 1)) * 1024; // given in kB
    }
    return 0;
}

#endif

Bytes readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path fixture(const std::string& name)
{
    return std::filesystem::path(GRIDMINT_FIXTURE_DIR) / name;
}

void put16(Bytes& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

int errorCode(const std::function<void()>& call)
{
    try {
        call();
    } catch (const tarn::CErrCodeException& e) {
        return e.code();
    }
    return -1;
}

std::string picture(const std::uint8_t* top, int width, int height, int stride)
{
    std::ostringstream out;
    for (int y = 0; y < height; ++y) {
        out << "\n ";
        for (int x = 0; x < width; ++x)
            out << ' ' << static_cast<int>(top[y * stride + x]);
    }
    return out.str();
}

std::string picture(const IndexedImage& image)
{
    return picture(image.store(), image.width(), image.height(), image.width());
}

} // namespace gridmint::test
