#include "forms/DBGrid.h"

#include "forms/DataSetModel.h"
#include "forms/MessageBoxes.h"

#include <QApplication>
#include <QHeaderView>
#include <QPointer>
#include <QTimer>

namespace quorvalis
{

GDBGrid::GDBGrid(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("\u25B6")) +
                                      10);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
}

void GDBGrid::SetDataModel(GDataSetModel* model)
{
    if (model_)
        disconnect(model_, nullptr, this, nullptr);
    model_ = model;
    setModel(model);
    if (!model_)
        return;
    connect(model_, &GDataSetModel::CurrentChanged, this, &GDBGrid::FollowDataSet);
    connect(model_, &QAbstractItemModel::modelReset, this, &GDBGrid::ApplyColumnWidths);
    connect(model_, &GDataSetModel::UpdatesSuspended, this,
            [this](bool suspended) { setUpdatesEnabled(!suspended); });
    ApplyColumnWidths();
    FollowDataSet(model_->CurrentRow());
}

void GDBGrid::SetColumnWidth(const std::string& fieldName, int width)
{
    widths_[fieldName] = width;
    ApplyColumnWidths();
}

void GDBGrid::ApplyColumnWidths()
{
    if (!model_)
        return;
    for (const auto& [name, width] : widths_)
        if (const int column = model_->ColumnOfField(name); column >= 0)
            setColumnWidth(column, width);
}

void GDBGrid::CommitEdit()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    // The open editor is the widget with the focus inside the grid.
    QWidget* editor = QApplication::focusWidget();
    if (editor == nullptr || !viewport()->isAncestorOf(editor))
        return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void GDBGrid::FollowDataSet(int row)
{
    if (!model_ || following_)
        return;
    following_ = true;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    const QModelIndex target = model_->index(row, column);
    if (target.isValid() && target != currentIndex())
    {
        setCurrentIndex(target);
        scrollTo(target);
    }
    else if (!target.isValid())
        selectionModel()->clearCurrentIndex();
    following_ = false;
}

void GDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (following_ || !model_ || !current.isValid() || current.row() == model_->CurrentRow())
        return;
    // The record is left once the grid is done with this change: posting may make the owner
    // read everything anew.
    const QPointer<GDBGrid> self(this);
    const int row = current.row();
    QTimer::singleShot(0, this,
                       [self, row]
                       {
                           if (!self || !self->model_)
                               return;
                           if (!RunGuarded([&] { self->model_->MoveTo(row); }) && self &&
                               self->model_)
                               self->FollowDataSet(self->model_->CurrentRow());
                       });
}

} // namespace quorvalis
