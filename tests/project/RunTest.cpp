// Both runs end to end on records held in memory: the report text, the sheets, the failures, and a
// control-coordinate run checked point by point against an independent computation (PROJ's exact
// transverse Mercator with the system's axes, and a least-squares similarity fitted here).
#include "ProjectTestSupport.h"

#include "transformation/Transformation.h"

#include <proj.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvalis::test
{
namespace
{

class RunTest : public ProjectTest
{
protected:
    void SetUp() override
    {
        ProjectTest::SetUp();
        project.SetUserInterface(&ui);
        project.SourceDatum = dtCape;
        project.TargetDatum = dtHartebeesthoek;
        project.LocalOrigin = 29;
        project.TransformationLocalOrigin = 29;
        project.ApplyWeighting = false;
        project.ShowMessage = false;
    }

    // Opens the record set in the project and keeps a pointer to it for inspection.
    MemoryRecordSet& Open(std::unique_ptr<MemoryRecordSet> recordSet)
    {
        MemoryRecordSet& kept = *recordSet;
        EXPECT_TRUE(project.OpenRecordSet(std::move(recordSet)));
        project.CalculateExtent();
        return kept;
    }

    // The 30 points of the sample job (Lo 29, Cape) labelled with their names, opened; the
    // sample beacons imported, sorted, and the first `beacons` of them selected.
    MemoryRecordSet& OpenJob(int beacons)
    {
        EXPECT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
        auto recordSet = std::make_unique<MemoryRecordSet>();
        std::ifstream file(Sample("job-points.txt"));
        std::string line;
        std::getline(file, line); // NAME,Y,X,HEIGHT,CODE
        while (std::getline(file, line))
        {
            std::stringstream fields(line);
            std::string name, y, x;
            std::getline(fields, name, ',');
            std::getline(fields, y, ',');
            std::getline(fields, x, ',');
            recordSet->AddPoint(std::stod(x), std::stod(y), name);
        }
        EXPECT_EQ(recordSet->Shapes.size(), 30u);
        MemoryRecordSet& data = Open(std::move(recordSet));
        project.ReadControlBeacons();
        project.SortControlBeacons();
        project.SelectControlBeacons(1, beacons, 25.0, true, true, true);
        return data;
    }

    void WriteReport(std::int32_t mode)
    {
        project.Output = true;
        project.OutputMode = mode;
        project.OutputFileName = ReportFile();
    }

    std::string ReportFile() const { return (Folder / "Output.txt").string(); }

    RecordingInterface ui;
    GProject project;
};

TEST_F(RunTest, UserDefinedHelmertVerboseReport)
{
    auto recordSet = std::make_unique<MemoryRecordSet>();
    recordSet->AddPoint(2850000, 80000, "PT1");
    recordSet->AddPoint(2851000.5, 81000.25, "PEG-NUMBER-12345");
    MemoryRecordSet& data = Open(std::move(recordSet));
    project.ProjectTransformation = 1;
    project.HelmertMode = 1;
    project.HelmertA = 1.0;
    project.HelmertB = 0.0;
    project.WGSX = 10.0;
    project.WGSY = -5.0;
    WriteReport(1);
    project.LabelField = "LABEL";

    const GRunCounts counts = project.RunHelmertTransformation();
    EXPECT_EQ(counts.Shapes, 2);
    EXPECT_EQ(counts.Points, 2);
    EXPECT_EQ(counts.Shift.Count, 2);
    EXPECT_NEAR(counts.Shift.Mean, std::hypot(10.0, 5.0), 1e-9);
    EXPECT_FALSE(std::filesystem::exists(ReportFile())) << "committed only after the data";
    project.FlushRecordSet();
    EXPECT_EQ(data.Flushes, 1);
    const std::vector<std::string> expected = {
        "TRANSFORMED COORDINATE VALUES",
        "-----------------------------",
        "",
        "NAME         ORIGINAL Y     ORIGINAL X TRANSFORMD Y  TRANSFORMED X       DY       DX",
        "---------- ------------ -------------- ------------ -------------- -------- --------",
        "",
        "PT1          80 000,000  2 850 000,000   79 995,000  2 850 010,000   -5,000   10,000",
        "PEG-NUMBER   81 000,250  2 851 000,500   80 995,250  2 851 010,500   -5,000   10,000",
        "",
        "TRANSFORMATION PARAMETERS (USED IN TRANSFORMATION)",
        "--------------------------------------------------",
        "",
        "DEGREE SHEET  CAPE DATUM Y   CAPE DATUM X HBK`94 DTM Y HBK`94 DATUM X    HELMERT A    "
        "HELMERT B LO",
        "------------- ------------ -------------- ------------ -------------- ------------ "
        "------------ --",
        "",
        "USER DEFINED         0,000          0,000       -5,000         10,000 1,000000000 "
        "0,000000000 29",
    };
    EXPECT_EQ(ReportLines(ReportFile()), expected);
    EXPECT_EQ(project.SheetTable, nullptr);
    EXPECT_EQ(project.OutputFile, nullptr);

    const GPoint& moved = data.Shapes[1]->GetPoint(0);
    EXPECT_NEAR(moved.X, 2851010.5, 1e-6);
    EXPECT_NEAR(moved.Y, 80995.25, 1e-6);
    EXPECT_EQ(ui.HourglassDepth, 0);
    EXPECT_EQ(ui.MaxHourglassDepth, 1);
}

TEST_F(RunTest, HelmertRunListsEachSheetOnceInTheOrderMet)
{
    // Geographic data (decimal degrees): longitude in X, latitude (south) in Y.
    auto recordSet = std::make_unique<MemoryRecordSet>();
    recordSet->AddPoint(28.1, 25.1);
    auto points = std::make_unique<GPoints>();
    points->Points.Add(std::make_unique<GPoint>(28.4, 25.1));
    points->Points.Add(std::make_unique<GPoint>(28.1, 25.4));
    points->Points.Add(std::make_unique<GPoint>(28.12, 25.12));
    recordSet->AddShape(std::move(points));
    Open(std::move(recordSet));
    project.CoordinateSystem = 2;
    project.HelmertMode = 0;
    WriteReport(0);

    const GRunCounts counts = project.RunHelmertTransformation();
    EXPECT_EQ(counts.Points, 4);
    project.FlushRecordSet();
    const auto lines = ReportLines(ReportFile());
    ASSERT_EQ(lines.size(), 9u); // no coordinate section, no blank line before the parameters
    EXPECT_EQ(lines[0], "TRANSFORMATION PARAMETERS (USED IN TRANSFORMATION)");
    EXPECT_EQ(lines[6].substr(0, 14), "2528AA        ");
    EXPECT_EQ(lines[7].substr(0, 14), "2528AB        ");
    EXPECT_EQ(lines[8].substr(0, 14), "2528AC        ");
    EXPECT_EQ(lines[6].substr(lines[6].size() - 3), " 29");
    EXPECT_TRUE(ui.Errors.empty());
}

TEST_F(RunTest, MissingSheetChangesNothingAndWritesNoReport)
{
    auto recordSet = std::make_unique<MemoryRecordSet>();
    recordSet->AddPoint(28.1, 25.1);
    recordSet->AddPoint(30.1, 20.2); // 2030AA lies north of the sheet table
    MemoryRecordSet& data = Open(std::move(recordSet));
    project.CoordinateSystem = 2;
    project.HelmertMode = 0;
    WriteReport(1);

    try
    {
        project.RunHelmertTransformation();
        ADD_FAILURE() << "no fault";
    }
    catch (const GGuardException& error)
    {
        EXPECT_STREQ(error.what(), "The following sheet:\r\r2030AA\r\rhas not been referenced in "
                                   "the Sheet.DB\rtable. Please contact the developers and\rhave "
                                   "this problem corrected.");
    }
    EXPECT_EQ(data.Posts, 0);
    EXPECT_EQ(data.Shapes[0]->GetPoint(0).X, 28.1);
    EXPECT_FALSE(std::filesystem::exists(ReportFile()));
    EXPECT_EQ(project.OutputFile, nullptr);
    EXPECT_EQ(project.SheetTable, nullptr);
    EXPECT_EQ(project.RecordSet->RecordIndex(), 0);
}

TEST_F(RunTest, RecordsWithoutShapesAreLeftAlone)
{
    auto recordSet = std::make_unique<MemoryRecordSet>();
    recordSet->AddPoint(2850000, 80000);
    recordSet->AddShape(nullptr);
    recordSet->AddPoint(2851000, 81000);
    MemoryRecordSet& data = Open(std::move(recordSet));
    project.HelmertMode = 1;
    project.HelmertA = 1.0;
    project.HelmertB = 0.0;
    const GRunCounts counts = project.RunHelmertTransformation();
    EXPECT_EQ(counts.Shapes, 3); // the record count
    EXPECT_EQ(counts.Points, 2);
    EXPECT_EQ(data.Posts, 2);
    EXPECT_EQ(data.Shapes[1], nullptr);
}

TEST_F(RunTest, ErrorHalfWayLeavesNoReport)
{
    MemoryRecordSet& data = OpenJob(5);
    data.FailAtPost = 1;
    const std::string earlier = "an earlier run's report\r\n";
    std::ofstream(ReportFile(), std::ios::binary) << earlier;
    WriteReport(1);
    EXPECT_THROW(project.RunControlTransformation(), GDatabaseException);
    // The report is discarded and the file at its path left as it was; the record set was never
    // flushed, so the storage behind it holds nothing of the run.
    EXPECT_EQ(ReadFile(ReportFile()), earlier);
    EXPECT_EQ(project.OutputFile, nullptr);
    EXPECT_EQ(data.Flushes, 0);
    EXPECT_EQ(ui.HourglassDepth, 0);
    project.CloseRecordSet(); // left editing by the failed post; freeing drops the edit
    EXPECT_EQ(project.RecordSet, nullptr);
}

TEST_F(RunTest, ControlRunStandardReportWithThreeBeacons)
{
    OpenJob(3);
    EXPECT_EQ(project.ControlBeacons.Count(), 20);
    WriteReport(0);
    const GRunCounts counts = project.RunControlTransformation();
    EXPECT_EQ(counts.Shapes, 30);
    EXPECT_EQ(counts.Points, 30);
    project.FlushRecordSet();

    const auto lines = ReportLines(ReportFile());
    ASSERT_EQ(lines.size(), 21u); // the layout itself is the report tests'
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(lines[6 + 4 * i].rfind(project.ControlBeacons.Beacon(i).Name + " ", 0), 0u);
        // Cape plane coordinates of the Lo 29 area: Y about 95 000, X about 2 850 000.
        EXPECT_EQ(lines[6 + 4 * i].size(), 76u);
    }
    EXPECT_EQ(ui.ProgressCaptions,
              (std::vector<std::string>{"Retrieving Spatial Extent...",
                                        "Retrieving Control Coordinates...",
                                        "Transforming Spatial Information..."}));
}

// --- Independent computation ---

using Pj = std::unique_ptr<PJ, decltype(&proj_destroy)>;

// PROJ's exact transverse Mercator on the system's axes.
Pj Tmerc(PJ_CONTEXT* context, int lo, GWorld world)
{
    const std::string definition =
        "+proj=tmerc +axis=wsu +lat_0=0 +k=1 +x_0=0 +y_0=0 +units=m +lon_0=" + std::to_string(lo) +
        (world == wdClarke1880 ? " +a=6378249.145326 +b=6356514.966721"
                               : " +a=6378137.0 +b=6356752.314");
    Pj pj(proj_create(context, definition.c_str()), &proj_destroy);
    EXPECT_NE(pj, nullptr);
    return pj;
}

// Geographic (longitude east, latitude south) to Lo (X southing, Y westing), and back.
std::pair<double, double> Forward(const Pj& pj, double longitude, double latitude)
{
    const PJ_COORD r = proj_trans(pj.get(), PJ_FWD,
                                  proj_coord(proj_torad(longitude), proj_torad(-latitude), 0, 0));
    return {r.xy.y, r.xy.x};
}

std::pair<double, double> Inverse(const Pj& pj, double x, double y)
{
    const PJ_COORD r = proj_trans(pj.get(), PJ_INV, proj_coord(y, x, 0, 0));
    return {proj_todeg(r.lp.lam), -proj_todeg(r.lp.phi)};
}

TEST_F(RunTest, ControlRunAgreesWithAnIndependentComputation)
{
    project.TransformationLocalOrigin = 31; // Lo 29 data, transformation plane Lo 31
    project.ApplyWeighting = true;
    MemoryRecordSet& data = OpenJob(10);
    std::vector<std::pair<double, double>> original;
    for (const auto& shape : data.Shapes)
        original.emplace_back(shape->GetPoint(0).X, shape->GetPoint(0).Y);
    // The ten nearest the centre of the job on the Lo 31 plane, nearest first, as PROJ puts them
    // (cs2cs; the eleventh lies 1.3 km further out). Taking the extent to degrees with the
    // transformation's Lo instead of the data's would change five of them.
    std::vector<std::string> selected;
    for (const auto& beacon : project.ControlBeacons)
        if (beacon->Selected)
            selected.push_back(beacon->Name);
    EXPECT_EQ(selected, (std::vector<std::string>{"TRIG 178 BLOUBOS", "PILLAR 25 BOESMANKOP",
                                                  "TRIG 84 TAFELKOP", "TRIG 69 VYGEBOOM",
                                                  "TRIG 66 SWARTKOPPIE", "TSM 1203 KAALPLAAS",
                                                  "TSM 1829 SANDSPRUIT", "TSM 2958 SOETDORING",
                                                  "TSM 3238 KLIPVLEI", "TRIG 58 ROOIKRANS"}));
    ASSERT_EQ(project.RunControlTransformation().Points, 30);

    PJ_CONTEXT* context = proj_context_create();
    {
        const Pj cape29 = Tmerc(context, 29, wdClarke1880),
                 cape31 = Tmerc(context, 31, wdClarke1880);
        const Pj wgs29 = Tmerc(context, 29, wdWGS84), wgs31 = Tmerc(context, 31, wdWGS84);
        // The least-squares similarity of the selected beacons on Lo 31, in extended precision.
        std::vector<std::array<double, 4>> pairs; // Cape x, y, Hartebeesthoek x, y
        for (const auto& beacon : project.ControlBeacons)
            if (beacon->Selected)
            {
                const auto [x, y] = Forward(cape31, beacon->Clarke.X, beacon->Clarke.Y);
                const auto [tx, ty] = Forward(wgs31, beacon->WGS.X, beacon->WGS.Y);
                pairs.push_back({x, y, tx, ty});
            }
        ASSERT_EQ(pairs.size(), 10u);
        long double m[4] = {}, sa = 0, sb = 0, sd = 0;
        for (const auto& p : pairs)
            for (int k = 0; k < 4; ++k)
                m[k] += p[k] / 10.0L;
        for (const auto& p : pairs)
        {
            const long double dx = p[0] - m[0], dy = p[1] - m[1], dtx = p[2] - m[2],
                              dty = p[3] - m[3];
            sa += dx * dtx + dy * dty;
            sb += dx * dty - dy * dtx;
            sd += dx * dx + dy * dy;
        }
        const long double a = sa / sd, b = sb / sd;
        const auto similarity = [&](double x, double y)
        {
            return std::pair<double, double>(m[2] + (x - m[0]) * a - (y - m[1]) * b,
                                             m[3] + (x - m[0]) * b + (y - m[1]) * a);
        };

        double worst = 0.0;
        for (std::size_t i = 0; i < original.size(); ++i)
        {
            const auto [longitude, latitude] =
                Inverse(cape29, original[i].first, original[i].second);
            const auto [x31, y31] = Forward(cape31, longitude, latitude);
            const auto [tx, ty] = similarity(x31, y31);
            // Moved by the inverse-distance mean of the beacons' misclosures.
            long double sx = 0, sy = 0, sw = 0;
            for (const auto& p : pairs)
            {
                const auto [px, py] = similarity(p[0], p[1]);
                const long double w = 1.0L / std::hypot(tx - p[2], ty - p[3]);
                sx += (p[2] - px) * w;
                sy += (p[3] - py) * w;
                sw += w;
            }
            const auto [lon, lat] = Inverse(wgs31, tx + static_cast<double>(sx / sw),
                                            ty + static_cast<double>(sy / sw));
            const auto [x, y] = Forward(wgs29, lon, lat);
            const GPoint& moved = data.Shapes[i]->GetPoint(0);
            worst = std::max(worst, std::hypot(moved.X - x, moved.Y - y));
            // The datum shift in this area moves X by about 298 m and Y by about 32 m.
            EXPECT_NEAR(moved.X - original[i].first, 298.0, 10.0);
            EXPECT_NEAR(moved.Y - original[i].second, 31.5, 10.0);
        }
        // The series projections of the system agree with the exact ones to hundredths of a
        // millimetre this close to the meridians; one millimetre leaves room for nothing else.
        EXPECT_LT(worst, 0.001) << "largest difference " << worst << " m";
        RecordProperty("LargestDifferenceMetres", std::to_string(worst));
    }
    proj_context_destroy(context);
}

} // namespace
} // namespace quorvalis::test
