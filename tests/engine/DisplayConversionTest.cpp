#include "engine/DisplayConversion.h"

#include "EngineTestUtil.h"

#include <gtest/gtest.h>

namespace gridmint {
namespace {

TEST(DisplayConversion, KeepsIndicesRowByRowWhateverTheStride)
{
    // Width 5: the raster's stride is 8, the image's rows are 5 bytes apart.
    auto set = test::makeSet({"01234", "43210", "00077"}, {0xFF102030});
    auto bitmap = makeDisplayBitmap(*set->image, *set->palette);
    ASSERT_TRUE(bitmap);
    ASSERT_EQ(bitmap->width(), 5);
    ASSERT_EQ(bitmap->height(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(bitmap->row(y)[x], set->image->row(y)[x]) << x << "," << y;

    auto one = test::makeSet({"7"}, {});
    auto tiny = makeDisplayBitmap(*one->image, *one->palette);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->row(0)[0], 7);
}

TEST(DisplayConversion, ColourTableIsOpaqueAndCoversEveryByte)
{
    Palette palette;
    palette.colours = {0x00FF0000, 0x80123456, 0xFFABCDEF};
    auto set = test::makeSet({"0"}, {});
    auto bitmap = makeDisplayBitmap(*set->image, palette);
    ASSERT_TRUE(bitmap);
    const auto table = bitmap->colourTable();
    ASSERT_EQ(table.size(), 256u);
    EXPECT_EQ(table[0], 0xFFFF0000u);
    EXPECT_EQ(table[1], 0xFF123456u);
    EXPECT_EQ(table[2], 0xFFABCDEFu);
    for (std::size_t i = 3; i < 256; ++i)
        ASSERT_EQ(table[i], 0xFF000000u) << i;

    Palette large;
    for (Colour i = 0; i < 300; ++i)
        large.colours.push_back(i);
    auto big = makeDisplayBitmap(*set->image, large);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->colourTable()[255], 0xFF0000FFu);
}

TEST(DisplayConversion, FillReusesARasterOfTheSameSizeOnly)
{
    auto a = test::makeSet({"012", "210"}, {0xFF000000, 0xFFFFFFFF});
    auto b = test::makeSet({"222", "111"}, {0xFF00FF00});
    auto bitmap = makeDisplayBitmap(*a->image, *a->palette);
    ASSERT_TRUE(bitmap);
    const std::uint8_t* bits = bitmap->bits();
    ASSERT_TRUE(fillDisplayBitmap(*bitmap, *b->image, *b->palette));
    EXPECT_EQ(bitmap->bits(), bits);
    EXPECT_EQ(bitmap->row(1)[0], 1);
    EXPECT_EQ(bitmap->colourTable()[0], 0xFF00FF00u);
    EXPECT_EQ(bitmap->colourTable()[1], 0xFF000000u) << "old colours must not linger";

    auto c = test::makeSet({"01"}, {});
    EXPECT_FALSE(fillDisplayBitmap(*bitmap, *c->image, *c->palette));
}

} // namespace
} // namespace gridmint
