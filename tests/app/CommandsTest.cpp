// The commands end to end in this process, each test with its own settings and store: imports,
// the control file, the stored defaults, and transforms of copied sample shapefiles.
#include "CliTestSupport.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

int CountLines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The text after the last line that starts with prefix (the result message ends the output).
std::string From(const std::string& text, const std::string& prefix)
{
    const auto at = text.rfind(prefix);
    return at == std::string::npos ? std::string() : text.substr(at);
}

TEST_F(CliTest, HelpForEveryCommand)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--help"}, "Usage: quorvalis-cli [--home DIR] COMMAND"},
        {{"transform", "--help"}, "Usage: quorvalis-cli transform"},
        // Help wins over an option that would be refused.
        {{"transform", "--to", "bogus", "--help"}, "Usage: quorvalis-cli transform"},
        {{"import", "--help"}, "Usage: quorvalis-cli import"},
        {{"control", "find", "--help"}, "Usage: quorvalis-cli control find"},
        {{"defaults", "set", "--help"}, "Usage: quorvalis-cli defaults set"},
        {{"alias", "tables", "--help"}, "Usage: quorvalis-cli alias tables"},
    };
    for (const auto& [args, start] : cases)
    {
        const CliRun run = Run(args);
        EXPECT_EQ(run.Code, 0) << args.front();
        EXPECT_THAT(run.Out, StartsWith(start)) << ::testing::PrintToString(args);
        EXPECT_EQ(run.Err, "");
    }
}

TEST_F(CliTest, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases{
        {},
        {"frobnicate"},
        {"--colour"},
        {"transform", "--shapefile", "a.shp"},
        {"import", "--class", "TRIG"},
        {"control", "delete"},
        {"defaults", "set", "Local Origin"},
        {"defaults", "set", "Favourite Colour", "1"},
        {"defaults", "set", "Coordinate System", "3"},
        {"defaults", "set", "Helmert A", "abc"},
    };
    for (const auto& args : cases)
    {
        const CliRun run = Run(args);
        EXPECT_EQ(run.Code, 2) << ::testing::PrintToString(args);
        EXPECT_NE(run.Err, "") << ::testing::PrintToString(args);
        EXPECT_EQ(run.Out, "");
    }
}

TEST_F(CliTest, DelimitedImportAddsBeaconsOnceAndOnlyWithYes)
{
    const std::string csv = Sample("beacons-lo29.csv");
    const CliRun dry = Run({"import", "--class", "TRIG", "--csv", csv, "--lo", "29"});
    EXPECT_EQ(dry.Code, 0) << dry.Err;
    EXPECT_THAT(dry.Out, HasSubstr("Imported Coordinates Local Origin: 29\n"));
    EXPECT_THAT(dry.Out, HasSubstr("20 of 20 beacons ticked."));
    EXPECT_THAT(Run({"control", "list"}).Out, HasSubstr("\n0 control coordinates\n"));
    // The dry run refuses a Lo the import would refuse.
    const CliRun lo28 = Run({"import", "--class", "TRIG", "--csv", csv, "--lo", "28"});
    EXPECT_EQ(lo28.Code, 1);
    EXPECT_THAT(lo28.Err, HasSubstr("error: The Lo of the imported coordinates (28) is not a Lo"));

    const CliRun first = Run({"import", "--class", "TRIG", "--csv", csv, "--lo", "29", "--yes"});
    EXPECT_EQ(first.Code, 0) << first.Err;
    EXPECT_THAT(first.Out, HasSubstr("\n20 beacons added to the control file as TRIG.\n"));
    EXPECT_THAT(Run({"control", "list"}).Out, HasSubstr("\n20 control coordinates\n"));
}

TEST_F(CliTest, EmailImportTakesTheCapeFileFirst)
{
    const CliRun run = Run({"import", "--class", "TSM", "--email", Sample("email-lo29-cape.eml"),
                            Sample("email-lo29-hart.eml"), "--yes"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_THAT(run.Out, HasSubstr("\n22 beacons added to the control file as TSM.\n"));
    // The WGS`84 latitude of this mark is about 2.1" further south: swapped files would turn
    // the difference round.
    std::istringstream fields(From(Run({"control", "list", "--csv"}).Out, "TRIG 177 DORINGKOP,"));
    std::string name, source, clarkeLatitude, clarkeLongitude, wgsLatitude;
    for (std::string* field : {&name, &source, &clarkeLatitude, &clarkeLongitude, &wgsLatitude})
        std::getline(fields, *field, ',');
    EXPECT_NEAR(std::stod(wgsLatitude) - std::stod(clarkeLatitude), 0.00059, 0.0001);
}

TEST_F(CliTest, ControlListAndFind)
{
    ImportSampleBeacons();
    const CliRun csv = Run({"control", "list", "--csv"});
    EXPECT_EQ(csv.Code, 0);
    EXPECT_THAT(csv.Out, StartsWith("Name,Source,Clarke Latitude,Clarke Longitude,WGS Latitude,"
                                    "WGS Longitude\nTRIG 177 DORINGKOP,TRIG,25.76"));
    EXPECT_EQ(CountLines(csv.Out), 21);

    const CliRun found = Run({"control", "find", "doringkop"});
    EXPECT_EQ(found.Code, 0);
    EXPECT_THAT(found.Out, HasSubstr("\nTRIG 177 DORINGKOP   TRIG "));
    EXPECT_EQ(CountLines(found.Out), 2);
    EXPECT_EQ(CountLines(Run({"control", "find", "TSM"}).Out), 9); // heading and 8 marks

    const CliRun caseMismatch = Run({"control", "find", "doringkop", "--match-case"});
    EXPECT_EQ(caseMismatch.Code, 1);
    EXPECT_EQ(caseMismatch.Err, "error: Coordinate doringkop not found in control file.\n");
    EXPECT_EQ(Run({"control", "find", "TRIG 177", "--whole-word"}).Code, 1);
}

TEST_F(CliTest, ControlDeleteListsThenDeletesExactNames)
{
    ImportSampleBeacons();
    const CliRun dry = Run({"control", "delete", "TRIG 177 DORINGKOP", "TSM 1079 WITKLIP"});
    EXPECT_EQ(dry.Code, 0) << dry.Err;
    EXPECT_THAT(dry.Out, HasSubstr("\nTRIG 177 DORINGKOP   TRIG "));
    EXPECT_THAT(dry.Out, HasSubstr("\nTSM 1079 WITKLIP     TRIG "));
    EXPECT_THAT(dry.Out, HasSubstr("\nDry run: the control file is unchanged. Add --yes to delete "
                                   "the 2 control coordinates.\n"));
    EXPECT_THAT(Run({"control", "list"}).Out, HasSubstr("\n20 control coordinates\n"));

    // One name that is not there (letter case counts) deletes nothing at all.
    const CliRun mistyped =
        Run({"control", "delete", "TRIG 177 DORINGKOP", "tsm 1079 witklip", "--yes"});
    EXPECT_EQ(mistyped.Code, 1);
    EXPECT_EQ(mistyped.Err, "error: Coordinate tsm 1079 witklip not found in control file.\n");
    EXPECT_THAT(Run({"control", "list"}).Out, HasSubstr("\n20 control coordinates\n"));

    const CliRun deleted =
        Run({"control", "delete", "TRIG 177 DORINGKOP", "TSM 1079 WITKLIP", "--yes"});
    EXPECT_EQ(deleted.Code, 0) << deleted.Err;
    EXPECT_THAT(deleted.Out, HasSubstr("\n2 control coordinates deleted from the control file.\n"));
    const CliRun list = Run({"control", "list"});
    EXPECT_THAT(list.Out, HasSubstr("\n18 control coordinates\n"));
    EXPECT_THAT(list.Out, Not(HasSubstr("DORINGKOP")));
}

TEST_F(CliTest, AStoredLoThatIsNoLoCountsAs31WithAWarning)
{
    ImportSampleBeacons();
    // Written as another program (or an older version) may have left it.
    Run({"defaults", "set", "Install", "x"});
    std::ofstream(Home / "Tarnex" / "Quorvalis.conf", std::ios::app) << "Local%20Origin=28\n";
    EXPECT_THAT(Run({"defaults"}).Out,
                HasSubstr("Local Origin             \"28\"             31\n"));
    const CliRun run = Transform("hart94", CopySample("job-lines.shp"), {"--lo", "29"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Err, "warning: The stored \"Local Origin\" (28) is not a Lo: a Lo is an odd "
                       "whole number of degrees from 15 to 33. Lo 31 is used.\n");
    // The dry run shows how far the first points would move.
    EXPECT_THAT(run.Out, ::testing::ContainsRegex("\nShift: +first 262 points: least 299\\.[0-9]+ "
                                                  "m, mean 299\\.[0-9]+ m, greatest 299\\.[0-9]+ "
                                                  "m\n"));
}

TEST_F(CliTest, DefaultsSetAndGetRoundTrip)
{
    const CliRun fresh = Run({"defaults"});
    EXPECT_EQ(fresh.Code, 0);
    EXPECT_THAT(fresh.Out, HasSubstr("Local Origin             (not set)        31\n"));
    EXPECT_THAT(fresh.Out, HasSubstr("Apply Weighting          (not set)        0 (no)\n"));

    EXPECT_EQ(Run({"defaults", "set", "local origin", "29"}).Out, "Local Origin = 29\n");
    EXPECT_EQ(Run({"defaults", "set", "Apply Weighting", "yes"}).Out, "Apply Weighting = 1\n");
    EXPECT_EQ(Run({"defaults", "set", "Project Transformation", "1"}).Code, 0);
    EXPECT_EQ(Run({"defaults", "get", "LOCAL ORIGIN"}).Out, "29\n");

    const CliRun shown = Run({"defaults"});
    EXPECT_THAT(shown.Out, HasSubstr("Local Origin             \"29\"             29\n"));
    EXPECT_THAT(shown.Out, HasSubstr("Project Transformation   \"1\"              1 (Helmert "
                                     "Transformation)\n"));
    EXPECT_THAT(shown.Out, HasSubstr("Settings: " + (Home / "Tarnex" / "Quorvalis.conf").string()));
}

TEST_F(CliTest, AliasListNamesTheStandardAlias)
{
    const CliRun run = Run({"alias", "list"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_THAT(run.Out, HasSubstr("\nQUORVALIS            STANDARD   " + Home.string()));
    EXPECT_THAT(Run({"alias", "tables", "QUORVALIS"}).Out, HasSubstr("control.db"));
    EXPECT_EQ(Run({"alias", "tables", "NOWHERE"}).Code, 1);
}

TEST_F(CliTest, DryRunWritesNothing)
{
    ImportSampleBeacons();
    // Without the confirmation the model would run at once: the dry run must stop before it.
    Run({"defaults", "set", "Show Message", "0"});
    const std::string shapefile = CopySample("job-lines.shp");
    const std::vector<std::string> extensions{".shp", ".shx", ".dbf"};
    std::vector<std::string> before;
    for (const std::string& extension : extensions)
        before.push_back(ReadFile(fs::path(shapefile).replace_extension(extension)));
    const fs::path report = Folder / "Output.txt";

    for (const std::vector<std::string>& method :
         {std::vector<std::string>{}, std::vector<std::string>{"--method", "helmert"},
          std::vector<std::string>{"--method", "helmert", "--helmert-mode", "user"}})
    {
        std::vector<std::string> options{"--lo", "29", "--report", report.string()};
        options.insert(options.end(), method.begin(), method.end());
        const CliRun run = Transform("hart94", shapefile, options);
        EXPECT_EQ(run.Code, 0) << run.Err;
        EXPECT_THAT(run.Out, HasSubstr("Dry run: nothing has been changed. Add --yes to "
                                       "transform the 8 records.\n"));
        EXPECT_THAT(run.Out, Not(HasSubstr("shapes consisting of")));
    }
    for (std::size_t i = 0; i < extensions.size(); ++i)
        EXPECT_EQ(ReadFile(fs::path(shapefile).replace_extension(extensions[i])), before[i]);
    EXPECT_FALSE(fs::exists(report));
}

TEST_F(CliTest, DryRunReviewsTheControlBeacons)
{
    ImportSampleBeacons();
    const std::string shapefile = CopySample("job-lines.shp");
    const CliRun run =
        Transform("hart94", shapefile, {"--lo", "29", "--strategy", "count", "--count", "3"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_THAT(run.Out, HasSubstr("Control beacons: 3 selected, 17 available"));
    EXPECT_THAT(run.Out, HasSubstr("\n  PILLAR 25 BOESMANKOP      376.883"));
    EXPECT_THAT(run.Out, HasSubstr("\nScale: 0.9999"));
    EXPECT_THAT(run.Out, HasSubstr(" (ddd.mmss)\nRMS of misclosures: 0.010 m\n"));

    // One metre planted in a beacon's Hartebeesthoek94 X (towards its Cape position, which the
    // import's tolerance of 300 m keeps within reach): the dry run names it a suspect.
    const fs::path planted = Folder / "planted.csv";
    {
        std::istringstream lines(ReadFile(Sample("beacons-lo29.csv")));
        std::ofstream out(planted);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("TRIG 84 TAFELKOP,", 0) == 0)
            {
                const std::size_t comma = line.rfind(',');
                out << line.substr(0, comma + 1)
                    << std::to_string(std::stod(line.substr(comma + 1)) - 1.0) << '\n';
            }
    }
    ASSERT_EQ(Run({"control", "delete", "--yes", "TRIG 84 TAFELKOP"}).Code, 0);
    ASSERT_EQ(
        Run({"import", "--class", "TRIG", "--csv", planted.string(), "--lo", "29", "--yes"}).Code,
        0);
    const CliRun suspect = Transform("hart94", shapefile, {"--lo", "29"});
    EXPECT_EQ(suspect.Code, 0) << suspect.Err;
    EXPECT_THAT(suspect.Out, HasSubstr("Misclosure   Without it   Expected\n"));
    const std::size_t row = suspect.Out.find("\n  TRIG 84 TAFELKOP ");
    ASSERT_NE(row, std::string::npos);
    EXPECT_EQ(suspect.Out.find("  suspect\n"), suspect.Out.find('\n', row + 1) - 9);
    EXPECT_EQ(suspect.Out.find("suspect\n"), suspect.Out.rfind("suspect\n")) << "one suspect";
    EXPECT_THAT(suspect.Out, HasSubstr("\nSuspect: TRIG 84 TAFELKOP: misclosure without it 0.8"));
}

TEST_F(CliTest, StoredDefaultsAnswerWhatTheCommandLineLeavesOpen)
{
    ImportSampleBeacons();
    const std::string shapefile = CopySample("job-lines.shp");
    Run({"defaults", "set", "Local Origin", "29"});
    Run({"defaults", "set", "Project Transformation", "1"});
    Run({"defaults", "set", "Helmert Mode", "1"});
    Run({"defaults", "set", "Helmert A", "0.5"});
    const CliRun stored = Transform("hart94", shapefile);
    EXPECT_EQ(stored.Code, 0) << stored.Err;
    EXPECT_THAT(stored.Out, HasSubstr("Coordinates:    Geodetic (metres), Lo 29\n"));
    EXPECT_THAT(stored.Out, HasSubstr("user defined: Lo 29, a 0.5, b 1\n"));

    const CliRun overridden = Transform(
        "hart94", shapefile, {"--method", "control", "--transformation-lo", "31", "--weighting"});
    EXPECT_EQ(overridden.Code, 0) << overridden.Err;
    EXPECT_THAT(overridden.Out, HasSubstr("Control Coordinate Transformation in Lo 31, with 1/"));
}

TEST_F(CliTest, ControlTransformationRunsAndReports)
{
    ImportSampleBeacons();
    const std::string shapefile = CopySample("job-lines.shp");
    const fs::path report = Folder / "Output.txt";
    Run({"defaults", "set", "Show Message", "0"});
    const CliRun run =
        Transform("hart94", shapefile, {"--lo", "29", "--report", report.string(), "--yes"});
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_THAT(From(run.Out, "8 shapes"),
                ::testing::MatchesRegex("8 shapes consisting of 262 points transformed\nfrom the "
                                        "Clarke 1880 coordinate system into the\nWGS`84 "
                                        "coordinate system.\nDistance moved: least 299\\.5[0-9]+ "
                                        "m, mean 299\\.6[0-9]+ m, greatest 299\\.7[0-9]+ "
                                        "m\\.\nReport: .*Output\\.txt\n"));
    EXPECT_THAT(ReadFile(report), StartsWith("TRANSFORMATION CONTROL BEACONS\r\n"));
    // The CLI never changes the stored confirmation choice.
    EXPECT_EQ(Run({"defaults", "get", "Show Message"}).Out, "0\n");
}

TEST_F(CliTest, ThreadsFromTheCommandLineOrTheStoredValue)
{
    const std::string shapefile = CopySample("job-lines.shp");
    const std::pair<const char*, const char*> wrong[] = {
        {"0", "option '--threads': '0' is not a number of threads from 1 to 256"},
        {"257", "option '--threads': '257' is not a number of threads from 1 to 256"},
        {"-2", "option '--threads': '-2' is not a number of threads from 1 to 256"},
        {"two", "option '--threads': 'two' is not a whole number"},
    };
    for (const auto& [value, message] : wrong)
    {
        const CliRun run = Transform("hart94", shapefile, {"--lo", "29", "--threads", value});
        EXPECT_EQ(run.Code, 2) << value;
        EXPECT_THAT(run.Err, HasSubstr(message));
    }
    const CliRun refused = Run({"defaults", "set", "Threads", "300"});
    EXPECT_EQ(refused.Code, 2);
    EXPECT_THAT(refused.Err, HasSubstr("\"Threads\" takes 0 (one per core) to 256, not '300'"));
    EXPECT_EQ(Run({"defaults", "set", "Threads", "3"}).Out, "Threads = 3\n");

    // A stored value no run can take counts as one thread per core, with a warning.
    ImportSampleBeacons();
    const fs::path settings = Home / "Tarnex" / "Quorvalis.conf";
    std::string text = ReadFile(settings);
    ASSERT_NE(text.find("Threads=3\n"), std::string::npos) << text;
    text.replace(text.find("Threads=3\n"), 10, "Threads=999\n");
    std::ofstream(settings, std::ios::binary) << text;
    EXPECT_EQ(Run({"defaults", "get", "Threads"}).Out, "0\n"); // what a run takes
    const CliRun run = Transform("hart94", shapefile, {"--lo", "29", "--threads", "7", "--yes"});
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Err, "warning: The stored \"Threads\" value 999 is not a number of threads "
                       "from 0 (one per core) to 256. One thread per core is used.\n");
    EXPECT_THAT(run.Out, HasSubstr("8 shapes consisting of 262 points transformed"));
}

TEST_F(CliTest, SourceAndReportProblemsFailWithTheSystemsMessages)
{
    const std::string missing = (Folder / "missing.shp").string();
    const CliRun csv = Run({"import", "--class", "TRIG", "--csv", missing, "--yes"});
    EXPECT_EQ(csv.Code, 1);
    EXPECT_EQ(csv.Err, "error: Cannot open file \"" + missing + "\": No such file or directory\n");

    const CliRun corvell = Run({"transform", "--to", "cape", "--crd", missing});
    EXPECT_EQ(corvell.Code, 1);
    EXPECT_EQ(corvell.Err, "error: You must select a valid Corvell file!\n");

    const std::string points = CopySample("job-points.shp");
    const std::string nowhere = (Folder / "no" / "such" / "folder" / "r.txt").string();
    const CliRun report = Transform(
        "hart94", points, {"--method", "helmert", "--lo", "29", "--report", nowhere, "--yes"});
    EXPECT_EQ(report.Code, 1);
    EXPECT_THAT(report.Err, HasSubstr("No such file or directory"));
    EXPECT_EQ(ShapefileVertices(points), ShapefileVertices(Sample("job-points.shp")));

    const CliRun label = Transform(
        "hart94", points, {"--method", "helmert", "--lo", "29", "--label-field", "NOSUCH"});
    EXPECT_EQ(label.Code, 1);
    EXPECT_EQ(label.Err, "error: Field NOSUCH not found\n");
}

} // namespace
} // namespace quorvalis::test
