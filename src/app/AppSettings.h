// The user settings. The record is plain data here so that the
// command line can share its defaults; loading and saving it (QSettings)
// live in the desktop layer.
#pragma once

#include "engine/CellScale.h"

#include <cstdint>
#include <string>

namespace gridmint {

struct AppSettings {
    bool IsAutoSave = false;                  // save right after an image is opened
    bool IsReverseACT = true;                 // reverse colours read from ACT files
    bool IsReversePAL = false;                // reverse colours read from PAL files
    std::int32_t ImageScale = 2;              // enlargement factor, 2 to 32
    std::int32_t TransColorIndex = 0;         // -1 none, else 0 to 255
    std::uint32_t NearestColorThreshold = 20; // 0 to 100
    std::string DefaultSaveFolder;            // UTF-8; empty = none
    std::int32_t Language = 0; // desktop texts: kLanguageAuto, kLanguageJapanese, kLanguageEnglish
    // Cell mode for sprite sheets and tilesets: on when both sides are at
    // least 1; margin, spacing and wrap count only then.
    std::int32_t CellWidth = 0;   // 0 to CellLayout::kMaxCellSide
    std::int32_t CellHeight = 0;  // 0 to CellLayout::kMaxCellSide
    std::int32_t CellMargin = 0;  // 0 to CellLayout::kMaxGap
    std::int32_t CellSpacing = 0; // 0 to CellLayout::kMaxGap
    bool CellWrap = false;        // each cell as the centre of a 3 x 3 repetition

    static constexpr std::int32_t kMinScale = 2;
    static constexpr std::int32_t kMaxScale = 32;
    static constexpr std::size_t kMaxFolderLength = 2599;
    // Automatic follows the system's language: Japanese on a Japanese
    // system, English elsewhere.
    static constexpr std::int32_t kLanguageAuto = 0;
    static constexpr std::int32_t kLanguageJapanese = 1;
    static constexpr std::int32_t kLanguageEnglish = 2;

    // The layout the engine gets: off unless both cell sides are set.
    CellLayout cellLayout() const
    {
        if (CellWidth <= 0 || CellHeight <= 0)
            return {};
        return {CellWidth, CellHeight, CellMargin, CellSpacing, CellWrap};
    }
    // Writes `layout` into the cell fields; an off layout keeps margin,
    // spacing and wrap for the next time cell mode is turned on.
    void setCellLayout(const CellLayout& layout)
    {
        CellWidth = layout.cellWidth;
        CellHeight = layout.cellHeight;
        if (layout.enabled()) {
            CellMargin = layout.margin;
            CellSpacing = layout.spacing;
            CellWrap = layout.wrap;
        }
    }
};

} // namespace gridmint
