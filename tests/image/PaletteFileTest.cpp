#include "TestSupport.h"

#include <cstring>

namespace gridmint::test {
namespace {

Bytes actFile(std::size_t size)
{
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return b;
}

Colour rgbAt(const Bytes& b, std::size_t at)
{
    return 0xFF000000u | Colour{b[at]} << 16 | Colour{b[at + 1]} << 8 | b[at + 2];
}

Bytes palFile(std::uint16_t count, std::size_t entriesPresent)
{
    Bytes b(24 + 4 * entriesPresent);
    std::memcpy(b.data(), "RIFF", 4);
    std::memcpy(b.data() + 8, "PAL data", 8);
    put16(b, 22, count);
    for (std::size_t i = 0; i < entriesPresent; ++i) {
        b[24 + 4 * i] = static_cast<std::uint8_t>(i);
        b[25 + 4 * i] = static_cast<std::uint8_t>(i >> 8);
        b[26 + 4 * i] = 0x5A;
        b[27 + 4 * i] = 0x99; // flags, ignored
    }
    return b;
}

TEST(ActPalette, CountsAndReversal)
{
    EXPECT_EQ(decodeActPalette(actFile(768), false)->count(), 256u);
    EXPECT_EQ(decodeActPalette(actFile(30), false)->count(), 10u);
    EXPECT_EQ(decodeActPalette(actFile(2), false)->count(), 0u);

    const Bytes withExtra = actFile(772); // trailing count and transparent index
    const auto forward = decodeActPalette(withExtra, false);
    ASSERT_EQ(forward->count(), 256u);
    EXPECT_EQ(forward->at(0), rgbAt(withExtra, 0));
    EXPECT_EQ(forward->at(255), rgbAt(withExtra, 765));
    const auto reversed = decodeActPalette(withExtra, true);
    EXPECT_EQ(reversed->at(0), rgbAt(withExtra, 765));
    EXPECT_EQ(reversed->at(255), rgbAt(withExtra, 0));
    EXPECT_TRUE(forward->name.empty());
}

TEST(ActPalette, FileReaderTakesOnlyTheBytesThatMatter)
{
    TempDir dir;
    writeBytes(dir / "big.act", actFile(100000));
    const auto p = readActPalette(dir / "big.act", true);
    ASSERT_EQ(p->count(), 256u);
    EXPECT_EQ(p->at(0), rgbAt(actFile(768), 765));
}

TEST(PalPalette, CountsReversalAndBounds)
{
    const Bytes sixteen = palFile(16, 16);
    const auto p = decodePalPalette(sixteen, false);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->count(), 16u);
    EXPECT_EQ(p->at(3), 0xFF03005Au);
    const auto r = decodePalPalette(sixteen, true);
    EXPECT_EQ(r->at(0), rgbAt(sixteen, 84)); // entry 15

    // A count promising more than the file holds is bounded by the file.
    EXPECT_EQ(decodePalPalette(palFile(1000, 3), false)->count(), 3u);
    EXPECT_EQ(decodePalPalette(palFile(2, 5), false)->count(), 2u);
    // Pixel indices are bytes: at most 256 colours are kept.
    const auto many = decodePalPalette(palFile(300, 300), true);
    ASSERT_EQ(many->count(), 256u);
    EXPECT_EQ(many->at(0), 0xFF2B015Au); // entry 299 first
}

TEST(PalPalette, NotARiffPaletteGivesNone)
{
    const std::string text = "JASC-PAL\r\n0100\r\n2\r\n0 0 0\r\n255 255 255\r\n";
    EXPECT_EQ(decodePalPalette(Bytes(text.begin(), text.end()), false), nullptr);
    Bytes wave = palFile(2, 2);
    std::memcpy(wave.data() + 8, "WAVE", 4);
    EXPECT_EQ(decodePalPalette(wave, false), nullptr);
    Bytes noData = palFile(2, 2);
    std::memcpy(noData.data() + 12, "fmt ", 4);
    EXPECT_EQ(decodePalPalette(noData, false), nullptr);
    for (std::size_t length : {0u, 20u, 21u, 23u}) {
        Bytes cut = palFile(2, 2);
        cut.resize(length);
        EXPECT_EQ(decodePalPalette(cut, false), nullptr) << length;
    }
    EXPECT_EQ(decodePalPalette(palFile(0, 0), false)->count(), 0u);
}

} // namespace
} // namespace gridmint::test
