// The data-aware grid's model: a Qt item model over a dataset of the database engine, and the
// cursor the grid, its navigator and a window's commands move and edit the dataset through.
#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quorvalis
{

namespace engine
{
class DataSet;
}

/// One row per record of the dataset, in its order, and one column per visible field; while a
/// record is appended, one more row at the end shows it. Cells show the record as it stands (the
/// edit in progress in the current record); float columns with a number picture of their own
/// (SetDisplayFormat) or in general form, with the application's decimal separator.
///
/// Every move and edit goes through the model, so that the dataset never posts behind its back:
/// moving posts the edit in progress first (Post, with AfterPost), exactly as the engine's own
/// moves would. Editing a cell starts an edit of its record (moving there first) and keeps the
/// record in edit state until it is posted or cancelled; a number cell takes "." or the
/// application's separator.
///
/// The dataset holds every row as the grid first read it (DataSet::SetHoldRowsRead) until it
/// writes or is opened anew: a row another program changes meanwhile shows as read, and an edit
/// of it is refused when it is written rather than silently undoing the other change.
///
/// Errors of the dataset (and of the hooks) reach the caller of the operation; setData, called
/// by the grid's editor, shows them in the application's error box and refuses the value.
class GDataSetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit GDataSetModel(QObject* parent = nullptr);
    ~GDataSetModel() override;

    /// The dataset shown (not owned; it must stay open while shown); null shows nothing.
    void SetDataSet(engine::DataSet* dataSet);
    engine::DataSet* DataSet() const { return dataSet_; }
    /// The number picture of a float column, by field name ("0.000000").
    void SetDisplayFormat(const std::string& fieldName, const std::string& picture);
    /// The columns shown first, by field name (any case), in this order; the other visible fields
    /// follow in the dataset's order. Takes effect with the next SetDataSet.
    void SetFieldOrder(std::vector<std::string> fieldNames);
    /// The field shown in a column, or -1.
    int FieldOfColumn(int column) const;
    /// The column that shows a field (by name, any case), or -1.
    int ColumnOfField(const std::string& fieldName) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// The row of the current record (the appended row while appending); -1 when there is none.
    int CurrentRow() const;
    bool Active() const;
    bool Editing() const;
    bool CanModify() const;

    // Moving: each posts the edit in progress first.
    void First();
    void Prior();
    void Next();
    void Last();
    /// Makes the record of this row current (nothing for the row being appended).
    void MoveTo(int row);
    // Editing.
    void Append();
    void Edit();
    /// Posts the edit in progress, then runs AfterPost; nothing when not editing.
    void Post();
    void Cancel();
    /// Deletes the current record (cancelling an append instead), then runs AfterDelete.
    void Delete();
    /// Runs OnRefresh (the owner opens the data anew and calls SetDataSet).
    void Refresh();

    /// After every post and delete: the owner makes the change permanent (what it raises reaches
    /// the caller of Post or Delete).
    std::function<void()> AfterPost;
    std::function<void()> AfterDelete;
    std::function<void()> OnRefresh;

    /// Every cell, the row count and the current row read anew (after the dataset changed under
    /// the model, or the owner moved it directly).
    void Reload();
    /// Runs work with the grid's updates held back, then reloads once (a search over many
    /// records).
    void WithoutUpdates(const std::function<void()>& work);

signals:
    /// The current record moved (row as CurrentRow).
    void CurrentChanged(int row);
    /// Editing started or ended, or the ends were reached or left: the navigator's buttons.
    void StateChanged();
    /// Updates held back (true) or resumed (false).
    void UpdatesSuspended(bool suspended);

private:
    void Moved();
    QVariant Cell(int row, int field, int role) const;

    engine::DataSet* dataSet_ = nullptr;
    std::vector<int> columns_; // field index of each column
    std::map<std::string, std::string> formats_;
    std::vector<std::string> order_;
    int shownRows_ = 0;
    int shownCurrent_ = -1;
};

} // namespace quorvalis
