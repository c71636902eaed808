// The data source dialog of shapefiles.
#pragma once

#include "forms/FileDataSourceDialog.h"

#include <memory>

namespace Ui
{
class TfrmShapefileDataSource;
}

namespace quorvalis
{

struct GShapefileDataSourceSettings;

/// "Shapefile DataSource": the file panel, its browse button ("Shapefiles..."), the read-only
/// box, Ok (focused) and Cancel. Ok without an existing file says "You must select a valid
/// shapefile!".
class TfrmShapefileDataSource : public GFileDataSourceDialog
{
    Q_OBJECT

public:
    explicit TfrmShapefileDataSource(QWidget* parent = nullptr);
    ~TfrmShapefileDataSource() override;

private:
    std::unique_ptr<Ui::TfrmShapefileDataSource> ui_;
};

inline constexpr char kSelectValidShapefileMessage[] = "You must select a valid shapefile!";

/// The factory's dialog: shows the settings, gives them back on Ok.
bool ShowShapefileDataSourceDialog(GShapefileDataSourceSettings& settings);

} // namespace quorvalis
