#include "forms/FormTrigSelection.h"

#include "forms/DialogControls.h"
#include "project/BeaconReview.h"
#include "project/UserInterface.h"
#include "ui_FormTrigSelection.h"

namespace quorvalis
{

TfrmTrigSelection::TfrmTrigSelection(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmTrigSelection>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    ui_->btnOk->setFocus();
}

TfrmTrigSelection::~TfrmTrigSelection() = default;

std::int32_t TfrmTrigSelection::Strategy() const
{
    if (ui_->rbBuffer->isChecked())
        return 0;
    return ui_->rbCount->isChecked() ? 1 : 2;
}

double TfrmTrigSelection::Buffer() const
{
    return ParseStrategyBuffer(ui_->edtBuffer->text().toStdString());
}

std::int32_t TfrmTrigSelection::Count() const
{
    return ParseStrategyCount(ui_->edtCount->text().toStdString());
}

bool TfrmTrigSelection::UseTrigBeacons() const
{
    return ui_->chkTrigBeacons->isChecked();
}

bool TfrmTrigSelection::UseTownSurveyMarks() const
{
    return ui_->chkTownSurveyMarks->isChecked();
}

bool TfrmTrigSelection::UseOtherCoordinates() const
{
    return ui_->chkOtherCoordinates->isChecked();
}

GSelectionStrategy TfrmTrigSelection::Values() const
{
    GSelectionStrategy values;
    values.Strategy = Strategy();
    values.Count = Count();
    values.Buffer = Buffer();
    values.UseTrigBeacons = UseTrigBeacons();
    values.UseTownSurveyMarks = UseTownSurveyMarks();
    values.UseOtherCoordinates = UseOtherCoordinates();
    return values;
}

} // namespace quorvalis
