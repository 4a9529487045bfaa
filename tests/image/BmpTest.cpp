#include "TestSupport.h"

namespace gridmint::test {
namespace {

using tarn::CErrCodeException;

// A BMP file with a chosen header size, bit depth and colour count; rows
// are given bottom-up and already packed and padded.
struct BmpSpec {
    std::int32_t width = 4;
    std::int32_t height = 2;
    std::uint16_t bits = 8;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t coloursUsed = 0;
    std::uint32_t paletteEntries = 256;
    Bytes rows;
};

Bytes makeBmp(const BmpSpec& s)
{
    const std::size_t paletteAt = 14 + s.headerSize;
    const std::size_t pixelsAt = paletteAt + 4 * std::size_t{s.paletteEntries};
    Bytes b(pixelsAt, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(pixelsAt + s.rows.size()));
    put32(b, 10, static_cast<std::uint32_t>(pixelsAt));
    put32(b, 14, s.headerSize);
    put32(b, 18, static_cast<std::uint32_t>(s.width));
    put32(b, 22, static_cast<std::uint32_t>(s.height));
    put16(b, 26, 1);
    put16(b, 28, s.bits);
    put32(b, 30, s.compression);
    put32(b, 46, s.coloursUsed);
    for (std::uint32_t i = 0; i < s.paletteEntries; ++i) {
        b[paletteAt + 4 * i] = static_cast<std::uint8_t>(i);           // blue
        b[paletteAt + 4 * i + 1] = static_cast<std::uint8_t>(i * 3);   // green
        b[paletteAt + 4 * i + 2] = static_cast<std::uint8_t>(255 - i); // red
        b[paletteAt + 4 * i + 3] = 0x12;                               // reserved, not alpha
    }
    b.insert(b.end(), s.rows.begin(), s.rows.end());
    return b;
}

Colour expectedColour(std::uint32_t i)
{
    return 0xFF000000u | (255 - i) << 16 | ((i * 3) & 0xFF) << 8 | i;
}

TEST(BmpWriter, WorkedLayoutOfA5x2ImageWith3Colours)
{
    const std::uint8_t pixels[2][9] = {{1, 2, 0, 1, 2, 99, 99, 99, 99},
                                       {0, 0, 1, 1, 2, 99, 99, 99, 99}};
    const Colour colours[3] = {0x80112233, 0xFF445566, 0x00778899};
    const auto file = encodeBmp({&pixels[0][0], 5, 2, 9}, colours);
    ASSERT_TRUE(file);
    const Bytes& b = *file;
    ASSERT_EQ(b.size(), 1094u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(get32(b, 2), 1094u);
    EXPECT_EQ(get32(b, 10), 1078u);
    EXPECT_EQ(get32(b, 14), 40u);
    EXPECT_EQ(get32(b, 18), 5u);
    EXPECT_EQ(get32(b, 22), 2u);
    EXPECT_EQ(get32(b, 46), 0u);
    // Blue, green, red, then a zero byte where the alpha was.
    EXPECT_EQ((Bytes(b.begin() + 54, b.begin() + 66)),
              (Bytes{0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0, 0x99, 0x88, 0x77, 0}));
    EXPECT_TRUE(
        std::all_of(b.begin() + 66, b.begin() + 1078, [](std::uint8_t v) { return v == 0; }));
    // Bottom row first, each padded to 8 bytes with zeros (not the stride's junk).
    EXPECT_EQ((Bytes(b.begin() + 1078, b.end())),
              (Bytes{0, 0, 1, 1, 2, 0, 0, 0, 1, 2, 0, 1, 2, 0, 0, 0}));
}

TEST(BmpWriter, MoreThan256ColoursAndOversizedImages)
{
    std::vector<Colour> colours(300, 0xFFABCDEF);
    const std::uint8_t pixel = 7;
    const auto file = encodeBmp({&pixel, 1, 1, 1}, colours);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), 1082u); // the palette stops at 256 entries
    EXPECT_EQ(get32(*file, 2), 1082u);
    EXPECT_EQ(file->at(1078), 7);

    // The file size must fit the header's signed 32-bit field; this fails
    // before anything is read from the (here tiny) pixel buffer.
    EXPECT_FALSE(encodeBmp({&pixel, 50000, 50000, 0}, colours));
    EXPECT_FALSE(encodeBmp({&pixel, 0, 1, 1}, colours));
    EXPECT_FALSE(encodeBmp({&pixel, 1, -1, 1}, colours));
}

TEST(BmpReader, PaletteCountAndPixelsOfEachDepth)
{
    { // 8-bit, no colour count: 256 colours; values beyond the palette kept
        BmpSpec s;
        s.rows = {1, 2, 3, 4, 5, 6, 7, 200};
        const auto set = decodeBmp(makeBmp(s));
        EXPECT_EQ(set->palette->count(), 256u);
        EXPECT_EQ(set->palette->at(5), expectedColour(5));
        EXPECT_EQ(set->kind, ImageSet::kIndexedKind);
        EXPECT_FALSE(set->first);
        EXPECT_EQ(picture(*set->image),
                  picture(std::array<std::uint8_t, 8>{5, 6, 7, 200, 1, 2, 3, 4}.data(), 4, 2, 4));
    }
    { // 8-bit with 16 colours used
        BmpSpec s;
        s.coloursUsed = 16;
        s.paletteEntries = 16;
        s.rows = {1, 2, 3, 4, 5, 6, 7, 200};
        const auto set = decodeBmp(makeBmp(s));
        EXPECT_EQ(set->palette->count(), 16u);
        EXPECT_EQ(set->image->row(0)[3], 200);
    }
    { // 4-bit, width 3: two bytes per row plus two padding bytes
        BmpSpec s;
        s.bits = 4;
        s.width = 3;
        s.paletteEntries = 16;
        s.rows = {0x12, 0x3F, 0xFF, 0xFF, 0xAB, 0xC0, 0xEE, 0xEE};
        const auto set = decodeBmp(makeBmp(s));
        EXPECT_EQ(set->palette->count(), 16u);
        const std::uint8_t want[6] = {10, 11, 12, 1, 2, 3};
        EXPECT_EQ(picture(*set->image), picture(want, 3, 2, 3));
    }
    { // 1-bit, width 10: pixel 8 is bit 7 of the second byte
        BmpSpec s;
        s.bits = 1;
        s.width = 10;
        s.height = 1;
        s.paletteEntries = 2;
        s.rows = {0b10100000, 0b10000000, 0xFF, 0xFF};
        const auto set = decodeBmp(makeBmp(s));
        EXPECT_EQ(set->palette->count(), 2u);
        const std::uint8_t want[10] = {1, 0, 1, 0, 0, 0, 0, 0, 1, 0};
        EXPECT_EQ(picture(*set->image), picture(want, 10, 1, 10));
    }
}

TEST(BmpReader, LargerHeadersPlacePaletteAfterThem)
{
    for (const std::uint32_t header : {52u, 56u, 64u, 108u, 124u}) {
        BmpSpec s;
        s.headerSize = header;
        s.coloursUsed = 20;
        s.paletteEntries = 20;
        s.rows = {0, 1, 2, 19, 4, 5, 6, 7};
        const auto set = decodeBmp(makeBmp(s));
        ASSERT_EQ(set->palette->count(), 20u) << header;
        for (std::uint32_t i = 0; i < 20; ++i)
            EXPECT_EQ(set->palette->at(i), expectedColour(i))
                << "header " << header << " colour " << i;
    }
}

TEST(BmpReader, PaletteCutTo256AndFileSizeFieldIgnored)
{
    BmpSpec s;
    s.coloursUsed = 300;
    s.paletteEntries = 300;
    s.rows = Bytes(8, 255);
    Bytes file = makeBmp(s);
    put32(file, 2, 3); // a file size smaller than the pixel offset
    const auto set = decodeBmp(file);
    EXPECT_EQ(set->palette->count(), 256u);
    EXPECT_EQ(set->image->row(1)[3], 255);
    put32(file, 2, 0xFFFFFFF0u); // and one far beyond the file
    EXPECT_NO_THROW(decodeBmp(file));
}

TEST(BmpReader, RefusesUnsupportedAndDamagedFiles)
{
    const auto code = [](const BmpSpec& s, const std::function<void(Bytes&)>& damage = {}) {
        Bytes file = makeBmp(s);
        if (damage)
            damage(file);
        return errorCode([&] { decodeBmp(file); });
    };
    BmpSpec ok;
    ok.rows = Bytes(8, 1);
    ASSERT_EQ(code(ok), -1);

    BmpSpec s = ok;
    EXPECT_EQ(code(s, [](Bytes& b) { b[0] = 'X'; }), CErrCodeException::NotBmp);
    s.compression = 1;
    EXPECT_EQ(code(s), CErrCodeException::CompressedBmp);
    s = ok;
    s.bits = 24;
    s.paletteEntries = 0;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.bits = 2;
    s.paletteEntries = 4;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.headerSize = 12;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);

    // Sizes: top-down, negative width, zero, too wide, too many pixels.
    for (const auto& [w, h] : std::vector<std::pair<std::int32_t, std::int32_t>>{
             {4, -2}, {-4, 2}, {0, 2}, {4, 0}, {65536, 1}, {1, 65536}, {65535, 65535}}) {
        s = ok;
        s.width = w;
        s.height = h;
        EXPECT_EQ(code(s), CErrCodeException::NoSupport) << w << "x" << h;
    }

    // Counts and offsets that reach beyond the file are short reads.
    s = ok;
    s.coloursUsed = 0x80000000u;
    EXPECT_EQ(code(s), CErrCodeException::ReadError);
    s.coloursUsed = 0xFFFFFFFFu;
    EXPECT_EQ(code(s), CErrCodeException::ReadError);
    EXPECT_EQ(code(ok, [](Bytes& b) { put32(b, 14, 0xFFFFFFF0u); }), CErrCodeException::ReadError);
    EXPECT_EQ(code(ok, [](Bytes& b) { put32(b, 10, 0xFFFFFFF0u); }), CErrCodeException::ReadError);
    EXPECT_EQ(code(ok, [](Bytes& b) { b.pop_back(); }), CErrCodeException::ReadError);
    s = ok;
    s.height = 60000; // rows claimed far beyond the real end of the file
    EXPECT_EQ(code(s), CErrCodeException::ReadError);
}

} // namespace
} // namespace gridmint::test
