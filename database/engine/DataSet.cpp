#include "database/engine/DataSet.h"

#include <algorithm>

namespace quorvalis::engine
{

DataSet::DataSet() = default;

DataSet::~DataSet()
{
    // Destruction never writes: an edit in progress is dropped with the storage handle.
    source_.reset();
}

void DataSet::CheckInactive() const
{
    if (Active())
        throw EngineError("Cannot perform this operation on an open dataset");
}

void DataSet::CheckActive() const
{
    if (!Active())
        throw EngineError("Cannot perform this operation on a closed dataset");
}

void DataSet::CheckFieldIndex(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EngineError("Field index " + std::to_string(index) + " out of range");
}

void DataSet::CheckModify() const
{
    if (!CanModify())
        throw EngineError("Cannot modify a read-only dataset");
}

bool DataSet::CanModify() const
{
    return Active() && !readOnly_ && source_->CanModify();
}

const Field& DataSet::GetField(int index) const
{
    CheckFieldIndex(index);
    return fields_[static_cast<std::size_t>(index)];
}

void DataSet::SetFieldVisible(int index, bool visible)
{
    CheckFieldIndex(index);
    fields_[static_cast<std::size_t>(index)].Visible = visible;
}

int DataSet::FindField(std::string_view name) const
{
    return FindFieldIndex(fields_, name);
}

int DataSet::FieldByName(std::string_view name) const
{
    const int index = FindField(name);
    if (index < 0)
        throw EngineError("Field '" + std::string(name) + "' not found");
    return index;
}

void DataSet::Open()
{
    if (Active())
        return;
    std::unique_ptr<RowSource> source = OpenSource();
    const int count = source->Count();
    if (count < 0)
        throw EngineError("The storage did not report its number of rows");
    source_ = std::move(source);
    fields_ = source_->Fields();
    storageCount_ = count;
    pending_ = UpdateBatch();
    batchApplied_ = false;
    ForgetRowCache();
    held_.clear();
    state_ = DataSetState::Browse;
    SetPosition(0);
    bof_ = true;
}

void DataSet::Close()
{
    if (!Active())
        return;
    if (Editing())
        Cancel();
    if (batchApplied_)
        source_->DiscardBatch();
    source_.reset();
    fields_.clear();
    pending_ = UpdateBatch();
    batchApplied_ = false;
    ForgetRowCache();
    held_.clear();
    state_ = DataSetState::Inactive;
    recNo_ = -1;
    bof_ = true;
    eof_ = true;
}

int DataSet::LogicalCount() const
{
    if (!Active())
        return 0;
    return storageCount_ - static_cast<int>(pending_.Deleted.size()) +
           static_cast<int>(pending_.Inserted.size());
}

int DataSet::RecordCount() const
{
    CheckActive();
    return LogicalCount();
}

int DataSet::Locate(int logical) const
{
    const int visible = storageCount_ - static_cast<int>(pending_.Deleted.size());
    if (logical < visible)
    {
        int row = logical;
        for (int deleted : pending_.Deleted)
        {
            if (deleted <= row)
                ++row;
            else
                break;
        }
        return row;
    }
    return -1 - (logical - visible);
}

void DataSet::ForgetRowCache()
{
    rowCache_.reset();
    rowCacheIndex_ = -1;
}

void DataSet::SetHoldRowsRead(bool value)
{
    holdRows_ = value;
    held_.clear();
}

const Row& DataSet::RowAt(int record) const
{
    if (rowCache_ && rowCacheIndex_ == record)
        return *rowCache_;
    const int location = Locate(record);
    if (location >= 0)
    {
        const auto modified = pending_.Modified.find(location);
        if (modified != pending_.Modified.end())
            rowCache_ = modified->second;
        else if (!holdRows_)
            rowCache_ = source_->Read(location);
        else
        {
            auto held = held_.find(location);
            if (held == held_.end())
                held = held_.emplace(location, source_->Read(location)).first;
            rowCache_ = held->second;
        }
    }
    else
        rowCache_ = pending_.Inserted.at(static_cast<std::size_t>(-1 - location));
    rowCacheIndex_ = record;
    return *rowCache_;
}

void DataSet::SetPosition(int recNo)
{
    const int count = LogicalCount();
    if (count == 0)
    {
        recNo_ = -1;
        bof_ = true;
        eof_ = true;
        return;
    }
    recNo_ = std::clamp(recNo, 0, count - 1);
    bof_ = false;
    eof_ = false;
}

void DataSet::CheckBrowseMode()
{
    CheckActive();
    if (Editing())
        Post();
}

void DataSet::First()
{
    CheckBrowseMode();
    SetPosition(0);
    bof_ = true;
}

void DataSet::Last()
{
    CheckBrowseMode();
    SetPosition(LogicalCount() - 1);
    eof_ = true;
}

void DataSet::Next()
{
    CheckBrowseMode();
    const int count = LogicalCount();
    if (count == 0)
    {
        SetPosition(0);
        return;
    }
    if (recNo_ < count - 1)
        SetPosition(recNo_ + 1);
    else
    {
        bof_ = false;
        eof_ = true;
    }
}

void DataSet::Prior()
{
    CheckBrowseMode();
    const int count = LogicalCount();
    if (count == 0)
    {
        SetPosition(0);
        return;
    }
    if (recNo_ > 0)
        SetPosition(recNo_ - 1);
    else
    {
        bof_ = true;
        eof_ = false;
    }
}

int DataSet::MoveBy(int distance)
{
    CheckBrowseMode();
    const int count = LogicalCount();
    if (count == 0 || distance == 0)
    {
        if (count == 0)
            SetPosition(0);
        return 0;
    }
    const long long wanted = static_cast<long long>(recNo_) + distance;
    const int target = static_cast<int>(std::clamp<long long>(wanted, 0, count - 1));
    const int moved = target - recNo_;
    SetPosition(target);
    if (wanted > count - 1)
        eof_ = true;
    if (wanted < 0)
        bof_ = true;
    return moved;
}

void DataSet::Append()
{
    CheckBrowseMode();
    CheckModify();
    appendReturn_ = recNo_;
    editRow_.assign(fields_.size(), Value::Null());
    dirty_.assign(fields_.size(), false);
    editLoaded_ = true;
    state_ = DataSetState::Insert;
}

void DataSet::Edit()
{
    CheckActive();
    if (Editing())
        return;
    CheckModify();
    if (recNo_ < 0)
        throw EngineError("Cannot edit a record of an empty dataset");
    editLoaded_ = false;
    dirty_.assign(fields_.size(), false);
    state_ = DataSetState::Edit;
}

void DataSet::LoadEditRow()
{
    if (editLoaded_)
        return;
    editRow_ = CurrentRow();
    editBase_ = editRow_;
    dirty_.assign(fields_.size(), false);
    editLoaded_ = true;
}

void DataSet::Post()
{
    CheckActive();
    if (!Editing())
        throw EngineError("Dataset not in edit or insert mode");
    const bool changed = std::find(dirty_.begin(), dirty_.end(), true) != dirty_.end();
    if (state_ == DataSetState::Edit && (!editLoaded_ || !changed))
    {
        // Nothing changed: nothing is written.
        state_ = DataSetState::Browse;
        return;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].Required && editRow_[i].IsNull())
            throw EngineError("Field '" + fields_[i].Name + "' must have a value");

    const bool cache = cachedUpdates_ && source_->SupportsCachedUpdates();
    if (state_ == DataSetState::Edit)
    {
        const int location = Locate(recNo_);
        if (cache)
        {
            if (location >= 0)
            {
                // The first edit's row as read stays the original of later ones.
                pending_.Original.try_emplace(location, std::move(editBase_));
                pending_.Modified[location] = editRow_;
                std::vector<bool>& mask = pending_.Changed[location];
                mask.resize(fields_.size(), false);
                for (std::size_t i = 0; i < dirty_.size(); ++i)
                    mask[i] = mask[i] || dirty_[i];
            }
            else
                pending_.Inserted.at(static_cast<std::size_t>(-1 - location)) = editRow_;
        }
        else
        {
            source_->Update(location, editRow_, dirty_);
            held_.clear();
        }
        rowCache_ = editRow_;
        rowCacheIndex_ = recNo_;
    }
    else
    {
        if (cache)
            pending_.Inserted.push_back(editRow_);
        else
        {
            source_->Insert(editRow_);
            held_.clear();
            ++storageCount_;
        }
        SetPosition(LogicalCount() - 1);
        rowCache_ = editRow_;
        rowCacheIndex_ = recNo_;
    }
    state_ = DataSetState::Browse;
}

void DataSet::Cancel()
{
    CheckActive();
    if (state_ == DataSetState::Insert)
    {
        state_ = DataSetState::Browse;
        SetPosition(appendReturn_);
    }
    else if (state_ == DataSetState::Edit)
        state_ = DataSetState::Browse;
    editRow_.clear();
    editBase_.clear();
    dirty_.clear();
    editLoaded_ = false;
}

void DataSet::Delete()
{
    CheckActive();
    if (state_ == DataSetState::Insert)
    {
        Cancel();
        return;
    }
    if (state_ == DataSetState::Edit)
        Cancel();
    CheckModify();
    if (recNo_ < 0)
        throw EngineError("Cannot perform this operation on an empty dataset");
    const int location = Locate(recNo_);
    if (cachedUpdates_ && source_->SupportsCachedUpdates())
    {
        if (location >= 0)
        {
            pending_.Original.try_emplace(location, CurrentRow());
            pending_.Deleted.insert(location);
            pending_.Modified.erase(location);
            pending_.Changed.erase(location);
        }
        else
            pending_.Inserted.erase(pending_.Inserted.begin() + (-1 - location));
    }
    else
    {
        source_->Remove(location);
        held_.clear();
        --storageCount_;
    }
    ForgetRowCache();
    SetPosition(recNo_);
}

Value DataSet::GetValue(int index) const
{
    CheckActive();
    CheckFieldIndex(index);
    const auto i = static_cast<std::size_t>(index);
    if (state_ == DataSetState::Insert || (state_ == DataSetState::Edit && editLoaded_))
        return editRow_[i];
    if (recNo_ < 0)
        return Value::Null();
    return CurrentRow()[i];
}

void DataSet::SetValue(int index, const Value& value)
{
    CheckActive();
    CheckFieldIndex(index);
    if (!Editing())
        throw EngineError("Dataset not in edit or insert mode");
    const auto i = static_cast<std::size_t>(index);
    Value stored = CoerceToField(fields_[i], value);
    LoadEditRow();
    if (!(editRow_[i] == stored))
    {
        editRow_[i] = std::move(stored);
        dirty_[i] = true;
    }
}

Value DataSet::GetValueAt(int record, int index) const
{
    CheckActive();
    CheckFieldIndex(index);
    if (record < 0 || record >= LogicalCount())
        throw EngineError("Record " + std::to_string(record + 1) + " does not exist");
    return RowAt(record)[static_cast<std::size_t>(index)];
}

std::string DataSet::GetText(int index) const
{
    const Value value = GetValue(index);
    return FieldToText(fields_[static_cast<std::size_t>(index)], value);
}

void DataSet::SetText(int index, std::string_view text)
{
    CheckActive();
    CheckFieldIndex(index);
    SetValue(index, TextToField(fields_[static_cast<std::size_t>(index)], text));
}

Bytes DataSet::GetBlob(int index) const
{
    return GetValue(index).AsBytes();
}

void DataSet::SetBlob(int index, Bytes bytes)
{
    SetValue(index, Value(std::move(bytes)));
}

void DataSet::SetReadOnly(bool value)
{
    if (Editing())
        throw EngineError("Cannot change the read-only flag while a record is edited");
    readOnly_ = value;
}

void DataSet::SetCachedUpdates(bool value)
{
    if (value == cachedUpdates_)
        return;
    if (Active() && (state_ != DataSetState::Browse || !pending_.Empty()))
        throw EngineError("Cannot change cached updates while edits are pending");
    cachedUpdates_ = value;
}

void DataSet::ApplyUpdates()
{
    CheckBrowseMode();
    if (batchApplied_)
    {
        source_->DiscardBatch();
        batchApplied_ = false;
    }
    if (!pending_.Empty())
        source_->ApplyBatch(pending_);
    batchApplied_ = true;
}

void DataSet::CommitUpdates()
{
    CheckActive();
    if (batchApplied_)
        source_->CommitBatch();
    batchApplied_ = false;
    pending_ = UpdateBatch();
    storageCount_ = source_->Count();
    ForgetRowCache();
    held_.clear();
    if (state_ == DataSetState::Browse)
    {
        const bool bof = bof_;
        const bool eof = eof_;
        SetPosition(recNo_);
        bof_ = bof_ || bof;
        eof_ = eof_ || eof;
    }
}

void DataSet::CancelUpdates()
{
    CheckActive();
    if (Editing())
        Cancel();
    if (batchApplied_)
        source_->DiscardBatch();
    batchApplied_ = false;
    pending_ = UpdateBatch();
    ForgetRowCache();
    SetPosition(recNo_);
}

void DataSet::RevertAppliedUpdates()
{
    if (!Active() || !batchApplied_)
        return;
    source_->DiscardBatch();
    batchApplied_ = false;
    ForgetRowCache();
}

std::string DataSet::CurrentRowKey() const
{
    if (!Active() || recNo_ < 0)
        return "no row";
    if (state_ == DataSetState::Insert)
        return "new row " + std::to_string(pending_.Inserted.size() + 1);
    const int location = Locate(recNo_);
    if (location < 0)
        return "new row " + std::to_string(-location);
    return source_->KeyOf(location);
}

std::string DataSet::TableLabel() const
{
    return Active() ? source_->TableName() : std::string();
}

void DataSet::FlushToStorage()
{
    CheckActive();
    source_->Sync();
}

} // namespace quorvalis::engine
