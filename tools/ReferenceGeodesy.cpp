#include "tools/ReferenceGeodesy.h"

#include "transformation/Transformation.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace quorvalis::tools
{

namespace
{

// The application's own semi-axes; EPSG's Clarke 1880 (Arc) and WGS84 differ by fractions of a
// millimetre in the plane, which compareWithEpsg measures.
constexpr const char* kClarkeAxes = "+a=6378249.145326 +b=6356514.966721";
constexpr const char* kWgsAxes = "+a=6378137.0 +b=6356752.314";

// (lon, lat south) degrees <-> PROJ's (lon, lat north) radians.
constexpr const char* kFromOurGeographic =
    "+step +proj=axisswap +order=1,-2 +step +proj=unitconvert +xy_in=deg +xy_out=rad";
constexpr const char* kToOurGeographic =
    "+step +proj=unitconvert +xy_in=rad +xy_out=deg +step +proj=axisswap +order=1,-2";

const char* axes(Datum datum)
{
    return datum == Datum::Cape ? kClarkeAxes : kWgsAxes;
}

} // namespace

ReferenceGeodesy::ReferenceGeodesy() : context_(proj_context_create())
{
    if (!context_)
        throw std::runtime_error("Unable to create a PROJ context");
    datumShift_ = create(datumShiftDefinition());
}

ReferenceGeodesy::~ReferenceGeodesy() = default;

std::string ReferenceGeodesy::loDefinition(Datum datum, int lo)
{
    // Our X (southing) and Y (westing) are PROJ's -northing and -easting.
    return std::string("+proj=pipeline ") + kFromOurGeographic +
           " +step +proj=tmerc +lat_0=0 +lon_0=" + std::to_string(lo) + " +k=1 +x_0=0 +y_0=0 " +
           axes(datum) + " +step +proj=axisswap +order=-2,-1";
}

std::string ReferenceGeodesy::datumShiftDefinition()
{
    // EPSG:1504 spelled out, so that PROJ can never substitute a "ballpark" no-op outside the
    // operation's area of use.
    return std::string("+proj=pipeline ") + kFromOurGeographic + " +step +proj=cart " +
           kClarkeAxes + " +step +proj=helmert +x=-134.73 +y=-110.92 +z=-292.66" +
           " +step +inv +proj=cart " + kWgsAxes + " " + kToOurGeographic;
}

std::string ReferenceGeodesy::projVersion()
{
    return proj_info().version;
}

ReferenceGeodesy::Operation ReferenceGeodesy::create(const std::string& definition)
{
    Operation operation(proj_create(context_.get(), definition.c_str()));
    if (!operation)
        throw std::runtime_error(
            "PROJ refused \"" + definition +
            "\": " + proj_context_errno_string(context_.get(), proj_context_errno(context_.get())));
    return operation;
}

ReferenceGeodesy::Operation ReferenceGeodesy::createCrsToCrs(const std::string& source,
                                                             const std::string& target)
{
    Operation operation(
        proj_create_crs_to_crs(context_.get(), source.c_str(), target.c_str(), nullptr));
    if (!operation)
        throw std::runtime_error("PROJ has no operation from " + source + " to " + target);
    return operation;
}

PJ_COORD ReferenceGeodesy::transform(PJ* operation, PJ_COORD input, const std::string& what)
{
    proj_errno_reset(operation);
    const PJ_COORD output = proj_trans(operation, PJ_FWD, input);
    if (proj_errno(operation) != 0 || !std::isfinite(output.xy.x) || !std::isfinite(output.xy.y))
        throw std::runtime_error("PROJ failed on " + what + " at (" + std::to_string(input.xy.x) +
                                 ", " + std::to_string(input.xy.y) + ")");
    return output;
}

LoPoint ReferenceGeodesy::toLo(Datum datum, int lo, Geographic position)
{
    auto& slot = projections_[{datum, lo}];
    if (!slot)
        slot = create(loDefinition(datum, lo));
    const PJ_COORD out = transform(slot.get(), proj_coord(position.lon, position.lat, 0.0, 0.0),
                                   "the Lo " + std::to_string(lo) + " projection");
    return {out.xy.x, out.xy.y};
}

Geographic ReferenceGeodesy::capeToHartebeesthoek(Geographic cape)
{
    const PJ_COORD out = transform(datumShift_.get(), proj_coord(cape.lon, cape.lat, 0.0, 0.0),
                                   "the Cape to Hartebeesthoek94 shift");
    return {out.lp.lam, out.lp.phi};
}

EpsgAgreement ReferenceGeodesy::compareWithEpsg(std::span<const Geographic> capePositions)
{
    // PROJ's EPSG objects take (latitude north, longitude) and give (westing, southing).
    const Operation epsgShift = create("urn:ogc:def:coordinateOperation:EPSG::1504");
    EpsgAgreement agreement;
    for (const Geographic& cape : capePositions)
    {
        const int lo = LoZone(cape.lon);
        const Operation capeLo = createCrsToCrs("EPSG:4222", "EPSG:" + std::to_string(22260 + lo));
        const Operation hartLo =
            createCrsToCrs("EPSG:4148", "EPSG:" + std::to_string(2046 + (lo - 15) / 2));

        const LoPoint ours = toLo(Datum::Cape, lo, cape);
        PJ_COORD out = transform(capeLo.get(), proj_coord(-cape.lat, cape.lon, 0, 0), "EPSG Lo");
        agreement.capeLo = std::max(agreement.capeLo, Distance(ours, {out.xy.y, out.xy.x}));

        const Geographic hart = capeToHartebeesthoek(cape);
        out = transform(epsgShift.get(), proj_coord(-cape.lat, cape.lon, 0, 0), "EPSG:1504");
        const double metresPerDegree = 111320.0;
        const double dLat = (-out.xy.x - hart.lat) * metresPerDegree;
        const double dLon =
            (out.xy.y - hart.lon) * metresPerDegree * std::cos(hart.lat * std::numbers::pi / 180.0);
        agreement.datumShift = std::max(agreement.datumShift, std::hypot(dLat, dLon));

        const LoPoint oursHart = toLo(Datum::Hartebeesthoek94, lo, hart);
        out = transform(hartLo.get(), proj_coord(-hart.lat, hart.lon, 0, 0), "EPSG Lo");
        agreement.hartebeesthoekLo =
            std::max(agreement.hartebeesthoekLo, Distance(oursHart, {out.xy.y, out.xy.x}));
        ++agreement.points;
    }
    return agreement;
}

LoPoint HelmertFit::apply(LoPoint cape) const
{
    const long double dx = static_cast<long double>(cape.x) - cx;
    const long double dy = static_cast<long double>(cape.y) - cy;
    return {static_cast<double>(dx * a + wx - dy * b), static_cast<double>(dy * a + wy + dx * b)};
}

HelmertFit FitHelmert(std::span<const LoPoint> from, std::span<const LoPoint> to)
{
    if (from.size() != to.size() || from.size() < 2)
        throw std::invalid_argument("A Helmert fit needs at least two matched pairs");
    // Ten sums, each a double accumulated in index order; the products are rounded to double.
    double sx = 0, sy = 0, sxt = 0, syt = 0, sxx = 0, syy = 0, sxxt = 0, syyt = 0, sxyt = 0,
           sxty = 0;
    for (std::size_t i = 0; i < from.size(); ++i)
    {
        const auto [x, y] = from[i];
        const auto [xt, yt] = to[i];
        sx += x;
        sy += y;
        sxt += xt;
        syt += yt;
        sxx += x * x;
        syy += y * y;
        sxxt += x * xt;
        syyt += y * yt;
        sxyt += x * yt;
        sxty += xt * y;
    }
    const long double n = static_cast<long double>(from.size());
    const long double d =
        (static_cast<long double>(sxx) + syy) -
        (static_cast<long double>(sx) * sx + static_cast<long double>(sy) * sy) / n;
    if (!(d > 0.0L))
        throw std::invalid_argument("A Helmert fit needs distinct points");
    const long double a =
        ((static_cast<long double>(sxxt) + syyt) -
         (static_cast<long double>(sxt) * sx + static_cast<long double>(syt) * sy) / n) /
        d;
    const long double b =
        ((static_cast<long double>(sxyt) - sxty) +
         (static_cast<long double>(sxt) * sy - static_cast<long double>(sx) * syt) / n) /
        d;
    HelmertFit fit;
    fit.cx = static_cast<double>(sx / n);
    fit.cy = static_cast<double>(sy / n);
    fit.wx = static_cast<double>(sxt / n);
    fit.wy = static_cast<double>(syt / n);
    fit.a = static_cast<double>(a);
    fit.b = static_cast<double>(b);
    return fit;
}

double Distance(LoPoint p, LoPoint q)
{
    return std::hypot(p.x - q.x, p.y - q.y);
}

} // namespace quorvalis::tools
