// A table of the engine, opened by name and created from column definitions.
#pragma once

#include "database/engine/DataSet.h"
#include "database/engine/FieldDef.h"

#include <string>
#include <vector>

namespace quorvalis::engine
{

/// A table of a database (a connection name, an alias or a directory of dBase files) or, with an
/// empty database name, a dBase file named by its path.
///
/// Opened live (updatable) unless ReadOnly is set or the table is reference data. CreateTable
/// makes a new, empty table from FieldDefs, replacing one of that name; a table that is open
/// cannot be replaced. dBase files hold strings, numbers, booleans and dates with column names of
/// at most 10 characters; blob, memo and longer names are refused there.
class Table : public DataSet
{
public:
    Table() = default;

    const std::string& DatabaseName() const { return databaseName_; }
    /// Closes the table when it is open.
    void SetDatabaseName(std::string name);
    const std::string& TableName() const { return tableName_; }
    /// Closes the table when it is open.
    void SetTableName(std::string name);
    std::vector<FieldDef>& FieldDefs() { return fieldDefs_; }
    const std::vector<FieldDef>& FieldDefs() const { return fieldDefs_; }

    /// Creates the table; raises EngineError when the database refuses it. The table must be
    /// closed.
    void CreateTable();
    /// Deletes the table; raises EngineError when it does not exist or is open. The table must be
    /// closed.
    void DeleteTable();
    /// Whether the table exists.
    bool Exists() const;

protected:
    std::unique_ptr<RowSource> OpenSource() override;

private:
    std::string databaseName_;
    std::string tableName_;
    std::vector<FieldDef> fieldDefs_;
};

} // namespace quorvalis::engine
