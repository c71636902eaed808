#include "database/engine/Table.h"

#include "database/engine/Session.h"
#include "database/engine/Store.h"
#include "database/engine/Text.h"

namespace quorvalis::engine
{

namespace
{

std::filesystem::path TableFilePath(const std::string& name)
{
    if (name.empty())
        throw EngineError("The table has no name");
    std::filesystem::path path = gdal::Utf8ToPath(name);
    const std::string extension = gdal::PathToUtf8(path.extension());
    if (extension.empty() || EqualsNoCase(extension, ".DB"))
        path.replace_extension(".dbf");
    else if (!EqualsNoCase(extension, ".DBF"))
        throw EngineError("'" + name + "' is not a dBase file");
    return path;
}

} // namespace

void Table::SetDatabaseName(std::string name)
{
    if (name != databaseName_)
        Close();
    databaseName_ = std::move(name);
}

void Table::SetTableName(std::string name)
{
    if (name != tableName_)
        Close();
    tableName_ = std::move(name);
}

void Table::CreateTable()
{
    CheckInactive();
    if (databaseName_.empty())
        ReplaceDbf(TableFilePath(tableName_), tableName_, fieldDefs_);
    else
        Session::Default().ResolveDatabase(databaseName_)->CreateTable(tableName_, fieldDefs_);
}

void Table::DeleteTable()
{
    CheckInactive();
    if (databaseName_.empty())
        DeleteDbf(TableFilePath(tableName_));
    else
        Session::Default().ResolveDatabase(databaseName_)->DropTable(tableName_);
}

bool Table::Exists() const
{
    if (databaseName_.empty())
    {
        std::error_code error;
        return std::filesystem::is_regular_file(TableFilePath(tableName_), error);
    }
    return Session::Default().ResolveDatabase(databaseName_)->HasTable(tableName_);
}

std::unique_ptr<RowSource> Table::OpenSource()
{
    if (databaseName_.empty())
        return OpenDbfTable(TableFilePath(tableName_), tableName_, !ReadOnly());
    return Session::Default().ResolveDatabase(databaseName_)->OpenTable(tableName_, !ReadOnly());
}

} // namespace quorvalis::engine
