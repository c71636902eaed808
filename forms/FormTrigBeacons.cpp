#include "forms/FormTrigBeacons.h"

#include "forms/DialogControls.h"
#include "forms/FileDialogs.h"
#include "forms/MessageBoxes.h"
#include "forms/ResidualPlot.h"
#include "project/BeaconReview.h"
#include "ui_FormTrigBeacons.h"

#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

namespace quorvalis
{

namespace
{

constexpr int kNumberRole = Qt::UserRole + 1; // the value a number column sorts on
constexpr int kBeaconRole = Qt::UserRole;     // the beacon's index in the list (name column)

// A cell that sorts numbers as numbers and names as text.
class GGridItem : public QTableWidgetItem
{
public:
    explicit GGridItem(const std::string& text) : QTableWidgetItem(QString::fromStdString(text)) {}
    GGridItem(const std::string& text, double number) : GGridItem(text)
    {
        setData(kNumberRole, number);
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    bool operator<(const QTableWidgetItem& other) const override
    {
        const QVariant mine = data(kNumberRole);
        const QVariant theirs = other.data(kNumberRole);
        if (mine.isValid() && theirs.isValid())
            return mine.toDouble() < theirs.toDouble();
        return QTableWidgetItem::operator<(other);
    }
};

// Headings in the dialog font, rows in a fixed-pitch one; columns wide enough for their
// longest text; sorted ascending on the distance at first.
void SetUpGrid(QTableWidget& grid)
{
    QFont heading(QStringLiteral("MS Sans Serif"));
    heading.setStyleHint(QFont::SansSerif);
    heading.setPointSizeF(grid.font().pointSizeF());
    QFont rows(QStringLiteral("Courier New"));
    rows.setStyleHint(QFont::TypeWriter);
    rows.setPointSizeF(grid.font().pointSizeF());
    grid.setFont(rows);
    QHeaderView& header = *grid.horizontalHeader();
    header.setFont(heading);
    header.setDefaultAlignment(Qt::AlignCenter);
    header.setSortIndicatorShown(true);
    header.setSectionsClickable(true);
    header.setStretchLastSection(false);
    grid.verticalHeader()->setDefaultSectionSize(QFontMetrics(rows).height() + 4);

    const QFontMetrics data(rows);
    const QFontMetrics titles(heading);
    int width = 2 * grid.frameWidth() + grid.verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < grid.columnCount(); ++column)
    {
        const QString sample = column == 0 ? QString(20, QLatin1Char('W')) : "0000000.000";
        const int title =
            titles.horizontalAdvance(grid.horizontalHeaderItem(column)->text()) + 28; // glyph
        const int size = std::max(data.horizontalAdvance(sample) + 12, title);
        grid.setColumnWidth(column, size);
        width += size;
    }
    grid.setFixedSize(width, 200);
    grid.sortByColumn(1, Qt::AscendingOrder);
}

QString Tip(const std::string& text)
{
    return QString::fromStdString(MessageText(text));
}

} // namespace

TfrmTrigBeacons::TfrmTrigBeacons(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmTrigBeacons>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    SetUpGrid(*ui_->grdAvailable);
    SetUpGrid(*ui_->grdSelected);
    ui_->lblNoAvailable->setFixedSize(ui_->grdAvailable->size());
    ui_->lblNoSelected->setFixedSize(ui_->grdSelected->size());
    ui_->lblNoAvailable->hide();
    ui_->lblNoSelected->hide();

    const auto bind = [this](QPushButton* button, void (TfrmTrigBeacons::*step)())
    {
        connect(button, &QPushButton::clicked, this,
                [this, step] { RunGuarded([this, step] { (this->*step)(); }); });
    };
    bind(ui_->btnAdd, &TfrmTrigBeacons::Add);
    bind(ui_->btnRemove, &TfrmTrigBeacons::Remove);
    bind(ui_->btnAddAll, &TfrmTrigBeacons::AddAll);
    bind(ui_->btnRemoveAll, &TfrmTrigBeacons::RemoveAll);
    bind(ui_->btnSave, &TfrmTrigBeacons::Save);
    bind(ui_->btnRecall, &TfrmTrigBeacons::Recall);
    ui_->btnOk->setFocus();
}

TfrmTrigBeacons::~TfrmTrigBeacons() = default;

void TfrmTrigBeacons::SetBeacons(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                                 const GRectangle* extent)
{
    beacons_ = &beacons;
    review_ = std::make_unique<GBeaconReview>(beacons, lo, centre, extent);
    ui_->pnlResidualPlot->SetReview(review_.get());
    Refresh();
}

void TfrmTrigBeacons::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Refresh();
}

void TfrmTrigBeacons::Refresh()
{
    if (!review_)
        return;
    review_->Refresh();
    Fill(*ui_->grdAvailable, *ui_->lblNoAvailable, *ui_->pnlAvailable, false);
    Fill(*ui_->grdSelected, *ui_->lblNoSelected, *ui_->pnlSelected, true);
    ui_->pnlScale->setText(QString::fromStdString(review_->ScaleText()));
    ui_->pnlSwing->setText(QString::fromStdString(review_->SwingText()));
    ui_->pnlRMS->setText(QString::fromStdString(review_->RmsText() + "  "));
    ui_->btnOk->setEnabled(review_->Valid());
    ui_->pnlResidualPlot->Refresh();
}

void TfrmTrigBeacons::Fill(QTableWidget& grid, QLabel& empty, QLabel& counter, bool selected)
{
    const std::vector<GBeaconRow>& rows = selected ? review_->Selected() : review_->Available();
    counter.setText(QString::fromStdString(selected ? review_->SelectedCounter()
                                                    : review_->AvailableCounter()));
    grid.setHidden(rows.empty());
    empty.setHidden(!rows.empty());
    if (rows.empty())
        return; // the rows and the counter keep what they showed

    const int current = grid.currentRow();
    grid.setSortingEnabled(false);
    grid.clearContents();
    grid.setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
    {
        const GBeaconRow& row = rows[static_cast<std::size_t>(r)];
        std::vector<QTableWidgetItem*> cells;
        auto* name = new GGridItem(row.Name);
        name->setData(kBeaconRole, row.Index);
        cells.push_back(name);
        cells.push_back(new GGridItem(row.DistanceText, row.Distance));
        if (selected)
            cells.push_back(new GGridItem(row.MisclosureText, row.Misclosure));
        for (std::size_t c = 0; c < cells.size(); ++c)
        {
            QTableWidgetItem* cell = cells[c];
            cell->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            if (selected)
                cell->setToolTip(Tip(LeaveOneOutDescription(row)));
            if (row.Suspect)
                cell->setForeground(GResidualPlot::SuspectColour());
            grid.setItem(r, static_cast<int>(c), cell);
        }
    }
    grid.setSortingEnabled(true);
    // The current row stays where it was, as far as the rows reach.
    grid.setCurrentCell(std::clamp(current, 0, grid.rowCount() - 1), 0);
}

GTrigBeacon* TfrmTrigBeacons::CurrentBeacon(const QTableWidget& grid) const
{
    if (!beacons_ || grid.isHidden())
        return nullptr;
    const int row = grid.currentRow();
    const QTableWidgetItem* name = row >= 0 ? grid.item(row, 0) : nullptr;
    if (!name)
        return nullptr;
    const int index = name->data(kBeaconRole).toInt();
    return index >= 0 && index < beacons_->Count() ? beacons_->GetItem(index) : nullptr;
}

void TfrmTrigBeacons::Add()
{
    GTrigBeacon* beacon = CurrentBeacon(*ui_->grdAvailable);
    if (!beacon)
    {
        ShowErrorBox(kAddBeaconWithoutRowMessage);
        return;
    }
    beacon->Selected = true;
    Refresh();
}

void TfrmTrigBeacons::Remove()
{
    GTrigBeacon* beacon = CurrentBeacon(*ui_->grdSelected);
    if (!beacon)
    {
        ShowErrorBox(kRemoveBeaconWithoutRowMessage);
        return;
    }
    beacon->Selected = false;
    Refresh();
}

void TfrmTrigBeacons::AddAll()
{
    if (!review_)
        return;
    review_->AddAll();
    Refresh();
}

void TfrmTrigBeacons::RemoveAll()
{
    if (!review_)
        return;
    review_->RemoveAll();
    Refresh();
}

void TfrmTrigBeacons::Save()
{
    GFileDialog dialog{.Title = "Save Selection...",
                       .DefaultExtension = "sel",
                       .Filter = kSelectionFileFilter,
                       .FileName = {},
                       .OverwritePrompt = true,
                       .MustExist = false};
    if (!beacons_ || !RunFileDialog(dialog, GFileDialogMode::Save, this))
        return;
    {
        GWaitCursor wait;
        SaveSelection(dialog.FileName, *beacons_);
    }
    Refresh();
}

void TfrmTrigBeacons::Recall()
{
    GFileDialog dialog{.Title = "Recall Selection...",
                       .DefaultExtension = "sel",
                       .Filter = kSelectionFileFilter,
                       .FileName = {},
                       .OverwritePrompt = false,
                       .MustExist = true};
    if (!beacons_ || !RunFileDialog(dialog, GFileDialogMode::Open, this))
        return;
    {
        GWaitCursor wait;
        RecallSelection(dialog.FileName, *beacons_);
    }
    Refresh();
}

} // namespace quorvalis
