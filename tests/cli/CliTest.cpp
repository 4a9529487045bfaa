// gridmint-cli end to end: the real binary on files in a scratch folder.
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"
#include "app/StatusText.h"
#include "image/Codecs.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

namespace gridmint::testing {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs gridmint-cli with `args` (already quoted as the shell needs) in `cwd`.
Result cli(const std::string& args, const fs::path& cwd)
{
    const fs::path out = cwd / ".stdout";
    const fs::path err = cwd / ".stderr";
    const std::string command = "cd '" + cwd.string() + "' && '" GRIDMINT_CLI "' " + args + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int rc = std::system(command.c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

// Pixel-art-like content: outlines and diagonals, where the passes act.
const Rows kSprite = {"00000000", "00111100", "01222210", "01233210",
                      "01233210", "01222210", "00111100", "00000000"};

class Cli : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(Cli, HelpAndUsageErrors)
{
    Result r = cli("--help", dir.path());
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"scale", "convert", "info", "stats", "Exit status"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = cli("scale --help", dir.path());
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"--out-dir", "--scale", "--threshold", "--transparent", "--nearest",
                             "--palette", "--reverse-palette", "--jobs", "OUTPUT"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    writeImage(dir / "a.png", kSprite);
    writeImage(dir / "b.png", kSprite);
    fs::create_directories(dir / "sub");
    writeImage(dir / "sub" / "a.png", kSprite);
    for (const char* args :
         {"", "scale", "scale --scale 0 a.png", "scale --scale 33 a.png",
          "scale --threshold 101 a.png", "scale --transparent 256 a.png",
          "scale --transparent some a.png", "scale -o x.png a.png b.png", "scale -o x.gif a.png",
          "scale -o x.png --out-dir out a.png", "scale --out-dir out a.png sub/a.png",
          "scale a.png a.png", "scale --palette p.txt a.png",
          "scale --reverse-palette --no-reverse-palette a.png", "convert a.png",
          "convert a.png x.jpg", "stats a.png 1", "frobnicate"}) {
        r = cli(args, dir.path());
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    EXPECT_FALSE(fs::exists(dir / "OUTPUT")); // nothing written by a usage error
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST_F(Cli, OutputFolderBesideEachInputAndSameBytesAsTheDocument)
{
    fs::create_directories(dir / "art");
    writeImage(dir / "art" / "a.png", kSprite);
    const Result r = cli("scale art/a.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "art/a.png -> art/OUTPUT/a.png\n");
    EXPECT_TRUE(r.err.empty());

    // The desktop program's defaults: factor 2, threshold 20, transparent 0.
    ScaleDocument doc;
    ASSERT_TRUE(doc.Load(dir / "art" / "a.png"));
    ASSERT_NE(doc.Apply(2, 20, false, 0), nullptr);
    ASSERT_TRUE(doc.Save(dir / "reference.png"));
    EXPECT_EQ(slurp(dir / "art" / "OUTPUT" / "a.png"), slurp(dir / "reference.png"));
}

TEST_F(Cli, FailuresNameTheFileAndTheBatchGoesOn)
{
    writeImage(dir / "good.png", kSprite);
    writeImage(dir / "other.gif", kSprite);
    std::ofstream(dir / "broken.png") << "garbage";
    Result r = cli("scale missing.png other.gif broken.png good.png", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "good.png -> OUTPUT/good.png\n");
    EXPECT_NE(r.err.find("gridmint-cli: missing.png: Cannot open files."), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("gridmint-cli: other.gif: not an image Gridmint can read"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("gridmint-cli: broken.png: "), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir / "OUTPUT" / "good.png"));

    // A result that cannot be written: "OUTPUT" is a plain file here.
    ScratchDir other;
    writeImage(other / "c.png", kSprite);
    std::ofstream(other / "OUTPUT") << "in the way";
    r = cli("scale c.png", other.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("c.png: cannot write OUTPUT/c.png"), std::string::npos) << r.err;

    // Refused before the engine runs: 2048 x 2048 at factor 32 makes a file
    // Gridmint could not open again.
    const std::vector<std::uint8_t> zeros(2048 * 2048, 0);
    const auto pal = testPalette(2);
    ASSERT_TRUE(writePng(dir / "big.png", zeros.data(), 2048, 2048, 2048, pal.data(), 2));
    r = cli("scale --scale 32 -o big-out.png big.png", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("big.png: x32 gives 65536 x 65536: wider than Gridmint opens (65535)"),
              std::string::npos)
        << r.err;
}

TEST_F(Cli, NeverOverwritesAnInput)
{
    writeImage(dir / "a.png", kSprite);
    const std::string original = slurp(dir / "a.png");
    fs::create_symlink(dir / "a.png", dir / "link.png");

    for (const char* args :
         {"scale -o ./a.png a.png", "scale -o link.png a.png", "scale -o a.png link.png",
          "convert a.png ./a.png", "convert a.png link.png"}) {
        const Result r = cli(args, dir.path());
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("overwrite"), std::string::npos) << args << r.err;
    }
    // --out-dir naming the input's own folder: the result goes to OUTPUT.
    const Result r = cli("scale --out-dir . a.png", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.png -> OUTPUT/a.png\n");
    EXPECT_EQ(slurp(dir / "a.png"), original);
    EXPECT_TRUE(fs::is_symlink(dir / "link.png"));
}

TEST_F(Cli, ParallelBatchEqualsSequential)
{
    Rows rows = kSprite;
    std::string args;
    for (int i = 0; i < 8; ++i) {
        rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)] = '3';
        const std::string name = "img" + std::to_string(i) + ".png";
        writeImage(dir / name, rows);
        args += " " + name;
    }
    const Result seq = cli("scale --scale 4 --jobs 1 --out-dir seq" + args, dir.path());
    const Result par = cli("scale --scale 4 --jobs 4 --out-dir par" + args, dir.path());
    ASSERT_EQ(seq.status, 0) << seq.err;
    ASSERT_EQ(par.status, 0) << par.err;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "img" + std::to_string(i) + ".png";
        EXPECT_EQ(slurp(dir / "seq" / name), slurp(dir / "par" / name)) << name;
        EXPECT_NE(par.out.find(name + " -> par/" + name + "\n"), std::string::npos);
    }
    // Lines come in input order whichever worker finishes first.
    std::string expected;
    for (int i = 0; i < 8; ++i)
        expected += "img" + std::to_string(i) + ".png -> par/img" + std::to_string(i) + ".png\n";
    EXPECT_EQ(par.out, expected);
    EXPECT_TRUE(par.err.empty()); // no progress line when stderr is no terminal
}

TEST_F(Cli, NearestPaletteAndFormats)
{
    writeImage(dir / "a.png", kSprite);
    Result r = cli("scale --nearest --scale 3 -o plain.bmp a.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto plain = readBmp(dir / "plain.bmp");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->image->width(), 24);
    for (std::int32_t y = 0; y < 24; ++y) {
        for (std::int32_t x = 0; x < 24; ++x) {
            ASSERT_EQ(plain->image->row(y)[x],
                      kSprite[static_cast<std::size_t>(y / 3)][static_cast<std::size_t>(x / 3)] -
                          '0');
        }
    }

    // An ACT palette: 256 RGB triples, entry i = (i, 0, 255 - i).
    std::string act;
    for (int i = 0; i < 256; ++i)
        act += {static_cast<char>(i), '\0', static_cast<char>(255 - i)};
    std::ofstream(dir / "ramp.act", std::ios::binary) << act;
    r = cli("scale --palette ramp.act -o reversed.png a.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    r = cli("scale --palette ramp.act --no-reverse-palette -o kept.png a.png", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto reversed = readPng(dir / "reversed.png");
    const auto kept = readPng(dir / "kept.png");
    ASSERT_TRUE(reversed && kept);
    EXPECT_EQ(reversed->palette->at(0), 0xFFFF0000u); // ACT is reversed by default
    EXPECT_EQ(kept->palette->at(0), 0xFF0000FFu);
    EXPECT_EQ(kept->palette->at(3), 0xFF0300FCu);
    r = cli("scale --palette missing.act a.png", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.act"), std::string::npos);
}

TEST_F(Cli, ConvertKeepsIndicesAndPalette)
{
    std::vector<Colour> palette = testPalette(4);
    palette[1] = 0x40102030;
    writeImage(dir / "a.png", kSprite, palette);
    const Result r = cli("convert a.png a.pcx", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.png -> a.pcx\n");
    const auto in = readPng(dir / "a.png");
    const auto out = readPcx(dir / "a.pcx");
    ASSERT_TRUE(in && out);
    EXPECT_EQ(picture(*out->image), picture(*in->image));
    // PCX keeps no alpha; compare the colours only.
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(out->palette->at(i) & 0xFFFFFFu, in->palette->at(i) & 0xFFFFFFu) << i;

    ASSERT_EQ(cli("convert a.png again.png", dir.path()).status, 0);
    EXPECT_EQ(readPng(dir / "again.png")->palette->at(1), 0x40102030u);
}

TEST_F(Cli, InfoAsTextAndJson)
{
    writeImage(dir / "a.png", {"012", "210"}, testPalette(3));
    Result r = cli("info a.png", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a.png: 3 x 2, 3 colours\n  0xFFFFFFFF 0xFF000000 0xFFE04040\n");

    r = cli("info --json a.png nothere.png", dir.path());
    EXPECT_EQ(r.status, 1);
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_TRUE(json.is_array());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["file"], "a.png");
    EXPECT_EQ(json[0]["width"], 3);
    EXPECT_EQ(json[0]["height"], 2);
    EXPECT_EQ(json[0]["colours"], (nlohmann::json{"0xFFFFFFFF", "0xFF000000", "0xFFE04040"}));
    EXPECT_EQ(json[1]["file"], "nothere.png");
    EXPECT_EQ(json[1]["error"], "Cannot open files. (No such file or directory)");

    r = cli("info --json a.png", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(nlohmann::json::parse(r.out).size(), 1u);
}

TEST_F(Cli, StatsMatchTheStatusBar)
{
    writeImage(dir / "a.png", kSprite);
    Result r = cli("stats --threshold 30 --transparent none a.png 3 2", dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    ScaleDocument doc;
    ASSERT_TRUE(doc.Load(dir / "a.png"));
    ASSERT_NE(doc.Apply(2, 30, false, -1), nullptr);
    EXPECT_EQ(r.out, FormatStatusText(doc.job()->neighbourStats(3, 2)) + "\n");

    r = cli("stats a.png 8 0", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("outside the image"), std::string::npos);
}

} // namespace
} // namespace gridmint::testing
