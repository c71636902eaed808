// A run on several threads: the data files, the counts and the report are the bits of a run on
// one thread; a failure is the one the first failing vertex raises; the pool itself.
#include "ProjectTestSupport.h"

#include "database/CorvellDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "project/WorkerPool.h"
#include "transformation/Transformation.h"

#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;

// A job: its files (copied into a fresh folder for every run) and how to open them there.
struct Job
{
    std::string Name;
    std::vector<fs::path> Files;
    std::function<std::unique_ptr<GRecordSet>(const fs::path& folder)> Open;
    std::string LabelField;
};

// Everything a run leaves: the data files, the report and the counts.
struct Outcome
{
    std::vector<std::string> Files;
    std::string Report;
    std::int64_t Shapes = 0, Points = 0, Measured = 0;
    std::uint64_t Least = 0, Mean = 0, Greatest = 0; // bit patterns

    bool operator==(const Outcome&) const = default;
};

// Lo 29 Cape positions spread over several degree sheets around the sample beacons.
struct Positions
{
    std::mt19937_64 random{2029};
    std::uniform_real_distribution<double> x{2790000.0, 2900000.0}, y{20000.0, 130000.0};
    GPoint Next() { return GPoint(x(random), y(random)); }
};

// 100,000 vertices in lines of 1 to 250 vertices, so that batches and chunks end inside lines;
// each labelled in a column LABEL.
void WriteGeneratedLines(const fs::path& folder)
{
    GRecordSetDefinition definition;
    definition.TableName = (folder / "generated.shp").string();
    definition.HasSpatialComponent = true;
    definition.ShapeType = 2;
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("LABEL", fdtString, 11, false));
    auto recordSet = CreateShapefileRecordSet(false, definition.TableName, false, false);
    ASSERT_TRUE(recordSet->CreateTable(definition));
    ASSERT_TRUE(recordSet->Open());
    Positions positions;
    std::uniform_int_distribution<int> length(1, 250);
    for (int vertices = 0, record = 1; vertices < 100000; ++record)
    {
        const int count = std::min(length(positions.random), 100000 - vertices);
        auto part = std::make_unique<GPointList>();
        GPoint at = positions.Next();
        for (int k = 0; k < count; ++k, at.X += 3.25, at.Y -= 1.5)
            part->Add(std::make_unique<GPoint>(at.X, at.Y));
        GLine line;
        line.Parts.Add(std::move(part));
        recordSet->Append();
        recordSet->Fields().FieldByName("LABEL", false).SetAsString("L" + std::to_string(record));
        recordSet->SetShape(line);
        recordSet->Post();
        vertices += count;
    }
    recordSet->Flush();
    recordSet->Close();
}

// 100,000 points of a delimited text file.
void WriteGeneratedText(const fs::path& folder)
{
    std::ofstream out(folder / "generated.txt", std::ios::binary);
    out << "NAME,Y,X,HEIGHT,CODE\n";
    Positions positions;
    char line[96];
    for (int i = 0; i < 100000; ++i)
    {
        const GPoint p = positions.Next();
        std::snprintf(line, sizeof line, "P%d,%.3f,%.3f,1400.00,1\n", i + 1, p.Y, p.X);
        out << line;
    }
}

class ThreadsTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        ASSERT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
        Generated = Folder / "generated";
        fs::create_directories(Generated);
    }

    // Method 0: control coordinates with the ten nearest beacons and weighting; 1: Helmert
    // parameters per degree sheet. Always a verbose report labelled by the job's field.
    Outcome Run(const Job& job, int method, int threads)
    {
        const fs::path folder =
            Folder / (job.Name + "-" + std::to_string(method) + "-" + std::to_string(threads));
        fs::create_directories(folder);
        for (const fs::path& file : job.Files)
            fs::copy_file(file, folder / file.filename());
        GProject project;
        project.SourceDatum = dtCape;
        project.TargetDatum = dtHartebeesthoek;
        project.LocalOrigin = project.TransformationLocalOrigin = 29;
        project.ThreadsOverride = threads;
        EXPECT_TRUE(project.OpenRecordSet(job.Open(folder)));
        project.CalculateExtent();
        project.ProjectTransformation = static_cast<std::uint8_t>(method);
        project.Output = true;
        project.OutputMode = 1;
        project.OutputFileName = (folder / "report.txt").string();
        project.LabelField = job.LabelField;
        GRunCounts counts;
        if (method == 0)
        {
            project.ReadControlBeacons();
            project.SortControlBeacons();
            project.SelectControlBeacons(1, 10, 0.0, true, true, true);
            project.ApplyWeighting = true;
            counts = project.RunControlTransformation();
        }
        else
        {
            project.HelmertMode = 0;
            counts = project.RunHelmertTransformation();
        }
        project.FlushRecordSet();
        project.CloseRecordSet();

        Outcome outcome;
        for (const fs::path& file : job.Files)
            outcome.Files.push_back(ReadFile(folder / file.filename()));
        outcome.Report = ReadFile(folder / "report.txt");
        outcome.Shapes = counts.Shapes;
        outcome.Points = counts.Points;
        outcome.Measured = counts.Shift.Count;
        outcome.Least = std::bit_cast<std::uint64_t>(counts.Shift.Least);
        outcome.Mean = std::bit_cast<std::uint64_t>(counts.Shift.Mean);
        outcome.Greatest = std::bit_cast<std::uint64_t>(counts.Shift.Greatest);
        return outcome;
    }

    static Job Shapefile(const std::string& name, const fs::path& shp)
    {
        std::vector<fs::path> files;
        for (const char* extension : {".shp", ".shx", ".dbf"})
            files.push_back(fs::path(shp).replace_extension(extension));
        const std::string file = shp.filename().string();
        return {name, files,
                [file](const fs::path& folder)
                { return CreateShapefileRecordSet(false, (folder / file).string(), false, false); },
                "LABEL"};
    }

    Job Text(const std::string& name, const fs::path& text) const
    {
        const fs::path definition = Sample("job-points-delimited.def");
        const std::string file = text.filename().string();
        return {name,
                {text, definition},
                [file, definition](const fs::path& folder)
                {
                    return CreateTextFileRecordSet(false, (folder / file).string(),
                                                   (folder / definition.filename()).string(), "X",
                                                   "Y", "", false, false);
                },
                "NAME"};
    }

    // Each job by both methods on 1, 2 and 7 threads: every run like the one on one thread.
    void ExpectSameBits(const std::vector<Job>& jobs)
    {
        for (const Job& job : jobs)
            for (const int method : {0, 1})
            {
                SCOPED_TRACE(job.Name + (method == 0 ? ", control run" : ", sheet run"));
                const Outcome one = Run(job, method, 1);
                EXPECT_GT(one.Points, 0);
                EXPECT_NE(one.Files.front(), ReadFile(job.Files.front())) << "nothing was written";
                for (const int threads : {2, 7})
                    EXPECT_TRUE(Run(job, method, threads) == one) << threads << " threads";
            }
    }

    fs::path Generated;
};

TEST_F(ThreadsTest, SampleJobsGiveTheBitsOfOneThreadOnAnyNumber)
{
    const std::string crd = Sample("job-points.crd");
    ExpectSameBits({
        Shapefile("lines", Sample("job-lines.shp")),
        Shapefile("parcels", Sample("job-parcels.shp")),
        Shapefile("points", Sample("job-points.shp")),
        Text("text", Sample("job-points.txt")),
        {"crd",
         {crd},
         [crd](const fs::path& folder)
         {
             return CreateCorvellRecordSet(false, (folder / fs::path(crd).filename()).string(),
                                           false, false);
         },
         ""},
    });
}

TEST_F(ThreadsTest, GeneratedJobsGiveTheBitsOfOneThreadOnAnyNumber)
{
    ASSERT_NO_FATAL_FAILURE(WriteGeneratedLines(Generated));
    WriteGeneratedText(Generated);
    ExpectSameBits({Shapefile("generated-lines", Generated / "generated.shp"),
                    Text("generated-text", Generated / "generated.txt")});
}

// The extent of shapes a record set lends, looked at where they lie, is the extent of the shapes
// read record by record (as a record set with an OnGetShape hook is read).
TEST_F(ThreadsTest, LentShapesGiveTheExtentOfShapesReadInTurn)
{
    for (const char* name : {"job-lines.shp", "job-points.shp", "job-parcels.shp"})
    {
        SCOPED_TRACE(name);
        const auto extent = [&](bool hooked)
        {
            GProject project;
            EXPECT_TRUE(
                project.OpenRecordSet(CreateShapefileRecordSet(false, Sample(name), false, false)));
            if (hooked)
                project.RecordSet->OnGetShape = [](GRecordSet&, GShape*) {};
            project.CalculateExtent();
            const GRectangle& e = *project.Extent;
            return std::vector<std::uint64_t>{
                std::bit_cast<std::uint64_t>(e.Left()), std::bit_cast<std::uint64_t>(e.Top()),
                std::bit_cast<std::uint64_t>(e.Right()), std::bit_cast<std::uint64_t>(e.Bottom()),
                static_cast<std::uint64_t>(project.ExtentPointCount)};
        };
        const auto lent = extent(false);
        EXPECT_GT(lent.back(), 0u);
        EXPECT_EQ(lent, extent(true));
    }
}

// Records in memory that a run may read ahead; reading fails at FailAtRead (-1 never).
class ReadAheadRecordSet : public MemoryRecordSet
{
public:
    int FailAtRead = -1;

    bool CanReadAhead() const override { return true; }
    std::unique_ptr<GShape> GetShapeAt(std::int32_t index) override
    {
        if (index == FailAtRead)
            throw GDatabaseException("cannot read record " + std::to_string(index));
        const auto& shape = Shapes[static_cast<std::size_t>(index)];
        return shape ? shape->Clone() : nullptr;
    }
};

TEST_F(ThreadsTest, TheFirstFailureInVertexOrderIsRaised)
{
    // 1000 lines of 100 vertices; record 600 holds a vertex no conversion can take, and the
    // storage fails at a read or a post before or after it.
    struct Case
    {
        int FailAtRead, FailAtPost;
        const char* Expected;
        int Posts; // records posted when it is raised
    };
    const char* transformFailure = "Floating-point error in Geodetic to Geographic Transformation";
    const Case cases[] = {
        {-1, -1, transformFailure, 600},           {700, -1, transformFailure, 600},
        {-1, 800, transformFailure, 600},          {300, -1, "cannot read record 300", 300},
        {-1, 450, "Posting failed", 451}, // the post that fails counts too
        {599, 650, "cannot read record 599", 599},
    };
    for (const Case& c : cases)
        for (const int threads : {1, 2, 7})
        {
            SCOPED_TRACE("read " + std::to_string(c.FailAtRead) + ", post " +
                         std::to_string(c.FailAtPost) + ", " + std::to_string(threads) +
                         " threads");
            auto recordSet = std::make_unique<ReadAheadRecordSet>();
            for (int r = 0; r < 1000; ++r)
            {
                auto part = std::make_unique<GPointList>();
                for (int k = 0; k < 100; ++k)
                    part->Add(std::make_unique<GPoint>(2840000.0 + r * 10.0 + k, 80000.0 - k));
                auto line = std::make_unique<GLine>();
                line->Parts.Add(std::move(part));
                recordSet->AddShape(std::move(line), "R" + std::to_string(r));
            }
            recordSet->FailAtRead = c.FailAtRead;
            recordSet->FailAtPost = c.FailAtPost;
            MemoryData& data = *recordSet->Data;
            GProject project;
            project.SourceDatum = dtCape;
            project.TargetDatum = dtHartebeesthoek;
            project.LocalOrigin = project.TransformationLocalOrigin = 29;
            project.ProjectTransformation = 1;
            project.HelmertMode = 1;
            project.HelmertA = 1.0;
            project.HelmertB = 0.0;
            project.ThreadsOverride = threads;
            ASSERT_TRUE(project.OpenRecordSet(std::move(recordSet)));
            project.CalculateExtent();
            // Changed after the extent, so that the guards let the job through.
            int index = 0;
            data.Shapes[600]->ForEachPoint(
                [&index](GPoint& point)
                {
                    if (index++ == 37)
                        point.X = 1e300;
                });
            std::string message;
            try
            {
                project.RunHelmertTransformation();
                ADD_FAILURE() << "no failure";
            }
            catch (const GTransformationException& error)
            {
                message = error.what();
            }
            catch (const GDatabaseException& error)
            {
                message = error.what();
            }
            EXPECT_EQ(message, c.Expected);
            EXPECT_EQ(data.Posts, c.Posts);
            EXPECT_EQ(data.Flushes, 0);
        }
}

TEST(WorkerPoolTest, EveryChunkRunsOnceAndTheLowestFailureIsRaised)
{
    for (const int threads : {1, 2, 7})
    {
        GWorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        std::vector<std::atomic<int>> runs(1000);
        std::atomic<bool> badSlot = false;
        pool.Start(
            [&](std::int32_t chunk, int slot)
            {
                ++runs[static_cast<std::size_t>(chunk)];
                badSlot = badSlot || slot < 0 || slot >= threads;
            },
            1000);
        pool.Wait();
        for (const auto& count : runs)
            EXPECT_EQ(count, 1);
        EXPECT_FALSE(badSlot);

        pool.Start(
            [](std::int32_t chunk, int)
            {
                if (chunk == 40 || chunk == 900)
                    throw std::runtime_error("chunk " + std::to_string(chunk));
            },
            1000);
        try
        {
            pool.Wait();
            ADD_FAILURE() << "no failure";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ(error.what(), "chunk 40");
        }
        pool.Wait(); // nothing left to wait for
    }
}

} // namespace
} // namespace quorvalis::test
