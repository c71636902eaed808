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

TEST(ShapefileCrashSafety, KillDuringFlushLeavesExactlyTheOldOrTheNewPair)
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
        std::system(("umount \"" + mount + "\"").c_str());
    }
}

TEST(ShapefileCrashSafety, RecoveryRollsForwardWithMarkerAndBackWithout)
{
    ScratchFolder folder;
    const std::string shp = folder / "r.shp";
    const std::string shx = folder / "r.shx";
    const GShapefileImages oldPair = BigLines(3, 0.0);
    const GShapefileImages newPair = BigLines(3, 2.0);
    auto reset = [&]
    {
        for (const auto& name : folder.Files())
            std::filesystem::remove(folder / name);
        WritePair(shp, oldPair);
    };
    struct Case
    {
        const char* what;
        bool marker;
        bool shpStaged;
        bool shxStaged;
        bool expectNew;
    };
    // shpStaged false with a marker: the ".shp" had already been renamed before the crash.
    const Case cases[] = {
        {"both staged, no marker", false, true, true, false},
        {"one staged, no marker", false, true, false, false},
        {"both staged, marker", true, true, true, true},
        {"shp renamed, shx staged, marker", true, false, true, true},
        {"both renamed, marker left", true, false, false, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        reset();
        if (c.marker && !c.shpStaged)
            WriteBytes(shp, newPair.Shp);
        if (c.marker && !c.shxStaged)
            WriteBytes(shx, newPair.Shx);
        if (c.shpStaged)
            WriteBytes(shp + ".new~", newPair.Shp);
        if (c.shxStaged)
            WriteBytes(shx + ".new~", newPair.Shx);
        if (c.marker)
            WriteText(shp + ".commit~", "r.shp\nr.shx\n");
        WriteText(shp + ".new~.tmp~", "half written"); // never trusted
        WriteText(shp + ".commit~.tmp~", "half");

        GShapefile file;
        ASSERT_TRUE(file.Open(shp)); // opening recovers
        EXPECT_TRUE(Holds(shp, c.expectNew ? newPair : oldPair));
        EXPECT_EQ(folder.Files(), (std::vector<std::string>{"r.shp", "r.shx"}));
    }
}
