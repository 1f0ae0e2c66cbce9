#include "acList.h"

#include <gtest/gtest.h>

using namespace kelvark;

namespace {

struct Item {
    std::string name;
};

std::string Names(const acList<Item>& list)
{
    std::string names;
    for (const auto& item : list)
        names += item->name;
    return names;
}

acList<Item> Abc()
{
    acList<Item> list;
    for (const char* name : {"A", "B", "C"})
        list.add(std::make_shared<Item>(Item{name}));
    return list;
}

TEST(acList, OutOfRangePositionsStop)
{
    auto list = Abc();
    EXPECT_DEATH(list.Item(3), "position 3 is outside a list of 3 items");
    EXPECT_DEATH(list.Item(-1), "position -1");
    EXPECT_DEATH(list.Delete(3), "position 3");
}

TEST(acList, IdentityOperations)
{
    auto list = Abc();
    auto twice = list.Item(1);
    list.add(twice);
    Item outsider{"B"};
    EXPECT_EQ(list.ItemIndex(twice.get()), 1);
    EXPECT_EQ(list.ItemIndex(list.Item(0).get()), 0);
    EXPECT_EQ(list.ItemIndex(&outsider), acList<Item>::Absent);
    list.Delete(0);
    EXPECT_EQ(Names(list), "BCB");

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    list.Clear();
}

} // namespace
