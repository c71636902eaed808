// The vector data surveyors have, from the window: a GNSS PointZ shapefile, a PolyLineZM export
// and a GeoPackage layer of pegs chosen through the data-source chooser and its real dialogs, moved
// in place by the transform command with their heights and measures untouched.
#include "FormsTestSupport.h"

#include "database/Database.h"
#include "database/GisLayerDatabase.h"
#include "database/ShapefileDatabase.h"
#include "forms/QtUserInterface.h"
#include "geometry/Spatial.h"
#include "project/Project.h"
#include "project/TransformCommand.h"
#include "tests/OgrSamples.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <bit>
#include <cstdlib>
#include <fstream>
#include <tuple>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;

// A user-defined Helmert in Lo 29 that shifts every point by about the datum shift there.
constexpr double kShiftX = 298.0;
constexpr double kShiftY = 31.5;

// The windows' user interface with the transform command's parameter, output and confirmation
// questions answered as a user would: the data in Lo 29 metres, the Helmert above, no report.
class AnsweringInterface : public GQtUserInterface
{
public:
    std::vector<std::string> Doubts;

    bool EditProjectParameters(GProject&, GProjectParameters& values) override
    {
        values.LocalOrigin = 29.0;
        values.CoordinateSystem = 0;
        return true;
    }
    bool EditTransformationMethod(std::uint8_t& method) override
    {
        method = 1;
        return true;
    }
    bool EditHelmertParameters(GHelmertParameters& values) override
    {
        values.HelmertMode = 1;
        values.TransformationLocalOrigin = 29.0;
        values.HelmertA = 1.0;
        values.HelmertB = 0.0;
        values.CapeX = values.CapeY = 0.0;
        values.WGSX = kShiftX;
        values.WGSY = kShiftY;
        return true;
    }
    bool EditTransformationOutput(GOutputChoice& choice) override
    {
        choice.Output = false;
        return true;
    }
    bool ConfirmRun(bool&, const std::vector<std::string>& doubts) override
    {
        Doubts = doubts;
        return true;
    }
};

struct Vertex
{
    double X, Y;
    std::uint64_t Z, M; // bit patterns
};

// Every vertex of every record, read back through the store's own record set.
std::vector<std::vector<Vertex>> Vertices(GRecordSet& recordSet)
{
    std::vector<std::vector<Vertex>> records;
    EXPECT_TRUE(recordSet.Open());
    for (recordSet.First(); !recordSet.Eof(); recordSet.Next())
    {
        auto& vertices = records.emplace_back();
        if (const std::unique_ptr<GShape> shape = recordSet.GetShape())
            shape->ForEachPoint(
                [&](const GPoint& p)
                {
                    vertices.push_back({p.X, p.Y, std::bit_cast<std::uint64_t>(p.Z),
                                        std::bit_cast<std::uint64_t>(p.M)});
                });
    }
    recordSet.Close();
    return records;
}

void ExpectShifted(const std::vector<std::vector<Vertex>>& before,
                   const std::vector<std::vector<Vertex>>& after)
{
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t r = 0; r < before.size(); ++r)
    {
        ASSERT_EQ(after[r].size(), before[r].size()) << "record " << r;
        for (std::size_t i = 0; i < before[r].size(); ++i)
        {
            EXPECT_NEAR(after[r][i].X, before[r][i].X + kShiftX, 1e-6) << r << ":" << i;
            EXPECT_NEAR(after[r][i].Y, before[r][i].Y + kShiftY, 1e-6) << r << ":" << i;
            EXPECT_EQ(after[r][i].Z, before[r][i].Z) << r << ":" << i;
            EXPECT_EQ(after[r][i].M, before[r][i].M) << r << ":" << i;
        }
    }
}

class VectorDataWindowTest : public DialogsTest
{
protected:
    void SetUp() override
    {
        DialogsTest::SetUp();
        if (!HaveOgr2Ogr())
            GTEST_SKIP() << "ogr2ogr is not installed";
    }

    std::string Write(const std::string& file, const std::string& format, const std::string& type,
                      const std::vector<std::string>& wkt, const std::string& layer = {})
    {
        return WriteWithOgr(Folder, file, format, type, wkt, layer);
    }

    // Runs the Clarke 1880 to WGS84 command as the File menu does; the run must complete.
    void RunFromTheWindow(std::int32_t shapes, std::int64_t points)
    {
        GProject project;
        AnsweringInterface ui;
        project.SetUserInterface(&ui);
        const GTransformResult result = RunTransformCommand(project, ui, dtCape);
        project.SetUserInterface(nullptr);
        EXPECT_EQ(result.Outcome, GCommandOutcome::Completed) << result.ErrorMessage;
        EXPECT_EQ(result.Counts.Shapes, shapes);
        EXPECT_EQ(result.Counts.Points, points);
        EXPECT_TRUE(ui.Doubts.empty()) << ui.Doubts.front();
        EXPECT_TRUE(Errors().empty()) << Errors().front();
        EXPECT_EQ(project.RecordSet, nullptr);
    }
};

TEST_F(VectorDataWindowTest, ShapefilesWithHeightsAndMeasuresMoveThroughTheShapefileDialog)
{
    const std::string gnss =
        Write("gnss.shp", "ESRI Shapefile", "POINTZ",
              {"POINT Z (2850000.125 80000.5 1391.452)", "POINT Z (2850210.5 80310.25 -0)",
               "POINT Z (2850420 80020 12)"});
    const std::string cad =
        Write("cad.shp", "ESRI Shapefile", "MULTILINESTRINGZM",
              {"MULTILINESTRING ZM ((2850000 80000 1391.45 0,2850010 80010 1392.5 14.142),(2850100 "
               "80100 6 7,2850110 80110 8 -1e39))",
               "MULTILINESTRING ZM ((2850200 80200 -0 1e300,2850210 80210 1 2))"});
    for (const auto& [shp, shapes, points] : {std::tuple{gnss, 3, 3}, std::tuple{cad, 2, 6}})
    {
        SCOPED_TRACE(shp);
        const auto before = Vertices(*CreateShapefileRecordSet(false, shp, true, false));
        // The heights and measures are there to keep.
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(std::bit_cast<double>(before[0][0].Z), shp == gnss ? 1391.452 : 1391.45);
        if (shp == cad)
        {
            EXPECT_EQ(std::bit_cast<double>(before[0][3].M), -1e39);
        }
        FileAnswer = [&](const GFileDialog& dialog)
        { return dialog.Title == "Shapefiles..." ? shp : std::string(); };
        Choose("Shapefile", [](QWidget& dialog) { Press(dialog, "btnOk"); });
        RunFromTheWindow(shapes, points);
        const auto after = Vertices(*CreateShapefileRecordSet(false, shp, true, false));
        ExpectShifted(before, after);
        ASSERT_FALSE(Boxes.empty());
        EXPECT_EQ(Boxes.back().second.rfind(std::to_string(shapes) + " shapes consisting of " +
                                                std::to_string(points) + " points transformed",
                                            0),
                  0u)
            << Boxes.back().second;
    }
}

TEST_F(VectorDataWindowTest, AGeoPackageLayerOfPegsMovesThroughTheGisLayerDialog)
{
    const std::string gpkg =
        Write("survey.gpkg", "GPKG", "POINTZ",
              {"POINT Z (2850000.125 80000.5 1391.452)", "POINT Z (2850210.5 80310.25 -0)",
               "POINT Z (2850420 80020 1388.25)"},
              "pegs");
    const auto before = Vertices(*CreateGisLayerRecordSet(false, gpkg, "pegs", true, false));
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(std::bit_cast<double>(before[0][0].Z), 1391.452);
    Choose("GIS Layer (GeoPackage, PostGIS, \u2026)",
           [&](QWidget& dialog)
           {
               Child<QLineEdit>(dialog, "edtDataset").setText(QString::fromStdString(gpkg));
               Press(dialog, "btnLayers");
               auto& layers = Child<QTreeWidget>(dialog, "lstLayers");
               const QList<QTreeWidgetItem*> pegs = layers.findItems("pegs", Qt::MatchExactly, 0);
               if (pegs.size() == 1)
                   layers.setCurrentItem(pegs.front());
               else
                   ADD_FAILURE() << "no layer pegs";
               Press(dialog, "btnOk");
           });
    RunFromTheWindow(3, 3);
    const auto after = Vertices(*CreateGisLayerRecordSet(false, gpkg, "pegs", true, false));
    ExpectShifted(before, after);
    // The layer's coordinate system followed the data.
    const std::vector<GGisLayerInfo> layers = ListGisLayers(gpkg);
    ASSERT_EQ(layers.size(), 1u);
    EXPECT_EQ(layers[0].CoordinateSystem, "Hartebeesthoek94 / Lo29");
}

} // namespace
} // namespace quorvalis::test
