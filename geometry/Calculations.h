// Units of length, area and angle; the packed ddd.mmss angle form; plane distance.
#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace quorvalis
{

// Every calculation is formed in extended precision: long double must have a significand of at
// least 64 bits (x87 80-bit on x86, binary128 elsewhere). MSVC's long double is a plain double,
// so Windows builds use MinGW-w64, whose long double is the 80-bit format.
static_assert(std::numeric_limits<long double>::digits >= 64,
              "long double must be an extended format (64-bit significand or more)");

/// Raised by ConvertUnit for units of different kinds: "Invalid unit type conversion".
class GCalculationException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Unit codes; stored and passed as numbers. Lengths 0-5 (base metres), areas 6-9 (base
/// hectares), angles 10-12 (base decimal degrees). The factors are exact decimal constants held
/// as long double (64-bit significand, relative representation error below 5.5e-20).
enum GUnitType : std::uint8_t
{
    utMetres = 0,
    utFeet = 1,        // x 0.3047972654 m (Cape foot)
    utInches = 2,      // x 0.0254 m
    utCentimetres = 3, // / 100
    utMillimetres = 4, // / 1000
    utKilometres = 5,  // x 1000
    utHectares = 6,
    utAcres = 7,        // x 0.404686 ha
    utSquareMetres = 8, // / 10000
    utSquareFeet = 9,   // x 0.0000092902718 ha
    utDDDMMSS = 10,     // packed degrees.minutes seconds (see DDDMMSSToDegrees)
    utDecimalDegrees = 11,
    utRadians = 12, // x 180 / pi
};

/// The extended value of pi used throughout (3.14159265358979323851, the long double nearest to
/// pi; error about 5e-20).
inline constexpr long double kPi = 3.14159265358979323851L;

/// Converts value from one unit to another of the same kind, through the kind's base unit, in
/// extended precision, rounded once to double at the end (relative error at most about 1.2e-16,
/// i.e. 1 ulp, apart from the ddd.mmss packing, see below). Raises GCalculationException
/// "Invalid unit type conversion" when the kinds differ or a code is 13 or more.
/// Converting a unit into itself returns the value (to the last bit for codes 0-9 and 11; for 10
/// and 12 the two steps may differ in the last bits).
double ConvertUnit(std::uint8_t fromUnit, std::uint8_t toUnit, double value);

/// Packed ddd.mmss to decimal degrees: 26.3015 (26 degrees 30 minutes 15 seconds) ->
/// 26.50416666... Degrees are the integer part, minutes the first two decimals, seconds (with
/// their fraction) the following ones. No range check: minutes or seconds of 60 or more are taken
/// as they stand; a negative input gives the negated result of its magnitude. Accuracy: the
/// double holding the packed form limits seconds to about 5e-10 s at 360 degrees (1.5e-13
/// degrees); the arithmetic adds at most 1 ulp.
double DDDMMSSToDegrees(double value);

/// Decimal degrees to packed ddd.mmss: 26.5 -> 26.30. Minutes and seconds are truncated parts
/// (seconds keep their fraction). Seconds of exactly 60 carry into the minutes and minutes of 60
/// into the degrees (both also for negative values); then the degrees alone are brought into
/// [0, 360), while minutes and seconds keep the input's sign: -26.5 -> 334 - 0.30 = 333.70.
/// Intermediates are doubles; result within 1 ulp of d + m/100 + s/10000.
double DegreesToDDDMMSS(double value);

/// Plane distance sqrt((x1-x2)^2 + (y1-y2)^2), >= 0, in the unit of the coordinates; formed in
/// long double (no intermediate overflow for any finite input) and rounded once to double, so
/// the result is within 1 ulp of the true distance.
double Distance(double x1, double y1, double x2, double y2);

/// a if a > b, otherwise b (so b on a tie, and b when either is NaN).
double Max(double a, double b);
/// a if a < b, otherwise b (so b on a tie, and b when either is NaN).
double Min(double a, double b);

} // namespace quorvalis
