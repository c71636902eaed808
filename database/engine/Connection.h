// A connection of the engine to the database of an alias, with its login parameters and
// transactions.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quorvalis::engine
{

class Store;

/// A named connection. It is listed by the session from construction to destruction, so two
/// connections alive at once never share a name. Opening resolves the alias; the parameter lines
/// "USER NAME=" + user and "PASSWORD=" + password supply the login of a PostgreSQL database
/// (empty values are left out of the login; other databases need none).
class Connection
{
public:
    /// Raises EngineError "Duplicate database name 'name'" when a connection of that name exists.
    explicit Connection(std::string name);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& AliasName() const { return alias_; }
    /// Changing the alias of an open connection closes it first.
    void SetAliasName(std::string alias);
    std::vector<std::string>& Params() { return params_; }
    const std::vector<std::string>& Params() const { return params_; }
    /// The value of a parameter line "NAME=value" (names compared without regard to case).
    std::string Param(const std::string& name) const;

    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }
    bool Exclusive() const { return exclusive_; }
    void SetExclusive(bool value) { exclusive_ = value; }

    /// Opens the alias's database; raises EngineError when the alias is unknown or the database
    /// cannot be reached.
    void Open();
    /// Closes the connection; an active transaction is rolled back.
    void Close();
    bool Connected() const { return store_ != nullptr; }

    /// Transactions cover every write to the database of this connection until Commit or
    /// Rollback. A directory of dBase files has no transactions: its rows are written at once and
    /// Rollback takes nothing back.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const;

    /// The open database (opening it when needed).
    std::shared_ptr<Store> GetStore();

    /// Starts a transaction (unless one is active) in which the table is locked against every
    /// other writer until it ends; nothing for a database without transactions. Raises
    /// EngineError (the transaction rolled back) when the table cannot be locked.
    void LockTableForUpdate(const std::string& table);
    /// The files on disk that hold the table (none for a server).
    std::vector<std::filesystem::path> DataFiles(const std::string& table);

private:
    std::string name_;
    std::string alias_;
    std::vector<std::string> params_;
    bool loginPrompt_ = false;
    bool exclusive_ = false;
    std::shared_ptr<Store> store_;
    bool ownsTransaction_ = false;
};

} // namespace quorvalis::engine
