// Shared pieces of the engine and record-set tests: a private data directory per test, the
// PostgreSQL server of the test run, small record sets over in-memory tables, and checks of
// messages and SQL texts.
#pragma once

#include "database/BorlandDatabase.h"
#include "database/engine/Session.h"
#include "tests/database/formats/FormatTestSupport.h"

#include <gdal_priv.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace quorvalis::test
{

using ::testing::HasSubstr;
using testing::MessageOf;

/// Three degree sheets in the form of the reference data; enough to see the table filled.
inline const char* const kPlaceholderSheets = "SHEET,CX,CY,WX,WY,A,B\n"
                                              "2228BB,-2506000.5,-30000.25,-2506100.75,-30010.5,"
                                              "0.99999,0.00001\n"
                                              "2228BD,-2520000,-30000,-2520100,-30010,1,0\n"
                                              "3318CD,-3760000.125,-50000,-3760099.875,-50011,"
                                              "0.9999962918452086,-0.00000019749602280746127\n";

/// Points the session at a fresh, private data directory (so that no test ever touches the
/// user's store) with the placeholder sheets.
class PrivateHome : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine::Session::Default().SetHomeDirectory(home_.Path());
        engine::Session::Default().SetSheetData(std::string(kPlaceholderSheets));
    }

    void TearDown() override
    {
        engine::Session::Default().SetHomeDirectory({});
        engine::Session::Default().SetSheetData(std::nullopt);
    }

    const std::filesystem::path& Home() const { return home_.Path(); }
    std::vector<std::string> HomeFiles() const { return home_.Files(); }

private:
    testing::ScratchFolder home_;
};

/// The connection string of the test server, or nothing (the test is then skipped, or fails
/// when the environment says it runs in CI, where the server must be there).
inline std::optional<std::string> TestServer()
{
    const char* value = std::getenv("QUORVALIS_TEST_PG");
    return value && *value ? std::optional<std::string>(value) : std::nullopt;
}

inline bool RunningInCi()
{
    const std::string value = std::getenv("CI") ? std::getenv("CI") : "";
    return value == "true" || value == "1";
}

#define QUORVALIS_REQUIRE_SERVER(server)                                                           \
    do                                                                                             \
    {                                                                                              \
        if (!(server))                                                                             \
        {                                                                                          \
            if (::quorvalis::test::RunningInCi())                                                  \
                FAIL() << "QUORVALIS_TEST_PG is not set although CI=true: start the server "       \
                          "with scripts/pg-test-cluster.sh";                                       \
            GTEST_SKIP() << "No PostgreSQL server: set QUORVALIS_TEST_PG or run the tests "        \
                            "through scripts/pg-test-cluster.sh run -- ctest ...";                 \
        }                                                                                          \
    } while (false)

/// A table name in double quotes with its own quotes doubled.
inline std::string Quoted(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

/// The statement that selects a whole table.
inline std::string Select(const std::string& table)
{
    return "select a.* from " + Quoted(table) + " a";
}

/// Runs a statement on a GeoPackage file or PostgreSQL server behind the engine's back, the way
/// another program would.
inline void RunSql(const std::string& target, const std::string& statement)
{
    GDALAllRegister();
    GDALDataset* dataset = GDALDataset::FromHandle(
        GDALOpenEx(target.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr));
    ASSERT_NE(dataset, nullptr) << target;
    if (OGRLayer* result = dataset->ExecuteSQL(statement.c_str(), nullptr, nullptr))
        dataset->ReleaseResultSet(result);
    GDALClose(dataset);
}

/// Creates (replacing) a table of the database (empty: table is a dBase file path) with these
/// columns; false when the engine refuses.
inline bool CreateTable(const std::string& database, const std::string& table,
                        const std::vector<GFieldDefinition>& fields, bool spatial = false)
{
    GRecordSetDefinition definition;
    definition.DatabaseName = database;
    definition.TableName = table;
    definition.HasSpatialComponent = spatial;
    for (const GFieldDefinition& field : fields)
        definition.FieldDefinitions.Add(std::make_unique<GFieldDefinition>(field));
    return GBorlandRecordSet().CreateTable(definition);
}

/// An unopened record set over the whole table of the database.
inline std::unique_ptr<GBorlandRecordSet>
OverTable(const std::string& database, const std::string& table, bool readOnly, bool cached)
{
    return CreateBorlandRecordSet(false, "STANDARD", database, table, "", "", readOnly, true,
                                  cached, {Select(table)});
}

/// The "NAME" of every row of the table, in order.
inline std::vector<std::string> NamesIn(const std::string& database, const std::string& table)
{
    auto recordSet = OverTable(database, table, true, false);
    EXPECT_TRUE(recordSet->Open());
    std::vector<std::string> names;
    for (; !recordSet->Eof(); recordSet->Next())
        names.push_back(recordSet->Fields().FieldByName("NAME", true).AsString());
    return names;
}

/// Edits the current record (or appends one) and posts it with this first field.
inline void PostName(GRecordSet& recordSet, const std::string& name, bool append)
{
    append ? recordSet.Append() : recordSet.Edit();
    recordSet.Fields().GetItem(0)->SetAsString(name);
    recordSet.Post();
}

/// Creates a table of one string column "NAME" holding these names.
inline void FillNames(const std::string& database, const std::string& table,
                      const std::vector<std::string>& names)
{
    ASSERT_TRUE(CreateTable(database, table, {{"NAME", fdtString, 10, false}})) << table;
    auto recordSet = OverTable(database, table, false, false);
    ASSERT_TRUE(recordSet->Open()) << table;
    for (const std::string& name : names)
        PostName(*recordSet, name, true);
    recordSet->Flush();
}

/// An in-memory record set filled with rows of an integer "ID", a float "VALUE" and a string
/// "NAME" (size 10), the way the file record sets fill theirs.
class FilledMemoryRecordSet : public GInMemoryBorlandRecordSet
{
public:
    explicit FilledMemoryRecordSet(int rows = 5) : rows_(rows) {}

protected:
    bool DoOpen() override
    {
        ResetTable();
        AddFieldDefinition("ID", fdtInteger, 0, false);
        AddFieldDefinition("VALUE", fdtFloat, 0, false);
        AddFieldDefinition("NAME", fdtString, 10, false);
        return FillMemoryTable(
            [this](GInMemoryTable& table)
            {
                for (int i = 0; i < rows_; ++i)
                {
                    table.Append();
                    table.SetText("ID", std::to_string(i + 1));
                    table.SetValue("VALUE", engine::Value(i * 1.5));
                    table.SetText("NAME", "row " + std::to_string(i + 1));
                    table.Post();
                }
            });
    }

private:
    int rows_;
};

/// The stores a test runs on, one instance each: a dBase file, a GeoPackage and the PostgreSQL
/// server of the test run.
enum class Store
{
    Dbase,
    GeoPackage,
    PostgreSQL
};

inline std::string StoreName(const ::testing::TestParamInfo<Store>& info)
{
    return std::vector<std::string>{"Dbase", "GeoPackage", "PostgreSQL"}.at(
        static_cast<std::size_t>(info.param));
}

/// A test run once per store: a dBase table is a file in the home directory named by its path;
/// the alias names a GeoPackage there ("<alias in lower case>.gpkg") or the test server, through
/// the driver given. Tables named through Table() are dropped from the server afterwards.
class PerStore : public PrivateHome, public ::testing::WithParamInterface<Store>
{
protected:
    PerStore(std::string alias, std::string serverDriver)
        : alias_(std::move(alias)), serverDriver_(std::move(serverDriver))
    {
    }

    void SetUp() override
    {
        PrivateHome::SetUp();
        suffix_ = "_" + std::to_string(std::random_device()() % 100000000u);
        if (GetParam() == Store::Dbase)
            return;
        database_ = alias_;
        if (GetParam() == Store::GeoPackage)
        {
            std::string file = alias_;
            std::transform(file.begin(), file.end(), file.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            target_ = (Home() / (file + ".gpkg")).string();
            engine::Session::Default().SetAlias({alias_, "STANDARD", file + ".gpkg", ""});
            return;
        }
        server_ = TestServer();
        QUORVALIS_REQUIRE_SERVER(server_);
        target_ = *server_;
        engine::Session::Default().SetAlias({alias_, serverDriver_, "", *server_});
    }

    void TearDown() override
    {
        if (server_)
            for (const std::string& table : created_)
                RunSql(*server_, "DROP TABLE IF EXISTS " + Quoted(table));
        PrivateHome::TearDown();
    }

    bool Dbase() const { return GetParam() == Store::Dbase; }

    /// The name under which a table is created and selected.
    std::string Table(const std::string& name)
    {
        if (Dbase())
            return (Home() / (name + ".dbf")).string();
        created_.push_back(name + suffix_);
        return created_.back();
    }

    std::string database_;
    std::string target_; // the GeoPackage file or the server
    std::optional<std::string> server_;

private:
    std::string alias_;
    std::string serverDriver_;
    std::string suffix_;
    std::vector<std::string> created_;
};

} // namespace quorvalis::test
