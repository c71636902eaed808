// The data source dialog of GIS layers: a dataset (a GIS file or a PostGIS connection string) and
// one of its layers with geometry.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmGisLayerDataSource;
}

namespace quorvalis
{

struct GGisLayerDataSourceSettings;

/// "GIS Layer DataSource": the dataset edit (a file path or "PG:..." connection string) with its
/// browse button ("GIS Datasets...") and "List Layers", the list of the dataset's layers with
/// geometry (name, geometry type, features, coordinate system), the read-only box, Ok and Cancel.
/// Browsing to a file, or pressing "List Layers", lists the layers; a dataset that cannot be read
/// is named in an error box. Ok without a chosen layer says "You must select a layer with
/// geometry!" and the dialog stays open.
class TfrmGisLayerDataSource : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmGisLayerDataSource(QWidget* parent = nullptr);
    ~TfrmGisLayerDataSource() override;

    /// Shows the settings (listing the dataset's layers when one is given, and choosing the
    /// layer of that name).
    void SetSettings(const GGisLayerDataSourceSettings& settings);
    /// The settings as the dialog shows them.
    void GetSettings(GGisLayerDataSourceSettings& settings) const;
    /// Lists the layers of the dataset in the edit; false (after the error box) when it cannot
    /// be read.
    bool ListLayers();
    void accept() override;

private:
    void Browse();

    std::unique_ptr<Ui::TfrmGisLayerDataSource> ui_;
};

inline constexpr char kSelectLayerMessage[] = "You must select a layer with geometry!";

/// The factory's dialog: shows the settings, gives them back on Ok.
bool ShowGisLayerDataSourceDialog(GGisLayerDataSourceSettings& settings);

} // namespace quorvalis
