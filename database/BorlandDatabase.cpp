#include "database/BorlandDatabase.h"

#include "database/DataSourceDialog.h"
#include "database/engine/GdalSupport.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "database/engine/Text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <tuple>

namespace quorvalis
{

namespace
{

using DialogHook = GDataSourceDialogHook<GBorlandDataSourceSettings>;

std::unique_ptr<engine::DataSet> NewMemoryTable()
{
    auto table = std::make_unique<GInMemoryTable>();
    table->SetTableName("xxxxxxxx.db");
    return table;
}

bool IsShapeName(const std::string& name)
{
    return engine::EqualsNoCase(name, "SHAPE");
}

} // namespace

GFieldType FieldTypeOfEngine(engine::FieldType type)
{
    switch (type)
    {
    case engine::ftSmallint:
    case engine::ftInteger:
    case engine::ftWord:
    case engine::ftAutoInc:
        return fdtInteger;
    case engine::ftFloat:
    case engine::ftCurrency:
    case engine::ftBCD:
        return fdtFloat;
    case engine::ftDate:
    case engine::ftTime:
    case engine::ftDateTime:
        return fdtDateTime;
    case engine::ftString:
        return fdtString;
    case engine::ftBoolean:
        return fdtBoolean;
    case engine::ftBytes:
    case engine::ftVarBytes:
    case engine::ftBlob:
    case engine::ftGraphic:
        return fdtBlob;
    case engine::ftMemo:
    case engine::ftFmtMemo:
        return fdtMemo;
    case engine::ftUnknown:
        break;
    }
    return fdtUnknown;
}

engine::FieldType EngineTypeOfField(GFieldType type)
{
    switch (type)
    {
    case fdtInteger:
        return engine::ftInteger;
    case fdtFloat:
        return engine::ftFloat;
    case fdtDateTime:
        return engine::ftDateTime;
    case fdtString:
        return engine::ftString;
    case fdtBoolean:
        return engine::ftBoolean;
    case fdtBlob:
        return engine::ftBlob;
    case fdtMemo:
        return engine::ftMemo;
    case fdtNone:
    case fdtUnknown:
        break;
    }
    return engine::ftUnknown;
}

// --- GBorlandBaseRecordSet --------------------------------------------------------------------

GBorlandBaseRecordSet::GBorlandBaseRecordSet(std::unique_ptr<engine::DataSet> dataSet)
    : dataSet_(std::move(dataSet))
{
}

GBorlandBaseRecordSet::~GBorlandBaseRecordSet()
{
    ReleaseDataSet();
}

void GBorlandBaseRecordSet::ReleaseDataSet() noexcept
{
    try
    {
        if (IsEditing() && dataSet_)
            dataSet_->Cancel();
    }
    catch (...)
    {
    }
    AbandonEdit();
    try
    {
        Close();
        if (dataSet_)
            dataSet_->Close();
    }
    catch (...)
    {
        // Releasing the dataset cannot be reported from a destructor.
    }
}

engine::DataSet& GBorlandBaseRecordSet::DataSet() const
{
    return *dataSet_;
}

void GBorlandBaseRecordSet::ReplaceDataSet(std::unique_ptr<engine::DataSet> dataSet)
{
    if (dataSet_)
        dataSet_->Close();
    dataSet_ = std::move(dataSet);
}

void GBorlandBaseRecordSet::LoadFieldsFromDataSet(bool hideShape)
{
    Fields().Clear();
    const bool readOnly = GetReadOnly();
    const engine::DataSet& data = DataSet();
    for (int i = 0; i < data.FieldCount(); ++i)
    {
        const engine::Field& column = data.GetField(i);
        const GFieldType type = FieldTypeOfEngine(column.Type);
        auto definition = std::make_unique<GFieldDefinition>(
            column.Name, type, type == fdtString ? column.DataSize : 0, column.Required);
        auto field = std::make_unique<GField>(*this, i, std::move(definition), readOnly);
        if (hideShape && type == fdtBlob && IsShapeName(column.Name))
            field->SetHidden(true);
        Fields().Add(std::move(field));
    }
}

void GBorlandBaseRecordSet::DoLoadFields()
{
    LoadFieldsFromDataSet(true);
}

GVariant GBorlandBaseRecordSet::GetFieldValue(std::int32_t index)
{
    return DataSet().GetValue(index);
}

void GBorlandBaseRecordSet::SetFieldValue(std::int32_t index, const GVariant& value)
{
    GRecordSet::SetFieldValue(index, value);
    DataSet().SetValue(index, value);
}

std::string GBorlandBaseRecordSet::GetFieldAsString(std::int32_t index)
{
    return DataSet().GetText(index);
}

void GBorlandBaseRecordSet::SetFieldAsString(std::int32_t index, const std::string& text)
{
    GRecordSet::SetFieldAsString(index, text);
    DataSet().SetText(index, text);
}

void GBorlandBaseRecordSet::LoadFieldFromStream(std::int32_t index, GStream& stream)
{
    GRecordSet::LoadFieldFromStream(index, stream);
    DataSet().SetBlob(index, stream.Bytes());
}

void GBorlandBaseRecordSet::SaveFieldToStream(std::int32_t index, GStream& stream)
{
    GRecordSet::SaveFieldToStream(index, stream);
    const engine::Bytes bytes = DataSet().GetBlob(index);
    stream.Write(bytes.data(), bytes.size());
    stream.Rewind();
}

std::string GBorlandBaseRecordSet::CurrentRowLabel() const
{
    const std::string table = DataSet().TableLabel();
    std::string row = DataSet().CurrentRowKey();
    if (table.empty())
    {
        if (!row.empty() && row[0] >= 'a' && row[0] <= 'z')
            row[0] = static_cast<char>(row[0] - 'a' + 'A');
        return row;
    }
    return "Table '" + table + "', " + row;
}

std::unique_ptr<GShape> GBorlandBaseRecordSet::DoGetShape()
{
    GRecordSet::DoGetShape();
    const GField& field = Fields().FieldByName("SHAPE", false);
    GStream stream;
    SaveFieldToStream(field.Index(), stream);
    stream.Rewind();
    std::unique_ptr<GShape> shape;
    try
    {
        shape = ReadShape(stream);
    }
    catch (const GSpatialException& error)
    {
        // An empty (null) blob reads as class 0: the row has no shape to transform.
        throw GSpatialException(std::string(error.what()) + "\r" + CurrentRowLabel() +
                                ": the column " + field.Name() + " holds no valid shape");
    }
    CheckFinite(*shape, field.Name());
    return shape;
}

void GBorlandBaseRecordSet::CheckFinite(const GShape& shape, const std::string& column) const
{
    bool finite = true;
    shape.ForEachPoint([&](const GPoint& point)
                       { finite = finite && std::isfinite(point.X) && std::isfinite(point.Y); });
    if (!finite)
        throw GDatabaseException(CurrentRowLabel() + ": the column " + column +
                                 " holds a coordinate that is not a finite number");
}

void GBorlandBaseRecordSet::DoSetShape(const GShape& shape)
{
    GRecordSet::DoSetShape(shape);
    const GField& field = Fields().FieldByName("SHAPE", false);
    CheckFinite(shape, field.Name());
    GStream stream;
    stream.SetSize(shape.StreamSize());
    stream.Rewind();
    shape.SaveToStream(stream);
    stream.Rewind();
    LoadFieldFromStream(field.Index(), stream);
}

void GBorlandBaseRecordSet::DoAppend()
{
    DataSet().Append();
}

void GBorlandBaseRecordSet::DoCancel()
{
    DataSet().Cancel();
}

void GBorlandBaseRecordSet::DoDelete()
{
    // The storage first: a row it refuses to delete must still be counted.
    DataSet().Delete();
    GRecordSet::DoDelete();
}

void GBorlandBaseRecordSet::DoEdit()
{
    DataSet().Edit();
}

void GBorlandBaseRecordSet::DoPost()
{
    // The storage first: a post it refuses leaves the record set editing, and counting the new
    // record before would count it once more at the next attempt.
    DataSet().Post();
    GRecordSet::DoPost();
}

void GBorlandBaseRecordSet::DoFirst()
{
    DataSet().First();
}

void GBorlandBaseRecordSet::DoMoveBy(std::int32_t distance)
{
    DataSet().MoveBy(distance);
    if (DataSet().Bof())
        DataSet().First();
}

void GBorlandBaseRecordSet::DoNext()
{
    DataSet().Next();
}

void GBorlandBaseRecordSet::DoPrior()
{
    DataSet().Prior();
    if (DataSet().Bof())
        DataSet().First();
}

void GBorlandBaseRecordSet::DoClose()
{
    if (!Active())
        return;
    if (GetCachedUpdates())
        DoFlush();
    DataSet().Close();
}

std::int32_t GBorlandBaseRecordSet::DoGetRecordCount()
{
    engine::DataSet& data = DataSet();
    std::int32_t count = data.RecordCount();
    if (count >= 0)
        return count;
    count = 0;
    data.First();
    while (!data.Eof())
    {
        ++count;
        data.Next();
    }
    data.First();
    return count;
}

bool GBorlandBaseRecordSet::GetCachedUpdates()
{
    return DataSet().CachedUpdates();
}

void GBorlandBaseRecordSet::SetCachedUpdates(bool value)
{
    GRecordSet::SetCachedUpdates(value);
    DataSet().SetCachedUpdates(value);
}

bool GBorlandBaseRecordSet::DoHasSpatialComponent()
{
    const GField* field = Fields().FindField("SHAPE", false);
    return field != nullptr && (field->FieldType() == fdtBlob || field->FieldType() == fdtUnknown);
}

engine::DataSet* GBorlandBaseRecordSet::GetDataSet()
{
    GRecordSet::GetDataSet();
    for (const auto& field : Fields())
        DataSet().SetFieldVisible(field->Index(), !field->Hidden());
    return &DataSet();
}

std::unique_ptr<GRecordSetDefinition> GBorlandBaseRecordSet::GetDefinition()
{
    GRecordSet::GetDefinition();
    auto definition = std::make_unique<GRecordSetDefinition>();
    definition->DatabaseName = DatabaseName;
    definition->TableName.clear();
    definition->HasSpatialComponent = HasSpatialComponent();
    definition->ShapeType = 0;
    for (const auto& field : Fields())
        definition->FieldDefinitions.Add(std::make_unique<GFieldDefinition>(field->Definition()));
    return definition;
}

// --- GBorlandRecordSet ------------------------------------------------------------------------

GBorlandRecordSet::GBorlandRecordSet()
    : GBorlandBaseRecordSet(std::make_unique<engine::Query>()),
      database_(
          std::make_unique<engine::Connection>(engine::Session::Default().NextConnectionName()))
{
    database_->SetLoginPrompt(false);
    database_->SetExclusive(false);
    // Posts are held until Flush writes them all in one go, cached updates or not.
    Query().SetCachedUpdates(true);
}

bool GBorlandRecordSet::GetCachedUpdates()
{
    return cachedUpdates_;
}

void GBorlandRecordSet::SetCachedUpdates(bool value)
{
    GRecordSet::SetCachedUpdates(value);
    cachedUpdates_ = value;
}

GBorlandRecordSet::~GBorlandRecordSet()
{
    // The query goes before its connection, which is destroyed before the base destructor runs.
    ReleaseDataSet();
}

engine::Query& GBorlandRecordSet::Query() const
{
    return static_cast<engine::Query&>(DataSet());
}

void GBorlandRecordSet::SetSQL(const std::vector<std::string>& lines)
{
    if (Active())
        throw GDatabaseException("Cannot perform this operation on an open recordset");
    Query().SetSQL(lines);
}

std::vector<std::string>& GBorlandRecordSet::GetSQL()
{
    return Query().SQL();
}

bool GBorlandRecordSet::GetReadOnly()
{
    return !Query().RequestLive();
}

void GBorlandRecordSet::SetReadOnly(bool value)
{
    GRecordSet::SetReadOnly(value);
    Query().SetRequestLive(!value);
}

bool GBorlandRecordSet::DoOpen()
{
    engine::Query& query = Query();
    openFailure_.clear();
    try
    {
        // Every open starts from a fresh result; what a closed record set had not flushed is
        // gone, as closing never writes.
        query.Close();
        if (!DatabaseName.empty())
        {
            std::vector<std::string> params = {"USER NAME=" + UserName, "PASSWORD=" + Password};
            if (database_->Connected() && database_->Params() != params)
                database_->Close();
            database_->SetAliasName(DatabaseName);
            database_->Params() = std::move(params);
            query.SetConnectionName(database_->Name());
        }
        else
            query.SetConnectionName("");
        query.Prepare();
        query.Open();
        query.First();
        return true;
    }
    catch (const std::exception& error)
    {
        openFailure_ = error.what();
        return false;
    }
}

void GBorlandRecordSet::RefuseOpen(const std::string& reason)
{
    Query().Close();
    openFailure_ = reason;
}

void GBorlandRecordSet::LockForUpdate()
{
    if (Active())
        throw GDatabaseException("Cannot perform this operation on an open recordset");
    const std::optional<std::string> table = engine::ParseTableStatement(Query().SQLText());
    if (DatabaseName.empty() || !table)
        return;
    try
    {
        database_->SetAliasName(DatabaseName);
        database_->Params() = {"USER NAME=" + UserName, "PASSWORD=" + Password};
        database_->LockTableForUpdate(*table);
    }
    catch (const engine::EngineError& error)
    {
        throw GDatabaseException(error.what());
    }
}

void GBorlandRecordSet::DoFlush()
{
    First();
    engine::Query& query = Query();
    if (!query.Active())
        return;
    const bool pending = query.UpdatesPending();
    if (pending || database_->InTransaction())
    {
        try
        {
            if (!query.ConnectionName().empty() && !database_->InTransaction())
                database_->StartTransaction();
            if (pending)
                query.ApplyUpdates();
            if (database_->InTransaction())
                database_->Commit();
        }
        catch (const std::exception& error)
        {
            try
            {
                database_->Rollback();
            }
            catch (...)
            {
            }
            query.RevertAppliedUpdates();
            throw GDatabaseException(std::string("Unable to apply updates\r") + error.what());
        }
        // Marked applied: edits left held would be written a second time by the next flush.
        query.CommitUpdates();
    }
    query.FlushToStorage();
}

std::vector<std::string> GBorlandRecordSet::DataFiles() const
{
    const std::optional<std::string> table = engine::ParseTableStatement(Query().SQLText());
    if (!table)
        return {};
    std::vector<std::filesystem::path> files;
    try
    {
        if (DatabaseName.empty())
        {
            std::filesystem::path path = engine::gdal::Utf8ToPath(*table);
            if (!path.has_extension())
                path += ".dbf";
            files.push_back(path);
        }
        else
            files = engine::Session::Default().DataFiles(
                database_->Connected() ? database_->Name() : DatabaseName, *table);
    }
    catch (const std::exception&)
    {
        return {};
    }
    std::vector<std::string> names;
    for (const auto& file : files)
    {
        std::error_code error;
        if (std::filesystem::is_regular_file(file, error))
            names.push_back(engine::gdal::PathToUtf8(file));
    }
    return names;
}

bool GBorlandRecordSet::CreateEngineTable(const GRecordSetDefinition& definition,
                                          const std::vector<engine::FieldDef>& extra)
{
    try
    {
        engine::Table table;
        table.SetDatabaseName(definition.DatabaseName);
        table.SetTableName(definition.TableName);
        table.FieldDefs().clear();
        for (const auto& field : definition.FieldDefinitions)
            table.FieldDefs().push_back(
                {field->Name, EngineTypeOfField(field->FieldType), field->Size, field->Required});
        for (const engine::FieldDef& field : extra)
            table.FieldDefs().push_back(field);
        table.CreateTable();
        return true;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

bool GBorlandRecordSet::CreateTable(const GRecordSetDefinition& definition)
{
    std::vector<engine::FieldDef> extra;
    const bool hasShape =
        std::any_of(definition.FieldDefinitions.begin(), definition.FieldDefinitions.end(),
                    [](const auto& field) { return IsShapeName(field->Name); });
    if (definition.HasSpatialComponent && !hasShape)
        extra.push_back({"SHAPE", engine::ftBlob, 0, false});
    return CreateEngineTable(definition, extra);
}

// --- GBorlandXYZRecordSet ---------------------------------------------------------------------

void GBorlandXYZRecordSet::DoLoadFields()
{
    LoadFieldsFromDataSet(false);
    for (const std::string* name : {&XFieldName, &YFieldName, &ZFieldName})
        if (GField* field = Fields().FindField(*name, false))
            field->SetHidden(true);
}

bool GBorlandXYZRecordSet::DoOpen()
{
    if (!GBorlandRecordSet::DoOpen())
        return false;
    // A coordinate read from a column that is not there would be 0 in every record.
    const engine::DataSet& data = DataSet();
    for (const auto& [axis, name] : {std::pair{"X", &XFieldName}, std::pair{"Y", &YFieldName}})
    {
        if (!name->empty() && data.FindField(*name) >= 0)
            continue;
        const std::string table = data.TableLabel();
        RefuseOpen((name->empty()
                        ? std::string("No ") + axis + " field is given"
                        : std::string("The ") + axis + " field " + *name + " is not a column of ") +
                   (name->empty()   ? std::string()
                    : table.empty() ? std::string("the query")
                                    : "table '" + table + "'"));
        return false;
    }
    return true;
}

bool GBorlandXYZRecordSet::DoHasSpatialComponent()
{
    return true;
}

std::unique_ptr<GShape> GBorlandXYZRecordSet::DoGetShape()
{
    auto point = std::make_unique<GPoint>(0.0, 0.0, 0.0);
    const std::tuple<const std::string*, double*, bool> coordinates[] = {
        {&XFieldName, &point->X, true},
        {&YFieldName, &point->Y, true},
        {&ZFieldName, &point->Z, false}};
    for (const auto& [name, target, required] : coordinates)
    {
        const GField* field = FindCoordinateField(*name);
        if (field == nullptr)
            continue;
        const GVariant value = GetFieldValue(field->Index());
        if (value.IsNull())
        {
            if (required)
                throw GDatabaseException(CurrentRowLabel() + ": the column " + field->Name() +
                                         " holds no coordinate (null)");
            continue;
        }
        double number = 0.0;
        try
        {
            number = value.AsDouble();
        }
        catch (const engine::EngineError&)
        {
            number = std::nan("");
        }
        if (!std::isfinite(number))
            throw GDatabaseException(CurrentRowLabel() + ": the column " + field->Name() +
                                     " holds " + value.AsString() +
                                     ", which is not a finite number");
        *target = number;
    }
    return point;
}

void GBorlandXYZRecordSet::DoSetShape(const GShape& shape)
{
    const auto* point = dynamic_cast<const GPoint*>(&shape);
    if (point == nullptr)
        throw GDatabaseException("You can only store points in this recordset");
    const std::pair<const std::string*, double> coordinates[] = {
        {&XFieldName, point->X}, {&YFieldName, point->Y}, {&ZFieldName, point->Z}};
    for (const auto& [name, value] : coordinates)
        if (!std::isfinite(value))
            if (const GField* field = FindCoordinateField(*name))
                throw GDatabaseException(CurrentRowLabel() + ": the column " + field->Name() +
                                         " cannot take " + engine::Value(value).AsString() +
                                         ", which is not a finite number");
    // A null Z read as 0 and given back unchanged stays null.
    if (const GField* z = FindCoordinateField(ZFieldName);
        z != nullptr && point->Z == 0.0 && GetFieldValue(z->Index()).IsNull())
    {
        StorePointInFields(shape, XFieldName, YFieldName, {});
        return;
    }
    StorePointInFields(shape, XFieldName, YFieldName, ZFieldName);
}

bool GBorlandXYZRecordSet::CreateTable(const GRecordSetDefinition& definition)
{
    std::vector<engine::FieldDef> extra;
    if (definition.HasSpatialComponent)
    {
        for (const std::string* name : {&XFieldName, &YFieldName, &ZFieldName})
        {
            if (name->empty())
                continue;
            const bool present =
                std::any_of(definition.FieldDefinitions.begin(), definition.FieldDefinitions.end(),
                            [&](const auto& field)
                            { return engine::EqualsNoCase(field->Name, *name); }) ||
                std::any_of(extra.begin(), extra.end(),
                            [&](const engine::FieldDef& field)
                            { return engine::EqualsNoCase(field.Name, *name); });
            if (!present)
                extra.push_back({*name, engine::ftFloat, 0, false});
        }
    }
    return CreateEngineTable(definition, extra);
}

// --- GInMemoryBorlandRecordSet ----------------------------------------------------------------

GInMemoryBorlandRecordSet::GInMemoryBorlandRecordSet() : GBorlandBaseRecordSet(NewMemoryTable()) {}

GInMemoryTable& GInMemoryBorlandRecordSet::Table() const
{
    return static_cast<GInMemoryTable&>(DataSet());
}

void GInMemoryBorlandRecordSet::ResetTable()
{
    if (Active())
        Close();
    ReplaceDataSet(NewMemoryTable());
}

void GInMemoryBorlandRecordSet::AddFieldDefinition(const std::string& name, GFieldType fieldType,
                                                   std::int32_t size, bool required)
{
    Table().FieldDefs().push_back({name, EngineTypeOfField(fieldType), size, required});
}

void GInMemoryBorlandRecordSet::CreateMemoryTable()
{
    Table().CreateInMemoryTable();
}

bool GInMemoryBorlandRecordSet::FillMemoryTable(const std::function<void(GInMemoryTable&)>& fill)
{
    try
    {
        CreateMemoryTable();
        GInMemoryTable& table = Table();
        table.Open();
        fill(table);
        table.First();
        return true;
    }
    catch (const engine::EngineError&)
    {
        return false;
    }
}

bool GInMemoryBorlandRecordSet::GetCachedUpdates()
{
    return true;
}

void GInMemoryBorlandRecordSet::SetCachedUpdates(bool value)
{
    GRecordSet::SetCachedUpdates(value);
    cachedUpdates_ = value;
    Table().SetCachedUpdates(value);
}

bool GInMemoryBorlandRecordSet::GetReadOnly()
{
    return readOnly_;
}

void GInMemoryBorlandRecordSet::SetReadOnly(bool value)
{
    GRecordSet::SetReadOnly(value);
    readOnly_ = value;
}

bool GInMemoryBorlandRecordSet::CreateTable(const GRecordSetDefinition&)
{
    throw GDatabaseException("Cannot create virtual memory recordsets");
}

void GInMemoryBorlandRecordSet::DoLoadFields()
{
    // The table was filled by the subclass; from here on the read-only flag holds.
    Table().SetReadOnly(readOnly_);
    if (Table().CachedUpdates() != cachedUpdates_)
        Table().SetCachedUpdates(cachedUpdates_);
    LoadFieldsFromDataSet(false);
}

// --- Factories --------------------------------------------------------------------------------

void SetBorlandDataSourceDialog(GBorlandDataSourceDialog dialog)
{
    DialogHook::Instance().Install(std::move(dialog));
}

namespace
{

// Lets the user change the settings in the dialog when showDialog is set; false when the dialog
// was cancelled (or there is none).
bool ChooseSettings(bool showDialog, GBorlandDataSourceSettings& settings)
{
    return !showDialog || DialogHook::Instance().Show(settings);
}

// Gives a new record set what the settings chose.
template <class RecordSet>
std::unique_ptr<RecordSet> ConfiguredRecordSet(const GBorlandDataSourceSettings& settings)
{
    auto recordSet = std::make_unique<RecordSet>();
    recordSet->DatabaseName = settings.DatabaseName;
    recordSet->SetReadOnly(settings.ReadOnly);
    recordSet->SetCachedUpdates(settings.CachedUpdates);
    recordSet->SetSQL(settings.SQL);
    recordSet->Password = settings.Password;
    recordSet->UserName = settings.UserName;
    return recordSet;
}

} // namespace

std::unique_ptr<GBorlandRecordSet>
CreateBorlandRecordSet(bool showDialog, const std::string& driver, const std::string& databaseName,
                       const std::string& tableName, const std::string& userName,
                       const std::string& password, bool readOnly, bool readOnlyEditable,
                       bool cachedUpdates, const std::vector<std::string>& sql)
{
    GBorlandDataSourceSettings settings{.Driver = driver,
                                        .DatabaseName = databaseName,
                                        .TableName = tableName,
                                        .UserName = userName,
                                        .Password = password,
                                        .ReadOnly = readOnly,
                                        .ReadOnlyEditable = readOnlyEditable,
                                        .CachedUpdates = cachedUpdates,
                                        .SQL = sql,
                                        .XYZ = false,
                                        .XFieldName = {},
                                        .YFieldName = {},
                                        .ZFieldName = {}};
    if (!ChooseSettings(showDialog, settings))
        return nullptr;
    return ConfiguredRecordSet<GBorlandRecordSet>(settings);
}

std::unique_ptr<GBorlandXYZRecordSet> CreateBorlandXYZRecordSet(
    bool showDialog, const std::string& driver, const std::string& databaseName,
    const std::string& tableName, const std::string& xFieldName, const std::string& yFieldName,
    const std::string& zFieldName, const std::string& userName, const std::string& password,
    bool readOnly, bool readOnlyEditable, bool cachedUpdates, const std::vector<std::string>& sql)
{
    GBorlandDataSourceSettings settings{.Driver = driver,
                                        .DatabaseName = databaseName,
                                        .TableName = tableName,
                                        .UserName = userName,
                                        .Password = password,
                                        .ReadOnly = readOnly,
                                        .ReadOnlyEditable = readOnlyEditable,
                                        .CachedUpdates = cachedUpdates,
                                        .SQL = sql,
                                        .XYZ = true,
                                        .XFieldName = xFieldName,
                                        .YFieldName = yFieldName,
                                        .ZFieldName = zFieldName};
    if (!ChooseSettings(showDialog, settings))
        return nullptr;
    auto recordSet = ConfiguredRecordSet<GBorlandXYZRecordSet>(settings);
    recordSet->XFieldName = settings.XFieldName;
    recordSet->YFieldName = settings.YFieldName;
    recordSet->ZFieldName = settings.ZFieldName;
    return recordSet;
}

} // namespace quorvalis
