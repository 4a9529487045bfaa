// What only Windows can show about gridmint-cli: file names outside the ANSI
// code page, paths beyond the old 260-character limit, and the other names
// that one file has there (another letter case, ".\").
#include "CliRun.h"
#include "DocTestUtil.h"
#include "image/Codecs.h"

#include <gtest/gtest.h>

namespace gridmint::testing {
namespace {

namespace fs = std::filesystem;

const Rows kSprite = {"0000", "0110", "0120", "0000"};

class WindowsCli : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(WindowsCli, JapaneseNamesAreReadWrittenAndPrinted)
{
    const fs::path folder = dir.path() / fs::path(u8"作品");
    fs::create_directory(folder);
    writeImage(folder / fs::path(u8"騎士.png"), kSprite);

    CliResult r = cli("scale 作品/騎士.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "作品/騎士.png -> 作品/OUTPUT/騎士.png\n");
    const auto scaled = readPng(folder / "OUTPUT" / fs::path(u8"騎士.png"));
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(scaled->image->width(), 8);

    r = cli("convert 作品/騎士.png 作品/変換.pcx", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readPcx(folder / fs::path(u8"変換.pcx")), nullptr);

    r = cli("info 作品/無い.png", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("作品/無い.png"), std::string::npos) << r.err;
}

TEST_F(WindowsCli, PathsLongerThan260Characters)
{
    // Three folders of 100 characters: every file below is past the limit.
    const std::string relative =
        std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
    const fs::path deep = dir.path() / relative;
    fs::create_directories(deep);
    writeImage(deep / "in.png", kSprite);
    ASSERT_GT(fs::absolute(deep / "in.png").native().size(), 300u);

    CliResult r = cli("scale " + relative + "/in.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readPng(deep / "OUTPUT" / "in.png"), nullptr);

    r = cli("scale --scale 3 -o " + relative + "/out.bmp " + relative + "/in.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bmp = readBmp(deep / "out.bmp");
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->image->width(), 12);

    r = cli("scale --out-dir " + relative + "/made " + relative + "/in.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(deep / "made" / "in.png"));
}

TEST_F(WindowsCli, TheInputUnderAnotherNameIsNeverOverwritten)
{
    writeImage(dir / "a.png", kSprite);
    fs::create_directory(dir / "sub");
    const std::string original = slurp(dir / "a.png");
    for (const char* args :
         {"scale -o .\\a.png a.png", "scale -o A.PNG a.png", "scale -o sub\\..\\a.png a.png",
          "convert a.png .\\A.png", "convert A.png a.png"}) {
        const CliResult r = cli(args, dir.path());
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("overwrite"), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_EQ(slurp(dir / "a.png"), original);
}

} // namespace
} // namespace gridmint::testing
