// Option parsing, the conversion of command lines into dialog answers, and the small pure
// pieces of the terminal interface.
#include "app/CommandLine.h"
#include "app/JobCommands.h"
#include "app/ProgressBar.h"
#include "app/StoreCommands.h"
#include "app/TerminalInterface.h"
#include "project/ControlBeacons.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <tuple>

namespace quorvalis::test
{
namespace
{

using Args = std::vector<std::string>;

// The words of a command line; the lines here need no quoting.
Args Words(const std::string& line)
{
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

TEST(CommandLine, ParsesFlagsValuesPairsAndPositionals)
{
    GCommandLine line({{"--flag", 0}, {"--one", 1}, {"--two", 2}});
    line.Parse({"a", "--one=x=y", "--two", "p", "q", "--flag", "-5", "--", "--one", "b"});
    EXPECT_TRUE(line.Has("--flag"));
    EXPECT_EQ(line.Value("--one"), "x=y");
    EXPECT_EQ(line.Values("--two"), (Args{"p", "q"}));
    // A negative number and everything after "--" are arguments, not options.
    EXPECT_EQ(line.Positionals(), (Args{"a", "-5", "--one", "b"}));

    GCommandLine last({{"--one", 1}});
    last.Parse({"--one", "1", "--one", "2"});
    EXPECT_EQ(last.Value("--one"), "2");
}

TEST(CommandLine, RefusesWhatItCannotRead)
{
    const std::vector<GOptionSpec> specs{{"--flag", 0}, {"--two", 2}};
    for (const Args& args : {Args{"--unknown"}, Args{"-x"}, Args{"--two", "a"}, Args{"--flag=1"}})
    {
        GCommandLine line(specs);
        EXPECT_THROW(line.Parse(args), GUsageError) << args.front();
    }
    EXPECT_THROW(ParseNumberOption("--lo", "1,5"), GUsageError);
    EXPECT_THROW(ParseNumberOption("--lo", "inf"), GUsageError);
    EXPECT_THROW(ParseIntegerOption("--count", "2.5"), GUsageError);
    EXPECT_EQ(ParseNumberOption("--x", "-12.5e1"), -125.0);
    EXPECT_EQ(ParseChoiceOption("--to", "cape", {"hart94", "cape"}), 1);
    EXPECT_THROW(ParseChoiceOption("--to", "Cape", {"hart94", "cape"}), GUsageError);
}

TEST(TransformArguments, OptionsBecomeAnswersAndTheRestStaysUnset)
{
    std::uint8_t datum = 99;
    const GTerminalAnswers all = ParseTransformArguments(
        Words("--to cape --xyz GIS PEGS --x-field X --y-field Y --lo 29 --x-constant -5.5 "
              "--no-exchange --negate-y --coordinate-system ddd.mmss --method helmert "
              "--no-weighting --strategy buffer --buffer 12.5 --no-tsm --helmert-mode user "
              "--helmert-a 0.99 --wgs-y 7 --report r.txt --verbose-report --yes"),
        datum);
    EXPECT_EQ(datum, dtHartebeesthoek);
    EXPECT_EQ(all.Source.SourceKind, GDataSourceSpec::Kind::XYZTable);
    EXPECT_EQ(std::tuple(all.Source.Alias, all.Source.Table, all.Source.XField, all.Source.ZField),
              std::tuple("GIS", "PEGS", "X", ""));
    EXPECT_EQ(std::tuple(all.LocalOrigin, all.XConstant, all.Exchange, all.NegateY),
              std::tuple(29.0, -5.5, false, true));
    EXPECT_FALSE(all.YConstant || all.NegateX || all.HelmertB || all.NoTrig);
    EXPECT_EQ(std::tuple(all.CoordinateSystem, all.Method, all.ApplyWeighting, all.Strategy,
                         all.Buffer, all.NoTsm),
              std::tuple(1, 1, false, 0, 12.5, true));
    EXPECT_EQ(std::tuple(all.HelmertMode, all.HelmertA, all.WGSY), std::tuple(1, 0.99, 7.0));
    EXPECT_EQ(std::tuple(all.Output, all.ReportFile, all.OutputMode, all.Yes),
              std::tuple(true, "r.txt", 1, true));

    const GTerminalAnswers none = ParseTransformArguments(Words("--to hart94 --crd j.crd"), datum);
    EXPECT_EQ(datum, dtCape);
    EXPECT_EQ(none.Source.SourceKind, GDataSourceSpec::Kind::Corvell);
    EXPECT_FALSE(none.Yes);
    EXPECT_FALSE(none.LocalOrigin || none.Method || none.ApplyWeighting || none.Strategy ||
                 none.Output || none.OutputMode || none.LabelField || none.HelmertMode);
}

TEST(TransformArguments, UsageErrors)
{
    const char* wrong[] = {
        "--shapefile j.shp",                                      // no direction
        "--to wgs --shapefile j.shp",                             // unknown direction
        "--to cape",                                              // no source
        "--to cape --shapefile a.shp --crd b.crd",                // two sources
        "--to cape --text t.txt --x-field X --y-field Y",         // no definition
        "--to cape --xyz A T --x-field X",                        // no Y field
        "--to cape --shapefile a.shp --x-field X",                // field without X/Y source
        "--to cape --shapefile a.shp --weighting --no-weighting", // contradicting options
        "--to cape --shapefile a.shp --lo 29.5",
        "--to cape --shapefile a.shp extra",
    };
    std::uint8_t datum = 0;
    for (const char* args : wrong)
        EXPECT_THROW(ParseTransformArguments(Words(args), datum), GUsageError) << args;
}

TEST(ImportArguments, SourcesAndClass)
{
    std::string beaconClass;
    GTerminalAnswers email =
        ParseImportArguments(Words("--class tsm --email c.eml h.eml --lo 29"), beaconClass);
    EXPECT_EQ(beaconClass, "TSM");
    EXPECT_EQ(email.ImportFormat, 0);
    EXPECT_EQ(email.CapeEmail, "c.eml");
    EXPECT_EQ(email.HartEmail, "h.eml");
    EXPECT_EQ(email.ImportLocalOrigin, 29.0);

    GTerminalAnswers shapes = ParseImportArguments(
        Words("--class TRIG --cape-shapefile a.shp --cape-field N --hart-shapefile b.shp "
              "--hart-field M --yes"),
        beaconClass);
    EXPECT_EQ(beaconClass, "TRIG");
    EXPECT_EQ(shapes.ImportFormat, 2);
    EXPECT_EQ(shapes.HartSource.Path, "b.shp");
    EXPECT_EQ(shapes.HartField, "M");
    EXPECT_TRUE(shapes.Yes);

    for (const char* args : {"--csv b.csv", "--class OTHER --csv b.csv", "--class TRIG",
                             "--class TRIG --csv b.csv --email a b",
                             "--class TRIG --cape-shapefile a.shp --cape-field N"})
        EXPECT_THROW(ParseImportArguments(Words(args), beaconClass), GUsageError) << args;
}

TEST(ProgressBar, LineFitsTheTerminal)
{
    EXPECT_EQ(GProgressBar::Format(5, 10, "Reading...", 80),
              "Reading... [############------------]  50% (5/10)");
    EXPECT_EQ(GProgressBar::Format(12, 10, "", 80), " [########################] 100% (10/10)");
    EXPECT_EQ(GProgressBar::Format(3, 0, "x", 80), "x [------------------------]   0% (0/0)");
    const std::string narrow = GProgressBar::Format(1, 3, std::string(100, 'c'), 60);
    EXPECT_EQ(narrow.size(), 59u);
    EXPECT_NE(narrow.find("..."), std::string::npos);

    // A bar that is not enabled never touches its stream.
    GProgressBar off(nullptr, true);
    off.Update(1, 2, "x");
    off.Clear();
    EXPECT_FALSE(off.Enabled());
}

TEST(ControlFind, NameMatching)
{
    struct Row
    {
        const char* name;
        const char* text;
        bool matchCase, wholeWord, expected;
    };
    for (const Row& row :
         {Row{"TRIG BEACON 12", "trig", false, false, true},
          Row{"TRIG BEACON 12", "trig", false, true, false}, Row{"TRIG", "trig", false, true, true},
          Row{"TRIG BEACON 12", "trig", true, false, false},
          Row{"TRIG BEACON 12", "BEACON", true, false, true},
          Row{"trig", "TRIG", true, true, false}})
        EXPECT_EQ(ControlNameMatches(row.name, row.text, row.matchCase, row.wholeWord),
                  row.expected)
            << row.name << " / " << row.text;
}

TEST(ControlList, CsvFieldsAreQuotedOnlyWhenNeeded)
{
    EXPECT_EQ(CsvField("TRIG 1"), "TRIG 1");
    EXPECT_EQ(CsvField("A,B"), "\"A,B\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
}

TEST(ImportReview, SelectionRulesOnlyClearFlags)
{
    GTrigBeaconList list;
    auto add = [&](const char* name, double cy, double cx, double wy, double wx, bool selected)
    {
        auto beacon = std::make_unique<GTrigBeacon>();
        beacon->Name = name;
        beacon->Clarke = {cy, cx};
        beacon->WGS = {wy, wx};
        beacon->Selected = selected;
        list.Add(std::move(beacon));
    };
    add("AT LIMIT", 1000.0, 2000.0, 1000.0, 2300.0, true);
    add("BEYOND", 1000.0, 2000.0, 1000.0, 2300.5, true);
    add("NO CLARKE", 0.0, 0.0, 1000.0, 2000.0, true);
    add("NO WGS", 1000.0, 2000.0, 0.0, 0.0, true);
    add("UNMATCHED", 1000.0, 2000.0, 1000.0, 2000.0, false);
    ApplyImportSelectionRules(list, 300.0);
    EXPECT_TRUE(list.Beacon(0).Selected);
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_FALSE(list.Beacon(i).Selected) << list.Beacon(i).Name;
    EXPECT_EQ(ImportReviewLine(list.Beacon(1)),
              "BEYOND                 1000.000     2000.000   1000.000     2300.500 300.500");
}

} // namespace
} // namespace quorvalis::test
