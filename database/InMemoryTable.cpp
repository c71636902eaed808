#include "database/InMemoryTable.h"

namespace quorvalis
{

namespace
{

// The engine keeps at most 31 bytes of a column name; the cut never splits a UTF-8 sequence.
std::string CutName(const std::string& name)
{
    constexpr std::size_t limit = 31;
    if (name.size() <= limit)
        return name;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

} // namespace

void GInMemoryTable::CreateInMemoryTable()
{
    CheckInactive();
    std::vector<engine::FieldDescriptor> descriptors;
    for (const engine::FieldDef& definition : FieldDefs())
    {
        engine::FieldDescriptor descriptor;
        descriptor.Name = CutName(definition.Name);
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
