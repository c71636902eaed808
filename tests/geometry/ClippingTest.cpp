#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace quorvalis
{
namespace
{

std::vector<Coordinates> PartsOf(const GLine& line)
{
    std::vector<Coordinates> parts;
    for (const auto& part : line.Parts)
    {
        Coordinates points;
        for (const auto& point : *part)
            points.emplace_back(point->X, point->Y);
        parts.push_back(points);
    }
    return parts;
}

const GRectangle kBox(0, 0, 10, 10);

struct ClipCase
{
    const char* name;
    bool polygon;
    std::vector<Coordinates> input;
    std::vector<Coordinates> expected;
};

TEST(Clipping, LineAndPolygonTable)
{
    const std::vector<ClipCase> cases = {
        {"inside, kept whole", false, {{{1, 1}, {9, 9}, {1, 9}}}, {{{1, 1}, {9, 9}, {1, 9}}}},
        {"outside, dropped", false, {{{11, 11}, {20, 20}}}, {}},
        {"crossing", false, {{{-5, 5}, {15, 5}}}, {{{0, 5}, {10, 5}}}},
        {"leaves and comes back",
         false,
         {{{5, 5}, {15, 5}, {15, 8}, {5, 8}}},
         {{{5, 5}, {10, 5}}, {{10, 8}, {5, 8}}}},
        {"visible run continues one part",
         false,
         {{{1, 1}, {2, 2}, {3, 3}, {20, 3}}},
         {{{1, 1}, {2, 2}, {3, 3}, {10, 3}}}},
        {"touching a corner only", false, {{{-5, 0}, {5, 20}}}, {{{0, 10}, {0, 10}}}},
        // The outcodes share no bit, yet the segment passes outside the corner.
        {"outside past a corner", false, {{{-2, 9}, {2, 13}}}, {}},
        {"single points", false, {{{5, 5}}, {{50, 5}}}, {{{5, 5}}}},
        {"edges count as inside", false, {{{0, -5}, {0, 15}}}, {{{0, 0}, {0, 10}}}},
        {"polygon inside: same vertices, same order",
         true,
         {{{2, 2}, {8, 2}, {8, 8}, {2, 8}}},
         {{{2, 2}, {8, 2}, {8, 8}, {2, 8}}}},
        {"polygon outside: no vertices", true, {{{20, 20}, {30, 20}, {30, 30}}}, {{}}},
        {"polygon over a corner",
         true,
         {{{5, 5}, {15, 5}, {15, 15}, {5, 15}}},
         {{{5, 10}, {5, 5}, {10, 5}, {10, 10}}}},
        {"polygon on the sides: rebuilt at the same places",
         true,
         {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}},
         {{{0, 10}, {0, 0}, {10, 0}, {10, 10}}}},
        {"triangle across the left side",
         true,
         {{{-10, 5}, {5, 2}, {5, 8}}},
         {{{0, 7}, {0, 3}, {5, 2}, {5, 8}}}},
    };
    for (const auto& c : cases)
    {
        std::unique_ptr<GLine> shape = std::make_unique<GLine>();
        if (c.polygon)
            shape = std::make_unique<GPolygon>();
        for (const auto& part : c.input)
            AddPart(*shape, part);
        shape->ClipTo(kBox);
        EXPECT_EQ(PartsOf(*shape), c.expected) << c.name;
    }
}

TEST(Clipping, CutVerticesHaveZeroZAndSurvivorsKeepTheirs)
{
    GLine line;
    AddPart(line, {{5, 5}, {15, 5}});
    line.GetPoint(0).Z = 3;
    line.GetPoint(1).Z = 4;
    line.ClipTo(kBox);
    ASSERT_EQ(line.PointCount(), 2);
    EXPECT_EQ(line.GetPoint(0).Z, 3.0);
    EXPECT_EQ(line.GetPoint(1).Z, 0.0);

    GPolygon polygon;
    AddPart(polygon, {{5, 5}, {15, 5}, {5, 8}});
    polygon.GetPoint(0).Z = 9;
    const GPoint* survivor = &polygon.GetPoint(0);
    polygon.ClipTo(kBox);
    int survivors = 0;
    polygon.ForEachPoint(
        [&](const GPoint& p)
        {
            survivors += &p == survivor && p.Z == 9.0;
            if (p.X == 10.0)
            {
                EXPECT_EQ(p.Z, 0.0);
            }
        });
    EXPECT_EQ(survivors, 1);
}

TEST(Clipping, RectanglesAndMultipoints)
{
    GEllipse ellipse(5, 5, 20, 20);
    ellipse.ClipTo(kBox);
    EXPECT_EQ(ellipse.Left(), 5.0);
    EXPECT_EQ(ellipse.Right(), 10.0);
    EXPECT_EQ(ellipse.Top(), 10.0);
    GRectangle apart(20, 20, 30, 30);
    apart.ClipTo(kBox);
    EXPECT_TRUE(apart.IsEmpty());

    GPoints points;
    for (const auto& [x, y] : Coordinates{{0, 0}, {10, 10}, {10.0001, 5}, {5, -1}, {3, 4}})
        points.Points.Add(std::make_unique<GPoint>(x, y));
    points.ClipTo(kBox);
    ASSERT_EQ(points.PointCount(), 3);
    EXPECT_EQ(points.GetPoint(1).X, 10.0);
    EXPECT_EQ(points.GetPoint(2).X, 3.0);
}

} // namespace
} // namespace quorvalis
