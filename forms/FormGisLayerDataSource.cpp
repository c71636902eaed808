#include "forms/FormGisLayerDataSource.h"

#include "database/GisLayerDatabase.h"
#include "forms/FileDialogs.h"
#include "forms/MessageBoxes.h"
#include "ui_FormGisLayerDataSource.h"

#include <QApplication>
#include <QHeaderView>

namespace quorvalis
{

TfrmGisLayerDataSource::TfrmGisLayerDataSource(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmGisLayerDataSource>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->lstLayers->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(ui_->btnBrowse, &QToolButton::clicked, this, &TfrmGisLayerDataSource::Browse);
    connect(ui_->btnLayers, &QPushButton::clicked, this, &TfrmGisLayerDataSource::ListLayers);
    connect(ui_->edtDataset, &QLineEdit::returnPressed, this, &TfrmGisLayerDataSource::ListLayers);
    connect(ui_->lstLayers, &QTreeWidget::itemDoubleClicked, this, &TfrmGisLayerDataSource::accept);
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmGisLayerDataSource::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmGisLayerDataSource::reject);
}

TfrmGisLayerDataSource::~TfrmGisLayerDataSource() = default;

void TfrmGisLayerDataSource::SetSettings(const GGisLayerDataSourceSettings& settings)
{
    ui_->edtDataset->setText(QString::fromStdString(settings.Dataset));
    ui_->cbReadOnly->setChecked(settings.ReadOnly);
    ui_->cbReadOnly->setEnabled(settings.ReadOnlyEditable);
    ui_->lstLayers->clear();
    if (settings.Dataset.empty() || !ListLayers())
        return;
    const QList<QTreeWidgetItem*> found =
        ui_->lstLayers->findItems(QString::fromStdString(settings.LayerName), Qt::MatchExactly, 0);
    if (!found.isEmpty())
        ui_->lstLayers->setCurrentItem(found.front());
}

void TfrmGisLayerDataSource::GetSettings(GGisLayerDataSourceSettings& settings) const
{
    settings.Dataset = ui_->edtDataset->text().trimmed().toStdString();
    const QTreeWidgetItem* item = ui_->lstLayers->currentItem();
    settings.LayerName = item ? item->text(0).toStdString() : std::string();
    settings.ReadOnly = ui_->cbReadOnly->isChecked();
}

bool TfrmGisLayerDataSource::ListLayers()
{
    ui_->lstLayers->clear();
    const std::string dataset = ui_->edtDataset->text().trimmed().toStdString();
    if (dataset.empty())
        return false;
    std::vector<GGisLayerInfo> layers;
    try
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        layers = ListGisLayers(dataset);
        QApplication::restoreOverrideCursor();
    }
    catch (const std::exception& error)
    {
        QApplication::restoreOverrideCursor();
        ShowErrorBox(error.what());
        return false;
    }
    for (const GGisLayerInfo& layer : layers)
    {
        auto* item = new QTreeWidgetItem(ui_->lstLayers); // owned by the list
        item->setText(0, QString::fromStdString(layer.Name));
        item->setText(1, QString::fromStdString(layer.GeometryType));
        item->setText(2, layer.FeatureCount < 0 ? QStringLiteral("?")
                                                : QString::number(layer.FeatureCount));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(3, QString::fromStdString(layer.CoordinateSystem));
    }
    if (ui_->lstLayers->topLevelItemCount() > 0)
        ui_->lstLayers->setCurrentItem(ui_->lstLayers->topLevelItem(0));
    return true;
}

void TfrmGisLayerDataSource::Browse()
{
    GFileDialog dialog{.Title = "GIS Datasets...",
                       .DefaultExtension = "gpkg",
                       .Filter = "GeoPackages (*.gpkg)|*.gpkg|SQLite Databases "
                                 "(*.sqlite;*.db)|*.sqlite;*.db|All Files (*.*)|*.*",
                       .FileName = ui_->edtDataset->text().toStdString(),
                       .OverwritePrompt = false,
                       .MustExist = true};
    if (!RunFileDialog(dialog, GFileDialogMode::Open, this))
        return;
    ui_->edtDataset->setText(QString::fromStdString(dialog.FileName));
    ListLayers();
}

void TfrmGisLayerDataSource::accept()
{
    if (ui_->lstLayers->currentItem() == nullptr)
    {
        ShowErrorBox(kSelectLayerMessage);
        return;
    }
    QDialog::accept();
}

bool ShowGisLayerDataSourceDialog(GGisLayerDataSourceSettings& settings)
{
    TfrmGisLayerDataSource dialog(QApplication::activeWindow());
    dialog.SetSettings(settings);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.GetSettings(settings);
    return true;
}

} // namespace quorvalis
