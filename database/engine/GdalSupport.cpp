#include "database/engine/GdalSupport.h"

#include "database/engine/Text.h"
#include "geometry/Platform.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <random>

namespace quorvalis::engine::gdal
{

namespace
{

constexpr char kViewPrefix[] = "/vsiquorvalisdbf/";

// The view admits the attribute file and its code page file only; everything else beside it
// (.shp, .shx, indexes) does not exist for GDAL.
bool AdmittedByView(const char* name)
{
    const char* extension = CPLGetExtension(name);
    return EqualsNoCase(extension, "DBF") || EqualsNoCase(extension, "CPG");
}

// GDAL hands the callbacks the name after the prefix; older releases passed it whole.
const char* RealName(const char* name)
{
    const std::size_t prefix = sizeof(kViewPrefix) - 1;
    return std::strncmp(name, kViewPrefix, prefix) == 0 ? name + prefix : name;
}

int ViewStat(void*, const char* name, VSIStatBufL* buffer, int flags)
{
    if (!AdmittedByView(name))
        return -1;
    return VSIStatExL(RealName(name), buffer, flags);
}

int ViewUnlink(void*, const char* name)
{
    if (!AdmittedByView(name))
        return -1;
    return VSIUnlink(RealName(name));
}

int ViewRename(void*, const char* from, const char* to)
{
    if (!AdmittedByView(from) || !AdmittedByView(to))
        return -1;
    return VSIRename(RealName(from), RealName(to));
}

// Packing a file after deletions looks its name up in the listing of its directory.
char** ViewReadDir(void*, const char* directory, int maxFiles)
{
    char** entries = VSIReadDirEx(RealName(directory), maxFiles);
    CPLStringList admitted;
    for (char** entry = entries; entry != nullptr && *entry != nullptr; ++entry)
        if (AdmittedByView(*entry))
            admitted.AddString(*entry);
    CSLDestroy(entries);
    return admitted.StealList();
}

void* ViewOpen(void*, const char* name, const char* access)
{
    if (!AdmittedByView(name))
    {
        errno = ENOENT;
        return nullptr;
    }
    return VSIFOpenL(RealName(name), access);
}

vsi_l_offset ViewTell(void* file)
{
    return VSIFTellL(static_cast<VSILFILE*>(file));
}

int ViewSeek(void* file, vsi_l_offset offset, int whence)
{
    return VSIFSeekL(static_cast<VSILFILE*>(file), offset, whence);
}

size_t ViewRead(void* file, void* buffer, size_t size, size_t count)
{
    return VSIFReadL(buffer, size, count, static_cast<VSILFILE*>(file));
}

int ViewEof(void* file)
{
    return VSIFEofL(static_cast<VSILFILE*>(file));
}

size_t ViewWrite(void* file, const void* buffer, size_t size, size_t count)
{
    return VSIFWriteL(buffer, size, count, static_cast<VSILFILE*>(file));
}

int ViewFlush(void* file)
{
    return VSIFFlushL(static_cast<VSILFILE*>(file));
}

int ViewTruncate(void* file, vsi_l_offset size)
{
    return VSIFTruncateL(static_cast<VSILFILE*>(file), size);
}

int ViewClose(void* file)
{
    return VSIFCloseL(static_cast<VSILFILE*>(file));
}

void InstallView()
{
    VSIFilesystemPluginCallbacksStruct* callbacks = VSIAllocFilesystemPluginCallbacksStruct();
    callbacks->stat = ViewStat;
    callbacks->unlink = ViewUnlink;
    callbacks->rename = ViewRename;
    callbacks->read_dir = ViewReadDir;
    callbacks->open = ViewOpen;
    callbacks->tell = ViewTell;
    callbacks->seek = ViewSeek;
    callbacks->read = ViewRead;
    callbacks->eof = ViewEof;
    callbacks->write = ViewWrite;
    callbacks->flush = ViewFlush;
    callbacks->truncate = ViewTruncate;
    callbacks->close = ViewClose;
    VSIInstallPluginHandler(kViewPrefix, callbacks);
    VSIFreeFilesystemPluginCallbacksStruct(callbacks);
}

} // namespace

void EnsureInitialised()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       GDALAllRegister();
                       // Rows are written by single statements so that a failing row is reported
                       // at once and a rolled-back transaction leaves nothing buffered.
                       CPLSetConfigOption("PG_USE_COPY", "NO");
                       InstallView();
                   });
}

ErrorScope::ErrorScope()
{
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
}

ErrorScope::~ErrorScope()
{
    CPLPopErrorHandler();
}

std::string ErrorScope::LastError(const std::string& fallback)
{
    const char* message = CPLGetLastErrorMsg();
    if (message == nullptr || *message == '\0')
        return fallback;
    return message;
}

void DatasetCloser::operator()(GDALDataset* dataset) const
{
    if (dataset != nullptr)
    {
        ErrorScope scope;
        GDALClose(GDALDataset::ToHandle(dataset));
    }
}

std::string PathToUtf8(const std::filesystem::path& path)
{
    return platform::Utf8FromPath(path);
}

std::filesystem::path Utf8ToPath(const std::string& text)
{
    return platform::PathFromUtf8(text);
}

std::string DbfViewName(const std::filesystem::path& dbfPath)
{
    return kViewPrefix + PathToUtf8(std::filesystem::absolute(dbfPath).lexically_normal());
}

DatasetPtr OpenDbf(const std::filesystem::path& dbfPath, bool& writable)
{
    EnsureInitialised();
    ErrorScope scope;
    const std::string name = DbfViewName(dbfPath);
    const char* drivers[] = {"ESRI Shapefile", nullptr};
    // Deleted rows are packed away when the file is closed, as a shapefile's attribute file
    // must hold exactly one row per shape.
    const char* options[] = {"AUTO_REPACK=YES", nullptr};
    GDALDataset* dataset = GDALDataset::FromHandle(
        GDALOpenEx(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, options, nullptr));
    writable = dataset != nullptr;
    if (dataset == nullptr)
        dataset = GDALDataset::FromHandle(
            GDALOpenEx(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, options, nullptr));
    if (dataset == nullptr || dataset->GetLayerCount() != 1)
    {
        DatasetPtr discard(dataset);
        throw EngineError("Cannot open the dBase file '" + PathToUtf8(dbfPath) +
                          "': " + ErrorScope::LastError("not a dBase file"));
    }
    return DatasetPtr(dataset);
}

void CreateDbf(const std::filesystem::path& dbfPath, const std::vector<FieldDef>& fields)
{
    EnsureInitialised();
    ErrorScope scope;
    namespace fs = std::filesystem;
    const fs::path target = fs::absolute(dbfPath).lexically_normal();
    const fs::path folder = target.parent_path();
    std::random_device random;
    const std::string stem = "quorvalis_tmp_" + std::to_string(random() % 1000000000u);
    const fs::path temporary = folder / (stem + ".dbf");
    const fs::path temporaryCpg = folder / (stem + ".cpg");

    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    if (driver == nullptr)
        throw EngineError("The dBase driver is not available");
    const std::string name = DbfViewName(temporary);
    auto remove = [&]
    {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        fs::remove(temporaryCpg, ignored);
    };
    {
        DatasetPtr dataset(driver->Create(name.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!dataset)
            throw EngineError("Cannot create the dBase file '" + PathToUtf8(target) +
                              "': " + ErrorScope::LastError());
        // Every refusal below is worded before the dataset closes (closing may replace GDAL's
        // last message); the half-made file then goes.
        try
        {
            const char* layerOptions[] = {"ENCODING=UTF-8", nullptr};
            OGRLayer* layer = dataset->CreateLayer(stem.c_str(), nullptr, wkbNone,
                                                   const_cast<char**>(layerOptions));
            if (layer == nullptr)
                throw EngineError("Cannot create the dBase file '" + PathToUtf8(target) +
                                  "': " + ErrorScope::LastError());
            for (const FieldDef& field : fields)
            {
                const std::unique_ptr<OGRFieldDefn> definition = OgrFromFieldDef(field);
                if (field.Type == ftBlob || field.Type == ftBytes || field.Type == ftVarBytes ||
                    field.Type == ftGraphic || field.Type == ftMemo || field.Type == ftFmtMemo)
                    throw EngineError("A dBase file cannot hold the " +
                                      std::string(FieldTypeName(field.Type)) + " column '" +
                                      field.Name + "'");
                if (field.Name.size() > 10)
                    throw EngineError("The column name '" + field.Name +
                                      "' is longer than the 10 characters a dBase file allows");
                if (layer->CreateField(definition.get(), FALSE) != OGRERR_NONE)
                    throw EngineError("Cannot create the column '" + field.Name +
                                      "': " + ErrorScope::LastError());
            }
            if (layer->SyncToDisk() != OGRERR_NONE)
                throw EngineError("Cannot write the dBase file '" + PathToUtf8(target) +
                                  "': " + ErrorScope::LastError());
        }
        catch (...)
        {
            dataset.reset();
            remove();
            throw;
        }
    }
    std::error_code error;
    fs::rename(temporary, target, error);
    if (error)
    {
        remove();
        throw EngineError("Cannot replace '" + PathToUtf8(target) + "': " + error.message());
    }
    fs::path targetCpg = target;
    targetCpg.replace_extension(".cpg");
    if (fs::exists(temporaryCpg))
        fs::rename(temporaryCpg, targetCpg, error);
    else
        fs::remove(targetCpg, error);
}

Field FieldFromOgr(const OGRFieldDefn& definition)
{
    Field field;
    field.Name = definition.GetNameRef();
    field.Required = !definition.IsNullable();
    switch (definition.GetType())
    {
    case OFTInteger:
        if (definition.GetSubType() == OFSTBoolean)
            field.Type = ftBoolean;
        else if (definition.GetSubType() == OFSTInt16)
            field.Type = ftSmallint;
        else
            field.Type = ftInteger;
        break;
    case OFTInteger64:
        field.Type = ftInteger;
        field.DataSize = 8;
        break;
    case OFTReal:
        field.Type = ftFloat;
        break;
    case OFTString:
        if (definition.GetWidth() > 0)
        {
            field.Type = ftString;
            field.Size = definition.GetWidth();
        }
        else
            field.Type = ftMemo;
        break;
    case OFTDate:
        field.Type = ftDate;
        break;
    case OFTTime:
        field.Type = ftTime;
        break;
    case OFTDateTime:
        field.Type = ftDateTime;
        break;
    case OFTBinary:
        field.Type = ftBlob;
        break;
    default:
        field.Type = ftUnknown;
        break;
    }
    if (field.DataSize == 0)
        field.DataSize = DataSizeOf(field.Type, field.Size);
    return field;
}

std::unique_ptr<OGRFieldDefn> OgrFromFieldDef(const FieldDef& definition)
{
    OGRFieldType type = OFTString;
    OGRFieldSubType subType = OFSTNone;
    int width = 0;
    switch (definition.Type)
    {
    case ftString:
        type = OFTString;
        width = definition.Size > 0 ? definition.Size : 0;
        break;
    case ftSmallint:
        type = OFTInteger;
        subType = OFSTInt16;
        break;
    case ftInteger:
    case ftWord:
    case ftAutoInc:
        type = OFTInteger;
        break;
    case ftBoolean:
        type = OFTInteger;
        subType = OFSTBoolean;
        break;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
        type = OFTReal;
        break;
    case ftDate:
        type = OFTDate;
        break;
    case ftTime:
        type = OFTTime;
        break;
    case ftDateTime:
        type = OFTDateTime;
        break;
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
        type = OFTBinary;
        break;
    case ftMemo:
    case ftFmtMemo:
        type = OFTString;
        break;
    case ftUnknown:
        throw EngineError("The column '" + definition.Name + "' has no type a table can hold");
    }
    if (definition.Name.empty())
        throw EngineError("A column needs a name");
    auto result = std::make_unique<OGRFieldDefn>(definition.Name.c_str(), type);
    result->SetSubType(subType);
    result->SetWidth(width);
    result->SetNullable(!definition.Required);
    return result;
}

void FeatureDeleter::operator()(OGRFeature* feature) const
{
    OGRFeature::DestroyFeature(feature);
}

std::vector<Field> LayerFields(OGRLayer& layer)
{
    std::vector<Field> fields;
    OGRFeatureDefn* definition = layer.GetLayerDefn();
    for (int i = 0; i < definition->GetFieldCount(); ++i)
        fields.push_back(FieldFromOgr(*definition->GetFieldDefn(i)));
    return fields;
}

std::vector<Value> FeatureValues(const OGRFeature& feature, std::size_t columns)
{
    std::vector<Value> row;
    row.reserve(columns);
    for (std::size_t i = 0; i < columns; ++i)
        row.push_back(ReadOgrValue(feature, static_cast<int>(i)));
    return row;
}

Value ReadOgrValue(const OGRFeature& feature, int ogrIndex)
{
    if (!feature.IsFieldSetAndNotNull(ogrIndex))
        return Value::Null();
    const OGRFieldDefn* definition = feature.GetFieldDefnRef(ogrIndex);
    switch (definition->GetType())
    {
    case OFTInteger:
        if (definition->GetSubType() == OFSTBoolean)
            return feature.GetFieldAsInteger(ogrIndex) != 0;
        return static_cast<std::int64_t>(feature.GetFieldAsInteger(ogrIndex));
    case OFTInteger64:
        return static_cast<std::int64_t>(feature.GetFieldAsInteger64(ogrIndex));
    case OFTReal:
        return feature.GetFieldAsDouble(ogrIndex);
    case OFTString:
        return std::string(feature.GetFieldAsString(ogrIndex));
    case OFTDate:
    case OFTTime:
    case OFTDateTime:
    {
        int year = 0;
        int month = 0;
        int day = 0;
        int hour = 0;
        int minute = 0;
        float second = 0.0f;
        int zone = 0;
        feature.GetFieldAsDateTime(ogrIndex, &year, &month, &day, &hour, &minute, &second, &zone);
        DateTime value;
        if (definition->GetType() != OFTTime)
        {
            value.Year = year;
            value.Month = month;
            value.Day = day;
        }
        if (definition->GetType() != OFTDate)
        {
            value.Hour = hour;
            value.Minute = minute;
            value.Second = std::round(static_cast<double>(second) * 1000.0) / 1000.0;
        }
        return value;
    }
    case OFTBinary:
    {
        int count = 0;
        const GByte* bytes = feature.GetFieldAsBinary(ogrIndex, &count);
        if (bytes == nullptr || count <= 0)
            return Bytes();
        return Bytes(bytes, bytes + count);
    }
    default:
        return std::string(feature.GetFieldAsString(ogrIndex));
    }
}

void WriteOgrValue(OGRFeature& feature, int ogrIndex, const Value& value)
{
    if (value.IsNull())
    {
        feature.SetFieldNull(ogrIndex);
        return;
    }
    const OGRFieldDefn* definition = feature.GetFieldDefnRef(ogrIndex);
    switch (definition->GetType())
    {
    case OFTInteger:
        if (definition->GetSubType() == OFSTBoolean)
            feature.SetField(ogrIndex, value.AsBoolean() ? 1 : 0);
        else
            feature.SetField(ogrIndex, static_cast<int>(value.AsInteger()));
        return;
    case OFTInteger64:
        feature.SetField(ogrIndex, static_cast<GIntBig>(value.AsInteger()));
        return;
    case OFTReal:
        feature.SetField(ogrIndex, value.AsDouble());
        return;
    case OFTDate:
    case OFTTime:
    case OFTDateTime:
    {
        const DateTime time = value.AsDateTime();
        feature.SetField(ogrIndex, time.Year, time.Month, time.Day, time.Hour, time.Minute,
                         static_cast<float>(time.Second), 0);
        return;
    }
    case OFTBinary:
    {
        const Bytes bytes = value.AsBytes();
        feature.SetField(ogrIndex, static_cast<int>(bytes.size()),
                         static_cast<const void*>(bytes.data()));
        return;
    }
    default:
        feature.SetField(ogrIndex, value.AsString().c_str());
        return;
    }
}

} // namespace quorvalis::engine::gdal
