// The engine table held only in memory that backs the text-file and coordinate-list record sets.
#pragma once

#include "database/engine/MemoryTable.h"

namespace quorvalis
{

/// An in-memory table created from its column definitions (FieldDefs()).
class GInMemoryTable : public engine::MemoryTable
{
public:
    GInMemoryTable() = default;

    /// Creates the table in memory. The table must be closed (EngineError "Cannot perform this
    /// operation on an open dataset"). Each column definition becomes one field descriptor: the
    /// name cut to 31 bytes (never inside a UTF-8 sequence), the type, and the units (the size
    /// for string, byte and blob types; 32 and the size for BCD). The table starts empty.
    void CreateInMemoryTable();
};

} // namespace quorvalis
