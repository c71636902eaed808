#include "database/InMemoryTable.h"

#include "database/engine/Text.h"

namespace quorvalis
{

namespace
{

// Bytes of a column name the engine keeps.
constexpr std::size_t kNameLimit = 31;

} // namespace

void GInMemoryTable::CreateInMemoryTable()
{
    CheckInactive();
    std::vector<engine::FieldDescriptor> descriptors;
    for (const engine::FieldDef& definition : FieldDefs())
    {
        engine::FieldDescriptor descriptor;
        descriptor.Name = engine::CutUtf8(definition.Name, kNameLimit);
        descriptor.Type = definition.Type;
        switch (definition.Type)
        {
        case engine::ftString:
        case engine::ftBytes:
        case engine::ftVarBytes:
        case engine::ftBlob:
        case engine::ftMemo:
        case engine::ftGraphic:
        case engine::ftFmtMemo:
            descriptor.Units1 = definition.Size;
            break;
        case engine::ftBCD:
            descriptor.Units1 = 32;
            descriptor.Units2 = definition.Size;
            break;
        default:
            break;
        }
        descriptors.push_back(descriptor);
    }
    CreateInMemory(descriptors);
}

} // namespace quorvalis
