#include "database/GisLayerDatabase.h"

#include "database/BorlandDatabase.h"
#include "database/DataSourceDialog.h"
#include "database/SidecarFiles.h"
#include "database/engine/GdalSupport.h"
#include "database/engine/Text.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <cpl_conv.h>

#include <filesystem>
#include <limits>
#include <map>
#include <utility>

namespace quorvalis
{

namespace
{

namespace gdal = engine::gdal;

using DialogHook = GDataSourceDialogHook<GGisLayerDataSourceSettings>;

bool IsConnectionString(const std::string& dataset)
{
    return engine::UpperCase(dataset.substr(0, 3)) == "PG:";
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// The dataset for messages, with "layer NAME" after it.
std::string LayerText(const std::string& dataset, const std::string& layer)
{
    return Quoted(GisDatasetDisplayName(dataset)) + " layer " + Quoted(layer);
}

std::string FeatureText(const std::string& dataset, const std::string& layer, GIntBig fid)
{
    return LayerText(dataset, layer) + ", feature " + std::to_string(fid);
}

gdal::DatasetPtr OpenVector(const std::string& dataset, bool update)
{
    const unsigned flags = GDAL_OF_VECTOR | (update ? GDAL_OF_UPDATE : GDAL_OF_READONLY);
    return gdal::DatasetPtr(GDALDataset::Open(dataset.c_str(), flags, nullptr, nullptr, nullptr));
}

const char* DriverName(GDALDataset& dataset)
{
    GDALDriver* driver = dataset.GetDriver();
    return driver != nullptr ? driver->GetDescription() : "unknown";
}

// ---- geometries to shapes ----------------------------------------------------------------------

std::unique_ptr<GPoint> VertexOf(const OGRSimpleCurve& curve, int i)
{
    return std::make_unique<GPoint>(curve.getX(i), curve.getY(i),
                                    curve.Is3D() ? curve.getZ(i) : 0.0,
                                    curve.IsMeasured() ? curve.getM(i) : 0.0);
}

std::unique_ptr<GPointList> PartOf(const OGRSimpleCurve& curve)
{
    auto part = std::make_unique<GPointList>();
    part->Reserve(curve.getNumPoints());
    for (int i = 0; i < curve.getNumPoints(); ++i)
        part->Add(VertexOf(curve, i));
    return part;
}

void AddRings(const OGRPolygon& polygon, GPolygon& shape)
{
    for (const OGRLinearRing* ring : polygon)
        shape.Parts.Add(PartOf(*ring));
}

// The shape of a geometry, nullptr for an empty one; throws what for a type that is not handled.
std::unique_ptr<GShape> ShapeOf(const OGRGeometry& geometry, const std::string& what)
{
    if (geometry.IsEmpty())
        return nullptr;
    switch (wkbFlatten(geometry.getGeometryType()))
    {
    case wkbPoint:
    {
        const OGRPoint& point = *geometry.toPoint();
        return std::make_unique<GPoint>(point.getX(), point.getY(),
                                        point.Is3D() ? point.getZ() : 0.0,
                                        point.IsMeasured() ? point.getM() : 0.0);
    }
    case wkbMultiPoint:
    {
        auto shape = std::make_unique<GPoints>();
        for (const OGRPoint* point : *geometry.toMultiPoint())
        {
            if (point->IsEmpty())
                throw GDatabaseException(what + ": a multipoint holds an empty point, which has "
                                                "no coordinates to transform");
            shape->Points.Add(std::make_unique<GPoint>(point->getX(), point->getY(),
                                                       point->Is3D() ? point->getZ() : 0.0,
                                                       point->IsMeasured() ? point->getM() : 0.0));
        }
        return shape;
    }
    case wkbLineString:
    {
        auto shape = std::make_unique<GLine>();
        shape->Parts.Add(PartOf(*geometry.toLineString()));
        return shape;
    }
    case wkbMultiLineString:
    {
        auto shape = std::make_unique<GLine>();
        for (const OGRLineString* line : *geometry.toMultiLineString())
            shape->Parts.Add(PartOf(*line));
        return shape;
    }
    case wkbPolygon:
    {
        auto shape = std::make_unique<GPolygon>();
        AddRings(*geometry.toPolygon(), *shape);
        return shape;
    }
    case wkbMultiPolygon:
    {
        auto shape = std::make_unique<GPolygon>();
        for (const OGRPolygon* polygon : *geometry.toMultiPolygon())
            AddRings(*polygon, *shape);
        return shape;
    }
    default:
        throw GDatabaseException(what + ": a geometry of the type " +
                                 OGRGeometryTypeToName(geometry.getGeometryType()) +
                                 ", which this program does not transform (points, lines, "
                                 "polygons and their multi forms are)");
    }
}

// ---- shapes back into geometries ---------------------------------------------------------------

// Hands out the vertices of a shape in flat order.
class VertexWalk
{
public:
    explicit VertexWalk(const GShape& shape)
    {
        shape.ForEachPoint([this](const GPoint& point) { points_.push_back(&point); });
    }
    const GPoint* Next() { return next_ < points_.size() ? points_[next_++] : nullptr; }
    bool Done() const { return next_ == points_.size(); }

private:
    std::vector<const GPoint*> points_;
    std::size_t next_ = 0;
};

// Gives the vertices of the geometry the X and Y of the shape's, in the order ShapeOf reads them;
// Z and M stay as stored. False when the shape has fewer vertices.
bool MoveCurve(OGRSimpleCurve& curve, VertexWalk& walk)
{
    for (int i = 0; i < curve.getNumPoints(); ++i)
    {
        const GPoint* vertex = walk.Next();
        if (vertex == nullptr)
            return false;
        curve.setPoint(i, vertex->X, vertex->Y); // leaves the vertex's Z and M alone
    }
    return true;
}

bool MoveGeometry(OGRGeometry& geometry, VertexWalk& walk)
{
    switch (wkbFlatten(geometry.getGeometryType()))
    {
    case wkbPoint:
    {
        const GPoint* vertex = walk.Next();
        if (vertex == nullptr)
            return false;
        geometry.toPoint()->setX(vertex->X);
        geometry.toPoint()->setY(vertex->Y);
        return true;
    }
    case wkbLineString:
        return MoveCurve(*geometry.toLineString(), walk);
    case wkbPolygon:
        for (OGRLinearRing* ring : *geometry.toPolygon())
            if (!MoveCurve(*ring, walk))
                return false;
        return true;
    case wkbMultiPoint:
    case wkbMultiLineString:
    case wkbMultiPolygon:
        for (OGRGeometry* member : *geometry.toGeometryCollection())
            if (!MoveGeometry(*member, walk))
                return false;
        return true;
    default:
        return false;
    }
}

} // namespace

// ---- listing ----------------------------------------------------------------------------------

std::string GisDatasetDisplayName(const std::string& dataset)
{
    if (!IsConnectionString(dataset))
        return dataset;
    // "PG:host=... password=secret user=..." (a quoted value may hold spaces).
    std::string shown;
    std::size_t i = 0;
    while (i < dataset.size())
    {
        const std::size_t start = i;
        bool quoted = false;
        while (i < dataset.size() && (quoted || dataset[i] != ' '))
        {
            if (dataset[i] == '\'')
                quoted = !quoted;
            ++i;
        }
        std::string token = dataset.substr(start, i - start);
        const std::string key = engine::UpperCase(token.substr(0, token.find('=')));
        if (key != "PASSWORD" && key != "PG:PASSWORD")
            shown += (shown.empty() || shown.back() == ' ' ? "" : " ") + token;
        while (i < dataset.size() && dataset[i] == ' ')
            ++i;
    }
    return shown;
}

std::vector<GGisLayerInfo> ListGisLayers(const std::string& dataset)
{
    gdal::EnsureInitialised();
    const gdal::ErrorScope errors;
    gdal::DatasetPtr opened = OpenVector(dataset, false);
    if (!opened)
        throw GDatabaseException("Unable to open the GIS dataset " +
                                 Quoted(GisDatasetDisplayName(dataset)) + ": " +
                                 gdal::ErrorScope::LastError("GDAL cannot read it as vector data"));
    std::vector<GGisLayerInfo> layers;
    for (OGRLayer* layer : opened->GetLayers())
    {
        if (layer->GetLayerDefn()->GetGeomFieldCount() == 0)
            continue;
        GGisLayerInfo info;
        info.Name = layer->GetName();
        info.GeometryType = OGRGeometryTypeToName(layer->GetGeomType());
        info.FeatureCount = layer->GetFeatureCount(FALSE);
        if (const OGRSpatialReference* system = layer->GetSpatialRef())
            if (const char* name = system->GetName())
                info.CoordinateSystem = name;
        layers.push_back(std::move(info));
    }
    return layers;
}

// ---- the record set ---------------------------------------------------------------------------

struct GGisLayerRecordSet::State
{
    gdal::DatasetPtr Dataset;
    OGRLayer* Layer = nullptr;
    std::vector<engine::Field> Fields;
    std::vector<GIntBig> Fids;
    std::vector<std::unique_ptr<GShape>> Shapes;
    std::vector<std::vector<engine::Value>> Values;
    // Shapes posted for the flush, by record index.
    std::map<std::int32_t, std::unique_ptr<GShape>> Posted;
    std::optional<GDeclaredSystem> Declared;
};

GGisLayerRecordSet::GGisLayerRecordSet() = default;

GGisLayerRecordSet::~GGisLayerRecordSet()
{
    AbandonEdit();
    Close();
}

void GGisLayerRecordSet::SetDataset(const std::string& dataset)
{
    CheckInactive();
    dataset_ = dataset;
}

void GGisLayerRecordSet::SetLayerName(const std::string& layerName)
{
    CheckInactive();
    layerName_ = layerName;
}

void GGisLayerRecordSet::SetReadOnly(bool value)
{
    GRecordSet::SetReadOnly(value);
    readOnly_ = value;
}

bool GGisLayerRecordSet::DoOpen()
{
    openFailure_.clear();
    notices_.clear();
    gdal::EnsureInitialised();
    const gdal::ErrorScope errors;
    auto state = std::make_unique<State>();
    const std::string display = Quoted(GisDatasetDisplayName(dataset_));
    state->Dataset = OpenVector(dataset_, !readOnly_);
    if (!state->Dataset && !readOnly_)
    {
        // Readable but not for update: a format GDAL only reads or writes anew.
        if (gdal::DatasetPtr readable = OpenVector(dataset_, false))
            throw GDatabaseException(
                "GDAL cannot update the GIS dataset " + display + " in place (driver " +
                DriverName(*readable) +
                "), so it cannot be transformed; copy it into a GeoPackage first (ogr2ogr -f "
                "GPKG) and transform that");
    }
    if (!state->Dataset)
    {
        openFailure_ = "Unable to open the GIS dataset " + display + ": " +
                       gdal::ErrorScope::LastError("GDAL cannot read it as vector data");
        return false;
    }
    GDALDataset& dataset = *state->Dataset;
    // All or nothing needs a transaction of the dataset's own (GDAL's emulated ones copy files
    // around without being safe against a crash).
    if (!dataset.TestCapability(ODsCTransactions))
        throw GDatabaseException(
            "GDAL cannot update the GIS dataset " + display + " (driver " + DriverName(dataset) +
            ") in place in one transaction, so a failed run could leave it half transformed; it "
            "is not transformed. Copy it into a GeoPackage first (ogr2ogr -f GPKG) and transform "
            "that" +
            (std::string(DriverName(dataset)) == "ESRI Shapefile"
                 ? std::string(", or open it as a shapefile")
                 : std::string()));
    state->Layer = dataset.GetLayerByName(layerName_.c_str());
    if (state->Layer == nullptr)
    {
        std::string names;
        for (OGRLayer* layer : dataset.GetLayers())
            if (layer->GetLayerDefn()->GetGeomFieldCount() > 0)
                names += (names.empty() ? "" : ", ") + Quoted(layer->GetName());
        throw GDatabaseException(display + " has no layer " + Quoted(layerName_) +
                                 (names.empty() ? "; it has no layer with geometry"
                                                : "; its layers with geometry are " + names));
    }
    OGRLayer& layer = *state->Layer;
    if (layer.GetLayerDefn()->GetGeomFieldCount() == 0)
        throw GDatabaseException(LayerText(dataset_, layerName_) +
                                 " has no geometry column, so it has nothing to transform");
    if (!readOnly_ && !layer.TestCapability(OLCRandomWrite))
        throw GDatabaseException("GDAL cannot update the features of " +
                                 LayerText(dataset_, layerName_) + " (driver " +
                                 DriverName(dataset) + ") in place, so it cannot be transformed");

    if (const OGRSpatialReference* system = layer.GetSpatialRef())
    {
        GDeclaredSystem declared;
        declared.Source = GisDatasetDisplayName(dataset_) + ", layer " + layerName_;
        char* wkt = nullptr;
        if (system->exportToWkt(&wkt) == OGRERR_NONE && wkt != nullptr)
            RecogniseSystem(wkt, declared);
        CPLFree(wkt);
        state->Declared = declared;
    }

    state->Fields = gdal::LayerFields(layer);
    layer.ResetReading();
    while (gdal::FeaturePtr feature{layer.GetNextFeature()})
    {
        if (state->Fids.size() >=
            static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
            throw GDatabaseException(LayerText(dataset_, layerName_) +
                                     " has more features than a record set can hold");
        const GIntBig fid = feature->GetFID();
        const OGRGeometry* geometry = feature->GetGeomFieldRef(0);
        state->Shapes.push_back(
            geometry ? ShapeOf(*geometry, FeatureText(dataset_, layerName_, fid)) : nullptr);
        state->Fids.push_back(fid);
        state->Values.push_back(gdal::FeatureValues(*feature, state->Fields.size()));
    }
    if (const std::string error = gdal::ErrorScope::LastError("");
        CPLGetLastErrorType() >= CE_Failure)
        throw GDatabaseException("Unable to read " + LayerText(dataset_, layerName_) + ": " +
                                 error);
    state_ = std::move(state);
    return true;
}

void GGisLayerRecordSet::DoClose()
{
    pendingShape_.reset();
    state_.reset();
}

void GGisLayerRecordSet::DoLoadFields()
{
    Fields().Clear();
    const bool readOnly = true; // attributes are read only here
    for (std::size_t i = 0; i < state_->Fields.size(); ++i)
    {
        const engine::Field& column = state_->Fields[i];
        const GFieldType type = FieldTypeOfEngine(column.Type);
        Fields().Add(std::make_unique<GField>(
            *this, static_cast<std::int32_t>(i),
            std::make_unique<GFieldDefinition>(
                column.Name, type, type == fdtString ? column.DataSize : 0, column.Required),
            readOnly));
    }
}

std::int32_t GGisLayerRecordSet::DoGetRecordCount()
{
    return state_ ? static_cast<std::int32_t>(state_->Fids.size()) : 0;
}

GVariant GGisLayerRecordSet::GetFieldValue(std::int32_t index)
{
    if (!state_ || RecordIndex() >= static_cast<std::int32_t>(state_->Values.size()))
        return {};
    const auto& values = state_->Values[static_cast<std::size_t>(RecordIndex())];
    if (index < 0 || static_cast<std::size_t>(index) >= values.size())
        throw GDatabaseException("Field index " + std::to_string(index) + " out of range");
    return values[static_cast<std::size_t>(index)];
}

std::string GGisLayerRecordSet::GetFieldAsString(std::int32_t index)
{
    return GetFieldValue(index).AsString();
}

void GGisLayerRecordSet::SetFieldValue(std::int32_t index, const GVariant& value)
{
    GRecordSet::SetFieldValue(index, value);
    throw GDatabaseException("The attributes of " + LayerText(dataset_, layerName_) +
                             " cannot be changed here: only its geometries are transformed");
}

void GGisLayerRecordSet::SetFieldAsString(std::int32_t index, const std::string& text)
{
    SetFieldValue(index, GVariant(text));
}

std::unique_ptr<GShape> GGisLayerRecordSet::GetShapeAt(std::int32_t recordIndex)
{
    GRecordSet::GetShapeAt(recordIndex);
    if (!state_ || recordIndex < 0 ||
        recordIndex >= static_cast<std::int32_t>(state_->Shapes.size()))
        return nullptr;
    const auto posted = state_->Posted.find(recordIndex);
    const GShape* shape = posted != state_->Posted.end()
                              ? posted->second.get()
                              : state_->Shapes[static_cast<std::size_t>(recordIndex)].get();
    return shape ? shape->Duplicate() : nullptr;
}

std::unique_ptr<GShape> GGisLayerRecordSet::DoGetShape()
{
    return GetShapeAt(RecordIndex());
}

void GGisLayerRecordSet::DoSetShape(const GShape& shape)
{
    GRecordSet::DoSetShape(shape);
    pendingShape_ = shape.Duplicate();
}

void GGisLayerRecordSet::DoAppend()
{
    throw GDatabaseException("Records cannot be added to " + LayerText(dataset_, layerName_) +
                             " here: only its geometries are transformed");
}

void GGisLayerRecordSet::DoCancel()
{
    pendingShape_.reset();
}

void GGisLayerRecordSet::DoPost()
{
    if (!pendingShape_)
        return;
    const auto index = static_cast<std::size_t>(RecordIndex());
    const GShape* read = state_->Shapes[index].get();
    if (read == nullptr || !SameLayout(*read, *pendingShape_))
        throw GDatabaseException(
            FeatureText(dataset_, layerName_, state_->Fids[index]) +
            ": the shape posted has other parts or points than the feature's geometry; only the "
            "vertices of a geometry are moved here");
    GRecordSet::DoPost();
    state_->Posted[RecordIndex()] = std::move(pendingShape_);
}

std::vector<std::string> GGisLayerRecordSet::DataFiles() const
{
    std::error_code error;
    if (!IsConnectionString(dataset_) && std::filesystem::is_regular_file(dataset_, error))
        return {dataset_};
    return {};
}

std::vector<GDeclaredSystem> GGisLayerRecordSet::DeclaredSystems() const
{
    if (state_ && state_->Declared)
        return {*state_->Declared};
    return {};
}

void GGisLayerRecordSet::SetTargetDatum(std::uint8_t datum)
{
    targetDatum_ = datum;
}

std::vector<std::string> GGisLayerRecordSet::TakeNotices()
{
    return std::exchange(notices_, {});
}

void GGisLayerRecordSet::DoFlush()
{
    if (!state_ || readOnly_)
        return;
    State& state = *state_;
    OGRLayer& layer = *state.Layer;
    GDALDataset& dataset = *state.Dataset;
    const gdal::ErrorScope errors;

    // The declared system to write, decided before anything is.
    std::optional<OGRSpatialReference> newSystem;
    std::string notice;
    if (targetDatum_ && state.Declared)
    {
        const GDeclaredSystem& declared = *state.Declared;
        if (!declared.Datum || !declared.LocalOrigin)
            notice = LayerText(dataset_, layerName_) +
                     " declares a coordinate system that is neither Cape nor Hartebeesthoek94 / "
                     "Lo (" +
                     declared.Description + "); it was left as it is";
        else if (*declared.Datum != *targetDatum_)
        {
            newSystem.emplace();
            if (newSystem->importFromEPSG(LoSystemEpsg(*targetDatum_, *declared.LocalOrigin)) !=
                OGRERR_NONE)
                throw GDatabaseException(
                    "Unable to apply updates: GDAL does not know EPSG:" +
                    std::to_string(LoSystemEpsg(*targetDatum_, *declared.LocalOrigin)));
        }
    }
    if (state.Posted.empty() && !newSystem)
    {
        targetDatum_.reset();
        if (!notice.empty())
            notices_.push_back(notice);
        return;
    }

    // Only the geometry is read and written: the attributes stay exactly as stored.
    std::vector<const char*> ignored;
    for (const engine::Field& field : state.Fields)
        ignored.push_back(field.Name.c_str());
    ignored.push_back(nullptr);

    const auto fail = [&](const std::string& what)
    {
        const std::string reason = gdal::ErrorScope::LastError("no reason given");
        dataset.RollbackTransaction();
        layer.SetIgnoredFields(nullptr);
        throw GDatabaseException("Unable to apply updates: " + what + ": " + reason);
    };
    if (dataset.StartTransaction(FALSE) != OGRERR_NONE)
        throw GDatabaseException(
            "Unable to apply updates: " + LayerText(dataset_, layerName_) +
            ": a transaction cannot be started: " + gdal::ErrorScope::LastError("no reason given"));
    layer.SetIgnoredFields(ignored.data());
    for (const auto& [index, shape] : state.Posted)
    {
        const GIntBig fid = state.Fids[static_cast<std::size_t>(index)];
        const std::string what = FeatureText(dataset_, layerName_, fid);
        gdal::FeaturePtr feature{layer.GetFeature(fid)};
        if (!feature || feature->GetGeomFieldRef(0) == nullptr)
            fail(what + " is no longer there");
        OGRGeometry& geometry = *feature->GetGeomFieldRef(0);
        VertexWalk walk(*shape);
        if (!MoveGeometry(geometry, walk) || !walk.Done())
            fail(what + " has other parts or points than when it was read");
        if (layer.SetFeature(feature.get()) != OGRERR_NONE)
            fail(what);
    }
    layer.SetIgnoredFields(nullptr);
    // A GeoPackage keeps the layer's extent in its contents table; GDAL only ever grows it.
    if (std::string(DriverName(dataset)) == "GPKG")
    {
        CPLErrorReset();
        if (OGRLayer* result = dataset.ExecuteSQL(
                ("RECOMPUTE EXTENT ON " + std::string(layer.GetName())).c_str(), nullptr, nullptr))
            dataset.ReleaseResultSet(result);
        if (CPLGetLastErrorType() >= CE_Failure)
            fail(LayerText(dataset_, layerName_) + ": its extent cannot be recomputed");
    }
    if (newSystem)
    {
        OGRGeomFieldDefn definition(layer.GetLayerDefn()->GetGeomFieldDefn(0));
        definition.SetSpatialRef(&*newSystem);
        if (layer.AlterGeomFieldDefn(0, &definition, ALTER_GEOM_FIELD_DEFN_SRS_FLAG) != OGRERR_NONE)
            fail(LayerText(dataset_, layerName_) + ": its coordinate system cannot be changed");
    }
    if (dataset.CommitTransaction() != OGRERR_NONE)
        fail(LayerText(dataset_, layerName_));

    // The layer now holds what was posted.
    for (auto& [index, shape] : state.Posted)
        state.Shapes[static_cast<std::size_t>(index)] = std::move(shape);
    state.Posted.clear();
    if (newSystem)
    {
        state.Declared->Datum = targetDatum_;
        const char* name = newSystem->GetName();
        state.Declared->Description = name != nullptr ? name : "";
    }
    targetDatum_.reset();
    if (!notice.empty())
        notices_.push_back(notice);
}

void SetGisLayerDataSourceDialog(GGisLayerDataSourceDialog dialog)
{
    DialogHook::Instance().Install(std::move(dialog));
}

std::unique_ptr<GGisLayerRecordSet> CreateGisLayerRecordSet(bool showDialog,
                                                            const std::string& dataset,
                                                            const std::string& layerName,
                                                            bool readOnly, bool readOnlyEditable)
{
    GGisLayerDataSourceSettings settings{dataset, layerName, readOnly, readOnlyEditable};
    if (showDialog && !DialogHook::Instance().ShowKeepingReadOnly(settings))
        return nullptr;
    auto recordSet = std::make_unique<GGisLayerRecordSet>();
    recordSet->SetDataset(settings.Dataset);
    recordSet->SetLayerName(settings.LayerName);
    recordSet->SetReadOnly(settings.ReadOnly);
    return recordSet;
}

} // namespace quorvalis
