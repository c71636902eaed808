// The record sets over shapefiles, text files and coordinate list files: opening, the usual
// transform-and-flush walk, appends, refusals, and the factories with their dialog hooks. The
// shapefile walk is checked against GDAL in ShapefileTest.cpp.
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

const GPoint& AsPoint(const std::unique_ptr<GShape>& shape)
{
    return dynamic_cast<const GPoint&>(*shape);
}

} // namespace

// ---- shapefiles -------------------------------------------------------------------------------

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
    EXPECT_EQ(AsPoint(again->GetShapeAt(30)).X, 2850000.5);
    EXPECT_EQ(ReadBytes(folder / "job-points.shx").size(), 100u + 8 * 31);
}

TEST(ShapefileRecordSet, ReadOnlyFlushWritesNothingAndOpeningFailuresAreReported)
{
    ScratchFolder folder;
    if (!CopySamples(folder, {"job-points.shp", "job-points.shx", "job-points.dbf"}))
        GTEST_SKIP() << "sample shapefiles missing";
    const std::string shp = folder / "job-points.shp";
    const auto modified = std::filesystem::last_write_time(shp);
    GShapefileRecordSet recordSet;
    recordSet.SetFileName(shp);
    recordSet.SetReadOnly(true);
    ASSERT_TRUE(recordSet.Open());
    EXPECT_THROW(recordSet.Edit(), std::exception);
    recordSet.Flush();
    EXPECT_EQ(std::filesystem::last_write_time(shp), modified);
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

TEST(ShapefileRecordSet, CreateTableMakesAnEmptyShapefileOfHeadersOnly)
{
    ScratchFolder folder;
    GRecordSetDefinition definition;
    definition.TableName = folder / "new.shp";
    definition.HasSpatialComponent = true;
    definition.ShapeType = scLine;
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("NAME", fdtString, 21, false));
    ASSERT_TRUE(GShapefileRecordSet().CreateTable(definition));
    EXPECT_EQ(ReadBytes(folder / "new.shp"), EmptyShapefileHeader(3));
    EXPECT_EQ(ReadBytes(folder / "new.shx"), EmptyShapefileHeader(3));
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
    std::vector<std::string> names;
    recordSet->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME", "Y", "X", "HEIGHT", "CODE"}));
    EXPECT_EQ(AsPoint(recordSet->GetShape()).X, 2846046.101);
    EXPECT_EQ(AsPoint(recordSet->GetShape()).Y, 79016.354);

    MoveAll(*recordSet, 1.0, -2.0);
    const std::string text = ReadText(folder / "job-points.txt");
    EXPECT_EQ(text.substr(0, text.find("\r\n", text.find("\r\n") + 2) + 2),
              "NAME,Y,X,HEIGHT,CODE\r\nBM 11,79014.354,2846047.101,1421.33,1\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
}

TEST(TextFileRecordSet, ARefusedFlushLeavesTheFileAndMissingFilesAreHandled)
{
    ScratchFolder folder;
    const std::string def = folder / "t.def";
    const std::string txt = folder / "t.txt";
    const FieldLayout name{"NAME"}, value{"V", 2, 0, 0, "0.000"}, blob{"B", 6};
    WriteBytes(def, DefinitionBytes(1, ';', false, {name, value, blob}));
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

    // Without the blob field the flush writes every record in the definition's form.
    WriteBytes(def, DefinitionBytes(1, ';', false, {name, value}));
    recordSet = CreateTextFileRecordSet(false, txt, def, "V", "", "", false, false);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Edit();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("xy");
    recordSet->Post();
    recordSet->Flush();
    EXPECT_EQ(ReadText(txt), "xy;3.142\r\nb;0.000\r\n");

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
    for (int i = 0; !recordSet->Eof(); ++i, recordSet->Next())
    {
        const auto& stored = *file.Coordinates.GetItem(i);
        const auto shape = recordSet->GetShape();
        EXPECT_NEAR(AsPoint(shape).X, stored.X + file.XOffset, 1e-9);
        EXPECT_NEAR(AsPoint(shape).Y, stored.Y + file.YOffset, 1e-9);
        EXPECT_EQ(AsPoint(shape).Z, file.ZOffset);
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
    file.Coordinates.Add(std::make_unique<GCorvellCoordinate>());
    file.Coordinates.GetItem(0)->Y = 23.5;
    file.Coordinates.GetItem(0)->X = 1.25;
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
    EXPECT_THROW(CreateCorvellRecordSet(false, folder / "short.crd", false, true)->Open(),
                 GCorvellException);
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

TEST(FormatFactories, DialogsGiveTheChoiceOrNothingWhenCancelled)
{
    // Without a hook a dialog counts as cancelled.
    SetShapefileDataSourceDialog({});
    SetTextFileDataSourceDialog({});
    SetCorvellDataSourceDialog({});
    EXPECT_EQ(CreateShapefileRecordSet(true, "a.shp", false, true), nullptr);
    EXPECT_EQ(CreateTextFileRecordSet(true, "", "", "", "", "", false, false), nullptr);
    EXPECT_EQ(CreateCorvellRecordSet(true, "", false, true), nullptr);

    // The chosen values are taken; a read-only box that may not be changed keeps the caller's.
    SetShapefileDataSourceDialog(
        [](GShapefileDataSourceSettings& s)
        {
            s.FileName = "chosen.shp";
            s.ReadOnly = !s.ReadOnly;
            return true;
        });
    auto shapefile = CreateShapefileRecordSet(true, "given.shp", false, true);
    EXPECT_EQ(std::tuple(shapefile->FileName(), shapefile->GetReadOnly(), shapefile->Active()),
              std::tuple("chosen.shp", true, false));
    EXPECT_FALSE(CreateShapefileRecordSet(true, "given.shp", false, false)->GetReadOnly());
    SetTextFileDataSourceDialog(
        [](GTextFileDataSourceSettings& s)
        {
            s.XFieldName = "E";
            return true;
        });
    auto text = CreateTextFileRecordSet(true, "t.txt", "", "", "", "", false, true);
    EXPECT_EQ(std::tuple(text->TextFileName, text->XFieldName), std::tuple("t.txt", "E"));
    SetCorvellDataSourceDialog([](GCorvellDataSourceSettings&) { return false; });
    EXPECT_EQ(CreateCorvellRecordSet(true, "c.crd", false, true), nullptr);
    SetShapefileDataSourceDialog({});
    SetTextFileDataSourceDialog({});
    SetCorvellDataSourceDialog({});
}
