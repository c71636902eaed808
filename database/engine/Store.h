// Internal to the engine: the stores behind aliases and table files, and the row sources over
// them. One store object exists per file or server connection in the process; every connection,
// query and table using it shares it, so two datasets on one file never hold two handles that
// overwrite each other's headers.
#pragma once

#include "database/engine/DataSet.h"
#include "database/engine/FieldDef.h"
#include "database/engine/GdalSupport.h"
#include "database/engine/Text.h"

#include <cpl_port.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorvalis::engine
{

class PgLink;

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
    /// The name a table resolves to (see OpenTable), or nothing.
    virtual std::optional<std::string> ResolveTable(const std::string& name) = 0;
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
    /// The files on disk that hold the table (and that a flush rewrites); none for a server.
    virtual std::vector<std::filesystem::path> DataFiles(const std::string& table) = 0;

    /// Transactions; stores without them accept the calls and write at once (a dBase file is
    /// rewritten whole at each write, which is all-or-nothing by itself).
    virtual bool SupportsTransactions() const { return false; }
    virtual void StartTransaction();
    virtual void Commit();
    virtual void Rollback();
    bool InTransaction() const { return inTransaction_; }
    /// Changes whenever a transaction starts or ends.
    std::uint64_t TransactionSerial() const { return transactionSerial_; }
    /// Within a transaction: waits until no other program writes the table and keeps every other
    /// writer waiting until the transaction ends, so that what is read next is still true when
    /// the transaction writes. Readers are not held up. Nothing where the store has no writers'
    /// lock.
    virtual void LockTableForUpdate(const std::string& name);

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
    bool AnyTableOpen() const { return !openTables_.empty(); }

    /// Set once the standard tables have been checked for this store.
    bool StandardTablesChecked = false;

protected:
    void SetInTransaction(bool value)
    {
        inTransaction_ = value;
        ++transactionSerial_;
    }

private:
    bool inTransaction_ = false;
    std::uint64_t transactionSerial_ = 0;
    std::string key_;
    std::set<std::string> readOnlyTables_;  // upper case
    std::multiset<std::string> openTables_; // upper case
};

/// One dBase file, seen through the dBase-only view. Writes rewrite the whole file: the rows
/// are changed in a copy in memory, which then replaces the file completely or not at all.
class DbfFileStore : public Store
{
public:
    explicit DbfFileStore(const std::filesystem::path& path);
    ~DbfFileStore() override;

    bool ListsFileNames() const override { return true; }
    std::vector<std::string> TableNames() override;
    bool HasTable(const std::string& name) override;
    std::optional<std::string> ResolveTable(const std::string& name) override;
    std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) override;
    std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) override;
    void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) override;
    void DropTable(const std::string& name) override;
    std::vector<std::filesystem::path> DataFiles(const std::string& table) override;

    const std::filesystem::path& Path() const { return path_; }
    OGRLayer* Layer() const;
    bool Writable() const { return writable_; }
    /// Changes each time the file was rewritten (readers then read it anew).
    std::uint64_t Generation() const { return generation_; }
    /// Writes the batch into a copy of the file and puts the copy in its place; returns the
    /// number of rows the file then has. Raises EngineError (the file unchanged) on failure.
    GIntBig Rewrite(const UpdateBatch& batch, const std::vector<Field>& fields);

private:
    std::filesystem::path path_;
    gdal::DatasetPtr dataset_;
    bool writable_ = false;
    std::uint64_t generation_ = 0;
};

/// A directory of dBase files: each ".dbf" file is a table.
class DirectoryStore : public Store
{
public:
    explicit DirectoryStore(const std::filesystem::path& directory);

    bool ListsFileNames() const override { return true; }
    std::vector<std::string> TableNames() override;
    bool HasTable(const std::string& name) override;
    std::optional<std::string> ResolveTable(const std::string& name) override;
    std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) override;
    std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) override;
    void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) override;
    void DropTable(const std::string& name) override;
    std::vector<std::filesystem::path> DataFiles(const std::string& table) override;

    /// The file a table name stands for (an existing file matched ignoring case, or the name
    /// with ".dbf" when it has no extension or ".db").
    std::filesystem::path TablePath(const std::string& name) const;

private:
    std::filesystem::path directory_;
};

/// A GeoPackage file or a PostgreSQL database: one GDAL dataset with one layer per table.
///
/// GDAL reads the rows and creates and drops tables. Rows are written past GDAL: in a GeoPackage
/// through the same SQLite connection (so in the same transaction), in PostgreSQL through a libpq
/// connection of the store that also holds its transactions and locks and writes changed rows in
/// bulk (COPY into a temporary table, then one UPDATE).
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
    std::optional<std::string> ResolveTable(const std::string& name) override;
    std::unique_ptr<RowSource> OpenTable(const std::string& name, bool live) override;
    std::unique_ptr<RowSource> ExecuteSql(const std::string& sql) override;
    void CreateTable(const std::string& name, const std::vector<FieldDef>& fields) override;
    void DropTable(const std::string& name) override;
    std::vector<std::filesystem::path> DataFiles(const std::string& table) override;

    bool SupportsTransactions() const override { return true; }
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void LockTableForUpdate(const std::string& name) override;

    Kind StoreKind() const { return kind_; }
    GDALDataset* Dataset() const { return dataset_.get(); }
    /// The layer a table name resolves to, or nullptr.
    OGRLayer* FindLayer(const std::string& name) const;
    /// Opens the GDAL dataset anew (to see tables and schemas made by others); only while no
    /// table is open.
    void Reopen();
    /// The libpq connection of a PostgreSQL store (made on first use).
    PgLink& Pg();
    /// A PostgreSQL table's name as SQL (schema and table, quoted) for a layer.
    std::string PgTableSql(OGRLayer& layer);
    /// PostgreSQL: when no schema of the search path exists, creates the first one it names (and
    /// opens the database anew), or raises saying how to create it. Nothing for a GeoPackage.
    void EnsurePgSchema();
    /// Runs a change of tables (create, drop, fill) in a transaction of GDAL's connection.
    void SchemaTransaction(const std::function<void()>& change);
    /// PostgreSQL: runs work while holding the database-wide lock under which programs of this
    /// kind change tables, so that two of them never make the same table at once.
    void WithSchemaLock(const std::function<void()>& work);

    /// One row to change: its id, all its values and the columns that changed.
    struct RowChange
    {
        GIntBig Fid = 0;
        int Index = 0;
        const std::vector<Value>* Values = nullptr;
        const std::vector<bool>* Changed = nullptr;
    };
    /// Writes the changed columns of the rows; raises EngineError naming the row on failure (a
    /// row that no longer exists included).
    void UpdateRows(OGRLayer& layer, const std::vector<Field>& fields,
                    const std::vector<RowChange>& rows, const std::string& table);
    /// Adds the rows (their non-null values) and returns their new ids, in order.
    std::vector<GIntBig> InsertRows(OGRLayer& layer, const std::vector<Field>& fields,
                                    const std::vector<const std::vector<Value>*>& rows,
                                    const std::string& table);
    /// Removes the rows of these ids.
    void DeleteRows(OGRLayer& layer, const std::vector<GIntBig>& fids,
                    const std::vector<int>& indexes, const std::string& table);

private:
    void OpenDataset();

    Kind kind_;
    std::string target_;
    bool ownFile_;
    gdal::DatasetPtr dataset_;
    bool writable_ = false;
    std::unique_ptr<PgLink> pg_;
    int batchCounter_ = 0;
    bool inSchemaTransaction_ = false;
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
