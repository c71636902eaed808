#include "database/engine/PgLink.h"
#include "database/engine/Store.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <thread>

namespace quorvalis::engine
{

namespace fs = std::filesystem;

namespace
{

using gdal::FeaturePtr;

bool LessNoCase(const std::string& a, const std::string& b)
{
    const std::string ua = UpperCase(a);
    const std::string ub = UpperCase(b);
    return ua != ub ? ua < ub : a < b;
}

// Key of the advisory lock under which programs of this kind change a PostgreSQL database's
// tables (creating the standard tables, for one).
constexpr long long kSchemaLockKey = 0x51564c53;

// The value of a column as PostgreSQL writes it in text, in the type GDAL gave the column.
Value PgValue(FieldType type, const std::string& text)
{
    switch (type)
    {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    {
        std::int64_t number = 0;
        if (ParseInteger(text, number))
            return number;
        return text;
    }
    case ftBoolean:
        return text == "t" || text == "true";
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    {
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        return end != text.c_str() ? Value(number) : Value(text);
    }
    case ftDate:
    case ftTime:
    case ftDateTime:
    {
        // A time zone at the end is left aside, as GDAL's reader does.
        std::string plain = text;
        const std::size_t zone = plain.find_first_of("+-", type == ftDate ? plain.size() : 11);
        if (zone != std::string::npos)
            plain.resize(zone);
        DateTime value;
        if (ParseDateTime(plain, value))
            return value;
        return text;
    }
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    {
        Bytes bytes;
        if (text.rfind("\\x", 0) != 0)
            return Bytes(text.begin(), text.end());
        auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        for (std::size_t i = 2; i + 1 < text.size(); i += 2)
            bytes.push_back(static_cast<std::uint8_t>(digit(text[i]) * 16 + digit(text[i + 1])));
        return bytes;
    }
    default:
        return text;
    }
}

// A row's name in a message: its position and its key.
std::string RowName(int index, const std::string& fidColumn, GIntBig fid)
{
    return "row " + std::to_string(index + 1) + " (" + fidColumn + " " + std::to_string(fid) + ")";
}

/// A live cursor over a table of a GeoPackage or PostgreSQL database. Rows are addressed through
/// their feature ids (read once on opening) and read one at a time when asked for; writes go
/// through the store.
class LayerSource : public RowSource
{
public:
    LayerSource(std::shared_ptr<GdalStore> store, OGRLayer* layer, bool writable, std::string table)
        : store_(std::move(store)), layer_(layer), writable_(writable), table_(std::move(table)),
          pg_(store_->StoreKind() == GdalStore::Kind::PostgreSQL)
    {
        gdal::ErrorScope scope;
        fields_ = gdal::LayerFields(*layer_);
        fidColumn_ = layer_->GetFIDColumn();
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

    int Count() override { return static_cast<int>(fids_.size()); }

    Row Read(int index) override
    {
        CheckIndex(index);
        if (pg_)
            return ReadPg(index);
        if (cached_ && cachedIndex_ == index)
            return gdal::FeatureValues(*cached_, fields_.size());
        gdal::ErrorScope scope;
        FeaturePtr feature = ReadSequentially(index);
        if (!feature)
            feature.reset(layer_->GetFeature(FidAt(index)));
        if (!feature)
            throw EngineError("Cannot read row " + std::to_string(index + 1) + " of table '" +
                              table_ + "': " + gdal::ErrorScope::LastError("row not found"));
        Row row = gdal::FeatureValues(*feature, fields_.size());
        cached_ = std::move(feature);
        cachedIndex_ = index;
        return row;
    }

    void Update(int index, const Row& row, const std::vector<bool>& changed) override
    {
        CheckWritable();
        CheckIndex(index);
        StopReading();
        cached_.reset();
        store_->UpdateRows(*layer_, fields_, {{FidAt(index), index, &row, &changed}}, table_);
    }

    void Insert(const Row& row) override
    {
        CheckWritable();
        StopReading();
        cached_.reset();
        const std::vector<GIntBig> ids = store_->InsertRows(*layer_, fields_, {&row}, table_);
        fids_.push_back(ids.at(0));
    }

    void Remove(int index) override
    {
        CheckWritable();
        CheckIndex(index);
        StopReading();
        cached_.reset();
        store_->DeleteRows(*layer_, {FidAt(index)}, {index}, table_);
        fids_.erase(fids_.begin() + index);
    }

    bool CanModify() const override { return writable_; }

    void ApplyBatch(const UpdateBatch& batch) override
    {
        CheckWritable();
        StopReading();
        cached_.reset();
        for (int index : batch.Deleted)
            CheckIndex(index);
        std::vector<GdalStore::RowChange> changes;
        changes.reserve(batch.Modified.size());
        for (const auto& [index, row] : batch.Modified)
        {
            CheckIndex(index);
            changes.push_back({FidAt(index), index, &row, &batch.Changed.at(index)});
        }
        std::vector<const Row*> inserts;
        for (const Row& row : batch.Inserted)
            inserts.push_back(&row);

        const bool own = !store_->InTransaction();
        if (own)
            store_->StartTransaction();
        Applied applied;
        try
        {
            CheckUnchanged(batch);
            if (!batch.Deleted.empty())
            {
                std::vector<GIntBig> ids;
                std::vector<int> indexes(batch.Deleted.begin(), batch.Deleted.end());
                for (int index : indexes)
                    ids.push_back(FidAt(index));
                store_->DeleteRows(*layer_, ids, indexes, table_);
            }
            if (!changes.empty())
                store_->UpdateRows(*layer_, fields_, changes, table_);
            if (!inserts.empty())
                applied.Inserted = store_->InsertRows(*layer_, fields_, inserts, table_);
            if (own)
                store_->Commit();
        }
        catch (...)
        {
            if (own)
                store_->Rollback();
            throw;
        }
        applied.Deleted.assign(batch.Deleted.begin(), batch.Deleted.end());
        applied_ = std::move(applied);
        hasApplied_ = true;
    }

    void CommitBatch() override
    {
        if (!hasApplied_)
            return;
        for (auto index = applied_.Deleted.rbegin(); index != applied_.Deleted.rend(); ++index)
            fids_.erase(fids_.begin() + *index);
        fids_.insert(fids_.end(), applied_.Inserted.begin(), applied_.Inserted.end());
        DiscardBatch();
    }

    void DiscardBatch() override
    {
        applied_ = Applied();
        hasApplied_ = false;
        cached_.reset();
        block_.clear();
    }

    void Sync() override
    {
        if (!writable_ || pg_)
            return;
        gdal::ErrorScope scope;
        if (layer_->SyncToDisk() != OGRERR_NONE)
            throw EngineError("Cannot write table '" + table_ +
                              "': " + gdal::ErrorScope::LastError());
    }

    std::string KeyOf(int index) const override
    {
        if (index < 0 || index >= static_cast<int>(fids_.size()))
            return RowSource::KeyOf(index);
        return "row " + (fidColumn_.empty() ? std::string("id") : fidColumn_) + " " +
               std::to_string(FidAt(index));
    }

    std::string TableName() const override { return table_; }

private:
    struct Applied
    {
        std::vector<int> Deleted;
        std::vector<GIntBig> Inserted;
    };

    // PostgreSQL rows are read past GDAL, in blocks of consecutive ids in the order of the ids
    // (a table stores updated rows anew, so its own order is no help), through the store's own
    // connection, which also sees what this program wrote in a transaction still open.
    Row ReadPg(int index)
    {
        const GIntBig wanted = FidAt(index);
        if (auto found = block_.find(wanted); found != block_.end())
            return found->second;
        block_.clear();
        constexpr int blockRows = 5000;
        const int last = std::min(index + blockRows, static_cast<int>(fids_.size())) - 1;
        const std::string what =
            "Cannot read row " + std::to_string(index + 1) + " of table '" + table_ + "'";
        PgResult result =
            store_->Pg().Run(PgSelect() + " BETWEEN $1 AND $2 ORDER BY 1",
                             {std::to_string(wanted), std::to_string(FidAt(last))}, what);
        TakePgRows(result, block_);
        if (auto found = block_.find(wanted); found != block_.end())
            return found->second;
        throw EngineError(what + ": it no longer exists");
    }

    // "SELECT <id>, <columns> FROM <table> WHERE <id>", to be completed with the condition.
    std::string PgSelect()
    {
        if (pgTable_.empty())
        {
            pgTable_ = store_->PgTableSql(*layer_);
            pgColumns_ = QuoteSqlIdentifier(fidColumn_);
            for (const Field& field : fields_)
                pgColumns_ += ", " + QuoteSqlIdentifier(field.Name);
        }
        return "SELECT " + pgColumns_ + " FROM " + pgTable_ + " WHERE " +
               QuoteSqlIdentifier(fidColumn_);
    }

    // The rows of a result of PgSelect by id, read as Read reads them.
    void TakePgRows(const PgResult& result, std::map<GIntBig, Row>& rows) const
    {
        for (int r = 0; r < result.Rows(); ++r)
        {
            Row row;
            row.reserve(fields_.size());
            for (std::size_t c = 0; c < fields_.size(); ++c)
            {
                const int column = static_cast<int>(c) + 1;
                row.push_back(result.IsNull(r, column)
                                  ? Value::Null()
                                  : PgValue(fields_[c].Type, result.Text(r, column)));
            }
            rows.emplace(std::stoll(result.Text(r, 0)), std::move(row));
        }
    }

    // Inside the batch's transaction, before anything is written: every row to change or delete
    // must still hold what was read, or another program changed it meanwhile and writing would
    // silently undo that change. The rows are read the way Read reads them, so that equal means
    // unchanged, after the table is locked against other writers until the transaction ends.
    void CheckUnchanged(const UpdateBatch& batch)
    {
        std::vector<int> indexes;
        for (const auto& [index, row] : batch.Original)
            if (batch.Modified.count(index) != 0 || batch.Deleted.count(index) != 0)
                indexes.push_back(index);
        if (indexes.empty())
            return;
        for (int index : indexes)
            CheckIndex(index);
        // Other writers wait from here until the transaction ends; readers go on.
        store_->LockTableForUpdate(table_);
        std::map<GIntBig, Row> current;
        if (pg_)
        {
            std::string list = "{";
            for (std::size_t i = 0; i < indexes.size(); ++i)
                list += (i ? "," : "") + std::to_string(FidAt(indexes[i]));
            list += "}";
            PgResult result = store_->Pg().Run(PgSelect() + " = ANY($1::bigint[])", {list},
                                               "Cannot read table '" + table_ + "'");
            TakePgRows(result, current);
        }
        else
        {
            gdal::ErrorScope scope;
            // A few rows by id; many in one walk over the table.
            constexpr std::size_t fewRows = 64;
            if (indexes.size() <= fewRows)
            {
                for (int index : indexes)
                    if (FeaturePtr feature{layer_->GetFeature(FidAt(index))})
                        current.emplace(feature->GetFID(),
                                        gdal::FeatureValues(*feature, fields_.size()));
            }
            else
            {
                std::set<GIntBig> wanted;
                for (int index : indexes)
                    wanted.insert(FidAt(index));
                layer_->ResetReading();
                for (FeaturePtr feature{layer_->GetNextFeature()}; feature;
                     feature.reset(layer_->GetNextFeature()))
                    if (wanted.count(feature->GetFID()) != 0)
                        current.emplace(feature->GetFID(),
                                        gdal::FeatureValues(*feature, fields_.size()));
                layer_->ResetReading();
            }
        }
        for (int index : indexes)
        {
            const GIntBig fid = FidAt(index);
            const std::string what =
                std::string(batch.Deleted.count(index) != 0 ? "Cannot delete " : "Cannot write ") +
                RowName(index, fidColumn_, fid) + " of table '" + table_ + "'";
            const auto found = current.find(fid);
            if (found == current.end())
                throw EngineError(what + ": it no longer exists");
            if (found->second != batch.Original.at(index))
                throw EngineError(what + ": " + kChangedSinceRead);
        }
    }

    // A walk from the first row reads the layer in the database's order, which costs a
    // fraction of fetching each row by its id. Rows that come before their turn (a PostgreSQL
    // table stores updated rows anew) wait in a small stash; every row is taken by its id, and
    // anything unexpected falls back to fetching by id.
    FeaturePtr ReadSequentially(int index)
    {
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

    // Writes go through with no read in progress.
    void StopReading()
    {
        if (readerNext_ >= 0)
            layer_->ResetReading();
        readerNext_ = -1;
        stash_.clear();
        block_.clear();
    }

    void ReadFeatureIds()
    {
        if (pg_)
        {
            PgResult result =
                store_->Pg().Run("SELECT " + QuoteSqlIdentifier(fidColumn_) + " FROM " +
                                     store_->PgTableSql(*layer_) + " ORDER BY 1",
                                 {}, "Cannot read table '" + table_ + "'");
            fids_.reserve(static_cast<std::size_t>(result.Rows()));
            for (int r = 0; r < result.Rows(); ++r)
                fids_.push_back(std::stoll(result.Text(r, 0)));
            return;
        }
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
        if (index < 0 || index >= static_cast<int>(fids_.size()))
            throw EngineError("Row " + std::to_string(index + 1) + " of table '" + table_ +
                              "' does not exist");
    }

    void CheckWritable() const
    {
        if (!writable_)
            throw EngineError("Cannot modify a read-only dataset");
    }

    GIntBig FidAt(int index) const { return fids_[static_cast<std::size_t>(index)]; }

    std::shared_ptr<GdalStore> store_;
    OGRLayer* layer_;
    bool writable_;
    std::string table_;
    bool pg_;
    std::string fidColumn_;
    std::vector<GIntBig> fids_;
    std::vector<Field> fields_;
    FeaturePtr cached_;
    int cachedIndex_ = -1;
    int readerNext_ = -1;
    std::map<GIntBig, FeaturePtr> stash_;
    std::map<GIntBig, Row> block_;
    std::string pgTable_;
    std::string pgColumns_;
    Applied applied_;
    bool hasApplied_ = false;
};

// The GDAL drivers that may open a store of this kind.
const char* const* DriversOf(GdalStore::Kind kind)
{
    static const char* const gpkg[] = {"GPKG", nullptr};
    static const char* const pg[] = {"PostgreSQL", nullptr};
    return kind == GdalStore::Kind::GeoPackage ? gpkg : pg;
}

// The rows grouped by the columns that changed, in the order first met.
std::vector<std::vector<const GdalStore::RowChange*>>
GroupByColumns(const std::vector<GdalStore::RowChange>& rows)
{
    std::map<std::vector<bool>, std::size_t> groupOf;
    std::vector<std::vector<const GdalStore::RowChange*>> groups;
    for (const auto& row : rows)
    {
        auto [found, added] = groupOf.emplace(*row.Changed, groups.size());
        if (added)
            groups.emplace_back();
        groups[found->second].push_back(&row);
    }
    return groups;
}

int BindSqlite(sqlite3_stmt* statement, int position, FieldType type, const Value& value)
{
    switch (value.Kind())
    {
    case ValueKind::Null:
        return sqlite3_bind_null(statement, position);
    case ValueKind::Integer:
        return sqlite3_bind_int64(statement, position, std::get<std::int64_t>(value.Data()));
    case ValueKind::Float:
        return sqlite3_bind_double(statement, position, std::get<double>(value.Data()));
    case ValueKind::String:
    {
        const std::string& text = std::get<std::string>(value.Data());
        return sqlite3_bind_text(statement, position, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT);
    }
    case ValueKind::Boolean:
        return sqlite3_bind_int(statement, position, std::get<bool>(value.Data()) ? 1 : 0);
    case ValueKind::DateTime:
    {
        const std::string text = DateTimeText(type, std::get<DateTime>(value.Data()), 'T');
        return sqlite3_bind_text(statement, position, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT);
    }
    case ValueKind::Bytes:
    {
        const Bytes& bytes = std::get<Bytes>(value.Data());
        return sqlite3_bind_blob(statement, position, bytes.data(), static_cast<int>(bytes.size()),
                                 SQLITE_TRANSIENT);
    }
    }
    return SQLITE_MISUSE;
}

struct StatementCloser
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementCloser>;

// The first schema a search path names ("$user" standing for the user).
std::string FirstSearchPathSchema(const std::string& path, const std::string& user)
{
    std::string schema;
    std::size_t pos = 0;
    while (pos < path.size() && (path[pos] == ' ' || path[pos] == '\t'))
        ++pos;
    if (pos < path.size() && path[pos] == '"')
    {
        ++pos;
        while (pos < path.size())
        {
            if (path[pos] == '"')
            {
                if (pos + 1 < path.size() && path[pos + 1] == '"')
                {
                    schema += '"';
                    pos += 2;
                    continue;
                }
                break;
            }
            schema += path[pos++];
        }
    }
    else
    {
        while (pos < path.size() && path[pos] != ',')
            schema += path[pos++];
        while (!schema.empty() && (schema.back() == ' ' || schema.back() == '\t'))
            schema.pop_back();
        // Unquoted names are folded to lower case by the server.
        for (char& c : schema)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
    }
    return schema == "$user" ? user : schema;
}

} // namespace

GdalStore::GdalStore(std::string key, Kind kind, std::string target, bool ownFile)
    : Store(std::move(key)), kind_(kind), target_(std::move(target)), ownFile_(ownFile)
{
    gdal::EnsureInitialised();
    OpenDataset();
}

void GdalStore::OpenDataset()
{
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
    } journal(ownFile_ && kind_ == Kind::GeoPackage);
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
        std::string reason = gdal::ErrorScope::LastError();
        for (const auto& [key, value] : kind_ == Kind::PostgreSQL ? ParseConnectionString(target_)
                                                                  : std::vector<ConnectionOption>())
            if (key == "password" && !value.empty())
                for (std::size_t at = reason.find(value); at != std::string::npos;
                     at = reason.find(value))
                    reason.replace(at, value.size(), "***");
        throw EngineError("Cannot open the database " + what + ": " + reason);
    }
    dataset_.reset(dataset);
    if (kind_ == Kind::GeoPackage)
        // Another program writing the file is waited for rather than failed on.
        if (auto* handle = static_cast<sqlite3*>(dataset_->GetInternalHandle("SQLITE_HANDLE")))
            sqlite3_busy_timeout(handle, 60000);
}

GdalStore::~GdalStore()
{
    if (InTransaction())
    {
        try
        {
            Rollback();
        }
        catch (...)
        {
            // Closing the connection ends the transaction anyway.
        }
    }
}

void GdalStore::Reopen()
{
    if (AnyTableOpen())
        throw EngineError("Cannot reopen the database while a table is open");
    dataset_.reset();
    OpenDataset();
}

PgLink& GdalStore::Pg()
{
    if (kind_ != Kind::PostgreSQL)
        throw EngineError("Not a PostgreSQL database");
    if (!pg_)
        pg_ = std::make_unique<PgLink>(LibpqConnectionString(target_));
    return *pg_;
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
    if (stripped != name)
        if (OGRLayer* layer = search(stripped))
            return layer;
    if (kind_ == Kind::PostgreSQL && !name.empty())
    {
        // A table another program made after the database was opened.
        gdal::ErrorScope scope;
        for (const std::string& wanted : {name, stripped})
            if (OGRLayer* layer = dataset_->GetLayerByName(wanted.c_str()))
                if (wanted == layer->GetName())
                    return layer;
    }
    return nullptr;
}

bool GdalStore::HasTable(const std::string& name)
{
    return FindLayer(name) != nullptr;
}

std::optional<std::string> GdalStore::ResolveTable(const std::string& name)
{
    if (OGRLayer* layer = FindLayer(name))
        return std::string(layer->GetName());
    return std::nullopt;
}

std::vector<fs::path> GdalStore::DataFiles(const std::string&)
{
    if (kind_ == Kind::GeoPackage)
        return {gdal::Utf8ToPath(target_)};
    return {};
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
    return std::make_unique<LayerSource>(std::static_pointer_cast<GdalStore>(shared_from_this()),
                                         layer, writable, layerName);
}

std::unique_ptr<RowSource> GdalStore::ExecuteSql(const std::string& sql)
{
    gdal::ErrorScope scope;
    // The alias's own options (a search path) are kept; read-only is added to them.
    const std::string target = kind_ == Kind::PostgreSQL
                                   ? AddServerSetting(target_, "default_transaction_read_only=on")
                                   : target_;
    gdal::DatasetPtr dataset(GDALDataset::FromHandle(GDALOpenEx(
        target.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, DriversOf(kind_), nullptr, nullptr)));
    if (!dataset)
        throw EngineError("Cannot open the database for the SQL statement: " +
                          gdal::ErrorScope::LastError());
    return RunSql(*dataset, sql);
}

void GdalStore::EnsurePgSchema()
{
    if (kind_ != Kind::PostgreSQL)
        return;
    PgLink& pg = Pg();
    PgResult current = pg.Run("SELECT current_schema(), current_setting('search_path'), "
                              "current_user",
                              {}, "Cannot read the search path");
    if (current.Rows() != 1 || !current.IsNull(0, 0))
        return;
    const std::string schema = FirstSearchPathSchema(current.Text(0, 1), current.Text(0, 2));
    if (schema.empty())
        throw EngineError("The search path of the database names no schema to create tables in");
    try
    {
        pg.Run("CREATE SCHEMA IF NOT EXISTS " + QuoteSqlIdentifier(schema), {},
               "Cannot create the schema " + QuoteSqlIdentifier(schema));
    }
    catch (const EngineError& error)
    {
        throw EngineError(std::string(error.what()) +
                          ". The schema named first in the search path does not exist; "
                          "create it with: CREATE SCHEMA " +
                          QuoteSqlIdentifier(schema));
    }
    // GDAL learnt the current schema when it opened the database.
    Reopen();
}

void GdalStore::SchemaTransaction(const std::function<void()>& change)
{
    gdal::ErrorScope scope;
    // A GeoPackage has one connection: a transaction of the store already holds the change.
    const bool own = !inSchemaTransaction_ && (kind_ == Kind::PostgreSQL || !InTransaction());
    if (own && dataset_->StartTransaction(FALSE) != OGRERR_NONE)
        throw EngineError("Cannot start a transaction: " + gdal::ErrorScope::LastError());
    if (own)
        inSchemaTransaction_ = true;
    try
    {
        change();
        if (own)
        {
            inSchemaTransaction_ = false;
            if (dataset_->CommitTransaction() != OGRERR_NONE)
                throw EngineError("Cannot commit the transaction: " +
                                  gdal::ErrorScope::LastError());
        }
    }
    catch (...)
    {
        if (own)
        {
            inSchemaTransaction_ = false;
            dataset_->RollbackTransaction();
        }
        throw;
    }
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
    EnsurePgSchema();

    gdal::ErrorScope scope;
    SchemaTransaction(
        [&]
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
                    throw EngineError("Cannot create the column '" + fields[i].Name +
                                      "' of table '" + name +
                                      "': " + gdal::ErrorScope::LastError());
        });
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
    if (InTransaction())
        throw EngineError("A transaction is already active on this database");
    gdal::ErrorScope scope;
    // No read cursor may hold a transaction of its own when this one starts.
    for (int i = 0; i < dataset_->GetLayerCount(); ++i)
        dataset_->GetLayer(i)->ResetReading();
    if (kind_ == Kind::PostgreSQL)
        Pg().Run("BEGIN", {}, "Cannot start a transaction");
    else if (dataset_->StartTransaction(FALSE) != OGRERR_NONE)
        throw EngineError("Cannot start a transaction: " + gdal::ErrorScope::LastError());
    SetInTransaction(true);
}

void GdalStore::Commit()
{
    if (!InTransaction())
        throw EngineError("No transaction is active on this database");
    gdal::ErrorScope scope;
    try
    {
        if (kind_ == Kind::PostgreSQL)
            Pg().Run("COMMIT", {}, "Cannot commit the transaction");
        else if (dataset_->CommitTransaction() != OGRERR_NONE)
            throw EngineError("Cannot commit the transaction: " + gdal::ErrorScope::LastError());
    }
    catch (...)
    {
        Rollback();
        throw;
    }
    SetInTransaction(false);
}

void GdalStore::Rollback()
{
    if (!InTransaction())
        return;
    SetInTransaction(false);
    gdal::ErrorScope scope;
    if (kind_ == Kind::PostgreSQL)
    {
        if (pg_ && pg_->InTransaction())
            pg_->Run("ROLLBACK", {}, "Cannot roll the transaction back");
    }
    else
        dataset_->RollbackTransaction();
}

void GdalStore::LockTableForUpdate(const std::string& name)
{
    if (!InTransaction())
        throw EngineError("Locking a table needs a transaction");
    OGRLayer* layer = FindLayer(name);
    if (layer == nullptr)
        throw EngineError("Table '" + name + "' does not exist");
    if (kind_ == Kind::PostgreSQL)
    {
        // Conflicts with every writer, not with readers.
        Pg().Run("LOCK TABLE " + PgTableSql(*layer) + " IN SHARE ROW EXCLUSIVE MODE", {},
                 "Cannot lock table '" + name + "'");
        return;
    }
    // A write that changes nothing takes the file's write lock until the transaction ends. A
    // busy file is waited for; should SQLite refuse to wait (another writer waits for this
    // transaction's readers), the transaction starts again.
    auto* handle = static_cast<sqlite3*>(dataset_->GetInternalHandle("SQLITE_HANDLE"));
    if (handle == nullptr)
        return;
    const std::string sql = "UPDATE " + QuoteSqlIdentifier(layer->GetName()) + " SET " +
                            QuoteSqlIdentifier(layer->GetFIDColumn()) + " = " +
                            QuoteSqlIdentifier(layer->GetFIDColumn()) + " WHERE 0";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (true)
    {
        char* error = nullptr;
        const int result = sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &error);
        const std::string message = error ? error : "";
        sqlite3_free(error);
        if (result == SQLITE_OK)
            return;
        if ((result & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() > deadline)
            throw EngineError("Cannot lock table '" + name + "': " + message);
        Rollback();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        StartTransaction();
    }
}

std::string GdalStore::PgTableSql(OGRLayer& layer)
{
    const std::string name = layer.GetName();
    std::vector<std::string> candidates;
    // GDAL names a table outside the current schema "schema.table".
    if (const std::size_t dot = name.find('.'); dot != std::string::npos)
        candidates.push_back(QuoteSqlIdentifier(name.substr(0, dot)) + "." +
                             QuoteSqlIdentifier(name.substr(dot + 1)));
    candidates.push_back(QuoteSqlIdentifier(name));
    for (const std::string& candidate : candidates)
    {
        PgResult result = Pg().Run("SELECT quote_ident(n.nspname) || '.' || quote_ident(c.relname) "
                                   "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                                   "WHERE c.oid = to_regclass($1)",
                                   {candidate}, "Cannot find table '" + name + "'");
        if (result.Rows() == 1)
            return result.Text(0, 0);
    }
    throw EngineError("Table '" + name + "' does not exist");
}

void GdalStore::UpdateRows(OGRLayer& layer, const std::vector<Field>& fields,
                           const std::vector<RowChange>& rows, const std::string& table)
{
    const std::string fidColumn = layer.GetFIDColumn();
    const std::string fid = QuoteSqlIdentifier(fidColumn);
    if (kind_ == Kind::GeoPackage)
    {
        auto* handle = static_cast<sqlite3*>(dataset_->GetInternalHandle("SQLITE_HANDLE"));
        if (handle == nullptr)
            throw EngineError("Cannot write table '" + table + "': no database handle");
        for (const auto& group : GroupByColumns(rows))
        {
            const std::vector<bool>& changed = *group.front()->Changed;
            std::string sql = "UPDATE " + QuoteSqlIdentifier(layer.GetName()) + " SET ";
            int parameters = 0;
            for (std::size_t i = 0; i < fields.size() && i < changed.size(); ++i)
                if (changed[i])
                    sql += std::string(parameters++ ? ", " : "") +
                           QuoteSqlIdentifier(fields[i].Name) + " = ?";
            if (parameters == 0)
                continue;
            sql += " WHERE " + fid + " = ?";
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
                throw EngineError("Cannot write table '" + table + "': " + sqlite3_errmsg(handle));
            StatementPtr statement(raw);
            for (const RowChange* row : group)
            {
                int position = 0;
                int result = SQLITE_OK;
                for (std::size_t i = 0; i < fields.size() && result == SQLITE_OK; ++i)
                    if (changed[i])
                        result = BindSqlite(statement.get(), ++position, fields[i].Type,
                                            (*row->Values)[i]);
                if (result == SQLITE_OK)
                    result = sqlite3_bind_int64(statement.get(), ++position, row->Fid);
                if (result == SQLITE_OK)
                    result = sqlite3_step(statement.get());
                if (result != SQLITE_DONE)
                    throw EngineError("Cannot write " + RowName(row->Index, fidColumn, row->Fid) +
                                      " of table '" + table + "': " + sqlite3_errmsg(handle));
                if (sqlite3_changes(handle) != 1)
                    throw EngineError("Cannot write " + RowName(row->Index, fidColumn, row->Fid) +
                                      " of table '" + table + "': it no longer exists");
                sqlite3_reset(statement.get());
                sqlite3_clear_bindings(statement.get());
            }
        }
        return;
    }

    PgLink& pg = Pg();
    const std::string target = PgTableSql(layer);
    for (const auto& group : GroupByColumns(rows))
    {
        const std::vector<bool>& changed = *group.front()->Changed;
        std::vector<std::size_t> columns;
        for (std::size_t i = 0; i < fields.size() && i < changed.size(); ++i)
            if (changed[i])
                columns.push_back(i);
        if (columns.empty())
            continue;
        if (group.size() < 32)
        {
            std::string sql = "UPDATE " + target + " SET ";
            for (std::size_t c = 0; c < columns.size(); ++c)
                sql += std::string(c ? ", " : "") + QuoteSqlIdentifier(fields[columns[c]].Name) +
                       " = $" + std::to_string(c + 1);
            sql += " WHERE " + fid + " = $" + std::to_string(columns.size() + 1);
            for (const RowChange* row : group)
            {
                std::vector<std::optional<std::string>> params;
                for (std::size_t column : columns)
                    params.push_back(PgText(fields[column].Type, (*row->Values)[column]));
                params.push_back(std::to_string(row->Fid));
                const std::string what = "Cannot write " +
                                         RowName(row->Index, fidColumn, row->Fid) + " of table '" +
                                         table + "'";
                if (pg.Run(sql, params, what).Affected() != 1)
                    throw EngineError(what + ": it no longer exists");
            }
            continue;
        }
        // Many rows: all of them into a temporary table in one COPY, then one UPDATE.
        const std::string batch = "quorvalis_batch_" + std::to_string(++batchCounter_);
        std::string select = fid;
        std::string assignments;
        for (std::size_t column : columns)
        {
            const std::string name = QuoteSqlIdentifier(fields[column].Name);
            select += ", " + name;
            assignments += std::string(assignments.empty() ? "" : ", ") + name + " = b." + name;
        }
        const std::string what = "Cannot write the rows of table '" + table + "'";
        pg.Run("CREATE TEMPORARY TABLE " + batch + " ON COMMIT DROP AS SELECT " + select +
                   " FROM " + target + " WITH NO DATA",
               {}, what);
        std::string data;
        data.reserve(group.size() * (16 + columns.size() * 24));
        std::vector<std::optional<std::string>> values;
        for (const RowChange* row : group)
        {
            values.clear();
            values.push_back(std::to_string(row->Fid));
            for (std::size_t column : columns)
                values.push_back(PgText(fields[column].Type, (*row->Values)[column]));
            AppendCopyLine(data, values);
        }
        pg.CopyIn("COPY " + batch + " FROM STDIN", data, what);
        // A temporary table has no statistics until asked: without them the join may be planned
        // as if it were small.
        pg.Run("ANALYZE " + batch, {}, what);
        const long long written =
            pg.Run("UPDATE " + target + " AS t SET " + assignments + " FROM " + batch +
                       " AS b WHERE t." + fid + " = b." + fid,
                   {}, what)
                .Affected();
        if (written != static_cast<long long>(group.size()))
            throw EngineError(what + ": " + std::to_string(group.size() - written) + " of " +
                              std::to_string(group.size()) + " rows no longer exist");
        pg.Run("DROP TABLE " + batch, {}, what);
    }
}

std::vector<GIntBig> GdalStore::InsertRows(OGRLayer& layer, const std::vector<Field>& fields,
                                           const std::vector<const std::vector<Value>*>& rows,
                                           const std::string& table)
{
    std::vector<GIntBig> ids;
    ids.reserve(rows.size());
    if (kind_ == Kind::GeoPackage)
    {
        // Through GDAL, which keeps the table's row count in the GeoPackage's catalogue.
        gdal::ErrorScope scope;
        int added = 0;
        for (const auto* row : rows)
        {
            ++added;
            FeaturePtr feature(new OGRFeature(layer.GetLayerDefn()));
            for (std::size_t i = 0; i < fields.size(); ++i)
                if (!(*row)[i].IsNull())
                    gdal::WriteOgrValue(*feature, static_cast<int>(i), (*row)[i]);
            if (layer.CreateFeature(feature.get()) != OGRERR_NONE)
                throw EngineError("Cannot add new row " + std::to_string(added) + " to table '" +
                                  table + "': " + gdal::ErrorScope::LastError());
            ids.push_back(feature->GetFID());
        }
        return ids;
    }

    PgLink& pg = Pg();
    const std::string target = PgTableSql(layer);
    const std::string fid = QuoteSqlIdentifier(layer.GetFIDColumn());
    std::size_t start = 0;
    while (start < rows.size())
    {
        // A run of rows that give values to the same columns (the others take their defaults).
        auto mask = [&](const std::vector<Value>& row)
        {
            std::vector<bool> set(fields.size());
            for (std::size_t i = 0; i < fields.size(); ++i)
                set[i] = !row[i].IsNull();
            return set;
        };
        const std::vector<bool> columns = mask(*rows[start]);
        std::size_t end = start + 1;
        while (end < rows.size() && mask(*rows[end]) == columns)
            ++end;
        std::string names;
        std::string placeholders;
        int count = 0;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (columns[i])
            {
                const std::string separator = count ? ", " : "";
                ++count;
                names += separator + QuoteSqlIdentifier(fields[i].Name);
                placeholders += separator + "$" + std::to_string(count);
            }
        const std::string what = "Cannot add rows to table '" + table + "'";
        if (end - start < 32 || count == 0)
        {
            const std::string sql =
                count == 0 ? "INSERT INTO " + target + " DEFAULT VALUES RETURNING " + fid
                           : "INSERT INTO " + target + " (" + names + ") VALUES (" + placeholders +
                                 ") RETURNING " + fid;
            for (std::size_t r = start; r < end; ++r)
            {
                std::vector<std::optional<std::string>> params;
                for (std::size_t i = 0; i < fields.size(); ++i)
                    if (columns[i])
                        params.push_back(PgText(fields[i].Type, (*rows[r])[i]));
                PgResult result = pg.Run(sql, params,
                                         "Cannot add new row " + std::to_string(r + 1) +
                                             " to table '" + table + "'");
                ids.push_back(std::stoll(result.Text(0, 0)));
            }
        }
        else
        {
            const std::string batch = "quorvalis_batch_" + std::to_string(++batchCounter_);
            pg.Run("CREATE TEMPORARY TABLE " + batch +
                       " ON COMMIT DROP AS SELECT 0::bigint AS quorvalis_order, " + names +
                       " FROM " + target + " WITH NO DATA",
                   {}, what);
            std::string data;
            std::vector<std::optional<std::string>> values;
            for (std::size_t r = start; r < end; ++r)
            {
                values.clear();
                values.push_back(std::to_string(r));
                for (std::size_t i = 0; i < fields.size(); ++i)
                    if (columns[i])
                        values.push_back(PgText(fields[i].Type, (*rows[r])[i]));
                AppendCopyLine(data, values);
            }
            pg.CopyIn("COPY " + batch + " FROM STDIN", data, what);
            PgResult result =
                pg.Run("INSERT INTO " + target + " (" + names + ") SELECT " + names + " FROM " +
                           batch + " ORDER BY quorvalis_order RETURNING " + fid,
                       {}, what);
            // Ids are drawn in the order the rows go in.
            std::vector<GIntBig> added;
            for (int i = 0; i < result.Rows(); ++i)
                added.push_back(std::stoll(result.Text(i, 0)));
            std::sort(added.begin(), added.end());
            ids.insert(ids.end(), added.begin(), added.end());
            pg.Run("DROP TABLE " + batch, {}, what);
        }
        start = end;
    }
    return ids;
}

void GdalStore::DeleteRows(OGRLayer& layer, const std::vector<GIntBig>& fids,
                           const std::vector<int>& indexes, const std::string& table)
{
    const std::string fidColumn = layer.GetFIDColumn();
    if (kind_ == Kind::GeoPackage)
    {
        gdal::ErrorScope scope;
        for (std::size_t i = 0; i < fids.size(); ++i)
            if (layer.DeleteFeature(fids[i]) != OGRERR_NONE)
                throw EngineError("Cannot delete " + RowName(indexes[i], fidColumn, fids[i]) +
                                  " of table '" + table + "': " + gdal::ErrorScope::LastError());
        return;
    }
    std::string list = "{";
    for (std::size_t i = 0; i < fids.size(); ++i)
        list += (i ? "," : "") + std::to_string(fids[i]);
    list += "}";
    const std::string what = "Cannot delete rows of table '" + table + "'";
    const long long deleted = Pg().Run("DELETE FROM " + PgTableSql(layer) + " WHERE " +
                                           QuoteSqlIdentifier(fidColumn) + " = ANY($1::bigint[])",
                                       {list}, what)
                                  .Affected();
    if (deleted != static_cast<long long>(fids.size()))
        throw EngineError(what + ": " + std::to_string(fids.size() - deleted) + " of " +
                          std::to_string(fids.size()) + " rows no longer exist");
}

void GdalStore::WithSchemaLock(const std::function<void()>& work)
{
    if (kind_ != Kind::PostgreSQL)
    {
        work();
        return;
    }
    PgLink& pg = Pg();
    pg.Run("SELECT pg_advisory_lock(" + std::to_string(kSchemaLockKey) + ")", {},
           "Cannot lock the database");
    try
    {
        work();
    }
    catch (...)
    {
        try
        {
            pg.Run("SELECT pg_advisory_unlock(" + std::to_string(kSchemaLockKey) + ")");
        }
        catch (...)
        {
            // Closing the connection releases the lock.
        }
        throw;
    }
    pg.Run("SELECT pg_advisory_unlock(" + std::to_string(kSchemaLockKey) + ")", {},
           "Cannot unlock the database");
}

} // namespace quorvalis::engine
