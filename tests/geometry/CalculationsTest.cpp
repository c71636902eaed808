#include "geometry/Calculations.h"

#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace quorvalis
{
namespace
{

struct ConversionRow
{
    std::uint8_t from;
    std::uint8_t to;
    double value;
    double expected;
    double tolerance;
};

TEST(Calculations, ConvertUnitTable)
{
    const double pi = 3.14159265358979323846;
    const std::vector<ConversionRow> rows = {
        {utFeet, utMetres, 1.0, 0.3047972654, 0.0},
        {utMetres, utFeet, 0.3047972654, 1.0, 0.0},
        {utInches, utCentimetres, 1.0, 2.54, 1e-15},
        {utKilometres, utMillimetres, 1.5, 1.5e6, 0.0},
        {utMillimetres, utMetres, 1234.0, 1.234, 1e-15},
        {utAcres, utHectares, 1.0, 0.404686, 0.0},
        {utSquareMetres, utHectares, 25000.0, 2.5, 0.0},
        {utSquareFeet, utSquareMetres, 1.0, 0.092902718, 1e-17},
        {utHectares, utAcres, 0.404686, 1.0, 1e-15},
        {utRadians, utDecimalDegrees, pi, 180.0, 0.0},
        {utDecimalDegrees, utRadians, 180.0, pi, 0.0},
        {utDDDMMSS, utDecimalDegrees, 26.3015, 26.504166666666667, 1e-12},
        {utDecimalDegrees, utDDDMMSS, 26.5, 26.30, 1e-12},
        {utDDDMMSS, utRadians, 90.0, pi / 2, 1e-15},
        {utMetres, utMetres, 0.1, 0.1, 0.0},
    };
    for (const auto& row : rows)
        EXPECT_NEAR(ConvertUnit(row.from, row.to, row.value), row.expected, row.tolerance)
            << "from " << int(row.from) << " to " << int(row.to) << " of " << row.value;

    const std::vector<std::pair<std::uint8_t, std::uint8_t>> refused = {
        {utMetres, utHectares}, {utDDDMMSS, utMetres}, {utSquareFeet, utRadians}, {13, 13},
        {utMetres, 13},         {255, utMetres}};
    for (const auto& [from, to] : refused)
        EXPECT_EQ(MessageOf<GCalculationException>([&] { ConvertUnit(from, to, 1.0); }),
                  "Invalid unit type conversion")
            << int(from) << " to " << int(to);
}

struct AngleRow
{
    double (*convert)(double);
    double value;
    double expected;
    double tolerance;
};

TEST(Calculations, PackedAngleTable)
{
    const auto packed = DDDMMSSToDegrees;
    const auto unpacked = DegreesToDDDMMSS;
    const std::vector<AngleRow> rows = {
        {packed, 26.3015, 26.0 + 30.0 / 60 + 15.0 / 3600, 1e-12},
        {packed, -26.3015, -(26.0 + 30.0 / 60 + 15.0 / 3600), 1e-12},
        {packed, 0.0006, 6.0 / 3600, 1e-13},
        {packed, 10.75, 11.25, 0.0}, // 75 minutes taken as they stand
        {packed, 359.595999, 359.0 + 59.0 / 60 + 59.99 / 3600, 1e-9},
        {unpacked, 26.0 + 30.0 / 60 + 15.0 / 3600, 26.3015, 1e-12},
        {unpacked, -26.5, 333.70, 1e-12}, // the degrees wrap, the minutes keep their sign
        {unpacked, 720.25, 0.15, 1e-12},
        {unpacked, -360.0, 0.0, 0.0},
        {unpacked, 1e20, 280.0, 0.0}, // wraps without looping 1e17 times
        {unpacked, 0.1, 0.06, 1e-12},
        {unpacked, 25.2, 25.12, 1e-12},
        // Just below a whole degree the seconds carry instead of reading 59.99...".
        {unpacked, std::nextafter(27.0, 0.0), 27.0, 1e-12},
        {unpacked, std::nextafter(180.0, 0.0), 180.0, 1e-12},
        {unpacked, 26.0 + 59.0 / 60 + 59.99 / 3600, 26.595999, 1e-12}, // a real fraction kept
    };
    for (const auto& row : rows)
        EXPECT_NEAR(row.convert(row.value), row.expected, row.tolerance) << row.value;
}

TEST(Calculations, PackedAnglesIgnoreBinaryNoise)
{
    // 25.45 is stored as 25.4499999999999993: it must read as 25 degrees 45 minutes, not as
    // 44 minutes and 99.99 seconds (25.7611...).
    for (int degrees = 0; degrees < 360; degrees += 7)
        for (int minutes = 0; minutes < 60; ++minutes)
            for (const int seconds : {0, 1, 30, 59})
            {
                const double packed = degrees + minutes / 100.0 + seconds / 10000.0;
                const double decimal = degrees + minutes / 60.0 + seconds / 3600.0;
                ASSERT_NEAR(DDDMMSSToDegrees(packed), decimal, 1e-12) << packed;
                ASSERT_NEAR(DegreesToDDDMMSS(decimal), packed, 1e-12) << decimal;
            }
}

TEST(Calculations, DistanceMaxMin)
{
    EXPECT_EQ(Distance(1, 2, 4, 6), 5.0);
    EXPECT_DOUBLE_EQ(Distance(0, 0, 3e200, 4e200), 5e200); // squares held in extended range
    // Ties return the second argument; the signed zeros show which one came back.
    EXPECT_TRUE(std::signbit(Max(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(Min(-0.0, 0.0)));
    EXPECT_EQ(Max(2, 3), 3);
    EXPECT_EQ(Min(2, 3), 2);
}

} // namespace
} // namespace quorvalis
