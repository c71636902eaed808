#include "tools/SheetTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <sstream>
#include <stdexcept>

#include "tools/OutputFiles.h"
#include "transformation/Transformation.h"

namespace quorvalis::tools
{

namespace
{

constexpr int kFirstLatitude = 22; // degrees south
constexpr int kLastLatitude = 35;
constexpr int kFirstLongitude = 16; // degrees east
constexpr int kLastLongitude = 33;
constexpr double kSheetSize = 0.25;
constexpr int kFitGrid = 5;   // 5 x 5 points on the sheet, edges included
constexpr int kCheckGrid = 4; // 4 x 4 points halfway between the fit points

struct SheetPoint
{
    LoPoint cape;
    LoPoint hart;
};

SheetPoint Evaluate(ReferenceGeodesy& geodesy, int lo, Geographic cape)
{
    return {geodesy.toLo(Datum::Cape, lo, cape),
            geodesy.toLo(Datum::Hartebeesthoek94, lo, geodesy.capeToHartebeesthoek(cape))};
}

void Widen(double value, double& low, double& high)
{
    low = std::min(low, value);
    high = std::max(high, value);
}

SheetRow FitSheet(ReferenceGeodesy& geodesy, double north, double west, SheetStatistics& stats,
                  double& sumSquares)
{
    SheetRow row;
    row.name = SheetName(north + kSheetSize / 2, west + kSheetSize / 2);
    row.lo = LoZone(west + kSheetSize / 2);

    std::vector<LoPoint> cape, hart;
    for (int i = 0; i < kFitGrid; ++i)
        for (int j = 0; j < kFitGrid; ++j)
        {
            const Geographic g{west + kSheetSize * j / (kFitGrid - 1),
                               north + kSheetSize * i / (kFitGrid - 1)};
            const SheetPoint p = Evaluate(geodesy, row.lo, g);
            cape.push_back(p.cape);
            hart.push_back(p.hart);
        }
    row.fit = FitHelmert(cape, hart);

    double sheetResidual = 0.0;
    for (std::size_t k = 0; k < cape.size(); ++k)
    {
        const double residual = Distance(row.fit.apply(cape[k]), hart[k]);
        sheetResidual = std::max(sheetResidual, residual);
        sumSquares += residual * residual;
    }
    if (sheetResidual > stats.maxResidual)
    {
        stats.maxResidual = sheetResidual;
        stats.maxResidualSheet = row.name;
    }

    // Points the fit never saw must move as PROJ moves them, within the sheet's fit residual.
    for (int i = 0; i < kCheckGrid; ++i)
        for (int j = 0; j < kCheckGrid; ++j)
        {
            const double step = kSheetSize / (2 * kCheckGrid);
            const SheetPoint p =
                Evaluate(geodesy, row.lo, {west + step * (2 * j + 1), north + step * (2 * i + 1)});
            const double deviation = Distance(row.fit.apply(p.cape), p.hart);
            stats.maxCheckDeviation = std::max(stats.maxCheckDeviation, deviation);
            if (deviation > sheetResidual + 1e-9)
                ++stats.checksAboveSheetResidual;
            ++stats.checkPoints;
        }

    Widen(row.fit.wx - row.fit.cx, stats.minShiftX, stats.maxShiftX);
    Widen(row.fit.wy - row.fit.cy, stats.minShiftY, stats.maxShiftY);
    Widen((std::hypot(row.fit.a, row.fit.b) - 1.0) * 1e6, stats.minScalePpm, stats.maxScalePpm);
    Widen(std::atan2(row.fit.b, row.fit.a) * 180.0 / std::numbers::pi * 3600.0,
          stats.minSwingSeconds, stats.maxSwingSeconds);
    return row;
}

double ParseNumber(const std::string& text)
{
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        throw std::runtime_error("Sheet table: \"" + text + "\" is not a number");
    return value;
}

} // namespace

std::vector<SheetRow> BuildSheetTable(ReferenceGeodesy& geodesy, SheetStatistics& statistics)
{
    statistics = SheetStatistics{};
    statistics.fitPointsPerSheet = kFitGrid * kFitGrid;
    std::vector<SheetRow> rows;
    double sumSquares = 0.0;
    const int quarters = static_cast<int>(1.0 / kSheetSize);
    for (int latitude = kFirstLatitude; latitude < kLastLatitude; ++latitude)
        for (int longitude = kFirstLongitude; longitude < kLastLongitude; ++longitude)
            for (int i = 0; i < quarters; ++i)
                for (int j = 0; j < quarters; ++j)
                    rows.push_back(FitSheet(geodesy, latitude + kSheetSize * i,
                                            longitude + kSheetSize * j, statistics, sumSquares));
    std::sort(rows.begin(), rows.end(),
              [](const SheetRow& p, const SheetRow& q) { return p.name < q.name; });
    if (std::adjacent_find(rows.begin(), rows.end(),
                           [](const SheetRow& p, const SheetRow& q)
                           { return p.name == q.name; }) != rows.end())
        throw std::runtime_error("Sheet table: two sheets share a name");
    statistics.sheets = static_cast<int>(rows.size());
    statistics.rmsResidual =
        std::sqrt(sumSquares / (static_cast<double>(rows.size()) * statistics.fitPointsPerSheet));
    return rows;
}

std::string SheetCsv(const std::vector<SheetRow>& rows)
{
    std::string csv = "SHEET,CX,CY,WX,WY,A,B\n";
    for (const SheetRow& r : rows)
    {
        csv += r.name;
        for (double value : {r.fit.cx, r.fit.cy, r.fit.wx, r.fit.wy, r.fit.a, r.fit.b})
            csv += "," + FormatShortest(value);
        csv += "\n";
    }
    return csv;
}

void VerifySheetCsv(const std::string& csv, const std::vector<SheetRow>& rows)
{
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    for (const SheetRow& row : rows)
    {
        if (!std::getline(in, line))
            throw std::runtime_error("Sheet table: the CSV text is short of rows");
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            fields.push_back(cell);
        const double expected[] = {row.fit.cx, row.fit.cy, row.fit.wx,
                                   row.fit.wy, row.fit.a,  row.fit.b};
        if (fields.size() != 7 || fields[0] != row.name)
            throw std::runtime_error("Sheet table: bad CSV row for " + row.name);
        for (std::size_t k = 0; k < 6; ++k)
            if (ParseNumber(fields[k + 1]) != expected[k])
                throw std::runtime_error("Sheet table: " + fields[k + 1] + " of " + row.name +
                                         " does not read back exactly");
    }
}

} // namespace quorvalis::tools
