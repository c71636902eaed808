#include "forms/FormProjectTransformation.h"

#include "forms/DialogControls.h"
#include "ui_FormProjectTransformation.h"

namespace quorvalis
{

TfrmProjectTransformation::TfrmProjectTransformation(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmProjectTransformation>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    ui_->btnOk->setFocus();
}

TfrmProjectTransformation::~TfrmProjectTransformation() = default;

std::uint8_t TfrmProjectTransformation::Method() const
{
    return ui_->rbCalculated->isChecked() ? 0 : 1;
}

void TfrmProjectTransformation::SetMethod(std::uint8_t method)
{
    (method == 0 ? ui_->rbCalculated : ui_->rbHelmert)->setChecked(true);
}

} // namespace quorvalis
