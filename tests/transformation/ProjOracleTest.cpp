// The Lo conversion against PROJ's exact transverse Mercator as an independent oracle, on a grid
// over South Africa: latitude 22-35 degrees south, every odd Lo 17-33, up to 2 degrees either side.
//
// PROJ is told the system's own semi-axes and +axis=wsu: it takes (longitude, latitude north) and
// returns (westing, southing), so our X is its y and our Y its x.
#include "geometry/Calculations.h"
#include "transformation/Transformation.h"

#include <gtest/gtest.h>
#include <proj.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace quorvalis
{
namespace
{

struct Ellipsoid
{
    GWorld world;
    double a, b;
};
const Ellipsoid kEllipsoids[] = {{wdClarke1880, 6378249.145326, 6356514.966721},
                                 {wdWGS84, 6378137.0, 6356752.314}};

// Worst differences in millimetres, for |l| <= 1 degree and 1 < |l| <= 2 degrees.
struct Worst
{
    double forward[2] = {}, inverse[2] = {}, roundTrip[2] = {};
};

Worst Compare()
{
    Worst worst;
    PJ_CONTEXT* context = proj_context_create();
    for (const Ellipsoid& e : kEllipsoids)
        for (int lo = 17; lo <= 33; lo += 2)
        {
            char definition[256];
            std::snprintf(definition, sizeof definition,
                          "+proj=tmerc +axis=wsu +lat_0=0 +lon_0=%d +k=1 +x_0=0 +y_0=0 +a=%.6f "
                          "+b=%.6f +units=m",
                          lo, e.a, e.b);
            PJ* tmerc = proj_create(context, definition);
            EXPECT_NE(tmerc, nullptr) << definition;
            if (tmerc == nullptr)
                continue;
            GGeographicToGeodeticTransformation ours;
            ours.World = e.world;
            ours.LoMeridian = lo;
            for (int i = 0; i <= 52; ++i)
                for (int k = -20; k <= 20; ++k)
                {
                    const double latitude = 22 + 0.25 * i, longitude = lo + 0.1 * k;
                    const int band = std::abs(k) <= 10 ? 0 : 1;
                    const PJ_COORD exact =
                        proj_trans(tmerc, PJ_FWD,
                                   proj_coord(proj_torad(longitude), proj_torad(-latitude), 0, 0));
                    double x, y;
                    ours.Project(x, y, longitude, latitude);
                    const double dx = x - exact.xy.y, dy = y - exact.xy.x;
                    worst.forward[band] = std::max(worst.forward[band], 1e3 * std::hypot(dx, dy));

                    // Inverse of the exact plane coordinates, and our own round trip, as ground
                    // distances (the metres a difference in latitude and longitude amounts to).
                    const PJ_COORD back = proj_trans(tmerc, PJ_INV, exact);
                    const double exactLon = proj_todeg(back.lp.lam),
                                 exactLat = -proj_todeg(back.lp.phi);
                    auto ground = [&](double lon1, double lat1, double lon2, double lat2)
                    {
                        const double r = static_cast<double>(e.a * kPi / 180);
                        const double c = std::cos(static_cast<double>(lat2 * kPi / 180));
                        return 1e3 * std::hypot(r * (lat1 - lat2), r * c * (lon1 - lon2));
                    };
                    double lon, lat;
                    ours.Unproject(lon, lat, exact.xy.y, exact.xy.x);
                    worst.inverse[band] =
                        std::max(worst.inverse[band], ground(lon, lat, exactLon, exactLat));
                    ours.Unproject(lon, lat, x, y);
                    worst.roundTrip[band] =
                        std::max(worst.roundTrip[band], ground(lon, lat, longitude, latitude));
                }
            proj_destroy(tmerc);
        }
    proj_context_destroy(context);
    std::printf("worst differences from PROJ in mm (within 1 degree / 1 to 2 degrees):\n"
                "  forward %.6f / %.6f, inverse %.6f / %.6f, round trip %.6f / %.6f\n",
                worst.forward[0], worst.forward[1], worst.inverse[0], worst.inverse[1],
                worst.roundTrip[0], worst.roundTrip[1]);
    return worst;
}

TEST(LoProjectionOracle, AgreesWithExactTransverseMercator)
{
    const Worst worst = Compare();
    EXPECT_LE(worst.forward[0], 0.001);
    EXPECT_LE(worst.forward[1], 0.005);
    EXPECT_LE(worst.inverse[0], 0.001);
    EXPECT_LE(worst.inverse[1], 0.02);
    EXPECT_LE(worst.roundTrip[0], 0.001);
}

} // namespace
} // namespace quorvalis
