// Crash safety of shapefile rewrites: kills at random moments, full disks, and the recovery of
// whatever an interrupted flush left behind.
#include "database/ShapefileDatabase.h"
#include "geometry/Files.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

// Lines of 50 vertices; large enough that a flush takes a while.
GShapefileImages BigLines(int lines, double shift)
{
    GShapefile file;
    const auto header = EmptyShapefileHeader(3);
    file.OpenImages("memory.shp", header, header);
    for (int i = 0; i < lines; ++i)
    {
        auto line = std::make_unique<GLine>();
        for (int part = 0; part < 2; ++part)
        {
            auto points = std::make_unique<GPointList>();
            for (int k = 0; k < 25; ++k)
                points->Add(std::make_unique<GPoint>(i * 10.0 + k + shift, part * 5.0 - k - shift));
            line->Parts.Add(std::move(points));
        }
        file.AppendShape(std::move(line));
    }
    return file.SaveToImages();
}

// Whether the ".shp" at shp and its ".shx" hold exactly this pair.
bool Holds(const std::string& shp, const GShapefileImages& pair)
{
    return ReadBytes(shp) == pair.Shp && ReadBytes(shp.substr(0, shp.size() - 1) + "x") == pair.Shx;
}

void WritePair(const std::string& shp, const GShapefileImages& pair)
{
    WriteBytes(shp, pair.Shp);
    WriteBytes(shp.substr(0, shp.size() - 1) + "x", pair.Shx);
}

// Flushes target over path in a child process; the child ends with _exit (no test machinery).
pid_t StartFlushChild(const std::string& path, const GShapefileImages& target)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        int code = 0;
        try
        {
            GShapefile file;
            file.OpenImages(path, target.Shp, target.Shx);
            file.Flush();
        }
        catch (...)
        {
            code = 3;
        }
        ::_exit(code);
    }
    return pid;
}

} // namespace

TEST(ShapefileCrashSafety, KillDuringFlushLeavesExactlyTheOldOrTheNewPairOrWhatWasRestored)
{
    ScratchFolder folder;
    const std::string shp = folder / "big.shp";
    const GShapefileImages states[2] = {BigLines(8000, 0.0), BigLines(8000, 0.5)};
    WritePair(shp, states[0]);

    // How long an undisturbed flush takes, so that the kills spread over all of it.
    auto started = std::chrono::steady_clock::now();
    pid_t pid = StartFlushChild(shp, states[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
    ASSERT_TRUE(Holds(shp, states[1]));
    int current = 1;

    std::mt19937 random(20240611);
    std::uniform_int_distribution<long long> delay(0, full + full / 4);
    for (int round = 0; round < 25; ++round)
    {
        SCOPED_TRACE(round);
        const int target = 1 - current;
        pid = StartFlushChild(shp, states[target]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);

        if (round % 2 == 1)
        {
            // The originals restored from a backup before anything opened the files again: no
            // recovery may put the killed run's output over them.
            WritePair(shp, states[current]);
            EXPECT_TRUE(GShapefile().Open(shp));
            ASSERT_TRUE(Holds(shp, states[current])) << "a restored pair was overwritten";
            EXPECT_EQ(folder.Files(), (std::vector<std::string>{"big.shp", "big.shx"}));
            continue;
        }
        GShapefile::RecoverInterruptedFlush(shp);
        const bool isOld = Holds(shp, states[current]);
        const bool isNew = Holds(shp, states[target]);
        ASSERT_TRUE(isOld || isNew) << "torn pair after a kill";
        EXPECT_EQ(folder.Files(), (std::vector<std::string>{"big.shp", "big.shx"}));
        if (isNew)
            current = target;
        EXPECT_TRUE(GShapefile().Open(shp)); // and the survivor opens cleanly
    }
}

TEST(ShapefileCrashSafety, FullDiskLeavesTheOriginalUntouched)
{
    ScratchFolder folder;
    // Failures while writing the ".shp", the ".shx" and the commit marker; then a real full
    // filesystem, where one can be mounted.
    const std::string mount = folder / "small";
    std::filesystem::create_directories(mount);
    const bool mounted =
        ::geteuid() == 0 &&
        std::system(("mount -t tmpfs -o size=2560k tmpfs \"" + mount + "\" 2>/dev/null").c_str()) ==
            0;
    // Unmounted however the test ends: a filesystem left mounted would fail every later run at
    // its set-up.
    struct Unmount
    {
        bool Mounted;
        std::string Path;
        ~Unmount()
        {
            if (Mounted)
                (void)std::system(("umount \"" + Path + "\" 2>/dev/null").c_str());
        }
    } unmount{mounted, mount};
    // About 1.7 MB each, past the file buffer; the new pair does not fit beside the old one.
    const GShapefileImages before = BigLines(2000, 0.0);
    const GShapefileImages after = BigLines(2000, 1.0);
    const std::uint64_t total = after.Shp.size() + after.Shx.size();
    std::vector<std::optional<std::uint64_t>> limits = {
        0, 50, 4096, after.Shp.size() - 1, after.Shp.size() + 10, total, total + 3};
    if (mounted)
        limits.push_back(std::nullopt);
    for (const auto& limit : limits)
    {
        SCOPED_TRACE(limit ? std::to_string(*limit) : "real");
        const std::string dir = limit ? folder.Path().string() : mount;
        WritePair(dir + "/p.shp", before);
        GShapefile file;
        file.OpenImages(dir + "/p.shp", after.Shp, after.Shx);
        GAtomicFile::InjectFailureAfter(limit);
        EXPECT_THAT(MessageOf<GFileException>([&] { file.Flush(); }),
                    ::testing::HasSubstr("No space left on device"));
        GAtomicFile::InjectFailureAfter(std::nullopt);
        EXPECT_TRUE(Holds(dir + "/p.shp", before));
        EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"p.shp", "p.shx"}));
    }
    if (mounted)
    {
        // On a read-only filesystem the shapefile still opens (there is nothing to recover).
        if (std::system(("mount -o remount,ro \"" + mount + "\"").c_str()) == 0)
        {
            EXPECT_NO_THROW(GShapefile().Open(mount + "/p.shp"));
        }
    }
}

namespace
{

// Flushes pair over shp in a child process that ends (as a crash would) when the commit reaches
// the step whose name starts with stop.
void InterruptedFlush(const std::string& shp, const GShapefileImages& pair, const std::string& stop)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        GFileSetCommit::SetStepHook(
            [&](const std::string& step)
            {
                if (step.rfind(stop, 0) == 0)
                    ::_exit(0);
            });
        try
        {
            GShapefile file;
            file.OpenImages(shp, pair.Shp, pair.Shx);
            file.Flush();
        }
        catch (...)
        {
        }
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "never reached " << stop;
}

std::string Joined(const std::vector<std::string>& notices)
{
    std::string text;
    for (const auto& notice : notices)
        text += notice + "\n";
    return text;
}

} // namespace

TEST(ShapefileCrashSafety, RecoveryFinishesWhatIsIntactAndNeverOverwritesWhatChangedSince)
{
    ScratchFolder folder;
    const std::string shp = folder / "r.shp";
    const GShapefileImages oldPair = BigLines(3, 0.0);
    const GShapefileImages newPair = BigLines(3, 2.0);
    auto reset = [&]
    {
        for (const auto& name : folder.Files())
            std::filesystem::remove(folder / name);
        WritePair(shp, oldPair);
    };
    const std::vector<std::string> pairOnly{"r.shp", "r.shx"};

    // Killed before the commit marker: the new files were never valid.
    reset();
    InterruptedFlush(shp, newPair, "staged");
    EXPECT_EQ(folder.Files().size(), 4u); // the staged pair beside the old one
    EXPECT_TRUE(GShapefile().Open(shp));
    EXPECT_TRUE(Holds(shp, oldPair));
    EXPECT_EQ(folder.Files(), pairOnly);

    // Killed with the marker written: a dry run (no recovery) reads the old pair and says so,
    // changing nothing; an open for writing completes the commit.
    reset();
    InterruptedFlush(shp, newPair, "marker");
    const std::vector<std::string> leftovers = folder.Files();
    GShapefile dryRun;
    dryRun.SetRecoverOnOpen(false);
    ASSERT_TRUE(dryRun.Open(shp));
    EXPECT_THAT(Joined(dryRun.TakeNotices()), HasSubstr("a run was interrupted while replacing"));
    EXPECT_TRUE(Holds(shp, oldPair));
    EXPECT_EQ(folder.Files(), leftovers);
    GShapefile writer;
    ASSERT_TRUE(writer.Open(shp));
    EXPECT_THAT(Joined(writer.TakeNotices()), HasSubstr("was completed"));
    EXPECT_TRUE(Holds(shp, newPair));
    EXPECT_EQ(folder.Files(), pairOnly);

    // Killed between the two renames: the pair on disk is torn, and a dry run refuses it.
    reset();
    InterruptedFlush(shp, newPair, "renamed " + shp);
    EXPECT_THAT(MessageOf<GShapefileException>([&] { dryRun.Open(shp); }),
                HasSubstr("they do not belong together and are not read"));
    EXPECT_EQ(ReadBytes(shp), newPair.Shp);
    EXPECT_EQ(ReadBytes(folder / "r.shx"), oldPair.Shx);
    ASSERT_TRUE(GShapefile().Open(shp));
    EXPECT_TRUE(Holds(shp, newPair));

    // Restored from a backup after the kill: the restored pair is kept, the leftovers go.
    reset();
    InterruptedFlush(shp, newPair, "marker");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    WritePair(shp, oldPair);
    ASSERT_TRUE(writer.Open(shp));
    const std::string notices = Joined(writer.TakeNotices());
    EXPECT_THAT(notices, HasSubstr("have changed since; the leftovers were removed"));
    EXPECT_THAT(notices, HasSubstr("r.shp.new~"));
    EXPECT_TRUE(Holds(shp, oldPair));
    EXPECT_EQ(folder.Files(), pairOnly);

    // A marker of the older form, naming no identities, is rolled forward as it always was.
    reset();
    WriteBytes(shp + ".new~", newPair.Shp);
    WriteBytes(folder / "r.shx.new~", newPair.Shx);
    WriteText(shp + ".commit~", "r.shp\nr.shx\n");
    ASSERT_TRUE(GShapefile().Open(shp));
    EXPECT_TRUE(Holds(shp, newPair));
    EXPECT_EQ(folder.Files(), pairOnly);
}
