// Where automatic saves go, and that they never replace the source.
#include "app/SaveNaming.h"

#include "DocTestUtil.h"
#include "app/StatusText.h"

#include <fstream>
#include <gtest/gtest.h>

namespace gridmint::testing {
namespace {

namespace fs = std::filesystem;

TEST(SaveNaming, ExtensionIsKeptOnlyWhenExactlyLowerCase)
{
    EXPECT_EQ(SaveExtension("a.png"), ".png");
    EXPECT_EQ(SaveExtension("a.bmp"), ".bmp");
    EXPECT_EQ(SaveExtension("a.pcx"), ".pcx");
    EXPECT_EQ(SaveExtension("a.BMP"), ".png");
    EXPECT_EQ(SaveExtension("b.PCX"), ".png");
    EXPECT_EQ(SaveExtension("c.gif"), ".png");
    EXPECT_EQ(SaveExtension("noext"), ".png");
    EXPECT_EQ(SaveExtension("dir/.bmp"), ".bmp");
    EXPECT_EQ(AutoSavePath("art/.bmp", "").file, fs::path("art/OUTPUT/.bmp"));
}

TEST(SaveNaming, OutputFolderOrDefaultFolder)
{
    ScratchDir dir;
    const fs::path art = dir / "art";
    const fs::path out = dir / "out";
    fs::create_directories(art);
    fs::create_directories(out);
    std::ofstream(dir / "plainfile") << "x";

    AutoSaveTarget t = AutoSavePath(art / "a.png", "");
    EXPECT_EQ(t.file, art / "OUTPUT" / "a.png");
    EXPECT_EQ(t.folderToCreate, art / "OUTPUT");

    t = AutoSavePath(art / "b.PCX", "");
    EXPECT_EQ(t.file, art / "OUTPUT" / "b.png");

    t = AutoSavePath(art / "a.png", out);
    EXPECT_EQ(t.file, out / "a.png");
    EXPECT_TRUE(t.folderToCreate.empty());
    t = AutoSavePath(art / "a.png", out.string() + "/"); // trailing separator
    EXPECT_EQ(fs::path(t.file).lexically_normal(), out / "a.png");

    // A missing folder or a plain file is no default folder.
    EXPECT_EQ(AutoSavePath(art / "a.png", dir / "missing").file, art / "OUTPUT" / "a.png");
    EXPECT_EQ(AutoSavePath(art / "a.png", dir / "plainfile").file, art / "OUTPUT" / "a.png");

    EXPECT_EQ(AutoSavePath(art / "c.bmp", out).file, out / "c.bmp");
    EXPECT_EQ(AutoSavePath(art / "c.BMP", "").file, art / "OUTPUT" / "c.png");
}

TEST(SaveNaming, NeverTheSourceItself)
{
    ScratchDir dir;
    const fs::path art = dir / "art";
    fs::create_directories(art);
    writeImage(art / "a.png", {"0"});
    writeImage(art / "b.BMP", {"0"});

    // The default folder is the source's own folder, named in several ways.
    fs::create_directory_symlink(art, dir / "link-to-art");
    for (const fs::path& folder : {art, art / ".", dir / "link-to-art", art / ".." / "art"}) {
        const AutoSaveTarget t = AutoSavePath(art / "a.png", folder);
        EXPECT_EQ(t.file, art / "OUTPUT" / "a.png") << folder;
        EXPECT_EQ(t.folderToCreate, art / "OUTPUT") << folder;
    }
    // A different name in the same folder is not the source.
    EXPECT_EQ(AutoSavePath(art / "b.BMP", art).file, art / "b.png");

    // An OUTPUT link back to the source folder leaves no safe name.
    fs::create_directory_symlink(art, art / "OUTPUT");
    EXPECT_TRUE(AutoSavePath(art / "a.png", "").file.empty());
}

TEST(StatusText, CountsInTheOrderLeftRightUpDown)
{
    NeighbourStats s;
    s.sameIndex = {1, 2, 3, 4}; // left, top, right, bottom
    s.sameColour = {5, 6, 7, 8};
    s.similarColour = {9, 10, 11, 12345};
    EXPECT_EQ(FormatStatusText(s), "同インデックス [ 左    1, 右    3, 上    2, 下    4 ] "
                                   "同色 [ 左    5, 右    7, 上    6, 下    8 ] "
                                   "近似色 [ 左    9, 右   11, 上   10, 下 12345 ]");
}

} // namespace
} // namespace gridmint::testing
