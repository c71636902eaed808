#include "forms/FileDataSourceDialog.h"

#include "forms/FileDialogs.h"
#include "forms/MessageBoxes.h"
#include "forms/ShortenPath.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include <filesystem>

namespace quorvalis
{

GFileDataSourceDialog::GFileDataSourceDialog(QWidget* parent) : QDialog(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void GFileDataSourceDialog::Attach(QLabel* panel, QAbstractButton* browse, QCheckBox* readOnly,
                                   QAbstractButton* ok, QAbstractButton* cancel, GFileDialog dialog,
                                   std::string invalid)
{
    panel_ = panel;
    readOnly_ = readOnly;
    dialog_ = std::move(dialog);
    invalid_ = std::move(invalid);
    connect(ok, &QAbstractButton::clicked, this, &GFileDataSourceDialog::accept);
    connect(cancel, &QAbstractButton::clicked, this, &GFileDataSourceDialog::reject);
    connect(browse, &QAbstractButton::clicked, this, [this] { RunGuarded([this] { Browse(); }); });
    ok->setFocus();
}

void GFileDataSourceDialog::SetFileName(const std::string& fileName)
{
    fileName_ = fileName;
    ShowPathInPanel(*panel_, QString::fromStdString(fileName_), 8, true);
}

bool GFileDataSourceDialog::ReadOnly() const
{
    return readOnly_->isChecked();
}

void GFileDataSourceDialog::SetReadOnly(bool readOnly, bool editable)
{
    readOnly_->setChecked(readOnly);
    readOnly_->setEnabled(editable);
}

void GFileDataSourceDialog::Browse()
{
    GFileDialog dialog = dialog_;
    dialog.FileName = fileName_;
    if (RunFileDialog(dialog, GFileDialogMode::Open, this))
        SetFileName(dialog.FileName);
}

void GFileDataSourceDialog::accept()
{
    std::error_code error;
    if (fileName_.empty() || !std::filesystem::is_regular_file(fileName_, error))
    {
        ShowErrorBox(invalid_);
        return;
    }
    QDialog::accept();
}

void GFileDataSourceDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    SetFileName(fileName_);
    // The file dialog opens over the shown window, once the window is up.
    if (fileName_.empty())
        QTimer::singleShot(0, this, [this] { RunGuarded([this] { Browse(); }); });
}

} // namespace quorvalis
