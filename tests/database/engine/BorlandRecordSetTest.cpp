// Database record sets over a GeoPackage alias: connections, opening, the "SHAPE" blob, X/Y/Z
// record sets, cached updates and their rollback, names that look like SQL, and the factories.
#include "TestSupport.h"

#include "database/engine/Session.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cstring>

namespace quorvalis::test
{
namespace
{

class BorlandRecordSetTest : public PrivateHome
{
protected:
    void SetUp() override
    {
        PrivateHome::SetUp();
        engine::Session::Default().SetAlias({"JOBS", "STANDARD", "jobs.gpkg", ""});
    }

    static bool Create(const std::string& table, const std::vector<GFieldDefinition>& fields,
                       bool spatial = false)
    {
        return CreateTable("JOBS", table, fields, spatial);
    }

    static std::unique_ptr<GBorlandRecordSet> Over(const std::string& table, bool readOnly = false,
                                                   bool cached = false)
    {
        return OverTable("JOBS", table, readOnly, cached);
    }

    // Rows named A, B, C with ID 1..3.
    static void Fill(const std::string& table)
    {
        ASSERT_TRUE(Create(table, {{"ID", fdtInteger, 0, false}, {"NAME", fdtString, 10, false}}));
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        for (int i = 0; i < 3; ++i)
        {
            recordSet->Append();
            recordSet->Fields().FieldByName("ID", true).SetValue(GVariant(i + 1));
            recordSet->Fields().FieldByName("NAME", true).SetAsString(std::string(1, 'A' + i));
            recordSet->Post();
        }
        recordSet->Flush();
    }

    static std::vector<std::string> Names(const std::string& table)
    {
        return NamesIn("JOBS", table);
    }

    void Sql(const std::string& statement) const
    {
        const std::string path = (Home() / "jobs.gpkg").string();
        GDALDataset* dataset = GDALDataset::FromHandle(
            GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
        ASSERT_NE(dataset, nullptr);
        dataset->ExecuteSQL(statement.c_str(), nullptr, nullptr);
        GDALClose(dataset);
    }
};

TEST_F(BorlandRecordSetTest, RecordSetsAliveAtOnceGetTheirOwnConnectionNames)
{
    auto first = std::make_unique<GBorlandRecordSet>();
    GBorlandRecordSet second;
    EXPECT_EQ(first->Database().Name(), "__DB1__");
    EXPECT_EQ(second.Database().Name(), "__DB2__");
    EXPECT_FALSE(first->Database().LoginPrompt());
    EXPECT_FALSE(first->Database().Exclusive());
    first.reset();
    GBorlandXYZRecordSet third;
    EXPECT_EQ(third.Database().Name(), "__DB1__");
}

TEST_F(BorlandRecordSetTest, OpeningGivesTheLoginLinesAlsoWhenEmpty)
{
    Fill("T");
    auto recordSet = Over("T");
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Database().Params(),
              (std::vector<std::string>{"USER NAME=", "PASSWORD="}));
    EXPECT_EQ(recordSet->Database().AliasName(), "JOBS");
    EXPECT_EQ(recordSet->Query().ConnectionName(), "__DB1__");
    recordSet->Close();
    recordSet->UserName = "surveyor";
    recordSet->Password = "s3cret";
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Database().Params(),
              (std::vector<std::string>{"USER NAME=surveyor", "PASSWORD=s3cret"}));
    ExpectMessage([&] { recordSet->SetSQL({"select a.* from T a"}); },
                  "Cannot perform this operation on an open recordset");
}

TEST_F(BorlandRecordSetTest, OpenFailuresGiveFalseAndTheSqlOfOtherStatementsCannotWrite)
{
    Fill("T");
    EXPECT_FALSE(Over("MISSING")->Open());
    auto unknown = CreateBorlandRecordSet(false, "STANDARD", "NOWHERE", "", "", "", true, true,
                                          false, {"select a.* from T a"});
    EXPECT_FALSE(unknown->Open());
    EXPECT_FALSE(unknown->Active());

    auto deleting = CreateBorlandRecordSet(false, "STANDARD", "JOBS", "", "", "", false, true,
                                           false, {"delete from T"});
    EXPECT_FALSE(deleting->Open());
    EXPECT_EQ(Names("T"), (std::vector<std::string>{"A", "B", "C"}));

    auto counting = CreateBorlandRecordSet(
        false, "STANDARD", "JOBS", "", "", "", false, true, false,
        {"select NAME, ID * 10 AS TEN", "from T", "where ID > 1 order by ID desc"});
    ASSERT_TRUE(counting->Open());
    EXPECT_EQ(counting->RecordCount(), 2);
    EXPECT_EQ(counting->Fields().FieldByName("NAME", true).AsString(), "C");
    EXPECT_EQ(counting->Fields().FieldByName("TEN", true).GetValue(), GVariant(30));
    // The result is read-only: the engine refuses, and the record set stays browsing.
    EXPECT_THROW(counting->Edit(), engine::EngineError);
    EXPECT_EQ(counting->State(), rsBrowse);
}

TEST_F(BorlandRecordSetTest, AShapeBlobHoldsTheStreamFormAndReadsBack)
{
    ASSERT_TRUE(Create("PARCELS", {{"NAME", fdtString, 20, false}}, true));
    auto recordSet = Over("PARCELS");
    ASSERT_TRUE(recordSet->Open());
    EXPECT_TRUE(recordSet->HasSpatialComponent());
    GField& shapeField = recordSet->Fields().FieldByName("shape", false);
    EXPECT_TRUE(shapeField.Hidden());
    EXPECT_EQ(shapeField.FieldType(), fdtBlob);
    std::vector<std::string> names;
    recordSet->Fields().GetFieldNames(names, false);
    EXPECT_EQ(names, (std::vector<std::string>{"NAME"}));

    recordSet->Append();
    recordSet->SetShape(GPoint(-2506000.25, 30000.5, 123.0));
    recordSet->Post();
    GLine line;
    auto part = std::make_unique<GPointList>();
    part->Add(std::make_unique<GPoint>(1.0, 2.0));
    part->Add(std::make_unique<GPoint>(3.5, -4.25));
    line.Parts.Add(std::move(part));
    recordSet->Append();
    recordSet->SetShape(line);
    recordSet->Post();
    recordSet->Append(); // no shape: an empty blob
    recordSet->Fields().FieldByName("NAME", true).SetAsString("empty");
    recordSet->Post();
    recordSet->Flush();
    recordSet.reset();

    auto reader = Over("PARCELS", true);
    ASSERT_TRUE(reader->Open());
    GStream blob;
    reader->SaveFieldToStream(reader->Fields().FieldByName("SHAPE", true).Index(), blob);
    EXPECT_EQ(blob.Size(), 25u);
    EXPECT_EQ(blob.Position(), 0u);
    GStream form;
    GPoint(-2506000.25, 30000.5).SaveToStream(form);
    ASSERT_EQ(form.Size(), 17u);
    EXPECT_EQ(std::memcmp(blob.Bytes().data(), form.Bytes().data(), 17), 0);
    EXPECT_EQ(reader->Fields().FieldByName("SHAPE", true).AsString(), "(Blob)");

    std::unique_ptr<GShape> shape = reader->GetShape();
    ASSERT_NE(dynamic_cast<GPoint*>(shape.get()), nullptr);
    EXPECT_TRUE(shape->IsEqual(GPoint(-2506000.25, 30000.5, 0.0)));
    reader->Next();
    shape = reader->GetShape();
    EXPECT_EQ(shape->ClassCode(), 2);
    EXPECT_TRUE(shape->IsEqual(line));
    reader->Next();
    ExpectMessage([&] { reader->GetShape(); }, "Cannot identify class : 0.");
}

TEST_F(BorlandRecordSetTest, ATableWithoutABlobShapeHasNoSpatialComponent)
{
    ASSERT_TRUE(Create("NOSHAPE", {{"NAME", fdtString, 20, false}}));
    ASSERT_TRUE(Create("TEXTSHAPE", {{"Shape", fdtString, 20, false}}));
    for (const char* table : {"NOSHAPE", "TEXTSHAPE"})
    {
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open()) << table;
        EXPECT_FALSE(recordSet->HasSpatialComponent()) << table;
        ExpectMessage([&] { recordSet->GetShape(); },
                      "The recordset does not contain a spatial component");
    }
    auto text = Over("TEXTSHAPE");
    ASSERT_TRUE(text->Open());
    EXPECT_FALSE(text->Fields().FieldByName("SHAPE", false).Hidden());
}

TEST_F(BorlandRecordSetTest, XYZRecordSetsReadAndWriteTheColumnsThatExist)
{
    ASSERT_TRUE(Create("COORDS", {{"NAME", fdtString, 10, false},
                                  {"EAST", fdtFloat, 0, false},
                                  {"NORTH", fdtFloat, 0, false}}));
    auto recordSet =
        CreateBorlandXYZRecordSet(false, "STANDARD", "JOBS", "COORDS", "east", "North", "HEIGHT",
                                  "", "", false, true, false, {"select a.* from COORDS a"});
    ASSERT_TRUE(recordSet->Open());
    EXPECT_TRUE(recordSet->HasSpatialComponent());
    EXPECT_TRUE(recordSet->Fields().FieldByName("EAST", true).Hidden());
    EXPECT_TRUE(recordSet->Fields().FieldByName("NORTH", true).Hidden());
    EXPECT_FALSE(recordSet->Fields().FieldByName("NAME", true).Hidden());

    recordSet->Append();
    recordSet->SetShape(GPoint(12.5, -7.25, 99.0));
    recordSet->Post();
    recordSet->Append(); // nothing set: both columns null
    recordSet->Post();
    GLine line;
    recordSet->Edit();
    ExpectMessage([&] { recordSet->SetShape(line); },
                  "You can only store points in this recordset");
    recordSet->Post();
    recordSet->Flush();

    std::unique_ptr<GShape> shape = recordSet->GetShape();
    EXPECT_TRUE(shape->IsEqual(GPoint(12.5, -7.25, 0.0)));
    recordSet->Next();
    EXPECT_TRUE(recordSet->GetShape()->IsEqual(GPoint(0.0, 0.0, 0.0)));
    EXPECT_TRUE(recordSet->GetFieldValue(1).IsNull());

    // Creating from a definition adds the coordinate columns it lacks, and no "SHAPE".
    GRecordSetDefinition definition;
    definition.DatabaseName = "JOBS";
    definition.TableName = "NEWCOORDS";
    definition.HasSpatialComponent = true;
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("north", fdtFloat, 0, false));
    ASSERT_TRUE(recordSet->CreateTable(definition));
    auto created = Over("NEWCOORDS");
    ASSERT_TRUE(created->Open());
    std::vector<std::string> names;
    created->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"north", "east", "HEIGHT"}));
    EXPECT_EQ(created->Fields().FieldByName("HEIGHT", true).FieldType(), fdtFloat);
}

TEST_F(BorlandRecordSetTest, CachedUpdatesAreWrittenOnlyByFlushInOneTransaction)
{
    Fill("T");
    auto recordSet = Over("T", false, true);
    EXPECT_TRUE(recordSet->GetCachedUpdates());
    ASSERT_TRUE(recordSet->Open());
    recordSet->Edit();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("A2");
    recordSet->Post();
    recordSet->Append();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("D");
    recordSet->Post();
    EXPECT_EQ(recordSet->RecordCount(), 4);
    EXPECT_EQ(recordSet->Fields().FieldByName("NAME", true).AsString(), "D");
    EXPECT_EQ(Names("T"), (std::vector<std::string>{"A", "B", "C"}));
    recordSet->Flush();
    EXPECT_EQ(recordSet->RecordIndex(), 0);
    EXPECT_EQ(recordSet->Fields().FieldByName("NAME", true).AsString(), "A2");
    EXPECT_EQ(Names("T"), (std::vector<std::string>{"A2", "B", "C", "D"}));
    recordSet->Flush(); // nothing left: nothing written twice
    EXPECT_EQ(Names("T"), (std::vector<std::string>{"A2", "B", "C", "D"}));
}

TEST_F(BorlandRecordSetTest, AFailingApplyRollsBackEverythingAndKeepsTheEdits)
{
    Fill("T");
    Sql("CREATE UNIQUE INDEX t_name ON T(NAME)");
    auto recordSet = Over("T", false, true);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Edit();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("Z");
    recordSet->Post();
    recordSet->Append();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("B"); // breaks the index
    recordSet->Post();
    ExpectMessage([&] { recordSet->Flush(); }, "Unable to apply updates");
    EXPECT_EQ(Names("T"), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_FALSE(recordSet->Database().InTransaction());

    // The edits are still there; mending the bad one lets the next flush through.
    EXPECT_EQ(recordSet->State(), rsBrowse);
    recordSet->First();
    EXPECT_EQ(recordSet->Fields().FieldByName("NAME", true).AsString(), "Z");
    for (int i = 0; i < 3; ++i)
        recordSet->Next();
    recordSet->Edit();
    recordSet->Fields().FieldByName("NAME", true).SetAsString("E");
    recordSet->Post();
    recordSet->Flush();
    EXPECT_EQ(Names("T"), (std::vector<std::string>{"Z", "B", "C", "E"}));
}

TEST_F(BorlandRecordSetTest, APostTheStorageRefusesIsNotCounted)
{
    ASSERT_TRUE(Create("REQ", {{"NAME", fdtString, 10, true}, {"N", fdtInteger, 0, false}}));
    auto recordSet = Over("REQ");
    ASSERT_TRUE(recordSet->Open());
    EXPECT_TRUE(recordSet->Fields().FieldByName("NAME", true).Required());
    recordSet->Append();
    EXPECT_THROW(recordSet->Post(), engine::EngineError);
    EXPECT_EQ(recordSet->State(), rsAppend);
    EXPECT_EQ(recordSet->RecordCount(), 0);
    recordSet->Fields().FieldByName("NAME", true).SetAsString("ok");
    recordSet->Post();
    EXPECT_EQ(recordSet->RecordCount(), 1);
    EXPECT_EQ(recordSet->DataSet().RecordCount(), 1);
}

TEST_F(BorlandRecordSetTest, TableNamesThatLookLikeSqlAreOnlyNames)
{
    Fill("control");
    const std::string names[] = {"x\" a; drop table control; --", "y] a; drop table control; --",
                                 "z' a; drop table control; --", "Robert'); DROP TABLE control;--"};
    for (const std::string& name : names)
    {
        ASSERT_TRUE(Create(name, {{"NAME", fdtString, 10, false}})) << name;
        auto recordSet = Over(name);
        ASSERT_TRUE(recordSet->Open()) << name;
        recordSet->Append();
        recordSet->Fields().GetItem(0)->SetAsString("row");
        recordSet->Post();
        recordSet->Flush();
    }
    const std::vector<std::string> tables = engine::Session::Default().TableNames("JOBS");
    for (const std::string& name : names)
        EXPECT_NE(std::find(tables.begin(), tables.end(), name + ".db"), tables.end()) << name;
    EXPECT_EQ(Names("control"), (std::vector<std::string>{"A", "B", "C"}));

    // The same names in brackets and single quotes.
    auto bracketed =
        CreateBorlandRecordSet(false, "MSACCESS", "JOBS", "", "", "", true, true, false,
                               {"select a.* from [y]] a; drop table control; --] a"});
    ASSERT_TRUE(bracketed->Open());
    EXPECT_EQ(bracketed->RecordCount(), 1);
    auto quoted = CreateBorlandRecordSet(false, "ORACLE", "JOBS", "", "", "", true, true, false,
                                         {"select a.* from 'z'' a; drop table control; --' a"});
    ASSERT_TRUE(quoted->Open());
    EXPECT_EQ(quoted->RecordCount(), 1);
    EXPECT_EQ(Names("control"), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(BorlandRecordSetTest, DefinitionsCreateAnEmptyCopy)
{
    ASSERT_TRUE(Create("SOURCE",
                       {{"NAME", fdtString, 12, true},
                        {"WHEN", fdtDateTime, 0, false},
                        {"OK", fdtBoolean, 0, false},
                        {"NOTE", fdtMemo, 0, false}},
                       true));
    auto source = Over("SOURCE");
    ASSERT_TRUE(source->Open());
    std::unique_ptr<GRecordSetDefinition> definition = source->GetDefinition();
    EXPECT_EQ(definition->DatabaseName, "JOBS");
    EXPECT_EQ(definition->TableName, "");
    EXPECT_TRUE(definition->HasSpatialComponent);
    EXPECT_EQ(definition->FieldDefinitions.FieldByName("NAME", true).Size, 13);
    definition->TableName = "COPY";
    ASSERT_TRUE(source->CreateTable(*definition));
    definition->FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("BAD", fdtUnknown, 0, false));
    definition->TableName = "BROKEN";
    EXPECT_FALSE(source->CreateTable(*definition));

    auto copy = Over("COPY");
    ASSERT_TRUE(copy->Open());
    EXPECT_EQ(copy->RecordCount(), 0);
    EXPECT_TRUE(copy->HasSpatialComponent());
    const char* names[] = {"NAME", "WHEN", "OK", "NOTE", "SHAPE"};
    const GFieldType types[] = {fdtString, fdtDateTime, fdtBoolean, fdtMemo, fdtBlob};
    ASSERT_EQ(copy->Fields().Count(), 5);
    for (int i = 0; i < 5; ++i)
    {
        EXPECT_EQ(copy->Fields().GetItem(i)->Name(), names[i]);
        EXPECT_EQ(copy->Fields().GetItem(i)->FieldType(), types[i]) << names[i];
    }
    EXPECT_TRUE(copy->Fields().FieldByName("NAME", true).Required());
}

TEST_F(BorlandRecordSetTest, FactoriesTakeTheDialogsChoiceOrNothingWhenCancelled)
{
    SetBorlandDataSourceDialog(nullptr);
    EXPECT_EQ(CreateBorlandRecordSet(true, "STANDARD", "JOBS", "T", "", "", false, true, false, {}),
              nullptr);
    GBorlandDataSourceSettings seen;
    SetBorlandDataSourceDialog(
        [&](GBorlandDataSourceSettings& settings)
        {
            seen = settings;
            settings.DatabaseName = "QUORVALIS";
            settings.SQL = {"select a.* from control.db a"};
            settings.ReadOnly = true;
            settings.CachedUpdates = true;
            settings.UserName = "me";
            settings.XFieldName = "Clarke Longitude";
            return true;
        });
    auto recordSet = CreateBorlandXYZRecordSet(true, "STANDARD", "JOBS", "T", "X", "Y", "Z", "", "",
                                               false, false, false, {"select 1"});
    SetBorlandDataSourceDialog(nullptr);
    ASSERT_NE(recordSet, nullptr);
    EXPECT_TRUE(seen.XYZ);
    EXPECT_EQ(seen.TableName, "T");
    EXPECT_FALSE(seen.ReadOnlyEditable);
    EXPECT_EQ(seen.SQL, (std::vector<std::string>{"select 1"}));
    EXPECT_EQ(recordSet->DatabaseName, "QUORVALIS");
    EXPECT_EQ(recordSet->GetSQL(), (std::vector<std::string>{"select a.* from control.db a"}));
    EXPECT_TRUE(recordSet->GetReadOnly());
    EXPECT_TRUE(recordSet->GetCachedUpdates());
    EXPECT_EQ(recordSet->UserName, "me");
    EXPECT_EQ(recordSet->XFieldName, "Clarke Longitude");
    EXPECT_EQ(recordSet->YFieldName, "Y");
    EXPECT_FALSE(recordSet->Active());

    auto plain = CreateBorlandRecordSet(false, "STANDARD", "JOBS", "T", "u", "p", false, true, true,
                                        {"select a.* from T a"});
    EXPECT_FALSE(plain->GetReadOnly());
    EXPECT_TRUE(plain->GetCachedUpdates());
    EXPECT_EQ(plain->Password, "p");
}

} // namespace
} // namespace quorvalis::test
