#include "cli/CellOptions.h"

#include "app/ScaleDocument.h"
#include "engine/ChangeMap.h"
#include "image/Codecs.h"

#include <CLI/CLI.hpp>
#include <charconv>

namespace gridmint::cli {

namespace {

std::optional<std::int32_t> parseSide(std::string_view text)
{
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < 1 ||
        value > CellLayout::kMaxCellSide)
        return std::nullopt;
    return value;
}

} // namespace

void addCellOptions(CLI::App& scale, CellOptions& options)
{
    const std::string side = std::to_string(CellLayout::kMaxCellSide);
    scale
        .add_option("--cell", options.cell,
                    "Cell mode for sprite sheets and tilesets: enlarge every W x H cell "
                    "(1 to " +
                        side +
                        " pixels a side) as if it were an image of its own, "
                        "so that no slope takes colours from a neighbouring cell; margins, "
                        "spacing and partial cells stay plain blocks")
        ->type_name("WxH");
    scale
        .add_option("--cell-margin", options.margin,
                    "Pixels around the grid of cells (needs --cell)")
        ->type_name("M")
        ->check(CLI::Range(0, CellLayout::kMaxGap))
        ->capture_default_str();
    scale
        .add_option("--cell-spacing", options.spacing,
                    "Pixels between neighbouring cells (needs --cell)")
        ->type_name("S")
        ->check(CLI::Range(0, CellLayout::kMaxGap))
        ->capture_default_str();
    scale.add_flag("--wrap", options.wrap,
                   "Seamless tiles: enlarge each cell as the centre of a 3 x 3 repetition of "
                   "itself, so that its edges slope as they will look when the tile repeats; "
                   "runs longer than one cell are cut where the repetition ends (needs --cell)");
    scale
        .add_option("--change-map", options.changeMap,
                    "Also write a palette PNG the size of the result that shows where the "
                    "slope passes changed the plain block enlargement, coloured by the last "
                    "pass that changed each pixel (left vermilion, right blue, top green, "
                    "bottom purple); unchanged pixels are transparent. One INPUT only")
        ->type_name("FILE");
}

std::optional<std::pair<std::int32_t, std::int32_t>> parseCellSize(const std::string& text)
{
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        const auto side = parseSide(text);
        if (!side)
            return std::nullopt;
        return std::pair{*side, *side};
    }
    const auto w = parseSide(std::string_view(text).substr(0, x));
    const auto h = parseSide(std::string_view(text).substr(x + 1));
    if (!w || !h)
        return std::nullopt;
    return std::pair{*w, *h};
}

std::string resolveCellOptions(CellOptions& options, std::size_t inputCount)
{
    if (!options.changeMap.empty()) {
        if (inputCount != 1)
            return "--change-map names one file: give exactly one input";
        if (LowerExtension(options.changeMap) != ".png")
            return "--change-map: " + options.changeMap + ": the change map is a PNG file";
    }
    options.layout = CellLayout{};
    if (options.cell.empty()) {
        if (options.margin != 0 || options.spacing != 0 || options.wrap)
            return "--cell-margin, --cell-spacing and --wrap need --cell";
        return {};
    }
    const auto size = parseCellSize(options.cell);
    if (!size)
        return "--cell: " + options.cell + ": give the cell size as WxH, each side 1 to " +
               std::to_string(CellLayout::kMaxCellSide) + " pixels (for example 16x16)";
    options.layout.cellWidth = size->first;
    options.layout.cellHeight = size->second;
    options.layout.margin = options.margin;
    options.layout.spacing = options.spacing;
    options.layout.wrap = options.wrap;
    return {};
}

bool applyCellOptions(const CellOptions& options, ScaleDocument& doc, std::string& error)
{
    doc.SetCellLayout(options.layout);
    doc.SetCellThreads(options.threads);
    doc.SetTraceChanges(!options.changeMap.empty());
    const CellLayout& layout = options.layout;
    if (!layout.enabled() || doc.source() == nullptr)
        return true;
    const std::int32_t w = doc.source()->width();
    const std::int32_t h = doc.source()->height();
    if (!fullCells(layout, w, h).empty())
        return true;
    error = "no whole " + std::to_string(layout.cellWidth) + " x " +
            std::to_string(layout.cellHeight) + " cell fits in the image (" + std::to_string(w) +
            " x " + std::to_string(h) + ", margin " + std::to_string(layout.margin) + ")";
    return false;
}

bool writeChangeMap(const std::filesystem::path& path, const IndexedImage& changes)
{
    const auto colours = changeMapColours();
    try {
        return writePng(path, changes.store(), changes.width(), changes.height(), changes.width(),
                        colours.data(), static_cast<std::int32_t>(colours.size()));
    } catch (...) {
        return false;
    }
}

} // namespace gridmint::cli
