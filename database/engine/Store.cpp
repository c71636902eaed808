#include "database/engine/Store.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>

namespace quorvalis::engine
{

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The pool of live stores.

namespace
{

std::mutex& PoolMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, std::weak_ptr<Store>>& Pool()
{
    static std::map<std::string, std::weak_ptr<Store>> pool;
    return pool;
}

bool LessNoCase(const std::string& a, const std::string& b)
{
    const std::string ua = UpperCase(a);
    const std::string ub = UpperCase(b);
    return ua != ub ? ua < ub : a < b;
}

std::string DbfStoreKey(const fs::path& path)
{
    return "dbf:" + CanonicalKey(path);
}

std::string DirectoryStoreKey(const fs::path& directory)
{
    return "dir:" + CanonicalKey(directory);
}

} // namespace

std::shared_ptr<Store> AcquireStore(const std::string& key,
                                    const std::function<std::shared_ptr<Store>()>& make)
{
    {
        std::lock_guard lock(PoolMutex());
        auto found = Pool().find(key);
        if (found != Pool().end())
        {
            if (auto store = found->second.lock())
                return store;
            Pool().erase(found);
        }
    }
    // Opening may take long (a server); the pool is not held meanwhile. The engine runs on one
    // thread, so nobody else opens the same key in between.
    std::shared_ptr<Store> store = make();
    std::lock_guard lock(PoolMutex());
    Pool()[key] = store;
    return store;
}

std::shared_ptr<Store> FindLiveStore(const std::string& key)
{
    std::lock_guard lock(PoolMutex());
    auto found = Pool().find(key);
    return found == Pool().end() ? nullptr : found->second.lock();
}

std::string CanonicalKey(const fs::path& path)
{
    std::error_code error;
    fs::path canonical = fs::weakly_canonical(fs::absolute(path), error);
    if (error)
        canonical = fs::absolute(path).lexically_normal();
    std::string key = gdal::PathToUtf8(canonical);
#ifdef _WIN32
    key = UpperCase(key);
#endif
    return key;
}

std::shared_ptr<Store> AcquireDbfStore(const fs::path& path)
{
    return AcquireStore(DbfStoreKey(path), [&] { return std::make_shared<DbfFileStore>(path); });
}

std::shared_ptr<Store> AcquireDirectoryStore(const fs::path& directory)
{
    return AcquireStore(DirectoryStoreKey(directory),
                        [&] { return std::make_shared<DirectoryStore>(directory); });
}

std::unique_ptr<RowSource> OpenDbfTable(const fs::path& path, const std::string& name, bool live)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw EngineError("The table file '" + gdal::PathToUtf8(path) + "' does not exist");
    return AcquireDbfStore(path)->OpenTable(name, live);
}

void ReplaceDbf(const fs::path& path, const std::string& name, const std::vector<FieldDef>& fields)
{
    if (FindLiveStore(DbfStoreKey(path)))
        throw EngineError("Cannot replace table '" + name + "' while it is open");
    gdal::CreateDbf(path, fields);
}

std::string StripTableExtension(const std::string& name)
{
    const std::string upper = UpperCase(name);
    for (const char* extension : {".DBF", ".DB"})
    {
        const std::size_t length = std::strlen(extension);
        if (upper.size() > length && upper.compare(upper.size() - length, length, extension) == 0)
            return name.substr(0, name.size() - length);
    }
    return name;
}

// ---------------------------------------------------------------------------------------------
// Store

void Store::StartTransaction()
{
    if (inTransaction_)
        throw EngineError("A transaction is already active on this database");
    inTransaction_ = true;
}

void Store::Commit()
{
    inTransaction_ = false;
}

void Store::Rollback()
{
    // Stores without transactions have written every row already; nothing can be taken back.
    inTransaction_ = false;
}

void Store::MarkReadOnlyTable(const std::string& name)
{
    readOnlyTables_.insert(UpperCase(name));
}

bool Store::IsReadOnlyTable(const std::string& name) const
{
    return readOnlyTables_.count(UpperCase(name)) != 0;
}

// ---------------------------------------------------------------------------------------------
// Row sources

MemoryRowSource::MemoryRowSource(std::vector<Field> fields, std::shared_ptr<std::vector<Row>> rows,
                                 bool writable)
    : fields_(std::move(fields)), rows_(std::move(rows)), writable_(writable)
{
}

Row MemoryRowSource::Read(int index)
{
    return rows_->at(static_cast<std::size_t>(index));
}

void MemoryRowSource::Update(int index, const Row& row, const std::vector<bool>&)
{
    rows_->at(static_cast<std::size_t>(index)) = row;
}

void MemoryRowSource::Insert(const Row& row)
{
    rows_->push_back(row);
}

void MemoryRowSource::Remove(int index)
{
    rows_->erase(rows_->begin() + index);
}

void MemoryRowSource::ApplyBatch(const UpdateBatch& batch)
{
    for (const auto& [index, row] : batch.Modified)
        rows_->at(static_cast<std::size_t>(index)) = row;
    for (auto deleted = batch.Deleted.rbegin(); deleted != batch.Deleted.rend(); ++deleted)
        rows_->erase(rows_->begin() + *deleted);
    rows_->insert(rows_->end(), batch.Inserted.begin(), batch.Inserted.end());
}

namespace
{

struct FeatureDeleter
{
    void operator()(OGRFeature* feature) const { OGRFeature::DestroyFeature(feature); }
};
using FeaturePtr = std::unique_ptr<OGRFeature, FeatureDeleter>;

std::vector<Field> LayerFields(OGRLayer& layer)
{
    std::vector<Field> fields;
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    for (int i = 0; i < definition->GetFieldCount(); ++i)
        fields.push_back(gdal::FieldFromOgr(*definition->GetFieldDefn(i)));
    return fields;
}

Row FeatureRow(const OGRFeature& feature, std::size_t columns)
{
    Row row;
    row.reserve(columns);
    for (std::size_t i = 0; i < columns; ++i)
        row.push_back(gdal::ReadOgrValue(feature, static_cast<int>(i)));
    return row;
}

/// A live cursor over an OGR layer. Rows are addressed through their feature ids, read one at a
/// time when asked for; a dBase file's ids are its row numbers, so nothing is read on opening.
class LayerSource : public RowSource
{
public:
    LayerSource(std::shared_ptr<Store> store, OGRLayer* layer, bool writable, bool dbase,
                std::string table)
        : store_(std::move(store)), layer_(layer), writable_(writable), identity_(dbase),
          table_(std::move(table))
    {
        gdal::ErrorScope scope;
        fields_ = LayerFields(*layer_);
        if (identity_)
            identityCount_ = layer_->GetFeatureCount(TRUE);
        else
            ReadFeatureIds();
        store_->TableOpened(layer_->GetName());
    }

    ~LayerSource() override
    {
        cached_.reset();
        layer_->ResetReading();
        store_->TableClosed(layer_->GetName());
    }

    const std::vector<Field>& Fields() const override { return fields_; }

    int Count() override
    {
        return static_cast<int>(identity_ ? identityCount_ : static_cast<GIntBig>(fids_.size()));
    }

    Row Read(int index) override
    {
        CheckIndex(index);
        if (cached_ && cachedIndex_ == index)
            return FeatureRow(*cached_, fields_.size());
        gdal::ErrorScope scope;
        FeaturePtr feature = ReadSequentially(index);
        if (!feature)
            feature.reset(layer_->GetFeature(FidAt(index)));
        if (!feature)
        {
            // A row of a dBase file marked deleted by another program still holds its place
            // (its shape keeps its own); it reads as empty.
            if (identity_)
                return Row(fields_.size());
            throw EngineError("Cannot read row " + std::to_string(index + 1) + " of table '" +
                              table_ + "': " + gdal::ErrorScope::LastError("row not found"));
        }
        Row row = FeatureRow(*feature, fields_.size());
        cached_ = std::move(feature);
        cachedIndex_ = index;
        return row;
    }

    void Update(int index, const Row& row, const std::vector<bool>& changed) override
    {
        CheckWritable();
        CheckIndex(index);
        gdal::ErrorScope scope;
        StopReading();
        FeaturePtr feature = FetchForWrite(index);
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (changed[i])
                gdal::WriteOgrValue(*feature, static_cast<int>(i), row[i]);
        if (layer_->SetFeature(feature.get()) != OGRERR_NONE)
        {
            cached_.reset();
            throw EngineError("Cannot write row " + std::to_string(index + 1) + " of table '" +
                              table_ + "': " + gdal::ErrorScope::LastError());
        }
        cached_ = std::move(feature);
        cachedIndex_ = index;
    }

    void Insert(const Row& row) override
    {
        CheckWritable();
        gdal::ErrorScope scope;
        StopReading();
        FeaturePtr feature = BuildNew(row);
        if (layer_->CreateFeature(feature.get()) != OGRERR_NONE)
            throw EngineError("Cannot add a row to table '" + table_ +
                              "': " + gdal::ErrorScope::LastError());
        AppendId(feature->GetFID());
        cached_ = std::move(feature);
        cachedIndex_ = Count() - 1;
    }

    void Remove(int index) override
    {
        CheckWritable();
        CheckIndex(index);
        gdal::ErrorScope scope;
        StopReading();
        cached_.reset();
        if (layer_->DeleteFeature(FidAt(index)) != OGRERR_NONE)
            throw EngineError("Cannot delete row " + std::to_string(index + 1) + " of table '" +
                              table_ + "': " + gdal::ErrorScope::LastError());
        Materialise();
        fids_.erase(fids_.begin() + index);
    }

    bool CanModify() const override { return writable_; }

    void ApplyBatch(const UpdateBatch& batch) override
    {
        CheckWritable();
        gdal::ErrorScope scope;
        StopReading();
        cached_.reset();
        // Every row is built before anything is written, so that a value a column refuses
        // stops the batch while the table is untouched.
        std::vector<FeaturePtr> updates;
        for (const auto& [index, row] : batch.Modified)
        {
            CheckIndex(index);
            FeaturePtr feature = FetchForWrite(index);
            const std::vector<bool>& changed = batch.Changed.at(index);
            for (std::size_t i = 0; i < fields_.size(); ++i)
                if (i < changed.size() && changed[i])
                    gdal::WriteOgrValue(*feature, static_cast<int>(i), row[i]);
            updates.push_back(std::move(feature));
        }
        std::vector<FeaturePtr> inserts;
        for (const Row& row : batch.Inserted)
            inserts.push_back(BuildNew(row));

        auto fail = [&](const std::string& what)
        {
            throw EngineError("Cannot apply the updates to table '" + table_ + "': " + what + ": " +
                              gdal::ErrorScope::LastError());
        };
        for (int index : batch.Deleted)
        {
            CheckIndex(index);
            if (layer_->DeleteFeature(FidAt(index)) != OGRERR_NONE)
                fail("row " + std::to_string(index + 1) + " cannot be deleted");
        }
        for (FeaturePtr& feature : updates)
            if (layer_->SetFeature(feature.get()) != OGRERR_NONE)
                fail("a row cannot be written");
        Applied applied;
        applied.Deleted.assign(batch.Deleted.begin(), batch.Deleted.end());
        for (FeaturePtr& feature : inserts)
        {
            if (layer_->CreateFeature(feature.get()) != OGRERR_NONE)
                fail("a row cannot be added");
            applied.Inserted.push_back(feature->GetFID());
        }
        applied_ = std::move(applied);
        hasApplied_ = true;
    }

    void CommitBatch() override
    {
        if (!hasApplied_)
            return;
        if (!applied_.Deleted.empty())
        {
            Materialise();
            for (auto index = applied_.Deleted.rbegin(); index != applied_.Deleted.rend(); ++index)
                fids_.erase(fids_.begin() + *index);
        }
        for (GIntBig fid : applied_.Inserted)
            AppendId(fid);
        DiscardBatch();
    }

    void DiscardBatch() override
    {
        applied_ = Applied();
        hasApplied_ = false;
        cached_.reset();
    }

    void Sync() override
    {
        if (!writable_)
            return;
        gdal::ErrorScope scope;
        if (layer_->SyncToDisk() != OGRERR_NONE)
            throw EngineError("Cannot write table '" + table_ +
                              "': " + gdal::ErrorScope::LastError());
    }

private:
    struct Applied
    {
        std::vector<int> Deleted;
        std::vector<GIntBig> Inserted;
    };

    // A walk from the first row reads the layer in the database's order, which costs a
    // fraction of fetching each row by its id (GeoPackage, PostgreSQL). Rows that come before
    // their turn (a PostgreSQL table stores updated rows anew) wait in a small stash; every row
    // is taken by its id, and anything unexpected falls back to fetching by id.
    FeaturePtr ReadSequentially(int index)
    {
        if (identity_)
            return nullptr;
        if (index == 0)
        {
            StopReading();
            layer_->ResetReading();
            readerNext_ = 0;
        }
        if (index != readerNext_)
            return nullptr;
        const GIntBig wanted = FidAt(index);
        ++readerNext_;
        if (auto waiting = stash_.find(wanted); waiting != stash_.end())
        {
            FeaturePtr feature = std::move(waiting->second);
            stash_.erase(waiting);
            return feature;
        }
        constexpr std::size_t stashLimit = 4096;
        while (true)
        {
            FeaturePtr feature(layer_->GetNextFeature());
            if (!feature || stash_.size() >= stashLimit)
                break;
            if (feature->GetFID() == wanted)
                return feature;
            const GIntBig fid = feature->GetFID();
            stash_[fid] = std::move(feature);
        }
        StopReading();
        return nullptr;
    }

    // Writes go through with no read in progress: a PostgreSQL cursor would hold them in its
    // transaction.
    void StopReading()
    {
        if (readerNext_ >= 0)
            layer_->ResetReading();
        readerNext_ = -1;
        stash_.clear();
    }

    void ReadFeatureIds()
    {
        // Only the ids are read: every column and the geometry are skipped.
        std::vector<std::string> names;
        OGRFeatureDefn* definition = layer_->GetLayerDefn();
        for (int i = 0; i < definition->GetFieldCount(); ++i)
            names.emplace_back(definition->GetFieldDefn(i)->GetNameRef());
        std::vector<const char*> ignored;
        for (const std::string& name : names)
            ignored.push_back(name.c_str());
        ignored.push_back("OGR_GEOMETRY");
        ignored.push_back("OGR_STYLE");
        ignored.push_back(nullptr);
        layer_->SetIgnoredFields(ignored.data());
        layer_->ResetReading();
        const GIntBig expected = layer_->GetFeatureCount(FALSE);
        if (expected > 0)
            fids_.reserve(static_cast<std::size_t>(expected));
        for (OGRFeature* feature = layer_->GetNextFeature(); feature != nullptr;
             feature = layer_->GetNextFeature())
        {
            fids_.push_back(feature->GetFID());
            OGRFeature::DestroyFeature(feature);
        }
        layer_->SetIgnoredFields(nullptr);
        layer_->ResetReading();
        // Rows are in the order of their ids, which is the order they were added in.
        std::sort(fids_.begin(), fids_.end());
        if (fids_.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            throw EngineError("Table '" + table_ + "' has more rows than a dataset can address");
    }

    void CheckIndex(int index) const
    {
        const GIntBig count = identity_ ? identityCount_ : static_cast<GIntBig>(fids_.size());
        if (index < 0 || index >= count)
            throw EngineError("Row " + std::to_string(index + 1) + " of table '" + table_ +
                              "' does not exist");
    }

    void CheckWritable() const
    {
        if (!writable_)
            throw EngineError("Cannot modify a read-only dataset");
    }

    GIntBig FidAt(int index) const
    {
        return identity_ ? index : fids_[static_cast<std::size_t>(index)];
    }

    void Materialise()
    {
        if (!identity_)
            return;
        fids_.resize(static_cast<std::size_t>(identityCount_));
        std::iota(fids_.begin(), fids_.end(), GIntBig{0});
        identity_ = false;
    }

    void AppendId(GIntBig fid)
    {
        if (identity_ && fid == identityCount_)
        {
            ++identityCount_;
            return;
        }
        Materialise();
        fids_.push_back(fid);
    }

    FeaturePtr FetchForWrite(int index)
    {
        if (cached_ && cachedIndex_ == index)
        {
            cachedIndex_ = -1;
            return std::move(cached_);
        }
        FeaturePtr feature(layer_->GetFeature(FidAt(index)));
        if (!feature)
            throw EngineError("Cannot read row " + std::to_string(index + 1) + " of table '" +
                              table_ + "': " + gdal::ErrorScope::LastError("row not found"));
        return feature;
    }

    FeaturePtr BuildNew(const Row& row)
    {
        FeaturePtr feature(new OGRFeature(layer_->GetLayerDefn()));
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (!row[i].IsNull())
                gdal::WriteOgrValue(*feature, static_cast<int>(i), row[i]);
        return feature;
    }

    std::shared_ptr<Store> store_;
    OGRLayer* layer_;
    bool writable_;
    bool identity_;
    std::string table_;
    GIntBig identityCount_ = 0;
    std::vector<GIntBig> fids_;
    std::vector<Field> fields_;
    FeaturePtr cached_;
    int cachedIndex_ = -1;
    int readerNext_ = -1;
    std::map<GIntBig, FeaturePtr> stash_;
    Applied applied_;
    bool hasApplied_ = false;
};

} // namespace

std::unique_ptr<RowSource> RunSql(GDALDataset& dataset, const std::string& sql)
{
    OGRLayer* result = dataset.ExecuteSQL(sql.c_str(), nullptr, nullptr);
    if (result == nullptr)
        throw EngineError("Cannot run the SQL statement: " +
                          gdal::ErrorScope::LastError("the statement gives no result"));
    std::unique_ptr<RowSource> rows;
    try
    {
        rows = MaterialiseLayer(*result);
    }
    catch (...)
    {
        dataset.ReleaseResultSet(result);
        throw;
    }
    dataset.ReleaseResultSet(result);
    return rows;
}

std::unique_ptr<RowSource> MaterialiseLayer(OGRLayer& layer)
{
    gdal::ErrorScope scope;
    std::vector<Field> fields = LayerFields(layer);
    auto rows = std::make_shared<std::vector<Row>>();
    layer.ResetReading();
    for (OGRFeature* feature = layer.GetNextFeature(); feature != nullptr;
         feature = layer.GetNextFeature())
    {
        FeaturePtr owned(feature);
        rows->push_back(FeatureRow(*owned, fields.size()));
    }
    return std::make_unique<MemoryRowSource>(std::move(fields), std::move(rows), false);
}

// ---------------------------------------------------------------------------------------------
// DbfFileStore

DbfFileStore::DbfFileStore(const fs::path& path) : Store(DbfStoreKey(path)), path_(path)
{
    dataset_ = gdal::OpenDbf(path, writable_);
}

DbfFileStore::~DbfFileStore() = default;

std::vector<std::string> DbfFileStore::TableNames()
{
    return {gdal::PathToUtf8(path_.filename())};
}

bool DbfFileStore::HasTable(const std::string&)
{
    return true;
}

std::unique_ptr<RowSource> DbfFileStore::OpenTable(const std::string&, bool live)
{
    OGRLayer* layer = dataset_->GetLayer(0);
    return std::make_unique<LayerSource>(shared_from_this(), layer, live && writable_, true,
                                         gdal::PathToUtf8(path_));
}

std::unique_ptr<RowSource> DbfFileStore::ExecuteSql(const std::string&)
{
    throw EngineError("An SQL statement other than the selection of a whole table needs a "
                      "database");
}

void DbfFileStore::CreateTable(const std::string&, const std::vector<FieldDef>&)
{
    throw EngineError("Cannot replace the dBase file '" + gdal::PathToUtf8(path_) +
                      "' while it is open");
}

void DbfFileStore::DropTable(const std::string&)
{
    throw EngineError("Cannot delete the dBase file '" + gdal::PathToUtf8(path_) +
                      "' while it is open");
}

void DeleteDbf(const fs::path& path)
{
    if (FindLiveStore(DbfStoreKey(path)))
        throw EngineError("Cannot delete table '" + gdal::PathToUtf8(path) + "' while it is open");
    std::error_code error;
    if (!fs::remove(path, error))
        throw EngineError("Cannot delete table '" + gdal::PathToUtf8(path) +
                          "': " + (error ? error.message() : "it does not exist"));
    fs::path cpg = path;
    cpg.replace_extension(".cpg");
    fs::remove(cpg, error);
}

// ---------------------------------------------------------------------------------------------
// DirectoryStore

DirectoryStore::DirectoryStore(const fs::path& directory)
    : Store(DirectoryStoreKey(directory)), directory_(directory)
{
    if (!fs::is_directory(directory_))
        throw EngineError("The directory '" + gdal::PathToUtf8(directory_) + "' does not exist");
}

fs::path DirectoryStore::TablePath(const std::string& name) const
{
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name == "." ||
        name == "..")
        throw EngineError("'" + name + "' is not a table name of this database");
    std::string file = name;
    const std::string upper = UpperCase(name);
    if (upper.size() < 4 || upper.compare(upper.size() - 4, 4, ".DBF") != 0)
        file = StripTableExtension(name) + ".dbf";
    fs::path path = directory_ / gdal::Utf8ToPath(file);
    if (fs::exists(path))
        return path;
    // File names are matched without regard to case, as the tables' own names are.
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory_, error))
        if (EqualsNoCase(gdal::PathToUtf8(entry.path().filename()), file))
            return entry.path();
    return path;
}

std::vector<std::string> DirectoryStore::TableNames()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory_, error))
    {
        if (!entry.is_regular_file(error))
            continue;
        if (EqualsNoCase(gdal::PathToUtf8(entry.path().extension()), ".DBF"))
            names.push_back(gdal::PathToUtf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
}

bool DirectoryStore::HasTable(const std::string& name)
{
    return fs::is_regular_file(TablePath(name));
}

std::unique_ptr<RowSource> DirectoryStore::OpenTable(const std::string& name, bool live)
{
    const fs::path path = TablePath(name);
    if (!fs::is_regular_file(path))
        throw EngineError("Table '" + name + "' does not exist");
    std::shared_ptr<Store> store = AcquireDbfStore(path);
    const bool writable = live && !IsReadOnlyTable(StripTableExtension(name));
    return store->OpenTable(name, writable);
}

std::unique_ptr<RowSource> DirectoryStore::ExecuteSql(const std::string& sql)
{
    gdal::EnsureInitialised();
    gdal::ErrorScope scope;
    const std::string name = gdal::PathToUtf8(directory_);
    const char* drivers[] = {"ESRI Shapefile", nullptr};
    gdal::DatasetPtr dataset(GDALDataset::FromHandle(
        GDALOpenEx(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, nullptr, nullptr)));
    if (!dataset)
        throw EngineError("Cannot open the directory '" + name +
                          "': " + gdal::ErrorScope::LastError());
    return RunSql(*dataset, sql);
}

void DirectoryStore::DropTable(const std::string& name)
{
    DeleteDbf(TablePath(name));
}

void DirectoryStore::CreateTable(const std::string& name, const std::vector<FieldDef>& fields)
{
    ReplaceDbf(TablePath(name), name, fields);
}

// ---------------------------------------------------------------------------------------------
// GdalStore

namespace
{

// The GDAL drivers that may open a store of this kind.
const char* const* DriversOf(GdalStore::Kind kind)
{
    static const char* const gpkg[] = {"GPKG", nullptr};
    static const char* const pg[] = {"PostgreSQL", nullptr};
    return kind == GdalStore::Kind::GeoPackage ? gpkg : pg;
}

} // namespace

GdalStore::GdalStore(std::string key, Kind kind, std::string target, bool ownFile)
    : Store(std::move(key)), kind_(kind), target_(std::move(target))
{
    gdal::EnsureInitialised();
    gdal::ErrorScope scope;
    // The engine's own GeoPackages (in the data directory) keep a write-ahead log: a posted row
    // then costs no flush to the disk, and a power failure can lose the last rows but never
    // damage the file. Other GeoPackages keep the rollback journal that every reader shares,
    // also over a network.
    struct JournalOption
    {
        explicit JournalOption(bool set) : set_(set)
        {
            if (set_)
            {
                CPLSetThreadLocalConfigOption("OGR_SQLITE_JOURNAL", "WAL");
                CPLSetThreadLocalConfigOption("OGR_SQLITE_SYNCHRONOUS", "NORMAL");
            }
        }
        ~JournalOption()
        {
            if (set_)
            {
                CPLSetThreadLocalConfigOption("OGR_SQLITE_JOURNAL", nullptr);
                CPLSetThreadLocalConfigOption("OGR_SQLITE_SYNCHRONOUS", nullptr);
            }
        }
        bool set_;
    } journal(ownFile && kind == Kind::GeoPackage);
    const char* pgOptions[] = {"LIST_ALL_TABLES=YES", nullptr};
    const char* const* drivers = DriversOf(kind_);
    const char* const* options = kind_ == Kind::GeoPackage ? nullptr : pgOptions;
    GDALDataset* dataset = GDALDataset::FromHandle(
        GDALOpenEx(target_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, options, nullptr));
    writable_ = dataset != nullptr;
    if (dataset == nullptr && kind_ == Kind::GeoPackage)
        dataset = GDALDataset::FromHandle(GDALOpenEx(
            target_.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, options, nullptr));
    if (dataset == nullptr)
    {
        // The connection string may hold a password; it is left out of the message.
        const std::string what = kind_ == Kind::GeoPackage ? "'" + target_ + "'" : "PostgreSQL";
        throw EngineError("Cannot open the database " + what + ": " +
                          gdal::ErrorScope::LastError());
    }
    dataset_.reset(dataset);
}

GdalStore::~GdalStore()
{
    if (inTransaction_)
    {
        gdal::ErrorScope scope;
        dataset_->RollbackTransaction();
    }
}

std::vector<std::string> GdalStore::TableNames()
{
    std::vector<std::string> names;
    for (int i = 0; i < dataset_->GetLayerCount(); ++i)
        names.emplace_back(dataset_->GetLayer(i)->GetName());
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
}

OGRLayer* GdalStore::FindLayer(const std::string& name) const
{
    auto search = [&](const std::string& wanted) -> OGRLayer*
    {
        const int count = dataset_->GetLayerCount();
        for (int i = 0; i < count; ++i)
            if (wanted == dataset_->GetLayer(i)->GetName())
                return dataset_->GetLayer(i);
        for (int i = 0; i < count; ++i)
            if (EqualsNoCase(wanted, dataset_->GetLayer(i)->GetName()))
                return dataset_->GetLayer(i);
        return nullptr;
    };
    if (OGRLayer* layer = search(name))
        return layer;
    const std::string stripped = StripTableExtension(name);
    return stripped != name ? search(stripped) : nullptr;
}

bool GdalStore::HasTable(const std::string& name)
{
    return FindLayer(name) != nullptr;
}

std::unique_ptr<RowSource> GdalStore::OpenTable(const std::string& name, bool live)
{
    gdal::ErrorScope scope;
    OGRLayer* layer = FindLayer(name);
    if (layer == nullptr)
        throw EngineError("Table '" + name + "' does not exist");
    const std::string layerName = layer->GetName();
    const bool hasIds = layer->GetFIDColumn() != nullptr && *layer->GetFIDColumn() != '\0' &&
                        layer->TestCapability(OLCRandomRead);
    if (!hasIds)
        // Without row ids rows cannot be found again; such tables are read as they stand.
        return MaterialiseLayer(*layer);
    const bool writable =
        live && writable_ && !IsReadOnlyTable(layerName) && layer->TestCapability(OLCRandomWrite);
    return std::make_unique<LayerSource>(shared_from_this(), layer, writable, false, layerName);
}

std::unique_ptr<RowSource> GdalStore::ExecuteSql(const std::string& sql)
{
    gdal::ErrorScope scope;
    std::string target = target_;
    if (kind_ == Kind::PostgreSQL)
        target += " options='-c default_transaction_read_only=on'";
    gdal::DatasetPtr dataset(GDALDataset::FromHandle(GDALOpenEx(
        target.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, DriversOf(kind_), nullptr, nullptr)));
    if (!dataset)
        throw EngineError("Cannot open the database for the SQL statement: " +
                          gdal::ErrorScope::LastError());
    return RunSql(*dataset, sql);
}

void GdalStore::CreateTable(const std::string& requested, const std::vector<FieldDef>& fields)
{
    if (!writable_)
        throw EngineError("The database is read-only");
    const std::string name = StripTableExtension(requested);
    if (name.empty())
        throw EngineError("A table needs a name");
    std::vector<std::unique_ptr<OGRFieldDefn>> definitions;
    for (const FieldDef& field : fields)
        definitions.push_back(gdal::OgrFromFieldDef(field));

    gdal::ErrorScope scope;
    const bool own = !inTransaction_;
    if (own)
        StartTransaction();
    try
    {
        for (int i = 0; i < dataset_->GetLayerCount(); ++i)
        {
            if (EqualsNoCase(dataset_->GetLayer(i)->GetName(), name))
            {
                if (IsTableOpen(dataset_->GetLayer(i)->GetName()))
                    throw EngineError("Cannot replace table '" + name + "' while it is open");
                if (dataset_->DeleteLayer(i) != OGRERR_NONE)
                    throw EngineError("Cannot replace table '" + name +
                                      "': " + gdal::ErrorScope::LastError());
                break;
            }
        }
        const char* pgOptions[] = {"LAUNDER=NO", nullptr};
        OGRLayer* layer = dataset_->CreateLayer(
            name.c_str(), nullptr, wkbNone,
            kind_ == Kind::PostgreSQL ? const_cast<char**>(pgOptions) : nullptr);
        if (layer == nullptr)
            throw EngineError("Cannot create table '" + name +
                              "': " + gdal::ErrorScope::LastError());
        for (std::size_t i = 0; i < definitions.size(); ++i)
            if (layer->CreateField(definitions[i].get(), FALSE) != OGRERR_NONE)
                throw EngineError("Cannot create the column '" + fields[i].Name + "' of table '" +
                                  name + "': " + gdal::ErrorScope::LastError());
        if (own)
            Commit();
    }
    catch (...)
    {
        if (own)
            Rollback();
        throw;
    }
}

void GdalStore::DropTable(const std::string& name)
{
    if (!writable_)
        throw EngineError("The database is read-only");
    OGRLayer* layer = FindLayer(name);
    if (layer == nullptr)
        throw EngineError("Table '" + name + "' does not exist");
    if (IsTableOpen(layer->GetName()))
        throw EngineError("Cannot delete table '" + name + "' while it is open");
    gdal::ErrorScope scope;
    for (int i = 0; i < dataset_->GetLayerCount(); ++i)
        if (dataset_->GetLayer(i) == layer)
        {
            if (dataset_->DeleteLayer(i) != OGRERR_NONE)
                throw EngineError("Cannot delete table '" + name +
                                  "': " + gdal::ErrorScope::LastError());
            return;
        }
}

void GdalStore::StartTransaction()
{
    if (inTransaction_)
        throw EngineError("A transaction is already active on this database");
    gdal::ErrorScope scope;
    // No read cursor may hold a transaction of its own when this one starts.
    for (int i = 0; i < dataset_->GetLayerCount(); ++i)
        dataset_->GetLayer(i)->ResetReading();
    if (dataset_->StartTransaction(FALSE) != OGRERR_NONE)
        throw EngineError("Cannot start a transaction: " + gdal::ErrorScope::LastError());
    inTransaction_ = true;
}

void GdalStore::Commit()
{
    if (!inTransaction_)
        throw EngineError("No transaction is active on this database");
    gdal::ErrorScope scope;
    if (dataset_->CommitTransaction() != OGRERR_NONE)
        throw EngineError("Cannot commit the transaction: " + gdal::ErrorScope::LastError());
    inTransaction_ = false;
}

void GdalStore::Rollback()
{
    if (!inTransaction_)
        return;
    gdal::ErrorScope scope;
    dataset_->RollbackTransaction();
    inTransaction_ = false;
}

} // namespace quorvalis::engine
