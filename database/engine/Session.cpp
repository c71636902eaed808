#include "database/engine/Session.h"

#include "database/engine/Connection.h"
#include "database/engine/StandardStore.h"
#include "database/engine/Store.h"
#include "database/engine/Text.h"
#include "database/engine/Value.h"
#include "geometry/Files.h"
#include "geometry/Platform.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace quorvalis::engine
{

namespace fs = std::filesystem;

namespace
{

constexpr char kAliasFile[] = "aliases.ini";
constexpr std::uintmax_t kAliasFileLimit = 1024 * 1024;

bool IsStandardAlias(const std::string& name)
{
    return EqualsNoCase(name, kStandardAlias);
}

AliasDefinition DefaultStandardAlias()
{
    AliasDefinition alias;
    alias.Name = kStandardAlias;
    alias.Driver = kDriverStandard;
    alias.Path = "quorvalis.gpkg";
    return alias;
}

std::optional<std::string> Environment(const char* name)
{
    std::optional<std::string> value = platform::EnvironmentValue(name);
    if (value && value->empty())
        return std::nullopt;
    return value;
}

fs::path DefaultHome()
{
#ifdef _WIN32
    if (auto local = Environment("LOCALAPPDATA"))
        return gdal::Utf8ToPath(*local) / "Quorvalis";
    if (auto profile = Environment("USERPROFILE"))
        return gdal::Utf8ToPath(*profile) / "AppData" / "Local" / "Quorvalis";
    return fs::current_path() / "Quorvalis";
#elif defined(__APPLE__)
    if (auto home = Environment("HOME"))
        return fs::path(*home) / "Library" / "Application Support" / "Quorvalis";
    return fs::current_path() / "Quorvalis";
#else
    if (auto data = Environment("XDG_DATA_HOME"); data && fs::path(*data).is_absolute())
        return fs::path(*data) / "Quorvalis";
    if (auto home = Environment("HOME"))
        return fs::path(*home) / ".local" / "share" / "Quorvalis";
    return fs::current_path() / "Quorvalis";
#endif
}

// The alias file is either the old or the new one, never a part of one. The temporary name is
// drawn at random, so that two programs saving at once cannot write into one temporary.
void WriteAliasFile(const fs::path& path, const std::string& text)
{
    const std::string name = gdal::PathToUtf8(path);
    try
    {
        std::random_device random;
        GAtomicFile file(name, name + ".tmp" + std::to_string(random() % 1000000000u));
        // It may hold a password: readable by its owner only, from before anything is in it.
        fs::permissions(gdal::Utf8ToPath(file.TemporaryPath()),
                        fs::perms::owner_read | fs::perms::owner_write);
        file.Write(text);
        file.Commit();
    }
    catch (const GFileException& failure)
    {
        throw EngineError("Cannot write '" + name + "': " + failure.what());
    }
    catch (const fs::filesystem_error& failure)
    {
        throw EngineError("Cannot write '" + name + "': " + failure.code().message());
    }
}

std::string FormatAliases(const std::vector<AliasDefinition>& aliases)
{
    std::ostringstream out;
    out << "# Database aliases of Quorvalis; one section per alias:\n"
           "#   [NAME]\n"
           "#   driver = STANDARD | MSACCESS | ORACLE | POSTGRES\n"
           "#   path = GeoPackage file or directory of dBase files (relative: this directory)\n"
           "#   connection = PG:PostgreSQL connection string (instead of path)\n";
    for (const AliasDefinition& alias : aliases)
    {
        out << "\n[" << alias.Name << "]\n";
        out << "driver = " << alias.Driver << "\n";
        if (!alias.Connection.empty())
            out << "connection = " << alias.Connection << "\n";
        else
            out << "path = " << alias.Path << "\n";
    }
    return out.str();
}

std::vector<AliasDefinition> ParseAliases(const std::string& text, const fs::path& file)
{
    std::vector<AliasDefinition> aliases;
    // Editors on Windows may start the file with a byte-order mark.
    std::istringstream in(text.rfind("\xEF\xBB\xBF", 0) == 0 ? text.substr(3) : text);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& what)
    {
        throw EngineError("Alias configuration '" + gdal::PathToUtf8(file) + "', line " +
                          std::to_string(number) + ": " + what);
    };
    auto finish = [&](int sectionLine)
    {
        if (aliases.empty())
            return;
        const AliasDefinition& alias = aliases.back();
        const int saved = number;
        number = sectionLine;
        if (alias.Path.empty() == alias.Connection.empty())
            fail("the alias " + alias.Name + " needs exactly one of path and connection");
        if (!alias.Connection.empty() &&
            !EqualsNoCase(std::string_view(alias.Connection).substr(0, 3), "PG:"))
            fail("the connection of alias " + alias.Name + " must begin with PG:");
        number = saved;
    };
    int sectionLine = 0;
    while (std::getline(in, line))
    {
        ++number;
        const std::string_view content = TrimBlanks(line);
        if (content.empty() || content[0] == '#' || content[0] == ';')
            continue;
        if (content.front() == '[')
        {
            if (content.back() != ']')
                fail("a section name must end with ]");
            finish(sectionLine);
            AliasDefinition alias;
            alias.Name = TrimBlanks(content.substr(1, content.size() - 2));
            if (alias.Name.empty())
                fail("the alias name is empty");
            for (const AliasDefinition& other : aliases)
                if (EqualsNoCase(other.Name, alias.Name))
                    fail("the alias " + alias.Name + " is defined twice");
            alias.Path.clear();
            aliases.push_back(alias);
            sectionLine = number;
            continue;
        }
        const std::size_t equals = content.find('=');
        if (equals == std::string::npos)
            fail("expected key = value");
        if (aliases.empty())
            fail("a key before the first [ALIAS] section");
        const std::string_view key = TrimBlanks(content.substr(0, equals));
        const std::string value(TrimBlanks(content.substr(equals + 1)));
        AliasDefinition& alias = aliases.back();
        if (EqualsNoCase(key, "DRIVER"))
            alias.Driver = value.empty() ? std::string(kDriverStandard) : UpperCase(value);
        else if (EqualsNoCase(key, "PATH"))
            alias.Path = value;
        else if (EqualsNoCase(key, "CONNECTION"))
            alias.Connection = value;
        else
            fail("unknown key '" + std::string(key) + "'");
    }
    finish(sectionLine);
    return aliases;
}

std::string QuoteConnectionValue(const std::string& value)
{
    std::string quoted = "'";
    for (char c : value)
    {
        if (c == '\'' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

} // namespace

Session& Session::Default()
{
    static Session session;
    return session;
}

Session::Session() = default;
Session::~Session() = default;

fs::path Session::HomeDirectoryLocked() const
{
    if (home_)
        return *home_;
    if (auto home = Environment("QUORVALIS_HOME"))
        return gdal::Utf8ToPath(*home);
    return DefaultHome();
}

fs::path Session::HomeDirectory() const
{
    std::lock_guard lock(mutex_);
    return HomeDirectoryLocked();
}

void Session::SetHomeDirectory(const fs::path& directory)
{
    std::lock_guard lock(mutex_);
    if (directory.empty())
        home_.reset();
    else
        home_ = fs::absolute(directory);
    aliasesLoaded_ = false;
    aliases_.clear();
}

fs::path Session::AliasFileName() const
{
    return HomeDirectory() / kAliasFile;
}

void Session::LoadAliasesLocked()
{
    if (aliasesLoaded_)
        return;
    const fs::path home = HomeDirectoryLocked();
    const fs::path file = home / kAliasFile;
    std::vector<AliasDefinition> aliases;
    std::error_code error;
    if (fs::exists(file, error))
    {
        if (fs::file_size(file, error) > kAliasFileLimit)
            throw EngineError("Alias configuration '" + gdal::PathToUtf8(file) +
                              "' is larger than 1 MiB");
        std::ifstream in(file, std::ios::binary);
        if (!in)
            throw EngineError("Cannot read the alias configuration '" + gdal::PathToUtf8(file) +
                              "'");
        std::ostringstream text;
        text << in.rdbuf();
        aliases = ParseAliases(text.str(), file);
    }
    else
    {
        aliases.push_back(DefaultStandardAlias());
        fs::create_directories(home, error);
        if (error)
            throw EngineError("Cannot create the data directory '" + gdal::PathToUtf8(home) +
                              "': " + error.message());
        WriteAliasFile(file, FormatAliases(aliases));
    }
    const bool hasStandard =
        std::any_of(aliases.begin(), aliases.end(),
                    [](const AliasDefinition& alias) { return IsStandardAlias(alias.Name); });
    if (!hasStandard)
        aliases.insert(aliases.begin(), DefaultStandardAlias());
    aliases_ = std::move(aliases);
    aliasesLoaded_ = true;
}

void Session::ReloadAliases()
{
    std::lock_guard lock(mutex_);
    aliasesLoaded_ = false;
    LoadAliasesLocked();
}

void Session::SetAlias(const AliasDefinition& alias, bool save)
{
    if (alias.Name.empty() || alias.Path.empty() == alias.Connection.empty())
        throw EngineError("An alias needs a name and exactly one of path and connection");
    std::lock_guard lock(mutex_);
    LoadAliasesLocked();
    auto same = std::find_if(aliases_.begin(), aliases_.end(),
                             [&](const AliasDefinition& other)
                             { return EqualsNoCase(other.Name, alias.Name); });
    AliasDefinition stored = alias;
    stored.Driver = stored.Driver.empty() ? std::string(kDriverStandard) : UpperCase(stored.Driver);
    if (same != aliases_.end())
        *same = stored;
    else
        aliases_.push_back(stored);
    if (save)
    {
        std::error_code error;
        fs::create_directories(HomeDirectoryLocked(), error);
        WriteAliasFile(HomeDirectoryLocked() / kAliasFile, FormatAliases(aliases_));
    }
}

std::optional<AliasDefinition> Session::FindAlias(const std::string& name)
{
    std::lock_guard lock(mutex_);
    LoadAliasesLocked();
    for (const AliasDefinition& alias : aliases_)
        if (EqualsNoCase(alias.Name, name))
            return alias;
    return std::nullopt;
}

std::vector<std::string> Session::AliasNames()
{
    std::lock_guard lock(mutex_);
    LoadAliasesLocked();
    std::vector<std::string> names;
    for (const AliasDefinition& alias : aliases_)
        names.push_back(alias.Name);
    return names;
}

std::string Session::AliasDriver(const std::string& name)
{
    const std::optional<AliasDefinition> alias = FindAlias(name);
    if (!alias)
        throw EngineError("Unknown database: " + name);
    return alias->Driver.empty() ? std::string(kDriverStandard) : alias->Driver;
}

std::vector<std::string> Session::TableNames(const std::string& name)
{
    const std::optional<AliasDefinition> alias = FindAlias(name);
    if (!alias)
        throw EngineError("Unknown database: " + name);
    std::shared_ptr<Store> store = OpenAlias(*alias, {}, {});
    std::vector<std::string> names = store->TableNames();
    const std::string driver = UpperCase(alias->Driver);
    const bool plainNames =
        driver == kDriverAccess || driver == kDriverOracle || driver == kDriverPostgres;
    if (!store->ListsFileNames() && !plainNames)
        for (std::string& table : names)
        {
            // Every name given opens the table it stands for: the ".db" form only where no
            // other table takes that name (a table "x.db" beside "x", or "X.DB" beside "x").
            const std::optional<std::string> resolved = store->ResolveTable(table + ".db");
            if (resolved && *resolved == table)
                table += ".db";
        }
    return names;
}

std::vector<std::string> Session::ConnectionNames() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const Connection* connection : connections_)
        names.push_back(connection->Name());
    return names;
}

std::string Session::NextConnectionName() const
{
    std::lock_guard lock(mutex_);
    for (int n = 1;; ++n)
    {
        const std::string name = "__DB" + std::to_string(n) + "__";
        if (FindConnection(name) == nullptr)
            return name;
    }
}

Connection* Session::FindConnection(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    for (Connection* connection : connections_)
        if (EqualsNoCase(connection->Name(), name))
            return connection;
    return nullptr;
}

void Session::RegisterConnection(Connection& connection)
{
    std::lock_guard lock(mutex_);
    if (connection.Name().empty())
        throw EngineError("A connection needs a name");
    if (FindConnection(connection.Name()) != nullptr)
        throw EngineError("Duplicate database name '" + connection.Name() + "'");
    connections_.push_back(&connection);
}

void Session::UnregisterConnection(Connection& connection)
{
    std::lock_guard lock(mutex_);
    connections_.erase(std::remove(connections_.begin(), connections_.end(), &connection),
                       connections_.end());
}

std::string Session::SheetData() const
{
    std::lock_guard lock(mutex_);
    return sheetData_ ? *sheetData_ : BuiltInSheetData();
}

void Session::SetSheetData(std::optional<std::string> csv)
{
    std::lock_guard lock(mutex_);
    sheetData_ = std::move(csv);
}

std::shared_ptr<Store> Session::OpenAlias(const AliasDefinition& alias, const std::string& userName,
                                          const std::string& password)
{
    const bool standard = IsStandardAlias(alias.Name);
    std::shared_ptr<Store> store;
    if (!alias.Connection.empty())
    {
        std::string connection = alias.Connection;
        if (!userName.empty())
            connection += " user=" + QuoteConnectionValue(userName);
        if (!password.empty())
            connection += " password=" + QuoteConnectionValue(password);
        const std::string key = "pg:" + connection;
        store = AcquireStore(
            key, [&]
            { return std::make_shared<GdalStore>(key, GdalStore::Kind::PostgreSQL, connection); });
    }
    else
    {
        fs::path path = gdal::Utf8ToPath(alias.Path);
        if (path.is_relative())
            path = HomeDirectory() / path;
        std::error_code error;
        if (standard && !fs::exists(path, error))
            CreateStandardGeoPackage(path, SheetData());
        else if (!fs::exists(path, error) &&
                 EqualsNoCase(gdal::PathToUtf8(path.extension()), ".GPKG"))
            CreateEmptyGeoPackage(path);
        if (fs::is_directory(path, error))
        {
            if (standard)
                throw EngineError("The alias QUORVALIS must name a GeoPackage file or a "
                                  "PostgreSQL database, not the directory '" +
                                  gdal::PathToUtf8(path) + "'");
            store = AcquireDirectoryStore(path);
        }
        else if (fs::exists(path, error))
        {
            const std::string key = "gpkg:" + CanonicalKey(path);
            const std::string target = gdal::PathToUtf8(path);
            const std::string home =
                CanonicalKey(HomeDirectory()) + static_cast<char>(fs::path::preferred_separator);
            const bool ownFile = key.compare(5, home.size(), home) == 0;
            store = AcquireStore(key,
                                 [&] {
                                     return std::make_shared<GdalStore>(
                                         key, GdalStore::Kind::GeoPackage, target, ownFile);
                                 });
        }
        else
            throw EngineError("The database of alias " + alias.Name +
                              " does not exist: " + gdal::PathToUtf8(path));
    }
    if (standard)
    {
        auto* gdalStore = dynamic_cast<GdalStore*>(store.get());
        if (gdalStore == nullptr)
            throw EngineError("The alias QUORVALIS must name a GeoPackage file or a PostgreSQL "
                              "database");
        PrepareStandardStore(*gdalStore, SheetData());
    }
    return store;
}

std::vector<fs::path> Session::DataFiles(const std::string& database, const std::string& table)
{
    if (Connection* connection = FindConnection(database); connection && connection->Connected())
        return connection->DataFiles(table);
    if (const std::optional<AliasDefinition> alias = FindAlias(database))
    {
        if (!alias->Connection.empty())
            return {};
        fs::path path = gdal::Utf8ToPath(alias->Path);
        if (path.is_relative())
            path = HomeDirectory() / path;
        std::error_code error;
        if (fs::is_directory(path, error))
            return AcquireDirectoryStore(path)->DataFiles(table);
        return {path};
    }
    return ResolveDatabase(database)->DataFiles(table);
}

std::shared_ptr<Store> Session::ResolveDatabase(const std::string& name)
{
    if (name.empty())
        throw EngineError("No database given");
    if (Connection* connection = FindConnection(name))
        return connection->GetStore();
    if (const std::optional<AliasDefinition> alias = FindAlias(name))
        return OpenAlias(*alias, {}, {});
    const fs::path path = gdal::Utf8ToPath(name);
    std::error_code error;
    if (fs::is_directory(path, error))
        return AcquireDirectoryStore(path);
    throw EngineError("Unknown database: " + name);
}

} // namespace quorvalis::engine
