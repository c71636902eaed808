// The record navigator of the data-aware grid: ten buttons that move through and edit the
// records of a GDataSetModel.
#pragma once

#include <QWidget>

#include <array>
#include <functional>

class QToolButton;

namespace quorvalis
{

class GDBGrid;
class GDataSetModel;

/// First, prior, next, last, insert, delete, edit, post, cancel, refresh (buttons nbFirst ...
/// nbRefresh, each with its hint). A button is enabled only when its action makes sense: moving
/// back at the first record or on at the last is not offered, nor changing records of a dataset
/// that cannot be changed, nor post and cancel without an edit. Every button first ends a cell
/// edit of the grid, and shows what fails in the application's error box.
class GDBNavigator : public QWidget
{
    Q_OBJECT

public:
    enum Button
    {
        nbFirst,
        nbPrior,
        nbNext,
        nbLast,
        nbInsert,
        nbDelete,
        nbEdit,
        nbPost,
        nbCancel,
        nbRefresh
    };

    explicit GDBNavigator(QWidget* parent = nullptr);

    /// The model moved and edited, and the grid whose cell edit a button ends first (not owned;
    /// the grid may be null).
    void SetDataModel(GDataSetModel* model, GDBGrid* grid = nullptr);
    QToolButton* ButtonOf(Button button) const { return buttons_[button]; }
    /// Asked before a delete; false keeps the record. None: deleted without a question.
    std::function<bool()> ConfirmDelete;
    /// Presses a button (as a click does).
    void Press(Button button);

private:
    void UpdateButtons();

    std::array<QToolButton*, 10> buttons_{};
    GDataSetModel* model_ = nullptr;
    GDBGrid* grid_ = nullptr;
};

} // namespace quorvalis
