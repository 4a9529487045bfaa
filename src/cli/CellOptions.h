// The scale subcommand's options for sheets and for the change map: cell
// mode (--cell, --cell-margin, --cell-spacing, --wrap) and --change-map.
#pragma once

#include "engine/CellScale.h"
#include "image/Containers.h"

#include <filesystem>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace gridmint {
class ScaleDocument;
}

namespace gridmint::cli {

struct CellOptions {
    // As typed; turned into `layout` by resolveCellOptions.
    std::string cell;
    std::int32_t margin = 0;
    std::int32_t spacing = 0;
    bool wrap = false;
    std::string changeMap; // file to write, "" for none

    CellLayout layout;    // off unless --cell was given
    unsigned threads = 0; // per document; 0: one per core
};

// Adds the options to the scale subcommand.
void addCellOptions(CLI::App& scale, CellOptions& options);

// "WxH" (or "N" for N x N) with sides 1..CellLayout::kMaxCellSide; nullopt
// otherwise.
std::optional<std::pair<std::int32_t, std::int32_t>> parseCellSize(const std::string& text);

// Checks the options together and fills `layout`. Returns "" when they are
// sound, else the usage error to print.
std::string resolveCellOptions(CellOptions& options, std::size_t inputCount);

// Gives the document the cell layout, its threads and the tracing switch.
// False, with the reason in `error`, when cell mode is on but no whole cell
// fits in the loaded image: that is a mistaken size rather than a sheet.
bool applyCellOptions(const CellOptions& options, ScaleDocument& doc, std::string& error);

// Writes a change map as a palette PNG (see engine/ChangeMap.h for the
// colours); false when it could not be written.
bool writeChangeMap(const std::filesystem::path& path, const IndexedImage& changes);

} // namespace gridmint::cli
