// Every fault and doubt of a run as the command line meets them, on copies of the samples: the
// message, the exit code, and every file of the job byte-identical afterwards (a doubt then goes
// ahead with --force). Record sets held in memory that list files and declare systems check what
// the model makes of those declarations before the file formats provide them.
#include "ProjectTestSupport.h"

#include "database/BorlandDatabase.h"
#include "database/engine/Table.h"
#include "geometry/Files.h"
#include "tests/InProcessCli.h"

#include <gmock/gmock.h>

#include <fstream>
#include <map>
#include <sstream>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

std::size_t Hash(const fs::path& file)
{
    return std::hash<std::string>()(ReadFile(file));
}

// What a row must prepare besides the copied samples.
enum Prepare : unsigned
{
    kNothing = 0,
    kBeacons29 = 1,        // samples/beacons-lo29.csv, Lo 29
    kBeacons31 = 2,        // samples/beacons-lo31.csv, Lo 31 (hundreds of km from the jobs)
    kDoubledBeacons = 4,   // two names at one position, and a selection file of both
    kDistortedBeacons = 8, // the Lo 29 beacons with one Hartebeesthoek position 20 m off
    kHardLink = 16,        // job-lines.shp with a second name outside the job
};

struct GuardRow
{
    const char* Name;
    unsigned Prepare;
    std::vector<std::string> Args; // "{job}" stands for the job folder
    std::string Message;           // a fault: the message; a doubt: a part of its text
    bool Doubt = false;
    bool FailWrites = false; // every write to disk fails as on a full disk
    std::string Forced = {}; // a doubt: what the run forced with --force tells
};

void PrintTo(const GuardRow& row, std::ostream* out)
{
    *out << row.Name;
}

class GuardTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        Job = Folder / "job";
        fs::create_directories(Job);
        for (const char* name : {"job-lines.shp", "job-lines.shx", "job-lines.dbf",
                                 "job-points.txt", "job-points-delimited.def", "job-points.crd"})
            fs::copy_file(Sample(name), Job / name);
        // The sample points in decimal degrees the way GIS data often hold them: longitude in
        // X, latitude negative in the south.
        std::ofstream(Job / "job-degrees.txt") << "NAME,Y,X,HEIGHT,CODE\n"
                                                  "P1,-25.751,28.201,1421.33,1\n"
                                                  "P2,-25.762,28.215,1391.45,1\n";
    }

    std::string JobFile(const std::string& name) const { return (Job / name).string(); }

    void Make(unsigned prepare) const
    {
        if (prepare & kBeacons29)
        {
            ASSERT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
        }
        if (prepare & kBeacons31)
        {
            ASSERT_EQ(ImportDelimited(Sample("beacons-lo31.csv"), 31, "TRIG"), 18);
        }
        if (prepare & kDoubledBeacons)
        {
            const fs::path csv = Folder / "doubled.csv";
            std::ofstream(csv) << "TRIG 177 DORINGKOP,95432.601,2850630.820,95464.102,2850928.803\n"
                                  "TRIG 177 AGAIN,95432.601,2850630.820,95464.102,2850928.803\n";
            ASSERT_EQ(ImportDelimited(csv.string(), 29, "TRIG"), 2);
            std::ofstream(Folder / "doubled.sel") << "TRIG 177 DORINGKOP\nTRIG 177 AGAIN\n";
        }
        if (prepare & kHardLink)
            fs::create_hard_link(Job / "job-lines.shp", Folder / "elsewhere.shp");
        if (prepare & kDistortedBeacons)
        {
            std::istringstream lines(ReadFile(Sample("beacons-lo29.csv")));
            std::ostringstream text;
            std::string line;
            for (int i = 0; std::getline(lines, line); ++i)
            {
                if (i == 3) // its Hartebeesthoek X (the last field) 20 m further south
                {
                    const auto comma = line.rfind(',');
                    line = line.substr(0, comma + 1) +
                           std::to_string(std::stod(line.substr(comma + 1)) + 20.0);
                }
                text << line << '\n';
            }
            const fs::path csv = Folder / "distorted.csv";
            std::ofstream(csv) << text.str();
            ASSERT_EQ(ImportDelimited(csv.string(), 29, "TRIG"), 20);
        }
    }

    CliRun Cli(std::vector<std::string> args) const
    {
        for (std::string& arg : args)
            for (const auto& [key, path] :
                 {std::pair{std::string("{job}"), Job}, std::pair{std::string("{home}"), Folder}})
                for (auto at = arg.find(key); at != std::string::npos; at = arg.find(key))
                    arg.replace(at, key.size(), path.string());
        return RunCliInProcess(args);
    }

    // Every file of the job and the settings file; the control file as its beacons.
    std::map<std::string, std::size_t> State() const
    {
        std::map<std::string, std::size_t> state;
        for (const auto& entry : fs::directory_iterator(Job))
            state[entry.path().filename().string()] = Hash(entry.path());
        if (fs::exists(SettingsFile))
            state["(settings)"] = Hash(SettingsFile);
        GTrigBeaconList control;
        control.ReadControlFile(dtCape);
        std::string beacons;
        for (const auto& beacon : control)
            beacons += beacon->Name + "," + std::to_string(beacon->Clarke.X) + "," +
                       std::to_string(beacon->Clarke.Y) + "\n";
        state["(control file)"] = std::hash<std::string>()(beacons);
        return state;
    }

    fs::path Job;
};

class GuardTable : public GuardTest, public ::testing::WithParamInterface<GuardRow>
{
};

TEST_P(GuardTable, RefusedWithItsMessageAndNothingWritten)
{
    const GuardRow& row = GetParam();
    Make(row.Prepare);
    const auto before = State();
    if (row.FailWrites)
        GAtomicFile::InjectFailureAfter(0);
    const CliRun run = Cli(row.Args);
    GAtomicFile::InjectFailureAfter(std::nullopt);
    EXPECT_EQ(run.Code, 1) << run.Out;
    if (row.Doubt)
        EXPECT_THAT(run.Err, HasSubstr("error: Nothing was transformed: the run goes ahead with "
                                       "doubts only with --force:\n  - "));
    else
        EXPECT_THAT(run.Err, HasSubstr("error: "));
    EXPECT_THAT(run.Err, HasSubstr(row.Message));
    EXPECT_THAT(run.Out, Not(HasSubstr("points transformed")));
    EXPECT_EQ(State(), before) << "every file of the job stays as it was";
    EXPECT_FALSE(fs::exists(Job / "Output.txt"));

    if (row.Doubt)
    {
        // The dry run lists the doubt and exits 0; --force lets the run go ahead.
        std::vector<std::string> dry = row.Args;
        dry.erase(std::find(dry.begin(), dry.end(), "--yes"));
        const CliRun review = Cli(dry);
        EXPECT_EQ(review.Code, 0) << review.Err;
        EXPECT_THAT(review.Out, HasSubstr("Doubts (the run needs --force):\n  - "));
        EXPECT_THAT(review.Out, HasSubstr(row.Message));
        std::vector<std::string> forced = row.Args;
        forced.push_back("--force");
        const CliRun ahead = Cli(forced);
        EXPECT_EQ(ahead.Code, 0) << ahead.Err;
        EXPECT_THAT(ahead.Out, HasSubstr("points transformed"));
        EXPECT_THAT(ahead.Err, HasSubstr(row.Forced));
        EXPECT_NE(State(), before);
    }
}

const std::vector<std::string> kLines = {"transform", "--to", "hart94", "--shapefile",
                                         "{job}/job-lines.shp"};

std::vector<std::string> Lines(std::vector<std::string> options)
{
    std::vector<std::string> args = kLines;
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("--yes");
    return args;
}

std::string RowName(const ::testing::TestParamInfo<GuardRow>& row)
{
    return row.param.Name;
}

const char kNotALo[] = " is not a Lo: a Lo is an odd whole number of degrees from 15 to 33.";

INSTANTIATE_TEST_SUITE_P(
    Faults, GuardTable,
    ::testing::Values(
        GuardRow{"LoOfTheData", kBeacons29, Lines({"--lo", "28"}),
                 std::string("The Lo of the data (28)") + kNotALo},
        GuardRow{"LoOfTheTransformation", kBeacons29,
                 Lines({"--lo", "29", "--transformation-lo", "13"}),
                 std::string("The Lo of the transformation (13)") + kNotALo},
        GuardRow{"StoredLoOfTheDefaults",
                 kNothing,
                 {"defaults", "set", "Local Origin", "-5"},
                 std::string("\"Local Origin\" (-5)") + kNotALo},
        GuardRow{"LoOfAnImport",
                 kNothing,
                 {"import", "--class", "TRIG", "--csv",
                  std::string(QUORVALIS_SOURCE_DIR) + "/samples/beacons-lo29.csv", "--lo", "1000",
                  "--yes"},
                 std::string("The Lo of the imported coordinates (1000)") + kNotALo},
        GuardRow{"MetresReadAsDegrees", kBeacons29,
                 Lines({"--lo", "29", "--coordinate-system", "degrees"}),
                 "read as decimal degrees. The numbers look like Lo metres, not degrees."},
        GuardRow{"ExchangedLoAxes", kBeacons29, Lines({"--lo", "29", "--exchange"}),
                 "X and Y look exchanged: in Lo coordinates X is the southing and Y the westing."},
        GuardRow{"NegativeLatitudes",
                 kNothing,
                 {"transform", "--to", "hart94", "--text", "{job}/job-degrees.txt", "--definition",
                  "{job}/job-points-delimited.def", "--x-field", "X", "--y-field", "Y",
                  "--coordinate-system", "degrees", "--method", "helmert", "--yes"},
                 "its extent is latitude -25.762 to -25.751, longitude 28.201 to 28.215 (degrees, "
                 "latitude positive south), outside latitude 15 to 40 and longitude 10 to 40, read "
                 "as decimal degrees. The numbers look like latitudes positive north (negative in "
                 "the south); this system takes latitudes positive south: negate Y."},
        GuardRow{"MissingDegreeSheet", kNothing,
                 Lines({"--lo", "29", "--method", "helmert", "--helmert-mode", "sheet",
                        "--x-constant", "-500000"}),
                 "The following sheet:\n\n2128"},
        GuardRow{"BeaconsAtOnePosition", kDoubledBeacons,
                 Lines({"--lo", "29", "--selection", "{home}/doubled.sel"}),
                 "error: The transformation in not valid\n"},
        GuardRow{"UserDefinedHelmertOfScaleZero", kNothing,
                 Lines({"--lo", "29", "--method", "helmert", "--helmert-mode", "user",
                        "--helmert-a", "0", "--helmert-b", "0"}),
                 "The user-defined Helmert variables a (0) and b (0) give no transformation: their "
                 "scale is 0."},
        GuardRow{"WriteFailsOnAFullDisk", kBeacons29,
                 Lines({"--lo", "29", "--report", "{job}/Output.txt"}), "No space left on device",
                 false, true}),
    RowName);

INSTANTIATE_TEST_SUITE_P(
    Doubts, GuardTable,
    ::testing::Values(
        GuardRow{"FarBeacons", kBeacons31, Lines({"--lo", "29"}),
                 "km from the centre of the job (more than 50 km).", true},
        GuardRow{"LargeMisclosure", kDistortedBeacons, Lines({"--lo", "29", "--count", "20"}),
                 "The RMS of the misclosures is ", true},
        GuardRow{"ShiftFarFromTheDatumShift", kNothing,
                 Lines({"--lo", "29", "--method", "helmert", "--helmert-mode", "user",
                        "--helmert-a", "1", "--helmert-b", "0"}),
                 "The points move 0.000 m on average (first 262 points); Cape to "
                 "Hartebeesthoek94 moves them about 300 m (250 m to 350 m expected).",
                 true},
        GuardRow{"DefaultUserDefinedHelmert", kNothing,
                 Lines({"--lo", "29", "--method", "helmert", "--helmert-mode", "user"}),
                 "The user-defined Helmert variables are a = 1 and b = 1, the stored default: a "
                 "rotation of 45 degrees with a scale of 1.414.",
                 true},
        GuardRow{"HardLinkedData", kBeacons29 | kHardLink, Lines({"--lo", "29"}),
                 "job-lines.shp\" has 2 hard links: the run replaces this name only, so the "
                 "other links keep the old coordinates.",
                 true, false,
                 "job-lines.shp\" were split: this name holds the transformed data, the other "
                 "links still hold the old."}),
    RowName);

// --- The area of the job and what the numbers look like ---

TEST_F(GuardTest, AJobOutsideTheAreaSaysWhatItsNumbersLookLike)
{
    struct Row
    {
        std::uint8_t system;
        double x1, y1, x2, y2; // the extent in data coordinates
        std::string message;   // the end of the message
    };
    const Row rows[] = {
        {2, -25.8, 28.2, -25.7, 28.3,
         "The numbers look like latitudes positive north in X; this system takes latitudes "
         "positive south: negate X."},
        {0, 28.2, 25.7, 28.3, 25.8, "The numbers look like decimal degrees, not Lo metres."},
        {0, 0, 79000, 0, 81000, // X read as 0: the job on the equator
         "read as Lo metres of Lo 29. Some coordinates are 0: a field that is empty, missing or "
         "not a number may have been read as 0."},
        {0, 2849000, 1e300, 2851000, 1e300,
         "its coordinates, read as Lo metres of Lo 29, give no latitude and longitude. Check the "
         "coordinate system and the Lo of the data."},
        {1, 28.3, 45.1, 28.4, 45.2, // ddd.mmss beyond 40 degrees south
         "latitude 45.167 to 45.333, longitude 28.5 to 28.667 (degrees, latitude positive "
         "south), outside latitude 15 to 40 and longitude 10 to 40, read as degrees "
         "(ddd.mmss). Check the coordinate system, the signs and the order of X and Y."},
    };
    for (const Row& row : rows)
    {
        GProject project;
        project.LocalOrigin = 29;
        project.CoordinateSystem = row.system;
        project.Extent = std::make_unique<GRectangle>(row.x1, row.y1, row.x2, row.y2);
        project.ExtentPointCount = 2;
        try
        {
            CheckJobArea(project);
            ADD_FAILURE() << "inside: " << row.message;
        }
        catch (const GGuardException& error)
        {
            EXPECT_THAT(error.what(), ::testing::StartsWith("The job does not lie where either "
                                                            "datum is used: "));
            EXPECT_THAT(error.what(), ::testing::EndsWith(row.message));
        }
    }
    // Inside, and a job without points, pass.
    GProject project;
    project.LocalOrigin = 29;
    project.Extent = std::make_unique<GRectangle>(2849000, 79000, 2851000, 81000);
    project.ExtentPointCount = 2;
    EXPECT_NO_THROW(CheckJobArea(project));
    project.Extent = std::make_unique<GRectangle>();
    project.ExtentPointCount = 0;
    EXPECT_NO_THROW(CheckJobArea(project));
}

// --- What the data declare, on record sets held in memory ---

// A job in memory (the points of the Lo 29 sample area) that declares systems as the file formats
// do.
class DeclaringRecordSet : public MemoryRecordSet
{
public:
    DeclaringRecordSet()
    {
        AddPoint(2850000, 80000);
        AddPoint(2851000, 81000);
    }
    std::vector<GDeclaredSystem> Declared;
    std::shared_ptr<int> TargetDatum = std::make_shared<int>(-1);

    std::vector<GDeclaredSystem> DeclaredSystems() const override { return Declared; }
    void SetTargetDatum(std::uint8_t datum) override { *TargetDatum = datum; }
};

GDeclaredSystem Declaration(std::string source, std::optional<std::uint8_t> datum,
                            std::optional<std::int32_t> lo, std::string description = {})
{
    GDeclaredSystem declared;
    declared.Source = std::move(source);
    declared.Description = std::move(description);
    declared.Datum = datum;
    declared.LocalOrigin = lo;
    return declared;
}

// One transform command over a DeclaringRecordSet, answered as a user-defined Helmert run of
// about the datum shift (so that no doubt of its own arises).
struct Command
{
    Command()
    {
        auto recordSet = std::make_unique<DeclaringRecordSet>();
        Job = recordSet.get();
        Data = recordSet->Data;
        Target = recordSet->TargetDatum;
        Pending = std::move(recordSet);
        Ui.OnChooseDataSource = [this](const std::string&) { return std::move(Pending); };
        AnswerWithDatumShift(Ui);
        Ui.OnConfirmRun = [this](bool& alwaysShow, const std::vector<std::string>& doubts)
        {
            BoxTicked = alwaysShow;
            Doubts = doubts;
            return Confirm;
        };
    }
    GTransformResult Run() { return RunTransformCommand(Project, Ui, dtCape); }

    RecordingInterface Ui;
    GProject Project;
    DeclaringRecordSet* Job = nullptr; // valid until the command takes it
    std::shared_ptr<MemoryData> Data;
    std::shared_ptr<int> Target;
    std::unique_ptr<GRecordSet> Pending;
    bool Confirm = true;
    std::optional<bool> BoxTicked; // the confirmation was asked, with its check box so
    std::vector<std::string> Doubts;
};

TEST_F(GuardTest, AnotherLoThanTheDeclaredOneIsDoubted)
{
    GRegistry().WriteBool("Show Message", false);
    Command command;
    command.Job->Declared = {
        Declaration(JobFile("job-lines.prj"), dtCape, 29, "Cape / Lo29"),
        Declaration(JobFile("job-points.prj"), std::nullopt, std::nullopt, "Mercator"),
        Declaration(JobFile("job-points.crd"), std::nullopt, 28),
    };
    command.Ui.OnEditProjectParameters = [](GProject&, GProjectParameters& values)
    {
        values.LocalOrigin = 31; // the user's own choice over the declared 29
        return true;
    };
    command.Confirm = false;
    EXPECT_EQ(command.Run().Outcome, GCommandOutcome::Cancelled);
    EXPECT_EQ(command.BoxTicked, std::optional<bool>(false))
        << "asked in spite of \"Show Message\" 0, which it keeps";
    EXPECT_EQ(command.Doubts, std::vector<std::string>{"\"" + JobFile("job-lines.prj") +
                                                       "\" (Cape / Lo29) says Lo 29; the run "
                                                       "takes the data as Lo 31."});
    EXPECT_EQ(command.Ui.Warnings,
              (std::vector<std::string>{
                  "\"" + JobFile("job-points.prj") +
                      "\" (Mercator) is not a Cape or Hartebeesthoek94 Lo system; it is left as "
                      "it is.",
                  "\"" + JobFile("job-points.crd") +
                      "\" says Lo 28, which is not a Lo; it is "
                      "not used."}));
    EXPECT_EQ(command.Data->Flushes, 0);
    EXPECT_EQ(*command.Target, -1);
}

// --- Rows that need the file formats to list their files and read their declarations ---

class FormatGuardTest : public GuardTest
{
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        Make(kBeacons29);
    }

    void ExpectRefused(const std::vector<std::string>& args, const std::string& message)
    {
        const auto before = State();
        const CliRun run = Cli(args);
        EXPECT_EQ(run.Code, 1) << run.Out;
        EXPECT_THAT(run.Err, HasSubstr(message));
        EXPECT_EQ(State(), before);
    }
};

TEST_F(FormatGuardTest, ReadOnlyFilesAndReportsOverTheJob)
{
    for (const char* name : {"job-lines.shp", "job-lines.dbf"})
    {
        fs::permissions(Job / name, fs::perms::owner_write, fs::perm_options::remove);
        ExpectRefused(Lines({"--lo", "29"}), "\"" + JobFile(name) + "\" is read-only");
        fs::permissions(Job / name, fs::perms::owner_write, fs::perm_options::add);
    }
    ExpectRefused(Lines({"--lo", "29", "--report", JobFile("job-lines.dbf")}),
                  "would overwrite the job's file");
}

TEST_F(FormatGuardTest, CoordinateListHeaderGivesTheLo)
{
    Cli({"defaults", "set", "Local Origin", "31"});
    const std::vector<std::string> crd{"transform", "--to", "hart94", "--crd",
                                       JobFile("job-points.crd")};
    const CliRun dry = Cli(crd);
    EXPECT_EQ(dry.Code, 0) << dry.Err;
    EXPECT_THAT(dry.Out, HasSubstr("Lo 29 (from \"" + JobFile("job-points.crd") + "\")"));
    std::vector<std::string> other = crd;
    other.insert(other.end(), {"--lo", "31", "--yes"});
    ExpectRefused(other, "says Lo 29; the run takes the data as Lo 31.");
}

// The readers refuse every kind of bad number (their own tests); the command line passes one on.
TEST_F(FormatGuardTest, TextCoordinatesThatAreNotNumbers)
{
    std::vector<std::string> text{"transform",
                                  "--to",
                                  "hart94",
                                  "--text",
                                  JobFile("job-points.txt"),
                                  "--definition",
                                  JobFile("job-points-delimited.def"),
                                  "--x-field",
                                  "X",
                                  "--y-field",
                                  "Y",
                                  "--lo",
                                  "29",
                                  "--yes"};
    std::string changed = ReadFile(Job / "job-points.txt");
    changed.replace(changed.find(",2846046.101"), 12, ",1e400");
    std::ofstream(Job / "job-points.txt", std::ios::binary | std::ios::trunc) << changed;
    ExpectRefused(text, JobFile("job-points.txt"));
    *std::find(text.begin(), text.end(), "X") = "XX";
    ExpectRefused(text, "XX");
}

// --- Rows that need the store to refuse what it cannot read as a coordinate ---

class StoreGuardTest : public GuardTest
{
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        // Pegs of the sample area in a table of the QUORVALIS store; the second has no X. (Before
        // the store refuses such rows, the job's area refuses them, as it does X read as 0.)
        engine::Table table;
        table.SetDatabaseName(kControlFileDatabase);
        table.SetTableName("pegs");
        table.FieldDefs() = {{"NAME", engine::ftString, 20, false},
                             {"X", engine::ftFloat, 0, false},
                             {"Y", engine::ftFloat, 0, false}};
        table.CreateTable();
        table.Open();
        const double pegs[3][2] = {{2850000.0, 80000.0}, {0.0, 80500.0}, {2851000.0, 81000.0}};
        for (int i = 0; i < 3; ++i)
        {
            table.Append();
            table.SetValue("NAME", engine::Value("PEG " + std::to_string(i + 1)));
            if (i != 1)
                table.SetValue("X", engine::Value(pegs[i][0]));
            table.SetValue("Y", engine::Value(pegs[i][1]));
            table.Post();
        }
        table.Close();
    }

    std::string Rows() const
    {
        engine::Table table;
        table.SetDatabaseName(kControlFileDatabase);
        table.SetTableName("pegs");
        table.SetReadOnly(true);
        table.Open();
        std::string rows;
        for (table.First(); !table.Eof(); table.Next())
            rows += table.GetText(0) + "," + table.GetText(1) + "," + table.GetText(2) + "\n";
        table.Close();
        return rows;
    }
};

TEST_F(StoreGuardTest, NullCoordinatesAndMissingFields)
{
    const std::string before = Rows();
    for (const auto& [x, message] : {std::pair<std::string, std::string>{"X", "pegs"},
                                     std::pair<std::string, std::string>{"XX", "XX"}})
    {
        const CliRun run = Cli({"transform", "--to", "hart94", "--xyz", "QUORVALIS", "pegs",
                                "--x-field", x, "--y-field", "Y", "--lo", "29", "--method",
                                "helmert", "--helmert-mode", "sheet", "--yes"});
        EXPECT_EQ(run.Code, 1) << run.Out;
        EXPECT_THAT(run.Err, HasSubstr(message));
        EXPECT_EQ(Rows(), before);
    }
}

TEST_F(FormatGuardTest, DryRunLeavesWhatAnInterruptedRunLeftAndTheRunFinishesIt)
{
    // What a run killed after its commit marker leaves: the new pair staged beside the old one.
    const fs::path shp = Job / "job-lines.shp";
    fs::copy_file(shp, Job / "job-lines.shp.new~");
    fs::copy_file(Job / "job-lines.shx", Job / "job-lines.shx.new~");
    std::ofstream(Job / "job-lines.shp.commit~", std::ios::binary)
        << "job-lines.shp\njob-lines.shx\n";
    const auto before = State();

    std::vector<std::string> dry = Lines({"--lo", "29"});
    dry.pop_back();
    const CliRun review = Cli(dry);
    EXPECT_EQ(review.Code, 0) << review.Err;
    EXPECT_THAT(review.Err, HasSubstr("interrupted"));
    EXPECT_EQ(State(), before) << "a dry run finishes and undoes nothing";

    const CliRun run = Cli(Lines({"--lo", "29"}));
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_FALSE(fs::exists(Job / "job-lines.shp.commit~"));
    EXPECT_FALSE(fs::exists(Job / "job-lines.shp.new~"));
}

} // namespace
} // namespace quorvalis::test
