// Internal to the engine: a libpq connection of a PostgreSQL store, through which rows are written
// in bulk and transactions, locks and schema checks run. GDAL's own connection of the store only
// reads; every write of the store goes through this one, so that one transaction holds them all.
#pragma once

#include "database/engine/FieldDef.h"
#include "database/engine/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct pg_conn;
struct pg_result;

namespace quorvalis::engine
{

/// One keyword = value pair of a connection string.
using ConnectionOption = std::pair<std::string, std::string>;

/// The pairs of a libpq connection string ("host=x dbname='a b' ..."), with an optional "PG:"
/// before it. Values may be single-quoted with \' and \\ inside. Raises EngineError for text that
/// is not a connection string (an unterminated quote, a keyword without "=").
std::vector<ConnectionOption> ParseConnectionString(const std::string& text);
/// The connection string of these pairs, every value quoted.
std::string FormatConnectionString(const std::vector<ConnectionOption>& options);
/// The connection string with "-c name=value" added to its "options" (the options it has are
/// kept).
std::string AddServerSetting(const std::string& connection, const std::string& setting);
/// The libpq form of a GDAL connection string: without "PG:" and without the keywords only GDAL
/// knows (schemas, active_schema, tables).
std::string LibpqConnectionString(const std::string& gdalConnection);

/// An SQL identifier in double quotes, inner double quotes doubled.
std::string QuoteSqlIdentifier(std::string_view name);

/// A date ("YYYY-MM-DD"), a time ("HH:MM:SS.mmm") or both joined by separator, by the column
/// type.
std::string DateTimeText(FieldType type, const DateTime& time, char separator);

/// The text form PostgreSQL reads for a value of a column of this type (nothing for null).
std::optional<std::string> PgText(FieldType type, const Value& value);

class PgResult
{
public:
    explicit PgResult(pg_result* result = nullptr) : result_(result) {}
    ~PgResult();
    PgResult(PgResult&& other) noexcept : result_(std::exchange(other.result_, nullptr)) {}
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;

    int Rows() const;
    int Columns() const;
    bool IsNull(int row, int column) const;
    std::string Text(int row, int column) const;
    /// Rows the command changed.
    long long Affected() const;

private:
    pg_result* result_;
};

class PgLink
{
public:
    /// Connects; raises EngineError with the server's reason (the password is never in it).
    explicit PgLink(const std::string& libpqConnection);
    ~PgLink();
    PgLink(const PgLink&) = delete;
    PgLink& operator=(const PgLink&) = delete;

    /// Runs a statement; parameters are passed as text (nullopt: null). Raises EngineError with
    /// the server's message, its detail and what (what the statement was doing).
    PgResult Run(const std::string& sql, const std::vector<std::optional<std::string>>& params = {},
                 const std::string& what = {});
    /// COPY ... FROM STDIN with the rows given in the text format (one line each).
    void CopyIn(const std::string& copyStatement, const std::string& data, const std::string& what);

    bool InTransaction() const;

private:
    [[noreturn]] void Fail(const std::string& what, pg_result* result);

    pg_conn* connection_ = nullptr;
    std::string password_;
};

/// A line of COPY text for these values (nullopt: \N), escaped; ends with a line break.
void AppendCopyLine(std::string& data, const std::vector<std::optional<std::string>>& values);

} // namespace quorvalis::engine
