// The vector data surveyors have, from the command line: shapefiles with heights and measures
// and multipoints written by GDAL, and a GeoPackage layer of pegs, moved by a user-defined Helmert
// with their heights untouched.
#include "tests/OgrSamples.h"
#include "tests/app/CliTestSupport.h"
#include "tests/database/formats/GdalContents.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::OgrContents;
using testing::ReadWithGdal;
using testing::VertexBits;

// The user-defined Helmert of the runs: a = s cos(swing), b = s sin(swing), the centres of
// gravity on either datum (Lo 29 metres, X the southing).
constexpr double kA = 0.99999812;
constexpr double kB = 0.00000975;
constexpr double kCapeX = 2850000.0;
constexpr double kCapeY = 80000.0;
constexpr double kWgsX = 2850290.25;
constexpr double kWgsY = 79940.5;

std::vector<std::string> HelmertOptions()
{
    std::vector<std::string> args{
        "--lo", "29", "--method", "helmert", "--helmert-mode", "user", "--transformation-lo", "29"};
    for (const auto& [option, value] :
         {std::pair{"--helmert-a", kA}, std::pair{"--helmert-b", kB}, std::pair{"--cape-x", kCapeX},
          std::pair{"--cape-y", kCapeY}, std::pair{"--wgs-x", kWgsX}, std::pair{"--wgs-y", kWgsY}})
    {
        std::ostringstream text;
        text.precision(17);
        text << value;
        args.insert(args.end(), {option, text.str()});
    }
    args.push_back("--yes");
    return args;
}

// Where the Helmert puts a point (X' = (X - CX) a + WX - (Y - CY) b, Y' = (Y - CY) a + WY +
// (X - CX) b).
std::pair<double, double> Predicted(double x, double y)
{
    const long double dx = static_cast<long double>(x) - kCapeX;
    const long double dy = static_cast<long double>(y) - kCapeY;
    return {static_cast<double>(dx * kA + kWgsX - dy * kB),
            static_cast<double>(dy * kA + kWgsY + dx * kB)};
}

// Checks that after is before moved by the Helmert, Z and M bit for bit, every geometry valid,
// the box that of the moved vertices (within boxSlack: a GeoPackage's extent comes from its
// single-precision R-tree).
void ExpectMovedByHelmert(const OgrContents& before, const OgrContents& after,
                          double boxSlack = 0.0)
{
    ASSERT_EQ(after.Shapes.size(), before.Shapes.size());
    EXPECT_TRUE(after.Valid);
    double minX = HUGE_VAL, minY = HUGE_VAL, maxX = -HUGE_VAL, maxY = -HUGE_VAL;
    for (std::size_t f = 0; f < before.Shapes.size(); ++f)
    {
        ASSERT_EQ(after.Shapes[f].size(), before.Shapes[f].size()) << "feature " << f;
        for (std::size_t p = 0; p < before.Shapes[f].size(); ++p)
        {
            ASSERT_EQ(after.Shapes[f][p].size(), before.Shapes[f][p].size()) << "feature " << f;
            for (std::size_t i = 0; i < before.Shapes[f][p].size(); ++i)
            {
                const VertexBits& was = before.Shapes[f][p][i];
                const VertexBits& is = after.Shapes[f][p][i];
                const auto [x, y] =
                    Predicted(std::bit_cast<double>(was[0]), std::bit_cast<double>(was[1]));
                const double isX = std::bit_cast<double>(is[0]);
                const double isY = std::bit_cast<double>(is[1]);
                // The chain goes through latitude and longitude and back: well under a millimetre.
                EXPECT_NEAR(isX, x, 1e-6) << "feature " << f << " vertex " << i;
                EXPECT_NEAR(isY, y, 1e-6) << "feature " << f << " vertex " << i;
                EXPECT_EQ(std::tuple(is[2], is[3]), std::tuple(was[2], was[3]))
                    << "Z and M of feature " << f << " vertex " << i;
                minX = std::min(minX, isX);
                minY = std::min(minY, isY);
                maxX = std::max(maxX, isX);
                maxY = std::max(maxY, isY);
            }
        }
    }
    const std::array<double, 4> box{minX, minY, maxX, maxY};
    for (std::size_t i = 0; i < box.size(); ++i)
        EXPECT_NEAR(after.Box[i], box[i], boxSlack) << "box side " << i;
}

class VectorDataTest : public CliTest
{
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        if (!HaveOgr2Ogr())
            GTEST_SKIP() << "ogr2ogr is not installed";
    }

    std::string Write(const std::string& file, const std::string& format, const std::string& type,
                      const std::vector<std::string>& wkt, const std::string& layer = {})
    {
        return WriteWithOgr(Folder, file, format, type, wkt, layer);
    }
};

// A GNSS survey's pegs with heights, a CAD export's lines with heights and measures, parcels with
// holes: each moves as the Helmert says, every height and measure stays, GDAL reads the result as
// valid with the same counts and the new box, and the .prj follows the data. (Every other shape
// type is moved by the record set in ShapeTypesTest.cpp.)
TEST_F(VectorDataTest, ShapefilesMoveAsTheHelmertPredictsWithHeightsAndMeasuresUntouched)
{
    struct Case
    {
        const char* file;
        const char* type;
        std::vector<std::string> wkt;
    };
    const Case cases[] = {
        {"gnss.shp",
         "POINTZ",
         {"POINT Z (2850000.125 80000.5 1391.452)", "POINT Z (2850210.5 80310.25 1388.9)",
          "POINT Z (2850420 80020 -0)"}},
        {"cad.shp",
         "MULTILINESTRINGZM",
         {"MULTILINESTRING ZM ((2850000 80000 1391.45 0,2850010 80010 1392.5 14.142),(2850100 "
          "80100 6 7,2850110 80110 8 -1e39))",
          "MULTILINESTRING ZM ((2850200 80200 -0 1e300,2850210 80210 1 2))"}},
        {"erven.shp",
         "MULTIPOLYGONZ",
         // GDAL's reader nests a hole in its shell only when both lie at one height.
         {"MULTIPOLYGON Z (((2850000 80000 5.5,2850000 80100 5.5,2850100 80100 5.5,2850100 "
          "80000 5.5,2850000 80000 5.5),(2850020 80020 5.5,2850080 80020 5.5,2850080 80080 "
          "5.5,2850020 80080 5.5,2850020 80020 5.5)),((2850200 80200 0,2850200 80210 0,2850210 "
          "80210 0,2850200 80200 0)))"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.file);
        const std::string shp = Write(c.file, "ESRI Shapefile", c.type, c.wkt);
        const OgrContents before = ReadWithGdal(shp, false);
        EXPECT_EQ(before.System, "Cape_Lo29"); // the .prj is ESRI's WKT
        const CliRun run = Transform("hart94", shp, HelmertOptions());
        ASSERT_EQ(run.Code, 0) << run.Err;
        EXPECT_THAT(run.Out, HasSubstr(std::to_string(c.wkt.size()) + " shapes consisting of"));
        const OgrContents after = ReadWithGdal(shp, false);
        ExpectMovedByHelmert(before, after);
        EXPECT_EQ(after.System, "Hartebeesthoek94_Lo29");
    }
}

TEST_F(VectorDataTest, AShapefileWhoseHeightsAreCutShortIsRefusedAndLeftAlone)
{
    const std::string shp = Write("short.shp", "ESRI Shapefile", "MULTILINESTRINGZ",
                                  {"MULTILINESTRING Z ((2850000 80000 1,2850010 80010 2))",
                                   "MULTILINESTRING Z ((2850100 80100 3,2850110 80110 4))"});
    // The first record's content length says it ends before its Z values (80 of 112 bytes).
    std::fstream shx(fs::path(shp).replace_extension(".shx"),
                     std::ios::in | std::ios::out | std::ios::binary);
    shx.seekp(100 + 4);
    const char words[4] = {0, 0, 0, 40};
    shx.write(words, 4);
    shx.close();
    const std::string shpBefore = ReadFile(shp);
    const std::string shxBefore = ReadFile(fs::path(shp).replace_extension(".shx"));
    const CliRun run = Transform("hart94", shp, HelmertOptions());
    EXPECT_EQ(run.Code, 1);
    EXPECT_THAT(run.Err, HasSubstr("short.shp: record 1: the Z values of its 2 points need 112 "
                                   "bytes, the record holds 80"));
    EXPECT_EQ(ReadFile(shp), shpBefore);
    EXPECT_EQ(ReadFile(fs::path(shp).replace_extension(".shx")), shxBefore);
}

// A GeoPackage layer of pegs: listed, reviewed by a dry run that changes no byte, then moved in
// place with its heights and its coordinate system following the data.
TEST_F(VectorDataTest, AGeoPackageLayerOfPegsIsListedReviewedAndMovedInPlace)
{
    const std::string gpkg =
        Write("survey.gpkg", "GPKG", "POINTZ",
              {"POINT Z (2850000.125 80000.5 1391.452)", "POINT Z (2850210.5 80310.25 -0)",
               "POINT Z (2850420 80020 1388.25)"},
              "pegs");
    CliRun layers = Run({"layers", gpkg, "--long"});
    ASSERT_EQ(layers.Code, 0) << layers.Err;
    EXPECT_EQ(layers.Out, "pegs\t3D Point\t3\tCape / Lo29\n");
    EXPECT_EQ(Run({"layers", (Folder / "none.gpkg").string()}).Code, 1);

    const OgrContents before = ReadWithGdal(gpkg, false, "pegs");
    const std::string bytes = ReadFile(gpkg);
    std::vector<std::string> dry{"transform", "--to", "hart94", "--layer", gpkg, "pegs"};
    // No --lo: the layer's own system says Lo 29.
    const std::vector<std::string> all = HelmertOptions();
    const std::vector<std::string> options(all.begin() + 2, all.end() - 1);
    dry.insert(dry.end(), options.begin(), options.end());
    const CliRun review = Run(dry);
    ASSERT_EQ(review.Code, 0) << review.Err;
    EXPECT_THAT(review.Out, HasSubstr("layer pegs of " + gpkg + ", 3 records"));
    EXPECT_THAT(review.Out, HasSubstr("Lo 29 (from \"" + gpkg + ", layer pegs\")"));
    EXPECT_EQ(ReadFile(gpkg), bytes);

    dry.push_back("--yes");
    const CliRun run = Run(dry);
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_THAT(run.Out, HasSubstr("3 shapes consisting of 3 points transformed"));
    const OgrContents after = ReadWithGdal(gpkg, false, "pegs");
    ExpectMovedByHelmert(before, after, 0.5);
    EXPECT_EQ(after.System, "Hartebeesthoek94 / Lo29");

    // Now on Hartebeesthoek94, the layer refuses a second run to Hartebeesthoek94.
    const std::string moved = ReadFile(gpkg);
    const CliRun again = Run(dry);
    EXPECT_EQ(again.Code, 1);
    EXPECT_THAT(again.Err, HasSubstr("says the data are on Hartebeesthoek94 already"));
    EXPECT_EQ(ReadFile(gpkg), moved);

    // The GeoPackage is a data file of the job: one its owner may not write is refused.
    fs::permissions(gpkg, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    dry[2] = "cape";
    const CliRun readOnly = Run(dry);
    EXPECT_EQ(readOnly.Code, 1);
    EXPECT_THAT(readOnly.Err, HasSubstr("The data file \"" + gpkg + "\" is read-only"));
    EXPECT_EQ(ReadFile(gpkg), moved);
}

} // namespace
} // namespace quorvalis::test
