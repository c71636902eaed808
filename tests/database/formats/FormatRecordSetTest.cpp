// The record sets over shapefiles, text files and coordinate list files: opening, the usual
// transform-and-flush walk, appends, refusals, and the factories with their dialog hooks. The
// shapefile walk is checked against GDAL in ShapeTypesTest.cpp.
#include "database/CorvellDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorvalis;
using namespace quorvalis::testing;
using ::testing::HasSubstr;

// ---- shapefiles -------------------------------------------------------------------------------

TEST(ShapefileRecordSet, ReadOnlyFlushesNothingAppendsWriteBothFilesAndFailuresAreReported)
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
    recordSet.Close();

    // Missing ".shx": the attribute query opens, then the shapefile refuses.
    std::filesystem::rename(folder / "job-points.shx", folder / "saved.shx");
    EXPECT_EQ(MessageOf([&] { recordSet.Open(); }), "The specified shapefile does not exist");
    std::filesystem::rename(folder / "saved.shx", folder / "job-points.shx");
    // Missing ".dbf": a plain failure.
    std::filesystem::rename(folder / "job-points.dbf", folder / "saved.dbf");
    EXPECT_FALSE(recordSet.Open());
    std::filesystem::rename(folder / "saved.dbf", folder / "job-points.dbf");

    // Refusals of an append come before the attribute row is written.
    auto writer = CreateShapefileRecordSet(false, shp, false, true);
    ASSERT_TRUE(writer->Open());
    const auto dbfBefore = ReadBytes(folder / "job-points.dbf");
    writer->Append();
    EXPECT_EQ(MessageOf([&] { writer->Post(); }), "You cannot post a nil shape to a shapefile");
    writer->SetShape(*MakeLine({{{0, 0}, {1, 1}}}));
    EXPECT_EQ(MessageOf([&] { writer->Post(); }), "The shape is not of the required type");
    EXPECT_EQ(ReadBytes(folder / "job-points.dbf"), dbfBefore);
    EXPECT_EQ(writer->State(), rsAppend);
    writer->SetShape(GPoint(2850000.5, 80000.25));
    writer->Fields().FieldByName("LABEL", true).SetAsString("PEG 2031");
    writer->Post();
    // A shape handed over is kept itself, and lent out as it is; a record set that does not
    // lend says so.
    auto moved = std::make_unique<GPoint>(2850000.5, 80000.25);
    const GShape* handed = moved.get();
    writer->Edit();
    writer->SetShape(std::move(moved));
    writer->Post();
    ASSERT_TRUE(writer->LendsShapes());
    EXPECT_EQ(writer->LentShapeAt(writer->RecordIndex()), handed);
    writer->Edit();
    EXPECT_EQ(MessageOf([&] { writer->SetShape(std::unique_ptr<GShape>()); }),
              "There is no shape to set");
    writer->Post();
    EXPECT_EQ(MessageOf([&] { GCorvellRecordSet().LentShapeAt(0); }),
              "The recordset does not lend its shapes");
    writer->Flush();
    writer->Close();
    ASSERT_TRUE(recordSet.Open());
    ASSERT_EQ(recordSet.RecordCount(), 31);
    EXPECT_EQ(AsPoint(recordSet.GetShapeAt(30)).X, 2850000.5);
    EXPECT_EQ(ReadBytes(folder / "job-points.shx").size(), 100u + 8 * 31);
    recordSet.Close();

    // Attributes and shapes out of step.
    GShapefile shapes;
    shapes.SetLoadShapesOnOpen(true);
    shapes.Open(shp);
    shapes.DeleteShape(0);
    shapes.Flush();
    EXPECT_THAT(MessageOf([&] { recordSet.Open(); }),
                HasSubstr("the attribute table has 31 records and the shape index 30"));
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
    EXPECT_EQ(recordSet->Shapefile().ShapeType(), scLine);
    EXPECT_EQ(recordSet->Fields().FindField("SHAPE", false), nullptr);
}

// ---- text files -------------------------------------------------------------------------------

TEST(TextFileRecordSet, ARefusedFlushLeavesTheFileAndMissingFilesAreHandled)
{
    ScratchFolder folder;
    const std::string def = folder / "t.def";
    const std::string txt = folder / "t.txt";
    WriteBytes(def, DefinitionBytes(1, ';', false, {{"NAME"}, {"V", 2, 0, 0, "0.000"}, {"B", 6}}));
    WriteText(txt, "a;3.14159;x\n  \t \nb;;y\n");

    auto recordSet = CreateTextFileRecordSet(false, txt, def, "V", "", "", false, false);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->RecordCount(), 2); // the blank line is no record
    EXPECT_EQ(recordSet->Fields().FieldByName("V", true).GetValue().AsDouble(), 3.142);
    recordSet->Edit();
    const auto line = MakeLine({{{0, 0}, {1, 1}}});
    EXPECT_EQ(MessageOf([&] { recordSet->SetShape(*line); }),
              "You can only store points in this recordset");
    recordSet->SetShape(GPoint(7.5, 0));
    recordSet->Post();
    // An untouched field of a type that cannot be written is no obstacle; a record that needs
    // it written is refused.
    recordSet->Append();
    recordSet->SetShape(GPoint(1, 0));
    recordSet->Post();
    const std::string before = ReadText(txt);
    EXPECT_EQ(MessageOf([&] { recordSet->Flush(); }), "Incompatible field type");
    EXPECT_EQ(ReadText(txt), before);

    EXPECT_FALSE(CreateTextFileRecordSet(false, folder / "none.txt", def, "V", "", "", false, false)
                     ->Open());
    auto noDefinition =
        CreateTextFileRecordSet(false, txt, folder / "none.def", "", "", "", false, false);
    ASSERT_TRUE(noDefinition->Open());
    EXPECT_EQ(noDefinition->Fields().Count(), 0);
    noDefinition->Flush(); // must not blank the file
    EXPECT_EQ(ReadText(txt), before);
}

// ---- coordinate list files --------------------------------------------------------------------

TEST(CorvellRecordSet, OffsetsUnchangedAndReadOnlyFlushesKeepEveryByteAndMovesStoreLessOffsets)
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
    // Every position is its stored value plus the offset: RunFilesTest.cpp moves them all.
    const auto first = recordSet->GetShape();
    EXPECT_NEAR(AsPoint(first).X, file.Coordinates.GetItem(0)->X + file.XOffset, 1e-9);
    EXPECT_EQ(AsPoint(first).Z, file.ZOffset);
    recordSet->Flush();
    EXPECT_EQ(ReadBytes(path), before);

    // A read-only record set writes nothing at all.
    const auto modified = std::filesystem::last_write_time(path);
    auto readOnly = CreateCorvellRecordSet(false, path, true, true);
    ASSERT_TRUE(readOnly->Open());
    readOnly->Flush();
    EXPECT_EQ(std::filesystem::last_write_time(path), modified);

    recordSet->First();
    recordSet->Edit();
    const auto line = MakeLine({{{0, 0}, {1, 1}}});
    EXPECT_EQ(MessageOf([&] { recordSet->SetShape(*line); }),
              "You can only store points in this recordset");
    recordSet->SetShape(GPoint(2840001.75, 80025.5, 99.0)); // Z is not stored
    recordSet->Post();
    recordSet->Flush();
    GCorvellCoordinateFile read;
    read.FileName = path;
    ASSERT_TRUE(read.LoadFromFile());
    EXPECT_EQ(std::tuple(read.Coordinates.GetItem(0)->X, read.Coordinates.GetItem(0)->Y, read.Lo,
                         read.ZOffset),
              std::tuple(1.75, 25.5, 29, file.ZOffset));
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
