// Reads and writes of a 2048 x 2048 8-bit picture in each format, in memory
// (encode/decode) and through files (write/read, including the flush and
// rename of a save). Throughput is counted in pixels, one byte each.
//
// The picture is enlarged pixel art, not noise: zlib's speed depends
// strongly on content, and flat 16 x 16 blocks with a few dozen colours is
// what this program saves.
#include "image/Codecs.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace gridmint;

constexpr int kSide = 2048;
constexpr int kFactor = 16;

struct Picture {
    std::vector<std::uint8_t> pixels;
    std::vector<Colour> colours;
    Picture() : pixels(std::size_t{kSide} * kSide), colours(32)
    {
        // A 128 x 128 sprite sheet: outlined circles and stripes in 32 colours.
        constexpr int kSmall = kSide / kFactor;
        std::vector<std::uint8_t> small(kSmall * kSmall);
        for (int y = 0; y < kSmall; ++y) {
            for (int x = 0; x < kSmall; ++x) {
                const int cx = x % 32 - 16;
                const int cy = y % 32 - 16;
                const int r2 = cx * cx + cy * cy;
                std::uint8_t v = static_cast<std::uint8_t>(1 + (x / 32 + y / 32) % 4);
                if (r2 < 100)
                    v = static_cast<std::uint8_t>(8 + (x / 32 * 3 + y / 32) % 20);
                if (r2 >= 100 && r2 < 130)
                    v = 0; // outline
                if ((x + y) % 9 == 0 && r2 >= 130)
                    v = 30;
                small[static_cast<std::size_t>(y * kSmall + x)] = v;
            }
        }
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                pixels[static_cast<std::size_t>(y) * kSide + static_cast<std::size_t>(x)] =
                    small[static_cast<std::size_t>((y / kFactor) * kSmall + x / kFactor)];
        for (std::size_t i = 0; i < colours.size(); ++i)
            colours[i] = 0xFF000000u | static_cast<Colour>(i * 0x070B0D);
    }
    PixelBlock block() const { return {pixels.data(), kSide, kSide, kSide}; }
};

const Picture& picture()
{
    static const Picture p;
    return p;
}

using Encoder = std::optional<std::vector<std::uint8_t>> (*)(const PixelBlock&,
                                                             std::span<const Colour>);
using Decoder = std::unique_ptr<ImageSet> (*)(std::span<const std::uint8_t>);
using Writer = bool (*)(const std::filesystem::path&, const std::uint8_t*, std::int32_t,
                        std::int32_t, std::int32_t, const Colour*, std::int32_t);
using Reader = std::unique_ptr<ImageSet> (*)(const std::filesystem::path&);

void setThroughput(benchmark::State& state, std::size_t fileBytes)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSide * kSide);
    state.counters["file_KiB"] = static_cast<double>(fileBytes) / 1024.0;
}

void encode(benchmark::State& state, Encoder enc)
{
    std::size_t size = 0;
    for (auto _ : state) {
        auto out = enc(picture().block(), picture().colours);
        size = out->size();
        benchmark::DoNotOptimize(out);
    }
    setThroughput(state, size);
}

void decode(benchmark::State& state, Encoder enc, Decoder dec)
{
    const auto file = *enc(picture().block(), picture().colours);
    for (auto _ : state) {
        auto set = dec(file);
        benchmark::DoNotOptimize(set);
    }
    setThroughput(state, file.size());
}

std::filesystem::path scratch(const char* ext)
{
    return std::filesystem::temp_directory_path() /
           ("gridmint-bench-" + std::to_string(::getpid()) + ext);
}

void write(benchmark::State& state, Writer w, const char* ext)
{
    const auto path = scratch(ext);
    const Picture& p = picture();
    for (auto _ : state) {
        if (!w(path, p.pixels.data(), kSide, kSide, kSide, p.colours.data(), 32))
            state.SkipWithError("write failed");
    }
    setThroughput(state, std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

void read(benchmark::State& state, Writer w, Reader r, const char* ext)
{
    const auto path = scratch(ext);
    const Picture& p = picture();
    w(path, p.pixels.data(), kSide, kSide, kSide, p.colours.data(), 32);
    for (auto _ : state) {
        auto set = r(path);
        benchmark::DoNotOptimize(set);
    }
    setThroughput(state, std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

BENCHMARK_CAPTURE(encode, bmp, &encodeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, png, &encodePng)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, pcx, &encodePcx)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, bmp, &encodeBmp, &decodeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, png, &encodePng, &decodePng)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, pcx, &encodePcx, &decodePcx)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write, bmp, &writeBmp, ".bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write, png, &writePng, ".png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(write, pcx, &writePcx, ".pcx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, bmp, &writeBmp, &readBmp, ".bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, png, &writePng, &readPng, ".png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read, pcx, &writePcx, &readPcx, ".pcx")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
