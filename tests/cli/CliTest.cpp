// gridmint-cli end to end: the real binary on files in a scratch folder.
#include "../Sanitizers.h"
#include "CliRun.h"
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"
#include "app/StatusText.h"
#include "cli/Commands.h"
#include "image/Codecs.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace gridmint::testing {
namespace {

namespace fs = std::filesystem;

using Result = CliResult;

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
                             "--palette", "--reverse-palette", "--jobs", "--compression", "OUTPUT"})
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
          "convert a.png x.jpg", "stats a.png 1", "scale --compression tiny a.png", "frobnicate"}) {
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
    std::error_code noLinks; // Windows grants symbolic links to administrators only
    fs::create_symlink(dir / "a.png", dir / "link.png", noLinks);

    for (const std::string args :
         {"scale -o ./a.png a.png", "scale -o link.png a.png", "scale -o a.png link.png",
          "convert a.png ./a.png", "convert a.png link.png"}) {
        if (noLinks && args.find("link") != std::string::npos)
            continue;
        const Result r = cli(args, dir.path());
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("overwrite"), std::string::npos) << args << r.err;
    }
    // --out-dir naming the input's own folder: the result goes to OUTPUT.
    const Result r = cli("scale --out-dir . a.png", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.png -> OUTPUT/a.png\n");
    EXPECT_EQ(slurp(dir / "a.png"), original);
    EXPECT_TRUE(noLinks || fs::is_symlink(dir / "link.png"));
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

    // Compression changes the bytes, never the picture.
    ASSERT_EQ(cli("scale --scale 5 -o best.png a.png", dir.path()).status, 0);
    const auto best = readPng(dir / "best.png");
    ASSERT_TRUE(best);
    for (const char* setting : {"fast", "smallest", "BEST"}) {
        r = cli(std::string("scale --scale 5 --compression ") + setting + " -o c.png a.png",
                dir.path());
        ASSERT_EQ(r.status, 0) << setting << r.err;
        const auto other = readPng(dir / "c.png");
        ASSERT_TRUE(other);
        EXPECT_EQ(picture(*other->image), picture(*best->image)) << setting;
        EXPECT_EQ(other->palette->colours, best->palette->colours) << setting;
    }
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

    // Every compression gives the same picture; a BMP source converts too.
    ASSERT_EQ(cli("convert a.png a.bmp", dir.path()).status, 0);
    for (const char* setting : {"fast", "smallest"}) {
        const std::string name = std::string(setting) + ".png";
        const Result c =
            cli("convert --compression " + std::string(setting) + " a.bmp " + name, dir.path());
        ASSERT_EQ(c.status, 0) << c.err;
        const auto back = readPng(dir / name);
        ASSERT_TRUE(back);
        EXPECT_EQ(picture(*back->image), picture(*in->image)) << setting;
        EXPECT_EQ(back->palette->at(1) & 0xFFFFFFu, 0x102030u) << setting;
    }
    EXPECT_EQ(cli("convert --compression tiny a.png b.png", dir.path()).status, 2);
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

// What these show needs POSIX: resource limits, fork, pipes, links and
// names that are not UTF-8.
#ifndef _WIN32
bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(Cli, FileSizeLimitFailsOneFileAndTheBatchGoesOn)
{
    // 64 x 64 of noise at x8 is far over 4 KiB as PNG; the sprite is not.
    Rows noise(64, std::string(64, '0'));
    std::minstd_rand random(7);
    for (std::size_t i = 0; i < 64 * 64; ++i)
        noise[i / 64][i % 64] = "0123456789abcdef"[random() % 16];
    writeImage(dir / "big.png", noise);
    writeImage(dir / "small.png", kSprite);
    // dash counts ulimit -f in 512-byte blocks.
    const Result r =
        cli("scale --scale 8 --jobs 1 --out-dir out big.png small.png", dir.path(), "ulimit -f 8");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "big.png: cannot write out/big.png: File too large")) << r.err;
    EXPECT_EQ(r.out, "small.png -> out/small.png\n");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir / "out"))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"small.png"}); // no temporary file
}

TEST_F(Cli, TenThousandInputsPlanInLinearTime)
{
    std::vector<std::string> args = {"gridmint-cli", "scale", "--out-dir", "out"};
    for (int i = 0; i < 10000; ++i)
        args.push_back("in/f" + std::to_string(i) + ".png");
    args.emplace_back("a/same.png");
    args.emplace_back("b/same.png");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());

    // In a child with a CPU-time ceiling: comparing every pair takes many
    // minutes; hash tables take a fraction of a second.
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit cpu{20, 20};
        ::setrlimit(RLIMIT_CPU, &cpu);
        std::ostringstream sink;
        std::cerr.rdbuf(sink.rdbuf());
        const int status = cli::runCommandLine(static_cast<int>(argv.size()), argv.data());
        const bool named = contains(sink.str(), "a/same.png and b/same.png would both write");
        std::_Exit(status == cli::kExitUsage && named ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(Cli, OversizedOutputsAreRefusedBeforeEnlarging)
{
    if (kSanitized)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    const std::vector<std::uint8_t> zeros(65535 * 16, 0);
    const auto pal = testPalette(2);
    ASSERT_TRUE(writePng(dir / "wide.png", zeros.data(), 65535, 16, 65535, pal.data(), 2));
    // 130 bytes declaring 65535 x 4096.
    std::string pcx(128, '\0');
    pcx[0] = 0x0A;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = '\xFE'; // xmax 65534
    pcx[9] = '\xFF';
    pcx[10] = '\xFF';
    pcx[11] = 0x0F; // ymax 4095
    pcx[65] = 1;
    pcx[66] = pcx[67] = '\xFF';
    pcx += "\xC1\x05";
    std::ofstream(dir / "tall.pcx", std::ios::binary) << pcx;

    // Enlarging any of these needs a gigabyte; 600 MB of address space is
    // room only for reading them and refusing.
    const std::pair<const char*, const char*> cases[] = {
        {"scale --scale 32 -o w.png wide.png",
         "x32 gives 2097120 x 512: wider than PNG allows (1000000)"},
        {"scale --scale 32 -o w.bmp wide.png",
         "x32 gives 2097120 x 512: wider than Gridmint opens (65535)"},
        {"scale --scale 2 -o t.pcx tall.pcx", "x2 gives 131070 x 8192: wider than PCX allows"},
        {"convert wide.png w.pcx", "x1 gives 65535 x 16: wider than PCX allows (32766)"},
    };
    for (const auto& [args, message] : cases) {
        const Result r = cli(args, dir.path(), "ulimit -v 600000");
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(contains(r.err, message)) << args << "\n" << r.err;
    }
    for (const char* name : {"w.png", "w.bmp", "w.pcx", "t.pcx"})
        EXPECT_FALSE(fs::exists(dir / name)) << name;
}

TEST_F(Cli, ParallelFilesWaitForMemory)
{
    if (kSanitized)
        GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
    // Each file at x32 needs about 150 MB; three at once do not fit in
    // 400 MB of address space, one at a time do. The default budget is half
    // of what the process may use, so the files must wait for one another.
    Rows rows(384, std::string(384, '0'));
    for (std::size_t y = 0; y < 384; ++y)
        rows[y][y] = '1';
    std::vector<std::uint8_t> pixels;
    for (const std::string& row : rows)
        for (char c : row)
            pixels.push_back(static_cast<std::uint8_t>(c - '0'));
    const auto pal = testPalette(2);
    for (const char* name : {"a.pcx", "b.pcx", "c.pcx"})
        ASSERT_TRUE(writePcx(dir / name, pixels.data(), 384, 384, 384, pal.data(), 2));
    const Result r = cli("scale --nearest --scale 32 --jobs 3 --out-dir out a.pcx b.pcx c.pcx",
                         dir.path(), "ulimit -v 400000");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.pcx -> out/a.pcx\nb.pcx -> out/b.pcx\nc.pcx -> out/c.pcx\n");
}

TEST_F(Cli, ErrorsSayWhy)
{
    writeImage(dir / "a.png", kSprite);
    fs::create_directory(dir / "folder.png");
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir / "device.png");
    fs::create_symlink("loop2.png", dir / "loop1.png");
    fs::create_symlink("loop1.png", dir / "loop2.png");
    std::string huge = slurp(dir / "a.png");
    huge[16] = 0;
    huge[17] = 1; // width 70000 (0x11170)
    huge[18] = 0x11;
    huge[19] = 0x70;
    std::ofstream(dir / "huge.png", std::ios::binary) << huge;
    Result r =
        cli("info missing.png folder.png pipe.png device.png loop1.png huge.png", dir.path());
    EXPECT_EQ(r.status, 1);
    for (const char* message : {
             "missing.png: Cannot open files. (No such file or directory)",
             "folder.png: Cannot open files. (it is a folder)",
             "pipe.png: Cannot open files. (it is a pipe)",
             "device.png: Cannot open files. (it is a device)",
             "loop1.png: Cannot open files. (Too many levels of symbolic links)",
             "huge.png: No support. (70000 x 8 is wider than Gridmint opens (65535))",
         })
        EXPECT_TRUE(contains(r.err, message)) << message << "\n" << r.err;

    r = cli("scale -o folder.png a.png", dir.path());
    EXPECT_TRUE(contains(r.err, "cannot write folder.png: Is a directory")) << r.err;
    r = cli("scale -o nowhere/x.png a.png", dir.path());
    EXPECT_TRUE(contains(r.err, "cannot write nowhere/x.png: No such file or directory")) << r.err;
    r = cli("scale -o loop1.png a.png", dir.path());
    EXPECT_TRUE(contains(r.err, "cannot write loop1.png: Too many levels of symbolic links"))
        << r.err;
    // Nothing to write, so no folder either.
    r = cli("scale --out-dir made/here missing.png", dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir / "made"));

    // A PCX that ends early loads, with a warning.
    std::vector<std::uint8_t> pixels(8 * 8, 1);
    const auto pal = testPalette(2);
    ASSERT_TRUE(writePcx(dir / "cut.pcx", pixels.data(), 8, 8, 8, pal.data(), 2));
    fs::resize_file(dir / "cut.pcx", 128 + 3 * 2); // three rows of "C8 01"
    r = cli("scale -o cut-out.png cut.pcx", dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "cut.pcx: warning: the file ends early: 5 of 8 rows are missing"))
        << r.err;
}

TEST_F(Cli, OddNamesNumbersAndPalettes)
{
    writeImage(dir / "a.png", kSprite);
    writeImage(dir / "bad\xFF.png", kSprite);
    Result r = cli("info --json 'bad\xFF.png' missing.png", dir.path());
    EXPECT_EQ(r.status, 1);
    const auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["file"], "bad\xEF\xBF\xBD.png");
    EXPECT_EQ(json[0]["width"], 8);

    for (const char* args : {"scale --threshold nan a.png", "scale --threshold inf a.png",
                             "scale --threshold=-inf a.png", "stats --threshold nan a.png 1 1"}) {
        r = cli(args, dir.path());
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_FALSE(fs::exists(dir / "OUTPUT")) << args;
    }
    for (const char* args : {"stats a.png -1 2", "stats --threshold 5 a.png 3 -20"}) {
        r = cli(args, dir.path());
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(contains(r.err, "is outside the image (8 x 8)")) << args << r.err;
    }

    // Palettes of no colours change nothing, with a note.
    std::ofstream(dir / "empty.act", std::ios::binary);
    std::ofstream(dir / "two.act", std::ios::binary) << "ab";
    std::ofstream(dir / "zero.pal", std::ios::binary)
        << std::string("RIFF\x10\0\0\0PAL data\x04\0\0\0\0\x03\0\0", 24);
    ASSERT_EQ(cli("scale -o plain.png a.png", dir.path()).status, 0);
    for (const char* palette : {"empty.act", "two.act", "zero.pal"}) {
        r = cli(std::string("scale --palette ") + palette + " -o p.png a.png", dir.path());
        EXPECT_EQ(r.status, 0) << palette << r.err;
        EXPECT_TRUE(contains(r.err, "no colours")) << palette << r.err;
        EXPECT_EQ(slurp(dir / "p.png"), slurp(dir / "plain.png")) << palette;
    }
}

#endif

TEST_F(Cli, CellModeAndChangeMap)
{
    writeImage(dir / "a.png", kSprite);
    writeImage(dir / "b.png", kSprite);
    for (const char* args :
         {"scale --cell 0x4 a.png", "scale --cell 4x a.png", "scale --cell 4x4x4 a.png",
          "scale --cell -4 a.png", "scale --cell 4097 a.png",
          "scale --cell 4 --cell-margin 5000 a.png", "scale --cell 4 --cell-spacing -1 a.png",
          "scale --wrap a.png", "scale --cell-margin 1 a.png",
          "scale --change-map m.png a.png b.png", "scale --change-map m.bmp a.png",
          "scale --change-map a.png -o x.png a.png", "scale --change-map x.png -o x.png a.png"}) {
        const Result r = cli(args, dir.path());
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("--"), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "OUTPUT"));

    // The same bytes as the document in cell mode; the map marks exactly
    // where the result differs from the plain blocks.
    Result r = cli("scale --scale 3 --cell 4x3 --cell-spacing 1 --wrap --change-map map.png "
                   "-o cells.png a.png",
                   dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    ScaleDocument doc;
    ASSERT_TRUE(doc.Load(dir / "a.png"));
    doc.SetCellLayout(CellLayout{4, 3, 0, 1, true});
    ASSERT_NE(doc.Apply(3, 20, false, 0), nullptr);
    ASSERT_TRUE(doc.Save(dir / "reference.png"));
    EXPECT_EQ(slurp(dir / "cells.png"), slurp(dir / "reference.png"));
    const auto map = readPng(dir / "map.png");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->palette->at(0) >> 24, 0u); // unchanged pixels are transparent
    EXPECT_EQ(map->palette->at(1) >> 24, 0xFFu);
    const Rows result = picture(*doc.resultBitmap());
    int marked = 0;
    for (std::int32_t y = 0; y < 24; ++y) {
        for (std::int32_t x = 0; x < 24; ++x) {
            const bool changed = result[std::size_t(y)][std::size_t(x)] !=
                                 kSprite[std::size_t(y / 3)][std::size_t(x / 3)];
            ASSERT_EQ(map->image->row(y)[x] != 0, changed) << x << "," << y;
            marked += changed ? 1 : 0;
        }
    }
    EXPECT_GT(marked, 0);

    r = cli("scale --cell 9x9 -o big.png a.png", dir.path()); // no whole cell fits
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no whole 9 x 9 cell"), std::string::npos) << r.err;
}

} // namespace
} // namespace gridmint::testing
