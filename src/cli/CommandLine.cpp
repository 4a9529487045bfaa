// gridmint-cli's command line: Gridmint's main job from file to file,
// without the desktop program. It never reads or writes the desktop
// settings; its defaults are theirs (factor 2, threshold 20, transparent
// index 0).
#include "cli/Commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const kFooter =
    R"(Exit status: 0 when every file succeeded, 1 when any file failed (the other
files of a batch still run), 2 for a usage error.
Run "gridmint-cli SUBCOMMAND --help" for the options of each subcommand.)";

const char* const kScaleFooter =
    R"(Output names: with -o, that file; with --out-dir, DIR/NAME.EXT; otherwise
OUTPUT/NAME.EXT beside each input (the folder is created). EXT is the input's
extension when it is exactly .png, .bmp or .pcx, else .png. An input is never
overwritten: when DIR is the input's own folder the result goes to the OUTPUT
folder beside it, and -o naming an input is a usage error, as are two inputs
that would write the same output. The format follows the output's extension.
Prints one line "INPUT -> OUTPUT" per file on stdout; errors go to stderr.)";

struct TransparentValidator : public CLI::Validator {
    TransparentValidator()
    {
        name_ = "INDEX|none";
        func_ = [](const std::string& text) {
            return gridmint::cli::parseTransparent(text)
                       ? std::string()
                       : std::string("must be 0 to 255 or none, not ") + text;
        };
    }
};

// A threshold is a number from 0 to 100; NaN passes a range check but makes
// a colour not similar to itself.
struct ThresholdValidator : public CLI::Validator {
    ThresholdValidator()
    {
        name_ = "0 to 100";
        func_ = [](const std::string& text) {
            double value = 0;
            const bool ok = CLI::detail::lexical_cast(text, value) && std::isfinite(value) &&
                            value >= 0 && value <= 100;
            return ok ? std::string() : "must be a number from 0 to 100, not " + text;
        };
    }
};

bool isNegativeNumber(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-' &&
           std::all_of(arg.begin() + 1, arg.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The parser reads "-3" as an option. After "stats", such words are
// positions: they move behind a "--" with the other positionals, in order,
// so that X and Y may be negative (and are then reported as outside).
std::vector<std::string> positionalsLastForStats(std::vector<std::string> args)
{
    const auto stats = std::find(args.begin() + (args.empty() ? 0 : 1), args.end(), "stats");
    if (stats == args.end() ||
        std::none_of(stats + 1, args.end(),
                     [](const std::string& a) { return isNegativeNumber(a); }) ||
        std::find(stats + 1, args.end(), "--") != args.end())
        return args;
    std::vector<std::string> result(args.begin(), stats + 1);
    std::vector<std::string> positionals;
    for (auto it = stats + 1; it != args.end(); ++it) {
        const bool takesValue = *it == "--threshold" || *it == "--transparent";
        if (takesValue && it + 1 != args.end()) {
            result.push_back(*it);
            result.push_back(*++it);
        } else if (it->starts_with("-") && !isNegativeNumber(*it)) {
            result.push_back(*it);
        } else {
            positionals.push_back(*it);
        }
    }
    result.emplace_back("--");
    result.insert(result.end(), positionals.begin(), positionals.end());
    return result;
}

} // namespace

namespace gridmint::cli {

int runCommandLine(int argc, const char* const* argv)
{

    CLI::App app{"Enlarges 8-bit palette pixel art (PNG, BMP, PCX) by a whole factor, redrawing "
                 "staircase edges as slopes in the image's own colours.",
                 "gridmint-cli"};
    app.footer(kFooter);
    app.require_subcommand(1);
    const TransparentValidator transparentCheck;
    const ThresholdValidator thresholdCheck;

    ScaleOptions scale;
    std::string scaleTransparent = "0";
    bool reverse = false;
    bool noReverse = false;
    CLI::App* scaleCmd = app.add_subcommand("scale", "Enlarge each INPUT and save the result.");
    scaleCmd->footer(kScaleFooter);
    scaleCmd->add_option("INPUT", scale.inputs, "Images to enlarge (.png, .bmp, .pcx)")->required();
    auto* outputOption =
        scaleCmd
            ->add_option("-o,--output", scale.output,
                         "Output file (one INPUT only); must end in .png, .bmp or .pcx")
            ->type_name("FILE");
    scaleCmd
        ->add_option("--out-dir", scale.outDir,
                     "Folder for the results (created if missing) instead of OUTPUT beside "
                     "each input")
        ->type_name("DIR")
        ->excludes(outputOption);
    scaleCmd->add_option("--scale", scale.scale, "Enlargement factor, 1 to 32")
        ->type_name("N")
        ->check(CLI::Range(1, 32))
        ->capture_default_str();
    scaleCmd
        ->add_option("--threshold", scale.threshold,
                     "Colour similarity threshold (a*b* distance), 0 to 100")
        ->type_name("T")
        ->check(thresholdCheck)
        ->capture_default_str();
    scaleCmd
        ->add_option("--transparent", scaleTransparent,
                     "Palette index that is never similar to any colour (0 to 255), or none")
        ->type_name("I|none")
        ->check(transparentCheck)
        ->capture_default_str();
    scaleCmd->add_flag("--nearest", scale.nearest,
                       "Plain block enlargement: leave out the slope passes");
    scaleCmd
        ->add_option("--palette", scale.palette,
                     "ACT or PAL palette file whose colours replace the result's first "
                     "colours (ACT reversed by default, PAL not)")
        ->type_name("FILE");
    auto* rev = scaleCmd->add_flag("--reverse-palette", reverse,
                                   "Reverse the colour order of the --palette file");
    auto* noRev = scaleCmd->add_flag("--no-reverse-palette", noReverse,
                                     "Keep the colour order of the --palette file");
    rev->excludes(noRev);
    noRev->excludes(rev);
    scaleCmd
        ->add_option("--jobs", scale.jobs,
                     "Files processed in parallel, one document each (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    scaleCmd
        ->add_option("--memory", scale.memoryBudgetMiB,
                     "Memory in MiB that parallel files may take together, by estimates from "
                     "their headers (default: half the machine's)")
        ->type_name("MIB")
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 40));
    const std::map<std::string, gridmint::Compression> compressions{
        {"fast", gridmint::Compression::Fast},
        {"best", gridmint::Compression::Best},
        {"smallest", gridmint::Compression::Smallest}};
    const auto addCompression = [&compressions](CLI::App& command, gridmint::Compression& to) {
        command
            .add_option("--compression", to,
                        "PNG compression: fast (larger files, a fraction of the time), best "
                        "(default), smallest (about a tenth smaller, many times slower)")
            ->type_name("fast|best|smallest")
            ->transform(CLI::CheckedTransformer(compressions, CLI::ignore_case));
    };
    addCompression(*scaleCmd, scale.compression);
    scaleCmd->add_flag("--timings", scale.timings,
                       "Print the read, enlarge and encode times of each file on stderr");
    addCellOptions(*scaleCmd, scale.cells);

    std::string convertIn;
    std::string convertOut;
    CLI::App* convertCmd = app.add_subcommand(
        "convert", "Read INPUT and write it as OUTPUT without enlarging: same indices, the "
                   "palette as read. The format follows OUTPUT's extension.");
    convertCmd->add_option("INPUT", convertIn, "Image to read")->required();
    convertCmd->add_option("OUTPUT", convertOut, "File to write (.png, .bmp or .pcx)")->required();
    gridmint::Compression convertCompression = gridmint::Compression::Best;
    addCompression(*convertCmd, convertCompression);

    std::vector<std::string> infoInputs;
    bool infoJson = false;
    CLI::App* infoCmd = app.add_subcommand(
        "info", "Print width, height, colour count and the colours (0xAARRGGBB) of each INPUT.");
    infoCmd->add_option("INPUT", infoInputs, "Images to describe")->required();
    infoCmd->add_flag("--json", infoJson,
                      "Print a JSON array with one object per input: {\"file\", \"width\", "
                      "\"height\", \"colours\"}, or {\"file\", \"error\"} for a file that failed");

    std::string statsIn;
    std::int32_t statsX = 0;
    std::int32_t statsY = 0;
    double statsThreshold = 20;
    std::string statsTransparent = "0";
    CLI::App* statsCmd = app.add_subcommand(
        "stats", "Print the status-bar text for source pixel (X, Y): how far the same index, the "
                 "same colour and similar colours extend left, right, up and down.");
    statsCmd->add_option("INPUT", statsIn, "Image to inspect")->required();
    statsCmd->add_option("X", statsX, "Column in source pixels (may be negative)")->required();
    statsCmd->add_option("Y", statsY, "Row in source pixels (may be negative)")->required();
    statsCmd->add_option("--threshold", statsThreshold, "Colour similarity threshold, 0 to 100")
        ->type_name("T")
        ->check(thresholdCheck)
        ->capture_default_str();
    statsCmd
        ->add_option("--transparent", statsTransparent,
                     "Palette index that is never similar to any colour (0 to 255), or none")
        ->type_name("I|none")
        ->check(transparentCheck)
        ->capture_default_str();

    try {
        std::vector<std::string> args(argv, argv + argc);
        args = positionalsLastForStats(std::move(args));
        // The parser takes the words after the program's name, last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend() - (args.empty() ? 0 : 1));
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    try {
        if (*scaleCmd) {
            scale.transparent = *parseTransparent(scaleTransparent);
            if (reverse)
                scale.reversePalette = true;
            if (noReverse)
                scale.reversePalette = false;
            if (scale.reversePalette && scale.palette.empty()) {
                std::cerr << "gridmint-cli: --reverse-palette and --no-reverse-palette need "
                             "--palette\nRun with --help for more information.\n";
                return kExitUsage;
            }
            if (const std::string problem = resolveCellOptions(scale.cells, scale.inputs.size());
                !problem.empty()) {
                std::cerr << "gridmint-cli: " << problem
                          << "\nRun with --help for more information.\n";
                return kExitUsage;
            }
            return runScale(scale);
        }
        if (*convertCmd)
            return runConvert(convertIn, convertOut, convertCompression);
        if (*infoCmd)
            return runInfo(infoInputs, infoJson);
        if (*statsCmd)
            return runStats(statsIn, statsX, statsY, statsThreshold,
                            *parseTransparent(statsTransparent));
    } catch (const std::exception& e) {
        std::cerr << "gridmint-cli: " << e.what() << '\n';
        return kExitFailed;
    }
    return kExitUsage;
}

} // namespace gridmint::cli
