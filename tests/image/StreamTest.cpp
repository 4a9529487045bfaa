#include "image/Stream.h"

#include "TestSupport.h"

#include <cstring>

namespace gridmint::test {
namespace {

using tarn::CErrCodeException;

TEST(Stream, ClosedStreamReportsNothingAndLeavesBufferAlone)
{
    TempDir dir;
    writeBytes(dir / "f", {1, 2, 3});
    auto stream = tarn::openStreamForRead(dir / "f");
    ASSERT_TRUE(stream);
    stream->close();
    std::uint8_t buffer[3] = {9, 9, 9};
    EXPECT_EQ(stream->read(buffer, 3), 0);
    EXPECT_EQ(buffer[0], 9);
    EXPECT_EQ(stream->write(buffer, 3), 0);
    EXPECT_FALSE(stream->seek(0, 1));
    EXPECT_EQ(stream->tell(), 0u);
    EXPECT_EQ(stream->size(), 0u);
}

TEST(Stream, SeekOriginsAndShortReads)
{
    TempDir dir;
    writeBytes(dir / "f", {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    auto s = tarn::openStreamForRead(dir / "f");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->size(), 10u);
    EXPECT_TRUE(s->seek(2, 1));
    EXPECT_EQ(s->tell(), 2u);
    EXPECT_TRUE(s->seek(3, 0)); // origin 0 is relative, not from the start
    EXPECT_EQ(s->tell(), 5u);
    EXPECT_TRUE(s->seek(-2, 2));
    EXPECT_EQ(s->tell(), 8u);
    EXPECT_TRUE(s->seek(-1, 7)); // any other origin is relative too
    EXPECT_EQ(s->tell(), 7u);
    char buffer[8] = {};
    EXPECT_EQ(s->read(buffer, 8), 3); // only what remains
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(s->read(buffer, 8), 0);
}

TEST(Stream, WriteStreamTruncatesAndJapaneseNamesWork)
{
    TempDir dir;
    const std::filesystem::path name = dir.path() / std::filesystem::path(u8"ドット絵_テスト.bin");
    writeBytes(name, Bytes(100, 7));
    {
        auto s = tarn::openStreamForWrite(name);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->write("abc", 3), 3);
    }
    EXPECT_EQ(readBytes(name), (Bytes{'a', 'b', 'c'}));
    auto r = tarn::openStreamForRead(name);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->size(), 3u);

    // The codecs reach such names too.
    const std::uint8_t pixels[4] = {0, 1, 1, 0};
    const Colour colours[2] = {0xFF000000, 0xFFFFFFFF};
    const std::filesystem::path png = dir.path() / std::filesystem::path(u8"絵.png");
    ASSERT_TRUE(writePng(png, pixels, 2, 2, 2, colours, 2));
    EXPECT_EQ(readPng(png)->image->row(1)[0], 1);
}

TEST(Stream, OpeningFailsForMissingFilesAndFolders)
{
    TempDir dir;
    EXPECT_FALSE(tarn::openStreamForRead(dir / "missing"));
    EXPECT_FALSE(tarn::openStreamForRead(dir.path()));
    EXPECT_FALSE(tarn::openStreamForWrite(dir / "no" / "such" / "folder"));
    for (const auto& p : {dir / "missing.bmp", dir.path()}) {
        EXPECT_EQ(errorCode([&] { readBmp(p); }), CErrCodeException::CannotOpen);
        EXPECT_EQ(errorCode([&] { readPng(p); }), CErrCodeException::CannotOpen);
        EXPECT_EQ(errorCode([&] { readPcx(p); }), CErrCodeException::CannotOpen);
        EXPECT_EQ(errorCode([&] { readActPalette(p, false); }), CErrCodeException::CannotOpen);
        EXPECT_EQ(errorCode([&] { readPalPalette(p, false); }), CErrCodeException::CannotOpen);
    }
}

TEST(ErrCodeException, MessagesIncludingUnknownCodes)
{
    const char* expected[] = {"Success.",
                              "No support.",
                              "Cannot open files.",
                              "File read error.",
                              "File seek error.",
                              "No support BMP format.",
                              "No support compression BMP format."};
    for (int code = 0; code <= 6; ++code)
        EXPECT_STREQ(CErrCodeException(code).message(), expected[code]);
    EXPECT_STREQ(CErrCodeException(7).message(), "Unknow error.");
    EXPECT_STREQ(CErrCodeException(-1).message(), "Unknow error.");
    const CErrCodeException original(3);
    const CErrCodeException copy = original;
    EXPECT_EQ(copy.code(), 3);
}

} // namespace
} // namespace gridmint::test
