#include "app/SaveNaming.h"

#include <string_view>
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

std::filesystem::path fromUtf8(const std::string& text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::filesystem::path fileName(const std::filesystem::path& loaded)
{
    return fromUtf8(SplitName(loaded).base + SaveExtension(loaded));
}

} // namespace

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    // Compared by identity, not by text.
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

NameParts SplitName(const std::filesystem::path& path)
{
    const std::u8string name8 = path.filename().u8string();
    std::string name(name8.begin(), name8.end());
    if (name == "." || name == "..")
        return {name, ""};
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return {name, ""};
    return {name.substr(0, dot), name.substr(dot)};
}

std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string SaveExtension(const std::filesystem::path& loaded)
{
    const NameParts parts = SplitName(loaded);
    const std::string_view ext = parts.ext;
    for (const std::string_view known : {".png", ".bmp", ".pcx"}) {
        if (ext == known)
            return std::string(known);
    }
    return ".png";
}

AutoSaveTarget AutoSavePath(const std::filesystem::path& loaded,
                            const std::filesystem::path& defaultFolder)
{
    AutoSaveTarget target;
    if (isFolder(defaultFolder)) {
        target.file = defaultFolder / fileName(loaded);
        if (!SameFile(target.file, loaded))
            return target;
    }
    target.folderToCreate = loaded.parent_path() / "OUTPUT";
    target.file = target.folderToCreate / fileName(loaded);
    // Only a link named OUTPUT pointing back at the source's own folder gets
    // here; there is no safe name then.
    if (SameFile(target.file, loaded))
        target.file.clear();
    return target;
}

} // namespace gridmint
