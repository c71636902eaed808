#include "forms/FormHelmertTransformationParameters.h"

#include "forms/DialogControls.h"
#include "project/Guards.h"
#include "project/UserInterface.h"
#include "ui_FormHelmertTransformationParameters.h"

namespace quorvalis
{

TfrmHelmertTransformationParameters::TfrmHelmertTransformationParameters(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmHelmertTransformationParameters>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    connect(ui_->rbCalculated, &QRadioButton::clicked, this, [this] { EnableEdits(); });
    connect(ui_->rbUser, &QRadioButton::clicked, this, [this] { EnableEdits(); });
    SetValues(GHelmertParameters{});
}

TfrmHelmertTransformationParameters::~TfrmHelmertTransformationParameters() = default;

GHelmertParameters TfrmHelmertTransformationParameters::Values() const
{
    GHelmertParameters values;
    values.HelmertMode = ui_->rbCalculated->isChecked() ? 0 : 1;
    values.TransformationLocalOrigin = ui_->edtLocalOrigin->Value();
    values.HelmertA = ui_->edtA->Value();
    values.HelmertB = ui_->edtB->Value();
    values.CapeX = ui_->edtCapeX->Value();
    values.CapeY = ui_->edtCapeY->Value();
    values.WGSX = ui_->edtWGSX->Value();
    values.WGSY = ui_->edtWGSY->Value();
    return values;
}

void TfrmHelmertTransformationParameters::SetValues(const GHelmertParameters& values)
{
    (values.HelmertMode == 0 ? ui_->rbCalculated : ui_->rbUser)->setChecked(true);
    ui_->edtLocalOrigin->SetValue(values.TransformationLocalOrigin);
    ui_->edtA->SetValue(values.HelmertA);
    ui_->edtB->SetValue(values.HelmertB);
    ui_->edtCapeX->SetValue(values.CapeX);
    ui_->edtCapeY->SetValue(values.CapeY);
    ui_->edtWGSX->SetValue(values.WGSX);
    ui_->edtWGSY->SetValue(values.WGSY);
    EnableEdits();
}

void TfrmHelmertTransformationParameters::EnableEdits()
{
    const bool user = ui_->rbUser->isChecked();
    for (GFloatEdit* edit : {ui_->edtLocalOrigin, ui_->edtCapeX, ui_->edtCapeY, ui_->edtWGSX,
                             ui_->edtWGSY, ui_->edtA, ui_->edtB})
        edit->setEnabled(user);
}

void TfrmHelmertTransformationParameters::accept()
{
    // The degree sheets bring their own Lo; only the user's Lo must be one.
    if (ui_->rbUser->isChecked() &&
        !AcceptLocalOrigin(ui_->edtLocalOrigin->Value(), kTransformationLocalOrigin))
        return;
    QDialog::accept();
}

} // namespace quorvalis
