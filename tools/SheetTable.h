#pragma once

// The quarter-degree sheet table: fixed Cape -> Hartebeesthoek94 Helmert parameters per sheet,
// fitted to EPSG:1504 as evaluated by PROJ.

#include <string>
#include <vector>

#include "tools/ReferenceGeodesy.h"

namespace quorvalis::tools
{

struct SheetRow
{
    std::string name; ///< SheetName of the sheet's centre, e.g. "2531CC"
    int lo = 0;       ///< LoZone of the sheet's longitude
    HelmertFit fit;   ///< CX, CY, WX, WY (Lo metres), A, B
};

struct SheetStatistics
{
    int sheets = 0;
    int fitPointsPerSheet = 0;
    double maxResidual = 0.0; ///< metres, largest |PROJ - fit| at the fit points of any sheet
    std::string maxResidualSheet;
    double rmsResidual = 0.0; ///< metres, over every fit point of every sheet
    int checkPoints = 0;      ///< interior points not used by the fit
    double maxCheckDeviation = 0.0;
    int checksAboveSheetResidual =
        0; ///< check points worse than their sheet's largest fit residual
    double minShiftX = 1e300, maxShiftX = -1e300;             ///< WX - CX, metres
    double minShiftY = 1e300, maxShiftY = -1e300;             ///< WY - CY, metres
    double minScalePpm = 1e300, maxScalePpm = -1e300;         ///< (sqrt(a^2 + b^2) - 1) * 1e6
    double minSwingSeconds = 1e300, maxSwingSeconds = -1e300; ///< atan2(b, a), arc seconds
};

/// Every sheet of latitudes 22..35 S and longitudes 16..33 E, sorted by name.
std::vector<SheetRow> BuildSheetTable(ReferenceGeodesy& geodesy, SheetStatistics& statistics);

/// "SHEET,CX,CY,WX,WY,A,B" and one line per sheet, shortest round-trip numbers, LF line ends.
std::string SheetCsv(const std::vector<SheetRow>& rows);

/// Reads the CSV text back and throws unless every number round-trips exactly.
void VerifySheetCsv(const std::string& csv, const std::vector<SheetRow>& rows);

} // namespace quorvalis::tools
