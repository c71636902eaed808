// Geographic <-> Lo conversion: reference values, conventions, failures, Lo zones and sheet names,
// and the fast evaluation against the literal one.
#include "LiteralSeries.h"
#include "geometry/Calculations.h"
#include "tests/geometry/GeometryTestSupport.h"
#include "transformation/Transformation.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

namespace quorvalis
{
namespace
{

// Exact transverse Mercator (PROJ 9.1 tmerc, +axis=wsu, the system's own axes), metres.
struct LoRow
{
    GWorld world;
    double lo, longitude, latitude, x, y;
};
const LoRow kLoRows[] = {
    {wdClarke1880, 31, 31.0, 25.0, 2765826.669632529, 0.0},
    {wdClarke1880, 31, 30.5, 26.25, 2904392.425725352, 49954.227612460},
    {wdClarke1880, 31, 32.0, 28.0, 3098597.464351493, -98367.595218327},
    {wdClarke1880, 31, 33.0, 30.0, 3321538.836546316, -192998.334346156},
    {wdClarke1880, 27, 26.2, 23.4, 2588847.025229167, 81778.339523135},
    {wdClarke1880, 23, 21.6, 29.1, 3220908.911072263, 136294.324271790},
    {wdWGS84, 19, 18.5, 33.9, 3752681.842245437, 46246.674992468},
    {wdWGS84, 19, 20.0, 34.2, 3786298.408754004, -92169.444869069},
    {wdWGS84, 25, 25.9, 22.3, 2467296.577898507, -92741.928240297},
    {wdWGS84, 29, 27.1, 31.5, 3487975.470608296, 180519.546493031},
    {wdWGS84, 33, 34.0, 24.8, 2744270.041015864, -101116.240726396},
};

// The series truncation grows with the distance from the meridian.
double PlaneTolerance(const LoRow& r)
{
    return std::fabs(r.longitude - r.lo) <= 1 ? 1e-6 : 5e-6;
}

std::unique_ptr<GGeographicToGeodeticTransformation> Lo(GWorld world, double lo)
{
    auto t = std::make_unique<GGeographicToGeodeticTransformation>();
    t->World = world;
    t->LoMeridian = lo;
    return t;
}

literal::Axes AxesOf(GWorld world)
{
    return world == wdClarke1880 ? literal::kClarke1880 : literal::kWGS84;
}

TEST(LoProjection, ReferenceTable)
{
    for (const LoRow& r : kLoRows)
    {
        const auto lo = Lo(r.world, r.lo);
        GPoint p(r.longitude, r.latitude, 4);
        lo->Transform(p, tdForward);
        EXPECT_NEAR(p.X, r.x, PlaneTolerance(r)) << r.longitude << " " << r.latitude;
        EXPECT_NEAR(p.Y, r.y, PlaneTolerance(r)) << r.longitude << " " << r.latitude;
        EXPECT_EQ(p.Z, 4);
        GPoint q(r.x, r.y);
        lo->Transform(q, tdInverse);
        EXPECT_NEAR(q.X, r.longitude, 1e-9) << r.x << " " << r.y;
        EXPECT_NEAR(q.Y, r.latitude, 1e-9) << r.x << " " << r.y;
    }
}

TEST(LoProjection, EquatorAndNorth)
{
    // The reference table covers west and east of the meridian in the south.
    const auto lo31 = Lo(wdClarke1880, 31);
    double x, y;
    lo31->Project(x, y, 31, -10);
    EXPECT_EQ(y, 0);
    EXPECT_LT(x, 0); // north of the equator
    lo31->Project(x, y, 30, 0);
    EXPECT_EQ(x, 0);
    const double l = kPi / 180;
    EXPECT_NEAR(y, 6378249.145326 * l, 6378249.145326 * l * l * l); // a l + O(l^3)
}

TEST(LoProjection, FailuresLeaveThePointAlone)
{
    auto t = Lo(static_cast<GWorld>(2), 31);
    GPoint p(30, 25, 1);
    for (std::uint8_t direction : {tdForward, tdInverse})
        EXPECT_EQ(MessageOf<GTransformationException>([&] { t->Transform(p, direction); }),
                  "World not supported in this transformation");
    t->World = wdWGS84;
    for (double bad : {NAN, INFINITY})
    {
        GPoint q(30, bad);
        EXPECT_THROW(t->Transform(q, tdForward), GTransformationException);
        EXPECT_TRUE(std::isinf(q.Y) || std::isnan(q.Y));
        EXPECT_EQ(q.X, 30);
    }
    EXPECT_TRUE(p.IsEqual(GPoint(30, 25, 1)));
}

TEST(LoZoneAndSheet, ZoneTable)
{
    const std::pair<double, int> rows[] = {{28.0, 29},   {29.0, 29}, {30.999, 31}, {28.4, 29},
                                           {29.7, 29},   {30.0, 31}, {17.2, 17},   {-0.5, 1},
                                           {-28.4, -27}, {0.0, 1}};
    for (auto [longitude, zone] : rows)
        EXPECT_EQ(LoZone(longitude), zone) << longitude;
    EXPECT_THROW(LoZone(NAN), GTransformationException);
    EXPECT_THROW(LoZone(1e12), GTransformationException);
}

TEST(LoZoneAndSheet, SheetTable)
{
    const std::tuple<double, double, const char*> rows[] = {
        {26.3, 28.8, "2628BD"},   {25.9, 31.1, "2531CC"}, {22.0, 17.0, "2217AA"},
        {33.99, 18.49, "3318CD"}, {29.5, 24.5, "2924DA"}, {34.25, 19.75, "3419BD"}};
    for (auto [latitude, longitude, name] : rows)
        EXPECT_EQ(SheetName(latitude, longitude), name) << latitude << " " << longitude;
    EXPECT_THROW(SheetName(INFINITY, 20), GTransformationException);
}

std::int64_t Ulps(double a, double b)
{
    auto ordered = [](double d)
    {
        const auto i = std::bit_cast<std::int64_t>(d);
        return i < 0 ? std::numeric_limits<std::int64_t>::min() - i : i;
    };
    return std::abs(ordered(a) - ordered(b));
}

// One million random positions in the Lo zones over South Africa, within 2 degrees of the meridian.
TEST(LoProjection, FastEvaluationWithinTwoUlpOfTheLiteralSeries)
{
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> latitude(22, 35), offset(-2, 2);
    std::uniform_int_distribution<int> zone(0, 8);
    std::int64_t worst[4] = {};
    for (int i = 0; i < 1000000; ++i)
    {
        const GWorld world = i % 2 == 0 ? wdClarke1880 : wdWGS84;
        const double lo = 17 + 2 * zone(random), lon = lo + offset(random), lat = latitude(random);
        auto t = Lo(world, lo);
        double x, y, xl, yl, lon2, lat2, lonl, latl;
        t->Project(x, y, lon, lat);
        literal::Project(AxesOf(world), lo, lon, lat, xl, yl);
        t->Unproject(lon2, lat2, xl, yl);
        literal::Unproject(AxesOf(world), lo, xl, yl, lonl, latl);
        const std::int64_t ulps[4] = {Ulps(x, xl), Ulps(y, yl), Ulps(lon2, lonl), Ulps(lat2, latl)};
        for (int k = 0; k < 4; ++k)
            worst[k] = std::max(worst[k], ulps[k]);
    }
    EXPECT_LE(worst[0], 2) << "X";
    EXPECT_LE(worst[1], 2) << "Y";
    EXPECT_LE(worst[2], 2) << "longitude";
    EXPECT_LE(worst[3], 2) << "latitude";
}

} // namespace
} // namespace quorvalis
