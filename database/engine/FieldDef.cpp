#include "database/engine/FieldDef.h"

#include "database/engine/Text.h"

#include <cmath>
#include <limits>

namespace quorvalis::engine
{

const char* FieldTypeName(FieldType type)
{
    switch (type)
    {
    case ftString:
        return "String";
    case ftSmallint:
        return "Smallint";
    case ftInteger:
        return "Integer";
    case ftWord:
        return "Word";
    case ftBoolean:
        return "Boolean";
    case ftFloat:
        return "Float";
    case ftCurrency:
        return "Currency";
    case ftBCD:
        return "BCD";
    case ftDate:
        return "Date";
    case ftTime:
        return "Time";
    case ftDateTime:
        return "DateTime";
    case ftBytes:
        return "Bytes";
    case ftVarBytes:
        return "VarBytes";
    case ftAutoInc:
        return "AutoInc";
    case ftBlob:
        return "Blob";
    case ftMemo:
        return "Memo";
    case ftGraphic:
        return "Graphic";
    case ftFmtMemo:
        return "FmtMemo";
    case ftUnknown:
        break;
    }
    return "Unknown";
}

int DataSizeOf(FieldType type, int size)
{
    switch (type)
    {
    case ftString:
        return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
        return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
        return 4;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftDateTime:
        return 8;
    case ftBytes:
    case ftVarBytes:
        return size;
    default:
        return 0;
    }
}

int FindFieldIndex(const std::vector<Field>& fields, std::string_view name)
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (EqualsNoCase(fields[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

namespace
{

std::int64_t CheckedRange(const Field& field, std::int64_t value, std::int64_t low,
                          std::int64_t high)
{
    if (value < low || value > high)
        throw EngineError("Value " + std::to_string(value) + " is out of range for field '" +
                          field.Name + "'");
    return value;
}

} // namespace

Value CoerceToField(const Field& field, const Value& value)
{
    if (value.IsNull())
        return value;
    try
    {
        switch (field.Type)
        {
        case ftSmallint:
            return CheckedRange(field, value.AsInteger(), -32768, 32767);
        case ftWord:
            return CheckedRange(field, value.AsInteger(), 0, 65535);
        case ftInteger:
        case ftAutoInc:
            return CheckedRange(field, value.AsInteger(), std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        {
            if (value.Kind() == ValueKind::DateTime || value.Kind() == ValueKind::Bytes)
                break;
            const double number = value.AsDouble();
            if (!std::isfinite(number))
                throw EngineError("Field '" + field.Name + "' cannot hold an infinite value");
            return number;
        }
        case ftBoolean:
            if (value.Kind() == ValueKind::DateTime || value.Kind() == ValueKind::Bytes)
                break;
            return value.AsBoolean();
        case ftDate:
        {
            DateTime date = value.AsDateTime();
            if (date.Year == 0)
                throw EngineError("Field '" + field.Name + "' needs a date");
            date.Hour = 0;
            date.Minute = 0;
            date.Second = 0.0;
            return date;
        }
        case ftTime:
        {
            DateTime time = value.AsDateTime();
            time.Year = 0;
            time.Month = 0;
            time.Day = 0;
            return time;
        }
        case ftDateTime:
            return value.AsDateTime();
        case ftString:
        {
            std::string text = value.AsString();
            return field.Size > 0 ? CutUtf8(std::move(text), static_cast<std::size_t>(field.Size))
                                  : text;
        }
        case ftMemo:
        case ftFmtMemo:
            return value.AsString();
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftGraphic:
            return value.AsBytes();
        case ftUnknown:
            return value.AsString();
        }
    }
    catch (const EngineError& error)
    {
        throw EngineError(std::string(error.what()) + " (field '" + field.Name + "')");
    }
    throw EngineError("Field '" + field.Name + "' of type " + FieldTypeName(field.Type) +
                      " cannot hold this value");
}

Value TextToField(const Field& field, std::string_view text)
{
    switch (field.Type)
    {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftUnknown:
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
        return CoerceToField(field, Value(text));
    default:
        break;
    }
    if (TrimBlanks(text).empty())
        return Value::Null();
    if (field.Type == ftSmallint || field.Type == ftWord || field.Type == ftInteger ||
        field.Type == ftAutoInc)
    {
        std::int64_t number = 0;
        if (!ParseInteger(text, number))
            throw EngineError("'" + std::string(text) + "' is not a valid integer value (field '" +
                              field.Name + "')");
        return CoerceToField(field, Value(number));
    }
    return CoerceToField(field, Value(text));
}

std::string FieldToText(const Field& field, const Value& value)
{
    if (value.Kind() == ValueKind::DateTime)
    {
        DateTime shown = value.AsDateTime();
        if (field.Type == ftDate)
        {
            shown.Hour = 0;
            shown.Minute = 0;
            shown.Second = 0.0;
        }
        else if (field.Type == ftTime)
            shown.Year = 0;
        return FormatDateTime(shown);
    }
    return value.AsString();
}

} // namespace quorvalis::engine
