// What no store may do: leave a table half written (a process killed at any moment of a flush, a
// row the database refuses, a coordinate that is no number), hide why it failed, add a beacon
// twice when two workstations import at once, or trip over a schema or a first use it did not
// expect. Grouped by store: a dBase file, a GeoPackage and the PostgreSQL server of the test run.
#include "TestSupport.h"
#include "tests/InProcessCli.h"
#include "tests/database/engine/ChildProcess.h"

#include "database/engine/PgLink.h"
#include "database/engine/Query.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "project/BeaconImport.h"
#include "project/ControlBeacons.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <thread>
#include <tuple>

namespace quorvalis::test
{
namespace
{

// The driver name says nothing of the storage: transactions hold whatever it is.
class StoreTest : public PerStore
{
protected:
    StoreTest() : PerStore("SAFE", "STANDARD") {}

    // A table of rows "P<n>" at X = n, Y = -n.
    void MakePoints(const std::string& table, int rows)
    {
        ASSERT_TRUE(CreateTable(database_, table,
                                {{"NAME", fdtString, 10, false},
                                 {"X", fdtFloat, 0, false},
                                 {"Y", fdtFloat, 0, false}}));
        auto recordSet = Points(table);
        ASSERT_TRUE(recordSet->Open()) << recordSet->OpenFailure();
        for (int i = 0; i < rows; ++i)
        {
            recordSet->Append();
            recordSet->Fields().GetItem(0)->SetAsString("P" + std::to_string(i));
            recordSet->SetShape(GPoint(i, -i));
            recordSet->Post();
        }
        recordSet->Flush();
    }

    std::unique_ptr<GBorlandXYZRecordSet> Points(const std::string& table)
    {
        return CreateBorlandXYZRecordSet(false, "STANDARD", database_, table, "X", "Y", "", "", "",
                                         false, true, false, {Select(table)});
    }

    // Every row as (name, x, y), in order: the checksum the tests compare.
    using Row = std::tuple<std::string, double, double>;
    std::vector<Row> Rows(const std::string& table)
    {
        auto recordSet = Points(table);
        EXPECT_TRUE(recordSet->Open()) << recordSet->OpenFailure();
        std::vector<Row> rows;
        for (; !recordSet->Eof(); recordSet->Next())
            rows.emplace_back(recordSet->Fields().GetItem(0)->AsString(),
                              recordSet->GetFieldValue(1).AsDouble(),
                              recordSet->GetFieldValue(2).AsDouble());
        return rows;
    }
};

TEST_P(StoreTest, AKillAtAnyMomentOfAFlushLeavesTheTableExactlyBeforeOrAfter)
{
    const std::string table = Table("killed");
    const int rows = GetParam() == Store::Dbase ? 40000 : 60000;
    MakePoints(table, rows);
    std::vector<Row> before = Rows(table);
    for (int delay : {0, 5, 30, 120, 400, 1500})
    {
        ASSERT_TRUE(KillDuringFlush(
            [&](const std::function<void()>& flushing)
            {
                auto recordSet = Points(table);
                recordSet->Open();
                testing::MoveAll(*recordSet, 1000.0, 0.0, {}, flushing);
            },
            std::chrono::milliseconds(delay)))
            << "the child did not reach its flush";

        const std::vector<Row> now = Rows(table);
        std::vector<Row> after = before; // what the flush would have written
        for (Row& row : after)
            std::get<1>(row) += 1000.0;
        // Which end a kill at a given moment finds depends on the machine; nothing may lie between.
        ASSERT_TRUE(now == before || now == after)
            << "half-written after a kill at " << delay << " ms";
        before = now;
    }
}

TEST_P(StoreTest, ARefusedRowOrACoordinateThatIsNoNumberChangesNothingAndSaysWhy)
{
    const std::string table = Table("refused");
    MakePoints(table, 2000);
    const std::vector<Row> before = Rows(table);

    // A coordinate that is no number is refused when it is stored; the run ends there and its
    // earlier rows are never written.
    {
        auto recordSet = Points(table);
        ASSERT_TRUE(recordSet->Open());
        for (int i = 0; i < 20; ++i, recordSet->Next())
        {
            recordSet->Edit();
            recordSet->SetShape(GPoint(i + 0.5, -i));
            recordSet->Post();
        }
        recordSet->Edit();
        EXPECT_THAT(
            MessageOf<GDatabaseException>([&] { recordSet->SetShape(GPoint(std::nan(""), 0.0)); }),
            HasSubstr("the column X cannot take nan"));
    }
    EXPECT_EQ(Rows(table), before);

    if (GetParam() == Store::Dbase)
        return; // no constraints in a dBase file
    if (!server_)
        RunSql(target_, "CREATE TRIGGER " + Quoted("t_" + table) + " BEFORE UPDATE ON " +
                            Quoted(table) +
                            " FOR EACH ROW WHEN (NEW.\"X\" > 1e9) BEGIN SELECT RAISE(ABORT, "
                            "'X out of range'); END");
    else
        RunSql(target_, "ALTER TABLE " + Quoted(table) + " ADD CONSTRAINT " + Quoted("c_" + table) +
                            " CHECK (\"X\" < 1e9)");
    auto recordSet = Points(table);
    ASSERT_TRUE(recordSet->Open());
    for (int i = 0; !recordSet->Eof(); ++i, recordSet->Next())
    {
        recordSet->Edit();
        recordSet->SetShape(GPoint(i == 1000 ? 2e9 : i + 0.5, -i));
        recordSet->Post();
    }
    const std::string message = MessageOf<GDatabaseException>([&] { recordSet->Flush(); });
    EXPECT_THAT(message, ::testing::StartsWith("Unable to apply updates\r"));
    EXPECT_THAT(message, HasSubstr(server_ ? "violates check constraint" : "X out of range"));
    if (server_)
    {
        EXPECT_THAT(message, HasSubstr("P1000")); // the failing row, in the server's words
    }
    EXPECT_EQ(Rows(table), before);
}

TEST_P(StoreTest, TheFilesOfATableAreNamedForTheChecksOfARun)
{
    const std::string table = Table("files");
    MakePoints(table, 1);
    auto recordSet = Points(table);
    const std::vector<std::string> files = recordSet->DataFiles();
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->DataFiles(), files);
    switch (GetParam())
    {
    case Store::Dbase:
        EXPECT_EQ(files, std::vector<std::string>{table});
        break;
    case Store::GeoPackage:
        EXPECT_EQ(files, std::vector<std::string>{target_});
        break;
    case Store::PostgreSQL:
        EXPECT_TRUE(files.empty());
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest,
                         ::testing::Values(Store::Dbase, Store::GeoPackage, Store::PostgreSQL),
                         StoreName);

// --- The control file ---

std::vector<std::unique_ptr<GTrigBeacon>> Beacons(int count)
{
    std::vector<std::unique_ptr<GTrigBeacon>> beacons;
    for (int i = 0; i < count; ++i)
    {
        auto beacon = std::make_unique<GTrigBeacon>();
        beacon->Name = "TRIG " + std::to_string(i);
        beacon->Selected = true;
        beacon->Clarke = {-25.5 - i * 0.01, 28.0 + i * 0.01};
        beacon->WGS = {-25.5 - i * 0.01 + 0.0001, 28.0 + i * 0.01 - 0.0002};
        beacons.push_back(std::move(beacon));
    }
    return beacons;
}

int ImportTwenty()
{
    GTrigBeaconList list;
    for (auto& beacon : Beacons(20))
        list.Add(std::move(beacon));
    return AddBeaconsToControlFile(list, "TRIG");
}

class ControlFileTest : public PrivateHome, public ::testing::WithParamInterface<Store>
{
protected:
    void SetUp() override
    {
        PrivateHome::SetUp();
        if (GetParam() == Store::PostgreSQL)
        {
            server_ = TestServer();
            QUORVALIS_REQUIRE_SERVER(server_);
            // A schema that does not exist yet: the first use makes it.
            schema_ = "qv_safe_" + std::to_string(std::random_device()() % 100000000u);
            engine::Session::Default().SetAlias(
                {"QUORVALIS", "STANDARD", "",
                 *server_ + " options='-c search_path=" + schema_ + "'"});
        }
    }

    void TearDown() override
    {
        if (server_)
            RunSql(*server_, "DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
        PrivateHome::TearDown();
    }

    int ControlRows()
    {
        GTrigBeaconList list;
        list.ReadControlFile(dtCape);
        return list.Count();
    }

    std::optional<std::string> server_;
    std::string schema_;
};

TEST_P(ControlFileTest, FirstUsesAndImportsFromTwoWorkstationsAtOnceGiveEachTableAndBeaconOnce)
{
    // Two programs use the new store at once, each importing the same twenty beacons.
    const auto importTwice = []
    {
        std::vector<GChildProcess> children;
        for (int i = 0; i < 2; ++i)
            children.emplace_back([] { ImportTwenty(); });
        for (GChildProcess& child : children)
            EXPECT_EQ(child.Wait(), 0);
    };
    importTwice();
    EXPECT_EQ(ControlRows(), 20);
    // The sheet table is made once and refuses edits, on either store.
    auto sheet = CreateBorlandRecordSet(false, "STANDARD", "QUORVALIS", "", "", "", false, true,
                                        false, {"select a.* from Sheet.DB a"});
    ASSERT_TRUE(sheet->Open());
    EXPECT_EQ(sheet->RecordCount(), 3);
    EXPECT_THROW(sheet->Edit(), engine::EngineError);
    sheet.reset();

    // Again, against a store that exists: the second import finds what the first added.
    importTwice();
    EXPECT_EQ(ControlRows(), 20);
}

INSTANTIATE_TEST_SUITE_P(Stores, ControlFileTest,
                         ::testing::Values(Store::GeoPackage, Store::PostgreSQL), StoreName);

using UnreachableStore = PrivateHome;

TEST_F(UnreachableStore, IsAnErrorWithTheStoresReasonAndNeverThePassword)
{
    // Nothing listens on port 1 of the loopback address.
    engine::Session::Default().SetAlias(
        {"QUORVALIS", "STANDARD", "",
         "PG:host=127.0.0.1 port=1 dbname=office user=surveyor password=s3cr3t-pw"});
    GTrigBeaconList list;
    const std::string message =
        MessageOf<GDatabaseException>([&] { list.ReadControlFile(dtCape); });
    EXPECT_THAT(message, ::testing::StartsWith("Unable to open the control file.\r"));
    EXPECT_THAT(message, HasSubstr("127.0.0.1"));
    EXPECT_THAT(message, ::testing::Not(HasSubstr("s3cr3t-pw")));

    // The command line says so and exits 1, instead of "0 control coordinates".
    const CliRun run = RunCliInProcess({"control", "list"});
    EXPECT_EQ(run.Code, 1);
    EXPECT_THAT(run.Err, HasSubstr("Unable to open the control file."));
    EXPECT_THAT(run.Err, ::testing::Not(HasSubstr("s3cr3t-pw")));
    EXPECT_EQ(run.Out, "");

    // A GeoPackage path that is no GeoPackage, and a run's record set: the words, then why.
    testing::WriteText(Home() / "broken.gpkg", "not a database");
    engine::Session::Default().SetAlias({"QUORVALIS", "STANDARD", "broken.gpkg", ""});
    EXPECT_THAT(MessageOf<GDatabaseException>([&] { list.ReadControlFile(dtCape); }),
                HasSubstr("broken.gpkg"));
    auto missing = OverTable("QUORVALIS", "no such table", true, false);
    EXPECT_FALSE(missing->Open());
    EXPECT_THAT(missing->OpenFailure(), HasSubstr("broken.gpkg"));
}

TEST_F(UnreachableStore, ASchemaTheUserMayNotCreateIsRefusedSayingHowToCreateIt)
{
    const std::optional<std::string> server = TestServer();
    QUORVALIS_REQUIRE_SERVER(server);
    // A surveyor's login without the right to create schemas, whose search path names none
    // that exists.
    RunSql(*server, "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = "
                    "'qv_surveyor') THEN CREATE ROLE qv_surveyor LOGIN; END IF; END $$");
    const std::string schema = "qv_none_" + std::to_string(std::random_device()() % 100000000u);
    std::string target = *server;
    const std::size_t user = target.find(" user=") + std::string(" user=").size();
    target.replace(user, target.find(' ', user) - user, "qv_surveyor");
    engine::Session::Default().SetAlias(
        {"QUORVALIS", "STANDARD", "", target + " options='-c search_path=" + schema + "'"});
    GTrigBeaconList list;
    const std::string message =
        MessageOf<GDatabaseException>([&] { list.ReadControlFile(dtCape); });
    EXPECT_THAT(message, ::testing::StartsWith("Unable to open the control file.\r"));
    EXPECT_THAT(message, HasSubstr("permission denied"));
    EXPECT_THAT(message, HasSubstr("create it with: CREATE SCHEMA \"" + schema + "\""));
}

// --- Names and the alias file ---

using Names = PrivateHome;

TEST_F(Names, StatementsQuoteNamesPerDriverAndListedNamesOpenTheTableSoNamed)
{
    const std::pair<const char*, const char*> rows[] = {
        {"STANDARD", "select a.* from \"we\"\"ird; tbl\" a"},
        {"POSTGRES", "select a.* from \"we\"\"ird; tbl\" a"},
        {"MSACCESS", "select a.* from [we\"ird; tbl] a"},
        {"ORACLE", "select a.* from 'we\"ird; tbl' a"},
    };
    for (const auto& [driver, statement] : rows)
        EXPECT_EQ(engine::TableStatement(driver, "we\"ird; tbl"), statement) << driver;
    EXPECT_EQ(engine::TableStatement("MSACCESS", "a]b"), "select a.* from [a]]b] a");
    EXPECT_EQ(engine::TableStatement("ORACLE", "it's"), "select a.* from 'it''s' a");

    // Each listed name opens its own table, however the names look or collide.
    engine::Session::Default().SetAlias({"JOBS", "STANDARD", "jobs.gpkg", ""});
    const std::vector<std::string> tables = {"we\"ird; tbl", "x",         "x.db", "Y",
                                             "y.DB",         "drop -- me"};
    for (const std::string& table : {tables[0], tables[1], tables[3], tables[5]})
        FillNames("JOBS", table, {table});
    // Names the engine would not make ("x.db" is the table "x" to it), as another program may.
    {
        GDALDataset* dataset = GDALDataset::FromHandle(GDALOpenEx((Home() / "jobs.gpkg").c_str(),
                                                                  GDAL_OF_VECTOR | GDAL_OF_UPDATE,
                                                                  nullptr, nullptr, nullptr));
        ASSERT_NE(dataset, nullptr);
        for (const std::string& table : {tables[2], tables[4]})
        {
            OGRLayer* layer = dataset->CreateLayer(table.c_str(), nullptr, wkbNone, nullptr);
            OGRFieldDefn field("NAME", OFTString);
            ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetField(0, table.c_str());
            ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
        }
        GDALClose(dataset);
    }
    std::vector<std::string> listed = engine::Session::Default().TableNames("JOBS");
    ASSERT_EQ(listed.size(), tables.size());
    std::vector<std::string> opened;
    for (const std::string& name : listed)
    {
        auto recordSet = CreateBorlandRecordSet(false, "STANDARD", "JOBS", "", "", "", true, true,
                                                false, {engine::TableStatement("STANDARD", name)});
        ASSERT_TRUE(recordSet->Open()) << name << ": " << recordSet->OpenFailure();
        opened.push_back(recordSet->Fields().GetItem(0)->AsString());
    }
    std::sort(opened.begin(), opened.end());
    std::vector<std::string> expected;
    for (const std::string& table : tables)
        expected.push_back(table.substr(0, 10)); // the width of FillNames's column
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(opened, expected);
}

TEST(ConnectionStrings, FreeSqlKeepsTheAliasOptionsAndAddsReadOnly)
{
    EXPECT_EQ(engine::AddServerSetting("PG:dbname=x options='-c search_path=jobs'",
                                       "default_transaction_read_only=on"),
              "PG:dbname='x' options='-c search_path=jobs -c default_transaction_read_only=on'");
    EXPECT_EQ(engine::AddServerSetting("PG:dbname=x", "default_transaction_read_only=on"),
              "PG:dbname='x' options='-c default_transaction_read_only=on'");
    EXPECT_EQ(engine::LibpqConnectionString("PG:dbname='a b' password='it\\'s' schemas=x"),
              "dbname='a b' password='it\\'s'");
    EXPECT_THROW(engine::ParseConnectionString("PG:dbname='open"), engine::EngineError);
}

} // namespace
} // namespace quorvalis::test
