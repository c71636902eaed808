#include "database/engine/StandardStore.h"

#include "database/engine/Store.h"
#include "database/engine/Text.h"
#include "database/engine/Value.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <functional>
#include <map>
#include <random>
#include <set>

namespace quorvalis::engine
{

namespace detail
{
// Generated at build time from data/Sheet.csv.
extern const char* const kSheetDataLines[];
extern const std::size_t kSheetDataLineCount;
} // namespace detail

namespace fs = std::filesystem;

std::vector<FieldDef> ControlTableFields()
{
    return {
        {"Name", ftString, 64, false},          {"Source", ftString, 32, false},
        {"Clarke Latitude", ftFloat, 0, false}, {"Clarke Longitude", ftFloat, 0, false},
        {"WGS Latitude", ftFloat, 0, false},    {"WGS Longitude", ftFloat, 0, false},
    };
}

std::vector<FieldDef> SheetTableFields()
{
    return {
        {"SHEET", ftString, 16, false}, {"CX", ftFloat, 0, false}, {"CY", ftFloat, 0, false},
        {"WX", ftFloat, 0, false},      {"WY", ftFloat, 0, false}, {"A", ftFloat, 0, false},
        {"B", ftFloat, 0, false},
    };
}

std::string BuiltInSheetData()
{
    std::string text;
    for (std::size_t i = 0; i < detail::kSheetDataLineCount; ++i)
    {
        text += detail::kSheetDataLines[i];
        text += '\n';
    }
    return text;
}

namespace
{

// A field without the blanks around it and without the double quotes around that.
std::string Trimmed(std::string_view text)
{
    text = TrimBlanks(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

std::vector<std::string> SplitFields(std::string_view line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true)
    {
        const std::size_t comma = line.find(',', start);
        fields.push_back(Trimmed(line.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return fields;
}

} // namespace

std::vector<SheetRow> ParseSheetData(std::string_view text)
{
    static const char* const columns[] = {"SHEET", "CX", "CY", "WX", "WY", "A", "B"};
    std::vector<SheetRow> rows;
    std::map<std::string, std::size_t> position;
    std::size_t fieldCount = 0;
    std::set<std::string> seen;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    auto fail = [&](const std::string& what)
    { throw EngineError("Degree-sheet data, line " + std::to_string(lineNumber) + ": " + what); };

    while (start <= text.size())
    {
        const std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (Trimmed(line).empty())
            continue;
        std::vector<std::string> fields = SplitFields(line);
        if (position.empty())
        {
            for (std::size_t i = 0; i < fields.size(); ++i)
                position[UpperCase(fields[i])] = i;
            for (const char* column : columns)
                if (position.count(column) == 0)
                    fail(std::string("the header names no column ") + column);
            fieldCount = fields.size();
            continue;
        }
        if (fields.size() != fieldCount)
            fail(std::to_string(fields.size()) + " fields where the header has " +
                 std::to_string(fieldCount));
        SheetRow row;
        row.Sheet = fields[position["SHEET"]];
        if (row.Sheet.empty())
            fail("the sheet name is empty");
        if (row.Sheet.size() > 16)
            fail("the sheet name '" + row.Sheet + "' is longer than 16 characters");
        if (!seen.insert(row.Sheet).second)
            fail("the sheet '" + row.Sheet + "' appears twice");
        double* targets[] = {&row.CX, &row.CY, &row.WX, &row.WY, &row.A, &row.B};
        for (std::size_t c = 1; c < 7; ++c)
        {
            const std::string& field = fields[position[columns[c]]];
            if (!ParseNumber(field, *targets[c - 1]) || field.find(',') != std::string::npos)
                fail(std::string("the ") + columns[c] + " value '" + field + "' is not a number");
        }
        rows.push_back(std::move(row));
    }
    if (position.empty())
        throw EngineError("Degree-sheet data: the header line is missing");
    return rows;
}

void PrepareStandardStore(GdalStore& store, const std::string& sheetData)
{
    if (store.StandardTablesChecked)
        return;
    // Two programs using a new PostgreSQL store at once: the second waits for the first, then
    // finds the tables made.
    store.WithSchemaLock(
        [&]
        {
            if (store.StoreKind() == GdalStore::Kind::PostgreSQL && !store.AnyTableOpen())
                store.Reopen();
            const bool needControl = !store.HasTable(kControlTable);
            const bool needSheet = !store.HasTable(kSheetTable);
            if (!needControl && !needSheet)
                return;
            std::vector<SheetRow> rows;
            if (needSheet)
                rows = ParseSheetData(sheetData);
            store.EnsurePgSchema();
            gdal::ErrorScope scope;
            // The sheets go to the server in one COPY rather than a statement each.
            struct CopyOption
            {
                CopyOption() { CPLSetThreadLocalConfigOption("PG_USE_COPY", "YES"); }
                ~CopyOption() { CPLSetThreadLocalConfigOption("PG_USE_COPY", nullptr); }
            } copy;
            store.SchemaTransaction(
                [&]
                {
                    if (needControl)
                        store.CreateTable(kControlTable, ControlTableFields());
                    if (!needSheet)
                        return;
                    store.CreateTable(kSheetTable, SheetTableFields());
                    OGRLayer* layer = store.FindLayer(kSheetTable);
                    if (layer == nullptr)
                        throw EngineError("The degree-sheet table was not created");
                    OGRFeatureDefn* definition = layer->GetLayerDefn();
                    for (const SheetRow& row : rows)
                    {
                        OGRFeature feature(definition);
                        feature.SetField(0, row.Sheet.c_str());
                        feature.SetField(1, row.CX);
                        feature.SetField(2, row.CY);
                        feature.SetField(3, row.WX);
                        feature.SetField(4, row.WY);
                        feature.SetField(5, row.A);
                        feature.SetField(6, row.B);
                        if (layer->CreateFeature(&feature) != OGRERR_NONE)
                            throw EngineError("Cannot fill the degree-sheet table: " +
                                              gdal::ErrorScope::LastError());
                    }
                    // COPY sends its rows when the layer is told to stop.
                    if (layer->SyncToDisk() != OGRERR_NONE)
                        throw EngineError("Cannot fill the degree-sheet table: " +
                                          gdal::ErrorScope::LastError());
                });
        });
    store.MarkReadOnlyTable(kSheetTable);
    store.StandardTablesChecked = true;
}

namespace
{

// Creates the GeoPackage under a temporary name beside path, lets fill add to it, and renames it
// into place; on any failure the temporary file is removed and path stays as it was.
void CreateGeoPackage(const fs::path& path, const std::function<void(const std::string&)>& fill)
{
    gdal::EnsureInitialised();
    std::error_code error;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), error);
    std::random_device random;
    fs::path temporary = path;
    temporary.replace_filename(gdal::Utf8ToPath(gdal::PathToUtf8(path.stem()) + ".tmp" +
                                                std::to_string(random() % 1000000000u) + ".gpkg"));
    const std::string name = gdal::PathToUtf8(temporary);
    try
    {
        {
            gdal::ErrorScope scope;
            GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
            if (driver == nullptr)
                throw EngineError("The GeoPackage driver is not available");
            gdal::DatasetPtr created(driver->Create(name.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
            if (!created)
                throw EngineError("Cannot create the database '" + gdal::PathToUtf8(path) +
                                  "': " + gdal::ErrorScope::LastError());
        }
        fill(name);
        // Published only where no file is yet: a store another program made meanwhile (and may
        // already have written) is kept, and this one goes.
        std::error_code linkError;
        fs::create_hard_link(temporary, path, linkError);
        if (!linkError || fs::exists(path, error))
            fs::remove(temporary, error);
        else
            fs::rename(temporary, path); // a file system without links
    }
    catch (const fs::filesystem_error& failure)
    {
        fs::remove(temporary, error);
        throw EngineError("Cannot create the database '" + gdal::PathToUtf8(path) +
                          "': " + failure.what());
    }
    catch (...)
    {
        fs::remove(temporary, error);
        throw;
    }
}

} // namespace

void CreateEmptyGeoPackage(const fs::path& path)
{
    CreateGeoPackage(path, [](const std::string&) {});
}

void CreateStandardGeoPackage(const fs::path& path, const std::string& sheetData)
{
    CreateGeoPackage(path,
                     [&](const std::string& name)
                     {
                         GdalStore store("new:" + name, GdalStore::Kind::GeoPackage, name);
                         PrepareStandardStore(store, sheetData);
                     });
}

} // namespace quorvalis::engine
