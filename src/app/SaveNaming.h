// Where an automatic save (and gridmint-cli's default output) goes.
#pragma once

#include <filesystem>
#include <string>

namespace gridmint {

// A file name split as the platform's path splitter does it: the extension
// runs from the last dot of the name to its end (".png" for a file named
// ".png", where std::filesystem would see a stem), the base name is the rest.
struct NameParts {
    std::string base; // UTF-8
    std::string ext;  // UTF-8, with its dot; empty when the name has none
};
NameParts SplitName(const std::filesystem::path& path);

// True when both paths name one existing file, however they are written
// ("./a.png", links, folders that ignore case).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// A path as UTF-8 text, for messages (never throws on Windows).
std::string Utf8(const std::filesystem::path& path);

// The loaded path's extension when it is exactly ".png", ".bmp" or ".pcx"
// (case-sensitive), otherwise ".png".
std::string SaveExtension(const std::filesystem::path& loaded);

struct AutoSaveTarget {
    std::filesystem::path file;
    // The "OUTPUT" folder to create first (one level), empty when the
    // default folder is used.
    std::filesystem::path folderToCreate;
};

// The automatic-save target, also what "save as" proposes: the default folder when it is an
// existing directory, else the "OUTPUT" folder beside the source. Never the loaded file itself:
// when the default folder would overwrite it, the "OUTPUT" folder is used instead. `file` is empty
// in the one case where that would be the loaded file as well (an "OUTPUT" link back to the
// source's folder): saving to it then fails instead of overwriting the source.
AutoSaveTarget AutoSavePath(const std::filesystem::path& loaded,
                            const std::filesystem::path& defaultFolder);

} // namespace gridmint
