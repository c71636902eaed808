#include "database/engine/Value.h"

#include "database/engine/Text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quorvalis::engine
{

namespace
{

std::string Quoted(std::string_view text)
{
    // Long texts are cut so that a message stays readable.
    constexpr std::size_t limit = 60;
    std::string result = "'";
    result += text.size() > limit ? std::string(text.substr(0, limit)) + "..." : std::string(text);
    result += "'";
    return result;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Reads exactly count digits at text[pos].
bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const char c = text[pos + i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool ParseDatePart(std::string_view text, std::size_t& pos, DateTime& value)
{
    int year = 0;
    int month = 0;
    int day = 0;
    if (!ReadDigits(text, pos, 4, year))
        return false;
    if (pos >= text.size() || (text[pos] != '-' && text[pos] != '/'))
        return false;
    const char separator = text[pos++];
    if (!ReadDigits(text, pos, 2, month) || pos >= text.size() || text[pos++] != separator ||
        !ReadDigits(text, pos, 2, day))
        return false;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    value.Year = year;
    value.Month = month;
    value.Day = day;
    return true;
}

bool ParseTimePart(std::string_view text, std::size_t& pos, DateTime& value)
{
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!ReadDigits(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':' ||
        !ReadDigits(text, pos, 2, minute))
        return false;
    double fraction = 0.0;
    if (pos < text.size() && text[pos] == ':')
    {
        ++pos;
        if (!ReadDigits(text, pos, 2, second))
            return false;
        if (pos < text.size() && text[pos] == '.')
        {
            ++pos;
            double scale = 0.1;
            const std::size_t start = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            {
                fraction += (text[pos] - '0') * scale;
                scale /= 10.0;
                ++pos;
            }
            if (pos == start)
                return false;
        }
    }
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    value.Hour = hour;
    value.Minute = minute;
    // Milliseconds are what every store of the engine keeps.
    value.Second = std::round((second + fraction) * 1000.0) / 1000.0;
    if (value.Second >= 60.0)
        value.Second = 59.999;
    return true;
}

} // namespace

bool ParseNumber(std::string_view text, double& value)
{
    text = TrimBlanks(text);
    if (text.empty())
        return false;
    std::string buffer(text);
    if (buffer.find('.') == std::string::npos)
    {
        const auto comma = buffer.find(',');
        if (comma != std::string::npos)
        {
            if (buffer.find(',', comma + 1) != std::string::npos)
                return false;
            buffer[comma] = '.';
        }
    }
    std::size_t start = 0;
    if (buffer[0] == '+')
        start = 1;
    if (start < buffer.size() && buffer[start] == '-' && start == 1)
        return false;
    // from_chars accepts neither "inf" nor "nan" in this form; refuse the letters explicitly too.
    for (char c : buffer)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    double result = 0.0;
    const char* first = buffer.data() + start;
    const char* last = buffer.data() + buffer.size();
    const auto [end, error] = std::from_chars(first, last, result, std::chars_format::general);
    if (error != std::errc() || end != last || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

bool ParseInteger(std::string_view text, std::int64_t& value)
{
    text = TrimBlanks(text);
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    std::int64_t result = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = result;
    return true;
}

bool ParseDateTime(std::string_view text, DateTime& value)
{
    text = TrimBlanks(text);
    DateTime result;
    std::size_t pos = 0;
    if (text.size() >= 5 && text[2] == ':')
    {
        if (!ParseTimePart(text, pos, result) || pos != text.size())
            return false;
        value = result;
        return true;
    }
    if (!ParseDatePart(text, pos, result))
        return false;
    if (pos < text.size())
    {
        if (text[pos] != ' ' && text[pos] != 'T')
            return false;
        ++pos;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (!ParseTimePart(text, pos, result) || pos != text.size())
            return false;
    }
    value = result;
    return true;
}

std::string FormatDouble(double value)
{
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    if (error != std::errc())
        return "0";
    return std::string(buffer, end);
}

std::string FormatDateTime(const DateTime& value)
{
    char buffer[64];
    std::string result;
    if (value.Year != 0)
    {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", value.Year, value.Month, value.Day);
        result = buffer;
    }
    const bool hasTime = value.Hour != 0 || value.Minute != 0 || value.Second != 0.0;
    if (value.Year == 0 || hasTime)
    {
        const int whole = static_cast<int>(value.Second);
        const int milliseconds = static_cast<int>(std::lround((value.Second - whole) * 1000.0));
        if (milliseconds > 0 && milliseconds < 1000)
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", value.Hour, value.Minute,
                          whole, milliseconds);
        else
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", value.Hour, value.Minute, whole);
        if (!result.empty())
            result += ' ';
        result += buffer;
    }
    return result;
}

std::int64_t Value::AsInteger() const
{
    switch (Kind())
    {
    case ValueKind::Integer:
        return std::get<std::int64_t>(data_);
    case ValueKind::Boolean:
        return std::get<bool>(data_) ? 1 : 0;
    case ValueKind::Float:
    {
        const double rounded = std::nearbyint(std::get<double>(data_));
        // 2^63 is the first double outside the range of a 64-bit integer.
        if (!std::isfinite(rounded) || rounded >= 9223372036854775808.0 ||
            rounded < -9223372036854775808.0)
            throw EngineError("Value " + FormatDouble(std::get<double>(data_)) +
                              " is out of the range of an integer");
        return static_cast<std::int64_t>(rounded);
    }
    case ValueKind::String:
    {
        std::int64_t result = 0;
        if (!ParseInteger(std::get<std::string>(data_), result))
            throw EngineError(Quoted(std::get<std::string>(data_)) +
                              " is not a valid integer value");
        return result;
    }
    case ValueKind::Null:
        throw EngineError("A null value cannot be read as an integer");
    default:
        throw EngineError("This value cannot be read as an integer");
    }
}

double Value::AsDouble() const
{
    switch (Kind())
    {
    case ValueKind::Integer:
        return static_cast<double>(std::get<std::int64_t>(data_));
    case ValueKind::Float:
        return std::get<double>(data_);
    case ValueKind::Boolean:
        return std::get<bool>(data_) ? 1.0 : 0.0;
    case ValueKind::String:
    {
        double result = 0.0;
        if (!ParseNumber(std::get<std::string>(data_), result))
            throw EngineError(Quoted(std::get<std::string>(data_)) +
                              " is not a valid floating point value");
        return result;
    }
    case ValueKind::Null:
        throw EngineError("A null value cannot be read as a number");
    default:
        throw EngineError("This value cannot be read as a number");
    }
}

std::string Value::AsString() const
{
    switch (Kind())
    {
    case ValueKind::Null:
        return {};
    case ValueKind::Integer:
        return std::to_string(std::get<std::int64_t>(data_));
    case ValueKind::Float:
        return FormatDouble(std::get<double>(data_));
    case ValueKind::String:
        return std::get<std::string>(data_);
    case ValueKind::Boolean:
        return std::get<bool>(data_) ? "True" : "False";
    case ValueKind::DateTime:
        return FormatDateTime(std::get<DateTime>(data_));
    case ValueKind::Bytes:
    {
        const Bytes& bytes = std::get<Bytes>(data_);
        return std::string(bytes.begin(), bytes.end());
    }
    }
    return {};
}

bool Value::AsBoolean() const
{
    switch (Kind())
    {
    case ValueKind::Boolean:
        return std::get<bool>(data_);
    case ValueKind::Integer:
        return std::get<std::int64_t>(data_) != 0;
    case ValueKind::Float:
        return std::get<double>(data_) != 0.0;
    case ValueKind::String:
    {
        const std::string_view text = TrimBlanks(std::get<std::string>(data_));
        for (const char* yes : {"True", "T", "Yes", "Y", "1"})
            if (EqualsNoCase(text, yes))
                return true;
        for (const char* no : {"False", "F", "No", "N", "0"})
            if (EqualsNoCase(text, no))
                return false;
        throw EngineError(Quoted(text) + " is not a valid boolean value");
    }
    case ValueKind::Null:
        throw EngineError("A null value cannot be read as a boolean");
    default:
        throw EngineError("This value cannot be read as a boolean");
    }
}

DateTime Value::AsDateTime() const
{
    switch (Kind())
    {
    case ValueKind::DateTime:
        return std::get<DateTime>(data_);
    case ValueKind::String:
    {
        DateTime result;
        if (!ParseDateTime(std::get<std::string>(data_), result))
            throw EngineError(Quoted(std::get<std::string>(data_)) +
                              " is not a valid date and time");
        return result;
    }
    case ValueKind::Null:
        throw EngineError("A null value cannot be read as a date and time");
    default:
        throw EngineError("This value cannot be read as a date and time");
    }
}

Bytes Value::AsBytes() const
{
    switch (Kind())
    {
    case ValueKind::Bytes:
        return std::get<Bytes>(data_);
    case ValueKind::Null:
        return {};
    case ValueKind::String:
    {
        const std::string& text = std::get<std::string>(data_);
        return Bytes(text.begin(), text.end());
    }
    default:
        throw EngineError("This value cannot be stored as bytes");
    }
}

} // namespace quorvalis::engine
