// The seven user settings. The record is plain data here so that the
// command line can share its defaults; loading and saving it (QSettings)
// live in the desktop layer.
#pragma once

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

    static constexpr std::int32_t kMinScale = 2;
    static constexpr std::int32_t kMaxScale = 32;
    static constexpr std::size_t kMaxFolderLength = 2599;
};

} // namespace gridmint
