// A table held by the engine only in memory.
#pragma once

#include "database/engine/DataSet.h"
#include "database/engine/FieldDef.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvalis::engine
{

/// A column of an in-memory table as the engine takes it: name, type and the type's units (the
/// declared length for strings, bytes and blobs; precision 32 and the scale for BCD).
struct FieldDescriptor
{
    std::string Name;
    FieldType Type = ftUnknown;
    int Units1 = 0;
    int Units2 = 0;
};

/// An in-memory table: created from field descriptors, then opened, filled and edited like any
/// dataset. Its rows live as long as the object (closing and reopening keeps them; creating
/// again empties it). Every posted edit is in memory at once, so cached updates change nothing
/// here and the flag is only kept. The read-only flag may be changed at any time outside an edit:
/// the owner fills a read-only table with the flag cleared and sets it afterwards.
class MemoryTable : public DataSet
{
public:
    MemoryTable() = default;

    const std::string& TableName() const { return tableName_; }
    void SetTableName(std::string name) { tableName_ = std::move(name); }
    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(std::string name) { databaseName_ = std::move(name); }
    std::vector<FieldDef>& FieldDefs() { return fieldDefs_; }
    const std::vector<FieldDef>& FieldDefs() const { return fieldDefs_; }

    /// Creates the (empty) table from the descriptors; the table must be closed. Raises
    /// EngineError for a descriptor without a name or type, or two columns of the same name.
    void CreateInMemory(const std::vector<FieldDescriptor>& descriptors);
    bool Created() const { return rows_ != nullptr; }

protected:
    std::unique_ptr<RowSource> OpenSource() override;

private:
    std::string tableName_;
    std::string databaseName_;
    std::vector<FieldDef> fieldDefs_;
    std::vector<Field> fields_;
    std::shared_ptr<std::vector<Row>> rows_;
};

} // namespace quorvalis::engine
