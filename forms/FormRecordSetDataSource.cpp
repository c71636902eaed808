#include "forms/FormRecordSetDataSource.h"

#include "database/BorlandDatabase.h"
#include "database/CorvellDatabase.h"
#include "database/Database.h"
#include "database/GisLayerDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "database/engine/Session.h"
#include "ui_FormRecordSetDataSource.h"

#include <QApplication>

namespace quorvalis
{

namespace
{

const std::vector<GDataSourceKind> kKinds = {
    GDataSourceKind{"Shapefile", 2, "", false, false},
    GDataSourceKind{"Text File", 11, "", false, false},
    GDataSourceKind{"Corvell Coordinate File", 13, "", false, false},
    GDataSourceKind{"Oracle", 3, engine::kDriverOracle, false, true},
    GDataSourceKind{"Access", 4, engine::kDriverAccess, false, true},
    GDataSourceKind{"Paradox", 5, engine::kDriverStandard, false, false},
    GDataSourceKind{"DBase", 6, engine::kDriverStandard, false, false},
    GDataSourceKind{"Oracle XYZ", 7, engine::kDriverOracle, true, true},
    GDataSourceKind{"Access XYZ", 8, engine::kDriverAccess, true, true},
    GDataSourceKind{"Paradox XYZ", 9, engine::kDriverStandard, true, false},
    GDataSourceKind{"DBase XYZ", 10, engine::kDriverStandard, true, false},
    GDataSourceKind{"Ascii File", 12, "", false, false},
    GDataSourceKind{"PostgreSQL", 14, engine::kDriverPostgres, false, true},
    GDataSourceKind{"PostgreSQL XYZ", 15, engine::kDriverPostgres, true, true},
    GDataSourceKind{"GIS Layer (GeoPackage, PostGIS, \u2026)", 16, "", false, false},
};

const GDataSourceKind* FindKind(std::uint8_t kind)
{
    for (const GDataSourceKind& entry : kKinds)
        if (entry.Kind == kind)
            return &entry;
    return nullptr;
}

} // namespace

const std::vector<GDataSourceKind>& DataSourceKinds()
{
    return kKinds;
}

TfrmRecordSetDataSource::TfrmRecordSetDataSource(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmRecordSetDataSource>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    for (const GDataSourceKind& entry : kKinds)
        ui_->cmbDataSource->addItem(QString::fromUtf8(entry.Entry), entry.Kind);
    connect(ui_->btnOk, &QPushButton::clicked, this, &TfrmRecordSetDataSource::accept);
    connect(ui_->btnCancel, &QPushButton::clicked, this, &TfrmRecordSetDataSource::reject);
}

TfrmRecordSetDataSource::~TfrmRecordSetDataSource() = default;

std::uint8_t TfrmRecordSetDataSource::DataSourceKind() const
{
    const int index = ui_->cmbDataSource->currentIndex();
    return index < 0 ? std::uint8_t{1}
                     : static_cast<std::uint8_t>(ui_->cmbDataSource->itemData(index).toUInt());
}

void TfrmRecordSetDataSource::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ui_->cmbDataSource->setCurrentIndex(0);
}

std::unique_ptr<GRecordSet> CreateRecordSetOfKind(std::uint8_t kind, bool readOnly,
                                                  bool readOnlyEditable)
{
    const GDataSourceKind* entry = FindKind(kind);
    if (!entry)
        return nullptr;
    switch (kind)
    {
    case 2:
        return CreateShapefileRecordSet(true, {}, readOnly, readOnlyEditable);
    case 11:
    case 12:
        return CreateTextFileRecordSet(true, {}, {}, {}, {}, {}, false, false);
    case 13:
        return CreateCorvellRecordSet(true, {}, readOnly, readOnlyEditable);
    case 16:
        return CreateGisLayerRecordSet(true, {}, {}, readOnly, readOnlyEditable);
    default:
        break;
    }
    if (entry->XYZ)
        return CreateBorlandXYZRecordSet(true, entry->Driver, {}, {}, {}, {}, {}, {}, {}, readOnly,
                                         readOnlyEditable, entry->CachedUpdates, {});
    return CreateBorlandRecordSet(true, entry->Driver, {}, {}, {}, {}, readOnly, readOnlyEditable,
                                  entry->CachedUpdates, {});
}

std::unique_ptr<GRecordSet> CreateRecordSet(bool readOnly, bool readOnlyEditable,
                                            const std::string& caption)
{
    std::uint8_t kind = 1;
    {
        TfrmRecordSetDataSource chooser(QApplication::activeWindow());
        chooser.setWindowTitle(QString::fromStdString(caption));
        if (chooser.exec() != QDialog::Accepted)
            return nullptr;
        kind = chooser.DataSourceKind();
    }
    return CreateRecordSetOfKind(kind, readOnly, readOnlyEditable);
}

} // namespace quorvalis
