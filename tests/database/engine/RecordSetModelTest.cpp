// The record set's state machine and every message of its checks, through concrete record sets.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quorvalis::test
{
namespace
{

// The bare base: every step is the base step.
class BareRecordSet : public GRecordSet
{
public:
    int StringReads = 0;
    GVariant Stored;
    GFieldType Type = fdtInteger;

    std::string GetFieldAsString(std::int32_t index) override
    {
        ++StringReads;
        return GRecordSet::GetFieldAsString(index);
    }
    GVariant GetFieldValue(std::int32_t) override { return Stored; }
    bool OpenResult = false;

protected:
    bool DoOpen() override { return OpenResult; }
    std::int32_t DoGetRecordCount() override { return 3; }
    void DoLoadFields() override
    {
        Fields().Clear();
        Fields().Add(std::make_unique<GField>(
            *this, 0, std::make_unique<GFieldDefinition>("SHAPE", Type, 0, false), false));
    }
};

TEST(RecordSetModel, ANewRecordSetIsClosedAndABaseOpenFailsQuietly)
{
    BareRecordSet recordSet;
    EXPECT_FALSE(recordSet.Active());
    EXPECT_EQ(recordSet.State(), rsBrowse);
    EXPECT_EQ(recordSet.RecordIndex(), 0);
    EXPECT_EQ(recordSet.RecordCount(), 0);
    EXPECT_FALSE(recordSet.HasSpatialComponent());
    EXPECT_TRUE(recordSet.GetReadOnly());
    EXPECT_FALSE(recordSet.GetCachedUpdates());
    EXPECT_FALSE(recordSet.CreateTable(GRecordSetDefinition()));

    EXPECT_FALSE(recordSet.Open());
    EXPECT_FALSE(recordSet.Active());
    recordSet.Close(); // closing a closed record set does nothing
    ExpectMessage<GDatabaseException>([&] { recordSet.GetDataSet(); },
                                      "The recordset must be open to access the dataset");
    ExpectMessage<GDatabaseException>([&] { recordSet.GetDefinition(); },
                                      "The recordset must be active to perform this function");

    recordSet.OpenResult = true;
    ASSERT_TRUE(recordSet.Open());
    EXPECT_EQ(recordSet.RecordCount(), 3);
    EXPECT_EQ(recordSet.RecordInformation().Count(), 3);
    EXPECT_EQ(recordSet.GetDataSet(), nullptr);
    EXPECT_EQ(recordSet.GetDefinition(), nullptr);
}

TEST(RecordSetModel, FieldValuesFallBackToTypeDefaultsAndBlobsAreNotRead)
{
    BareRecordSet recordSet;
    recordSet.OpenResult = true;
    struct Row
    {
        GFieldType type;
        GVariant expected;
    };
    const Row rows[] = {
        {fdtInteger, GVariant(0)},     {fdtFloat, GVariant(0.0)},       {fdtString, GVariant("")},
        {fdtBoolean, GVariant(false)}, {fdtDateTime, GVariant::Null()}, {fdtMemo, GVariant::Null()},
        {fdtBlob, GVariant::Null()},
    };
    for (const Row& row : rows)
    {
        recordSet.Type = row.type;
        ASSERT_TRUE(recordSet.Open());
        const GField& field = recordSet.Fields().FieldByName("SHAPE", true);
        EXPECT_EQ(field.GetValue(), row.expected) << int(row.type);
        EXPECT_TRUE(recordSet.GetFieldValue(0).IsNull());
    }
    recordSet.Stored = GVariant(7);
    recordSet.Type = fdtInteger;
    ASSERT_TRUE(recordSet.Open());
    EXPECT_EQ(recordSet.Fields().GetItem(0)->GetValue(), GVariant(7));

    recordSet.Type = fdtBlob;
    ASSERT_TRUE(recordSet.Open());
    recordSet.StringReads = 0;
    EXPECT_EQ(recordSet.Fields().GetItem(0)->AsString(), "(Blob)");
    EXPECT_EQ(recordSet.StringReads, 0);
}

TEST(RecordSetModel, FieldLookupsHonourCaseAndHiddenFields)
{
    BareRecordSet recordSet;
    recordSet.OpenResult = true;
    ASSERT_TRUE(recordSet.Open());
    GFieldList& fields = recordSet.Fields();
    EXPECT_EQ(&fields.FieldByName("shape", false), fields.GetItem(0));
    ExpectMessage<GDatabaseException>([&] { fields.FieldByName("shape", true); },
                                      "Field shape not found");
    EXPECT_EQ(fields.FindField("shape", true), nullptr);

    fields.GetItem(0)->SetHidden(true);
    std::vector<std::string> names = {"left over"};
    fields.GetFieldNames(names, false);
    EXPECT_TRUE(names.empty());
    fields.GetFieldNames(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"SHAPE"}));

    GFieldDefinitionList definitions;
    definitions.Add(std::make_unique<GFieldDefinition>("Name", fdtString, 41, true));
    EXPECT_EQ(definitions.FieldByName("NAME", false).Size, 41);
    ExpectMessage<GDatabaseException>([&] { definitions.FieldByName("NAME", true); },
                                      "Field NAME not found");
}

TEST(RecordSetModel, WalkingToTheEndAndPastIt)
{
    FilledMemoryRecordSet recordSet(3);
    ASSERT_TRUE(recordSet.Open());
    EXPECT_EQ(recordSet.RecordCount(), 3);
    EXPECT_FALSE(recordSet.Eof());
    std::vector<std::string> names;
    while (!recordSet.Eof())
    {
        names.push_back(recordSet.Fields().FieldByName("NAME", true).AsString());
        recordSet.Next();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"row 1", "row 2", "row 3"}));
    EXPECT_EQ(recordSet.RecordIndex(), 3);
    const int calls = recordSet.DoNextCalls;
    recordSet.Next();
    EXPECT_EQ(recordSet.RecordIndex(), 3);
    EXPECT_EQ(recordSet.DoNextCalls, calls + 1);
    recordSet.First();
    EXPECT_EQ(recordSet.RecordIndex(), 0);
    EXPECT_EQ(recordSet.Fields().FieldByName("ID", true).GetValue(), GVariant(1));

    FilledMemoryRecordSet empty(0);
    ASSERT_TRUE(empty.Open());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.RecordCount(), 0);
}

TEST(RecordSetModel, AppendCountsTheRecordOnlyWhenPosted)
{
    FilledMemoryRecordSet recordSet(5);
    ASSERT_TRUE(recordSet.Open());
    recordSet.Next();
    recordSet.Append();
    EXPECT_EQ(recordSet.State(), rsAppend);
    EXPECT_EQ(recordSet.RecordIndex(), 5);
    EXPECT_EQ(recordSet.RecordCount(), 5);
    EXPECT_EQ(recordSet.RecordInformation().Count(), 6);
    recordSet.Fields().FieldByName("NAME", true).SetAsString("appended");
    recordSet.Post();
    EXPECT_EQ(recordSet.State(), rsBrowse);
    EXPECT_EQ(recordSet.RecordCount(), 6);
    EXPECT_EQ(recordSet.RecordInformation().Count(), 6);

    recordSet.Edit();
    recordSet.Fields().FieldByName("VALUE", true).SetValue(GVariant(99.5));
    recordSet.Post();
    EXPECT_EQ(recordSet.RecordCount(), 6);
    EXPECT_EQ(recordSet.Table().RecordCount(), 6);
    EXPECT_EQ(recordSet.Fields().FieldByName("VALUE", true).GetValue(), GVariant(99.5));
    EXPECT_EQ(recordSet.Fields().FieldByName("NAME", true).AsString(), "appended");
}

TEST(RecordSetModel, ARejectedPostKeepsTheEditAndEverythingThatNeedsBrowseIsRefused)
{
    FilledMemoryRecordSet recordSet(2);
    ASSERT_TRUE(recordSet.Open());
    int afterPost = 0;
    recordSet.BeforePost = [](GRecordSet&, bool& accept) { accept = false; };
    recordSet.AfterPost = [&](GRecordSet&) { ++afterPost; };
    recordSet.Edit();
    recordSet.Post();
    EXPECT_EQ(recordSet.State(), rsEdit);
    EXPECT_EQ(afterPost, 0);

    ExpectMessage<GDatabaseException>([&] { recordSet.First(); },
                                      "You are currently editing a record");
    ExpectMessage<GDatabaseException>([&] { recordSet.Next(); },
                                      "You are currently editing a record");
    ExpectMessage<GDatabaseException>([&] { recordSet.Append(); },
                                      "You cannot add a record while in edit mode");
    ExpectMessage<GDatabaseException>([&] { recordSet.Edit(); },
                                      "You are already editing the record");
    ExpectMessage<GDatabaseException>([&] { recordSet.Flush(); },
                                      "Cannot flush the recordset while in edit mode");
    ExpectMessage<GDatabaseException>([&] { recordSet.Close(); },
                                      "Cannot close the recordset while in edit mode");
    EXPECT_TRUE(recordSet.Active());
    EXPECT_EQ(recordSet.RecordIndex(), 0);

    recordSet.BeforePost = nullptr;
    recordSet.Post();
    EXPECT_EQ(afterPost, 1);
    ExpectMessage<GDatabaseException>([&] { recordSet.Post(); }, "You are not editing the record");
    ExpectMessage<GDatabaseException>([&] { recordSet.Fields().GetItem(0)->SetValue(GVariant(1)); },
                                      "You are not in edit mode");
    ExpectMessage<GDatabaseException>([&] { recordSet.Fields().GetItem(0)->SetAsString("1"); },
                                      "You are not in edit mode");
    GStream stream;
    ExpectMessage<GDatabaseException>([&] { recordSet.LoadFieldFromStream(0, stream); },
                                      "You are not in edit mode");
    ExpectMessage<GDatabaseException>(
        [&] { recordSet.SetReadOnly(true); },
        "You cannot change this property while the recordset is active");
    ExpectMessage<GDatabaseException>(
        [&] { recordSet.SetCachedUpdates(false); },
        "You cannot change this property while the recordset is active");
}

TEST(RecordSetModel, ShapesNeedASpatialComponentAndEditModeInThatOrder)
{
    FilledMemoryRecordSet recordSet(1);
    ASSERT_TRUE(recordSet.Open());
    EXPECT_FALSE(recordSet.HasSpatialComponent());
    ExpectMessage<GDatabaseException>([&] { recordSet.GetShape(); },
                                      "The recordset does not contain a spatial component");
    ExpectMessage<GDatabaseException>([&] { recordSet.GetShapeAt(0); },
                                      "The recordset does not contain a spatial component");
    GPoint point(1, 2);
    ExpectMessage<GDatabaseException>([&] { recordSet.SetShape(point); },
                                      "You are not in edit mode");
    recordSet.Edit();
    ExpectMessage<GDatabaseException>([&] { recordSet.SetShape(point); },
                                      "The recordset does not contain a spatial component");
}

TEST(RecordSetModel, HooksFireAroundTheirOperations)
{
    FilledMemoryRecordSet recordSet(2);
    std::vector<std::string> log;
    auto note = [&](const char* name)
    { return [&log, name](GRecordSet&) { log.push_back(name); }; };
    recordSet.BeforeOpen = note("BeforeOpen");
    recordSet.BeforeScroll = note("BeforeScroll");
    recordSet.BeforeAppend = note("BeforeAppend");
    recordSet.BeforeEdit = note("BeforeEdit");
    recordSet.AfterPost = note("AfterPost");
    recordSet.BeforeClose = note("BeforeClose");
    recordSet.BeforePost = [&](GRecordSet&, bool&) { log.push_back("BeforePost"); };
    ASSERT_TRUE(recordSet.Open());
    recordSet.Next();
    recordSet.Edit();
    recordSet.Post();
    recordSet.Append();
    recordSet.Post();
    recordSet.Flush();
    recordSet.Close();
    EXPECT_EQ(log, (std::vector<std::string>{
                       "BeforeOpen", "BeforeScroll", "BeforeEdit", "BeforePost", "AfterPost",
                       "BeforeAppend", "BeforePost", "AfterPost", "BeforeScroll", "BeforeClose"}));
    EXPECT_FALSE(recordSet.Active());
    EXPECT_EQ(recordSet.RecordCount(), 0);
    EXPECT_EQ(recordSet.Fields().Count(), 0);
    EXPECT_EQ(recordSet.RecordInformation().Count(), 0);
}

TEST(RecordSetModel, AReadOnlyMemoryRecordSetIsFilledButRefusesEditsWithoutGettingStuck)
{
    FilledMemoryRecordSet recordSet(2);
    recordSet.SetReadOnly(true);
    ASSERT_TRUE(recordSet.Open());
    EXPECT_TRUE(recordSet.GetReadOnly());
    EXPECT_TRUE(recordSet.Fields().GetItem(0)->ReadOnly());
    EXPECT_EQ(recordSet.RecordCount(), 2);
    EXPECT_THROW(recordSet.Edit(), engine::EngineError);
    EXPECT_EQ(recordSet.State(), rsBrowse);
    EXPECT_THROW(recordSet.Append(), engine::EngineError);
    EXPECT_EQ(recordSet.State(), rsBrowse);
    EXPECT_EQ(recordSet.RecordIndex(), 0);
    EXPECT_EQ(recordSet.RecordInformation().Count(), 2);
    recordSet.Next(); // still usable
    recordSet.Close();

    EXPECT_TRUE(recordSet.GetCachedUpdates());
    ExpectMessage<GDatabaseException>([&] { recordSet.CreateTable(GRecordSetDefinition()); },
                                      "Cannot create virtual memory recordsets");
}

TEST(RecordSetModel, DestroyingARecordSetInTheMiddleOfAnEditNeverThrows)
{
    auto recordSet = std::make_unique<FilledMemoryRecordSet>(2);
    ASSERT_TRUE(recordSet->Open());
    recordSet->Append();
    recordSet->BeforeClose = [](GRecordSet&) { throw std::runtime_error("hook failure"); };
    EXPECT_NO_THROW(recordSet.reset());
}

TEST(RecordSetModel, DefinitionsDescribeTheOpenRecordSet)
{
    FilledMemoryRecordSet recordSet(1);
    ASSERT_TRUE(recordSet.Open());
    const std::unique_ptr<GRecordSetDefinition> definition = recordSet.GetDefinition();
    ASSERT_NE(definition, nullptr);
    EXPECT_EQ(definition->TableName, "");
    EXPECT_FALSE(definition->HasSpatialComponent);
    ASSERT_EQ(definition->FieldDefinitions.Count(), 3);
    const GFieldDefinition& name = definition->FieldDefinitions.FieldByName("NAME", true);
    EXPECT_EQ(name.FieldType, fdtString);
    EXPECT_EQ(name.Size, 11); // declared length plus one
    EXPECT_EQ(definition->FieldDefinitions.FieldByName("VALUE", true).Size, 0);
    EXPECT_EQ(recordSet.GetDataSet(), &recordSet.DataSet());
}

} // namespace
} // namespace quorvalis::test
