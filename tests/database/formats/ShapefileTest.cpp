// Shapefile reader and writer: format details and distrustful reading. Agreement with GDAL in both
// directions is ShapeTypesTest.cpp's.
#include "database/ShapefileDatabase.h"
#include "tests/database/formats/FormatTestSupport.h"
#include "tests/database/formats/GdalContents.h"

#include <gdal.h>
#include <ogr_api.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

// A vertex of a file without heights and measures.
VertexBits BitsOf(double x, double y)
{
    return quorvalis::testing::BitsOf(GPoint(x, y));
}

template <class... Shape>
std::vector<std::unique_ptr<GShape>> Shapes(std::unique_ptr<Shape>... given)
{
    std::vector<std::unique_ptr<GShape>> shapes;
    (shapes.push_back(std::move(given)), ...);
    return shapes;
}

std::vector<std::unique_ptr<GShape>> Points(const PartPoints& points)
{
    std::vector<std::unique_ptr<GShape>> shapes;
    for (const auto& [x, y] : points)
        shapes.push_back(std::make_unique<GPoint>(x, y));
    return shapes;
}

// Five points, or two lines (3 points in 1 part, then 2 + 3 points).
std::vector<std::unique_ptr<GShape>> SampleShapes(std::uint8_t classCode)
{
    if (classCode == scPoint)
        return Points({{0.1, 0.2}, {-31.125, 2.5e7}, {1e-300, 0.0}, {-0.0, 3.0}, {7.5, -8.0}});
    return Shapes(MakeLine({{{0.1, 0.2}, {1.3, 2.7}, {5.0, -1.0}}}),
                  MakeLine({{{10, 10}, {11, 11}}, {{20.5, 20.25}, {21, 22}, {23, 24}}}));
}

void WriteShapefile(const std::string& path, std::uint8_t classCode,
                    std::vector<std::unique_ptr<GShape>> shapes)
{
    GShapefile file;
    file.Create(path, classCode);
    file.Open(path);
    for (auto& shape : shapes)
        file.AppendShape(std::move(shape));
    file.Flush();
}

} // namespace

// ---- the format -------------------------------------------------------------------------------

TEST(ShapefileFormat, LinesWithoutPointsEmptyPartsAndUpperCaseExtensions)
{
    ScratchFolder folder;
    // No parts at all; empty parts, which are not written; parts starting at 0 and 3.
    WriteShapefile(folder / "L.SHP", scLine,
                   Shapes(MakeLine({}), MakeLine({{}, {{1, 2}, {3, 4}}, {}}),
                          MakeLine({{{5, 6}, {7, 8}, {9, 9}}, {{1, 1}, {2, 2}}})));
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"L.SHP", "L.SHX"}));
    GShapefile file;
    file.SetLoadShapesOnOpen(true);
    ASSERT_TRUE(file.Open(folder / "L.shp"));
    ASSERT_EQ(file.Count(), 3);
    EXPECT_EQ(file.GetShape(0)->PointCount(), 0);
    EXPECT_EQ(FromShape(*file.GetShape(1), false), (ShapeBits{{BitsOf(1, 2), BitsOf(3, 4)}}));
    EXPECT_EQ(
        FromShape(*file.GetShape(2), false),
        (ShapeBits{{BitsOf(5, 6), BitsOf(7, 8), BitsOf(9, 9)}, {BitsOf(1, 1), BitsOf(2, 2)}}));
    const auto shp = ReadBytes(folder / "L.SHP");
    for (int i = 0; i < 32; ++i) // the empty line's box is zero
        EXPECT_EQ(shp[100 + 8 + 4 + i], 0);
    EXPECT_EQ(ReadWithGdal(folder / "L.SHP", false).Count, 3);
}

TEST(ShapefileFormat, DeleteAppendAndLazyReadingOfTheFilesAsTheyAreNow)
{
    ScratchFolder folder;
    WriteShapefile(folder / "p.shp", scPoint, Points({{0, 0}, {1, 10}, {2, 20}, {3, 30}, {4, 40}}));

    GShapefile file; // records are read one by one, on demand
    file.Open(folder / "p.shp");
    file.DeleteShape(1);
    // Slot 1 now holds the third record, not the second.
    EXPECT_EQ(static_cast<GPoint*>(file.GetShape(1))->X, 2.0);
    EXPECT_THROW(file.AppendShape(MakeLine({{{0, 0}, {1, 1}}})), GShapefileException);
    file.AppendShape(std::make_unique<GPoint>(9, 90));
    file.Flush();
    EXPECT_EQ(ReadBytes(folder / "p.shx").size(), 100u + 8 * 5);

    GShapefile again;
    again.SetLoadShapesOnOpen(true);
    again.Open(folder / "p.shp");
    std::vector<double> xs;
    for (int i = 0; i < again.Count(); ++i)
        xs.push_back(static_cast<GPoint*>(again.GetShape(i))->X);
    EXPECT_EQ(xs, (std::vector<double>{0, 2, 3, 4, 9}));

    // Read lazily, the files are checked as they are now: here the ".shp" loses its last record
    // after the open.
    GShapefile lazy;
    lazy.Open(folder / "p.shp");
    auto shp = ReadBytes(folder / "p.shp");
    shp.resize(shp.size() - 10);
    WriteBytes(folder / "p.shp", shp);
    EXPECT_NO_THROW(lazy.GetShape(0));
    EXPECT_THAT(MessageOf([&] { lazy.GetShape(4); }), HasSubstr("record 5: content length 20"));
}

TEST(ShapefileFormat, StateMessages)
{
    ScratchFolder folder;
    GShapefile file;
    EXPECT_EQ(MessageOf([&] { file.Flush(); }), "The shapefile is not open");
    EXPECT_EQ(MessageOf([&] { file.Open(folder / "missing.shp"); }),
              "The specified shapefile does not exist");
    EXPECT_EQ(MessageOf([&] { file.Create(folder / "p.shp", scText); }),
              "That spatial type is not a valid shapefile type");
    file.Create(folder / "p.shp", scPoint);
    file.Open(folder / "p.shp");
    EXPECT_EQ(MessageOf([&] { file.SetLoadShapesOnOpen(true); }),
              "Unable to change this parameter while the shapefile is open");
}

TEST(ShapefileFormat, FlushRefusesWrongShapesAndWritesNullSlotsAsNullRecords)
{
    ScratchFolder folder;
    WriteShapefile(folder / "p.shp", scPoint, Points({{1, 2}, {3, 4}}));
    const auto shpBefore = ReadBytes(folder / "p.shp");

    GShapefile file;
    file.Open(folder / "p.shp");
    file.ReplaceShape(1, MakeLine({{{0, 0}, {1, 1}}}));
    EXPECT_THAT(MessageOf([&] { file.Flush(); }),
                HasSubstr("The shape is not of the required type: record 2"));
    file.ReplaceShape(1, std::make_unique<GPoint>(std::nan(""), 1.0));
    EXPECT_THROW(file.Flush(), GShapefileException);
    EXPECT_EQ(ReadBytes(folder / "p.shp"), shpBefore);
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"p.shp", "p.shx"}));

    // An empty slot is written as a null record: other readers skip it, this one refuses it as
    // not of the file's own type.
    file.ReplaceShape(1, nullptr);
    EXPECT_EQ(file.GetShape(1), nullptr);
    file.Flush();
    EXPECT_EQ(ReadWithGdal(folder / "p.shp", false).Count, 2);
    GShapefile again;
    again.SetLoadShapesOnOpen(true);
    EXPECT_EQ(MessageOf([&] { again.Open(folder / "p.shp"); }), "Not a point shapefile");
    EXPECT_FALSE(again.IsOpen());
}

// ---- damaged files ----------------------------------------------------------------------------

namespace
{

GShapefileImages ValidImages(std::uint8_t classCode)
{
    GShapefile file;
    const auto header =
        EmptyShapefileHeader(static_cast<std::uint8_t>(SpatialTypeToShapeType(classCode)));
    file.OpenImages("memory.shp", header, header);
    for (auto& shape : SampleShapes(classCode))
        file.AppendShape(std::move(shape));
    return file.SaveToImages();
}

} // namespace

TEST(ShapefileDamage, EveryDamageIsRefusedWithANamedMessage)
{
    // The second line record (3 points in 1 part) starts at 100 + 8 + 92 in the sample lines.
    const std::size_t second = 100 + 8 + (44 + 4 + 16 * 3);
    struct Case
    {
        std::uint8_t classCode;
        std::function<void(GShapefileImages&)> damage;
        const char* expected;
    };
    const Case cases[] = {
        {scPoint, [](auto& f) { f.Shx.resize(60); },
         "v.shx: file of 60 bytes is shorter than the 100-byte shapefile header"},
        {scPoint, [](auto& f) { f.Shp[3] = 0; }, "is not that of a shapefile"},
        {scPoint, [](auto& f) { f.Shx.push_back(0); },
         "index of 141 bytes is not 100 + 8 bytes per record"},
        {scPoint, [](auto& f) { PutLittle(f.Shp, 100 + 8, 0); }, "Not a point shapefile"},
        {scPoint, [](auto& f) { PutBig(f.Shx, 100 + 8 * 2, 1000000); },
         "v.shx: record 3: offset 2000000 lies outside"},
        {scPoint, [](auto& f) { PutBig(f.Shx, 100, 10); }, "record 1: offset 20 lies outside"},
        {scPoint, [](auto& f) { PutBig(f.Shx, 100 + 8 * 4 + 4, 500); },
         "record 5: content length 1000"},
        {scPoint, [](auto& f) { PutBig(f.Shx, 104, 4); },
         "record 1: point content of 8 bytes is shorter than 20"},
        {scLine, [](auto& f) { PutLittle(f.Shp, 108 + 36, -1); },
         "record 1: negative number of parts -1"},
        {scLine, [](auto& f) { PutLittle(f.Shp, 108 + 40, -7); },
         "record 1: negative number of points -7"},
        {scLine, [](auto& f) { PutLittle(f.Shp, 108 + 40, 0x7fffffff); },
         "record 1: 1 parts and 2147483647 points need"},
        {scLine, [](auto& f) { PutLittle(f.Shp, 108 + 36, 1000); },
         "record 1: 1000 parts and 3 points need"},
        {scLine, [](auto& f) { PutLittle(f.Shp, 108 + 36, 0); }, "record 1: 3 points but no parts"},
        {scLine, [second](auto& f) { PutLittle(f.Shp, second + 8 + 48, 9); },
         "record 2: part 2 starts at point 9 (of 5)"},
        {scLine, [second](auto& f) { PutLittle(f.Shp, second + 8 + 48, 0); },
         "record 2: part 2 starts at point 0 (of 5)"},
        {scLine, [second](auto& f) { PutLittle(f.Shp, second + 8 + 44, 1); },
         "record 2: part 1 starts at point 1 (of 5)"},
        {scPoint, [](auto& f) { PutLittle(f.Shp, 108 + 4, HUGE_VAL); },
         "record 1: coordinate inf is not a finite number"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.expected);
        GShapefileImages images = ValidImages(c.classCode);
        c.damage(images);
        GShapefile file;
        EXPECT_THAT(MessageOf<GShapefileException>(
                        [&] { file.OpenImages("/data/v.shp", images.Shp, images.Shx); }),
                    HasSubstr(c.expected));
        EXPECT_FALSE(file.IsOpen());
    }
}
