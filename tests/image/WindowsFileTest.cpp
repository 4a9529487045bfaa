// What only Windows can show about saving and reading files: the replace
// over an existing or read-only file, and files that another program holds
// open (Windows refuses a rename over them, and readers open exclusively).
#include "TestSupport.h"
#include "image/Platform.h"

#include <windows.h>

namespace gridmint::test {
namespace {

namespace fs = std::filesystem;

const Bytes kOld = {1, 2, 3};
const Bytes kNew = {9, 8, 7, 6};

// A handle another program would hold, closed at the end of the scope.
class Held {
public:
    Held(const fs::path& path, DWORD access, DWORD share)
        : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~Held() { close(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    void close()
    {
        if (isOpen())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

TEST(WindowsFiles, ReplaceOverAnExistingFileLeavesOnlyTheNewContents)
{
    TempDir dir;
    writeBytes(dir / "pic.png", kOld);
    ASSERT_TRUE(platform::replaceFileContents(dir / "pic.png", kNew));
    EXPECT_EQ(readBytes(dir / "pic.png"), kNew);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"pic.png"});
}

TEST(WindowsFiles, ReadOnlyFileIsRefusedAndKept)
{
    TempDir dir;
    const fs::path target = dir / "locked.png";
    writeBytes(target, kOld);
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(platform::replaceFileContents(target, kNew));
    EXPECT_EQ(readBytes(target), kOld);
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"locked.png"});
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL); // so the folder can go
}

TEST(WindowsFiles, FileHeldOpenByAnotherReaderIsNeitherReplacedNorDamaged)
{
    TempDir dir;
    const fs::path target = dir / "shown.png";
    writeBytes(target, kOld);
    // As an image viewer holds a file: reading, sharing only reading.
    Held viewer(target, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(viewer.isOpen());
    EXPECT_FALSE(platform::replaceFileContents(target, kNew));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"shown.png"}); // no temporary left
    viewer.close();
    EXPECT_EQ(readBytes(target), kOld);
    EXPECT_TRUE(platform::replaceFileContents(target, kNew));
    EXPECT_EQ(readBytes(target), kNew);
}

TEST(WindowsFiles, ReadingFailsCleanlyWhileAnotherProgramWritesTheFile)
{
    TempDir dir;
    const fs::path target = dir / "busy.png";
    fs::copy_file(fixture("png_d8_gamma05.png"), target);
    {
        // Reads open the file for themselves alone, so a half-written file
        // is never decoded.
        Held writer(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(writer.isOpen());
        EXPECT_EQ(errorCode([&] { readPng(target); }), 2);
        EXPECT_EQ(platform::openForRead(target), -1);
    }
    EXPECT_NE(readPng(target), nullptr);
}

} // namespace
} // namespace gridmint::test
