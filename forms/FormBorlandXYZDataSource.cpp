#include "forms/FormBorlandXYZDataSource.h"

#include "database/BorlandDatabase.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "ui_FormBorlandXYZDataSource.h"

#include <QBoxLayout>
#include <QLabel>

namespace quorvalis
{

TfrmBorlandXYZDataSource::TfrmBorlandXYZDataSource(QWidget* parent)
    : TfrmBorlandDataSource(parent), fields_(std::make_unique<Ui::TfrmBorlandXYZFields>())
{
    auto* box = new QWidget(this); // owned by the dialog through the layout
    box->setObjectName(QStringLiteral("pnlFields"));
    fields_->setupUi(box);
    for (QLabel* label : {fields_->lblXField, fields_->lblYField, fields_->lblZField})
        label->setFixedWidth(LabelColumnWidth());
    ExtraLayout().addWidget(box);
    setWindowTitle(CaptionOf({}));
}

TfrmBorlandXYZDataSource::~TfrmBorlandXYZDataSource() = default;

void TfrmBorlandXYZDataSource::SetSettings(const GBorlandDataSourceSettings& settings)
{
    TfrmBorlandDataSource::SetSettings(settings);
    fields_->cmbXField->setCurrentText(QString::fromStdString(settings.XFieldName));
    fields_->cmbYField->setCurrentText(QString::fromStdString(settings.YFieldName));
    fields_->cmbZField->setCurrentText(QString::fromStdString(settings.ZFieldName));
}

GBorlandDataSourceSettings TfrmBorlandXYZDataSource::Settings() const
{
    GBorlandDataSourceSettings settings = TfrmBorlandDataSource::Settings();
    settings.XYZ = true;
    settings.XFieldName = fields_->cmbXField->currentText().toStdString();
    settings.YFieldName = fields_->cmbYField->currentText().toStdString();
    settings.ZFieldName = fields_->cmbZField->currentText().toStdString();
    return settings;
}

void TfrmBorlandXYZDataSource::TableChosen()
{
    QComboBox* const boxes[] = {fields_->cmbXField, fields_->cmbYField, fields_->cmbZField};
    QString remembered[3];
    for (int i = 0; i < 3; ++i)
    {
        remembered[i] = boxes[i]->currentText();
        boxes[i]->clear();
    }
    const std::string table = SelectedTable();
    if (!table.empty())
    {
        engine::Table dataSet;
        dataSet.SetDatabaseName(SelectedDatabase());
        dataSet.SetTableName(table);
        dataSet.SetReadOnly(true);
        dataSet.Open();
        for (const engine::Field& field : dataSet.Fields())
        {
            const GFieldType type = FieldTypeOfEngine(field.Type);
            if (type != fdtInteger && type != fdtFloat)
                continue;
            for (QComboBox* box : boxes)
                box->addItem(QString::fromStdString(field.Name));
        }
        dataSet.Close();
    }
    for (int i = 0; i < 3; ++i)
    {
        const int index = boxes[i]->findText(remembered[i]);
        boxes[i]->setCurrentIndex(index);
        if (index < 0)
            boxes[i]->setCurrentText({});
    }
}

} // namespace quorvalis
