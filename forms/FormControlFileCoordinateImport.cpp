#include "forms/FormControlFileCoordinateImport.h"

#include "forms/FloatEdit.h"
#include "forms/MessageBoxes.h"
#include "forms/ShortenPath.h"
#include "project/BeaconImport.h"
#include "project/Guards.h"
#include "ui_FormControlFileCoordinateImport.h"

#include <QFontDatabase>
#include <QStyle>

namespace quorvalis
{

TfrmControlFileCoordinateImport::TfrmControlFileCoordinateImport(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmControlFileCoordinateImport>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The lines are columns of fixed width under the heading.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui_->pnlHeading->setFont(fixed);
    ui_->lstCoordinates->setFont(fixed);
    const QFontMetrics metrics(fixed);
    const int lineWidth = metrics.horizontalAdvance(QString(80, QLatin1Char('0')));
    ui_->lstCoordinates->setMinimumWidth(lineWidth +
                                         style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                                         style()->pixelMetric(QStyle::PM_IndicatorWidth) + 16);
    // The heading's three leading blanks stand for the tick box: its columns start where the
    // lines' text does.
    const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                          style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 4;
    ui_->pnlHeading->setIndent(
        std::max(0, indicator - metrics.horizontalAdvance(QStringLiteral("   "))));
    ui_->edtLocalOrigin->SetValue(31.0);
    connect(ui_->lstCoordinates, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item)
            {
                const int index = item->data(Qt::UserRole).toInt();
                if (beacons_ && index >= 0 && index < beacons_->Count())
                    beacons_->Beacon(index).Selected = item->checkState() == Qt::Checked;
            });
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmControlFileCoordinateImport::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmControlFileCoordinateImport::reject);
}

TfrmControlFileCoordinateImport::~TfrmControlFileCoordinateImport() = default;

void TfrmControlFileCoordinateImport::SetBeacons(GTrigBeaconList* beacons)
{
    beacons_ = beacons;
}

void TfrmControlFileCoordinateImport::SetControlDistance(double distance)
{
    controlDistance_ = distance;
}

double TfrmControlFileCoordinateImport::LocalOrigin() const
{
    return ui_->edtLocalOrigin->Value();
}

void TfrmControlFileCoordinateImport::SetLocalOrigin(double lo)
{
    ui_->edtLocalOrigin->SetValue(lo);
}

void TfrmControlFileCoordinateImport::SetClarkeFileName(const std::string& name)
{
    clarkeFileName_ = name;
}

void TfrmControlFileCoordinateImport::SetWGSFileName(const std::string& name)
{
    wgsFileName_ = name;
}

void TfrmControlFileCoordinateImport::FillList()
{
    QListWidget& list = *ui_->lstCoordinates;
    const QSignalBlocker quiet(list);
    list.clear();
    if (!beacons_)
        return;
    ApplyImportSelectionRules(*beacons_, controlDistance_);
    for (int i = 0; i < beacons_->Count(); ++i)
    {
        const GTrigBeacon& beacon = beacons_->Beacon(i);
        auto* item = new QListWidgetItem(QString::fromStdString(ImportReviewLine(beacon)), &list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(beacon.Selected ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, i);
    }
}

void TfrmControlFileCoordinateImport::showEvent(QShowEvent* event)
{
    FillList();
    const bool pair = !wgsFileName_.empty();
    ui_->lblClarkeFilename->setText(pair ? QStringLiteral("Clarke 1880 Filename")
                                         : QStringLiteral("Import Filename"));
    ui_->lblWGSFilename->setVisible(pair);
    ui_->pnlWGSFilename->setVisible(pair);
    ShowPathInPanel(*ui_->pnlClarkeFilename, QString::fromStdString(clarkeFileName_), 8, true);
    ShowPathInPanel(*ui_->pnlWGSFilename, QString::fromStdString(wgsFileName_), 8, true);
    QDialog::showEvent(event);
    ui_->btnOk->setFocus(Qt::OtherFocusReason);
}

void TfrmControlFileCoordinateImport::accept()
{
    // Plane coordinates of another Lo would land the beacons hundreds of kilometres away.
    if (!IsLocalOrigin(LocalOrigin()))
    {
        ShowErrorBox(NotLocalOriginMessage(kImportLocalOrigin, LocalOrigin()));
        ui_->edtLocalOrigin->setFocus(Qt::OtherFocusReason);
        ui_->edtLocalOrigin->selectAll();
        return;
    }
    QDialog::accept();
}

} // namespace quorvalis
