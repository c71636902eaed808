#include "geometry/Files.h"
#include "geometry/Platform.h"

#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

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
        folder_ =
            fs::temp_directory_path() /
            ("quorvalis-files-" + std::to_string(std::random_device()()) + "-" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        GAtomicFile::InjectFailureAfter(std::nullopt);
        fs::remove_all(folder_);
    }
    // Paths are UTF-8 strings, as everywhere in the program.
    std::string PathOf(const std::string& name) const
    {
        return platform::Utf8FromPath(folder_ / platform::PathFromUtf8(name));
    }
    static void Put(const std::string& path, const std::string& contents)
    {
        std::ofstream(platform::PathFromUtf8(path), std::ios::binary) << contents;
    }
    static std::string Get(const std::string& path)
    {
        std::ifstream in(platform::PathFromUtf8(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> Names(const std::string& subfolder = {}) const
    {
        std::vector<std::string> names;
        for (const auto& entry :
             fs::directory_iterator(folder_ / platform::PathFromUtf8(subfolder)))
            names.push_back(platform::Utf8FromPath(entry.path().filename()));
        std::sort(names.begin(), names.end());
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
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(platform::PathFromUtf8(target), mode);
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
#if !defined(_WIN32) // Windows has no permission bits to keep
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, mode);
#endif
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

    // The system's own words follow the file's name (Windows says them its own way).
    const std::string nowhere = PathOf("no-such-folder/out.txt");
    const std::string refusal = MessageOf<GFileException>([&] { GAtomicFile file(nowhere); });
    const std::string named = "Cannot create file \"" + nowhere + ".tmp~\": ";
    EXPECT_EQ(refusal.substr(0, named.size()), named);
#if !defined(_WIN32)
    EXPECT_EQ(refusal, named + "No such file or directory");
#endif
}

TEST_F(FilesTest, LinksAreResolvedAndTheFileTheyNameIsReplaced)
{
    fs::create_directories(folder_ / "real");
    const std::string real = PathOf("real/data.txt");
    Put(real, "old");
    std::error_code unsupported;
    fs::create_symlink("real/data.txt", PathOf("step"), unsupported);
    if (unsupported || !fs::is_symlink(PathOf("step")))
        GTEST_SKIP() << "this system makes no symbolic links here: " << unsupported.message();
    fs::create_symlink("step", PathOf("link.txt")); // a chain, relative to each link's folder
    EXPECT_EQ(ResolveSymbolicLinks(PathOf("link.txt")), (folder_ / "real/data.txt").string());
    EXPECT_EQ(ResolveSymbolicLinks(real), real);
    {
        GAtomicFile file(PathOf("link.txt"));
        EXPECT_EQ(file.TargetPath(), (folder_ / "real/data.txt").string());
        EXPECT_EQ(file.TemporaryPath(), file.TargetPath() + ".tmp~");
        file.Write("new");
        file.Commit();
    }
    EXPECT_TRUE(fs::is_symlink(PathOf("link.txt")));
    EXPECT_EQ(Get(real), "new");
    // A link to a file not there yet creates it where the link points.
    fs::create_symlink("real/later.txt", PathOf("later"));
    WriteFileAtomically(PathOf("later"), "made");
    EXPECT_EQ(Get(PathOf("real/later.txt")), "made");
    EXPECT_TRUE(fs::is_symlink(PathOf("later")));

    fs::create_symlink("loop", PathOf("loop"));
    EXPECT_THROW(ResolveSymbolicLinks(PathOf("loop")), GFileException);
    fs::create_hard_link(real, PathOf("second-name"));
    EXPECT_EQ(HardLinkCount(PathOf("link.txt")), 2u);
}

TEST_F(FilesTest, HardLinksAreCountedAndTheReadOnlyMarkIsSeen)
{
    const std::string file = PathOf("data.txt");
    Put(file, "old");
    EXPECT_EQ(HardLinkCount(file), 1u);
    LinkOrCopyFile(file, PathOf("second-name"));
    EXPECT_EQ(HardLinkCount(file), 2u);
    EXPECT_EQ(HardLinkCount(PathOf("missing")), 0u);
    EXPECT_TRUE(OwnerMayWrite(file));
    EXPECT_FALSE(OwnerMayWrite(PathOf("missing")));

    // The owner's write bit on POSIX, the read-only attribute on Windows: std::filesystem sets
    // either.
    fs::permissions(platform::PathFromUtf8(file),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(OwnerMayWrite(file));
#if defined(_WIN32)
    // Windows replaces no read-only file: refused, the original and no temporary left.
    EXPECT_THROW(WriteFileAtomically(file, "new"), GFileException);
    EXPECT_EQ(Get(file), "old");
#else
    // POSIX replaces the name; the new content keeps the mode.
    WriteFileAtomically(file, "new");
    EXPECT_EQ(Get(file), "new");
    EXPECT_FALSE(OwnerMayWrite(file));
#endif
    EXPECT_EQ(Names(), (std::vector<std::string>{"data.txt", "second-name"}));
    for (const std::string& name : {file, PathOf("second-name")}) // Windows removes neither else
        fs::permissions(platform::PathFromUtf8(name), fs::perms::owner_write,
                        fs::perm_options::add);
    EXPECT_TRUE(OwnerMayWrite(file));
}

TEST_F(FilesTest, PathsAreUtf8Throughout)
{
    // A job folder as surveyors name them, and a file name outside ASCII.
    const std::string job = "Erf 12 \u2013 Nuwe Uitleg";
    fs::create_directories(folder_ / platform::PathFromUtf8(job));
    const std::string data = PathOf(job + "/Grens \u00eb.txt");
    const std::string index = PathOf(job + "/Grens \u00eb.idx");
    WriteFileAtomically(data, "a\nb\n");
    EXPECT_EQ(CountLines(data), 2);
    EXPECT_EQ(ResolveSymbolicLinks(data), data);
    EXPECT_TRUE(OwnerMayWrite(data));
    EXPECT_EQ(HardLinkCount(data), 1u);
    ASSERT_TRUE(FileIdentityOf(data));
    EXPECT_EQ(FileIdentityOf(data)->Size, 4u);

    // The names the system holds are the characters meant, not bytes of another code page.
    // (std::filesystem's own UTF-8 form, independent of the program's conversions)
    std::vector<std::string> onDisk;
    for (const auto& entry : fs::directory_iterator(folder_))
    {
        const std::u8string name = entry.path().filename().u8string();
        onDisk.emplace_back(name.begin(), name.end());
    }
    EXPECT_EQ(onDisk, std::vector<std::string>{job});

    const std::string marker = data + ".commit~";
    {
        GFileSetCommit commit(marker);
        commit.Replace(data).Write("new");
        commit.Replace(index).Write("index");
        commit.Commit();
    }
    EXPECT_EQ(std::tuple(Get(data), Get(index)), std::tuple("new", "index"));
    EXPECT_EQ(Names(job), (std::vector<std::string>{"Grens \u00eb.idx", "Grens \u00eb.txt"}));
    EXPECT_EQ(RecoverFileSet(marker, false).Result, GFileSetRecovery::NoMarker);
    LinkOrCopyFile(data, PathOf(job + "/kopie \u00e9.txt"));
    EXPECT_EQ(Get(PathOf(job + "/kopie \u00e9.txt")), "new");
}

TEST_F(FilesTest, ContentHashAndIdentityDoNotDependOnHowTheBytesArrive)
{
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += static_cast<char>(i * 37);
    GContentHash whole;
    whole.Update(bytes.data(), bytes.size());
    for (const std::size_t piece : {1u, 3u, 7u, 8u, 13u, 999u})
    {
        GContentHash pieces;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            pieces.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
        EXPECT_EQ(pieces.Value(), whole.Value()) << piece;
    }
    GContentHash shorter;
    shorter.Update(bytes.data(), bytes.size() - 1);
    EXPECT_NE(shorter.Value(), whole.Value());
    bytes.back() ^= 1;
    GContentHash changed;
    changed.Update(bytes.data(), bytes.size());
    EXPECT_NE(changed.Value(), whole.Value());

    Put(PathOf("a"), bytes);
    const auto identity = FileIdentityOf(PathOf("a"));
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->Size, bytes.size());
    EXPECT_EQ(identity->Hash, changed.Value());
    EXPECT_FALSE(FileIdentityOf(PathOf("none")));
}

TEST_F(FilesTest, FileSetsCommitTogetherAndRecoveryTellsWhatItFound)
{
    const std::string a = PathOf("a.dat");
    const std::string b = PathOf("b.dat");
    const std::string gone = PathOf("gone.idx");
    const std::string marker = PathOf("a.dat.commit~");
    const auto reset = [&]
    {
        for (const auto& name : Names())
            fs::remove(folder_ / name);
        Put(a, "old a");
        Put(b, "old b");
        Put(gone, "old index");
    };
    // Runs a commit that stops (as a crash would, by an exception out of the hook) at step.
    const auto interrupted = [&](const std::string& stop)
    {
        reset();
        GFileSetCommit::SetStepHook(
            [&](const std::string& step)
            {
                if (step.rfind(stop, 0) == 0)
                    throw std::runtime_error("crash");
            });
        try
        {
            GFileSetCommit commit(marker);
            commit.Replace(a).Write("new a");
            commit.Replace(b).Write("new b");
            commit.Remove(gone);
            commit.Commit();
        }
        catch (const std::runtime_error&)
        {
        }
        GFileSetCommit::SetStepHook({});
    };

    interrupted("nothing");
    EXPECT_EQ(std::tuple(Get(a), Get(b), fs::exists(gone)), std::tuple("new a", "new b", false));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.dat", "b.dat"}));

    // Stopped before the marker: the staged files go with the object; the old files stay.
    interrupted("staged");
    EXPECT_EQ(std::tuple(Get(a), Get(b)), std::tuple("old a", "old b"));
    EXPECT_EQ(RecoverFileSet(marker, false).Result, GFileSetRecovery::NoMarker);

    // Marker written: inspecting changes nothing; recovering finishes.
    interrupted("marker");
    const auto leftovers = Names();
    EXPECT_EQ(RecoverFileSet(marker, true).Result, GFileSetRecovery::Pending);
    EXPECT_EQ(Names(), leftovers);
    const GFileSetRecovery finished = RecoverFileSet(marker, false);
    EXPECT_EQ(finished.Result, GFileSetRecovery::Finished);
    EXPECT_EQ(finished.Files, (std::vector<std::string>{a, b, gone}));
    EXPECT_EQ(std::tuple(Get(a), Get(b), fs::exists(gone)), std::tuple("new a", "new b", false));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.dat", "b.dat"}));

    // Half renamed: torn while inspecting, finished by recovery.
    interrupted("renamed " + a);
    EXPECT_EQ(RecoverFileSet(marker, true).Result, GFileSetRecovery::Torn);
    EXPECT_EQ(RecoverFileSet(marker, false).Result, GFileSetRecovery::Finished);
    EXPECT_EQ(std::tuple(Get(a), Get(b), fs::exists(gone)), std::tuple("new a", "new b", false));

    // A file changed after the interruption: nothing is overwritten.
    interrupted("marker");
    Put(b, "restored b");
    EXPECT_EQ(RecoverFileSet(marker, true).Result, GFileSetRecovery::Stale);
    const GFileSetRecovery abandoned = RecoverFileSet(marker, false);
    EXPECT_EQ(abandoned.Result, GFileSetRecovery::Abandoned);
    EXPECT_EQ(abandoned.Removed, (std::vector<std::string>{marker, a + ".new~", b + ".new~"}));
    EXPECT_EQ(std::tuple(Get(a), Get(b), Get(gone)),
              std::tuple("old a", "restored b", "old index"));
    EXPECT_EQ(Names().size(), 3u);

    // A marker this version does not write is left alone.
    Put(marker, "a.dat\nb.dat\n");
    EXPECT_EQ(RecoverFileSet(marker, false).Result, GFileSetRecovery::UnknownMarker);
    EXPECT_TRUE(fs::exists(marker));
}

} // namespace
} // namespace quorvalis
