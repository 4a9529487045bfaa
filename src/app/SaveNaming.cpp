#include "app/SaveNaming.h"

#include <system_error>

namespace gridmint {

namespace {

// An empty setting, a missing folder and a plain file of that name all
// count as "no default folder".
bool isFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    return !folder.empty() && std::filesystem::is_directory(folder, ec);
}

// Compared by identity, not by text: "./a.png", links and folders that
// ignore case all name the same file.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

std::filesystem::path fileName(const std::filesystem::path& loaded)
{
    std::filesystem::path name = loaded.stem();
    name += SaveExtension(loaded);
    return name;
}

} // namespace

std::string SaveExtension(const std::filesystem::path& loaded)
{
    const std::u8string ext = loaded.extension().u8string();
    if (ext == u8".png" || ext == u8".bmp" || ext == u8".pcx")
        return std::string(ext.begin(), ext.end());
    return ".png";
}

std::filesystem::path ProposedSavePath(const std::filesystem::path& loaded,
                                       const std::filesystem::path& defaultFolder)
{
    if (isFolder(defaultFolder))
        return defaultFolder / fileName(loaded);
    return loaded.parent_path() / fileName(loaded);
}

AutoSaveTarget AutoSavePath(const std::filesystem::path& loaded,
                            const std::filesystem::path& defaultFolder)
{
    AutoSaveTarget target;
    if (isFolder(defaultFolder)) {
        target.file = defaultFolder / fileName(loaded);
        if (!sameFile(target.file, loaded))
            return target;
    }
    target.folderToCreate = loaded.parent_path() / "OUTPUT";
    target.file = target.folderToCreate / fileName(loaded);
    // Only a link named OUTPUT pointing back at the source's own folder gets
    // here; there is no safe name then.
    if (sameFile(target.file, loaded))
        target.file.clear();
    return target;
}

} // namespace gridmint
