#include "TestSupport.h"
#include "image/Platform.h"

#include <csignal>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#endif
#include <thread>

namespace gridmint::test {
namespace {

namespace fs = std::filesystem;

using Writer = bool (*)(const fs::path&, const std::uint8_t*, std::int32_t, std::int32_t,
                        std::int32_t, const Colour*, std::int32_t);

struct Format {
    const char* ext;
    Writer write;
};

const Format kFormats[] = {{".bmp", &writeBmp}, {".png", &writePng}, {".pcx", &writePcx}};

// A picture big enough that every format writes well over 200 bytes.
struct Picture {
    std::vector<std::uint8_t> pixels;
    std::vector<Colour> colours;
    int width = 40, height = 30;
    explicit Picture(int seed) : pixels(40 * 30), colours(256)
    {
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>((i * 13 + static_cast<std::size_t>(seed)) % 251);
        for (std::size_t i = 0; i < colours.size(); ++i)
            colours[i] =
                0xFF000000u | static_cast<Colour>(i * 0x010203 + static_cast<std::size_t>(seed));
    }
    bool save(const Format& f, const fs::path& p) const
    {
        return f.write(p, pixels.data(), width, height, width, colours.data(), 256);
    }
};

class FaultAfter {
public:
    explicit FaultAfter(std::int64_t bytes) { platform::setWriteFaultAfterForTesting(bytes); }
    ~FaultAfter() { platform::setWriteFaultAfterForTesting(-1); }
};

TEST(Save, FailureMidWriteKeepsThePreviousFileAndLeavesNoTemporary)
{
    for (const Format& f : kFormats) {
        TempDir dir;
        const fs::path target = dir / (std::string("out") + f.ext);
        ASSERT_TRUE(Picture(1).save(f, target));
        const Bytes before = readBytes(target);
        for (const std::int64_t cut : {0, 1, 100}) {
            FaultAfter fault(cut);
            EXPECT_FALSE(Picture(2).save(f, target)) << f.ext << " cut at " << cut;
        }
        EXPECT_EQ(readBytes(target), before) << f.ext;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{target.filename().string()});
        EXPECT_TRUE(Picture(2).save(f, target));
        EXPECT_NE(readBytes(target), before);
    }
}

// Links, errno values, signals and resource limits as POSIX has them.
#ifndef _WIN32
TEST(Save, FailuresSayWhy)
{
    TempDir dir;
    writeBytes(dir / "plain", {1});
    fs::create_symlink("loop-b.png", dir / "loop-a.png");
    fs::create_symlink("loop-a.png", dir / "loop-b.png");
    const std::pair<fs::path, std::errc> cases[] = {
        {dir / "missing" / "x.png", std::errc::no_such_file_or_directory},
        {dir / "plain" / "x.png", std::errc::not_a_directory},
        {dir.path(), std::errc::is_a_directory},
        {dir / "loop-a.png", std::errc::too_many_symbolic_link_levels},
    };
    for (const auto& [target, why] : cases) {
        EXPECT_FALSE(Picture(1).save(kFormats[1], target)) << target;
        EXPECT_EQ(platform::takeLastWriteError(), std::make_error_code(why)) << target;
    }
    {
        FaultAfter fault(10);
        EXPECT_FALSE(Picture(1).save(kFormats[0], dir / "full.bmp"));
    }
    EXPECT_EQ(platform::takeLastWriteError(), std::make_error_code(std::errc::no_space_on_device));
    EXPECT_TRUE(Picture(1).save(kFormats[0], dir / "fine.bmp"));
    EXPECT_FALSE(platform::takeLastWriteError());
}

// The writer is killed by SIGXFSZ half-way through (a file-size limit with
// the signal's default action), as by kill -9 at that moment.
TEST(Save, KilledWriterLeavesNoTemporaryFileBehind)
{
    const Bytes big(std::size_t{1} << 20, 7);
    for (const bool unnamed : {true, false}) {
        TempDir dir;
        const fs::path target = dir / "pic.bmp";
        ASSERT_TRUE(Picture(1).save(kFormats[0], target));
        const Bytes before = readBytes(target);
        const int status = inChildProcess([&] {
            platform::setUnnamedTempFilesForTesting(unnamed);
            const rlimit noCore{0, 0};
            const rlimit small{64 << 10, 64 << 10};
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::setrlimit(RLIMIT_FSIZE, &small);
            std::signal(SIGXFSZ, SIG_DFL);
            platform::replaceFileContents(target, big);
            return 0;
        });
        EXPECT_EQ(status, -SIGXFSZ) << "unnamed " << unnamed;
        EXPECT_EQ(readBytes(target), before);
        if (unnamed) {
            EXPECT_EQ(dir.entries(), std::vector<std::string>{"pic.bmp"});
            continue;
        }
        // Without unnamed files the dead writer's file is there until the
        // next save beside it.
        EXPECT_EQ(dir.entries().size(), 2u);
        platform::setUnnamedTempFilesForTesting(false);
        EXPECT_TRUE(Picture(2).save(kFormats[1], dir / "next.png"));
        platform::setUnnamedTempFilesForTesting(true);
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"next.png", "pic.bmp"}));
    }
}
#endif

// Files are written piece by piece as they are encoded (the PNG on several
// threads): a failure several pieces in still leaves the old file alone.
TEST(Save, FailureDeepIntoAStreamedFileKeepsThePreviousFile)
{
    std::vector<std::uint8_t> noise(std::size_t{1000} * 900);
    std::uint32_t seed = 1;
    for (std::uint8_t& v : noise) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(seed >> 24);
    }
    const std::vector<Colour> colours(256, 0xFF102030);
    for (const Format& f : kFormats) {
        TempDir dir;
        const fs::path target = dir / (std::string("out") + f.ext);
        ASSERT_TRUE(Picture(1).save(f, target));
        const Bytes before = readBytes(target);
        {
            FaultAfter fault(300'000);
            EXPECT_FALSE(f.write(target, noise.data(), 1000, 900, 1000, colours.data(), 256))
                << f.ext;
        }
        EXPECT_EQ(readBytes(target), before) << f.ext;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{target.filename().string()});
    }
}

TEST(Save, UnwritableFolderFailsWithoutSideEffects)
{
    TempDir dir;
    // A regular file where the folder should be stops even root.
    writeBytes(dir / "plain", {1});
    for (const Format& f : kFormats) {
        EXPECT_FALSE(Picture(1).save(f, dir / "plain" / (std::string("x") + f.ext))) << f.ext;
        EXPECT_FALSE(Picture(1).save(f, dir / "missing" / (std::string("x") + f.ext))) << f.ext;
        EXPECT_FALSE(Picture(1).save(f, dir.path())) << f.ext; // a folder as target
        EXPECT_FALSE(Picture(1).save(f, fs::path())) << f.ext;
    }
    EXPECT_EQ(readBytes(dir / "plain"), Bytes{1});
#ifndef _WIN32 // POSIX file kinds and modes; Windows has its own tests
    // Something that is not a regular file is never replaced.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", dir / "null.png");
    EXPECT_FALSE(Picture(1).save(kFormats[1], dir / "pipe"));
    EXPECT_FALSE(Picture(1).save(kFormats[1], dir / "null.png"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"null.png", "pipe", "plain"}));
#endif
}

#ifndef _WIN32
TEST(Save, SymlinkIsReplacedAtItsTargetAndPermissionsFollowTheOldFile)
{
    TempDir dir;
    const Format& f = kFormats[1];
    fs::create_directory(dir / "real");
    ASSERT_TRUE(Picture(1).save(f, dir / "real" / "pic.png"));
    ::chmod((dir / "real" / "pic.png").c_str(), 0640);
    fs::create_symlink("real/pic.png", dir / "link.png");

    ASSERT_TRUE(Picture(2).save(f, dir / "link.png"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.png"));
    EXPECT_EQ(readBytes(dir / "real" / "pic.png"), readBytes(dir / "link.png"));
    EXPECT_EQ(readPng(dir / "real" / "pic.png")->image->row(0)[0], Picture(2).pixels[0]);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "real" / "pic.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.png", "real"}));

    // A new file gets what a plain create gives: 0666 less the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_TRUE(Picture(1).save(f, dir / "new.png"));
    ASSERT_EQ(::stat((dir / "new.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
}
#endif

TEST(Save, ConcurrentSavesIntoOneFolderDoNotCollide)
{
    TempDir dir;
    const Picture a(1), b(2);
    constexpr int kRounds = 20;
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const Picture& pic = t % 2 ? a : b;
            for (int i = 0; i < kRounds; ++i) {
                // Two threads share one name, two have names of their own.
                const std::string name = t < 2 ? "shared.png" : "own" + std::to_string(t) + ".png";
                if (!pic.save(kFormats[1], dir / name))
                    ++failures[static_cast<std::size_t>(t)];
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"own2.png", "own3.png", "shared.png"}));
    // The shared file is one complete picture, never a mixture.
    const auto shared = readPng(dir / "shared.png");
    const std::uint8_t first = shared->image->row(0)[0];
    EXPECT_TRUE(first == a.pixels[0] || first == b.pixels[0]);
    const Picture& winner = first == a.pixels[0] ? a : b;
    EXPECT_EQ(picture(*shared->image), picture(winner.pixels.data(), 40, 30, 40));
}

TEST(Save, WritersRefuseWhatTheReadersWouldRefuse)
{
    EXPECT_EQ(writeSizeProblem(ImageFormat::Png, 2097120, 512), "wider than PNG allows (1000000)");
    EXPECT_EQ(writeSizeProblem(ImageFormat::Pcx, 32767, 1), "wider than PCX allows (32766)");
    EXPECT_EQ(writeSizeProblem(ImageFormat::Bmp, 1, 65536), "taller than Gridmint opens (65535)");
    EXPECT_EQ(writeSizeProblem(ImageFormat::Png, 16385, 16384),
              "more pixels than Gridmint opens (268435456)");
    EXPECT_EQ(writeSizeProblem(ImageFormat::Bmp, 16384, 16384), "");
    const std::vector<std::uint8_t> row(65536, 1);
    for (const Format& f : kFormats) {
        TempDir dir;
        EXPECT_FALSE(f.write(dir / "wide", row.data(), 65536, 1, 65536, nullptr, 0)) << f.ext;
        EXPECT_TRUE(dir.entries().empty());
    }
}

} // namespace
} // namespace gridmint::test
