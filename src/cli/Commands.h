// The subcommands of gridmint-cli, each returning the process exit status:
// 0 when everything succeeded, 1 when any file failed, 2 for a usage error.
#pragma once

#include "cli/CellOptions.h"
#include "image/Codecs.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace gridmint::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct ScaleOptions {
    std::vector<std::string> inputs;
    std::string output; // -o, one input only
    std::string outDir;
    std::int32_t scale = 2;
    double threshold = 20;
    std::int32_t transparent = 0; // -1: none
    bool nearest = false;
    std::string palette;
    std::optional<bool> reversePalette; // unset: ACT reversed, PAL not
    unsigned jobs = 0;                  // 0: one per core
    std::uint64_t memoryBudgetMiB = 0;  // 0: half the usable memory
    bool timings = false;
    CellOptions cells;
    Compression compression = Compression::Best; // PNG outputs
};

int runScale(const ScaleOptions& options);
int runConvert(const std::string& input, const std::string& output, Compression compression);
int runInfo(const std::vector<std::string>& inputs, bool json);
int runStats(const std::string& input, std::int32_t x, std::int32_t y, double threshold,
             std::int32_t transparent);

// "none" gives -1, a whole number 0 to 255 itself; nullopt otherwise.
std::optional<std::int32_t> parseTransparent(const std::string& text);

// The whole command line (argv[0] being the program), as gridmint-cli's
// main runs it: parses, runs the subcommand and returns the exit status.
// Never exits the process; output goes to std::cout and std::cerr.
int runCommandLine(int argc, const char* const* argv);

} // namespace gridmint::cli
