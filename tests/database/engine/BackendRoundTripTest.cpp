// Round trips through every store: a dBase file named by its path, a GeoPackage alias, a
// PostgreSQL alias, and the in-memory table.
#include "TestSupport.h"

#include "database/engine/Session.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace quorvalis::test
{
namespace
{

enum class Backend
{
    DbaseFile,
    GeoPackage,
    PostgreSQL
};

std::string BackendName(const ::testing::TestParamInfo<Backend>& info)
{
    switch (info.param)
    {
    case Backend::DbaseFile:
        return "DbaseFile";
    case Backend::GeoPackage:
        return "GeoPackage";
    case Backend::PostgreSQL:
        return "PostgreSQL";
    }
    return "Unknown";
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class RoundTrip : public PrivateHome, public ::testing::WithParamInterface<Backend>
{
protected:
    void SetUp() override
    {
        PrivateHome::SetUp();
        std::random_device random;
        switch (GetParam())
        {
        case Backend::DbaseFile:
            database_.clear();
            break;
        case Backend::GeoPackage:
            engine::Session::Default().SetAlias({"ROUND", "STANDARD", "round.gpkg", ""});
            database_ = "ROUND";
            break;
        case Backend::PostgreSQL:
            server_ = TestServer();
            QUORVALIS_REQUIRE_SERVER(server_);
            engine::Session::Default().SetAlias({"ROUND", "POSTGRES", "", *server_});
            database_ = "ROUND";
            suffix_ = "_" + std::to_string(random() % 100000000u);
            break;
        }
    }

    void TearDown() override
    {
        if (server_)
        {
            GDALAllRegister();
            GDALDataset* dataset = GDALDataset::FromHandle(GDALOpenEx(
                server_->c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
            if (dataset != nullptr)
            {
                for (const std::string& table : created_)
                    for (int i = 0; i < dataset->GetLayerCount(); ++i)
                        if (table == dataset->GetLayer(i)->GetName())
                            dataset->DeleteLayer(i);
                GDALClose(dataset);
            }
        }
        PrivateHome::TearDown();
    }

    bool Dbase() const { return GetParam() == Backend::DbaseFile; }

    // The name under which the table is created and selected.
    std::string Table(const std::string& name)
    {
        if (Dbase())
            return (Home() / (name + ".dbf")).string();
        created_.push_back(name + suffix_);
        return name + suffix_;
    }

    bool Create(const std::string& table, const std::vector<GFieldDefinition>& fields,
                bool spatial = false)
    {
        return CreateTable(database_, table, fields, spatial);
    }

    std::unique_ptr<GBorlandRecordSet> Over(const std::string& table, bool readOnly = false,
                                            bool cached = false)
    {
        return OverTable(database_, table, readOnly, cached);
    }

    std::vector<std::string> Names(const std::string& table) { return NamesIn(database_, table); }

    void FillNames(const std::string& table, const std::vector<std::string>& names)
    {
        ASSERT_TRUE(Create(table, {{"NAME", fdtString, 10, false}}));
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        for (const std::string& name : names)
        {
            recordSet->Append();
            recordSet->Fields().GetItem(0)->SetAsString(name);
            recordSet->Post();
        }
        recordSet->Flush();
    }

    void Sql(const std::string& statement)
    {
        const std::string target = server_ ? *server_ : (Home() / "round.gpkg").string();
        GDALDataset* dataset = GDALDataset::FromHandle(
            GDALOpenEx(target.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
        ASSERT_NE(dataset, nullptr);
        OGRLayer* result = dataset->ExecuteSQL(statement.c_str(), nullptr, nullptr);
        if (result != nullptr)
            dataset->ReleaseResultSet(result);
        GDALClose(dataset);
    }

    std::string database_;
    std::optional<std::string> server_;
    std::string suffix_;
    std::vector<std::string> created_;
};

TEST_P(RoundTrip, FieldTypesAndNullsComeBackAsStored)
{
    const std::string table = Table("types");
    ASSERT_TRUE(Create(table, {{"COUNT", fdtInteger, 0, false},
                               {"REAL", fdtFloat, 0, false},
                               {"NAME", fdtString, 12, false},
                               {"FLAG", fdtBoolean, 0, false},
                               {"WHEN", fdtDateTime, 0, false}}));
    const engine::DateTime when{2024, 2, 29, 13, 45, 30.5};
    {
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        GFieldList& fields = recordSet->Fields();
        recordSet->Append(); // values
        fields.FieldByName("COUNT", true).SetValue(GVariant(-2147483647));
        fields.FieldByName("REAL", true).SetValue(GVariant(-2506000.123456789));
        fields.FieldByName("NAME", true).SetAsString("K\xC3\xB6nig 12345678"); // cut to 12 bytes
        fields.FieldByName("FLAG", true).SetValue(GVariant(true));
        fields.FieldByName("WHEN", true).SetValue(GVariant(when));
        recordSet->Post();
        recordSet->Append(); // the type defaults, which are not null
        fields.FieldByName("COUNT", true).SetValue(GVariant(0));
        fields.FieldByName("REAL", true).SetValue(GVariant(0.0));
        fields.FieldByName("NAME", true).SetAsString("");
        fields.FieldByName("FLAG", true).SetValue(GVariant(false));
        recordSet->Post();
        recordSet->Append(); // nothing: every column null
        recordSet->Post();
        recordSet->Flush();
    }
    auto recordSet = Over(table, true);
    ASSERT_TRUE(recordSet->Open());
    ASSERT_EQ(recordSet->RecordCount(), 3);
    GFieldList& fields = recordSet->Fields();
    EXPECT_EQ(fields.FieldByName("COUNT", true).FieldType(), fdtInteger);
    EXPECT_EQ(fields.FieldByName("REAL", true).FieldType(), fdtFloat);
    EXPECT_EQ(fields.FieldByName("NAME", true).FieldType(), fdtString);
    EXPECT_EQ(fields.FieldByName("NAME", true).Size(), 13);
    // A dBase file written through this engine keeps booleans as the numbers 1 and 0.
    EXPECT_EQ(fields.FieldByName("FLAG", true).FieldType(), Dbase() ? fdtInteger : fdtBoolean);
    EXPECT_EQ(fields.FieldByName("WHEN", true).FieldType(), fdtDateTime);

    auto raw = [&](const char* name)
    { return recordSet->GetFieldValue(fields.FieldByName(name, true).Index()); };
    EXPECT_EQ(raw("COUNT"), GVariant(-2147483647));
    // PostgreSQL is written 15 significant digits deep (4 nm in a Lo coordinate).
    if (GetParam() == Backend::PostgreSQL)
        EXPECT_NEAR(raw("REAL").AsDouble(), -2506000.123456789, 2506000.0 * 1e-15);
    else
        EXPECT_EQ(raw("REAL"), GVariant(-2506000.123456789));
    EXPECT_EQ(raw("NAME"), GVariant("K\xC3\xB6nig 12345"));
    EXPECT_EQ(raw("FLAG"), Dbase() ? GVariant(1) : GVariant(true));
    // A dBase file keeps dates only.
    EXPECT_EQ(raw("WHEN"),
              Dbase() ? GVariant(engine::DateTime{2024, 2, 29, 0, 0, 0.0}) : GVariant(when));

    recordSet->Next();
    EXPECT_EQ(raw("COUNT"), GVariant(0));
    EXPECT_EQ(raw("REAL"), GVariant(0.0));
    // A dBase file cannot tell an empty text from none.
    EXPECT_EQ(raw("NAME"), Dbase() ? GVariant() : GVariant(""));
    EXPECT_EQ(raw("FLAG"), Dbase() ? GVariant(0) : GVariant(false));
    EXPECT_TRUE(raw("WHEN").IsNull());

    recordSet->Next();
    for (const char* name : {"COUNT", "REAL", "NAME", "FLAG", "WHEN"})
        EXPECT_TRUE(raw(name).IsNull()) << name;
    EXPECT_EQ(fields.FieldByName("COUNT", true).GetValue(), GVariant(0));
    EXPECT_EQ(fields.FieldByName("REAL", true).GetValue(), GVariant(0.0));
    EXPECT_EQ(fields.FieldByName("NAME", true).GetValue(), GVariant(""));
    EXPECT_EQ(fields.FieldByName("FLAG", true).GetValue(), Dbase() ? GVariant(0) : GVariant(false));
    EXPECT_TRUE(fields.FieldByName("WHEN", true).GetValue().IsNull());
    EXPECT_EQ(fields.FieldByName("COUNT", true).AsString(), "");
}

TEST_P(RoundTrip, AShapeIsStoredInATwentyFiveByteBlob)
{
    const std::string table = Table("shapes");
    if (Dbase())
    {
        // A dBase file has no blob column to hold it.
        EXPECT_FALSE(Create(table, {{"NAME", fdtString, 10, false}}, true));
        EXPECT_FALSE(std::filesystem::exists(table));
        return;
    }
    ASSERT_TRUE(Create(table, {{"NAME", fdtString, 10, false}}, true));
    {
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        recordSet->Append();
        recordSet->SetShape(GPoint(25.5, -33.75, 1500.0));
        recordSet->Post();
        recordSet->Flush();
    }
    auto recordSet = Over(table, true);
    ASSERT_TRUE(recordSet->Open());
    EXPECT_TRUE(recordSet->HasSpatialComponent());
    GStream blob;
    recordSet->SaveFieldToStream(recordSet->Fields().FieldByName("SHAPE", true).Index(), blob);
    ASSERT_EQ(blob.Size(), 25u);
    GStream form;
    GPoint(25.5, -33.75).SaveToStream(form);
    EXPECT_EQ(std::memcmp(blob.Bytes().data(), form.Bytes().data(), 17), 0);
    EXPECT_TRUE(recordSet->GetShape()->IsEqual(GPoint(25.5, -33.75, 0.0)));
}

TEST_P(RoundTrip, XYZRecordSetsWithoutAZColumnKeepZAtZero)
{
    const std::string table = Table("points");
    ASSERT_TRUE(Create(
        table,
        {{"NAME", fdtString, 10, false}, {"X", fdtFloat, 0, false}, {"Y", fdtFloat, 0, false}}));
    {
        auto recordSet =
            CreateBorlandXYZRecordSet(false, "STANDARD", database_, table, "X", "Y", "Z", "", "",
                                      false, true, false, {"select a.* from \"" + table + "\" a"});
        ASSERT_TRUE(recordSet->Open());
        recordSet->Append();
        recordSet->Fields().FieldByName("NAME", true).SetAsString("T1");
        recordSet->SetShape(GPoint(-3760000.125, -50000.5, 42.0));
        recordSet->Post();
        recordSet->Flush();
    }
    auto recordSet =
        CreateBorlandXYZRecordSet(false, "STANDARD", database_, table, "X", "Y", "Z", "", "", true,
                                  true, false, {"select a.* from \"" + table + "\" a"});
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Fields().Count(), 3);
    EXPECT_TRUE(recordSet->GetShape()->IsEqual(GPoint(-3760000.125, -50000.5, 0.0)));
}

TEST_P(RoundTrip, CachedUpdatesReachTheStoreOnlyAtFlush)
{
    const std::string table = Table("cached");
    FillNames(table, {"A", "B", "C"});
    auto recordSet = Over(table, false, true);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Next();
    recordSet->Edit();
    recordSet->Fields().GetItem(0)->SetAsString("B2");
    recordSet->Post();
    recordSet->Append();
    recordSet->Fields().GetItem(0)->SetAsString("D");
    recordSet->Post();
    EXPECT_EQ(Names(table), (std::vector<std::string>{"A", "B", "C"}));
    recordSet->Flush();
    EXPECT_EQ(Names(table), (std::vector<std::string>{"A", "B2", "C", "D"}));
    EXPECT_EQ(recordSet->RecordCount(), 4);
}

TEST_P(RoundTrip, AFailingApplyIsRolledBackWithNothingWritten)
{
    if (Dbase())
        GTEST_SKIP() << "a dBase file named by its path has no transactions";
    const std::string table = Table("unique");
    FillNames(table, {"A", "B", "C"});
    Sql("CREATE UNIQUE INDEX ix_" + table + " ON \"" + table + "\" (\"NAME\")");
    auto recordSet = Over(table, false, true);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Edit();
    recordSet->Fields().GetItem(0)->SetAsString("Z");
    recordSet->Post();
    recordSet->Append();
    recordSet->Fields().GetItem(0)->SetAsString("C");
    recordSet->Post();
    try
    {
        recordSet->Flush();
        FAIL() << "the apply should fail";
    }
    catch (const GDatabaseException& error)
    {
        EXPECT_STREQ(error.what(), "Unable to apply updates");
    }
    EXPECT_EQ(Names(table), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_P(RoundTrip, APostThatChangesNothingWritesNothing)
{
    if (GetParam() == Backend::PostgreSQL)
        GTEST_SKIP() << "the server's files are not the test's to compare";
    const std::string table = Table("same");
    FillNames(table, {"A", "B"});
    const std::filesystem::path file =
        Dbase() ? std::filesystem::path(table) : Home() / "round.gpkg";
    const std::string before = ReadFile(file);
    {
        auto recordSet = Over(table);
        ASSERT_TRUE(recordSet->Open());
        for (; !recordSet->Eof(); recordSet->Next())
        {
            recordSet->Edit();
            recordSet->Fields().GetItem(0)->SetAsString(recordSet->Fields().GetItem(0)->AsString());
            recordSet->Post();
        }
        recordSet->Flush();
    }
    EXPECT_EQ(ReadFile(file), before);
}

TEST_P(RoundTrip, ATableNameThatLooksLikeSqlIsOnlyAName)
{
    const std::string control = Table("control");
    FillNames(control, {"TRIG 1"});
    const std::string name = Table("x\" a; drop table control; --");
    FillNames(name, {"quoted"});
    EXPECT_EQ(Names(name), (std::vector<std::string>{"quoted"}));
    EXPECT_EQ(Names(control), (std::vector<std::string>{"TRIG 1"}));
}

INSTANTIATE_TEST_SUITE_P(Stores, RoundTrip,
                         ::testing::Values(Backend::DbaseFile, Backend::GeoPackage,
                                           Backend::PostgreSQL),
                         BackendName);

class DbaseFile : public PrivateHome
{
};

TEST_F(DbaseFile, TheFilesOfAShapefileBesideItAreNeverTouched)
{
    const std::filesystem::path dbf = Home() / "parcels.dbf";
    GRecordSetDefinition definition;
    definition.TableName = dbf.string();
    definition.FieldDefinitions.Add(
        std::make_unique<GFieldDefinition>("NAME", fdtString, 10, false));
    definition.FieldDefinitions.Add(std::make_unique<GFieldDefinition>("AREA", fdtFloat, 0, false));
    ASSERT_TRUE(GBorlandRecordSet().CreateTable(definition));
    // Stand-ins for a shapefile's own files, which belong to their own reader and writer.
    const std::string shp(300, '\x5a');
    const std::string shx(124, '\x33');
    for (const auto& [extension, content] : {std::pair{".shp", shp}, std::pair{".shx", shx}})
    {
        std::ofstream out(Home() / ("parcels" + std::string(extension)), std::ios::binary);
        out << content;
    }
    const std::vector<std::string> sql = {"select a.* from \"" + dbf.string() + "\" a"};
    {
        auto recordSet = CreateBorlandRecordSet(false, "", "", "", "", "", false, true, false, sql);
        ASSERT_TRUE(recordSet->Open());
        EXPECT_FALSE(recordSet->HasSpatialComponent());
        for (const char* name : {"one", "two", "three"})
        {
            recordSet->Append();
            recordSet->Fields().GetItem(0)->SetAsString(name);
            recordSet->Fields().GetItem(1)->SetValue(GVariant(2.5));
            recordSet->Post();
        }
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
    }
    EXPECT_EQ(ReadFile(Home() / "parcels.shp"), shp);
    EXPECT_EQ(ReadFile(Home() / "parcels.shx"), shx);

    auto reader = CreateBorlandRecordSet(false, "", "", "", "", "", true, true, false, sql);
    ASSERT_TRUE(reader->Open());
    ASSERT_EQ(reader->RecordCount(), 2);
    EXPECT_EQ(reader->Fields().GetItem(0)->AsString(), "two");
    EXPECT_EQ(reader->Fields().GetItem(1)->GetValue(), GVariant(7.25));
    EXPECT_THROW(reader->Edit(), engine::EngineError);
}

TEST_F(DbaseFile, ColumnsADbaseFileCannotHoldAreRefused)
{
    for (const GFieldDefinition& field : {GFieldDefinition("PICTURE", fdtBlob, 0, false),
                                          GFieldDefinition("NOTES", fdtMemo, 0, false),
                                          GFieldDefinition("Clarke Latitude", fdtFloat, 0, false)})
    {
        GRecordSetDefinition definition;
        definition.TableName = (Home() / "refused.dbf").string();
        definition.FieldDefinitions.Add(std::make_unique<GFieldDefinition>(field));
        EXPECT_FALSE(GBorlandRecordSet().CreateTable(definition)) << field.Name;
        EXPECT_TRUE(std::filesystem::is_empty(Home())) << field.Name;
    }
}

TEST_F(DbaseFile, ADirectoryAliasListsItsFilesAndOpensThemByName)
{
    std::filesystem::create_directories(Home() / "tables");
    engine::Session::Default().SetAlias({"DIR", "STANDARD", "tables", ""});
    for (const char* table : {"Beacons.dbf", "ALPHA.DBF"})
    {
        GRecordSetDefinition definition;
        definition.DatabaseName = "DIR";
        definition.TableName = table;
        definition.FieldDefinitions.Add(
            std::make_unique<GFieldDefinition>("NAME", fdtString, 8, false));
        ASSERT_TRUE(GBorlandRecordSet().CreateTable(definition)) << table;
    }
    EXPECT_EQ(engine::Session::Default().TableNames("DIR"),
              (std::vector<std::string>{"ALPHA.DBF", "Beacons.dbf"}));
    auto recordSet = CreateBorlandRecordSet(false, "STANDARD", "DIR", "", "", "", false, true, true,
                                            {"select a.* from beacons a"});
    ASSERT_TRUE(recordSet->Open());
    recordSet->Append();
    recordSet->Fields().GetItem(0)->SetAsString("TRIG 1");
    recordSet->Post();
    recordSet->Flush(); // "transaction" of a directory: written at once
    auto counting = CreateBorlandRecordSet(false, "STANDARD", "DIR", "", "", "", true, true, false,
                                           {"SELECT COUNT(*) AS N FROM Beacons"});
    ASSERT_TRUE(counting->Open());
    EXPECT_EQ(counting->Fields().GetItem(0)->GetValue().AsInteger(), 1);
}

TEST(InMemory, ValuesNullsAndAShapeBlobRoundTrip)
{
    class AllTypes : public GInMemoryBorlandRecordSet
    {
    protected:
        bool DoOpen() override
        {
            ResetTable();
            AddFieldDefinition("I", fdtInteger, 0, false);
            AddFieldDefinition("F", fdtFloat, 0, false);
            AddFieldDefinition("S", fdtString, 4, false);
            AddFieldDefinition("B", fdtBoolean, 0, false);
            AddFieldDefinition("D", fdtDateTime, 0, false);
            AddFieldDefinition("M", fdtMemo, 0, false);
            AddFieldDefinition("SHAPE", fdtBlob, 0, false);
            AddFieldDefinition("A very long column name of forty characters", fdtInteger, 0, false);
            return FillMemoryTable([](GInMemoryTable&) {});
        }
    } recordSet;
    ASSERT_TRUE(recordSet.Open());
    EXPECT_TRUE(recordSet.HasSpatialComponent());
    EXPECT_FALSE(recordSet.Fields().FieldByName("SHAPE", true).Hidden());
    EXPECT_EQ(recordSet.Fields().GetItem(7)->Name(), "A very long column name of fort");
    recordSet.Append();
    GFieldList& fields = recordSet.Fields();
    fields.FieldByName("I", true).SetAsString("-12");
    fields.FieldByName("F", true).SetValue(GVariant(0.1 + 0.2));
    fields.FieldByName("S", true).SetAsString("truncated");
    fields.FieldByName("B", true).SetAsString("True");
    fields.FieldByName("D", true).SetAsString("2024-06-30 08:00:00");
    fields.FieldByName("M", true).SetAsString(std::string(5000, 'm'));
    recordSet.SetShape(GPoint(1.0, 2.0, 3.0));
    recordSet.Post();
    recordSet.Append();
    recordSet.Post();
    recordSet.Flush();

    EXPECT_EQ(recordSet.GetFieldValue(0), GVariant(-12));
    EXPECT_EQ(recordSet.GetFieldValue(1), GVariant(0.1 + 0.2)); // every bit kept
    EXPECT_EQ(fields.FieldByName("S", true).AsString(), "trun");
    EXPECT_EQ(recordSet.GetFieldValue(3), GVariant(true));
    EXPECT_EQ(fields.FieldByName("D", true).AsString(), "2024-06-30 08:00:00");
    EXPECT_EQ(fields.FieldByName("M", true).AsString().size(), 5000u);
    GStream blob;
    recordSet.SaveFieldToStream(6, blob);
    EXPECT_EQ(blob.Size(), 25u);
    EXPECT_TRUE(recordSet.GetShape()->IsEqual(GPoint(1.0, 2.0, 0.0)));
    recordSet.Next();
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(recordSet.GetFieldValue(i).IsNull()) << i;
    EXPECT_THROW(recordSet.GetShape(), GSpatialException); // an empty blob is class 0
}

} // namespace
} // namespace quorvalis::test
