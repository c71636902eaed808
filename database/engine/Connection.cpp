#include "database/engine/Connection.h"

#include "database/engine/Session.h"
#include "database/engine/Store.h"
#include "database/engine/Text.h"

namespace quorvalis::engine
{

Connection::Connection(std::string name) : name_(std::move(name))
{
    Session::Default().RegisterConnection(*this);
}

Connection::~Connection()
{
    try
    {
        Close();
    }
    catch (...)
    {
        // Closing only releases handles; nothing is left to report to.
    }
    Session::Default().UnregisterConnection(*this);
}

void Connection::SetAliasName(std::string alias)
{
    if (Connected() && !EqualsNoCase(alias, alias_))
        Close();
    alias_ = std::move(alias);
}

std::string Connection::Param(const std::string& name) const
{
    for (const std::string& line : params_)
    {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos &&
            EqualsNoCase(std::string_view(line).substr(0, equals), name))
            return line.substr(equals + 1);
    }
    return {};
}

void Connection::Open()
{
    if (Connected())
        return;
    if (alias_.empty())
        throw EngineError("The connection '" + name_ + "' names no alias");
    Session& session = Session::Default();
    const std::optional<AliasDefinition> alias = session.FindAlias(alias_);
    if (!alias)
        throw EngineError("Unknown database: " + alias_);
    store_ = session.OpenAlias(*alias, Param("USER NAME"), Param("PASSWORD"));
}

void Connection::Close()
{
    if (!store_)
        return;
    Rollback();
    store_.reset();
}

void Connection::StartTransaction()
{
    Open();
    if (ownsTransaction_)
        throw EngineError("A transaction is already active on the connection '" + name_ + "'");
    store_->StartTransaction();
    ownsTransaction_ = true;
}

void Connection::Commit()
{
    if (!ownsTransaction_)
        throw EngineError("No transaction is active on the connection '" + name_ + "'");
    store_->Commit();
    ownsTransaction_ = false;
}

void Connection::Rollback()
{
    if (!ownsTransaction_)
        return;
    ownsTransaction_ = false;
    store_->Rollback();
}

bool Connection::InTransaction() const
{
    return ownsTransaction_;
}

void Connection::LockTableForUpdate(const std::string& table)
{
    Open();
    if (!store_->SupportsTransactions())
        return;
    const bool own = !ownsTransaction_;
    if (own)
        StartTransaction();
    try
    {
        store_->LockTableForUpdate(table);
    }
    catch (...)
    {
        if (own)
            Rollback();
        throw;
    }
}

std::vector<std::filesystem::path> Connection::DataFiles(const std::string& table)
{
    return GetStore()->DataFiles(table);
}

std::shared_ptr<Store> Connection::GetStore()
{
    Open();
    return store_;
}

} // namespace quorvalis::engine
