// The engine's session: aliases and their drivers, the tables of an alias, the connections of
// the process, and the data directory that holds the alias configuration and the standard store.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorvalis::engine
{

class Connection;
class Store;

/// The alias every installation has: the control file and the degree-sheet table.
inline constexpr char kStandardAlias[] = "QUORVALIS";
/// Driver names an alias may give; any other name is treated like "STANDARD".
inline constexpr char kDriverStandard[] = "STANDARD";
inline constexpr char kDriverAccess[] = "MSACCESS";
inline constexpr char kDriverOracle[] = "ORACLE";
inline constexpr char kDriverPostgres[] = "POSTGRES";

/// One alias of the configuration.
///
/// Exactly one of Path and Connection is set. Path names a GeoPackage file (".gpkg") or a
/// directory of dBase files; a relative path is taken from the data directory. Connection is a
/// PostgreSQL connection string in GDAL's form ("PG:host=... dbname=..."). Driver is the name the
/// session reports for the alias (the data-source dialogs filter by it and quote table names by
/// it); it does not choose the storage.
struct AliasDefinition
{
    std::string Name;
    std::string Driver = kDriverStandard;
    std::string Path;
    std::string Connection;
};

/// The session of the process (one object, Session::Default()).
///
/// Aliases come from the file "aliases.ini" in the data directory; the file is created with the
/// QUORVALIS entry when it is missing, and QUORVALIS exists even when the file does not name it.
/// The data directory is, in this order of precedence: the directory given to
/// SetHomeDirectory, the environment variable QUORVALIS_HOME, and the user's data directory
/// ("%LOCALAPPDATA%\Quorvalis" on Windows, "$XDG_DATA_HOME/Quorvalis" or
/// "~/.local/share/Quorvalis" elsewhere).
class Session
{
public:
    static Session& Default();

    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Data directory and configuration.
    std::filesystem::path HomeDirectory() const;
    /// Points the session at another data directory (tests, demonstrations) and reloads the
    /// aliases from there; an empty path returns to the default.
    void SetHomeDirectory(const std::filesystem::path& directory);
    std::filesystem::path AliasFileName() const;
    /// Reads the alias file again (creating it when missing). Raises EngineError naming the
    /// file and line for a malformed file.
    void ReloadAliases();
    /// Adds or replaces an alias in this session; with save, rewrites the alias file.
    void SetAlias(const AliasDefinition& alias, bool save = false);
    /// The definition of an alias (names compared without regard to case).
    std::optional<AliasDefinition> FindAlias(const std::string& name);

    // What the engine interface asks of a session.
    std::vector<std::string> AliasNames();
    /// Driver name of an alias; raises EngineError for an unknown alias.
    std::string AliasDriver(const std::string& alias);
    /// Table names of an alias with their extensions: the ".dbf" files of a directory, and the
    /// tables of a GeoPackage or PostgreSQL database with ".db" added when the alias's driver is
    /// "STANDARD". System tables are left out. Raises EngineError when the database cannot be
    /// opened.
    std::vector<std::string> TableNames(const std::string& alias);
    /// Names of the connections of the process (every Connection object alive, open or not),
    /// in the order they were created.
    std::vector<std::string> ConnectionNames() const;
    /// "__DB" + n + "__" with n the smallest positive integer no connection uses.
    std::string NextConnectionName() const;
    Connection* FindConnection(const std::string& name) const;

    /// The text of the degree-sheet reference data the standard store is filled from: the data
    /// built into the library unless a test or tool has set other text.
    std::string SheetData() const;
    void SetSheetData(std::optional<std::string> csv);

    // Used by the engine's own classes.
    void RegisterConnection(Connection& connection);
    void UnregisterConnection(Connection& connection);
    /// The store of an alias, opened (and, for QUORVALIS, created and filled) on first use.
    std::shared_ptr<Store> OpenAlias(const AliasDefinition& alias, const std::string& userName,
                                     const std::string& password);
    /// The files on disk that hold a table of a database (an alias, a connection, a directory),
    /// found without opening a server (which holds none).
    std::vector<std::filesystem::path> DataFiles(const std::string& database,
                                                 const std::string& table);
    /// The store a dataset's database name stands for: an open connection's, an alias's, or a
    /// directory of dBase files. Raises EngineError "Unknown database: name".
    std::shared_ptr<Store> ResolveDatabase(const std::string& name);

private:
    void LoadAliasesLocked();
    std::filesystem::path HomeDirectoryLocked() const;

    mutable std::recursive_mutex mutex_;
    std::optional<std::filesystem::path> home_;
    bool aliasesLoaded_ = false;
    std::vector<AliasDefinition> aliases_;
    std::vector<Connection*> connections_;
    std::optional<std::string> sheetData_;
};

} // namespace quorvalis::engine
