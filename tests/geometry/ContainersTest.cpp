#include "geometry/Containers.h"

#include "GeometryTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace quorvalis
{
namespace
{

// Counts destructions so that ownership transfers can be checked exactly.
struct Tracked
{
    Tracked(int id, std::vector<int>& freed) : Id(id), Freed(freed) {}
    ~Tracked() { Freed.push_back(Id); }
    int Id;
    std::vector<int>& Freed;
};

class ContainerTest : public ::testing::Test
{
protected:
    void Fill(GContainer<Tracked>& list, std::initializer_list<int> ids)
    {
        for (const int id : ids)
            list.Add(std::make_unique<Tracked>(id, freed));
    }
    std::vector<int> Ids(const GContainer<Tracked>& list)
    {
        std::vector<int> ids;
        for (int i = 0; i < list.Count(); ++i)
            ids.push_back(list.GetItem(i)->Id);
        return ids;
    }
    std::vector<int> freed;
};

TEST_F(ContainerTest, AppendFromMovesOwnershipInOrderAndFiresOnAddPerItem)
{
    GContainer<Tracked> target;
    GContainer<Tracked> source;
    Fill(target, {1, 2});
    Fill(source, {3, 4, 5});
    std::vector<int> added;
    target.OnAdd = [&](GContainer<Tracked>&, int index) { added.push_back(index); };
    target.AppendFrom(source);
    EXPECT_EQ(source.Count(), 0);
    EXPECT_TRUE(freed.empty());
    EXPECT_EQ(Ids(target), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(added, (std::vector<int>{2, 3, 4}));
    {
        GContainer<Tracked> dropped;
        dropped.AppendFrom(target);
    }
    EXPECT_EQ(freed.size(), 5U); // the last owner frees them, once
}

TEST_F(ContainerTest, DeleteAndClearFreeTheirItemsOnce)
{
    GContainer<Tracked> list;
    Fill(list, {1, 2, 3, 4});
    std::vector<int> deleted;
    list.OnDelete = [&](GContainer<Tracked>&, int index) { deleted.push_back(index); };
    list.Delete(1);
    EXPECT_EQ(freed, (std::vector<int>{2}));
    EXPECT_EQ(Ids(list), (std::vector<int>{1, 3, 4}));
    for (const int bad : {-1, 3})
        EXPECT_EQ(MessageOf<GContainerException>([&] { list.Delete(bad); }),
                  "Container index out of bounds.")
            << bad;
    EXPECT_THROW(list.GetItem(3), GContainerException);
    EXPECT_EQ(freed.size(), 1U);

    list.Clear(); // frees the rest, but raises no event
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(freed, (std::vector<int>{2, 1, 3, 4}));
    EXPECT_EQ(deleted, std::vector<int>{1});
}

} // namespace
} // namespace quorvalis
