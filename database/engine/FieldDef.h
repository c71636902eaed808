// Column types of the engine, column definitions for creating tables, and the columns of an open
// dataset with the conversions of values into them.
#pragma once

#include "database/engine/Value.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis::engine
{

/// Column types of the engine.
enum FieldType : std::uint8_t
{
    ftUnknown,
    ftString,   // text of a declared length (bytes of UTF-8)
    ftSmallint, // 16-bit signed
    ftInteger,  // 32-bit signed; also what 64-bit integer columns of a store are reported as
    ftWord,     // 16-bit unsigned
    ftBoolean,
    ftFloat,    // 64-bit real
    ftCurrency, // kept as a 64-bit real
    ftBCD,      // kept as a 64-bit real
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc, // 32-bit signed, filled by the store
    ftBlob,
    ftMemo, // text of any length
    ftGraphic,
    ftFmtMemo,
};

/// Name of a type for messages ("String", "Integer", ...).
const char* FieldTypeName(FieldType type);

/// A column to create: name, type, size (the declared length of a string column; 0 for others)
/// and the value-required flag.
struct FieldDef
{
    std::string Name;
    FieldType Type = ftUnknown;
    int Size = 0;
    bool Required = false;
};

/// A column of an open dataset.
struct Field
{
    std::string Name;
    FieldType Type = ftUnknown;
    /// Declared length of a string column in bytes (0: unbounded); 0 for other types.
    int Size = 0;
    /// Bytes of the engine's record buffer for the column: the declared length plus one for a
    /// string, 2 for smallint/word/boolean, 4 for integer/autoinc/date/time, 8 for float,
    /// currency, BCD and date-time, 0 for blobs and memos.
    int DataSize = 0;
    bool Required = false;
    /// Shown in grids; record sets clear it for the columns they hide.
    bool Visible = true;
};

/// The data size the engine reports for a column (see Field::DataSize).
int DataSizeOf(FieldType type, int size);

/// Converts value into the form a column of this type stores: integers as 64-bit integers
/// within the type's range, reals as finite doubles, strings cut to the declared length (never
/// inside a UTF-8 sequence), booleans, date-times (a date column keeps the date, a time column
/// the time), bytes. Null stays null. Raises EngineError naming the column when the value cannot
/// be converted or is out of range.
Value CoerceToField(const Field& field, const Value& value);

/// Reads a column's text: the empty text is null for every type but strings and memos; other
/// texts are read as the type's values (numbers with "." or a lone ",", booleans, date-times).
Value TextToField(const Field& field, std::string_view text);

/// The text of a column's value (Value::AsString, with the date or time part alone for date and
/// time columns).
std::string FieldToText(const Field& field, const Value& value);

/// The index of the column with this name (compared without regard to ASCII case), or -1.
int FindFieldIndex(const std::vector<Field>& fields, std::string_view name);

} // namespace quorvalis::engine
