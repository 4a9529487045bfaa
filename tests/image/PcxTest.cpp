#include "TestSupport.h"

namespace gridmint::test {
namespace {

using tarn::CErrCodeException;

struct PcxFields {
    std::uint8_t manufacturer = 0x0A;
    std::uint8_t encoding = 1;
    std::uint8_t bits = 8;
    std::uint16_t xmin = 0, ymin = 0, xmax = 3, ymax = 1;
    std::uint8_t planes = 1;
    std::uint16_t bytesPerLine = 4;
    Bytes data;
    Bytes trailer; // appended as is (include the 0x0C mark)
};

Bytes makePcx(const PcxFields& s)
{
    Bytes b(128, 0);
    b[0] = s.manufacturer;
    b[1] = 5;
    b[2] = s.encoding;
    b[3] = s.bits;
    put16(b, 4, s.xmin);
    put16(b, 6, s.ymin);
    put16(b, 8, s.xmax);
    put16(b, 10, s.ymax);
    b[65] = s.planes;
    put16(b, 66, s.bytesPerLine);
    b.insert(b.end(), s.data.begin(), s.data.end());
    b.insert(b.end(), s.trailer.begin(), s.trailer.end());
    return b;
}

Bytes trailerOf(int colours)
{
    Bytes t(1 + 3 * static_cast<std::size_t>(colours));
    t[0] = 0x0C;
    for (std::size_t i = 0; i < static_cast<std::size_t>(colours); ++i) {
        t[1 + 3 * i] = static_cast<std::uint8_t>(i);
        t[2 + 3 * i] = static_cast<std::uint8_t>(i + 1);
        t[3 + 3 * i] = static_cast<std::uint8_t>(i + 2);
    }
    return t;
}

// The pixel data of an encoded file: everything after the header and
// before the trailer.
Bytes body(const Bytes& file)
{
    return Bytes(file.begin() + 128, file.end() - 769);
}

TEST(PcxWriter, RunLengthWorkedCases)
{
    std::vector<std::uint8_t> equal(100, 0x21);
    auto file = encodePcx({equal.data(), 100, 1, 100}, {});
    ASSERT_TRUE(file);
    EXPECT_EQ(body(*file), (Bytes{0xFF, 0x21, 0xE5, 0x21}));

    std::uint8_t single[2] = {0xC5, 0x41};
    // Width 1 pads each line to 2 bytes: 0xC5 then 0 -> C1 C5 00; 0x41 0 -> 41 00.
    EXPECT_EQ(body(*encodePcx({single, 1, 2, 1}, {})), (Bytes{0xC1, 0xC5, 0x00, 0x41, 0x00}));

    // A run of exactly 63 restarts cleanly; 64 equal bytes give 63 + 1.
    std::vector<std::uint8_t> run(64, 0xD0);
    EXPECT_EQ(body(*encodePcx({run.data(), 64, 1, 64}, {})), (Bytes{0xFF, 0xD0, 0xC1, 0xD0}));
    // Runs never cross rows.
    std::uint8_t rows[2][2] = {{5, 5}, {5, 5}};
    EXPECT_EQ(body(*encodePcx({&rows[0][0], 2, 2, 2}, {})), (Bytes{0xC2, 5, 0xC2, 5}));
}

TEST(PcxWriter, HeaderOddWidthAndPaddedTrailer)
{
    std::uint8_t pixels[2][8] = {{1, 2, 3, 4, 5, 9, 9, 9}, {6, 7, 8, 9, 10, 9, 9, 9}};
    std::vector<Colour> colours(16);
    for (std::size_t i = 0; i < 16; ++i)
        colours[i] =
            0x80000000u | static_cast<Colour>(i) << 16 | static_cast<Colour>(i + 100) << 8 | 0x33;
    const auto file = encodePcx({&pixels[0][0], 5, 2, 8}, colours);
    ASSERT_TRUE(file);
    const Bytes& b = *file;
    EXPECT_EQ((Bytes(b.begin(), b.begin() + 4)), (Bytes{0x0A, 5, 1, 8}));
    EXPECT_EQ(b[8] | b[9] << 8, 4);   // xmax
    EXPECT_EQ(b[10] | b[11] << 8, 1); // ymax
    EXPECT_EQ(b[12], 72);
    EXPECT_EQ(b[18], 0xFF);
    EXPECT_EQ(b[65], 1);
    EXPECT_EQ(b[66] | b[67] << 8, 6); // odd width 5 -> 6 bytes per line
    EXPECT_EQ(b[68], 1);
    EXPECT_EQ(body(b), (Bytes{1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10, 0}));
    // 0x0C, 16 colours, then black up to 256 so the trailer is 769 bytes.
    const std::size_t mark = b.size() - 769;
    EXPECT_EQ(b[mark], 0x0C);
    EXPECT_EQ((Bytes(b.begin() + static_cast<std::ptrdiff_t>(mark) + 1,
                     b.begin() + static_cast<std::ptrdiff_t>(mark) + 7)),
              (Bytes{0, 100, 0x33, 1, 101, 0x33}));
    EXPECT_TRUE(std::all_of(b.begin() + static_cast<std::ptrdiff_t>(mark) + 49, b.end(),
                            [](std::uint8_t v) { return v == 0; }));

    const auto set = decodePcx(b);
    EXPECT_EQ(picture(*set->image), picture(&pixels[0][0], 5, 2, 8));
    EXPECT_EQ(set->palette->count(), 256u);
    EXPECT_EQ(set->palette->at(1), 0xFF016533u); // alpha is not stored
}

TEST(PcxWriter, SizeLimits)
{
    std::vector<std::uint8_t> row(32767, 3);
    EXPECT_TRUE(encodePcx({row.data(), 32766, 1, 0}, {}));
    EXPECT_FALSE(encodePcx({row.data(), 32767, 1, 0}, {}));
    // Taller than 65535 would be a file Gridmint itself refuses to open.
    EXPECT_TRUE(encodePcx({row.data(), 1, 65535, 0}, {}));
    EXPECT_FALSE(encodePcx({row.data(), 1, 65536, 0}, {}));
    EXPECT_FALSE(encodePcx({row.data(), 1, 65537, 0}, {}));
    EXPECT_FALSE(encodePcx({row.data(), 0, 1, 0}, {}));
}

TEST(PcxReader, TrailerAfterExactlyDecodedData)
{
    PcxFields s;
    s.data = {0xC3, 7, 1, 0xC4, 2}; // 3 + 1 + 4 = 8 bytes = 4 x 2
    s.trailer = trailerOf(256);
    auto set = decodePcx(makePcx(s));
    ASSERT_TRUE(set);
    const std::uint8_t want[8] = {7, 7, 7, 1, 2, 2, 2, 2};
    EXPECT_EQ(picture(*set->image), picture(want, 4, 2, 4));
    EXPECT_EQ(set->palette->count(), 256u);
    EXPECT_EQ(set->palette->at(10), 0xFF0A0B0Cu);

    // Trailer with a partial last colour: only complete triplets count.
    s.trailer = trailerOf(5);
    s.trailer.push_back(0x77);
    EXPECT_EQ(decodePcx(makePcx(s))->palette->count(), 5u);
    // A mark without one complete colour is no trailer: grey ramp.
    s.trailer = {0x0C, 1, 2};
    set = decodePcx(makePcx(s));
    EXPECT_EQ(set->palette->count(), 256u);
    EXPECT_EQ(set->palette->at(128), 0xFF808080u);
}

TEST(PcxReader, RunsCrossScanlinesAndAreCutAtTheEnd)
{
    PcxFields s;
    s.xmax = 2; // width 3 in 4-byte lines
    s.data = {0xC6, 9, 0xFF, 4, 0x0C, 1, 2, 3};
    // Run of 6 covers line 0 (3 pixels + pad) and the first two of line 1;
    // the run of 63 is cut at the end; the mark follows its value byte.
    const auto set = decodePcx(makePcx(s));
    const std::uint8_t want[6] = {9, 9, 9, 9, 9, 4};
    EXPECT_EQ(picture(*set->image), picture(want, 3, 2, 3));
    EXPECT_EQ(set->palette->count(), 1u);
    EXPECT_EQ(set->palette->at(0), 0xFF010203u);
}

TEST(PcxReader, ShortDataLeaveZerosAndRunByteAtEndStops)
{
    PcxFields s;
    s.data = {5, 0xC2, 6, 0xC3};
    const auto set = decodePcx(makePcx(s));
    const std::uint8_t want[8] = {5, 6, 6, 0, 0, 0, 0, 0};
    EXPECT_EQ(picture(*set->image), picture(want, 4, 2, 4));
    EXPECT_EQ(set->palette->at(128), 0xFF808080u); // grey ramp, no trailer
}

TEST(PcxReader, DataEndingEarlyCountRowsNotCompletelyThere)
{
    PcxFields s;
    s.xmax = 3;
    s.ymax = 3;         // 4 x 4
    s.data = {0xC8, 7}; // two whole rows
    EXPECT_EQ(decodePcx(makePcx(s))->missingRows, 2);
    s.data = {0xC9, 7}; // and one pixel of the third
    EXPECT_EQ(decodePcx(makePcx(s))->missingRows, 2);
    s.data = {};
    EXPECT_EQ(decodePcx(makePcx(s))->missingRows, 4);
    s.data = {0xD0, 7};
    EXPECT_EQ(decodePcx(makePcx(s))->missingRows, 0);
    s.encoding = 0;
    s.data = Bytes(13, 7);
    EXPECT_EQ(decodePcx(makePcx(s))->missingRows, 1);
}

TEST(PcxReader, RawFilesWithPaddedLinesAndOffsetOrigin)
{
    PcxFields s;
    s.encoding = 0;
    s.xmin = 10;
    s.xmax = 12; // width 3
    s.ymin = 100;
    s.ymax = 101;
    s.bytesPerLine = 5;
    s.data = {0xC1, 0xC2, 0xC3, 0xEE, 0xEE, 4, 5, 6, 0xEE, 0xEE};
    s.trailer = trailerOf(2);
    const auto set = decodePcx(makePcx(s));
    ASSERT_TRUE(set);
    const std::uint8_t want[6] = {0xC1, 0xC2, 0xC3, 4, 5, 6}; // no run bytes in raw data
    EXPECT_EQ(picture(*set->image), picture(want, 3, 2, 3));
    ASSERT_EQ(set->palette->count(), 2u);
    EXPECT_EQ(set->palette->at(0), 0xFF000102u);
}

TEST(PcxReader, RefusesOtherVariantsAndDamagedHeaders)
{
    PcxFields ok;
    ok.data = Bytes(8, 1);
    ASSERT_TRUE(decodePcx(makePcx(ok)));

    PcxFields s = ok;
    s.manufacturer = 0x0B;
    EXPECT_EQ(decodePcx(makePcx(s)), nullptr);
    s = ok;
    s.bits = 4;
    EXPECT_EQ(decodePcx(makePcx(s)), nullptr);

    const auto code = [](const PcxFields& fields) {
        return errorCode([&] { decodePcx(makePcx(fields)); });
    };
    s = ok;
    s.planes = 3;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s.trailer = trailerOf(256); // even with a trailer: rows would not fit
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.bytesPerLine = 3;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.xmin = 5;
    s.xmax = 4;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.ymin = 1;
    s.ymax = 0;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.xmax = 65535; // 65536 wide
    s.bytesPerLine = 65535;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);
    s = ok;
    s.xmax = 40000;
    s.ymax = 40000;
    s.bytesPerLine = 40002;
    EXPECT_EQ(code(s), CErrCodeException::NoSupport);

    Bytes header = makePcx(ok);
    header.resize(127);
    EXPECT_EQ(errorCode([&] { decodePcx(header); }), CErrCodeException::ReadError);
}

TEST(PcxReader, HugeLineLengthWithTinyFileIsCheap)
{
    // 1 x 65535 picture in 65535-byte lines: the decoded length is near
    // 2^32, but only the bytes present are ever touched.
    PcxFields s;
    s.xmax = 0;
    s.ymax = 65534;
    s.bytesPerLine = 65535;
    s.data = {0xFF, 3, 0xFF, 4};
    const auto set = decodePcx(makePcx(s));
    ASSERT_TRUE(set);
    EXPECT_EQ(set->image->row(0)[0], 3);
    EXPECT_EQ(set->image->row(1)[0], 0);
}

} // namespace
} // namespace gridmint::test
