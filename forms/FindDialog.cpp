#include "forms/FindDialog.h"

#include "ui_FindDialog.h"

namespace quorvalis
{

GFindDialog::GFindDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::GFindDialog>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    connect(ui_->edtFindText, &QLineEdit::textChanged, this,
            [this](const QString& text) { ui_->btnFindNext->setEnabled(!text.isEmpty()); });
    connect(ui_->btnFindNext, &QPushButton::clicked, this, &GFindDialog::FindNext);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &GFindDialog::reject);
}

GFindDialog::~GFindDialog() = default;

std::string GFindDialog::FindText() const
{
    return ui_->edtFindText->text().toStdString();
}

void GFindDialog::SetFindText(const std::string& text)
{
    ui_->edtFindText->setText(QString::fromStdString(text));
}

bool GFindDialog::MatchCase() const
{
    return ui_->chkMatchCase->isChecked();
}

void GFindDialog::SetMatchCase(bool value)
{
    ui_->chkMatchCase->setChecked(value);
}

bool GFindDialog::WholeWord() const
{
    return ui_->chkWholeWord->isChecked();
}

void GFindDialog::SetWholeWord(bool value)
{
    ui_->chkWholeWord->setChecked(value);
}

void GFindDialog::Execute()
{
    show();
    raise();
    activateWindow();
    ui_->edtFindText->setFocus();
    ui_->edtFindText->selectAll();
}

} // namespace quorvalis
