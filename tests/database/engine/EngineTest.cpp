// The engine on its own: statement parsing, values and column conversions, the dataset cursor,
// the session's aliases.
#include "TestSupport.h"

#include "database/engine/MemoryTable.h"
#include "database/engine/Query.h"
#include "database/engine/Session.h"
#include "database/engine/Value.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvalis::test
{
namespace
{

using engine::EngineError;
using engine::ParseTableStatement;
using engine::Value;

TEST(TableStatement, AcceptsTheOneStatementAndGivesTheNameAsItStands)
{
    // The statement, and the table it names or nullptr when it is not the statement.
    const std::pair<const char*, const char*> rows[] = {
        {"select a.* from control.db a", "control.db"},
        {"SELECT A.* FROM control.DB A", "control.DB"},
        {"  select  a.*\n from\n\t\"Sheet\"  a ; ", "Sheet"},
        {"select a.* from \"/data/job 1/parcels.dbf\" a", "/data/job 1/parcels.dbf"},
        {"select a.* from [Beacon List] a", "Beacon List"},
        {"select a.* from \"x\"\" a; drop table control; --\" a", "x\" a; drop table control; --"},
        {"select a.* from [x]] a; drop table control; --] a", "x] a; drop table control; --"},
        {"select a.* from 'it''s' a", "it's"},
        // Anything else is not the statement: it runs, read-only, as SQL of the database.
        {"select * from control", nullptr},
        {"select a.* from control a where Name = 'X'", nullptr},
        {"select a.* from control b", nullptr},
        {"select a.* from x; drop table control; -- a", nullptr},
        {"select a.* from \"unterminated a", nullptr},
        {"select a.* from \"\" a", nullptr},
    };
    for (const auto& [sql, table] : rows)
        EXPECT_EQ(ParseTableStatement(sql),
                  table ? std::optional<std::string>(table) : std::nullopt)
            << sql;
}

TEST(Values, NullIsDistinctAndConversionsAndDatesRefuseWhatTheyCannotRepresent)
{
    EXPECT_FALSE(Value(0) == Value());
    EXPECT_EQ(Value().AsString(), "");
    EXPECT_THROW(Value().AsDouble(), EngineError);

    // Halves round to even, as the engine's integer columns take floats.
    EXPECT_EQ(Value(2.5).AsInteger(), 2);
    EXPECT_EQ(Value(3.5).AsInteger(), 4);
    EXPECT_THROW(Value(1e300).AsInteger(), EngineError);
    EXPECT_EQ(Value(" 12 ").AsInteger(), 12);
    EXPECT_THROW(Value("12.5").AsInteger(), EngineError);

    EXPECT_DOUBLE_EQ(Value("12,5").AsDouble(), 12.5);
    EXPECT_THROW(Value("1,000,000").AsDouble(), EngineError);
    EXPECT_THROW(Value("nan").AsDouble(), EngineError);
    EXPECT_THROW(Value("1e999").AsDouble(), EngineError);

    EXPECT_EQ(Value(0.1 + 0.2).AsString(), "0.3");
    EXPECT_EQ(Value(true).AsString(), "True");
    EXPECT_TRUE(Value("yes").AsBoolean());
    EXPECT_THROW(Value("maybe").AsBoolean(), EngineError);

    // Dates are read only when every part is in range.
    engine::DateTime value;
    EXPECT_TRUE(engine::ParseDateTime("2024-02-29", value));
    EXPECT_EQ(value, (engine::DateTime{2024, 2, 29, 0, 0, 0.0}));
    EXPECT_FALSE(engine::ParseDateTime("2023-02-29", value));
    EXPECT_FALSE(engine::ParseDateTime("1900-02-29", value));
    EXPECT_TRUE(engine::ParseDateTime("2000-02-29T23:59:58.25", value));
    EXPECT_DOUBLE_EQ(value.Second, 58.25);
    EXPECT_FALSE(engine::ParseDateTime("2024-13-01", value));
    EXPECT_FALSE(engine::ParseDateTime("2024-01-01 24:00:00", value));
    EXPECT_EQ(engine::FormatDateTime({2024, 3, 1, 7, 5, 9.5}), "2024-03-01 07:05:09.500");
    EXPECT_EQ(engine::FormatDateTime({2024, 3, 1, 0, 0, 0.0}), "2024-03-01");
}

TEST(Columns, ValuesAreFittedToTheColumnOrRefusedNamingIt)
{
    engine::Field name{"NAME", engine::ftString, 5, 6, false, true};
    // Cut to the declared bytes, never inside a character: "é" takes two bytes.
    EXPECT_EQ(engine::CoerceToField(name, Value("abcdefg")), Value("abcde"));
    EXPECT_EQ(engine::CoerceToField(name, Value("abcd\xC3\xA9")), Value("abcd"));

    engine::Field small{"S", engine::ftSmallint, 0, 2, false, true};
    EXPECT_THAT(MessageOf<EngineError>([&] { engine::CoerceToField(small, Value(40000)); }),
                HasSubstr("Value 40000 is out of range for field 'S'"));

    engine::Field real{"X", engine::ftFloat, 0, 8, false, true};
    EXPECT_THROW(engine::CoerceToField(real, Value(std::nan(""))), EngineError);
    EXPECT_TRUE(engine::TextToField(real, "  ").IsNull());

    engine::Field date{"D", engine::ftDate, 0, 4, false, true};
    EXPECT_EQ(engine::CoerceToField(date, Value("2024-03-01 10:00:00")),
              Value(engine::DateTime{2024, 3, 1, 0, 0, 0.0}));
    EXPECT_THROW(engine::CoerceToField(date, Value("10:00:00")), EngineError);
}

// A memory table of n rows with one integer column.
std::unique_ptr<engine::MemoryTable> Numbers(int n)
{
    auto table = std::make_unique<engine::MemoryTable>();
    table->CreateInMemory({{"N", engine::ftInteger, 0, 0}});
    table->Open();
    for (int i = 0; i < n; ++i)
    {
        table->Append();
        table->SetValue(0, Value(i));
        table->Post();
    }
    table->First();
    return table;
}

// At the start, at the end, the record number and the value of the current record.
std::tuple<bool, bool, int, Value> Cursor(engine::DataSet& table)
{
    return {table.Bof(), table.Eof(), table.RecNo(), table.GetValue(0)};
}

TEST(DataSetCursor, MovesByTheEngineRulesDeletesKeepThePositionAndNamesAreChecked)
{
    auto empty = Numbers(0);
    EXPECT_EQ(Cursor(*empty), std::tuple(true, true, -1, Value()));
    EXPECT_THROW(empty->Edit(), EngineError);

    auto table = Numbers(4);
    EXPECT_EQ(Cursor(*table), std::tuple(true, false, 0, Value(0)));
    table->Last();
    EXPECT_EQ(Cursor(*table), std::tuple(false, true, 3, Value(3)));
    table->Next(); // on the last record: stays there
    EXPECT_EQ(Cursor(*table), std::tuple(false, true, 3, Value(3)));
    EXPECT_EQ(table->MoveBy(-10), -3);
    EXPECT_EQ(table->MoveBy(2), 2);
    table->Delete();
    EXPECT_EQ(table->GetValue(0), Value(3)); // the next record took its place
    table->Delete();
    // Deleting the last record makes the new last current.
    EXPECT_EQ(Cursor(*table), std::tuple(false, false, 1, Value(1)));

    // Moving posts an edit; cancelling drops one.
    table->Edit();
    table->SetValue(0, Value(42));
    table->First();
    EXPECT_EQ(table->GetValue(0), Value(0));
    table->Next();
    EXPECT_EQ(table->GetValue(0), Value(42));
    table->Append();
    table->Cancel();
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->GetValue(0), Value(42));

    EXPECT_THROW(table->SetValue(0, Value(1)), EngineError); // not editing
    EXPECT_EQ(table->FieldByName("n"), 0);
    EXPECT_EQ(MessageOf<EngineError>([&] { table->FieldByName("B"); }), "Field 'B' not found");
    table->SetReadOnly(true);
    EXPECT_THROW(table->Append(), EngineError);
    EXPECT_THROW(table->Edit(), EngineError);

    engine::MemoryTable unmade;
    EXPECT_THROW(unmade.Open(), EngineError);
    EXPECT_THROW(
        unmade.CreateInMemory({{"A", engine::ftInteger, 0, 0}, {"a", engine::ftFloat, 0, 0}}),
        EngineError); // names ignore case
}

using SessionTest = PrivateHome;

TEST_F(SessionTest, TheAliasFileIsCreatedWithTheStandardAlias)
{
    engine::Session& session = engine::Session::Default();
    EXPECT_EQ(session.AliasNames(), (std::vector<std::string>{"QUORVALIS"}));
    EXPECT_EQ(session.AliasDriver("quorvalis"), "STANDARD");
    ASSERT_TRUE(std::filesystem::exists(Home() / "aliases.ini"));
    // Only the alias file: the store itself is made on first use.
    EXPECT_FALSE(std::filesystem::exists(Home() / "quorvalis.gpkg"));
    // It may hold passwords: the owner's only, also when written again.
    const auto ownerOnly = [&]
    {
        return (std::filesystem::status(Home() / "aliases.ini").permissions() &
                std::filesystem::perms::all) ==
               (std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    };
    EXPECT_TRUE(ownerOnly());
    session.SetAlias({"HOME", "POSTGRES", "", "PG:dbname=home password=x"}, true);
    EXPECT_TRUE(ownerOnly());

    // Another editor's file, with a byte-order mark.
    std::filesystem::create_directories(Home() / "dbase");
    testing::WriteText(Home() / "aliases.ini",
                       "\xEF\xBB\xBF# surveys\n[JOBS]\ndriver = standard\npath = dbase\n\n"
                       "[OFFICE]\ndriver=POSTGRES\nconnection=PG:dbname=office\n");
    session.ReloadAliases();
    // QUORVALIS is there even when the file does not name it.
    EXPECT_EQ(session.AliasNames(), (std::vector<std::string>{"QUORVALIS", "JOBS", "OFFICE"}));
    EXPECT_EQ(session.AliasDriver("JOBS"), "STANDARD");
    EXPECT_EQ(session.AliasDriver("office"), "POSTGRES");
    EXPECT_EQ(session.FindAlias("office")->Connection, "PG:dbname=office");
}

TEST_F(SessionTest, AMalformedAliasFileIsRefusedNamingItsLine)
{
    const std::pair<const char*, const char*> rows[] = {
        {"path = x.gpkg\n", "line 1: a key before the first [ALIAS] section"},
        {"[A]\npath = a\n[a]\npath = b\n", "line 3: the alias a is defined twice"},
        {"[A]\npath = a\ncolour = red\n", "line 3: unknown key 'colour'"},
        {"[A]\ndriver = STANDARD\n",
         "line 1: the alias A needs exactly one of path and connection"},
        {"[A]\nconnection = host=x\n", "line 1: the connection of alias A must begin with PG:"},
        {"[A\n", "line 1: a section name must end with ]"},
        {"[A]\njust text\n", "line 2: expected key = value"},
    };
    for (const auto& [text, message] : rows)
    {
        testing::WriteText(Home() / "aliases.ini", text);
        EXPECT_THAT(MessageOf<EngineError>([] { engine::Session::Default().ReloadAliases(); }),
                    HasSubstr(message));
    }
}

} // namespace
} // namespace quorvalis::test
