#include "geometry/Spatial.h"

#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quorvalis
{
namespace
{

// Left, bottom, right, top of a rectangle, for one-line comparisons.
std::vector<double> Sides(const GRectangle& r)
{
    return {r.Left(), r.Bottom(), r.Right(), r.Top()};
}

TEST(Spatial, PointIndexIsRangeChecked)
{
    GPoint point(1, 2);
    EXPECT_EQ(&point.GetPoint(0), &point);
    GLine line;
    GShape base;
    for (GShape* shape : std::vector<GShape*>{&point, &line, &base})
    {
        EXPECT_EQ(MessageOf<GSpatialException>([&] { shape->GetPoint(shape->PointCount()); }),
                  "The specified point index is out of range")
            << int(shape->ClassCode());
        EXPECT_THROW(shape->GetPoint(-1), GSpatialException);
    }
}

TEST(Spatial, LineFlatIndexRunsThroughTheParts)
{
    GLine line;
    AddPart(line, {{0, 0}, {1, 0}, {2, 0}});
    AddPart(line, {{10, 5}, {11, 5}});
    EXPECT_EQ(line.PointCount(), 5);
    EXPECT_EQ(&line.GetPoint(3), line.Parts.GetItem(1)->GetItem(0));
    const GLine& view = line; // the const access is not hidden by the override
    EXPECT_EQ(&view.GetPoint(4), line.Parts.GetItem(1)->GetItem(1));
    EXPECT_THROW(line.GetPoint(5), GSpatialException);

    std::vector<const GPoint*> walked;
    line.ForEachPoint([&](GPoint& p) { walked.push_back(&p); });
    ASSERT_EQ(walked.size(), 5U);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(walked[static_cast<std::size_t>(i)], &line.GetPoint(i));
}

TEST(Spatial, ExtentsAndCentres)
{
    GLine empty;
    EXPECT_EQ(empty.GetExtent(), nullptr);
    double x = 1, y = 1;
    empty.GetCentre(x, y);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);

    GPoints noPoints;
    EXPECT_EQ(noPoints.GetExtent(), nullptr);

    GLine line;
    line.Parts.Add(std::make_unique<GPointList>()); // empty first part is skipped
    AddPart(line, {{3, 8}, {1, 4}});
    AddPart(line, {{2, 9}});
    EXPECT_EQ(Sides(*line.GetExtent()), (std::vector<double>{1, 4, 3, 9}));
    line.GetCentre(x, y);
    EXPECT_EQ(x, 2.0);
    EXPECT_EQ(y, 6.5);

    // A part at the origin is a real extent, not "no extent".
    GLine withOrigin;
    AddPart(withOrigin, {{0, 0}});
    AddPart(withOrigin, {{5, 5}});
    EXPECT_EQ(Sides(*withOrigin.GetExtent()), (std::vector<double>{0, 0, 5, 5}));

    GEllipse reversed(10, 20, 0, 5); // left 10, bottom 20, right 0, top 5
    const auto extent = reversed.GetExtent();
    EXPECT_NE(dynamic_cast<GEllipse*>(extent.get()), nullptr);
    EXPECT_EQ(Sides(*extent), (std::vector<double>{0, 5, 10, 20}));

    GShapeList list;
    EXPECT_TRUE(list.GetExtent()->IsEmpty());
    list.Add(std::make_unique<GLine>()); // no extent: skipped
    list.Add(std::make_unique<GPoint>(0, 0));
    list.Add(std::make_unique<GPoint>(5, -2));
    list.Add(std::make_unique<GRectangle>(1, 1, 3, 7));
    // The point at the origin counts, though its extent is the empty rectangle.
    EXPECT_EQ(Sides(*list.GetExtent()), (std::vector<double>{0, -2, 5, 7}));
}

TEST(Spatial, RectangleOperations)
{
    GRectangle r;
    EXPECT_TRUE(r.IsEmpty());
    r.Union(GRectangle(1, 2, 3, 4));
    r.Union(GRectangle(-1, 3, 2, 7));
    EXPECT_EQ(Sides(r), (std::vector<double>{-1, 2, 3, 7}));
    EXPECT_FALSE(GRectangle(0, -5, 4, 0).IsEmpty()); // left and top at 0, but a width

    const GRectangle unit(0, 0, 1, 1);
    const auto touching = unit.Intersection(GRectangle(1, 1, 2, 2));
    ASSERT_NE(touching, nullptr);
    EXPECT_EQ(Sides(*touching), (std::vector<double>{1, 1, 1, 1}));
    EXPECT_EQ(unit.Intersection(GRectangle(2, 2, 3, 3)), nullptr);
    const auto overlap = GRectangle(0, 0, 4, 4).Intersection(GRectangle(1, -1, 6, 2));
    EXPECT_EQ(Sides(*overlap), (std::vector<double>{1, 0, 4, 2}));

    // Scaling keeps the centre and the orientation.
    GRectangle scaled(0, 0, 10, 20);
    scaled.ScaleAboutCentre(1.2); // 1.2 is not exact in binary
    const std::vector<double> expected{-1, -2, 11, 22};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(Sides(scaled)[i], expected[i], 1e-12) << "side " << i;
    GRectangle reversed(10, 20, 0, 0); // right < left, top < bottom
    reversed.ScaleAboutCentre(2);
    EXPECT_EQ(Sides(reversed), (std::vector<double>{15, 30, -5, -10}));
}

TEST(Spatial, ContainsIncludesEdges)
{
    const GRectangle r(0, 0, 10, 10);
    EXPECT_TRUE(r.Contains(GPoint(10, 0)));
    EXPECT_TRUE(r.Contains(GRectangle(0, 0, 10, 10)));
    EXPECT_FALSE(r.Contains(GRectangle(-0.001, 1, 5, 5)));
    EXPECT_FALSE(r.Contains(GLine())); // nothing to contain
    // Reversed and zero-width rectangles hold only what lies between their sides.
    EXPECT_TRUE(GRectangle(10, 10, 0, 0).Contains(GPoint(5, 5)));
    EXPECT_FALSE(GRectangle(10, 10, 0, 0).Contains(GRectangle(-5, -5, 15, 15)));
    EXPECT_TRUE(GRectangle(3, 0, 3, 10).Contains(GPoint(3, 5)));
    EXPECT_FALSE(GRectangle(3, 0, 3, 10).Contains(GRectangle(2, 1, 4, 2)));
    EXPECT_TRUE(r.ContainsPoint(GPoint(0, 10)));
    EXPECT_FALSE(r.ContainsPoint(GPoint(0, 10.5)));
}

TEST(Spatial, EqualityDistanceAndCentrePoint)
{
    GPoint a(1, 2, 3);
    GPoint b(1, 2, 4);
    EXPECT_FALSE(a.IsEqual(b));
    b.Z = 3;
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_FALSE(a.IsEqual(GRectangle(1, 2, 1, 2))); // point counts differ

    const GRectangle r(0, 0, 6, 8);
    const auto centre = CentrePoint(r);
    EXPECT_EQ(centre->X, 3.0);
    EXPECT_EQ(centre->Y, 4.0);
    EXPECT_EQ(r.DistanceTo(GPoint(0, 0)), 5.0);

    GPointList list;
    EXPECT_THROW(list.MaximumDistance(r), GSpatialException);
    list.Add(std::make_unique<GPoint>(3, 4));
    list.Add(std::make_unique<GPoint>(3, 14));
    list.Add(std::make_unique<GPoint>(0, 4));
    EXPECT_EQ(list.MaximumDistance(r), 10.0);
}

} // namespace
} // namespace quorvalis
