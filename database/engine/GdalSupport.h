// Internal to the engine: GDAL start-up, error capture, the dBase-only file view and the mapping
// between OGR columns and engine columns.
#pragma once

#include "database/engine/FieldDef.h"
#include "database/engine/Value.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class GDALDataset;
class OGRFeature;
class OGRLayer;
class OGRFieldDefn;
class OGRFeatureDefn;

namespace quorvalis::engine::gdal
{

/// Registers the drivers and the dBase view once per process.
void EnsureInitialised();

/// While alive, GDAL messages are kept from the console and the last one can be read.
class ErrorScope
{
public:
    ErrorScope();
    ~ErrorScope();
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;
    /// The last GDAL failure message, or fallback when GDAL reported none.
    static std::string LastError(const std::string& fallback = "unknown error");
};

struct DatasetCloser
{
    void operator()(GDALDataset* dataset) const;
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

/// UTF-8 form of a path, as GDAL takes file names.
std::string PathToUtf8(const std::filesystem::path& path);
std::filesystem::path Utf8ToPath(const std::string& text);

/// The name under which GDAL sees only the .dbf (and .cpg) of a file: the shapefile driver then
/// opens the attribute table alone and never touches a .shp or .shx beside it, which belong to
/// their own reader.
std::string DbfViewName(const std::filesystem::path& dbfPath);

/// Opens a dBase file through the view, for update when possible; raises EngineError.
DatasetPtr OpenDbf(const std::filesystem::path& dbfPath, bool& writable);
/// Creates (replacing) a dBase file with these columns, completely or not at all.
void CreateDbf(const std::filesystem::path& dbfPath, const std::vector<FieldDef>& fields);

/// The engine column of an OGR column.
Field FieldFromOgr(const OGRFieldDefn& definition);
/// The OGR column for a column definition; raises EngineError for a type no store can hold.
std::unique_ptr<OGRFieldDefn> OgrFromFieldDef(const FieldDef& definition);

struct FeatureDeleter
{
    void operator()(OGRFeature* feature) const;
};
using FeaturePtr = std::unique_ptr<OGRFeature, FeatureDeleter>;

/// The engine columns of a layer, in order.
std::vector<Field> LayerFields(OGRLayer& layer);
/// The values of a feature's first columns.
std::vector<Value> FeatureValues(const OGRFeature& feature, std::size_t columns);

/// Value of an OGR feature's column (null when unset or null).
Value ReadOgrValue(const OGRFeature& feature, int ogrIndex);
/// Stores a value (already coerced to the column) into an OGR feature's column.
void WriteOgrValue(OGRFeature& feature, int ogrIndex, const Value& value);

} // namespace quorvalis::engine::gdal
