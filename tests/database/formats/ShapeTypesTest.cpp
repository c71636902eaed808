// Shapefiles with heights and measures and multipoints, as GDAL writes them: read as GDAL reads
// them, Z and M carried bit for bit, written back byte for byte, damage refused by name.
#include "database/ShapefileDatabase.h"
#include "tests/OgrSamples.h"
#include "tests/database/formats/FormatTestSupport.h"
#include "tests/database/formats/GdalContents.h"

#include <gdal.h>
#include <ogr_api.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

struct TypeCase
{
    const char* name;
    const char* gdalType;
    std::int32_t fileType;
    std::uint8_t classCode;
    std::vector<std::string> wkt;
};

// Every shape type that GDAL writes: several parts, holes, negative zero, a "no data" measure
// (-1e39), heights and measures of every size.
std::vector<TypeCase> GdalTypeCases()
{
    return {
        {"point",
         "POINT",
         1,
         scPoint,
         {"POINT (80000.125 2850000.5)", "POINT (-0 1e-300)", "POINT (-0.1 1e-7)",
          "POINT (-31.123456789012345 2.5e7)"}},
        // A first shape exactly at the origin must not be taken for "no extent yet".
        {"origin", "POINT", 1, scPoint, {"POINT (0 0)", "POINT (5 7)"}},
        {"line",
         "MULTILINESTRING",
         3,
         scLine,
         {"MULTILINESTRING ((80000 2850000,80010 2850010),(80100 2850100,80110 2850110,80120 "
          "2850105))"}},
        {"polygon",
         "MULTIPOLYGON",
         5,
         scPolygon,
         {"MULTIPOLYGON (((0 0,0 10,10 10,10 0,0 0),(2 2,8 2,8 8,2 8,2 2)),((20 20,20 21,21 21,20 "
          "20)))"}},
        {"pointz",
         "POINTZ",
         11,
         scPoint,
         {"POINT Z (80000.125 2850000.5 1391.45)", "POINT Z (80100 2850100 -0)",
          "POINT Z (80200 2850200 -12.5e-300)"}},
        {"pointm",
         "POINTM",
         21,
         scPoint,
         {"POINT M (80000 2850000 1.5)", "POINT M (80100 2850100 -1e39)"}},
        {"pointzm",
         "POINTZM",
         11,
         scPoint,
         {"POINT ZM (80000 2850000 12.25 7)", "POINT ZM (80100 2850100 -0 -1e39)"}},
        {"multipoint",
         "MULTIPOINT",
         8,
         scPoints,
         {"MULTIPOINT ((80000 2850000),(80001 2850001),(80002.5 2850000))",
          "MULTIPOINT ((80100 2850100))"}},
        {"multipointz",
         "MULTIPOINTZ",
         18,
         scPoints,
         {"MULTIPOINT Z ((80000 2850000 10),(80001 2850001 -0))",
          "MULTIPOINT Z ((80100 2850100 3))"}},
        {"multipointm",
         "MULTIPOINTM",
         28,
         scPoints,
         {"MULTIPOINT M ((80000 2850000 1),(80001 2850001 -1e39))"}},
        {"multipointzm",
         "MULTIPOINTZM",
         18,
         scPoints,
         {"MULTIPOINT ZM ((80000 2850000 10 1),(80001 2850001 11 2))"}},
        {"linez",
         "MULTILINESTRINGZ",
         13,
         scLine,
         {"MULTILINESTRING Z ((80000 2850000 1,80010 2850010 2,80020 2850005 3),(80100 2850100 "
          "4,80110 2850110 5))",
          "MULTILINESTRING Z ((80200 2850200 -0,80210 2850210 1e300))"}},
        {"linem",
         "MULTILINESTRINGM",
         23,
         scLine,
         {"MULTILINESTRING M ((80000 2850000 0,80010 2850010 14.142),(80100 2850100 "
          "-1e39,80110 2850110 5))"}},
        {"linezm",
         "MULTILINESTRINGZM",
         13,
         scLine,
         {"MULTILINESTRING ZM ((80000 2850000 1391.45 0,80010 2850010 1392.5 14.142,80020 "
          "2850005 1390 25.3))",
          "MULTILINESTRING ZM ((80100 2850100 6 7,80110 2850110 8 -1e39),(80120 2850120 9 "
          "10,80130 2850130 11 12))"}},
        {"polygonz",
         "MULTIPOLYGONZ",
         15,
         scPolygon,
         {"MULTIPOLYGON Z (((80000 2850000 5,80000 2850100 6,80100 2850100 7,80100 2850000 "
          "8,80000 2850000 5),(80020 2850020 1,80080 2850020 1,80080 2850080 1,80020 2850080 "
          "1,80020 2850020 1)),((80200 2850200 0,80200 2850210 0,80210 2850210 0,80200 2850200 "
          "0)))"}},
        {"polygonm",
         "MULTIPOLYGONM",
         25,
         scPolygon,
         {"MULTIPOLYGON M (((80000 2850000 1,80000 2850100 2,80100 2850100 3,80000 2850000 1)))"}},
        {"polygonzm",
         "MULTIPOLYGONZM",
         15,
         scPolygon,
         {"MULTIPOLYGON ZM (((80000 2850000 5 1,80000 2850100 6 2,80100 2850100 7 -1e39,80000 "
          "2850000 5 1),(80010 2850010 1 0,80050 2850060 1 0,80060 2850010 1 0,80010 2850010 1 "
          "0)))"}},
    };
}

} // namespace

// GDAL writes every type; this reader sees what GDAL sees, Z and M included, and writes the very
// same bytes back. The transform run's walk then moves X and Y while Z and M stay bit for bit even
// when the caller changes them, the boxes follow, and GDAL reads the result as valid.
TEST(ShapeTypes, EveryTypeGdalWritesIsReadWrittenBackByteForByteAndMovedKeepingZAndM)
{
    if (!test::HaveOgr2Ogr())
        GTEST_SKIP() << "ogr2ogr is not installed";
    ScratchFolder folder;
    const double dx = 296.25;
    const double dy = -0.125;
    for (const TypeCase& c : GdalTypeCases())
    {
        SCOPED_TRACE(c.name);
        test::WriteWithOgr(folder.Path(), std::string(c.name) + ".shp", "ESRI Shapefile",
                           c.gdalType, c.wkt);
        const std::string shp = folder / (std::string(c.name) + ".shp");
        const OgrContents before = ReadWithGdal(shp, true);
        const auto dbf = ReadBytes(folder / (std::string(c.name) + ".dbf"));
        {
            GShapefile file;
            file.SetLoadShapesOnOpen(true);
            ASSERT_TRUE(file.Open(shp));
            EXPECT_EQ(file.FileShapeType(), c.fileType);
            EXPECT_EQ(file.ShapeType(), c.classCode);
            std::vector<ShapeBits> mine;
            for (int i = 0; i < file.Count(); ++i)
                mine.push_back(FromShape(*file.GetShape(i)));
            EXPECT_EQ(mine, before.Shapes);
            const GShapefileImages saved = file.SaveToImages();
            EXPECT_EQ(saved.Shp, ReadBytes(shp));
            EXPECT_EQ(saved.Shx, ReadBytes(folder / (std::string(c.name) + ".shx")));
        }
        {
            auto recordSet = CreateShapefileRecordSet(false, shp, false, true);
            ASSERT_TRUE(recordSet->Open());
            MoveAll(*recordSet, dx, dy,
                    [](GPoint& p)
                    {
                        p.Z = 0.0; // what a careless chain might do
                        p.M = -p.M;
                    });
        }
        const OgrContents after = ReadWithGdal(shp, true);
        EXPECT_EQ(after.Count, before.Count);
        EXPECT_EQ(after.Shapes, MovedBy(before.Shapes, dx, dy, true));
        EXPECT_EQ(after.Box, (std::array<double, 4>{before.Box[0] + dx, before.Box[1] + dy,
                                                    before.Box[2] + dx, before.Box[3] + dy}));
        EXPECT_EQ(ReadBytes(folder / (std::string(c.name) + ".dbf")), dbf);
        // GDAL finds nothing wrong with the geometries it reads back.
        const std::string check = "ogrinfo -q -al -so \"" + shp + "\" > /dev/null 2>&1";
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
}

namespace
{

// A one-record shapefile in memory of the type with the content given (its length is set).
GShapefileImages OneRecord(std::int32_t type, std::vector<std::uint8_t> content)
{
    GShapefileImages images;
    images.Shp = EmptyShapefileHeader(static_cast<std::uint8_t>(type));
    images.Shx = images.Shp;
    const auto words = static_cast<std::uint32_t>(content.size() / 2);
    images.Shp.resize(108);
    PutBig(images.Shp, 100, 1);
    PutBig(images.Shp, 104, words);
    images.Shp.insert(images.Shp.end(), content.begin(), content.end());
    images.Shx.resize(108);
    PutBig(images.Shx, 100, 50);
    PutBig(images.Shx, 104, words);
    return images;
}

std::vector<std::uint8_t> Content(std::int32_t type, std::size_t bytes)
{
    std::vector<std::uint8_t> content(bytes, 0);
    PutLittle(content, 0, type);
    return content;
}

} // namespace

TEST(ShapeTypes, DamagedHeightsAndMeasuresAreRefusedByName)
{
    // A line of one part of 2 points: 44 + 4 + 32 = 80 bytes of X/Y, then Z 16 + 16, M 16 + 16.
    const auto line = [](std::int32_t type, std::size_t bytes)
    {
        std::vector<std::uint8_t> content = Content(type, bytes);
        PutLittle(content, 36, 1);
        PutLittle(content, 40, 2);
        return content;
    };
    const auto multipoint = [](std::int32_t type, std::size_t bytes)
    {
        std::vector<std::uint8_t> content = Content(type, std::max<std::size_t>(bytes, 40));
        PutLittle(content, 36, 3);
        content.resize(bytes);
        return content;
    };
    struct Case
    {
        std::int32_t type;
        std::vector<std::uint8_t> content;
        const char* expected; // empty: accepted
    };
    const Case cases[] = {
        {11, Content(11, 20),
         "v.shp: record 1: the Z values of its 1 points need 28 bytes, the "
         "record holds 20"},
        {11, Content(11, 28), ""},
        {11, Content(11, 32),
         "record 1: the M values of its 1 points need 36 bytes, the record "
         "holds 32"},
        {11, Content(11, 36), ""},
        {21, Content(21, 20), "record 1: the M values of its 1 points need 28 bytes"},
        {13, line(13, 80),
         "record 1: the Z values of its 2 points need 112 bytes, the record "
         "holds 80"},
        {13, line(13, 112), ""},
        {13, line(13, 120), "record 1: the M values of its 2 points need 144 bytes"},
        {23, line(23, 80), ""},
        {23, line(23, 100), "record 1: the M values of its 2 points need 112 bytes"},
        {18, multipoint(18, 40 + 48), "record 1: the Z values of its 3 points need 128 bytes"},
        {8, multipoint(8, 40 + 40), "record 1: 3 points need 88 bytes, the record holds 80"},
        {8, multipoint(8, 30), "record 1: multipoint content of 30 bytes is shorter than 40"},
        {28, Content(21, 28), "Not a multipoint shapefile"},
        {13, line(3, 112), "Not a line shapefile"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.expected);
        const GShapefileImages images = OneRecord(c.type, c.content);
        GShapefile file;
        const std::string message = MessageOf<GShapefileException>(
            [&] { file.OpenImages("/data/v.shp", images.Shp, images.Shx); });
        if (*c.expected == '\0')
            EXPECT_EQ(message, "no error");
        else
            EXPECT_THAT(message, HasSubstr(c.expected));
    }

    // MultiPatch is named; other types keep the plain message.
    GShapefile file;
    const GShapefileImages patch = OneRecord(31, Content(31, 44));
    EXPECT_EQ(MessageOf<GShapefileException>(
                  [&] { file.OpenImages("/data/v.shp", patch.Shp, patch.Shx); }),
              "That shapefile type is not a valid spatial type: /data/v.shp holds MultiPatch "
              "shapes (type 31), surfaces of triangles that this program does not transform");
    const GShapefileImages other = OneRecord(2, Content(2, 20));
    EXPECT_EQ(MessageOf<GShapefileException>(
                  [&] { file.OpenImages("/data/v.shp", other.Shp, other.Shx); }),
              "That shapefile type is not a valid spatial type");
}

// The shape model keeps M beside Z: a duplicate carries both bit for bit, a clone (the stream
// form) neither, and a shape of another layout keeps its own.
TEST(ShapeTypes, DuplicatesCarryHeightsAndMeasuresAndLayoutsDecideWhatIsCarried)
{
    const double nan = std::bit_cast<double>(std::uint64_t{0x7ff4000000000123});
    GPoints points;
    points.Points.Add(std::make_unique<GPoint>(1, 2, -0.0, nan));
    points.Points.Add(std::make_unique<GPoint>(3, 4, 5, -1e39));
    const auto duplicate = points.Duplicate();
    EXPECT_EQ(FromShape(*duplicate), FromShape(points));
    EXPECT_EQ(duplicate->GetPoint(1).M, -1e39);
    const auto clone = points.Clone();
    EXPECT_EQ(clone->GetPoint(1).M, 0.0);
    EXPECT_EQ(clone->GetPoint(1).Z, 0.0);

    EXPECT_TRUE(CarryHeightsAndMeasures(points, *clone));
    EXPECT_EQ(FromShape(*clone), FromShape(points));

    // Lines and polygons are copied directly, with the result of a clone and a carry: the same
    // class and parts (a missing part becomes an empty one), every value bit for bit.
    for (const bool polygon : {false, true})
    {
        auto shape = MakeLine({{{1, 2}, {-0.0, 4}}, {{5, nan}}}, polygon);
        shape->Parts.Add(nullptr);
        shape->GetPoint(0).Z = nan;
        shape->GetPoint(2).M = -0.0;
        const auto copy = shape->Duplicate();
        auto expected = shape->Clone();
        ASSERT_TRUE(CarryHeightsAndMeasures(*shape, *expected));
        EXPECT_EQ(copy->ClassCode(), polygon ? 3 : 2);
        EXPECT_TRUE(SameLayout(*copy, *expected));
        EXPECT_EQ(FromShape(*copy, false), FromShape(*expected, false));
    }
    auto line = MakeLine({{{0, 0}, {1, 1}}});
    EXPECT_FALSE(SameLayout(points, *line));
    EXPECT_FALSE(CarryHeightsAndMeasures(points, *line));
    EXPECT_FALSE(SameLayout(*line, *MakeLine({{{0, 0}}, {{1, 1}}})));
    EXPECT_TRUE(SameLayout(*line, *MakeLine({{{5, 5}, {6, 6}}})));
    EXPECT_FALSE(SameLayout(*line, *MakeLine({{{5, 5}, {6, 6}}}, true)));
}
