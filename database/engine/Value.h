// Values of the database engine: a variant in which null is distinct from every default, and the
// engine's own error class.
#pragma once

#include <concepts>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quorvalis::engine
{

/// Every failure of the engine (opening, moving, posting, applying, creating) is raised as this
/// class with a message naming the object concerned.
class EngineError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A calendar date and a time of day, without time zone. Year 0 means "no date part" (a time
/// value); a date value has Hour = Minute = 0 and Second = 0. Second holds the seconds with their
/// fraction, 0 <= Second < 60; the engine keeps milliseconds.
struct DateTime
{
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    double Second = 0.0;

    bool operator==(const DateTime&) const = default;
};

/// Bytes of a blob column.
using Bytes = std::vector<std::uint8_t>;

/// The kind a Value currently holds.
enum class ValueKind : std::uint8_t
{
    Null,
    Integer,
    Float,
    String,
    Boolean,
    DateTime,
    Bytes
};

/// A field value: null, a 64-bit integer, a double, UTF-8 text, a boolean, a date-time or bytes.
///
/// Null is its own state: an integer column holding null is not the same as one holding 0. The
/// As... conversions raise EngineError when the value cannot be represented (a text that is not
/// a number, a null asked for as a number); AsString of null is the empty text.
class Value
{
public:
    using Storage =
        std::variant<std::monostate, std::int64_t, double, std::string, bool, DateTime, Bytes>;

    Value() = default;
    template <std::integral T>
    requires(!std::same_as<T, bool>) Value(T value) : data_(static_cast<std::int64_t>(value)) {}
    Value(double value) : data_(value) {}
    Value(bool value) : data_(value) {}
    Value(std::string value) : data_(std::move(value)) {}
    Value(std::string_view value) : data_(std::string(value)) {}
    Value(const char* value) : data_(std::string(value)) {}
    Value(DateTime value) : data_(value) {}
    Value(Bytes value) : data_(std::move(value)) {}

    static Value Null() { return Value(); }

    ValueKind Kind() const { return static_cast<ValueKind>(data_.index()); }
    bool IsNull() const { return data_.index() == 0; }
    const Storage& Data() const { return data_; }

    /// Whole number: integers as they are, booleans 1/0, doubles rounded half to even (only
    /// when finite and within range), texts read as a decimal number (see ParseNumber).
    std::int64_t AsInteger() const;
    /// Number: integers, doubles, booleans 1/0, texts read as a decimal number.
    double AsDouble() const;
    /// Text: null "", integers in decimal, doubles with up to 15 significant digits and "." as
    /// the decimal separator, booleans "True"/"False", dates "YYYY-MM-DD", times "HH:MM:SS",
    /// date-times "YYYY-MM-DD HH:MM:SS" (with ".mmm" when there are milliseconds), bytes as they
    /// stand.
    std::string AsString() const;
    /// Boolean: booleans, numbers (non-zero is true), texts "True"/"False", "T"/"F", "Yes"/"No",
    /// "Y"/"N", "1"/"0" in any case.
    bool AsBoolean() const;
    /// Date-time: date-times, or texts in the forms written by AsString (also with "T" between
    /// date and time).
    DateTime AsDateTime() const;
    /// Bytes: bytes, or the bytes of a text.
    Bytes AsBytes() const;

    bool operator==(const Value&) const = default;

private:
    Storage data_;
};

/// Reads a decimal number: blanks around it, an optional sign, digits with an optional fraction
/// and exponent. The separator is "." or, when the text holds no ".", a single ",". Returns false
/// for anything else and for values whose magnitude exceeds the range of a double.
bool ParseNumber(std::string_view text, double& value);
/// Reads a whole decimal number (blanks around it and a sign allowed) into a 64-bit integer.
bool ParseInteger(std::string_view text, std::int64_t& value);
/// Reads "YYYY-MM-DD", "HH:MM:SS[.fff]", or both separated by a blank or "T"; checks the ranges
/// of every part (day within its month, leap years included).
bool ParseDateTime(std::string_view text, DateTime& value);
/// Text of a double with 15 significant digits, "." as the separator, no trailing zeros.
std::string FormatDouble(double value);
/// Text of a date-time as AsString writes it.
std::string FormatDateTime(const DateTime& value);

} // namespace quorvalis::engine
