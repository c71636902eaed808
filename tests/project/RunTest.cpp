// Both runs end to end on records held in memory: the report text, the sheets, the failures, and a
// control-coordinate run checked point by point against an independent computation (PROJ's exact
// transverse Mercator with the system's axes, and a least-squares similarity fitted here).
#include "ProjectTestSupport.h"

#include "transformation/Transformation.h"

#include <proj.h>

#include <array>

#include <cmath>
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

    // The 30 points of the sample job (Lo 29, Cape), labelled with their names.
    std::unique_ptr<MemoryRecordSet> JobPoints() const
    {
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
        return recordSet;
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
    project.Output = true;
    project.OutputMode = 1;
    project.OutputFileName = ReportFile();
    project.LabelField = "LABEL";

    const GRunCounts counts = project.RunHelmertTransformation();
    EXPECT_EQ(counts.Shapes, 2);
    EXPECT_EQ(counts.Points, 2);
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

    const auto& moved = static_cast<const GPoint&>(*data.Shapes[1]);
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
    project.Output = true;
    project.OutputMode = 0;
    project.OutputFileName = ReportFile();

    const GRunCounts counts = project.RunHelmertTransformation();
    EXPECT_EQ(counts.Points, 4);
    const auto lines = ReportLines(ReportFile());
    ASSERT_EQ(lines.size(), 9u); // no coordinate section, no blank line before the parameters
    EXPECT_EQ(lines[0], "TRANSFORMATION PARAMETERS (USED IN TRANSFORMATION)");
    EXPECT_EQ(lines[6].substr(0, 14), "2528AA        ");
    EXPECT_EQ(lines[7].substr(0, 14), "2528AB        ");
    EXPECT_EQ(lines[8].substr(0, 14), "2528AC        ");
    EXPECT_EQ(lines[6].substr(lines[6].size() - 3), " 29");
    EXPECT_TRUE(ui.Errors.empty());
}

TEST_F(RunTest, MissingSheetChangesNothing)
{
    auto recordSet = std::make_unique<MemoryRecordSet>();
    recordSet->AddPoint(28.1, 25.1);
    recordSet->AddPoint(31.1, 10.2); // 1031AA is not in the table
    MemoryRecordSet& data = Open(std::move(recordSet));
    project.CoordinateSystem = 2;
    project.HelmertMode = 0;
    project.Output = true;
    project.OutputMode = 1;
    project.OutputFileName = ReportFile();

    const GRunCounts counts = project.RunHelmertTransformation();
    EXPECT_EQ(counts.Shapes, 0);
    EXPECT_EQ(counts.Points, 0);
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(ui.Errors[0], "The following sheet:\r\r1031AA\r\rhas not been referenced in the "
                            "Sheet.DB\rtable. Please contact the developers and\rhave this "
                            "problem corrected.");
    EXPECT_EQ(data.Posts, 0);
    EXPECT_EQ(static_cast<const GPoint&>(*data.Shapes[0]).X, 28.1);
    // The report holds what was written before the check: the coordinate heading.
    EXPECT_EQ(ReportLines(ReportFile()).size(), 6u);
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

TEST_F(RunTest, ErrorHalfWayKeepsWhatWasWritten)
{
    ASSERT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
    auto recordSet = JobPoints();
    recordSet->FailAtPost = 1;
    MemoryRecordSet& data = Open(std::move(recordSet));
    const double firstX = static_cast<const GPoint&>(*data.Shapes[0]).X;
    project.ReadControlBeacons();
    project.SortControlBeacons();
    project.SelectControlBeacons(1, 5, 25.0, true, true, true);
    project.Output = true;
    project.OutputMode = 1;
    project.OutputFileName = ReportFile();
    EXPECT_THROW(project.RunControlTransformation(), GDatabaseException);
    EXPECT_NE(static_cast<const GPoint&>(*data.Shapes[0]).X, firstX); // posted, stays changed
    // Beacon section (6 + 5 x 4 + 3 lines), coordinate heading (6), two coordinate lines.
    EXPECT_EQ(ReportLines(ReportFile()).size(), 29u + 6u + 2u);
    EXPECT_EQ(project.OutputFile, nullptr);
    EXPECT_EQ(ui.HourglassDepth, 0);
    project.CloseRecordSet(); // left editing by the failed post; freeing drops the edit
    EXPECT_EQ(project.RecordSet, nullptr);
}

TEST_F(RunTest, ControlRunStandardReportWithThreeBeacons)
{
    ASSERT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
    Open(JobPoints());
    project.ReadControlBeacons();
    EXPECT_EQ(project.ControlBeacons.Count(), 20);
    project.SortControlBeacons();
    project.SelectControlBeacons(1, 3, 25.0, true, true, true);
    project.Output = true;
    project.OutputMode = 0;
    project.OutputFileName = ReportFile();
    const GRunCounts counts = project.RunControlTransformation();
    EXPECT_EQ(counts.Shapes, 30);
    EXPECT_EQ(counts.Points, 30);

    const auto lines = ReportLines(ReportFile());
    ASSERT_EQ(lines.size(), 21u);
    for (int i = 0; i < 3; ++i)
    {
        const std::string& name = project.ControlBeacons.Beacon(i).Name;
        EXPECT_EQ(lines[6 + 4 * i].substr(0, 21), name + std::string(21 - name.size(), ' '));
        EXPECT_EQ(lines[7 + 4 * i].substr(0, 12), " Transformed");
        EXPECT_EQ(lines[8 + 4 * i].substr(0, 11), " Misclosure");
        EXPECT_EQ(lines[9 + 4 * i], "");
        // Cape plane coordinates of the Lo 29 area: Y about 95 000, X about 2 850 000.
        EXPECT_EQ(lines[6 + 4 * i].size(), 76u);
    }
    EXPECT_EQ(lines[18].substr(0, 11), "SCALE     0");
    EXPECT_EQ(lines[18].substr(lines[18].size() - 2), " %");
    EXPECT_EQ(lines[19].substr(lines[19].size() - 19), " degrees (ddd.mmss)");
    EXPECT_EQ(lines[20], "");
    EXPECT_EQ(ui.ProgressCaptions,
              (std::vector<std::string>{"Retrieving Spatial Extent...",
                                        "Retrieving Control Coordinates...",
                                        "Transforming Spatial Information..."}));
}

// --- Independent computation ---

class Tmerc
{
public:
    Tmerc(PJ_CONTEXT* context, double lo, GWorld world)
    {
        const double a = world == wdClarke1880 ? 6378249.145326 : 6378137.0;
        const double b = world == wdClarke1880 ? 6356514.966721 : 6356752.314;
        char definition[256];
        std::snprintf(definition, sizeof definition,
                      "+proj=tmerc +axis=wsu +lat_0=0 +lon_0=%.0f +k=1 +x_0=0 +y_0=0 +a=%.6f "
                      "+b=%.6f +units=m",
                      lo, a, b);
        pj_ = proj_create(context, definition);
        EXPECT_NE(pj_, nullptr);
    }
    ~Tmerc() { proj_destroy(pj_); }
    Tmerc(const Tmerc&) = delete;
    Tmerc& operator=(const Tmerc&) = delete;

    // Geographic (longitude east, latitude south) to Lo (southing, westing).
    void Forward(double longitude, double latitude, double& x, double& y) const
    {
        const PJ_COORD r =
            proj_trans(pj_, PJ_FWD, proj_coord(proj_torad(longitude), proj_torad(-latitude), 0, 0));
        x = r.xy.y;
        y = r.xy.x;
    }
    void Inverse(double x, double y, double& longitude, double& latitude) const
    {
        const PJ_COORD r = proj_trans(pj_, PJ_INV, proj_coord(y, x, 0, 0));
        longitude = proj_todeg(r.lp.lam);
        latitude = -proj_todeg(r.lp.phi);
    }

private:
    PJ* pj_ = nullptr;
};

struct Pair
{
    double x, y, tx, ty;
};

TEST_F(RunTest, ControlRunAgreesWithAnIndependentComputation)
{
    ASSERT_EQ(ImportDelimited(Sample("beacons-lo29.csv"), 29, "TRIG"), 20);
    auto recordSet = JobPoints();
    std::vector<std::pair<double, double>> original;
    for (const auto& shape : recordSet->Shapes)
        original.emplace_back(static_cast<const GPoint&>(*shape).X,
                              static_cast<const GPoint&>(*shape).Y);
    MemoryRecordSet& data = Open(std::move(recordSet));
    // Lo 29 data, transformation plane Lo 31, weighting on.
    project.TransformationLocalOrigin = 31;
    project.ApplyWeighting = true;
    project.ReadControlBeacons();
    project.SortControlBeacons();
    project.SelectControlBeacons(1, 10, 25.0, true, true, true);
    const GRunCounts counts = project.RunControlTransformation();
    ASSERT_EQ(counts.Points, 30);

    PJ_CONTEXT* context = proj_context_create();
    {
        const Tmerc cape29(context, 29, wdClarke1880), cape31(context, 31, wdClarke1880);
        const Tmerc wgs29(context, 29, wdWGS84), wgs31(context, 31, wdWGS84);
        std::vector<Pair> pairs;
        for (const auto& beacon : project.ControlBeacons)
        {
            if (!beacon->Selected)
                continue;
            Pair pair{};
            cape31.Forward(beacon->Clarke.X, beacon->Clarke.Y, pair.x, pair.y);
            wgs31.Forward(beacon->WGS.X, beacon->WGS.Y, pair.tx, pair.ty);
            pairs.push_back(pair);
        }
        ASSERT_EQ(pairs.size(), 10u);
        long double mx = 0, my = 0, mtx = 0, mty = 0;
        for (const Pair& p : pairs)
        {
            mx += p.x;
            my += p.y;
            mtx += p.tx;
            mty += p.ty;
        }
        const long double n = static_cast<long double>(pairs.size());
        mx /= n;
        my /= n;
        mtx /= n;
        mty /= n;
        long double sa = 0, sb = 0, sd = 0;
        for (const Pair& p : pairs)
        {
            const long double dx = p.x - mx, dy = p.y - my, dtx = p.tx - mtx, dty = p.ty - mty;
            sa += dx * dtx + dy * dty;
            sb += dx * dty - dy * dtx;
            sd += dx * dx + dy * dy;
        }
        const long double a = sa / sd, b = sb / sd;
        const auto similarity = [&](double x, double y, double& tx, double& ty)
        {
            tx = static_cast<double>(mtx + (x - mx) * a - (y - my) * b);
            ty = static_cast<double>(mty + (x - mx) * b + (y - my) * a);
        };
        std::vector<std::array<double, 4>> controls; // target x, y, correction x, y
        for (const Pair& p : pairs)
        {
            double tx, ty;
            similarity(p.x, p.y, tx, ty);
            controls.push_back({p.tx, p.ty, p.tx - tx, p.ty - ty});
        }

        double worst = 0.0;
        for (std::size_t i = 0; i < original.size(); ++i)
        {
            double longitude, latitude, x, y, tx, ty;
            cape29.Inverse(original[i].first, original[i].second, longitude, latitude);
            cape31.Forward(longitude, latitude, x, y);
            similarity(x, y, tx, ty);
            long double sx = 0, sy = 0, sw = 0;
            for (const auto& c : controls)
            {
                const long double w = 1.0L / std::hypot(tx - c[0], ty - c[1]);
                sx += c[2] * w;
                sy += c[3] * w;
                sw += w;
            }
            tx += static_cast<double>(sx / sw);
            ty += static_cast<double>(sy / sw);
            wgs31.Inverse(tx, ty, longitude, latitude);
            wgs29.Forward(longitude, latitude, x, y);
            const auto& moved = static_cast<const GPoint&>(*data.Shapes[i]);
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
