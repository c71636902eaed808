// Internal to the engine: the standard store of the QUORVALIS alias, with the control table and
// the read-only degree-sheet table.
#pragma once

#include "database/engine/FieldDef.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis::engine
{

class GdalStore;

/// Layer names of the two tables ("control.db" and "Sheet.DB" resolve to them).
inline constexpr char kControlTable[] = "control";
inline constexpr char kSheetTable[] = "Sheet";

/// "Name" (text of 64), "Source" (text of 32), "Clarke Latitude", "Clarke Longitude",
/// "WGS Latitude", "WGS Longitude" (decimal degrees, 64-bit reals).
std::vector<FieldDef> ControlTableFields();
/// "SHEET" (text of 16), "CX", "CY", "WX", "WY" (Lo metres), "A", "B" (Helmert variables).
std::vector<FieldDef> SheetTableFields();

/// One row of the degree-sheet data.
struct SheetRow
{
    std::string Sheet;
    double CX = 0.0;
    double CY = 0.0;
    double WX = 0.0;
    double WY = 0.0;
    double A = 0.0;
    double B = 0.0;
};

/// Reads the degree-sheet data: a header line naming the columns SHEET, CX, CY, WX, WY, A, B in
/// any order, then one line per sheet with "." as the decimal point. Blank lines are skipped.
/// Raises EngineError naming the line for a missing column, a field count that differs from the
/// header, a number that does not read or is not finite, an empty or repeated sheet name.
std::vector<SheetRow> ParseSheetData(std::string_view text);

/// The degree-sheet data built into the library.
std::string BuiltInSheetData();

/// Creates the tables the store lacks (the sheet table filled from sheetData), in one
/// transaction, and marks the sheet table read-only. Done once per store.
void PrepareStandardStore(GdalStore& store, const std::string& sheetData);

/// Creates a new GeoPackage without tables, completely or not at all.
void CreateEmptyGeoPackage(const std::filesystem::path& path);

/// Creates a new GeoPackage holding both tables, completely or not at all.
void CreateStandardGeoPackage(const std::filesystem::path& path, const std::string& sheetData);

} // namespace quorvalis::engine
