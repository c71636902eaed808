#include "forms/FormApplicationInformation.h"

#include "ui_FormApplicationInformation.h"

#include <QFile>
#include <QFileInfo>

namespace quorvalis
{

TfrmApplicationInformation::TfrmApplicationInformation(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmApplicationInformation>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmApplicationInformation::reject);
}

TfrmApplicationInformation::~TfrmApplicationInformation() = default;

void TfrmApplicationInformation::SetFileName(const std::string& fileName)
{
    fileName_ = fileName;
    ui_->edtInformation->clear();
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly))
        throw GApplicationInformationException("Cannot open file \"" + fileName + "\".");
    ui_->edtInformation->setSearchPaths({QFileInfo(file).absolutePath()});
    ui_->edtInformation->setHtml(QString::fromUtf8(file.readAll()));
}

} // namespace quorvalis
