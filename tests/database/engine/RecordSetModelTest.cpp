// The record set's state machine and every message of its checks, through an in-memory record set.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorvalis::test
{
namespace
{

using Refusals = std::vector<std::pair<std::function<void()>, std::string>>;

void ExpectRefusals(const Refusals& refusals)
{
    for (const auto& [action, message] : refusals)
        EXPECT_EQ(MessageOf<GDatabaseException>(action), message);
}

TEST(RecordSetModel, AClosedRecordSetRefusesAndAnOpenOneDescribesItself)
{
    FilledMemoryRecordSet recordSet(1);
    recordSet.Close(); // closing a closed record set does nothing
    ExpectRefusals({
        {[&] { recordSet.GetDataSet(); }, "The recordset must be open to access the dataset"},
        {[&] { recordSet.GetDefinition(); },
         "The recordset must be active to perform this function"},
    });

    ASSERT_TRUE(recordSet.Open());
    EXPECT_EQ(recordSet.GetDataSet(), &recordSet.DataSet());
    const std::unique_ptr<GRecordSetDefinition> definition = recordSet.GetDefinition();
    ASSERT_EQ(definition->FieldDefinitions.Count(), 3);
    EXPECT_EQ(definition->FieldDefinitions.FieldByName("name", false).Size, 11); // length + 1

    GFieldList& fields = recordSet.Fields();
    EXPECT_EQ(&fields.FieldByName("name", false), fields.GetItem(2));
    ExpectRefusals({
        {[&] { fields.FieldByName("name", true); }, "Field name not found"},
        {[&] { definition->FieldDefinitions.FieldByName("name", true); }, "Field name not found"},
    });
    fields.GetItem(0)->SetHidden(true);
    std::vector<std::string> names = {"left over"};
    fields.GetFieldNames(names, false);
    EXPECT_EQ(names, (std::vector<std::string>{"VALUE", "NAME"}));
    fields.GetFieldNames(names, true);
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "VALUE", "NAME"}));
    ASSERT_TRUE(recordSet.Open()); // opening an open record set starts afresh
    EXPECT_FALSE(fields.GetItem(0)->Hidden());
}

// State, record index, record count and number of record entries.
std::tuple<GRecordSetState, int, int, int> Status(GRecordSet& recordSet)
{
    return {recordSet.State(), recordSet.RecordIndex(), recordSet.RecordCount(),
            recordSet.RecordInformation().Count()};
}

TEST(RecordSetModel, WalkingAppendingAndEditing)
{
    FilledMemoryRecordSet recordSet(3);
    ASSERT_TRUE(recordSet.Open());
    std::vector<std::string> names;
    for (; !recordSet.Eof(); recordSet.Next())
        names.push_back(recordSet.Fields().FieldByName("NAME", true).AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"row 1", "row 2", "row 3"}));
    recordSet.Next(); // past the end: stays
    EXPECT_EQ(Status(recordSet), std::tuple(rsBrowse, 3, 3, 3));
    recordSet.First();
    EXPECT_EQ(recordSet.Fields().FieldByName("ID", true).GetValue(), GVariant(1));

    // An appended record counts only once it is posted.
    recordSet.Append();
    EXPECT_EQ(Status(recordSet), std::tuple(rsAppend, 3, 3, 4));
    recordSet.Fields().FieldByName("NAME", true).SetAsString("appended");
    recordSet.Post();
    EXPECT_EQ(Status(recordSet), std::tuple(rsBrowse, 3, 4, 4));
    recordSet.Edit();
    recordSet.Fields().FieldByName("VALUE", true).SetValue(GVariant(99.5));
    recordSet.Post();
    EXPECT_EQ(Status(recordSet), std::tuple(rsBrowse, 3, 4, 4));
    EXPECT_EQ(recordSet.Fields().FieldByName("VALUE", true).GetValue(), GVariant(99.5));
    EXPECT_EQ(recordSet.Fields().FieldByName("NAME", true).AsString(), "appended");

    FilledMemoryRecordSet empty(0);
    ASSERT_TRUE(empty.Open());
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(Status(empty), std::tuple(rsBrowse, 0, 0, 0));
}

TEST(RecordSetModel, ARejectedPostKeepsTheEditAndEverythingThatNeedsAnotherStateIsRefused)
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
    GPoint point(1, 2);
    ExpectRefusals({
        {[&] { recordSet.First(); }, "You are currently editing a record"},
        {[&] { recordSet.Next(); }, "You are currently editing a record"},
        {[&] { recordSet.Append(); }, "You cannot add a record while in edit mode"},
        {[&] { recordSet.Edit(); }, "You are already editing the record"},
        {[&] { recordSet.Flush(); }, "Cannot flush the recordset while in edit mode"},
        {[&] { recordSet.Close(); }, "Cannot close the recordset while in edit mode"},
        // The spatial check comes after the edit check.
        {[&] { recordSet.SetShape(point); }, "The recordset does not contain a spatial component"},
    });
    EXPECT_TRUE(recordSet.Active());
    EXPECT_EQ(recordSet.RecordIndex(), 0);

    recordSet.BeforePost = nullptr;
    recordSet.Post();
    EXPECT_EQ(afterPost, 1);
    GStream stream;
    ExpectRefusals({
        {[&] { recordSet.Post(); }, "You are not editing the record"},
        {[&] { recordSet.Fields().GetItem(0)->SetValue(GVariant(1)); }, "You are not in edit mode"},
        {[&] { recordSet.Fields().GetItem(0)->SetAsString("1"); }, "You are not in edit mode"},
        {[&] { recordSet.LoadFieldFromStream(0, stream); }, "You are not in edit mode"},
        {[&] { recordSet.SetShape(point); }, "You are not in edit mode"},
        {[&] { recordSet.GetShape(); }, "The recordset does not contain a spatial component"},
        {[&] { recordSet.GetShapeAt(0); }, "The recordset does not contain a spatial component"},
        {[&] { recordSet.SetReadOnly(true); },
         "You cannot change this property while the recordset is active"},
        {[&] { recordSet.SetCachedUpdates(false); },
         "You cannot change this property while the recordset is active"},
    });
}

TEST(RecordSetModel, HooksFireAroundTheirOperationsAndReadOnlyRefusesEdits)
{
    std::vector<std::string> log; // outlives the record set, whose destructor still closes
    FilledMemoryRecordSet recordSet(2);
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
    EXPECT_EQ(Status(recordSet), std::tuple(rsBrowse, 0, 0, 0));
    EXPECT_EQ(recordSet.Fields().Count(), 0);

    // Read-only, the engine refuses edits and the record set stays browsing.
    recordSet.SetReadOnly(true);
    ASSERT_TRUE(recordSet.Open());
    EXPECT_THROW(recordSet.Edit(), engine::EngineError);
    EXPECT_THROW(recordSet.Append(), engine::EngineError);
    EXPECT_EQ(Status(recordSet), std::tuple(rsBrowse, 0, 2, 2));
    EXPECT_EQ(MessageOf<GDatabaseException>([&] { recordSet.CreateTable({}); }),
              "Cannot create virtual memory recordsets");
}

TEST(RecordSetModel, DestroyingARecordSetInTheMiddleOfAnEditNeverThrows)
{
    for (const bool append : {true, false})
    {
        auto recordSet = std::make_unique<FilledMemoryRecordSet>(2);
        ASSERT_TRUE(recordSet->Open());
        append ? recordSet->Append() : recordSet->Edit();
        recordSet->BeforeClose = [](GRecordSet&) { throw std::runtime_error("hook failure"); };
        EXPECT_NO_THROW(recordSet.reset());
    }
}

} // namespace
} // namespace quorvalis::test
