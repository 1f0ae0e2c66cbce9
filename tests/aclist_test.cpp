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

TEST(acList, InsertBeforeAfterAndAppend)
{
    auto list = Abc();
    list.Insert(std::make_shared<Item>(Item{"X"}), 1);
    EXPECT_EQ(Names(list), "ABXC");

    list = Abc();
    list.Insert(std::make_shared<Item>(Item{"X"}), 1, true);
    EXPECT_EQ(Names(list), "AXBC");

    list = Abc();
    list.Insert(std::make_shared<Item>(Item{"X"}), 3);
    EXPECT_EQ(Names(list), "ABCX");

    list = Abc();
    list.Insert(std::make_shared<Item>(Item{"X"}), 2);
    EXPECT_EQ(Names(list), "ABCX");

    acList<Item> empty;
    empty.Insert(std::make_shared<Item>(Item{"X"}), 7, true);
    EXPECT_EQ(Names(empty), "X");
}

TEST(acList, PositionsAreZeroBasedAndKeysOneBased)
{
    auto list = Abc();
    EXPECT_EQ(list.Item(0)->name, "A");
    list.Delete(0);
    EXPECT_EQ(Names(list), "BC");
    list.DeleteKey(2);
    EXPECT_EQ(Names(list), "B");
    EXPECT_EQ(list.Count(), 1);
}

TEST(acList, OutOfRangePositionsThrow)
{
    auto list = Abc();
    EXPECT_THROW(list.Item(3), std::out_of_range);
    EXPECT_THROW(list.Item(-1), std::out_of_range);
    EXPECT_THROW(list.Delete(3), std::out_of_range);
    EXPECT_THROW(list.DeleteKey(0), std::out_of_range);
    EXPECT_THROW(list.Insert(std::make_shared<Item>(), 5), std::out_of_range);
    EXPECT_EQ(Names(list), "ABC");
}

TEST(acList, IdentityOperations)
{
    auto list = Abc();
    auto twice = list.Item(1);
    list.add(twice);
    Item outsider{"B"};
    EXPECT_EQ(list.ItemIndex(twice.get()), 1);
    EXPECT_EQ(list.ItemIndex(&outsider), 0);

    EXPECT_TRUE(list.RemoveObject(&outsider));
    EXPECT_EQ(Names(list), "ABCB");
    EXPECT_FALSE(list.RemoveObject(twice.get()));
    EXPECT_EQ(Names(list), "ACB");

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    list.Clear();
}

} // namespace
