// Shapefile reader and writer: format details, distrustful reading, and agreement with GDAL in
// both directions.
#include "database/ShapefileDatabase.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gdal.h>
#include <ogr_api.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

using Vertices = std::vector<std::pair<double, double>>;
// A shape as plain data: its parts (a point is one part of one vertex).
using ShapeData = std::vector<Vertices>;

ShapeData FromShape(const GShape& shape)
{
    ShapeData data;
    if (const auto* line = dynamic_cast<const GLine*>(&shape))
    {
        for (const auto& part : line->Parts)
        {
            Vertices ring;
            for (const auto& point : *part)
                ring.emplace_back(point->X, point->Y);
            data.push_back(ring);
        }
    }
    else if (const auto* point = dynamic_cast<const GPoint*>(&shape))
    {
        data.push_back({{point->X, point->Y}});
    }
    return data;
}

void CollectOgr(OGRGeometryH geometry, ShapeData& data)
{
    const int pointCount = OGR_G_GetPointCount(geometry);
    const int children = OGR_G_GetGeometryCount(geometry);
    if (children == 0)
    {
        Vertices ring;
        for (int i = 0; i < pointCount; ++i)
            ring.emplace_back(OGR_G_GetX(geometry, i), OGR_G_GetY(geometry, i));
        data.push_back(ring);
        return;
    }
    for (int i = 0; i < children; ++i)
        CollectOgr(OGR_G_GetGeometryRef(geometry, i), data);
}

// Bit-exact comparison (so that -0.0 and 0.0 differ and NaN never matches).
bool SameBits(const ShapeData& a, const ShapeData& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (a[i].size() != b[i].size())
            return false;
        for (std::size_t k = 0; k < a[i].size(); ++k)
            if (std::bit_cast<std::uint64_t>(a[i][k].first) !=
                    std::bit_cast<std::uint64_t>(b[i][k].first) ||
                std::bit_cast<std::uint64_t>(a[i][k].second) !=
                    std::bit_cast<std::uint64_t>(b[i][k].second))
                return false;
    }
    return true;
}

// GDAL may regroup polygon rings; compare them as a sorted collection.
ShapeData Sorted(ShapeData data)
{
    std::sort(data.begin(), data.end());
    return data;
}

struct OgrContents
{
    std::vector<ShapeData> Shapes;
    OGREnvelope Box{};
    GIntBig Count = 0;
};

OgrContents ReadWithGdal(const std::string& path)
{
    GDALAllRegister();
    OgrContents contents;
    GDALDatasetH dataset =
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!dataset)
    {
        ADD_FAILURE() << "GDAL cannot open " << path;
        return contents;
    }
    OGRLayerH layer = GDALDatasetGetLayer(dataset, 0);
    contents.Count = OGR_L_GetFeatureCount(layer, TRUE);
    // Without forcing, the shapefile driver reports the bounding box of the ".shp" header.
    OGR_L_GetExtent(layer, &contents.Box, FALSE);
    OGR_L_ResetReading(layer);
    while (OGRFeatureH feature = OGR_L_GetNextFeature(layer))
    {
        ShapeData data;
        if (OGRGeometryH geometry = OGR_F_GetGeometryRef(feature))
            CollectOgr(geometry, data);
        contents.Shapes.push_back(data);
        OGR_F_Destroy(feature);
    }
    GDALClose(dataset);
    return contents;
}

std::vector<std::unique_ptr<GShape>> SampleShapes(std::uint8_t classCode)
{
    std::vector<std::unique_ptr<GShape>> shapes;
    if (classCode == scPoint)
    {
        for (double v : {0.1, -31.123456789012345, 1e-300, 2.5e7, -0.0})
            shapes.push_back(std::make_unique<GPoint>(v, -v * 3.0 + 0.3));
    }
    else if (classCode == scLine)
    {
        shapes.push_back(MakeLine({{{0.1, 0.2}, {1.3, 2.7}, {5.0, -1.0}}}));
        shapes.push_back(MakeLine({{{10, 10}, {11, 11}}, {{20.5, 20.25}, {21, 22}, {23, 24}}}));
        shapes.push_back(MakeLine({{{-3300000.123, 45000.987}, {-3300100.5, 45100.25}}}));
    }
    else
    {
        shapes.push_back(MakeLine({Ring(0, 0, 10, 7), Ring(0, 0, 3, 5)}, true));
        shapes.push_back(MakeLine({Ring(100, 50, 2.5, 12)}, true));
        shapes.push_back(MakeLine({Ring(-50, -50, 1, 4), Ring(50, -50, 1, 4)}, true));
    }
    return shapes;
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

int RunCommand(const std::string& command)
{
    return std::system(command.c_str());
}

bool HaveOgr2Ogr()
{
    return RunCommand("ogr2ogr --version > /dev/null 2>&1") == 0;
}

} // namespace

// ---- agreement with GDAL ---------------------------------------------------------------------

TEST(ShapefileGdal, FilesWrittenHereReadIdenticallyByGdal)
{
    ScratchFolder folder;
    for (std::uint8_t classCode : {scPoint, scLine, scPolygon})
    {
        SCOPED_TRACE(static_cast<int>(classCode));
        const std::string path = folder / ("written" + std::to_string(classCode) + ".shp");
        auto shapes = SampleShapes(classCode);
        std::vector<ShapeData> expected;
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        for (const auto& shape : shapes)
        {
            expected.push_back(FromShape(*shape));
            auto box = shape->GetExtent();
            minX = std::min(minX, box->Left());
            maxX = std::max(maxX, box->Right());
            minY = std::min(minY, box->Bottom());
            maxY = std::max(maxY, box->Top());
        }
        WriteShapefile(path, classCode, std::move(shapes));

        const OgrContents gdal = ReadWithGdal(path);
        ASSERT_EQ(gdal.Count, static_cast<GIntBig>(expected.size()));
        ASSERT_EQ(gdal.Shapes.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
        {
            if (classCode == scPolygon)
                EXPECT_TRUE(SameBits(Sorted(gdal.Shapes[i]), Sorted(expected[i]))) << i;
            else
                EXPECT_TRUE(SameBits(gdal.Shapes[i], expected[i])) << i;
        }
        EXPECT_EQ(gdal.Box.MinX, minX);
        EXPECT_EQ(gdal.Box.MaxX, maxX);
        EXPECT_EQ(gdal.Box.MinY, minY);
        EXPECT_EQ(gdal.Box.MaxY, maxY);
    }
}

TEST(ShapefileGdal, FilesWrittenByOgr2OgrReadIdentically)
{
    if (!HaveOgr2Ogr())
        GTEST_SKIP() << "ogr2ogr is not installed";
    ScratchFolder folder;
    struct Case
    {
        const char* name;
        const char* type;
        std::uint8_t classCode;
        const char* wkt;
    };
    const Case cases[] = {
        {"points", "POINT", scPoint,
         "\"POINT (18.4241 -33.9249)\"\n\"POINT (-0.1 1e-7)\"\n\"POINT (28.0473051 "
         "-26.2041028)\"\n"},
        {"lines", "MULTILINESTRING", scLine,
         "\"MULTILINESTRING ((0 0,1 1,2 0.5),(5 5,6 6.25))\"\n"
         "\"MULTILINESTRING ((-3300000.125 45000.0625,-3300100.5 45100.25,-3300200 45000))\"\n"},
        {"parcels", "MULTIPOLYGON", scPolygon,
         "\"MULTIPOLYGON (((0 0,0 10,10 10,10 0,0 0),(2 2,8 2,8 8,2 8,2 2)))\"\n"
         "\"MULTIPOLYGON (((20 20,20 21,21 21,21 20,20 20)),((30 30,30 31,31 31,31 30,30 "
         "30)))\"\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string csv = folder / (std::string(c.name) + ".csv");
        const std::string shp = folder / (std::string(c.name) + ".shp");
        // The CSV reader wants more than one column.
        std::string rows = "WKT,ID\n";
        int id = 0;
        for (char ch : std::string(c.wkt))
            rows += ch == '\n' ? "," + std::to_string(++id) + "\n" : std::string(1, ch);
        WriteText(csv, rows);
        ASSERT_EQ(RunCommand("ogr2ogr -q -f \"ESRI Shapefile\" -nlt " + std::string(c.type) +
                             " \"" + shp + "\" \"" + csv + "\" > /dev/null 2>&1"),
                  0);

        const OgrContents gdal = ReadWithGdal(shp);
        GShapefile file;
        file.SetLoadShapesOnOpen(true);
        ASSERT_TRUE(file.Open(shp));
        EXPECT_EQ(file.ShapeType(), c.classCode);
        ASSERT_EQ(file.Count(), static_cast<int>(gdal.Shapes.size()));
        for (int i = 0; i < file.Count(); ++i)
        {
            const ShapeData mine = FromShape(*file.GetShape(i));
            if (c.classCode == scPolygon)
                EXPECT_TRUE(
                    SameBits(Sorted(mine), Sorted(gdal.Shapes[static_cast<std::size_t>(i)])));
            else
                EXPECT_TRUE(SameBits(mine, gdal.Shapes[static_cast<std::size_t>(i)]));
        }
    }
}

TEST(ShapefileGdal, RewriteOfEveryShapeKeepsStructureAndSetsTheBox)
{
    if (!HaveOgr2Ogr())
        GTEST_SKIP() << "ogr2ogr is not installed";
    ScratchFolder folder;
    const std::string csv = folder / "job.csv";
    const std::string shp = folder / "job.shp";
    WriteText(csv, "WKT,NAME,AREA\n"
                   "\"MULTILINESTRING ((0 0,1 1,2 0.5),(5 5,6 6.25))\",first,12.5\n"
                   "\"MULTILINESTRING ((-30 20,-31 21,-32 22,-33 23))\",second,-7\n"
                   "\"MULTILINESTRING ((100 100,101 101))\",third,0\n");
    ASSERT_EQ(RunCommand("ogr2ogr -q -f \"ESRI Shapefile\" -nlt MULTILINESTRING \"" + shp +
                         "\" \"" + csv + "\" > /dev/null 2>&1"),
              0);

    const OgrContents before = ReadWithGdal(shp);

    GShapefile file;
    file.SetLoadShapesOnOpen(true);
    file.Open(shp);
    for (int i = 0; i < file.Count(); ++i)
    {
        auto moved = file.GetShape(i)->Clone();
        moved->ForEachPoint(
            [](GPoint& p)
            {
                p.X += 1000.25;
                p.Y -= 0.125;
            });
        file.ReplaceShape(i, std::move(moved));
    }
    file.Flush();

    const OgrContents after = ReadWithGdal(shp);
    ASSERT_EQ(after.Count, before.Count);
    ASSERT_EQ(after.Shapes.size(), before.Shapes.size());
    for (std::size_t i = 0; i < before.Shapes.size(); ++i)
    {
        ASSERT_EQ(after.Shapes[i].size(), before.Shapes[i].size());
        for (std::size_t k = 0; k < before.Shapes[i].size(); ++k)
        {
            ASSERT_EQ(after.Shapes[i][k].size(), before.Shapes[i][k].size());
            for (std::size_t v = 0; v < before.Shapes[i][k].size(); ++v)
            {
                EXPECT_EQ(after.Shapes[i][k][v].first, before.Shapes[i][k][v].first + 1000.25);
                EXPECT_EQ(after.Shapes[i][k][v].second, before.Shapes[i][k][v].second - 0.125);
            }
        }
    }
    EXPECT_EQ(after.Box.MinX, -33 + 1000.25);
    EXPECT_EQ(after.Box.MaxX, 101 + 1000.25);
    EXPECT_EQ(after.Box.MinY, 0 - 0.125);
    EXPECT_EQ(after.Box.MaxY, 101 - 0.125);
}

TEST(ShapefileGdal, SampleFilesAgreeWithGdal)
{
    const std::filesystem::path samples = std::filesystem::path(QUORVALIS_SOURCE_DIR) / "samples";
    int seen = 0;
    for (const char* name : {"job-points.shp", "job-lines.shp", "job-parcels.shp"})
    {
        const std::string path = (samples / name).string();
        if (!std::filesystem::exists(path))
            continue;
        SCOPED_TRACE(name);
        ++seen;
        const OgrContents gdal = ReadWithGdal(path);
        GShapefile file;
        file.SetLoadShapesOnOpen(true);
        ASSERT_TRUE(file.Open(path));
        ASSERT_EQ(file.Count(), static_cast<int>(gdal.Shapes.size()));
        for (int i = 0; i < file.Count(); ++i)
            EXPECT_TRUE(SameBits(Sorted(FromShape(*file.GetShape(i))),
                                 Sorted(gdal.Shapes[static_cast<std::size_t>(i)])))
                << "record " << i + 1;
        // Written back unchanged, the shape files come out byte for byte as they were.
        const GShapefileImages images = file.SaveToImages();
        EXPECT_EQ(images.Shp, ReadBytes(path));
    }
    if (seen == 0)
        GTEST_SKIP() << "no sample shapefiles under " << samples;
}

// ---- the format -------------------------------------------------------------------------------

TEST(ShapefileFormat, CreateWritesHeadersOnly)
{
    ScratchFolder folder;
    GShapefile file;
    file.Create(folder / "empty.shp", scPolygon);
    for (const char* name : {"empty.shp", "empty.shx"})
    {
        const auto bytes = ReadBytes(folder / name);
        ASSERT_EQ(bytes.size(), 100u) << name;
        EXPECT_EQ((std::vector<std::uint8_t>{bytes.begin(), bytes.begin() + 4}),
                  (std::vector<std::uint8_t>{0x00, 0x00, 0x27, 0x0A}));
        EXPECT_EQ(bytes[27], 50); // length in words, big-endian
        EXPECT_EQ(bytes[28], 0xE8);
        EXPECT_EQ(bytes[29], 0x03); // version 1000, little-endian
        EXPECT_EQ(bytes[32], 5);    // polygon
        EXPECT_TRUE(std::all_of(bytes.begin() + 36, bytes.end(), [](auto b) { return b == 0; }));
    }
    EXPECT_THROW(file.Create(folder / "bad.shp", scRectangle), GShapefileException);
    file.Open(folder / "empty.shp");
    EXPECT_EQ(file.Count(), 0);
    EXPECT_EQ(file.ShapeType(), scPolygon);
}

TEST(ShapefileFormat, LinesWithoutPointsAndEmptyParts)
{
    ScratchFolder folder;
    std::vector<std::unique_ptr<GShape>> shapes;
    shapes.push_back(MakeLine({}));                         // no parts at all
    shapes.push_back(MakeLine({{}, {{1, 2}, {3, 4}}, {}})); // empty parts are not written
    shapes.push_back(MakeLine({{{5, 6}, {7, 8}, {9, 9}}, {{1, 1}, {2, 2}}}));
    WriteShapefile(folder / "l.shp", scLine, std::move(shapes));
    GShapefile file;
    file.SetLoadShapesOnOpen(true);
    file.Open(folder / "l.shp");
    ASSERT_EQ(file.Count(), 3);
    EXPECT_EQ(file.GetShape(0)->PointCount(), 0);
    EXPECT_EQ(PartSizes(*file.GetShape(1)), (std::vector<int>{2}));
    EXPECT_EQ(PartSizes(*file.GetShape(2)), (std::vector<int>{3, 2})); // parts start at 0 and 3
    const auto shp = ReadBytes(folder / "l.shp");
    for (int i = 0; i < 32; ++i) // the empty line's box is zero
        EXPECT_EQ(shp[100 + 8 + 4 + i], 0);
    EXPECT_EQ(ReadWithGdal(folder / "l.shp").Count, 3);
}

TEST(ShapefileFormat, HeaderBoxIncludesTheOrigin)
{
    // A first shape exactly at the origin must not be taken for "no extent yet".
    ScratchFolder folder;
    std::vector<std::unique_ptr<GShape>> shapes;
    shapes.push_back(std::make_unique<GPoint>(0.0, 0.0));
    shapes.push_back(std::make_unique<GPoint>(5.0, 7.0));
    WriteShapefile(folder / "p.shp", scPoint, std::move(shapes));
    const OgrContents gdal = ReadWithGdal(folder / "p.shp");
    EXPECT_EQ(gdal.Box.MinX, 0.0);
    EXPECT_EQ(gdal.Box.MinY, 0.0);
    EXPECT_EQ(gdal.Box.MaxX, 5.0);
    EXPECT_EQ(gdal.Box.MaxY, 7.0);
}

TEST(ShapefileFormat, DeleteAppendAndLazyReading)
{
    ScratchFolder folder;
    std::vector<std::unique_ptr<GShape>> shapes;
    for (int i = 0; i < 5; ++i)
        shapes.push_back(std::make_unique<GPoint>(i, 10 * i));
    WriteShapefile(folder / "p.shp", scPoint, std::move(shapes));

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
    EXPECT_EQ(static_cast<GPoint*>(again.GetShape(0))->Z, 0.0);
}

TEST(ShapefileFormat, StateMessages)
{
    ScratchFolder folder;
    GShapefile file;
    auto message = [](auto&& action) { return MessageOf(action); };
    EXPECT_EQ(message([&] { file.Close(); }), "The shapefile is not open");
    EXPECT_EQ(message([&] { file.Flush(); }), "The shapefile is not open");
    EXPECT_EQ(message([&] { file.Open(folder / "missing.shp"); }),
              "The specified shapefile does not exist");
    file.Create(folder / "p.shp", scPoint);
    std::filesystem::remove(folder / "p.shx");
    EXPECT_EQ(message([&] { file.Open(folder / "p.shp"); }),
              "The specified shapefile does not exist");
    file.Create(folder / "p.shp", scPoint);
    file.Open(folder / "p.shp");
    EXPECT_EQ(message([&] { file.SetLoadShapesOnOpen(true); }),
              "Unable to change this parameter while the shapefile is open");
    EXPECT_EQ(message([&] { SpatialTypeToShapeType(scText); }),
              "That spatial type is not a valid shapefile type");
    EXPECT_EQ(message([&] { ShapeTypeToSpatialType(11); }),
              "That shapefile type is not a valid spatial type");
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.FileName(), "");
    EXPECT_EQ(file.ShapeType(), 0);
}

TEST(ShapefileFormat, FlushRefusesWrongShapesAndLeavesFilesAlone)
{
    ScratchFolder folder;
    std::vector<std::unique_ptr<GShape>> shapes;
    shapes.push_back(std::make_unique<GPoint>(1, 2));
    shapes.push_back(std::make_unique<GPoint>(3, 4));
    WriteShapefile(folder / "p.shp", scPoint, std::move(shapes));
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
}

TEST(ShapefileFormat, NullSlotsAreWrittenAsNullRecords)
{
    ScratchFolder folder;
    GShapefile file;
    file.Create(folder / "p.shp", scPoint);
    file.Open(folder / "p.shp");
    file.AppendShape(std::make_unique<GPoint>(1, 2));
    file.AppendShape(nullptr);
    EXPECT_EQ(file.GetShape(1), nullptr);
    file.Flush();
    // Other readers skip the null record; this one refuses it as the file's own type.
    const OgrContents gdal = ReadWithGdal(folder / "p.shp");
    EXPECT_EQ(gdal.Count, 2);
    GShapefile again;
    again.SetLoadShapesOnOpen(true);
    EXPECT_EQ(MessageOf([&] { again.Open(folder / "p.shp"); }), "Not a point shapefile");
    EXPECT_FALSE(again.IsOpen());
}

TEST(ShapefileFormat, UpperCaseExtensions)
{
    ScratchFolder folder;
    std::vector<std::unique_ptr<GShape>> shapes;
    shapes.push_back(std::make_unique<GPoint>(1, 2));
    WriteShapefile(folder / "P.SHP", scPoint, std::move(shapes));
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"P.SHP", "P.SHX"}));
    GShapefile file;
    EXPECT_TRUE(file.Open(folder / "P.shp"));
    EXPECT_EQ(file.Count(), 1);
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

void PutBig(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v)
{
    bytes[at] = static_cast<std::uint8_t>(v >> 24);
    bytes[at + 1] = static_cast<std::uint8_t>(v >> 16);
    bytes[at + 2] = static_cast<std::uint8_t>(v >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(v);
}

void PutLittle(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

TEST(ShapefileDamage, EveryDamageIsRefusedWithANamedMessage)
{
    // The second line record (3 points in 1 part) starts at 100 + 8 + 92 in the sample lines.
    const std::size_t second = 100 + 8 + (44 + 4 + 16 * 3);
    struct Case
    {
        const char* what;
        std::uint8_t classCode;
        std::function<void(GShapefileImages&)> damage;
        const char* expected;
    };
    const Case cases[] = {
        {"shx too short", scPoint, [](auto& f) { f.Shx.resize(60); },
         "v.shx: file of 60 bytes is shorter than the 100-byte shapefile header"},
        {"shp too short", scPoint, [](auto& f) { f.Shp.resize(99); }, "v.shp: file of 99 bytes"},
        {"not a shapefile", scPoint, [](auto& f) { f.Shp[3] = 0; }, "is not that of a shapefile"},
        {"index not 100 + 8n", scPoint, [](auto& f) { f.Shx.push_back(0); },
         "index of 141 bytes is not 100 + 8 bytes per record"},
        {"multipoint file", scPoint, [](auto& f) { PutLittle(f.Shp, 32, 8); },
         "That shapefile type is not a valid spatial type"},
        {"pointz file", scPoint, [](auto& f) { PutLittle(f.Shp, 32, 11); },
         "That shapefile type is not a valid spatial type"},
        {"null record in a point file", scPoint, [](auto& f) { PutLittle(f.Shp, 100 + 8, 0); },
         "Not a point shapefile"},
        {"polygon record in a line file", scLine, [](auto& f) { PutLittle(f.Shp, 108, 5); },
         "Not a line shapefile"},
        {"line record in a polygon file", scPolygon, [](auto& f) { PutLittle(f.Shp, 108, 3); },
         "Not a polygon shapefile"},
        {"offset past the end", scPoint, [](auto& f) { PutBig(f.Shx, 100 + 8 * 2, 1000000); },
         "v.shx: record 3: offset 2000000 lies outside"},
        {"offset inside the header", scPoint, [](auto& f) { PutBig(f.Shx, 100, 10); },
         "record 1: offset 20 lies outside"},
        {"content past the end", scPoint, [](auto& f) { PutBig(f.Shx, 100 + 8 * 4 + 4, 500); },
         "record 5: content length 1000"},
        {"short point", scPoint, [](auto& f) { PutBig(f.Shx, 104, 4); },
         "record 1: point content of 8 bytes is shorter than 20"},
        {"negative parts", scLine, [](auto& f) { PutLittle(f.Shp, 108 + 36, -1); },
         "record 1: negative number of parts -1"},
        {"negative points", scLine, [](auto& f) { PutLittle(f.Shp, 108 + 40, -7); },
         "record 1: negative number of points -7"},
        {"too many points", scLine, [](auto& f) { PutLittle(f.Shp, 108 + 40, 0x7fffffff); },
         "record 1: 1 parts and 2147483647 points need"},
        {"too many parts", scLine, [](auto& f) { PutLittle(f.Shp, 108 + 36, 1000); },
         "record 1: 1000 parts and 3 points need"},
        {"points without parts", scLine, [](auto& f) { PutLittle(f.Shp, 108 + 36, 0); },
         "record 1: 3 points but no parts"},
        {"part start past the points", scLine,
         [second](auto& f) { PutLittle(f.Shp, second + 8 + 48, 9); },
         "record 2: part 2 starts at point 9 (of 5)"},
        {"part starts not increasing", scLine,
         [second](auto& f) { PutLittle(f.Shp, second + 8 + 48, 0); },
         "record 2: part 2 starts at point 0 (of 5)"},
        {"first part not at 0", scLine, [second](auto& f) { PutLittle(f.Shp, second + 8 + 44, 1); },
         "record 2: part 1 starts at point 1 (of 5)"},
        {"infinite coordinate", scPoint,
         [](auto& f)
         {
             const double inf = std::numeric_limits<double>::infinity();
             std::memcpy(f.Shp.data() + 108 + 4, &inf, 8);
         },
         "record 1: coordinate inf is not a finite number"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        GShapefileImages images = ValidImages(c.classCode);
        c.damage(images);
        GShapefile file;
        try
        {
            file.OpenImages("/data/v.shp", images.Shp, images.Shx);
            ADD_FAILURE() << "accepted";
        }
        catch (const GShapefileException& e)
        {
            EXPECT_THAT(e.what(), HasSubstr(c.expected));
        }
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(ShapefileDamage, LazyReadingChecksTheFilesAsTheyAreNow)
{
    ScratchFolder folder;
    WriteShapefile(folder / "p.shp", scPoint, SampleShapes(scPoint));
    GShapefile file;
    file.Open(folder / "p.shp");
    // The ".shp" loses its last record after the open.
    auto shp = ReadBytes(folder / "p.shp");
    shp.resize(shp.size() - 10);
    WriteBytes(folder / "p.shp", shp);
    EXPECT_NO_THROW(file.GetShape(0));
    EXPECT_THAT(MessageOf([&] { file.GetShape(4); }), HasSubstr("record 5: content length 20"));
}
