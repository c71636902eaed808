#include "geometry/Files.h"

#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvalis
{
namespace
{

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("quorvalis-files-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        GAtomicFile::InjectFailureAfter(std::nullopt);
        fs::remove_all(folder_);
    }
    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
    static void Put(const std::string& path, const std::string& contents)
    {
        std::ofstream(path, std::ios::binary) << contents;
    }
    static std::string Get(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path folder_;
};

TEST_F(FilesTest, CountLinesTable)
{
    const std::vector<std::pair<std::string, int>> rows = {
        {"", 0},           {"a", 1},    {"a\n", 1},  {"a\nb", 2},
        {"a\r\nb\r\n", 2}, {"a\rb", 2}, {"\n\n", 2}, {"x\r\n\r\ny", 3},
    };
    for (const auto& [contents, lines] : rows)
    {
        Put(PathOf("lines.txt"), contents);
        EXPECT_EQ(CountLines(PathOf("lines.txt")), lines) << '"' << contents << '"';
    }
    EXPECT_EQ(CountLines(PathOf("missing.txt")), 0);
    EXPECT_THROW(CountLines(folder_.string()), GFileException); // exists, cannot be read
}

TEST_F(FilesTest, CommitReplacesTheTargetKeepingItsMode)
{
    const std::string target = PathOf("out.txt");
    Put(target, "old");
    ::chmod(target.c_str(), 0640);
    std::string expected;
    {
        GAtomicFile file(target);
        EXPECT_EQ(file.TemporaryPath(), target + ".tmp~");
        for (int i = 0; i < 200000; ++i) // many small writes through the buffer
        {
            const std::string record = std::to_string(i) + "\n";
            file.Write(record);
            expected += record;
        }
        EXPECT_EQ(file.Size(), expected.size());
        EXPECT_EQ(Get(target), "old"); // untouched until the commit
        file.Commit();
        file.Commit(); // a second commit does nothing
    }
    EXPECT_EQ(Get(target), expected);
    struct stat status
    {
    };
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640U);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.txt"});
    WriteFileAtomically(target, "short");
    EXPECT_EQ(Get(target), "short");
}

TEST_F(FilesTest, FailuresLeaveTheOriginalAndNoTemporary)
{
    const std::string target = PathOf("out.txt");
    Put(target, "original");
    {
        GAtomicFile file(target);              // never committed
        file.Write(std::string(3 << 20, 'x')); // past the buffer: really on disk
        file.Sync();
    }
    GAtomicFile::InjectFailureAfter(100);
    const std::string message = MessageOf<GFileException>(
        [&]
        {
            GAtomicFile file(target);
            for (int i = 0; i < 10; ++i)
                file.Write("0123456789abcdef");
            file.Commit();
        });
    EXPECT_EQ(message, "Cannot write file \"" + target + ".tmp~\": No space left on device");
    EXPECT_EQ(Get(target), "original");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.txt"});

    // Large writes bypass the buffer and fail at once.
    GAtomicFile::InjectFailureAfter(0);
    GAtomicFile big(target);
    EXPECT_THROW(big.Write(std::string(2 << 20, 'y')), GFileException);
    EXPECT_THROW(big.Commit(), GFileException);

    const std::string nowhere = PathOf("no-such-folder/out.txt");
    EXPECT_EQ(MessageOf<GFileException>([&] { GAtomicFile file(nowhere); }),
              "Cannot create file \"" + nowhere + ".tmp~\": No such file or directory");
}

} // namespace
} // namespace quorvalis
