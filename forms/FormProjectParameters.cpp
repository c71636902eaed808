#include "forms/FormProjectParameters.h"

#include "forms/DialogControls.h"
#include "forms/MessageBoxes.h"
#include "geometry/NumberFormat.h"
#include "project/Guards.h"
#include "project/Project.h"
#include "ui_FormProjectParameters.h"

namespace quorvalis
{

std::string ExtentText(double x1, double y1, double x2, double y2, int decimals, bool latitudeFirst)
{
    const std::string layout =
        decimals == 2 ? "(%.2f;%.2f) -> (%.2f;%.2f)" : "(%.4f;%.4f) -> (%.4f;%.4f)";
    if (latitudeFirst)
        return FormatLayout(layout, {y1, x1, y2, x2}, DecimalSeparator(), ' ');
    return FormatLayout(layout, {x1, y1, x2, y2}, DecimalSeparator(), ' ');
}

TfrmProjectParameters::TfrmProjectParameters(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmProjectParameters>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    FitListToItems(*ui_->lstFormat);
    ui_->lstFormat->setCurrentRow(0);
    // A click chooses even the entry already chosen; the keys move the choice.
    connect(ui_->lstFormat, &QListWidget::itemClicked, this, [this] { CoordinateSystemChosen(); });
    connect(ui_->lstFormat, &QListWidget::currentRowChanged, this,
            [this] { CoordinateSystemChosen(); });
    connect(ui_->btnRefresh, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { Refresh(); }); });
    ui_->edtLocalOrigin->setFocus();
}

TfrmProjectParameters::~TfrmProjectParameters() = default;

void TfrmProjectParameters::SetProject(GProject* project)
{
    project_ = project;
    ShowExtent();
}

int TfrmProjectParameters::CoordinateSystem() const
{
    return std::max(ui_->lstFormat->currentRow(), 0);
}

GProjectParameters TfrmProjectParameters::Values() const
{
    GProjectParameters values;
    values.LocalOrigin = ui_->edtLocalOrigin->Value();
    values.XConstant = ui_->edtXConstant->Value();
    values.YConstant = ui_->edtYConstant->Value();
    values.Exchange = ui_->chkExchange->isChecked();
    values.NegateX = ui_->chkNegateX->isChecked();
    values.NegateY = ui_->chkNegateY->isChecked();
    values.CoordinateSystem = static_cast<std::uint8_t>(CoordinateSystem());
    return values;
}

void TfrmProjectParameters::SetValues(const GProjectParameters& values)
{
    ui_->edtLocalOrigin->SetValue(values.LocalOrigin);
    ui_->edtXConstant->SetValue(values.XConstant);
    ui_->edtYConstant->SetValue(values.YConstant);
    ui_->chkExchange->setChecked(values.Exchange);
    ui_->chkNegateX->setChecked(values.NegateX);
    ui_->chkNegateY->setChecked(values.NegateY);
    {
        const QSignalBlocker quiet(ui_->lstFormat);
        ui_->lstFormat->setCurrentRow(values.CoordinateSystem <= 2 ? values.CoordinateSystem : 0);
    }
    ShowExtent();
    EnableEdits();
}

void TfrmProjectParameters::CoordinateSystemChosen()
{
    ui_->edtXConstant->SetValue(0.0);
    ui_->edtYConstant->SetValue(0.0);
    ui_->edtLocalOrigin->SetValue(31.0);
    EnableEdits();
    ShowExtent();
}

void TfrmProjectParameters::EnableEdits()
{
    const bool geodetic = CoordinateSystem() == 0;
    ui_->edtLocalOrigin->setEnabled(geodetic);
    ui_->edtXConstant->setEnabled(geodetic);
    ui_->edtYConstant->setEnabled(geodetic);
}

void TfrmProjectParameters::ShowExtent()
{
    if (!project_ || !project_->Extent)
        return;
    const GRectangle& extent = *project_->Extent;
    ui_->pnlExtent->setText(
        QString::fromStdString(ExtentText(extent.TopLeft.X, extent.TopLeft.Y, extent.BottomRight.X,
                                          extent.BottomRight.Y, CoordinateSystem() == 0 ? 2 : 4)));
}

bool TfrmProjectParameters::Refresh()
{
    const GProjectParameters values = Values();
    if (!AcceptLocalOrigin(values.LocalOrigin, kDataLocalOrigin) || !project_)
        return false;
    project_->SetProjectParameters(values);
    const auto geographic = project_->GeographicExtent();
    ui_->pnlProjected->setText(QString::fromStdString(
        ExtentText(geographic->TopLeft.X, geographic->TopLeft.Y, geographic->BottomRight.X,
                   geographic->BottomRight.Y, 4, true)));
    ui_->btnOk->setFocus();
    return true;
}

void TfrmProjectParameters::accept()
{
    if (!AcceptLocalOrigin(ui_->edtLocalOrigin->Value(), kDataLocalOrigin))
        return;
    QDialog::accept();
}

} // namespace quorvalis
