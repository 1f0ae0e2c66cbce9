#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelvark {

// The one container of the model: an ordered list of shared references with
// 0-based positions. An item may sit in several lists at once; identity tests
// compare the objects, not their contents.
template <typename T>
class acList final {
public:
    using Ref = std::shared_ptr<T>;

    // Iteration in list order (what every for-each loop over a list uses).
    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }

    void add(Ref thingToAdd) { items.push_back(std::move(thingToAdd)); }

    const Ref& Item(int i) const
    {
        check(i);
        return items[static_cast<std::size_t>(i)];
    }

    // Position of the first item that is obj; 0 when obj is not in the list
    // (the same value as for the first item).
    int ItemIndex(const T* obj) const
    {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].get() == obj)
                return static_cast<int>(i);
        return 0;
    }

    int Count() const { return static_cast<int>(items.size()); }

    void Delete(int i)
    {
        check(i);
        items.erase(items.begin() + i);
    }

    // Removes by the collection's own, 1-based, position.
    void DeleteKey(int theKey) { Delete(theKey - 1); }

    // Appends when theKey equals Count or the list is empty; otherwise inserts
    // directly before (DoBefore) or after the item at theKey.
    void Insert(Ref thingToAdd, int theKey, bool DoBefore = false)
    {
        const int n = Count();
        if (theKey == n || n == 0) {
            add(std::move(thingToAdd));
            return;
        }
        check(theKey);
        items.insert(items.begin() + theKey + (DoBefore ? 0 : 1), std::move(thingToAdd));
    }

    void Clear() { items.clear(); }

    // Gives back the room kept for items still to come: a list read whole stays as it is.
    void Compact() { items.shrink_to_fit(); }

    // Removes the first item that is obj and returns false; true when obj is absent.
    bool RemoveObject(const T* obj)
    {
        for (auto it = items.begin(); it != items.end(); ++it) {
            if (it->get() == obj) {
                items.erase(it);
                return false;
            }
        }
        return true;
    }

private:
    void check(int i) const
    {
        if (i < 0 || i >= Count())
            throw std::out_of_range("acList: position " + std::to_string(i) + " is outside a list of "
                                    + std::to_string(Count()) + " items");
    }

    std::vector<Ref> items;
};

} // namespace kelvark
