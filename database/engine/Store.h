// Internal to the engine: the stores behind aliases and table files, and the row sources over
// them. One store object exists per file or server connection in the process; every connection,
// query and table using it shares it, so two datasets on one file never hold two handles that
// overwrite each other's headers.
#pragma once

#include "database/engine/DataSet.h"
#include "database/engine/FieldDef.h"
#include "database/engine/GdalSupport.h"
#include "database/engine/Text.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorvalis::engine
{

class Store : public std::enable_shared_from_this<Store>
{
public:
    explicit Store(std::string key) : key_(std::move(key)) {}
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    virtual ~Store() = default;

    /// Identity of the store in the process (kind and canonical path or connection string).
    const std::string& Key() const { return key_; }
    /// Whether table names are listed as files, with their own extension (other stores' names
    /// get ".db" added for aliases of the "STANDARD" kind).
    virtual bool ListsFileNames() const { return false; }

    /// Names of the user tables, sorted.
    virtual std::vector<std::string> TableNames() = 0;
    /// Whether a table of this name resolves (see OpenTable).
    virtual bool HasTable(const std::string& name) = 0;
    /// A cursor over a table, live (updatable) when asked and the store allows it. Names
    /// resolve exactly, then ignoring case, then without a ".db"/".dbf" extension.
    virtual std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) = 0;
    /// The read-only result of any other SQL text, run by the store's own SQL dialect on a
    /// read-only handle so that the text cannot change anything.
    virtual std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) = 0;
    /// Creates the table, replacing one of that name.
    virtual void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) = 0;
    /// Removes the table; raises EngineError when it does not exist or is open.
    virtual void DropTable(const std::string& name) = 0;

    /// Transactions; stores without them accept the calls and write at once.
    virtual bool SupportsTransactions() const { return false; }
    virtual void StartTransaction();
    virtual void Commit();
    virtual void Rollback();
    bool InTransaction() const { return inTransaction_; }

    /// Tables that are opened read-only whatever the caller asks (reference data).
    void MarkReadOnlyTable(const std::string& name);
    bool IsReadOnlyTable(const std::string& name) const;

    /// Tables with an open cursor cannot be replaced under it.
    void TableOpened(const std::string& name) { openTables_.insert(UpperCase(name)); }
    void TableClosed(const std::string& name)
    {
        auto found = openTables_.find(UpperCase(name));
        if (found != openTables_.end())
            openTables_.erase(found);
    }
    bool IsTableOpen(const std::string& name) const
    {
        return openTables_.count(UpperCase(name)) != 0;
    }

    /// Set once the standard tables have been checked for this store.
    bool StandardTablesChecked = false;

protected:
    bool inTransaction_ = false;

private:
    std::string key_;
    std::set<std::string> readOnlyTables_;  // upper case
    std::multiset<std::string> openTables_; // upper case
};

/// One dBase file, seen through the dBase-only view.
class DbfFileStore : public Store
{
public:
    explicit DbfFileStore(const std::filesystem::path& path);
    ~DbfFileStore() override;

    bool ListsFileNames() const override { return true; }
    std::vector<std::string> TableNames() override;
    bool HasTable(const std::string& name) override;
    std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) override;
    std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) override;
    void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) override;
    void DropTable(const std::string& name) override;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    gdal::DatasetPtr dataset_;
    bool writable_ = false;
};

/// A directory of dBase files: each ".dbf" file is a table.
class DirectoryStore : public Store
{
public:
    explicit DirectoryStore(const std::filesystem::path& directory);

    bool ListsFileNames() const override { return true; }
    std::vector<std::string> TableNames() override;
    bool HasTable(const std::string& name) override;
    std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) override;
    std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) override;
    void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) override;
    void DropTable(const std::string& name) override;

    /// The file a table name stands for (an existing file matched ignoring case, or the name
    /// with ".dbf" when it has no extension or ".db").
    std::filesystem::path TablePath(const std::string& name) const;

private:
    std::filesystem::path directory_;
};

/// A GeoPackage file or a PostgreSQL database: one GDAL dataset with one layer per table.
class GdalStore : public Store
{
public:
    enum class Kind
    {
        GeoPackage,
        PostgreSQL
    };

    /// target: the GeoPackage path (UTF-8) or the "PG:" connection string. ownFile: a
    /// GeoPackage of the engine's data directory, kept with a write-ahead log.
    GdalStore(std::string key, Kind kind, std::string target, bool ownFile = false);
    ~GdalStore() override;

    std::vector<std::string> TableNames() override;
    bool HasTable(const std::string& name) override;
    std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) override;
    std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) override;
    void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) override;
    void DropTable(const std::string& name) override;

    bool SupportsTransactions() const override { return true; }
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;

    Kind StoreKind() const { return kind_; }
    GDALDataset* Dataset() const { return dataset_.get(); }
    /// The layer a table name resolves to, or nullptr.
    OGRLayer* FindLayer(const std::string& name) const;

private:
    Kind kind_;
    std::string target_;
    gdal::DatasetPtr dataset_;
    bool writable_ = false;
};

/// Rows held in memory: the in-memory tables and the materialised results of SQL statements.
class MemoryRowSource : public RowSource
{
public:
    MemoryRowSource(std::vector<Field> fields, std::shared_ptr<std::vector<Row>> rows,
                    bool writable);

    const std::vector<Field>& Fields() const override { return fields_; }
    int Count() override { return static_cast<int>(rows_->size()); }
    Row Read(int index) override;
    void Update(int index, const Row& row, const std::vector<bool>& changed) override;
    void Insert(const Row& row) override;
    void Remove(int index) override;
    bool CanModify() const override { return writable_; }
    bool SupportsCachedUpdates() const override { return false; }
    void ApplyBatch(const UpdateBatch& batch) override;
    void CommitBatch() override {}
    void DiscardBatch() override {}

private:
    std::vector<Field> fields_;
    std::shared_ptr<std::vector<Row>> rows_;
    bool writable_;
};

/// Reads every row of an OGR layer (a SQL result) into memory.
std::unique_ptr<RowSource> MaterialiseLayer(OGRLayer& layer);
/// Runs an SQL statement on the dataset and reads its whole result into memory; raises
/// EngineError when the statement gives no result.
std::unique_ptr<RowSource> RunSql(GDALDataset& dataset, const std::string& sql);

/// The store of this key if one is alive in the process, otherwise the one make creates (kept
/// for as long as anybody holds it).
std::shared_ptr<Store> AcquireStore(const std::string& key,
                                    const std::function<std::shared_ptr<Store>()>& make);
/// The store of this key if one is alive, or nullptr.
std::shared_ptr<Store> FindLiveStore(const std::string& key);
/// Identity of a file or directory for store keys: absolute, normalised, links resolved (and
/// lower case where file names ignore case).
std::string CanonicalKey(const std::filesystem::path& path);
/// The shared store of one dBase file.
std::shared_ptr<Store> AcquireDbfStore(const std::filesystem::path& path);
/// The shared store of a directory of dBase files.
std::shared_ptr<Store> AcquireDirectoryStore(const std::filesystem::path& directory);
/// A cursor over the dBase file at path (name is the table name the caller was given); raises
/// EngineError when the file does not exist.
std::unique_ptr<RowSource> OpenDbfTable(const std::filesystem::path& path, const std::string& name,
                                        bool live);
/// Creates (replacing) the dBase file at path with these columns; raises EngineError, naming the
/// table by name, while a dataset has it open.
void ReplaceDbf(const std::filesystem::path& path, const std::string& name,
                const std::vector<FieldDef>& fields);
/// Deletes a dBase file (and its code page file) that no dataset has open.
void DeleteDbf(const std::filesystem::path& path);
/// Drops ".db" or ".dbf" (any case) from the end of a table name.
std::string StripTableExtension(const std::string& name);

} // namespace quorvalis::engine
