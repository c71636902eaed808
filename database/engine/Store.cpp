#include "database/engine/Store.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "geometry/Files.h"

#include <cpl_vsi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>
#include <sstream>

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
    if (InTransaction())
        throw EngineError("A transaction is already active on this database");
    SetInTransaction(true);
}

void Store::Commit()
{
    SetInTransaction(false);
}

void Store::Rollback()
{
    // Stores without transactions have written every row already; nothing can be taken back.
    SetInTransaction(false);
}

void Store::LockTableForUpdate(const std::string&) {}

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
    using gdal::FeaturePtr;
    gdal::ErrorScope scope;
    std::vector<Field> fields = gdal::LayerFields(layer);
    auto rows = std::make_shared<std::vector<Row>>();
    layer.ResetReading();
    for (OGRFeature* feature = layer.GetNextFeature(); feature != nullptr;
         feature = layer.GetNextFeature())
    {
        FeaturePtr owned(feature);
        rows->push_back(gdal::FeatureValues(*owned, fields.size()));
    }
    return std::make_unique<MemoryRowSource>(std::move(fields), std::move(rows), false);
}

// ---------------------------------------------------------------------------------------------
// DbfFileStore

namespace
{

/// The rows of a dBase file: row n is record n of the file, read when asked for. Every write
/// rewrites the file through its store (all-or-nothing); after a rewrite the rows are read anew.
class DbfSource : public RowSource
{
public:
    DbfSource(std::shared_ptr<DbfFileStore> store, bool writable, std::string table)
        : store_(std::move(store)), writable_(writable), table_(std::move(table))
    {
        gdal::ErrorScope scope;
        fields_ = gdal::LayerFields(*store_->Layer());
        Refresh();
        store_->TableOpened(table_);
    }

    ~DbfSource() override
    {
        if (OGRLayer* layer = store_->Layer())
            layer->ResetReading();
        store_->TableClosed(table_);
    }

    const std::vector<Field>& Fields() const override { return fields_; }

    int Count() override
    {
        Refresh();
        return static_cast<int>(count_);
    }

    Row Read(int index) override
    {
        Refresh();
        CheckIndex(index);
        gdal::ErrorScope scope;
        gdal::FeaturePtr feature(store_->Layer()->GetFeature(index));
        // A row marked deleted by another program still holds its place (its shape keeps its
        // own); it reads as empty.
        if (!feature)
            return Row(fields_.size());
        return gdal::FeatureValues(*feature, fields_.size());
    }

    void Update(int index, const Row& row, const std::vector<bool>& changed) override
    {
        UpdateBatch batch;
        batch.Modified[index] = row;
        batch.Changed[index] = changed;
        Write(batch);
    }

    void Insert(const Row& row) override
    {
        UpdateBatch batch;
        batch.Inserted.push_back(row);
        Write(batch);
    }

    void Remove(int index) override
    {
        UpdateBatch batch;
        batch.Deleted.insert(index);
        Write(batch);
    }

    bool CanModify() const override { return writable_; }

    void ApplyBatch(const UpdateBatch& batch) override
    {
        Write(batch);
        applied_ = true;
    }

    void CommitBatch() override { applied_ = false; }
    // A rewritten file cannot be taken back; the batch was all-or-nothing by itself.
    void DiscardBatch() override { applied_ = false; }

    std::string KeyOf(int index) const override { return "record " + std::to_string(index + 1); }
    std::string TableName() const override { return table_; }

private:
    void Refresh()
    {
        if (generation_ == store_->Generation() && counted_)
            return;
        gdal::ErrorScope scope;
        count_ = store_->Layer()->GetFeatureCount(TRUE);
        if (count_ > std::numeric_limits<int>::max())
            throw EngineError("Table '" + table_ + "' has more rows than a dataset can address");
        generation_ = store_->Generation();
        counted_ = true;
    }

    void CheckIndex(int index) const
    {
        if (index < 0 || index >= count_)
            throw EngineError("Row " + std::to_string(index + 1) + " of table '" + table_ +
                              "' does not exist");
    }

    void Write(const UpdateBatch& batch)
    {
        if (!writable_)
            throw EngineError("Cannot modify a read-only dataset");
        Refresh();
        for (int index : batch.Deleted)
            CheckIndex(index);
        for (const auto& modified : batch.Modified)
            CheckIndex(modified.first);
        store_->Rewrite(batch, fields_);
        Refresh();
    }

    std::shared_ptr<DbfFileStore> store_;
    bool writable_;
    std::string table_;
    std::vector<Field> fields_;
    GIntBig count_ = 0;
    std::uint64_t generation_ = 0;
    bool counted_ = false;
    bool applied_ = false;
};

int DbfCounter()
{
    static std::atomic<int> counter{0};
    return ++counter;
}

// Reads a whole file into memory; raises EngineError naming it.
std::string ReadWholeFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw EngineError("Cannot read '" + gdal::PathToUtf8(path) + "'");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw EngineError("Cannot read '" + gdal::PathToUtf8(path) + "'");
    return text.str();
}

} // namespace

DbfFileStore::DbfFileStore(const fs::path& path) : Store(DbfStoreKey(path)), path_(path)
{
    dataset_ = gdal::OpenDbf(path, writable_);
}

DbfFileStore::~DbfFileStore() = default;

OGRLayer* DbfFileStore::Layer() const
{
    return dataset_ ? dataset_->GetLayer(0) : nullptr;
}

std::vector<std::string> DbfFileStore::TableNames()
{
    return {gdal::PathToUtf8(path_.filename())};
}

bool DbfFileStore::HasTable(const std::string&)
{
    return true;
}

std::optional<std::string> DbfFileStore::ResolveTable(const std::string&)
{
    return gdal::PathToUtf8(path_.filename());
}

std::unique_ptr<RowSource> DbfFileStore::OpenTable(const std::string&, bool live)
{
    return std::make_unique<DbfSource>(std::static_pointer_cast<DbfFileStore>(shared_from_this()),
                                       live && writable_, gdal::PathToUtf8(path_));
}

std::vector<fs::path> DbfFileStore::DataFiles(const std::string&)
{
    return {path_};
}

GIntBig DbfFileStore::Rewrite(const UpdateBatch& batch, const std::vector<Field>& fields)
{
    if (batch.Empty())
        return Layer()->GetFeatureCount(TRUE);
    const std::string name = gdal::PathToUtf8(path_);
    // The copy lives in GDAL's memory file system; the file on disk is replaced by the crash-safe
    // writer only when every row has been written into the copy.
    const std::string folder = "/vsimem/quorvalis_dbf_" + std::to_string(DbfCounter());
    const std::string stem = gdal::PathToUtf8(path_.stem());
    const std::string copy = folder + "/" + stem + ".dbf";
    const std::string copyCpg = folder + "/" + stem + ".cpg";
    struct Cleanup
    {
        std::string folder;
        ~Cleanup() { VSIRmdirRecursive(folder.c_str()); }
    } cleanup{folder};

    gdal::ErrorScope scope;
    auto toMemory = [&](const fs::path& from, const std::string& to)
    {
        const std::string bytes = ReadWholeFile(from);
        VSILFILE* file = VSIFOpenL(to.c_str(), "wb");
        if (file == nullptr || VSIFWriteL(bytes.data(), 1, bytes.size(), file) != bytes.size())
        {
            if (file)
                VSIFCloseL(file);
            throw EngineError("Cannot copy '" + gdal::PathToUtf8(from) + "' into memory");
        }
        VSIFCloseL(file);
    };
    VSIMkdir(folder.c_str(), 0755);
    toMemory(path_, copy);
    fs::path cpg = path_;
    cpg.replace_extension(".cpg");
    std::error_code error;
    if (fs::is_regular_file(cpg, error))
        toMemory(cpg, copyCpg);

    GIntBig count = 0;
    {
        const char* drivers[] = {"ESRI Shapefile", nullptr};
        const char* options[] = {"AUTO_REPACK=YES", nullptr};
        gdal::DatasetPtr dataset(GDALDataset::FromHandle(
            GDALOpenEx(copy.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, options, nullptr)));
        if (!dataset || dataset->GetLayerCount() != 1)
            throw EngineError("Cannot write table '" + name +
                              "': " + gdal::ErrorScope::LastError("the copy cannot be opened"));
        OGRLayer* layer = dataset->GetLayer(0);
        auto fail = [&](const std::string& row)
        {
            throw EngineError("Cannot write " + row + " of table '" + name +
                              "': " + gdal::ErrorScope::LastError());
        };
        // The copy holds the file as it is now: a row another program changed since it was read
        // is refused rather than silently changed back.
        auto checkUnchanged = [&](int index, const OGRFeature* feature, const char* verb)
        {
            const auto original = batch.Original.find(index);
            if (original == batch.Original.end())
                return;
            const Row now =
                feature ? gdal::FeatureValues(*feature, fields.size()) : Row(fields.size());
            if (now != original->second)
                throw EngineError(std::string("Cannot ") + verb + " record " +
                                  std::to_string(index + 1) + " of table '" + name +
                                  "': " + kChangedSinceRead);
        };
        for (const auto& [index, row] : batch.Modified)
        {
            gdal::FeaturePtr feature(layer->GetFeature(index));
            if (!feature)
                throw EngineError("Cannot write record " + std::to_string(index + 1) +
                                  " of table '" + name + "': it no longer exists");
            checkUnchanged(index, feature.get(), "write");
            const std::vector<bool>& changed = batch.Changed.at(index);
            for (std::size_t i = 0; i < fields.size() && i < changed.size(); ++i)
                if (changed[i])
                    gdal::WriteOgrValue(*feature, static_cast<int>(i), row[i]);
            if (layer->SetFeature(feature.get()) != OGRERR_NONE)
                fail("record " + std::to_string(index + 1));
        }
        int added = 0;
        for (const Row& row : batch.Inserted)
        {
            ++added;
            gdal::FeaturePtr feature(new OGRFeature(layer->GetLayerDefn()));
            for (std::size_t i = 0; i < fields.size(); ++i)
                if (!row[i].IsNull())
                    gdal::WriteOgrValue(*feature, static_cast<int>(i), row[i]);
            if (layer->CreateFeature(feature.get()) != OGRERR_NONE)
                fail("new row " + std::to_string(added));
        }
        for (int index : batch.Deleted)
        {
            checkUnchanged(index, gdal::FeaturePtr(layer->GetFeature(index)).get(), "delete");
            if (layer->DeleteFeature(index) != OGRERR_NONE)
                fail("record " + std::to_string(index + 1));
        }
        if (layer->SyncToDisk() != OGRERR_NONE)
            fail("the rows");
        dataset.reset(); // packs deleted rows away
    }

    vsi_l_offset length = 0;
    GByte* bytes = VSIGetMemFileBuffer(copy.c_str(), &length, FALSE);
    if (bytes == nullptr)
        throw EngineError("Cannot write table '" + name + "': the copy is gone");
    // The file is closed before it is replaced (a file open elsewhere cannot be replaced on
    // every system), and opened again whatever happened.
    dataset_.reset();
    try
    {
        GAtomicFile file(name);
        file.Write(bytes, static_cast<std::size_t>(length));
        file.Commit();
    }
    catch (const GFileException& failure)
    {
        dataset_ = gdal::OpenDbf(path_, writable_);
        ++generation_;
        throw EngineError("Cannot write table '" + name + "': " + failure.what());
    }
    dataset_ = gdal::OpenDbf(path_, writable_);
    ++generation_;
    count = Layer()->GetFeatureCount(TRUE);
    return count;
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

std::optional<std::string> DirectoryStore::ResolveTable(const std::string& name)
{
    const fs::path path = TablePath(name);
    if (!fs::is_regular_file(path))
        return std::nullopt;
    return gdal::PathToUtf8(path.filename());
}

std::vector<fs::path> DirectoryStore::DataFiles(const std::string& table)
{
    const fs::path path = TablePath(table);
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return {};
    return {path};
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

} // namespace quorvalis::engine
