// Round trips through every store: a dBase file named by its path, a GeoPackage alias, a
// PostgreSQL alias, and the in-memory table.
#include "TestSupport.h"

#include "database/engine/Session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace quorvalis::test
{
namespace
{

using Names = std::vector<std::string>;

class RoundTrip : public PerStore
{
protected:
    RoundTrip() : PerStore("ROUND", "POSTGRES") {}

    std::unique_ptr<GBorlandRecordSet> Over(const std::string& table, bool readOnly = false,
                                            bool cached = false)
    {
        return OverTable(database_, table, readOnly, cached);
    }

    std::unique_ptr<GBorlandXYZRecordSet> OverXYZ(const std::string& table, bool readOnly)
    {
        return CreateBorlandXYZRecordSet(false, "STANDARD", database_, table, "x", "Y", "Z", "", "",
                                         readOnly, true, false, {Select(table)});
    }

    Names NamesOf(const std::string& table) { return NamesIn(database_, table); }
};

TEST_P(RoundTrip, FieldTypesNullsAndDefaultsComeBackAsStored)
{
    const std::string table = Table("types");
    ASSERT_TRUE(CreateTable(database_, table,
                            {{"COUNT", fdtInteger, 0, false},
                             {"REAL", fdtFloat, 0, false},
                             {"NAME", fdtString, 12, false},
                             {"FLAG", fdtBoolean, 0, false},
                             {"WHEN", fdtDateTime, 0, false}}));
    const engine::DateTime when{2024, 2, 29, 13, 45, 30.5};
    const GVariant null;
    // Values; the type defaults, which are not null; nothing at all.
    const std::vector<std::vector<GVariant>> written = {
        {GVariant(-2147483647), GVariant(-2506000.123456789), GVariant("K\xC3\xB6nig 12345678"),
         GVariant(true), GVariant(when)},
        {GVariant(0), GVariant(0.0), GVariant(""), GVariant(false), null},
        {null, null, null, null, null},
    };
    {
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        for (const auto& row : written)
        {
            recordSet->Append();
            for (int i = 0; i < 5; ++i)
                if (!row[i].IsNull())
                    recordSet->Fields().GetItem(i)->SetValue(row[i]);
            recordSet->Post();
        }
        recordSet->Flush();
    }
    // A dBase file written through this engine keeps booleans as the numbers 1 and 0, keeps dates
    // only, and cannot tell an empty text from none. Texts are cut to 12 bytes, never inside a
    // character.
    const bool dbase = Dbase();
    const std::vector<std::vector<GVariant>> expected = {
        {GVariant(-2147483647), GVariant(-2506000.123456789), GVariant("K\xC3\xB6nig 12345"),
         dbase ? GVariant(1) : GVariant(true),
         dbase ? GVariant(engine::DateTime{2024, 2, 29, 0, 0, 0.0}) : GVariant(when)},
        {GVariant(0), GVariant(0.0), dbase ? null : GVariant(""),
         dbase ? GVariant(0) : GVariant(false), null},
        {null, null, null, null, null},
    };
    const std::vector<GVariant> defaults = {GVariant(0), GVariant(0.0), GVariant(""),
                                            dbase ? GVariant(0) : GVariant(false), null};

    auto recordSet = Over(table, true);
    ASSERT_TRUE(recordSet->Open());
    ASSERT_EQ(recordSet->RecordCount(), 3);
    GFieldList& fields = recordSet->Fields();
    EXPECT_EQ(fields.FieldByName("NAME", true).Size(), 13);
    for (const auto& row : expected)
    {
        for (int i = 0; i < 5; ++i)
        {
            const GVariant value = recordSet->GetFieldValue(i);
            // PostgreSQL is written 15 significant digits deep (4 nm in a Lo coordinate).
            if (i == 1 && server_ && !row[i].IsNull())
                EXPECT_NEAR(value.AsDouble(), row[i].AsDouble(), 2506000.0 * 1e-15);
            else
                EXPECT_EQ(value, row[i]) << recordSet->RecordIndex() << ", " << i;
        }
        recordSet->Next(); // after the last row: stays there
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(fields.GetItem(i)->GetValue(), defaults[i]) << i;
}

TEST_P(RoundTrip, AShapeIsStoredInTheStreamFormInAHiddenBlob)
{
    const std::string table = Table("shapes");
    if (Dbase())
    {
        // A dBase file has no blob column to hold it, nor memos or long column names.
        EXPECT_FALSE(CreateTable(database_, table, {{"NAME", fdtString, 10, false}}, true));
        for (const GFieldDefinition& field :
             {GFieldDefinition("NOTES", fdtMemo, 0, false),
              GFieldDefinition("Clarke Latitude", fdtFloat, 0, false)})
            EXPECT_FALSE(CreateTable(database_, table, {field})) << field.Name;
        EXPECT_TRUE(HomeFiles().empty());
        return;
    }
    ASSERT_TRUE(CreateTable(database_, table, {{"NAME", fdtString, 10, false}}, true));
    const std::unique_ptr<GLine> line = testing::MakeLine({{{1.0, 2.0}, {3.5, -4.25}}});
    {
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        recordSet->Append();
        recordSet->SetShape(GPoint(-2506000.25, 30000.5, 1500.0));
        recordSet->Post();
        recordSet->Append();
        recordSet->SetShape(*line);
        recordSet->Post();
        recordSet->Append(); // no shape: an empty blob
        recordSet->Post();
        recordSet->Flush();
    }
    auto recordSet = Over(table, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_TRUE(recordSet->HasSpatialComponent());
    GField& shapeField = recordSet->Fields().FieldByName("shape", false);
    EXPECT_TRUE(shapeField.Hidden());
    EXPECT_EQ(shapeField.FieldType(), fdtBlob);

    GStream blob;
    recordSet->SaveFieldToStream(shapeField.Index(), blob);
    ASSERT_EQ(blob.Size(), 25u);
    GStream form;
    GPoint(-2506000.25, 30000.5).SaveToStream(form);
    ASSERT_EQ(form.Size(), 17u);
    EXPECT_EQ(std::memcmp(blob.Bytes().data(), form.Bytes().data(), 17), 0);
    EXPECT_TRUE(recordSet->GetShape()->IsEqual(GPoint(-2506000.25, 30000.5, 0.0)));
    recordSet->Next();
    EXPECT_TRUE(recordSet->GetShape()->IsEqual(*line));
    recordSet->Next();
    EXPECT_THAT(MessageOf([&] { recordSet->GetShape(); }),
                ::testing::StartsWith("Cannot identify class : 0.\rTable '"));
}

TEST_P(RoundTrip, XYZRecordSetsUseTheCoordinateColumnsThatExist)
{
    const std::string table = Table("points");
    ASSERT_TRUE(CreateTable(
        database_, table,
        {{"NAME", fdtString, 10, false}, {"X", fdtFloat, 0, false}, {"Y", fdtFloat, 0, false}}));
    {
        auto recordSet = OverXYZ(table, false);
        ASSERT_TRUE(recordSet->Open());
        EXPECT_TRUE(recordSet->Fields().FieldByName("X", true).Hidden());
        EXPECT_TRUE(recordSet->Fields().FieldByName("Y", true).Hidden());
        recordSet->Append();
        recordSet->Fields().FieldByName("NAME", true).SetAsString("T1");
        recordSet->SetShape(GPoint(-3760000.125, -50000.5, 42.0)); // no Z column to take 42
        recordSet->Post();
        recordSet->Append(); // nothing set: both columns null
        EXPECT_EQ(MessageOf([&] { recordSet->SetShape(GLine()); }),
                  "You can only store points in this recordset");
        recordSet->Post();
        recordSet->Flush();
        // A point with a coordinate that is no number never reaches the table.
        recordSet->First();
        recordSet->Edit();
        EXPECT_THAT(MessageOf([&] { recordSet->SetShape(GPoint(std::nan(""), 1.0)); }),
                    HasSubstr("the column X cannot take nan"));
        recordSet->Post();
    }
    auto recordSet = OverXYZ(table, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Fields().Count(), 3);
    EXPECT_TRUE(recordSet->GetShape()->IsEqual(GPoint(-3760000.125, -50000.5, 0.0)));
    recordSet->Next();
    EXPECT_TRUE(recordSet->GetFieldValue(1).IsNull());
    // A null coordinate is refused, naming the table, the row and the column: read as 0 it would
    // move the job to the equator.
    const std::string refusal = MessageOf<GDatabaseException>([&] { recordSet->GetShape(); });
    EXPECT_THAT(refusal, HasSubstr("the column X holds no coordinate (null)"));
    EXPECT_THAT(refusal, HasSubstr(Dbase() ? "record 2" : "row "));

    // An X or Y column the table does not have is refused at opening, saying which.
    auto missing = CreateBorlandXYZRecordSet(false, "STANDARD", database_, table, "XX", "Y", "Z",
                                             "", "", true, true, false, {Select(table)});
    EXPECT_FALSE(missing->Open());
    EXPECT_THAT(missing->OpenFailure(), HasSubstr("The X field XX is not a column of table"));

    // Creating from a definition adds the coordinate columns it lacks, and no "SHAPE".
    GRecordSetDefinition definition;
    definition.DatabaseName = database_;
    definition.TableName = Table("created");
    definition.HasSpatialComponent = true;
    definition.FieldDefinitions.Add(std::make_unique<GFieldDefinition>("y", fdtFloat, 0, false));
    ASSERT_TRUE(recordSet->CreateTable(definition));
    auto created = Over(definition.TableName);
    ASSERT_TRUE(created->Open());
    Names names;
    created->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names, (Names{"y", "x", "Z"}));
}

TEST_P(RoundTrip, CachedUpdatesAreAppliedAtFlushInOneTransaction)
{
    const std::string table = Table("cached");
    FillNames(database_, table, {"A", "B", "C"});
    if (!Dbase()) // a dBase file named by its path has no transactions to test
        RunSql(target_, "CREATE UNIQUE INDEX " + Quoted("ix_" + table) + " ON " + Quoted(table) +
                            " (\"NAME\")");
    auto recordSet = Over(table, false, true);
    ASSERT_TRUE(recordSet->Open());
    PostName(*recordSet, "Z", false);
    PostName(*recordSet, "C", true); // a second "C" breaks the index
    EXPECT_EQ(recordSet->RecordCount(), 4);
    EXPECT_EQ(NamesOf(table), (Names{"A", "B", "C"}));
    if (!Dbase())
    {
        // A failing apply is rolled back: nothing written, the edits kept.
        EXPECT_THAT(MessageOf<GDatabaseException>([&] { recordSet->Flush(); }),
                    ::testing::StartsWith("Unable to apply updates\r"));
        EXPECT_EQ(NamesOf(table), (Names{"A", "B", "C"}));
        EXPECT_FALSE(recordSet->Database().InTransaction());
        EXPECT_EQ(recordSet->State(), rsBrowse);
        recordSet->First();
        EXPECT_EQ(recordSet->Fields().GetItem(0)->AsString(), "Z");
        for (int i = 0; i < 3; ++i)
            recordSet->Next();
    }
    PostName(*recordSet, "E", false); // mends the bad one
    recordSet->Flush();
    EXPECT_EQ(recordSet->RecordIndex(), 0);
    EXPECT_EQ(recordSet->Fields().GetItem(0)->AsString(), "Z");
    EXPECT_EQ(NamesOf(table), (Names{"Z", "B", "C", "E"}));
    recordSet->Flush(); // nothing left: nothing written twice
    EXPECT_EQ(NamesOf(table), (Names{"Z", "B", "C", "E"}));
}

TEST_P(RoundTrip, TableNamesThatLookLikeSqlAreOnlyNames)
{
    const std::string control = Table("control");
    FillNames(database_, control, {"TRIG 1"});
    for (const char* name : {"x\" a; drop table control; --", "y] a; drop table control; --",
                             "z' a; drop table control; --", "Robert'); DROP TABLE control;--"})
    {
        const std::string table = Table(name);
        FillNames(database_, table, {"quoted"});
        EXPECT_EQ(NamesOf(table), Names{"quoted"}) << name;
    }
    EXPECT_EQ(NamesOf(control), Names{"TRIG 1"});
}

INSTANTIATE_TEST_SUITE_P(Stores, RoundTrip,
                         ::testing::Values(Store::Dbase, Store::GeoPackage, Store::PostgreSQL),
                         StoreName);

using DbaseFile = PrivateHome;

TEST_F(DbaseFile, TheFilesOfAShapefileBesideItAreNeverTouched)
{
    const std::string dbf = (Home() / "parcels.dbf").string();
    ASSERT_TRUE(
        CreateTable("", dbf, {{"NAME", fdtString, 10, false}, {"AREA", fdtFloat, 0, false}}));
    // Stand-ins for a shapefile's own files, which belong to their own reader and writer.
    const std::string shp(300, '\x5a');
    const std::string shx(124, '\x33');
    testing::WriteText(Home() / "parcels.shp", shp);
    testing::WriteText(Home() / "parcels.shx", shx);
    {
        auto recordSet = OverTable("", dbf, false, false);
        ASSERT_TRUE(recordSet->Open());
        for (const char* name : {"one", "two", "three"})
            PostName(*recordSet, name, true);
        recordSet->First();
        recordSet->Next();
        recordSet->Edit();
        recordSet->Fields().GetItem(1)->SetValue(GVariant(7.25));
        recordSet->Post();
        recordSet->Flush();
        // The first row goes; the file is packed when it is closed, the shapefile's files stay.
        engine::DataSet* data = recordSet->GetDataSet();
        data->First();
        data->Delete();
        recordSet->Flush();
    }
    EXPECT_EQ(testing::ReadText(Home() / "parcels.shp"), shp);
    EXPECT_EQ(testing::ReadText(Home() / "parcels.shx"), shx);

    auto reader = OverTable("", dbf, true, false);
    ASSERT_TRUE(reader->Open());
    ASSERT_EQ(reader->RecordCount(), 2);
    EXPECT_EQ(reader->Fields().GetItem(0)->AsString(), "two");
    EXPECT_EQ(reader->Fields().GetItem(1)->GetValue(), GVariant(7.25));
}

TEST_F(DbaseFile, ADirectoryAliasListsItsFilesAndOpensThemByName)
{
    std::filesystem::create_directories(Home() / "tables");
    engine::Session::Default().SetAlias({"DIR", "STANDARD", "tables", ""});
    for (const char* table : {"Beacons.dbf", "ALPHA.DBF"})
        ASSERT_TRUE(CreateTable("DIR", table, {{"NAME", fdtString, 8, false}})) << table;
    EXPECT_EQ(engine::Session::Default().TableNames("DIR"), (Names{"ALPHA.DBF", "Beacons.dbf"}));
    auto recordSet = CreateBorlandRecordSet(false, "STANDARD", "DIR", "", "", "", false, true, true,
                                            {"select a.* from beacons a"});
    ASSERT_TRUE(recordSet->Open());
    PostName(*recordSet, "TRIG 1", true);
    recordSet->Flush(); // "transaction" of a directory: written at once
    auto counting = CreateBorlandRecordSet(false, "STANDARD", "DIR", "", "", "", true, true, false,
                                           {"SELECT COUNT(*) AS N FROM Beacons"});
    ASSERT_TRUE(counting->Open());
    EXPECT_EQ(counting->Fields().GetItem(0)->GetValue().AsInteger(), 1);
}

TEST(InMemory, ValuesNullsDefaultsAndAShapeBlobRoundTrip)
{
    class Spatial : public GInMemoryBorlandRecordSet
    {
    protected:
        bool DoOpen() override
        {
            ResetTable();
            AddFieldDefinition("F", fdtFloat, 0, false);
            AddFieldDefinition("SHAPE", fdtBlob, 0, false);
            AddFieldDefinition("A very long column name of forty characters", fdtBoolean, 0, false);
            return FillMemoryTable([](GInMemoryTable&) {});
        }
    } recordSet;
    ASSERT_TRUE(recordSet.Open());
    EXPECT_TRUE(recordSet.HasSpatialComponent());
    GFieldList& fields = recordSet.Fields();
    EXPECT_EQ(fields.GetItem(2)->Name(), "A very long column name of fort");
    recordSet.Append();
    fields.GetItem(0)->SetValue(GVariant(0.1 + 0.2));
    fields.GetItem(2)->SetAsString("True");
    recordSet.SetShape(GPoint(1.0, 2.0, 3.0));
    recordSet.Post();
    recordSet.Append();
    recordSet.Post();
    recordSet.Flush();
    EXPECT_EQ(recordSet.GetFieldValue(0), GVariant(0.1 + 0.2)); // every bit kept
    EXPECT_EQ(recordSet.GetFieldValue(2), GVariant(true));
    EXPECT_TRUE(recordSet.GetShape()->IsEqual(GPoint(1.0, 2.0, 0.0)));

    // A null stays null underneath; the field gives its type's default, or null where the type
    // has none.
    recordSet.Next();
    const GVariant defaults[] = {GVariant(0.0), GVariant::Null(), GVariant(false)};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE(recordSet.GetFieldValue(i).IsNull()) << i;
        EXPECT_EQ(fields.GetItem(i)->GetValue(), defaults[i]) << i;
    }
    EXPECT_THROW(recordSet.GetShape(), GSpatialException); // an empty blob is class 0
}

} // namespace
} // namespace quorvalis::test
