// The data-aware grid: a table view over a GDataSetModel whose current cell follows the
// dataset's current record, and whose cells edit the records in place.
#pragma once

#include <QTableView>

#include <map>
#include <string>

namespace quorvalis
{

class GDataSetModel;

/// Choosing a cell of another row makes that record current (posting an edit in progress, so
/// that leaving a record posts it); the dataset moving by any other way moves the current cell.
/// A refused post keeps the cell on the record that could not be left. Column widths set by
/// field name survive the model showing another dataset.
class GDBGrid : public QTableView
{
    Q_OBJECT

public:
    explicit GDBGrid(QWidget* parent = nullptr);

    /// The model shown and moved (not owned).
    void SetDataModel(GDataSetModel* model);
    GDataSetModel* DataModel() const { return model_; }
    /// Width in pixels of a field's column.
    void SetColumnWidth(const std::string& fieldName, int width);
    /// Ends a cell edit in progress, handing the editor's text to the record (the record stays
    /// in edit state until it is posted).
    void CommitEdit();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void FollowDataSet(int row);
    void ApplyColumnWidths();

    GDataSetModel* model_ = nullptr;
    std::map<std::string, int> widths_;
    bool following_ = false;
};

} // namespace quorvalis
