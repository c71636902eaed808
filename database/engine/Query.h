// An SQL query of the engine.
#pragma once

#include "database/engine/DataSet.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis::engine
{

/// The table a statement of the form "select a.* from <table> a" selects, or nothing for any
/// other text. Keywords and the alias letter ignore case and may be separated by any blanks or
/// line breaks; one ";" may follow. The table is a bare word (no blanks or quotes), or is quoted
/// in double quotes, single quotes or square brackets, a closing quote inside being doubled.
/// The name found is only ever used as a name: it is never put back into SQL text.
std::optional<std::string> ParseTableStatement(std::string_view sql);

/// A table name quoted as the statement above takes it for an alias of this driver: "[name]" for
/// "MSACCESS", "'name'" for "ORACLE", "\"name\"" for every other driver, the closing quote doubled
/// wherever it occurs in the name (so that a name is only ever a name).
std::string QuoteTableName(std::string_view driver, std::string_view table);
/// "select a.* from " + QuoteTableName(driver, table) + " a".
std::string TableStatement(std::string_view driver, std::string_view table);

/// A query: its SQL lines run against the database of ConnectionName.
///
/// The statement "select a.* from " + table + " a" opens the table itself: a live (updatable)
/// result when RequestLive is set and the table may be changed, otherwise a read-only one.
/// Without a connection name the table is a dBase file named by its path. Any other SQL text is
/// run by the database (GeoPackage and PostgreSQL in their own SQL, a directory of dBase files in
/// OGR SQL) on a read-only handle and gives a read-only result held in memory.
class Query : public DataSet
{
public:
    Query() = default;

    const std::string& ConnectionName() const { return connectionName_; }
    /// Closes the query when it is open.
    void SetConnectionName(std::string name);
    /// The SQL lines; changing them while open has no effect until the query is reopened.
    std::vector<std::string>& SQL() { return sql_; }
    const std::vector<std::string>& SQL() const { return sql_; }
    /// Replaces the SQL lines as one batch and closes the query when it is open.
    void SetSQL(std::vector<std::string> lines);
    /// The lines joined by line breaks.
    std::string SQLText() const;
    bool RequestLive() const { return requestLive_; }
    /// Closes the query when it is open.
    void SetRequestLive(bool value);
    /// Checks that the text can be run (a connection name or a table file); opening prepares
    /// the query by itself.
    void Prepare();

protected:
    std::unique_ptr<RowSource> OpenSource() override;

private:
    std::string connectionName_;
    std::vector<std::string> sql_;
    bool requestLive_ = false;
};

} // namespace quorvalis::engine
