#include "forms/FormShapefileDataSource.h"

#include "database/ShapefileDatabase.h"
#include "ui_FormShapefileDataSource.h"

namespace quorvalis
{

TfrmShapefileDataSource::TfrmShapefileDataSource(QWidget* parent)
    : GFileDataSourceDialog(parent), ui_(std::make_unique<Ui::TfrmShapefileDataSource>())
{
    ui_->setupUi(this);
    Attach(ui_->pnlShapefileName, ui_->btnBrowse, ui_->cbReadOnly, ui_->btnOk, ui_->btnCancel,
           GFileDialog{.Title = "Shapefiles...",
                       .DefaultExtension = "shp",
                       .Filter = "Shapefiles (*.shp)|*.shp",
                       .FileName = {},
                       .OverwritePrompt = false,
                       .MustExist = true},
           kSelectValidShapefileMessage);
}

TfrmShapefileDataSource::~TfrmShapefileDataSource() = default;

bool ShowShapefileDataSourceDialog(GShapefileDataSourceSettings& settings)
{
    return ShowFileDataSourceDialog<TfrmShapefileDataSource>(settings);
}

} // namespace quorvalis
