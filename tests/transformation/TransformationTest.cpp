// The transformation framework, the elementary transformations and the fixed Cape to
// Hartebeesthoek94 similarity.
#include "transformation/Transformation.h"
#include "geometry/Calculations.h"
#include "tests/geometry/GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace quorvalis
{
namespace
{

// Logs each call as <tag><direction> (or the X it saw), so order and direction are visible.
class Recorder : public GTransformation
{
public:
    Recorder(std::string tag, std::string& log) : tag_(std::move(tag)), log_(log) {}
    void Transform(GPoint& point, std::uint8_t direction) override
    {
        log_ += tag_.empty() ? std::to_string(static_cast<int>(point.X)) + " "
                             : tag_ + std::to_string(direction) + " ";
    }

private:
    std::string tag_;
    std::string& log_;
};

template <class T> std::unique_ptr<T> Make(auto setup)
{
    auto t = std::make_unique<T>();
    setup(*t);
    return t;
}

TEST(TransformationFramework, GroupRunsMembersForwardThenBackwardInInverse)
{
    std::string log;
    GGroupTransformation group;
    GPoint p(1, 2, 3);
    group.Transform(p, tdForward);
    group.Transform(p, tdInverse);
    EXPECT_FALSE(group.IsValid());
    EXPECT_TRUE(p.IsEqual(GPoint(1, 2, 3)));

    group.Transformations.Add(std::make_unique<Recorder>("A", log));
    group.Transformations.Add(std::make_unique<Recorder>("B", log));
    group.Transform(p, tdForward);
    group.Transform(p, tdInverse);
    group.Transform(p, 2);
    EXPECT_EQ(log, "A0 B0 B1 A1 ");

    EXPECT_EQ(MessageOf<GContainerException>([&] { group.Transformations.GetItem(2); }),
              "List index out of bounds (2)");
}

TEST(TransformationFramework, ElementaryMembersUndoThemselves)
{
    GGroupTransformation chain; // a user chain as a run builds it: shift, ddd.mmss, negate, swap
    chain.Transformations.Add(
        Make<GShiftTransformation>([](auto& t) { t.DX = 0.1, t.DY = -0.25, t.DZ = 7; }));
    chain.Transformations.Add(Make<GUnitTransformation>(
        [](auto& t) { t.FromUnit = utDDDMMSS, t.ToUnit = utDecimalDegrees; }));
    chain.Transformations.Add(Make<GFactorTransformation>([](auto& t) { t.FX = -1; }));
    chain.Transformations.Add(std::make_unique<GExchangeTransformation>());
    // A negative packed coordinate must stay negative, not have its degrees wrapped into
    // [0, 360) as ConvertUnit gives a bearing.
    GPoint p(-28.4015, 25.4530, 100);
    chain.Transform(p, tdForward);
    EXPECT_NEAR(p.X, 25 + 20.0 / 60 + 30.0 / 3600, 1e-9); // 25.2030 ddd.mmss, now in X
    EXPECT_NEAR(p.Y, 28 + 30.0 / 60 + 15.0 / 3600, 1e-9); // -28.3015 ddd.mmss, negated
    EXPECT_DOUBLE_EQ(p.Z, 107);
    chain.Transform(p, tdInverse);
    EXPECT_NEAR(p.X, -28.4015, 1e-11);
    EXPECT_NEAR(p.Y, 25.4530, 1e-11);
    EXPECT_EQ(p.Z, 100);

    // Only the exchange acts on a direction other than 0 and 1.
    for (auto& member : chain.Transformations)
    {
        GPoint q(1, 2, 3);
        member->Transform(q, 1 + 1);
        EXPECT_EQ(q.X, member->TransformationType() == ttExchange ? 2 : 1) << member->Name();
        EXPECT_EQ(q.Y, member->TransformationType() == ttExchange ? 1 : 2) << member->Name();
    }
    GPoint q(1, 2);
    GExchangeTransformation().Transform(q, tdInverse);
    EXPECT_TRUE(q.IsEqual(GPoint(2, 1)));
}

TEST(TransformationFramework, FaultsRaiseAndLeaveThePointAlone)
{
    const GPoint start(3, 4, 5);
    GPoint p(3, 4, 5);
    GFactorTransformation factor;
    factor.FY = 0;
    EXPECT_THROW(factor.Transform(p, tdInverse), GTransformationException);
    GUnitTransformation unit;
    unit.ToUnit = utHectares;
    EXPECT_THROW(unit.Transform(p, tdForward), GCalculationException);
    GShiftTransformation shift;
    shift.DZ = 1.7e308;
    p.Z = 1.7e308;
    EXPECT_THROW(shift.Transform(p, tdForward), GTransformationException);
    p.Z = 5;
    GCapeToHartebeesthoekTransformation cape;
    cape.HelmertA = cape.HelmertB = 0;
    EXPECT_THROW(cape.Transform(p, tdInverse), GTransformationException);
    EXPECT_TRUE(p.IsEqual(start));
    cape.Transform(p, tdForward); // the forward direction of a zero similarity is defined
    EXPECT_TRUE(p.IsEqual(GPoint(0, 0, 5)));
}

TEST(TransformationFramework, CopiesAndShapes)
{
    std::string log;
    Recorder recorder("", log);
    GLine line;
    recorder.TransformShape(line, tdForward);
    EXPECT_EQ(log, "");
    for (const Coordinates& part : {Coordinates{{1, 0}, {2, 0}}, Coordinates{{3, 0}}, Coordinates{},
                                    Coordinates{{4, 0}, {5, 0}}})
        AddPart(line, part);
    recorder.TransformShape(line, tdForward);
    EXPECT_EQ(log, "1 2 3 4 5 ");

    GShiftTransformation shift;
    shift.DX = 1;
    const GPoint p(1, 2, 3);
    EXPECT_TRUE(shift.TransformCopy(p, tdForward)->IsEqual(GPoint(2, 2, 0)));
    EXPECT_TRUE(p.IsEqual(GPoint(1, 2, 3)));
}

TEST(CapeToHartebeesthoek, InverseUndoesForwardAndMatchesTheFit)
{
    // Pairs with exactly representable centroids (3002500, 13000) and (3004793.25, 13040.5).
    const double from[][2] = {
        {3000000, 10000}, {3004000, 12000}, {3001000, 16000}, {3005000, 14000}};
    const double to[][2] = {
        {3002293.5, 10039.25}, {3006294, 12040.75}, {3003292.5, 16042}, {3007293, 14040}};
    GPointList fromList, toList;
    for (int i = 0; i < 4; ++i)
    {
        fromList.Add(std::make_unique<GPoint>(from[i][0], from[i][1]));
        toList.Add(std::make_unique<GPoint>(to[i][0], to[i][1]));
    }
    GPoint any;
    double scale = 0, swing = 0;
    ASSERT_TRUE(ComputeHelmert(any, fromList, toList, scale, swing));
    GCapeToHartebeesthoekTransformation cape;
    cape.HelmertA = scale * std::cos(swing * kPi / 180);
    cape.HelmertB = scale * std::sin(swing * kPi / 180);
    cape.CapeX = 3002500, cape.CapeY = 13000, cape.WGSX = 3004793.25, cape.WGSY = 13040.5;

    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> x(2.9e6, 3.1e6), y(-5e4, 5e4);
    for (int i = 0; i < 1000; ++i)
    {
        GPoint a(x(random), y(random)), b(a.X, a.Y);
        cape.Transform(a, tdForward);
        ASSERT_TRUE(ComputeHelmert(b, fromList, toList, scale, swing));
        ASSERT_NEAR(a.X, b.X, 1e-7);
        ASSERT_NEAR(a.Y, b.Y, 1e-7);
        cape.Transform(a, tdInverse);
        cape.Transform(b, tdInverse);
        ASSERT_NEAR(a.X, b.X, 1e-7);
        ASSERT_NEAR(a.Y, b.Y, 1e-7);
    }
}

} // namespace
} // namespace quorvalis
