#include "forms/DataSourceDialogs.h"

#include "database/BorlandDatabase.h"
#include "database/CorvellDatabase.h"
#include "database/GisLayerDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "forms/FormBorlandDataSource.h"
#include "forms/FormCorvellDataSource.h"
#include "forms/FormGisLayerDataSource.h"
#include "forms/FormShapefileDataSource.h"
#include "forms/FormTextFileDataSource.h"

namespace quorvalis
{

void InstallDataSourceDialogs()
{
    SetShapefileDataSourceDialog(ShowShapefileDataSourceDialog);
    SetTextFileDataSourceDialog(ShowTextFileDataSourceDialog);
    SetCorvellDataSourceDialog(ShowCorvellDataSourceDialog);
    SetBorlandDataSourceDialog(ShowBorlandDataSourceDialog);
    SetGisLayerDataSourceDialog(ShowGisLayerDataSourceDialog);
}

void RemoveDataSourceDialogs()
{
    SetShapefileDataSourceDialog({});
    SetTextFileDataSourceDialog({});
    SetCorvellDataSourceDialog({});
    SetBorlandDataSourceDialog({});
    SetGisLayerDataSourceDialog({});
}

} // namespace quorvalis
