#include "geometry/Platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>

namespace quorvalis
{
namespace
{

namespace fs = std::filesystem;
using namespace platform;

// A folder of its own for each test, named outside ASCII as a job folder may be.
class PlatformTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder_ = Utf8FromPath(fs::temp_directory_path()) + "/quorvalis-platform-" +
                  std::to_string(std::random_device()()) + " \u2013 " +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(PathFromUtf8(folder_));
    }
    void TearDown() override { fs::remove_all(PathFromUtf8(folder_)); }

    static std::string Written(const std::string& path, const std::string& contents)
    {
        GNativeFile file;
        EXPECT_FALSE(file.CreateForWriting(path));
        EXPECT_FALSE(file.Write(contents.data(), contents.size()));
        EXPECT_FALSE(file.FlushToDisk());
        EXPECT_FALSE(file.Close());
        return path;
    }
    static std::string Read(const std::string& path)
    {
        GNativeFile file;
        if (file.OpenForReading(path))
            return "(cannot open)";
        std::string text;
        char buffer[7]; // small, so that reading takes several calls
        std::size_t n = 0;
        while (!file.Read(buffer, sizeof buffer, n) && n > 0)
            text.append(buffer, n);
        return text;
    }

    std::string folder_;
};

TEST_F(PlatformTest, FilesAreWrittenReadAndReplacedInOneStep)
{
    const std::string data = Written(folder_ + "/\u00e9\u00e9n.dat", "0123456789abcdef");
    EXPECT_EQ(Read(data), "0123456789abcdef");

    GNativeFile file;
    ASSERT_FALSE(file.OpenForReading(data));
    GFileStatus status;
    ASSERT_FALSE(file.Status(status));
    EXPECT_EQ(status.Size, 16u);
    EXPECT_TRUE(status.Regular);
    EXPECT_EQ(status.Links, 1u);
    char middle[4] = {};
    std::size_t n = 0;
    ASSERT_FALSE(file.ReadAt(10, middle, sizeof middle, n));
    EXPECT_EQ(std::string(middle, n), "abcd");
    ASSERT_FALSE(file.ReadAt(16, middle, sizeof middle, n));
    EXPECT_EQ(n, 0u); // at the end

    const std::string replacement = Written(data + ".tmp~", "new");
#if defined(_WIN32)
    EXPECT_FALSE(file.Close()); // Windows (Wine at least) replaces no file open elsewhere
#endif
    ASSERT_FALSE(RenameOver(replacement, data));
    SyncFolderOf(data);
    EXPECT_EQ(Read(data), "new");
#if !defined(_WIN32)
    // POSIX takes the name while a reader still holds the old file open; the reader keeps what
    // it opened.
    ASSERT_FALSE(file.ReadAt(0, middle, sizeof middle, n));
    EXPECT_EQ(std::string(middle, n), "0123");
    EXPECT_FALSE(file.Close());
#endif

    GFileStatus byName;
    ASSERT_FALSE(FileStatusOf(data, byName));
    EXPECT_EQ(byName.Size, 3u);
    EXPECT_TRUE(byName.OwnerMayWrite);
    EXPECT_EQ(FileStatusOf(data + ".tmp~", byName), std::errc::no_such_file_or_directory);
    EXPECT_EQ(FileStatusOf(folder_ + "/none/x", byName), std::errc::no_such_file_or_directory);
    EXPECT_EQ(RenameOver(folder_ + "/none", data), std::errc::no_such_file_or_directory);
    EXPECT_EQ(Read(data), "new");

    std::optional<std::string> target = "stale";
    EXPECT_FALSE(ReadLinkTarget(data, target));
    EXPECT_FALSE(target); // no link
    EXPECT_FALSE(MakeHardLink(data, folder_ + "/tweede"));
    ASSERT_FALSE(FileStatusOf(data, byName));
    EXPECT_EQ(byName.Links, 2u);
    EXPECT_FALSE(RemoveFileIfPresent(folder_ + "/tweede"));
    EXPECT_FALSE(RemoveFileIfPresent(folder_ + "/tweede")); // gone already: no failure
    EXPECT_FALSE(fs::exists(PathFromUtf8(folder_ + "/tweede")));

    std::FILE* stdio = OpenStdioFile(data, "rb");
    ASSERT_NE(stdio, nullptr);
    EXPECT_EQ(std::fgetc(stdio), 'n');
    std::fclose(stdio);
    EXPECT_EQ(OpenStdioFile(folder_ + "/none", "rb"), nullptr);
}

TEST_F(PlatformTest, PagesAreZeroedWritableAndReturned)
{
    constexpr std::size_t kSize = (std::size_t{3} << 20) + 5;
    for (const bool populate : {false, true})
    {
        auto* pages = static_cast<unsigned char*>(MapPages(kSize, populate));
        ASSERT_NE(pages, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pages) % 4096, 0u);
        EXPECT_EQ(pages[0] | pages[kSize / 2] | pages[kSize - 1], 0);
        std::memset(pages, 0x5A, kSize);
        EXPECT_EQ(pages[kSize - 1], 0x5A);
        UnmapPages(pages, kSize);
    }
    constexpr std::size_t kArena = std::size_t{8} << 20;
    auto* arena = static_cast<unsigned char*>(MapArena(kArena));
    ASSERT_NE(arena, nullptr);
    std::memset(arena, 1, kArena);
    EXPECT_EQ(arena[kArena - 1], 1);
    UnmapPages(arena, kArena);
    UnmapPages(nullptr, 0);
}

TEST_F(PlatformTest, EnvironmentAndTerminal)
{
    const std::string value = "C:\\Opmetings\\Erf 12 \u2013 Nuwe Uitleg";
    ASSERT_FALSE(SetEnvironmentValue("QUORVALIS_PLATFORM_TEST", value));
    EXPECT_EQ(EnvironmentValue("QUORVALIS_PLATFORM_TEST"), value);
    EXPECT_EQ(EnvironmentValue("QUORVALIS_PLATFORM_TEST_UNSET"), std::nullopt);

    // A file is no terminal; neither is no stream.
    std::FILE* file = OpenStdioFile(folder_ + "/x", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(TerminalColumns(file), 0);
    std::fclose(file);
    EXPECT_EQ(TerminalColumns(nullptr), 0);
}

} // namespace
} // namespace quorvalis
