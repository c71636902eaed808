#include "forms/FormImportFileFormat.h"

#include "ui_FormImportFileFormat.h"

namespace quorvalis
{

TfrmImportFileFormat::TfrmImportFileFormat(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmImportFileFormat>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmImportFileFormat::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmImportFileFormat::reject);
}

TfrmImportFileFormat::~TfrmImportFileFormat() = default;

std::int32_t TfrmImportFileFormat::Format() const
{
    if (ui_->rbCommaDelimited->isChecked())
        return 1;
    if (ui_->rbDataSource->isChecked())
        return 2;
    return 0;
}

void TfrmImportFileFormat::SetFormat(std::int32_t format)
{
    (format == 1   ? ui_->rbCommaDelimited
     : format == 2 ? ui_->rbDataSource
                   : ui_->rbEMail)
        ->setChecked(true);
}

} // namespace quorvalis
