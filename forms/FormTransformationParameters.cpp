#include "forms/FormTransformationParameters.h"

#include "forms/DialogControls.h"
#include "project/Guards.h"
#include "project/UserInterface.h"
#include "ui_FormTransformationParameters.h"

namespace quorvalis
{

TfrmTransformationParameters::TfrmTransformationParameters(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmTransformationParameters>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    ui_->edtLocalOrigin->SetValue(31.0);
}

TfrmTransformationParameters::~TfrmTransformationParameters() = default;

GTransformationParameters TfrmTransformationParameters::Values() const
{
    GTransformationParameters values;
    values.TransformationLocalOrigin = ui_->edtLocalOrigin->Value();
    values.ApplyWeighting = ui_->chkApplyWeighting->isChecked();
    return values;
}

void TfrmTransformationParameters::SetValues(const GTransformationParameters& values)
{
    ui_->edtLocalOrigin->SetValue(values.TransformationLocalOrigin);
    ui_->chkApplyWeighting->setChecked(values.ApplyWeighting);
}

void TfrmTransformationParameters::accept()
{
    if (AcceptLocalOrigin(ui_->edtLocalOrigin->Value(), kTransformationLocalOrigin))
        QDialog::accept();
}

} // namespace quorvalis
