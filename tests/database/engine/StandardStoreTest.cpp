// The QUORVALIS alias: its store is made on first use with an empty control table and the
// read-only degree-sheet table, in a GeoPackage of the data directory or a PostgreSQL database.
#include "TestSupport.h"

#include "database/engine/Session.h"
#include "database/engine/StandardStore.h"
#include "database/engine/Table.h"

#include <gtest/gtest.h>

namespace quorvalis::test
{
namespace
{

std::unique_ptr<GBorlandXYZRecordSet> ControlFile(bool readOnly)
{
    // The way the control file is read and written: an X/Y record set over the query text.
    return CreateBorlandXYZRecordSet(false, "STANDARD", "QUORVALIS", "", "Clarke Longitude",
                                     "Clarke Latitude", "Z", "", "", readOnly, false, false,
                                     {"select a.* from control.db a"});
}

// A record set over a query of the standard store.
std::unique_ptr<GBorlandRecordSet> Standard(const std::string& sql, bool readOnly = true)
{
    return CreateBorlandRecordSet(false, "STANDARD", "QUORVALIS", "", "", "", readOnly, true, false,
                                  {sql});
}

using StandardStore = PrivateHome;

TEST_F(StandardStore, IsCreatedOnFirstUseWithAnEmptyControlTableAndTheSheets)
{
    engine::Session& session = engine::Session::Default();
    EXPECT_EQ(session.TableNames("QUORVALIS"),
              (std::vector<std::string>{"control.db", "Sheet.db"}));
    EXPECT_EQ(HomeFiles(), (std::vector<std::string>{"aliases.ini", "quorvalis.gpkg"}));

    auto control = ControlFile(true);
    ASSERT_TRUE(control->Open());
    EXPECT_EQ(control->RecordCount(), 0);
    std::vector<std::string> names;
    control->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Name", "Source", "Clarke Latitude", "Clarke Longitude",
                                        "WGS Latitude", "WGS Longitude"}));
    control->Fields().GetFieldNames(names, false);
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Source", "WGS Latitude", "WGS Longitude"}));

    engine::Table sheet;
    sheet.SetDatabaseName("QUORVALIS");
    sheet.SetTableName("Sheet");
    sheet.SetReadOnly(true);
    sheet.Open();
    ASSERT_EQ(sheet.RecordCount(), 3);
    EXPECT_EQ(sheet.GetText("SHEET"), "2228BB");
    sheet.Last();
    EXPECT_EQ(sheet.GetValue("B"), engine::Value(-0.00000019749602280746127));
}

TEST_F(StandardStore, TheControlFileTakesBeaconsAndTheSheetTableIsRestoredAndStaysReadOnly)
{
    {
        auto control = ControlFile(false);
        ASSERT_TRUE(control->Open());
        control->Append();
        control->Fields().FieldByName("Name", true).SetAsString("TRIG 12");
        control->Fields().FieldByName("WGS Latitude", true).SetValue(GVariant(-25.7463419));
        control->SetShape(GPoint(28.1893371, -25.7491234));
        control->Post();
        control->Flush();
    }
    // Another program removes the sheet table; the next session puts it back and keeps the rest.
    RunSql((Home() / "quorvalis.gpkg").string(), "DROP TABLE \"Sheet\"");
    engine::Session::Default().SetSheetData(std::string("SHEET,CX,CY,WX,WY,A,B\nX,1,2,3,4,1,0\n"));
    auto control = ControlFile(true);
    ASSERT_TRUE(control->Open());
    ASSERT_EQ(control->RecordCount(), 1);
    EXPECT_TRUE(control->GetShape()->IsEqual(GPoint(28.1893371, -25.7491234)));
    EXPECT_EQ(control->Fields().FieldByName("Name", true).AsString(), "TRIG 12");

    // The control manager's spelling of the table resolves too.
    engine::Table manager;
    manager.SetDatabaseName("QUORVALIS");
    manager.SetTableName("control.DB");
    manager.Open();
    EXPECT_EQ(manager.RecordCount(), 1);
    EXPECT_TRUE(manager.CanModify());

    for (const char* sql : {"select a.* from \"Sheet\" a", "select a.* from Sheet.DB a"})
    {
        auto sheet = Standard(sql, false);
        ASSERT_TRUE(sheet->Open()) << sql;
        EXPECT_EQ(sheet->RecordCount(), 1) << sql;
        EXPECT_THROW(sheet->Edit(), engine::EngineError) << sql;
        EXPECT_THROW(sheet->Append(), engine::EngineError) << sql;
    }
    engine::Table replace;
    replace.SetDatabaseName("QUORVALIS");
    replace.SetTableName("Sheet");
    replace.FieldDefs() = {{"SHEET", engine::ftString, 16, false}};
    auto open = Standard("select a.* from Sheet a");
    ASSERT_TRUE(open->Open());
    EXPECT_THROW(replace.CreateTable(), engine::EngineError); // never under an open cursor
}

TEST_F(StandardStore, AnAliasFileCanPointTheStandardAliasElsewhere)
{
    std::filesystem::create_directories(Home() / "dbase");
    engine::Session& session = engine::Session::Default();
    session.SetAlias({"QUORVALIS", "STANDARD", "office/shared.gpkg", ""}, true);
    session.ReloadAliases();
    auto control = ControlFile(true);
    ASSERT_TRUE(control->Open());
    EXPECT_TRUE(std::filesystem::exists(Home() / "office" / "shared.gpkg"));
    EXPECT_FALSE(std::filesystem::exists(Home() / "quorvalis.gpkg"));

    // A directory of dBase files cannot hold the control table's column names.
    session.SetAlias({"QUORVALIS", "STANDARD", "dbase", ""});
    EXPECT_FALSE(ControlFile(true)->Open());
    EXPECT_THROW(session.TableNames("QUORVALIS"), engine::EngineError);
}

TEST(SheetData, TheBuiltInDataIsTheCompleteReferenceTable)
{
    const std::vector<engine::SheetRow> rows = engine::ParseSheetData(engine::BuiltInSheetData());
    ASSERT_EQ(rows.size(), 3536u);
    EXPECT_EQ(rows.front().Sheet, "2216AA");
    EXPECT_DOUBLE_EQ(rows.front().CX, 2447697.7500104015);
    EXPECT_DOUBLE_EQ(rows.front().B, -0.00000019749602280746127);
}

TEST_F(StandardStore, DamagedSheetDataIsRefusedNamingTheLineAndMakesNoStore)
{
    const std::pair<const char*, const char*> rows[] = {
        {"", "the header line is missing"},
        {"SHEET,CX,CY,WX,WY,A\n", "line 1: the header names no column B"},
        {"SHEET,CX,CY,WX,WY,A,B\n\nX,1,2,3,4,5\n", "line 3: 6 fields where the header has 7"},
        {"SHEET,CX,CY,WX,WY,A,B\nX,1,2,3,4,5,1e999\n", "line 2: the B value '1e999'"},
        {"SHEET,CX,CY,WX,WY,A,B\nX,1,2,3,4,5,6\nX,1,2,3,4,5,6\n",
         "line 3: the sheet 'X' appears twice"},
        {"SHEET,CX,CY,WX,WY,A,B\n,1,2,3,4,5,6\n", "line 2: the sheet name is empty"},
    };
    for (const auto& [text, message] : rows)
        EXPECT_THAT(MessageOf<engine::EngineError>([&] { engine::ParseSheetData(text); }),
                    HasSubstr(message));
    // Columns in another order and Windows line ends read the same.
    const auto read = engine::ParseSheetData("B,A,WY,WX,CY,CX,SHEET\r\n0.5,1,4,3,2,1.25,S\r\n");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(std::tuple(read[0].Sheet, read[0].CX, read[0].B), std::tuple("S", 1.25, 0.5));

    // A store is never made from damaged data.
    engine::Session::Default().SetSheetData(std::string("SHEET,CX\n"));
    EXPECT_FALSE(ControlFile(true)->Open());
    EXPECT_EQ(HomeFiles(), std::vector<std::string>{"aliases.ini"});
}

} // namespace
} // namespace quorvalis::test
