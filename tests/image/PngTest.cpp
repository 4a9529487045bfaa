#include "TestSupport.h"

#include <cstring>
#include <map>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <zlib.h>

namespace gridmint::test {
namespace {

using tarn::CErrCodeException;

struct Chunk {
    std::string type;
    Bytes data;
};

std::vector<Chunk> chunks(const Bytes& png)
{
    std::vector<Chunk> out;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t n = std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 |
                                std::uint32_t{png[at + 2]} << 8 | png[at + 3];
        out.push_back({std::string(png.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                                   png.begin() + static_cast<std::ptrdiff_t>(at) + 8),
                       Bytes(png.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                             png.begin() + static_cast<std::ptrdiff_t>(at + 8 + n))});
        at += 12 + n;
    }
    return out;
}

void appendChunk(Bytes& png, const std::string& type, const Bytes& data)
{
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int s = 24; s >= 0; s -= 8)
        png.push_back(static_cast<std::uint8_t>(n >> s));
    Bytes body(type.begin(), type.end());
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    const auto crc =
        static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
    for (int s = 24; s >= 0; s -= 8)
        png.push_back(static_cast<std::uint8_t>(crc >> s));
}

// A minimal PNG of any colour type at depth 8, rows unfiltered.
Bytes makePng(std::uint32_t width, std::uint32_t height, std::uint8_t colourType, int channels,
              std::uint8_t fill = 1)
{
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr(13, 0);
    for (int i = 0; i < 4; ++i) {
        ihdr[i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
        ihdr[4 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
    }
    ihdr[8] = 8;
    ihdr[9] = colourType;
    appendChunk(png, "IHDR", ihdr);
    if (colourType == 3)
        appendChunk(png, "PLTE", {10, 20, 30, 40, 50, 60});
    if (std::uint64_t{width} * height <= 4096) {
        Bytes raw;
        for (std::uint32_t y = 0; y < height; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), std::size_t{width} * static_cast<std::size_t>(channels), fill);
        }
        Bytes packed(compressBound(static_cast<uLong>(raw.size())));
        uLongf packedSize = static_cast<uLongf>(packed.size());
        compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
        packed.resize(packedSize);
        appendChunk(png, "IDAT", packed);
    }
    appendChunk(png, "IEND", {});
    return png;
}

Bytes encode(const std::uint8_t* top, int width, int height, int stride,
             std::vector<Colour> colours)
{
    auto out = encodePng({top, width, height, stride}, colours);
    EXPECT_TRUE(out);
    return out ? *out : Bytes{};
}

TEST(PngWriter, BitDepthFollowsPaletteLength)
{
    const std::uint8_t pixels[5] = {0, 1, 0, 1, 0};
    const std::map<std::size_t, int> expected = {{1, 1}, {2, 1},  {3, 2},  {4, 2},
                                                 {5, 4}, {16, 4}, {17, 8}, {256, 8}};
    for (const auto& [count, depth] : expected) {
        const Bytes png = encode(pixels, 5, 1, 5, std::vector<Colour>(count, 0xFF336699));
        EXPECT_EQ(png.at(24), depth) << count << " colours";
        const auto set = decodePng(png);
        EXPECT_EQ(set->palette->count(), std::max<std::size_t>(count, 2)); // index 1 is used
        EXPECT_EQ(picture(*set->image), picture(pixels, 5, 1, 5));
    }
}

TEST(PngWriter, IndicesBeyondThePaletteSurviveTheRoundTrip)
{
    // Index 200 in a 16-colour image: a depth taken from the palette alone
    // would store it as 200 & 15 = 8.
    std::uint8_t pixels[2][6] = {{0, 15, 200, 3, 0xEE, 0xEE}, {1, 2, 3, 4, 0xEE, 0xEE}};
    std::vector<Colour> colours(16);
    for (std::size_t i = 0; i < 16; ++i)
        colours[i] = 0xFF000000u | static_cast<Colour>(i * 0x0F0F0F);
    const Bytes png = encode(&pixels[0][0], 4, 2, 6, colours);
    EXPECT_EQ(png.at(24), 8);
    const auto set = decodePng(png);
    EXPECT_EQ(picture(*set->image), picture(&pixels[0][0], 4, 2, 6));
    ASSERT_EQ(set->palette->count(), 201u); // padded up to the highest index
    EXPECT_EQ(set->palette->at(15), colours[15]);
    EXPECT_EQ(set->palette->at(200), 0xFF000000u);

    // Same with a 2-colour palette and index 3: depth 2, not 1.
    std::uint8_t small[3] = {0, 3, 1};
    const Bytes png2 = encode(small, 3, 1, 3, {0xFFFFFFFF, 0xFF000000});
    EXPECT_EQ(png2.at(24), 2);
    EXPECT_EQ(picture(*decodePng(png2)->image), picture(small, 3, 1, 3));
}

TEST(PngWriter, TransparencyChunkListsAlphasUpToTheLastNonOpaqueEntry)
{
    const std::uint8_t pixels[1] = {0};
    const auto trns = [&](std::vector<Colour> colours) -> std::optional<Bytes> {
        for (const Chunk& c : chunks(encode(pixels, 1, 1, 1, colours)))
            if (c.type == "tRNS")
                return c.data;
        return std::nullopt;
    };
    std::vector<Colour> colours(8, 0xFF123456);
    EXPECT_FALSE(trns(colours));
    colours[0] = 0x00123456;
    EXPECT_EQ(trns(colours), (Bytes{0x00}));
    colours[0] = 0xFF123456;
    colours[2] = 0x00000000;
    colours[5] = 0x00FFFFFF;
    EXPECT_EQ(trns(colours), (Bytes{0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00}));

    std::vector<std::string> types;
    for (const Chunk& c : chunks(encode(pixels, 1, 1, 1, colours)))
        types.push_back(c.type);
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));

    const auto set = decodePng(encode(pixels, 1, 1, 1, colours));
    EXPECT_EQ(set->palette->colours, colours); // alpha comes back from tRNS
}

TEST(PngWriter, FailsCleanlyOnLibpngErrorsAndBadArguments)
{
    TempDir dir;
    std::vector<std::uint8_t> row(2'000'001, 1);
    // Wider than libpng accepts: its error becomes a false result, no abort.
    EXPECT_FALSE(
        encodePng({row.data(), 2'000'001, 1, 0}, std::vector<Colour>{0xFF000000, 0xFFFFFFFF}));
    EXPECT_FALSE(writePng(dir / "wide.png", row.data(), 2'000'001, 1, 0, nullptr, 0));
    EXPECT_FALSE(writePng(dir / "none.png", nullptr, 1, 1, 1, nullptr, 0));
    EXPECT_FALSE(writePng(dir / "zero.png", row.data(), 0, 1, 1, nullptr, 0));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(PngReader, RefusesOtherColourTypesSignaturesAndSizes)
{
    EXPECT_EQ(errorCode([] { decodePng(makePng(3, 2, 3, 1)); }), -1);
    EXPECT_EQ(errorCode([] { decodePng(makePng(3, 2, 2, 3)); }),
              CErrCodeException::NoSupport); // RGB
    EXPECT_EQ(errorCode([] { decodePng(makePng(3, 2, 0, 1)); }),
              CErrCodeException::NoSupport); // grey
    EXPECT_EQ(errorCode([] { decodePng(makePng(3, 2, 6, 4)); }),
              CErrCodeException::NoSupport); // RGBA
    const std::string text = "this is not a picture, just text\n";
    EXPECT_EQ(errorCode([&] { decodePng(Bytes(text.begin(), text.end())); }),
              CErrCodeException::NoSupport);
    EXPECT_EQ(errorCode([] { decodePng(Bytes{0x89, 'P', 'N'}); }), CErrCodeException::NoSupport);
    EXPECT_EQ(errorCode([] { decodePng(makePng(65536, 1, 3, 1)); }), CErrCodeException::NoSupport);
    EXPECT_EQ(errorCode([] { decodePng(makePng(1, 65536, 3, 1)); }), CErrCodeException::NoSupport);
    EXPECT_EQ(errorCode([] { decodePng(makePng(20000, 20000, 3, 1)); }),
              CErrCodeException::NoSupport);
    EXPECT_EQ(errorCode([] { decodePng(makePng(0, 1, 3, 1)); }), CErrCodeException::NoSupport);
}

TEST(PngReader, IndicesBeyondThePaletteAreKeptAsTheyAre)
{
    const auto set = decodePng(makePng(3, 2, 3, 1, 200)); // two colours, index 200
    EXPECT_EQ(set->palette->count(), 2u);
    EXPECT_EQ(set->palette->at(1), 0xFF28323Cu);
    EXPECT_EQ(set->image->row(1)[2], 200);
}

TEST(PngReader, CorruptDataIsAnErrorNotACrash)
{
    const Bytes good = makePng(5, 4, 3, 1);
    ASSERT_EQ(errorCode([&] { decodePng(good); }), -1);
    // A flipped byte inside each chunk breaks its CRC; IHDR, PLTE, IDAT and
    // IEND are critical, so every one of them must fail.
    std::size_t at = 8;
    for (const Chunk& c : chunks(good)) {
        Bytes bad = good;
        bad[at + 4 + (c.data.empty() ? 0 : 4)] ^= 0x01;
        EXPECT_NE(errorCode([&] { decodePng(bad); }), -1) << "chunk " << c.type;
        at += 12 + c.data.size();
    }
    Bytes noEnd = good;
    noEnd.resize(noEnd.size() - 12); // IEND missing
    EXPECT_NE(errorCode([&] { decodePng(noEnd); }), -1);
}

#ifndef _WIN32 // resource limits in a forked child
TEST(PngReader, DeclaredChunkLengthsCostNoMemory)
{
    if (kSanitized)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    // 123 bytes: a 4 x 4 palette header, then a text chunk that declares
    // 2^31 - 1 bytes and holds 22.
    Bytes lying = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    appendChunk(lying, "IHDR", {0, 0, 0, 4, 0, 0, 0, 4, 8, 3, 0, 0, 0});
    appendChunk(lying, "PLTE", Bytes(48, 0));
    const Bytes head = {0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't'};
    lying.insert(lying.end(), head.begin(), head.end());
    lying.resize(123, 'x');
    // A sound file carrying 64 MiB of text: nothing of it is needed.
    const Bytes plain = makePng(5, 4, 3, 1);
    Bytes text(std::size_t{64} << 20, 'x');
    text[0] = 'C';
    text[1] = 0;
    Bytes chatty(plain.begin(), plain.begin() + 33); // signature and IHDR
    appendChunk(chatty, "tEXt", text);
    chatty.insert(chatty.end(), plain.begin() + 33, plain.end());
    text = {};

    const int status = inChildProcess([&] {
        const rlimit limit{procStatusBytes("VmSize") + (std::uint64_t{256} << 20), RLIM_INFINITY};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return 10;
        const std::uint64_t before = procStatusBytes("VmHWM");
        if (errorCode([&] { decodePng(lying); }) != CErrCodeException::ReadError)
            return 1;
        if (errorCode([&] { decodePng(chatty); }) != -1)
            return 2;
        return procStatusBytes("VmHWM") - before < (std::uint64_t{8} << 20) ? 0 : 3;
    });
    EXPECT_EQ(status, 0) << "1: the lying chunk was not refused, 2: the text chunk broke the file, "
                            "3: the chunks cost memory";
}

#endif
} // namespace
} // namespace gridmint::test
