// The engine between the real file readers and writers: a BMP read,
// enlarged and written as BMP.
#include "EngineTestUtil.h"
#include "engine/ScaleJob.h"
#include "image/Codecs.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace gridmint {
namespace {

TEST(EngineFiles, BmpReadEnlargedAndWrittenAsBmp)
{
    const std::filesystem::path dir = testing::TempDir();
    const auto source = dir / "gridmint_engine_diagonal.bmp";
    const auto result = dir / "gridmint_engine_diagonal_x3.bmp";
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

} // namespace
} // namespace gridmint
