#include "forms/FormApplicationSetup.h"

#include "forms/DialogControls.h"
#include "project/Project.h"
#include "project/WinRegistry.h"
#include "ui_FormApplicationSetup.h"

namespace quorvalis
{

int LocalOriginText(const std::string& text)
{
    std::int32_t value = 0;
    return ParseStoredInteger(text, value) ? value : 31;
}

TfrmApplicationSetup::TfrmApplicationSetup(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmApplicationSetup>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    FitListToItems(*ui_->lstCoordinateSystem);
    FitListToItems(*ui_->lstOutputMode);
    SetSettings(GStoredSettings{});
}

TfrmApplicationSetup::~TfrmApplicationSetup() = default;

GStoredSettings TfrmApplicationSetup::Settings() const
{
    GStoredSettings s;
    s.LocalOrigin = LocalOriginText(ui_->edtLocalOrigin->text().toStdString());
    s.CoordinateSystem = std::max(ui_->lstCoordinateSystem->currentRow(), 0);
    s.ProjectTransformation = ui_->rbControlCoordinate->isChecked() ? 0 : 1;
    s.XConstant = ui_->edtXConstant->Value();
    s.YConstant = ui_->edtYConstant->Value();
    s.Exchange = ui_->chkExchange->isChecked();
    s.NegateX = ui_->chkNegateX->isChecked();
    s.NegateY = ui_->chkNegateY->isChecked();
    s.ApplyWeighting = ui_->chkApplyWeighting->isChecked();
    s.ControlDistance = ui_->edtControlDistance->Value();
    s.HelmertA = ui_->edtA->Value();
    s.HelmertB = ui_->edtB->Value();
    s.CapeX = ui_->edtCapeX->Value();
    s.CapeY = ui_->edtCapeY->Value();
    s.WGSX = ui_->edtWGSX->Value();
    s.WGSY = ui_->edtWGSY->Value();
    s.HelmertMode = ui_->rbCalculated->isChecked() ? 0 : 1;
    s.Output = ui_->chkOutput->isChecked();
    s.OutputMode = ui_->lstOutputMode->currentRow() == 1 ? 1 : 0;
    s.ShowMessage = showMessage_;
    return s;
}

void TfrmApplicationSetup::SetSettings(const GStoredSettings& s)
{
    ui_->edtLocalOrigin->setText(QString::number(s.LocalOrigin));
    ui_->lstCoordinateSystem->setCurrentRow(
        s.CoordinateSystem >= 0 && s.CoordinateSystem <= 2 ? s.CoordinateSystem : 0);
    (s.ProjectTransformation == 0 ? ui_->rbControlCoordinate : ui_->rbHelmert)->setChecked(true);
    ui_->edtXConstant->SetValue(s.XConstant);
    ui_->edtYConstant->SetValue(s.YConstant);
    ui_->chkExchange->setChecked(s.Exchange);
    ui_->chkNegateX->setChecked(s.NegateX);
    ui_->chkNegateY->setChecked(s.NegateY);
    ui_->chkApplyWeighting->setChecked(s.ApplyWeighting);
    ui_->edtControlDistance->SetValue(s.ControlDistance);
    ui_->edtA->SetValue(s.HelmertA);
    ui_->edtB->SetValue(s.HelmertB);
    ui_->edtCapeX->SetValue(s.CapeX);
    ui_->edtCapeY->SetValue(s.CapeY);
    ui_->edtWGSX->SetValue(s.WGSX);
    ui_->edtWGSY->SetValue(s.WGSY);
    (s.HelmertMode == 0 ? ui_->rbCalculated : ui_->rbUserDefined)->setChecked(true);
    ui_->chkOutput->setChecked(s.Output);
    ui_->lstOutputMode->setCurrentRow(s.OutputMode == 1 ? 1 : 0);
    showMessage_ = s.ShowMessage;
}

void TfrmApplicationSetup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui_->btnOk->setFocus();
}

void TfrmApplicationSetup::accept()
{
    // Text that is no whole number counts as 31; a whole number must be a Lo, as every run
    // demands.
    if (!AcceptLocalOrigin(LocalOriginText(ui_->edtLocalOrigin->text().toStdString()),
                           "\"Local Origin\""))
        return;
    QDialog::accept();
}

} // namespace quorvalis
