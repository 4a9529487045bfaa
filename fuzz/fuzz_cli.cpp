// gridmint-cli in-process on random command lines, in a scratch folder of
// small pictures, palettes and awkward names. The exit status is 0, 1 or 2
// only; a usage error (2) changes no file; no temporary file is ever left.
//
// Runs happen inside the scratch folder, so a failing input's artifact file
// lands there (and stays, as the folder is removed only on a clean exit);
// the log shows the input as well.
#include "cli/Commands.h"
#include "image/Codecs.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Words the command lines are made of. Names are all relative and inside
// the scratch folder, so that no run can write anywhere else.
// The list reads better filled than one word a line.
// clang-format off
const std::array<const char*, 71> kWords = {
    "scale", "convert", "info", "stats", "--help", "-o", "--output", "--out-dir", "--scale",
    "--threshold", "--transparent", "--nearest", "--palette", "--reverse-palette",
    "--no-reverse-palette", "--jobs", "--memory", "--timings", "--json", "--", "a.png", "b.bmp",
    "c.pcx", "cut.pcx", "missing.png", "folder.png", "loop.png", "p.act", "q.pal", "empty.act",
    "out", "OUTPUT", "sub", "sub/x.png", "x.png", "y.bmp", "z.pcx", "x.gif", "nan", "inf", "-inf",
    "-1", "0", "1", "2", "3", "8", "32", "33", "100", "101", "255", "256", "none", "1e308", "2.5",
    "", "\xFF.png", "a.png/", "./a.png", "sub/../a.png", "-3", "--threshold=nan", "--scale=4", "--cell", "--cell-margin", "--cell-spacing", "--wrap",
    "--change-map", "map.png", "4x2"};
// clang-format on

// The scratch folder's contents: type, size and modification time by name.
using Tree = std::map<std::string, std::string>;

Tree snapshot()
{
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(".", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        std::string what = std::to_string(static_cast<int>(st.type()));
        if (fs::is_regular_file(st)) {
            what += " " + std::to_string(it->file_size(ec)) + " " +
                    std::to_string(it->last_write_time(ec).time_since_epoch().count());
        }
        tree[it->path().generic_string()] = what;
    }
    return tree;
}

void makeScratch()
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(".", ec))
        fs::remove_all(e.path(), ec);
    const std::vector<gridmint::Colour> palette = {0xFF000000, 0xFFFFFFFF, 0x80FF0000, 0xFF00FF00};
    std::vector<std::uint8_t> pixels(8 * 6);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>((i * 7 + i / 8) % 4);
    gridmint::writePng("a.png", pixels.data(), 8, 6, 8, palette.data(), 4);
    gridmint::writeBmp("b.bmp", pixels.data(), 8, 6, 8, palette.data(), 4);
    gridmint::writePcx("c.pcx", pixels.data(), 8, 6, 8, palette.data(), 4);
    gridmint::writePcx("cut.pcx", pixels.data(), 8, 6, 8, palette.data(), 4);
    fs::resize_file("cut.pcx", 134, ec);
    fs::create_directories("folder.png", ec);
    fs::create_directories("sub", ec);
    fs::create_symlink("loop.png", "loop.png", ec);
    std::ofstream("p.act", std::ios::binary) << std::string(30, '\x40');
    std::ofstream("q.pal", std::ios::binary)
        << std::string("RIFF\x14\0\0\0PAL data\x08\0\0\0\0\x03\x01\0\x10\x20\x30\0", 28);
    std::ofstream("empty.act", std::ios::binary);
}

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

bool hasTemporary(const Tree& tree)
{
    for (const auto& [name, what] : tree) {
        const std::string leaf = fs::path(name).filename().string();
        if (leaf.size() > 4 && leaf[0] == '.' && leaf.ends_with(".tmp"))
            return true;
    }
    return false;
}

// The scratch folder; each run works inside it and then returns to the
// folder libFuzzer started in, whose relative corpus paths it keeps using.
fs::path g_scratch;

void removeScratch()
{
    std::error_code ec;
    fs::remove_all(g_scratch, ec);
}

class InScratch {
public:
    InScratch() : back_(fs::current_path()) { fs::current_path(g_scratch); }
    InScratch(const InScratch&) = delete;
    InScratch& operator=(const InScratch&) = delete;
    ~InScratch() { fs::current_path(back_); }

private:
    fs::path back_;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "gridmint-fuzz-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    g_scratch = pattern;
    std::atexit(removeScratch);
    const InScratch here;
    makeScratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const InScratch here;
    const Tree before = snapshot();
    std::vector<const char*> argv = {"gridmint-cli"};
    for (std::size_t i = 0; i < size && argv.size() < 17; ++i)
        argv.push_back(kWords[data[i] % kWords.size()]);

    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
    const int status = gridmint::cli::runCommandLine(static_cast<int>(argv.size()), argv.data());
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);

    check(status == 0 || status == 1 || status == 2);
    const Tree after = snapshot();
    check(!hasTemporary(after));
    if (status == 2)
        check(after == before);
    if (after != before)
        makeScratch(); // the next run starts from the same files

    return 0;
}
