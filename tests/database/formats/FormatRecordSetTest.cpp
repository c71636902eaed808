// The record sets over shapefiles, text files and coordinate list files: opening, the usual
// transform-and-flush walk, appends, refusals, and the factories with their dialog hooks.
#include "database/CorvellDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

namespace
{

const std::filesystem::path kSamples = std::filesystem::path(QUORVALIS_SOURCE_DIR) / "samples";

// Copies sample files into the folder; skips the test when they are not there.
bool CopySamples(const ScratchFolder& folder, std::initializer_list<const char*> names)
{
    for (const char* name : names)
    {
        if (!std::filesystem::exists(kSamples / name))
            return false;
        std::filesystem::copy_file(kSamples / name, folder.Path() / name);
    }
    return true;
}

// Moves every point of the record set by (dx, dy): the transform run's walk.
void MoveAll(GRecordSet& recordSet, double dx, double dy)
{
    recordSet.First();
    while (!recordSet.Eof())
    {
        std::unique_ptr<GShape> shape = recordSet.GetShape();
        shape->ForEachPoint(
            [&](GPoint& p)
            {
                p.X += dx;
                p.Y += dy;
            });
        recordSet.Edit();
        recordSet.SetShape(*shape);
        recordSet.Post();
        recordSet.Next();
    }
    recordSet.Flush();
}

std::vector<std::vector<double>> AllCoordinates(GRecordSet& recordSet)
{
    std::vector<std::vector<double>> all;
    recordSet.First();
    while (!recordSet.Eof())
    {
        all.push_back(Coordinates(*recordSet.GetShape()));
        recordSet.Next();
    }
    recordSet.First();
    return all;
}

std::string WithoutCarriageReturns(std::string text)
{
    std::erase(text, '\r');
    return text;
}

} // namespace

// ---- shapefiles -------------------------------------------------------------------------------

TEST(ShapefileRecordSet, TransformWalkMovesShapesAndKeepsAttributes)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-lines.shp", "job-lines.shx", "job-lines.dbf"}))
        GTEST_SKIP() << "sample shapefiles missing";
    const auto dbfBefore = ReadBytes(folder / "job-lines.dbf");
    auto recordSet = CreateShapefileRecordSet(false, folder / "job-lines.shp", false, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_TRUE(recordSet->HasSpatialComponent());
    EXPECT_EQ(recordSet->RecordCount(), 8);
    EXPECT_NE(recordSet->Fields().FindField("LABEL", true), nullptr);
    const auto before = AllCoordinates(*recordSet);
    MoveAll(*recordSet, 0.5, -0.25);
    recordSet->Close();

    EXPECT_EQ(ReadBytes(folder / "job-lines.dbf"), dbfBefore);
    auto again = CreateShapefileRecordSet(false, folder / "job-lines.shp", true, true);
    ASSERT_TRUE(again->Open());
    const auto after = AllCoordinates(*again);
    ASSERT_EQ(after.size(), before.size());
    std::size_t vertices = 0;
    for (std::size_t i = 0; i < before.size(); ++i)
    {
        ASSERT_EQ(after[i].size(), before[i].size());
        for (std::size_t k = 0; k < before[i].size(); k += 2)
        {
            EXPECT_EQ(after[i][k], before[i][k] + 0.5);
            EXPECT_EQ(after[i][k + 1], before[i][k + 1] - 0.25);
        }
        vertices += before[i].size() / 2;
    }
    EXPECT_EQ(vertices, 262u);
    // "STREAM 2" keeps its two parts.
    bool twoParts = false;
    again->First();
    while (!again->Eof())
    {
        twoParts = twoParts || PartSizes(*again->GetShape()) == std::vector<int>{20, 15};
        again->Next();
    }
    EXPECT_TRUE(twoParts);
}

TEST(ShapefileRecordSet, AppendWritesBothFilesInStep)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-points.shp", "job-points.shx", "job-points.dbf"}))
        GTEST_SKIP() << "sample shapefiles missing";
    auto recordSet = CreateShapefileRecordSet(false, folder / "job-points.shp", false, true);
    ASSERT_TRUE(recordSet->Open());
    const auto dbfBefore = ReadBytes(folder / "job-points.dbf");

    // Refusals come before the attribute row is written.
    recordSet->Append();
    EXPECT_EQ(MessageOf([&] { recordSet->Post(); }), "You cannot post a nil shape to a shapefile");
    recordSet->SetShape(*MakeLine({{{0, 0}, {1, 1}}}));
    EXPECT_EQ(MessageOf([&] { recordSet->Post(); }), "The shape is not of the required type");
    EXPECT_EQ(ReadBytes(folder / "job-points.dbf"), dbfBefore);
    EXPECT_EQ(recordSet->State(), rsAppend);

    recordSet->SetShape(GPoint(2850000.5, 80000.25));
    recordSet->Fields().FieldByName("LABEL", true).SetAsString("PEG 2031");
    recordSet->Post();
    EXPECT_EQ(recordSet->RecordCount(), 31);
    recordSet->Flush();
    recordSet->Close();

    auto again = CreateShapefileRecordSet(false, folder / "job-points.shp", true, true);
    ASSERT_TRUE(again->Open());
    ASSERT_EQ(again->RecordCount(), 31);
    std::unique_ptr<GShape> last = again->GetShapeAt(30);
    EXPECT_EQ(static_cast<GPoint&>(*last).X, 2850000.5);
    EXPECT_EQ(ReadBytes(folder / "job-points.shx").size(), 100u + 8 * 31);
}

TEST(ShapefileRecordSet, OpeningFailuresAndProperties)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-points.shp", "job-points.shx", "job-points.dbf"}))
        GTEST_SKIP() << "sample shapefiles missing";
    const std::string shp = folder / "job-points.shp";

    GShapefileRecordSet recordSet;
    recordSet.SetFileName(shp);
    ASSERT_TRUE(recordSet.Open());
    EXPECT_EQ(MessageOf([&] { recordSet.SetFileName("other.shp"); }),
              "You cannot set this property while the shapefile is active.");
    EXPECT_EQ(recordSet.GetDefinition()->TableName, shp);
    recordSet.Close();

    // Missing ".shx": the attribute query opens, then the shapefile refuses.
    std::filesystem::rename(folder / "job-points.shx", folder / "saved.shx");
    EXPECT_EQ(MessageOf([&] { recordSet.Open(); }), "The specified shapefile does not exist");
    EXPECT_FALSE(recordSet.Active());
    std::filesystem::rename(folder / "saved.shx", folder / "job-points.shx");

    // Missing ".dbf": a plain failure.
    std::filesystem::rename(folder / "job-points.dbf", folder / "saved.dbf");
    EXPECT_FALSE(recordSet.Open());
    std::filesystem::rename(folder / "saved.dbf", folder / "job-points.dbf");

    // Attributes and shapes out of step.
    GShapefile shapes;
    shapes.SetLoadShapesOnOpen(true);
    shapes.Open(shp);
    shapes.DeleteShape(0);
    shapes.Flush();
    EXPECT_THAT(MessageOf([&] { recordSet.Open(); }),
                HasSubstr("the attribute table has 30 records and the shape index 29"));
}

TEST(ShapefileRecordSet, ReadOnlyFlushWritesNothing)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-parcels.shp", "job-parcels.shx", "job-parcels.dbf"}))
        GTEST_SKIP() << "sample shapefiles missing";
    const auto modified = std::filesystem::last_write_time(folder / "job-parcels.shp");
    auto recordSet = CreateShapefileRecordSet(false, folder / "job-parcels.shp", true, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->RecordCount(), 12);
    EXPECT_THROW(recordSet->Edit(), std::exception);
    recordSet->Flush();
    EXPECT_EQ(std::filesystem::last_write_time(folder / "job-parcels.shp"), modified);
}

TEST(ShapefileRecordSet, CreateTableMakesAnEmptyShapefile)
{
    ScratchFolder folder;
    GShapefileRecordSet creator;
    GRecordSetDefinition definition;
    definition.TableName = folder / "new.shp";
    definition.HasSpatialComponent = true;
    definition.ShapeType = scLine;
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("NAME", fdtString, 21, false));
    ASSERT_TRUE(creator.CreateTable(definition));
    auto recordSet = CreateShapefileRecordSet(false, folder / "new.shp", false, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->RecordCount(), 0);
    EXPECT_EQ(recordSet->Shapefile().ShapeType(), scLine);
    EXPECT_EQ(recordSet->Fields().FindField("SHAPE", false), nullptr);
}

// ---- text files -------------------------------------------------------------------------------

TEST(TextFileRecordSet, DelimitedSampleTransformKeepsHeaderAndFormats)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-points.txt", "job-points-delimited.def"}))
        GTEST_SKIP() << "sample text files missing";
    auto recordSet =
        CreateTextFileRecordSet(false, folder / "job-points.txt",
                                folder / "job-points-delimited.def", "X", "Y", "", false, false);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->RecordCount(), 30);
    EXPECT_TRUE(recordSet->HasSpatialComponent());
    std::vector<std::string> names;
    recordSet->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME", "Y", "X", "HEIGHT", "CODE"}));
    auto first = recordSet->GetShape();
    EXPECT_EQ(static_cast<GPoint&>(*first).X, 2846046.101);
    EXPECT_EQ(static_cast<GPoint&>(*first).Y, 79016.354);

    MoveAll(*recordSet, 1.0, -2.0);
    const std::string text = ReadText(folder / "job-points.txt");
    EXPECT_EQ(text.substr(0, text.find("\r\n", text.find("\r\n") + 2) + 2),
              "NAME,Y,X,HEIGHT,CODE\r\nBM 11,79014.354,2846047.101,1421.33,1\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
}

TEST(TextFileRecordSet, FixedSampleRoundTripsUnchanged)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-points-fixed.txt", "job-points-fixed.def"}))
        GTEST_SKIP() << "sample text files missing";
    const std::string before = ReadText(folder / "job-points-fixed.txt");
    auto recordSet =
        CreateTextFileRecordSet(false, folder / "job-points-fixed.txt",
                                folder / "job-points-fixed.def", "X", "Y", "", false, false);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Flush();
    // Only the line ends change (the file is written with CR LF).
    EXPECT_EQ(WithoutCarriageReturns(ReadText(folder / "job-points-fixed.txt")), before);
}

TEST(TextFileRecordSet, EdgeCases)
{
    ScratchFolder folder;
    const std::string def = folder / "t.def";
    const std::string txt = folder / "t.txt";
    // FileType 1, ';', no header; NAME string, V float "0.000", B blob.
    std::vector<std::uint8_t> bytes{1, ';', 0, 3, 0, 0, 0};
    auto field = [&bytes](const std::string& name, const std::string& format, std::uint8_t type)
    {
        for (const std::string& block : {name, format})
        {
            bytes.push_back(static_cast<std::uint8_t>(block.size() + 1));
            bytes.insert(bytes.end(), {0, 0, 0});
            bytes.insert(bytes.end(), block.begin(), block.end());
            bytes.push_back(0);
        }
        bytes.insert(bytes.end(), {0, 0, 0, 0, 8, 0, 0, 0, 1, type});
    };
    field("NAME", "", 4);
    field("V", "0.000", 2);
    field("B", "", 6);
    WriteBytes(def, bytes);
    WriteText(txt, "a;3.14159;x\n  \t \nb;;y\n");

    auto recordSet = CreateTextFileRecordSet(false, txt, def, "V", "", "", false, false);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->RecordCount(), 2); // the blank line is no record
    EXPECT_EQ(recordSet->Fields().FieldByName("V", true).GetValue().AsDouble(), 3.142);
    recordSet->Edit();
    EXPECT_EQ(MessageOf(
                  [&] {
                      recordSet->SetShape(*MakeLine({{{0, 0}, {1, 1}}}));
                  }),
              "You can only store points in this recordset");
    recordSet->SetShape(GPoint(7.5, 0));
    recordSet->Post();
    const std::string before = ReadText(txt);
    EXPECT_EQ(MessageOf([&] { recordSet->Flush(); }), "Incompatible field type");
    EXPECT_EQ(ReadText(txt), before);

    // Without the blob field the flush writes; values holding the delimiter are refused.
    bytes[3] = 2;
    bytes.resize(bytes.size() - (4 + 2 + 4 + 1 + 10));
    WriteBytes(def, bytes);
    recordSet = CreateTextFileRecordSet(false, txt, def, "V", "", "", false, false);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Edit();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("x;y");
    recordSet->Post();
    EXPECT_THAT(MessageOf([&] { recordSet->Flush(); }), HasSubstr("holds the delimiter"));
    EXPECT_EQ(ReadText(txt), before);
    recordSet->First();
    recordSet->Edit();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("xy");
    recordSet->Post();
    recordSet->Flush();
    EXPECT_EQ(ReadText(txt), "xy;3.142\r\nb;0.000\r\n");

    // Missing files.
    EXPECT_FALSE(CreateTextFileRecordSet(false, folder / "none.txt", def, "V", "", "", false, false)
                     ->Open());
    auto noDefinition =
        CreateTextFileRecordSet(false, txt, folder / "none.def", "X", "Y", "", false, false);
    ASSERT_TRUE(noDefinition->Open());
    EXPECT_EQ(noDefinition->Fields().Count(), 0);
    EXPECT_FALSE(noDefinition->HasSpatialComponent());
    noDefinition->Flush(); // must not blank the file
    EXPECT_EQ(ReadText(txt), "xy;3.142\r\nb;0.000\r\n");
}

// ---- coordinate list files --------------------------------------------------------------------

TEST(CorvellRecordSet, OffsetsAndAnUnchangedFlushKeepEveryByte)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-points.crd"}))
        GTEST_SKIP() << "sample coordinate list missing";
    const std::string path = folder / "job-points.crd";
    const auto before = ReadBytes(path);
    GCorvellCoordinateFile file;
    file.FileName = path;
    ASSERT_TRUE(file.LoadFromFile());

    auto recordSet = CreateCorvellRecordSet(false, path, false, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Lo, 29);
    EXPECT_EQ(recordSet->YOffset, 80000.0);
    ASSERT_EQ(recordSet->RecordCount(), file.Coordinates.Count());
    std::vector<std::string> names;
    recordSet->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "X", "Y", "Z", "Survey Record", "Mask"}));
    recordSet->First();
    for (int i = 0; !recordSet->Eof(); ++i, recordSet->Next())
    {
        const auto& stored = *file.Coordinates.GetItem(i);
        auto point = recordSet->GetShape();
        EXPECT_NEAR(static_cast<GPoint&>(*point).X, stored.X + file.XOffset, 1e-9);
        EXPECT_NEAR(static_cast<GPoint&>(*point).Y, stored.Y + file.YOffset, 1e-9);
        EXPECT_EQ(static_cast<GPoint&>(*point).Z, file.ZOffset);
        EXPECT_EQ(recordSet->Fields().FieldByName("Name", true).AsString(), stored.Name);
    }
    recordSet->Flush();
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(CorvellRecordSet, TransformAndOffsets)
{
    ScratchFolder folder;
    const std::string path = folder / "job.crd";
    GCorvellCoordinateFile file;
    file.FileName = path;
    file.YOffset = 100.0;
    file.XOffset = 2840000.0;
    file.ZOffset = 12.0;
    file.Lo = 31;
    auto c = std::make_unique<GCorvellCoordinate>();
    c->Name = "P1";
    c->Y = 23.5;
    c->X = 1.25;
    file.Coordinates.Add(std::move(c));
    file.SaveToFile();

    auto recordSet = CreateCorvellRecordSet(false, path, false, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Fields().FieldByName("Y", true).GetValue().AsDouble(), 123.5);
    EXPECT_EQ(recordSet->Fields().FieldByName("Z", true).GetValue().AsDouble(), 12.0);
    recordSet->Edit();
    EXPECT_EQ(MessageOf(
                  [&] {
                      recordSet->SetShape(*MakeLine({{{0, 0}, {1, 1}}}));
                  }),
              "You can only store points in this recordset");
    recordSet->SetShape(GPoint(2840001.75, 125.5, 99.0)); // Z is not stored
    recordSet->Post();
    recordSet->Flush();

    GCorvellCoordinateFile read;
    read.FileName = path;
    ASSERT_TRUE(read.LoadFromFile());
    EXPECT_EQ(read.Coordinates.GetItem(0)->X, 1.75);
    EXPECT_EQ(read.Coordinates.GetItem(0)->Y, 25.5);
    EXPECT_EQ(read.Lo, 31);
    EXPECT_EQ(read.ZOffset, 12.0);
}

TEST(CorvellRecordSet, MissingShortAndReadOnly)
{
    ScratchFolder folder;
    EXPECT_FALSE(CreateCorvellRecordSet(false, folder / "none.crd", false, true)->Open());
    WriteText(folder / "short.crd", std::string(100, ' '));
    EXPECT_THAT(
        MessageOf([&]
                  { CreateCorvellRecordSet(false, folder / "short.crd", false, true)->Open(); }),
        HasSubstr("shorter than the 512-byte"));
    const std::string path = folder / "ro.crd";
    GCorvellCoordinateFile file;
    file.FileName = path;
    file.SaveToFile();
    const auto modified = std::filesystem::last_write_time(path);
    auto recordSet = CreateCorvellRecordSet(false, path, true, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->RecordCount(), 0);
    recordSet->Flush();
    EXPECT_EQ(std::filesystem::last_write_time(path), modified);
}

// ---- factories --------------------------------------------------------------------------------

TEST(FormatFactories, DialogHooks)
{
    // Without a hook a dialog counts as cancelled.
    SetShapefileDataSourceDialog({});
    SetTextFileDataSourceDialog({});
    SetCorvellDataSourceDialog({});
    EXPECT_EQ(CreateShapefileRecordSet(true, "a.shp", false, true), nullptr);
    EXPECT_EQ(CreateTextFileRecordSet(true, "", "", "", "", "", false, false), nullptr);
    EXPECT_EQ(CreateCorvellRecordSet(true, "", false, true), nullptr);

    // A cancelled dialog.
    SetCorvellDataSourceDialog([](GCorvellDataSourceSettings&) { return false; });
    EXPECT_EQ(CreateCorvellRecordSet(true, "", false, true), nullptr);

    // The chosen values are taken; a read-only box that may not be changed keeps the caller's.
    SetShapefileDataSourceDialog(
        [](GShapefileDataSourceSettings& s)
        {
            EXPECT_EQ(s.FileName, "given.shp");
            s.FileName = "chosen.shp";
            s.ReadOnly = !s.ReadOnly;
            return true;
        });
    auto shapefile = CreateShapefileRecordSet(true, "given.shp", false, true);
    ASSERT_NE(shapefile, nullptr);
    EXPECT_EQ(shapefile->FileName(), "chosen.shp");
    EXPECT_TRUE(shapefile->GetReadOnly());
    EXPECT_FALSE(CreateShapefileRecordSet(true, "given.shp", false, false)->GetReadOnly());
    EXPECT_FALSE(shapefile->Active());

    SetTextFileDataSourceDialog(
        [](GTextFileDataSourceSettings& s)
        {
            s.TextFileName = "t.txt";
            s.XFieldName = "E";
            s.ReadOnly = true;
            return true;
        });
    auto text = CreateTextFileRecordSet(true, "", "", "", "", "", false, true);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->TextFileName, "t.txt");
    EXPECT_EQ(text->XFieldName, "E");
    EXPECT_TRUE(text->GetReadOnly());

    SetCorvellDataSourceDialog(
        [](GCorvellDataSourceSettings& s)
        {
            s.FileName = "c.crd";
            return true;
        });
    EXPECT_EQ(CreateCorvellRecordSet(true, "", false, true)->FileName, "c.crd");

    // No dialog asked for: the arguments as given.
    auto direct = CreateCorvellRecordSet(false, "d.crd", true, false);
    EXPECT_EQ(direct->FileName, "d.crd");
    EXPECT_TRUE(direct->GetReadOnly());
    SetShapefileDataSourceDialog({});
    SetTextFileDataSourceDialog({});
    SetCorvellDataSourceDialog({});
}
