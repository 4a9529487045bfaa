// Helpers shared by the image-layer tests.
#pragma once

#include "../Sanitizers.h"
#include "image/Codecs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace gridmint::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Names of the folder's entries, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

Bytes readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);
std::filesystem::path fixture(const std::string& name);

void put16(Bytes& b, std::size_t at, std::uint32_t v);
void put32(Bytes& b, std::size_t at, std::uint32_t v);
std::uint32_t get32(const Bytes& b, std::size_t at);

#ifndef _WIN32
// Runs `body` in a forked child and returns its exit status, or minus the
// signal that ended it. For limits (RLIMIT_AS, RLIMIT_FSIZE) that must not
// touch the test process itself.
int inChildProcess(const std::function<int()>& body);

// A field of /proc/self/status in bytes ("VmSize", "VmHWM"); 0 if absent.
std::uint64_t procStatusBytes(const std::string& field);

#endif

// The error code a call throws, or -1 when it throws nothing.
int errorCode(const std::function<void()>& call);

// The image's indices as rows of text, for readable failure messages.
std::string picture(const IndexedImage& image);
std::string picture(const std::uint8_t* top, int width, int height, int stride);

} // namespace gridmint::test
