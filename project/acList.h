#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace kelvark {

// The one container of the model: an ordered list of shared references with
// 0-based positions. An item may sit in several lists at once; identity tests
// compare the objects, not their contents.
template <typename T> class acList final {
public:
    using Ref = std::shared_ptr<T>;
    static constexpr int Absent = -1;

    // Iteration in list order (what every for-each loop over a list uses).
    auto begin() const { return items.begin(); }
    auto end() const { return items.end(); }

    void add(Ref thingToAdd) { items.push_back(std::move(thingToAdd)); }

    const Ref& Item(int i) const
    {
        check(i);
        return items[static_cast<std::size_t>(i)];
    }

    // Position of the first item that is obj; Absent when obj is not in the list.
    int ItemIndex(const T* obj) const
    {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].get() == obj)
                return static_cast<int>(i);
        return Absent;
    }

    int Count() const { return static_cast<int>(items.size()); }

    void Delete(int i)
    {
        check(i);
        items.erase(items.begin() + i);
    }

    void Clear() { items.clear(); }

private:
    // A position outside the list is a fault of the calling code, never of
    // the user's files: the program stops there, in every build, rather than
    // read or remove what is not there.
    void check(int i) const
    {
        if (i < 0 || i >= Count()) {
            std::fprintf(stderr, "acList: position %d is outside a list of %d items\n", i, Count());
            std::abort();
        }
    }

    std::vector<Ref> items;
};

} // namespace kelvark
