#include "forms/FormTransformationOutput.h"

#include "forms/DialogControls.h"
#include "ui_FormTransformationOutput.h"

namespace quorvalis
{

TfrmTransformationOutput::TfrmTransformationOutput(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmTransformationOutput>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    FitListToItems(*ui_->lstOutputMode);
    ui_->lstOutputMode->setCurrentRow(0);
}

TfrmTransformationOutput::~TfrmTransformationOutput() = default;

void TfrmTransformationOutput::SetLabelFields(const std::vector<std::string>& fields)
{
    ui_->cmbLabelField->clear();
    for (const std::string& field : fields)
        ui_->cmbLabelField->addItem(QString::fromStdString(field));
}

std::string TfrmTransformationOutput::LabelField() const
{
    if (ui_->cmbLabelField->currentIndex() < 0)
        return {};
    const std::string text = ui_->cmbLabelField->currentText().toStdString();
    return text == "<NONE>" ? std::string() : text;
}

void TfrmTransformationOutput::SetLabelField(const std::string& field)
{
    const int index = ui_->cmbLabelField->findText(QString::fromStdString(field),
                                                   Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index >= 0)
        ui_->cmbLabelField->setCurrentIndex(index);
}

bool TfrmTransformationOutput::Output() const
{
    return ui_->chkOutput->isChecked();
}

void TfrmTransformationOutput::SetOutput(bool output)
{
    ui_->chkOutput->setChecked(output);
}

std::int32_t TfrmTransformationOutput::OutputMode() const
{
    return ui_->lstOutputMode->currentRow() == 1 ? 1 : 0;
}

void TfrmTransformationOutput::SetOutputMode(std::int32_t mode)
{
    ui_->lstOutputMode->setCurrentRow(mode == 1 ? 1 : 0);
}

} // namespace quorvalis
