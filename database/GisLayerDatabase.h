// A layer of a GIS dataset as a record set: any GDAL vector dataset that GDAL can update in place
// within a transaction (a GeoPackage, a PostGIS database through a "PG:" connection string, a
// SQLite/SpatiaLite file), one of its layers with a geometry column.
//
// The shapes are the layer's geometries: points (GPoint), multipoints (GPoints), line strings and
// multi-line strings (GLine, one part per line string), polygons and multipolygons (GPolygon, one
// part per ring, the rings of each polygon in order, exterior first), each in its 2D, Z, M and ZM
// forms. Z and M come with the vertices; a feature without a geometry, or with an empty one, is a
// record without a shape. Other geometries (curves, surfaces, collections) are refused when read,
// naming the layer, the feature and the type.
//
// The features are read at open; posted shapes are held in memory until Flush, which writes them
// all in one transaction of the dataset: every changed feature gets the X and Y of its shape at
// its vertices while its Z and M stay exactly as stored, and with SetTargetDatum the layer's
// coordinate system follows the data when it is Cape / Lo NN or Hartebeesthoek94 / Lo NN. A
// failure or a kill at any moment leaves the layer as it was; nothing but the geometries (and the
// declared system) changes. Attributes are read only; records are neither added nor removed.
#pragma once

#include "database/Database.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvalis
{

/// One layer of a dataset that has a geometry column, as ListGisLayers reports it.
struct GGisLayerInfo
{
    std::string Name;
    /// GDAL's name of the geometry type ("Point", "3D Multi Line String", "Measured Polygon" ...).
    std::string GeometryType;
    /// Number of features, or -1 when the dataset does not know it without reading them all.
    std::int64_t FeatureCount = -1;
    /// The name of the layer's coordinate system, or empty.
    std::string CoordinateSystem;
};

/// The layers with a geometry column of dataset (a file path or a "PG:" connection string), in
/// the dataset's order. Raises GDatabaseException "Unable to open the GIS dataset ...: <GDAL's
/// reason>" when GDAL cannot open it as vector data. The password of a connection string never
/// appears in a message.
std::vector<GGisLayerInfo> ListGisLayers(const std::string& dataset);

/// The name of a dataset for messages: a connection string without its password.
std::string GisDatasetDisplayName(const std::string& dataset);

class GGisLayerRecordSet : public GRecordSet
{
public:
    GGisLayerRecordSet();
    ~GGisLayerRecordSet() override;

    /// The dataset (file path or "PG:" connection string) and the layer name; set while closed,
    /// otherwise GDatabaseException "You cannot change this property while the recordset is
    /// active".
    void SetDataset(const std::string& dataset);
    void SetLayerName(const std::string& layerName);
    const std::string& Dataset() const { return dataset_; }
    const std::string& LayerName() const { return layerName_; }

    GVariant GetFieldValue(std::int32_t index) override;
    std::string GetFieldAsString(std::int32_t index) override;
    /// Raises GDatabaseException: a GIS layer's attributes are not changed here.
    void SetFieldValue(std::int32_t index, const GVariant& value) override;
    void SetFieldAsString(std::int32_t index, const std::string& text) override;
    /// A copy of the shape of the record, with its Z and M, or nullptr.
    std::unique_ptr<GShape> GetShapeAt(std::int32_t recordIndex) override;

    bool GetReadOnly() override { return readOnly_; }
    void SetReadOnly(bool value) override;

    /// A GeoPackage or other file dataset: its file; a server: none.
    std::vector<std::string> DataFiles() const override;
    /// What the layer's coordinate system is (when it has one), Source naming the dataset and
    /// the layer.
    std::vector<GDeclaredSystem> DeclaredSystems() const override;
    std::string OpenFailure() const override { return openFailure_; }
    /// The next Flush makes a recognised coordinate system of the layer the same Lo on datum,
    /// in the same transaction as the geometries.
    void SetTargetDatum(std::uint8_t datum) override;
    std::vector<std::string> TakeNotices() override;

protected:
    /// Opens the dataset (for update unless read-only) and reads every feature. Raises
    /// GDatabaseException when the dataset cannot be updated in place within a transaction
    /// (saying so and naming GDAL's driver), when the layer does not exist or has no geometry
    /// column, or for a geometry of a type that is not handled; false (OpenFailure tells why)
    /// when GDAL cannot open the dataset.
    bool DoOpen() override;
    void DoClose() override;
    void DoLoadFields() override;
    std::int32_t DoGetRecordCount() override;
    bool DoHasSpatialComponent() override { return true; }
    std::unique_ptr<GShape> DoGetShape() override;
    /// Keeps a copy of the shape until the post.
    void DoSetShape(const GShape& shape) override;
    /// Raises GDatabaseException: records are not added to a GIS layer here.
    void DoAppend() override;
    void DoCancel() override;
    /// Keeps the shape set for the record for the flush; a shape whose parts or points differ
    /// from the record's geometry is refused (only vertices move).
    void DoPost() override;
    /// Writes every posted shape (and the coordinate system) in one transaction; on any failure
    /// the transaction is rolled back and GDatabaseException "Unable to apply updates" with the
    /// layer, the feature and the reason is raised.
    void DoFlush() override;

private:
    struct State;
    std::string dataset_;
    std::string layerName_;
    bool readOnly_ = false;
    std::string openFailure_;
    std::optional<std::uint8_t> targetDatum_;
    std::vector<std::string> notices_;
    std::unique_ptr<State> state_;
    std::unique_ptr<GShape> pendingShape_;
};

/// What the GIS layer data-source dialog shows and gives back.
struct GGisLayerDataSourceSettings
{
    std::string Dataset;
    std::string LayerName;
    bool ReadOnly = false;
    /// Whether the user may change ReadOnly.
    bool ReadOnlyEditable = true;
};

using GGisLayerDataSourceDialog = std::function<bool(GGisLayerDataSourceSettings& settings)>;
/// Installs the dialog CreateGisLayerRecordSet shows; an empty function removes it.
void SetGisLayerDataSourceDialog(GGisLayerDataSourceDialog dialog);

/// A configured, unopened GIS layer record set, or nullptr when the dialog was cancelled (or
/// there is no dialog).
std::unique_ptr<GGisLayerRecordSet> CreateGisLayerRecordSet(bool showDialog,
                                                            const std::string& dataset,
                                                            const std::string& layerName,
                                                            bool readOnly, bool readOnlyEditable);

} // namespace quorvalis
