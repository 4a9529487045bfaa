// The engine between the real file readers and writers: a BMP read,
// enlarged and written as BMP.
#include "EngineTestUtil.h"
#include "engine/ScaleJob.h"
#include "image/Codecs.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace gridmint {
namespace {

// A name of this process's own in the shared temporary folder: the sanitizer
// build's tests may run beside the release build's, and must not overwrite
// each other's files halfway through a comparison.
std::filesystem::path tempFile(const std::string& name)
{
    static const std::string tag = std::to_string(std::random_device{}());
    return std::filesystem::path(testing::TempDir()) / ("gridmint-" + tag + "-" + name);
}

TEST(EngineFiles, BmpReadEnlargedAndWrittenAsBmp)
{
    const auto source = tempFile("diagonal.bmp");
    const auto result = tempFile("diagonal_x3.bmp");
    const std::vector<Colour> palette{0xFFFFFFFF, 0xFF000000};
    const std::uint8_t pixels[] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
    ASSERT_TRUE(writeBmp(source, pixels, 3, 3, 3, palette.data(), 2));

    const auto set = readBmp(source);
    ASSERT_TRUE(set && set->image && set->palette);
    ScaleJob job(*set, 3, 20, -1);
    job.run();
    const IndexedImage& out = job.outputImage();
    ASSERT_TRUE(writeBmp(result, out.store(), out.width(), out.height(), out.width(),
                         job.output().palette->colours.data(),
                         static_cast<std::int32_t>(job.output().palette->count())));

    const auto back = readBmp(result);
    ASSERT_TRUE(back && back->image && back->palette);
    EXPECT_EQ(
        test::rowsOf(*back->image),
        (std::vector<std::string>{"000000001", "000000011", "000000111", "000001000", "000010000",
                                  "000100000", "001000000", "011000000", "111000000"}));
    ASSERT_GE(back->palette->count(), 2u);
    EXPECT_EQ(back->palette->at(0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(back->palette->at(1) & 0xFFFFFF, 0x000000u);

    std::filesystem::remove(source);
    std::filesystem::remove(result);
}

// Enlarged pixel art written as PNG at every compression setting reads back
// with the job's indices, the whole palette with its alpha, and the bit depth
// the palette asks for. Smallest is slow, so it runs at a few factors only.
TEST(EngineFiles, EnlargedPixelArtRoundTripsThroughPngAtEveryFactorAndCompression)
{
    const std::vector<Colour> palette{0x00000000, 0xFF202020, 0xFFE0C040,
                                      0x80C03030, 0xFF3050C0, 0xFFFFFFFF};
    std::vector<std::uint8_t> pixels(40 * 30);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const int d = (x - 20) * (x - 20) + (y - 15) * (y - 15);
            pixels[static_cast<std::size_t>(y * 40 + x)] =
                static_cast<std::uint8_t>(d < 64    ? 2 + (x + y) / 9 % 3
                                          : d < 100 ? 1
                                                    : (x + 2 * y) / 11 % 2 * 5);
        }
    }
    const auto set = test::makeSet(40, 30, pixels, palette);
    const std::filesystem::path file = tempFile("rt.png");
    for (std::int32_t factor = 2; factor <= 16; ++factor) {
        ScaleJob job(*set, factor, 20, 0);
        job.run();
        const IndexedImage& out = job.outputImage();
        for (const Compression c : {Compression::Fast, Compression::Best, Compression::Smallest}) {
            if (c == Compression::Smallest && factor != 2 && factor != 7 && factor != 16)
                continue;
            WriteOptions options;
            options.compression = c;
            ASSERT_TRUE(writeImage(file, ImageFormat::Png,
                                   {out.store(), out.width(), out.height(), out.width()}, palette,
                                   options));
            const auto back = readPng(file);
            ASSERT_TRUE(back && back->image && back->palette);
            const std::string label = "factor " + std::to_string(factor) + " compression " +
                                      std::to_string(static_cast<int>(c));
            EXPECT_EQ(test::rowsOf(*back->image), test::rowsOf(out)) << label;
            EXPECT_EQ(back->palette->colours, palette) << label;
            std::ifstream in(file, std::ios::binary);
            char head[25] = {};
            in.read(head, sizeof head);
            EXPECT_EQ(head[24], 4) << label; // six colours need four bits
        }
    }
    std::filesystem::remove(file);
}

} // namespace
} // namespace gridmint
