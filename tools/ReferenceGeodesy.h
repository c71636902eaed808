#pragma once

// Reference geodesy for the data generator: Lo projections and the Cape -> Hartebeesthoek94
// datum shift evaluated by PROJ, independent of the application's own series so that they serve
// as its oracle, and the two-dimensional Helmert fit of the degree-sheet table. Zones and sheet
// names are the application's own (LoZone and SheetName of transformation/Transformation.h).

#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <proj.h>

namespace quorvalis::tools
{

/// Geographic position in decimal degrees: lon east positive, lat positive SOUTH (the
/// application's convention), on whichever datum the caller says.
struct Geographic
{
    double lon = 0.0;
    double lat = 0.0;
};

/// Lo plane position in metres: x = southing from the equator along the central meridian,
/// y = westing from the central meridian; no false origin, scale factor 1.
struct LoPoint
{
    double x = 0.0;
    double y = 0.0;
};

enum class Datum
{
    Cape,            ///< Clarke 1880, a = 6378249.145326 m, b = 6356514.966721 m
    Hartebeesthoek94 ///< WGS84, a = 6378137.0 m, b = 6356752.314 m
};

/// Largest disagreements (metres) of ReferenceGeodesy's explicit operations with PROJ's own EPSG
/// definitions (EPSG:222xx, EPSG:20xx, EPSG:1504), which use slightly different ellipsoid axes.
struct EpsgAgreement
{
    int points = 0;
    double capeLo = 0.0;
    double hartebeesthoekLo = 0.0;
    double datumShift = 0.0;
};

class ReferenceGeodesy
{
public:
    ReferenceGeodesy();
    ~ReferenceGeodesy();
    ReferenceGeodesy(const ReferenceGeodesy&) = delete;
    ReferenceGeodesy& operator=(const ReferenceGeodesy&) = delete;

    /// Geographic position on `datum` to Lo coordinates of zone `lo` on the same datum.
    LoPoint toLo(Datum datum, int lo, Geographic position);
    /// EPSG:1504 "Cape to Hartebeesthoek94 (1)" geocentric translation at ellipsoidal height 0.
    Geographic capeToHartebeesthoek(Geographic cape);

    /// PROJ definition strings actually used, for the provenance record.
    static std::string loDefinition(Datum datum, int lo);
    static std::string datumShiftDefinition();
    static std::string projVersion();

    EpsgAgreement compareWithEpsg(std::span<const Geographic> capePositions);

private:
    struct ContextDeleter
    {
        void operator()(PJ_CONTEXT* context) const { proj_context_destroy(context); }
    };
    struct OperationDeleter
    {
        void operator()(PJ* operation) const { proj_destroy(operation); }
    };
    using Operation = std::unique_ptr<PJ, OperationDeleter>;

    Operation create(const std::string& definition);
    Operation createCrsToCrs(const std::string& source, const std::string& target);
    PJ_COORD transform(PJ* operation, PJ_COORD input, const std::string& what);

    // The context must outlive every operation: declared first, destroyed last.
    std::unique_ptr<PJ_CONTEXT, ContextDeleter> context_;
    std::map<std::pair<Datum, int>, Operation> projections_;
    Operation datumShift_;
};

/// Parameters of the similarity x' - WX = a(x - CX) - b(y - CY), y' - WY = b(x - CX) + a(y - CY),
/// from Cape Lo (x, y) to Hartebeesthoek94 Lo (x', y') in one Lo zone.
struct HelmertFit
{
    double cx = 0.0;
    double cy = 0.0;
    double wx = 0.0;
    double wy = 0.0;
    double a = 1.0;
    double b = 0.0;

    LoPoint apply(LoPoint cape) const;
};

/// Least-squares fit (at least two distinct points) with the formulas of ComputeHelmert but the
/// rounding data/Sheet.csv was generated with: every product is rounded to double before it is
/// summed and D stays extended. ComputeHelmert's own rounding (extended products, D rounded to
/// double) moves a or b of 2916 of the 3536 sheets by up to 5e-11, about a micrometre at a
/// sheet's corners, and would change the published table in its last digits.
HelmertFit FitHelmert(std::span<const LoPoint> from, std::span<const LoPoint> to);

/// Plane distance in metres.
double Distance(LoPoint p, LoPoint q);

} // namespace quorvalis::tools
