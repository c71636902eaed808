#include "database/engine/MemoryTable.h"

#include "database/engine/Store.h"

namespace quorvalis::engine
{

void MemoryTable::CreateInMemory(const std::vector<FieldDescriptor>& descriptors)
{
    CheckInactive();
    std::vector<Field> fields;
    for (const FieldDescriptor& descriptor : descriptors)
    {
        if (descriptor.Name.empty())
            throw EngineError("A column of the in-memory table has no name");
        if (descriptor.Type == ftUnknown)
            throw EngineError("The column '" + descriptor.Name + "' has no type");
        if (FindFieldIndex(fields, descriptor.Name) >= 0)
            throw EngineError("Duplicate field name '" + descriptor.Name + "'");
        Field field;
        field.Name = descriptor.Name;
        field.Type = descriptor.Type;
        if (descriptor.Type == ftString || descriptor.Type == ftBytes ||
            descriptor.Type == ftVarBytes)
            field.Size = descriptor.Units1 > 0 ? descriptor.Units1 : 0;
        field.DataSize = DataSizeOf(field.Type, field.Size);
        fields.push_back(field);
    }
    fields_ = std::move(fields);
    rows_ = std::make_shared<std::vector<Row>>();
}

std::unique_ptr<RowSource> MemoryTable::OpenSource()
{
    if (!rows_)
        throw EngineError("The in-memory table '" + tableName_ + "' has not been created");
    return std::make_unique<MemoryRowSource>(fields_, rows_, true);
}

} // namespace quorvalis::engine
