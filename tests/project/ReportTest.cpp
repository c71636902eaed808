// The report's line layouts and number style, and the file being complete or absent.
#include "ProjectTestSupport.h"

#include "geometry/Files.h"
#include "transformation/Transformation.h"

#include <cmath>

namespace quorvalis::test
{
namespace
{

using ReportTest = ProjectTest;

// Three pairs related by an exact shift of (+300, +32): every sum is an exact integer, so the
// fit is exact (a = 1, b = 0) and every misclosure is 0.
void AddShiftedPairs(GHelmertTransformation& helmert)
{
    const double source[3][2] = {{2850000, 95000}, {2850100, 95000}, {2850000, 95100}};
    const char* names[3] = {"TRIG 177 DORINGKOP", "TSM 1079", "PILLAR 14 SUURHEUWEL-NOORD"};
    for (int i = 0; i < 3; ++i)
        helmert.AddPair(names[i], std::make_unique<GPoint>(source[i][0], source[i][1]),
                        std::make_unique<GPoint>(source[i][0] + 300, source[i][1] + 32));
}

TEST_F(ReportTest, ControlBeaconSectionForEachDirection)
{
    GHelmertTransformation helmert;
    AddShiftedPairs(helmert);
    const auto file = Folder / "control.txt";
    {
        GReport report(file.string());
        report.WriteControlBeaconSection(helmert, dtCape);
        report.Close();
    }
    const std::vector<std::string> expected = {
        "TRANSFORMATION CONTROL BEACONS",
        "------------------------------",
        "",
        "BEACON NAME          CLARKE Y (m)   CLARKE X (m) WGS`84 Y (m)   WGS`84 X (m)",
        "-------------------- ------------ -------------- ------------ --------------",
        "",
        "TRIG 177 DORINGKOP     95 000,000  2 850 000,000   95 032,000  2 850 300,000",
        " Transformed                                       95 032,000  2 850 300,000",
        " Misclosure                                             0,000          0,000",
        "",
        "TSM 1079               95 000,000  2 850 100,000   95 032,000  2 850 400,000",
        " Transformed                                       95 032,000  2 850 400,000",
        " Misclosure                                             0,000          0,000",
        "",
        // A name longer than 20 characters pushes the rest of its first line to the right.
        "PILLAR 14 SUURHEUWEL-NOORD   95 100,000  2 850 000,000   95 132,000  2 850 300,000",
        " Transformed                                       95 132,000  2 850 300,000",
        " Misclosure                                             0,000          0,000",
        "",
        "SCALE     1,0000000000 %",
        "SWING         0,000000 degrees (ddd.mmss)",
        "",
    };
    EXPECT_EQ(ReportLines(file), expected);

    {
        GReport report(file.string());
        report.WriteControlBeaconSection(helmert, dtHartebeesthoek);
        report.Close();
    }
    EXPECT_EQ(ReportLines(file)[3],
              "BEACON NAME          WGS`84 Y (m)   WGS`84 X (m) CLARKE Y (m)   CLARKE X (m)");
}

TEST_F(ReportTest, SwingIsWrittenInPackedDegrees)
{
    // Targets rotated by 0.5 degrees about the origin: 0.5 degrees is 0 degrees 30 minutes.
    GHelmertTransformation helmert;
    const double angle = 0.5 * 3.14159265358979323846 / 180;
    const double source[3][2] = {{0, 0}, {1000, 0}, {0, 1000}};
    for (const auto& p : source)
        helmert.AddPair("B", std::make_unique<GPoint>(p[0], p[1]),
                        std::make_unique<GPoint>(p[0] * std::cos(angle) - p[1] * std::sin(angle),
                                                 p[0] * std::sin(angle) + p[1] * std::cos(angle)));
    const auto file = Folder / "swing.txt";
    GReport report(file.string());
    report.WriteControlBeaconSection(helmert, dtCape);
    report.Close();
    const auto lines = ReportLines(file);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[18], "SCALE     1,0000000000 %");
    EXPECT_EQ(lines[19], "SWING         0,300000 degrees (ddd.mmss)");
}

// The sections around these lines, and the coordinate lines, are checked in the runs' reports.
TEST(ReportLines, ParameterLines)
{
    GSheetParameters sheet{"2528AA",           29.0,
                           2779961.625883466,  88246.34465029299,
                           2780259.7136934586, 88277.7871041854,
                           0.9999971329228637, -0.00000015181447765733716};
    EXPECT_EQ(GReport::FormatParameterLine(sheet, dtCape),
              "2528AA          88 246,345  2 779 961,626   88 277,787  2 780 259,714 0,999997133 "
              "-0,000000152 29");
    // Hartebeesthoek centres first for that direction; Lo to the nearest integer.
    const GSheetParameters user{"USER DEFINED", 30.6, 0, 0, 10.0, -5.0, 1.0, 0.0};
    EXPECT_EQ(GReport::FormatParameterLine(user, dtHartebeesthoek),
              "USER DEFINED        -5,000         10,000        0,000          0,000 1,000000000 "
              "0,000000000 31");
}

TEST_F(ReportTest, FileIsCompleteOrAbsent)
{
    const auto file = Folder / "Output.txt";
    {
        GReport report(file.string());
        report.WriteLine("first");
        EXPECT_FALSE(std::filesystem::exists(file)) << "visible before it is closed";
    } // never closed: nothing
    EXPECT_FALSE(std::filesystem::exists(file));

    WriteFileAtomically(file.string(), "old report");
    {
        GReport report(file.string());
        report.WriteLine("new");
        EXPECT_TRUE(report.CloseQuietly());
        EXPECT_TRUE(report.Closed());
        report.Close(); // a second close does nothing
    }
    EXPECT_EQ(ReadFile(file), "new\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(Folder))
        EXPECT_EQ(entry.path().string().find("~"), std::string::npos) << entry.path();

    EXPECT_THROW(GReport((Folder / "missing" / "Output.txt").string()), GFileException);
}

} // namespace
} // namespace quorvalis::test
