#include "acList.h"

#include <gtest/gtest.h>

#include <stdexcept>

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

TEST(acList, OutOfRangePositionsThrow)
{
    auto list = Abc();
    EXPECT_THROW(list.Item(3), std::out_of_range);
    EXPECT_THROW(list.Item(-1), std::out_of_range);
    EXPECT_THROW(list.Delete(3), std::out_of_range);
    EXPECT_EQ(Names(list), "ABC");
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
