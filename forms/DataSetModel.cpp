#include "forms/DataSetModel.h"

#include "database/engine/DataSet.h"
#include "forms/MessageBoxes.h"
#include "geometry/NumberFormat.h"

#include <algorithm>
#include <exception>

namespace quorvalis
{

namespace
{

bool IsNumber(engine::FieldType type)
{
    switch (type)
    {
    case engine::ftSmallint:
    case engine::ftInteger:
    case engine::ftWord:
    case engine::ftAutoInc:
    case engine::ftFloat:
    case engine::ftCurrency:
    case engine::ftBCD:
        return true;
    default:
        return false;
    }
}

bool IsReal(engine::FieldType type)
{
    return type == engine::ftFloat || type == engine::ftCurrency || type == engine::ftBCD;
}

} // namespace

GDataSetModel::GDataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

GDataSetModel::~GDataSetModel() = default;

void GDataSetModel::SetDataSet(engine::DataSet* dataSet)
{
    beginResetModel();
    dataSet_ = dataSet;
    // What the grid shows of a row stays what an edit of it is checked against.
    if (dataSet_)
        dataSet_->SetHoldRowsRead(true);
    columns_.clear();
    if (Active())
    {
        for (const std::string& name : order_)
            if (const int field = dataSet_->FindField(name);
                field >= 0 && dataSet_->GetField(field).Visible &&
                std::find(columns_.begin(), columns_.end(), field) == columns_.end())
                columns_.push_back(field);
        for (int i = 0; i < dataSet_->FieldCount(); ++i)
            if (dataSet_->GetField(i).Visible &&
                std::find(columns_.begin(), columns_.end(), i) == columns_.end())
                columns_.push_back(i);
    }
    shownRows_ = 0;
    try
    {
        if (Active())
            shownRows_ = dataSet_->RecordCount() +
                         (Editing() && dataSet_->State() == engine::DataSetState::Insert ? 1 : 0);
    }
    catch (const std::exception&)
    {
        shownRows_ = 0;
    }
    endResetModel();
    Moved();
}

void GDataSetModel::SetDisplayFormat(const std::string& fieldName, const std::string& picture)
{
    formats_[fieldName] = picture;
}

void GDataSetModel::SetFieldOrder(std::vector<std::string> fieldNames)
{
    order_ = std::move(fieldNames);
}

int GDataSetModel::FieldOfColumn(int column) const
{
    return column >= 0 && column < static_cast<int>(columns_.size())
               ? columns_[static_cast<std::size_t>(column)]
               : -1;
}

int GDataSetModel::ColumnOfField(const std::string& fieldName) const
{
    if (!Active())
        return -1;
    const int field = dataSet_->FindField(fieldName);
    for (std::size_t c = 0; c < columns_.size(); ++c)
        if (columns_[c] == field)
            return static_cast<int>(c);
    return -1;
}

bool GDataSetModel::Active() const
{
    return dataSet_ != nullptr && dataSet_->Active();
}

bool GDataSetModel::Editing() const
{
    return Active() && (dataSet_->State() == engine::DataSetState::Edit ||
                        dataSet_->State() == engine::DataSetState::Insert);
}

bool GDataSetModel::CanModify() const
{
    return Active() && dataSet_->CanModify();
}

int GDataSetModel::CurrentRow() const
{
    if (!Active())
        return -1;
    if (dataSet_->State() == engine::DataSetState::Insert)
        return dataSet_->RecordCount();
    return dataSet_->RecNo();
}

int GDataSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shownRows_;
}

int GDataSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant GDataSetModel::Cell(int row, int field, int role) const
{
    const engine::Field& definition = dataSet_->GetField(field);
    if (role == Qt::TextAlignmentRole)
        return IsNumber(definition.Type) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    // The record being edited shows its edit; the others are read where they stand.
    const bool current = Editing() && row == CurrentRow();
    if (!current && row >= dataSet_->RecordCount())
        return {};
    const engine::Value value =
        current ? dataSet_->GetValue(field) : dataSet_->GetValueAt(row, field);
    if (value.IsNull())
        return QString();
    if (IsReal(definition.Type) && value.Kind() == engine::ValueKind::Float)
    {
        const double number = value.AsDouble();
        const auto picture = formats_.find(definition.Name);
        const std::string text = role == Qt::DisplayRole && picture != formats_.end()
                                     ? FormatPicture(number, picture->second, DecimalSeparator())
                                     : FormatGeneral(number, DecimalSeparator());
        return QString::fromStdString(text);
    }
    return QString::fromStdString(engine::FieldToText(definition, value));
}

QVariant GDataSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !Active() ||
        (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::TextAlignmentRole))
        return {};
    const int field = FieldOfColumn(index.column());
    if (field < 0)
        return {};
    try
    {
        return Cell(index.row(), field, role);
    }
    catch (const std::exception&)
    {
        // A store that cannot be read (a lost connection) shows empty cells; the next command
        // says why.
        return {};
    }
}

bool GDataSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !Active())
        return false;
    const int field = FieldOfColumn(index.column());
    if (field < 0)
        return false;
    const QString text = value.toString();
    // An editor closed on the text it was given changes nothing.
    if (text == data(index, Qt::EditRole).toString())
        return true;
    return RunGuarded(
        [&]
        {
            if (index.row() != CurrentRow())
                MoveTo(index.row());
            if (index.row() != CurrentRow())
                return;
            if (!Editing())
                dataSet_->Edit();
            dataSet_->SetText(field, text.toStdString());
            emit dataChanged(this->index(index.row(), 0),
                             this->index(index.row(), columnCount() - 1));
            Moved();
        });
}

Qt::ItemFlags GDataSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (CanModify())
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant GDataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !Active())
        return {};
    if (orientation == Qt::Horizontal)
    {
        const int field = FieldOfColumn(section);
        return field < 0 ? QVariant()
                         : QVariant(QString::fromStdString(dataSet_->GetField(field).Name));
    }
    // The record indicator: the current record, marked "*" while it is edited.
    if (section != CurrentRow())
        return QString();
    return Editing() ? QStringLiteral("*") : QStringLiteral("\u25B6");
}

void GDataSetModel::Moved()
{
    if (shownRows_ > 0)
        emit headerDataChanged(Qt::Vertical, 0, shownRows_ - 1);
    emit CurrentChanged(CurrentRow());
    emit StateChanged();
}

void GDataSetModel::Reload()
{
    int rows = 0;
    if (Active())
    {
        try
        {
            rows = dataSet_->RecordCount() +
                   (dataSet_->State() == engine::DataSetState::Insert ? 1 : 0);
        }
        catch (const std::exception&)
        {
            rows = 0;
        }
    }
    // Records come and go at the end (appending, cancelling an append) or anywhere (deleting):
    // the rows at the end are added or taken away and every cell read anew.
    if (rows > shownRows_)
    {
        beginInsertRows(QModelIndex(), shownRows_, rows - 1);
        shownRows_ = rows;
        endInsertRows();
    }
    else if (rows < shownRows_)
    {
        beginRemoveRows(QModelIndex(), rows, shownRows_ - 1);
        shownRows_ = rows;
        endRemoveRows();
    }
    if (shownRows_ > 0 && !columns_.empty())
        emit dataChanged(index(0, 0), index(shownRows_ - 1, columnCount() - 1));
    Moved();
}

void GDataSetModel::WithoutUpdates(const std::function<void()>& work)
{
    emit UpdatesSuspended(true);
    try
    {
        work();
    }
    catch (...)
    {
        emit UpdatesSuspended(false);
        Reload();
        throw;
    }
    emit UpdatesSuspended(false);
    Reload();
}

void GDataSetModel::First()
{
    if (!Active())
        return;
    Post();
    dataSet_->First();
    Moved();
}

void GDataSetModel::Prior()
{
    if (!Active())
        return;
    Post();
    dataSet_->Prior();
    Moved();
}

void GDataSetModel::Next()
{
    if (!Active())
        return;
    Post();
    dataSet_->Next();
    Moved();
}

void GDataSetModel::Last()
{
    if (!Active())
        return;
    Post();
    dataSet_->Last();
    Moved();
}

void GDataSetModel::MoveTo(int row)
{
    if (!Active() || row == CurrentRow())
        return;
    Post();
    if (!Active() || row < 0 || row >= dataSet_->RecordCount())
    {
        Moved();
        return;
    }
    dataSet_->MoveBy(row - dataSet_->RecNo());
    Moved();
}

void GDataSetModel::Append()
{
    if (!Active())
        return;
    Post();
    dataSet_->Append();
    Reload();
}

void GDataSetModel::Edit()
{
    if (!Active() || Editing())
        return;
    dataSet_->Edit();
    Moved();
}

void GDataSetModel::Post()
{
    if (!Editing())
        return;
    try
    {
        dataSet_->Post();
    }
    catch (...)
    {
        Reload();
        throw;
    }
    Reload();
    if (AfterPost)
        AfterPost();
}

void GDataSetModel::Cancel()
{
    if (!Editing())
        return;
    dataSet_->Cancel();
    Reload();
}

void GDataSetModel::Delete()
{
    if (!Active())
        return;
    const bool appending = dataSet_->State() == engine::DataSetState::Insert;
    dataSet_->Delete();
    Reload();
    if (!appending && AfterDelete)
        AfterDelete();
}

void GDataSetModel::Refresh()
{
    if (!Active())
    {
        if (OnRefresh)
            OnRefresh();
        return;
    }
    Post();
    if (OnRefresh)
        OnRefresh();
}

} // namespace quorvalis
