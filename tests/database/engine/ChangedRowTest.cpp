// A row another program changed after this one read it is never silently overwritten: the flush
// that would write or delete it is refused naming the row, and nothing of the batch is written.
// Rows nobody else touched, of every column type, pass the check. Grouped by store: a dBase file,
// a GeoPackage and the PostgreSQL server of the test run.
#include "TestSupport.h"

#include "database/engine/DataSet.h"
#include "database/engine/GdalSupport.h"
#include "database/engine/Session.h"

#include <gtest/gtest.h>

namespace quorvalis::test
{
namespace
{

using Names = std::vector<std::string>;

class ChangedRowTest : public PerStore
{
protected:
    ChangedRowTest() : PerStore("ROWS", "POSTGRES") {}

    void SetUp() override
    {
        PerStore::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        table_ = Table("rows");
        FillNames(database_, table_, {"a", "b", "c"});
    }

    // Another program gives the row named from the name to (or, with an empty to, deletes it).
    void ChangeBehindTheBack(const std::string& from, const std::string& to)
    {
        if (GetParam() != Store::Dbase)
        {
            RunSql(target_,
                   to.empty() ? "DELETE FROM " + Quoted(table_) + " WHERE \"NAME\" = '" + from + "'"
                              : "UPDATE " + Quoted(table_) + " SET \"NAME\" = '" + to +
                                    "' WHERE \"NAME\" = '" + from + "'");
            return;
        }
        GDALAllRegister();
        engine::gdal::DatasetPtr dataset(GDALDataset::FromHandle(GDALOpenEx(
            table_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, nullptr, nullptr)));
        ASSERT_NE(dataset, nullptr);
        OGRLayer* layer = dataset->GetLayer(0);
        for (OGRFeature* feature = layer->GetNextFeature(); feature != nullptr;
             feature = layer->GetNextFeature())
        {
            engine::gdal::FeaturePtr owned(feature);
            if (from != feature->GetFieldAsString("NAME"))
                continue;
            if (to.empty())
                ASSERT_EQ(layer->DeleteFeature(feature->GetFID()), OGRERR_NONE);
            else
            {
                feature->SetField("NAME", to.c_str());
                ASSERT_EQ(layer->SetFeature(feature), OGRERR_NONE);
            }
            return;
        }
        FAIL() << "no row " << from;
    }

    Names NamesOf() const { return NamesIn(database_, table_); }

    // Moves the record set to the row of this name (reading it).
    void GoTo(GRecordSet& recordSet, const std::string& name)
    {
        for (recordSet.First(); !recordSet.Eof(); recordSet.Next())
            if (recordSet.Fields().FieldByName("NAME", true).AsString() == name)
                return;
        FAIL() << "no row " << name;
    }

    std::string table_;
};

TEST_P(ChangedRowTest, AWriteOrDeleteOfARowAnotherChangedIsRefusedAndWritesNothing)
{
    auto recordSet = OverTable(database_, table_, false, true);
    ASSERT_TRUE(recordSet->Open());
    GoTo(*recordSet, "b");
    ChangeBehindTheBack("b", "theirs");
    // In the same batch: a new row and an edit of a row nobody else touched.
    PostName(*recordSet, "mine", false);
    GoTo(*recordSet, "c");
    PostName(*recordSet, "c2", false);
    PostName(*recordSet, "new", true);
    const std::string message = MessageOf<GDatabaseException>([&] { recordSet->Flush(); });
    EXPECT_THAT(message, ::testing::StartsWith("Unable to apply updates\r"));
    EXPECT_THAT(message, HasSubstr(GetParam() == Store::Dbase ? "record 2" : "row 2"));
    EXPECT_THAT(message, HasSubstr(engine::kChangedSinceRead));
    recordSet.reset();
    EXPECT_EQ(NamesOf(), (Names{"a", "theirs", "c"}));

    // Deleting it is refused as well; read again, it can be changed.
    recordSet = OverTable(database_, table_, false, true);
    ASSERT_TRUE(recordSet->Open());
    GoTo(*recordSet, "theirs");
    ChangeBehindTheBack("theirs", "again");
    recordSet->DataSet().Delete();
    EXPECT_THAT(MessageOf<GDatabaseException>([&] { recordSet->Flush(); }),
                HasSubstr(engine::kChangedSinceRead));
    recordSet.reset();
    recordSet = OverTable(database_, table_, false, true);
    ASSERT_TRUE(recordSet->Open());
    GoTo(*recordSet, "again");
    PostName(*recordSet, "mine", false);
    recordSet->Flush();
    recordSet.reset();
    EXPECT_EQ(NamesOf(), (Names{"a", "mine", "c"}));
}

TEST_P(ChangedRowTest, ARowAnotherDeletedIsNotWrittenAgain)
{
    auto recordSet = OverTable(database_, table_, false, true);
    ASSERT_TRUE(recordSet->Open());
    GoTo(*recordSet, "c");
    ChangeBehindTheBack("c", "");
    PostName(*recordSet, "mine", false);
    EXPECT_THAT(
        MessageOf<GDatabaseException>([&] { recordSet->Flush(); }),
        ::testing::AnyOf(HasSubstr("no longer exists"), HasSubstr(engine::kChangedSinceRead)));
    recordSet.reset();
    EXPECT_EQ(NamesOf(), (Names{"a", "b"}));
}

TEST_P(ChangedRowTest, RowsOfEveryTypeNobodyElseChangedAreWrittenAndDeleted)
{
    // Another row changed meanwhile is no reason to refuse.
    auto recordSet = OverTable(database_, table_, false, true);
    ASSERT_TRUE(recordSet->Open());
    GoTo(*recordSet, "a");
    ChangeBehindTheBack("c", "theirs");
    PostName(*recordSet, "mine", false);
    recordSet->Flush();
    recordSet.reset();
    EXPECT_EQ(NamesOf(), (Names{"mine", "b", "theirs"}));

    // Every column type reads back the same inside the flush as when it was first read.
    const std::string typed = Table("typed");
    ASSERT_TRUE(CreateTable(database_, typed,
                            {{"COUNT", fdtInteger, 0, false},
                             {"REAL", fdtFloat, 0, false},
                             {"NAME", fdtString, 12, false},
                             {"FLAG", fdtBoolean, 0, false},
                             {"WHEN", fdtDateTime, 0, false}}));
    {
        auto filling = OverTable(database_, typed, false, false);
        ASSERT_TRUE(filling->Open());
        for (int i = 0; i < 3; ++i)
        {
            filling->Append();
            GFieldList& fields = filling->Fields();
            fields.FieldByName("COUNT", true).SetValue(GVariant(-2147483647 + i));
            fields.FieldByName("REAL", true).SetValue(GVariant(-2506000.123456789 / (i + 1)));
            fields.FieldByName("NAME", true)
                .SetValue(GVariant("K\xC3\xB6nig " + std::to_string(i)));
            fields.FieldByName("FLAG", true).SetValue(GVariant(i % 2 == 0));
            fields.FieldByName("WHEN", true)
                .SetValue(GVariant(engine::DateTime{2024, 2, 29, 13, 45, 30.5 + i}));
            filling->Post();
        }
        filling->Flush();
    }
    auto editing = OverTable(database_, typed, false, true);
    ASSERT_TRUE(editing->Open());
    editing->Edit();
    editing->Fields().FieldByName("REAL", true).SetValue(GVariant(1.25));
    editing->Post();
    editing->Next();
    editing->DataSet().Delete();
    EXPECT_NO_THROW(editing->Flush());
    // Read again after the flush, the rows pass once more.
    editing->Next();
    editing->Edit();
    editing->Fields().FieldByName("REAL", true).SetValue(GVariant(2.5));
    editing->Post();
    EXPECT_NO_THROW(editing->Flush());
    editing.reset();
    {
        auto reading = OverTable(database_, typed, true, false);
        ASSERT_TRUE(reading->Open());
        EXPECT_EQ(reading->RecordCount(), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ChangedRowTest,
                         ::testing::Values(Store::Dbase, Store::GeoPackage, Store::PostgreSQL),
                         StoreName);

} // namespace
} // namespace quorvalis::test
