#include "forms/FormChooseString.h"

#include "forms/MessageBoxes.h"
#include "ui_FormChooseString.h"

namespace quorvalis
{

TfrmChooseString::TfrmChooseString(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmChooseString>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmChooseString::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmChooseString::reject);
    connect(ui_->lstStrings, &QListWidget::itemDoubleClicked, this, &TfrmChooseString::accept);
    ui_->lstStrings->setFocus();
}

TfrmChooseString::~TfrmChooseString() = default;

void TfrmChooseString::SetStrings(const std::vector<std::string>& strings)
{
    ui_->lstStrings->clear();
    for (const std::string& text : strings)
        ui_->lstStrings->addItem(QString::fromStdString(text));
}

std::string TfrmChooseString::ChosenString() const
{
    const QList<QListWidgetItem*> selected = ui_->lstStrings->selectedItems();
    return selected.isEmpty() ? std::string() : selected.constFirst()->text().toStdString();
}

void TfrmChooseString::accept()
{
    if (ui_->lstStrings->selectedItems().isEmpty())
    {
        ShowErrorBox(kSelectValidItemMessage);
        return;
    }
    QDialog::accept();
}

bool ChooseString(const std::string& caption, const std::vector<std::string>& items,
                  std::string& choice, QWidget* parent)
{
    TfrmChooseString dialog(parent);
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.SetStrings(items);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice = dialog.ChosenString();
    return true;
}

} // namespace quorvalis
