#include "geometry/Calculations.h"

#include <cmath>

namespace quorvalis
{

namespace
{

enum class UnitKind
{
    Length,
    Area,
    Angle,
    None
};

UnitKind KindOf(std::uint8_t unit)
{
    if (unit <= utKilometres)
        return UnitKind::Length;
    if (unit <= utSquareFeet)
        return UnitKind::Area;
    if (unit <= utRadians)
        return UnitKind::Angle;
    return UnitKind::None;
}

constexpr long double kFoot = 0.3047972654L;
constexpr long double kInch = 0.0254L;
constexpr long double kAcre = 0.404686L;
constexpr long double kSquareFoot = 0.0000092902718L;

long double ToBase(std::uint8_t unit, double value)
{
    const long double v = value;
    switch (unit)
    {
    case utFeet:
        return v * kFoot;
    case utInches:
        return v * kInch;
    case utCentimetres:
        return v / 100;
    case utMillimetres:
        return v / 1000;
    case utKilometres:
        return v * 1000;
    case utAcres:
        return v * kAcre;
    case utSquareMetres:
        return v / 10000;
    case utSquareFeet:
        return v * kSquareFoot;
    case utDDDMMSS:
        return DDDMMSSToDegrees(value);
    case utRadians:
        return v * 180 / kPi;
    default: // the base units
        return v;
    }
}

long double FromBase(std::uint8_t unit, long double v)
{
    switch (unit)
    {
    case utFeet:
        return v / kFoot;
    case utInches:
        return v / kInch;
    case utCentimetres:
        return v * 100;
    case utMillimetres:
        return v * 1000;
    case utKilometres:
        return v / 1000;
    case utAcres:
        return v / kAcre;
    case utSquareMetres:
        return v * 10000;
    case utSquareFeet:
        return v / kSquareFoot;
    case utDDDMMSS:
        return DegreesToDDDMMSS(static_cast<double>(v));
    case utRadians:
        return v * kPi / 180;
    default:
        return v;
    }
}

} // namespace

double ConvertUnit(std::uint8_t fromUnit, std::uint8_t toUnit, double value)
{
    const UnitKind kind = KindOf(fromUnit);
    if (kind == UnitKind::None || KindOf(toUnit) != kind)
        throw GCalculationException("Invalid unit type conversion");
    return static_cast<double>(FromBase(toUnit, ToBase(fromUnit, value)));
}

// Packed angles carry binary noise: 25.45 is stored as 25.4499999999999993, whose minutes would
// truncate to 44 and whose seconds would read as 99.99..., and 25.2 degrees would pack as
// 25.1159999... (59.99..." instead of a carried minute). Parts within these tolerances of a whole
// minute, or of 60 seconds, are taken as that whole value. Both lie far below any resolution a
// survey records (1e-7 seconds of arc is 3 micrometres) and far above the noise of a double
// near 360 (1e-11 in the minutes, 1e-9 in the seconds).
constexpr double kMinuteSnap = 1e-9; // minutes-with-fraction (mm.ss) units
constexpr double kSecondSnap = 1e-7; // seconds

double DDDMMSSToDegrees(double value)
{
    const double d = std::trunc(value);
    const double mm = (value - d) * 100;
    double m = std::trunc(mm);
    const double nearest = std::round(mm);
    if (nearest != m && std::fabs(mm - nearest) < kMinuteSnap)
        m = nearest;
    const double s = (mm - m) * 100;
    return static_cast<double>(static_cast<long double>(m) / 60 + d +
                               static_cast<long double>(s) / 3600);
}

double DegreesToDDDMMSS(double value)
{
    double d = std::trunc(value);
    const double mf = (value - d) * 60;
    double m = std::trunc(mf);
    double s = (mf - m) * 60;
    if (std::fabs(s) > 60.0 - kSecondSnap)
    {
        m += s > 0 ? 1 : -1;
        s = 0.0;
    }
    if (m == 60.0 || m == -60.0)
    {
        d += m > 0 ? 1 : -1;
        m = 0.0;
    }
    // Only the degrees wrap: minutes and seconds keep the input's sign. fmod of a whole number is
    // exact, and unlike repeated subtraction it ends quickly for huge inputs.
    if (d >= 360.0 || d < 0.0)
    {
        d = std::fmod(d, 360.0);
        if (d < 0.0)
            d += 360.0;
    }
    return static_cast<double>(d + static_cast<long double>(m) / 100 +
                               static_cast<long double>(s) / 10000);
}

double Distance(double x1, double y1, double x2, double y2)
{
    const long double dx = static_cast<long double>(x1) - x2;
    const long double dy = static_cast<long double>(y1) - y2;
    return static_cast<double>(std::sqrt(dx * dx + dy * dy));
}

double Max(double a, double b)
{
    return a > b ? a : b;
}

double Min(double a, double b)
{
    return a < b ? a : b;
}

} // namespace quorvalis
