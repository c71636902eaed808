// The engine's dataset: a cursor over the rows of a table, a query result or an in-memory table,
// with editing, cached updates and read-only access.
#pragma once

#include "database/engine/FieldDef.h"
#include "database/engine/Value.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis::engine
{

/// One row: one value per column, in column order.
using Row = std::vector<Value>;

/// Why a storage refuses to change or delete a row (after "Cannot write row ... of table ...: ").
inline constexpr char kChangedSinceRead[] = "another user changed it after it was read";

/// Edits of cached updates waiting to be written, by position in the storage as it was opened.
struct UpdateBatch
{
    std::set<int> Deleted;                    // storage rows to remove
    std::map<int, Row> Modified;              // storage row -> new values
    std::map<int, std::vector<bool>> Changed; // storage row -> columns that changed
    std::vector<Row> Inserted;                // new rows, in the order they were posted
    /// Storage row -> the row as the dataset read it before changing or deleting it. A storage
    /// that finds a row of Modified or Deleted no longer so refuses the batch: another program
    /// changed it since it was read, and writing would silently undo that change.
    std::map<int, Row> Original;

    bool Empty() const { return Deleted.empty() && Modified.empty() && Inserted.empty(); }
};

/// The storage behind a dataset. Rows are addressed by a 0-based position; inserted rows go to
/// the end; removing a row moves the later ones down by one.
class RowSource
{
public:
    virtual ~RowSource() = default;

    virtual const std::vector<Field>& Fields() const = 0;
    /// Number of rows; -1 when the storage cannot tell without reading them all.
    virtual int Count() = 0;
    virtual Row Read(int index) = 0;
    /// Writes the columns marked in changed (the others are as read).
    virtual void Update(int index, const Row& row, const std::vector<bool>& changed) = 0;
    virtual void Insert(const Row& row) = 0;
    virtual void Remove(int index) = 0;
    /// Whether rows may be changed at all.
    virtual bool CanModify() const = 0;
    /// Whether edits may be held back as cached updates (storage that is itself memory holds
    /// every edit at once).
    virtual bool SupportsCachedUpdates() const { return true; }
    /// Writes every edit of the batch; on failure raises EngineError and changes nothing that
    /// the storage's transaction cannot take back. A row of Modified or Deleted that no longer
    /// holds its Original values is refused (see UpdateBatch). Positions keep their meaning
    /// until CommitBatch.
    virtual void ApplyBatch(const UpdateBatch& batch) = 0;
    /// Takes the batch last applied as the new state of the rows.
    virtual void CommitBatch() = 0;
    /// Forgets the batch last applied (its transaction was rolled back).
    virtual void DiscardBatch() = 0;
    /// Makes written rows durable (headers, caches).
    virtual void Sync() {}
    /// How a message names the row at this position: its key in the table (for example
    /// "ogc_fid 17", "record 18").
    virtual std::string KeyOf(int index) const { return "row " + std::to_string(index + 1); }
    /// The table's name for messages (empty for a result that is no table).
    virtual std::string TableName() const { return {}; }
};

enum class DataSetState : std::uint8_t
{
    Inactive,
    Browse,
    Edit,
    Insert
};

/// A dataset: an open result with a current record.
///
/// Moving follows the engine's cursor rules: First goes to record 0; Next on the last record
/// leaves it current and sets Eof; Prior on the first sets Bof; an empty dataset is both Bof and
/// Eof. Moving or closing while a record is edited posts (moving) or cancels (closing) the edit.
/// Values are read only when asked for, so moving over rows costs nothing. Posting an edit that
/// changed no value writes nothing.
///
/// With cached updates on, posted edits are held in the dataset (and seen through it) until
/// ApplyUpdates writes them and CommitUpdates takes them as written; CancelUpdates drops them.
class DataSet
{
public:
    DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;
    virtual ~DataSet();

    // Opening and closing. Opening an open dataset does nothing.
    void Open();
    void Close();
    bool Active() const { return state_ != DataSetState::Inactive; }
    DataSetState State() const { return state_; }

    // Columns.
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    const Field& GetField(int index) const;
    const std::vector<Field>& Fields() const { return fields_; }
    void SetFieldVisible(int index, bool visible);
    /// Index of the column (name compared without regard to case), or -1.
    int FindField(std::string_view name) const;
    /// Index of the column; raises EngineError "Field 'name' not found".
    int FieldByName(std::string_view name) const;

    // Moving.
    void First();
    void Last();
    void Next();
    void Prior();
    /// Moves by distance records (negative: backwards); returns the distance actually moved.
    int MoveBy(int distance);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    bool IsEmpty() const { return LogicalCount() == 0; }
    /// Number of records, counting cached edits; -1 when the storage cannot tell.
    int RecordCount() const;
    /// 0-based index of the current record; -1 when there is none.
    int RecNo() const { return recNo_; }

    // Editing.
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    /// False when the dataset is read-only or its storage refuses changes.
    bool CanModify() const;

    // Values of the current record (of the record being edited while editing).
    Value GetValue(int index) const;
    /// The value of any record as it stands (cached edits included, the edit in progress not),
    /// without moving: what a grid shows of the records that are not current.
    Value GetValueAt(int record, int index) const;
    Value GetValue(std::string_view name) const { return GetValue(FieldByName(name)); }
    void SetValue(int index, const Value& value);
    void SetValue(std::string_view name, const Value& value) { SetValue(FieldByName(name), value); }
    std::string GetText(int index) const;
    std::string GetText(std::string_view name) const { return GetText(FieldByName(name)); }
    void SetText(int index, std::string_view text);
    void SetText(std::string_view name, std::string_view text) { SetText(FieldByName(name), text); }
    Bytes GetBlob(int index) const;
    void SetBlob(int index, Bytes bytes);

    // Read-only and cached updates; both may only be changed while closed.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    bool CachedUpdates() const { return cachedUpdates_; }
    void SetCachedUpdates(bool value);
    bool UpdatesPending() const { return !pending_.Empty(); }
    /// Writes the cached edits. On failure raises EngineError and keeps them cached.
    void ApplyUpdates();
    /// Takes the edits last applied as written and empties the cache.
    void CommitUpdates();
    /// Drops the cached edits (and forgets an applied batch that was not committed).
    void CancelUpdates();
    /// Forgets that the cached edits were applied (their transaction was rolled back); they
    /// stay cached.
    void RevertAppliedUpdates();

    /// Makes what has been written durable.
    void FlushToStorage();

    /// With holding on, every row is read from the storage once and then kept as read until
    /// this dataset writes (or is closed): what a grid shows of a row stays what an edit of it
    /// is checked against (UpdateBatch::Original), however long ago it was read. Off by default
    /// (a walk over a large table keeps nothing).
    void SetHoldRowsRead(bool value);
    bool HoldRowsRead() const { return holdRows_; }

    /// The key of the current record for messages ("ogc_fid 17", "record 18"; "new row 2" for a
    /// row appended and not yet written).
    std::string CurrentRowKey() const;
    /// The name of the table behind the dataset for messages (empty when it is no table).
    std::string TableLabel() const;

protected:
    /// Opens the storage; raises EngineError when it cannot.
    virtual std::unique_ptr<RowSource> OpenSource() = 0;
    /// Raises EngineError "Cannot perform this operation on an open dataset" when active.
    void CheckInactive() const;
    /// Raises when not active.
    void CheckActive() const;
    RowSource* Source() const { return source_.get(); }

private:
    int LogicalCount() const;
    bool Editing() const { return state_ == DataSetState::Edit || state_ == DataSetState::Insert; }
    void ForgetRowCache();
    // Maps a record index to a storage row (>= 0) or to a cached inserted row (-1 - index).
    int Locate(int logical) const;
    const Row& CurrentRow() const { return RowAt(recNo_); }
    const Row& RowAt(int record) const;
    void LoadEditRow();
    void CheckBrowseMode();
    void CheckModify() const;
    void CheckFieldIndex(int index) const;
    void SetPosition(int recNo);

    std::unique_ptr<RowSource> source_;
    std::vector<Field> fields_;
    DataSetState state_ = DataSetState::Inactive;
    bool readOnly_ = false;
    bool cachedUpdates_ = false;
    int recNo_ = -1;
    bool bof_ = true;
    bool eof_ = true;
    int storageCount_ = 0;

    // The current row as last read, by record index.
    mutable std::optional<Row> rowCache_;
    mutable int rowCacheIndex_ = -1;
    // Rows as read, by storage row (while holding).
    bool holdRows_ = false;
    mutable std::map<int, Row> held_;

    // The record being edited or appended.
    Row editRow_;
    Row editBase_; // the record as read when its edit started
    std::vector<bool> dirty_;
    bool editLoaded_ = false;
    int appendReturn_ = -1;

    UpdateBatch pending_;
    bool batchApplied_ = false;
};

} // namespace quorvalis::engine
