#include "database/engine/PgLink.h"

#include "database/engine/Text.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quorvalis::engine
{

namespace
{

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Removes every occurrence of secret from text, so that no message carries a password.
std::string Scrub(std::string text, const std::string& secret)
{
    if (secret.empty())
        return text;
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + 3))
        text.replace(at, secret.size(), "***");
    return text;
}

std::string TrimmedMessage(const char* message)
{
    std::string text = message ? message : "";
    while (!text.empty() && IsSpace(text.back()))
        text.pop_back();
    return text;
}

} // namespace

std::vector<ConnectionOption> ParseConnectionString(const std::string& text)
{
    std::vector<ConnectionOption> options;
    std::size_t pos = 0;
    if (EqualsNoCase(std::string_view(text).substr(0, 3), "PG:"))
        pos = 3;
    auto fail = [&](const std::string& what)
    { throw EngineError("The connection string is not valid: " + what); };
    while (true)
    {
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos >= text.size())
            break;
        const std::size_t keyStart = pos;
        while (pos < text.size() && text[pos] != '=' && !IsSpace(text[pos]))
            ++pos;
        std::string key = text.substr(keyStart, pos - keyStart);
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        if (pos >= text.size() || text[pos] != '=')
            fail("'" + key + "' has no value");
        ++pos;
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        std::string value;
        if (pos < text.size() && text[pos] == '\'')
        {
            ++pos;
            bool closed = false;
            while (pos < text.size())
            {
                const char c = text[pos++];
                if (c == '\\' && pos < text.size())
                    value += text[pos++];
                else if (c == '\'')
                {
                    closed = true;
                    break;
                }
                else
                    value += c;
            }
            if (!closed)
                fail("the value of '" + key + "' has no closing quote");
        }
        else
        {
            while (pos < text.size() && !IsSpace(text[pos]))
            {
                if (text[pos] == '\\' && pos + 1 < text.size())
                    ++pos;
                value += text[pos++];
            }
        }
        options.emplace_back(std::move(key), std::move(value));
    }
    return options;
}

std::string FormatConnectionString(const std::vector<ConnectionOption>& options)
{
    std::string text;
    for (const auto& [key, value] : options)
    {
        if (!text.empty())
            text += ' ';
        text += key + "='";
        for (char c : value)
        {
            if (c == '\'' || c == '\\')
                text += '\\';
            text += c;
        }
        text += '\'';
    }
    return text;
}

std::string AddServerSetting(const std::string& connection, const std::string& setting)
{
    std::vector<ConnectionOption> options = ParseConnectionString(connection);
    bool found = false;
    for (auto& [key, value] : options)
        if (key == "options")
        {
            value += (value.empty() ? "" : " ") + std::string("-c ") + setting;
            found = true;
        }
    if (!found)
        options.emplace_back("options", "-c " + setting);
    const bool gdal = EqualsNoCase(std::string_view(connection).substr(0, 3), "PG:");
    return (gdal ? "PG:" : "") + FormatConnectionString(options);
}

std::string LibpqConnectionString(const std::string& gdalConnection)
{
    std::vector<ConnectionOption> options;
    for (auto& option : ParseConnectionString(gdalConnection))
        if (option.first != "schemas" && option.first != "active_schema" &&
            option.first != "tables")
            options.push_back(std::move(option));
    return FormatConnectionString(options);
}

std::string QuoteSqlIdentifier(std::string_view name)
{
    std::string quoted = "\"";
    for (char c : name)
    {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string DateTimeText(FieldType type, const DateTime& time, char separator)
{
    char buffer[64];
    if (type == ftDate)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", time.Year, time.Month, time.Day);
    else if (type == ftTime)
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%06.3f", time.Hour, time.Minute,
                      time.Second);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d%c%02d:%02d:%06.3f", time.Year,
                      time.Month, time.Day, separator, time.Hour, time.Minute, time.Second);
    return buffer;
}

std::optional<std::string> PgText(FieldType type, const Value& value)
{
    char buffer[64];
    switch (value.Kind())
    {
    case ValueKind::Null:
        return std::nullopt;
    case ValueKind::Integer:
        return std::to_string(std::get<std::int64_t>(value.Data()));
    case ValueKind::Float:
    {
        const double number = std::get<double>(value.Data());
        if (std::isnan(number))
            return "NaN";
        if (std::isinf(number))
            return number > 0 ? "Infinity" : "-Infinity";
        // 17 significant digits read back as the same double.
        std::snprintf(buffer, sizeof buffer, "%.17g", number);
        return std::string(buffer);
    }
    case ValueKind::String:
        return std::get<std::string>(value.Data());
    case ValueKind::Boolean:
        return std::string(std::get<bool>(value.Data()) ? "t" : "f");
    case ValueKind::DateTime:
        return DateTimeText(type, std::get<DateTime>(value.Data()), ' ');
    case ValueKind::Bytes:
    {
        static const char digits[] = "0123456789abcdef";
        const Bytes& bytes = std::get<Bytes>(value.Data());
        std::string text = "\\x";
        text.reserve(2 + bytes.size() * 2);
        for (std::uint8_t byte : bytes)
        {
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
        return text;
    }
    }
    return std::nullopt;
}

void AppendCopyLine(std::string& data, const std::vector<std::optional<std::string>>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
    {
        if (i > 0)
            data += '\t';
        if (!values[i])
        {
            data += "\\N";
            continue;
        }
        for (char c : *values[i])
        {
            switch (c)
            {
            case '\\':
                data += "\\\\";
                break;
            case '\n':
                data += "\\n";
                break;
            case '\r':
                data += "\\r";
                break;
            case '\t':
                data += "\\t";
                break;
            default:
                data += c;
            }
        }
    }
    data += '\n';
}

// ---------------------------------------------------------------------------------------------

PgResult::~PgResult()
{
    if (result_ != nullptr)
        PQclear(result_);
}

PgResult& PgResult::operator=(PgResult&& other) noexcept
{
    if (this != &other)
    {
        if (result_ != nullptr)
            PQclear(result_);
        result_ = std::exchange(other.result_, nullptr);
    }
    return *this;
}

int PgResult::Rows() const
{
    return result_ ? PQntuples(result_) : 0;
}

int PgResult::Columns() const
{
    return result_ ? PQnfields(result_) : 0;
}

bool PgResult::IsNull(int row, int column) const
{
    return PQgetisnull(result_, row, column) != 0;
}

std::string PgResult::Text(int row, int column) const
{
    return std::string(PQgetvalue(result_, row, column),
                       static_cast<std::size_t>(PQgetlength(result_, row, column)));
}

long long PgResult::Affected() const
{
    const char* count = result_ ? PQcmdTuples(result_) : "";
    return count && *count ? std::atoll(count) : 0;
}

PgLink::PgLink(const std::string& libpqConnection)
{
    for (const auto& [key, value] : ParseConnectionString(libpqConnection))
        if (key == "password")
            password_ = value;
    connection_ = PQconnectdb(libpqConnection.c_str());
    if (connection_ == nullptr)
        throw EngineError("Cannot connect to PostgreSQL: out of memory");
    if (PQstatus(connection_) != CONNECTION_OK)
    {
        const std::string reason = Scrub(TrimmedMessage(PQerrorMessage(connection_)), password_);
        PQfinish(connection_);
        connection_ = nullptr;
        throw EngineError("Cannot connect to PostgreSQL: " + reason);
    }
    // Messages come in English whatever the server's locale, and quietly.
    PQclear(PQexec(connection_, "SET client_min_messages = warning"));
    PQsetClientEncoding(connection_, "UTF8");
}

PgLink::~PgLink()
{
    if (connection_ != nullptr)
        PQfinish(connection_);
}

bool PgLink::InTransaction() const
{
    return PQtransactionStatus(connection_) != PQTRANS_IDLE;
}

void PgLink::Fail(const std::string& what, pg_result* result)
{
    std::string message = TrimmedMessage(result ? PQresultErrorMessage(result) : nullptr);
    if (message.empty())
        message = TrimmedMessage(PQerrorMessage(connection_));
    if (message.rfind("ERROR:", 0) == 0)
        message = std::string(TrimBlanks(message.substr(6)));
    if (result)
        PQclear(result);
    message = Scrub(message, password_);
    for (char& c : message)
        if (c == '\n')
            c = ' ';
    throw EngineError(what.empty() ? message : what + ": " + message);
}

PgResult PgLink::Run(const std::string& sql, const std::vector<std::optional<std::string>>& params,
                     const std::string& what)
{
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params)
        values.push_back(param ? param->c_str() : nullptr);
    PGresult* result = params.empty()
                           ? PQexec(connection_, sql.c_str())
                           : PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()),
                                          nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        Fail(what, result);
    return PgResult(result);
}

void PgLink::CopyIn(const std::string& copyStatement, const std::string& data,
                    const std::string& what)
{
    PGresult* start = PQexec(connection_, copyStatement.c_str());
    if (start == nullptr || PQresultStatus(start) != PGRES_COPY_IN)
        Fail(what, start);
    PQclear(start);
    constexpr std::size_t chunk = 1 << 20;
    for (std::size_t at = 0; at < data.size(); at += chunk)
    {
        const std::size_t size = std::min(chunk, data.size() - at);
        if (PQputCopyData(connection_, data.data() + at, static_cast<int>(size)) != 1)
            break;
    }
    PQputCopyEnd(connection_, nullptr);
    PGresult* end = PQgetResult(connection_);
    const bool ok = end != nullptr && PQresultStatus(end) == PGRES_COMMAND_OK;
    // Every result of the command is collected before the next one may run.
    if (!ok)
    {
        PGresult* rest = nullptr;
        while ((rest = PQgetResult(connection_)) != nullptr)
            PQclear(rest);
        Fail(what, end);
    }
    PQclear(end);
    while (PGresult* rest = PQgetResult(connection_))
        PQclear(rest);
}

} // namespace quorvalis::engine
