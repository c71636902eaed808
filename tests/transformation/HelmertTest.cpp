// The Helmert fit and transformation, and the distance weighting of misclosures.
#include "LiteralSeries.h"
#include "geometry/Calculations.h"
#include "tests/geometry/GeometryTestSupport.h"
#include "transformation/Adjustment.h"
#include "transformation/Transformation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quorvalis
{
namespace
{

// Source beacons in a local frame, so that the fits below are exact to rounding. (Lo coordinates
// near 3e6 m cost the fit's 64-bit sums about seven digits of D for beacons 200 m apart.)
const double kSource[][2] = {{100, -50}, {-100, 100}, {50, 50}, {-50, -100}};

// Fills h with pairs whose targets are the first `count` sources scaled by s and rotated by theta
// degrees about their centroid, then moved by (dx, dy). Quarter turns are built exactly.
void Similarity(GHelmertTransformation& h, int count, double s, double theta, double dx = 0,
                double dy = 0)
{
    double cx = 0, cy = 0;
    for (int i = 0; i < count; ++i)
        cx += kSource[i][0] / count, cy += kSource[i][1] / count;
    const bool quarter = std::fabs(theta) == 90;
    const double a = quarter ? 0 : s * std::cos(theta * kPi / 180);
    const double b = quarter ? std::copysign(s, theta) : s * std::sin(theta * kPi / 180);
    for (int i = 0; i < count; ++i)
    {
        const double x = kSource[i][0] - cx, y = kSource[i][1] - cy;
        h.AddPair("T" + std::to_string(i), std::make_unique<GPoint>(kSource[i][0], kSource[i][1]),
                  std::make_unique<GPoint>(cx + dx + a * x - b * y, cy + dy + b * x + a * y));
    }
}

TEST(Helmert, SimilaritiesAreRecovered)
{
    struct Row
    {
        int pairs;
        double s, theta, scale, swing, inverseScale, inverseSwing, tolerance;
    };
    const Row rows[] = {
        {2, 1, 0, 1, 0, 1, 0, 1e-9},
        {4, 1, 90, 1, 90, 1, 270, 1e-9},
        {3, 1, -90, 1, 270, 1, 90, 1e-9},
        {4, 2, 0, 2, 0, 0.5, 0, 1e-9},
        {4, 1.00002, 1e-3, 1.00002, 1e-3, 1 / 1.00002, 360 - 1e-3, 1e-9},
    };
    for (const Row& r : rows)
    {
        GHelmertTransformation h;
        Similarity(h, r.pairs, r.s, r.theta, 10, -5);
        double scale = -1, swing = -1;
        h.ComputeParameters(scale, swing, tdForward);
        EXPECT_NEAR(scale, r.scale, r.tolerance) << r.theta;
        EXPECT_NEAR(swing, r.swing, r.tolerance) << r.theta;
        h.ComputeParameters(scale, swing, tdInverse);
        EXPECT_NEAR(scale, r.inverseScale, r.tolerance) << r.theta;
        EXPECT_NEAR(swing, r.inverseSwing, r.tolerance) << r.theta;
        for (int i = 0; i < h.PairCount(); ++i) // exact similarities leave no misclosure
        {
            EXPECT_NEAR(h.ResidualX(i), 0, 1e-6);
            EXPECT_NEAR(h.ResidualY(i), 0, 1e-6);
        }
    }
    GHelmertTransformation shift;
    Similarity(shift, 2, 1, 0, 10, -5);
    GPoint p(2500.25, 12345.5, 7);
    shift.Transform(p, tdForward);
    EXPECT_TRUE(p.IsEqual(GPoint(2510.25, 12340.5, 7)));
    shift.Transform(p, tdInverse);
    EXPECT_TRUE(p.IsEqual(GPoint(2500.25, 12345.5, 7)));
}

TEST(Helmert, DegenerateFitsAreNotValid)
{
    // Coincident sources exactly and up to rounding (a beacon imported twice), coincident
    // targets (a and b both 0), and one pair: never valid, and every use raises instead of
    // leaving points on the old datum.
    struct Case
    {
        double ax, ay, bx, by; // sources
        double tx, ty, ux, uy; // targets
    };
    const Case cases[] = {
        {100, -0.3, 100, -0.3, 5, 6, 7, 8},
        {3100000.1, -0.3, 3100000.1, -0.3, 5, 6, 7, 8},
        {100, -0.3, 300, 50, 5, 6, 5, 6},
    };
    for (const Case& c : cases)
    {
        GHelmertTransformation h;
        h.AddPair("A", std::make_unique<GPoint>(c.ax, c.ay), std::make_unique<GPoint>(c.tx, c.ty));
        h.AddPair("B", std::make_unique<GPoint>(c.bx, c.by), std::make_unique<GPoint>(c.ux, c.uy));
        EXPECT_FALSE(h.IsValid()) << c.ax << " " << c.ux;
        GPoint p(1, 2, 3);
        EXPECT_EQ(MessageOf<GTransformationException>([&] { h.Transform(p, tdForward); }),
                  "The transformation in not valid");
        EXPECT_TRUE(p.IsEqual(GPoint(1, 2, 3)));
        double scale = -1, swing = -1;
        EXPECT_THROW(h.ComputeParameters(scale, swing, tdInverse), GTransformationException);
        EXPECT_THROW(h.ResidualX(0), GTransformationException);
        EXPECT_EQ(scale, -1);
    }
    // Moving a stored point apart makes the same object valid.
    GHelmertTransformation h;
    h.AddPair("A", std::make_unique<GPoint>(100, 0), std::make_unique<GPoint>(5, 6));
    h.AddPair("B", std::make_unique<GPoint>(100, 0), std::make_unique<GPoint>(7, 8));
    EXPECT_FALSE(h.IsValid());
    h.SourcePoint(1).X = 102;
    EXPECT_TRUE(h.IsValid());

    GPoint p(1, 1);
    double scale = -1, swing = -1;
    EXPECT_FALSE(ComputeHelmert(p, h.SourcePoints, GPointList(), scale, swing)); // unequal lists
    EXPECT_TRUE(p.IsEqual(GPoint(1, 1)));

    GHelmertTransformation one;
    one.AddPair("A", std::make_unique<GPoint>(1, 1), std::make_unique<GPoint>(2, 2));
    EXPECT_FALSE(one.IsValid());
    EXPECT_THROW(one.ResidualY(0), GTransformationException);
}

TEST(Helmert, ReusedFitIsTheFitOfTheCurrentPairs)
{
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> x(3.0e6, 3.2e6), y(-1e5, 1e5), d(-0.2, 0.2);
    GHelmertTransformation h;
    auto check = [&](int points)
    {
        for (int i = 0; i < points; ++i)
        {
            const std::uint8_t direction = i % 2 == 0 ? tdForward : tdInverse;
            GPoint cached(x(random), y(random)), fresh(cached.X, cached.Y);
            double scale, swing;
            const bool fitted =
                direction == tdForward
                    ? ComputeHelmert(fresh, h.SourcePoints, h.TargetPoints, scale, swing)
                    : ComputeHelmert(fresh, h.TargetPoints, h.SourcePoints, scale, swing);
            h.Transform(cached, direction);
            ASSERT_EQ(cached.X, fresh.X) << fitted; // bit for bit
            ASSERT_EQ(cached.Y, fresh.Y);
        }
    };
    for (int i = 0; i < 10; ++i)
    {
        const double sx = x(random), sy = y(random);
        h.AddPair("P", std::make_unique<GPoint>(sx, sy),
                  std::make_unique<GPoint>(sx + 293 + d(random), sy + 40 + d(random)));
        if (i >= 1)
            check(20);
    }
    h.SourcePoint(4).Y += 1.5; // moved through the reference handed out
    check(20);
    h.TargetPoints.Delete(9);
    h.SourcePoints.Delete(9);
    check(20);
    h.TargetPoints.Delete(0); // public lists out of step: no fit, so no valid transformation
    EXPECT_FALSE(h.IsValid());
    h.Clear();
    GPoint p(1, 2);
    EXPECT_THROW(h.Transform(p, tdForward), GTransformationException);
}

TEST(DistanceWeighting, CorrectionsAreInverseDistanceMeans)
{
    GDistanceWeightingAdjustment w;
    GPoint p(0, 0, 9);
    w.Adjust(p); // no beacon: not valid, nothing happens
    EXPECT_TRUE(p.IsEqual(GPoint(0, 0, 9)));

    w.AddControl(std::make_unique<GPoint>(1, 0), 0.04, -0.08);
    for (auto [x, y] : {std::pair(0.0, 0.0), std::pair(-250.0, 4000.0)})
    {
        GPoint q(x, y, 9);
        w.Adjust(q);
        EXPECT_DOUBLE_EQ(q.X, x + 0.04);
        EXPECT_DOUBLE_EQ(q.Y, y - 0.08);
        EXPECT_EQ(q.Z, 9);
    }
    GPoint on(1, 0);
    w.Adjust(on);
    EXPECT_TRUE(on.IsEqual(GPoint(1, 0)));

    w.AddControl(std::make_unique<GPoint>(-3, 0), 0.12, 0.4); // distances 1 and 3 from p
    w.Adjust(p);
    EXPECT_NEAR(p.X, (3 * 0.04 + 0.12) / 4, 1e-15);
    EXPECT_NEAR(p.Y, (3 * -0.08 + 0.4) / 4, 1e-15);
    EXPECT_EQ(w.ControlCount(), 2);
    EXPECT_EQ(w.CorrectionY(1), 0.4);

    // Same bits as the weighting taken step by step, with MaximumDistance.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> x(3.0e6, 3.1e6), c(-0.3, 0.3);
    for (int i = 0; i < 8; ++i)
        w.AddControl(std::make_unique<GPoint>(x(random), x(random) - 3.05e6), c(random), c(random));
    for (int i = 0; i < 1000; ++i)
    {
        GPoint a(x(random), x(random) - 3.05e6), b(a.X, a.Y);
        w.Adjust(a);
        literal::Weighting(b, w.ControlPoints, w.Corrections);
        ASSERT_EQ(a.X, b.X);
        ASSERT_EQ(a.Y, b.Y);
    }
}

} // namespace
} // namespace quorvalis
