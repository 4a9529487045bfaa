// The PNG writer's compression: one valid zlib stream whatever the bands,
// threads and compressor, and the same file contents at every setting.
#include "TestSupport.h"
#include "image/BandDeflate.h"

#include <zlib.h>

namespace gridmint::test {
namespace {

// Rows of runs with a few changes from row to row, like enlarged pixel art.
std::vector<Bytes> artRows(std::int32_t count, std::size_t width)
{
    std::vector<Bytes> rows;
    std::uint32_t seed = 7;
    for (std::int32_t y = 0; y < count; ++y) {
        Bytes row(width);
        for (std::size_t x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = static_cast<std::uint8_t>((x / 5 + static_cast<std::size_t>(y) / 3) % 6 +
                                               ((seed >> 16) % 29 == 0 ? 9 : 0));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

Bytes inflateAll(const Bytes& stream, std::size_t expected)
{
    Bytes out(expected + 1);
    uLongf size = static_cast<uLongf>(out.size());
    if (uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

TEST(BandDeflate, OneValidStreamWhateverTheBandsThreadsAndCompressor)
{
    DeflateSettings zlib9;
    DeflateSettings zlib1;
    zlib1.level = 1;
    DeflateSettings libdeflate;
    libdeflate.libdeflateLevel = 12;
    for (const std::size_t width : {std::size_t{1}, std::size_t{37}, std::size_t{1200}}) {
        const std::vector<Bytes> rows = artRows(120, width);
        Bytes all;
        for (const Bytes& r : rows)
            all.insert(all.end(), r.begin(), r.end());
        const RowEncoder encode = [&](std::int32_t y, Bytes& out) {
            out.insert(out.end(), rows[static_cast<std::size_t>(y)].begin(),
                       rows[static_cast<std::size_t>(y)].end());
        };
        for (DeflateSettings settings : {zlib9, zlib1, libdeflate}) {
            for (const unsigned threads : {1u, 3u}) {
                // Bands of one row, of a few rows and of the whole image.
                for (const std::size_t band : {std::size_t{1}, std::size_t{400}, all.size()}) {
                    settings.threads = threads;
                    settings.bandBytes = band;
                    Bytes stream;
                    std::int32_t reported = 0;
                    const bool ok = deflateRows(
                        120, width, encode, settings,
                        [&](std::span<const std::uint8_t> piece) {
                            stream.insert(stream.end(), piece.begin(), piece.end());
                            return true;
                        },
                        [&](std::int32_t done) {
                            EXPECT_GT(done, reported);
                            reported = done;
                        });
                    const std::string label = "width " + std::to_string(width) + " level " +
                                              std::to_string(settings.level) + "/" +
                                              std::to_string(settings.libdeflateLevel) +
                                              " threads " + std::to_string(threads) + " band " +
                                              std::to_string(band);
                    ASSERT_TRUE(ok) << label;
                    EXPECT_EQ(reported, 120) << label;
                    EXPECT_TRUE(inflateAll(stream, all.size()) == all) << label;
                }
            }
        }
    }
}

// Flat rows repeat across every band edge, where libdeflate starts with an
// empty window and primed zlib does not: the deepest setting must still be
// the smallest, band for band.
TEST(BandDeflate, LibdeflateBandsNeverLargerThanZlibBands)
{
    const std::size_t width = 3000;
    const std::vector<Bytes> rows = artRows(64, width);
    const RowEncoder encode = [&](std::int32_t y, Bytes& out) {
        const Bytes& r = rows[static_cast<std::size_t>(y / 8 * 8)];
        out.insert(out.end(), r.begin(), r.end());
    };
    const auto streamSize = [&](DeflateSettings settings) {
        settings.threads = 2;
        settings.bandBytes = 2 * width;
        Bytes stream;
        EXPECT_TRUE(deflateRows(64, width, encode, settings,
                                [&](std::span<const std::uint8_t> p) {
                                    stream.insert(stream.end(), p.begin(), p.end());
                                    return true;
                                },
                                {}));
        EXPECT_EQ(inflateAll(stream, 64 * width).size(), 64 * width);
        return stream.size();
    };
    DeflateSettings libdeflate;
    libdeflate.libdeflateLevel = 12;
    EXPECT_LE(streamSize(libdeflate), streamSize(DeflateSettings{}));
}

TEST(BandDeflate, ARefusedPieceStopsEveryWorker)
{
    const std::vector<Bytes> rows = artRows(400, 500);
    DeflateSettings settings;
    settings.threads = 4;
    settings.bandBytes = 1000;
    for (const int accepted : {0, 1, 5}) {
        int pieces = 0;
        const bool ok = deflateRows(
            400, 500,
            [&](std::int32_t y, Bytes& out) {
                out.insert(out.end(), rows[static_cast<std::size_t>(y)].begin(),
                           rows[static_cast<std::size_t>(y)].end());
            },
            settings, [&](std::span<const std::uint8_t>) { return pieces++ < accepted; }, {});
        EXPECT_FALSE(ok) << accepted;
        EXPECT_EQ(pieces, accepted + 1);
    }
}

// Everything before the first IDAT chunk: signature, IHDR, PLTE, tRNS.
Bytes header(const Bytes& png)
{
    const char idat[] = {'I', 'D', 'A', 'T'};
    const auto at = std::search(png.begin(), png.end(), std::begin(idat), std::end(idat));
    return Bytes(png.begin(), at - 4); // less the chunk's length field
}

TEST(PngWriter, EveryCompressionWritesTheSameImageAndHeader)
{
    TempDir dir;
    for (const auto& entry : std::filesystem::directory_iterator(GRIDMINT_FIXTURE_DIR)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("png_", 0) != 0 || entry.path().extension() != ".png")
            continue;
        const auto source = readPng(entry.path());
        ASSERT_TRUE(source) << name;
        const IndexedImage& image = *source->image;
        const PixelBlock block{image.store(), image.width(), image.height(), image.width()};
        const Bytes reference = *encodePng(block, source->palette->colours);
        for (const Compression c : {Compression::Fast, Compression::Best, Compression::Smallest}) {
            const auto file = dir / "out.png";
            WriteOptions options;
            options.compression = c;
            ASSERT_TRUE(
                writeImage(file, ImageFormat::Png, block, source->palette->colours, options))
                << name;
            const Bytes written = readBytes(file);
            EXPECT_EQ(header(written), header(reference)) << name;
            const auto back = readPng(file);
            EXPECT_EQ(picture(*back->image), picture(image)) << name;
            EXPECT_EQ(back->palette->colours, source->palette->colours) << name;
        }
    }
}

} // namespace
} // namespace gridmint::test
