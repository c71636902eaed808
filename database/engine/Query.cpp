#include "database/engine/Query.h"

#include "database/engine/Session.h"
#include "database/engine/Store.h"
#include "database/engine/Text.h"

namespace quorvalis::engine
{

namespace
{

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

void SkipBlanks(std::string_view text, std::size_t& pos)
{
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
}

// A keyword, compared without regard to case, that must end at a blank or the end.
bool Keyword(std::string_view text, std::size_t& pos, std::string_view word)
{
    if (text.size() - pos < word.size())
        return false;
    if (!EqualsNoCase(text.substr(pos, word.size()), word))
        return false;
    const std::size_t end = pos + word.size();
    if (end < text.size() && !IsBlank(text[end]))
        return false;
    pos = end;
    return true;
}

bool IsIdentifierChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::optional<std::string> QuotedName(std::string_view text, std::size_t& pos, char close)
{
    std::string name;
    ++pos;
    while (pos < text.size())
    {
        const char c = text[pos++];
        if (c == close)
        {
            if (pos < text.size() && text[pos] == close)
            {
                name += close;
                ++pos;
                continue;
            }
            return name;
        }
        name += c;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> ParseTableStatement(std::string_view sql)
{
    std::size_t pos = 0;
    SkipBlanks(sql, pos);
    if (!Keyword(sql, pos, "select"))
        return std::nullopt;
    SkipBlanks(sql, pos);
    const std::size_t aliasStart = pos;
    while (pos < sql.size() && IsIdentifierChar(sql[pos]))
        ++pos;
    const std::string_view alias = sql.substr(aliasStart, pos - aliasStart);
    if (alias.empty() || sql.substr(pos, 2) != ".*")
        return std::nullopt;
    pos += 2;
    if (pos >= sql.size() || !IsBlank(sql[pos]))
        return std::nullopt;
    SkipBlanks(sql, pos);
    if (!Keyword(sql, pos, "from"))
        return std::nullopt;
    SkipBlanks(sql, pos);
    if (pos >= sql.size())
        return std::nullopt;

    std::optional<std::string> table;
    const char first = sql[pos];
    if (first == '"')
        table = QuotedName(sql, pos, '"');
    else if (first == '\'')
        table = QuotedName(sql, pos, '\'');
    else if (first == '[')
        table = QuotedName(sql, pos, ']');
    else
    {
        const std::size_t start = pos;
        while (pos < sql.size() && !IsBlank(sql[pos]))
        {
            const char c = sql[pos];
            if (c == '"' || c == '\'' || c == '[' || c == ']' || c == ';' || c == '(' || c == ')')
                return std::nullopt;
            ++pos;
        }
        table = std::string(sql.substr(start, pos - start));
    }
    if (!table || table->empty())
        return std::nullopt;
    if (pos >= sql.size() || !IsBlank(sql[pos]))
        return std::nullopt;
    SkipBlanks(sql, pos);
    const std::size_t aliasEnd = pos;
    while (pos < sql.size() && IsIdentifierChar(sql[pos]))
        ++pos;
    if (!EqualsNoCase(sql.substr(aliasEnd, pos - aliasEnd), alias))
        return std::nullopt;
    SkipBlanks(sql, pos);
    if (pos < sql.size() && sql[pos] == ';')
        ++pos;
    SkipBlanks(sql, pos);
    if (pos != sql.size())
        return std::nullopt;
    return table;
}

std::string QuoteTableName(std::string_view driver, std::string_view table)
{
    char open = '"';
    char close = '"';
    if (EqualsNoCase(driver, "MSACCESS"))
    {
        open = '[';
        close = ']';
    }
    else if (EqualsNoCase(driver, "ORACLE"))
        open = close = '\'';
    std::string quoted(1, open);
    for (char c : table)
    {
        if (c == close)
            quoted += close;
        quoted += c;
    }
    return quoted + close;
}

std::string TableStatement(std::string_view driver, std::string_view table)
{
    return "select a.* from " + QuoteTableName(driver, table) + " a";
}

void Query::SetConnectionName(std::string name)
{
    if (name != connectionName_)
        Close();
    connectionName_ = std::move(name);
}

void Query::SetSQL(std::vector<std::string> lines)
{
    Close();
    sql_ = std::move(lines);
}

std::string Query::SQLText() const
{
    std::string text;
    for (std::size_t i = 0; i < sql_.size(); ++i)
    {
        if (i > 0)
            text += '\n';
        text += sql_[i];
    }
    return text;
}

void Query::SetRequestLive(bool value)
{
    if (value != requestLive_)
        Close();
    requestLive_ = value;
}

void Query::Prepare()
{
    if (TrimBlanks(SQLText()).empty())
        throw EngineError("The query has no SQL statement");
}

std::unique_ptr<RowSource> Query::OpenSource()
{
    Prepare();
    const std::string text = SQLText();
    const std::optional<std::string> table = ParseTableStatement(text);
    if (connectionName_.empty())
    {
        if (!table)
            throw EngineError("An SQL statement other than the selection of a whole table "
                              "needs a database");
        std::filesystem::path path = gdal::Utf8ToPath(*table);
        if (!path.has_extension())
            path += ".dbf";
        if (!EqualsNoCase(gdal::PathToUtf8(path.extension()), ".DBF"))
            throw EngineError("'" + *table + "' is not a dBase file");
        return OpenDbfTable(path, *table, requestLive_);
    }
    std::shared_ptr<Store> store = Session::Default().ResolveDatabase(connectionName_);
    if (table)
        return store->OpenTable(*table, requestLive_);
    return store->ExecuteSql(text);
}

} // namespace quorvalis::engine
