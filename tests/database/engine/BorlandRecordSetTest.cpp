// Database record sets over a GeoPackage alias: connections, opening, the spatial component,
// refused posts, definitions and the factories. The round trips of every store are in
// BackendRoundTripTest.cpp.
#include "TestSupport.h"

#include "database/engine/Connection.h"
#include "database/engine/Session.h"

#include <gtest/gtest.h>

namespace quorvalis::test
{
namespace
{

using Names = std::vector<std::string>;

class BorlandRecordSetTest : public PrivateHome
{
protected:
    void SetUp() override
    {
        PrivateHome::SetUp();
        engine::Session::Default().SetAlias({"JOBS", "STANDARD", "jobs.gpkg", ""});
    }

    static std::unique_ptr<GBorlandRecordSet> Over(const std::string& table, bool readOnly = false)
    {
        return OverTable("JOBS", table, readOnly, false);
    }

    static std::unique_ptr<GBorlandRecordSet> Query(const std::vector<std::string>& sql,
                                                    const std::string& database = "JOBS")
    {
        return CreateBorlandRecordSet(false, "STANDARD", database, "", "", "", false, true, false,
                                      sql);
    }
};

TEST_F(BorlandRecordSetTest, RecordSetsAliveAtOnceGetTheirOwnConnectionNames)
{
    auto first = std::make_unique<GBorlandRecordSet>();
    GBorlandRecordSet second;
    EXPECT_EQ(first->Database().Name(), "__DB1__");
    EXPECT_EQ(second.Database().Name(), "__DB2__");
    EXPECT_EQ(engine::Session::Default().ConnectionNames(), (Names{"__DB1__", "__DB2__"}));
    EXPECT_THROW(engine::Connection("__db1__"), engine::EngineError); // names ignore case
    first.reset();
    GBorlandXYZRecordSet third;
    EXPECT_EQ(third.Database().Name(), "__DB1__");
}

TEST_F(BorlandRecordSetTest, OpeningGivesTheLoginLinesFailuresGiveFalseAndQueriesCannotWrite)
{
    FillNames("JOBS", "T", {"A", "B", "C"});
    auto recordSet = Over("T");
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Database().Params(), (Names{"USER NAME=", "PASSWORD="}));
    EXPECT_EQ(recordSet->Query().ConnectionName(), "__DB1__");
    EXPECT_EQ(MessageOf([&] { recordSet->SetSQL({"select a.* from T a"}); }),
              "Cannot perform this operation on an open recordset");
    recordSet->Close();
    recordSet->UserName = "surveyor";
    recordSet->Password = "s3cret";
    ASSERT_TRUE(recordSet->Open());
    EXPECT_EQ(recordSet->Database().Params(), (Names{"USER NAME=surveyor", "PASSWORD=s3cret"}));

    EXPECT_FALSE(Over("MISSING")->Open());
    EXPECT_FALSE(Query({"select a.* from T a"}, "NOWHERE")->Open());
    EXPECT_FALSE(Query({"delete from T"})->Open());
    EXPECT_EQ(NamesIn("JOBS", "T"), (Names{"A", "B", "C"}));

    auto selecting = Query(
        {"select NAME, NAME || NAME AS TWICE", "from T", "where NAME > 'A' order by NAME desc"});
    ASSERT_TRUE(selecting->Open());
    EXPECT_EQ(selecting->RecordCount(), 2);
    EXPECT_EQ(selecting->Fields().FieldByName("NAME", true).AsString(), "C");
    EXPECT_EQ(selecting->Fields().FieldByName("TWICE", true).AsString(), "CC");
    // The result is read-only: the engine refuses, and the record set stays browsing.
    EXPECT_THROW(selecting->Edit(), engine::EngineError);
    EXPECT_EQ(selecting->State(), rsBrowse);
}

TEST_F(BorlandRecordSetTest, ATextColumnNamedShapeIsOrdinaryAndARefusedPostIsNotCounted)
{
    ASSERT_TRUE(
        CreateTable("JOBS", "REQ", {{"Shape", fdtString, 10, true}, {"N", fdtInteger, 0, false}}));
    auto recordSet = Over("REQ");
    ASSERT_TRUE(recordSet->Open());
    EXPECT_FALSE(recordSet->HasSpatialComponent()); // only a blob holds shapes
    GField& shape = recordSet->Fields().FieldByName("SHAPE", false);
    EXPECT_FALSE(shape.Hidden());
    EXPECT_TRUE(shape.Required());
    recordSet->Append();
    EXPECT_THROW(recordSet->Post(), engine::EngineError);
    EXPECT_EQ(recordSet->State(), rsAppend);
    EXPECT_EQ(recordSet->RecordCount(), 0);
    shape.SetAsString("ok");
    recordSet->Post();
    EXPECT_EQ(recordSet->RecordCount(), 1);
}

TEST_F(BorlandRecordSetTest, DefinitionsCreateAnEmptyCopy)
{
    ASSERT_TRUE(CreateTable("JOBS", "SOURCE",
                            {{"NAME", fdtString, 12, true},
                             {"WHEN", fdtDateTime, 0, false},
                             {"OK", fdtBoolean, 0, false},
                             {"NOTE", fdtMemo, 0, false}},
                            true));
    auto source = Over("SOURCE");
    ASSERT_TRUE(source->Open());
    std::unique_ptr<GRecordSetDefinition> definition = source->GetDefinition();
    EXPECT_EQ(definition->DatabaseName, "JOBS");
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
    Names names;
    copy->Fields().GetFieldNames(names, true);
    EXPECT_EQ(names, (Names{"NAME", "WHEN", "OK", "NOTE", "SHAPE"}));
    std::vector<GFieldType> types;
    for (int i = 0; i < copy->Fields().Count(); ++i)
        types.push_back(copy->Fields().GetItem(i)->FieldType());
    EXPECT_EQ(types,
              (std::vector<GFieldType>{fdtString, fdtDateTime, fdtBoolean, fdtMemo, fdtBlob}));
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
            settings.XFieldName = "Clarke Longitude";
            return true;
        });
    auto recordSet = CreateBorlandXYZRecordSet(true, "STANDARD", "JOBS", "T", "X", "Y", "Z", "", "",
                                               true, false, false, {"select 1"});
    SetBorlandDataSourceDialog(nullptr);
    ASSERT_NE(recordSet, nullptr);
    EXPECT_EQ(std::tuple(seen.XYZ, seen.ReadOnlyEditable, seen.TableName),
              std::tuple(true, false, "T"));
    EXPECT_EQ(std::tuple(recordSet->DatabaseName, recordSet->XFieldName, recordSet->YFieldName,
                         recordSet->GetReadOnly(), recordSet->GetSQL(), recordSet->Active()),
              std::tuple("QUORVALIS", "Clarke Longitude", "Y", true, Names{"select 1"}, false));
}

} // namespace
} // namespace quorvalis::test
