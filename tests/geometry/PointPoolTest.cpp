#include "geometry/PointPool.h"
#include "geometry/Spatial.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quorvalis
{
namespace
{

TEST(PointPool, BlocksAreDistinctReusedAndMayBeFreedOnAnotherThread)
{
    // More than one arena's worth, so that a new arena is opened on the way.
    std::vector<std::unique_ptr<GPoint>> points;
    for (int i = 0; i < 300000; ++i)
        points.push_back(std::make_unique<GPoint>(i, -i, 0.5));
    std::set<const GPoint*> distinct;
    for (const auto& point : points)
        distinct.insert(point.get());
    EXPECT_EQ(distinct.size(), points.size());
    for (int i = 0; i < 300000; i += 997)
    {
        EXPECT_EQ(points[i]->X, i);
        EXPECT_EQ(points[i]->Y, -i);
    }

    // Freed on another thread, then new points on this one: none may land on a live point.
    std::vector<std::unique_ptr<GPoint>> moved(std::make_move_iterator(points.begin()),
                                               std::make_move_iterator(points.begin() + 1000));
    points.erase(points.begin(), points.begin() + 1000);
    std::thread([&moved] { moved.clear(); }).join();
    std::set<const GPoint*> live;
    for (const auto& point : points)
        live.insert(point.get());
    std::vector<std::unique_ptr<GPoint>> fresh;
    for (int i = 0; i < 2000; ++i)
    {
        fresh.push_back(std::make_unique<GPoint>(1, 2, 3));
        EXPECT_EQ(live.count(fresh.back().get()), 0u);
    }
    EXPECT_EQ(points.front()->X, 1000);
    EXPECT_EQ(points.back()->X, 299999);
}

TEST(PointPool, LargerDerivedObjectsUseTheHeap)
{
    struct Named : GPoint
    {
        std::string Name = "a name longer than the small string buffer of the library";
    };
    auto named = std::make_unique<Named>();
    named->X = 4;
    std::unique_ptr<GPoint> base = std::move(named);
    EXPECT_EQ(base->X, 4); // deleted through the base with the derived size
}

} // namespace
} // namespace quorvalis
